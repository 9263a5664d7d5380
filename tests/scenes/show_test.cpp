// The first show scenes in a running machine with the real SYNC machine: Global's program
// on channel 1, Morvensk's lists on channel 0 with its camera variants (whose pictures are
// kept for a person to look at), and what Morvensk puts on the screen.
#include "show_rig.hpp"

#include "base/input2.hpp"
#include "scenes/global.hpp"
#include "scenes/morvensk.hpp"
#include "scenes/table.hpp"
#include "show/forms.hpp"
#include "show/mainapp.hpp"
#include "show/procforms.hpp"

#include <set>
#include <tuple>
#include <vector>

namespace
{
// Pixels whose green stands out: the green of the ribbons, arcs and icon.
sBool Green(sU32 c) { return ((c >> 8) & 255) > 80 + ((c >> 16) & 255) / 2; }
// Pixels of the dark ground the composition stands on.
sBool Dark(sU32 c) { return Picture::Luma(c) < 90; }
}

TEST_F(ShowRig, GlobalProgramSwitchesScenesAndPresetsAtItsBars)
{
  // channels 1 to 4 are played beside the IPP machine: a plain scene stands in for it
  sShowPlugins.CreateIpp = []() -> Scene * { return sNEW BlankScene; };
  M = sNEW SceneMachine(&Record);
  std::vector<BlankScene *> blanks;
  for(sInt i = 0; i < 13; i++) M->RegisterScene(blanks.emplace_back(sNEW BlankScene), u"blank", i, 1, 0);
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
  for(const auto &[mode, bars] : {std::pair{2, 26}, {0, 64}})
  {
    MorvenskScene *m = sNEW MorvenskScene;
    BlankScene *next = sNEW BlankScene;
    m->RenderMode = mode;
    Build({{0, m}, {1, next}});
    m->LayerMask = 0;   // the lists only: nothing to draw makes the long run quick
    EXPECT_EQ(PatternBars(Sync->Tables[0]), bars);
    std::set<sInt> picked;
    sInt lastBar = -1;
    for(sInt f = 0; f < 60 * bars && M->Current == 0; f++)
    {
      Step();
      if(M->Current != 0) break;
      lastBar = Sync->Results.BarIndex[0];
      picked.insert(m->Variant);
    }
    EXPECT_EQ(M->Current, 1);   // the list's end queued the next scene's key
    EXPECT_EQ(next->Enters, 1);
    EXPECT_EQ(lastBar, bars - 1);
    EXPECT_GE(picked.size(), 3u);   // the list's keys picked its cameras
    Drop();
  }
}

TEST_F(ShowRig, MorvenskCamerasSeeRibbonsAndPlanes)
{
  MorvenskScene *m = sNEW MorvenskScene;
  Build({{0, m}});
  for(sInt mode : {0, 2})
  {
    m->RenderMode = mode;
    // every camera sees the composition, and sees it on its dark ground: the additive
    // ribbons and the background plane do not flood the picture with one colour
    EXPECT_EQ(EachCamera(m, "morvensk", "mode" + std::to_string(mode), 8, 4,
                         [](const Picture &p) { return p.Count(Green) > W * H / 20 && p.Count(Dark) > W * H / 6; }),
              8);
  }

  // each group by itself, seen straight from the front
  m->Variant = 7;
  for(StripForm *r : m->Ribbons) r->LayerMask = 2;
  for(ArrayForm *p : m->Planes) p->LayerMask = 4;
  for(ArrayForm *a : m->RingArcs) a->LayerMask = 8;
  std::vector<sInt> counts;
  for(sU32 mask : {0u, 2u, 4u, ~0u}) m->LayerMask = mask, Step(), counts.push_back(Shot().Count(Green));
  EXPECT_EQ(counts[0], 0);              // nothing drawn: the clear colour only
  EXPECT_GT(counts[1], W * H / 30);     // ribbons
  EXPECT_GT(counts[2], W * H / 120);    // the icon planes
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
  sInt empty = -1;   // a row without a scene (not built yet) leaves its index empty
  for(sInt i = 0; i < SHOW_SCENES; i++)
  {
    EXPECT_EQ(m->Scenes[i] != nullptr, sShowSceneTable[i].Make != nullptr) << i;
    if(!sShowSceneTable[i].Make && empty < 0) empty = i;
  }
  EXPECT_EQ(Sync->Tables[1], GlobalShowTable());
  EXPECT_TRUE(Sync->Tables[0] == MorvenskShortTable() || Sync->Tables[0] == MorvenskShowTable());
  for(sInt f = 0; f < 3; f++) Step();
  app->OnInput(sInput2Event{'2', 0, 0, 0});   // a variant key reaches the current scene
  EXPECT_EQ(m->Scenes[0]->Variant, 1);
  if(empty >= 0)
  {
    m->SwitchScene(empty);                      // an empty index is passed over
    EXPECT_EQ(m->Current, 0);
  }
  M = nullptr;
  sDELETE(app);
  Drop();
  sStartupRecord = keep;
}
