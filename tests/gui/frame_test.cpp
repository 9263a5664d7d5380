// The GUI frame's scene tiles, control values and dialogs, on a GUI scene without a
// graphics device (elements without quads) inside a scene machine of plain scenes.
#include "gui/gui.hpp"

#include "base/app.hpp"
#include "base/input.hpp"
#include "base/window.hpp"
#include "graphics/graphics.hpp"
#include "graphics/render_fixture.hpp"
#include "show/scenehost.hpp"
#include "show/controls.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "common/temp_dir.hpp"
#include "platform/text/utf.hpp"
#include "platform/text/utf.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
struct Counted : Scene
{
  sInt Entered = 0;
  void Enter(sInt) override { Entered++; }
};

class GuiFrame : public testing::Test
{
public:
  // scenes make their materials at construction: a hidden window's device
  static void SetUpTestSuite() { Window = OpenGfxWindow("gui frame", 64, 64); }
  static void TearDownTestSuite() { CloseGfxWindow(Window); }
  static inline SDL_Window *Window = nullptr;
  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  TouchGui *Gui = nullptr;
  Counted *Shows[13] = {};
  const sChar *Names[13] = {u"Morvensk", u"Pelagic", u"Transformer", u"A", u"B", u"C", u"D",
                            u"E", u"F", u"G", u"H", u"I", u"Led"};

  void SetUp() override
  {
    ASSERT_TRUE(Window && sIsGfxActive()) << "no graphics device";
    SetShowDisplay(0, 64, 64);
    sShowPlugins = {};
    Record.UsePackfile = Record.RecordPackfile = Record.MusicOn = Record.UseLoader = 0;
    M = sNEW SceneMachine(&Record);
    for(sInt i = 0; i < 13; i++) M->RegisterScene(Shows[i] = sNEW Counted, Names[i], i, 1, 0);
    M->RegisterScene(sNEW Counted, u"Global", 13, 0x101, 0);
    Gui = sNEW TouchGui;
    M->RegisterScene(Gui, u"GUI", 15, 0x101, 0);
    // elements without quads: no Init, no device work
    for(sInt i = 0; i < sGUI_TILES; i++) Gui->pages.tiles[i].Owner = &Gui->touch, Gui->pages.tiles[i].Id = sU32(1000 + i);
    sResetExitFlag();
  }
  void TearDown() override { sDELETE(M); }
  // a press on tile i of the laid-out style, at (dx, dy) from its centre: by default on
  // its main area
  void PressTile(sInt i, sF32 dx = -6, sF32 dy = -10)
  {
    GuiTile &t = Gui->pages.tiles[i];
    Gui->touch.PageMask = 1;
    Gui->touch.PointerX = t.Position[0] + t.Offset[0] + dx, Gui->touch.PointerY = t.Position[1] + dy;
    Gui->touch.PressEdge = Gui->touch.ButtonDown = 1;
    Gui->touch.HeldWidget = -1;
    Gui->touch.Clock += 1000;
    Gui->DrawSceneTiles();
    Gui->touch.PressEdge = Gui->touch.ButtonDown = 0;
  }
};
}

