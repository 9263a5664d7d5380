// The text scanner: token rules, errors and their lines, file encodings.
#include "util/scanner.hpp"
#include "base/textbuffer.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using CaptureOutput = sparktest::DebugCapture;
using sparktest::TempDir;

namespace
{
struct Tok
{
  sInt Kind;
  sInt I;
  sF32 F;
  std::u16string Text;   // name or string
};

// every token of the text up to the end (bounded)
std::vector<Tok> Tokens(sScanner &s, const sChar *text)
{
  s.StartString(text);
  std::vector<Tok> out;
  for(sInt n = 0; n < 1000 && s.Token != sTOK_END; n++)
  {
    Tok t{s.Token, s.ValI, s.ValF, u""};
    if(s.Token == sTOK_NAME) t.Text = s.Name;
    if(s.Token == sTOK_STRING) t.Text = s.String;
    out.push_back(t);
    s.Scan();
  }
  return out;
}

std::vector<sInt> Kinds(const std::vector<Tok> &toks)
{
  std::vector<sInt> k;
  for(const Tok &t : toks) k.push_back(t.Kind);
  return k;
}

class ScannerTest : public testing::Test
{
protected:
  ScannerTest() { S.AddDefaultTokens(); }
  sScanner S;
};
}

/****************************************************************************/
/***   Operators and numbers                                              ***/
/****************************************************************************/

TEST_F(ScannerTest, LongestOperatorWins)
{
  EXPECT_EQ(Kinds(Tokens(S, u">>=")), (std::vector<sInt>{sTOK_SHIFTR, '='}));
  EXPECT_EQ(Kinds(Tokens(S, u"a::b!=c<=d>=e==f<<g")),
            (std::vector<sInt>{sTOK_NAME, sTOK_SCOPE, sTOK_NAME, sTOK_NOTEQUAL, sTOK_NAME, sTOK_LE, sTOK_NAME,
                               sTOK_GE, sTOK_NAME, sTOK_EQUAL, sTOK_NAME, sTOK_SHIFTL, sTOK_NAME}));
  EXPECT_EQ(Kinds(Tokens(S, u"+-*/%^~,.;:!?=<>()[]{}&|")),
            (std::vector<sInt>{'+', '-', '*', '/', '%', '^', '~', ',', '.', ';', ':', '!', '?', '=', '<', '>', '(',
                               ')', '[', ']', '{', '}', '&', '|'}));
}

TEST_F(ScannerTest, RangesAndLeadingDotsAreOperators)
{
  auto t = Tokens(S, u"1..2");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{sTOK_INT, sTOK_ELLIPSES, sTOK_INT}));
  EXPECT_EQ(t[0].I, 1);
  EXPECT_EQ(t[2].I, 2);
  t = Tokens(S, u".5 -3 1.x");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{'.', sTOK_INT, '-', sTOK_INT, sTOK_INT, '.', sTOK_NAME}));
  EXPECT_EQ(t[1].I, 5);
  EXPECT_EQ(t[3].I, 3);
  EXPECT_EQ(t[6].Text, u"x");
}

TEST_F(ScannerTest, FloatsAndExponents)
{
  auto t = Tokens(S, u"1.5e3 1.5E3 2e-2 7e 3.25 0.1 10e+1");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{sTOK_FLOAT, sTOK_FLOAT, sTOK_NAME, sTOK_FLOAT, sTOK_FLOAT, sTOK_FLOAT,
                                         sTOK_FLOAT, sTOK_FLOAT}));
  EXPECT_FLOAT_EQ(t[0].F, 1500.0f);
  EXPECT_FLOAT_EQ(t[1].F, 1.5f);
  EXPECT_EQ(t[2].Text, u"E3");
  EXPECT_FLOAT_EQ(t[3].F, 0.02f);
  EXPECT_FLOAT_EQ(t[4].F, 7.0f);
  EXPECT_FLOAT_EQ(t[5].F, 3.25f);
  EXPECT_FLOAT_EQ(t[6].F, 0.1f);
  EXPECT_FLOAT_EQ(t[7].F, 100.0f);
  // the number as written
  S.StartString(u"12.50e1");
  EXPECT_EQ(std::u16string(S.NumberText.Get()), u"12.50e1");
}

