#pragma once
// The main routine, the main window, its message handling and the frame driver.
//
// There is no game loop: every paint message of the main window is one frame, and with
// continuous painting the end of a frame requests the next paint at once. Keyboard and
// mouse messages become time-stamped input events; the end of the program is announced
// to the application's OnEvent(3).

#include "base/app.hpp"
#include "platform/window/window.hpp"

/****************************************************************************/
/***   Main routine                                                       ***/
/****************************************************************************/

// The application's entry: calls sInit and installs the application with sSetApplication.
using sMainFunc = void (*)();

// The framework's main routine: names the main thread, parses the command line, starts
// memory, the hooks, the key table and the subsystems below level 128, calls mainFunc,
// runs the message loop until the quit message, shuts everything down in order and
// returns the exit code.
int sRunFramework(int argc, char **argv, sMainFunc mainFunc);

// The exit code the main routine returns (0 normal end, 1 when an update was asked for).
void sSetExitCode(sInt code);
sInt sGetExitCode();

// Creates the main window and the graphics, starts raw mouse input and the subsystems
// from level 128 up, and requests the first paint. flags are the sISF_ bits, width and
// height the client size. Returns 1 when the window exists; when it cannot be made (no
// display) the reason is printed, the exit code becomes 1 and the program ends without
// a message loop.
sBool sInit(sU32 flags, sInt width, sInt height);

// A document or web address (1024 characters at most; longer text is cut) to be opened
// after the next painted 3D frame; null clears it.
void sOpenURLLater(const sChar *text);
const sChar *sGetPendingURL();

/****************************************************************************/
/***   The window and its messages                                        ***/
/****************************************************************************/

// The main window; null before sInit and after it was destroyed.
plat::Window *sGetMainWindow();

// The window procedure: handles one message of the main window.
void sWindowProc(const plat::Message &msg);
// One frame (the paint message).
void sWindowPaint();
// The close request (of the window, or of the signal numbered signal): the close hook may
// veto it, else the end of the program is asked for.
void sWindowClose(sInt signal = 0);
// The exit path of the message loop: the application's OnEvent(3), a last collection,
// the destruction of the window. Does nothing once the window is gone.
void sDestroyMainWindow();

// 1 while the application's skip test and the 3D frame run.
sBool sIsFrameInProgress();

/****************************************************************************/
/***   Keys                                                               ***/
/****************************************************************************/

// Fills the key table from the keyboard layout (once per start).
void sBuildKeyTable();
const plat::KeyTable &sGetKeyTable();
