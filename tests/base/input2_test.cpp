// Keyboard and mouse devices fed by snapshots, the polling thread and input schemes.
#include "base/input2.hpp"
#include "base/numbers.hpp"

#include "platform/input/joypad.hpp"

#include <gtest/gtest.h>

namespace
{
sKeyboardWin32::Snapshot KeySnapshot(sU32 time, std::initializer_list<std::pair<sInt, sF32>> keys)
{
  sKeyboardWin32::Snapshot s = {};
  for(auto &k : keys) s.Values[k.first] = k.second;
  s.Time = time;
  s.Status = 0;
  return s;
}

sMouseWin32::Snapshot MouseSnapshot(sU32 time, std::initializer_list<std::pair<sInt, sF32>> values)
{
  sMouseWin32::Snapshot s = {};
  s.Values[sMOUSE_ONE] = 1;
  for(auto &v : values) s.Values[v.first] = v.second;
  s.Time = time;
  return s;
}

TEST(InputDevices, UpdateTakesDueSnapshotsAndRelativeIsTheChangeOverTheFrame)
{
  sKeyboardWin32 kbd;
  kbd.AddSnapshot(KeySnapshot(100, {{5, 1}}));
  kbd.AddSnapshot(KeySnapshot(110, {{6, 1}}));
  kbd.Update(105, 0);
  EXPECT_EQ(kbd.getAbs(5), 1.0f);
  EXPECT_EQ(kbd.getRel(5), 1.0f);
  EXPECT_EQ(kbd.getAbs(6), 0.0f);
  EXPECT_EQ(kbd.GetTime(), 100u);
  kbd.Update(120, 0);
  EXPECT_EQ(kbd.getAbs(5), 0.0f);
  EXPECT_EQ(kbd.getRel(5), -1.0f);
  EXPECT_EQ(kbd.getRel(6), 1.0f);
  // nothing new: the change is cleared
  kbd.Update(130, 0);
  EXPECT_EQ(kbd.getRel(6), 0.0f);
  EXPECT_EQ(kbd.getAbs(6), 1.0f);
}

TEST(InputDevices, ClockWrapDoesNotFreezeInput)
{
  sKeyboardWin32 kbd;
  // stamped just before the 32-bit clock wraps, the frame's time just after it
  kbd.AddSnapshot(KeySnapshot(0xfffffff8u, {{2, 1}}));
  kbd.Update(0x00000004u, 0);
  EXPECT_EQ(kbd.getAbs(2), 1.0f);
  EXPECT_EQ(kbd.getPressed(2, 0.5f), 1);
  // and a snapshot after the wrap is still in the future for a frame before it
  kbd.AddSnapshot(KeySnapshot(0x00000010u, {}));
  kbd.Update(0xfffffffcu, 0);
  EXPECT_EQ(kbd.getAbs(2), 1.0f);
  kbd.Update(0x00000010u, 0);
  EXPECT_EQ(kbd.getAbs(2), 0.0f);
}

TEST(InputDevices, PressedAndReleasedEdgesWithThresholds)
{
  sMouseWin32 mouse;
  // the right button reads 2 while held: threshold 0.5 still sees the edge once
  mouse.AddSnapshot(MouseSnapshot(10, {{sMOUSE_RIGHT, 2}}));
  mouse.Update(10, 0);
  EXPECT_EQ(mouse.getPressed(sMOUSE_RIGHT, 0.5f), 1);
  EXPECT_EQ(mouse.getReleased(sMOUSE_RIGHT, 0.5f), 0);
  mouse.AddSnapshot(MouseSnapshot(20, {{sMOUSE_RIGHT, 2}}));
  mouse.Update(20, 0);
  EXPECT_EQ(mouse.getPressed(sMOUSE_RIGHT, 0.5f), 0);
  mouse.AddSnapshot(MouseSnapshot(30, {}));
  mouse.Update(30, 0);
  EXPECT_EQ(mouse.getReleased(sMOUSE_RIGHT, 0.5f), 1);
  EXPECT_EQ(mouse.getPressed(sMOUSE_RIGHT, 0.5f), 0);

  // negative thresholds see crossings downwards, and report them as -1
  mouse.AddSnapshot(MouseSnapshot(40, {{sMOUSE_X, -0.8f}}));
  mouse.Update(40, 0);
  EXPECT_EQ(mouse.getPressed(sMOUSE_X, -0.5f), -1);
  EXPECT_EQ(mouse.getPressed(sMOUSE_X, 0.5f), 0);
  EXPECT_EQ(mouse.getPressed(sMOUSE_X, 0.0f), 0);
  mouse.AddSnapshot(MouseSnapshot(50, {{sMOUSE_X, 0.1f}}));
  mouse.Update(50, 0);
  EXPECT_EQ(mouse.getReleased(sMOUSE_X, -0.5f), -1);
  EXPECT_EQ(mouse.getReleased(sMOUSE_X, 0.0f), 0);
  EXPECT_EQ(mouse.getAbs(sMOUSE_ONE), 1.0f);
}

TEST(InputDevicesDeathTest, KeyIdOutsideTheDeviceIsFatal)
{
  EXPECT_EXIT({ sMouseWin32 m; m.getAbs(14); }, testing::ExitedWithCode(1),
              "invalid key id specified in sInput2Device::getAbs");
  EXPECT_EXIT({ sKeyboardWin32 k; k.getRel(256); }, testing::ExitedWithCode(1), "invalid key id");
  EXPECT_EXIT({ sKeyboardWin32 k; k.getPressed(-1, 0.5f); }, testing::ExitedWithCode(1), "invalid key id");
  EXPECT_EXIT({ sMouseWin32 m; m.getReleased(99, 0.5f); }, testing::ExitedWithCode(1), "invalid key id");
}

/****************************************************************************/

class InputSubsystem : public testing::Test
{
protected:
  void SetUp() override { sInitInput(); }
  void TearDown() override { sExitInput(); }

