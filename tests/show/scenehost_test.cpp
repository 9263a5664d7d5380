// The scene machine driven with small test scenes on a real graphics device: the frame
// order, the fixed 10 ms ticks, switching, keys, the pointer and fixed-step capture.
#include "show/scenehost.hpp"

#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/input2.hpp"
#include "base/sound.hpp"
#include "base/system.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "dmx_widget.hpp"
#include "graphics/image.hpp"
#include "graphics/render_fixture.hpp"
#include "show/guirecords.hpp"
#include "show/loader.hpp"
#include "show/freecamera.hpp"
#include "show/mainapp.hpp"
#include "show/scene.hpp"
#include "show/showplugins.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

namespace
{
std::vector<std::string> Log;

class TestScene : public Scene
{
public:
  std::string Name;
  SyncPatternTable Bars = nullptr;   // the channel-0 table its Enter installs
  explicit TestScene(const char *name) : Name(name) {}
  void Say(const std::string &what) { Log.push_back(Name + ":" + what); }
  void Enter(sInt) override
  {
    Say("Enter");
    if(Bars) SyncSource->SetPatternTable(0, Bars);
  }
  void Leave(sInt next) override { Say("Leave" + std::to_string(next)); }
  void Camera(sInt, sViewport *) override { Say("Camera"); }
  void Tick(sInt) override { Say("Tick"); }
  void Render(sInt, sViewport *) override { Say("Render"); }
  void AfterRender(sViewport *) override { Say("After"); }
  void OnEvent(sInt code) override { Say("Event" + std::to_string(code)); }
};

// A SYNC machine as the plug-in table sees it: queued codes per channel and a preset.
struct FakeSync
{
  std::deque<sInt> Codes[5];
  sInt Preset = 0;
} Fake;

SyncMachine *AsSync() { return reinterpret_cast<SyncMachine *>(&Fake); }

void PlugFakeSync()
{
  sShowPlugins = {};
  sShowPlugins.CreateSync = [](sF32, sPainter *, sInt, sInt, sInt, sInt) { return AsSync(); };
  sShowPlugins.HasPatterns = [](SyncMachine *, sInt c) -> sBool { return !Fake.Codes[c].empty(); };
  sShowPlugins.PollKey = [](SyncMachine *, sInt c, sInt) {
    if(Fake.Codes[c].empty()) return 0;
    sInt code = Fake.Codes[c].front();
    Fake.Codes[c].pop_front();
    return code;
  };
  sShowPlugins.GetColorPreset = [](SyncMachine *) { return Fake.Preset; };
}

class Machine : public RenderTest
{
public:
  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  std::vector<TestScene *> S;

  void SetUp() override
  {
    RenderTest::SetUp();
    SetShowDisplay(0, W, H);
    Record.UsePackfile = Record.MusicOn = Record.InputLock = Record.UseLoader = 0;
    Record.FixedStep = 1;
    Record.FixedStepMs = 16;
    Record.CapturePattern = u"machine_test_%06d.bmp";
    setenv("TMPDIR", Tmp.Path.c_str(), 1);
    PlugFakeSync();
    Fake = FakeSync();
    Log.clear();
  }
  void TearDown() override
  {
    sDELETE(M);
    sShowPlugins = {};
    unsetenv("TMPDIR");   // the folder goes with the test
    sPartitionMemory(Frames.FrameSize, Frames.DMASize);   // the machine took the test entry's
  }
  sFrameMemoryStats Frames = sGetFrameMemoryStats();
  // Builds the machine with scenes of the given registration flags (and channel-0 tables)
  // and starts it.
  void Build(std::vector<sInt> flags, std::vector<SyncPatternTable> bars = {})
  {
    M = sNEW SceneMachine(&Record);
    for(size_t i = 0; i < flags.size(); i++)
    {
      S.push_back(sNEW TestScene(("S" + std::to_string(i)).c_str()));
      S.back()->Bars = i < bars.size() ? bars[i] : nullptr;
      M->RegisterScene(S.back(), u"test", sInt(i), flags[i], 0);
    }
    M->Start();
    Log.clear();
  }
  void Frame() { ASSERT_TRUE(sRender3DBegin()); M->OnPaint3D(); sRender3DEnd(1); }
  sInt Count(const std::string &what) { return sInt(std::count(Log.begin(), Log.end(), what)); }
  void Key(sU32 code) { M->OnInput(sInput2Event{code, 0, 0, 0}); }
  sparktest::TempDir Tmp;
};
}

