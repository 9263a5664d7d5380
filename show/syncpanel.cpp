// The "SYNC machine" panel: beat values, tap state, the tempo scan, input level and the
// onset histories over the picture, on a virtual screen of 1600 x 1200 units.
#include "show/sync.hpp"

#include "base/memory.hpp"
#include "base/numbers.hpp"
#include "graphics/graphics.hpp"
#include "graphics/painter.hpp"
#include "show/scene.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"

#include <cmath>

namespace
{
constexpr sF32 LineStep = 17.0f;
const sChar *const PresetNames[4] = {u"low", u"medium", u"high", u"high+"};

// the panel's drawing in virtual units
struct PanelPen
{
  sPainter *P;
  sF32 Sx, Sy;
  sU32 Text;

  void Rect(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 c) const { P->Rect(x0 * Sx, y0 * Sy, x1 * Sx, y1 * Sy, c); }
  void Line(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 c) const { P->Line(x0 * Sx, y0 * Sy, x1 * Sx, y1 * Sy, c, c); }
  // Right-aligned texts end 6 units left of x.
  void Print(const sChar *text, sF32 x, sF32 y, sBool left, sU32 c) const
  {
    if(!left)
      x -= P->GetWidth(text) / Sx + 6.0f;
    P->PrintRun(0, x * Sx, y * Sy, c, text);
  }
};

sF32 Clamp01(sF32 x)
{
  return x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x;
}
}

