// The cost of drawing a scene's object list: N forms of the common material kinds drawn
// by Scene::RenderObjects, first through the recording stand-in of the gpu device, then
// through the real device (on Xvfb or SDL's off-screen driver).
//
// Through the stand-in, the device's own work (it formats a log line per call) is
// measured in the same run by making the same device calls directly, and taken off: what
// remains is our CPU time per form, printed with its ratio to the target of 1 us.
//   bench_scene_forms [frames]

#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "graphics/gpudevice.hpp"
#include "graphics/shader.hpp"
#include "show/scene.hpp"
#include "show/tmdata.hpp"
#include "devices.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace
{
using Clock = std::chrono::steady_clock;

const TextureEntry Textures[] = {{u"/nonexistent/bench.bmp", nullptr, 0x1001, 0}, {nullptr, nullptr, 0, 0}};
// The kinds most scenes draw with: plain, lit per vertex, lit per pixel, ribbon, normal
// mapped, instanced.
const MaterialEntry Materials[] = {
  {0, 1, 0x13, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},  {4, 1, 0x13, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  {5, 1, 0x13, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},  {6, 1, 0x13, 0x20102, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  {13, 5, 0x13, 0, 3, {0, 0, 0, 0}, {0, 0, 0, 0}}, {15, 1, 0x13, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  {16, 0, 0, 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0}}};
constexpr sInt MaterialRows = 6;

// A scene of n forms sharing one quad.
Scene *MakeScene(sInt n, sGeometry *&quad)
{
  quad = sNEW sGeometry(sGF_TRILIST | sGF_INDEX16, sVertexFormatPosNormUV);
  sF32 *vp;
  sU16 *ip;
  quad->BeginLoad(sVertexFormatPosNormUV, sGF_TRILIST | sGF_INDEX16, sGD_STATIC, 4, 6, (void **)&vp, (void **)&ip);
  for(sInt c = 0; c < 4; c++)
  {
    sF32 v[8] = {sF32(c & 1), sF32(c >> 1), 0, 0, 0, -1, sF32(c & 1), sF32(c >> 1)};
    for(sInt i = 0; i < 8; i++) vp[c * 8 + i] = v[i];
  }
  const sU16 idx[6] = {0, 1, 3, 0, 3, 2};
  for(sInt i = 0; i < 6; i++) ip[i] = idx[i];
  quad->EndLoad();

  Scene *s = sNEW Scene;
  s->CreateTMData(Textures, Materials, 0);
  for(sInt i = 0; i < n; i++)
  {
    Form *f = sNEW Form(i % MaterialRows, quad);
    f->Matrix.EulerXYZ(0.01f * sF32(i), 0.02f * sF32(i), 0);
    f->Matrix.l.Init(sF32(i % 50) - 25, sF32(i / 50 % 40) - 20, 50 + sF32(i % 7));
    s->AddObject(f);
  }
  return s;
}

void PrepareView(sViewport &view)
{
  view.SetTarget();
  view.ZoomX = view.ZoomY = 1.5f;
  view.ClipFar = 5000;
  view.Prepare(15);
}

// Microseconds of one frame of the scene, the best of the frames.
double FrameMicros(Scene *s, sInt frames, RecDevice *rec)
{
  double best = 1e30;
  for(sInt f = 0; f < frames; f++)
  {
    if(rec) rec->Log.clear();
    if(!sRender3DBegin()) return -1;
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0);
    sViewport view;
    PrepareView(view);
    auto t0 = Clock::now();
    s->RenderObjects(&view);
    double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    sRender3DEnd(rec ? 0 : 1);
    if(us < best) best = us;
  }
  return best;
}

void Run(const char *device, sInt frames, RecDevice *rec)
{
  for(sInt n : {100, 1000, 8191})
  {
    sGeometry *quad;
    Scene *s = MakeScene(n, quad);
    double us = FrameMicros(s, frames, rec);

    if(us < 0)
    {
      std::printf("%s: no frame\n", device);
      break;
    }
    if(rec)
    {
      double dev = bench::FormCallMicros(rec, n, frames);
      double ours = (us - dev) / n;
      std::printf("%s  %5d forms: %7.3f us/form total, %7.3f us/form stand-in, %7.3f us/form ours, ratio to 1 us %.2f\n",
                  device, n, us / n, dev / n, ours, ours / 1.0);
    }
    else
    {
      std::printf("%s  %5d forms: %7.3f us/form (our code and the driver)\n", device, n, us / n);
    }
    sDELETE(s);
    sDELETE(quad);
  }
}
}  // namespace

int main(int argc, char **argv)
{
  sInt frames = argc > 1 ? std::atoi(argv[1]) : 50;
  if(frames < 1) frames = 1;
  sInitMemorySystem();
  sInitFileHandlers();
  sInitRootFileHandler();
  sPartitionMemory(64 << 20, 1 << 20);

  bench::OnBothDevices(640, 480, [&](const char *device, RecDevice *rec) { Run(device, frames, rec); });
  sPartitionMemory(0, 0);
  sExitFileHandlers();
  sExitMemorySystem();
  return 0;
}
