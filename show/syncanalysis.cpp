// The SYNC machine's frame: the analysis of new spectra (onsets, tempo scan, input level,
// automatic gain), the clock and phase, the beat values and publishing.
#include "show/sync.hpp"

#include "base/numbers.hpp"
#include "show/audiosync.hpp"

#include <cmath>

namespace
{
constexpr sF32 OnsetThreshold = 5.0f;
constexpr sInt LevelBlocks = 520;
constexpr sInt LevelBlocksShort = 86;

sF32 Clamp(sF32 x, sF32 lo, sF32 hi)
{
  return x < lo ? lo : x > hi ? hi : x;
}

sF32 Frac(sF32 x)
{
  return x - std::floor(x);
}

sF32 Wrap(sF32 x)
{
  return x > 1.0f ? x - 1.0f : x;
}

sF32 Triangle(sF32 x)
{
  return x <= 0.5f ? 2.0f * x : 1.0f - (x - 0.5f) * 2.0f;
}
}

void SyncMachine::ClearAnalysis()
{
  for(sInt i = 0; i < 3; i++)
    FollowRun[i] = FollowSettle[i] = 0;
  LongestNoSnare = SnareOverMinute = 0;
  CandidateWindow = 10.0f;
  BestOnset = -1;
  HighTimer = 0;
  ReopenTimer = 0;
  CurrentAnalyserBlock = LastAnalyserBlock = 0;
  for(sInt i = 0; i < SYNC_HISTORY; i++)
    BassEnergy[i] = BassFlux[i] = SnareEnergy[i] = SnareOnset[i] = SnareDiff[i] = 0.0f;
  BassAccu = BassFast = BassSlow = 0.0f;
  SnareAccu = SnareFast = SnareSlow = 0.0f;
  SnarePeakMax = BassPeakMax = 100.0f;
  PrevSnarePeakMax = 100.0f;
  SnarePeakChange = 0.0f;
  HistoryIndex = 0;
  AnalysedBlocks = 0;
  for(SyncOnsetList *list : {&Bass, &Snare})
  {
    for(sInt i = 0; i < SYNC_ONSETS; i++)
    {
      list->Records[i][0] = list == &Bass ? 10000 : 0;
      for(sInt k = 1; k < 6; k++)
        list->Records[i][k] = -1;
      list->HistoryIndex[i] = 0;
      list->Value[i] = 0.0f;
    }
    list->Count = 0;
  }
  for(sInt i = 0; i < SYNC_ONSETS; i++)
  {
    MatchAge[i] = -1;
    OnsetScore[i] = 0.0f;
  }
  for(sInt i = 0; i < SYNC_TEMPOS; i++)
    BassScores[i] = SnareScores[i] = 0.0f;
  BestBassScore = BestSnareScore = 60.0f;
  BestBassCandidate = BestSnareCandidate = -1.0f;
  InputGain = 0.75f;
  PeakLevel = PeakHold = ClipLong = ClipShort = 0.0f;
  GainDownCounter = 100;
  GainUpCounter = 10;
}

/****************************************************************************/
/***   The frame                                                          ***/
/****************************************************************************/

void SyncMachine::Update(sInt frameMs)
{
  if(GuiRecord)
    PhaseOffset = GuiRecord->LatencyMs / (60000.0f / Tempo) * -0.5f;

  AnalyseNewBlocks();
  FindOnsets(Bass, BassFlux, SnareDiff, 0.3f, BassPeakMax);
  FindOnsets(Snare, SnareOnset, BassFlux, 1.0f, SnarePeakMax);
  SnarePeakChange = SnarePeakMax - PrevSnarePeakMax;
  PrevSnarePeakMax = SnarePeakMax;

  // the tempo scan is shown on the panel; it does not set the tempo
  CandidateWindow = 10.0f;
  BestBassScore = BestSnareScore = 60.0f;
  BestBassCandidate = BestSnareCandidate = -1.0f;
  for(sInt b = 110; b < 110 + SYNC_TEMPOS; b++)
  {
    const sF32 bass = EstimateTempo(Bass, sF32(b), 0);
    BassScores[b - 110] = bass;
    if(bass < BestBassScore)
    {
      BestBassScore = bass;
      BestBassCandidate = sF32(b - 110);
    }
    const sF32 snare = EstimateTempo(Snare, sF32(b), 0);
    SnareScores[b - 110] = snare;
    if(snare < BestSnareScore)
    {
      BestSnareScore = snare;
      BestSnareCandidate = sF32(b - 110);
    }
  }

  // an index beyond the four presets is left alone, where selecting it would stop the show
  if(AutoPresetFlag && AutoPresetIndex >= 0 && AutoPresetIndex < 4 && AutoPresetIndex != ColorPreset)
    SelectColorPreset(AutoPresetIndex);

  MeasureLevel();
  WatchInput(frameMs);
  if(SoundInput)
    SoundInput->SetGain(InputGain);
  AdjustGain();
  if(GuiRecord)
  {
    GuiRecord->PeakLevel = PeakLevel;
    GuiRecord->PeakHold = PeakHold;
    GuiRecord->ClipFraction = ClipLong;
    GuiRecord->InputGain = InputGain;
    GuiRecord->InputMissing = InputMissing ? 1 : 0;
  }

  AdvancePhase(frameMs);
  ComputeBeatValues(frameMs);
  UpdateBandEnergies();
  Analyser->MarkRead();

  SyncClock += frameMs;
  SecondClock += frameMs;
  LastFrameMs = frameMs;
  if(!Freeze)
  {
    Publish();
    PublishedClock += frameMs;
    PublishedSecondClock += frameMs;
  }
}

