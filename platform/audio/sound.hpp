#pragma once
// Sound output and capture over SDL audio.
//
// Output is a looping buffer of interleaved 16-bit stereo frames: the device plays it
// round and round from its play position, which the program reads to know which part
// has just been played and may be written again.
//
// Capture fills buffers that the program hands in, one after the other, and tells the
// program through a notification each time one is full.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace plat
{

class SoundOutput
{
public:
  // A stopped output of lengthFrames frames (4 bytes each, left sample first) at rate
  // frames per second, all silent. Null, with the reason in error, when there is no
  // sound device or the values are out of range.
  static std::unique_ptr<SoundOutput> Create(int rate, int lengthFrames, std::u16string *error = nullptr);
  // Stops and releases the device.
  virtual ~SoundOutput() = default;

  virtual uint32_t GetSizeBytes() const = 0;
  // The range of bytes at offset of the given length, split at the end of the buffer into
  // the tail part and the part at its start (second part empty when there is no wrap).
  // False for an offset outside the buffer or a length above the buffer's size. The parts
  // stay valid while the output exists; write only bytes that have been played.
  virtual bool Lock(uint32_t offset, uint32_t bytes, void **part1, uint32_t *bytes1, void **part2,
                    uint32_t *bytes2) = 0;
  // Hands what was written since Lock to the device's thread (every Lock needs one).
  virtual void Unlock() = 0;
  // The byte offset of the next frame the device will take, 0 .. size - 1, a multiple of 4.
  virtual uint32_t GetPlayPosition() const = 0;
  // Plays looping from the play position; Stop keeps the position.
  virtual bool Play() = 0;
  // When Stop returns the device no longer reads the buffer.
  virtual void Stop() = 0;
  virtual bool IsPlaying() const = 0;
};

// One capture buffer: the program owns its memory and hands it to the capture with
// AddBuffer; it comes back with Done set and Recorded bytes filled.
struct SoundCaptureBuffer
{
  void *Data = nullptr;
  uint32_t Bytes = 0;  // a multiple of the frame size
  std::atomic<uint32_t> Recorded{0};
  std::atomic<bool> Done{false};
};

// Told on the capture thread each time a buffer is done; keep it short (signal an event).
using SoundCaptureNotify = void (*)(void *user);

class SoundCapture
{
public:
  // A stopped capture of 16-bit samples at rate frames per second with channels channels
  // (1 or 2), from the default capture device. Null, with the reason in error, when there
  // is none.
  static std::unique_ptr<SoundCapture> Open(int rate, int channels, SoundCaptureNotify notify, void *user,
                                            std::u16string *error = nullptr);
  // Closes the device: when the destructor returns nothing is written into any buffer
  // and no notification runs. Buffers still queued are left as they are.
  virtual ~SoundCapture() = default;

  // Queues a buffer to be filled after those already queued: Done and Recorded are
  // cleared. Sound that arrived while no buffer was queued (up to a second) goes into it
  // first, so it may come back done at once (and be notified on the calling thread).
  // False for a buffer without memory or whose size is not a whole number of frames.
  virtual bool AddBuffer(SoundCaptureBuffer *buffer) = 0;
  virtual bool Start() = 0;
  // Stops capturing; the buffer being filled, when it holds anything, is returned done
  // with what it holds (and notified); the empty ones stay queued for the next Start.
  // Sound still waiting for a buffer is dropped.
  virtual void Stop() = 0;
  // Bytes lost because no buffer was free for more than a second of sound, or at Stop.
  virtual uint64_t GetDroppedBytes() const = 0;
};

}
