#pragma once
// The device seam of the graphics back end.
//
// The back end talks to the graphics device through these two interfaces only: the
// adapter object (formats, capabilities, device creation) and the device (resources,
// states, drawing). Both take the Direct3D 9 numbers and records of the gpu layer. The
// program runs on sGpuApiReal (over platform/gpu); tests may install a stand-in that
// records what the back end asks for.
//
// Device objects are opaque handles (sGpuRes). A handle made by a Create call holds one
// reference; AddRef and Release go through the device.

#include "base/types.hpp"
#include "platform/gpu/gpu.hpp"

struct SDL_Window;
struct sGpuRes;   // a texture, surface, buffer, declaration, shader or query of the device

class sGpuDevice
{
public:
  virtual ~sGpuDevice() = default;
  virtual void AddRef(sGpuRes *res) = 0;
  virtual void Release(sGpuRes *res) = 0;

  // lifetime, frame, presentation
  virtual sS32 TestCooperativeLevel() = 0;
  virtual sS32 Reset(plat::gpu::PresentParameters &pp) = 0;
  virtual sS32 Present() = 0;
  virtual sS32 GetBackBuffer(sU32 swapChain, sGpuRes **out) = 0;
  virtual sS32 BeginScene() = 0;
  virtual sS32 EndScene() = 0;
  // The next Present reports a lost device (used to test the restore).
  virtual void InjectLostDevice() = 0;

  // textures and surfaces
  virtual sS32 CreateTexture(sU32 w, sU32 h, sU32 levels, sU32 usage, plat::gpu::Format fmt, plat::gpu::Pool pool,
                             sGpuRes **out) = 0;
  virtual sS32 GetSurfaceLevel(sGpuRes *tex, sU32 level, sGpuRes **out) = 0;
  virtual sS32 LockTexture(sGpuRes *tex, sU32 level, plat::gpu::LockedRect &lr, sU32 flags) = 0;
  virtual sS32 UnlockTexture(sGpuRes *tex, sU32 level) = 0;
  // how the levels of an automatic-mipmap texture are made (TEXF_POINT or TEXF_LINEAR)
  virtual sS32 SetAutoGenFilterType(sGpuRes *tex, sU32 filter) = 0;
  virtual sS32 CreateRenderTarget(sU32 w, sU32 h, plat::gpu::Format fmt, plat::gpu::MultiSampleType ms, sU32 quality,
                                  sBool lockable, sGpuRes **out) = 0;
  virtual sS32 CreateDepthStencilSurface(sU32 w, sU32 h, plat::gpu::Format fmt, plat::gpu::MultiSampleType ms,
                                         sU32 quality, sBool discard, sGpuRes **out) = 0;
  virtual sS32 CreateOffscreenPlainSurface(sU32 w, sU32 h, plat::gpu::Format fmt, plat::gpu::Pool pool,
                                           sGpuRes **out) = 0;
  virtual sS32 GetSurfaceDesc(sGpuRes *surf, plat::gpu::SurfaceDesc &desc) = 0;
  virtual sS32 LockSurface(sGpuRes *surf, plat::gpu::LockedRect &lr, sU32 flags) = 0;
  virtual sS32 UnlockSurface(sGpuRes *surf) = 0;
  // A8R8G8B8 / X8R8G8B8 pixels into a lockable surface of the same size, converted.
  virtual sS32 LoadSurfaceFromPixels(sGpuRes *surf, const void *pixels, plat::gpu::Format srcFmt, sU32 pitch, sU32 w,
                                     sU32 h, sBool dither) = 0;
  virtual sS32 ColorFill(sGpuRes *surf, const plat::gpu::Rect *rect, sU32 argb) = 0;
  virtual sS32 StretchRect(sGpuRes *src, const plat::gpu::Rect *srcRect, sGpuRes *dst, const plat::gpu::Rect *dstRect,
                           plat::gpu::TextureFilter filter) = 0;
  virtual sS32 GetRenderTargetData(sGpuRes *rt, sGpuRes *sysmem) = 0;

  // targets
  virtual sS32 SetRenderTarget(sU32 index, sGpuRes *surf) = 0;
  virtual sS32 SetDepthStencilSurface(sGpuRes *surf) = 0;
  virtual sS32 Clear(sU32 count, const plat::gpu::Rect *rects, sU32 flags, sU32 argb, sF32 z, sU32 stencil) = 0;
  virtual sS32 SetViewport(const plat::gpu::Viewport &vp) = 0;
  virtual sS32 SetScissorRect(const plat::gpu::Rect &rect) = 0;

  // states
  virtual sS32 SetRenderState(sU32 state, sU32 value) = 0;
  virtual sS32 SetSamplerState(sU32 sampler, sU32 type, sU32 value) = 0;
  virtual sS32 SetTexture(sU32 sampler, sGpuRes *tex) = 0;
  virtual sS32 SetMaterial(const plat::gpu::Material &m) = 0;

