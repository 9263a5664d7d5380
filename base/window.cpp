// The main routine, the main window and its messages, and the frame driver.
#include "base/window.hpp"
#include "base/file.hpp"
#include "base/input.hpp"
#include "base/input2.hpp"
#include "base/leaktracker.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"
#include "base/render3d.hpp"
#include "base/system.hpp"
#include "base/textbuffer.hpp"

#include "base/sound.hpp"
#include "base/gdi.hpp"
#include "platform/font/font.hpp"
#include "platform/text/utf.hpp"

#include <SDL.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace
{
// Destroyed by the shut-down path only, never by the destructors of a process exit: a
// library that ends the process from inside a call (Xlib does when the connection to the
// display is lost) would have the window destroyed over the lost connection, which never
// returns, and the process would hang instead of ending.
std::unique_ptr<plat::Window> &MainWindow = *new std::unique_ptr<plat::Window>;
std::thread::id MainThreadId;
sInt sExitCode = 0;
sInt PaintNesting = 0;
sBool FrameInProgress = 0;
sInt WheelRemainder = 0;
constexpr sInt PendingURLSize = 1024;
sChar PendingURL[PendingURLSize + 1] = {};
plat::KeyTable sKeyTable = {};
// The target of the 2D paint: the window's content, kept from one paint to the next.
std::unique_ptr<plat::Bitmap2D> PaintBitmap;

void FreePaintTarget()
{
  PaintBitmap.reset();
}


const sChar *WindowTitle()
{
  return sGetWindowName();
}

// The framework's services plug their start and stop into the registry's entries.
void InstallFrameworkServices()
{
  sInstallInputSubsystems();
  sInstallGdiSubsystem();
  sInstallSoundSubsystem();
}

sApp *LiveApplication()
{
  // once a fatal error is being shown the application is no longer called
  return sIsFatalInProgress() ? nullptr : sGetApplication();
}

void PostEvent(sU32 code, sU64 payload = 0)
{
  sInput2Event e;
  e.Key = code;
  e.Word2 = 0;
  e.Payload = payload;
  e.Timestamp = sGetTime();
  sPostInput2Event(e);
}

void DeleteApplication()
{
  sApp *app = sGetApplication();
  if(!app) return;
  // cleared first: the application's destructor may look for it
  sSetApplication(nullptr);
  sDELETE(app);
}

// What the window's destruction does: the application goes, the services that need the
// window stop, the loop ends.
void OnWindowDestroyed()
{
  if(!sIsFatalInProgress())
  {
    DeleteApplication();
    sGCRequestCollect();
    sGCCollect(1);
    sRunSubsystems(128);
    if(sGetSystemFlags() & sISF_3D) sGetFrameBackEnd().ExitGfx();
  }
  FreePaintTarget();
  plat::PostQuit(0);
}

void HandleKey(const plat::Message &msg)
{
  plat::KeyTranslation t = plat::TranslateKey(sKeyTable, msg.Key);
  // the keyboard's own modifier state: a caps lock toggled while the window was inactive stays known
  sQualifiers = t.Qualifiers;
  if(t.Code) PostEvent(t.Code);
  if(t.StateIndex >= 0) sSetKeyState(t.StateIndex, msg.Key.Down ? 1 : 0);
}

void HandleButton(const plat::Message &msg)
{
  sU32 code = plat::MouseButtonCode(msg.Button);
  sU32 bit = plat::MouseButtonBit(msg.Button);
  if(!code) return;
  sMouseWindowStateRecord *mouse = sMouseWindowState;
  switch(msg.Kind)
  {
  case plat::MessageKind::ButtonDown:
  case plat::MessageKind::ButtonDoubleClick:
  {
    if(mouse) mouse->Buttons.fetch_or(bit, std::memory_order_relaxed);
    PostEvent(code | (msg.Kind == plat::MessageKind::ButtonDoubleClick ? plat::KEY_DOUBLECLICK : 0));
    plat::CaptureMouse(true);
    break;
  }
  case plat::MessageKind::ButtonUp:
  {
    sU32 left = 0;
    if(mouse) left = mouse->Buttons.fetch_and(~bit, std::memory_order_relaxed) & ~bit;
    PostEvent(code | plat::KEY_RELEASE);
    if(!left) plat::CaptureMouse(false);
    break;
  }
  default:
    break;
  }
}

void HandleWheel(sInt delta)
{
  sInt notches = plat::WheelNotches(WheelRemainder, delta);
  for(; notches > 0; notches--)
  {
    if(sMouseWindowState) sMouseWindowState->Wheel.fetch_add(1, std::memory_order_relaxed);
    PostEvent(plat::KEY_MOUSE_WHEELUP);
  }
  for(; notches < 0; notches++)
  {
    if(sMouseWindowState) sMouseWindowState->Wheel.fetch_sub(1, std::memory_order_relaxed);
    PostEvent(plat::KEY_MOUSE_WHEELDOWN);
  }
}

bool IsMainWindowMinimized()
{
  SDL_Window *sdl = MainWindow ? MainWindow->GetSdlWindow() : nullptr;
  return sdl && (SDL_GetWindowFlags(sdl) & SDL_WINDOW_MINIMIZED);
}

// The application's 2D paint, drawn into the paint target; a window without 3D graphics
// shows the target.
void Paint2D(plat::Window *window, const sRect &client, const sRect &update)
{
  sInt w = client.x1 - client.x0, h = client.y1 - client.y0;
  if(!PaintBitmap || PaintBitmap->GetWidth() != w || PaintBitmap->GetHeight() != h)
    PaintBitmap = plat::Bitmap2D::Create(w, h);
  sSet2DPaintTarget(PaintBitmap.get());
  if(sApp *app = LiveApplication()) app->OnPaint2D(client, update);
  sSet2DPaintTarget(nullptr);
  SDL_Window *sdl = window ? window->GetSdlWindow() : nullptr;
  if(!PaintBitmap || !sdl || w <= 0 || h <= 0 || (sGetSystemFlags() & sISF_3D)) return;
  SDL_Surface *surface = SDL_GetWindowSurface(sdl);
  if(!surface) return;
  std::unique_ptr<sU32[]> pixels(new sU32[size_t(w) * size_t(h)]);
  PaintBitmap->GetPixels(pixels.get());
  SDL_Surface *source = SDL_CreateRGBSurfaceWithFormatFrom(pixels.get(), w, h, 32, w * 4, SDL_PIXELFORMAT_RGB888);
  if(!source) return;
  SDL_BlitSurface(source, nullptr, surface, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(sdl);
}

const sChar *FatalWindowName() { return WindowTitle(); }

void FatalDestroyWindow()
{
  // the window belongs to the main thread; a fatal error elsewhere leaves it to the exit
  if(std::this_thread::get_id() == MainThreadId && MainWindow) MainWindow->Destroy();
}

std::atomic<bool> MessageLoopRuns{false};

sBool FatalInMessageLoop() { return MessageLoopRuns.load() && std::this_thread::get_id() == MainThreadId; }

const sFatalWindowFuncs FatalFuncs = {FatalWindowName, FatalDestroyWindow, FatalInMessageLoop};

// With no display to show on, the video system falls back to drivers that show nothing.
// That is only right when it was asked for by name (tests, headless runs). A display that
// is named but does not answer is told by its name, so a person sees which one to start.
bool HasDisplay(std::u16string &error)
{
  bool started = plat::InitVideo(error);
  if(started)
  {
    const char *driver = SDL_GetCurrentVideoDriver();
    if(!driver) driver = "";
    if(std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
    const char *asked = std::getenv("SDL_VIDEODRIVER");
    if(asked && std::strstr(asked, driver)) return true;
  }
  std::u16string named;
  for(const char *variable : {"DISPLAY", "WAYLAND_DISPLAY"})
  {
    const char *value = std::getenv(variable);
    if(!value || !*value) continue;
    if(!named.empty()) named += u" or ";
    named += plat::ToUtf16(value);
  }
  if(!named.empty()) error = u"the display " + named + u" could not be opened (is its server running?)";
  else if(started) error = u"there is no display (set DISPLAY or WAYLAND_DISPLAY, or run under xvfb-run)";
  return false;
}
}

/****************************************************************************/
/***   Small services                                                     ***/
/****************************************************************************/

void sSetExitCode(sInt code) { sExitCode = code; }
sInt sGetExitCode() { return sExitCode; }

void sOpenURLLater(const sChar *text)
{
  if(!text)
  {
    PendingURL[0] = 0;
    return;
  }
  sCopyString(PendingURL, text, PendingURLSize + 1);
}

const sChar *sGetPendingURL() { return PendingURL; }
plat::Window *sGetMainWindow() { return MainWindow.get(); }
sBool sIsFrameInProgress() { return FrameInProgress; }

void sBuildKeyTable()
{
  // the characters of every key at each level come from the display's keyboard layout
  std::u16string error;
  std::unique_ptr<plat::KeyboardLayout> layout(new plat::KeyboardLayout);
  if(plat::ReadDisplayLayout(*layout, error))
  {
    plat::BuildKeyTable(sKeyTable, *layout);
    return;
  }
  // no layout to read (no X display): the plain characters the video system knows, and
  // their usual shifted forms
  sLogF(u"sys", u"key table without the layout's shift and AltGr levels: %s\n", error.c_str());
  if(!plat::InitVideo(error)) sLogF(u"sys", u"key table without the keyboard layout: %s\n", error.c_str());
  plat::BuildKeyTable(sKeyTable);
}
const plat::KeyTable &sGetKeyTable() { return sKeyTable; }

/****************************************************************************/
/***   sInit                                                              ***/
/****************************************************************************/

sBool sInit(sU32 flags, sInt width, sInt height)
{
  sVERIFYDESC(!MainWindow, u"sInit: the window exists already");
  if(flags & sISF_3D) sGetFrameBackEnd().InitScreenMode(flags, width, height);
  if(flags & sISF_NOCOMPOSITION) plat::DisableDesktopComposition();

  sSetSystemFlags(flags);
  plat::SetWindowClass(u"ORVANE");
  plat::WindowDesc desc;
  desc.Title = WindowTitle();
  desc.Width = width;
  desc.Height = height;
  desc.Fullscreen = (flags & sISF_FULLSCREEN) != 0;
  std::u16string error;
  if(HasDisplay(error)) MainWindow = plat::Window::Create(desc, error);
  if(!MainWindow)
  {
    // no display to open a window on: the program ends with the reason instead of running blind
    sDPrintF(u"cannot open the window: %s\n", error.c_str());
    sLogF(u"sys", u"sInit: no window, the program ends\n");
    sSetExitCode(1);
    return 0;
  }
  sSetFatalWindowFuncs(&FatalFuncs);
  if(flags & sISF_NOSCREENSAVER) plat::AllowScreenSaver(false);
  if(flags & sISF_FULLSCREEN) plat::ShowCursor(false);

  if(flags & sISF_3D)
    sGetFrameBackEnd().InitGfx(flags, width, height);
  else
    sGetFrameBackEnd().SetScreenSize(width, height);

  sLogF(u"dev", u"register raw input: %d\n", plat::RegisterRawMouse(true) ? 1 : 0);
  sRunSubsystems(256);
  MainWindow->Invalidate();
  return 1;
}

/****************************************************************************/
/***   Window procedure                                                   ***/
/****************************************************************************/

void sWindowPaint()
{
  plat::Window *window = MainWindow.get();
  if(sGetRunLevel() < 256)
  {
    // no message is handled before sInit raises the run level: there is no black to lay over the window here
    if(window) window->Validate();
    return;
  }
  if(PaintNesting > 1) return;
  if(PaintNesting == 1) sDPrint(u"warning: recursive paint detected\n");
  PaintNesting++;

  sCallHook(sPreFrameHook.load());

  if(sGetInput2EventQueue())
  {
    sInput2Event e;
    while(sPopDueInput2Event(e, sGetTime()))
    {
      sInt consumed = 0;
      sCallHook2(sInputHook.load(), &e, &consumed);
      if(!consumed)
        if(sApp *app = LiveApplication()) app->OnInput(e);
    }
  }

  sBool skip = 0;
  FrameInProgress = 1;
  if(sApp *app = LiveApplication()) skip = app->OnSkipFrame();
  FrameInProgress = 0;
  if(!skip)
    if(sApp *app = LiveApplication()) app->OnPrepareFrame();

  sU32 flags = sGetSystemFlags();
  if((flags & sISF_2D) && !sGetExitFlag())
  {
    sRect client;
    if(window) window->GetClientSize(client.x1, client.y1);
    sRect update = client;
    Paint2D(window, client, update);
    if(window) window->Validate();
    sGCCollect(0);
  }
  else if(window)
  {
    window->Validate();
  }

  if(!skip && (flags & sISF_3D))
  {
    FrameInProgress = 1;
    sGetFrameBackEnd().PaintFrame();
    FrameInProgress = 0;
    if(PendingURL[0])
    {
      std::u16string error;
      if(!plat::OpenDocument(PendingURL, error)) sLogF(u"sys", u"%s\n", error.c_str());
      PendingURL[0] = 0;
    }
  }

  sSoundClock();

  if((flags & sISF_CONTINUOUS) && MainWindow) MainWindow->Invalidate();
  PaintNesting = 0;
}

void sWindowClose(sInt signal)
{
  sInt allow = 1;
  sCallHookPtr(sCloseHook.load(), &allow);
  if(!allow) return;
  if(!signal) return sExit(u"the window was closed");
  sStringBuffer<64> why;
  sSPrintF(why.Ref(), u"signal %s", signal == SIGINT ? u"SIGINT (Ctrl-C)" : signal == SIGTERM ? u"SIGTERM" : u"to close");
  sExit(why);
}

void sWindowProc(const plat::Message &msg)
{
  using plat::MessageKind;
  sMouseWindowStateRecord *mouse = sMouseWindowState;
  switch(msg.Kind)
  {
  case MessageKind::Paint:
    sWindowPaint();
    break;
  case MessageKind::Close:
    sWindowClose(msg.Signal);
    break;
  case MessageKind::Activate:
  {
    sDrainInput2Events();
    // full screen is active with the focus; a window stays active in the background
    // until it is minimised
    sBool active = msg.Active ? 1 : 0;
    if(!(sGetSystemFlags() & sISF_FULLSCREEN)) active = !IsMainWindowMinimized();
    sHookCall(sActivateHook.load(), active);
    break;
  }
  case MessageKind::Minimize:
    sHookCall(sActivateHook.load(), 0);
    if(MainWindow) MainWindow->Invalidate();
    break;
  case MessageKind::Size:
    if(!(sGetSystemFlags() & sISF_FULLSCREEN)) sGetFrameBackEnd().SetScreenSize(msg.Width, msg.Height);
    if(MainWindow) MainWindow->Invalidate();
    break;
  case MessageKind::KeyDown:
  case MessageKind::KeyUp:
    HandleKey(msg);
    break;
  case MessageKind::ButtonDown:
  case MessageKind::ButtonUp:
  case MessageKind::ButtonDoubleClick:
    HandleButton(msg);
    break;
  case MessageKind::Wheel:
    HandleWheel(msg.WheelDelta);
    break;
  case MessageKind::MouseMove:
    if(mouse)
    {
      mouse->X.store(msg.X, std::memory_order_relaxed);
      mouse->Y.store(msg.Y, std::memory_order_relaxed);
    }
    PostEvent(plat::KEY_MOUSE_MOVE, plat::PackPointerPayload(msg.X, msg.Y));
    break;
  case MessageKind::RawMotion:
    sAddRawMouseMotion(msg.Dx, msg.Dy);
    PostEvent(plat::KEY_MOUSE_RAW, plat::PackRawMotionPayload(msg.Dx, msg.Dy));
    break;
  case MessageKind::DeviceChange:
    sCallHook(sDeviceChangeHook.load());
    break;
  default:
    break;
  }
}

void sDestroyMainWindow()
{
  // the exit path runs once: a window already destroyed, or being destroyed (a call from
  // the application's exit event or from its destructor), is not destroyed again
  static sBool destroying = 0;
  if(destroying || !MainWindow || MainWindow->IsDestroyed()) return;
  destroying = 1;
  if(sApp *app = LiveApplication()) app->OnEvent(3);
  sGCRequestCollect();
  sGCCollect(1);
  OnWindowDestroyed();
  MainWindow->Destroy();
  MainWindow.reset();
  destroying = 0;
}

/****************************************************************************/
/***   Main routine                                                       ***/
/****************************************************************************/

int sRunFramework(int argc, char **argv, sMainFunc mainFunc)
{
  MainThreadId = std::this_thread::get_id();
  sInitMainThread();
  sResetExitFlag();
  sParseCommandLine(argc, argv);
  sInstallLeakTracker();
  sInitMemorySystem();
  sCreateFrameworkHooks();
  sBuildKeyTable();
  plat::InstallCloseSignals();
  InstallFrameworkServices();
  sRunSubsystems(128);

  sExitCode = 0;
  plat::ResetQuit();
  if(mainFunc) mainFunc();

  if(sGetApplication() && MainWindow)
  {
    MessageLoopRuns = true;
    while(!plat::IsQuitPosted())
    {
      plat::PumpMessages(
        [](const plat::Message &msg) {
          if(!MainWindow) return;
          sWindowProc(msg);
          if(sGetExitFlag()) sDestroyMainWindow();
        },
        -1);
      if(!MainWindow && !plat::IsQuitPosted()) plat::PostQuit(0);
    }
    MessageLoopRuns = false;
  }

  if(sGetApplication())
  {
    DeleteApplication();
  }
  else if(!plat::IsQuitPosted())
  {
    // sMain ended without an application: nothing ran, stop what sInit started
    sGCRequestCollect();
    sGCCollect(1);
    sRunSubsystems(128);
    if(sGetSystemFlags() & sISF_3D) sGetFrameBackEnd().ExitGfx();
  }
  if(MainWindow)
  {
    MainWindow->Destroy();
    MainWindow.reset();
  }
  FreePaintTarget();
  sSetFatalWindowFuncs(nullptr);
  plat::ExitVideo();
  plat::RemoveCloseSignals();

  sRunSubsystems(0);
  sDeleteFrameworkHooks();
  sExitMemorySystem();
  sLogF(u"sys", u"error code %08x (%s)\n", sU32(sExitCode), sExitCode == 0 ? u"ok" : u"fail");
  return sExitCode;
}