TEST_F(GuiFrame, EachStyleOffersItsOwnScenesCentredAndSwitchesToThem)
{
  const std::vector<sInt> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                          pages = {0, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 40, 60, 80, 91};
  struct Case { sU32 Style; std::vector<sInt> Shown; sInt FirstValue; };
  for(const Case &c : {Case{0, {0}, 0}, Case{1, all, 0}, Case{2, {0}, 0}, Case{3, {0}, 0}, Case{4, {0, 11}, 0},
                       Case{5, pages, 0}, Case{6, pages, 0}, Case{7, all, 100}, Case{8, pages, 0}, Case{9, pages, 0}})
  {
    Gui->style = c.Style;
    for(sInt &f : Gui->config.StyleFlags[c.Style]) f = 1;   // even where no scene is
    Gui->LayoutSceneTiles();
    std::vector<sInt> shown;
    sF32 first = 0, last = 0;
    for(sInt i = 0; i < sGUI_TILES; i++)
    {
      if(!Gui->pages.tiles[i].PageMask) continue;
      if(shown.empty())
      {
        first = Gui->pages.tiles[i].Position[0];
        EXPECT_EQ(sInt(Gui->pages.tiles[i].Value), c.FirstValue);
      }
      last = Gui->pages.tiles[i].Position[0];
      shown.push_back(i);
    }
    EXPECT_EQ(shown, c.Shown) << "style " << c.Style;
    EXPECT_NEAR(first + last, 10.0f, 0.01f);
    EXPECT_NEAR(last - first, sF32(c.Shown.size() - 1) * 172.288f, 0.05f);
    // the automatic pick never lands on Global or an empty index, and names scenes as the
    // tiles do (the LED style's from 100, every flag of it: the LED scene takes any number)
    sInt top = 0;
    for(sInt k = 0; k < 300; k++)
    {
      Gui->sceneRequest.TakenFlag = 1;
      Gui->PickAutoScene(0);
      if(c.Style != 7) { EXPECT_GE(GuiPositionToScene(Gui->sceneRequest.NextNumber % 20), 0); }
      EXPECT_GE(Gui->sceneRequest.NextNumber, c.FirstValue) << "style " << c.Style;
      EXPECT_LT(Gui->sceneRequest.NextNumber, c.FirstValue + 100) << "style " << c.Style;
      top = std::max(top, Gui->sceneRequest.NextNumber);
    }
    if(c.Style == 7) { EXPECT_GE(top, 100 + sGUI_LEDTILES) << "no flag past the LED tiles is picked"; }
  }
  Gui->style = 1;
  Gui->LayoutSceneTiles();
  // the scene slider's top end moves the row of 13 right by (9 x 0.35) / 2 x 500, its bottom
  // end left; a row of four tiles or fewer (MINIMAL's two) stands still
  struct Scroll { sU32 Style; sInt Tile; sF32 Value, Offset; };
  for(const Scroll c : {Scroll{1, 12, 1.0f, 787.5f}, Scroll{1, 12, 0.0f, -787.5f}, Scroll{1, 12, 0.5f, 0.0f},
                        Scroll{4, 11, 1.0f, 0.0f}, Scroll{4, 0, 0.0f, 0.0f}})
  {
    Gui->style = c.Style;
    Gui->LayoutSceneTiles();
    Gui->styleScroll[c.Style] = c.Value;
    Gui->DrawSceneTiles();
    EXPECT_NEAR(Gui->pages.tiles[c.Tile].Offset[0], c.Offset, 0.01f) << c.Style << " " << c.Value;
  }
  Gui->style = 1;
  Gui->LayoutSceneTiles();
  EXPECT_EQ(Gui->config.StyleFlags[1][13], 1);   // a flag where no scene is stays as it was set
  // the main area selects the tile and allows its scene, switching nothing; the upper right
  // corner makes it the next scene, which the SYNC machine's next scene key switches to
  Gui->config.StyleFlags[1][2] = 0;
  const sInt current = M->Current;
  PressTile(2);
  EXPECT_EQ(M->Current, current);
  EXPECT_EQ(Gui->sceneSelect, 2u);
  EXPECT_EQ(Gui->config.StyleFlags[1][2], 1);
  PressTile(2, 74, 12);
  EXPECT_EQ(Gui->sceneRequest.NextNumber, 2);
  EXPECT_EQ(M->Current, current);
  SyncMachine sync(120.0f);
  sync.GuiRecord = &Gui->sceneRequest;
  M->HandleSceneKey(sync.NextSceneKey(), M->Current);
  EXPECT_EQ(M->Current, 2);
  EXPECT_EQ(Shows[2]->Entered, 1);
  EXPECT_EQ(std::u16string(M->SceneNames[2]), u"Transformer");   // the label source
  // a scene number past the show's scenes is ignored
  Gui->SelectScene(13);
  EXPECT_EQ(M->Current, 2);
  // a scene this show leaves out is neither offered nor picked, but keeps its flag
  Scene *left = M->Scenes[8];
  M->Scenes[8] = nullptr;
  Gui->style = 1;
  Gui->laidStyle = -1;
  for(sInt &f : Gui->config.StyleFlags[1]) f = 1;
  Gui->LayoutSceneTiles();
  EXPECT_EQ(Gui->pages.tiles[8].PageMask, 0u);
  for(sInt k = 0; k < 200; k++)
  {
    Gui->sceneRequest.TakenFlag = 1;
    Gui->PickAutoScene(0);
    EXPECT_NE(Gui->sceneRequest.NextNumber, 8);
  }
  EXPECT_EQ(Gui->config.StyleFlags[1][8], 1);
  M->Scenes[8] = left;
  // the SYNC machine's word that the Slideshow comes next starts the slideshow, its word
  // that the Slideshow was on ends it; the timer takes each word once, so the operator's
  // STOP (or START) in between holds
  Gui->folders.slideshowPictures = 3;
  struct Word { sInt Next, Current, Operator, Running; };
  for(const Word w : {Word{1, 0, -1, 1}, Word{0, 0, 0, 0}, Word{0, 1, -1, 0}, Word{0, 0, 1, 1}})
  {
    if(w.Next) Gui->sceneRequest.NextIsSlideshow = 1;
    if(w.Current) Gui->sceneRequest.CurrentIsSlideshow = 1;
    if(w.Operator >= 0) Gui->schedule.timers[0].Running = w.Operator;
    Gui->UpdateSlideshowTimer();
    EXPECT_EQ(Gui->schedule.timers[0].Running, w.Running) << w.Next << w.Current << w.Operator;
  }
}

