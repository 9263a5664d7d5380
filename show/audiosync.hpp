#pragma once
// The audio analyser: a history of captured stereo frames and, for every block of new
// frames, the windowed spectra of the newest FftSize frames of the left (SpectraA) and the
// right channel (SpectraB), kept in a ring of per-block slots.
//
// One analyser exists at a time (sAudioSyncPtr), made and configured by the SYNC machine.
// The capture thread feeds it under its lock; the main thread reads CurrentBlock and the
// slots before it without the lock: a slot is complete once CurrentBlock has moved past it
// and is rewritten only Blocks blocks later.

#include "base/system.hpp"

// In-place complex FFT of count points (interleaved re, im), radix 2, not normalised.
// A count that is not a nonzero power of two is fatal.
void sFFT(sF32 *data, sInt count, sInt inverse);

class sAudioSync
{
public:
  sInt Written;         // frames stored since the history last wrapped
  sInt SampleProcess;   // frames already analysed, a multiple of BlockSize
  sF32 *Window;         // Hann window, FftSize values
  sThreadLock *Lock;
  sInt Mode;            // 0: feeding does nothing
  sInt BlockSize;       // frames per analysis block
  sInt Blocks;          // blocks in the history and the spectrum ring
  sInt FftSize;         // points of each transform
  std::atomic<sInt> CurrentBlock;   // the slot the next analysed block fills
  sF32 *History;        // BlockSize x Blocks frames of (left, right)
  sF32 *SpectraA;       // Blocks x FftSize complex values: the left channel
  sF32 *SpectraB;       // the same for the right channel
  // Bumped by the reader once it is done with the slots it read; the feed takes it before
  // it rewrites a slot, so that a slot read earlier is ordered before its next filling.
  std::atomic<sU32> ReaderDone{0};

  sAudioSync();
  ~sAudioSync();
  sAudioSync(const sAudioSync &) = delete;
  sAudioSync &operator=(const sAudioSync &) = delete;

  void Configure(sInt mode, sInt blockSize, sInt blocks, sInt fftSize);
  // Stores count frames of interleaved 16-bit (left, right) values (2 x count values are
  // read) and analyses every block that becomes complete.
  void Feed(const sS16 *samples, sInt count);
  // Transforms the FftSize frames that end with the block starting at frame start.
  void AnalyseBlock(sInt start, sInt slot);
  // The reader's side of ReaderDone (main thread, after reading slots).
  void MarkRead() { ReaderDone.fetch_add(1, std::memory_order_release); }
  // Frees the buffers and the lock; the analyser does nothing afterwards.
  void Release();

  // The spectra of a ring slot.
  const sF32 *GetSpectrumA(sInt slot) const { return SpectraA + sDInt(slot) * FftSize * 2; }
  const sF32 *GetSpectrumB(sInt slot) const { return SpectraB + sDInt(slot) * FftSize * 2; }

private:
  void FreeBuffers();
};

// The one analyser, null when none exists.
extern std::atomic<sAudioSync *> sAudioSyncPtr;
