// The show's program with a hand on its touch screen: the application of the real program
// (the scene table, the machines, the generated data tree), whose frames are watched by a
// script that moves the X server's pointer onto the GUI's widgets, presses and releases
// it through the test extension, types on the X keyboard, turns a MIDI controller of a
// loopback MIDI system and sends DMX frames as a USB widget over a pseudo terminal. Each
// step waits for its effect in the GUI's records and prints "ok <step>"; a step that does
// not come prints "FAIL <step>" and ends the run with code 3.
//   -end exit    the script ends on the exit dialog's YES (the program returns 0)
//   -end update  it only asks for the update and answers YES (the program returns 1)
//   -tiles 1,2,0 it only picks the scenes of these tiles in this order, each by a press on
//                its tile, scrolling the tile list by its slider when the tile is off the
//                page, and ends once the last is current (the program returns 0)
// The colour correction is also looked at: the show's output picture (the copy of the
// screen that the machine keeps each frame) is read back before and after the effect is
// switched on and dumped with the GUI's pages ($SPARK_GUI_DUMPS, else /tmp/sparkvane_gui_pages).
#include "base/log.hpp"
#include "base/midi.hpp"
#include "base/system.hpp"
#include "base/window.hpp"
#include "common/midi_loopback.hpp"
#include "graphics/graphics.hpp"
#include "graphics/image.hpp"
#include "gui/gui.hpp"
#include "scenes/table.hpp"
#include "show/dmx.hpp"
#include "show/dmx_widget.hpp"
#include "show/ipp.hpp"
#include "show/mainapp.hpp"
#include "show/scenehost.hpp"
#include "show/showplugins.hpp"
#include "show/startup.hpp"
#include "platform/text/utf.hpp"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

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
std::vector<sInt> TileRun;   // the tiles of a tile run, in order; empty for the full run

std::unique_ptr<plat::MidiBackend> MakeMidi()
{
  auto backend = std::make_unique<plat::MidiLoopbackBackend>();
  backend->AddInput(u"touch run controller");
  Midi = backend.get();
  return backend;
}

std::vector<std::string> ListDmx() { return {Dmx->Path}; }

struct Step
{
  std::string Name;
  std::function<bool()> Run;   // called once per frame until it returns true
  bool Now = false;            // a check: it holds in its first frame or the run fails
};

// How bluish a picture is: the share of its 8 x 8 blocks whose blue exceeds their red by
// more than 8 on average, and the mean of red minus blue over all its pixels.
struct BlueShare
{
  sF32 Blocks = 0, MeanRedMinusBlue = 0;
};
BlueShare Bluish(const sImage &img)
{
  BlueShare s;
  sInt blocks = 0, bluish = 0;
  sF64 all = 0;
  for(sInt by = 0; by + 8 <= img.SizeY; by += 8)
    for(sInt bx = 0; bx + 8 <= img.SizeX; bx += 8)
    {
      sInt sum = 0;
      for(sInt y = by; y < by + 8; y++)
        for(sInt x = bx; x < bx + 8; x++)
        {
          sU32 c = img.Data[sDInt(y) * img.SizeX + x];
          sum += sInt(c & 0xff) - sInt((c >> 16) & 0xff);
        }
      blocks++;
      bluish += sum > 8 * 64;
      all -= sum;
    }
  s.Blocks = blocks ? sF32(bluish) / sF32(blocks) : 0;
  s.MeanRedMinusBlue = blocks ? sF32(all / (blocks * 64.0)) : 0;
  return s;
}

