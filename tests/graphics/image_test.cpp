// Images: blits and halving, the file formats through real files and damaged ones, and
// the texture-ready data.
#include "common/check.hpp"
#include "image_test_util.hpp"
#include "tools/datagen/picfiles.hpp"

#include "graphics/dxt.hpp"
#include "platform/gpu/gpu.hpp"

#include <cmath>
#include <cstring>

using namespace imagetest;

/****************************************************************************/
/***   Pixel operations                                                   ***/
/****************************************************************************/

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
  // alpha (0+1+2+254+2)>>2 = 64, red (0+255+0+255+2)>>2 = 128, blue (0+1+3+255+2)>>2 = 65
  EXPECT_EQ(h->Data[0], 0x40800041u);
  sDELETE(h);

  h = img.Half(1);
  // truncated roots of the biased mean square: red sqrt((2 * 255 * 255 + 512) >> 2) = 180.7,
  // blue sqrt((1 + 9 + 255 * 255 + 512) >> 2) = 128.0; green, black, stays black
  EXPECT_EQ(h->Data[0], 0x40b40080u);
  sDELETE(h);
  // a dark channel is lifted by the bias: sqrt((4 + 512) >> 2) = 11.4
  img.Data[3] = 0xfeff02ff;
  h = img.Half(1);
  EXPECT_EQ(h->Data[0], 0x40b40b80u);
  sDELETE(h);
  // white stays white
  sImage white(4, 4);
  white.Fill(0xffffffff);
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

// Scaling down with the filter, as the logo backdrop shrinks its picture: each channel is
// the mean of its own channel over the block, so a colour stays that colour
TEST(ImageOps, ScaledDownAveragesEachChannelOnItsOwn)
{
  for(sU32 c : {0xffff0000u, 0xff00ff00u, 0xff0000ffu, 0x80ffc020u})
  {
    sImage img(12, 9);
    img.Fill(c);
    sImage *s = img.Scaled(9, 6);   // three quarters, blocks of one and two pixels
    for(sInt i = 0; i < 9 * 6; i++) ASSERT_EQ(s->Data[i], c) << std::hex << c << " at " << std::dec << i;
    sDELETE(s);
  }
  // red beside blue: each half keeps its colour, both together give their mean
  sImage two(4, 2);
  for(sInt i = 0; i < 8; i++) two.Data[i] = i % 4 < 2 ? 0xffff0000u : 0x400000ffu;
  sImage *s = two.Scaled(2, 1);
  EXPECT_EQ(s->Data[0], 0xffff0000u);
  EXPECT_EQ(s->Data[1], 0x400000ffu);
  sDELETE(s);
  s = two.Scaled(1, 1);
  EXPECT_EQ(s->Data[0], 0x9f7f007fu);   // (255 + 64) / 2, 255 / 2, 0, 255 / 2
  sDELETE(s);
}

// Height maps made normal maps, as the texture sets load them: the normal leans away from
// where the height rises (rows run downwards), z in blue, alpha kept
TEST(ImageOps, HeightMapsBecomeNormalsLeaningAwayFromTheRise)
{
  const struct { const char *Name; int Dx, Dy; } rows[] = {
    {"flat", 0, 0}, {"rising right", 1, 0}, {"rising left", -1, 0}, {"rising down", 0, 1}, {"rising up", 0, -1}};
  auto side = [](uint32_t c) { return c < 127 ? -1 : c > 128 ? 1 : 0; };
  for(const auto &r : rows)
  {
    sImage height(5, 5);
    for(int y = 0; y < 5; y++)
      for(int x = 0; x < 5; x++) height.Data[y * 5 + x] = 0x80000000u | uint32_t(100 + 30 * (r.Dx * x + r.Dy * y)) << 16;
    sImage n;
    n.HeightToNormal(&height, 1.0f);
    uint32_t c = n.Data[2 * 5 + 2];
    EXPECT_EQ(side(Channel(c, 2)), -r.Dx) << r.Name;
    EXPECT_EQ(side(Channel(c, 1)), -r.Dy) << r.Name;
    EXPECT_GT(Channel(c, 0), 128u) << r.Name;
    EXPECT_EQ(c >> 24, 0x80u) << r.Name;
  }
}

