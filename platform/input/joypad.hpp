#pragma once
// Joysticks and game controllers, over SDL2's joystick interface.
//
// Enumeration gives each attached device's name, kind and control counts; an opened device
// gives its state. Having no device is the normal case. Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _SDL_Joystick;

namespace plat
{

// Starts SDL's joystick system. False with the reason when it cannot start; the program
// then goes on without joypads.
bool InitJoypads(std::u16string &error);
// Stops the joystick system; devices still open are closed with it and read as detached.
void ExitJoypads();
bool AreJoypadsStarted();

enum class JoypadKind
{
  Unknown,
  GameController,
  Wheel,
  ArcadeStick,
  FlightStick,
  DancePad,
  Guitar,
  DrumKit,
  ArcadePad,
  Throttle,
};

struct JoypadInfo
{
  int Index = -1;              // position in the current enumeration
  int32_t InstanceId = -1;     // stays the same while the device is attached
  std::u16string Name;         // the product name ("" when the device has none)
  std::u16string Guid;         // 32 hex digits
  JoypadKind Kind = JoypadKind::Unknown;
  bool IsGameController = false;  // has a known controller mapping
  bool Opened = false;         // the counts below could be read
  std::u16string Error;        // why the device could not be opened
  int Axes = 0, Buttons = 0, Hats = 0, Balls = 0;
};

// The attached devices, each opened briefly for its capabilities. Empty when joypads are not
// started or none is attached.
std::vector<JoypadInfo> EnumerateJoypads();

// Hat positions, bits of a hat's value.
constexpr uint8_t HAT_UP = 1;
constexpr uint8_t HAT_RIGHT = 2;
constexpr uint8_t HAT_DOWN = 4;
constexpr uint8_t HAT_LEFT = 8;

struct JoypadState
{
  std::vector<float> Axes;       // -1 .. 1
  std::vector<uint8_t> Buttons;  // 1 while held
  std::vector<uint8_t> Hats;     // HAT_ bits
};

class Joypad
{
public:
  // Opens the device at an enumeration index. Null and the reason on failure.
  static std::unique_ptr<Joypad> Open(int index, std::u16string &error);
  ~Joypad();
  Joypad(const Joypad &) = delete;
  Joypad &operator=(const Joypad &) = delete;

  const JoypadInfo &GetInfo() const { return Info; }
  // False once the device was unplugged.
  bool IsAttached() const;
  // Reads the current state; false (and an empty state) when the device is gone.
  bool ReadState(JoypadState &state) const;

private:
  Joypad() = default;
  bool IsLive() const;
  _SDL_Joystick *Handle = nullptr;
  unsigned StartedIn = 0;
  JoypadInfo Info;
};

}
