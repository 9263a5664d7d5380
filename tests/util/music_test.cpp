// The music player through SDL's disk audio driver: what reaches the sound output is
// compared with stb_vorbis's own decode of the same file.
#include "base/sound.hpp"
#include "common/check.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "util/musicplayer.hpp"

#include <gtest/gtest.h>
#include <vorbis/vorbisenc.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <chrono>
#include <cstring>
#include <cmath>
#include <thread>

namespace
{
// Encodes seconds of a stereo chord (different in each channel) at 44,100 Hz.
std::vector<uint8_t> MakeOgg(float seconds)
{
  std::vector<uint8_t> out;
  vorbis_info vi;
  vorbis_comment vc;
  vorbis_dsp_state vd;
  vorbis_block vb;
  ogg_stream_state os;
  ogg_page page;
  ogg_packet op, comments, codebooks;
  vorbis_info_init(&vi), vorbis_comment_init(&vc), vorbis_encode_init_vbr(&vi, 2, 44100, 0.4f);
  vorbis_analysis_init(&vd, &vi), vorbis_block_init(&vd, &vb), ogg_stream_init(&os, 1234);
  vorbis_analysis_headerout(&vd, &vc, &op, &comments, &codebooks);
  for(ogg_packet *p : {&op, &comments, &codebooks}) ogg_stream_packetin(&os, p);
  auto put = [&](int (*take)(ogg_stream_state *, ogg_page *)) {
    while(take(&os, &page))
      for(auto [data, size] : {std::pair{page.header, page.header_len}, {page.body, page.body_len}}) out.insert(out.end(), data, data + size);
  };
  put(ogg_stream_flush);
  for(int done = 0, total = int(seconds * 44100), n; done <= total; done += std::max(n, 1))
  {
    n = std::min(1024, total - done);
    float **buf = n > 0 ? vorbis_analysis_buffer(&vd, n) : nullptr;
    for(int i = 0; i < n; i++)
    {
      float t = float(done + i) / 44100.0f;
      buf[0][i] = 0.4f * std::sin(6.2831853f * 440.0f * t) + 0.2f * std::sin(6.2831853f * 660.0f * t);
      buf[1][i] = 0.5f * std::sin(6.2831853f * 330.0f * t);
    }
    vorbis_analysis_wrote(&vd, std::max(n, 0));
    while(vorbis_analysis_blockout(&vd, &vb) == 1)   // each block flushed before the next
    {
      vorbis_analysis(&vb, nullptr), vorbis_bitrate_addblock(&vb);
      while(vorbis_bitrate_flushpacket(&vd, &op)) ogg_stream_packetin(&os, &op), put(ogg_stream_pageout);
    }
  }
  put(ogg_stream_flush);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb), vorbis_dsp_clear(&vd), vorbis_comment_clear(&vc), vorbis_info_clear(&vi);
  return out;
}

// SDL's disk driver writes the output to a file in real time.
class MusicTest : public testing::Test
{
protected:
  sparktest::TempDir Dir;
  std::string Raw = Dir.Name8("out.raw");
  std::string OldDriver = getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "";
  void SetUp() override { setenv("SDL_AUDIODRIVER", "disk", 1), setenv("SDL_DISKAUDIOFILE", Raw.c_str(), 1), sInitSound(); }
  void TearDown() override { sExitSound(), setenv("SDL_AUDIODRIVER", OldDriver.c_str(), 1); }
  // The output's stereo samples once it wrote at least frames frames (the frame clock ticks).
  // Plays until the output holds at least frames, and, with a player, until the player has
  // stopped and a further second has been written after that: on a loaded machine the music
  // can begin seconds into the output, so the frames alone may end the wait too early.
  std::vector<sS16> PlayFor(sInt frames, sOggMusicPlayer *until = nullptr)
  {
    size_t need = size_t(frames) * 4;
    for(int i = 0; i < 12000 && (until || sparktest::ReadFile<std::vector<uint8_t>>(Raw).size() < need); i++)
    {
      sSoundClock(), std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if(until && until->PlayState == sMPS_STOPPED)
      {
        need = std::max(need, sparktest::ReadFile<std::vector<uint8_t>>(Raw).size() + 44100 * 4);
        until = nullptr;
      }
    }
    sClearSoundHandler();
    std::vector<uint8_t> bytes = sparktest::ReadFile<std::vector<uint8_t>>(Raw);
    std::vector<sS16> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
  }
};

