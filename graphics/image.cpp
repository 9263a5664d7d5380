// Images: pixel operations, the PIC, TGA and BMP readers and writers, dispatch by file
// extension, and the texture-ready data with its mip chain and format conversion.

#include "graphics/image.hpp"

#include "base/file.hpp"
#include "graphics/dxt.hpp"
#include "graphics/graphics.hpp"
#include "graphics/imagetexture.hpp"
#include "platform/gpu/gpu.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
std::atomic<sS64> ImageDataBytes{0};

sU32 *AllocPixels(sS64 count, sInt flags)
{
  sSetAllocSource(__FILE__, __LINE__);
  return static_cast<sU32 *>(sMemAlloc(sDInt(count * 4 > 0 ? count * 4 : 16), 16, flags));
}

inline sU32 Get16BE(const sU8 *p) { return sU32(p[0]) << 8 | p[1]; }
inline sU32 Get32BE(const sU8 *p) { return sU32(p[0]) << 24 | sU32(p[1]) << 16 | sU32(p[2]) << 8 | p[3]; }
inline sU32 Get16LE(const sU8 *p) { return sU32(p[1]) << 8 | p[0]; }
inline sU32 Get32LE(const sU8 *p) { return sU32(p[3]) << 24 | sU32(p[2]) << 16 | sU32(p[1]) << 8 | p[0]; }
inline void Put16BE(sU8 *p, sU32 v) { p[0] = sU8(v >> 8); p[1] = sU8(v); }
inline void Put32BE(sU8 *p, sU32 v) { p[0] = sU8(v >> 24); p[1] = sU8(v >> 16); p[2] = sU8(v >> 8); p[3] = sU8(v); }
inline void Put16LE(sU8 *p, sU32 v) { p[0] = sU8(v); p[1] = sU8(v >> 8); }
inline void Put32LE(sU8 *p, sU32 v) { p[0] = sU8(v); p[1] = sU8(v >> 8); p[2] = sU8(v >> 16); p[3] = sU8(v >> 24); }

sU32 FloatBits(sF32 f)
{
  sU32 u;
  memcpy(&u, &f, 4);
  return u;
}

void LogBad(const sChar *format, const sChar *what)
{
  sLogF(u"gfx", format, what);
}

bool ExtensionIs(const sChar *name, const sChar *ext) { return sCompareStringNoCase(sFindFileExtension(name), ext) == 0; }

sU8 *AllocFile(sDInt size)
{
  sSetAllocSource(__FILE__, __LINE__);
  return static_cast<sU8 *>(sMemAlloc(size, 16, 0));
}
}   // namespace

/****************************************************************************/
/***   Pixel operations                                                   ***/
/****************************************************************************/

sImage::~sImage()
{
  if(Data) sMemFree(Data);
}

namespace
{
thread_local sInt PictureRefusals = 0;
}

sBool sPictureSizeAllowed(sS64 width, sS64 height)
{
  if(sPictureFits(width, height)) return 1;
  // refused before decoding: a file of a few hundred KB may claim a picture of gigabytes
  PictureRefusals++;
  sLogF(u"gfx", u"picture of %d x %d pixels refused: more than %d megapixels or %d pixels on a side\n", sInt(width),
      sInt(height), sInt(sIMAGE_MAXPICTURE >> 20), sIMAGE_MAXSIDE);
  return 0;
}

sInt sPictureRefusals() { return PictureRefusals; }

sBool sImage::TryInit(sInt x, sInt y)
{
  if(x < 0 || y < 0 || sS64(x) * y > sIMAGE_MAXPIXELS) return 0;
  if(Data && x == SizeX && y == SizeY) return 1;
  sU32 *fresh = AllocPixels(sS64(x) * y, sAMF_MAYFAIL);
  if(!fresh) return 0;
  if(Data) sMemFree(Data);
  Data = fresh;
  SizeX = x;
  SizeY = y;
  return 1;
}

void sImage::Init(sInt x, sInt y)
{
  sVERIFY(x >= 0 && y >= 0);
  sVERIFY(sS64(x) * y <= sIMAGE_MAXPIXELS);
  if(Data && x == SizeX && y == SizeY) return;
  if(Data) sMemFree(Data);
  Data = AllocPixels(sS64(x) * y, 0);
  SizeX = x;
  SizeY = y;
}

sImage *sImage::Copy() const
{
  sImage *img = sNEW sImage(SizeX, SizeY);
  if(SizeX && SizeY) memcpy(img->Data, Data, size_t(SizeX) * size_t(SizeY) * 4);
  return img;
}

void sImage::Fill(sU32 color)
{
  sDInt n = sDInt(SizeX) * SizeY;
  for(sDInt i = 0; i < n; i++) Data[i] = color;
}