TEST(ImageOpsDeathTest, HalfOfOneWideOrOneHighImageIsFatal)
{
  sImage wide(1, 4), high(4, 1);
  EXPECT_EXIT(sDelete(wide.Half(0)), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sDelete(high.Half(0)), testing::ExitedWithCode(1), kCheckFailed);
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
  // header as written: magic, version 2.62, id, size, ratio 1.0, fields 3, uncompressed packets
  std::vector<uint8_t> header = PicHeader(13, 7, 0, true, 0);
  EXPECT_TRUE(std::equal(header.begin(), header.begin() + 8, bytes.begin()));
  EXPECT_TRUE(std::equal(header.begin() + 88, header.end(), bytes.begin() + 88));
  ASSERT_TRUE(back.Load(Dir.Name("a.pic").c_str()));
  EXPECT_EQ(back.SizeX, 13);
  EXPECT_EQ(Pixels(back), Pixels(img));
}

TEST_F(ImageFiles, PicRunsThatMissTheRowWidthAreRejected)
{
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
  sImage img(2, 2);
  std::vector<uint8_t> pic = PicHeader(16384, 16384, 2, true, 2);
  for(int row = 0; row < 4; row++) pic.insert(pic.end(), {128, 0x40, 0, 1, 2, 3, 128, 0x40, 0, 9});
  EXPECT_FALSE(img.LoadPIC(pic.data(), sDInt(pic.size())));
  EXPECT_EQ(img.SizeX, 2);
  std::vector<uint8_t> raw = PicHeader(16384, 16384, 0, false, 0);
  raw.insert(raw.end(), 16384 * 3, 7);
  EXPECT_FALSE(img.LoadPIC(raw.data(), sDInt(raw.size())));
  EXPECT_EQ(img.SizeX, 2);
  // 8192 x 8192 from 4 KB is refused before the picture is made; four bytes a pixel: a
  // file one byte short of them is refused, one that holds them loads
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0x20, 32, 0};
  tga.resize(18 + 32 * 32 * 4 - 1, 7);
  EXPECT_FALSE(img.LoadTGA(tga.data(), sDInt(tga.size())));
  EXPECT_EQ(img.SizeX, 2);
  tga[12] = 32;
  tga[13] = 0;
  tga[14] = 32;
  tga[15] = 0;
  EXPECT_FALSE(img.LoadTGA(tga.data(), sDInt(tga.size())));
  EXPECT_EQ(img.SizeX, 2);
  tga.push_back(7);
  ASSERT_TRUE(img.LoadTGA(tga.data(), sDInt(tga.size())));
  EXPECT_EQ(img.SizeX, 32);
  EXPECT_EQ(img.Data[0], 0x07070707u);
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
  // uncompressed, 32 bits, the bottom row first, each pixel as B, G, R, A
  EXPECT_EQ(ReadRaw(Dir.Name8("b.tga")), TgaFile(img, 32, 0));
  ASSERT_TRUE(back.Load(Dir.Name("b.tga").c_str()));
  EXPECT_EQ(Pixels(back), Pixels(img));

  // other files: 32 bits only, in either row order, behind an ID field
  std::vector<uint8_t> named = TgaFile(img, 32, 0), footed = TgaFile(img, 24, 0);
  named[0] = 3;
  named.insert(named.begin() + 18, {'i', 'd', 0});
  // a 24-bit file with the footer of the format's second version holds 15 x 4 bytes of pixels
  static const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
  footed.insert(footed.end(), footer, footer + sizeof(footer));
  const std::vector<uint8_t> runs = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 32, 0, 0x8e, 1, 2, 3, 4};
  const struct
  {
    const char *What;
    std::vector<uint8_t> Bytes;
    bool Loads;
  } files[] = {
    {"32 bits from the top", TgaFile(img, 32, 0x20), true},
    {"32 bits behind an ID field", named, true},
    {"24 bits", TgaFile(img, 24, 0), false},
    {"24 bits with a footer", footed, false},
    {"run-length", runs, false},
  };
  for(const auto &f : files)
  {
    sImage got;
    EXPECT_EQ(got.LoadTGA(f.Bytes.data(), sDInt(f.Bytes.size())), sBool(f.Loads)) << f.What;
    if(f.Loads)
    {
      EXPECT_EQ(Pixels(got), Pixels(img)) << f.What;
    }
  }
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

