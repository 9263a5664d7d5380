// The first show scenes in a running machine with the real SYNC machine: Global's program
// on channel 1, Morvensk's lists on channel 0 with its camera variants (whose pictures are
// kept for a person to look at), and what Morvensk puts on the screen.
#include "show_rig.hpp"

#include "graphics/image.hpp"
#include "base/input2.hpp"
#include "scenes/global.hpp"
#include "scenes/morvensk.hpp"
#include "scenes/table.hpp"
#include "show/forms.hpp"
#include "show/mainapp.hpp"
#include "show/procforms.hpp"

#include <filesystem>
#include <map>
#include <tuple>
#include <vector>

namespace
{
struct Blank : Scene
{
  sInt Enters = 0;
  void Enter(sInt) override { Enters++; }
};

// Pixels whose green stands out: the green of the ribbons, arcs and icon.
sInt GreenPixels(const std::string &file)
{
  sImage img;
  std::u16string name(file.begin(), file.end());
  EXPECT_TRUE(img.Load(name.c_str()));
  sInt n = 0;
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
    n += ((img.Data[i] >> 8) & 255) > 80 + ((img.Data[i] >> 16) & 255) / 2;
  return n;
}
}

TEST_F(ShowRig, GlobalProgramSwitchesScenesAndPresetsAtItsBars)
{
  // channels 1 to 4 are played beside the IPP machine: a plain scene stands in for it
  sShowPlugins.CreateIpp = []() -> Scene * { return sNEW Blank; };
  M = sNEW SceneMachine(&Record);
  std::vector<Blank *> blanks;
  for(sInt i = 0; i < 13; i++) M->RegisterScene(blanks.emplace_back(sNEW Blank), u"blank", i, 1, 0);
  GlobalScene *global = sNEW GlobalScene;
  M->RegisterScene(global, u"Global", 13, 0x101, 0);
  M->Start();
  global->Enter(0);
  ASSERT_TRUE(global->MaterialSet->Textures[0] && global->MaterialSet->Textures[1]);

  // (bar of channel 1, current scene, colour preset) at every switch or preset change
  using Change = std::tuple<sInt, sInt, sInt>;
  std::vector<Change> seen;
  sInt enters = 0;
  while(Sync->Results.BarIndex[1] < 140 && seen.size() < 20)
  {
    Step();
    const sInt cur = M->Current;
    const Change now{Sync->Results.BarIndex[1], cur, Sync->ColorPreset};
    const sInt e = blanks[size_t(cur)]->Enters;
    if(seen.empty() || std::get<1>(seen.back()) != cur || std::get<2>(seen.back()) != Sync->ColorPreset || e != enters)
      seen.push_back(now);
    enters = e;
  }
  seen.erase(seen.begin());   // the start
  const std::vector<Change> want = {{24, 6, 3}, {40, 9, 3}, {56, 3, 3}, {72, 8, 0}, {88, 8, 0}, {88, 8, 3},
                                    {104, 2, 3}, {120, 7, 3}, {137, 1, 3}};
  EXPECT_EQ(seen, want);
}

TEST_F(ShowRig, MorvenskListsPickCamerasAndTheirEndMovesTheShowOn)
{
  // the camera each list's keys pick, by bar
  const std::map<sInt, sInt> show = {{0, 0}, {2, 1}, {4, 2}, {8, 3}, {12, 4}, {16, 5}, {20, 6}, {24, 7}},
                             calm = {{0, 0}, {8, 6}, {16, 1}, {24, 2}, {32, 7}, {40, 5}, {48, 3}, {56, 4}};
  for(const auto &[mode, bars, keys] : {std::tuple{2, 26, &show}, {0, 64, &calm}})
  {
    MorvenskScene *m = sNEW MorvenskScene;
    Blank *next = sNEW Blank;
    M = sNEW SceneMachine(&Record);
    M->RegisterScene(m, u"Morvensk", 0, 1, 0);
    M->RegisterScene(next, u"next", 1, 1, 0);
    m->RenderMode = mode;
    M->Start();
    m->LayerMask = 0;   // the lists only: nothing to draw makes the long run quick
    EXPECT_EQ(PatternBars(Sync->Tables[0]), bars);
    std::map<sInt, sInt> picked;
    sInt lastBar = -1;
    for(sInt f = 0; f < 60 * bars && M->Current == 0; f++)
    {
      const sInt before = m->Variant;
      Step();
      if(M->Current != 0) break;
      lastBar = Sync->Results.BarIndex[0];
      if(m->Variant != before) picked[lastBar] = m->Variant;
    }
    EXPECT_EQ(M->Current, 1);   // the list's end queued the next scene's key
    EXPECT_EQ(next->Enters, 1);
    EXPECT_EQ(lastBar, bars - 1);
    // the show starts inside its first period: keys of the bars before it are passed
    std::map<sInt, sInt> want;
    for(const auto &[bar, v] : *keys)
      if(bar >= 8 && bar < bars) want[bar] = v;
    std::erase_if(picked, [](const auto &p) { return p.first < 8; });
    EXPECT_EQ(picked, want);
    Drop();
  }
}

