// The bounded string helpers and the inline string buffers.
#include "base/types.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string U8(const sChar *s) { return plat::ToUtf8(s); }
}

TEST(Strings, CopyIsBoundedAndTerminated)
{
  sChar buf[8];
  for(sChar &c : buf) c = 'z';
  sCopyString(buf, u"abcdefghijk", 4);
  EXPECT_EQ(U8(buf), "abc");
  EXPECT_EQ(buf[4], u'z');
  sCopyString(buf, u"abc", 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], u'b');   // nothing behind the terminator
  buf[0] = 'q';
  sCopyString(buf, u"abc", 0);
  EXPECT_EQ(buf[0], u'q');
  sCopyString(buf, u"0123456789");   // array form takes the capacity
  EXPECT_EQ(U8(buf), "0123456");
  sCopyString(buf, nullptr, 8);
  EXPECT_EQ(buf[0], 0);
}

TEST(Strings, CopyFromEightBit)
{
  sChar buf[8];
  sCopyString8(buf, "\xe9t\xe9", 8);
  EXPECT_EQ(buf[0], sChar(0xe9));
  EXPECT_EQ(buf[1], u't');
  EXPECT_EQ(buf[3], 0);
  sCopyString8(buf, "abcdefghij", 8);
  EXPECT_EQ(U8(buf), "abcdefg");
  buf[0] = 'x';
  buf[1] = 'y';
  sCopyString8(buf, "abc", 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], u'y');
  buf[0] = 'x';
  sCopyString8(buf, "abc", 0);
  EXPECT_EQ(buf[0], u'x');
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

TEST(Strings, CaseAndComparison)
{
  EXPECT_EQ(sMakeLower(u'A'), u'a');
  EXPECT_EQ(sMakeLower(u'z'), u'z');
  EXPECT_EQ(sMakeLower(sChar(192)), sChar(224));
  EXPECT_EQ(sMakeLower(sChar(221)), sChar(253));
  EXPECT_EQ(sMakeLower(sChar(215)), sChar(215));
  EXPECT_EQ(sMakeLower(sChar(222)), sChar(222));
  EXPECT_EQ(sMakeLower(u'['), u'[');

  EXPECT_EQ(sCompareString(u"abc", u"abc"), 0);
  EXPECT_EQ(sCompareString(u"abc", u"abd"), -1);
  EXPECT_EQ(sCompareString(u"abd", u"abc"), 1);
  EXPECT_EQ(sCompareString(u"ab", u"abc"), -1);
  EXPECT_EQ(sCompareString(u"\xffff", u"a"), 1);   // unsigned characters
  EXPECT_EQ(sCompareStringNoCase(u"Hello", u"hELLO"), 0);
  EXPECT_NE(sCompareStringNoCase(u"\u00e9", u"\u00c9"), 0);   // only a-z fold
  EXPECT_EQ(sCompareStringNoCase(u"_", u"a"), 1);   // letters fold to upper case, which sorts before '_'
  EXPECT_EQ(sCompareStringN(u"abcX", u"abcY", 3), 0);
  EXPECT_EQ(sCompareStringN(u"abcX", u"abcY", 4), -1);
  EXPECT_EQ(sCompareStringN(u"a", u"b", 0), 0);
  EXPECT_EQ(sCompareStringNoCaseN(u"ABCx", u"abcy", 3), 0);
  EXPECT_EQ(sCompareStringNoCaseN(u"ab", u"abc", 5), -1);
}

TEST(Strings, Searching)
{
  EXPECT_EQ(sFindString(u"hello world", u"world"), 6);
  EXPECT_EQ(sFindString(u"hello", u""), 0);
  EXPECT_EQ(sFindString(u"hello", u"World"), -1);
  EXPECT_EQ(sFindString(u"he", u"hello"), -1);
  EXPECT_EQ(sFindString(u"aaab", u"aab"), 1);
  EXPECT_EQ(sFindFirstChar(u"a.b.c", '.'), 1);
  EXPECT_EQ(sFindLastChar(u"a.b.c", '.'), 3);
  EXPECT_EQ(sFindFirstChar(u"abc", 'x'), -1);
  EXPECT_EQ(sFindLastChar(u"abc", 'x'), -1);
}

