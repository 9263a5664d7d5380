// Formats, result codes and the CPU decoder of the block formats.

#include "platform/gpu/internal.hpp"

#include <cstring>

namespace plat::gpu
{
namespace
{
constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE, ZERO = GL_ZERO;

// Channels a format lacks read as 1, as the shaders expect.
const FormatInfo Formats[] = {
  // fmt, bytes, block, internal, format, type, swizzle, depth, stencil, renderable, texture, expand
  {FMT_A8R8G8B8, 4, 0, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, false, false, true, true, false},
  {FMT_X8R8G8B8, 4, 0, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, ONE}, false, false, true, true, false},
  {FMT_R5G6B5, 2, 0, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {R, G, B, ONE}, false, false, true, true, false},
  {FMT_X1R5G5B5, 2, 0, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, ONE}, false, false, true, true, false},
  {FMT_A1R5G5B5, 2, 0, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, A}, false, false, true, true, false},
  {FMT_A4R4G4B4, 2, 0, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, A}, false, false, true, true, false},
  {FMT_A8, 1, 0, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {ONE, ONE, ONE, R}, false, false, false, true, false},
  {FMT_L8, 1, 0, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {R, R, R, ONE}, false, false, false, true, false},
  {FMT_A8L8, 2, 0, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, false, false, false, true, false},
  {FMT_A4L4, 1, 0, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, false, false, false, true, true},
  {FMT_Q8W8V8U8, 4, 0, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {R, G, B, A}, false, false, false, true, false},
  {FMT_G16R16, 4, 0, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {R, G, ONE, ONE}, false, false, true, true, false},
  {FMT_A16B16G16R16, 8, 0, GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {R, G, B, A}, false, false, true, true, false},
  {FMT_R16F, 2, 0, GL_R16F, GL_RED, GL_HALF_FLOAT, {R, ONE, ONE, ONE}, false, false, true, true, false},
  {FMT_G16R16F, 4, 0, GL_RG16F, GL_RG, GL_HALF_FLOAT, {R, G, ONE, ONE}, false, false, true, true, false},
  {FMT_A16B16G16R16F, 8, 0, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {R, G, B, A}, false, false, true, true, false},
  {FMT_R32F, 4, 0, GL_R32F, GL_RED, GL_FLOAT, {R, ONE, ONE, ONE}, false, false, true, true, false},
  {FMT_G32R32F, 8, 0, GL_RG32F, GL_RG, GL_FLOAT, {R, G, ONE, ONE}, false, false, true, true, false},
  {FMT_A32B32G32R32F, 16, 0, GL_RGBA32F, GL_RGBA, GL_FLOAT, {R, G, B, A}, false, false, true, true, false},
  {FMT_DXT1, 0, 8, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, false, false, false, true, false},
  {FMT_DXT3, 0, 16, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, false, false, false, true, false},
  {FMT_DXT5, 0, 16, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, false, false, false, true, false},
  {FMT_D16, 2, 0, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, R, R, R}, true, false, false, false, false},
  {FMT_D16_LOCKABLE, 2, 0, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, R, R, R}, true, false, false, false, false},
  {FMT_D24X8, 4, 0, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, R, R, R}, true, false, false, false, false},
  {FMT_D32, 4, 0, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, R, R, R}, true, false, false, false, false},
  {FMT_D24S8, 4, 0, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, R, R, R}, true, true, false, false, false},
  {FMT_D32F_LOCKABLE, 4, 0, GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, {R, R, R, R}, true, false, false, false, false},
  {FMT_INTZ, 4, 0, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {R, R, R, R}, true, true, false, true, false},
  {FMT_DF24, 4, 0, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {R, R, R, R}, true, false, false, true, false},
  {FMT_DF16, 2, 0, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {R, R, R, R}, true, false, false, true, false},
};

struct ResultText { Result Code; const char *Name; const char *Description; };
const ResultText Results[] = {
  {RES_OK, "RES_OK", "The call succeeded."},
  {RES_FALSE, "RES_FALSE", "The call succeeded but the data is not there yet."},
  {ERR_DEVICELOST, "ERR_DEVICELOST", "The device has been lost and cannot be reset yet."},
  {ERR_DEVICENOTRESET, "ERR_DEVICENOTRESET", "The device has been lost and can be reset now."},
  {ERR_NOTAVAILABLE, "ERR_NOTAVAILABLE", "The device does not support the queried technique."},
  {ERR_INVALIDCALL, "ERR_INVALIDCALL", "The call is invalid: a parameter or the device state is wrong."},
  {ERR_WASSTILLDRAWING, "ERR_WASSTILLDRAWING", "The device was still drawing with the resource."},
  {ERR_OUTOFVIDEOMEMORY, "ERR_OUTOFVIDEOMEMORY", "The device does not have enough memory."},
  {ERR_DRIVERINTERNALERROR, "ERR_DRIVERINTERNALERROR", "The graphics driver reported an internal error."},
  {ERR_DEVICEHUNG, "ERR_DEVICEHUNG", "The device stopped responding."},
  {ERR_OUTOFMEMORY, "ERR_OUTOFMEMORY", "Out of memory."},
  {ERR_FAIL, "ERR_FAIL", "The call failed."},
};

