#include "platform/window/window.hpp"

#include "platform/text/utf.hpp"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace plat
{

namespace
{

bool VideoStarted = false;
std::string WindowClass;
std::vector<Window *> OpenWindows;   // in creation order
bool RawMouse = false;
bool QuitPosted = false;
int QuitCode = 0;

std::atomic<int> CloseSignal{0};   // the number of the close signal that came in, 0: none
static_assert(std::atomic<int>::is_always_lock_free, "the signal flag must be lock-free");
bool SignalsInstalled = false;
struct sigaction OldSigInt;
struct sigaction OldSigTerm;

constexpr int CursorShapes = int(CursorShape::Hand) + 1;
SDL_Cursor *Cursors[CursorShapes] = {};

std::u16string SdlError(const char16_t *what)
{
  return std::u16string(what) + u": " + ToUtf16(SDL_GetError());
}

extern "C" void OnCloseSignal(int sig)
{
  CloseSignal.store(sig);
}

Window *FindWindow(uint32_t id)
{
  for(Window *w : OpenWindows)
    if(w->GetId() == id)
      return w;
  return nullptr;
}

uint32_t FirstWindowId()
{
  return OpenWindows.empty() ? 0 : OpenWindows.front()->GetId();
}

bool AnyRepaintPending()
{
  for(Window *w : OpenWindows)
    if(w->IsRepaintPending())
      return true;
  return false;
}

Message Make(MessageKind kind, uint32_t window)
{
  Message m;
  m.Kind = kind;
  m.WindowId = window;
  return m;
}

// Turns one SDL event into the messages it stands for (none, one or several).
void Translate(const SDL_Event &e, std::vector<Message> &out)
{
  switch(e.type)
  {
  case SDL_QUIT:
    out.push_back(Make(MessageKind::Close, FirstWindowId()));
    break;

  case SDL_WINDOWEVENT:
  {
    uint32_t id = e.window.windowID;
    switch(e.window.event)
    {
    case SDL_WINDOWEVENT_CLOSE:
      // the window manager's own Alt+F4 comes here too: no program can keep it from the manager
      out.push_back(Make(MessageKind::Close, id));
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
    {
      Message m = Make(MessageKind::Activate, id);
      m.Active = e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
      out.push_back(m);
      break;
    }
    case SDL_WINDOWEVENT_MINIMIZED:
      out.push_back(Make(MessageKind::Minimize, id));
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    {
      Message m = Make(MessageKind::Size, id);
      m.Width = e.window.data1;
      m.Height = e.window.data2;
      out.push_back(m);
      break;
    }
    case SDL_WINDOWEVENT_EXPOSED:
      // uncovered: the window paints again, as after any invalidation
      if(Window *w = FindWindow(id))
        w->Invalidate();
      break;
    default:
      break;
    }
    break;
  }

  case SDL_KEYDOWN:
  case SDL_KEYUP:
  {
    Message m = Make(e.type == SDL_KEYDOWN ? MessageKind::KeyDown : MessageKind::KeyUp, e.key.windowID);
    m.Key.Scancode = e.key.keysym.scancode;
    m.Key.Keycode = e.key.keysym.sym;
    m.Key.Modifiers = e.key.keysym.mod;
    m.Key.Down = e.type == SDL_KEYDOWN;
    m.Key.Repeat = m.Key.Down && e.key.repeat != 0;
    out.push_back(m);
    break;
  }

  case SDL_TEXTINPUT:
  {
    size_t len = strnlen(e.text.text, sizeof(e.text.text));
    std::u16string text = ToUtf16(e.text.text, len);
    for(char16_t c : text)
    {
      Message m = Make(MessageKind::Char, e.text.windowID);
      m.Char = c;
      out.push_back(m);
    }
    break;
  }

  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP:
  {
    int button = MouseButtonFromSdl(e.button.button);
    if(button < 0)
      break;
    MessageKind kind = MessageKind::ButtonUp;
    if(e.type == SDL_MOUSEBUTTONDOWN)
      // every second click of a series is a double click; the third starts a new one
      kind = (e.button.clicks >= 2 && e.button.clicks % 2 == 0) ? MessageKind::ButtonDoubleClick
                                                                : MessageKind::ButtonDown;
    Message m = Make(kind, e.button.windowID);
    m.Button = button;
    m.X = e.button.x;
    m.Y = e.button.y;
    out.push_back(m);
    break;
  }

  case SDL_MOUSEMOTION:
  {
    if(RawMouse)
    {
      Message r = Make(MessageKind::RawMotion, e.motion.windowID);
      r.Dx = e.motion.xrel;
      r.Dy = e.motion.yrel;
      out.push_back(r);
    }
    Message m = Make(MessageKind::MouseMove, e.motion.windowID);
    m.X = e.motion.x;
    m.Y = e.motion.y;
    out.push_back(m);
    break;
  }

  case SDL_MOUSEWHEEL:
  {
    float precise = e.wheel.preciseY;
    long delta = precise != 0.0f && std::isfinite(precise)
                   ? std::lround(std::clamp(precise, -1.0e6f, 1.0e6f) * WHEEL_NOTCH)
                   : long(e.wheel.y) * WHEEL_NOTCH;
    if(e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
      delta = -delta;
    if(delta == 0)
      break;   // a sideways scroll
    delta = std::clamp<long>(delta, INT32_MIN / 2, INT32_MAX / 2);
    Message m = Make(MessageKind::Wheel, e.wheel.windowID);
    m.WheelDelta = int(delta);
    out.push_back(m);
    break;
  }

  case SDL_JOYDEVICEADDED:
  case SDL_JOYDEVICEREMOVED:
    out.push_back(Make(MessageKind::DeviceChange, 0));
    break;

  default:
    break;
  }
}

SDL_SystemCursor SystemCursor(CursorShape shape)
{
  switch(shape)
  {
  case CursorShape::Arrow: return SDL_SYSTEM_CURSOR_ARROW;
  case CursorShape::IBeam: return SDL_SYSTEM_CURSOR_IBEAM;
  case CursorShape::Wait: return SDL_SYSTEM_CURSOR_WAIT;
  case CursorShape::Crosshair: return SDL_SYSTEM_CURSOR_CROSSHAIR;
  case CursorShape::WaitArrow: return SDL_SYSTEM_CURSOR_WAITARROW;
  case CursorShape::SizeNWSE: return SDL_SYSTEM_CURSOR_SIZENWSE;
  case CursorShape::SizeNESW: return SDL_SYSTEM_CURSOR_SIZENESW;
  case CursorShape::SizeWE: return SDL_SYSTEM_CURSOR_SIZEWE;
  case CursorShape::SizeNS: return SDL_SYSTEM_CURSOR_SIZENS;
  case CursorShape::SizeAll: return SDL_SYSTEM_CURSOR_SIZEALL;
  case CursorShape::No: return SDL_SYSTEM_CURSOR_NO;
  case CursorShape::Hand: return SDL_SYSTEM_CURSOR_HAND;
  }
  return SDL_SYSTEM_CURSOR_ARROW;
}

bool SystemOpenDocument(const std::u16string &document, std::u16string &error)
{
  std::string url = ToUtf8(document);
  if(SDL_OpenURL(url.c_str()) != 0)
  {
    error = u"cannot open \"" + document + u"\": " + ToUtf16(SDL_GetError());
    return false;
  }
  return true;
}

DocumentOpener &Opener()
{
  static DocumentOpener opener = SystemOpenDocument;
  return opener;
}

}

/****************************************************************************/
/***   Video system and displays                                          ***/
/****************************************************************************/

void SetWindowClass(const std::u16string &name)
{
  WindowClass = ToUtf8(name);
}

bool InitVideo(std::u16string &error)
{
  if(VideoStarted)
    return true;
  // the video system reads the windows' class name once, as it starts
  if(!WindowClass.empty())
    for(const char *variable : {"SDL_VIDEO_X11_WMCLASS", "SDL_VIDEO_WAYLAND_WMCLASS"})
      setenv(variable, WindowClass.c_str(), 0);
  // the program handles SIGINT and SIGTERM itself (InstallCloseSignals), and a closed window
  // is a close request like any other, not a quit
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if(!SDL_GetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER))
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
  {
    error = SdlError(u"cannot start the video system");
    return false;
  }
  VideoStarted = true;
  return true;
}

void ExitVideo()
{
  if(!VideoStarted)
    return;
  while(!OpenWindows.empty())
    OpenWindows.back()->Destroy();
  for(SDL_Cursor *&c : Cursors)
  {
    if(c)
      SDL_FreeCursor(c);
    c = nullptr;
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
  VideoStarted = false;
}

bool IsVideoStarted()
{
  return VideoStarted;
}

int GetDisplayCount()
{
  if(!VideoStarted)
    return 0;
  return std::max(0, SDL_GetNumVideoDisplays());
}

bool GetDisplayInfo(int display, DisplayInfo &info)
{
  if(display < 0 || display >= GetDisplayCount())
    return false;
  SDL_Rect r;
  if(SDL_GetDisplayBounds(display, &r) != 0)
    return false;
  const char *name = SDL_GetDisplayName(display);
  info.Name = name ? ToUtf16(name) : std::u16string();
  info.X = r.x;
  info.Y = r.y;
  info.Width = r.w;
  info.Height = r.h;
  return true;
}

std::vector<DisplayMode> GetDisplayModes(int display)
{
  std::vector<DisplayMode> modes;
  if(display < 0 || display >= GetDisplayCount())
    return modes;
  int count = SDL_GetNumDisplayModes(display);
  for(int i = 0; i < count; i++)
  {
    SDL_DisplayMode m;
    if(SDL_GetDisplayMode(display, i, &m) != 0)
      continue;
    modes.push_back({m.w, m.h, m.refresh_rate, int(SDL_BITSPERPIXEL(m.format))});
  }
  return modes;
}

bool GetDesktopMode(int display, DisplayMode &mode)
{
  if(display < 0 || display >= GetDisplayCount())
    return false;
  SDL_DisplayMode m;
  if(SDL_GetDesktopDisplayMode(display, &m) != 0)
    return false;
  mode = {m.w, m.h, m.refresh_rate, int(SDL_BITSPERPIXEL(m.format))};
  return true;
}

/****************************************************************************/
/***   Windows                                                            ***/
/****************************************************************************/

std::unique_ptr<Window> Window::Create(const WindowDesc &desc, std::u16string &error)
{
  if(desc.Width <= 0 || desc.Height <= 0 || desc.Width > 32767 || desc.Height > 32767)
  {
    error = u"cannot create a window of that size";
    return nullptr;
  }
  if(!InitVideo(error))
    return nullptr;
  int displays = SDL_GetNumVideoDisplays();
  if(desc.Display < 0 || desc.Display >= displays)
  {
    error = u"cannot create the window: no such display";
    return nullptr;
  }

  // the surface must carry an OpenGL 3.3 core context; the graphics layer may refine the
  // context attributes before it makes its context
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

  Uint32 flags = SDL_WINDOW_OPENGL;
  flags |= desc.Hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
  int x = 0, y = 0, width = desc.Width, height = desc.Height;
  if(desc.CoverDisplay)
  {
    // the display keeps its mode: the window takes its bounds
    SDL_Rect r;
    if(SDL_GetDisplayBounds(desc.Display, &r) != 0)
    {
      error = SdlError(u"cannot create the window");
      return nullptr;
    }
    flags |= SDL_WINDOW_BORDERLESS;
    x = r.x, y = r.y, width = r.w, height = r.h;
  }
  else
  {
    flags |= desc.Fullscreen ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_RESIZABLE;
    x = y = desc.Fullscreen ? int(SDL_WINDOWPOS_CENTERED_DISPLAY(desc.Display))
                            : int(SDL_WINDOWPOS_UNDEFINED_DISPLAY(desc.Display));
  }
  std::string title = ToUtf8(desc.Title);
  SDL_Window *handle = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
  if(!handle)
  {
    error = SdlError(u"cannot create the window");
    return nullptr;
  }
  std::unique_ptr<Window> w(new Window);
  w->Handle = handle;
  w->Id = SDL_GetWindowID(handle);
  OpenWindows.push_back(w.get());
  return w;
}

Window::~Window()
{
  Destroy();
}

void Window::Destroy()
{
  if(!Handle)
    return;
  OpenWindows.erase(std::remove(OpenWindows.begin(), OpenWindows.end(), this), OpenWindows.end());
  SDL_DestroyWindow(Handle);
  Handle = nullptr;
  Id = 0;
  RepaintPending = false;
}

void Window::Show()
{
  if(Handle)
    SDL_ShowWindow(Handle);
}

void Window::SetTitle(const std::u16string &title)
{
  if(Handle)
    SDL_SetWindowTitle(Handle, ToUtf8(title).c_str());
}

std::u16string Window::GetTitle() const
{
  if(!Handle)
    return std::u16string();
  return ToUtf16(SDL_GetWindowTitle(Handle));
}

void Window::GetClientSize(int &width, int &height) const
{
  width = height = 0;
  if(Handle)
    SDL_GetWindowSize(Handle, &width, &height);
}

void Window::Invalidate()
{
  if(Handle)
    RepaintPending = true;
}

/****************************************************************************/
/***   Cursor, capture and system settings                                ***/
/****************************************************************************/

void ShowCursor(bool show)
{
  if(VideoStarted)
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

bool IsCursorShown()
{
  return VideoStarted && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
}

bool SetCursorShape(CursorShape shape)
{
  int i = int(shape);
  if(!VideoStarted || i < 0 || i >= CursorShapes)
    return false;
  if(!Cursors[i])
    Cursors[i] = SDL_CreateSystemCursor(SystemCursor(shape));
  if(!Cursors[i])
    return false;
  SDL_SetCursor(Cursors[i]);
  return true;
}

bool CaptureMouse(bool capture)
{
  return VideoStarted && SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE) == 0;
}

void AllowScreenSaver(bool allow)
{
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, allow ? "1" : "0");
  if(!VideoStarted)
    return;
  if(allow)
    SDL_EnableScreenSaver();
  else
    SDL_DisableScreenSaver();
}

bool DisableDesktopComposition()
{
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "1");
  return true;
}

