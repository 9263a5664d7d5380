// The GUI scene on a real graphics device over the generated data tree; every page is
// dumped as a picture outside the source tree ($SPARK_GUI_DUMPS, else /tmp/sparkvane_gui_pages).
#include "gui/gui.hpp"

#include "base/input.hpp"
#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "base/textbuffer.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "graphics/image.hpp"
#include "graphics/render_fixture.hpp"
#include "gui/modescene.hpp"
#include "platform/text/utf.hpp"
#include "show/ipp.hpp"
#include "show/procforms.hpp"
#include "show/loader.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"
#include "show/tmdata.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr sInt W = 960, H = 540;

struct Box
{
  sF32 X0, X1, Y0, Y1;
  sF32 Band = 0;   // the middle of the capitals' band of the line
  sF32 Base = 0;   // where the capitals stand: only a descender reaches under it
  sF32 MidX() const { return (X0 + X1) / 2; }
  sF32 MidY() const { return (Y0 + Y1) / 2; }
};
// The ink of a line whose left end is at (x, y): the glyph boxes less their padding, from the
// first glyph's ink to the last one's; and the band its capitals fill, where a finger meets
// the line (a quote or an accent alone sits high above its middle).
Box InkLeft(TextForm &text, const sChar *line, sF32 x, sF32 y)
{
  sF32 w = text.MeasureText(line), s = text.TextScale, top = -1e9f, bottom = 1e9f;
  auto inkTop = [&](const GlyphRecord &g) { return y + 13 - (sF32(g.OffsetY) + sF32(g.Box - g.WidthB) / 2) * s; };
  auto inkBottom = [&](const GlyphRecord &g) { return y + 13 - (sF32(g.OffsetY + g.Height) - sF32(g.Box - g.WidthB) / 2) * s; };
  for(const sChar *c = line; *c; c++)
  {
    const GlyphRecord &g = text.GetGlyph(*c);
    if(*c == ' ') continue;
    top = std::max(top, inkTop(g));
    bottom = std::min(bottom, inkBottom(g));
  }
  sInt n = sGetStringLen(line);
  sF32 x0 = n ? x + sF32(text.GetGlyph(line[0]).WidthA) * s : x, x1 = n ? x + w - sF32(text.GetGlyph(line[n - 1]).WidthC) * s : x;
  const GlyphRecord &h = text.GetGlyph('H');
  return Box{x0, x1, bottom, top, (inkTop(h) + inkBottom(h)) / 2, inkBottom(h)};
}
Box InkCentred(TextForm &text, const sChar *line, sF32 x, sF32 y)
{
  return InkLeft(text, line, x - text.MeasureText(line) / 2, y);
}
// Where a key of each kind centres its label.
constexpr sF32 Place[6][2] = {{-28, 2}, {-28, 2}, {-28, 2}, {0, -10}, {-18, 2}, {0, 2}};
// Where a widget prints its labels (a keyboard key has two, one per case); a label wider
// than its key's face is drawn narrower, to the face's width.
std::vector<Box> LabelInks(TextForm &text, const GuiWidget &w)
{
  if(w.Kind == 5 && w.LabelStyle == 2)
    return {InkCentred(text, GuiLabel(w.LabelId), w.Position[0] - 6, w.Position[1] - 1),
            InkCentred(text, GuiLabel(w.LabelId + 1), w.Position[0] + 6, w.Position[1] + 5)};
  const sChar *label = GuiLabel(w.LabelId);
  sF32 keep = text.TextScale;
  text.TextScale = keep * GuiLabelFit(text, sInt(w.Kind), label);
  Box ink = InkCentred(text, label, w.Position[0] + Place[w.Kind][0], w.Position[1] + Place[w.Kind][1]);
  text.TextScale = keep;
  return {ink};
}

class GuiScene : public testing::Test
{
public:
  static void SetUpTestSuite() { Window = OpenGfxWindow("gui test", W, H); }
  static void TearDownTestSuite() { CloseGfxWindow(Window); }

  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  std::vector<std::string> Printed;   // the text lines of the last frame's page
  TouchGui *Gui = nullptr;
  char OldDir[4096] = {};

  void SetUp() override
  {
    ASSERT_TRUE(Window && sIsGfxActive()) << "no graphics device";
    ASSERT_NE(getcwd(OldDir, sizeof(OldDir)), nullptr);
    std::string tree = TWDATA_DIR;
    ASSERT_EQ(chdir(tree.substr(0, tree.rfind('/')).c_str()), 0);
    ASSERT_EQ(FindDataRoot(), 0);
    SetShowDisplay(0, W, H);
    sShowPlugins = {};
    Record.UsePackfile = Record.RecordPackfile = Record.MusicOn = Record.UseLoader = 0;
    Record.InputLock = 1;
    Record.FixedStep = 0;
  }
  // withScenes: the show's thirteen scene places taken by empty scenes, so the tiles show;
  // withIpp: the IPP machine beside them, reading the GUI's media record
  void Start(sBool withScenes = 0, sBool withIpp = 0)
  {
    if(withIpp) InstallIppMachine(), Record.IppOn = 1;
    M = sNEW SceneMachine(&Record);
    static const sChar *const Names[13] = {u"Morvensk", u"Fish", u"Transformer", u"Body", u"Plant", u"Abstract", u"Cubic",
                                           u"Invaders", u"Tunnel", u"Robot", u"Crystal", u"Lava", u"LED1"};
    for(sInt i = 0; withScenes && i < 13; i++) M->RegisterScene(sNEW Scene, Names[i], i, 1, 0);
    Gui = static_cast<TouchGui *>(MakeTouchGui());
    M->RegisterScene(Gui, u"GUI", 15, 0x101, 0);
    M->Start();
    if(M->Ipp) sShowPlugins.SetIppMedia(M->Ipp, &Gui->mediaState);
    Gui->Enter(0);
  }
  void TearDown() override
  {
    sDELETE(M);
    if(OldDir[0])
    {
      EXPECT_EQ(chdir(OldDir), 0);
    }
  }

  // One frame of the GUI alone, as the machine draws a resident scene; the pointer is
  // given in pixels. Returns the picture.
  std::vector<sU32> Frame(sF32 px, sF32 py, sInt buttons, sInt ticks = 1)
  {
    M->Pointer.X = px, M->Pointer.Y = py, M->Pointer.Buttons = buttons;
    EXPECT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xff000000);
    sViewport &v = M->Views[0];
    v.SetTarget();
    Gui->Camera(0, &v);
    v.Prepare(15);
    Gui->StepCount = ticks;
    for(sInt t = 0; t < ticks; t++) Gui->Tick(0);
    Gui->Render(0, &v);
    // the page's lines, before AfterRender takes the text form for the dialogs
    Printed.clear();
    for(sInt i = 0; Gui->textForm && i < Gui->textForm->LineCount; i++) Printed.push_back(plat::ToUtf8(Gui->textForm->Lines[i].Text));
    Gui->RenderObjects(&v);
    Gui->AfterRender(&v);
    std::vector<sU32> shown = ReadScreen(W, H);
    sRender3DEnd(0);
    return shown;
  }
  // One frame of the GUI's work without drawing it: its presses and its text lines.
  void Step(sF32 px, sF32 py, sInt buttons, sInt ticks = 1)
  {
    M->Pointer.X = px, M->Pointer.Y = py, M->Pointer.Buttons = buttons;
    ASSERT_TRUE(sRender3DBegin());
    sViewport &v = M->Views[0];
    Gui->Camera(0, &v);
    Gui->StepCount = ticks;
    for(sInt t = 0; t < ticks; t++) Gui->Tick(0);
    Gui->Render(0, &v);
    sRender3DEnd(0);
  }
  // screen pixels of a point of the GUI plane (16:9: the plane fills the screen)
  static sF32 SX(sF32 x) { return (x / 614.7f + 1) * 0.5f * W; }
  static sF32 SY(sF32 y) { return (1 - y / 345.6f) * 0.5f * H; }
  static sInt Lit(const std::vector<sU32> &p, sInt y0, sInt y1)
  {
    sInt n = 0;
    for(sInt y = y0; y < y1; y++)
      for(sInt x = 0; x < W; x++) n += (p[size_t(y) * W + x] & 0xffffff) != 0;
    return n;
  }
  void Key(sU32 code) { M->OnInput(sInput2Event{code, 0, 0, 0}); }
  // Draws frames while the condition holds (the loader works meanwhile), 20 s at the most.
  template <class F> void FramesWhile(F busy)
  {
    for(sInt i = 0; i < 20000 && busy(); i++) Frame(0, 0, 0), sSleep(1);
  }

  static inline SDL_Window *Window = nullptr;
};
}

