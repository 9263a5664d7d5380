// The show on several displays: the program started in multi-screen mode on an X server
// whose dummy driver offers two or three displays, each display's picture read back from
// the server while the show runs.
#include "common/dummy_display.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// last: the X headers define words such as Status and None as macros
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#if defined(SPARKVANE_PROGRAM) && defined(TWDATA_DIR)
namespace
{
constexpr float Dark = 0.01f;   // at most this share lit: nothing drawn but the background
constexpr float Lit = 0.2f;     // at least this share lit: a picture

// A display's picture as the server shows it, shrunk to a grid of Cells x Cells averages.
constexpr int Cells = 32;
struct Picture
{
  std::vector<float> Luma;   // 0..255 per cell
  float Lit = 0;             // share of the sampled pixels brighter than dark grey
};

Picture Grab(Display *dpy, int display)
{
  const sparktest::DummyDisplay::Bounds b = sparktest::DummyDisplay::Of(display);
  Picture p;
  XImage *im = XGetImage(dpy, DefaultRootWindow(dpy), b.X, b.Y, unsigned(b.Width), unsigned(b.Height), AllPlanes, ZPixmap);
  if(!im) return p;
  p.Luma.assign(Cells * Cells, 0.0f);
  int lit = 0, samples = 0;
  for(int y = 0; y < b.Height; y += 4)
    for(int x = 0; x < b.Width; x += 4)
    {
      const unsigned long px = XGetPixel(im, x, y);
      const float l = 0.3f * ((px >> 16) & 255) + 0.59f * ((px >> 8) & 255) + 0.11f * (px & 255);
      p.Luma[(y * Cells / b.Height) * Cells + x * Cells / b.Width] += l;
      lit += l > 24.0f;
      samples++;
    }
  const float perCell = float(samples) / (Cells * Cells);
  for(float &l : p.Luma) l /= perCell;
  p.Lit = float(lit) / float(samples);
  XDestroyImage(im);
  return p;
}

// Mean difference of two pictures' cells (0..255).
float Difference(const Picture &a, const Picture &b)
{
  if(a.Luma.size() != b.Luma.size() || a.Luma.empty()) return 255.0f;
  float d = 0;
  for(size_t i = 0; i < a.Luma.size(); i++) d += std::abs(a.Luma[i] - b.Luma[i]);
  return d / float(a.Luma.size());
}

void PressKey(Display *dpy, KeySym key)
{
  const KeyCode k = XKeysymToKeycode(dpy, key);
  XTestFakeKeyEvent(dpy, k, True, 0);
  XTestFakeKeyEvent(dpy, k, False, 20);
  XSync(dpy, False);
}

// The waits of one test share one bound, generous for a loaded machine (a frame in
// software rendering there takes seconds), yet well inside ctest's limit for the test with
// the server's start and the show's end: a show that stays dark fails with its log here
// instead of being ended from outside.
class Bound
{
  std::chrono::steady_clock::time_point End = std::chrono::steady_clock::now() + std::chrono::minutes(8);

public:
  template <class F> bool Wait(F done) const { return sparktest::WaitUntil(done, End); }
};

// Waits until a display's picture has changed n times: n frames of the show later (false
// when the picture stands still until the bound runs out).
bool FramesLater(const Bound &bound, Display *dpy, int display, int n)
{
  Picture last = Grab(dpy, display);
  return bound.Wait([&] {
    Picture now = Grab(dpy, display);
    if(Difference(now, last) > 0.5f) n--, last = now;
    return n <= 0;
  });
}

// Brings the GUI up with its key: the windows' first focus changes drop the keys queued
// before them, so the key goes in once the show has run a few frames, and again when the
// GUI's display is still dark some frames later. What failed, or empty.
std::string ShowGui(const Bound &bound, Display *dpy, int showDisplay, int guiDisplay)
{
  const std::string still =
    "the show's picture on display " + std::to_string(showDisplay) + " stood still until the test's bound ran out";
  for(int attempt = 0; attempt < 3; attempt++)
  {
    if(!FramesLater(bound, dpy, showDisplay, 3)) return still;
    if(Grab(dpy, guiDisplay).Lit > Dark * 2) return "";
    PressKey(dpy, XK_period);
    if(!FramesLater(bound, dpy, showDisplay, 3)) return still;
    if(Grab(dpy, guiDisplay).Lit > Dark * 2) return "";
  }
  return "three presses of the GUI's key left display " + std::to_string(guiDisplay) + " dark";
}

// The show program in multi-screen mode on the server with the given arguments, from the
// build folder that holds the data tree; Ctrl-C ends it as a person would.
struct ShowProcess
{
  pid_t Pid = -1;
  std::string LogName;
  int ExitStatus = -1;
  bool Done = false;

