// Fatal signals: caught on an alternate stack, described in one line, traced from the
// faulting instruction and handed to the program's fatal-error routine.

#include "platform/system/system.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <execinfo.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace plat
{
namespace
{
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = int(sizeof(kSignals) / sizeof(kSignals[0]));
constexpr size_t kAltStackSize = 512 * 1024;
constexpr int kMaxFrames = 64;

std::atomic<FatalSignalHandler> Handler{nullptr};
std::atomic<void *> HandlerUser{nullptr};
std::atomic<uint32_t> HandlingThread{0};
std::atomic<bool> Installed{false};
struct sigaction Previous[kSignalCount];

uint32_t ThreadId()
{
  return uint32_t(syscall(SYS_gettid));
}

const char *SignalName(int sig)
{
  switch(sig)
  {
  case SIGSEGV: return "SIGSEGV";
  case SIGBUS: return "SIGBUS";
  case SIGFPE: return "SIGFPE";
  case SIGILL: return "SIGILL";
  case SIGABRT: return "SIGABRT";
  default: return "signal";
  }
}

uintptr_t ContextPc(const void *context)
{
#if defined(__x86_64__)
  return uintptr_t(static_cast<const ucontext_t *>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return uintptr_t(static_cast<const ucontext_t *>(context)->uc_mcontext.pc);
#else
  (void)context;
  return 0;
#endif
}

uintptr_t ContextSp(const void *context)
{
#if defined(__x86_64__)
  return uintptr_t(static_cast<const ucontext_t *>(context)->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
  return uintptr_t(static_cast<const ucontext_t *>(context)->uc_mcontext.sp);
#else
  (void)context;
  return 0;
#endif
}

void Describe(char *out, size_t size, int sig, const siginfo_t *si, const void *context)
{
  uintptr_t addr = uintptr_t(si->si_addr);
  uintptr_t pc = ContextPc(context);
  int n = 0;
  switch(sig)
  {
  case SIGSEGV:
  {
    const char *access = "access to";
#if defined(__x86_64__)
    long err = static_cast<const ucontext_t *>(context)->uc_mcontext.gregs[REG_ERR];
    access = (err & 16) ? "execution at" : (err & 2) ? "write to" : "read of";
#endif
    const char *why = si->si_code == SEGV_MAPERR ? "address not mapped" :
                      si->si_code == SEGV_ACCERR ? "access not permitted" : "invalid access";
    uintptr_t sp = ContextSp(context);
    bool overflow = sp && (addr > sp ? addr - sp : sp - addr) < 64 * 1024;
    n = snprintf(out, size, "access violation (SIGSEGV): %s address 0x%lx (%s%s)", access, (unsigned long)addr, why,
                 overflow ? ", stack overflow" : "");
    break;
  }
  case SIGBUS:
  {
    const char *why = si->si_code == BUS_ADRALN ? "misaligned address" :
                      si->si_code == BUS_ADRERR ? "no such physical address (a mapped file shrank?)" :
                      si->si_code == BUS_OBJERR ? "object-specific hardware error" : "bus error";
    n = snprintf(out, size, "bus error (SIGBUS): address 0x%lx (%s)", (unsigned long)addr, why);
    break;
  }
  case SIGFPE:
  {
    const char *why = "arithmetic exception";
    switch(si->si_code)
    {
    case FPE_INTDIV: why = "integer divide by zero"; break;
    case FPE_INTOVF: why = "integer overflow"; break;
    case FPE_FLTDIV: why = "floating-point divide by zero"; break;
    case FPE_FLTOVF: why = "floating-point overflow"; break;
    case FPE_FLTUND: why = "floating-point underflow"; break;
    case FPE_FLTRES: why = "floating-point inexact result"; break;
    case FPE_FLTINV: why = "invalid floating-point operation"; break;
    case FPE_FLTSUB: why = "subscript out of range"; break;
    }
    n = snprintf(out, size, "arithmetic exception (SIGFPE): %s", why);
    break;
  }
  case SIGILL:
    n = snprintf(out, size, "illegal instruction (SIGILL) at 0x%lx", (unsigned long)addr);
    break;
  case SIGABRT:
    n = snprintf(out, size, "abort (SIGABRT)");
    break;
  default:
    n = snprintf(out, size, "fatal signal %d", sig);
    break;
  }
  if(n < 0 || size_t(n) >= size) return;
  char name[32] = {};
  pthread_getname_np(pthread_self(), name, sizeof(name));
  snprintf(out + n, size - size_t(n), ", instruction at 0x%lx, thread \"%s\"", (unsigned long)pc, name);
}

void Die(int sig, const siginfo_t *si)
{
  signal(sig, SIG_DFL);
  // a fault returns to the faulting instruction and meets the default action there; a
  // signal that was sent (abort, kill) is sent again
  if(si->si_code <= 0 || sig == SIGABRT) raise(sig);
}

// The report of a fault allocates, unwinds and symbolizes: where the fault left a lock held
// (inside the allocator, say) it waits for ever, and a show that hangs on its last frame
// never ends for its supervisor to start it again.
char DeadlineLine[512];

void OnFatalDeadline(int)
{
  static const char head[] = "the fatal-error report did not end in time: ";
  ssize_t r = write(2, head, sizeof(head) - 1);
  r = write(2, DeadlineLine, strlen(DeadlineLine));
  r = write(2, "\n", 1);
  (void)r;
  _exit(1);
}

void OnFatalSignal(int sig, siginfo_t *si, void *context)
{
  int savedErrno = errno;
  uint32_t me = ThreadId();
  uint32_t expected = 0;
  if(!HandlingThread.compare_exchange_strong(expected, me, std::memory_order_acq_rel))
  {
    if(expected == me)
    {
      static const char msg[] = "fatal signal inside the fatal-error path\n";
      ssize_t r = write(2, msg, sizeof(msg) - 1);
      (void)r;
      Die(sig, si);
      return;
    }
    // another thread is reporting its fault and will end the process
    for(;;) pause();
  }

  char description[512];
  Describe(description, sizeof(description), sig, si, context);
  SetFatalDeadline(FatalReportSeconds, description);

  uintptr_t raw[kMaxFrames];
  int n = CaptureStackAddresses(raw, 0, kMaxFrames);
  // the unwinder walks through the signal frame: start at the faulting instruction
  uintptr_t pc = ContextPc(context);
  int first = -1;
  for(int i = 0; i < n; i++)
    if(raw[i] == pc)
    {
      first = i;
      break;
    }
  std::vector<StackFrame> frames;
  if(first >= 0)
    frames = SymbolizeAddresses(raw + first, n - first, true);
  else
  {
    // no unwind through the signal frame (a jump to a bad address): the faulting
    // instruction, then what the unwinder saw below the handler
    raw[0] = pc;
    frames = SymbolizeAddresses(raw, n, true);
  }

  FatalSignalInfo info;
  info.Signal = sig;
  info.FaultAddress = uintptr_t(si->si_addr);
  info.InstructionAddress = pc;
  info.Description = description;
  info.Frames = frames.data();
  info.FrameCount = int(frames.size());
  FatalSignalHandler handler = Handler.load(std::memory_order_acquire);
  if(handler)
    handler(info, HandlerUser.load(std::memory_order_acquire));
  else
  {
    ssize_t r = write(2, description, strlen(description));
    r = write(2, "\n", 1);
    (void)r;
  }
  errno = savedErrno;
  Die(sig, si);
}

bool EnsureAltStack(std::string *error)
{
  stack_t old{};
  // a runtime may have set a small one of its own: symbol lookup needs more room
  if(sigaltstack(nullptr, &old) == 0 && !(old.ss_flags & SS_DISABLE) && old.ss_size >= kAltStackSize) return true;
  if(old.ss_flags & SS_ONSTACK) return true;  // running on it: cannot swap it now
  void *mem = mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if(mem == MAP_FAILED)
  {
    if(error) *error = std::string("no memory for the signal stack: ") + strerror(errno);
    return false;
  }
  stack_t ss{};
  ss.ss_sp = mem;
  ss.ss_size = kAltStackSize;
  if(sigaltstack(&ss, nullptr) != 0)
  {
    if(error) *error = std::string("sigaltstack failed: ") + strerror(errno);
    munmap(mem, kAltStackSize);
    return false;
  }
  return true;  // kept for the life of the thread
}
}

bool InstallFatalSignalHandler(FatalSignalHandler handler, void *user, std::string *error)
{
  if(!handler)
  {
    if(error) *error = "no handler";
    return false;
  }
  if(!EnsureAltStack(error)) return false;
  // the first unwind loads the unwinder library: not inside a crash
  void *warm[4];
  backtrace(warm, 4);

  HandlerUser.store(user, std::memory_order_release);
  Handler.store(handler, std::memory_order_release);
  if(Installed.load(std::memory_order_acquire)) return true;

  struct sigaction sa{};
  sa.sa_sigaction = OnFatalSignal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for(int i = 0; i < kSignalCount; i++)
  {
    if(sigaction(kSignals[i], &sa, &Previous[i]) != 0)
    {
      if(error) *error = std::string("sigaction failed for ") + SignalName(kSignals[i]) + ": " + strerror(errno);
      for(int j = 0; j < i; j++) sigaction(kSignals[j], &Previous[j], nullptr);
      return false;
    }
  }
  Installed.store(true, std::memory_order_release);
  return true;
}

bool PrepareThreadForFatalSignals(std::string *error)
{
  return EnsureAltStack(error);
}

void SetFatalDeadline(unsigned seconds, const char *line)
{
  if(!seconds)
  {
    alarm(0);
    return;
  }
  size_t n = 0;
  for(; line && line[n] && line[n] != '\n' && n + 1 < sizeof(DeadlineLine); n++) DeadlineLine[n] = line[n];
  DeadlineLine[n] = 0;
  struct sigaction sa{};
  sa.sa_handler = OnFatalDeadline;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGALRM, &sa, nullptr);
  sigset_t alarmOnly;
  sigemptyset(&alarmOnly);
  sigaddset(&alarmOnly, SIGALRM);
  pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
  alarm(seconds);
}

void RemoveFatalSignalHandler()
{
  if(!Installed.exchange(false, std::memory_order_acq_rel)) return;
  for(int i = 0; i < kSignalCount; i++) sigaction(kSignals[i], &Previous[i], nullptr);
  Handler.store(nullptr, std::memory_order_release);
  HandlerUser.store(nullptr, std::memory_order_release);
}
}
