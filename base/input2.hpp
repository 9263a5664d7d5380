#pragma once
// Keyboard, mouse and joypads as polled input devices, and input schemes.
//
// The window procedure keeps the raw state (sKeyState, sMouseWindowState); a polling
// thread samples that state every 5 ms into time-stamped snapshots; once per frame each
// device's Update consumes the snapshots whose time has come. The application reads per
// key id an absolute value, the change since the last frame, and pressed and released
// edges with a threshold. Schemes map logical action ids to any number of device keys.

#include "base/input.hpp"

#include <atomic>

namespace plat { struct JoypadInfo; }

/****************************************************************************/
/***   Polled devices                                                     ***/
/****************************************************************************/

// An input device with a polled state: key ids 0 .. GetKeyCount() - 1, each with an
// absolute value and its change over the last Update. Every id-taking operation checks
// the id; a bad id is fatal.
class sInput2PollDevice : public sInput2Device
{
public:
  virtual sF32 getRel(sInt id) = 0;
  virtual sF32 getAbs(sInt id) = 0;
  virtual sU32 GetTime() = 0;
  // t > 0: 1 when the value crossed t upwards in the last Update; t < 0: -1 when it
  // crossed t downwards; t = 0: 0.
  virtual sInt getPressed(sInt id, sF32 threshold);
  // t > 0: 1 when the value fell below t in the last Update; t < 0: -1 when it rose
  // above t; t = 0: 0.
  virtual sInt getReleased(sInt id, sF32 threshold);
  struct StateArrays
  {
    const sF32 *Abs;
    const sF32 *Rel;
  };
  virtual StateArrays GetStateArrays() = 0;
  virtual sInt GetKeyCount() = 0;
};

// The polled device of a type and id, or null when there is none or it is not polled.
sInput2PollDevice *sFindInput2PollDevice(sU32 type, sU32 id);

// A device fed by snapshots of N values through a ring of 16 under its own lock.
template <sInt N> class sInput2RingDevice : public sInput2PollDevice
{
public:
  static constexpr sInt KeyCount = N;
  static constexpr sInt NUM = N;
  static constexpr sU32 RingSize = 16;
  struct Snapshot
  {
    sF32 Values[N];
    sU32 Time;
    sU32 Status;
  };

  sInput2RingDevice(sU32 type, sU32 id) : Type(type), Id(id)
  {
    for(sInt i = 0; i < N; i++) Abs[i] = Rel[i] = 0;
  }

  // Appends a snapshot; 0 when the ring is full and the snapshot was dropped.
  sBool AddSnapshot(const Snapshot &s)
  {
    sScopeLock lock(&RingLock);
    if(WriteCount - ReadCount >= RingSize) return 0;
    Ring[WriteCount % RingSize] = s;
    WriteCount++;
    return 1;
  }
  sInt GetPendingSnapshots()
  {
    sScopeLock lock(&RingLock);
    return sInt(WriteCount - ReadCount);
  }

  // Consumes the snapshots stamped no later than time (all of them with force). The
  // relative values become the change from the state before this call.
  void Update(sU32 time, sBool force) override
  {
    for(sInt i = 0; i < N; i++) Rel[i] = 0;
    for(;;)
    {
      RingLock.Lock();
      if(ReadCount == WriteCount)
      {
        RingLock.Unlock();
        break;
      }
      const Snapshot &s = Ring[ReadCount % RingSize];
      // the clock wraps: compare by signed difference
      if(!force && sTimeIsLater(s.Time, time))
      {
        RingLock.Unlock();
        break;
      }
      Taken = s;
      ReadCount++;
      RingLock.Unlock();
      for(sInt i = 0; i < N; i++)
      {
        Rel[i] += Taken.Values[i] - Abs[i];
        Abs[i] = Taken.Values[i];
      }
      Status = Taken.Status;
      Time = Taken.Time;
    }
  }

  sF32 getRel(sInt id) override
  {
    sVERIFYDESC(id >= 0 && id < NUM, u"input2: invalid key id specified in sInput2Device::getRel() or sInput2Scheme::Bind()");
    return Rel[id];
  }
  sF32 getAbs(sInt id) override
  {
    sVERIFYDESC(id >= 0 && id < NUM, u"input2: invalid key id specified in sInput2Device::getAbs() or sInput2Scheme::Bind()");
    return Abs[id];
  }
  sInt getPressed(sInt id, sF32 threshold) override
  {
    sVERIFYDESC(id >= 0 && id < NUM, u"input2: invalid key id specified in sInput2Device::getPressed() or sInput2Scheme::Bind()");
    return sInput2PollDevice::getPressed(id, threshold);
  }
  sInt getReleased(sInt id, sF32 threshold) override
  {
    sVERIFYDESC(id >= 0 && id < NUM, u"input2: invalid key id specified in sInput2Device::getReleased() or sInput2Scheme::Bind()");
    return sInput2PollDevice::getReleased(id, threshold);
  }
  sU32 GetStatus() override { return Status; }
  sU32 GetTime() override { return Time; }
  sU32 GetType() override { return Type; }
  sU32 GetId() override { return Id; }
  StateArrays GetStateArrays() override { return {Abs, Rel}; }
  sInt GetKeyCount() override { return N; }

private:
  Snapshot Ring[RingSize];
  Snapshot Taken;
  sU32 WriteCount = 0;   // only ever increasing; slot = counter % 16
  sU32 ReadCount = 0;
  sThreadLock RingLock;
  sF32 Abs[N];
  sF32 Rel[N];
  sU32 Type;
  sU32 Id;
  sU32 Status = 1;   // no snapshot consumed yet
  sU32 Time = 0;
};

