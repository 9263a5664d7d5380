// Keyboard, mouse and joypads, the input polling thread, and input schemes.
#include "base/input2.hpp"
#include "base/app.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"

#include "platform/input/joypad.hpp"
#include "platform/text/utf.hpp"

/****************************************************************************/
/***   Edges                                                              ***/
/****************************************************************************/

sInt sInput2PollDevice::getPressed(sInt id, sF32 t)
{
  sF32 a = getAbs(id);
  sF32 p = a - getRel(id);   // the value before the last Update
  if(t > 0) return (a >= t && p < t) ? 1 : 0;
  if(t < 0) return (a <= t && p > t) ? -1 : 0;
  return 0;
}

sInt sInput2PollDevice::getReleased(sInt id, sF32 t)
{
  sF32 a = getAbs(id);
  sF32 p = a - getRel(id);
  if(t > 0) return (a < t && p >= t) ? 1 : 0;
  if(t < 0) return (a > t && p <= t) ? -1 : 0;
  return 0;
}

sInput2PollDevice *sFindInput2PollDevice(sU32 type, sU32 id)
{
  return dynamic_cast<sInput2PollDevice *>(sFindInput2Device(type, id));
}

/****************************************************************************/
/***   Keyboard, mouse and the polling thread                             ***/
/****************************************************************************/

sMouseWindowStateRecord *sMouseWindowState = nullptr;
sU32 *sKeyState = nullptr;
sThreadLock *sInputLock = nullptr;

namespace
{
sMouseWin32 *Mouse = nullptr;
sKeyboardWin32 *Keyboard = nullptr;
sThread *PollThread = nullptr;

constexpr sInt InputDeviceCapacity = 16;

void sInputPollThread(sThread *thread, void *)
{
  while(!thread->CheckTerminate())
  {
    sU32 now = sGetTime();
    sPollMouse(now);
    sPollKeyboard(now);
    sSleep(5);
  }
}
}

sMouseWin32 *sGetMouseDevice() { return Mouse; }
sKeyboardWin32 *sGetKeyboardDevice() { return Keyboard; }

void sInitInput()
{
  sVERIFY(!Mouse && !Keyboard);
  sSetInput2DeviceCapacity(InputDeviceCapacity);

  sMouseWindowState = sNEW sMouseWindowStateRecord;
  Mouse = sNEW sMouseWin32(0);
  sAddInput2Device(Mouse);

  sSetAllocSource(__FILE__, __LINE__);
  sKeyState = static_cast<sU32 *>(sMemAlloc(sizeof(sU32) * sKEYSTATE_COUNT, 16, 0));
  for(sInt i = 0; i < sKEYSTATE_COUNT; i++) sKeyState[i] = 0;
  Keyboard = sNEW sKeyboardWin32(0);
  sAddInput2Device(Keyboard);

  sInputLock = sNEW sThreadLock;
  PollThread = sNEW sThread(sInputPollThread, 0, 16 * 1024, nullptr, u"InputPoll");
}

void sExitInput()
{
  sDELETE(PollThread);   // asks the thread to stop and joins it
  sRemInput2Device(Keyboard);
  sRemInput2Device(Mouse);
  sDELETE(Keyboard);
  sDELETE(Mouse);
  sMemFree(sKeyState);
  sKeyState = nullptr;
  sDELETE(sMouseWindowState);
  sDELETE(sInputLock);
  sClearInput2Devices();
}

void sPollMouse(sU32 time)
{
  if(!Mouse || !sInputLock) return;
  sScopeLock lock(sInputLock);
  sMouseWin32::Snapshot s = {};
  const sMouseWindowStateRecord &m = *sMouseWindowState;
  s.Values[sMOUSE_X] = sF32(m.X.load(std::memory_order_relaxed));
  s.Values[sMOUSE_Y] = sF32(m.Y.load(std::memory_order_relaxed));
  s.Values[sMOUSE_RAWX] = sF32(m.RawDx.load(std::memory_order_relaxed));
  s.Values[sMOUSE_RAWY] = sF32(m.RawDy.load(std::memory_order_relaxed));
  s.Values[sMOUSE_WHEEL] = sF32(m.Wheel.load(std::memory_order_relaxed));
  sU32 buttons = m.Buttons.load(std::memory_order_relaxed);
  for(sInt b = 0; b < 5; b++) s.Values[sMOUSE_LEFT + b] = sF32(buttons & (1u << b));
  s.Values[sMOUSE_ONE] = 1.0f;
  s.Time = time;
  s.Status = 0;
  Mouse->AddSnapshot(s);   // dropped when the ring is full
}

