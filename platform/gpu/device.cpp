// The device: targets, states, copies, frame and presentation.

#include "platform/gpu/internal.hpp"

#include <SDL2/SDL.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>

namespace plat::gpu
{
namespace
{
// Lets go of every object the device has bound: textures, targets, shaders, declaration,
// streams and indices.
void DropBindings(DeviceImpl *d)
{
  for (auto &t : d->Tex)
    Rebind<BaseTexture>(t, nullptr);
  for (auto &r : d->RT)
    Rebind<Surface>(r, nullptr);
  Rebind<Surface>(d->DS, nullptr);
  Rebind<Shader>(d->VS, nullptr);
  Rebind<Shader>(d->PS, nullptr);
  Rebind<VertexDeclaration>(d->Decl, nullptr);
  for (auto &s : d->Streams)
    Rebind<Buffer>(s, nullptr);
  Rebind<Buffer>(d->Indices, nullptr);
  d->Current = nullptr;
  d->InputsDirty = true;
  d->TextureDirty = ALL_UNITS;
  d->AutoMipUnits = 0;
}

void ColorOf(uint32_t argb, float *rgba)
{
  rgba[0] = float((argb >> 16) & 255) / 255.0f;
  rgba[1] = float((argb >> 8) & 255) / 255.0f;
  rgba[2] = float(argb & 255) / 255.0f;
  rgba[3] = float(argb >> 24) / 255.0f;
}

bool Intersect(Rect &a, const Rect &b)
{
  a.Left = std::max(a.Left, b.Left);
  a.Top = std::max(a.Top, b.Top);
  a.Right = std::min(a.Right, b.Right);
  a.Bottom = std::min(a.Bottom, b.Bottom);
  return a.Left < a.Right && a.Top < a.Bottom;
}

GLenum CompareFunc(uint32_t v)
{
  static const GLenum map[] = {GL_NEVER, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return v <= 8 ? map[v] : GL_ALWAYS;
}

GLenum StencilOp(uint32_t v)
{
  static const GLenum map[] = {GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
  return v <= 8 ? map[v] : GL_KEEP;
}

GLenum BlendFactor(uint32_t v)
{
  switch (v)
  {
  case BLEND_ZERO: return GL_ZERO;
  case BLEND_ONE: return GL_ONE;
  case BLEND_SRCCOLOR: return GL_SRC_COLOR;
  case BLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
  case BLEND_SRCALPHA: return GL_SRC_ALPHA;
  case BLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
  case BLEND_DESTALPHA: return GL_DST_ALPHA;
  case BLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
  case BLEND_DESTCOLOR: return GL_DST_COLOR;
  case BLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
  case BLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
  case BLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
  case BLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
  default: return GL_ONE;
  }
}

GLenum BlendOp(uint32_t v)
{
  switch (v)
  {
  case BLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
  case BLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
  case BLENDOP_MIN: return GL_MIN;
  case BLENDOP_MAX: return GL_MAX;
  default: return GL_FUNC_ADD;
  }
}

// The two "both" factors set source and destination at once.
void BlendPair(uint32_t src, uint32_t dst, GLenum &s, GLenum &d)
{
  if (src == BLEND_BOTHSRCALPHA)
  {
    s = GL_SRC_ALPHA;
    d = GL_ONE_MINUS_SRC_ALPHA;
  }
  else if (src == BLEND_BOTHINVSRCALPHA)
  {
    s = GL_ONE_MINUS_SRC_ALPHA;
    d = GL_SRC_ALPHA;
  }
  else
  {
    s = BlendFactor(src);
    d = BlendFactor(dst);
  }
}

// Mirror-once mirrors the texture once about zero and clamps beyond; GL 3.3 core has it
// only through an extension, without which it falls back to repeated mirroring.
GLenum AddressMode(uint32_t v, bool mirrorClamp)
{
  switch (v)
  {
  case TADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
  case TADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
  case TADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
  case TADDRESS_MIRRORONCE: return mirrorClamp ? GLenum(0x8743) /* MIRROR_CLAMP_TO_EDGE */ : GL_MIRRORED_REPEAT;
  default: return GL_REPEAT;
  }
}

void DefaultStates(DeviceImpl *d)
{
  std::memset(d->RS, 0, sizeof(d->RS));
  uint32_t *rs = d->RS;
  rs[RS_ZENABLE] = ZB_FALSE;  // no automatic depth buffer
  rs[RS_FILLMODE] = FILL_SOLID;
  rs[RS_SHADEMODE] = 2;
  rs[RS_ZWRITEENABLE] = 1;
  rs[RS_LASTPIXEL] = 1;
  rs[RS_SRCBLEND] = BLEND_ONE;
  rs[RS_DESTBLEND] = BLEND_ZERO;
  rs[RS_CULLMODE] = CULL_CCW;
  rs[RS_ZFUNC] = CMP_LESSEQUAL;
  rs[RS_ALPHAFUNC] = CMP_ALWAYS;
  rs[RS_STENCILFAIL] = rs[RS_STENCILZFAIL] = rs[RS_STENCILPASS] = STENCILOP_KEEP;
  rs[RS_STENCILFUNC] = CMP_ALWAYS;
  rs[RS_STENCILMASK] = rs[RS_STENCILWRITEMASK] = 0xFFFFFFFFu;
  rs[RS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  rs[RS_LIGHTING] = 1;
  rs[RS_DIFFUSEMATERIALSOURCE] = 1;
  rs[RS_SPECULARMATERIALSOURCE] = 2;
  rs[RS_MULTISAMPLEANTIALIAS] = 1;
  rs[RS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
  rs[RS_COLORWRITEENABLE] = rs[RS_COLORWRITEENABLE1] = rs[RS_COLORWRITEENABLE2] = rs[RS_COLORWRITEENABLE3] = 15;
  rs[RS_BLENDOP] = rs[RS_BLENDOPALPHA] = BLENDOP_ADD;
  rs[RS_CCW_STENCILFAIL] = rs[RS_CCW_STENCILZFAIL] = rs[RS_CCW_STENCILPASS] = STENCILOP_KEEP;
  rs[RS_CCW_STENCILFUNC] = CMP_ALWAYS;
  rs[RS_BLENDFACTOR] = 0xFFFFFFFFu;
  rs[RS_SRCBLENDALPHA] = BLEND_ONE;
  rs[RS_DESTBLENDALPHA] = BLEND_ZERO;
  for (int s = 0; s < SAMPLER_UNITS; s++)
  {
    uint32_t *ss = d->SS[s];
    std::memset(ss, 0, sizeof(d->SS[s]));
    ss[SAMP_ADDRESSU] = ss[SAMP_ADDRESSV] = ss[SAMP_ADDRESSW] = TADDRESS_WRAP;
    ss[SAMP_MAGFILTER] = ss[SAMP_MINFILTER] = TEXF_POINT;
    ss[SAMP_MIPFILTER] = TEXF_NONE;
    ss[SAMP_MAXANISOTROPY] = 1;
  }
  d->SamplerDirty = ALL_UNITS;
  d->StatesDirty = DIRTY_ALL;
}

// The group of GL state a render state feeds (0: none; the alpha test is part of the program).
uint32_t StateGroup(uint32_t state)
{
  switch (state)
  {
  case RS_SCISSORTESTENABLE: return DIRTY_VIEW;
  case RS_ZENABLE:
  case RS_ZFUNC:
  case RS_ZWRITEENABLE: return DIRTY_DEPTH;
  case RS_CULLMODE:
  case RS_FILLMODE:
  case RS_SLOPESCALEDEPTHBIAS:
  case RS_DEPTHBIAS:
  case RS_MULTISAMPLEANTIALIAS: return DIRTY_RASTER;
  case RS_ALPHABLENDENABLE:
  case RS_SRCBLEND:
  case RS_DESTBLEND:
  case RS_BLENDOP:
  case RS_SEPARATEALPHABLENDENABLE:
  case RS_SRCBLENDALPHA:
  case RS_DESTBLENDALPHA:
  case RS_BLENDOPALPHA:
  case RS_BLENDFACTOR: return DIRTY_BLEND;
  case RS_COLORWRITEENABLE:
  case RS_COLORWRITEENABLE1:
  case RS_COLORWRITEENABLE2:
  case RS_COLORWRITEENABLE3: return DIRTY_MASKS;
  case RS_STENCILENABLE:
  case RS_STENCILFAIL:
  case RS_STENCILZFAIL:
  case RS_STENCILPASS:
  case RS_STENCILFUNC:
  case RS_STENCILREF:
  case RS_STENCILMASK:
  case RS_STENCILWRITEMASK:
  case RS_TWOSIDEDSTENCILMODE:
  case RS_CCW_STENCILFAIL:
  case RS_CCW_STENCILZFAIL:
  case RS_CCW_STENCILPASS:
  case RS_CCW_STENCILFUNC: return DIRTY_STENCIL;
  default: return 0;
  }
}

// Sampler unit of a Direct3D sampler number, -1 when invalid.
int SamplerUnit(uint32_t sampler)
{
  if (sampler < PIXEL_SAMPLERS)
    return int(sampler);
  if (sampler >= VERTEXSAMPLER0 && sampler < VERTEXSAMPLER0 + VERTEX_SAMPLERS)
    return int(PIXEL_SAMPLERS + sampler - VERTEXSAMPLER0);
  return -1;
}

bool IsGpuSurface(const SurfaceImpl *s) { return s->Kind != SurfaceKind::SystemMemory; }
}

void MakeCurrent(Device *dev)
{
  DeviceImpl *d = dev->Impl();
  if (SDL_GL_GetCurrentContext() != d->Ctx)
    SDL_GL_MakeCurrent(d->Win, SDL_GLContext(d->Ctx));
}

void AttachSurface(GLenum target, GLenum colorPoint, SurfaceImpl *s)
{
  GLenum point = colorPoint;
  if (s->Info->Depth)
    point = s->Info->Stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
  if (s->Renderbuffer)
    glFramebufferRenderbuffer(target, point, GL_RENDERBUFFER, s->Renderbuffer);
  else
    glFramebufferTexture2D(target, point, s->TexTarget, s->Tex, s->Level);
}

void DetachAll(GLenum target)
{
  for (int i = 0; i < 4; i++)
    glFramebufferRenderbuffer(target, GL_COLOR_ATTACHMENT0 + i, GL_RENDERBUFFER, 0);
  glFramebufferRenderbuffer(target, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
}

void MakeMips(DeviceImpl *d, TextureImpl *t)
{
  t->MipsDirty = false;
  if (!t->PointMips || t->Info->Depth)
  {
    glGenerateMipmap(t->Target);
    return;
  }
  // each level from the one above through a blit without filtering, so a texel of a
  // smaller level is one texel of the larger; the draw's framebuffers, scissor and masks
  // are put back afterwards (this runs while a draw is being set up)
  GLint drawFbo = 0, readFbo = 0;
  GLboolean mask[4];
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  bool ok = true;
  const int faces = t->Target == GL_TEXTURE_CUBE_MAP ? 6 : 1;
  for (uint32_t l = 1; l < t->Levels && ok; l++)
    for (int f = 0; f < faces && ok; f++)
    {
      const GLenum target = faces == 6 ? GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f) : t->Target;
      glBindFramebuffer(GL_READ_FRAMEBUFFER, d->ReadFBO);
      DetachAll(GL_READ_FRAMEBUFFER);
      glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, target, t->Name, GLint(l - 1));
      glReadBuffer(GL_COLOR_ATTACHMENT0);
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, d->TmpFBO);
      DetachAll(GL_DRAW_FRAMEBUFFER);
      glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, target, t->Name, GLint(l));
      glDrawBuffer(GL_COLOR_ATTACHMENT0);
      ok = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
           glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
      if (ok)
        glBlitFramebuffer(0, 0, GLint(t->LevelWidth(l - 1)), GLint(t->LevelHeight(l - 1)), 0, 0,
                          GLint(t->LevelWidth(l)), GLint(t->LevelHeight(l)), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, d->ReadFBO);
  DetachAll(GL_READ_FRAMEBUFFER);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, d->TmpFBO);
  DetachAll(GL_DRAW_FRAMEBUFFER);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFbo));
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
  glColorMask(mask[0], mask[1], mask[2], mask[3]);
  if (scissor)
    glEnable(GL_SCISSOR_TEST);
  // a format the driver cannot draw into makes its levels the usual way
  if (!ok)
    glGenerateMipmap(t->Target);
}

