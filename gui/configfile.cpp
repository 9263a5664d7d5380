// The GUI's configuration files: defaults, the text writer and reader, the encoding.
#include "gui/configfile.hpp"

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "base/textbuffer.hpp"
#include "show/startup.hpp"
#include "util/scanner.hpp"

#include <cmath>

const sChar sGuiDefaultConfigName[] = u"configs/tarnwhistle.spk";

#define SPK_TRACKS(first)                                                                                         \
  first, u"Output - Brightness", u"Strobo - Transparency", u"Strobo - Frequency",                                \
    u"Color Correction - Transparency", u"Color Correction - Hue", u"Feedback - Transparency", u"Feedback - Power", \
    u"Kaleidoskope - Transparency", u"Kaleidoskope - Power", u"Movie - Active", u"Movie - Frequency",             \
    u"Movie - Start", u"Movie - Style", u"Movie - Transparency", u"Self Distortion - Style",                      \
    u"Self Distortion - Frequency", u"Self Distortion - Transparency", u"Movie Distortion - Style",               \
    u"Movie Distortion - Frequency", u"Movie Distortion - Transparency", u"Movie 1 - Start", u"Movie 2 - Start",  \
    u"Movie 3 - Start", u"Movie 4 - Start", u"Movie 5 - Start", u"Movie 6 - Start", u"Movie 7 - Start",           \
    u"Movie 8 - Start", u"Movie 9 - Start", u"Movie 10 - Start", u"Movie 11 - Start", u"Movie 12 - Start"

const sChar *const DmxControlNames[sGUI_CONTROLS] = {SPK_TRACKS(u"DMX - Starting Address")};
const sChar *const MidiControlNames[sGUI_CONTROLS] = {SPK_TRACKS(u"MIDI - Starting Address")};
#undef SPK_TRACKS

