#pragma once
// The scene kit: what every show scene shares, written once.
//
// The show scenes talk about the engine in their own words. This header is the one
// place where those words meet the built names, so a scene never spells an engine field
// twice in two ways:
//
//   scene words                         built names
//   transition mode                     Scene::RenderMode (0 is the calm mode)
//   variant                             Scene::Variant (Scene::BaseVariant to restore)
//   selection number                    Scene::OptionIndex
//   layer mask, step count              Scene::LayerMask, Scene::StepCount
//   SYNC source, TMData                 Scene::SyncSource, Scene::MaterialSet
//   fade near, far, colour              RenderEnv.FogStart, FogEnd, FogColor (SetFade)
//   registration flags                  the scene table's flags; Init receives the
//                                       init flags instead (bit 0 packed paths)
//   form option word                    Form::MaterialOption
//   shadow caster mask beside a setup   Form::ShadowSwitch
//   syncClock, syncPaused               SyncMachine::PublishedClock, SyncMachine::Freeze
//   colourPreset (smooth)               SyncMachine::ColorPreset (ColorPresetSmooth)
//   patternTable of a channel           SyncMachine::SetPatternTable
//
// The published beat values are read through SyncNow, named as the scenes name them.
// Two of those names cross over: the scenes' bar wave (a smooth rise and fall) is the
// published BarBump, and their bar triangle is the published BarWave.
//
// Everything here runs on the main thread, inside the scene operations.

#include "base/math.hpp"
#include "base/numbers.hpp"
#include "show/scene.hpp"
#include "show/sync.hpp"
#include "show/tmdata.hpp"

#include <initializer_list>
#include <vector>

class PointForm;
struct ShadowSetup;

constexpr sF32 sScenePi = 3.14159265358979f;

// x held to the range lo..hi.
inline sF32 SceneClamp(sF32 x, sF32 lo, sF32 hi) { return x < lo ? lo : x > hi ? hi : x; }
inline sF32 SceneClamp01(sF32 x) { return SceneClamp(x, 0.0f, 1.0f); }
// The length of v, and v made unit (sVec3::Unit).
sF32 SceneLength(const sVec3 &v);
inline sVec3 SceneUnit(sVec3 v)
{
  v.Unit();
  return v;
}
// The rotation of the Euler angles x, y, z (sMat3x4::EulerXYZ), placed at the origin.
sMat3x4 SceneEuler(sF32 x, sF32 y, sF32 z);
inline sMat3x4 SceneEuler(const sVec3 &angles) { return SceneEuler(angles.x, angles.y, angles.z); }

/****************************************************************************/
/***   The SYNC values of a frame                                         ***/
/****************************************************************************/

// A copy of what the SYNC machine published, taken once per frame. Without a SYNC
// machine (a show started without one) every value is 0, so the scenes stand still
// instead of reading a missing machine.
struct SyncNow
{
  sInt SyncClock;             // published milliseconds; stands still while paused
  sInt SyncPaused;
  sInt ColourPreset;          // 0..3
  sF32 ColourPresetSmooth;
  sInt BarStep[SYNC_CHANNELS];    // per channel: 8 x cycle count + bar in the period
  sInt CycleCount[SYNC_CHANNELS]; // per channel: eight-bar periods
  sF32 PulseHalfBar, PulseBarEnd, PulseBeat;
  sF32 BarPhase, TwoBarPhase, FourBarPhase, EightBarPhase;
  sF32 BarWave;               // smooth rise and fall over the bar (published BarBump)
  sF32 BarTriangle;           // triangle over the bar (published BarWave)
  sF32 TwoBarTriangle, FourBarTriangleA, FourBarTriangleB, EightBarTriangle;
  sF32 ColourPulse[3];
  sF32 HalfBarPhase, BeatPhase;
};

SyncNow ReadSync(const SyncMachine *sync);

// The running song position in eight-bar periods (one beat is 1/32), read from the machine
// itself: it goes on through the period boundaries and scene switches and starts again
// at 0 when channel 0's list does. 0 without a machine.
sF64 SyncPosition(const SyncMachine *sync);

// Installs a pattern table on a sequencer channel; nothing without a machine.
void InstallPatterns(SyncMachine *sync, sInt channel, SyncPatternTable table);

/****************************************************************************/
/***   Pattern tables                                                     ***/
/****************************************************************************/

// One step of a pattern table: the codes sent at that step of that bar, in order. Codes
// are written as signed numbers (the effect commands are negative) and stored as their
// 32-bit two's complement. Unused code slots stay 0.
struct PatternKey
{
  sInt Bar;
  sInt Step;
  sInt Codes[SYNC_SLOTS - 1];
};

// The one all-zero bar that every empty bar of every table points at.
extern const SyncPattern sEmptyPattern;

// Fills a table of bars + 1 pointers from a list of keys: keyed bars get patterns of
// their own (at most capacity of them), every other bar the shared empty bar, and the
// end the null pointer. Two keys of the same step append. A bar or step outside the
// table, more than capacity keyed bars, or a step past 15 codes is fatal.
void BuildPatterns(SyncPattern *patterns, sInt capacity, const SyncPattern **table, sInt bars,
                   const PatternKey *keys, sInt count);

// A scene's static pattern table of Bars bars with room for Keyed bars that hold keys.
// It holds its bars itself (no allocation), so it may be a static of the scene's file.
template <sInt Bars, sInt Keyed>
class PatternList
{
public:
  PatternList(std::initializer_list<PatternKey> keys)
  {
    BuildPatterns(Patterns, Keyed, Pointers, Bars, keys.begin(), sInt(keys.size()));
  }
  // The same from keys worked out at start-up (a table written as a sequence of bars).
  explicit PatternList(const std::vector<PatternKey> &keys)
  {
    BuildPatterns(Patterns, Keyed, Pointers, Bars, keys.data(), sInt(keys.size()));
  }
  SyncPatternTable Table() const { return Pointers; }
  static constexpr sInt BarCount = Bars;

