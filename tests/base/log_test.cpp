// Command-line parameters and log channels.
#include "base/log.hpp"
#include "base/system.hpp"
#include "common/capture.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
class LogTest : public testing::Test
{
protected:
  sparktest::DebugCapture Out;
  void TearDown() override
  {
    Out.Stop();
    sParseCommandLine(u"", 0);   // every channel on, prefix width from before
    sSetLogPrefixWidth(8);
  }
  void Parse(const sChar *line) { sParseCommandLine(line, 1); }
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
  EXPECT_EQ(sShellParamInt(u"v", 0, 7), 7);   // a value that is no number
  EXPECT_EQ(U8(sShellParam(u"v", 0)), "a");
  EXPECT_EQ(U8(sShellParam(u"v", 1)), "b");
  EXPECT_EQ(sShellParam(u"v", 2), nullptr);
  EXPECT_TRUE(sShellSwitch(u"EMPTY"));
  EXPECT_TRUE(sShellSwitch(u"size"));
  EXPECT_FALSE(sShellSwitch(u"siz"));
}

TEST_F(LogTest, LimitsAreNotOverrun)
{
  std::u16string line = u"p";
  for(int i = 0; i < 100; i++) line += u" -n" + std::u16string(1, sChar('a' + i % 26)) + u" v";
  sParseCommandLine(line.c_str(), 1);
  EXPECT_EQ(sGetShellParamCount(), 64);
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
  EXPECT_EQ(Out.Count("[sys]"), 3);   // the debug output has them all
}

TEST_F(LogTest, PrefixTakesTheWidthAskedFor)
{
  struct Case { const sChar *Line; const char *Channel; std::string Prefix; };
  const Case cases[] = {
    {u"p -x", "sys", "[sys]      "},
    {u"p -logprefix 2", "file", "[fi] "},
    {u"p -logprefix 0", "sys", ""},
    {u"p -logprefix 100", "sys", "[sys] " + std::string(97, ' ')},
    // the widest prefix leaves a line one character of text: each goes on a line of its own
    {u"p -logprefix 5000", "sys", "[sys] " + std::string(1015, ' ')},
  };
  for(const Case &c : cases)
  {
    Parse(c.Line);
    sparktest::LogCapture file;
    std::u16string channel = plat::ToUtf16(c.Channel);
    sLogText(channel.c_str(), u"ab\n");
    std::string expect = c.Prefix + "ab\n";
    if(c.Prefix.size() == 1021) expect = c.Prefix + "a" + c.Prefix + "b" + c.Prefix + "\n";
    EXPECT_EQ(file.Text(), expect) << U8(c.Line);
  }
}
