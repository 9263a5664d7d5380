// Images: pixel operations, the file formats through real files, the decoder and its
// stream, and the texture-ready data.
#include "common/check.hpp"
#include "image_test_util.hpp"

#include "graphics/dxt.hpp"
#include "platform/gpu/gpu.hpp"

#include <cmath>

using namespace imagetest;

namespace
{
uint32_t Channel(uint32_t c, int ch) { return (c >> (8 * ch)) & 0xff; }

double Psnr(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
  double sum = 0;
  for(size_t i = 0; i < a.size(); i++)
    for(int ch = 0; ch < 3; ch++)
    {
      double d = double(Channel(a[i], ch)) - double(Channel(b[i], ch));
      sum += d * d;
    }
  double mse = sum / double(a.size() * 3);
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The image loaded from a file written with these bytes.
sBool LoadBytes(sImage &img, const TempDir &dir, const char *name, const std::vector<uint8_t> &bytes)
{
  WriteRaw(dir.Name8(name), bytes);
  return img.Load(dir.Name(name).c_str());
}
}   // namespace

/****************************************************************************/
/***   Pixel operations                                                   ***/
/****************************************************************************/

TEST(ImageOps, InitKeepsDataOfTheSameSizeAndSwapRedBlueExchangesBytes)
{
  sImage img(3, 2);
  sU32 *data = img.Data;
  img.Fill(0x80112233);
  img.Init(3, 2);
  EXPECT_EQ(img.Data, data);
  img.SwapRedBlue();
  for(uint32_t c : Pixels(img)) EXPECT_EQ(c, 0x80332211u);
  img.Init(4, 4);
  EXPECT_EQ(img.SizeX, 4);
  EXPECT_EQ(img.SizeY, 4);
}

TEST(ImageOps, BlitClipsAgainstSourceThenDestination)
{
  sImage src(4, 4), dst(5, 5);
  for(int i = 0; i < 16; i++) src.Data[i] = 0xff000000 | uint32_t(i);
  dst.Fill(0);

  // a negative source start shortens the rectangle and moves the destination corner
  dst.Blit(&src, -1, -2, 0, 0, 3, 4);
  for(int y = 0; y < 5; y++)
    for(int x = 0; x < 5; x++)
    {
      uint32_t want = (x >= 1 && x < 3 && y >= 2 && y < 4) ? (0xff000000 | uint32_t((y - 2) * 4 + (x - 1))) : 0;
      EXPECT_EQ(dst.Data[y * 5 + x], want) << x << "," << y;
    }

  // past the destination's corner: only the part inside is written
  dst.Fill(0);
  dst.Blit(&src, 0, 0, 3, 3, 4, 4);
  EXPECT_EQ(dst.Data[3 * 5 + 3], src.Data[0]);
  EXPECT_EQ(dst.Data[4 * 5 + 4], src.Data[5]);
  EXPECT_EQ(dst.Data[2 * 5 + 4], 0u);

  // a negative destination start moves the source corner
  dst.Fill(0);
  dst.Blit(&src, 0, 0, -2, -1, 4, 4);
  EXPECT_EQ(dst.Data[0], src.Data[1 * 4 + 2]);
  EXPECT_EQ(dst.Data[1], src.Data[1 * 4 + 3]);
  EXPECT_EQ(dst.Data[2], 0u);

  // nothing left after clipping
  dst.Fill(7);
  dst.Blit(&src, 4, 0, 0, 0, 2, 2);
  dst.Blit(&src, 0, 0, 5, 0, 2, 2);
  dst.Blit(&src, 0, 0, 0, 0, -1, 3);
  for(uint32_t c : Pixels(dst)) EXPECT_EQ(c, 7u);
}

TEST(ImageOps, BlitWithinOneImageKeepsOverlappingSource)
{
  sImage img(4, 6);
  for(int i = 0; i < 24; i++) img.Data[i] = uint32_t(i);
  std::vector<uint32_t> before = Pixels(img);
  img.Blit(&img, 0, 0, 0, 2, 4, 4);   // rows 0..3 onto rows 2..5
  for(int y = 2; y < 6; y++)
    for(int x = 0; x < 4; x++) EXPECT_EQ(img.Data[y * 4 + x], before[(y - 2) * 4 + x]);
  for(int i = 0; i < 8; i++) EXPECT_EQ(img.Data[i], before[i]);
}

TEST(ImageOps, HalfAveragesWithRoundingAndGammaUsesRootMeanSquare)
{
  sImage img(2, 2);
  img.Data[0] = 0x00000000;
  img.Data[1] = 0x01ff0001;
  img.Data[2] = 0x02000003;
  img.Data[3] = 0xfeff00ff;
  sImage *h = img.Half(0);
  ASSERT_EQ(h->SizeX, 1);
  ASSERT_EQ(h->SizeY, 1);
  // alpha (0+1+2+254+2)>>2 = 64, red (0+255+0+255+2)>>2 = 128, blue (0+1+3+255+2)>>2 = 65
  EXPECT_EQ(h->Data[0], 0x40800041u);
  sDELETE(h);

  h = img.Half(1);
  // red sqrt(255 * 255 / 2) = 180.3, blue sqrt((1 + 9 + 255 * 255) / 4) = 127.5 -> 128
  EXPECT_EQ(h->Data[0], 0x40b40080u);
  sDELETE(h);
  // black and white stay black and white
  img.Fill(0xff000000);
  img.Data[1] = 0xffffffff;
  img.Data[0] = 0x00ffffff;
  h = img.Half(1);
  EXPECT_EQ(h->Data[0] & 0x00ffffff, uint32_t(std::sqrt(255.0 * 255.0 / 2) + 0.5) * 0x010101u);
  sDELETE(h);
  sImage black(4, 4), white(4, 4);
  black.Fill(0xff000000);
  white.Fill(0xffffffff);
  h = black.Half(1);
  EXPECT_EQ(h->Data[0], 0xff000000u);
  sDELETE(h);
  h = white.Half(1);
  EXPECT_EQ(h->Data[3], 0xffffffffu);
  sDELETE(h);

  // odd sizes drop the last row and column
  sImage odd(5, 3);
  FillPattern(odd, 3);
  h = odd.Half(0);
  EXPECT_EQ(h->SizeX, 2);
  EXPECT_EQ(h->SizeY, 1);
  sDELETE(h);
}

TEST(ImageOpsDeathTest, HalfOfOneWideOrOneHighImageIsFatal)
{
  sImage wide(1, 4), high(4, 1);
  EXPECT_EXIT(sDelete(wide.Half(0)), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sDelete(high.Half(0)), testing::ExitedWithCode(1), kCheckFailed);
}

TEST(ImageOps, BlurRowsIsTheClampedWindowAverage)
{
  sImage img(11, 3);
  FillPattern(img, 9);
  std::vector<uint32_t> src = Pixels(img);
  const int r = 3;
  img.BlurRows(r);
  for(int y = 0; y < 3; y++)
    for(int x = 0; x < 11; x++)
    {
      uint32_t want = 0;
      for(int ch = 0; ch < 4; ch++)
      {
        uint32_t sum = 0;
        for(int k = -r; k <= r; k++)
        {
          int xx = std::min(10, std::max(0, x + k));
          sum += Channel(src[y * 11 + xx], ch);
        }
        want |= (sum / (2 * r + 1)) << (8 * ch);
      }
      EXPECT_EQ(img.Data[y * 11 + x], want) << x << "," << y;
    }
}

TEST(ImageOps, BlurRunsRowsThenColumnsAndRadiusZeroChangesNothing)
{
  sImage img(7, 5);
  FillPattern(img, 4);
  std::vector<uint32_t> src = Pixels(img);
  img.Blur(0, 3);
  EXPECT_EQ(Pixels(img), src);

  sImage ref(7, 5);
  memcpy(ref.Data, src.data(), src.size() * 4);
  ref.BlurRows(2);
  ref.BlurRows(2);
  ref.Transpose();
  ref.BlurRows(2);
  ref.BlurRows(2);
  ref.Transpose();
  img.Blur(2, 2);
  EXPECT_EQ(img.SizeX, 7);
  EXPECT_EQ(img.SizeY, 5);
  EXPECT_EQ(Pixels(img), Pixels(ref));

  // a uniform picture stays uniform
  img.Fill(0x80402010);
  img.Blur(3, 1);
  for(uint32_t c : Pixels(img)) EXPECT_EQ(c, 0x80402010u);
}

TEST(ImageOps, TransposeExchangesRowsAndColumns)
{
  sImage img(3, 2);
  for(int i = 0; i < 6; i++) img.Data[i] = uint32_t(i);
  img.Transpose();
  ASSERT_EQ(img.SizeX, 2);
  ASSERT_EQ(img.SizeY, 3);
  EXPECT_EQ(Pixels(img), (std::vector<uint32_t>{0, 3, 1, 4, 2, 5}));
}

TEST(ImageOps, ScaleUpTakesTheNearestPixelEvenWithFilter)
{
  sImage src(3, 2);
  for(int i = 0; i < 6; i++) src.Data[i] = 0xff000000 | uint32_t(i * 40);
  sImage *big = src.Scaled(7, 5);
  for(int y = 0; y < 5; y++)
    for(int x = 0; x < 7; x++) EXPECT_EQ(big->Data[y * 7 + x], src.Data[(y * 2 / 5) * 3 + x * 3 / 7]);
  sDELETE(big);

  // smaller in one direction only: still nearest
  sImage mixed(2, 4);
  mixed.ScaleFrom(&src, 1);
  for(int y = 0; y < 4; y++)
    for(int x = 0; x < 2; x++) EXPECT_EQ(mixed.Data[y * 2 + x], src.Data[(y * 2 / 4) * 3 + x * 3 / 2]);
}

TEST(ImageOps, ScaleDownWithFilterAveragesTheSourceBox)
{
  sImage src(9, 7);
  FillPattern(src, 12);
  sImage *small = src.Scaled(4, 3);
  for(int y = 0; y < 3; y++)
    for(int x = 0; x < 4; x++)
    {
      int y0 = y * 7 / 3, y1 = (y + 1) * 7 / 3, x0 = x * 9 / 4, x1 = (x + 1) * 9 / 4;
      uint32_t want = 0;
      for(int ch = 0; ch < 4; ch++)
      {
        uint32_t sum = 0;
        for(int yy = y0; yy < y1; yy++)
          for(int xx = x0; xx < x1; xx++) sum += Channel(src.Data[yy * 9 + xx], ch);
        want |= (sum / uint32_t((y1 - y0) * (x1 - x0))) << (8 * ch);
      }
      EXPECT_EQ(small->Data[y * 4 + x], want);
    }
  sDELETE(small);

  // without filter the same size takes the nearest pixel
  sImage nearest(4, 3);
  nearest.ScaleFrom(&src, 0);
  EXPECT_EQ(nearest.Data[1 * 4 + 2], src.Data[(1 * 7 / 3) * 9 + 2 * 9 / 4]);
}

TEST(ImageOps, HeightToNormalOfFlatAndSlopedSurfaces)
{
  sImage height(8, 4), normal;
  height.Fill(0x5a808080);
  normal.HeightToNormal(&height, 4.0f);
  ASSERT_EQ(normal.SizeX, 8);
  ASSERT_EQ(normal.SizeY, 4);
  for(uint32_t c : Pixels(normal)) EXPECT_EQ(c, 0x5a7f7fffu);

  // height rising to the right in the red channel (only), wrapping at the edges
  for(int y = 0; y < 4; y++)
    for(int x = 0; x < 8; x++) height.Data[y * 8 + x] = 0xff000000 | uint32_t(x * 16) << 16 | 0x00ff;
  normal.HeightToNormal(&height, 1.0f);
  uint32_t inner = normal.Data[1 * 8 + 3];
  // slope 16 per pixel, Sobel weight 4 x 2 steps = 128 -> 128 / 255 against z = 1
  double nx = -128.0 / 255.0, len = std::sqrt(nx * nx + 1.0);
  EXPECT_NEAR(double(Channel(inner, 2)), (nx / len + 1.0) * 127.5, 1.0);
  EXPECT_EQ(Channel(inner, 1), 127u);
  EXPECT_NEAR(double(Channel(inner, 0)), (1.0 / len + 1.0) * 127.5, 1.0);
  // the wrap at the left edge sees the large jump and leans the other way
  EXPECT_GT(Channel(normal.Data[0], 2), 127u);
  // rows are alike: the vertical neighbours wrap too
  for(int y = 0; y < 4; y++) EXPECT_EQ(normal.Data[y * 8 + 3], inner);
}

TEST(ImageOps, GlowBrightensAroundALightAndKeepsAlpha)
{
  sImage img(9, 9);
  img.Fill(0x40000000);
  img.Data[4 * 9 + 4] = 0x40ff8000;
  img.Glow(3);
  EXPECT_EQ(img.Data[4 * 9 + 4], 0x40ff8000u);
  uint32_t near = img.Data[4 * 9 + 5], far = img.Data[4 * 9 + 6];
  EXPECT_GT(Channel(near, 2), Channel(far, 2));
  EXPECT_GT(Channel(far, 2), 0u);
  EXPECT_EQ(img.Data[4 * 9 + 7], 0x40000000u);   // distance 3 is outside
  EXPECT_EQ(img.Data[0], 0x40000000u);
  for(uint32_t c : Pixels(img)) EXPECT_EQ(c >> 24, 0x40u);
}

/****************************************************************************/
/***   File formats                                                       ***/
/****************************************************************************/

class ImageFiles : public testing::Test
{
protected:
  TempDir Dir;
};

TEST_F(ImageFiles, PicRoundTripKeepsEveryPixel)
{
  sImage img(13, 7), back;
  FillPattern(img, 1);
  ASSERT_TRUE(img.Save(Dir.Name("a.pic").c_str()));
  std::vector<uint8_t> bytes = ReadRaw(Dir.Name8("a.pic"));
  ASSERT_EQ(bytes.size(), 112u + 13 * 7 * 4);
  // header as written: magic, version 2.62, id, size, ratio 1.0 little-endian, fields 3, packets
  EXPECT_EQ((std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8)), (std::vector<uint8_t>{0x53, 0x80, 0xF6, 0x34, 0x40, 0x27, 0xAE, 0x14}));
  EXPECT_EQ(std::string(bytes.begin() + 88, bytes.begin() + 92), "PICT");
  EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + 92, bytes.begin() + 112)),
            (std::vector<uint8_t>{0, 13, 0, 7, 0, 0, 0x80, 0x3f, 0, 3, 0, 0, 1, 8, 0, 0xe0, 0, 8, 0, 0x10}));
  ASSERT_TRUE(back.Load(Dir.Name("a.pic").c_str()));
  EXPECT_EQ(back.SizeX, 13);
  EXPECT_EQ(back.SizeY, 7);
  EXPECT_EQ(Pixels(back), Pixels(img));
}

