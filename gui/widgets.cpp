// The GUI's touch elements: their tables, creation, per-frame drawing and pressing.
#include "gui/widgets.hpp"

#include "base/numbers.hpp"
#include "show/forms.hpp"
#include "show/scene.hpp"
#include "show/textform.hpp"

#include <algorithm>
#include <cmath>

namespace
{
// One widget kind: frame and face quad (size, origin offset), materials, hit rectangle,
// label position.
struct WidgetKind
{
  sF32 W, H, OX, OY;
  sInt FrameMaterial, FaceMaterial;
  GuiHitRect Hit;
  sF32 LabelX, LabelY;
};
const WidgetKind WidgetKinds[6] = {
  {256, 64, -128, -32, 9, 11, {-85, 72, -25, 5}, -28, 2},     // 0 wide button
  {256, 64, -128, -32, 9, 11, {-85, 72, -25, 5}, -28, 2},     // 1 page and style button
  {256, 64, -128, -32, 9, 11, {-85, 72, -25, 5}, -28, 2},     // 2 list button
  {128, 128, -64, -64, 24, 25, {-45, 67, -37, 26}, 0, -10},   // 3 square switch
  {256, 64, -128, -32, 26, 11, {-85, 72, -25, 5}, -18, 2},    // 4 wide button with indicator
  {64, 64, -32, -32, 27, 11, {-14, 35, -25, 5}, 0, 2},        // 5 small key
};
constexpr sInt IndicatorMaterial = 12;

struct SliderKind
{
  sF32 W, H, OX, OY;
  sInt TrackMaterial, KnobMaterial;
  sF32 Travel;
  GuiHitRect Hit;
  sBool Vertical;
};
const SliderKind SliderKinds[4] = {
  {256, 64, -128, -32, 18, 19, 98.56f, {-110, 133, -25, 5}, 0},
  {512, 64, -256, -32, 16, 17, 204.8f, {-217, 240, -25, 5}, 0},
  {64, 256, -32, -128, 20, 21, 64.0f, {-4, 26, -98, 75}, 1},
  {64, 512, -32, -256, 22, 23, 175.104f, {-4, 26, -210, 187}, 1},
};
constexpr sF32 KnobSize = 64.0f;

// Tile areas relative to its centre.
const GuiHitRect TileHover = {-76, 92, -57, 34};
const GuiHitRect TileMain = {-76, 56, -57, 34};
const GuiHitRect TileSecond = {57, 92, -10, 34};
const GuiHitRect TileMark = {57, 92, -57, -11};

constexpr sU32 FrameNormal = 0xC0204060, FrameHover = 0xC0305070;
constexpr sU32 FrameSelected = 0xA0FF8000, FrameList = 0xA0FF0080;

// A quad of an element; one kept out of the object list (add clear) is drawn and deleted
// by whoever shows the element.
ArrayForm *MakeQuad(GuiTouchState *owner, sInt material, sF32 w, sF32 h, sF32 ox, sF32 oy, sU32 mask,
                    const sF32 *uv = nullptr, sBool add = 1)
{
  if(!owner || !owner->Owner) return nullptr;
  static const sF32 FlipV[4] = {1, -1, 0, -1};
  const sF32 range[4] = {w, h, ox, oy};
  ArrayForm *f = sNEW ArrayForm(material);
  f->Init(ArrayForm::PLANE, 1, 1, 2, 2, range, uv ? uv : FlipV);
  f->LayerMask = mask;
  if(add) owner->Owner->AddObject(f);
  return f;
}

void Place(ArrayForm *f, sF32 x, sF32 y, sF32 z)
{
  if(!f) return;
  f->Matrix.Identity();
  f->Matrix.l = sVec3(x, y, z);
}
void Paint(ArrayForm *f, sU32 colour)
{
  if(f) f->Colour = colour;
}

bool Pressable(const GuiTouchState &t, sU32 pressTime)
{
  return t.HeldWidget == -1 && t.PressEdge && sU32(t.Clock - pressTime) >= 201;
}
bool NoDialog(const GuiTouchState &t) { return (t.PageMask & sGUI_DIALOGLAYERS) == 0; }

sU32 PulseAmber(sU32 clock)
{
  sF32 c = sF32(clock);
  return sBlendColor(0xFFFFE0B0, 0xFF807040, (std::sin(0.05f * c) + std::sin(0.03f * c) + 2.0f) * 0.25f);
}
}

