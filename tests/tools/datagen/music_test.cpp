// The music, decoded with stb_vorbis as the music player decodes it: its kicks are where
// the beat file beside it says, at 126 beats per minute.
#include "tree_env.hpp"

#include <gtest/gtest.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

namespace
{

// the beat file: comment lines, then "beat frame" per kick
std::vector<sInt> ReadBeatFrames()
{
  std::vector<sU8> bytes = datagentest::ReadBytes("Tarnglow_beats.txt");
  std::istringstream text(std::string(bytes.begin(), bytes.end()));
  std::vector<sInt> frames;
  std::string line;
  while(std::getline(text, line))
  {
    if(line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    sInt beat = -1, frame = -1;
    fields >> beat >> frame;
    EXPECT_EQ(beat, sInt(frames.size())) << line;
    frames.push_back(frame);
  }
  return frames;
}

}   // namespace

TEST(DatagenMusic, KicksStartAtTheWrittenBeatTimesOf126Bpm)
{
  std::vector<sInt> beats = ReadBeatFrames();
  ASSERT_GT(beats.size(), 200u);
  for(size_t i = 1; i < beats.size(); i++)
    ASSERT_EQ(beats[i] - beats[i - 1], 44100 * 60 / 126) << "beat " << i;

  std::vector<sU8> ogg = datagentest::ReadBytes("Tarnglow.ogg");
  int channels = 0, rate = 0;
  short *pcm = nullptr;
  int frames = stb_vorbis_decode_memory(ogg.data(), int(ogg.size()), &channels, &rate, &pcm);
  ASSERT_GT(frames, 0);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, 44100);
  EXPECT_GT(frames, 120 * 44100) << "a few minutes of music";
  ASSERT_GT(frames, beats.back() + 4410);

  // low-band energy: the mono mix through two one-pole low-passes at 150 Hz, squared and
  // averaged over 5 ms around each frame; silence before the file's start
  const int lead = 4410;
  std::vector<double> sum(size_t(frames + lead) + 1, 0.0);
  const float k = 1.0f - std::exp(-6.2831853f * 150.0f / 44100.0f);
  float lp1 = 0.0f, lp2 = 0.0f;
  for(int i = 0; i < frames + lead; i++)
  {
    float x = i < lead ? 0.0f : (pcm[2 * (i - lead)] + pcm[2 * (i - lead) + 1]) / 65536.0f;
    lp1 += k * (x - lp1);
    lp2 += k * (lp1 - lp2);
    sum[i + 1] = sum[i] + lp2 * lp2;
  }
  free(pcm);
  auto energy = [&](int i) { return (sum[size_t(i + lead) + 111] - sum[size_t(i + lead) - 110]) / 221.0; };

  // the onset near a beat: within 50 ms either side, the first frame after the quietest
  // point before the loudest one where the energy is halfway up from the one to the other
  int worst = 0, worstBeat = -1;
  for(size_t b = 0; b < beats.size(); b++)
  {
    int from = beats[b] - 2205, to = beats[b] + 2205;
    int peak = from, low = from;
    for(int i = from; i <= to; i++) peak = energy(i) > energy(peak) ? i : peak;
    for(int i = from; i <= peak; i++) low = energy(i) < energy(low) ? i : low;
    double half = (energy(low) + energy(peak)) * 0.5;
    int onset = low;
    while(onset < peak && energy(onset) < half) onset++;
    if(std::abs(onset - beats[b]) > std::abs(worst)) worst = onset - beats[b], worstBeat = int(b);
  }
  EXPECT_LE(std::abs(worst), 441) << "beat " << worstBeat << " has its kick " << worst << " frames off";
}