void sImage::SwapRedBlue()
{
  sDInt n = sDInt(SizeX) * SizeY;
  for(sDInt i = 0; i < n; i++)
  {
    sU32 c = Data[i];
    Data[i] = (c & 0xff00ff00) | ((c >> 16) & 0xff) | ((c & 0xff) << 16);
  }
}

void sImage::Blit(const sImage *src, sInt sx, sInt sy, sInt dx, sInt dy, sInt w, sInt h)
{
  // against the source
  if(sx < 0) { w += sx; dx -= sx; sx = 0; }
  if(sy < 0) { h += sy; dy -= sy; sy = 0; }
  if(sS64(sx) + w > src->SizeX) w = src->SizeX - sx;
  if(sS64(sy) + h > src->SizeY) h = src->SizeY - sy;
  // against this image
  if(dx < 0) { w += dx; sx -= dx; dx = 0; }
  if(dy < 0) { h += dy; sy -= dy; dy = 0; }
  if(sS64(dx) + w > SizeX) w = SizeX - dx;
  if(sS64(dy) + h > SizeY) h = SizeY - dy;
  if(w <= 0 || h <= 0 || sx < 0 || sy < 0 || dx < 0 || dy < 0) return;

  // a blit inside one image copies its rows in the order that keeps the source intact
  bool upward = (src == this && dy > sy);
  for(sInt i = 0; i < h; i++)
  {
    sInt row = upward ? h - 1 - i : i;
    memmove(Data + sDInt(dy + row) * SizeX + dx, src->Data + sDInt(sy + row) * src->SizeX + sx, size_t(w) * 4);
  }
}

void sImage::HeightToNormal(const sImage *height, sF32 scale)
{
  sVERIFY(height != this);
  Init(height->SizeX, height->SizeY);
  sInt w = SizeX, h = SizeY;
  sF32 s = scale / 255.0f;
  auto at = [&](sInt x, sInt y) -> sInt {
    x = (x + w) % w;
    y = (y + h) % h;
    return (height->Data[sDInt(y) * w + x] >> 16) & 0xff;
  };
  for(sInt y = 0; y < h; y++)
  {
    for(sInt x = 0; x < w; x++)
    {
      sInt gx = (at(x + 1, y - 1) + 2 * at(x + 1, y) + at(x + 1, y + 1)) - (at(x - 1, y - 1) + 2 * at(x - 1, y) + at(x - 1, y + 1));
      sInt gy = (at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1)) - (at(x - 1, y - 1) + 2 * at(x, y - 1) + at(x + 1, y - 1));
      sF32 nx = -sF32(gx) * s, ny = -sF32(gy) * s, nz = 1.0f;
      sF32 len = 1.0f / sqrtf(nx * nx + ny * ny + nz * nz);
      nx *= len;
      ny *= len;
      nz *= len;
      sU32 r = sU32((nx + 1.0f) * 127.5f), g = sU32((ny + 1.0f) * 127.5f), b = sU32((nz + 1.0f) * 127.5f);
      if(r > 255) r = 255;
      if(g > 255) g = 255;
      if(b > 255) b = 255;
      Data[sDInt(y) * w + x] = (height->Data[sDInt(y) * w + x] & 0xff000000) | r << 16 | g << 8 | b;
    }
  }
}

void sImage::Transpose()
{
  if(!Data) return;
  sU32 *t = AllocPixels(sS64(SizeX) * SizeY, 0);
  for(sInt y = 0; y < SizeY; y++)
    for(sInt x = 0; x < SizeX; x++) t[sDInt(x) * SizeY + y] = Data[sDInt(y) * SizeX + x];
  sMemFree(Data);
  Data = t;
  sInt s = SizeX;
  SizeX = SizeY;
  SizeY = s;
}

void sImage::ScaleFrom(const sImage *src, sBool filter)
{
  sVERIFY(src != this);
  sInt sw = src->SizeX, sh = src->SizeY;
  if(SizeX == 0 || SizeY == 0 || sw == 0 || sh == 0) return;
  if(filter && SizeX < sw && SizeY < sh)
  {
    for(sInt y = 0; y < SizeY; y++)
    {
      sInt y0 = sInt(sS64(y) * sh / SizeY), y1 = sInt(sS64(y + 1) * sh / SizeY);
      for(sInt x = 0; x < SizeX; x++)
      {
        sInt x0 = sInt(sS64(x) * sw / SizeX), x1 = sInt(sS64(x + 1) * sw / SizeX);
        sU64 sum[4] = {0, 0, 0, 0};
        for(sInt yy = y0; yy < y1; yy++)
        {
          const sU32 *row = src->Data + sDInt(yy) * sw;
          for(sInt xx = x0; xx < x1; xx++)
          {
            sU32 c = row[xx];
            sum[0] += c & 0xff;
            sum[1] += (c >> 8) & 0xff;
            sum[2] += (c >> 16) & 0xff;
            sum[3] += c >> 24;
          }
        }
        sU64 n = sU64(y1 - y0) * sU64(x1 - x0);
        Data[sDInt(y) * SizeX + x] = sU32(sum[0] / n) | sU32(sum[1] / n) << 8 | sU32(sum[2] / n) << 16 | sU32(sum[3] / n) << 24;
      }
    }
  }
  else
  {
    for(sInt y = 0; y < SizeY; y++)
    {
      const sU32 *row = src->Data + sDInt(sS64(y) * sh / SizeY) * sw;
      for(sInt x = 0; x < SizeX; x++) Data[sDInt(y) * SizeX + x] = row[sS64(x) * sw / SizeX];
    }
  }
}