TEST_F(ImageFiles, BmpCorruptHeadersAndShortFilesFail)
{
  sImage img(4, 4), back;
  FillPattern(img, 11);
  std::vector<uint8_t> good = BmpFile(img, 24, false);
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
  EXPECT_FALSE(with(11, 0x40));  // pixel data offset past the end
  EXPECT_FALSE(with(21, 0x10));  // width far beyond the data
  for(size_t cut : {size_t(0), size_t(53), size_t(54), good.size() - 1})
    EXPECT_FALSE(back.LoadBMP(good.data(), sDInt(cut))) << cut;
  // an 8-bit picture needs its palette
  std::vector<uint8_t> b8 = BmpFile(img, 8, false);
  EXPECT_FALSE(back.LoadBMP(b8.data(), 1000));
}

namespace
{
// A Huffman table of class c and slot 1: sixteen code counts of `count` each, and its values.
std::vector<uint8_t> HuffmanTable(int c, uint8_t count)
{
  std::vector<uint8_t> t = {uint8_t(c << 4 | 1)};
  t.insert(t.end(), 16, count);
  t.insert(t.end(), size_t(count) * 16, 0);
  return t;
}
}   // namespace

// The reader writes past its tables when one declares more than 256 codes: such a table
// refuses the file where the reader reads it, before the frame or between the scans of a
// progressive file, and nowhere else (camera photos carry the table's marker bytes inside
// their other segments).
TEST_F(ImageFiles, OversizedHuffmanTablesRefuseAJpegWhereTheReaderReadsThem)
{
  sImage img(8, 8), back;
  FillPattern(img, 17);
  const std::vector<uint8_t> jpg = EncodeJpeg(img, 90);
  size_t dht = 0;
  for(size_t i = 2; i + 1 < jpg.size() && !dht; i++)
    if(jpg[i] == 0xff && jpg[i + 1] == 0xc4) dht = i;
  ASSERT_NE(dht, 0u);
  std::vector<uint8_t> counted = jpg;
  for(int i = 0; i < 16; i++) counted[dht + 5 + i] = 0xff;   // 16 counts of 255
  // the oversized table as a segment of its own, and its bytes inside an APP and a comment
  const std::vector<uint8_t> table = JpegSegment(0xc4, HuffmanTable(1, 17));
  auto afterStart = [&jpg](const std::vector<uint8_t> &segment) {
    std::vector<uint8_t> v = jpg;
    v.insert(v.begin() + 2, segment.begin(), segment.end());
    return v;
  };
  std::vector<uint8_t> maker = {'M', 'a', 'k', 'e', 'r', 0};
  maker.insert(maker.end(), table.begin(), table.end());
  const struct
  {
    const char *What;
    std::vector<uint8_t> Bytes;
    int Width;   // 0: refused
  } rows[] = {
    {"written", jpg, 8},
    {"its own table's counts", counted, 0},
    {"a table segment", afterStart(table), 0},
    {"an APP segment holding the table", afterStart(JpegSegment(0xe1, maker)), 8},
    {"a comment holding the table", afterStart(JpegSegment(0xfe, table)), 8},
    {"fill bytes before the start, then the table", [&] {
       std::vector<uint8_t> v = afterStart(table);
       v.insert(v.begin(), 0xff);
       return v;
     }(), 0},
    {"progressive", ProgressiveGrey({}), 8},
    {"a table between the scans", ProgressiveGrey(table), 0},
    {"an APP segment between the scans", ProgressiveGrey(JpegSegment(0xe1, maker)), 8},
  };
  for(const auto &r : rows)
  {
    sImage probe(2, 2);
    EXPECT_EQ(probe.LoadCompressed(r.Bytes.data(), sDInt(r.Bytes.size())) ? probe.SizeX : 0, r.Width) << r.What;
    if(r.Width && !strcmp(r.What, "progressive"))
    {
      for(sInt i = 0; i < 64; i++) ASSERT_EQ(probe.Data[i], 0xff808080u) << i;
    }
    WriteRaw(Dir.Name8("row.jpg"), r.Bytes);
    sImage *got = sLoadImageGdiPlus(Dir.Name("row.jpg").c_str());
    EXPECT_EQ(got ? got->SizeX : 0, r.Width) << r.What << " through the stream";
    sDELETE(got);
  }
}

