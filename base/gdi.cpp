// The 2D layer: colours, pointer, off-screen bitmaps, fonts and the window title.
#include "base/gdi.hpp"
#include "base/app.hpp"
#include "base/system.hpp"
#include "base/window.hpp"
#include "platform/font/font.hpp"
#include "platform/text/utf.hpp"
#include "platform/window/window.hpp"

#include <climits>
#include <string>

namespace
{

/****************************************************************************/

// GDI order: red in the low byte
sU32 ToGdiOrder(sU32 argb) { return ((argb & 0xff) << 16) | (argb & 0xff00) | ((argb >> 16) & 0xff); }
sU32 FromGdiOrder(sU32 bgr) { return ToGdiOrder(bgr); }

sU32 ColorTable[32] = {};

// slot 0 is no pointer; the others are system cursors
const plat::CursorShape PointerShapes[sMP_MAX] = {
  plat::CursorShape::Arrow,   // unused
  plat::CursorShape::Arrow,    plat::CursorShape::Wait,     plat::CursorShape::Crosshair, plat::CursorShape::Hand,
  plat::CursorShape::IBeam,    plat::CursorShape::No,       plat::CursorShape::SizeAll,   plat::CursorShape::SizeNS,
  plat::CursorShape::SizeWE,   plat::CursorShape::SizeNWSE, plat::CursorShape::SizeNESW,
};
sInt LastPointer = -1;   // none set yet

// 0 none, 1 off-screen bitmap
sInt Render2DMode = 0;
plat::Bitmap2D *WMPaintDC = nullptr;   // the frame driver's paint target
plat::Bitmap2D *sGDIDC = nullptr;      // where drawing goes
plat::Bitmap2D *SavedPaintDC = nullptr;
std::unique_ptr<plat::Bitmap2D> Bitmap;
sInt BitmapWidth = 0;
sInt BitmapHeight = 0;

sStringBuffer<257> WindowName;   // 256 characters and the terminator

}

/****************************************************************************/
/***   Subsystem, colours, pointer                                        ***/
/****************************************************************************/

void sInitGDI()
{
  for(sU32 &c : ColorTable) c = 0;
  LastPointer = -1;
}

void sExitGDI()
{
  // a bitmap left open by a caller goes with the subsystem
  Bitmap.reset();
  Render2DMode = 0;
  sGDIDC = WMPaintDC;
}

void sInstallGdiSubsystem()
{
  static bool installed = false;
  if(installed) return;
  installed = true;
  sSetSubsystemFunctions(u"GDI", sInitGDI, sExitGDI);
}

void sSetColor(sInt colid, sU32 argb)
{
  sVERIFY(colid>=0 && colid<32);
  ColorTable[colid] = ToGdiOrder(argb);
}

sU32 sGetColor(sInt colid)
{
  sVERIFY(colid>=0 && colid<32);
  return FromGdiOrder(ColorTable[colid]);
}

void sFillRect2D(sInt x0, sInt y0, sInt x1, sInt y1, sInt colid)
{
  sVERIFY(colid>=0 && colid<32);
  if(x0 == x1 || y0 == y1 || !sGDIDC) return;
  sGDIDC->FillRect(x0, y0, x1, y1, ColorTable[colid]);
}

void sSetMousePointer(sInt code)
{
  sVERIFY(code>=0 && code<sMP_MAX);
  if(code != sMP_OFF) plat::SetCursorShape(PointerShapes[code]);
  if(code == sMP_OFF)
  {
    if(LastPointer != sMP_OFF) plat::ShowCursor(false);
  }
  else if(LastPointer == sMP_OFF)
  {
    plat::ShowCursor(true);
  }
  LastPointer = code;
}

/****************************************************************************/
/***   Off-screen rendering                                               ***/
/****************************************************************************/

void sSet2DPaintTarget(plat::Bitmap2D *target)
{
  WMPaintDC = target;
  if(Render2DMode == 0) sGDIDC = target;
}

void sRender2DBegin(sInt width, sInt height)
{
  sVERIFY(Render2DMode==0);
  sVERIFY(WMPaintDC==0);
  Render2DMode = 1;
  SavedPaintDC = WMPaintDC;
  Bitmap = plat::Bitmap2D::Create(width, height);
  if(!Bitmap) sFatalF(u"could not create GDI-BM for bitmap rendering");
  BitmapWidth = width;
  BitmapHeight = height;
  sGDIDC = Bitmap.get();
}

void sRender2DEnd()
{
  sVERIFY(Render2DMode!=0);
  sVERIFY(sGDIDC);
  Bitmap.reset();
  BitmapWidth = BitmapHeight = 0;
  sGDIDC = SavedPaintDC;
  SavedPaintDC = nullptr;
  Render2DMode = 0;
}

void sRender2DGetPixels(sU32 *buffer)
{
  sVERIFY(Render2DMode==1 || Render2DMode==3);
  sVERIFY(sGDIDC);
  Bitmap->GetPixels(buffer);
}

/****************************************************************************/
/***   Fonts                                                              ***/
/****************************************************************************/

struct sFont2D::Record
{
  sInt Height = 0;       // cell height
  sInt CharHeight = 0;   // without the internal leading
  sInt Ascent = 0;
  std::unique_ptr<plat::Font> Font;
  sInt BackColorId = 0;
  sU32 BackColor = 0xffffff;   // GDI order
  sU32 TextColor = 0;
  sInt Abc[256][3] = {};
};

