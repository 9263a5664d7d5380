// The show program run as a VJ starts it, without a person: the generated data tree, the
// stand-in music on the sound input through SDL's disk driver, fixed-step mode saving every
// frame, and keys typed through the X server's test extension. The frames it saved are
// looked at and a contact sheet of them is left for a person to look at (the path is
// printed; SPARK_CONTACT_SHEET names another).
#include "common/midi_loopback.hpp"
#include "common/temp_dir.hpp"
#include "dmx_widget.hpp"
#include "base/app.hpp"
#include "base/midi.hpp"
#include "base/window.hpp"
#include "graphics/image.hpp"
#include "platform/text/utf.hpp"
#include "scenes/table.hpp"
#include "show/dmx.hpp"
#include "show/mainapp.hpp"
#include "show/scenehost.hpp"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>
#include <stb/stb_vorbis.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// last: the X headers define words such as Status and None as macros
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#if defined(SPARKVANE_PROGRAM) && defined(TWDATA_DIR)
// The show itself, run by this test program started again with "--show" (the scripted
// run does so): the program's own main function over the scene table, with a MIDI
// controller of the loopback system and the DMX widget on the pseudo terminal the test
// names. Its pre-frame hook reports what arrived and learns a control of each kind: the
// learn baselines are taken at one frame, the test moves one control of each kind from a
// later one on, and the moved control is looked for until it is found.
namespace showchild
{
constexpr int MidiController = 20;
std::atomic<plat::MidiLoopbackBackend *> Midi{nullptr};
std::atomic<int> Frame{0};
int LearnFrame = 0, ChangeFrame = 0, EndFrame = 0;
std::thread Feeder;
bool DmxSeen = false, MidiSeen = false, DmxLearnt = false, MidiLearnt = false;

std::vector<std::string> ListWidget()
{
  const char *path = getenv("SPARK_SHOWRUN_DMX");
  return path && *path ? std::vector<std::string>{path} : std::vector<std::string>{};
}

std::unique_ptr<plat::MidiBackend> MakeMidi()
{
  auto backend = std::make_unique<plat::MidiLoopbackBackend>();
  backend->AddInput(u"Loopback controller");
  Midi = backend.get();
  return backend;
}

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

void PreFrame(void *)
{
  int f = ++Frame;
  if(f >= EndFrame - 2 && Feeder.joinable()) Feeder.join();
  SceneMachine *m = sGetSceneMachine();
  if(!m) return;
  if(!DmxSeen && m->DmxCount > 0)
  {
    DmxSeen = true;
    std::printf("showrun: frame %d: dmx %d channels, the first at %.3f\n", f, m->DmxCount, m->DmxCurrent[0]);
  }
  if(!MidiSeen && m->MidiCurrent[MidiController] >= 0)
  {
    MidiSeen = true;
    std::printf("showrun: frame %d: midi controller %d at %.3f\n", f, MidiController, m->MidiCurrent[MidiController]);
  }
  if(f == LearnFrame)
  {
    m->BeginControlLearn(sCONTROL_DMX);
    m->BeginControlLearn(0);
  }
  sInt channel = 0;
  if(f > ChangeFrame && !DmxLearnt && m->FindLearnedControl(sCONTROL_DMX, channel))
    DmxLearnt = true, std::printf("showrun: frame %d: learnt dmx channel %d\n", f, channel);
  if(f > ChangeFrame && !MidiLearnt && m->FindLearnedControl(0, channel))
    MidiLearnt = true, std::printf("showrun: frame %d: learnt midi controller %d\n", f, channel);
  std::fflush(stdout);
}

void Main()
{
  sSetDmxWidgetLister(ListWidget);
  sSetMidiBackendFactory(MakeMidi);
  Feeder = std::thread(Feed);
  ShowMain(sShowSceneTable, SHOW_SCENES);
  sAddHook(sPreFrameHook.load(), PreFrame, nullptr);
}
}

int RunShowChild(int argc, char **argv)
{
  if(const char *learn = getenv("SPARK_SHOWRUN_LEARN"))
    std::sscanf(learn, "%d,%d,%d", &showchild::LearnFrame, &showchild::ChangeFrame, &showchild::EndFrame);
  return sRunFramework(argc, argv, showchild::Main);
}