TEST_F(Machine, FrameOrderAndFixedTicks)
{
  Build({1, 1, 0x101, 0x101});
  Frame();
  sInt ticks = 0;
  for(sInt f = 0; f < 5; f++)
  {
    Log.clear();
    Frame();
    sInt n = Count("S0:Tick");
    EXPECT_TRUE(n == 1 || n == 2) << n;
    ticks += n;
    EXPECT_EQ(S[0]->StepCount, n);
    // current scene first, then the resident scenes in index order
    std::vector<std::string> want;
    for(std::string sc : {"S0:", "S2:", "S3:"})
    {
      want.push_back(sc + "Camera");
      want.insert(want.end(), n, sc + "Tick");
      want.insert(want.end(), {sc + "Render", sc + "After"});
    }
    EXPECT_EQ(Log, want);
  }
  EXPECT_EQ(ticks, 8);   // 80 ms of clock, whatever the frame boundaries
  Record.FixedStepMs = 40;
  Log.clear();
  Frame();
  EXPECT_EQ(Count("S0:Tick"), 4);
  // the debug camera replaces the current scene's camera, not the resident ones'
  Key('^');
  Log.clear();
  Frame();
  EXPECT_EQ(Count("S0:Camera") + Count("S2:Camera"), 1);
  EXPECT_EQ(M->Views[0].Camera.l.z, M->FreeCamera->Position.z);
  EXPECT_NEAR(M->FreeCamera->Position.z, 10.0f, 1e-4);
}

TEST_F(Machine, SwitchCodesVariantKeysAndTransitions)
{
  Build({1, 1, 0x101, 1});
  GuiMediaState media;
  M->Media = &media;
  Fake.Codes[0] = {sSCENE_SWITCHCODE + 1, sSCENE_SWITCHCODE + 4, sSCENE_SWITCHCODE + 2};
  Frame();
  // S0 leaves before S1 enters; 4 (the count) and the resident S2 are refused
  EXPECT_EQ(std::find(Log.begin(), Log.end(), "S0:Leave1") + 1, std::find(Log.begin(), Log.end(), "S1:Enter"));
  EXPECT_EQ(M->Current, 1);
  EXPECT_EQ(Count("S2:Enter"), 0);
  EXPECT_EQ(media.SceneSwitched, 0);   // pending transition 0 clears it again

  const sInt modes[][2] = {{0, 0}, {1, 1}, {2, 3}, {3, 2}, {4, 4}, {7, 5}};
  for(auto &m : modes)
  {
    M->PendingTransition = m[0];
    M->SwitchScene(m[0] % 2 ? 0 : 3);
    EXPECT_EQ(M->Scenes[M->Current]->RenderMode, m[1]) << m[0];
    EXPECT_EQ(media.SceneSwitched, m[0] ? 1 : 0);
  }
  sInt before = M->Current;
  for(sInt bad : {-1, 2, 4, 31}) M->SwitchScene(bad);
  EXPECT_EQ(M->Current, before);

  // variant keys, 'a' with the base NextVariant and 's'
  M->SwitchScene(0);
  // 'a' does nothing below the "high" preset, else asks the base NextVariant: -1
  const sInt keys[][3] = {{'3', 0, 2}, {'a', 0, 2}, {'a', 2, -1}, {'s', 2, 2}};
  for(auto &k : keys)
  {
    Fake.Preset = k[1];
    Key(sU32(k[0]));
    EXPECT_EQ(S[0]->Variant, k[2]) << char(k[0]);
  }
  // keyboard codes reach the current and every resident scene
  Log.clear();
  Key('x');
  EXPECT_EQ(Log, (std::vector<std::string>{"S0:Event120", "S2:Event120"}));
  // the input lock keeps them from the scenes' events
  Record.InputLock = 1;
  Log.clear();
  Key('x');
  EXPECT_TRUE(Log.empty());
}

