// The control values: DMX and MIDI banks, recorded tracks, learning and the live
// recording's file.
#include "show/controls.hpp"

#include "base/capture_util.hpp"
#include "base/file.hpp"
#include "base/midi.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <memory>
#include <random>

namespace
{
class QueueMidi : public sMidiHandler
{
public:
  std::deque<sMidiMessage> Queue;
  void Add(sU8 status, sU8 d1, sU8 d2) { Queue.push_back({0, status, d1, d2, 0}); }
  sBool HasInput() override { return !Queue.empty(); }
  sBool Read(sMidiMessage &out) override
  {
    if(Queue.empty()) return 0;
    out = Queue.front();
    Queue.pop_front();
    return 1;
  }
  void SendShort(sInt, sInt, sInt, sInt) override {}
  const sChar *GetDeviceName(sBool, sInt) override { return nullptr; }
};

std::string ReadAll(const std::string &path)
{
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
}

TEST(Controls, LiveValuesRecordedTracksAndOverride)
{
  auto c = std::make_unique<SceneControls>();
  // nothing received: a DMX channel and a MIDI controller read 0 and do not trigger
  EXPECT_EQ(c->GetControlValue(sCONTROL_DMX, 3, 0), 0.0f);
  EXPECT_EQ(c->GetControlValue(0, 3, 0), 0.0f);
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
  QueueMidi midi;
  midi.Add(0xB0, 10, 127);
  midi.Add(0x90, 200, 64);   // controller numbers above 127 land on 127
  c->PollMidi(&midi);
  EXPECT_FLOAT_EQ(c->GetControlValue(0, 10, 7), 1.0f);
  EXPECT_NEAR(c->GetControlValue(0, 127, 7), 64.0f / 127.0f, 1e-6);

  // moving the controller takes the track over: the recording is erased from this line on
  c->LiveTable[10][1 + 7] = 1500;
  for(sInt l = 20; l < 30; l++) c->LiveTable[l][1 + 7] = 1500;
  midi.Add(0xB0, 11, 20);
  c->PollMidi(&midi);
  EXPECT_TRUE(c->GetControlTrigger(0, 11, 7));
  EXPECT_EQ(c->LiveTable[25][1 + 7], 0u);
  EXPECT_EQ(c->LiveTable[10][1 + 7], 1500u);   // earlier lines stay
  EXPECT_TRUE(c->GetControlTrigger(0, 11, 7));

  // after six minutes the line stays at the last one
  c->LiveClockMs = 7 * 60 * 1000;
  EXPECT_EQ(c->GetLiveLine(), sLIVE_LINES - 1);
}

TEST(Controls, LearnReportsTheLowestChannelThatMovedMoreThanAQuarter)
{
  auto c = std::make_unique<SceneControls>();
  sF32 dmx[8] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
  c->UpdateDmx(dmx, 8);
  c->BeginControlLearn(sCONTROL_DMX);
  sInt channel = -1;
  dmx[1] = 0.75f;   // exactly 0.25: not reported
  c->UpdateDmx(dmx, 8);
  EXPECT_FALSE(c->FindLearnedControl(sCONTROL_DMX, channel));
  dmx[6] = 0.0f;
  dmx[4] = 0.76f;
  c->UpdateDmx(dmx, 8);
  EXPECT_TRUE(c->FindLearnedControl(sCONTROL_DMX, channel));
  EXPECT_EQ(channel, 4);

  QueueMidi midi;
  midi.Add(0xB0, 30, 0);
  c->PollMidi(&midi);
  c->BeginControlLearn(0);
  EXPECT_FALSE(c->FindLearnedControl(0, channel));
  midi.Add(0xB0, 30, 127);
  c->PollMidi(&midi);
  EXPECT_TRUE(c->FindLearnedControl(0, channel));
  EXPECT_EQ(channel, 30);
}

class LiveFile : public testing::Test
{
protected:
  sparktest::TempDir Dir;
  std::u16string Name = Dir.Name("LiveRecordingData.txt");
};

TEST_F(LiveFile, SaveLoadRoundTripAndReplay)
{
  auto a = std::make_unique<SceneControls>();
  for(sInt l = 0; l < sLIVE_LINES; l += 7)
    for(sInt w = 0; w < sLIVE_WORDS; w++) a->LiveTable[l][w] = sU32((l * 31 + w * 17) % 3000);
  a->LiveTable[100][0] = 123456;   // wider than its five digits
  ASSERT_TRUE(SaveLiveRecording(a.get(), Name.c_str()));
  std::string text = ReadAll(Dir.Name8("LiveRecordingData.txt"));
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
}

TEST_F(LiveFile, DamagedFileKeepsTheLinesBeforeTheDamage)
{
  struct Case
  {
    const char *Name;
    std::string Text;
    sInt Lines;
  };
  std::string good = "live: 00001";
  for(sInt i = 0; i < 32; i++) good += ",1500";
  good += "\r\n";
  std::string shortLine = "live: 00001,0002\r\n";
  const Case cases[] = {
    {"garbage line", good + good + "hello: 1,2,3\r\n" + good, 2},
    {"short line", good + shortLine + good, 1},
    {"negative value", good + "live: -1" + good.substr(11), 1},
    {"missing comma", good + "live: 00001 0002" + good.substr(16), 1},
  };
  for(const Case &c : cases)
  {
    std::ofstream(Dir.Name8("LiveRecordingData.txt"), std::ios::binary) << c.Text;
    auto t = std::make_unique<SceneControls>();
    CapturedOutput out;
    EXPECT_EQ(LoadLiveRecording(t.get(), Name.c_str()), c.Lines) << c.Name;
    EXPECT_NE(out.Get().find("live recording: wrong format. line " + std::to_string(c.Lines + 1)), std::string::npos)
      << c.Name << out.Get();
    EXPECT_EQ(t->LiveTable[c.Lines - 1][32], 1500u) << c.Name;
    EXPECT_EQ(t->LiveTable[c.Lines][1], 0u) << c.Name;
  }

  // a longer file keeps its first lines
  std::string longText;
  for(sInt i = 0; i < sLIVE_LINES + 5; i++) longText += good;
  std::ofstream(Dir.Name8("LiveRecordingData.txt"), std::ios::binary) << longText;
  auto t = std::make_unique<SceneControls>();
  EXPECT_EQ(LoadLiveRecording(t.get(), Name.c_str()), sLIVE_LINES);

  // mutated files never stop the program and never fill a line partly
  std::mt19937 rng(17);
  std::string base = good + good + good;
  for(sInt round = 0; round < 300; round++)
  {
    std::string m = base;
    for(sInt k = 0; k < 3; k++) m[rng() % m.size()] = char(rng() % 128);
    std::ofstream(Dir.Name8("LiveRecordingData.txt"), std::ios::binary) << m;
    auto f = std::make_unique<SceneControls>();
    CapturedOutput quiet;
    sInt lines = LoadLiveRecording(f.get(), Name.c_str());
    ASSERT_LE(lines, 3);
    for(sInt w = 0; w < sLIVE_WORDS; w++) ASSERT_EQ(f->LiveTable[lines][w], 0u);
  }
}

TEST_F(LiveFile, FailedSaveLeavesTheOldRecording)
{
  auto a = std::make_unique<SceneControls>();
  a->LiveTable[0][1] = 1234;
  ASSERT_TRUE(SaveLiveRecording(a.get(), Name.c_str()));
  std::string before = ReadAll(Dir.Name8("LiveRecordingData.txt"));
  // the new file cannot be made: a folder stands in its place
  sMakeDir(Dir.Name("LiveRecordingData.txt.new").c_str());
  a->LiveTable[0][1] = 999;
  CapturedOutput quiet;
  EXPECT_FALSE(SaveLiveRecording(a.get(), Name.c_str()));
  EXPECT_EQ(ReadAll(Dir.Name8("LiveRecordingData.txt")), before);
}
