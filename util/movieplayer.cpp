// The movie player over the media layer: the open and the reads on the player's thread,
// the clock, the textures and the drawing on the main thread.
#include "util/movieplayer.hpp"
#include "base/app.hpp"
#include "base/numbers.hpp"
#include "graphics/graphics.hpp"
#include "graphics/materials.hpp"
#include "platform/media/media.hpp"
#include "platform/text/utf.hpp"

#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>

namespace
{
// A movie or device that cannot be played is told to the operator once per name (the
// schedule and the previews try the same file again and again); the details stay on "movie".
void TellUnplayable(const sChar *name, const std::u16string &why)
{
  static std::mutex lock;
  static std::set<std::u16string> told;
  {
    std::lock_guard<std::mutex> guard(lock);
    if(!told.insert(name).second) return;
  }
  sLogF(u"sys", u"movie %s cannot be played: %s\n", name, why.c_str());
}

const plat::VideoLayout OutputLayouts[3] = {plat::VideoLayout::YV12, plat::VideoLayout::RGB32,
                                            plat::VideoLayout::YUY2};

// the planes of video black
void FillTexture(sTexture2D *tex, sU8 value)
{
  sU8 *data = nullptr;
  sInt pitch = 0;
  tex->BeginLoad(data, pitch);
  for(sInt y = 0; y < tex->SizeY; y++) std::memset(data + sDInt(y) * pitch, value, size_t(pitch));
  tex->EndLoad();
}

// Copies rows of a plane into a texture; every row must lie inside the source.
void CopyPlane(sTexture2D *tex, const sU8 *src, sInt srcStride, sInt rowBytes, sInt rows)
{
  sU8 *data = nullptr;
  sInt pitch = 0;
  tex->BeginLoad(data, pitch);
  if(pitch == srcStride && pitch == rowBytes) std::memcpy(data, src, size_t(rowBytes) * size_t(rows));
  else
    for(sInt y = 0; y < rows; y++) std::memcpy(data + sDInt(y) * pitch, src + sDInt(y) * srcStride, size_t(rowBytes));
  tex->EndLoad();
}

std::u16string Wide(const std::string &s) { return plat::ToUtf16(s); }
}

/****************************************************************************/
/***   Interface defaults                                                 ***/
/****************************************************************************/

// A player without these cannot be driven at all: using it is a fault of its user.
void sMoviePlayer::Seek(sF32) { sFatalAtLine("util/movieplayer", __LINE__); }
sMaterial *sMoviePlayer::GetFrame(sF32 *) { sFatalAtLine("util/movieplayer", __LINE__); }

void sMoviePlayer::GetInfo(sMovieInfo &info) { info = sMovieInfo(); }

void sMoviePlayer::Paint(sInt fill)
{
  sF32 uv[4];
  sMaterial *mtrl = GetFrame(uv);
  if(!mtrl) return;
  sMovieInfo info;
  GetInfo(info);
  sF32 screen = sGetScreenAspect();
  sF32 s = screen > 0 && info.Aspect > 0 ? info.Aspect / screen : 1.0f;
  sF32 w, h;
  if((s > 1) == (fill == 0))
  {
    w = 1;
    h = 1 / s;
  }
  else
  {
    w = s;
    h = 1;
  }
  struct Vertex
  {
    sF32 x, y, z;
    sU32 c;
    sF32 u, v;
  };
  const sF32 x0 = (1 - w) / 2, x1 = (1 + w) / 2, y0 = (1 - h) / 2, y1 = (1 + h) / 2;
  const Vertex quad[4] = {{x0, y0, 0.01f, 0xffffffff, uv[0], uv[1]},
                          {x1, y0, 0.01f, 0xffffffff, uv[2], uv[1]},
                          {x0, y1, 0.01f, 0xffffffff, uv[0], uv[3]},
                          {x1, y1, 0.01f, 0xffffffff, uv[2], uv[3]}};
  const sU16 index[6] = {0, 1, 2, 3, 2, 1};

  sViewport view;
  view.Orthogonal = sVO_UNIT;
  view.SetTarget(nullptr);
  view.Prepare(15);
  sCBuffer cb(sCBUFFER_VS + 0, 0, sVIEWCONSTANTS_REGS);
  sSetViewConstants(static_cast<sViewConstants *>(cb.Data), view);
  cb.Modify();
  sCBufferBase *cbs[1] = {&cb};
  mtrl->Set(cbs, 1, 0);
  sGeometry geo(sGF_TRILIST | sGF_INDEX16, sVertexFormatPosColUV);
  void *vp = nullptr;
  void *ip = nullptr;
  geo.BeginLoad(sVertexFormatPosColUV, sGF_TRILIST | sGF_INDEX16, sGD_STREAM, 4, 6, &vp, &ip);
  std::memcpy(vp, quad, sizeof(quad));
  std::memcpy(ip, index, sizeof(index));
  geo.EndLoad();
  geo.Draw();
}