// Flat pictures deflate to far fewer bytes than they have rows: a white logo on a black 4K
// canvas and a black one of 8K load whole from a few kilobytes, through both decoders.
TEST_F(ImageFiles, FlatPicturesOfAFewKilobytesLoadWhole)
{
  for(auto [w, h] : {std::pair{3840, 2160}, {7680, 4320}})
  {
    sImage flat(w, h);
    flat.Fill(0xff000000);
    for(sInt y = h * 9 / 20; y < h * 11 / 20 && w == 3840; y++)
      for(sInt x = w / 4; x < w * 3 / 4; x++) flat.Data[y * w + x] = 0xffffffff;
    const std::vector<uint8_t> png = EncodeFlatPng(flat);
    ASSERT_LT(png.size(), size_t(w) * h / 4096) << w;
    sImage back;
    ASSERT_TRUE(back.LoadCompressed(png.data(), sDInt(png.size()))) << w << ", " << png.size() << " bytes";
    ASSERT_TRUE(back.SizeX == w && back.SizeY == h);
    EXPECT_EQ(memcmp(back.Data, flat.Data, size_t(w) * h * 4), 0) << w;
    WriteRaw(Dir.Name8("flat.png"), png);
    sImage *got = sLoadImageGdiPlus(Dir.Name("flat.png").c_str());
    ASSERT_TRUE(got && got->SizeX == w && got->SizeY == h) << w;
    EXPECT_EQ(memcmp(got->Data, flat.Data, size_t(w) * h * 4), 0) << w;
    sDELETE(got);
  }
}

// The media routines' decoder reads the common picture formats through the stream: PNG,
// the first frame of a GIF, and TIFF files of several layouts, each back to its pixels
// (an unassociated alpha keeps the colours under it).
TEST_F(ImageFiles, CommonFormatsDecodeThroughTheStream)
{
  sImage img(6, 5), clear(6, 5), other(6, 5);
  static const uint32_t colours[4] = {0xff102030, 0xffe0c0a0, 0xff00ff00, 0xff808080};
  for(int i = 0; i < 30; i++)
  {
    img.Data[i] = colours[(i * 7 / 3) % 4];
    clear.Data[i] = (img.Data[i] & 0xffffff) | (i % 3 == 0 ? 0x80000000 : 0xff000000);
    other.Data[i] = 0xff0000ff;
  }
  sImage grey(6, 5);
  for(int i = 0; i < 30; i++) grey.Data[i] = 0xff000000 | (img.Data[i] & 0xff) * 0x010101;
  // two frames: the second, with a palette of its own, follows the first
  std::vector<uint8_t> twoFrames = datagen::EncodeGif(img), second = datagen::EncodeGif(other);
  twoFrames.pop_back();
  twoFrames.insert(twoFrames.end(), second.begin() + 13 + 768, second.begin() + 13 + 768 + 10);
  twoFrames.back() = 0x87;   // a local palette of 256 colours
  twoFrames.insert(twoFrames.end(), second.begin() + 13, second.begin() + 13 + 768);
  twoFrames.insert(twoFrames.end(), second.begin() + 13 + 768 + 10, second.end());
  const struct
  {
    const char *Name;
    std::vector<uint8_t> Bytes;
    const sImage &Want;
    uint32_t Slack;
  } rows[] = {
    {"a.png", EncodePng(img), img, 0},
    {"a.gif", datagen::EncodeGif(img), img, 0},
    {"two.gif", twoFrames, img, 0},
    {"a.tif", datagen::EncodeTiff(img), img, 0},
    {"alpha.tif", datagen::EncodeTiff(clear), clear, 1},
    {"lzw.tif", LibTiff(clear, 5, true, false), clear, 1},
    {"grey.tif", LibTiff(img, 32773, false, true), grey, 0},
  };
  for(const auto &r : rows)
  {
    WriteRaw(Dir.Name8(r.Name), r.Bytes);
    sImage *got = sLoadImageGdiPlus(Dir.Name(r.Name).c_str());
    ASSERT_TRUE(got) << r.Name;
    ASSERT_TRUE(got->SizeX == 6 && got->SizeY == 5) << r.Name;
    for(int i = 0; i < 30; i++)
      for(int ch = 0; ch < 4; ch++)
        ASSERT_LE(uint32_t(std::abs(int(Channel(got->Data[i], ch)) - int(Channel(r.Want.Data[i], ch)))), r.Slack)
            << r.Name << " pixel " << i << " " << std::hex << got->Data[i];
    sDELETE(got);
  }
}

