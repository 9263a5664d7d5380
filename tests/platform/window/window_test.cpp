#include "platform/window/window.hpp"

#include "platform/text/utf.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using namespace plat;

namespace
{

// Tests run under Xvfb; without any X display they use SDL's off-screen driver.
void ChooseVideoDriver()
{
  if(!getenv("DISPLAY") && !getenv("SDL_VIDEODRIVER"))
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

bool OffScreen()
{
  const char *driver = SDL_GetCurrentVideoDriver();
  return driver && strcmp(driver, "offscreen") == 0;
}

std::vector<Message> Pump(int waitMs = 0)
{
  std::vector<Message> got;
  PumpMessages([&](const Message &m) { got.push_back(m); }, waitMs);
  return got;
}

// Lets the display's own messages of a new window (show, expose, focus) arrive and go.
void Settle()
{
  for(int i = 0; i < 40; i++)
    if(Pump(25).empty())
      return;
}

void Push(SDL_Event e)
{
  ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}

SDL_Event WindowEvent(uint32_t window, uint8_t what, int data1 = 0, int data2 = 0)
{
  SDL_Event e = {};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window;
  e.window.event = what;
  e.window.data1 = data1;
  e.window.data2 = data2;
  return e;
}

SDL_Event KeyEventOf(uint32_t window, bool down, SDL_Scancode sc, uint16_t mod, bool repeat)
{
  SDL_Event e = {};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = window;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat;
  e.key.keysym.scancode = sc;
  e.key.keysym.sym = SDL_GetKeyFromScancode(sc);
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event ButtonEvent(uint32_t window, bool down, uint8_t button, uint8_t clicks, int x, int y)
{
  SDL_Event e = {};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = window;
  e.button.button = button;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = clicks;
  e.button.x = x;
  e.button.y = y;
  return e;
}

SDL_Event MotionEvent(uint32_t window, int x, int y, int dx, int dy)
{
  SDL_Event e = {};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = window;
  e.motion.x = x;
  e.motion.y = y;
  e.motion.xrel = dx;
  e.motion.yrel = dy;
  return e;
}

SDL_Event WheelEvent(uint32_t window, int y, float preciseY, bool flipped = false, int x = 0)
{
  SDL_Event e = {};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = window;
  e.wheel.x = x;
  e.wheel.y = y;
  e.wheel.preciseY = preciseY;
  e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
  return e;
}

SDL_Event TextEvent(uint32_t window, const char *utf8)
{
  SDL_Event e = {};
  e.type = SDL_TEXTINPUT;
  e.text.windowID = window;
  strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
  return e;
}

// Only the messages of the given kinds (the display may add focus and paint messages).
std::vector<Message> OfKinds(const std::vector<Message> &all, std::initializer_list<MessageKind> kinds)
{
  std::vector<Message> out;
  for(const Message &m : all)
    for(MessageKind k : kinds)
      if(m.Kind == k)
        out.push_back(m);
  return out;
}

int CountKind(const std::vector<Message> &all, MessageKind kind, uint32_t window)
{
  int n = 0;
  for(const Message &m : all)
    if(m.Kind == kind && m.WindowId == window)
      n++;
  return n;
}

class WindowTest : public testing::Test
{
protected:
  void SetUp() override
  {
    ChooseVideoDriver();
    ResetQuit();
    RegisterRawMouse(false);
    WindowDesc desc;
    desc.Title = u"window test";
    desc.Width = 320;
    desc.Height = 200;
    std::u16string error;
    Win = Window::Create(desc, error);
    ASSERT_TRUE(Win) << plat::ToUtf8(error);
    Settle();
  }
  void TearDown() override
  {
    Win.reset();
    RegisterRawMouse(false);
    ResetQuit();
  }

  std::unique_ptr<Window> Win;
};

}

TEST_F(WindowTest, OpensWithTheRequestedClientSizeAndTitle)
{
  int w = 0, h = 0;
  Win->GetClientSize(w, h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  EXPECT_NE(Win->GetId(), 0u);
  EXPECT_NE(Win->GetSdlWindow(), nullptr);
  EXPECT_EQ(Win->GetTitle(), u"window test");
  Win->SetTitle(u"Fenster \u00e4 \u20ac \U0001F600");
  EXPECT_STREQ(SDL_GetWindowTitle(Win->GetSdlWindow()), "Fenster \xc3\xa4 \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(Win->GetTitle(), u"Fenster \u00e4 \u20ac \U0001F600");
}

TEST_F(WindowTest, DestroyTwiceIsHarmless)
{
  Win->Invalidate();
  Win->Destroy();
  EXPECT_TRUE(Win->IsDestroyed());
  Win->Destroy();
  EXPECT_TRUE(Win->IsDestroyed());
  EXPECT_EQ(Win->GetSdlWindow(), nullptr);
  EXPECT_EQ(Win->GetId(), 0u);
  EXPECT_FALSE(Win->IsRepaintPending());
  int w = 1, h = 1;
  Win->GetClientSize(w, h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  // a destroyed window takes no requests and paints no more
  Win->Invalidate();
  Win->SetTitle(u"gone");
  Win->Show();
  EXPECT_FALSE(Win->IsRepaintPending());
  EXPECT_EQ(Win->GetTitle(), u"");
  for(const Message &m : Pump())
    EXPECT_NE(m.Kind, MessageKind::Paint);
}

TEST_F(WindowTest, InvalidateGivesExactlyOnePaintPerPump)
{
  Win->Invalidate();
  Win->Invalidate();
  EXPECT_TRUE(Win->IsRepaintPending());
  std::vector<Message> first = Pump();
  EXPECT_EQ(CountKind(first, MessageKind::Paint, Win->GetId()), 1);
  EXPECT_FALSE(Win->IsRepaintPending());
  EXPECT_EQ(CountKind(Pump(), MessageKind::Paint, Win->GetId()), 0);

  // continuous painting: a window invalidated while it paints paints again in the next pump
  for(int frame = 0; frame < 3; frame++)
  {
    if(frame == 0)
      Win->Invalidate();
    int paints = 0;
    PumpMessages(
      [&](const Message &m) {
        if(m.Kind == MessageKind::Paint && m.WindowId == Win->GetId())
        {
          paints++;
          Win->Invalidate();
        }
      },
      0);
    EXPECT_EQ(paints, 1) << "frame " << frame;
    EXPECT_TRUE(Win->IsRepaintPending());
  }
  Win->Validate();
  EXPECT_EQ(CountKind(Pump(), MessageKind::Paint, Win->GetId()), 0);
}

TEST_F(WindowTest, PaintComesAfterTheQueuedMessages)
{
  Win->Invalidate();
  Push(KeyEventOf(Win->GetId(), true, SDL_SCANCODE_A, 0, false));
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::KeyDown, MessageKind::Paint});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].Kind, MessageKind::KeyDown);
  EXPECT_EQ(got[1].Kind, MessageKind::Paint);
}

TEST_F(WindowTest, EveryWindowPaintsOnceAndADestroyedOneNotAtAll)
{
  WindowDesc desc;
  desc.Title = u"second";
  desc.Width = 64;
  desc.Height = 48;
  std::u16string error;
  std::unique_ptr<Window> second = Window::Create(desc, error);
  ASSERT_TRUE(second) << plat::ToUtf8(error);
  Settle();
  uint32_t firstId = Win->GetId(), secondId = second->GetId();
  Win->Invalidate();
  second->Invalidate();
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::Paint});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].WindowId, firstId);
  EXPECT_EQ(got[1].WindowId, secondId);

  // the first window's paint deletes the second, whose paint was pending too
  Win->Invalidate();
  second->Invalidate();
  std::vector<uint32_t> painted;
  PumpMessages(
    [&](const Message &m) {
      if(m.Kind != MessageKind::Paint)
        return;
      painted.push_back(m.WindowId);
      second.reset();
    },
    0);
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0], firstId);
}