TEST_F(GuiFrame, DragOnlyWhileHeldAndTheChannelPageCancelRestoresItsTable)
{
  Gui->touch.ButtonDown = 1, Gui->touch.PressEdge = 1, Gui->touch.PointerX = 10;
  Gui->FrameSteps();
  EXPECT_EQ(Gui->dragX, 0.0f);   // the press itself does not drag
  Gui->touch.PressEdge = 0, Gui->touch.PointerX = 30;
  Gui->FrameSteps();
  EXPECT_EQ(Gui->dragX, 20.0f);
  Gui->touch.ButtonDown = 0, Gui->touch.PointerX = 90;
  Gui->FrameSteps();
  EXPECT_EQ(Gui->dragX, 0.0f);
  EXPECT_EQ(Gui->releaseEdge, 1u);
  // the on-screen keyboard edits at its cursor and stops at the text's capacity
  Gui->pages.keyboardOpen = 1, Gui->keyboard.editCapacity = 4;
  auto key = [&](sInt k) { Gui->keyboard.keyPressed = k, Gui->touch.PressEdge = 1, Gui->touch.HeldWidget = 420 + 2 * k, Gui->FrameSteps(); };
  sChar a = GuiLabel(420)[0], b = GuiLabel(422)[0];
  key(0), key(1);
  Gui->keyboard.editKeys[4] = 1, Gui->touch.PressEdge = 0, Gui->FrameSteps();
  key(0);                         // at the cursor, one to the left
  key(1);                         // full: three characters
  EXPECT_EQ(std::u16string(Gui->keyboard.editText), (std::u16string() + a) + a + b);
  Gui->keyboard.editKeys[3] = 1, Gui->FrameSteps();
  EXPECT_EQ(std::u16string(Gui->keyboard.editText), (std::u16string() + a) + b);
  Gui->pages.keyboardOpen = 0, Gui->touch.PressEdge = 0, Gui->touch.HeldWidget = -1;
  // DMX page: a changed channel is given back by CANCEL, kept by CONFIRM
  sInt before = Gui->config.Dmx[3];
  Gui->configs.configCommand = 5, Gui->FrameSteps();
  EXPECT_EQ(Gui->pages.channelPageOpen, 1u);
  // LEARN row 3: the DMX channel that moves becomes its channel
  M->DmxCount = M->DmxPrevCount = 64;
  for(sInt i = 0; i < 64; i++) M->DmxCurrent[i] = 0;
  Gui->commandWords[CmdLearn] = 3, Gui->touch.PressEdge = 1, Gui->touch.HeldWidget = 93;
  Gui->FrameSteps();
  Gui->touch.PressEdge = 0, M->DmxCurrent[33] = 1.0f;
  Gui->FrameSteps();
  EXPECT_EQ(Gui->config.Dmx[3], 33);
  Gui->configs.configCommand = 9, Gui->FrameSteps();
  EXPECT_EQ(Gui->config.Dmx[3], before);
  Gui->configs.configCommand = 6, Gui->FrameSteps();
  Gui->config.Midi[3] = 9;
  Gui->configs.configCommand = 10, Gui->FrameSteps();
  EXPECT_EQ(Gui->config.Midi[3], 9);
  EXPECT_EQ(Gui->pages.channelPageOpen, 0u);
}

TEST_F(GuiFrame, DialogsAnswerAndExitWithTheirCodes)
{
  auto answer = [&](sU32 a) {
    Gui->touch.PageMask = Gui->ComputePageMask() | sGUI_PAGE_DIALOG;
    Gui->commandWords[CmdDialog] = a;
    Gui->AfterRender(nullptr);
  };
  // NO on exit: the show runs on
  Gui->commandWords[CmdExit] = 1, Gui->FrameSteps();
  EXPECT_EQ(Gui->dialogs.dialogKind, 2u);
  answer(2);
  EXPECT_EQ(Gui->dialogs.dialogKind, 0u);
  EXPECT_EQ(sGetExitFlag(), 0);
  struct Case { sU32 Open; sInt Code; };
  for(const Case c : {Case{2, 0}, Case{3, 1}})
  {
    sResetExitFlag();
    sSetExitCode(7);
    Gui->dialogs.Open(sInt(c.Open), Gui->commandWords[CmdDialog]);
    answer(1);
    EXPECT_NE(sGetExitFlag(), 0) << "kind " << c.Open;
    EXPECT_EQ(sGetExitCode(), c.Code) << "kind " << c.Open;
  }
  sResetExitFlag();
  sSetExitCode(0);
  // LOCK asks at once, over the exit question too: only a lock dialog of its own waits
  Gui->commandWords[CmdExit] = 1, Gui->FrameSteps();
  Gui->dialogs.lockRequest = 1, Gui->FrameSteps();
  EXPECT_EQ(Gui->dialogs.dialogKind, 7u);
  answer(2);
  EXPECT_EQ(Gui->dialogs.lockRequest, 0u);
  // a lock dialog left alone answers NO after 3 s; YES locks
  Gui->dialogs.lockRequest = 1, Gui->FrameSteps();
  EXPECT_EQ(Gui->dialogs.dialogKind, 7u);
  for(sInt i = 0; i < 302; i++) Gui->Tick(0);
  answer(0);
  EXPECT_EQ(Gui->dialogs.dialogKind, 0u);
  EXPECT_EQ(Gui->dialogs.lockRequest, 0u);
  EXPECT_EQ(Gui->dialogs.touchLocked, 0u);
  Gui->dialogs.lockRequest = 1, Gui->FrameSteps();
  answer(1);
  EXPECT_EQ(Gui->dialogs.touchLocked, 1u);
  Gui->dialogs.lockRequest = 0, Gui->FrameSteps();
  answer(1);
  EXPECT_EQ(Gui->dialogs.touchLocked, 0u);
  // as an operator meets it: frames of 40 ms through the GUI's own steps, where a press on
  // YES or NO writes its word before the steps run
  auto frame = [&](sU32 press) {
    for(sInt t = 0; t < 4; t++) Gui->Tick(0);
    Gui->commandWords[CmdDialog] = press;
    Gui->FrameSteps();
    answer(0);
  };
  // LOCK left alone stays open for 3 s and answers NO once, by itself
  Gui->dialogs.lockRequest = 1;
  sInt openFrames = 0, closes = 0;
  for(sInt f = 0; f < 100; f++)
  {
    sU32 was = Gui->dialogs.dialogKind;
    frame(0);
    openFrames += Gui->dialogs.dialogKind == 7, closes += was == 7 && Gui->dialogs.dialogKind == 0;
  }
  EXPECT_EQ(closes, 1);
  EXPECT_GE(openFrames * 40, 3000);
  EXPECT_EQ(Gui->dialogs.dialogKind, 0u);
  EXPECT_EQ(Gui->dialogs.lockRequest, 0u);
  EXPECT_EQ(Gui->dialogs.touchLocked, 0u);
  // asked again and answered YES after a few frames: the touch is locked
  Gui->dialogs.lockRequest = 1;
  for(sInt f = 0; f < 5; f++) frame(0);
  EXPECT_EQ(Gui->dialogs.dialogKind, 7u);
  frame(1);
  EXPECT_EQ(Gui->dialogs.dialogKind, 0u);
  EXPECT_EQ(Gui->dialogs.touchLocked, 1u);
  Gui->pages.visible = 1;
  EXPECT_NE(Gui->ComputePageMask() & sGUI_PAGE_LOCKED, 0u);
}

