#pragma once
// The font atlas: the characters of a string rendered with a list of fonts into one
// image, with a record per character telling where its glyph lies and how it advances.

#include "base/types.hpp"

class sImage;

// One glyph of the atlas (ten 16-bit words).
struct GlyphRecord
{
  sS16 X;        // left of the glyph's ink in the atlas (the box starts the padding before it)
  sS16 Y;        // top of the glyph's box in the atlas
  sS16 WidthA;   // advance before the ink, the ink's width, advance after it
  sS16 WidthB;
  sS16 WidthC;
  sS16 Box;      // width of the glyph's box (ink and padding on both sides)
  sU16 Char;     // the character; 0 in a record no font had a glyph for
  sS16 OffsetY;  // top of the box below the font's top of cell (ascent - ink top - padding)
  sS16 Height;   // height of the glyph's box
  sS16 Font;     // the font entry that drew it
};
static_assert(sizeof(GlyphRecord) == 20, "a glyph record is ten 16-bit words");

// One font of the description.
struct sFontAtlasFont
{
  sChar Face[256];
  sInt Height;
  sInt Italic;
  sInt Bold;
};

// What the atlas is made of. Fonts are asked in order: a character takes the first font
// that has a glyph for it (character 128 always takes the first).
struct sFontAtlasDesc
{
  const sFontAtlasFont *Fonts = nullptr;
  sInt FontCount = 0;
  const sChar *Chars = nullptr;
  sF32 Scale = 1.0f;     // font heights and padding are multiplied by it
  sInt Padding = 0;      // blank pixels around each glyph (at least 4)
  sInt Shrink = 1;       // the finished atlas is scaled down by this factor (1 = not)
  sInt BlurRadius = 0;   // sImage::Blur of the finished atlas when not 0
  sInt BlurPasses = 1;
  sInt GlowRadius = 0;   // sImage::Glow of the finished atlas when not 0
};

// Renders the atlas into the image (white glyphs, coverage in alpha) and returns one
// record per character of desc.Chars in that order (sMemFree), the count and the first
// font's baseline.
GlyphRecord *sBuildFontAtlas(sImage *atlas, const sFontAtlasDesc &desc, sInt &count, sInt &baseline);
