// The entry object: adapters, display modes, format checks and device creation.

#include "platform/gpu/internal.hpp"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

namespace plat::gpu
{
Result InitDevice(Device *dev);
Result AddScreens(Device *dev, const PresentParameters *pp, uint32_t count);
Result CreateBackBuffer(Device *dev);

namespace
{
void SetContextAttributes()
{
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
}

// The modes offered where the display reports too few (a virtual display, no display).
const DisplayMode FixedModes[] = {
  {640, 480, 60, FMT_X8R8G8B8},   {800, 600, 60, FMT_X8R8G8B8},   {1024, 768, 60, FMT_X8R8G8B8},
  {1280, 720, 60, FMT_X8R8G8B8},  {1280, 1024, 60, FMT_X8R8G8B8}, {1920, 1080, 60, FMT_X8R8G8B8},
};

std::vector<DisplayMode> ModesOf(uint32_t adapter)
{
  std::vector<DisplayMode> modes;
  int n = SDL_GetNumDisplayModes(int(adapter));
  for (int i = 0; i < n; i++)
  {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(int(adapter), i, &m) != 0 || m.w <= 0 || m.h <= 0)
      continue;
    DisplayMode d = {uint32_t(m.w), uint32_t(m.h), uint32_t(m.refresh_rate ? m.refresh_rate : 60), FMT_X8R8G8B8};
    bool seen = false;
    for (const DisplayMode &o : modes)
      seen |= o.Width == d.Width && o.Height == d.Height && o.RefreshRate == d.RefreshRate;
    if (!seen)
      modes.push_back(d);
  }
  if (modes.size() < 2)
  {
    for (const DisplayMode &f : FixedModes)
    {
      bool seen = false;
      for (const DisplayMode &o : modes)
        seen |= o.Width == f.Width && o.Height == f.Height && o.RefreshRate == f.RefreshRate;
      if (!seen)
        modes.push_back(f);
    }
  }
  return modes;
}

bool DisplayFormatOk(Format f) { return f == FMT_X8R8G8B8 || f == FMT_R5G6B5; }

// A device on `window`; with count > 1 the screens 1 to count-1 of pp as well.
Result MakeDevice(SDL_Window *window, bool own, PresentParameters *pp, uint32_t count, Device **out,
                  std::string &error)
{
  SetContextAttributes();
  SDL_Window *prevWin = SDL_GL_GetCurrentWindow();
  SDL_GLContext prevCtx = SDL_GL_GetCurrentContext();
  SDL_GLContext ctx = SDL_GL_CreateContext(window);
  if (!ctx)
  {
    error = SDL_GetError();
    if (own)
      SDL_DestroyWindow(window);
    if (prevCtx)
      SDL_GL_MakeCurrent(prevWin, prevCtx);
    return ERR_NOTAVAILABLE;
  }
  SDL_GL_MakeCurrent(window, ctx);
  if (!own)
    SDL_GL_SetSwapInterval(pp[0].PresentationInterval == PRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  auto *dev = new Device;
  DeviceImpl *d = dev->Impl();
  d->Win = window;
  d->OwnWindow = own;
  d->Ctx = ctx;
  d->PP = pp[0];
  Result r = InitDevice(dev);
  if (!Failed(r))
    r = AddScreens(dev, pp, count);
  if (!Failed(r))
    r = CreateBackBuffer(dev);
  if (Failed(r))
  {
    dev->Release();
    return r;
  }
  pp[0] = d->PP;
  for (uint32_t s = 1; s < count; s++)
    pp[s] = d->Screens[s - 1].PP;
  *out = dev;
  return RES_OK;
}
}

Object *Object::Create(std::string &error)
{
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
  {
    // no display: SDL's off-screen driver still gives GL through EGL
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
      error = SDL_GetError();
      return nullptr;
    }
  }
  return new Object;
}

Object::~Object() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