/****************************************************************************/
/***   Subsystem, factory, start and close                                ***/
/****************************************************************************/

// The main thread keeps its priority: raising it needs rights a show machine does not have.
void sInitMediaFoundation() { plat::StartMedia(); }
// FFmpeg keeps nothing for the process that would have to be given back at the end.
void sExitMediaFoundation() {}

void sInstallMediaSubsystem()
{
  static bool installed = false;
  if(installed) return;
  installed = true;
  sSetSubsystemFunctions(u"MediaFoundation", sInitMediaFoundation, sExitMediaFoundation);
}

sMoviePlayer *sOpenMoviePlayer(const sChar *name, sU32 flags, sInt extra)
{
  (void)extra;
  sMoviePlayerMF *player = sNEW sMoviePlayerMF;
  if(!player->Start(name, flags))
  {
    sDelete(player);
    return nullptr;
  }
  return player;
}

sMoviePlayerMF::~sMoviePlayerMF() { Close(); }

void sMoviePlayerMF::Release()
{
  sMoviePlayerMF *self = this;
  sDelete(self);
}

sBool sMoviePlayerMF::Start(const sChar *name, sU32 flags)
{
  Close();
  sCopyString(Name, name ? name : u"");
  Flags = flags;
  State = ST_INITING;
  LastWall = 0;
  SeekTarget = -1.0f;
  Playing = (flags & sMOF_PAUSED) ? 0 : 1;
  Thread = sNEW sThread(OpenThread, -1, 0, this, u"MovieReader");
  return 1;
}

void sMoviePlayerMF::Close()
{
  State = sMOVIE_CLOSED;
  Playing = 0;
  if(Thread)
  {
    Thread->Terminate();
    Wake.Signal();
    sDELETE(Thread);
  }
  // the thread may have finished its open meanwhile
  State = sMOVIE_CLOSED;
  {
    sScopeLock lock(&Lock);
    NextSample.reset();
    FreeSamples.clear();
    ReadRequested = 0;
    SeekRequest = -1.0f;
    SampleTime = -1;
  }
  SourceReader.reset();
  if(Material)
  {
    for(sInt i = 0; i < 4; i++) sDelete(Material->Texture[i]);
    sDELETE(Material);
  }
}

/****************************************************************************/
/***   The player's thread                                                ***/
/****************************************************************************/

