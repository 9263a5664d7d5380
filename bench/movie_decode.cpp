// Decode-and-upload rate of the movie player on a 1080p movie, next to FFmpeg's own
// decode rate of the same file: the player reads on its thread while the main thread
// uploads the planes, so the ratio shows what the hand-over and the upload cost.
//   bench_movie_decode [frames]

#include "base/file.hpp"
#include "base/memory.hpp"
#include "common/gfx_window.hpp"
#include "common/movie_writer.hpp"
#include "common/temp_dir.hpp"
#include "graphics/graphics.hpp"
#include "platform/text/utf.hpp"
#include "util/movieplayer.hpp"

#include <SDL2/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Frames per second of plain libavcodec decoding the whole file.
double FfmpegDecodeRate(const std::string &path, int *frames)
{
  AVFormatContext *fmt = nullptr;
  if(avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0 || avformat_find_stream_info(fmt, nullptr) < 0) return 0;
  int stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec *codec = avcodec_find_decoder(fmt->streams[stream]->codecpar->codec_id);
  AVCodecContext *dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, fmt->streams[stream]->codecpar);
  dec->thread_count = 0;
  avcodec_open2(dec, codec, nullptr);
  AVPacket *pkt = av_packet_alloc();
  AVFrame *frame = av_frame_alloc();
  *frames = 0;
  Clock::time_point start = Clock::now();
  bool draining = false;
  for(;;)
  {
    int r = avcodec_receive_frame(dec, frame);
    if(r == 0)
    {
      ++*frames;
      continue;
    }
    if(r == AVERROR_EOF || (draining && r == AVERROR(EAGAIN))) break;
    if(av_read_frame(fmt, pkt) < 0)
    {
      draining = true;
      avcodec_send_packet(dec, nullptr);
      continue;
    }
    if(pkt->stream_index == stream) avcodec_send_packet(dec, pkt);
    av_packet_unref(pkt);
  }
  double rate = *frames / Seconds(start);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&dec);
  avformat_close_input(&fmt);
  return rate;
}
}

int main(int argc, char **argv)
{
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 150;
  const int W = 1920, H = 1080;
  sInitMemorySystem();
  sGetMemoryHandler(1)->MakeThreadSafe();
  sInitFileHandlers();
  sInitRootFileHandler();

  sparktest::TempDir dir;
  std::string path = dir.Name8("bench.mkv");
  std::printf("writing %d frames of %dx%d...\n", frames, W, H);
  if(!sparktest::WriteMovie(path, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, W, H, 25, frames,
                            [](int f, int x, int y) { return sparktest::PatternPixel(f, (x + f * 8) % W, y, W, H); }))
  {
    std::fprintf(stderr, "could not write the movie\n");
    return 1;
  }
  SDL_Window *window = OpenGfxWindow("bench", 320, 180);
  if(!window) return 1;

  // the best of three runs each, taken in turns, so that a busy machine hurts both alike
  int reference = 0, shown = 0;
  double ffmpeg = 0, ours = 0;
  for(int run = 0; run < 3; run++)
  {
    ffmpeg = std::max(ffmpeg, FfmpegDecodeRate(path, &reference));
    auto *player = static_cast<sMoviePlayerMF *>(sOpenMoviePlayer(plat::ToUtf16(path).c_str(), 0));
    while(player->State == ST_INITING) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sF32 uv[4];
    player->GetFrame(uv);
    player->Rate = 1e6f;   // every decoded frame is due at once
    shown = 0;
    sInt lastTime = -1;
    Clock::time_point start = Clock::now();
    while(player->IsPlaying())
    {
      player->GetFrame(uv);
      if(player->ShownTime != lastTime && player->ShownTime >= 0)
      {
        shown++;
        lastTime = player->ShownTime;
      }
      else
        std::this_thread::sleep_for(std::chrono::microseconds(100));   // leave the cores to the decoder
    }
    ours = std::max(ours, shown / Seconds(start));
    player->Release();
  }
  CloseGfxWindow(window);

  std::printf("FFmpeg decode:            %4d frames, %7.1f fps\n", reference, ffmpeg);
  std::printf("player decode and upload: %4d frames, %7.1f fps\n", shown, ours);
  std::printf("ratio: %.2f\n", ffmpeg > 0 ? ours / ffmpeg : 0.0);
  sExitFileHandlers();
  return 0;
}
