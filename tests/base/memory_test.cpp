// Memory handlers, the heap, the runtime heap and the allocation entry points.
#include "common/capture.hpp"
#include "common/check.hpp"
#include "base/app.hpp"
#include "base/framemem.hpp"
#include "base/leaktracker.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{
// A heap over memory of its own, 4096-aligned so addresses are known relative to it.
struct TestHeap
{
  sU8 *Memory;
  sMemoryHeap Heap;
  explicit TestHeap(sPtr size = 0x1000)
  {
    Memory = static_cast<sU8 *>(std::aligned_alloc(4096, (size + 4095) & ~sPtr(4095)));
    Heap.Init(Memory, size);
  }
  ~TestHeap() { std::free(Memory); }
};

// Registers a handler for the length of a scope.
struct Registered
{
  sInt Slot;
  Registered(sInt slot, sMemoryHandler *h) : Slot(slot) { sRegisterMemoryHandler(slot, h); }
  ~Registered() { sUnregisterMemoryHandler(Slot); }
};

// Two blocks with the first given back: the free list has two nodes.
void FirstOfTwoFreed(TestHeap &t)
{
  void *a = t.Heap.Alloc(10, 16, 0);
  t.Heap.Alloc(10, 16, 0);
  t.Heap.Free(a);
}
}

TEST(MemoryHeap, RandomWorkloadKeepsTheHeapConsistent)
{
  TestHeap t(0x40000);
  const sPtr total = t.Heap.GetFree();
  const sS64 bytes0 = sAllocatedBytes.load();
  struct Block { sU8 *P; sPtr Size; sU8 Tag; };
  std::vector<Block> live;
  sU32 state = 99;
  auto next = [&](sU32 n) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % n;
  };
  for(int step = 0; step < 6000; step++)
  {
    if(live.empty() || next(100) < 55)
    {
      sPtr size = 1 + next(next(4) == 0 ? 3000 : 200);
      sInt align = next(8) == 0 ? 128 << next(3) : 16;
      sInt flags = next(4) == 0 ? sAMF_ALT : 0;
      sU8 *p = static_cast<sU8 *>(t.Heap.Alloc(size, align, flags));
      if(!p) continue;
      ASSERT_EQ(sPtr(p) % sPtr(std::max(align, 32)), 0u);
      ASSERT_GE(sPtr(p) - 8, t.Heap.Start);
      ASSERT_LE(sPtr(p) + size, t.Heap.End);
      sU8 tag = sU8(step);
      std::memset(p, tag, size);
      live.push_back({p, size, tag});
    }
    else
    {
      size_t i = next(sU32(live.size()));
      Block b = live[i];
      for(sPtr k = 0; k < b.Size; k++) ASSERT_EQ(b.P[k], b.Tag) << "block overwritten";
      ASSERT_EQ(t.Heap.MemSize(b.P), b.Size);
      t.Heap.Free(b.P);
      live[i] = live.back();
      live.pop_back();
    }
    if(step % 97 == 0) t.Heap.Validate();
  }
  for(const Block &b : live) t.Heap.Free(b.P);
  EXPECT_EQ(t.Heap.GetFree(), total);
  EXPECT_EQ(t.Heap.CountFreeNodes(), 1);
  EXPECT_EQ(sAllocatedBytes.load(), bytes0);
  t.Heap.Validate();
}

TEST(MemoryHeapDeathTest, CorruptionIsFatal)
{
  // each fault in the free list is named before the heap gives up
  struct Case { void (*Break)(TestHeap &); const char *Says; };
  const Case cases[] = {
    {[](TestHeap &t) { t.Heap.Head.Next->Size = 8; },
     "invalid free node size! [0-9a-f]+ for 00000008\n(.|\n)*00000008 free, 00000fe0 expected"},
    {[](TestHeap &t) { t.Heap.FreeBytes += 32; }, "00000fe0 free, 00001000 expected"},
    {[](TestHeap &t) {
       FirstOfTwoFreed(t);
       t.Heap.Head.Next->Next->Prev = nullptr;   // the back link of the second node
     },
     "linked list broken"},
    {[](TestHeap &t) {
       FirstOfTwoFreed(t);
       t.Heap.Head.Next->Size += 32;   // now it touches the next node
       t.Heap.FreeBytes += 32;
     }, "nodes not merged! [0-9a-f]+\\.\\.[0-9a-f]+\n"},
    {[](TestHeap &t) {
       FirstOfTwoFreed(t);
       t.Heap.Head.Next->Size += 64;   // now it overlaps the next node
       t.Heap.FreeBytes += 64;
     }, "nodes not sorted!"},
  };
  for(const Case &c : cases)
    EXPECT_EXIT(
      {
        TestHeap t;
        c.Break(t);
        t.Heap.Validate();
      },
      testing::ExitedWithCode(1), std::string(c.Says) + "(.|\n)*heap corrupted");
}

