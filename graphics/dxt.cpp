// DXT block packing: principal-axis end points, nearest-entry matching along the axis and
// least-squares refinement of the end points for the colour part; the min/max ramp for
// the alpha part.

#include "graphics/dxt.hpp"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
// Tables of the packer, built on first use. The end-point tables depend on the
// interpolation rule (mode bit 0x40): one set for each rule, each built once.
sU8 Expand5[32];
sU8 Expand6[64];
sU8 QuantRB[272];   // values -8..263 quantised to 5 bits and expanded again
sU8 QuantG[272];    // the same with 6 bits
sU8 OMatch5[2][256][2];
sU8 OMatch6[2][256][2];
std::once_flag BaseTablesBuilt;
std::once_flag RuleTablesBuilt[2];

// x * k / 255 rounded, the exact-division trick of the 8-bit pipeline
inline sInt Mul8(sInt x, sInt k)
{
  sInt t = x * k + 128;
  return (t + (t >> 8)) >> 8;
}
inline sInt To5(sInt c) { return Mul8(c, 31); }
inline sInt To6(sInt c) { return Mul8(c, 63); }
inline sInt Clamp(sInt v, sInt lo, sInt hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline sInt Entry2(sInt a, sInt b, bool alt) { return alt ? (5 * a + 3 * b) >> 3 : a + Mul8(b - a, 85); }
inline sInt Entry3(sInt a, sInt b, bool alt) { return alt ? (3 * a + 5 * b) >> 3 : a + Mul8(b - a, 170); }

void BuildMatch(sU8 (*table)[2], const sU8 *expand, sInt size, bool alt)
{
  for(sInt v = 0; v < 256; v++)
  {
    sInt bestErr = INT_MAX;
    for(sInt b = 0; b < size; b++)
    {
      for(sInt a = 0; a < size; a++)
      {
        sInt ea = expand[a];
        sInt eb = expand[b];
        sInt err = abs(Entry2(ea, eb, alt) - v) + abs(ea - eb) * 3 / 100;
        if(err < bestErr)
        {
          bestErr = err;
          table[v][0] = sU8(a);
          table[v][1] = sU8(b);
        }
      }
    }
  }
}

void BuildBaseTables()
{
  for(sInt i = 0; i < 32; i++) Expand5[i] = sU8((i << 3) | (i >> 2));
  for(sInt i = 0; i < 64; i++) Expand6[i] = sU8((i << 2) | (i >> 4));
  for(sInt i = 0; i < 272; i++)
  {
    sInt v = Clamp(i - 8, 0, 255);
    QuantRB[i] = Expand5[To5(v)];
    QuantG[i] = Expand6[To6(v)];
  }
}

// The tables of the mode word's rule, ready; its index into OMatch5 and OMatch6.
// Kept per rule and built once, not rebuilt when the rule changes: pictures are packed on
// several threads at once, and a table rewritten under a packer corrupts its blocks.
sInt PrepareTables(sInt mode)
{
  sInt rule = (mode & sDXT_ALTINTERP) ? 1 : 0;
  std::call_once(RuleTablesBuilt[rule], [rule] {
    std::call_once(BaseTablesBuilt, BuildBaseTables);
    BuildMatch(OMatch5[rule], Expand5, 32, rule != 0);
    BuildMatch(OMatch6[rule], Expand6, 64, rule != 0);
  });
  return rule;
}

struct Colors
{
  sInt C[16][3];   // red, green, blue of the 16 pixels
};

void Unpack(sU16 c, sInt *rgb)
{
  rgb[0] = Expand5[c >> 11];
  rgb[1] = Expand6[(c >> 5) & 63];
  rgb[2] = Expand5[c & 31];
}

sU16 Pack565(const sInt *rgb) { return sU16(To5(rgb[0]) << 11 | To6(rgb[1]) << 5 | To5(rgb[2])); }

sU16 MatchedPair(const sInt *rgb, sInt which, sInt rule)
{
  return sU16(OMatch5[rule][rgb[0]][which] << 11 | OMatch6[rule][rgb[1]][which] << 5 | OMatch5[rule][rgb[2]][which]);
}

// Floyd-Steinberg over the block, per channel, through the quantisation tables.
void Dither(const Colors &in, Colors &out)
{
  for(sInt ch = 0; ch < 3; ch++)
  {
    const sU8 *quant = ch == 1 ? QuantG : QuantRB;
    sInt cur[6] = {};
    sInt next[6] = {};
    for(sInt y = 0; y < 4; y++)
    {
      for(sInt x = 0; x < 4; x++)
      {
        sInt v = in.C[y * 4 + x][ch] + ((cur[x + 1] + 8) >> 4);
        sInt q = quant[Clamp(v, -8, 263) + 8];
        out.C[y * 4 + x][ch] = q;
        sInt e = v - q;
        cur[x + 2] += 7 * e;
        next[x] += 3 * e;
        next[x + 1] += 5 * e;
        next[x + 2] += e;
      }
      memcpy(cur, next, sizeof(cur));
      memset(next, 0, sizeof(next));
    }
  }
}

// The end points along the principal axis of the block's colours: max -> color0.
void OptimizeEndPoints(const Colors &c, sU16 &color0, sU16 &color1)
{
  sInt mn[3] = {255, 255, 255}, mx[3] = {0, 0, 0};
  sInt sum[3] = {0, 0, 0};
  for(sInt i = 0; i < 16; i++)
  {
    for(sInt ch = 0; ch < 3; ch++)
    {
      sInt v = c.C[i][ch];
      if(v < mn[ch]) mn[ch] = v;
      if(v > mx[ch]) mx[ch] = v;
      sum[ch] += v;
    }
  }
  sInt mean[3];
  for(sInt ch = 0; ch < 3; ch++) mean[ch] = (sum[ch] + 8) >> 4;

  sF32 cov[3][3] = {};
  for(sInt i = 0; i < 16; i++)
  {
    sInt d[3] = {c.C[i][0] - mean[0], c.C[i][1] - mean[1], c.C[i][2] - mean[2]};
    for(sInt a = 0; a < 3; a++)
      for(sInt b = 0; b < 3; b++) cov[a][b] += sF32(d[a] * d[b]);
  }
  for(sInt a = 0; a < 3; a++)
    for(sInt b = 0; b < 3; b++) cov[a][b] /= 255.0f;

  sF32 dir[3] = {sF32(mx[0] - mn[0]), sF32(mx[1] - mn[1]), sF32(mx[2] - mn[2])};
  for(sInt iter = 0; iter < 4; iter++)
  {
    sF32 n[3];
    for(sInt a = 0; a < 3; a++) n[a] = dir[0] * cov[a][0] + dir[1] * cov[a][1] + dir[2] * cov[a][2];
    dir[0] = n[0];
    dir[1] = n[1];
    dir[2] = n[2];
  }
  sF32 magn = 0.0f;
  for(sInt a = 0; a < 3; a++)
  {
    sF32 m = dir[a] < 0 ? -dir[a] : dir[a];
    if(m > magn) magn = m;
  }
  sInt v[3];
  if(magn < 4.0f)
  {
    v[0] = 148;   // luminance-like fallback axis
    v[1] = 300;
    v[2] = 58;
  }
  else
  {
    sF32 s = 512.0f / magn;
    for(sInt a = 0; a < 3; a++) v[a] = sInt(dir[a] * s);
  }

  sInt minDot = INT_MAX, maxDot = INT_MIN, minI = 0, maxI = 0;
  for(sInt i = 0; i < 16; i++)
  {
    sInt d = c.C[i][0] * v[0] + c.C[i][1] * v[1] + c.C[i][2] * v[2];
    if(d < minDot) { minDot = d; minI = i; }
    if(d > maxDot) { maxDot = d; maxI = i; }
  }
  color0 = Pack565(c.C[maxI]);
  color1 = Pack565(c.C[minI]);
}

// Matches every pixel to the nearest palette entry along the end-point axis; returns the
// indices and the summed squared distance of the original colours to their entries.
sU32 MatchColors(const Colors &match, const Colors &orig, sU16 color0, sU16 color1, sInt mode, sS64 &error)
{
  sU32 palette[4];
  sDXT::BuildPalette(palette, color0, color1, mode);
  sInt pal[4][3];
  for(sInt k = 0; k < 4; k++)
  {
    pal[k][0] = (palette[k] >> 16) & 255;
    pal[k][1] = (palette[k] >> 8) & 255;
    pal[k][2] = palette[k] & 255;
  }
  sInt dir[3] = {pal[0][0] - pal[1][0], pal[0][1] - pal[1][1], pal[0][2] - pal[1][2]};
  sInt stops[4];
  for(sInt k = 0; k < 4; k++) stops[k] = pal[k][0] * dir[0] + pal[k][1] * dir[1] + pal[k][2] * dir[2];

  bool dither = (mode & sDXT_DITHER) != 0;
  sInt cur[6] = {}, next[6] = {};
  sU32 mask = 0;
  error = 0;
  for(sInt y = 0; y < 4; y++)
  {
    for(sInt x = 0; x < 4; x++)
    {
      sInt i = y * 4 + x;
      sInt p = match.C[i][0] * dir[0] + match.C[i][1] * dir[1] + match.C[i][2] * dir[2];
      if(dither) p += (cur[x + 1] + 8) >> 4;
      sInt best = 0;
      sInt bestDist = abs(p - stops[0]);
      for(sInt k = 1; k < 4; k++)
      {
        sInt d = abs(p - stops[k]);
        if(d < bestDist) { bestDist = d; best = k; }
      }
      if(dither)
      {
        sInt e = p - stops[best];
        cur[x + 2] += 7 * e;
        next[x] += 3 * e;
        next[x + 1] += 5 * e;
        next[x + 2] += e;
      }
      mask |= sU32(best) << (2 * i);
      for(sInt ch = 0; ch < 3; ch++)
      {
        sInt d = orig.C[i][ch] - pal[best][ch];
        error += d * d;
      }
    }
    memcpy(cur, next, sizeof(cur));
    memset(next, 0, sizeof(next));
  }
  return mask;
}

// New end points by least squares from the current indices; nonzero when they changed.
bool RefineEndPoints(const Colors &c, sU32 mask, sInt rule, sU16 &color0, sU16 &color1)
{
  static const sInt w1Tab[4] = {3, 0, 2, 1};
  static const sInt prods[4] = {0x090000, 0x000900, 0x040102, 0x010402};
  sInt at[3] = {0, 0, 0}, sum[3] = {0, 0, 0};
  sInt akku = 0;
  for(sInt i = 0; i < 16; i++)
  {
    sInt step = (mask >> (2 * i)) & 3;
    sInt w1 = w1Tab[step];
    akku += prods[step];
    for(sInt ch = 0; ch < 3; ch++)
    {
      at[ch] += w1 * c.C[i][ch];
      sum[ch] += c.C[i][ch];
    }
  }
  sInt bt[3];
  for(sInt ch = 0; ch < 3; ch++) bt[ch] = 3 * sum[ch] - at[ch];
  sInt xx = akku >> 16;
  sInt yy = (akku >> 8) & 0xff;
  sInt xy = akku & 0xff;
  sInt det = xx * yy - xy * xy;

  sU16 old0 = color0, old1 = color1;
  if(det == 0)
  {
    // every pixel has the same index: the best single-colour pair of the average
    sInt avg[3];
    for(sInt ch = 0; ch < 3; ch++) avg[ch] = (sum[ch] + 8) >> 4;
    color0 = MatchedPair(avg, 0, rule);
    color1 = MatchedPair(avg, 1, rule);
  }
  else
  {
    const sF32 frb = 0.3647059f / sF32(det);   // 3 * 31 / 255
    const sF32 fg = frb * 2.032258f;           // 63 / 31
    sInt e0[3], e1[3];
    for(sInt ch = 0; ch < 3; ch++)
    {
      sF32 f = ch == 1 ? fg : frb;
      sInt hi = ch == 1 ? 63 : 31;
      e0[ch] = Clamp(sInt(sF32(at[ch] * yy - bt[ch] * xy) * f + 0.5f), 0, hi);
      e1[ch] = Clamp(sInt(sF32(bt[ch] * xx - at[ch] * xy) * f + 0.5f), 0, hi);
    }
    color0 = sU16(e0[0] << 11 | e0[1] << 5 | e0[2]);
    color1 = sU16(e1[0] << 11 | e1[1] << 5 | e1[2]);
  }
  return color0 != old0 || color1 != old1;
}

inline void Put16(sU8 *d, sU32 v)
{
  d[0] = sU8(v);
  d[1] = sU8(v >> 8);
}
}   // namespace