TEST_F(ShowRig, MorvenskCamerasSeeRibbonsAndPlanes)
{
  MorvenskScene *m = sNEW MorvenskScene;
  M = sNEW SceneMachine(&Record);
  M->RegisterScene(m, u"Morvensk", 0, 1, 0);
  M->Start();
  // the pictures of the cameras: in $SPARKVANE_PICTURES or the temporary folder
  const char *env = getenv("SPARKVANE_PICTURES");
  const std::string dir = std::string(env && *env ? env : "/tmp/sparkvane-pictures") + "/morvensk";
  std::filesystem::create_directories(dir);
  for(sInt mode : {0, 2})
  {
    m->RenderMode = mode;
    for(sInt v = 0; v < 8; v++)
    {
      m->Variant = v;
      for(sInt f = 0; f < 4; f++) Step();
      const std::string name = dir + "/mode" + std::to_string(mode) + "-variant" + std::to_string(v) + ".bmp";
      std::filesystem::copy_file(Frame, name, std::filesystem::copy_options::overwrite_existing);
      EXPECT_GT(GreenPixels(name), W * H / 20) << name;   // every camera sees the composition
    }
  }

  // each group by itself, seen straight from the front
  m->Variant = 7;
  for(StripForm *r : m->Ribbons) r->LayerMask = 2;
  for(ArrayForm *p : m->Planes) p->LayerMask = 4;
  for(ArrayForm *a : m->RingArcs) a->LayerMask = 8;
  std::vector<sInt> counts;
  for(sU32 mask : {0u, 2u, 4u, ~0u}) m->LayerMask = mask, Step(), counts.push_back(GreenPixels(Frame));
  EXPECT_EQ(counts[0], 0);              // nothing drawn: the clear colour only
  EXPECT_GT(counts[1], W * H / 20);     // ribbons
  EXPECT_GT(counts[2], W * H / 50);     // the icon planes
  EXPECT_GT(counts[3], counts[2]);
}

TEST_F(ShowRig, TheShowStartsWithItsSceneTableAndMorvenskCurrent)
{
  const StartupRecord keep = sStartupRecord;
  sStartupRecord = Record;
  MainApp *app = sNEW MainApp(sShowSceneTable, SHOW_SCENES);
  SceneMachine *m = M = app->Machine;
  EXPECT_EQ(m->Current, 0);
  EXPECT_TRUE(dynamic_cast<MorvenskScene *>(m->Scenes[0]));
  EXPECT_TRUE(dynamic_cast<GlobalScene *>(m->Scenes[13]) && m->Scenes[13]->Resident);
  for(sInt i = 1; i < 13; i++)   // not built yet: left empty
    EXPECT_EQ(m->Scenes[i] != nullptr, sShowSceneTable[i].Make != nullptr) << i;
  EXPECT_EQ(Sync->Tables[1], GlobalShowTable());
  EXPECT_TRUE(Sync->Tables[0] == MorvenskShortTable() || Sync->Tables[0] == MorvenskShowTable());
  for(sInt f = 0; f < 3; f++) Step();
  app->OnInput(sInput2Event{'2', 0, 0, 0});   // a variant key reaches the current scene
  EXPECT_EQ(m->Scenes[0]->Variant, 1);
  m->SwitchScene(1);                            // an empty index is passed over
  EXPECT_EQ(m->Current, 0);
  M = nullptr;
  sDELETE(app);
  Drop();
  sStartupRecord = keep;
}
