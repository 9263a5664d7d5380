#include "recorder.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace plat::gpu;

namespace
{
std::string Hex(sU32 v)
{
  char buf[12];
  snprintf(buf, sizeof(buf), "%x", v);
  return buf;
}

size_t LevelSize(uint32_t fmt, uint32_t w, uint32_t h)
{
  Format f = Format(fmt);
  int pitch = FormatPitch(f, int(w < 1 ? 1 : w));
  int rows = FormatRows(f, int(h < 1 ? 1 : h));
  if(pitch <= 0) pitch = int(w) * 4;   // depth and other formats the layer does not size
  if(rows <= 0) rows = int(h);
  return size_t(pitch) * size_t(rows);
}

int PitchOf(uint32_t fmt, uint32_t w)
{
  int p = FormatPitch(Format(fmt), int(w < 1 ? 1 : w));
  return p > 0 ? p : int(w) * 4;
}
}

RecDevice::RecDevice(const PresentParameters &pp) : PP(pp)
{
  BackBuffer = MakeSurface(pp.BackBufferWidth, pp.BackBufferHeight, pp.BackBufferFormat, USAGE_RENDERTARGET, true);
}

RecDevice::~RecDevice()
{
  for(RecRes *r : All) delete r;
}

RecRes *RecDevice::Make(const std::string &kind)
{
  RecRes *r = new RecRes;
  r->Kind = kind;
  r->Id = NextId++;
  All.push_back(r);
  return r;
}

RecRes *RecDevice::MakeSurface(uint32_t w, uint32_t h, uint32_t fmt, uint32_t usage, bool withData)
{
  RecRes *r = Make("surf");
  r->W = w;
  r->H = h;
  r->Fmt = fmt;
  r->Usage = usage;
  if(withData) r->Data.emplace_back(LevelSize(fmt, w, h));
  return r;
}

int RecDevice::Live(const std::string &kind) const
{
  int n = 0;
  for(RecRes *r : All)
    if(r->Refs > 0 && r->Kind == kind && r != BackBuffer) n++;
  return n;
}

