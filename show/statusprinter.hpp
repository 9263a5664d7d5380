#pragma once
// Status panels over the picture: rectangles, text lines, integer values with a colour
// swatch, colours as channel swatches and floats as grey swatches with their range.
//
// Positions are units of a virtual screen of 1600 x 1200, scaled to the display given to
// Init. A text cursor moves down a line (17 units) per printed line, a value line (20
// units) per colour or float; x = -1 means "at the cursor". Main thread only; owns its
// painter, which needs the graphics device.

#include "base/types.hpp"

class sPainter;

class sStatusPrinter
{
public:
  sPainter *Painter = nullptr;
  sF32 ScaleX = 1.0f, ScaleY = 1.0f;
  sChar Text[256] = {};
  sInt CursorX = 0, CursorY = 0;
  sU32 Color = 0xFFFFFFFF;   // of the next rectangle; text takes the painter's print colours
  sInt LineCount = 0;
  sInt Align = 0;      // 0 left, 1 right, 2 centred at the x position
  sInt AutoLine = 1;   // printing uses and advances the cursor

  sStatusPrinter() = default;
  ~sStatusPrinter();
  sStatusPrinter(const sStatusPrinter &) = delete;
  sStatusPrinter &operator=(const sStatusPrinter &) = delete;

  void Init(sInt width, sInt height);
  void Begin();
  void End();

  sF32 Rect(sF32 x0, sF32 y0, sF32 x1, sF32 y1);
  sF32 Print(const sChar *text, sF32 x = -1, sF32 y = -1);
  sF32 PrintInt(const sInt *value, const sChar *label, sInt kind, sF32 x = -1, sF32 y = -1);
  sF32 PrintColour(sU32 colour, const sChar *label, sF32 x = -1, sF32 y = -1);
  sF32 PrintFloat(const sF32 *value, const sChar *label, sF32 x, sF32 y, sF32 min, sF32 max);

private:
  void Place(sF32 &x, sF32 &y);
  sF32 Label(const sChar *label, sF32 x, sF32 y);
  sF32 Swatch(sF32 x, sF32 y, sF32 width, sU32 colour);
  sF32 TextAt(const sChar *text, sF32 x, sF32 y);
};
