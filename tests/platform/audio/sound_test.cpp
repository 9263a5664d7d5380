#include "common/files.hpp"
#include "common/wait.hpp"
#include "platform/audio/capture_mixer.hpp"
#include "platform/audio/sound.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

// a private folder for the disk driver's files
class SoundFiles : public testing::Test
{
protected:
  fs::path Dir;
  void SetUp() override
  {
    char pattern[] = "/tmp/sound_test_XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    Dir = pattern;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    unsetenv("SDL_DISKAUDIODELAY");
  }
  void TearDown() override
  {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  std::vector<int16_t> ReadSamples(const fs::path &file)
  {
    std::string bytes = sparktest::ReadFile(file.string());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
};

using sparktest::WaitFor;

}

TEST_F(SoundFiles, LoopingBufferPlaysItsContentWithoutGapOrRepeatAtTheWrap)
{
  fs::path file = Dir / "out.raw";
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "1", 1);
  const int frames = 3000;  // not a multiple of the device's block: wraps fall inside blocks
  std::u16string error;
  {
    auto out = plat::SoundOutput::Create(44100, frames, &error);
    ASSERT_TRUE(out) << std::string(error.begin(), error.end());
    ASSERT_EQ(out->GetSizeBytes(), uint32_t(frames * 4));
    EXPECT_EQ(out->GetPlayPosition(), 0u);
    EXPECT_FALSE(out->IsPlaying());

    // a ramp written in 64-frame steps that start near the end and run round the wrap
    int frame = frames - 20 * 64 + 8;
    for(int written = 0; written < frames;)
    {
      int step = frames - written < 64 ? frames - written : 64;
      void *p1, *p2;
      uint32_t b1, b2;
      ASSERT_TRUE(out->Lock(uint32_t(frame * 4), uint32_t(step * 4), &p1, &b1, &p2, &b2));
      ASSERT_EQ(b1 + b2, uint32_t(step * 4));
      std::vector<int16_t> data(size_t(step) * 2);
      for(int i = 0; i < step; i++)
      {
        int f = (frame + i) % frames;
        data[size_t(i) * 2] = int16_t(1000 + f);
        data[size_t(i) * 2 + 1] = int16_t(-1000 - f);
      }
      std::memcpy(p1, data.data(), b1);
      if(b2)
        std::memcpy(p2, reinterpret_cast<char *>(data.data()) + b1, b2);
      out->Unlock();
      frame = (frame + step) % frames;
      written += step;
    }

    ASSERT_TRUE(out->Play());
    EXPECT_TRUE(out->IsPlaying());
    int wraps = 0;
    uint32_t last = 0;
    ASSERT_TRUE(WaitFor([&] {
      uint32_t pos = out->GetPlayPosition();
      EXPECT_EQ(pos % 4, 0u);
      EXPECT_LT(pos, out->GetSizeBytes());
      if(pos < last)
        wraps++;
      last = pos;
      return wraps >= 3;
    }));
    out->Stop();
    EXPECT_FALSE(out->IsPlaying());
    uint32_t stopped = out->GetPlayPosition();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(out->GetPlayPosition(), stopped) << "a stopped output keeps its position";
  }

  std::vector<int16_t> samples = ReadSamples(file);
  size_t start = 0;
  while(start < samples.size() && samples[start] == 0)
    start++;
  ASSERT_LT(start, samples.size()) << "nothing was played";
  ASSERT_EQ(start % 2, 0u);
  size_t played = 0;
  for(size_t i = start; i + 1 < samples.size() && samples[i] != 0; i += 2, played++)
  {
    int f = int(played % frames);
    ASSERT_EQ(samples[i], 1000 + f) << "frame " << played;
    ASSERT_EQ(samples[i + 1], -1000 - f) << "frame " << played;
  }
  EXPECT_GE(played, size_t(3 * frames));
}

// (an output without a device: tests/base/sound_test.cpp)
TEST(SoundDevices, WithoutADeviceCaptureFailsAndSaysWhy)
{
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  std::u16string error;
  EXPECT_FALSE(plat::SoundCapture::Open(44100, 2, nullptr, nullptr, &error));
  EXPECT_FALSE(error.empty());
}

