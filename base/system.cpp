// The per-thread block, threads, locks, events and the debug and console output.
#include "base/system.hpp"
#include "base/app.hpp"
#include "platform/system/system.hpp"
#include "platform/text/utf.hpp"

#include <mutex>
#include <pthread.h>
#include <string>
#include <unistd.h>

/****************************************************************************/
/***   Thread context                                                     ***/
/****************************************************************************/

namespace
{
constinit sThreadContext MainContext;   // usable before any initialiser has run
thread_local sThreadContext *CurrentContext = nullptr;

// The main thread is the one whose id is the process id: known from the first moment,
// also to static initialisers of other files that run before those of this one.
bool IsMainThread()
{
  return gettid() == getpid();
}

// Blocks made for threads the framework did not create are freed when the thread ends.
void DeleteForeignContext(void *p)
{
  sThreadContext *tx = static_cast<sThreadContext *>(p);
  if(CurrentContext == tx) CurrentContext = nullptr;
  delete tx;
}

bool SetForeignKey(sThreadContext *tx)
{
  static pthread_key_t key;
  static const bool made = pthread_key_create(&key, DeleteForeignContext) == 0;
  return made && pthread_setspecific(key, tx) == 0;
}

void NameContext(sThreadContext *tx, const sChar *name)
{
  sCopyString(tx->ThreadName, name ? name : u"");
}
}

sThreadContext *sGetThreadContext()
{
  sThreadContext *tx = CurrentContext;
  if(tx) return tx;
  if(IsMainThread())
  {
    CurrentContext = &MainContext;
    return &MainContext;
  }
  // a thread of a library (audio, decoder, device callbacks): a block of its own, so it
  // never shares the main thread's scratch buffer, memory-type stack or pending source
  tx = new sThreadContext;
  tx->Foreign = 1;
  NameContext(tx, u"ForeignThread");
  CurrentContext = tx;
  SetForeignKey(tx);
  return tx;
}

void sSetThreadName(const sChar *name)
{
  NameContext(sGetThreadContext(), name);
  plat::SetCurrentThreadName(plat::ToUtf8(name ? name : u"").c_str());
}

void sInitMainThread()
{
  MainContext = sThreadContext();
  CurrentContext = &MainContext;
  sSetThreadName(u"MainThread");
  sInstallFatalSignalHandler();
}

sThreadContext *sCreateThreadContext(const sChar *name)
{
  sThreadContext *tx = new sThreadContext;
  NameContext(tx, name ? name : u"unnamed");
  return tx;
}

void sDeleteThreadContext(sThreadContext *context)
{
  delete context;
}

/****************************************************************************/
/***   Threads, locks, events                                             ***/
/****************************************************************************/

void sSleep(sInt milliseconds)
{
  plat::SleepMs(milliseconds > 0 ? sU32(milliseconds) : 0);
}

void sThreadEntry(void *self)
{
  sThread *t = static_cast<sThread *>(self);
  CurrentContext = t->Context;
  t->ThreadId.store(plat::CurrentThreadId(), std::memory_order_relaxed);
  t->Func(t, t->User);
  CurrentContext = nullptr;
}

sThread::sThread(sThreadFunc func, sInt priority, sInt stackSize, void *user, const sChar *name)
  : Func(func), User(user)
{
  sVERIFY(func);
  sVERIFY(stackSize >= 0);
  Context = sCreateThreadContext(name);
  std::string error;
  if(!Handle.Start(&sThreadEntry, this, size_t(stackSize), plat::ToUtf8(Context->ThreadName).c_str(), priority,
                   &error))
  {
    sChar text[512];
    std::u16string why = plat::ToUtf16(error);
    sSPrintF(text, u"could not start thread %s: %s", Context->ThreadName, why.c_str());
    sFatal(text);
  }
  ThreadId.store(Handle.Id(), std::memory_order_relaxed);
}

sThread::~sThread()
{
  Stop.store(1, std::memory_order_release);
  // joins: returns at once when the function has already returned
  Handle.Join();
  sDeleteThreadContext(Context);
  Context = nullptr;
}

sBool sThreadEvent::Wait(sInt timeout)
{
  return E.Wait(timeout < 0 ? plat::kWaitInfinite : sU32(timeout)) ? 1 : 0;
}

/****************************************************************************/
/***   Debug and console output                                           ***/
/****************************************************************************/

namespace
{
std::recursive_mutex DebugOutputLock;
sDebugOutputFunc CaptureFunc = nullptr;
void *CaptureUser = nullptr;
sDebugOutputFunc HookFunc = nullptr;
void *HookUser = nullptr;
// a receiver that prints does not reach the receivers again
thread_local bool InDebugHook = false;
}

sDebugOutputFunc sSetDebugOutputCapture(sDebugOutputFunc func, void *user, void **oldUser)
{
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  sDebugOutputFunc old = CaptureFunc;
  if(oldUser) *oldUser = CaptureUser;
  CaptureFunc = func;
  CaptureUser = user;
  return old;
}

void sSetDebugOutputHook(sDebugOutputFunc func, void *user)
{
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  HookFunc = func;
  HookUser = user;
}

sHook *sExchangeDebugOutputHook(sHook *hook)
{
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  return sDebugOutputHook.exchange(hook);
}

void sDPrint(const sChar *text)
{
  if(!text || !*text) return;
  sU32 quiet = sGetThreadContext()->Quiet;
  if(quiet & sTCQ_NODPRINT) return;

  // one text at a time, so lines of different threads do not interleave
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  if(!(quiet & sTCQ_NOHOOK) && !InDebugHook)
  {
    InDebugHook = true;
    sCallHookPtr(sDebugOutputHook, const_cast<sChar *>(text));
    if(HookFunc) HookFunc(text, HookUser);
    InDebugHook = false;
  }
  if(CaptureFunc)
  {
    if(!(quiet & sTCQ_NOHOOK))
      CaptureFunc(text, CaptureUser);
    return;
  }
  std::string s = plat::ToUtf8(text);
  plat::WriteDebugOutput(s.data(), s.size());
}

void sConsoleWrite(const sChar *text)
{
  if(!text || !*text) return;
  const sInt piece = 1024;
  sInt len = sGetStringLen(text);
  for(sInt pos = 0; pos < len;)
  {
    sInt n = len - pos < piece ? len - pos : piece;
    // a surrogate pair stays in one piece
    if(n == piece && pos + n < len && text[pos + n - 1] >= 0xd800 && text[pos + n - 1] < 0xdc00) n--;
    std::string s = plat::ToUtf8(text + pos, size_t(n));
    if(!plat::WriteConsole(s.data(), s.size())) return;
    pos += n;
  }
}
