// The text scanner.
#include "util/scanner.hpp"
#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"
#include "base/textbuffer.hpp"

#include <cmath>
#include <cstring>
#include <limits>

/****************************************************************************/
/***   Sources                                                            ***/
/****************************************************************************/

namespace
{
const sChar EmptyText[1] = {0};

inline bool IsLetter(sChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
inline bool IsDigit(sChar c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(sChar c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline sInt HexValue(sChar c)
{
  if(IsDigit(c)) return c - '0';
  if(c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}
}

sScannerStringSource::sScannerStringSource(const sChar *text) : Text(text ? text : EmptyText)
{
  Pos = Text;
}

sScannerFileSource::~sScannerFileSource()
{
  if(Text) sMemFree(Text);
}

sBool sScannerFileSource::Open(const sChar *name)
{
  sFile *file = sOpenFile(name, sFA_READ);
  if(!file)
    return 0;

  sU8 head[3];
  sInt headRead = 2;
  if(!file->Read(head, 2))
  {
    sDELETE(file);
    return 0;
  }
  sS64 size = file->GetSize();

  // UTF-8 with its mark, as text files are saved when they hold characters above 8 bits:
  // decoded as the text-file loader does
  if(head[0] == 0xEF && head[1] == 0xBB && size >= 3 && size <= 0x7fffffff)
  {
    if(!file->Read(head + 2, 1))
    {
      sDELETE(file);
      return 0;
    }
    headRead = 3;
    if(head[2] == 0xBF)
    {
      Encode = UTF8;
      sSetAllocSource(__FILE__, __LINE__);
      sU8 *data = static_cast<sU8 *>(sMemAlloc(sDInt(size), 16, sAMF_MAYFAIL));
      if(!data)
      {
        sDELETE(file);
        return 0;
      }
      memcpy(data, head, 3);
      // a failed read ends the text where it failed
      sDInt got = 3;
      while(got < size)
      {
        sDInt n = size - got < 0x40000 ? sDInt(size - got) : 0x40000;
        if(!file->Read(data + got, n))
          break;
        got += n;
      }
      sDELETE(file);
      Text = sMakeTextFromData(data, got);
      Pos = Text;
      Length = Text ? sGetStringLen(Text) : 0;
      return Text != nullptr;
    }
  }

  sS64 left;
  sInt lead = 0;   // characters that come from the bytes already read
  sU32 mark = sU32(head[0]) | (sU32(head[1]) << 8);
  if(mark == 0xFEFF)
  {
    Encode = UTF16LE;
    left = size / 2 - 1;
  }
  else if(mark == 0xFFFE)
  {
    Encode = UTF16BE;
    left = size / 2 - 1;
  }
  else
  {
    Encode = BYTES;
    lead = headRead;   // 2, or 3 after a beginning that was not UTF-8's mark
    left = size - lead;
  }
  if(left < 0)
    left = 0;

  // the whole text and its terminator; a file too large for memory fails the open
  sS64 count = left + lead + 1;
  if(count > (sS64(1) << 40) / sS64(sizeof(sChar)))
  {
    sDELETE(file);
    return 0;
  }
  sSetAllocSource(__FILE__, __LINE__);
  Text = static_cast<sChar *>(sMemAlloc(sDInt(count * sS64(sizeof(sChar))), 16, sAMF_MAYFAIL));
  if(!Text)
  {
    sDELETE(file);
    return 0;
  }
  sChar *dest = Text;
  for(sInt i = 0; i < lead; i++)
    *dest++ = head[i];

  // decode in pieces; a failed read ends the text where that piece would begin
  constexpr sS64 Piece = 0x40000;
  sU8 *bytes = nullptr;
  if(Encode == BYTES)
  {
    sSetAllocSource(__FILE__, __LINE__);
    bytes = static_cast<sU8 *>(sMemAlloc(Piece, 16, 0));
  }
  while(left > 0)
  {
    sS64 n = left < Piece ? left : Piece;
    bool ok;
    if(Encode == BYTES)
    {
      ok = file->Read(bytes, sDInt(n)) != 0;
      if(ok)
        for(sS64 i = 0; i < n; i++) dest[i] = bytes[i];
    }
    else
    {
      ok = file->Read(dest, sDInt(n * 2)) != 0;
      if(ok && Encode == UTF16BE)
        for(sS64 i = 0; i < n; i++) dest[i] = sChar((dest[i] >> 8) | (dest[i] << 8));
    }
    if(!ok)
      break;
    dest += n;
    left -= n;
  }
  *dest = 0;
  Length = dest - Text;
  if(bytes) sMemFree(bytes);
  sDELETE(file);

  Pos = Text;
  return 1;
}

/****************************************************************************/
/***   Scanner                                                            ***/
/****************************************************************************/

sScanner::sScanner()
{
  sSetAllocSource(__FILE__, __LINE__);
  Scratch = static_cast<sChar *>(sMemAlloc(ScratchSize * sDInt(sizeof(sChar)), 16, 0));
  Scratch[0] = 0;
  LineBuffer[0] = 0;
  Name = sGetPoolEmptyString();
  String = sGetPoolEmptyString();
  sVERIFYDESC(Name, u"the scanner needs the string pool");
}

sScanner::~sScanner()
{
  SetSource(nullptr);
  sMemFree(Scratch);
}

void sScanner::SetSource(sScannerSource *source)
{
  if(Source)
    sDELETE(Source);
  Source = source;
}

void sScanner::Init()
{
  Reset();
  Operators.Clear();
  Keywords.Clear();
  Flags = 2;
}

void sScanner::Reset()
{
  SetSource(nullptr);
  Token = 0;
  ValI = 0;
  ValF = 0;
  Name = sGetPoolEmptyString();
  String = sGetPoolEmptyString();
  NumberText.Clear();
  TokenLine = 1;
  TokenFile = nullptr;
  TokenPos = nullptr;
  Errors = 0;
}

void sScanner::AddToken(const sChar *text, sInt kind)
{
  sInt len = sGetStringLen(text);
  sVERIFYDESC(len > 0, u"a token text must not be empty");
  sScannerToken t;
  t.Kind = kind;
  t.Length = len;
  t.Text = sPoolString(text, len);
  bool identifier = IsLetter(text[0]);
  for(sInt i = 1; identifier && i < len; i++)
    identifier = IsLetter(text[i]) || IsDigit(text[i]);
  if(identifier)
    Keywords.AddTail(t);
  else
    Operators.AddTail(t);
}

void sScanner::AddDefaultTokens()
{
  AddToken(u">>", sTOK_SHIFTR);
  AddToken(u"<<", sTOK_SHIFTL);
  AddToken(u"==", sTOK_EQUAL);
  AddToken(u"!=", sTOK_NOTEQUAL);
  AddToken(u"<=", sTOK_LE);
  AddToken(u">=", sTOK_GE);
  AddToken(u"..", sTOK_ELLIPSES);
  AddToken(u"::", sTOK_SCOPE);
  for(const sChar *s = u"+-*/%^~,.;:!?=<>()[]{}&|"; *s; s++)
  {
    sChar one[2] = {*s, 0};
    AddToken(one, *s);
  }
}

void sScanner::SortTokens()
{
  sInt n = Operators.GetSize();
  for(sInt p = 0; p + 1 < n; p++)
  {
    for(sInt j = p + 1; j < n; j++)
    {
      if(Operators[j].Length > Operators[p].Length)
      {
        sScannerToken t = Operators[p];
        Operators[p] = Operators[j];
        Operators[j] = t;
      }
    }
  }
}

void sScanner::StartString(const sChar *text)
{
  Reset();
  SetSource(sNEW sScannerStringSource(text));
  SortTokens();
  Scan();
}

sBool sScanner::StartFile(const sChar *name)
{
  Reset();
  sScannerFileSource *fs = sNEW sScannerFileSource;
  if(fs->Open(name))
  {
    fs->Filename = sPoolString(name ? name : u"");
    SetSource(fs);
    SortTokens();
    Scan();
    return 1;
  }
  sDELETE(fs);
  SetSource(sNEW sScannerStringSource(EmptyText));
  ErrorF(u"could not load file %q", name ? name : u"");
  return 0;
}

void sScanner::Error(const sChar *message)
{
  sCopyString(Scratch, message, ScratchSize);
  PrintError(Scratch);
}

void sScanner::PrintError(const sChar *message)
{
  if(Errors == 0)
  {
    sStringRef line(LineBuffer, LineBufferSize);
    if(Source && Source->Filename)
      sSPrintF(line, u"%s(%d): %s\n", Source->Filename, Source->Line, message);
    else if(Source)
      sSPrintF(line, u"line %d: %s\n", Source->Line, message);
    else
      sSPrintF(line, u"%s\n", message);
    sDPrint(LineBuffer);
  }
  Errors++;
}

// A number at p (a digit). Returns 0 when it ends in the unfinished '.#' form.
sBool sScanner::ScanNumber(const sChar *&p)
{
  const sChar *start = p;
  sBool ok = 1;
  Token = sTOK_INT;

  if(p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
  {
    sU32 v = 0;
    p += 2;
    while(IsHexDigit(*p)) v = v * 16 + sU32(HexValue(*p++));
    ValI = sInt(v);
  }
  else if(p[0] == '0' && (p[1] == 'b' || p[1] == 'B'))
  {
    sU32 v = 0;
    p += 2;
    while(*p == '0' || *p == '1') v = v * 2 + sU32(*p++ - '0');
    ValI = sInt(v);
  }
  else
  {
    sU32 v = 0;
    sF32 f = 0;
    while(IsDigit(*p))
    {
      sInt d = *p++ - '0';
      v = v * 10 + sU32(d);
      f = f * 10.0f + sF32(d);
    }
    if(p[0] == '.' && (IsDigit(p[1]) || p[1] == '#'))
    {
      Token = sTOK_FLOAT;
      p++;
      if(*p == '#')
      {
        p++;
        if(p[0] == 'I' && p[1] == 'N' && p[2] == 'F')
        {
          p += 3;
          while(IsDigit(*p)) p++;
          f = std::numeric_limits<sF32>::infinity();
        }
        else
        {
          ok = 0;
        }
      }
      else
      {
        sF64 factor = 1.0;
        while(IsDigit(*p))
        {
          factor *= 0.1;
          f += sF32(sF64(*p++ - '0') * factor);
        }
      }
    }
    if(ok && *p == 'e')
    {
      Token = sTOK_FLOAT;
      p++;
      sInt sign = 1;
      if(*p == '+') p++;
      else if(*p == '-') { sign = -1; p++; }
      sInt e = 0;
      while(IsDigit(*p))
      {
        // beyond any float's range already: keep counting digits, not the value
        if(e < 100000) e = e * 10 + (*p - '0');
        p++;
      }
      f *= sFPow(10.0f, sF32(sign * e));
    }
    ValI = sInt(v);
    ValF = f;
  }

  // the number as written, 254 characters at most
  sInt n = sInt(p - start);
  if(n > 254) n = 254;
  sChar *text = NumberText.GetBuffer();
  for(sInt i = 0; i < n; i++) text[i] = start[i];
  text[n] = 0;

  if(!ok)
    Token = sTOK_ERROR;
  return ok;
}

sInt sScanner::Scan()
{
  Token = sTOK_ERROR;
  ValI = 0;
  ValF = 0;
  if(!Source)
  {
    Token = sTOK_END;
    return Token;
  }

  Source->Refill();
  const sChar *p = Source->Pos;
  TokenLine = Source->Line;
  TokenFile = Source->Filename;
  TokenPos = p;

  // blanks and comments
  for(;;)
  {
    while(*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
    {
      if(*p == '\n') Source->Line++;
      p++;
    }
    if((Flags & 2) && p[0] == '/' && p[1] == '*')
    {
      p += 2;
      while(*p && !(p[0] == '*' && p[1] == '/'))
      {
        if(*p == '\n') Source->Line++;
        p++;
      }
      if(!*p)
      {
        Source->Pos = p;
        Error(u"eol reached in /* */ comment");
        Token = sTOK_ERROR;
        return Token;
      }
      p += 2;
      continue;
    }
    if((Flags & 2) && p[0] == '/' && p[1] == '/')
    {
      while(*p && *p != '\n' && *p != '\r') p++;
      continue;
    }
    break;
  }

  TokenLine = Source->Line;
  TokenFile = Source->Filename;
  TokenPos = p;

  if(*p == 0)
  {
    Token = sTOK_END;
    Source->Pos = p;
    return Token;
  }

  bool illegal = false;

  // operators, longest first
  for(const sScannerToken &t : Operators)
  {
    if(sCompareStringN(p, t.Text, t.Length) == 0)
    {
      Token = t.Kind;
      p += t.Length;
      Source->Pos = p;
      return Token;
    }
  }

  if(*p == '"')
  {
    p++;
    sInt n = 0;
    bool tooLong = false;
    while(*p && *p != '"')
    {
      sChar c = *p++;
      if(c == '\r')
        continue;
      if(c == '\n')
        Source->Line++;
      if(n < ScratchSize - 1)
        Scratch[n++] = c;
      else
        tooLong = true;
    }
    bool closed = *p == '"';
    if(closed) p++;
    if(tooLong)
    {
      // the whole string is skipped; the scanner goes on behind it
      String = sGetPoolEmptyString();
      Source->Pos = p;
      Error(u"string too long");
      Token = sTOK_ERROR;
      return Token;
    }
    String = sPoolString(Scratch, n);
    Token = closed ? sTOK_STRING : sTOK_ERROR;
  }
  else if(*p == '\'')
  {
    p++;
    if(*p)
    {
      ValI = sInt(*p++);
      if(*p == '\'')
      {
        p++;
        Token = sTOK_CHAR;
      }
    }
  }
  else if(IsLetter(*p))
  {
    const sChar *start = p;
    while(IsLetter(*p) || IsDigit(*p)) p++;
    sDInt n = p - start;
    if(n >= ScratchSize)
    {
      Name = sGetPoolEmptyString();
      Source->Pos = p;
      Error(u"name too long");
      Token = sTOK_ERROR;
      return Token;
    }
    memcpy(Scratch, start, size_t(n) * sizeof(sChar));
    Name = sPoolString(Scratch, sInt(n));
    Token = sTOK_NAME;
    for(const sScannerToken &t : Keywords)
    {
      if(t.Text == Name)
      {
        Token = t.Kind;
        break;
      }
    }
  }
  else if(IsDigit(*p))
  {
    if(!ScanNumber(p))
      illegal = true;
  }
  else
  {
    illegal = true;
  }

  if(illegal)
  {
    Source->Pos = p;
    Error(u"illegal character in input");
    if(*p) p++;
    Token = sTOK_ERROR;
  }
  Source->Pos = p;
  return Token;
}

sBool sScanner::IfToken(sInt kind)
{
  if(Token != kind)
    return 0;
  Scan();
  return 1;
}

sBool sScanner::IfName(const sChar *pooledName)
{
  if(Token != sTOK_NAME || Name != pooledName)
    return 0;
  Scan();
  return 1;
}

sBool sScanner::ScanString(const sChar *&out)
{
  if(Token == sTOK_STRING)
  {
    out = String;
    Scan();
    return 1;
  }
  out = sGetPoolEmptyString();
  Error(u"string expected");
  Scan();
  return 0;
}

sInt sScanner::ScanInt()
{
  sInt sign = 1;
  if(Token == '-')
  {
    Scan();
    sign = -1;
  }
  if(Token == sTOK_INT || Token == sTOK_CHAR)
  {
    sInt v = sInt(sU32(ValI) * sU32(sign));
    Scan();
    return v;
  }
  Error(u"integer expected");
  return 0;
}

sF32 sScanner::ScanFloat()
{
  sF32 sign = 1.0f;
  if(Token == '-')
  {
    Scan();
    sign = -1.0f;
  }
  if(Token == sTOK_INT)
  {
    sF32 v = sF32(ValI) * sign;
    Scan();
    return v;
  }
  if(Token == sTOK_FLOAT)
  {
    sF32 v = ValF * sign;
    Scan();
    return v;
  }
  Error(u"float expected");
  return 0.0f * sign;
}
