// Wide strings and the formatter.
#include "base/types.hpp"
#include "base/system.hpp"

/****************************************************************************/
/***   String helpers                                                     ***/
/****************************************************************************/

void sCopyString(sChar *dest, const sChar *src, sDInt n)
{
  if(n < 1 || !dest) return;   // a capacity of 0 or less has no room even for the terminator: nothing is written
  sDInt i = 0;
  if(src)
    for(; i < n - 1 && src[i]; i++) dest[i] = src[i];
  dest[i] = 0;
}

void sCopyString8(sChar *dest, const char *src, sDInt n)
{
  if(n < 1 || !dest) return;
  sDInt i = 0;
  if(src)
    for(; i < n - 1 && src[i]; i++) dest[i] = sChar(sU8(src[i]));
  dest[i] = 0;
}

void sAppendString(sChar *dest, const sChar *src, sDInt n)
{
  if(n < 1 || !dest) return;   // a capacity of 0 or less has no room even for the terminator: nothing is written
  if(n < 2)
  {
    dest[0] = 0;
    return;
  }
  sDInt i = 0;
  while(i < n - 1 && dest[i]) i++;
  if(src)
    for(; i < n - 1 && *src; i++) dest[i] = *src++;
  dest[i] = 0;
}

sChar sMakeLower(sChar c)
{
  if((c >= 'A' && c <= 'Z') || (c >= 192 && c <= 221 && c != 215)) return sChar(c + 32);
  return c;
}

sChar sMakeUpper(sChar c)
{
  if((c >= 'a' && c <= 'z') || (c >= 224 && c <= 253 && c != 247)) return sChar(c - 32);
  return c;
}

namespace
{
inline sChar UpperAZ(sChar c) { return (c >= 'a' && c <= 'z') ? sChar(c - 32) : c; }
inline sInt Sign(sInt d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }
const sChar EmptyString[1] = {0};
}

sInt sCompareString(const sChar *a, const sChar *b)
{
  return sCompareStringN(a, b, -1);
}

sInt sCompareStringNoCase(const sChar *a, const sChar *b)
{
  return sCompareStringNoCaseN(a, b, -1);
}

// n < 0: no limit
sInt sCompareStringN(const sChar *a, const sChar *b, sDInt n)
{
  if(!a) a = EmptyString;
  if(!b) b = EmptyString;
  for(sDInt i = 0; n < 0 || i < n; i++)
  {
    if(a[i] != b[i]) return Sign(sInt(a[i]) - sInt(b[i]));
    if(!a[i]) break;
  }
  return 0;
}

sInt sCompareStringNoCaseN(const sChar *a, const sChar *b, sDInt n)
{
  if(!a) a = EmptyString;
  if(!b) b = EmptyString;
  for(sDInt i = 0; n < 0 || i < n; i++)
  {
    sChar x = UpperAZ(a[i]), y = UpperAZ(b[i]);
    if(x != y) return Sign(sInt(x) - sInt(y));
    if(!x) break;
  }
  return 0;
}

sInt sFindString(const sChar *text, const sChar *part)
{
  if(!part || !*part) return 0;
  if(!text) return -1;
  for(sInt i = 0; text[i]; i++)
  {
    sInt j = 0;
    while(part[j] && text[i + j] == part[j]) j++;
    if(!part[j]) return i;
  }
  return -1;
}

sInt sFindFirstChar(const sChar *text, sInt c)
{
  if(!text) return -1;
  for(sInt i = 0; text[i]; i++)
    if(text[i] == c) return i;
  return -1;
}

sInt sFindLastChar(const sChar *text, sInt c)
{
  if(!text) return -1;
  sInt found = -1;
  for(sInt i = 0; text[i]; i++)
    if(text[i] == c) found = i;
  return found;
}

const sChar *sFindFileExtension(const sChar *name)
{
  sInt i = sFindLastChar(name, '.');
  return i >= 0 ? name + i + 1 : EmptyString;
}

sChar *sFindFileExtension(sChar *name)
{
  sInt i = sFindLastChar(name, '.');
  if(i >= 0) return name + i + 1;
  return name ? name + sGetStringLen(name) : nullptr;
}

