#pragma once
// Command-line parameters and log channels.

#include "base/types.hpp"

// Parses a command line of "-name value" pairs. With skipProgramName the first word
// (quoted or up to the first blank) is the program and is skipped. Lists the parameters
// on channel "sys" and sets up the log channels.
void sParseCommandLine(const sChar *commandLine, sBool skipProgramName);
// The process arguments (UTF-8) as a command line; argv[0] is the program.
void sParseCommandLine(int argc, const char *const *argv);

// The n-th value of the parameter (names compared without case); null name: unnamed values.
const sChar *sShellParam(const sChar *name, sInt n = 0);
sInt sShellParamInt(const sChar *name, sInt n, sInt defaultValue);
sBool sShellSwitch(const sChar *name);
sInt sGetShellParamCount();
// Name (null for an unnamed value) and value of the i-th pair.
const sChar *sGetShellParamName(sInt i);
const sChar *sGetShellParamValue(sInt i);

void sInitLogChannels();
sBool sIsLogChannelOn(const sChar *channel);
// The width of the "[channel] " prefix (0..1018; 0 prints no prefix).
sInt sGetLogPrefixWidth();
void sSetLogPrefixWidth(sInt width);

// sLogText (declared in base/types.hpp): a null channel means the channel used last.

// Log file: while a writer is installed every log line goes to it as well.
using sLogFileFunc = void (*)(const sChar *line, void *user);
void sSetLogFileOutput(sLogFileFunc func, void *user);
// Console output of log lines (off by default).
using sConsoleFunc = void (*)(const sChar *line);
void sSetLogConsoleOutput(sConsoleFunc func);
