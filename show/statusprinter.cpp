#include "show/statusprinter.hpp"

#include "graphics/painter.hpp"

namespace
{
constexpr sF32 LineStep = 17.0f;
constexpr sF32 ValueStep = 20.0f;
constexpr sF32 LabelWidth = 80.0f;
}

sStatusPrinter::~sStatusPrinter()
{
  sDELETE(Painter);
}

void sStatusPrinter::Init(sInt width, sInt height)
{
  sDELETE(Painter);
  Painter = sNEW sPainter;   // made ready by its constructor
  ScaleX = sF32(width) * 0.000625f;
  ScaleY = sF32(height) * (1.0f / 1200.0f);
}

void sStatusPrinter::Begin()
{
  Painter->Clear();
  Painter->UpdateView();
}

void sStatusPrinter::End()
{
  Painter->Draw();
}

void sStatusPrinter::Place(sF32 &x, sF32 &y)
{
  if(x != -1)
  {
    CursorX = sInt(x);
    CursorY = sInt(y);
  }
  x = sF32(CursorX);
  y = sF32(CursorY);
}

sF32 sStatusPrinter::Rect(sF32 x0, sF32 y0, sF32 x1, sF32 y1)
{
  Painter->Rect(x0 * ScaleX, y0 * ScaleY, x1 * ScaleX, y1 * ScaleY, Color);
  return x1 - x0;
}

// Text at a virtual position in the painter's print colours; its width in virtual units.
// Color belongs to the rectangles only: a dark backdrop must not darken its own text.
sF32 sStatusPrinter::TextAt(const sChar *text, sF32 x, sF32 y)
{
  Painter->Print(x * ScaleX, y * ScaleY, text);
  return Painter->GetWidth(text) / ScaleX;
}

sF32 sStatusPrinter::Print(const sChar *text, sF32 x, sF32 y)
{
  if(AutoLine)
    Place(x, y);
  const sF32 width = Painter->GetWidth(text) / ScaleX;
  sF32 left = x;
  if(Align == 1)
    left -= width;
  else if(Align == 2)
    left -= width * 0.5f;
  TextAt(text, left, y);
  if(AutoLine)
    CursorY += sInt(LineStep);
  LineCount++;
  return width;
}

// A label right-aligned to end at x + 76; the value starts 80 units right of x.
sF32 sStatusPrinter::Label(const sChar *label, sF32 x, sF32 y)
{
  if(!label)
    return 0.0f;
  const sF32 width = Painter->GetWidth(label) / ScaleX;
  TextAt(label, x + LabelWidth - 4.0f - width, y);
  return LabelWidth;
}

// A swatch from (x, y - 2) to (x + width, y + 13); the width used with its gap of 6.
sF32 sStatusPrinter::Swatch(sF32 x, sF32 y, sF32 width, sU32 colour)
{
  Painter->Rect(x * ScaleX, (y - 2.0f) * ScaleY, (x + width) * ScaleX, (y + 13.0f) * ScaleY, colour);
  return width + 6.0f;
}

sF32 sStatusPrinter::PrintInt(const sInt *value, const sChar *label, sInt kind, sF32 x, sF32 y)
{
  if(AutoLine)
    Place(x, y);
  const sF32 start = x;
  x += Label(label, x, y);
  const sU32 v = sU32(*value);
  sU32 colour;
  switch(kind)
  {
  case 1: colour = 0xFF000000 | v << 16; break;
  case 2: colour = 0xFF000000 | v << 8; break;
  case 3: colour = 0xFF000000 | v; break;
  default: colour = 0xFF000000 | v << 16 | v << 8 | v; break;
  }
  if(kind != 0)
    x += Swatch(x, y, 12.0f, colour);
  sSPrintF(sStringRef(Text), u"%3d", *value);
  x += TextAt(Text, x, y);
  if(AutoLine)
    CursorY += sInt(LineStep);
  return x - start;
}

sF32 sStatusPrinter::PrintColour(sU32 colour, const sChar *label, sF32 x, sF32 y)
{
  Place(x, y);
  AutoLine = 0;
  const sF32 start = x;
  const sInt channels[4] = {sInt(colour >> 24), sInt(colour >> 16 & 0xFF), sInt(colour >> 8 & 0xFF), sInt(colour & 0xFF)};
  x += PrintInt(&channels[0], label, 4, x, y + 2.0f) + 2.0f;
  for(sInt i = 1; i < 4; i++)
    x += PrintInt(&channels[i], nullptr, i, x, y + 2.0f) + 2.0f;
  x += Swatch(x, y + 2.0f, 32.0f, colour | 0xFF000000);
  CursorY += sInt(ValueStep);
  AutoLine = 1;
  return x - start;
}

sF32 sStatusPrinter::PrintFloat(const sF32 *value, const sChar *label, sF32 x, sF32 y, sF32 min, sF32 max)
{
  Place(x, y);
  const sF32 start = x;
  x += Label(label, x, y);
  sF32 level = *value * 255.0f;
  // held to a channel's range: a value outside 0..1 has no grey, and no integer beyond it
  level = level < 0.0f ? 0.0f : level > 255.0f ? 255.0f : level;
  const sU32 g = sU32(level);
  const sU32 grey = 0xFF000000 | g << 16 | g << 8 | g;
  x += Swatch(x, y, 12.0f, grey);
  sSPrintF(sStringRef(Text), u"%1.3f", *value);
  x += TextAt(Text, x, y) + 6.0f;
  x += Swatch(x, y, 12.0f, grey);
  sSPrintF(sStringRef(Text), u" min%1.1f max%1.1f", min, max);
  x += TextAt(Text, x, y);
  CursorY += sInt(ValueStep);
  AutoLine = 1;
  return x - start;
}
