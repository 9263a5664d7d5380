// The scene kit: pattern tables as the sequencer reads them, lights, cameras and the
// clock waves over a long show.
#include "scenes/kit.hpp"

#include "show/procforms.hpp"
#include "show/scene_util.hpp"

#include <cmath>

namespace
{
PatternList<4, 2> Sample = {{1, 0, {0xE026, 'r', '#'}}, {1, 0, {-28}}, {1, 6, {'q'}}, {3, 15, {-10, 44}}};
}

TEST(PatternTable, KeyedBarsHoldTheirCodesInOrderAndEmptyBarsShareOneZeroBar)
{
  SyncPatternTable t = Sample.Table();
  EXPECT_EQ(PatternBars(t), 4);
  EXPECT_TRUE(t[0] == &sEmptyPattern && t[2] == &sEmptyPattern);
  const sU32 step0[] = {0xE026, 'r', '#', 0xFFFFFFE4u, 0};   // a second key of a step appends
  for(sInt i = 0; i < 5; i++) EXPECT_EQ(t[1]->Keys[0][i], step0[i]) << i;
  EXPECT_TRUE(t[1]->Keys[6][0] == 'q' && t[1]->Keys[1][0] == 0);
  EXPECT_TRUE(t[3]->Keys[15][0] == 0xFFFFFFF6u && t[3]->Keys[15][1] == 44);
  sU32 any = 0;
  for(const auto &step : sEmptyPattern.Keys)
    for(sU32 k : step) any |= k;
  EXPECT_EQ(any, 0u);

  // a step holds 15 codes and its end; bars outside the table or past the room are fatal
  SyncPattern p[1];
  const SyncPattern *table[3];
  const PatternKey full = {0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
  BuildPatterns(p, 1, table, 2, &full, 1);
  EXPECT_TRUE(table[0]->Keys[0][14] == 15 && table[0]->Keys[0][15] == 0 && !table[2]);
  const PatternKey more[] = {full, {0, 0, {16}}}, outside = {2, 0, {1}}, two[] = {{0, 0, {1}}, {1, 0, {1}}};
  EXPECT_DEATH(BuildPatterns(p, 1, table, 2, more, 2), "");
  EXPECT_DEATH(BuildPatterns(p, 1, table, 2, &outside, 1), "");
  EXPECT_DEATH(BuildPatterns(p, 1, table, 2, two, 2), "");
}

TEST_F(SceneRecording, KitLightsCamerasAndTheSyncReading)
{
  LightSet set;
  set.Reset();
  SetLight(&set, 1, 0x009F8F7F, sVec3(1.0f, 1.2f, 0.2f), 100.0f);
  EXPECT_NEAR(set.Positions[1].x, 63.5f, 0.1f);
  EXPECT_NEAR(set.Positions[1].y, 76.2f, 0.1f);
  EXPECT_NEAR(set.Directions[1].z, 0.127f, 0.001f);
  SetLight(&set, 2, 0, sVec3(0, 0, 0), 10.0f);   // a zero direction points along x
  EXPECT_EQ(set.Directions[2].x, 1.0f);
  TMData sets;   // the mirrored set turns over the z of the lights asked for, and no more
  sets.LightSets[0] = sNEW LightSet(set);
  sets.LightSets[1] = sNEW LightSet;
  const LightSet &m = *MirrorLights(&sets, 1);
  EXPECT_TRUE(m.Directions[0].z == -set.Directions[0].z && m.Directions[1].z == set.Directions[1].z);
  EXPECT_TRUE(m.Colors[0] == set.Colors[0] && m.Positions[1].z == set.Positions[1].z && &m == sets.LightSets[1]);
  PointForm marks(0);   // marks at the lights: the light's colour made opaque, or the one given
  marks.Init(2, 0);
  MarkLights(&marks, &set, 2, 10.0f, 5.0f, 0);
  EXPECT_TRUE(marks.Points[1].Pos.y == set.Directions[1].y * 10.0f && marks.Points[1].Color == 0xFF9F8F7Fu);
  MarkLights(&marks, &set, 1, 10.0f, 5.0f, 0xFFC0C0C0);
  EXPECT_TRUE(marks.Points[0].Color == 0xFFC0C0C0u && marks.Points[0].Size == 5.0f && marks.Points[1].Color == 0xFF9F8F7Fu);

  Scene s;
  s.DisplayWidth = 1920;
  s.DisplayHeight = 1080;
  sViewport v;
  PlaceCamera(&s, &v, sVec3(0, 0, -30), sVec3(0, 0, 10), 1.4f);
  EXPECT_TRUE(v.ZoomY == 1.4f && v.ZoomX == 1.4f / (1920.0f / 1080.0f) && v.Camera.l.z == 10.0f);
  EXPECT_NEAR(v.Camera.k.z, -1.0f, 1e-3f);
  s.DisplayWidth = s.DisplayHeight = 600;   // a square display zooms alike in x and y
  PlaceCamera(&s, &v, sVec3(0, 0, -30), sVec3(0, 0, 10), 2.0f);
  EXPECT_EQ(v.ZoomX, v.ZoomY);

  const SyncNow none = ReadSync(nullptr);
  EXPECT_TRUE(none.SyncClock == 0 && none.PulseBeat == 0.0f);

  // every value of the reading from a value of its own: a field read from its neighbour fails
  SyncMachine sync(120.0f);
  SyncResults &r = sync.Results;
  sF32 *published[] = {&r.PulseA, &r.PulseB, &r.PulseC, &r.BarPhase, &r.Bar2Phase, &r.Bar4Phase,
                       &r.Bar8Phase, &r.BarBump, &r.BarWave, &r.Bar2Wave, &r.Bar4WaveA, &r.Bar4WaveB,
                       &r.Bar8Wave, &r.Follower1, &r.Follower2, &r.Follower3, &r.HalfBarPhase, &r.BeatPhase};
  for(sInt k = 0; k < 18; k++) *published[k] = 0.5f + sF32(k);
  for(sInt c = 0; c < SYNC_CHANNELS; c++) r.BarIndex[c] = 100 + c, r.Cycle[c] = 200 + c;
  sync.SyncClock = 7001;   // the running clock; the scenes read the published one
  sync.PublishedClock = 6002;
  sync.Freeze = 3;
  sync.ColorPreset = 2;
  sync.ColorPresetSmooth = 40.5f;
  const SyncNow n = ReadSync(&sync);
  // in the order the SYNC machine publishes them, by the scenes' names
  const sF32 read[] = {n.PulseHalfBar, n.PulseBarEnd, n.PulseBeat, n.BarPhase, n.TwoBarPhase, n.FourBarPhase,
                       n.EightBarPhase, n.BarWave, n.BarTriangle, n.TwoBarTriangle, n.FourBarTriangleA,
                       n.FourBarTriangleB, n.EightBarTriangle, n.ColourPulse[0], n.ColourPulse[1],
                       n.ColourPulse[2], n.HalfBarPhase, n.BeatPhase};
  for(sInt k = 0; k < 18; k++) EXPECT_EQ(read[k], 0.5f + sF32(k)) << k;
  for(sInt c = 0; c < SYNC_CHANNELS; c++) EXPECT_TRUE(n.BarStep[c] == 100 + c && n.CycleCount[c] == 200 + c) << c;
  EXPECT_TRUE(n.SyncClock == 6002 && n.SyncPaused == 3 && n.ColourPreset == 2 && n.ColourPresetSmooth == 40.5f);
}

TEST(SceneKit, ClockWavesKeepTheirShapeAfterHoursOfShow)
{
  // ten hours into the show a float product of the clock would step by whole radians
  const sF64 late = 36000000.0, turn = 6.283185307179586;
  for(sF64 t : {late, late + 1.0, late + 17.0})
  {
    EXPECT_NEAR(ClockSin(t, 0.00013), std::sin(std::fmod(t * 0.00013, turn)), 1e-6);
    EXPECT_NEAR(ClockCos(t, 0.17), std::cos(std::fmod(t * 0.17, turn)), 1e-6);
  }
  EXPECT_TRUE(ClockAngle(-5.0, 1.0) >= 0.0f && ClockAngle(late, 0.003) < 6.2832f && ClockPhase(late, 0.006, 10.0) < 10.0f);
}
