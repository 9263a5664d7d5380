// The control files: the live recording read the way the scene machine reads it, and the
// level track checked against the music's beats.
#include "base/textbuffer.hpp"
#include "tree_env.hpp"
#include "util/scanner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

TEST(DatagenControl, TheLiveRecordingReadsAsTheSceneMachineReadsItWithRecordedTracks)
{
  std::vector<sU8> bytes = datagentest::ReadBytes("LiveRecordingData.txt");
  ASSERT_TRUE(bytes.size() > 12 && memcmp(bytes.data(), "live: 00000,", 12) == 0);
  sScanner scan;
  scan.AddDefaultTokens();
  ASSERT_TRUE(scan.StartFile(datagentest::Path("LiveRecordingData.txt").c_str()));
  sInt lines = 0, recorded = 0, badWords = 0;
  sInt last[33] = {}, most[33] = {};   // per track: the last value written, the largest
  // the moves: stretches of lines with a recorded track (start and end line), and whether
  // a move left a control at a tenth of its travel or more
  std::vector<std::pair<sInt, sInt>> moves;
  std::vector<bool> leftOn;
  while(scan.Errors == 0 && scan.Token != sTOK_END)
  {
    ASSERT_TRUE(scan.IfName(sPoolString(u"live"))) << "line " << lines;
    sInt words[33];
    for(sInt &w : words) scan.Scan(), w = scan.ScanInt();
    // track words: flags 1000 (MIDI) and 2000 (DMX) over a value 0..999
    sBool any = 0;
    for(sInt t = 1; t < 33; t++)
    {
      badWords += words[t] != 0 && (words[t] < 1000 || words[t] >= 4000);
      recorded += words[t] != 0;
      if(words[t]) last[t] = words[t] % 1000, most[t] = std::max(most[t], words[t] % 1000), any = 1;
    }
    if(any && (moves.empty() || moves.back().second != lines - 1)) moves.push_back({lines, lines}), leftOn.push_back(false);
    if(any)
    {
      moves.back().second = lines;
      sBool on = 0;
      for(sInt t = 1; t < 33; t++) on |= words[t] % 1000 >= 100;
      leftOn.back() = on;
    }
    lines++;
  }
  EXPECT_EQ(scan.Errors, 0);
  EXPECT_EQ(lines, 18000);
  EXPECT_EQ(badWords, 0);
  EXPECT_GT(recorded, 500) << "a performance was recorded";
  // a VJ's few deliberate moves: each over in a few seconds (its page is brought forward
  // only meanwhile), a minute apart, and all but the last leaving its effect on to be seen
  EXPECT_TRUE(moves.size() >= 4 && moves.size() <= 10) << moves.size() << " moves";
  for(size_t i = 0; i < moves.size(); i++)
  {
    EXPECT_LE(moves[i].second - moves[i].first, 250) << "move " << i << " at line " << moves[i].first;
    if(i)
    {
      EXPECT_GE(moves[i].first - moves[i - 1].first, 50 * 55) << "move " << i << " at line " << moves[i].first;
    }
    if(i + 1 < moves.size())
    {
      EXPECT_TRUE(leftOn[i]) << "move " << i << " at line " << moves[i].first;
    }
  }
  // the moves leave no effect on after them (an amount below 3 % switches it off), and
  // none drives the strobe (track 1), the feedback (5) or the kaleidoscope (7) to a full
  // wash of the picture
  for(sInt t : {2, 4, 6, 8, 14, 17, 20}) EXPECT_LT(last[t], 30) << "track " << t - 1;
  for(sInt t : {2, 6, 8}) EXPECT_LE(most[t], 600) << "track " << t - 1;
}

TEST(DatagenControl, TheLevelTrackHoldsTheMusicsBandsWithTheKicksOnTheBeats)
{
  std::vector<sU8> raw = datagentest::ReadBytes("EQU303.raw");
  ASSERT_EQ(raw.size(), 144000u);
  auto level = [&](sInt frame, sInt band) {
    const sU8 *p = &raw[size_t(frame) * 12 + band * 4];
    return sS32(p[0] | p[1] << 8 | p[2] << 16 | sU32(p[3]) << 24) / 65536.0f;
  };
  sF32 lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for(sInt i = 0; i < 36000; i++) lo[i % 3] = std::min(lo[i % 3], level(i / 3, i % 3)), hi[i % 3] = std::max(hi[i % 3], level(i / 3, i % 3));
  for(sInt b = 0; b < 3; b++) EXPECT_TRUE(lo[b] == 0.0f && hi[b] > 0.05f && hi[b] < 2.0f) << "band " << b << ": " << hi[b];
  // 50 ms frames, 476.19 ms beats: the frame of a beat holds the kick, the loudest of the
  // low band around it
  for(sInt beat : {1, 10, 100, 200, 300})
  {
    sInt f = beat * 60000 / 126 / 50;
    for(sInt g = f - 3; g <= f + 3; g++) EXPECT_LE(level(g, 0), level(f, 0)) << "beat " << beat << ", frame " << g;
  }
  EXPECT_EQ(level(11999, 0) + level(11999, 1) + level(11999, 2), 0.0f) << "silence after the music";
}
