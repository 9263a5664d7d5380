#pragma once
// Where the touch elements show themselves inside their quads, in GUI units relative to an
// element's position: the face a key shows (its label lies on it), the lamp of a key with
// an indicator, the groove a slider's knob runs in and the areas of a tile. The GUI's
// pictures are drawn to these places, so a face, its label and its touch area agree.
#include "base/types.hpp"

// A rectangle relative to an element's position: lower bounds in, upper bounds out.
struct GuiHitRect
{
  sF32 X0, X1, Y0, Y1;
  sBool Contains(sF32 x, sF32 y) const { return x >= X0 && x < X1 && y >= Y0 && y < Y1; }
  sBool Overlaps(const GuiHitRect &o, sF32 dx, sF32 dy) const
  {
    return X0 < o.X1 + dx && o.X0 + dx < X1 && Y0 < o.Y1 + dy && o.Y0 + dy < Y1;
  }
};

// The face of each widget kind: the wide keys (0, 1, 2 share their pictures; 4), the square
// switch (3), the small key (5). Each holds the label printed at its kind's label place and
// is as wide as a row of its keys allows (the wide keys stand 160.64 apart, the small ones
// 51.931), so the touch area may reach past it on the right. A lamp lies under the label's
// end, clear of it.
inline constexpr GuiHitRect GuiKindFaces[6] = {
  {-108, 52, -21, 10}, {-108, 52, -21, 10}, {-108, 52, -21, 10}, {-47, 67, -37, 26}, {-108, 72, -21, 10}, {-19, 32.5f, -25, 17},
};
// The lamp of a key with an indicator.
inline constexpr GuiHitRect GuiIndicatorLamp = {30, 48, -19, -15};
// The knob's line runs 10 units below a horizontal slider's centre and 11 right of a
// vertical one's; the groove is that line, 12 units thick, over the knob's travel.
inline constexpr sF32 GuiSliderKnobOffset[2] = {-10, 11};
// A tile: the picture (120 x 80, 15 left of the centre), the main area, the "next" corner
// (upper right) and the mark corner (lower right).
inline constexpr GuiHitRect GuiTilePicture = {-75, 45, -40, 40};
inline constexpr GuiHitRect GuiTileFrame = {-76, 92, -57, 34};
inline constexpr GuiHitRect GuiTileNext = {57, 92, -10, 34};
inline constexpr GuiHitRect GuiTileMark = {57, 92, -57, -11};
