#pragma once
// Fonts and 2D text: fonts found by face name, weight, italic and height, with their
// metrics, ABC widths and glyph boxes and bitmaps; an off-screen bitmap of 32-bit pixels
// that text and rectangles are drawn into and that is read back top row first.
//
// Heights follow the usual convention of 2D text systems: a positive height is the
// cell height (ascent + descent), a negative one the em height; 0 takes a default size.
// Colours are 0x00BBGGRR (red in the low byte). Pixels are 0x00RRGGBB words, so their
// bytes in memory are blue, green, red and 0. All y values grow downwards, except the
// glyph origin of GlyphBox, which is measured upwards from the baseline.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat
{

struct FontRequest
{
  std::u16string Face;    // family name; empty asks for the system's sans-serif face
  int Height = 0;         // > 0 cell height, < 0 em height, 0 the default; at most 4096
  int Width = 0;          // average character width; 0 keeps the face's proportions
  int Weight = 0;         // 100 .. 900, 0 regular (400); 700 is bold
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  bool Symbol = false;    // symbol character set: characters 0..255 also map to 0xF000 + c
  bool Antialiased = true;  // soft glyph edges; else every pixel is ink (255) or not (0)
};

struct FontMetrics
{
  int Height = 0;           // ascent + descent
  int Ascent = 0;           // top of the cell to the baseline
  int Descent = 0;          // baseline to the bottom of the cell
  int InternalLeading = 0;  // Height minus the em height
  int ExternalLeading = 0;  // extra line gap the face recommends
  int AveCharWidth = 0;
  int MaxCharWidth = 0;
};

// A character's horizontal spacing: A before the black box, B the black box width,
// C after it; A + B + C is the advance.
struct AbcWidths
{
  int A = 0;
  int B = 0;
  int C = 0;
};

// A character's black box (tight box of its ink) and advance. OriginX is the box's left
// edge right of the pen, OriginY its top edge above the baseline. A character without ink
// has a 1 x 1 box at the pen on the baseline.
struct GlyphBox
{
  int BlackBoxX = 0;
  int BlackBoxY = 0;
  int OriginX = 0;
  int OriginY = 0;
  int AdvanceX = 0;
};

// A font: where the requested face does not exist the face that fontconfig offers in
// its place is used (never a failure). A font is used by one thread at a time.
class Font
{
public:
  // Null only when the machine has no usable font at all; the reason goes to error.
  static std::unique_ptr<Font> Create(const FontRequest &request, std::u16string *error = nullptr);
  ~Font();

  // The family actually used, and whether it stands in for a face that was not found.
  const std::u16string &GetFamily() const { return Family; }
  bool IsFallback() const { return Fallback; }
  const std::string &GetFile() const { return File; }

  const FontMetrics &GetMetrics() const { return Metrics; }
  // ABC widths of the characters first .. last into out (last - first + 1 entries);
  // characters the face lacks get the widths of its missing-character glyph.
  bool GetAbcWidths(char32_t first, char32_t last, AbcWidths *out) const;
  // Whether the face has a glyph of its own for the character.
  bool HasGlyph(char32_t c) const;
  // The glyph's box and, when coverage is given, its bitmap: BlackBoxX x BlackBoxY
  // values 0..255, rows top first (all 0 for a character without ink).
  bool GetGlyph(char32_t c, GlyphBox *box, std::vector<uint8_t> *coverage = nullptr) const;
  // Width (sum of advances) and height (the cell height) of a text; length < 0 runs to
  // the terminator. Surrogate pairs count as one character.
  void GetTextExtent(const char16_t *text, int length, int *cx, int *cy) const;

  struct Rendered
  {
    int Left = 0, Top = 0, Width = 0, Height = 0, Advance = 0;
    std::vector<uint8_t> Coverage;
  };
  // The rendered glyph of a character (cached); for drawing.
  const Rendered &Render(char32_t c) const;
  int UnderlinePosition() const { return UnderlineY; }   // rows below the baseline
  int UnderlineThickness() const { return UnderlineSize; }
  int StrikeOutPosition() const { return StrikeY; }       // rows above the baseline
  int StrikeOutThickness() const { return StrikeSize; }
  bool IsUnderline() const { return Underline; }
  bool IsStrikeOut() const { return StrikeOut; }

private:
  Font() = default;
  unsigned GlyphIndex(char32_t c) const;

  struct Impl;
  Impl *Ft = nullptr;
  std::u16string Family;
  std::string File;
  bool Fallback = false;
  bool Underline = false;
  bool StrikeOut = false;
  bool Symbol = false;
  bool Antialiased = true;
  bool SynthBold = false;
  bool SynthItalic = false;
  FontMetrics Metrics;
  int UnderlineY = 0, UnderlineSize = 1, StrikeY = 0, StrikeSize = 1;
  mutable std::unordered_map<unsigned, Rendered> Cache;
};

// The face and size of the system's message-box font (the sans-serif face).
FontRequest MessageBoxFont();

enum class BackMode
{
  Transparent = 1,  // only the glyphs' ink is drawn
  Opaque = 2,       // the text's cell box is filled with the back colour first
};

class Bitmap2D
{
public:
  // A black bitmap; null when a size is negative, the bitmap would exceed 2^28 pixels
  // or its memory cannot be had.
  static std::unique_ptr<Bitmap2D> Create(int width, int height);
  int GetWidth() const { return Width; }
  int GetHeight() const { return Height; }

  // Fills x0 <= x < x1, y0 <= y < y1 (clipped); nothing when x1 <= x0 or y1 <= y0.
  void FillRect(int x0, int y0, int x1, int y1, uint32_t color);
  // Draws text with the top left of its cell at (x, y) (baseline at y + ascent), each
  // glyph's coverage blended over the pixels in the text colour; length < 0 runs to the
  // terminator. Clipped at the bitmap's edges.
  void DrawText(const Font &font, int x, int y, const char16_t *text, int length, uint32_t textColor,
                BackMode mode = BackMode::Transparent, uint32_t backColor = 0);
  // Copies all pixels into out (width x height words), top row first.
  void GetPixels(uint32_t *out) const;
  uint32_t GetPixel(int x, int y) const;

private:
  Bitmap2D() = default;
  void Blend(int x, int y, uint32_t rgb, unsigned coverage);
  int Width = 0;
  int Height = 0;
  std::unique_ptr<uint32_t[]> Pixels;
};

}
