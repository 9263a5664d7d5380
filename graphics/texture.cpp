// Textures: format table, device objects, level loading, the render-target table and
// its lost-device restore, proxies, copies, resolves, read-back, format support and block
// packing.

#include "graphics/internal.hpp"

#include "base/leaktracker.hpp"
#include "base/log.hpp"
#include "base/system.hpp"
#include "graphics/dxt.hpp"

#include <cstring>
#include <unordered_set>
#include <vector>

using namespace plat::gpu;

/****************************************************************************/
/***   Formats                                                            ***/
/****************************************************************************/

sInt sBitsPerPixel(sInt format)
{
  static const sU8 bits[40] = {
    0,                                  // 0
    32, 32, 32, 64, 32, 64, 128, 16,    // 1-8
    32, 64, 8, 8, 4, 4, 8, 8,           // 9-16
    4, 8, 32, 64, 32, 32, 4, 8,         // 17-24
    16, 16, 16, 16, 8, 16, 16, 16,      // 25-32
    32, 16, 32, 8, 16, 32, 8,           // 33-39
  };
  if(format < 1 || format > 39) sFatalF(u"sBitsPerPixel: unknown format %d\n", format);
  return bits[format];
}

sBool sIsBlockFormat(sInt format)
{
  return format == sTEX_DXT1 || format == sTEX_DXT1A || format == sTEX_DXT3 || format == sTEX_DXT5 ||
         format == sTEX_DXT5N || format == sTEX_DXT5_AYCOCG;
}

namespace
{
sInt BlockBytes(sInt format) { return (format == sTEX_DXT1 || format == sTEX_DXT1A) ? 8 : 16; }

// The texture's bytes as the memory count takes them: the first level's pixels, each
// further level a quarter of the one before.
sU64 TextureBytes(const sTextureBase *t)
{
  sU64 level = sU64(t->SizeX) * sU64(t->SizeY) * sU64(t->BitsPerPixel) / 8;
  sU64 sum = 0;
  sInt levels = t->Mipmaps < 1 ? 1 : t->Mipmaps;
  for(sInt i = 0; i < levels; i++, level /= 4) sum += level;
  return sum;
}

void Rel(sGpuRes *&res)
{
  if(res && DX.Dev) DX.Dev->Release(res);
  res = nullptr;
}
}

sInt sGetLevelPitch(sInt format, sInt width)
{
  if(sIsBlockFormat(format)) return ((width + 3) / 4) * BlockBytes(format);
  return width * sBitsPerPixel(format) / 8;
}

sInt sGetLevelRows(sInt format, sInt height)
{
  if(sIsBlockFormat(format)) return (height + 3) / 4;
  return height;
}

void sConvertTextureFormat(sU32 flags, sU32 &format, sU32 &usage, sU32 &pool, sInt &levels, sU32 &lockFlags)
{
  sInt code = flags & sTEX_FORMAT;
  sU32 f = FMT_UNKNOWN;
  sBool depth = 0;
  sU32 zkind = DX.Caps.Flags & 7;
  switch(code)
  {
  case 1: case 19: f = FMT_A8R8G8B8; break;
  case 2: f = FMT_Q8W8V8U8; break;
  case 3: f = FMT_G16R16; break;
  case 4: f = FMT_A16B16G16R16; break;
  case 5: f = FMT_R32F; break;
  case 6: f = FMT_G32R32F; break;
  case 7: f = FMT_A32B32G32R32F; break;
  case 8: f = FMT_R16F; break;
  case 9: f = FMT_G16R16F; break;
  case 10: f = FMT_A16B16G16R16F; break;
  case 11: f = FMT_A8; break;
  case 12: f = FMT_L8; break;
  case 13: case 14: f = FMT_DXT1; break;
  case 15: f = FMT_DXT3; break;
  case 16: case 29: case 36: f = FMT_DXT5; break;
  case 24: f = FMT_A4L4; break;
  case 25: f = FMT_A8L8; break;
  case 27: f = FMT_A1R5G5B5; break;
  case 28: f = FMT_R5G6B5; break;
  case 31: f = FMT_A4R4G4B4; break;
  case 32: case 34: f = FMT_D16; depth = 1; break;
  case 33: case 35: f = FMT_D24S8; depth = 1; break;
  case 37: f = zkind == 1 ? FMT_RAWZ : zkind == 2 ? FMT_INTZ : FMT_DF16; depth = 1; break;
  case 38: f = zkind == 1 ? FMT_RAWZ : zkind == 2 ? FMT_INTZ : FMT_DF24; depth = 1; break;
  default:
    sLogF(u"gfx", u"invalid format %d\n", code);
    sFatalF(u"invalid format %d\n", code);
  }
  format = f;
  usage = 0;
  pool = POOL_MANAGED;
  lockFlags = 0;
  sInt mm = levels;
  if(flags & sTEX_RENDERTARGET)
  {
    sVERIFY(!(flags & sTEX_DYNAMIC));
    sVERIFY((flags & sTEX_NOMIPMAPS) || (flags & sTEX_AUTOMIPMAP) || mm != 0);
    pool = POOL_DEFAULT;
    usage = depth ? USAGE_DEPTHSTENCIL : USAGE_RENDERTARGET;
  }
  else if(depth)
  {
    usage = USAGE_DEPTHSTENCIL;
    pool = POOL_DEFAULT;
  }
  if(flags & sTEX_DYNAMIC)
  {
    pool = POOL_DEFAULT;
    usage = USAGE_DYNAMIC;
    levels = 1;
    lockFlags = LOCK_DISCARD;
  }
  if(flags & sTEX_AUTOMIPMAP)
  {
    usage |= USAGE_AUTOGENMIPMAP;
    levels = 0;
  }
}