sF32 PressBounce(sU32 clock, sU32 pressTime)
{
  sInt t = sInt(clock - pressTime);
  if(t < 1) t = 0;
  if(t > 500) t = 500;
  return std::sin(0.02f * sF32(t)) * (1.0f - 0.002f * sF32(t)) * 20.0f;
}

/****************************************************************************/
/***   Widgets                                                            ***/
/****************************************************************************/

void GuiWidget::CreateButton(GuiTouchState *owner, sU32 kind, sF32 x, sF32 y, sInt labelId, sU32 value, sU32 *target,
                             sU32 pageMask, sU32 *indicator, sBool inScene)
{
  sVERIFY(kind < 6);
  Owner = owner;
  Kind = kind;
  LightStyle = Action = LabelStyle = 0;
  Zero[0] = Zero[1] = 0;
  Position[0] = x, Position[1] = y, Position[2] = 0;
  LabelId = labelId;
  Value = value;
  Target = target;
  EchoTarget = ClearTarget = nullptr;
  PressTime = sU32(-10000);
  PageMask = pageMask;
  Fade = 0;
  Pressed = 0;
  Indicator = indicator;
  DialogSafe = 0;
  InScene = inScene ? 1 : 0;
  MarkSelected = 1;
  Greyed = 0;
  Enabled = 1;
  FrameForm = FaceForm = IndicatorForm = nullptr;
  const WidgetKind &k = WidgetKinds[kind];
  FrameForm = MakeQuad(owner, k.FrameMaterial, k.W, k.H, k.OX, k.OY, pageMask, nullptr, inScene);
  FaceForm = MakeQuad(owner, k.FaceMaterial, k.W, k.H, k.OX, k.OY, pageMask, nullptr, inScene);
  if(indicator) IndicatorForm = MakeQuad(owner, IndicatorMaterial, k.W, k.H, k.OX, k.OY, pageMask, nullptr, inScene);
  if(kind == 5) Paint(FaceForm, 0);
  Place(FrameForm, x, y, 0);
  Place(FaceForm, x, y, 0);
  Place(IndicatorForm, x, y, 0);
}

sF32 GuiLabelFit(const TextForm &text, sInt kind, const sChar *label)
{
  sInt n = sGetStringLen(label);
  if(n == 0 || text.TextScale <= 0) return 1.0f;
  // the ink runs from the first glyph's A width past the start to the last one's C width
  // before the end, the line being centred on the label place by its advance
  const GuiHitRect &face = GuiKindFaces[kind];
  sF32 x = WidgetKinds[kind].LabelX, half = text.MeasureText(label) / text.TextScale / 2;
  sF32 left = half - sF32(text.GetGlyph(label[0]).WidthA), right = half - sF32(text.GetGlyph(label[n - 1]).WidthC);
  sF32 fit = 1.0f;
  if(left > 0) fit = std::min(fit, (x - face.X0) / (left * text.TextScale));
  if(right > 0) fit = std::min(fit, (face.X1 - x) / (right * text.TextScale));
  return fit;
}

const GuiHitRect &GuiWidget::Hit() const { return WidgetKinds[Kind].Hit; }

