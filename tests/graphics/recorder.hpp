#pragma once
// A stand-in graphics device without GL: it keeps resources in memory, takes every format,
// and records frames, bindings, locks and draws as lines of text, so that tests can check
// what the back end sends.

#include "graphics/gpudevice.hpp"

#include <string>
#include <vector>

struct RecRes
{
  int Refs = 1;
  std::string Kind;                          // "tex", "surf", "vb", "ib", "decl", "vs", "ps", "query"
  int Id = 0;
  uint32_t W = 0, H = 0, Levels = 0, Usage = 0, Fmt = 0, Pool = 0, MS = 0;
  std::vector<std::vector<uint8_t>> Data;    // per level (surfaces and buffers: one)
  RecRes *Parent = nullptr;                  // surface of a texture level
  uint32_t Level = 0;
};

class RecDevice : public sGpuDevice
{
public:
  std::vector<std::string> Log;
  std::vector<RecRes *> All;
  bool Lost = false;
  bool LoseAtPresent = false;
  int NextId = 1;
  plat::gpu::PresentParameters PP;
  RecRes *BackBuffer = nullptr;

  explicit RecDevice(const plat::gpu::PresentParameters &pp);
  ~RecDevice() override;
  RecRes *R(sGpuRes *r) { return reinterpret_cast<RecRes *>(r); }
  sGpuRes *H(RecRes *r) { return reinterpret_cast<sGpuRes *>(r); }
  RecRes *Make(const std::string &kind);
  RecRes *MakeSurface(uint32_t w, uint32_t h, uint32_t fmt, uint32_t usage, bool withData);
  // Resources alive (references above 0) of one kind.
  int Live(const std::string &kind) const;
  // Lines of the log that start with the prefix.
  std::vector<std::string> Lines(const std::string &prefix) const;
  void Note(const std::string &s) { Log.push_back(s); }
  sS32 Logged(const std::string &s) { return Note(s), plat::gpu::RES_OK; }
  sS32 Made(const std::string &kind, sGpuRes **out) { return *out = H(Make(kind)), plat::gpu::RES_OK; }
  std::string Name(sGpuRes *r) { return r ? R(r)->Kind + std::to_string(R(r)->Id) : std::string("null"); }

  void AddRef(sGpuRes *res) override { R(res)->Refs++; }
  void Release(sGpuRes *res) override;
  sS32 TestCooperativeLevel() override { return Lost ? plat::gpu::ERR_DEVICENOTRESET : plat::gpu::RES_OK; }
  sS32 Reset(plat::gpu::PresentParameters &pp) override;
  sS32 Present() override;
  sS32 GetBackBuffer(sU32 swapChain, sGpuRes **out) override;
  sS32 BeginScene() override { return plat::gpu::RES_OK; }
  sS32 EndScene() override { return Logged("EndScene"); }
  void InjectLostDevice() override { LoseAtPresent = true; }
  sS32 CreateTexture(sU32 w, sU32 h, sU32 levels, sU32 usage, plat::gpu::Format fmt, plat::gpu::Pool pool,
                     sGpuRes **out) override;
  sS32 GetSurfaceLevel(sGpuRes *tex, sU32 level, sGpuRes **out) override;
  sS32 LockTexture(sGpuRes *tex, sU32 level, plat::gpu::LockedRect &lr, sU32 flags) override;
  sS32 SetAutoGenFilterType(sGpuRes *tex, sU32 filter) override
  {
    return Logged("SetAutoGenFilterType " + Name(tex) + " " + std::to_string(filter));
  }
  sS32 UnlockTexture(sGpuRes *, sU32) override { return plat::gpu::RES_OK; }
  sS32 CreateRenderTarget(sU32 w, sU32 h, plat::gpu::Format fmt, plat::gpu::MultiSampleType ms, sU32 quality,
                          sBool lockable, sGpuRes **out) override;
  sS32 CreateDepthStencilSurface(sU32 w, sU32 h, plat::gpu::Format fmt, plat::gpu::MultiSampleType ms, sU32 quality,
                                 sBool discard, sGpuRes **out) override;
  sS32 CreateOffscreenPlainSurface(sU32 w, sU32 h, plat::gpu::Format fmt, plat::gpu::Pool pool,
                                   sGpuRes **out) override;
  sS32 GetSurfaceDesc(sGpuRes *surf, plat::gpu::SurfaceDesc &desc) override;
  sS32 LockSurface(sGpuRes *surf, plat::gpu::LockedRect &lr, sU32 flags) override;
  sS32 UnlockSurface(sGpuRes *) override { return plat::gpu::RES_OK; }
  sS32 LoadSurfaceFromPixels(sGpuRes *surf, const void *pixels, plat::gpu::Format srcFmt, sU32 pitch, sU32 w, sU32 h,
                             sBool dither) override;
  sS32 ColorFill(sGpuRes *, const plat::gpu::Rect *, sU32) override { return plat::gpu::RES_OK; }
  sS32 StretchRect(sGpuRes *, const plat::gpu::Rect *, sGpuRes *, const plat::gpu::Rect *,
                   plat::gpu::TextureFilter) override { return plat::gpu::RES_OK; }
  sS32 GetRenderTargetData(sGpuRes *, sGpuRes *) override { return plat::gpu::RES_OK; }
  sS32 SetRenderTarget(sU32 i, sGpuRes *s) override
  {
    return Logged("SetRenderTarget " + std::to_string(i) + " " + Name(s));
  }
  sS32 SetDepthStencilSurface(sGpuRes *surf) override { return Logged("SetDepthStencilSurface " + Name(surf)); }
  sS32 Clear(sU32, const plat::gpu::Rect *, sU32, sU32, sF32, sU32) override { return plat::gpu::RES_OK; }
  sS32 SetViewport(const plat::gpu::Viewport &) override { return plat::gpu::RES_OK; }
  sS32 SetScissorRect(const plat::gpu::Rect &) override { return plat::gpu::RES_OK; }
  sS32 SetRenderState(sU32, sU32) override { return plat::gpu::RES_OK; }
  sS32 SetSamplerState(sU32, sU32, sU32) override { return plat::gpu::RES_OK; }
  sS32 SetTexture(sU32 i, sGpuRes *tex) override { return Logged("SetTexture " + std::to_string(i) + " " + Name(tex)); }
  sS32 SetMaterial(const plat::gpu::Material &) override { return 0; }
  sS32 CreateVertexShader(const sU32 *, sDInt, sGpuRes **out) override { return Made("vs", out); }
  sS32 CreatePixelShader(const sU32 *, sDInt, sGpuRes **out) override { return Made("ps", out); }
  sS32 SetVertexShader(sGpuRes *vs) override { return Logged("SetVertexShader " + Name(vs)); }
  sS32 SetPixelShader(sGpuRes *ps) override { return Logged("SetPixelShader " + Name(ps)); }
  sS32 SetVertexShaderConstantF(sU32, const sF32 *, sU32) override { return plat::gpu::RES_OK; }
  sS32 SetVertexShaderConstantB(sU32, const sS32 *, sU32) override { return 0; }
  sS32 SetPixelShaderConstantF(sU32, const sF32 *, sU32) override { return plat::gpu::RES_OK; }
  sS32 SetPixelShaderConstantB(sU32, const sS32 *, sU32) override { return 0; }
  sS32 CreateVertexBuffer(sU32 length, sU32 usage, plat::gpu::Pool pool, sGpuRes **out) override;
  sS32 CreateIndexBuffer(sU32 length, sU32 usage, plat::gpu::Format fmt, plat::gpu::Pool pool, sGpuRes **out) override;
  sS32 LockBuffer(sGpuRes *buf, sU32 offset, sU32 size, void **data, sU32 flags) override;
  sS32 UnlockBuffer(sGpuRes *) override { return plat::gpu::RES_OK; }
  sS32 CreateVertexDeclaration(const plat::gpu::VertexElement *, sGpuRes **out) override { return Made("decl", out); }
  sS32 SetVertexDeclaration(sGpuRes *decl) override { return Logged("SetVertexDeclaration " + Name(decl)); }
  sS32 SetStreamSource(sU32, sGpuRes *vb, sU32, sU32) override { return Logged("SetStreamSource " + Name(vb)); }
  sS32 SetStreamSourceFreq(sU32, sU32) override { return plat::gpu::RES_OK; }
  sS32 SetIndices(sGpuRes *ib) override { return Logged("SetIndices " + Name(ib)); }
  sS32 DrawPrimitive(plat::gpu::PrimitiveType, sU32, sU32) override { return Logged("DP"); }
  sS32 DrawIndexedPrimitive(plat::gpu::PrimitiveType, sS32, sU32, sU32, sU32, sU32) override
  {
    return plat::gpu::RES_OK;
  }
  sS32 CreateQuery(plat::gpu::QueryType, sGpuRes **out) override { return Made("query", out); }
};

