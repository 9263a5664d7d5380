// The clock, debugger detection, output, the message box, the address-space figures and
// the floating-point set-up.

#include "platform/system/system.hpp"

#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace plat
{
namespace
{
int64_t MonotonicNs()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The start of the process on the monotonic clock, taken before the other static
// objects are made (and on first use should one of them read the clock earlier).
std::atomic<int64_t> StartNs{0};

int64_t Start()
{
  int64_t s = StartNs.load(std::memory_order_acquire);
  if(s == 0)
  {
    int64_t now = MonotonicNs();
    if(now == 0) now = 1;
    StartNs.compare_exchange_strong(s, now, std::memory_order_acq_rel);
    s = StartNs.load(std::memory_order_acquire);
  }
  return s;
}

struct ClockStart
{
  ClockStart() { Start(); }
};
ClockStart TheClockStart __attribute__((init_priority(101)));

bool WriteAll(int fd, const char *text, size_t length)
{
  while(length > 0)
  {
    ssize_t r = write(fd, text, length);
    if(r < 0)
    {
      if(errno == EINTR) continue;
      return false;
    }
    text += r;
    length -= size_t(r);
  }
  return true;
}

// Reads a small file of /proc whole.
std::string ReadProcFile(const char *path)
{
  std::string out;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if(fd < 0) return out;
  char buffer[4096];
  for(;;)
  {
    ssize_t r = read(fd, buffer, sizeof(buffer));
    if(r < 0 && errno == EINTR) continue;
    if(r <= 0) break;
    out.append(buffer, size_t(r));
  }
  close(fd);
  return out;
}
}

uint64_t TimeMs64()
{
  return uint64_t(MonotonicNs() - Start()) / 1000000u;
}

uint32_t TimeMs()
{
  return uint32_t(TimeMs64());
}

uint64_t TimeUs64()
{
  return uint64_t(MonotonicNs() - Start()) / 1000u;
}

bool IsDebuggerAttached()
{
  std::string status = ReadProcFile("/proc/self/status");
  size_t at = status.find("TracerPid:");
  if(at == std::string::npos) return false;
  return strtol(status.c_str() + at + 10, nullptr, 10) != 0;
}

void BreakIntoDebugger()
{
  if(!IsDebuggerAttached()) return;
  // the tracer sees the trap even while the process ignores it; a tracer that hands it
  // back (strace, or a debugger told to continue) then does not end the process
  struct sigaction ignore{}, before{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGTRAP, &ignore, &before);
  raise(SIGTRAP);
  sigaction(SIGTRAP, &before, nullptr);
}

bool WriteDebugOutput(const char *text, size_t length)
{
  return WriteAll(2, text, length);
}

bool WriteConsole(const char *text, size_t length)
{
  return WriteAll(1, text, length);
}

bool IsInteractive()
{
  const char *test = getenv("SPARK_TEST");
  if(test && *test) return false;
  const char *x = getenv("DISPLAY");
  const char *wayland = getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

namespace
{
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The box's process group is the box's process and the one the library shows the box
// from: they end together.
void EndBoxGroup(int)
{
  kill(0, SIGKILL);
}
}

bool ShowErrorMessageBox(const char *caption, const char *text)
{
  if(!IsInteractive()) return false;
  const char *title = caption ? caption : "";
  const char *message = text ? text : "";
  // The program waits here for OK, and ends right after: SIGTERM and Ctrl-C end it now.
  // The window's close signals only ask a frame loop that no longer runs.
  sigset_t ends;
  sigemptyset(&ends);
  for(int sig : kEndSignals)
  {
    signal(sig, SIG_DFL);
    sigaddset(&ends, sig);
  }
  pthread_sigmask(SIG_UNBLOCK, &ends, nullptr);
  // The box is shown by a child that ends with the program: were the program killed while
  // it waits, the box would stay on the screen with no one to wait for it.
  pid_t parent = getpid();
  pid_t child = fork();
  if(child < 0) return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, message, nullptr) == 0;
  if(child == 0)
  {
    // a group of its own, which the library's own child for the box joins; the group
    // ends on SIGTERM, Ctrl-C, a lost terminal or the end of the program
    setpgid(0, 0);
    struct sigaction sa{};
    sa.sa_handler = EndBoxGroup;
    sigemptyset(&sa.sa_mask);
    for(int sig : kEndSignals) sigaction(sig, &sa, nullptr);
    sigprocmask(SIG_UNBLOCK, &ends, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if(getppid() != parent) EndBoxGroup(0);   // the program ended before the line above
    bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, message, nullptr) == 0;
    _exit(shown ? 0 : 1);
  }
  int status = 0;
  pid_t r;
  do r = waitpid(child, &status, 0);
  while(r < 0 && errno == EINTR);
  return r == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int ProcessId()
{
  return int(getpid());
}

bool ProcessRuns(int pid)
{
  // no signal is sent: the call only checks the process is there (EPERM: it is, but not ours)
  return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

void TerminateProcess(int exitCode)
{
  _exit(exitCode);
}

bool GetAddressSpaceFree(uint64_t *freeBytes, uint64_t *largestFree)
{
  std::string maps = ReadProcFile("/proc/self/maps");
  if(maps.empty()) return false;
  // the user part of the address space: from the lowest address the kernel lets a
  // program map up to the top of the 47-bit user half
  uint64_t low = 0x10000;
  std::string minAddr = ReadProcFile("/proc/sys/vm/mmap_min_addr");
  if(!minAddr.empty()) low = strtoull(minAddr.c_str(), nullptr, 10);
  const uint64_t high = sizeof(void *) == 8 ? 0x00007ffffffff000ull : 0xc0000000ull;
  uint64_t total = 0, largest = 0, cursor = low;
  auto gap = [&](uint64_t end) {
    if(end > high) end = high;
    if(end > cursor)
    {
      total += end - cursor;
      if(end - cursor > largest) largest = end - cursor;
    }
  };
  const char *p = maps.c_str();
  while(*p)
  {
    char *next = nullptr;
    uint64_t start = strtoull(p, &next, 16);
    if(!next || *next != '-') return false;
    uint64_t end = strtoull(next + 1, &next, 16);
    if(start >= high) break;
    gap(start);
    if(end > cursor) cursor = end;
    const char *eol = strchr(next, '\n');
    if(!eol) break;
    p = eol + 1;
  }
  gap(high);
  if(freeBytes) *freeBytes = total;
  if(largestFree) *largestFree = largest;
  return true;
}

bool InitFloatingPoint()
{
  bool ok = fesetenv(FE_DFL_ENV) == 0;
#if defined(__GLIBC__)
  ok = fedisableexcept(FE_ALL_EXCEPT) != -1 && ok;
#endif
  ok = feclearexcept(FE_ALL_EXCEPT) == 0 && ok;
  ok = fesetround(FE_TONEAREST) == 0 && ok;
  return ok;
}
}