namespace
{
inline bool IsPathSeparator(sChar c) { return c == '/' || c == '\\' || c == ':'; }
}

const sChar *sFindFileWithoutPath(const sChar *path)
{
  if(!path) return EmptyString;
  const sChar *r = path;
  for(const sChar *p = path; *p; p++)
    if(IsPathSeparator(*p)) r = p + 1;
  return r;
}

sChar *sFindFileWithoutPath(sChar *path)
{
  if(!path) return nullptr;
  sChar *r = path;
  for(sChar *p = path; *p; p++)
    if(IsPathSeparator(*p)) r = p + 1;
  return r;
}

void sExtractPath(const sChar *path, const sStringRef &dest)
{
  if(dest.Size < 1) return;
  sDInt len = path ? sDInt(sFindFileWithoutPath(path) - path) : 0;
  sDInt n = len + 1 < dest.Size ? len + 1 : dest.Size;
  sCopyString(dest.Buffer, path, n);
}

namespace
{
sChar WildcardFold(sChar c, sBool caseSensitive, sBool exactSlashes)
{
  if(!caseSensitive && ((c >= 'a' && c <= 'z') || (c >= 224 && c <= 253 && c != 247))) c = sChar(c - 32);
  if(!exactSlashes && c == '\\') c = '/';
  return c;
}
}

sBool sMatchWildcard(const sChar *text, const sChar *pattern, sBool caseSensitive, sBool exactSlashes)
{
  if(!text) text = EmptyString;
  if(!pattern) pattern = EmptyString;
  // Only the last star ever needs to be retried: when the rest after a later star fails
  // at every position, no earlier star could make it match. That keeps the match linear
  // in the number of retries instead of exponential in the number of stars.
  const sChar *star = nullptr;   // pattern behind the last star
  const sChar *retry = nullptr;  // text position that star covers up to
  for(;;)
  {
    sChar p = *pattern;
    if(p == '*')
    {
      while(*pattern == '*') pattern++;
      star = pattern;
      retry = text;
      continue;
    }
    if(p && *text &&
       (p == '?' || WildcardFold(p, caseSensitive, exactSlashes) == WildcardFold(*text, caseSensitive, exactSlashes)))
    {
      text++;
      pattern++;
      continue;
    }
    if(!p && !*text) return 1;
    // mismatch: let the last star take one more character
    if(!star || !*retry) return 0;
    retry++;
    text = retry;
    pattern = star;
  }
}

sBool sScanInt(const sChar *&text, sInt &value)
{
  if(!text) return 0;
  bool negative = false;
  if(*text == '-' || *text == '+')
  {
    negative = *text == '-';
    text++;
  }
  if(!(*text >= '0' && *text <= '9')) return 0;
  sU32 v = 0;
  bool overflow = false;
  while(*text >= '0' && *text <= '9')
  {
    sU32 d = sU32(*text - '0');
    if(v > (0x80000000u - d) / 10) overflow = true;
    else v = v * 10 + d;
    text++;
  }
  if(overflow) return 0;
  if(!negative && v > 0x7fffffffu) return 0;
  value = negative ? sInt(0u - v) : sInt(v);
  return 1;
}

/****************************************************************************/
/***   Float decomposition                                                ***/
/****************************************************************************/

