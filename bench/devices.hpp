#pragma once
// What the frame benches share: the recording stand-in's own share of a form's device
// calls, and a run through the stand-in followed by one through the real device.

#include "common/gfx_window.hpp"
#include "graphics/internal.hpp"
#include "graphics/recorder.hpp"

#include <SDL2/SDL.h>

#include <chrono>
#include <cstdio>

namespace bench
{
// The device calls of one form (shaders, a state, constants, declaration, streams and the
// draw), made directly on the stand-in count times.
constexpr sInt FormCalls = 9;
inline void MakeFormCalls(RecDevice *rec, sInt count)
{
  static sF32 regs[23 * 4];
  for(sInt i = 0; i < count; i++)
  {
    rec->SetVertexShader(nullptr);
    rec->SetPixelShader(nullptr);
    rec->SetRenderState(plat::gpu::RS_CULLMODE, 2);
    rec->SetVertexShaderConstantF(0, regs, 16);
    rec->SetPixelShaderConstantF(0, regs, 11);
    rec->SetVertexDeclaration(nullptr);
    rec->SetStreamSource(0, nullptr, 0, 32);
    rec->SetIndices(nullptr);
    rec->DrawIndexedPrimitive(plat::gpu::PT_TRIANGLELIST, 0, 0, 4, 0, 2);
  }
}

// Microseconds of count forms' calls on the stand-in, the best of the runs.
inline double FormCallMicros(RecDevice *rec, sInt count, sInt runs)
{
  using Clock = std::chrono::steady_clock;
  double best = 1e30;
  for(sInt run = 0; run < runs; run++)
  {
    rec->Log.clear();
    auto t0 = Clock::now();
    MakeFormCalls(rec, count);
    double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    if(us < best) best = us;
  }
  rec->Log.clear();
  return best;
}

// Starts the graphics at the size on the recording stand-in and calls run("stand-in", its
// device), then on the real device in a hidden window (Xvfb, or SDL's off-screen driver)
// and calls run("real device", nullptr).
template <class Run> void OnBothDevices(sInt width, sInt height, Run run)
{
  RecApi *api = new RecApi;
  sSetGpuApi(api);
  sSetGfxWindow(reinterpret_cast<SDL_Window *>(sDInt(1)));
  sU32 flags = 0;
  sInt w = width, h = height;
  sInitScreenMode(flags, w, h);
  sInitGfx(flags, w, h);
  run("stand-in", api->Device);
  sExitGfx();
  sSetGfxWindow(nullptr);
  sSetGpuApi(nullptr);
  CurrentScreenMode = sScreenMode();

  SDL_Window *win = OpenGfxWindow("bench", width, height);
  if(!win) std::printf("real device: no video: %s\n", SDL_GetError());
  else if(sIsGfxActive()) run("real device", nullptr);
  CloseGfxWindow(win);
}
}
