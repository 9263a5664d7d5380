// The control values: DMX and MIDI banks, recorded tracks, learning and the live
// recording's file.
#include "show/controls.hpp"

#include "base/file.hpp"
#include "base/midi.hpp"
#include "base/textbuffer.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/midi_loopback.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"
#include "util/scanner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// A controller on the MIDI loopback, read through the framework's MIDI handler.
struct Midi
{
  plat::MidiLoopbackBackend *Dev;
  std::unique_ptr<sMidiHandlerWin> Handler;
  Midi()
  {
    auto b = std::make_unique<plat::MidiLoopbackBackend>();
    b->AddInput(u"Keys");
    Dev = b.get();
    Handler = std::make_unique<sMidiHandlerWin>(std::move(b));
  }
  void Add(sU8 status, sU8 d1, sU8 d2)
  {
    Dev->Feed(0, status | d1 << 8 | d2 << 16);
    Dev->Flush();
  }
};
}

TEST(Controls, LiveValuesRecordedTracksOverrideAndLearning)
{
  auto c = std::make_unique<SceneControls>();
  // nothing received: a DMX channel and a MIDI controller read 0 and do not trigger
  EXPECT_EQ(c->GetControlValue(sCONTROL_DMX, 3, 0) + c->GetControlValue(0, 3, 0), 0.0f);
  EXPECT_FALSE(c->GetControlTrigger(sCONTROL_DMX, 3, 0));

  sF32 dmx[4] = {0.1f, 0.2f, 0.3f, 0.4f};
  c->UpdateDmx(dmx, 4);
  dmx[2] = 0.9f;
  c->UpdateDmx(dmx, 4);
  EXPECT_FLOAT_EQ(c->GetControlValue(sCONTROL_DMX, 2, 5), 0.9f);
  EXPECT_TRUE(c->GetControlTrigger(sCONTROL_DMX, 2, 5));
  EXPECT_FALSE(c->GetControlTrigger(sCONTROL_DMX, 1, 6));   // did not move
  EXPECT_FALSE(c->GetControlTrigger(sCONTROL_DMX, 4, 6));   // outside the bank

  // a recorded DMX word: flags 2, value 512
  c->LiveClockMs = 400;   // line 20
  ASSERT_EQ(c->GetLiveLine(), 20);
  for(sInt l = 20; l < 30; l++) c->LiveTable[l][1 + 7] = 2512;
  EXPECT_NEAR(c->GetControlValue(sCONTROL_DMX, 1, 7), 512.0f / 999.0f, 1e-6);
  EXPECT_TRUE(c->GetControlTrigger(sCONTROL_DMX, 1, 7));   // recorded live
  // a MIDI query ignores the DMX flag: the live controller decides
  Midi midi;
  midi.Add(0xB0, 10, 127);
  midi.Add(0x90, 200, 64);   // controller numbers above 127 land on 127
  c->PollMidi(midi.Handler.get());
  EXPECT_FLOAT_EQ(c->GetControlValue(0, 10, 7), 1.0f);
  EXPECT_NEAR(c->GetControlValue(0, 127, 7), 64.0f / 127.0f, 1e-6);

  // moving the controller takes the track over: the recording is erased from this line on
  c->LiveTable[10][1 + 7] = 1500;
  for(sInt l : {20, 25, sLIVE_LINES - 1}) c->LiveTable[l][1 + 7] = 1500;
  midi.Add(0xB0, 11, 20);
  c->PollMidi(midi.Handler.get());
  EXPECT_TRUE(c->GetControlTrigger(0, 11, 7));
  for(sInt l : {20, 25, sLIVE_LINES - 1}) EXPECT_EQ(c->LiveTable[l][1 + 7], 0u) << "line " << l;
  EXPECT_EQ(c->LiveTable[10][1 + 7], 1500u);   // earlier lines stay
  EXPECT_NEAR(c->GetControlValue(0, 11, 7), 20.0f / 127.0f, 1e-6) << "the controller, not the recording, now";
  EXPECT_TRUE(c->GetControlTrigger(0, 11, 7));

  // after six minutes the line stays at the last one
  c->LiveClockMs = 7 * 60 * 1000;
  EXPECT_EQ(c->GetLiveLine(), sLIVE_LINES - 1);

  // learning reports the lowest channel that moved by more than a quarter
  sF32 learn[8] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
  c->UpdateDmx(learn, 8);
  c->BeginControlLearn(sCONTROL_DMX);
  sInt channel = -1;
  learn[1] = 0.75f;   // exactly 0.25: not reported
  c->UpdateDmx(learn, 8);
  EXPECT_FALSE(c->FindLearnedControl(sCONTROL_DMX, channel));
  learn[6] = 0.0f;
  learn[4] = 0.76f;
  c->UpdateDmx(learn, 8);
  EXPECT_TRUE(c->FindLearnedControl(sCONTROL_DMX, channel));
  EXPECT_EQ(channel, 4);
  midi.Add(0xB0, 30, 0);
  c->PollMidi(midi.Handler.get());
  c->BeginControlLearn(0);
  EXPECT_FALSE(c->FindLearnedControl(0, channel));
  midi.Add(0xB0, 30, 127);
  c->PollMidi(midi.Handler.get());
  EXPECT_TRUE(c->FindLearnedControl(0, channel));
  EXPECT_EQ(channel, 30);
}