// ---------------------------------------------------------------------------------------
// Lifetime

namespace
{
// The queue bound of a renderer: on Mesa's software rasterizers a frame's queued triangles
// would take hundreds of MB. The bound is about one of the largest meshes, so at most two
// such batches are queued (twice that left the whole show's peak above 560 MB).
// SPARK_GPU_QUEUE_BOUND sets another bound, 0 none.
uint64_t QueueBoundFor(const char *renderer)
{
  if (const char *env = SDL_getenv("SPARK_GPU_QUEUE_BOUND"); env && *env)
    return std::strtoull(env, nullptr, 10);
  if (IsSoftwareRasterizer(renderer))
    return 130000;
  return 0;
}
}  // namespace

// A device keeps SDL's video running even when the entry object is gone first.
Device::Device() : I(new DeviceImpl) { SDL_InitSubSystem(SDL_INIT_VIDEO); }

Device::~Device()
{
  MakeCurrent(this);
  DeviceImpl *d = I;
  DropBindings(d);
  if (d->BackBuffer)
    d->BackBuffer->Release();
  d->BackBuffer = nullptr;
  delete d->Chain;
  for (DeviceImpl::Screen &s : d->Screens)
  {
    if (s.BackBuffer)
      s.BackBuffer->Release();
    delete s.Chain;
  }
  d->Screens.clear();
  // what the program still holds becomes an empty shell
  for (Resource *r : std::vector<Resource *>(d->Live.begin(), d->Live.end()))
  {
    r->FreeGL();
    r->Dev = nullptr;
  }
  d->Live.clear();
  for (auto &p : d->Programs)
    glDeleteProgram(p.second.Name);
  for (auto &s : d->Samplers)
    glDeleteSamplers(1, &s.second);
  if (d->QueueFence)
    glDeleteSync(d->QueueFence);
  glDeleteBuffers(2, d->UBO);
  glDeleteVertexArrays(1, &d->VAO);
  GLuint fbos[] = {d->DrawFBO, d->ReadFBO, d->TmpFBO};
  glDeleteFramebuffers(3, fbos);
  SDL_GL_MakeCurrent(d->Win, nullptr);
  SDL_GL_DeleteContext(SDL_GLContext(d->Ctx));
  if (d->OwnWindow)
    SDL_DestroyWindow(d->Win);
  delete d;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

SDL_Window *Device::Window() const { return I->OwnWindow ? nullptr : I->Win; }
const PresentParameters &Device::GetPresentParameters() const { return I->PP; }
int Device::DefaultPoolResources() const { return I->DefaultCount; }
const std::string &Device::LastShaderError() const { return I->ShaderError; }
void Device::InjectLostDevice() { I->InjectLost = true; }

// Makes a back buffer for present parameters (a size of 0 takes the window's drawable size).
Result MakeBackBuffer(Device *dev, SDL_Window *win, PresentParameters &pp, Surface **out)
{
  *out = nullptr;
  if (pp.BackBufferWidth == 0 || pp.BackBufferHeight == 0)
  {
    int w = 0, h = 0;
    if (win)
      SDL_GL_GetDrawableSize(win, &w, &h);
    pp.BackBufferWidth = w > 0 ? uint32_t(w) : 640;
    pp.BackBufferHeight = h > 0 ? uint32_t(h) : 480;
  }
  if (pp.BackBufferFormat == FMT_UNKNOWN)
    pp.BackBufferFormat = FMT_X8R8G8B8;
  const FormatInfo *fi = FindFormat(pp.BackBufferFormat);
  if (!fi || !fi->Renderable)
    return ERR_INVALIDCALL;
  Surface *bb = nullptr;
  Result r = dev->CreateRenderTarget(pp.BackBufferWidth, pp.BackBufferHeight, pp.BackBufferFormat, MULTISAMPLE_NONE,
                                     0, false, &bb);
  if (Failed(r))
    return r;
  bb->Impl()->Kind = SurfaceKind::BackBuffer;
  *out = bb;
  return RES_OK;
}

// Makes the back buffers for the present parameters and binds screen 0's as the only
// target. Shared by creation and Reset.
Result CreateBackBuffer(Device *dev)
{
  DeviceImpl *d = dev->Impl();
  Result r = MakeBackBuffer(dev, d->OwnWindow ? nullptr : d->Win, d->PP, &d->BackBuffer);
  if (Failed(r))
    return r;
  for (DeviceImpl::Screen &s : d->Screens)
    if (Failed(r = MakeBackBuffer(dev, s.Win, s.PP, &s.BackBuffer)))
      return r;
  dev->SetRenderTarget(0, d->BackBuffer);
  return RES_OK;
}

// The screens after the first of an adapter-group device, before its back buffers exist.
Result AddScreens(Device *dev, const PresentParameters *pp, uint32_t count)
{
  DeviceImpl *d = dev->Impl();
  for (uint32_t s = 1; s < count; s++)
  {
    if (!pp[s].DeviceWindow || !(SDL_GetWindowFlags(pp[s].DeviceWindow) & SDL_WINDOW_OPENGL))
      return ERR_INVALIDCALL;
    DeviceImpl::Screen screen;
    screen.Win = pp[s].DeviceWindow;
    screen.PP = pp[s];
    screen.Chain = new SwapChain(dev, s);
    // only the main window waits for the retrace: one wait a frame, not one per screen
    if (SDL_GL_MakeCurrent(screen.Win, SDL_GLContext(d->Ctx)) == 0)
      SDL_GL_SetSwapInterval(0);
    d->Screens.push_back(screen);
  }
  SDL_GL_MakeCurrent(d->Win, SDL_GLContext(d->Ctx));
  return RES_OK;
}

// Context-wide objects and the state of a fresh device.
Result InitDevice(Device *dev)
{
  DeviceImpl *d = dev->Impl();
  GLint n = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &n);
  for (GLint i = 0; i < n; i++)
  {
    const char *e = reinterpret_cast<const char *>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
    if (e && std::strcmp(e, "GL_EXT_texture_compression_s3tc") == 0)
      d->HasS3TC = true;
    if (e && std::strcmp(e, "GL_EXT_texture_sRGB_decode") == 0)
      d->HasSrgbDecode = true;
    if (e && std::strcmp(e, "GL_EXT_texture_sRGB") == 0)
      d->HasSrgbS3TC = true;
    if (e && (std::strcmp(e, "GL_ARB_texture_mirror_clamp_to_edge") == 0 ||
              std::strcmp(e, "GL_EXT_texture_mirror_clamp") == 0))
      d->HasMirrorClamp = true;
    if (e && (std::strcmp(e, "GL_EXT_texture_filter_anisotropic") == 0 ||
              std::strcmp(e, "GL_ARB_texture_filter_anisotropic") == 0))
      glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &d->MaxAniso);
  }
  d->MaxAniso = UsableAnisotropy(d->MaxAniso);
  d->QueueBound = QueueBoundFor(reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
  glGetIntegerv(GL_MAX_SAMPLES, &d->MaxSamples);
  glGetError();
  if (const char *off = SDL_getenv("SPARK_GPU_NO_S3TC"); off && *off == '1')
    d->HasS3TC = false;
  // the one vertex array stays bound for the device's life
  glGenVertexArrays(1, &d->VAO);
  glBindVertexArray(d->VAO);
  glGenBuffers(2, d->UBO);
  glBindBuffer(GL_UNIFORM_BUFFER, d->UBO[0]);
  glBufferData(GL_UNIFORM_BUFFER, VS_BLOCK, nullptr, GL_DYNAMIC_DRAW);
  glBindBuffer(GL_UNIFORM_BUFFER, d->UBO[1]);
  glBufferData(GL_UNIFORM_BUFFER, PS_BLOCK, nullptr, GL_DYNAMIC_DRAW);
  glBindBufferBase(GL_UNIFORM_BUFFER, 0, d->UBO[0]);
  glBindBufferBase(GL_UNIFORM_BUFFER, 1, d->UBO[1]);
  d->BoundUBO = d->UBO[1];
  GLuint fbos[3];
  glGenFramebuffers(3, fbos);
  d->DrawFBO = fbos[0];
  d->ReadFBO = fbos[1];
  d->TmpFBO = fbos[2];
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  DefaultStates(d);
  d->Chain = new SwapChain(dev, 0);
  return RES_OK;
}

