#pragma once
// The graphics core: vertex formats, shaders, materials with render-state variants,
// constant buffers, textures, geometry, viewports, render targets and the screen mode,
// and the back end over the device seam (graphics/gpudevice.hpp) that brackets frames,
// binds targets, caches device states and draws.
//
// Everything here is created, used and destroyed on the main thread.

#include "base/app.hpp"
#include "base/arrays.hpp"
#include "base/math.hpp"
#include "base/types.hpp"

class sHook;
struct sGpuRes;
class sGpuDevice;
struct SDL_Window;

/****************************************************************************/
/***   Vertex formats                                                     ***/
/****************************************************************************/

enum : sU32
{
  sVF_POSITION = 1,
  sVF_NORMAL = 2,
  sVF_TANGENT = 3,
  sVF_BONEINDEX = 4,
  sVF_BONEWEIGHT = 5,
  sVF_BINORMAL = 6,
  sVF_COLOR0 = 8,
  sVF_COLOR1 = 9,
  sVF_COLOR2 = 10,
  sVF_COLOR3 = 11,
  sVF_UV0 = 12,
  sVF_UV1 = 13,
  sVF_UV2 = 14,
  sVF_UV3 = 15,
  sVF_UV4 = 16,
  sVF_UV5 = 17,
  sVF_UV6 = 18,
  sVF_UV7 = 19,
  sVF_NOP = 31,
  sVF_USEMASK = 0x1f,

  sVF_STREAM0 = 0x00,
  sVF_STREAM1 = 0x40,
  sVF_STREAM2 = 0x80,
  sVF_STREAM3 = 0xc0,
  sVF_STREAMMASK = 0xc0,
  sVF_STREAMSHIFT = 6,

  sVF_F2 = 0x100,
  sVF_F3 = 0x200,
  sVF_F4 = 0x300,
  sVF_C4 = 0x400,
  sVF_I4 = 0x500,
  sVF_S2 = 0x600,
  sVF_S4 = 0x700,
  sVF_H2 = 0x800,
  sVF_H4 = 0x900,
  sVF_F1 = 0xa00,
  sVF_H3 = 0xb00,
  sVF_TYPEMASK = 0xff00,
  sVF_TYPESHIFT = 8,

  sVertexFormatInstanceFlag = 0x10000,
};

// Bytes of an element type (1..11); fatal for another type.
sInt sVertexTypeSize(sInt type);

struct sVertexFormat
{
  sInt Count;              // codes including the terminating 0
  sU32 *Data;              // the codes, default types filled in
  sInt UseCount;
  sInt Streams[4];         // stride of each stream in bytes
  sInt StreamCount;
  sU32 AvailMask;          // 1 << kind of every element
  sBool MemMark;           // made while a memory mark was active
  sVertexFormat *Next;     // hash chain
  sGpuRes *Decl;           // device declaration, null for formats the device cannot take

  sInt GetSize(sInt stream) const { return Streams[stream]; }
  sBool Has(sInt kind) const { return (AvailMask >> kind) & 1; }
  void CreatePlatform();
  void ReleasePlatform();
};

sVertexFormat *sCreateVertexFormat(const sU32 *codes);
void sFreeVertexFormats();
sInt sGetVertexFormatCount();

extern sVertexFormat *sVertexFormatPosCol;
extern sVertexFormat *sVertexFormatPosNormUV;
extern sVertexFormat *sVertexFormatPosColUV;
extern sVertexFormat *sVertexFormatPosColUV2;
extern sVertexFormat *sVertexFormatTangent3;
extern sVertexFormat *sVertexFormatTangent;
extern sVertexFormat *sVertexFormatTangentUV3;
extern sVertexFormat *sVertexFormatSkinned;
extern sVertexFormat *sVertexFormatInstance3;
extern sVertexFormat *sVertexFormatInstance4;

/****************************************************************************/
/***   Shaders                                                            ***/
/****************************************************************************/

enum : sU32
{
  sSTF_VERTEX = 0x1000,
  sSTF_PIXEL = 0x2000,
  sSTF_KIND = 0xf000,
  sSTF_PLATFORM = 0x0f00,
  sSTF_HLSL23 = 0x0100,
};

