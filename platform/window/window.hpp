#pragma once
// The program's windows, their messages and the message loop, over SDL2.
//
// Everything here runs on the main thread (the thread that starts video), except the signal
// handlers, which only set a flag.
//
// The loop: PumpMessages waits until something is to be done, then delivers every queued
// message in arrival order, then one Paint message for each window whose repaint was
// requested (Invalidate). A window invalidated while it paints gets its next Paint from the
// next pump, so continuous painting is "paint, invalidate, pump" with one frame per pump.

#include "platform/window/keys.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SDL_Window;

namespace plat
{

/****************************************************************************/
/***   Video system and displays                                          ***/
/****************************************************************************/

// Starts SDL's video and event system (once; later calls only report success). On failure
// the error text says why, for example when there is no display at all.
bool InitVideo(std::u16string &error);
// The class name the desktop knows the program's windows by. It takes effect when video
// starts, unless the user gave one in the environment.
void SetWindowClass(const std::u16string &name);
// Destroys every window still open and stops the video system.
void ExitVideo();
bool IsVideoStarted();

struct DisplayMode
{
  int Width = 0;
  int Height = 0;
  int RefreshRate = 0;   // Hz, 0 when unknown
  int BitsPerPixel = 0;
};

struct DisplayInfo
{
  std::u16string Name;
  int X = 0, Y = 0, Width = 0, Height = 0;   // bounds on the desktop
};

// 0 when video is not started or there is no display.
int GetDisplayCount();
bool GetDisplayInfo(int display, DisplayInfo &info);
// The display's full-screen modes, largest first; empty for an invalid display.
std::vector<DisplayMode> GetDisplayModes(int display);
bool GetDesktopMode(int display, DisplayMode &mode);

/****************************************************************************/
/***   Windows                                                            ***/
/****************************************************************************/

struct Message;
using MessageHandler = std::function<void(const Message &)>;

struct WindowDesc
{
  std::u16string Title;
  int Width = 640;           // client size in pixels
  int Height = 480;
  bool Fullscreen = false;   // full screen on the display, in the display mode nearest the size
  int Display = 0;
  bool Hidden = false;       // create hidden; Show makes it visible
  bool CoverDisplay = false; // a window without frame over the whole display (the size is the display's)
};

class Window
{
public:
  // Creates a window with an OpenGL-capable surface (an OpenGL 3.3 core context can be made
  // on GetSdlWindow()). Starts video when needed. Null and the reason on failure.
  static std::unique_ptr<Window> Create(const WindowDesc &desc, std::u16string &error);
  ~Window();
  Window(const Window &) = delete;
  Window &operator=(const Window &) = delete;

  // Destroys the window; later calls do nothing. The object stays valid and reports a
  // destroyed window: no handle, size 0 x 0, no repaint pending.
  void Destroy();
  bool IsDestroyed() const { return Handle == nullptr; }

  void Show();
  void SetTitle(const std::u16string &title);
  std::u16string GetTitle() const;
  void GetClientSize(int &width, int &height) const;
  // SDL's id of the window, as found in Message::WindowId; 0 once destroyed.
  uint32_t GetId() const { return Id; }
  // The window a graphics context is made on; null once destroyed.
  SDL_Window *GetSdlWindow() const { return Handle; }