std::vector<std::string> RecDevice::Lines(const std::string &prefix) const
{
  std::vector<std::string> out;
  for(const std::string &l : Log)
    if(l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  return out;
}

void RecDevice::Release(sGpuRes *res)
{
  RecRes *r = R(res);
  if(r->Refs <= 0) Note("ERROR released too often " + Name(res));
  r->Refs--;
}

sS32 RecDevice::Reset(PresentParameters &pp)
{
  int alive = 0;
  for(RecRes *r : All)
    if(r->Refs > 0 && r != BackBuffer && r->Pool == POOL_DEFAULT &&
       (r->Kind == "tex" || r->Kind == "vb" || r->Kind == "ib" || (r->Kind == "surf" && !r->Parent && r->Usage)))
      alive++;
  if(alive) return ERR_INVALIDCALL;
  PP = pp;
  BackBuffer->W = pp.BackBufferWidth;
  BackBuffer->H = pp.BackBufferHeight;
  BackBuffer->Data.assign(1, std::vector<uint8_t>(LevelSize(BackBuffer->Fmt, BackBuffer->W, BackBuffer->H)));
  Lost = false;
  return RES_OK;
}

sS32 RecDevice::Present()
{
  Note("Present");
  if(LoseAtPresent)
  {
    LoseAtPresent = false;
    Lost = true;
    return ERR_DEVICELOST;
  }
  return Lost ? ERR_DEVICELOST : RES_OK;
}

sS32 RecDevice::GetBackBuffer(sU32, sGpuRes **out)
{
  BackBuffer->Refs++;
  *out = H(BackBuffer);
  return RES_OK;
}

sS32 RecDevice::CreateTexture(sU32 w, sU32 h, sU32 levels, sU32 usage, Format fmt, Pool pool, sGpuRes **out)
{
  RecRes *r = Make("tex");
  r->W = w;
  r->H = h;
  r->Usage = usage;
  r->Fmt = fmt;
  r->Pool = pool;
  if(levels == 0)
  {
    levels = 1;
    while((w >> levels) > 0 || (h >> levels) > 0) levels++;
  }
  r->Levels = levels;
  for(uint32_t i = 0; i < levels; i++) r->Data.emplace_back(LevelSize(fmt, w >> i, h >> i));
  *out = H(r);
  return RES_OK;
}

sS32 RecDevice::GetSurfaceLevel(sGpuRes *tex, sU32 level, sGpuRes **out)
{
  RecRes *t = R(tex);
  for(RecRes *r : All)
  {
    if(r->Refs > 0 && r->Parent == t && r->Level == level)
    {
      r->Refs++;
      *out = H(r);
      return RES_OK;
    }
  }
  RecRes *s = Make("surf");
  s->Parent = t;
  s->Level = level;
  s->W = std::max(1u, t->W >> level);
  s->H = std::max(1u, t->H >> level);
  s->Fmt = t->Fmt;
  s->Usage = t->Usage;
  s->Pool = t->Pool;
  *out = H(s);
  return RES_OK;
}

sS32 RecDevice::LockTexture(sGpuRes *tex, sU32 level, LockedRect &lr, sU32 flags)
{
  RecRes *t = R(tex);
  if(level >= t->Data.size()) return ERR_INVALIDCALL;
  Note("LockTexture " + Name(tex) + " level " + std::to_string(level) + " flags " + Hex(flags));
  lr.Bits = t->Data[level].data();
  lr.Pitch = PitchOf(t->Fmt, std::max(1u, t->W >> level));
  return RES_OK;
}

sS32 RecDevice::CreateRenderTarget(sU32 w, sU32 h, Format fmt, MultiSampleType ms, sU32 quality, sBool,
                                   sGpuRes **out)
{
  RecRes *r = MakeSurface(w, h, fmt, USAGE_RENDERTARGET, true);
  r->MS = ms;
  if(ms != MULTISAMPLE_NONE && quality >= 4) return ERR_INVALIDCALL;
  *out = H(r);
  return RES_OK;
}

sS32 RecDevice::CreateDepthStencilSurface(sU32 w, sU32 h, Format fmt, MultiSampleType ms, sU32 quality, sBool,
                                          sGpuRes **out)
{
  RecRes *r = MakeSurface(w, h, fmt, USAGE_DEPTHSTENCIL, false);
  r->MS = ms;
  if(ms != MULTISAMPLE_NONE && quality >= 4) return ERR_INVALIDCALL;
  *out = H(r);
  return RES_OK;
}

sS32 RecDevice::CreateOffscreenPlainSurface(sU32 w, sU32 h, Format fmt, Pool pool, sGpuRes **out)
{
  RecRes *r = MakeSurface(w, h, fmt, 0, true);
  r->Pool = pool;
  *out = H(r);
  return RES_OK;
}

sS32 RecDevice::GetSurfaceDesc(sGpuRes *surf, SurfaceDesc &desc)
{
  RecRes *r = R(surf);
  std::memset(&desc, 0, sizeof(desc));
  desc.Fmt = Format(r->Fmt);
  desc.Width = r->W;
  desc.Height = r->H;
  desc.MultiSample = MultiSampleType(r->MS);
  desc.Usage = r->Usage;
  return RES_OK;
}

sS32 RecDevice::LockSurface(sGpuRes *surf, LockedRect &lr, sU32)
{
  RecRes *r = R(surf);
  std::vector<uint8_t> *data = r->Parent ? &r->Parent->Data[r->Level] : r->Data.empty() ? nullptr : &r->Data[0];
  if(!data) return ERR_INVALIDCALL;
  lr.Bits = data->data();
  lr.Pitch = PitchOf(r->Fmt, r->W);
  return RES_OK;
}

sS32 RecDevice::LoadSurfaceFromPixels(sGpuRes *surf, const void *pixels, Format srcFmt, sU32 pitch, sU32 w, sU32 h,
                                      sBool dither)
{
  RecRes *r = R(surf);
  std::vector<uint32_t> px(size_t(w) * h);
  for(uint32_t y = 0; y < h; y++)
    std::memcpy(&px[size_t(y) * w], static_cast<const uint8_t *>(pixels) + size_t(y) * pitch, w * 4);
  if(srcFmt == FMT_X8R8G8B8)
    for(uint32_t &p : px) p |= 0xff000000u;
  return EncodeBlocks(Format(r->Fmt), px.data(), int(w), int(h), int(w), dither != 0, r->Data[0].data()) ? RES_OK
                                                                                                         : ERR_INVALIDCALL;
}

sS32 RecDevice::CreateVertexBuffer(sU32 length, sU32 usage, Pool pool, sGpuRes **out)
{
  RecRes *r = Make("vb");
  r->W = length;
  r->Usage = usage;
  r->Pool = pool;
  r->Data.emplace_back(length);
  *out = H(r);
  return RES_OK;
}

sS32 RecDevice::CreateIndexBuffer(sU32 length, sU32 usage, Format fmt, Pool pool, sGpuRes **out)
{
  RecRes *r = Make("ib");
  r->W = length;
  r->Usage = usage;
  r->Fmt = fmt;
  r->Pool = pool;
  r->Data.emplace_back(length);
  *out = H(r);
  return RES_OK;
}

sS32 RecDevice::LockBuffer(sGpuRes *buf, sU32 offset, sU32, void **data, sU32 flags)
{
  Note("LockBuffer " + Name(buf) + " flags " + Hex(flags));
  *data = R(buf)->Data[0].data() + offset;
  return RES_OK;
}


sS32 RecApi::GetAdapterIdentifier(sU32, AdapterIdentifier &id)
{
  std::memset(&id, 0, sizeof(id));
  std::strcpy(id.Description, "Recording device");
  return RES_OK;
}

sS32 RecApi::EnumAdapterModes(sU32, Format, sU32 mode, DisplayMode &out)
{
  out = mode == 0 ? DisplayMode{800, 600, 60, FMT_X8R8G8B8} : DisplayMode{1920, 1080, 60, FMT_X8R8G8B8};
  return RES_OK;
}

sS32 RecApi::GetAdapterDisplayMode(sU32, DisplayMode &out)
{
  out = DisplayMode{1920, 1080, 60, FMT_X8R8G8B8};
  return RES_OK;
}

sS32 RecApi::CheckDeviceMultiSampleType(sU32, DeviceType, Format, sBool, MultiSampleType, sU32 *levels)
{
  if(levels) *levels = 4;
  return RES_OK;
}

sS32 RecApi::GetDeviceCaps(sU32, DeviceType type, Caps &caps)
{
  std::memset(&caps, 0, sizeof(caps));
  caps.Type = type;
  caps.DevCaps = DEVCAPS_HWTRANSFORMANDLIGHT;
  caps.TextureFilterCaps = PTFILTERCAPS_MAGFANISOTROPIC | PTFILTERCAPS_MINFANISOTROPIC;
  caps.MaxAnisotropy = 16;
  caps.MaxTextureWidth = caps.MaxTextureHeight = 8192;
  caps.MaxSimultaneousRTs = 4;
  caps.MaxStreams = 4;
  caps.VertexShaderVersion = 0xfffe0300u;
  caps.PixelShaderVersion = 0xffff0300u;
  caps.NumberOfAdaptersInGroup = Group;
  return RES_OK;
}

sS32 RecApi::CreateDevice(sU32, DeviceType, SDL_Window *, sU32, PresentParameters &pp, sGpuDevice **out)
{
  Device = new RecDevice(pp);
  *out = Device;
  return RES_OK;
}
