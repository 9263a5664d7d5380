#include "show/sync.hpp"

#include "base/file.hpp"
#include "graphics/image.hpp"
#include "show/audiosync.hpp"

#include <new>

namespace
{
// action preset rows: the weights of the three beat pulses
const sF32 PresetColors[4][4] = {
  {0.0f, 0.0f, 0.0f, 0.0f},
  {0.0f, 0.5f, 0.0f, 0.5f},
  {1.0f, 1.0f, 1.0f, 0.0f},
  {1.0f, 1.0f, 1.0f, 0.0f},
};

const sChar LevelTrackName[] = u"EQU303.raw";
const sChar LevelTrackNew[] = u"EQU303.raw.new";

template <class T> T *AllocArray(sDInt count, const char *file, sInt line)
{
  sSetAllocSource(file, line);
  return static_cast<T *>(sMemAlloc(count * sDInt(sizeof(T)), 16, 0));
}

std::atomic<sF32> *AllocAtomicFloats(sDInt count)
{
  auto *p = AllocArray<std::atomic<sF32>>(count, __FILE__, __LINE__);
  for(sDInt i = 0; i < count; i++)
    new(&p[i]) std::atomic<sF32>(0.0f);
  return p;
}


sInt PositiveMod(sInt a, sInt m)
{
  sInt r = a % m;
  return r < 0 ? r + m : r;
}

// Bars of a table before its end marker.
sInt TableLength(SyncPatternTable table)
{
  sInt n = 0;
  if(table)
    while(table[n])
      n++;
  return n;
}
}

/****************************************************************************/
/***   Sound receiver                                                     ***/
/****************************************************************************/

SyncSoundRing::SyncSoundRing() : WritePos(0), CurrentBlock(0), PrevBlock(0)
{
  Ring = AllocAtomicFloats(SYNC_RING);
  MaxNew = AllocAtomicFloats(SYNC_RINGBLOCKS);
  MaxOld = AllocAtomicFloats(SYNC_RINGBLOCKS);
}

SyncSoundRing::~SyncSoundRing()
{
  sMemFree(Ring);
  sMemFree(MaxNew);
  sMemFree(MaxOld);
}

void SyncSoundRing::WrapIndex(sInt *index)
{
  if(*index < 0)
    *index += SYNC_RING;
  else if(*index >= SYNC_RING)
    *index -= SYNC_RING;
}

void SyncSoundRing::OnSamples(const sS16 *samples, sInt count)
{
  if(!samples || count <= 0)
    return;
  constexpr auto relaxed = std::memory_order_relaxed;
  sInt pos = WritePos.load(relaxed);
  // every value of the frames in order, left and right interleaved
  for(sInt i = 0; i < count * 2; i++)
  {
    const sF32 value = sF32(samples[i]) * (1.0f / 32768.0f);
    Ring[pos].store(value, relaxed);
    const sInt block = pos / SYNC_RINGBLOCK;
    if(block == PrevBlock)
    {
      sInt old = pos - SYNC_RINGOLD;
      if(old < 0)
        old += SYNC_RING;
      const sF32 earlier = Ring[old].load(relaxed);
      if(value > MaxNew[block].load(relaxed))
        MaxNew[block].store(value, relaxed);
      if(earlier > MaxOld[block].load(relaxed))
        MaxOld[block].store(earlier, relaxed);
    }
    else
    {
      MaxNew[block].store(0.0f, relaxed);
      MaxOld[block].store(0.0f, relaxed);
    }
    PrevBlock = block;
    CurrentBlock.store(block, relaxed);
    if(++pos == SYNC_RING)
      pos = 0;
  }
  WritePos.store(pos, std::memory_order_release);
  if(sAudioSync *analyser = sAudioSyncPtr.load(std::memory_order_acquire))
    analyser->Feed(samples, count);
}

/****************************************************************************/
/***   Construction and set-up                                            ***/
/****************************************************************************/

