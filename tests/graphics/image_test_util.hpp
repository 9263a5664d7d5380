#pragma once
// Helpers of the image tests: a temporary folder, raw file access around the code under
// test, a capture of log lines, picture makers and PNG/JPEG/TIFF encoding of test pictures.

#include "base/file.hpp"
#include "base/log.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "graphics/image.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace imagetest
{
using TempDir = sparktest::TempDir;

using sparktest::LogCapture;
inline void WriteRaw(const std::string &path, const std::vector<uint8_t> &bytes) { ASSERT_TRUE(sparktest::WriteFile(path, bytes)) << path; }
inline std::vector<uint8_t> ReadRaw(const std::string &path) { return sparktest::ReadFile<std::vector<uint8_t>>(path); }

// A picture whose every pixel differs from its neighbours in every channel.
inline void FillPattern(sImage &img, uint32_t seed)
{
  uint32_t s = seed * 2654435761u + 1;
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
  {
    s = s * 1103515245u + 12345u;
    img.Data[i] = (s >> 8) ^ (uint32_t(i) * 0x01030507u);
  }
}

inline uint32_t Channel(uint32_t c, int ch) { return (c >> (8 * ch)) & 0xff; }

// Peak signal-to-noise ratio in dB over the first channels (blue, green, red, alpha).
inline double Psnr(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b, int channels = 3)
{
  double sum = 0;
  for(size_t i = 0; i < a.size(); i++)
    for(int ch = 0; ch < channels; ch++)
    {
      double d = double(Channel(a[i], ch)) - double(Channel(b[i], ch));
      sum += d * d;
    }
  double mse = sum / double(a.size() * size_t(channels));
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

inline std::vector<uint32_t> Pixels(const sImage &img)
{
  return std::vector<uint32_t>(img.Data, img.Data + size_t(img.SizeX) * size_t(img.SizeY));
}

// Big- and little-endian writers for hand-made files.
inline void Put16BE(std::vector<uint8_t> &v, uint32_t x) { v.push_back(uint8_t(x >> 8)); v.push_back(uint8_t(x)); }
inline void Put16LE(std::vector<uint8_t> &v, uint32_t x) { v.push_back(uint8_t(x)); v.push_back(uint8_t(x >> 8)); }
inline void Put32LE(std::vector<uint8_t> &v, uint32_t x) { Put16LE(v, x & 0xffff); Put16LE(v, x >> 16); }
inline void Put32BE(std::vector<uint8_t> &v, uint32_t x) { Put16BE(v, x >> 16); Put16BE(v, x & 0xffff); }

// The 104-byte PIC header and packets: colour packet of the given type, optionally
// chained to an alpha packet.
inline std::vector<uint8_t> PicHeader(int w, int h, int colourType, bool alpha, int alphaType)
{
  std::vector<uint8_t> v;
  Put32BE(v, 0x5380F634);
  Put32BE(v, 0x4027AE14);   // 2.62
  v.resize(88, 0);
  v.insert(v.end(), {'P', 'I', 'C', 'T'});
  Put16BE(v, uint32_t(w));
  Put16BE(v, uint32_t(h));
  Put32LE(v, 0x3f800000);
  Put16BE(v, 3);
  Put16BE(v, 0);
  v.insert(v.end(), {uint8_t(alpha ? 1 : 0), 8, uint8_t(colourType), 0xe0});
  if(alpha) v.insert(v.end(), {0, 8, uint8_t(alphaType), 0x10});
  return v;
}

// A 24- or 32-bit uncompressed TGA with the given descriptor, rows in the order stated by
// its origin bit.
inline std::vector<uint8_t> TgaFile(const sImage &img, int bits, int desc)
{
  std::vector<uint8_t> v = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16LE(v, uint32_t(img.SizeX));
  Put16LE(v, uint32_t(img.SizeY));
  v.push_back(uint8_t(bits));
  v.push_back(uint8_t(desc));
  bool top = (desc & 0x20) != 0;
  for(int r = 0; r < img.SizeY; r++)
  {
    int y = top ? r : img.SizeY - 1 - r;
    for(int x = 0; x < img.SizeX; x++)
    {
      uint32_t c = img.Data[y * img.SizeX + x];
      v.push_back(uint8_t(c));
      v.push_back(uint8_t(c >> 8));
      v.push_back(uint8_t(c >> 16));
      if(bits == 32) v.push_back(uint8_t(c >> 24));
    }
  }
  return v;
}

// A BMP of 8, 24 or 32 bits; negative height stores the rows from the top. For 8 bits the
// pixels' low byte is the palette index and the palette maps i to (i, 255 - i, i / 2).
inline std::vector<uint8_t> BmpFile(const sImage &img, int bits, bool topDown)
{
  int w = img.SizeX, h = img.SizeY;
  int stride = ((w * bits / 8) + 3) & ~3;
  int offset = bits == 8 ? 1078 : 54;
  std::vector<uint8_t> v = {'B', 'M'};
  Put32LE(v, uint32_t(offset + stride * h));
  Put32LE(v, 0);
  Put32LE(v, uint32_t(offset));
  Put32LE(v, 40);
  Put32LE(v, uint32_t(w));
  Put32LE(v, uint32_t(topDown ? -h : h));
  Put16LE(v, 1);
  Put16LE(v, uint32_t(bits));
  for(int i = 0; i < 6; i++) Put32LE(v, 0);
  if(bits == 8)
    for(int i = 0; i < 256; i++) v.insert(v.end(), {uint8_t(i / 2), uint8_t(255 - i), uint8_t(i), 0});
  for(int r = 0; r < h; r++)
  {
    int y = topDown ? r : h - 1 - r;
    size_t start = v.size();
    for(int x = 0; x < w; x++)
    {
      uint32_t c = img.Data[y * w + x];
      if(bits == 8) v.push_back(uint8_t(c));
      else
      {
        v.push_back(uint8_t(c));
        v.push_back(uint8_t(c >> 8));
        v.push_back(uint8_t(c >> 16));
        if(bits == 32) v.push_back(uint8_t(c >> 24));
      }
    }
    while(v.size() < start + size_t(stride)) v.push_back(0);
  }
  return v;
}

// PNG and JPEG bytes of an image (RGBA for PNG, RGB for JPEG at the given quality).
std::vector<uint8_t> EncodePng(const sImage &img);
std::vector<uint8_t> EncodeJpeg(const sImage &img, int quality);
// A JPEG segment: its marker, its length and the bytes given.
std::vector<uint8_t> JpegSegment(uint8_t marker, const std::vector<uint8_t> &body);
// A progressive JPEG of one grey 8 x 8 block written by hand, in two scans: the DC scan
// with its table before the frame, then the AC table and the AC scan. `between` goes in
// before the AC table.
std::vector<uint8_t> ProgressiveGrey(const std::vector<uint8_t> &between);
// The PNG bytes of a picture of at most two opaque colours: one bit a pixel of a palette,
// deflated by zlib at its best level, as image editors save flat pictures.
std::vector<uint8_t> EncodeFlatPng(const sImage &img);
// TIFF bytes written by libtiff: RGBA with unassociated alpha, or grey from the blue
// channel; two rows a strip, compressed with the given libtiff scheme (1 none, 5 LZW, ...).
std::vector<uint8_t> LibTiff(const sImage &img, int compression, bool bigEndian, bool grey);
// A deflated grey TIFF of w x h black pixels written by libtiff, a strip of 64 rows each.
std::vector<uint8_t> BlackDeflateTiff(uint32_t w, uint32_t h);
// A GIF of a w x h screen with a global table of four colours, pad bytes of comments, and
// one frame of fw x fh at (0, 0) of the LZW codes given (minimum code size 2: 4 clears, 5
// ends), packed at the widths a decoder reads them with.
std::vector<uint8_t> HandGif(int w, int h, int fw, int fh, const std::vector<int> &codes, size_t pad);
}   // namespace imagetest
