// Text forms: the font presets, the glyph texture, line layout and the character quads.

#include "show/textform.hpp"

#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "show/scene.hpp"
#include "show/tmdata.hpp"

#include <cstring>
#include <vector>

namespace
{
struct FontPreset
{
  const sChar *Face;
  sInt Height;
  sInt Bold;
};

const FontPreset Presets[11] = {
    {u"Arial", 32, 1},       {u"Arial", 24, 0},        {u"Tahoma", 32, 0},        {u"Tahoma", 160, 1},
    {u"Bell MT", 32, 1},     {u"Another Typewriter", 40, 1}, {u"F25 Executive", 32, 1}, {u"F25 Executive", 64, 1},
    {u"Pump LT Demi", 32, 1}, {u"Pump LT Demi", 64, 1}, {u"Bauhaus 93", 32, 1},
};

// offsets of the four copies of an outlined line
const sF32 OutlineOffsets[4][2] = {{-0.35f, -0.35f}, {0.35f, -0.35f}, {-0.35f, 0.35f}, {0.35f, 0.35f}};

// The glyphs and the glyph texture of a preset, shared by every text form that uses it.
// The atlas is white with the coverage in alpha, so the texture keeps the alpha alone
// (it samples as white with that alpha).
struct SharedFont
{
  sInt Preset;
  sInt Users;
  GlyphRecord *Glyphs;
  sInt GlyphCount;
  sTexture2D *Texture;
};
std::vector<SharedFont *> FontPool;

void ReleaseFont(const GlyphRecord *glyphs)
{
  for(size_t i = 0; i < FontPool.size(); i++)
  {
    SharedFont *f = FontPool[i];
    if(f->Glyphs != glyphs) continue;
    if(--f->Users > 0) return;
    sMemFree(f->Glyphs);
    sDELETE(f->Texture);
    delete f;
    FontPool.erase(FontPool.begin() + std::ptrdiff_t(i));
    return;
  }
  sVERIFY(0);
}
}   // namespace

sInt TextFormFontUsers(const sTexture2D *texture)
{
  for(SharedFont *f : FontPool)
    if(f->Texture == texture) return f->Users;
  return 0;
}

TextForm::TextForm(sInt materialIndex) : Form(materialIndex)
{
  Owner = nullptr;
  GlyphTexture = nullptr;
  MaterialRow = materialIndex;
  for(TextLine &l : Lines) std::memset(&l, 0, sizeof(l));
  LineCount = CharCount = 0;
  Glyphs = nullptr;
  Preset = 0;
  GlyphCount = 0;
  LineHeight = 1.0f;
  FlipWinding = 0;
  CharSet[0] = 0;
  CursorX = CursorY = CursorZ = 0.0f;
  TextScale = 1.0f;
  LineBrightness = 1.0f;
  Align = Outline = 0;
  for(sU16 &g : GlyphMap) g = 0;
}

TextForm::~TextForm()
{
  if(Glyphs) ReleaseFont(Glyphs);
  Glyphs = nullptr;
  GlyphTexture = nullptr;
  Fonts.Reset();
}

void TextForm::SetFont(Scene *scene, sInt preset)
{
  Owner = scene;
  Preset = preset;
  LineHeight = 1.0f;
  FlipWinding = 1;
  Clear();
  TextScale = 1.0f;
  Align = Outline = 0;
  if(Glyphs) ReleaseFont(Glyphs);
  Glyphs = nullptr;
  GlyphCount = 0;
  GlyphTexture = nullptr;
  Fonts.Clear();

  sInt n = 0;
  for(sInt c = 32; c <= 128; c++) CharSet[n++] = sChar(c);
  for(sInt c = 160; c <= 255; c++) CharSet[n++] = sChar(c);
  CharSet[n] = 0;

  if(preset >= 1 && preset <= 11)
  {
    const FontPreset &p = Presets[preset - 1];
    LineHeight = sF32(p.Height);
    sFontAtlasFont f;
    std::memset(&f, 0, sizeof(f));
    sCopyString(f.Face, p.Face);
    f.Height = p.Height;
    f.Italic = 0;
    f.Bold = p.Bold;
    Fonts.AddTail(f);
  }

  // one atlas per preset, not one per form: the text forms of a preset held equal copies
  // (memory: see the README's bench figures); the atlas depends on the preset alone
  const sInt key = preset >= 1 && preset <= 11 ? preset : 0;
  SharedFont *font = nullptr;
  for(SharedFont *f : FontPool)
    if(f->Preset == key) font = f;
  if(!font)
  {
    sFontAtlasDesc desc;
    desc.Fonts = Fonts.GetData();
    desc.FontCount = Fonts.GetSize();
    desc.Chars = CharSet;
    sImage atlas;
    sInt baseline = 0;
    font = new SharedFont{key, 0, nullptr, 0, nullptr};
    font->Glyphs = sBuildFontAtlas(&atlas, desc, font->GlyphCount, baseline);
    // alpha alone: the atlas is white, and its glyphs draw the same as from 0x1001
    font->Texture = sLoadTexture2D(&atlas, sTEX_2D | sTEX_A8);
    FontPool.push_back(font);
  }
  font->Users++;
  Glyphs = font->Glyphs;
  GlyphCount = font->GlyphCount;
  GlyphTexture = font->Texture;
  for(sInt c = 0; c < 256; c++)
  {
    GlyphMap[c] = 0;
    for(sInt g = 0; g < GlyphCount; g++)
      if(Glyphs[g].Char == c)
      {
        GlyphMap[c] = sU16(g);
        break;
      }
  }
  // the material of the form's row samples the glyphs
  TMData *set = scene ? scene->MaterialSet : nullptr;
  if(set && MaterialRow >= 0 && MaterialRow < set->MaterialCount && set->Materials[MaterialRow])
    PrepareMaterial(set->Materials[MaterialRow]);

  ReplaceFormGeometry(this, sGF_TRILIST | sGF_INDEX16, sVertexFormatPosNormUV);
}

