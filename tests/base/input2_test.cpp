// Keyboard and mouse devices fed by snapshots, the polling thread, joypad filtering and
// input schemes.
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

TEST(InputDevices, KindsCountsAndStartingStatus)
{
  sKeyboardWin32 kbd;
  sMouseWin32 mouse;
  EXPECT_EQ(kbd.GetType(), 0x4442594Bu);   // 'KYBD'
  EXPECT_EQ(mouse.GetType(), 0x53554F4Du); // 'MOUS'
  EXPECT_EQ(kbd.GetKeyCount(), 256);
  EXPECT_EQ(mouse.GetKeyCount(), 14);
  EXPECT_EQ(kbd.GetId(), 0u);
  // no snapshot consumed yet: not usable
  EXPECT_EQ(kbd.GetStatus(), 1u);
  kbd.AddSnapshot(KeySnapshot(10, {}));
  kbd.Update(10, 0);
  EXPECT_EQ(kbd.GetStatus(), 0u);
  EXPECT_EQ(kbd.GetTime(), 10u);
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
  EXPECT_EQ(kbd.GetPendingSnapshots(), 1);
  kbd.Update(120, 0);
  EXPECT_EQ(kbd.getAbs(5), 0.0f);
  EXPECT_EQ(kbd.getRel(5), -1.0f);
  EXPECT_EQ(kbd.getRel(6), 1.0f);
  // nothing new: the change is cleared
  kbd.Update(130, 0);
  EXPECT_EQ(kbd.getRel(6), 0.0f);
  EXPECT_EQ(kbd.getAbs(6), 1.0f);
  sInput2PollDevice::StateArrays a = kbd.GetStateArrays();
  EXPECT_EQ(a.Abs[6], 1.0f);
  EXPECT_EQ(a.Rel[6], 0.0f);
}

TEST(InputDevices, PressAndReleaseBetweenTwoFramesCancel)
{
  sKeyboardWin32 kbd;
  kbd.AddSnapshot(KeySnapshot(100, {{7, 1}}));
  kbd.AddSnapshot(KeySnapshot(105, {}));
  kbd.Update(200, 0);
  EXPECT_EQ(kbd.getRel(7), 0.0f);
  EXPECT_EQ(kbd.getPressed(7, 0.5f), 0);
  EXPECT_EQ(kbd.getReleased(7, 0.5f), 0);
}

TEST(InputDevices, SnapshotFromTheFutureWaitsUnlessForced)
{
  sKeyboardWin32 kbd;
  kbd.AddSnapshot(KeySnapshot(500, {{1, 1}}));
  kbd.Update(400, 0);
  EXPECT_EQ(kbd.getAbs(1), 0.0f);
  EXPECT_EQ(kbd.GetPendingSnapshots(), 1);
  kbd.Update(400, 1);
  EXPECT_EQ(kbd.getAbs(1), 1.0f);
  EXPECT_EQ(kbd.GetPendingSnapshots(), 0);
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

TEST(InputDevices, FullRingDropsTheNewestSnapshots)
{
  sKeyboardWin32 kbd;
  sInt kept = 0;
  for(sInt i = 1; i <= 20; i++) kept += kbd.AddSnapshot(KeySnapshot(sU32(i), {{3, sF32(i)}}));
  EXPECT_EQ(kept, 16);
  kbd.Update(1000, 0);
  EXPECT_EQ(kbd.getAbs(3), 16.0f);
  EXPECT_EQ(kbd.getRel(3), 16.0f);
  EXPECT_EQ(kbd.GetTime(), 16u);
  // room again
  EXPECT_EQ(kbd.AddSnapshot(KeySnapshot(1001, {})), 1);
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
              "invalid key id specified in sInput2Device::getAbs\\(\\)");
  EXPECT_EXIT({ sKeyboardWin32 k; k.getRel(256); }, testing::ExitedWithCode(1),
              "invalid key id specified in sInput2Device::getRel\\(\\)");
  EXPECT_EXIT({ sKeyboardWin32 k; k.getPressed(-1, 0.5f); }, testing::ExitedWithCode(1),
              "invalid key id specified in sInput2Device::getPressed\\(\\)");
  EXPECT_EXIT({ sMouseWin32 m; m.getReleased(99, 0.5f); }, testing::ExitedWithCode(1),
              "invalid key id specified in sInput2Device::getReleased\\(\\)");
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

TEST_F(InputSubsystem, DevicesAreRegisteredAndThePollingThreadFeedsThem)
{
  sKeyboardWin32 *kbd = sGetKeyboardDevice();
  sMouseWin32 *mouse = sGetMouseDevice();
  ASSERT_TRUE(kbd && mouse);
  EXPECT_EQ(sFindInput2Device(sINPUT2_TYPE_KEYBOARD, 0), kbd);
  EXPECT_EQ(sFindInput2PollDevice(sINPUT2_TYPE_MOUSE, 0), mouse);
  EXPECT_EQ(sCountInput2Devices(sINPUT2_TYPE_MOUSE), 1);

  sSetKeyState(30, 1);
  sSetKeyState(300, 1);   // outside the state array: ignored
  EXPECT_TRUE(UpdateUntil(kbd, [&] { return kbd->getAbs(30) == 1.0f; }));
  EXPECT_EQ(kbd->GetStatus(), 0u);

  sMouseWindowState->X.store(100);
  sMouseWindowState->Y.store(-7);
  sMouseWindowState->Buttons.store(2 | 16);
  sMouseWindowState->Wheel.store(-3);
  sAddRawMouseMotion(5, -5);
  sAddRawMouseMotion(1, 0);
  EXPECT_TRUE(UpdateUntil(mouse, [&] { return mouse->getAbs(sMOUSE_RAWX) == 6.0f; }));
  EXPECT_EQ(mouse->getAbs(sMOUSE_X), 100.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_Y), -7.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_RAWY), -5.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_WHEEL), -3.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_LEFT), 0.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_RIGHT), 2.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_EXTRA2), 16.0f);
  EXPECT_EQ(mouse->getAbs(sMOUSE_ONE), 1.0f);

  sSetKeyState(30, 0);
  EXPECT_TRUE(UpdateUntil(kbd, [&] { return kbd->getAbs(30) == 0.0f; }));
}

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

