// Sound output: the mixing thread over an output the test moves by hand, a real SDL
// output that writes to a file, and the path without sound.
#include "common/check.hpp"
#include "base/app.hpp"
#include "base/sound.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "platform/audio/sound.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

// An output whose play position the test sets. It logs what the mixing thread does.
class HandOutput : public plat::SoundOutput
{
public:
  std::vector<uint8_t> Buffer;
  std::atomic<uint32_t> Position{0};
  bool ShortLock = false;   // hands out one byte less than asked for

  struct Event
  {
    char Kind;   // 'p' position read, 'l' lock
    int A, B;
  };
  std::mutex LogLock;
  std::vector<Event> Log;
  void Add(char kind, int a, int b)
  {
    std::lock_guard<std::mutex> guard(LogLock);
    Log.push_back({kind, a, b});
  }

  uint32_t GetSizeBytes() const override { return uint32_t(Buffer.size()); }
  bool Lock(uint32_t offset, uint32_t bytes, void **p1, uint32_t *b1, void **p2, uint32_t *b2) override
  {
    uint32_t size = uint32_t(Buffer.size());
    if(offset >= size || bytes > size) return false;
    Add('l', int(offset), int(bytes));
    uint32_t first = size - offset < bytes ? size - offset : bytes;
    *p1 = Buffer.data() + offset;
    *b1 = first;
    *p2 = bytes > first ? Buffer.data() : nullptr;
    *b2 = bytes - first;
    if(ShortLock) --*b1;
    return true;
  }
  void Unlock() override {}
  uint32_t GetPlayPosition() const override
  {
    uint32_t p = Position.load();
    const_cast<HandOutput *>(this)->Add('p', int(p), 0);
    return p;
  }
  bool Play() override { return Playing = true; }
  void Stop() override { Playing = false; }
  bool IsPlaying() const override { return Playing; }
  bool Playing = false;
};

std::atomic<HandOutput *> Hand{nullptr};
std::atomic<int> OutputsMade{0};
std::atomic<bool> ShortLocks{false};

std::unique_ptr<plat::SoundOutput> MakeHandOutput(sInt, sInt length, std::u16string *)
{
  auto out = std::make_unique<HandOutput>();
  out->Buffer.assign(size_t(length) * 4, 0xAB);   // not silent: the start must clear it
  out->ShortLock = ShortLocks;
  Hand = out.get();
  OutputsMade++;
  return out;
}

void SilentHandler(sS16 *samples, sInt count) { memset(samples, 0, size_t(count) * 4); }