void TextForm::PrepareMaterial(sMaterial *material) const
{
  material->Texture[0] = GlyphTexture;
  // the form fills position, normal and uv: the material must read that layout
  material->Prepare(sVertexFormatPosNormUV);
}

const GlyphRecord &TextForm::GetGlyph(sInt c) const
{
  sVERIFY(Glyphs && GlyphCount > 0);
  return Glyphs[(c >= 0 && c < 256) ? GlyphMap[c] : 0];
}

sF32 TextForm::MeasureText(const sChar *text) const
{
  if(!Glyphs || !text) return 0.0f;
  sInt sum = 0;
  for(const sChar *s = text; *s; s++)
  {
    const GlyphRecord &g = GetGlyph(*s);
    sum += g.WidthA + g.WidthB + g.WidthC;
  }
  return sF32(sum) * TextScale;
}

void TextForm::AddLine(const sChar *text)
{
  sInt LineNr = LineCount + 1;
  sVERIFY(LineNr<1024);
  TextLine &l = Lines[LineCount];
  sCopyString(l.Text, text ? text : u"");
  l.x = CursorX;
  l.y = CursorY;
  l.z = CursorZ;
  l.Scale = TextScale;
  l.Colour = Colour;
  l.Align = Align;
  l.Brightness = LineBrightness;
  if(Align == 1) l.x -= MeasureText(l.Text) / 2;
  else if(Align == 2) l.x -= MeasureText(l.Text);
  // a longer text is cut: only what the line kept becomes quads
  CharCount += sGetStringLen(l.Text);
  LineCount = LineNr;
}

void TextForm::PrintLine(const sChar *text)
{
  if(Outline)
  {
    sF32 x = CursorX, y = CursorY;
    for(const sF32 *o : OutlineOffsets)
    {
      CursorX = x + o[0];
      CursorY = y + o[1];
      AddLine(text);
    }
    CursorX = x;
    CursorY = y;
  }
  else AddLine(text);
  CursorY -= TextScale * LineHeight;
}

void TextForm::PrintAt(const sChar *text, sF32 x, sF32 y, sInt align)
{
  CursorX = x;
  CursorY = y;
  Align = align;
  PrintLine(text);
}

void TextForm::PrintCenteredNext(const sChar *text)
{
  Align = 1;
  PrintLine(text);
}

void TextForm::PrintCentered3D(const sChar *text, sF32 x, sF32 y, sF32 z)
{
  CursorX = x;
  CursorY = y;
  CursorZ = z;
  Align = 1;
  PrintLine(text);
}

void TextForm::Clear()
{
  LineCount = CharCount = 0;
  CursorX = CursorY = CursorZ = 0.0f;
}

void TextForm::WriteIndices(sU16 *dest) const
{
  for(sInt c = 0; c < CharCount; c++)
  {
    sU16 b = sU16(FormBatchBase(c, 4));
    const sU16 flip[6] = {b, sU16(b + 1), sU16(b + 3), b, sU16(b + 3), sU16(b + 2)};
    const sU16 flat[6] = {sU16(b + 2), sU16(b + 3), sU16(b + 1), sU16(b + 2), sU16(b + 1), b};
    std::memcpy(dest + 6 * c, FlipWinding ? flip : flat, sizeof(flip));
  }
}

void TextForm::WriteVertices(FormVertexPNU *dest) const
{
  sF32 w = sF32(GlyphTexture->SizeX), h = sF32(GlyphTexture->SizeY);
  for(sInt n = 0; n < LineCount; n++)
  {
    const TextLine &l = Lines[n];
    sF32 x = l.x;
    for(const sChar *s = l.Text; *s; s++)
    {
      const GlyphRecord &g = GetGlyph(*s);
      x += sF32(g.WidthA - 1) * l.Scale;
      sF32 qw = sF32(g.WidthB + 2);
      for(sInt k = 0; k < 4; k++)
      {
        sF32 cx = sF32(k & 1), cy = k > 1 ? 1.0f : 0.0f;
        *dest++ = {x + cx * qw * l.Scale, l.y + 13.0f - (cy * g.Height + g.OffsetY) * l.Scale, l.z, 0, 0, 1,
                   cx * qw / w + sF32(g.X - 1) / w - 0.5f / w, cy * g.Height / h + sF32(g.Y) / h - 0.5f / h};
      }
      x += sF32(g.WidthB + 1 + g.WidthC) * l.Scale;
    }
  }
}

void TextForm::Draw(sViewport *)
{
  if(CharCount == 0 || !Geometry || !GlyphTexture) return;
  void *p = nullptr;
  Geometry->BeginLoadIB(6 * CharCount, sGD_FRAME, &p);
  WriteIndices(static_cast<sU16 *>(p));
  Geometry->EndLoadIB();
  Geometry->BeginLoadVB(4 * CharCount, sGD_FRAME, &p);
  WriteVertices(static_cast<FormVertexPNU *>(p));
  Geometry->EndLoadVB();
  DrawFormBatches(Geometry, CharCount, 4, 6);
}
