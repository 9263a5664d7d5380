// The show's music file "Tarnglow.ogg": the song encoded as Ogg Vorbis (44,100 Hz,
// stereo), and beside it "Tarnglow_beats.txt" with the true beat and snare times, for tests and
// benchmarks that check the beat tracking against them.
#include "datagen.hpp"
#include "song.hpp"

#include "base/textbuffer.hpp"

#include <vorbis/vorbisenc.h>

#include <vector>

namespace datagen
{
namespace
{

void AppendPage(std::vector<sU8> &out, const ogg_page &page)
{
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

std::vector<sU8> EncodeSong()
{
  vorbis_info info;
  vorbis_info_init(&info);
  if(vorbis_encode_init_vbr(&info, 2, kSongRate, 0.4f) != 0)
    sFatal(u"datagen: the Vorbis encoder refused its settings\n");
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_comment_add_tag(&comment, "TITLE", "Tarnglow");
  vorbis_comment_add_tag(&comment, "COMMENT", "stand-in music, 126 BPM");
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  // a fixed serial number keeps the file the same from run to run
  ogg_stream_init(&stream, 0x54617267);

  std::vector<sU8> out;
  ogg_page page;
  ogg_packet header, commentHeader, codeHeader;
  vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &commentHeader);
  ogg_stream_packetin(&stream, &codeHeader);
  while(ogg_stream_flush(&stream, &page))
    AppendPage(out, page);

  auto drain = [&] {
    ogg_packet packet;
    while(vorbis_analysis_blockout(&dsp, &block) == 1)
    {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      while(vorbis_bitrate_flushpacket(&dsp, &packet))
      {
        ogg_stream_packetin(&stream, &packet);
        while(ogg_stream_pageout(&stream, &page))
          AppendPage(out, page);
      }
    }
  };

  const sInt chunk = 4096;
  std::vector<SongFrame> frames(chunk);
  for(sInt start = 0; start < kSongFrames; start += chunk)
  {
    sInt count = kSongFrames - start < chunk ? kSongFrames - start : chunk;
    RenderSong(start, count, frames.data());
    float **buffer = vorbis_analysis_buffer(&dsp, count);
    for(sInt i = 0; i < count; i++)
    {
      buffer[0][i] = frames[i].Left;
      buffer[1][i] = frames[i].Right;
    }
    vorbis_analysis_wrote(&dsp, count);
    drain();
  }
  vorbis_analysis_wrote(&dsp, 0);
  drain();
  while(ogg_stream_flush(&stream, &page))
    AppendPage(out, page);

  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

void Generate(Tree &tree)
{
  std::vector<sU8> ogg = EncodeSong();
  tree.WriteData(u"Tarnglow.ogg", ogg.data(), sDInt(ogg.size()));

  sTextBuffer beats;
  beats.PrintF(u"# Tarnglow.ogg: %d BPM, %d frames per second; one line per kick: beat, frame, and \"snare\"\n"
               u"# when a snare starts with the kick\n",
               kSongBpm, kSongRate);
  for(sInt b = 0; b < kSongBeats; b++)
    beats.PrintF(SnareOnBeat(b) ? u"%d %d snare\n" : u"%d %d\n", b, b * kBeatFrames);
  tree.WriteText(u"Tarnglow_beats.txt", beats.Get());
}

}   // namespace

DATAGEN_AREA("music", 200, Generate);

}   // namespace datagen
