#pragma once
// The framework's skeleton: the subsystem registry that starts and stops the services
// by level, the application base class, the hook lists through which parts of the
// framework call back into each other, and the runtime flags.

#include "base/types.hpp"

#include <atomic>

struct sInput2Event;

/****************************************************************************/
/***   Subsystems                                                         ***/
/****************************************************************************/

using sSubsystemFunc = void (*)();

// The registry: at most 256 entries, started in ascending and stopped in descending
// level order. The framework's own entries are in the one global registry (see
// sGetSubsystemRegistry); tests make registries of their own.
class sSubsystemRegistry
{
public:
  static constexpr sInt MaxSubsystems = 256;
  struct Entry
  {
    sInt Level;
    const sChar *Name;
    sSubsystemFunc Init;
    sSubsystemFunc Exit;
    sBool Running;
  };

  // Appends an entry; when its level lies below the current run level it starts at once.
  void Register(const sChar *name, sInt level, sSubsystemFunc init, sSubsystemFunc exit);
  // Starts every entry below the level that does not run, stops every running one at
  // the level or above; the run level becomes level.
  void Run(sInt level);
  sInt GetRunLevel() const { return RunLevel; }
  sInt GetCount() const { return Count; }
  const Entry &Get(sInt i) const;
  // Fills in the functions of a registered entry that has none yet (the extension point
  // of services whose code comes with a later part of the framework). Fatal when the
  // name is not registered or the entry runs.
  void SetFunctions(const sChar *name, sSubsystemFunc init, sSubsystemFunc exit);

private:
  Entry Subsystems[MaxSubsystems] = {};
  sInt Count = 0;
  sInt RunLevel = 0;
};

// The framework's registry. Made on first use with the framework's own services
// already in it, in this order: "MediaFoundation" 224, "GdiPlus" 120, "FileHandlers" 32,
// "EventQueue" 1, "Input" 48, "RootFileHandler" 40, "JoypadManager" 160, "DirectInput"
// 160, "DirectInputJoypad" 161, "Math" 24, "GarbageCollector" 16, "Message" 17,
// "StringPool" 17, "GDI" 136, "Sound" 176. Entries without functions are filled in with
// sSetSubsystemFunctions by the code of the service before the first run.
sSubsystemRegistry &sGetSubsystemRegistry();
void sRegisterSubsystem(const sChar *name, sInt level, sSubsystemFunc init, sSubsystemFunc exit);
void sSetSubsystemFunctions(const sChar *name, sSubsystemFunc init, sSubsystemFunc exit);
void sRunSubsystems(sInt level);
sInt sGetRunLevel();

/****************************************************************************/
/***   Application                                                        ***/
/****************************************************************************/

struct sRect
{
  sInt x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The application base: the framework drives the application through these operations.
class sApp
{
public:
  virtual ~sApp() = default;
  // once, when the application is installed
  virtual void OnInit() {}
  // every input event the input hook did not take
  virtual void OnInput(const sInput2Event &) {}
  // the paint of the 2D mode
  virtual void OnPaint2D(const sRect &, const sRect &) {}
  // once per frame before the paint
  virtual void OnPrepareFrame() {}
  // the per-frame 3D paint between the begin and the end of the frame
  virtual void OnPaint3D() {}
  // asked first in every frame; nonzero skips the preparation and the paint
  virtual sBool OnSkipFrame() { return 0; }
  // application events: 1 timer, 3 exit, codes posted by the framework
  virtual void OnEvent(sInt) {}
  virtual void GetTypeName(const sStringRef &out) { sCopyString(out.Buffer, u"sApp", out.Size); }
};

// Stores the application, then calls its OnInit.
void sSetApplication(sApp *app);
sApp *sGetApplication();

/****************************************************************************/
/***   Runtime flags                                                      ***/
/****************************************************************************/

// The flags given to sInit.
enum : sU32
{
  sISF_FULLSCREEN = 0x1,
  sISF_3D = 0x2,
  sISF_2D = 0x4,
  sISF_CONTINUOUS = 0x8,       // continuous painting with queued input
  sISF_MULTISCREEN = 0x400,
  sISF_NOSOUND = 0x800,
  sISF_NOCOMPOSITION = 0x4000,
  sISF_NOSCREENSAVER = 0x8000,
};
sU32 sGetSystemFlags();
void sSetSystemFlags(sU32 flags);   // by sInit

// Asks the main routine to end: the exit flag becomes 1 unless it holds a value. The call
// that sets it logs why on "sys" ("end of the run: <why>"), so a run's log tells how it
// ended; later calls, whatever their reason, log nothing.
void sExit(const sChar *why = nullptr);
sInt sGetExitFlag();
void sResetExitFlag();   // a new run of the main routine

// The platform infix: "." and three letters, ".pch" from start-up on. A wrong infix
// is fatal.
void sSetPlatformInfix(const sChar *infix);
const sChar *sGetPlatformInfix();

/****************************************************************************/
/***   Hooks                                                              ***/
/****************************************************************************/

// A list of callbacks (function, user pointer) called in the order of addition. Each
// hook has one callback type, given with the hook below; functions are stored without
// their type and called with the hook's.
using sHookFunc = void (*)();
class sHook
{
public:
  struct Entry
  {
    sHookFunc Func;
    void *User;
  };

