// The drawing kit of the generator.
#include "draw.hpp"

#include "base/gdi.hpp"

#include <cmath>
#include <vector>

namespace datagen
{

sF32 Clamp01(sF32 x)
{
  return x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x;
}

sF32 SmoothStep(sF32 e0, sF32 e1, sF32 x)
{
  sF32 t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0f - 2.0f * t);
}

sU32 Argb(sF32 a, sF32 r, sF32 g, sF32 b)
{
  auto byte = [](sF32 c) { return sU32(Clamp01(c) * 255.0f + 0.5f); };
  return (byte(a) << 24) | (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

sF32 Glow(sF32 u, sF32 v)
{
  // a bell that reaches exactly 0 at the rim, so the quad's edge never shows
  const sF32 rim = std::exp(-4.0f);
  sF32 r2 = u * u + v * v;
  if(r2 >= 1.0f) return 0.0f;
  return (std::exp(-4.0f * r2) - rim) / (1.0f - rim);
}

sF32 Star(sF32 u, sF32 v, sInt rays)
{
  sF32 r = std::sqrt(u * u + v * v);
  if(r >= 1.0f) return 0.0f;
  sF32 core = std::exp(-(r * r) / (0.07f * 0.07f));
  sF32 fade = (1.0f - r) * (1.0f - r);
  sF32 halo = 0.45f * fade * fade * fade;
  // thin rays: a high power of the angle's cosine, narrower towards the tips
  sF32 angle = std::atan2(v, u);
  sF32 ray = std::pow(std::fabs(std::cos(angle * rays * 0.5f)), 8.0f + 60.0f * r);
  return Clamp01(core + halo + ray * fade);
}

/****************************************************************************/

Noise::Noise(sU32 seed, sInt period) : Seed(seed), Period(period)
{
  sVERIFY(period > 0);
}

sF32 Noise::Cell(sInt x, sInt y) const
{
  x = ((x % Period) + Period) % Period;
  y = ((y % Period) + Period) % Period;
  // an integer hash of the wrapped cell: the same cell always gives the same value
  sU32 h = Seed ^ (sU32(x) * 0x8da6b343u) ^ (sU32(y) * 0xd8163841u);
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return (h & 0xffffff) / sF32(0xffffff);
}

sF32 Noise::At(sF32 x, sF32 y, sInt octaves) const
{
  sF32 sum = 0.0f, weight = 0.5f, total = 0.0f;
  sInt scale = 1;
  for(sInt o = 0; o < octaves; o++)
  {
    sF32 fx = x * scale, fy = y * scale;
    sInt ix = sInt(std::floor(fx)), iy = sInt(std::floor(fy));
    sF32 tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    sF32 a = Cell(ix, iy) + (Cell(ix + 1, iy) - Cell(ix, iy)) * tx;
    sF32 b = Cell(ix, iy + 1) + (Cell(ix + 1, iy + 1) - Cell(ix, iy + 1)) * tx;
    sum += (a + (b - a) * ty) * weight;
    total += weight;
    weight *= 0.5f;
    scale *= 2;
  }
  return sum / total;
}

/****************************************************************************/

void FillRect(sImage &img, sInt x0, sInt y0, sInt x1, sInt y1, sU32 color)
{
  if(x0 < 0) x0 = 0;
  if(y0 < 0) y0 = 0;
  if(x1 > img.SizeX) x1 = img.SizeX;
  if(y1 > img.SizeY) y1 = img.SizeY;
  for(sInt y = y0; y < y1; y++)
    for(sInt x = x0; x < x1; x++)
      img.Data[y * img.SizeX + x] = color;
}

void FrameRect(sImage &img, sInt x0, sInt y0, sInt x1, sInt y1, sInt thickness, sU32 color)
{
  FillRect(img, x0, y0, x1, y0 + thickness, color);
  FillRect(img, x0, y1 - thickness, x1, y1, color);
  FillRect(img, x0, y0, x0 + thickness, y1, color);
  FillRect(img, x1 - thickness, y0, x1, y1, color);
}

void PrintCentered(sImage &img, const sChar *text, sInt cx, sInt cy, sInt height, sBool bold, sU32 color)
{
  // the stand-in pictures carry their names in smooth lettering
  sFont2D font(u"DejaVu Sans", height, sF2C_ANTIALIASED | (bold ? sF2C_BOLD : 0));
  sInt width = 0;
  for(const sChar *p = text; *p; p++)
  {
    sFontCharInfo info;
    font.GetCharInfo(&info, *p);
    width += info.Advance;
  }
  const sInt pad = height / 2;
  const sInt w = width + 2 * pad, h = font.GetHeight() + 2 * pad;
  std::vector<sU32> pixels(size_t(w) * h);
  sSetColor(1, 0xffffffff);
  sSetColor(0, 0xff000000);
  sRender2DBegin(w, h);
  font.SetColor(1, 0);
  font.Print(0, pad, pad, text);
  sRender2DGetPixels(pixels.data());
  sRender2DEnd();

  // the ink's box is centred, not the cell's, so capitals sit in the middle
  sInt ix0 = w, iy0 = h, ix1 = -1, iy1 = -1;
  for(sInt y = 0; y < h; y++)
    for(sInt x = 0; x < w; x++)
      if(pixels[size_t(y) * w + x] & 0xff00)
      {
        ix0 = x < ix0 ? x : ix0;
        iy0 = y < iy0 ? y : iy0;
        ix1 = x > ix1 ? x : ix1;
        iy1 = y > iy1 ? y : iy1;
      }
  if(ix1 < 0)
    sFatalF(u"datagen: the font drew nothing of '%s'\n", text);
  const sInt ox = cx - (ix0 + ix1 + 1) / 2, oy = cy - (iy0 + iy1 + 1) / 2;

  const sF32 ca = (color >> 24) / 255.0f;
  for(sInt y = 0; y < h; y++)
    for(sInt x = 0; x < w; x++)
    {
      sInt dx = ox + x, dy = oy + y;
      if(dx < 0 || dy < 0 || dx >= img.SizeX || dy >= img.SizeY) continue;
      sF32 k = ((pixels[size_t(y) * w + x] >> 8) & 0xff) / 255.0f * ca;
      if(k <= 0.0f) continue;
      sU32 &d = img.Data[dy * img.SizeX + dx];
      auto mix = [&](sInt shift) {
        sF32 a = ((d >> shift) & 0xff) / 255.0f, b = ((color >> shift) & 0xff) / 255.0f;
        return a + (b - a) * k;
      };
      sF32 da = (d >> 24) / 255.0f;
      d = Argb(da + k * (1.0f - da), mix(16), mix(8), mix(0));
    }
}

}   // namespace datagen