TEST_F(GuiScene, HiddenUntilItsKeyOrItsCornerThenDrawsHeaderAndPage)
{
  Record.UseLoader = 2;   // the loader counts and presents its frames, without its scene
  Start();
  // each of the GUI's pictures moved the loader screen on by a frame of its own
  EXPECT_GE(M->Loader->Steps, Gui->MaterialSet->TextureCount);
  EXPECT_EQ(Lit(Frame(0, 0, 0), 0, H), 0);   // nothing of the GUI before it is shown
  Key(46 | sKEYQ_BREAK);
  Key(46 | sKEYQ_REPEAT);
  EXPECT_EQ(Gui->pages.visible, 0u);
  Key(0xe100);   // a mouse button is no key
  Key(46);
  EXPECT_EQ(Gui->pages.visible, 1u);
  std::vector<sU32> shown = Frame(0, 0, 0);
  EXPECT_GT(Lit(shown, sInt(SY(200)), sInt(SY(150))), 100);      // the header strip
  EXPECT_GT(Lit(shown, sInt(SY(-200)), sInt(SY(-320))), 100);    // the page's controls
  Key(46);
  EXPECT_EQ(Lit(Frame(0, 0, 0), 0, H), 0);
  // the corner of a touch screen shows it too
  Frame(W - 4, 4, 1);
  Frame(W - 4, 4, 0);
  EXPECT_EQ(Gui->pages.visible, 1u);
  // the start configuration came from the generated tree
  EXPECT_EQ(Gui->configs.lastLoadResult, 1);
  EXPECT_EQ(std::u16string(Gui->config.Logos.Directory), u"logos/Sparkvane/");
  EXPECT_EQ(Gui->folders.slideshowPictures, 14);
  EXPECT_FLOAT_EQ(Gui->sceneRequest.LatencyMs, 120.0f);
}

TEST_F(GuiScene, APressAtAWidgetChangesItsSettingAtMostOncePer201Ms)
{
  Start(0, 1);
  Key(46);
  // while the loader takes the logos of the start configuration only dialog keys react
  for(sInt i = 0; i < 20000 && (Frame(0, 0, 0), Gui->touch.PageMask & sGUI_PAGE_LOADING); i++) sSleep(1);
  ASSERT_EQ(Gui->touch.PageMask, 0x3u);
  // the loader's notice stands alone, and a dialog opened meanwhile shows its lines without it
  auto after = [&](sU32 overlay) {
    Gui->touch.PageMask = 0x3u | overlay;
    Gui->AfterRender(nullptr);
    std::string all;
    for(sInt i = 0; i < Gui->textForm->LineCount; i++) all += plat::ToUtf8(Gui->textForm->Lines[i].Text) + "|";
    return all;
  };
  EXPECT_EQ(after(sGUI_PAGE_LOADING), "Please wait, computing...|");
  Gui->dialogs.Open(2, Gui->commandWords[CmdDialog]);
  std::string dialog = after(sGUI_PAGE_LOADING | sGUI_PAGE_DIALOG);
  EXPECT_NE(dialog.find("Do you really want to exit?|"), std::string::npos) << dialog;
  EXPECT_EQ(dialog.find("Please wait"), std::string::npos) << dialog;
  Gui->commandWords[CmdDialog] = 2, after(sGUI_PAGE_LOADING | sGUI_PAGE_DIALOG);   // NO
  ASSERT_EQ(Gui->dialogs.dialogKind, 0u);
  // AUTO FX's ACTIVE switch at its home, pressed twice 150 ms apart, then 250 ms after
  sF32 x = SX(-340), y = SY(-268);
  EXPECT_EQ(Gui->autoFxActive, 0u);
  Frame(x, y, 1, 1), Frame(x, y, 0, 14);
  Frame(x, y, 1, 1), Frame(x, y, 0, 9);
  EXPECT_EQ(Gui->autoFxActive, 1u);
  Frame(x, y, 1, 1), Frame(x, y, 0, 1);
  EXPECT_EQ(Gui->autoFxActive, 0u);
  // a page button sets the page
  Frame(SX(-145.64f), SY(-148), 1), Frame(0, 0, 0, 30);
  EXPECT_EQ(Gui->pages.pageIndex, 1u);
  // SHORT MSG.: key 3, then START puts the third short message on air, and the IPP
  // machine shows its text; START is free again at once
  auto press = [&](auto match) {
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
      if(const GuiWidget &w = Gui->pages.widgets[i]; match(w))
        return Frame(SX(w.Position[0] - 6), SY(w.Position[1] - 10), 1), Frame(0, 0, 0, 30), void();
    ADD_FAILURE() << "no such key";
  };
  sCopyString(Gui->config.ShortMessages[2], u"BAR OPENS AT TEN", sGUI_TEXTCHARS);
  Gui->pages.pageIndex = 6, Frame(0, 0, 0);
  press([&](const GuiWidget &w) { return w.PageMask == 0x80 && w.Target == &Gui->commandWords[CmdShort] && w.Value == 2; });
  EXPECT_EQ(Gui->commandWords[CmdShort], 2u);
  press([&](const GuiWidget &w) { return w.PageMask == 0x80 && w.LabelId == 61; });
  IppMachine *ipp = static_cast<IppMachine *>(M->Ipp);
  ASSERT_TRUE(ipp && ipp->MessageText);
  ASSERT_TRUE(sRender3DBegin());
  ipp->PaintMessage();
  sRender3DEnd(0);
  ASSERT_GT(ipp->MessageText->LineCount, 0);
  EXPECT_EQ(std::u16string(ipp->MessageText->Lines[0].Text), u"BAR OPENS AT TEN");
  EXPECT_EQ(Gui->schedule.textRunning[sGUI_TEXTSLOTS + 2], 0);
}

// The EFFECTS page's TAP key, pressed every half bar (two beats), moves the header's BPM
// to the tapped tempo: the seventh tap of a series starts a one-second glide to it.
TEST_F(GuiScene, TapsOnTheTapKeyMoveTheShownTempo)
{
  Start();
  Key(46);
  FramesWhile([&] { return Gui->touch.PageMask & sGUI_PAGE_LOADING; });
  Gui->pages.pageIndex = 4;
  Frame(0, 0, 0);
  // the key lists give TAP twice to the effects page (and so to the touch effect's), none
  // to the slideshow page
  const GuiWidget *tap = nullptr;
  for(const auto &[page, taps] : {std::pair{0x4u, 0}, {0x20u, 2}, {0x80000000u, 2}})
  {
    sInt n = 0;
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
      if(Gui->pages.widgets[i].LabelId == 71 && (Gui->pages.widgets[i].PageMask & page)) tap = &Gui->pages.widgets[i], n++;
    EXPECT_EQ(n, taps) << page;
  }
  ASSERT_NE(tap, nullptr);
  const sF32 x = SX(tap->Position[0] - 6), y = SY(tap->Position[1] - 10);
  // the show's SYNC machine at its start tempo (the test's machine runs without one)
  auto sync = std::make_unique<SyncMachine>(126.0f);
  Gui->SyncSource = sync.get();
  Frame(0, 0, 0);
  auto shownBpm = [&] {
    for(const std::string &line : Printed)
      if(line.rfind("BPM: ", 0) == 0) return line;
    return std::string("no BPM line");
  };
  EXPECT_EQ(shownBpm(), "BPM: 126.0");
  for(sInt bpm : {100, 140})
  {
    // the SYNC clock and the GUI's clock both run the taps' spacing
    const sInt ms = (120000 + bpm / 2) / bpm;
    for(sInt t = 0; t < 9; t++)
    {
      // keys wait while the loader takes the logos and flyers of their timers
      FramesWhile([&] { return Gui->touch.PageMask & sGUI_PAGE_LOADING; });
      Frame(x, y, 1, 1);
      Frame(x, y, 0, ms / 10 - 1);
      sync->Update(ms);
    }
    // the glide to the tapped tempo, frame by frame
    for(sInt f = 0; f < 60; f++) sync->Update(20);
    Frame(0, 0, 0);
    EXPECT_EQ(shownBpm(), "BPM: " + std::to_string(bpm) + ".0");
  }
  Gui->SyncSource = nullptr;
}