bool RegisterRawMouse(bool enable)
{
  RawMouse = enable;
  return true;
}

bool IsRawMouseRegistered()
{
  return RawMouse;
}

bool SetRelativeMouse(bool enable)
{
  return VideoStarted && SDL_SetRelativeMouseMode(enable ? SDL_TRUE : SDL_FALSE) == 0;
}

/****************************************************************************/
/***   Messages and the loop                                              ***/
/****************************************************************************/

int PumpMessages(const MessageHandler &handler, int waitMs)
{
  if(QuitPosted)
    return 0;
  int delivered = 0;
  auto deliver = [&](const Message &m) {
    if(QuitPosted)
      return;
    handler(m);
    delivered++;
  };

  std::vector<SDL_Event> batch;
  if(VideoStarted)
  {
    SDL_PumpEvents();
    bool ready = CloseSignal.load() != 0 || AnyRepaintPending() || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    if(!ready && waitMs != 0)
    {
      // wait in short slices, so that a close signal is not left waiting for other input
      Uint64 start = SDL_GetTicks64();
      for(;;)
      {
        int slice = 10;
        if(waitMs > 0)
        {
          Uint64 elapsed = SDL_GetTicks64() - start;
          if(elapsed >= Uint64(waitMs))
            break;
          slice = int(std::min<Uint64>(Uint64(slice), Uint64(waitMs) - elapsed));
        }
        if(SDL_WaitEventTimeout(nullptr, slice) || CloseSignal.load() != 0)
          break;
      }
    }
    SDL_PumpEvents();
    // take the messages queued now; what handlers cause comes with the next pump
    SDL_Event chunk[64];
    for(;;)
    {
      int n = SDL_PeepEvents(chunk, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
      if(n <= 0)
        break;
      batch.insert(batch.end(), chunk, chunk + n);
      if(n < 64)
        break;
    }
  }

  if(int sig = CloseSignal.exchange(0))
  {
    Message m = Make(MessageKind::Close, FirstWindowId());
    m.Signal = sig;
    deliver(m);
  }

  std::vector<Message> messages;
  for(const SDL_Event &e : batch)
  {
    messages.clear();
    Translate(e, messages);
    for(const Message &m : messages)
      deliver(m);
  }

  // one paint for each window that asked for it; handlers may destroy windows meanwhile
  std::vector<uint32_t> paint;
  for(Window *w : OpenWindows)
    if(w->RepaintPending)
      paint.push_back(w->Id);
  for(uint32_t id : paint)
  {
    Window *w = FindWindow(id);
    if(!w || !w->RepaintPending || QuitPosted)
      continue;
    w->RepaintPending = false;
    deliver(Make(MessageKind::Paint, id));
  }
  return delivered;
}

void PostQuit(int code)
{
  QuitPosted = true;
  QuitCode = code;
}

bool IsQuitPosted()
{
  return QuitPosted;
}

int GetQuitCode()
{
  return QuitCode;
}

void ResetQuit()
{
  QuitPosted = false;
  QuitCode = 0;
}

bool InstallCloseSignals()
{
  if(SignalsInstalled)
    return true;
  struct sigaction sa = {};
  sa.sa_handler = OnCloseSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  if(sigaction(SIGINT, &sa, &OldSigInt) != 0)
    return false;
  if(sigaction(SIGTERM, &sa, &OldSigTerm) != 0)
  {
    sigaction(SIGINT, &OldSigInt, nullptr);
    return false;
  }
  SignalsInstalled = true;
  return true;
}

void RemoveCloseSignals()
{
  if(!SignalsInstalled)
    return;
  sigaction(SIGINT, &OldSigInt, nullptr);
  sigaction(SIGTERM, &OldSigTerm, nullptr);
  SignalsInstalled = false;
}

/****************************************************************************/
/***   Opening a document                                                 ***/
/****************************************************************************/

void SetDocumentOpener(DocumentOpener opener)
{
  Opener() = opener ? std::move(opener) : DocumentOpener(SystemOpenDocument);
}

bool OpenDocument(const std::u16string &document, std::u16string &error)
{
  if(document.empty())
  {
    error = u"no document to open";
    return false;
  }
  // the name goes to the desktop's opener as one argument: it must not read as an option or
  // be cut short
  if(document[0] == u'-' || document.find(char16_t(0)) != std::u16string::npos)
  {
    error = u"cannot open \"" + document + u"\": not a document name";
    return false;
  }
  return Opener()(document, error);
}

}