TEST_F(WindowTest, InjectedEventsArriveAsMessagesInOrder)
{
  uint32_t id = Win->GetId();
  Push(KeyEventOf(id, true, SDL_SCANCODE_A, KMOD_LSHIFT, false));
  Push(TextEvent(id, "A"));
  Push(KeyEventOf(id, true, SDL_SCANCODE_A, KMOD_LSHIFT, true));
  Push(KeyEventOf(id, false, SDL_SCANCODE_A, KMOD_LSHIFT, true));
  Push(ButtonEvent(id, true, SDL_BUTTON_RIGHT, 1, 10, 20));
  Push(MotionEvent(id, 11, 22, 1, 2));
  Push(WheelEvent(id, 2, 2.0f));
  Push(ButtonEvent(id, false, SDL_BUTTON_RIGHT, 1, 12, 23));
  Push(WindowEvent(id, SDL_WINDOWEVENT_SIZE_CHANGED, 300, 150));
  Push(WindowEvent(id, SDL_WINDOWEVENT_CLOSE));

  std::vector<Message> got =
    OfKinds(Pump(), {MessageKind::KeyDown, MessageKind::KeyUp, MessageKind::Char, MessageKind::ButtonDown,
                     MessageKind::ButtonUp, MessageKind::MouseMove, MessageKind::Wheel, MessageKind::Size,
                     MessageKind::Close});
  ASSERT_EQ(got.size(), 10u);
  const MessageKind order[] = {MessageKind::KeyDown, MessageKind::Char, MessageKind::KeyDown,
                               MessageKind::KeyUp, MessageKind::ButtonDown, MessageKind::MouseMove,
                               MessageKind::Wheel, MessageKind::ButtonUp, MessageKind::Size,
                               MessageKind::Close};
  for(size_t i = 0; i < got.size(); i++)
  {
    EXPECT_EQ(got[i].Kind, order[i]) << "message " << i;
    EXPECT_EQ(got[i].WindowId, id) << "message " << i;
  }
  EXPECT_EQ(got[0].Key.Scancode, int(SDL_SCANCODE_A));
  EXPECT_EQ(got[0].Key.Modifiers, KMOD_LSHIFT);
  EXPECT_TRUE(got[0].Key.Down);
  EXPECT_FALSE(got[0].Key.Repeat);
  EXPECT_EQ(got[1].Char, u'A');
  EXPECT_TRUE(got[2].Key.Repeat);
  EXPECT_FALSE(got[3].Key.Down);
  EXPECT_FALSE(got[3].Key.Repeat);
  EXPECT_EQ(got[4].Button, MOUSE_RIGHT);
  EXPECT_EQ(got[4].X, 10);
  EXPECT_EQ(got[4].Y, 20);
  EXPECT_EQ(got[5].X, 11);
  EXPECT_EQ(got[5].Y, 22);
  EXPECT_EQ(got[6].WheelDelta, 240);
  int32_t rest = 0;
  EXPECT_EQ(WheelNotches(rest, got[6].WheelDelta), 2);
  EXPECT_EQ(got[7].Button, MOUSE_RIGHT);
  EXPECT_EQ(got[7].X, 12);
  EXPECT_EQ(got[8].Width, 300);
  EXPECT_EQ(got[8].Height, 150);
}

