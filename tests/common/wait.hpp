#pragma once
// Waiting for a condition another thread or device brings about: bounded generously, so a
// broken part fails the test instead of hanging it, and never a measure of speed.

#include <chrono>
#include <thread>

namespace sparktest
{
template <class F> bool WaitFor(F done, int seconds = 60)
{
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while(!done())
  {
    if(std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
}
