// The device seam over the gpu layer: every call goes straight to platform/gpu.

#include "graphics/gpudevice.hpp"

#include "base/log.hpp"
#include "platform/text/utf.hpp"

namespace
{
using namespace plat::gpu;

sGpuRes *H(Unknown *u) { return reinterpret_cast<sGpuRes *>(u); }
template <class T> T *As(sGpuRes *r) { return r ? static_cast<T *>(reinterpret_cast<Unknown *>(r)) : nullptr; }

class RealDevice : public sGpuDevice
{
  Device *Dev;

public:
  explicit RealDevice(Device *dev) : Dev(dev) {}
  ~RealDevice() override { Dev->Release(); }

  void AddRef(sGpuRes *res) override { As<Unknown>(res)->AddRef(); }
  void Release(sGpuRes *res) override { As<Unknown>(res)->Release(); }

  sS32 TestCooperativeLevel() override { return Dev->TestCooperativeLevel(); }
  sS32 Reset(PresentParameters &pp) override { return Dev->Reset(pp); }
  sS32 Present() override { return Dev->Present(); }
  sS32 GetBackBuffer(sU32 chain, sGpuRes **out) override
  {
    Surface *s = nullptr;
    Result r = Dev->GetBackBuffer(chain, 0, &s);
    *out = H(s);
    return r;
  }
  sS32 BeginScene() override { return Dev->BeginScene(); }
  sS32 EndScene() override { return Dev->EndScene(); }
  void InjectLostDevice() override { Dev->InjectLostDevice(); }

  sS32 CreateTexture(sU32 w, sU32 h, sU32 levels, sU32 usage, Format fmt, Pool pool, sGpuRes **out) override
  {
    Texture *t = nullptr;
    Result r = Dev->CreateTexture(w, h, levels, usage, fmt, pool, &t);
    *out = H(t);
    return r;
  }
  sS32 GetSurfaceLevel(sGpuRes *tex, sU32 level, sGpuRes **out) override
  {
    Surface *s = nullptr;
    Result r = As<Texture>(tex)->GetSurfaceLevel(level, &s);
    *out = H(s);
    return r;
  }
  sS32 LockTexture(sGpuRes *tex, sU32 level, LockedRect &lr, sU32 flags) override
  {
    return As<Texture>(tex)->LockRect(level, lr, nullptr, flags);
  }
  sS32 UnlockTexture(sGpuRes *tex, sU32 level) override { return As<Texture>(tex)->UnlockRect(level); }
  sS32 SetAutoGenFilterType(sGpuRes *tex, sU32 filter) override { return As<Texture>(tex)->SetAutoGenFilterType(filter); }
  sS32 CreateRenderTarget(sU32 w, sU32 h, Format fmt, MultiSampleType ms, sU32 q, sBool lockable,
                          sGpuRes **out) override
  {
    Surface *s = nullptr;
    Result r = Dev->CreateRenderTarget(w, h, fmt, ms, q, lockable != 0, &s);
    *out = H(s);
    return r;
  }
  sS32 CreateDepthStencilSurface(sU32 w, sU32 h, Format fmt, MultiSampleType ms, sU32 q, sBool discard,
                                 sGpuRes **out) override
  {
    Surface *s = nullptr;
    Result r = Dev->CreateDepthStencilSurface(w, h, fmt, ms, q, discard != 0, &s);
    *out = H(s);
    return r;
  }
  sS32 CreateOffscreenPlainSurface(sU32 w, sU32 h, Format fmt, Pool pool, sGpuRes **out) override
  {
    Surface *s = nullptr;
    Result r = Dev->CreateOffscreenPlainSurface(w, h, fmt, pool, &s);
    *out = H(s);
    return r;
  }
  sS32 GetSurfaceDesc(sGpuRes *surf, SurfaceDesc &desc) override { return As<Surface>(surf)->GetDesc(desc); }
  sS32 LockSurface(sGpuRes *surf, LockedRect &lr, sU32 flags) override
  {
    return As<Surface>(surf)->LockRect(lr, nullptr, flags);
  }
  sS32 UnlockSurface(sGpuRes *surf) override { return As<Surface>(surf)->UnlockRect(); }
  sS32 LoadSurfaceFromPixels(sGpuRes *surf, const void *pixels, Format srcFmt, sU32 pitch, sU32 w, sU32 h,
                             sBool dither) override
  {
    return plat::gpu::LoadSurfaceFromPixels(As<Surface>(surf), pixels, srcFmt, pitch, w, h, dither != 0);
  }
  sS32 ColorFill(sGpuRes *surf, const Rect *rect, sU32 argb) override
  {
    return Dev->ColorFill(As<Surface>(surf), rect, argb);
  }
  sS32 StretchRect(sGpuRes *src, const Rect *sr, sGpuRes *dst, const Rect *dr, TextureFilter f) override
  {
    return Dev->StretchRect(As<Surface>(src), sr, As<Surface>(dst), dr, f);
  }
  sS32 GetRenderTargetData(sGpuRes *rt, sGpuRes *sys) override
  {
    return Dev->GetRenderTargetData(As<Surface>(rt), As<Surface>(sys));
  }

