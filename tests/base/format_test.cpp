// The formatter: conversions, flags, padding, cutting and the float printer.
#include "common/check.hpp"
#include "base/system.hpp"
#include "base/types.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
template <class... A> std::string Fmt(sInt size, const sChar *format, const A &...args)
{
  std::vector<sChar> buf(size + 1, sChar(0x7777));
  sSPrintF(sStringRef(buf.data(), size), format, args...);
  EXPECT_EQ(buf[size], sChar(0x7777)) << "wrote behind the buffer";
  return plat::ToUtf8(buf.data());
}
template <class... A> std::string F(const sChar *format, const A &...args) { return Fmt(1024, format, args...); }
}

TEST(Format, FullBufferEndsInQuestionMark)
{
  EXPECT_EQ(Fmt(5, u"abcdefgh"), "abc?");
  EXPECT_EQ(Fmt(5, u"abcd"), "abcd");            // fits exactly: no mark
  EXPECT_EQ(Fmt(5, u"abcdefgh%d", 5), "abc?");   // later operators do nothing
  EXPECT_EQ(Fmt(4, u"%dabc", 12345), "12?");     // conversion cut, literal text left
  EXPECT_EQ(Fmt(4, u"x%d", 12345), "x12");       // conversion cut, nothing behind it
  EXPECT_EQ(Fmt(1, u"abc"), "");
  EXPECT_EQ(Fmt(3, u"a%%b"), "a?");
}

TEST(Format, WidthSignAndFlags)
{
  EXPECT_EQ(F(u"%5d", -42), "  -42");
  EXPECT_EQ(F(u"%-5d|", -42), "-42  |");
  EXPECT_EQ(F(u"%05d", -42), "-0042");
  EXPECT_EQ(F(u"%05d", 42), "00042");
  EXPECT_EQ(F(u"%2d", 12345), "12345");
  EXPECT_EQ(F(u"%!3s", u"abcdef"), "abc");
  EXPECT_EQ(F(u"%!0s|", u"abcdef"), "|");
  EXPECT_EQ(F(u"%!-6s|", u"ab"), "ab    |");
  EXPECT_EQ(F(u"[%6s]", u"ab"), "[    ab]");
  EXPECT_EQ(F(u"[%-6s]", u"ab"), "[ab    ]");
  EXPECT_EQ(F(u"%u", 4000000000u), "4000000000");
  EXPECT_EQ(F(u"%d", sInt(-2147483647 - 1)), "-2147483648");
  EXPECT_EQ(F(u"%i|%z", 7, 8), "7|8");   // unknown letters print decimal
}

TEST(Format, HugeWidthStaysInsideTheBuffer)
{
  EXPECT_EQ(Fmt(8, u"%99999999999999d", 1), "       ");
  EXPECT_EQ(Fmt(8, u"%-2000000000d|", 1), "1     ?");
}

TEST(Format, Quoting)
{
  EXPECT_EQ(F(u"%Q", u"abc_1"), "abc_1");
  EXPECT_EQ(F(u"%Q", u"_x9"), "_x9");
  EXPECT_EQ(F(u"%Q", u"a b"), "\"a b\"");
  EXPECT_EQ(F(u"%Q", u"1abc"), "\"1abc\"");
  EXPECT_EQ(F(u"%Q", u""), "\"\"");
  EXPECT_EQ(F(u"%q", u"abc"), "\"abc\"");
  EXPECT_EQ(F(u"%q", u"a\tb\nc\fd\re\"f"), "\"a\\tb\\nc\\fd\\re\\\"f\"");
  // the quoted content is cut at 4092 characters
  std::u16string longText(5000, u'x');
  std::vector<sChar> big(8192);
  sSPrintF(sStringRef(big.data(), 8192), u"%q", longText.c_str());
  EXPECT_EQ(sGetStringLen(big.data()), 4094);
}

TEST(Format, FloatPrecisionAndRounding)
{
  EXPECT_EQ(F(u"%.2f", 3.14159f), "3.14");
  EXPECT_EQ(F(u"%8.3f|", 3.14159f), "   3.142|");
  EXPECT_EQ(F(u"%-8.1f|", 2.25f), "2.3     |");
  EXPECT_EQ(F(u"%08.2f", -1.5f), "-0001.50");
  EXPECT_EQ(F(u"%.0f", 2.7f), "2");
  EXPECT_EQ(F(u"%.2f", 9.999f), "10.00");
  EXPECT_EQ(F(u"%.2f", 99.999f), "100.00");
  EXPECT_EQ(F(u"%.2f", 0.996f), "1.00");
  EXPECT_EQ(F(u"%.2f", 0.006f), "0.01");
  EXPECT_EQ(F(u"%.2f", 0.0004f), "0.00");
  EXPECT_EQ(F(u"%.3f", 0.05f), "0.050");
  std::string big = F(u"%.1f", 1e20f);
  EXPECT_EQ(big.size(), 23u);
  EXPECT_EQ(big.substr(0, 7), "1000000");
  EXPECT_EQ(big.substr(9), "000000000000.0");
}

TEST(Format, FloatSpecialValues)
{
  float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(F(u"%f", inf), "+#inf");
  EXPECT_EQ(F(u"%f", -inf), "-#inf");   // one sign
  EXPECT_EQ(F(u"%7f|", -inf), "  -#inf|");
  float nan;
  sU32 bits = 0x7fc00001;
  __builtin_memcpy(&nan, &bits, 4);
  EXPECT_EQ(F(u"%f", nan), "+#nan4194305");
}

TEST(Format, FloatOverflowGivesHashes)
{
  EXPECT_EQ(F(u"%.300f", 1.0f), "###");
  EXPECT_EQ(F(u"%.253f", 1.0f), "###");
  EXPECT_EQ(F(u"%.252f", 1.0f).size(), 254u);
  std::string wide = F(u"%300f", 2.0f);
  EXPECT_EQ(wide, std::string(297, ' ') + "###");
}

TEST(FormatDeathTest, MalformedFormats)
{
  sChar buf[32];
  EXPECT_EXIT(sSPrintF(buf, u"abc%", 1), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sSPrintF(sStringRef(buf, 0), u"abc"), testing::ExitedWithCode(1), kCheckFailed);
}
