#pragma once
// A process of one test's own, as TestDisplay and DummyDisplay start their display server
// and the touch runs the program:
// its input from /dev/null, both its output streams into a file that failure messages
// quote, none of the test's descriptors but, where asked, one as descriptor 3. The server
// goes with the object, and with the thread that started it if that dies first (the test
// process killed, say).

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sparktest
{
class ServerProcess
{
public:
  ServerProcess() = default;
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess &) = delete;
  ServerProcess &operator=(const ServerProcess &) = delete;

  // Starts args[0] (looked up on the PATH) with the rest as its arguments, its output into
  // outFile (emptied first); fd3 >= 0 is handed to it as descriptor 3. False, with why,
  // when no process could be started.
  bool Start(const std::vector<std::string> &args, const std::string &outFile, int fd3, std::string &why);
  // Whether a process is there that has not been seen to end.
  bool Running() const { return pid_ > 0; }
  // Its process id while it runs (a debugger may look at it); -1 otherwise.
  pid_t Pid() const { return pid_; }
  // Whether the process has ended; the call that finds so fills status (a wait status).
  bool Ended(int &status);
  // Ends the process: SIGTERM, then SIGKILL when it is still there ten seconds on.
  void Stop();
  // The end of what the process wrote, for failure messages.
  std::string Output() const;
  // Waits, while the process lives, until display name (":N") takes a client, as a client
  // would see the server ready. Empty when it did; otherwise why not, with the output.
  std::string AwaitClient(const std::string &name, std::chrono::seconds bound);

private:
  pid_t pid_ = -1;
  std::string out_;
};

// A new folder (folder) or empty file below $TMPDIR (or /tmp) whose name starts with
// prefix; empty when none could be made (errno says why).
std::string MakeTemp(const std::string &prefix, bool folder);
// The end of a file's text, for failure messages; "(nothing)" when there is none.
std::string FileTail(const std::string &path);
// What a wait status says of how the server ended.
std::string Describe(int status);
}
