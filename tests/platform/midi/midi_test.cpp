#include "common/wait.hpp"
#include "fake_sequencer.hpp"
#include "platform/midi/alsa_events.hpp"
#include "platform/midi/midi.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

namespace
{

struct Received
{
  plat::MidiInputEvent Event;
  uint32_t Message;
  uint32_t Time;
};

struct Collector
{
  std::mutex Lock;
  std::vector<Received> Events;
  std::atomic<int> Running{0};
  std::atomic<bool> Overlap{false};

  static void Proc(void *user, plat::MidiInputEvent event, uint32_t message, uint32_t time)
  {
    auto *self = static_cast<Collector *>(user);
    if(self->Running.fetch_add(1) != 0)
      self->Overlap = true;
    {
      std::lock_guard<std::mutex> guard(self->Lock);
      self->Events.push_back({event, message, time});
    }
    self->Running.fetch_sub(1);
  }
  std::vector<uint32_t> Data()
  {
    std::lock_guard<std::mutex> guard(Lock);
    std::vector<uint32_t> out;
    for(const Received &r : Events)
      if(r.Event == plat::MidiInputEvent::Data)
        out.push_back(r.Message);
    return out;
  }
};

}

TEST(MidiSeqEvents, EveryShortMessageSurvivesEncodeAndDecode)
{
  for(unsigned status = 0x80; status <= 0xff; status++)
  {
    if(!plat::MidiIsShortStatus(uint8_t(status)))
    {
      snd_seq_event_t ev;
      EXPECT_FALSE(plat::MidiEncodeSeqEvent(status, ev)) << std::hex << status;
      continue;
    }
    int bytes = plat::MidiDataBytes(uint8_t(status));
    for(unsigned d1 : {0u, 1u, 64u, 127u})
      for(unsigned d2 : {0u, 5u, 127u})
      {
        uint32_t message = plat::MidiPackShort(uint8_t(status), uint8_t(bytes >= 1 ? d1 : 0), uint8_t(bytes >= 2 ? d2 : 0));
        snd_seq_event_t ev;
        ASSERT_TRUE(plat::MidiEncodeSeqEvent(message, ev)) << std::hex << message;
        uint32_t out[4] = {};
        ASSERT_EQ(plat::MidiDecodeSeqEvent(ev, out, 4), 1) << std::hex << message;
        EXPECT_EQ(out[0], message);
      }
  }
}

TEST(MidiSeqEvents, DecodesCompoundAndForeignEvents)
{
  snd_seq_event_t ev;
  uint32_t out[4];

  // pitch bend: the centre, the bottom, and out of range clamped to the top
  for(auto [bend, lsb, msb] : {std::tuple{0, 0x00, 0x40}, {-8192, 0, 0}, {9000, 0x7f, 0x7f}})
  {
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_pitchbend(&ev, 2, bend);
    ASSERT_EQ(plat::MidiDecodeSeqEvent(ev, out, 4), 1);
    EXPECT_EQ(out[0], plat::MidiPackShort(0xe2, uint8_t(lsb), uint8_t(msb))) << bend;
  }

  // a 14-bit controller becomes its coarse and fine controllers
  snd_seq_ev_clear(&ev);
  ev.type = SND_SEQ_EVENT_CONTROL14;
  ev.data.control.channel = 1;
  ev.data.control.param = 7;
  ev.data.control.value = (100 << 7) | 3;
  ASSERT_EQ(plat::MidiDecodeSeqEvent(ev, out, 4), 2);
  EXPECT_TRUE(out[0] == plat::MidiPackShort(0xb1, 7, 100) && out[1] == plat::MidiPackShort(0xb1, 39, 3));

  // a registered parameter is the four controllers that select and set it
  ev.type = SND_SEQ_EVENT_REGPARAM;
  ev.data.control.param = (1 << 7) | 2;
  ev.data.control.value = (64 << 7) | 9;
  ASSERT_EQ(plat::MidiDecodeSeqEvent(ev, out, 4), 4);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 4), (std::vector<uint32_t>{plat::MidiPackShort(0xb1, 101, 1), plat::MidiPackShort(0xb1, 100, 2),
                                                                       plat::MidiPackShort(0xb1, 6, 64), plat::MidiPackShort(0xb1, 38, 9)}));
  // a short output array is never overrun
  uint32_t two[2] = {0xdead, 0xbeef};
  EXPECT_EQ(plat::MidiDecodeSeqEvent(ev, two, 1), 1);
  EXPECT_EQ(two[1], 0xbeefu);

  // sysex and port announcements carry no short message
  snd_seq_ev_clear(&ev);
  for(auto type : {SND_SEQ_EVENT_SYSEX, SND_SEQ_EVENT_PORT_SUBSCRIBED})
    EXPECT_EQ((ev.type = type, plat::MidiDecodeSeqEvent(ev, out, 4)), 0) << type;

  // data values beyond seven bits do not spill into the status byte of the next field
  snd_seq_ev_clear(&ev);
  snd_seq_ev_set_controller(&ev, 0, 200, 300);
  ASSERT_EQ(plat::MidiDecodeSeqEvent(ev, out, 4), 1);
  EXPECT_EQ(plat::MidiStatus(out[0]), 0xb0);
  EXPECT_EQ(out[0] & 0xff808000u, 0u);
}

