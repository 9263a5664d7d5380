// The cost of one frame of each scene of the show's scene table at 1920 x 1080: Camera,
// Render, the object list and AfterRender, with the SYNC machine running.
//
// Through the recording stand-in of the gpu device, the stand-in's own work (it formats a
// log line per call) is measured in the same run by making typical device calls directly,
// and taken off per call the frame made: what remains is our CPU time per frame (the main
// thread's CPU clock, steady on a shared machine where wall time is not), printed with its
// ratio to the limit of 3 ms and the machine's load beside it. Through the real device (run under Xvfb with a
// screen of 1920 x 1080, or SDL's off-screen driver) the wall time of the whole frame is
// printed, the driver's work included.
//   bench_scene_frame [frames] [data tree]

#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "platform/text/utf.hpp"
#include "graphics/gpudevice.hpp"
#include "show/guirecords.hpp"
#include "scenes/table.hpp"
#include "show/mainapp.hpp"
#include "show/scene.hpp"
#include "show/sync.hpp"
#include "devices.hpp"
#include "scene_bench.hpp"

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;
constexpr sInt Width = 1920, Height = 1080;
constexpr double LimitMicros = 3000.0;

// The calling thread's CPU time in microseconds.
double ThreadMicros()
{
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

void Run(const char *device, sInt frames, RecDevice *rec)
{
  const double perCall = rec ? bench::FormCallMicros(rec, 200, 20) / (200 * bench::FormCalls) : 0.0;
  // the Slideshow shows the sample pictures of the data tree, as the GUI would hand it
  static SlideshowControl slides;
  sCopyString(slides.path, u"slideshow/pictures");
  for(sInt index = 0; index < SHOW_SCENES; index++)
  {
    const ShowSceneRow &row = sShowSceneTable[index];
    if(!row.Make)
    {
      std::printf("%-12s %-12s not built: its place in the scene table is empty\n", device,
                  plat::ToUtf8(row.Name).c_str());
      continue;
    }
    SyncMachine sync(128.0f);
    Scene *s = bench::MakeScene(row, Width, Height, sync, slides);
    s->RenderMode = 2;
    s->Enter(0);
    sViewport view;
    view.ClipFar = 8192.0f;
    double best = 1e30, sum = 0.0, total = 1e30;
    sInt calls = 0, done = 0;
    for(sInt f = 0; f < frames; f++)
    {
      sync.Update(16);
      s->Variant = f / 4 % 8;   // every camera in turn
      if(rec) rec->Log.clear();
      auto t0 = Clock::now();
      const double c0 = ThreadMicros();
      if(!bench::DrawFrame(s, view, rec ? 0 : 1)) break;
      double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
      if(rec) us = ThreadMicros() - c0;
      total = us < total ? us : total;
      if(rec)
      {
        calls = sInt(rec->Log.size());
        us -= perCall * calls;
      }
      best = us < best ? us : best;
      sum += us;
      done++;
    }
    if(!done)
      std::printf("%-12s %-12s no frame\n", device, plat::ToUtf8(row.Name).c_str());
    else if(rec)
    {
      double load[3] = {0, 0, 0};
      getloadavg(load, 3);
      std::printf("%-12s %-12s %8.3f ms our CPU per frame (best of %d), %8.3f ms mean, %8.3f ms with the stand-in, "
                  "%5d device calls, ratio to 3 ms %.2f, load %.1f\n",
                  device, plat::ToUtf8(row.Name).c_str(), best / 1000.0, done, sum / done / 1000.0, total / 1000.0,
                  calls, best / LimitMicros, load[0]);
    }
    else
      std::printf("%-12s %-12s %8.3f ms per frame (best), %8.3f ms mean, driver included\n", device,
                  plat::ToUtf8(row.Name).c_str(), best / 1000.0, sum / done / 1000.0);
    s->Exit();
    sDELETE(s);
  }
}
}  // namespace

int main(int argc, char **argv)
{
  const bench::SceneBench setup(argc, argv, 32);
  sPartitionMemory(64 << 20, 1 << 20);
  bench::OnBothDevices(Width, Height, [&](const char *device, RecDevice *rec) { Run(device, setup.Frames, rec); });
  sPartitionMemory(0, 0);
  return 0;
}