sFont2D::sFont2D(const sChar *face, sInt height, sInt flags, sInt width) { Init(face, height, flags, width); }

sFont2D::~sFont2D() { sDelete(Font); }

void sFont2D::Init(const sChar *face, sInt height, sInt flags, sInt width)
{
  sDELETE(Font);
  Font = sNEW Record;

  std::u16string why;
  if(face && face[0])
  {
    plat::FontRequest request;
    sChar name[33];   // 32 characters and the terminator
    sCopyString(name, face);
    request.Face = name;
    request.Height = height;
    request.Width = width;
    request.Weight = (flags & sF2C_BOLD) ? 700 : 0;
    request.Italic = (flags & sF2C_ITALICS) != 0;
    request.Underline = (flags & sF2C_UNDERLINE) != 0;
    request.StrikeOut = (flags & sF2C_STRIKEOUT) != 0;
    request.Symbol = (flags & sF2C_SYMBOLS) != 0;
    request.Antialiased = (flags & sF2C_ANTIALIASED) != 0;
    Font->Font = plat::Font::Create(request, &why);
    if(Font->Font && Font->Font->IsFallback())
      sLogF(u"gfx", u"font %q not found, %q stands in for it\n", name, Font->Font->GetFamily().c_str());
  }
  if(!Font->Font)
  {
    // the system's message-box font
    plat::FontRequest fallback = plat::MessageBoxFont();
    fallback.Antialiased = (flags & sF2C_ANTIALIASED) != 0;
    Font->Font = plat::Font::Create(fallback, &why);
    if(!Font->Font)
    {
      // no font on the machine: text measures empty and draws nothing
      sLogF(u"gfx", u"no font available: %s\n", why.c_str());
      return;
    }
  }

  const plat::FontMetrics &m = Font->Font->GetMetrics();
  Font->Height = m.Height;
  Font->CharHeight = m.Height - m.InternalLeading;
  Font->Ascent = m.Ascent;
  plat::AbcWidths abc[256];
  if(Font->Font->GetAbcWidths(0, 255, abc))
  {
    for(sInt i = 0; i < 256; i++)
    {
      Font->Abc[i][0] = abc[i].A;
      Font->Abc[i][1] = abc[i].B;
      Font->Abc[i][2] = abc[i].C;
    }
  }
}

sInt sFont2D::GetHeight() const { return Font->Height; }
sInt sFont2D::GetCharHeight() const { return Font->CharHeight; }
sInt sFont2D::GetBaseline() const { return Font->Ascent; }
plat::Font *sFont2D::GetPlatformFont() const { return Font->Font.get(); }

void sFont2D::GetAbcWidths(sInt character, sInt &a, sInt &b, sInt &c) const
{
  sVERIFY(character>=0 && character<256);
  a = Font->Abc[character][0];
  b = Font->Abc[character][1];
  c = Font->Abc[character][2];
}

sBool sFont2D::HasGlyph(sInt character) const
{
  if(!Font->Font) return 0;
  return Font->Font->HasGlyph(char32_t(sU16(character))) ? 1 : 0;
}

void sFont2D::SetColor(sInt text, sInt back)
{
  sVERIFY(text>=0 && text<32);
  sVERIFY(back>=0 && back<32);
  Font->BackColorId = back;
  Font->BackColor = ColorTable[back];
  Font->TextColor = ColorTable[text];
}

void sFont2D::Print(sInt flags, sInt x, sInt y, const sChar *text, sInt length)
{
  (void)flags;
  if(!text || !sGDIDC || !Font->Font) return;
  sGDIDC->DrawText(*Font->Font, x, y, text, length < 0 ? -1 : length, Font->TextColor, plat::BackMode::Transparent);
}

namespace
{
sS16 Clamp16(sInt v) { return sS16(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
}

void sFont2D::GetCharInfo(sFontCharInfo *out, sInt character) const
{
  *out = {};
  if(!Font->Font) return;
  const plat::Font &f = *Font->Font;
  char16_t text[2] = {char16_t(character), 0};
  sInt cx = 0, cy = 0;
  plat::AbcWidths abc;
  if(f.GetAbcWidths(char32_t(sU16(character)), char32_t(sU16(character)), &abc))
  {
    out->A = Clamp16(abc.A);
    out->B = Clamp16(abc.B);
    out->C = Clamp16(abc.C);
    out->Advance = Clamp16(abc.A + abc.B + abc.C);
    plat::GlyphBox box;
    if(f.GetGlyph(char32_t(sU16(character)), &box))
    {
      out->Top = Clamp16(box.OriginY);
      out->Height = Clamp16(box.BlackBoxY);
    }
    else
    {
      f.GetTextExtent(text, 1, &cx, &cy);
      out->Top = out->Height = Clamp16(cy);
    }
  }
  else
  {
    f.GetTextExtent(text, 1, &cx, &cy);
    out->B = out->Advance = Clamp16(cx);
    out->Top = out->Height = Clamp16(cy);
  }
}

/****************************************************************************/
/***   Window title                                                       ***/
/****************************************************************************/

const sChar *sGetWindowName()
{
  return WindowName.IsEmpty() ? u"orvane application" : WindowName.Get();
}

void sSetWindowName(const sChar *title)
{
  if(WindowName == (title ? title : u"")) return;
  WindowName = title;
  if(plat::Window *window = sGetMainWindow()) window->SetTitle(WindowName.Get());
}