/****************************************************************************/
/***   Texture objects                                                    ***/
/****************************************************************************/

namespace
{
// Every texture object alive, so that the end of the device takes back what they hold.
std::unordered_set<sTextureBase *> &LiveTextures()
{
  static std::unordered_set<sTextureBase *> live;
  return live;
}
}

void sReleaseAllTextures()
{
  std::vector<sTextureBase *> holding;
  for(sTextureBase *t : LiveTextures())
    if(t->Tex || t->Surf2D || t->MultiSurf2D) holding.push_back(t);
  // a texture object that outlives the device keeps its size and flags but no device
  // objects: deleting it later releases nothing, and no later device gets its handles
  for(sTextureBase *t : holding) t->ReleasePlatform();
  // render targets without device objects leave the table as well
  while(DX.RTCount > 0)
  {
    sTexture2D *t = DX.RTTable[DX.RTCount - 1];
    t->ReleasePlatform();
    if(t->RTIndex >= 0) sRemRenderTarget(t);
  }
}

sTextureBase::sTextureBase()
{
  LiveTextures().insert(this);
  Tex = Surf2D = MultiSurf2D = nullptr;
  RTState = 0;
  Loading = -1;
  LoadBuffer = nullptr;
  Proxies = nullptr;
  Flags = 0;
  Mipmaps = 0;
  BitsPerPixel = 0;
  SizeX = SizeY = SizeZ = 0;
  Word0 = Word1 = -1;
  OrigX = OrigY = 0;
}

sTextureBase::~sTextureBase()
{
  LiveTextures().erase(this);
  sVERIFY(LoadBuffer==0);
  while(Proxies)
  {
    sTextureProxy *pr = Proxies;
    sVERIFYAS(pr->LinkTo == this, u"pr->Link==this");
    pr->Disconnect();
  }
}

void sTextureBase::OnLostDevice(sBool) { sFatal(u"OnLostDevice not supported by this kind of texture\n"); }

void sTextureBase::Reset() { ReleasePlatform(); }

void sTextureBase::ReleasePlatform()
{
  // a sampler still holding this texture is set again at its next use: the object may
  // get another device texture (or its memory another texture object)
  for(sTextureBase *&t : DX.TextureCache)
    if(t == this) t = reinterpret_cast<sTextureBase *>(1);
  Rel(Tex);
  Rel(Surf2D);
  Rel(MultiSurf2D);
}

sTexture2D::sTexture2D() : DevFormat(0), RTIndex(-1), LockFlags(0), InitMipmaps(0) { Flags = sTEX_2D; }

sTexture2D::sTexture2D(sInt x, sInt y, sU32 flags, sInt mipmaps)
    : DevFormat(0), RTIndex(-1), LockFlags(0), InitMipmaps(0)
{
  Flags = sTEX_2D;
  Init(x, y, flags, mipmaps, 0);
}