TEST_F(GuiScene, TouchEffectPageShowsTheOutputScalerPageEditsEitherCornerSetAFailedPresetLeavesNoSlot)
{
  Start();
  Key(46);
  FramesWhile([&] { return Gui->touch.PageMask & sGUI_PAGE_LOADING; });
  // the machine's preview of the output, one colour, fills the touch-effect page
  ASSERT_TRUE(sRender3DBegin());
  sSetTarget(sRenderTargetSpec(sRTF_CLEAR_ALL, 0xff20a040, nullptr, M->PreviewTarget, nullptr));
  sRender3DEnd(0);
  Gui->config.Effects[4].Active = 1;
  sU32 c = Frame(0, 0, 0)[size_t(H / 2) * W + W / 2];
  EXPECT_NEAR(sInt((c >> 16) & 0xff), 0x20, 2);
  EXPECT_NEAR(sInt((c >> 8) & 0xff), 0xa0, 2);
  EXPECT_NEAR(sInt(c & 0xff), 0x40, 2);
  Gui->config.Effects[4].Active = 0;
  // SCALER CFG; ACTIVE switches on and off, INVERT moves the corners to the input set
  Gui->configs.configCommand = 7;
  FramesWhile([&] { return !(Gui->touch.PageMask & sGUI_PAGE_SCALER) || (Gui->touch.PageMask & sGUI_PAGE_LOADING); });
  ASSERT_EQ(Gui->touch.PageMask, sGUI_PAGE_SCALER);
  auto press = [&](sInt label, sU32 mask = sGUI_PAGE_SCALER) {
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
      if(const GuiWidget &w = Gui->pages.widgets[i]; w.LabelId == label && w.PageMask == mask)
        Frame(SX(w.Position[0] - 6), SY(w.Position[1] - 10), 1), Frame(0, 0, 0, 30);
  };
  GuiScalerSetting &s = Gui->config.Scalers[0];
  for(sInt on : {1, 0})
  {
    press(60);
    EXPECT_EQ(s.Active, on);
  }
  press(102);
  EXPECT_EQ(Gui->pages.sliders[14].Value, &s.In[0]);
  const sF32 out = s.Out[0];
  Gui->OpenKeyboard(KbScalerNumber, 0, u"480", 7);
  Gui->CommitKeyboard();
  Gui->pages.keyboardOpen = 0;
  EXPECT_FLOAT_EQ(s.In[0], 480.0f / W);
  EXPECT_EQ(s.Out[0], out);
  press(105);   // one display: no key to a second device
  EXPECT_EQ(Gui->pages.scalerDevice, 0u);
  // DISTORTION with MOVIES chosen: the row of kinds is the movies', STYLE 2 theirs alone
  Gui->pages.scalerPageOpen = 0, Gui->pages.pageIndex = 7, Gui->selectedDistortion = 1, Frame(0, 0, 0);
  Gui->config.Distortions[0].Kind = Gui->config.Distortions[1].Kind = 0, press(65, 0x100);
  EXPECT_TRUE(Gui->config.Distortions[0].Kind == 0 && Gui->config.Distortions[1].Kind == 2);
  // a preset whose file cannot be read: its name goes, the page says so, and it stays the
  // active slot until no slot holds a name
  sCopyString(Gui->configs.configNames[3], u"configs/no such preset.Spk", sGUI_TEXTCHARS);
  Gui->configs.configSlot = 3;
  Gui->styleScroll[2] = 0.9f, Gui->styleScroll[8] = 0.0f;
  Gui->pages.pageIndex = 9;
  Frame(0, 0, 0), Frame(0, 0, 0);
  EXPECT_EQ(Gui->configs.configNames[3][0], 0);
  EXPECT_TRUE(Gui->styleScroll[2] == 0.5f && Gui->styleScroll[8] == 0.5f);   // the defaults' scroll too
  EXPECT_EQ(Gui->configs.activePreset, 3);
  EXPECT_EQ(Gui->configs.configSlot, 3);
  EXPECT_NE(std::find(Printed.begin(), Printed.end(), "Configuration cannot be activated. File error."), Printed.end());
  for(sInt i = 0; i < sGUI_CONFIGSLOTS; i++) Gui->configs.configNames[i][0] = 0;
  Frame(0, 0, 0);
  EXPECT_EQ(Gui->configs.activePreset, -1);
  EXPECT_EQ(Gui->configs.configSlot, -1);
  // FADER on the DMX page's third page switches the DMX movie-start fader
  Gui->configs.configCommand = 5;
  Frame(0, 0, 0);
  Gui->pages.channelPageState = 2;
  for(sInt i = 0; i < 20 && Gui->touch.PageMask != sGUI_PAGE_CHANNEL1 << 2; i++) Frame(0, 0, 0), sSleep(50);
  ASSERT_EQ(Gui->touch.PageMask, sGUI_PAGE_CHANNEL1 << 2);
  const sInt midi = Gui->config.MovieStartFader[0], dmx = Gui->config.MovieStartFader[1];
  press(100, sGUI_PAGE_CHANNEL1 << 2);
  EXPECT_NE(Gui->config.MovieStartFader[1], dmx);
  EXPECT_EQ(Gui->config.MovieStartFader[0], midi);
}

TEST_F(GuiScene, EveryPageIsDrawnAndDumped)
{
  Start(1);
  Key(46);
  const char *env = getenv("SPARK_GUI_DUMPS");
  std::string dir = env && *env ? env : "/tmp/sparkvane_gui_pages";
  mkdir(dir.c_str(), 0755);
  struct Page { std::string Name; std::function<void(TouchGui *)> Open; };
  std::vector<Page> pages;
  static const char *const names[10] = {"autofx", "slideshow", "logos", "flyer", "effects", "messages",
                                        "shortmsg", "distortion", "latency", "configs"};
  for(sInt i = 0; i < 10; i++) pages.push_back({names[i], [i](TouchGui *g) { g->pages.pageIndex = sU32(i); }});
  // the header's warning: a silent input with the capture gain at its top
  pages.push_back({"nosignal", [](TouchGui *g) {
                     g->pages.pageIndex = 0, g->sceneRequest.PeakLevel = 0.02f, g->sceneRequest.InputGain = 1;
                     g->touch.Clock |= 0x300;
                   }});
  pages.push_back({"movies", [](TouchGui *g) { g->pages.movieSection = 8; }});
  // a movie of the list playing: its tile says how long it runs on, on a dark quad
  pages.push_back({"movieplaying", [](TouchGui *g) {
                     g->selectedMovie = 5, g->schedule.timers[3].Running = 1, g->mediaState.ClipShown = 1;
                     g->movieStartClock = g->touch.Clock;
                   }});
  pages.push_back({"keyboard", [](TouchGui *g) { g->pages.movieSection = 0, g->pages.keyboardOpen = 1; }});
  pages.push_back({"browser", [](TouchGui *g) { g->pages.keyboardOpen = 0, g->OpenBrowser(1), g->DirBrowser(); }});
  for(sU32 p = 0; p < 3; p++)
    pages.push_back({"channel" + std::to_string(p + 1),
                     [p](TouchGui *g) { g->browser.browserOpen = 0, g->pages.channelPageOpen = 1, g->pages.channelPageState = p; }});
  pages.push_back({"scaler", [](TouchGui *g) { g->pages.channelPageOpen = 0, g->pages.scalerPageOpen = 1; }});
  for(sU32 k = 1; k <= 8; k++)
    pages.push_back({"dialog" + std::to_string(k),
                     [k](TouchGui *g) {
                       g->pages.scalerPageOpen = 0, g->dialogs.Open(sInt(k), g->commandWords[CmdDialog]);
                       g->dialogs.dialogTimer = 0;   // a lock dialog's three seconds from now
                     }});
  // a loud input through the capture path: the level scope rises above the header's line
  SyncMachine sync(128.0f);
  pages.push_back({"loudsignal", [&sync](TouchGui *g) {
                     g->SyncSource = &sync;
                     g->dialogs.dialogKind = 0, g->pages.pageIndex = 0, g->touch.Clock |= 0x300;
                     g->sceneRequest.PeakLevel = 1, g->sceneRequest.ClipFraction = 0.5f, g->sceneRequest.InputGain = 0.1f;
                     std::vector<sS16> frames(2 * 512 * 300);
                     for(size_t k = 0; k < frames.size(); k++)
                       frames[k] = sS16(32000 * std::sin(sF32(k / 2) * 0.05f) * std::fabs(std::sin(sF32(k / 2) * 0.00003f)));
                     sync.Receiver.OnSamples(frames.data(), sInt(frames.size() / 2));
                   }});
  for(const auto &[name, style] : {std::pair{"style_minimal", 4u}, {"style_userset1", 5u}, {"style_simple", 7u}})
    pages.push_back({name, [style](TouchGui *g) { g->SyncSource = nullptr, g->dialogs.dialogKind = 0, g->pages.pageIndex = 0, g->style = style; }});
  // the movie list opened over the effects page while a program runs: a touch on its held
  // keys shows the hint over them
  pages.push_back({"movies_autofx", [](TouchGui *g) {
                     g->dialogs.dialogKind = 0, g->pages.pageIndex = g->prevPage = 4, g->pages.movieSection = 8, g->autoFxActive = 1;
                     g->dialogs.lockTouchTime = g->touch.Clock - 1200;
                   }});
  // a running AUTO FX program dims the effect keys it holds
  pages.push_back({"effects_autofx", [](TouchGui *g) { g->pages.movieSection = 0, g->dialogs.dialogKind = 0, g->pages.pageIndex = 4, g->selectedEffect = 2, g->autoFxActive = 1; }});
  // as an operator sees them: after the loader read the folders of the start configuration
  FramesWhile([&] { return Gui->folders.loader.Requests.load() != 0 || Gui->previewSlot < Gui->folders.listCount; });
  std::vector<sInt> lit;
  std::vector<sF64> lowBand;   // brightness below the page's key row
  for(const Page &p : pages)
  {
    p.Open(Gui);
    Frame(0, 0, 0);   // a page's keys are bound in its first frame
    std::vector<sU32> px = Frame(0, 0, 0);
    sF64 sum = 0;
    for(sInt y = sInt(SY(-270)) + 1; y < H; y++)
      for(sInt x = 0; x < W; x++)
      {
        sU32 c = px[size_t(y) * W + x];
        sum += sF64(((c >> 16) & 0xff) + ((c >> 8) & 0xff) + (c & 0xff));
      }
    lowBand.push_back(sum);
    sImage img(W, H);
    memcpy(img.Data, px.data(), px.size() * 4);
    EXPECT_TRUE(img.Save(plat::ToUtf16(dir + "/gui_" + p.Name + ".bmp").c_str()));
    lit.push_back(Lit(px, 0, H));
    EXPECT_GT(lit.back(), 1000) << p.Name;
    // the loud input lifts the level scope's line from 170 towards 250 at full level
    sF32 top = 0;
    for(sInt i = 0; p.Name == "loudsignal" && i < 512; i++)
    {
      top = std::max(top, Gui->scopeForm->Vertices[512 + i].Pos.y);
      EXPECT_TRUE(Gui->scopeForm->Vertices[512 + i].Pos.y >= 170 && Gui->scopeForm->Vertices[512 + i].Pos.y <= 250) << i;
    }
    EXPECT_TRUE(p.Name != "loudsignal" || top > 240) << top;
    // a wide key's face reaches up beside its label, which sits high on the key
    for(sInt i = 0; p.Name == "autofx" && i < Gui->pages.widgetCount; i++)
    {
      const GuiWidget &w = Gui->pages.widgets[i];
      if(!w.InScene || !(w.PageMask & Gui->touch.PageMask) || (w.Kind != 0 && w.Kind != 1 && w.Kind != 4)) continue;
      sU32 c = px[size_t(SY(w.Position[1] + 6)) * W + size_t(SX(w.Position[0] - 80))];
      EXPECT_NE(c & 0xffffff, 0u) << plat::ToUtf8(GuiLabel(w.LabelId)) << ": no face beside the label";
    }
  }
  for(const auto &[style, first] : {std::pair{1u, 20}, {4u, 80}, {5u, 100}, {7u, 120}})   // the skin's pictures in turn
  {
    Gui->style = style, Frame(0, 0, 0);
    sInt n = first;
    for(const GuiTile &t : Gui->pages.tiles)
      if(t.PageMask) { EXPECT_EQ(t.PictureForm->MaterialIndex, sGUI_SKINMATERIAL + n++) << style; }
  }
  // the pages differ from one another
  EXPECT_NE(lit[0], lit[4]);
  EXPECT_LT(lowBand.back(), lowBand[4] * 0.5);
  EXPECT_NE(lit[12], lit[15]);
}

