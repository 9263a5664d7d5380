// Video sources over FFmpeg (libavformat, libavcodec, libswscale, libavdevice for V4L2).
#include "platform/media/media.hpp"
#include "platform/files/files.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/videodev2.h>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace plat
{
namespace
{
std::string ErrorText(int code)
{
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof(buf));
  return buf;
}

bool IsPlanar420(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

class FfmpegSource : public VideoSource
{
  AVFormatContext *Format = nullptr;
  AVCodecContext *Codec = nullptr;
  AVPacket *Packet = nullptr;
  AVFrame *Frame = nullptr;
  SwsContext *Scaler = nullptr;
  int Stream = -1;
  int Width = 0, Height = 0;
  int PixelFormat = AV_PIX_FMT_NONE;
  VideoLayout Layout = VideoLayout::YV12;
  bool LayoutSet = false;
  bool Draining = false;
  int64_t SkipUntilMs = -1;   // after a seek: frames that end before this are dropped
  int64_t FramesOut = 0;
  AVRational Rate = {0, 0};
  VideoStop Stop;
  File Input;                  // a movie file, read by the demuxer through Io
  AVIOContext *Io = nullptr;
  int64_t InputPosition = 0;
  bool Live = false;           // a device read without waiting for its pictures

  bool Stopped() const { return Stop && Stop(); }
  static int Interrupted(void *self) { return static_cast<FfmpegSource *>(self)->Stopped(); }

  static int ReadInput(void *self, uint8_t *buffer, int size)
  {
    FfmpegSource *s = static_cast<FfmpegSource *>(self);
    if(s->Stopped()) return AVERROR_EXIT;
    int64_t n = s->Input.ReadAt(buffer, uint64_t(size), uint64_t(s->InputPosition));
    if(n < 0) return AVERROR(EIO);
    if(n == 0) return AVERROR_EOF;
    s->InputPosition += n;
    return int(n);
  }

  static int64_t SeekInput(void *self, int64_t offset, int whence)
  {
    FfmpegSource *s = static_cast<FfmpegSource *>(self);
    int64_t size = s->Input.Size();
    switch(whence & ~AVSEEK_FORCE)
    {
    case AVSEEK_SIZE: return size < 0 ? AVERROR(EIO) : size;
    case SEEK_SET: break;
    case SEEK_CUR: offset += s->InputPosition; break;
    case SEEK_END:
      if(size < 0) return AVERROR(EIO);
      offset += size;
      break;
    default: return AVERROR(EINVAL);
    }
    if(offset < 0) return AVERROR(EINVAL);
    return s->InputPosition = offset;
  }

  // A format context that gives up its waits once the stop test says so.
  AVFormatContext *NewContext(VideoOpenError *error)
  {
    AVFormatContext *ctx = avformat_alloc_context();
    if(!ctx) *error = {1, AVERROR(ENOMEM), "out of memory"};
    else ctx->interrupt_callback = {Interrupted, this};
    return ctx;
  }

public:
  explicit FfmpegSource(VideoStop stop) : Stop(std::move(stop)) {}
  ~FfmpegSource() override
  {
    sws_freeContext(Scaler);
    av_frame_free(&Frame);
    av_packet_free(&Packet);
    avcodec_free_context(&Codec);
    avformat_close_input(&Format);
    if(Io) av_freep(&Io->buffer);
    avio_context_free(&Io);
  }

  // The demuxer reads the file through our own file, opened as every data file is: a name
  // that is no regular file (a FIFO would hold the open until a writer came) is refused.
  bool OpenFile(const std::string &path, VideoOpenError *error)
  {
    std::string why;
    if(!Input.Open(path.c_str(), kFileRead, &why))
    {
      *error = {1, Input.OpenError() ? AVERROR(Input.OpenError()) : -1, why};
      return false;
    }
    const int bufferSize = 1 << 16;
    uint8_t *buffer = static_cast<uint8_t *>(av_malloc(bufferSize));
    if(buffer) Io = avio_alloc_context(buffer, bufferSize, 0, this, ReadInput, nullptr, SeekInput);
    if(!Io)
    {
      av_free(buffer);
      *error = {1, AVERROR(ENOMEM), "out of memory"};
      return false;
    }
    AVFormatContext *ctx = NewContext(error);
    if(!ctx) return false;
    ctx->pb = Io;
    // the name still tells the demuxer the container by its extension
    int r = avformat_open_input(&ctx, path.c_str(), nullptr, nullptr);
    if(r < 0)
    {
      *error = {1, r, ErrorText(r)};
      return false;
    }
    return Init(ctx, error);
  }

  // A device is read without waiting for a picture, so that one that stops giving them
  // cannot hold its reader for ever; a read waits for the next in short sleeps instead.
  bool OpenDevice(const std::string &path, const AVInputFormat *input, AVDictionary **options, VideoOpenError *error)
  {
    AVFormatContext *ctx = NewContext(error);
    if(!ctx) return false;
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    Live = true;
    int r = avformat_open_input(&ctx, path.c_str(), input, options);
    if(r < 0)
    {
      *error = {1, r, ErrorText(r)};
      return false;
    }
    return Init(ctx, error);
  }

  // Takes over an opened format context.
  bool Init(AVFormatContext *format, VideoOpenError *error)
  {
    Format = format;
    int r = avformat_find_stream_info(Format, nullptr);
    if(r < 0)
    {
      *error = {1, r, ErrorText(r)};
      return false;
    }
    for(unsigned i = 0; i < Format->nb_streams; i++)
      if(Format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
      {
        Stream = int(i);
        break;
      }
    if(Stream < 0)
    {
      *error = {2, -1, "no video stream"};
      return false;
    }
    // only the video stream is read
    for(unsigned i = 0; i < Format->nb_streams; i++)
      if(int(i) != Stream) Format->streams[i]->discard = AVDISCARD_ALL;
    AVStream *st = Format->streams[Stream];
    Width = st->codecpar->width;
    Height = st->codecpar->height;
    PixelFormat = st->codecpar->format;
    Rate = av_guess_frame_rate(Format, st, nullptr);
    Packet = av_packet_alloc();
    Frame = av_frame_alloc();
    // a stream without a decoder stays open: no output layout will be found for it
    if(const AVCodec *dec = avcodec_find_decoder(st->codecpar->codec_id))
    {
      Codec = avcodec_alloc_context3(dec);
      if(Codec && avcodec_parameters_to_context(Codec, st->codecpar) >= 0)
      {
        Codec->thread_count = 0;
        if(avcodec_open2(Codec, dec, nullptr) < 0) avcodec_free_context(&Codec);
      }
      else
        avcodec_free_context(&Codec);
    }
    return true;
  }

  int GetWidth() const override { return Width; }
  int GetHeight() const override { return Height; }

  void GetPixelAspect(int *num, int *den) const override
  {
    AVRational a = av_guess_sample_aspect_ratio(Format, Format->streams[Stream], nullptr);
    *num = a.den ? a.num : 0;
    *den = a.num ? a.den : 0;
  }

  void GetFrameRate(int *num, int *den) const override
  {
    *num = Rate.num;
    *den = Rate.den;
  }

  double GetDuration() const override
  {
    if(Format->duration != AV_NOPTS_VALUE && Format->duration > 0) return double(Format->duration) / AV_TIME_BASE;
    AVStream *st = Format->streams[Stream];
    if(st->duration != AV_NOPTS_VALUE && st->duration > 0) return double(st->duration) * av_q2d(st->time_base);
    return 0;
  }

  int GetStride() const override
  {
    if(!LayoutSet) return 0;
    return Layout == VideoLayout::RGB32 ? Width * 4 : Layout == VideoLayout::YUY2 ? Width * 2 : Width;
  }

  bool SetOutput(VideoLayout layout) override
  {
    if(!Codec || Width <= 0 || Height <= 0 || PixelFormat == AV_PIX_FMT_NONE) return false;
    sws_freeContext(Scaler);
    Scaler = nullptr;
    LayoutSet = false;
    if(layout == VideoLayout::YV12 && ((Width | Height) & 1)) return false;
    if(layout == VideoLayout::YUY2 && (Width & 1)) return false;
    if(!(layout == VideoLayout::YV12 && IsPlanar420(PixelFormat)))
    {
      AVPixelFormat out = layout == VideoLayout::YV12    ? AV_PIX_FMT_YUV420P
                          : layout == VideoLayout::RGB32 ? AV_PIX_FMT_BGRA
                                                         : AV_PIX_FMT_YUYV422;
      Scaler = sws_getContext(Width, Height, AVPixelFormat(PixelFormat), Width, Height, out, SWS_POINT, nullptr,
                              nullptr, nullptr);
      if(!Scaler) return false;
    }
    Layout = layout;
    LayoutSet = true;
    return true;
  }

  // The decoded frame into the sample's layout.
  bool Convert(VideoSample &sample, std::string *error)
  {
    if(Frame->width != Width || Frame->height != Height || Frame->format != PixelFormat)
    {
      *error = "the picture changed its size or format";
      return false;
    }
    sample.Width = Width;
    sample.Height = Height;
    if(!Scaler)
    {
      // planar 4:2:0 as it came from the decoder: the sample holds a reference
      AVFrame *ref = av_frame_clone(Frame);
      if(!ref)
      {
        *error = "out of memory";
        return false;
      }
      sample.Keep = std::shared_ptr<void>(ref, [](void *f) {
        AVFrame *frame = static_cast<AVFrame *>(f);
        av_frame_free(&frame);
      });
      for(int p = 0; p < 3; p++)
      {
        sample.Plane[p] = ref->data[p];
        sample.Pitch[p] = ref->linesize[p];
      }
      return true;
    }
    int stride = GetStride();
    size_t size = size_t(stride) * size_t(Height);
    size_t total = Layout == VideoLayout::YV12 ? size + size / 2 : size;
    if(sample.Data.size() < total) sample.Data.resize(total);
    uint8_t *base = sample.Data.data();
    uint8_t *dst[4] = {base, nullptr, nullptr, nullptr};
    int lines[4] = {stride, 0, 0, 0};
    if(Layout == VideoLayout::YV12)
    {
      dst[1] = base + size;
      dst[2] = dst[1] + size / 4;
      lines[1] = lines[2] = stride / 2;
    }
    sws_scale(Scaler, Frame->data, Frame->linesize, 0, Height, dst, lines);
    for(int p = 0; p < 3; p++)
    {
      sample.Plane[p] = dst[p];
      sample.Pitch[p] = lines[p];
    }
    return true;
  }

  int64_t FrameTimeMs()
  {
    int64_t pts = Frame->best_effort_timestamp;
    AVStream *st = Format->streams[Stream];
    if(pts != AV_NOPTS_VALUE)
    {
      int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
      return av_rescale_q(pts - start, st->time_base, AVRational{1, 1000});
    }
    if(Rate.num > 0) return FramesOut * 1000 * Rate.den / Rate.num;
    return 0;
  }

  int64_t FrameLengthMs() const { return Rate.num > 0 ? int64_t(1000) * Rate.den / Rate.num : 0; }

  VideoRead Read(VideoSample &sample, std::string *error) override
  {
    sample.Keep.reset();
    sample.Plane[0] = sample.Plane[1] = sample.Plane[2] = nullptr;
    if(!LayoutSet)
    {
      *error = "no output layout";
      return VideoRead::Error;
    }
    for(;;)
    {
      if(Stopped())
      {
        *error = "stopped";
        return VideoRead::Error;
      }
      int r = avcodec_receive_frame(Codec, Frame);
      if(r == 0)
      {
        bool damaged = (Frame->flags & AV_FRAME_FLAG_CORRUPT) || Frame->decode_error_flags;
        int64_t t = FrameTimeMs();
        if(damaged)
        {
          av_frame_unref(Frame);
          *error = "corrupt frame";
          return VideoRead::Error;
        }
        // frames that end before the seek target are only decoded to reach it
        if(SkipUntilMs >= 0 && t + FrameLengthMs() <= SkipUntilMs)
        {
          av_frame_unref(Frame);
          continue;
        }
        SkipUntilMs = -1;
        bool ok = Convert(sample, error);
        av_frame_unref(Frame);
        if(!ok) return VideoRead::Error;
        sample.TimeMs = t;
        FramesOut++;
        return VideoRead::Ok;
      }
      if(r == AVERROR_EOF) return VideoRead::End;
      if(r != AVERROR(EAGAIN))
      {
        *error = ErrorText(r);
        return VideoRead::Error;
      }
      if(Draining) return VideoRead::End;
      r = av_read_frame(Format, Packet);
      if(r == AVERROR(EAGAIN) && Live)
      {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      if(r == AVERROR_EOF)
      {
        Draining = true;
        avcodec_send_packet(Codec, nullptr);
        continue;
      }
      if(r < 0)
      {
        *error = ErrorText(r);
        return VideoRead::Error;
      }
      if(Packet->stream_index != Stream)
      {
        av_packet_unref(Packet);
        continue;
      }
      r = avcodec_send_packet(Codec, Packet);
      av_packet_unref(Packet);
      if(r < 0 && r != AVERROR(EAGAIN))
      {
        *error = ErrorText(r);
        return VideoRead::Error;
      }
    }
  }

  bool Seek(double seconds) override
  {
    if(Stream < 0) return false;
    AVStream *st = Format->streams[Stream];
    int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t ts = start + av_rescale_q(int64_t(seconds * 1000.0), AVRational{1, 1000}, st->time_base);
    if(av_seek_frame(Format, Stream, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    if(Codec) avcodec_flush_buffers(Codec);
    Draining = false;
    SkipUntilMs = int64_t(seconds * 1000.0);
    return true;
  }
};

// The V4L2 devices of the machine, opened through libavdevice.
class V4l2Capture : public CaptureSystem
{
public:
  std::vector<CaptureDevice> ListDevices() override { return ListV4l2Devices(); }

  std::vector<CaptureFormat> ListFormats(const CaptureDevice &device) override
  {
    std::vector<CaptureFormat> out;
    int fd = open(device.Path.c_str(), O_RDWR | O_CLOEXEC);
    if(fd < 0) return out;
    v4l2_fmtdesc fmt = {};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for(fmt.index = 0; ioctl(fd, VIDIOC_ENUM_FMT, &fmt) == 0; fmt.index++)
    {
      v4l2_frmsizeenum size = {};
      size.pixel_format = fmt.pixelformat;
      for(size.index = 0; ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0 && size.type == V4L2_FRMSIZE_TYPE_DISCRETE;
          size.index++)
      {
        v4l2_frmivalenum ival = {};
        ival.pixel_format = fmt.pixelformat;
        ival.width = size.discrete.width;
        ival.height = size.discrete.height;
        for(ival.index = 0; ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) == 0 && ival.type == V4L2_FRMIVAL_TYPE_DISCRETE;
            ival.index++)
          if(ival.discrete.numerator > 0)
            out.push_back({int(size.discrete.width), int(size.discrete.height),
                           double(ival.discrete.denominator) / ival.discrete.numerator});
      }
    }
    close(fd);
    return out;
  }

  std::unique_ptr<VideoSource> Open(const CaptureDevice &device, const CaptureFormat &format,
                                    VideoOpenError *error, VideoStop stop) override
  {
    StartMedia();
    const AVInputFormat *input = av_find_input_format("video4linux2");
    if(!input)
    {
      *error = {1, -1, "no V4L2 input"};
      return nullptr;
    }
    AVDictionary *options = nullptr;
    if(format.Width > 0)
    {
      std::string size = std::to_string(format.Width) + "x" + std::to_string(format.Height);
      av_dict_set(&options, "video_size", size.c_str(), 0);
    }
    if(format.Fps > 0) av_dict_set(&options, "framerate", std::to_string(format.Fps).c_str(), 0);
    auto source = std::make_unique<FfmpegSource>(std::move(stop));
    bool opened = source->OpenDevice(device.Path, input, &options, error);
    av_dict_free(&options);
    if(!opened) return nullptr;
    return source;
  }
};

V4l2Capture MachineCapture;
std::atomic<CaptureSystem *> CurrentCapture{nullptr};
}

const char *VideoLayoutName(VideoLayout layout)
{
  switch(layout)
  {
  case VideoLayout::YV12: return "YV12";
  case VideoLayout::RGB32: return "RGB32";
  case VideoLayout::YUY2: return "YUY2";
  }
  return "?";
}

void StartMedia()
{
  static std::once_flag started;
  std::call_once(started, [] {
    av_log_set_level(AV_LOG_QUIET);
    avdevice_register_all();
  });
}

std::unique_ptr<VideoSource> OpenVideoFile(const std::string &path, VideoOpenError *error, VideoStop stop)
{
  StartMedia();
  auto source = std::make_unique<FfmpegSource>(std::move(stop));
  // the source owns what it opened, also when it fails
  if(!source->OpenFile(path, error)) return nullptr;
  return source;
}

CaptureSystem *GetCaptureSystem()
{
  CaptureSystem *c = CurrentCapture.load();
  return c ? c : &MachineCapture;
}

void SetCaptureSystem(CaptureSystem *system) { CurrentCapture = system; }

std::vector<CaptureDevice> ListV4l2Devices(const std::string &sysClass)
{
  std::vector<CaptureDevice> out;
  DIR *dir = opendir(sysClass.c_str());
  if(!dir) return out;
  while(dirent *e = readdir(dir))
  {
    if(e->d_name[0] == '.') continue;
    std::ifstream file(sysClass + "/" + e->d_name + "/name");
    std::string name;
    if(!file || !std::getline(file, name)) continue;
    out.push_back({name, std::string("/dev/") + e->d_name});
  }
  closedir(dir);
  std::sort(out.begin(), out.end(), [](const CaptureDevice &a, const CaptureDevice &b) { return a.Path < b.Path; });
  return out;
}

}
