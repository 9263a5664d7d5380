#pragma once
// Inside the gpu layer: GL declarations and the records behind the public objects.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include "platform/gpu/gpu.hpp"
#include "platform/shader/shader.hpp"

#include <array>
#include <map>
#include <set>

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif
#ifndef GL_TEXTURE_SRGB_DECODE_EXT
#define GL_TEXTURE_SRGB_DECODE_EXT 0x8A48
#define GL_DECODE_EXT 0x8A49
#define GL_SKIP_DECODE_EXT 0x8A4A
#endif
#ifndef GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT
#define GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT 0x8C4D
#define GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT3_EXT 0x8C4E
#define GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT 0x8C4F
#endif
#ifndef GL_TEXTURE_MAX_ANISOTROPY
#define GL_TEXTURE_MAX_ANISOTROPY 0x84FE
#define GL_MAX_TEXTURE_MAX_ANISOTROPY 0x84FF
#endif

namespace plat::gpu
{
// How a format lives in GL.
struct FormatInfo
{
  Format Fmt;
  int Bytes;       // per pixel; 0 for block formats
  int BlockBytes;  // per 4x4 block
  GLenum Internal, PixFormat, PixType;
  GLint Swizzle[4];
  bool Depth, Stencil;
  bool Renderable;  // usable as a colour target
  bool Texture;     // usable as a (sampled) texture
  bool Expand;      // uploaded after conversion on the CPU (A4L4 -> RG8)
};
const FormatInfo *FindFormat(Format f);

// Converts a locked level in Direct3D layout into what glTexSubImage2D takes for `info`
// (only for formats with Expand, and block formats without driver support).
void ExpandA4L4(const uint8_t *src, int width, int height, int pitch, std::vector<uint8_t> &out);

struct TextureImpl
{
  ResourceType Type = RTYPE_TEXTURE;
  GLenum Target = GL_TEXTURE_2D;
  GLuint Name = 0;
  Format Fmt = FMT_UNKNOWN;
  const FormatInfo *Info = nullptr;
  uint32_t Width = 0, Height = 0, Levels = 1, Usage = 0;
  Pool Pl = POOL_MANAGED;
  bool Decoded = false;       // block format kept as RGBA8 (no S3TC in the driver)
  GLenum Internal = 0;        // the GL format it was made with
  bool Srgb = false;          // made sRGB-capable: samplers choose whether to decode
  bool MipsDirty = false;     // automatic mipmaps need regeneration
  bool PointMips = false;     // automatic mipmaps pick a texel instead of averaging
  // CPU copy of every face x level (Direct3D layout), made at the first lock. Once uploaded
  // it is dropped, unless the driver's copy cannot give the same bytes back (decoded block
  // formats, expanded formats) or the texture was locked again after a drop: such a texture
  // is locked again by design and keeps its copy from then on.
  std::vector<std::vector<uint8_t>> Shadow;
  std::vector<bool> ShadowDropped;   // per face x level: the copy went, the driver holds it
  bool KeepShadow = false;
  int LockedFace = -1, LockedLevel = -1;
  Rect LockedRect{};
  uint32_t LockFlags = 0;
  uint32_t LevelWidth(uint32_t l) const { return Width >> l ? Width >> l : 1; }
  uint32_t LevelHeight(uint32_t l) const { return Height >> l ? Height >> l : 1; }
};

enum class SurfaceKind { TextureLevel, RenderTarget, DepthStencil, SystemMemory, BackBuffer };

struct SurfaceImpl
{
  SurfaceKind Kind = SurfaceKind::SystemMemory;
  Format Fmt = FMT_UNKNOWN;
  const FormatInfo *Info = nullptr;
  uint32_t Width = 0, Height = 0;
  uint32_t Usage = 0;
  Pool Pl = POOL_DEFAULT;
  int Samples = 0;  // 0: not multisampled
  MultiSampleType MultiSample = MULTISAMPLE_NONE;
  uint32_t Quality = 0;
  // GL storage: a texture (with face target and level) or a renderbuffer
  GLuint Tex = 0;
  GLenum TexTarget = GL_TEXTURE_2D;  // or a cube face
  GLint Level = 0;
  GLuint Renderbuffer = 0;
  bool OwnsGL = true;
  BaseTexture *Parent = nullptr;  // texture levels: the texture (referenced)
  uint32_t Face = 0;
  std::vector<uint8_t> Cpu;  // system-memory surfaces
  bool Locked = false;
};

struct ShaderImpl
{
  bool Pixel = false;
  std::vector<uint32_t> Tokens;
  plat::shader::ShaderInfo Info{};  // what the translator reports
  // compiled pixel stage without and with the alpha test (a vertex stage depends on its
  // partner); the one with the test is made when a draw first needs it
  GLuint PixelObject[2] = {};
  uint64_t Id = 0;
};

// A linked program: vertex shader, pixel shader, and whether the alpha test is compiled in.
struct ProgramKey
{
  uint64_t Vertex, Pixel;
  bool AlphaTest;
  bool operator<(const ProgramKey &o) const
  {
    return Vertex != o.Vertex ? Vertex < o.Vertex : Pixel != o.Pixel ? Pixel < o.Pixel : AlphaTest < o.AlphaTest;
  }
};

struct Program
{
  GLuint Name = 0;
  GLint Fixup = -1, AlphaFunc = -1, AlphaRef = -1;
  std::vector<plat::shader::InputReg> Inputs;  // vertex inputs
  // what the program's own uniforms were last given (uniforms live in the program)
  uint32_t FixupWidth = 0, FixupHeight = 0;
  GLint SentFunc = -1;
  uint32_t SentRef = ~0u;
};

// Groups of GL state brought in line with the render states before a draw, each re-sent
// only when something it depends on changed.
enum : uint32_t
{
  DIRTY_VIEW = 1,         // viewport, depth range, scissor
  DIRTY_DEPTH = 2,        // depth test, function, write mask
  DIRTY_RASTER = 4,       // culling, fill mode, depth bias, multisampling
  DIRTY_BLEND = 8,        // blending
  DIRTY_MASKS = 16,       // colour write masks
  DIRTY_STENCIL = 32,     // stencil test
  DIRTY_ALL = 63,
};

// A vertex input of the current program as the bound streams feed it.
struct AttribUse
{
  int Stream;
  uint64_t Offset;   // of the first element in the buffer
  uint32_t Stride, Size;
  uint32_t Divisor;  // per-instance streams: instances an element lasts; 0 per vertex
};

constexpr int SAMPLER_UNITS = PIXEL_SAMPLERS + VERTEX_SAMPLERS;  // vertex sampler n is unit 16 + n
constexpr uint32_t ALL_UNITS = (1u << SAMPLER_UNITS) - 1;
constexpr size_t MAX_SAMPLER_OBJECTS = 512;  // distinct sampler states kept before starting over
constexpr int VS_FLOATS = 256, PS_FLOATS = 224;
constexpr size_t VS_BLOCK = VS_FLOATS * 16 + 256 + 256;
constexpr size_t PS_BLOCK = PS_FLOATS * 16 + 256 + 256;

struct DeviceImpl
{
  SDL_Window *Win = nullptr;
  bool OwnWindow = false;
  void *Ctx = nullptr;
  PresentParameters PP;
  bool Lost = false, InjectLost = false, InScene = false;
  bool HasS3TC = false;
  bool HasSrgbDecode = false, HasSrgbS3TC = false, HasMirrorClamp = false;
  float MaxAniso = 1.0f;
  int MaxSamples = 0;
  std::string ShaderError;