TEST_F(GuiScene, ADamagedStartConfigurationIsKeptAsideNeverOverwritten)
{
  // a copy of the tree's default with one byte changed, in a tree of its own beside the
  // GUI's pictures
  std::string root = std::string(TWDATA_DIR) + "/../gui_damaged";
  std::string cmd = "rm -rf '" + root + "' && mkdir -p '" + root + "/TWdata/configs' && cp -r '" TWDATA_DIR
                    "/gui' '" + root + "/' && cp '" TWDATA_DIR "/configs/badsum.Spk' '" + root +
                    "/TWdata/configs/tarnwhistle.spk'";
  ASSERT_EQ(system(cmd.c_str()), 0);
  ASSERT_EQ(chdir(root.c_str()), 0);
  ASSERT_EQ(FindDataRoot(), 0);
  {
    // the operator's log tells it once, with the reason and where the file went
    sparktest::DebugCapture out;
    Start();
    EXPECT_EQ(out.Count("tarnwhistle.spk cannot be loaded: its check sum does not hold"), 1) << out.Text();
    EXPECT_EQ(out.Count("tarnwhistle.spk kept aside as "), 1) << out.Text();
    EXPECT_EQ(out.Count("tarnwhistle.spk.bad; the show starts with the default settings"), 1) << out.Text();
  }
  EXPECT_EQ(Gui->configs.lastLoadResult, 0);
  EXPECT_TRUE(sCheckFile(u"TWdata/configs/tarnwhistle.spk.bad"));
  sChar *text = ReadConfigText(u"configs/tarnwhistle.spk");   // written anew from the defaults
  ASSERT_NE(text, nullptr);
  GuiConfig c = {};
  ConfigParseResult r = ParseConfigText(text, c);
  sMemFree(text);
  EXPECT_EQ(r.Loaded, 1);
  EXPECT_FLOAT_EQ(c.Latency, 0.24f);
  EXPECT_FLOAT_EQ(c.Effects[2].Transparency, 0.5f);
  // program 4 restores, the flashes stay off until their keys: a fresh mode scene
  // leaves the operator's feedback value alone
  Gui->config.Effects[2].Transparency = 0.35f;
  Gui->modeScene->Render(0, nullptr);
  EXPECT_FLOAT_EQ(Gui->config.Effects[2].Transparency, 0.35f);
  // a second damaged file is kept beside the first, which stays as it was
  sDELETE(M);
  std::string config = root + "/TWdata/configs/tarnwhistle.spk";
  std::string first = sparktest::ReadFile(config + ".bad");
  ASSERT_TRUE(sparktest::WriteFile(config, "damaged again"));
  Start();
  EXPECT_EQ(Gui->configs.lastLoadResult, 0);
  EXPECT_EQ(sparktest::ReadFile(config + ".bad"), first);
  EXPECT_EQ(sparktest::ReadFile(config + ".bad1"), "damaged again");
  sDELETE(M);
  // an older configuration is saved brought up to date, unless its load stopped at a format
  // error: the defaults from there on would take the place of the rest of the file
  for(const bool cut : {true, false})
  {
    GuiConfig old = {};
    ResetGuiConfig(old);
    old.Version = 1.2f;
    sTextBuffer t;
    BuildConfigText(t, old, 0);
    std::u16string text = t.Get();
    if(cut) text.replace(text.find(u"interval: 900.0"), 15, u"interval: nan");   // the logos' interval
    sRandomLcg rnd(5);
    ASSERT_TRUE(WriteConfigText(u"configs/tarnwhistle.spk", text.c_str(), rnd));
    const std::string before = sparktest::ReadFile(config);
    sparktest::DebugCapture out;
    Start();
    EXPECT_EQ(out.Count("tarnwhistle.spk was read only up to a format error: the file is left as it is"), cut ? 1 : 0)
      << out.Text();
    EXPECT_EQ(sparktest::ReadFile(config) == before, cut);
    sDELETE(M);
  }
  ASSERT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
}

// SAVE on the CONFIGS page, a name typed in the browser, SET DIRECTORY, onto a folder the save
// cannot write: the page goes on naming the file that was loaded, SAVE offers the typed name
// again, and RELOAD reads the loaded file.
TEST_F(GuiScene, ASaveThatFailsKeepsTheLoadedFile)
{
  Start();
  Key(46);
  FramesWhile([&] { return Gui->touch.PageMask & sGUI_PAGE_LOADING; });
  // keys wait while the loader reads the folders a configuration names
  auto press = [&](sInt label, sU32 mask) {
    FramesWhile([&] { return Gui->touch.PageMask & sGUI_PAGE_LOADING; });
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
      if(const GuiWidget &w = Gui->pages.widgets[i]; w.LabelId == label && w.PageMask == mask)
        return Frame(SX(w.Position[0] - 6), SY(w.Position[1] - 10), 1), Frame(0, 0, 0, 30), void();
    ADD_FAILURE() << "no key " << label;
  };
  auto shown = [&](const std::string &line) { return std::find(Printed.begin(), Printed.end(), line) != Printed.end(); };
  // a read-only folder; root writes there anyway, so the name is taken by a folder too
  sparktest::TempDir dir;
  const std::string folder = dir.Name8("ro");
  ASSERT_TRUE(mkdir(folder.c_str(), 0755) == 0 && mkdir((folder + "/mine.Spk").c_str(), 0755) == 0 && chmod(folder.c_str(), 0555) == 0);
  sCopyString(Gui->folders.drives.MediaDriveRoots[0], plat::ToUtf16(folder).c_str(), sGUI_FOLDERCHARS);
  Gui->pages.pageIndex = 9, Frame(0, 0, 0);
  const std::u16string name = Gui->configs.configNames[Gui->configs.SaveSlot()];
  const std::string loaded = "Loaded: " + plat::ToUtf8(name.c_str());
  ASSERT_TRUE(shown(loaded));
  press(86, 0x400);   // SAVE
  ASSERT_EQ(Gui->touch.PageMask, sGUI_PAGE_BROWSER);
  press(121, sGUI_PAGE_BROWSER);   // FILE NAME
  ASSERT_TRUE(Gui->pages.keyboardOpen);
  for(sU32 c : {sU32('m'), sU32('i'), sU32('n'), sU32('e'), sU32(10)}) Key(c), Frame(0, 0, 0);
  ASSERT_EQ(std::u16string(Gui->browser.NameLine), u"mine.Spk");
  press(123, sGUI_PAGE_BROWSER);   // SET DIRECTORY
  EXPECT_TRUE(shown("Configuration cannot be saved."));
  EXPECT_EQ(std::u16string(Gui->configs.configNames[Gui->configs.SaveSlot()]), name);
  press(122, sGUI_PAGE_BROWSER);   // CANCEL
  EXPECT_TRUE(shown(loaded));
  // SAVE opens the browser again on the name typed last
  press(86, 0x400);
  EXPECT_EQ(std::u16string(Gui->browser.NameLine), u"mine.Spk");
  press(122, sGUI_PAGE_BROWSER);
  press(92, 0x400), press(113, sGUI_PAGE_DIALOG);   // RELOAD, YES
  EXPECT_EQ(Gui->configs.lastLoadResult, 1);
  EXPECT_TRUE(shown(loaded));
  chmod(folder.c_str(), 0755);
}

