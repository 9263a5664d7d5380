#include "platform/input/joypad.hpp"

#include "platform/text/utf.hpp"

#include <SDL.h>

#include <algorithm>

namespace plat
{

namespace
{

bool Started = false;
// counts the stops of the joystick system: a stop closes every device, so a handle from an
// earlier start must not be touched
unsigned Generation = 0;

JoypadKind KindOf(SDL_JoystickType type)
{
  switch(type)
  {
  case SDL_JOYSTICK_TYPE_GAMECONTROLLER: return JoypadKind::GameController;
  case SDL_JOYSTICK_TYPE_WHEEL: return JoypadKind::Wheel;
  case SDL_JOYSTICK_TYPE_ARCADE_STICK: return JoypadKind::ArcadeStick;
  case SDL_JOYSTICK_TYPE_FLIGHT_STICK: return JoypadKind::FlightStick;
  case SDL_JOYSTICK_TYPE_DANCE_PAD: return JoypadKind::DancePad;
  case SDL_JOYSTICK_TYPE_GUITAR: return JoypadKind::Guitar;
  case SDL_JOYSTICK_TYPE_DRUM_KIT: return JoypadKind::DrumKit;
  case SDL_JOYSTICK_TYPE_ARCADE_PAD: return JoypadKind::ArcadePad;
  case SDL_JOYSTICK_TYPE_THROTTLE: return JoypadKind::Throttle;
  default: return JoypadKind::Unknown;
  }
}

// What can be known of a device without opening it.
JoypadInfo Describe(int index)
{
  JoypadInfo info;
  info.Index = index;
  info.InstanceId = SDL_JoystickGetDeviceInstanceID(index);
  const char *name = SDL_JoystickNameForIndex(index);
  info.Name = name ? ToUtf16(name) : std::u16string();
  char guid[33] = {};
  SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof(guid));
  info.Guid = ToUtf16(guid);
  info.Kind = KindOf(SDL_JoystickGetDeviceType(index));
  info.IsGameController = SDL_IsGameController(index) == SDL_TRUE;
  return info;
}

void ReadCounts(SDL_Joystick *j, JoypadInfo &info)
{
  info.Axes = std::max(0, SDL_JoystickNumAxes(j));
  info.Buttons = std::max(0, SDL_JoystickNumButtons(j));
  info.Hats = std::max(0, SDL_JoystickNumHats(j));
  info.Balls = std::max(0, SDL_JoystickNumBalls(j));
  info.Opened = true;
}

}

bool InitJoypads(std::u16string &error)
{
  if(Started)
    return true;
  // the program handles the termination signals itself; the show may run without focus
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0)
  {
    error = u"cannot start the joystick system: " + ToUtf16(SDL_GetError());
    return false;
  }
  Started = true;
  return true;
}

void ExitJoypads()
{
  if(!Started)
    return;
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
  Started = false;
  Generation++;
}

bool AreJoypadsStarted()
{
  return Started;
}

std::vector<JoypadInfo> EnumerateJoypads()
{
  std::vector<JoypadInfo> list;
  if(!Started)
    return list;
  SDL_JoystickUpdate();
  int count = SDL_NumJoysticks();
  for(int i = 0; i < count; i++)
  {
    JoypadInfo info = Describe(i);
    // an already open device is shared: opening it again only counts a reference
    SDL_Joystick *j = SDL_JoystickOpen(i);
    if(j)
    {
      ReadCounts(j, info);
      SDL_JoystickClose(j);
    }
    else
      info.Error = ToUtf16(SDL_GetError());
    list.push_back(std::move(info));
  }
  return list;
}

std::unique_ptr<Joypad> Joypad::Open(int index, std::u16string &error)
{
  if(!Started)
  {
    error = u"joypads are not started";
    return nullptr;
  }
  if(index < 0 || index >= SDL_NumJoysticks())
  {
    error = u"no joypad at that index";
    return nullptr;
  }
  SDL_Joystick *j = SDL_JoystickOpen(index);
  if(!j)
  {
    error = u"cannot open the joypad: " + ToUtf16(SDL_GetError());
    return nullptr;
  }
  std::unique_ptr<Joypad> pad(new Joypad);
  pad->Handle = j;
  pad->StartedIn = Generation;
  pad->Info = Describe(index);
  ReadCounts(j, pad->Info);
  return pad;
}

Joypad::~Joypad()
{
  if(IsLive())
    SDL_JoystickClose(Handle);
}

bool Joypad::IsLive() const
{
  return Started && Handle && StartedIn == Generation;
}

bool Joypad::IsAttached() const
{
  return IsLive() && SDL_JoystickGetAttached(Handle) == SDL_TRUE;
}

bool Joypad::ReadState(JoypadState &state) const
{
  state.Axes.clear();
  state.Buttons.clear();
  state.Hats.clear();
  if(!IsAttached())
    return false;
  SDL_JoystickUpdate();
  if(!IsAttached())
    return false;
  state.Axes.resize(size_t(Info.Axes));
  for(int i = 0; i < Info.Axes; i++)
    state.Axes[size_t(i)] = std::max(-1.0f, float(SDL_JoystickGetAxis(Handle, i)) / 32767.0f);
  state.Buttons.resize(size_t(Info.Buttons));
  for(int i = 0; i < Info.Buttons; i++)
    state.Buttons[size_t(i)] = SDL_JoystickGetButton(Handle, i) ? 1 : 0;
  state.Hats.resize(size_t(Info.Hats));
  for(int i = 0; i < Info.Hats; i++)
    state.Hats[size_t(i)] = SDL_JoystickGetHat(Handle, i) & 15;
  return true;
}

}
