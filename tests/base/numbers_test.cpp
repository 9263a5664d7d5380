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
/***   Frame timer                                                        ***/
/****************************************************************************/
/***   Colours                                                            ***/
/****************************************************************************/

TEST(Colors, EachChannelOnItsOwn)
{
  enum Op { Add, Multiply, Fade, Blend };
  struct Row { Op O; sU32 A, B; sF32 T; sU32 Want; };
  const Row rows[] = {
    // a sum of exactly 256 saturates and carries nothing into the channel above
    {Add, 0x00000080, 0x00000080, 0, 0x000000ff},
    {Add, 0x80808080, 0x80808080, 0, 0xffffffff},
    {Add, 0x00ff8001, 0x00017f01, 0, 0x00ffff02},
    {Add, 0xff000000, 0x01000000, 0, 0xff000000},
    {Multiply, 0xff808080, 0x80ff4000, 0, 0x7f7f2000},
    {Multiply, 0xffffffff, 0xffffffff, 0, 0xfefefefe},
    {Fade, 0xff000000, 0x00ff0000, 32768, 0x7f7f0000},
    {Fade, 0x12345678, 0x9abcdef0, 0, 0x12345678},
    {Fade, 0x12345678, 0x9abcdef0, 65536, 0x9abcdef0},
    {Blend, 0xff0000ff, 0x00ff0000, 0.5f, 0x7f7f007f},
    {Blend, 0x12345678, 0x9abcdef0, 0.0f, 0x12345678},
    {Blend, 0x12345678, 0x9abcdef0, 1.0f, 0x9abcdef0},
  };
  for(const Row &r : rows)
  {
    sU32 got = r.O == Add ? sAddColorSaturate(r.A, r.B)
             : r.O == Multiply ? sMultiplyColor(r.A, r.B)
             : r.O == Fade ? sFadeColor16(sInt(r.T), r.A, r.B)
                           : sBlendColor(r.A, r.B, r.T);
    EXPECT_EQ(got, r.Want) << "op " << r.O << std::hex << " of " << r.A << " and " << r.B << " at " << r.T;
  }
}

/****************************************************************************/

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
}
