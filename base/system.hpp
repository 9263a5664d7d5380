#pragma once
// Threads and their per-thread block, locks, events, sleeping, the debug output, the
// console output and the fatal-error path.

#include "base/types.hpp"
#include "platform/threads/threads.hpp"

#include <atomic>

/****************************************************************************/
/***   Thread context                                                     ***/
/****************************************************************************/

// Bits of sThreadContext::Quiet, read by sDPrint.
enum : sU32
{
  sTCQ_NODPRINT = 1,   // no debug output at all from this thread
  sTCQ_NOHOOK = 2,     // debug output, but not to the capture / debug-output hook
};

// Every thread has one; sGetThreadContext() returns the calling thread's. The main
// thread's block is static; threads made through sThread get theirs at construction;
// any other thread (made by a library: audio, decoders, devices) gets one of its own
// the first time it asks, freed when it ends.
struct sThreadContext
{
  sU32 Quiet = 0;                   // sTCQ_* bits (first word)
  static constexpr sInt ThreadNameSize = 64;
  sChar ThreadName[ThreadNameSize] = {};

  // formatted output of the scratch families (sDPrintF, sLogF, sFatalF)
  static constexpr sInt PrintBufferSize = 1024;
  sChar PrintBuffer[PrintBufferSize] = {};

  // memory types: the top of this stack serves allocations that name type 0
  sInt MemTypeStack[16] = {1};
  sDInt MemTypeStackIndex = 0;

  // the source named by sSetAllocSource, consumed by the next sMemAlloc
  const char *AllocFile = nullptr;
  sInt AllocLine = 0;

  // leak descriptions pushed by the thread: once as names each ended by a terminator
  // (to pop them), once joined by blanks (the text the leak report shows), with the
  // hash of the shown text
  static constexpr sInt LeakDescSize = 256;   // 255 characters and a terminator
  sChar LeakDescStack[LeakDescSize] = {};
  sInt LeakDescStackLen = 0;
  sChar LeakDesc[LeakDescSize] = {};
  sInt LeakDescLen = 0;
  sU32 LeakDescHash = 0;

  // frame memory of this thread: two buffers (cursor, end) taken from the frame, the
  // frame they belong to, and the end of an open borrow (0 when none)
  sU64 FrameNumber = 0;
  sPtr FrameCursor[2] = {};
  sPtr FrameBufferEnd[2] = {};
  sPtr FrameBorrow = 0;

  sBool Foreign = 0;   // made on first use for a thread the framework did not create
};

sThreadContext *sGetThreadContext();
// Names the calling thread (cut to 63 characters).
void sSetThreadName(const sChar *name);
// Clears the main thread's block, names it "MainThread" and installs it for the
// calling thread; installs the fatal-signal handler. The first step of the main routine.
void sInitMainThread();
// A block for a new thread, named (null: "Thread"); freed with sDeleteThreadContext.
sThreadContext *sCreateThreadContext(const sChar *name);
void sDeleteThreadContext(sThreadContext *context);

/****************************************************************************/
/***   Threads, locks, events                                             ***/
/****************************************************************************/

void sSleep(sInt milliseconds);

class sThread;
using sThreadFunc = void (*)(sThread *thread, void *user);

// A thread of the framework. The function runs until it sees CheckTerminate() nonzero.
// The destructor asks the thread to stop and waits for it to end.
class sThread
{
  plat::Thread Handle;
  std::atomic<sU32> ThreadId{0};   // set by both sides of the start, whichever runs first
  std::atomic<sU32> Stop{0};   // 0 running, 1 stop requested (written by the owner)
  sThreadFunc Func;
  void *User;
  sThreadContext *Context;

  // the thread's first function: installs its context and runs Func
  friend void sThreadEntry(void *self);

public:
  // priority > 0: time-critical; < 0: below normal; 0: unchanged. stackSize 0 takes
  // the default; small stacks are raised by the threads layer. Failing to start a
  // thread is fatal.
  sThread(sThreadFunc func, sInt priority = 0, sInt stackSize = 0, void *user = nullptr, const sChar *name = nullptr);
  ~sThread();
  sThread(const sThread &) = delete;
  sThread &operator=(const sThread &) = delete;

  // Asks the thread to stop (it still has to notice).
  void Terminate() { Stop.store(1, std::memory_order_release); }
  // Nonzero once the thread was asked to stop.
  sBool CheckTerminate() const { return Stop.load(std::memory_order_acquire) != 0; }
  sU32 GetThreadId() const { return ThreadId.load(std::memory_order_relaxed); }
  void *GetUser() const { return User; }
  sThreadContext *GetContext() const { return Context; }
};

