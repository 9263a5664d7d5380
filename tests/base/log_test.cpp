// Command-line parameters and log channels.
#include "base/log.hpp"
#include "base/system.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Captures the debug output as UTF-8 lines (one entry per sDPrint call).
class LogTest : public testing::Test
{
protected:
  std::vector<std::string> Lines;
  sDebugOutputFunc OldFunc = nullptr;
  void *OldUser = nullptr;

  void SetUp() override
  {
    OldFunc = sSetDebugOutputCapture(
      [](const sChar *text, void *user) { static_cast<LogTest *>(user)->Lines.push_back(plat::ToUtf8(text)); }, this,
      &OldUser);
  }
  void TearDown() override
  {
    sSetDebugOutputCapture(OldFunc, OldUser);
    sParseCommandLine(u"", 0);   // every channel on, prefix width from before
    sSetLogPrefixWidth(8);
  }
  void Parse(const sChar *line)
  {
    sParseCommandLine(line, 1);
    Lines.clear();
  }
  std::string Joined() const
  {
    std::string s;
    for(const std::string &l : Lines) s += l;
    return s;
  }
};

std::string U8(const sChar *s) { return s ? plat::ToUtf8(s) : std::string("(null)"); }
}

TEST_F(LogTest, PairsOfNamesAndValues)
{
  Parse(u"program.exe -log gfx mem -dontlog sys -x");
  ASSERT_EQ(sGetShellParamCount(), 4);
  EXPECT_EQ(U8(sGetShellParamName(0)), "log");
  EXPECT_EQ(U8(sGetShellParamValue(0)), "gfx");
  EXPECT_EQ(sGetShellParamName(1), nullptr);
  EXPECT_EQ(U8(sGetShellParamValue(1)), "mem");
  EXPECT_EQ(U8(sGetShellParamName(2)), "dontlog");
  EXPECT_EQ(U8(sGetShellParamValue(2)), "sys");
  EXPECT_EQ(U8(sGetShellParamName(3)), "x");
  EXPECT_EQ(U8(sGetShellParamValue(3)), "1");
  // the include list holds only gfx
  EXPECT_TRUE(sIsLogChannelOn(u"gfx"));
  EXPECT_TRUE(sIsLogChannelOn(u"GFX"));
  EXPECT_FALSE(sIsLogChannelOn(u"mem"));
  EXPECT_FALSE(sIsLogChannelOn(u"sys"));
  EXPECT_EQ(U8(sShellParam(nullptr, 0)), "mem");
  EXPECT_EQ(sShellParam(nullptr, 1), nullptr);
}

TEST_F(LogTest, ProgramNameIsSkipped)
{
  Parse(u"  \"C:\\My Programs\\show.exe\"  -a 1");
  ASSERT_EQ(sGetShellParamCount(), 1);
  EXPECT_EQ(U8(sShellParam(u"a")), "1");
  Parse(u"show.exe");
  EXPECT_EQ(sGetShellParamCount(), 0);
  sParseCommandLine(u"value -n", 0);
  ASSERT_EQ(sGetShellParamCount(), 2);
  EXPECT_EQ(U8(sShellParam(nullptr)), "value");
}

TEST_F(LogTest, QuotedValuesAndDashes)
{
  Parse(u"p -log \"gfx mem\" -x -5 -name \"-5\"");
  ASSERT_EQ(sGetShellParamCount(), 4);
  EXPECT_EQ(U8(sShellParam(u"log")), "gfx mem");
  EXPECT_EQ(U8(sShellParam(u"x")), "1");   // a dash always starts a name
  EXPECT_EQ(U8(sShellParam(u"5")), "1");
  EXPECT_EQ(U8(sShellParam(u"name")), "-5");
  EXPECT_EQ(sShellParamInt(u"name", 0, 0), -5);
  EXPECT_TRUE(sIsLogChannelOn(u"gfx"));
  EXPECT_TRUE(sIsLogChannelOn(u"mem"));
  EXPECT_FALSE(sIsLogChannelOn(u"sys"));
  // an unterminated quote ends with the text
  Parse(u"p -v \"open end");
  EXPECT_EQ(U8(sShellParam(u"v")), "open end");
}

