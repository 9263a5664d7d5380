// PNG and JPEG encoding of test pictures through stb_image_write, TIFF through libtiff.
#include "image_test_util.hpp"

#include <algorithm>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace imagetest
{
namespace
{
void Append(void *user, void *data, int size)
{
  auto *out = static_cast<std::vector<uint8_t> *>(user);
  out->insert(out->end(), static_cast<uint8_t *>(data), static_cast<uint8_t *>(data) + size);
}

// 0xAARRGGBB words into R, G, B(, A) bytes
std::vector<uint8_t> Bytes(const sImage &img, int comp)
{
  std::vector<uint8_t> b;
  for(int i = 0; i < img.SizeX * img.SizeY; i++)
  {
    uint32_t c = img.Data[i];
    b.push_back(uint8_t(c >> 16));
    b.push_back(uint8_t(c >> 8));
    b.push_back(uint8_t(c));
    if(comp == 4) b.push_back(uint8_t(c >> 24));
  }
  return b;
}
}   // namespace

std::vector<uint8_t> EncodePng(const sImage &img)
{
  std::vector<uint8_t> out;
  std::vector<uint8_t> rgba = Bytes(img, 4);
  stbi_write_png_to_func(Append, &out, img.SizeX, img.SizeY, 4, rgba.data(), img.SizeX * 4);
  return out;
}

std::vector<uint8_t> EncodeFlatPng(const sImage &img)
{
  const uint32_t first = img.Data[0];
  uint32_t second = first;
  std::vector<uint8_t> rows;
  for(sInt y = 0; y < img.SizeY; y++)
  {
    rows.push_back(0);   // no filter
    for(sInt x = 0; x < img.SizeX; x += 8)
    {
      uint8_t bits = 0;
      for(sInt b = 0; b < 8 && x + b < img.SizeX; b++)
        if(const uint32_t c = img.Data[y * img.SizeX + x + b]; c != first)
        {
          second = c;
          bits |= uint8_t(0x80 >> b);
        }
      rows.push_back(bits);
    }
  }
  uLongf packed = compressBound(uLong(rows.size()));
  std::vector<uint8_t> idat(packed);
  if(compress2(idat.data(), &packed, rows.data(), uLong(rows.size()), Z_BEST_COMPRESSION) != Z_OK) return {};
  idat.resize(packed);
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  auto chunk = [&out](const char *type, const std::vector<uint8_t> &data) {
    Put32BE(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32BE(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
  };
  std::vector<uint8_t> header;
  Put32BE(header, uint32_t(img.SizeX));
  Put32BE(header, uint32_t(img.SizeY));
  header.insert(header.end(), {1, 3, 0, 0, 0});   // one bit, of a palette
  chunk("IHDR", header);
  chunk("PLTE", {uint8_t(first >> 16), uint8_t(first >> 8), uint8_t(first), uint8_t(second >> 16), uint8_t(second >> 8),
                 uint8_t(second)});
  chunk("IDAT", idat);
  chunk("IEND", {});
  return out;
}

std::vector<uint8_t> JpegSegment(uint8_t marker, const std::vector<uint8_t> &body)
{
  std::vector<uint8_t> v = {0xff, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)};
  v.insert(v.end(), body.begin(), body.end());
  return v;
}

std::vector<uint8_t> ProgressiveGrey(const std::vector<uint8_t> &between)
{
  std::vector<uint8_t> v = {0xff, 0xd8};
  auto add = [&v](const std::vector<uint8_t> &b) { v.insert(v.end(), b.begin(), b.end()); };
  std::vector<uint8_t> quant(65, 1);
  quant[0] = 0;
  add(JpegSegment(0xdb, quant));
  std::vector<uint8_t> oneCode(17, 0);
  oneCode[0] = 1;   // one code of one bit, for value 0: a DC difference of 0, or the block's end
  std::vector<uint8_t> dc = {0x00}, ac = {0x10};
  dc.insert(dc.end(), oneCode.begin(), oneCode.end());
  ac.insert(ac.end(), oneCode.begin(), oneCode.end());
  add(JpegSegment(0xc4, dc));
  add(JpegSegment(0xc2, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}));
  add(JpegSegment(0xda, {1, 1, 0x00, 0, 0, 0}));
  v.push_back(0x7f);   // the code 0, then padding
  add(between);
  add(JpegSegment(0xc4, ac));
  add(JpegSegment(0xda, {1, 1, 0x00, 1, 63, 0}));
  v.push_back(0x7f);
  add({0xff, 0xd9});
  return v;
}

std::vector<uint8_t> EncodeJpeg(const sImage &img, int quality)
{
  std::vector<uint8_t> out;
  std::vector<uint8_t> rgb = Bytes(img, 3);
  stbi_write_jpg_to_func(Append, &out, img.SizeX, img.SizeY, 3, rgb.data(), quality);
  return out;
}

namespace
{
// A TIFF of w x h written by libtiff, rows strip rows a strip, row y's bytes from row(y).
template <class Row>
std::vector<uint8_t> WriteTiff(uint32_t w, uint32_t h, int compression, bool bigEndian, bool grey, uint32_t strip, Row row)
{
  char path[] = "/tmp/spark-tiff-XXXXXX";
  int fd = mkstemp(path);
  if(fd < 0) return {};
  close(fd);
  TIFF *tif = TIFFOpen(path, bigEndian ? "wb" : "wl");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, grey ? 1 : 4);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, strip);
  if(!grey)
  {
    uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  std::vector<uint8_t> bytes;
  for(uint32_t y = 0; y < h; y++)
  {
    bytes.clear();
    row(y, bytes);
    TIFFWriteScanline(tif, bytes.data(), y, 0);
  }
  TIFFClose(tif);
  bytes = ReadRaw(path);
  unlink(path);
  return bytes;
}
}   // namespace

