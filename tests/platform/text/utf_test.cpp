#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

TEST(Utf, RoundTripsEveryPlane)
{
  std::u16string text = u"a\u00e9\u20ac\U0001F600z";
  std::string utf8 = plat::ToUtf8(text);
  EXPECT_EQ(utf8, "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
  EXPECT_EQ(plat::ToUtf16(utf8), text);
  EXPECT_EQ(plat::ToUtf8(static_cast<const char16_t *>(nullptr)), "");
  // the first and last code point of each length, with their exact bytes both ways
  struct Case { std::u16string Text; std::string Bytes; };
  for(const Case &c : {Case{{0x7f}, "\x7f"}, Case{{0x80}, "\xc2\x80"}, Case{{0x7ff}, "\xdf\xbf"},
                       Case{{0x800}, "\xe0\xa0\x80"}, Case{{0xffff}, "\xef\xbf\xbf"},
                       Case{{0xd800, 0xdc00}, "\xf0\x90\x80\x80"}})
  {
    EXPECT_EQ(plat::ToUtf8(c.Text), c.Bytes) << int(c.Text[0]);
    EXPECT_EQ(plat::ToUtf16(c.Bytes), c.Text) << int(c.Text[0]);
  }
}

TEST(Utf, MalformedInputBecomesReplacementCharacters)
{
  // a lone surrogate, a truncated sequence, an overlong form and a stray continuation byte
  EXPECT_EQ(plat::ToUtf8(std::u16string(1, char16_t(0xd800))), "\xef\xbf\xbd");
  EXPECT_EQ(plat::ToUtf16(std::string("a\xe2\x82")), u"a\ufffd\ufffd");
  EXPECT_EQ(plat::ToUtf16(std::string("\xc0\xaf")), u"\ufffd\ufffd");
  EXPECT_EQ(plat::ToUtf16(std::string("\x80x")), u"\ufffdx");
}
