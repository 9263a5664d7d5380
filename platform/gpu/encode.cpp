// Packing ARGB pixels into the block formats, and loading pixels into surfaces.

#include "platform/gpu/internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plat::gpu
{
namespace
{
struct Color { float C[4]; };  // r, g, b, a in 0..255

uint16_t To565(const float *c)
{
  int r = std::clamp(int(std::lround(c[0] * 31.0f / 255.0f)), 0, 31);
  int g = std::clamp(int(std::lround(c[1] * 63.0f / 255.0f)), 0, 63);
  int b = std::clamp(int(std::lround(c[2] * 31.0f / 255.0f)), 0, 31);
  return uint16_t(r << 11 | g << 5 | b);
}

void From565(uint16_t v, float *c)
{
  int r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
  c[0] = float(r << 3 | r >> 2);
  c[1] = float(g << 2 | g >> 4);
  c[2] = float(b << 3 | b >> 2);
}

// Picks for every pixel the palette entry nearest to it; with dither the error of each
// choice is spread over the pixels not chosen yet (Floyd-Steinberg inside the block).
template <int Channels, int First>
void ChooseIndices(const Color *px, const bool *use, const float (*palette)[4], int entries, bool dither, int *index)
{
  float err[16][4] = {};
  for (int i = 0; i < 16; i++)
  {
    if (!use[i])
    {
      index[i] = -1;
      continue;
    }
    float want[4];
    for (int c = 0; c < 4; c++)
      want[c] = px[i].C[c] + err[i][c];
    int best = 0;
    float bestD = 1e30f;
    for (int e = 0; e < entries; e++)
    {
      float d = 0;
      for (int c = First; c < First + Channels; c++)
        d += (want[c] - palette[e][c]) * (want[c] - palette[e][c]);
      if (d < bestD)
      {
        bestD = d;
        best = e;
      }
    }
    index[i] = best;
    if (!dither)
      continue;
    int x = i & 3, y = i >> 2;
    for (int c = First; c < First + Channels; c++)
    {
      float e = want[c] - palette[best][c];
      if (x < 3)
        err[i + 1][c] += e * 7 / 16;
      if (y < 3)
      {
        if (x > 0)
          err[i + 3][c] += e * 3 / 16;
        err[i + 4][c] += e * 5 / 16;
        if (x < 3)
          err[i + 5][c] += e * 1 / 16;
      }
    }
  }
}

// The colour half of a block: 8 bytes. `transparent` marks pixels that DXT1 stores as
// transparent black (three-colour mode).
void EncodeColor(const Color *px, const bool *transparent, bool allowTransparent, bool dither, uint8_t *out)
{
  bool use[16];
  bool anyTransparent = false;
  for (int i = 0; i < 16; i++)
  {
    use[i] = !(allowTransparent && transparent[i]);
    anyTransparent |= !use[i];
  }
  // the principal axis of the colours by a few rounds of power iteration
  float mean[3] = {}, n = 0;
  for (int i = 0; i < 16; i++)
    if (use[i])
    {
      for (int c = 0; c < 3; c++)
        mean[c] += px[i].C[c];
      n++;
    }
  uint16_t c0 = 0, c1 = 0;
  if (n > 0)
  {
    for (float &m : mean)
      m /= n;
    float cov[6] = {};
    for (int i = 0; i < 16; i++)
      if (use[i])
      {
        float d[3] = {px[i].C[0] - mean[0], px[i].C[1] - mean[1], px[i].C[2] - mean[2]};
        cov[0] += d[0] * d[0];
        cov[1] += d[0] * d[1];
        cov[2] += d[0] * d[2];
        cov[3] += d[1] * d[1];
        cov[4] += d[1] * d[2];
        cov[5] += d[2] * d[2];
      }
    float axis[3] = {1, 1, 1};
    for (int k = 0; k < 8; k++)
    {
      float a[3] = {cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2],
                    cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2],
                    cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2]};
      float len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
      if (len < 1e-6f)
        break;
      for (int c = 0; c < 3; c++)
        axis[c] = a[c] / len;
    }
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < 16; i++)
      if (use[i])
      {
        float t = (px[i].C[0] - mean[0]) * axis[0] + (px[i].C[1] - mean[1]) * axis[1] + (px[i].C[2] - mean[2]) * axis[2];
        lo = std::min(lo, t);
        hi = std::max(hi, t);
      }
    float e0[3], e1[3];
    for (int c = 0; c < 3; c++)
    {
      e0[c] = mean[c] + axis[c] * hi;
      e1[c] = mean[c] + axis[c] * lo;
    }
    c0 = To565(e0);
    c1 = To565(e1);
  }
  bool threeColors = anyTransparent;
  if (threeColors ? c0 > c1 : c0 < c1)
    std::swap(c0, c1);
  float palette[4][4] = {};
  From565(c0, palette[0]);
  From565(c1, palette[1]);
  int entries;
  if (threeColors || c0 == c1)
  {
    for (int c = 0; c < 3; c++)
      palette[2][c] = float((int(palette[0][c]) + int(palette[1][c])) / 2);
    entries = 3;
  }
  else
  {
    for (int c = 0; c < 3; c++)
    {
      palette[2][c] = float((2 * int(palette[0][c]) + int(palette[1][c])) / 3);
      palette[3][c] = float((int(palette[0][c]) + 2 * int(palette[1][c])) / 3);
    }
    entries = 4;
  }
  int index[16];
  ChooseIndices<3, 0>(px, use, palette, entries, dither, index);
  uint32_t bits = 0;
  for (int i = 0; i < 16; i++)
    bits |= uint32_t(index[i] < 0 ? 3 : index[i]) << (2 * i);
  out[0] = uint8_t(c0);
  out[1] = uint8_t(c0 >> 8);
  out[2] = uint8_t(c1);
  out[3] = uint8_t(c1 >> 8);
  for (int i = 0; i < 4; i++)
    out[4 + i] = uint8_t(bits >> (8 * i));
}