Result Device::TestCooperativeLevel()
{
  return I->Lost ? ERR_DEVICENOTRESET : RES_OK;
}

Result Device::Reset(PresentParameters &pp)
{
  MakeCurrent(this);
  DeviceImpl *d = I;
  // a reset drops every binding, as a fresh device has none
  DropBindings(d);
  for (int s = 0; s < MAX_STREAMS; s++)
    d->StreamFreq[s] = 1;
  d->InScene = false;
  // every default-pool resource of the program must be gone (the back buffers are ours)
  bool held = d->BackBuffer && d->BackBuffer->RefCount() > 1;
  int ours = d->BackBuffer ? 1 : 0;
  for (const DeviceImpl::Screen &s : d->Screens)
  {
    held |= s.BackBuffer && s.BackBuffer->RefCount() > 1;
    ours += s.BackBuffer ? 1 : 0;
  }
  if (d->DefaultCount - ours > 0 || held)
  {
    d->Lost = true;
    if (d->BackBuffer)
      SetRenderTarget(0, d->BackBuffer);
    return ERR_INVALIDCALL;
  }
  if (d->BackBuffer)
    d->BackBuffer->Release();
  d->BackBuffer = nullptr;
  for (DeviceImpl::Screen &s : d->Screens)
  {
    if (s.BackBuffer)
      s.BackBuffer->Release();
    s.BackBuffer = nullptr;
  }
  d->PP = pp;  // a size of 0 takes the window's drawable size
  if (!d->OwnWindow)
    SDL_GL_SetSwapInterval(d->PP.PresentationInterval == PRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  DefaultStates(d);
  d->VSBlock.assign(VS_BLOCK, 0);
  d->PSBlock.assign(PS_BLOCK, 0);
  d->VSDirty = d->PSDirty = true;
  d->DirtyLo[0] = d->DirtyLo[1] = 0;
  d->DirtyHi[0] = VS_BLOCK;
  d->DirtyHi[1] = PS_BLOCK;
  Result r = CreateBackBuffer(this);
  if (Failed(r))
  {
    d->Lost = true;  // no back buffer: only another Reset helps
    return r;
  }
  pp = d->PP;
  d->Lost = false;
  d->InjectLost = false;
  return RES_OK;
}

// Copies a back buffer into the window the context is current with, and swaps.
static void ShowBackBuffer(DeviceImpl *d, SDL_Window *win, SurfaceImpl *bb)
{
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(win, &w, &h);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, d->ReadFBO);
  DetachAll(GL_READ_FRAMEBUFFER);
  AttachSurface(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, bb);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  // rows are stored top first: flip into the window
  glBlitFramebuffer(0, 0, GLint(bb->Width), GLint(bb->Height), 0, h, w, 0, GL_COLOR_BUFFER_BIT,
                    (int(bb->Width) == w && int(bb->Height) == h) ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(win);
}

Result Device::Present()
{
  DeviceImpl *d = I;
  if (d->InjectLost)
  {
    d->InjectLost = false;
    d->Lost = true;
  }
  if (d->Lost)
    return ERR_DEVICELOST;
  if (!d->BackBuffer)
    return ERR_INVALIDCALL;
  MakeCurrent(this);
  if (d->OwnWindow)
  {
    glFlush();
    return RES_OK;
  }
  ShowBackBuffer(d, d->Win, d->BackBuffer->Impl());
  if (!d->Screens.empty())
  {
    for (DeviceImpl::Screen &s : d->Screens)
      if (s.BackBuffer && SDL_GL_MakeCurrent(s.Win, SDL_GLContext(d->Ctx)) == 0)
        ShowBackBuffer(d, s.Win, s.BackBuffer->Impl());
    SDL_GL_MakeCurrent(d->Win, SDL_GLContext(d->Ctx));
  }
  d->StatesDirty |= DIRTY_VIEW | DIRTY_MASKS;
  d->DrawFBOBound = false;
  return RES_OK;
}

Result Device::GetBackBuffer(uint32_t swapChain, uint32_t index, Surface **out)
{
  *out = nullptr;
  if (swapChain > I->Screens.size() || index != 0)
    return ERR_INVALIDCALL;
  Surface *bb = swapChain == 0 ? I->BackBuffer : I->Screens[swapChain - 1].BackBuffer;
  if (!bb)
    return ERR_INVALIDCALL;
  bb->AddRef();
  *out = bb;
  return RES_OK;
}

Result Device::GetSwapChain(uint32_t index, SwapChain **out)
{
  *out = nullptr;
  if (index > I->Screens.size())
    return ERR_INVALIDCALL;
  SwapChain *c = index == 0 ? I->Chain : I->Screens[index - 1].Chain;
  c->AddRef();
  *out = c;
  return RES_OK;
}

uint32_t Device::GetNumberOfSwapChains() const { return uint32_t(1 + I->Screens.size()); }

Result Device::BeginScene()
{
  if (I->InScene)
    return ERR_INVALIDCALL;
  I->InScene = true;
  return RES_OK;
}

Result Device::EndScene()
{
  if (!I->InScene)
    return ERR_INVALIDCALL;
  I->InScene = false;
  return RES_OK;
}

// ---------------------------------------------------------------------------------------
// Resource creation

static uint32_t FullChain(uint32_t w, uint32_t h)
{
  uint32_t n = 1;
  while ((w | h) >> n)
    n++;
  return n;
}

static Result CreateTextureCommon(Device *dev, ResourceType type, uint32_t width, uint32_t height, uint32_t levels,
                                  uint32_t usage, Format fmt, Pool pool, BaseTexture **out)
{
  *out = nullptr;
  DeviceImpl *d = dev->Impl();
  const FormatInfo *fi = FindFormat(fmt);
  if (!fi || width == 0 || height == 0 || width > 16384 || height > 16384)
    return ERR_INVALIDCALL;
  if (fi->Depth && !(usage & USAGE_DEPTHSTENCIL))
    return ERR_INVALIDCALL;
  if ((usage & USAGE_DEPTHSTENCIL) && !fi->Depth)
    return ERR_INVALIDCALL;
  if ((usage & USAGE_RENDERTARGET) && !fi->Renderable)
    return ERR_INVALIDCALL;
  if ((usage & (USAGE_RENDERTARGET | USAGE_DEPTHSTENCIL | USAGE_DYNAMIC)) && pool != POOL_DEFAULT)
    return ERR_INVALIDCALL;
  if ((usage & USAGE_AUTOGENMIPMAP) && (fi->BlockBytes || fi->Depth))
    return ERR_INVALIDCALL;
  if (pool == POOL_SYSTEMMEM || pool == POOL_SCRATCH)
    return ERR_INVALIDCALL;  // textures live on the device; system-memory copies are plain surfaces
  uint32_t full = FullChain(width, height);
  if (levels == 0 || levels > full || (usage & USAGE_AUTOGENMIPMAP))
    levels = (usage & USAGE_AUTOGENMIPMAP) || levels == 0 ? full : std::min(levels, full);
  MakeCurrent(dev);
  auto *t = new TextureImpl;
  t->Type = type;
  t->Target = type == RTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
  t->Fmt = fmt;
  t->Info = fi;
  t->Width = width;
  t->Height = height;
  t->Levels = levels;
  t->Usage = usage;
  t->Pl = pool;
  t->Decoded = fi->BlockBytes && !d->HasS3TC;
  // colour textures that shaders may read as sRGB are stored in an sRGB format whose
  // decoding each sampler switches on or off
  t->Internal = t->Decoded ? GL_RGBA8 : fi->Internal;
  if (d->HasSrgbDecode && !(usage & (USAGE_RENDERTARGET | USAGE_DEPTHSTENCIL)))
  {
    if (t->Internal == GL_RGBA8)
      t->Internal = GL_SRGB8_ALPHA8;
    else if (d->HasSrgbS3TC && fi->BlockBytes)
      t->Internal = fmt == FMT_DXT1 ? GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT
                    : fmt == FMT_DXT3 ? GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT3_EXT
                                      : GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT;
    t->Srgb = t->Internal != (t->Decoded ? GLenum(GL_RGBA8) : fi->Internal);
  }
  while (glGetError() != GL_NO_ERROR)
  {
  }
  glGenTextures(1, &t->Name);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(t->Target, t->Name);
  UnitTouched(d, 0);
  glTexParameteri(t->Target, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(t->Target, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
  glTexParameteriv(t->Target, GL_TEXTURE_SWIZZLE_RGBA, fi->Swizzle);
  if (t->Srgb)
    glTexParameteri(t->Target, GL_TEXTURE_SRGB_DECODE_EXT, GL_SKIP_DECODE_EXT);
  int faces = type == RTYPE_CUBETEXTURE ? 6 : 1;
  for (int f = 0; f < faces; f++)
  {
    GLenum target = type == RTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + f : GL_TEXTURE_2D;
    for (uint32_t l = 0; l < levels; l++)
    {
      GLsizei w = GLsizei(t->LevelWidth(l)), h = GLsizei(t->LevelHeight(l));
      if (fi->BlockBytes && !t->Decoded)
      {
        std::vector<uint8_t> zero(size_t(FormatPitch(fmt, w)) * FormatRows(fmt, h));
        glCompressedTexImage2D(target, GLint(l), t->Internal, w, h, 0, GLsizei(zero.size()), zero.data());
      }
      else if (fi->BlockBytes)
        glTexImage2D(target, GLint(l), GLint(t->Internal), w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
      else
        glTexImage2D(target, GLint(l), GLint(t->Internal), w, h, 0, fi->PixFormat, fi->PixType, nullptr);
    }
  }
  GLenum err = glGetError();
  BaseTexture *tex = type == RTYPE_CUBETEXTURE ? static_cast<BaseTexture *>(new CubeTexture(dev, t, pool == POOL_DEFAULT))
                                               : static_cast<BaseTexture *>(new Texture(dev, t, pool == POOL_DEFAULT));
  if (err != GL_NO_ERROR)
  {
    tex->Release();
    return err == GL_OUT_OF_MEMORY ? ERR_OUTOFVIDEOMEMORY : ERR_INVALIDCALL;
  }
  *out = tex;
  return RES_OK;
}

Result Device::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format fmt, Pool pool,
                             Texture **out)
{
  BaseTexture *t = nullptr;
  Result r = CreateTextureCommon(this, RTYPE_TEXTURE, width, height, levels, usage, fmt, pool, &t);
  *out = static_cast<Texture *>(t);
  return r;
}

Result Device::CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, Format fmt, Pool pool,
                                 CubeTexture **out)
{
  BaseTexture *t = nullptr;
  Result r = CreateTextureCommon(this, RTYPE_CUBETEXTURE, edge, edge, levels, usage, fmt, pool, &t);
  *out = static_cast<CubeTexture *>(t);
  return r;
}

static Result CreateGpuSurface(Device *dev, uint32_t width, uint32_t height, Format fmt, MultiSampleType ms,
                               uint32_t quality, bool depth, Surface **out)
{
  *out = nullptr;
  DeviceImpl *d = dev->Impl();
  const FormatInfo *fi = FindFormat(fmt);
  if (!fi || width == 0 || height == 0 || width > 16384 || height > 16384)
    return ERR_INVALIDCALL;
  if (depth ? !fi->Depth : !fi->Renderable)
    return ERR_INVALIDCALL;
  int samples = SamplesFor(ms, quality);
  if (samples > d->MaxSamples)
    return ERR_INVALIDCALL;
  MakeCurrent(dev);
  while (glGetError() != GL_NO_ERROR)
  {
  }
  auto *s = new SurfaceImpl;
  s->Kind = depth ? SurfaceKind::DepthStencil : SurfaceKind::RenderTarget;
  s->Fmt = fmt;
  s->Info = fi;
  s->Width = width;
  s->Height = height;
  s->Usage = depth ? USAGE_DEPTHSTENCIL : USAGE_RENDERTARGET;
  s->Pl = POOL_DEFAULT;
  s->Samples = samples;
  s->MultiSample = ms;
  s->Quality = quality;
  if (samples || depth)
  {
    glGenRenderbuffers(1, &s->Renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, s->Renderbuffer);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, fi->Internal, GLsizei(width), GLsizei(height));
  }
  else
  {
    glGenTextures(1, &s->Tex);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, s->Tex);
    UnitTouched(d, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, fi->Swizzle);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(fi->Internal), GLsizei(width), GLsizei(height), 0, fi->PixFormat, fi->PixType,
                 nullptr);
  }
  GLenum err = glGetError();
  auto *surface = new Surface(dev, s, true);
  if (err != GL_NO_ERROR)
  {
    surface->Release();
    return err == GL_OUT_OF_MEMORY ? ERR_OUTOFVIDEOMEMORY : ERR_INVALIDCALL;
  }
  *out = surface;
  return RES_OK;
}

