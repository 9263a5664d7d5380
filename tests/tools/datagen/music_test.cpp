// The music, decoded with stb_vorbis as the music player decodes it: its kicks start where
// the beat file beside it says, at 126 beats per minute.
#include "tree_env.hpp"

#include <gtest/gtest.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

TEST(DatagenMusic, KicksStartAtTheWrittenBeatTimesOf126Bpm)
{
  // the beat file: comment lines, then "beat frame" per kick
  std::vector<sU8> text = datagentest::ReadBytes("Tarnglow_beats.txt");
  std::istringstream lines(std::string(text.begin(), text.end()));
  std::vector<int> beats;
  for(std::string line; std::getline(lines, line);)
    if(line[0] != '#') beats.push_back(std::stoi(line.substr(line.find(' '))));
  ASSERT_GT(beats.size(), 200u);
  for(size_t i = 1; i < beats.size(); i++) ASSERT_EQ(beats[i] - beats[i - 1], 44100 * 60 / 126) << "beat " << i;

  std::vector<sU8> ogg = datagentest::ReadBytes("Tarnglow.ogg");
  int channels = 0, rate = 0;
  short *pcm = nullptr;
  int frames = stb_vorbis_decode_memory(ogg.data(), int(ogg.size()), &channels, &rate, &pcm);
  ASSERT_TRUE(channels == 2 && rate == 44100) << channels << " channels at " << rate;
  ASSERT_GT(frames, std::max(120 * 44100, beats.back() + 4410)) << "a few minutes of music, every beat in it";

  // low-band energy: the mono mix through two one-pole low-passes at 150 Hz, squared and
  // averaged over 5 ms around each frame; silence before the file's start
  const int lead = 4410;
  std::vector<double> sum(size_t(frames + lead) + 1, 0.0);
  const float k = 1.0f - std::exp(-6.2831853f * 150.0f / 44100.0f);
  float lp1 = 0.0f, lp2 = 0.0f;
  for(int i = 0; i < frames + lead; i++)
  {
    lp1 += k * ((i < lead ? 0.0f : (pcm[2 * (i - lead)] + pcm[2 * (i - lead) + 1]) / 65536.0f) - lp1);
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
    int from = beats[b] - 2205, peak = from, low = from;
    for(int i = from; i <= beats[b] + 2205; i++) peak = energy(i) > energy(peak) ? i : peak;
    for(int i = from; i <= peak; i++) low = energy(i) < energy(low) ? i : low;
    int onset = low;
    while(onset < peak && energy(onset) < (energy(low) + energy(peak)) * 0.5) onset++;
    if(std::abs(onset - beats[b]) > std::abs(worst)) worst = onset - beats[b], worstBeat = int(b);
  }
  EXPECT_LE(std::abs(worst), 441) << "beat " << worstBeat << " has its kick " << worst << " frames off";
}