sImage *sImage::Scaled(sInt x, sInt y) const
{
  sImage *img = sNEW sImage(x, y);
  img->ScaleFrom(this, 1);
  return img;
}

sImage *sImage::Half(sBool gamma) const
{
  sVERIFY(SizeX > 1);
  sVERIFY(SizeY > 1);
  sImage *img = sNEW sImage(SizeX / 2, SizeY / 2);
  for(sInt y = 0; y < img->SizeY; y++)
  {
    const sU32 *r0 = Data + sDInt(2 * y) * SizeX;
    const sU32 *r1 = r0 + SizeX;
    sU32 *d = img->Data + sDInt(y) * img->SizeX;
    for(sInt x = 0; x < img->SizeX; x++)
    {
      sU32 p[4] = {r0[2 * x], r0[2 * x + 1], r1[2 * x], r1[2 * x + 1]};
      sU32 out = 0;
      for(sInt ch = 0; ch < 4; ch++)
      {
        sInt shift = 8 * ch;
        sU32 v;
        if(gamma && ch < 3)
        {
          sU32 sq = 0;
          for(sInt k = 0; k < 4; k++)
          {
            sU32 c = (p[k] >> shift) & 0xff;
            sq += c * c;
          }
          // black stays black: the bias alone would lift it to 11
          v = sq == 0 ? 0 : sU32(sqrt(sF64((sq + 512) >> 2)));
          if(v > 255) v = 255;
        }
        else
        {
          v = (((p[0] >> shift) & 0xff) + ((p[1] >> shift) & 0xff) + ((p[2] >> shift) & 0xff) + ((p[3] >> shift) & 0xff) + 2) >> 2;
        }
        out |= v << shift;
      }
      d[x] = out;
    }
  }
  return img;
}

void sImage::BlurRows(sInt r)
{
  if(r <= 0 || SizeX == 0) return;
  sInt w = SizeX;
  sInt n = 2 * r + 1;
  sU32 *line = AllocPixels(w, 0);
  for(sInt y = 0; y < SizeY; y++)
  {
    sU32 *row = Data + sDInt(y) * w;
    memcpy(line, row, size_t(w) * 4);
    auto px = [&](sInt x) { return line[x < 0 ? 0 : (x >= w ? w - 1 : x)]; };
    sU32 sum[4] = {0, 0, 0, 0};
    for(sInt k = -r; k <= r; k++)
    {
      sU32 c = px(k);
      for(sInt ch = 0; ch < 4; ch++) sum[ch] += (c >> (8 * ch)) & 0xff;
    }
    for(sInt x = 0; x < w; x++)
    {
      row[x] = (sum[0] / n) | (sum[1] / n) << 8 | (sum[2] / n) << 16 | (sum[3] / n) << 24;
      sU32 in = px(x + r + 1), out = px(x - r);
      for(sInt ch = 0; ch < 4; ch++) sum[ch] += ((in >> (8 * ch)) & 0xff) - ((out >> (8 * ch)) & 0xff);
    }
  }
  sMemFree(line);
}

void sImage::Blur(sInt r, sInt passes)
{
  if(r == 0) return;
  for(sInt i = 0; i < passes; i++) BlurRows(r);
  Transpose();
  for(sInt i = 0; i < passes; i++) BlurRows(r);
  Transpose();
}

void sImage::Glow(sInt r)
{
  if(r <= 0 || !Data) return;
  sImage *src = Copy();
  sInt w = SizeX, h = SizeY;
  sInt r2 = r * r;
  // weight falls linearly with the distance: 256 at the pixel itself, 0 at distance r
  for(sInt y = 0; y < h; y++)
  {
    for(sInt x = 0; x < w; x++)
    {
      sU32 sum[3] = {0, 0, 0};
      for(sInt dy = -r + 1; dy < r; dy++)
      {
        sInt yy = y + dy;
        if(yy < 0 || yy >= h) continue;
        for(sInt dx = -r + 1; dx < r; dx++)
        {
          sInt xx = x + dx;
          sInt d2 = dx * dx + dy * dy;
          if(xx < 0 || xx >= w || d2 >= r2) continue;
          sU32 wgt = sU32(256.0f * (1.0f - sqrtf(sF32(d2)) / sF32(r)));
          sU32 c = src->Data[sDInt(yy) * w + xx];
          sum[0] += (c & 0xff) * wgt;
          sum[1] += ((c >> 8) & 0xff) * wgt;
          sum[2] += ((c >> 16) & 0xff) * wgt;
        }
      }
      sU32 out = src->Data[sDInt(y) * w + x] & 0xff000000;
      for(sInt ch = 0; ch < 3; ch++)
      {
        sU32 v = sum[ch] >> 8;
        out |= (v > 255 ? 255 : v) << (8 * ch);
      }
      Data[sDInt(y) * w + x] = out;
    }
  }
  sDELETE(src);
}