  std::set<Resource *> Live;
  int DefaultCount = 0;
  Surface *BackBuffer = nullptr;
  SwapChain *Chain = nullptr;
  // screens 1 to n-1 of an adapter-group device
  struct Screen
  {
    SDL_Window *Win = nullptr;
    PresentParameters PP;
    Surface *BackBuffer = nullptr;
    SwapChain *Chain = nullptr;
  };
  std::vector<Screen> Screens;

  uint32_t RS[RS_COUNT] = {};
  Material Mtrl{};
  uint32_t SS[SAMPLER_UNITS][SAMP_COUNT] = {};
  uint32_t StatesDirty = DIRTY_ALL;  // DIRTY_ groups
  uint32_t SamplerDirty = 0, TextureDirty = 0;  // a bit per unit
  uint32_t AutoMipUnits = 0;  // units holding a texture with automatic mipmaps
  BaseTexture *Tex[SAMPLER_UNITS] = {};
  // sampler objects by the states they carry: GL 3.3 samplers do not depend on the texture
  std::map<std::array<uint32_t, SAMP_COUNT>, GLuint> Samplers;
  GLuint BoundSampler[SAMPLER_UNITS] = {};
  GLuint BoundTex[SAMPLER_UNITS] = {};
  GLenum BoundTarget[SAMPLER_UNITS] = {};
  int ActiveUnit = -1;  // -1: unknown
  // blending as last sent, so that a changed factor sends only the factors
  struct
  {
    int Enabled = -1;  // -1: unknown
    GLenum Factors[4] = {}, Ops[2] = {};
    uint32_t Color = 0;
    bool Known = false;
  } Blend;