  sS32 SetRenderTarget(sU32 index, sGpuRes *surf) override { return Dev->SetRenderTarget(index, As<Surface>(surf)); }
  sS32 SetDepthStencilSurface(sGpuRes *surf) override { return Dev->SetDepthStencilSurface(As<Surface>(surf)); }
  sS32 Clear(sU32 count, const Rect *rects, sU32 flags, sU32 argb, sF32 z, sU32 stencil) override
  {
    return Dev->Clear(count, rects, flags, argb, z, stencil);
  }
  sS32 SetViewport(const Viewport &vp) override { return Dev->SetViewport(vp); }
  sS32 SetScissorRect(const Rect &rect) override { return Dev->SetScissorRect(rect); }

  sS32 SetRenderState(sU32 state, sU32 value) override { return Dev->SetRenderState(state, value); }
  sS32 SetSamplerState(sU32 sampler, sU32 type, sU32 value) override
  {
    return Dev->SetSamplerState(sampler, type, value);
  }
  sS32 SetTexture(sU32 sampler, sGpuRes *tex) override { return Dev->SetTexture(sampler, As<BaseTexture>(tex)); }
  sS32 SetMaterial(const Material &m) override { return Dev->SetMaterial(m); }

  sS32 CreateVertexShader(const sU32 *tokens, sDInt count, sGpuRes **out) override
  {
    Shader *s = nullptr;
    Result r = Dev->CreateVertexShader(tokens, size_t(count), &s);
    if(r < 0) sLogF(u"gfx", u"%s\n", plat::ToUtf16(Dev->LastShaderError()).c_str());
    *out = H(s);
    return r;
  }
  sS32 CreatePixelShader(const sU32 *tokens, sDInt count, sGpuRes **out) override
  {
    Shader *s = nullptr;
    Result r = Dev->CreatePixelShader(tokens, size_t(count), &s);
    if(r < 0) sLogF(u"gfx", u"%s\n", plat::ToUtf16(Dev->LastShaderError()).c_str());
    *out = H(s);
    return r;
  }
  sS32 SetVertexShader(sGpuRes *vs) override { return Dev->SetVertexShader(As<Shader>(vs)); }
  sS32 SetPixelShader(sGpuRes *ps) override { return Dev->SetPixelShader(As<Shader>(ps)); }
  sS32 SetVertexShaderConstantF(sU32 start, const sF32 *data, sU32 count) override
  {
    return Dev->SetVertexShaderConstantF(start, data, count);
  }
  sS32 SetVertexShaderConstantB(sU32 start, const sS32 *data, sU32 count) override
  {
    return Dev->SetVertexShaderConstantB(start, data, count);
  }
  sS32 SetPixelShaderConstantF(sU32 start, const sF32 *data, sU32 count) override
  {
    return Dev->SetPixelShaderConstantF(start, data, count);
  }
  sS32 SetPixelShaderConstantB(sU32 start, const sS32 *data, sU32 count) override
  {
    return Dev->SetPixelShaderConstantB(start, data, count);
  }

