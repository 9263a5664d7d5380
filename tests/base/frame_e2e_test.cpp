// The framework end to end: a small application runs as a process with a real window (the
// test display, or SDL's off-screen driver where there is none), and its output shows the
// start and stop order of the subsystems, the order inside a frame and the exit code.
#include <gtest/gtest.h>

#include "common/test_display.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct ChildRun
{
  std::string Output;
  int ExitCode = -1;
  std::vector<std::string> Lines;
};

// Starts the test application with the arguments; the environment gets a display unless
// display is given: then the display named (none when empty) is the only way to one.
pid_t StartApp(const std::vector<std::string> &args, const char *display, int &readFd)
{
  int fds[2];
  if(pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if(pid == 0)
  {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    if(display)
    {
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("SDL_VIDEODRIVER");
      if(*display) setenv("DISPLAY", display, 1);
      else unsetenv("DISPLAY");
    }
    else if(!getenv("DISPLAY") || !*getenv("DISPLAY"))
    {
      setenv("SDL_VIDEODRIVER", "offscreen", 1);
    }
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<char *> argv;
    std::string path = SPARK_FRAME_TESTAPP;
    argv.push_back(path.data());
    std::vector<std::string> copy = args;
    for(std::string &a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  readFd = fds[0];
  return pid;
}

// Reads until the pipe closes, or until marker appears (then returns true at once).
bool ReadOutput(int fd, std::string &out, const char *marker, int timeoutMs)
{
  auto start = std::chrono::steady_clock::now();
  char buf[4096];
  for(;;)
  {
    if(marker && out.find(marker) != std::string::npos) return true;
    int left = timeoutMs - int(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    if(left <= 0) return false;
    pollfd p = {fd, POLLIN, 0};
    if(poll(&p, 1, left) <= 0) continue;
    ssize_t n = read(fd, buf, sizeof(buf));
    if(n <= 0) return marker == nullptr;
    out.append(buf, size_t(n));
  }
}

int WaitExit(pid_t pid)
{
  int status = 0;
  if(waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> SplitLines(const std::string &text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  for(std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ChildRun RunApp(const std::vector<std::string> &args, const char *display = nullptr)
{
  ChildRun run;
  int fd = -1;
  pid_t pid = StartApp(args, display, fd);
  if(pid < 0) return run;
  bool done = ReadOutput(fd, run.Output, nullptr, 120000);
  if(!done) kill(pid, SIGKILL);
  close(fd);
  run.ExitCode = WaitExit(pid);
  run.Lines = SplitLines(run.Output);
  return run;
}

// Index of the first line (from start on) that ends with text, or -1.
int Find(const ChildRun &run, const std::string &text, int start = 0)
{
  for(int i = start; i < int(run.Lines.size()); i++)
  {
    const std::string &l = run.Lines[i];
    if(l.size() >= text.size() && l.compare(l.size() - text.size(), text.size(), text) == 0) return i;
  }
  return -1;
}

int FindPrefix(const ChildRun &run, const std::string &text, int start = 0)
{
  for(int i = start; i < int(run.Lines.size()); i++)
    if(run.Lines[i].compare(0, text.size(), text) == 0) return i;
  return -1;
}

int Count(const ChildRun &run, const std::string &text)
{
  int n = 0;
  for(int i = Find(run, text); i >= 0; i = Find(run, text, i + 1)) n++;
  return n;
}

struct SubsystemLine
{
  int Line;
  int Level;
  std::string Name;
};

std::vector<SubsystemLine> SubsystemLines(const ChildRun &run, const char *what)
{
  std::vector<SubsystemLine> out;
  std::regex re(std::string(what) + " 0x([0-9a-f]{2}) (\\w+)$");
  for(int i = 0; i < int(run.Lines.size()); i++)
  {
    std::smatch m;
    if(std::regex_search(run.Lines[i], m, re)) out.push_back({i, std::stoi(m[1].str(), nullptr, 16), m[2].str()});
  }
  return out;
}

class FrameDriverRun : public testing::Test
{
protected:
  static ChildRun Order;
  static void SetUpTestSuite() { Order = RunApp({"-mode", "order"}); }
};
ChildRun FrameDriverRun::Order;

TEST_F(FrameDriverRun, SubsystemsStartAndStopByLevelAroundTheWindow)
{
  ASSERT_EQ(Order.ExitCode, 0) << Order.Output;
  std::vector<SubsystemLine> inits = SubsystemLines(Order, "init");
  std::vector<SubsystemLine> exits = SubsystemLines(Order, "exit");
  ASSERT_GT(inits.size(), 1u) << Order.Output;
  ASSERT_EQ(exits.size(), inits.size());
  int mainStart = Find(Order, "main start");
  int initDone = Find(Order, "init done");
  int deleted = Find(Order, "app deleted");
  int errorCode = Find(Order, "error code 00000000 (ok)");
  ASSERT_GE(mainStart, 0);
  ASSERT_GT(initDone, mainStart);
  ASSERT_GT(deleted, initDone);
  ASSERT_GT(errorCode, deleted);
  for(size_t i = 0; i < inits.size(); i++)
  {
    if(i > 0)
    {
      EXPECT_LE(inits[i - 1].Level, inits[i].Level) << inits[i].Name;
    }
    // below 128 before the application's main, the rest inside sInit
    if(inits[i].Level < 128)
    {
      EXPECT_LT(inits[i].Line, mainStart) << inits[i].Name;
    }
    else
    {
      EXPECT_TRUE(inits[i].Line > mainStart && inits[i].Line < initDone) << inits[i].Name;
    }
  }
  for(size_t i = 0; i < exits.size(); i++)
  {
    // stopped in the reverse of the start order, the window's services after the application
    EXPECT_EQ(exits[i].Name, inits[inits.size() - 1 - i].Name);
    EXPECT_GT(exits[i].Line, deleted);
    EXPECT_LT(exits[i].Line, errorCode);
  }
  EXPECT_EQ(Order.Output.find("Memory Leak"), std::string::npos) << Order.Output;
  if(getenv("DISPLAY") && *getenv("DISPLAY"))
  {
    EXPECT_GE(Find(Order, "window class ORVANE"), 0) << Order.Output;
  }
}

TEST_F(FrameDriverRun, FrameRunsHookInputSkipPrepareThenPaintAndDocument)
{
  ASSERT_EQ(Order.ExitCode, 0) << Order.Output;
  // the first frame: nothing queued yet; its paint pushes a key and a pointer move
  int f1 = Find(Order, "prehook 1");
  ASSERT_GE(f1, 0);
  EXPECT_EQ(Order.Lines[f1 + 1], "skip 1 inframe");
  EXPECT_EQ(Order.Lines[f1 + 2], "prepare 1");
  EXPECT_EQ(Order.Lines[f1 + 3], "paint 1");
  EXPECT_EQ(Order.Lines[f1 + 4], "pushed 1");
  // the application pushes again until the input hook sees the key, so it arrives in
  // whichever frame follows the last push: after that frame's pre-frame hook, the input
  // hook before the application, both before the frame's skip test
  int hookKey = Find(Order, "inputhook 0000e020", f1);
  ASSERT_GT(hookKey, f1) << Order.Output;
  EXPECT_EQ(Order.Lines[hookKey + 1], "oninput 0000e020");
  int pushed = hookKey, arrival = hookKey, skipArrival = hookKey;
  while(pushed > 0 && Order.Lines[pushed].rfind("pushed ", 0) != 0) pushed--;
  while(arrival > 0 && Order.Lines[arrival].rfind("prehook ", 0) != 0) arrival--;
  while(skipArrival < int(Order.Lines.size()) && Order.Lines[skipArrival].rfind("skip ", 0) != 0) skipArrival++;
  EXPECT_GT(arrival, pushed);
  int hookMove = Find(Order, "inputhook 0000e180", pushed);
  EXPECT_GT(hookMove, arrival);
  EXPECT_LT(hookMove, skipArrival);
  EXPECT_LT(hookKey + 1, skipArrival);
  // consumed by the hook: the application never sees the move
  EXPECT_EQ(Count(Order, "oninput 0000e180"), 0);
  // the document asked for in frame 2 opens after its paint, once
  int skip2 = Find(Order, "skip 2 inframe");
  ASSERT_GT(skip2, f1);
  EXPECT_EQ(Order.Lines[skip2 + 1], "prepare 2");
  EXPECT_EQ(Order.Lines[skip2 + 2], "paint 2");
  int open = Find(Order, "open doc://frame2");
  EXPECT_GT(open, skip2 + 2);
  EXPECT_EQ(Find(Order, "prehook 3"), open + 1);
  EXPECT_EQ(Count(Order, "open doc://frame2"), 1);
}

TEST_F(FrameDriverRun, KeyboardDeviceSeesTheHeldKeyThenCloseVetoAndExitOnce)
{
  ASSERT_EQ(Order.ExitCode, 0) << Order.Output;
  int vetoed = Find(Order, "close vetoed");
  int allowed = Find(Order, "close allowed");
  ASSERT_GT(vetoed, 0) << Order.Output;
  ASSERT_GT(allowed, vetoed);
  // frames go on after the veto
  EXPECT_GE(FindPrefix(Order, "paint ", vetoed), 0);
  EXPECT_LT(FindPrefix(Order, "paint ", vetoed), allowed);
  // after the allowed close: the log's line on why the run ends, the exit event, the key's
  // count and the application's end, in that order; input pushed on a loaded machine may
  // still be arriving in between
  std::vector<std::string> after;
  for(size_t i = allowed + 1; i < Order.Lines.size() && after.size() < 4; i++)
    if(Order.Lines[i].rfind("inputhook ", 0) != 0 && Order.Lines[i].rfind("oninput ", 0) != 0)
      after.push_back(Order.Lines[i]);
  ASSERT_EQ(after.size(), 4u) << Order.Output;
  EXPECT_NE(after[0].find("end of the run: the window was closed"), std::string::npos) << Order.Output;
  // the key held since frame 1 reached the keyboard device once, as one pressed edge
  EXPECT_EQ(std::vector<std::string>(after.begin() + 1, after.end()),
            (std::vector<std::string>{"event 3", "keyboard F1 pressed 1 times", "app deleted"}))
      << Order.Output;
  EXPECT_EQ(Count(Order, "event 3"), 1);
  EXPECT_EQ(Count(Order, "gave up"), 0);
}

// No display at all, or a named display whose server does not answer: the message says
// which, and the run fails cleanly.
TEST(FrameDriverExit, NoDisplaySaysSoAndFails)
{
  const struct
  {
    const char *Display, *Message;
  } cases[] = {{"", "there is no display"}, {":97531", "the display :97531 could not be opened"}};
  for(const auto &c : cases)
  {
    ChildRun run = RunApp({"-mode", "run"}, c.Display);
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find(c.Message), std::string::npos) << run.Output;
    EXPECT_GE(Find(run, "error code 00000001 (fail)"), 0);
    EXPECT_EQ(run.Output.find("Memory Leak"), std::string::npos) << run.Output;
  }
}

TEST(FrameDriverExit, InterruptClosesInOrder)
{
  for(int sig : {SIGINT, SIGTERM})
  {
    int fd = -1;
    pid_t pid = StartApp({"-mode", "run"}, nullptr, fd);
    ASSERT_GT(pid, 0);
    std::string out;
    bool running = ReadOutput(fd, out, "running", 60000);
    EXPECT_TRUE(running) << out;
    kill(pid, sig);
    EXPECT_TRUE(ReadOutput(fd, out, nullptr, 60000));
    close(fd);
    if(!running) kill(pid, SIGKILL);
    EXPECT_EQ(WaitExit(pid), 0) << out;
    EXPECT_NE(out.find("event 3"), std::string::npos) << out;
    EXPECT_NE(out.find("exit 0x01 EventQueue"), std::string::npos) << out;
    EXPECT_NE(out.find("error code 00000000 (ok)"), std::string::npos) << out;
    EXPECT_EQ(out.find("Memory Leak"), std::string::npos) << out;
  }
}

// A display server that goes away under a running program ends the program: it must not
// stay behind on the lost connection (the exit's own clean-up once hung there, burning CPU).
TEST(FrameDriverExit, ALostDisplayEndsTheProgram)
{
  if(!sparktest::HaveXvfb()) GTEST_SKIP() << "no Xvfb";
  auto display = std::make_unique<sparktest::TestDisplay>("640x480x24");
  ASSERT_TRUE(display->Ok()) << display->Failure();
  int fd = -1;
  pid_t pid = StartApp({"-mode", "run"}, display->Name().c_str(), fd);
  ASSERT_GT(pid, 0);
  std::string out;
  bool running = ReadOutput(fd, out, "running", 60000);
  display.reset();
  bool ended = running && ReadOutput(fd, out, nullptr, 60000);
  close(fd);
  if(!ended) kill(pid, SIGKILL);
  int code = WaitExit(pid);
  EXPECT_TRUE(running) << out;
  EXPECT_TRUE(ended) << "still running after its display went away:\n" << out;
  EXPECT_NE(code, 0) << out;
}

// Runs of one purpose each: the exit code and what the output must hold.
TEST(FrameDriverExit, LeakCrashAndPixelRunsEndAsTheySay)
{
  const struct
  {
    const char *Mode;
    int Code;
    std::vector<std::string> Says;
  } cases[] = {
    // the clean runs above check for the absence of the leak report: it must be able to appear
    {"leak", 0, {"Memory Leak Detected.", "frameapp.cpp("}},
    {"crash", 1, {"Assertion failed", "CrashApp::OnPaint3D"}},
    // a fault while a message is handled is reported as the message loop's exception
    {"fault", 1, {"Exception occured in Windows Message Loop.\nCode = 0000000b, Address = 0000", "FaultApp::OnPaint3D"}},
    // the frame starts cleared to the chosen colour
    {"pixels", 0, {"pixel 2060a0"}},
    // the rectangle filled in the first 2D paint is in the window
    {"paint2d", 0, {"client 0 0 320 240", "pixel2d 2060a0"}},
    // a pack still open (mapped) at the end is closed before the handler of its file
    {"pack", 0, {"built 1", "packed hello", "error code 00000000 (ok)"}},
  };
  for(const auto &c : cases)
  {
#ifdef __SANITIZE_THREAD__
    // the fault's report allocates inside the signal handler, which the thread sanitizer flags
    if(std::string(c.Mode) == "fault") continue;
#endif
    ChildRun run = RunApp({"-mode", c.Mode});
    EXPECT_EQ(run.ExitCode, c.Code) << run.Output;
    for(const std::string &text : c.Says)
      EXPECT_NE(run.Output.find(text), std::string::npos) << c.Mode << ": " << run.Output;
    // a fatal error does not run the orderly exit: the application is not called again
    EXPECT_TRUE(c.Code == 0 || Count(run, "event 3") == 0) << run.Output;
  }
}

}