void SyncMachine::Publish()
{
  for(sInt c = 0; c < SYNC_CHANNELS; c++)
  {
    Results.BarIndex[c] = BarIndex[c];
    Results.Cycle[c] = Cycle[c];
  }
  static_assert(sizeof(SyncBeatValues) == sizeof(SyncResults) - 2 * SYNC_CHANNELS * sizeof(sInt),
                "the beat values are the tail of the published block");
  const SyncBeatValues &b = Beat;
  Results.PulseA = b.PulseA;
  Results.PulseB = b.PulseB;
  Results.PulseC = b.PulseC;
  Results.BarPhase = b.BarPhase;
  Results.Bar2Phase = b.Bar2Phase;
  Results.Bar4Phase = b.Bar4Phase;
  Results.Bar8Phase = b.Bar8Phase;
  Results.BarBump = b.BarBump;
  Results.BarWave = b.BarWave;
  Results.Bar2Wave = b.Bar2Wave;
  Results.Bar4WaveA = b.Bar4WaveA;
  Results.Bar4WaveB = b.Bar4WaveB;
  Results.Bar8Wave = b.Bar8Wave;
  Results.Follower1 = b.Follower1;
  Results.Follower2 = b.Follower2;
  Results.Follower3 = b.Follower3;
  Results.HalfBarPhase = b.HalfBarPhase;
  Results.BeatPhase = b.BeatPhase;
}

/****************************************************************************/
/***   Spectra, onsets and tempo                                          ***/
/****************************************************************************/

// Sum of the magnitudes of both spectra over bins first..last, halved.
static sF32 BandSum(const sF32 *a, const sF32 *b, sInt first, sInt last, sF32 scale, sF32 offset)
{
  sF32 sum = 0.0f;
  for(sInt k = first; k <= last; k++)
  {
    const sF32 ma = std::sqrt(a[k * 2] * a[k * 2] + a[k * 2 + 1] * a[k * 2 + 1]) * scale - offset;
    const sF32 mb = std::sqrt(b[k * 2] * b[k * 2] + b[k * 2 + 1] * b[k * 2 + 1]) * scale - offset;
    sum += ((ma > 0.0f ? ma : 0.0f) + (mb > 0.0f ? mb : 0.0f)) * 0.5f;
  }
  return sum;
}

void SyncMachine::AnalyseNewBlocks()
{
  sAudioSync *an = Analyser;
  const sInt blocks = an->Blocks;
  CurrentAnalyserBlock = an->CurrentBlock.load(std::memory_order_acquire);
  const sF32 scale = AnalysisConfig[7] / sF32(an->FftSize);
  const sF32 offset = AnalysisConfig[6];
  while(LastAnalyserBlock != CurrentAnalyserBlock)
  {
    const sF32 *a = an->GetSpectrumA(LastAnalyserBlock);
    const sF32 *b = an->GetSpectrumB(LastAnalyserBlock);
    const sInt h = HistoryIndex;

    const sF32 e = BandSum(a, b, 0, 17, scale, offset);
    BassEnergy[h] = e;
    const sF64 p = Clamp(BassPeakMax * 0.015f, 0.0f, 1.0f);
    const sF64 accu = sF64(BassAccu) + e - (1.05 + 0.15 * p) * BassFast;
    BassAccu = sF32(accu < 0.0 ? 0.0 : accu > 10000.0 ? 10000.0 : accu);
    BassFast += (e - BassFast) * 0.25f;
    BassSlow = BassSlow * 0.95f + e * 0.05f;
    BassFlux[h] = BassAccu;

    const sF32 s = BandSum(a, b, 220, 409, scale, offset);
    SnareEnergy[h] = s;
    SnareAccu = Clamp(SnareAccu + s - 1.1f * SnareFast, 0.0f, 10000.0f);
    SnareFast = SnareFast * 0.75f + s * 0.25f;
    SnareSlow = SnareSlow * 0.95f + s * 0.05f;
    SnareOnset[h] = Clamp((SnareFast - SnareSlow) * 15.0f - SnarePeakMax * 0.5f - 30.0f, 0.0f, 512.0f);
    SnareDiff[h] = Clamp((SnareFast - SnareSlow) * 15.0f, 0.0f, 512.0f);

    LastAnalyserBlock = (LastAnalyserBlock + 1) % blocks;
    HistoryIndex = (HistoryIndex + 1) % SYNC_HISTORY;
    AnalysedBlocks++;
  }
}

