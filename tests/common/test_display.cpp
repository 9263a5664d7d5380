#include "common/test_display.hpp"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace sparktest
{
namespace
{
// Bounds that only a broken server reaches: a loaded machine (eight tests drawing in
// software beside this one) can take many seconds to start one.
constexpr auto NameBound = std::chrono::seconds(120), ClientBound = std::chrono::seconds(120);
// a server that exits before it names its display has lost its number to another server
// started at the same moment (or could not start at all): it is started again this often
constexpr int Attempts = 3;
}

bool HaveXvfb() { return system("command -v Xvfb > /dev/null 2>&1") == 0; }

TestDisplay::TestDisplay(const std::string &screen) : log_(MakeTemp("sparktest-xvfb.", false))
{
  std::string why;
  for(int attempt = 1; attempt <= Attempts; attempt++)
  {
    if(Start(screen, why)) return;
    failure_ += "attempt " + std::to_string(attempt) + ": " + why + "\n";
    // a server that is still there answers no more than the one that ended
    if(server_.Running()) break;
  }
  failure_ = "no display server of the test's own came up (Xvfb -displayfd 3 -screen 0 " + screen +
             " -nolisten tcp -noreset)\n" + failure_;
  Stop();
}

TestDisplay::~TestDisplay()
{
  Stop();
  if(!log_.empty()) unlink(log_.c_str());
}

bool TestDisplay::Start(const std::string &screen, std::string &why)
{
  int fds[2];
  if(log_.empty()) return why = "no file for the server's output: " + std::string(strerror(errno)), false;
  if(pipe2(fds, O_CLOEXEC) != 0) return why = "no pipe: " + std::string(strerror(errno)), false;
  // the server writes its display number to descriptor 3 once it is ready
  const bool started =
    server_.Start({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, log_, fds[1], why);
  close(fds[1]);
  if(!started) return close(fds[0]), false;

  // the server writes its display number once it is ready, then keeps the pipe
  std::string number;
  int status = 0;
  bool gone = false;
  const auto nameEnd = std::chrono::steady_clock::now() + NameBound;
  bool closed = false;
  while(number.find('\n') == std::string::npos)
  {
    pollfd p = {fds[0], POLLIN, 0};
    if(closed) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    else if(poll(&p, 1, 200) > 0)
    {
      char c[32];
      ssize_t n = read(fds[0], c, sizeof(c));
      if(n > 0) number.append(c, size_t(n));
      closed = n == 0;   // a server that closes the pipe unnamed is on its way out
    }
    if(server_.Ended(status)) { gone = true; break; }
    if(std::chrono::steady_clock::now() > nameEnd) break;
  }
  close(fds[0]);
  if(gone) return why = Describe(status) + " before it named its display; its output:\n" + server_.Output(), false;
  if(number.find('\n') == std::string::npos)
    return why = "the server named no display within " + std::to_string(NameBound.count()) + " s; its output:\n" +
                 server_.Output(),
           false;
  const std::string name = ":" + std::to_string(std::atoi(number.c_str()));
  why = server_.AwaitClient(name, ClientBound);
  if(!why.empty()) return false;
  name_ = name;
  return true;
}

void TestDisplay::Stop()
{
  server_.Stop();
  name_.clear();
}
}
