// The DMX and MIDI value banks, learning and the live recording.
#include "show/controls.hpp"

#include "base/file.hpp"
#include "base/midi.hpp"
#include "base/textbuffer.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"
#include "util/scanner.hpp"

const sChar *const sLiveRecordingFile = u"LiveRecordingData.txt";

namespace
{
// the recorded value of a track word: its low three digits / 999
constexpr sF32 RecordedScale = 0.001001001f;

sF32 Clamp01(sF32 v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

sBool IsDmx(sInt kind) { return kind == sCONTROL_DMX; }

// A DMX channel is live only while it lies in both the current and the previous frame's
// bank, so a comparison of the two means something.
sBool DmxChannelValid(const SceneControls &c, sInt channel)
{
  return channel >= 0 && channel < c.DmxCount && channel < c.DmxPrevCount;
}

sBool MidiChannelValid(sInt channel) { return channel >= 0 && channel < sCONTROL_MIDICONTROLLERS; }
}

SceneControls::SceneControls()
{
  LiveTable = new sU32[sLIVE_LINES][sLIVE_WORDS]();
  for(sInt &f : LiveOverride) f = 0;
  LiveClockMs = 0;
  LivePassedLines = 0;
  ResetBanks();
}

SceneControls::~SceneControls()
{
  delete[] LiveTable;
}

void SceneControls::ResetBanks()
{
  for(sInt i = 0; i < sCONTROL_DMXCHANNELS; i++) DmxCurrent[i] = DmxPrevious[i] = DmxBaseline[i] = -1.0f;
  DmxCount = DmxPrevCount = DmxBaselineCount = 0;
  for(sInt i = 0; i < sCONTROL_MIDICONTROLLERS; i++) MidiCurrent[i] = MidiPrevious[i] = MidiBaseline[i] = -1.0f;
}

void SceneControls::UpdateDmx(const sF32 *values, sInt count)
{
  DmxPrevCount = DmxCount;
  for(sInt i = 0; i < DmxCount; i++) DmxPrevious[i] = DmxCurrent[i];
  if(!values || count < 0) count = 0;
  if(count > sCONTROL_DMXCHANNELS) count = sCONTROL_DMXCHANNELS;
  for(sInt i = 0; i < count; i++) DmxCurrent[i] = values[i];
  DmxCount = count;
}

sInt SceneControls::PollMidi(sMidiHandler *handler)
{
  for(sInt i = 0; i < sCONTROL_MIDICONTROLLERS; i++) MidiPrevious[i] = MidiCurrent[i];
  sMidiMessage msg;
  while(handler && handler->Read(msg))
  {
    // status 0 announces an input opening or closing, not a message of the device
    if(msg.Status == 0) continue;
    sInt controller = msg.Data1 > 127 ? 127 : msg.Data1;
    MidiCurrent[controller] = Clamp01(msg.Data2 * 0.007874016f);
  }
  return 1;
}

sInt SceneControls::GetLiveLine() const
{
  sU32 line = LiveClockMs / 20;
  return line >= sU32(sLIVE_LINES) ? sLIVE_LINES - 1 : sInt(line);
}

void SceneControls::SetLiveClock(sU32 ms)
{
  const sInt last = GetLiveLine();
  LiveClockMs = ms;
  const sInt line = GetLiveLine();
  LivePassedLines = line > last ? line - last - 1 : 0;
}

sU32 SceneControls::ReplayedWord(sInt track, sU32 flag) const
{
  // mends a replay of the current line alone: frames slower than a move (seconds each on
  // a loaded machine) would leave its setting where one frame met it, the output's fade-up
  // at black for the whole show; the latest value the passed lines hold is where it ended
  const sInt line = GetLiveLine();
  for(sInt l = line; l >= line - LivePassedLines && l >= 0; l--)
    if((LiveTable[l][1 + track] / 1000) & flag) return LiveTable[l][1 + track];
  return LiveTable[line][1 + track];
}

sBool SceneControls::GetControlTrigger(sInt kind, sInt channel, sInt track)
{
  sVERIFY(track >= 0 && track < sCONTROL_TRACKS);
  sInt line = GetLiveLine();
  sU32 flags = ReplayedWord(track, IsDmx(kind) ? 2 : 1) / 1000;
  if(IsDmx(kind))
  {
    if(!DmxChannelValid(*this, channel) || DmxCurrent[channel] == DmxPrevious[channel]) return (flags & 2) != 0;
  }
  else
  {
    if(!MidiChannelValid(channel) || MidiCurrent[channel] == MidiPrevious[channel]) return (flags & 1) != 0;
  }
  // the control moved this frame
  if(!LiveOverride[1 + track])
  {
    // the operator took the track over: its recording is given up from here on, the
    // lines this frame passed over with it
    const sInt from = line - LivePassedLines > 0 ? line - LivePassedLines : 0;
    for(sInt l = from; l < sLIVE_LINES; l++) LiveTable[l][1 + track] = 0;
    LiveOverride[1 + track] = 1;
  }
  return 1;
}

sF32 SceneControls::GetControlValue(sInt kind, sInt channel, sInt track)
{
  sVERIFY(track >= 0 && track < sCONTROL_TRACKS);
  sU32 w = ReplayedWord(track, IsDmx(kind) ? 2 : 1);
  sU32 flags = w / 1000;
  if(IsDmx(kind))
  {
    if(flags & 2) return sF32(w % 1000) * RecordedScale;
    if(channel < 0 || channel >= DmxCount) return 0.0f;
    return Clamp01(DmxCurrent[channel]);
  }
  if(flags & 1) return sF32(w % 1000) * RecordedScale;
  if(!MidiChannelValid(channel)) return 0.0f;
  return Clamp01(MidiCurrent[channel]);
}

void SceneControls::BeginControlLearn(sInt kind)
{
  if(IsDmx(kind))
  {
    for(sInt i = 0; i < DmxCount; i++) DmxBaseline[i] = DmxCurrent[i];
    DmxBaselineCount = DmxCount;
  }
  else
  {
    for(sInt i = 0; i < sCONTROL_MIDICONTROLLERS; i++) MidiBaseline[i] = MidiCurrent[i];
  }
}

sBool SceneControls::FindLearnedControl(sInt kind, sInt &channel)
{
  const sF32 *base = MidiBaseline, *cur = MidiCurrent;
  sInt count = sCONTROL_MIDICONTROLLERS;
  if(IsDmx(kind))
  {
    base = DmxBaseline;
    cur = DmxCurrent;
    count = DmxCount < DmxBaselineCount ? DmxCount : DmxBaselineCount;
  }
  for(sInt i = 0; i < count; i++)
  {
    sF32 d = base[i] - cur[i];
    if(d > 0.25f || d < -0.25f)
    {
      channel = i;
      return 1;
    }
  }
  return 0;
}

/****************************************************************************/
/***   Live recording file                                                ***/
/****************************************************************************/

namespace
{
sBool IsDigit(sChar c) { return c >= '0' && c <= '9'; }
sBool IsLetter(sChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
// a hexadecimal digit's value; 16 for any other character
sU32 HexDigit(sChar c)
{
  if(IsDigit(c)) return c - '0';
  if(c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : 16;
}

// The recording's text split into tokens as the program's tokenizer splits every text
// format (blanks and comments between tokens; operators, strings, character literals,
// names and numbers), kept to what the recording needs: the kind of each token, whether
// a name is "live", and the value of an integer or character literal. Names are not
// pooled, which keeps a start with a full table quick.
struct LiveText
{
  static constexpr sInt Longest = 32768;   // names and strings this long are errors of the tokenizer

  const sChar *P;
  sInt Line = 1;
  sInt Kind = sTOK_END;    // sScannerTokenKind, or an operator's code
  sBool Live = 0;          // the token is the name "live"
  sU32 Value = 0;          // an integer's or character literal's value, modulo 2^32
  sBool Wide = 0;          // an integer whose digits do not fit in 32 bits
  sInt TokenLine = 1;      // where the token starts
  sBool Failed = 0;        // an error of the text was met (as the tokenizer counts them)
  sInt FailedLine = 0;

  sInt Fail()
  {
    if(!Failed) Failed = 1, FailedLine = TokenLine;
    return Kind = sTOK_ERROR;
  }

  // Reads the next token and returns its kind.
  sInt Scan()
  {
    Live = Wide = 0;
    Value = 0;
    for(;;)
    {
      while(*P == ' ' || *P == '\t' || *P == '\r' || *P == '\n') Line += *P++ == '\n';
      if(P[0] == '/' && P[1] == '*')
      {
        for(P += 2; *P && !(P[0] == '*' && P[1] == '/'); P++) Line += *P == '\n';
        if(!*P)
        {
          TokenLine = Line;
          return Fail();
        }
        P += 2;
      }
      else if(P[0] == '/' && P[1] == '/')
        while(*P && *P != '\n' && *P != '\r') P++;
      else break;
    }
    TokenLine = Line;
    if(!*P) return Kind = sTOK_END;

    sChar c = *P;
    if(IsDigit(c)) return Number();
    // the separator of the recording's own lines, its commonest token, before the search below
    if(c == ',') return Kind = *P++;
    if(IsLetter(c))
    {
      const sChar *s = P;
      while(IsLetter(*P) || IsDigit(*P)) P++;
      if(P - s >= Longest) return Fail();
      Live = P - s == 4 && s[0] == 'l' && s[1] == 'i' && s[2] == 'v' && s[3] == 'e';
      return Kind = sTOK_NAME;
    }
    // the operators of two characters before those of one
    sInt pair = 0;
    switch(c)
    {
    case '<': pair = P[1] == '<' ? sTOK_SHIFTL : P[1] == '=' ? sTOK_LE : 0; break;
    case '>': pair = P[1] == '>' ? sTOK_SHIFTR : P[1] == '=' ? sTOK_GE : 0; break;
    case '=': pair = P[1] == '=' ? sTOK_EQUAL : 0; break;
    case '!': pair = P[1] == '=' ? sTOK_NOTEQUAL : 0; break;
    case '.': pair = P[1] == '.' ? sTOK_ELLIPSES : 0; break;
    case ':': pair = P[1] == ':' ? sTOK_SCOPE : 0; break;
    case '"': return String();
    case '\'':
      // a literal that does not close is no token, but no error either
      if(!*++P) return Kind = sTOK_ERROR;
      Value = *P++;
      if(*P != '\'') return Kind = sTOK_ERROR;
      P++;
      return Kind = sTOK_CHAR;
    }
    if(pair)
    {
      P += 2;
      return Kind = pair;
    }
    if(sFindFirstChar(u"+-*/%^~,.;:!?=<>()[]{}&|", c) >= 0) return Kind = *P++;
    // a character no token begins with is skipped
    P++;
    return Fail();
  }

  // A string at the cursor: the characters up to the closing quote.
  sInt String()
  {
    sInt n = 0;
    for(P++; *P && *P != '"'; P++)
    {
      Line += *P == '\n';
      n += *P != '\r';
    }
    sBool closed = *P == '"';
    P += closed;
    if(n >= Longest) return Fail();
    // a string the text ends in is no token, but no error either
    return Kind = closed ? sTOK_STRING : sTOK_ERROR;
  }

  // A number at the cursor: an integer (decimal, or hexadecimal after "0x", binary after
  // "0b", whose digits may be none) or a float (a fraction, ".#INF" or an exponent).
  sInt Number()
  {
    const sU64 Top = 1ull << 32;
    sU64 v = 0;
    Kind = sTOK_INT;
    if(P[0] == '0' && (P[1] == 'x' || P[1] == 'X'))
    {
      for(P += 2; HexDigit(*P) < 16; P++)
        if(v < Top) v = v * 16 + HexDigit(*P);
    }
    else if(P[0] == '0' && (P[1] == 'b' || P[1] == 'B'))
    {
      for(P += 2; *P == '0' || *P == '1'; P++)
        if(v < Top) v = v * 2 + sU32(*P - '0');
    }
    else
    {
      for(; IsDigit(*P); P++)
        if(v < Top) v = v * 10 + sU32(*P - '0');
      if(P[0] == '.' && (IsDigit(P[1]) || P[1] == '#'))
      {
        Kind = sTOK_FLOAT;
        if(*++P == '#')
        {
          if(!(P[1] == 'I' && P[2] == 'N' && P[3] == 'F'))
          {
            // ".#" other than ".#INF": the character after it is skipped with it
            P++;
            if(*P) P++;
            return Fail();
          }
          P += 4;
        }
        while(IsDigit(*P)) P++;
      }
      if(*P == 'e')
      {
        Kind = sTOK_FLOAT;
        P++;
        if(*P == '+' || *P == '-') P++;
        while(IsDigit(*P)) P++;
      }
    }
    Value = sU32(v);
    Wide = v >= Top;
    return Kind;
  }

  // One line, the cursor on its first token: the name "live", then 33 times a separator
  // (any one token) and an integer, which a '-' may precede. Returns the number of words
  // read into the line, all 33 unless a word is no integer; -1 for a line without its name.
  sInt ReadLine(sU32 *words)
  {
    if(Kind != sTOK_NAME || !Live) return -1;
    Scan();
    for(sInt i = 0; i < sLIVE_WORDS; i++)
    {
      Scan();
      sU32 sign = 1;
      if(Kind == '-')
      {
        sign = sU32(-1);
        Scan();
      }
      // a number past 32 bits would be replayed as its low bits: another value
      if((Kind != sTOK_INT && Kind != sTOK_CHAR) || Wide)
      {
        // the words after it would be read out of place, into other tracks: they stay 0
        for(sInt k = i; k < sLIVE_WORDS; k++) words[k] = 0;
        return i;
      }
      words[i] = Value * sign;
      Scan();
    }
    return sLIVE_WORDS;
  }
};
}

sInt LoadLiveRecording(SceneControls *controls, const sChar *name)
{
  sClearStaleSaveTemps(name);
  if(!sFileExists(name))
  {
    sLogF(u"sys", u"no live recording %s: the show runs live\n", name);
    return 0;
  }
  sScannerFileSource source;
  if(!source.Open(name))
  {
    sLogF(u"sys", u"live recording %s cannot be read: %s; the show runs live\n", name, sGetFileFailure());
    return 0;
  }
  LiveText text{source.Text};
  text.Scan();
  sInt line = 0, damage = 0;
  for(;;)
  {
    // the reading ends at the first error of the text, after the line it stands in
    if(text.Failed)
    {
      damage = text.FailedLine;
      break;
    }
    if(text.Kind == sTOK_END)
    {
      // a 0 among the characters (a NUL byte of the file) ends the text early
      if(text.P != source.Text + source.Length) damage = text.TokenLine;
      break;
    }
    // a longer file stops the reading, not the show: its first lines are replayed
    if(line >= sLIVE_LINES)
    {
      sLogF(u"sys", u"live recording: more than %d lines, the rest is left out\n", sInt(sLIVE_LINES));
      break;
    }
    // a line that is not one of the recording stops the reading, not the show: the lines
    // before it are replayed
    const sInt words = text.ReadLine(controls->LiveTable[line]);
    if(words < 0)
    {
      damage = text.TokenLine;
      break;
    }
    line++;
    // a word that is no integer ends the reading; the words of its line before it stay
    if(words < sLIVE_WORDS)
    {
      damage = text.Failed ? text.FailedLine : text.TokenLine;
      break;
    }
  }
  if(damage)
    sLogF(u"sys", u"live recording: wrong format. line %d of %s: %d lines are replayed, the rest runs live\n", damage,
          name, line);
  else
    sLogF(u"sys", u"live recording %s: %d lines (%d s) are replayed\n", name, line, line / 50);
  return line;
}

sBool SaveLiveRecording(SceneControls *controls, const sChar *name)
{
  sTextBuffer text(sLIVE_LINES * 180);
  sChar number[256];
  for(sInt line = 0; line < sLIVE_LINES; line++)
  {
    const sU32 *w = controls->LiveTable[line];
    sSPrintF(sStringRef(number, 256), u"live: %05d,", w[0]);
    text.Print(number);
    for(sInt i = 1; i < sLIVE_WORDS; i++)
    {
      sSPrintF(sStringRef(number, 256), i + 1 < sLIVE_WORDS ? u"%04d," : u"%04d\n", w[i]);
      text.Print(number);
    }
  }
  sStringBuffer<2048> temp;
  sMakeSaveTempName(temp.Ref(), name, u".new");
  // the operator is told of every save and why one failed; the old file stays whole then
  if(!sSaveTextFile(temp.Get(), text.Get(), 1))
  {
    sLogF(u"sys", u"live recording not saved to %s: %s\n", name, sGetFileFailure());
    sDeleteFile(temp.Get());
    return 0;
  }
  std::string error;
  if(!plat::ReplaceFile(plat::ToUtf8(temp.Get()).c_str(), plat::ToUtf8(name).c_str(), &error) ||
     !plat::SyncFolderOf(plat::ToUtf8(name).c_str(), &error))
  {
    sLogF(u"sys", u"live recording not saved to %s: %s\n", name, plat::ToUtf16(error).c_str());
    sDeleteFile(temp.Get());
    return 0;
  }
  sLogF(u"sys", u"live recording saved to %s\n", name);
  return 1;
}
