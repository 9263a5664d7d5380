#include "platform/input/joypad.hpp"

#include "platform/text/utf.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

using namespace plat;

namespace
{

class JoypadTest : public testing::Test
{
protected:
  void SetUp() override
  {
    std::u16string error;
    ASSERT_TRUE(InitJoypads(error)) << ToUtf8(error);
    Before = EnumerateJoypads().size();
  }
  void TearDown() override
  {
    for(int index : Attached)
      SDL_JoystickDetachVirtual(index);
    ExitJoypads();
  }

  // Attaches a virtual device and gives its enumeration index.
  int Attach(const char *name, SDL_JoystickType type, int axes, int buttons, int hats)
  {
    SDL_VirtualJoystickDesc desc = {};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = Uint16(type);
    desc.naxes = Uint16(axes);
    desc.nbuttons = Uint16(buttons);
    desc.nhats = Uint16(hats);
    desc.name = name;
    int index = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(index, 0) << SDL_GetError();
    if(index >= 0)
      Attached.push_back(index);
    return index;
  }

  const JoypadInfo *Find(const std::vector<JoypadInfo> &list, const char16_t *name)
  {
    for(const JoypadInfo &i : list)
      if(i.Name == name)
        return &i;
    return nullptr;
  }

  size_t Before = 0;
  std::vector<int> Attached;
};

}

TEST_F(JoypadTest, EnumeratesNamesKindsAndCounts)
{
  Attach("Test Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 4, 10, 1);
  Attach("Sony PLAYSTATION(R)3 Controller", SDL_JOYSTICK_TYPE_WHEEL, 2, 3, 0);
  std::vector<JoypadInfo> list = EnumerateJoypads();
  ASSERT_EQ(list.size(), Before + 2);
  for(size_t i = 0; i < list.size(); i++)
    EXPECT_EQ(list[i].Index, int(i));

  const JoypadInfo *pad = Find(list, u"Test Pad");
  ASSERT_NE(pad, nullptr);
  EXPECT_EQ(pad->Kind, JoypadKind::GameController);
  EXPECT_TRUE(pad->Opened);
  EXPECT_TRUE(pad->Error.empty());
  EXPECT_EQ(pad->Axes, 4);
  EXPECT_EQ(pad->Buttons, 10);
  EXPECT_EQ(pad->Hats, 1);
  EXPECT_EQ(pad->Guid.size(), 32u);
  EXPECT_GE(pad->InstanceId, 0);

  // the name comes through whole, for the filters above this layer
  const JoypadInfo *ps3 = Find(list, u"Sony PLAYSTATION(R)3 Controller");
  ASSERT_NE(ps3, nullptr);
  EXPECT_EQ(ps3->Kind, JoypadKind::Wheel);
  EXPECT_EQ(ps3->Axes, 2);
  EXPECT_NE(ps3->InstanceId, pad->InstanceId);
}

TEST_F(JoypadTest, ReadsTheStateOfAnOpenedDevice)
{
  int index = Attach("State Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 2, 1);
  ASSERT_GE(index, 0);
  std::u16string error;
  std::unique_ptr<Joypad> pad = Joypad::Open(index, error);
  ASSERT_TRUE(pad) << ToUtf8(error);
  EXPECT_EQ(pad->GetInfo().Name, u"State Pad");
  EXPECT_TRUE(pad->IsAttached());

  SDL_Joystick *j = SDL_JoystickFromInstanceID(pad->GetInfo().InstanceId);
  ASSERT_NE(j, nullptr);
  SDL_JoystickSetVirtualAxis(j, 0, 32767);
  SDL_JoystickSetVirtualAxis(j, 1, -32768);
  SDL_JoystickSetVirtualAxis(j, 2, 0);
  SDL_JoystickSetVirtualButton(j, 1, SDL_PRESSED);
  SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHTUP);

  JoypadState state;
  ASSERT_TRUE(pad->ReadState(state));
  ASSERT_EQ(state.Axes.size(), 3u);
  EXPECT_FLOAT_EQ(state.Axes[0], 1.0f);
  EXPECT_FLOAT_EQ(state.Axes[1], -1.0f);
  EXPECT_FLOAT_EQ(state.Axes[2], 0.0f);
  ASSERT_EQ(state.Buttons.size(), 2u);
  EXPECT_EQ(state.Buttons[0], 0);
  EXPECT_EQ(state.Buttons[1], 1);
  ASSERT_EQ(state.Hats.size(), 1u);
  EXPECT_EQ(state.Hats[0], HAT_RIGHT | HAT_UP);

  SDL_JoystickSetVirtualButton(j, 1, SDL_RELEASED);
  SDL_JoystickSetVirtualAxis(j, 0, -16384);
  ASSERT_TRUE(pad->ReadState(state));
  EXPECT_EQ(state.Buttons[1], 0);
  EXPECT_NEAR(state.Axes[0], -0.5f, 0.001f);
}

TEST_F(JoypadTest, UnpluggedDeviceReadsAsGone)
{
  int index = Attach("Short Lived", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 1, 1, 0);
  ASSERT_GE(index, 0);
  std::u16string error;
  std::unique_ptr<Joypad> pad = Joypad::Open(index, error);
  ASSERT_TRUE(pad) << ToUtf8(error);
  ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0) << SDL_GetError();
  Attached.clear();
  SDL_JoystickUpdate();
  EXPECT_FALSE(pad->IsAttached());
  JoypadState state;
  state.Axes.push_back(0.5f);
  EXPECT_FALSE(pad->ReadState(state));
  EXPECT_TRUE(state.Axes.empty());
  EXPECT_EQ(EnumerateJoypads().size(), Before);
}

TEST_F(JoypadTest, OpenRejectsBadIndexes)
{
  std::u16string error;
  EXPECT_FALSE(Joypad::Open(-1, error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(Joypad::Open(int(Before) + 5, error));
  EXPECT_FALSE(error.empty());
}

TEST_F(JoypadTest, StoppingClosesOpenDevicesSafely)
{
  int index = Attach("Stopped Pad", SDL_JOYSTICK_TYPE_GAMECONTROLLER, 1, 1, 0);
  ASSERT_GE(index, 0);
  std::u16string error;
  std::unique_ptr<Joypad> pad = Joypad::Open(index, error);
  ASSERT_TRUE(pad) << ToUtf8(error);
  Attached.clear();   // the stop detaches the virtual device
  ExitJoypads();
  EXPECT_FALSE(AreJoypadsStarted());
  EXPECT_FALSE(pad->IsAttached());
  EXPECT_TRUE(EnumerateJoypads().empty());
  EXPECT_FALSE(Joypad::Open(0, error));
  // a new start does not revive the old handle
  ASSERT_TRUE(InitJoypads(error)) << ToUtf8(error);
  EXPECT_FALSE(pad->IsAttached());
  JoypadState state;
  EXPECT_FALSE(pad->ReadState(state));
  pad.reset();
}