Result Device::CreateRenderTarget(uint32_t width, uint32_t height, Format fmt, MultiSampleType ms, uint32_t quality,
                                  bool lockable, Surface **out)
{
  if (lockable)  // render targets are read back through GetRenderTargetData
  {
    *out = nullptr;
    return ERR_INVALIDCALL;
  }
  return CreateGpuSurface(this, width, height, fmt, ms, quality, false, out);
}

Result Device::CreateDepthStencilSurface(uint32_t width, uint32_t height, Format fmt, MultiSampleType ms,
                                         uint32_t quality, bool discard, Surface **out)
{
  (void)discard;
  return CreateGpuSurface(this, width, height, fmt, ms, quality, true, out);
}

Result Device::CreateOffscreenPlainSurface(uint32_t width, uint32_t height, Format fmt, Pool pool, Surface **out)
{
  *out = nullptr;
  const FormatInfo *fi = FindFormat(fmt);
  if (!fi || fi->Depth || width == 0 || height == 0 || width > 16384 || height > 16384)
    return ERR_INVALIDCALL;
  if (pool == POOL_DEFAULT)
  {
    if (!fi->Renderable)
      return ERR_INVALIDCALL;
    Result r = CreateGpuSurface(this, width, height, fmt, MULTISAMPLE_NONE, 0, false, out);
    if (!Failed(r))
      (*out)->Impl()->Usage = 0;
    return r;
  }
  if (pool == POOL_MANAGED)
    return ERR_INVALIDCALL;
  auto *s = new SurfaceImpl;
  s->Kind = SurfaceKind::SystemMemory;
  s->Fmt = fmt;
  s->Info = fi;
  s->Width = width;
  s->Height = height;
  s->Pl = pool;
  s->Cpu.assign(size_t(FormatPitch(fmt, int(width))) * FormatRows(fmt, int(height)), 0);
  *out = new Surface(this, s, false);
  return RES_OK;
}

