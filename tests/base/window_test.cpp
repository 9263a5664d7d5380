// The window procedure: keys become input events and device state; activation and close
// requests.
#include "common/check.hpp"
#include "base/input2.hpp"
#include "base/render3d.hpp"
#include "base/window.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace
{
class RecordingApp : public sApp
{
public:
  std::vector<sInput2Event> Events;
  void OnInput(const sInput2Event &e) override { Events.push_back(e); }
};

class WindowProc : public testing::Test
{
protected:
  RecordingApp App;

  void SetUp() override
  {
    sCreateFrameworkHooks();
    sInitInput2EventQueue();
    sInitInput();
    sBuildKeyTable();
    sSetSystemFlags(0);   // events straight to the application
    sSetApplication(&App);
    sDrainInput2Events();
  }
  void TearDown() override
  {
    sSetApplication(nullptr);
    sSetSystemFlags(0);
    sExitInput();
    sExitInput2EventQueue();
    sDeleteFrameworkHooks();
    sResetExitFlag();
  }

  static plat::Message Key(int scancode, uint16_t mods, bool down, bool repeat = false)
  {
    plat::Message m;
    m.Kind = down ? plat::MessageKind::KeyDown : plat::MessageKind::KeyUp;
    m.Key.Scancode = scancode;
    m.Key.Keycode = SDL_GetKeyFromScancode(SDL_Scancode(scancode));
    m.Key.Modifiers = mods;
    m.Key.Down = down;
    m.Key.Repeat = repeat;
    return m;
  }
  // The key code of one key message (0 when it made no event).
  sU32 CodeOf(const plat::Message &m)
  {
    App.Events.clear();
    sWindowProc(m);
    return App.Events.empty() ? 0 : App.Events.back().Key;
  }
};

TEST_F(WindowProc, KeysCarryQualifiersRepeatAndRelease)
{
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_F1, 0, true)), 0xe020u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_F1, 0, true, true)), 0x4000e020u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_F1, 0, false)), 0x8000e020u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_F12, 0, true)), 0xe02bu);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_UP, 0, true)), 0xe000u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_A, 0, true)), sU32('a'));
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_A, KMOD_LSHIFT, true)), sU32('A') | 0x10000u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_A, KMOD_RSHIFT, true)), sU32('A') | 0x20000u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_A, KMOD_CAPS, true)), sU32('A') | 0x40000u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_A, KMOD_LCTRL, true)), sU32('a') | 0x80000u);
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_A, KMOD_RCTRL | KMOD_LALT, false)), sU32('a') | 0x100000u | 0x200000u | 0x80000000u);
  EXPECT_EQ(sQualifiers, 0x300000u);
  // the alt key itself has no code
  EXPECT_EQ(CodeOf(Key(SDL_SCANCODE_LALT, KMOD_LALT, true)), 0u);
}

TEST_F(WindowProc, ContinuousModeQueuesAndActivationDrains)
{
  sSetSystemFlags(sISF_CONTINUOUS);
  static sInt active = -1;
  auto hook = +[](sDInt a, void *) { active = sInt(a); };
  sAddHook(sActivateHook.load(), hook, nullptr);
  App.Events.clear();
  sWindowProc(Key(SDL_SCANCODE_C, KMOD_LSHIFT, true));
  EXPECT_TRUE(App.Events.empty());
  sInput2Event e;
  ASSERT_TRUE(sPopDueInput2Event(e, sGetTime()));
  EXPECT_EQ(e.Key, sU32('C') | 0x10000u);
  sWindowProc(Key(SDL_SCANCODE_C, KMOD_LSHIFT, true, true));
  EXPECT_EQ(sQualifiers, 0x10000u);

  plat::Message m;
  m.Kind = plat::MessageKind::Activate;
  m.Active = true;
  sWindowProc(m);
  EXPECT_EQ(active, 1);
  EXPECT_EQ(sQualifiers, 0u);
  EXPECT_FALSE(sPopDueInput2Event(e, sGetTime()));
  m.Kind = plat::MessageKind::Minimize;
  sWindowProc(m);
  EXPECT_EQ(active, 0);
}

TEST_F(WindowProc, WindowLosingTheFocusStaysActiveFullScreenDoesNot)
{
  static sInt active = -1;
  auto hook = +[](sDInt a, void *) { active = sInt(a); };
  sAddHook(sActivateHook.load(), hook, nullptr);
  plat::Message m;
  m.Kind = plat::MessageKind::Activate;
  m.Active = false;
  sWindowProc(m);
  EXPECT_EQ(active, 1);
  sSetSystemFlags(sISF_FULLSCREEN);
  sWindowProc(m);
  EXPECT_EQ(active, 0);
  m.Active = true;
  sWindowProc(m);
  EXPECT_EQ(active, 1);
}

}

namespace
{
TEST(FrameBackEndDeathTest, TableWithAMissingFunctionIsFatal)
{
  sFrameBackEnd frames = sGetFrameStandIns();
  frames.Render3DEnd = nullptr;
  EXPECT_EXIT(sSetFrameBackEnd(frames), testing::ExitedWithCode(1), kCheckFailed);
}
}