struct sShader
{
  sU8 *Blob;               // records: type, byte length, code padded to 4; ended by 0
  sInt BlobSize;
  sU32 Type;
  sInt UseCount;
  sU32 Checksum;
  union                    // the device's vertex or pixel shader
  {
    sGpuRes *Handle;
    sGpuRes *vs;
    sGpuRes *ps;
  };
  sShader *Prev, *Next;    // "Shaders" list

  sShader(sU32 type, const sU8 *code, sInt bytes);
  ~sShader();
  sBool CheckKind(sU32 kind) const { return (Type & sSTF_KIND) == (kind & sSTF_KIND); }
  void ReleasePlatform();
};

sShader *sCreateShader(sU32 type, const sU8 *code, sInt bytes);
void sShaderRelease(sShader *sh);   // drops one use; null is ignored
// Makes the device shader of one blob record (type word, length, code).
void sCreateShader2(sShader *sh, const sU32 *record);
sInt sGetShaderCount();
sU32 sShaderChecksum(sU32 type, const sU8 *code, sInt bytes);

/****************************************************************************/
/***   Render states and materials                                        ***/
/****************************************************************************/

enum : sU32
{
  sMTRL_ZOFF = 0x00,
  sMTRL_ZREAD = 0x01,
  sMTRL_ZWRITE = 0x02,
  sMTRL_ZON = 0x03,
  sMTRL_ZMASK = 0x03,
  sMTRL_CULLOFF = 0x00,
  sMTRL_CULLON = 0x10,
  sMTRL_CULLINV = 0x20,
  sMTRL_CULLKEEP = 0x30,
  sMTRL_CULLMASK = 0x30,
  sMTRL_LIGHTING = 0x80,
  sMTRL_MSK_ALPHA = 0x100,
  sMTRL_MSK_RED = 0x200,
  sMTRL_MSK_GREEN = 0x400,
  sMTRL_MSK_BLUE = 0x800,
  sMTRL_STENCILSS = 0x10000,
  sMTRL_STENCILDS = 0x20000,
  sMTRL_NOMSAA = 0x40000,

  sCMP_NEVER = 0, sCMP_LESS, sCMP_EQUAL, sCMP_LESSEQUAL, sCMP_GREATER, sCMP_NOTEQUAL, sCMP_GREATEREQUAL, sCMP_ALWAYS,

  sMTF_TRILINEAR = 0, sMTF_ANISO = 1, sMTF_POINT = 2, sMTF_LINEARPOINTMIP = 3, sMTF_FILTERMASK = 3,
  sMTF_W_MASK = 0x70,
  sMTF_BORDERWHITE = 0x80,
  sMTF_SRGB = 0x1000,
  sMTF_EXTERN = 0x2000,
  sMTF_V_SHIFT = 24,
  sMTF_U_SHIFT = 28,
  sMTF_WRAP = 0, sMTF_CLAMP = 1, sMTF_MIRROR = 2, sMTF_BORDER = 3,
};

enum : sInt
{
  sMTRL_MAXTEX = 16,
  sMTRL_MAXPSTEX = 16,
  sMTRL_MAXVSTEX = 4,
  sMTRL_VSTEX = 0x100,
};

struct sRenderStates
{
  sU32 Flags;
  sU8 DepthFunc;
  sU8 AlphaFunc;
  sU8 StencilFunc;
  sU8 Pad0;
  sU32 TextureFlags[16];
  sU32 BlendColor;
  sU32 BlendAlpha;
  sU32 BlendFactor;
  sU8 FrontFail, FrontZFail, FrontPass, BackFail, BackZFail, BackPass;
  sU8 StencilRef, StencilMask, AlphaRef, Pad1[3];
  sF32 LodBias[16];

  sRenderStates();
};
static_assert(sizeof(sRenderStates) == 160);

class sTextureBase;
class sCBufferBase;

class sMaterial
{
public:
  sVertexFormat *Format;
  sShader *VertexShader;
  sShader *PixelShader;
  sInt StateVariants;
  sRenderStates *Variants;
  sU32 **States;           // per variant: (state id, value) pairs
  sInt *StateCount;        // per variant: number of pairs
  sTextureBase *Texture[16];
  sRenderStates S;         // the current block
  sU16 SamplerMap[16];
  sBool AutoVariant;       // the single variant was made by Prepare from the current block

  sMaterial();
  virtual ~sMaterial();
  virtual void Prepare(sVertexFormat *format);
  virtual void SelectShaders(sVertexFormat *format) = 0;

