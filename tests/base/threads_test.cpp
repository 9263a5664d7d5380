#include "base/app.hpp"
#include "base/system.hpp"
#include "common/capture.hpp"
#include "platform/threads/threads.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
// Static initialisers of other files may run before those of the thread code (memory
// handlers ask for the context while they are made): the main thread must get its own
// block then too, not one made for a foreign thread.
sThreadContext *const ContextDuringStaticInit = sGetThreadContext();
const bool ForeignDuringStaticInit = ContextDuringStaticInit->Foreign != 0;
}

TEST(ThreadContext, MainThreadIsKnownDuringStaticInitialisation)
{
  EXPECT_FALSE(ForeignDuringStaticInit);
  EXPECT_EQ(ContextDuringStaticInit, sGetThreadContext());
  EXPECT_FALSE(sGetThreadContext()->Foreign);
}

TEST(ThreadContext, ForeignThreadsGetABlockOfTheirOwn)
{
  sThreadContext *main = sGetThreadContext();
  std::vector<sThreadContext *> seen(4);
  std::vector<std::u16string> names(4);
  std::vector<std::thread> threads;
  std::atomic<int> ready{0};
  for(int i = 0; i < 4; i++)
    threads.emplace_back([&, i] {
      sThreadContext *tx = sGetThreadContext();
      EXPECT_EQ(sGetThreadContext(), tx);   // the same block on every call
      EXPECT_TRUE(tx->Foreign);
      // the scratch buffer and the pending source are the thread's own
      sSetAllocSource("foreign.cpp", 100 + i);
      sSetThreadName(i == 0 ? u"Decoder" : u"Other");
      seen[i] = tx;
      names[i] = tx->ThreadName;
      ready++;
      while(ready < 4) std::this_thread::yield();   // all alive at once: no reuse of blocks
      tx->AllocFile = nullptr;
    });
  for(std::thread &t : threads) t.join();
  std::set<sThreadContext *> distinct(seen.begin(), seen.end());
  EXPECT_EQ(distinct.size(), 4u);
  EXPECT_EQ(distinct.count(main), 0u);
  EXPECT_EQ(names[0], u"Decoder");
  // the main thread's block was not touched
  EXPECT_EQ(main->AllocFile, nullptr);
  EXPECT_EQ(sGetThreadContext(), main);
}

TEST(ThreadLock, GuardsACounterUnderContention)
{
  sThreadLock lock;
  int value = 0;
  struct Job
  {
    sThreadLock *Lock;
    int *Value;
  } job = {&lock, &value};
  auto add = [](sThread *, void *user) {
    Job *j = static_cast<Job *>(user);
    for(int i = 0; i < 10000; i++)
    {
      sScopeLock l(j->Lock);
      sScopeLock again(j->Lock);   // the holder may take it again
      ++*j->Value;
    }
  };
  {
    sThread a(add, 0, 0, &job), b(add, 0, 0, &job), c(add, 0, 0, &job);
  }
  EXPECT_EQ(value, 30000);
}

TEST(DebugOutput, LinesOfManyThreadsStayWhole)
{
  sparktest::DebugCapture out;
  auto print = [](sThread *, void *) {
    for(int i = 0; i < 200; i++) sDPrintF(u"%s %d\n", u"abcdefghijklmnopqrstuvwxyz", i);
  };
  {
    sThread a(print), b(print), c(print);
  }
  std::thread foreign([] {
    for(int i = 0; i < 200; i++) sDPrintF(u"%s %d\n", u"abcdefghijklmnopqrstuvwxyz", i);
  });
  foreign.join();
  out.Stop();
  std::string text = out.Text();
  int lines = 0;
  size_t pos = 0;
  while(pos < text.size())
  {
    size_t nl = text.find('\n', pos);
    ASSERT_NE(nl, std::string::npos);
    std::string line = text.substr(pos, nl - pos);
    EXPECT_EQ(line.rfind("abcdefghijklmnopqrstuvwxyz ", 0), 0u) << line;
    lines++;
    pos = nl + 1;
  }
  EXPECT_EQ(lines, 800);
}

TEST(DebugOutput, HooksComeAndGoWhileThreadsPrint)
{
  sparktest::DebugCapture out;
  auto print = [](sThread *t, void *) {
    while(!t->CheckTerminate()) sDPrint(u"tick\n");
  };
  {
    sThread a(print), b(print);
    for(int i = 0; i < 50; i++)
    {
      sCreateFrameworkHooks();
      sDeleteFrameworkHooks();
    }
  }
  EXPECT_EQ(sDebugOutputHook.load(), nullptr);
}