TEST_F(GuiFrame, MovieScheduleAlwaysNamesAMovieAndTheFaderTrackSelectsOncePerLift)
{
  GuiMediaState &m = Gui->mediaState;
  Gui->folders.listCount = 3;
  for(sU32 &mark : Gui->movieMarks) mark = 0;   // nothing marked for the random pick
  Gui->schedule.timers[3].Running = 1;
  Gui->UpdateMovieControl();
  EXPECT_EQ(m.ClipRequest, 1);
  EXPECT_GE(m.ClipNumber, 0);
  EXPECT_LT(m.ClipNumber, 3);
  Gui->schedule.timers[3].Running = 0;
  Gui->UpdateMovieControl();
  EXPECT_EQ(m.ClipOff, 1);
  // DMX track "movie 2 start" on channel 40 with the fader switch: once per lift above 0.97
  Gui->config.Dmx[1 + 21] = 40;
  Gui->config.MovieStartFader[1] = 1;
  sInt selections = 0;
  for(sF32 v : {0.5f, 0.98f, 0.99f, 1.0f, 0.5f, 0.98f, 0.02f, 0.98f})
  {
    M->DmxPrevious[40] = M->DmxCurrent[40];
    M->DmxCurrent[40] = v;
    M->DmxCount = M->DmxPrevCount = 64;
    m.ClipRequest = 0;
    Gui->UpdateMovieControl();
    selections += m.ClipRequest && m.ClipNumber == 1;
  }
  EXPECT_EQ(selections, 2);
  EXPECT_EQ(Gui->pages.movieSection, 8u);
}

TEST_F(GuiFrame, LiveFeedWritesFlaggedValuesAtTheClocksLine)
{
  sInt midi[sGUI_CONTROLS] = {}, dmx[sGUI_CONTROLS] = {};
  midi[1 + 3] = 5, dmx[1 + 3] = 7, dmx[1 + 0] = 9;
  M->LiveClockMs = 400000;
  M->MidiPrevious[5] = 0, M->MidiCurrent[5] = 0.25f;
  M->DmxCount = M->DmxPrevCount = 16;
  M->DmxPrevious[7] = 0, M->DmxCurrent[7] = 0.5f;
  M->DmxPrevious[9] = 0, M->DmxCurrent[9] = 0.5f;
  GuiFeedLiveLine(*M, 400000, 8 * 3 + 5, midi, dmx);
  const sU32 *line = M->LiveTable[sLIVE_LINES - 1];   // past six minutes: the last line
  EXPECT_EQ(line[0], 305u);
  EXPECT_EQ(line[1 + 3], 3000u + sU32(0.75f * 999.0f));   // both kinds: 3000, values summed
  EXPECT_EQ(line[1 + 0], 2000u + sU32(0.5f * 999.0f));
  EXPECT_EQ(line[1 + 1], 0u);                              // nobody drives it
  // the GUI's own feed stamps the SYNC machine's bar: cycle 2, bar 3 is 203
  SyncMachine sync(120.0f);
  sync.Update(0);
  while(sync.BarIndex[1] < 8 * 2 + 3) sync.Update(100);
  ASSERT_EQ(sync.Cycle[1], 2);
  Gui->SyncSource = &sync;
  Gui->FeedLiveRecording();
  EXPECT_EQ(M->LiveTable[sync.PublishedClock / 20][0], 203u);
  Gui->SyncSource = nullptr;
}

