// The text scanner: token rules, errors and their lines, and long files.
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

TEST_F(ScannerTest, FloatsAndExponents)
{
  auto t = Tokens(S, u"1.5e3 1.5E3 2e-2 7e 3.25 0.1 10e+1");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{sTOK_FLOAT, sTOK_FLOAT, sTOK_NAME, sTOK_FLOAT, sTOK_FLOAT, sTOK_FLOAT,
                                         sTOK_FLOAT, sTOK_FLOAT}));
  const sF32 want[] = {1500.0f, 1.5f, 0, 0.02f, 7.0f, 3.25f, 0.1f, 100.0f};
  for(size_t i = 0; i < t.size(); i++)
    EXPECT_TRUE(t[i].Kind != sTOK_FLOAT || std::fabs(t[i].F - want[i]) <= 1e-6f * want[i]) << i << ": " << t[i].F;
  EXPECT_EQ(t[2].Text, u"E3");   // a capital E after a float starts a name
  // the number as written
  S.StartString(u"12.50e1");
  EXPECT_EQ(std::u16string(S.NumberText.Get()), u"12.50e1");
}

TEST_F(ScannerTest, HexadecimalAndBinaryIntegers)
{
  auto t = Tokens(S, u"0x1F 0Xff 0b101 0b12 0x 0xFFFFFFFF 0x123456789");
  ASSERT_EQ(Kinds(t), (std::vector<sInt>{sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT, sTOK_INT,
                                         sTOK_INT}));
  // 0b12 is 0b1 then 2; 0x has no digits; the last wraps in 32 bits
  const sInt want[] = {31, 255, 5, 1, 2, 0, -1, 0x23456789};
  for(size_t i = 0; i < t.size(); i++) EXPECT_EQ(t[i].I, want[i]) << i;
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