TEST_F(GuiScene, StateOperationsKeepToTheirBounds)
{
  // the pack file is asked for but does not open: the folders are listed as they are
  Record.UsePackfile = 1;
  Record.PackfileName = u"no_such_pack.dat";
  Start();
  EXPECT_EQ(Gui->folders.packMode, 0);
  EXPECT_EQ(Gui->folders.slideshowPictures, 14);
  Frame(0, 0, 0);
  EXPECT_EQ(Gui->mediaState.MovieCount, 3);   // the flyer pictures, for the IPP machine
  EXPECT_EQ(std::u16string(Gui->mediaState.ClipFolderNames[0]), std::u16string(GetDataRoot()));

  // the list lays out at most 100 tiles, one of them centred at x = 5
  Gui->pages.movieSection = 8;
  for(sInt n : {1, 100})
  {
    Gui->folders.listCount = n;
    Gui->LayoutList();
    EXPECT_FLOAT_EQ(Gui->pages.tiles[0].Position[0], n == 1 ? 5.0f : -99 * 172.288f / 2 + 5);
    EXPECT_EQ(Gui->pages.tiles[sGUI_TILES - 1].PageMask, n == 100 ? 1u : 0u);
  }

  // a start of 1e12 seconds or infinity does not overflow a countdown; -1 stays random, any
  // other negative start is its seconds
  Gui->config.Slideshow.Start = -5.0f;
  Gui->config.Logos.Start = 1e12f;
  Gui->config.Flyer.Start = INFINITY;
  Gui->config.Movie.Start = -1.0f;
  Gui->schedule.ResolveIntervals(Gui->config, Gui->random);
  EXPECT_EQ(Gui->schedule.timers[0].Countdown, -5000);
  EXPECT_EQ(Gui->schedule.timers[1].Countdown, 2000000000);
  EXPECT_EQ(Gui->schedule.timers[2].Countdown, 2000000000);
  EXPECT_TRUE(Gui->schedule.timers[3].Countdown >= 0 && Gui->schedule.timers[3].Countdown <= sInt(0.4f * 1800000));
  const GuiConfig kept = Gui->config;
  // an interval above 1 is a longer countdown, below 0 the slider's 0, a huge one no overflow
  Gui->config.Slideshow.Active = Gui->config.Logos.Active = Gui->config.Movie.Active = 1;
  Gui->config.Slideshow.Interval = 1e30f, Gui->config.Logos.Interval = 1.5f, Gui->config.Movie.Interval = -2;
  Gui->config.Messages[0].Interval = -1e30f;
  Gui->schedule.timers[3].Countdown = 5000;
  Gui->NextAutoScene(0);
  Gui->schedule.Count(Gui->config);
  EXPECT_EQ(Gui->schedule.timers[0].Countdown, 2000000000 - 10);
  EXPECT_EQ(Gui->schedule.timers[1].Countdown, 2700000);
  EXPECT_EQ(Gui->schedule.timers[3].Countdown, 0);
  EXPECT_EQ(Gui->schedule.messageCountdown[0], 0);
  // values a file holds beyond the sliders stay in the settings and reach the show's
  // records within the sliders' range
  Gui->config.Effects[0].Transparency = 1.5f, Gui->config.Distortions[0].Power = 1e30f, Gui->config.Latency = -3;
  Gui->PublishRecords();
  EXPECT_EQ(Gui->mediaState.DimPulseAmount, 1.0f);
  EXPECT_EQ(Gui->mediaState.StrobeAmount, 100.0f);
  EXPECT_EQ(Gui->sceneRequest.LatencyMs, 0.0f);
  EXPECT_EQ(Gui->config.Effects[0].Transparency, 1.5f);
  Gui->config = kept;

  // the on-screen keyboard follows typed keys until its text is full
  Gui->pages.keyboardOpen = 1;
  Key('w');
  EXPECT_EQ(Gui->keyboard.keyPressed, 13);
  Key(0xe100);   // a mouse button matches no key
  EXPECT_EQ(Gui->keyboard.keyPressed, 13);
  for(sInt i = 0; i < sGUI_TEXTCHARS - 1; i++) Gui->keyboard.editText[i] = 'i';
  Gui->keyboard.editText[sGUI_TEXTCHARS - 1] = 0;
  Key('q');
  EXPECT_EQ(Gui->keyboard.keyPressed, 13);
  Key(8);
  EXPECT_EQ(Gui->keyboard.editKeys[3], 1u);   // editing keys still work on a full text
  // the keyboard's rows stand off their homes together; the browser's MAKE DIR puts them
  // back with its path line
  Gui->ScrollRows(40);
  sInt keys = 0;
  for(sInt i = 0; i < Gui->pages.widgetCount; i++)
    if(Gui->pages.widgets[i].PageMask == sGUI_PAGE_KEYBOARD)
    {
      keys++;
      EXPECT_EQ(Gui->pages.widgets[i].Position[1], Gui->pages.widgetHome[i].y + 40) << i;
    }
  EXPECT_EQ(keys, 19 * 3);
  EXPECT_EQ(Gui->browser.PathY, -257.0f);
  Gui->pages.keyboardOpen = 0, Gui->OpenBrowser(4), Frame(0, 0, 0);
  Gui->browser.Commands[BrMakeDir] = 1, Frame(0, 0, 0);
  EXPECT_EQ(Gui->pages.keyboardOpen, 1u);
  for(sInt i = 0; i < Gui->pages.widgetCount; i++)
    if(Gui->pages.widgets[i].PageMask == sGUI_PAGE_KEYBOARD)
    {
      EXPECT_EQ(Gui->pages.widgets[i].Position[1], Gui->pages.widgetHome[i].y) << i;
    }
  EXPECT_EQ(Gui->browser.PathY, -297.0f);
  Gui->browser.KeyboardPurpose = 0, Gui->browser.browserOpen = 0;
  // typed W's stop once four lines are shown and the fourth is wider than 780 units
  Gui->OpenKeyboard(KbMessage, 0, u"", sGUI_TEXTCHARS);
  Gui->pages.visible = 1;
  for(sInt f = 0; f < 24; f++)
  {
    for(sInt i = 0; i < 12; i++) Key('W');
    Frame(0, 0, 0);
  }
  const sInt typed = sGetStringLen(Gui->keyboard.editText);
  EXPECT_LT(typed, sGUI_TEXTCHARS - 1);
  const TextForm &shown = *Gui->textForm;
  Gui->textForm->Clear(), Gui->DrawKeyboard();   // the page's lines as the frame printed them
  sInt lines = 0;
  sF32 fourth = 0;
  for(sInt l = 0; l < shown.LineCount; l++)
    if(shown.Lines[l].x == -400 && shown.Lines[l].Text[0] == 'W')
      lines++, fourth = shown.Lines[l].y == -22 ? shown.MeasureText(shown.Lines[l].Text) : fourth;
  EXPECT_EQ(lines, 4);
  EXPECT_GT(fourth, 780.0f);
  EXPECT_LE(fourth, 800.0f);
  // five lines of about 500 units, each broken at its blank: the cursor in the fifth takes
  // nothing more, in the first it takes a key; a press on the middle of the first line's
  // 'C' puts the cursor after it
  std::u16string run, fiveLines;
  while(Gui->textForm->MeasureText(run.c_str()) < 500) run += u'W';
  for(sInt l = 0; l < 5; l++) fiveLines += run + u" i ";
  struct Full { std::u16string Text; sInt Cursor; sInt Pressed; std::u16string Want; };
  for(const Full &c : {Full{fiveLines, sInt(fiveLines.size()), -1, fiveLines}, Full{fiveLines, 0, -1, u"q" + fiveLines},
                       Full{u"ABCDEFG", 0, 2, u"ABCqDEFG"}})
  {
    Gui->OpenKeyboard(KbMessage, 0, c.Text.c_str(), sGUI_TEXTCHARS);
    Gui->keyboard.editCursor = c.Cursor;
    if(c.Pressed >= 0)
    {
      const std::u16string before = c.Text.substr(0, size_t(c.Pressed)), with = c.Text.substr(0, size_t(c.Pressed) + 1);
      sF32 x = -400 + (Gui->textForm->MeasureText(before.c_str()) + Gui->textForm->MeasureText(with.c_str())) / 2;
      Frame(SX(x), SY(38), 1), Frame(SX(x), SY(38), 0);
    }
    Key('q'), Frame(0, 0, 0);
    EXPECT_EQ(std::u16string(Gui->keyboard.editText), c.Want) << "cursor " << c.Cursor << ", pressed " << c.Pressed;
  }
  // the cursor keys move where the next key types: "12", twice left, then the page's "->"
  // and a real keyboard's right arrow
  Gui->OpenKeyboard(KbMessage, 0, u"12", sGUI_TEXTCHARS);
  for(sInt i = 0; i < 2; i++) Key(0xE002), Frame(0, 0, 0);
  FramesWhile([&] { return Gui->touch.PageMask & sGUI_PAGE_LOADING; });   // keys wait while the loader works
  for(sInt i = 0; i < Gui->pages.widgetCount; i++)
    if(const GuiWidget &w = Gui->pages.widgets[i]; w.LabelId == 112 && w.PageMask == sGUI_PAGE_KEYBOARD)
      Frame(SX(w.Position[0] - 6), SY(w.Position[1] - 10), 1), Frame(0, 0, 0, 30);
  Key('3'), Frame(0, 0, 0);
  EXPECT_EQ(std::u16string(Gui->keyboard.editText), u"132");
  Key(0xE003), Frame(0, 0, 0);
  Key('4'), Frame(0, 0, 0);
  EXPECT_EQ(std::u16string(Gui->keyboard.editText), u"1324");
  Gui->pages.keyboardOpen = 0, Gui->pages.visible = 0;

  // logos handed to the IPP machine: while its materials point at an older set (as they
  // do after a logo ended), every replaced texture stays alive, however many reloads
  // come; once it binds the newest set they are freed
  FramesWhile([&] { return Gui->folders.loader.Requests.load() || Gui->mediaState.LogoCount == 0; });
  ASSERT_EQ(Gui->mediaState.LogoCount, 5);
  Gui->mediaState.LogoSetBound = Gui->mediaState.LogoSet;   // as the IPP's NextLogo does
  Gui->mediaState.LogoShown = 0;
  std::vector<sTexture2D *> replaced;
  for(sInt reload = 0; reload < 4; reload++)
  {
    for(const GuiLogo &l : Gui->mediaState.Logos) replaced.insert(replaced.end(), {l.Picture, l.Mask});
    Gui->RequestLogos();
    FramesWhile([&] { return Gui->folders.loader.Requests.load(); });
    Gui->mediaState.LogoStarted = 1;   // a logo started before the new set was bound
    Frame(0, 0, 0);
  }
  replaced.erase(std::remove(replaced.begin(), replaced.end(), nullptr), replaced.end());
  ASSERT_EQ(replaced.size(), 40u);
  for(sTexture2D *t : replaced)
  {
    EXPECT_NE(Gui->mediaState.Logos[0].Picture, t);
    sInt kept = 0;
    for(sInt i = 0; i < Gui->retired.GetSize(); i++) kept += Gui->retired[i] == t;
    EXPECT_EQ(kept, 1);
  }
  Gui->mediaState.LogoSetBound = Gui->mediaState.LogoSet;
  Frame(0, 0, 0);
  EXPECT_EQ(Gui->retired.GetSize(), 0);

  // a flyer taken by the IPP is its own: the GUI only fills an empty slot
  FramesWhile([&] { return !Gui->mediaState.MovieTexture; });
  ASSERT_NE(Gui->mediaState.MovieTexture, nullptr);
  sTexture2D *taken = Gui->mediaState.MovieTexture;
  Gui->mediaState.MovieTexture = nullptr;   // the IPP takes it over
  Gui->mediaState.MovieTaken = 1;
  FramesWhile([&] { return !Gui->mediaState.MovieTexture; });
  EXPECT_NE(Gui->mediaState.MovieTexture, nullptr);
  sDELETE(taken);   // freed by its new owner

  // two flyers in a row as the IPP reports them, started, then ended: the second one's
  // timer runs on until its own end
  for(sInt cycle = 0; cycle < 2; cycle++)
  {
    Gui->mediaState.MovieRequest = 0;
    Gui->mediaState.MovieStarted = Gui->mediaState.MovieShown = 1;
    for(sInt f = 0; f < 3; f++)
    {
      Frame(0, 0, 0);
      EXPECT_EQ(Gui->schedule.timers[2].Running, 1) << "flyer " << cycle << ", frame " << f;
    }
    // another style while it shows: the flyer starts again in it
    Gui->mediaState.MovieNow = 0;
    Gui->config.Flyer.Style = Gui->config.Flyer.Style % 3 + 1;
    Frame(0, 0, 0);
    EXPECT_EQ(Gui->mediaState.MovieNow, 1) << "flyer " << cycle;
    Gui->mediaState.MovieShown = 0;
    Gui->mediaState.MovieEnded = 1;
    Frame(0, 0, 0);
    EXPECT_EQ(Gui->schedule.timers[2].Running, 0) << "flyer " << cycle;
  }

  // a reset gives every setting its default and leaves the countdowns running as they stand
  for(GuiMediaTimer &t : Gui->schedule.timers) t.Countdown = 123456;
  Gui->ResetConfig();
  EXPECT_EQ(Gui->config.Logos.Start, -1.0f);
  for(sInt i = 1; i < sGUI_TIMERS; i++) EXPECT_EQ(Gui->schedule.timers[i].Countdown, 123456) << "timer " << i;
}

