#pragma once
// The stand-in music, "Tarnglow": a house track at exactly 126 beats per minute, so that
// the show's start-up tempo fits it. 96 bars of four beats: a kick on every beat, closed
// hats on the sixteenths from the start, the bass line from bar 8, the snare on beats 2
// and 4 and open hats on the off-beats from bar 16, a breakdown without bass and snare
// in bars 48 to 55, open hats again from bar 64; a second of silence ends it.
//
// Every voice is a function of the frame number alone (noise included), so any stretch
// of the song renders by itself: the music and the level track of the beat analysis are
// made from the same voices without holding the whole song in memory.

#include "base/types.hpp"

namespace datagen
{

constexpr sInt kSongRate = 44100;
constexpr sInt kSongBpm = 126;
static_assert(kSongRate * 60 % kSongBpm == 0, "a beat is a whole number of frames");
constexpr sInt kBeatFrames = kSongRate * 60 / kSongBpm;   // 21000
constexpr sInt kSongBars = 96;
constexpr sInt kSongBeats = kSongBars * 4;
constexpr sInt kSongFrames = kSongBeats * kBeatFrames + kSongRate;

// One frame of the song: the stereo mix, and the voices summed by band before they are
// placed in the stereo picture (low: kick and bass, mid: snare, high: hats).
struct SongFrame
{
  sF32 Left, Right;
  sF32 Low, Mid, High;
};

// Whether the snare plays on the beat (beats 2 and 4 of the bars that have it); it starts
// on the beat's first frame, with the kick.
bool SnareOnBeat(sInt beat);

// Frames start to start + count - 1 of the song (frames past its end are silent).
void RenderSong(sInt start, sInt count, SongFrame *out);

}   // namespace datagen
