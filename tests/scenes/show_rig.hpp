#pragma once
// The show scenes in a running scene machine: a hidden 480 x 270 window on the real device
// (a picture a person can look at), the real SYNC machine behind the machine's plug-in
// table, the data tree as the current folder, and fixed-step frames whose captured
// picture is kept in Frame until the next frame.

#include "base/framemem.hpp"
#include "graphics/render_fixture.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

class ShowRig : public testing::Test
{
public:
  static constexpr sInt W = 480, H = 270;
  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  SyncMachine *Sync = nullptr;
  std::string Frame = "/tmp/sparkvane-rig-" + std::to_string(getpid()) + ".bmp";
  std::u16string FramePattern = std::u16string(Frame.begin(), Frame.end());
  char OldDir[4096] = {};
  sFrameMemoryStats Frames = sGetFrameMemoryStats();

  static void SetUpTestSuite()
  {
    if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if(!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    RenderTest::Window = SDL_CreateWindow("scenes", 0, 0, W, H, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    sU32 flags = 0;
    sInt w = W, h = H;
    sInitScreenMode(flags, w, h);
    sSetGfxWindow(RenderTest::Window);
    sInitGfx(flags, w, h);
  }
  static void TearDownTestSuite() { RenderTest::TearDownTestSuite(); }

  void SetUp() override
  {
    ASSERT_TRUE(sIsGfxActive());
    ASSERT_TRUE(getcwd(OldDir, sizeof(OldDir)) && chdir(TWDATA_DIR) == 0);
    SetShowDisplay(0, W, H);
    Record.UsePackfile = Record.MusicOn = Record.InputLock = Record.UseLoader = Record.PackedAssets = 0;
    Record.FixedStep = 1;
    Record.FixedStepMs = 50;
    Record.InitialBpm = 240.0f;   // a bar is one second, a step 62.5 ms: no step is skipped
    Record.CapturePattern = FramePattern.c_str();
    static ShowRig *rig;
    rig = this;
    sShowPlugins = {};
    sShowPlugins.CreateSync = [](sF32 bpm, sPainter *, sInt, sInt, sInt first, sInt last) {
      rig->Sync = sNEW SyncMachine(bpm);
      rig->Sync->SetSceneKeyRange(first, last);
      return rig->Sync;
    };
    sShowPlugins.DeleteSync = [](SyncMachine *s) { sDELETE(s); };
    sShowPlugins.UpdateSync = [](SyncMachine *s, sInt ms) { s->Update(ms); };
    sShowPlugins.HasPatterns = [](SyncMachine *s, sInt c) -> sBool { return s->Tables[c] != nullptr; };
    sShowPlugins.PollKey = [](SyncMachine *s, sInt c, sInt first) { return sInt(s->PollKey(c, first)); };
    sShowPlugins.SyncOnKey = [](SyncMachine *s, sU32 code) { s->OnKey(sInt(code)); };
    sShowPlugins.ClearTrigger = [](SyncMachine *s) { s->ClearTrigger(); };
    sShowPlugins.ClearFreeze = [](SyncMachine *s) { s->Freeze = 0; };
    sShowPlugins.GetColorPreset = [](SyncMachine *s) { return s->ColorPreset; };
    sShowPlugins.GetSyncClock = [](SyncMachine *s) { return sU32(s->PublishedClock); };
  }
  void TearDown() override
  {
    Drop();
    sShowPlugins = {};
    std::remove(Frame.c_str());
    EXPECT_EQ(chdir(OldDir), 0);
  }
  // Ends the machine, which takes the frame memory with it: the test entry's comes back.
  void Drop()
  {
    sDELETE(M);
    sPartitionMemory(Frames.FrameSize, Frames.DMASize);
  }
  void Step()
  {
    ASSERT_TRUE(sRender3DBegin());
    M->OnPaint3D();
    sRender3DEnd(1);
  }
};