void sFloatToDigits(sF32 value, sFloatInfo &info, sInt digits)
{
  if(digits < 1) digits = 1;
  // a precision beyond the digit buffer takes what the buffer holds instead of writing past it
  if(digits > sInt(sizeof(info.Digits)) - 1) digits = sInt(sizeof(info.Digits)) - 1;
  sU32 bits;
  static_assert(sizeof(bits) == sizeof(value));
  __builtin_memcpy(&bits, &value, sizeof(bits));

  info = sFloatInfo();
  info.Negative = (bits >> 31) & 1;
  sInt e = sInt((bits >> 23) & 0xff);
  sU32 m = bits & 0x7fffff;

  if(e == 255)
  {
    if(m)
    {
      info.NaN = 1;
      info.NaNPayload = m;
    }
    else
    {
      info.Infinite = 1;
    }
    return;
  }
  if(e == 0 && m == 0)
  {
    for(sInt i = 0; i < digits; i++) info.Digits[i] = '0';
    info.Digits[digits] = 0;
    info.Exponent = 0;
    return;
  }

  sInt b;
  if(e == 0)
  {
    // denormal: exponent -126 with the mantissa normalised, where e - 127 without the implicit bit halves its value
    b = -126;
    while(!(m & 0x800000))
    {
      m <<= 1;
      b--;
    }
  }
  else
  {
    m |= 0x800000;
    b = e - 127;
  }

  sU32 f = (m << 5) | 16;   // 4.28 fixed point with half a mantissa unit added
  sInt d = 0;
  if(b < -9)
  {
    sInt rounds = (-b - 10) / 10 + 1;
    for(sInt i = 0; i < rounds; i++)
    {
      d -= 3;
      f = sU32((sU64(f) * 64000) >> 16);
      if(f < 0x10000000)
      {
        f *= 10;
        d -= 1;
      }
    }
    b += 10 * rounds;
  }
  while(b < 0)
  {
    if(f < 0x20000000)
    {
      f *= 5;
      d -= 1;
    }
    else
    {
      f >>= 1;
    }
    b++;
  }
  if(b >= 10)
  {
    sInt rounds = b / 10;
    for(sInt i = 0; i < rounds; i++)
    {
      d += 3;
      f = sU32((sU64(f) << 10) / 1000);
      if(f >= 0xa0000000u)
      {
        f /= 10;
        d += 1;
      }
    }
    b %= 10;
  }
  for(sInt i = 0; i < b; i++)
  {
    if(f >= 0x50000000)
    {
      f /= 5;
      d += 1;
    }
    else
    {
      f *= 2;
    }
  }
  for(sInt i = 0; i < digits; i++)
  {
    info.Digits[i] = char('0' + (f >> 28));
    f = (f & 0x0fffffff) * 10;
  }
  info.Digits[digits] = 0;
  info.Exponent = d;
}

namespace
{
// Fixed-point text of a decomposed float, sign left out. Returns the length; a text that
// would not leave a slot besides the terminator becomes "###".
sInt PrintFixed(sChar *out, sInt cap, const sFloatInfo &info, sInt prec)
{
  sInt n = 0;
  bool overflow = false;
  auto put = [&](sChar c) {
    if(n < cap - 2) out[n++] = c;
    else overflow = true;
  };

  if(info.Infinite || info.NaN || info.Exponent > 50 || info.Exponent < -50)
  {
    // exponent form: a negative value gets its '-' from the caller and no '+' behind it
    // (one sign, not "-+#inf"); a positive one a '+'
    if(!info.Negative) put('+');
    const char *tail = "";
    char tmp[64];
    if(info.Infinite)
    {
      tail = "#inf";
    }
    else if(info.NaN)
    {
      __builtin_snprintf(tmp, sizeof(tmp), "#nan%u", unsigned(info.NaNPayload));
      tail = tmp;
    }
    else
    {
      __builtin_snprintf(tmp, sizeof(tmp), "%c.%se%d", info.Digits[0], info.Digits + 1, info.Exponent);
      tail = tmp;
    }
    for(const char *p = tail; *p; p++) put(sChar(*p));
    if(overflow) n = 0;
    out[n] = 0;
    return n;
  }

  const char *digits = info.Digits;
  sInt ndig = sInt(__builtin_strlen(digits));
  sInt di = 0;
  auto nextDigit = [&]() -> sChar { return di < ndig ? sChar(digits[di++]) : sChar('0'); };

  bool intDigits = false;
  for(sInt i = 0; i <= info.Exponent; i++)
  {
    put(nextDigit());
    intDigits = true;
  }
  if(prec > 0)
  {
    if(!intDigits) put('0');
    put('.');
    sInt left = prec;
    // zeros between the point and the first digit of a value below 0.1
    sInt zeros = info.Exponent < -1 ? -info.Exponent - 1 : 0;
    sInt lead = zeros < left ? zeros : left;
    for(sInt i = 0; i < lead; i++) put('0');
    left -= lead;
    zeros -= lead;
    for(; left > 0; left--) put(nextDigit());
    // round on the next digit when the precision ended inside the digits
    sChar next = zeros > 0 ? sChar('0') : (di < ndig ? sChar(digits[di]) : sChar('0'));
    if(next >= '5' && !overflow)
    {
      sInt i = n - 1;
      for(; i >= 0; i--)
      {
        if(out[i] == '.') continue;
        if(out[i] == '9')
        {
          out[i] = '0';
          continue;
        }
        out[i]++;
        break;
      }
      if(i < 0)
      {
        // carry out of the first digit
        if(n < cap - 2)
        {
          for(sInt k = n; k > 0; k--) out[k] = out[k - 1];
          out[0] = '1';
          n++;
        }
        else
        {
          overflow = true;
        }
      }
    }
  }
  if(overflow)
  {
    out[0] = out[1] = out[2] = '#';
    n = 3;
  }
  out[n] = 0;
  return n;
}

const sChar EmptyFormat[1] = {0};
// width and precision stop growing here: a longer run of digits would overflow the int
constexpr sInt WidthLimit = 100000000;
}