const sInt ConfigStyleTable[5][21] = {
  {0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, {0}, {0}, {0, 11}};

namespace
{
constexpr sInt ShowScenes = 13;   // list positions 0..12 of a page name the show scenes
}

sInt GuiStyleEntries(sInt style, GuiStyleEntry *entries)
{
  sInt n = 0;
  if(style == 7)
  {
    for(sInt i = 0; i < sGUI_LEDTILES; i++) entries[n++] = {i, 120 + i};
    return n;
  }
  sInt pages = style < 5 ? 1 : 5;
  for(sInt page = 0; page < pages; page++)
  {
    const sInt *row = ConfigStyleTable[style < 5 ? style : page];
    for(sInt k = 0; k < 21 && (k == 0 || row[k]); k++)
    {
      if(row[k] >= ShowScenes) continue;   // position 13 is the resident Global scene: no tile
      sInt picture = style < 5 ? 20 * style + n : 100 + n;
      entries[n++] = {20 * page + row[k], picture};
    }
  }
  return n;
}

namespace
{
sInt ClampI(sInt v, sInt lo, sInt hi) { return v < lo ? lo : (v > hi ? hi : v); }

void ResetSection(GuiMediaSection &m, sF32 interval)
{
  m = GuiMediaSection();
  m.Interval = interval;
  m.Start = -1.0f;
  m.Power = 0.7f;
}

// A quote in a text goes out as '\'': written as it stands it would end the text early and
// stop the next load there.
void CleanText(const sChar *in, sChar *out, sInt cap)
{
  sInt n = 0;
  for(; *in && n < cap - 1; in++) out[n++] = *in == '"' ? sChar('\'') : *in;
  out[n] = 0;
}

void WriteSection(sTextBuffer &o, const sChar *title, const GuiMediaSection &m, sF32 scale, bool allowEfx, bool power)
{
  sChar dir[sGUI_FOLDERCHARS], fake[sGUI_FOLDERCHARS];
  CleanText(m.Directory, dir, sGUI_FOLDERCHARS);
  CleanText(m.FakeDirectory, fake, sGUI_FOLDERCHARS);
  o.PrintF(u"%s configuration\n\n", title);
  o.PrintF(u"directory: \"%s\"\n", dir);
  o.PrintF(u"fakedirectory: \"%s\"\n", fake);
  o.PrintF(u"drive: %d\n", m.Drive);
  o.PrintF(u"style: %d\n", m.Style);
  if(allowEfx) o.PrintF(u"allowefx: %d\n", m.AllowEfx);
  o.PrintF(u"active: %d\n", m.Active);
  if(power) o.PrintF(u"power: %.1f\n", m.Power * 100.0f);
  o.PrintF(u"interval: %.1f\n", m.Interval * scale);
  o.PrintF(u"start: %.1f\n\n", m.Start);
}

/****************************************************************************/
/***   Reader                                                             ***/
/****************************************************************************/

// The positional reader: one key at a time; the first failure ends the load.
class Reader
{
public:
  sScanner Scan;
  GuiConfig &C;
  const sChar *Error = nullptr;
  sF32 V = 0;

  explicit Reader(GuiConfig &c) : C(c)
  {
    Scan.AddDefaultTokens();
    Scan.AddToken(u"configuration", 256);
  }

  bool Ok() const { return !Error && Scan.Errors == 0; }
  bool Fail(const sChar *message)
  {
    if(!Error) Error = message;
    return false;
  }
  // The key, then its ":" (one token skipped).
  bool Key(const sChar *name, const sChar *message)
  {
    if(!Ok()) return false;
    if(!Scan.IfName(sPoolString(name))) return Fail(message);
    Scan.Scan();
    return true;
  }
  bool Int(const sChar *name, sInt &out, sInt lo, sInt hi, const sChar *message)
  {
    if(!Key(name, message)) return false;
    sInt v = Scan.ScanInt();
    if(!Ok()) return false;
    out = ClampI(v, lo, hi);   // a switch, style, drive or channel stays one its tables have
    return true;
  }
  // A value is stored as read, divided by its scale.
  bool Float(const sChar *name, sF32 &out, sF32 scale, const sChar *message)
  {
    if(!Key(name, message)) return false;
    sF32 v = Scan.ScanFloat() * scale;
    if(!Ok()) return false;
    if(std::isfinite(v)) out = v;   // an infinity is not taken: saved as "+#inf" it would end the next load
    return true;
  }
  // An interval is its slider's fraction, stored as read: above 1 a longer countdown.
  bool Interval(sF32 &out, sF32 scale, const sChar *message) { return Float(u"interval", out, 1.0f / scale, message); }
  bool String(const sChar *name, sChar *out, sInt cap, const sChar *message, const sChar *missing)
  {
    if(!Key(name, message)) return false;
    const sChar *s = nullptr;
    if(!Scan.ScanString(s)) return Fail(missing);
    sCopyString(out, s, cap);
    return true;
  }
  // The start value: exactly -1 is "random", any other its seconds.
  bool Start(sF32 &out, const sChar *message) { return Float(u"start", out, 1.0f, message); }

  bool Media(GuiMediaSection &m, const sChar *const *msg, sF32 scale, bool allowEfx, bool power)
  {
    // msg: directory, no directory, fake, no fake, style, allowefx, active, power, interval, start
    if(!String(u"directory", m.Directory, sGUI_FOLDERCHARS, msg[0], msg[1])) return false;
    if(V > 1.1f && !String(u"fakedirectory", m.FakeDirectory, sGUI_FOLDERCHARS, msg[2], msg[3])) return false;
    if(V > 2.3f && !Int(u"drive", m.Drive, 0, sGUI_DRIVES - 1, u"LoadConfig: wrong drive nr format.")) return false;
    if(!Int(u"style", m.Style, 0, 3, msg[4])) return false;
    if(allowEfx && V > 1.5f && !Int(u"allowefx", m.AllowEfx, 0, 1, msg[5])) return false;
    if(!Int(u"active", m.Active, 0, 1, msg[6])) return false;
    if(power && V > 1.0f && !Float(u"power", m.Power, 0.01f, msg[7])) return false;
    if(!Interval(m.Interval, scale, msg[8])) return false;
    return Start(m.Start, msg[9]);
  }

  void Styles()
  {
    sInt count = V < 2.0f ? 9 : 10;
    for(sInt s = 0; s < count; s++)
    {
      if(!Scan.IfName(sPoolString(u"style"))) { Fail(u"LoadConfig: wrong style format."); return; }
      sInt n = Scan.ScanInt();
      if(!Ok()) return;
      if(n != s + 1) { Fail(u"LoadConfig: wrong style number."); return; }
      sInt values = s < 5 ? 20 : 100;
      for(sInt i = 0; i < values; i++)
      {
        sInt v = Scan.ScanInt();
        if(!Ok()) return;
        C.StyleFlags[s][i] = v;
        Scan.Scan();
      }
    }
    if(V > 2.2f) Int(u"active", C.ActiveStyle, 0, sGUI_STYLES - 1, u"LoadConfig: wrong active style.");
  }

  // Each entry is the name just passed, ":", the channel; the name of the next entry
  // (or the word after the last) is passed at the end.
  void Channels(sInt *lines, const sChar *const *names, const sChar *message, sInt entries, sInt hi)
  {
    Scan.Scan();
    for(sInt i = 0; i <= entries && Ok(); i++)
    {
      if(!Scan.String || !sCmpStringEqual(Scan.String, names[i])) { Fail(message); return; }
      Scan.Scan();
      sInt v = Scan.ScanInt();
      if(!Ok()) return;
      lines[i] = ClampI(v, -1, hi);   // a channel stays one the DMX or MIDI tables have
      Scan.Scan();
    }
  }

  void Section(sInt s)
  {
    static const sChar *const Slides[] = {
      u"LoadConfig: wrong slideshow directory format.", u"LoadConfig: no slideshow directory found.",
      u"LoadConfig: wrong fake slideshow directory format.", u"LoadConfig: no fake slideshow directory found.",
      u"LoadConfig: wrong slideshow style format.", u"LoadConfig: wrong slideshow allow efx format.",
      u"LoadConfig: wrong slideshow active format.", nullptr, u"LoadConfig: wrong slideshow interval format.",
      u"LoadConfig: wrong slideshow start format."};
    static const sChar *const Logos[] = {
      u"LoadConfig: wrong logo directory format.", u"LoadConfig: no logo directory found.",
      u"LoadConfig: wrong fake logo directory format.", u"LoadConfig: no fake logo directory found.",
      u"LoadConfig: wrong logo style format.", nullptr, u"LoadConfig: wrong logo active format.", nullptr,
      u"LoadConfig: wrong logo interval format.", u"LoadConfig: wrong logo start format."};
    static const sChar *const Flyers[] = {
      u"LoadConfig: wrong flyer directory format.", u"LoadConfig: no flyer directory found.",
      u"LoadConfig: wrong fake flyer directory format.", u"LoadConfig: no fake flyer directory found.",
      u"LoadConfig: wrong flyer style format.", nullptr, u"LoadConfig: wrong flyer active format.", nullptr,
      u"LoadConfig: wrong flyer interval format.", u"LoadConfig: wrong flyer start format."};
    static const sChar *const Movies[] = {
      u"LoadConfig: wrong movie directory format.", u"LoadConfig: no movie directory found.",
      u"LoadConfig: wrong fake movie directory format.", u"LoadConfig: no fake movie directory found.",
      u"LoadConfig: wrong movie style format.", nullptr, u"LoadConfig: wrong movie active format.",
      u"LoadConfig: wrong movie power format.", u"LoadConfig: wrong movie interval format.",
      u"LoadConfig: wrong movie start format."};
    sInt entries = V > 1.7f ? 32 : (V > 1.4f ? 20 : 17);
    switch(s)
    {
    case 0:
      if(!Scan.IfName(sPoolString(u"version"))) { Fail(u"LoadConfig: wrong version format."); return; }
      Scan.Scan();
      {
        sF32 v = Scan.ScanFloat();
        if(!Ok()) return;
        if(std::isfinite(v)) C.Version = v;   // an infinity is not taken, as for every float
      }
      Key(u"menuhead", u"LoadConfig: wrong menu head format.");
      break;
    case 1: Styles(); break;
    case 2: Media(C.Slideshow, Slides, 10800.0f, true, false); break;
    case 3: Media(C.Logos, Logos, 1800.0f, false, false); break;
    case 4: Media(C.Flyer, Flyers, 1800.0f, false, false); break;
    case 5: Media(C.Movie, Movies, 1800.0f, false, true); break;
    case 6:
      for(sInt i = 0; i < sGUI_EFFECTS && Ok(); i++)
      {
        GuiEffectSetting &e = C.Effects[i];
        if(!Scan.IfName(sPoolString(u"effect"))) { Fail(u"LoadConfig: wrong effect format."); return; }
        sInt n = Scan.ScanInt();
        if(Ok() && n != i + 1) { Fail(u"LoadConfig: wrong effect number."); return; }
        Int(u"active", e.Active, 0, 1, u"LoadConfig: wrong effect active format.") &&
          Int(u"alpha", e.Alpha, 0, 1, u"LoadConfig: wrong effect alpha format.") &&
          Float(u"transparency", e.Transparency, 0.01f, u"LoadConfig: wrong effect transparecy format.") &&
          Float(u"power", e.Power, 0.01f, u"LoadConfig: wrong effect power format.");
      }
      break;
    case 7:
      for(sInt i = 0; i < sGUI_TEXTSLOTS && Ok(); i++)
      {
        GuiMessageSetting &m = C.Messages[i];
        if(!Scan.IfName(sPoolString(u"message"))) { Fail(u"LoadConfig: wrong message format."); return; }
        sInt n = Scan.ScanInt();
        if(Ok() && n != i + 1) { Fail(u"LoadConfig: wrong message number."); return; }
        String(u"text", m.Text, sGUI_TEXTCHARS, u"LoadConfig: wrong message text format.",
               u"LoadConfig: no message text found.") &&
          Int(u"active", m.Active, 0, 1, u"LoadConfig: wrong message active format.") &&
          Interval(m.Interval, 1800.0f, u"LoadConfig: wrong message interval format.") &&
          Start(m.Start, u"LoadConfig: wrong message start format.");
      }
      break;
    case 8:
      for(sInt i = 0; i < sGUI_TEXTSLOTS && Ok(); i++)
      {
        if(!Scan.IfName(sPoolString(u"short"))) { Fail(u"LoadConfig: wrong short message format."); return; }
        Scan.Scan();
        sInt n = Scan.ScanInt();
        if(Ok() && n != i + 1) { Fail(u"LoadConfig: wrong short message number."); return; }
        String(u"text", C.ShortMessages[i], sGUI_TEXTCHARS, u"LoadConfig: wrong short message text format.",
               u"LoadConfig: no short message text found.");
      }
      break;
    case 9:
    {
      sInt count = V > 2.1f ? 3 : (V > 1.4f ? 2 : 1);
      for(sInt i = 0; i < count && Ok(); i++)
      {
        GuiDistortionSetting &d = C.Distortions[i];
        Int(u"kind", d.Kind, 0, 3, u"LoadConfig: wrong self distortion kind format.") &&
          Int(u"active", d.Active, 0, 1, u"LoadConfig: wrong self distortion active format.") &&
          Float(u"frequency", d.Frequency, 0.01f, u"LoadConfig: wrong self distortion transparecy format.") &&
          Float(u"power", d.Power, 0.01f, u"LoadConfig: wrong self distortion power format.");
      }
      break;
    }
    case 10: Float(u"latency", C.Latency, 0.002f, u"LoadConfig: wrong latency kind format."); break;
    case 11:
      if(V > 1.1f) Channels(C.Dmx, DmxControlNames, u"LoadConfig: wrong dmx channel format.", entries, 4095);
      break;
    case 12:
      if(V > 1.2f) Channels(C.Midi, MidiControlNames, u"LoadConfig: wrong midi channel format.", entries, 127);
      if(V > 1.8f)
        for(sInt i = 0; i < 2; i++)
          Int(u"movie_start_fader", C.MovieStartFader[i], -1, 127, u"LoadConfig: wrong movie start fader format.");
      break;
    case 13:
      if(V > 1.6f)
      {
        static const sChar *const keys[] = {u"x0", u"y0", u"x1", u"y1", u"ix0", u"iy0", u"ix1", u"iy1"};
        static const sChar *const msgs[] = {
          u"LoadConfig: wrong scaler x0 format.", u"LoadConfig: wrong scaler y0 format.",
          u"LoadConfig: wrong scaler x1 format.", u"LoadConfig: wrong scaler y1 format.",
          u"LoadConfig: wrong scaler ix0 format.", u"LoadConfig: wrong scaler iy0 format.",
          u"LoadConfig: wrong scaler ix1 format.", u"LoadConfig: wrong scaler iy1 format."};
        for(sInt i = 0; i < sGUI_SCALERS && Ok(); i++)
        {
          GuiScalerSetting &c = C.Scalers[i];
          if(!Int(u"active", c.Active, 0, 1, u"LoadConfig: wrong scaler active format.")) return;
          for(sInt k = 0; k < 8; k++)
            if(!Float(keys[k], k < 4 ? c.Out[k] : c.In[k - 4], 1.0f, msgs[k])) return;
          Float(u"brightness", c.Brightness, 1.0f, u"LoadConfig: wrong scaler brightness format.") &&
            Float(u"contrast", c.Contrast, 1.0f, u"LoadConfig: wrong scaler contrast format.");
        }
      }
      else if(V > 1.2f)
      {
        // the old two-device layout is read and dropped
        static const sChar *const keys[] = {u"active", u"invert", u"x0", u"y0", u"x1", u"y1", u"brightness", u"contrast"};
        static const sChar *const msgs[] = {
          u"LoadConfig: wrong scaler active format.", u"LoadConfig: wrong scaler invert format.",
          u"LoadConfig: wrong scaler x0 format.", u"LoadConfig: wrong scaler y0 format.",
          u"LoadConfig: wrong scaler x1 format.", u"LoadConfig: wrong scaler y1 format.",
          u"LoadConfig: wrong scaler brightness format.", u"LoadConfig: wrong scaler contrast format."};
        sF32 dummy = 0;
        for(sInt e = 0; e < 2; e++)
          for(sInt k = 0; k < (V > 1.3f ? 8 : 6); k++)
            if(!Float(keys[k], dummy, 1.0f, msgs[k])) return;
      }
      break;
    case 14:
      if(V > 2.0f)
      {
        Int(u"style", C.VideoStyle, 0, 3, u"LoadConfig: wrong video-in style format.") &&
          Int(u"active", C.VideoActive, 0, 1, u"LoadConfig: wrong video-in active format.") &&
          Float(u"power", C.VideoPower, 0.01f, u"LoadConfig: wrong video-in power format.") &&
          Interval(C.VideoInterval, 1800.0f, u"LoadConfig: wrong video-in interval format.") &&
          Start(C.VideoStart, u"LoadConfig: wrong video-in start format.");
      }
      break;
    default: break;
    }
  }
};
}

void ResetGuiConfig(GuiConfig &c)
{
  sF32 version = c.Version, fileVersion = c.FileVersion;
  sInt active = c.ActiveStyle;
  sF32 videoStart = c.VideoStart;
  c = GuiConfig();
  c.Version = version;
  c.FileVersion = fileVersion;
  c.ActiveStyle = active;
  c.VideoStart = videoStart;
  for(sInt s = 0; s < sGUI_STYLES; s++)
  {
    auto setRow = [&](sInt row, sInt base) {
      const sInt *r = ConfigStyleTable[row];
      c.StyleFlags[s][base + r[0]] = 1;
      for(sInt i = 1; i < 21 && r[i]; i++) c.StyleFlags[s][base + r[i]] = 1;
    };
    if(s < 5)
      setRow(s, 0);
    else if(s == 7)
      for(sInt i = 0; i < ShowScenes; i++) c.StyleFlags[s][i] = 1;
    else
      for(sInt r = 0; r < 5; r++) setRow(r, r * 20);
  }
  ResetSection(c.Slideshow, 0.5f);
  ResetSection(c.Logos, 0.5f);
  ResetSection(c.Flyer, 0.5f);
  ResetSection(c.Movie, 0.5f);
  static const sF32 transparency[5] = {1.0f, 0.5f, 0.5f, 0.5f, 1.0f};
  static const sF32 power[5] = {1.0f / 15.0f, 0.5f, 0.5f, 0.5f, 1.0f};
  for(sInt i = 0; i < sGUI_EFFECTS; i++) c.Effects[i] = {0, 0, transparency[i], power[i]};
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++) c.Messages[i].Interval = 0.5f, c.Messages[i].Start = -1.0f;
  for(sInt i = 0; i < sGUI_DISTORTIONS; i++) c.Distortions[i] = {0, i == 0 ? 1 : 0, 0.6f, 0.8f};
  c.Latency = 0.24f;
  for(sInt i = 0; i < sGUI_CONTROLS; i++) c.Dmx[i] = c.Midi[i] = i == 0 ? 0 : i - 1;
  for(sInt i = 0; i < sGUI_SCALERS; i++)
    c.Scalers[i] = {0, {0, 0, 1, 1}, {0, 0, 1, 1}, 1.0f, 0.0f};
  c.VideoPower = 0.7f;
  c.VideoInterval = 0.5f;
}