/****************************************************************************/
/***   Softimage PIC                                                      ***/
/****************************************************************************/

namespace
{
constexpr sU32 PicMagic = 0x5380F634;

// Reads one packet's part of a row; 0 when the data ends early or a run does not end
// exactly at the row's width.
// A run past the width refuses the file instead of stopping the program: a damaged picture must not end the show.
bool ReadPicRow(const sU8 *&p, const sU8 *end, sU32 *row, sInt width, bool rle, bool alpha)
{
  sInt valueSize = alpha ? 1 : 3;
  auto put = [&](sInt x, const sU8 *v) {
    if(alpha) row[x] = (row[x] & 0x00ffffff) | sU32(v[0]) << 24;
    else row[x] = 0xff000000 | sU32(v[0]) << 16 | sU32(v[1]) << 8 | v[2];
  };
  if(!rle)
  {
    if(end - p < sDInt(width) * valueSize) return false;
    for(sInt x = 0; x < width; x++, p += valueSize) put(x, p);
    return true;
  }
  sInt x = 0;
  while(x < width)
  {
    if(p >= end) return false;
    sInt c = *p++;
    if(c < 128)
    {
      sInt n = c + 1;
      if(n > width - x || end - p < sDInt(n) * valueSize) return false;
      for(sInt i = 0; i < n; i++, p += valueSize) put(x++, p);
    }
    else
    {
      sInt n;
      if(c == 128)
      {
        if(end - p < 2) return false;
        n = sInt(Get16BE(p));
        p += 2;
      }
      else
      {
        n = c - 127;
      }
      if(n > width - x || end - p < valueSize) return false;
      for(sInt i = 0; i < n; i++) put(x++, p);
      p += valueSize;
    }
  }
  return true;
}
}   // namespace

sBool sImage::LoadPIC(const sU8 *data, sDInt size)
{
  if(size < 108 || Get32BE(data) != PicMagic || memcmp(data + 88, "PICT", 4) != 0) return 0;
  sInt width = sInt(Get16BE(data + 92));
  sInt height = sInt(Get16BE(data + 94));
  const sU8 *p1 = data + 104;
  if(p1[1] != 8 || p1[3] != 0xe0) return 0;
  bool rle = p1[2] == 2;
  bool alpha = false;
  const sU8 *p = data + 108;
  if(p1[0])
  {
    if(size < 112) return 0;
    const sU8 *p2 = data + 108;
    if(p2[0] != 0 || p2[1] != 8 || p2[3] != 0x10) return 0;
    if(rle && p2[2] != 2) return 0;
    alpha = true;
    p = data + 112;
  }
  // the rows must fit what is left of the file: uncompressed rows exactly, run-length rows
  // at least one count byte and one value per packet; checked before the picture is
  // allocated
  sS64 left = sS64(size) - (p - data);
  if(!sPictureSizeAllowed(width, height)) return 0;
  sS64 rowBytes = rle ? 4 + (alpha ? 2 : 0) : sS64(width) * (alpha ? 4 : 3);
  if(rle ? (width > 0 && sS64(height) * rowBytes > left) : sS64(height) * rowBytes != left)
  {
    sLogF(u"gfx", u"PIC file of %d x %d pixels does not match its size\n", width, height);
    return 0;
  }
  if(!TryInit(width, height))
  {
    sLogF(u"gfx", u"PIC file of %d x %d pixels is too large\n", width, height);
    return 0;
  }
  const sU8 *end = data + size;
  for(sInt y = 0; y < height; y++)
  {
    sU32 *row = Data + sDInt(y) * width;
    if(!ReadPicRow(p, end, row, width, rle, false) || (alpha && !ReadPicRow(p, end, row, width, rle, true)))
    {
      sLogF(u"gfx", u"PIC file: row %d is short or its runs do not end at the width\n", y);
      return 0;
    }
  }
  return p == end;
}