void sMoviePlayerMF::OpenThread(sThread *thread, void *user)
{
  sMoviePlayerMF *p = static_cast<sMoviePlayerMF *>(user);
  // a player closed (or started again) before its thread ran has nothing left to open
  if(p->State != ST_INITING || thread->CheckTerminate()) return;
  if(!p->Open(thread))
  {
    p->SourceReader.reset();
    // a movie that cannot be shown does not claim to play
    p->Playing = 0;
    p->State = sMOVIE_FAILED;
    return;
  }
  p->State = sMOVIE_OPENED;

  // The reader answers each request with a frame. Between requests it decodes up to eight
  // frames ahead (as many as a decoder keeps its threads busy with; the frames are shared
  // with the decoder, not copied), so a request of a playing movie is answered at once
  // while the main thread uploads. Live sources are read on request only, so that what
  // is shown is as fresh as it can be.
  struct Decoded
  {
    std::unique_ptr<plat::VideoSample> Sample;
    plat::VideoRead Result;
    std::string Error;
  };
  std::deque<Decoded> ahead;
  sBool more = 1;   // the last read found a frame: there is more to read ahead
  const size_t aheadFrames = (p->Flags & sMOF_CAPTURE) ? 0 : 8;
  auto decode = [&] {
    Decoded d;
    {
      sScopeLock lock(&p->Lock);
      if(!p->FreeSamples.empty())
      {
        d.Sample = std::move(p->FreeSamples.back());
        p->FreeSamples.pop_back();
      }
    }
    if(!d.Sample) d.Sample = std::make_unique<plat::VideoSample>();
    d.Result = p->SourceReader->Read(*d.Sample, &d.Error);
    more = d.Result == plat::VideoRead::Ok;
    ahead.push_back(std::move(d));
  };
  while(!thread->CheckTerminate())
  {
    sBool read = 0;
    sF32 seek = -1.0f;
    {
      sScopeLock lock(&p->Lock);
      read = p->ReadRequested;
      seek = p->SeekRequest;
      p->ReadRequested = 0;
      p->SeekRequest = -1.0f;
      if(seek >= 0)
      {
        for(Decoded &d : ahead) p->FreeSamples.push_back(std::move(d.Sample));
        ahead.clear();
      }
    }
    if(seek >= 0)
    {
      if(!p->SourceReader->Seek(seek)) sLogF(u"movie", u"can't seek in %s\n", p->Name);
      more = 1;
    }
    if(!read)
    {
      if(more && ahead.size() < aheadFrames) decode();
      else p->Wake.Wait(-1);
      continue;
    }
    if(ahead.empty()) decode();
    if(thread->CheckTerminate()) break;   // the read was given up for the close
    Decoded d = std::move(ahead.front());
    ahead.pop_front();

    sScopeLock lock(&p->Lock);
    if(d.Result == plat::VideoRead::Ok)
    {
      sS64 ms = d.Sample->TimeMs;
      p->SampleTime = ms < 0 ? 0 : ms > 0x7fffffff ? 0x7fffffff : sInt(ms);
      p->NextSample = std::move(d.Sample);
      continue;
    }
    p->FreeSamples.push_back(std::move(d.Sample));
    p->SampleTime = 0;
    if(d.Result == plat::VideoRead::End)
    {
      if(p->Flags & sMOF_CAPTURE) continue;
      if(p->Flags & sMOF_LOOP)
      {
        p->SeekTarget = 0.0f;
        continue;
      }
    }
    else
      sLogF(u"movie", u"can't read %s (%s)\n", p->Name, Wide(d.Error).c_str());
    p->Playing = 0;
  }
}

namespace
{
// The first capture device whose name matches the pattern; false when there is none.
bool FindCaptureDevice(const sChar *pattern, plat::CaptureDevice &found)
{
  for(const plat::CaptureDevice &d : plat::GetCaptureSystem()->ListDevices())
  {
    std::u16string name = Wide(d.Name);
    if(name.size() > 255) name.resize(255);
    if(sMatchWildcard(name.c_str(), pattern, 0))
    {
      found = d;
      return true;
    }
  }
  return false;
}

// The tallest format of at least 20 frames per second; among equal heights the first.
plat::CaptureFormat SelectCaptureFormat(const plat::CaptureDevice &device)
{
  plat::CaptureFormat taken;
  sInt takenIndex = -1;
  std::vector<plat::CaptureFormat> formats = plat::GetCaptureSystem()->ListFormats(device);
  for(sInt i = 0; i < sInt(formats.size()); i++)
  {
    const plat::CaptureFormat &f = formats[size_t(i)];
    sLogF(u"movie", u"video-in nr:%d, w:%d, h:%d, fps:%f\n", i, f.Width, f.Height, sF32(f.Fps));
    if(f.Fps >= 20.0 && (takenIndex < 0 || f.Height > taken.Height))
    {
      taken = f;
      takenIndex = i;
    }
  }
  if(takenIndex >= 0)
    sLogF(u"movie", u"taken video-in nr:%d, w:%d, h:%d, fps:%f\n", takenIndex, taken.Width, taken.Height,
          sF32(taken.Fps));
  return taken;
}
}

