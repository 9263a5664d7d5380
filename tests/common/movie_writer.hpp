#pragma once
// Writes movies with libavcodec for the media tests and the bench. The test pattern (64 x 48
// or larger): four colour bars over the top half, the frame number in eight black or white
// blocks (lowest bit first) over the bottom half.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sparktest
{
inline const uint32_t PatternBars[4] = {0xc82828, 0x28c828, 0x2828c8, 0xdcc83c};

inline uint32_t PatternPixel(int frame, int x, int y, int w, int h)
{
  if(y < h / 2) return PatternBars[x * 4 / w];
  return ((frame >> (x * 8 / w)) & 1) ? 0xebebeb : 0x101010;
}

// Encodes frames pictures of w x h at fps; the container follows the file's extension.
// pixel gives the 0xRRGGBB colour of each pixel; the stream starts startFrame frames after
// time 0. False when anything failed.
inline bool WriteMovie(const std::string &path, AVCodecID codecId, AVPixelFormat pixFmt, int w, int h, int fps,
                       int frames, const std::function<uint32_t(int frame, int x, int y)> &pixel, int startFrame = 0)
{
  AVFormatContext *fmt = nullptr;
  if(avformat_alloc_output_context2(&fmt, nullptr, nullptr, path.c_str()) < 0) return false;
  const AVCodec *codec = avcodec_find_encoder(codecId);
  AVCodecContext *enc = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVStream *st = avformat_new_stream(fmt, nullptr);
  bool ok = enc && st;
  if(ok)
  {
    enc->width = w, enc->height = h, enc->pix_fmt = pixFmt, enc->gop_size = 12;
    enc->time_base = st->time_base = {1, fps}, enc->framerate = {fps, 1};
    enc->flags |= AV_CODEC_FLAG_QSCALE | ((fmt->oformat->flags & AVFMT_GLOBALHEADER) ? AV_CODEC_FLAG_GLOBAL_HEADER : 0);
    enc->global_quality = FF_QP2LAMBDA * 2;   // near lossless: the pattern survives
    ok = avcodec_open2(enc, codec, nullptr) >= 0 && avcodec_parameters_from_context(st->codecpar, enc) >= 0 &&
         avio_open(&fmt->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(fmt, nullptr) >= 0;
  }
  SwsContext *sws = sws_getContext(w, h, AV_PIX_FMT_RGB24, w, h, pixFmt, SWS_POINT, nullptr, nullptr, nullptr);
  AVFrame *frame = av_frame_alloc();
  AVPacket *pkt = av_packet_alloc();
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  frame->format = pixFmt, frame->width = w, frame->height = h;
  ok = ok && sws && av_frame_get_buffer(frame, 0) >= 0;
  for(int i = 0; ok && i <= frames; i++)   // the last pass drains the encoder
  {
    for(int p = 0; i < frames && p < w * h; p++)
    {
      uint32_t c = pixel(i, p % w, p / w);
      rgb[size_t(p) * 3] = uint8_t(c >> 16), rgb[size_t(p) * 3 + 1] = uint8_t(c >> 8), rgb[size_t(p) * 3 + 2] = uint8_t(c);
    }
    const uint8_t *src[1] = {rgb.data()};
    const int srcStride[1] = {w * 3};
    frame->pts = startFrame + i;
    ok = i == frames || (av_frame_make_writable(frame) >= 0 && sws_scale(sws, src, srcStride, 0, h, frame->data, frame->linesize) == h);
    ok = ok && avcodec_send_frame(enc, i < frames ? frame : nullptr) >= 0;
    while(ok && avcodec_receive_packet(enc, pkt) == 0)
    {
      av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
      pkt->stream_index = st->index;
      ok = av_interleaved_write_frame(fmt, pkt) >= 0;
    }
  }
  ok = ok && av_write_trailer(fmt) >= 0;
  av_packet_free(&pkt);
  av_frame_free(&frame);
  sws_freeContext(sws);
  avcodec_free_context(&enc);
  if(fmt->pb) avio_closep(&fmt->pb);
  avformat_free_context(fmt);
  return ok;
}
}