  void InitVariants(sInt count);
  void SetVariant(sInt var);
  void SetVariantStates(const sU32 *list, sInt pairs, sInt var);
  void ApplyVariant(sInt var);
  void Set(sCBufferBase **cbuffers, sInt count, sInt variant = 0);
};

/****************************************************************************/
/***   Constant buffers                                                   ***/
/****************************************************************************/

enum : sInt
{
  sCBUFFER_MAXSLOT = 32,
  sCBUFFER_SHADERTYPES = 2,
  sCBUFFER_VS = 0,
  sCBUFFER_PS = 32,
};

class sCBufferBase
{
public:
  void *Data;
  void **OwnerPtr;
  sU64 Mask;
  sInt Register;
  sInt Count;
  sU16 Slot;

  sCBufferBase();
  virtual ~sCBufferBase();
  void SetPtr(void **ownerPtr, void *data);
  void Modify();
  void Upload();
  // Sets Register, Count, Slot and the register mask of the registers it writes.
  void SetRegs(sInt slot, sInt reg, sInt count);
};

// A buffer of `count` registers of its own at (slot, reg).
class sCBuffer : public sCBufferBase
{
public:
  sCBuffer(sInt slot, sInt reg, sInt count);
  ~sCBuffer() override;
  sVec4 *Regs() { return static_cast<sVec4 *>(Data); }
};

void sSetCBuffers(sCBufferBase **cbuffers, sInt count);
void sResetCBufferSlots();

/****************************************************************************/
/***   Textures                                                           ***/
/****************************************************************************/

enum : sU32
{
  sTEX_FORMAT = 0xff,
  sTEX_ARGB8888 = 1,
  sTEX_QWVU8 = 2,
  sTEX_GR16 = 3,
  sTEX_ARGB16 = 4,
  sTEX_R32F = 5,
  sTEX_GR32F = 6,
  sTEX_ARGB32F = 7,
  sTEX_R16F = 8,
  sTEX_GR16F = 9,
  sTEX_ARGB16F = 10,
  sTEX_A8 = 11,
  sTEX_I8 = 12,
  sTEX_DXT1 = 13,
  sTEX_DXT1A = 14,
  sTEX_DXT3 = 15,
  sTEX_DXT5 = 16,
  sTEX_ARGB8888_2 = 19,
  sTEX_AI4 = 24,
  sTEX_AI8 = 25,
  sTEX_ARGB1555 = 27,
  sTEX_RGB565 = 28,
  sTEX_DXT5N = 29,
  sTEX_ARGB4444 = 31,
  sTEX_DEPTH16NOREAD = 32,
  sTEX_DEPTH24NOREAD = 33,
  sTEX_DEPTH16 = 34,
  sTEX_DEPTH24 = 35,
  sTEX_DXT5_AYCOCG = 36,
  sTEX_PCF16 = 37,
  sTEX_PCF24 = 38,

  sTEX_DYNAMIC = 0x100,
  sTEX_RENDERTARGET = 0x200,
  sTEX_NOMIPMAPS = 0x400,
  sTEX_TYPE_MASK = 0xf000,
  sTEX_2D = 0x1000,
  sTEX_CUBE = 0x2000,
  sTEX_VOLUME = 0x3000,
  sTEX_SCREENSHIFT = 0x20000,
  sTEX_AUTOMIPMAP = 0x200000,

  // flags of the back end
  sTEX_LATEDYNAMIC = 0x400000,     // becomes sTEX_DYNAMIC at creation
  sTEX_BACKBUFFER = 0x10000000,    // wraps a screen's back buffer
  sTEX_MSAA = 0x20000000,          // has a multisampled surface besides the texture
  sTEX_SCREENDEPTH = 0x40000000,   // the screen's depth buffer
  sTEX_AUTOMIPMAP_POINT = 0x80000000,
};

// Bits per pixel of a format code 1..39; fatal for any other code.
sInt sBitsPerPixel(sInt format);
// Block formats: 13, 14, 15, 16, 29, 36.
sBool sIsBlockFormat(sInt format);
// Bytes of one row of a level (one row of 4 x 4 blocks for block formats) and the number
// of such rows; block levels are rounded up to whole blocks.
sInt sGetLevelPitch(sInt format, sInt width);
sInt sGetLevelRows(sInt format, sInt height);

