#pragma once
// A display server of one test's own (Xvfb), for tests whose keys, pointer moves and
// windows must not meet those of the tests that run beside them on the shared display.
// The server chooses a free display number itself and reports it, so servers started at
// once by tests side by side never ask for the same one; the display counts as up once a
// client has been taken. When it does not come up, Failure() says why: the command, the
// display it tried and the server's own output. The server goes with the object, and with
// the test process if that dies first.
//
// Construct it on the thread that runs the test (the server is tied to the thread that
// started it).

#include "common/server_process.hpp"

#include <string>

namespace sparktest
{
class TestDisplay
{
public:
  // screen: "WIDTHxHEIGHTxDEPTH" of screen 0
  explicit TestDisplay(const std::string &screen = "1920x1080x24");
  ~TestDisplay();
  TestDisplay(const TestDisplay &) = delete;
  TestDisplay &operator=(const TestDisplay &) = delete;

  bool Ok() const { return !name_.empty(); }
  // ":N" once the server takes clients; empty otherwise
  const std::string &Name() const { return name_; }
  // why the server is not up (empty when it is)
  const std::string &Failure() const { return failure_; }

private:
  bool Start(const std::string &screen, std::string &why);
  void Stop();

  std::string name_, failure_, log_;
  ServerProcess server_;
};

// Whether the display server program is installed.
bool HaveXvfb();
}
