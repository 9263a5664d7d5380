// The fatal-error routine and the assertion messages.
#include "base/types.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{
std::string ToUtf8(const sChar *text)
{
  std::string out;
  for(; text && *text; text++)
  {
    sU32 c = *text;
    if(c >= 0xd800 && c < 0xdc00 && text[1] >= 0xdc00 && text[1] < 0xe000)
      c = 0x10000 + ((c - 0xd800) << 10) + (*++text - 0xdc00);
    if(c < 0x80) out += char(c);
    else if(c < 0x800) { out += char(0xc0 | (c >> 6)); out += char(0x80 | (c & 63)); }
    else if(c < 0x10000) { out += char(0xe0 | (c >> 12)); out += char(0x80 | ((c >> 6) & 63)); out += char(0x80 | (c & 63)); }
    else { out += char(0xf0 | (c >> 18)); out += char(0x80 | ((c >> 12) & 63)); out += char(0x80 | ((c >> 6) & 63)); out += char(0x80 | (c & 63)); }
  }
  return out;
}
}

void sFatal(const sChar *text)
{
  std::string s = ToUtf8(text);
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
