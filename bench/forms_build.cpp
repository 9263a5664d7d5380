// What forms cost at the sizes the scenes use: microseconds to build each kind (Init,
// geometry and index buffers included) and, for the kinds that change every frame, the
// per-frame update (simulation and vertex writing into memory of the buffer's size).
// Each figure is also given as a ratio to plainly writing the same number of vertex
// bytes, measured in the same run.
//   bench_forms [repeats]

#include "base/file.hpp"
#include "base/gdi.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "common/gfx_window.hpp"
#include "graphics/graphics.hpp"
#include "show/procforms.hpp"
#include "show/textform.hpp"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace
{
sInt Repeats = 20;

// The best of the repeats, in microseconds.
double Time(const std::function<void()> &work)
{
  double best = 1e30;
  for(sInt r = 0; r < Repeats; r++)
  {
    auto t0 = std::chrono::steady_clock::now();
    work();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  return best;
}

// Writing the bytes plainly: the reference every figure is compared with.
double Reference(size_t bytes)
{
  std::vector<sU8> mem(bytes);
  sU8 value = 0;
  return Time([&] {
    std::memset(mem.data(), ++value, bytes);
    asm volatile("" : : "r"(mem.data()) : "memory");
  });
}

void Report(const char *what, double us, size_t bytes)
{
  double ref = Reference(bytes);
  std::printf("%-44s %10.1f us   %8.1f x a plain write of %zu bytes\n", what, us, us / std::max(ref, 0.01), bytes);
}

// A form made and destroyed per repeat, so each build starts from nothing.
template <class F, class I> double Build(I &&init)
{
  return Time([&] {
    F *f = sNEW F(0);
    init(*f);
    sDelete(f);
  });
}
}   // namespace

int main(int argc, char **argv)
{
  if(argc > 1) Repeats = std::max(1, std::atoi(argv[1]));
  sInitMemorySystem();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  SDL_Window *window = OpenGfxWindow("forms bench", 64, 64);
  if(!window)
  {
    std::fprintf(stderr, "no video: %s\n", SDL_GetError());
    return 1;
  }
  if(!sIsGfxActive())
  {
    std::fprintf(stderr, "no graphics device\n");
    return 1;
  }
  sInitGDI();
  const sF32 pi = 3.14159265f;

  std::printf("building (Init)\n");
  const sF32 angles[4] = {pi, 2 * pi, -pi / 2, -pi};
  Report("super shape 256 x 256", Build<SuperShapeForm>([&](SuperShapeForm &f) {
           f.SetPreset(0);
           f.Init(ArrayForm::PLANE, 1, 1, 256, 256, angles);
         }), 256 * 256 * sizeof(FormVertexPNU));
  Report("sphere 128 x 128, tangent format",
         Build<ArrayForm>([](ArrayForm &f) { f.Init(ArrayForm::SPHERE, 1, 0, 128, 128); }),
         128 * 128 * sizeof(FormVertexTangent));
  Report("cube", Build<CubeForm>([](CubeForm &f) { f.Init(1, 1, 1, 1); }), 24 * sizeof(FormVertexPNU));
  Report("strip, 1000 segments", Build<StripForm>([](StripForm &f) { f.Init(0, 1, 1000, 1, 0, -1); }),
         2002 * sizeof(FormVertexPNU));
  Report("points, 10000", Build<PointForm>([](PointForm &f) { f.Init(10000, 0); }), 40000 * sizeof(FormVertexPCUU));
  Report("particles, 10000", Build<ParticleForm>([](ParticleForm &f) { f.Init(ParticleForm::INDICES, 10000, 1); }),
         120000 * sizeof(FormVertexPNU));
  Report("instanced boxes, 1000", Build<InstanceForm>([](InstanceForm &f) { f.Init(1000, 1, 0.1f); }),
         1000 * 64);
  Report("text form, font preset 1", Build<TextForm>([](TextForm &f) { f.SetFont(nullptr, 1); }),
         193 * 4 * sizeof(FormVertexPNU));

  std::printf("per frame\n");
  {
    SuperShapeForm f(0);
    f.Init(ArrayForm::PLANE, 2, 1, 256, 256, angles);
    std::vector<FormVertexPNU> v(256 * 256);
    Report("array form rebuild 256 x 256 (FRAME)", Time([&] { f.WriteVertices(v.data()); }), v.size() * sizeof(v[0]));
  }
  {
    PointForm f(0);
    f.Init(10000, 0);
    std::vector<FormVertexPCUU> v(40000);
    Report("points, 10000", Time([&] { f.WriteVertices(v.data()); }), v.size() * sizeof(v[0]));
  }
  {
    ParticleForm f(0);
    f.Init(ParticleForm::INDICES, 10000, 1);
    f.Emit();
    sViewport vp;
    vp.SetTarget(nullptr);
    vp.Camera.l.Init(0, 0, -100);
    vp.Prepare(15);
    std::vector<FormVertexPNU> v(size_t(f.TotalVertices));
    Report("particles, 10000: step", Time([&] { f.Step(); }), sizeof(Particle) * 10000);
    Report("particles, 10000: streak vertices", Time([&] { f.WriteVertices(v.data(), vp); }), v.size() * sizeof(v[0]));
  }
  {
    InstanceForm f(0);
    f.Init(1000, 1, 0.1f);
    std::vector<sF32> rows(16 * 1000);
    Report("instanced boxes, 1000", Time([&] { f.WriteInstances(rows.data()); }), rows.size() * 4);
  }
  {
    TextForm *f = sNEW TextForm(0);
    f->SetFont(nullptr, 2);
    std::vector<FormVertexPNU> v;
    Report("text: 40 lines of 60 characters", Time([&] {
             f->Clear();
             for(sInt i = 0; i < 40; i++)
               f->PrintLeft(u"The quick brown fox jumps over the lazy dog, 0123456789 ....", 0, sF32(-24 * i));
             v.resize(size_t(4 * f->CharCount));
             f->WriteVertices(v.data());
           }), 2400 * 4 * sizeof(FormVertexPNU));
    sDelete(f);
  }

  CloseGfxWindow(window);
  return 0;
}
