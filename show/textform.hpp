#pragma once
// Text forms: lines of text drawn as textured quads in a scene's 3D space, one quad per
// character, from a glyph texture rendered once with the font atlas builder. The GUI and
// the IPP machine print their status and messages with them.
//
// The form keeps up to 1023 line records (a fixed table; one more is fatal), each with
// position, scale, colour, brightness and alignment, and turns them into quads whenever it is drawn.
// It owns its glyph texture, glyph records and font list. Main thread only.

#include "base/arrays.hpp"
#include "graphics/fontatlas.hpp"
#include "show/forms.hpp"

class Scene;
class sMaterial;

enum : sInt
{
  sTEXTFORM_MAXLINES = 1024,
  sTEXTFORM_LINECHARS = 256,   // characters kept of a line
};

struct TextLine
{
  sF32 x, y, z;
  sF32 Scale;
  sU32 Colour;   // the form's colour when the line was added
  sInt Align;
  sF32 Brightness;   // the form's line brightness when the line was added
  sChar Text[sTEXTFORM_LINECHARS + 1];
};

class TextForm : public Form
{
public:
  Scene *Owner;                 // the scene whose material set draws the form
  sTexture2D *GlyphTexture;     // shared by the text forms of the preset
  sInt MaterialRow;
  TextLine Lines[sTEXTFORM_MAXLINES];
  sInt LineCount;
  sInt CharCount;               // characters of all lines: one quad each
  GlyphRecord *Glyphs;          // one per character of CharSet, shared with the texture
  sInt Preset;
  sInt GlyphCount;
  sF32 LineHeight;              // font height of the preset and the line advance
  sInt FlipWinding;
  sDynamicArray<sFontAtlasFont> Fonts;
  sChar CharSet[256];
  sF32 CursorX, CursorY, CursorZ;
  sF32 TextScale;
  sF32 LineBrightness;          // copied into each line added (1.0 after construction)
  sInt Align;                   // 0 left, 1 centred, 2 right
  sInt Outline;                 // every printed line is added four times, slightly offset
  sU16 GlyphMap[256];           // the glyph of each 8-bit character

  TextForm(sInt materialIndex);
  ~TextForm() override;

  // Builds the font of the preset (1 to 11), the glyph texture and the geometry.
  void SetFont(Scene *scene, sInt preset);
  // Binds the glyph texture to the material and prepares it for the form's vertices.
  void PrepareMaterial(sMaterial *material) const;

  sF32 MeasureText(const sChar *text) const;
  void AddLine(const sChar *text);
  void PrintLine(const sChar *text);
  // the line at (x, y) with the alignment (0 left, 1 centred, 2 right)
  void PrintAt(const sChar *text, sF32 x, sF32 y, sInt align);
  void PrintLeft(const sChar *text, sF32 x, sF32 y) { PrintAt(text, x, y, 0); }
  void PrintRight(const sChar *text, sF32 x, sF32 y) { PrintAt(text, x, y, 2); }
  void PrintCenteredNext(const sChar *text);
  void PrintCentered(const sChar *text, sF32 x, sF32 y) { PrintAt(text, x, y, 1); }
  void PrintCentered3D(const sChar *text, sF32 x, sF32 y, sF32 z);
  void Clear();
  void Draw(sViewport *view) override;

  const GlyphRecord &GetGlyph(sInt c) const;
  // The quads of every line (4 CharCount vertices, 6 CharCount indices).
  void WriteVertices(FormVertexPNU *dest) const;
  void WriteIndices(sU16 *dest) const;
};

// The text forms drawing with the glyph texture; 0 once the last of them let it go.
sInt TextFormFontUsers(const sTexture2D *texture);
