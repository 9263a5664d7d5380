#include "common/dummy_display.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace sparktest
{
namespace
{
// a bound only a broken server reaches: a loaded machine can take many seconds to start one
constexpr auto ClientBound = std::chrono::seconds(120);
// display numbers tried, above those the other test servers take
constexpr int FirstNumber = 420, LastNumber = 499;

const char *Config = "Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n  VideoRam 256000\nEndSection\n"
                     "Section \"Monitor\"\n  Identifier \"monitor\"\n  HorizSync 5.0 - 1000.0\n"
                     "  VertRefresh 5.0 - 200.0\nEndSection\n"
                     "Section \"Screen\"\n  Identifier \"screen\"\n  Device \"dummy\"\n  Monitor \"monitor\"\n"
                     "  DefaultDepth 24\n  SubSection \"Display\"\n    Depth 24\n    Virtual 4480 1080\n"
                     "  EndSubSection\nEndSection\n";

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
}

bool HaveDummyX()
{
  return system("command -v Xorg > /dev/null 2>&1 && command -v xrandr > /dev/null 2>&1") == 0 &&
         Exists("/usr/lib/xorg/modules/drivers/dummy_drv.so");
}

DummyDisplay::DummyDisplay(int displays)
{
  if(displays < 1 || displays > 3)
  {
    failure_ = "the dummy X server offers 1 to 3 displays";
    return;
  }
  displays_ = displays;
  if(!HaveDummyX())
  {
    failure_ = "no dummy X server here: xserver-xorg-core, xserver-xorg-video-dummy and x11-xserver-utils are needed";
    return;
  }
  const char *base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sparktest-xorg.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back(0);
  if(!mkdtemp(buf.data()))
  {
    failure_ = "no folder for the server's files: " + std::string(strerror(errno));
    return;
  }
  dir_ = buf.data();
  std::ofstream(dir_ + "/xorg.conf") << Config;

  std::string why;
  for(int n = FirstNumber; n <= LastNumber && name_.empty(); n++)
  {
    const std::string number = std::to_string(n);
    if(Exists("/tmp/.X" + number + "-lock") || Exists("/tmp/.X11-unix/X" + number)) continue;
    lock_ = open(("/tmp/.sparktest-xorg" + number + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if(lock_ < 0 || flock(lock_, LOCK_EX | LOCK_NB) != 0)
    {
      if(lock_ >= 0) close(lock_);
      lock_ = -1;
      continue;
    }
    if(Start(n, why)) break;
    failure_ += "display :" + number + ": " + why + "\n";
    Stop();
    // a server that came up without its displays would do no better on another number
    if(why.find("xrandr") != std::string::npos) break;
  }
  if(name_.empty())
  {
    failure_ = "no dummy X server of the test's own came up (Xorg :N -config " + dir_ +
               "/xorg.conf -noreset -nolisten tcp)\n" + failure_;
    Stop();
  }
  else
  {
    failure_.clear();
  }
}

DummyDisplay::~DummyDisplay()
{
  Stop();
  if(!dir_.empty()) system(("rm -rf '" + dir_ + "'").c_str());
}

bool DummyDisplay::Start(int number, std::string &why)
{
  const std::string name = ":" + std::to_string(number), out = dir_ + "/xorg.out";
  const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t parent = getpid();
  pid_t pid = fork();
  if(pid == 0)
  {
    // the server goes when the test does, even when the test is killed
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if(getppid() != parent) _exit(126);
    if(int null = open("/dev/null", O_RDONLY); null >= 0) dup2(null, 0);
    if(outFd >= 0) dup2(outFd, 1), dup2(outFd, 2);
    close_range(3, ~0U, 0);
    const std::string config = dir_ + "/xorg.conf", log = dir_ + "/xorg.log";
    execlp("Xorg", "Xorg", name.c_str(), "-config", config.c_str(), "-logfile", log.c_str(), "-noreset", "-nolisten",
           "tcp", static_cast<char *>(nullptr));
    std::fprintf(stderr, "cannot run Xorg: %s\n", strerror(errno));
    _exit(127);
  }
  if(outFd >= 0) close(outFd);
  if(pid < 0) return why = "cannot start a process: " + std::string(strerror(errno)), false;
  pid_ = pid;

  // ready means a client is taken: try as a client would, while the server lives
  const auto end = std::chrono::steady_clock::now() + ClientBound;
  for(;;)
  {
    if(Display *dpy = XOpenDisplay(name.c_str()))
    {
      XCloseDisplay(dpy);
      break;
    }
    int status = 0;
    if(waitpid(pid_, &status, WNOHANG) == pid_)
    {
      pid_ = -1;
      return why = "the server ended before it took a client; its output:\n" + Output(out), false;
    }
    if(std::chrono::steady_clock::now() > end)
      return why = "the server took no client within " + std::to_string(ClientBound.count()) + " s; its output:\n" +
                   Output(out),
             false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  // the outputs side by side; the virtual screen grows with them
  std::string steps = "xrandr --output DUMMY0 --mode 1920x1080";
  for(int d = 1; d < displays_; d++)
  {
    const std::string o = "DUMMY" + std::to_string(d);
    steps += " && xrandr --addmode " + o + " 1280x720 && xrandr --output " + o + " --mode 1280x720 --right-of DUMMY" +
             std::to_string(d - 1);
  }
  const std::string result = dir_ + "/xrandr.out";
  const std::string command = "DISPLAY=" + name + " sh -c '" + steps + " && xrandr --listmonitors' > " + result + " 2>&1";
  if(system(command.c_str()) != 0 || Output(result).find("Monitors: " + std::to_string(displays_)) == std::string::npos)
    return why = "xrandr could not set the displays (" + steps + "):\n" + Output(result), false;
  name_ = name;
  return true;
}

void DummyDisplay::Stop()
{
  if(pid_ > 0)
  {
    kill(pid_, SIGTERM);
    int status = 0;
    for(int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if(waitpid(pid_, &status, WNOHANG) == 0) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  if(lock_ >= 0) close(lock_);
  lock_ = -1;
  name_.clear();
}

std::string DummyDisplay::Output(const std::string &file) const
{
  std::stringstream s;
  s << std::ifstream(file).rdbuf();
  std::string out = s.str();
  if(out.empty()) return "(nothing)";
  return out.size() > 4000 ? "..." + out.substr(out.size() - 4000) : out;
}
}
