#include "platform/text/utf.hpp"

#include <cstring>

namespace plat
{

std::string ToUtf8(const char16_t *text)
{
  size_t n = 0;
  if(text)
    while(text[n]) n++;
  return ToUtf8(text, n);
}

std::string ToUtf8(const char16_t *text, size_t length)
{
  std::string out;
  out.reserve(length);
  for(size_t i = 0; i < length; i++)
  {
    char32_t c = text[i];
    if(c >= 0xd800 && c < 0xdc00 && i + 1 < length && text[i + 1] >= 0xdc00 && text[i + 1] < 0xe000)
      c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
    else if(c >= 0xd800 && c < 0xe000)
      c = 0xfffd;
    if(c < 0x80)
      out += char(c);
    else if(c < 0x800)
    {
      out += char(0xc0 | (c >> 6));
      out += char(0x80 | (c & 63));
    }
    else if(c < 0x10000)
    {
      out += char(0xe0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 63));
      out += char(0x80 | (c & 63));
    }
    else
    {
      out += char(0xf0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 63));
      out += char(0x80 | ((c >> 6) & 63));
      out += char(0x80 | (c & 63));
    }
  }
  return out;
}

std::u16string ToUtf16(const char *text) { return ToUtf16(text, text ? strlen(text) : 0); }

std::u16string ToUtf16(const char *text, size_t length)
{
  std::u16string out;
  out.reserve(length);
  const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
  size_t i = 0;
  while(i < length)
  {
    unsigned char b = s[i];
    int extra;
    char32_t c, min;
    if(b < 0x80) { c = b; extra = 0; min = 0; }
    else if((b & 0xe0) == 0xc0) { c = b & 0x1f; extra = 1; min = 0x80; }
    else if((b & 0xf0) == 0xe0) { c = b & 0x0f; extra = 2; min = 0x800; }
    else if((b & 0xf8) == 0xf0) { c = b & 0x07; extra = 3; min = 0x10000; }
    else { out += char16_t(0xfffd); i++; continue; }
    bool ok = true;
    for(int k = 1; k <= extra; k++)
    {
      if(i + k >= length || (s[i + k] & 0xc0) != 0x80) { ok = false; break; }
      c = (c << 6) | (s[i + k] & 0x3f);
    }
    if(!ok || c < min || c > 0x10ffff || (c >= 0xd800 && c < 0xe000))
    {
      out += char16_t(0xfffd);
      i++;
      continue;
    }
    i += extra + 1;
    if(c >= 0x10000)
    {
      c -= 0x10000;
      out += char16_t(0xd800 + (c >> 10));
      out += char16_t(0xdc00 + (c & 0x3ff));
    }
    else
      out += char16_t(c);
  }
  return out;
}

}
