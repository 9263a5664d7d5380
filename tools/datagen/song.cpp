// The voices and the arrangement of the stand-in music.
#include "song.hpp"

#include <cmath>

namespace datagen
{
namespace
{

constexpr sF32 kTwoPi = 6.28318531f;
constexpr sInt kSixteenthFrames = kBeatFrames / 4;
constexpr sF32 kSecondsPerFrame = 1.0f / kSongRate;

// white noise -1..1 as a hash of the frame number: the same frame always gets the same value
sF32 NoiseAt(sInt n)
{
  sU32 h = sU32(n) * 0x9e3779b1u + 0x7f4a7c15u;
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return sF32(h & 0xffff) / 32767.5f - 1.0f;
}

bool BassPlays(sInt bar) { return (bar >= 8 && bar < 48) || bar >= 56; }
bool OpenHatPlays(sInt bar) { return (bar >= 16 && bar < 48) || bar >= 64; }

// t: seconds since the beat. The pitch falls from 155 Hz to 45 Hz in the first tens of
// milliseconds; the sound is faded out before the next beat so beats never overlap.
sF32 Kick(sInt n, sF32 t)
{
  const sF32 beat = kBeatFrames * kSecondsPerFrame;
  sF32 drop = std::exp(-t / 0.035f);
  sF32 phase = kTwoPi * (45.0f * t + 110.0f * 0.035f * (1.0f - drop));
  sF32 env = std::fmin(1.0f, t / 0.001f) * std::exp(-t / 0.3f) * std::fmin(1.0f, (beat - t) / 0.02f);
  return 0.85f * env * std::sin(phase) + 0.25f * NoiseAt(n) * std::exp(-t / 0.002f);
}

// A club snare: a short tone for its body and a burst of noise centred where a snare's
// crack is, around 2.5 to 6 kHz (the difference of noise five frames apart peaks at
// 4.4 kHz; the average of three neighbours takes the comb's higher peaks down), ringing
// for about a tenth of a second and well above the hats there.
sF32 SnareNoise(sInt n)
{
  auto comb = [](sInt m) { return NoiseAt(m) - NoiseAt(m - 5); };
  return (comb(n) + comb(n - 1) + comb(n - 2)) * (1.0f / 3.0f);
}

sF32 Snare(sInt n, sF32 t)
{
  sF32 attack = std::fmin(1.0f, t / 0.0005f);
  sF32 rattle = 0.3f * SnareNoise(n) * std::exp(-t / 0.12f);
  sF32 body = std::sin(kTwoPi * 185.0f * t) * std::exp(-t / 0.045f);
  return attack * (rattle + 0.25f * body);
}

// hats: the second difference of the noise keeps only its highest part
sF32 HatNoise(sInt n)
{
  return (NoiseAt(n) - 2.0f * NoiseAt(n - 1) + NoiseAt(n - 2)) * 0.25f;
}

// t: seconds since the note began; length: seconds until the next note or the beat's end
sF32 Bass(sF32 t, sF32 length, sF32 freq)
{
  sF32 env = std::fmin(1.0f, t / 0.003f) * std::exp(-t / 0.15f) * std::fmax(0.0f, std::fmin(1.0f, (length - t) / 0.005f));
  if(env <= 0.0f) return 0.0f;
  // a band-limited saw of six partials
  sF32 sum = 0.0f;
  for(sInt k = 1; k <= 6; k++)
    sum += std::sin(kTwoPi * k * freq * t) / k;
  return 0.28f * env * sum;
}

// the roots of the four bars of the progression: A, F, C, G
const sF32 BassRoots[4] = {55.0f, 43.65f, 65.41f, 49.0f};

}   // namespace

bool SnareOnBeat(sInt beat)
{
  sInt bar = beat / 4;
  return beat >= 0 && beat < kSongBeats && beat % 2 == 1 && ((bar >= 16 && bar < 48) || bar >= 56);
}

void RenderSong(sInt start, sInt count, SongFrame *out)
{
  for(sInt i = 0; i < count; i++)
  {
    sInt n = start + i;
    SongFrame &f = out[i];
    f = SongFrame{0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    sInt beat = n / kBeatFrames;
    if(n < 0 || beat >= kSongBeats) continue;
    sInt bar = beat / 4, beatInBar = beat % 4;
    sInt inBeat = n - beat * kBeatFrames;
    sInt sixteenth = inBeat / kSixteenthFrames;
    sF32 tBeat = inBeat * kSecondsPerFrame;
    sF32 tSixteenth = (inBeat - sixteenth * kSixteenthFrames) * kSecondsPerFrame;

    sF32 kick = Kick(n, tBeat);

    sF32 snare = 0.0f;
    if(SnareOnBeat(beat))
      snare = Snare(n, tBeat);

    // closed hats on every sixteenth, accented on the off-beat; the open hat rings from
    // the off-beat to the beat's end
    sF32 closed = 0.0f, open = 0.0f;
    sF32 hat = HatNoise(n);
    bool openHat = OpenHatPlays(bar);
    if(!(openHat && sixteenth == 2))
      closed = hat * (sixteenth == 2 ? 0.2f : 0.12f) * std::exp(-tSixteenth / 0.018f);
    if(openHat && sixteenth >= 2)
    {
      sF32 t = (inBeat - 2 * kSixteenthFrames) * kSecondsPerFrame;
      open = hat * 0.16f * std::exp(-t / 0.12f);
    }

    // the bass answers the kick on the off-beat, with a second note an octave up on the
    // last sixteenth of beats 2 and 4
    sF32 bass = 0.0f;
    if(BassPlays(bar) && sixteenth >= 2)
    {
      bool second = beatInBar % 2 == 1;
      sF32 root = BassRoots[bar % 4];
      const sF32 sixteenthSeconds = kSixteenthFrames * kSecondsPerFrame;
      if(sixteenth == 3 && second)
        bass = Bass(tSixteenth, sixteenthSeconds, root * 2.0f);
      else
        bass = Bass(tSixteenth + (sixteenth - 2) * sixteenthSeconds, second ? sixteenthSeconds : 2.0f * sixteenthSeconds,
                    root);
    }

    f.Low = kick + bass;
    f.Mid = snare;
    f.High = closed + open;
    sF32 centre = kick + bass + snare;
    f.Left = std::tanh(0.9f * (centre + closed * 1.2f + open * 0.8f));
    f.Right = std::tanh(0.9f * (centre + closed * 0.8f + open * 1.2f));
  }
}

}   // namespace datagen