/****************************************************************************/
/***   sFormatBuffer                                                      ***/
/****************************************************************************/

void sFormatBuffer::Begin(const sStringRef &ref, const sChar *format)
{
  Start = Dest = ref.Buffer;
  End = ref.Buffer + ref.Size;
  FormatText = format ? format : EmptyFormat;
  Fill();
}

void sFormatBuffer::BeginScratch(const sChar *format)
{
  sThreadContext *tx = sGetThreadContext();
  Begin(sStringRef(tx->PrintBuffer, sThreadContext::PrintBufferSize), format);
}

bool sFormatBuffer::Fill()
{
  while(*FormatText && Dest < End - 1)
  {
    if(FormatText[0] == '%')
    {
      if(FormatText[1] != '%') break;
      *Dest++ = '%';
      FormatText += 2;
      continue;
    }
    *Dest++ = *FormatText++;
  }
  sVERIFY(Dest<End);
  if(!*FormatText || (FormatText[0] == '%' && FormatText[1] != '%'))
  {
    *Dest = 0;
    return true;
  }
  // full with format text left: mark the cut
  if(Dest > Start) Dest[-1] = '?';
  *Dest = 0;
  FormatText = EmptyFormat;
  return false;
}

bool sFormatBuffer::ParseSpec(sFormatSpec &info)
{
  if(!*FormatText) return false;   // used up or cut: nothing to do
  const sChar *Format = FormatText;
  sVERIFY(*Format=='%');
  Format++;
  if(*Format == '!') { info.Cut = 1; Format++; }
  if(*Format == '-') { info.Left = 1; Format++; }
  if(*Format == '0') info.Zero = 1;
  while(*Format >= '0' && *Format <= '9')
  {
    if(info.Width < WidthLimit) info.Width = info.Width * 10 + (*Format - '0');
    Format++;
  }
  if(*Format == '.')
  {
    info.Precision = 0;
    Format++;
    while(*Format >= '0' && *Format <= '9')
    {
      if(info.Precision < WidthLimit) info.Precision = info.Precision * 10 + (*Format - '0');
      Format++;
    }
  }
  info.Format = *Format;
  sVERIFY(info.Format);
  FormatText = Format + 1;
  return true;
}

void sFormatBuffer::Place(const sFormatSpec &spec, const sChar *text, sInt len, bool negative)
{
  sInt w = spec.Width;
  auto room = [&]() -> sInt { return sInt(End - 1 - Dest); };
  auto pad = [&](sChar c, sInt count) {
    if(count <= 0) return;
    sInt k = count < room() ? count : room();
    for(sInt i = 0; i < k; i++) *Dest++ = c;
    w -= count;
  };
  if(!spec.Left && !spec.Zero) pad(' ', w - (len + (negative ? 1 : 0)));
  if(negative)
  {
    Put('-');
    w--;
  }
  if(spec.Zero) pad('0', w - len);
  sInt written = 0;
  for(; written < len; written++)
  {
    if(spec.Cut && w < 1) break;
    Put(text[written]);
    w--;
  }
  if(spec.Left) pad(' ', w - (len - written));
}