TEST_F(Machine, PointerIsTheClampedWindowPositionAndTheMouseTurnsTheDebugCamera)
{
  sInitInput();
  Build({1});
  const sInt moves[][4] = {{10, 20, 1, 10}, {500, 30, 0, 64}, {-7, 30, 1, 0}};
  for(auto &m : moves)
  {
    sMouseWindowState->X = m[0];
    sMouseWindowState->Y = m[1];
    sMouseWindowState->Buttons = sU32(m[2]);
    // the polling thread samples the window state; frames take its snapshots
    for(sInt i = 0; i < 500 && (M->Pointer.X != sF32(m[3]) || M->Pointer.Buttons != m[2]); i++)
    {
      sSleep(10);
      Frame();
    }
    EXPECT_EQ(M->Pointer.X, sF32(m[3]));
    EXPECT_EQ(M->Pointer.Y, sF32(m[1]));
    EXPECT_EQ(M->Pointer.Buttons & 1, m[2]);
  }
  // the debug camera turns with the mouse's raw motion
  Key('^');
  sAddRawMouseMotion(100, 0);
  for(sInt i = 0; i < 500 && M->FreeCamera->AngleY < 3.2f; i++) { sSleep(10); Frame(); }
  EXPECT_NEAR(M->FreeCamera->AngleY, 3.14159274f + 0.2f, 1e-4);
  sDELETE(M);
  sExitInput();
}

TEST_F(Machine, FixedStepCapturesNumberedPictures)
{
  // the frame picture is there from the start, so capturing allocates nothing; the
  // fixed-step key starts capturing
  Record.FixedStep = 0;
  Build({});
  Frame();
  EXPECT_NE(M->CaptureImage, nullptr);
  Key(sSCENE_FIXEDSTEPKEY);
  Frame();
  EXPECT_TRUE(sCheckFile(Tmp.Name("machine_test_000001.bmp").c_str()));
  sDELETE(M);

  Record.BackgroundColour = 0xff2050c0;
  // no scenes at all: the background colour; a scene of its own clear colour: that one
  for(auto [withScene, colour] : {std::pair{false, 0x2050c0u}, std::pair{true, 0x30a010u}})
  {
    Build(withScene ? std::vector<sInt>{1} : std::vector<sInt>{});
    if(withScene) S.back()->RenderEnv.FogColor = 0xff000000 | colour;
    Frame();
    Frame();
    sDELETE(M);
    sImage img;
    EXPECT_TRUE(sCheckFile(Tmp.Name("machine_test_000001.bmp").c_str()));
    ASSERT_TRUE(img.Load(Tmp.Name("machine_test_000002.bmp").c_str()));
    ASSERT_EQ(img.SizeX * 1000 + img.SizeY, W * 1000 + H);
    EXPECT_EQ(img.Data[W * H / 2 + W / 2] & 0xffffff, colour);
    EXPECT_FALSE(sCheckFile(Tmp.Name("machine_test_000003.bmp").c_str()));
  }
}

TEST_F(Machine, RegistrationLimitsAndSetOrder)
{
  sparktest::DebugCapture quiet;
  Record.SharedSync = 0;
  Build({1});
  EXPECT_EQ(Record.SharedSync, 1);   // one SYNC machine for all
  quiet.Stop();
  for(sInt i = 1; i < 31; i++) M->RegisterScene(sNEW TestScene("x"), u"x", i, 1, 0);
  EXPECT_EQ(M->SceneCount, 31);   // 31 fit, the 32nd does not
  EXPECT_DEATH(M->RegisterScene(sNEW TestScene("x"), u"x", 31, 1, 0), "Expression: SceneCount<32");
  sDELETE(M);
  EXPECT_DEATH(Build({2, 0}), "no global texture & material found!");
  EXPECT_DEATH(Build({1, 0}), "global texture & material scene should be first!");
}