// a slider that moves on to the setting of another effect, source or message shows that
// setting and leaves it as it was
TEST_F(GuiScene, ASliderMovedToAnotherSettingKeepsThatSettingsValue)
{
  Start();
  Key(46);
  struct Case { const char *Name; sU32 Page; sU32 *Choice; sF32 *First, *Second; };
  const Case cases[] = {
    {"effect transparency", 4, &Gui->selectedEffect, &Gui->config.Effects[0].Transparency, &Gui->config.Effects[1].Transparency},
    {"effect power", 4, &Gui->selectedEffect, &Gui->config.Effects[0].Power, &Gui->config.Effects[1].Power},
    {"distortion power", 7, &Gui->selectedDistortion, &Gui->config.Distortions[0].Power, &Gui->config.Distortions[1].Power},
    {"message interval", 5, &Gui->commandWords[CmdMessage], &Gui->config.Messages[0].Interval, &Gui->config.Messages[1].Interval},
  };
  for(const Case &c : cases)
  {
    Gui->pages.pageIndex = c.Page;
    *c.Choice = 0;
    *c.First = 0.9f, *c.Second = 0.2f;
    Gui->pages.MarkAllChanged();
    Frame(0, 0, 0, 5);
    *c.Choice = 1;
    Frame(0, 0, 0, 5), Frame(0, 0, 0, 5);
    EXPECT_FLOAT_EQ(*c.First, 0.9f) << c.Name;
    EXPECT_NEAR(*c.Second, 0.2f, 1e-5f) << c.Name;
  }
}

TEST_F(GuiScene, MoviePreviewsPassOverFilesThePlayerCannotPlay)
{
  Start();
  // the start configuration's movies get their previews from the start, list shown or not
  FramesWhile([&] { return Gui->previewSlot < Gui->folders.listCount; });
  EXPECT_EQ(Gui->pages.movieSection, 0u);
  EXPECT_EQ(Gui->folders.listCount, 11);
  EXPECT_EQ(Gui->tileShown[10], 1u);
  sparktest::TempDir dir;
  ASSERT_EQ(mkdir(dir.Name8("m").c_str(), 0700), 0);
  std::vector<uint8_t> noise(4096);
  for(size_t i = 0; i < noise.size(); i++) noise[i] = uint8_t(i * 7919);
  for(const char *name : {"m/a_cut.mp4", "m/b_cut.mkv", "m/notes.txt"}) ASSERT_TRUE(sparktest::WriteFile(dir.Name8(name), noise));
  // a configuration that names the folder, loaded on its preset key while the list shows:
  // the list and its tiles are the folder's at once
  Gui->pages.movieSection = 8;
  Frame(0, 0, 0);
  ASSERT_EQ(Gui->pages.ShownTileCount(), 11);
  const GuiMediaSection before = Gui->config.Movie;
  Gui->config.Movie.Drive = 1;   // the root folder
  sCopyString(Gui->config.Movie.Directory, plat::ToUtf16(dir.Path.substr(1) + "/m/").c_str(), sGUI_FOLDERCHARS);
  sCopyString(Gui->configs.configNames[2], plat::ToUtf16(dir.Name8("m.Spk")).c_str(), sGUI_TEXTCHARS);
  Gui->configs.configSaveSlot = 2;
  ASSERT_TRUE(Gui->SaveConfig());
  Gui->config.Movie = before;
  Gui->configs.configSlot = 2;
  sparktest::DebugCapture out;
  Frame(0, 0, 0);
  EXPECT_EQ(Gui->configs.activePreset, 2);
  EXPECT_EQ(Gui->folders.listCount, 2);
  EXPECT_EQ(Gui->pages.ShownTileCount(), 2);
  for(sInt k = 0; k < 3; k++) EXPECT_EQ(Gui->movieMarks[k], k < 2 ? 1u : 0u) << k;
  FramesWhile([&] { return Gui->previewSlot < Gui->folders.listCount; });
  EXPECT_EQ(Gui->previewSlot, 2);
  // the operator is told of each, once, with the reason
  for(const char *name : {"a_cut.mp4 cannot be played: ", "b_cut.mkv cannot be played: "})
    EXPECT_EQ(out.Count(name), 1) << name << out.Text();
  for(sInt k = 0; k < 2; k++)
  {
    EXPECT_EQ(Gui->tileShown[k], 0u);
    EXPECT_EQ(Gui->MaterialSet->Materials[sGUI_TILEMATERIAL + k]->Texture[0], Gui->MaterialSet->Textures[27]);   // the empty picture
  }
}

