// Random generator, checksums, colour operations, float helpers, clock and frame timer.

#include "base/numbers.hpp"
#include "platform/system/system.hpp"

#include <cmath>

/****************************************************************************/
/***   Random numbers                                                     ***/
/****************************************************************************/

static inline sU32 RotateLeft16(sU32 v)
{
  return (v << 16) | (v >> 16);
}

void sRandomLcg::Seed(sU32 seed)
{
  sU32 v = (seed * 121u) / 17u + seed * 139u;
  State = v;
  for(sInt n = 0; n < 3; n++)
  {
    Step();
    Step();
    State ^= v;
  }
  Step();
  Step();
}

sU32 sRandomLcg::Next()
{
  return Step() & 0x7fffffffu;
}

// two steps folded into one 31-bit value (before masking)
sU32 sRandomLcg::Combine()
{
  sU32 s1 = Step() & 0x7fffffffu;
  sU32 s2 = Step() & 0x7fffffffu;
  return RotateLeft16(s2) ^ s1;
}

sInt sRandomLcg::NextBelow(sInt max_)
{
  sVERIFY(max_>=1);
  sU32 limit = sU32(max_ - 1);
  sU32 mask = limit;
  mask |= mask >> 1;
  mask |= mask >> 2;
  mask |= mask >> 4;
  mask |= mask >> 8;
  mask |= mask >> 16;
  sU32 v;
  do
    v = Combine() & mask;
  while(v > limit);
  return sInt(v);
}

sF32 sRandomLcg::NextFloat(sF32 max)
{
  sU32 v = Combine() & 0x7fffffffu;
  return sF32(v) * max * (1.0f / 2147483648.0f);
}

/****************************************************************************/
/***   Checksums                                                          ***/
/****************************************************************************/

static sU32 AdlerA = 1;
static sU32 AdlerB = 0;

void sChecksumAdler32Begin()
{
  AdlerA = 1;
  AdlerB = 0;
}

void sChecksumAdler32Add(const void *data, sDInt count)
{
  const sU8 *p = static_cast<const sU8 *>(data);
  for(sDInt n = 0; n < count; n++)
  {
    AdlerA = (AdlerA + p[n]) % 65521u;
    AdlerB = (AdlerB + AdlerA) % 65521u;
  }
}

sU32 sChecksumAdler32End()
{
  return (AdlerB << 16) + AdlerA;
}

namespace {
struct CrcTable
{
  sU32 Entry[256];
  constexpr CrcTable() : Entry{}
  {
    for(sU32 n = 0; n < 256; n++)
    {
      sU32 c = n;
      for(sInt k = 0; k < 8; k++)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      Entry[n] = c;
    }
  }
};
constexpr CrcTable Crc;
}

sU32 sChecksumCRC32(const void *data, sDInt count)
{
  const sU8 *p = static_cast<const sU8 *>(data);
  sU32 crc = 0xffffffffu;
  for(sDInt n = 0; n < count; n++)
    crc = Crc.Entry[(crc ^ p[n]) & 0xff] ^ (crc >> 8);
  return ~crc;
}

sU32 sChecksumCRC32Wide(const sChar *text, sDInt count)
{
  sU32 crc = 0xffffffffu;
  for(sDInt n = 0; n < count; n++)
    crc = Crc.Entry[(crc ^ sU8(text[n] & 0xff)) & 0xff] ^ (crc >> 8);
  return ~crc;
}

/****************************************************************************/
/***   Colours                                                            ***/
/****************************************************************************/

static inline sU32 Channel(sU32 c, sInt shift)
{
  return (c >> shift) & 0xff;
}

sU32 sMultiplyColor(sU32 a, sU32 b)
{
  sU32 r = 0;
  for(sInt shift = 0; shift < 32; shift += 8)
    r |= ((Channel(a, shift) * Channel(b, shift)) >> 8) << shift;
  return r;
}

sU32 sFadeColor16(sInt w, sU32 a, sU32 b)
{
  // a weight outside 0..65536 would carry one channel's product into the next
  if(w < 0) w = 0;
  if(w > 65536) w = 65536;
  sU32 wa = sU32(65536 - w);
  sU32 wb = sU32(w);
  sU32 r = 0;
  for(sInt shift = 0; shift < 32; shift += 8)
  {
    sU32 c = ((Channel(a, shift) * wa) >> 16) + ((Channel(b, shift) * wb) >> 16);
    r |= c << shift;
  }
  return r;
}

