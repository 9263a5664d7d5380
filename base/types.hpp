#pragma once
// The framework's basic types, the assertion macros, wide strings and formatted output.
// Every other header of the framework includes this one.

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

/****************************************************************************/
/***   Basic types                                                        ***/
/****************************************************************************/

using sInt = int32_t;
using sS8 = int8_t;
using sS16 = int16_t;
using sS32 = int32_t;
using sS64 = int64_t;
using sU8 = uint8_t;
using sU16 = uint16_t;
using sU32 = uint32_t;
using sU64 = uint64_t;
using sF32 = float;
using sF64 = double;
using sDInt = intptr_t;   // pointer-sized signed integer
using sPtr = uintptr_t;   // pointer-sized unsigned integer
using sChar = char16_t;   // every character of the system is 16 bits wide
using sChar8 = char;      // 8-bit text, only where it meets the operating system or a file
using sBool = int;        // flags are ints, as in the records of the framework

/****************************************************************************/
/***   Fatal errors and assertions                                        ***/
/****************************************************************************/

// The fatal-error routine: prints the text and a stack trace, calls the crash hook and
// ends the process with exit code 1. Never returns.
[[noreturn]] void sFatal(const sChar *text);
// "%s(%d): Assertion failed%s%s%s%s" with "\nExpression: " and "\nDescription: " parts.
[[noreturn]] void sAssertionFailed(const char *file, sInt line, const sChar *expr, const sChar *desc);
// The short form "%s(%d) : assertion".
[[noreturn]] void sFatalAtLine(const char *file, sInt line);

#define sVERIFY(x) do { if(!(x)) sAssertionFailed(__FILE__, __LINE__, u"" #x, u""); } while(0)
#define sVERIFYDESC(x, desc) do { if(!(x)) sAssertionFailed(__FILE__, __LINE__, u"" #x, desc); } while(0)
// The same checks where the failure message names the expression in words of its own (the
// text the program's messages give it), not as the code spells it.
#define sVERIFYAS(x, text) do { if(!(x)) sAssertionFailed(__FILE__, __LINE__, text, u""); } while(0)
#define sVERIFYASDESC(x, text, desc) do { if(!(x)) sAssertionFailed(__FILE__, __LINE__, text, desc); } while(0)
#define sVERIFYFALSE sFatalAtLine(__FILE__, __LINE__)
// Checks stay on in every build of this program: a failed invariant must never go on quietly.
#define sASSERT(x) sVERIFY(x)

/****************************************************************************/
/***   Allocation (implemented with the memory handlers)                  ***/
/****************************************************************************/

enum : sInt
{
  sAMF_TYPEMASK = 0x0f,   // memory type 1..15; 0 is the top of the thread's type stack
  sAMF_ALT = 0x100,       // allocate from the top of the range
  sAMF_NOLEAK = 0x200,    // not recorded by the leak tracker
  sAMF_MAYFAIL = 0x400,   // null instead of a fatal error
};

// Names the source of the calling thread's next allocation; a pending source is kept.
void sSetAllocSource(const char *file, sInt line);
void *sMemAlloc(sDInt size, sInt align, sInt flags);
void sMemFree(void *ptr);

// Objects are allocated with 16-byte alignment after naming their source:
//   Foo *f = sNEW Foo(args);   ...   sDELETE(f);
struct sAllocSite { const char *File; sInt Line; };
void *operator new(std::size_t size, sAllocSite site);
void operator delete(void *ptr, sAllocSite site) noexcept;
#define sNEW new(sAllocSite{__FILE__, __LINE__})

template <class T> inline void sDelete(T *p)
{
  if(!p) return;
  void *block;
  if constexpr(std::is_polymorphic_v<T>) block = dynamic_cast<void *>(p);
  else block = p;
  p->~T();
  sMemFree(block);
}
#define sDELETE(p) do { sDelete(p); (p) = nullptr; } while(0)

/****************************************************************************/
/***   String helpers                                                     ***/
/****************************************************************************/

// Capacities (n) count the terminator. All characters are 16 bits wide.

