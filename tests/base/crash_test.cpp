#include "base/app.hpp"
#include "base/system.hpp"
#include "common/test_display.hpp"
#include "common/wait.hpp"
#include "platform/window/window.hpp"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

// a report stuck in a crash hook (as one stuck on a lock its failure left held) still ends
TEST(FatalDeathTest, AReportThatCannotFinishEndsTheProcessAfterItsDeadline)
{
  EXPECT_EXIT(
      {
        InstallCrashHook([](sStringRef, void *) {
          for(;;) sSleep(1000);
        });
        sFatal(u"report stuck\nsecond line");
      },
      testing::ExitedWithCode(1), "the fatal-error report did not end in time: report stuck\n$");
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

namespace
{
// Top-level windows on the display named as the fatal box is captioned.
int BoxWindows(Display *dpy)
{
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  int boxes = 0;
  // a window may go between the listing and the reading of its name: not an error here
  XErrorHandler before = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
  if(!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count))
  {
    XSetErrorHandler(before);
    return -1;
  }
  for(unsigned i = 0; i < count; i++)
  {
    // the name may be in UTF-8, which XFetchName does not give
    XTextProperty name{};
    XWindowAttributes a;
    if(XGetWMName(dpy, children[i], &name) && name.value &&
       std::string(reinterpret_cast<char *>(name.value), name.nitems) == "sparkvane" &&
       XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable)
      boxes++;
    if(name.value) XFree(name.value);
  }
  if(children) XFree(children);
  XSync(dpy, False);
  XSetErrorHandler(before);
  return boxes;
}

// The processes the process started (its only thread's children).
std::string ChildrenOf(pid_t pid)
{
  std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::string all;
  std::getline(f, all);
  return all;
}
}

// A show with a display that fails shows the message in a box and waits for OK, with the
// show's close signals in place. A SIGTERM or Ctrl-C to the waiting show ends it and the
// box; a SIGTERM to the box's own process closes the box and the show ends as after OK.
TEST(FatalBox, TheBoxEndsWithItsShowAndTakesSigterm)
{
  if(!sparktest::HaveXvfb()) GTEST_SKIP() << "no display server";
  sparktest::TestDisplay display;
  ASSERT_TRUE(display.Ok()) << display.Failure();
  Display *dpy = XOpenDisplay(display.Name().c_str());
  ASSERT_NE(dpy, nullptr);
  const struct
  {
    bool ToBox;
    int Signal;
  } rows[] = {{false, SIGTERM}, {false, SIGINT}, {true, SIGTERM}};
  for(const auto &row : rows)
  {
    SCOPED_TRACE(std::string(row.ToBox ? "to the box: " : "to the show: ") + strsignal(row.Signal));
    fflush(nullptr);
    pid_t show = fork();
    ASSERT_GE(show, 0);
    if(show == 0)
    {
      setenv("DISPLAY", display.Name().c_str(), 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("SPARK_TEST");
      plat::InstallCloseSignals();
      sFatal(u"the show failed");
    }
    bool up = sparktest::WaitFor([&] { return BoxWindows(dpy) > 0; });
    EXPECT_TRUE(up) << "no box on the display";
    std::string box = ChildrenOf(show);
    kill(row.ToBox && !box.empty() ? pid_t(std::stol(box)) : show, row.Signal);
    int status = 0;
    bool ended = sparktest::WaitFor([&] { return waitpid(show, &status, WNOHANG) == show; }, 20);
    EXPECT_TRUE(ended) << "the show still waits";
    if(ended)
    {
      if(row.ToBox)
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "as after OK: " << status;
      else
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.Signal) << status;
    }
    EXPECT_TRUE(sparktest::WaitFor([&] { return BoxWindows(dpy) == 0; }, 20)) << "the box outlived its show";
    if(!ended)
    {
      kill(show, SIGKILL);
      waitpid(show, &status, 0);
    }
    if(HasFailure()) break;
  }
  XCloseDisplay(dpy);
}