SyncMachine::SyncMachine(sF32 tempo)
{
  Painter = nullptr;
  PanelScaleX = PanelScaleY = 1.0f;
  TextColor = 0xFFFFFF;
  TextAlpha = 255;
  LineCount = 0;
  LeftAligned = 1;
  LastMarker = -1;
  for(sInt i = 0; i < 3; i++)
    FollowRun[i] = FollowSettle[i] = 0;
  PendingKey = 0;
  FirstSceneKey = LastSceneKey = SceneKeyCounter = 0;
  ResyncFade = 0;
  TapDistance = 0.0f;
  TapDirection = 1;
  TempoFade = 0;
  TapCount = 0;
  LastInterval = LongestInterval = MidInterval = 0;
  ShortestInterval = 1000000;
  MeanDeviation = 0.0f;
  TappedTempo = 0.0f;
  for(sInt &t : TapTimes)
    t = 0;
  JumpFlag = 0;
  for(sInt i = 0; i < 4; i++)
    StartColor[i] = TargetColor[i] = CurrentColor[i] = 0.0f;
  ActionFade = 0;
  AutoPresetFlag = AutoPresetIndex = 0;
  GuiRecord = nullptr;
  Scenes = nullptr;
  for(sInt c = 0; c < SYNC_CHANNELS; c++)
  {
    Tables[c] = nullptr;
    TableBars[c] = 0;
    BarIndex[c] = Cycle[c] = 0;
    LastStep[c] = 0;
  }
  ColorPreset = 0;
  ColorPresetSmooth = 0.0f;
  Freeze = 0;
  LastFrameMs = 0;
  KeyNr = 0;
  PhaseStart = Phase = 0.0;
  PhaseTarget = 0.9375;   // half a bar before the end of the first eight bars
  PhaseWhole = PrevPhaseWhole = PositionWhole = 0;
  CurrentStep = 0;
  SyncClock = SecondClock = 0;
  Beat = SyncBeatValues{};

  Tempo = TempoFadeStart = TempoFadeEnd = tempo;
  AutoBpm = AutoBpmSmooth = tempo;
  MainBpm = -1.0f;
  BarRate = tempo * (1.0f / 240000.0f);
  HalfBarPeriod = sInt(0.5f / BarRate);
  SelectColorPreset(0);
  PhaseOffset = -0.1f;
  Publish();
  PublishedClock = SyncClock;
  PublishedSecondClock = SecondClock;

  const sF32 config[8] = {4.0f, 256.0f, 512.0f, 12.0f, 2.0f, 64.0f, 0.0f, 64.0f};
  for(sInt i = 0; i < 8; i++)
    AnalysisConfig[i] = config[i];
  BassEnergy = AllocArray<sF32>(SYNC_HISTORY, __FILE__, __LINE__);
  BassFlux = AllocArray<sF32>(SYNC_HISTORY, __FILE__, __LINE__);
  SnareEnergy = AllocArray<sF32>(SYNC_HISTORY, __FILE__, __LINE__);
  SnareOnset = AllocArray<sF32>(SYNC_HISTORY, __FILE__, __LINE__);
  SnareDiff = AllocArray<sF32>(SYNC_HISTORY, __FILE__, __LINE__);
  LevelTrack = AllocArray<sInt>(SYNC_LEVELVALUES, __FILE__, __LINE__);
  for(sInt i = 0; i < SYNC_LEVELVALUES; i++)
    LevelTrack[i] = 0;
  LevelStart = 0;
  ClearAnalysis();

  Analyser = sNEW sAudioSync;
  sAudioSyncPtr.store(Analyser, std::memory_order_release);
  Analyser->Configure(1, sInt(AnalysisConfig[1]), sInt(AnalysisConfig[2]), 1 << sInt(AnalysisConfig[3]));
  SpectrumImage = sNEW sImage(512, 512);
  SoundInput = sCreateSoundInput();
  InputMissing = 0;   // until an Open finds no device
  for(sF32 &e : BandEnergy)
    e = 0.0f;
}

SyncMachine::~SyncMachine()
{
  // the capture thread is gone before the analyser it feeds
  if(SoundInput)
  {
    SoundInput->Stop();
    sDELETE(SoundInput);
  }
  sAudioSyncPtr.store(nullptr, std::memory_order_release);
  Analyser->Mode = 0;
  Analyser->Release();
  sDELETE(Analyser);
  sDELETE(SpectrumImage);
  sMemFree(BassEnergy);
  sMemFree(BassFlux);
  sMemFree(SnareEnergy);
  sMemFree(SnareOnset);
  sMemFree(SnareDiff);
  sMemFree(LevelTrack);
}

void SyncMachine::Init(sPainter *painter, sInt screenWidth, sInt screenHeight)
{
  Painter = painter;
  PanelScaleX = sF32(screenWidth) * 0.000625f;
  PanelScaleY = sF32(screenHeight) * (1.0f / 1200.0f);
  HighTimer = 0;
  // without a capture device the machine runs on its own clock; the watchdog retries
  InputMissing = !SoundInput || !SoundInput->Open(&Receiver, 44100, 2);
  GuiRecord = nullptr;
  LevelStart = 0;
  LoadLevelTrack();
}

void SyncMachine::SetSceneKeyRange(sInt first, sInt last)
{
  FirstSceneKey = first;
  LastSceneKey = last;
}

void SyncMachine::ClearTrigger()
{
  Cycle[0] = 0;
}

void SyncMachine::SetPatternTable(sInt channel, SyncPatternTable table)
{
  sVERIFY(channel >= 0 && channel < SYNC_CHANNELS);
  Tables[channel] = table;
  // counted at every install, also of the table installed already: an owner that rewrote
  // its table in place has the bars of its new end played, no more and no fewer
  TableBars[channel] = TableLength(table);
}

