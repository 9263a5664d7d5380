// The fatal-error routine, stack traces, fatal signals and the assertion messages.
#include "base/app.hpp"
#include "base/system.hpp"
#include "platform/system/system.hpp"
#include "platform/text/utf.hpp"

#include <atomic>
#include <csignal>
#include <string>
#include <unistd.h>

namespace
{
constexpr sInt FatalTextSize = 1024;
constexpr sInt FatalFrames = 8;

std::atomic<sBool> FatalInProgress{0};
std::atomic<sU32> FatalThread{0};
thread_local bool InFatal = false;
std::atomic<const sFatalWindowFuncs *> WindowFuncs{nullptr};
std::atomic<sDXErrorTextFunc> DXErrorText{nullptr};
// the text being reported, written out first when its report fails in turn
std::atomic<const sChar *> PendingText{nullptr};

void WriteAll(const std::string &s)
{
  plat::WriteDebugOutput(s.data(), s.size());
}

void WritePending()
{
  if(const sChar *text = PendingText.exchange(nullptr)) WriteAll(plat::ToUtf8(text) + "\n");
}

// A fatal error while one is being reported: on the same thread the report itself
// failed, so only the text is written; another thread waits for the first to end the
// process.
void SecondFatal(const std::string &text)
{
  if(FatalThread.load() != plat::CurrentThreadId())
  {
    for(;;) plat::SleepMs(1000);
  }
  WritePending();
  WriteAll(text + "\n");
  plat::TerminateProcess(1);
}

bool ClaimFatal()
{
  sU32 none = 0;
  if(!FatalThread.compare_exchange_strong(none, plat::CurrentThreadId())) return false;
  InFatal = true;
  return true;
}

void AppendFrames(const sStringRef &out, const std::vector<plat::StackFrame> &frames, size_t begin, sInt count)
{
  sChar line[1024];
  sInt number = 1;
  for(size_t i = begin; i < frames.size() && number <= count; i++, number++)
  {
    const plat::StackFrame &f = frames[i];
    if(!f.Function.empty() && !f.File.empty() && f.Line > 0)
    {
      std::u16string name = plat::ToUtf16(f.Function);
      std::string file = f.File;
      size_t slash = file.find_last_of("/\\");
      if(slash != std::string::npos) file = file.substr(slash + 1);
      std::u16string wfile = plat::ToUtf16(file);
      sSPrintF(line, u"%2d. %s (%s:%d)\n", number, name.c_str(), wfile.c_str(), f.Line);
    }
    else
    {
      sSPrintF(line, u"%2d. ??? (EIP=%08x)\n", number, sU64(f.Address));
    }
    sAppendString(out.Buffer, line, out.Size);
  }
}

// The bare name of a demangled function: "void ns::sFatalF<int>(char16_t const*)" gives
// "sFatalF", "(anonymous namespace)::BuildTrace(sStringRef const&)" gives "BuildTrace".
std::string BareName(const std::string &function)
{
  std::string s = function;
  static const std::string anonymous = "(anonymous namespace)";
  for(size_t at = s.find(anonymous); at != std::string::npos; at = s.find(anonymous, at)) s.replace(at, anonymous.size(), "anon");
  s = s.substr(0, s.find('('));
  std::string r;
  int depth = 0;
  for(char c : s)
  {
    if(c == '<') depth++;
    else if(c == '>') depth--;
    else if(depth == 0) r += c;
  }
  size_t cut = r.find_last_of(" :");
  return cut == std::string::npos ? r : r.substr(cut + 1);
}

// The frames of the fatal-error machinery itself are left out of its traces.
bool IsFatalMachinery(const std::string &function)
{
  static const char *const names[] = {"sFatal",      "sFatalF",          "sFatalDisplay", "sAssertionFailed",
                                      "sFatalAtLine", "sDXError",         "sStackTrace",   "CaptureStackTrace",
                                      "BuildTrace",   "SignalToFatal"};
  std::string bare = BareName(function);
  for(const char *n : names)
    if(bare == n) return true;
  return false;
}

// Fills trace with the frames of the caller of the fatal-error routine; false when no
// frame could be found.
bool BuildTrace(const sStringRef &trace)
{
  std::vector<plat::StackFrame> frames = plat::CaptureStackTrace(0, FatalFrames + 16);
  size_t begin = 0;
  while(begin < frames.size() && IsFatalMachinery(frames[begin].Function)) begin++;
  if(begin >= frames.size()) return false;
  trace.Buffer[0] = 0;
  AppendFrames(trace, frames, begin, FatalFrames);
  return true;
}

void SignalToFatal(const plat::FatalSignalInfo &info, void *)
{
  std::u16string text = plat::ToUtf16(info.Description ? info.Description : "fatal signal");
  const sFatalWindowFuncs *window = WindowFuncs.load();
  if(info.Signal != SIGABRT && window && window->InMessageLoop && window->InMessageLoop())
  {
    // a fault while a message is handled; the signal's number is its code on this system
    sChar loop[256];
    sSPrintF(sStringRef(loop, 256), u"Exception occured in Windows Message Loop.\nCode = %08x, Address = %016x.",
             sU32(info.Signal), sU64(info.InstructionAddress));
    text = loop;
  }
  sChar trace[FatalTextSize];
  trace[0] = 0;
  std::vector<plat::StackFrame> frames(info.Frames, info.Frames + info.FrameCount);
  AppendFrames(sStringRef(trace, FatalTextSize), frames, 0, FatalFrames);
  sFatalDisplay(text.c_str(), trace[0] ? trace : nullptr);
}
}

sBool sIsFatalInProgress() { return FatalInProgress.load(); }

