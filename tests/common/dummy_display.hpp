#pragma once
// An X server of one test's own that offers several displays side by side, as a machine
// with several monitors does: Xorg with the dummy video driver, its outputs DUMMY0.. set
// with xrandr. Display 0 is 1920 x 1080 at the left, every further one 1280 x 720 to the
// right of the one before. The display number is one that no server holds, taken under a
// lock file, so servers started at once by tests side by side never share one (a number
// the server picks itself can be one whose socket another server holds). The display
// counts as up once a client has been taken and the outputs are set. When it does not
// come up, Failure() says why: the command and the server's own output. The server goes
// with the object, and with the test process if that dies first.
//
//   sparktest::DummyDisplay x(3);
//   if(!x.Ok()) GTEST_SKIP() << x.Failure();

#include "common/server_process.hpp"

#include <string>

namespace sparktest
{
class DummyDisplay
{
public:
  struct Bounds { int X, Y, Width, Height; };

  // displays: 1 to 3
  explicit DummyDisplay(int displays);
  ~DummyDisplay();
  DummyDisplay(const DummyDisplay &) = delete;
  DummyDisplay &operator=(const DummyDisplay &) = delete;

  bool Ok() const { return !name_.empty(); }
  // ":N" once the server takes clients and shows its displays; empty otherwise
  const std::string &Name() const { return name_; }
  // why the server is not up (empty when it is)
  const std::string &Failure() const { return failure_; }
  // where display d lies on the server's screen
  static Bounds Of(int d) { return d == 0 ? Bounds{0, 0, 1920, 1080} : Bounds{1920 + (d - 1) * 1280, 0, 1280, 720}; }

private:
  bool Start(int number, std::string &why);
  void Stop();

  ServerProcess server_;
  int lock_ = -1;
  int displays_ = 0;
  std::string dir_, name_, failure_;
};

// Whether the dummy X server and xrandr are installed.
bool HaveDummyX();
}
