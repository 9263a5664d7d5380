// The show's program (scene table, machines, generated data tree) with a scripted hand:
// XTest presses on the GUI's widgets and keys on the X keyboard, a loopback MIDI controller
// and a DMX widget on a pseudo terminal. Each step waits for its effect in the GUI's
// records and prints "ok <step>"; one that does not come prints "FAIL <step>" (code 3).
//   -end exit    ends on the exit dialog's YES (code 0)
//   -end update  only asks for the update page, which a stand-in opener takes, and ends on
//                the exit dialog's YES (code 0)
//   -slideshow   with the pack file as the show is built: only starts the slideshow on its
//                page and ends on the exit dialog once it shows pictures (code 0)
//   -tiles 1,2,0 only picks these scenes on their tiles (the next scene, taken when the
//                current scene's sequence ends), scrolling the list by its slider to tiles
//                off the page, and ends once the last has drawn (code 0)
#include "base/log.hpp"
#include "base/midi.hpp"
#include "base/system.hpp"
#include "base/window.hpp"
#include "common/midi_loopback.hpp"
#include "graphics/graphics.hpp"
#include "graphics/image.hpp"
#include "gui/gui.hpp"
#include "gui/modescene.hpp"
#include "scenes/slideshow.hpp"
#include "scenes/table.hpp"
#include "show/dmx.hpp"
#include "show/dmx_widget.hpp"
#include "show/ipp.hpp"
#include "show/mainapp.hpp"
#include "show/scenehost.hpp"
#include "show/showplugins.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "platform/text/utf.hpp"
#include "platform/window/window.hpp"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