TEST_F(GuiFrame, BrowserNamesAndJoinsAreSafe)
{
  struct Case { const sChar *Name; sBool Ok; };
  std::u16string longName(256, u'a');
  for(const Case c : {Case{u"", 0}, Case{u"a/b", 0}, Case{u"..", 0}, Case{u".", 0}, Case{u"a\\b", 0},
                      Case{u"x\x01", 0}, Case{longName.c_str(), 0}, Case{u"new folder", 1}, Case{u"\u00fcber", 1}})
    EXPECT_EQ(BrowserNameValid(c.Name), c.Ok) << plat::ToUtf8(c.Name);
  sChar out[16];
  struct Join { const sChar *Folder, *Name, *Want; };
  for(const Join j : {Join{u"/a/", u"b", u"/a/b"}, Join{u"/a", u"b", u"/a/b"}, Join{u"/a//", u"/b", u"/a/b"},
                      Join{u"/abcdefgh/", u"ijklmnopq", u""}})
  {
    BrowserJoin(out, 16, j.Folder, j.Name);
    EXPECT_EQ(std::u16string(out), std::u16string(j.Want));
  }
}

TEST_F(GuiFrame, BrowserCopiesPastesDeletesAndMakesFoldersOnlyInsideItsTree)
{
  sparktest::TempDir outside, tree;
  auto make = [](const std::string &p, bool dir) { return dir ? mkdir(p.c_str(), 0755) == 0 : fclose(fopen(p.c_str(), "w")) == 0; };
  ASSERT_TRUE(make(tree.Name8("src"), 1) && make(tree.Name8("src/a.txt"), 0) && make(tree.Name8("dst"), 1) && make(tree.Name8("0.txt"), 0));
  ASSERT_TRUE(make(outside.Name8("secret"), 0));
  ASSERT_EQ(symlink(outside.Name8("secret").c_str(), tree.Name8("src/link").c_str()), 0);
  // links to a folder: one beside the drive's folders, one inside what is copied
  ASSERT_TRUE(make(outside.Name8("dir"), 1) && make(outside.Name8("dir/keep.txt"), 0));
  ASSERT_EQ(symlink(outside.Name8("dir").c_str(), tree.Name8("linked").c_str()), 0);
  ASSERT_EQ(symlink(outside.Name8("dir").c_str(), tree.Name8("src/outdir").c_str()), 0);
  sCopyString(Gui->folders.drives.MediaDriveRoots[0], plat::ToUtf16(tree.Path).c_str(), sGUI_FOLDERCHARS);
  GuiBrowser &b = Gui->browser;
  auto frame = [&] { Gui->touch.PageMask = sGUI_PAGE_BROWSER, Gui->DirBrowser(); };
  auto row = [&](const char16_t *name) {
    for(sInt i = 0; i < b.Entries.GetSize(); i++)
      if(std::u16string(b.Entries[i].Name) == name) return i;
    return -1;
  };
  auto command = [&](sInt c) { b.Commands[c] = 1, frame(); };
  Gui->OpenBrowser(1);
  frame(), frame();
  ASSERT_EQ(b.Depth, 1);
  ASSERT_GE(row(u"src"), 0);
  EXPECT_LT(row(u"src"), row(u"0.txt"));   // folders first
  EXPECT_LT(row(u"linked"), row(u"0.txt"));
  // a double press on the linked folder enters it
  auto pressRow = [&](sInt r) {
    Gui->touch.PointerX = 0, Gui->touch.HeldWidget = -1;
    for(sF32 y = 300; y > -300 && b.HoverRow != r; y -= 2) Gui->touch.PointerY = y, frame();
    EXPECT_EQ(b.HoverRow, r);
    Gui->touch.PressEdge = 1, frame(), Gui->touch.PressEdge = 0;
  };
  pressRow(row(u"linked")), pressRow(row(u"linked")), frame();
  EXPECT_EQ(b.Depth, 2);
  EXPECT_EQ(plat::ToUtf8(b.Folder), tree.Path + "/linked/");
  command(BrBack), frame();
  ASSERT_EQ(b.Depth, 1);
  b.ClearMarks();
  b.Marks[row(u"src")] = 1;
  command(BrCopy);
  EXPECT_EQ(std::u16string(b.Status), u"<>src");
  // into dst: copied, the link not followed; what came from the data root is no outside
  // copy, whatever drive was chosen since
  b.ClearMarks(), b.Marks[row(u"dst")] = 1;
  b.Drive = 5;
  command(BrPaste);
  b.Drive = 0;
  ASSERT_NE(Gui->folders.loader.Requests.load() & sGUI_REQ_PASTE, 0u);
  // a relist withdraws the paste the loader has not taken up; PASTE again asks anew
  b.Relist = 1, frame();
  EXPECT_EQ(Gui->folders.loader.Requests.load() & sGUI_REQ_PASTE, 0u);
  // with a file marked it goes into the folder shown
  b.ClearMarks(), b.Marks[row(u"0.txt")] = 1;
  command(BrPaste);
  EXPECT_EQ(plat::ToUtf8(Gui->folders.loader.PasteDestination), tree.Path + "/");
  b.Relist = 1, frame();
  b.ClearMarks(), b.Marks[row(u"dst")] = 1;
  b.Drive = 5, command(BrPaste), b.Drive = 0;
  ASSERT_NE(Gui->folders.loader.Requests.load() & sGUI_REQ_PASTE, 0u);
  EXPECT_FALSE(Gui->folders.loader.External);
  PasteMarked(Gui->folders.loader);
  EXPECT_EQ(access(tree.Name8("dst/src/a.txt").c_str(), F_OK), 0);
  struct stat st;
  EXPECT_TRUE(lstat(tree.Name8("dst/src/link").c_str(), &st) != 0 || S_ISLNK(st.st_mode));
  EXPECT_TRUE(lstat(tree.Name8("dst/src/outdir").c_str(), &st) != 0 || S_ISLNK(st.st_mode));
  // deleting a folder removes a link in it, never what the link points at
  ASSERT_EQ(symlink(outside.Name8("dir").c_str(), tree.Name8("dst/ln").c_str()), 0);
  // hostile folder names make nothing; a plain one is made here
  for(const sChar *name : {u"../escape", u"..", u"", u"a/b"})
  {
    b.KeyboardPurpose = 5;
    Gui->BrowserKeyboardEnter(name);
  }
  EXPECT_NE(access((outside.Path + "/../escape").c_str(), F_OK), 0);
  b.KeyboardPurpose = 5;
  Gui->BrowserKeyboardEnter(u"made");
  EXPECT_EQ(access(tree.Name8("made").c_str(), F_OK), 0);
  // delete through the dialog's YES; a row pressed before it takes a press after it as a
  // first one (the rows are listed anew), never as a double press
  frame();
  pressRow(row(u"src"));
  b.ClearMarks(), b.Marks[row(u"dst")] = 1;
  command(BrDelete);
  ASSERT_EQ(Gui->dialogs.dialogKind, 1u);
  Gui->touch.PageMask = sGUI_PAGE_DIALOG, Gui->commandWords[CmdDialog] = 1;
  Gui->AfterRender(nullptr);
  pressRow(row(u"src"));
  EXPECT_EQ(b.Depth, 1);
  DeleteMarked(Gui->folders.loader);
  // the job's end lists the folder again from its top, the scroll slider placed there
  b.Scroll = 0.3f, Gui->pages.sliders[13].Changed = 0, frame();
  EXPECT_TRUE(b.Scroll == 1.0f && Gui->pages.sliders[13].Changed == 1);
  EXPECT_NE(access(tree.Name8("dst").c_str(), F_OK), 0);
  EXPECT_EQ(access(outside.Name8("secret").c_str(), F_OK), 0);
  EXPECT_EQ(access(outside.Name8("dir/keep.txt").c_str(), F_OK), 0);
  Gui->OpenBrowser(1);
  frame(), frame();
  ASSERT_TRUE(b.Enter(u"made")), frame();
  // a medium chosen as a drive and taken out: its row goes, the first drive is chosen again
  sparktest::TempDir stick;
  ASSERT_TRUE(make(stick.Name8("song.txt"), 0));
  sCopyString(Gui->folders.drives.MediaDriveRoots[5], plat::ToUtf16(stick.Path).c_str(), sGUI_FOLDERCHARS);
  frame();   // the drive column is listed every frame
  for(sInt r = 0; r < b.DriveRowCount; r++)
    if(b.DriveRows[r] == 5) Gui->commandWords[CmdBrowserKey] = sU32(11 + r);
  frame();
  ASSERT_EQ(b.Drive, 5);
  Gui->folders.drives.MediaDriveRoots[5][0] = 0;
  frame(), frame(), frame();
  EXPECT_EQ(b.Drive, 0);
  EXPECT_EQ(plat::ToUtf8(b.Folder), tree.Path + "/");
  ASSERT_TRUE(b.Enter(u"made")), frame();
  // BACK goes up to the drive's root and no further: the root stays listed
  for(sInt i = 0; i < 2; i++)
  {
    command(BrBack), frame();
    EXPECT_EQ(b.Depth, 1);
    EXPECT_EQ(plat::ToUtf8(b.Folder), tree.Path + "/");
    EXPECT_GE(row(u"made"), 0) << "BACK " << i + 1;
  }
  // the slideshow's folder goes to the Slideshow with its root; chosen while the show is on
  // the GUI's own pick, the show takes its next automatic scene
  ASSERT_TRUE(b.Enter(u"made")), frame();
  Gui->SelectScene(2);
  Gui->sceneRequest.NextNumber = 4;
  command(BrConfirm);
  EXPECT_EQ(M->Current, 4);
  Gui->PublishRecords();
  EXPECT_EQ(plat::ToUtf8(Gui->slideshow.path).rfind(tree.Path + "/made", 0), 0u) << plat::ToUtf8(Gui->slideshow.path);
  // saving: an empty name is refused, a typed one lands in the folder shown
  Gui->OpenBrowser(6);
  frame(), frame();
  command(BrConfirm);
  EXPECT_EQ(Gui->browser.browserOpen, 1u);
  b.KeyboardPurpose = 6;
  Gui->BrowserKeyboardEnter(u"mine");
  command(BrConfirm);
  EXPECT_EQ(Gui->browser.browserOpen, 0u);
  EXPECT_EQ(access(tree.Name8("mine.Spk").c_str(), F_OK), 0);
}