Result Device::CreateVertexBuffer(uint32_t length, uint32_t usage, Pool pool, VertexBuffer **out)
{
  *out = nullptr;
  if (length == 0 || pool == POOL_SYSTEMMEM || pool == POOL_SCRATCH)
    return ERR_INVALIDCALL;
  return NewBuffer(false, length, usage, FMT_UNKNOWN, pool, out);
}

Result Device::CreateIndexBuffer(uint32_t length, uint32_t usage, Format fmt, Pool pool, IndexBuffer **out)
{
  *out = nullptr;
  if (length == 0 || (fmt != FMT_INDEX16 && fmt != FMT_INDEX32) || pool == POOL_SYSTEMMEM || pool == POOL_SCRATCH)
    return ERR_INVALIDCALL;
  return NewBuffer(true, length, usage, fmt, pool, out);
}

Result Device::NewBuffer(bool index, uint32_t length, uint32_t usage, Format fmt, Pool pool, Buffer **out)
{
  MakeCurrent(this);
  ClearGLErrors();
  auto *b = new Buffer(this, index, length, usage, fmt, pool);
  if (glGetError() == GL_OUT_OF_MEMORY)
  {
    b->Release();
    return ERR_OUTOFVIDEOMEMORY;
  }
  *out = b;
  return RES_OK;
}

Result Device::CreateVertexDeclaration(const VertexElement *elements, VertexDeclaration **out)
{
  *out = nullptr;
  std::vector<VertexElement> list;
  for (int i = 0; elements[i].Stream != 0xFF; i++)
  {
    const VertexElement &e = elements[i];
    if (i >= 64 || e.Stream >= MAX_STREAMS || e.Type >= DECLTYPE_UNUSED || e.Usage > DECLUSAGE_SAMPLE ||
        e.UsageIndex > 15)
      return ERR_INVALIDCALL;
    for (const VertexElement &o : list)
      if (o.Usage == e.Usage && o.UsageIndex == e.UsageIndex)
        return ERR_INVALIDCALL;
    list.push_back(e);
  }
  *out = new VertexDeclaration(this, std::move(list));
  return RES_OK;
}

Result Device::CreateQuery(QueryType type, Query **out)
{
  *out = nullptr;
  if (type != QUERY_EVENT && type != QUERY_OCCLUSION)
    return ERR_NOTAVAILABLE;
  *out = new Query(this, type);
  return RES_OK;
}

// ---------------------------------------------------------------------------------------
// Copies

Result Device::ColorFill(Surface *surface, const Rect *rect, uint32_t argb)
{
  if (!surface || surface->GetDevice() != this)
    return ERR_INVALIDCALL;
  SurfaceImpl *s = surface->Impl();
  Rect r = {0, 0, int32_t(s->Width), int32_t(s->Height)};
  if (rect)
  {
    Rect full = r;
    r = *rect;
    if (r.Left < 0 || r.Top < 0 || r.Right > full.Right || r.Bottom > full.Bottom || r.Left > r.Right || r.Top > r.Bottom)
      return ERR_INVALIDCALL;
    if (r.Left == r.Right || r.Top == r.Bottom)
      return RES_OK;
  }
  if (s->Info->Depth)
    return ERR_INVALIDCALL;
  if (s->Kind == SurfaceKind::SystemMemory)
  {
    int bpp = s->Info->Bytes;
    if (bpp != 4 && bpp != 2)
      return ERR_INVALIDCALL;
    uint32_t value = argb;
    switch (s->Fmt)
    {
    case FMT_A8R8G8B8:
    case FMT_X8R8G8B8: break;
    case FMT_R5G6B5: value = ((argb >> 8) & 0xF800) | ((argb >> 5) & 0x07E0) | ((argb >> 3) & 0x001F); break;
    case FMT_A1R5G5B5:
    case FMT_X1R5G5B5:
      value = ((argb >> 16) & 0x8000) | ((argb >> 9) & 0x7C00) | ((argb >> 6) & 0x03E0) | ((argb >> 3) & 0x001F);
      break;
    case FMT_A4R4G4B4:
      value = ((argb >> 16) & 0xF000) | ((argb >> 12) & 0x0F00) | ((argb >> 8) & 0x00F0) | ((argb >> 4) & 0x000F);
      break;
    default: return ERR_INVALIDCALL;
    }
    int pitch = FormatPitch(s->Fmt, int(s->Width));
    for (int y = r.Top; y < r.Bottom; y++)
      for (int x = r.Left; x < r.Right; x++)
        std::memcpy(s->Cpu.data() + size_t(y) * pitch + size_t(x) * bpp, &value, size_t(bpp));
    return RES_OK;
  }
  if (s->Kind == SurfaceKind::TextureLevel && !s->Info->Renderable)
    return ERR_INVALIDCALL;
  if (I->Lost)
    return RES_OK;
  MakeCurrent(this);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, I->TmpFBO);
  DetachAll(GL_DRAW_FRAMEBUFFER);
  AttachSurface(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, s);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glEnable(GL_SCISSOR_TEST);
  glScissor(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  float c[4];
  ColorOf(argb, c);
  glClearBufferfv(GL_COLOR, 0, c);
  Touch(s);
  I->StatesDirty |= DIRTY_VIEW | DIRTY_MASKS;
  I->DrawFBOBound = false;
  return RES_OK;
}

