#include "platform/system/system.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <atomic>
#include <string>
#include <thread>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer's own allocator fails when the fatal-signal path allocates inside the
// handler; the path is single-threaded and is tested in the plain and address builds.
#define SKIP_UNDER_TSAN() GTEST_SKIP() << "fatal signals are not tested under ThreadSanitizer"
#else
#define SKIP_UNDER_TSAN() (void)0
#endif

namespace
{
bool EndsWith(const std::string &s, const std::string &tail)
{
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

__attribute__((noinline)) std::vector<plat::StackFrame> InnerFrame(int skip)
{
  std::vector<plat::StackFrame> f = plat::CaptureStackTrace(skip, 8);
  asm volatile("" ::: "memory");  // keeps the call from becoming a jump
  return f;
}

__attribute__((noinline)) std::vector<plat::StackFrame> OuterFrame(int skip)
{
  std::vector<plat::StackFrame> f = InnerFrame(skip);
  asm volatile("" ::: "memory");
  return f;
}
}

TEST(StackTrace, NamesTheCallingTestFunction)
{
  int line = __LINE__ + 1;
  std::vector<plat::StackFrame> frames = plat::CaptureStackTrace(0, 8);
  ASSERT_FALSE(frames.empty());
  EXPECT_NE(frames[0].Function.find("StackTrace_NamesTheCallingTestFunction_Test::TestBody"), std::string::npos)
      << frames[0].Function;
  EXPECT_NE(frames[0].Address, 0u);
  EXPECT_FALSE(frames[0].Module.empty());
  if(plat::StackTraceHasLines())
  {
    EXPECT_TRUE(EndsWith(frames[0].File, "system_test.cpp")) << frames[0].File;
    EXPECT_EQ(frames[0].Line, line);
  }
  EXPECT_LE(frames.size(), 8u);
}

/****************************************************************************/

namespace
{
// What the framework's fatal-error routine does with a fatal signal, in short.
void PrintAndExit(const plat::FatalSignalInfo &info, void *user)
{
  std::string text = std::string(static_cast<const char *>(user)) + info.Description + "\nStack trace:\n";
  for(int i = 0; i < info.FrameCount && i < 8; i++)
  {
    char line[1200];
    const plat::StackFrame &f = info.Frames[i];
    std::string file = f.File.substr(f.File.find_last_of('/') + 1);
    if(!f.Function.empty())
      snprintf(line, sizeof(line), "%2d. %s (%s:%d)\n", i + 1, f.Function.c_str(), file.c_str(), f.Line);
    else
      snprintf(line, sizeof(line), "%2d. ??? (EIP=%08lx)\n", i + 1, (unsigned long)f.Address);
    text += line;
  }
  plat::WriteDebugOutput(text.data(), text.size());
  plat::TerminateProcess(1);
}

char Prefix[] = "FATAL: ";

// the compiler cannot know it stays null
int *volatile NullPointer = nullptr;

// The faults below are real machine faults: the undefined-behaviour checker of a
// sanitizer build must not catch them first.
#define RAW_FAULT __attribute__((noinline, no_sanitize("undefined")))

RAW_FAULT void DereferenceNull()
{
  *NullPointer = 1;
  asm volatile("" ::: "memory");
}

__attribute__((noinline)) int Recurse(int depth)
{
  volatile char pad[1024];
  pad[0] = char(depth);
  if(NullPointer == reinterpret_cast<int *>(1)) return 0;
  return Recurse(depth + 1) + pad[0];
}

void *CrashOnThread(void *)
{
  pthread_setname_np(pthread_self(), "crasher");
  plat::PrepareThreadForFatalSignals();
  DereferenceNull();
  return nullptr;
}
}

TEST(FatalSignalDeathTest, NullWriteReachesTheHandlerWithDescriptionAndTrace)
{
  SKIP_UNDER_TSAN();
  EXPECT_EXIT(
      {
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        DereferenceNull();
      },
      testing::ExitedWithCode(1),
      "FATAL: access violation \\(SIGSEGV\\): write to address 0x0 \\(address not mapped\\), instruction at 0x[0-9a-f]+, "
      "thread \"[^\"]*\"\nStack trace:\n 1\\. [^\n]*DereferenceNull[^\n]*\n 2\\. [^\n]*TestBody");
}

TEST(FatalSignalDeathTest, StackOverflowIsReportedOnTheAlternateStack)
{
  SKIP_UNDER_TSAN();
  EXPECT_EXIT(
      {
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        Recurse(0);
      },
      testing::ExitedWithCode(1), "FATAL: access violation \\(SIGSEGV\\): write to address[^\n]*stack overflow[^\n]*\nStack trace:\n 1\\. [^\n]*Recurse");
}

TEST(FatalSignalDeathTest, FaultOnAnotherThreadNamesIt)
{
  SKIP_UNDER_TSAN();
  EXPECT_EXIT(
      {
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        pthread_t t;
        pthread_create(&t, nullptr, CrashOnThread, nullptr);
        pthread_join(t, nullptr);
      },
      testing::ExitedWithCode(1), "FATAL: access violation[^\n]*thread \"crasher\"\nStack trace:\n 1\\. [^\n]*DereferenceNull");
}

TEST(FatalSignalDeathTest, RemoveRestoresWhatWasThereBefore)
{
  SKIP_UNDER_TSAN();
  EXPECT_EXIT(
      {
        struct sigaction before{};
        before.sa_handler = [](int) { _exit(42); };
        sigemptyset(&before.sa_mask);
        sigaction(SIGSEGV, &before, nullptr);
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);  // a second install keeps the first's record
        plat::RemoveFatalSignalHandler();
        DereferenceNull();
      },
      testing::ExitedWithCode(42), "");
  std::string error;
  EXPECT_FALSE(plat::InstallFatalSignalHandler(nullptr, nullptr, &error));
  EXPECT_FALSE(error.empty());
}

TEST(Debugger, BreakStopsInTheTracerAndGoesOnWhenItPassesTheTrapBack)
{
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if(child == 0)
  {
    if(ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(2);
    plat::BreakIntoDebugger();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  if(WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "tracing not permitted here";
  ASSERT_TRUE(WIFSTOPPED(status));
  EXPECT_EQ(WSTOPSIG(status), SIGTRAP);
  // hand the signal back, as a tracer that does not want it does
  ASSERT_EQ(ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void *>(intptr_t(SIGTRAP))), 0);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

/****************************************************************************/

TEST(StackTrace, SeveralThreadsTraceAtOnce)
{
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for(int i = 0; i < 4; i++)
    threads.emplace_back([&] {
      for(int k = 0; k < 10; k++)
      {
        std::vector<plat::StackFrame> frames = OuterFrame(0);
        if(frames.size() < 2 || frames[0].Function.find("InnerFrame") == std::string::npos ||
           frames[1].Function.find("OuterFrame") == std::string::npos)
          bad++;
      }
    });
  for(auto &t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}