sBool sMoviePlayerMF::Open(sThread *thread)
{
  // Close asks the thread to end: an open or a read that waits (a file or device that
  // gives nothing) then gives up, so that closing a player never waits on its reader.
  plat::VideoStop stop = [thread] { return thread->CheckTerminate() != 0; };
  plat::VideoOpenError error;
  if(sMatchWildcard(Name, u"dev:*", 0))
  {
    Flags = (Flags & ~sU32(sMOF_LOOP)) | sMOF_CAPTURE;
    plat::CaptureDevice device;
    if(!FindCaptureDevice(Name + 4, device)) error = {1, sS32(0x80004005), "no such device"};
    else SourceReader = plat::GetCaptureSystem()->Open(device, SelectCaptureFormat(device), &error, stop);
  }
  else
    SourceReader = plat::OpenVideoFile(plat::ToUtf8(Name), &error, stop);
  // an open given up for the close is no failure of the movie
  if(thread->CheckTerminate()) return 0;
  if(!SourceReader)
  {
    if(error.Stage == 2) sLogF(u"movie", u"no video stream found in %s (%08x)\n", Name, sU32(error.Code));
    else sLogF(u"movie", u"can't open source reader for %s (%08x)\n", Name, sU32(error.Code));
    TellUnplayable(Name, error.Text.empty() ? std::u16string(u"it cannot be opened") : plat::ToUtf16(error.Text));
    return 0;
  }

  sLogF(u"movie", u"opening %s\n", Name);
  sInt chosen = -1;
  for(sInt i = 0; i < 3 && chosen < 0; i++)
    if(SourceReader->SetOutput(OutputLayouts[i])) chosen = i;
  if(chosen < 0)
  {
    sLogF(u"movie", u"can't find suitable format for %s (%08x)\n", Name, sU32(0x80004005));
    TellUnplayable(Name, u"its pictures come in no format the show can draw");
    return 0;
  }
  Subtype = sInt(OutputLayouts[chosen]);

  Width = SourceReader->GetWidth();
  Height = SourceReader->GetHeight();
  sInt an = 0, ad = 0;
  SourceReader->GetPixelAspect(&an, &ad);
  if(an <= 0 || ad <= 0) an = ad = 1;
  Aspect = Height > 0 ? sF32(sF64(an) * Width / (sF64(ad) * Height)) : 1.0f;
  sInt fn = 0, fd = 0;
  SourceReader->GetFrameRate(&fn, &fd);
  Fps = fd > 0 ? sF32(fn) / sF32(fd) : 0.0f;
  Stride = SourceReader->GetStride();
  Duration = (Flags & sMOF_CAPTURE) ? 100.0f : sF32(SourceReader->GetDuration());
  Rate = 1.0f;
  std::u16string layoutName = Wide(plat::VideoLayoutName(OutputLayouts[chosen]));
  sLogF(u"movie", u"- %s, %dx%d at %f fps, %f seconds\n", layoutName.c_str(), Width, Height, Fps, Duration);
  return 1;
}

/****************************************************************************/
/***   Main thread: textures, clock, upload                               ***/
/****************************************************************************/