sTexture2D::~sTexture2D()
{
  sVERIFY(LoadBuffer==0);
  ReleasePlatform();
}

void sTexture2D::Init(sInt x, sInt y, sU32 flags, sInt mipmaps, sBool force)
{
  sVERIFY(LoadBuffer==0);
  OrigX = x;
  OrigY = y;
  InitMipmaps = mipmaps;
  if(flags & sTEX_SCREENSHIFT)
  {
    sInt sx, sy;
    sGetScreenSize(sx, sy);
    x = sx >> x;
    y = sy >> y;
  }
  sInt limit = mipmaps ? mipmaps : 32;
  sInt d = sIsBlockFormat(flags & sTEX_FORMAT) ? 4 : 1;
  sInt levels = 0;
  while(levels < limit && levels < 31 && x >= (d << levels) && y >= (d << levels)) levels++;
  if(flags & sTEX_NOMIPMAPS) levels = 1;

  sU32 newFlags = (flags & ~0xe000u) | sTEX_2D;
  if(!force && x == SizeX && y == SizeY && newFlags == Flags && levels == Mipmaps) return;

  Reset();
  SizeX = x;
  SizeY = y;
  SizeZ = 1;
  Mipmaps = levels;
  Loading = -1;
  Flags = newFlags;
  BitsPerPixel = sBitsPerPixel(Flags & sTEX_FORMAT);
  sPushMemLeakDesc(u"sTexture2D");
  CreatePlatform(Flags);
  sPopMemLeakDesc();
}

void sTexture2D::LoadAll(const sU8 *data)
{
  sInt format = Flags & sTEX_FORMAT;
  sInt x = SizeX, y = SizeY;
  for(sInt level = 0; level < Mipmaps; level++)
  {
    sInt rowBytes = sGetLevelPitch(format, x < 1 ? 1 : x);
    sInt rows = sGetLevelRows(format, y < 1 ? 1 : y);
    sU8 *dest;
    sInt pitch;
    BeginLoad(dest, pitch, level);
    sVERIFY(rowBytes <= pitch);
    for(sInt r = 0; r < rows; r++)
    {
      std::memcpy(dest + sDInt(r) * pitch, data, rowBytes);
      data += rowBytes;
    }
    EndLoad();
    x /= 2;
    y /= 2;
  }
}

void sTexture2D::CreatePlatform(sU32 flags)
{
  sGpuDevice *DXDev = DX.Dev;
  sVERIFY(DXDev);
  if(flags & sTEX_LATEDYNAMIC)
  {
    flags = (flags & ~sTEX_LATEDYNAMIC) | sTEX_DYNAMIC;
    Flags = flags;
  }
  sVERIFY((flags & sTEX_TYPE_MASK)==sTEX_2D);
  sU32 fmt, usage, pool, lockFlags;
  sInt levels = InitMipmaps;
  sConvertTextureFormat(flags, fmt, usage, pool, levels, lockFlags);
  if(flags & sTEX_AUTOMIPMAP) levels = Mipmaps = 0;   // the device makes the levels below the first
  else if(flags & sTEX_DYNAMIC) levels = Mipmaps = 1;
  else levels = Mipmaps;
  DevFormat = fmt;
  LockFlags = lockFlags;
  sInt code = flags & sTEX_FORMAT;
  if(code == sTEX_DEPTH16NOREAD || code == sTEX_DEPTH24NOREAD)
  {
    sDXCHECK(DX.Dev->CreateDepthStencilSurface(sU32(SizeX), sU32(SizeY), Format(fmt), MULTISAMPLE_NONE, 0, 0,
                                               &Surf2D));
  }
  else if(!(flags & sTEX_BACKBUFFER))
  {
    sDXCHECK(DX.Dev->CreateTexture(sU32(SizeX), sU32(SizeY), sU32(levels), usage, Format(fmt), Pool(pool), &Tex));
  }
  if(Mipmaps == 0) Mipmaps = 1;

  if(flags & sTEX_MSAA)
  {
    sVERIFY(flags & sTEX_RENDERTARGET);
    sU32 level = sU32(CurrentScreenMode.MultiLevel);
    sU32 maxLevel = sU32(DX.Caps.MaxMultisampleLevel - 1);
    sU32 quality = level < maxLevel ? level : maxLevel;
    if(usage & USAGE_DEPTHSTENCIL)
      sDXCHECK(DX.Dev->CreateDepthStencilSurface(sU32(SizeX), sU32(SizeY), BitsPerPixel == 16 ? FMT_D16 : FMT_D24S8,
                                                 MULTISAMPLE_NONMASKABLE, quality, 1, &MultiSurf2D));
    else
      sDXCHECK(DX.Dev->CreateRenderTarget(sU32(SizeX), sU32(SizeY), Format(fmt), MULTISAMPLE_NONMASKABLE, quality, 0,
                                          &MultiSurf2D));
  }
  if((flags & sTEX_AUTOMIPMAP) && (flags & sTEX_AUTOMIPMAP_POINT) && Tex)
    sDXCHECK(DX.Dev->SetAutoGenFilterType(Tex, TEXF_POINT));
  DX.StaticTextureMem += TextureBytes(this);
  if(flags & (sTEX_RENDERTARGET | sTEX_DYNAMIC)) sAddRenderTarget(this);
}