void EncodeAlpha5(const Color *px, bool dither, uint8_t *out)
{
  float lo = 255, hi = 0;
  for (int i = 0; i < 16; i++)
  {
    lo = std::min(lo, px[i].C[3]);
    hi = std::max(hi, px[i].C[3]);
  }
  int a0 = int(std::lround(hi)), a1 = int(std::lround(lo));
  float palette[8][4] = {};
  palette[0][3] = float(a0);
  palette[1][3] = float(a1);
  for (int i = 1; i < 7; i++)
    palette[i + 1][3] = float(((7 - i) * a0 + i * a1) / 7);
  bool use[16];
  std::fill(use, use + 16, true);
  int index[16];
  ChooseIndices<1, 3>(px, use, palette, a0 == a1 ? 1 : 8, dither, index);
  uint64_t bits = 0;
  for (int i = 0; i < 16; i++)
    bits |= uint64_t(index[i]) << (3 * i);
  out[0] = uint8_t(a0);
  out[1] = uint8_t(a1);
  for (int i = 0; i < 6; i++)
    out[2 + i] = uint8_t(bits >> (8 * i));
}

void EncodeAlpha3(const Color *px, bool dither, uint8_t *out)
{
  float palette[16][4] = {};
  for (int i = 0; i < 16; i++)
    palette[i][3] = float(i * 17);
  bool use[16];
  std::fill(use, use + 16, true);
  int index[16];
  ChooseIndices<1, 3>(px, use, palette, 16, dither, index);
  std::memset(out, 0, 8);
  for (int i = 0; i < 16; i++)
    out[i / 2] |= uint8_t(index[i] << (4 * (i & 1)));
}
}

