#pragma once
// Small numeric services: the random generator, checksums, 32-bit ARGB colour
// operations, float helpers with the floating-point set-up, the millisecond clock
// and the frame timer.

#include "base/types.hpp"

/****************************************************************************/
/***   Random numbers                                                     ***/
/****************************************************************************/

// 32-bit linear congruential generator (multiplier 1103515245, increment 12345).
// A default-constructed generator is seeded with 0.
struct sRandomLcg
{
  sU32 State;

  sRandomLcg() { Seed(0); }
  explicit sRandomLcg(sU32 seed) { Seed(seed); }

  // Restarts the sequence from a seed.
  void Seed(sU32 seed);
  // One step; returns the low 31 bits of the new state.
  sU32 Next();
  // Uniform integer in [0, max_) by masked rejection; max_ below 1 is fatal.
  sInt NextBelow(sInt max_);
  // Float from 0 to max, two steps per call. The float rounding of the 31-bit value can
  // reach max itself, so callers must not rely on a result strictly below max.
  sF32 NextFloat(sF32 max);

private:
  sU32 Step() { State = State * 1103515245u + 12345u; return State; }
  sU32 Combine();
};

/****************************************************************************/
/***   Checksums                                                          ***/
/****************************************************************************/

// Adler-32 over one global state: Begin, Add as often as needed, End. Two computations
// must not be interleaved; main thread only.
void sChecksumAdler32Begin();
void sChecksumAdler32Add(const void *data, sDInt count);
sU32 sChecksumAdler32End();

// The published CRC-32 (reflected polynomial 0xEDB88320); an empty range gives 0.
sU32 sChecksumCRC32(const void *data, sDInt count);
// The same register over 16-bit characters, fed only with the low byte of each.
sU32 sChecksumCRC32Wide(const sChar *text, sDInt count);

/****************************************************************************/
/***   Colours (0xAARRGGBB)                                               ***/
/****************************************************************************/

// Per channel (a * b) >> 8.
sU32 sMultiplyColor(sU32 a, sU32 b);
// Fade from a (w = 0) to b (w = 65536) by a 16.16 weight; weights outside 0..65536 are
// clamped to that range.
sU32 sFadeColor16(sInt w, sU32 a, sU32 b);
// Per channel sum, saturated at 255.
sU32 sAddColorSaturate(sU32 a, sU32 b);
// Blend from a (t = 0) to b (t = 1) with the weight t * 256 truncated. A t outside 0..1
// extrapolates; every channel is kept within 0..255 so it never spills into its neighbour.
sU32 sBlendColor(sU32 a, sU32 b, sF32 t);

/****************************************************************************/
/***   Floating point                                                     ***/
/****************************************************************************/

// Clears pending exception flags, masks every floating-point exception and rounds to
// nearest: divisions by zero and invalid operations give infinities and NaNs, never a trap.
void sInitFloatingPoint();
sF32 sFPow(sF32 x, sF32 y);
void sSinCos(sF32 angle, sF32 &s, sF32 &c);

/****************************************************************************/
/***   Clock                                                              ***/
/****************************************************************************/

// Milliseconds since the process started (monotonic). The value wraps after 49.7 days;
// compare two times only by their signed difference (sTimeDiff, sTimeIsLater), never by
// "<" or ">", so comparisons stay right across the wrap.
sU32 sGetTime();
// a - b as a signed count of milliseconds (valid while the times lie less than 24.8 days apart).
inline sInt sTimeDiff(sU32 a, sU32 b) { return sInt(a - b); }
// 1 when time a lies after time b.
inline bool sTimeIsLater(sU32 a, sU32 b) { return sTimeDiff(a, b) > 0; }

/****************************************************************************/
/***   Frame timer                                                        ***/
/****************************************************************************/

// Turns the millisecond clock into frame deltas and fixed 10 ms steps (slices), and keeps
// a history of frame times for an average.
struct sFrameTimer
{
  enum { HISTORY = 64 };

  sInt Total;          // sum of all deltas since the first update
  sInt Last;           // time of the last update
  sInt First;          // 1 until the first update
  sInt Slices;         // slice boundaries crossed by the last update
  sInt SliceLength;    // 10 ms
  sInt Delta;          // the last delta
  sInt Remainder;      // current time modulo SliceLength
  sInt Start;          // time of the first update
  sInt History[HISTORY];
  sInt HistoryIndex;   // next write position
  sInt HistoryCount;   // valid entries
  sInt Skip;           // updates still left out of the history (the first few are uneven)
  sInt HistorySize;

  sFrameTimer();
  // time: milliseconds of sGetTime() or of a fixed-step clock. Deltas are signed
  // differences, so the update stays right when the 32-bit clock wraps.
  void Update(sU32 time);
  // Average of the recorded deltas, at least 0.001.
  sF32 GetAverageDelta() const;
};