/****************************************************************************/
/***   Scene keys                                                         ***/
/****************************************************************************/

sU32 SyncMachine::NextSceneKey()
{
  // keys of resident or empty indices are left to the scene machine, which ignores them
  if(!GuiRecord)
  {
    SceneKeyCounter++;
    if(SceneKeyCounter > LastSceneKey - FirstSceneKey)
      SceneKeyCounter = 0;
    return sU32(FirstSceneKey + SceneKeyCounter);
  }
  SceneRequest *g = GuiRecord;
  g->TakenFlag = 1;
  if(Scenes && Scenes->CurrentScene == g->SlideshowIndex)
    g->CurrentIsSlideshow = 1;
  if(g->NextNumber == g->SlideshowIndex)
    g->NextIsSlideshow = 1;
  if(Scenes && Scenes->PendingTransition)
    *Scenes->PendingTransition = g->TransitionMode;
  if(g->RequestFlag && g->NextNumber != g->SlideshowIndex)
  {
    const sInt index = g->RequestedScene;
    if(Scenes && index >= 0 && index < SYNC_MAXSCENES && Scenes->OptionIndex[index])
      *Scenes->OptionIndex[index] = PositiveMod(g->NextNumber, 20);
    return sU32(SYNC_SCENEKEY + index);
  }
  return sU32(SYNC_SCENEKEY + PositiveMod(g->NextNumber, 20));
}

/****************************************************************************/
/***   Sequencer                                                          ***/
/****************************************************************************/

sU32 SyncMachine::PollKey(sInt channel, sInt restart)
{
  sVERIFY(channel >= 0 && channel < SYNC_CHANNELS);
  if(restart)
    KeyNr = 0;
  if(channel == 0 && PendingKey)
  {
    const sU32 key = PendingKey;
    PendingKey = 0;
    return key;
  }
  // only the current step plays: steps a slow frame passed over are not delivered, and a
  // step is known by its number alone
  sInt step = sInt(Beat.BarPhase * 16.0f);
  step = step < 0 ? 0 : step > 15 ? 15 : step;
  CurrentStep = step;
  if(step == LastStep[channel])
    return 0;
  const sInt bar = BarIndex[channel];
  if(!Tables[channel] || bar < 0 || bar >= TableBars[channel])
    return 0;
  sVERIFY(KeyNr<16);
  const sU32 code = Tables[channel][bar]->Keys[step][KeyNr];
  KeyNr++;
  if(!code)
    LastStep[channel] = step;
  return code;
}

/****************************************************************************/
/***   Keys, tap tempo, presets                                           ***/
/****************************************************************************/

void SyncMachine::OnKey(sInt key)
{
  if(key < 32 || key > 119)
    return;
  switch(key)
  {
  case 32:
    TapTempo();
    TapResync();
    break;
  case 35:
    LevelStart = PublishedClock;
    break;
  case 45:
    Freeze = !Freeze;
    break;
  case 60:
    JumpFlag = 1;
    break;
  case 'q':
    SelectColorPreset(0);
    break;
  case 'w':
    SelectColorPreset(1);
    break;
  case 'e':
    SelectColorPreset(2);
    break;
  case 'r':
    SelectColorPreset(3);
    break;
  case 't':
    SaveLevelTrack();
    break;
  default:
    break;
  }
}

void SyncMachine::TapTempo()
{
  const sInt now = SyncClock;
  if(TapCount == 0)
  {
    ShortestInterval = 1000000;
    LongestInterval = 0;
    MidInterval = 0;
    TapTimes[0] = now;
    TapCount = 1;
    return;
  }
  if(TapCount >= 256)
  {
    // a full table drops its oldest tap, so the newest interval is still measured
    // against the tap before it and a long steady series goes on
    for(sInt i = 0; i < 255; i++)
      TapTimes[i] = TapTimes[i + 1];
    TapCount = 255;
  }
  const sInt n = TapCount;
  TapTimes[n] = now;
  const sInt interval = TapTimes[n] - TapTimes[n - 1];
  LastInterval = interval;
  if(interval > LongestInterval)
    LongestInterval = interval;
  if(interval < ShortestInterval)
    ShortestInterval = interval;
  MidInterval = (ShortestInterval + LongestInterval) / 2;
  const sInt p = HalfBarPeriod;
  if(interval > p / 2 && interval < 3 * p / 2)
  {
    if(n > 1)
    {
      // each tap marks half a bar: the tempo of the mean interval before the newest
      sF32 sum = 0.0f;
      for(sInt i = 1; i < n; i++)
        sum += sF32(MidInterval - (TapTimes[i] - TapTimes[i - 1]));
      MeanDeviation = sum / sF32(n - 1);
      TappedTempo = 120000.0f / (sF32(MidInterval) - MeanDeviation);
      if(n > 5)
      {
        TempoFade = 1000;
        TempoFadeStart = Tempo;
        TempoFadeEnd = TappedTempo;
      }
    }
    TapCount = n + 1;
  }
  else
  {
    ShortestInterval = 1000000;
    LastInterval = LongestInterval = MidInterval = 0;
    TappedTempo = 0.0f;
    TapCount = 0;
  }
}