TEST_F(GuiScene, ModeProgramsRestoreTheOperatorsSettings)
{
  Start();
  GuiModeScene &m = *Gui->modeScene;
  Gui->config.Effects[2] = {0, 1, 0.42f, 0.17f};
  Gui->config.Movie.Interval = 0.33f;
  m.SetMode(0, 1);   // 'c' and 'v': feedback on at full transparency
  EXPECT_EQ(Gui->config.Effects[2].Active, 1);
  EXPECT_FLOAT_EQ(Gui->mediaState.FadeFactors[1], 0.3f);
  EXPECT_TRUE(Gui->config.Effects[0].Power >= 0 && Gui->config.Effects[0].Power <= 1);   // cleared, in range
  // a change of program takes no new snapshot; program 4 puts the operator's settings back.
  // The layer movie flashes while a program whose 'f' asked for it runs, and no longer
  for(const auto &[program, flash] : {std::pair{9, 1}, {10, 1}, {0, 0}, {10, 1}, {4, 0}})
  {
    m.SetMode(program, 0);
    EXPECT_EQ(Gui->mediaState.ClipFlashOn, flash) << program;
  }
  EXPECT_FLOAT_EQ(Gui->config.Effects[2].Transparency, 0.42f);
  EXPECT_EQ(Gui->config.Effects[2].Alpha, 1);
  EXPECT_FLOAT_EQ(Gui->config.Movie.Interval, 0.33f);
  EXPECT_FLOAT_EQ(Gui->mediaState.FadeFactors[1], 1.0f);
  // 'c' takes the output brightness from the media record, never MUTE's black there: muted
  // when the record was written or when the key comes, the operator's brightness stays
  for(const auto &[mutedWritten, mutedAtKey] : {std::pair{1u, 1u}, {1u, 0u}, {0u, 1u}, {0u, 0u}})
  {
    Gui->brightness = 0.7f;
    Gui->commandWords[CmdMute] = mutedWritten, Gui->PublishRecords();
    Gui->commandWords[CmdMute] = mutedAtKey, m.OnEvent('c');
    Gui->commandWords[CmdMute] = 0, Gui->PublishRecords();
    EXPECT_FLOAT_EQ(Gui->mediaState.FadeFactors[0], 0.7f) << mutedWritten << mutedAtKey;
  }
  // without a movie no program starts: the switch falls back; with one it runs and holds
  // the keys it drives
  const sInt movies = Gui->folders.movieCount;
  Gui->folders.movieCount = 0, Gui->autoFxActive = 1, Gui->DriveModeScene();
  EXPECT_EQ(Gui->autoFxActive, 0u);
  Gui->folders.movieCount = movies > 0 ? movies : 1, Gui->autoFxActive = 1, Gui->DriveModeScene();
  EXPECT_EQ(Gui->autoFxActive, 1u);
  EXPECT_EQ(Gui->pages.sliders[8].Enabled, 0u);
  Gui->autoFxProgram = 10, Gui->DriveModeScene();
  EXPECT_EQ(Gui->mediaState.ClipFlashOn, 1);
  Gui->autoFxActive = 0, Gui->DriveModeScene();
  EXPECT_EQ(Gui->pages.sliders[8].Enabled, 1u);
  EXPECT_EQ(Gui->mediaState.ClipFlashOn, 0);   // stopped: the movie layer plays whole again
  m.SetMode(42, 0);   // no such program: cleared, nothing started
  EXPECT_EQ(Gui->config.Effects[2].Active, 0);
  // a kind drawn as different never repeats the current one
  for(sInt i = 0; i < 50; i++)
  {
    sInt before = Gui->config.Distortions[0].Kind = 1 + i % 3;
    m.pickDifferent = 1;
    m.OnEvent('j');
    EXPECT_NE(Gui->config.Distortions[0].Kind, before);
    EXPECT_EQ(m.pickDifferent, 0u);
  }
  // the scaler page edits the chosen device's first layer
  Gui->pages.scalerDevice = 1;
  Gui->BindScalerDevice();
  EXPECT_EQ(Gui->pages.sliders[14].Value, &Gui->config.Scalers[8].Out[0]);
}

// The layout as a new user meets it: on every page no two touch areas and no two faces
// overlap (the one pair the design itself places so excepted), and every label lies on its
// key's face.
TEST_F(GuiScene, NoTwoKeysOfAPageOverlapAndEveryLabelLiesOnItsFace)
{
  Start();
  TextForm &text = *Gui->textForm;
  auto moved = [](const GuiHitRect &r, const sF32 *p) { return Box{r.X0 + p[0], r.X1 + p[0], r.Y0 + p[1], r.Y1 + p[1]}; };
  auto overlap = [](const Box &a, const Box &b) { return a.X0 < b.X1 && b.X0 < a.X1 && a.Y0 < b.Y1 && b.Y0 < a.Y1; };
  // the key "1" of the AUTO FX page sits in the corner of its ACTIVE switch by design
  auto designed = [&](const GuiWidget &a, const GuiWidget &b) {
    return a.PageMask == 0x2 && b.PageMask == 0x2 && (a.LabelId == 60) != (b.LabelId == 60) &&
           (a.LabelId == 140 || b.LabelId == 140);
  };
  // the lines printed over the keys: the header's on every page but the touch effect's (the
  // level scope's line at rest, silent, with them where the header row shows), the
  // keyboard's prompt and its four lines of edited text
  std::vector<std::pair<std::string, Box>> header = {{"SIV", InkLeft(text, u"SIV: 100.0%", -486, 184)},
                                                     {"BPM", InkLeft(text, u"BPM: 188.8", -330, 184)},
                                                     {"version", InkLeft(text, u"v1.25", -143.5f, 295)}};
  for(const sChar *w : {u"No audio signal found!", u"Audio signal too low!", u"Audio signal too loud!"})
    header.push_back({plat::ToUtf8(w), InkCentred(text, w, -58, 184)});
  // the level scope's silent line at 170 runs under the letters of the header's line; the
  // tail of the warning's "g" reaches through it where the page places them both
  const MeshVertex *scope = Gui->scopeForm->Vertices;   // the line's lower and upper edge at rest
  const Box scopeBox = {scope[511].Pos.x, scope[0].Pos.x, scope[0].Pos.y, scope[512].Pos.y};
  EXPECT_EQ(scopeBox.Y1, 170.0f);
  for(const auto &[name, line] : header)
    EXPECT_FALSE(scopeBox.X0 < line.X1 && line.X0 < scopeBox.X1 && scopeBox.Y0 < line.Y1 && std::max(line.Y0, line.Base) < scopeBox.Y1)
      << "the level scope and " << name;
  std::vector<std::pair<std::string, Box>> keyboard = {
    {"prompt", InkCentred(text, u"Connfiguration file name (without .Spk)", 0, 70)},
    {"edited text", {-400, 400, InkLeft(text, u"Ag|jy", -400, 35 - 19 * 3).Y0, InkLeft(text, u"Ag|jy", -400, 35).Y1}}};
  std::vector<sU32> pages = {0x801, 0x1000, 0x4000, 0x8000, 0x10000, 0x20000, 0x40000, 0x80000000, 0x3 | sGUI_PAGE_DIALOG};
  for(sInt p = 0; p < 10; p++) pages.push_back(GuiMainPageMask(p));
  for(sU32 page : pages)
  {
    std::vector<std::pair<std::string, Box>> lines;
    if(!(page & sGUI_PAGE_TOUCHME)) lines = header;
    if(page & sGUI_PAGE_HEADER) lines.push_back({"the level scope", scopeBox});
    if(page & sGUI_PAGE_KEYBOARD) lines.insert(lines.end(), keyboard.begin(), keyboard.end());
    std::vector<const GuiWidget *> shown;
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
    {
      const GuiWidget &w = Gui->pages.widgets[i];
      // a dialog's keys take the touches alone: they meet the keys that stay active
      sBool dialog = (page & sGUI_PAGE_DIALOG) != 0;
      if(!(w.PageMask & page) || (dialog && !w.DialogSafe)) continue;
      shown.push_back(&w);
    }
    std::vector<Box> sliders;
    for(const GuiSlider &s : Gui->pages.sliders)
      if((s.PageMask & page) && !(page & sGUI_PAGE_DIALOG)) sliders.push_back(moved(s.Hit(), s.Position));   // inert under a dialog
    for(size_t a = 0; a < shown.size(); a++)
    {
      const GuiWidget &w = *shown[a];
      std::string name = plat::ToUtf8(GuiLabel(w.LabelId)) + " on page " + std::to_string(page);
      Box face = moved(GuiKindFaces[w.Kind], w.Position), hit = moved(w.Hit(), w.Position);
      for(size_t b = a + 1; b < shown.size(); b++)
      {
        const GuiWidget &v = *shown[b];
        if(designed(w, v)) continue;
        EXPECT_FALSE(overlap(hit, moved(v.Hit(), v.Position))) << name << " and " << plat::ToUtf8(GuiLabel(v.LabelId));
        EXPECT_FALSE(overlap(face, moved(GuiKindFaces[v.Kind], v.Position))) << name << " and " << plat::ToUtf8(GuiLabel(v.LabelId));
      }
      for(const Box &s : sliders) EXPECT_FALSE(overlap(hit, s)) << name << " and a slider";
      for(const auto &[what, line] : lines)
        EXPECT_FALSE(overlap(face, line) || overlap(hit, line)) << name << " and " << what;
      for(const Box &l : LabelInks(text, w))
        EXPECT_TRUE(l.X0 >= face.X0 && l.X1 <= face.X1 && l.Y0 >= face.Y0 && l.Y1 <= face.Y1)
          << name << ": label " << l.X0 << ".." << l.X1 << " x " << l.Y0 << ".." << l.Y1 << " off its face " << face.X0
          << ".." << face.X1 << " x " << face.Y0 << ".." << face.Y1;
    }
  }
}