TEST_F(WindowTest, DoubleClicksAndUnknownButtons)
{
  uint32_t id = Win->GetId();
  Push(ButtonEvent(id, true, SDL_BUTTON_LEFT, 1, 0, 0));
  Push(ButtonEvent(id, true, SDL_BUTTON_LEFT, 2, 0, 0));
  Push(ButtonEvent(id, true, SDL_BUTTON_LEFT, 3, 0, 0));
  Push(ButtonEvent(id, true, SDL_BUTTON_X2, 4, 0, 0));
  Push(ButtonEvent(id, true, 7, 1, 0, 0));
  Push(ButtonEvent(id, false, 7, 1, 0, 0));
  Push(ButtonEvent(id, false, SDL_BUTTON_MIDDLE, 2, 0, 0));
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::ButtonDown, MessageKind::ButtonUp,
                                              MessageKind::ButtonDoubleClick});
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].Kind, MessageKind::ButtonDown);
  EXPECT_EQ(got[1].Kind, MessageKind::ButtonDoubleClick);
  EXPECT_EQ(got[1].Button, MOUSE_LEFT);
  EXPECT_EQ(got[2].Kind, MessageKind::ButtonDown);
  EXPECT_EQ(got[3].Kind, MessageKind::ButtonDoubleClick);
  EXPECT_EQ(got[3].Button, MOUSE_EXTRA2);
  // a release is a release, however many clicks came before
  EXPECT_EQ(got[4].Kind, MessageKind::ButtonUp);
  EXPECT_EQ(got[4].Button, MOUSE_MIDDLE);
}