sU8 *sImage::EncodePIC(sDInt &size) const
{
  if(SizeX > 0xffff || SizeY > 0xffff) return nullptr;
  size = 112 + sDInt(SizeX) * SizeY * 4;
  sU8 *buf = AllocFile(size);
  memset(buf, 0, 112);
  Put32BE(buf, PicMagic);
  Put32BE(buf + 4, FloatBits(2.62f));
  const char *comment = "sparkvane picture";
  memcpy(buf + 8, comment, strlen(comment));
  memcpy(buf + 88, "PICT", 4);
  Put16BE(buf + 92, sU32(SizeX));
  Put16BE(buf + 94, sU32(SizeY));
  Put32LE(buf + 96, FloatBits(1.0f));
  Put16BE(buf + 100, 3);
  const sU8 packets[8] = {1, 8, 0, 0xe0, 0, 8, 0, 0x10};
  memcpy(buf + 104, packets, 8);
  sU8 *d = buf + 112;
  for(sInt y = 0; y < SizeY; y++)
  {
    const sU32 *row = Data + sDInt(y) * SizeX;
    for(sInt x = 0; x < SizeX; x++)
    {
      *d++ = sU8(row[x] >> 16);
      *d++ = sU8(row[x] >> 8);
      *d++ = sU8(row[x]);
    }
    for(sInt x = 0; x < SizeX; x++) *d++ = sU8(row[x] >> 24);
  }
  sVERIFY(d == buf + size);
  return buf;
}

/****************************************************************************/
/***   TGA                                                                ***/
/****************************************************************************/

// Width and height at 12 and 14, then 32-bit pixels B, G, R, A, rows from the bottom.
sBool sImage::LoadTGA(const sU8 *data, sDInt size)
{
  if(size < 18) return 0;
  sInt idLength = data[0];
  sInt mapType = data[1];
  sInt type = data[2];
  sInt mapLength = sInt(Get16LE(data + 5));
  sInt mapBits = data[7];
  sInt width = sInt(Get16LE(data + 12));
  sInt height = sInt(Get16LE(data + 14));
  sInt bits = data[16];
  sInt desc = data[17];
  if(!sPictureSizeAllowed(width, height)) return 0;
  // refused by the header, not only when short: a 24-bit or run-length file with a footer would read as garbage
  if(type != 2 || bits != 32 || mapType > 1) return 0;
  // rows from right to left or interleaved are refused, where they would show scrambled
  if(desc & 0xd0) return 0;
  // the pixels start behind the ID field and any colour map, where from 18 the picture would show shifted
  sS64 offset = 18 + sS64(idLength) + (mapType ? sS64(mapLength) * ((mapBits + 7) / 8) : 0);
  sS64 pixels = sS64(width) * height;
  if(sS64(size) - offset < pixels * 4) return 0;
  if(!TryInit(width, height)) return 0;

  // rows from the top (descriptor bit 5) are read as such, where bottom-up they would show upside down
  const bool topDown = (desc & 0x20) != 0;
  const sU8 *p = data + offset;
  for(sInt r = 0; r < height; r++)
  {
    sU32 *row = Data + sDInt(topDown ? r : height - 1 - r) * width;
    for(sInt x = 0; x < width; x++, p += 4) row[x] = sU32(p[3]) << 24 | sU32(p[2]) << 16 | sU32(p[1]) << 8 | p[0];
  }
  return 1;
}

sU8 *sImage::EncodeTGA(sDInt &size) const
{
  if(SizeX > 0xffff || SizeY > 0xffff) return nullptr;
  size = 18 + sDInt(SizeX) * SizeY * 4;
  sU8 *buf = AllocFile(size);
  memset(buf, 0, 18);
  buf[2] = 2;
  Put16LE(buf + 12, sU32(SizeX));
  Put16LE(buf + 14, sU32(SizeY));
  buf[16] = 32;
  sU8 *d = buf + 18;
  for(sInt y = SizeY - 1; y >= 0; y--)
  {
    const sU32 *row = Data + sDInt(y) * SizeX;
    for(sInt x = 0; x < SizeX; x++, d += 4) Put32LE(d, row[x]);
  }
  sVERIFY(d == buf + size);
  return buf;
}

/****************************************************************************/
/***   BMP                                                                ***/
/****************************************************************************/