void BuildConfigText(sTextBuffer &o, const GuiConfig &c, sInt menuHead)
{
  o.PrintF(u"%s configuration %1.1f\n\n", u"Sparkvane", 2.4f);
  o.Print(u"product configuration\n\n");
  o.PrintF(u"version: %1.2f\n", c.Version);
  o.PrintF(u"menuhead: %d\n\n", menuHead);
  o.Print(u"style configuration\n\n");
  for(sInt s = 0; s < sGUI_STYLES; s++)
  {
    o.PrintF(u"style %d\n%d", s + 1, c.StyleFlags[s][0]);
    for(sInt i = 1; i < (s < 5 ? 20 : 100); i++) o.PrintF(u",%d", c.StyleFlags[s][i]);
    o.Print(u";\n");
  }
  o.PrintF(u"active: %d\n\n", c.ActiveStyle);
  WriteSection(o, u"slideshow", c.Slideshow, 10800.0f, true, false);
  WriteSection(o, u"logos", c.Logos, 1800.0f, false, false);
  WriteSection(o, u"flyer", c.Flyer, 1800.0f, false, false);
  WriteSection(o, u"movie", c.Movie, 1800.0f, false, true);
  o.Print(u"effect configuration\n\n");
  for(sInt i = 0; i < sGUI_EFFECTS; i++)
  {
    const GuiEffectSetting &e = c.Effects[i];
    o.PrintF(u"effect %d\nactive: %d\nalpha: %d\n", i + 1, e.Active, e.Alpha);
    o.PrintF(u"transparency: %.1f\npower: %.1f\n\n", e.Transparency * 100.0f, e.Power * 100.0f);
  }
  o.Print(u"message configuration\n\n");
  sChar text[sGUI_TEXTCHARS];
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++)
  {
    const GuiMessageSetting &m = c.Messages[i];
    CleanText(m.Text, text, sGUI_TEXTCHARS);
    o.PrintF(u"message %d\ntext: \"%s\"\nactive: %d\n", i + 1, text, m.Active);
    o.PrintF(u"interval: %.1f\nstart: %.1f\n\n", m.Interval * 1800.0f, m.Start);
  }
  o.Print(u"short message configuration\n\n");
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++)
  {
    CleanText(c.ShortMessages[i], text, sGUI_TEXTCHARS);
    o.PrintF(u"short message %d\ntext: \"%s\"\n\n", i + 1, text);
  }
  o.Print(u"self distortion configuration\n\n");
  for(const GuiDistortionSetting &d : c.Distortions)
    o.PrintF(u"kind: %d\nactive: %d\nfrequency: %.1f\npower: %.1f\n\n", d.Kind, d.Active, d.Frequency * 100.0f,
             d.Power * 100.0f);
  o.PrintF(u"latency configuration\n\nlatency: %.1f\n\n", c.Latency * 500.0f);
  o.Print(u"dmx configuration\n\n");
  for(sInt i = 0; i < sGUI_CONTROLS; i++) o.PrintF(u"\"%s\": %d\n", DmxControlNames[i], c.Dmx[i]);
  o.Print(u"\nmidi configuration\n\n");
  for(sInt i = 0; i < sGUI_CONTROLS; i++) o.PrintF(u"\"%s\": %d\n", MidiControlNames[i], c.Midi[i]);
  o.Print(u"\nfader_switch_for_movies\n");
  for(sInt i = 0; i < 2; i++) o.PrintF(u"movie_start_fader: %d\n", c.MovieStartFader[i]);
  o.Print(u"\nscaler configuration\n\n");
  for(const GuiScalerSetting &s : c.Scalers)
  {
    o.PrintF(u"active: %d\nx0: %.6f\ny0: %.6f\nx1: %.6f\ny1: %.6f\n\n", s.Active, s.Out[0], s.Out[1], s.Out[2], s.Out[3]);
    o.PrintF(u"ix0: %.6f\niy0: %.6f\nix1: %.6f\niy1: %.6f\n\n", s.In[0], s.In[1], s.In[2], s.In[3]);
    o.PrintF(u"brightness: %.6f\ncontrast: %.6f\n\n", s.Brightness, s.Contrast);
  }
  o.Print(u"video-in configuration\n\n");
  o.PrintF(u"style: %d\nactive: %d\npower: %.1f\n", c.VideoStyle, c.VideoActive, c.VideoPower * 100.0f);
  o.PrintF(u"interval: %.1f\nstart: %.1f\n\n", c.VideoInterval * 1800.0f, c.VideoStart);
}

