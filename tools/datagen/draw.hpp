#pragma once
// The generator's small drawing kit: pictures are shaded pixel by pixel from functions of
// the position, with a few shapes (soft glow, star, lattice noise, rectangles, frames) and
// text written with the framework's 2D font layer. Everything works on sImage (32-bit
// ARGB, rows from the top).

#include "base/types.hpp"
#include "graphics/image.hpp"

namespace datagen
{

// A colour from channels 0..1 (clamped).
sU32 Argb(sF32 a, sF32 r, sF32 g, sF32 b);
inline sU32 Grey(sF32 v, sF32 a = 1.0f) { return Argb(a, v, v, v); }
sF32 Clamp01(sF32 x);
// 0 below e0, 1 above e1, a smooth step between.
sF32 SmoothStep(sF32 e0, sF32 e1, sF32 x);

// Sets every pixel to f(u, v): u runs from -1 at the left edge to 1 at the right edge,
// v from -1 at the top to 1 at the bottom, taken at the pixel centres.
template <class F> void Shade(sImage &img, F f)
{
  for(sInt y = 0; y < img.SizeY; y++)
  {
    sF32 v = (y + 0.5f) * 2.0f / img.SizeY - 1.0f;
    for(sInt x = 0; x < img.SizeX; x++)
      img.Data[y * img.SizeX + x] = f((x + 0.5f) * 2.0f / img.SizeX - 1.0f, v);
  }
}

// A soft radial falloff: 1 at the centre, 0 from radius 1 on, with a smooth edge.
sF32 Glow(sF32 u, sF32 v);
// A star of rays thin towards their tips around a hot centre, 0..1.
sF32 Star(sF32 u, sF32 v, sInt rays);

// Lattice value noise that repeats every Period cells, so pictures of it tile.
class Noise
{
public:
  Noise(sU32 seed, sInt period);
  // 0..1 at (x, y) in cells, octaves summed with halving weight and doubling frequency.
  sF32 At(sF32 x, sF32 y, sInt octaves) const;
  // A value of the lattice, 0..1.
  sF32 Cell(sInt x, sInt y) const;

private:
  sU32 Seed;
  sInt Period;
};

// Pixels x0 <= x < x1, y0 <= y < y1 (clipped) become the colour.
void FillRect(sImage &img, sInt x0, sInt y0, sInt x1, sInt y1, sU32 color);
// The border of that rectangle, thickness pixels wide on the inside.
void FrameRect(sImage &img, sInt x0, sInt y0, sInt x1, sInt y1, sInt thickness, sU32 color);
// Writes the text with the framework's font (DejaVu Sans, bold when asked) centred on
// (cx, cy), its cell height pixels high; the ink covers the picture in the colour.
void PrintCentered(sImage &img, const sChar *text, sInt cx, sInt cy, sInt height, sBool bold, sU32 color);

}   // namespace datagen