// Reads the limits of the current context: what the device can offer on this driver.
void Object::ProbeLimits()
{
  auto get = [](GLenum name) {
    GLint v = 0;
    glGetIntegerv(name, &v);
    return v;
  };
  MaxTextureSize = std::min(get(GL_MAX_TEXTURE_SIZE), 16384);  // the device makes nothing larger
  // the device binds at most four colour targets
  MaxTargets = std::min({get(GL_MAX_DRAW_BUFFERS), get(GL_MAX_COLOR_ATTACHMENTS), 4});
  // The translated programs keep the register files in uniform blocks and need 16 pixel
  // samplers and 10 varyings (8 texture coordinates and 2 colours) for shader model 2.0;
  // 3.0 adds the vertex texture samplers and 12 output registers.
  int version = get(GL_MAJOR_VERSION) * 10 + get(GL_MINOR_VERSION);
  int varyings = std::min(get(GL_MAX_VERTEX_OUTPUT_COMPONENTS), get(GL_MAX_FRAGMENT_INPUT_COMPONENTS)) / 4;
  bool model2 = version >= 33 && get(GL_MAX_UNIFORM_BLOCK_SIZE) >= GLint(std::max(VS_BLOCK, PS_BLOCK)) &&
                get(GL_MAX_VERTEX_UNIFORM_BLOCKS) >= 1 && get(GL_MAX_FRAGMENT_UNIFORM_BLOCKS) >= 1 &&
                get(GL_MAX_TEXTURE_IMAGE_UNITS) >= PIXEL_SAMPLERS && varyings >= 10;
  bool model3 = model2 && get(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS) >= VERTEX_SAMPLERS && varyings >= 12 &&
                get(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS) >= SAMPLER_UNITS;
  ShaderModel = model3 ? 3 : model2 ? 2 : 0;
  ClearGLErrors();
}

bool IsSoftwareRasterizer(const char *renderer)
{
  return renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
}

float UsableAnisotropy(float max)
{
  if (IsSoftwareRasterizer(reinterpret_cast<const char *>(glGetString(GL_RENDERER))))
    return 1.0f;
  return max;
}

// Asks a throw-away context what the driver offers.
void Object::Probe()
{
  if (Probed)
    return;
  Probed = true;
  SDL_Window *prevWin = SDL_GL_GetCurrentWindow();
  SDL_GLContext prevCtx = SDL_GL_GetCurrentContext();
  SetContextAttributes();
  SDL_Window *w = SDL_CreateWindow("probe", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!w)
    return;
  SDL_GLContext c = SDL_GL_CreateContext(w);
  if (c)
  {
    SDL_GL_MakeCurrent(w, c);
    const char *r = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    Renderer = r ? r : "";
    glGetIntegerv(GL_MAX_SAMPLES, &MaxSamples);
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &MaxAniso);
    if (glGetError() != GL_NO_ERROR || MaxAniso < 1.0f)
      MaxAniso = 1.0f;
    MaxAniso = UsableAnisotropy(MaxAniso);
    ProbeLimits();
    SDL_GL_MakeCurrent(w, nullptr);
    SDL_GL_DeleteContext(c);
  }
  SDL_DestroyWindow(w);
  if (prevCtx)
    SDL_GL_MakeCurrent(prevWin, prevCtx);
}

uint32_t Object::GetAdapterCount()
{
  int n = SDL_GetNumVideoDisplays();
  return n > 0 ? uint32_t(n) : 1;
}

Result Object::GetAdapterIdentifier(uint32_t adapter, AdapterIdentifier &id)
{
  if (adapter >= GetAdapterCount())
    return ERR_INVALIDCALL;
  Probe();
  std::memset(&id, 0, sizeof(id));
  std::snprintf(id.Driver, sizeof(id.Driver), "%s", "opengl");
  std::snprintf(id.Description, sizeof(id.Description), "%s", Renderer.empty() ? "OpenGL" : Renderer.c_str());
  const char *name = SDL_GetDisplayName(int(adapter));
  std::snprintf(id.DeviceName, sizeof(id.DeviceName), "%s", name ? name : "display");
  return RES_OK;
}

uint32_t Object::GetAdapterModeCount(uint32_t adapter, Format fmt)
{
  if (adapter >= GetAdapterCount() || !DisplayFormatOk(fmt))
    return 0;
  return uint32_t(ModesOf(adapter).size());
}

Result Object::EnumAdapterModes(uint32_t adapter, Format fmt, uint32_t mode, DisplayMode &out)
{
  if (adapter >= GetAdapterCount() || !DisplayFormatOk(fmt))
    return ERR_INVALIDCALL;
  std::vector<DisplayMode> modes = ModesOf(adapter);
  if (mode >= modes.size())
    return ERR_INVALIDCALL;
  out = modes[mode];
  out.Fmt = fmt;
  return RES_OK;
}

