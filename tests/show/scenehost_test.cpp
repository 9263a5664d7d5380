// The scene machine driven with small test scenes on a real graphics device: the frame
// order, the fixed 10 ms ticks, switching, keys, the pointer and fixed-step capture.
#include "show/scenehost.hpp"

#include "base/capture_util.hpp"
#include "base/input2.hpp"
#include "base/system.hpp"
#include "common/temp_dir.hpp"
#include "graphics/image.hpp"
#include "gui/records.hpp"
#include "show/freecamera.hpp"
#include "show/loader.hpp"
#include "show/mainapp.hpp"
#include "show/scene.hpp"
#include "show/startup.hpp"
#include "base/file.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> Log;

class TestScene : public Scene
{
public:
  std::string Name;
  explicit TestScene(const char *name) : Name(name) {}
  void Say(const std::string &what) { Log.push_back(Name + ":" + what); }
  void Init(SyncMachine *sync, sInt flags, TMData *set) override { Scene::Init(sync, flags, set); Say("Init"); }
  void Enter(sInt) override { Say("Enter"); }
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

class Machine : public testing::Test
{
public:
  static constexpr sInt W = 64, H = 48;
  static void SetUpTestSuite()
  {
    if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
      if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    }
    Window = SDL_CreateWindow("machine test", 0, 0, W, H, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if(!Window) return;
    sU32 flags = 0;
    sInt w = W, h = H;
    sInitScreenMode(flags, w, h);
    sSetGfxWindow(Window);
    sInitGfx(flags, w, h);
  }
  static void TearDownTestSuite()
  {
    if(sIsGfxActive() || Window) sExitGfx();
    sSetGfxWindow(nullptr);
    if(Window) SDL_DestroyWindow(Window);
    Window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  static inline SDL_Window *Window = nullptr;

  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  std::vector<TestScene *> S;

  void SetUp() override
  {
    ASSERT_TRUE(sIsGfxActive()) << "no graphics device";
    SetShowDisplay(0, W, H);
    Record.UsePackfile = 0;
    Record.MusicOn = 0;
    Record.InputLock = 0;
    Record.UseLoader = 0;
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
  }
  // Builds the machine with scenes of the given registration flags and starts it.
  void Build(std::vector<sInt> flags)
  {
    M = sNEW SceneMachine(&Record);
    for(size_t i = 0; i < flags.size(); i++)
    {
      S.push_back(sNEW TestScene(("S" + std::to_string(i)).c_str()));
      M->RegisterScene(S.back(), u"test", sInt(i), flags[i], 0);
    }
    M->Start();
    Log.clear();
  }
  void Frame()
  {
    ASSERT_TRUE(sRender3DBegin());
    M->OnPaint3D();
    sRender3DEnd(1);
  }
  sInt Count(const std::string &what)
  {
    sInt n = 0;
    for(const std::string &l : Log) n += l == what;
    return n;
  }
  void Key(sU32 code)
  {
    sInput2Event e;
    e.Key = code;
    M->OnInput(e);
  }
  sparktest::TempDir Tmp;
};
}

TEST_F(Machine, FrameOrderAndFixedTicks)
{
  Build({1, 1, 0x101, 0x101});
  EXPECT_EQ(M->Loader->Steps, 6);   // construction, four registrations, the start
  Frame();
  Log.clear();
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
    std::vector<std::string> want = {"S0:Camera"};
    want.insert(want.end(), n, "S0:Tick");
    for(const char *s : {"S0:Render", "S0:After", "S2:Camera"}) want.push_back(s);
    want.insert(want.end(), n, "S2:Tick");
    for(const char *s : {"S2:Render", "S2:After", "S3:Camera"}) want.push_back(s);
    want.insert(want.end(), n, "S3:Tick");
    for(const char *s : {"S3:Render", "S3:After"}) want.push_back(s);
    EXPECT_EQ(Log, want);
  }
  EXPECT_EQ(ticks, 8);   // 80 ms of clock, whatever the frame boundaries
  Record.FixedStepMs = 40;
  Log.clear();
  Frame();
  EXPECT_EQ(Count("S0:Tick"), 4);
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
  Key('3');
  EXPECT_EQ(S[0]->Variant, 2);
  Key('a');
  EXPECT_EQ(S[0]->Variant, 2);   // preset below "high": nothing
  Fake.Preset = 2;
  Key('a');
  EXPECT_EQ(S[0]->Variant, -1);
  Key('s');
  EXPECT_EQ(S[0]->Variant, 2);
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

TEST_F(Machine, DebugCameraReplacesTheSceneCamera)
{
  Build({1});
  Key('^');
  Frame();
  EXPECT_EQ(Count("S0:Camera"), 0);
  EXPECT_EQ(M->Views[0].Camera.l.z, M->FreeCamera->Position.z);
  EXPECT_NEAR(M->FreeCamera->Position.z, 10.0f, 1e-4);
  Key('^');
  Log.clear();
  Frame();
  EXPECT_EQ(Count("S0:Camera"), 1);
}

TEST_F(Machine, PointerIsTheClampedWindowPosition)
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
  sDELETE(M);
  sExitInput();
}