TEST_F(MusicTest, PlaysTheFileSampleForSampleThenSilence)
{
  std::vector<uint8_t> ogg = MakeOgg(1.5f);
  sparktest::WriteFile(Dir.Name8("music.ogg"), ogg);
  int channels = 0, rate = 0;
  short *decoded = nullptr;
  int frames = stb_vorbis_decode_memory(ogg.data(), int(ogg.size()), &channels, &rate, &decoded);
  ASSERT_TRUE(frames > 44100 && channels == 2);
  std::vector<sS16> ref(decoded, decoded + size_t(frames) * 2);
  free(decoded);
  sOggMusicPlayer player;
  ASSERT_TRUE(player.Load(Dir.Name("music.ogg").c_str()) && player.PlayState == sMPS_STOPPED);
  player.Install();
  ASSERT_TRUE(player.Start(0) && player.Length() == frames);
  // one second of silence leads the buffer, then the music, then a second of silence
  std::vector<sS16> out = PlayFor(44100 + frames + 44100, &player);
  EXPECT_TRUE(player.PlayState == sMPS_STOPPED && player.Position == frames);
  // the music starts where the output first matches the decode's opening
  size_t start = 0;
  while(start + 4000 <= out.size() && !std::equal(ref.begin(), ref.begin() + 4000, out.begin() + start)) start += 2;
  ASSERT_LE(start + ref.size(), out.size()) << "the whole music was not found in the output";
  EXPECT_EQ(std::count(out.begin(), out.begin() + start, 0), start) << "silence before the music";
  EXPECT_TRUE(std::equal(ref.begin(), ref.end(), out.begin() + start)) << "sample for sample";
  EXPECT_EQ(std::count(out.begin() + start + ref.size(), out.end(), 0), out.size() - start - ref.size()) << "silence after";
}

TEST_F(MusicTest, MissingOrCorruptFilesGiveSilenceAndStateEmpty)
{
  std::vector<uint8_t> ogg = MakeOgg(0.5f), corrupt = ogg;
  for(size_t i = 0; i < 64; i++) corrupt[i] ^= 0x5A;   // the stream header
  sparktest::WriteFile(Dir.Name8("corrupt.ogg"), corrupt);
  for(auto [file, loads] : {std::pair{"missing.ogg", 0}, {"corrupt.ogg", 1}})
  {
    sOggMusicPlayer player;
    EXPECT_EQ(player.Load(Dir.Name(file).c_str()), loads) << file;
    player.Install();
    EXPECT_TRUE(!player.Start(0) && player.PlayState == sMPS_EMPTY) << file;
    std::vector<sS16> out = PlayFor(44100 + 4096);
    EXPECT_TRUE(out.size() > 44100 * 2 && std::count(out.begin(), out.end(), 0) == sDInt(out.size())) << file;
  }
}

// Loading while the music plays closes the decoder over the old data: rendering on gives
// silence, never freed memory, whether the new file loads or not.
TEST(MusicReload, LoadingWhilePlayingEndsTheOldStream)
{
  sparktest::TempDir dir;
  sparktest::WriteFile(dir.Name8("music.ogg"), MakeOgg(0.5f));
  std::vector<sS16> out(2048);
  sOggMusicPlayer player;
  for(auto [file, loads] : {std::pair{"music.ogg", 1}, {"missing.ogg", 0}})
  {
    ASSERT_TRUE(player.Load(dir.Name("music.ogg").c_str()) && player.Start(0) && player.Render(out.data(), 1024, 256));
    EXPECT_EQ(player.Load(dir.Name(file).c_str()), loads) << file;
    std::fill(out.begin(), out.end(), sS16(1));
    player.Render(out.data(), 1024, 256);
    EXPECT_TRUE(player.Length() == 0 && player.PlayState == sMPS_STOPPED && std::count(out.begin(), out.end(), 0) == 2048) << file;
  }
}

TEST(MusicPlayerDeath, SecondActivePlayerIsFatal)
{
  EXPECT_DEATH({ sOggMusicPlayer a; sOggMusicPlayer b; a.Install(); b.Install(); }, "Expression: sMusicPlayerPtr==0");
}
}