void GuiWidget::Draw()
{
  GuiTouchState &t = *Owner;
  if(!(PageMask & t.PageMask)) return;
  const WidgetKind &k = WidgetKinds[Kind];
  sF32 z = Position[2] + PressBounce(t.Clock, PressTime);

  // label
  if(TextForm *text = t.Text)
  {
    sF32 lx = Position[0] + k.LabelX, ly = Position[1] + k.LabelY;
    if(Kind == 5 && LabelStyle == 2)
    {
      text->LineBrightness = t.KeyCase ? 0.5f : 0.7f;
      text->PrintCentered3D(GuiLabel(LabelId), Position[0] - 6, Position[1] - 1, z);
      text->LineBrightness = t.KeyCase ? 0.7f : 0.5f;
      text->PrintCentered3D(GuiLabel(LabelId + 1), Position[0] + 6, Position[1] + 5, z);
      text->LineBrightness = 0.7f;
    }
    else
    {
      const sChar *label = GuiLabel(LabelId + (Kind == 5 && LabelStyle == 1 ? t.KeyCase : 0));
      // a label wider than its key's face is drawn narrower: at full size it would run onto the next key
      sF32 keep = text->TextScale;
      text->TextScale = keep * GuiLabelFit(*text, sInt(Kind), label);
      text->PrintCentered3D(label, lx, ly, z);
      text->TextScale = keep;
    }
  }

  if(Greyed)
  {
    Paint(FrameForm, 0x60103050);
    Paint(FaceForm, 0);
    Paint(IndicatorForm, 0);
  }
  else
  {
    sU32 on = 0xFFFFFFFF, off = 0;
    sU32 normal = Kind == 1 || Kind == 2 ? 0xD0204060 : FrameNormal;
    sU32 hover = Kind == 1 || Kind == 2 ? 0xC0103050 : FrameHover;
    sF32 c = sF32(t.Clock);
    switch(LightStyle)
    {
    case 1: on = 0xFF70F070, off = 0xFFF07070; break;
    case 2: on = PulseAmber(t.Clock); break;
    case 3:
      on = 0;
      normal = sBlendColor(0xA0FF8000, 0x80804000, std::sin(0.01f * c));
      hover = sBlendColor(0xA0FF0080, 0x80800040, std::sin(0.01f * c));
      break;
    default: break;
    }
    if(Action == ADD)
    {
      sF32 d = 0.0025f * sF32(sInt(t.Clock - PressTime));
      Fade = 1.0f - (d < 0 ? 0 : (d > 1 ? 1 : d));
      on = sBlendColor(off, on, Fade);
      if(sInt(t.Clock - PressTime) >= 400 && Target) *Target = 0;
    }

    sU32 frame = normal;
    sF32 px = t.PointerX - Position[0], py = t.PointerY - Position[1];
    if(k.Hit.Contains(px, py) && (NoDialog(t) || DialogSafe) && Enabled)
    {
      frame = hover;
      if(Pressable(t, PressTime))
      {
        t.HeldWidget = LabelId;
        PressTime = t.Clock;
        switch(Action)
        {
        case SET:
          if(ClearTarget && Target && *Target == Value)
            *ClearTarget = sU32(-1);
          else
          {
            if(Target) *Target = Value;
            if(EchoTarget) *EchoTarget = Value;
          }
          break;
        case TOGGLE:
          if(Target) *Target ^= Value;
          break;
        case ADD:
          if(Target) *Target += Value;
          Pressed = 1;
          break;
        }
      }
    }

    sU32 face = off;
    if(EchoTarget)
      face = *EchoTarget == Value ? on : off;
    else if(Target && Kind != 5 && *Target == Value)
      face = on;
    else if(Target && Action == ADD && *Target >= Value)
      face = on;
    if(Target && *Target == Value && (Kind == 1 || ((Kind == 0 || Kind == 5) && MarkSelected))) frame = FrameSelected;
    if(Kind == 2) frame = FrameList;
    if(Kind == 4) face = off;
    Paint(FrameForm, frame);
    Paint(FaceForm, face);
    Paint(IndicatorForm, Indicator && *Indicator ? 0xFFFFFFFF : 0);
  }
  Place(FrameForm, Position[0], Position[1], z);
  Place(FaceForm, Position[0], Position[1], z);
  Place(IndicatorForm, Position[0], Position[1], z);
}

/****************************************************************************/
/***   Sliders                                                            ***/
/****************************************************************************/