class sTextureProxy;

class sTextureBase
{
public:
  sGpuRes *Tex;            // the device texture
  sGpuRes *Surf2D;         // level-0 surface where the texture has one
  sGpuRes *MultiSurf2D;    // multisampled surface of a render target
  sU32 RTState;            // 1 multisampled surface newest, 2 texture newest, 4 drawn multisampled
  sInt Loading;
  sU8 *LoadBuffer;
  sTextureProxy *Proxies;
  sU32 Flags;
  sInt Mipmaps;
  sInt BitsPerPixel;
  sInt SizeX, SizeY, SizeZ;
  sS16 Word0, Word1;
  sInt OrigX, OrigY;       // size arguments of the last Init

  sTextureBase();
  virtual ~sTextureBase();
  virtual void OnLostDevice(sBool restore);
  virtual void GetSize(sInt &x, sInt &y, sInt &z) = 0;
  void Reset();            // releases the device objects
  virtual void ReleasePlatform();
};

class sTexture2D : public sTextureBase
{
public:
  sU32 DevFormat;          // the device format
  sInt RTIndex;            // place in the render-target table, -1 when not in it
  sU32 LockFlags;
  sInt InitMipmaps;        // the level argument of the last Init

  sTexture2D();
  sTexture2D(sInt x, sInt y, sU32 flags, sInt mipmaps = 0);
  ~sTexture2D() override;
  void Init(sInt x, sInt y, sU32 flags, sInt mipmaps = 0, sBool force = 0);
  void LoadAll(const sU8 *data);
  void BeginLoad(sU8 *&data, sInt &pitch, sInt level = 0);
  void EndLoad();
  void OnLostDevice(sBool restore) override;
  void GetSize(sInt &x, sInt &y, sInt &z) override { x = SizeX; y = SizeY; z = 1; }
  void CreatePlatform(sU32 flags);
  void ReleasePlatform() override;
};

class sTextureProxy : public sTextureBase
{
public:
  sTextureBase *LinkTo;
  sTextureProxy *NextProxy;

  sTextureProxy();
  ~sTextureProxy() override;
  void Link(sTextureBase *tex);
  void Disconnect();
  void GetSize(sInt &x, sInt &y, sInt &z) override;
};

struct sCopyTextureSpec
{
  sU32 Flags;
  sTextureBase *Source;
  sRect SourceRect;
  sInt SourceFace;
  sTextureBase *Dest;
  sRect DestRect;
  sInt DestFace;
  sCopyTextureSpec(sU32 flags, sTextureBase *dest, sTextureBase *source);
};

void sCopyTexture(const sCopyTextureSpec &spec);
void sResolveTexture(sTextureBase *tex);
void sReadSurface(const sU8 *&data, sInt &pitch, sInt &format, sGpuRes *surface);
void sBeginReadScreen(const sU8 *&data, sInt &pitch, sInt &format);
void sEndReadScreen();
void sReleaseReadBack();
void sCheckTextureFormats();
// The device format, usage, pool, level count and lock flags of a texture flags word.
void sConvertTextureFormat(sU32 flags, sU32 &format, sU32 &usage, sU32 &pool, sInt &levels, sU32 &lockFlags);
// Packs width x height ARGB pixels into blocks of the format code in bits 0-7 (13-36);
// flag 0x800000 or no device: the program's own packer.
void sPackDXT(sU8 *dest, const sU32 *pixels, sInt width, sInt height, sInt formatAndMode, sInt dither);
sInt sGetRenderTargetCount();
sU64 sGetStaticTextureMem();

/****************************************************************************/
/***   Screen mode                                                        ***/
/****************************************************************************/

enum : sU32
{
  sSM_FULLSCREEN = 0x1,
  sSM_16BIT = 0x2,
  sSM_DEPTH16 = 0x4,
  sSM_DEPTHLOCK = 0x8,
  sSM_STENCIL = 0x10,
  sSM_REFDEVICE = 0x40,
  sSM_NOVSYNC = 0x80,
  sSM_READZ = 0x100,
  sSM_MULTISCREEN = 0x400,
  sSM_SCREENSIZES = 0x800,
  sSM_VALID = 0x8000,
};

