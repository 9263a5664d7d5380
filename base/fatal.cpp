// The fatal-error routine and the assertion messages.
#include "base/types.hpp"
#include "platform/text/utf.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

void sFatal(const sChar *text)
{
  std::string s = plat::ToUtf8(text);
  s += "\n";
  ssize_t r = write(2, s.data(), s.size());
  (void)r;
  _exit(1);
}

void sAssertionFailed(const char *file, sInt line, const sChar *expr, const sChar *desc)
{
  std::u16string s;
  for(const char *f = file; *f; f++) s += sChar(sU8(*f));
  s += u"(" + [&] { std::u16string n; for(char c : std::to_string(line)) n += sChar(c); return n; }() + u"): Assertion failed";
  if(expr && *expr) { s += u"\nExpression: "; s += expr; }
  if(desc && *desc) { s += u"\nDescription: "; s += desc; }
  sFatal(s.c_str());
}

void sFatalAtLine(const char *file, sInt line)
{
  std::u16string s;
  for(const char *f = file; *f; f++) s += sChar(sU8(*f));
  s += u"(";
  for(char c : std::to_string(line)) s += sChar(c);
  s += u") : assertion";
  sFatal(s.c_str());
}
