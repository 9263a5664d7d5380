// The show's memory: resident memory and the driver's heap after start-up and after each
// scene's first frames, at 1920 x 1080 on the real device (Mesa's software renderer with
// LIBGL_ALWAYS_SOFTWARE=1), as the show holds them: every scene of the scene table is
// built first (the show builds them all at its start), then each draws its first frames
// in turn and stays built.
//
// The pack file is opened first, as the show opens it at its start.
//
// Columns: the process's resident memory (VmRSS), split into anonymous memory and pages
// of mapped files; the heap in use by the C library's
// allocator (mallinfo2), split into our own allocator's bytes (which it serves too) and
// the rest, the driver's and the libraries' allocations; the resident memory against the
// target of 480 MB.
//   bench_show_memory [frames per scene] [data tree]

#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "platform/text/utf.hpp"
#include "util/packfile.hpp"
#include "show/guirecords.hpp"
#include "scenes/table.hpp"
#include "show/scene.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "devices.hpp"
#include "scene_bench.hpp"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
constexpr sInt Width = 1920, Height = 1080;
constexpr double TargetMB = 480.0;

// One "Name:" line of the process's status, in MB.
double StatusMB(const char *name)
{
  double kb = 0;
  const size_t n = std::strlen(name);
  if(FILE *f = std::fopen("/proc/self/status", "r"))
  {
    char line[256];
    while(std::fgets(line, sizeof(line), f))
      if(std::strncmp(line, name, n) == 0 && line[n] == ':') kb = std::atof(line + n + 1);
    std::fclose(f);
  }
  return kb / 1024.0;
}

double ResidentMB() { return StatusMB("VmRSS"); }

void Line(const char *what)
{
  const struct mallinfo2 m = mallinfo2();
  const double rss = ResidentMB(), heap = double(m.uordblks + m.hblkhd) / 1048576.0;
  const double ours = double(sAllocatedBytes.load()) / 1048576.0;
  std::printf("%-28s resident %6.1f MB (anonymous %6.1f, files %5.1f)  heap in use %6.1f MB: driver and libraries %6.1f MB, ours %6.1f MB  "
              "ratio to %.0f MB %.2f\n",
              what, rss, StatusMB("RssAnon"), StatusMB("RssFile"), heap, heap - ours, ours, TargetMB, rss / TargetMB);
  std::fflush(stdout);
}

void Run(sInt frames)
{
  Line("device open");
  static SlideshowControl slides;
  sCopyString(slides.path, u"slideshow/pictures");
  SyncMachine sync(128.0f);
  std::vector<Scene *> scenes(SHOW_SCENES, nullptr);
  for(sInt index = 0; index < SHOW_SCENES; index++)
  {
    const ShowSceneRow &row = sShowSceneTable[index];
    if(row.Make) scenes[size_t(index)] = bench::MakeScene(row, Width, Height, sync, slides);
  }
  sTrimHeap();   // as the show does once its scenes are built, and at each scene switch
  Line("start-up (every scene built)");
  double steady = 0;
  for(sInt index = 0; index < SHOW_SCENES; index++)
  {
    Scene *s = scenes[size_t(index)];
    if(!s) continue;
    s->RenderMode = 2;
    s->Enter(0);
    sTrimHeap();
    sViewport view;
    view.ClipFar = 8192.0f;
    for(sInt f = 0; f < frames; f++)
    {
      sync.Update(16);
      s->Variant = f % 8;
      if(!bench::DrawFrame(s, view, 1)) break;
    }
    s->Exit();
    const std::string name = "after " + plat::ToUtf8(sShowSceneTable[index].Name);
    Line(name.c_str());
    steady = ResidentMB();
  }
  std::printf("steady show: %.1f MB resident at %d x %d, ratio to the target of %.0f MB %.2f\n", steady, Width, Height,
              TargetMB, steady / TargetMB);
  for(Scene *s : scenes) sDELETE(s);
}
}   // namespace

int main(int argc, char **argv)
{
  const bench::SceneBench setup(argc, argv, 4);
  Line("framework started");
  sAddPackfile(sStartupRecord.PackfileName);
  Line("pack file open");
  sPartitionMemory(ShowFrameMemory, 0);   // as the show takes it
  if(FILE *f = std::fopen("/proc/loadavg", "r"))
  {
    double load = 0;
    if(std::fscanf(f, "%lf", &load) == 1) std::printf("machine load (1 minute) %.1f on %ld cores\n", load, sysconf(_SC_NPROCESSORS_ONLN));
    std::fclose(f);
  }
  bench::OnBothDevices(Width, Height, [&](const char *device, RecDevice *rec) {
    if(!rec) Run(setup.Frames);
    (void)device;
  });
  sPartitionMemory(0, 0);
  return 0;
}