// sets an environment variable for a scope and puts the old value back
class ScopedEnv
{
  std::string Name, Old;
  bool Had;

public:
  ScopedEnv(const char *name, const char *value) : Name(name)
  {
    const char *old = getenv(name);
    Had = old != nullptr;
    if(old) Old = old;
    if(value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv()
  {
    if(Had) setenv(Name.c_str(), Old.c_str(), 1);
    else unsetenv(Name.c_str());
  }
};

class SoundOutputTest : public testing::Test
{
protected:
  sU32 OldFlags = 0;
  void SetUp() override
  {
    OldFlags = sGetSystemFlags();
    Hand = nullptr;
    OutputsMade = 0;
    ShortLocks = false;
    sSetSoundOutputFactory(&MakeHandOutput);
  }
  void TearDown() override
  {
    sExitSound();
    sSetSoundOutputFactory(nullptr);
    sSetSystemFlags(OldFlags);
  }
};

}

namespace
{
std::atomic<bool> SlowRunning{false};
std::atomic<int> SlowCalls{0};
void SlowHandler(sS16 *samples, sInt count)
{
  SlowRunning = true;
  SlowCalls++;
  memset(samples, 0, size_t(count) * 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  SlowRunning = false;
}
}

TEST_F(SoundOutputTest, ClearWaitsForARunningHandlerAndNoCallFollows)
{
  sInitSound();
  SlowCalls = 0;
  ASSERT_EQ(sSetSoundHandler(44100, &SlowHandler, 1000, 0), 1);
  HandOutput *h = Hand.load();
  h->Position = 640 * 4;
  ASSERT_TRUE(sparktest::WaitFor([] {
    sSoundClock();
    return SlowRunning.load();
  }));
  sClearSoundHandler();
  EXPECT_FALSE(SlowRunning.load()) << "the clear returned while the handler ran";
  int calls = SlowCalls;
  for(int i = 0; i < 20; i++)
  {
    sSoundClock();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(SlowCalls.load(), calls);
  EXPECT_EQ(Hand.load(), h) << "no output was made after the clear";
}

TEST_F(SoundOutputTest, MissingDeviceRefusesTheHandlerAndTheProgramGoesOn)
{
  sSetSoundOutputFactory(nullptr);
  ScopedEnv driver("SDL_AUDIODRIVER", "no_such_driver");
  sparktest::DebugCapture out;
  sInitSound();
  EXPECT_EQ(sSetSoundHandler(44100, &SilentHandler, 44100, 0), 0);
  sSoundClock();
  sClearSoundHandler();
  out.Stop();
  EXPECT_NE(out.Text().find("no sound output"), std::string::npos) << out.Text();
}

namespace
{
void ClearingHandler(sS16 *, sInt) { sClearSoundHandler(); }

// Clocks the mixing thread until a pass has locked part of the buffer (the start locks
// all of it) and a later pass has read the play position again: the first pass then went
// through without stopping. The bound only ends a run whose thread never gets that far.
void RunUntilAPassGotPastItsLock()
{
  for(int i = 0; i < 60000; i++)
  {
    {
      HandOutput *h = Hand.load();
      std::lock_guard<std::mutex> guard(h->LogLock);
      bool locked = false;
      for(const HandOutput::Event &e : h->Log)
      {
        if(e.Kind == 'l' && uint32_t(e.B) < h->GetSizeBytes()) locked = true;
        else if(e.Kind == 'p' && locked) return;
      }
    }
    sSoundClock();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
}

TEST_F(SoundOutputTest, FaultsOnTheMixingThreadAreFatal)
{
  // a lock whose parts do not add up to the request
  EXPECT_EXIT(
      {
        ShortLocks = true;
        sInitSound();
        sSetSoundHandler(44100, &SilentHandler, 1000, 0);
        Hand.load()->Position = 256;
        RunUntilAPassGotPastItsLock();
        _exit(0);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  // a handler that clears the output it is writing into
  EXPECT_EXIT(
      {
        sInitSound();
        sSetSoundHandler(44100, &ClearingHandler, 1000, 0);
        Hand.load()->Position = 256;
        RunUntilAPassGotPastItsLock();
        _exit(0);
      },
      testing::ExitedWithCode(1), "must not clear the sound output");
}

namespace
{
std::atomic<int> HandledFrames{0};
void CountingHandler(sS16 *samples, sInt count)
{
  memset(samples, 0, size_t(count) * 4);
  HandledFrames += count;
}
}

// A pass that fills exactly up to the buffer's end: the next one writes from its start.
TEST_F(SoundOutputTest, AFillEndingAtTheBuffersEndGoesOnFromItsStart)
{
  sInitSound();
  HandledFrames = 0;
  ASSERT_EQ(sSetSoundHandler(44100, &CountingHandler, 1024, 0), 1);
  HandOutput *h = Hand.load();
  // play positions in frames and the lock each brings: up to 640, on to the end, then
  // 256 from the start, twice round
  struct Pass
  {
    int Play, Offset, Frames;
  } passes[] = {{640, 0, 640}, {0, 640, 384}, {256, 0, 256}, {0, 256, 768}, {128, 0, 128}};
  int handled = 0, locks = 1;   // the start's lock of the whole buffer
  for(const Pass &p : passes)
  {
    h->Position = uint32_t(p.Play) * 4;
    handled += p.Frames;
    ASSERT_TRUE(sparktest::WaitFor([&] {
      sSoundClock();
      return HandledFrames.load() >= handled;
    })) << "the handler stopped being called before the pass to " << p.Play;
    std::lock_guard<std::mutex> guard(h->LogLock);
    std::vector<HandOutput::Event> l;
    for(const HandOutput::Event &e : h->Log)
      if(e.Kind == 'l') l.push_back(e);
    ASSERT_EQ(int(l.size()), ++locks);
    EXPECT_EQ(l.back().A, p.Offset * 4) << p.Play;
    EXPECT_EQ(l.back().B, p.Frames * 4) << p.Play;
  }
  EXPECT_EQ(HandledFrames.load(), handled);
}

/****************************************************************************/

namespace
{
// a ramp that never hits zero: frame n holds 1 + n % 30000 and its negative
std::atomic<int> RampFrames{0};
void RampHandler(sS16 *samples, sInt count)
{
  int n = RampFrames;
  for(sInt i = 0; i < count; i++, n++)
  {
    samples[i * 2] = sS16(1 + n % 30000);
    samples[i * 2 + 1] = sS16(-(1 + n % 30000));
  }
  RampFrames = n;
}
}

TEST_F(SoundOutputTest, RampPlaysAfterOneBufferOfSilenceWithoutGapOrRepeat)
{
  sparktest::TempDir dir;
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv output("SDL_DISKAUDIOFILE", dir.Name8("out.raw").c_str());
  ScopedEnv delay("SDL_DISKAUDIODELAY", nullptr);   // the disk device keeps real time
  sSetSoundOutputFactory(nullptr);
  RampFrames = 0;

  // a buffer of one second: the refills keep ahead of the device even when the machine
  // stalls for most of a second
  const int length = 44100;
  sInitSound();
  ASSERT_EQ(sSetSoundHandler(44100, &RampHandler, length, 0), 1);
  // the frame driver's clock: every 10 ms
  ASSERT_TRUE(sparktest::WaitFor([&] {
    sSoundClock();
    std::this_thread::sleep_for(std::chrono::milliseconds(9));
    return RampFrames.load() >= 3 * length;
  }));
  sClearSoundHandler();
  sExitSound();

  std::string bytes = sparktest::ReadFile(dir.Name8("out.raw"));
  std::vector<sS16> s(bytes.size() / 2);
  memcpy(s.data(), bytes.data(), s.size() * 2);

  size_t frames = s.size() / 2;
  size_t start = 0;
  while(start < frames && s[start * 2] == 0 && s[start * 2 + 1] == 0) start++;
  EXPECT_GE(start, size_t(length)) << "the first buffer length is silent";
  ASSERT_LT(start, frames) << "nothing of the ramp was played";
  size_t played = 0;
  for(size_t f = start; f < frames; f++, played++)
  {
    int want = 1 + int(played % 30000);
    ASSERT_EQ(s[f * 2], want) << "frame " << played << " of the ramp";
    ASSERT_EQ(s[f * 2 + 1], -want) << "frame " << played << " of the ramp";
  }
  // at least two wraps of the buffer were heard
  EXPECT_GE(played, size_t(2 * length));
  EXPECT_LE(played, size_t(RampFrames.load())) << "nothing is played that was not written";
}