TEST_F(ImageFiles, PicRunLengthRowsWithAllRunKinds)
{
  // width 300: a literal run of 3, a short repeat of 129 (c = 255 -> 128 pixels plus one),
  // a long repeat with a 16-bit count of 128 and the rest as long repeats
  const int w = 300;
  std::vector<uint8_t> v = PicHeader(w, 2, 2, true, 2);
  for(int y = 0; y < 2; y++)
  {
    // colour: literal 3 pixels
    v.insert(v.end(), {2, 10, 20, 30, 11, 21, 31, 12, 22, 32});
    // repeat 128 (c = 255) of (1, 2, 3)
    v.insert(v.end(), {255, 1, 2, 3});
    // long repeat of exactly 128 pixels: count byte 128, 16-bit count
    v.insert(v.end(), {128, 0, 128, 4, 5, uint8_t(6 + y)});
    // long repeat of the remaining 41 pixels
    v.insert(v.end(), {128, 0, 41, 7, 8, 9});
    // alpha: repeat 300 through a long count
    v.insert(v.end(), {128, 1, 44, uint8_t(0x40 + y)});
  }
  sImage img;
  ASSERT_TRUE(img.LoadPIC(v.data(), sDInt(v.size())));
  ASSERT_EQ(img.SizeX, w);
  ASSERT_EQ(img.SizeY, 2);
  for(int y = 0; y < 2; y++)
  {
    const sU32 *row = img.Data + y * w;
    uint32_t a = uint32_t(0x40 + y) << 24;
    EXPECT_EQ(row[0], a | 0x0a141e);
    EXPECT_EQ(row[2], a | 0x0c1620);
    EXPECT_EQ(row[3], a | 0x010203);
    EXPECT_EQ(row[130], a | 0x010203);
    EXPECT_EQ(row[131], a | 0x040500 | uint32_t(6 + y));
    EXPECT_EQ(row[258], a | 0x040500 | uint32_t(6 + y));
    EXPECT_EQ(row[259], a | 0x070809);
    EXPECT_EQ(row[299], a | 0x070809);
  }
}

