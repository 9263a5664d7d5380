#pragma once
// The small 2D layer: 32 numbered drawing colours, the mouse pointer shape, off-screen
// bitmap rendering with read-back of the pixels, fonts with their metrics and text
// output, and the window title.
//
// Drawing goes to the current 2D target: the off-screen bitmap between sRender2DBegin and
// sRender2DEnd, else the paint target that the frame driver sets for the 2D paint (none
// outside it, and then drawing does nothing). Main thread only.

#include "base/types.hpp"

#include <memory>

namespace plat
{
class Font;
class Bitmap2D;
}

/****************************************************************************/
/***   Subsystem, colours, pointer                                        ***/
/****************************************************************************/

// The "GDI" subsystem (level 136).
void sInitGDI();
void sExitGDI();
// Fills in the functions of the framework's "GDI" entry (once; later calls do nothing).
void sInstallGdiSubsystem();

// Sets colour colid (0..31) from an ARGB value; the alpha byte is dropped.
void sSetColor(sInt colid, sU32 argb);
// The colour as 0x00RRGGBB.
sU32 sGetColor(sInt colid);
// Fills x0 <= x < x1, y0 <= y < y1 of the current 2D target with colour colid.
void sFillRect2D(sInt x0, sInt y0, sInt x1, sInt y1, sInt colid);

// Mouse pointer shapes of sSetMousePointer.
enum : sInt
{
  sMP_OFF = 0,      // no pointer
  sMP_ARROW,
  sMP_WAIT,
  sMP_CROSSHAIR,
  sMP_HAND,
  sMP_TEXT,
  sMP_NO,
  sMP_SIZEALL,
  sMP_SIZENS,
  sMP_SIZEWE,
  sMP_SIZENWSE,
  sMP_SIZENESW,
  sMP_MAX = 12,
};
// Sets the pointer shape; sMP_OFF hides the pointer, a shape after sMP_OFF shows it again.
void sSetMousePointer(sInt code);

/****************************************************************************/
/***   Off-screen rendering                                               ***/
/****************************************************************************/

// Makes a black bitmap of width x height the 2D target. Fatal when it cannot be made.
void sRender2DBegin(sInt width, sInt height);
// Frees the bitmap; drawing goes to the paint target again.
void sRender2DEnd();
// Copies the bitmap into buffer: width x height 32-bit pixels, top row first, bytes
// blue, green, red and 0.
void sRender2DGetPixels(sU32 *buffer);

// The frame driver's target of the 2D paint (null outside it).
void sSet2DPaintTarget(plat::Bitmap2D *target);

/****************************************************************************/
/***   Fonts                                                              ***/
/****************************************************************************/

// A character's horizontal spacing (A before the ink, B the ink, C after it, the
// advance A + B + C) and its ink's top above the baseline and height.
struct sFontCharInfo
{
  sS16 A;
  sS16 B;
  sS16 C;
  sS16 Advance;
  sS16 Top;
  sS16 Height;
};

// Flags of sFont2D.
enum : sInt
{
  sF2C_ITALICS = 1,
  sF2C_BOLD = 2,
  sF2C_UNDERLINE = 8,
  sF2C_STRIKEOUT = 16,
  sF2C_SYMBOLS = 32,
  sF2C_ANTIALIASED = 64,   // soft glyph edges; without it every pixel is ink or not
};

class sFont2D
{
public:
  // A font of the face (at most 32 characters) and height: a positive height is the
  // cell height, a negative one the em height, 0 a default. width 0 keeps the face's
  // proportions. An empty face, or a face the machine has no font for, takes the
  // message-box font; a face that is missing is named in the log.
  sFont2D(const sChar *face, sInt height, sInt flags, sInt width = 0);
  ~sFont2D();
  sFont2D(const sFont2D &) = delete;
  sFont2D &operator=(const sFont2D &) = delete;

  void Init(const sChar *face, sInt height, sInt flags, sInt width = 0);

  // Cell height, the height without the internal leading, and the baseline (ascent).
  sInt GetHeight() const;
  sInt GetCharHeight() const;
  sInt GetBaseline() const;
  // Whether the font has a glyph of its own for the character.
  sBool HasGlyph(sInt character) const;
  // Text colour and back colour from the colour table (ids 0..31).
  void SetColor(sInt text, sInt back);
  // Draws text with the top left of its cell at (x, y), transparently, in the text
  // colour; length -1 runs to the terminator. The first argument is not used.
  void Print(sInt flags, sInt x, sInt y, const sChar *text, sInt length = -1);
  void GetCharInfo(sFontCharInfo *out, sInt character) const;

  // The ABC widths read when the font was made (characters 0 to 255).
  void GetAbcWidths(sInt character, sInt &a, sInt &b, sInt &c) const;
  plat::Font *GetPlatformFont() const;

private:
  struct Record;
  Record *Font = nullptr;
};

/****************************************************************************/
/***   Window title                                                       ***/
/****************************************************************************/

// The title, or "orvane application" while none is set.
const sChar *sGetWindowName();
// Stores the title (256 characters at most; null clears it) and shows it on the main
// window when there is one.
void sSetWindowName(const sChar *title);