TEST_F(ScannerTest, HexadecimalAndBinaryIntegers)
{
  auto t = Tokens(S, u"0x1F 0Xff 0b101 0b12 0x 0xFFFFFFFF 0x123456789");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT,
                                         sTOK_INT}));
  EXPECT_EQ(t[0].I, 31);
  EXPECT_EQ(t[1].I, 255);
  EXPECT_EQ(t[2].I, 5);
  EXPECT_EQ(t[3].I, 1);   // 0b1 then 2
  EXPECT_EQ(t[4].I, 2);
  EXPECT_EQ(t[5].I, 0);   // no digits
  EXPECT_EQ(t[6].I, -1);
  EXPECT_EQ(t[7].I, 0x23456789);   // wraps in 32 bits
}

TEST_F(ScannerTest, DecimalIntegersWrapAndKeepFloatValue)
{
  auto t = Tokens(S, u"4294967297 2147483647");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].I, 1);
  EXPECT_FLOAT_EQ(t[0].F, 4294967297.0f);
  EXPECT_EQ(t[1].I, 2147483647);
}

TEST_F(ScannerTest, InfinityForms)
{
  S.StartString(u"1.#INF00");
  EXPECT_EQ(S.Token, sTOK_FLOAT);
  EXPECT_TRUE(std::isinf(S.ValF) && S.ValF > 0);

  S.StartString(u"-1.#INF");
  sF32 f = S.ScanFloat();
  EXPECT_TRUE(std::isinf(f) && f < 0);
  EXPECT_EQ(S.Errors, 0);

  CaptureOutput out;
  S.StartString(u"1.#IND");
  EXPECT_EQ(S.Token, sTOK_ERROR);
  EXPECT_EQ(S.Errors, 1);
  EXPECT_NE(out.Text().find("line 1: illegal character in input\n"), std::string::npos);
}

/****************************************************************************/
/***   Strings, characters, names, keywords                               ***/
/****************************************************************************/

TEST_F(ScannerTest, StringsAreTakenAsWritten)
{
  auto t = Tokens(S, u"\"a\\n\" \"x\r\ny\" z");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{sTOK_STRING, sTOK_STRING, sTOK_NAME}));
  EXPECT_EQ(t[0].Text, u"a\\n");
  EXPECT_EQ(t[1].Text, u"x\ny");   // carriage return dropped, line feed kept
  S.StartString(u"\"x\ny\" z");
  S.Scan();
  EXPECT_EQ(S.TokenLine, 2);
  // equal strings pool to one pointer
  S.StartString(u"\"same\" \"same\"");
  const sChar *first = S.String;
  S.Scan();
  EXPECT_EQ(S.String, first);
}

TEST_F(ScannerTest, UnterminatedStringIsKindOneWithoutMessage)
{
  CaptureOutput out;
  S.StartString(u"\"abc");
  EXPECT_EQ(S.Token, sTOK_ERROR);
  EXPECT_EQ(S.Errors, 0);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(out.Text(), "");
}

TEST_F(ScannerTest, CharacterLiterals)
{
  CaptureOutput out;
  S.StartString(u"'A'");
  EXPECT_EQ(S.Token, sTOK_CHAR);
  EXPECT_EQ(S.ValI, 65);
  EXPECT_EQ(S.ScanInt(), 65);
  S.StartString(u"'AB'");
  EXPECT_EQ(S.Token, sTOK_ERROR);
  EXPECT_EQ(S.Errors, 0);
  S.StartString(u"'");
  EXPECT_EQ(S.Token, sTOK_ERROR);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(out.Text(), "");
}

