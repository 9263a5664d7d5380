#pragma once
// The bounding box of the ink in a picture: the pixels a test's predicate picks.

#include <algorithm>

namespace sparktest
{
struct Ink
{
  int X0 = 1 << 30, Y0 = 1 << 30, X1 = -1, Y1 = -1;
  bool Empty() const { return X1 < 0; }
};

// The box of the pixels of [x0, x1) x [y0, y1) for which inked(x, y) holds.
template <class F> Ink FindInk(int x0, int y0, int x1, int y1, F inked)
{
  Ink ink;
  for(int y = y0; y < y1; y++)
    for(int x = x0; x < x1; x++)
      if(inked(x, y))
      {
        ink.X0 = std::min(ink.X0, x), ink.X1 = std::max(ink.X1, x);
        ink.Y0 = std::min(ink.Y0, y), ink.Y1 = std::max(ink.Y1, y);
      }
  return ink;
}
}
