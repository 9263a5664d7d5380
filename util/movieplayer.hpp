#pragma once
// Movies and live video: the player interface sMoviePlayer and its implementation over
// the media layer, made by sOpenMoviePlayer from a file name or from "dev:" and a
// wildcard pattern matched against the names of the capture devices.
//
// A player opens its source on a thread of its own and then reads frames there, one
// ahead of what is shown. Its user polls it once per frame on the main thread: GetFrame
// advances the play clock, takes the decoded frame whose time has come, uploads its planes
// into textures and returns the material that draws it with its UV rectangle. Everything
// but the open and the reads (the textures, the material, drawing) is main-thread work.
// What the reader hands over (the pending frame, its time, the playing flag, a loop's
// seek) passes under the player's lock or through atomics.

#include "base/system.hpp"
#include "base/types.hpp"

#include <atomic>
#include <memory>
#include <vector>

namespace plat
{
class VideoSource;
struct VideoSample;
}
class sMaterial;
class sTexture2D;

// Width = Height = -1: the open failed; all 0: not known yet.
struct sMovieInfo
{
  sInt Width = 0;
  sInt Height = 0;
  sF32 Aspect = 0;     // display width / height
  sF32 Duration = 0;   // seconds
  sF32 Fps = 0;
};

enum : sU32
{
  sMOF_PAUSED = 2,      // open without playing
  sMOF_LOOP = 4,        // start again at the end
  sMOF_CAPTURE = 0x100, // set by the open for a capture device
};

class sMoviePlayer
{
public:
  virtual ~sMoviePlayer() = default;
  virtual void Seek(sF32 seconds);
  virtual void Play() = 0;
  virtual sBool IsPlaying() = 0;
  // Draws the current frame over the bound target: letter-boxed (fill 0) or covering it
  // (fill 1), keeping the movie's aspect against the screen's.
  virtual void Paint(sInt fill);
  virtual void Release() = 0;
  virtual void GetInfo(sMovieInfo &info);
  virtual sF32 GetPosition() = 0;
  virtual void Pause() = 0;
  virtual void SetAspect(sF32 aspect) = 0;
  // The material of the current frame and its UV rectangle (left, top, right, bottom), or
  // null while there is none.
  virtual sMaterial *GetFrame(sF32 *uvRect);
};

// The "MediaFoundation" subsystem (level 224): readies the media library for the process.
// sInstallMediaSubsystem fills in the registry entry's functions (once).
void sInitMediaFoundation();
void sExitMediaFoundation();
void sInstallMediaSubsystem();

// Opens a movie file or "dev:<pattern>" (flags sMOF_PAUSED, sMOF_LOOP); extra is not used.
// The caller owns the player and ends it with Release.
sMoviePlayer *sOpenMoviePlayer(const sChar *name, sU32 flags, sInt extra = 0);

enum : sInt
{
  sMOVIE_CLOSED = 0,
  ST_INITING = 1,
  sMOVIE_OPENED = 2,
  sMOVIE_FAILED = 3,
  sMOVIE_RUNNING = 4,
};

class sMoviePlayerMF : public sMoviePlayer
{
public:
  sF32 Rate = 1.0f;   // the play clock advances by elapsed time x Rate
  sU32 Flags = 0;
  std::atomic<sInt> State{sMOVIE_CLOSED};
  sThread *Thread = nullptr;   // opens the source, then reads frames
  sChar Name[sMAXPATH] = {};
  std::unique_ptr<plat::VideoSource> SourceReader;   // the open thread's, after the open
  sInt Subtype = 0;   // the output layout (plat::VideoLayout)
  std::atomic<sInt> Playing{0};
  sInt Width = 0, Height = 0;
  sF32 Aspect = 0, Duration = 0, Fps = 0;
  sInt Stride = 0;
  sMaterial *Material = nullptr;
  sF32 UV[4] = {0, 0, 1, 1};

  // handed from the reader thread to the main thread under Lock
  sThreadLock Lock;
  std::unique_ptr<plat::VideoSample> NextSample;
  sInt SampleTime = -1;   // -1 while a read is outstanding, 0 when it ended without a sample
  sBool ReadRequested = 0;
  sF32 SeekRequest = -1.0f;
  std::vector<std::unique_ptr<plat::VideoSample>> FreeSamples;
  sThreadEvent Wake;

  // the main thread's
  sInt ShownTime = -1;
  sU32 LastWall = 0;
  sInt Clock = 0;
  std::atomic<sF32> SeekTarget{-1.0f};   // also set by the reader when a loop ends

  sMoviePlayerMF() = default;
  ~sMoviePlayerMF() override;
  sBool Start(const sChar *name, sU32 flags);
  void Close();

  void Seek(sF32 seconds) override;
  void Play() override;
  sBool IsPlaying() override { return Playing.load(); }
  void Release() override;
  void GetInfo(sMovieInfo &info) override;
  sF32 GetPosition() override { return State == sMOVIE_RUNNING ? sF32(Clock) * 0.001f : 0.0f; }
  void Pause() override { Playing = 0; }
  void SetAspect(sF32 aspect) override { Aspect = aspect; }
  sMaterial *GetFrame(sF32 *uvRect) override;

  static void OpenThread(sThread *thread, void *user);
  // on the player's thread, which gives the open up when asked to end
  sBool Open(sThread *thread);
  void CreateTextures();
  void RequestSample();
  void FetchSample(const plat::VideoSample &sample);
  // a quarter of a frame period in ms; 0 for a source without a frame rate
  sInt QuarterFrame() const { return Fps > 0 ? sInt(250.0f / Fps) : 0; }
};