TEST_F(Machine, FixedStepCapturesNumberedPictures)
{
  Record.BackgroundColour = 0xff2050c0;
  struct Case
  {
    bool WithScene;
    sU32 Colour;
  };
  // no scenes at all: the background colour; a scene of its own clear colour: that one
  for(const Case &c : {Case{false, 0x2050c0}, Case{true, 0x30a010}})
  {
    Build(c.WithScene ? std::vector<sInt>{1} : std::vector<sInt>{});
    if(c.WithScene) S.back()->RenderEnv.FogColor = 0xff000000 | c.Colour;
    Frame();
    Frame();
    sDELETE(M);
    sImage img;
    for(const char *name : {"machine_test_000001.bmp", "machine_test_000002.bmp"})
    {
      ASSERT_TRUE(img.Load(Tmp.Name(name).c_str())) << name;
      ASSERT_EQ(img.SizeX, W);
      ASSERT_EQ(img.SizeY, H);
      EXPECT_EQ(img.Data[W * H / 2 + W / 2] & 0xffffff, c.Colour) << name;
    }
    EXPECT_FALSE(sCheckFile(Tmp.Name("machine_test_000003.bmp").c_str()));
  }
}

TEST_F(Machine, RegistrationLimitsAndSetOrder)
{
  CapturedOutput out;
  Record.SharedSync = 0;
  Build({1});
  EXPECT_EQ(Record.SharedSync, 1);   // one SYNC machine for all, with a message
  EXPECT_NE(out.Get().find("SharedSync 0 is not supported"), std::string::npos);
  out.Stop();
  for(sInt i = 1; i < 31; i++) M->RegisterScene(sNEW TestScene("x"), u"x", i, 1, 0);
  EXPECT_EQ(M->SceneCount, 31);   // 31 fit, the 32nd does not
  EXPECT_DEATH(M->RegisterScene(sNEW TestScene("x"), u"x", 31, 1, 0), "");
  sDELETE(M);
  EXPECT_DEATH(Build({2, 0}), "no global texture & material found!");
  EXPECT_DEATH(Build({1, 0}), "global texture & material scene should be first!");
}

namespace
{
GuiMediaState TestMedia;
SceneRequest TestRequest;
SlideshowControl TestSlides;
SlideshowControl *SlidesGiven = nullptr;
}

TEST_F(Machine, ApplicationEntersTheGuiThenGlobalAndWiresTheGuiRecords)
{
  const ShowSceneRow table[] = {
    {u"Morvensk", [] { return static_cast<Scene *>(sNEW TestScene("Morvensk")); }, 1, 0},
    {u"Global", [] { return static_cast<Scene *>(sNEW TestScene("Global")); }, 0x101, 0},
    {u"Slideshow", [] { return static_cast<Scene *>(sNEW TestScene("Slideshow")); }, 1, 0},
    {u"GUI", [] { return static_cast<Scene *>(sNEW TestScene("GUI")); }, 0x101, 1},
  };
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
  EXPECT_EQ(TestMedia.FadeOn, 1);
  EXPECT_EQ(TestMedia.FadeFactors[1], 1.0f);
  sDELETE(app);
  sGetGuiRecords = nullptr;
  sSetSlideshowControl = nullptr;
  sStartupRecord = keep;
}
