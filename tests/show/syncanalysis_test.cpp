// The SYNC machine's analysis: the tempo scan, the automatic gain, the beat values, and
// the whole road from a sound file (onsets on the beat) through SDL's disk capture driver.
#include "base/numbers.hpp"
#include "show/sync.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"

#include <gtest/gtest.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int Rate = 44100;

// Stereo frames: a kick (falling sine) on every beat from 0.5 s for the given time, a
// noise snare on every second beat, then an optional stretch of clipping.
std::vector<sS16> Drums(double bpm, double seconds, std::vector<double> &beats, double loud = 0)
{
  const size_t drums = size_t(seconds * Rate), frames = size_t((seconds + loud) * Rate);
  std::vector<float> mix(frames, 0.0f);
  sU32 noise = 1;
  for(double t = 0.5; t + 0.4 < seconds; t += 60.0 / bpm)
  {
    beats.push_back(t);
    const size_t at = size_t(t * Rate);
    double phase = 0.0;
    for(size_t i = 0; i < size_t(0.35 * Rate); i++)
    {
      const double s = double(i) / Rate;
      phase += 2.0 * M_PI * (50.0 + 90.0 * std::exp(-s / 0.03)) / Rate;
      mix[at + i] += float(0.8 * std::exp(-s / 0.12) * std::sin(phase));
      if(beats.size() % 2 == 0 && s < 0.2)
        mix[at + i] += float(0.4 * std::exp(-s / 0.06)) * (float((noise = noise * 1103515245u + 12345u) >> 16) / 32768.0f - 1.0f);
    }
  }
  for(size_t i = drums; i < drums + size_t(loud * Rate); i++)
    mix[i] = (i / 50) % 2 ? 1.0f : -1.0f;
  std::vector<sS16> out(frames * 2);
  for(size_t i = 0; i < frames; i++)
    out[i * 2] = out[i * 2 + 1] = sS16(std::fmax(-1.0f, std::fmin(1.0f, mix[i])) * 32767.0f);
  return out;
}

// Onsets of a list by absolute analyser block, turned into times of the hits.
void Collect(const SyncMachine &m, std::map<sInt, int> &found, const SyncOnsetList SyncMachine::*list = &SyncMachine::Bass)
{
  const SyncOnsetList &l = m.*list;
  for(sInt i = 0; i < l.Count; i++)
    found[m.AnalysedBlocks - 1 - l.Records[i][0]]++;
}
std::vector<double> Times(const std::map<sInt, int> &found)
{
  std::vector<double> t;
  for(const auto &f : found)
  {
    const double at = (double(f.first + 1) * 256.0 - double(SYNC_ONSETDELAY)) / Rate;
    if(t.empty() || at - t.back() > 0.03)
      t.push_back(at);
  }
  return t;
}

// Every beat has an onset within 30 ms and every onset inside the drums a beat.
void ExpectOnBeats(const std::vector<double> &onsets, const std::vector<double> &beats, double until)
{
  auto near = [](const std::vector<double> &set, double t) {
    for(double s : set)
      if(std::fabs(s - t) <= 0.03)
        return true;
    return false;
  };
  for(double b : beats)
    EXPECT_TRUE(near(onsets, b)) << "no onset at the beat " << b;
  for(double o : onsets)
    EXPECT_TRUE(o < 0.1 || o > until || near(beats, o)) << "onset " << o << " is off the beat";
}

void Feed(SyncMachine &m, const std::vector<sS16> &frames)
{
  long long fed = 0, clock = 0;
  for(size_t at = 0; at < frames.size() / 2; at += 1024)
  {
    const sInt n = sInt(std::min<size_t>(1024, frames.size() / 2 - at));
    m.Receiver.OnSamples(frames.data() + at * 2, n);
    fed += n;
    m.Update(sInt(fed * 1000 / Rate - clock));
    clock = fed * 1000 / Rate;
  }
}

struct ScopedEnv
{
  std::string Name;
  ScopedEnv(const char *name, const char *value) : Name(name) { setenv(name, value, 1); }
  ~ScopedEnv() { unsetenv(Name.c_str()); }
};
}