TEST_F(ImageFiles, PicWithoutAlphaPacketReadsOpaque)
{
  std::vector<uint8_t> raw = PicHeader(2, 2, 0, false, 0);
  raw.insert(raw.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  sImage img;
  ASSERT_TRUE(LoadBytes(img, Dir, "raw.pic", raw));
  EXPECT_EQ(Pixels(img), (std::vector<uint32_t>{0xff010203, 0xff040506, 0xff070809, 0xff0a0b0c}));

  // run-length colour only
  std::vector<uint8_t> rle = PicHeader(3, 1, 2, false, 0);
  rle.insert(rle.end(), {0x81, 9, 8, 7, 0, 1, 1, 1});
  ASSERT_TRUE(img.LoadPIC(rle.data(), sDInt(rle.size())));
  EXPECT_EQ(Pixels(img), (std::vector<uint32_t>{0xff090807, 0xff090807, 0xff010101}));
}

TEST_F(ImageFiles, PicRunsThatMissTheRowWidthAreRejected)
{
  LogCapture log;
  sImage img;
  // a repeat of 5 into a row of 4: refused before any pixel past the row is written
  std::vector<uint8_t> over = PicHeader(4, 2, 2, false, 0);
  over.insert(over.end(), {0x84, 1, 2, 3, 0x84, 1, 2, 3});
  EXPECT_FALSE(img.LoadPIC(over.data(), sDInt(over.size())));
  // a literal run of 3 into the last 2 pixels
  std::vector<uint8_t> lit = PicHeader(4, 1, 2, false, 0);
  lit.insert(lit.end(), {0x81, 1, 2, 3, 2, 1, 1, 1, 2, 2, 2, 3, 3, 3});
  EXPECT_FALSE(img.LoadPIC(lit.data(), sDInt(lit.size())));
  // a long count past the width
  std::vector<uint8_t> wide = PicHeader(4, 1, 2, false, 0);
  wide.insert(wide.end(), {128, 0, 5, 1, 2, 3});
  EXPECT_FALSE(img.LoadPIC(wide.data(), sDInt(wide.size())));
  // the alpha packet's runs are checked as well
  std::vector<uint8_t> alpha = PicHeader(2, 1, 2, true, 2);
  alpha.insert(alpha.end(), {0x81, 1, 2, 3, 0x82, 9});
  EXPECT_FALSE(img.LoadPIC(alpha.data(), sDInt(alpha.size())));
  EXPECT_TRUE(log.Has("runs do not end at the width"));
}

TEST_F(ImageFiles, PicHeaderChecks)
{
  sImage img(2, 2);
  FillPattern(img, 5);
  sDInt size = 0;
  sU8 *good = img.EncodePIC(size);
  std::vector<uint8_t> base(good, good + size);
  sMemFree(good);
  sImage back;
  ASSERT_TRUE(back.LoadPIC(base.data(), sDInt(base.size())));

  auto fails = [&](size_t offset, uint8_t value) {
    std::vector<uint8_t> v = base;
    v[offset] = value;
    return !back.LoadPIC(v.data(), sDInt(v.size()));
  };
  EXPECT_TRUE(fails(0, 0x54));      // magic
  EXPECT_TRUE(fails(89, 'X'));      // id
  EXPECT_TRUE(fails(105, 16));      // colour packet size
  EXPECT_TRUE(fails(107, 0xf0));    // colour packet channels
  EXPECT_TRUE(fails(108, 1));       // a third packet
  EXPECT_TRUE(fails(111, 0x20));    // alpha packet channels
  EXPECT_FALSE(fails(106, 1));      // any type but 2 reads as uncompressed
  // run-length colour needs a run-length alpha packet
  std::vector<uint8_t> v = PicHeader(1, 1, 2, true, 0);
  v.insert(v.end(), {0, 1, 2, 3, 0, 4});
  EXPECT_FALSE(back.LoadPIC(v.data(), sDInt(v.size())));
  // the data must end exactly at the end of the file
  std::vector<uint8_t> longer = base;
  longer.push_back(0);
  EXPECT_FALSE(back.LoadPIC(longer.data(), sDInt(longer.size())));
  for(size_t cut : {size_t(0), size_t(50), size_t(107), size_t(111), base.size() - 1})
    EXPECT_FALSE(back.LoadPIC(base.data(), sDInt(cut))) << cut;
}

TEST_F(ImageFiles, ShortFilesClaimingLargePicturesAreRefusedBeforeAllocating)
{
  // a failed read may leave the image at the new size: these must fail before that, so
  // that a few bytes cannot make the program take a gigabyte
  LogCapture log;
  sImage img(2, 2);
  std::vector<uint8_t> pic = PicHeader(16384, 16384, 2, true, 2);
  for(int row = 0; row < 4; row++) pic.insert(pic.end(), {128, 0x40, 0, 1, 2, 3, 128, 0x40, 0, 9});
  EXPECT_FALSE(img.LoadPIC(pic.data(), sDInt(pic.size())));
  EXPECT_EQ(img.SizeX, 2);
  std::vector<uint8_t> raw = PicHeader(16384, 16384, 0, false, 0);
  raw.insert(raw.end(), 16384 * 3, 7);
  EXPECT_FALSE(img.LoadPIC(raw.data(), sDInt(raw.size())));
  EXPECT_EQ(img.SizeX, 2);
  EXPECT_TRUE(log.Has("does not match its size"));
  // one run-length packet of 128 pixels per five bytes at the most
  std::vector<uint8_t> tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x40, 32, 0};
  for(int k = 0; k < 8; k++) tga.insert(tga.end(), {0xff, 1, 2, 3, 4});
  EXPECT_FALSE(img.LoadTGA(tga.data(), sDInt(tga.size())));
  EXPECT_EQ(img.SizeX, 2);
  // the bound is not tighter than the format: 8 full runs fill 32 x 32 pixels exactly
  tga[12] = 32;
  tga[13] = 0;
  tga[14] = 32;
  tga[15] = 0;
  ASSERT_TRUE(img.LoadTGA(tga.data(), sDInt(tga.size())));
  EXPECT_EQ(img.SizeX, 32);
  EXPECT_EQ(img.Data[0], 0x04030201u);
  // and a run-length PIC of a single run per packet and row still reads
  std::vector<uint8_t> small = PicHeader(300, 2, 2, true, 2);
  for(int row = 0; row < 2; row++) small.insert(small.end(), {128, 0x01, 0x2c, 1, 2, 3, 128, 0x01, 0x2c, 9});
  ASSERT_TRUE(img.LoadPIC(small.data(), sDInt(small.size())));
  EXPECT_EQ(img.Data[299], 0x09010203u);
}

