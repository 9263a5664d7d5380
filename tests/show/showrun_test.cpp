// The show program run as a VJ starts it, without a person: the generated data tree, the
// stand-in music on the sound input through SDL's disk driver, fixed-step mode saving every
// frame, and keys typed through the X server's test extension. The frames it saved are
// looked at and a contact sheet of them is left for a person to look at (the path is
// printed; SPARK_CONTACT_SHEET names another).
#include "common/capture.hpp"
#include "common/midi_loopback.hpp"
#include "common/temp_dir.hpp"
#include "common/test_display.hpp"
#include "dmx_widget.hpp"
#include "base/app.hpp"
#include "base/midi.hpp"
#include "base/window.hpp"
#include "graphics/image.hpp"
#include "graphics/shader.hpp"
#include "gui/gui.hpp"
#include "platform/text/utf.hpp"
#include "scenes/global.hpp"
#include "scenes/table.hpp"
#include "show/dmx.hpp"
#include "show/ipp.hpp"
#include "show/mainapp.hpp"
#include "show/scenehost.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"
#include "show/tmdata.hpp"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>
#include <stb/stb_vorbis.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

// last: the X headers define words such as Status and None as macros
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#if defined(SPARKVANE_PROGRAM) && defined(TWDATA_DIR)
namespace
{
std::string FrameName(const std::string &dir, int n)
{
  char name[64];
  std::snprintf(name, sizeof(name), "/Tarnwhistle_trailer_%06d.bmp", n);
  return dir + name;
}

// The frames saved in a folder, counted on from those already known.
int SavedFrames(const std::string &dir, int known)
{
  while(access(FrameName(dir, known + 1).c_str(), F_OK) == 0) known++;
  return known;
}
}

