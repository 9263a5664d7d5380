// The subsystem registry, the application pointer, the runtime flags and the hooks.
#include "base/app.hpp"
#include "base/arrays.hpp"
#include "base/file.hpp"
#include "base/input.hpp"
#include "base/leaktracker.hpp"
#include "base/math.hpp"
#include "base/system.hpp"
#include "base/textbuffer.hpp"

/****************************************************************************/
/***   Subsystems                                                         ***/
/****************************************************************************/

void sSubsystemRegistry::Register(const sChar *name, sInt level, sSubsystemFunc init, sSubsystemFunc exit)
{
  sVERIFYAS(Count < sDInt(sizeof(Subsystems) / sizeof(*(Subsystems))),
            u"SubsystemCount<sDInt(sizeof(Subsystems)/sizeof(*(Subsystems)))");
  Entry &e = Subsystems[Count++];
  e.Level = level;
  e.Name = name ? name : u"";
  e.Init = init;
  e.Exit = exit;
  e.Running = 0;
  // registered while the program runs above its level: it starts at once
  if(level < RunLevel)
  {
    if(e.Init) e.Init();
    e.Running = 1;
  }
}

void sSubsystemRegistry::Run(sInt level)
{
  // exchange sort by level; entries of equal level never swap with each other directly
  for(sInt i = 0; i < Count - 1; i++)
  {
    for(sInt j = i + 1; j < Count; j++)
    {
      if(Subsystems[i].Level > Subsystems[j].Level)
      {
        Entry t = Subsystems[i];
        Subsystems[i] = Subsystems[j];
        Subsystems[j] = t;
      }
    }
  }

  // the count is read again after every start: an init may register more
  for(sInt i = 0; i < Count; i++)
  {
    if(Subsystems[i].Level < level && !Subsystems[i].Running)
    {
      sLogF(u"sys", u"init 0x%02x %s\n", Subsystems[i].Level, Subsystems[i].Name);
      sPushMemLeakDesc(Subsystems[i].Name);
      if(Subsystems[i].Init) Subsystems[i].Init();
      Subsystems[i].Running = 1;
      sPopMemLeakDesc();
    }
  }

  for(sInt i = Count - 1; i >= 0; i--)
  {
    if(Subsystems[i].Level >= level && Subsystems[i].Running)
    {
      sLogF(u"sys", u"exit 0x%02x %s\n", Subsystems[i].Level, Subsystems[i].Name);
      if(Subsystems[i].Exit) Subsystems[i].Exit();
      Subsystems[i].Running = 0;
    }
  }
  RunLevel = level;
}

const sSubsystemRegistry::Entry &sSubsystemRegistry::Get(sInt i) const
{
  sVERIFY(i >= 0 && i < Count);
  return Subsystems[i];
}

void sSubsystemRegistry::SetFunctions(const sChar *name, sSubsystemFunc init, sSubsystemFunc exit)
{
  for(sInt i = 0; i < Count; i++)
  {
    Entry &e = Subsystems[i];
    if(sCmpStringEqual(e.Name, name))
    {
      sVERIFYDESC(!e.Running, u"a running subsystem keeps its functions");
      sVERIFYDESC(!e.Init && !e.Exit, u"the subsystem has its functions already");
      e.Init = init;
      e.Exit = exit;
      return;
    }
  }
  sFatalF(u"subsystem %q is not registered", name);
}

namespace
{
// The framework's own services, in the order they are registered. Keeping them in one
// table fixes their order (registrations spread over files run in no defined order),
// and the exchange sort keeps equal levels in this order. Services of the core itself
// are named here directly, so they run in every program that starts the registry,
// whatever the linker kept; the others are filled in by their code.
struct FrameworkSubsystem
{
  const sChar *Name;
  sInt Level;
  sSubsystemFunc Init;
  sSubsystemFunc Exit;
};

const FrameworkSubsystem FrameworkSubsystems[] = {
  {u"MediaFoundation", 224, nullptr, nullptr},
  {u"GdiPlus", 120, nullptr, nullptr},
  {u"FileHandlers", 32, sInitFileHandlers, sExitFileHandlers},
  {u"EventQueue", 1, sInitInput2EventQueue, sExitInput2EventQueue},
  {u"Input", 48, nullptr, nullptr},
  {u"RootFileHandler", 40, sInitRootFileHandler, nullptr},
  {u"JoypadManager", 160, nullptr, nullptr},
  {u"DirectInput", 160, nullptr, nullptr},
  {u"DirectInputJoypad", 161, nullptr, nullptr},
  {u"Math", 24, sInitMath, nullptr},
  {u"GarbageCollector", 16, sInitGC, sExitGC},
  {u"Message", 17, sInitMessageQueue, sExitMessageQueue},
  {u"StringPool", 17, sInitStringPool, sExitStringPool},
  {u"GDI", 136, nullptr, nullptr},
  {u"Sound", 176, nullptr, nullptr},
};
}