  PatternList(const PatternList &) = delete;
  PatternList &operator=(const PatternList &) = delete;

private:
  SyncPattern Patterns[Keyed];
  const SyncPattern *Pointers[Bars + 1];
};

// The keys of a table written bar by bar: bar b plays patterns[bars[b]], whose keys give
// the steps and codes (the bar numbers written in a pattern are ignored). A pattern
// number outside the list is fatal.
std::vector<PatternKey> SequenceKeys(const std::vector<std::vector<PatternKey>> &patterns,
                                     const std::vector<sInt> &bars);

// The number of bars of a table (up to its null end).
sInt PatternBars(SyncPatternTable table);

/****************************************************************************/
/***   Material rows, light sets and textures                             ***/
/****************************************************************************/

// The scene's material set at Init: the set handed in where there is one, else one built
// from the scene's tables with the init flags. Taking a handed set does not change the
// scene's TextureSetKind.
void TakeMaterialSet(Scene *scene, TMData *globalSet, const TextureEntry *textures, const MaterialEntry *materials,
                     sInt initFlags);

// A 13-word material row as the scenes write it: kind, vertex format, state flags, render
// state word, texture count, four sampler flag words (the first is the row's texture
// flags), four texture rows.
constexpr MaterialEntry MaterialRow(sInt kind, sInt format, sU32 state, sU32 blend, sInt textures, sU32 s0,
                                    sU32 s1, sU32 s2, sU32 s3, sInt t0, sInt t1, sInt t2, sInt t3)
{
  return MaterialEntry{kind, format, state, blend, textures, {s0, s1, s2, s3}, {t0, t1, t2, t3}};
}
// The row that ends a material table.
constexpr MaterialEntry MaterialEnd()
{
  return MaterialEntry{sTMD_ENDKIND, 0, 0, 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0}};
}

// Light n (0..2) of a set: its colour, its direction made unit (a zero vector becomes
// (1, 0, 0)) and its position at distance times that direction.
void SetLight(LightSet *set, sInt light, sU32 colour, sVec3 direction, sF32 distance);

// Light set 1 of the TMData made a copy of set 0 whose first `lights` lights (1..3) shine
// with their directions' z turned over, for what is drawn mirrored; the positions stay.
// Set 1, for the scene to change further.
LightSet *MirrorLights(TMData *set, sInt lights);

// Marks at the first `lights` lights of the set, points 0.. of the form: each at its
// light's direction times `distance`, of the size given, in `colour` or, where that is 0,
// in its light's colour made opaque.
void MarkLights(PointForm *marks, const LightSet *set, sInt lights, sF32 distance, sF32 size, sU32 colour);

// A new shadow set-up over the three lights of light set `lightSet`, each placed at
// `distance` along its direction, `depth` deep and of `strength`, with the default far
// clip. Slots 0 to 2 hold the shared targets of the scene's machine (empty without a
// machine), slot 3 `white`. A set-up that spreads the lights' spot puts that texture into
// slot 2 after. The form it is given to owns it.
ShadowSetup *NewShadow(const Scene *scene, sInt lightSet, sF32 distance, sF32 depth, sF32 strength,
                       sTexture2D *white);

// Puts texture row `texture` of the set into slot `slot` of material row `material`, then
// prepares the material again for its row's vertex format. Rows outside the tables are
// fatal.
void RetextureMaterial(TMData *set, sInt material, sInt slot, sInt texture);

/****************************************************************************/
/***   Cameras, environment and clocks                                    ***/
/****************************************************************************/

// Width over height of the scene's display (1 for a display without size).
sF32 SceneAspect(const Scene *scene);

// The camera of a view looking from position at target, with vertical zoom `zoom` and
// horizontal zoom zoom / aspect of the scene's display.
void PlaceCamera(const Scene *scene, sViewport *view, const sVec3 &target, const sVec3 &position, sF32 zoom);

// The render environment's fade: near and far distance and colour. The colour is also
// the colour the frame is cleared with while the scene's own clear colour is on.
void SetFade(Scene *scene, sF32 fadeNear, sF32 fadeFar, sU32 fadeColour);

// Reseeds a scene generator from the clock masked to `mask` (0xFFFF, 0x3FFFF, 0xFFFFF)
// and draws a new time offset of 0..65535 ms from it.
sInt ReseedTimeOffset(sRandomLcg *random, sU32 mask);
// The same with the offset drawn as a float of 0..65536 cut to a whole number, as some
// scenes draw it: other numbers from the same seed, and 65536 itself can come.
sInt ReseedScaledOffset(sRandomLcg *random, sU32 mask);

// sin(rate x t) for a time t in milliseconds (or any unit that grows through a show).
// The angle is taken modulo one turn in double precision before the sine, so the wave
// keeps its shape after hours of show; a float product would step in ever coarser jumps.
sF32 ClockSin(sF64 t, sF64 rate);
sF32 ClockCos(sF64 t, sF64 rate);
// rate x t wrapped into 0..2 pi: an angle that keeps turning without losing precision.
sF32 ClockAngle(sF64 t, sF64 rate);
// rate x t wrapped into 0..period: a phase handed to a material whose waves all repeat
// after that period.
sF32 ClockPhase(sF64 t, sF64 rate, sF64 period);