TEST_F(WindowTest, WheelDeltasInUnitsOf120)
{
  uint32_t id = Win->GetId();
  Push(WheelEvent(id, 0, 0.5f));
  Push(WheelEvent(id, -1, -1.0f));
  Push(WheelEvent(id, 1, 0.0f));
  Push(WheelEvent(id, 1, 1.0f, true));
  Push(WheelEvent(id, 0, 0.0f, false, 3));   // sideways only: no message
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::Wheel});
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].WheelDelta, 60);
  EXPECT_EQ(got[1].WheelDelta, -120);
  EXPECT_EQ(got[2].WheelDelta, 120);
  EXPECT_EQ(got[3].WheelDelta, -120);
}

TEST_F(WindowTest, TypedTextBecomesUtf16CodeUnits)
{
  Push(TextEvent(Win->GetId(), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"));
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::Char});
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].Char, u'a');
  EXPECT_EQ(got[1].Char, char16_t(0xe9));
  EXPECT_EQ(got[2].Char, char16_t(0x20ac));
  EXPECT_EQ(got[3].Char, char16_t(0xd83d));
  EXPECT_EQ(got[4].Char, char16_t(0xde00));
}

TEST_F(WindowTest, RawMotionOnlyWhileRegistered)
{
  uint32_t id = Win->GetId();
  Push(MotionEvent(id, 5, 6, -3, 4));
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::MouseMove, MessageKind::RawMotion});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Kind, MessageKind::MouseMove);

  ASSERT_TRUE(RegisterRawMouse(true));
  EXPECT_TRUE(IsRawMouseRegistered());
  Push(MotionEvent(id, 7, 8, -3, 4));
  got = OfKinds(Pump(), {MessageKind::MouseMove, MessageKind::RawMotion});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].Kind, MessageKind::RawMotion);
  EXPECT_EQ(got[0].Dx, -3);
  EXPECT_EQ(got[0].Dy, 4);
  EXPECT_EQ(got[1].Kind, MessageKind::MouseMove);
  EXPECT_EQ(got[1].X, 7);
  EXPECT_EQ(got[1].Y, 8);
}

TEST_F(WindowTest, WindowStateMessages)
{
  uint32_t id = Win->GetId();
  Push(WindowEvent(id, SDL_WINDOWEVENT_FOCUS_LOST));
  Push(WindowEvent(id, SDL_WINDOWEVENT_MINIMIZED));
  Push(WindowEvent(id, SDL_WINDOWEVENT_FOCUS_GAINED));
  SDL_Event joy = {};
  joy.type = SDL_JOYDEVICEADDED;
  Push(joy);
  SDL_Event quit = {};
  quit.type = SDL_QUIT;
  Push(quit);
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::Activate, MessageKind::Minimize,
                                              MessageKind::DeviceChange, MessageKind::Close});
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].Kind, MessageKind::Activate);
  EXPECT_FALSE(got[0].Active);
  EXPECT_EQ(got[1].Kind, MessageKind::Minimize);
  EXPECT_EQ(got[2].Kind, MessageKind::Activate);
  EXPECT_TRUE(got[2].Active);
  EXPECT_EQ(got[3].Kind, MessageKind::DeviceChange);
  EXPECT_EQ(got[4].Kind, MessageKind::Close);
  EXPECT_EQ(got[4].WindowId, id);
}

TEST_F(WindowTest, ExposureRequestsARepaint)
{
  Push(WindowEvent(Win->GetId(), SDL_WINDOWEVENT_EXPOSED));
  EXPECT_EQ(CountKind(Pump(), MessageKind::Paint, Win->GetId()), 1);
  EXPECT_EQ(CountKind(Pump(), MessageKind::Paint, Win->GetId()), 0);
}

TEST_F(WindowTest, QuitEndsDelivery)
{
  uint32_t id = Win->GetId();
  Push(KeyEventOf(id, true, SDL_SCANCODE_X, 0, false));
  Push(KeyEventOf(id, false, SDL_SCANCODE_X, 0, false));
  Win->Invalidate();
  int keys = 0, paints = 0;
  PumpMessages(
    [&](const Message &m) {
      if(m.Kind == MessageKind::KeyDown)
      {
        keys++;
        PostQuit(1);
      }
      if(m.Kind == MessageKind::KeyUp)
        keys++;
      if(m.Kind == MessageKind::Paint)
        paints++;
    },
    0);
  EXPECT_EQ(keys, 1);
  EXPECT_EQ(paints, 0);
  EXPECT_TRUE(IsQuitPosted());
  EXPECT_EQ(GetQuitCode(), 1);
  Win->Invalidate();
  EXPECT_EQ(PumpMessages([](const Message &) { ADD_FAILURE() << "delivered after quit"; }, 0), 0);
}