void sPollKeyboard(sU32 time)
{
  if(!Keyboard || !sInputLock) return;
  sScopeLock lock(sInputLock);
  sKeyboardWin32::Snapshot s;
  for(sInt i = 0; i < sKEYSTATE_COUNT; i++) s.Values[i] = sKeyState[i] ? 1.0f : 0.0f;
  s.Time = time;
  s.Status = 0;
  Keyboard->AddSnapshot(s);
}

void sSetKeyState(sInt scanCode, sBool down)
{
  if(!sInputLock || !sKeyState) return;
  sScopeLock lock(sInputLock);
  if(scanCode >= 0 && scanCode < sKEYSTATE_COUNT) sKeyState[scanCode] = down ? 1 : 0;
}

void sAddRawMouseMotion(sInt dx, sInt dy)
{
  if(!sInputLock || !sMouseWindowState) return;
  sScopeLock lock(sInputLock);
  sMouseWindowState->RawDx.fetch_add(dx, std::memory_order_relaxed);
  sMouseWindowState->RawDy.fetch_add(dy, std::memory_order_relaxed);
}

/****************************************************************************/
/***   Joypads                                                            ***/
/****************************************************************************/

namespace
{
void JoypadManagerFrame(void *) {}

void InitJoypadManager() { sAddHook(sPreFrameHook.load(), JoypadManagerFrame, nullptr); }
void ExitJoypadManager() { sRemHook(sPreFrameHook.load(), JoypadManagerFrame, nullptr); }

void InitDirectInput()
{
  std::u16string error;
  if(!plat::InitJoypads(error))
    sLogF(u"dev", u"no game controllers: %s\n", error.c_str());
}

void ExitDirectInput() { plat::ExitJoypads(); }

void EnumJoypadsHook(void *) { sEnumJoypads(); }

void InitDirectInputJoypad()
{
  sEnumJoypads();
  sAddHook(sDeviceChangeHook.load(), EnumJoypadsHook, nullptr);
}

void ExitDirectInputJoypad() { sRemHook(sDeviceChangeHook.load(), EnumJoypadsHook, nullptr); }
}

sBool sJoypadIsAccepted(const plat::JoypadInfo &info, sBool *rejected)
{
  if(rejected) *rejected = 0;
  switch(info.Kind)
  {
  case plat::JoypadKind::Unknown:        // a plain joystick
  case plat::JoypadKind::GameController:
  case plat::JoypadKind::Wheel:
  case plat::JoypadKind::ArcadeStick:
  case plat::JoypadKind::FlightStick:
  case plat::JoypadKind::Throttle:
    break;
  default:
    return 0;
  }
  if(info.Name.find(u"PLAYSTATION(R)3") != std::u16string::npos)
  {
    if(rejected) *rejected = 1;
    return 0;
  }
  return 1;
}

void sEnumJoypads()
{
  for(const plat::JoypadInfo &info : plat::EnumerateJoypads())
  {
    if(!info.Opened)
    {
      // unplugged between the listing and the look, or not ours to open: skip it
      sLogF(u"dev", u"input device <%s> cannot be opened: %s\n", info.Name.c_str(), info.Error.c_str());
      continue;
    }
    sBool rejected = 0;
    if(!sJoypadIsAccepted(info, &rejected))
    {
      if(rejected)
        sLogF(u"dev", u"input device <%s> rejected because it is handled by ravelgrip_win\n", info.Name.c_str());
      continue;
    }
    sResetMemoryChecksum();
  }
}

void sInstallInputSubsystems()
{
  static bool installed = false;
  if(installed) return;
  installed = true;
  sSetSubsystemFunctions(u"Input", sInitInput, sExitInput);
  sSetSubsystemFunctions(u"JoypadManager", InitJoypadManager, ExitJoypadManager);
  sSetSubsystemFunctions(u"DirectInput", InitDirectInput, ExitDirectInput);
  sSetSubsystemFunctions(u"DirectInputJoypad", InitDirectInputJoypad, ExitDirectInputJoypad);
}

