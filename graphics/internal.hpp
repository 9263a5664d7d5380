#pragma once
// State shared by the files of the graphics back end (not for users of the graphics).

#include "base/app.hpp"
#include "graphics/gpudevice.hpp"
#include "graphics/graphics.hpp"

// Stops on a failed device call with the result's name (a lost device is not an error
// where the caller handles it).
#define sDXCHECK(x) sDXError(sS32(x), __FILE__, __LINE__, u"" #x)

enum : sInt
{
  sSTATE_CACHE = 576,
  MAX_RENDERTARGETS = 256,
  sMAX_SCREENS = 16,
};

// What a draw binding holds while nobody knows what the device has bound.
inline sGpuRes *sUnknownBinding() { return reinterpret_cast<sGpuRes *>(1); }

struct sGfxBackEnd
{
  sGpuApi *Api = nullptr;
  sGpuDevice *Dev = nullptr;
  plat::gpu::DeviceType DevType = plat::gpu::DEVTYPE_HAL;
  sU32 Adapter = 0;
  sU32 Behaviour = 0;
  plat::gpu::Format DisplayFormat = plat::gpu::FMT_X8R8G8B8;
  plat::gpu::Format BackBufferFormat = plat::gpu::FMT_A8R8G8B8;
  plat::gpu::Format DepthFormat = plat::gpu::FMT_D24S8;
  plat::gpu::Caps DevCaps = {};
  plat::gpu::PresentParameters PP;
  SDL_Window *Window = nullptr;

  sInt ScreenCount = 0;
  sTexture2D *ScreenColor[sMAX_SCREENS] = {};
  sTexture2D *ScreenDepth = nullptr;
  sTexture2D *LargeDepth = nullptr;
  sGpuRes *Pacing[2] = {};
  sInt PacingIndex = 0;

  sBool Active = 0;
  sBool RestoreNeeded = 0;
  sBool Render3DInProgress = 0;

  // bound targets
  sTextureBase *ActiveRT = nullptr;
  sTextureBase *BoundDepth = nullptr;
  sInt BoundTargets = 1;
  sGpuRes *CurrentColor = nullptr;
  sGpuRes *CurrentDepth = nullptr;
  sInt TargetSizeX = 0, TargetSizeY = 0;
  sF32 TargetAspect = 1.0f;
  sRect WindowRect;

  // caches
  sU32 StateCache[sSTATE_CACHE];
  sTextureBase *TextureCache[20] = {};
  // Raised by every change of the state cache. A material's state list applied while it
  // stands still needs no second walk: every pair would find its value already cached.
  sU32 StateEpoch = 0;
  const sU32 *AppliedList = nullptr;   // the state list applied last, at AppliedEpoch
  sU32 AppliedEpoch = 0;
  sShader *CurrentVS = nullptr;
  sShader *CurrentPS = nullptr;
  sInt InstancedStreams = 0;
  sInt SetStreams = 0;
  // what the draws bound last (sUnknownBinding when unknown): the forms of a frame draw from
  // few pooled buffers, so most draws find their declaration, stream 0 and indices bound
  sGpuRes *BoundDecl = sUnknownBinding();
  sGpuRes *BoundStream0 = sUnknownBinding();
  sU32 BoundStride0 = 0;
  sGpuRes *BoundIndices = sUnknownBinding();

  sGraphicsCaps Caps = {};
  sGraphicsStats Stats = {};
  sGraphicsStats LastStats = {};

  // render-target table
  sTexture2D *RTTable[MAX_RENDERTARGETS] = {};
  sInt RTCount = 0;
  sU64 StaticTextureMem = 0;
};

extern sGfxBackEnd DX;
extern sScreenMode CurrentScreenMode;

// Internal steps of the back end used across its files.
// Every state cache entry unknown, so that the next set of each state reaches the device.
void sForgetStateCache();
// A material's state list is freed: its memory may hold another list next.
void sForgetStateList(const sU32 *list);
// The draws' bindings unknown: at a frame's start and when a buffer or declaration goes.
void sForgetDrawBindings();
void sAddRenderTarget(sTexture2D *tex);
void sRemRenderTarget(sTexture2D *tex);
// Releases the device objects of every texture object still alive (at the device's end).
void sReleaseAllTextures();
// Empties the geometry buffer pool without reporting buffers still referenced.
void sEmptyGeoBufferPool();
void sCreateQuadIndex();
void sReleaseQuadIndex();
sU64 sGetStaticVertexMem();
sInt sGetGeoBuffersHoldingData();