void SyncMachine::DrawPanel(sFrameTimer *timer)
{
  if(!Painter)
    return;
  const PanelPen pen{Painter, PanelScaleX, PanelScaleY, sU32(TextAlpha) << 24 | TextColor};
  const SyncResults &r = Results;
  sChar text[256];
  LineCount = 0;

  // backdrop, tap feedback, title
  pen.Rect(60, 780, 1540, 1120, 0xC000000C);
  sInt alpha = ResyncFade / 4;
  alpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
  const sF32 tapEnd = TapDirection ? 750.0f - 300.0f * TapDistance : 750.0f + 300.0f * TapDistance;
  pen.Rect(tapEnd < 750.0f ? tapEnd : 750.0f, 800, tapEnd < 750.0f ? 750.0f : tapEnd, 900,
           sU32(alpha) << 24 | 0xCF0000);
  pen.Print(u"SYNC machine", 100, 812, 1, pen.Text);

  // beat grid, the second set scrolling with the half bar
  for(sInt g = 0; g < 4; g++)
  {
    const sF32 x = 300.0f + 300.0f * sF32(g);
    pen.Line(x, 840, x, 900, 0x80FFFFFF);
    const sF32 moving = x + r.HalfBarPhase * 300.0f - 150.0f;
    pen.Line(moving, 860, moving, 900, 0xFFFFC040);
    LastMarker = sInt(moving);
  }

  // value rows
  const struct
  {
    const sChar *Label;
    sF32 Value;
    sBool Pulse;
  } rows[11] = {
    {u"snaredrum", r.PulseA, 1}, {u"basedrum", r.PulseB, 1},   {u"hihat", r.PulseC, 1},
    {u"pattern", r.BarPhase, 0}, {u"pattern2", r.Bar2Phase, 0}, {u"pattern4", r.Bar4Phase, 0},
    {u"pattern8", r.Bar8Phase, 0}, {u"toggled", r.BarBump, 0},   {u"toggled2", r.Bar2Wave, 0},
    {u"toggled4", r.Bar4WaveA, 0}, {u"toggled8", r.Bar8Wave, 0},
  };
  for(sInt i = 0; i < 11; i++)
  {
    const sF32 y = 920.0f + LineStep * sF32(i);
    const sF32 v = Clamp01(rows[i].Value);
    const sF32 full = rows[i].Pulse ? 150.0f : 600.0f;
    const sF32 end = 400.0f + v * full;
    pen.Print(rows[i].Label, 400, y, 0, pen.Text);
    pen.Rect(400, y + 2, end, y + 12, 0xFF30A0FF);
    pen.Rect(end, y + 2, 400.0f + full, y + 12, 0x40306080);
    pen.Rect(end - 1.0f, y, end + 1.0f, y + 14, 0xFFFFFFFF);
    if(rows[i].Pulse)
      pen.Rect(700, y + 2, 1000, y + 12, sBlendColor(0xFF000000, 0xFFFFFFFF, v));
  }

  // status lines
  sF32 y = 920.0f;
  auto line = [&](sF32 x, const sChar *format, const auto &...args) {
    sSPrintF(sStringRef(text), format, args...);
    pen.Print(text, x, y, LeftAligned, pen.Text);
    y += LineStep;
    LineCount++;
  };
  const sF32 avg = timer ? timer->GetAverageDelta() : 1.0f;
  line(1050, u"%5.2ffps %5.3fms", 1000.0f / avg, avg);
  line(1050, u"bpm:%3.3f", Tempo);
  line(1050, u"predicted snare abs:%d ms", HalfBarPeriod);
  line(1050, u"          snare abs:%d ms", LastInterval);
  line(1050, u"      snare abs max:%d ms", LongestInterval);
  line(1050, u"      snare abs min:%d ms", ShortestInterval);
  line(1050, u"      snare abs mid:%d ms", MidInterval);
  line(1050, u"   snare abs to mid:%3.3f ms", MeanDeviation);
  line(1050, u"        snare count:%d", TapCount);
  line(1050, u"            new bmp:%3.3f", TappedTempo);
  line(1050, u"           pattern:%d", r.BarIndex[0]);
  line(1050, u"            action:%s", PresetNames[ColorPreset & 3]);

  // the newest six beats of input as a level curve, shifted by the phase offset
  {
    const sInt count = sInt(2.646e6f / Tempo * 6.0f);
    const sInt strokes = 1800;
    sInt pos = Receiver.WritePos.load(std::memory_order_acquire) - 1;
    const sF32 shift = PhaseOffset * 400.0f;
    for(sInt s = 0; s < strokes; s++)
    {
      const sInt share = (count * (s + 1)) / strokes - (count * s) / strokes;
      sF32 peak = 0.0f;
      for(sInt i = 0; i < share; i++, pos--)
      {
        SyncSoundRing::WrapIndex(&pos);
        const sF32 v = std::fabs(Receiver.Get(pos));
        if(v > peak)
          peak = v;
      }
      const sF32 x = 1000.0f - sF32(s) * 0.5f + shift;
      pen.Line(x, 1110, x, 1110 - Clamp01(peak) * 80.0f, 0xA0FFFFFF);
    }
  }

  // tempo scan: left-aligned from line 0, coloured by score
  y = 0.0f;
  pen.Print(u"   BPM check", 1250, y, 1, pen.Text);
  y += LineStep;
  sSPrintF(sStringRef(text), u"main BPM: %3.3f", MainBpm);
  pen.Print(text, 1250, y, 1, pen.Text);
  y += LineStep;
  for(sInt b = 0; b < SYNC_TEMPOS; b++, y += LineStep)
  {
    const sU32 c = sBlendColor(0xFF40FF40, 0xFF801010, BassScores[b] / (6.0f * CandidateWindow));
    sSPrintF(sStringRef(text), u" %d BPM: %3.3f", 110 + b, BassScores[b]);
    pen.Print(text, 1250, y, 1, c);
    sSPrintF(sStringRef(text), u"%3.3f", SnareScores[b]);
    pen.Print(text, 1500, y, 1, sBlendColor(0xFF40FF40, 0xFF801010, SnareScores[b] / (6.0f * CandidateWindow)));
  }

  // tempo, level and onset counters
  y = 0.0f;
  sInt sinceTap = -ResyncFade / 1000;
  sinceTap = sinceTap < 0 ? 0 : sinceTap > 10000000 ? 10000000 : sinceTap;
  const struct
  {
    const sChar *Format;
    sF32 F;
    sInt I;
    sBool IsInt;
  } values[] = {
    {u"          auto BPM:%3.3f", AutoBpm, 0, 0},
    {u"   auto BPM smooth:%3.3f", AutoBpmSmooth, 0, 0},
    {u" bestBPMdivergence:%3.3f", BestBassScore, 0, 0},
    {u"        high timer:%d", 0, HighTimer, 1},
    {u"          loudness:%1.3f", PeakLevel, 0, 0},
    {u"       loudnessMAX:%1.3f", PeakHold, 0, 0},
    {u"     loudnessOverS:%1.3f", ClipShort, 0, 0},
    {u"            volume:%1.3f", InputGain, 0, 0},
    {u"      last snaredrum: %ds", 0, sinceTap, 1},
    {u"longest nf snaredrum: %ds", 0, LongestNoSnare, 1},
    {u"  snaredrum > minute: %d", 0, SnareOverMinute, 1},
    {u"       ns beat count: %d", 0, Snare.Count, 1},
    {u"          beat count: %d", 0, Bass.Count, 1},
    {u"           hightimer: %d", 0, HighTimer, 1},
  };
  for(const auto &v : values)
  {
    if(v.IsInt)
      line(100, v.Format, v.I);
    else
      line(100, v.Format, v.F);
  }

  // onset histories in screen pixels
  Painter->Rect(50, 0, 1586, 512, 0xE0101014);
  for(sInt j = SYNC_HISTORY - 511; j < SYNC_HISTORY; j++)
  {
    const sInt h = (HistoryIndex - SYNC_HISTORY + j + SYNC_HISTORY) % SYNC_HISTORY;
    const sF32 x = 50.0f + sF32(j);
    Painter->Line(x, 512, x, 512 - SnareDiff[h], 0x4020FF20, 0x4020FF20);
    Painter->Line(x, 512, x, 512 - BassFlux[h], 0x40FF2020, 0x40FF2020);
  }
  const struct
  {
    const SyncOnsetList *List;
    sU32 Colour, PeakColour;
    sF32 Peak;
  } lists[2] = {{&Bass, 0xFFFF2020, 0xC07030C0, BassPeakMax}, {&Snare, 0xFF20FF20, 0xC0D0A030, SnarePeakMax}};
  for(const auto &l : lists)
  {
    for(sInt i = 0; i < l.List->Count; i++)
    {
      const sF32 x = 50.0f + sF32(SYNC_HISTORY - 1 - l.List->Records[i][0]);
      Painter->Line(x, 512, x, 256, l.Colour, l.Colour);
      Painter->Line(x, 256, x, 256 - l.List->Value[i], 0xFFFFFFFF, 0xFFFFFFFF);
    }
    Painter->Line(1074, 512 - l.Peak, 1586, 512 - l.Peak, l.PeakColour, l.PeakColour);
  }

  // memory and the GUI's request
  sGraphicsStats stats = {};
  sGetGraphicsStats(stats);
  const sInt memory[4] = {sInt(sGetStaticTextureMem() >> 20), sInt(stats.StaticVertexMem >> 20),
                          sInt(sU64(sAllocatedBytes.load()) >> 20), sInt(sU64(sGetAllocatedBytesBase()) >> 20)};
  const sChar *const memoryNames[4] = {u"    StaticTextureMem: %d", u"     StaticVertexMem: %d",
                                       u"         sMemoryUsed: %d", u"     sMemoryInitSize: %d"};
  for(sInt i = 0; i < 4; i++) line(100, memoryNames[i], memory[i]);
  // the second and third output displays of the display table
  const sChar *const displayNames[2][5] = {
    {u"si1 -Display: %d", u"si1 -CurrentXSize: %d", u"si1 -CurrentYSize: %d", u"si1 -CurrentAspect: %f", u"si1 -Name: %s"},
    {u"si2 -Display: %d", u"si2 -CurrentXSize: %d", u"si2 -CurrentYSize: %d", u"si2 -CurrentAspect: %f", u"si2 -Name: %s"}};
  for(sInt n = 1; n <= 2; n++)
  {
    const ShowDisplayRecord &d = GetShowDisplay(n);
    const sChar *const *names = displayNames[n - 1];
    line(100, names[0], d.Display);
    line(100, names[1], d.Width);
    line(100, names[2], d.Height);
    line(100, names[3], d.Aspect);
    line(100, names[4], d.Name);
  }
  // the size of the screen the IPP machine composes, once a machine runs one
  if(const SceneMachine *machine = sGetSceneMachine(); machine && machine->Ipp)
  {
    line(100, u"ipp ScreenX: %d", machine->Ipp->DisplayWidth);
    line(100, u"ipp ScreenY: %d", machine->Ipp->DisplayHeight);
  }
  if(SceneRequest *g = GuiRecord)
  {
    line(100, u"LED: %d", g->CurrentIsSlideshow);
    line(100, u"LEDSceneNr: %d", g->SlideshowIndex);
    line(100, u"SceneSet: %d", g->RequestFlag);
    line(100, u"NewSceneNr: %d - %d", g->RequestedScene, g->NextNumber);
    line(100, u"NewStyleNr: %d", g->TransitionMode);
  }
}
