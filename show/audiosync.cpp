#include "show/audiosync.hpp"

#include <cmath>

std::atomic<sAudioSync *> sAudioSyncPtr{nullptr};

void sFFT(sF32 *data, sInt count, sInt inverse)
{
  sVERIFY(count && (count & (count-1)) == 0);
  const sInt n = count * 2;
  // bit-reversal reordering of the complex values
  for(sInt i = 1, j = 1; i < n; i += 2)
  {
    if(j > i)
    {
      sF32 t = data[j - 1]; data[j - 1] = data[i - 1]; data[i - 1] = t;
      t = data[j]; data[j] = data[i]; data[i] = t;
    }
    sInt m = count;
    while(m >= 2 && j > m)
    {
      j -= m;
      m >>= 1;
    }
    j += m;
  }
  // Butterflies over spans 2, 4 .. count, twiddles by the trigonometric recurrence. The
  // twiddles of a pass are taken a run at a time and every group is swept with the run,
  // so neighbouring butterflies touch neighbouring memory; the values are those of the
  // plain loop order.
  constexpr sInt Run = 128;
  sF32 twr[Run], twi[Run];
  // the first pass has the twiddle (1, 0) alone
  if(n > 2)
    for(sInt g = 0; g < n; g += 4)
    {
      const sF32 tr = data[g + 2], ti = data[g + 3];
      data[g + 2] = data[g] - tr;
      data[g + 3] = data[g + 1] - ti;
      data[g] += tr;
      data[g + 1] += ti;
    }
  for(sInt mmax = 4; n > mmax;)
  {
    const sInt step = mmax << 1;
    const sF32 theta = (inverse ? -1.0f : 1.0f) * (6.28318530717959f / sF32(mmax));
    sF32 wtemp = std::sin(0.5f * theta);
    const sF32 wpr = -2.0f * wtemp * wtemp;
    const sF32 wpi = std::sin(theta);
    sF32 wr = 1.0f, wi = 0.0f;
    for(sInt m0 = 0; m0 < mmax; m0 += 2 * Run)
    {
      const sInt k1 = (mmax - m0) / 2 < Run ? (mmax - m0) / 2 : Run;
      for(sInt k = 0; k < k1; k++)
      {
        twr[k] = wr;
        twi[k] = wi;
        wtemp = wr;
        wr = wtemp * wpr - wi * wpi + wr;
        wi = wi * wpr + wtemp * wpi + wi;
      }
      for(sInt g = m0; g < n; g += step)
      {
        sF32 *__restrict a = data + g;
        sF32 *__restrict b = data + g + mmax;
        for(sInt k = 0; k < k1; k++)
        {
          const sF32 tr = twr[k] * b[2 * k] - twi[k] * b[2 * k + 1];
          const sF32 ti = twr[k] * b[2 * k + 1] + twi[k] * b[2 * k];
          b[2 * k] = a[2 * k] - tr;
          b[2 * k + 1] = a[2 * k + 1] - ti;
          a[2 * k] += tr;
          a[2 * k + 1] += ti;
        }
      }
    }
    mmax = step;
  }
}

sAudioSync::sAudioSync()
  : Written(0), SampleProcess(0), Window(nullptr), Lock(sNEW sThreadLock), Mode(0), BlockSize(0), Blocks(0),
    FftSize(0), CurrentBlock(0), History(nullptr), SpectraA(nullptr), SpectraB(nullptr)
{
  Configure(0, 128, 512, 256);
}

sAudioSync::~sAudioSync()
{
  Release();
}

void sAudioSync::FreeBuffers()
{
  sMemFree(Window);
  sMemFree(History);
  sMemFree(SpectraA);
  sMemFree(SpectraB);
  Window = History = SpectraA = SpectraB = nullptr;
}

static sF32 *AllocFloats(sDInt count)
{
  sSetAllocSource(__FILE__, __LINE__);
  return static_cast<sF32 *>(sMemAlloc(count * sDInt(sizeof(sF32)), 16, 0));
}