// Where the pictures of the run go: beside the GUI's page dumps.
std::string DumpFolder()
{
  const char *env = std::getenv("SPARK_GUI_DUMPS");
  std::string dir = env && *env ? env : "/tmp/sparkvane_gui_pages";
  mkdir(dir.c_str(), 0755);
  return dir;
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
    BuildScript();
  }

  void OnPaint3D() override
  {
    MainApp::OnPaint3D();
    if(Failed) return;
    if(Dmx && Dmx->Greeted.load()) SendDmx();
    if(Next >= Script.size()) return;
    const bool now = Script[Next].Now;
    if(Script[Next].Run())
    {
      std::printf("ok %s\n  (frame %d, %u ms)\n", Script[Next].Name.c_str(), Frames, sGetTime() - StartTime);
      std::fflush(stdout);
      Next++;
      Waited = 0;
      Phase = 0;
    }
    else if(now || ++Waited > StepFrames)
    {
      TouchGui *g = Gui();
      std::printf("FAIL %s (page mask %x, page %u, section %u, dialog %u, scene %d)\n", Script[Next].Name.c_str(),
                  g->touch.PageMask, g->pageIndex, g->movieSection, g->dialogKind, Machine->Current);
      std::fflush(stdout);
      Failed = true;
      sSetExitCode(3);
      sExit();
    }
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

  // The show's output picture of this frame: the copy of the screen that the machine
  // keeps before the GUI and the colour layers are drawn over it.
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
  static bool Dump(const sImage &img, const char *name)
  {
    return img.Save(plat::ToUtf16(DumpFolder() + "/" + name + ".bmp").c_str());
  }
  IppMachine *Ipp() const { return static_cast<IppMachine *>(Machine->Ipp); }

  // the X position of a point of the GUI's plane in the window
  void ToScreen(sF32 x, sF32 y, int &sx, int &sy) const
  {
    const ShowDisplayRecord &d = GetShowDisplay(0);
    sF32 x0, y0, x1, y1;
    Gui()->MapPointer(0, 0, d.Width, d.Height, x0, y0);
    Gui()->MapPointer(sF32(d.Width), sF32(d.Height), d.Width, d.Height, x1, y1);
    // where the X server put the window (a full-screen window smaller than the screen is
    // centred on it, whatever SDL says)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_GetWindowWMInfo(SDL_GetWindowFromID(sGetMainWindow()->GetId()), &info);
    XWindowAttributes a = {};
    XGetWindowAttributes(Dpy, info.info.x11.window, &a);
    int wx = 0, wy = 0, ww = a.width > 0 ? a.width : d.Width, wh = a.height > 0 ? a.height : d.Height;
    Window child;
    XTranslateCoordinates(Dpy, info.info.x11.window, DefaultRootWindow(Dpy), 0, 0, &wx, &wy, &child);
    sx = wx + int((x - x0) / (x1 - x0) * sF32(ww) + 0.5f);
    sy = wy + int((y - y0) / (y1 - y0) * sF32(wh) + 0.5f);
  }

  void SendDmx()
  {
    dmxwidget::Bytes data = {0, 0};
    data.insert(data.end(), DmxValues, DmxValues + sizeof(DmxValues));
    Dmx->Send(dmxwidget::Message(sDMX_LABEL_RECEIVED, data));
  }

  // Types one key into the show's window: without a window manager the keyboard follows
  // the pointer, which rests in the middle of the window while the key goes down.
  void Key(KeySym sym)
  {
    int sx, sy;
    ToScreen(0, 0, sx, sy);
    XTestFakeMotionEvent(Dpy, -1, sx, sy, 0);
    KeyCode code = XKeysymToKeycode(Dpy, sym);
    XTestFakeKeyEvent(Dpy, code, True, 0);
    XTestFakeKeyEvent(Dpy, code, False, 0);
    XFlush(Dpy);
  }

  // The widget of a label on the pages of a mask: its press point, the centre moved by
  // (-6, -10), inside the hit rectangle of every kind.
  std::function<bool(sF32 &, sF32 &)> At(sInt label, sU32 mask, sInt value = -1)
  {
    return [this, label, mask, value](sF32 &x, sF32 &y) {
      TouchGui *g = Gui();
      for(sInt i = 0; i < g->widgetCount; i++)
      {
        const GuiWidget &w = g->widgets[i];
        if(w.LabelId != label || !(w.PageMask & mask) || (value >= 0 && w.Value != sU32(value))) continue;
        x = w.Position[0] - 6, y = w.Position[1] - 10;
        return true;
      }
      return false;
    };
  }
  std::function<bool(sF32 &, sF32 &)> Tile(sInt index)
  {
    return [this, index](sF32 &x, sF32 &y) {
      const GuiTile &t = Gui()->tiles[index];
      if(!t.PageMask) return false;
      x = t.Position[0] + t.Offset[0] - 6, y = t.Position[1] - 10;
      return true;
    };
  }

  // Moves the pointer to the widget, presses, waits until the GUI holds the button, lets
  // go, waits until it is up, then waits for the effect (also looked for from the press
  // on, so an effect that lasts one frame is seen).
  void Press(const std::string &name, std::function<bool(sF32 &, sF32 &)> where, std::function<bool()> effect,
             bool dialog = false)
  {
    auto seen = std::make_shared<bool>(false);
    Script.push_back({name, [=, this]() {
      TouchGui *g = Gui();
      if(Phase > 0 && effect()) *seen = true;
      switch(Phase)
      {
      case 0:
      {
        // the keys react while no overlay layer is up, and 201 ms after their last press
        sU32 overlay = g->touch.PageMask & sGUI_DIALOGLAYERS;
        if((dialog ? !(overlay & sGUI_PAGE_DIALOG) : overlay != 0) || g->touch.Clock < ReleasedAt + 250) return false;
        sF32 x, y;
        if(!where(x, y)) return false;
        int sx, sy;
        ToScreen(x, y, sx, sy);
        XTestFakeMotionEvent(Dpy, -1, sx, sy, 0);
        XTestFakeButtonEvent(Dpy, 1, True, 0);
        XFlush(Dpy);
        std::printf("press %s: plane (%.1f, %.1f), screen (%d, %d)\n", name.c_str(), x, y, sx, sy);
        Phase = 1;
        return false;
      }
      case 1:
        if(!g->touch.ButtonDown) return false;
        return Release();
      case 2:
        if(!Released(g)) return false;
        return *seen;
      default:
        return *seen;
      }
    }});
  }
  // the second half of a press: the button goes up, then the GUI sees it up
  bool Release()
  {
    XTestFakeButtonEvent(Dpy, 1, False, 0);
    XFlush(Dpy);
    Phase = 2;
    return false;
  }
  bool Released(TouchGui *g)
  {
    if(g->touch.ButtonDown) return false;
    ReleasedAt = g->touch.Clock;
    Phase = 3;
    return true;
  }
  void Wait(const std::string &name, std::function<bool()> cond) { Script.push_back({name, cond}); }
  void Check(const std::string &name, std::function<bool()> cond) { Script.push_back({name, cond, true}); }

  // Scrolls the scene tiles by the slider under them until tile k is well inside the page,
  // as an operator reaches the tiles off it: a press on the slider's track at the place
  // whose value centres the tile, held until the knob rests there. Nothing when the tile
  // is on the page already.
  void ScrollTo(sInt k)
  {
    Script.push_back({"scroll to tile " + std::to_string(k), [this, k]() {
      TouchGui *g = Gui();
      GuiSlider &s = g->sliders[0];
      const GuiTile &t = g->tiles[k];
      bool inside = t.PageMask && std::fabs(t.Position[0] + t.Offset[0] - 6) < 520;
      switch(Phase)
      {
      case 0:
      {
        if(inside) return true;
        if((g->touch.PageMask & sGUI_DIALOGLAYERS) || g->touch.Clock < ReleasedAt + 250) return false;
        // the list moves by (span x value - span / 2) x 500 units
        sF32 span = sF32(g->sceneTileCount - 4) * 0.35f * 500.0f;
        sF32 want = span > 0 ? t.Position[0] / span + 0.5f : 0.5f;
        want = want < 0 ? 0 : (want > 1 ? 1 : want);
        sF32 x = s.Position[0] + (2 * want - 1) * s.Travel() + 10, y = s.Position[1] - 10;
        int sx, sy;
        ToScreen(x, y, sx, sy);
        XTestFakeMotionEvent(Dpy, -1, sx, sy, 0);
        XTestFakeButtonEvent(Dpy, 1, True, 0);
        XFlush(Dpy);
        std::printf("press tile slider at %.2f: plane (%.1f, %.1f), screen (%d, %d)\n", want, x, y, sx, sy);
        Phase = 1;
        return false;
      }
      case 1:
        if(!g->touch.ButtonDown || g->touch.HeldWidget != sInt(s.Id) || !inside || std::fabs(s.Velocity) > 0.5f)
          return false;
        return Release();
      case 2:
        Released(g);
        return false;
      default:
        return inside && std::fabs(s.Velocity) < 0.5f;
      }
    }});
  }

  // A tile run: each scene picked on its own tile, waited for until it is current and
  // has drawn a frame.
  void BuildTileScript()
  {
    TouchGui *g = Gui();
    SceneMachine *m = Machine;
    Press("style AMBIENT", At(4, 0x1), [g] { return g->style == 0 && g->laidStyle == 0; });
    for(sInt k : TileRun)
    {
      std::string scene = "scene " + std::to_string(k);
      // a press on the current scene's tile would switch nothing that could be seen
      Check(scene + " is not current yet", [m, k] { return m->Current != k; });
      ScrollTo(k);
      auto at = std::make_shared<sInt>(-1);
      Press("tile of " + scene, Tile(k), [this, m, k, at] {
        if(m->Current != k) return false;
        if(*at < 0) *at = Frames;
        return true;
      });
      Wait(scene + " drawn", [this, m, k, at] { return m->Current == k && Frames > *at; });
    }
    Do("script done", [] { sExit(); });
  }
  void Do(const std::string &name, std::function<void()> action)
  {
    Script.push_back({name, [action]() { return action(), true; }});
  }

  void BuildScript()
  {
    TouchGui *g = Gui();
    SceneMachine *m = Machine;
    GuiMediaState &media = g->mediaState;
    // the GUI comes up on its key; the media of the start configuration are loaded
    Wait("first frames", [m] { return m->Started; });
    Do("type the show key", [this] { Key(XK_period); });
    Wait("GUI shown", [g] { return g->visible == 1; });
    Wait("media loaded", [g] { return g->touch.PageMask && !(g->touch.PageMask & sGUI_DIALOGLAYERS); });
    // the desk's first frame moves every track it drives, and each brings its page forward
    Wait("DMX widget greeted", [m] { return m->DmxCount > 0; });
    // the show's own scene changes (at the end of a scene's sequence) go to the Abstract
    // scene only: under the software renderer some scenes take minutes for a frame at
    // times, and no step waits on them
    Do("automatic scene changes to the Abstract scene", [g] {
      for(sInt i = 0; i < sGUI_STYLEFLAGS; i++) g->config.StyleFlags[0][i] = i == 5;
    });
    Press("AUTO FX page", At(14, 0x1), [g] { return g->pageIndex == 0 && g->movieSection == 0; });
    if(UpdateRun)
    {
      Press("CONFIGS page", At(23, 0x1), [g] { return g->pageIndex == 9; });
      Press("UPDATE", At(91, 0x400), [g] { return g->dialogKind == 3; });
      Do("script done", [] {});
      Press("YES", At(113, sGUI_PAGE_DIALOG), [] { return false; }, true);
      return;
    }
    if(!TileRun.empty())
    {
      BuildTileScript();
      return;
    }
    // a style and a scene tile: the scene switches
    Press("style AMBIENT", At(4, 0x1), [g] { return g->style == 0 && g->laidStyle == 0; });
    Press("tile of scene 5", Tile(5), [m] { return m->Current == 5 && sCmpStringEqual(m->SceneNames[5], u"Abstract"); });
    // a movie of the list plays in the IPP's layer movie
    Press("MOVIES list", At(12, 0x1), [g] { return g->movieSection == 8 && g->listCount > 0; });
    // the list is centred: its middle tile is on the screen however many movies there are
    auto middle = std::make_shared<sInt>(0);
    Do("pick the middle movie", [g, middle] { *middle = (g->listCount - 1) / 2; });
    Press("middle movie tile", [this, middle](sF32 &x, sF32 &y) { return Tile(*middle)(x, y); },
          [g, &media, middle] { return g->selectedMovie == sU32(*middle) && media.ClipNumber == *middle; });
    Wait("layer movie plays", [this, &media] { return media.ClipShown && Ipp()->Clip.Running && Ipp()->Clip.Frame; });
    // an effect
    Press("EFFECTS page", At(18, 0x1), [g] { return g->pageIndex == 4; });
    // choosing the colour correction leaves its settings as they were
    auto settings = std::make_shared<GuiEffectSetting>();
    Do("colour correction settings", [g, settings] { *settings = g->config.Effects[1]; });
    Press("COLOR COR.", At(73, 0x20), [g] { return g->selectedEffect == 1; });
    // its look: the wash lays the picture, its hue replaced by the reddish hue of its COLOR
    // setting (15 degrees times the power), over the picture at the strength of its
    // transparency, half by default; the washed copy of a pixel has red as its largest
    // channel and blue as its smallest, so at half strength no part of the picture stays
    // bluer than it is red. Looked at in blocks of 8 x 8 pixels, since the wash reads the
    // screen's copy with filtering and an edge may take a little of its neighbour's colour.
    // The scene and its layer movie (cyan stripes) are bluish at times: the switch waits
    // for such a picture.
    auto before = std::make_shared<std::shared_ptr<sImage>>();
    Wait("output picture bluer than red in places", [this, before] {
      *before = OutputPicture();
      return Bluish(**before).Blocks > 0.2f;
    });
    Press("effect ACTIVE", At(60, 0x20), [&media] { return media.HueWashOn == 1; });
    Check("colour correction washes the output toward red", [this, g, before, settings] {
      // the GUI hands the switch over at the end of a frame: the frames since the release
      // were drawn with it
      std::shared_ptr<sImage> after = OutputPicture();
      bool dumped = Dump(**before, "touch_colour_correction_off") && Dump(*after, "touch_colour_correction_on");
      BlueShare was = Bluish(**before), is = Bluish(*after);
      std::printf("  blocks bluer than red: %.3f before, %.3f after; mean red - blue %.1f before, %.1f after\n",
                  was.Blocks, is.Blocks, was.MeanRedMinusBlue, is.MeanRedMinusBlue);
      const GuiEffectSetting &e = g->config.Effects[1];
      return dumped && e.Transparency == settings->Transparency && e.Power == settings->Power &&
             e.Transparency >= 0.5f && !e.Alpha && is.Blocks < 0.02f && is.MeanRedMinusBlue > was.MeanRedMinusBlue;
    });
    // a MIDI controller learned for the output brightness
    Press("CONFIGS page", At(23, 0x1), [g] { return g->pageIndex == 9; });
    Press("MIDI CFG", At(89, 0x400), [g] { return g->channelPageOpen && g->channelKind == 2; });
    Press("LEARN brightness (MIDI)", At(93, 0x8000, 1), [g] { return g->learnRow == 1; });
    Do("turn controller 100", [] { Midi->Feed(0, 0xB0 | (100 << 8) | (100 << 16)); });
    Wait("controller 100 learned", [g] { return g->config.Midi[1] == 100 && g->learnRow < 0; });
    Press("CONFIRM (MIDI)", At(96, 0x8000), [g] { return !g->channelPageOpen; });
    Do("controller 100 at half", [] { Midi->Feed(0, 0xB0 | (100 << 8) | (64 << 16)); });
    Wait("brightness follows controller 100", [&media] { return std::fabs(media.FadeFactors[0] - 64.0f / 127) < 0.01f; });
    // a DMX channel learned for the strobe's transparency
    Press("DMX CFG", At(88, 0x400), [g] { return g->channelPageOpen && g->channelKind == 1; });
    Press("LEARN strobe transparency (DMX)", At(93, 0x8000, 2), [g] { return g->learnRow == 2; });
    Do("raise DMX channel 41", [this] { DmxValues[40] = 255; });
    Wait("DMX channel 41 learned", [g] { return g->config.Dmx[2] == 40 && g->learnRow < 0; });
    Press("CONFIRM (DMX)", At(96, 0x8000), [g] { return !g->channelPageOpen; });
    Do("DMX channel 41 at half", [this] { DmxValues[40] = 128; });
    Wait("strobe follows DMX channel 41", [g, &media] {
      return std::fabs(media.DimPulseAmount - 128.0f / 255) < 0.01f && g->config.Effects[0].Active;
    });
    // both controls went into the live recording with their kinds
    Wait("live recording holds both controls", [m] {
      bool midi = false, dmx = false;
      for(sInt i = 0; i < sLIVE_LINES; i++)
      {
        midi |= m->LiveTable[i][1] >= 1000 + 500 && m->LiveTable[i][1] < 2000;
        dmx |= m->LiveTable[i][2] >= 2000 + 500 && m->LiveTable[i][2] < 3000;
      }
      return midi && dmx;
    });
    // a message typed on the keyboard
    Press("MESSAGES page", At(19, 0x1), [g] { return g->pageIndex == 5; });
    Press("message 2", At(141, 0x40), [g] { return g->commandWords[CmdMessage] == 1; });
    Press("TEXT", At(81, 0x40), [g] { return g->keyboardOpen && g->keyboardPurpose == KbMessage; });
    Do("type a text", [this] {
      for(KeySym k : {XK_h, XK_e, XK_l, XK_l, XK_o, XK_Return}) Key(k);
    });
    Wait("message 2 holds the text", [g] {
      return !g->keyboardOpen && sCmpStringEqual(g->config.Messages[1].Text, u"hello");
    });
    // the slideshow, last: when it ends, the show moves on to a scene of the style, and
    // some take long frames under the software renderer
    Press("SLIDESHOW page", At(15, 0x1), [g] { return g->pageIndex == 1 && g->movieSection == 0; });
    Press("slideshow START", At(61, 0x4), [g, m] {
      return m->Current == 14 && g->slideshow.pictureCount > 0 && g->slideshow.path[0];
    });
    // the end
    Press("exit key", At(80, sGUI_ALLPAGES), [g] { return g->dialogKind == 2; });
    Do("script done", [] {});
    Press("YES", At(113, sGUI_PAGE_DIALOG), [] { return false; }, true);
  }
};

void sMain()
{
  const sChar *end = sShellParam(u"end");
  UpdateRun = end && sCmpStringEqual(end, u"update");
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
  // a small window keeps the software renderer's frames short (a tile run, which draws
  // every scene, a smaller one); the pack file stays closed, so the media sections list
  // their folders
  sStartupRecord.ScreenWidth = TileRun.empty() ? 640 : 320;
  sStartupRecord.ScreenHeight = TileRun.empty() ? 360 : 180;
  sStartupRecord.UsePackfile = 0;
  sStartupRecord.MusicOn = 0;
  sSetMidiBackendFactory(MakeMidi);
  sSetDmxWidgetLister(ListDmx);
  if(!CheckStartupSelector(&sStartupRecord)) return;
  sSetApplication(sNEW TouchRunApp);
}
}

int main(int argc, char **argv)
{
  Dpy = XOpenDisplay(nullptr);
  if(!Dpy)
  {
    std::printf("no X display\n");
    return 2;
  }
  Dmx = new dmxwidget::FakeWidget;
  int code = sRunFramework(argc, argv, sMain);
  delete Dmx;
  XCloseDisplay(Dpy);
  return code;
}
