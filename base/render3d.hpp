#pragma once
// The 3D frame as the frame driver calls it: screen mode, graphics start and end, and the
// bracket of every frame. The frame driver reaches these through a table of functions.
// The table starts with stand-ins that keep an OpenGL context on the main window, clear it
// at the start of a frame and show it at the end; a graphics back end installs its own
// table with sSetFrameBackEnd before sInit.

#include "base/types.hpp"

struct sFrameBackEnd
{
  // May replace the size by an already chosen screen mode and add sISF_FULLSCREEN.
  void (*InitScreenMode)(sU32 &flags, sInt &width, sInt &height);
  // Starts the graphics on the main window.
  void (*InitGfx)(sU32 flags, sInt width, sInt height);
  void (*ExitGfx)();
  // The window's client size changed (ignored for 0 or an unchanged size).
  void (*SetScreenSize)(sInt width, sInt height);
  void (*GetScreenSize)(sInt &width, sInt &height);
  // One 3D frame: Render3DBegin, the application's OnPaint3D, Render3DEnd.
  void (*PaintFrame)();
  // 1 when a frame may be drawn (it is begun), 0 when not.
  sBool (*Render3DBegin)();
  void (*Render3DEnd)(sBool present);
  // The colour the frame starts with (0xAARRGGBB).
  void (*SetFrameClearColor)(sU32 color);
};

// The stand-ins over a plain OpenGL context.
const sFrameBackEnd &sGetFrameStandIns();
// The table in use (the stand-ins until another one is installed).
const sFrameBackEnd &sGetFrameBackEnd();
// Installs a back end; every function must be given. Not while the graphics run: the
// window must not exist yet (or any more).
void sSetFrameBackEnd(const sFrameBackEnd &backEnd);
