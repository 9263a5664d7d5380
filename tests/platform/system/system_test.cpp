#include "platform/system/system.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <atomic>
#include <string>
#include <thread>
#include <sys/mman.h>
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

std::atomic<int> InnerLine{0}, OuterCallLine{0};  // written by every caller, the same value

__attribute__((noinline)) std::vector<plat::StackFrame> InnerFrame(int skip)
{
  InnerLine = __LINE__ + 1;
  std::vector<plat::StackFrame> f = plat::CaptureStackTrace(skip, 8);
  asm volatile("" ::: "memory");  // keeps the call from becoming a jump
  return f;
}

__attribute__((noinline)) std::vector<plat::StackFrame> OuterFrame(int skip)
{
  OuterCallLine = __LINE__ + 1;
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

volatile int ReadValue = 0;

volatile int Quotient = 0;  // results kept so the faulting work is not dropped
volatile int Divisor = 0;

RAW_FAULT void DivideByZero()
{
  int d = Divisor;
  asm volatile("" : "+r"(d));
  Quotient = 100 / d;
}

__attribute__((noinline)) int Recurse(int depth)
{
  volatile char pad[1024];
  pad[0] = char(depth);
  if(NullPointer == reinterpret_cast<int *>(1)) return 0;
  return Recurse(depth + 1) + pad[0];
}

__attribute__((noinline)) void TouchTruncatedMapping()
{
  char name[] = "/tmp/sparkvane-sigbus-XXXXXX";
  int fd = mkstemp(name);
  if(fd < 0) _exit(3);
  unlink(name);
  if(ftruncate(fd, 4096) != 0) _exit(3);
  volatile char *p = static_cast<volatile char *>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  if((void *)p == MAP_FAILED) _exit(3);
  if(ftruncate(fd, 0) != 0) _exit(3);
  (void)p[10];
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

TEST(FatalSignalDeathTest, OtherSignalsAreDescribed)
{
  SKIP_UNDER_TSAN();
  EXPECT_EXIT(
      {
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        DivideByZero();
      },
      testing::ExitedWithCode(1), "FATAL: arithmetic exception \\(SIGFPE\\): integer divide by zero[^\n]*\nStack trace:\n 1\\. [^\n]*DivideByZero");
  EXPECT_EXIT(
      {
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        abort();
      },
      testing::ExitedWithCode(1), "FATAL: abort \\(SIGABRT\\)[^\n]*\nStack trace:\n(.*\n)*.*TestBody");
  EXPECT_EXIT(
      {
        plat::InstallFatalSignalHandler(PrintAndExit, Prefix);
        TouchTruncatedMapping();
      },
      testing::ExitedWithCode(1), "FATAL: bus error \\(SIGBUS\\)[^\n]*\nStack trace:\n 1\\. [^\n]*TouchTruncatedMapping");
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

/****************************************************************************/

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

/****************************************************************************/

namespace
{
// The age of the process from the kernel's bookkeeping, in milliseconds.
double ProcessAgeMs()
{
  FILE *f = fopen("/proc/self/stat", "r");
  if(!f) return -1;
  char buffer[1024] = {};
  size_t n = fread(buffer, 1, sizeof(buffer) - 1, f);
  fclose(f);
  buffer[n] = 0;
  // the 22nd field, counted after the command's closing parenthesis (field 2)
  const char *p = strrchr(buffer, ')');
  if(!p) return -1;
  p += 2;
  for(int field = 3; field < 22; field++)
  {
    p = strchr(p, ' ');
    if(!p) return -1;
    p++;
  }
  double startTicks = strtod(p, nullptr);
  f = fopen("/proc/uptime", "r");
  if(!f) return -1;
  double uptime = 0;
  int got = fscanf(f, "%lf", &uptime);
  fclose(f);
  if(got != 1) return -1;
  return uptime * 1000.0 - startTicks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}
}

TEST(Clock, CountsFromProcessStartAndNeverGoesBack)
{
  uint64_t now = plat::TimeMs64();
  double age = ProcessAgeMs();
  ASSERT_GE(age, 0);
  // both count from the start of this process (the kernel in 10 ms ticks)
  EXPECT_LE(double(now), age + 30.0);

  uint64_t last = plat::TimeMs64();
  for(int i = 0; i < 100000; i++)
  {
    uint64_t t = plat::TimeMs64();
    ASSERT_GE(t, last);
    last = t;
  }
  uint64_t before = plat::TimeMs64();
  usleep(25000);
  EXPECT_GE(plat::TimeMs64() - before, 25u);
  uint64_t us = plat::TimeUs64();
  EXPECT_GE(us / 1000, before + 25);

  // the 32-bit clock is the low half of the wide one: read between two wide reads
  uint64_t wide = plat::TimeMs64();
  uint32_t narrow = plat::TimeMs();
  uint64_t after = plat::TimeMs64();
  EXPECT_LE(uint32_t(narrow - uint32_t(wide)), uint32_t(after - wide));
}
