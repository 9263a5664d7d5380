// The SYNC machine's clock, sequencer, keys, tap tempo, scene keys, level track and ring.
#include "show/audiosync.hpp"
#include "common/capture.hpp"
#include "common/check.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "show/sync.hpp"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

namespace
{
// A pattern whose step s holds the codes given per step (zero-ended).
struct Bars
{
  SyncPattern Pattern = {};
  std::vector<const SyncPattern *> Table;
  Bars(sInt bars, std::initializer_list<std::pair<sInt, std::vector<sU32>>> steps)
  {
    for(const auto &s : steps)
      for(size_t i = 0; i < s.second.size(); i++)
        Pattern.Keys[s.first][i] = s.second[i];
    Table.assign(size_t(bars), &Pattern);
    Table.push_back(nullptr);
  }
};

std::vector<sU32> PollAll(SyncMachine &m, sInt channel)
{
  std::vector<sU32> codes;
  for(sU32 c = m.PollKey(channel, 1); c; c = m.PollKey(channel, 0))
    codes.push_back(c);
  return codes;
}
}

TEST(SyncSequencer, StepCodesComeOnceInSlotOrderAndASlowFrameGivesOnlyTheCurrentStep)
{
  SyncMachine m(120.0f);   // a step is 125 ms
  Bars bars(40, {{8, {208, 49}}});
  for(sInt s = 0; s < 16; s++)   // step s of every bar holds the code 200 + s
    bars.Pattern.Keys[s][0] = sU32(200 + s);
  m.SetPatternTable(1, bars.Table.data());
  m.Update(0);   // the first update lands half a bar before the end of bar 7: step 8
  EXPECT_EQ(m.Results.BarIndex[1], 7);
  EXPECT_EQ(PollAll(m, 1), (std::vector<sU32>{208, 49}));
  m.Update(20);   // still step 8; a channel without a table is idle
  EXPECT_TRUE(PollAll(m, 1).empty());
  EXPECT_TRUE(PollAll(m, 2).empty());
  m.Update(380);   // to step 11: steps 9 and 10 are passed over
  EXPECT_EQ(PollAll(m, 1), (std::vector<sU32>{211}));
  m.Update(1050);  // into the next bar, step 3
  EXPECT_EQ(m.Results.BarIndex[1], 8);
  EXPECT_EQ(PollAll(m, 1), (std::vector<sU32>{203}));
}

TEST(SyncSequencerDeathTest, SixteenCodesInAStepAreFatal)
{
  SyncMachine m(120.0f);
  Bars bars(10, {{8, std::vector<sU32>(16, 101)}});
  m.SetPatternTable(1, bars.Table.data());
  m.Update(0);
  EXPECT_DEATH(PollAll(m, 1), kCheckFailed);
}

TEST(SyncSequencer, EndOfChannelZeroRestartsTheClockAndAsksForTheNextScene)
{
  SyncMachine m(120.0f);
  m.SetSceneKeyRange(SYNC_SCENEKEY, SYNC_SCENEKEY + 15);
  Bars bars(26, {});
  m.SetPatternTable(0, bars.Table.data());
  sU32 key = 0;
  sInt frames = 0;
  for(; frames < 1000 && !key; frames++)
  {
    m.Update(100);
    key = m.PollKey(0, 1);
    if(!key)
    {
      ASSERT_LT(m.BarIndex[0], 26);
    }
  }
  EXPECT_EQ(key, sU32(SYNC_SCENEKEY + 1));
  EXPECT_TRUE(m.BarIndex[0] == 0 && m.Cycle[0] == 0) << m.BarIndex[0] << " " << m.Cycle[0];
  EXPECT_EQ(m.Phase, 0.0f);
  // from the middle of bar 7 to the end of bar 25 at 2 s a bar
  EXPECT_NEAR(frames * 100, 37000, 200);
}

