// The font atlas: glyph metrics from the fonts, placement by a best-fit search over free
// rectangles, drawing through the 2D layer and the finishing steps on the image.

#include "graphics/fontatlas.hpp"

#include "base/gdi.hpp"
#include "graphics/image.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
struct FreeRect
{
  sInt X, Y, W, H;
};

// Places every box (w, h) into a size x size area, the largest first, each into the free
// rectangle that leaves the least on its shorter side; false when one does not fit.
bool Place(GlyphRecord *recs, const std::vector<sInt> &order, sInt sizeX, sInt sizeY)
{
  std::vector<FreeRect> free = {{0, 0, sizeX, sizeY}};
  for(sInt i : order)
  {
    GlyphRecord &r = recs[i];
    sInt w = r.Box, h = r.Height;
    sInt bestFreeIndex = -1, bestShort = 0x7fffffff, bestLong = 0x7fffffff;
    for(sInt k = 0; k < sInt(free.size()); k++)
    {
      const FreeRect &f = free[size_t(k)];
      if(f.W < w || f.H < h) continue;
      sInt a = f.W - w, b = f.H - h;
      sInt s = std::min(a, b), l = std::max(a, b);
      if(s < bestShort || (s == bestShort && l < bestLong))
      {
        bestFreeIndex = k;
        bestShort = s;
        bestLong = l;
      }
    }
    if(bestFreeIndex == -1) return false;
    FreeRect f = free[size_t(bestFreeIndex)];
    free.erase(free.begin() + bestFreeIndex);
    r.X = sS16(f.X);
    r.Y = sS16(f.Y);
    // split what is left along the shorter leftover side
    FreeRect right, below;
    if(f.W - w < f.H - h)
    {
      right = {f.X + w, f.Y, f.W - w, h};
      below = {f.X, f.Y + h, f.W, f.H - h};
    }
    else
    {
      right = {f.X + w, f.Y, f.W - w, f.H};
      below = {f.X, f.Y + h, w, f.H - h};
    }
    if(right.W > 0 && right.H > 0) free.push_back(right);
    if(below.W > 0 && below.H > 0) free.push_back(below);
  }
  return true;
}
}   // namespace

GlyphRecord *sBuildFontAtlas(sImage *atlas, const sFontAtlasDesc &desc, sInt &count, sInt &baseline)
{
  sVERIFY(atlas && desc.Chars && desc.Scale > 0.0f && desc.Shrink >= 1);
  count = sGetStringLen(desc.Chars);
  baseline = 0;
  sSetAllocSource(__FILE__, __LINE__);
  GlyphRecord *recs = static_cast<GlyphRecord *>(sMemAlloc(sDInt(count > 0 ? count : 1) * sizeof(GlyphRecord), 16, 0));
  memset(recs, 0, size_t(count > 0 ? count : 1) * sizeof(GlyphRecord));
  std::vector<bool> done(size_t(count), false);
  sInt pad = sInt(sF32(std::max(desc.Padding, 4)) * desc.Scale);

  // the fonts live until the glyphs are drawn
  sRender2DBegin(64, 64);
  std::vector<sFont2D *> fonts;
  for(sInt f = 0; f < desc.FontCount; f++)
  {
    const sFontAtlasFont &e = desc.Fonts[f];
    sFont2D *font = sNEW sFont2D(e.Face, sInt(sF32(e.Height) * desc.Scale), (e.Italic ? sF2C_ITALICS : 0) | (e.Bold ? sF2C_BOLD : 0));
    fonts.push_back(font);
    if(f == 0) baseline = font->GetBaseline();
    for(sInt i = 0; i < count; i++)
    {
      sInt c = desc.Chars[i];
      if(done[size_t(i)] || !(font->HasGlyph(c) || c == 128)) continue;
      sFontCharInfo info;
      font->GetCharInfo(&info, c);
      GlyphRecord &r = recs[i];
      r.WidthA = info.A;
      r.WidthB = info.B;
      r.WidthC = info.C;
      r.Box = sS16(std::max<sInt>(info.B, 0) + 2 * pad);
      r.Height = sS16(std::max<sInt>(info.Height, 0) + 2 * pad);
      r.Char = sU16(c);
      r.OffsetY = sS16(font->GetBaseline() - info.Top - pad);
      r.Font = sS16(f);
      done[size_t(i)] = true;
    }
  }

  // larger glyphs are placed first; the records keep the order of the characters
  std::vector<sInt> order;
  for(sInt i = 0; i < count; i++)
    if(done[size_t(i)]) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](sInt a, sInt b) {
    if(recs[a].Height != recs[b].Height) return recs[a].Height > recs[b].Height;
    return recs[a].Box > recs[b].Box;
  });
  sInt sizeX = 64, sizeY = 64;
  while(!Place(recs, order, sizeX, sizeY))
  {
    sVERIFYASDESC(sizeX < 4096 || sizeY < 4096, u"-1 != bestFreeIndex", u"the glyphs do not fit a 4096 x 4096 atlas");
    if(sizeX <= sizeY) sizeX *= 2;
    else sizeY *= 2;
  }
  sRender2DEnd();

  // white ink on black; the coverage becomes the alpha of white pixels
  sRender2DBegin(sizeX, sizeY);
  sSetColor(30, 0xffffffff);
  sSetColor(31, 0xff000000);
  for(sInt i : order)
  {
    const GlyphRecord &r = recs[i];
    sFont2D *font = fonts[size_t(r.Font)];
    font->SetColor(30, 31);
    sChar ch = sChar(r.Char);
    font->Print(0, r.X + pad - r.WidthA, r.Y - r.OffsetY, &ch, 1);
  }
  atlas->Init(sizeX, sizeY);
  sRender2DGetPixels(atlas->Data);
  sRender2DEnd();
  for(sInt i = 0; i < sizeX * sizeY; i++)
  {
    sU32 c = atlas->Data[i];
    sU32 v = std::max({(c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff});
    atlas->Data[i] = v << 24 | 0x00ffffff;
  }
  for(sFont2D *font : fonts) sDelete(font);
  // the text form reads a glyph from one pixel before its ink to one pixel after it:
  // the record's x is where the ink starts, the padding lies before it
  for(sInt i : order) recs[i].X = sS16(recs[i].X + pad);

  if(desc.Shrink > 1)
  {
    sImage *small = atlas->Scaled(std::max(sizeX / desc.Shrink, 1), std::max(sizeY / desc.Shrink, 1));
    atlas->Init(small->SizeX, small->SizeY);
    memcpy(atlas->Data, small->Data, size_t(small->SizeX) * size_t(small->SizeY) * 4);
    sDELETE(small);
    for(sInt i = 0; i < count; i++)
    {
      GlyphRecord &r = recs[i];
      r.X = sS16(r.X / desc.Shrink);
      r.Y = sS16(r.Y / desc.Shrink);
      r.WidthA = sS16(r.WidthA / desc.Shrink);
      r.WidthB = sS16(r.WidthB / desc.Shrink);
      r.WidthC = sS16(r.WidthC / desc.Shrink);
      r.Box = sS16(r.Box / desc.Shrink);
      r.OffsetY = sS16(r.OffsetY / desc.Shrink);
      r.Height = sS16(r.Height / desc.Shrink);
    }
    baseline /= desc.Shrink;
  }
  if(desc.BlurRadius) atlas->Blur(desc.BlurRadius, desc.BlurPasses);
  if(desc.GlowRadius) atlas->Glow(desc.GlowRadius);
  return recs;
}
