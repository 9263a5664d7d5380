#pragma once
// The 2D overlay painter: filled rectangles, rectangles with four corner colours, lines
// and text in the built-in 8 x 8 bitmap font, collected as textured quads in one batch
// and drawn in a single call. Coordinates are pixels of the current render target,
// y downwards.
//
// Rectangles and lines sample fixed texels of the font texture (a set texel of glyph 0,
// the bar of glyph 1), so one material and one texture serve every kind of quad.

#include "base/app.hpp"   // sRect
#include "graphics/graphics.hpp"

class sSimpleMaterial;
class sPainterMaterial;

enum : sInt
{
  sPAINTER_MAXQUADS = 20000,
  sPAINTER_FONTSIZE = 128,   // the font texture is 128 x 128, 16 x 16 glyphs
};

// One vertex of the batch: the layout of sVertexFormatPosColUV.
struct sPainterVertex
{
  sF32 x, y, z;
  sU32 c;
  sF32 u, v;
  void Init(sF32 x_, sF32 y_, sF32 z_, sU32 c_, sF32 u_, sF32 v_)
  {
    x = x_; y = y_; z = z_; c = c_; u = u_; v = v_;
  }
};
static_assert(sizeof(sPainterVertex) == 24, "six words a vertex");

// The built-in font: 256 glyphs of 8 bytes, one byte a row from the top, bit 7 the
// leftmost pixel. A character cell shows the glyph's left 6 columns.
const sU8 *sGetPainterFont();
// Expands the font into a 128 x 128 picture: glyph c in the cell at ((c & 15) * 8,
// (c >> 4) * 8); a set bit gives 0xFFFFFFFF, a clear bit 0x00FFFFFF.
void sExpandPainterFont(sU32 *pixels);

class sPainter
{
public:
  // the batch
  sInt Alloc;
  sInt Used;
  sPainterVertex *Vertices;   // Alloc x 4

  sGeometry *Geo;             // quad list, sVertexFormatPosColUV: the batch is drawn with it
  sGeometry *GeoCol;          // quad list, sVertexFormatPosColUV
  sGeometry *GeoCube;         // quad list, sVertexFormatPosNormUV
  sSimpleMaterial *FlatMtrl;  // variant 0 alpha-blended, variant 1 opaque
  sPainterMaterial *CubeMtrl;
  sRenderEnv Env;
  sTexture2D *FontTex;
  sViewport *View;
  sF32 TexelOffset;
  sF32 PosOffset;

  // text style
  sU32 Flags;
  sF32 LineHeight;
  sU32 Color;
  sU32 AltColor;
  sF32 Zoom;

  sPainter();
  ~sPainter();
  sPainter(const sPainter &) = delete;
  sPainter &operator=(const sPainter &) = delete;

  void Init();
  // Empties the batch.
  void Clear() { Used = 0; }
  // The viewport takes the whole current render target.
  void UpdateView();

  void SetPrint(sU32 flags, sU32 color, sF32 zoom, sU32 altColor = 0xffffffff, sF32 lineHeight = 10.0f);

  void Rect(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 color);
  // Corner colours: c[0] top left, c[1] top right, c[2] bottom right, c[3] bottom left.
  void RectGradient(const sRect &r, const sU32 *c);
  void RectGradient(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 c0, sU32 c1, sU32 c2, sU32 c3);
  // A band two pixels wide from (x0, y0) to (x1, y1), one pixel longer at the start and
  // one pixel longer at the end (shorter with skipEnd, so that lines join without overlap).
  void Line(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 c0, sU32 c1, sBool skipEnd = 0);

  // Text in the style colours: a ' switches between Color and AltColor (not drawn), a line
  // feed goes back to x and down by LineHeight * Zoom.
  void Print(sF32 x, sF32 y, const sChar *text);
  // n characters (up to the terminating 0 when -1) in one colour; characters beyond the
  // room of the batch are dropped.
  void PrintRun(sU32 flags, sF32 x, sF32 y, sU32 color, const sChar *text, sInt n = -1, sF32 zoom = 1.0f);
  // 6 per character, whatever the zoom.
  sF32 GetWidth(const sChar *text, sInt n = -1) const;

  // Draws the batch in one call with the alpha-blended flat material (the batch is kept).
  void Draw();

private:
  sCBuffer *ViewCB;           // the view constants of Draw
  sPainterVertex *AddQuad();
};