void sAudioSync::Configure(sInt mode, sInt blockSize, sInt blocks, sInt fftSize)
{
  sVERIFY(Lock);
  sVERIFY(blockSize > 0 && blocks > 0 && fftSize > 0);
  sScopeLock lock(Lock);
  FreeBuffers();
  Mode = mode;
  BlockSize = blockSize;
  Blocks = blocks;
  FftSize = fftSize;
  CurrentBlock = 0;
  Written = 0;
  SampleProcess = 0;
  History = AllocFloats(sDInt(BlockSize) * Blocks * 2);
  SpectraA = AllocFloats(sDInt(Blocks) * FftSize * 2);
  SpectraB = AllocFloats(sDInt(Blocks) * FftSize * 2);
  Window = AllocFloats(FftSize);
  for(sDInt i = 0; i < sDInt(BlockSize) * Blocks * 2; i++)
    History[i] = 0.0f;
  for(sDInt i = 0; i < sDInt(Blocks) * FftSize * 2; i++)
    SpectraA[i] = SpectraB[i] = 0.0f;
  const sF32 half = sF32(FftSize / 2);
  for(sInt i = 0; i < FftSize; i++)
    Window[i] = (std::cos(3.14159265358979f * (sF32(i) - half) / half) + 1.0f) * 0.5f;
}

void sAudioSync::Feed(const sS16 *samples, sInt count)
{
  if(!Lock)
    return;
  sScopeLock lock(Lock);
  if(!Mode || count <= 0 || !samples)
    return;
  const sInt total = BlockSize * Blocks;
  while(count > 0)
  {
    sInt chunk = total - Written;
    if(chunk > total / 2) chunk = total / 2;
    if(chunk > count) chunk = count;
    if(chunk < 1) chunk = 1;
    sF32 *dest = History + sDInt(Written) * 2;
    for(sInt j = 0; j < chunk * 2; j++)
      dest[j] = sF32(samples[j]) * 3.06035e-5f;
    samples += chunk * 2;
    Written += chunk;
    count -= chunk;
    while(SampleProcess + BlockSize <= Written)
    {
      const sInt slot = CurrentBlock.load(std::memory_order_relaxed);
      AnalyseBlock(SampleProcess, slot);
      SampleProcess += BlockSize;
      // the slot is complete before readers see the block move past it
      CurrentBlock.store((slot + 1) % Blocks, std::memory_order_release);
    }
    if(Written >= total)
    {
      const sInt max = total;
      sVERIFY(SampleProcess==max);
      Written = SampleProcess = 0;
    }
  }
}

void sAudioSync::AnalyseBlock(sInt start, sInt slot)
{
  if(!Mode)
    return;
  (void)ReaderDone.load(std::memory_order_acquire);
  const sInt total = BlockSize * Blocks;
  sInt p = (start + BlockSize - FftSize) % total;
  if(p < 0)
    p += total;
  sF32 *a = SpectraA + sDInt(slot) * FftSize * 2;
  sF32 *b = SpectraB + sDInt(slot) * FftSize * 2;
  // Both channels go through one transform as left + i right; since each channel is real,
  // its spectrum is the even or the odd part of the result: A(k) = (Z(k) + Z*(N-k)) / 2,
  // B(k) = (Z(k) - Z*(N-k)) / 2i. Half the work of two transforms, the same spectra.
  for(sInt i = 0; i < FftSize; i++)
  {
    a[i * 2] = History[p * 2] * Window[i];
    a[i * 2 + 1] = History[p * 2 + 1] * Window[i];
    if(++p == total)
      p = 0;
  }
  sFFT(a, FftSize, 0);
  const sInt n = FftSize;
  for(sInt k = 0; k <= n / 2; k++)
  {
    const sInt m = (n - k) & (n - 1);
    const sF32 zr = a[k * 2], zi = a[k * 2 + 1];
    const sF32 nr = a[m * 2], ni = a[m * 2 + 1];
    // bins k and n - k at once: their values are conjugate mirrors of each other
    a[k * 2] = (zr + nr) * 0.5f;
    a[k * 2 + 1] = (zi - ni) * 0.5f;
    b[k * 2] = (zi + ni) * 0.5f;
    b[k * 2 + 1] = (nr - zr) * 0.5f;
    a[m * 2] = a[k * 2];
    a[m * 2 + 1] = -a[k * 2 + 1];
    b[m * 2] = b[k * 2];
    b[m * 2 + 1] = -b[k * 2 + 1];
  }
}

void sAudioSync::Release()
{
  if(Lock)
  {
    Lock->Lock();
    Mode = 0;
    FreeBuffers();
    Lock->Unlock();
  }
  sDELETE(Lock);
}