TEST(MidiAlsa, WithoutASequencerListsNothingAndSaysWhy)
{
  auto midi = plat::CreateAlsaMidiBackend();
  ASSERT_TRUE(midi);
  std::u16string name;
  if(access("/dev/snd/seq", R_OK | W_OK) != 0)
  {
    EXPECT_EQ(midi->GetNumInputs(), 0);
    EXPECT_EQ(midi->GetNumOutputs(), 0);
    EXPECT_FALSE(midi->GetError().empty());
    EXPECT_FALSE(midi->GetInputName(0, name));
    Collector got;
    std::u16string error;
    EXPECT_FALSE(midi->OpenInput(0, Collector::Proc, &got, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(midi->OpenOutput(0));
  }
  else
  {
    // a machine with a sequencer: every listed device has a name
    EXPECT_TRUE(midi->GetError().empty());
    for(int i = 0; i < midi->GetNumInputs(); i++)
      EXPECT_TRUE(midi->GetInputName(i, name));
    for(int i = 0; i < midi->GetNumOutputs(); i++)
      EXPECT_TRUE(midi->GetOutputName(i, name));
    EXPECT_FALSE(midi->GetInputName(midi->GetNumInputs(), name));
  }
}

// Each port of a client is a device of its own: what comes from one port reaches the
// input opened on it, never the one on a sibling port or on nothing.
TEST(MidiAlsa, EachPortOfAClientDeliversToItsOwnInput)
{
  sparktest::FakeSequencer seq({{20, 0, "Pads"}, {20, 1, "Keys"}, {21, 0, "Drums"}});
  auto midi = plat::CreateAlsaMidiBackend();
  ASSERT_EQ(midi->GetNumInputs(), 3);
  std::u16string name;
  EXPECT_TRUE(midi->GetInputName(1, name) && name == u"Keys");
  Collector keys, pads;
  auto keysIn = midi->OpenInput(1, Collector::Proc, &keys);
  auto padsIn = midi->OpenInput(0, Collector::Proc, &pads);
  ASSERT_TRUE(keysIn && padsIn && keysIn->Start() && padsIn->Start());
  EXPECT_EQ(seq.Connections(), (std::set<std::pair<int, int>>{{20, 0}, {20, 1}}));
  const uint32_t a = plat::MidiPackShort(0x90, 60, 100), b = plat::MidiPackShort(0x91, 61, 90),
                 c = plat::MidiPackShort(0x92, 62, 80), d = plat::MidiPackShort(0xb0, 7, 127);
  seq.Send(20, 1, a);
  seq.Send(20, 0, b);
  seq.Send(21, 0, c);   // a port no input is open on
  seq.Send(20, 1, d);   // the reader delivers in order: the others have gone before it
  ASSERT_TRUE(sparktest::WaitFor([&] { return keys.Data().size() >= 2; }));
  EXPECT_EQ(keys.Data(), (std::vector<uint32_t>{a, d}));
  EXPECT_EQ(pads.Data(), (std::vector<uint32_t>{b}));
  padsIn.reset();
  keysIn.reset();
  EXPECT_TRUE(seq.Connections().empty());
}