TEST_F(ScannerTest, KeywordsAndNames)
{
  S.AddToken(u"configuration", 0x100);
  S.AddToken(u"->", 0x101);
  auto t = Tokens(S, u"configuration _x1 a->b configurations");
  EXPECT_EQ(Kinds(t), (std::vector<sInt>{0x100, sTOK_NAME, sTOK_NAME, 0x101, sTOK_NAME, sTOK_NAME}));
  S.StartString(u"configuration");
  EXPECT_EQ(std::u16string(S.Name), u"configuration");   // the name field holds the keyword's text

  const sChar *foo = sPoolString(u"foo");
  S.StartString(u"foo bar");
  EXPECT_FALSE(S.IfName(sPoolString(u"bar")));
  EXPECT_TRUE(S.IfName(foo));
  EXPECT_EQ(S.Token, sTOK_NAME);
  EXPECT_TRUE(S.IfToken(sTOK_NAME));
  EXPECT_EQ(S.Token, sTOK_END);
}

TEST_F(ScannerTest, OperatorRegisteredLaterIsSortedAtTheNextStart)
{
  S.StartString(u"");
  S.AddToken(u"<<=", 0x200);
  S.StartString(u"<<=");
  EXPECT_EQ(S.Token, 0x200);
}

/****************************************************************************/
/***   Comments, lines and errors                                         ***/
/****************************************************************************/

TEST_F(ScannerTest, CommentsAndLineCounting)
{
  S.StartString(u"// one\n/* two\nthree */ x\n\"a\nb\" y");
  EXPECT_EQ(S.Token, sTOK_NAME);
  EXPECT_EQ(S.TokenLine, 3);
  S.Scan();
  EXPECT_EQ(S.TokenLine, 4);
  S.Scan();
  EXPECT_EQ(std::u16string(S.Name), u"y");
  EXPECT_EQ(S.TokenLine, 5);
  EXPECT_EQ(S.Errors, 0);
}

TEST_F(ScannerTest, UnterminatedCommentReportsOnceThenEnds)
{
  CaptureOutput out;
  S.StartString(u"x /* open\n\n");
  EXPECT_EQ(S.Token, sTOK_NAME);
  EXPECT_EQ(S.Scan(), sTOK_ERROR);
  EXPECT_EQ(S.Errors, 1);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(out.Text(), "line 3: eol reached in /* */ comment\n");
}

TEST_F(ScannerTest, OnlyTheFirstErrorIsPrintedAllAreCounted)
{
  CaptureOutput out;
  S.StartString(u"@\n#");
  EXPECT_EQ(S.Token, sTOK_ERROR);
  EXPECT_EQ(S.Scan(), sTOK_ERROR);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(S.Errors, 2);
  EXPECT_EQ(out.Text(), "line 1: illegal character in input\n");
  // a new start clears the count and prints again
  S.StartString(u"$");
  EXPECT_EQ(S.Errors, 1);
  EXPECT_EQ(sparktest::CountOf(out.Text(), "illegal character"), 2u);
}

TEST_F(ScannerTest, ExpectingOperations)
{
  CaptureOutput out;
  S.StartString(u"12 \"s\" - 5 -'a' - 2.5 7 x");
  const sChar *str = nullptr;
  EXPECT_FALSE(S.ScanString(str));   // skips the 12
  EXPECT_EQ(str, sGetPoolEmptyString());
  EXPECT_TRUE(S.ScanString(str));
  EXPECT_EQ(std::u16string(str), u"s");
  EXPECT_EQ(S.ScanInt(), -5);
  EXPECT_EQ(S.ScanInt(), -97);
  EXPECT_FLOAT_EQ(S.ScanFloat(), -2.5f);
  EXPECT_FLOAT_EQ(S.ScanFloat(), 7.0f);
  EXPECT_EQ(S.ScanInt(), 0);   // a name: consumes nothing
  EXPECT_EQ(S.Token, sTOK_NAME);
  sF32 f = S.ScanFloat();
  EXPECT_EQ(f, 0.0f);
  EXPECT_EQ(S.Errors, 3);
  EXPECT_EQ(out.Text(), "line 1: string expected\n");

  S.StartString(u"- x");
  f = S.ScanFloat();
  EXPECT_TRUE(f == 0.0f && std::signbit(f));
}

