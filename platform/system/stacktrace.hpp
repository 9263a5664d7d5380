#pragma once
// Stack traces of the running program: return addresses from the unwinder, names from
// the symbol tables (demangled), file and line from the debug information where the
// program was built with it.

#include <cstdint>
#include <string>
#include <vector>

namespace plat
{
struct StackFrame
{
  uintptr_t Address = 0;  // the program counter of the frame (a return address above the innermost)
  std::string Function;   // demangled name; empty when unknown
  std::string File;       // source file with its folder; empty when unknown
  int Line = 0;           // 0 when unknown
  std::string Module;     // the executable or shared library holding the address
};

// The calling thread's stack, innermost first. Frame 0 is the function that called
// CaptureStackTrace; `skip` drops that many further frames. At most maxFrames frames.
std::vector<StackFrame> CaptureStackTrace(int skip, int maxFrames);

// Return addresses only (no symbol lookup), the same frames as CaptureStackTrace; for
// callers that name the frames later. Returns the number stored.
int CaptureStackAddresses(uintptr_t *addresses, int skip, int maxFrames);

// Names the addresses. The first is taken as an exact program counter when
// firstIsExact is set (a faulting instruction); all others as return addresses, whose
// call site is the instruction before them.
std::vector<StackFrame> SymbolizeAddresses(const uintptr_t *addresses, int count, bool firstIsExact);

// Whether file and line can be found for frames (the debug information reader is built in).
bool StackTraceHasLines();
}