void sSetFatalWindowFuncs(const sFatalWindowFuncs *funcs) { WindowFuncs.store(funcs); }

void sFatal(const sChar *text)
{
  if(!text) text = u"";
  if(FatalThread.load()) SecondFatal(plat::ToUtf8(text));
  InFatal = true;

  if(plat::IsDebuggerAttached() && !(sGetSystemFlags() & sISF_FULLSCREEN))
  {
    WriteAll(plat::ToUtf8(text) + "\n");
    plat::BreakIntoDebugger();
  }

  sChar trace[FatalTextSize];
  bool haveTrace = BuildTrace(sStringRef(trace, FatalTextSize));
  sFatalDisplay(text, haveTrace ? trace : nullptr);
}

void sFatalDisplay(const sChar *text, const sChar *trace)
{
  if(!ClaimFatal()) SecondFatal(plat::ToUtf8(text ? text : u""));
  {
    // the report ends the process within the deadline even where it cannot finish (the
    // text is copied without the allocator, which the failure may have left locked)
    char line[256];
    sInt n = 0;
    for(const sChar *c = text ? text : u""; *c && n < 255; c++) line[n++] = *c < 128 ? char(*c) : '?';
    line[n] = 0;
    plat::SetFatalDeadline(plat::FatalReportSeconds, line);
  }

  // a text that fills the buffer leaves no room for the trace behind it
  sChar buffer[FatalTextSize];
  sCopyString(buffer, text ? text : u"");
  if(trace)
  {
    sAppendString(buffer, u"\nStack trace:\n");
    sAppendString(buffer, trace);
  }

  // crash-hook callbacks may read the text and append to it
  PendingText.store(buffer);
  sCallHookRecord(sCrashHook, sStringRef(buffer, FatalTextSize));
  PendingText.store(nullptr);

  sExit(u"a fatal error");
  FatalInProgress.store(1);

  std::string utf8 = plat::ToUtf8(buffer);
  WriteAll(utf8 + "\n");

  const sFatalWindowFuncs *window = WindowFuncs.load();
  if(window && window->DestroyWindow) window->DestroyWindow();
  if(plat::IsInteractive())
  {
    // the box waits for a person, however long that takes
    plat::SetFatalDeadline(0, nullptr);
    std::string caption = "sparkvane";
    if(window && window->GetWindowName)
      if(const sChar *name = window->GetWindowName()) caption = plat::ToUtf8(name);
    plat::ShowErrorMessageBox(caption.c_str(), utf8.c_str());
  }
  plat::TerminateProcess(1);
}

sBool sStackTrace(const sStringRef &out, sInt first, sInt count)
{
  if(!out.Buffer || out.Size <= 0) return 0;
  // frame 0 is this function
  std::vector<plat::StackFrame> frames = plat::CaptureStackTrace(1 + (first > 0 ? first : 0), count > 0 ? count : 0);
  if(frames.empty()) return 0;
  AppendFrames(out, frames, 0, count);
  return 1;
}

void sInstallFatalSignalHandler()
{
  std::string error;
  if(!plat::InstallFatalSignalHandler(SignalToFatal, nullptr, &error))
  {
    std::u16string why = plat::ToUtf16(error);
    sDPrintF(u"fatal signals are not caught: %s\n", why.c_str());
  }
}

void sSetDXErrorText(sDXErrorTextFunc func) { DXErrorText.store(func); }

void sDXError(sS32 result, const char *file, sInt line, const sChar *call)
{
  if(result >= 0) return;
  const sChar *name = u"unknown";
  const sChar *description = u"unknown error";
  if(sDXErrorTextFunc f = DXErrorText.load()) f(result, &name, &description);
  std::u16string wfile = plat::ToUtf16(file ? file : "");
  sChar text[FatalTextSize];
  sSPrintF(text, u"%s(%d): %s error %08x (%d): %s (%s)", wfile.c_str(), line, call ? call : u"", sU32(result),
           sInt(result & 0x3fff), name ? name : u"", description ? description : u"");
  sFatal(text);
}

/****************************************************************************/
/***   Assertions                                                         ***/
/****************************************************************************/

namespace
{
// A check failed. While a fatal error is being reported already, the check failed inside
// that report: the line is written without formatting again and the process ends.
void StartCheckFailure(const char *file, sInt line, const char *what)
{
  if(InFatal)
  {
    WritePending();
    WriteAll(std::string(file ? file : "") + "(" + std::to_string(line) + what + "\n");
    plat::TerminateProcess(1);
  }
  InFatal = true;
}
}

void sAssertionFailed(const char *file, sInt line, const sChar *expr, const sChar *desc)
{
  StartCheckFailure(file, line, "): Assertion failed");
  // a buffer of its own: the failing code may be using the thread's scratch buffer
  sChar wfile[1024];
  sCopyString8(wfile, file ? file : "");
  bool hasExpr = expr && *expr;
  bool hasDesc = desc && *desc;
  sChar text[FatalTextSize];
  sSPrintF(text, u"%s(%d): Assertion failed%s%s%s%s", wfile, line, hasExpr ? u"\nExpression: " : u"",
           hasExpr ? expr : u"", hasDesc ? u"\nDescription: " : u"", hasDesc ? desc : u"");
  sFatal(text);
}

void sFatalAtLine(const char *file, sInt line)
{
  StartCheckFailure(file, line, ") : assertion");
  sChar wfile[1024];
  sCopyString8(wfile, file ? file : "");
  sChar text[FatalTextSize];
  sSPrintF(text, u"%s(%d) : assertion", wfile, line);
  sFatal(text);
}