// last: the X headers define words such as Status and None as macros
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace
{
constexpr sInt StepFrames = 600;   // frames a step may wait for its effect

Display *Dpy = nullptr;
plat::MidiLoopbackBackend *Midi = nullptr;   // owned by the MIDI subsystem
dmxwidget::FakeWidget *Dmx = nullptr;
bool UpdateRun = false;
bool SlideshowRun = false;
std::string Opened;   // what the desktop's opener was handed
std::vector<sInt> TileRun;   // the tiles of a tile run, in order; empty for the full run

struct Step
{
  std::string Name;
  std::function<bool()> Run;   // called once per frame until it returns true
  bool Now = false;            // a check: it holds in its first frame or the run fails
};
using Where = std::function<bool(sF32 &, sF32 &)>;

// How bluish a picture is, in blocks of 8 x 8 pixels: the share of the blocks whose blue
// exceeds their red by more than 8 on average, and the mean of red minus blue.
struct BlueShare { sF32 Blocks = 0, MeanRedMinusBlue = 0; };
BlueShare Bluish(const sImage &img)
{
  const sInt bw = img.SizeX / 8, bh = img.SizeY / 8;
  std::vector<sInt> sums(size_t(bw * bh));   // blue minus red of each block
  for(sInt y = 0; y < bh * 8; y++)
    for(sInt x = 0; x < bw * 8; x++)
    {
      sU32 c = img.Data[sDInt(y) * img.SizeX + x];
      sums[(y / 8) * bw + x / 8] += sInt(c & 0xff) - sInt((c >> 16) & 0xff);
    }
  sF64 n = sF64(sums.size()), all = 0, bluish = 0;
  for(sInt sum : sums) bluish += sum > 8 * 64, all -= sum;
  return n ? BlueShare{sF32(bluish / n), sF32(all / (n * 64))} : BlueShare{};
}

// beside the GUI's page dumps
bool Dump(const sImage &img, const char *name)
{
  const char *env = std::getenv("SPARK_GUI_DUMPS");
  std::string dir = env && *env ? env : "/tmp/sparkvane_gui_pages";
  mkdir(dir.c_str(), 0755);
  return img.Save(plat::ToUtf16(dir + "/" + name + ".bmp").c_str());
}

class TouchRunApp : public MainApp
{
public:
  TouchRunApp() : MainApp(sShowSceneTable, SHOW_SCENES)
  {
    // the tree's live recording would drive the control tracks by itself: this run's
    // tracks are driven by its own hands only
    for(sInt i = 0; i < sLIVE_LINES; i++)
      for(sInt w = 0; w < sLIVE_WORDS; w++) Machine->LiveTable[i][w] = 0;
    // the show's own program (sequencer channel 1) moves the show to scenes and colours of
    // its choosing at its bars; here the hand picks the scenes, so that program is held (the
    // scripted show run plays it)
    if(Machine->Sync) Machine->Sync->SetPatternTable(1, nullptr);
    BuildScript();
  }

  void OnPaint3D() override
  {
    MainApp::OnPaint3D();
    if(Failed) return;
    if(Dmx && Dmx->Greeted.load())
    {
      dmxwidget::Bytes data = {0, 0};
      data.insert(data.end(), DmxValues, DmxValues + sizeof(DmxValues));
      Dmx->Send(dmxwidget::Message(sDMX_LABEL_RECEIVED, data));
    }
    if(Next >= Script.size()) return;
    Step &s = Script[Next];
    if(s.Run())
    {
      std::printf("ok %s\n  (frame %d, %u ms)\n", s.Name.c_str(), Frames, sGetTime() - StartTime);
      Next++, Waited = 0, Phase = 0;
    }
    else if(s.Now || ++Waited > StepFrames)
    {
      TouchGui *g = Gui();
      std::printf("FAIL %s (page mask %x, page %u, section %u, dialog %u, scene %d)\n", s.Name.c_str(),
                  g->touch.PageMask, g->pages.pageIndex, g->pages.movieSection, g->dialogs.dialogKind, Machine->Current);
      Failed = true, sSetExitCode(3), sExit();
    }
    std::fflush(stdout);
  }

private:
  std::vector<Step> Script;
  size_t Next = 0;
  sInt Waited = 0;
  sInt Phase = 0;
  bool Failed = false;
  sU32 StartTime = sGetTime();
  sU32 ReleasedAt = 0;
  sU8 DmxValues[48] = {};   // past the 32 channels the start address gives the tracks

  TouchGui *Gui() const { return static_cast<TouchGui *>(MainApp::Gui); }
  IppMachine *Ipp() const { return static_cast<IppMachine *>(Machine->Ipp); }

  // the copy of the screen that the machine keeps before the GUI and colour layers go over
  std::shared_ptr<sImage> OutputPicture() const
  {
    sTexture2D *t = Machine->Targets[0];
    auto img = std::make_shared<sImage>(t->SizeX, t->SizeY);
    sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, t, nullptr));
    const sU8 *data = nullptr;
    sInt pitch = 0, format = 0;
    sBeginReadScreen(data, pitch, format);
    sVERIFY(format == sTEX_ARGB8888 && pitch >= t->SizeX * 4);
    for(sInt y = 0; y < t->SizeY; y++)
      std::memcpy(img->Data + sDInt(y) * t->SizeX, data + sDInt(y) * pitch, size_t(t->SizeX) * 4);
    sEndReadScreen();
    sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(0), sGetScreenDepthBuffer()));
    return img;
  }

  // Moves the pointer to a point of the GUI's plane: where the X server put the window (a
  // full-screen window smaller than the screen is centred on it, whatever SDL says).
  void MoveTo(sF32 x, sF32 y)
  {
    const ShowDisplayRecord &d = GetShowDisplay(0);
    sF32 x0, y0, x1, y1;
    Gui()->MapPointer(0, 0, d.Width, d.Height, x0, y0);
    Gui()->MapPointer(sF32(d.Width), sF32(d.Height), d.Width, d.Height, x1, y1);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_GetWindowWMInfo(SDL_GetWindowFromID(sGetMainWindow()->GetId()), &info);
    XWindowAttributes a = {};
    XGetWindowAttributes(Dpy, info.info.x11.window, &a);
    int wx = 0, wy = 0, ww = a.width > 0 ? a.width : d.Width, wh = a.height > 0 ? a.height : d.Height;
    Window child;
    XTranslateCoordinates(Dpy, info.info.x11.window, DefaultRootWindow(Dpy), 0, 0, &wx, &wy, &child);
    XTestFakeMotionEvent(Dpy, -1, wx + int((x - x0) / (x1 - x0) * sF32(ww) + 0.5f), wy + int((y - y0) / (y1 - y0) * sF32(wh) + 0.5f), 0);
  }

  // Without a window manager the keyboard follows the pointer, so it rests in the middle
  // of the window while the key goes down.
  void Keys(std::initializer_list<KeySym> syms, bool shift = false)
  {
    KeyCode shiftKey = XKeysymToKeycode(Dpy, XK_Shift_L);
    for(KeySym sym : syms)
    {
      MoveTo(0, 0);
      if(shift) XTestFakeKeyEvent(Dpy, shiftKey, True, 0);
      XTestFakeKeyEvent(Dpy, XKeysymToKeycode(Dpy, sym), True, 0);
      XTestFakeKeyEvent(Dpy, XKeysymToKeycode(Dpy, sym), False, 0);
      if(shift) XTestFakeKeyEvent(Dpy, shiftKey, False, 0);
    }
    XFlush(Dpy);
  }

  // The widget of a label on the pages of a mask, and a tile: the press point is the centre
  // moved by (-6, -10), inside the hit rectangle of every kind.
  Where At(sInt label, sU32 mask, sInt value = -1)
  {
    return [this, label, mask, value](sF32 &x, sF32 &y) {
      for(sInt i = 0; i < Gui()->pages.widgetCount; i++)
        if(const GuiWidget &w = Gui()->pages.widgets[i]; w.LabelId == label && (w.PageMask & mask) && (value < 0 || w.Value == sU32(value)))
          return x = w.Position[0] - 6, y = w.Position[1] - 10, true;
      return false;
    };
  }
  Where Tile(sInt index)
  {
    return [this, index](sF32 &x, sF32 &y) {
      const GuiTile &t = Gui()->pages.tiles[index];
      return x = t.Position[0] + t.Offset[0] - 6, y = t.Position[1] - 10, t.PageMask != 0;
    };
  }
  // the middle of a tile's upper right corner, which names its scene the next one
  Where TileNext(sInt index)
  {
    return [this, index](sF32 &x, sF32 &y) {
      const GuiTile &t = Gui()->pages.tiles[index];
      return x = t.Position[0] + t.Offset[0] + 74, y = t.Position[1] + 12, t.PageMask != 0;
    };
  }
  // A scene picked on its tile: its upper right corner makes it the next scene, which the
  // show takes when the current scene's sequence ends; that end is brought forward here, as
  // the SYNC machine's sequencer gives it.
  void PickScene(sInt k, std::function<bool()> also = [] { return true; })
  {
    SceneMachine *m = Machine;
    std::string scene = "scene " + std::to_string(k);
    Press("next " + scene + " on its tile", TileNext(k), [this, k] { return Gui()->sceneRequest.NextNumber == k; });
    Do(scene + "'s turn", [m] { m->Sync->PendingKey = m->Sync->NextSceneKey(); });
    auto at = std::make_shared<sInt>(-1);
    Wait(scene + " current", [this, m, k, at, also] {
      if(m->Current == k && *at < 0) *at = Frames;
      return m->Current == k && also();
    });
    Wait(scene + " drawn", [this, m, k, at] { return m->Current == k && Frames > *at; });
  }

  // A touch: the button goes down at the place once the keys react (no overlay layer up,
  // or the dialog's for its keys; 201 ms after the last release), up once the GUI holds
  // it and hold() holds; the step ends when the GUI sees it up and done() holds.
  void Touch(const std::string &name, Where where, std::function<bool()> done, bool dialog = false,
             std::function<bool()> hold = [] { return true; }, std::function<bool()> skip = [] { return false; })
  {
    Script.push_back({name, [=, this]() {
      TouchGui *g = Gui();
      const bool ok = Phase > 0 && done();
      sU32 overlay = g->touch.PageMask & sGUI_DIALOGLAYERS;
      sF32 x, y;
      switch(Phase)
      {
      case 0:
        if(skip()) return true;
        if((dialog ? !(overlay & sGUI_PAGE_DIALOG) : overlay != 0) || g->touch.Clock < ReleasedAt + 250 || !where(x, y))
          return false;
        std::printf("press %s: plane (%.1f, %.1f)\n", name.c_str(), x, y);
        MoveTo(x, y);
        XTestFakeButtonEvent(Dpy, 1, True, 0);
        break;
      case 1:
        if(!g->touch.ButtonDown || !hold()) return false;
        XTestFakeButtonEvent(Dpy, 1, False, 0);
        break;
      default:   // 2: released, 3: seen up
        if(Phase == 2 && g->touch.ButtonDown) return false;
        if(Phase == 2) ReleasedAt = g->touch.Clock, Phase = 3;
        return ok;
      }
      XFlush(Dpy);
      Phase++;
      return false;
    }});
  }
  // a press on a widget whose effect, once seen (it may last one frame), counts
  void Press(const std::string &name, Where where, std::function<bool()> effect, bool dialog = false)
  {
    auto seen = std::make_shared<bool>(false);
    Touch(name, where, [=] { return *seen = *seen || effect(); }, dialog);
  }
  void Wait(const std::string &name, std::function<bool()> cond, bool now = false) { Script.push_back({name, cond, now}); }
  void Do(const std::string &name, std::function<void()> action) { Wait(name, [action] { return action(), true; }); }

  // As an operator reaches a tile off the page: a press on the tile slider's track where
  // its value centres the tile, held until the knob rests there.
  void ScrollTo(sInt k)
  {
    auto inside = [this, k] {
      const GuiTile &t = Gui()->pages.tiles[k];
      return t.PageMask && std::fabs(t.Position[0] + t.Offset[0] - 6) < 520;
    };
    Touch("scroll to tile " + std::to_string(k),
          [this, k](sF32 &x, sF32 &y) {
            TouchGui *g = Gui();
            const GuiSlider &s = g->pages.sliders[0];
            // the list moves by (span x value - span / 2) x 500 units
            sF32 span = sF32(g->pages.ShownTileCount() - 4) * 0.35f * 500.0f;
            sF32 want = std::clamp(span > 0 ? 0.5f - g->pages.tiles[k].Position[0] / span : 0.5f, 0.0f, 1.0f);
            x = s.Position[0] + (2 * want - 1) * s.Travel() + 10, y = s.Position[1] - 10;
            return true;
          },
          [=, this] { return inside() && std::fabs(Gui()->pages.sliders[0].Velocity) < 0.5f; }, false,
          [=, this] { return Gui()->touch.HeldWidget == sInt(Gui()->pages.sliders[0].Id) && inside() && std::fabs(Gui()->pages.sliders[0].Velocity) <= 0.5f; },
          inside);
  }

  // AUTO FX program 11 (the eleventh, number 10) switches the strobe on at steps 4 and 12
  // of every bar and off at steps 2 and 10: the IPP sees it change on those steps only,
  // and switching the program off gives the IPP and the pages the settings of before.
  void AutoFxSteps()
  {
    TouchGui *g = Gui();
    struct Before
    {
      GuiConfig Config;
      GuiMediaState Media;
    };
    auto before = std::make_shared<Before>();
    Press("AUTO FX page", At(14, 0x1), [g] { return g->pages.pageIndex == 0 && g->pages.movieSection == 0; });
    Do("settings before the program", [this, g, before] { before->Config = g->config, before->Media = *Ipp()->Gui; });
    Press("program 11", At(150, 0x2), [g] { return g->autoFxActive && g->modeScene->mode == 10; });
    struct Watch { sInt Step = -1, On = -1, Rises = 0, Falls = 0; std::string Bad; };
    auto watch = std::make_shared<Watch>();
    Wait("the strobe follows the program's steps", [this, watch] {
      sInt step = Gui()->SyncSource->CurrentStep, on = Ipp()->Gui->DimPulseOn;
      if(watch->Step >= 0 && on != watch->On)
      {
        // the steps crossed since the last frame must name the key that made the change
        bool named = false;
        for(sInt s = (watch->Step + 1) % 16, n = 0; n < 16 && watch->Step != step; s = (s + 1) % 16, n++)
        {
          named |= on ? (s == 4 || s == 12) : (s == 2 || s == 10);
          if(s == step) break;
        }
        if(!named) watch->Bad += "strobe " + std::to_string(on) + " after step " + std::to_string(watch->Step) + " to " + std::to_string(step) + "; ";
        (on ? watch->Rises : watch->Falls)++;
      }
      watch->Step = step, watch->On = on;
      return watch->Rises >= 3 && watch->Falls >= 3;
    });
    Wait("no change off the program's steps", [watch] { return watch->Bad.empty() || (std::printf("%s\n", watch->Bad.c_str()), false); }, true);
    Press("AUTO FX ACTIVE off", At(60, 0x2), [g] { return !g->autoFxActive; });
    Wait("the settings of before are back", [this, g, before] {
      const GuiConfig &c = g->config, &b = before->Config;
      const GuiMediaState &m = *Ipp()->Gui, &o = before->Media;
      bool effects = true;
      for(sInt e : {0, 2, 3, 4})
        effects &= std::memcmp(&c.Effects[e], &b.Effects[e], sizeof(GuiEffectSetting)) == 0;
      for(sInt d = 0; d < sGUI_DISTORTIONS; d++)
        effects &= std::memcmp(&c.Distortions[d], &b.Distortions[d], sizeof(GuiDistortionSetting)) == 0;
      return effects && c.Movie.Power == b.Movie.Power && c.Movie.Interval == b.Movie.Interval &&
             c.Movie.Active == b.Movie.Active && c.Movie.Style == b.Movie.Style && m.DimPulseOn == o.DimPulseOn &&
             m.RingOn == o.RingOn && m.TunnelOn == o.TunnelOn && m.MotionOn == o.MotionOn && m.Ch3On == o.Ch3On &&
             m.FadeFactors[1] == o.FadeFactors[1] && m.StrobeAmount == o.StrobeAmount;
    });
  }

  void BuildScript()
  {
    TouchGui *g = Gui();
    SceneMachine *m = Machine;
    GuiMediaState &media = g->mediaState;
    auto yes = [this] {
      Do("script done", [] {});
      Press("YES", At(113, sGUI_PAGE_DIALOG), [] { return false; }, true);
    };
    // the GUI comes up on its key once the media of the start configuration are loaded
    Wait("first frames", [m] { return m->Started; });
    Do("type the show key", [this] { Keys({XK_period}); });
    Wait("GUI shown", [g] { return g->pages.visible == 1; });
    Wait("media loaded", [g] { return g->touch.PageMask && !(g->touch.PageMask & sGUI_DIALOGLAYERS); });
    // the desk's first frame moves every track it drives, and each brings its page forward
    Wait("DMX widget greeted", [m] { return m->DmxCount > 0; });
    // the show's own scene changes go to the Abstract scene only: under the software
    // renderer some scenes take minutes for a frame at times, and no step waits on them
    Do("automatic scene changes to the Abstract scene", [g] { for(sInt i = 0; i < sGUI_STYLEFLAGS; i++) g->config.StyleFlags[0][i] = g->config.StyleFlags[1][i] = i == 5; });
    Press("AUTO FX page", At(14, 0x1), [g] { return g->pages.pageIndex == 0 && g->pages.movieSection == 0; });
    if(SlideshowRun)
    {
      // the start configuration names the tree's own pictures
      Press("SLIDESHOW page", At(15, 0x1), [g] { return g->pages.pageIndex == 1 && g->folders.slideshowPictures > 0; });
      Press("slideshow START", At(61, 0x4), [m] { return m->Current == 14; });
      Wait("the slideshow shows pictures", [this, m] {
        const SlideshowScene *s = static_cast<const SlideshowScene *>(m->Scenes[14]);
        // the show's program may move on before the second picture: the slideshow is taken back
        if(m->Current != 14) return m->SwitchScene(14), false;
        return s->PictureCount > 0 && s->ShownIndex >= 2 && Dump(*OutputPicture(), "touch_slideshow");
      });
      Press("exit key", At(80, sGUI_ALLPAGES), [g] { return g->dialogs.dialogKind == 2; });
      return yes();
    }
    if(UpdateRun)
    {
      Press("CONFIGS page", At(23, 0x1), [g] { return g->pages.pageIndex == 9; });
      Press("UPDATE", At(91, 0x400), [] { return !Opened.empty(); });
      Wait("the opener has the update page of this version", [] { return Opened == "https://www.sparkvane.com/update.php?version=1.25"; }, true);
      Press("exit key", At(80, sGUI_ALLPAGES), [g] { return g->dialogs.dialogKind == 2; });
      return yes();
    }
    Press("style TECHNO", At(5, 0x1), [g] { return g->style == 1 && g->laidStyle == 1; });
    for(sInt k : TileRun)   // each scene current and drawn after a press on its tile
    {
      // a pick of the current scene would switch nothing that could be seen
      Wait("scene " + std::to_string(k) + " is not current yet", [m, k] { return m->Current != k; }, true);
      ScrollTo(k);
      PickScene(k);
    }
    if(!TileRun.empty()) return Do("script done", [] { sExit(); });
    // a press on a tile's main area selects it and allows its scene, switching nothing
    Press("tile of scene 5", Tile(5), [g] { return g->sceneSelect == 5 && g->config.StyleFlags[1][5]; });
    PickScene(5, [m] { return sCmpStringEqual(m->SceneNames[5], u"Abstract"); });
    Press("MOVIES list", At(12, 0x1), [g] { return g->pages.movieSection == 8 && g->folders.listCount > 0; });
    // the list is centred: its middle tile is on the screen however many movies there are
    auto middle = std::make_shared<sInt>(0);
    Do("pick the middle movie", [g, middle] { *middle = (g->folders.listCount - 1) / 2; });
    Press("middle movie tile", [this, middle](sF32 &x, sF32 &y) { return Tile(*middle)(x, y); },
          [g, &media, middle] { return g->selectedMovie == sU32(*middle) && media.ClipNumber == *middle; });
    Wait("layer movie plays", [this, &media] { return media.ClipShown && Ipp()->Clip.Running && Ipp()->Clip.Frame; });
    // the list is wider than the page: the last of its movies is reached by scrolling
    Wait("11 movies listed", [g] { return g->folders.listCount == 11 && g->pages.ShownTileCount() == 11; }, true);
    ScrollTo(10);
    Press("last movie tile", Tile(10), [g, &media] { return g->selectedMovie == 10 && media.ClipNumber == 10; });
    AutoFxSteps();
    Press("EFFECTS page", At(18, 0x1), [g] { return g->pages.pageIndex == 4; });
    // choosing the colour correction leaves its settings as they were
    auto settings = std::make_shared<GuiEffectSetting>();
    Do("colour correction settings", [g, settings] { *settings = g->config.Effects[1]; });
    Press("COLOR COR.", At(73, 0x20), [g] { return g->selectedEffect == 1; });
    // the wash lays the picture, its hue made reddish, over it at half strength: no 8 x 8
    // block (the wash filters, so an edge takes a little of its neighbour's colour) stays
    // bluer than red. Scene 5 entered by the TECHNO style's transition takes its first colour
    // set, a bluish one; the picture compared is one where it has faded in.
    auto before = std::make_shared<std::shared_ptr<sImage>>();
    Do("scene 5 by the TECHNO style's transition", [m] { m->PendingTransition = 1, m->SwitchScene(5); });
    Wait("output picture bluer than red in places", [this, before] { return Bluish(*(*before = OutputPicture())).Blocks > 0.2f; });
    Press("effect ACTIVE", At(60, 0x20), [&media] { return media.HueWashOn == 1; });
    Wait("colour correction washes the output toward red", [this, g, before, settings] {
      std::shared_ptr<sImage> after = OutputPicture();
      bool dumped = Dump(**before, "touch_colour_correction_off") && Dump(*after, "touch_colour_correction_on");
      BlueShare was = Bluish(**before), is = Bluish(*after);
      std::printf("  blocks bluer than red: %.3f before, %.3f after; mean red - blue %.1f before, %.1f after\n",
                  was.Blocks, is.Blocks, was.MeanRedMinusBlue, is.MeanRedMinusBlue);
      const GuiEffectSetting &e = g->config.Effects[1];
      return dumped && e.Transparency == settings->Transparency && e.Power == settings->Power &&
             e.Transparency >= 0.5f && !e.Alpha && is.Blocks < 0.02f && is.MeanRedMinusBlue > was.MeanRedMinusBlue;
    });
    Press("CONFIGS page", At(23, 0x1), [g] { return g->pages.pageIndex == 9; });
    Press("MIDI CFG", At(89, 0x400), [g] { return g->pages.channelPageOpen && g->pages.channelKind == 2; });
    Press("LEARN brightness (MIDI)", At(93, 0x8000, 1), [g] { return g->learnRow == 1; });
    Do("turn controller 100", [] { Midi->Feed(0, 0xB0 | (100 << 8) | (100 << 16)); });
    Wait("controller 100 learned", [g] { return g->config.Midi[1] == 100 && g->learnRow < 0; });
    Press("CONFIRM (MIDI)", At(96, 0x8000), [g] { return !g->pages.channelPageOpen; });
    Do("controller 100 at half", [] { Midi->Feed(0, 0xB0 | (100 << 8) | (64 << 16)); });
    Wait("brightness follows controller 100", [&media] { return std::fabs(media.FadeFactors[0] - 64.0f / 127) < 0.01f; });
    Press("DMX CFG", At(88, 0x400), [g] { return g->pages.channelPageOpen && g->pages.channelKind == 1; });
    Press("LEARN strobe transparency (DMX)", At(93, 0x8000, 2), [g] { return g->learnRow == 2; });
    Do("raise DMX channel 41", [this] { DmxValues[40] = 255; });
    Wait("DMX channel 41 learned", [g] { return g->config.Dmx[2] == 40 && g->learnRow < 0; });
    Press("CONFIRM (DMX)", At(96, 0x8000), [g] { return !g->pages.channelPageOpen; });
    Do("DMX channel 41 at half", [this] { DmxValues[40] = 128; });
    Wait("strobe follows DMX channel 41", [g, &media] { return std::fabs(media.DimPulseAmount - 128.0f / 255) < 0.01f && g->config.Effects[0].Active; });
    // with their kinds
    Wait("live recording holds both controls", [m] {
      bool midi = false, dmx = false;
      for(sInt i = 0; i < sLIVE_LINES; i++)
        midi |= m->LiveTable[i][1] >= 1500 && m->LiveTable[i][1] < 2000,
        dmx |= m->LiveTable[i][2] >= 2500 && m->LiveTable[i][2] < 3000;
      return midi && dmx;
    });
    // the recording is saved on its key ('+', shifted on this keyboard), over the run's own tree
    Do("type the live recording's key", [this] { Keys({XK_plus}, true); });
    Wait("the live recording's file holds both controls", [] {
      FILE *f = std::fopen("LiveRecordingData.txt", "r");
      bool midi = false, dmx = false;
      for(unsigned w[3]; f && std::fscanf(f, "live: %u,%u,%u,%*[^\n]\n", &w[0], &w[1], &w[2]) == 3;)
        midi |= w[1] >= 1500 && w[1] < 2000, dmx |= w[2] >= 2500 && w[2] < 3000;
      if(f) std::fclose(f);
      return midi && dmx;
    });
    // the video-in section edits the video input's settings, and its START asks the IPP for it
    Press("VIDEO-IN list", At(13, 0x1), [g] { return g->pages.movieSection == 9; });
    Press("video-in TOP MIX", At(68, 0x800), [g, &media] { return g->config.VideoStyle == 2 && media.VideoStyle == 2 && g->config.Movie.Style != 2; });
    Press("video-in START", At(61, 0x800), [g, &media] { return g->schedule.timers[4].Running && media.VideoInRequest; });
    Wait("the IPP took the video-in request", [&media] { return !media.VideoInRequest && media.VideoShown; });
    Press("video-in ACTIVE", At(60, 0x800), [g] { return g->config.VideoActive == 1; });
    Do("save the configuration", [g] { g->SaveConfig(); });
    Wait("the configuration file holds the video-in settings", [g] {
      GuiConfig c;
      sChar *text = ReadConfigText(g->configs.configNames[g->configs.configSaveSlot]);
      bool ok = text && ParseConfigText(text, c).Loaded && c.VideoStyle == 2 && c.VideoActive == 1;
      if(text) sMemFree(text);
      return ok;
    }, true);
    Press("MESSAGES page", At(19, 0x1), [g] { return g->pages.pageIndex == 5 && g->pages.movieSection == 0; });
    Press("message 2", At(141, 0x40), [g] { return g->commandWords[CmdMessage] == 1; });
    Press("TEXT", At(81, 0x40), [g] { return g->pages.keyboardOpen && g->keyboard.keyboardPurpose == KbMessage; });
    Do("type a text", [this] { Keys({XK_h, XK_e, XK_l, XK_l, XK_o, XK_Return}); });
    Wait("message 2 holds the text", [g] { return !g->pages.keyboardOpen && sCmpStringEqual(g->config.Messages[1].Text, u"hello"); });
    // last: when it ends, the show moves on to a scene of the style, some of them slow
    Press("SLIDESHOW page", At(15, 0x1), [g] { return g->pages.pageIndex == 1 && g->pages.movieSection == 0; });
    Press("slideshow START", At(61, 0x4), [g, m] { return m->Current == 14 && g->slideshow.pictureCount > 0 && g->slideshow.path[0]; });
    Press("exit key", At(80, sGUI_ALLPAGES), [g] { return g->dialogs.dialogKind == 2; });
    yes();
  }
};

