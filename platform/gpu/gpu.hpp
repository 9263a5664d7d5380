#pragma once
// The graphics device of the show: a Direct3D-9-shaped device over OpenGL 3.3 core.
//
// The numbers of render states, sampler states, formats, vertex declaration types and
// usages, primitive types and result codes are the classic Direct3D 9 numbers, so that
// the graphics back end keeps its state lists and tables as they are. Inside, every
// colour target (the back buffer included) is a texture in a framebuffer object stored
// with row 0 at the top; the translated vertex shaders flip y, move geometry by half a
// pixel and remap depth from 0..1, so the conventions above this layer stay Direct3D's.
//
// Objects are reference counted (AddRef / Release). The device holds references to what
// is bound to it. Destroying the device frees the GL objects of resources still alive;
// such resources become empty shells whose calls fail with ERR_INVALIDCALL.
//
// Everything runs on the thread that made the device. Lost devices: a real GL context is
// never lost, so the lost state comes only from Device::InjectLostDevice (tests of the
// restore sequence). The environment variable SPARK_GPU_NO_S3TC=1 at device creation makes
// the device keep block-compressed textures decoded on the CPU, as on a driver without S3TC.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SDL_Window;

namespace plat::gpu
{
// ---------------------------------------------------------------------------------------
// Result codes

using Result = int32_t;
constexpr Result RES_OK = 0;
constexpr Result RES_FALSE = 1;  // a query whose data is not there yet
constexpr Result ERR_DEVICELOST = int32_t(0x88760868u);
constexpr Result ERR_DEVICENOTRESET = int32_t(0x88760869u);
constexpr Result ERR_NOTAVAILABLE = int32_t(0x8876086Au);
constexpr Result ERR_INVALIDCALL = int32_t(0x8876086Cu);
constexpr Result ERR_WASSTILLDRAWING = int32_t(0x8876021Cu);
constexpr Result ERR_OUTOFVIDEOMEMORY = int32_t(0x8876017Cu);
constexpr Result ERR_DRIVERINTERNALERROR = int32_t(0x88760827u);
constexpr Result ERR_DEVICEHUNG = int32_t(0x88760879u);
constexpr Result ERR_OUTOFMEMORY = int32_t(0x8007000Eu);
constexpr Result ERR_FAIL = int32_t(0x80004005u);

inline bool Failed(Result r) { return r < 0; }
// Symbolic name ("ERR_DEVICELOST") and a readable description of a result code.
const char *ResultName(Result r);
const char *ResultDescription(Result r);

// ---------------------------------------------------------------------------------------
// Formats (Direct3D 9 numbers)

constexpr uint32_t FourCC(char a, char b, char c, char d)
{
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

enum Format : uint32_t
{
  FMT_UNKNOWN = 0,
  FMT_A8R8G8B8 = 21,
  FMT_X8R8G8B8 = 22,
  FMT_R5G6B5 = 23,
  FMT_X1R5G5B5 = 24,
  FMT_A1R5G5B5 = 25,
  FMT_A4R4G4B4 = 26,
  FMT_A8 = 28,
  FMT_G16R16 = 34,
  FMT_A16B16G16R16 = 36,
  FMT_L8 = 50,
  FMT_A8L8 = 51,
  FMT_A4L4 = 52,
  FMT_Q8W8V8U8 = 63,
  FMT_D16_LOCKABLE = 70,
  FMT_D32 = 71,
  FMT_D24S8 = 75,
  FMT_D24X8 = 77,
  FMT_D16 = 80,
  FMT_D32F_LOCKABLE = 82,
  FMT_INDEX16 = 101,
  FMT_INDEX32 = 102,
  FMT_R16F = 111,
  FMT_G16R16F = 112,
  FMT_A16B16G16R16F = 113,
  FMT_R32F = 114,
  FMT_G32R32F = 115,
  FMT_A32B32G32R32F = 116,
  FMT_DXT1 = FourCC('D', 'X', 'T', '1'),
  FMT_DXT3 = FourCC('D', 'X', 'T', '3'),
  FMT_DXT5 = FourCC('D', 'X', 'T', '5'),
  FMT_INTZ = FourCC('I', 'N', 'T', 'Z'),  // 24-bit depth with stencil, readable by shaders
  FMT_RAWZ = FourCC('R', 'A', 'W', 'Z'),  // not offered
  FMT_DF16 = FourCC('D', 'F', '1', '6'),  // 16-bit depth, readable by shaders
  FMT_DF24 = FourCC('D', 'F', '2', '4'),  // 24-bit depth, readable by shaders
  FMT_RESZ = FourCC('R', 'E', 'S', 'Z'),  // not offered
};

// Bytes per pixel (0 for block formats), block bytes (0 for pixel formats).
int FormatBytesPerPixel(Format f);
int FormatBlockBytes(Format f);
bool FormatIsDepth(Format f);
bool FormatHasStencil(Format f);
// Bytes of one row of pixels (or one row of 4x4 blocks) of a level `width` pixels wide.
int FormatPitch(Format f, int width);
// Rows of the locked data of a level `height` pixels high (block rows for block formats).
int FormatRows(Format f, int height);

// The CPU decoder of the block formats: decodes width x height pixels of DXT1/3/5 data
// (rows of 4x4 blocks) into A8R8G8B8 pixels (0xAARRGGBB), row 0 first. Also the fallback
// upload path when the driver lacks S3TC.
bool DecodeBlocks(Format f, const void *blocks, int width, int height, uint32_t *argb);
// The block encoder: width x height A8R8G8B8 pixels (`pitch` pixels a row) into rows of
// 4x4 blocks of DXT1/3/5. In DXT1 a pixel with alpha below 128 becomes transparent black.
// `dither` spreads the rounding error of each block's choices over its later pixels.
bool EncodeBlocks(Format f, const uint32_t *argb, int width, int height, int pitch, bool dither, void *blocks);

// ---------------------------------------------------------------------------------------
// Misc enumerations (Direct3D 9 numbers)

enum DeviceType : uint32_t { DEVTYPE_HAL = 1, DEVTYPE_REF = 2 };
enum Pool : uint32_t { POOL_DEFAULT = 0, POOL_MANAGED = 1, POOL_SYSTEMMEM = 2, POOL_SCRATCH = 3 };
enum ResourceType : uint32_t
{
  RTYPE_SURFACE = 1,
  RTYPE_VOLUME = 2,
  RTYPE_TEXTURE = 3,
  RTYPE_VOLUMETEXTURE = 4,
  RTYPE_CUBETEXTURE = 5,
  RTYPE_VERTEXBUFFER = 6,
  RTYPE_INDEXBUFFER = 7,
};
constexpr uint32_t USAGE_RENDERTARGET = 0x1;
constexpr uint32_t USAGE_DEPTHSTENCIL = 0x2;
constexpr uint32_t USAGE_WRITEONLY = 0x8;
constexpr uint32_t USAGE_DYNAMIC = 0x200;
constexpr uint32_t USAGE_AUTOGENMIPMAP = 0x400;
constexpr uint32_t USAGE_QUERY_VERTEXTEXTURE = 0x100000;

constexpr uint32_t LOCK_READONLY = 0x10;
constexpr uint32_t LOCK_NOSYSLOCK = 0x800;
constexpr uint32_t LOCK_NOOVERWRITE = 0x1000;
constexpr uint32_t LOCK_DISCARD = 0x2000;

constexpr uint32_t CLEAR_TARGET = 1;
constexpr uint32_t CLEAR_ZBUFFER = 2;
constexpr uint32_t CLEAR_STENCIL = 4;

enum MultiSampleType : uint32_t { MULTISAMPLE_NONE = 0, MULTISAMPLE_NONMASKABLE = 1 };  // 2..16: sample counts

enum SwapEffect : uint32_t { SWAPEFFECT_DISCARD = 1, SWAPEFFECT_FLIP = 2, SWAPEFFECT_COPY = 3 };
constexpr uint32_t PRESENT_INTERVAL_DEFAULT = 0;
constexpr uint32_t PRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

constexpr uint32_t CREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr uint32_t CREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr uint32_t CREATE_ADAPTERGROUP_DEVICE = 0x200;

enum PrimitiveType : uint32_t
{
  PT_POINTLIST = 1,
  PT_LINELIST = 2,
  PT_LINESTRIP = 3,
  PT_TRIANGLELIST = 4,
  PT_TRIANGLESTRIP = 5,
  PT_TRIANGLEFAN = 6,
};

enum CubeFace : uint32_t { FACE_POSITIVE_X, FACE_NEGATIVE_X, FACE_POSITIVE_Y, FACE_NEGATIVE_Y, FACE_POSITIVE_Z, FACE_NEGATIVE_Z };

enum TextureFilter : uint32_t { TEXF_NONE = 0, TEXF_POINT = 1, TEXF_LINEAR = 2, TEXF_ANISOTROPIC = 3 };

constexpr uint32_t STREAMSOURCE_INDEXEDDATA = 1u << 30;
constexpr uint32_t STREAMSOURCE_INSTANCEDATA = 2u << 30;

// Render states
enum : uint32_t
{
  RS_ZENABLE = 7,
  RS_FILLMODE = 8,
  RS_SHADEMODE = 9,
  RS_ZWRITEENABLE = 14,
  RS_ALPHATESTENABLE = 15,
  RS_LASTPIXEL = 16,
  RS_SRCBLEND = 19,
  RS_DESTBLEND = 20,
  RS_CULLMODE = 22,
  RS_ZFUNC = 23,
  RS_ALPHAREF = 24,
  RS_ALPHAFUNC = 25,
  RS_DITHERENABLE = 26,
  RS_ALPHABLENDENABLE = 27,
  RS_FOGENABLE = 28,
  RS_STENCILENABLE = 52,
  RS_STENCILFAIL = 53,
  RS_STENCILZFAIL = 54,
  RS_STENCILPASS = 55,
  RS_STENCILFUNC = 56,
  RS_STENCILREF = 57,
  RS_STENCILMASK = 58,
  RS_STENCILWRITEMASK = 59,
  RS_TEXTUREFACTOR = 60,
  RS_LIGHTING = 137,
  RS_DIFFUSEMATERIALSOURCE = 145,
  RS_SPECULARMATERIALSOURCE = 146,
  RS_AMBIENTMATERIALSOURCE = 147,
  RS_EMISSIVEMATERIALSOURCE = 148,
  RS_MULTISAMPLEANTIALIAS = 161,
  RS_MULTISAMPLEMASK = 162,
  RS_COLORWRITEENABLE = 168,
  RS_BLENDOP = 171,
  RS_SCISSORTESTENABLE = 174,
  RS_SLOPESCALEDEPTHBIAS = 175,
  RS_TWOSIDEDSTENCILMODE = 185,
  RS_CCW_STENCILFAIL = 186,
  RS_CCW_STENCILZFAIL = 187,
  RS_CCW_STENCILPASS = 188,
  RS_CCW_STENCILFUNC = 189,
  RS_COLORWRITEENABLE1 = 190,
  RS_COLORWRITEENABLE2 = 191,
  RS_COLORWRITEENABLE3 = 192,
  RS_BLENDFACTOR = 193,
  RS_SRGBWRITEENABLE = 194,
  RS_DEPTHBIAS = 195,
  RS_SEPARATEALPHABLENDENABLE = 206,
  RS_SRCBLENDALPHA = 207,
  RS_DESTBLENDALPHA = 208,
  RS_BLENDOPALPHA = 209,
  RS_COUNT = 256,
};
// Values of the render states
enum : uint32_t { ZB_FALSE = 0, ZB_TRUE = 1 };
enum : uint32_t { FILL_POINT = 1, FILL_WIREFRAME = 2, FILL_SOLID = 3 };
enum : uint32_t { CULL_NONE = 1, CULL_CW = 2, CULL_CCW = 3 };
enum : uint32_t
{
  CMP_NEVER = 1, CMP_LESS, CMP_EQUAL, CMP_LESSEQUAL, CMP_GREATER, CMP_NOTEQUAL, CMP_GREATEREQUAL, CMP_ALWAYS
};
enum : uint32_t
{
  BLEND_ZERO = 1, BLEND_ONE, BLEND_SRCCOLOR, BLEND_INVSRCCOLOR, BLEND_SRCALPHA, BLEND_INVSRCALPHA,
  BLEND_DESTALPHA, BLEND_INVDESTALPHA, BLEND_DESTCOLOR, BLEND_INVDESTCOLOR, BLEND_SRCALPHASAT,
  BLEND_BOTHSRCALPHA, BLEND_BOTHINVSRCALPHA, BLEND_BLENDFACTOR, BLEND_INVBLENDFACTOR
};
enum : uint32_t { BLENDOP_ADD = 1, BLENDOP_SUBTRACT, BLENDOP_REVSUBTRACT, BLENDOP_MIN, BLENDOP_MAX };
enum : uint32_t
{
  STENCILOP_KEEP = 1, STENCILOP_ZERO, STENCILOP_REPLACE, STENCILOP_INCRSAT, STENCILOP_DECRSAT,
  STENCILOP_INVERT, STENCILOP_INCR, STENCILOP_DECR
};

// Sampler states
enum : uint32_t
{
  SAMP_ADDRESSU = 1,
  SAMP_ADDRESSV = 2,
  SAMP_ADDRESSW = 3,
  SAMP_BORDERCOLOR = 4,
  SAMP_MAGFILTER = 5,
  SAMP_MINFILTER = 6,
  SAMP_MIPFILTER = 7,
  SAMP_MIPMAPLODBIAS = 8,
  SAMP_MAXMIPLEVEL = 9,
  SAMP_MAXANISOTROPY = 10,
  SAMP_SRGBTEXTURE = 11,
  SAMP_COUNT = 14,
};
enum : uint32_t { TADDRESS_WRAP = 1, TADDRESS_MIRROR, TADDRESS_CLAMP, TADDRESS_BORDER, TADDRESS_MIRRORONCE };

// Samplers: 0..15 pixel samplers, VERTEXSAMPLER0..3 the vertex texture samplers.
constexpr uint32_t VERTEXSAMPLER0 = 257;
constexpr int PIXEL_SAMPLERS = 16;
constexpr int VERTEX_SAMPLERS = 4;

// Vertex declarations
enum DeclType : uint8_t
{
  DECLTYPE_FLOAT1 = 0, DECLTYPE_FLOAT2, DECLTYPE_FLOAT3, DECLTYPE_FLOAT4, DECLTYPE_D3DCOLOR, DECLTYPE_UBYTE4,
  DECLTYPE_SHORT2, DECLTYPE_SHORT4, DECLTYPE_UBYTE4N, DECLTYPE_SHORT2N, DECLTYPE_SHORT4N, DECLTYPE_USHORT2N,
  DECLTYPE_USHORT4N, DECLTYPE_UDEC3, DECLTYPE_DEC3N, DECLTYPE_FLOAT16_2, DECLTYPE_FLOAT16_4, DECLTYPE_UNUSED
};
enum DeclUsage : uint8_t
{
  DECLUSAGE_POSITION = 0, DECLUSAGE_BLENDWEIGHT, DECLUSAGE_BLENDINDICES, DECLUSAGE_NORMAL, DECLUSAGE_PSIZE,
  DECLUSAGE_TEXCOORD, DECLUSAGE_TANGENT, DECLUSAGE_BINORMAL, DECLUSAGE_TESSFACTOR, DECLUSAGE_POSITIONT,
  DECLUSAGE_COLOR, DECLUSAGE_FOG, DECLUSAGE_DEPTH, DECLUSAGE_SAMPLE
};
struct VertexElement
{
  uint16_t Stream;  // 0xFF ends the list
  uint16_t Offset;
  uint8_t Type;
  uint8_t Method;
  uint8_t Usage;
  uint8_t UsageIndex;
};
constexpr VertexElement DECL_END = {0xFF, 0, DECLTYPE_UNUSED, 0, 0, 0};
constexpr int MAX_STREAMS = 4;

// Queries
enum QueryType : uint32_t { QUERY_EVENT = 8, QUERY_OCCLUSION = 9 };
constexpr uint32_t ISSUE_END = 1;
constexpr uint32_t ISSUE_BEGIN = 2;
constexpr uint32_t GETDATA_FLUSH = 1;

// ---------------------------------------------------------------------------------------
// Plain records

struct Rect { int32_t Left, Top, Right, Bottom; };
struct Viewport { uint32_t X, Y, Width, Height; float MinZ, MaxZ; };
struct LockedRect { int Pitch; void *Bits; };
struct DisplayMode { uint32_t Width, Height, RefreshRate; Format Fmt; };
struct SurfaceDesc
{
  Format Fmt;
  ResourceType Type;
  uint32_t Usage;
  Pool Pl;
  MultiSampleType MultiSample;
  uint32_t MultiSampleQuality;
  uint32_t Width, Height;
};
struct PresentParameters
{
  uint32_t BackBufferWidth = 0, BackBufferHeight = 0;  // 0: the window's drawable size
  Format BackBufferFormat = FMT_A8R8G8B8;
  uint32_t BackBufferCount = 1;
  MultiSampleType MultiSample = MULTISAMPLE_NONE;
  uint32_t MultiSampleQuality = 0;
  SwapEffect Swap = SWAPEFFECT_DISCARD;
  bool Windowed = true;
  uint32_t PresentationInterval = PRESENT_INTERVAL_DEFAULT;
  // Screens 1 to n-1 of an adapter-group device: the window the screen is presented into.
  SDL_Window *DeviceWindow = nullptr;
};
struct ColorValue { float R, G, B, A; };
// The fixed-function material: kept for GetMaterial, unused by shader drawing.
struct Material { ColorValue Diffuse, Ambient, Specular, Emissive; float Power; };
struct AdapterIdentifier { char Driver[64]; char Description[64]; char DeviceName[32]; };

// Capability bits the back end reads
constexpr uint32_t PTFILTERCAPS_MINFANISOTROPIC = 0x00000400;
constexpr uint32_t PTFILTERCAPS_MAGFANISOTROPIC = 0x04000000;
constexpr uint32_t DEVCAPS_HWTRANSFORMANDLIGHT = 0x00010000;
struct Caps
{
  DeviceType Type;
  uint32_t AdapterOrdinal;
  uint32_t DevCaps;
  uint32_t TextureFilterCaps;
  uint32_t MaxTextureWidth, MaxTextureHeight;
  uint32_t MaxAnisotropy;
  uint32_t MaxSimultaneousRTs;
  uint32_t MaxStreams;
  uint32_t VertexShaderVersion;  // 0xFFFE0300
  uint32_t PixelShaderVersion;   // 0xFFFF0300
  uint32_t MaxVertexShaderConst;
  uint32_t MasterAdapterOrdinal, AdapterOrdinalInGroup, NumberOfAdaptersInGroup;
};

// ---------------------------------------------------------------------------------------
// Objects

class Device;

class Unknown
{
public:
  uint32_t AddRef() { return ++Refs; }
  uint32_t Release();
  uint32_t RefCount() const { return Refs; }

protected:
  Unknown() = default;
  virtual ~Unknown() = default;
  Unknown(const Unknown &) = delete;
  Unknown &operator=(const Unknown &) = delete;

private:
  uint32_t Refs = 1;
};

// A device object: knows its device until the device goes away.
class Resource : public Unknown
{
public:
  Device *GetDevice() const { return Dev; }

protected:
  explicit Resource(Device *dev, bool defaultPool);
  ~Resource() override;
  // Frees the GL objects; called by the resource itself or by a dying device.
  virtual void FreeGL() {}
  Device *Dev;
  bool DefaultPool;
  friend class Device;
};

class Texture;
class CubeTexture;
struct TextureImpl;
struct SurfaceImpl;

class Surface : public Resource
{
public:
  Result GetDesc(SurfaceDesc &desc) const;
  // Lockable: system-memory surfaces and texture levels of lockable textures.
  Result LockRect(LockedRect &locked, const Rect *rect, uint32_t flags);
  Result UnlockRect();
  SurfaceImpl *Impl() const { return I; }

public:  // made inside the layer
  Surface(Device *dev, SurfaceImpl *impl, bool defaultPool);

private:
  ~Surface() override;
  void FreeGL() override;
  SurfaceImpl *I;
  friend class Device;
  friend class BaseTexture;
};

class BaseTexture : public Resource
{
public:
  ResourceType GetType() const;
  uint32_t GetLevelCount() const;
  Result GetLevelDesc(uint32_t level, SurfaceDesc &desc) const;
  // Rebuilds the smaller levels of an automatic-mipmap texture from level 0.
  void GenerateMipSubLevels();
  // How those levels are made: TEXF_POINT takes one texel of the level above, TEXF_LINEAR
  // (the default) averages.
  Result SetAutoGenFilterType(uint32_t filter);
  uint32_t GetAutoGenFilterType() const;
  TextureImpl *Impl() const { return I; }

public:  // made inside the layer
  BaseTexture(Device *dev, TextureImpl *impl, bool defaultPool);

protected:
  ~BaseTexture() override;
  void FreeGL() override;
  Result LockFace(uint32_t face, uint32_t level, LockedRect &locked, const Rect *rect, uint32_t flags);
  Result UnlockFace(uint32_t face, uint32_t level);
  Result GetFaceSurface(uint32_t face, uint32_t level, Surface **out);
  TextureImpl *I;
  friend class Device;
  friend class Surface;
};

class Texture : public BaseTexture
{
public:
  Result GetSurfaceLevel(uint32_t level, Surface **out) { return GetFaceSurface(0, level, out); }
  Result LockRect(uint32_t level, LockedRect &locked, const Rect *rect, uint32_t flags)
  {
    return LockFace(0, level, locked, rect, flags);
  }
  Result UnlockRect(uint32_t level) { return UnlockFace(0, level); }

  using BaseTexture::BaseTexture;
};

class CubeTexture : public BaseTexture
{
public:
  Result GetCubeMapSurface(CubeFace face, uint32_t level, Surface **out) { return GetFaceSurface(face, level, out); }
  Result LockRect(CubeFace face, uint32_t level, LockedRect &locked, const Rect *rect, uint32_t flags)
  {
    return LockFace(face, level, locked, rect, flags);
  }
  Result UnlockRect(CubeFace face, uint32_t level) { return UnlockFace(face, level); }

  using BaseTexture::BaseTexture;
};

// Locks map the GL buffer: with LOCK_DISCARD the whole store is replaced, with
// LOCK_NOOVERWRITE the caller promises not to touch data a draw may still read and the map
// does not wait; without flags the content is kept and the map waits for the device.
class Buffer : public Resource
{
public:
  // size 0 locks from offset to the end.
  Result Lock(uint32_t offset, uint32_t size, void **data, uint32_t flags);
  Result Unlock();
  uint32_t GetSize() const { return Size; }
  uint32_t GetUsage() const { return Usage; }
  Format GetFormat() const { return Fmt; }  // FMT_INDEX16 / FMT_INDEX32 for index buffers
  bool IsLocked() const { return Locked; }
  uint32_t GLName() const { return Name; }

private:
  Buffer(Device *dev, bool index, uint32_t size, uint32_t usage, Format fmt, Pool pool);
  ~Buffer() override;
  void FreeGL() override;
  bool Index;
  uint32_t Usage;
  Format Fmt;
  uint32_t Name = 0;
  uint32_t Size;
  bool Locked = false;
  friend class Device;
};
using VertexBuffer = Buffer;
using IndexBuffer = Buffer;

class VertexDeclaration : public Resource
{
public:
  const std::vector<VertexElement> &Elements() const { return Elems; }

private:
  VertexDeclaration(Device *dev, std::vector<VertexElement> elems) : Resource(dev, false), Elems(std::move(elems)) {}
  std::vector<VertexElement> Elems;
  friend class Device;
};

struct ShaderImpl;
class Shader : public Resource
{
public:
  bool IsPixel() const;
  const std::vector<uint32_t> &Tokens() const;
  ShaderImpl *Impl() const { return I; }

public:  // made inside the layer
  Shader(Device *dev, ShaderImpl *impl);

private:
  ~Shader() override;
  void FreeGL() override;
  ShaderImpl *I;
  friend class Device;
};
using VertexShader = Shader;
using PixelShader = Shader;

class Query : public Resource
{
public:
  QueryType GetType() const { return Type; }
  Result Issue(uint32_t flags);
  // RES_OK with the data (occlusion: uint32 samples; event: a BOOL), RES_FALSE while pending.
  Result GetData(void *data, uint32_t size, uint32_t flags);

private:
  Query(Device *dev, QueryType type);
  ~Query() override;
  void FreeGL() override;
  QueryType Type;
  uint32_t Name = 0;
  void *Sync = nullptr;
  bool Issued = false;
  friend class Device;
};

class SwapChain : public Unknown
{
public:
  Result GetBackBuffer(uint32_t index, Surface **out);
  // Presents the device: every screen of a group device at once.
  Result Present();

  SwapChain(Device *dev, uint32_t screen) : Dev(dev), Screen(screen) {}  // made by the device

private:
  Device *Dev;
  uint32_t Screen;
  friend class Device;
};

// ---------------------------------------------------------------------------------------
// The device

struct DeviceImpl;

class Device : public Unknown
{
public:
  // --- lifetime, frame, presentation
  Result TestCooperativeLevel();
  // Resets screen 0 with pp; the other screens of a group device keep their parameters.
  Result Reset(PresentParameters &pp);
  // Shows every screen's back buffer in its window (scaled to the window's size).
  Result Present();
  Result GetBackBuffer(uint32_t swapChain, uint32_t index, Surface **out);
  Result GetSwapChain(uint32_t index, SwapChain **out);
  // Screens of the device: 1, or the adapter group's count.
  uint32_t GetNumberOfSwapChains() const;
  Result BeginScene();
  Result EndScene();
  const PresentParameters &GetPresentParameters() const;
  // Fault injection: the next Present reports a lost device; the device then stays lost
  // (TestCooperativeLevel reports ERR_DEVICENOTRESET) until Reset.
  void InjectLostDevice();
  // Number of live default-pool resources (they must all be released before Reset).
  int DefaultPoolResources() const;
  SDL_Window *Window() const;

  // --- resources
  Result CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format fmt, Pool pool,
                       Texture **out);
  Result CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, Format fmt, Pool pool, CubeTexture **out);
  Result CreateRenderTarget(uint32_t width, uint32_t height, Format fmt, MultiSampleType ms, uint32_t quality,
                            bool lockable, Surface **out);
  Result CreateDepthStencilSurface(uint32_t width, uint32_t height, Format fmt, MultiSampleType ms, uint32_t quality,
                                   bool discard, Surface **out);
  Result CreateOffscreenPlainSurface(uint32_t width, uint32_t height, Format fmt, Pool pool, Surface **out);
  Result CreateVertexBuffer(uint32_t length, uint32_t usage, Pool pool, VertexBuffer **out);
  Result CreateIndexBuffer(uint32_t length, uint32_t usage, Format fmt, Pool pool, IndexBuffer **out);
  Result CreateVertexDeclaration(const VertexElement *elements, VertexDeclaration **out);
  Result CreateVertexShader(const uint32_t *tokens, size_t count, VertexShader **out);
  Result CreatePixelShader(const uint32_t *tokens, size_t count, PixelShader **out);
  Result CreateQuery(QueryType type, Query **out);
  // The readable text of the last shader creation that failed.
  const std::string &LastShaderError() const;