Result Device::StretchRect(Surface *src, const Rect *srcRect, Surface *dst, const Rect *dstRect, TextureFilter filter)
{
  if (!src || !dst || src == dst || src->GetDevice() != this || dst->GetDevice() != this)
    return ERR_INVALIDCALL;
  SurfaceImpl *s = src->Impl(), *t = dst->Impl();
  if (!IsGpuSurface(s) || !IsGpuSurface(t))
    return ERR_INVALIDCALL;
  if (s->Info->Depth != t->Info->Depth)
    return ERR_INVALIDCALL;
  if (t->Kind == SurfaceKind::TextureLevel && !(t->Usage & USAGE_RENDERTARGET))
    return ERR_INVALIDCALL;
  if (s->Tex && s->Tex == t->Tex && s->TexTarget == t->TexTarget && s->Level == t->Level)
    return ERR_INVALIDCALL;
  Rect sr = {0, 0, int32_t(s->Width), int32_t(s->Height)}, dr = {0, 0, int32_t(t->Width), int32_t(t->Height)};
  auto inside = [](const Rect &r, const SurfaceImpl *x) {
    return r.Left >= 0 && r.Top >= 0 && r.Right <= int(x->Width) && r.Bottom <= int(x->Height) && r.Left < r.Right &&
           r.Top < r.Bottom;
  };
  if (srcRect)
    sr = *srcRect;
  if (dstRect)
    dr = *dstRect;
  if (!inside(sr, s) || !inside(dr, t))
    return ERR_INVALIDCALL;
  bool depth = s->Info->Depth;
  if (depth && (srcRect || dstRect || s->Width != t->Width || s->Height != t->Height))
    return ERR_INVALIDCALL;  // depth copies are whole surfaces
  if (depth && s->Samples && (t->Samples || s->Info->Internal != t->Info->Internal))
    return ERR_INVALIDCALL;  // a multisampled depth buffer resolves only into its own format
  if (I->Lost)
    return RES_OK;
  MakeCurrent(this);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  I->StatesDirty |= DIRTY_VIEW | DIRTY_MASKS | DIRTY_DEPTH | DIRTY_STENCIL;
  I->DrawFBOBound = false;
  GLbitfield mask = depth ? (GL_DEPTH_BUFFER_BIT | (s->Info->Stencil && t->Info->Stencil ? GL_STENCIL_BUFFER_BIT : 0))
                          : GL_COLOR_BUFFER_BIT;
  GLenum glFilter = (filter == TEXF_LINEAR && !depth) ? GL_LINEAR : GL_NEAREST;
  bool sameSize = sr.Right - sr.Left == dr.Right - dr.Left && sr.Bottom - sr.Top == dr.Bottom - dr.Top;
  GLuint resolved = 0;
  ClearGLErrors();
  // GL resolves only between equal sizes and formats: anything else goes through a copy
  if (s->Samples && (!sameSize || t->Samples || s->Info->Internal != t->Info->Internal))
  {
    // a multisampled source is resolved first when it is stretched
    glGenRenderbuffers(1, &resolved);
    glBindRenderbuffer(GL_RENDERBUFFER, resolved);
    glRenderbufferStorage(GL_RENDERBUFFER, s->Info->Internal, GLsizei(s->Width), GLsizei(s->Height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, I->ReadFBO);
    DetachAll(GL_READ_FRAMEBUFFER);
    AttachSurface(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, s);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, I->TmpFBO);
    DetachAll(GL_DRAW_FRAMEBUFFER);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glBlitFramebuffer(0, 0, GLint(s->Width), GLint(s->Height), 0, 0, GLint(s->Width), GLint(s->Height), mask, GL_NEAREST);
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, I->ReadFBO);
  DetachAll(GL_READ_FRAMEBUFFER);
  if (resolved)
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved);
  else
    AttachSurface(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, s);
  glReadBuffer(depth ? GL_NONE : GL_COLOR_ATTACHMENT0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, I->TmpFBO);
  DetachAll(GL_DRAW_FRAMEBUFFER);
  AttachSurface(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, t);
  glDrawBuffer(depth ? GL_NONE : GL_COLOR_ATTACHMENT0);
  glBlitFramebuffer(sr.Left, sr.Top, sr.Right, sr.Bottom, dr.Left, dr.Top, dr.Right, dr.Bottom, mask, glFilter);
  if (resolved)
    glDeleteRenderbuffers(1, &resolved);
  Touch(t);
  return glGetError() == GL_NO_ERROR ? RES_OK : ERR_INVALIDCALL;
}

Result Device::GetRenderTargetData(Surface *renderTarget, Surface *sysmem)
{
  if (!renderTarget || !sysmem || renderTarget->GetDevice() != this || sysmem->GetDevice() != this)
    return ERR_INVALIDCALL;
  SurfaceImpl *s = renderTarget->Impl(), *t = sysmem->Impl();
  if (!IsGpuSurface(s) || t->Kind != SurfaceKind::SystemMemory || s->Samples || s->Info->Depth)
    return ERR_INVALIDCALL;
  if (s->Width != t->Width || s->Height != t->Height || s->Fmt != t->Fmt)
    return ERR_INVALIDCALL;
  if (I->Lost)
    return ERR_DEVICELOST;
  MakeCurrent(this);
  ClearGLErrors();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, I->ReadFBO);
  DetachAll(GL_READ_FRAMEBUFFER);
  AttachSurface(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, s);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  if (glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
    return ERR_INVALIDCALL;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  if (s->Info->Expand || s->Info->BlockBytes)
    return ERR_INVALIDCALL;
  glReadPixels(0, 0, GLsizei(s->Width), GLsizei(s->Height), s->Info->PixFormat, s->Info->PixType, t->Cpu.data());
  if (s->Fmt == FMT_X8R8G8B8)  // the unused byte reads as opaque
    for (size_t i = 3; i < t->Cpu.size(); i += 4)
      t->Cpu[i] = 0xFF;
  return glGetError() == GL_NO_ERROR ? RES_OK : ERR_INVALIDCALL;
}

// ---------------------------------------------------------------------------------------
// Targets, viewport, clear

Result Device::SetRenderTarget(uint32_t index, Surface *surface)
{
  if (index >= 4 || (index == 0 && !surface))
    return ERR_INVALIDCALL;
  if (surface)
  {
    SurfaceImpl *s = surface->Impl();
    if (surface->GetDevice() != this || !IsGpuSurface(s) || s->Info->Depth || !s->Info->Renderable)
      return ERR_INVALIDCALL;
    if (s->Kind == SurfaceKind::TextureLevel && !(s->Usage & USAGE_RENDERTARGET))
      return ERR_INVALIDCALL;
  }
  Rebind(I->RT[index], surface);
  I->TargetsDirty = true;
  if (index == 0)
  {
    // a new first target resets the viewport and scissor rectangle to the whole of it
    SurfaceImpl *s = surface->Impl();
    I->VP = {0, 0, s->Width, s->Height, 0.0f, 1.0f};
    I->Scissor = {0, 0, int32_t(s->Width), int32_t(s->Height)};
    // blending reads a target without alpha as opaque
    I->StatesDirty |= DIRTY_VIEW | DIRTY_BLEND;
  }
  return RES_OK;
}

Result Device::GetRenderTarget(uint32_t index, Surface **out)
{
  *out = nullptr;
  if (index >= 4)
    return ERR_INVALIDCALL;
  if (!I->RT[index])
    return ERR_NOTAVAILABLE;
  I->RT[index]->AddRef();
  *out = I->RT[index];
  return RES_OK;
}

Result Device::SetDepthStencilSurface(Surface *surface)
{
  if (surface && (surface->GetDevice() != this || !surface->Impl()->Info->Depth))
    return ERR_INVALIDCALL;
  Rebind(I->DS, surface);
  I->TargetsDirty = true;
  // depth and stencil tests apply only with a depth buffer
  I->StatesDirty |= DIRTY_DEPTH | DIRTY_STENCIL;
  return RES_OK;
}

Result Device::GetDepthStencilSurface(Surface **out)
{
  *out = nullptr;
  if (!I->DS)
    return ERR_NOTAVAILABLE;
  I->DS->AddRef();
  *out = I->DS;
  return RES_OK;
}

// Binds the framebuffer of the current targets; false when GL refuses the combination.
bool BindTargets(Device *dev)
{
  DeviceImpl *d = dev->Impl();
  if (!d->DrawFBOBound || d->TargetsDirty)
  {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, d->DrawFBO);
    d->DrawFBOBound = true;
  }
  // GL is asked about completeness only when the attachments change
  if (d->TargetsDirty)
  {
    DetachAll(GL_DRAW_FRAMEBUFFER);
    GLenum buffers[4];
    for (int i = 0; i < 4; i++)
    {
      buffers[i] = GL_NONE;
      if (d->RT[i])
      {
        AttachSurface(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, d->RT[i]->Impl());
        buffers[i] = GL_COLOR_ATTACHMENT0 + i;
      }
    }
    if (d->DS)
      AttachSurface(GL_DRAW_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, d->DS->Impl());
    glDrawBuffers(4, buffers);
    d->TargetsDirty = false;
    d->TargetsComplete = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }
  return d->TargetsComplete;
}