ConfigParseResult ParseConfigText(const sChar *text, GuiConfig &config)
{
  ConfigParseResult result = {0, 0, nullptr};
  Reader r(config);
  r.Scan.StartString(text ? text : u"");
  if(!r.Scan.IfName(sPoolString(u"Sparkvane")))
  {
    result.Error = u"LoadConfig: wrong file id.";
    sDPrint(u"LoadConfig: wrong file id.\n");
    return result;
  }
  r.Scan.IfToken(256);
  r.V = r.Scan.ScanFloat();
  config.FileVersion = r.V;
  if(r.Scan.Errors)
  {
    // no format version: not a configuration, told as a product section without its version
    result.Error = u"LoadConfig: wrong version format.";
    sDPrint(u"LoadConfig: wrong version format.\n");
    return result;
  }
  result.Loaded = 1;
  sInt s = 0;
  while(r.Ok() && r.Scan.Token != sTOK_END)
  {
    if(!r.Scan.IfToken(256))
    {
      r.Scan.Scan();
      continue;
    }
    if(s < 15)
    {
      r.Section(s);
      result.Sections |= 1u << s;
    }
    // a product section without its version key is no configuration: callers reset
    if(s == 0 && r.Error && sCmpStringEqual(r.Error, u"LoadConfig: wrong version format.")) result.Loaded = 0;
    s++;
  }
  if(s == 0) result.Loaded = 0, r.Fail(u"LoadConfig: wrong version format.");
  if(!r.Ok())
  {
    // the scanner has printed its own error; the reader prints the key that failed
    if(r.Error) sDPrintF(u"%s\n", r.Error);
    result.Error = r.Error ? r.Error : u"scanner error";
  }
  return result;
}