// Rebuilds the list from a strength history: every closed run of values at or above the
// threshold, newest first, at most SYNC_ONSETS of them (the oldest runs are left out).
void SyncMachine::FindOnsets(SyncOnsetList &list, const sF32 *strength, const sF32 *valueSource, sF32 valueScale,
                             sF32 &peakMax)
{
  list.Count = 0;
  sInt first = -1, peakPos = -1;
  sF32 peak = 0.0f, largest = 0.0f;
  sBool touchesNewest = 0;
  for(sInt age = 0; age < SYNC_HISTORY && list.Count < SYNC_ONSETS; age++)
  {
    const sInt j = SYNC_HISTORY - 1 - age;   // walk position, newest entry at 1535
    const sInt h = (HistoryIndex - 1 - age + 2 * SYNC_HISTORY) % SYNC_HISTORY;
    const sF32 v = strength[h];
    if(v >= OnsetThreshold)
    {
      if(first < 0)
      {
        first = j;
        peakPos = j;
        peak = v;
        largest = valueSource[h];
        touchesNewest = age == 0;
      }
      else
      {
        if(v > peak)
        {
          peak = v;
          peakPos = j;
        }
        if(valueSource[h] > largest)
          largest = valueSource[h];
      }
      continue;
    }
    if(first >= 0 && !touchesNewest)
    {
      sInt *r = list.Records[list.Count];
      r[0] = (SYNC_HISTORY - 1) - (peakPos + first + j) / 3;
      for(sInt k = 1; k < 6; k++)
        r[k] = -1;
      list.HistoryIndex[list.Count] = h;
      list.Value[list.Count] = largest * valueScale;
      list.Count++;
      if(peak > peakMax)
        peakMax = peak;
    }
    first = -1;
  }
  peakMax *= 0.998f;
}

sF32 SyncMachine::EstimateTempo(SyncOnsetList &list, sF32 tempo, sInt single)
{
  const sF32 beat = 2.646e6f / (256.0f * tempo);
  const sF32 window = CandidateWindow;
  const sInt n = single ? (list.Count > 0 ? 1 : 0) : list.Count;
  sF32 best = 6.0f * window;
  BestOnset = -1;
  for(sInt i = 0; i < n; i++)
  {
    sF32 dist[13];
    sInt match[13];
    for(sInt k = 1; k <= 12; k++)
    {
      dist[k] = window;
      match[k] = -1;
    }
    const sInt ti = list.Records[i][0];
    for(sInt j = i; j < n; j++)
    {
      const sF32 d = sF32(list.Records[j][0] - ti);
      if(d > 12.0f * beat + window)
        break;   // the ages grow along the list: nothing further can match
      for(sInt k = 1; k <= 12; k++)
      {
        const sF32 e = std::fabs(d - sF32(k) * beat);
        if(e < dist[k])
        {
          dist[k] = e;
          match[k] = j;
        }
      }
    }
    for(sInt k = 1; k <= 5; k++)
      list.Records[i][k] = match[k];
    MatchAge[i] = match[12] >= 0 ? list.Records[match[12]][0] : -1;
    const sF32 score = dist[2] + dist[4] + dist[6] + dist[8] + dist[10] + dist[12];
    OnsetScore[i] = score;
    if(score < best)
    {
      best = score;
      BestOnset = i;
    }
  }
  return best;
}