TEST(InputSubsystemExit, DevicesLeaveTheRegistry)
{
  sInitInput();
  sExitInput();
  EXPECT_EQ(sFindInput2Device(sINPUT2_TYPE_KEYBOARD, 0), nullptr);
  EXPECT_EQ(sGetMouseDevice(), nullptr);
  EXPECT_EQ(sInputLock, nullptr);
  // the window side does nothing while input is down
  sSetKeyState(1, 1);
  sAddRawMouseMotion(1, 1);
}

TEST(Joypads, FilterKeepsGameControllersOnly)
{
  plat::JoypadInfo info;
  info.Opened = true;
  info.Name = u"Generic USB Gamepad";
  info.Kind = plat::JoypadKind::GameController;
  sBool rejected = 7;
  EXPECT_TRUE(sJoypadIsAccepted(info, &rejected));
  EXPECT_EQ(rejected, 0);

  info.Name = u"Sony PLAYSTATION(R)3 Controller";
  EXPECT_FALSE(sJoypadIsAccepted(info, &rejected));
  EXPECT_EQ(rejected, 1);

  info.Name = u"Dance mat";
  info.Kind = plat::JoypadKind::DancePad;
  EXPECT_FALSE(sJoypadIsAccepted(info, &rejected));
  EXPECT_EQ(rejected, 0);
  info.Kind = plat::JoypadKind::Wheel;
  EXPECT_TRUE(sJoypadIsAccepted(info, nullptr));
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

TEST_F(Schemes, RelativeSumsOverKeysOutsideTheirDeadZone)
{
  sInput2Scheme s;
  s.Init(1);
  s.BindKey(0, &Mouse, sMOUSE_RAWX);
  s.BindKey(0, &Mouse, sMOUSE_RAWY, 100.0f);
  Frame(1, {}, {{sMOUSE_RAWX, 5}, {sMOUSE_RAWY, 50}});
  Frame(2, {}, {{sMOUSE_RAWX, 12}, {sMOUSE_RAWY, 150}});
  // 7 from x; y's value 150 lies outside its dead zone, its change of 100 counts
  EXPECT_FLOAT_EQ(s.Relative(0), 107.0f);
  Frame(3, {}, {{sMOUSE_RAWX, 12}, {sMOUSE_RAWY, 90}});
  EXPECT_FLOAT_EQ(s.Relative(0), 0.0f);
}

TEST_F(Schemes, PressedCountsEveryBindingThatCrossedItsThreshold)
{
  sInput2Scheme s;
  s.Init(2);
  s.BindKey(0, &Kbd, 20, 0, 0, 0.5f);
  s.BindKey(0, &Mouse, sMOUSE_LEFT, 0, 0, 0.5f);
  sInput2Binding none;
  none.Key = 3;
  s.Bind(0, none);   // no device: ignored
  EXPECT_EQ(s.Pressed(1), 0);   // unbound
  Frame(1, {{20, 1}}, {{sMOUSE_LEFT, 1}});
  EXPECT_EQ(s.Pressed(0), 2);
  Frame(2, {{20, 1}}, {{sMOUSE_LEFT, 1}});
  EXPECT_EQ(s.Pressed(0), 0);
  Frame(3, {}, {{sMOUSE_LEFT, 1}});
  EXPECT_EQ(s.Pressed(0), 0);
  Frame(4, {{20, 1}}, {});
  EXPECT_EQ(s.Pressed(0), 1);
}

TEST_F(Schemes, MisuseIsFatal)
{
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Init(2); }, testing::ExitedWithCode(1),
              "sInput2Scheme::Init\\(\\): already initialized");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.BindKey(2, &Kbd, 1); }, testing::ExitedWithCode(1),
              "id >= 0 && id < Bindings.GetSize\\(\\).*\n?.*"
              "sInput2Scheme::Bind\\(\\): id out of range specified with sInput2Scheme::Init\\(\\)");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Pressed(-1); }, testing::ExitedWithCode(1),
              "sInput2Scheme::Pressed\\(\\): id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Analog(5); }, testing::ExitedWithCode(1),
              "sInput2Scheme::Analog\\(\\): id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(2); s.Relative(2); }, testing::ExitedWithCode(1),
              "sInput2Scheme::Relative\\(\\): id out of range");
  // a scheme made for no ids has every id out of range, and may still be made again
  EXPECT_EXIT({ sInput2Scheme s; s.Init(0); s.Init(1); s.Pressed(1); }, testing::ExitedWithCode(1),
              "sInput2Scheme::Pressed\\(\\): id out of range");
  EXPECT_EXIT({ sInput2Scheme s; s.Init(1); s.BindKey(0, &Mouse, 14); }, testing::ExitedWithCode(1),
              "invalid key id specified in sInput2Device::getRel\\(\\) or sInput2Scheme::Bind\\(\\)");
}
}
