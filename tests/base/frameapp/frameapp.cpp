// A small application that runs the framework end to end; the tests start it as a process
// and read what it prints. "-mode" picks the run:
//   order  frames with input, a document, a nested paint, a vetoed and an allowed close
//   run    plain frames until the window is closed or the process interrupted
//   pixels reads back the colour a frame starts with
//   leak   leaves one allocation behind and ends in the first frame
//   crash  an assertion fails inside a frame
//   fault  a frame writes through a null pointer
//   paint2d a 2D window: the paint fills a rectangle, the window shows it
//   pack   serves a file from a pack, which is still open when the program ends
#include "base/gdi.hpp"
#include "base/input2.hpp"
#include "base/log.hpp"
#include "base/render3d.hpp"
#include "base/window.hpp"
#include "util/packfile.hpp"

#include "platform/text/utf.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xutil.h>

#include <string>

namespace
{
sInt Frame = 0;
sInt Closes = 0;
sInt KeyboardSeen = 0;   // pressed edges of F1 seen by the keyboard device
sBool KeyArrived = 0;    // the input hook has seen the pushed key
sInt NestDepth = 0;
sInt NestFrame = -1;
sInt CloseFrame = -1;

bool Verbose() { return Frame <= 6 || Frame == NestFrame || Frame >= CloseFrame; }

void PushKey(SDL_Scancode scancode, bool down)
{
  SDL_Event e = {};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = sGetMainWindow()->GetId();
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = scancode;
  e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
  e.key.keysym.mod = KMOD_NONE;
  SDL_PushEvent(&e);
}

void PushMotion(int x, int y)
{
  SDL_Event e = {};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = sGetMainWindow()->GetId();
  e.motion.x = x;
  e.motion.y = y;
  e.motion.xrel = 1;
  e.motion.yrel = -1;
  SDL_PushEvent(&e);
}

void PreFrame(void *)
{
  Frame++;
  if(Verbose()) sDPrintF(u"prehook %d\n", Frame);
}

void InputHook(void *event, void *consumed, void *)
{
  const sInput2Event &e = *static_cast<const sInput2Event *>(event);
  sDPrintF(u"inputhook %08x\n", e.Key);
  if(e.Key == 0xe020) KeyArrived = 1;
  // pointer moves stop here: the application must not see them
  if(e.Key == 0xe180) *static_cast<sInt *>(consumed) = 1;
}

void CloseHook(void *allow, void *)
{
  Closes++;
  if(Closes == 1)
  {
    *static_cast<sInt *>(allow) = 0;
    sDPrintF(u"close vetoed\n");
  }
  else
  {
    sDPrintF(u"close allowed\n");
  }
}

class OrderApp : public sApp
{
public:
  ~OrderApp() override { sDPrintF(u"app deleted\n"); }
  void OnInput(const sInput2Event &e) override { sDPrintF(u"oninput %08x\n", e.Key); }
  sBool OnSkipFrame() override
  {
    if(Verbose()) sDPrintF(u"skip %d%s\n", Frame, sIsFrameInProgress() ? u" inframe" : u"");
    return 0;
  }
  void OnPrepareFrame() override
  {
    if(Verbose()) sDPrintF(u"prepare %d\n", Frame);
    sUpdateInput2Devices(sGetTime(), 0);
    sInput2PollDevice *kbd = sFindInput2PollDevice(sINPUT2_TYPE_KEYBOARD, 0);
    if(kbd && kbd->getPressed(SDL_SCANCODE_F1, 0.5f))
      KeyboardSeen++;
    if(NestFrame > 0 && Frame >= NestFrame && NestDepth < 2)
    {
      NestDepth++;
      sWindowPaint();
    }
  }
  void OnPaint3D() override
  {
    if(Verbose()) sDPrintF(u"paint %d\n", Frame);
    // pushed again until it arrives: the window's activation drops the input queued
    // before it, and on a loaded machine that may come after the first push
    if(!KeyArrived)
    {
      PushKey(SDL_SCANCODE_F1, true);
      PushMotion(10, 20);
      sDPrintF(u"pushed %d\n", Frame);
    }
    if(Frame == 2) sOpenURLLater(u"doc://frame2");
    if(Frame == 3) NestFrame = 4;
    if(Frame > 5 && KeyboardSeen && CloseFrame < 0)
    {
      CloseFrame = Frame + 1;
      SDL_Event quit = {};
      quit.type = SDL_QUIT;
      SDL_PushEvent(&quit);
    }
    if(Frame == CloseFrame + 1)
    {
      SDL_Event close = {};
      close.window = {SDL_WINDOWEVENT, 0, sGetMainWindow()->GetId(), SDL_WINDOWEVENT_CLOSE, 0, 0, 0, 0, 0};
      SDL_PushEvent(&close);
    }
    if(Frame > 20000)
    {
      sDPrintF(u"gave up\n");
      sExit();
    }
  }
  void OnEvent(sInt code) override
  {
    sDPrintF(u"event %d\n", code);
    sDPrintF(u"keyboard F1 pressed %d times\n", KeyboardSeen);
    // the exit path runs once even when asked again from inside it
    sDestroyMainWindow();
  }
};

class PixelApp : public sApp
{
  sInt Frames = 0;

public:
  void OnPaint3D() override
  {
    Frames++;
    if(Frames == 1) sGetFrameBackEnd().SetFrameClearColor(0xff2060a0);
    if(Frames < 3) return;
    using ReadPixels = void (*)(int, int, int, int, unsigned, unsigned, void *);
    auto readPixels = reinterpret_cast<ReadPixels>(SDL_GL_GetProcAddress("glReadPixels"));
    unsigned char rgba[4] = {};
    readPixels(17, 23, 1, 1, 0x1908 /* RGBA */, 0x1401 /* unsigned byte */, rgba);
    sDPrintF(u"pixel %02x%02x%02x\n", sU32(rgba[0]), sU32(rgba[1]), sU32(rgba[2]));
    sExit();
  }
};

struct Forgotten
{
  sInt Value[4];
};

class LeakApp : public sApp
{
public:
  void OnPaint3D() override
  {
    sDPrintF(u"forgotten %d\n", sNEW Forgotten ? 1 : 0);
    sExit();
  }
};

class CrashApp : public sApp
{
public:
  void OnPaint3D() override
  {
    sInt frames = 1;
    sVERIFYDESC(frames == 0, u"the test application fails on purpose");
  }
  void OnEvent(sInt code) override { sDPrintF(u"event %d\n", code); }
};

class FaultApp : public sApp
{
public:
  // the fault is meant: the sanitizer build would stop at the null store before the crash handler sees it
  __attribute__((no_sanitize("undefined"))) void OnPaint3D() override
  {
    volatile sInt *nowhere = nullptr;
    *nowhere = 1;
  }
  void OnEvent(sInt code) override { sDPrintF(u"event %d\n", code); }
};

class RunApp : public sApp
{
  sBool Told = 0;

public:
  void OnPaint3D() override
  {
    if(!Told) sDPrintF(u"running\n");
    Told = 1;
  }
  void OnEvent(sInt code) override { sDPrintF(u"event %d\n", code); }
};

class Paint2DApp : public sApp
{
  sInt Paints = 0;

public:
  void OnPaint2D(const sRect &client, const sRect &) override
  {
    Paints++;
    if(Paints == 1)
    {
      sDPrintF(u"client %d %d %d %d\n", client.x0, client.y0, client.x1, client.y1);
      sSetColor(5, 0xff2060a0);
      sFillRect2D(10, 10, 50, 50, 5);
      return;
    }
    SDL_Surface *surface = SDL_GetWindowSurface(sGetMainWindow()->GetSdlWindow());
    sU32 pixel = 0;
    if(surface && surface->format->BytesPerPixel == 4)
    {
      SDL_LockSurface(surface);
      sU32 raw = static_cast<const sU32 *>(surface->pixels)[23 * surface->pitch / 4 + 17];
      SDL_UnlockSurface(surface);
      Uint8 r = 0, g = 0, b = 0;
      SDL_GetRGB(raw, surface->format, &r, &g, &b);
      pixel = (sU32(r) << 16) | (sU32(g) << 8) | b;
    }
    sDPrintF(u"pixel2d %06x\n", pixel);
    sExit();
  }
};

class PackApp : public sApp
{
public:
  void OnPaint3D() override
  {
    sChar *text = sLoadTextFile(u"frameapp.txt");
    sDPrintF(u"packed %s\n", text ? text : u"nothing");
    if(text) sMemFree(text);
    sExit();
  }
};

void sMain()
{
  std::u16string mode = sShellParam(u"mode") ? sShellParam(u"mode") : u"order";
  sDPrintF(u"main start\n");
  plat::SetDocumentOpener([](const std::u16string &doc, std::u16string &) {
    sDPrintF(u"open %s\n", doc.c_str());
    return true;
  });
  if(!sInit(mode == u"paint2d" ? sISF_2D | sISF_CONTINUOUS : sISF_3D | sISF_CONTINUOUS, 320, 240)) return;
  sDPrintF(u"init done\n");
  if(mode == u"order")
  {
    // the class the desktop knows the window by
    SDL_SysWMinfo wm;
    SDL_VERSION(&wm.version);
    XClassHint hint = {};
    if(SDL_GetWindowWMInfo(sGetMainWindow()->GetSdlWindow(), &wm) && wm.subsystem == SDL_SYSWM_X11 &&
       XGetClassHint(wm.info.x11.display, wm.info.x11.window, &hint))
    {
      sDPrintF(u"window class %s\n", plat::ToUtf16(hint.res_class).c_str());
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    sAddHook(sPreFrameHook.load(), PreFrame, nullptr);
    sAddHook(sInputHook.load(), InputHook, nullptr);
    sAddHook(sCloseHook.load(), CloseHook, nullptr);
    sSetApplication(sNEW OrderApp);
  }
  else if(mode == u"run")
  {
    sSetApplication(sNEW RunApp);
  }
  else if(mode == u"pixels")
  {
    sSetApplication(sNEW PixelApp);
  }
  else if(mode == u"leak")
  {
    sSetApplication(sNEW LeakApp);
  }
  else if(mode == u"crash")
  {
    sSetApplication(sNEW CrashApp);
  }
  else if(mode == u"fault")
  {
    sSetApplication(sNEW FaultApp);
  }
  else if(mode == u"paint2d")
  {
    sSetApplication(sNEW Paint2DApp);
  }
  else if(mode == u"pack")
  {
    // the file and its pack are deleted once the pack is open: only the pack's mapping
    // can serve it
    sSaveTextFile(u"frameapp.txt", u"hello");
    sSaveTextFile(u"frameapp.def", u"\"frameapp.txt\"\n");
    sDPrintF(u"built %d\n", sCreatePackfile(u"frameapp.dat", u"frameapp.def"));
    sAddPackfile(u"frameapp.dat");
    for(const sChar *name : {u"frameapp.txt", u"frameapp.def", u"frameapp.dat"}) sDeleteFile(name);
    sSetApplication(sNEW PackApp);
  }
}
}

int main(int argc, char **argv)
{
  return sRunFramework(argc, argv, sMain);
}