Result Device::Clear(uint32_t count, const Rect *rects, uint32_t flags, uint32_t argb, float z, uint32_t stencil)
{
  if ((flags & (CLEAR_ZBUFFER | CLEAR_STENCIL)) && !I->DS)
    return ERR_INVALIDCALL;
  if ((flags & CLEAR_STENCIL) && !I->DS->Impl()->Info->Stencil)
    return ERR_INVALIDCALL;
  if (count && !rects)
    return ERR_INVALIDCALL;
  if (I->Lost)
    return RES_OK;
  MakeCurrent(this);
  if (!BindTargets(this))
    return ERR_INVALIDCALL;
  // bounded by the viewport and, when on, the scissor rectangle; write masks do not apply
  Rect base = {int32_t(I->VP.X), int32_t(I->VP.Y), int32_t(I->VP.X + I->VP.Width), int32_t(I->VP.Y + I->VP.Height)};
  if (I->RS[RS_SCISSORTESTENABLE] && !Intersect(base, I->Scissor))
    return RES_OK;
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  for (int i = 1; i < 4; i++)
    glColorMaski(GLuint(i), GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  glEnable(GL_SCISSOR_TEST);
  float c[4];
  ColorOf(argb, c);
  glClearColor(c[0], c[1], c[2], c[3]);
  glClearDepth(std::clamp(z, 0.0f, 1.0f));
  glClearStencil(GLint(stencil & 0xFF));
  GLbitfield mask = ((flags & CLEAR_TARGET) ? GL_COLOR_BUFFER_BIT : 0) | ((flags & CLEAR_ZBUFFER) ? GL_DEPTH_BUFFER_BIT : 0) |
                    ((flags & CLEAR_STENCIL) ? GL_STENCIL_BUFFER_BIT : 0);
  uint32_t n = count ? count : 1;
  for (uint32_t i = 0; i < n; i++)
  {
    Rect r = base;
    if (count && !Intersect(r, rects[i]))
      continue;
    glScissor(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    glClear(mask);
  }
  for (Surface *rt : I->RT)
    if (rt && (flags & CLEAR_TARGET))
      Touch(rt->Impl());
  I->StatesDirty |= DIRTY_VIEW | DIRTY_MASKS | DIRTY_DEPTH | DIRTY_STENCIL;
  return RES_OK;
}

Result Device::SetViewport(const Viewport &vp)
{
  if (!I->RT[0])
    return ERR_INVALIDCALL;
  SurfaceImpl *s = I->RT[0]->Impl();
  if (vp.Width == 0 || vp.Height == 0 || uint64_t(vp.X) + vp.Width > s->Width || uint64_t(vp.Y) + vp.Height > s->Height ||
      !(vp.MinZ >= 0.0f && vp.MaxZ <= 1.0f && vp.MinZ <= vp.MaxZ))
    return ERR_INVALIDCALL;
  I->VP = vp;
  I->StatesDirty |= DIRTY_VIEW;
  return RES_OK;
}

Result Device::GetViewport(Viewport &vp) const
{
  vp = I->VP;
  return RES_OK;
}

Result Device::SetScissorRect(const Rect &rect)
{
  if (rect.Left > rect.Right || rect.Top > rect.Bottom)
    return ERR_INVALIDCALL;
  I->Scissor = rect;
  I->StatesDirty |= DIRTY_VIEW;
  return RES_OK;
}

Result Device::GetScissorRect(Rect &rect) const
{
  rect = I->Scissor;
  return RES_OK;
}

// ---------------------------------------------------------------------------------------
// States

Result Device::SetRenderState(uint32_t state, uint32_t value)
{
  if (state >= RS_COUNT)
    return ERR_INVALIDCALL;
  if (I->RS[state] != value)
  {
    I->RS[state] = value;
    I->StatesDirty |= StateGroup(state);
  }
  return RES_OK;
}

Result Device::GetRenderState(uint32_t state, uint32_t &value) const
{
  if (state >= RS_COUNT)
    return ERR_INVALIDCALL;
  value = I->RS[state];
  return RES_OK;
}

Result Device::SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value)
{
  int u = SamplerUnit(sampler);
  if (u < 0 || type == 0 || type >= SAMP_COUNT)
    return ERR_INVALIDCALL;
  if (I->SS[u][type] != value)
  {
    I->SS[u][type] = value;
    I->SamplerDirty |= 1u << u;
  }
  return RES_OK;
}

Result Device::GetSamplerState(uint32_t sampler, uint32_t type, uint32_t &value) const
{
  int u = SamplerUnit(sampler);
  if (u < 0 || type == 0 || type >= SAMP_COUNT)
    return ERR_INVALIDCALL;
  value = I->SS[u][type];
  return RES_OK;
}

Result Device::SetTexture(uint32_t sampler, BaseTexture *texture)
{
  int u = SamplerUnit(sampler);
  if (u < 0 || (texture && texture->GetDevice() != this))
    return ERR_INVALIDCALL;
  Rebind(I->Tex[u], texture);
  I->TextureDirty |= 1u << u;
  // automatic mipmaps are checked on every draw: drawing into level 0 makes them stale
  if (texture && (texture->Impl()->Usage & USAGE_AUTOGENMIPMAP))
    I->AutoMipUnits |= 1u << u;
  else
    I->AutoMipUnits &= ~(1u << u);
  return RES_OK;
}

Result Device::SetMaterial(const Material &material)
{
  I->Mtrl = material;
  return RES_OK;
}

Result Device::GetMaterial(Material &material) const
{
  material = I->Mtrl;
  return RES_OK;
}

Result Device::GetTexture(uint32_t sampler, BaseTexture **out)
{
  *out = nullptr;
  int u = SamplerUnit(sampler);
  if (u < 0)
    return ERR_INVALIDCALL;
  if (I->Tex[u])
    I->Tex[u]->AddRef();
  *out = I->Tex[u];
  return RES_OK;
}

// Brings the GL state in line with the render states, viewport and scissor: only the groups
// marked since the last draw.
void ApplyStates(Device *dev)
{
  DeviceImpl *d = dev->Impl();
  const uint32_t *rs = d->RS;
  uint32_t dirty = d->StatesDirty;
  d->StatesDirty = 0;
  if (dirty & DIRTY_VIEW)
  {
    glViewport(GLint(d->VP.X), GLint(d->VP.Y), GLsizei(d->VP.Width), GLsizei(d->VP.Height));
    glDepthRange(d->VP.MinZ, d->VP.MaxZ);
    if (rs[RS_SCISSORTESTENABLE])
    {
      glEnable(GL_SCISSOR_TEST);
      const Rect &s = d->Scissor;
      glScissor(s.Left, s.Top, std::max(0, s.Right - s.Left), std::max(0, s.Bottom - s.Top));
    }
    else
      glDisable(GL_SCISSOR_TEST);
  }
  if (dirty & DIRTY_DEPTH)
  {
    if (rs[RS_ZENABLE] && d->DS)
    {
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(CompareFunc(rs[RS_ZFUNC]));
      glDepthMask(rs[RS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    }
    else
      glDisable(GL_DEPTH_TEST);
  }
  if (dirty & DIRTY_RASTER)
  {
    float slope = 0, bias = 0;
    std::memcpy(&slope, &rs[RS_SLOPESCALEDEPTHBIAS], 4);
    std::memcpy(&bias, &rs[RS_DEPTHBIAS], 4);
    if (slope != 0 || bias != 0)
    {
      glEnable(GL_POLYGON_OFFSET_FILL);
      glPolygonOffset(slope, bias * 16777216.0f);
    }
    else
      glDisable(GL_POLYGON_OFFSET_FILL);
    // culling: the picture is drawn upside down in GL terms, which turns Direct3D's clockwise
    // into GL's counter-clockwise; GL's front faces are Direct3D's clockwise faces
    glFrontFace(GL_CCW);
    if (rs[RS_CULLMODE] == CULL_CW)
    {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_FRONT);
    }
    else if (rs[RS_CULLMODE] == CULL_CCW)
    {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
    }
    else
      glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK,
                  rs[RS_FILLMODE] == FILL_POINT ? GL_POINT : rs[RS_FILLMODE] == FILL_WIREFRAME ? GL_LINE : GL_FILL);
    if (rs[RS_MULTISAMPLEANTIALIAS])
      glEnable(GL_MULTISAMPLE);
    else
      glDisable(GL_MULTISAMPLE);
  }
  if (dirty & DIRTY_BLEND)
  {
    auto &sent = d->Blend;
    int enable = rs[RS_ALPHABLENDENABLE] ? 1 : 0;
    if (sent.Enabled != enable)
    {
      if (enable)
        glEnable(GL_BLEND);
      else
        glDisable(GL_BLEND);
      sent.Enabled = enable;
    }
    if (enable)
    {
      GLenum s, t, sa, ta;
      BlendPair(rs[RS_SRCBLEND], rs[RS_DESTBLEND], s, t);
      GLenum op = BlendOp(rs[RS_BLENDOP]), opa = op;
      sa = s;
      ta = t;
      if (rs[RS_SEPARATEALPHABLENDENABLE])
      {
        BlendPair(rs[RS_SRCBLENDALPHA], rs[RS_DESTBLENDALPHA], sa, ta);
        opa = BlendOp(rs[RS_BLENDOPALPHA]);
      }
      // a target without alpha reads its alpha as 1
      if (d->RT[0] && d->RT[0]->Impl()->Fmt == FMT_X8R8G8B8)
        for (GLenum *f : {&s, &t, &sa, &ta})
          *f = *f == GL_DST_ALPHA ? GL_ONE : *f == GL_ONE_MINUS_DST_ALPHA ? GL_ZERO : *f;
      const GLenum factors[4] = {s, t, sa, ta};
      if (!sent.Known || !std::equal(factors, factors + 4, sent.Factors))
        glBlendFuncSeparate(s, t, sa, ta);
      if (!sent.Known || sent.Ops[0] != op || sent.Ops[1] != opa)
        glBlendEquationSeparate(op, opa);
      if (!sent.Known || sent.Color != rs[RS_BLENDFACTOR])
      {
        float c[4];
        ColorOf(rs[RS_BLENDFACTOR], c);
        glBlendColor(c[0], c[1], c[2], c[3]);
      }
      std::copy(factors, factors + 4, sent.Factors);
      sent.Ops[0] = op;
      sent.Ops[1] = opa;
      sent.Color = rs[RS_BLENDFACTOR];
      sent.Known = true;
    }
  }
  if (dirty & DIRTY_MASKS)
  {
    const uint32_t masks[4] = {rs[RS_COLORWRITEENABLE], rs[RS_COLORWRITEENABLE1], rs[RS_COLORWRITEENABLE2],
                               rs[RS_COLORWRITEENABLE3]};
    for (int i = 0; i < 4; i++)
      glColorMaski(GLuint(i), (masks[i] & 1) != 0, (masks[i] & 2) != 0, (masks[i] & 4) != 0, (masks[i] & 8) != 0);
  }
  if (dirty & DIRTY_STENCIL)
  {
    if (rs[RS_STENCILENABLE] && d->DS && d->DS->Impl()->Info->Stencil)
    {
      glEnable(GL_STENCIL_TEST);
      GLint ref = GLint(rs[RS_STENCILREF] & 0xFF);
      GLuint mask = rs[RS_STENCILMASK], wmask = rs[RS_STENCILWRITEMASK];
      glStencilFuncSeparate(GL_FRONT, CompareFunc(rs[RS_STENCILFUNC]), ref, mask);
      glStencilOpSeparate(GL_FRONT, StencilOp(rs[RS_STENCILFAIL]), StencilOp(rs[RS_STENCILZFAIL]),
                          StencilOp(rs[RS_STENCILPASS]));
      if (rs[RS_TWOSIDEDSTENCILMODE])
      {
        glStencilFuncSeparate(GL_BACK, CompareFunc(rs[RS_CCW_STENCILFUNC]), ref, mask);
        glStencilOpSeparate(GL_BACK, StencilOp(rs[RS_CCW_STENCILFAIL]), StencilOp(rs[RS_CCW_STENCILZFAIL]),
                            StencilOp(rs[RS_CCW_STENCILPASS]));
      }
      else
      {
        glStencilFuncSeparate(GL_BACK, CompareFunc(rs[RS_STENCILFUNC]), ref, mask);
        glStencilOpSeparate(GL_BACK, StencilOp(rs[RS_STENCILFAIL]), StencilOp(rs[RS_STENCILZFAIL]),
                            StencilOp(rs[RS_STENCILPASS]));
      }
      glStencilMask(wmask);
    }
    else
      glDisable(GL_STENCIL_TEST);
  }
}

// The sampler object carrying a unit's sampler states, made at its first use.
static GLuint SamplerFor(DeviceImpl *d, const uint32_t *ss)
{
  std::array<uint32_t, SAMP_COUNT> key;
  std::copy(ss, ss + SAMP_COUNT, key.begin());
  auto [entry, made] = d->Samplers.try_emplace(key, 0);
  if (!made)
    return entry->second;
  GLuint s = 0;
  glGenSamplers(1, &s);
  entry->second = s;
  bool linearMin = ss[SAMP_MINFILTER] >= TEXF_LINEAR, linearMag = ss[SAMP_MAGFILTER] >= TEXF_LINEAR;
  GLenum min;
  if (ss[SAMP_MIPFILTER] == TEXF_NONE)
    min = linearMin ? GL_LINEAR : GL_NEAREST;
  else if (ss[SAMP_MIPFILTER] == TEXF_POINT)
    min = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  else
    min = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, GLint(min));
  glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, linearMag ? GL_LINEAR : GL_NEAREST);
  glSamplerParameteri(s, GL_TEXTURE_WRAP_S, GLint(AddressMode(ss[SAMP_ADDRESSU], d->HasMirrorClamp)));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_T, GLint(AddressMode(ss[SAMP_ADDRESSV], d->HasMirrorClamp)));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_R, GLint(AddressMode(ss[SAMP_ADDRESSW], d->HasMirrorClamp)));
  float border[4];
  ColorOf(ss[SAMP_BORDERCOLOR], border);
  glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
  float bias = 0;
  std::memcpy(&bias, &ss[SAMP_MIPMAPLODBIAS], 4);
  glSamplerParameterf(s, GL_TEXTURE_LOD_BIAS, bias);
  glSamplerParameterf(s, GL_TEXTURE_MIN_LOD, float(ss[SAMP_MAXMIPLEVEL]));
  if (d->HasSrgbDecode)
    glSamplerParameteri(s, GL_TEXTURE_SRGB_DECODE_EXT, ss[SAMP_SRGBTEXTURE] ? GL_DECODE_EXT : GL_SKIP_DECODE_EXT);
  if (d->MaxAniso > 1.0f)
  {
    bool aniso = ss[SAMP_MINFILTER] == TEXF_ANISOTROPIC || ss[SAMP_MAGFILTER] == TEXF_ANISOTROPIC;
    float a = aniso ? std::clamp(float(ss[SAMP_MAXANISOTROPY]), 1.0f, d->MaxAniso) : 1.0f;
    glSamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY, a);
  }
  return s;
}