class LiveFile : public testing::Test
{
protected:
  sparktest::TempDir Dir;
  std::u16string Name = Dir.Name("LiveRecordingData.txt");
  void Write(const std::string &text) { ASSERT_TRUE(sparktest::WriteFile(Dir.Name8("LiveRecordingData.txt"), text)); }
  // the names beside the recording other than itself
  std::vector<std::string> LeftBeside()
  {
    std::vector<std::string> names;
    for(const auto &e : std::filesystem::directory_iterator(Dir.Path))
      if(e.path().filename() != "LiveRecordingData.txt") names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(LiveFile, SaveLoadRoundTripReplayAndFailedSave)
{
  auto a = std::make_unique<SceneControls>();
  for(sInt l = 0; l < sLIVE_LINES; l += 7)
    for(sInt w = 0; w < sLIVE_WORDS; w++) a->LiveTable[l][w] = sU32((l * 31 + w * 17) % 3000);
  a->LiveTable[100][0] = 123456;   // wider than its five digits
  ASSERT_TRUE(SaveLiveRecording(a.get(), Name.c_str()));
  std::vector<uint8_t> bytes = sparktest::ReadFile<std::vector<uint8_t>>(Dir.Name8("LiveRecordingData.txt"));
  std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.substr(0, 28), "live: 00000,0017,0034,0051,0");
  EXPECT_NE(text.find("\r\n"), std::string::npos);

  auto b = std::make_unique<SceneControls>();
  EXPECT_EQ(LoadLiveRecording(b.get(), Name.c_str()), sLIVE_LINES);
  for(sInt l = 0; l < sLIVE_LINES; l++)
    for(sInt w = 0; w < sLIVE_WORDS; w++) ASSERT_EQ(a->LiveTable[l][w], b->LiveTable[l][w]) << l << " " << w;

  // replay: 50 lines per second of the clock
  b->LiveTable[50][1 + 3] = 1999;   // MIDI flag, full value
  b->LiveClockMs = 1000;
  EXPECT_FLOAT_EQ(b->GetControlValue(0, 5, 3), 1.0f);
  b->LiveClockMs = 1020;
  EXPECT_EQ(b->GetLiveLine(), 51);

  // a frame seconds after the last (a loaded machine) replays the lines it passed over: a
  // fade-up between two frames ends where it was recorded to end, and a control moved in
  // such a frame takes the track over from the passed lines on
  auto r = std::make_unique<SceneControls>();
  for(sInt l = 0; l <= 200; l++) r->LiveTable[l][1 + 0] = 1000 + sU32(l * 999 / 200);
  r->SetLiveClock(6000);
  EXPECT_TRUE(r->GetControlTrigger(0, 5, 0));
  EXPECT_FLOAT_EQ(r->GetControlValue(0, 5, 0), 1.0f);
  r->SetLiveClock(6020);
  EXPECT_FALSE(r->GetControlTrigger(0, 5, 0)) << "nothing recorded on the next line";
  r->SetLiveClock(0), r->SetLiveClock(3000);
  Midi midi;
  midi.Add(0xB0, 5, 127);
  r->PollMidi(midi.Handler.get());
  EXPECT_TRUE(r->GetControlTrigger(0, 5, 0) && r->GetControlValue(0, 5, 0) > 0.99f) << "the controller, not the passed lines";
  EXPECT_EQ(r->LiveTable[0][1 + 0], 1000u);

  // a save that cannot write its new file (a file-size limit) keeps the old one and tells why
  {
    sparktest::DebugCapture out;
    sparktest::FileSizeLimit limit(1000);
    EXPECT_FALSE(SaveLiveRecording(b.get(), Name.c_str()));
    EXPECT_EQ(out.Count("live recording not saved to " + Dir.Name8("LiveRecordingData.txt") + ": File too large\n"), 1)
        << out.Text();
  }
  sparktest::DebugCapture quiet;
  EXPECT_EQ(sparktest::ReadFile<std::vector<uint8_t>>(Dir.Name8("LiveRecordingData.txt")), bytes);
  EXPECT_EQ(LeftBeside(), std::vector<std::string>{}) << "the failed save's temporary is removed";

  // what saves killed half-way left is cleared at the next load, but not the temporary of
  // a show that is saving now
  pid_t gone = fork();
  if(gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string running = "LiveRecordingData.txt." + std::to_string(getpid()) + "-9.new";
  for(const std::string &n : {"LiveRecordingData.txt." + std::to_string(gone) + "-9.new", std::string("LiveRecordingData.txt.new"),
                              std::string("LiveRecordingData.txt.tmp"), running})
    ASSERT_TRUE(sparktest::WriteFile(Dir.Name8(n.c_str()), "half"));
  EXPECT_EQ(LoadLiveRecording(b.get(), Name.c_str()), sLIVE_LINES);
  EXPECT_EQ(LeftBeside(), std::vector<std::string>{running});
}

TEST_F(LiveFile, DamagedFileKeepsTheLinesBeforeTheDamage)
{
  std::string good = "live: 00001";
  for(sInt i = 0; i < 32; i++) good += ",1500";
  const std::string bare = good;   // a line without its end
  good += "\r\n";
  // any one token parts the words: a line written with others
  std::string other = "live/*:*/'x' 0X10";
  const char *seps[] = {" = ", ";", " name ", " \"s,\" ", " 2.5 ", "::", " 7 ", " 'c'", "\n// c\n,", " -"};
  for(sInt i = 0; i < 32; i++) other += seps[i % 10] + std::string(i % 10 == 9 ? "-1500" : "1500");
  other += "\n";
  const struct
  {
    std::string Text;
    sInt Lines;
    sBool Damaged;
    sU32 LastStamp;   // word 0 of the last line read
    sInt Kept;        // the words of the last line read, before a word that is no integer
    sU32 LastWord;    // the last of them
  } cases[] = {
    {good + good + "hello: 1,2,3\r\n" + good, 2, 1, 1, 33, 1500},            // not a line of the recording
    {good + "live: 00001,0002\r\n" + good, 2, 1, 1, 2, 2},                  // short line
    {good + "live: 00001 0002" + good.substr(16), 2, 1, 1, 1, 1},            // missing comma: the words move
    {good + "live: 99999999999999999999" + good.substr(11), 2, 1, 0, 0, 0},   // a stamp too long for its word
    {good + "live: 00001,4294967296" + good.substr(16), 2, 1, 1, 1, 1},       // a value whose low bits fit
    {good + "live: 0x100000001" + good.substr(11), 2, 1, 0, 0, 0},            // so in hexadecimal
    {good + "live: 00001,0002", 2, 1, 1, 2, 2},                                // the file ends inside a line
    {good + "live: 00001,00a2" + good.substr(16), 2, 1, 1, 2, 0},             // a letter among the digits
    {good + "live: 00001,,0002" + good.substr(16), 2, 1, 1, 1, 1},            // an empty field
    {good + "live: 00001,0002,1.5" + good.substr(16), 2, 1, 1, 2, 2},         // a float
    {good + bare + "#\r\n" + good, 2, 1, 1, 33, 1500},                       // a character no token begins with
    {good + bare + " " + std::string(32768, 'a'), 2, 1, 1, 33, 1500},           // a name too long
    {good + good + std::string(32767, 'a'), 2, 1, 1, 33, 1500},                 // a name of the longest length
    {std::string(1000, '\0'), 0, 1, 0, 0, 0},                                  // NUL bytes from the first line on
    {good + std::string(3, '\0') + good, 1, 1, 1, 33, 1500},                   // NUL bytes between lines
    {good + "live: -1" + good.substr(11), 2, 0, 0xFFFFFFFFu, 33, 1500},        // a negative word
    {good + "live: 4294967295" + good.substr(11), 2, 0, 0xFFFFFFFFu, 33, 1500},   // the largest word
    {good + other + good.substr(0, 6) + "'A'" + good.substr(11), 3, 0, 65, 33, 1500},   // other separators, a character
  };
  for(auto &c : cases)
  {
    Write(c.Text);
    auto t = std::make_unique<SceneControls>();
    sparktest::DebugCapture out;
    EXPECT_EQ(LoadLiveRecording(t.get(), Name.c_str()), c.Lines) << c.Text;
    EXPECT_EQ(out.Has("live recording: wrong format. line "), c.Damaged) << out.Text();
    if(c.Damaged)
    {
      EXPECT_TRUE(out.Has(": " + std::to_string(c.Lines) + " lines are replayed, the rest runs live")) << out.Text();
    }
    if(c.Lines)
    {
      const sU32 *last = t->LiveTable[c.Lines - 1];
      EXPECT_EQ(last[0], c.Kept ? c.LastStamp : 0u) << c.Text;
      if(c.Kept)
      {
        EXPECT_EQ(last[c.Kept - 1], c.LastWord) << c.Text;
      }
      for(sInt w = c.Kept; w < sLIVE_WORDS; w++) EXPECT_EQ(last[w], 0u) << c.Text << " word " << w;
    }
    EXPECT_EQ(t->LiveTable[c.Lines][1], 0u);
  }
  // the line of other separators reads as the line it stands for, its '-' taken as a sign
  auto t = std::make_unique<SceneControls>();
  Write(other);
  ASSERT_EQ(LoadLiveRecording(t.get(), Name.c_str()), 1);
  EXPECT_EQ(t->LiveTable[0][0], 16u);
  for(sInt w = 1; w < sLIVE_WORDS; w++) EXPECT_EQ(t->LiveTable[0][w], w % 10 == 0 ? sU32(-1500) : 1500u) << w;
  // a longer file keeps its first lines
  std::string longText;
  for(sInt i = 0; i < sLIVE_LINES + 5; i++) longText += good;
  Write(longText);
  EXPECT_EQ(LoadLiveRecording(std::make_unique<SceneControls>().get(), Name.c_str()), sLIVE_LINES);

  // mutated files never stop the program and never fill a line past the lines read
  sparktest::Mutator rng(17);
  std::string base = good + good + good;
  const int runs = sparktest::FuzzRuns(300);
  for(sInt round = 0; round < runs; round++)
  {
    std::string m = base;
    for(sInt k = 0; k < 3; k++) m[rng.Below(uint32_t(m.size()))] = char(rng.Below(128));
    Write(m);
    auto f = std::make_unique<SceneControls>();
    sparktest::DebugCapture quiet;
    sInt lines = LoadLiveRecording(f.get(), Name.c_str());
    ASSERT_LE(lines, 3);
    for(sInt w = 0; w < sLIVE_WORDS; w++) ASSERT_EQ(f->LiveTable[lines][w], 0u);
  }
}

TEST_F(LiveFile, MutatedFilesReadAsTheTokenizerReadsThem)
{
  // the reference: the recording read through the program's tokenizer, step by step: the
  // name "live", then 33 times one token passed over and an integer, which a '-' may
  // precede, until an error or the end. A word that is no integer, or one past 32 bits, is
  // damage: its line keeps the words before it, the rest 0; damaged: the reading stopped
  // before the file's end
  auto reference = [&](SceneControls *c, sBool &damaged, sBool cut) {
    sScanner scan;
    scan.AddDefaultTokens();
    sInt line = 0;
    for(scan.StartFile(Name.c_str()); !scan.Errors && scan.Token != sTOK_END && line < sLIVE_LINES; line++)
    {
      if(!scan.IfName(sPoolString(u"live"))) return damaged = 1, line;
      for(sInt i = 0; i < sLIVE_WORDS; i++)
      {
        scan.Scan();
        sU32 sign = scan.Token == '-' ? sU32(-1) : 1;
        if(sign != 1) scan.Scan();
        sU64 v = sU32(scan.ValI);
        if(scan.Token == sTOK_INT)
        {
          const sChar *t = scan.NumberText;
          sU64 base = t[0] == '0' && (t[1] | 32) == 'x' ? 16 : t[0] == '0' && (t[1] | 32) == 'b' ? 2 : 10;
          v = 0;
          for(const sChar *p = t + (base == 10 ? 0 : 2); *p && v < (1ull << 32); p++)
            v = v * base + sU64(*p <= '9' ? *p - '0' : (*p | 32) - 'a' + 10);
        }
        if(!((scan.Token == sTOK_INT || scan.Token == sTOK_CHAR) && v < (1ull << 32)))
        {
          for(; i < sLIVE_WORDS; i++) c->LiveTable[line][i] = 0;
          return damaged = 1, line + 1;
        }
        c->LiveTable[line][i] = sU32(v) * sign;
        scan.Scan();
      }
    }
    damaged = scan.Errors || (scan.Token == sTOK_END && cut);
    return line;
  };
  // three lines as tokens, of which a few (name, colon, a word, a comma, the last word,
  // the line's end) are swapped for or followed by another piece of text
  const std::string pieces[] = {"live", "livex", ":", "::", ",", "1500", "0x5dc", "0X5Dc", "0B1", "2147483647",
                                "2147483648", "99999999999", ".5", "7.#INF", "7.#X", "e", "\r\n", "\n", "\r", " ", "\t",
                                "/*\n*/", "/*", "// c\r", "\"s\"", "'", "#", "\xe9", {"\0", 1}, "", "-", "'A'", "2.5",
                                "4294967295", "4294967296", "x"};
  sparktest::Mutator rng(39);
  auto want = std::make_unique<SceneControls>(), got = std::make_unique<SceneControls>();
  for(sInt round = 0; round < sparktest::FuzzRuns(3000); round++)
  {
    std::string s[3 * 68], m;
    for(sInt t = 0; t < 3 * 68; t++)
      s[t] = t % 68 == 0 ? "live" : t % 68 == 1 ? ": " : t % 68 == 67 ? "\r\n" : t % 2 ? "," : "1500";
    for(uint32_t edits = 1 + rng.Below(3); edits > 0; edits--)
    {
      const uint32_t at[] = {0, 1, 2 + 2 * rng.Below(33), 3 + 2 * rng.Below(32), 66, 67};
      std::string &token = s[68 * rng.Below(3) + at[rng.Below(6)]];
      token = (rng.Below(2) ? token : "") + pieces[rng.Below(sizeof pieces / sizeof *pieces)];
    }
    for(const std::string &t : s) m += t;
    Write(m);
    memset(got->LiveTable, 0, 4 * sizeof(*got->LiveTable));
    sBool damaged;
    sparktest::DebugCapture out;
    sInt lines = reference(want.get(), damaged, m.find('\0') != std::string::npos);
    ASSERT_EQ(LoadLiveRecording(got.get(), Name.c_str()), lines) << m;
    ASSERT_EQ(memcmp(want->LiveTable, got->LiveTable, size_t(lines) * sizeof(*got->LiveTable)), 0) << m;
    ASSERT_EQ(std::count(got->LiveTable[lines], got->LiveTable[lines + 1], 0u), sLIVE_WORDS) << m;
    ASSERT_EQ(out.Has("wrong format. line "), bool(damaged)) << m << out.Text();
  }
}
