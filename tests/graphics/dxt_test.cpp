// DXT packing: block layouts and edge cases, and the quality of packed pictures decoded
// by the gpu layer's block decoder.
#include "graphics/dxt.hpp"
#include "image_test_util.hpp"
#include "platform/gpu/gpu.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace imagetest;

namespace
{
uint16_t Color0(const sU8 *b) { return uint16_t(b[0] | b[1] << 8); }
uint16_t Color1(const sU8 *b) { return uint16_t(b[2] | b[3] << 8); }
uint32_t Indices(const sU8 *b) { return uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24; }

std::vector<uint32_t> Decode(plat::gpu::Format f, const std::vector<sU8> &blocks, int w, int h)
{
  std::vector<uint32_t> out(size_t(w) * h);
  EXPECT_TRUE(plat::gpu::DecodeBlocks(f, blocks.data(), w, h, out.data()));
  return out;
}

// Our own decoder of colour blocks, for the alternative interpolation rule.
std::vector<uint32_t> DecodeOwn(const std::vector<sU8> &blocks, int w, int h, int mode)
{
  std::vector<uint32_t> out(size_t(w) * h);
  int bw = (w + 3) / 4;
  for(int y = 0; y < h; y++)
    for(int x = 0; x < w; x++)
    {
      const sU8 *b = blocks.data() + ((y / 4) * bw + x / 4) * 8;
      sU32 pal[4];
      sDXT::BuildPalette(pal, Color0(b), Color1(b), mode);
      int i = (y % 4) * 4 + x % 4;
      out[size_t(y) * w + x] = 0xff000000 | pal[(Indices(b) >> (2 * i)) & 3];
    }
  return out;
}

std::vector<uint32_t> Gradient(int w, int h)
{
  std::vector<uint32_t> p(size_t(w) * h);
  for(int y = 0; y < h; y++)
    for(int x = 0; x < w; x++)
      p[size_t(y) * w + x] = uint32_t(x * 255 / (w - 1)) << 24 | uint32_t(x * 255 / (w - 1)) << 16 | uint32_t(y * 255 / (h - 1)) << 8 | uint32_t((x + y) * 255 / (w + h - 2));
  return p;
}

std::vector<uint32_t> Noise(int w, int h, uint32_t seed)
{
  std::vector<uint32_t> p(size_t(w) * h);
  for(uint32_t &c : p)
  {
    seed = seed * 1103515245u + 12345u;
    c = seed ^ (seed >> 15);
  }
  return p;
}

std::vector<sU8> Pack(const std::vector<uint32_t> &px, int w, int h, int format, int mode)
{
  std::vector<sU8> out(size_t(sDXTSize(w, h, format)) + 16, 0xcd);
  sCompressDXT(out.data(), px.data(), w, h, format, mode);
  for(size_t i = out.size() - 16; i < out.size(); i++) EXPECT_EQ(out[i], 0xcd) << "written past the blocks";
  out.resize(out.size() - 16);
  return out;
}
}   // namespace

TEST(DxtBlocks, OneColourBlockDecodesToItsColour)
{
  struct Case { uint32_t Colour; bool VaryingAlpha; sU8 Indices; };
  const Case cases[] = {
    // all 16 pixels equal: every pixel takes entry 2 of the single-colour end points
    {0xff123456u, false, 0xaa}, {0xff808080u, false, 0xaa}, {0xffc0ffeeu, false, 0xaa}, {0xff0a7f33u, false, 0xaa},
    {0xff010203u, false, 0xaa}, {0xff000000u, false, 0xaa}, {0xffffffffu, false, 0xaa}, {0x40ffffffu, false, 0xaa},
    // one colour but not one alpha takes the general path: white is exact in 5:6:5, both
    // end points are white and every pixel takes entry 0
    {0xffffffffu, true, 0x00},
  };
  for(const Case &c : cases)
  {
    std::vector<uint32_t> px(16, c.Colour);
    if(c.VaryingAlpha)
      for(int i = 0; i < 16; i++) px[size_t(i)] = (c.Colour & 0xffffff) | (i % 3 ? 0xff000000u : 0x80000000u);
    std::vector<sU8> out = Pack(px, 4, 4, 16, 1);
    const sU8 *b = out.data() + 8;   // the colour part behind the alpha part
    EXPECT_EQ(b[4] & b[5] & b[6] & b[7], c.Indices) << std::hex << c.Colour;
    EXPECT_EQ(b[4] | b[5] | b[6] | b[7], c.Indices) << std::hex << c.Colour;
    std::vector<uint32_t> back = Decode(plat::gpu::FMT_DXT5, out, 4, 4);
    for(int i = 0; i < 16; i++)
    {
      for(int ch = 0; ch < 3; ch++) EXPECT_NEAR(int(Channel(back[size_t(i)], ch)), int(Channel(c.Colour, ch)), 3) << std::hex << c.Colour;
      EXPECT_EQ(back[size_t(i)] >> 24, px[size_t(i)] >> 24) << std::hex << c.Colour;
    }
  }
}

