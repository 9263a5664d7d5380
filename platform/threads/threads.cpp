// Threads over pthreads. Each thread gets a name, its priority and an alternate signal
// stack of its own, so that a fatal signal (a stack overflow too) can still be reported
// from any thread.

#include "platform/threads/threads.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <link.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace plat
{
namespace
{
// room for the report of a fatal signal (symbol lookup runs on it); only touched pages
// take memory
constexpr size_t kSignalStack = 512 * 1024;

struct StartBlock
{
  ThreadFunction Function;
  void *User;
  int Priority;
  char Name[16] = {};
  std::mutex M;
  std::condition_variable Cv;
  bool Ready = false;
  uint32_t Tid = 0;
  bool PriorityOk = true;
};

size_t PageSize()
{
  long p = sysconf(_SC_PAGESIZE);
  return p > 0 ? size_t(p) : 4096;
}

// glibc carves the static thread-local blocks of every loaded module (and the thread
// descriptor) out of the stack it is given; a sanitizer's runtime alone may take most
// of a megabyte. Added to each requested size so the thread gets the room it asked for.
size_t StaticTlsSize()
{
  static const size_t size = [] {
    size_t total = 0;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
          for(int i = 0; i < info->dlpi_phnum; i++)
            if(info->dlpi_phdr[i].p_type == PT_TLS)
            {
              size_t align = info->dlpi_phdr[i].p_align ? info->dlpi_phdr[i].p_align : 1;
              *static_cast<size_t *>(data) += (info->dlpi_phdr[i].p_memsz + align - 1) / align * align;
            }
          return 0;
        },
        &total);
    return total + 16 * 1024;
  }();
  return size;
}

// Gives the calling thread its own alternate signal stack; returns it for release.
void *InstallSignalStack()
{
  void *mem = mmap(nullptr, kSignalStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if(mem == MAP_FAILED) return nullptr;
  stack_t ss{};
  ss.ss_sp = mem;
  ss.ss_size = kSignalStack;
  if(sigaltstack(&ss, nullptr) != 0)
  {
    munmap(mem, kSignalStack);
    return nullptr;
  }
  return mem;
}

void ReleaseSignalStack(void *mem)
{
  if(!mem) return;
  stack_t ss{};
  ss.ss_flags = SS_DISABLE;
  sigaltstack(&ss, nullptr);
  munmap(mem, kSignalStack);
}

void *ThreadEntry(void *arg)
{
  StartBlock *block = static_cast<StartBlock *>(arg);
  ThreadFunction function = block->Function;
  void *user = block->User;
  if(block->Name[0]) pthread_setname_np(pthread_self(), block->Name);
  bool priorityOk = SetCurrentThreadPriority(block->Priority);
  {
    std::lock_guard<std::mutex> lock(block->M);
    block->Tid = CurrentThreadId();
    block->PriorityOk = priorityOk;
    block->Ready = true;
    block->Cv.notify_one();
  }
  // the block lives on the starting thread's stack: not touched after this point
  void *signalStack = InstallSignalStack();
  function(user);
  ReleaseSignalStack(signalStack);
  return nullptr;
}
}

Thread::~Thread()
{
  Join();
}

bool Thread::Start(ThreadFunction function, void *user, size_t stackSize, const char *name, int priority,
                   std::string *error)
{
  if(Running)
  {
    if(error) *error = "thread already started";
    return false;
  }
  if(!function)
  {
    if(error) *error = "no thread function";
    return false;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  Stack = 0;
  if(stackSize)
  {
    size_t page = PageSize();
    size_t size = std::max(stackSize, kMinThreadStack);
    size = (size + page - 1) / page * page;
    int r = pthread_attr_setstacksize(&attr, size + (StaticTlsSize() + page - 1) / page * page);
    if(r != 0)
    {
      pthread_attr_destroy(&attr);
      if(error) *error = std::string("stack size refused: ") + strerror(r);
      return false;
    }
    Stack = size;
  }

  StartBlock block;
  block.Function = function;
  block.User = user;
  block.Priority = priority;
  if(name) strncpy(block.Name, name, 15);
  int r = pthread_create(&Handle, &attr, ThreadEntry, &block);
  pthread_attr_destroy(&attr);
  if(r != 0)
  {
    if(error) *error = std::string("pthread_create failed: ") + strerror(r);
    Stack = 0;
    return false;
  }
  Running = true;
  std::unique_lock<std::mutex> lock(block.M);
  block.Cv.wait(lock, [&] { return block.Ready; });
  Tid = block.Tid;
  PriorityOk = block.PriorityOk;
  return true;
}

bool Thread::Join()
{
  if(!Running) return false;
  if(pthread_equal(Handle, pthread_self())) return false;
  pthread_join(Handle, nullptr);
  Running = false;
  return true;
}

uint32_t CurrentThreadId()
{
  return uint32_t(syscall(SYS_gettid));
}

void SetCurrentThreadName(const char *name)
{
  char cut[16] = {};
  if(name) strncpy(cut, name, 15);
  pthread_setname_np(pthread_self(), cut);
}

std::string CurrentThreadName()
{
  char name[32] = {};
  if(pthread_getname_np(pthread_self(), name, sizeof(name)) != 0) return std::string();
  return name;
}

bool SetCurrentThreadPriority(int priority)
{
  if(priority == 0) return true;
  pid_t tid = pid_t(syscall(SYS_gettid));
  if(priority > 0)
  {
    // real-time round robin needs a privilege most users lack; a raised nice value
    // needs one too. Either may be refused.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    if(pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0) return true;
    return setpriority(PRIO_PROCESS, id_t(tid), -10) == 0;
  }
  errno = 0;
  int now = getpriority(PRIO_PROCESS, id_t(tid));
  if(now == -1 && errno != 0) return false;
  return setpriority(PRIO_PROCESS, id_t(tid), std::min(now + 1, 19)) == 0;
}

void SleepMs(uint32_t ms)
{
  timespec ts;
  ts.tv_sec = time_t(ms / 1000);
  ts.tv_nsec = long(ms % 1000) * 1000000L;
  while(nanosleep(&ts, &ts) != 0 && errno == EINTR)
  {
  }
}

void Event::Set()
{
  std::lock_guard<std::mutex> lock(M);
  Signalled = true;
  if(Manual) Cv.notify_all();
  else Cv.notify_one();
}

void Event::Reset()
{
  std::lock_guard<std::mutex> lock(M);
  Signalled = false;
}

bool Event::Wait(uint32_t timeoutMs)
{
  std::unique_lock<std::mutex> lock(M);
  if(timeoutMs == kWaitInfinite)
    Cv.wait(lock, [&] { return Signalled; });
  else if(!Cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return Signalled; }))
    return false;
  if(!Manual) Signalled = false;
  return true;
}
}
