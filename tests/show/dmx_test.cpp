// DMX input over a pseudo terminal: the test plays the USB DMX widget on the master side.
#include "platform/text/utf.hpp"
#include "show/dmx.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace
{
using Bytes = std::vector<sU8>;
using Clock = std::chrono::steady_clock;

std::mutex ListMutex;
std::vector<std::string> WidgetPaths;
std::vector<std::string> ListTestWidgets()
{
  std::lock_guard<std::mutex> lock(ListMutex);
  return WidgetPaths;
}

std::mutex OutputMutex;
std::string Output;
void TakeOutput(const sChar *text, void *)
{
  std::lock_guard<std::mutex> lock(OutputMutex);
  Output += plat::ToUtf8(text);
}
bool OutputHas(const char *part)
{
  std::lock_guard<std::mutex> lock(OutputMutex);
  return Output.find(part) != std::string::npos;
}

template <class F> bool WaitFor(F done, int seconds = 20)
{
  auto end = Clock::now() + std::chrono::seconds(seconds);
  while(!done())
  {
    if(Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

Bytes Message(sU8 label, const Bytes &data, sU8 end = 0xE7)
{
  Bytes m = {0x7E, label, sU8(data.size() & 0xff), sU8(data.size() >> 8)};
  m.insert(m.end(), data.begin(), data.end());
  m.push_back(end);
  return m;
}

// A received-DMX message: status 0, the start code, the channel values.
Bytes Frame(const Bytes &channels, sU8 startCode = 0)
{
  Bytes data = {0, startCode};
  data.insert(data.end(), channels.begin(), channels.end());
  return Message(sDMX_LABEL_RECEIVED, data);
}

Bytes Ramp(size_t count, sU8 seed)
{
  Bytes c(count);
  for(size_t i = 0; i < count; i++) c[i] = sU8(seed + i * 7);
  return c;
}

// The widget's side of a pseudo terminal: answers the parameter and serial requests.
class FakeWidget
{
public:
  int Master = -1;
  std::string Path;
  std::thread Player;
  std::mutex WriteMutex;
  bool Quit = false;   // under WriteMutex

  FakeWidget()
  {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if(Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
    Path = ptsname(Master);
    Player = std::thread([this] { Answer(); });
  }
  ~FakeWidget() { Hangup(); }

  // Closes the master: the device is gone for the receiver.
  void Hangup()
  {
    {
      std::lock_guard<std::mutex> lock(WriteMutex);
      Quit = true;
    }
    if(Player.joinable()) Player.join();
    if(Master >= 0) close(Master);
    Master = -1;
  }

  void Send(const Bytes &b)
  {
    std::lock_guard<std::mutex> lock(WriteMutex);
    size_t done = 0;
    while(done < b.size())
    {
      ssize_t n = write(Master, b.data() + done, b.size() - done);
      if(n <= 0) break;
      done += size_t(n);
    }
  }

private:
  void Answer()
  {
    Bytes in;
    for(;;)
    {
      {
        std::lock_guard<std::mutex> lock(WriteMutex);
        if(Quit) return;
      }
      pollfd p = {Master, POLLIN, 0};
      if(poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
      sU8 buf[64];
      ssize_t n = read(Master, buf, sizeof(buf));
      if(n <= 0) continue;
      in.insert(in.end(), buf, buf + n);
      // requests are 7 bytes: 0x7E, label, 2, 0, 0, 0, 0xE7
      while(in.size() >= 7)
      {
        if(in[0] != 0x7E)
        {
          in.erase(in.begin());
          continue;
        }
        sU8 label = in[1];
        in.erase(in.begin(), in.begin() + 7);
        // unrelated bytes before every reply: the receive must find the reply anyway
        Bytes reply = {0x12, 0xE7, 0x00};
        Bytes answer = label == sDMX_LABEL_PARAMETERS ? Message(label, {1, 2, 3, 4, 5, 6, 7}) : Message(label, {9, 8, 7, 6});
        reply.insert(reply.end(), answer.begin(), answer.end());
        Send(reply);
      }
    }
  }
};

class DmxTest : public testing::Test
{
protected:
  void SetUp() override
  {
    Output.clear();
    sSetDebugOutputCapture(&TakeOutput, nullptr);
    sSetDmxWidgetLister(&ListTestWidgets);
  }
  void TearDown() override
  {
    sSetDmxWidgetLister(nullptr);
    sSetDebugOutputCapture(nullptr, nullptr);
    SetWidgets({});
  }
  static void SetWidgets(std::vector<std::string> paths)
  {
    std::lock_guard<std::mutex> lock(ListMutex);
    WidgetPaths = std::move(paths);
  }
  static std::vector<sF32> Channels(sUsbDmx &dmx)
  {
    std::vector<sF32> out(sDMX_TABLESIZE, -1.0f);
    out.resize(size_t(dmx.GetChannels(out.data(), sInt(out.size()))));
    return out;
  }
  static bool Shows(sUsbDmx &dmx, const Bytes &channels)
  {
    std::vector<sF32> got = Channels(dmx);
    if(got.size() != channels.size()) return false;
    for(size_t i = 0; i < got.size(); i++)
      if(got[i] != sF32(channels[i]) * 0.003921569f) return false;
    return true;
  }
};

TEST_F(DmxTest, ConnectsGreetsAndScalesFramesOfEverySize)
{
  FakeWidget widget;
  ASSERT_FALSE(widget.Path.empty());
  SetWidgets({widget.Path});
  sUsbDmx dmx;
  ASSERT_TRUE(WaitFor([&] { return dmx.Connected.load() == 1; }));
  EXPECT_TRUE(OutputHas("DMXthread: Found device and connected\n"));
  EXPECT_EQ(Bytes(sDmxWidgetParameters(), sDmxWidgetParameters() + 5), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(Bytes(sDmxWidgetSerial(), sDmxWidgetSerial() + 4), (Bytes{9, 8, 7, 6}));
  EXPECT_TRUE(Channels(dmx).empty()) << "no frame yet";

  for(size_t count : {1, 2, 24, 255, 510, 511, 512})
  {
    Bytes c = Ramp(count, sU8(count));
    c[0] = 255;
    widget.Send(Frame(c));
    EXPECT_TRUE(WaitFor([&] { return Shows(dmx, c); })) << count << " channels";
    EXPECT_EQ(Channels(dmx)[0], 1.0f);
  }
  // a caller's bank smaller than the frame gets what fits
  sF32 few[4] = {-1, -1, -1, -1};
  EXPECT_EQ(dmx.GetChannels(few, 3), 3);
  EXPECT_EQ(few[3], -1.0f);
  dmx.Close();
  EXPECT_EQ(dmx.Connected.load(), 0);
  EXPECT_TRUE(Channels(dmx).empty());
}

TEST_F(DmxTest, SkipsGarbagePartialForeignAndNonChannelMessages)
{
  FakeWidget widget;
  SetWidgets({widget.Path});
  sUsbDmx dmx;
  ASSERT_TRUE(WaitFor([&] { return dmx.Connected.load() == 1; }));
  Bytes first = Ramp(16, 1);
  widget.Send(Frame(first));
  ASSERT_TRUE(WaitFor([&] { return Shows(dmx, first); }));

  // a frame hidden inside the data of another label must not be taken
  Bytes hidden = Frame(Ramp(8, 99));
  Bytes foreign = Message(9, hidden);
  const Bytes stale = Ramp(12, 200);
  struct Case
  {
    const char *What;
    Bytes Stream;
  } cases[] = {
      {"garbage", {0x00, 0xE7, 0x7E, 0x7E, 0x33, 0xFF}},
      {"foreign label", foreign},
      {"wrong end byte", Frame(stale)},
      {"start code not 0", Frame(stale, 0xCC)},
      {"too long", {0x7E, 5, 0x10, 0x02}},
  };
  cases[2].Stream.back() = 0x00;
  sU8 seed = 40;
  for(Case &c : cases)
  {
    widget.Send(c.Stream);
    Bytes good = Ramp(20, seed++);
    widget.Send(Frame(good));
    bool sawOther = false;
    bool ok = WaitFor([&] {
      if(Shows(dmx, Ramp(8, 99)) || Shows(dmx, stale)) sawOther = true;
      return Shows(dmx, good);
    });
    EXPECT_TRUE(ok) << c.What;
    EXPECT_FALSE(sawOther) << c.What;
  }
  // a message cut off: the read times out, the following frame is taken
  widget.Send({0x7E, 5, 20, 0, 0, 0, 1, 2});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(dmx.Error.load(), 1);
  Bytes last = Ramp(30, 7);
  widget.Send(Frame(last));
  EXPECT_TRUE(WaitFor([&] { return Shows(dmx, last); }));
  EXPECT_EQ(dmx.Connected.load(), 1);
}

TEST_F(DmxTest, LostWidgetIsReportedAndANewOneFound)
{
  auto widget = std::make_unique<FakeWidget>();
  SetWidgets({widget->Path});
  sUsbDmx dmx;
  ASSERT_TRUE(WaitFor([&] { return dmx.Connected.load() == 1; }));
  Bytes a = Ramp(10, 3);
  widget->Send(Frame(a));
  ASSERT_TRUE(WaitFor([&] { return Shows(dmx, a); }));

  SetWidgets({});
  widget->Hangup();
  ASSERT_TRUE(WaitFor([&] { return OutputHas("DMXthread: Error talking to device - disconnecting!\n"); }));
  EXPECT_EQ(dmx.Connected.load(), 0);
  EXPECT_TRUE(Channels(dmx).empty());

  FakeWidget second;
  SetWidgets({second.Path});
  ASSERT_TRUE(WaitFor([&] { return dmx.Connected.load() == 1; }));
  Bytes b = Ramp(64, 11);
  second.Send(Frame(b));
  EXPECT_TRUE(WaitFor([&] { return Shows(dmx, b); }));
}

// Close ends the thread at once whether it sleeps between searches or waits on a read.
TEST_F(DmxTest, CloseInterruptsSleepAndRead)
{
  for(bool connected : {false, true})
  {
    FakeWidget widget;
    if(connected) SetWidgets({widget.Path});
    else SetWidgets({});
    sUsbDmx dmx;
    if(connected) ASSERT_TRUE(WaitFor([&] { return dmx.Connected.load() == 1; }));
    else std::this_thread::sleep_for(std::chrono::milliseconds(100));   // asleep for 2 s now
    auto start = Clock::now();
    dmx.Close();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_LT(ms, 200) << (connected ? "connected" : "searching");
    EXPECT_EQ(dmx.Thread, nullptr);
  }
}

// A bounded mutation run: damaged streams between good frames never upset the receiver,
// which afterwards still takes a good frame.
TEST_F(DmxTest, MutatedStreamsLeaveTheReceiverWorking)
{
  FakeWidget widget;
  SetWidgets({widget.Path});
  sUsbDmx dmx;
  ASSERT_TRUE(WaitFor([&] { return dmx.Connected.load() == 1; }));
  uint64_t state = 0x2545F4914F6CDD1Dull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return uint32_t(state);
  };
  for(int round = 0; round < 40; round++)
  {
    Bytes stream;
    for(int k = 0; k < 4; k++)
    {
      Bytes m = Frame(Ramp(1 + next() % 512, sU8(next())));
      for(int flips = int(next() % 4); flips > 0; flips--) m[next() % m.size()] = sU8(next());
      if(next() % 3 == 0) m.resize(next() % m.size());
      stream.insert(stream.end(), m.begin(), m.end());
    }
    widget.Send(stream);
    for(sF32 v : Channels(dmx)) ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
    ASSERT_LE(Channels(dmx).size(), size_t(513));
    // a cut message may swallow what follows until its read times out
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Bytes good = Ramp(5 + round, sU8(round));
    widget.Send(Frame(good));
    ASSERT_TRUE(WaitFor([&] { return Shows(dmx, good); })) << "round " << round;
  }
  EXPECT_EQ(dmx.Connected.load(), 1);
}
}