  // --- copies
  Result ColorFill(Surface *surface, const Rect *rect, uint32_t argb);
  Result StretchRect(Surface *src, const Rect *srcRect, Surface *dst, const Rect *dstRect, TextureFilter filter);
  Result GetRenderTargetData(Surface *renderTarget, Surface *sysmem);

  // --- targets
  Result SetRenderTarget(uint32_t index, Surface *surface);
  Result GetRenderTarget(uint32_t index, Surface **out);
  Result SetDepthStencilSurface(Surface *surface);
  Result GetDepthStencilSurface(Surface **out);
  Result Clear(uint32_t count, const Rect *rects, uint32_t flags, uint32_t argb, float z, uint32_t stencil);
  Result SetViewport(const Viewport &vp);
  Result GetViewport(Viewport &vp) const;
  Result SetScissorRect(const Rect &rect);
  Result GetScissorRect(Rect &rect) const;

  // --- states
  Result SetRenderState(uint32_t state, uint32_t value);
  Result GetRenderState(uint32_t state, uint32_t &value) const;
  Result SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
  Result GetSamplerState(uint32_t sampler, uint32_t type, uint32_t &value) const;
  Result SetTexture(uint32_t sampler, BaseTexture *texture);
  Result SetMaterial(const Material &material);
  Result GetMaterial(Material &material) const;
  Result GetTexture(uint32_t sampler, BaseTexture **out);

