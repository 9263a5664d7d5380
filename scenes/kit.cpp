// The scene kit: SYNC reading, pattern tables, lights, shadows, material rebinding, cameras and
// clocks shared by the show scenes.
#include "scenes/kit.hpp"

#include "graphics/graphics.hpp"
#include "show/form.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"

#include <cmath>
#include <cstring>

/****************************************************************************/

SyncNow ReadSync(const SyncMachine *sync)
{
  SyncNow n;
  std::memset(&n, 0, sizeof(n));
  if(!sync) return n;
  const SyncResults &r = sync->Results;
  n.SyncClock = sync->PublishedClock;
  n.SyncPaused = sync->Freeze;
  n.ColourPreset = sync->ColorPreset;
  n.ColourPresetSmooth = sync->ColorPresetSmooth;
  for(sInt c = 0; c < SYNC_CHANNELS; c++)
  {
    n.BarStep[c] = r.BarIndex[c];
    n.CycleCount[c] = r.Cycle[c];
  }
  n.PulseHalfBar = r.PulseA;
  n.PulseBarEnd = r.PulseB;
  n.PulseBeat = r.PulseC;
  n.BarPhase = r.BarPhase;
  n.TwoBarPhase = r.Bar2Phase;
  n.FourBarPhase = r.Bar4Phase;
  n.EightBarPhase = r.Bar8Phase;
  n.BarWave = r.BarBump;
  n.BarTriangle = r.BarWave;
  n.TwoBarTriangle = r.Bar2Wave;
  n.FourBarTriangleA = r.Bar4WaveA;
  n.FourBarTriangleB = r.Bar4WaveB;
  n.EightBarTriangle = r.Bar8Wave;
  n.ColourPulse[0] = r.Follower1;
  n.ColourPulse[1] = r.Follower2;
  n.ColourPulse[2] = r.Follower3;
  n.HalfBarPhase = r.HalfBarPhase;
  n.BeatPhase = r.BeatPhase;
  return n;
}

sF64 SyncPosition(const SyncMachine *sync) { return sync ? sync->SyncPosition() : 0.0; }

void InstallPatterns(SyncMachine *sync, sInt channel, SyncPatternTable table)
{
  if(sync) sync->SetPatternTable(channel, table);
}

/****************************************************************************/

const SyncPattern sEmptyPattern = {};

void BuildPatterns(SyncPattern *patterns, sInt capacity, const SyncPattern **table, sInt bars,
                   const PatternKey *keys, sInt count)
{
  for(sInt b = 0; b < bars; b++) table[b] = &sEmptyPattern;
  table[bars] = nullptr;
  sInt used = 0;
  for(sInt k = 0; k < count; k++)
  {
    const PatternKey &key = keys[k];
    sVERIFY(key.Bar >= 0 && key.Bar < bars);
    sVERIFY(key.Step >= 0 && key.Step < SYNC_STEPS);
    if(table[key.Bar] == &sEmptyPattern)
    {
      sVERIFY(used < capacity);
      std::memset(&patterns[used], 0, sizeof(SyncPattern));
      table[key.Bar] = &patterns[used++];
    }
    SyncPattern *p = const_cast<SyncPattern *>(table[key.Bar]);
    sU32 *step = p->Keys[key.Step];
    sInt slot = 0;
    while(step[slot]) slot++;
    for(sInt c = 0; c < SYNC_SLOTS - 1 && key.Codes[c]; c++)
    {
      // the last slot stays 0: it ends the step
      sVERIFY(slot < SYNC_SLOTS - 1);
      step[slot++] = sU32(key.Codes[c]);
    }
  }
}

sF32 SceneLength(const sVec3 &v) { return std::sqrt(sDot(v, v)); }

sMat3x4 SceneEuler(sF32 x, sF32 y, sF32 z)
{
  sMat3x4 m;   // the identity: EulerXYZ leaves the place at the origin
  m.EulerXYZ(x, y, z);
  return m;
}

std::vector<PatternKey> SequenceKeys(const std::vector<std::vector<PatternKey>> &patterns,
                                     const std::vector<sInt> &bars)
{
  std::vector<PatternKey> keys;
  for(size_t b = 0; b < bars.size(); b++)
  {
    sVERIFY(bars[b] >= 0 && size_t(bars[b]) < patterns.size());
    for(PatternKey k : patterns[size_t(bars[b])])
    {
      k.Bar = sInt(b);
      keys.push_back(k);
    }
  }
  return keys;
}

sInt PatternBars(SyncPatternTable table)
{
  sInt n = 0;
  if(table)
    while(table[n]) n++;
  return n;
}

