#include "platform/threads/threads.hpp"

#include <gtest/gtest.h>

#include <alloca.h>
#include <pthread.h>
#include <atomic>
#include <vector>

namespace
{
// Touches `bytes` of stack so that a too small stack faults.
__attribute__((noinline)) int UseStack(size_t bytes)
{
  volatile char *buffer = static_cast<volatile char *>(alloca(bytes));
  size_t n = bytes;
  for(size_t i = 0; i < n; i += 512) buffer[i] = char(i);
  int sum = 0;
  for(size_t i = 0; i < n; i += 512) sum += buffer[i];
  return sum;
}

struct StackProbe
{
  size_t Use;
  std::atomic<int> Done{0};
  size_t ActualStack = 0;
};

void StackThread(void *user)
{
  auto *p = static_cast<StackProbe *>(user);
  pthread_attr_t attr;
  if(pthread_getattr_np(pthread_self(), &attr) == 0)
  {
    pthread_attr_getstacksize(&attr, &p->ActualStack);
    pthread_attr_destroy(&attr);
  }
  UseStack(p->Use);
  p->Done.store(1);
}
}

TEST(Thread, SmallStackRequestIsRaisedSoDeepFramesRun)
{
  StackProbe probe;
  probe.Use = 200 * 1024;
  plat::Thread t;
  std::string error;
  ASSERT_TRUE(t.Start(StackThread, &probe, 16 * 1024, "stacky", 0, &error)) << error;
  EXPECT_EQ(t.StackSize(), plat::kMinThreadStack);
  EXPECT_TRUE(t.Join());
  EXPECT_EQ(probe.Done.load(), 1);
  EXPECT_GE(probe.ActualStack, plat::kMinThreadStack);
}

namespace
{
struct Waiters
{
  plat::Event *E;
  uint32_t Timeout;
  std::atomic<int> Woken{0};
  std::atomic<int> Ended{0};
};
void WaitOnce(void *u)
{
  auto *w = static_cast<Waiters *>(u);
  if(w->E->Wait(w->Timeout)) w->Woken.fetch_add(1);
  w->Ended.fetch_add(1);
}
}

// Each set releases one waiter: three sets for three waiters leave the event unsignalled.
// Had one set released two, the last set would find no waiter and stay signalled.
TEST(Event, AutoResetReleasesExactlyOneWaiter)
{
  plat::Event e(false);
  Waiters w{&e, plat::kWaitInfinite};
  std::vector<plat::Thread> threads(3);
  for(auto &t : threads) ASSERT_TRUE(t.Start(WaitOnce, &w, 0, "waiter", 0));
  for(int woken = 1; woken <= 3; woken++)
  {
    e.Set();
    for(int i = 0; i < 60000 && w.Woken.load() < woken; i++) plat::SleepMs(1);
    ASSERT_GE(w.Woken.load(), woken);
  }
  for(auto &t : threads) t.Join();
  EXPECT_EQ(w.Woken.load(), 3);
  EXPECT_FALSE(e.Wait(0));
}

TEST(Event, PingPongBetweenTwoThreads)
{
  struct Ping { plat::Event A{false}, B{false}; int Value = 0; } ping;
  auto other = [](void *u) {
    auto *p = static_cast<Ping *>(u);
    for(int i = 0; i < 200; i++)
    {
      p->A.Wait(plat::kWaitInfinite);
      p->Value++;
      p->B.Set();
    }
  };
  plat::Thread t;
  ASSERT_TRUE(t.Start(other, &ping, 0, "pong", 0));
  for(int i = 0; i < 200; i++)
  {
    ping.A.Set();
    ASSERT_TRUE(ping.B.Wait(plat::kWaitInfinite));
    ASSERT_EQ(ping.Value, i + 1);
  }
  t.Join();
}
