// The bounded string helpers, integer scanning and wildcards.
#include "base/types.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string U8(const sChar *s) { return plat::ToUtf8(s); }
}

TEST(Strings, AppendIsBounded)
{
  sChar buf[8] = u"abc";
  sAppendString(buf, u"def", 8);
  EXPECT_EQ(U8(buf), "abcdef");
  sAppendString(buf, u"ghijk", 8);
  EXPECT_EQ(U8(buf), "abcdefg");
  sAppendString(buf, u"x", 1);
  EXPECT_EQ(buf[0], 0);
  sChar small[4] = u"abc";
  sAppendString(small, u"more");   // already full
  EXPECT_EQ(U8(small), "abc");
}

TEST(Strings, ScanInt)
{
  sInt v = 0;
  const sChar *p = u"123abc";
  EXPECT_TRUE(sScanInt(p, v));
  EXPECT_EQ(v, 123);
  EXPECT_EQ(*p, u'a');

  p = u"-2147483648";
  EXPECT_TRUE(sScanInt(p, v));
  EXPECT_EQ(v, -2147483647 - 1);
  p = u"+2147483647";
  EXPECT_TRUE(sScanInt(p, v));
  EXPECT_EQ(v, 2147483647);

  v = 5;
  p = u"2147483648";
  EXPECT_FALSE(sScanInt(p, v));
  EXPECT_EQ(v, 5);
  p = u"99999999999x";
  EXPECT_FALSE(sScanInt(p, v));
  EXPECT_EQ(*p, u'x');   // behind the digits
  p = u"-x";
  EXPECT_FALSE(sScanInt(p, v));
  EXPECT_EQ(*p, u'x');   // behind the sign
  p = u"";
  EXPECT_FALSE(sScanInt(p, v));
}

namespace
{
// the plain recursive definition, to check the matcher against
bool RefMatch(const sChar *t, const sChar *p, bool cs, bool es)
{
  auto fold = [&](sChar c) {
    if(!cs && ((c >= 'a' && c <= 'z') || (c >= 224 && c <= 253 && c != 247))) c = sChar(c - 32);
    if(!es && c == '\\') c = '/';
    return c;
  };
  if(!*p) return !*t;
  if(*p == '?') return *t && RefMatch(t + 1, p + 1, cs, es);
  if(*p == '*')
  {
    for(const sChar *s = t;; s++)
    {
      if(RefMatch(s, p + 1, cs, es)) return true;
      if(!*s) return false;
    }
  }
  return *t && fold(*p) == fold(*t) && RefMatch(t + 1, p + 1, cs, es);
}
}

TEST(Strings, WildcardsAgreeWithTheRecursiveDefinition)
{
  const sChar textSet[] = u"abA/\\";
  const sChar patternSet[] = u"aB/\\*?*";
  sU32 state = 12345;
  auto next = [&](sU32 n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  for(int i = 0; i < 20000; i++)
  {
    sChar text[8], pattern[8];
    sU32 tl = next(7), pl = next(7);
    for(sU32 k = 0; k < tl; k++) text[k] = textSet[next(5)];
    for(sU32 k = 0; k < pl; k++) pattern[k] = patternSet[next(7)];
    text[tl] = pattern[pl] = 0;
    bool cs = next(2), es = next(2);
    ASSERT_EQ(sMatchWildcard(text, pattern, cs, es) != 0, RefMatch(text, pattern, cs, es))
      << plat::ToUtf8(text) << " against " << plat::ToUtf8(pattern) << " cs " << cs << " es " << es;
  }
}
