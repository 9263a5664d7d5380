#pragma once
// The 3D frame as the frame driver calls it: screen mode, graphics start and end, and the
// bracket of every frame. Until the graphics back end takes these over, they keep an
// OpenGL context on the main window, clear it at the start of a frame and show it at the end.

#include "base/types.hpp"

// May replace the size by an already chosen screen mode and add sISF_FULLSCREEN.
void sInitScreenMode(sU32 &flags, sInt &width, sInt &height);
// Starts the graphics on the main window.
void sInitGfx(sU32 flags, sInt width, sInt height);
void sExitGfx();
// The window's client size changed (ignored for 0 or an unchanged size).
void sSetScreenSize(sInt width, sInt height);
void sGetScreenSize(sInt &width, sInt &height);
// One 3D frame: sRender3DBegin, the application's OnPaint3D, sRender3DEnd.
void sPaintFrame();
// 1 when a frame may be drawn (it is begun), 0 when not.
sBool sRender3DBegin();
void sRender3DEnd(sBool present);
// The colour the frame starts with (0xAARRGGBB).
void sSetFrameClearColor(sU32 color);
