#include "common/check.hpp"
#include "base/numbers.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <set>

/****************************************************************************/
/***   Random generator                                                   ***/
/****************************************************************************/

TEST(RandomLcg, NextFromStateZero)
{
  sRandomLcg r;
  r.State = 0;
  EXPECT_EQ(r.Next(), 12345u);
  EXPECT_EQ(r.State, 12345u);
  // the next step: 12345 * 1103515245 + 12345 modulo 2^32, low 31 bits returned
  sU32 expect = 12345u * 1103515245u + 12345u;
  EXPECT_EQ(r.Next(), expect & 0x7fffffffu);
  EXPECT_EQ(r.State, expect);
}

TEST(RandomLcg, SeedFollowsTheMixingSteps)
{
  auto step = [](sU32 s) { return s * 1103515245u + 12345u; };
  for(sU32 seed : {0u, 1u, 17u, 0x12345678u, 0xffffffffu})
  {
    sU32 v = (seed * 121u) / 17u + seed * 139u;
    sU32 s = v;
    for(int n = 0; n < 3; n++)
      s = step(step(s)) ^ v;
    s = step(step(s));
    sRandomLcg r;
    r.Seed(seed);
    EXPECT_EQ(r.State, s) << "seed " << seed;
    sRandomLcg c(seed);
    EXPECT_EQ(c.State, s);
  }
  // seed 0 starts from v = 0: three rounds of two steps with nothing mixed in
  sU32 s = 0;
  for(int n = 0; n < 8; n++) s = step(s);
  EXPECT_EQ(sRandomLcg().State, s);
}

TEST(RandomLcg, NextBelowOneTakesTwoStepsAndGivesZero)
{
  sRandomLcg r(99);
  sRandomLcg ref(99);
  for(int n = 0; n < 10; n++)
  {
    EXPECT_EQ(r.NextBelow(1), 0);
    ref.Next();
    ref.Next();
    EXPECT_EQ(r.State, ref.State);
  }
}

TEST(RandomLcg, NextBelowMasksAndRejects)
{
  // NextBelow(6) masks with 7 and draws again on 6 and 7
  sRandomLcg r(3);
  sRandomLcg ref(3);
  for(int n = 0; n < 200; n++)
  {
    sInt got = r.NextBelow(6);
    sU32 v;
    do
    {
      sU32 s1 = ref.Next();
      sU32 s2 = ref.Next();
      v = (((s2 << 16) | (s2 >> 16)) ^ s1) & 7;
    } while(v > 5);
    ASSERT_EQ(got, sInt(v));
    ASSERT_EQ(r.State, ref.State);
  }
}

TEST(RandomLcg, NextBelowCoversTheRange)
{
  sRandomLcg r(1);
  for(sInt max : {2, 3, 7, 8, 9, 100, 1000})
  {
    std::set<sInt> seen;
    for(int n = 0; n < 20000; n++)
    {
      sInt v = r.NextBelow(max);
      ASSERT_GE(v, 0);
      ASSERT_LT(v, max);
      seen.insert(v);
    }
    EXPECT_EQ(sInt(seen.size()), max);
  }
  // the largest range still works (mask of all 31 bits)
  sInt v = r.NextBelow(0x7fffffff);
  EXPECT_GE(v, 0);
}

TEST(RandomLcg, NextFloatTwoStepsScaled)
{
  sRandomLcg r(5);
  sRandomLcg ref(5);
  for(int n = 0; n < 100; n++)
  {
    sF32 f = r.NextFloat(10.0f);
    sU32 s1 = ref.Next();
    sU32 s2 = ref.Next();
    sU32 v = (((s2 << 16) | (s2 >> 16)) ^ s1) & 0x7fffffffu;
    EXPECT_FLOAT_EQ(f, sF32(v) * 10.0f / 2147483648.0f);
    EXPECT_GE(f, 0.0f);
    EXPECT_LE(f, 10.0f);
  }
}

