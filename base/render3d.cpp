// The frame functions' table, and its stand-ins: the 3D frame over an OpenGL context on the
// main window, cleared at the start and swapped at the end. A graphics back end installs its
// own table in their place.
#include "base/render3d.hpp"
#include "base/app.hpp"
#include "base/framemem.hpp"
#include "base/log.hpp"
#include "base/window.hpp"

#include "platform/text/utf.hpp"

#include <SDL.h>

namespace
{
using GlClearColorFunc = void (*)(float, float, float, float);
using GlClearFunc = void (*)(unsigned);
using GlViewportFunc = void (*)(int, int, int, int);
constexpr unsigned GlColorBufferBit = 0x4000;
constexpr unsigned GlDepthBufferBit = 0x100;

SDL_GLContext Context = nullptr;
SDL_Window *ContextWindow = nullptr;
GlClearColorFunc GlClearColor = nullptr;
GlClearFunc GlClear = nullptr;
GlViewportFunc GlViewport = nullptr;
sInt ScreenX = 0;
sInt ScreenY = 0;
sU32 ClearColor = 0xff000000;
sBool InFrame = 0;

void StandInInitScreenMode(sU32 &, sInt &, sInt &)
{
  // no screen mode is chosen before the window: the requested size stands
}

void StandInInitGfx(sU32, sInt width, sInt height)
{
  ScreenX = width;
  ScreenY = height;
  if(Context) return;
  plat::Window *window = sGetMainWindow();
  SDL_Window *sdl = window ? window->GetSdlWindow() : nullptr;
  if(!sdl)
  {
    sLogF(u"gfx", u"sInitGfx: no window\n");
    return;
  }
  Context = SDL_GL_CreateContext(sdl);
  if(!Context)
  {
    sLogF(u"gfx", u"sInitGfx: cannot make an OpenGL context: %s\n", plat::ToUtf16(SDL_GetError()).c_str());
    return;
  }
  ContextWindow = sdl;
  GlClearColor = reinterpret_cast<GlClearColorFunc>(SDL_GL_GetProcAddress("glClearColor"));
  GlClear = reinterpret_cast<GlClearFunc>(SDL_GL_GetProcAddress("glClear"));
  GlViewport = reinterpret_cast<GlViewportFunc>(SDL_GL_GetProcAddress("glViewport"));
  // frames follow the display's retrace where the system offers it
  SDL_GL_SetSwapInterval(1);
}

void StandInExitGfx()
{
  if(Context) SDL_GL_DeleteContext(Context);
  Context = nullptr;
  ContextWindow = nullptr;
  GlClearColor = nullptr;
  GlClear = nullptr;
  GlViewport = nullptr;
  InFrame = 0;
}

void StandInSetScreenSize(sInt width, sInt height)
{
  if(width <= 0 || height <= 0) return;
  ScreenX = width;
  ScreenY = height;
}

void StandInGetScreenSize(sInt &width, sInt &height)
{
  width = ScreenX;
  height = ScreenY;
}

void StandInSetFrameClearColor(sU32 color) { ClearColor = color; }

sBool StandInRender3DBegin()
{
  if(!Context || !GlClear)
  {
    sLogF(u"gfx", u"sRender3DBegin() fail: not active\n");
    return 0;
  }
  if(InFrame) return 0;
  plat::Window *window = sGetMainWindow();
  if(!window || window->GetSdlWindow() != ContextWindow)
  {
    sLogF(u"gfx", u"sRender3DBegin() fail: not active\n");
    return 0;
  }
  SDL_GL_MakeCurrent(ContextWindow, Context);
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(ContextWindow, &w, &h);
  if(GlViewport) GlViewport(0, 0, w, h);
  GlClearColor(((ClearColor >> 16) & 0xff) / 255.0f, ((ClearColor >> 8) & 0xff) / 255.0f, (ClearColor & 0xff) / 255.0f,
               ((ClearColor >> 24) & 0xff) / 255.0f);
  GlClear(GlColorBufferBit | GlDepthBufferBit);
  InFrame = 1;
  return 1;
}

void StandInRender3DEnd(sBool present)
{
  if(!InFrame) return;
  InFrame = 0;
  if(present && ContextWindow) SDL_GL_SwapWindow(ContextWindow);
  sFlipFrameMemory();
}

void StandInPaintFrame()
{
  if(!StandInRender3DBegin()) return;
  if(sApp *app = sGetApplication()) app->OnPaint3D();
  StandInRender3DEnd(1);
}

const sFrameBackEnd StandIns = {
  StandInInitScreenMode, StandInInitGfx,      StandInExitGfx,       StandInSetScreenSize,        StandInGetScreenSize,
  StandInPaintFrame,     StandInRender3DBegin, StandInRender3DEnd, StandInSetFrameClearColor,
};
sFrameBackEnd Installed = StandIns;
}

const sFrameBackEnd &sGetFrameStandIns() { return StandIns; }
const sFrameBackEnd &sGetFrameBackEnd() { return Installed; }

void sSetFrameBackEnd(const sFrameBackEnd &backEnd)
{
  sVERIFYDESC(!sGetMainWindow(), u"sSetFrameBackEnd: the window exists already");
  sVERIFY(backEnd.InitScreenMode && backEnd.InitGfx && backEnd.ExitGfx && backEnd.SetScreenSize &&
          backEnd.GetScreenSize && backEnd.PaintFrame && backEnd.Render3DBegin && backEnd.Render3DEnd &&
          backEnd.SetFrameClearColor);
  Installed = backEnd;
}