Result Object::GetAdapterDisplayMode(uint32_t adapter, DisplayMode &out)
{
  if (adapter >= GetAdapterCount())
    return ERR_INVALIDCALL;
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(int(adapter), &m) == 0 && m.w > 0 && m.h > 0)
    out = {uint32_t(m.w), uint32_t(m.h), uint32_t(m.refresh_rate ? m.refresh_rate : 60), FMT_X8R8G8B8};
  else
    out = {1920, 1080, 60, FMT_X8R8G8B8};
  return RES_OK;
}

Result Object::CheckDeviceType(uint32_t adapter, DeviceType type, Format displayFormat, Format backBufferFormat,
                               bool windowed)
{
  (void)windowed;
  if (adapter >= GetAdapterCount() || (type != DEVTYPE_HAL && type != DEVTYPE_REF))
    return ERR_INVALIDCALL;
  if (displayFormat == FMT_X8R8G8B8 && (backBufferFormat == FMT_A8R8G8B8 || backBufferFormat == FMT_X8R8G8B8))
    return RES_OK;
  if (displayFormat == FMT_R5G6B5 && backBufferFormat == FMT_R5G6B5)
    return RES_OK;
  return ERR_NOTAVAILABLE;
}

Result Object::CheckDeviceFormat(uint32_t adapter, DeviceType type, Format adapterFormat, uint32_t usage,
                                 ResourceType rtype, Format fmt)
{
  if (adapter >= GetAdapterCount() || (type != DEVTYPE_HAL && type != DEVTYPE_REF) || !DisplayFormatOk(adapterFormat))
    return ERR_INVALIDCALL;
  const FormatInfo *fi = FindFormat(fmt);
  if (!fi)
    return ERR_NOTAVAILABLE;
  if (rtype != RTYPE_SURFACE && rtype != RTYPE_TEXTURE && rtype != RTYPE_CUBETEXTURE)
    return ERR_NOTAVAILABLE;
  if (usage & USAGE_DEPTHSTENCIL)
  {
    if (!fi->Depth || rtype == RTYPE_CUBETEXTURE)
      return ERR_NOTAVAILABLE;
    return (usage & (USAGE_RENDERTARGET | USAGE_AUTOGENMIPMAP | USAGE_QUERY_VERTEXTEXTURE)) ? ERR_NOTAVAILABLE : RES_OK;
  }
  if (fi->Depth)
    return ERR_NOTAVAILABLE;
  if ((usage & USAGE_RENDERTARGET) && !fi->Renderable)
    return ERR_NOTAVAILABLE;
  if ((usage & USAGE_AUTOGENMIPMAP) && fi->BlockBytes)
    return ERR_NOTAVAILABLE;
  return RES_OK;
}

Result Object::CheckDeviceMultiSampleType(uint32_t adapter, DeviceType type, Format fmt, bool windowed,
                                          MultiSampleType ms, uint32_t *qualityLevels)
{
  (void)windowed;
  if (qualityLevels)
    *qualityLevels = 0;
  if (adapter >= GetAdapterCount() || (type != DEVTYPE_HAL && type != DEVTYPE_REF))
    return ERR_INVALIDCALL;
  const FormatInfo *fi = FindFormat(fmt);
  if (!fi || !(fi->Renderable || fi->Depth) || fi->BlockBytes)
    return ERR_NOTAVAILABLE;
  Probe();
  if (ms == MULTISAMPLE_NONE)
  {
    if (qualityLevels)
      *qualityLevels = 1;
    return RES_OK;
  }
  if (ms == MULTISAMPLE_NONMASKABLE)
  {
    // quality q uses 2 << q samples
    uint32_t levels = 0;
    while ((2 << levels) <= MaxSamples)
      levels++;
    if (levels == 0)
      return ERR_NOTAVAILABLE;
    if (qualityLevels)
      *qualityLevels = levels;
    return RES_OK;
  }
  if (int(ms) > MaxSamples || ms > 16)
    return ERR_NOTAVAILABLE;
  if (qualityLevels)
    *qualityLevels = 1;
  return RES_OK;
}