TEST(SyncAnalysis, TheKicksTempoWinsTheScan)
{
  SyncMachine m(126.0f);
  std::vector<double> beats;
  Feed(m, Drums(120.0, 8.0, beats));
  EXPECT_EQ(m.BestBassCandidate, 10.0f) << "120 BPM";
  EXPECT_LT(m.BassScores[10], 6.0f);
  EXPECT_EQ(m.Tempo, 126.0f) << "the scan does not set the tempo";
}

TEST(SyncAnalysis, SilenceRaisesTheGainClippingLowersIt)
{
  SyncMachine m(120.0f);
  SceneRequest g = {};
  g.LatencyMs = 250.0f;   // half a beat at 120 BPM: a quarter of a half bar early
  m.GuiRecord = &g;
  Feed(m, std::vector<sS16>(size_t(Rate) * 2 * 3, 0));
  EXPECT_FLOAT_EQ(m.PhaseOffset, -0.25f);
  EXPECT_EQ(m.Bass.Count + m.Snare.Count, 0);
  EXPECT_TRUE(m.BestBassScore == 60.0f && m.BestBassCandidate == -1.0f) << "no tempo without onsets";
  EXPECT_EQ(m.PeakLevel, 0.0f);
  EXPECT_GT(m.InputGain, 0.75f);
  for(sInt i = 0; i < 2000; i++)
    m.Update(10);
  EXPECT_EQ(m.InputGain, 1.0f) << "held at its upper bound";

  std::vector<double> none;
  const std::vector<sS16> loud = Drums(120.0, 0.0, none, 3.0);
  Feed(m, loud);   // the capture road below checks the clipping and the gain it lowers
  EXPECT_GT(m.ClipShort, 0.9f);
  EXPECT_TRUE(g.PeakLevel == m.PeakLevel && g.ClipFraction == m.ClipLong && g.InputGain == m.InputGain);
  for(sInt i = 0; i < 2000; i++)   // the ring keeps showing the clipped stretch
    m.Update(10);
  EXPECT_EQ(m.InputGain, 0.0f) << "held at its lower bound";
}

// Below the top of the peak hold the gain rises every eleventh frame: by 0.005 under a
// hold of 0.88, by 0.002 up to 0.94, not at all above
TEST(SyncAnalysis, TheGainRisesByTheStepOfThePeakHoldsBand)
{
  struct Case
  {
    sF32 Level, Step;
  } cases[] = {{0.3f, 0.005f}, {0.86f, 0.005f}, {0.9f, 0.002f}, {0.93f, 0.002f}, {0.96f, 0.0f}};
  for(const Case &c : cases)
  {
    SyncMachine m(120.0f);
    // a square wave: its peak is the level in every block
    std::vector<sS16> tone(size_t(Rate) * 2);
    for(size_t i = 0; i < tone.size(); i++) tone[i] = sS16((i / 100 % 2 ? 32767.0f : -32767.0f) * c.Level);
    Feed(m, tone);
    ASSERT_EQ(m.ClipShort, 0.0f);
    m.InputGain = 0.5f;
    for(sInt i = 0; i < 11; i++)   // the ring keeps the tone's level
      m.Update(10);
    EXPECT_NEAR(m.InputGain - 0.5f, c.Step, 1e-6f) << "level " << c.Level << ", peak hold " << m.PeakHold;
  }
}