namespace sDXT
{
void BuildPalette(sU32 *palette, sU16 color0, sU16 color1, sInt mode)
{
  PrepareTables(mode);
  bool alt = (mode & sDXT_ALTINTERP) != 0;
  sInt a[3], b[3];
  Unpack(color0, a);
  Unpack(color1, b);
  palette[0] = sU32(a[0] << 16 | a[1] << 8 | a[2]);
  palette[1] = sU32(b[0] << 16 | b[1] << 8 | b[2]);
  sU32 e2 = 0, e3 = 0;
  for(sInt ch = 0; ch < 3; ch++)
  {
    sInt shift = 16 - 8 * ch;
    e2 |= sU32(Entry2(a[ch], b[ch], alt)) << shift;
    e3 |= sU32(Entry3(a[ch], b[ch], alt)) << shift;
  }
  palette[2] = e2;
  palette[3] = e3;
}

void MatchSingle5(sInt value, sInt mode, sInt *pair)
{
  sInt rule = PrepareTables(mode);
  sVERIFY(value >= 0 && value < 256);
  pair[0] = OMatch5[rule][value][0];
  pair[1] = OMatch5[rule][value][1];
}

void MatchSingle6(sInt value, sInt mode, sInt *pair)
{
  sInt rule = PrepareTables(mode);
  sVERIFY(value >= 0 && value < 256);
  pair[0] = OMatch6[rule][value][0];
  pair[1] = OMatch6[rule][value][1];
}

void PackColorBlock(sU8 *dest, const sU32 *block, sInt mode)
{
  sInt rule = PrepareTables(mode);
  Colors orig;
  bool uniform = true;
  for(sInt i = 0; i < 16; i++)
  {
    orig.C[i][0] = (block[i] >> 16) & 255;
    orig.C[i][1] = (block[i] >> 8) & 255;
    orig.C[i][2] = block[i] & 255;
    if(block[i] != block[0]) uniform = false;
  }

  sU16 color0, color1;
  sU32 mask;
  if(uniform)
  {
    color0 = MatchedPair(orig.C[0], 0, rule);
    color1 = MatchedPair(orig.C[0], 1, rule);
    mask = 0xaaaaaaaa;
  }
  else
  {
    Colors dithered;
    const Colors *match = &orig;
    if(mode & sDXT_DITHER)
    {
      Dither(orig, dithered);
      match = &dithered;
    }
    OptimizeEndPoints(*match, color0, color1);
    sS64 bestError;
    mask = MatchColors(*match, orig, color0, color1, mode, bestError);

    sInt passes = (mode & sDXT_REFINEMASK) ? 3 : 1;
    for(sInt pass = 0; pass < passes; pass++)
    {
      sU16 n0 = color0, n1 = color1;
      if(!RefineEndPoints(orig, mask, rule, n0, n1)) break;
      sS64 error;
      sU32 m = MatchColors(*match, orig, n0, n1, mode, error);
      if(error >= bestError) break;   // a further pass would start from the same state
      bestError = error;
      color0 = n0;
      color1 = n1;
      mask = m;
    }
  }

  if(color0 < color1)
  {
    sU16 t = color0;
    color0 = color1;
    color1 = t;
    mask ^= 0x55555555;
  }
  // equal end points would be read in three-colour mode, where index 3 is black or
  // transparent: every pixel takes entry 0 instead (a uniform block's index 2 reads right)
  if(color0 == color1 && !uniform) mask = 0;

  Put16(dest + 0, color0);
  Put16(dest + 2, color1);
  dest[4] = sU8(mask);
  dest[5] = sU8(mask >> 8);
  dest[6] = sU8(mask >> 16);
  dest[7] = sU8(mask >> 24);
}

void PackAlphaBlock(sU8 *dest, const sU32 *block)
{
  sInt a0 = 0, a1 = 255;
  for(sInt i = 0; i < 16; i++)
  {
    sInt a = block[i] >> 24;
    if(a > a0) a0 = a;
    if(a < a1) a1 = a;
  }
  dest[0] = sU8(a0);
  dest[1] = sU8(a1);
  sInt dist = a0 - a1;
  sInt bias = dist / 2 - 7 * a1;
  sInt dist2 = 2 * dist, dist4 = 4 * dist;
  sU64 bits = 0;
  for(sInt i = 0; i < 16; i++)
  {
    sInt a = sInt(block[i] >> 24) * 7 + bias;
    sInt t = 0;
    if(a >= dist4) { t += 4; a -= dist4; }
    if(a >= dist2) { t += 2; a -= dist2; }
    if(a >= dist) t += 1;
    sInt idx = (-t) & 7;   // 7 -> 1, 1 -> 7: the ramp runs from alpha0 down
    if(idx < 2) idx ^= 1;  // 0 = alpha0, 1 = alpha1
    bits |= sU64(idx) << (3 * i);
  }
  for(sInt k = 0; k < 6; k++) dest[2 + k] = sU8(bits >> (8 * k));
}

sU32 NormalMapPixel(sU32 argb) { return ((argb << 8) & 0xff000000) | (argb & 0x0000ff00); }

sU32 YCoCgPixel(sU32 argb)
{
  sInt r = (argb >> 16) & 255, g = (argb >> 8) & 255, b = argb & 255;
  sInt co = r - b;
  sInt t = b + (co >> 1);
  sInt cg = g - t;
  sInt y = t + (cg >> 1);
  return (argb & 0xff000000) | sU32(Clamp(y, 0, 255)) << 16 | sU32(Clamp(co, 0, 255)) << 8 | sU32(Clamp(cg, 0, 255));
}
}   // namespace sDXT

