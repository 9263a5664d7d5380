#include "common/dummy_display.hpp"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

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
  dir_ = MakeTemp("sparktest-xorg.", true);
  if(dir_.empty())
  {
    failure_ = "no folder for the server's files: " + std::string(strerror(errno));
    return;
  }
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
  const std::string name = ":" + std::to_string(number);
  if(!server_.Start({"Xorg", name, "-config", dir_ + "/xorg.conf", "-logfile", dir_ + "/xorg.log", "-noreset", "-nolisten",
                     "tcp"},
                    dir_ + "/xorg.out", -1, why))
    return false;
  why = server_.AwaitClient(name, ClientBound);
  if(!why.empty()) return false;

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
  if(system(command.c_str()) != 0 || FileTail(result).find("Monitors: " + std::to_string(displays_)) == std::string::npos)
    return why = "xrandr could not set the displays (" + steps + "):\n" + FileTail(result), false;
  name_ = name;
  return true;
}

void DummyDisplay::Stop()
{
  server_.Stop();
  if(lock_ >= 0) close(lock_);
  lock_ = -1;
  name_.clear();
}
}
