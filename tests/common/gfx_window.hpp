#pragma once
// A hidden window with the framework's graphics on the real device, for the rendered tests
// and the benches that draw.

#include "graphics/graphics.hpp"

#include <SDL2/SDL.h>

// A hidden window of w x h and the framework's graphics on it (SDL's off-screen driver
// when there is no display); null when there is no video.
inline SDL_Window *OpenGfxWindow(const char *title, sInt w, sInt h)
{
  if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
  {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
  }
  SDL_Window *window = SDL_CreateWindow(title, 0, 0, w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if(!window) return nullptr;
  sU32 flags = 0;
  sInitScreenMode(flags, w, h);
  sSetGfxWindow(window);
  sInitGfx(flags, w, h);
  return window;
}

// Ends the graphics and the window OpenGfxWindow made.
inline void CloseGfxWindow(SDL_Window *&window)
{
  if(sIsGfxActive() || window) sExitGfx();
  sSetGfxWindow(nullptr);
  if(window) SDL_DestroyWindow(window);
  window = nullptr;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
