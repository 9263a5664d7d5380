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

  size_t Before = 0;
  std::vector<int> Attached;
};

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
  EXPECT_EQ(state.Axes, (std::vector<float>{1.0f, -1.0f, 0.0f}));
  EXPECT_EQ(state.Buttons, (std::vector<uint8_t>{0, 1}));
  EXPECT_EQ(state.Hats, (std::vector<uint8_t>{HAT_RIGHT | HAT_UP}));

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
