#pragma once
// The process and its surroundings: the millisecond clock, debugger detection and
// output, fatal signals, the message box of fatal errors, the address-space figures
// of the memory report and the floating-point set-up.

#include "platform/system/stacktrace.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat
{
/****************************************************************************/
/***   Clock                                                              ***/
/****************************************************************************/

// Milliseconds of the monotonic clock counted from the start of the process.
uint64_t TimeMs64();
// The same clock in 32 bits, wrapping after 49.7 days.
uint32_t TimeMs();
// Microseconds of the same clock, for finer measurements.
uint64_t TimeUs64();

/****************************************************************************/
/***   Debugger and output                                                ***/
/****************************************************************************/

// Whether a debugger (any tracer) is attached to the process.
bool IsDebuggerAttached();
// Stops in the attached debugger; does nothing without one.
void BreakIntoDebugger();
// Writes UTF-8 text to the debug output (standard error), all of it. false on failure.
bool WriteDebugOutput(const char *text, size_t length);
// Writes to the console (standard output). false on failure or when there is none.
bool WriteConsole(const char *text, size_t length);

// Whether a person may be shown a message box: not under tests (SPARK_TEST set) and not
// without a display.
bool IsInteractive();
// An error message box with the given caption and UTF-8 text; blocks until closed.
// Returns false (showing nothing) when not interactive or no box could be shown. For the
// fatal path only: the box is shown by a child process that ends with this one, and
// SIGTERM, SIGINT and SIGHUP take their default action (ending the process) from here on.
bool ShowErrorMessageBox(const char *caption, const char *text);

// The id of this process.
int ProcessId();
// Whether a process of that id runs now (a process of another user counts).
bool ProcessRuns(int pid);

// Ends the process at once with the exit code; no destructors, no handlers.
[[noreturn]] void TerminateProcess(int exitCode);

/****************************************************************************/
/***   Fatal signals                                                      ***/
/****************************************************************************/

struct FatalSignalInfo
{
  int Signal = 0;
  uintptr_t FaultAddress = 0;     // the address touched (memory faults) or the faulting instruction
  uintptr_t InstructionAddress = 0;
  const char *Description = "";   // readable, one line, e.g. "access violation (SIGSEGV): read of address 0x0 ..."
  const StackFrame *Frames = nullptr;  // the faulting function first
  int FrameCount = 0;
};

// Called on the thread that faulted, on its alternate signal stack. It is expected to
// end the process (the fatal-error routine); when it returns, the signal takes its
// default action and the process dies by it.
using FatalSignalHandler = void (*)(const FatalSignalInfo &info, void *user);

// Catches SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT and hands them to the handler.
// Gives the calling thread an alternate signal stack when it has none (threads made by
// the threads layer have their own). A second call replaces the handler.
bool InstallFatalSignalHandler(FatalSignalHandler handler, void *user, std::string *error = nullptr);
// Gives the calling thread an alternate signal stack large enough for the report, for
// threads not made by the threads layer (which gives its threads their own).
bool PrepareThreadForFatalSignals(std::string *error = nullptr);
// Puts the dispositions back as they were before the first install.
void RemoveFatalSignalHandler();
// A deadline for the fatal-error report: unless the process has ended within the seconds,
// the line (UTF-8, its first line kept) goes to standard error and the process ends with
// code 1. 0 seconds lifts it (an error box waits for a person as long as it takes).
void SetFatalDeadline(unsigned seconds, const char *line);
// The deadline every fatal report gets, from a fault signal or from a failed check.
constexpr unsigned FatalReportSeconds = 15;

/****************************************************************************/
/***   Memory report and floating point                                   ***/
/****************************************************************************/

// The free parts of the process's address space: their sum and the largest of them.
bool GetAddressSpaceFree(uint64_t *freeBytes, uint64_t *largestFree);

// Resets the floating-point environment: every exception masked and its flag cleared,
// rounding to nearest.
bool InitFloatingPoint();
}