TEST_F(GuiFrame, TypedTextAndNumbersLandWhereTheKeyboardWasOpenedFor)
{
  auto type = [&](const char16_t *keys) {
    for(const char16_t *k = keys; *k; k++)
    {
      sInput2Event e{sU32(*k), 0, 0, 0};
      Gui->OnInput(&e);
    }
    Gui->FrameSteps();
  };
  // a real keyboard types into a message; ENTER stores it, CANCEL drops what was typed
  Gui->OpenKeyboard(KbMessage, 2, u"", sGUI_TEXTCHARS);
  type(u"hi");
  type(u"\n");
  EXPECT_EQ(Gui->pages.keyboardOpen, 0u);
  EXPECT_EQ(std::u16string(Gui->config.Messages[2].Text), u"hi");
  Gui->OpenKeyboard(KbShortMessage, 0, u"x", sGUI_TEXTCHARS);
  type(u"yz");
  Gui->commandWords[CmdKeyboard] = 1, Gui->FrameSteps();
  EXPECT_EQ(std::u16string(Gui->config.ShortMessages[0]), u"");
  // channel numbers, typed from 1 after a row's CHANNEL, take as many characters as the
  // keyboard holds and are kept to the kind's channels
  struct Channel { sU32 Kind; const char16_t *Typed; sInt Want; };
  Gui->pages.channelPageOpen = 1;
  for(const Channel c : {Channel{1, u"12", 11}, Channel{1, u"9999", 4095}, Channel{2, u"300", 127},
                         Channel{2, u"0", 0}, Channel{2, u"", 0}, Channel{1, u" 12", 11}, Channel{1, u"0x10", 15},
                         Channel{1, u"0x0FFF", 4094}, Channel{1, u"4294967308", 4095}, Channel{2, u"-4294967196", 0}})
  {
    Gui->pages.channelKind = c.Kind;
    sInt *table = c.Kind == 1 ? Gui->config.Dmx : Gui->config.Midi;
    table[4] = 0;
    Gui->touch.PressEdge = 1, Gui->touch.HeldWidget = 94, Gui->commandWords[CmdChannel] = 4;
    Gui->FrameSteps();
    Gui->touch.PressEdge = 0;
    ASSERT_EQ(std::u16string(Gui->keyboard.editText), u"1");
    type(u"\xE009");   // DELETE ALL
    type(c.Typed);
    type(u"\n");
    EXPECT_EQ(table[4], c.Want) << plat::ToUtf8(c.Typed);
  }
  Gui->pages.channelPageOpen = 0;
  // a corner typed in pixels of the 64-pixel display, kept within -1..2; without a
  // display nothing is divided
  struct Corner { sInt Width; const char16_t *Typed; sF32 Want; };
  sF32 &x0 = Gui->config.Scalers[0].Out[0];
  for(const Corner c : {Corner{64, u"16", 0.25f}, Corner{64, u"6400", 2.0f}, Corner{64, u"-640", -1.0f},
                        Corner{0, u"16", 0.5f}})
  {
    x0 = 0.5f;
    ShowDisplays[0].Width = c.Width;
    Gui->OpenKeyboard(KbScalerNumber, 0, u"", 7);
    type(c.Typed);
    type(u"\n");
    EXPECT_FLOAT_EQ(x0, c.Want) << plat::ToUtf8(c.Typed);
  }
  ShowDisplays[0].Width = 64;
  // MUTE blacks out the output and gives the brightness back
  Gui->brightness = 0.7f;
  Gui->commandWords[CmdMute] = 1, Gui->PublishRecords();
  EXPECT_EQ(Gui->mediaState.FadeFactors[0], 0.0f);
  Gui->commandWords[CmdMute] = 0, Gui->PublishRecords();
  EXPECT_FLOAT_EQ(Gui->mediaState.FadeFactors[0], 0.7f);
}