sU8 *EncodeConfigText(const sChar *text, sRandomLcg &random, sDInt &size)
{
  sInt n = sGetStringLen(text);
  size = 4 + 2 * sDInt(n);
  sU8 *data = static_cast<sU8 *>(sMemAlloc(size, 16, 0));
  sU32 sum = 0;
  for(sInt i = 0; i < n; i++)
  {
    sU8 hi = sU8((random.NextBelow(256) & 0xf0) | ((text[i] & 0xff) >> 4));
    sU8 lo = sU8((random.NextBelow(256) & 0xf0) | (text[i] & 0xf));
    data[4 + 2 * i] = hi;
    data[5 + 2 * i] = lo;
    sum += hi + lo;
  }
  for(sInt i = 0; i < 4; i++) data[i] = sU8(sum >> (8 * i));
  return data;
}

sChar *DecodeConfigText(const sU8 *data, sDInt size)
{
  if(!data || size < 4) return nullptr;
  sU32 stored = sU32(data[0]) | sU32(data[1]) << 8 | sU32(data[2]) << 16 | sU32(data[3]) << 24;
  sU32 sum = 0;
  for(sDInt i = 4; i < size; i++) sum += data[i];
  if(sum != stored) return nullptr;
  sDInt n = (size - 4) / 2;
  sChar *text = static_cast<sChar *>(sMemAlloc((n + 1) * sizeof(sChar), 16, 0));
  for(sDInt i = 0; i < n; i++) text[i] = sChar((data[4 + 2 * i] & 15) * 16 + (data[5 + 2 * i] & 15));
  text[n] = 0;
  return text;
}