  // shaders and constants
  virtual sS32 CreateVertexShader(const sU32 *tokens, sDInt count, sGpuRes **out) = 0;
  virtual sS32 CreatePixelShader(const sU32 *tokens, sDInt count, sGpuRes **out) = 0;
  virtual sS32 SetVertexShader(sGpuRes *vs) = 0;
  virtual sS32 SetPixelShader(sGpuRes *ps) = 0;
  virtual sS32 SetVertexShaderConstantF(sU32 start, const sF32 *data, sU32 count) = 0;
  virtual sS32 SetVertexShaderConstantB(sU32 start, const sS32 *data, sU32 count) = 0;
  virtual sS32 SetPixelShaderConstantF(sU32 start, const sF32 *data, sU32 count) = 0;
  virtual sS32 SetPixelShaderConstantB(sU32 start, const sS32 *data, sU32 count) = 0;

  // geometry
  virtual sS32 CreateVertexBuffer(sU32 length, sU32 usage, plat::gpu::Pool pool, sGpuRes **out) = 0;
  virtual sS32 CreateIndexBuffer(sU32 length, sU32 usage, plat::gpu::Format fmt, plat::gpu::Pool pool,
                                 sGpuRes **out) = 0;
  virtual sS32 LockBuffer(sGpuRes *buf, sU32 offset, sU32 size, void **data, sU32 flags) = 0;
  virtual sS32 UnlockBuffer(sGpuRes *buf) = 0;
  virtual sS32 CreateVertexDeclaration(const plat::gpu::VertexElement *elems, sGpuRes **out) = 0;
  virtual sS32 SetVertexDeclaration(sGpuRes *decl) = 0;
  virtual sS32 SetStreamSource(sU32 stream, sGpuRes *vb, sU32 offset, sU32 stride) = 0;
  virtual sS32 SetStreamSourceFreq(sU32 stream, sU32 setting) = 0;
  virtual sS32 SetIndices(sGpuRes *ib) = 0;
  virtual sS32 DrawPrimitive(plat::gpu::PrimitiveType type, sU32 startVertex, sU32 primitives) = 0;
  virtual sS32 DrawIndexedPrimitive(plat::gpu::PrimitiveType type, sS32 baseVertex, sU32 minIndex, sU32 numVertices,
                                    sU32 startIndex, sU32 primitives) = 0;
  virtual sS32 CreateQuery(plat::gpu::QueryType type, sGpuRes **out) = 0;
};

class sGpuApi
{
public:
  virtual ~sGpuApi() = default;
  virtual sS32 GetAdapterIdentifier(sU32 adapter, plat::gpu::AdapterIdentifier &id) = 0;
  virtual sU32 GetAdapterModeCount(sU32 adapter, plat::gpu::Format fmt) = 0;
  virtual sS32 EnumAdapterModes(sU32 adapter, plat::gpu::Format fmt, sU32 mode, plat::gpu::DisplayMode &out) = 0;
  virtual sS32 GetAdapterDisplayMode(sU32 adapter, plat::gpu::DisplayMode &out) = 0;
  virtual sS32 CheckDeviceType(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Format display,
                               plat::gpu::Format backBuffer, sBool windowed) = 0;
  virtual sS32 CheckDeviceFormat(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Format display, sU32 usage,
                                 plat::gpu::ResourceType rtype, plat::gpu::Format fmt) = 0;
  virtual sS32 CheckDeviceMultiSampleType(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Format fmt,
                                          sBool windowed, plat::gpu::MultiSampleType ms, sU32 *levels) = 0;
  virtual sS32 CheckDepthStencilMatch(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Format display,
                                      plat::gpu::Format rt, plat::gpu::Format depth) = 0;
  virtual sS32 GetDeviceCaps(sU32 adapter, plat::gpu::DeviceType type, plat::gpu::Caps &caps) = 0;
  // The size a windowed back buffer needs to fill the window; false when it is not known
  // (a stand-in without windows), and then the screen mode's size is used.
  virtual sBool GetClientSize(SDL_Window *window, sInt &width, sInt &height)
  {
    (void)window;
    width = height = 0;
    return 0;
  }
  // window null: a device without a window of its own (Present shows nothing).
  virtual sS32 CreateDevice(sU32 adapter, plat::gpu::DeviceType type, SDL_Window *window, sU32 behaviour,
                            plat::gpu::PresentParameters &pp, sGpuDevice **out) = 0;
  // A device over the adapter group: one swap chain per screen, pp[s] for screen s (its
  // window in DeviceWindow from screen 1 on); GetBackBuffer(s) is screen s's back buffer.
  virtual sS32 CreateGroupDevice(sU32 adapter, plat::gpu::DeviceType type, SDL_Window *window, sU32 behaviour,
                                 plat::gpu::PresentParameters *pp, sU32 count, sGpuDevice **out)
  {
    if(count == 1) return CreateDevice(adapter, type, window, behaviour, pp[0], out);
    *out = nullptr;
    return plat::gpu::ERR_NOTAVAILABLE;
  }
};

// The adapter object over the gpu layer; null with the reason logged when there is none.
sGpuApi *sCreateGpuApiReal();

// Which adapter object sInitGfx uses. Null (the default) makes the real one on demand.
// The back end owns what it was given and deletes it at sExitGfx.
void sSetGpuApi(sGpuApi *api);