Result Object::CheckDepthStencilMatch(uint32_t adapter, DeviceType type, Format adapterFormat,
                                      Format renderTargetFormat, Format depthFormat)
{
  if (adapter >= GetAdapterCount() || (type != DEVTYPE_HAL && type != DEVTYPE_REF) || !DisplayFormatOk(adapterFormat))
    return ERR_INVALIDCALL;
  const FormatInfo *rt = FindFormat(renderTargetFormat), *ds = FindFormat(depthFormat);
  if (!rt || !ds || !rt->Renderable || !ds->Depth)
    return ERR_NOTAVAILABLE;
  return RES_OK;
}

Result Object::GetDeviceCaps(uint32_t adapter, DeviceType type, Caps &caps)
{
  if (adapter >= GetAdapterCount() || (type != DEVTYPE_HAL && type != DEVTYPE_REF))
    return ERR_INVALIDCALL;
  Probe();
  std::memset(&caps, 0, sizeof(caps));
  caps.Type = type;
  caps.AdapterOrdinal = adapter;
  caps.DevCaps = DEVCAPS_HWTRANSFORMANDLIGHT;
  caps.TextureFilterCaps = MaxAniso > 1.0f ? (PTFILTERCAPS_MINFANISOTROPIC | PTFILTERCAPS_MAGFANISOTROPIC) : 0;
  // what the probe found; a driver that made no context offers nothing
  caps.MaxTextureWidth = caps.MaxTextureHeight = uint32_t(MaxTextureSize);
  caps.MaxAnisotropy = uint32_t(MaxAniso);
  caps.MaxSimultaneousRTs = uint32_t(MaxTargets);
  caps.MaxStreams = MAX_STREAMS;
  caps.VertexShaderVersion = ShaderModel ? 0xFFFE0000u | ShaderModel << 8 : 0;
  caps.PixelShaderVersion = ShaderModel ? 0xFFFF0000u | ShaderModel << 8 : 0;
  caps.MaxVertexShaderConst = 256;
  // every display the window system knows is driven by the one device: one group
  caps.MasterAdapterOrdinal = 0;
  caps.AdapterOrdinalInGroup = adapter;
  caps.NumberOfAdaptersInGroup = adapter == 0 ? GetAdapterCount() : 0;
  return RES_OK;
}

Result Object::CreateDevice(uint32_t adapter, DeviceType type, SDL_Window *window, uint32_t behaviour,
                            PresentParameters &pp, Device **out)
{
  (void)behaviour;
  *out = nullptr;
  if (adapter >= GetAdapterCount() || (type != DEVTYPE_HAL && type != DEVTYPE_REF) || !window)
    return ERR_INVALIDCALL;
  if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL))
    return ERR_INVALIDCALL;
  std::string error;
  return MakeDevice(window, false, &pp, 1, out, error);
}

Result Object::CreateGroupDevice(uint32_t adapter, DeviceType type, SDL_Window *window, uint32_t behaviour,
                                 PresentParameters *pp, uint32_t count, Device **out)
{
  *out = nullptr;
  if (count < 1 || !pp)
    return ERR_INVALIDCALL;
  if (count == 1)
    return CreateDevice(adapter, type, window, behaviour, pp[0], out);
  // the group is the master adapter's; its count must be the group's
  if (adapter != 0 || count != GetAdapterCount() || !(behaviour & CREATE_ADAPTERGROUP_DEVICE))
    return ERR_INVALIDCALL;
  if ((type != DEVTYPE_HAL && type != DEVTYPE_REF) || !window || !(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL))
    return ERR_INVALIDCALL;
  std::string error;
  return MakeDevice(window, false, pp, count, out, error);
}

Result Object::GetClientSize(SDL_Window *window, int &width, int &height)
{
  width = height = 0;
  if (!window)
    return ERR_INVALIDCALL;
  // the back buffer is sized in pixels, which on a scaled display is not the window's size
  SDL_GL_GetDrawableSize(window, &width, &height);
  if (width <= 0 || height <= 0)
    SDL_GetWindowSize(window, &width, &height);
  if (width <= 0 || height <= 0)
  {
    width = height = 0;
    return ERR_NOTAVAILABLE;
  }
  return RES_OK;
}

Result Object::CreateHeadlessDevice(PresentParameters &pp, Device **out)
{
  *out = nullptr;
  SetContextAttributes();
  SDL_Window *w = SDL_CreateWindow("sparkvane headless", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!w)
    return ERR_NOTAVAILABLE;
  std::string error;
  return MakeDevice(w, true, &pp, 1, out, error);
}
}