/****************************************************************************/

void TakeMaterialSet(Scene *scene, TMData *globalSet, const TextureEntry *textures, const MaterialEntry *materials,
                     sInt initFlags)
{
  if(globalSet) scene->MaterialSet = globalSet;
  else scene->CreateTMData(textures, materials, initFlags);
}

void SetLight(LightSet *set, sInt light, sU32 colour, sVec3 direction, sF32 distance)
{
  sVERIFY(light >= 0 && light < 3);
  direction.Unit();
  set->Colors[light] = colour;
  set->Directions[light] = direction;
  set->Positions[light] = sVec3(direction.x * distance, direction.y * distance, direction.z * distance);
}

LightSet *MirrorLights(TMData *set, sInt lights)
{
  sVERIFY(lights >= 1 && lights <= 3);
  LightSet *mirrored = set->LightSets[1];
  *mirrored = *set->LightSets[0];
  for(sInt l = 0; l < lights; l++) mirrored->Directions[l].z = -mirrored->Directions[l].z;
  return mirrored;
}

void MarkLights(PointForm *marks, const LightSet *set, sInt lights, sF32 distance, sF32 size, sU32 colour)
{
  sVERIFY(lights >= 1 && lights <= 3 && lights <= marks->Count);
  for(sInt k = 0; k < lights; k++)
  {
    PointRecord &p = marks->Points[k];
    p.Pos = set->Directions[k] * distance;
    p.Size = size;
    p.Color = colour ? colour : set->Colors[k] | 0xFF000000;
  }
}

ShadowSetup *NewShadow(const Scene *scene, sInt lightSet, sF32 distance, sF32 depth, sF32 strength,
                       sTexture2D *white)
{
  ShadowSetup *shadow = sNEW ShadowSetup;
  shadow->LightCount = 3;
  shadow->LightSetIndex = lightSet;
  shadow->Distance = distance;
  shadow->Depth = depth;
  shadow->Strength = strength;
  for(sInt i = 0; i < 3; i++) shadow->Targets[i] = scene->Machine ? scene->Machine->Targets[i] : nullptr;
  shadow->Targets[3] = white;
  return shadow;
}

void RetextureMaterial(TMData *set, sInt material, sInt slot, sInt texture)
{
  sVERIFY(material >= 0 && material < set->MaterialCount);
  sVERIFY(texture >= 0 && texture < set->TextureCount);
  sVERIFY(slot >= 0 && slot < 4);
  sMaterial *m = set->Materials[material];
  m->Texture[slot] = set->Textures[texture];
  m->Prepare(StandardVertexFormat(set->MaterialTable[material].VertexFormat));
}

/****************************************************************************/

sF32 SceneAspect(const Scene *scene)
{
  if(scene->DisplayWidth < 1 || scene->DisplayHeight < 1) return 1.0f;
  return sF32(scene->DisplayWidth) / sF32(scene->DisplayHeight);
}

void PlaceCamera(const Scene *scene, sViewport *view, const sVec3 &target, const sVec3 &position, sF32 zoom)
{
  view->Camera.LookAt(target, position);
  view->ZoomY = zoom;
  view->ZoomX = zoom / SceneAspect(scene);
}

void SetFade(Scene *scene, sF32 fadeNear, sF32 fadeFar, sU32 fadeColour)
{
  scene->RenderEnv.FogStart = fadeNear;
  scene->RenderEnv.FogEnd = fadeFar;
  scene->RenderEnv.FogColor = fadeColour;
}

sInt ReseedTimeOffset(sRandomLcg *random, sU32 mask)
{
  random->Seed(sGetTime() & mask);
  return random->NextBelow(65536);
}

sInt ReseedScaledOffset(sRandomLcg *random, sU32 mask)
{
  random->Seed(sGetTime() & mask);
  return sInt(random->NextFloat(65536.0f));
}

namespace
{
sF64 Wrap(sF64 t, sF64 rate, sF64 period)
{
  sF64 a = std::fmod(t * rate, period);
  return a < 0.0 ? a + period : a;
}
constexpr sF64 Turn = 6.283185307179586;
}

sF32 ClockSin(sF64 t, sF64 rate) { return sF32(std::sin(Wrap(t, rate, Turn))); }
sF32 ClockCos(sF64 t, sF64 rate) { return sF32(std::cos(Wrap(t, rate, Turn))); }
sF32 ClockAngle(sF64 t, sF64 rate) { return sF32(Wrap(t, rate, Turn)); }
sF32 ClockPhase(sF64 t, sF64 rate, sF64 period) { return sF32(Wrap(t, rate, period)); }