void GuiSlider::Create(GuiTouchState *owner, sU32 orientation, sF32 x, sF32 y, sU32 id, sF32 *value, sU32 pageMask)
{
  sVERIFY(orientation < 4);
  Owner = owner;
  Orientation = orientation;
  Zero[0] = Zero[1] = 0;
  Position[0] = x, Position[1] = y, Position[2] = 0;
  Id = id;
  Value = value;
  PressTime = sU32(-10000);
  Changed = 1;
  PageMask = pageMask;
  Velocity = 0;
  Enabled = 1;
  const SliderKind &k = SliderKinds[orientation];
  Knob = k.Vertical ? y : x;
  TrackForm = MakeQuad(owner, k.TrackMaterial, k.W, k.H, k.OX, k.OY, pageMask);
  KnobForm = MakeQuad(owner, k.KnobMaterial, KnobSize, KnobSize, -KnobSize / 2, -KnobSize / 2, pageMask);
  Place(TrackForm, x, y, 0);
  Place(KnobForm, x, y, 0);
}

sF32 GuiSlider::Travel() const { return SliderKinds[Orientation].Travel; }
const GuiHitRect &GuiSlider::Hit() const { return SliderKinds[Orientation].Hit; }

void GuiSlider::Draw()
{
  GuiTouchState &t = *Owner;
  if(!(PageMask & t.PageMask)) return;
  const SliderKind &k = SliderKinds[Orientation];
  sF32 centre = k.Vertical ? Position[1] : Position[0];
  sF32 travel = k.Travel;
  bool hover = k.Hit.Contains(t.PointerX - Position[0], t.PointerY - Position[1]) && NoDialog(t) && Enabled;
  Paint(TrackForm, hover ? FrameHover : FrameNormal);
  Paint(KnobForm, 0xFFA0A0A0);
  if(hover && t.HeldWidget == -1 && t.ButtonDown)
  {
    t.HeldWidget = sInt(Id);
    PressTime = t.Clock;
  }
  if(t.HeldWidget == sInt(Id) && t.ButtonDown)
  {
    sF32 d = k.Vertical ? t.PointerY - Position[1] + 10 : t.PointerX - Position[0] - 10;
    d = d < -travel ? -travel : (d > travel ? travel : d);
    Velocity = (Knob - (centre + d)) * 0.1f;
    if(Velocity >= 20) Velocity = 20;
    if(Velocity < -20) Velocity = -20;
  }
  if(Changed)
  {
    sF32 v = Value ? *Value : 0.5f;
    Knob = centre + (2 * v - 1) * travel;
    Changed = 0;
    Velocity = 0;
  }
  for(sInt s = 0; s < t.StepCount; s++)
  {
    Knob -= Velocity;
    Velocity *= 0.93f;
    if(Knob < centre - travel) Knob = centre - travel;
    if(Knob > centre + travel) Knob = centre + travel;
    if(Value) *Value = ((Knob - centre) / travel + 1) * 0.5f;
  }
  sF32 z = Position[2] + PressBounce(t.Clock, PressTime);
  Place(TrackForm, Position[0], Position[1], z);
  if(k.Vertical)
    Place(KnobForm, Position[0] + 11, Knob, z);
  else
    Place(KnobForm, Knob, Position[1] - 10, z);
}

/****************************************************************************/
/***   Tiles                                                              ***/
/****************************************************************************/

void GuiTile::Create(GuiTouchState *owner, sF32 x, sF32 y, sU32 id, sU32 value, sU32 *select, sU32 *second,
                     sU32 *mark, sU32 pageMask)
{
  static const sF32 PictureUV[4] = {0.8f, -1, -0.1f, -1};
  Owner = owner;
  Zero[0] = Zero[1] = Zero[2] = 0;
  Position[0] = x, Position[1] = y, Position[2] = 0;
  Offset[0] = Offset[1] = Offset[2] = 0;
  Id = id;
  Value = value;
  SelectTarget = select;
  SecondTarget = second;
  MarkFlag = mark;
  ClearTarget = nullptr;
  PressTime = sU32(-10000);
  PageMask = pageMask;
  FrameForm = MakeQuad(owner, 13, 256, 128, -128, -64, pageMask);
  FaceForm = MakeQuad(owner, 14, 256, 128, -128, -64, pageMask);
  MarkForm = MakeQuad(owner, 15, 256, 128, -128, -64, pageMask);
  PictureForm = MakeQuad(owner, owner ? owner->TilePictureBase + sInt(value) : 0, 120, 80, -60, -40, pageMask, PictureUV);
}