inline sInt sGetStringLen(const sChar *s) { sInt n = 0; if(s) while(s[n]) n++; return n; }
inline sInt sGetStringLen8(const char *s) { sInt n = 0; if(s) while(s[n]) n++; return n; }

void sCopyString(sChar *dest, const sChar *src, sDInt n);
void sCopyString8(sChar *dest, const char *src, sDInt n);
void sAppendString(sChar *dest, const sChar *src, sDInt n);
template <sInt N> inline void sCopyString(sChar (&dest)[N], const sChar *src) { sCopyString(dest, src, N); }
template <sInt N> inline void sCopyString8(sChar (&dest)[N], const char *src) { sCopyString8(dest, src, N); }
template <sInt N> inline void sAppendString(sChar (&dest)[N], const sChar *src) { sAppendString(dest, src, N); }

sChar sMakeLower(sChar c);
sChar sMakeUpper(sChar c);   // the inverse of sMakeLower
sInt sCompareString(const sChar *a, const sChar *b);
sInt sCompareStringNoCase(const sChar *a, const sChar *b);
sInt sCompareStringN(const sChar *a, const sChar *b, sDInt n);
sInt sCompareStringNoCaseN(const sChar *a, const sChar *b, sDInt n);
inline bool sCmpStringEqual(const sChar *a, const sChar *b) { return sCompareString(a, b) == 0; }

sInt sFindString(const sChar *text, const sChar *part);
sInt sFindFirstChar(const sChar *text, sInt c);
sInt sFindLastChar(const sChar *text, sInt c);
const sChar *sFindFileExtension(const sChar *name);
sChar *sFindFileExtension(sChar *name);
const sChar *sFindFileWithoutPath(const sChar *path);
sChar *sFindFileWithoutPath(sChar *path);

sBool sMatchWildcard(const sChar *text, const sChar *pattern, sBool caseSensitive = 0, sBool exactSlashes = 0);
// Reads an optional sign and decimal digits at the cursor; 1 on success.
sBool sScanInt(const sChar *&text, sInt &value);

/****************************************************************************/
/***   String buffers                                                     ***/
/****************************************************************************/

template <sInt N> class sStringBuffer;

// A caller's character buffer and its capacity in characters (terminator included).
struct sStringRef
{
  sChar *Buffer = nullptr;
  sDInt Size = 0;

  sStringRef() = default;
  sStringRef(sChar *buffer, sDInt size) : Buffer(buffer), Size(size) {}
  template <sInt N> sStringRef(sChar (&buffer)[N]) : Buffer(buffer), Size(N) {}
  template <sInt N> sStringRef(sStringBuffer<N> &s) : Buffer(s.GetBuffer()), Size(N) {}
};

// A string with its characters inline, capacity N characters including the terminator.
template <sInt N> class sStringBuffer
{
  static_assert(N >= 1, "a string buffer needs room for the terminator");
  sChar Data[N];

public:
  static constexpr sInt Capacity = N;
  sStringBuffer() { Data[0] = 0; }
  sStringBuffer(const sChar *s) { if(s) sCopyString(Data, s, N); else Data[0] = 0; }
  sStringBuffer(const sStringBuffer &s) { sCopyString(Data, s.Data, N); }
  sStringBuffer &operator=(const sStringBuffer &s) { if(this != &s) sCopyString(Data, s.Data, N); return *this; }
  sStringBuffer &operator=(const sChar *s) { if(s) { if(s != Data) sCopyString(Data, s, N); } else Data[0] = 0; return *this; }

  operator const sChar *() const { return Data; }
  const sChar *Get() const { return Data; }
  sChar *GetBuffer() { return Data; }
  sStringRef Ref() { return sStringRef(Data, N); }
  sInt Count() const { return sGetStringLen(Data); }
  bool IsEmpty() const { return Data[0] == 0; }
  void Clear() { Data[0] = 0; }
  void Add(const sChar *s) { if(s) sAppendString(Data, s, N); }
  sChar &operator[](sInt i) { sASSERT(i >= 0 && i < N); return Data[i]; }
  sChar operator[](sInt i) const { sASSERT(i >= 0 && i < N); return Data[i]; }
  bool operator==(const sChar *s) const { return sCompareString(Data, s ? s : u"") == 0; }
  bool operator!=(const sChar *s) const { return !(*this == s); }
};

