// The audio analyser: its FFT against the plain sum, block bookkeeping over the history
// ring, and the two channels' spectra.
#include "show/audiosync.hpp"
#include "common/check.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

namespace
{
sF32 Magnitude(const sF32 *spectrum, sInt bin)
{
  return std::hypot(spectrum[bin * 2], spectrum[bin * 2 + 1]);
}

sInt PeakBin(const sF32 *spectrum, sInt bins)
{
  sInt best = 1;
  for(sInt k = 1; k < bins; k++)
    if(Magnitude(spectrum, k) > Magnitude(spectrum, best))
      best = k;
  return best;
}
}

TEST(AudioSyncFft, MatchesTheDiscreteSum)
{
  for(sInt count : {1, 2, 8, 64, 1024})
  {
    std::vector<sF32> data(size_t(count) * 2);
    sU32 seed = 7;
    for(sF32 &v : data)
      v = sF32((seed = seed * 1103515245u + 12345u) >> 16 & 0x7fff) / 16384.0f - 1.0f;
    std::vector<sF32> in = data;
    sFFT(data.data(), count, 0);
    for(sInt k = 0; k < count; k += count > 8 ? 37 : 1)
    {
      std::complex<double> sum = 0;
      for(sInt n = 0; n < count; n++)
        sum += std::complex<double>(in[n * 2], in[n * 2 + 1]) * std::polar(1.0, 2.0 * M_PI * k * n / count);
      // only magnitudes are used: either sign of the exponent is right
      EXPECT_NEAR(std::abs(sum), std::hypot(data[k * 2], data[k * 2 + 1]), 1e-3 * count) << count << " bin " << k;
    }
  }
}

TEST(AudioSyncFftDeathTest, CountMustBeAPowerOfTwo)
{
  std::vector<sF32> data(6, 0.0f);
  EXPECT_DEATH(sFFT(data.data(), 3, 0), kCheckFailed);
}

TEST(AudioSync, BlocksAreAnalysedAsTheyCompleteAndTheHistoryWraps)
{
  sAudioSync a;
  a.Configure(1, 256, 512, 4096);
  std::vector<sS16> frames(256 * 2, 1000);
  a.Feed(frames.data(), 100);
  EXPECT_EQ(a.CurrentBlock, 0) << "no block is complete yet";
  a.Feed(frames.data() + 200, 156);
  EXPECT_EQ(a.CurrentBlock, 1);
  EXPECT_EQ(a.Written, 256);
  EXPECT_GT(Magnitude(a.GetSpectrumA(0), 0), 0.0f) << "the block's frames end the first transform";
  for(sInt i = 1; i < 512; i++)
    a.Feed(frames.data(), 256);
  EXPECT_EQ(a.CurrentBlock, 0);
  EXPECT_EQ(a.Written, 0);
  EXPECT_EQ(a.SampleProcess, 0);

  a.Configure(0, 256, 512, 4096);
  a.Feed(frames.data(), 256);
  EXPECT_EQ(a.CurrentBlock, 0) << "switched off: feeding does nothing";
}

TEST(AudioSync, LeftAndRightChannelsHaveTheirOwnSpectra)
{
  sAudioSync a;
  a.Configure(1, 256, 512, 4096);
  std::vector<sS16> frames(4096 * 2);
  for(sInt i = 0; i < 4096; i++)
  {
    frames[i * 2] = sS16(20000.0 * std::sin(2.0 * M_PI * 1000.0 * i / 44100.0));
    frames[i * 2 + 1] = sS16(20000.0 * std::sin(2.0 * M_PI * 3000.0 * i / 44100.0));
  }
  a.Feed(frames.data(), 4096);
  const sInt slot = a.CurrentBlock - 1;
  const sInt left = PeakBin(a.GetSpectrumA(slot), 2048);
  const sInt right = PeakBin(a.GetSpectrumB(slot), 2048);
  EXPECT_TRUE(left == 92 || left == 93) << left;
  EXPECT_TRUE(right == 278 || right == 279) << right;
  EXPECT_LT(Magnitude(a.GetSpectrumA(slot), right), Magnitude(a.GetSpectrumA(slot), left) * 1e-3f);
  EXPECT_LT(Magnitude(a.GetSpectrumB(slot), left), Magnitude(a.GetSpectrumB(slot), right) * 1e-3f);
}
