// The scene tiles of the selected style: which list positions are shown, where, what they
// write, and their labels.
//
// Every position goes through SceneOfPosition, the one table from list positions to
// scene numbers, so a tile never offers a resident scene (Global) or an index without a
// scene; the labels are the names the scenes were registered under, so a tile always says
// which scene it starts. A press on a tile's main area switches to its scene at once; the
// upper right corner makes it the next automatic scene, the lower right its allowed flag.
#include "gui/gui.hpp"

#include "show/scenehost.hpp"
#include "show/textform.hpp"

namespace
{
constexpr sF32 TileStep = 172.288f;
constexpr sInt LedTiles = 13;

// Whether tile i is shown in a style (styles 0-4 one page of 20, the others five pages).
sBool TileShown(const TouchGui &gui, sInt style, sInt i)
{
  if(style == 7) return i < LedTiles;
  if(style < 5 && i >= 20) return 0;
  return gui.SceneOfPosition(i % 20) >= 0;
}
}

void TouchGui::LayoutSceneTiles()
{
  if(movieSection == 8 || movieSection == 9)
  {
    laidStyle = -1;   // the list owns the tiles; lay them out again when it closes
    return;
  }
  sInt s = sInt(style) < sGUI_STYLES ? sInt(style) : 0;
  if(s == laidStyle) return;
  sInt count = 0;
  for(sInt i = 0; i < sGUI_TILES; i++) count += TileShown(*this, s, i);
  // positions that name no scene can never be allowed (a scene this build leaves out keeps
  // its flag for the show that has it)
  for(sInt i = 0; i < sGUI_STYLEFLAGS; i++)
  {
    sBool named = s == 7 ? i < LedTiles : (s >= 5 || i < 20) && GuiPositionToScene(i % 20) >= 0;
    if(!named) config.StyleFlags[s][i] = 0;
  }
  // the skin's scene pictures: the n-th shown tile shows picture n of its style's skin
  // (the styles beyond the five named ones share one skin, page by page)
  sInt first = s < 5 ? 20 * s : (s == 7 ? 120 : 100), last = s == 7 ? 12 : 19;
  sInt n = 0, inPage = 0, page = 0;
  for(sInt i = 0; i < sGUI_TILES; i++)
  {
    if(i / 20 != page) page = i / 20, inPage = 0;
    GuiTile &t = tiles[i];
    t.Value = sU32(s == 7 ? i + 100 : i);
    t.SelectTarget = &sceneSelect;
    t.SecondTarget = reinterpret_cast<sU32 *>(&sceneRequest.NextNumber);
    t.MarkFlag = reinterpret_cast<sU32 *>(&config.StyleFlags[s][i]);
    t.ClearTarget = nullptr;
    if(TileShown(*this, s, i))
    {
      t.Position[0] = (sF32(n) - sF32(count - 1) * 0.5f) * TileStep + 5.0f;
      t.Position[1] = -7.0f;
      t.Position[2] = 0;
      t.PageMask = 1;
      sInt picture = s >= 5 && s != 7 ? inPage : n;
      if(t.PictureForm) t.PictureForm->MaterialIndex = sGUI_SKINMATERIAL + first + (picture < last ? picture : last);
      n++, inPage++;
    }
    else
      t.PageMask = 0;
  }
  sceneTileCount = count;
  sliders[0].Value = &styleScroll[s];
  sliders[0].Changed = 1;
  sceneRequest.TakenFlag = 1;
  PickAutoScene(0);
  laidStyle = s;
  shownStyle = sU32(s);
  config.ActiveStyle = s;
}

sInt TouchGui::ShownTileCount() const
{
  sInt n = 0;
  for(const GuiTile &t : tiles) n += t.PageMask != 0;
  return n;
}

void TouchGui::DrawListTiles()
{
  // a list longer than the page scrolls with the scene slider as the scene tiles do
  sInt n = ShownTileCount();
  sF32 span = n > 4 ? sF32(n - 4) * 0.35f : 0.0f;
  sF32 scroll = sliders[0].Value ? *sliders[0].Value : 0.5f;
  sF32 offset = (span * scroll - span * 0.5f) * 500.0f;
  for(GuiTile &t : tiles)
  {
    t.Offset[0] = t.PageMask ? -offset : 0;
    t.Draw();
  }
}

void TouchGui::DrawSceneTiles()
{
  sInt s = laidStyle >= 0 ? laidStyle : 0;
  sF32 span = sceneTileCount > 4 ? sF32(sceneTileCount - 4) * 0.35f : 0.0f;
  sF32 offset = (span * styleScroll[s] - span * 0.5f) * 500.0f;
  sInt held = touch.HeldWidget;
  for(GuiTile &t : tiles)
  {
    t.Offset[0] = t.PageMask ? -offset : 0;
    t.Draw();
    if(!t.PageMask) continue;
    // a press on the main area switches at once (the same tile again switches again)
    if(touch.PressEdge && held != sInt(t.Id) && touch.HeldWidget == sInt(t.Id)) SelectScene(sInt(t.Value));
    sF32 x = t.Position[0] + t.Offset[0];
    if(!textForm || !(touch.PageMask & sGUI_PAGE_HEADER) || x < -680 || x > 680) continue;
    sInt scene = s == 7 ? sGUI_LEDSCENE : GuiPositionToScene(sInt(t.Value) % 20);
    const sChar *name = Machine && scene >= 0 ? Machine->SceneNames[scene] : nullptr;
    if(!name) name = u"-";
    sStringBuffer<64> label;
    if(s == 7)
      sSPrintF(label.Ref(), u"%s %d", name, sInt(t.Value) - 99);
    else
      label = name;
    PrintClipped(textForm, label, x - 75, t.Position[1] - 55, 150, 1);
  }
}
