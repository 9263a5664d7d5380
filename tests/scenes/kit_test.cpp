// The scene kit: pattern tables as the sequencer plays them, light sets, cameras and
// the clock waves over a long show.
#include "scenes/kit.hpp"

#include "show/scene_util.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
PatternList<4, 2> Sample = {
    {1, 0, {0xE026, 'r', '#'}},
    {1, 0, {-28}},         // a second key of the same step appends
    {1, 6, {'q'}},
    {3, 15, {-10, 44}},
};
}

TEST(PatternTable, KeyedBarsHoldTheirCodesAndEmptyBarsShareOnePattern)
{
  SyncPatternTable t = Sample.Table();
  EXPECT_EQ(PatternBars(t), 4);
  EXPECT_EQ(t[0], &sEmptyPattern);
  EXPECT_EQ(t[2], &sEmptyPattern);
  const sU32 step10[] = {0xE026, 'r', '#', 0xFFFFFFE4u, 0};
  for(sInt i = 0; i < 5; i++) EXPECT_EQ(t[1]->Keys[0][i], step10[i]) << i;
  EXPECT_EQ(t[1]->Keys[6][0], sU32('q'));
  EXPECT_EQ(t[1]->Keys[1][0], 0u);
  EXPECT_EQ(t[3]->Keys[15][0], 0xFFFFFFF6u);
  EXPECT_EQ(t[3]->Keys[15][1], 44u);
  for(sInt s = 0; s < SYNC_STEPS; s++)
    for(sInt k = 0; k < SYNC_SLOTS; k++) EXPECT_EQ(sEmptyPattern.Keys[s][k], 0u);

  // the sequencer hands the codes out in order at their steps
  SyncMachine m(120.0f);   // a bar is 2 s, a step 125 ms
  InstallPatterns(&m, 1, t);
  std::vector<sU32> got;
  for(sInt f = 0; f < 8 * 100 * 2; f++)
  {
    m.Update(10);
    for(sU32 c = m.PollKey(1, 1); c; c = m.PollKey(1, 0)) got.push_back(c);
  }
  const std::vector<sU32> want = {0xE026, 'r', '#', 0xFFFFFFE4u, 'q', 0xFFFFFFF6u, 44};
  ASSERT_GE(got.size(), want.size());
  EXPECT_EQ(std::vector<sU32>(got.begin(), got.begin() + 7), want);
}

TEST(PatternTable, OverfullStepsBarsOutsideAndTooManyBarsAreFatal)
{
  SyncPattern p[1];
  const SyncPattern *t[3];
  const PatternKey full = {0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
  const PatternKey more[] = {full, {0, 0, {16}}};
  EXPECT_DEATH(BuildPatterns(p, 1, t, 2, more, 2), "");
  const PatternKey outside = {2, 0, {1}};
  EXPECT_DEATH(BuildPatterns(p, 1, t, 2, &outside, 1), "");
  const PatternKey two[] = {{0, 0, {1}}, {1, 0, {1}}};
  EXPECT_DEATH(BuildPatterns(p, 1, t, 2, two, 2), "");
  BuildPatterns(p, 1, t, 2, &full, 1);
  EXPECT_EQ(t[0]->Keys[0][14], 15u);
  EXPECT_EQ(t[0]->Keys[0][15], 0u);
}

TEST_F(SceneRecording, KitLightsCamerasAndReadingWithoutMachine)
{
  LightSet set;
  set.Reset();
  SetLight(&set, 1, 0x009F8F7F, sVec3(1.0f, 1.2f, 0.2f), 100.0f);
  EXPECT_NEAR(set.Positions[1].x, 63.5f, 0.1f);
  EXPECT_NEAR(set.Positions[1].y, 76.2f, 0.1f);
  EXPECT_NEAR(set.Directions[1].z, 0.127f, 0.001f);
  EXPECT_EQ(set.Colors[1], 0x009F8F7Fu);
  SetLight(&set, 2, 0, sVec3(0, 0, 0), 10.0f);   // a zero direction points along x
  EXPECT_EQ(set.Directions[2].x, 1.0f);

  Scene s;
  s.DisplayWidth = 1920;
  s.DisplayHeight = 1080;
  sViewport v;
  PlaceCamera(&s, &v, sVec3(0, 0, -30), sVec3(0, 0, 10), 1.4f);
  EXPECT_FLOAT_EQ(v.ZoomY, 1.4f);
  EXPECT_FLOAT_EQ(v.ZoomX, 1.4f * 1080.0f / 1920.0f);
  EXPECT_NEAR(v.Camera.k.z, -1.0f, 1e-3f);
  EXPECT_FLOAT_EQ(v.Camera.l.z, 10.0f);
  s.DisplayWidth = s.DisplayHeight = 600;
  PlaceCamera(&s, &v, sVec3(0, 0, -30), sVec3(0, 0, 10), 2.0f);
  EXPECT_FLOAT_EQ(v.ZoomX, v.ZoomY);

  SyncNow none = ReadSync(nullptr);
  EXPECT_EQ(none.SyncClock, 0);
  EXPECT_EQ(none.PulseBeat, 0.0f);
}

TEST(SceneKit, ClockWavesKeepTheirShapeAfterHoursOfShow)
{
  // ten hours of show: the float product would step by whole radians
  const sF64 late = 36000000.0;
  for(sF64 dt : {0.0, 1.0, 17.0, 250.0})
  {
    const sF64 t = late + dt;
    EXPECT_NEAR(ClockSin(t, 0.00013), std::sin(std::fmod(t * 0.00013, 6.283185307179586)), 1e-6);
    EXPECT_NEAR(ClockCos(t, 0.17), std::cos(std::fmod(t * 0.17, 6.283185307179586)), 1e-6);
  }
  // one millisecond moves the wave as it did at the start of the show
  EXPECT_NEAR(ClockSin(late + 1.0, 0.17) - ClockSin(late, 0.17), std::sin(std::fmod((late + 1.0) * 0.17, 6.283185307179586)) - std::sin(std::fmod(late * 0.17, 6.283185307179586)), 1e-5);
  EXPECT_GE(ClockAngle(-5.0, 1.0), 0.0f);
  EXPECT_LT(ClockAngle(late, 0.003), 6.2832f);
}
