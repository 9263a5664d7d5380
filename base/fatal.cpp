// The fatal-error routine and the assertion messages.
#include "base/types.hpp"
#include "platform/text/utf.hpp"

#include <string>
#include <unistd.h>

namespace
{
thread_local bool InFatal = false;

void WriteAll(const std::string &s)
{
  const char *p = s.data();
  size_t left = s.size();
  while(left > 0)
  {
    ssize_t r = write(2, p, left);
    if(r <= 0) break;
    p += r;
    left -= size_t(r);
  }
}
}

void sFatal(const sChar *text)
{
  InFatal = true;
  std::string s = plat::ToUtf8(text ? text : u"");
  s += "\n";
  WriteAll(s);
  _exit(1);
}

void sAssertionFailed(const char *file, sInt line, const sChar *expr, const sChar *desc)
{
  if(InFatal)
  {
    // a check failed while a fatal error was being reported: do not format again
    WriteAll(std::string(file ? file : "") + "(" + std::to_string(line) + "): Assertion failed\n");
    _exit(1);
  }
  InFatal = true;
  // a buffer of its own: the failing code may be using the thread's scratch buffer
  sChar wfile[1024];
  sCopyString8(wfile, file ? file : "");
  bool hasExpr = expr && *expr;
  bool hasDesc = desc && *desc;
  sChar text[1024];
  sSPrintF(text, u"%s(%d): Assertion failed%s%s%s%s", wfile, line, hasExpr ? u"\nExpression: " : u"",
           hasExpr ? expr : u"", hasDesc ? u"\nDescription: " : u"", hasDesc ? desc : u"");
  sFatal(text);
}

void sFatalAtLine(const char *file, sInt line)
{
  if(InFatal)
  {
    WriteAll(std::string(file ? file : "") + "(" + std::to_string(line) + ") : assertion\n");
    _exit(1);
  }
  InFatal = true;
  sChar wfile[1024];
  sCopyString8(wfile, file ? file : "");
  sChar text[1024];
  sSPrintF(text, u"%s(%d) : assertion", wfile, line);
  sFatal(text);
}