TEST_F(ScannerTest, OverlongNamesAndStringsAreErrors)
{
  std::u16string name(sScanner::ScratchSize, 'n');
  std::u16string text = name + u" ok \"" + std::u16string(sScanner::ScratchSize + 5, 's') + u"\" end";
  CaptureOutput out;
  S.StartString(text.c_str());
  EXPECT_EQ(S.Token, sTOK_ERROR);
  EXPECT_EQ(S.Scan(), sTOK_NAME);
  EXPECT_EQ(std::u16string(S.Name), u"ok");
  EXPECT_EQ(S.Scan(), sTOK_ERROR);
  EXPECT_EQ(S.Scan(), sTOK_NAME);
  EXPECT_EQ(std::u16string(S.Name), u"end");
  EXPECT_EQ(S.Errors, 2);
  EXPECT_EQ(out.Text(), "line 1: name too long\n");

  // one character below the limit is fine
  std::u16string longest(sScanner::ScratchSize - 1, 'q');
  S.StartString((u"\"" + longest + u"\"").c_str());
  EXPECT_EQ(S.Token, sTOK_STRING);
  EXPECT_EQ(std::u16string(S.String), longest);
}

TEST_F(ScannerTest, ZeroCharacterEndsInputAndEndIsSticky)
{
  const sChar text[] = {'a', 0, 'b', 0};
  S.StartString(text);
  EXPECT_EQ(S.Token, sTOK_NAME);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(S.Scan(), sTOK_END);
}

TEST_F(ScannerTest, InitForgetsRegisteredTokens)
{
  S.Init();
  CaptureOutput out;
  S.StartString(u"+");
  EXPECT_EQ(S.Token, sTOK_ERROR);
  S.AddDefaultTokens();
  S.StartString(u"+");
  EXPECT_EQ(S.Token, '+');
}

TEST(ScannerDeath, EmptyTokenTextIsFatal)
{
  sScanner s;
  EXPECT_EXIT(s.AddToken(u"", 300), testing::ExitedWithCode(1), "token text must not be empty");
}

/****************************************************************************/
/***   Files                                                              ***/
/****************************************************************************/

class ScannerFileTest : public ScannerTest
{
protected:
  TempDir Dir;
};

TEST_F(ScannerFileTest, EncodingsScanTheSameName)
{
  sparktest::WriteFile(Dir.Name8("le.txt"), std::vector<uint8_t>{0xFF, 0xFE, 'a', 0, 'b', 0});
  sparktest::WriteFile(Dir.Name8("be.txt"), std::vector<uint8_t>{0xFE, 0xFF, 0, 'a', 0, 'b'});
  sparktest::WriteFile(Dir.Name8("8bit.txt"), std::string("ab"));
  for(const char *f : {"le.txt", "be.txt", "8bit.txt"})
  {
    ASSERT_TRUE(S.StartFile(Dir.Name(f).c_str())) << f;
    EXPECT_EQ(S.Token, sTOK_NAME) << f;
    EXPECT_EQ(std::u16string(S.Name), u"ab") << f;
    EXPECT_EQ(S.Scan(), sTOK_END) << f;
  }
}

TEST_F(ScannerFileTest, EightBitBytesBecomeCharactersOfTheSameValue)
{
  sparktest::WriteFile(Dir.Name8("e9.txt"), std::vector<uint8_t>{'"', 0xE9, '"'});
  ASSERT_TRUE(S.StartFile(Dir.Name("e9.txt").c_str()));
  EXPECT_EQ(S.Token, sTOK_STRING);
  ASSERT_EQ(sGetStringLen(S.String), 1);
  EXPECT_EQ(S.String[0], 0x00E9);
}