TEST(RandomLcgDeathTest, NextBelowZeroIsFatal)
{
  sRandomLcg r;
  EXPECT_EXIT(r.NextBelow(0), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(r.NextBelow(-5), testing::ExitedWithCode(1), kCheckFailed);
}

/****************************************************************************/
/***   Checksums                                                          ***/
/****************************************************************************/

TEST(Checksum, Crc32KnownValues)
{
  EXPECT_EQ(sChecksumCRC32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(sChecksumCRC32("", 0), 0u);
  EXPECT_EQ(sChecksumCRC32("abc", -3), 0u);
  const char *fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(sChecksumCRC32(fox, sDInt(strlen(fox))), 0x414FA339u);
  sU8 zero = 0;
  EXPECT_EQ(sChecksumCRC32(&zero, 1), 0xD202EF8Du);
}

TEST(Checksum, Crc32WideUsesLowBytesOnly)
{
  EXPECT_EQ(sChecksumCRC32Wide(u"123456789", 9), 0xCBF43926u);
  // the high byte does not take part
  const sChar high[] = {0x3131, 0x0032, 0xFF33};
  EXPECT_EQ(sChecksumCRC32Wide(high, 3), sChecksumCRC32("123", 3));
  EXPECT_EQ(sChecksumCRC32Wide(u"abc", 0), 0u);
  EXPECT_EQ(sChecksumCRC32Wide(u"abc", -1), 0u);
}

TEST(Checksum, Adler32)
{
  sChecksumAdler32Begin();
  sChecksumAdler32Add("abc", 3);
  EXPECT_EQ(sChecksumAdler32End(), 0x024D0127u);

  // split input gives the same as one piece; Begin restarts
  sChecksumAdler32Begin();
  sChecksumAdler32Add("Wiki", 4);
  sChecksumAdler32Add("pedia", 5);
  EXPECT_EQ(sChecksumAdler32End(), 0x11E60398u);

  sChecksumAdler32Begin();
  EXPECT_EQ(sChecksumAdler32End(), 1u);
}

/****************************************************************************/
/***   Colours                                                            ***/
/****************************************************************************/

TEST(Colour, Multiply)
{
  EXPECT_EQ(sMultiplyColor(0xFFFFFFFF, 0xFFFFFFFF), 0xFEFEFEFEu);
  EXPECT_EQ(sMultiplyColor(0x80402010, 0xFF000000), 0x7F000000u);
  EXPECT_EQ(sMultiplyColor(0x12345678, 0), 0u);
  // channels stay apart: (0x80 * 0x80) >> 8 = 0x40 in each
  EXPECT_EQ(sMultiplyColor(0x80808080, 0x80808080), 0x40404040u);
}

TEST(Colour, Fade16)
{
  EXPECT_EQ(sFadeColor16(32768, 0xFF000000, 0x00FF0000), 0x7F7F0000u);
  EXPECT_EQ(sFadeColor16(0, 0x12345678, 0x9ABCDEF0), 0x12345678u);
  EXPECT_EQ(sFadeColor16(65536, 0x12345678, 0x9ABCDEF0), 0x9ABCDEF0u);
  // weights outside 0..65536 are held at the ends instead of spilling into other channels
  EXPECT_EQ(sFadeColor16(-100, 0x12345678, 0x9ABCDEF0), 0x12345678u);
  EXPECT_EQ(sFadeColor16(200000, 0x12345678, 0x9ABCDEF0), 0x9ABCDEF0u);
}

TEST(Colour, AddSaturate)
{
  EXPECT_EQ(sAddColorSaturate(0x10203040, 0x01020304), 0x11223344u);
  EXPECT_EQ(sAddColorSaturate(0xF0F0F0F0, 0x20202020), 0xFFFFFFFFu);
  EXPECT_EQ(sAddColorSaturate(0x00FF0000, 0x00010000), 0x00FF0000u);   // no carry into alpha
}

TEST(Colour, Blend)
{
  EXPECT_EQ(sBlendColor(0xFF0000FF, 0x00FF0000, 0.5f), 0x7F7F007Fu);
  EXPECT_EQ(sBlendColor(0x12345678, 0x9ABCDEF0, 0.0f), 0x12345678u);
  EXPECT_EQ(sBlendColor(0x12345678, 0x9ABCDEF0, 1.0f), 0x9ABCDEF0u);
  // t * 256 is truncated: 0.999 gives w = 255
  EXPECT_EQ(sBlendColor(0x00000000, 0xFFFFFFFF, 0.999f), 0xFEFEFEFEu);
  // alpha fades alone when only alpha differs
  EXPECT_EQ(sBlendColor(0x00FFFFFF, 0xFFFFFFFF, 0.25f), 0x3FFFFFFFu);
}

TEST(Colour, BlendOutsideZeroToOneStaysPerChannel)
{
  // beyond 1 the blend extrapolates; a channel that runs above 255 or below 0 is held
  // there and never disturbs its neighbours
  sU32 c = sBlendColor(0xFF40FF40, 0xFF801010, 2.0f);
  EXPECT_EQ(c >> 24, 0xFFu);            // alpha 255 and 255 stays 255
  EXPECT_EQ((c >> 16) & 0xff, 0xC0u);   // 0x40 -> 0x80 extrapolated to 0xC0
  EXPECT_EQ((c >> 8) & 0xff, 0u);       // 0xFF -> 0x10 would go below 0
  EXPECT_EQ(c & 0xff, 0u);              // 0x40 -> 0x10 would go below 0
  EXPECT_EQ(sBlendColor(0x00000000, 0xFFFFFFFF, 3.0f), 0xFFFFFFFFu);
  EXPECT_EQ(sBlendColor(0x80808080, 0xFFFFFFFF, -1.0f), 0x01010101u);
  EXPECT_EQ(sBlendColor(0x10101010, 0xFFFFFFFF, -1.0f), 0u);
  // absurd weights are defined too
  EXPECT_EQ(sBlendColor(0x12345678, 0x12345678, 1e30f), 0x12345678u);
  EXPECT_EQ(sBlendColor(0x12345678, 0x9ABCDEF0, NAN), 0x12345678u);
}

/****************************************************************************/
/***   Clock                                                              ***/
/****************************************************************************/

TEST(Clock, ComparisonBySignedDifferenceSurvivesWrap)
{
  EXPECT_TRUE(sTimeIsLater(10, 5));
  EXPECT_FALSE(sTimeIsLater(5, 10));
  EXPECT_FALSE(sTimeIsLater(7, 7));
  // after 24.8 days the value passes 2^31; after 49.7 days it wraps to 0
  EXPECT_TRUE(sTimeIsLater(0x80000005u, 0x7FFFFFF0u));
  EXPECT_TRUE(sTimeIsLater(3u, 0xFFFFFFF0u));
  EXPECT_FALSE(sTimeIsLater(0xFFFFFFF0u, 3u));
  EXPECT_EQ(sTimeDiff(3u, 0xFFFFFFF0u), 19);
  EXPECT_EQ(sTimeDiff(0xFFFFFFF0u, 3u), -19);
}

/****************************************************************************/
/***   Frame timer                                                        ***/
/****************************************************************************/

TEST(FrameTimer, SlicesAndHistory)
{
  sFrameTimer t;
  EXPECT_FLOAT_EQ(t.GetAverageDelta(), 0.001f);   // nothing recorded yet
  t.Update(0);
  EXPECT_EQ(t.First, 0);
  EXPECT_EQ(t.Delta, 0);
  EXPECT_EQ(t.Slices, 0);
  t.Update(16);
  EXPECT_EQ(t.Delta, 16);
  EXPECT_EQ(t.Slices, 1);
  EXPECT_EQ(t.Remainder, 6);
  t.Update(33);
  EXPECT_EQ(t.Slices, 2);   // boundaries 20 and 30
  EXPECT_EQ(t.Remainder, 3);
  t.Update(50);
  EXPECT_EQ(t.Slices, 2);   // 40 and 50
  EXPECT_EQ(t.HistoryCount, 0);
  t.Update(66);
  EXPECT_EQ(t.Slices, 1);
  EXPECT_EQ(t.HistoryCount, 1);   // the fifth update is the first one recorded
  EXPECT_EQ(t.History[0], 16);
  t.Update(83);
  EXPECT_EQ(t.HistoryCount, 2);
  EXPECT_EQ(t.History[1], 17);
  EXPECT_EQ(t.Total, 83);
  EXPECT_EQ(t.Start, 0);
  EXPECT_EQ(t.Last, 83);
  EXPECT_FLOAT_EQ(t.GetAverageDelta(), 16.5f);
}

TEST(FrameTimer, SlicesSumToTheStepsOfTheWholeRun)
{
  // whatever the frame lengths, the slices add up to the 10 ms steps between first and last
  sFrameTimer t;
  sRandomLcg r(7);
  sU32 time = 1003;
  t.Update(time);
  sInt sum = 0;
  for(int n = 0; n < 1000; n++)
  {
    time += sU32(r.NextBelow(40));
    t.Update(time);
    ASSERT_GE(t.Slices, 0);
    sum += t.Slices;
  }
  EXPECT_EQ(sum, sInt(time / 10 - 1003 / 10));
}

TEST(FrameTimer, HistoryRingAndAverage)
{
  sFrameTimer t;
  sU32 time = 0;
  for(int n = 0; n < 5; n++) t.Update(time += 10);   // first update and the skipped ones
  EXPECT_EQ(t.HistoryCount, 1);
  for(int n = 0; n < 100; n++) t.Update(time += 20);
  EXPECT_EQ(t.HistoryCount, 64);
  EXPECT_EQ(t.HistoryIndex, (1 + 100) % 64);
  EXPECT_FLOAT_EQ(t.GetAverageDelta(), 20.0f);
  // equal times give deltas of 0; the average is held at 0.001
  for(int n = 0; n < 64; n++) t.Update(time);
  EXPECT_FLOAT_EQ(t.GetAverageDelta(), 0.001f);
}

TEST(FrameTimer, ClockPastTwoToThe31)
{
  // after 24.8 days the millisecond value no longer fits a signed 32-bit number
  sFrameTimer t;
  sU32 time = 0x7FFFFFF0u;
  t.Update(time);
  t.Update(time += 16);
  EXPECT_EQ(t.Delta, 16);
  EXPECT_EQ(t.Slices, sInt((0x7FFFFFF0u + 16) / 10 - 0x7FFFFFF0u / 10));
  t.Update(time += 16);
  EXPECT_EQ(t.Delta, 16);
  EXPECT_GE(t.Slices, 1);
  EXPECT_LE(t.Slices, 2);
  EXPECT_EQ(sU32(t.Remainder), time % 10);
}

TEST(FrameTimer, ClockWrapAround)
{
  // after 49.7 days the 32-bit value wraps to 0: deltas stay small and positive and the
  // steps keep running at about one per 10 ms
  sFrameTimer t;
  sU32 time = 0xFFFFFF00u;
  t.Update(time);
  sInt sum = 0;
  for(int n = 0; n < 100; n++)
  {
    time += 10;
    t.Update(time);
    ASSERT_EQ(t.Delta, 10);
    ASSERT_GE(t.Slices, 0);
    ASSERT_LE(t.Slices, 2);
    sum += t.Slices;
  }
  EXPECT_LT(time, 0x1000u);   // it did wrap
  EXPECT_GE(sum, 99);
  EXPECT_LE(sum, 101);
  EXPECT_EQ(t.Total, 1000);
  EXPECT_FLOAT_EQ(t.GetAverageDelta(), 10.0f);
}

TEST(FrameTimer, ClockGoingBackGivesNoSlices)
{
  // a fixed-step clock handed back to the real clock can step back in time
  sFrameTimer t;
  t.Update(1000);
  t.Update(985);
  EXPECT_EQ(t.Delta, -15);
  EXPECT_LE(t.Slices, 0);
  EXPECT_EQ(t.Slices, 98 - 100);
}