void sMain()
{
  const sChar *end = sShellParam(u"end");
  UpdateRun = end && sCmpStringEqual(end, u"update");
  SlideshowRun = sShellParam(u"slideshow") != nullptr;
  for(const sChar *tiles = sShellParam(u"tiles"); tiles && *tiles;)
  {
    sInt k = -1;
    if(!sScanInt(tiles, k)) break;
    TileRun.push_back(k);
    if(*tiles == ',') tiles++;
  }
  sInstallGraphicsFrames();
  InstallIppMachine();
  FindDataRoot();
  InstallShowPlugins();
  // a small window keeps the software renderer's frames short (smaller for a tile run, which
  // draws every scene); with the pack file closed the media sections list their folders
  sStartupRecord.ScreenWidth = TileRun.empty() ? 640 : 320;
  sStartupRecord.ScreenHeight = TileRun.empty() ? 360 : 180;
  if(!SlideshowRun) sStartupRecord.UsePackfile = 0;
  sStartupRecord.MusicOn = 0;
  sSetMidiBackendFactory([]() -> std::unique_ptr<plat::MidiBackend> {
    auto backend = std::make_unique<plat::MidiLoopbackBackend>();
    backend->AddInput(u"touch run controller");
    return std::unique_ptr<plat::MidiBackend>(Midi = backend.release());
  });
  plat::SetDocumentOpener([](const std::u16string &doc, std::u16string &) {
    Opened = plat::ToUtf8(doc.c_str());
    std::printf("opened %s\n", Opened.c_str());
    return true;
  });
  sSetDmxWidgetLister([] { return std::vector<std::string>{Dmx->Path}; });
  if(!CheckStartupSelector(&sStartupRecord)) return;
  sSetApplication(sNEW TouchRunApp);
}
}

int main(int argc, char **argv)
{
  if(!(Dpy = XOpenDisplay(nullptr))) return std::printf("no X display\n"), 2;
  dmxwidget::FakeWidget dmx;
  Dmx = &dmx;
  int code = sRunFramework(argc, argv, sMain);
  XCloseDisplay(Dpy);
  return code;
}