TEST_F(GuiFrame, AnExpiredLogoCountdownAsksForOneLogoAtATime)
{
  GuiMediaState &m = Gui->mediaState;
  GuiMediaSchedule &s = Gui->schedule;
  Gui->config.Logos.Active = 1, Gui->config.Logos.Interval = 0.5f;
  // no logo loaded: the countdown only starts again. Run out, it asks for a logo whenever
  // the IPP shows none, one after the other, and stays run out; the first frame of an
  // eight-bar period begins the flyers' phase
  struct Case { sInt Count, Shown, Expired; sBool Bar; sInt Request, Countdown; sU32 Phase; };
  for(const Case c : {Case{0, 0, 1, 0, 0, 900000, 0}, Case{3, 0, 1, 0, 1, -10, 0}, Case{3, 1, 1, 0, 0, -10, 0},
                      Case{3, 0, 0, 0, 1, -10, 0}, Case{3, 0, 0, 1, 1, -10, 1}})
  {
    m.LogoCount = c.Count, m.LogoShown = c.Shown, m.LogoRequest = 0;
    if(c.Expired) s.timers[1].Countdown = -10;
    s.UpdateLogoFlyer(Gui->config, m, 1, c.Bar);
    EXPECT_EQ(m.LogoRequest, c.Request) << c.Count << " " << c.Shown << " " << c.Bar;
    EXPECT_EQ(s.timers[1].Countdown, c.Countdown) << c.Count << " " << c.Shown << " " << c.Bar;
    EXPECT_EQ(s.flyerPhase, c.Phase) << c.Count << " " << c.Shown << " " << c.Bar;
  }
  // a flyer takes the logo's turn; once it has shown, the phase ends and the logo countdown
  // starts again
  s.UpdateLogoFlyer(Gui->config, m, 1, 0);
  EXPECT_TRUE(m.LogoRequest == 0 && m.MovieRequest == 1);
  m.MovieRequest = 0;
  s.UpdateLogoFlyer(Gui->config, m, 1, 0), s.UpdateLogoFlyer(Gui->config, m, 1, 0);
  EXPECT_EQ(s.flyerPhase, 0u);
  EXPECT_EQ(s.timers[1].Countdown, 900000);
  // the flyers' phase goes on while its flyer shows, and ends once no logo is loaded
  for(const sInt count : {3, 0})
  {
    m.LogoCount = count, m.MovieShown = 1;
    Gui->schedule.flyerPhase = Gui->schedule.prevFlyerPhase = 1;
    Gui->schedule.UpdateLogoFlyer(Gui->config, m, 1, 0);
    EXPECT_EQ(Gui->schedule.flyerPhase, count ? 1u : 0u) << count;
  }
  // an empty flyer folder: the phase begun on the bar keeps its logo, and the logos go on
  // one after the other, the IPP showing each at one code and ending it at the next
  m.LogoCount = 3, m.LogoShown = m.LogoRequest = m.MovieRequest = m.MovieShown = 0;
  s.flyerPhase = s.prevFlyerPhase = 0, s.timers[1].Countdown = -10;
  s.UpdateLogoFlyer(Gui->config, m, 0, 1);
  for(sInt logo = 0; logo < 3; logo++)
  {
    s.UpdateLogoFlyer(Gui->config, m, 0, 0);
    EXPECT_EQ(m.LogoRequest, 1) << logo;
    EXPECT_EQ(s.timers[1].Countdown, -10) << logo;
    m.LogoRequest = 0, m.LogoShown = 1;
    s.UpdateLogoFlyer(Gui->config, m, 0, 0);
    m.LogoShown = 0;
  }
}