// The show itself, this program started again with "--show": the program's own main over
// the scene table, a loopback MIDI controller and the DMX widget on the test's pseudo
// terminal. Its pre-frame hook reports what arrived and learns a control of each kind: the
// baselines at one frame, the test moves a control of each kind from a later one on.
namespace showchild
{
// The controller the run turns and learns: one that no control track reads (the tree's
// configuration gives tracks 0..31 controllers 0..31; 20 would start the first movie).
constexpr int MidiController = 100, SwitchPeriod = 5;
std::atomic<plat::MidiLoopbackBackend *> Midi{nullptr};
std::atomic<int> Frame{0};
int LearnFrame = 0, ChangeFrame = 0, EndFrame = 0, FirstSwitch = 0, FirstEffect = 0, Saved = 0;
// the scenes switched to: those the table has, but the resident ones
bool Wanted(int n) { return sShowSceneTable[n].Make && !(sShowSceneTable[n].Flags & 0x100); }
std::thread Feeder;
bool DmxSeen = false, MidiSeen = false, DmxLearnt = false, MidiLearnt = false;

// The controller turns now and then, low before the change frame and high from it on; it
// stops a few frames before the end, before the MIDI system goes.
void Feed()
{
  while(Frame < EndFrame - 4)
  {
    if(plat::MidiLoopbackBackend *m = Midi)
      m->Feed(0, 0xB0u | (MidiController << 8) | sU32(Frame >= ChangeFrame ? 120 : 10) << 16);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
}

// The script's steps after a frame reach the show at a known frame, however busy the
// machine: before each frame the show waits until the test has taken every step due after
// the frames saved so far (it writes their count into "script.done" once the X server has
// them). A test that went away holds the show up for a minute at most.
void WaitForScript()
{
  const char *tmp = getenv("TMPDIR");
  if(!tmp) return;
  const std::string dir = tmp;
  Saved = SavedFrames(dir, Saved);
  for(auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60); std::chrono::steady_clock::now() < limit;
      std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    if(int done = -1; std::ifstream(dir + "/script.done") >> done && done >= Saved) return;
}

// After the scene tour the effects run one by one, a few frames each. At a step's first
// frame the operator's hands set the GUI (all the steps touch put back first); at its
// second the show program may move to just before a bar whose codes (and those of the IPP
// channel moved along) switch the scene and fire effects; its last frame is its picture.
// Then the IPP machine is asked whether it took ("showrun: effect NAME: ok", else FAILED).
struct Show { SceneMachine *M; TouchGui *Gui; IppMachine *Ipp; SyncMachine *Sync; std::string Seen; };
struct ChannelMove { int Channel, Bar; };   // Channel 0: none

struct EffectStep
{
  const char *Name;
  int Frames;                // the step's frames, the last its picture
  int Bar, Step;             // where the program goes (Bar < 0: it stays)
  ChannelMove Along;         // an IPP channel moved with it, to the start of a bar
  void (*Apply)(Show &);     // the operator's part, after everything is put back
  bool (*Check)(Show &);     // true when the effect took; Show::Seen says what was found
};

// Whether the effect took, with what was found.
template <class... A> bool Took(Show &s, bool ok, const char *format, A... found)
{
  char text[256];
  std::snprintf(text, sizeof(text), format, found...);
  return s.Seen = text, ok;
}

template <class T> T *IppMaterial(const Show &s, int row)
{
  TMData *set = s.Ipp->MaterialSet;
  return set && row < set->MaterialCount ? static_cast<T *>(set->Materials[row]) : nullptr;
}

// The GUI as the run found it: no effect, no distortion, no colour layer, no mute, no
// test picture. The motion's chance stays as the last step left it until a step says
// otherwise: the IPP machine reads it when its own code 'k' comes.
void Quiet(Show &s)
{
  GuiConfig &c = s.Gui->config;
  for(GuiEffectSetting &e : c.Effects) e.Active = 0;
  for(int i = 1; i < 3; i++) c.Distortions[i].Active = 0;
  c.Scalers[0].Active = 0;
  s.Gui->commandWords[CmdMute] = 0;
  if(s.Ipp->TestImageOn) s.Gui->ScalerKey(7);
}

void Motion(Show &s, int kind) { s.Gui->config.Distortions[0] = {kind, 1, 1.0f, 1.0f}; }
void Effect(Show &s, int index, float amount, float power) { s.Gui->config.Effects[index] = {1, 0, amount, power}; }
bool MotionIs(Show &s, int mode)
{
  return Took(s, s.Ipp->MotionMode == mode, "motion mode %d, preset %d", s.Ipp->MotionMode, s.Sync->ColorPreset);
}

const EffectStep Effects[] = {
    // the program's bar 24 picks a scene and the highest preset; the IPP's channel 2
    // reaches the bar of its 'k', which (at full chance) restarts the camera motion
    {"motion 1: strobe grid", 3, 24, 0, {2, 24}, [](Show &s) { Motion(s, 1); },
     [](Show &s) { return MotionIs(s, 1) && s.Sync->ColorPreset == 3; }},
    {"motion 2: ripple", 2, -1, 0, {}, [](Show &s) { Motion(s, 2); }, [](Show &s) { return MotionIs(s, 2); }},
    {"motion 3: strobe frames", 2, -1, 0, {}, [](Show &s) { Motion(s, 3); }, [](Show &s) { return MotionIs(s, 3); }},
    // bar 40 switches again; channel 2's next 'k' comes at no chance and ends the motion
    {"dim pulse", 3, 40, 0, {2, 48},
     [](Show &s) { s.Gui->config.Distortions[0] = {1, 0, 0.0f, 0.0f}, Effect(s, 0, 1.0f, 0.5f), s.Gui->strobeTrigger = 1; },
     [](Show &s) {
       return Took(s, s.Ipp->Gui->DimPulseOn && s.Ipp->DimPulseTimer < 400 && s.Ipp->MotionMode == 4,
                   "dim timer %d, motion mode %d", s.Ipp->DimPulseTimer, s.Ipp->MotionMode);
     }},
    {"hue wash", 2, -1, 0, {}, [](Show &s) { Effect(s, 1, 1.0f, 0.3f); },
     [](Show &s) {
       ShaderMaterial7 *m = IppMaterial<ShaderMaterial7>(s, 17);
       return m && Took(s, std::fabs(m->HueShift - 4.5f) < 0.01f && m->AlphaBase > 0.5f, "hue shift %.2f, alpha base %.2f",
                        m->HueShift, m->AlphaBase);
     }},
    {"ring", 2, -1, 0, {}, [](Show &s) { Effect(s, 2, 1.0f, 1.0f); },
     [](Show &s) {
       const float gain = s.Ipp->RingForms[0]->Grade.AlphaGain;
       const auto colour = s.Ipp->RingForms[1]->Colour;
       return Took(s, gain < -0.5f && (colour & 0xFFFFFF) != 0, "ring alpha gain %.2f, colour %08x", gain, colour);
     }},
    {"tunnel", 2, -1, 0, {}, [](Show &s) { Effect(s, 3, 1.0f, 0.5f); },
     [](Show &s) {
       const auto &t = *s.Ipp->TunnelForms[0];
       return Took(s, t.LayerMask == 0xFFFFFFFFu && (t.Colour >> 24) > 0xF0, "tunnel layer mask %08x, colour %08x", t.LayerMask,
                   t.Colour);
     }},
    // the scaler page's TEST key
    {"test picture", 2, -1, 0, {}, [](Show &s) { s.Gui->ScalerKey(7); },
     [](Show &s) { return Took(s, s.Ipp->TestImageOn == 1, "test picture %d", s.Ipp->TestImageOn); }},
    // the first scaler lays the right half of the picture over its left half
    {"colour layer", 2, -1, 0, {}, [](Show &s) { s.Gui->config.Scalers[0] = {1, {0, 0, 0.5f, 1}, {0.5f, 0, 1, 1}, 1.0f, 0.0f}; },
     [](Show &s) {
       return Took(s, s.Ipp->Gui->LayerOn[0][0] == 1 && s.Ipp->LayerMaterial->Texture[0] == s.Ipp->ScreenTexture, "layer %d",
                   s.Ipp->Gui->LayerOn[0][0]);
     }},
    {"mute", 2, -1, 0, {}, [](Show &s) { s.Gui->commandWords[CmdMute] = 1; },
     [](Show &s) { return Took(s, s.Ipp->ScreenMaterial->Color == 0xFF000000u, "master fade colour %08x", s.Ipp->ScreenMaterial->Color); }},
    // a movie tile picked, its layer drawn through the channel-3 effect, whose style
    // channel 3's own code 'y' picks at the start of its bar (at full chance)
    {"layer movie", 3, 48, 0, {3, 0}, [](Show &s) { s.Gui->config.Distortions[1] = {1, 1, 1.0f, 1.0f}, s.Gui->selectedMovie = 0; },
     [](Show &s) {
       const IppMoviePass &c = s.Ipp->Clip;
       return Took(s, (c.Opening || c.Running) && s.Ipp->Ch3.Mode == 1, "clip opening %d running %d, channel 3 mode %d, movies %d",
                   c.Opening, c.Running, s.Ipp->Ch3.Mode, s.Gui->folders.listCount);
     }},
    // the video input's START: the request reaches the IPP machine, which opens the first
    // capture device when there is one (the show goes on without); channel 4's 'y'
    {"video in", 3, 64, 0, {4, 0}, [](Show &s) { s.Gui->config.Distortions[2] = {1, 1, 1.0f, 1.0f}, s.Gui->schedule.timers[4].Running = 1; },
     [](Show &s) {
       const IppMoviePass &v = s.Ipp->Video;
       const GuiMediaState &g = *s.Ipp->Gui;
       return Took(s, g.VideoShown == 1 && g.VideoInRequest == 0 && s.Ipp->Ch4.Mode == 1,
                   "video opening %d running %d, requested %d shown %d, channel 4 mode %d", v.Opening, v.Running,
                   g.VideoInRequest, g.VideoShown, s.Ipp->Ch4.Mode);
     }},
    // bar 72: a scene, the lowest preset and the logo at once (code -28)
    {"logo", 3, 72, 0, {2, 72}, nullptr,
     [](Show &s) {
       sMaterial *m = IppMaterial<sMaterial>(s, 11);
       const GuiMediaState &g = *s.Ipp->Gui;
       sBool fromGui = 0;
       for(int i = 0; i < g.LogoCount && m; i++) fromGui |= m->Texture[0] == g.Logos[i].Picture;
       return Took(s, s.Ipp->LogoActive && g.LogoShown && fromGui && s.Sync->ColorPreset == 0,
                   "logo active %d shown %d of %d, picture from the GUI %d, preset %d", s.Ipp->LogoActive, g.LogoShown,
                   g.LogoCount, fromGui, s.Sync->ColorPreset);
     }},
    // bar 137: a burst of touch particles at step 4 (code -10)
    {"touch particles", 3, 137, 4, {}, [](Show &s) { Effect(s, 4, 1.0f, 1.0f); },
     [](Show &s) {
       return Took(s, s.Ipp->ParticleTimer < 400, "particle timer %d, touch at %.0f,%.0f", s.Ipp->ParticleTimer,
                   s.Ipp->Gui->TouchX, s.Ipp->Gui->TouchY);
     }},
    // a message slot whose timer ran out
    {"message", 3, -1, 0, {},
     [](Show &s) {
       sCopyString(s.Gui->config.Messages[0].Text, u"SPARKVANE TONIGHT", sGUI_TEXTCHARS);
       s.Gui->config.Messages[0].Active = 1, s.Gui->schedule.messageCountdown[0] = -1;
     },
     [](Show &s) {
       const GuiMediaState &g = *s.Ipp->Gui;
       const sInt c = g.CurrentMessage;
       const bool text = c >= 0 && c < sGUI_MESSAGES && sCmpStringEqual(g.Messages[c].Text, u"SPARKVANE TONIGHT");
       return Took(s, text && g.MessageRestarted && s.Ipp->MessageText->LineCount > 0,
                   "message %d with the text %d, restarted %d, lines drawn %d", c, text, g.MessageRestarted,
                   s.Ipp->MessageText->LineCount);
     }},
    // bar 160: the flyer (code -33)
    {"flyer", 3, 160, 0, {}, nullptr,
     [](Show &s) {
       sMaterial *m = IppMaterial<sMaterial>(s, 14);
       sTexture2D *t = m ? static_cast<sTexture2D *>(m->Texture[0]) : nullptr;
       return Took(s, s.Ipp->MovieActive && s.Ipp->Gui->MovieShown && t && t->SizeX > 1, "flyer active %d shown %d, picture %dx%d",
                   s.Ipp->MovieActive, s.Ipp->Gui->MovieShown, t ? t->SizeX : 0, t ? t->SizeY : 0);
     }},
};
constexpr int EffectCount = int(sizeof(Effects) / sizeof(Effects[0]));
// The first step that shows a movie.
int MovieStep()
{
  int i = 0;
  while(i < EffectCount && std::string_view(Effects[i].Name) != "layer movie") i++;
  return i;
}

// The frames before step i (EffectCount: the frames of all steps).
int EffectOffset(int i)
{
  int frames = 0;
  for(int k = 0; k < i; k++) frames += Effects[k].Frames;
  return frames;
}

// Moves the show program (channel 1) to just before the given step of a bar, a fraction
// of a frame's advance before it, so that the next update enters the step: the shared
// phase goes there, channel 1's cycle counter follows (and that of the channel moved
// along, to a bar at the same place in its cycle), and each moved channel has
// delivered nothing of its new bar yet.
void MoveProgram(SyncMachine &s, int bar, int step, ChannelMove along)
{
  const double advance = s.LastFrameMs * double(s.BarRate) * 0.125;
  const double exact = (bar + step / 16.0) / 8.0, at = exact - 0.4 * advance;
  const int whole = int(std::floor(at)), crossed = int(std::floor(exact)) - whole;
  s.PhaseStart = s.PhaseTarget = s.Phase = at - whole;
  s.PhaseWhole = s.PrevPhaseWhole = s.ResyncFade = 0;
  s.Cycle[1] = bar / 8 - crossed;
  s.LastStep[1] = -1;
  if(along.Channel > 1)
    s.Cycle[along.Channel] = along.Bar / 8 - crossed, s.LastStep[along.Channel] = -1;
}

void RunEffects(SceneMachine *m, int f)
{
  if(FirstEffect <= 0 || f < FirstEffect || f > FirstEffect + EffectOffset(EffectCount)) return;
  int i = 0;
  while(i < EffectCount && f - FirstEffect >= EffectOffset(i + 1)) i++;
  const int at = f - FirstEffect - EffectOffset(i);
  Show s{m, nullptr, static_cast<IppMachine *>(m->Ipp), m->Sync, {}};
  for(int n = 0; n < m->SceneCount; n++)
    if(m->SceneNames[n] && sCmpStringEqual(m->SceneNames[n], u"GUI")) s.Gui = static_cast<TouchGui *>(m->Scenes[n]);
  if(!s.Gui || !s.Ipp || !s.Sync || !s.Ipp->Gui) return;
  if(at == 0 && i > 0)
  {
    const bool ok = Effects[i - 1].Check(s);
    std::printf("showrun: effect %s: %s (%s)\n", Effects[i - 1].Name, ok ? "ok" : "FAILED", s.Seen.c_str());
  }
  if(i >= EffectCount) return;
  const EffectStep &e = Effects[i];
  if(at == 0)
  {
    sScopeLock lock(&s.Gui->guiLock);
    Quiet(s);
    if(e.Apply) e.Apply(s);
  }
  if(at == 1 && e.Bar >= 0) MoveProgram(*s.Sync, e.Bar, e.Step, e.Along);
  if(at == 2 && e.Bar >= 0) std::printf("showrun: frame %d: program at bar %d\n", f - 1, s.Sync->BarIndex[1]);
}

void PreFrame(void *)
{
  WaitForScript();
  int f = ++Frame;
  if(f >= EndFrame - 2 && Feeder.joinable()) Feeder.join();
  SceneMachine *m = sGetSceneMachine();
  if(!m) return;
  // the tree's live recording would drive the control tracks by itself: this run's tracks
  // are driven by its own hands only
  static bool cleared = false;
  if(!cleared && m->LiveTable) cleared = true, std::fill_n(&m->LiveTable[0][0], sLIVE_LINES * sLIVE_WORDS, 0u);
  if(!DmxSeen && m->DmxCount > 0)
    DmxSeen = true, std::printf("showrun: frame %d: dmx %d channels, the first at %.3f\n", f, m->DmxCount, m->DmxCurrent[0]);
  if(!MidiSeen && m->MidiCurrent[MidiController] >= 0)
    MidiSeen = true,
    std::printf("showrun: frame %d: midi controller %d at %.3f\n", f, MidiController, m->MidiCurrent[MidiController]);
  if(FirstSwitch > 0 && f >= FirstSwitch && (f - FirstSwitch) % SwitchPeriod == 0)
  {
    int k = (f - FirstSwitch) / SwitchPeriod;
    for(int n = 0; n < SHOW_SCENES; n++)
      if(Wanted(n) && k-- == 0) m->SwitchScene(n);
  }
  if(f == LearnFrame) m->BeginControlLearn(sCONTROL_DMX), m->BeginControlLearn(0);
  sInt channel = 0;
  if(f > ChangeFrame && !DmxLearnt && m->FindLearnedControl(sCONTROL_DMX, channel))
    DmxLearnt = true, std::printf("showrun: frame %d: learnt dmx channel %d\n", f, channel);
  if(f > ChangeFrame && !MidiLearnt && m->FindLearnedControl(0, channel))
    MidiLearnt = true, std::printf("showrun: frame %d: learnt midi controller %d\n", f, channel);
  RunEffects(m, f);
  // until the step that picks a movie, no movie layer may lie over the scenes
  static bool movieSeen = false;
  const IppMachine *ipp = static_cast<IppMachine *>(m->Ipp);
  if(!movieSeen && ipp && ipp->Gui && f < FirstEffect + EffectOffset(MovieStep()) &&
     (ipp->Clip.Running || ipp->Clip.Opening || ipp->Gui->MovieShown))
    movieSeen = true, std::printf("showrun: frame %d: a movie on the screen\n", f);
  std::fflush(stdout);
}

void Main()
{
  sSetDmxWidgetLister([] {
    const char *path = getenv("SPARK_SHOWRUN_DMX");
    return path && *path ? std::vector<std::string>{path} : std::vector<std::string>{};
  });
  sSetMidiBackendFactory([]() -> std::unique_ptr<plat::MidiBackend> {
    auto backend = std::make_unique<plat::MidiLoopbackBackend>();
    backend->AddInput(u"Loopback controller");
    Midi = backend.get();
    return backend;
  });
  Feeder = std::thread(Feed);
  ShowMain(sShowSceneTable, SHOW_SCENES);
  sAddHook(sPreFrameHook.load(), PreFrame, nullptr);
}
}

int RunShowChild(int argc, char **argv)
{
  if(const char *learn = getenv("SPARK_SHOWRUN_LEARN"))
    std::sscanf(learn, "%d,%d,%d,%d,%d", &showchild::LearnFrame, &showchild::ChangeFrame, &showchild::EndFrame,
                &showchild::FirstSwitch, &showchild::FirstEffect);
  return sRunFramework(argc, argv, showchild::Main);
}

namespace
{
bool LoadFrame(sImage &img, const std::string &dir, int n) { return img.Load(plat::ToUtf16(FrameName(dir, n)).c_str()); }

// The stand-in music as the raw 16-bit stereo stream the disk driver hands to a capture.
bool WriteRawMusic(const std::string &ogg, const std::string &raw, int &rate)
{
  int channels = 0;
  short *pcm = nullptr;
  int frames = stb_vorbis_decode_filename(ogg.c_str(), &channels, &rate, &pcm);
  if(frames <= 0 || channels < 1) return false;
  std::vector<short> out(size_t(frames) * 2);
  for(size_t i = 0; i < size_t(frames); i++)
    out[i * 2] = pcm[i * channels], out[i * 2 + 1] = pcm[i * channels + (channels > 1 ? 1 : 0)];
  free(pcm);
  return bool(std::ofstream(raw, std::ios::binary)
                  .write(reinterpret_cast<const char *>(out.data()), std::streamsize(out.size() * sizeof(short))));
}

// The scripted keys of a run, by the frame after which each is typed. The show waits for
// the script before each frame (see the show's side above), so a key typed after frame n
// reaches the show in frame n + 2, however busy the machine.
struct Script
{
  std::vector<std::pair<int, KeySym>> Steps;
  int Cursor = 2;   // the frame after which the next key is typed
  void Key(KeySym sym, int wait) { Steps.push_back({Cursor, sym}), Cursor += wait; }
};

// Types a key with the pointer in the middle of the screen: without a window manager the
// focus follows the pointer.
void Perform(Display *dpy, KeySym sym)
{
  const KeyCode code = XKeysymToKeycode(dpy, sym);
  XTestFakeMotionEvent(dpy, -1, 960, 540, 0), XTestFakeKeyEvent(dpy, code, True, 0), XFlush(dpy);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  XTestFakeKeyEvent(dpy, code, False, 0), XFlush(dpy);
}

// The largest difference of two colours on one channel.
sInt Diff(sU32 p, sU32 q)
{
  sInt d = 0;
  for(sInt shift : {0, 8, 16}) d = std::max(d, std::abs(sInt((p >> shift) & 0xff) - sInt((q >> shift) & 0xff)));
  return d;
}

// The points of a box of a picture, every step-th pixel, that pass a test: their count
// and their share. The test gets a point's colour and its place in the picture's data.
template <class F> std::pair<int, double> Points(const sImage &img, sInt x0, sInt x1, sInt y0, sInt y1, sInt step, F pass)
{
  int n = 0, all = 0;
  for(sInt y = y0; y < y1; y += step)
    for(sInt x = x0; x < x1; x += step, all++) n += pass(img.Data[y * img.SizeX + x], size_t(y * img.SizeX + x));
  return {n, all ? double(n) / all : 0};
}

// Distinct colours on a coarse grid: a blank (or one-colour) picture has one.
size_t GridColours(const sImage &img)
{
  std::set<sU32> colours;
  Points(img, 0, img.SizeX, 0, img.SizeY, 24, [&](sU32 c, size_t) { return colours.insert(c & 0xffffff), 0; });
  return colours.size();
}

// The reddish pixels where the GUI's red switches (mute, lock) stand while it is shown,
// and the pixels of that place that differ clearly between two frames.
int Reddish(const sImage &img)
{
  return Points(img, 1100, 1580, 32, 76, 1, [](sU32 c, size_t) {
           const sInt r = (c >> 16) & 0xff;
           return r > sInt((c >> 8) & 0xff) + 48 && r > sInt(c & 0xff) + 48;
         }).first;
}
int SwitchesChanged(const sImage &a, const sImage &b)
{
  return Points(a, 1100, 1580, 32, 76, 1, [&](sU32 p, size_t i) { return Diff(p, b.Data[i]) > 40; }).first;
}

// The share of a coarse grid of points at which two pictures of a size agree within a
// tolerance on every channel; and the share of one between two columns that is black.
double Agreeing(const sImage &a, const sImage &b)
{
  return Points(a, 4, a.SizeX, 4, a.SizeY, 24, [&](sU32 p, size_t i) { return Diff(p, b.Data[i]) <= 40; }).second;
}
double Dark(const sImage &img, sInt x0, sInt x1)
{
  return Points(img, x0 + 4, x1, 4, img.SizeY, 24, [](sU32 c, size_t) { return Diff(c, 0) < 16; }).second;
}

struct ShowRun { std::string Log; int WaitStatus = -1; };

// The DMX frames the test's widget sends: 48 channels, one moved by 100 steps from the
// change frame on. The first 32 drive the control tracks (a desk's first frame moves every
// track it drives, bringing its GUI page forward): they stay at zero.
constexpr int DmxChannels = 48, DmxMoved = 40;
dmxwidget::Bytes DmxFrame(bool moved)
{
  dmxwidget::Bytes b = dmxwidget::Frame(DmxChannels, 3);
  for(int c = 0; c < 32; c++) b[6 + c] = 0;
  if(moved) b[6 + DmxMoved] = sU8(b[6 + DmxMoved] + 100);
  return b;
}

// Runs the show (this program again) in the build folder, which holds the data tree, until
// it ends by itself; learn: the show's frames of note, as RunShowChild reads them.
ShowRun RunShow(const sparktest::TempDir &dir, int frames, const Script &script, int changeFrame, const std::string &learn)
{
  const std::string logName = dir.Path + "/show.log", ack = dir.Path + "/script.done";
  // a display server of the run's own: the keys it types and the pointer it moves must not
  // reach the windows of tests that run beside it on the shared display
  sparktest::TestDisplay display;
  if(!display.Ok()) return {display.Failure()};
  dmxwidget::FakeWidget widget;
  char self[4096] = {};
  if(readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0) return {"cannot find this program"};
  Display *dpy = XOpenDisplay(display.Name().c_str());
  if(!dpy) return {"display " + display.Name() + " took the server's probe but not the test's connection"};
  pid_t pid = fork();
  if(pid == 0)
  {
    FILE *log = chdir(TWDATA_DIR "/..") == 0 ? fopen(logName.c_str(), "w") : nullptr;
    if(!log) _exit(126);
    dup2(fileno(log), 1), dup2(fileno(log), 2);
    for(auto [name, value] : {std::pair<const char *, std::string>{"TMPDIR", dir.Path}, {"DISPLAY", display.Name()},
                              {"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILEIN", dir.Path + "/music.raw"},
                              {"SDL_DISKAUDIOFILE", dir.Path + "/out.raw"}, {"SPARK_SHOWRUN_DMX", widget.Path},
                              {"SPARK_SHOWRUN_LEARN", learn}})
      setenv(name, value.c_str(), 1);
    const std::string count = std::to_string(frames);
    execl(self, self, "--show", "-frames", count.c_str(), "-capture", static_cast<char *>(nullptr));
    _exit(127);
  }
  if(pid < 0) return XCloseDisplay(dpy), ShowRun{};
  size_t next = 0;
  int status = 0, saved = 0, acked = -1;
  // a frame in software rendering takes about a second, several in the sanitizer builds
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1800);
  while(waitpid(pid, &status, WNOHANG) != pid)
  {
    if(std::chrono::steady_clock::now() > deadline && (kill(pid, SIGKILL), waitpid(pid, &status, 0))) break;
    saved = SavedFrames(dir.Path, saved);
    while(dpy && next < script.Steps.size() && saved >= script.Steps[next].first) Perform(dpy, script.Steps[next++].second);
    if(saved > acked)
    {
      // the server has every event of the steps taken: the show may draw its next frame
      if(dpy) XSync(dpy, False);
      if(FILE *f = std::fopen((ack + ".new").c_str(), "w"))
        std::fprintf(f, "%d\n", saved), std::fclose(f), std::rename((ack + ".new").c_str(), ack.c_str());
      acked = saved;
    }
    // the widget sends only once the show has greeted it (the line is raw then)
    if(widget.Greeted > 0) widget.Send(DmxFrame(saved >= changeFrame));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if(dpy) XCloseDisplay(dpy);
  widget.Hangup();
  std::stringstream s;
  s << std::ifstream(logName).rdbuf();
  return {s.str(), status};
}

// The matches of a pattern in the log, each as its groups.
std::vector<std::smatch> Matches(const std::string &log, const char *pattern)
{
  std::regex re(pattern);
  return {std::sregex_iterator(log.begin(), log.end(), re), std::sregex_iterator()};
}

// The scene the show program names in a bar, up to a step: the last scene code there
// (-1: none).
int ProgramScene(int bar, int step)
{
  int scene = -1;
  const SyncPattern *pattern = GlobalShowTable()[bar];
  for(int st = 0; st <= step; st++)
    for(int k = 0; k < SYNC_SLOTS && pattern->Keys[st][k]; k++)
      if(const sU32 n = pattern->Keys[st][k] - sU32(SYNC_SCENEKEY); n < sU32(SHOW_SCENES)) scene = int(n);
  return scene;
}

// One thumbnail per frame, four to a row, in the given order, saved as PNG.
bool SaveSheet(const std::string &dir, const std::vector<int> &shots, const std::string &name)
{
  constexpr int ThumbW = 480, ThumbH = 270, Columns = 4;
  const int rows = int(shots.size() + Columns - 1) / Columns;
  sImage sheet(ThumbW * Columns, ThumbH * std::max(rows, 1)), frame;
  sheet.Fill(0xff000000);
  for(size_t i = 0; i < shots.size(); i++)
  {
    if(!LoadFrame(frame, dir, shots[i])) continue;
    sImage *thumb = frame.Scaled(ThumbW, ThumbH);
    sheet.Blit(thumb, 0, 0, int(i % Columns) * ThumbW, int(i / Columns) * ThumbH, ThumbW, ThumbH);
    sDELETE(thumb);
  }
  std::vector<unsigned char> rgb(size_t(sheet.SizeX) * sheet.SizeY * 3);
  for(size_t i = 0; i < size_t(sheet.SizeX) * sheet.SizeY; i++)
    for(int c = 0; c < 3; c++) rgb[i * 3 + c] = (sheet.Data[i] >> (16 - 8 * c)) & 0xff;
  return stbi_write_png(name.c_str(), sheet.SizeX, sheet.SizeY, 3, rgb.data(), sheet.SizeX * 3) != 0;
}

// The line the show printed for an effect.
std::string EffectLine(const std::string &log, const std::string &name)
{
  std::smatch m;
  return std::regex_search(log, m, std::regex("showrun: effect " + name + ": (.*)")) ? m[1].str() : "(no line for " + name + ")";
}
}

// A run of the show as a VJ drives it, from start to its own end (exit code 0, no leak
// report): the GUI on its key, every scene, a MIDI controller and a DMX channel learnt,
// then every effect of the IPP machine fired as the show fires it (showchild::Effects).
TEST(ShowRun, ScriptedRunUnderTheTestDisplay)
{
  if(!sparktest::HaveXvfb()) GTEST_SKIP() << "no Xvfb";
  sparktest::TempDir dir;
  int rate = 0;
  ASSERT_TRUE(WriteRawMusic(TWDATA_DIR "/Tarnglow.ogg", dir.Path + "/music.raw", rate));
  EXPECT_EQ(rate, 44100) << "the sound input reads 44.1 kHz";

  // the GUI shows on its key and hides on it again; then every scene the table has (the
  // resident ones aside) is switched to in turn through the scene machine, as the SYNC
  // programs switch, a few frames each (the GUI's touch run picks a scene on its tile);
  // then the effects
  Script script;
  const int beforeGui = script.Cursor;
  script.Key(XK_period, 10);
  const int guiShown = script.Cursor - 1;
  script.Key(XK_period, 3);
  const int firstSwitch = script.Cursor;
  std::vector<int> alone;   // a frame of each scene, a few frames after its switch
  for(int n = 0; n < SHOW_SCENES; n++)
    if(showchild::Wanted(n)) alone.push_back(script.Cursor + 3), script.Cursor += showchild::SwitchPeriod;
  const int firstEffect = script.Cursor;
  const int frames = firstEffect + showchild::EffectOffset(showchild::EffectCount) + 1;
  auto effectFrame = [&](int i) { return firstEffect + showchild::EffectOffset(i); };
  auto effectShot = [&](int i) { return effectFrame(i + 1) - 1; };
  auto effectIndex = [](const std::string &name) {
    return int(std::find_if(std::begin(showchild::Effects), std::end(showchild::Effects), [&](auto &e) { return name == e.Name; }) -
               showchild::Effects);
  };
  const int mute = effectIndex("mute"), testPicture = effectIndex("test picture"), layer = effectIndex("colour layer");
  ASSERT_TRUE(mute > 0 && layer > 0 && std::max({mute, testPicture, layer}) < showchild::EffectCount);

  // the controls: learn baselines after the GUI came up, the controls moved a few frames later
  const int learnFrame = beforeGui + 6, changeFrame = beforeGui + 10;
  ShowRun run = RunShow(dir, frames, script, changeFrame,
                        std::to_string(learnFrame) + "," + std::to_string(changeFrame) + "," + std::to_string(frames) + "," +
                            std::to_string(firstSwitch) + "," + std::to_string(firstEffect));
  ASSERT_TRUE(WIFEXITED(run.WaitStatus)) << run.Log;
  EXPECT_EQ(WEXITSTATUS(run.WaitStatus), 0) << run.Log;
  // no leak report and, in the sanitizer builds, nothing undefined done on the way
  for(const char *bad : {"Memory Leak", "runtime error:"}) EXPECT_EQ(run.Log.find(bad), std::string::npos) << run.Log;
  // the operator's log says why the run ended, once
  EXPECT_EQ(sparktest::CountOf(run.Log, "end of the run: "), 1u) << run.Log;
  EXPECT_NE(run.Log.find("end of the run: the frames -frames asked for are drawn\n"), std::string::npos) << run.Log;

  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.Log, m, std::regex("first frame (\\d+) ms after start"))) << run.Log;
  std::printf("start-up to the first frame: %s ms\n", m[1].str().c_str());
  RecordProperty("startup_ms", m[1].str());

  // the DMX widget's and the MIDI controller's values arrived, and the moved control of
  // each kind was learnt
  const std::string midi = std::to_string(showchild::MidiController);
  for(const std::string &line : {std::string("showrun: frame"), "dmx " + std::to_string(DmxChannels) + " channels",
                                  "midi controller " + midi + " at", "learnt dmx channel " + std::to_string(DmxMoved) + "\n",
                                  "learnt midi controller " + midi + "\n"})
    EXPECT_NE(run.Log.find(line), std::string::npos) << line << run.Log;

  // every scene registered but the resident ones became current (the log names the frame
  // from which each was current, the first time)
  std::vector<std::pair<int, int>> current;   // frame, scene from that frame on
  for(const std::smatch &c : Matches(run.Log, R"(frame (\d+): scene (\d+) \S+ current)"))
    current.push_back({std::stoi(c[1]), std::stoi(c[2])});
  auto became = [&](int scene, int at) {
    return std::any_of(current.begin(), current.end(), [&](auto c) { return c.second == scene && (at < 0 || c.first == at); });
  };
  const std::vector<std::smatch> registered = Matches(run.Log, R"(\] +scene (\d+) (\S+)( \(resident\))?\n)");
  ASSERT_TRUE(std::any_of(registered.begin(), registered.end(), [](auto &r) { return r[1] == "0"; })) << run.Log;
  for(const std::smatch &r : registered)
    EXPECT_TRUE(r[3].matched || became(std::stoi(r[1]), -1)) << r[2] << " never became current";
  // a frame of each scene: the one a few frames after its switch
  std::map<int, int> shots;   // scene -> frame
  for(int f : alone)
  {
    int scene = -1;
    for(auto [frame, s] : current) scene = frame <= f ? s : scene;
    if(scene >= 0) shots.emplace(scene, f);
  }

  // the effects: each took in the IPP machine, and each bar the show program was moved
  // to was reached and switched to the scene it names
  for(int i = 0; i < showchild::EffectCount; i++)
  {
    const showchild::EffectStep &e = showchild::Effects[i];
    EXPECT_EQ(EffectLine(run.Log, e.Name).substr(0, 3), "ok ") << e.Name << ": " << EffectLine(run.Log, e.Name);
    if(e.Bar < 0) continue;
    const int moved = effectFrame(i) + 1, scene = ProgramScene(e.Bar, e.Step);
    EXPECT_NE(run.Log.find("showrun: frame " + std::to_string(moved) + ": program at bar " + std::to_string(e.Bar) + "\n"),
              std::string::npos)
        << e.Name << ": the program did not reach bar " << e.Bar;
    EXPECT_TRUE(scene < 0 || became(scene, moved))
        << "bar " << e.Bar << " names scene " << scene << ", which did not become current at frame " << moved;
  }

  // the scenes and the effects before the movie's step stand alone: no movie lies over them
  EXPECT_EQ(run.Log.find("a movie on the screen"), std::string::npos) << run.Log;

  // every frame saved, and drawn but where a scene fades in from black after a pick and
  // while the output is muted
  int blank = 0;
  for(int n = 1; n <= frames; n++)
  {
    sImage frame;
    ASSERT_TRUE(LoadFrame(frame, dir.Path, n) && frame.SizeX == 1920 && frame.SizeY == 1080) << n;
    if(n < effectFrame(mute) || n > effectFrame(mute + 1) + 1) blank += GridColours(frame) <= 8;
  }
  // some scenes are near black by their look at times (the Tunnel's calm modes, a dark lamp)
  EXPECT_LT(blank, frames / 5) << "frames without a picture";
  // the typed key reached the GUI: its red switches cover the show while it is shown, and
  // are gone once it is hidden again (a red scene may stand there then: the switches'
  // place is compared, not counted)
  sImage before, shown, after, picture, effect, plain;
  for(auto [img, n] : {std::pair{&before, beforeGui}, {&shown, guiShown}, {&after, firstSwitch + 2}})
    ASSERT_TRUE(LoadFrame(*img, dir.Path, n)) << n;
  EXPECT_GT(Reddish(shown), Reddish(before) + 8000) << "the GUI did not show";
  EXPECT_GT(SwitchesChanged(shown, after), 4000) << "the GUI did not hide";

  // what the effects left in the frames: the test picture fills the screen; the colour
  // layer (the right half of the picture laid on the left half) is all the output shows,
  // where the scene alone had a picture; the mute blacks out the whole output
  ASSERT_TRUE(picture.Load(plat::ToUtf16(TWDATA_DIR "/ipp/unpacked/color_test.bmp").c_str()));
  sImage *full = picture.Scaled(1920, 1080);
  ASSERT_TRUE(LoadFrame(effect, dir.Path, effectShot(testPicture)));
  EXPECT_GT(Agreeing(effect, *full), 0.7) << "the test picture is not on the screen";
  sDELETE(full);
  ASSERT_TRUE(LoadFrame(effect, dir.Path, effectShot(layer)) && LoadFrame(plain, dir.Path, effectShot(layer - 2)));
  EXPECT_LT(Dark(effect, 0, 960), 0.5) << "the colour layer is not on the left half";
  EXPECT_GT(Dark(effect, 960, 1920), 0.99) << "the colour layer is not alone on the screen";
  EXPECT_LT(Dark(plain, 960, 1920), 0.9);
  ASSERT_TRUE(LoadFrame(effect, dir.Path, effectShot(mute)) && LoadFrame(plain, dir.Path, effectShot(mute - 2)));
  EXPECT_GT(Dark(effect, 0, 1920), 0.99) << "the mute left a picture";
  EXPECT_LT(Dark(plain, 0, 1920), 0.9);

  // the contact sheets: each scene in the order of the table, each effect in the order
  // of the steps
  std::vector<int> sceneShots, effectShots;
  for(auto [scene, shot] : shots) sceneShots.push_back(shot);
  for(int i = 0; i < showchild::EffectCount; i++) effectShots.push_back(effectShot(i));
  ASSERT_FALSE(sceneShots.empty());
  for(auto [name, fallback, list] : {std::tuple{"SPARK_CONTACT_SHEET", "/tmp/sparkvane_contact_sheet.png", &sceneShots},
                                     {"SPARK_EFFECTS_SHEET", "/tmp/sparkvane_effects_sheet.png", &effectShots}})
  {
    const char *env = getenv(name);
    std::string sheetName = env && *env ? env : fallback;
    EXPECT_TRUE(SaveSheet(dir.Path, *list, sheetName)) << sheetName;
    std::printf("contact sheet: %s\n", sheetName.c_str());
  }
}
#endif
