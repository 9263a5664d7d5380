// The scene tiles of the selected style: which list positions are shown, where, what they
// write, and their labels. A style shows the positions its entries list (GuiStyleEntries),
// each with the skin picture of its entry.
//
// Every position goes through SceneOfPosition, the one table from list positions to
// scene numbers, so a tile never offers a resident scene (Global) or an index without a
// scene; the labels are the names the scenes were registered under, so a tile always says
// which scene it starts. A press on a tile's main area selects it and allows its scene; the
// upper right corner makes it the next scene, which the SYNC machine switches to when the
// current scene's sequence ends; the lower right switches its allowed flag.
#include "gui/gui.hpp"

#include "show/scenehost.hpp"
#include "show/textform.hpp"

namespace
{
constexpr sF32 TileStep = 172.288f;
}

void TouchGui::LayoutSceneTiles()
{
  if(pages.movieSection == 8 || pages.movieSection == 9)
  {
    laidStyle = -1;   // the list owns the tiles; lay them out again when it closes
    return;
  }
  sInt s = sInt(style) < sGUI_STYLES ? sInt(style) : 0;
  if(s == laidStyle) return;
  // the style's entries whose scene this show has (a scene left out is not offered)
  GuiStyleEntry listed[sGUI_STYLEFLAGS], shown[sGUI_STYLEFLAGS];
  sInt listedCount = GuiStyleEntries(s, listed), count = 0;
  for(sInt k = 0; k < listedCount; k++)
    if(s == 7 || SceneOfPosition(listed[k].Position % 20) >= 0) shown[count++] = listed[k];
  // the n-th shown tile sits at its place in the row; its picture is its entry's, so the
  // picture names the scene the tile starts
  sInt n = 0;
  for(sInt i = 0; i < sGUI_TILES; i++)
  {
    GuiTile &t = pages.tiles[i];
    t.Value = sU32(s == 7 ? i + 100 : i);
    t.SelectTarget = &sceneSelect;
    t.SecondTarget = reinterpret_cast<sU32 *>(&sceneRequest.NextNumber);
    t.MarkFlag = reinterpret_cast<sU32 *>(&config.StyleFlags[s][i]);
    t.ClearTarget = nullptr;
    if(n < count && shown[n].Position == i)
    {
      t.Position[0] = (sF32(n) - sF32(count - 1) * 0.5f) * TileStep + 5.0f;
      t.Position[1] = -7.0f;
      t.Position[2] = 0;
      t.PageMask = 1;
      if(t.PictureForm) t.PictureForm->MaterialIndex = sGUI_SKINMATERIAL + shown[n].Picture;
      n++;
    }
    else
      t.PageMask = 0;
  }
  sceneTileCount = count;
  pages.sliders[0].Value = &styleScroll[s];
  pages.sliders[0].Changed = 1;
  sceneRequest.TakenFlag = 1;
  PickAutoScene(0);
  laidStyle = s;
  shownStyle = sU32(s);
  config.ActiveStyle = s;
}

void TouchGui::DrawSceneTiles()
{
  sInt s = laidStyle >= 0 ? laidStyle : 0;
  // four tiles or fewer stand still: a span below 0 would move the row against the slider
  sF32 span = sceneTileCount > 4 ? sF32(sceneTileCount - 4) * 0.35f : 0.0f;
  sF32 offset = (span * styleScroll[s] - span * 0.5f) * 500.0f;
  for(GuiTile &t : pages.tiles)
  {
    t.Offset[0] = t.PageMask ? offset : 0;
    t.Draw();
    if(!t.PageMask) continue;
    sF32 x = t.Position[0] + t.Offset[0];
    if(!textForm || !(touch.PageMask & sGUI_PAGE_HEADER) || x < -680 || x > 680) continue;
    sInt scene = s == 7 ? sGUI_LEDSCENE : GuiPositionToScene(sInt(t.Value) % 20);
    const sChar *name = Machine && scene >= 0 ? Machine->SceneNames[scene] : nullptr;   // the tile names the scene it starts
    if(!name) name = u"-";
    sStringBuffer<64> label;
    if(s == 7)
      sSPrintF(label.Ref(), u"%s %d", name, sInt(t.Value) - 99);
    else
      label = name;
    PrintClipped(textForm, label, x - 75, t.Position[1] - 44, 150, 1);   // in the frame, clear of the slider
  }
}