  ShowProcess(const std::string &display, const std::string &log, std::vector<std::string> args) : LogName(log)
  {
    Pid = fork();
    if(Pid != 0) return;
    FILE *f = chdir(TWDATA_DIR "/..") == 0 ? fopen(log.c_str(), "w") : nullptr;
    if(!f) _exit(126);
    dup2(fileno(f), 1), dup2(fileno(f), 2);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<char *> argv{const_cast<char *>(SPARKVANE_PROGRAM), const_cast<char *>("-multiscreen")};
    for(std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(SPARKVANE_PROGRAM, argv.data());
    _exit(127);
  }
  // Ends the show in order; its exit status.
  int End()
  {
    if(Pid > 0 && !Done)
    {
      kill(Pid, SIGINT);
      if(!sparktest::WaitFor([&] { return !Running(); }, 120)) kill(Pid, SIGKILL), waitpid(Pid, &ExitStatus, 0);
    }
    Pid = -1;
    return ExitStatus;
  }
  bool Running()
  {
    if(Pid <= 0 || Done) return false;
    const pid_t r = waitpid(Pid, &ExitStatus, WNOHANG);
    Done = r != 0;
    return !Done;
  }
  std::string Log() const
  {
    std::stringstream s;
    s << std::ifstream(LogName).rdbuf();
    return s.str();
  }
  ~ShowProcess() { End(); }
};

// The server of the test's own and a connection to it; skips when it cannot be had.
#define START_SERVER(x, displays, dpy)                                                                                \
  sparktest::DummyDisplay x(displays);                                                                                 \
  if(!x.Ok()) GTEST_SKIP() << x.Failure();                                                                             \
  Display *dpy = XOpenDisplay(x.Name().c_str());                                                                       \
  ASSERT_NE(dpy, nullptr) << x.Name()

}

// Two displays, the show placed on the second: the show's scene and post-processing light
// display 1 while display 0, the GUI's, stays dark; the GUI's key then brings the GUI up on
// display 0, and the show stays on display 1.
TEST(MultiScreenShow, TwoDisplaysShowOnTheSecondGuiOnTheFirst)
{
  START_SERVER(x, 2, dpy);
  sparktest::TempDir dir;
  ShowProcess show(x.Name(), dir.Name8("show.log"), {"-showdisplay", "1", "-guidisplay", "0"});
  const Bound bound;
  Picture gui, main;
  EXPECT_TRUE(bound.Wait([&] {
    main = Grab(dpy, 1), gui = Grab(dpy, 0);
    return (main.Lit > Lit && gui.Lit < Dark) || !show.Running();
  }));
  EXPECT_GT(main.Lit, Lit) << "the show on display 1\n" << show.Log();
  EXPECT_LT(gui.Lit, Dark) << "display 0 before the GUI's key";

  EXPECT_EQ(ShowGui(bound, dpy, 1, 0), "");
  main = Grab(dpy, 1), gui = Grab(dpy, 0);
  EXPECT_GT(gui.Lit, Dark * 2) << "the GUI on display 0";
  EXPECT_LT(gui.Lit, 0.9f) << "the GUI's keys, not a full picture";
  EXPECT_GT(main.Lit, Lit) << "the show stays on display 1";
  EXPECT_GT(Difference(gui, main), 20.0f);
  const int status = show.End();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << show.Log();
  XCloseDisplay(dpy);
}

// Three displays: the show on display 0, the GUI on display 1 and, on display 2, the second
// output display, the colour layers: with none switched on, the whole screen copy.
TEST(MultiScreenShow, ThreeDisplaysTheSecondOutputShowsTheScreenCopy)
{
  START_SERVER(x, 3, dpy);
  sparktest::TempDir dir;
  ShowProcess show(x.Name(), dir.Name8("show.log"), {"-guidisplay", "1"});
  const Bound bound;
  Picture main, gui, copy;
  // the copy matches the show's picture of the same frame: pictures are taken until both
  // come from one
  EXPECT_TRUE(bound.Wait([&] {
    main = Grab(dpy, 0), gui = Grab(dpy, 1), copy = Grab(dpy, 2);
    return (main.Lit > Lit && Difference(main, copy) < 12.0f) || !show.Running();
  }));
  EXPECT_GT(main.Lit, Lit) << show.Log();
  EXPECT_LT(Difference(main, copy), 12.0f) << "display 2 shows display 0's picture";
  EXPECT_LT(gui.Lit, Dark) << "nothing of the show on the GUI's display";

  EXPECT_EQ(ShowGui(bound, dpy, 0, 1), "");
  gui = Grab(dpy, 1);
  EXPECT_GT(gui.Lit, Dark * 2) << "the GUI on display 1";
  const int status = show.End();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << show.Log();
  XCloseDisplay(dpy);
}
#endif
