#include "show/soundinput.hpp"

#include "base/numbers.hpp"
#include "platform/audio/capture_mixer.hpp"
#include "platform/audio/sound.hpp"
#include "show/sync.hpp"

sSoundInput *sCreateSoundInput()
{
  return sNEW sSoundInput;
}

sSoundInput::sSoundInput()
{
  Lock = sNEW sThreadLock;
  // time-critical, small stack: it only converts samples and hands them on
  Thread = sNEW sThread(ThreadFunc, 1, 64 * 1024, this, u"SoundInput");
}

sSoundInput::~sSoundInput()
{
  Quit = 1;
  BufferDone.Signal();
  Thread->Terminate();
  sDELETE(Thread);
  // the owner stops the input first; a device still open is closed here all the same so
  // that nothing writes into freed buffers
  CloseDevice();
  sDELETE(Lock);
}

void sSoundInput::ThreadFunc(sThread *thread, void *user)
{
  static_cast<sSoundInput *>(user)->CaptureLoop(thread);
}

void sSoundInput::Notify(void *user)
{
  static_cast<sSoundInput *>(user)->BufferDone.Signal();
}

void sSoundInput::CaptureLoop(sThread *thread)
{
  for(;;)
  {
    LastWake = sGetTime();
    BufferDone.Wait(-1);
    if(Quit || thread->CheckTerminate())
      break;
    sScopeLock lock(Lock);
    if(Receiver)
    {
      DeliverBuffers();
      SetFaders();
    }
  }
}

// Hands the filled buffers to the receiver in the order of capture and queues them again.
void sSoundInput::DeliverBuffers()
{
  const sInt frameBytes = Channels * 2;
  for(sInt n = 0; n < BUFFERS * 4; n++)
  {
    plat::SoundCaptureBuffer &h = Headers[NextHeader];
    if(!h.Done.load(std::memory_order_acquire))
      break;
    const sInt frames = sInt(h.Recorded.load(std::memory_order_relaxed)) / frameBytes;
    NextHeader = (NextHeader + 1) % BUFFERS;
    if(frames > 0)
    {
      // the receiver reads stereo frames; a mono capture is handed on as equal pairs
      if(Channels == 2)
        Receiver->OnSamples(static_cast<const sS16 *>(h.Data), frames);
      else
      {
        sS16 pairs[FRAMES * 2];
        const sS16 *src = static_cast<const sS16 *>(h.Data);
        for(sInt i = 0; i < frames; i++)
          pairs[i * 2] = pairs[i * 2 + 1] = src[i];
        Receiver->OnSamples(pairs, frames);
      }
    }
    // may come back done at once from sound that waited; the loop takes it next
    Device->AddBuffer(&h);
  }
}

// Every capture fader is set to the gain, every buffer.
void sSoundInput::SetFaders()
{
  if(!Mixer)
    return;
  const sF32 gain = Gain.load(std::memory_order_relaxed);
  const sInt count = Mixer->GetFaderCount() < 16 ? Mixer->GetFaderCount() : 16;
  for(sInt i = 0; i < count; i++)
  {
    long lo = 0, hi = 0;
    if(!Mixer->GetFaderRange(i, &lo, &hi))
      continue;
    // a fader the mixer refuses leaves the input volume alone, where it would stop the show
    if(!Mixer->SetFader(i, long(sF64(hi - lo) * gain) + lo))
    {
      sLogF(u"dev", u"capture fader %d cannot be set: the input volume is left alone\n", i);
      Mixer.reset();
      return;
    }
  }
}

sBool sSoundInput::Open(SoundReceiver *receiver, sInt samplesPerSecond, sInt channels)
{
  Stop();
  sScopeLock lock(Lock);
  if(!receiver || channels < 1 || channels > 2)
    return 0;
  Channels = channels;
  SamplesPerSecond = samplesPerSecond;
  std::u16string error;
  Device = plat::SoundCapture::Open(samplesPerSecond, channels, &Notify, this, &error);
  if(!Device)
  {
    // the show tries again every 10 s: the operator is told once, the repeats are detail
    sLogF(error == LastOpenError ? u"sound" : u"dev", u"no sound input: %s\n", error.c_str());
    LastOpenError = error;
    return 0;
  }
  sSetAllocSource(__FILE__, __LINE__);
  Memory = static_cast<sS16 *>(sMemAlloc(sDInt(BUFFERS) * FRAMES * channels * 2, 16, 0));
  NextHeader = 0;
  for(sInt i = 0; i < BUFFERS; i++)
  {
    Headers[i].Data = Memory + sDInt(i) * FRAMES * channels;
    Headers[i].Bytes = sU32(FRAMES * channels * 2);
    Device->AddBuffer(&Headers[i]);
  }
  Receiver = receiver;
  std::u16string mixerError;
  Mixer = plat::CaptureMixer::Open(&mixerError);
  if(!Mixer)
    sLogF(u"dev", u"no capture mixer: %s\n", mixerError.c_str());
  if(!Device->Start())
  {
    sLogF(u"dev", u"sound input does not start\n");
    CloseDevice();
    return 0;
  }
  return 1;
}

// Under the lock: the device is closed before its buffers go.
void sSoundInput::CloseDevice()
{
  Receiver = nullptr;
  if(Device)
    Device->Stop();
  Device.reset();
  sMemFree(Memory);
  Memory = nullptr;
  Mixer.reset();
}

void sSoundInput::Stop()
{
  sScopeLock lock(Lock);
  if(Receiver || Device)
    CloseDevice();
}

void sSoundInput::SetGain(sF32 gain)
{
  Gain = gain >= 1.0f ? 1.0f : gain > 0.0f ? gain : 0.0f;
}

sBool sSoundInput::IsOpen()
{
  sScopeLock lock(Lock);
  return Receiver != nullptr;
}