  Surface *RT[4] = {};
  Surface *DS = nullptr;
  bool TargetsDirty = true;
  bool TargetsComplete = false;  // what GL said of the current targets
  bool DrawFBOBound = false;     // copies and present bind other framebuffers
  Viewport VP{};
  Rect Scissor{};

  Shader *VS = nullptr, *PS = nullptr;
  VertexDeclaration *Decl = nullptr;
  Buffer *Streams[MAX_STREAMS] = {};
  uint32_t StreamOffset[MAX_STREAMS] = {}, StreamStride[MAX_STREAMS] = {}, StreamFreq[MAX_STREAMS] = {1, 1, 1, 1};
  Buffer *Indices = nullptr;

  std::vector<uint8_t> VSBlock = std::vector<uint8_t>(VS_BLOCK), PSBlock = std::vector<uint8_t>(PS_BLOCK);
  bool VSDirty = true, PSDirty = true;
  size_t DirtyLo[2] = {0, 0}, DirtyHi[2] = {VS_BLOCK, PS_BLOCK};  // byte range to upload per stage
  GLuint UBO[2] = {};
  GLuint VAO = 0, DrawFBO = 0, ReadFBO = 0, TmpFBO = 0;
  GLuint BoundUBO = 0;
  uint32_t EnabledAttribs = 0;
  // vertex inputs: set up again only when the declaration, streams or program change
  bool InputsDirty = true;
  AttribUse Attribs[16] = {};
  int AttribCount = 0;
  bool Instanced = false;
  GLuint BoundIndices = 0;  // element buffer of the vertex array; 0 when unknown

  std::map<ProgramKey, Program> Programs;
  Program *Current = nullptr;  // of the bound shaders and alpha-test variant; null when unknown
  bool CurrentAlphaTest = false;
  GLuint UsedProgram = 0;
  uint64_t InputsShader = 0;  // the vertex shader the vertex inputs were set up for
  uint64_t NextShaderId = 1;

  // Mesa's software rasterizers hold every queued draw's binned triangles until they draw
  // them (hundreds of MB for a frame of large meshes): with a bound, once that many
  // triangles are queued the device hands them to the rasterizer and waits for the batch
  // before (so one batch is drawn while the next is queued). 0: no bound.
  uint64_t QueueBound = 0, Queued = 0;
  GLsync QueueFence = nullptr;  // the end of the batch handed over last
};

// Counts the triangles (or other primitives) of a draw against the queue bound.
void CountQueued(DeviceImpl *d, uint64_t primitives);

// The anisotropy the current context's renderer is given: max, or 1 (none) on Mesa's software
// rasterizers, which average the whole footprint of every pixel (hundreds of texels where a
// surface is seen edge-on, and without bound near the eye): a show frame takes seconds,
// minutes in one screen tile. They filter trilinearly instead.
float UsableAnisotropy(float max);
// Makes the device's context current (several devices may live at once).
void MakeCurrent(Device *dev);
// Attaches a surface to the bound framebuffer `target` as colour 0 or depth(-stencil).
void AttachSurface(GLenum target, GLenum colorPoint, SurfaceImpl *s);
void DetachAll(GLenum target);
// Rebuilds the smaller levels of an automatic-mipmap texture from level 0 (the texture is
// bound to the active unit).
void MakeMips(DeviceImpl *d, TextureImpl *t);
inline void ClearGLErrors()
{
  while (glGetError() != GL_NO_ERROR)
  {
  }
}
// Points a binding slot at value, holding a reference to what it points at.
template <class T> void Rebind(T *&slot, T *value)
{
  if (slot == value)
    return;
  if (value)
    value->AddRef();
  if (slot)
    slot->Release();
  slot = value;
}
// Something other than the draw path bound a texture on unit u.
inline void UnitTouched(DeviceImpl *d, int u)
{
  d->ActiveUnit = -1;
  d->BoundTex[u] = ~0u;
  d->TextureDirty |= 1u << u;
}
// Marks a texture level written by the device (automatic mipmaps then follow).
inline void Touch(SurfaceImpl *s)
{
  if (s->Parent && s->Level == 0 && (s->Parent->Impl()->Usage & USAGE_AUTOGENMIPMAP))
    s->Parent->Impl()->MipsDirty = true;
}
}