struct sScreenMode
{
  sU32 Flags;
  sInt Display;
  sInt SizeX, SizeY;
  sInt OutputSizeX, OutputSizeY;
  sF32 Aspect;
  sInt MultiLevel;
  sInt Word0;
  sInt MinTargetSizeX, MinTargetSizeY;
  sInt Word1;
  sInt ScreenSizeX[3], ScreenSizeY[3];
  sInt Words[3];
  sScreenMode();
};
static_assert(sizeof(sScreenMode) == 84);

struct sScreenInfoXY
{
  sInt x, y;
};

// What the adapter offers, for the start-up selector.
struct sScreenInfo
{
  sU32 Flags;
  sInt Display;
  sInt DesktopSizeX, DesktopSizeY;
  sF32 DesktopAspect;
  sDynamicArray<sScreenInfoXY> Sizes;          // sorted by area
  sDynamicArray<sInt> RefreshRates;            // ascending
  sInt QualityLevels;
  sDynamicArray<sScreenInfoXY> AspectRatios;   // ascending by value
  sChar MonitorId[64];

  sScreenInfo();
  void Clear();
};

void sGetScreenInfo(sScreenInfo &info, sU32 flags, sInt display);

void sInitScreenMode(sU32 &flags, sInt &width, sInt &height);
void sSetScreenSize(sInt x, sInt y);
void sGetScreenMode(sScreenMode &mode);
sInt sSetScreenMode(const sScreenMode &mode);
void sGetScreenSize(sInt &x, sInt &y);
sF32 sGetScreenModeAspect();
sF32 sGetScreenAspect();
void sGetWindowSize(sInt &x, sInt &y);

/****************************************************************************/
/***   Viewport, render targets                                           ***/
/****************************************************************************/

struct sViewport
{
  sMat4x4 Proj;
  sMat3x4 View;
  sMat3x4 ModelView;
  sMat4x4 MVP;
  sMat3x4 Model;
  sMat3x4 Camera;
  sInt TargetSizeX, TargetSizeY;
  sF32 Aspect;
  sRect Window;
  sF32 ClipNear, ClipFar;
  sF32 ZoomX, ZoomY;
  sF32 CenterX, CenterY;
  sInt Orthogonal;

  sViewport();
  void SetTarget(const sRect *rect = nullptr);
  void Prepare(sInt flags = 0xe);

private:
  // What Proj and View were built from last. Forms drawn in a row prepare one view with
  // only the model changed: a prepare that finds the same inputs, and the two matrices
  // as it left them, keeps them and refreshes ModelView and MVP alone.
  struct ProjInputs
  {
    sInt Orthogonal, TargetSizeX, TargetSizeY;
    sRect Window;
    sF32 ClipNear, ClipFar, ZoomX, ZoomY;
  };
  ProjInputs BuiltFrom = {};
  sMat4x4 BuiltProj;
  sMat3x4 BuiltCamera;
  sF32 BuiltCenterX = 0.0f, BuiltCenterY = 0.0f;
  sMat4x4 BuiltShiftProj;   // the Proj a centre shift of View was made with
  sMat3x4 BuiltView;
  sBool ProjBuilt = 0, ViewBuilt = 0;
};

enum : sInt
{
  sVO_PERSPECTIVE = 0,
  sVO_PIXELS = 1,
  sVO_UNIT = 2,
  sVO_ZOOM = 3,
};

enum : sU32
{
  sRTF_CLEAR_COLOR = 1,
  sRTF_CLEAR_ZBUFFER = 2,
  sRTF_CLEAR_ALL = 3,
  sRTF_NO_MULTISAMPLE = 0x10,
  sRTF_CLEAR_WINDOW = 0x20,
  sRTF_NO_MULTISAMPLE2 = 0x40,
  sRTF_ASSUME_CLEARED = 0x80,
};

struct sRenderTargetSpec
{
  sU32 Flags;
  sVec4 ClearColor[4];
  sF32 ClearZ;
  sRect Window;
  sInt Face;
  sInt Mipmap;
  sF32 Aspect;
  sTextureBase *Depth;
  sTextureBase *Target[4];

  sRenderTargetSpec();
  sRenderTargetSpec(sU32 flags, sU32 color, const sRect *rect, sTextureBase *target, sTextureBase *depth);
  sRenderTargetSpec(sU32 flags, sU32 color, const sRect *rect);
  void Init(sU32 flags, sU32 color, const sRect *rect, sTextureBase *target, sTextureBase *depth);
  void InitScreen(sU32 flags, sU32 color, const sRect *rect);
};

