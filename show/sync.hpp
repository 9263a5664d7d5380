#pragma once
// The SYNC machine: the show's musical clock and its key sequencer.
//
// It keeps a tempo and a phase in units of eight bars, turns them into beat phases, waves
// and pulses, and plays 16 sequencer channels of pattern tables (a bar of 16 steps, each
// step a zero-ended list of up to 15 key codes) in step with that phase. Once per frame
// it also analyses the live input (onsets of bass and snare drums, a tempo scan, the input
// level and the automatic input gain) and publishes a plain results block that scenes,
// GUI and IPP machine read.
//
// Threads: the capture thread calls the sound receiver (SyncSoundRing::OnSamples), which
// writes the sample ring and feeds the audio analyser; everything else runs on the main
// thread. The ring and its block maxima are read on the main thread without a lock (a
// torn value shows for one frame at most).
//
// The scene machine owns the machine; the GUI's scene request record and the view of the
// scene table are borrowed pointers it wires after construction.

#include "base/system.hpp"
#include "show/guirecords.hpp"
#include "show/soundinput.hpp"

#include <atomic>

class sPainter;
class sAudioSync;
class sImage;
struct sFrameTimer;

/****************************************************************************/
/***   Pattern tables                                                     ***/
/****************************************************************************/

enum : sInt
{
  SYNC_CHANNELS = 16,
  SYNC_STEPS = 16,
  SYNC_SLOTS = 16,          // key code slots of a step; the 16th must stay 0
  SYNC_SCENEKEY = 0xE020,   // scene key: this plus the scene index
  SYNC_HISTORY = 1536,      // analysis history, one entry per analyser block
  SYNC_ONSETS = 128,
  SYNC_TEMPOS = 40,         // candidate tempos 110 .. 149 BPM
  SYNC_BANDS = 32,
  SYNC_LEVELFRAMES = 12000, // level track: 50 ms frames of three bands, ten minutes
  SYNC_LEVELVALUES = SYNC_LEVELFRAMES * 3,
  SYNC_MAXSCENES = 32,
  // An onset's age points at the middle of its run of flux; the run begins when the hit
  // reaches the middle of the 4096-point window, so the age lies about this many frames
  // after the hit (for a block b: hit = (b + 1) x 256 - SYNC_ONSETDELAY).
  SYNC_ONSETDELAY = 3072,
};

// One bar: 16 steps of key codes, each step ended by its first 0.
struct SyncPattern
{
  sU32 Keys[SYNC_STEPS][SYNC_SLOTS];
};
static_assert(sizeof(SyncPattern) == 1024, "a bar is 1024 bytes");

// A channel's table: one pointer per bar, ended by a null pointer; static data of its
// owner, never freed by the machine.
using SyncPatternTable = const SyncPattern *const *;

/****************************************************************************/
/***   Sound receiver                                                     ***/
/****************************************************************************/

enum : sInt
{
  SYNC_RING = 368640,       // values of the sample ring (0x5A000)
  SYNC_RINGBLOCK = 695,     // values per level block
  SYNC_RINGBLOCKS = 531,    // blocks covering the ring (the last one partly)
  SYNC_RINGOLD = 347,       // distance of the earlier maximum
};

// The capture's counterpart. Count is the number of frames of interleaved 16-bit
// (left, right) values: 2 x count values are read, never more.
class SoundReceiver
{
public:
  virtual ~SoundReceiver() = default;
  virtual void OnSamples(const sS16 *samples, sInt count) = 0;
};

// The ring of the newest input values (left and right interleaved as they come, scaled to
// -1..1) with the largest value of every block of 695 values, and the feed of the audio
// analyser with the same frames.
class SyncSoundRing : public SoundReceiver
{
public:
  std::atomic<sInt> WritePos;      // 0 .. SYNC_RING - 1
  std::atomic<sInt> CurrentBlock;  // block of the newest value
  sInt PrevBlock;                  // capture thread only
  std::atomic<sF32> *Ring;         // SYNC_RING values
  std::atomic<sF32> *MaxNew;       // per block: maximum of its values
  std::atomic<sF32> *MaxOld;       // per block: maximum of the values 347 positions earlier