namespace
{
struct CaptureWake
{
  std::mutex Lock;
  std::condition_variable Cv;
  int Count = 0;
  static void Notify(void *user)
  {
    auto *self = static_cast<CaptureWake *>(user);
    std::lock_guard<std::mutex> guard(self->Lock);
    self->Count++;
    self->Cv.notify_all();
  }
};

// the capture thread's loop: wait for a wake-up, take the done buffers in queue order,
// hand them back
void CollectBuffers(plat::SoundCapture &in, CaptureWake &wake, std::deque<plat::SoundCaptureBuffer *> &queued,
                    std::vector<int16_t> &got, size_t samples)
{
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while(got.size() < samples && std::chrono::steady_clock::now() < end)
  {
    {
      std::unique_lock<std::mutex> guard(wake.Lock);
      wake.Cv.wait_for(guard, std::chrono::milliseconds(100), [&] { return wake.Count > 0; });
      wake.Count = 0;
    }
    while(!queued.empty() && queued.front()->Done.load())
    {
      plat::SoundCaptureBuffer *b = queued.front();
      queued.pop_front();
      EXPECT_EQ(b->Recorded.load(), b->Bytes);
      auto *s = static_cast<int16_t *>(b->Data);
      got.insert(got.end(), s, s + b->Recorded.load() / 2);
      ASSERT_TRUE(in.AddBuffer(b));
      queued.push_back(b);
    }
  }
}

std::vector<int16_t> WriteSignal(const fs::path &file, int frames)
{
  std::vector<int16_t> signal(size_t(frames) * 2);
  for(int i = 0; i < frames; i++)
  {
    signal[size_t(i) * 2] = int16_t(i * 3 + 1);
    signal[size_t(i) * 2 + 1] = int16_t(-i - 1);
  }
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char *>(signal.data()), std::streamsize(signal.size() * 2));
  return signal;
}
}

TEST_F(SoundFiles, CaptureDeliversTheFileInRotatingBuffers)
{
  fs::path file = Dir / "in.raw";
  std::vector<int16_t> signal = WriteSignal(file, 6000);
  setenv("SDL_DISKAUDIOFILEIN", file.c_str(), 1);
  setenv("SDL_DISKAUDIOFILE", (Dir / "unused.raw").c_str(), 1);

  CaptureWake wake;
  std::u16string error;
  auto in = plat::SoundCapture::Open(44100, 2, CaptureWake::Notify, &wake, &error);
  ASSERT_TRUE(in) << std::string(error.begin(), error.end());

  // two buffers of 700 frames: not a multiple of the device's block
  std::vector<int16_t> memory[2] = {std::vector<int16_t>(1400), std::vector<int16_t>(1400)};
  plat::SoundCaptureBuffer buffers[2];
  std::deque<plat::SoundCaptureBuffer *> queued;
  for(int i = 0; i < 2; i++)
  {
    buffers[i].Data = memory[i].data();
    buffers[i].Bytes = 2800;
    ASSERT_TRUE(in->AddBuffer(&buffers[i]));
    queued.push_back(&buffers[i]);
  }
  plat::SoundCaptureBuffer odd;
  odd.Data = memory[0].data();
  odd.Bytes = 2798;
  EXPECT_FALSE(in->AddBuffer(&odd)) << "a buffer must hold whole frames";
  plat::SoundCaptureBuffer empty;
  EXPECT_FALSE(in->AddBuffer(&empty));

  std::vector<int16_t> got;
  ASSERT_TRUE(in->Start());
  CollectBuffers(*in, wake, queued, got, 5 * 1400);
  in->Stop();
  // after Stop a partly filled buffer comes back with what it holds, in whole frames
  for(plat::SoundCaptureBuffer *b : queued)
    if(b->Done.load())
    {
      EXPECT_EQ(b->Recorded.load() % 4, 0u);
      EXPECT_LT(b->Recorded.load(), 2800u);
      auto *s = static_cast<int16_t *>(b->Data);
      got.insert(got.end(), s, s + b->Recorded.load() / 2);
    }

  // started again with no buffer to take it, the capture waits until a second of it waits
  // and drops the rest; the stop forgets what waits, so a buffer added after it stays empty
  uint64_t dropped = in->GetDroppedBytes();
  ASSERT_TRUE(in->Start());
  ASSERT_TRUE(WaitFor([&] { return in->GetDroppedBytes() > dropped; }));
  in->Stop();
  std::vector<int16_t> late(1400);
  plat::SoundCaptureBuffer after;
  after.Data = late.data();
  after.Bytes = 2800;
  ASSERT_TRUE(in->AddBuffer(&after));
  EXPECT_FALSE(after.Done.load());
  EXPECT_EQ(after.Recorded.load(), 0u);
  in.reset();

  ASSERT_GE(got.size(), 5 * 1400u);
  for(size_t i = 0; i < got.size() && i < signal.size(); i++)
    ASSERT_EQ(got[i], signal[i]) << "sample " << i;
}
