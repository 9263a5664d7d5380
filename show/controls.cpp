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

sBool SceneControls::GetControlTrigger(sInt kind, sInt channel, sInt track)
{
  sVERIFY(track >= 0 && track < sCONTROL_TRACKS);
  sInt line = GetLiveLine();
  sU32 flags = LiveTable[line][1 + track] / 1000;
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
    // the operator took the track over: its recording is given up from here on
    for(sInt l = line; l < sLIVE_LINES; l++) LiveTable[l][1 + track] = 0;
    LiveOverride[1 + track] = 1;
  }
  return 1;
}

sF32 SceneControls::GetControlValue(sInt kind, sInt channel, sInt track)
{
  sVERIFY(track >= 0 && track < sCONTROL_TRACKS);
  sU32 w = LiveTable[GetLiveLine()][1 + track];
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

// A cursor over the recording's text, read as the program's tokenizer splits every text
// format: blanks and comments between tokens, which are names, numbers, strings and
// operators. The recording needs only some of them; every other token ends the reading.
struct LiveText
{
  const sChar *P;
  sInt Line = 1;

  // Skips blanks and /* */ and // comments; 0 at a /* comment that does not end.
  sBool Skip()
  {
    for(;;)
    {
      // no blank or comment begins above '/'
      if(*P > '/') return 1;
      if(*P == ' ' || *P == '\t' || *P == '\r') P++;
      else if(*P == '\n') P++, Line++;
      else if(P[0] == '/' && P[1] == '*')
      {
        for(P += 2; *P && !(P[0] == '*' && P[1] == '/'); P++) Line += *P == '\n';
        if(!*P) return 0;
        P += 2;
      }
      else if(P[0] == '/' && P[1] == '/')
        while(*P && *P != '\n' && *P != '\r') P++;
      else return 1;
    }
  }

  // A number for a word of the table (0..2^31-1): decimal, or hexadecimal after "0x" or
  // binary after "0b", whose digits may be none. Any longer number is damage, as its low
  // bits would read as another value; a decimal number with a fraction (".5", ".#INF")
  // or an exponent ('e') is a float, no word.
  sBool ReadWord(sU32 &word)
  {
    if(!IsDigit(*P)) return 0;
    sU64 v = 0;
    if(P[0] == '0' && (P[1] == 'x' || P[1] == 'X'))
    {
      for(P += 2; HexDigit(*P) < 16; P++)
        if(v <= 0x7fffffff) v = v * 16 + HexDigit(*P);
    }
    else if(P[0] == '0' && (P[1] == 'b' || P[1] == 'B'))
    {
      for(P += 2; *P == '0' || *P == '1'; P++)
        if(v <= 0x7fffffff) v = v * 2 + sU32(*P - '0');
    }
    else
    {
      for(; IsDigit(*P); P++)
        if(v <= 0x7fffffff) v = v * 10 + sU32(*P - '0');
      if((P[0] == '.' && (IsDigit(P[1]) || P[1] == '#')) || P[0] == 'e') return 0;
    }
    word = sU32(v);
    return v <= 0x7fffffff;
  }

  // One line: the name "live", then ':' before the first word and ',' before the others
  // (the cursor on the name). 0 at the first token that does not fit.
  sBool ReadLine(sU32 *words)
  {
    // a longer name ("lively") and "::" are tokens of their own, but then no ':' and
    // number would follow them either
    if(!(P[0] == 'l' && P[1] == 'i' && P[2] == 'v' && P[3] == 'e')) return 0;
    P += 4;
    for(sInt i = 0; i < sLIVE_WORDS; i++)
    {
      if(!Skip() || *P != (i == 0 ? ':' : ',')) return 0;
      P++;
      if(!Skip() || !ReadWord(words[i])) return 0;
    }
    return 1;
  }

  // Whether the token at the cursor is an error of the text: a character no token begins
  // with, a float ending in ".#" other than ".#INF", or a name or string too long for the
  // tokenizer. A line followed by such a token counts as damaged itself.
  sBool AtError() const
  {
    const sChar *p = P;
    if(IsLetter(*p))
    {
      while(IsLetter(*p) || IsDigit(*p)) p++;
      return p - P >= 32768;
    }
    if(!*p || sFindFirstChar(u"+-*/%^~,.;:!?=<>()[]{}&|'", *p) >= 0) return 0;
    if(*p == '"')
    {
      sInt n = 0;
      for(p++; *p && *p != '"'; p++) n += *p != '\r';
      return n >= 32768;
    }
    if(!IsDigit(*p)) return 1;
    if(p[0] == '0' && (p[1] == 'x' || p[1] == 'X' || p[1] == 'b' || p[1] == 'B')) return 0;
    while(IsDigit(*p)) p++;
    return p[0] == '.' && p[1] == '#' && !(p[2] == 'I' && p[3] == 'N' && p[4] == 'F');
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
  // a 0 among the characters (a NUL byte of the file) ends the text early: damage there
  const sChar *end = source.Text + source.Length;
  // a token that is an error of the text is no "live" either: at the start as after a line
  sBool good = text.Skip();
  sInt line = 0;
  for(;;)
  {
    sInt textLine = text.Line;
    if(good && !*text.P && text.P == end) break;
    if(good && line >= sLIVE_LINES)
    {
      sLogF(u"sys", u"live recording: more than %d lines, the rest is left out\n", sInt(sLIVE_LINES));
      break;
    }
    sU32 words[sLIVE_WORDS];
    good = good && text.ReadLine(words) && text.Skip() && !text.AtError();
    if(!good)
    {
      // the lines before the damage are kept; the show runs live from here on
      sLogF(u"sys", u"live recording: wrong format. line %d of %s: %d lines are replayed, the rest runs live\n", textLine,
            name, line);
      return line;
    }
    for(sInt i = 0; i < sLIVE_WORDS; i++) controls->LiveTable[line][i] = words[i];
    line++;
  }
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
