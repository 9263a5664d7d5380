#pragma once
// Threads, recursive locks, events and sleeping over pthreads.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <string>

namespace plat
{
// Every thread gets at least this much stack: log lines, image decoding and stack
// traces of fatal errors need the room.
constexpr size_t kMinThreadStack = 256 * 1024;
// Timeout value of Event::Wait that waits without limit.
constexpr uint32_t kWaitInfinite = 0xffffffffu;

using ThreadFunction = void (*)(void *user);

// A thread with an explicit stack size, a name and a priority. Join (or the destructor)
// waits for its function to return.
class Thread
{
public:
  Thread() = default;
  ~Thread();
  Thread(const Thread &) = delete;
  Thread &operator=(const Thread &) = delete;

  // Starts function(user) on a new thread. stackSize 0 takes the system's default; any
  // other size below kMinThreadStack is raised to it. The name is cut to the 15 bytes
  // the kernel keeps. priority > 0 asks for time-critical scheduling, < 0 for a little
  // below normal, 0 leaves it; a priority the system refuses is skipped (see
  // PriorityApplied). Returns false with a reason in error when no thread could start.
  bool Start(ThreadFunction function, void *user, size_t stackSize, const char *name, int priority,
             std::string *error = nullptr);
  // Waits for the thread's function to return. Returns false when nothing is running
  // (never started, already joined) or on a join from the thread itself.
  bool Join();

  bool Started() const { return Running; }
  // The kernel's id of the thread (valid once Start returned true).
  uint32_t Id() const { return Tid; }
  // The usable stack size the thread was given (0 when the system default was taken).
  size_t StackSize() const { return Stack; }
  // Whether the requested priority could be set.
  bool PriorityApplied() const { return PriorityOk; }

private:
  pthread_t Handle{};
  bool Running = false;
  uint32_t Tid = 0;
  size_t Stack = 0;
  bool PriorityOk = true;
};

// The kernel's id of the calling thread.
uint32_t CurrentThreadId();
// Names the calling thread (cut to 15 bytes).
void SetCurrentThreadName(const char *name);
std::string CurrentThreadName();
// Best effort, never failing: returns whether the system took the priority.
bool SetCurrentThreadPriority(int priority);

// Sleeps at least the given number of milliseconds.
void SleepMs(uint32_t ms);

// A lock that the thread holding it may enter again; each Enter needs its Leave.
class RecursiveLock
{
public:
  void Enter() { M.lock(); }
  // true when entered
  bool TryEnter() { return M.try_lock(); }
  void Leave() { M.unlock(); }

private:
  std::recursive_mutex M;
};

// An event, initially not signalled. Auto-reset: Set releases one waiter (or the next
// one to come) and the event becomes unsignalled again. Manual-reset: Set releases
// every waiter and stays signalled until Reset.
class Event
{
public:
  explicit Event(bool manualReset) : Manual(manualReset) {}
  void Set();
  void Reset();
  // Waits at most timeoutMs (kWaitInfinite: no limit); true when signalled.
  bool Wait(uint32_t timeoutMs);
  bool IsManualReset() const { return Manual; }

private:
  std::mutex M;
  std::condition_variable Cv;
  bool Signalled = false;
  const bool Manual;
};
}
