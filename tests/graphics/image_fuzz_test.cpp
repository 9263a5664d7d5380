// Seeded random mutations of valid picture files fed to every image reader: a damaged
// file may load or fail, but never crash, read or write out of bounds (run under the
// sanitizer build) or hand back an inconsistent image. The number of rounds per seed file
// is bounded; SPARK_FUZZ_RUNS raises or lowers it.
#include "common/mutator.hpp"
#include "image_test_util.hpp"
#include "tools/datagen/picfiles.hpp"

#include <cstdlib>

using namespace imagetest;

namespace
{
// The bytes in a block of their own, so that the sanitizer sees any read past the end.
struct Exact
{
  sU8 *Data;
  sDInt Size;
  explicit Exact(const std::vector<uint8_t> &v) : Size(sDInt(v.size()))
  {
    Data = static_cast<sU8 *>(malloc(v.empty() ? 1 : v.size()));
    if(!v.empty()) memcpy(Data, v.data(), v.size());
  }
  ~Exact() { free(Data); }
};

void CheckImage(const sImage &img, sBool ok)
{
  if(!ok) return;
  ASSERT_GE(img.SizeX, 0);
  ASSERT_GE(img.SizeY, 0);
  ASSERT_LE(sS64(img.SizeX) * img.SizeY, sIMAGE_MAXPIXELS);
  if(img.SizeX && img.SizeY)
  {
    ASSERT_TRUE(img.Data);
    // touch the last pixel: the buffer must hold the whole picture
    volatile sU32 last = img.Data[sDInt(img.SizeX) * img.SizeY - 1];
    (void)last;
  }
}

enum Reader { PIC, TGA, BMP, COMPRESSED, STREAM };

void Fuzz(Reader reader, const std::vector<uint8_t> &seed, uint32_t salt)
{
  // bytes that header fields often treat specially: sizes, depths, run markers
  static const std::vector<uint8_t> interesting = {0, 1, 2, 0x7f, 0x80, 0x81, 0xfe, 0xff, 8, 10, 16, 24, 32};
  sparktest::Mutator rng(salt);
  int rounds = sparktest::FuzzRuns(1500);
  int loaded = 0;
  for(int r = -1; r < rounds; r++)
  {
    // round -1 reads the seed itself, which must load
    std::vector<uint8_t> v = r < 0 ? seed : rng.Mutate(seed, interesting);
    Exact e(v);
    sImage img;
    sBool ok = 0;
    switch(reader)
    {
    case PIC: ok = img.LoadPIC(e.Data, e.Size); break;
    case TGA: ok = img.LoadTGA(e.Data, e.Size); break;
    case BMP: ok = img.LoadBMP(e.Data, e.Size); break;
    case COMPRESSED: ok = img.LoadCompressed(e.Data, e.Size); break;
    case STREAM:
    {
      sSetAllocSource(__FILE__, __LINE__);
      void *copy = sMemAlloc(e.Size > 0 ? e.Size : 1, 16, 0);
      if(e.Size) memcpy(copy, e.Data, size_t(e.Size));
      sMemoryFile *file = sCreateMemoryFile(copy, e.Size, 1, 0);
      ASSERT_TRUE(file);
      sImage *dec = sDecodeImageStream(file);
      sDELETE(file);
      if(dec)
      {
        ok = 1;
        CheckImage(*dec, 1);
        sDELETE(dec);
      }
      break;
    }
    }
    CheckImage(img, ok);
    if(testing::Test::HasFatalFailure()) return;
    if(r < 0) { ASSERT_TRUE(ok) << "the seed file does not load"; }
    loaded += ok ? 1 : 0;
  }
  testing::Test::RecordProperty("loaded", loaded);
}

sImage *Picture(int w, int h, uint32_t seed)
{
  sImage *img = sNEW sImage(w, h);
  FillPattern(*img, seed);
  return img;
}

std::vector<uint8_t> Encoded(sU8 *(sImage::*encode)(sDInt &) const, const sImage &img)
{
  sDInt size = 0;
  sU8 *buf = (img.*encode)(size);
  std::vector<uint8_t> v(buf, buf + size);
  sMemFree(buf);
  return v;
}

// A run-length PIC with literal runs, short repeats and long repeats in both packets.
std::vector<uint8_t> RlePic()
{
  std::vector<uint8_t> v = PicHeader(9, 3, 2, true, 2);
  for(int y = 0; y < 3; y++)
  {
    v.insert(v.end(), {1, 1, 2, 3, 4, 5, 6});        // 2 literal
    v.insert(v.end(), {0x83, 7, 8, uint8_t(9 + y)});  // 4 repeated
    v.insert(v.end(), {128, 0, 3, 1, 1, 1});          // 3 by a long count
    v.insert(v.end(), {0x88, 0x80});                  // alpha: 9 repeated
  }
  return v;
}

// A 32-bit TGA of 6 x 3 behind an ID field of five bytes, rows from the top.
std::vector<uint8_t> NamedTga()
{
  std::vector<uint8_t> v = {5, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 3, 0, 32, 0x20, 'n', 'a', 'm', 'e', 0};
  for(int k = 0; k < 6 * 3 * 4; k++) v.push_back(uint8_t(k * 37 + 11));
  return v;
}
}   // namespace

