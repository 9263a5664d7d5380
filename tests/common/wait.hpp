#pragma once
// Waiting for a condition another thread or device brings about: bounded generously, so a
// broken part fails the test instead of hanging it, and never a measure of speed.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace sparktest
{
template <class F> bool WaitUntil(F done, std::chrono::steady_clock::time_point end)
{
  while(!done())
  {
    if(std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
template <class F> bool WaitFor(F done, int seconds = 60)
{
  return WaitUntil(done, std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
}

// For a call that might never return: ends the test program with a message naming the step
// when the watchdog's scope is not left within the time.
class Watchdog
{
  std::mutex Lock;
  std::condition_variable Left;
  bool Done = false;
  std::thread Thread;   // last: it uses the members above

public:
  explicit Watchdog(std::string step, int seconds = 60)
      : Thread([=, this] {
          std::unique_lock<std::mutex> lock(Lock);
          if(Left.wait_for(lock, std::chrono::seconds(seconds), [this] { return Done; })) return;
          std::fprintf(stderr, "%s: not done after %d s, the test program is ended\n", step.c_str(), seconds);
          std::abort();
        })
  {
  }
  ~Watchdog()
  {
    {
      std::lock_guard<std::mutex> guard(Lock);
      Done = true;
    }
    Left.notify_all();
    Thread.join();
  }
};
}
