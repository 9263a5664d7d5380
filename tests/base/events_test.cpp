#include "common/check.hpp"
#include "base/app.hpp"
#include "base/input.hpp"
#include "base/log.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace
{
sInput2Event Event(sU32 key, sU32 time)
{
  sInput2Event e;
  e.Key = key;
  e.Timestamp = time;
  return e;
}
}

TEST(EventQueue, KeepsTheFirst64AndDropsThe65th)
{
  auto q = std::make_unique<sInput2EventQueue>();
  EXPECT_TRUE(q->IsEmpty());
  for(sU32 i = 0; i < 64; i++) EXPECT_TRUE(q->Put(Event(i, 0)));
  EXPECT_FALSE(q->Put(Event(64, 0)));
  sInput2Event e;
  for(sU32 i = 0; i < 64; i++)
  {
    ASSERT_TRUE(q->Get(e));
    EXPECT_EQ(e.Key, i);
  }
  EXPECT_FALSE(q->Get(e));
  // room again once read
  EXPECT_TRUE(q->Put(Event(99, 0)));
  EXPECT_EQ(q->Peek().Key, 99u);
}

TEST(EventQueue, TimeStampsAcrossTheClockWrap)
{
  auto q = std::make_unique<sInput2EventQueue>();
  const sU32 beforeWrap = 0xfffffff0u;
  q->Put(Event(1, beforeWrap));
  q->Put(Event(2, 0x10));   // 32 ms later, after the clock wrapped
  sInput2Event e;
  // an event from before the wrap is due after it
  ASSERT_TRUE(q->GetDue(e, 0x05));
  EXPECT_EQ(e.Key, 1u);
  // one stamped after the wrap is not due just before it
  EXPECT_FALSE(q->GetDue(e, beforeWrap + 4));
  EXPECT_TRUE(q->GetDue(e, 0x10));
}

TEST(EventQueueDeathTest, PeekOnAnEmptyQueueIsFatal)
{
  EXPECT_EXIT({ sInput2EventQueue q; q.Peek(); }, testing::ExitedWithCode(1), kCheckFailed);
}

TEST(EventQueue, ProducersAndAConsumerOnDifferentThreads)
{
  auto q = std::make_unique<sInput2EventQueue>();
  struct Shared
  {
    sInput2EventQueue *Q;
    std::atomic<int> Dropped{0};
  } s{q.get()};
  std::vector<sU32> got;
  {
    auto produce = [](sThread *, void *user) {
      Shared *s = static_cast<Shared *>(user);
      for(sU32 i = 0; i < 2000; i++)
        if(!s->Q->Put(Event(i, 0))) s->Dropped++;
    };
    sThread a(produce, 0, 0, &s), b(produce, 0, 0, &s);
    sInput2Event e;
    int idle = 0;
    while(idle < 200)
    {
      if(q->Get(e))
      {
        got.push_back(e.Key);
        idle = 0;
      }
      else
      {
        idle++;
        sSleep(0);
      }
    }
  }
  sInput2Event e;
  while(q->Get(e)) got.push_back(e.Key);
  EXPECT_EQ(int(got.size()) + s.Dropped, 4000);
}

namespace
{
class FakeDevice : public sInput2Device
{
public:
  void Update(sU32, sBool) override {}
  sU32 GetStatus() override { return 0; }
  sU32 GetType() override { return sINPUT2_TYPE_MOUSE; }
  sU32 GetId() override { return 0; }
};
}

TEST(InputDevicesDeathTest, RegistryOverflowIsFatal)
{
  EXPECT_EXIT(
      {
        FakeDevice a;
        sSetInput2DeviceCapacity(1);
        sAddInput2Device(&a);
        sAddInput2Device(&a);
      },
      testing::ExitedWithCode(1), "Overflow! Alloc: 1 Used: 1 Added: 1");
}
