#include "platform/audio/sound.hpp"
#include "platform/text/utf.hpp"

#include <SDL.h>

#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace plat
{
namespace
{

std::u16string SdlReason(const char *what)
{
  std::string text = what;
  const char *why = SDL_GetError();
  if(why && *why)
    text += std::string(" (") + why + ")";
  return ToUtf16(text);
}

// SDL's audio subsystem, started for each device and stopped after it
struct AudioSubsystem
{
  bool Started = false;
  bool Start(std::u16string *error)
  {
    if(SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    {
      if(error)
        *error = SdlReason("no sound system");
      return false;
    }
    Started = true;
    return true;
  }
  ~AudioSubsystem()
  {
    if(Started)
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
};

class SdlSoundOutput : public SoundOutput
{
public:
  std::vector<uint8_t> Buffer;
  std::atomic<uint32_t> Position{0};
  std::atomic<uint32_t> Published{0};  // released by Unlock, taken by the callback
  SDL_AudioDeviceID Device = 0;
  bool Playing = false;
  AudioSubsystem Audio;

  ~SdlSoundOutput() override
  {
    if(Device)
      SDL_CloseAudioDevice(Device);
  }

  static void Callback(void *user, Uint8 *stream, int len)
  {
    auto *self = static_cast<SdlSoundOutput *>(user);
    const uint32_t size = uint32_t(self->Buffer.size());
    // everything unlocked so far is seen by the copy below
    (void)self->Published.load(std::memory_order_acquire);
    uint32_t pos = self->Position.load(std::memory_order_relaxed);
    uint32_t left = uint32_t(len);
    while(left > 0)
    {
      uint32_t step = size - pos < left ? size - pos : left;
      std::memcpy(stream, self->Buffer.data() + pos, step);
      stream += step;
      left -= step;
      pos += step;
      if(pos >= size)
        pos = 0;
    }
    // published after the copy: the writer may now refill what was taken
    self->Position.store(pos, std::memory_order_release);
  }

  uint32_t GetSizeBytes() const override { return uint32_t(Buffer.size()); }

  bool Lock(uint32_t offset, uint32_t bytes, void **part1, uint32_t *bytes1, void **part2, uint32_t *bytes2) override
  {
    const uint32_t size = uint32_t(Buffer.size());
    if(offset >= size || bytes > size)
      return false;
    uint32_t first = size - offset < bytes ? size - offset : bytes;
    *part1 = Buffer.data() + offset;
    *bytes1 = first;
    *part2 = bytes > first ? Buffer.data() : nullptr;
    *bytes2 = bytes - first;
    return true;
  }

  void Unlock() override { Published.fetch_add(1, std::memory_order_release); }

  uint32_t GetPlayPosition() const override { return Position.load(std::memory_order_acquire); }

  bool Play() override
  {
    SDL_PauseAudioDevice(Device, 0);
    Playing = true;
    return true;
  }

  void Stop() override
  {
    // pausing takes the device lock, so a running callback has finished on return
    SDL_PauseAudioDevice(Device, 1);
    Playing = false;
  }

  bool IsPlaying() const override { return Playing; }
};

class SdlSoundCapture : public SoundCapture
{
public:
  SDL_AudioDeviceID Device = 0;
  uint32_t FrameBytes = 0;
  SoundCaptureNotify Notify = nullptr;
  void *User = nullptr;
  std::mutex Lock;  // the queue and the waiting data
  std::deque<SoundCaptureBuffer *> Queue;
  // what arrived while no buffer was free, handed out as buffers come back
  std::vector<uint8_t> Waiting;
  uint32_t WaitingStart = 0;
  uint32_t WaitingBytes = 0;
  std::atomic<uint64_t> Dropped{0};
  AudioSubsystem Audio;

  ~SdlSoundCapture() override
  {
    if(Device)
      SDL_CloseAudioDevice(Device);
  }

  // Keeps data after what is waiting; what does not fit is lost. Under the lock.
  void Keep(const uint8_t *data, uint32_t len)
  {
    const uint32_t size = uint32_t(Waiting.size());
    uint32_t room = size - WaitingBytes;
    if(len > room)
    {
      Dropped += len - room;
      len = room;
    }
    uint32_t at = (WaitingStart + WaitingBytes) % size;
    while(len > 0)
    {
      uint32_t step = size - at < len ? size - at : len;
      std::memcpy(Waiting.data() + at, data, step);
      data += step;
      len -= step;
      WaitingBytes += step;
      at = (at + step) % size;
    }
  }

  // Moves waiting data into the queued buffers; returns how many became full. Under the lock.
  int Hand()
  {
    const uint32_t size = uint32_t(Waiting.size());
    int filled = 0;
    while(WaitingBytes > 0 && !Queue.empty())
    {
      SoundCaptureBuffer *buffer = Queue.front();
      uint32_t have = buffer->Recorded.load(std::memory_order_relaxed);
      uint32_t step = buffer->Bytes - have;
      if(step > WaitingBytes)
        step = WaitingBytes;
      if(step > size - WaitingStart)
        step = size - WaitingStart;
      std::memcpy(static_cast<uint8_t *>(buffer->Data) + have, Waiting.data() + WaitingStart, step);
      WaitingStart = (WaitingStart + step) % size;
      WaitingBytes -= step;
      buffer->Recorded.store(have + step, std::memory_order_relaxed);
      if(have + step == buffer->Bytes)
      {
        Queue.pop_front();
        buffer->Done.store(true, std::memory_order_release);
        filled++;
      }
    }
    return filled;
  }

  void Tell(int filled)
  {
    if(Notify)
      for(int i = 0; i < filled; i++)
        Notify(User);
  }

  static void Callback(void *user, Uint8 *stream, int len)
  {
    auto *self = static_cast<SdlSoundCapture *>(user);
    int filled;
    {
      std::lock_guard<std::mutex> guard(self->Lock);
      self->Keep(stream, uint32_t(len));
      filled = self->Hand();
    }
    self->Tell(filled);
  }

  bool AddBuffer(SoundCaptureBuffer *buffer) override
  {
    if(!buffer || !buffer->Data || buffer->Bytes == 0 || buffer->Bytes % FrameBytes != 0)
      return false;
    buffer->Recorded.store(0, std::memory_order_relaxed);
    buffer->Done.store(false, std::memory_order_relaxed);
    int filled;
    {
      std::lock_guard<std::mutex> guard(Lock);
      Queue.push_back(buffer);
      filled = Hand();
    }
    Tell(filled);
    return true;
  }

  bool Start() override
  {
    SDL_PauseAudioDevice(Device, 0);
    return true;
  }

  void Stop() override
  {
    // pausing takes the device lock, so the callback has finished on return
    SDL_PauseAudioDevice(Device, 1);
    int filled;
    {
      std::lock_guard<std::mutex> guard(Lock);
      filled = Hand();
      if(!Queue.empty() && Queue.front()->Recorded.load(std::memory_order_relaxed) > 0)
      {
        Queue.front()->Done.store(true, std::memory_order_release);
        Queue.pop_front();
        filled++;
      }
      Dropped += WaitingBytes;
      WaitingStart = WaitingBytes = 0;
    }
    Tell(filled);
  }

  uint64_t GetDroppedBytes() const override { return Dropped.load(); }
};

}

std::unique_ptr<SoundOutput> SoundOutput::Create(int rate, int lengthFrames, std::u16string *error)
{
  if(rate < 1000 || rate > 384000 || lengthFrames < 64 || lengthFrames > 16 * 1024 * 1024)
  {
    if(error)
      *error = u"sound output format out of range";
    return nullptr;
  }
  auto out = std::make_unique<SdlSoundOutput>();
  if(!out->Audio.Start(error))
    return nullptr;
  out->Buffer.assign(size_t(lengthFrames) * 4, 0);
  SDL_AudioSpec want{}, have{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 512;
  want.callback = SdlSoundOutput::Callback;
  want.userdata = out.get();
  // SDL converts when the device wants another format
  out->Device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if(!out->Device)
  {
    if(error)
      *error = SdlReason("no sound output device");
    return nullptr;
  }
  return out;
}

std::unique_ptr<SoundCapture> SoundCapture::Open(int rate, int channels, SoundCaptureNotify notify, void *user,
                                                 std::u16string *error)
{
  if(rate < 1000 || rate > 384000 || channels < 1 || channels > 2)
  {
    if(error)
      *error = u"sound capture format out of range";
    return nullptr;
  }
  auto in = std::make_unique<SdlSoundCapture>();
  if(!in->Audio.Start(error))
    return nullptr;
  in->FrameBytes = uint32_t(channels) * 2;
  // room for a second of sound while the program has no buffer queued
  in->Waiting.assign(size_t(rate) * in->FrameBytes, 0);
  in->Notify = notify;
  in->User = user;
  SDL_AudioSpec want{}, have{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = uint8_t(channels);
  want.samples = 1024;
  want.callback = SdlSoundCapture::Callback;
  want.userdata = in.get();
  in->Device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
  if(!in->Device)
  {
    if(error)
      *error = SdlReason("no sound capture device");
    return nullptr;
  }
  return in;
}

}