// A string of 256 characters stored inline.
using sFixedString = sStringBuffer<256>;
// Capacity of file and path names.
constexpr sInt sMAXPATH = 4096;
using sPathString = sStringBuffer<sMAXPATH>;

// Copies the directory part of path (up to and including the last '/', '\' or ':').
void sExtractPath(const sChar *path, const sStringRef &dest);

/****************************************************************************/
/***   Formatted output                                                   ***/
/****************************************************************************/

// One parsed "%" field of a format: flags, width, precision and conversion letter.
struct sFormatSpec
{
  sChar Format = 0;     // conversion letter
  sInt Width = 0;
  sInt Precision = -1;  // -1 when absent
  sBool Left = 0;       // '-'
  sBool Zero = 0;       // '0'
  sBool Cut = 0;        // '!'
};

// A printf-like formatter fed one argument at a time with operator %. It never writes
// past its destination; a text that is cut while format text is left ends in '?'.
struct sFormatBuffer
{
  sChar *Start = nullptr;
  sChar *Dest = nullptr;
  sChar *End = nullptr;
  const sChar *FormatText = nullptr;

  void Begin(const sStringRef &ref, const sChar *format);
  // Formats on the calling thread's 1024-character scratch buffer; the text is at Start.
  void BeginScratch(const sChar *format);
  const sChar *Get() const { return Start; }

  sFormatBuffer &operator%(sS32 v);
  sFormatBuffer &operator%(sU32 v);
  sFormatBuffer &operator%(sS64 v);
  sFormatBuffer &operator%(sU64 v);
  sFormatBuffer &operator%(sF32 v);
  sFormatBuffer &operator%(sF64 v) { return *this % sF32(v); }   // printed as a float
  sFormatBuffer &operator%(const sChar *s);
  sFormatBuffer &operator%(long long v) { return *this % sS64(v); }
  sFormatBuffer &operator%(unsigned long long v) { return *this % sU64(v); }

private:
  bool Fill();
  bool ParseSpec(sFormatSpec &spec);
  void Put(sChar c) { if(Dest < End - 1) *Dest++ = c; }
  void Place(const sFormatSpec &spec, const sChar *text, sInt len, bool negative);
  void Integer(const sFormatSpec &spec, sU64 magnitude, bool negative);
  sFormatBuffer &WholeNumber(sU64 bits, bool negative);
};

// Splits a float into sign, n decimal digits (d.ddd x 10^exponent) and exponent.
// Infinity and NaN set the flags and give no digits.
struct sFloatInfo
{
  sBool Negative = 0;
  sBool Infinite = 0;
  sBool NaN = 0;
  sU32 NaNPayload = 0;
  sInt Exponent = 0;
  char Digits[24] = {};
};
void sFloatToDigits(sF32 value, sFloatInfo &info, sInt digits = 9);

void sDPrint(const sChar *text);   // debug output (base/system.cpp)
void sLogText(const sChar *channel, const sChar *text);   // log channels (base/log.cpp)

template <class... A> inline void sSPrintF(const sStringRef &ref, const sChar *format, const A &...args)
{
  sFormatBuffer buf;
  buf.Begin(ref, format);
  (void)(buf % ... % args);
}

template <class... A> inline void sDPrintF(const sChar *format, const A &...args)
{
  sFormatBuffer buf;
  buf.BeginScratch(format);
  (void)(buf % ... % args);
  sDPrint(buf.Get());
}

template <class... A> inline void sLogF(const sChar *channel, const sChar *format, const A &...args)
{
  sFormatBuffer buf;
  buf.BeginScratch(format);
  (void)(buf % ... % args);
  sLogText(channel, buf.Get());
}

template <class... A> [[noreturn]] inline void sFatalF(const sChar *format, const A &...args)
{
  sFormatBuffer buf;
  buf.BeginScratch(format);
  (void)(buf % ... % args);
  sFatal(buf.Get());
}
