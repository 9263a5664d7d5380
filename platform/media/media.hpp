#pragma once
// Video sources over FFmpeg: movie files and V4L2 capture devices, decoded frame by frame
// into one of three output layouts:
//   YV12   three planes: Y (Width x Height bytes), U and V (Width / 2 x Height / 2 bytes);
//          4:2:0 movies are handed on as the decoder made them, without a copy; other
//          pixel formats are converted. Width and height must be even.
//   RGB32  one plane of Width 32-bit pixels a row, bytes B, G, R, A (ARGB words here).
//   YUY2   one plane of Width / 2 groups Y0 U Y1 V a row.
// Frame times are milliseconds from the source's start.
//
// A source is used by one thread at a time. Capture devices come through a CaptureSystem,
// which a test may replace with one of its own that generates the pictures.
//
// The opens and the reads take a stop test from their user: once it answers true, an open
// or a read that waits (on the file, on a device that gives no picture) gives up at once.
// That is how a player being closed ends its reader.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat
{

enum class VideoLayout
{
  YV12,
  RGB32,
  YUY2,
};
const char *VideoLayoutName(VideoLayout layout);

// Why an open failed: Stage 1 the source could not be opened or read, 2 it has no video
// stream. Code is the library's (negative) error code or -1.
struct VideoOpenError
{
  int Stage = 0;
  int Code = 0;
  std::string Text;
};

struct VideoSample
{
  int Width = 0;
  int Height = 0;
  const uint8_t *Plane[3] = {};   // Y, U, V; RGB32 and YUY2 use the first only
  int Pitch[3] = {};              // bytes from one row of a plane to the next
  int64_t TimeMs = 0;
  std::vector<uint8_t> Data;      // the planes' memory when the source converted them
  std::shared_ptr<void> Keep;     // the decoder's picture, while the planes point into it
};

enum class VideoRead
{
  Ok,
  End,     // no more frames (never for a live source)
  Error,   // unreadable or corrupt data; Text of the error says what
};

class VideoSource
{
public:
  virtual ~VideoSource() = default;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  // Pixel aspect as a fraction; 0 / 0 when the source does not say.
  virtual void GetPixelAspect(int *num, int *den) const = 0;
  // Frames per second as a fraction; 0 / 0 when unknown.
  virtual void GetFrameRate(int *num, int *den) const = 0;
  // Seconds; 0 when unknown or live.
  virtual double GetDuration() const = 0;
  // Bytes from one row to the next of the output layout; 0 before SetOutput.
  virtual int GetStride() const = 0;
  // Chooses the layout of the samples; false when this source cannot deliver it.
  virtual bool SetOutput(VideoLayout layout) = 0;
  // Decodes the next frame into sample (what the sample held before is let go).
  virtual VideoRead Read(VideoSample &sample, std::string *error) = 0;
  // Moves to seconds: the next Read gives the frame showing at that time. False when the
  // source cannot seek.
  virtual bool Seek(double seconds) = 0;
};

// Readies the library for the process: the capture input formats registered, its own
// reports silenced (failures come back as results). Opening a source does it as well.
void StartMedia();

// Asked while an open or a read waits; true: give up.
using VideoStop = std::function<bool()>;

// Opens a movie file (UTF-8 path). Null, with the reason, when it cannot be opened or has
// no video stream. Only a regular file is opened: a FIFO or a device under a movie's name
// is refused without waiting for a writer.
std::unique_ptr<VideoSource> OpenVideoFile(const std::string &path, VideoOpenError *error, VideoStop stop = {});

struct CaptureDevice
{
  std::string Name;   // the name the device gives itself
  std::string Path;   // where it is opened
};

struct CaptureFormat
{
  int Width = 0;
  int Height = 0;
  double Fps = 0;
};

class CaptureSystem
{
public:
  virtual ~CaptureSystem() = default;
  virtual std::vector<CaptureDevice> ListDevices() = 0;
  virtual std::vector<CaptureFormat> ListFormats(const CaptureDevice &device) = 0;
  virtual std::unique_ptr<VideoSource> Open(const CaptureDevice &device, const CaptureFormat &format,
                                            VideoOpenError *error, VideoStop stop) = 0;
};

// The capture devices in use: the machine's V4L2 devices unless one was set. Tests set a
// system of their own and null to go back; set it while no source is being opened.
CaptureSystem *GetCaptureSystem();
void SetCaptureSystem(CaptureSystem *system);

// The V4L2 capture devices under a sysfs class folder (each entry's "name" file; the
// device is /dev/<entry>), sorted by entry.
std::vector<CaptureDevice> ListV4l2Devices(const std::string &sysClass = "/sys/class/video4linux");

}