void sTexture2D::ReleasePlatform()
{
  // safe to call twice: a texture leaves the table and the memory count only once
  sBool had = Tex || Surf2D || MultiSurf2D || RTIndex >= 0;
  if(RTIndex >= 0) sRemRenderTarget(this);
  sTextureBase::ReleasePlatform();
  if(had)
  {
    sU64 bytes = TextureBytes(this);
    DX.StaticTextureMem = DX.StaticTextureMem >= bytes ? DX.StaticTextureMem - bytes : 0;
  }
}

void sTexture2D::BeginLoad(sU8 *&data, sInt &pitch, sInt level)
{
  sVERIFY(Loading==-1);
  LockedRect lr;
  sDXCHECK(DX.Dev->LockTexture(Tex, sU32(level), lr, LockFlags));
  data = static_cast<sU8 *>(lr.Bits);
  pitch = lr.Pitch;
  Loading = level;
}

void sTexture2D::EndLoad()
{
  sVERIFY(Loading>=0);
  sDXCHECK(DX.Dev->UnlockTexture(Tex, sU32(Loading)));
  Loading = -1;
}

void sTexture2D::OnLostDevice(sBool restore)
{
  if(!(Flags & (sTEX_RENDERTARGET | sTEX_DYNAMIC))) return;
  ReleasePlatform();
  // proxies let go as well: the device can only be reset with every such object released
  for(sTextureProxy *pr = Proxies; pr; pr = pr->NextProxy) pr->ReleasePlatform();
  if(restore)
  {
    Init(OrigX, OrigY, Flags, InitMipmaps, 1);
    Word0 = Word1 = -1;
    for(sTextureProxy *pr = Proxies; pr; pr = pr->NextProxy) pr->Link(this);
  }
}

/****************************************************************************/
/***   Render-target table                                                ***/
/****************************************************************************/

void sAddRenderTarget(sTexture2D *tex)
{
  sInt &DXRTCount = DX.RTCount;
  sVERIFY(DXRTCount < MAX_RENDERTARGETS);
  tex->RTIndex = DX.RTCount;
  DX.RTTable[DX.RTCount++] = tex;
}

void sRemRenderTarget(sTexture2D *tex)
{
  sInt i = tex->RTIndex;
  sVERIFY(i >= 0 && i < DX.RTCount && DX.RTTable[i] == tex);
  DX.RTCount--;
  DX.RTTable[i] = DX.RTTable[DX.RTCount];
  DX.RTTable[i]->RTIndex = i;
  DX.RTTable[DX.RTCount] = nullptr;
  tex->RTIndex = -1;
}

sInt sGetRenderTargetCount() { return DX.RTCount; }
sU64 sGetStaticTextureMem() { return DX.StaticTextureMem; }

/****************************************************************************/
/***   Proxies                                                            ***/
/****************************************************************************/

sTextureProxy::sTextureProxy() : LinkTo(nullptr), NextProxy(nullptr) { Flags = sTEX_2D; }

sTextureProxy::~sTextureProxy() { Disconnect(); }

