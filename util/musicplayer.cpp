// The music player: the whole file in memory, decoded by stb_vorbis as the sound output
// asks for it.
#include "util/musicplayer.hpp"
#include "base/file.hpp"
#include "base/sound.hpp"

#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_vorbis.h>
#pragma GCC diagnostic pop

sMusicPlayer *sMusicPlayerPtr = nullptr;

void sMusicRender(sS16 *out, sInt frames)
{
  if(sMusicPlayerPtr) sMusicPlayerPtr->Render(out, frames, 256);
  // without a player the buffer is silence, never what it held one round before
  else std::memset(out, 0, size_t(frames) * 4);
}

sMusicPlayer::~sMusicPlayer()
{
  if(sMusicPlayerPtr == this)
  {
    // the mixing thread is done with this player once the output is cleared
    sClearSoundHandler();
    sMusicPlayerPtr = nullptr;
  }
  if(OwnsFileData) sMemFree(FileData);
  FileData = nullptr;
  if(Buffer) sMemFree(Buffer);
  Buffer = nullptr;
}

sBool sMusicPlayer::Load(const sChar *name)
{
  sScopeLock lock(&Lock);
  // the decoder reads the file data in place: it goes before the data does, so a stream
  // playing on goes silent instead of decoding freed memory
  Close();
  if(OwnsFileData) sMemFree(FileData);
  FileData = nullptr;
  OwnsFileData = 0;
  sDInt size = 0;
  FileData = sLoadFileData(name, &size);
  FileSize = sU32(size);
  if(!FileData) return 0;
  OwnsFileData = 1;
  PlayState = sMPS_STOPPED;
  return 1;
}

void sMusicPlayer::Install()
{
  sVERIFY(sMusicPlayerPtr==0);
  sMusicPlayerPtr = this;
  sSetSoundHandler(44100, sMusicRender, 44100, 0);
}

sBool sMusicPlayer::Start(sInt argument)
{
  sScopeLock lock(&Lock);
  if(PlayState != sMPS_EMPTY)
  {
    Position = 0;
    PlayState = Open(argument) ? sMPS_PLAYING : sMPS_EMPTY;
  }
  return PlayState == sMPS_PLAYING;
}

sBool sMusicPlayer::Render(sS16 *out, sInt frames, sInt volume)
{
  // volume applies to decoded-ahead data only, which the streaming player does not keep
  (void)volume;
  sScopeLock lock(&Lock);
  if(PlayState != sMPS_PLAYING)
  {
    std::memset(out, 0, size_t(frames) * 4);
    return 1;
  }
  while(frames > 0)
  {
    sInt n = Decode(out, frames);
    if(n <= 0)
    {
      // the end of the stream (or a fault): the rest of this buffer is silence, not what
      // the buffer held one round before
      PlayState = sMPS_STOPPED;
      std::memset(out, 0, size_t(frames) * 4);
      return 0;
    }
    if(n > frames) n = frames;
    Position += n;
    out += n * 2;
    frames -= n;
  }
  return 1;
}

/****************************************************************************/
/***   Ogg Vorbis                                                         ***/
/****************************************************************************/

sOggMusicPlayer::~sOggMusicPlayer()
{
  if(sMusicPlayerPtr == this)
  {
    // stop the mixing thread before the decoder goes
    sClearSoundHandler();
    sMusicPlayerPtr = nullptr;
  }
  Close();
}

sBool sOggMusicPlayer::Open(sInt argument)
{
  (void)argument;
  // called from outside as well as from Start: the mixing thread must not decode meanwhile
  sScopeLock lock(&Lock);
  Close();
  if(!FileData || FileSize == 0 || FileSize > 0x7fffffffu) return 0;
  int error = 0;
  Decoder = stb_vorbis_open_memory(FileData, int(FileSize), &error, nullptr);
  return Decoder != nullptr;
}

sInt sOggMusicPlayer::Decode(sS16 *out, sInt frames)
{
  // called from outside as well as from Render: one decode at a time moves the read position
  sScopeLock lock(&Lock);
  if(!Decoder) return 0;
  return stb_vorbis_get_samples_short_interleaved(Decoder, 2, out, frames * 2);
}

sInt sOggMusicPlayer::Length()
{
  // the count moves the decoder's read position to the stream's end and back: a decode on
  // the mixing thread in between would read the end and stop the music
  sScopeLock lock(&Lock);
  return Decoder ? sInt(stb_vorbis_stream_length_in_samples(Decoder)) : 0;
}

void sOggMusicPlayer::Close()
{
  sScopeLock lock(&Lock);
  if(Decoder) stb_vorbis_close(Decoder);
  Decoder = nullptr;
}