void sSetTarget(const sRenderTargetSpec &spec);
void sSetScreenTarget(const sRect *rect, sU32 clear, sU32 color);

/****************************************************************************/
/***   Geometry                                                           ***/
/****************************************************************************/

enum : sU32
{
  sGF_TRILIST = 0x1000,
  sGF_TRISTRIP = 0x2000,
  sGF_LINELIST = 0x3000,
  sGF_LINESTRIP = 0x4000,
  sGF_QUADLIST = 0x5000,
  sGF_SPRITE = 0x6000,
  sGF_BATCH = 0xf000,
  sGF_PRIMMASK = 0xf000,
  sGF_INDEX32 = 0x10000,
  sGF_INDEX16 = 0x20000,
  sGF_INDEXMASK = 0x30000,
  sGF_CPU_MEM = 0x80000,

  sGD_STATIC = 1,
  sGD_FRAME = 2,
  sGD_STREAM = 3,
  sGD_EXACT = 4,

  sGDI_Ranges = 1,
  sGDI_Instances = 2,
  sGDI_VertexOffset = 4,
  sGDI_BlendFactor = 8,
};

struct sGeoBuffer
{
  sGpuRes *Buffer;
  sInt Duration;
  sInt Kind;               // 0 vertex, 1 16-bit index, 2 32-bit index
  sU8 *LockPtr;
  sInt Alloc;
  sInt Used;
  sInt RefCount;
  sBool DiscardPending;
  sBool Closed;
};

struct sGeometryPart
{
  sInt Start;
  sInt Count;
  sGeoBuffer *Buffer;
  void Clear() { Start = 0; Count = 0; Buffer = nullptr; }
  void Release();
  void EndLoad(sInt count, sInt size);
};

struct sGeometryRange { sInt Start, End; };

struct sGeometryDrawInfo
{
  sU32 Flags = 0;
  sInt RangeCount = 0;
  const sGeometryRange *Ranges = nullptr;
  sInt InstanceCount = 0;
  sInt VertexOffset[4] = {};
  sU32 BlendFactor = 0;
};

// A record of a batch geometry (primitive kind 0xF000).
struct sGeoBatchRecord
{
  sGeoBatchRecord *Next;
  sGeometryPart VB;
  sInt Kind;               // 1 grid of triangles, 2 quads, 3 grid of lines
  sInt NX, NY;
  sInt First;
};

class sGeometry
{
public:
  sGeometryPart VertexPart[4];
  sGeometryPart IndexPart;
  sU32 Flags;
  sInt IndexSize;
  sInt LastInstanceStreams;
  sInt Word;
  sVertexFormat *Format;
  sGeoBatchRecord *Batch;   // first record of a batch geometry

  sGeometry();
  sGeometry(sU32 flags, sVertexFormat *format);
  ~sGeometry();
  void Init(sU32 flags, sVertexFormat *format);
  void BeginLoadVB(sInt count, sInt duration, void **ptr, sInt stream = 0);
  void BeginLoadIB(sInt count, sInt duration, void **ptr);
  void BeginLoad(sVertexFormat *format, sU32 flags, sInt duration, sInt vc, sInt ic, void **vp, void **ip);
  void EndLoadVB(sInt count = -1, sInt stream = 0);
  void EndLoadIB(sInt count = -1);
  void EndLoad(sInt vc = -1, sInt ic = -1);
  void Draw();
  void DrawRanges(const sGeometryRange *ranges, sInt count, sInt instances = 0, const sInt *offsets = nullptr);
  void DrawWithInfo(const sGeometryDrawInfo &di);
};

enum : sInt { sMAX_GEOBUFFERS = 512 };

sInt sAllocGeoBuffer(sGeometryPart &part, sInt count, sInt size, sInt duration, sInt kind, sBool advance, void **ptr);
sInt sFitGeoBuffer(sGeoBuffer *gb, sInt count, sInt size);
void sLockGeoBuffer(sGeoBuffer *gb);
void sUnlockGeoBuffer(sGeoBuffer *gb);
void sUnlockGeoBuffers();
sGeoBuffer *sNewGeoBuffer();
void sResetGeoBuffersFrame();
void sReleaseDynamicGeoBuffers();
void sFreeGeoBuffers();
void sDumpGeoBuffers(sBool all);
sInt sGetGeoBufferCount();
sGeoBuffer *sGetGeoBuffer(sInt i);
sInt sGetGeoBufferLocks();
sGeometryPart &sGetQuadIndex();