TEST(Strings, PathPieces)
{
  EXPECT_EQ(U8(sFindFileExtension(u"notes.old/readme")), "old/readme");
  EXPECT_EQ(U8(sFindFileExtension(u"archive.tar.gz")), "gz");
  EXPECT_EQ(U8(sFindFileExtension(u"noext")), "");
  sChar name[] = u"picture.bmp";
  sChar *ext = sFindFileExtension(name);
  sCopyString(ext, u"png", 4);
  EXPECT_EQ(U8(name), "picture.png");

  EXPECT_EQ(U8(sFindFileWithoutPath(u"c:\\data/scene\\file.txt")), "file.txt");
  EXPECT_EQ(U8(sFindFileWithoutPath(u"drive:name")), "name");
  EXPECT_EQ(U8(sFindFileWithoutPath(u"plain")), "plain");
  EXPECT_EQ(U8(sFindFileWithoutPath(u"folder/")), "");

  sChar dest[16];
  sExtractPath(u"data/scene/file.txt", dest);
  EXPECT_EQ(U8(dest), "data/scene/");
  sExtractPath(u"file.txt", dest);
  EXPECT_EQ(U8(dest), "");
  sChar tiny[5];
  sExtractPath(u"data/scene/file.txt", tiny);
  EXPECT_EQ(U8(tiny), "data");
}

TEST(Strings, Wildcards)
{
  EXPECT_TRUE(sMatchWildcard(u"a\\b.TXT", u"A/*.txt", 0, 0));
  EXPECT_FALSE(sMatchWildcard(u"a\\b.TXT", u"A/*.txt", 1, 0));
  EXPECT_FALSE(sMatchWildcard(u"a\\b.TXT", u"A/*.txt", 0, 1));
  EXPECT_TRUE(sMatchWildcard(u"", u"*"));
  EXPECT_TRUE(sMatchWildcard(u"", u""));
  EXPECT_FALSE(sMatchWildcard(u"a", u""));
  EXPECT_FALSE(sMatchWildcard(u"", u"?"));
  EXPECT_TRUE(sMatchWildcard(u"abc", u"a?c"));
  EXPECT_FALSE(sMatchWildcard(u"ac", u"a?c"));
  EXPECT_TRUE(sMatchWildcard(u"abcbcd", u"a*bcd"));
  EXPECT_TRUE(sMatchWildcard(u"axbyc", u"a**b*c"));
  EXPECT_FALSE(sMatchWildcard(u"axbyd", u"a*b*c"));
  EXPECT_TRUE(sMatchWildcard(u"Camera \u00e9", u"camera \u00c9"));   // Latin-1 letters fold too
  EXPECT_FALSE(sMatchWildcard(u"\u00f7", u"\u00d7"));                // but not the signs
  EXPECT_TRUE(sMatchWildcard(u"USB Video Device", u"*video*"));
  // many stars against a long text finish
  std::u16string text(200, u'a');
  EXPECT_FALSE(sMatchWildcard(text.c_str(), u"*a*a*a*a*b"));
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

TEST(Strings, StringBuffers)
{
  sFixedString a(nullptr);
  EXPECT_TRUE(a.IsEmpty());
  std::u16string longText(400, u'x');
  sFixedString b(longText.c_str());
  EXPECT_EQ(b.Count(), 255);
  b = u"short";
  EXPECT_EQ(b.Count(), 5);
  EXPECT_TRUE(b == u"short");
  b.Add(u" text");
  EXPECT_EQ(U8(b), "short text");
  sFixedString c = b;
  EXPECT_TRUE(c == b.Get());

  sStringBuffer<8> small;
  small = u"too long for it";
  EXPECT_EQ(U8(small), "too lon");
  sSPrintF(small, u"%d-%d", 12, 34);
  EXPECT_EQ(U8(small), "12-34");
  sStringRef ref = small;
  EXPECT_EQ(ref.Size, 8);
  sPathString path(u"a/b");
  EXPECT_EQ(sStringRef(path).Size, 4096);
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