void SyncMachine::UpdateBandEnergies()
{
  sAudioSync *an = Analyser;
  const sInt slot = (an->CurrentBlock.load(std::memory_order_acquire) + an->Blocks - 1) % an->Blocks;
  const sF32 *a = an->GetSpectrumA(slot);
  const sF32 *b = an->GetSpectrumB(slot);
  const sF32 scale = AnalysisConfig[7] / sF32(an->FftSize);
  const sF32 offset = AnalysisConfig[6];
  const sInt bins = an->FftSize / 2 < SYNC_BANDS * 16 ? an->FftSize / 2 : SYNC_BANDS * 16;
  for(sInt band = 0; band < SYNC_BANDS; band++)
  {
    if(band * 16 + 15 >= bins)
      break;
    const sF32 mean = BandSum(a, b, band * 16, band * 16 + 15, scale, offset) * 2.0f / 16.0f;
    BandEnergy[band] += (mean - BandEnergy[band]) * 0.9f;
  }
}

/****************************************************************************/
/***   Input level and gain                                               ***/
/****************************************************************************/

void SyncMachine::MeasureLevel()
{
  sInt block = Receiver.CurrentBlock.load(std::memory_order_relaxed) - 1;
  sF32 peak = 0.0f;
  sInt clipped = 0, clippedShort = 0;
  for(sInt i = 0; i < LevelBlocks; i++, block--)
  {
    if(block < 0)
      block += SYNC_RINGBLOCKS;
    const sF32 m = Receiver.MaxNew[block].load(std::memory_order_relaxed);
    if(m > peak)
      peak = m;
    if(m > 0.99f)
    {
      clipped++;
      if(i < LevelBlocksShort)
        clippedShort++;
    }
  }
  PeakLevel = peak;
  ClipLong = sF32(clipped) / sF32(LevelBlocks);
  ClipShort = sF32(clippedShort) / sF32(LevelBlocksShort);
  PeakHold = (PeakHold > PeakLevel ? PeakHold : PeakLevel) * 0.9999f;
}

void SyncMachine::WatchInput(sInt frameMs)
{
  ReopenTimer += frameMs;
  if(ReopenTimer <= 10000 || !SoundInput)
    return;
  if(sTimeDiff(sGetTime(), SoundInput->LastWake.load()) > 10000)
  {
    sDPrintF(u"%f\n", PeakLevel);
    InputMissing = !SoundInput->Open(&Receiver, 44100, 2);
    ReopenTimer = 0;
  }
}

void SyncMachine::AdjustGain()
{
  if(ClipShort > 0.2f && GainDownCounter >= 101)
  {
    GainDownCounter = 0;
    InputGain -= ClipShort * 0.1f;
  }
  GainDownCounter++;
  if(ClipShort > 0.08f)
    InputGain -= 0.0001f;
  if(PeakHold < 0.94f && GainUpCounter >= 11)
  {
    InputGain += PeakHold >= 0.88f ? 0.002f : 0.005f;
    GainUpCounter = 0;
  }
  GainUpCounter++;
  InputGain = Clamp(InputGain, 0.0f, 1.0f);
}

/****************************************************************************/
/***   Clock, phase and beat values                                       ***/
/****************************************************************************/

void SyncMachine::AdvancePhase(sInt frameMs)
{
  sF32 t = Clamp(sF32(TempoFade) * 0.001f, 0.0f, 1.0f);
  TempoFade -= frameMs;
  Tempo = (1.0f - t) * TempoFadeEnd + t * TempoFadeStart;
  BarRate = Tempo * (1.0f / 240000.0f);
  HalfBarPeriod = sInt(0.5f / BarRate);

  const sF64 a = sF64(frameMs) * BarRate * 0.125;
  PhaseStart += a;
  PhaseTarget += a;
  if(JumpFlag)
  {
    JumpFlag = 0;
    PhaseStart += 0.875;
    PhaseTarget += 0.875;
  }

  t = Clamp(sF32(ResyncFade) * 0.001f, 0.0f, 1.0f);
  ResyncFade -= frameMs;
  const sF64 w = 0.5 - std::cos(3.14159265358979 * t) * 0.5;
  Phase = w != 0.0 ? w * PhaseStart + (1.0 - w) * PhaseTarget : PhaseTarget;

  // floor, not truncation: a resync below 0 goes back a cycle instead of leaving a negative eight-bar phase
  PhaseWhole = sInt(std::floor(Phase));
  sF32 eight = sF32(Phase - sF64(PhaseWhole));
  if(PhaseWhole != PrevPhaseWhole)
  {
    const sInt dir = PhaseWhole > PrevPhaseWhole ? 1 : -1;
    for(sInt c = 0; c < SYNC_CHANNELS; c++)
      Cycle[c] += dir;
    PositionWhole += dir;
    // the cycle counters hold the whole units: the phases start again near 0
    PhaseStart -= PhaseWhole;
    PhaseTarget -= PhaseWhole;
    Phase -= PhaseWhole;
    PhaseWhole = PrevPhaseWhole = 0;
  }
  for(sInt c = 0; c < SYNC_CHANNELS; c++)
  {
    BarIndex[c] = Cycle[c] * 8 + sInt(eight * 8.0f);
    if(Tables[c] && BarIndex[c] >= TableBars[c])
    {
      BarIndex[c] = 0;
      Cycle[c] = 0;
      if(c == 0)
      {
        // the scene's sequence is over: the clock starts again and the next scene is due
        PhaseStart = PhaseTarget = Phase = 0.0;
        PhaseWhole = PrevPhaseWhole = PositionWhole = 0;
        eight = 0.0f;
        PendingKey = NextSceneKey();
      }
    }
  }
  Beat.Bar8Phase = eight;
}

