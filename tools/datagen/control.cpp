// The control files the show reads at start: the live recording of control values
// ("LiveRecordingData.txt", a performance over the music of six minutes' table) and the
// level track of the beat analysis ("EQU303.raw", the three band levels of the music).
#include "datagen.hpp"
#include "song.hpp"

#include "base/textbuffer.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace datagen
{
namespace
{

/****************************************************************************/
/***   Live recording                                                     ***/
/****************************************************************************/

constexpr sInt kLiveLines = 50 * 60 * 6;   // 20 ms a line
constexpr sInt kLiveWords = 33;
constexpr sU32 kLiveMidi = 1000;
constexpr sU32 kLiveDmx = 2000;

// One stretch in which the operator moved a control: its track, which desk it came
// from, its beats, and its value over the stretch (beat: the beat number with its
// fraction, t: 0..1 through the stretch).
struct Gesture
{
  sInt Track;
  sU32 Flag;
  sInt FromBeat, ToBeat;
  sF32 (*Value)(sF32 beat, sF32 t);
};

// The effects are moved as a VJ moves them over a running show: never to a full wash of
// the picture (the strobe, the feedback and the kaleidoscope at full turn any scene into a
// near-even light grey), and every control put back at the end of its move, so that no
// effect stays on for the rest of the show.
const Gesture Gestures[] = {
  // the output brightness faded up over the first four bars
  {0, kLiveMidi, 0, 16, [](sF32, sF32 t) { return t; }},
  // the strobe hit on every beat of bars 40 to 47, a short flash at a steady power
  {1, kLiveDmx, 160, 192, [](sF32 b, sF32 t) { return t < 0.99f ? 0.6f * std::max(0.0f, 1.0f - 4.0f * (b - std::floor(b))) : 0.0f; }},
  {2, kLiveDmx, 160, 192, [](sF32, sF32) { return 0.8f; }},
  // the feedback swept up to half and back down over bars 56 to 63
  {5, kLiveMidi, 224, 256, [](sF32, sF32 t) { return 0.25f - 0.25f * std::cos(t * 6.2831853f); }},
  // the kaleidoscope pushed up over bars 72 to 79 and pulled at the end
  {7, kLiveDmx, 288, 320, [](sF32, sF32 t) { return t < 0.9f ? 0.6f * t / 0.9f : 0.0f; }},
  // a distortion rocked in half bars over the last bars of the music, and pulled at the end
  {16, kLiveMidi, 352, 384, [](sF32 b, sF32 t) { return t < 0.97f ? std::fabs(std::fmod(b, 4.0f) - 2.0f) * 0.5f : 0.0f; }},
};

void WriteLiveRecording(Tree &tree)
{
  sTextBuffer text(1 << 20);
  std::vector<sU32> words(kLiveWords);
  for(sInt line = 0; line < kLiveLines; line++)
  {
    sF64 ms = line * 20.0;
    sF32 beat = sF32(ms * kSongBpm / 60000.0);
    // the recorder's position stamp counts eighths: eight to a bar, a bar per hundred
    sU32 eighth = sU32(beat * 2.0f);
    words.assign(kLiveWords, 0);
    words[0] = (eighth / 8) * 100 + eighth % 8;
    for(const Gesture &g : Gestures)
      if(beat >= g.FromBeat && beat < g.ToBeat)
      {
        sF32 v = g.Value(beat, (beat - g.FromBeat) / sF32(g.ToBeat - g.FromBeat));
        v = v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
        words[1 + g.Track] = g.Flag + sU32(999.0f * v);
      }
    text.PrintF(u"live: %05d,", words[0]);
    for(sInt w = 1; w < kLiveWords - 1; w++)
      text.PrintF(u"%04d,", words[w]);
    text.PrintF(u"%04d\n", words[kLiveWords - 1]);
  }
  tree.WriteText(u"LiveRecordingData.txt", text.Get());
}

/****************************************************************************/
/***   Level track                                                        ***/
/****************************************************************************/

constexpr sInt kLevelFrames = 12000;   // 50 ms each: ten minutes
constexpr sInt kLevelFrameSamples = kSongRate / 20;

// Each band's level in a frame is its peak, in 16.16 fixed point. The track runs past
// the end of the music: the rest of it is silence.
void WriteLevelTrack(Tree &tree)
{
  std::vector<sU8> file(size_t(kLevelFrames) * 12, 0);
  std::vector<SongFrame> frames(kLevelFrameSamples);
  for(sInt f = 0; f < kLevelFrames && f * kLevelFrameSamples < kSongFrames; f++)
  {
    RenderSong(f * kLevelFrameSamples, kLevelFrameSamples, frames.data());
    sF32 peak[3] = {0.0f, 0.0f, 0.0f};
    for(const SongFrame &s : frames)
    {
      peak[0] = std::fmax(peak[0], std::fabs(s.Low));
      peak[1] = std::fmax(peak[1], std::fabs(s.Mid));
      peak[2] = std::fmax(peak[2], std::fabs(s.High));
    }
    for(sInt band = 0; band < 3; band++)
    {
      sU32 v = sU32(sS32(peak[band] * 65536.0f));
      sU8 *p = &file[size_t(f) * 12 + band * 4];
      p[0] = sU8(v);
      p[1] = sU8(v >> 8);
      p[2] = sU8(v >> 16);
      p[3] = sU8(v >> 24);
    }
  }
  tree.WriteData(u"EQU303.raw", file.data(), sDInt(file.size()));
}

void Generate(Tree &tree)
{
  WriteLiveRecording(tree);
  WriteLevelTrack(tree);
}

}   // namespace

DATAGEN_AREA("control files", 300, Generate);

}   // namespace datagen
