// The sound input over SDL's disk capture driver: buffers of 1,024 stereo frames in the
// order of the file, a new receiver on a new Open, nothing after Stop, the gain's range.
#include "base/numbers.hpp"
#include "show/soundinput.hpp"
#include "show/sync.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

namespace
{
// Checks that the frames continue the file's ramp: frame n holds (n % 30000, -(n % 30000)).
struct RampReceiver : SoundReceiver
{
  std::mutex Lock;
  sInt Frames = 0;
  sInt WrongCounts = 0;
  sInt Gaps = 0;
  void OnSamples(const sS16 *samples, sInt count) override
  {
    std::lock_guard<std::mutex> guard(Lock);
    WrongCounts += count != 1024;
    for(sInt i = 0; i < count; i++, Frames++)
      Gaps += samples[i * 2] != sS16(Frames % 30000) || samples[i * 2 + 1] != sS16(-(Frames % 30000));
  }
  sInt GetFrames()
  {
    std::lock_guard<std::mutex> guard(Lock);
    return Frames;
  }
};

bool WaitFor(RampReceiver &r, sInt frames)
{
  return sparktest::WaitFor([&] { return r.GetFrames() >= frames; });
}
}

TEST(SoundInput, GainIsClampedToTheFaderRange)
{
  sSoundInput *in = sCreateSoundInput();
  const struct { sF32 In, Out; } cases[] = {{1.5f, 1.0f}, {-0.2f, 0.0f}, {0.0f, 0.0f}, {0.25f, 0.25f}, {1.0f, 1.0f}};
  for(const auto &c : cases)
  {
    in->SetGain(c.In);
    EXPECT_EQ(in->Gain.load(), c.Out) << c.In;
  }
  sDELETE(in);
}

TEST(SoundInput, DeliversTheCaptureInOrderToTheCurrentReceiver)
{
  sparktest::TempDir dir;
  {
    std::ofstream f(dir.Name8("ramp.raw"), std::ios::binary);
    for(sInt n = 0; n < 44100 * 4; n++)
    {
      const sS16 frame[2] = {sS16(n % 30000), sS16(-(n % 30000))};
      f.write(reinterpret_cast<const char *>(frame), 4);
    }
  }
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", dir.Name8("ramp.raw").c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);
  sSoundInput *in = sCreateSoundInput();
  RampReceiver first, second;
  ASSERT_EQ(in->Open(&first, 44100, 2), 1);
  EXPECT_TRUE(WaitFor(first, 44100));
  EXPECT_LT(sTimeDiff(sGetTime(), in->LastWake), 5000) << "the capture thread wakes per buffer";
  // a second Open closes the device first and starts the file again for the new receiver
  ASSERT_EQ(in->Open(&second, 44100, 2), 1);
  const sInt firstFrames = first.GetFrames();
  EXPECT_TRUE(WaitFor(second, 44100));
  in->Stop();
  const sInt stopped = second.GetFrames();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  sDELETE(in);
  for(const char *name : {"SDL_AUDIODRIVER", "SDL_DISKAUDIOFILEIN", "SDL_DISKAUDIODELAY"})
    unsetenv(name);

  EXPECT_EQ(first.GetFrames(), firstFrames) << "the old receiver hears nothing after the new Open";
  EXPECT_EQ(second.GetFrames(), stopped) << "nothing after Stop";
  for(RampReceiver *r : {&first, &second})
  {
    EXPECT_EQ(r->WrongCounts, 0) << "every buffer holds 1,024 frames";
    EXPECT_EQ(r->Gaps, 0) << "the frames follow the file";
  }
}