TEST_F(LogTest, LookUpByName)
{
  Parse(u"p -Size 12abc -big 99999999999 -neg \"-2147483648\" -v a -V b -empty");
  EXPECT_EQ(sShellParamInt(u"size", 0, 7), 12);
  EXPECT_EQ(sShellParamInt(u"big", 0, 7), 7);
  EXPECT_EQ(sShellParamInt(u"neg", 0, 7), -2147483647 - 1);
  EXPECT_EQ(sShellParamInt(u"missing", 0, 7), 7);
  Lines.clear();
  EXPECT_EQ(sShellParamInt(u"v", 0, 7), 7);   // a value that is no number is told
  EXPECT_EQ(Joined(), "[sys]      -v a is not a number: 7 is used\n");
  EXPECT_EQ(U8(sShellParam(u"v", 0)), "a");
  EXPECT_EQ(U8(sShellParam(u"v", 1)), "b");
  EXPECT_EQ(sShellParam(u"v", 2), nullptr);
  EXPECT_TRUE(sShellSwitch(u"EMPTY"));
  EXPECT_TRUE(sShellSwitch(u"size"));
  EXPECT_FALSE(sShellSwitch(u"siz"));
}

TEST_F(LogTest, ParametersAreListed)
{
  sParseCommandLine(u"p -log sys -w 3 loose", 1);
  EXPECT_EQ(Joined(), "[sys]      Shell Parameters\n"
                      "[sys]        -log sys\n"
                      "[sys]        -w 3\n"
                      "[sys]        loose\n");
  Lines.clear();
  sParseCommandLine(u"p", 1);
  EXPECT_TRUE(Lines.empty());
}

TEST_F(LogTest, ProcessArguments)
{
  const char *argv[] = {"/usr/bin/sparkvane", "-log", "gfx mem", "-path", "/tmp/a \"b\"", "-\xc3\xa9t\xc3\xa9", "x"};
  sParseCommandLine(7, argv);
  Lines.clear();
  ASSERT_EQ(sGetShellParamCount(), 3);
  EXPECT_EQ(U8(sShellParam(u"log")), "gfx mem");
  EXPECT_EQ(U8(sShellParam(u"path")), "/tmp/a b");   // a quote cannot be given inside a value
  EXPECT_EQ(U8(sShellParam(u"\u00e9t\u00e9")), "x");
}

TEST_F(LogTest, LimitsAreNotOverrun)
{
  std::u16string line = u"p";
  for(int i = 0; i < 100; i++) line += u" -n" + std::u16string(1, sChar('a' + i % 26)) + u" v";
  sParseCommandLine(line.c_str(), 1);
  EXPECT_EQ(sGetShellParamCount(), 64);
  EXPECT_NE(Joined().find("36 command line parameters ignored"), std::string::npos);
  EXPECT_EQ(U8(sGetShellParamValue(63)), "v");

  std::u16string huge = u"p -a " + std::u16string(5000, u'x') + u" -b y";
  Parse(huge.c_str());
  ASSERT_GE(sGetShellParamCount(), 1);
  EXPECT_LT(sGetStringLen(sShellParam(u"a")), 4096);

  // channel lists keep what fits
  std::u16string words = u"p -log \"";
  for(int i = 0; i < 300; i++) words += u"chan ";
  words += u"\" -log last";
  Parse(words.c_str());
  EXPECT_TRUE(sIsLogChannelOn(u"chan"));
  EXPECT_FALSE(sIsLogChannelOn(u"other"));
}

TEST_F(LogTest, IncludeAndExcludeLists)
{
  Parse(u"p -log gfx -dontlog gfx");
  EXPECT_TRUE(sIsLogChannelOn(u"gfx"));   // the include list wins
  EXPECT_FALSE(sIsLogChannelOn(u"sys"));
  Parse(u"p -dontlog \"sys mem\" -dontlog file");
  EXPECT_FALSE(sIsLogChannelOn(u"sys"));
  EXPECT_FALSE(sIsLogChannelOn(u"MEM"));
  EXPECT_FALSE(sIsLogChannelOn(u"file"));
  EXPECT_TRUE(sIsLogChannelOn(u"gfx"));
  Parse(u"p");
  EXPECT_TRUE(sIsLogChannelOn(u"anything"));

  Parse(u"p -dontlog sys");
  sLogText(u"sys", u"hidden\n");
  sLogText(u"gfx", u"shown\n");
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0], "[gfx]      shown\n");
}