TEST(MemoryHeapDeathTest, BadRequestsAndFreesAreFatal)
{
  TestHeap t;
  EXPECT_EXIT(t.Heap.Alloc(~sPtr(0) - 20, 16, 0), testing::ExitedWithCode(1), kCheckFailed);
  sU8 *p = static_cast<sU8 *>(t.Heap.Alloc(64, 16, 0));
  EXPECT_EXIT(t.Heap.Free(p + 16), testing::ExitedWithCode(1), "Assertion failed");   // not a block start
  EXPECT_EXIT(
    {
      *reinterpret_cast<sPtr *>(p - 8) = 0x100000;   // a header that reaches past the end
      t.Heap.Free(p);
    },
    testing::ExitedWithCode(1), kCheckFailed);
  t.Heap.Free(p);
}

/****************************************************************************/

TEST(MemoryRegistry, ADestroyedHandlerLeavesItsSlot)
{
  {
    TestHeap t;
    sRegisterMemoryHandler(7, &t.Heap);
    EXPECT_EQ(sGetMemoryHandler(7), &t.Heap);
  }
  EXPECT_EQ(sGetMemoryHandler(7), nullptr);
  // the runtime heap still serves its type
  void *p = sMemAlloc(64, 16, 1);
  ASSERT_NE(p, nullptr);
  sMemFree(p);
}

TEST(MemoryRegistry, ThreadSafeHandlerServesManyThreads)
{
  TestHeap t(0x100000);
  t.Heap.MakeThreadSafe();
  Registered reg(8, &t.Heap);
  sU64 n0 = sGetAllocCounter();
  constexpr int Threads = 4, Rounds = 2000;
  std::vector<std::thread> threads;
  for(int i = 0; i < Threads; i++)
    threads.emplace_back([i] {
      std::vector<void *> mine;
      for(int k = 0; k < Rounds; k++)
      {
        sSetAllocSource(__FILE__, __LINE__);
        void *p = sMemAlloc(16 + (k * 7 + i) % 300, 16, 8);
        std::memset(p, i, 16);
        mine.push_back(p);
        if(mine.size() > 20)
        {
          sMemFree(mine.front());
          mine.erase(mine.begin());
        }
      }
      for(void *p : mine) sMemFree(p);
    });
  for(std::thread &th : threads) th.join();
  EXPECT_EQ(sGetAllocCounter() - n0, sU64(Threads * Rounds));   // no lost increments
  t.Heap.Validate();
  EXPECT_EQ(t.Heap.CountFreeNodes(), 1);
}

TEST(MemoryRegistry, MemoryHookKeepsItsCallbacks)
{
  ASSERT_NE(sGetMemoryHook(), nullptr);
  static sDInt seen = 0;
  int user = 0;
  auto cb = [](sDInt value, void *u) { seen = value + (u ? 1 : 0); };
  sAddMemoryHook(cb, &user);
  sGetMemoryHook()->Call(41);
  EXPECT_EQ(seen, 42);
  sGetMemoryHook()->Rem(static_cast<sMemoryHookFunc>(cb), nullptr);
  sGetMemoryHook()->Call(1);
  EXPECT_EQ(seen, 42);
}