TEST_F(ScannerFileTest, ZeroByteEndsTheInput)
{
  sparktest::WriteFile(Dir.Name8("zero.txt"), std::vector<uint8_t>{'x', ' ', 0, 'y'});
  ASSERT_TRUE(S.StartFile(Dir.Name("zero.txt").c_str()));
  EXPECT_EQ(S.Token, sTOK_NAME);
  EXPECT_EQ(S.Scan(), sTOK_END);
  // UTF-16 without a mark is 8-bit text that ends at its first 0 byte
  sparktest::WriteFile(Dir.Name8("nomark.txt"), std::vector<uint8_t>{'a', 0, 'b', 0});
  ASSERT_TRUE(S.StartFile(Dir.Name("nomark.txt").c_str()));
  EXPECT_EQ(std::u16string(S.Name), u"a");
  EXPECT_EQ(S.Scan(), sTOK_END);
}

TEST_F(ScannerFileTest, OddLastByteOfUtf16IsNeverRead)
{
  sparktest::WriteFile(Dir.Name8("odd.txt"), std::vector<uint8_t>{0xFF, 0xFE, 'a', 0, 'b'});
  ASSERT_TRUE(S.StartFile(Dir.Name("odd.txt").c_str()));
  EXPECT_EQ(std::u16string(S.Name), u"a");
  EXPECT_EQ(S.Scan(), sTOK_END);
}

TEST_F(ScannerFileTest, ErrorsNameTheFileAndLine)
{
  sparktest::WriteFile(Dir.Name8("err.txt"), std::string("a\r\nb\n @"));
  CaptureOutput out;
  ASSERT_TRUE(S.StartFile(Dir.Name("err.txt").c_str()));
  S.Scan();
  EXPECT_EQ(S.Scan(), sTOK_ERROR);
  EXPECT_NE(out.Text().find(Dir.Name8("err.txt") + "(3): illegal character in input\n"), std::string::npos) << out.Text();
  EXPECT_EQ(S.TokenFile, S.Source->Filename);
}

TEST_F(ScannerFileTest, MissingOrTooShortFileReportsAndLeavesEmptyInput)
{
  CaptureOutput out;
  EXPECT_FALSE(S.StartFile(Dir.Name("missing.txt").c_str()));
  EXPECT_EQ(S.Token, sTOK_END);
  EXPECT_EQ(S.Scan(), sTOK_END);
  EXPECT_EQ(S.Errors, 1);
  std::string line = "line 1: could not load file \"" + Dir.Name8("missing.txt") + "\"\n";
  EXPECT_NE(out.Text().find(line), std::string::npos) << out.Text();

  sparktest::WriteFile(Dir.Name8("one.txt"), std::string("x"));
  EXPECT_FALSE(S.StartFile(Dir.Name("one.txt").c_str()));
  EXPECT_EQ(S.Scan(), sTOK_END);
}

TEST_F(ScannerFileTest, LargeFileWithLongTokensAcrossAnyBoundary)
{
  // more text than any read piece, with a long string and a long comment in the middle
  std::string text;
  for(int i = 0; i < 30000; i++) text += "n" + std::to_string(i) + " ";
  std::string longString(70000, 's');
  text += "\"" + longString + "\" /*" + std::string(70000, 'c') + "*/ ";
  for(int i = 0; i < 30000; i++) text += std::to_string(i) + "\n";
  sparktest::WriteFile(Dir.Name8("big.txt"), text);

  ASSERT_TRUE(S.StartFile(Dir.Name("big.txt").c_str()));
  for(int i = 0; i < 30000; i++)
  {
    ASSERT_EQ(S.Token, sTOK_NAME);
    ASSERT_EQ(std::u16string(S.Name), plat::ToUtf16("n" + std::to_string(i)));
    S.Scan();
  }
  EXPECT_EQ(S.Token, sTOK_ERROR);   // the string is longer than a name or string may be
  EXPECT_EQ(S.Errors, 1);
  S.Scan();
  for(int i = 0; i < 30000; i++)
  {
    ASSERT_EQ(S.Token, sTOK_INT);
    ASSERT_EQ(S.ValI, i);
    ASSERT_EQ(S.TokenLine, 1 + i);
    S.Scan();
  }
  EXPECT_EQ(S.Token, sTOK_END);
}
