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
struct Counter
{
  std::atomic<int> Loops{0};
  std::atomic<bool> SawStop{false};
  sThreadContext *Context = nullptr;
  std::u16string Name;
  sU32 Id = 0;
};

void CountUntilStopped(sThread *t, void *user)
{
  Counter *c = static_cast<Counter *>(user);
  c->Context = sGetThreadContext();
  c->Name = sGetThreadContext()->ThreadName;
  c->Id = t->GetThreadId();
  while(!t->CheckTerminate())
  {
    c->Loops++;
    sSleep(1);
  }
  c->SawStop = true;
}

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

TEST(Thread, RunsUntilItsDestructorStopsAndJoinsIt)
{
  Counter c;
  {
    sThread t(CountUntilStopped, 0, 64 * 1024, &c, u"Counter");
    EXPECT_EQ(t.GetUser(), &c);
    while(c.Loops < 3) sSleep(1);
    EXPECT_FALSE(c.SawStop);
    EXPECT_EQ(c.Id, t.GetThreadId());   // the thread knows its id from its first moment
    EXPECT_NE(c.Id, plat::CurrentThreadId());
  }
  // the destructor returned only after the function saw the stop request
  EXPECT_TRUE(c.SawStop);
  EXPECT_EQ(c.Name, u"Counter");
  EXPECT_NE(c.Context, sGetThreadContext());
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

TEST(ThreadContext, NewContextsAreUnnamedAndServeTheMainMemory)
{
  sThreadContext *tx = sCreateThreadContext(nullptr);
  EXPECT_EQ(std::u16string(tx->ThreadName), u"unnamed");
  EXPECT_EQ(tx->MemTypeStack[0], 1);
  EXPECT_EQ(tx->MemTypeStackIndex, 0);
  sDeleteThreadContext(tx);
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
      ++*j->Value;
    }
  };
  {
    sThread a(add, 0, 0, &job), b(add, 0, 0, &job), c(add, 0, 0, &job);
  }
  EXPECT_EQ(value, 30000);
}

TEST(DebugOutput, QuietBitsOfTheThread)
{
  std::u16string hooked;
  sSetDebugOutputHook([](const sChar *text, void *user) { *static_cast<std::u16string *>(user) += text; }, &hooked);
  sThreadContext *tx = sGetThreadContext();
  sU32 old = tx->Quiet;
  {
    sparktest::DebugCapture out;
    tx->Quiet = sTCQ_NODPRINT;
    sDPrint(u"silent\n");
    tx->Quiet = sTCQ_NOHOOK;
    sDPrint(u"unhooked\n");
    tx->Quiet = 0;
    sDPrint(u"both\n");
    tx->Quiet = old;
    out.Stop();
    // the capture stands for the receivers that quiet bit 1 turns off
    EXPECT_EQ(out.Text(), "both\n");
  }
  sSetDebugOutputHook(nullptr, nullptr);
  EXPECT_EQ(hooked, u"both\n");
}

TEST(DebugOutput, GoesThroughTheDebugOutputHook)
{
  sHook *hook = new(std::nothrow) sHook(4);
  ASSERT_NE(hook, nullptr);
  sHook *previous = sDebugOutputHook.exchange(hook);
  std::u16string got;
  auto receiver = [](void *text, void *user) {
    *static_cast<std::u16string *>(user) += static_cast<const sChar *>(text);
    sDPrint(u"nested\n");   // a receiver that prints does not reach itself again
  };
  hook->Add(+receiver, &got);
  {
    sparktest::DebugCapture out;
    sDPrintF(u"line %d\n", 7);
    out.Stop();
    EXPECT_EQ(out.Text(), "nested\nline 7\n");
  }
  sDebugOutputHook.store(previous);
  delete hook;
  EXPECT_EQ(got, u"line 7\n");
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

namespace
{
// Runs f with standard output going to a temporary file; returns what was written.
template <class F> std::string CaptureStdout(F f)
{
  char path[] = "/tmp/h9consoleXXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);
  f();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buf[4096];
  ssize_t n;
  while((n = read(fd, buf, sizeof(buf))) > 0) text.append(buf, size_t(n));
  close(fd);
  unlink(path);
  return text;
}
}

TEST(ConsoleOutput, WritesLongTextsWholeAsUtf8)
{
  std::u16string text;
  for(int i = 0; i < 2500; i++) text += sChar('a' + i % 26);
  text[1023] = 0xd83d;   // a pair across the first piece boundary stays whole
  text[1024] = 0xde00;
  text += u"\u00e9";
  std::string got = CaptureStdout([&] { sConsoleWrite(text.c_str()); });
  EXPECT_EQ(got, plat::ToUtf8(text));
  EXPECT_EQ(CaptureStdout([] { sConsoleWrite(u""); }), "");
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