  sS32 CreateVertexBuffer(sU32 length, sU32 usage, Pool pool, sGpuRes **out) override
  {
    Buffer *b = nullptr;
    Result r = Dev->CreateVertexBuffer(length, usage, pool, &b);
    *out = H(b);
    return r;
  }
  sS32 CreateIndexBuffer(sU32 length, sU32 usage, Format fmt, Pool pool, sGpuRes **out) override
  {
    Buffer *b = nullptr;
    Result r = Dev->CreateIndexBuffer(length, usage, fmt, pool, &b);
    *out = H(b);
    return r;
  }
  sS32 LockBuffer(sGpuRes *buf, sU32 offset, sU32 size, void **data, sU32 flags) override
  {
    return As<Buffer>(buf)->Lock(offset, size, data, flags);
  }
  sS32 UnlockBuffer(sGpuRes *buf) override { return As<Buffer>(buf)->Unlock(); }
  sS32 CreateVertexDeclaration(const VertexElement *elems, sGpuRes **out) override
  {
    VertexDeclaration *d = nullptr;
    Result r = Dev->CreateVertexDeclaration(elems, &d);
    *out = H(d);
    return r;
  }
  sS32 SetVertexDeclaration(sGpuRes *decl) override { return Dev->SetVertexDeclaration(As<VertexDeclaration>(decl)); }
  sS32 SetStreamSource(sU32 stream, sGpuRes *vb, sU32 offset, sU32 stride) override
  {
    return Dev->SetStreamSource(stream, As<Buffer>(vb), offset, stride);
  }
  sS32 SetStreamSourceFreq(sU32 stream, sU32 setting) override { return Dev->SetStreamSourceFreq(stream, setting); }
  sS32 SetIndices(sGpuRes *ib) override { return Dev->SetIndices(As<Buffer>(ib)); }
  sS32 DrawPrimitive(PrimitiveType type, sU32 start, sU32 prims) override
  {
    return Dev->DrawPrimitive(type, start, prims);
  }
  sS32 DrawIndexedPrimitive(PrimitiveType type, sS32 base, sU32 minIndex, sU32 numVertices, sU32 startIndex,
                            sU32 prims) override
  {
    return Dev->DrawIndexedPrimitive(type, base, minIndex, numVertices, startIndex, prims);
  }
  sS32 CreateQuery(QueryType type, sGpuRes **out) override
  {
    Query *q = nullptr;
    Result r = Dev->CreateQuery(type, &q);
    *out = H(q);
    return r;
  }
};

class RealApi : public sGpuApi
{
  Object *Obj;

public:
  explicit RealApi(Object *obj) : Obj(obj) {}
  ~RealApi() override { Obj->Release(); }

  sS32 GetAdapterIdentifier(sU32 adapter, AdapterIdentifier &id) override
  {
    return Obj->GetAdapterIdentifier(adapter, id);
  }
  sU32 GetAdapterModeCount(sU32 adapter, Format fmt) override { return Obj->GetAdapterModeCount(adapter, fmt); }
  sS32 EnumAdapterModes(sU32 adapter, Format fmt, sU32 mode, DisplayMode &out) override
  {
    return Obj->EnumAdapterModes(adapter, fmt, mode, out);
  }
  sS32 GetAdapterDisplayMode(sU32 adapter, DisplayMode &out) override
  {
    return Obj->GetAdapterDisplayMode(adapter, out);
  }
  sS32 CheckDeviceType(sU32 adapter, DeviceType type, Format display, Format bb, sBool windowed) override
  {
    return Obj->CheckDeviceType(adapter, type, display, bb, windowed != 0);
  }
  sS32 CheckDeviceFormat(sU32 adapter, DeviceType type, Format display, sU32 usage, ResourceType rtype,
                         Format fmt) override
  {
    return Obj->CheckDeviceFormat(adapter, type, display, usage, rtype, fmt);
  }
  sS32 CheckDeviceMultiSampleType(sU32 adapter, DeviceType type, Format fmt, sBool windowed, MultiSampleType ms,
                                  sU32 *levels) override
  {
    return Obj->CheckDeviceMultiSampleType(adapter, type, fmt, windowed != 0, ms, levels);
  }
  sS32 CheckDepthStencilMatch(sU32 adapter, DeviceType type, Format display, Format rt, Format depth) override
  {
    return Obj->CheckDepthStencilMatch(adapter, type, display, rt, depth);
  }
  sS32 GetDeviceCaps(sU32 adapter, DeviceType type, Caps &caps) override
  {
    return Obj->GetDeviceCaps(adapter, type, caps);
  }
  sBool GetClientSize(SDL_Window *window, sInt &width, sInt &height) override
  {
    int w = 0, h = 0;
    sBool ok = Obj->GetClientSize(window, w, h) >= 0;
    width = w;
    height = h;
    return ok;
  }
  sS32 CreateDevice(sU32 adapter, DeviceType type, SDL_Window *window, sU32 behaviour, PresentParameters &pp,
                    sGpuDevice **out) override
  {
    Device *dev = nullptr;
    Result r = window ? Obj->CreateDevice(adapter, type, window, behaviour, pp, &dev)
                      : Obj->CreateHeadlessDevice(pp, &dev);
    *out = r >= 0 && dev ? new RealDevice(dev) : nullptr;
    return r;
  }
  sS32 CreateGroupDevice(sU32 adapter, DeviceType type, SDL_Window *window, sU32 behaviour, PresentParameters *pp,
                         sU32 count, sGpuDevice **out) override
  {
    Device *dev = nullptr;
    Result r = Obj->CreateGroupDevice(adapter, type, window, behaviour, pp, count, &dev);
    *out = r >= 0 && dev ? new RealDevice(dev) : nullptr;
    return r;
  }
};
}

sGpuApi *sCreateGpuApiReal()
{
  std::string error;
  Object *obj = Object::Create(error);
  if(!obj)
  {
    sLogF(u"gfx", u"no graphics device: %s\n", plat::ToUtf16(error).c_str());
    return nullptr;
  }
  return new RealApi(obj);
}
