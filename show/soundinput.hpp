#pragma once
// Sound input: the live audio from the capture device, handed buffer by buffer to a
// sound receiver on a capture thread of its own, and the input volume set on the capture
// faders of the card's mixer from the SYNC machine's automatic gain.
//
// Capture runs at the rate and channel count given to Open, 16-bit, through two rotating
// buffers of 1,024 frames; the thread wakes once per filled buffer. A machine without a
// capture device or mixer logs it and runs without input (Open returns 0); the owner
// retries by opening again. The receiver is called with the lock held and never after
// Stop returned.

#include "base/system.hpp"
#include "platform/audio/sound.hpp"

#include <atomic>
#include <memory>
#include <string>

class SoundReceiver;

namespace plat
{
class CaptureMixer;
}

class sSoundInputBase
{
public:
  std::atomic<sU32> LastWake{0};   // clock when the capture thread last began to wait

  virtual ~sSoundInputBase() { LastWake = 0; }
  // Opens the input for the receiver; 1 when capture runs, 0 when there is no input.
  virtual sBool Open(SoundReceiver *receiver, sInt samplesPerSecond, sInt channels) = 0;
  virtual void Stop() = 0;
  virtual void SetGain(sF32 gain) { (void)gain; }
};

class sSoundInput : public sSoundInputBase
{
public:
  enum { FRAMES = 1024, BUFFERS = 2 };

  sThreadEvent BufferDone;
  std::atomic<sInt> Quit{0};
  SoundReceiver *Receiver = nullptr;   // null when closed
  sThreadLock *Lock = nullptr;
  std::atomic<sF32> Gain{1.0f};
  sInt Channels = 0;
  sInt SamplesPerSecond = 0;
  std::unique_ptr<plat::SoundCapture> Device;
  plat::SoundCaptureBuffer Headers[BUFFERS];
  sS16 *Memory = nullptr;                         // the buffers' samples
  sInt NextHeader = 0;                            // the buffer the capture fills first
  std::unique_ptr<plat::CaptureMixer> Mixer;
  sThread *Thread = nullptr;
  std::u16string LastOpenError;                   // logged once; its repeats go to the detail log

  sSoundInput();
  ~sSoundInput() override;
  sSoundInput(const sSoundInput &) = delete;
  sSoundInput &operator=(const sSoundInput &) = delete;

  sBool Open(SoundReceiver *receiver, sInt samplesPerSecond, sInt channels) override;
  void Stop() override;
  void SetGain(sF32 gain) override;
  // True while a device captures for a receiver.
  sBool IsOpen();

private:
  static void ThreadFunc(sThread *thread, void *user);
  static void Notify(void *user);
  void CaptureLoop(sThread *thread);
  void DeliverBuffers();
  void SetFaders();
  void CloseDevice();
};

// A new sound input; its capture thread waits until the input is opened.
sSoundInput *sCreateSoundInput();