uint32_t Expand565(uint16_t c)
{
  uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// Decodes the colour half of a block (8 bytes) into 16 ARGB values with alpha 255
// (or the punch-through alpha of DXT1 when `dxt1`).
void DecodeColorBlock(const uint8_t *b, uint32_t *out, bool dxt1)
{
  uint16_t c0 = uint16_t(b[0] | b[1] << 8), c1 = uint16_t(b[2] | b[3] << 8);
  uint32_t col[4];
  col[0] = Expand565(c0) | 0xFF000000u;
  col[1] = Expand565(c1) | 0xFF000000u;
  auto mix = [&](int w0, int w1, int div) {
    uint32_t r = 0;
    for (int s = 0; s < 24; s += 8)
    {
      uint32_t a = (col[0] >> s) & 255, c = (col[1] >> s) & 255;
      r |= ((a * w0 + c * w1) / div) << s;
    }
    return r | 0xFF000000u;
  };
  if (c0 > c1 || !dxt1)
  {
    col[2] = mix(2, 1, 3);
    col[3] = mix(1, 2, 3);
  }
  else
  {
    col[2] = mix(1, 1, 2);
    col[3] = 0;
  }
  uint32_t bits = uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
  for (int i = 0; i < 16; i++)
    out[i] = col[(bits >> (2 * i)) & 3];
}
}

const FormatInfo *FindFormat(Format f)
{
  for (const FormatInfo &i : Formats)
    if (i.Fmt == f)
      return &i;
  return nullptr;
}

int FormatBytesPerPixel(Format f)
{
  const FormatInfo *i = FindFormat(f);
  return i ? i->Bytes : 0;
}

int FormatBlockBytes(Format f)
{
  const FormatInfo *i = FindFormat(f);
  return i ? i->BlockBytes : 0;
}

bool FormatIsDepth(Format f)
{
  const FormatInfo *i = FindFormat(f);
  return i && i->Depth;
}

bool FormatHasStencil(Format f)
{
  const FormatInfo *i = FindFormat(f);
  return i && i->Stencil;
}

int FormatPitch(Format f, int width)
{
  const FormatInfo *i = FindFormat(f);
  if (!i)
    return 0;
  if (i->BlockBytes)
    return (width + 3) / 4 * i->BlockBytes;
  return width * i->Bytes;
}

int FormatRows(Format f, int height)
{
  const FormatInfo *i = FindFormat(f);
  if (!i)
    return 0;
  return i->BlockBytes ? (height + 3) / 4 : height;
}

void ExpandA4L4(const uint8_t *src, int width, int height, int pitch, std::vector<uint8_t> &out)
{
  out.resize(size_t(width) * height * 2);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
    {
      uint8_t v = src[size_t(y) * pitch + x];
      out[(size_t(y) * width + x) * 2 + 0] = uint8_t((v & 15) * 17);
      out[(size_t(y) * width + x) * 2 + 1] = uint8_t((v >> 4) * 17);
    }
}

bool DecodeBlocks(Format f, const void *blocks, int width, int height, uint32_t *argb)
{
  if (f != FMT_DXT1 && f != FMT_DXT3 && f != FMT_DXT5)
    return false;
  if (width <= 0 || height <= 0)
    return false;
  const uint8_t *p = static_cast<const uint8_t *>(blocks);
  int bw = (width + 3) / 4, bh = (height + 3) / 4;
  int blockBytes = f == FMT_DXT1 ? 8 : 16;
  uint32_t px[16];
  for (int by = 0; by < bh; by++)
    for (int bx = 0; bx < bw; bx++)
    {
      const uint8_t *b = p + (size_t(by) * bw + bx) * blockBytes;
      if (f == FMT_DXT1)
        DecodeColorBlock(b, px, true);
      else
      {
        DecodeColorBlock(b + 8, px, false);
        uint8_t alpha[16];
        if (f == FMT_DXT3)
        {
          for (int i = 0; i < 16; i++)
          {
            int nib = (b[i / 2] >> (4 * (i & 1))) & 15;
            alpha[i] = uint8_t(nib * 17);
          }
        }
        else
        {
          int a0 = b[0], a1 = b[1];
          int pal[8] = {a0, a1};
          if (a0 > a1)
            for (int i = 1; i < 7; i++)
              pal[i + 1] = ((7 - i) * a0 + i * a1) / 7;
          else
          {
            for (int i = 1; i < 5; i++)
              pal[i + 1] = ((5 - i) * a0 + i * a1) / 5;
            pal[6] = 0;
            pal[7] = 255;
          }
          uint64_t bits = 0;
          for (int i = 0; i < 6; i++)
            bits |= uint64_t(b[2 + i]) << (8 * i);
          for (int i = 0; i < 16; i++)
            alpha[i] = uint8_t(pal[(bits >> (3 * i)) & 7]);
        }
        for (int i = 0; i < 16; i++)
          px[i] = (px[i] & 0x00FFFFFFu) | uint32_t(alpha[i]) << 24;
      }
      for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
        {
          int X = bx * 4 + x, Y = by * 4 + y;
          if (X < width && Y < height)
            argb[size_t(Y) * width + X] = px[y * 4 + x];
        }
    }
  return true;
}

const char *ResultName(Result r)
{
  for (const ResultText &t : Results)
    if (t.Code == r)
      return t.Name;
  return r < 0 ? "ERR_UNKNOWN" : "RES_UNKNOWN";
}

const char *ResultDescription(Result r)
{
  for (const ResultText &t : Results)
    if (t.Code == r)
      return t.Description;
  return r < 0 ? "An unknown error." : "An unknown success code.";
}

int SamplesFor(MultiSampleType ms, uint32_t quality)
{
  if (ms == MULTISAMPLE_NONE)
    return 0;
  if (ms == MULTISAMPLE_NONMASKABLE)
    return 2 << quality;
  return int(ms);
}
}
