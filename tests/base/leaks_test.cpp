#include "base/leaktracker.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "common/capture.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>

TEST(LeakDescription, IsPerThread)
{
  sPushMemLeakDesc(u"main");
  std::u16string seen;
  {
    sThread t([](sThread *, void *user) { *static_cast<std::u16string *>(user) = sGetMemLeakDesc(); }, 0, 0, &seen);
  }
  EXPECT_EQ(seen, u"");
  sPopMemLeakDesc();
}

namespace
{
// The children below stop the memory of the test program and start it again with the
// tracker, as the main routine does.
void StartTrackedMemory()
{
  sExitMemorySystem();
  sInstallLeakTracker();
  sInitMemorySystem();
}

struct Block
{
  char Bytes[100];
};

const int LeakLine = __LINE__ + 5;
[[noreturn]] void LeakOnPurpose()
{
  StartTrackedMemory();
  sPushMemLeakDesc(u"LeakTest");
  Block *leak = sNEW Block;
  sPopMemLeakDesc();
  sPushMemLeakDesc(u"OtherLeak");
  sSetAllocSource("other.cpp", 9);
  void *small = sMemAlloc(20, 16, 0);
  sPopMemLeakDesc();
  (void)leak;
  (void)small;
  sExitMemorySystem();
  _exit(0);
}

}

TEST(LeakTrackerDeathTest, DeliberateLeakPrintsTheBannerAndItsSource)
{
  std::string pattern = "Memory Leak Detected\\.[^\n]*\n[^\n]*\n[^\n]*\n"
                        "[^\n]*\"memory leaks\": \\(2 leaks in 120 Bytes total\\)\n"
                        "[^\n]*leaks_test\\.cpp\\(" +
                        std::to_string(LeakLine) +
                        "\\): +100 bytes in +1 chunks +100 avg group 1  id:[0-9]+ first bytes: 100 \\(00000064\\)\n"
                        "other\\.cpp\\(9\\): +20 bytes in +1 chunks +20 avg group 1  id:[0-9]+ first bytes: 20 \\(00000014\\)\n"
                        "\n.*Memory usage by description:\n"
                        "LeakTest +: +100 bytes in +1 chunks +100 avg\n"
                        "OtherLeak +: +20 bytes in +1 chunks +20 avg\n"
                        ".*[0-9]+ bytes leaked";
  EXPECT_EXIT(LeakOnPurpose(), testing::ExitedWithCode(0), pattern);
}

namespace
{
[[noreturn]] void ReportFromANumber()
{
  StartTrackedMemory();
  sInt baseLive = sGetLeakTrackerLiveCount();   // what memory start-up itself keeps
  void *early = sMemAlloc(500, 16, 0);
  sU64 first = sGetAllocCounter();
  void *blocks[3];
  for(int i = 0; i < 3; i++)
  {
    sSetAllocSource("loop.cpp", 10);
    blocks[i] = sMemAlloc(64, 16, 0);
  }
  sSetAllocSource("single.cpp", 20);
  void *single = sMemAlloc(400, 16, 0);
  sMemFree(blocks[1]);
  sReportMemLeaks(u"since", first, 0);
  sReportMemLeaks(u"type 5", first, 5);
  for(void *p : {early, blocks[0], blocks[2], single}) sMemFree(p);
  bool none = sGetLeakTrackerLiveCount() == baseLive;
  // a block the tracker never saw is reported when it is freed
  sMemFree(sMemAlloc(16, 16, sAMF_NOLEAK));
  sExitMemorySystem();
  _exit(none ? 0 : 2);
}
}

TEST(LeakTrackerDeathTest, ReportGroupsBySourceLargestFirst)
{
  EXPECT_EXIT(ReportFromANumber(), testing::ExitedWithCode(0),
              "\"since\": \\(3 leaks in 528 Bytes total\\)\n"
              "single\\.cpp\\(20\\): +400 bytes in +1 chunks +400 avg[^\n]*\n"
              "loop\\.cpp\\(10\\): +128 bytes in +2 chunks +64 avg[^\n]*first bytes: 64 \\(00000040\\)\n"
              "\n[^\n]*Memory usage by description:\n[^\n]*\\(warning: this list is incomplete\\)\n"
              "[^\n]*\"type 5\": \\(0 leaks in 0 Bytes total\\)\n"
              ".*warning: delete without new: 0x[0-9a-f]+\\. may happen inside leaktracker\n");
}

namespace
{
[[noreturn]] void ThreadsAllocateUnderTheTracker()
{
  StartTrackedMemory();
  sGetMemoryHandler(1)->MakeThreadSafe();
  sInt baseLive = sGetLeakTrackerLiveCount();
  auto work = [](sThread *, void *) {
    sPushMemLeakDesc(u"Worker");
    void *keep[16] = {};
    for(int i = 0; i < 2000; i++)
    {
      int slot = i % 16;
      sMemFree(keep[slot]);
      sSetAllocSource(__FILE__, __LINE__);
      keep[slot] = sMemAlloc(16 + i % 200, 16, 0);
    }
    for(void *p : keep) sMemFree(p);
    sPopMemLeakDesc();
  };
  {
    sThread a(work), b(work), c(work), d(work);
  }
  std::thread foreign([] {
    void *p = sMemAlloc(32, 16, 0);
    sMemFree(p);
  });
  foreign.join();
  bool none = sGetLeakTrackerLiveCount() == baseLive;
  sExitMemorySystem();
  _exit(none ? 0 : 2);
}
}

TEST(LeakTrackerDeathTest, ThreadsAllocateUnderTheTracker)
{
  EXPECT_EXIT(ThreadsAllocateUnderTheTracker(), testing::ExitedWithCode(0), "");
}