// Binds the sampler objects and textures of the units marked since the last draw, and
// rebuilds automatic mipmaps that drawing made stale.
void ApplyTextures(Device *dev)
{
  DeviceImpl *d = dev->Impl();
  if (d->SamplerDirty && d->Samplers.size() > MAX_SAMPLER_OBJECTS)
  {
    // states that keep changing (an animated bias) would make samplers without end:
    // start the cache over, rebinding every unit
    for (auto &s : d->Samplers)
      glDeleteSamplers(1, &s.second);
    d->Samplers.clear();
    std::fill(std::begin(d->BoundSampler), std::end(d->BoundSampler), 0u);
    d->SamplerDirty = ALL_UNITS;
  }
  for (uint32_t bits = d->SamplerDirty; bits; bits &= bits - 1)
  {
    int u = std::countr_zero(bits);
    GLuint s = SamplerFor(d, d->SS[u]);
    if (d->BoundSampler[u] != s)
    {
      glBindSampler(GLuint(u), s);
      d->BoundSampler[u] = s;
    }
  }
  d->SamplerDirty = 0;
  for (uint32_t bits = d->TextureDirty | d->AutoMipUnits; bits; bits &= bits - 1)
  {
    int u = std::countr_zero(bits);
    BaseTexture *t = d->Tex[u];
    GLuint name = t ? t->Impl()->Name : 0;
    GLenum target = t ? t->Impl()->Target : GL_TEXTURE_2D;
    if (t && t->Impl()->MipsDirty)
    {
      glActiveTexture(GL_TEXTURE0 + GLenum(u));
      d->ActiveUnit = u;
      glBindTexture(target, name);
      MakeMips(d, t->Impl());
      d->BoundTex[u] = name;
      d->BoundTarget[u] = target;
    }
    if (d->BoundTex[u] == name && d->BoundTarget[u] == target)
      continue;
    if (d->ActiveUnit != u)
    {
      glActiveTexture(GL_TEXTURE0 + GLenum(u));
      d->ActiveUnit = u;
    }
    if (d->BoundTarget[u] && d->BoundTarget[u] != target)
      glBindTexture(d->BoundTarget[u], 0);
    glBindTexture(target, name);
    d->BoundTex[u] = name;
    d->BoundTarget[u] = target;
  }
  d->TextureDirty = 0;
}
}
