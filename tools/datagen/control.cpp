// The control files the show reads at start: the live recording of control values
// ("LiveRecordingData.txt", a VJ's few moves over the six minutes of its table) and the
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

// One move of a control: its track, which desk it came from, and its value taken from one
// level to another over a few beats. Between moves nothing is recorded: the settings keep
// what the last move left, as a fader stays where the hand left it.
struct Move
{
  sInt Track;
  sU32 Flag;
  sInt Bar, Beats;
  sF32 From, To;
};

// A VJ's set over the show: a few deliberate moves a minute apart, each one bringing its
// page forward only while the hand is on the control, each effect left on long enough to be
// seen, and never to a full wash of the picture (the strobe, the feedback and the
// kaleidoscope at full turn any scene into a near-even light grey). By the show's end every
// effect is pulled back down.
const Move Moves[] = {
  // the output faded up over the first two bars
  {0, kLiveMidi, 0, 8, 0.0f, 1.0f},
  // bar 32: the feedback pushed in
  {5, kLiveMidi, 32, 4, 0.0f, 0.35f},
  // bar 64: the feedback handed over to the kaleidoscope
  {5, kLiveMidi, 64, 4, 0.35f, 0.0f},
  {7, kLiveDmx, 64, 4, 0.0f, 0.5f},
  // bar 96: the kaleidoscope pulled, the colour correction pushed in with its hue turned
  {7, kLiveDmx, 96, 4, 0.5f, 0.0f},
  {3, kLiveDmx, 96, 4, 0.0f, 0.6f},
  {4, kLiveDmx, 96, 4, 0.1f, 0.45f},
  // bar 128: the colour correction out, the self distortion of the screen in
  {3, kLiveDmx, 128, 4, 0.6f, 0.0f},
  {16, kLiveMidi, 128, 4, 0.0f, 0.6f},
  // bar 160, the show's last bars: the distortion pulled
  {16, kLiveMidi, 160, 4, 0.6f, 0.0f},
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
    for(const Move &m : Moves)
    {
      sF32 t = (beat - sF32(m.Bar * 4)) / sF32(m.Beats);
      // the hand stays a few lines at the end, so the move's last lines hold where it ends
      if(t < 0.0f || t > 1.05f) continue;
      sF32 v = m.From + (m.To - m.From) * std::min(t, 1.0f);
      v = v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
      words[1 + m.Track] = m.Flag + sU32(999.0f * v + 0.5f);
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
