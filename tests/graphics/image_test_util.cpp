// PNG and JPEG encoding of test pictures through stb_image_write, TIFF through libtiff.
#include "image_test_util.hpp"

#include <tiffio.h>
#include <unistd.h>

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

std::vector<uint8_t> EncodeJpeg(const sImage &img, int quality)
{
  std::vector<uint8_t> out;
  std::vector<uint8_t> rgb = Bytes(img, 3);
  stbi_write_jpg_to_func(Append, &out, img.SizeX, img.SizeY, 3, rgb.data(), quality);
  return out;
}

std::vector<uint8_t> LibTiff(const sImage &img, int compression, bool bigEndian, bool grey)
{
  char path[] = "/tmp/spark-tiff-XXXXXX";
  int fd = mkstemp(path);
  if(fd < 0) return {};
  close(fd);
  TIFF *tif = TIFFOpen(path, bigEndian ? "wb" : "wl");
  const int spp = grey ? 1 : 4;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(img.SizeX));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(img.SizeY));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
  if(!grey)
  {
    uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  std::vector<uint8_t> row;
  for(int y = 0; y < img.SizeY; y++)
  {
    row.clear();
    for(int x = 0; x < img.SizeX; x++)
    {
      uint32_t c = img.Data[y * img.SizeX + x];
      if(grey) row.push_back(uint8_t(c));
      else row.insert(row.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
    }
    TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
  }
  TIFFClose(tif);
  std::vector<uint8_t> bytes = ReadRaw(path);
  unlink(path);
  return bytes;
}
}   // namespace imagetest