void sFormatBuffer::Integer(const sFormatSpec &spec, sU64 v, bool negative)
{
  sChar buf[256];
  sInt n = 0;
  auto digits = [&](sU64 x, sInt base, const char *set) {
    sChar tmp[70];
    sInt k = 0;
    do
    {
      tmp[k++] = sChar(set[x % sU64(base)]);
      x /= sU64(base);
    } while(x);
    while(k > 0) buf[n++] = tmp[--k];
  };

  switch(spec.Format)
  {
  case 'x':
    digits(v, 16, "0123456789abcdef");
    break;
  case 'X':
    digits(v, 16, "0123456789ABCDEF");
    break;
  case 'K':
  {
    sInt steps = 0;
    while(v >= 10240 && steps < 7)
    {
      v >>= 10;
      steps++;
    }
    digits(v, 10, "0123456789");
    if(steps > 0) buf[n++] = sChar("KMGTPEZ"[steps - 1]);
    break;
  }
  case 'k':
  {
    sInt steps = 0;
    while(v >= 10000 && steps < 7)
    {
      v /= 1000;
      steps++;
    }
    digits(v, 10, "0123456789");
    if(steps > 0) buf[n++] = sChar("kmgtpez"[steps - 1]);
    break;
  }
  case 'h':
    if(v == 0)
    {
      buf[n++] = '0';
      break;
    }
    if(v >= 40)
    {
      digits(v / 40, 10, "0123456789");
      buf[n++] = 'w';
      v %= 40;
    }
    if(v > 8)
    {
      digits(v / 8, 10, "0123456789");
      buf[n++] = 'd';
      v %= 8;
    }
    if(v)
    {
      digits(v, 10, "0123456789");
      buf[n++] = 'h';
    }
    break;
  case 'r':
  {
    digits(v, 10, "0123456789");
    sInt prec = spec.Precision;
    if(prec > 200) prec = 200;   // the text stays inside the buffer
    if(prec > 0)
    {
      // leading zeros so that one digit stands before the point
      sInt zeros = prec + 1 - n;
      if(zeros > 0)
      {
        for(sInt i = n - 1; i >= 0; i--) buf[i + zeros] = buf[i];
        for(sInt i = 0; i < zeros; i++) buf[i] = '0';
        n += zeros;
      }
      for(sInt i = n; i > n - prec; i--) buf[i] = buf[i - 1];
      buf[n - prec] = '.';
      n++;
    }
    break;
  }
  default:
    digits(v, 10, "0123456789");
    break;
  }
  Place(spec, buf, n, negative);
}

// 'c' prints the character, '_' and 't' that many spaces or tabs (none for a negative
// count), every other letter the number itself. bits holds the value as 64 bits.
sFormatBuffer &sFormatBuffer::WholeNumber(sU64 bits, bool negative)
{
  sFormatSpec spec;
  if(!ParseSpec(spec)) return *this;
  switch(spec.Format)
  {
  case 'c':
    Put(sChar(bits));
    break;
  case '_':
  case 't':
    for(sU64 i = 0; !negative && i < bits && Dest < End - 1; i++) Put(spec.Format == '_' ? sChar(' ') : sChar('\t'));
    break;
  default:
    Integer(spec, negative ? sU64(0) - bits : bits, negative);
    break;
  }
  Fill();
  return *this;
}

sFormatBuffer &sFormatBuffer::operator%(sS64 v) { return WholeNumber(sU64(v), v < 0); }
sFormatBuffer &sFormatBuffer::operator%(sU64 v) { return WholeNumber(v, false); }
sFormatBuffer &sFormatBuffer::operator%(sS32 v) { return *this % sS64(v); }
sFormatBuffer &sFormatBuffer::operator%(sU32 v) { return *this % sU64(v); }

