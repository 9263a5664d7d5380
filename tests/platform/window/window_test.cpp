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

// Events as the display would send them to the window.
SDL_Event WindowEvent(uint32_t window, uint8_t what, int data1 = 0, int data2 = 0)
{
  SDL_Event e = {};
  e.window = {SDL_WINDOWEVENT, 0, window, what, 0, 0, 0, data1, data2};
  return e;
}

SDL_Event KeyEventOf(uint32_t window, bool down, SDL_Scancode sc, uint16_t mod, bool repeat)
{
  SDL_Event e = {};
  e.key = {down ? SDL_KEYDOWN : SDL_KEYUP, 0, window, uint8_t(down ? SDL_PRESSED : SDL_RELEASED), uint8_t(repeat), 0, 0,
           {sc, SDL_GetKeyFromScancode(sc), mod, 0}};
  return e;
}

SDL_Event ButtonEvent(uint32_t window, bool down, uint8_t button, uint8_t clicks, int x, int y)
{
  SDL_Event e = {};
  e.button = {down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP, 0, window, 0, button,
              uint8_t(down ? SDL_PRESSED : SDL_RELEASED), clicks, 0, x, y};
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

TEST_F(WindowTest, InjectedEventsArriveAsMessagesInOrder)
{
  uint32_t id = Win->GetId();
  SDL_Event motion = {}, wheel = {}, text = {};
  motion.motion = {SDL_MOUSEMOTION, 0, id, 0, 0, 11, 22, 1, 2};
  wheel.wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.windowID = id;
  wheel.wheel.y = 2;
  wheel.wheel.preciseY = 2.0f;
  text.text.type = SDL_TEXTINPUT;
  text.text.windowID = id;
  strcpy(text.text.text, "A");
  Push(KeyEventOf(id, true, SDL_SCANCODE_A, KMOD_LSHIFT, false));
  Push(text);
  Push(KeyEventOf(id, true, SDL_SCANCODE_A, KMOD_LSHIFT, true));
  Push(KeyEventOf(id, false, SDL_SCANCODE_A, KMOD_LSHIFT, true));
  Push(ButtonEvent(id, true, SDL_BUTTON_RIGHT, 1, 10, 20));
  Push(motion);
  Push(wheel);
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
  EXPECT_TRUE(got[0].Key.Scancode == int(SDL_SCANCODE_A) && got[0].Key.Modifiers == KMOD_LSHIFT && got[0].Key.Down &&
              !got[0].Key.Repeat);
  EXPECT_EQ(got[1].Char, u'A');
  EXPECT_TRUE(got[2].Key.Repeat && !got[3].Key.Down && !got[3].Key.Repeat);
  EXPECT_TRUE(got[4].Button == MOUSE_RIGHT && got[4].X == 10 && got[4].Y == 20);
  EXPECT_TRUE(got[5].X == 11 && got[5].Y == 22);
  EXPECT_EQ(got[6].WheelDelta, 240);
  int32_t rest = 0;
  EXPECT_EQ(WheelNotches(rest, got[6].WheelDelta), 2);
  EXPECT_TRUE(got[7].Button == MOUSE_RIGHT && got[7].X == 12);
  EXPECT_TRUE(got[8].Width == 300 && got[8].Height == 150);
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