// A critical section: the owning thread may enter it again.
class sThreadLock
{
  plat::RecursiveLock L;

public:
  sThreadLock() = default;
  sThreadLock(const sThreadLock &) = delete;
  sThreadLock &operator=(const sThreadLock &) = delete;
  void Lock() { L.Enter(); }
  void Unlock() { L.Leave(); }
  // nonzero when entered
  sBool TryLock() { return L.TryEnter() ? 1 : 0; }
};

// Holds a lock for a scope.
class sScopeLock
{
  sThreadLock *L;

public:
  explicit sScopeLock(sThreadLock *l) : L(l) { L->Lock(); }
  ~sScopeLock() { L->Unlock(); }
  sScopeLock(const sScopeLock &) = delete;
  sScopeLock &operator=(const sScopeLock &) = delete;
};

// An event, initially not signalled; manual reset stays signalled until Reset, automatic
// reset releases one waiter.
class sThreadEvent
{
  plat::Event E;

public:
  explicit sThreadEvent(sBool manualReset = 0) : E(manualReset != 0) {}
  sThreadEvent(const sThreadEvent &) = delete;
  sThreadEvent &operator=(const sThreadEvent &) = delete;
  // nonzero when the event was signalled within the timeout (-1: no limit)
  sBool Wait(sInt timeout = -1);
  void Signal() { E.Set(); }
  void Reset() { E.Reset(); }
};

/****************************************************************************/
/***   Debug output                                                       ***/
/****************************************************************************/

// sDPrint (declared in base/types.hpp) hands the text to the debug-output hook
// (sDebugOutputHook), then writes it as UTF-8 to stderr. A capture function, when
// installed, receives every text in place of stderr (tests use it to read log output).
using sDebugOutputFunc = void (*)(const sChar *text, void *user);
// Installs a capture (null removes it); returns the previous one.
sDebugOutputFunc sSetDebugOutputCapture(sDebugOutputFunc func, void *user, void **oldUser = nullptr);
// A further receiver of every text besides stderr or the capture. Suppressed by
// sTCQ_NOHOOK, like the debug-output hook.
void sSetDebugOutputHook(sDebugOutputFunc func, void *user);

// Puts a new debug-output hook in place while no thread is printing; returns the old
// one, which no thread uses any more when this returns.
class sHook;
sHook *sExchangeDebugOutputHook(sHook *hook);

// Writes the text to the console (standard output), in pieces of at most 1024
// characters; nothing for an empty text.
void sConsoleWrite(const sChar *text);

/****************************************************************************/
/***   Fatal errors                                                       ***/
/****************************************************************************/

// sFatal, sAssertionFailed and sFatalAtLine are declared in base/types.hpp.

// Shows the text (1024 characters at most) and the stack trace (or null), calls the
// crash hook, asks for the end, destroys the window, shows a message box when a person
// may see one, and ends the process with exit code 1.
[[noreturn]] void sFatalDisplay(const sChar *text, const sChar *trace);
// Whether a fatal error is being reported (the frame driver stops calling the
// application then).
sBool sIsFatalInProgress();

// Appends a stack trace of the caller to out: count frames after skipping first,
// one per line, "%2d. %s (%s:%d)\n" (number, function, file without folder, line), or
// "%2d. ??? (EIP=%08x)\n" for a frame without a name. 1 on success, 0 when no frame
// could be found.
sBool sStackTrace(const sStringRef &out, sInt first, sInt count);

// The window side of a fatal error, installed by the frame driver: the window title
// for the message box caption and destruction of the main window.
struct sFatalWindowFuncs
{
  const sChar *(*GetWindowName)() = nullptr;
  void (*DestroyWindow)() = nullptr;
  // 1 on the thread that runs the message loop, while it handles a message
  sBool (*InMessageLoop)() = nullptr;
};
void sSetFatalWindowFuncs(const sFatalWindowFuncs *funcs);

// Installs the handler of fatal signals (segmentation faults, bus errors, arithmetic
// faults, illegal instructions, aborts): they end in sFatalDisplay.
void sInstallFatalSignalHandler();

// Failed graphics results: nothing for a result that is not negative, otherwise a fatal
// error "%s(%d): %s error %08x (%d): %s (%s)". The graphics layer names its codes.
using sDXErrorTextFunc = void (*)(sS32 result, const sChar **name, const sChar **description);
void sSetDXErrorText(sDXErrorTextFunc func);
void sDXError(sS32 result, const char *file, sInt line, const sChar *call);
#define sDXERR(x) sDXError(sS32(x), __FILE__, __LINE__, u"" #x)
