#pragma once
// Capture of what the program writes while a capture lives: the log lines (as a log file
// would receive them) or the debug output (every channel, every thread), as UTF-8.

#include "base/log.hpp"
#include "base/system.hpp"
#include "platform/text/utf.hpp"

#include <mutex>
#include <string>

namespace sparktest
{
inline size_t CountOf(const std::string &text, const std::string &part)
{
  size_t n = 0;
  for(size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) n++;
  return n;
}

class CaptureBase
{
public:
  std::string Text()
  {
    std::lock_guard<std::mutex> lock(M);
    return All;
  }
  bool Has(const std::string &part) { return Text().find(part) != std::string::npos; }
  int Count(const std::string &part) { return int(CountOf(Text(), part)); }
  void Clear()
  {
    std::lock_guard<std::mutex> lock(M);
    All.clear();
  }

protected:
  static void Take(const sChar *text, void *user)
  {
    CaptureBase *self = static_cast<CaptureBase *>(user);
    std::lock_guard<std::mutex> lock(self->M);
    self->All += plat::ToUtf8(text);
  }
  std::mutex M;
  std::string All;
};

// The lines that go to the log file.
class LogCapture : public CaptureBase
{
public:
  LogCapture() { sSetLogFileOutput(&Take, this); }
  ~LogCapture() { sSetLogFileOutput(nullptr, nullptr); }
};

// The debug output; Stop ends the capture early (the text stays).
class DebugCapture : public CaptureBase
{
  sDebugOutputFunc Old;
  void *OldUser = nullptr;
  bool Running = true;

public:
  DebugCapture() { Old = sSetDebugOutputCapture(&Take, this, &OldUser); }
  ~DebugCapture() { Stop(); }
  void Stop()
  {
    if(Running) sSetDebugOutputCapture(Old, OldUser);
    Running = false;
  }
};
}
