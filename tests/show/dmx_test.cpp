// DMX input over a pseudo terminal: the test plays the USB DMX widget on the master side.
#include "dmx_widget.hpp"

#include "common/capture.hpp"
#include "common/mutator.hpp"
#include "common/wait.hpp"

#include <mutex>

namespace
{
using namespace dmxwidget;
using sparktest::WaitFor;

std::mutex Mutex;   // what the receive thread reads: the widgets to find
std::vector<std::string> WidgetPaths;
template <class F> auto Locked(F f)
{
  std::lock_guard<std::mutex> lock(Mutex);
  return f();
}
void SetWidgets(std::vector<std::string> paths) { Locked([&] { WidgetPaths = paths; }); }

class DmxTest : public testing::Test
{
protected:
  void SetUp() override
  {
    SetWidgets({Widget.Path});
    sSetDmxWidgetLister([] { return Locked([] { return WidgetPaths; }); });
  }
  void TearDown() override
  {
    sSetDmxWidgetLister(nullptr);
    SetWidgets({});
  }
  static std::vector<sF32> Channels(sUsbDmx &dmx)
  {
    std::vector<sF32> out(sDMX_TABLESIZE, -1.0f);
    out.resize(size_t(dmx.GetChannels(out.data(), sInt(out.size()))));
    return out;
  }
  // The channels of the frame, as values 0..1.
  static bool Shows(sUsbDmx &dmx, const Bytes &frame)
  {
    std::vector<sF32> want;
    for(size_t i = 6; i + 1 < frame.size(); i++) want.push_back(sF32(frame[i]) * 0.003921569f);
    return Channels(dmx) == want;
  }
  static bool Connected(sUsbDmx &dmx) { return WaitFor([&] { return dmx.Connected.load() == 1; }); }
  FakeWidget Widget;
  sparktest::DebugCapture Output;   // the receive thread's messages
};

TEST_F(DmxTest, GreetsTheWidgetAndScalesFramesOfEverySize)
{
  sUsbDmx dmx;
  ASSERT_TRUE(Connected(dmx) && Channels(dmx).empty()) << "no frame yet";
  EXPECT_TRUE(Output.Has("DMXthread: Found device and connected\n") &&
              Bytes(sDmxWidgetParameters(), sDmxWidgetParameters() + 5) == (Bytes{1, 2, 3, 4, 5}) &&
              Bytes(sDmxWidgetSerial(), sDmxWidgetSerial() + 4) == (Bytes{9, 8, 7, 6}));
  for(size_t count : {1, 2, 255, 510, 512})
  {
    Bytes f = Frame(count, sU8(count));
    f[6] = 255;
    Widget.Send(f);
    EXPECT_TRUE(WaitFor([&] { return Shows(dmx, f); }) && Channels(dmx)[0] == 1.0f) << count << " channels";
  }
  sF32 few[4] = {-1, -1, -1, -1};
  EXPECT_TRUE(dmx.GetChannels(few, 3) == 3 && few[3] == -1.0f) << "a smaller bank gets what fits";
}

TEST_F(DmxTest, SkipsGarbagePartialForeignAndNonChannelMessages)
{
  sUsbDmx dmx;
  ASSERT_TRUE(Connected(dmx));
  const Bytes hidden = Frame(8, 99), stale = Frame(12, 200), overlong = Frame(513, 60);   // a slot past a universe
  Bytes badEnd = stale, other = Frame(12, 200, 0xCC);
  badEnd.back() = 0;
  const Bytes cases[] = {{0x00, 0xE7, 0x7E, 0x7E, 0x33, 0xFF}, Message(9, hidden), badEnd, other, {0x7E, 5, 0x10, 0x02}, overlong};
  sU8 seed = 40;
  for(const Bytes &bad : cases)
  {
    Widget.Send(bad);
    Bytes good = Frame(20, seed++);
    Widget.Send(good);
    bool wrong = false;
    EXPECT_TRUE(WaitFor([&] { return (wrong |= Shows(dmx, hidden) || Shows(dmx, stale) || Shows(dmx, overlong)), Shows(dmx, good); }))
        << int(seed);
    EXPECT_FALSE(wrong) << int(seed);
  }
  Widget.Send({0x7E, 5, 20, 0, 0, 0, 1, 2});   // cut off: the read times out
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(dmx.Error.load(), 1);
  Widget.Send(stale);
  EXPECT_TRUE(WaitFor([&] { return Shows(dmx, stale); }));
}

// A lost widget is reported and a new one found; Close ends the thread at once, whether it
// waits on a read or sleeps between searches.
TEST_F(DmxTest, LostWidgetIsFoundAgainAndCloseIsPrompt)
{
  sUsbDmx dmx;
  ASSERT_TRUE(Connected(dmx));
  SetWidgets({});
  Widget.Hangup();
  ASSERT_TRUE(WaitFor([&] { return Output.Has("DMXthread: Error talking to device - disconnecting!\n"); }));
  EXPECT_TRUE(WaitFor([&] { return dmx.Connected.load() == 0; }));
  FakeWidget second;
  SetWidgets({second.Path});
  ASSERT_TRUE(Connected(dmx));
  second.Send(Frame(64, 11));
  EXPECT_TRUE(WaitFor([&] { return Shows(dmx, Frame(64, 11)); }));
  auto closing = [](sUsbDmx &d) { return [start = Clock::now(), &d] { return d.Close(), Clock::now() - start; }(); };
  EXPECT_LT(closing(dmx), std::chrono::milliseconds(200)) << "reading";
  EXPECT_TRUE(Channels(dmx).empty());
  SetWidgets({});
  sUsbDmx idle;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));   // asleep for 2 s now
  EXPECT_LT(closing(idle), std::chrono::milliseconds(200)) << "asleep";
}

// A bounded mutation run: damaged frames never give values outside 0..1 or more than 512
// channels, and a good frame afterwards is still taken.
TEST_F(DmxTest, MutatedStreamsLeaveTheReceiverWorking)
{
  sUsbDmx dmx;
  ASSERT_TRUE(Connected(dmx));
  sparktest::Mutator rnd(0x2545F4914F6CDD1Dull);
  auto next = [&] { return rnd.Next(); };
  for(int round = 0; round < 40; round++)
  {
    for(int k = 0; k < 4; k++)
    {
      Bytes m = Frame(1 + next() % 512, sU8(next()));
      for(int flips = int(next() % 4); flips > 0; flips--) m[next() % m.size()] = sU8(next());
      Widget.Send(Bytes(m.begin(), m.begin() + (next() % 3 ? m.size() : next() % m.size())));
    }
    std::vector<sF32> got = Channels(dmx);
    EXPECT_TRUE(got.size() <= 512 && std::all_of(got.begin(), got.end(), [](sF32 v) { return v >= 0 && v <= 1; }));
    int tick = 0;   // as from a desk, the frame comes again and again: a damaged message may swallow one
    const Bytes good = Frame(5 + round, sU8(round));
    ASSERT_TRUE(WaitFor([&] { return (tick++ % 50 || (Widget.Send(good), true)) && Shows(dmx, good); })) << "round " << round;
  }
}
}