void GuiTile::Draw()
{
  GuiTouchState &t = *Owner;
  sF32 x = Position[0] + Offset[0], y = Position[1] + Offset[1];
  sF32 z = Position[2] + Offset[2] + PressBounce(t.Clock, PressTime);
  sU32 layer = PageMask && x > -737.64f && x < 737.64f ? 1u : 0u;
  for(ArrayForm *f : {FrameForm, FaceForm, MarkForm, PictureForm})
    if(f) f->LayerMask = layer;
  Place(FrameForm, x, y, z);
  Place(FaceForm, x, y, z);
  Place(MarkForm, x, y, z);
  Place(PictureForm, x - 15, y, z);
  if(!layer || !(t.PageMask & 1)) return;
  sF32 px = t.PointerX - x, py = t.PointerY - y;
  Paint(FrameForm, TileHover.Contains(px, py) ? FrameHover : FrameNormal);
  if(NoDialog(t) && Pressable(t, PressTime))
  {
    if(TileMain.Contains(px, py))
    {
      t.HeldWidget = sInt(Id);
      PressTime = t.Clock;
      if(ClearTarget && SelectTarget && *SelectTarget == Value)
        *ClearTarget = sU32(-1);
      else if(SelectTarget)
        *SelectTarget = Value;
      if(MarkFlag) *MarkFlag = 1;
    }
    else if(TileSecond.Contains(px, py))
    {
      t.HeldWidget = sInt(Id | 0x10000);
      PressTime = t.Clock;
      if(SecondTarget) *SecondTarget = Value;
      if(MarkFlag) *MarkFlag = 1;
    }
    else if(TileMark.Contains(px, py))
    {
      t.HeldWidget = sInt(Id | 0x20000);
      PressTime = t.Clock;
      if(MarkFlag) *MarkFlag ^= 1;
    }
  }
  // the mark corner lets go at once, so it can be tapped again without a slide
  if(t.HeldWidget == sInt(Id | 0x20000) && !t.ButtonDown) t.HeldWidget = -1;
  sU32 face = 0;
  if(SelectTarget && *SelectTarget == Value)
    face = PulseAmber(t.Clock);
  else if(SecondTarget && *SecondTarget == Value)
    face = 0xFF7070F0;
  Paint(FaceForm, face);
  Paint(MarkForm, MarkFlag && *MarkFlag ? 0xFF70F070 : 0xFFF07070);
}

/****************************************************************************/
/***   Text                                                               ***/
/****************************************************************************/

void PrintClipped(TextForm *text, const sChar *line, sF32 x, sF32 y, sF32 width, sBool cutEnd)
{
  if(!text) return;
  if(!line || !line[0])
  {
    text->PrintLeft(u"...", x, y);
    return;
  }
  // the work buffer keeps room for "..." and the terminator whatever the input's length
  constexpr sInt Cap = 256, Keep = Cap - 4;
  sChar buf[Cap];
  sInt len = sGetStringLen(line);
  if(text->MeasureText(line) <= width && len <= Keep)
  {
    text->PrintLeft(line, x, y);
    return;
  }
  if(cutEnd)
  {
    sInt n = len < Keep ? len : Keep;
    for(;;)
    {
      sCopyString(buf, line, n + 1);
      if(n == 0 || text->MeasureText(buf) <= width) break;
      n--;
    }
    if(n < len) sAppendString(buf, u"...", Cap);
  }
  else
  {
    sInt start = len > Keep ? len - Keep : 0;
    while(start < len && text->MeasureText(line + start) > width) start++;
    buf[0] = 0;
    if(start > 0) sCopyString(buf, u"...", Cap);
    sAppendString(buf, line + start, Cap);
  }
  text->PrintLeft(buf, x, y);
}

/****************************************************************************/
/***   The pages' elements                                                ***/
/****************************************************************************/

namespace
{
constexpr sInt LockKeyLabel = 79;
}