  explicit sHook(sInt capacity);
  ~sHook();
  sHook(const sHook &) = delete;
  sHook &operator=(const sHook &) = delete;

  // Appends; running over the capacity is fatal.
  template <class F> void Add(F *func, void *user) { AddEntry(reinterpret_cast<sHookFunc>(func), user); }
  // Removes the first entry of that function and user (a null user matches any).
  template <class F> void Rem(F *func, void *user) { RemEntry(reinterpret_cast<sHookFunc>(func), user); }
  // Calls every callback as func(value, user).
  void Call(sDInt value);

  // Calls every callback as func(args..., user); the count is read again before each.
  template <class... A> void CallWith(A... args);

  sInt GetCount() const;
  const Entry &GetEntry(sInt i) const;

private:
  void AddEntry(sHookFunc func, void *user);
  void RemEntry(sHookFunc func, void *user);
  struct Storage;
  Storage *Entries;
};

template <class... A> void sHook::CallWith(A... args)
{
  for(sInt i = 0; i < GetCount(); i++)
  {
    const Entry &e = GetEntry(i);
    reinterpret_cast<void (*)(A..., void *)>(e.Func)(args..., e.User);
  }
}

// Null-safe forms: a null hook is ignored.
template <class F> inline void sAddHook(sHook *hook, F *func, void *user) { if(hook) hook->Add(func, user); }
template <class F> inline void sRemHook(sHook *hook, F *func, void *user) { if(hook) hook->Rem(func, user); }
inline void sHookCall(sHook *hook, sDInt value) { if(hook) hook->Call(value); }
// func(user)
inline void sCallHook(sHook *hook) { if(hook) hook->CallWith<>(); }
// func(pointer, user)
inline void sCallHookPtr(sHook *hook, void *p) { if(hook) hook->CallWith<void *>(p); }
// func(a, b, user)
inline void sCallHook2(sHook *hook, void *a, void *b) { if(hook) hook->CallWith<void *, void *>(a, b); }
// func(record, user), the record passed as a copy
inline void sCallHookRecord(sHook *hook, sStringRef record) { if(hook) hook->CallWith<sStringRef>(record); }

// The framework's hooks, made by the main routine (sCreateFrameworkHooks), with their
// callback types. The pointers are atomic: the debug output and fatal errors read them
// on any thread. Callbacks are added and removed at start-up and shut-down.
extern std::atomic<sHook *> sPreFrameHook;       // void (void *user)
extern std::atomic<sHook *> sDeviceChangeHook;   // void (void *user)
extern std::atomic<sHook *> sActivateHook;       // void (sDInt active, void *user)
extern std::atomic<sHook *> sCrashHook;          // void (sStringRef text, void *user): may append to the text
extern std::atomic<sHook *> sCloseHook;          // void (void *allow /* sInt*, preset 1 */, void *user)
extern std::atomic<sHook *> sGraphicsInitHook;   // void (void *user)
extern std::atomic<sHook *> sInputHook;          // void (void *event /* sInput2Event* */, void *consumed /* sInt* */, void *user)
extern std::atomic<sHook *> sDebugOutputHook;    // void (void *text /* const sChar* */, void *user)
// Creates the eight hooks with room for 16 callbacks each / destroys them.
void sCreateFrameworkHooks();
void sDeleteFrameworkHooks();