// A picture cut short on the disk while it is decoded (the operator replaces it in the
// slideshow folder): the open file still claims its old size, but reads past the cut fail.
// The decoder used to wait for an end that never came.
struct ShrinkingFile : sFile
{
  std::vector<uint8_t> Data;
  sS64 Offset = 0, Available, Cut;
  ShrinkingFile(std::vector<uint8_t> data, sS64 cut) : Data(std::move(data)), Available(sS64(Data.size())), Cut(cut) {}
  sBool Read(void *out, sDInt size) override
  {
    if(Offset + size > Available) return 0;
    memcpy(out, Data.data() + Offset, size_t(size));
    Offset += size;
    // cut once the whole file has been read, as the decoder's check of the tables does
    if(Offset == sS64(Data.size())) Available = Cut;
    return 1;
  }
  sBool SetOffset(sS64 offset) override { return Offset = offset, 1; }
  sS64 GetOffset() override { return Offset; }
  sS64 GetSize() override { return sS64(Data.size()); }
};

TEST(ImageStream, PictureCutShortWhileDecodedStillReturns)
{
  sImage img(64, 48);
  FillPattern(img, 5);
  std::vector<uint8_t> jpg = EncodeJpeg(img, 90);
  for(size_t cut : {jpg.size() / 3, jpg.size() - 40})
  {
    ShrinkingFile file(jpg, sS64(cut));
    sImage *got = sDecodeImageStream(&file);
    if(got)
    {
      EXPECT_EQ(got->SizeX, 64) << cut;
    }
    sDELETE(got);
  }
}

