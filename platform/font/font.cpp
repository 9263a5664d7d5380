#include "platform/font/font.hpp"
#include "platform/text/utf.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>

namespace plat
{
namespace
{

// our own fontconfig configuration, loaded on first use and released at exit
std::mutex FontconfigLock;
struct FontconfigState
{
  FcConfig *Config = nullptr;
  ~FontconfigState()
  {
    if(Config)
      FcConfigDestroy(Config);
  }
} Fontconfig;

// Tahoma: the metric twin of the fonts-wine package
const char *const StandInFolders[] = {"/usr/share/wine/fonts"};

struct Match
{
  std::string File;
  int Index = 0;
  std::u16string Family;
  bool Found = false;  // one of the match's family names is the requested one
};

bool MatchFace(const std::string &family, int weight, bool italic, Match &out)
{
  std::lock_guard<std::mutex> guard(FontconfigLock);
  if(!Fontconfig.Config)
  {
    Fontconfig.Config = FcInitLoadConfigAndFonts();
    // the folders of faces that stand in for the Windows ones under their own names,
    // which the system's configuration does not scan (a folder that is missing adds nothing)
    for(const char *dir : StandInFolders)
      if(Fontconfig.Config)
        FcConfigAppFontAddDir(Fontconfig.Config, reinterpret_cast<const FcChar8 *>(dir));
  }
  if(!Fontconfig.Config)
    return false;
  FcPattern *pattern = FcPatternCreate();
  if(!pattern)
    return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(Fontconfig.Config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern *match = FcFontMatch(Fontconfig.Config, pattern, &result);
  FcPatternDestroy(pattern);
  if(!match)
    return false;
  FcChar8 *file = nullptr;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if(ok)
  {
    out.File = reinterpret_cast<const char *>(file);
    if(FcPatternGetInteger(match, FC_INDEX, 0, &out.Index) != FcResultMatch)
      out.Index = 0;
    FcChar8 *name = nullptr;
    for(int n = 0; FcPatternGetString(match, FC_FAMILY, n, &name) == FcResultMatch; n++)
    {
      if(n == 0)
        out.Family = ToUtf16(reinterpret_cast<const char *>(name));
      if(FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8 *>(family.c_str())) == 0)
      {
        out.Found = true;
        out.Family = ToUtf16(reinterpret_cast<const char *>(name));
      }
    }
  }
  FcPatternDestroy(match);
  return ok;
}

int Round(double v) { return int(std::lround(v)); }

}

struct Font::Impl
{
  FT_Library Library = nullptr;
  FT_Face Face = nullptr;
  bool SymbolMap = false;
  ~Impl()
  {
    if(Face)
      FT_Done_Face(Face);
    if(Library)
      FT_Done_FreeType(Library);
  }
};

FontRequest MessageBoxFont()
{
  FontRequest request;
  Match match;
  if(MatchFace("sans-serif", 400, false, match))
    request.Face = match.Family;
  request.Height = -12;
  return request;
}

Font::~Font() { delete Ft; }

std::unique_ptr<Font> Font::Create(const FontRequest &request, std::u16string *error)
{
  std::unique_ptr<Font> font(new Font);
  const int weight = request.Weight > 0 ? std::clamp(request.Weight, 1, 1000) : 400;
  std::string family = request.Face.empty() ? std::string("sans-serif") : ToUtf8(request.Face);
  Match match;
  if(!MatchFace(family, weight, request.Italic, match))
  {
    if(error)
      *error = u"no font found for \"" + request.Face + u"\"";
    return nullptr;
  }
  font->Family = match.Family;
  font->File = match.File;
  font->Fallback = !request.Face.empty() && !match.Found;
  font->Underline = request.Underline;
  font->StrikeOut = request.StrikeOut;
  font->Symbol = request.Symbol;
  font->Antialiased = request.Antialiased;

  font->Ft = new Impl;
  FT_Error err = FT_Init_FreeType(&font->Ft->Library);
  if(!err)
    err = FT_New_Face(font->Ft->Library, match.File.c_str(), match.Index, &font->Ft->Face);
  if(err || !FT_IS_SCALABLE(font->Ft->Face))
  {
    if(error)
      *error = u"could not load the font file \"" + ToUtf16(match.File) + u"\"";
    return nullptr;
  }
  FT_Face face = font->Ft->Face;
  if(FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 || request.Symbol)
    if(FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0)
      font->Ft->SymbolMap = true;

  // the vertical extent of the cell, in font units
  const double upem = face->units_per_EM ? face->units_per_EM : 2048;
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  double cellAscent = face->ascender, cellDescent = -face->descender;
  if(os2 && os2->version != 0xffff && os2->usWinAscent + os2->usWinDescent > 0)
  {
    cellAscent = os2->usWinAscent;
    cellDescent = os2->usWinDescent;
  }
  if(cellAscent + cellDescent <= 0)
  {
    cellAscent = upem * 0.8;
    cellDescent = upem * 0.2;
  }
  const double cell = cellAscent + cellDescent;

  FontMetrics &m = font->Metrics;
  // sizes beyond any screen are cut, so that glyph bitmaps stay reasonable
  const int limit = 4096;
  int height = request.Height == 0 ? -12 : std::clamp(request.Height, -limit, limit);
  int em;
  if(height > 0)
  {
    em = std::max(1, Round(height * upem / cell));
    m.Height = height;
    m.Ascent = Round(cellAscent * height / cell);
    m.Descent = height - m.Ascent;
  }
  else
  {
    em = -height;
    m.Ascent = Round(cellAscent * em / upem);
    m.Descent = Round(cellDescent * em / upem);
    m.Height = m.Ascent + m.Descent;
  }
  m.InternalLeading = std::max(0, m.Height - em);
  const double scale = em / upem;
  if(hhea)
  {
    double gap = hhea->Line_Gap + hhea->Ascender - hhea->Descender - cell;
    m.ExternalLeading = std::max(0, Round(gap * scale));
  }
  double average = os2 && os2->version != 0xffff && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth * scale : 0;

  // a requested average width stretches the glyphs horizontally
  double xEm = em;
  if(request.Width > 0 && average > 0)
  {
    xEm = em * std::min(request.Width, limit) / average;
    average = std::min(request.Width, limit);
  }
  FT_Set_Char_Size(face, FT_F26Dot6(std::lround(xEm * 64)), FT_F26Dot6(em) * 64, 72, 72);
  double xScale = xEm / upem;
  m.MaxCharWidth = Round(face->max_advance_width * xScale);

  bool faceBold = (face->style_flags & FT_STYLE_FLAG_BOLD) || (os2 && os2->version != 0xffff && os2->usWeightClass >= 600);
  font->SynthBold = weight >= 600 && !faceBold;
  font->SynthItalic = request.Italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
  if(average <= 0)
    average = font->Render(u'x').Advance;
  m.AveCharWidth = Round(average);
  if(font->SynthBold)
    m.MaxCharWidth += 1;

  // underline below the baseline, strike-out above it
  font->UnderlineSize = std::max(1, Round(face->underline_thickness * scale));
  font->UnderlineY = std::max(1, Round(-face->underline_position * scale));
  if(os2 && os2->version != 0xffff && os2->yStrikeoutSize > 0)
  {
    font->StrikeSize = std::max(1, Round(os2->yStrikeoutSize * scale));
    font->StrikeY = Round(os2->yStrikeoutPosition * scale);
  }
  else
  {
    font->StrikeSize = font->UnderlineSize;
    font->StrikeY = m.Ascent / 3;
  }
  return font;
}

unsigned Font::GlyphIndex(char32_t c) const
{
  if(c >= 0xd800 && c < 0xe000)
    return 0;
  unsigned index = FT_Get_Char_Index(Ft->Face, c);
  if(!index && Ft->SymbolMap && c < 0x100)
    index = FT_Get_Char_Index(Ft->Face, 0xf000 + c);
  return index;
}

bool Font::HasGlyph(char32_t c) const { return GlyphIndex(c) != 0; }

const Font::Rendered &Font::Render(char32_t c) const
{
  unsigned index = GlyphIndex(c);
  auto found = Cache.find(index);
  if(found != Cache.end())
    return found->second;
  Rendered &r = Cache[index];
  FT_Face face = Ft->Face;
  if(FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0)
    return r;
  FT_GlyphSlot slot = face->glyph;
  if(SynthItalic)
    FT_GlyphSlot_Oblique(slot);
  if(SynthBold)
    FT_GlyphSlot_Embolden(slot);
  r.Advance = int((slot->advance.x + 32) >> 6);
  if(FT_Render_Glyph(slot, Antialiased ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
    return r;
  const FT_Bitmap &bm = slot->bitmap;
  if(bm.width == 0 || bm.rows == 0)
    return r;
  // coverage of a pixel: 8 bits, or one bit (most significant first) widened to 0 or 255
  auto at = [&bm](int x, int y) -> uint8_t {
    const uint8_t *row = bm.buffer + long(y) * bm.pitch;
    return bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255 : row[x];
  };
  if(bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO)
    return r;
  // the black box is the tight box of the coverage
  int x0 = int(bm.width), x1 = -1, y0 = int(bm.rows), y1 = -1;
  for(int y = 0; y < int(bm.rows); y++)
  {
    for(int x = 0; x < int(bm.width); x++)
      if(at(x, y))
      {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
  }
  if(x1 < 0)
    return r;
  r.Left = slot->bitmap_left + x0;
  r.Top = slot->bitmap_top - y0;
  r.Width = x1 - x0 + 1;
  r.Height = y1 - y0 + 1;
  r.Coverage.resize(size_t(r.Width) * size_t(r.Height));
  for(int y = 0; y < r.Height; y++)
    for(int x = 0; x < r.Width; x++)
      r.Coverage[size_t(y) * size_t(r.Width) + size_t(x)] = at(x + x0, y + y0);
  return r;
}

bool Font::GetAbcWidths(char32_t first, char32_t last, AbcWidths *out) const
{
  if(last < first || !out)
    return false;
  for(char32_t c = first; c <= last; c++)
  {
    const Rendered &r = Render(c);
    AbcWidths &w = out[c - first];
    if(r.Width == 0)
    {
      w.A = 0;
      w.B = 1;
    }
    else
    {
      w.A = r.Left;
      w.B = r.Width;
    }
    w.C = r.Advance - w.A - w.B;
  }
  return true;
}

bool Font::GetGlyph(char32_t c, GlyphBox *box, std::vector<uint8_t> *coverage) const
{
  const Rendered &r = Render(c);
  GlyphBox b;
  b.AdvanceX = r.Advance;
  if(r.Width == 0)
  {
    b.BlackBoxX = b.BlackBoxY = 1;
    if(coverage)
      coverage->assign(1, 0);
  }
  else
  {
    b.BlackBoxX = r.Width;
    b.BlackBoxY = r.Height;
    b.OriginX = r.Left;
    b.OriginY = r.Top;
    if(coverage)
      *coverage = r.Coverage;
  }
  if(box)
    *box = b;
  return true;
}

namespace
{
// the next character of UTF-16 text; pairs of surrogates are joined
char32_t NextChar(const char16_t *text, int length, int &i)
{
  char32_t c = text[i++];
  if(c >= 0xd800 && c < 0xdc00 && i < length && text[i] >= 0xdc00 && text[i] < 0xe000)
    c = 0x10000 + ((c - 0xd800) << 10) + (text[i++] - 0xdc00);
  return c;
}

int Length(const char16_t *text, int length)
{
  if(!text)
    return 0;
  if(length >= 0)
    return length;
  int n = 0;
  while(text[n])
    n++;
  return n;
}
}

void Font::GetTextExtent(const char16_t *text, int length, int *cx, int *cy) const
{
  length = Length(text, length);
  int width = 0;
  for(int i = 0; i < length;)
    width += Render(NextChar(text, length, i)).Advance;
  if(cx)
    *cx = width;
  if(cy)
    *cy = Metrics.Height;
}

std::unique_ptr<Bitmap2D> Bitmap2D::Create(int width, int height)
{
  if(width < 0 || height < 0 || uint64_t(width) * uint64_t(height) > (uint64_t(1) << 28))
    return nullptr;
  std::unique_ptr<Bitmap2D> bitmap(new Bitmap2D);
  size_t count = size_t(width) * size_t(height);
  bitmap->Pixels.reset(new(std::nothrow) uint32_t[count ? count : 1]);
  if(!bitmap->Pixels)
    return nullptr;
  std::fill_n(bitmap->Pixels.get(), count, 0u);
  bitmap->Width = width;
  bitmap->Height = height;
  return bitmap;
}

namespace
{
uint32_t ToPixel(uint32_t color)
{
  return (color & 0xff) << 16 | (color & 0xff00) | (color >> 16 & 0xff);
}
}

void Bitmap2D::FillRect(int x0, int y0, int x1, int y1, uint32_t color)
{
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, Width);
  y1 = std::min(y1, Height);
  uint32_t pixel = ToPixel(color);
  for(int y = y0; y < y1; y++)
    for(int x = x0; x < x1; x++)
      Pixels[size_t(y) * size_t(Width) + size_t(x)] = pixel;
}

void Bitmap2D::Blend(int x, int y, uint32_t rgb, unsigned coverage)
{
  if(x < 0 || y < 0 || x >= Width || y >= Height || coverage == 0)
    return;
  uint32_t &dst = Pixels[size_t(y) * size_t(Width) + size_t(x)];
  if(coverage >= 255)
  {
    dst = rgb;
    return;
  }
  uint32_t out = 0;
  for(int shift = 0; shift < 24; shift += 8)
  {
    uint32_t s = rgb >> shift & 0xff, d = dst >> shift & 0xff;
    out |= ((s * coverage + d * (255 - coverage) + 127) / 255) << shift;
  }
  dst = out;
}

void Bitmap2D::DrawText(const Font &font, int x, int y, const char16_t *text, int length, uint32_t textColor,
                        BackMode mode, uint32_t backColor)
{
  length = Length(text, length);
  const FontMetrics &m = font.GetMetrics();
  if(mode == BackMode::Opaque)
  {
    int cx = 0;
    font.GetTextExtent(text, length, &cx, nullptr);
    FillRect(x, y, x + cx, y + m.Height, backColor);
  }
  const uint32_t rgb = ToPixel(textColor);
  const int baseline = y + m.Ascent;
  int pen = x;
  for(int i = 0; i < length;)
  {
    const Font::Rendered &g = font.Render(NextChar(text, length, i));
    const int left = pen + g.Left, top = baseline - g.Top;
    // rows and columns outside the bitmap are skipped whole
    int gy0 = std::max(0, -top), gy1 = std::min(g.Height, Height - top);
    int gx0 = std::max(0, -left), gx1 = std::min(g.Width, Width - left);
    for(int gy = gy0; gy < gy1; gy++)
      for(int gx = gx0; gx < gx1; gx++)
        Blend(left + gx, top + gy, rgb, g.Coverage[size_t(gy) * size_t(g.Width) + size_t(gx)]);
    pen += g.Advance;
  }
  if(font.IsUnderline())
    for(int row = 0; row < font.UnderlineThickness(); row++)
      for(int px = x; px < pen; px++)
        Blend(px, baseline + font.UnderlinePosition() + row, rgb, 255);
  if(font.IsStrikeOut())
    for(int row = 0; row < font.StrikeOutThickness(); row++)
      for(int px = x; px < pen; px++)
        Blend(px, baseline - font.StrikeOutPosition() + row, rgb, 255);
}

void Bitmap2D::GetPixels(uint32_t *out) const
{
  std::copy_n(Pixels.get(), size_t(Width) * size_t(Height), out);
}

uint32_t Bitmap2D::GetPixel(int x, int y) const
{
  if(x < 0 || y < 0 || x >= Width || y >= Height)
    return 0;
  return Pixels[size_t(y) * size_t(Width) + size_t(x)];
}

}
