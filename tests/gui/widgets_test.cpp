// The touch elements' rules, without quads: presses, bounds, actions,
// null targets, the slider's glide and the tile's areas.
#include "gui/widgets.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace
{
struct Surface
{
  GuiTouchState T;
  Surface() { T.PageMask = 0x3; }
  // one frame: the pointer at (x, y), pressed when down; the clock then moves on
  void Frame(sF32 x, sF32 y, bool down, sU32 ms = 10)
  {
    T.PressEdge = down && !T.ButtonDown;
    T.ButtonDown = down;
    T.PointerX = x, T.PointerY = y;
    Draw();
    if(!down) T.HeldWidget = -1;
    T.Clock += ms;
  }
  std::function<void()> Draw;
};
}

TEST(Widgets, PressesCountOnTheEdgeInsideTheBounds)
{
  Surface s;
  sU32 setting = 0;
  GuiWidget w;
  w.CreateButton(&s.T, 0, 100, 50, 60, 3, &setting, 0x2, nullptr, 1);
  w.Action = GuiWidget::ADD;
  s.Draw = [&] { w.Draw(); };
  s.T.Clock = 1000;
  // the 201 ms repeat guard is tested through the GUI scene (gui_test)
  s.Frame(100, 50, true, 10), s.Frame(100, 50, false, 10);
  EXPECT_EQ(setting, 3u);
  // an add widget falls back to 0 400 ms after its last press
  s.Frame(0, 0, false, 400);
  s.Frame(0, 0, false);
  EXPECT_EQ(setting, 0u);

  // bounds of kind 0: lower bound in, upper bound out; hidden pages do not react
  struct Case { sF32 X, Y; sU32 Page; sU32 Expect; };
  for(Case c : {Case{100 - 85, 50, 0x2, 1}, Case{100 + 72, 50, 0x2, 0}, Case{100, 50 + 16, 0x2, 0},
                Case{100, 50 - 14, 0x2, 1}, Case{100, 50, 0x4, 0}, Case{100, 50, 0x2 | 0x100000, 0}})
  {
    setting = 0;
    w.Action = GuiWidget::TOGGLE, w.Value = 1;
    s.T.PageMask = c.Page;
    s.Frame(c.X, c.Y, true), s.Frame(c.X, c.Y, false, 300);
    EXPECT_EQ(setting, c.Expect) << c.X << "," << c.Y << " page " << c.Page;
  }
  // a set press on the selected value clears through the clear target; null targets are skipped
  s.T.PageMask = 0x2;
  sU32 clear = 5;
  setting = 3;
  w.Action = GuiWidget::SET, w.Value = 3, w.ClearTarget = &clear;
  s.Frame(100, 50, true), s.Frame(100, 50, false, 300);
  EXPECT_EQ(clear, sU32(-1));
  w.Target = w.ClearTarget = nullptr;
  s.Frame(100, 50, true), s.Frame(100, 50, false, 300);
  // the spring rests at its depth from 500 ms on
  EXPECT_EQ(PressBounce(2000, 1500), 0.0f);
  EXPECT_NE(PressBounce(1100, 1000), 0.0f);
}

TEST(Widgets, SliderGlidesToItsEndAndTileAreasActApart)
{
  Surface s;
  sF32 value = 0.5f;
  GuiSlider sl;
  sl.Create(&s.T, 0, 0, 0, 30, &value, 0x2);
  s.T.StepCount = 1;
  s.Draw = [&] { sl.Draw(); };
  s.Frame(0, 0, false);
  EXPECT_FLOAT_EQ(value, 0.5f);
  // grab, pull to the right end, let go: it glides on and stops at its travel
  s.Frame(0, -10, true);
  for(sInt i = 0; i < 5; i++) s.Frame(130, -10, true);
  s.Frame(130, -10, false);
  sF32 atRelease = value;
  for(sInt i = 0; i < 400; i++) s.Frame(-500, -500, false);
  EXPECT_GT(value, atRelease);
  EXPECT_FLOAT_EQ(value, 1.0f);

  sU32 select = 9, second = 9, mark = 0;
  GuiTile tile;
  s.T.PageMask = 0x1;
  tile.Create(&s.T, 0, 0, 1000, 4, &select, &second, &mark, 1);
  s.Draw = [&] { tile.Draw(); };
  s.Frame(75, 0, true), s.Frame(75, 0, false, 300);   // upper right
  EXPECT_EQ(second, 4u);
  EXPECT_EQ(mark, 1u);
  s.Frame(75, -30, true), s.Frame(75, -30, false, 300);   // lower right toggles the mark
  EXPECT_EQ(mark, 0u);
  s.Frame(0, 0, true), s.Frame(0, 0, false, 300);   // main area
  EXPECT_EQ(select, 4u);
  tile.SelectTarget = tile.MarkFlag = nullptr;   // unbound tiles take no write
  s.Frame(0, 0, true), s.Frame(0, 0, false, 300);
}