// The stand-in music's snares are what a club track's are to the analysis: heard where the
// beat file beside the music says they start.
TEST(SyncAnalysis, TheStandInMusicsSnaresAreHeard)
{
  std::ifstream file(SHOW_DATA_ROOT "/Tarnglow_beats.txt");
  std::vector<double> snares;
  for(std::string line; std::getline(file, line);)
    if(line[0] != '#' && line.find("snare") != std::string::npos)
      snares.push_back(std::stod(line.substr(line.find(' '))) / Rate);
  int channels = 0, rate = 0;
  short *pcm = nullptr;
  const int frames = stb_vorbis_decode_filename(SHOW_DATA_ROOT "/Tarnglow.ogg", &channels, &rate, &pcm);
  ASSERT_TRUE(frames > 0 && channels == 2 && rate == Rate);
  // the first two minutes: the snare's entry, the breakdown without it and its return
  const double until = 120.0;
  std::vector<double> heard;
  {
    SyncMachine m(126.0f);
    std::map<sInt, int> found;
    long long clock = 0;
    for(int at = 0; at + 1024 <= frames && at < int(until * Rate); at += 1024)
    {
      m.Receiver.OnSamples(pcm + size_t(at) * 2, 1024);
      m.ReopenTimer = 0;   // the feed is the capture: the input watchdog must not open a device beside it
      m.Update(sInt((at + 1024LL) * 1000 / Rate - clock));
      clock = (at + 1024LL) * 1000 / Rate;
      Collect(m, found, &SyncMachine::Snare);
    }
    heard = Times(found);
  }
  free(pcm);
  auto near = [](const std::vector<double> &set, double t) {
    return std::any_of(set.begin(), set.end(), [t](double s) { return std::fabs(s - t) <= 0.05; });
  };
  int played = 0, hit = 0, wrong = 0;
  for(double s : snares)
    if(s < until - 10.0)   // an onset is listed once its run has closed
      played++, hit += near(heard, s);
  for(double h : heard)
    wrong += !near(snares, h);
  ASSERT_GT(played, 60) << "snares from bar 16 on, marked in the beat file";
  EXPECT_GE(hit, played * 8 / 10) << hit << " of " << played << " snares heard within 50 ms";
  EXPECT_LE(wrong, int(heard.size()) / 10) << wrong << " of " << heard.size() << " snare onsets off the snares";
}

TEST(SyncBeatValues, FollowTheClockAndThePreset)
{
  SyncMachine m(120.0f);   // bar 2000 ms, first update at bar phase 0.5
  m.Update(0);
  struct Step { sInt Ms; sF32 BarPhase, BarBump; };
  const Step steps[] = {{0, 0.5f, 0.75f}, {500, 0.75f, 0.0f}, {500, 0.0f, 0.25f}, {500, 0.25f, 1.0f}};
  for(const Step &s : steps)
  {
    m.Update(s.Ms);
    EXPECT_NEAR(m.Results.BarPhase, s.BarPhase, 1e-4f);
    EXPECT_NEAR(m.Results.BarBump, s.BarBump, 1e-4f);
    EXPECT_EQ(m.Results.PulseA + m.Results.PulseB + m.Results.PulseC, 0.0f) << "preset low";
  }
  const sF32 held = m.Results.Follower1;
  m.Update(500);
  EXPECT_EQ(m.Results.Follower1, held) << "followers hold below preset high";
  m.OnKey('e');
  m.Update(700);
  m.Update(300);   // half-bar phase 0 again, the preset's fade is over
  EXPECT_NEAR(m.Results.PulseB, 1.0f, 1e-4f);
  m.Update(300);   // half-bar phase 0.3
  EXPECT_NEAR(m.Results.PulseB, 0.0f, 1e-3f);
  for(sInt i = 0; i < 400; i++)
    m.Update(10);
  EXPECT_EQ(m.Results.Follower1, m.Results.BarBump) << "tracking once it met its source";
  EXPECT_NEAR(m.Results.BeatPhase, std::fmod(m.PublishedClock / 500.0f, 1.0f), 1e-3f);
}

TEST(SyncOnsets, AWalkKeepsTheNewest128AndTheSnareScanCountsItsOwnList)
{
  SyncMachine m(120.0f);
  for(sInt i = 0; i < SYNC_HISTORY; i++)
    m.BassFlux[i] = i % 4 == 1 ? 20.0f : 0.0f;
  const sF32 beat = 2.646e6f / (256.0f * 120.0f);
  for(sInt k = 0; k < 16; k++)
    m.SnareOnset[SYNC_HISTORY - 20 - sInt(std::lround(k * beat))] = 20.0f;
  m.Update(0);
  EXPECT_EQ(m.Bass.Count, SYNC_ONSETS);
  EXPECT_LT(m.Bass.Records[0][0], 5) << "the newest run first";
  EXPECT_LT(m.Bass.Records[SYNC_ONSETS - 1][0], 4 * SYNC_ONSETS + 5);
  EXPECT_EQ(m.Snare.Count, 16);
  EXPECT_EQ(m.BestSnareCandidate, 10.0f);
  EXPECT_LT(m.BestSnareScore, 6.0f);
}

