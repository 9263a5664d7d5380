#include "common/test_display.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

std::string Describe(int status)
{
  if(WIFEXITED(status)) return "the server exited with code " + std::to_string(WEXITSTATUS(status));
  if(WIFSIGNALED(status)) return "the server was ended by signal " + std::to_string(WTERMSIG(status));
  return "the server stopped";
}
}

bool HaveXvfb() { return system("command -v Xvfb > /dev/null 2>&1") == 0; }

TestDisplay::TestDisplay(const std::string &screen)
{
  const char *base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sparktest-xvfb.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back(0);
  if(int fd = mkstemp(buf.data()); fd >= 0) close(fd), log_ = buf.data();
  std::string why;
  for(int attempt = 1; attempt <= Attempts; attempt++)
  {
    if(Start(screen, why)) return;
    failure_ += "attempt " + std::to_string(attempt) + ": " + why + "\n";
    // a server that is still there answers no more than the one that ended
    if(pid_ > 0) break;
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
  const int logFd = open(log_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  const pid_t parent = getpid();
  pid_t pid = fork();
  if(pid == 0)
  {
    // the server goes when the test does, even when the test is killed
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if(getppid() != parent) _exit(126);
    if(int null = open("/dev/null", O_RDONLY); null >= 0) dup2(null, 0);
    if(logFd >= 0) dup2(logFd, 1), dup2(logFd, 2);
    // the display number goes to descriptor 3; the test's other descriptors stay behind
    if(fds[1] == 3) fcntl(3, F_SETFD, 0);
    else dup2(fds[1], 3);
    close_range(4, ~0U, 0);
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
           static_cast<char *>(nullptr));
    std::fprintf(stderr, "cannot run Xvfb: %s\n", strerror(errno));
    _exit(127);
  }
  close(fds[1]);
  if(logFd >= 0) close(logFd);
  if(pid < 0) return close(fds[0]), why = "cannot start a process: " + std::string(strerror(errno)), false;
  pid_ = pid;

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
    if(waitpid(pid_, &status, WNOHANG) == pid_) { gone = true; break; }
    if(std::chrono::steady_clock::now() > nameEnd) break;
  }
  close(fds[0]);
  if(gone)
  {
    pid_ = -1;
    return why = Describe(status) + " before it named its display; its output:\n" + Output(), false;
  }
  if(number.find('\n') == std::string::npos)
    return why = "the server named no display within " + std::to_string(NameBound.count()) + " s; its output:\n" + Output(),
           false;
  const std::string name = ":" + std::to_string(std::atoi(number.c_str()));

  // ready means a client is taken: try as a client would, while the server lives
  const auto clientEnd = std::chrono::steady_clock::now() + ClientBound;
  for(;;)
  {
    if(Display *dpy = XOpenDisplay(name.c_str()))
    {
      XCloseDisplay(dpy);
      name_ = name;
      return true;
    }
    if(waitpid(pid_, &status, WNOHANG) == pid_)
    {
      pid_ = -1;
      return why = Describe(status) + " after it named display " + name + "; its output:\n" + Output(), false;
    }
    if(std::chrono::steady_clock::now() > clientEnd)
      return why = "display " + name + " took no client within " + std::to_string(ClientBound.count()) +
                   " s; the server's output:\n" + Output(),
             false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void TestDisplay::Stop()
{
  if(pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for(int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if(waitpid(pid_, &status, WNOHANG) == 0) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
  pid_ = -1;
  name_.clear();
}

std::string TestDisplay::Output() const
{
  std::stringstream s;
  s << std::ifstream(log_).rdbuf();
  std::string out = s.str();
  if(out.empty()) return "(nothing)";
  return out.size() > 4000 ? "..." + out.substr(out.size() - 4000) : out;
}
}