namespace
{
std::string FrameName(const std::string &dir, int n)
{
  char name[64];
  std::snprintf(name, sizeof(name), "/Tarnwhistle_trailer_%06d.bmp", n);
  return dir + name;
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// The stand-in music as the raw 16-bit stereo stream the disk driver hands to a capture.
bool WriteRawMusic(const std::string &ogg, const std::string &raw, int &rate)
{
  int channels = 0;
  short *pcm = nullptr;
  int frames = stb_vorbis_decode_filename(ogg.c_str(), &channels, &rate, &pcm);
  if(frames <= 0 || channels < 1) return false;
  std::vector<short> out(size_t(frames) * 2);
  for(int i = 0; i < frames; i++)
  {
    out[size_t(i) * 2] = pcm[size_t(i) * channels];
    out[size_t(i) * 2 + 1] = pcm[size_t(i) * channels + (channels > 1 ? 1 : 0)];
  }
  free(pcm);
  std::ofstream f(raw, std::ios::binary);
  f.write(reinterpret_cast<const char *>(out.data()), std::streamsize(out.size() * sizeof(short)));
  return bool(f);
}

// What the script does after a frame has been saved: type a key, or press or let go of
// the pointer's first button at a place on the screen.
struct Action
{
  enum Kind { Key, Down, Up } What;
  KeySym Sym;
  int X, Y;
};

// The scripted input of a run, by the frame after which each step is taken. A key or a
// press reaches the show a frame or two after it is made, more on a busy machine: a
// press is held over two frames so that a frame sees the button down.
struct Script
{
  std::vector<std::pair<int, Action>> Steps;
  int Cursor = 2;   // the frame after which the next step is taken

  void Key(KeySym sym, int wait = 1)
  {
    Steps.push_back({Cursor, {Action::Key, sym, 960, 540}});
    Cursor += wait;
  }
  void Hold(int x, int y, int frames)
  {
    Steps.push_back({Cursor, {Action::Down, 0, x, y}});
    Steps.push_back({Cursor + frames, {Action::Up, 0, x, y}});
    Cursor += frames + 1;
  }
  void Click(int x, int y) { Hold(x, y, 2); }
};

// The GUI draws on a plane of 1229.4 x 691.2 units centred on the screen, y up.
int GuiX(double x) { return int(960 + x * 1920.0 / 1229.4); }
int GuiY(double y) { return int(540 - y * 1080.0 / 691.2); }

void Perform(Display *dpy, const Action &a)
{
  XTestFakeMotionEvent(dpy, -1, a.X, a.Y, 0);
  if(a.What == Action::Key)
  {
    // without a window manager the focus follows the pointer
    KeyCode code = XKeysymToKeycode(dpy, a.Sym);
    XTestFakeKeyEvent(dpy, code, True, 0);
    XFlush(dpy);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    XTestFakeKeyEvent(dpy, code, False, 0);
  }
  else
    XTestFakeButtonEvent(dpy, 1, a.What == Action::Down, 0);
  XFlush(dpy);
}

// Distinct colours on a coarse grid: a blank (or one-colour) picture has one.
size_t GridColours(const sImage &img)
{
  std::set<sU32> colours;
  for(sInt y = 0; y < img.SizeY; y += 24)
    for(sInt x = 0; x < img.SizeX; x += 24) colours.insert(img.Data[y * img.SizeX + x] & 0xffffff);
  return colours.size();
}

// A picture as PNG, for any viewer.
bool SavePng(const sImage &img, const std::string &name)
{
  std::vector<unsigned char> rgb(size_t(img.SizeX) * img.SizeY * 3);
  for(size_t i = 0; i < size_t(img.SizeX) * img.SizeY; i++)
  {
    sU32 c = img.Data[i];
    rgb[i * 3] = (c >> 16) & 0xff, rgb[i * 3 + 1] = (c >> 8) & 0xff, rgb[i * 3 + 2] = c & 0xff;
  }
  return stbi_write_png(name.c_str(), img.SizeX, img.SizeY, 3, rgb.data(), img.SizeX * 3) != 0;
}

struct ShowRun
{
  std::string Log;
  int WaitStatus = -1;
};

// The DMX frames the test's widget sends: 24 channels, one of them moved by 100 steps
// from the change frame on.
constexpr int DmxChannels = 24, DmxMoved = 5;
dmxwidget::Bytes DmxFrame(bool moved)
{
  dmxwidget::Bytes b = dmxwidget::Frame(DmxChannels, 3);
  if(moved) b[6 + DmxMoved] = sU8(b[6 + DmxMoved] + 100);
  return b;
}

// Starts the show (this program again, as the show) in the build folder, which holds the
// data tree; takes each step of the script once the frame before it has been saved; plays
// the DMX widget, whose channel moves from the change frame on; and waits for the show to
// end by itself.
ShowRun RunShow(const sparktest::TempDir &dir, int frames, const Script &script, int learnFrame, int changeFrame)
{
  ShowRun run;
  const std::string logName = dir.Path + "/show.log";
  dmxwidget::FakeWidget widget;
  char self[4096] = {};
  if(readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0) return run;
  pid_t pid = fork();
  if(pid == 0)
  {
    if(chdir(TWDATA_DIR "/..") != 0) _exit(126);
    FILE *log = fopen(logName.c_str(), "w");
    if(!log) _exit(126);
    dup2(fileno(log), 1);
    dup2(fileno(log), 2);
    setenv("TMPDIR", dir.Path.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", (dir.Path + "/music.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", (dir.Path + "/out.raw").c_str(), 1);
    setenv("SPARK_SHOWRUN_DMX", widget.Path.c_str(), 1);
    std::string learn = std::to_string(learnFrame) + "," + std::to_string(changeFrame) + "," + std::to_string(frames);
    setenv("SPARK_SHOWRUN_LEARN", learn.c_str(), 1);
    std::string count = std::to_string(frames);
    execl(self, self, "--show", "-frames", count.c_str(), "-capture", static_cast<char *>(nullptr));
    _exit(127);
  }
  if(pid < 0) return run;
  Display *dpy = XOpenDisplay(nullptr);
  size_t next = 0;
  int status = 0, saved = 0;
  // a frame in software rendering takes about a second (several in the sanitizer
  // builds): the limit is generous
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1800);
  for(;;)
  {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if(done == pid) break;
    if(std::chrono::steady_clock::now() > deadline)
    {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    while(Exists(FrameName(dir.Path, saved + 1))) saved++;
    while(dpy && next < script.Steps.size() && saved >= script.Steps[next].first) Perform(dpy, script.Steps[next++].second);
    // the widget sends only once the show has greeted it (the line is raw then)
    if(widget.Greeted > 0) widget.Send(DmxFrame(saved >= changeFrame));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if(dpy) XCloseDisplay(dpy);
  widget.Hangup();
  run.WaitStatus = status;
  std::ifstream f(logName);
  std::stringstream s;
  s << f.rdbuf();
  run.Log = s.str();
  return run;
}

// The scenes the log names: registered (and whether resident), and the frame from which
// each was current, the first time.
struct ShowScenes
{
  std::map<int, std::string> Registered;
  std::set<int> Resident;
  std::vector<std::pair<int, int>> Current;   // frame, scene from that frame on
};

ShowScenes ReadScenes(const std::string &log)
{
  ShowScenes out;
  std::regex registered(R"(\] +scene (\d+) (\S+)( \(resident\))?\n)"), current(R"(frame (\d+): scene (\d+) \S+ current)");
  for(auto it = std::sregex_iterator(log.begin(), log.end(), registered); it != std::sregex_iterator(); ++it)
  {
    int index = std::stoi((*it)[1]);
    out.Registered[index] = (*it)[2];
    if((*it)[3].matched) out.Resident.insert(index);
  }
  for(auto it = std::sregex_iterator(log.begin(), log.end(), current); it != std::sregex_iterator(); ++it)
    out.Current.push_back({std::stoi((*it)[1]), std::stoi((*it)[2])});
  return out;
}

// The reddish pixels where the GUI's red switches (mute, lock) stand while it is shown.
sInt Reddish(const sImage &img)
{
  sInt count = 0;
  for(sInt y = 64; y < 110; y++)
    for(sInt x = 1300; x < 1740; x++)
    {
      sU32 c = img.Data[y * img.SizeX + x];
      sInt r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
      count += r > g + 48 && r > b + 48;
    }
  return count;
}
}

// A run of the show as a VJ drives it: it starts and prints the time to its first frame,
// plays the stand-in music through its sound input, shows the GUI on its key, scrolls
// the scene tiles and picks every tile in turn, hides the GUI again, and ends by itself
// with exit code 0 and no leak report. Every scene that was registered and has a tile
// (the scene table's places before the resident Global scene) becomes current on its
// tile; each frame saved has a picture in it. A contact sheet with one frame of each
// scene is left for a person to look at.
TEST(ShowRun, ScriptedRunUnderTheTestDisplay)
{
  if(!getenv("DISPLAY")) GTEST_SKIP() << "no display";
  sparktest::TempDir dir;
  int rate = 0;
  ASSERT_TRUE(WriteRawMusic(TWDATA_DIR "/Tarnglow.ogg", dir.Path + "/music.raw", rate));
  EXPECT_EQ(rate, 44100) << "the sound input reads 44.1 kHz";

  // the scene tiles: the GUI offers the table's places 0 to 12, side by side 172.288
  // units apart at the height of -7, scrolled by the slider below them (which moves
  // towards where it is held); held at its left end the first tile stands at -241, at its
  // middle the seventh at 5, at its right end the last at 251. The tiles of the scenes
  // the table has are picked; after each pick the GUI hides for a frame of the scene
  // alone.
  constexpr int Tiles = 13;
  constexpr double TileStep = 172.288, TileY = -7, SliderY = -82;
  auto wanted = [](int n) { return sShowSceneTable[n].Make && !(sShowSceneTable[n].Flags & 0x100); };
  Script script;
  std::vector<int> alone;   // frames with the GUI hidden, one after each pick
  auto pick = [&](double x) {
    script.Click(GuiX(x - 10), GuiY(TileY));
    script.Key(XK_period, 2);
    alone.push_back(script.Cursor);
    script.Key(XK_period, 1);
  };
  const int beforeGui = script.Cursor;
  script.Key(XK_period, 3);
  // the slider's three places: where it is held, the tiles shown there and where the first
  // of them stands
  const struct { double Slider; int First, Last; double X; } scrolls[] = {
      {-200, 0, 5, -241}, {10, 6, 6, 5}, {230, 7, Tiles - 1, 251 - 5 * TileStep}};
  for(const auto &sc : scrolls)
  {
    bool any = false;
    for(int n = sc.First; n <= sc.Last; n++) any |= wanted(n);
    if(!any) continue;
    script.Hold(GuiX(sc.Slider), GuiY(SliderY), 8);
    for(int n = sc.First; n <= sc.Last; n++)
      if(wanted(n)) pick(sc.X + (n - sc.First) * TileStep);
  }
  const int guiHidden = script.Cursor;
  script.Key(XK_period, 4);
  const int frames = script.Cursor;

  // the controls: learn baselines after the GUI came up, the controls moved a few frames
  // later
  const int learnFrame = beforeGui + 6, changeFrame = beforeGui + 10;
  ShowRun run = RunShow(dir, frames, script, learnFrame, changeFrame);
  ASSERT_TRUE(WIFEXITED(run.WaitStatus)) << run.Log;
  EXPECT_EQ(WEXITSTATUS(run.WaitStatus), 0) << run.Log;
  EXPECT_EQ(run.Log.find("Memory Leak"), std::string::npos) << run.Log;
  // in the sanitizer builds: nothing undefined was done on the way
  EXPECT_EQ(run.Log.find("runtime error:"), std::string::npos) << run.Log;

  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.Log, m, std::regex("first frame (\\d+) ms after start"))) << run.Log;
  std::printf("start-up to the first frame: %s ms\n", m[1].str().c_str());
  RecordProperty("startup_ms", m[1].str());

  // the DMX widget's and the MIDI controller's values arrived, and the moved control of
  // each kind was learnt
  EXPECT_NE(run.Log.find("showrun: frame"), std::string::npos) << run.Log;
  EXPECT_TRUE(std::regex_search(run.Log, std::regex("dmx " + std::to_string(DmxChannels) + " channels"))) << run.Log;
  EXPECT_TRUE(std::regex_search(run.Log, std::regex("midi controller " + std::to_string(showchild::MidiController) + " at")))
      << run.Log;
  EXPECT_TRUE(std::regex_search(run.Log, std::regex("learnt dmx channel " + std::to_string(DmxMoved) + "\n")))
      << run.Log;
  EXPECT_TRUE(std::regex_search(run.Log, std::regex("learnt midi controller " + std::to_string(showchild::MidiController) + "\n")))
      << run.Log;

  // every scene with a tile became current on its tile
  ShowScenes scenes = ReadScenes(run.Log);
  ASSERT_TRUE(scenes.Registered.count(0)) << run.Log;
  for(const auto &[index, name] : scenes.Registered)
  {
    if(scenes.Resident.count(index) || index >= Tiles) continue;
    EXPECT_TRUE(std::any_of(scenes.Current.begin(), scenes.Current.end(), [&](auto c) { return c.second == index; }))
        << name << " never became current";
  }
  // a frame of each scene alone: the first of the frames without the GUI that shows it
  std::map<int, int> shots;   // scene -> frame
  for(int f : alone)
  {
    int current = -1;
    for(auto [frame, scene] : scenes.Current)
      if(frame <= f) current = scene;
    if(current >= 0) shots.emplace(current, f);
  }

  // every frame saved, and drawn but where a scene fades in from black after a pick
  int blank = 0;
  for(int n = 1; n <= frames; n++)
  {
    sImage frame;
    ASSERT_TRUE(frame.Load(plat::ToUtf16(FrameName(dir.Path, n)).c_str())) << n;
    ASSERT_EQ(frame.SizeX, 1920);
    ASSERT_EQ(frame.SizeY, 1080);
    blank += GridColours(frame) <= 8;
  }
  EXPECT_LT(blank, frames / 10) << "frames without a picture";
  auto reddish = [&](int n) {
    sImage img;
    EXPECT_TRUE(img.Load(plat::ToUtf16(FrameName(dir.Path, n)).c_str())) << n;
    return Reddish(img);
  };
  // the typed key reached the GUI: its red switches cover the show while it is shown,
  // and are gone once it is hidden again
  sInt before = reddish(beforeGui), shown = reddish(guiHidden), after = reddish(frames);
  EXPECT_GT(shown, before + 8000) << "the GUI did not show";
  EXPECT_LT(after, shown - 8000) << "the GUI did not hide";

  // the contact sheet: each scene in the order of the table
  constexpr int ThumbW = 480, ThumbH = 270, Columns = 4;
  const int rows = int(shots.size() + Columns - 1) / Columns;
  ASSERT_GT(rows, 0);
  sImage sheet(ThumbW * Columns, ThumbH * rows);
  sheet.Fill(0xff000000);
  size_t i = 0;
  for(auto [scene, shot] : shots)
  {
    sImage frame;
    ASSERT_TRUE(frame.Load(plat::ToUtf16(FrameName(dir.Path, shot)).c_str()));
    sImage *thumb = frame.Scaled(ThumbW, ThumbH);
    sheet.Blit(thumb, 0, 0, int(i % Columns) * ThumbW, int(i / Columns) * ThumbH, ThumbW, ThumbH);
    sDELETE(thumb);
    i++;
  }
  const char *env = getenv("SPARK_CONTACT_SHEET");
  std::string sheetName = env && *env ? env : "/tmp/sparkvane_contact_sheet.png";
  EXPECT_TRUE(SavePng(sheet, sheetName)) << sheetName;
  std::printf("contact sheet: %s\n", sheetName.c_str());
}
#endif