TEST_F(LogTest, PrefixIsPaddedToTheWidthPlusThree)
{
  sLogText(u"sys", u"text\n");
  sLogText(u"movie", u"text\n");
  sLogText(u"verylongchannel", u"text\n");
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0], "[sys]      text\n");
  EXPECT_EQ(Lines[1], "[movie]    text\n");
  EXPECT_EQ(Lines[2], "[verylong] text\n");
  EXPECT_EQ(Lines[0].find("text"), 11u);

  Parse(u"p -logprefix 2");
  sLogText(u"file", u"cut\n");
  EXPECT_EQ(Lines.back(), "[fi] cut\n");
  Parse(u"p -logprefix 0");
  sLogText(u"file", u"bare\n");
  EXPECT_EQ(Lines.back(), "bare\n");
}

TEST_F(LogTest, HugePrefixWidthIsClamped)
{
  Parse(u"p -logprefix 2000000000");
  EXPECT_EQ(sGetLogPrefixWidth(), 64);
  sLogText(u"sys", u"text\n");
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0], "[sys]" + std::string(62, ' ') + "text\n");
  Parse(u"p -logprefix \"-7\"");
  EXPECT_EQ(sGetLogPrefixWidth(), 0);
}

TEST_F(LogTest, LinesAreSplitAndCut)
{
  sLogText(u"sys", u"one\ntwo\nthree");
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0], "[sys]      one\n");
  EXPECT_EQ(Lines[1], "[sys]      two\n");
  EXPECT_EQ(Lines[2], "[sys]      three");   // no line feed added

  Lines.clear();
  std::u16string longText(2500, u'z');
  sLogText(u"sys", longText.c_str());
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0].size(), 1022u);
  EXPECT_EQ(Lines[1].size(), 1022u);
  EXPECT_EQ(Lines[2].size(), 11u + 2500u - 2u * 1011u);
  EXPECT_EQ(Lines[1].substr(0, 11), "[sys]      ");

  Lines.clear();
  sLogText(u"sys", u"");
  EXPECT_TRUE(Lines.empty());
}

TEST_F(LogTest, NullChannelTakesTheLastOne)
{
  sLogText(u"gfx", u"a\n");
  sLogText(nullptr, u"b\n");
  sLogF(u"dev", u"%d\n", 1);
  sLogF(nullptr, u"%s %d\n", u"x", 2);
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_EQ(Lines[1], "[gfx]      b\n");
  EXPECT_EQ(Lines[3], "[dev]      x 2\n");
  // an excluded channel still becomes the last one
  Parse(u"p -dontlog gfx");
  sLogText(u"gfx", u"no\n");
  sLogText(nullptr, u"no either\n");
  EXPECT_TRUE(Lines.empty());
}

TEST_F(LogTest, LogFileAndConsoleReceiveTheLines)
{
  static std::vector<std::string> fileLines, consoleLines;
  fileLines.clear();
  consoleLines.clear();
  int user = 0;
  sSetLogFileOutput([](const sChar *line, void *u) {
    EXPECT_NE(u, nullptr);
    fileLines.push_back(plat::ToUtf8(line));
  }, &user);
  sSetLogConsoleOutput([](const sChar *line) { consoleLines.push_back(plat::ToUtf8(line)); });
  sLogText(u"sys", u"one\ntwo\n");
  sSetLogFileOutput(nullptr, nullptr);
  sSetLogConsoleOutput(nullptr);
  sLogText(u"sys", u"three\n");
  EXPECT_EQ(fileLines, (std::vector<std::string>{"[sys]      one\n", "[sys]      two\n"}));
  EXPECT_EQ(consoleLines, fileLines);
  EXPECT_EQ(Lines.size(), 3u);
}

TEST_F(LogTest, QuietThreadsPrintNothing)
{
  sThreadContext *tx = sGetThreadContext();
  tx->Quiet = sTCQ_NODPRINT;
  sLogText(u"sys", u"quiet\n");
  tx->Quiet = sTCQ_NOHOOK;
  sDPrint(u"not to the capture\n");
  tx->Quiet = 0;
  EXPECT_TRUE(Lines.empty());
  sDPrint(u"loud\n");
  EXPECT_EQ(Lines.size(), 1u);
}