class RecApi : public sGpuApi
{
public:
  RecDevice *Device = nullptr;               // the last device made (owned by the back end)
  sU32 Group = 1;                            // adapters in the group the caps report
  std::vector<plat::gpu::PresentParameters> Screens;   // what the last group device was made with

  sS32 GetAdapterIdentifier(sU32 adapter, plat::gpu::AdapterIdentifier &id) override;
  sU32 GetAdapterModeCount(sU32, plat::gpu::Format) override { return 2; }
  sS32 EnumAdapterModes(sU32 adapter, plat::gpu::Format fmt, sU32 mode, plat::gpu::DisplayMode &out) override;
  sS32 GetAdapterDisplayMode(sU32 adapter, plat::gpu::DisplayMode &out) override;
  // every format and device type is taken
  sS32 CheckDeviceType(sU32, plat::gpu::DeviceType, plat::gpu::Format, plat::gpu::Format, sBool) override
  {
    return plat::gpu::RES_OK;
  }
  sS32 CheckDeviceFormat(sU32, plat::gpu::DeviceType, plat::gpu::Format, sU32, plat::gpu::ResourceType,
                         plat::gpu::Format) override { return plat::gpu::RES_OK; }
  sS32 CheckDeviceMultiSampleType(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Format fmt, sBool windowed,
                                  plat::gpu::MultiSampleType ms, sU32 *levels) override;
  sS32 CheckDepthStencilMatch(sU32, plat::gpu::DeviceType, plat::gpu::Format, plat::gpu::Format,
                              plat::gpu::Format) override { return plat::gpu::RES_OK; }
  sS32 GetDeviceCaps(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Caps &caps) override;
  sS32 CreateDevice(sU32 adapter, plat::gpu::DeviceType type, SDL_Window *window, sU32 behaviour,
                    plat::gpu::PresentParameters &pp, sGpuDevice **out) override;
  sS32 CreateGroupDevice(sU32 adapter, plat::gpu::DeviceType type, SDL_Window *window, sU32 behaviour,
                         plat::gpu::PresentParameters *pp, sU32 count, sGpuDevice **out) override
  {
    Screens.assign(pp, pp + count);
    return CreateDevice(adapter, type, window, behaviour, pp[0], out);
  }
};