  // Requests a repaint: the next pump ends with one Paint message for this window.
  void Invalidate();
  bool IsRepaintPending() const { return RepaintPending; }
  // Clears a pending repaint without painting.
  void Validate() { RepaintPending = false; }

private:
  Window() = default;
  SDL_Window *Handle = nullptr;
  uint32_t Id = 0;
  bool RepaintPending = false;
  friend int PumpMessages(const MessageHandler &, int);
};

/****************************************************************************/
/***   Cursor, capture and system settings                                ***/
/****************************************************************************/

enum class CursorShape
{
  Arrow,
  IBeam,
  Wait,
  Crosshair,
  WaitArrow,
  SizeNWSE,
  SizeNESW,
  SizeWE,
  SizeNS,
  SizeAll,
  No,
  Hand,
};

void ShowCursor(bool show);
bool IsCursorShown();
// Sets one of the system's cursor shapes; false when video is not started or the shape
// cannot be made.
bool SetCursorShape(CursorShape shape);
// Keeps mouse messages coming while a button is held outside the window (capture on), or
// ends that. False when the system refuses.
bool CaptureMouse(bool capture);
// Lets the screen saver and monitor power-down run (true) or keeps them off (false).
void AllowScreenSaver(bool allow);
// Asks the desktop compositor to leave the program's windows alone. Call before windows are
// created. There is no system-wide switch on this platform; always succeeds.
bool DisableDesktopComposition();

// Raw mouse motion: once registered, every mouse motion is also delivered as a RawMotion
// message with the relative motion, before its MouseMove message.
bool RegisterRawMouse(bool enable);
bool IsRawMouseRegistered();
// Relative mouse mode: cursor hidden and held, motion still reported (raw motion).
bool SetRelativeMouse(bool enable);

/****************************************************************************/
/***   Messages and the loop                                              ***/
/****************************************************************************/

enum class MessageKind : uint8_t
{
  None,
  Close,              // close request (window close, the system's quit, SIGINT or SIGTERM)
  Activate,           // Active: window gained or lost the input focus
  Minimize,           // window minimised
  Size,               // Width, Height: new client size
  KeyDown,            // Key (Key.Repeat for auto-repeat)
  KeyUp,              // Key
  Char,               // Char: one UTF-16 code unit of typed text
  ButtonDown,         // Button (MOUSE_LEFT..), X, Y
  ButtonUp,           // Button, X, Y
  ButtonDoubleClick,  // Button, X, Y: the second press of a double click, in place of ButtonDown
  Wheel,              // WheelDelta: 120 per notch, positive away from the user
  MouseMove,          // X, Y: client position
  RawMotion,          // Dx, Dy: relative motion (only while raw mouse is registered)
  DeviceChange,       // a game controller was attached or removed
  Paint,              // the window is to paint one frame
};

struct Message
{
  MessageKind Kind = MessageKind::None;
  uint32_t WindowId = 0;   // the window concerned (the first window for a close request from a signal)
  int Signal = 0;          // a close request from a signal: its number (SIGINT, SIGTERM)
  KeyEvent Key;
  char16_t Char = 0;
  int Button = 0;
  int X = 0, Y = 0;
  int Dx = 0, Dy = 0;
  int WheelDelta = 0;
  int Width = 0, Height = 0;
  bool Active = false;
};

// Waits up to waitMs milliseconds (negative: without limit) until a message arrives, a
// repaint is pending or a close signal came in, then delivers every message queued at that
// moment in order, and last one Paint for every window whose repaint was pending. Returns
// the number of messages delivered. After PostQuit nothing more is delivered and it returns
// 0 at once.
int PumpMessages(const MessageHandler &handler, int waitMs);

// Ends the loop: IsQuitPosted becomes true and PumpMessages delivers nothing more.
void PostQuit(int code);
bool IsQuitPosted();
int GetQuitCode();
// Clears a posted quit (the video system's restart, tests).
void ResetQuit();

// SIGINT and SIGTERM become a close request message. The handlers only set a flag that the
// next pump turns into one Close message. Remove restores the previous handlers.
bool InstallCloseSignals();
void RemoveCloseSignals();

/****************************************************************************/
/***   Opening a document                                                 ***/
/****************************************************************************/

// Opens a document or web address with the desktop's program for it. The opener can be
// replaced (tests, headless runs); null restores the system's opener.
using DocumentOpener = std::function<bool(const std::u16string &document, std::u16string &error)>;
void SetDocumentOpener(DocumentOpener opener);
// False with the reason when the document is empty or the opener fails.
bool OpenDocument(const std::u16string &document, std::u16string &error);

}