std::vector<uint8_t> LibTiff(const sImage &img, int compression, bool bigEndian, bool grey)
{
  return WriteTiff(uint32_t(img.SizeX), uint32_t(img.SizeY), compression, bigEndian, grey, 2,
                   [&](uint32_t y, std::vector<uint8_t> &row) {
                     for(int x = 0; x < img.SizeX; x++)
                     {
                       uint32_t c = img.Data[y * uint32_t(img.SizeX) + uint32_t(x)];
                       if(grey) row.push_back(uint8_t(c));
                       else row.insert(row.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
                     }
                   });
}

std::vector<uint8_t> BlackDeflateTiff(uint32_t w, uint32_t h)
{
  return WriteTiff(w, h, COMPRESSION_ADOBE_DEFLATE, false, true, 64,
                   [w](uint32_t, std::vector<uint8_t> &row) { row.assign(w, 0); });
}

std::vector<uint8_t> HandGif(int w, int h, int fw, int fh, const std::vector<int> &codes, size_t pad)
{
  std::vector<uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
  Put16LE(v, uint32_t(w));
  Put16LE(v, uint32_t(h));
  v.insert(v.end(), {0x81, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0xff});
  for(size_t n; pad > 0; pad -= n, v.push_back(0))
  {
    n = std::min<size_t>(pad, 255);
    v.insert(v.end(), {0x21, 0xfe, uint8_t(n)});
    v.insert(v.end(), n, 'x');
  }
  v.push_back(0x2c);
  Put32LE(v, 0);
  Put16LE(v, uint32_t(fw));
  Put16LE(v, uint32_t(fh));
  v.insert(v.end(), {0, 2});
  // the decoder's widths: one more for each code past the last of the width
  std::vector<uint8_t> data;
  uint32_t acc = 0;
  int bits = 0, width = 3, avail = 6;
  bool chained = false;
  for(int c : codes)
  {
    acc |= uint32_t(c) << bits;
    for(bits += width; bits >= 8; bits -= 8, acc >>= 8) data.push_back(uint8_t(acc));
    if(c == 4)
    {
      width = 3, avail = 6, chained = false;
      continue;
    }
    avail += chained ? 1 : 0;
    chained = true;
    if((avail & ((1 << width) - 1)) == 0 && avail <= 0xfff) width++;
  }
  if(bits > 0) data.push_back(uint8_t(acc));
  for(size_t at = 0; at < data.size(); at += 255)
  {
    size_t n = std::min<size_t>(data.size() - at, 255);
    v.push_back(uint8_t(n));
    v.insert(v.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n));
  }
  v.insert(v.end(), {0, 0x3b});
  return v;
}
}   // namespace imagetest