TEST(SyncSequencer, SongPositionRunsOnThroughPeriodsAndSwitchesUntilTheListStartsAgain)
{
  SyncMachine m(120.0f);
  m.SetSceneKeyRange(SYNC_SCENEKEY, SYNC_SCENEKEY + 15);
  Bars bars(26, {});
  m.SetPatternTable(0, bars.Table.data());
  sF64 last = m.SyncPosition();
  for(sInt frames = 0; frames < 1000 && !m.PollKey(0, 1); frames++)
  {
    ASSERT_GE(m.SyncPosition(), last) << frames;
    ASSERT_NEAR(m.SyncPosition() - std::floor(m.SyncPosition()), m.Results.Bar8Phase, 1e-4) << frames;
    last = m.SyncPosition();
    m.Update(100);
    if(frames == 150) m.ClearTrigger();   // a scene switch: the new list starts at its first period
  }
  EXPECT_GT(last, 4.0);   // two periods before the switch and two and a half of the list after it
  EXPECT_EQ(m.SyncPosition(), 0.0);
}

TEST(SyncSceneKeys, FollowTheSceneOrderOrTheGuiRequest)
{
  SyncMachine m(120.0f);
  m.SetSceneKeyRange(SYNC_SCENEKEY, SYNC_SCENEKEY + 15);
  for(sInt i = 1; i <= 16; i++)   // resident scenes too: the scene machine passes over their keys
    EXPECT_EQ(m.NextSceneKey(), sU32(SYNC_SCENEKEY + i % 16));

  SyncSceneView view;
  sInt transition = -1, option5 = -1;
  view.CurrentScene = 14;
  view.PendingTransition = &transition;
  view.OptionIndex[5] = &option5;
  m.Scenes = &view;
  SceneRequest g = {};
  g.SlideshowIndex = 14;
  g.TransitionMode = 3;
  m.GuiRecord = &g;
  // 13 is the resident Global scene, 15 the GUI, 16 to 19 no scene: their keys are issued
  // as asked and the scene machine ignores them
  const struct { sInt Next; sInt Expect; } cases[] = {{7, 7}, {13, 13}, {15, 15}, {17, 17}, {33, 13}, {-1, 19}};
  for(const auto &c : cases)
  {
    g.NextNumber = c.Next;
    EXPECT_EQ(m.NextSceneKey(), sU32(SYNC_SCENEKEY + c.Expect)) << "next number " << c.Next;
  }
  EXPECT_EQ(g.TakenFlag, 1);
  EXPECT_EQ(g.CurrentIsSlideshow, 1);
  EXPECT_EQ(g.NextIsSlideshow, 0);
  EXPECT_EQ(transition, 3);
  g.RequestFlag = 1;
  g.RequestedScene = 5;
  g.NextNumber = 27;
  EXPECT_EQ(m.NextSceneKey(), sU32(SYNC_SCENEKEY + 5));
  EXPECT_EQ(option5, 7);
  g.NextNumber = 14;   // the Slideshow asked for: its own key, with its started flag
  EXPECT_EQ(m.NextSceneKey(), sU32(SYNC_SCENEKEY + 14));
  EXPECT_EQ(g.NextIsSlideshow, 1);
  g.RequestedScene = 40;   // out of the table: the key is issued, nothing is written
  g.NextNumber = 27;
  EXPECT_EQ(m.NextSceneKey(), sU32(SYNC_SCENEKEY + 40));
}

TEST(SyncTapTempo, TapsInsideTheWindowSetTheTempoOthersDropTheSeries)
{
  struct Case
  {
    sInt Interval, Taps;
    sInt Count;
    sF32 Tapped;
    sBool Fades;
  };
  // at 120 BPM a half bar is 1000 ms: taps must come between 500 and 1500 ms apart
  const Case cases[] = {
    {1000, 3, 3, 120.0f, 0}, {900, 6, 6, 133.333f, 0}, {900, 7, 7, 133.333f, 1},
    {400, 2, 0, 0.0f, 0}, {400, 3, 1, 0.0f, 0},  {1600, 2, 0, 0.0f, 0},   {1000, 300, 256, 120.0f, 1},
  };
  for(const Case &c : cases)
  {
    SyncMachine m(120.0f);
    for(sInt i = 0; i < c.Taps; i++)
    {
      m.SyncClock = 5000 + i * c.Interval;
      m.OnKey(' ');
    }
    EXPECT_EQ(m.TapCount, c.Count) << c.Interval << " x " << c.Taps;
    EXPECT_NEAR(m.TappedTempo, c.Tapped, 0.01f) << c.Interval << " x " << c.Taps;
    EXPECT_EQ(m.TempoFade == 1000, bool(c.Fades)) << c.Interval << " x " << c.Taps;
    if(c.Fades)
    {
      m.Update(1000);
      m.Update(0);
      EXPECT_NEAR(m.Tempo, c.Tapped, 0.01f);
      EXPECT_EQ(m.HalfBarPeriod, sInt(0.5f / (c.Tapped / 240000.0f)));
    }
  }
}

