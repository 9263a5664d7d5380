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

TEST(Format, LiteralTextAndPercent)
{
  EXPECT_EQ(F(u"plain"), "plain");
  EXPECT_EQ(F(u"100%%"), "100%");
  EXPECT_EQ(F(u"%d%% of %d", 5, 10), "5% of 10");
  EXPECT_EQ(F(u""), "");
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

TEST(Format, Hexadecimal)
{
  EXPECT_EQ(F(u"%x", 255), "ff");
  EXPECT_EQ(F(u"%X", 0xbeefu), "BEEF");
  EXPECT_EQ(F(u"%08x", 0x1234), "00001234");
  EXPECT_EQ(F(u"%x", sU64(0xffffffffffffffffull)), "ffffffffffffffff");
  EXPECT_EQ(F(u"%08x", sU64(0x12345678abull)), "12345678ab");
}

TEST(Format, SixtyFourBit)
{
  EXPECT_EQ(F(u"%d", std::numeric_limits<sS64>::min()), "-9223372036854775808");
  EXPECT_EQ(F(u"%d", std::numeric_limits<sU64>::max()), "18446744073709551615");
  EXPECT_EQ(F(u"%d", 12345678901ll), "12345678901");
}

TEST(Format, BinaryAndDecimalUnits)
{
  EXPECT_EQ(F(u"%K", 10240), "10K");
  EXPECT_EQ(F(u"%K", 10239), "10239");
  EXPECT_EQ(F(u"%K", sU64(5) << 40), "5120G");
  EXPECT_EQ(F(u"%K", std::numeric_limits<sU64>::max()), "15E");
  EXPECT_EQ(F(u"%Kb", -20480), "-20Kb");
  EXPECT_EQ(F(u"%k", 12345678), "12m");
  EXPECT_EQ(F(u"%k", 9999), "9999");
  EXPECT_EQ(F(u"%k", 10000), "10k");
  EXPECT_EQ(F(u"%5K|", 10240), "  10K|");
}

TEST(Format, Hours)
{
  EXPECT_EQ(F(u"%h", 0), "0");
  EXPECT_EQ(F(u"%h", 8), "8h");
  EXPECT_EQ(F(u"%h", 9), "1d1h");
  EXPECT_EQ(F(u"%h", 16), "2d");
  EXPECT_EQ(F(u"%h", 40), "1w");
  EXPECT_EQ(F(u"%h", 48), "1w8h");
  EXPECT_EQ(F(u"%h", 52), "1w1d4h");
  EXPECT_EQ(F(u"%h", 400), "10w");
  EXPECT_EQ(F(u"%h", 4000), "100w");   // weeks keep all their digits
}

TEST(Format, FixedPoint)
{
  EXPECT_EQ(F(u"%.2r", 5), "0.05");
  EXPECT_EQ(F(u"%.2r", 12345), "123.45");
  EXPECT_EQ(F(u"%.2r", 100), "1.00");
  EXPECT_EQ(F(u"%.3r", -5), "-0.005");
  EXPECT_EQ(F(u"%r", 42), "42");
  EXPECT_EQ(F(u"%7.1r|", 42), "    4.2|");
  EXPECT_EQ(Fmt(64, u"%.9999r", 1).substr(0, 4), "0.00");   // precision bounded, no overrun
}

TEST(Format, DirectCharactersBlanksAndTabs)
{
  EXPECT_EQ(F(u"%c%c", 'h', 'i'), "hi");
  EXPECT_EQ(F(u"%5c|", 'A'), "A|");   // no padding
  EXPECT_EQ(F(u"[%_]", 3), "[   ]");
  EXPECT_EQ(F(u"[%_]", 0), "[]");
  EXPECT_EQ(F(u"[%_]", -3), "[]");
  EXPECT_EQ(F(u"[%t]", 2), "[\t\t]");
  EXPECT_EQ(Fmt(6, u"%_", 1000000000), "     ");
  EXPECT_EQ(F(u"%c", sChar(0x263a)), "\xe2\x98\xba");
}

TEST(Format, StringConversions)
{
  EXPECT_EQ(F(u"%s", u"abc"), "abc");
  EXPECT_EQ(F(u"[%s]", static_cast<const sChar *>(nullptr)), "[]");
  EXPECT_EQ(F(u"%C", u"Hello, World"), "HELLO, WORLD");
  EXPECT_EQ(F(u"%c", u"Hello, World"), "hello, world");
  EXPECT_EQ(F(u"%P", u"a/b\\c/d"), "a\\b\\c\\d");
  EXPECT_EQ(F(u"%p", u"a/b\\c/d"), "a/b/c/d");
  sFixedString fixed(u"inline");
  EXPECT_EQ(F(u"<%s>", fixed), "<inline>");
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

TEST(Format, FloatDefaultPrecision)
{
  EXPECT_EQ(F(u"%f", 1.5f), "1.50000");
  EXPECT_EQ(F(u"%F", 1.5f), "1.5000f");
  EXPECT_EQ(F(u"%f", -1.5f), "-1.5000");
  EXPECT_EQ(F(u"%f", 123.456f), "123.456");
  EXPECT_EQ(F(u"%f", 0.0f), "0.00000");
  EXPECT_EQ(F(u"%e", 1.5f), "1.50000");
  EXPECT_EQ(F(u"%f", 1234567.0f), "1234567");
  EXPECT_EQ(F(u"%F", 1234567.0f), "1234567");   // no point: no suffix
  EXPECT_EQ(F(u"%10f|", 3.25f), "3.25000011|");   // the ninth digit is not exact
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

TEST(Format, FloatAsInteger)
{
  EXPECT_EQ(F(u"%d", 2.7f), "2");
  EXPECT_EQ(F(u"%d", -2.7f), "-2");
  EXPECT_EQ(F(u"%x", 255.9f), "ff");
  EXPECT_EQ(F(u"%K", 20480.0f), "20K");
  EXPECT_EQ(F(u"%d", std::numeric_limits<float>::quiet_NaN()), "0");
  EXPECT_EQ(F(u"%d", 1e30f), "9223372036854775807");
  EXPECT_EQ(F(u"%d", 2.5), "2");   // a double is printed as a float
  EXPECT_EQ(F(u"%-!5f|", 7.0f), "75f|");   // flags out of order: '!' is the letter
}

TEST(Format, FloatDigits)
{
  sFloatInfo info;
  sFloatToDigits(1.0f, info);
  EXPECT_STREQ(info.Digits, "100000005");   // half a mantissa unit is added
  EXPECT_EQ(info.Exponent, 0);
  sFloatToDigits(-250.0f, info);
  EXPECT_TRUE(info.Negative);
  EXPECT_EQ(std::string(info.Digits).substr(0, 7), "2500000");
  EXPECT_EQ(info.Exponent, 2);
  sFloatToDigits(0.001f, info);
  EXPECT_EQ(std::string(info.Digits).substr(0, 6), "100000");
  EXPECT_EQ(info.Exponent, -3);
  sFloatToDigits(3.4028235e38f, info);
  EXPECT_EQ(std::string(info.Digits).substr(0, 5), "34028");
  EXPECT_EQ(info.Exponent, 38);
  sFloatToDigits(1e-40f, info);   // denormal
  EXPECT_EQ(std::string(info.Digits).substr(0, 3), "999");
  EXPECT_EQ(info.Exponent, -41);
  sFloatToDigits(1.401298e-45f, info);   // smallest denormal
  EXPECT_EQ(std::string(info.Digits).substr(0, 4), "1401");
  EXPECT_EQ(info.Exponent, -45);
  sFloatToDigits(0.0f, info);
  EXPECT_STREQ(info.Digits, "000000000");
  // every power of ten of the float range decomposes to a leading 1 or 9 at its exponent
  for(int e = -37; e <= 38; e++)
  {
    float v = std::pow(10.0f, float(e));
    sFloatToDigits(v, info);
    bool near = (info.Digits[0] == '1' && info.Exponent == e) || (info.Digits[0] == '9' && info.Exponent == e - 1);
    EXPECT_TRUE(near) << "1e" << e << ": " << info.Digits << " e" << info.Exponent;
  }
}

TEST(Format, ScratchBufferAndDebugPrint)
{
  std::u16string got;
  void *oldUser;
  sDebugOutputFunc old = sSetDebugOutputCapture(
    [](const sChar *text, void *user) { *static_cast<std::u16string *>(user) += text; }, &got, &oldUser);
  sDPrintF(u"value %d, name %s\n", 42, u"abc");
  sFormatBuffer buf;
  buf.BeginScratch(u"[%5d]");
  buf % 7;
  EXPECT_EQ(buf.Start, sGetThreadContext()->PrintBuffer);
  EXPECT_EQ(plat::ToUtf8(buf.Get()), "[    7]");
  // the scratch buffer holds 1023 characters and a terminator
  std::u16string longText(2000, u'y');
  sDPrintF(u"%s!", longText.c_str());
  sSetDebugOutputCapture(old, oldUser);
  ASSERT_EQ(got.size(), 19u + 1023u);
  EXPECT_EQ(plat::ToUtf8(got.substr(0, 19)), "value 42, name abc\n");
  EXPECT_EQ(got[19 + 1021], u'y');
  EXPECT_EQ(got.back(), u'?');
}

TEST(FormatDeathTest, MalformedFormats)
{
  sChar buf[32];
  EXPECT_EXIT(sSPrintF(buf, u"abc%", 1), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sSPrintF(sStringRef(buf, 0), u"abc"), testing::ExitedWithCode(1), kCheckFailed);
}
