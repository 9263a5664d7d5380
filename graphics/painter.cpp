// The 2D overlay painter and its built-in 8 x 8 font.

#include "graphics/painter.hpp"

#include "graphics/materials.hpp"

#include <cmath>
#include <cstring>

/****************************************************************************/
/***   The built-in font                                                  ***/
/****************************************************************************/

namespace
{
// The printable characters, drawn as eight rows of five columns from the top ('#' set).
// Capitals and digits stand on row 6; row 7 holds the descenders. The sixth column of a
// character cell stays clear and spaces the characters.
struct GlyphPicture
{
  char Code;
  const char *Rows;
};

const GlyphPicture Glyphs[] = {
    {' ', "..... ..... ..... ..... ..... ..... ..... ....."},
    {'!', "..#.. ..#.. ..#.. ..#.. ..#.. ..... ..#.. ....."},
    {'"', ".#.#. .#.#. .#.#. ..... ..... ..... ..... ....."},
    {'#', ".#.#. .#.#. ##### .#.#. ##### .#.#. .#.#. ....."},
    {'$', "..#.. .#### #.#.. .###. ..#.# ####. ..#.. ....."},
    {'%', "##... ##..# ...#. ..#.. .#... #..## ...## ....."},
    {'&', ".##.. #..#. #.#.. .#... #.#.# #..#. .##.# ....."},
    {'\'', "..#.. ..#.. .#... ..... ..... ..... ..... ....."},
    {'(', "...#. ..#.. .#... .#... .#... ..#.. ...#. ....."},
    {')', ".#... ..#.. ...#. ...#. ...#. ..#.. .#... ....."},
    {'*', "..... ..#.. #.#.# .###. #.#.# ..#.. ..... ....."},
    {'+', "..... ..#.. ..#.. ##### ..#.. ..#.. ..... ....."},
    {',', "..... ..... ..... ..... ..... .##.. ..#.. .#..."},
    {'-', "..... ..... ..... ##### ..... ..... ..... ....."},
    {'.', "..... ..... ..... ..... ..... .##.. .##.. ....."},
    {'/', "..... ....# ...#. ..#.. .#... #.... ..... ....."},
    {'0', ".###. #...# #..## #.#.# ##..# #...# .###. ....."},
    {'1', "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###. ....."},
    {'2', ".###. #...# ....# ...#. ..#.. .#... ##### ....."},
    {'3', "##### ...#. ..#.. ...#. ....# #...# .###. ....."},
    {'4', "...#. ..##. .#.#. #..#. ##### ...#. ...#. ....."},
    {'5', "##### #.... ####. ....# ....# #...# .###. ....."},
    {'6', "..##. .#... #.... ####. #...# #...# .###. ....."},
    {'7', "##### ....# ...#. ..#.. .#... .#... .#... ....."},
    {'8', ".###. #...# #...# .###. #...# #...# .###. ....."},
    {'9', ".###. #...# #...# .#### ....# ...#. .##.. ....."},
    {':', "..... .##.. .##.. ..... .##.. .##.. ..... ....."},
    {';', "..... .##.. .##.. ..... .##.. .##.. ..#.. .#..."},
    {'<', "...#. ..#.. .#... #.... .#... ..#.. ...#. ....."},
    {'=', "..... ..... ##### ..... ##### ..... ..... ....."},
    {'>', ".#... ..#.. ...#. ....# ...#. ..#.. .#... ....."},
    {'?', ".###. #...# ....# ...#. ..#.. ..... ..#.. ....."},
    {'@', ".###. #...# ....# .##.# #.#.# #.#.# .###. ....."},
    {'A', ".###. #...# #...# ##### #...# #...# #...# ....."},
    {'B', "####. #...# #...# ####. #...# #...# ####. ....."},
    {'C', ".###. #...# #.... #.... #.... #...# .###. ....."},
    {'D', "###.. #..#. #...# #...# #...# #..#. ###.. ....."},
    {'E', "##### #.... #.... ####. #.... #.... ##### ....."},
    {'F', "##### #.... #.... ####. #.... #.... #.... ....."},
    {'G', ".###. #...# #.... #.### #...# #...# .#### ....."},
    {'H', "#...# #...# #...# ##### #...# #...# #...# ....."},
    {'I', ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###. ....."},
    {'J', "..### ...#. ...#. ...#. ...#. #..#. .##.. ....."},
    {'K', "#...# #..#. #.#.. ##... #.#.. #..#. #...# ....."},
    {'L', "#.... #.... #.... #.... #.... #.... ##### ....."},
    {'M', "#...# ##.## #.#.# #.#.# #...# #...# #...# ....."},
    {'N', "#...# #...# ##..# #.#.# #..## #...# #...# ....."},
    {'O', ".###. #...# #...# #...# #...# #...# .###. ....."},
    {'P', "####. #...# #...# ####. #.... #.... #.... ....."},
    {'Q', ".###. #...# #...# #...# #.#.# #..#. .##.# ....."},
    {'R', "####. #...# #...# ####. #.#.. #..#. #...# ....."},
    {'S', ".#### #.... #.... .###. ....# ....# ####. ....."},
    {'T', "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ....."},
    {'U', "#...# #...# #...# #...# #...# #...# .###. ....."},
    {'V', "#...# #...# #...# #...# #...# .#.#. ..#.. ....."},
    {'W', "#...# #...# #...# #.#.# #.#.# #.#.# .#.#. ....."},
    {'X', "#...# #...# .#.#. ..#.. .#.#. #...# #...# ....."},
    {'Y', "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#.. ....."},
    {'Z', "##### ....# ...#. ..#.. .#... #.... ##### ....."},
    {'[', ".###. .#... .#... .#... .#... .#... .###. ....."},
    {'\\', "..... #.... .#... ..#.. ...#. ....# ..... ....."},
    {']', ".###. ...#. ...#. ...#. ...#. ...#. .###. ....."},
    {'^', "..#.. .#.#. #...# ..... ..... ..... ..... ....."},
    {'_', "..... ..... ..... ..... ..... ..... ..... #####"},
    {'`', ".#... ..#.. ...#. ..... ..... ..... ..... ....."},
    {'a', "..... ..... .###. ....# .#### #...# .#### ....."},
    {'b', "#.... #.... #.##. ##..# #...# #...# ####. ....."},
    {'c', "..... ..... .###. #.... #.... #...# .###. ....."},
    {'d', "....# ....# .##.# #..## #...# #...# .#### ....."},
    {'e', "..... ..... .###. #...# ##### #.... .###. ....."},
    {'f', "..##. .#..# .#... ###.. .#... .#... .#... ....."},
    {'g', "..... ..... .#### #...# #...# .#### ....# .###."},
    {'h', "#.... #.... #.##. ##..# #...# #...# #...# ....."},
    {'i', "..#.. ..... .##.. ..#.. ..#.. ..#.. .###. ....."},
    {'j', "...#. ..... ..##. ...#. ...#. ...#. #..#. .##.."},
    {'k', "#.... #.... #..#. #.#.. ##... #.#.. #..#. ....."},
    {'l', ".##.. ..#.. ..#.. ..#.. ..#.. ..#.. .###. ....."},
    {'m', "..... ..... ##.#. #.#.# #.#.# #...# #...# ....."},
    {'n', "..... ..... #.##. ##..# #...# #...# #...# ....."},
    {'o', "..... ..... .###. #...# #...# #...# .###. ....."},
    {'p', "..... ..... ####. #...# #...# ####. #.... #...."},
    {'q', "..... ..... .#### #...# #...# .#### ....# ....#"},
    {'r', "..... ..... #.##. ##..# #.... #.... #.... ....."},
    {'s', "..... ..... .###. #.... .###. ....# ####. ....."},
    {'t', ".#... .#... ###.. .#... .#... .#..# ..##. ....."},
    {'u', "..... ..... #...# #...# #...# #..## .##.# ....."},
    {'v', "..... ..... #...# #...# #...# .#.#. ..#.. ....."},
    {'w', "..... ..... #...# #...# #.#.# #.#.# .#.#. ....."},
    {'x', "..... ..... #...# .#.#. ..#.. .#.#. #...# ....."},
    {'y', "..... ..... #...# #...# #...# .#### ....# .###."},
    {'z', "..... ..... ##### ...#. ..#.. .#... ##### ....."},
    {'{', "...#. ..#.. ..#.. .#... ..#.. ..#.. ...#. ....."},
    {'|', "..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ....."},
    {'}', ".#... ..#.. ..#.. ...#. ..#.. ..#.. .#... ....."},
    {'~', "..... ..... .#... #.#.# ...#. ..... ..... ....."},
};

// The signs of the upper half (Latin-1) that are not accented letters.
const GlyphPicture Signs[] = {
    {'\xa1', "..#.. ..... ..#.. ..#.. ..#.. ..#.. ..#.. ....."},
    {'\xa2', "..... ..#.. .###. #.#.. #.#.. .###. ..#.. ....."},
    {'\xa3', "..##. .#..# .#... ###.. .#... .#..# #.##. ....."},
    {'\xa4', "..... #...# .###. .#.#. .###. #...# ..... ....."},
    {'\xa5', "#...# .#.#. ..#.. ##### ..#.. ##### ..#.. ....."},
    {'\xa6', "..#.. ..#.. ..#.. ..... ..#.. ..#.. ..#.. ....."},
    {'\xa7', ".###. #.... .##.. #..#. .##.. ...#. ###.. ....."},
    {'\xa8', ".#.#. ..... ..... ..... ..... ..... ..... ....."},
    {'\xa9', ".###. #...# #.### #.#.# #.### #...# .###. ....."},
    {'\xaa', ".##.. #.#.. .##.. ..... ###.. ..... ..... ....."},
    {'\xab', "..... ..#.# .#.#. #.#.. .#.#. ..#.# ..... ....."},
    {'\xac', "..... ..... ..... ##### ....# ..... ..... ....."},
    {'\xae', ".###. #...# #.### #.#.# #.#.# #...# .###. ....."},
    {'\xad', "..... ..... ..... .###. ..... ..... ..... ....."},
    {'\xaf', "##### ..... ..... ..... ..... ..... ..... ....."},
    {'\xb0', ".##.. #..#. .##.. ..... ..... ..... ..... ....."},
    {'\xb1', "..#.. ..#.. ##### ..#.. ..#.. ..... ##### ....."},
    {'\xb2', ".##.. ...#. ..#.. .#... .###. ..... ..... ....."},
    {'\xb3', "###.. ...#. .##.. ...#. ###.. ..... ..... ....."},
    {'\xb4', "...#. ..#.. ..... ..... ..... ..... ..... ....."},
    {'\xb5', "..... ..... #...# #...# #...# ##..# #.##. #...."},
    {'\xb6', ".#### ###.# ###.# .##.# ..#.# ..#.# ..#.# ....."},
    {'\xb7', "..... ..... ..... ..#.. ..... ..... ..... ....."},
    {'\xb8', "..... ..... ..... ..... ..... ..... ..#.. .##.."},
    {'\xb9', "..#.. .##.. ..#.. ..#.. .###. ..... ..... ....."},
    {'\xba', "..#.. .#.#. ..#.. ..... .###. ..... ..... ....."},
    {'\xbb', "..... #.#.. .#.#. ..#.# .#.#. #.#.. ..... ....."},
    {'\xbc', "..#.. .##.. ..#.. ##### .#.#. .#.#. .###. ...#."},
    {'\xbd', "..#.. .##.. ..#.. ##### .##.. ...#. ..#.. .###."},
    {'\xbe', ".###. ..##. .###. ##### .#.#. .#.#. .###. ...#."},
    {'\xbf', "..#.. ..... ..#.. .#... #.... #...# .###. ....."},
    {'\xc6', ".#### #.#.. #.#.. ##### #.#.. #.#.. #.### ....."},
    {'\xc7', ".###. #...# #.... #.... #.... #...# .###. ..#.."},
    {'\xd0', "###.. #..#. #...# ###.# #...# #..#. ###.. ....."},
    {'\xd7', "..... #...# .#.#. ..#.. .#.#. #...# ..... ....."},
    {'\xd8', "....# .###. #..## #.#.# ##..# .###. #.... ....."},
    {'\xde', "#.... ####. #...# #...# ####. #.... #.... ....."},
    {'\xdf', ".##.. #..#. #..#. ###.. #..#. #..#. #.##. ....."},
    {'\xe6', "..... ..... ##.#. ..#.# ##### #.#.. ##.## ....."},
    {'\xe7', "..... ..... .###. #.... #.... #...# .###. ..#.."},
    {'\xf0', ".##.. ..##. .###. #...# #...# #...# .###. ....."},
    {'\xf7', "..... ..#.. ..... ##### ..... ..#.. ..... ....."},
    {'\xf8', "..... ..... .###. #..## #.#.# ##..# .###. ....."},
    {'\xfe', "#.... #.... ####. #...# #...# ####. #.... #...."},
};

// Accented letters: the accent, a clear row, then a shortened body of the base letter
// that keeps the base line. Small letters take an accent of two rows (rows 0-1) over a
// body of four rows (3-6; the y keeps its descender in row 7); capitals an accent of one
// row (row 0) over a body of five rows (2-6), so that a capital stays taller than its
// small letter.
enum Accent { Grave, Acute, Circumflex, Tilde, Umlaut, Ring };
const char *const SmallAccents[] = {".#... ..#..", "...#. ..#..", "..#.. .#.#.", ".##.# #..#.", "..... .#.#.", ".###. .#.#."};
const char *const CapitalAccents[] = {".#...", "...#.", ".###.", ".##.#", ".#.#.", "..#.."};

struct AccentBody
{
  char Base;
  const char *Rows;   // four rows for a small letter (five for the y), five for a capital
};
const AccentBody AccentBodies[] = {
    {'a', ".###. #...# #..## .##.#"},
    {'e', ".###. ##### #.... .###."},
    {'i', ".##.. ..#.. ..#.. .###."},
    {'n', "#.##. ##..# #...# #...#"},
    {'o', ".###. #...# #...# .###."},
    {'u', "#...# #...# #..## .##.#"},
    {'y', "#...# #...# .#### ....# .###."},
    {'A', ".###. #...# ##### #...# #...#"},
    {'E', "##### #.... ####. #.... #####"},
    {'I', ".###. ..#.. ..#.. ..#.. .###."},
    {'N', "#...# ##..# #.#.# #..## #...#"},
    {'O', ".###. #...# #...# #...# .###."},
    {'U', "#...# #...# #...# #...# .###."},
    {'Y', "#...# .#.#. ..#.. ..#.. ..#.."},
};

struct AccentedLetter
{
  unsigned char Code;
  char Base;
  Accent Mark;
};

const AccentedLetter Accented[] = {
    {0xc0, 'A', Grave},  {0xc1, 'A', Acute},  {0xc2, 'A', Circumflex}, {0xc3, 'A', Tilde},
    {0xc4, 'A', Umlaut}, {0xc5, 'A', Ring},   {0xc8, 'E', Grave},      {0xc9, 'E', Acute},
    {0xca, 'E', Circumflex}, {0xcb, 'E', Umlaut}, {0xcc, 'I', Grave},  {0xcd, 'I', Acute},
    {0xce, 'I', Circumflex}, {0xcf, 'I', Umlaut}, {0xd1, 'N', Tilde},  {0xd2, 'O', Grave},
    {0xd3, 'O', Acute},  {0xd4, 'O', Circumflex}, {0xd5, 'O', Tilde},  {0xd6, 'O', Umlaut},
    {0xd9, 'U', Grave},  {0xda, 'U', Acute},  {0xdb, 'U', Circumflex}, {0xdc, 'U', Umlaut},
    {0xdd, 'Y', Acute},
    {0xe0, 'a', Grave},  {0xe1, 'a', Acute},  {0xe2, 'a', Circumflex}, {0xe3, 'a', Tilde},
    {0xe4, 'a', Umlaut}, {0xe5, 'a', Ring},   {0xe8, 'e', Grave},      {0xe9, 'e', Acute},
    {0xea, 'e', Circumflex}, {0xeb, 'e', Umlaut}, {0xec, 'i', Grave},  {0xed, 'i', Acute},
    {0xee, 'i', Circumflex}, {0xef, 'i', Umlaut}, {0xf1, 'n', Tilde},  {0xf2, 'o', Grave},
    {0xf3, 'o', Acute},  {0xf4, 'o', Circumflex}, {0xf5, 'o', Tilde},  {0xf6, 'o', Umlaut},
    {0xf9, 'u', Grave},  {0xfa, 'u', Acute},  {0xfb, 'u', Circumflex}, {0xfc, 'u', Umlaut},
    {0xfd, 'y', Acute},  {0xff, 'y', Umlaut},
};

// A hollow box: the mark of the control characters of the upper half (128 to 159).
const char *const BoxRows = "##### #...# #...# #...# #...# #...# ##### .....";
// DEL: a chequer.
const char *const DelRows = "#.#.# .#.#. #.#.# .#.#. #.#.# .#.#. #.#.# .....";

sU8 RowBits(const char *row)
{
  sU8 bits = 0;
  for(sInt c = 0; c < 5; c++)
    if(row[c] == '#') bits |= sU8(0x80 >> c);
  return bits;
}

void PutRows(sU8 *glyph, const char *rows)
{
  for(sInt r = 0; r < 8; r++) glyph[r] = RowBits(rows + r * 6);
}

void PutAccented(sU8 *font, const AccentedLetter &a)
{
  const AccentBody *body = nullptr;
  for(const AccentBody &b : AccentBodies)
    if(b.Base == a.Base) body = &b;
  sVERIFY(body);
  sU8 *glyph = font + a.Code * 8;
  std::memset(glyph, 0, 8);
  if(a.Base >= 'a')
  {
    glyph[0] = RowBits(SmallAccents[a.Mark]);
    glyph[1] = RowBits(SmallAccents[a.Mark] + 6);
    sInt rows = (sInt(std::strlen(body->Rows)) + 1) / 6;
    for(sInt r = 0; r < rows && 3 + r < 8; r++) glyph[3 + r] = RowBits(body->Rows + r * 6);
  }
  else
  {
    glyph[0] = RowBits(CapitalAccents[a.Mark]);
    for(sInt r = 2; r < 7; r++) glyph[r] = RowBits(body->Rows + (r - 2) * 6);
  }
}

struct FontTable
{
  sU8 Data[256 * 8];

  FontTable()
  {
    std::memset(Data, 0, sizeof(Data));
    // glyph 0: a full block (rectangles sample its texel (4, 4))
    for(sInt r = 0; r < 8; r++) Data[0 * 8 + r] = 0xff;
    // glyph 1: a bar across rows 3 to 5 (lines sample column 4 of it)
    for(sInt r = 3; r <= 5; r++) Data[1 * 8 + r] = 0xff;
    for(const GlyphPicture &g : Glyphs) PutRows(Data + sU8(g.Code) * 8, g.Rows);
    PutRows(Data + 127 * 8, DelRows);
    for(sInt c = 128; c < 0xa0; c++) PutRows(Data + c * 8, BoxRows);
    for(const GlyphPicture &g : Signs) PutRows(Data + sU8(g.Code) * 8, g.Rows);
    for(const AccentedLetter &a : Accented) PutAccented(Data, a);
  }
};
}

const sU8 *sGetPainterFont()
{
  static const FontTable table;
  return table.Data;
}

void sExpandPainterFont(sU32 *pixels)
{
  const sU8 *font = sGetPainterFont();
  for(sInt c = 0; c < 256; c++)
  {
    sInt x0 = (c & 15) * 8;
    sInt y0 = (c >> 4) * 8;
    for(sInt r = 0; r < 8; r++)
    {
      sU32 *row = pixels + (y0 + r) * sPAINTER_FONTSIZE + x0;
      for(sInt b = 0; b < 8; b++) row[b] = (font[c * 8 + r] & (0x80 >> b)) ? 0xffffffff : 0x00ffffff;
    }
  }
}

/****************************************************************************/
/***   Painter                                                            ***/
/****************************************************************************/

namespace
{
// texels of the drawing aids in the font texture
constexpr sF32 RectU = 0.03125f;        // texel (4, 4) of glyph 0
constexpr sF32 RectV = 0.03125f;
constexpr sF32 LineU = 0.09375f;        // column 4 of glyph 1
constexpr sF32 LineV0 = 0.02734375f;    // row 3.5
constexpr sF32 LineV1 = 0.04296875f;    // row 5.5

void MakeMaterial(sMaterial *m, sTextureBase *tex, sU32 textureFlags, sVertexFormat *format)
{
  m->Texture[0] = tex;
  m->S.TextureFlags[0] = textureFlags;
  m->S.Flags = 0x4000;   // no depth, no culling
  m->InitVariants(2);
  m->S.BlendColor = 0;
  m->SetVariant(1);
  m->S.BlendColor = 0x60105;   // source alpha, add, inverse source alpha
  m->SetVariant(0);
  m->Prepare(format);
}
}

sPainter::sPainter()
    : Alloc(0), Used(0), Vertices(nullptr), Geo(nullptr), GeoCol(nullptr), GeoCube(nullptr), FlatMtrl(nullptr),
      CubeMtrl(nullptr), FontTex(nullptr), View(nullptr), TexelOffset(0), PosOffset(0), ViewCB(nullptr)
{
  Init();
  Flags = 0;
  LineHeight = 10.0f;
  Color = 0xffffffff;
  AltColor = 0xffffffff;
  Zoom = 1.0f;
}

sPainter::~sPainter()
{
  sDELETE(FlatMtrl);
  sDELETE(CubeMtrl);
  sDELETE(Geo);
  sDELETE(GeoCol);
  sDELETE(GeoCube);
  sDELETE(FontTex);
  sDELETE(View);
  sDELETE(ViewCB);
  sMemFree(Vertices);
  Vertices = nullptr;
}

void sPainter::Init()
{
  TexelOffset = 0.0f;
  PosOffset = 0.0f;
  Geo = sNEW sGeometry(sGF_QUADLIST, sVertexFormatPosColUV);
  GeoCol = sNEW sGeometry(sGF_QUADLIST, sVertexFormatPosColUV);
  GeoCube = sNEW sGeometry(sGF_QUADLIST, sVertexFormatPosNormUV);

  FontTex = sNEW sTexture2D(sPAINTER_FONTSIZE, sPAINTER_FONTSIZE, sTEX_2D | sTEX_ARGB8888, 1);
  sSetAllocSource(__FILE__, __LINE__);
  sU32 *pixels = static_cast<sU32 *>(sMemAlloc(sPAINTER_FONTSIZE * sPAINTER_FONTSIZE * 4, 16, 0));
  sExpandPainterFont(pixels);
  FontTex->LoadAll(reinterpret_cast<const sU8 *>(pixels));
  sMemFree(pixels);

  FlatMtrl = sNEW sSimpleMaterial;
  MakeMaterial(FlatMtrl, FontTex, sMTF_POINT, sVertexFormatPosColUV);

  Env = sRenderEnv();

  CubeMtrl = sNEW sPainterMaterial;
  MakeMaterial(CubeMtrl, nullptr, sMTF_POINT | sMTF_EXTERN, sVertexFormatPosNormUV);

  Alloc = sPAINTER_MAXQUADS;
  Used = 0;
  sSetAllocSource(__FILE__, __LINE__);
  Vertices = static_cast<sPainterVertex *>(sMemAlloc(sDInt(Alloc) * 4 * sizeof(sPainterVertex), 16, 0));

  View = sNEW sViewport;
  View->Orthogonal = sVO_PIXELS;
  View->CenterX = 0.5f;
  View->CenterY = 0.5f;
  View->Prepare(15);

  ViewCB = sNEW sCBuffer(sCBUFFER_VS + 0, 0, sVIEWCONSTANTS_REGS);

  sGraphicsCaps caps;
  sGetGraphicsCaps(caps);
  TexelOffset = caps.XSOffset;
  PosOffset = caps.YSOffset;
}

void sPainter::UpdateView()
{
  View->SetTarget(nullptr);
  View->Prepare(15);
}

void sPainter::SetPrint(sU32 flags, sU32 color, sF32 zoom, sU32 altColor, sF32 lineHeight)
{
  Flags = flags;
  Color = color;
  Zoom = zoom;
  AltColor = altColor;
  LineHeight = lineHeight;
}

sPainterVertex *sPainter::AddQuad()
{
  Used++;
  sVERIFY(Used<=Alloc);
  return Vertices + sDInt(Used - 1) * 4;
}

void sPainter::Rect(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 color)
{
  RectGradient(x0, y0, x1, y1, color, color, color, color);
}

void sPainter::RectGradient(const sRect &r, const sU32 *c)
{
  RectGradient(sF32(r.x0), sF32(r.y0), sF32(r.x1), sF32(r.y1), c[0], c[1], c[2], c[3]);
}

void sPainter::RectGradient(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 c0, sU32 c1, sU32 c2, sU32 c3)
{
  sPainterVertex *v = AddQuad();
  v[0].Init(x0, y0, 1.0f, c0, RectU, RectV);
  v[1].Init(x1, y0, 1.0f, c1, RectU, RectV);
  v[2].Init(x1, y1, 1.0f, c2, RectU, RectV);
  v[3].Init(x0, y1, 1.0f, c3, RectU, RectV);
}

void sPainter::Line(sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 c0, sU32 c1, sBool skipEnd)
{
  sF32 dx = x1 - x0;
  sF32 dy = y1 - y0;
  sF32 len = std::sqrt(dx * dx + dy * dy);
  if(len > 0.0f)
  {
    dx /= len;
    dy /= len;
  }
  else
  {
    dx = 1.0f;
    dy = 0.0f;
  }
  sF32 px = dy, py = -dx;
  sF32 sx = x0 - dx, sy = y0 - dy;
  sF32 ex = skipEnd ? x1 - dx : x1 + dx;
  sF32 ey = skipEnd ? y1 - dy : y1 + dy;

  sPainterVertex *v = AddQuad();
  v[0].Init(sx + px, sy + py, 0.0f, c0, LineU, LineV0);
  v[1].Init(sx - px, sy - py, 0.0f, c0, LineU, LineV1);
  v[2].Init(ex - px, ey - py, 0.0f, c1, LineU, LineV1);
  v[3].Init(ex + px, ey + py, 0.0f, c1, LineU, LineV0);
}

void sPainter::PrintRun(sU32 flags, sF32 x, sF32 y, sU32 color, const sChar *text, sInt n, sF32 zoom)
{
  (void)flags;   // the style flags select nothing in the built-in font
  if(!text) return;
  if(n < 0) n = sGetStringLen(text);
  sInt room = Alloc - Used;
  if(n > room) n = room;   // the rest is dropped

  const sF32 po = PosOffset;
  const sF32 to = TexelOffset;
  const sF32 w = 6.0f * zoom;
  const sF32 h = 8.0f * zoom;
  sF32 px = x;
  for(sInt i = 0; i < n; i++)
  {
    // the font has 256 glyphs: a character above them shows the glyph of its low byte
    sInt c = text[i] & 0xff;
    sF32 u0 = (sF32((c & 15) * 8) + to) / 128.0f;
    sF32 u1 = (sF32((c & 15) * 8 + 6) + to) / 128.0f;
    sF32 v0 = (sF32((c >> 4) * 8) + to) / 128.0f;
    sF32 v1 = (sF32((c >> 4) * 8 + 8) + to) / 128.0f;
    sPainterVertex *v = AddQuad();
    v[0].Init(px + po, y + po, 0.0f, color, u0, v0);
    v[1].Init(px + w + po, y + po, 0.0f, color, u1, v0);
    v[2].Init(px + w + po, y + h + po, 0.0f, color, u1, v1);
    v[3].Init(px + po, y + h + po, 0.0f, color, u0, v1);
    px += w;
  }
}

void sPainter::Print(sF32 x, sF32 y, const sChar *text)
{
  if(!text) return;
  sBool alt = 0;
  sF32 px = x;
  sF32 py = y;
  const sChar *s = text;
  while(*s)
  {
    if(*s == '\'')
    {
      alt = !alt;
      s++;
    }
    else if(*s == '\n')
    {
      px = x;
      py += LineHeight * Zoom;
      s++;
    }
    else
    {
      sInt n = 0;
      while(s[n] && s[n] != '\'' && s[n] != '\n') n++;
      PrintRun(Flags, px, py, alt ? AltColor : Color, s, n, Zoom);
      px += 6.0f * Zoom * sF32(n);
      s += n;
    }
  }
}

sF32 sPainter::GetWidth(const sChar *text, sInt n) const
{
  if(n < 0) n = sGetStringLen(text);
  return 6.0f * sF32(n);
}

void sPainter::Draw()
{
  sVERIFY(Used<=Alloc);
  if(Used <= 0) return;

  sSetViewConstants(static_cast<sViewConstants *>(ViewCB->Data), *View);
  ViewCB->Modify();
  sCBufferBase *cb = ViewCB;
  FlatMtrl->Set(&cb, 1, 0);

  void *ptr = nullptr;
  Geo->BeginLoadVB(Used * 4, sGD_STREAM, &ptr);
  std::memcpy(ptr, Vertices, sDInt(Used) * 4 * sizeof(sPainterVertex));
  Geo->EndLoadVB();
  Geo->Draw();
}
