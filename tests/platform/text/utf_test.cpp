#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

TEST(Utf, RoundTripsEveryPlane)
{
  std::u16string text = u"a\u00e9\u20ac\U0001F600z";
  std::string utf8 = plat::ToUtf8(text);
  EXPECT_EQ(utf8, "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
  EXPECT_EQ(plat::ToUtf16(utf8), text);
  EXPECT_EQ(plat::ToUtf8(static_cast<const char16_t *>(nullptr)), "");
}

TEST(Utf, MalformedInputBecomesReplacementCharacters)
{
  // a lone surrogate, a truncated sequence, an overlong form and a stray continuation byte
  EXPECT_EQ(plat::ToUtf8(std::u16string(1, char16_t(0xd800))), "\xef\xbf\xbd");
  EXPECT_EQ(plat::ToUtf16(std::string("a\xe2\x82")), u"a\ufffd\ufffd");
  EXPECT_EQ(plat::ToUtf16(std::string("\xc0\xaf")), u"\ufffd\ufffd");
  EXPECT_EQ(plat::ToUtf16(std::string("\x80x")), u"\ufffdx");
}