// Uneven taps: the tempo shown after each is that of the mean of the intervals before the
// newest (each tap marks half a bar), and the seventh tap fades the show's tempo to it.
TEST(SyncTapTempo, UnevenTapsGiveTheTempoOfTheirMeanInterval)
{
  SyncMachine m(120.0f);
  const sInt intervals[] = {900, 1150, 1000, 830, 1210, 1340};
  sInt clock = 5000, sum = 0;
  m.SyncClock = clock;
  m.OnKey(' ');
  for(sInt k = 0; k < 6; k++)
  {
    m.SyncClock = clock += intervals[k];
    m.OnKey(' ');
    if(k > 0)
    {
      EXPECT_NEAR(m.TappedTempo, 120000.0f * k / sum, 0.01f) << "tap " << k + 2;
    }
    sum += intervals[k];
  }
  const sF32 tapped = 120000.0f * 5 / (sum - intervals[5]);
  ASSERT_EQ(m.TempoFade, 1000);
  m.Update(1000);
  m.Update(0);
  EXPECT_NEAR(m.Tempo, tapped, 0.01f);
  // the half bar now lasts the mean interval tapped
  EXPECT_NEAR(m.HalfBarPeriod, (sum - intervals[5]) / 5.0f, 1.0f);
}

TEST(SyncTapTempo, TapPullsTheHalfBarTowardsTheTapOverOneSecond)
{
  SyncMachine m(120.0f);
  m.PhaseOffset = 0.0f;
  m.Update(0);
  m.Update(200);   // half-bar phase 0.2
  m.OnKey(' ');   // towards half-bar phase + offset = 0.5
  m.Update(500);
  m.Update(250);
  EXPECT_GT(m.Phase, m.PhaseStart) << "the phase glides from the old beat to the new one";
  EXPECT_LT(m.Phase, m.PhaseTarget);
  m.Update(250);
  m.Update(0);
  EXPECT_NEAR(m.Beat.HalfBarPhase, 0.5f, 1e-3f) << "one second later at the corrected phase";
}

TEST(SyncKeys, JumpFreezeAndPresets)
{
  SyncMachine m(120.0f);
  m.Update(0);
  m.OnKey('<');
  m.Update(0);
  EXPECT_EQ(m.Results.BarIndex[3], 14);
  EXPECT_EQ(m.Results.Cycle[3], 1);

  m.OnKey('-');
  const SyncResults held = m.Results;
  const sInt clock = m.PublishedClock;
  m.Update(300);
  EXPECT_EQ(m.PublishedClock, clock);
  EXPECT_EQ(m.SyncClock, clock + 300);
  EXPECT_EQ(std::memcmp(&held, &m.Results, sizeof(held)), 0);
  m.OnKey('-');
  m.Update(300);
  EXPECT_EQ(m.PublishedClock, clock + 300);

  const struct { sInt Key, Preset; } presets[] = {{'q', 0}, {'w', 1}, {'e', 2}, {'r', 3}, {'x', 3}, {200, 3}};
  for(const auto &p : presets)
  {
    m.OnKey(p.Key);
    EXPECT_EQ(m.ColorPreset, p.Preset) << "key " << p.Key;
  }
}