TEST_F(ImageFiles, TgaRoundTripAndHeaderOfTheWriter)
{
  sImage img(5, 3), back;
  FillPattern(img, 2);
  ASSERT_TRUE(img.Save(Dir.Name("b.tga").c_str()));
  std::vector<uint8_t> bytes = ReadRaw(Dir.Name8("b.tga"));
  ASSERT_EQ(bytes.size(), 18u + 5 * 3 * 4);
  EXPECT_EQ((std::vector<uint8_t>(bytes.begin(), bytes.begin() + 18)),
            (std::vector<uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 32, 0}));
  // the first stored pixel is the bottom row's first, bytes B, G, R, A
  uint32_t c = img.Data[2 * 5];
  EXPECT_EQ(bytes[18], uint8_t(c));
  EXPECT_EQ(bytes[21], uint8_t(c >> 24));
  ASSERT_TRUE(back.Load(Dir.Name("b.tga").c_str()));
  EXPECT_EQ(Pixels(back), Pixels(img));
}

TEST_F(ImageFiles, TgaTopOriginTwentyFourBitsAndRunLength)
{
  sImage img(4, 3), back;
  FillPattern(img, 8);
  std::vector<uint8_t> top = TgaFile(img, 32, 0x28);
  ASSERT_TRUE(back.LoadTGA(top.data(), sDInt(top.size())));
  EXPECT_EQ(Pixels(back), Pixels(img));

  std::vector<uint8_t> rgb = TgaFile(img, 24, 0);
  ASSERT_TRUE(back.LoadTGA(rgb.data(), sDInt(rgb.size())));
  for(int i = 0; i < 12; i++) EXPECT_EQ(back.Data[i], img.Data[i] | 0xff000000) << i;

  // run-length, bottom-up: a repeat packet over the bottom row and into the next, then raw
  std::vector<uint8_t> rle = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 0};
  rle.insert(rle.end(), {0x83, 1, 2, 3, 4});                   // 4 pixels 0x04030201
  rle.insert(rle.end(), {0x01, 5, 6, 7, 8, 9, 10, 11, 12});   // 2 raw pixels
  ASSERT_TRUE(back.LoadTGA(rle.data(), sDInt(rle.size())));
  EXPECT_EQ(Pixels(back), (std::vector<uint32_t>{0x04030201, 0x08070605, 0x0c0b0a09, 0x04030201, 0x04030201, 0x04030201}));
  // a run past the last pixel is refused
  rle[18] = 0x84;
  EXPECT_FALSE(back.LoadTGA(rle.data(), sDInt(rle.size())));
}

TEST_F(ImageFiles, TgaUnsupportedAndShortFilesFail)
{
  sImage img(3, 3), back;
  FillPattern(img, 3);
  std::vector<uint8_t> good = TgaFile(img, 32, 0);
  LogCapture log;
  auto with = [&](size_t offset, uint8_t value) {
    std::vector<uint8_t> v = good;
    v[offset] = value;
    return back.LoadTGA(v.data(), sDInt(v.size()));
  };
  EXPECT_FALSE(with(2, 1));    // colour-mapped
  EXPECT_FALSE(with(2, 3));    // grey
  EXPECT_FALSE(with(16, 16));  // 16 bits
  EXPECT_FALSE(with(17, 0x10));  // right-to-left
  EXPECT_TRUE(log.Has("TGA picture type 1"));
  for(size_t cut : {size_t(0), size_t(17), size_t(18), good.size() - 1})
    EXPECT_FALSE(back.LoadTGA(good.data(), sDInt(cut))) << cut;
  // the size check is done in 64 bits: 65535 x 65535 x 4 does not wrap around
  std::vector<uint8_t> huge = good;
  huge[12] = huge[13] = huge[14] = huge[15] = 0xff;
  EXPECT_FALSE(back.LoadTGA(huge.data(), sDInt(huge.size())));
}