/****************************************************************************/
/***   Device, frame and statistics                                       ***/
/****************************************************************************/

struct sGraphicsCaps
{
  sU64 Texture2D, TextureCube, VertexTex2D, VertexTexCube, TextureRT;
  sU32 Flags;              // 1 RAWZ, 2 INTZ, 4 DF24, 8 RESZ
  sInt MaxMultisampleLevel;
  sInt ShaderProfile;      // 256, 258 (model 2), 259 (model 3)
  sF32 XSOffset, YSOffset;
  sChar AdapterName[64];
  sBool SoftwareRasterizer;  // the adapter is one of Mesa's software rasterizers
};

enum : sU32
{
  sGCF_RAWZ = 1,
  sGCF_INTZ = 2,
  sGCF_DF24 = 4,
  sGCF_RESZ = 8,
};

struct sGraphicsStats
{
  sInt Batches;            // draw calls
  sInt Ranges;
  sInt Primitives;
  sInt Vertices;
  sInt Indices;
  sInt Instances;
  sInt TextureChanges;
  sInt SamplerChanges[20];
  sInt VSChanges;
  sInt PSChanges;
  sInt VariantChanges;
  sInt Frames;
  sU64 StaticTextureMem;
  sU64 StaticVertexMem;
  sInt GeoBuffersUsed;
};

void sInitGfx(sU32 flags, sInt width, sInt height);
void sExitGfx();
sBool sRender3DBegin();
void sRender3DEnd(sBool present = 1);
void sPaintFrame();
// Inside a frame: binds the screen and clears it with the colour (0xAARRGGBB).
void sSetFrameClearColor(sU32 color);
sTexture2D *sGetScreenColorBuffer(sInt screen = 0);
sTexture2D *sGetScreenDepthBuffer();
sTexture2D *sGetLargeDepthBuffer();
void sGetGraphicsCaps(sGraphicsCaps &caps);
void sGetGraphicsStats(sGraphicsStats &stats);
sBool sIsGfxActive();
sBool sIsRender3DInProgress();
// Makes the frame driver run its frames on this back end (call before sInit).
void sInstallGraphicsFrames();
sInt sGetScreenCount();
// The frame's counters so far (the draw calls add to them).
sGraphicsStats &sGetFrameStats();

// Device seam access and the window of the device (the main window unless set).
sGpuDevice *sGetGpuDevice();
void sSetGfxWindow(SDL_Window *window);

void sSetTexture(sInt sampler, sTextureBase *tex);
void sSetStates(const sU32 *list, sInt pairs);
void sBuildStateList(const sMaterial *mtrl, sU32 *&data);
// The cached value of a state id (0..575), the marker when it is unknown.
sU32 sGetCachedState(sInt id);
constexpr sU32 sSTATE_UNKNOWN = 0xfefefefe;
void sFreeOccQueries();
void sFindScreenFormats(sInt display, sScreenMode &mode, sU32 &backBuffer, sU32 &depth, sU32 &displayFormat);

extern sBool DontCheckMtrlPrepare;
extern sVertexFormat *CurrentMtrlVFormat;

/****************************************************************************/
/***   Core start-up and hooks                                            ***/
/****************************************************************************/

void sInitGraphicsCore();
void sExitGraphicsCore();
void sFlushVertexFormats(sDInt flag);

extern sHook *sGfxPrePresentHook;
extern sHook *sGfxEndFrameHook;
extern sHook *sGfxLostDeviceHook;

/****************************************************************************/
/***   Environment and view constants                                     ***/
/****************************************************************************/

struct sRenderEnv
{
  sVec3 LightVectors[4];
  sU32 LightColors[4];
  sU32 Color;
  sMat4x4 Matrices[4];
  sVec4 Vectors[4];
  sF32 Value0;
  sF32 FogStart;
  sF32 FogEnd;
  sF32 Value1;
  sU32 FogColor;
  sF32 Values[5];
  sRenderEnv();
};

struct sViewConstants
{
  sMat4x4 MVP;
  sU32 Words[32];
  sViewConstants();
};
