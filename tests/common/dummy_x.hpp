#pragma once
// An X server of a test's own that offers several displays, as a machine with several
// monitors does: Xorg with the dummy video driver, its outputs DUMMY0.. set side by side
// with xrandr. Display 0 is 1920 x 1080 at the left, every further one 1280 x 720 to the
// right of the one before. The display number is one that no server holds, taken under a
// lock file, so tests running at once never share one.
//
//   sparktest::DummyXServer x(3);
//   if(!x.Ok()) GTEST_SKIP() << x.Error;   // why it did not start, the server's output included
//   setenv("DISPLAY", x.Name.c_str(), 1);

#include "common/temp_dir.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace sparktest
{
class DummyXServer
{
public:
  struct Bounds { int X, Y, Width, Height; };

  explicit DummyXServer(int displays)
  {
    if(displays < 1 || displays > 3)
    {
      Error = "the dummy X server offers 1 to 3 displays";
      return;
    }
    if(std::system("command -v Xorg > /dev/null && command -v xrandr > /dev/null && "
                   "test -e /usr/lib/xorg/modules/drivers/dummy_drv.so") != 0)
    {
      Error = "no dummy X server here: install xserver-xorg-core, xserver-xorg-video-dummy and x11-xserver-utils";
      return;
    }
    const std::string config = Dir.Name8("xorg.conf"), log = Dir.Name8("xorg.log"), out = Dir.Name8("xorg.out");
    {
      std::ofstream f(config);
      f << "Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n  VideoRam 256000\nEndSection\n"
           "Section \"Monitor\"\n  Identifier \"monitor\"\n  HorizSync 5.0 - 1000.0\n  VertRefresh 5.0 - 200.0\nEndSection\n"
           "Section \"Screen\"\n  Identifier \"screen\"\n  Device \"dummy\"\n  Monitor \"monitor\"\n  DefaultDepth 24\n"
           "  SubSection \"Display\"\n    Depth 24\n    Virtual 4480 1080\n  EndSubSection\nEndSection\n";
    }
    // a display number no other server has and no other test takes: the server's own
    // choice (-displayfd) can land on a number whose socket another server holds
    std::string number;
    for(int n = 420; n < 500 && number.empty(); n++)
    {
      const std::string lock = "/tmp/.sparktest-x" + std::to_string(n) + ".lock";
      if(access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0 ||
         access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0)
        continue;
      Lock = open(lock.c_str(), O_RDWR | O_CREAT, 0666);
      if(Lock < 0 || flock(Lock, LOCK_EX | LOCK_NB) != 0)
      {
        if(Lock >= 0) close(Lock);
        Lock = -1;
        continue;
      }
      if(Start(n, config, log, out)) number = std::to_string(n);
      else close(Lock), Lock = -1;
    }
    if(number.empty())
    {
      Error = "the X server did not start:\n" + Text(out) + Text(log);
      Stop();
      return;
    }
    // the outputs side by side; the virtual screen grows with them
    std::string name = ":" + number, steps = "xrandr --output DUMMY0 --mode 1920x1080";
    for(int d = 1; d < displays; d++)
    {
      const std::string o = "DUMMY" + std::to_string(d);
      steps += " && xrandr --addmode " + o + " 1280x720 && xrandr --output " + o + " --mode 1280x720 --right-of DUMMY" +
               std::to_string(d - 1);
    }
    const std::string result = Dir.Name8("xrandr.out");
    const std::string command = "DISPLAY=" + name + " sh -c '" + steps + " && xrandr --listmonitors' > " + result + " 2>&1";
    if(std::system(command.c_str()) != 0 ||
       Text(result).find("Monitors: " + std::to_string(displays)) == std::string::npos)
    {
      Error = "the X server's displays could not be set:\n" + Text(result) + Text(out);
      Stop();
      return;
    }
    Name = name;
    Displays = displays;
  }
  ~DummyXServer() { Stop(); }
  DummyXServer(const DummyXServer &) = delete;
  DummyXServer &operator=(const DummyXServer &) = delete;

  bool Ok() const { return !Name.empty(); }
  // Where display d lies on the server's screen.
  static Bounds Of(int d) { return d == 0 ? Bounds{0, 0, 1920, 1080} : Bounds{1920 + (d - 1) * 1280, 0, 1280, 720}; }

  std::string Name;     // the DISPLAY value, empty when the server does not run
  std::string Error;    // why not
  int Displays = 0;

private:
  TempDir Dir;
  pid_t Pid = -1;

  int Lock = -1;

  // Starts the server as display n; false when it ends before it takes clients.
  bool Start(int n, const std::string &config, const std::string &log, const std::string &out)
  {
    int fds[2];
    if(pipe(fds) != 0) return false;
    Pid = fork();
    if(Pid == 0)
    {
      close(fds[0]);
      if(int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); o >= 0) dup2(o, 1), dup2(o, 2);
      execlp("Xorg", "Xorg", (":" + std::to_string(n)).c_str(), "-displayfd", std::to_string(fds[1]).c_str(), "-config",
             config.c_str(), "-logfile", log.c_str(), "-noreset", "-nolisten", "tcp", static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    bool ready = false;
    if(Pid > 0)
    {
      // the server writes its number once it takes clients; a server that fails closes the pipe
      pollfd p = {fds[0], POLLIN, 0};
      char buf[32] = {};
      ready = poll(&p, 1, 60000) > 0 && read(fds[0], buf, sizeof(buf) - 1) > 0;
    }
    close(fds[0]);
    if(!ready) Stop();
    return ready;
  }
  void Stop()
  {
    if(Pid > 0) kill(Pid, SIGTERM), waitpid(Pid, nullptr, 0);
    Pid = -1;
    if(Lock >= 0) close(Lock);
    Lock = -1;
  }
  static std::string Text(const std::string &file)
  {
    std::stringstream s;
    s << std::ifstream(file).rdbuf();
    return s.str();
  }
};
}
