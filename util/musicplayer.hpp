#pragma once
// The music player: one music file held whole in memory and decoded on the fly into the
// framework's sound output, from its start to its end, once.
//
// The main thread loads, installs and starts the player; from then on the sound mixing
// thread calls sMusicRender (under the sound output's lock) to fill its buffer. Every call
// that touches the decoder or the file data (Load, Start, Render, Open, Decode, Length,
// Close) takes the player's own lock, a recursive one, so each may be called at any time,
// playing or not, without racing the mixing thread. sMusicPlayerPtr is the one active player.

#include "base/system.hpp"
#include "base/types.hpp"

#include <atomic>

struct stb_vorbis;

enum : sInt
{
  sMPS_EMPTY = 0,     // nothing loaded (or the file could not be decoded)
  sMPS_STOPPED = 1,   // loaded, or played to its end
  sMPS_PLAYING = 3,
};

class sMusicPlayer
{
public:
  // a decode-ahead buffer of interleaved stereo frames; the show streams, so it stays null
  sS16 *Buffer = nullptr;
  sInt BufferFrames = 0;
  sInt DecodedFrames = 0;
  sU8 *FileData = nullptr;
  sU32 FileSize = 0;
  sInt OwnsFileData = 0;
  std::atomic<sInt> PlayState{sMPS_EMPTY};
  sInt Position = 0;   // frames rendered since the start
  sThreadLock Lock;

  sMusicPlayer() = default;
  sMusicPlayer(const sMusicPlayer &) = delete;
  sMusicPlayer &operator=(const sMusicPlayer &) = delete;
  // Stops the sound output first when this is the active player.
  virtual ~sMusicPlayer();
  // Makes the decoder over FileData; nonzero on success.
  virtual sBool Open(sInt argument) = 0;
  // Decodes up to frames interleaved 16-bit stereo frames; 0 at the end or on a fault.
  virtual sInt Decode(sS16 *out, sInt frames) = 0;
  // Frames of the whole stream.
  virtual sInt Length() = 0;
  // Closes the decoder over FileData, if one is open.
  virtual void Close() = 0;

  // Loads the whole file; 1 and PlayState 1 on success, 0 (PlayState unchanged) otherwise.
  // The decoder over the old file data is closed first: a playing stream then ends.
  sBool Load(const sChar *name);
  // Makes this the active player and starts the sound output: 44,100 Hz, one second of
  // buffer. A second active player is fatal.
  void Install();
  // Opens the decoder and plays from the start; 1 when playing.
  sBool Start(sInt argument);
  // Fills frames frames of interleaved stereo: the music while it plays, silence before,
  // after and where the stream ends within the call. 1 unless the stream ended here.
  sBool Render(sS16 *out, sInt frames, sInt volume);
};

// The Ogg Vorbis player over stb_vorbis.
class sOggMusicPlayer : public sMusicPlayer
{
public:
  stb_vorbis *Decoder = nullptr;

  ~sOggMusicPlayer() override;
  sBool Open(sInt argument) override;
  sInt Decode(sS16 *out, sInt frames) override;
  sInt Length() override;
  void Close() override;
};

extern sMusicPlayer *sMusicPlayerPtr;
// The sound handler of the active player.
void sMusicRender(sS16 *out, sInt frames);
