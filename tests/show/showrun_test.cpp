// The show program run as a VJ starts it, without a person: the generated data tree, the
// stand-in music on the sound input through SDL's disk driver, fixed-step mode saving every
// frame, and keys typed through the X server's test extension. The frames it saved are
// looked at and a contact sheet of them is left for a person to look at (the path is
// printed; SPARK_CONTACT_SHEET names another).
#include "common/temp_dir.hpp"
#include "graphics/image.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>
#include <stb/stb_vorbis.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// Types one key into whatever window has the focus, the pointer resting in the middle of
// the screen (without a window manager the focus follows the pointer).
void TypeKey(Display *dpy, KeySym sym)
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

// Starts the program in the build folder (which holds the data tree), types each key once
// the frame before it has been saved, and waits for the program to end by itself.
ShowRun RunShow(const sparktest::TempDir &dir, int frames, const std::vector<std::pair<int, KeySym>> &keys)
{
  ShowRun run;
  const std::string logName = dir.Path + "/show.log";
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
    std::string count = std::to_string(frames);
    execl(SPARKVANE_PROGRAM, SPARKVANE_PROGRAM, "-frames", count.c_str(), "-capture", static_cast<char *>(nullptr));
    _exit(127);
  }
  if(pid < 0) return run;
  Display *dpy = XOpenDisplay(nullptr);
  size_t next = 0;
  int status = 0;
  // a frame in software rendering takes about a second: the limit is generous
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(900);
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
    if(dpy && next < keys.size() && Exists(FrameName(dir.Path, keys[next].first)))
      TypeKey(dpy, keys[next++].second);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if(dpy) XCloseDisplay(dpy);
  run.WaitStatus = status;
  std::ifstream f(logName);
  std::stringstream s;
  s << f.rdbuf();
  run.Log = s.str();
  return run;
}
}

// A run of the show: it starts and prints the time to its first frame, plays the stand-in
// music through its sound input, shows the GUI on its key, saves every frame with a
// picture in it and ends by itself with exit code 0 and no leak report.
TEST(ShowRun, ScriptedRunUnderTheTestDisplay)
{
  if(!getenv("DISPLAY")) GTEST_SKIP() << "no display";
  sparktest::TempDir dir;
  int rate = 0;
  ASSERT_TRUE(WriteRawMusic(TWDATA_DIR "/Tarnglow.ogg", dir.Path + "/music.raw", rate));
  EXPECT_EQ(rate, 44100) << "the sound input reads 44.1 kHz";

  // the GUI shows and hides on '.' while the input lock is on
  constexpr int Frames = 36, GuiShown = 8, GuiHidden = 24;
  ShowRun run = RunShow(dir, Frames, {{GuiShown, XK_period}, {GuiHidden, XK_period}});
  ASSERT_TRUE(WIFEXITED(run.WaitStatus)) << run.Log;
  EXPECT_EQ(WEXITSTATUS(run.WaitStatus), 0) << run.Log;
  EXPECT_EQ(run.Log.find("Memory Leak"), std::string::npos) << run.Log;
  // in the sanitizer builds: nothing undefined was done on the way
  EXPECT_EQ(run.Log.find("runtime error:"), std::string::npos) << run.Log;

  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.Log, m, std::regex("first frame (\\d+) ms after start"))) << run.Log;
  std::printf("start-up to the first frame: %s ms\n", m[1].str().c_str());
  RecordProperty("startup_ms", m[1].str());

  // every frame saved and drawn
  sImage frames[Frames + 1];
  for(int n = 1; n <= Frames; n++)
  {
    ASSERT_TRUE(frames[n].Load(plat::ToUtf16(FrameName(dir.Path, n)).c_str())) << n;
    ASSERT_EQ(frames[n].SizeX, 1920);
    ASSERT_EQ(frames[n].SizeY, 1080);
    EXPECT_GT(GridColours(frames[n]), 8u) << "frame " << n << " is blank";
  }
  // the typed key reached the GUI: its red switches (mute, lock, active) cover the show
  // while it is shown, and are gone once it is hidden again
  auto reddish = [&](int n) {
    sInt count = 0;
    for(sInt i = 0; i < 1920 * 1080; i++)
    {
      sInt r = (frames[n].Data[i] >> 16) & 0xff, g = (frames[n].Data[i] >> 8) & 0xff, b = frames[n].Data[i] & 0xff;
      count += r > g + 48 && r > b + 48;
    }
    return count;
  };
  // a typed key reaches the show some frames after it is typed, more of them on a busy
  // machine: the GUI counts as shown when any frame between the two keys shows it
  sInt shown = 0, shownAt = GuiHidden - 1;
  for(int n = GuiShown + 1; n < GuiHidden; n++)
    if(reddish(n) > shown) shown = reddish(n), shownAt = n;
  EXPECT_GT(shown, reddish(GuiShown - 1) + 2000) << "the GUI did not show";
  EXPECT_LT(reddish(Frames), shown - 2000) << "the GUI did not hide";
  // the show moves on the music's clock
  sInt differing = 0;
  for(sInt i = 0; i < 1920 * 1080; i++) differing += frames[GuiShown - 1].Data[i] != frames[Frames].Data[i];
  EXPECT_GT(differing, 1920 * 1080 / 100) << "the picture stood still";

  // the contact sheet: the show, the show under the GUI, the show again
  const int picks[] = {GuiShown - 1, shownAt, Frames};
  constexpr int ThumbW = 480, ThumbH = 270;
  sImage sheet(ThumbW * 3, ThumbH);
  for(int i = 0; i < 3; i++)
  {
    sImage *thumb = frames[picks[i]].Scaled(ThumbW, ThumbH);
    sheet.Blit(thumb, 0, 0, i * ThumbW, 0, ThumbW, ThumbH);
    sDELETE(thumb);
  }
  const char *env = getenv("SPARK_CONTACT_SHEET");
  std::string sheetName = env && *env ? env : "/tmp/sparkvane_contact_sheet.png";
  EXPECT_TRUE(SavePng(sheet, sheetName)) << sheetName;
  std::printf("contact sheet: %s\n", sheetName.c_str());
}
#endif