// The header's input warning: silence and a weak signal only once the gain is at its top,
// overload only once the gain is at its bottom; no capture device at all at once.
TEST(GuiHeader, AudioWarningFollowsLevelOverloadAndGain)
{
  const struct { sF32 Level, Overload, Gain; sBool Missing; const char *Warning; } cases[] = {
    {0.10f, 0.0f, 1.00f, 0, "No audio signal found!"}, {0.50f, 0.0f, 1.00f, 0, "Audio signal too low!"},
    {0.50f, 0.0f, 0.90f, 0, nullptr},                  {0.90f, 0.0f, 1.00f, 0, nullptr},
    {0.90f, 0.1f, 0.10f, 0, "Audio signal too loud!"}, {0.90f, 0.05f, 0.10f, 0, nullptr},
    {0.90f, 0.1f, 0.50f, 0, nullptr},                  {0.00f, 0.0f, 0.81f, 1, "No audio signal found!"},
  };
  for(const auto &c : cases)
  {
    const sChar *w = AudioWarning(c.Level, c.Overload, c.Gain, c.Missing);
    EXPECT_EQ(w ? plat::ToUtf8(w) : std::string("none"), c.Warning ? c.Warning : "none")
      << c.Level << " " << c.Overload << " " << c.Gain << " " << c.Missing;
  }
  // a machine whose sound input finds no capture device tells the GUI in its first update,
  // long before the gain could reach its top
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", "/nonexistent/sparkvane-in.raw", 1);
  SyncMachine sync(120.0f);
  SceneRequest request{};
  sync.Init(nullptr, 64, 64);
  sync.GuiRecord = &request;
  sync.Update(20);
  EXPECT_EQ(request.InputMissing, 1);
  EXPECT_LT(request.InputGain, 0.99f);
  EXPECT_NE(AudioWarning(request.PeakLevel, request.ClipFraction, request.InputGain, request.InputMissing), nullptr);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}