sBool sImage::LoadBMP(const sU8 *data, sDInt size)
{
  if(size < 54 || Get16LE(data) != 0x4d42) return 0;
  sS64 offset = Get32LE(data + 10);
  sS64 infoSize = Get32LE(data + 14);
  sInt width = sInt(Get32LE(data + 18));
  sInt height = sInt(Get32LE(data + 22));
  sInt planes = sInt(Get16LE(data + 26));
  sInt bits = sInt(Get16LE(data + 28));
  sU32 compression = Get32LE(data + 30);
  if(width <= 0 || height == 0 || height == sInt(0x80000000) || planes != 1 || compression != 0) return 0;
  // a negative height stores the rows from the top
  bool topDown = height < 0;
  if(topDown) height = -height;
  // the picture's size first, in 64 bits: the row and file products below stay far inside
  // them only for a picture that may be made at all
  if(!sPictureSizeAllowed(width, height)) return 0;
  if(bits != 8 && bits != 24 && bits != 32)
  {
    sLogF(u"ERROR", u"can't load bmp with %d bits per pixel\n", bits);
    return 0;
  }
  sS64 stride = ((sS64(width) * bits / 8) + 3) & ~sS64(3);
  if(offset < 0 || offset > size || stride * height > sS64(size) - offset) return 0;
  const sU8 *palette = nullptr;
  if(bits == 8)
  {
    // the palette follows the info header
    if(infoSize < 40 || 14 + infoSize + 1024 > sS64(size) || size < 1078) return 0;
    palette = data + 14 + infoSize;
  }
  if(!TryInit(width, height)) return 0;
  for(sInt y = 0; y < height; y++)
  {
    const sU8 *s = data + offset + stride * (topDown ? y : height - 1 - y);
    sU32 *d = Data + sDInt(y) * width;
    for(sInt x = 0; x < width; x++)
    {
      switch(bits)
      {
      case 8:
      {
        const sU8 *e = palette + 4 * s[x];
        d[x] = 0xff000000 | sU32(e[2]) << 16 | sU32(e[1]) << 8 | e[0];
        break;
      }
      case 24: d[x] = 0xff000000 | sU32(s[3 * x + 2]) << 16 | sU32(s[3 * x + 1]) << 8 | s[3 * x]; break;
      default: d[x] = Get32LE(s + 4 * x); break;
      }
    }
  }
  return 1;
}

sU8 *sImage::EncodeBMP(sDInt &size) const
{
  sS64 stride = (sS64(SizeX) * 3 + 3) & ~sS64(3);
  sS64 total = 1078 + stride * SizeY;
  if(total > 0x7fffffff) return nullptr;
  size = sDInt(total);
  sU8 *buf = AllocFile(size);
  memset(buf, 0, 1078);
  buf[0] = 'B';
  buf[1] = 'M';
  Put32LE(buf + 2, sU32(size));
  Put32LE(buf + 10, 1078);
  Put32LE(buf + 14, 40);
  Put32LE(buf + 18, sU32(SizeX));
  Put32LE(buf + 22, sU32(SizeY));
  Put16LE(buf + 26, 1);
  Put16LE(buf + 28, 24);
  sU8 *d = buf + 1078;
  for(sInt y = SizeY - 1; y >= 0; y--)
  {
    const sU32 *row = Data + sDInt(y) * SizeX;
    sU8 *start = d;
    for(sInt x = 0; x < SizeX; x++)
    {
      *d++ = sU8(row[x]);
      *d++ = sU8(row[x] >> 8);
      *d++ = sU8(row[x] >> 16);
    }
    while(d < start + stride) *d++ = 0;
  }
  sVERIFYAS(d == buf + size, u"ptr == data + Size");
  return buf;
}

/****************************************************************************/
/***   Files                                                              ***/
/****************************************************************************/

sBool sImage::Load(const sChar *name)
{
  sInt kind;
  if(ExtensionIs(name, u"pic")) kind = 0;
  else if(ExtensionIs(name, u"tga")) kind = 1;
  else if(ExtensionIs(name, u"bmp")) kind = 2;
  else if(ExtensionIs(name, u"jpg") || ExtensionIs(name, u"png")) kind = 3;
  else return 0;

  sFile *file = sOpenFile(name, sFA_READ);
  if(!file) return 0;
  const sInt refusals = sPictureRefusals();
  sBool ok = 0;
  const sU8 *data = file->LoadWhole();
  sS64 size = file->GetSize();
  if(data)
  {
    switch(kind)
    {
    case 0: ok = LoadPIC(data, sDInt(size)); break;
    case 1: ok = LoadTGA(data, sDInt(size)); break;
    case 2: ok = LoadBMP(data, sDInt(size)); break;
    default: ok = LoadCompressed(data, sDInt(size)); break;
    }
  }
  sDELETE(file);
  // a picture refused for its size has its line already
  if(!ok && sPictureRefusals() == refusals) LogBad(u"could not load image <%s>\n", name);
  return ok;
}

sBool sImage::Save(const sChar *name) const
{
  sDInt size = 0;
  sU8 *buf;
  if(ExtensionIs(name, u"bmp")) buf = EncodeBMP(size);
  else if(ExtensionIs(name, u"pic")) buf = EncodePIC(size);
  else if(ExtensionIs(name, u"tga")) buf = EncodeTGA(size);
  else return 0;
  if(!buf) return 0;
  sBool ok = sSaveFileData(name, buf, size);
  sMemFree(buf);
  return ok;
}

/****************************************************************************/
/***   Texture-ready data                                                 ***/
/****************************************************************************/