  SyncSoundRing();
  ~SyncSoundRing() override;
  SyncSoundRing(const SyncSoundRing &) = delete;
  SyncSoundRing &operator=(const SyncSoundRing &) = delete;

  void OnSamples(const sS16 *samples, sInt count) override;
  // Brings an index one ring length out of range back into it.
  static void WrapIndex(sInt *index);
  sF32 Get(sInt index) const { return Ring[index].load(std::memory_order_relaxed); }
};

/****************************************************************************/
/***   Published results                                                  ***/
/****************************************************************************/

struct SyncResults
{
  sInt BarIndex[SYNC_CHANNELS];
  sInt Cycle[SYNC_CHANNELS];
  sF32 PulseA, PulseB, PulseC;
  sF32 BarPhase, Bar2Phase, Bar4Phase, Bar8Phase;
  sF32 BarBump;
  sF32 BarWave, Bar2Wave, Bar4WaveA, Bar4WaveB, Bar8Wave;
  sF32 Follower1, Follower2, Follower3;
  sF32 HalfBarPhase, BeatPhase;
};

// The working beat values, in the order in which they are published.
struct SyncBeatValues
{
  sF32 PulseA, PulseB, PulseC;
  sF32 BarPhase, Bar2Phase, Bar4Phase, Bar8Phase;
  sF32 BarBump;
  sF32 BarWave, Bar2Wave, Bar4WaveA, Bar4WaveB, Bar8Wave;
  sF32 Follower1, Follower2, Follower3;
  sF32 HalfBarPhase, BeatPhase;
};

// One onset list: records of (age in blocks, then the onsets one to five beats later),
// the history index that closed each run and the onset's value.
struct SyncOnsetList
{
  sInt Records[SYNC_ONSETS][6];
  sInt HistoryIndex[SYNC_ONSETS];
  sF32 Value[SYNC_ONSETS];
  sInt Count;
};

// What the machine needs to know of the scene table to make the next scene key, filled and
// kept current by the scene machine: the current scene, the pending transition mode and
// each scene's option index. Null pointers are left alone.
struct SyncSceneView
{
  sInt CurrentScene = -1;
  sInt *PendingTransition = nullptr;
  sInt *OptionIndex[SYNC_MAXSCENES] = {};
};

/****************************************************************************/
/***   The machine                                                        ***/
/****************************************************************************/

class SyncMachine
{
public:
  // panel printing
  sPainter *Painter;
  sF32 PanelScaleX, PanelScaleY;
  sU32 TextColor;
  sInt TextAlpha;
  sInt LineCount;
  sInt LeftAligned;
  sInt LastMarker;

  // followers: run timer and settle timer of each
  sInt FollowRun[3], FollowSettle[3];

  sU32 PendingKey;
  sInt FirstSceneKey, LastSceneKey, SceneKeyCounter;

  // resync
  sInt ResyncFade;
  sF32 TapDistance;
  sInt TapDirection;

  // tap tempo
  sInt TempoFade;
  sInt TapCount;
  sInt HalfBarPeriod;
  sInt LastInterval, LongestInterval, ShortestInterval, MidInterval;
  sF32 MeanDeviation;
  sF32 TempoFadeStart, TempoFadeEnd;
  sF32 TappedTempo;
  sInt TapTimes[256];

  sInt JumpFlag;

  // action presets
  sF32 StartColor[4], TargetColor[4], CurrentColor[4];
  sInt ActionFade;

  sSoundInput *SoundInput;
  sBool InputMissing;          // the last Open of the sound input found no capture device
  sAudioSync *Analyser;   // also sAudioSyncPtr while the machine lives
  sF32 AnalysisConfig[8];
  sImage *SpectrumImage;   // the panel's 512 x 512 spectrum image