void sTextureProxy::Disconnect()
{
  ReleasePlatform();
  if(!LinkTo) return;
  sTextureProxy **link = &LinkTo->Proxies;
  while(*link && *link != this) link = &(*link)->NextProxy;
  if(*link) *link = NextProxy;
  NextProxy = nullptr;
  LinkTo = nullptr;
}

void sTextureProxy::Link(sTextureBase *tex)
{
  ReleasePlatform();
  if(tex != LinkTo)
  {
    Disconnect();
    if(tex)
    {
      NextProxy = tex->Proxies;
      tex->Proxies = this;
    }
    LinkTo = tex;
  }
  if(!tex) return;
  Tex = tex->Tex;
  Surf2D = tex->Surf2D;
  MultiSurf2D = tex->MultiSurf2D;
  if(Tex) DX.Dev->AddRef(Tex);
  if(Surf2D) DX.Dev->AddRef(Surf2D);
  if(MultiSurf2D) DX.Dev->AddRef(MultiSurf2D);
  Flags = tex->Flags;
  Mipmaps = tex->Mipmaps;
  BitsPerPixel = tex->BitsPerPixel;
  SizeX = tex->SizeX;
  SizeY = tex->SizeY;
  SizeZ = tex->SizeZ;
}

void sTextureProxy::GetSize(sInt &x, sInt &y, sInt &z)
{
  x = SizeX;
  y = SizeY;
  z = SizeZ;
}

/****************************************************************************/
/***   Copy, resolve, read-back                                           ***/
/****************************************************************************/

sCopyTextureSpec::sCopyTextureSpec(sU32 flags, sTextureBase *dest, sTextureBase *source)
{
  Flags = flags;
  Source = source;
  SourceRect = sRect{0, 0, source ? source->SizeX : 0, source ? source->SizeY : 0};
  SourceFace = -1;
  Dest = dest;
  DestRect = sRect{0, 0, dest ? dest->SizeX : 0, dest ? dest->SizeY : 0};
  DestFace = -1;
}

namespace
{
sGpuRes *Level0Surface(sTextureBase *t)
{
  if(t->Surf2D)
  {
    DX.Dev->AddRef(t->Surf2D);
    return t->Surf2D;
  }
  sGpuRes *s = nullptr;
  sDXCHECK(DX.Dev->GetSurfaceLevel(t->Tex, 0, &s));
  return s;
}
}

void sCopyTexture(const sCopyTextureSpec &spec)
{
  sTextureBase *src = spec.Source;
  sTextureBase *dst = spec.Dest;
  if((src->Flags & sTEX_TYPE_MASK) != sTEX_2D || (dst->Flags & sTEX_TYPE_MASK) != sTEX_2D)
    sFatal(u"sCopyTexture: only 2D textures can be copied\n");
  sGpuRes *ss;
  if(src->MultiSurf2D && (src->RTState & 1) && !(src->RTState & 2))
  {
    ss = src->MultiSurf2D;
    DX.Dev->AddRef(ss);
  }
  else
  {
    ss = Level0Surface(src);
  }
  sGpuRes *ds = Level0Surface(dst);
  Rect sr = {spec.SourceRect.x0, spec.SourceRect.y0, spec.SourceRect.x1, spec.SourceRect.y1};
  Rect dr = {spec.DestRect.x0, spec.DestRect.y0, spec.DestRect.x1, spec.DestRect.y1};
  sDXCHECK(DX.Dev->StretchRect(ss, &sr, ds, &dr, (spec.Flags & 1) ? TEXF_LINEAR : TEXF_NONE));
  DX.Dev->Release(ss);
  DX.Dev->Release(ds);
  dst->RTState = 2;
}

void sResolveTexture(sTextureBase *tex)
{
  if(!tex) return;
  if((tex->RTState & 5) == 5 && !(tex->RTState & 2))
  {
    sVERIFY(tex->MultiSurf2D);
    sGpuRes *d = Level0Surface(tex);
    sDXCHECK(DX.Dev->StretchRect(tex->MultiSurf2D, nullptr, d, nullptr, TEXF_NONE));
    DX.Dev->Release(d);
    tex->RTState |= 2;
  }
}

namespace
{
struct ReadBack
{
  sGpuRes *SysMem = nullptr;
  sGpuRes *Resolve = nullptr;
  sU32 SizeX = 0, SizeY = 0;
  Format Fmt = FMT_UNKNOWN;
  sBool Locked = 0;
} RB;
}