TEST(DxtBlocks, RefinementPassesNeverMakeABlockWorse)
{
  for(uint32_t seed = 1; seed < 200; seed++)
  {
    std::vector<uint32_t> blk = Noise(4, 4, seed);
    // mix in some structure: a gradient with noise of decreasing strength
    for(int i = 0; i < 16; i++)
    {
      uint32_t g = uint32_t(i * 15) * 0x010101;
      uint32_t n = blk[i] & (seed % 2 ? 0x1f1f1f : 0x030303);
      blk[i] = 0xff000000 | (g + n);
    }
    sU8 one[8], three[8];
    sDXT::PackColorBlock(one, blk.data(), 0);
    sDXT::PackColorBlock(three, blk.data(), 1);
    double e1 = Psnr(Decode(plat::gpu::FMT_DXT1, std::vector<sU8>(one, one + 8), 4, 4), blk, 3);
    double e3 = Psnr(Decode(plat::gpu::FMT_DXT1, std::vector<sU8>(three, three + 8), 4, 4), blk, 3);
    EXPECT_GE(e3 + 0.5, e1) << seed;
  }
}

struct QualityCase
{
  const char *Name;
  int Format;
  int Mode;
  bool Noise;
  double MinPsnr;
};

void PrintTo(const QualityCase &c, std::ostream *os) { *os << c.Name; }

class DxtQuality : public testing::TestWithParam<QualityCase>
{
};

TEST_P(DxtQuality, DecodedPictureStaysCloseToTheSource)
{
  const QualityCase &c = GetParam();
  const int w = 61, h = 37;   // sizes not a multiple of 4
  std::vector<uint32_t> px = c.Noise ? Noise(w, h, 5) : Gradient(w, h);
  if(c.Format == 13)
    for(uint32_t &p : px) p |= 0xff000000;
  std::vector<sU8> out = Pack(px, w, h, c.Format, c.Mode);
  std::vector<uint32_t> back;
  if(c.Mode & 0x40) back = DecodeOwn(out, w, h, c.Mode);
  else back = Decode(c.Format == 13 ? plat::gpu::FMT_DXT1 : plat::gpu::FMT_DXT5, out, w, h);
  double colour = Psnr(back, px, 3);
  EXPECT_GE(colour, c.MinPsnr) << c.Name;
  if(c.Format == 16)
  {
    std::vector<uint32_t> a(px.size()), b(px.size());
    for(size_t i = 0; i < px.size(); i++)
    {
      a[i] = px[i] >> 24;
      b[i] = back[i] >> 24;
    }
    EXPECT_GE(Psnr(b, a, 1), c.Noise ? 14.0 : 40.0);
  }
  RecordProperty("psnr", std::to_string(colour));
}

INSTANTIATE_TEST_SUITE_P(Pictures, DxtQuality,
                         testing::Values(QualityCase{"GradientDxt1", 13, 1, false, 36.0}, QualityCase{"GradientDxt1OnePass", 13, 0, false, 36.0},
                                         QualityCase{"GradientDxt1Dither", 13, 0x81, false, 33.0}, QualityCase{"GradientDxt5", 16, 1, false, 36.0},
                                         QualityCase{"GradientAltRule", 13, 0x41, false, 35.0}, QualityCase{"NoiseDxt1", 13, 1, true, 12.0},
                                         QualityCase{"NoiseDxt5", 16, 1, true, 12.0}, QualityCase{"NoiseDither", 13, 0x81, true, 11.0}),
                         [](const testing::TestParamInfo<QualityCase> &info) { return std::string(info.param.Name); });

TEST(DxtImagesDeathTest, OtherFormatsAreFatal)
{
  std::vector<uint32_t> px(16, 0);
  std::vector<sU8> out(64);
  EXPECT_EXIT(sCompressDXT(out.data(), px.data(), 4, 4, 14, 1), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(sCompressDXT(out.data(), px.data(), 4, 4, 1, 1), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(sDXTSize(4, 4, 15), testing::ExitedWithCode(1), "assertion");
}