TEST_F(ImageFiles, BmpRoundTripOfWidthThreeAndTheWrittenHeader)
{
  sImage img(3, 4), back;
  FillPattern(img, 6);
  for(int i = 0; i < 12; i++) img.Data[i] |= 0xff000000;
  ASSERT_TRUE(img.Save(Dir.Name("c.bmp").c_str()));
  std::vector<uint8_t> bytes = ReadRaw(Dir.Name8("c.bmp"));
  ASSERT_EQ(bytes.size(), 1078u + 12 * 4);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[2] | bytes[3] << 8, 1078 + 48);
  EXPECT_EQ(bytes[10] | bytes[11] << 8, 1078);
  EXPECT_EQ(bytes[28], 24);
  // row padding: 9 bytes of pixels and 3 zero bytes; the first row is the bottom one
  EXPECT_EQ(bytes[1078], uint8_t(img.Data[9]));
  EXPECT_EQ(bytes[1078 + 9], 0);
  EXPECT_EQ(bytes[1078 + 11], 0);
  ASSERT_TRUE(back.Load(Dir.Name("c.bmp").c_str()));
  EXPECT_EQ(Pixels(back), Pixels(img));
}

TEST_F(ImageFiles, BmpDepthsAndTopDownRows)
{
  sImage img(5, 3), back;
  FillPattern(img, 10);
  std::vector<uint8_t> b32 = BmpFile(img, 32, false);
  ASSERT_TRUE(back.LoadBMP(b32.data(), sDInt(b32.size())));
  EXPECT_EQ(Pixels(back), Pixels(img));

  // a top-down picture reads right side up
  std::vector<uint8_t> down = BmpFile(img, 24, true);
  ASSERT_TRUE(back.LoadBMP(down.data(), sDInt(down.size())));
  ASSERT_EQ(back.SizeY, 3);
  for(int i = 0; i < 15; i++) EXPECT_EQ(back.Data[i], img.Data[i] | 0xff000000) << i;

  std::vector<uint8_t> b8 = BmpFile(img, 8, false);
  ASSERT_TRUE(back.LoadBMP(b8.data(), sDInt(b8.size())));
  for(int i = 0; i < 15; i++)
  {
    uint32_t idx = img.Data[i] & 0xff;
    EXPECT_EQ(back.Data[i], 0xff000000 | idx << 16 | (255 - idx) << 8 | idx / 2) << i;
  }
}

TEST_F(ImageFiles, BmpCorruptHeadersAndShortFilesFail)
{
  sImage img(4, 4), back;
  FillPattern(img, 11);
  std::vector<uint8_t> good = BmpFile(img, 24, false);
  LogCapture log;
  auto with = [&](size_t offset, uint8_t value) {
    std::vector<uint8_t> v = good;
    v[offset] = value;
    return back.LoadBMP(v.data(), sDInt(v.size()));
  };
  EXPECT_FALSE(with(0, 'X'));
  EXPECT_FALSE(with(18, 0));   // width 0 (4 -> 0)
  EXPECT_FALSE(with(22, 0));   // height 0
  EXPECT_FALSE(with(26, 2));   // planes
  EXPECT_FALSE(with(30, 1));   // compression
  EXPECT_FALSE(with(28, 16));  // depth
  EXPECT_TRUE(log.Has("can't load bmp with 16 bits per pixel"));
  EXPECT_FALSE(with(11, 0x40));  // pixel data offset past the end
  EXPECT_FALSE(with(21, 0x10));  // width far beyond the data
  for(size_t cut : {size_t(0), size_t(53), size_t(54), good.size() - 1})
    EXPECT_FALSE(back.LoadBMP(good.data(), sDInt(cut))) << cut;
  // an 8-bit picture needs its palette
  std::vector<uint8_t> b8 = BmpFile(img, 8, false);
  EXPECT_FALSE(back.LoadBMP(b8.data(), 1000));
}

TEST_F(ImageFiles, PngAndJpegGoThroughTheDecoderWhateverTheCaseOfTheExtension)
{
  sImage img(6, 5), back;
  FillPattern(img, 13);
  ASSERT_TRUE(LoadBytes(back, Dir, "d.PNG", EncodePng(img)));
  EXPECT_EQ(Pixels(back), Pixels(img));
  ASSERT_TRUE(LoadBytes(back, Dir, "d.png", EncodePng(img)));
  EXPECT_EQ(Pixels(back), Pixels(img));

  // a JPEG of 3 x 2 pixels: sizes and the order of red and blue
  sImage colours(3, 2);
  const uint32_t want[6] = {0xffff0000, 0xffff0000, 0xff0000ff, 0xff0000ff, 0xff00ff00, 0xff00ff00};
  for(int y = 0; y < 2; y++)
    for(int x = 0; x < 3; x++) colours.Data[y * 3 + x] = x == 2 ? 0xff00ff00 : (y == 0 ? 0xffff0000 : 0xff0000ff);
  (void)want;
  ASSERT_TRUE(LoadBytes(back, Dir, "e.jpg", EncodeJpeg(colours, 100)));
  ASSERT_EQ(back.SizeX, 3);
  ASSERT_EQ(back.SizeY, 2);
  EXPECT_GT(Channel(back.Data[0], 2), 150u);   // red top left
  EXPECT_LT(Channel(back.Data[0], 0), 100u);
  EXPECT_GT(Channel(back.Data[3], 0), 150u);   // blue bottom left
  EXPECT_LT(Channel(back.Data[3], 2), 100u);
  EXPECT_EQ(back.Data[0] >> 24, 0xffu);
}

TEST_F(ImageFiles, JpegWithAnOversizedHuffmanTableIsRefused)
{
  sImage img(8, 8), back;
  FillPattern(img, 17);
  std::vector<uint8_t> jpg = EncodeJpeg(img, 90);
  ASSERT_TRUE(back.LoadCompressed(jpg.data(), sDInt(jpg.size())));
  size_t dht = 0;
  for(size_t i = 2; i + 1 < jpg.size(); i++)
    if(jpg[i] == 0xff && jpg[i + 1] == 0xc4) { dht = i; break; }
  ASSERT_NE(dht, 0u);
  // 16 code counts of 255: far more than the 256 codes a table can hold
  for(int i = 0; i < 16; i++) jpg[dht + 5 + i] = 0xff;
  EXPECT_FALSE(back.LoadCompressed(jpg.data(), sDInt(jpg.size())));
  EXPECT_FALSE(LoadBytes(back, Dir, "bad.jpg", jpg));
  WriteRaw(Dir.Name8("bad2.jpg"), jpg);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("bad2.jpg").c_str()), nullptr);
}