namespace
{
struct DecodeJob
{
  std::u16string Path;
  sImage *Got = nullptr;
};

// The media routines' decoder on a thread with the stack the show's loader threads have.
sImage *DecodeOnALoaderThread(const std::u16string &path)
{
  DecodeJob job{path};
  sThread *t = sNEW sThread([](sThread *, void *user) {
    DecodeJob *j = static_cast<DecodeJob *>(user);
    j->Got = sLoadImageGdiPlus(j->Path.c_str());
  }, 0, sIMAGE_DECODERSTACK, &job, u"decoder");
  sDELETE(t);
  return job.Got;
}
}   // namespace

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
  std::vector<uint8_t> gif = datagen::EncodeGif(img), tif = datagen::EncodeTiff(img);
  gif[6] = gif[7] = gif[8] = gif[9] = 0xff;   // 65535 x 65535 from some 800 bytes
  tif[18] = tif[30] = 0xff;
  tif[21] = tif[33] = 0x7f;   // 0x7fff00ff columns and rows
  WriteRaw(Dir.Name8("huge.gif"), gif);
  WriteRaw(Dir.Name8("huge.tif"), tif);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("huge.gif").c_str()), nullptr);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("huge.tif").c_str()), nullptr);
  gif[6] = 1, gif[8] = 0;
  gif[7] = gif[9] = 0x20;   // 8193 x 8192
  tif[18] = 1, tif[30] = 0;
  tif[19] = tif[31] = 0x20;
  tif[21] = tif[33] = 0;
  WriteRaw(Dir.Name8("big.gif"), gif);
  WriteRaw(Dir.Name8("big.tif"), tif);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("big.gif").c_str()), nullptr);
  EXPECT_EQ(sLoadImageGdiPlus(Dir.Name("big.tif").c_str()), nullptr);

  // the largest sizes each header can state: refused, and without a product of them
  // overflowing on the way (the sanitizer build stops at one)
  auto set = [](std::vector<uint8_t> v, size_t at, std::vector<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), v.begin() + std::ptrdiff_t(at));
    return v;
  };
  const std::vector<uint8_t> max32le = {0xff, 0xff, 0xff, 0x7f}, min32le = {0x01, 0x00, 0x00, 0x80};
  const std::vector<uint8_t> bmp24 = BmpFile(img, 24, false), bmp32 = BmpFile(img, 32, false), bmp8 = BmpFile(img, 8, false);
  std::vector<uint8_t> tga = TgaFile(img, 32, 0);
  std::vector<uint8_t> jpg = EncodeJpeg(img, 90);
  size_t sof = 0;
  for(size_t i = 2; i + 1 < jpg.size() && !sof; i++)
    if(jpg[i] == 0xff && jpg[i + 1] == 0xc0) sof = i;
  ASSERT_NE(sof, 0u);
  std::vector<uint8_t> pic = PicHeader(0xffff, 0xffff, 0, false, 0);
  pic.resize(pic.size() + 64, 7);
  std::vector<uint8_t> picRuns = PicHeader(0xffff, 0xffff, 2, true, 2);
  picRuns.resize(picRuns.size() + 64, 0x80);
  // an LZW chain of codes each made of the one before: its last code is 4,090 deep
  std::vector<int> chain = {4, 0};
  for(int c = 6; c < 4096; c++) chain.push_back(c);
  chain.push_back(5);
  // a camera's photo, simple enough to encode quickly
  sImage photo(6000, 4000);
  for(sInt i = 0; i < 6000 * 4000; i++) photo.Data[i] = 0xff000000u | sU32(i % 6000 / 24) << 16 | sU32(i / 6000 / 16) << 8;
  using Reader = sBool (sImage::*)(const sU8 *, sDInt);
  // rows without a reader go through the media routines' decoder on a loader's thread
  const struct
  {
    const char *What;
    Reader Load;
    std::vector<uint8_t> Bytes;
    sInt Width = 0;      // of a picture that loads
    int Refusals = 1;    // lines refusing its size
  } huge[] = {
    {"bmp 24 bits", &sImage::LoadBMP, set(set(bmp24, 18, max32le), 22, max32le)},
    {"bmp 32 bits", &sImage::LoadBMP, set(set(bmp32, 18, max32le), 22, max32le)},
    {"bmp 8 bits", &sImage::LoadBMP, set(set(bmp8, 18, max32le), 22, max32le)},
    {"bmp top down", &sImage::LoadBMP, set(set(bmp24, 18, max32le), 22, min32le)},
    {"bmp wide", &sImage::LoadBMP, set(bmp32, 18, max32le)},
    {"bmp high", &sImage::LoadBMP, set(bmp32, 22, max32le)},
    {"tga", &sImage::LoadTGA, set(tga, 12, {0xff, 0xff, 0xff, 0xff})},
    {"tga runs", &sImage::LoadTGA, set(set(tga, 2, {10}), 12, {0xff, 0xff, 0xff, 0xff})},
    {"pic", &sImage::LoadPIC, pic},
    {"pic runs", &sImage::LoadPIC, picRuns},
    // these two the library's own bound refuses first
    {"png", &sImage::LoadCompressed, set(EncodePng(img), 16, {0x7f, 0xff, 0xff, 0xff, 0x7f, 0xff, 0xff, 0xff}), 0, 0},
    {"jpeg", &sImage::LoadCompressed, set(jpg, sof + 5, {0xff, 0xff, 0xff, 0xff}), 0, 0},
    {"tga 16385 wide", &sImage::LoadTGA, set(tga, 12, {0x01, 0x40, 0x10, 0x00})},
    // headers alone of the largest photos: their size passes, the missing pixels refuse them
    {"tga header of 9504 x 6336", &sImage::LoadTGA, set(tga, 12, {0x20, 0x25, 0xc0, 0x18}), 0, 0},
    {"tga header of 16384 x 4096", &sImage::LoadTGA, set(tga, 12, {0x00, 0x40, 0x00, 0x10}), 0, 0},
    // small files that decode to gigabytes: a GIF's screen, a deflated TIFF
    {"gif of a 16384 x 16384 screen", nullptr, HandGif(16384, 16384, 1, 1, {4, 0, 5}, 70000)},
    {"deflated tiff of 16384 x 16384", nullptr, BlackDeflateTiff(16384, 16384)},
    {"tiff longer than a texture", nullptr, BlackDeflateTiff(16, 16385)},
    {"gif of one deep code chain", nullptr, HandGif(16, 16, 16, 16, chain, 0), 16, 0},
    {"photo of 6000 x 4000", nullptr, EncodeJpeg(photo, 80), 6000, 0},
  };
  for(const auto &h : huge)
  {
    sImage probe(2, 2);
    LogCapture log;
    if(h.Load)
    {
      EXPECT_FALSE((probe.*h.Load)(h.Bytes.data(), sDInt(h.Bytes.size()))) << h.What;
      EXPECT_EQ(probe.SizeX, 2) << h.What;
    }
    else
    {
      WriteRaw(Dir.Name8("row"), h.Bytes);
      sImage *got = DecodeOnALoaderThread(Dir.Name("row"));
      EXPECT_EQ(got ? got->SizeX : 0, h.Width) << h.What << ", " << h.Bytes.size() << " bytes";
      sDELETE(got);
    }
    EXPECT_EQ(log.Count("refused"), h.Refusals) << h.What;
  }
}

