// The status printer and the SYNC panel drawn through the real graphics device (a hidden
// window, SDL's off-screen driver without a display) and read back.
#include "graphics/painter.hpp"
#include "graphics/render_fixture.hpp"
#include "show/statusprinter.hpp"
#include "show/sync.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace
{
class PanelDraw : public testing::Test
{
public:
  static constexpr sInt W = 960, H = 900;
  static inline SDL_Window *Window = nullptr;

  static void SetUpTestSuite() { Window = OpenGfxWindow("panel test", W, H); }
  static void TearDownTestSuite() { CloseGfxWindow(Window); }
  void SetUp() override { ASSERT_TRUE(sIsGfxActive()) << "no graphics device"; }

  // One frame cleared to the colour, drawn by the function, read back (ARGB, top row first).
  static std::vector<sU32> Frame(sU32 clear, void (*draw)(void *), void *user)
  {
    if(!sRender3DBegin())
      return std::vector<sU32>(size_t(W) * H);
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, clear);
    draw(user);
    std::vector<sU32> px = ReadScreen(W, H);
    sRender3DEnd(0);
    return px;
  }
};

// src over dst with src's alpha, per channel
sU32 Over(sU32 dst, sU32 src)
{
  const sInt a = sInt(src >> 24);
  sU32 out = 0xFF000000;
  for(sInt s = 0; s < 24; s += 8)
    out |= sU32((sInt(src >> s & 255) * a + sInt(dst >> s & 255) * (255 - a) + 127) / 255) << s;
  return out;
}
}

TEST_F(PanelDraw, StatusPrinterSwatchesShowTheirValues)
{
  sStatusPrinter p;
  p.Init(W, H);   // the virtual screen scaled to this one: 0.6 x 0.75
  auto draw = [](void *user) {
    sStatusPrinter &p = *static_cast<sStatusPrinter *>(user);
    p.Begin();
    const sInt green = 255;
    const sF32 half = 0.5f;
    p.PrintInt(&green, nullptr, 2, 100, 100);
    p.PrintColour(0x80FF4000, nullptr, 100, 200);
    p.PrintFloat(&half, u"level", 100, 300, 0.0f, 1.0f);
    p.End();
  };
  const std::vector<sU32> px = Frame(0xFF000000, draw, &p);
  // a swatch spans x .. x + 12 and y - 2 .. y + 13; the points are its middle, scaled
  const struct { sF32 X, Y; sU32 Colour; } swatches[] = {
    {106, 105, 0xFF00FF00},                   // the integer 255 of kind 2
    // alpha 128, red, green 64, blue and the colour: each value's text is 30 units wide
    {106, 207, 0xFF808080}, {156, 207, 0xFFFF0000}, {206, 207, 0xFF004000},
    {256, 207, 0xFF000000}, {316, 207, 0xFFFF4000},
    {186, 305, 0xFF7F7F7F},                   // after the label's 80 units: 0.5 as grey
  };
  for(const auto &s : swatches)
  {
    const sU32 c = px[size_t(s.Y * 0.75f) * W + size_t(s.X * 0.6f)];
    EXPECT_LE(ColorDiff(c, s.Colour), 1) << std::hex << c << " at " << s.X << "," << s.Y;
  }
  p.CursorX = 10;
  p.CursorY = 40;
  p.Print(u"one");
  p.Print(u"two");
  EXPECT_EQ(p.CursorY, 40 + 2 * 17);
  EXPECT_EQ(p.LineCount, 2);
}

TEST_F(PanelDraw, TextStaysReadableOnTheBackdropColour)
{
  // the IPP machine's panel: a near-black rectangle, then its lines
  sStatusPrinter p;
  p.Init(W, H);
  auto draw = [](void *user) {
    sStatusPrinter &p = *static_cast<sStatusPrinter *>(user);
    p.Begin();
    p.Color = 0xC000000C;
    p.Rect(60, 80, 430, 420);
    p.Print(u"IPP machine", 100, 110);
    const sF32 half = 0.5f;
    p.PrintFloat(&half, u"brightness", -1, -1, 0.0f, 1.0f);
    p.End();
  };
  const std::vector<sU32> px = Frame(0xFF000000, draw, &p);
  // the title's box and the label's box each hold white glyph pixels
  auto bright = [&](sF32 x0, sF32 y0, sF32 x1, sF32 y1) {
    sInt n = 0;
    for(sInt y = sInt(y0 * 0.75f); y < sInt(y1 * 0.75f); y++)
      for(sInt x = sInt(x0 * 0.6f); x < sInt(x1 * 0.6f); x++) n += ColorDiff(px[size_t(y) * W + x], 0xFFFFFFFF) <= 8;
    return n;
  };
  EXPECT_GT(bright(100, 110, 100 + 11 * 10, 124), 40) << "the title";
  EXPECT_GT(bright(100, 127, 180, 141), 40) << "the label";
  EXPECT_EQ(p.Color, 0xC000000Cu);
}

TEST_F(PanelDraw, SyncPanelDrawsItsBackdropAndValueBars)
{
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  sPainter painter;
  SyncMachine m(120.0f);
  m.Init(&painter, W, H);
  unsetenv("SDL_AUDIODRIVER");
  m.Update(0);   // bar phase 0.5
  auto draw = [](void *user) {
    SyncMachine &m = *static_cast<SyncMachine *>(user);
    m.Painter->Clear();
    m.Painter->UpdateView();
    m.DrawPanel(nullptr);
    m.Painter->Draw();
  };
  const sU32 clear = 0xFF808080;
  const std::vector<sU32> px = Frame(clear, draw, &m);
  auto at = [&](sInt x, sInt y) { return px[size_t(y) * W + size_t(x)]; };
  EXPECT_LE(ColorDiff(at(30, 300), clear), 1) << "outside the panel";
  EXPECT_LE(ColorDiff(at(40, 700), Over(clear, 0xC000000C)), 2) << "the panel's backdrop";
  EXPECT_LE(ColorDiff(at(600, 250), Over(clear, 0xE0101014)), 2) << "the onset display's backdrop";
  // the "pattern" row: bar phase 0.5 fills half of its 600 units from x = 400
  const sInt row = sInt((920.0f + 3 * 17 + 7) * 0.75f);
  EXPECT_LE(ColorDiff(at(sInt(550 * 0.6f), row), 0xFF30A0FF), 1);
  EXPECT_GT(ColorDiff(at(sInt(850 * 0.6f), row), 0xFF30A0FF), 40) << "past the value the row is dimmed";
}