  // analysis
  sInt LongestNoSnare, SnareOverMinute;
  sF32 CandidateWindow;
  sInt BestOnset;
  sF32 AutoBpm, MainBpm, AutoBpmSmooth;
  sInt HighTimer;
  sInt ReopenTimer;
  sInt CurrentAnalyserBlock, LastAnalyserBlock;
  sF32 *BassEnergy, *BassFlux, *SnareEnergy, *SnareOnset, *SnareDiff;   // SYNC_HISTORY each
  sF32 BassAccu, BassFast, BassSlow;
  sF32 SnareAccu, SnareFast, SnareSlow;
  sF32 SnarePeakMax, BassPeakMax, PrevSnarePeakMax, SnarePeakChange;
  sInt HistoryIndex;
  sInt AnalysedBlocks;   // blocks processed since construction
  SyncOnsetList Bass;
  sInt MatchAge[SYNC_ONSETS];
  sF32 OnsetScore[SYNC_ONSETS];
  SyncOnsetList Snare;
  sF32 BassScores[SYNC_TEMPOS], BestBassScore, BestBassCandidate;
  sF32 SnareScores[SYNC_TEMPOS], BestSnareScore, BestSnareCandidate;
  sF32 InputGain, PeakLevel, PeakHold, ClipLong, ClipShort;
  sInt GainDownCounter, GainUpCounter;
  sInt AutoPresetFlag, AutoPresetIndex;
  SyncBeatValues Beat;
  sF32 BandEnergy[SYNC_BANDS];

  SceneRequest *GuiRecord;
  SyncSceneView *Scenes;
  SyncPatternTable Tables[SYNC_CHANNELS];
  sInt TableBars[SYNC_CHANNELS];   // bars of each table before its end, counted at its install
  sInt ColorPreset;
  sF32 ColorPresetSmooth;
  sInt Freeze;
  sInt LastFrameMs;
  sF32 PhaseOffset;
  sF32 Tempo, BarRate;
  sInt KeyNr;
  // phases in units of eight bars, kept within about one unit of 0 (the cycle counters
  // count the whole units) and in double precision, so a night-long show keeps its beat
  sF64 PhaseStart, PhaseTarget, Phase;
  sInt PhaseWhole, PrevPhaseWhole;
  // the whole eight-bar periods of the song position: counted with the cycle counters, kept
  // through scene switches, and back to 0 only when channel 0's list starts over
  sInt PositionWhole;
  sInt CurrentStep;
  sInt LastStep[SYNC_CHANNELS];     // number of the step last finished per channel
  sInt SyncClock, SecondClock;
  sInt BarIndex[SYNC_CHANNELS], Cycle[SYNC_CHANNELS];
  SyncResults Results;
  sInt PublishedClock, PublishedSecondClock;
  sInt *LevelTrack;   // SYNC_LEVELVALUES
  sInt LevelStart;
  SyncSoundRing Receiver;

  explicit SyncMachine(sF32 tempo);
  ~SyncMachine();
  SyncMachine(const SyncMachine &) = delete;
  SyncMachine &operator=(const SyncMachine &) = delete;

  void Init(sPainter *painter, sInt screenWidth, sInt screenHeight);
  void SetSceneKeyRange(sInt first, sInt last);
  sU32 NextSceneKey();
  void ClearTrigger();
  sU32 PollKey(sInt channel, sInt restart);
  void OnKey(sInt key);
  void Update(sInt frameMs);
  void Publish();
  sF32 GetRecordedLevel(sInt band) const;
  // The running song position in eight-bar periods; its fraction is the eight-bar phase.
  sF64 SyncPosition() const { return sF64(PositionWhole) + Phase; }
  void SelectColorPreset(sInt index);
  // Installs a channel's table (null: the channel idles). An owner that rewrites its table
  // in place installs it again, so its new end is known.
  void SetPatternTable(sInt channel, SyncPatternTable table);
  // Loads "EQU303.raw" into the level track (zeros where the file has nothing); saves it
  // through a new file that replaces the old one when it is complete.
  void LoadLevelTrack();
  sBool SaveLevelTrack();

  sF32 EstimateTempo(SyncOnsetList &list, sF32 tempo, sInt single);
  void UpdateBandEnergies();
  void DrawPanel(sFrameTimer *timer);

private:
  void ClearAnalysis();
  void AnalyseNewBlocks();
  void FindOnsets(SyncOnsetList &list, const sF32 *strength, const sF32 *valueSource, sF32 valueScale,
                  sF32 &peakMax);
  void MeasureLevel();
  void AdjustGain();
  void WatchInput(sInt frameMs);
  void AdvancePhase(sInt frameMs);
  void ComputeBeatValues(sInt frameMs);
  void TapTempo();
  void TapResync();
};
