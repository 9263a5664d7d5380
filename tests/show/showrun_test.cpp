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

#include <fcntl.h>
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
int LearnFrame = 0, ChangeFrame = 0, EndFrame = 0, FirstSwitch = 0;
constexpr int SwitchPeriod = 5;
// the scenes switched to: those the table has, but the resident ones
bool Wanted(int n) { return sShowSceneTable[n].Make && !(sShowSceneTable[n].Flags & 0x100); }
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

// The script's steps after a frame reach the show at a known frame, however busy the
// machine: before each frame the show waits until the test has taken every step due after
// the frames saved so far (it writes their count into "script.done" once the X server has
// them). A test that went away holds the show up for a minute at most.
int SavedFrames = 0;
void WaitForScript()
{
  const char *tmp = getenv("TMPDIR");
  if(!tmp) return;
  const std::string dir = tmp;
  char name[64];
  for(;;)
  {
    std::snprintf(name, sizeof(name), "/Tarnwhistle_trailer_%06d.bmp", SavedFrames + 1);
    if(access((dir + name).c_str(), F_OK) != 0) break;
    SavedFrames++;
  }
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while(std::chrono::steady_clock::now() < limit)
  {
    int done = -1;
    if(FILE *f = std::fopen((dir + "/script.done").c_str(), "r"))
    {
      if(std::fscanf(f, "%d", &done) != 1) done = -1;
      std::fclose(f);
    }
    if(done >= SavedFrames) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
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
  if(!cleared && m->LiveTable)
  {
    cleared = true;
    for(sInt i = 0; i < sLIVE_LINES; i++)
      for(sInt w = 0; w < sLIVE_WORDS; w++) m->LiveTable[i][w] = 0;
  }
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
  if(FirstSwitch > 0 && f >= FirstSwitch && (f - FirstSwitch) % SwitchPeriod == 0)
  {
    int k = (f - FirstSwitch) / SwitchPeriod;
    for(int n = 0; n < SHOW_SCENES; n++)
      if(Wanted(n) && k-- == 0) m->SwitchScene(n);
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
    std::sscanf(learn, "%d,%d,%d,%d", &showchild::LearnFrame, &showchild::ChangeFrame, &showchild::EndFrame,
                &showchild::FirstSwitch);
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

// The scripted keys of a run, by the frame after which each is typed. The show waits for
// the script before each frame (see the show's side above), so a key typed after frame n
// reaches the show in frame n + 2, however busy the machine.
struct Script
{
  std::vector<std::pair<int, KeySym>> Steps;
  int Cursor = 2;   // the frame after which the next key is typed

  void Key(KeySym sym, int wait = 1)
  {
    Steps.push_back({Cursor, sym});
    Cursor += wait;
  }
};

// Types a key with the pointer in the middle of the screen: without a window manager the
// focus follows the pointer.
void Perform(Display *dpy, KeySym sym)
{
  XTestFakeMotionEvent(dpy, -1, 960, 540, 0);
  KeyCode code = XKeysymToKeycode(dpy, sym);
  XTestFakeKeyEvent(dpy, code, True, 0);
  XFlush(dpy);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  XTestFakeKeyEvent(dpy, code, False, 0);
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
// The first 32 channels drive the control tracks (a desk's first frame moves every track
// it drives, and each brings its GUI page forward): they stay at zero, the widget's own
// values follow them.
constexpr int DmxChannels = 48, DmxMoved = 40;
dmxwidget::Bytes DmxFrame(bool moved)
{
  dmxwidget::Bytes b = dmxwidget::Frame(DmxChannels, 3);
  for(int c = 0; c < 32; c++) b[6 + c] = 0;
  if(moved) b[6 + DmxMoved] = sU8(b[6 + DmxMoved] + 100);
  return b;
}

// A display server of the run's own: the keys it types and the pointer it moves must not
// reach the windows of tests that run beside it on the shared display. Xvfb picks a free
// display number and writes it to a pipe.
struct OwnDisplay
{
  pid_t Pid = -1;
  std::string Name;

  OwnDisplay()
  {
    int fds[2];
    if(pipe(fds) != 0) return;
    Pid = fork();
    if(Pid == 0)
    {
      close(fds[0]);
      std::string fd = std::to_string(fds[1]);
      int devnull = open("/dev/null", O_WRONLY);
      if(devnull >= 0) dup2(devnull, 1), dup2(devnull, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
             static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buf[32] = {};
    ssize_t n = Pid > 0 ? read(fds[0], buf, sizeof(buf) - 1) : 0;
    close(fds[0]);
    if(n > 0) Name = ":" + std::to_string(std::atoi(buf));
  }
  ~OwnDisplay()
  {
    if(Pid > 0) kill(Pid, SIGTERM), waitpid(Pid, nullptr, 0);
  }
};

// Starts the show (this program again, as the show) in the build folder, which holds the
// data tree; takes each step of the script once the frame before it has been saved; plays
// the DMX widget, whose channel moves from the change frame on; and waits for the show to
// end by itself.
ShowRun RunShow(const sparktest::TempDir &dir, int frames, const Script &script, int learnFrame, int changeFrame,
                int firstSwitch)
{
  ShowRun run;
  const std::string logName = dir.Path + "/show.log";
  OwnDisplay display;
  if(display.Name.empty()) return run;
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
    setenv("DISPLAY", display.Name.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", (dir.Path + "/music.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", (dir.Path + "/out.raw").c_str(), 1);
    setenv("SPARK_SHOWRUN_DMX", widget.Path.c_str(), 1);
    std::string learn = std::to_string(learnFrame) + "," + std::to_string(changeFrame) + "," + std::to_string(frames) +
                        "," + std::to_string(firstSwitch);
    setenv("SPARK_SHOWRUN_LEARN", learn.c_str(), 1);
    std::string count = std::to_string(frames);
    execl(self, self, "--show", "-frames", count.c_str(), "-capture", static_cast<char *>(nullptr));
    _exit(127);
  }
  if(pid < 0) return run;
  Display *dpy = XOpenDisplay(display.Name.c_str());
  size_t next = 0;
  int status = 0, saved = 0, acked = -1;
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
    if(saved > acked)
    {
      // the server has every event of the steps taken: the show may draw its next frame
      if(dpy) XSync(dpy, False);
      const std::string ack = dir.Path + "/script.done";
      if(FILE *f = std::fopen((ack + ".new").c_str(), "w"))
      {
        std::fprintf(f, "%d\n", saved);
        std::fclose(f);
        std::rename((ack + ".new").c_str(), ack.c_str());
      }
      acked = saved;
    }
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

// The pixels of that place that differ clearly between two frames.
sInt SwitchesChanged(const sImage &a, const sImage &b)
{
  sInt count = 0;
  for(sInt y = 64; y < 110; y++)
    for(sInt x = 1300; x < 1740; x++)
    {
      const sU32 p = a.Data[y * a.SizeX + x], q = b.Data[y * b.SizeX + x];
      sInt d = 0;
      for(sInt shift : {0, 8, 16}) d = std::max(d, std::abs(sInt((p >> shift) & 0xff) - sInt((q >> shift) & 0xff)));
      count += d > 40;
    }
  return count;
}
}

// A run of the show as a VJ drives it: it starts and prints the time to its first frame,
// plays the stand-in music through its sound input, shows the GUI on its key and hides it
// again, switches through every scene, learns a MIDI controller and a DMX channel, and
// ends by itself with exit code 0 and no leak report. Every scene that was registered
// (the resident ones aside) becomes current; each frame saved has a picture in it. A
// contact sheet with one frame of each scene is left for a person to look at.
TEST(ShowRun, ScriptedRunUnderTheTestDisplay)
{
  if(system("command -v Xvfb > /dev/null") != 0) GTEST_SKIP() << "no Xvfb";
  sparktest::TempDir dir;
  int rate = 0;
  ASSERT_TRUE(WriteRawMusic(TWDATA_DIR "/Tarnglow.ogg", dir.Path + "/music.raw", rate));
  EXPECT_EQ(rate, 44100) << "the sound input reads 44.1 kHz";

  // the GUI shows on its key and hides on it again; then every scene the table has (the
  // resident ones aside) is switched to in turn through the scene machine, as the SYNC
  // programs switch, a few frames each (the GUI's touch run picks a scene on its tile).
  Script script;
  const int beforeGui = script.Cursor;
  script.Key(XK_period, 10);
  const int guiShown = script.Cursor - 1;
  script.Key(XK_period, 3);
  const int firstSwitch = script.Cursor;
  std::vector<int> alone;   // a frame of each scene, a few frames after its switch
  for(int n = 0; n < SHOW_SCENES; n++)
    if(showchild::Wanted(n)) alone.push_back(script.Cursor + 3), script.Cursor += showchild::SwitchPeriod;
  const int frames = script.Cursor + 1;

  // the controls: learn baselines after the GUI came up, the controls moved a few frames
  // later
  const int learnFrame = beforeGui + 6, changeFrame = beforeGui + 10;
  ShowRun run = RunShow(dir, frames, script, learnFrame, changeFrame, firstSwitch);
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

  // every scene but the resident ones became current
  ShowScenes scenes = ReadScenes(run.Log);
  ASSERT_TRUE(scenes.Registered.count(0)) << run.Log;
  for(const auto &[index, name] : scenes.Registered)
  {
    if(scenes.Resident.count(index)) continue;
    EXPECT_TRUE(std::any_of(scenes.Current.begin(), scenes.Current.end(), [&](auto c) { return c.second == index; }))
        << name << " never became current";
  }
  // a frame of each scene: the one a few frames after its switch
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
  sImage before, shown, after;
  for(auto [img, n] : {std::pair{&before, beforeGui}, {&shown, guiShown}, {&after, firstSwitch + 2}})
    ASSERT_TRUE(img->Load(plat::ToUtf16(FrameName(dir.Path, n)).c_str())) << n;
  // the typed key reached the GUI: its red switches cover the show while it is shown, and
  // are gone once it is hidden again (a red scene may stand there then: the switches'
  // place is compared, not counted)
  EXPECT_GT(Reddish(shown), Reddish(before) + 8000) << "the GUI did not show";
  EXPECT_GT(SwitchesChanged(shown, after), 4000) << "the GUI did not hide";

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