sFormatBuffer &sFormatBuffer::operator%(sF32 v)
{
  if(!*FormatText) return *this;
  // the letter decides between the float printer and the integer conversions
  const sChar *peek = FormatText + 1;
  if(*peek == '!') peek++;
  if(*peek == '-') peek++;
  while(*peek >= '0' && *peek <= '9') peek++;
  if(*peek == '.') peek++;
  while(*peek >= '0' && *peek <= '9') peek++;
  sChar letter = *peek;
  if(letter != 'e' && letter != 'E' && letter != 'f' && letter != 'F')
  {
    // truncated towards zero, saturated at the 64-bit range (NaN gives 0): a conversion
    // out of range would be undefined
    sS64 i;
    if(v != v) i = 0;
    else if(v >= 9.2233720e18f) i = INT64_MAX;
    else if(v <= -9.2233720e18f) i = INT64_MIN;
    else i = sS64(v);
    return *this % i;
  }

  sFormatSpec spec;
  if(!ParseSpec(spec)) return *this;
  sFloatInfo info;
  sFloatToDigits(v, info, 9);
  bool negative = info.Negative;

  sInt prec = spec.Precision;
  if(prec < 0)
  {
    sInt w = spec.Width ? spec.Width : 7;
    prec = w - 2;
    sInt alt = w - info.Exponent - (negative ? 1 : 0) - 2;
    if(alt < prec) prec = alt < 1 ? 0 : alt;
  }
  if(spec.Format == 'F' && prec >= 1) prec--;

  sChar buf[256];
  sInt n = PrintFixed(buf, 256, info, prec);
  if(spec.Format == 'F' && sFindFirstChar(buf, '.') >= 0 && n < 255)
  {
    buf[n++] = 'f';
    buf[n] = 0;
  }
  Place(spec, buf, n, negative);
  Fill();
  return *this;
}

sFormatBuffer &sFormatBuffer::operator%(const sChar *s)
{
  sFormatSpec spec;
  if(!ParseSpec(spec)) return *this;
  if(s)
  {
    constexpr sInt Max = 4096;
    sChar *buf = nullptr;
    sChar local[Max];
    sInt n = 0;
    switch(spec.Format)
    {
    case 'C':
    case 'c':
    case 'P':
    case 'p':
      for(; s[n] && n < Max - 2; n++)
      {
        sChar c = s[n];
        if(spec.Format == 'C' && c >= 'a' && c <= 'z') c = sChar(c - 32);
        else if(spec.Format == 'c' && c >= 'A' && c <= 'Z') c = sChar(c + 32);
        else if(spec.Format == 'P' && c == '/') c = '\\';
        else if(spec.Format == 'p' && c == '\\') c = '/';
        local[n] = c;
      }
      buf = local;
      break;
    case 'Q':
    case 'q':
    {
      bool ident = false;
      if(spec.Format == 'Q' && s[0])
      {
        auto alpha = [](sChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
        ident = alpha(s[0]);
        for(sInt i = 1; ident && s[i]; i++)
          if(!alpha(s[i]) && !(s[i] >= '0' && s[i] <= '9')) ident = false;
      }
      if(ident)
      {
        buf = const_cast<sChar *>(s);
        n = sGetStringLen(s);
        break;
      }
      local[n++] = '"';
      for(const sChar *p = s; *p && n - 1 < 4092; p++)
      {
        sChar c = *p, e = 0;
        switch(c)
        {
        case '\t': e = 't'; break;
        case '\n': e = 'n'; break;
        case '\f': e = 'f'; break;
        case '\r': e = 'r'; break;
        case '"': e = '"'; break;
        }
        if(e)
        {
          local[n++] = '\\';
          local[n++] = e;
        }
        else
        {
          local[n++] = c;
        }
      }
      local[n++] = '"';
      buf = local;
      break;
    }
    default:
      buf = const_cast<sChar *>(s);
      n = sGetStringLen(s);
      break;
    }
    Place(spec, buf, n, false);
  }
  Fill();
  return *this;
}