class ImageFuzz : public testing::Test
{
protected:
  void SetUp() override { Img = Picture(7, 5, 99); }
  void TearDown() override { sDELETE(Img); }
  sImage *Img = nullptr;
};

TEST_F(ImageFuzz, PicReader)
{
  Fuzz(PIC, Encoded(&sImage::EncodePIC, *Img), 1);
  if(HasFatalFailure()) return;
  Fuzz(PIC, RlePic(), 2);
  if(HasFatalFailure()) return;
  std::vector<uint8_t> noAlpha = PicHeader(3, 2, 2, false, 0);
  noAlpha.insert(noAlpha.end(), {0x82, 1, 2, 3, 0x81, 4, 5, 6, 0, 7, 8, 9});
  Fuzz(PIC, noAlpha, 3);
}

TEST_F(ImageFuzz, TgaReader)
{
  Fuzz(TGA, Encoded(&sImage::EncodeTGA, *Img), 4);
  if(HasFatalFailure()) return;
  Fuzz(TGA, TgaFile(*Img, 32, 0x20), 5);
  if(HasFatalFailure()) return;
  Fuzz(TGA, NamedTga(), 6);
}

TEST_F(ImageFuzz, BmpReader)
{
  Fuzz(BMP, Encoded(&sImage::EncodeBMP, *Img), 7);
  if(HasFatalFailure()) return;
  Fuzz(BMP, BmpFile(*Img, 8, false), 8);
  if(HasFatalFailure()) return;
  Fuzz(BMP, BmpFile(*Img, 32, true), 9);
}

TEST_F(ImageFuzz, PngAndJpegDecoder)
{
  Fuzz(COMPRESSED, EncodePng(*Img), 10);
  if(HasFatalFailure()) return;
  Fuzz(COMPRESSED, EncodeJpeg(*Img, 80), 11);
  if(HasFatalFailure()) return;
  Fuzz(COMPRESSED, ProgressiveGrey({}), 19);
}

TEST_F(ImageFuzz, StreamDecoder)
{
  Fuzz(STREAM, EncodePng(*Img), 12);
  if(HasFatalFailure()) return;
  Fuzz(STREAM, Encoded(&sImage::EncodeBMP, *Img), 13);
  if(HasFatalFailure()) return;
  Fuzz(STREAM, datagen::EncodeGif(*Img), 14);
  if(HasFatalFailure()) return;
  Fuzz(STREAM, datagen::EncodeTiff(*Img), 15);
  if(HasFatalFailure()) return;
  Fuzz(STREAM, LibTiff(*Img, 5, true, false), 17);
  if(HasFatalFailure()) return;
  Fuzz(STREAM, LibTiff(*Img, 32773, false, true), 18);
  if(HasFatalFailure()) return;
  Fuzz(STREAM, EncodeJpeg(*Img, 60), 16);
}
