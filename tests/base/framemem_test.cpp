#include "common/check.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "common/capture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace
{
class FrameMemory : public testing::Test
{
protected:
  void SetUp() override { sPartitionMemory(256 * 1024, 0); }
  void TearDown() override
  {
    sPartitionMemory(0, 0);
    sSetFrameMemoryDoubleBuffered(0);
  }
};
}

TEST_F(FrameMemory, ThreadsTakeDisjointBlocks)
{
  sPartitionMemory(8 * 1024 * 1024, 0);
  struct Job
  {
    int Seed;
    std::vector<std::pair<sPtr, sPtr>> Ranges;
  };
  Job jobs[4] = {{1, {}}, {2, {}}, {3, {}}, {4, {}}};
  auto work = [](sThread *, void *user) {
    Job *j = static_cast<Job *>(user);
    for(int i = 0; i < 1000; i++)
    {
      sInt align = (i + j->Seed) % 3 == 0 ? 16 : 4;
      sPtr size = sPtr(8 + (i * 13 + j->Seed) % 300);
      sU8 *p = static_cast<sU8 *>(sAllocFrame(size, align));
      std::memset(p, j->Seed, size);
      j->Ranges.push_back({sPtr(p), sPtr(p) + size});
    }
  };
  {
    sThread a(work, 0, 0, &jobs[0]), b(work, 0, 0, &jobs[1]), c(work, 0, 0, &jobs[2]), d(work, 0, 0, &jobs[3]);
  }
  std::vector<std::pair<sPtr, sPtr>> all;
  for(Job &j : jobs)
  {
    for(auto &r : j.Ranges)
    {
      // nobody else wrote into this thread's blocks
      for(sPtr a = r.first; a < r.second; a++) ASSERT_EQ(*reinterpret_cast<sU8 *>(a), sU8(j.Seed));
      all.push_back(r);
    }
  }
  std::sort(all.begin(), all.end());
  for(size_t i = 1; i < all.size(); i++) ASSERT_LE(all[i - 1].second, all[i].first);
}

TEST(FrameMemoryDeathTest, MisuseIsFatal)
{
  EXPECT_EXIT(sAllocFrame(16, 16), testing::ExitedWithCode(1), "please use sPartitionMemory\\(\\) in sMain\\(\\)");
  struct Case { void (*Misuse)(); const char *Says; };
  const Case cases[] = {
    {[] { sAllocFrame(4000, 16), sAllocFrame(200, 16); }, "out of frame mem"},
    {[] { sAllocFrameBegin(10, 4), sAllocFrame(16, 16); }, "can't call sAllocFrame\\(\\) between sAllocFrameBegin"},
    {[] { sAllocFrameEnd(nullptr); }, "sAllocFrameEnd without sAllocFrameBegin"},
    {[] { sAllocFrameEnd(static_cast<sU8 *>(sAllocFrameBegin(10, 4)) + 11); }, kCheckFailed},
  };
  for(const Case &c : cases)
    EXPECT_EXIT((sPartitionMemory(4096, 0), c.Misuse()), testing::ExitedWithCode(1), c.Says);
}

TEST(MemoryArena, BumpsWithinChunksAndGivesBigRequestsTheirOwn)
{
  sS64 base = sAllocatedBytes.load();
  {
    sMemoryArena arena(1024, 1);
    sU8 *a = static_cast<sU8 *>(arena.Alloc(10, 1));
    sU8 *b = static_cast<sU8 *>(arena.Alloc(10, 1));
    EXPECT_EQ(b, a + 10);
    sU8 *c = static_cast<sU8 *>(arena.Alloc(8, 64));
    EXPECT_EQ(sPtr(c) % 64, 0u);

    // fill past the first chunk: a second one joins the chain
    std::vector<sU8 *> blocks;
    for(int i = 0; i < 40; i++)
    {
      sU8 *p = static_cast<sU8 *>(arena.Alloc(100, 4));
      std::memset(p, i, 100);
      blocks.push_back(p);
    }
    for(int i = 0; i < 40; i++) EXPECT_EQ(blocks[i][99], sU8(i));

    // above half the chunk size: a chunk of its own, the chain goes on after it
    sU8 *big = static_cast<sU8 *>(arena.Alloc(600, 16));
    std::memset(big, 0xab, 600);
    sU8 *next = static_cast<sU8 *>(arena.Alloc(4, 4));
    EXPECT_TRUE(next < big || next >= big + 600);

    arena.Reset();
    EXPECT_EQ(arena.Alloc(10, 1), a);
    EXPECT_GT(sAllocatedBytes.load(), base);
  }
  EXPECT_EQ(sAllocatedBytes.load(), base);
}