void sMoviePlayerMF::CreateTextures()
{
  const sU32 plane = sTEX_2D | sTEX_I8 | sTEX_DYNAMIC | sTEX_NOMIPMAPS;
  plat::VideoLayout layout = plat::VideoLayout(Subtype);
  if(Width > 0 && Height > 0)
  {
    if(layout == plat::VideoLayout::RGB32)
    {
      sSimpleMaterial *m = sNEW sSimpleMaterial;
      m->Texture[0] = sNEW sTexture2D(Width, Height, sTEX_2D | sTEX_ARGB8888 | sTEX_DYNAMIC | sTEX_NOMIPMAPS, 1);
      FillTexture(static_cast<sTexture2D *>(m->Texture[0]), 0);
      m->Option = 16384;
      Material = m;
    }
    else
    {
      sInt ch = layout == plat::VideoLayout::YV12 ? Height / 2 : Height;
      sYuvMaterial *m = sNEW sYuvMaterial;
      m->Texture[0] = sNEW sTexture2D(Width, Height, plane, 1);
      m->Texture[1] = sNEW sTexture2D(Width / 2, ch, plane, 1);
      m->Texture[2] = sNEW sTexture2D(Width / 2, ch, plane, 1);
      FillTexture(static_cast<sTexture2D *>(m->Texture[0]), 16);
      FillTexture(static_cast<sTexture2D *>(m->Texture[1]), 128);
      FillTexture(static_cast<sTexture2D *>(m->Texture[2]), 128);
      m->S.BlendColor = 0x60105;
      Material = m;
    }
    // drawn as a flat layer over whatever the target holds
    Material->S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
    for(sInt i = 0; i < 3; i++)
      if(Material->Texture[i]) Material->S.TextureFlags[i] = 0x11000010;
    Material->Prepare(sVertexFormatPosColUV);
  }
  State = sMOVIE_RUNNING;
  ShownTime = -1;
  RequestSample();
  Clock = QuarterFrame();
}

void sMoviePlayerMF::RequestSample()
{
  {
    sScopeLock lock(&Lock);
    if(NextSample) FreeSamples.push_back(std::move(NextSample));
    SampleTime = -1;
    ReadRequested = 1;
  }
  Wake.Signal();
}

void sMoviePlayerMF::FetchSample(const plat::VideoSample &sample)
{
  if(!Material) return;
  sTexture2D *tex[3] = {static_cast<sTexture2D *>(Material->Texture[0]), static_cast<sTexture2D *>(Material->Texture[1]),
                        static_cast<sTexture2D *>(Material->Texture[2])};
  const plat::VideoLayout layout = plat::VideoLayout(Subtype);
  const sInt planes = layout == plat::VideoLayout::YV12 ? 3 : 1;
  const sInt rowBytes[3] = {layout == plat::VideoLayout::RGB32 ? Width * 4 : layout == plat::VideoLayout::YUY2 ? Width * 2 : Width,
                            Width / 2, Width / 2};
  // a frame whose planes do not fit what the textures were made for is not shown
  sBool fits = sample.Width == Width && sample.Height == Height;
  for(sInt i = 0; i < planes; i++) fits = fits && sample.Plane[i] && sample.Pitch[i] >= rowBytes[i];
  if(!fits)
  {
    sLogF(u"movie", u"frame of %s refused: its planes do not fit %dx%d\n", Name, Width, Height);
    Playing = 0;
    return;
  }
  switch(layout)
  {
  case plat::VideoLayout::RGB32:
    CopyPlane(tex[0], sample.Plane[0], sample.Pitch[0], rowBytes[0], Height);
    break;
  case plat::VideoLayout::YV12:
    for(sInt i = 0; i < 3; i++) CopyPlane(tex[i], sample.Plane[i], sample.Pitch[i], rowBytes[i], i ? Height / 2 : Height);
    break;
  case plat::VideoLayout::YUY2:
  {
    sU8 *d[3];
    sInt pitch[3];
    for(sInt i = 0; i < 3; i++) tex[i]->BeginLoad(d[i], pitch[i]);
    for(sInt y = 0; y < Height; y++)
    {
      const sU8 *row = sample.Plane[0] + sDInt(y) * sample.Pitch[0];
      sU8 *dy = d[0] + sDInt(y) * pitch[0];
      sU8 *du = d[1] + sDInt(y) * pitch[1];
      sU8 *dv = d[2] + sDInt(y) * pitch[2];
      for(sInt x = 0; x < Width; x++) dy[x] = row[2 * x];
      for(sInt x = 0; x < Width / 2; x++)
      {
        du[x] = row[4 * x + 1];
        dv[x] = row[4 * x + 3];
      }
    }
    for(sInt i = 0; i < 3; i++) tex[i]->EndLoad();
    break;
  }
  }
  UV[0] = 0;
  UV[1] = 0;
  UV[2] = sF32(Width) / sF32(tex[0]->SizeX);
  UV[3] = sF32(Height) / sF32(tex[0]->SizeY);
}