GuiPages::GuiPages()
{
  visible = pageIndex = movieSection = 0;
  keyboardOpen = channelPageOpen = channelKind = channelPageState = 0;
  scalerPageOpen = scalerDevice = scalerInvert = 0;
  for(sVec3 &h : widgetHome) h = sVec3(0, 0, 0);
  for(GuiWidget &w : widgets) w = GuiWidget{};
  for(GuiSlider &s : sliders) s = GuiSlider{};
  for(GuiTile &t : tiles) t = GuiTile{};
  widgetCount = 0;
  scrolledRowsFirst = -1;
  rowScroll = 0;
}

sU32 GuiPages::PageMask(sBool browserOpen, sBool touchMe, sBool loading, sBool dialog, sBool locked) const
{
  if(!visible) return 0;
  sU32 m;
  if(keyboardOpen) m = sGUI_PAGE_KEYBOARD;
  else if(browserOpen) m = sGUI_PAGE_BROWSER;
  else if(channelPageOpen) m = sGUI_PAGE_CHANNEL1 << (channelPageState < 3 ? channelPageState : 0);
  else if(scalerPageOpen) m = sGUI_PAGE_SCALER;
  else if(touchMe) m = sGUI_PAGE_TOUCHME;
  else if(movieSection != 8 && movieSection != 9) m = GuiMainPageMask(sInt(pageIndex < 10 ? pageIndex : 0));
  else m = sGUI_PAGE_HEADER | sGUI_PAGE_LIST;
  if(loading) m |= sGUI_PAGE_LOADING;
  if(dialog) m |= sGUI_PAGE_DIALOG;
  if(locked) m |= sGUI_PAGE_LOCKED;
  return m;
}

void GuiPages::ScrollRows(sF32 offset)
{
  // the widgets place their frame, face and indicator quads from their position every frame
  for(sInt i = 0; i < 19 * 3 && scrolledRowsFirst >= 0; i++)
    if(sInt w = scrolledRowsFirst + i; w < widgetCount) widgets[w].Position[1] = widgetHome[w].y + offset;
  rowScroll = offset;
}

void GuiPages::MarkAllChanged()
{
  for(GuiSlider &s : sliders) s.Changed = 1;
}

void GuiPages::EnableLockKey(sBool on)
{
  for(sInt i = 0; i < widgetCount; i++)
    if(widgets[i].LabelId == LockKeyLabel && widgets[i].PageMask == sGUI_ALLPAGES) widgets[i].Enabled = on ? 1 : 0;
}

void GuiPages::DrawElements()
{
  for(GuiSlider &s : sliders) s.Draw();
  for(sInt i = 0; i < widgetCount; i++)
    if(widgets[i].InScene) widgets[i].Draw();
}

sInt GuiPages::ShownTileCount() const
{
  sInt n = 0;
  for(const GuiTile &t : tiles) n += t.PageMask != 0;
  return n;
}

void GuiPages::DrawListTiles()
{
  // a list longer than the page scrolls with the scene slider as the scene tiles do
  sInt n = ShownTileCount();
  // four tiles or fewer stand still: a span below 0 would move the row against the slider
  sF32 span = n > 4 ? sF32(n - 4) * 0.35f : 0.0f;
  sF32 scroll = sliders[0].Value ? *sliders[0].Value : 0.5f;
  sF32 offset = (span * scroll - span * 0.5f) * 500.0f;
  for(GuiTile &t : tiles)
  {
    t.Offset[0] = t.PageMask ? offset : 0;
    t.Draw();
  }
}

void GuiPages::LockAutoFxKeys(sBool running, sBool effects, sBool movies)
{
  for(sInt i = 0; i < widgetCount; i++)
  {
    GuiWidget &w = widgets[i];
    if(w.PageMask == 0x80000020 && (w.LabelId == 60 || w.LabelId == 77)) w.Enabled = !effects;
    else if(w.PageMask == 0x100 && w.LabelId != 84 && w.LabelId != 12 && w.LabelId != 13) w.Enabled = !running;
    else if(w.PageMask == sGUI_PAGE_LIST && w.LabelId != 62) w.Enabled = !movies;
  }
  sliders[4].Enabled = sliders[5].Enabled = !movies;
  sliders[6].Enabled = sliders[7].Enabled = !effects;
  sliders[8].Enabled = sliders[9].Enabled = !running;
}