  // Updates the device each few milliseconds until pred holds (at most a minute).
  template <class D, class P> bool UpdateUntil(D *device, P pred)
  {
    for(sInt i = 0; i < 12000; i++)
    {
      sSleep(5);
      device->Update(sGetTime(), 0);
      if(pred()) return true;
    }
    return false;
  }
};

TEST_F(InputSubsystem, WindowSideWritesWhileThePollingThreadReads)
{
  // the main thread changes the state as fast as it can while the thread samples it
  sKeyboardWin32 *kbd = sGetKeyboardDevice();
  sMouseWin32 *mouse = sGetMouseDevice();
  for(sInt i = 0; i < 2000; i++)
  {
    sSetKeyState(i & 255, (i >> 8) & 1);
    sMouseWindowState->X.store(i);
    sMouseWindowState->Buttons.fetch_xor(1);
    sAddRawMouseMotion(1, -1);
    if((i & 63) == 0)
    {
      kbd->Update(sGetTime(), 0);
      mouse->Update(sGetTime(), 0);
    }
  }
  EXPECT_TRUE(UpdateUntil(mouse, [&] { return mouse->getAbs(sMOUSE_RAWX) == 2000.0f; }));
  EXPECT_EQ(mouse->getAbs(sMOUSE_RAWY), -2000.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_X), 1999.0f);
}

/****************************************************************************/

class Schemes : public testing::Test
{
protected:
  sKeyboardWin32 Kbd;
  sMouseWin32 Mouse;

  void Frame(sU32 time, std::initializer_list<std::pair<sInt, sF32>> keys,
             std::initializer_list<std::pair<sInt, sF32>> mouse = {})
  {
    Kbd.AddSnapshot(KeySnapshot(time, keys));
    Mouse.AddSnapshot(MouseSnapshot(time, mouse));
    Kbd.Update(time, 0);
    Mouse.Update(time, 0);
  }
};

TEST_F(Schemes, AnalogTakesTheStrongestOfEachDirection)
{
  sInput2Scheme s;
  s.Init(3);
  s.BindKey(0, &Kbd, 10);
  s.BindKey(0, &Kbd, 11);
  s.BindKey(1, &Kbd, 12);
  s.BindKey(1, &Kbd, 13);
  s.BindKey(2, &Kbd, 14, 0.5f);
  Frame(1, {{10, 0.8f}, {11, -0.3f}, {12, 0.8f}, {13, 0.6f}, {14, 0.4f}});
  EXPECT_FLOAT_EQ(s.Analog(0), 0.5f);   // opposite keys cancel
  EXPECT_FLOAT_EQ(s.Analog(1), 0.8f);   // the same direction does not add up
  EXPECT_FLOAT_EQ(s.Analog(2), 0.0f);   // inside the dead zone
  EXPECT_FLOAT_EQ(s.Relative(2), 0.0f);
  Frame(2, {{14, -0.9f}});
  EXPECT_FLOAT_EQ(s.Analog(2), -0.9f);
  EXPECT_FLOAT_EQ(s.Relative(2), -1.3f);
  EXPECT_FLOAT_EQ(s.Analog(0), 0.0f);
}

TEST_F(Schemes, MisuseIsFatal)
{
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Init(2); }, testing::ExitedWithCode(1), "already initialized");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.BindKey(2, &Kbd, 1); }, testing::ExitedWithCode(1), "id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Pressed(-1); }, testing::ExitedWithCode(1), "id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Analog(5); }, testing::ExitedWithCode(1), "id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Relative(2); }, testing::ExitedWithCode(1), "id out of range");
  // a scheme made for no ids has every id out of range, and may still be made again
  EXPECT_EXIT({ sInput2Scheme s; s.Init(0); s.Init(1); s.Pressed(1); }, testing::ExitedWithCode(1), "id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(1); s.BindKey(0, &Mouse, 14); }, testing::ExitedWithCode(1), "invalid key id");
}
}
