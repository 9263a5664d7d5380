#include "common/server_process.hpp"

#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace sparktest
{
bool ServerProcess::Start(const std::vector<std::string> &args, const std::string &outFile, int fd3, std::string &why)
{
  Stop();
  out_ = outFile;
  // all the child needs is made before the fork: between fork and exec it only calls the system
  std::vector<char *> argv;
  for(const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  const int outFd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if(pid == 0)
  {
    // the server goes when the test does, even when the test is killed
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if(getppid() != parent) _exit(126);
    if(int null = open("/dev/null", O_RDONLY); null >= 0) dup2(null, 0);
    if(outFd >= 0) dup2(outFd, 1), dup2(outFd, 2);
    // the test's other descriptors stay behind
    if(fd3 == 3) fcntl(3, F_SETFD, 0);
    else if(fd3 >= 0) dup2(fd3, 3);
    close_range(fd3 >= 0 ? 4 : 3, ~0U, 0);
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
  }
  const int err = errno;
  if(outFd >= 0) close(outFd);
  if(pid < 0) return why = "cannot start a process: " + std::string(strerror(err)), false;
  pid_ = pid;
  return true;
}

bool ServerProcess::Ended(int &status)
{
  if(pid_ <= 0) return true;
  if(waitpid(pid_, &status, WNOHANG) != pid_) return false;
  pid_ = -1;
  return true;
}

void ServerProcess::Stop()
{
  if(pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for(int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; i++)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if(waitpid(pid_, &status, WNOHANG) == 0) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string ServerProcess::Output() const { return FileTail(out_); }

std::string ServerProcess::AwaitClient(const std::string &name, std::chrono::seconds bound)
{
  const auto end = std::chrono::steady_clock::now() + bound;
  for(;;)
  {
    if(Display *dpy = XOpenDisplay(name.c_str()))
    {
      XCloseDisplay(dpy);
      return {};
    }
    int status = 0;
    if(Ended(status))
      return Describe(status) + " before display " + name + " took a client; its output:\n" + Output();
    if(std::chrono::steady_clock::now() > end)
      return "display " + name + " took no client within " + std::to_string(bound.count()) +
             " s; the server's output:\n" + Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string MakeTemp(const std::string &prefix, bool folder)
{
  const char *base = getenv("TMPDIR");
  std::string path = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
  if(folder) return mkdtemp(path.data()) ? path : std::string();
  const int fd = mkstemp(path.data());
  if(fd < 0) return {};
  close(fd);
  return path;
}

std::string FileTail(const std::string &path)
{
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  std::string out = s.str();
  if(out.empty()) return "(nothing)";
  return out.size() > 4000 ? "..." + out.substr(out.size() - 4000) : out;
}

std::string Describe(int status)
{
  if(WIFEXITED(status)) return "the server exited with code " + std::to_string(WEXITSTATUS(status));
  if(WIFSIGNALED(status)) return "the server was ended by signal " + std::to_string(WTERMSIG(status));
  return "the server stopped";
}
}