sU32 sAddColorSaturate(sU32 a, sU32 b)
{
  sU32 r = 0;
  for(sInt shift = 0; shift < 32; shift += 8)
  {
    sU32 c = Channel(a, shift) + Channel(b, shift);
    if(c > 255) c = 255;
    r |= c << shift;
  }
  return r;
}

sU32 sBlendColor(sU32 a, sU32 b, sF32 t)
{
  // keep the float-to-integer conversion defined for any t (NaN counts as 0)
  sF32 ft = t * 256.0f;
  sS64 w = 0;
  if(ft > 1e9f) w = 1000000000;
  else if(ft < -1e9f) w = -1000000000;
  else if(ft == ft) w = sS64(ft);
  sU32 r = 0;
  for(sInt shift = 0; shift < 32; shift += 8)
  {
    sS64 c = (sS64(Channel(a, shift)) * (256 - w) + sS64(Channel(b, shift)) * w) >> 8;
    if(c > 255) c = 255;
    if(c < 0) c = 0;   // a t below 0 would set the bits of the channels above
    r |= sU32(c) << shift;
  }
  return r;
}

/****************************************************************************/
/***   Floating point                                                     ***/
/****************************************************************************/

void sInitFloatingPoint()
{
  // the default environment: every exception masked and its flag cleared, round to nearest
  plat::InitFloatingPoint();
}

sF32 sFPow(sF32 x, sF32 y)
{
  return powf(x, y);
}

void sSinCos(sF32 angle, sF32 &s, sF32 &c)
{
  s = sinf(angle);
  c = cosf(angle);
}

/****************************************************************************/
/***   Clock                                                              ***/
/****************************************************************************/

sU32 sGetTime()
{
  return plat::TimeMs();
}

/****************************************************************************/
/***   Frame timer                                                        ***/
/****************************************************************************/

sFrameTimer::sFrameTimer()
{
  Total = 0;
  Last = 0;
  First = 1;
  Slices = 0;
  SliceLength = 10;
  Delta = 0;
  Remainder = 0;
  Start = 0;
  for(sInt &h : History) h = 0;
  HistoryIndex = 0;
  HistoryCount = 0;
  Skip = 4;
  HistorySize = HISTORY;
}

// division rounding towards minus infinity
static sInt FloorDiv(sS64 a, sS64 b)
{
  sS64 q = a / b;
  if((a % b != 0) && ((a < 0) != (b < 0))) q--;
  return sInt(q);
}

void sFrameTimer::Update(sU32 time)
{
  sVERIFY(SliceLength > 0);
  if(First)
  {
    Last = sInt(time);
    Start = sInt(time);
    First = 0;
  }
  sU32 last = sU32(Last);
  Delta = sTimeDiff(time, last);
  Total = sInt(sU32(Total) + sU32(Delta));
  Remainder = sInt(time % sU32(SliceLength));
  // the slice boundaries between last and time, counted from last's place in its slice
  // (equal to time / SliceLength - last / SliceLength, but right across the clock's wrap)
  sS64 lastRemainder = last % sU32(SliceLength);
  Slices = FloorDiv(lastRemainder + Delta, SliceLength);
  if(Skip > 0)
  {
    Skip--;
  }
  else
  {
    sVERIFY(HistorySize >= 1 && HistorySize <= HISTORY);
    History[HistoryIndex] = Delta;
    HistoryIndex = (HistoryIndex + 1) % HistorySize;
    HistoryCount = HistoryCount + 1 < HistorySize ? HistoryCount + 1 : HistorySize;
  }
  Last = sInt(time);
}

sF32 sFrameTimer::GetAverageDelta() const
{
  if(HistoryCount <= 0)
    return 0.001f;
  sS64 sum = 0;
  for(sInt n = 0; n < HistoryCount && n < HISTORY; n++)
    sum += History[n];
  sF32 avg = sF32(sum) / sF32(HistoryCount);
  return avg < 0.001f ? 0.001f : avg;
}
