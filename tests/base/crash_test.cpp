#include "base/app.hpp"
#include "base/system.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Outside any namespace and never inlined, so the traces name them plainly.
__attribute__((noipa)) void H9FailInsideNamedFunction(int x)
{
  sVERIFYDESC(x == 2, u"x must be two");
  std::printf("not reached\n");
}

__attribute__((noipa)) void H9FailWithoutDescription(int x)
{
  sVERIFY(x == 2);
  std::printf("not reached\n");
}

// The undefined-behaviour checker would stop the store before it faults.
__attribute__((noipa, no_sanitize("undefined"))) int H9WriteThroughNull(int *p)
{
  *p = 1;
  return *p;
}

namespace
{
void AppendMark(sStringRef text, void *)
{
  sAppendString(text.Buffer, u"\ncrash hook saw the text", text.Size);
}

void InstallCrashHook(void (*func)(sStringRef, void *))
{
  sCreateFrameworkHooks();
  sAddHook(sCrashHook.load(), func, nullptr);
}
}

TEST(FatalDeathTest, AssertionShowsTraceCallsCrashHookAndExitsWithOne)
{
  EXPECT_EXIT(
      {
        InstallCrashHook(AppendMark);
        H9FailInsideNamedFunction(1);
      },
      testing::ExitedWithCode(1),
      "crash_test\\.cpp\\([0-9]+\\): Assertion failed\nExpression: x == 2\nDescription: x must be two\n"
      "Stack trace:\n 1\\. H9FailInsideNamedFunction[^\n]*crash_test\\.cpp:[0-9]+\\)\n 2\\. [^\n]*\n"
      "(.*\n)?crash hook saw the text");
}

TEST(FatalDeathTest, FatalOnAnotherThreadEndsTheProcess)
{
  EXPECT_EXIT(
      {
        sThread t([](sThread *, void *) { sFatalF(u"worker failed: %d", 42); }, 0, 0, nullptr, u"Worker");
        for(;;) sSleep(10);
      },
      testing::ExitedWithCode(1), "worker failed: 42\nStack trace:\n");
}

TEST(FatalDeathTest, FatalSignalsEndInTheFatalRoutine)
{
#ifdef __SANITIZE_THREAD__
  // the report of a fault formats and allocates inside the signal handler (the process
  // ends right after), which the thread sanitizer rightly flags as signal-unsafe
  GTEST_SKIP() << "fatal signals are not reported under the thread sanitizer";
#endif
  EXPECT_EXIT(
      {
        sInstallFatalSignalHandler();
        InstallCrashHook(AppendMark);
        H9WriteThroughNull(nullptr);
      },
      testing::ExitedWithCode(1), "SIGSEGV.*\nStack trace:\n 1\\. H9WriteThroughNull.*crash hook saw the text");
}