  // --- shaders and constants
  Result SetVertexShader(VertexShader *vs);
  Result SetPixelShader(PixelShader *ps);
  Result SetVertexShaderConstantF(uint32_t start, const float *data, uint32_t count);
  Result SetVertexShaderConstantI(uint32_t start, const int32_t *data, uint32_t count);
  Result SetVertexShaderConstantB(uint32_t start, const int32_t *data, uint32_t count);
  Result SetPixelShaderConstantF(uint32_t start, const float *data, uint32_t count);
  Result SetPixelShaderConstantI(uint32_t start, const int32_t *data, uint32_t count);
  Result SetPixelShaderConstantB(uint32_t start, const int32_t *data, uint32_t count);
  Result GetVertexShaderConstantF(uint32_t start, float *data, uint32_t count) const;
  Result GetPixelShaderConstantF(uint32_t start, float *data, uint32_t count) const;

  // --- geometry
  Result SetVertexDeclaration(VertexDeclaration *decl);
  Result SetStreamSource(uint32_t stream, VertexBuffer *vb, uint32_t offset, uint32_t stride);
  Result SetStreamSourceFreq(uint32_t stream, uint32_t setting);
  Result SetIndices(IndexBuffer *ib);
  Result DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount);
  Result DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minIndex, uint32_t numVertices,
                              uint32_t startIndex, uint32_t primitiveCount);

  DeviceImpl *Impl() const { return I; }

  Device();  // made by Object