sDInt sDXTSize(sInt width, sInt height, sInt format)
{
  sVERIFY(width >= 0 && height >= 0);
  sDInt blocks = sDInt((width + 3) / 4) * sDInt((height + 3) / 4);
  switch(format)
  {
  case 13: return blocks * 8;
  case 16:
  case 29:
  case 36: return blocks * 16;
  default: sVERIFYFALSE;
  }
}

void sCompressDXT(sU8 *dest, const sU32 *pixels, sInt width, sInt height, sInt format, sInt mode)
{
  if(format != 13 && format != 16 && format != 29 && format != 36) sVERIFYFALSE;
  sVERIFY(width >= 0 && height >= 0);
  PrepareTables(mode);
  sU32 block[16];
  for(sInt by = 0; by < height; by += 4)
  {
    sInt rows = height - by < 4 ? height - by : 4;
    for(sInt bx = 0; bx < width; bx += 4)
    {
      sInt cols = width - bx < 4 ? width - bx : 4;
      // a block past the edge repeats its existing columns and rows cyclically
      for(sInt y = 0; y < 4; y++)
      {
        const sU32 *row = pixels + sDInt(by + y % rows) * width + bx;
        for(sInt x = 0; x < 4; x++) block[y * 4 + x] = row[x % cols];
      }
      if(format == 29)
        for(sInt i = 0; i < 16; i++) block[i] = sDXT::NormalMapPixel(block[i]);
      else if(format == 36)
        for(sInt i = 0; i < 16; i++) block[i] = sDXT::YCoCgPixel(block[i]);

      if(format != 13)
      {
        sDXT::PackAlphaBlock(dest, block);
        dest += 8;
      }
      sDXT::PackColorBlock(dest, block, mode);
      dest += 8;
    }
  }
}