TEST_F(WindowTest, TerminationSignalsBecomeOneCloseRequest)
{
  ASSERT_TRUE(InstallCloseSignals());
  ASSERT_TRUE(InstallCloseSignals());   // a second install keeps the first saved handlers
  raise(SIGTERM);
  raise(SIGTERM);
  std::vector<Message> got = OfKinds(Pump(), {MessageKind::Close});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].WindowId, Win->GetId());
  EXPECT_TRUE(OfKinds(Pump(), {MessageKind::Close}).empty());

  // SIGINT from another process, while the loop waits for messages
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if(child == 0)
  {
    usleep(50 * 1000);
    kill(getppid(), SIGINT);
    _exit(0);
  }
  std::vector<Message> closes;
  for(int i = 0; i < 100 && closes.empty(); i++)
    closes = OfKinds(Pump(100), {MessageKind::Close});
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(closes.size(), 1u);

  RemoveCloseSignals();
  struct sigaction now = {};
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(WindowCreation, RejectsBadSizesAndDisplays)
{
  ChooseVideoDriver();
  std::u16string error;
  WindowDesc desc;
  desc.Width = 0;
  EXPECT_FALSE(Window::Create(desc, error));
  EXPECT_FALSE(error.empty());
  desc.Width = 100;
  desc.Height = -5;
  error.clear();
  EXPECT_FALSE(Window::Create(desc, error));
  EXPECT_FALSE(error.empty());
  desc.Height = 100;
  desc.Display = 99;
  error.clear();
  EXPECT_FALSE(Window::Create(desc, error));
  EXPECT_NE(plat::ToUtf8(error).find("display"), std::string::npos) << plat::ToUtf8(error);
}

TEST(WindowCreation, WithoutAnyDisplayFailsWithAReason)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
    {
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      setenv("SDL_VIDEODRIVER", "x11", 1);
      WindowDesc desc;
      desc.Width = 100;
      desc.Height = 100;
      std::u16string error;
      std::unique_ptr<Window> w = Window::Create(desc, error);
      fprintf(stderr, "%s\n", plat::ToUtf8(error).c_str());
      fflush(stderr);
      _exit(w ? 3 : 0);
    },
    testing::ExitedWithCode(0), "cannot start the video system: .+");
}

TEST(WindowCreation, FullScreenTakesTheDisplay)
{
  ChooseVideoDriver();
  std::u16string error;
  ASSERT_TRUE(InitVideo(error)) << plat::ToUtf8(error);
  DisplayMode desktop;
  ASSERT_TRUE(GetDesktopMode(0, desktop));
  WindowDesc desc;
  desc.Title = u"full";
  desc.Fullscreen = true;
  desc.Width = desktop.Width;
  desc.Height = desktop.Height;
  std::unique_ptr<Window> w = Window::Create(desc, error);
  ASSERT_TRUE(w) << plat::ToUtf8(error);
  EXPECT_TRUE(SDL_GetWindowFlags(w->GetSdlWindow()) & SDL_WINDOW_FULLSCREEN);
  int width = 0, height = 0;
  w->GetClientSize(width, height);
  EXPECT_EQ(width, desktop.Width);
  EXPECT_EQ(height, desktop.Height);
}

TEST(Displays, ListedWithTheirModes)
{
  ChooseVideoDriver();
  std::u16string error;
  ASSERT_TRUE(InitVideo(error)) << plat::ToUtf8(error);
  ASSERT_GE(GetDisplayCount(), 1);
  DisplayInfo info;
  ASSERT_TRUE(GetDisplayInfo(0, info));
  EXPECT_GT(info.Width, 0);
  EXPECT_GT(info.Height, 0);
  DisplayMode desktop;
  ASSERT_TRUE(GetDesktopMode(0, desktop));
  EXPECT_EQ(desktop.Width, info.Width);
  std::vector<DisplayMode> modes = GetDisplayModes(0);
  ASSERT_FALSE(modes.empty());
  bool found = false;
  for(const DisplayMode &m : modes)
    found |= m.Width == desktop.Width && m.Height == desktop.Height;
  if(!OffScreen())   // the off-screen driver lists modes of its own
  {
    EXPECT_TRUE(found);
  }

  int bad = GetDisplayCount();
  EXPECT_FALSE(GetDisplayInfo(bad, info));
  EXPECT_FALSE(GetDisplayInfo(-1, info));
  EXPECT_FALSE(GetDesktopMode(bad, desktop));
  EXPECT_TRUE(GetDisplayModes(bad).empty());
  EXPECT_TRUE(GetDisplayModes(-1).empty());
}

