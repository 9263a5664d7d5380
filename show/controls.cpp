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
// Whether a decimal number as written fits a word of the table (0..2^31-1); the scanner
// keeps only the low 32 bits of a longer one, which would read as some other value.
sBool FitsLiveWord(const sChar *text)
{
  if(text[0] == '0' && (text[1] == 'x' || text[1] == 'X' || text[1] == 'b' || text[1] == 'B')) return 1;
  sU64 v = 0;
  for(const sChar *p = text; *p >= '0' && *p <= '9'; p++)
    if((v = v * 10 + sU64(*p - '0')) > 0x7fffffffu) return 0;
  return 1;
}
}

sInt LoadLiveRecording(SceneControls *controls, const sChar *name)
{
  if(!sFileExists(name)) return 0;
  sScanner scan;
  scan.AddDefaultTokens();
  if(!scan.StartFile(name) || scan.Errors) return 0;
  const sChar *live = sPoolString(u"live");
  sInt line = 0;
  while(!scan.Errors && scan.Token != sTOK_END)
  {
    if(line >= sLIVE_LINES)
    {
      sLogF(u"sys", u"live recording: more than %d lines, the rest is left out\n", sInt(sLIVE_LINES));
      break;
    }
    sInt textLine = scan.TokenLine;
    sU32 words[sLIVE_WORDS];
    sBool good = scan.IfName(live);
    for(sInt i = 0; good && i < sLIVE_WORDS; i++)
    {
      // the colon before the first number, commas before the others
      good = scan.Token == (i == 0 ? ':' : ',');
      if(!good) break;
      scan.Scan();
      good = scan.Token == sTOK_INT && FitsLiveWord(scan.NumberText);
      sInt value = good ? scan.ScanInt() : 0;
      good = good && !scan.Errors && value >= 0;
      words[i] = sU32(value);
    }
    if(!good)
    {
      // the lines before the damage are kept; the show runs live from here on
      sLogF(u"sys", u"live recording: wrong format. line %d\n", textLine);
      break;
    }
    for(sInt i = 0; i < sLIVE_WORDS; i++) controls->LiveTable[line][i] = words[i];
    line++;
  }
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
  sStringBuffer<2048> temp(name);
  temp.Add(u".new");
  if(!sSaveTextFile(temp.Get(), text.Get(), 1))
  {
    sLogF(u"sys", u"live recording: could not write <%s>\n", temp.Get());
    sDeleteFile(temp.Get());
    return 0;
  }
  std::string error;
  if(!plat::ReplaceFile(plat::ToUtf8(temp.Get()).c_str(), plat::ToUtf8(name).c_str(), &error) ||
     !plat::SyncFolderOf(plat::ToUtf8(name).c_str(), &error))
  {
    sLogF(u"sys", u"live recording: %s\n", plat::ToUtf16(error).c_str());
    sDeleteFile(temp.Get());
    return 0;
  }
  return 1;
}