TEST(MemoryRegistryDeathTest, MisuseIsFatal)
{
  EXPECT_EXIT(
    {
      TestHeap t;
      sRegisterMemoryHandler(5, &t.Heap);
      sRegisterMemoryHandler(5, &t.Heap);
    },
    testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sMemAlloc(16, 16, 13), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT((sPushMemType(1), sPopMemType(2)), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sPopMemType(1), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({ for(int i = 0; i < 16; i++) sPushMemType(1); }, testing::ExitedWithCode(1), kCheckFailed);
}

TEST(MemoryRegistryDeathTest, OtherThreadsMayNotUseAnOwnedHandler)
{
  EXPECT_EXIT(
    {
      TestHeap t;
      sRegisterMemoryHandler(6, &t.Heap);
      std::thread th([] { sMemAlloc(32, 16, 6); });
      th.join();
    },
    testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
    {
      TestHeap t;
      sRegisterMemoryHandler(6, &t.Heap);
      void *p = sMemAlloc(32, 16, 6);
      std::thread th([p] { sMemFree(p); });
      th.join();
    },
    testing::ExitedWithCode(1), kCheckFailed);
}

TEST(MemoryRegistryDeathTest, ForeignPointerIsFatal)
{
  EXPECT_EXIT(
    {
      sUnregisterMemoryHandler(1);   // no handler without a range is left
      sMemFree(reinterpret_cast<void *>(0x12345678));
    },
    testing::ExitedWithCode(1), "pointer 12345678 seems not to belong to any sMemoryHandler");
}

/****************************************************************************/

namespace
{
struct ExitCase
{
  bool Leak;          // a block is still held at memory shut-down
  bool FrameMemory;   // frame and DMA memory are partitioned and left for shut-down to free
  bool TrackerOff;    // the tracker is installed, but the memory flags keep it from starting
};

// Runs in a child process: memory is stopped and started again there, with or without a
// block left over at its end; exits with 0 when the report says so.
[[noreturn]] void ExitWithOrWithoutALeak(ExitCase c)
{
  sparktest::DebugCapture out;
  sExitMemorySystem();
  if(c.TrackerOff)
  {
    sInstallLeakTracker();
    sSetMemoryFlags(sMSF_NOLEAKTRACKER);
  }
  sInitMemorySystem();
  bool tracking = sIsMemTrackerOn() || out.Has("initialize memory leak tracker");
  if(c.FrameMemory) sPartitionMemory(64 * 1024, 8192);
  void *block = sMemAlloc(100, 16, 0);
  if(!c.Leak) sMemFree(block);
  sExitMemorySystem();
  if(c.Leak) sMemFree(block);   // a static object ending after memory shut-down: no fatal error
  bool banner = out.Has("Memory Leak Detected."), bytes = out.Has(" bytes leaked\n");
  std::exit(banner == c.Leak && bytes == c.Leak && !tracking && sGetMemoryHandler(1) == nullptr && !sIsMemorySystemRunning() ? 0 : 2);
}
}

namespace
{
// An object of the program made before main: it ends after everything main made, the
// runtime heap handler among them, and still gives its block back then.
struct HeldUntilExit
{
  void *Block = nullptr;
  ~HeldUntilExit()
  {
    if(!Block) return;
    sMemFree(Block);
    std::fputs("block given back at exit\n", stderr);
  }
} HeldBlock;

[[noreturn]] void ExitWhileMemoryRuns()
{
  HeldBlock.Block = sMemAlloc(100, 16, 0);
  std::exit(0);
}
}

TEST(MemorySystemDeathTest, NormalExitWhileMemoryRuns)
{
  // the main memory is thread-safe here, as in the program: its lock goes away too
  ASSERT_TRUE(sGetMemoryHandler(1)->ThreadSafe);
  EXPECT_EXIT(ExitWhileMemoryRuns(), testing::ExitedWithCode(0), "block given back at exit\n");
}

TEST(MemorySystemDeathTest, ExitReportsBytesStillHeld)
{
  const ExitCase cases[] = {
    {true, false, false},
    {false, false, false},
    {false, true, false},
    {true, false, true},
  };
  for(const ExitCase &c : cases)
  {
    SCOPED_TRACE(testing::Message() << "leak " << c.Leak << ", frame memory " << c.FrameMemory << ", tracker off " << c.TrackerOff);
    EXPECT_EXIT(ExitWithOrWithoutALeak(c), testing::ExitedWithCode(0), "");
  }
}