sBool ConfigTextFits(const sChar *text)
{
  for(const sChar *p = text; *p; p++)
    if(*p > 255) return 0;
  return 1;
}

sBool WriteConfigText(const sChar *path, const sChar *text, sRandomLcg &random)
{
  // a character beyond 8 bits would come back as another one: nothing is written
  for(const sChar *p = text; *p; p++)
    if(*p > 255)
    {
      const sChar *line = p;
      while(line > text && line[-1] != '\n') line--;
      sInt n = 0;
      while(line[n] && line[n] != '\n' && n < 200) n++;
      sChar shown[201];
      sCopyString(shown, line, n + 1);
      sLogF(u"gui", u"configuration not saved to %s: it would hold characters a configuration cannot hold: %s\n",
            path, shown);
      return 0;
    }
  sPathString file;
  if(!JoinDataRoot(file.Ref(), path))
  {
    sLogF(u"gui", u"configuration not saved to %s: its name is too long\n", path);
    return 0;
  }
  sDInt size = 0;
  sU8 *data = EncodeConfigText(text, random, size);
  sPathString tmp;
  sMakeSaveTempName(tmp.Ref(), file, u".tmp");
  sBool ok = sSaveFileData(tmp, data, size, 1);
  sChar why[128] = {};
  if(!ok) sCopyString(why, sGetFileFailure());
  if(ok)
  {
    // only a file that reads back whole replaces the old one
    sDInt back = 0;
    sU8 *check = sLoadFileData(tmp, &back);
    ok = check && back == size;
    for(sDInt i = 0; ok && i < size; i++) ok = check[i] == data[i];
    if(check) sMemFree(check);
    if(!ok) sCopyString(why, u"it did not read back as written");
  }
  if(ok && !(ok = sRenameFile(tmp, file))) sCopyString(why, sGetFileFailure());
  if(!ok)
  {
    sDeleteFile(tmp);
    sLogF(u"gui", u"configuration not saved to %s: %s\n", path, why);
  }
  sMemFree(data);
  return ok;
}

