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