sSubsystemRegistry &sGetSubsystemRegistry()
{
  static sSubsystemRegistry *registry = [] {
    static sSubsystemRegistry r;
    for(const FrameworkSubsystem &s : FrameworkSubsystems) r.Register(s.Name, s.Level, s.Init, s.Exit);
    return &r;
  }();
  return *registry;
}

void sRegisterSubsystem(const sChar *name, sInt level, sSubsystemFunc init, sSubsystemFunc exit)
{
  sGetSubsystemRegistry().Register(name, level, init, exit);
}

void sSetSubsystemFunctions(const sChar *name, sSubsystemFunc init, sSubsystemFunc exit)
{
  sGetSubsystemRegistry().SetFunctions(name, init, exit);
}

void sRunSubsystems(sInt level) { sGetSubsystemRegistry().Run(level); }
sInt sGetRunLevel() { return sGetSubsystemRegistry().GetRunLevel(); }

/****************************************************************************/
/***   Application and flags                                              ***/
/****************************************************************************/

namespace
{
sApp *Application = nullptr;
sU32 sSystemFlags = 0;
// fatal errors ask for the end from any thread
std::atomic<sInt> ExitFlag{0};
sChar PlatInfix[8] = u".pch";
}

void sSetApplication(sApp *app)
{
  Application = app;
  if(app) app->OnInit();
}

sApp *sGetApplication() { return Application; }
sU32 sGetSystemFlags() { return sSystemFlags; }
void sSetSystemFlags(sU32 flags) { sSystemFlags = flags; }

void sExit(const sChar *why)
{
  sInt none = 0;
  if(ExitFlag.compare_exchange_strong(none, 1) && why) sLogF(u"sys", u"end of the run: %s\n", why);
}

sInt sGetExitFlag() { return ExitFlag.load(); }
void sResetExitFlag() { ExitFlag.store(0); }

void sSetPlatformInfix(const sChar *infix)
{
  sLogF(u"sys", u"platform infix %s\n", infix);   // a null text prints nothing
  sVERIFY(infix);
  sVERIFY(infix[0] == '.');
  sCopyString(PlatInfix, infix);
  sVERIFYAS(sGetStringLen(PlatInfix) == 4, u"sPlatInfix.Count()==4");
}

const sChar *sGetPlatformInfix() { return PlatInfix; }

/****************************************************************************/
/***   Hooks                                                              ***/
/****************************************************************************/

struct sHook::Storage : sBoundedArray<sHook::Entry>
{
  explicit Storage(sInt n) : sBoundedArray<sHook::Entry>(n) {}
};

sHook::sHook(sInt capacity)
{
  Entries = sNEW Storage(capacity);
}

sHook::~sHook()
{
  sDELETE(Entries);
}

void sHook::AddEntry(sHookFunc func, void *user)
{
  Entries->AddTail(Entry{func, user});
}

void sHook::RemEntry(sHookFunc func, void *user)
{
  for(sInt i = 0; i < Entries->GetSize(); i++)
  {
    const Entry &e = (*Entries)[i];
    if(e.Func == func && (!user || e.User == user))
    {
      Entries->RemAt(i);
      return;
    }
  }
}

void sHook::Call(sDInt value)
{
  for(sInt i = 0; i < GetCount(); i++)
  {
    const Entry &e = GetEntry(i);
    reinterpret_cast<void (*)(sDInt, void *)>(e.Func)(value, e.User);
  }
}

sInt sHook::GetCount() const { return Entries->GetSize(); }
const sHook::Entry &sHook::GetEntry(sInt i) const { return (*Entries)[i]; }

std::atomic<sHook *> sPreFrameHook{nullptr};
std::atomic<sHook *> sDeviceChangeHook{nullptr};
std::atomic<sHook *> sActivateHook{nullptr};
std::atomic<sHook *> sCrashHook{nullptr};
std::atomic<sHook *> sCloseHook{nullptr};
std::atomic<sHook *> sGraphicsInitHook{nullptr};
std::atomic<sHook *> sInputHook{nullptr};
std::atomic<sHook *> sDebugOutputHook{nullptr};

namespace
{
std::atomic<sHook *> *const FrameworkHooks[] = {&sPreFrameHook, &sDeviceChangeHook, &sActivateHook, &sCrashHook,
                                                &sCloseHook,    &sGraphicsInitHook, &sInputHook,    &sDebugOutputHook};
}

void sCreateFrameworkHooks()
{
  for(std::atomic<sHook *> *h : FrameworkHooks)
  {
    if(h->load()) continue;
    sHook *hook = sNEW sHook(16);
    // other threads print through the debug-output hook: it is put in place under the
    // debug output's lock
    if(h == &sDebugOutputHook) sExchangeDebugOutputHook(hook);
    else h->store(hook);
  }
}

void sDeleteFrameworkHooks()
{
  for(std::atomic<sHook *> *h : FrameworkHooks)
  {
    sHook *hook = h == &sDebugOutputHook ? sExchangeDebugOutputHook(nullptr) : h->exchange(nullptr);
    sDELETE(hook);
  }
}