sChar *ReadConfigText(const sChar *path, sChar *why, sInt whySize)
{
  sPathString file;
  sDInt size = 0;
  sU8 *data = JoinDataRoot(file.Ref(), path) ? sLoadFileData(file, &size) : nullptr;
  if(!data)
  {
    if(why) sCopyString(why, sGetFileFailure(), whySize);
    return nullptr;
  }
  sChar *text = DecodeConfigText(data, size);
  sMemFree(data);
  if(!text && why)
    sCopyString(why, size < 4 ? u"it is too short for a configuration" : u"its check sum does not hold: the file is damaged",
                whySize);
  return text;
}

sChar *ReadConfigText(const sChar *path) { return ReadConfigText(path, nullptr, 0); }

/****************************************************************************/
/***   The GUI's configuration slots                                      ***/
/****************************************************************************/

GuiConfigSlots::GuiConfigSlots()
{
  for(sInt i = 0; i < sGUI_CONFIGSLOTS; i++)
  {
    configSelected[i] = i == 0;
    sCopyString(configNames[i], sGuiDefaultConfigName, sGUI_TEXTCHARS);
  }
  configSlot = configSaveSlot = 0;
  configShownSlot = -1;
  configCommand = 0;
  activePreset = 0;
  lastLoadResult = 0;
  lastLoadStop = nullptr;
  configLoadTime = 0;
}