TEST_F(WindowTest, CursorShapesAndVisibility)
{
  if(!OffScreen())   // the off-screen driver has no cursors
  {
    for(int s = int(CursorShape::Arrow); s <= int(CursorShape::Hand); s++)
      EXPECT_TRUE(SetCursorShape(CursorShape(s))) << "shape " << s;
  }
  EXPECT_FALSE(SetCursorShape(CursorShape(99)));
  ShowCursor(false);
  EXPECT_FALSE(IsCursorShown());
  ShowCursor(true);
  EXPECT_TRUE(IsCursorShown());
  AllowScreenSaver(false);
  EXPECT_FALSE(SDL_IsScreenSaverEnabled());
  AllowScreenSaver(true);
  EXPECT_TRUE(SDL_IsScreenSaverEnabled());
  EXPECT_TRUE(DisableDesktopComposition());
}

TEST_F(WindowTest, CarriesAnOpenGLCoreContext)
{
  SDL_GLContext context = SDL_GL_CreateContext(Win->GetSdlWindow());
  ASSERT_NE(context, nullptr) << SDL_GetError();
  using GetIntegerv = void (*)(unsigned, int *);
  using ClearColor = void (*)(float, float, float, float);
  using Clear = void (*)(unsigned);
  using ReadPixels = void (*)(int, int, int, int, unsigned, unsigned, void *);
  using Finish = void (*)();
  auto getIntegerv = reinterpret_cast<GetIntegerv>(SDL_GL_GetProcAddress("glGetIntegerv"));
  auto clearColor = reinterpret_cast<ClearColor>(SDL_GL_GetProcAddress("glClearColor"));
  auto clear = reinterpret_cast<Clear>(SDL_GL_GetProcAddress("glClear"));
  auto readPixels = reinterpret_cast<ReadPixels>(SDL_GL_GetProcAddress("glReadPixels"));
  auto finish = reinterpret_cast<Finish>(SDL_GL_GetProcAddress("glFinish"));
  ASSERT_TRUE(getIntegerv && clearColor && clear && readPixels && finish);
  int major = 0, minor = 0;
  getIntegerv(0x821B /* major version */, &major);
  getIntegerv(0x821C /* minor version */, &minor);
  EXPECT_GE(major * 10 + minor, 33);
  clearColor(1.0f, 0.5f, 0.0f, 1.0f);
  clear(0x4000 /* colour buffer */);
  finish();
  unsigned char pixel[4] = {};
  readPixels(10, 10, 1, 1, 0x1908 /* RGBA */, 0x1401 /* unsigned byte */, pixel);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_NEAR(pixel[1], 128, 1);
  EXPECT_EQ(pixel[2], 0);
  SDL_GL_DeleteContext(context);
}

TEST(Documents, OpenedThroughTheReplaceableOpener)
{
  std::vector<std::u16string> opened;
  bool fail = false;
  SetDocumentOpener([&](const std::u16string &doc, std::u16string &error) {
    opened.push_back(doc);
    if(fail)
      error = u"no browser";
    return !fail;
  });
  std::u16string error;
  EXPECT_TRUE(OpenDocument(u"https://example.org/caf\u00e9", error));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], u"https://example.org/caf\u00e9");

  fail = true;
  EXPECT_FALSE(OpenDocument(u"/tmp/flyer.png", error));
  EXPECT_EQ(error, u"no browser");

  // nothing that the opener could take for an option or a cut-short name reaches it
  opened.clear();
  error.clear();
  EXPECT_FALSE(OpenDocument(u"", error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(OpenDocument(u"--help", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(OpenDocument(std::u16string(u"a\0b", 3), error));
  EXPECT_TRUE(opened.empty());
  SetDocumentOpener(nullptr);
}