TEST_F(ImageFiles, HeadersClaimingHugePicturesAreRefusedAtOnce)
{
  sImage img(2, 2), back;
  img.Fill(0xff808080);
  std::vector<uint8_t> png = EncodePng(img);
  // IHDR width and height: 16000 x 16000 from a file of some 80 bytes
  for(int k : {16, 20})
  {
    png[k] = 0;
    png[k + 1] = 0;
    png[k + 2] = 0x3e;
    png[k + 3] = 0x80;
  }
  EXPECT_FALSE(back.LoadCompressed(png.data(), sDInt(png.size())));
  std::vector<uint8_t> psd = PsdFile(img);
  psd[14] = psd[18] = 0x30;   // 0x30000002 rows and columns
  WriteRaw(Dir.Name8("huge.psd"), psd);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("huge.psd").c_str()), nullptr);
  psd[14] = psd[18] = 0;
  psd[16] = psd[20] = 0x10;   // 4098 x 4098 from 80 bytes
  WriteRaw(Dir.Name8("big.psd"), psd);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("big.psd").c_str()), nullptr);
}

TEST_F(ImageFiles, UnknownExtensionsMissingAndBrokenFilesGiveZero)
{
  sImage img(2, 2), back;
  img.Fill(0xff102030);
  EXPECT_FALSE(img.Save(Dir.Name("x.gif").c_str()));
  EXPECT_FALSE(img.Save(Dir.Name("noext").c_str()));
  WriteRaw(Dir.Name8("x.gif"), {1, 2, 3});
  EXPECT_FALSE(back.Load(Dir.Name("x.gif").c_str()));
  EXPECT_FALSE(back.Load(Dir.Name("missing.bmp").c_str()));
  EXPECT_FALSE(LoadBytes(back, Dir, "bad.png", {0x89, 'P', 'N', 'G', 1, 2, 3}));
  EXPECT_FALSE(LoadBytes(back, Dir, "empty.jpg", {}));
  EXPECT_FALSE(LoadBytes(back, Dir, "empty.pic", {}));
  // a folder that does not exist cannot be written
  EXPECT_FALSE(img.Save(Dir.Name("none/y.bmp").c_str()));
  // a picture too wide for the 16-bit sizes of PIC and TGA is not written
  sImage wide(70000, 1);
  wide.Fill(0);
  EXPECT_FALSE(wide.Save(Dir.Name("w.pic").c_str()));
  EXPECT_FALSE(wide.Save(Dir.Name("w.tga").c_str()));
}

/****************************************************************************/
/***   Decoder stream and memory                                          ***/
/****************************************************************************/

class ImageStream : public testing::Test
{
protected:
  TempDir Dir;
  sFile *Open(const std::vector<uint8_t> &bytes)
  {
    WriteRaw(Dir.Name8("s.bin"), bytes);
    return sOpenFile(Dir.Name("s.bin").c_str(), sFA_READRANDOM);
  }
};

