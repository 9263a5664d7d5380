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
  // on failure the value is left alone and the text pointer stands behind what was read
  struct Case { const sChar *Text; bool Ok; sInt Value; sChar Rest; };
  const Case cases[] = {
    {u"123abc", true, 123, u'a'},
    {u"-2147483648", true, -2147483647 - 1, 0},
    {u"+2147483647", true, 2147483647, 0},
    {u"2147483648", false, 5, 0},
    {u"99999999999x", false, 5, u'x'},
    {u"-x", false, 5, u'x'},
    {u"", false, 5, 0},
  };
  for(const Case &c : cases)
  {
    sInt v = 5;
    const sChar *p = c.Text;
    EXPECT_EQ(sScanInt(p, v) != 0, c.Ok) << U8(c.Text);
    EXPECT_EQ(v, c.Value) << U8(c.Text);
    EXPECT_EQ(*p, c.Rest) << U8(c.Text);
  }
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