void SyncMachine::TapResync()
{
  PhaseStart = Phase;
  sF32 q = Beat.HalfBarPhase + PhaseOffset + 0.5f;
  if(q > 1.0f)
    q -= 1.0f;
  if(q > 0.5f)
  {
    TapDistance = 1.0f - q;
    TapDirection = 1;
  }
  else
  {
    TapDistance = q;
    TapDirection = 0;
  }
  ResyncFade = 1000;
  PhaseTarget = TapDirection ? Phase + TapDistance * 0.0625 : Phase - TapDistance * 0.0625;
}

void SyncMachine::SelectColorPreset(sInt index)
{
  sVERIFY(index >= 0 && index < 4);
  ColorPreset = index;
  for(sInt i = 0; i < 4; i++)
  {
    StartColor[i] = CurrentColor[i];
    TargetColor[i] = PresetColors[index][i];
  }
  ActionFade = 300;
}

/****************************************************************************/
/***   Level track                                                        ***/
/****************************************************************************/

void SyncMachine::LoadLevelTrack()
{
  for(sInt i = 0; i < SYNC_LEVELVALUES; i++)
    LevelTrack[i] = 0;
  if(!sFileExists(LevelTrackName))
    return;
  sDInt size = 0;
  sU8 *data = sLoadFileData(LevelTrackName, &size);
  if(!data)
  {
    sLogF(u"sys", u"level track %s cannot be read: %s; the Tunnel's levels stay at zero\n", LevelTrackName,
          sGetFileFailure());
    return;
  }
  // a short file fills what it reaches, a longer one is cut at the track's end; the
  // operator is told that the track is not what it should be
  sDInt values = size / 4;
  if(values > SYNC_LEVELVALUES)
    values = SYNC_LEVELVALUES;
  if(size < SYNC_LEVELVALUES * 4)
    sLogF(u"sys", u"level track %s is short or damaged: %d bytes where a track has %d; %d of its %d s are replayed\n",
          LevelTrackName, sInt(size), sInt(SYNC_LEVELVALUES * 4), sInt(values / 3 / 20), sInt(SYNC_LEVELVALUES / 3 / 20));
  else if(size > SYNC_LEVELVALUES * 4)
    sLogF(u"sys", u"level track %s is damaged: %d bytes where a track has %d; the rest is left out\n", LevelTrackName,
          sInt(size), sInt(SYNC_LEVELVALUES * 4));
  for(sDInt i = 0; i < values; i++)
  {
    const sU8 *b = data + i * 4;
    LevelTrack[i] = sInt(sU32(b[0]) | sU32(b[1]) << 8 | sU32(b[2]) << 16 | sU32(b[3]) << 24);
  }
  sMemFree(data);
}

sBool SyncMachine::SaveLevelTrack()
{
  sU8 *data = AllocArray<sU8>(SYNC_LEVELVALUES * 4, __FILE__, __LINE__);
  for(sInt i = 0; i < SYNC_LEVELVALUES; i++)
  {
    const sU32 v = sU32(LevelTrack[i]);
    data[i * 4] = sU8(v);
    data[i * 4 + 1] = sU8(v >> 8);
    data[i * 4 + 2] = sU8(v >> 16);
    data[i * 4 + 3] = sU8(v >> 24);
  }
  // the old track stays whole until the new one is written completely
  sBool ok = sSaveFileData(LevelTrackNew, data, SYNC_LEVELVALUES * 4, 1);
  sMemFree(data);
  if(ok)
    ok = sRenameFile(LevelTrackNew, LevelTrackName);
  if(!ok)
  {
    sLogF(u"sys", u"level track not saved to %s: %s\n", LevelTrackName, sGetFileFailure());
    if(sCheckFile(LevelTrackNew))
      sDeleteFile(LevelTrackNew);
  }
  else
    sLogF(u"sys", u"level track saved to %s\n", LevelTrackName);
  return ok;
}

sF32 SyncMachine::GetRecordedLevel(sInt band) const
{
  sVERIFY(band >= 0 && band < 3);
  sInt frame = (PublishedClock - LevelStart + 150) / 50;
  frame = frame < 0 ? 0 : frame > SYNC_LEVELFRAMES - 1 ? SYNC_LEVELFRAMES - 1 : frame;
  return sF32(LevelTrack[frame * 3 + band]) * (1.0f / 65536.0f);
}