TEST_F(ImageStream, ReadSeekAndStatFollowTheFile)
{
  sFile *f = Open({1, 2, 3, 4, 5, 6, 7});
  ASSERT_TRUE(f);
  sFileStream s(f);
  uint8_t buf[16] = {};
  sU32 got = 99;
  EXPECT_EQ(s.Read(buf, 3, &got), sSTREAM_OK);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(buf[2], 3);
  sU64 pos = 0;
  EXPECT_EQ(s.Seek(1, 1, &pos), sSTREAM_OK);
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(s.Read(buf, 10, &got), sSTREAM_OK);   // only what is left
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(buf[0], 5);
  EXPECT_EQ(s.Seek(-2, 2, &pos), sSTREAM_OK);
  EXPECT_EQ(pos, 5u);
  EXPECT_EQ(s.Seek(0, 2, &pos), sSTREAM_OK);
  EXPECT_EQ(pos, 7u);
  got = 99;
  EXPECT_EQ(s.Read(buf, 4, &got), sSTREAM_OK);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(s.Read(nullptr, 4, &got), sSTREAM_INVALIDPOINTER);
  EXPECT_EQ(s.Seek(0, 3, &pos), sSTREAM_INVALIDFUNCTION);
  // past the end stays at the end; before the start is refused and moves nothing
  EXPECT_EQ(s.Seek(100, 1, &pos), sSTREAM_OK);
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(s.Read(buf, 4, &got), sSTREAM_OK);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(s.Seek(-1, 0, &pos), sSTREAM_INVALIDFUNCTION);
  EXPECT_EQ(f->GetOffset(), 7);
  EXPECT_EQ(s.Seek(2, 0, nullptr), sSTREAM_OK);
  EXPECT_EQ(f->GetOffset(), 2);
  EXPECT_EQ(s.Commit(0), sSTREAM_OK);

  sStreamStat st;
  memset(&st, 0xcc, sizeof(st));
  EXPECT_EQ(s.Stat(&st, 1), sSTREAM_OK);
  EXPECT_EQ(st.Type, 2u);
  EXPECT_EQ(st.Size, 7u);
  EXPECT_EQ(st.Name, nullptr);
  EXPECT_EQ(st.Mode, 0u);

  void *out = nullptr;
  const sStreamGuid stream = {0x0000000C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  const sStreamGuid other = {0x0000000D, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_EQ(s.QueryInterface(stream, &out), sSTREAM_OK);
  EXPECT_EQ(out, &s);
  EXPECT_EQ(s.RefCount, 2u);
  EXPECT_EQ(s.QueryInterface(other, &out), sSTREAM_NOINTERFACE);
  EXPECT_EQ(s.QueryInterface(stream, nullptr), sSTREAM_INVALIDARG);
  EXPECT_EQ(s.AddRef(), 3u);
  EXPECT_EQ(s.Release(), 2u);
  EXPECT_EQ(s.Release(), 1u);
  sDELETE(f);
}

TEST_F(ImageStream, WritingStatWithNameAndLastReleaseAreFatal)
{
  sFile *f = Open({1, 2, 3});
  ASSERT_TRUE(f);
  sFileStream s(f);
  sStreamStat st;
  EXPECT_EXIT(s.Stat(&st, 0), testing::ExitedWithCode(1), "flags");
  EXPECT_EXIT(s.Release(), testing::ExitedWithCode(1), "RefCount>1|RefCount > 1");
  EXPECT_EXIT(s.Write("x", 1, nullptr), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(s.SetSize(0), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(s.Clone(nullptr), testing::ExitedWithCode(1), "assertion");
  sDELETE(f);
}

TEST_F(ImageStream, DecodesEveryKnownFormatAndReportsTheOthers)
{
  sImage img(7, 4);
  FillPattern(img, 21);
  for(int i = 0; i < 28; i++) img.Data[i] |= 0xff000000;
  struct Case { const char *name; std::vector<uint8_t> bytes; };
  sDInt size = 0;
  sU8 *tga = img.EncodeTGA(size);
  std::vector<uint8_t> tgaBytes(tga, tga + size);
  sMemFree(tga);
  sU8 *bmp = img.EncodeBMP(size);
  std::vector<uint8_t> bmpBytes(bmp, bmp + size);
  sMemFree(bmp);
  std::vector<Case> cases = {{"p.png", EncodePng(img)}, {"b.bmp", BmpFile(img, 24, false)}, {"t.bmp", BmpFile(img, 24, true)},
                             {"g.tga", tgaBytes}, {"own.bmp", bmpBytes}, {"own32.bmp", BmpFile(img, 32, true)}, {"l.psd", PsdFile(img)}};
  for(const Case &c : cases)
  {
    WriteRaw(Dir.Name8(c.name), c.bytes);
    sImage *back = sLoadImageGdiPlus(Dir.Name(c.name).c_str());
    ASSERT_TRUE(back) << c.name;
    EXPECT_EQ(Pixels(*back), Pixels(img)) << c.name;
    sDELETE(back);
  }
  // a TIFF header is not decodable: null and a log line, no crash
  LogCapture log;
  WriteRaw(Dir.Name8("x.tif"), {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("x.tif").c_str()), nullptr);
  EXPECT_TRUE(log.Has("can't decode image"));
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("nothing.png").c_str()), nullptr);
}

TEST(ImageMemory, ReallocKeepsSmallerSizesAndCopiesOnGrowth)
{
  sU8 *p = static_cast<sU8 *>(sImageRealloc(nullptr, 32, 0));
  ASSERT_TRUE(p);
  for(int i = 0; i < 32; i++) p[i] = uint8_t(i);
  EXPECT_EQ(sImageRealloc(p, 16, 32), p);
  EXPECT_EQ(sImageRealloc(p, 32, 32), p);
  sU8 *q = static_cast<sU8 *>(sImageRealloc(p, 100, 32));
  ASSERT_TRUE(q);
  EXPECT_EQ(uintptr_t(q) % 16, 0u);
  for(int i = 0; i < 32; i++) EXPECT_EQ(q[i], i);
  EXPECT_EQ(sImageRealloc(q, 0, 100), nullptr);
  sImageFree(nullptr);
}

/****************************************************************************/
/***   Texture-ready data                                                 ***/
/****************************************************************************/

TEST(ImageData, MipChainsStopAtOneBlockAndRoundToWholeBlocks)
{
  sS64 before = sGetImageDataBytes();
  {
    sImageData d;
    EXPECT_EQ(d.SizeZ, 1);
    EXPECT_EQ(d.Mode, 1);
    d.Init(0x1000 | 1, 0, 256, 256);
    EXPECT_EQ(d.Mipmaps, 9);
    sDInt want = 0;
    for(int i = 0; i < 9; i++) want += sDInt(256 >> i) * (256 >> i) * 4;
    EXPECT_EQ(d.DataSize, want);
    EXPECT_EQ(d.BitsPerPixel, 32);
    EXPECT_EQ(sGetImageDataBytes() - before, want);

    d.Init(0x1000 | 13, 0, 256, 256);
    EXPECT_EQ(d.Mipmaps, 7);   // down to 4 x 4

    // 12 x 20 DXT5: 3 x 5 blocks, then 6 x 10 as 2 x 3 blocks; 3 x 5 is less than a block
    d.Init(0x1000 | 16, 0, 12, 20);
    EXPECT_EQ(d.Mipmaps, 2);
    EXPECT_EQ(d.DataSize, (15 + 6) * 16);
    EXPECT_EQ(d.LevelData(1) - d.Data, 15 * 16);
    EXPECT_EQ(sGetImageDataBytes() - before, (15 + 6) * 16);

    d.Init(0x1000 | 0x400 | 1, 0, 64, 32);
    EXPECT_EQ(d.Mipmaps, 1);
    d.Init(0x1000 | 1, 3, 64, 32);
    EXPECT_EQ(d.Mipmaps, 3);
    d.Init(0x1000 | 1, 0, 8, 2);   // 8 x 2, 4 x 1
    EXPECT_EQ(d.Mipmaps, 2);

    // cube: the chain rounded to 4 bytes, six faces
    d.Init(0x2000 | 11, 0, 2, 2);   // 4 + 1 bytes -> 8
    EXPECT_EQ(d.FaceSize, 8);
    EXPECT_EQ(d.DataSize, 48);
    // volume: z halves as well
    d.Init(0x3000 | 1, 0, 4, 4, 4);
    EXPECT_EQ(d.Mipmaps, 3);
    EXPECT_EQ(d.DataSize, (64 + 8 + 1) * 4);
    EXPECT_EQ(d.SizeZ, 4);

    // palette formats carry a palette
    d.Init(0x1000 | 18, 1, 4, 4);
    EXPECT_EQ(d.PaletteCount, 256);
    EXPECT_TRUE(d.Palette);
    d.Init(0x1000 | 17, 1, 4, 4);
    EXPECT_EQ(d.PaletteCount, 16);
    EXPECT_EQ(d.DataSize, 8);
    d.Init(0x1000 | 1, 1, 4, 4);
    EXPECT_EQ(d.PaletteCount, 0);
    EXPECT_FALSE(d.Palette);
  }
  EXPECT_EQ(sGetImageDataBytes(), before);
  EXPECT_EQ(sTextureLevelBytes(13, 5, 3), 2 * 8);
  EXPECT_EQ(sTextureLevelBytes(16, 1, 1), 16);
  EXPECT_EQ(sTextureLevelBytes(23, 3, 1), 2);
}

TEST(ImageDataDeathTest, BadFormatsAndEmptyChainsAreFatal)
{
  sImageData d;
  EXPECT_EXIT(d.Init(1, 0, 4, 4), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(d.Init(0x1000 | 3, 0, 4, 4), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(d.Init(0x4000 | 1, 0, 4, 4), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(d.Init(0x1000 | 13, 0, 2, 2), testing::ExitedWithCode(1), kCheckFailed);
  d.Init(0x1000 | 1, 0, 4, 4);
  sImage wrong(4, 2);
  EXPECT_EXIT(d.ConvertFrom(&wrong), testing::ExitedWithCode(1), "SizeY");
  sImage fine(4, 4);
  fine.Fill(0);
  d.Init(0x1000 | 33, 1, 4, 4);
  EXPECT_EXIT(d.ConvertFrom(&fine), testing::ExitedWithCode(1), "no conversion into texture format 33");
}

TEST(ImageData, ConvertFromFillsEveryLevelWithTheHalvedImage)
{
  sImage img(16, 8);
  FillPattern(img, 30);
  sImageData d;
  d.Init(0x1000 | 1, 0, 16, 8);
  ASSERT_EQ(d.Mipmaps, 4);   // 16x8, 8x4, 4x2, 2x1
  d.ConvertFrom(&img);
  EXPECT_EQ(memcmp(d.LevelData(0), img.Data, 16 * 8 * 4), 0);
  sImage *h1 = img.Half(0);
  sImage *h2 = h1->Half(0);
  sImage *h3 = h2->Half(0);
  EXPECT_EQ(memcmp(d.LevelData(1), h1->Data, 8 * 4 * 4), 0);
  EXPECT_EQ(memcmp(d.LevelData(2), h2->Data, 4 * 2 * 4), 0);
  EXPECT_EQ(memcmp(d.LevelData(3), h3->Data, 2 * 1 * 4), 0);
  sDELETE(h1);
  sDELETE(h2);
  sDELETE(h3);
}

TEST(ImageData, PixelFormatConversions)
{
  sImage img(2, 1);
  img.Data[0] = 0x80ff4010;
  img.Data[1] = 0x7f00c0ff;
  sImageData d;
  auto convert = [&](int code) {
    d.Init(0x1000 | code, 1, 2, 1);
    d.ConvertFrom(&img);
    return std::vector<uint8_t>(d.Data, d.Data + d.DataSize);
  };
  EXPECT_EQ(convert(2), (std::vector<uint8_t>{0x7f, 0xc0, 0x90, 0x00, 0x80, 0x40, 0x7f, 0xff}));
  // R5G6B5: 11111 010000 00010
  EXPECT_EQ(convert(28), (std::vector<uint8_t>{0x02, 0xfa, 0x1f, 0x06}));
  // A1R5G5B5: 1 11111 01000 00010 and 0 00000 11000 11111
  EXPECT_EQ(convert(27), (std::vector<uint8_t>{0x02, 0xfd, 0x1f, 0x03}));
  // A4R4G4B4
  EXPECT_EQ(convert(31), (std::vector<uint8_t>{0x41, 0x8f, 0xcf, 0x70}));
  EXPECT_EQ(convert(11), (std::vector<uint8_t>{0x80, 0x7f}));
  std::vector<uint8_t> f = convert(7);
  ASSERT_EQ(f.size(), 32u);
  float v[8];
  memcpy(v, f.data(), 32);
  EXPECT_FLOAT_EQ(v[0], 1.0f);
  EXPECT_FLOAT_EQ(v[1], 64.0f / 255.0f);
  EXPECT_FLOAT_EQ(v[3], 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(v[6], 1.0f);
  // luminance of white and black
  img.Data[0] = 0xffffffff;
  img.Data[1] = 0xff000000;
  std::vector<uint8_t> l = convert(12);
  EXPECT_GE(l[0], 254);
  EXPECT_EQ(l[1], 0);
}

TEST(ImageData, BlockChainsOfSizesNotMultipleOfFourDecodeCloseToTheSource)
{
  // 22 x 14: level 0 has 6 x 4 blocks, level 1 (11 x 7) 3 x 2 blocks, 5 x 3 ends the chain
  sImage img(22, 14);
  for(int y = 0; y < 14; y++)
    for(int x = 0; x < 22; x++) img.Data[y * 22 + x] = 0xff000000 | uint32_t(x * 11) << 16 | uint32_t(y * 18) << 8 | 0x40;
  for(int code : {13, 16})
  {
    sImageData d;
    d.Init(0x1000 | code, 0, 22, 14);
    ASSERT_EQ(d.Mipmaps, 2);
    sDInt block = code == 13 ? 8 : 16;
    ASSERT_EQ(d.DataSize, (24 + 6) * block);
    d.ConvertFrom(&img);
    std::vector<uint32_t> out(22 * 14);
    plat::gpu::Format f = code == 13 ? plat::gpu::FMT_DXT1 : plat::gpu::FMT_DXT5;
    ASSERT_TRUE(plat::gpu::DecodeBlocks(f, d.Data, 22, 14, out.data()));
    EXPECT_GE(Psnr(out, Pixels(img)), 30.0) << code;
    for(int i = 0; i < 22 * 14; i++) EXPECT_EQ(out[i] >> 24, 0xffu);
    sImage *half = img.Half(0);
    std::vector<uint32_t> out1(11 * 7);
    ASSERT_TRUE(plat::gpu::DecodeBlocks(f, d.LevelData(1), 11, 7, out1.data()));
    EXPECT_GE(Psnr(out1, Pixels(*half)), 24.0) << code;
    sDELETE(half);
  }
}

TEST(ImageData, BlockLevelsGoThroughTheProgramsPackerWithTheModeWord)
{
  // without a device (or with the format flag 0x800000) the packer of the program runs,
  // dithering and refining three times when the mode word is set
  sImage img(12, 8);
  FillPattern(img, 40);
  for(sInt mode : {0, 1})
    for(sInt flags : {0, 0x800000})
    {
      sImageData d;
      d.Mode = mode;
      d.Init(0x1000 | flags | 16, 1, 12, 8);
      d.ConvertFrom(&img);
      std::vector<sU8> want(size_t(sDXTSize(12, 8, 16)));
      sCompressDXT(want.data(), img.Data, 12, 8, 16, mode ? 129 : 1);
      ASSERT_EQ(d.DataSize, sDInt(want.size()));
      EXPECT_EQ(memcmp(d.Data, want.data(), want.size()), 0) << mode << " " << flags;
    }
}

TEST(ImageData, OneBitAlphaAndExplicitAlphaBlocks)
{
  sImage img(8, 4);
  for(int i = 0; i < 32; i++) img.Data[i] = (i % 3 == 0 ? 0x10000000u : 0xf0000000u) | 0x00336699;
  sImageData d;
  d.Init(0x1000 | 14, 1, 8, 4);
  d.ConvertFrom(&img);
  std::vector<uint32_t> out(32);
  ASSERT_TRUE(plat::gpu::DecodeBlocks(plat::gpu::FMT_DXT1, d.Data, 8, 4, out.data()));
  for(int i = 0; i < 32; i++) EXPECT_EQ(out[i] >> 24, i % 3 == 0 ? 0u : 255u) << i;
  d.Init(0x1000 | 15, 1, 8, 4);
  d.ConvertFrom(&img);
  ASSERT_TRUE(plat::gpu::DecodeBlocks(plat::gpu::FMT_DXT3, d.Data, 8, 4, out.data()));
  for(int i = 0; i < 32; i++) EXPECT_NEAR(int(out[i] >> 24), i % 3 == 0 ? 0x10 : 0xf0, 9) << i;
}
