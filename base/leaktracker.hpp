#pragma once
// The leak tracker: every tracked allocation is recorded with its source line and the
// allocating thread's leak description; what is alive at exit is reported.

#include "base/types.hpp"

// Leak descriptions of the calling thread: the names pushed are shown joined by blanks
// (255 characters at most; a name that does not fit is refused with a warning).
void sPushMemLeakDesc(const sChar *name);
void sPopMemLeakDesc();
// The calling thread's current description ("" when none).
const sChar *sGetMemLeakDesc();

// Installs the tracker in the memory system, so that memory start-up switches it on.
// The main routine calls it before sInitMemorySystem.
void sInstallLeakTracker();

// For tests and reports, while the tracker runs:
sInt sGetLeakTrackerLiveCount();
// Prints the report of the allocations alive that were numbered from firstNumber on
// (memType 0: all types).
void sReportMemLeaks(const sChar *title, sU64 firstNumber, sInt memType);