private:
  // makes a vertex or index buffer once the arguments are checked
  Result NewBuffer(bool index, uint32_t length, uint32_t usage, Format fmt, Pool pool, Buffer **out);
  ~Device() override;
  DeviceImpl *I;
  friend class Object;
  friend class Resource;
  friend class Surface;
  friend class BaseTexture;
  friend class Buffer;
  friend class Shader;
  friend class Query;
  friend class SwapChain;
};

// ---------------------------------------------------------------------------------------
// The entry object: adapters, modes, format checks, device creation.

class Object : public Unknown
{
public:
  // Starts SDL's video subsystem; nullptr with the reason in `error` when there is none.
  static Object *Create(std::string &error);

  uint32_t GetAdapterCount();
  Result GetAdapterIdentifier(uint32_t adapter, AdapterIdentifier &id);
  uint32_t GetAdapterModeCount(uint32_t adapter, Format fmt);
  Result EnumAdapterModes(uint32_t adapter, Format fmt, uint32_t mode, DisplayMode &out);
  Result GetAdapterDisplayMode(uint32_t adapter, DisplayMode &out);
  Result CheckDeviceType(uint32_t adapter, DeviceType type, Format displayFormat, Format backBufferFormat,
                         bool windowed);
  Result CheckDeviceFormat(uint32_t adapter, DeviceType type, Format adapterFormat, uint32_t usage,
                           ResourceType rtype, Format fmt);
  Result CheckDeviceMultiSampleType(uint32_t adapter, DeviceType type, Format fmt, bool windowed, MultiSampleType ms,
                                    uint32_t *qualityLevels);
  Result CheckDepthStencilMatch(uint32_t adapter, DeviceType type, Format adapterFormat, Format renderTargetFormat,
                                Format depthFormat);
  Result GetDeviceCaps(uint32_t adapter, DeviceType type, Caps &caps);
  // A device drawing into `window` (made by the caller with SDL_WINDOW_OPENGL).
  Result CreateDevice(uint32_t adapter, DeviceType type, SDL_Window *window, uint32_t behaviour,
                      PresentParameters &pp, Device **out);
  // A device over the adapter group (behaviour CREATE_ADAPTERGROUP_DEVICE): one swap chain
  // per screen, pp[0] for `window`, pp[s] for the window pp[s].DeviceWindow of screen s.
  // count must be the group's count. The windows share the device's one context.
  Result CreateGroupDevice(uint32_t adapter, DeviceType type, SDL_Window *window, uint32_t behaviour,
                           PresentParameters *pp, uint32_t count, Device **out);
  // The drawable size of a window in pixels: what a windowed back buffer must be to fill it.
  Result GetClientSize(SDL_Window *window, int &width, int &height);
  // A device without a window (a hidden one of its own): Present draws nowhere.
  Result CreateHeadlessDevice(PresentParameters &pp, Device **out);

private:
  Object() = default;
  ~Object() override;
  void Probe();
  void ProbeLimits();
  bool Probed = false;
  int MaxSamples = 0;
  float MaxAniso = 1.0f;
  int MaxTextureSize = 0, MaxTargets = 0;
  uint32_t ShaderModel = 0;  // major version of the shader model the driver runs; 0: none
  std::string Renderer;
};

// Loads A8R8G8B8 or X8R8G8B8 pixels (`pitch` bytes a row; X8R8G8B8 reads opaque) into a
// surface of the same size that can be locked (system memory, or a level of a managed
// texture), converting them into its format: A8R8G8B8, X8R8G8B8, DXT1, DXT3 or DXT5.
Result LoadSurfaceFromPixels(Surface *dst, const void *pixels, Format srcFormat, uint32_t pitch, uint32_t width,
                             uint32_t height, bool dither);

// Samples and quality: a non-maskable request of quality q uses 2 << q samples.
int SamplesFor(MultiSampleType ms, uint32_t quality);

// Whether a renderer name (GL_RENDERER, or an adapter's Description) is one of Mesa's
// software rasterizers, llvmpipe or softpipe. Null names none.
bool IsSoftwareRasterizer(const char *renderer);
}