TEST(SyncInput, WithoutACaptureDeviceTheMachineRunsOnItsOwnClockAndRetries)
{
  ScopedEnv driver("SDL_AUDIODRIVER", "no_such_driver");
  SyncMachine m(120.0f);
  m.Init(nullptr, 1600, 1200);
  EXPECT_FALSE(m.SoundInput->IsOpen());
  for(sInt i = 0; i < 100; i++)
    m.Update(20);
  EXPECT_EQ(m.PublishedClock, 2000);
  EXPECT_NEAR(m.Results.BeatPhase, 0.0f, 1e-3f);
  m.ReopenTimer = 10001;
  m.SoundInput->LastWake = sGetTime() - 20000;   // the capture thread has slept too long
  m.Update(10);
  EXPECT_EQ(m.ReopenTimer, 0) << "the input was opened again";
  EXPECT_FALSE(m.SoundInput->IsOpen());
}

TEST(SyncInput, MusicThroughTheDiskCaptureDriverReachesTheAnalysis)
{
  // the driver reads a pipe that the test fills as the capture takes it: drums, then a
  // clipping stretch that lasts until the machine has turned the gain down, however seldom
  // a loaded machine lets the test run its frames, then silence
  sparktest::TempDir dir;
  const std::string name = dir.Name8("in.raw");
  ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
  const int fd = open(name.c_str(), O_RDWR | O_NONBLOCK);   // a writer already: the driver's open does not wait
  ASSERT_GE(fd, 0);
  std::vector<double> beats;
  std::vector<sS16> queued = Drums(120.0, 8.0, beats);
  size_t sent = 0, loud = 0;
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILEIN", name.c_str());
  ScopedEnv delay("SDL_DISKAUDIODELAY", "8");   // a 1024-frame buffer every 8 ms
  SyncMachine m(120.0f);
  // closed before the machine stops its input: the driver reads the end, not a wait
  struct End
  {
    int Fd;
    void Close()
    {
      if(Fd >= 0) close(Fd);
      Fd = -1;
    }
    ~End() { Close(); }
  } end{fd};
  m.Init(nullptr, 1600, 1200);
  ASSERT_TRUE(m.SoundInput->IsOpen());
  std::map<sInt, int> found;
  sF32 highestClip = 0.0f, peak = 0.0f, lowestGain = 1.0f;
  auto frame = [&] {
    // what is queued goes into the pipe as far as the pipe takes it
    const char *bytes = reinterpret_cast<const char *>(queued.data());
    while(end.Fd >= 0 && sent < queued.size() * 2)
    {
      const ssize_t n = write(end.Fd, bytes + sent, queued.size() * 2 - sent);
      if(n <= 0) break;
      sent += size_t(n);
    }
    m.Update(10);
    Collect(m, found);
    highestClip = std::fmax(highestClip, m.ClipLong);
    peak = std::fmax(peak, m.PeakLevel);
    lowestGain = std::fmin(lowestGain, m.InputGain);
  };
  sF32 before = -1.0f;
  const bool down = sparktest::WaitFor(
    [&] {
      if(sent == queued.size() * 2)
      {
        if(before < 0.0f) before = m.InputGain;   // the gain the drums leave
        for(sInt i = 0; i < Rate / 10; i++, loud++)
          queued.insert(queued.end(), 2, (loud / 50) % 2 ? 32767 : -32767);
      }
      frame();
      return before >= 0.0f && m.InputGain < before - 0.01f && highestClip > 0.1f;
    },
    120);
  end.Close();   // the capture goes on with silence: the peak hold decays, the gain rises
  const bool up = sparktest::WaitFor(
    [&] {
      frame();
      return m.PeakLevel == 0.0f && m.InputGain > lowestGain + 0.01f;
    },
    120);
  m.SoundInput->Stop();
  ExpectOnBeats(Times(found), beats, 7.9);
  EXPECT_GT(peak, 0.99f);
  EXPECT_TRUE(down) << "the loud stretch clips (" << highestClip << ") and turns the gain down from " << before << " ("
                    << lowestGain << ")";
  EXPECT_TRUE(up) << "the silent stretch is quiet (" << m.PeakLevel << ") and turns the gain up again (" << m.InputGain
                  << ")";
  // the published beat follows the machine's clock, not the samples
  EXPECT_NEAR(m.Results.BeatPhase, std::fmod(m.PublishedClock / 500.0f, 1.0f), 1e-3f);
}
