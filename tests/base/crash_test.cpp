#include "base/app.hpp"
#include "base/system.hpp"
#include "platform/text/utf.hpp"

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

__attribute__((noipa)) std::string H9TraceHere()
{
  sChar out[1024] = {};
  EXPECT_TRUE(sStackTrace(out, 0, 3));
  return plat::ToUtf8(out);
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

TEST(FatalDeathTest, AssertionWithoutDescriptionHasNoDescriptionLine)
{
  EXPECT_EXIT(H9FailWithoutDescription(3), testing::ExitedWithCode(1),
              "Assertion failed\nExpression: x == 2\nStack trace:\n 1\\. H9FailWithoutDescription");
  EXPECT_EXIT(sVERIFYFALSE, testing::ExitedWithCode(1), "crash_test\\.cpp\\([0-9]+\\) : assertion\nStack trace:");
}

TEST(FatalDeathTest, LongTextIsCutAndLosesItsTrace)
{
  EXPECT_EXIT(
      {
        InstallCrashHook([](sStringRef text, void *) {
          std::u16string t = text.Buffer;
          bool cut = t.size() == 1023 && t.find(u"Stack trace") == std::u16string::npos;
          std::fprintf(stderr, "hook: %s\n", cut ? "cut" : "whole");
        });
        std::u16string big(2000, u'x');
        sFatal(big.c_str());
      },
      testing::ExitedWithCode(1), "hook: cut\nx{1023}\n");
}

TEST(FatalDeathTest, FailingCrashHookStillShowsTheFirstText)
{
  EXPECT_EXIT(
      {
        InstallCrashHook([](sStringRef, void *) { sVERIFY(!"the crash hook fails"); });
        sFatal(u"first failure");
      },
      testing::ExitedWithCode(1), "first failure\nStack trace:\n.*Assertion failed");
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

TEST(FatalDeathTest, FailedGraphicsResults)
{
  sDXError(0, __FILE__, __LINE__, u"Fine()");
  sDXError(1, __FILE__, __LINE__, u"AlsoFine()");
  EXPECT_EXIT(
      {
        sSetDXErrorText([](sS32 result, const sChar **name, const sChar **description) {
          if(sU32(result) == 0x8007000eu)
          {
            *name = u"E_OUTOFMEMORY";
            *description = u"out of memory";
          }
        });
        sDXError(sS32(0x8007000eu), "gfx/device.cpp", 77, u"CreateThing()");
      },
      testing::ExitedWithCode(1), "gfx/device\\.cpp\\(77\\): CreateThing\\(\\) error 8007000e \\(14\\): E_OUTOFMEMORY \\(out of memory\\)");
  EXPECT_EXIT(sDXError(-1, "a.cpp", 1, u"Call()"), testing::ExitedWithCode(1),
              "a\\.cpp\\(1\\): Call\\(\\) error ffffffff \\(16383\\): unknown \\(unknown error\\)");
}

TEST(Fatal, StackTraceNamesTheCaller)
{
  std::string trace = H9TraceHere();
  EXPECT_EQ(trace.rfind(" 1. H9TraceHere", 0), 0u) << trace;
  EXPECT_NE(trace.find("crash_test.cpp:"), std::string::npos) << trace;
  EXPECT_NE(trace.find("\n 2. "), std::string::npos) << trace;
  EXPECT_FALSE(sIsFatalInProgress());
}