void sReleaseReadBack()
{
  if(RB.Locked && RB.SysMem) DX.Dev->UnlockSurface(RB.SysMem);
  RB.Locked = 0;
  Rel(RB.SysMem);
  Rel(RB.Resolve);
  RB.SizeX = RB.SizeY = 0;
  RB.Fmt = FMT_UNKNOWN;
}

void sReadSurface(const sU8 *&data, sInt &pitch, sInt &format, sGpuRes *surface)
{
  SurfaceDesc desc;
  sDXCHECK(DX.Dev->GetSurfaceDesc(surface, desc));
  switch(desc.Fmt)
  {
  case FMT_A8R8G8B8: case FMT_X8R8G8B8: format = 1; break;
  case FMT_R5G6B5: format = 28; break;
  case FMT_A1R5G5B5: format = 27; break;
  case FMT_A4R4G4B4: format = 31; break;
  case FMT_A8: format = 11; break;
  case FMT_G16R16: format = 3; break;
  case FMT_A16B16G16R16: format = 4; break;
  case FMT_L8: format = 12; break;
  case FMT_Q8W8V8U8: format = 2; break;
  case FMT_R16F: format = 8; break;
  case FMT_G16R16F: format = 9; break;
  case FMT_A16B16G16R16F: format = 10; break;
  case FMT_R32F: format = 5; break;
  case FMT_G32R32F: format = 6; break;
  case FMT_A32B32G32R32F: format = 7; break;
  default: sFatalF(u"sReadSurface: format %d can not be read back\n", sInt(desc.Fmt));
  }
  // the kept surfaces fit one size and one format
  if(RB.SizeX != desc.Width || RB.SizeY != desc.Height || RB.Fmt != desc.Fmt) sReleaseReadBack();
  RB.SizeX = desc.Width;
  RB.SizeY = desc.Height;
  RB.Fmt = desc.Fmt;
  if(RB.Locked)
  {
    DX.Dev->UnlockSurface(RB.SysMem);
    RB.Locked = 0;
  }
  if(!RB.SysMem) sDXCHECK(DX.Dev->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Fmt, POOL_SYSTEMMEM, &RB.SysMem));
  sGpuRes *src = surface;
  if(desc.MultiSample != MULTISAMPLE_NONE)
  {
    if(!RB.Resolve)
      sDXCHECK(DX.Dev->CreateRenderTarget(desc.Width, desc.Height, desc.Fmt, MULTISAMPLE_NONE, 0, 0, &RB.Resolve));
    sDXCHECK(DX.Dev->StretchRect(surface, nullptr, RB.Resolve, nullptr, TEXF_NONE));
    src = RB.Resolve;
  }
  sDXCHECK(DX.Dev->GetRenderTargetData(src, RB.SysMem));
  LockedRect lr;
  sDXCHECK(DX.Dev->LockSurface(RB.SysMem, lr, LOCK_READONLY));
  RB.Locked = 1;
  data = static_cast<const sU8 *>(lr.Bits);
  pitch = lr.Pitch;
  DX.Dev->Release(surface);
}

void sBeginReadScreen(const sU8 *&data, sInt &pitch, sInt &format)
{
  sTextureBase *t = DX.ActiveRT ? DX.ActiveRT : DX.ScreenColor[0];
  sVERIFY(t);
  sGpuRes *surf;
  if(t->MultiSurf2D && (t->RTState & 1) && !(t->RTState & 2))
  {
    surf = t->MultiSurf2D;
    DX.Dev->AddRef(surf);
  }
  else
  {
    surf = Level0Surface(t);
  }
  sReadSurface(data, pitch, format, surf);
}

void sEndReadScreen()
{
  if(RB.Locked && RB.SysMem) DX.Dev->UnlockSurface(RB.SysMem);
  RB.Locked = 0;
}

/****************************************************************************/
/***   Format support                                                     ***/
/****************************************************************************/