sInt GuiConfigSlots::SaveSlot() const
{
  return configSaveSlot >= 0 && configSaveSlot < sGUI_CONFIGSLOTS ? configSaveSlot : 0;
}

sInt GuiConfigSlots::Load(GuiConfig &config, sThreadLock *lock, sU32 &sections)
{
  sections = 0;
  if(configSlot < 0 || configSlot >= sGUI_CONFIGSLOTS) configSlot = 0;
  // the slots keep their names: a preset loads the file it was given
  sChar name[sGUI_TEXTCHARS];
  sCopyString(name, configNames[configSlot], sGUI_TEXTCHARS);
  for(sInt i = 0; i < sGUI_CONFIGSLOTS; i++) configSelected[i] = i == configSlot;
  configShownSlot = -1;
  configSaveSlot = configSlot;
  lastLoadStop = nullptr;
  // a configuration that cannot be loaded is told with its reason, whoever asked for it
  sChar why[128] = {};
  sChar *text = ReadConfigText(name, why, 128);
  if(!text)
  {
    sLogF(u"gui", u"configuration %s cannot be loaded: %s\n", name, why);
    return 0;
  }
  ConfigParseResult r;
  {
    sScopeLock scope(lock);
    r = ParseConfigText(text, config);
  }
  sMemFree(text);
  if(!r.Loaded)
  {
    sLogF(u"gui", u"configuration %s cannot be loaded: it is not a configuration (%s)\n", name, r.Error);
    return 0;
  }
  sections = r.Sections;
  lastLoadStop = r.Error;
  return 1;
}

sBool GuiConfigSlots::Save(const GuiConfig &config, sInt menuHead, sRandomLcg &random) const
{
  sTextBuffer text;
  BuildConfigText(text, config, menuHead);
  sInt slot = SaveSlot();
  // the writer tells a failure and its reason
  sBool ok = WriteConfigText(configNames[slot], text.Get(), random);
  if(ok) sLogF(u"gui", u"configuration saved to %s\n", configNames[slot]);
  return ok;
}

void GuiConfigSlots::ClearStaleTemps() const
{
  for(sInt i = 0; i < sGUI_CONFIGSLOTS; i++)
  {
    bool seen = false;
    for(sInt j = 0; j < i && !seen; j++) seen = sCmpStringEqual(configNames[i], configNames[j]);
    sPathString file;
    if(!seen && JoinDataRoot(file.Ref(), configNames[i])) sClearStaleSaveTemps(file);
  }
}

sBool GuiConfigSlots::KeepDamagedAside() const
{
  // a damaged file is kept aside for the operator under a name no earlier damaged file
  // has: ".bad", then ".bad1" to ".bad99"
  sBool keptAside = 0;
  sPathString file, bad;
  const sBool named = JoinDataRoot(file.Ref(), configNames[0]);
  for(sInt n = 0; n < 100 && !keptAside && named; n++)
  {
    if(n) sSPrintF(bad.Ref(), u"%s.bad%d", file.Get(), n);
    else sSPrintF(bad.Ref(), u"%s.bad", file.Get());
    if(!sFileExists(bad) && sRenameFile(file, bad)) keptAside = 1;
  }
  if(keptAside)
    sLogF(u"gui", u"configuration %s kept aside as %s; the show starts with the default settings\n", configNames[0],
          bad.Get());
  else
    sLogF(u"gui", u"configuration %s is left as it is; the show starts with the default settings\n", configNames[0]);
  return keptAside;
}

void GuiConfigSlots::DropFailedPreset(sU32 clock)
{
  // a file that cannot be read leaves its slot without a name
  configLoadTime = sInt(clock);
  if(activePreset >= 0 && activePreset < sGUI_CONFIGSLOTS) configNames[activePreset][0] = 0;
  DropUnnamedPreset();
}

void GuiConfigSlots::DropUnnamedPreset()
{
  for(const auto &name : configNames)
    if(name[0]) return;
  configSlot = activePreset = -1;
}

const sChar *GuiConfigSlots::LoadedName() const
{
  return configSlot >= 0 && lastLoadResult ? configNames[configSlot] : nullptr;
}
