// Reading the live recording as the show does at its start: the tree's
// "LiveRecordingData.txt" (18,000 lines) is read into a fresh table a number of times and
// the main thread's CPU of the best and the median read is printed with the machine's load.
//   bench_live_recording [runs] [file]

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "base/textbuffer.hpp"
#include "platform/text/utf.hpp"
#include "show/controls.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace
{
void Quiet(const sChar *, void *) {}

double CpuMs()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}
}  // namespace

int main(int argc, char **argv)
{
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  std::u16string name = plat::ToUtf16(argc > 2 ? argv[2] : TWDATA_DIR "/LiveRecordingData.txt");
  sInitMemorySystem();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  sSetDebugOutputCapture(&Quiet, nullptr);

  std::vector<double> ms;
  sInt lines = 0;
  for(int r = 0; r < runs; r++)
  {
    auto controls = std::make_unique<SceneControls>();
    double t0 = CpuMs();
    lines = LoadLiveRecording(controls.get(), name.c_str());
    ms.push_back(CpuMs() - t0);
  }
  std::sort(ms.begin(), ms.end());
  double load[3] = {};
  getloadavg(load, 3);
  printf("live recording: %d lines, main thread CPU best of %d %.2f ms, median %.2f ms (load %.1f %.1f %.1f)\n",
         lines, runs, ms.front(), ms[ms.size() / 2], load[0], load[1], load[2]);

  sSetDebugOutputCapture(nullptr, nullptr);
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return lines > 0 ? 0 : 1;
}