// A tap at the middle of what a key or a browser row shows picks that key or row, on every
// page, through the pointer record as a touch screen fills it.
TEST_F(GuiScene, ATapOnTheMiddleOfALabelPicksItsKeyOrRow)
{
  Start(1);
  Key(46);
  FramesWhile([&] { return Gui->folders.loader.Requests.load() != 0; });
  TextForm &text = *Gui->textForm;
  const sF32 fullSize = text.TextScale;
  auto plain = [](TouchGui *g) {
    if(g->dialogs.dialogKind) g->dialogs.dialogAnswer = 2, g->AfterRender(nullptr);   // NO
    g->dialogs.dialogKind = 0, g->pages.keyboardOpen = g->browser.browserOpen = g->pages.channelPageOpen = g->pages.scalerPageOpen = 0;
    g->autoFxActive = 0, g->pages.movieSection = 0, g->configs.configCommand = 0, g->config.Effects[4].Active = 0;   // touch-me covers all
  };
  struct Page { std::string Name; std::function<void(TouchGui *)> Open; };
  std::vector<Page> pages;
  for(sU32 i = 0; i < 10; i++) pages.push_back({"page " + std::to_string(i), [=](TouchGui *g) { plain(g), g->pages.pageIndex = i; }});
  pages.push_back({"movies", [=](TouchGui *g) { plain(g), g->pages.movieSection = 8; }});
  pages.push_back({"keyboard", [=](TouchGui *g) { plain(g), g->pages.keyboardOpen = 1; }});
  pages.push_back({"browser", [=](TouchGui *g) { plain(g), g->OpenBrowser(1); }});
  for(sU32 p = 0; p < 3; p++)
    pages.push_back({"channel " + std::to_string(p + 1), [=](TouchGui *g) { plain(g), g->pages.channelPageOpen = 1, g->pages.channelPageState = p; }});
  pages.push_back({"scaler", [=](TouchGui *g) { plain(g), g->pages.scalerPageOpen = 1; }});
  sInt pressed = 0;
  for(const Page &p : pages)
  {
    auto open = [&] {
      p.Open(Gui), Step(0, 0, 0, 30);
      for(sInt n = 0; n < 20000 && Gui->folders.loader.Requests.load() != 0; n++) Step(0, 0, 0), sSleep(1);
      p.Open(Gui), Step(0, 0, 0);
    };
    open();
    const sU32 mask = Gui->touch.PageMask;
    // each label as the frame printed it: whole, or narrowed to its face, which gives the
    // size back to the labels after it
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
    {
      const GuiWidget &w = Gui->pages.widgets[i];
      if(!w.InScene || !(w.PageMask & mask) || (w.Kind == 5 && w.LabelStyle == 2) || !GuiLabel(w.LabelId)[0]) continue;
      sInt found = 0;
      for(sInt l = 0; l < text.LineCount; l++)
      {
        const TextLine &t = text.Lines[l];
        if(std::u16string(t.Text) != GuiLabel(w.LabelId) || t.y != w.Position[1] + Place[w.Kind][1]) continue;
        const sF32 keep = text.TextScale;
        text.TextScale = t.Scale;   // a centred line keeps its left end
        const sF32 centre = t.x + text.MeasureText(t.Text) / 2;
        text.TextScale = fullSize;
        const sF32 fit = GuiLabelFit(text, sInt(w.Kind), t.Text);
        text.TextScale = keep;
        if(std::fabs(centre - w.Position[0] - Place[w.Kind][0]) > 0.01f) continue;
        found++;
        EXPECT_FLOAT_EQ(t.Scale, fullSize * fit) << p.Name << ": " << plat::ToUtf8(t.Text);
      }
      EXPECT_EQ(found, 1) << p.Name << ": " << plat::ToUtf8(GuiLabel(w.LabelId));
    }
    for(sInt i = 0; i < Gui->pages.widgetCount; i++)
    {
      GuiWidget &w = Gui->pages.widgets[i];
      if(!w.InScene || !(w.PageMask & mask) || !w.Enabled || w.Greyed || !GuiLabel(w.LabelId)[0]) continue;
      for(const Box &l : LabelInks(text, w))
      {
        open();
        ASSERT_EQ(Gui->touch.PageMask, mask) << p.Name;
        // the corner of the AUTO FX page's ACTIVE switch takes the lower half of the key "1"
        sF32 y = l.Band + (w.PageMask == 0x2 && w.LabelId == 140 ? 5.0f : 0.0f);
        Step(SX(l.MidX()), SY(y), 1);
        EXPECT_TRUE(Gui->touch.HeldWidget == w.LabelId && w.PressTime == Gui->touch.Clock)
          << p.Name << ": " << plat::ToUtf8(GuiLabel(w.LabelId)) << " at " << l.MidX() << ", " << y << " gave "
          << Gui->touch.HeldWidget;
        Step(0, 0, 0);
        pressed++;
      }
    }
  }
  EXPECT_GT(pressed, 250);
  // the browser's rows: a drive's name picks the drive and its bar lights that name, an
  // entry's name picks the entry and its bar lights it
  GuiBrowser &b = Gui->browser;
  // a name cut to its column ends in "..."
  auto lineAt = [&](const sChar *name, sF32 x) -> const TextLine * {
    for(sInt i = 0; i < text.LineCount; i++)
    {
      std::u16string shown = text.Lines[i].Text, full = name;
      if(shown.size() > 3 && shown.compare(shown.size() - 3, 3, u"...") == 0) shown.resize(shown.size() - 3), full.resize(std::min(full.size(), shown.size()));
      if(text.Lines[i].x == x && shown == full) return &text.Lines[i];
    }
    return nullptr;
  };
  // a bar hangs from its top edge: it holds the name from the middle of its capitals down
  auto lit = [&](sInt bar, const Box &ink) {
    sF32 top = Gui->browser.Bars[bar]->Matrix.l.y;
    return Gui->browser.Bars[bar]->Colour != 0 && ink.Band < top && ink.Y0 >= top - 23;
  };
  plain(Gui), Gui->OpenBrowser(1), Step(0, 0, 0), Step(0, 0, 0);
  ASSERT_GE(b.DriveRowCount, 2);
  // at a drive's root, nothing copied: the path line and the status are printed, empty as "..."
  EXPECT_TRUE(lineAt(u"...", -230) && lineAt(u"...", 150));
  for(sInt r = b.DriveRowCount - 1; r >= 0; r--)
  {
    const sChar *label = Gui->folders.drives.MediaDriveLabels[b.DriveRows[r]];
    const TextLine *line = lineAt(label, -375);
    ASSERT_NE(line, nullptr) << plat::ToUtf8(label);
    Box ink = InkLeft(text, line->Text, line->x, line->y);
    Step(SX(ink.MidX()), SY(ink.Band), 1), Step(SX(ink.MidX()), SY(ink.Band), 0);
    EXPECT_EQ(b.Drive, b.DriveRows[r]) << plat::ToUtf8(label);
    EXPECT_TRUE(lit(1, ink) && lit(2, ink)) << plat::ToUtf8(label) << ": its bars are not on it";
  }
  sInt rows = 0;
  for(sInt k = 0; k < b.Entries.GetSize(); k++)
    if(const TextLine *line = lineAt(b.Entries[k].Name, -205))
    {
      Box ink = InkLeft(text, line->Text, line->x, line->y);
      Step(SX(ink.MidX()), SY(ink.Band), 1), Step(SX(ink.MidX()), SY(ink.Band), 0);
      EXPECT_EQ(b.LastRow, k) << plat::ToUtf8(line->Text);
      EXPECT_TRUE(lit(0, ink)) << plat::ToUtf8(line->Text) << ": the hover bar is not on it";
      rows++;
    }
  EXPECT_GE(rows, 10);
}

TEST_F(GuiScene, SixteenBoxesDrawOverThePageEachAtItsOwnPlacement)
{
  Start();   // no scene places: no tile lies about the plane's centre
  Key(46);
  FramesWhile([&] { return Gui->folders.loader.Requests.load() != 0; });   // its notice is printed at the centre
  std::vector<sU32> px = Frame(0, 0, 0);
  auto at = [&](sF32 x, sF32 y) { return (px[size_t(SY(y)) * W + size_t(SX(x))] & 0xffffff) != 0; };
  EXPECT_FALSE(at(0, 0) || at(10, 10) || at(-10, -10)) << "an unplaced box covers the plane's centre";
  ASSERT_EQ(Gui->boxForm->Count, 16);
  for(sInt k = 0; k < 16; k++)
  {
    Gui->boxForm->Instances[k] = sMat3x4();
    Gui->boxForm->Instances[k].l = sVec3(-560.0f + 70.0f * sF32(k), 10, 0);
  }
  px = Frame(0, 0, 0);
  for(sInt k = 0; k < 16; k++)
    EXPECT_TRUE(at(-560.0f + 70.0f * k, 10) && !at(-525.0f + 70.0f * k, 10) && !at(0, -10)) << "box " << k;
}