sMaterial *sMoviePlayerMF::GetFrame(sF32 *uvRect)
{
  sInt state = State;
  if(state == sMOVIE_CLOSED || state == ST_INITING || state == sMOVIE_FAILED) return nullptr;
  if(state == sMOVIE_OPENED) CreateTextures();
  sVERIFY(SourceReader);

  sU32 now = sGetTime();
  if(LastWall == 0) LastWall = sGetTime();

  // a seek waits while a read is outstanding, as the reader cannot take it then
  sF32 target = SeekTarget;
  if(target >= 0)
  {
    Clock = sInt(target * 1000.0f);
    sBool taken = 0;
    {
      sScopeLock lock(&Lock);
      if(SampleTime != -1)
      {
        SeekRequest = target;
        taken = 1;
      }
    }
    if(taken)
    {
      ShownTime = -1;
      RequestSample();
      LastWall = 0;
      SeekTarget = -1.0f;
    }
  }

  std::unique_ptr<plat::VideoSample> sample;
  sBool request = 0;
  sInt sampleTime = 0;
  {
    sScopeLock lock(&Lock);
    sampleTime = SampleTime;
    if(NextSample && (SampleTime <= Clock || ShownTime < 0)) sample = std::move(NextSample);
    else if(!NextSample && SampleTime >= 0 && SeekTarget < 0) request = 1;
  }
  if(sample)
  {
    if(ShownTime < 0) Clock = sampleTime + QuarterFrame();
    FetchSample(*sample);
    ShownTime = sampleTime;
    sample->Keep.reset();   // the decoder may have its picture back
    {
      sScopeLock lock(&Lock);
      FreeSamples.push_back(std::move(sample));
    }
    if(SeekTarget < 0) RequestSample();
  }
  else if(request)
    RequestSample();

  if(Playing && ShownTime >= 0)
  {
    if(Rate == 1.0f) Clock += sInt(now - LastWall);
    else Clock = sInt(sF32(Clock) + sF32(sInt(now - LastWall)) * Rate);
  }
  LastWall = now;
  if(Clock < 1) Clock = 1;
  for(sInt i = 0; i < 4; i++) uvRect[i] = UV[i];
  return Material;
}

/****************************************************************************/
/***   Control                                                            ***/
/****************************************************************************/

void sMoviePlayerMF::Play()
{
  if(Playing.exchange(1)) Seek(0);
}

void sMoviePlayerMF::Seek(sF32 t)
{
  SeekTarget = t >= Duration ? Duration : t > 0 ? t : 0.0f;
  Playing = 1;
}

void sMoviePlayerMF::GetInfo(sMovieInfo &info)
{
  info = sMovieInfo();
  sInt state = State;
  if(state == sMOVIE_RUNNING)
  {
    info.Width = Width;
    info.Height = Height;
    info.Aspect = Aspect;
    info.Duration = Duration;
    info.Fps = Fps;
  }
  else if(state == sMOVIE_FAILED)
    info.Width = info.Height = -1;
}