sTextureFormatInfo sGetTextureFormatInfo(sInt format)
{
  switch(format)
  {
  case 1: case 2: case 5: case 19: return {32, 1, 1, 0};
  case 6: case 10: case 20: return {64, 1, 1, 0};
  case 7: return {128, 1, 1, 0};
  case 8: case 25: case 26: case 27: case 28: case 30: case 31: case 32: case 34: case 37: return {16, 1, 1, 0};
  case 11: case 12: case 24: case 39: return {8, 1, 1, 0};
  case 13: case 14: return {4, 4, 4, 0};
  case 15: case 16: case 29: case 36: return {8, 4, 4, 0};
  case 17: return {4, 2, 1, 16};
  case 18: return {8, 1, 1, 256};
  case 23: return {4, 1, 1, 0};
  case 33: case 35: case 38: return {24, 1, 1, 0};
  default: sVERIFYFALSE;
  }
}

sDInt sTextureLevelBytes(sInt format, sInt x, sInt y)
{
  sTextureFormatInfo info = sGetTextureFormatInfo(format);
  sS64 bx = (sS64(x) + info.BlockX - 1) / info.BlockX;
  sS64 by = (sS64(y) + info.BlockY - 1) / info.BlockY;
  return sDInt((bx * by * info.BlockX * info.BlockY * info.BitsPerPixel + 7) / 8);
}

sS64 sGetImageDataBytes() { return ImageDataBytes.load(); }

sImageData::~sImageData()
{
  if(Data)
  {
    sMemFree(Data);
    ImageDataBytes -= DataSize;
  }
  if(Palette) sMemFree(Palette);
}

void sImageData::Init(sInt format, sInt mipmaps, sInt x, sInt y, sInt z)
{
  sVERIFY((format&sTEX_TYPE_MASK)!=0);
  sVERIFY(x > 0 && y > 0 && z > 0);
  sInt code = format & 0xff;
  sTextureFormatInfo info = sGetTextureFormatInfo(code);
  sInt type = format & sTEX_TYPE_MASK;
  sInt maxLevels = (format & sTEX_NOMIPMAPS) ? 1 : (mipmaps ? mipmaps : 32);

  sInt levels = 0;
  sS64 chain = 0, bytes = 0;
  for(sInt i = 0; i < maxLevels && i < 31; i++)
  {
    sInt lx = x >> i, ly = y >> i;
    if(lx < info.BlockX || ly < info.BlockY) break;
    // the first level's pixels, then a quarter of the level before (an eighth of a volume)
    if(i == 0) bytes = sS64(info.BitsPerPixel) * x * y * (type == sTEX_VOLUME ? z : 1) / 8;
    else bytes /= type == sTEX_VOLUME ? 8 : 4;
    // a level of partial blocks (or of half bytes) is never counted smaller than it is
    sInt lz = type == sTEX_VOLUME && (z >> i) > 0 ? z >> i : 1;
    bytes = std::max(bytes, sS64(sTextureLevelBytes(code, lx, ly)) * lz);
    chain += bytes;
    levels++;
  }
  sS64 face = 0, total;
  if(type == sTEX_2D || type == sTEX_VOLUME)
  {
    total = chain;
  }
  else if(type == sTEX_CUBE)
  {
    face = (chain + 3) & ~sS64(3);
    total = face * 6;
  }
  else
  {
    sVERIFYFALSE;
  }

  Format = format;
  SizeX = x;
  SizeY = y;
  SizeZ = type == sTEX_VOLUME ? z : 1;
  Mipmaps = levels;
  BitsPerPixel = info.BitsPerPixel;
  sVERIFY(Mipmaps>=1);

  if(!Data || total != DataSize)
  {
    if(Data)
    {
      sMemFree(Data);
      ImageDataBytes -= DataSize;
    }
    sSetAllocSource(__FILE__, __LINE__);
    Data = static_cast<sU8 *>(sMemAlloc(sDInt(total), 16, 0));
    ImageDataBytes += total;
  }
  DataSize = sDInt(total);
  DataSizeCopy = DataSize;
  FaceSize = sDInt(face);

  if(info.PaletteCount != PaletteCount)
  {
    if(Palette) sMemFree(Palette);
    Palette = nullptr;
    PaletteCount = info.PaletteCount;
    if(PaletteCount)
    {
      sSetAllocSource(__FILE__, __LINE__);
      Palette = static_cast<sF32 *>(sMemAlloc(PaletteCount * 4 * sizeof(sF32), 16, 0));
      memset(Palette, 0, PaletteCount * 4 * sizeof(sF32));
    }
  }
  sVERIFY(!(Palette && PaletteCount==0));
}

sTexture2D *sImageData::CreateTexture() const { return sCreateTexture(this); }

