// The movie player over movies written in the test with libavcodec, drawn through the
// graphics device and read back: the bars must come out in their colours after the YUV
// conversion, and the blocks tell which frame is shown.
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/movie_writer.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "graphics/render_fixture.hpp"
#include "platform/media/media.hpp"
#include "util/movieplayer.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace
{
// the second is RGB: the media layer converts it to planar YUV
struct MovieCase
{
  const char *File;
  int Fps, Frames;
  AVCodecID Codec;
  AVPixelFormat Format;
};
const MovieCase Movies[] = {{"a25.avi", 25, 40, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P}, {"b30.mkv", 30, 45, AV_CODEC_ID_FFV1, AV_PIX_FMT_BGR0}};
void PrintTo(const MovieCase &m, std::ostream *os) { *os << m.File; }

class MoviePlayerTest : public RenderTest
{
public:
  static inline sparktest::TempDir *Dir = nullptr;
  static void SetUpTestSuite()
  {
    RenderTest::SetUpTestSuite();
    Dir = new sparktest::TempDir;
    for(const MovieCase &m : Movies)
      ASSERT_TRUE(sparktest::WriteMovie(Dir->Name8(m.File), m.Codec, m.Format, W, H, m.Fps, m.Frames,
                                        [](int f, int x, int y) { return sparktest::PatternPixel(f, x, y, W, H); }));
  }
  static void TearDownTestSuite() { delete Dir, RenderTest::TearDownTestSuite(); }
  // Opens a movie of the folder (or a device name) and waits for the open to end.
  static sMoviePlayerMF *Open(const std::u16string &name, sU32 flags = 0)
  {
    auto *p = static_cast<sMoviePlayerMF *>(sOpenMoviePlayer(name.c_str(), flags));
    sparktest::WaitFor([&] { return p->State != ST_INITING; });
    return p;
  }
  // Draws one frame of the player: the frame number shown, -1 when the bars are not right.
  static int Show(sMoviePlayer *p)
  {
    BeginFrame();
    p->Paint(0);   // the movie and the screen have the same aspect: it covers the screen
    std::vector<sU32> px = EndFrame();
    for(int b = 0; b < 4; b++)
      if(ColorDiff(px[12 * W + 8 + 16 * b], sparktest::PatternBars[b]) > 24) return -1;
    int n = 0;
    for(int b = 0; b < 8; b++) n |= (ChG(px[36 * W + 4 + 8 * b]) > 128) << b;
    return n;
  }
  // Shows frames until the player takes its next picture (after an open or a seek).
  static int ShowNext(sMoviePlayerMF *p)
  {
    int n = -1;
    // bounded by the clock, not a count of frames: a busy machine opens slowly
    sparktest::WaitFor([&] { return (p->ShownTime >= 0 && p->SeekTarget < 0) || (n = Show(p), false); });
    return p->ShownTime < 0 ? -2 : n;
  }
};

class MoviePlay : public MoviePlayerTest, public testing::WithParamInterface<MovieCase> {};

TEST_P(MoviePlay, PlaysPausesSeeksAndEnds)
{
  const MovieCase m = GetParam();
  sMoviePlayerMF *p = Open(Dir->Name(m.File), sMOF_PAUSED);
  sMovieInfo info;
  p->GetInfo(info);
  ASSERT_TRUE(p->State == sMOVIE_OPENED && info.Width == 0) << "nothing is reported before the first frame";
  EXPECT_EQ(ShowNext(p), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(Show(p) == 0 && !p->IsPlaying()) << "opened paused";
  p->Play();
  p->GetInfo(info);
  EXPECT_TRUE(info.Width == W && info.Height == H && info.Aspect == sF32(W) / H && info.Fps == sF32(m.Fps));
  EXPECT_NEAR(info.Duration, sF32(m.Frames) / m.Fps, 0.1f);
  // playing: the pictures follow in order
  for(int n = 0, last = 0; n < 6; last = n) ASSERT_GE(n = Show(p), last);
  p->Pause();
  sF32 at = p->GetPosition();
  int paused = -1;   // frames already due at the pause still come, one a call, until the picture is at the clock
  for(int i = 0, n; i < 100 && (n = Show(p)) != paused; i++) paused = n, std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(Show(p) == paused && p->GetPosition() == at);
  // the right picture within one frame; a time before the start is the start
  for(auto [at, target] : {std::pair{m.Frames / 2 + 0.5f, m.Frames / 2}, {3.5f, 3}, {-50.0f, 0}, {m.Frames - 1.5f, m.Frames - 2}})
  {
    p->Seek(at / m.Fps);
    EXPECT_NEAR(ShowNext(p), target, 1) << "seek to " << target;
    EXPECT_TRUE(p->IsPlaying());
  }
  // to the end: the last picture stays
  for(int i = 0; i < 5000 && p->IsPlaying(); i++) Show(p);
  EXPECT_TRUE(!p->IsPlaying() && Show(p) == m.Frames - 1);
  // Play on a stopped movie goes on; on a playing one it starts again from the start
  p->Play();
  p->Play();
  EXPECT_LE(ShowNext(p), 1);
  p->Release();
}

INSTANTIATE_TEST_SUITE_P(Containers, MoviePlay, testing::ValuesIn(Movies),
                         [](const testing::TestParamInfo<MovieCase> &i) { return "fps" + std::to_string(i.param.Fps); });

TEST_F(MoviePlayerTest, BrokenFilesAreRefusedCleanly)
{
  const std::vector<uint8_t> movie = sparktest::ReadFile<std::vector<uint8_t>>(Dir->Name8(Movies[1].File));
  sparktest::WriteFile(Dir->Name8("garbage.avi"), std::vector<uint8_t>(4000, 0x5a));
  const char wav[] = "RIFF(\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x44\xac\0\0\x88\x58\1\0\2\0\x10\0data\4\0\0\0\1\0\2\0";
  sparktest::WriteFile(Dir->Name8("tone.wav"), std::vector<uint8_t>(wav, wav + sizeof(wav) - 1));   // sound, no picture
  ASSERT_EQ(mkfifo(Dir->Name8("fifo.avi").c_str(), 0600), 0);   // nobody writes to it
  const char *opening = "can't open source reader for ", *noVideo = "no video stream found in ";
  for(auto [file, log] : {std::pair{"missing.avi", opening}, {"garbage.avi", opening}, {"tone.wav", noVideo}, {"fifo.avi", opening}})
  {
    sparktest::Watchdog watch(std::string("opening and closing ") + file);
    sparktest::DebugCapture out;
    sMoviePlayerMF *p = Open(Dir->Name(file));
    sMovieInfo info;
    sF32 uv[4];
    p->GetInfo(info);
    EXPECT_TRUE(!p->GetFrame(uv) && !p->IsPlaying()) << file;
    p->Release();
    EXPECT_TRUE(info.Width == -1 && info.Height == -1) << file;
    EXPECT_NE(out.Text().find(std::string(log) + Dir->Name8(file)), std::string::npos) << out.Text();
  }
  // a cut movie plays what it has, then stops; mutated ones never upset the player
  sparktest::Mutator rnd(19);
  for(int round = 0; round < 31; round++)
  {
    std::vector<uint8_t> bytes(movie.begin(), movie.begin() + (round ? movie.size() : movie.size() / 2));
    for(int k = round ? 1 + int(rnd.Next() % 12) : 0; k > 0; k--) bytes[rnd.Next() % bytes.size()] = uint8_t(rnd.Next());
    if(round % 5 == 4) bytes.resize(rnd.Next() % bytes.size());
    sparktest::WriteFile(Dir->Name8("cut.mkv"), bytes);
    sMoviePlayerMF *p = Open(Dir->Name("cut.mkv"));
    p->Rate = 20.0f;
    int shown = -1;
    for(int i = 0; i < 5000 && p->State != sMOVIE_FAILED && p->IsPlaying(); i++) shown = std::max(shown, Show(p));
    EXPECT_TRUE(p->State == sMOVIE_FAILED || p->State == sMOVIE_RUNNING);
    EXPECT_TRUE(round || (p->State == sMOVIE_RUNNING && !p->IsPlaying() && shown > 10 && shown < 40)) << shown;
    p->Release();
  }
  // movies that go on into a hole of a terabyte, which a reader would search for hours: one
  // searched by the open, one read ahead into after its pictures; a player closed
  // meanwhile ends its reader at once, and that is no failure of the movie
  for(auto [file, codec] : {std::pair{"hole.mpg", AV_CODEC_ID_MPEG1VIDEO}, {"hole.avi", AV_CODEC_ID_MPEG4}})
  {
    sparktest::Watchdog watch(std::string("closing a player that reads ") + file);
    ASSERT_TRUE(sparktest::WriteMovie(Dir->Name8(file), codec, AV_PIX_FMT_YUV420P, W, H, 25, 10,
                                      [](int f, int x, int y) { return sparktest::PatternPixel(f, x, y, W, H); }));
    ASSERT_EQ(truncate(Dir->Name8(file).c_str(), int64_t(1) << 40), 0);
    sparktest::DebugCapture out;
    auto *p = static_cast<sMoviePlayerMF *>(sOpenMoviePlayer(Dir->Name(file).c_str(), 0));
    // opened, its reader reads ahead on its own: into the hole once the ten pictures are read
    // (whether one is shown first is a race with that reading)
    if(codec == AV_CODEC_ID_MPEG4)
    {
      sparktest::WaitFor([&] { return p->State != ST_INITING; });
      EXPECT_EQ(p->State, sMOVIE_OPENED);
    }
    p->Release();
    EXPECT_EQ(out.Text().find("cannot be played"), std::string::npos) << out.Text();
    unlink(Dir->Name8(file).c_str());
  }
  // an operator tapping movie after movie: a player started again or closed before its
  // reader has begun ends that reader quietly, and the last start plays
  for(int round = 0; round < 200; round++)
  {
    auto *p = static_cast<sMoviePlayerMF *>(sOpenMoviePlayer(Dir->Name(Movies[round % 2].File).c_str(), 0));
    p->Start(Dir->Name(Movies[(round + 1) % 2].File).c_str(), 0);
    if(round == 199)
    {
      sparktest::WaitFor([&] { return p->State != ST_INITING; });
      EXPECT_EQ(p->State, sMOVIE_OPENED);
    }
    p->Release();
  }
}

}