TEST_F(Machine, TheLoaderSceneIsDrawnOnASoftwareRasteriserToo)
{
  Record.UseLoader = 1;
  std::string oldDir = plat::CurrentDir();
  ASSERT_TRUE(plat::ChangeDir(TWDATA_DIR));   // the loader's picture
  M = sNEW SceneMachine(&Record);   // its first refresh always presents
  plat::ChangeDir(oldDir.c_str());
  ASSERT_NE(M->Loader->Loader, nullptr);
  std::vector<sU32> px = ReadScreen(W, H);
  EXPECT_GT(std::count_if(px.begin(), px.end(), [](sU32 c) { return (c & 0xffffff) != 0; }), W * H / 20);
}

namespace
{
GuiMediaState TestMedia;
SceneRequest TestRequest;
SlideshowControl TestSlides;
SlideshowControl *SlidesGiven = nullptr;
template <const char *N> Scene *MakeScene() { return sNEW TestScene(N); }
const char Morvensk[] = "Morvensk", Global[] = "Global", Slideshow[] = "Slideshow", Gui[] = "GUI";
}

TEST_F(Machine, ApplicationEntersTheGuiThenGlobalAndWiresTheGuiRecords)
{
  const ShowSceneRow table[] = {{u"Morvensk", MakeScene<Morvensk>, 1, 0}, {u"Global", MakeScene<Global>, 0x101, 0},
                                {u"Slideshow", MakeScene<Slideshow>, 1, 0}, {u"GUI", MakeScene<Gui>, 0x101, 1}};
  StartupRecord keep = sStartupRecord;
  sStartupRecord = Record;
  sGetGuiRecords = [](Scene *) { return GuiRecordSet{&TestMedia, &TestRequest, &TestSlides}; };
  sSetSlideshowControl = [](Scene *, SlideshowControl *c) { SlidesGiven = c; };
  MainApp *app = sNEW MainApp(table, 4);
  EXPECT_EQ(app->Machine->Current, 0);
  EXPECT_EQ(app->Gui, app->Machine->Scenes[3]);
  std::vector<std::string> enters;
  for(const std::string &l : Log)
    if(l.find(":Enter") != std::string::npos) enters.push_back(l);
  EXPECT_EQ(enters, (std::vector<std::string>{"Morvensk:Enter", "Morvensk:Enter", "GUI:Enter", "Global:Enter"}));
  EXPECT_EQ(TestRequest.SlideshowIndex, 14);
  EXPECT_EQ(SlidesGiven, &TestSlides);
  EXPECT_EQ(app->Machine->Media, &TestMedia);
  EXPECT_EQ(TestMedia.FadeOn, 0);   // the GUI's first frame switches the master fade on
  EXPECT_EQ(TestMedia.FadeFactors[1], 1.0f);
  sDELETE(app);
  sGetGuiRecords = nullptr;
  sSetSlideshowControl = nullptr;
  sStartupRecord = keep;
}

// The show's own machines plugged in: the real SYNC machine on its own clock (100 ms
// frames, no capture device) plays the test scenes' bars of beat events 100 to 103.
namespace
{
const SyncPattern Bar = [] {
  SyncPattern p = {};
  for(sInt b = 0; b < 4; b++) p.Keys[b * 4][0] = sU32(100 + b);
  return p;
}();
const SyncPattern *const EightBars[] = {&Bar, &Bar, &Bar, &Bar, &Bar, &Bar, &Bar, &Bar, nullptr}, *const OneBar[] = {&Bar, nullptr};
std::string WidgetPath;   // the widget the DMX receiver finds; read by its thread

class Wired : public Machine
{
public:
  void SetUp() override
  {
    Machine::SetUp();
    sShowPlugins = {};
    InstallShowPlugins();
    Record.InputLock = 0;
    Record.FixedStepMs = 100;
  }
  // Frames until a sequence ends and switches the scene (a bar is 19 frames), at most the
  // given number; the new one.
  sInt NextScene(sInt frames = 100)
  {
    for(sInt i = 0, from = M->Current; i < frames && M->Current == from; i++) Frame();
    return M->Current;
  }
};
}