TEST(SyncLevelTrack, LoadReplaySave)
{
  sparktest::TempDir dir;
  const std::string home = plat::CurrentDir();
  ASSERT_TRUE(plat::ChangeDir(dir.Path.c_str()));
  SyncMachine m(120.0f);
  m.LoadLevelTrack();
  EXPECT_EQ(m.GetRecordedLevel(1), 0.0f) << "no file: zeros";

  auto write = [&](sInt values) {
    std::ofstream f("EQU303.raw", std::ios::binary);
    for(sInt i = 0; i < values; i++)
    {
      const sInt v = (i % 3 + 1) * 65536 + i / 3;   // band + 1, and the frame in the fraction
      f.write(reinterpret_cast<const char *>(&v), 4);
    }
  };
  write(7);   // short: two frames and a bit, which the operator is told
  {
    sparktest::DebugCapture out;
    m.LoadLevelTrack();
    EXPECT_EQ(out.Count("level track EQU303.raw is short or damaged: 28 bytes"), 1) << out.Text();
  }
  EXPECT_EQ(m.LevelTrack[6], 65536 + 2);
  EXPECT_EQ(m.LevelTrack[7], 0);
  write(SYNC_LEVELVALUES + 100);   // long: cut
  m.LoadLevelTrack();
  const struct { sInt Clock; sInt Frame; } replay[] = {
    {-5000, 0}, {0, 3}, {49, 3}, {600, 15}, {599850, 11999}, {600000, 11999}, {9000000, 11999}};
  for(const auto &r : replay)
  {
    m.PublishedClock = r.Clock;
    EXPECT_FLOAT_EQ(m.GetRecordedLevel(2), 3.0f + sF32(r.Frame) / 65536.0f) << "clock " << r.Clock;
  }
  m.PublishedClock = 700;
  m.OnKey('#');
  EXPECT_EQ(m.LevelStart, 700);
  EXPECT_FLOAT_EQ(m.GetRecordedLevel(0), 1.0f + 3.0f / 65536.0f);

  m.LevelTrack[5] = -12345;
  m.OnKey('t');
  const std::string bytes = sparktest::ReadFile("EQU303.raw");
  ASSERT_EQ(bytes.size(), size_t(144000));
  EXPECT_EQ(std::memcmp(bytes.data(), m.LevelTrack, bytes.size()), 0);
  EXPECT_FALSE(plat::PathExists("EQU303.raw.new"));
  // a track of 3 GiB is refused with its reason: the levels go back to zero, the show goes on
  ASSERT_TRUE(sparktest::SetFileSize("EQU303.raw", sparktest::kThreeGiB));
  {
    sparktest::DebugCapture out;
    m.LoadLevelTrack();
    EXPECT_EQ(out.Count("level track EQU303.raw cannot be read: it is too large"), 1) << out.Text();
  }
  EXPECT_EQ(m.GetRecordedLevel(0), 0.0f);
  ASSERT_TRUE(plat::ChangeDir(home.c_str()));
}

TEST(SyncSoundRing, KeepsEveryValueAndTheLargestOfEachBlock)
{
  SyncMachine m(120.0f);
  const sS16 frames[] = {-100, 16384, -32768, 200, 0, 0};
  m.Receiver.OnSamples(frames, 3);
  EXPECT_EQ(m.Receiver.WritePos, 6);
  EXPECT_FLOAT_EQ(m.Receiver.Get(1), 0.5f);
  EXPECT_FLOAT_EQ(m.Receiver.Get(2), -1.0f);
  EXPECT_FLOAT_EQ(m.Receiver.MaxNew[0], 0.5f);
}

TEST(SyncSoundRing, ReadsNothingPastTheBufferItIsHanded)
{
  SyncMachine m(120.0f);   // its analyser is fed too
  const long page = sysconf(_SC_PAGESIZE);
  char *mem = static_cast<char *>(mmap(nullptr, size_t(page) * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(mem, MAP_FAILED);
  ASSERT_EQ(mprotect(mem + page, size_t(page), PROT_NONE), 0);
  const sInt count = sInt(page / 4);   // frames filling the page up to the guard
  sS16 *samples = reinterpret_cast<sS16 *>(mem);
  for(sInt i = 0; i < count * 2; i++)
    samples[i] = sS16(i);
  for(sInt round = 0; round < 300; round++)   // past the analyser's history wrap
    m.Receiver.OnSamples(samples, count);
  EXPECT_EQ(m.Receiver.WritePos, (300 * count * 2) % SYNC_RING);
  EXPECT_EQ(m.Analyser->CurrentBlock, (300 * count / 256) % 512);
  munmap(mem, size_t(page) * 2);
}