/****************************************************************************/
/***   Schemes                                                            ***/
/****************************************************************************/

namespace
{
// The schemes' checks name the per-id list's size as the checks of the list itself would.
void CheckSchemeId(sInt id, sInt count, const char *file, sInt line, const sChar *desc)
{
  if(!(id >= 0 && id < count)) sAssertionFailed(file, line, u"id >= 0 && id < Bindings.GetSize()", desc);
}
}

sInput2Scheme::~sInput2Scheme()
{
  for(sInt i = 0; i < Count; i++)
  {
    sInput2Binding *b = Bindings[i];
    while(b)
    {
      sInput2Binding *next = b->Next;
      sDELETE(b);
      b = next;
    }
  }
  if(Bindings) sMemFree(Bindings);
}

void sInput2Scheme::Init(sInt n)
{
  sVERIFYASDESC(Count == 0 && !Bindings, u"Bindings.GetSize() == 0", u"sInput2Scheme::Init(): already initialized");
  sVERIFY(n >= 0);
  if(n == 0) return;
  sSetAllocSource(__FILE__, __LINE__);
  Bindings = static_cast<sInput2Binding **>(sMemAlloc(sDInt(sizeof(sInput2Binding *)) * n, 16, 0));
  for(sInt i = 0; i < n; i++) Bindings[i] = nullptr;
  Count = n;
}

void sInput2Scheme::Bind(sInt id, const sInput2Binding &binding)
{
  CheckSchemeId(id, Count, __FILE__, __LINE__, u"sInput2Scheme::Bind(): id out of range specified with sInput2Scheme::Init()");
  if(!binding.Device) return;
  sInt NUM = binding.Device->GetKeyCount();
  sInt key = sInt(binding.Key);
  sVERIFYDESC(key >= 0 && key < NUM, u"input2: invalid key id specified in sInput2Device::getRel() or sInput2Scheme::Bind()");
  sInput2Binding *b = sNEW sInput2Binding(binding);
  b->Next = nullptr;
  sInput2Binding **tail = &Bindings[id];
  while(*tail) tail = &(*tail)->Next;
  *tail = b;
}

void sInput2Scheme::BindKey(sInt id, sInput2PollDevice *device, sU32 key, sF32 deadZone, sF32 holdThreshold,
                            sF32 pressThreshold)
{
  sInput2Binding b;
  b.Device = device;
  b.Key = key;
  b.DeadZone = deadZone;
  b.HoldThreshold = holdThreshold;
  b.PressThreshold = pressThreshold;
  Bind(id, b);
}

sInt sInput2Scheme::Pressed(sInt id)
{
  CheckSchemeId(id, Count, __FILE__, __LINE__, u"sInput2Scheme::Pressed(): id out of range specified with sInput2Scheme::Init()");
  sInt sum = 0;
  for(sInput2Binding *b = Bindings[id]; b; b = b->Next) sum += b->Device->getPressed(sInt(b->Key), b->PressThreshold);
  return sum;
}

sF32 sInput2Scheme::Analog(sInt id)
{
  CheckSchemeId(id, Count, __FILE__, __LINE__, u"sInput2Scheme::Analog(): id out of range specified with sInput2Scheme::Init()");
  sF32 high = 0, low = 0;
  for(sInput2Binding *b = Bindings[id]; b; b = b->Next)
  {
    sF32 v = b->Device->getAbs(sInt(b->Key));
    if((v < 0 ? -v : v) <= b->DeadZone) v = 0;
    if(v > high) high = v;
    if(v < low) low = v;
  }
  return high + low;
}

sF32 sInput2Scheme::Relative(sInt id)
{
  CheckSchemeId(id, Count, __FILE__, __LINE__, u"sInput2Scheme::Relative(): id out of range specified with sInput2Scheme::Init()");
  sF32 sum = 0;
  for(sInput2Binding *b = Bindings[id]; b; b = b->Next)
  {
    sF32 v = b->Device->getAbs(sInt(b->Key));
    if((v < 0 ? -v : v) > b->DeadZone) sum += b->Device->getRel(sInt(b->Key));
  }
  return sum;
}