void sCheckTextureFormats()
{
  sGraphicsCaps &c = DX.Caps;
  c = sGraphicsCaps();
  AdapterIdentifier id;
  std::memset(&id, 0, sizeof(id));
  if(DX.Api->GetAdapterIdentifier(DX.Adapter, id) >= 0) sCopyString8(c.AdapterName, id.Description);
  c.SoftwareRasterizer = IsSoftwareRasterizer(id.Description);
  static const sInt codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 27, 29, 31, 34, 35, 36, 37, 38};
  for(sInt code : codes)
  {
    sU32 fmt, usage, pool, lock;
    sInt levels = 1;
    sConvertTextureFormat(sU32(code) | sTEX_2D, fmt, usage, pool, levels, lock);
    auto ok = [&](sU32 use, ResourceType rt) {
      return DX.Api->CheckDeviceFormat(DX.Adapter, DX.DevType, FMT_X8R8G8B8, use, rt, Format(fmt)) >= 0;
    };
    sU64 bit = sU64(1) << code;
    if(ok(usage, RTYPE_TEXTURE)) c.Texture2D |= bit;
    if(ok(usage, RTYPE_CUBETEXTURE)) c.TextureCube |= bit;
    if(ok(usage | USAGE_RENDERTARGET, RTYPE_TEXTURE)) c.TextureRT |= bit;
    if(ok(usage | USAGE_QUERY_VERTEXTEXTURE, RTYPE_TEXTURE)) c.VertexTex2D |= bit;
    if(ok(usage | USAGE_QUERY_VERTEXTEXTURE, RTYPE_CUBETEXTURE)) c.VertexTexCube |= bit;
  }
}

/****************************************************************************/
/***   Block packing                                                      ***/
/****************************************************************************/

void sPackDXT(sU8 *dest, const sU32 *pixels, sInt width, sInt height, sInt formatAndMode, sInt dither)
{
  sInt code = formatAndMode & sTEX_FORMAT;
  if((formatAndMode & 0x800000) || !DX.Dev)
  {
    sCompressDXT(dest, pixels, width, height, code, dither ? 129 : 1);
    return;
  }
  if(code < 13 || code > 36) sFatalF(u"sPackDXT: format %d is no block format\n", code);
  Format fmt;
  Format srcFmt = FMT_A8R8G8B8;
  std::vector<sU32> conv(pixels, pixels + sDInt(width) * height);
  switch(code)
  {
  case 13: fmt = FMT_DXT1; srcFmt = FMT_X8R8G8B8; break;
  case 14:
    fmt = FMT_DXT1;
    for(sU32 &p : conv) p = (p & 0x00ffffff) | ((p >> 24) >= 128 ? 0xff000000u : 0u);
    break;
  case 15: fmt = FMT_DXT3; break;
  case 16: fmt = FMT_DXT5; break;
  case 29:
    fmt = FMT_DXT5;
    for(sU32 &p : conv) p = ((p << 8) & 0xff000000u) | (p & 0x0000ff00u);
    break;
  case 36:
    fmt = FMT_DXT5;
    for(sU32 &p : conv)
    {
      sInt a = p >> 24, r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
      sInt co = r - b;
      sInt t = b + (co >> 1);
      sInt cg = g - t;
      sInt y = t + (cg >> 1);
      auto cl = [](sInt v) { return sU32(v < 0 ? 0 : v > 255 ? 255 : v); };
      p = sU32(a) << 24 | cl(y) << 16 | cl(co) << 8 | cl(cg);
    }
    break;
  default: sFatalF(u"sPackDXT: format %d is no block format\n", code);
  }
  sGpuRes *surf = nullptr;
  sDXCHECK(DX.Dev->CreateOffscreenPlainSurface(sU32(width), sU32(height), fmt, POOL_SYSTEMMEM, &surf));
  sDXCHECK(DX.Dev->LoadSurfaceFromPixels(surf, conv.data(), srcFmt, sU32(width) * 4, sU32(width), sU32(height),
                                         dither > 0));
  LockedRect lr;
  sDXCHECK(DX.Dev->LockSurface(surf, lr, LOCK_READONLY));
  sInt rowBytes = sGetLevelPitch(code, width);
  sInt rows = sGetLevelRows(code, height);
  for(sInt r = 0; r < rows; r++)
    std::memcpy(dest + sDInt(r) * rowBytes, static_cast<const sU8 *>(lr.Bits) + sDInt(r) * lr.Pitch, rowBytes);
  DX.Dev->UnlockSurface(surf);
  DX.Dev->Release(surf);
}