bool EncodeBlocks(Format f, const uint32_t *argb, int width, int height, int pitch, bool dither, void *blocks)
{
  if ((f != FMT_DXT1 && f != FMT_DXT3 && f != FMT_DXT5) || width <= 0 || height <= 0 || pitch < width)
    return false;
  uint8_t *out = static_cast<uint8_t *>(blocks);
  int blockBytes = f == FMT_DXT1 ? 8 : 16;
  for (int by = 0; by < (height + 3) / 4; by++)
    for (int bx = 0; bx < (width + 3) / 4; bx++)
    {
      Color px[16];
      bool transparent[16];
      for (int i = 0; i < 16; i++)
      {
        // a partial block repeats the last row and column it has
        int x = std::min(bx * 4 + (i & 3), width - 1), y = std::min(by * 4 + (i >> 2), height - 1);
        uint32_t v = argb[size_t(y) * pitch + x];
        px[i] = {{float((v >> 16) & 255), float((v >> 8) & 255), float(v & 255), float(v >> 24)}};
        transparent[i] = (v >> 24) < 128;
      }
      uint8_t *b = out + (size_t(by) * ((width + 3) / 4) + bx) * blockBytes;
      if (f == FMT_DXT1)
        EncodeColor(px, transparent, true, dither, b);
      else
      {
        if (f == FMT_DXT5)
          EncodeAlpha5(px, dither, b);
        else
          EncodeAlpha3(px, dither, b);
        EncodeColor(px, transparent, false, dither, b + 8);
      }
    }
  return true;
}

Result LoadSurfaceFromPixels(Surface *dst, const void *pixels, Format srcFormat, uint32_t pitch, uint32_t width,
                             uint32_t height, bool dither)
{
  if (!dst || !pixels || (srcFormat != FMT_A8R8G8B8 && srcFormat != FMT_X8R8G8B8))
    return ERR_INVALIDCALL;
  SurfaceDesc d;
  dst->GetDesc(d);
  if (d.Width != width || d.Height != height || pitch < width * 4)
    return ERR_INVALIDCALL;
  // the source as whole ARGB rows (X8R8G8B8 reads opaque)
  std::vector<uint32_t> argb(size_t(width) * height);
  for (uint32_t y = 0; y < height; y++)
  {
    std::memcpy(&argb[size_t(y) * width], static_cast<const uint8_t *>(pixels) + size_t(y) * pitch, width * 4);
    if (srcFormat == FMT_X8R8G8B8)
      for (uint32_t x = 0; x < width; x++)
        argb[size_t(y) * width + x] |= 0xFF000000u;
  }
  LockedRect lr;
  switch (d.Fmt)
  {
  case FMT_A8R8G8B8:
  case FMT_X8R8G8B8:
  {
    if (Failed(dst->LockRect(lr, nullptr, 0)))
      return ERR_INVALIDCALL;
    for (uint32_t y = 0; y < height; y++)
      std::memcpy(static_cast<uint8_t *>(lr.Bits) + size_t(y) * lr.Pitch, &argb[size_t(y) * width], width * 4);
    return dst->UnlockRect();
  }
  case FMT_DXT1:
  case FMT_DXT3:
  case FMT_DXT5:
  {
    std::vector<uint8_t> blocks(size_t(FormatPitch(d.Fmt, int(width))) * FormatRows(d.Fmt, int(height)));
    EncodeBlocks(d.Fmt, argb.data(), int(width), int(height), int(width), dither, blocks.data());
    if (Failed(dst->LockRect(lr, nullptr, 0)))
      return ERR_INVALIDCALL;
    int rowBytes = FormatPitch(d.Fmt, int(width));
    for (int y = 0; y < FormatRows(d.Fmt, int(height)); y++)
      std::memcpy(static_cast<uint8_t *>(lr.Bits) + size_t(y) * lr.Pitch, blocks.data() + size_t(y) * rowBytes,
                  size_t(rowBytes));
    return dst->UnlockRect();
  }
  default: return ERR_NOTAVAILABLE;
  }
}
}