TEST_F(Wired, BeatCodesReachTheCurrentSceneAndKeysOfResidentOrMissingScenesReplayItsList)
{
  Build({1, 0x101, 1}, {EightBars, OneBar, OneBar});
  EXPECT_EQ(NextScene(400), 2) << "S0's first end asks for the resident S1: S0 plays its list again";
  SceneRequest req = {};
  sShowPlugins.SetSceneRequest(M->Sync, &req);
  for(sInt next : {21, 5})   // the GUI asks for number 21 (the resident S1), then 5 (no scene)
  {
    req.NextNumber = next;
    req.TakenFlag = 0;
    for(sInt i = 0; i < 100 && !req.TakenFlag; i++) Frame();
    EXPECT_TRUE(req.TakenFlag && M->Current == 2) << next;
  }
  req.NextNumber = 0;
  EXPECT_EQ(NextScene(), 0);
  // S0 starts half a bar before the end of its eighth bar; each scene gets its beats, then
  // the key that ends its turn
  std::string got, want = "S0:Event102 S0:Event103 S0:Event57377 ";
  for(const std::string &l : Log)
    if(l.find(":Event") != std::string::npos) got += l + " ";
  auto beats = [](const char *s) { return std::string(s) + ":Event100 " + s + ":Event101 " + s + ":Event102 " + s + ":Event103 "; };
  for(sInt i = 0; i < 8; i++) want += beats("S0");
  want += "S0:Event57378 " + beats("S2") + "S2:Event57377 " + beats("S2") + "S2:Event57381 " + beats("S2") +
          "S2:Event57376 S0:Event100 ";
  EXPECT_EQ(got, want);
  Key(9);   // the SYNC panel's dark backdrop over the scene's white
  ASSERT_TRUE(sRender3DBegin());
  M->OnPaint3D();
  std::vector<sU32> px = EndFrame();
  EXPECT_GT(std::count_if(px.begin() + 32 * W, px.begin() + 44 * W, [](sU32 c) { return ChR(c) < 0x80; }), 12 * W / 2);
}

TEST_F(Wired, DmxFramesReachTheBankAndTheRecordsMusicPlays)
{
  dmxwidget::FakeWidget widget;
  WidgetPath = widget.Path;
  sSetDmxWidgetLister([] { return std::vector<std::string>{WidgetPath}; });
  const char *driver = getenv("SDL_AUDIODRIVER");
  const std::string raw = Tmp.Name8("out.raw"), here = std::filesystem::current_path(), was = driver ? driver : "dummy";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  sInitSound();
  std::filesystem::current_path(SHOW_DATA_ROOT);   // where the record's "Tarnglow.ogg" is
  Record.MusicOn = 1;
  Build({1});
  std::filesystem::current_path(here);
  ASSERT_TRUE(sparktest::WaitFor([&] { return widget.Greeted > 0; }));
  EXPECT_TRUE(sparktest::WaitFor([&] { return widget.Send(dmxwidget::Frame(3, 10)), Frame(), M->DmxCount == 3; }));
  EXPECT_FLOAT_EQ(M->DmxCurrent[2], 24 / 255.0f);
  // the disk driver writes the output as it plays: after the buffer's second of silence, music
  EXPECT_TRUE(sparktest::WaitFor([&] {
    const std::string b = sparktest::ReadFile(raw);
    const sS16 *v = reinterpret_cast<const sS16 *>(b.data());
    return sSoundClock(), std::count_if(v, v + b.size() / 2, [](sS16 x) { return x > 2000 || x < -2000; }) > 1000;
  }));
  sDELETE(M);   // the receiver and the player stop with the machine, before the widget and the sound
  sSetDmxWidgetLister(nullptr);
  sExitSound();
  setenv("SDL_AUDIODRIVER", was.c_str(), 1);
}