void SyncMachine::ComputeBeatValues(sInt frameMs)
{
  SyncBeatValues &v = Beat;
  v.Bar8Wave = Triangle(Wrap(v.Bar8Phase + 0.03125f));
  v.Bar4Phase = Frac(2.0f * v.Bar8Phase);
  v.Bar4WaveA = Triangle(Wrap(v.Bar4Phase + 0.0625f));
  v.Bar4WaveB = Triangle(Wrap(v.Bar4Phase + 0.3125f));
  v.Bar2Phase = Frac(2.0f * v.Bar4Phase);
  v.Bar2Wave = Triangle(Wrap(v.Bar2Phase + 0.125f));
  v.BarPhase = Frac(2.0f * v.Bar2Phase);
  const sF32 x = Wrap(v.BarPhase + 0.25f);
  v.BarWave = Triangle(x);
  v.BarBump = x < 0.5f ? (2.0f * x) * (2.0f * x) : 1.0f - (2.0f * x - 1.0f) * (2.0f * x - 1.0f);
  v.HalfBarPhase = Frac(2.0f * v.BarPhase);
  v.BeatPhase = Frac(2.0f * v.HalfBarPhase);

  const sF32 h = v.HalfBarPhase, q = v.BeatPhase;
  sF32 pb = h >= 0.95f ? (h - 0.95f) * 19.999996f : h <= 0.3f ? 1.0f - h * 3.3333333f : 0.0f;
  v.PulseB = Clamp(pb * 1.2f, 0.0f, 1.0f);
  sF32 pa = (h >= 0.5f && h <= 0.9f) ? 1.0f - (h - 0.5f) * 2.5000002f : 0.0f;
  v.PulseA = Clamp(pa * pa * pa * 1.4f, 0.0f, 1.0f);
  sF32 pc = q >= 0.5f ? 1.0f - (q - 0.5f) : 0.0f;
  v.PulseC = Clamp(pc * pc * pc * 1.4f, 0.0f, 1.0f);

  const sF32 t = Clamp(sF32(ActionFade) * (1.0f / 300.0f), 0.0f, 1.0f);
  ActionFade -= frameMs;
  for(sInt i = 0; i < 4; i++)
    CurrentColor[i] = t * StartColor[i] + (1.0f - t) * TargetColor[i];
  const sF32 *c = CurrentColor;
  v.PulseB = v.PulseA * c[3] + v.PulseB * c[1];
  v.PulseA = v.PulseA * c[0];
  v.PulseC = v.PulseC * c[2];
  ColorPresetSmooth = 0.07f * sF32(ColorPreset) + 0.93f * ColorPresetSmooth;

  sF32 *value[3] = {&v.Follower1, &v.Follower2, &v.Follower3};
  const sF32 source[3] = {v.BarBump, v.Bar2Wave, v.BarBump};
  const sInt held[3] = {ColorPreset < 2, ColorPreset < 2, ColorPreset < 3};
  for(sInt i = 0; i < 3; i++)
  {
    sInt &r = FollowRun[i], &z = FollowSettle[i];
    if(held[i])
    {
      // equals the source at once, then freezes within 200 ms
      const sF32 f = Clamp(sF32(r) * 0.005f, 0.0f, 1.0f);
      r += frameMs;
      z = 0;
      *value[i] = (*value[i] - source[i]) * f + source[i];
    }
    else if(z != 0)
    {
      r = 0;
      z += frameMs;
      *value[i] = source[i];
    }
    else
    {
      // tracks again once the source comes within reach of the held value
      r = 0;
      if(std::fabs(*value[i] - source[i]) < 0.01f)
        z = frameMs;
    }
  }
}