/****************************************************************************/
/***   Decoder stream and memory                                          ***/
/****************************************************************************/

TEST(ImageStream, WritingStatWithNameAndLastReleaseAreFatal)
{
  TempDir dir;
  WriteRaw(dir.Name8("s.bin"), {1, 2, 3});
  sFile *f = sOpenFile(dir.Name("s.bin").c_str(), sFA_READRANDOM);
  ASSERT_TRUE(f);
  sFileStream s(f);
  sStreamStat st;
  EXPECT_EXIT(s.Stat(&st, 0), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(s.Release(), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(s.Write("x", 1, nullptr), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(s.SetSize(0), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(s.Clone(nullptr), testing::ExitedWithCode(1), "assertion");
  sDELETE(f);
}

/****************************************************************************/
/***   Texture-ready data                                                 ***/
/****************************************************************************/

TEST(ImageDataDeathTest, BadFormatsAndEmptyChainsAreFatal)
{
  sImageData d;
  EXPECT_EXIT(d.Init(1, 0, 4, 4), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(d.Init(0x1000 | 3, 0, 4, 4), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(d.Init(0x4000 | 1, 0, 4, 4), testing::ExitedWithCode(1), "assertion");
  EXPECT_EXIT(d.Init(0x1000 | 13, 0, 2, 2), testing::ExitedWithCode(1), kCheckFailed);
  d.Init(0x1000 | 1, 0, 4, 4);
  sImage wrong(4, 2);
  EXPECT_EXIT(d.ConvertFrom(&wrong), testing::ExitedWithCode(1), kCheckFailed);
  sImage fine(4, 4);
  fine.Fill(0);
  d.Init(0x1000 | 33, 1, 4, 4);
  EXPECT_EXIT(d.ConvertFrom(&fine), testing::ExitedWithCode(1), "no conversion into texture format 33");
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