// Ids of the mouse: position, raw motion sums, wheel position, five buttons (the
// button's bit value while held), three unused values and a constant 1.
enum : sInt
{
  sMOUSE_X = 0,
  sMOUSE_Y = 1,
  sMOUSE_RAWX = 2,
  sMOUSE_RAWY = 3,
  sMOUSE_WHEEL = 4,
  sMOUSE_LEFT = 5,
  sMOUSE_RIGHT = 6,
  sMOUSE_MIDDLE = 7,
  sMOUSE_EXTRA1 = 8,
  sMOUSE_EXTRA2 = 9,
  sMOUSE_ONE = 13,
  sMOUSE_KEYS = 14,
};

class sKeyboardWin32 : public sInput2RingDevice<256>
{
public:
  explicit sKeyboardWin32(sU32 id = 0) : sInput2RingDevice<256>(sINPUT2_TYPE_KEYBOARD, id) {}
};

class sMouseWin32 : public sInput2RingDevice<sMOUSE_KEYS>
{
public:
  explicit sMouseWin32(sU32 id = 0) : sInput2RingDevice<sMOUSE_KEYS>(sINPUT2_TYPE_MOUSE, id) {}
};

/****************************************************************************/
/***   Window-side state and the polling thread                           ***/
/****************************************************************************/

// The mouse as the window procedure last saw it. Every field is an atomic: the window
// procedure stores x, y, wheel and buttons on the main thread while the polling thread
// reads them; the raw sums are changed under sInputLock as well.
struct sMouseWindowStateRecord
{
  std::atomic<sInt> X{0};
  std::atomic<sInt> Y{0};
  std::atomic<sInt> Wheel{0};
  std::atomic<sInt> RawDx{0};
  std::atomic<sInt> RawDy{0};
  std::atomic<sU32> Buttons{0};   // 1 left, 2 right, 4 middle, 8 / 16 the extra buttons
};

constexpr sInt sKEYSTATE_COUNT = 256;

// Made by the "Input" subsystem; null before its start and after its exit.
extern sMouseWindowStateRecord *sMouseWindowState;
extern sU32 *sKeyState;              // 256 key-down words by scan code, under sInputLock
extern sThreadLock *sInputLock;
sMouseWin32 *sGetMouseDevice();
sKeyboardWin32 *sGetKeyboardDevice();

// "Input" subsystem (level 48): mouse, keyboard, the lock and the polling thread.
void sInitInput();
void sExitInput();
// One polling step (the thread runs these every 5 ms), stamped with the given time.
void sPollMouse(sU32 time);
void sPollKeyboard(sU32 time);

// Window side: key state by scan code (an index outside 0..255 is ignored) and the raw
// motion sums, both under sInputLock; nothing happens while the subsystem is down.
void sSetKeyState(sInt scanCode, sBool down);
void sAddRawMouseMotion(sInt dx, sInt dy);

/****************************************************************************/
/***   Joypads                                                            ***/
/****************************************************************************/

// Whether the enumeration keeps a controller: only joysticks, game pads, wheels and
// flight controls, and no device that another driver of the show handles. rejected is
// set for the latter (it is logged).
sBool sJoypadIsAccepted(const plat::JoypadInfo &info, sBool *rejected = nullptr);
// Lists the attached game controllers (start of "DirectInputJoypad" and every device
// change). No joypad device is made.
void sEnumJoypads();

// Fills in the functions of "Input", "JoypadManager", "DirectInput" and
// "DirectInputJoypad" in the framework's registry (once; later calls do nothing).
void sInstallInputSubsystems();

/****************************************************************************/
/***   Schemes                                                            ***/
/****************************************************************************/

struct sInput2Binding
{
  sInput2PollDevice *Device = nullptr;
  sU32 Key = 0;
  sF32 DeadZone = 0;
  sF32 HoldThreshold = 0;    // kept with the binding; nothing reads it
  sF32 PressThreshold = 0;   // handed to the device's getPressed
  sInput2Binding *Next = nullptr;
};

// Logical action ids 0 .. n - 1 bound to any number of device keys.
class sInput2Scheme
{
public:
  sInput2Scheme() = default;
  ~sInput2Scheme();
  sInput2Scheme(const sInput2Scheme &) = delete;
  sInput2Scheme &operator=(const sInput2Scheme &) = delete;

  void Init(sInt n);
  // Appends a copy of the binding to the id's list; a binding without device is ignored.
  void Bind(sInt id, const sInput2Binding &binding);
  void BindKey(sInt id, sInput2PollDevice *device, sU32 key, sF32 deadZone = 0, sF32 holdThreshold = 0,
               sF32 pressThreshold = 0.5f);
  // Sum of the bindings' pressed edges (each 1, -1 or 0).
  sInt Pressed(sInt id);
  // Largest positive plus smallest non-positive value outside the dead zones.
  sF32 Analog(sInt id);
  // Sum of the changes of the bindings whose value lies outside their dead zone.
  sF32 Relative(sInt id);
  sInt GetSize() const { return Count; }

private:
  sInput2Binding **Bindings = nullptr;
  sInt Count = 0;
};
