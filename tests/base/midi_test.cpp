// MIDI handler over a loopback MIDI system: messages fed on another thread, the ring's
// limits and the subsystem without any MIDI system.
#include "common/check.hpp"
#include "base/app.hpp"
#include "base/midi.hpp"
#include "base/numbers.hpp"
#include "common/capture.hpp"
#include "common/midi_loopback.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace
{

// A handler over a fresh loopback system; Devices is the loopback the handler owns.
struct LoopbackHandler
{
  plat::MidiLoopbackBackend *Devices;
  std::unique_ptr<sMidiHandlerWin> Handler;

  template <class Setup> explicit LoopbackHandler(Setup setup)
  {
    auto backend = std::make_unique<plat::MidiLoopbackBackend>();
    Devices = backend.get();
    setup(*Devices);
    Handler = std::make_unique<sMidiHandlerWin>(std::move(backend));
  }
  // every message read so far, skipping the open notices (status 0)
  std::vector<sMidiMessage> ReadAll(bool skipNotices = true)
  {
    Devices->Flush();
    std::vector<sMidiMessage> out;
    sMidiMessage m;
    while(Handler->Read(m))
      if(!skipNotices || m.Status != 0)
        out.push_back(m);
    return out;
  }
};

}

TEST(Midi, MessagesFromAnotherThreadArriveInOrderWithTheirFields)
{
  LoopbackHandler h([](plat::MidiLoopbackBackend &b) {
    b.AddInput(u"Pads");
    b.AddInput(u"Faders");
  });
  ASSERT_EQ(h.Handler->GetInputCount(), 2);

  // the two open notices come first, with status 0, one per input
  sMidiMessage m;
  for(int device : {0, 1})
  {
    ASSERT_TRUE(h.Handler->Read(m));
    EXPECT_TRUE(m.Status == 0 && m.Device == device);
  }
  EXPECT_FALSE(h.Handler->HasInput());

  sU32 before = sGetTime();
  std::thread feeder([&] {
    for(int i = 0; i < 600; i++)
      h.Devices->Feed(i % 2, plat::MidiPackShort(0xB0 | (i % 16), sU8(i % 128), sU8((i * 7) % 128)));
  });
  feeder.join();
  std::vector<sMidiMessage> got = h.ReadAll();
  sU32 after = sGetTime();
  ASSERT_EQ(got.size(), 600u);
  for(int i = 0; i < 600; i++)
  {
    EXPECT_EQ(got[i].Device, i % 2) << i;
    EXPECT_EQ(got[i].Status, 0xB0 | (i % 16)) << i;
    EXPECT_EQ(got[i].Data1, i % 128) << i;
    EXPECT_EQ(got[i].Data2, (i * 7) % 128) << i;
    EXPECT_LE(got[i].Time - before, after - before) << "time stamps come from the program's clock";
    if(i > 0)
    {
      EXPECT_GE(got[i].Time - before, got[i - 1].Time - before) << "arrival times do not go back";
    }
  }
  EXPECT_FALSE(h.Handler->HasInput());
}

TEST(Midi, FullRingDropsNewMessagesUntilTheApplicationReads)
{
  LoopbackHandler h([](plat::MidiLoopbackBackend &b) { b.AddInput(u"Keys"); });
  sMidiMessage m;
  ASSERT_TRUE(h.Handler->Read(m));   // the open notice
  ASSERT_FALSE(h.Handler->HasInput());

  for(int i = 0; i < 1025; i++)
    h.Devices->Feed(0, plat::MidiPackShort(0xB0, sU8(i & 0x7f), sU8(i >> 7)));
  h.Devices->Flush();

  // one read makes room for exactly one more
  ASSERT_TRUE(h.Handler->Read(m));
  EXPECT_EQ(m.Data1, 0);
  EXPECT_EQ(m.Data2, 0);
  h.Devices->Feed(0, plat::MidiPackShort(0xC5, 11, 22));
  h.Devices->Feed(0, plat::MidiPackShort(0xC6, 33, 44));
  std::vector<sMidiMessage> rest = h.ReadAll(false);
  ASSERT_EQ(rest.size(), 1024u);
  for(int i = 1; i < 1024; i++)
  {
    ASSERT_EQ(rest[i - 1].Data1, i & 0x7f);
    ASSERT_EQ(rest[i - 1].Data2, i >> 7);
  }
  // message 1025 (i = 1024) was dropped; the one fed after the read is stored, the
  // following one found the ring full again
  EXPECT_EQ(rest[1023].Status, 0xC5);
  EXPECT_EQ(rest[1023].Data1, 11);
  EXPECT_EQ(rest[1023].Data2, 22);
  EXPECT_FALSE(h.Handler->HasInput());
}

TEST(MidiDeathTest, SendingToAnOutputThatIsNotOpenIsFatal)
{
  LoopbackHandler h([](plat::MidiLoopbackBackend &b) { b.AddOutput(u"Synth"); });
  EXPECT_EXIT(h.Handler->SendShort(1, 0x90, 1, 2), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(h.Handler->SendShort(-1, 0x90, 1, 2), testing::ExitedWithCode(1), kCheckFailed);
}

namespace
{
plat::MidiLoopbackBackend *MissingSystem = nullptr;
std::unique_ptr<plat::MidiBackend> MakeMissingSystem()
{
  auto b = std::make_unique<plat::MidiLoopbackBackend>();
  b->SetError(u"no MIDI sequencer");
  MissingSystem = b.get();
  return b;
}
}

TEST(MidiDeathTest, SubsystemWithoutAMidiSystemLogsAndGoesOn)
{
  // the registration changes the framework's registry: done in a child process
  EXPECT_EXIT(
      {
        sparktest::DebugCapture out;
        sSetMidiBackendFactory(&MakeMissingSystem);
        sRunSubsystems(256);
        sAddMidi(0);
        bool made = sMidiHandlerPtr != nullptr && MissingSystem != nullptr;
        bool empty = made && !sMidiHandlerPtr->HasInput() && !sMidiHandlerPtr->GetDeviceName(0, 0);
        sRunSubsystems(128);
        bool gone = sMidiHandlerPtr == nullptr;
        sRunSubsystems(0);
        out.Stop();
        std::fprintf(stderr, "made %d empty %d gone %d\n%s", made, empty, gone, out.Text().c_str());
        std::fflush(stderr);
        _exit(0);
      },
      testing::ExitedWithCode(0), "made 1 empty 1 gone 1\n(.|\n)*no MIDI devices: no MIDI sequencer");
}