sU8 *sImageData::LevelData(sInt level) const
{
  sVERIFY((Format & sTEX_TYPE_MASK) == sTEX_2D);
  sVERIFY(level >= 0 && level < Mipmaps);
  sInt code = Format & 0xff;
  sDInt offset = 0;
  for(sInt i = 0; i < level; i++) offset += sTextureLevelBytes(code, SizeX >> i, SizeY >> i);
  return Data + offset;
}

namespace
{
sInt Luma(sU32 c) { return sInt((((c >> 16) & 0xff) * 77 + ((c >> 8) & 0xff) * 150 + (c & 0xff) * 29) >> 8); }

// One level of x * y pixels into the format; the format word's flags and the mode word
// go to the block packing.
void ConvertLevel(sU8 *dest, const sU32 *src, sInt x, sInt y, sInt format, sInt mode)
{
  sInt code = format & sTEX_FORMAT;
  sDInt n = sDInt(x) * y;
  switch(code)
  {
  case 1:
  case 19: memcpy(dest, src, size_t(n) * 4); break;
  case 2:
    for(sDInt i = 0; i < n; i++)
    {
      sU32 c = src[i];
      dest[4 * i + 0] = sU8(((c >> 16) & 0xff) + 128);
      dest[4 * i + 1] = sU8(((c >> 8) & 0xff) + 128);
      dest[4 * i + 2] = sU8((c & 0xff) + 128);
      dest[4 * i + 3] = sU8((c >> 24) - 128);
    }
    break;
  case 7:
    for(sDInt i = 0; i < n; i++)
    {
      sU32 c = src[i];
      sF32 f[4] = {sF32((c >> 16) & 0xff) / 255.0f, sF32((c >> 8) & 0xff) / 255.0f, sF32(c & 0xff) / 255.0f, sF32(c >> 24) / 255.0f};
      memcpy(dest + 16 * i, f, 16);
    }
    break;
  case 11:
    for(sDInt i = 0; i < n; i++) dest[i] = sU8(src[i] >> 24);
    break;
  case 12:
    for(sDInt i = 0; i < n; i++) dest[i] = sU8(Luma(src[i]));
    break;
  case 24:
    for(sDInt i = 0; i < n; i++) dest[i] = sU8((src[i] >> 24) & 0xf0) | sU8(Luma(src[i]) >> 4);
    break;
  case 25:
  case 27:
  case 28:
  case 31:
    for(sDInt i = 0; i < n; i++)
    {
      sU32 c = src[i];
      sU32 a = c >> 24, r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
      sU32 v;
      switch(code)
      {
      case 25: v = a << 8 | sU32(Luma(c)); break;
      case 27: v = (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3); break;
      case 28: v = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3); break;
      default: v = (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4); break;
      }
      Put16LE(dest + 2 * i, v);
    }
    break;
  case 13:
  case 16:
  case 29:
  case 36: sPackDXT(dest, src, x, y, format, mode); break;
  case 14:
  case 15:
  {
    if(sIsGfxActive() && !(format & 0x800000))
    {
      sPackDXT(dest, src, x, y, format, mode);
      break;
    }
    // without a device the gpu layer's block encoder packs them: our packer takes neither and would stop the program
    std::vector<sU32> pixels(src, src + n);
    if(code == 14)
      for(sU32 &p : pixels) p = (p & 0x00ffffff) | ((p >> 24) >= 128 ? 0xff000000u : 0u);
    bool ok = plat::gpu::EncodeBlocks(code == 14 ? plat::gpu::FMT_DXT1 : plat::gpu::FMT_DXT3, pixels.data(), x, y, x, mode > 0, dest);
    sVERIFY(ok);
    break;
  }
  default: sFatalF(u"image data: no conversion into texture format %d\n", code);
  }
}
}   // namespace

void sImageData::ConvertFrom(const sImage *imgorig)
{
  sVERIFY(imgorig->SizeX == SizeX);
  sVERIFY(imgorig->SizeY == SizeY);
  sVERIFY((Format&sTEX_TYPE_MASK)==sTEX_2D);
  sVERIFY(CodecType == sICT_RAW);
  sInt code = Format & 0xff;
  const sImage *img = imgorig;
  sImage *owned = nullptr;
  sU8 *dest = Data;
  for(sInt level = 0; level < Mipmaps; level++)
  {
    sVERIFY(img->SizeX == (SizeX >> level) && img->SizeY == (SizeY >> level));
    ConvertLevel(dest, img->Data, img->SizeX, img->SizeY, Format, Mode);
    dest += sTextureLevelBytes(code, img->SizeX, img->SizeY);
    if(level + 1 < Mipmaps)
    {
      sImage *half = img->Half(0);
      if(owned) sDELETE(owned);
      owned = half;
      img = half;
    }
  }
  sVERIFY(dest <= Data + DataSize);
  // the room the chain's count gives beyond the levels is zero, never stale memory
  memset(dest, 0, size_t(Data + DataSize - dest));
  if(owned) sDELETE(owned);
}
