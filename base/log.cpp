// Command-line parameters and log channels.
#include "base/log.hpp"
#include "platform/text/utf.hpp"

#include <mutex>
#include <string>

namespace
{
constexpr sInt MaxPairs = 64;
constexpr sInt PoolSize = 4096;
constexpr sInt ListSize = 1024;
constexpr sInt LineSize = 1024;
constexpr sInt MaxLineChars = 1022;
// a prefix of W + 3 must leave a 1022-character line room for text, else the line never ends
constexpr sInt MaxPrefixWidth = MaxLineChars - 4;

const sChar *Names[MaxPairs];
const sChar *Values[MaxPairs];
sInt Count = 0;
sChar Pool[PoolSize];
sChar IncludeList[ListSize];
sChar ExcludeList[ListSize];
sInt PrefixWidth = 8;

std::mutex LastChannelLock;
sChar LastChannel[MaxPrefixWidth + 1] = {};

std::mutex OutputLock;
sLogFileFunc LogFileFunc = nullptr;
void *LogFileUser = nullptr;
sConsoleFunc ConsoleFunc = nullptr;

bool IsBlank(sChar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

sInt ClampWidth(sInt w) { return w < 0 ? 0 : w > MaxPrefixWidth ? MaxPrefixWidth : w; }

// Appends the blank-separated words of text to a list of terminated words closed by an
// empty word; words that do not fit are dropped.
void AddWords(sChar *list, sInt &used, const sChar *text)
{
  const sChar *p = text;
  for(;;)
  {
    while(*p && IsBlank(*p)) p++;
    if(!*p) break;
    const sChar *w = p;
    while(*p && !IsBlank(*p)) p++;
    sInt len = sInt(p - w);
    if(used + len + 1 > ListSize - 1) continue;   // keep room for the closing empty word
    for(sInt i = 0; i < len; i++) list[used++] = w[i];
    list[used++] = 0;
  }
  list[used] = 0;
}

bool InList(const sChar *list, const sChar *channel)
{
  for(const sChar *w = list; *w; w += sGetStringLen(w) + 1)
    if(sCompareStringNoCase(w, channel) == 0) return true;
  return false;
}
}

/****************************************************************************/
/***   Command line                                                       ***/
/****************************************************************************/

void sParseCommandLine(const sChar *cmd, sBool skipProgramName)
{
  if(!cmd) cmd = u"";
  const sChar *p = cmd;
  if(skipProgramName)
  {
    while(*p && IsBlank(*p)) p++;
    if(*p == '"')
    {
      p++;
      while(*p && *p != '"') p++;
      if(*p) p++;
    }
    else
    {
      while(*p && !IsBlank(*p)) p++;
    }
    while(*p && IsBlank(*p)) p++;
  }

  for(sInt i = 0; i < MaxPairs; i++) Names[i] = Values[i] = nullptr;
  Count = 0;

  // Pool[PoolSize - 1] is never written by a character: the last word can always end
  sInt pool = 0;
  sInt state = 0;           // 0 between words, 1 in a word, 2 in a quoted value
  bool storing = false;     // the current word has a place in the tables
  bool lastDropped = false; // the last name found no place: its value is dropped too
  sInt dropped = 0;         // parameters that found no place, told in the log
  auto endWord = [&] {
    if(storing) Pool[pool++] = 0;
    storing = false;
    state = 0;
  };
  auto beginWord = [&]() -> sChar * {
    if(pool >= PoolSize - 1) return nullptr;
    return Pool + pool;
  };

  for(; *p; p++)
  {
    sChar c = *p;
    if(state == 0)
    {
      if(IsBlank(c)) continue;
      if(c == '-')
      {
        sChar *w = Count < MaxPairs ? beginWord() : nullptr;
        if(w)
        {
          Names[Count] = w;
          Values[Count] = nullptr;
          Count++;
          storing = true;
          lastDropped = false;
        }
        else
        {
          storing = false;
          lastDropped = true;
          dropped++;
        }
        state = 1;
        continue;
      }
      // a value: it belongs to the name before it, else it opens an unnamed pair
      sChar *w = beginWord();
      storing = false;
      if(w && !lastDropped)
      {
        if(Count > 0 && Names[Count - 1] && !Values[Count - 1])
        {
          Values[Count - 1] = w;
          storing = true;
        }
        else if(Count < MaxPairs)
        {
          Names[Count] = nullptr;
          Values[Count] = w;
          Count++;
          storing = true;
        }
      }
      if(!storing && !lastDropped) dropped++;
      lastDropped = false;
      if(c == '"')
      {
        state = 2;
        continue;
      }
      state = 1;
      if(storing && pool < PoolSize - 2) Pool[pool++] = c;
    }
    else if(state == 1)
    {
      if(IsBlank(c))
      {
        endWord();
        continue;
      }
      if(storing && pool < PoolSize - 2) Pool[pool++] = c;
    }
    else
    {
      if(c == '"')
      {
        endWord();
        continue;
      }
      if(storing && pool < PoolSize - 2) Pool[pool++] = c;
    }
  }
  if(state != 0) endWord();

  for(sInt i = 0; i < Count; i++)
    if(!Values[i]) Values[i] = u"1";

  if(Count > 0)
  {
    PrefixWidth = ClampWidth(sShellParamInt(u"logprefix", 0, 8));
    sLogF(u"sys", u"Shell Parameters\n");
    for(sInt i = 0; i < Count; i++)
    {
      if(Names[i]) sLogF(u"sys", u"  -%s %s\n", Names[i], Values[i]);
      else sLogF(u"sys", u"  %s\n", Values[i]);
    }
  }
  if(dropped > 0)
    sLogF(u"sys", u"%d command line parameters ignored: at most %d are kept\n", dropped, sInt(MaxPairs));
  sInitLogChannels();
}

void sParseCommandLine(int argc, const char *const *argv)
{
  // Rebuild a command line: names as they are, every other argument quoted so that
  // blanks inside it survive (a quote character cannot be given inside a value).
  std::u16string line;
  for(int i = 1; i < argc; i++)
  {
    if(!argv[i]) continue;
    std::u16string arg = plat::ToUtf16(argv[i]);
    bool plain = !arg.empty() && arg[0] == '-';
    for(sChar c : arg)
      if(IsBlank(c) || c == '"') plain = false;
    if(!line.empty()) line += u' ';
    if(plain)
    {
      line += arg;
    }
    else
    {
      line += u'"';
      for(sChar c : arg)
        if(c != '"') line += c;
      line += u'"';
    }
  }
  sParseCommandLine(line.c_str(), 0);
}

const sChar *sShellParam(const sChar *name, sInt n)
{
  for(sInt i = 0; i < Count; i++)
  {
    bool match = name ? (Names[i] && sCompareStringNoCase(Names[i], name) == 0) : Names[i] == nullptr;
    if(match && n-- == 0) return Values[i];
  }
  return nullptr;
}

sInt sShellParamInt(const sChar *name, sInt n, sInt defaultValue)
{
  const sChar *v = sShellParam(name, n);
  if(!v) return defaultValue;
  sInt value;
  const sChar *scan = v;
  return sScanInt(scan, value) ? value : defaultValue;
}

sBool sShellSwitch(const sChar *name)
{
  for(sInt i = 0; i < Count; i++)
    if(Names[i] && name && sCompareStringNoCase(Names[i], name) == 0) return 1;
  return 0;
}

sInt sGetShellParamCount() { return Count; }
const sChar *sGetShellParamName(sInt i) { return i >= 0 && i < Count ? Names[i] : nullptr; }
const sChar *sGetShellParamValue(sInt i) { return i >= 0 && i < Count ? Values[i] : nullptr; }

/****************************************************************************/
/***   Log channels                                                       ***/
/****************************************************************************/

void sInitLogChannels()
{
  sInt used = 0;
  IncludeList[0] = 0;
  for(sInt n = 0; const sChar *v = sShellParam(u"log", n); n++) AddWords(IncludeList, used, v);
  used = 0;
  ExcludeList[0] = 0;
  for(sInt n = 0; const sChar *v = sShellParam(u"dontlog", n); n++) AddWords(ExcludeList, used, v);
}

sBool sIsLogChannelOn(const sChar *channel)
{
  if(!channel) channel = u"";
  if(IncludeList[0]) return InList(IncludeList, channel);
  if(!ExcludeList[0]) return 1;
  return !InList(ExcludeList, channel);
}

sInt sGetLogPrefixWidth() { return PrefixWidth; }
void sSetLogPrefixWidth(sInt width) { PrefixWidth = ClampWidth(width); }

void sSetLogFileOutput(sLogFileFunc func, void *user)
{
  std::lock_guard<std::mutex> lock(OutputLock);
  LogFileFunc = func;
  LogFileUser = user;
}

void sSetLogConsoleOutput(sConsoleFunc func)
{
  std::lock_guard<std::mutex> lock(OutputLock);
  ConsoleFunc = func;
}

void sLogText(const sChar *channel, const sChar *text)
{
  sChar chan[MaxPrefixWidth + 1];
  {
    std::lock_guard<std::mutex> lock(LastChannelLock);
    if(channel) sCopyString(LastChannel, channel);
    sCopyString(chan, LastChannel);
  }
  if(!text || !*text || !sIsLogChannelOn(chan)) return;

  sInt width = PrefixWidth;
  sChar line[LineSize];
  const sChar *p = text;
  while(*p)
  {
    sInt n = 0;
    if(width > 0)
    {
      line[n++] = '[';
      for(sInt i = 0; i < width && chan[i]; i++) line[n++] = chan[i];
      line[n++] = ']';
      line[n++] = ' ';
      while(n < width + 3) line[n++] = ' ';
    }
    while(*p && n < MaxLineChars)
    {
      sChar c = *p++;
      line[n++] = c;
      if(c == '\n') break;
    }
    line[n] = 0;

    sDPrint(line);
    sLogFileFunc file;
    void *user;
    sConsoleFunc console;
    {
      std::lock_guard<std::mutex> lock(OutputLock);
      file = LogFileFunc;
      user = LogFileUser;
      console = ConsoleFunc;
    }
    if(console) console(line);
    if(file) file(line, user);
  }
}
