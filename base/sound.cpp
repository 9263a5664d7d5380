// Sound output: the looping buffer, the mixing thread and the sound handler.
#include "base/sound.hpp"
#include "base/app.hpp"
#include "base/system.hpp"
#include "platform/audio/sound.hpp"

#include <atomic>
#include <climits>
#include <cstring>

namespace
{
// guards the output, the handler and the fill position; the handler runs under it
sThreadLock *SoundLock = nullptr;
std::atomic<sThreadEvent *> WakeEvent{nullptr};
sThread *MixThread = nullptr;

std::unique_ptr<plat::SoundOutput> Output;
sSoundHandler Handler = nullptr;
// read by the mixing thread for its wait without the lock
std::atomic<sInt> BufferLength{1000};
std::atomic<sInt> SampleRate{44100};
sInt FillPosition = 0;   // the next frame of the buffer to be written

sSoundOutputFactory OutputFactory = nullptr;
// set while the handler runs: it must not replace the buffer it is writing into
thread_local bool InHandler = false;

// The time the mixing thread sleeps at most: a third of the buffer's duration.
sInt WaitTime()
{
  sS64 length = BufferLength.load(std::memory_order_relaxed);
  sS64 rate = SampleRate.load(std::memory_order_relaxed);
  sS64 ms = rate > 0 ? (length * 1000 / rate) / 3 : 1;
  // a buffer shorter than three milliseconds would make it spin
  if(ms < 1) ms = 1;
  if(ms > INT_MAX) ms = INT_MAX;
  return sInt(ms);
}

// One pass: writes what was played since the last pass, in steps of 64 frames.
void MixPass()
{
  sScopeLock lock(SoundLock);
  if(!Output) return;

  sInt length = BufferLength.load(std::memory_order_relaxed);
  sInt cursor = sInt(Output->GetPlayPosition() / 4);
  if(FillPosition > cursor) cursor += length;
  sInt size = cursor - FillPosition;
  size -= size % 64;
  if(size <= 0) return;

  void *part1 = nullptr;
  void *part2 = nullptr;
  uint32_t count1 = 0;
  uint32_t count2 = 0;
  if(!Output->Lock(uint32_t(FillPosition) * 4, uint32_t(size) * 4, &part1, &count1, &part2, &count2)) return;
  FillPosition += size;
  if(FillPosition >= length) FillPosition -= length;
  sVERIFY((sInt)(count1+count2)==(size*4));

  if(Handler)
  {
    InHandler = true;
    if(count1 > 0) Handler(static_cast<sS16 *>(part1), sInt(count1 / 4));
    if(count2 > 0) Handler(static_cast<sS16 *>(part2), sInt(count2 / 4));
    InHandler = false;
  }
  Output->Unlock();
}

void MixThreadFunc(sThread *thread, void *)
{
  while(!thread->CheckTerminate())
  {
    WakeEvent.load()->Wait(WaitTime());
    MixPass();
  }
}

std::unique_ptr<plat::SoundOutput> CreateOutput(sInt rate, sInt length, std::u16string *error)
{
  if(OutputFactory) return OutputFactory(rate, length, error);
  return plat::SoundOutput::Create(rate, length, error);
}
}

void sSetSoundOutputFactory(sSoundOutputFactory factory) { OutputFactory = factory; }

void sInitSound()
{
  sVERIFYDESC(!SoundLock, u"the sound output is running already");
  Output.reset();
  Handler = nullptr;
  BufferLength = 1000;
  SampleRate = 44100;
  FillPosition = 0;
  SoundLock = sNEW sThreadLock;
  if(sGetSystemFlags() & sISF_NOSOUND)
  {
    sLogF(u"dev", u"sound switched off\n");
    return;
  }
  WakeEvent = sNEW sThreadEvent(0);
  MixThread = sNEW sThread(MixThreadFunc, 1, 16384, nullptr, u"SoundMixer");
}

void sExitSound()
{
  if(!SoundLock) return;
  sClearSoundHandler();
  if(MixThread)
  {
    MixThread->Terminate();
    WakeEvent.load()->Signal();   // no need to sit out the wait
    sDELETE(MixThread);
  }
  sThreadEvent *event = WakeEvent.exchange(nullptr);
  sDelete(event);
  sDELETE(SoundLock);
}

void sInstallSoundSubsystem()
{
  static bool installed = false;
  if(installed) return;
  installed = true;
  sSetSubsystemFunctions(u"Sound", sInitSound, sExitSound);
}

void sClearSoundHandler()
{
  sVERIFYDESC(!InHandler, u"the sound handler must not clear the sound output");
  if(!SoundLock) return;
  sScopeLock lock(SoundLock);
  if(Output)
  {
    Output->Stop();
    Output.reset();
  }
  Handler = nullptr;
}

sBool sSetSoundHandler(sInt rate, sSoundHandler handler, sInt length, sInt flags)
{
  // no window focus on this platform: output always goes on in the background
  (void)flags;
  sVERIFYDESC(!InHandler, u"the sound handler must not start a sound output");
  sClearSoundHandler();
  if(!MixThread) return 0;
  if(rate <= 0 || length <= 0)
  {
    sLogF(u"dev", u"sound output of %d frames at %d Hz refused\n", length, rate);
    return 0;
  }

  {
    sScopeLock lock(SoundLock);
    BufferLength = length;
    SampleRate = rate;
    std::u16string error;
    std::unique_ptr<plat::SoundOutput> out = CreateOutput(rate, length, &error);
    if(!out)
    {
      sLogF(u"dev", u"no sound output: %s\n", error.c_str());
      return 0;
    }
    // the first buffer length plays silence
    void *part1 = nullptr;
    void *part2 = nullptr;
    uint32_t bytes1 = 0;
    uint32_t bytes2 = 0;
    if(out->Lock(0, uint32_t(length) * 4, &part1, &bytes1, &part2, &bytes2))
    {
      if(bytes1) memset(part1, 0, bytes1);
      if(bytes2) memset(part2, 0, bytes2);
      out->Unlock();
    }
    // the new buffer plays from its start, so writing starts there too
    FillPosition = 0;
    Handler = handler;
    Output = std::move(out);
    Output->Play();
  }
  sSoundClock();
  return 1;
}

void sSoundClock()
{
  sThreadEvent *event = WakeEvent.load();
  if(event) event->Signal();
}
