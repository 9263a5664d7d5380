#pragma once
// The per-thread block of the framework and the debug output.

#include "base/types.hpp"

/****************************************************************************/
/***   Thread context                                                     ***/
/****************************************************************************/

// Bits of sThreadContext::Quiet, read by sDPrint.
enum : sU32
{
  sTCQ_NODPRINT = 1,   // no debug output at all from this thread
  sTCQ_NOHOOK = 2,     // debug output, but not to the capture / debug-output hook
};

// Every thread has one; sGetThreadContext() returns the calling thread's.
struct sThreadContext
{
  sU32 Quiet = 0;                   // sTCQ_* bits (first word)
  sChar ThreadName[64] = {};

  // formatted output of the scratch families (sDPrintF, sLogF, sFatalF)
  static constexpr sInt PrintBufferSize = 1024;
  sChar PrintBuffer[PrintBufferSize] = {};

  // memory types: the top of this stack serves allocations that name type 0
  sInt MemTypeStack[16] = {1};
  sDInt MemTypeStackIndex = 0;

  // the source named by sSetAllocSource, consumed by the next sMemAlloc
  const char *AllocFile = nullptr;
  sInt AllocLine = 0;

  // leak descriptions pushed by the thread (names shown in the leak report)
  static constexpr sInt LeakDescMax = 16;
  const sChar *LeakDescStack[LeakDescMax] = {};
  sInt LeakDescCount = 0;

  // frame memory of this thread
  sU64 FrameNumber = 0;
  sPtr FrameCursor[2] = {};
  sPtr FrameBufferEnd[2] = {};
  sPtr FrameBorrow = 0;   // end of an open borrow, 0 when none
};

sThreadContext *sGetThreadContext();
// Names the calling thread (cut to 63 characters).
void sSetThreadName(const sChar *name);

/****************************************************************************/
/***   Debug output                                                       ***/
/****************************************************************************/

// sDPrint (declared in base/types.hpp) writes UTF-8 to stderr. A capture function, when
// installed, receives every text instead (tests use it to read log output).
using sDebugOutputFunc = void (*)(const sChar *text, void *user);
// Installs a capture (null removes it); returns the previous one.
sDebugOutputFunc sSetDebugOutputCapture(sDebugOutputFunc func, void *user, void **oldUser = nullptr);
// A second receiver that gets every text in addition to stderr or the capture (the debug
// output hook of the frame driver plugs in here). Suppressed by sTCQ_NOHOOK.
void sSetDebugOutputHook(sDebugOutputFunc func, void *user);
