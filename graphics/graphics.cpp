// The graphics core: vertex formats, shaders, materials, constant buffers, viewports,
// render-target specs and the small records the drawing parts share.

#include "graphics/internal.hpp"

#include "base/leaktracker.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"

#include <cstring>

sHook *sGfxPrePresentHook = nullptr;
sHook *sGfxEndFrameHook = nullptr;
sHook *sGfxLostDeviceHook = nullptr;

/****************************************************************************/
/***   Vertex formats                                                     ***/
/****************************************************************************/

sVertexFormat *sVertexFormatPosCol;
sVertexFormat *sVertexFormatPosNormUV;
sVertexFormat *sVertexFormatPosColUV;
sVertexFormat *sVertexFormatPosColUV2;
sVertexFormat *sVertexFormatTangent3;
sVertexFormat *sVertexFormatTangent;
sVertexFormat *sVertexFormatTangentUV3;
sVertexFormat *sVertexFormatSkinned;
sVertexFormat *sVertexFormatInstance3;
sVertexFormat *sVertexFormatInstance4;

namespace
{
constexpr sInt FormatBuckets = 64;
sVertexFormat *FormatHash[FormatBuckets];

// default type of each kind, 0 where the code must name it
const sU8 DefaultType[32] = {
  0, 2, 2, 3, 4, 4, 0, 0,   // -, position, normal, tangent, bone index, bone weight, binormal, -
  4, 4, 4, 4,               // colours
  1, 1, 1, 1,               // texture coordinates 0-3
  0, 0, 0, 0,               // texture coordinates 4-7
  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

template <class T> T *AllocArray(sInt n)
{
  return static_cast<T *>(sMemAlloc(sDInt(sizeof(T)) * (n > 0 ? n : 1), 16, 0));
}

void FreeFormat(sVertexFormat *vf)
{
  vf->ReleasePlatform();
  sMemFree(vf->Data);
  sDelete(vf);
}
}

sInt sVertexTypeSize(sInt type)
{
  switch(type)
  {
  case 1: return 8;
  case 2: return 12;
  case 3: return 16;
  case 4: case 5: case 6: case 8: case 10: return 4;
  case 7: case 9: return 8;
  case 11: return 6;
  default: sFatalF(u"unknown vertex element type %d\n", type);
  }
}

sVertexFormat *sCreateVertexFormat(const sU32 *codes)
{
  sPushMemType(1);
  sU32 list[32];
  sInt count = 0;
  while(codes[count])
  {
    sVERIFY(count<31);
    sU32 c = codes[count];
    if((c & sVF_TYPEMASK) == 0) c |= sU32(DefaultType[c & sVF_USEMASK]) << sVF_TYPESHIFT;
    list[count++] = c;
  }
  list[count++] = 0;

  sU32 hash = sChecksumCRC32(list, sDInt(count * sizeof(sU32)));
  sVertexFormat **bucket = &FormatHash[hash & (FormatBuckets - 1)];
  for(sVertexFormat *vf = *bucket; vf; vf = vf->Next)
  {
    if(vf->Count == count && std::memcmp(vf->Data, list, count * sizeof(sU32)) == 0)
    {
      vf->UseCount++;
      sPopMemType(1);
      return vf;
    }
  }

  sVertexFormat *vf = sNEW sVertexFormat;
  vf->Count = count;
  vf->Data = AllocArray<sU32>(count);
  std::memcpy(vf->Data, list, count * sizeof(sU32));
  vf->UseCount = 1;
  for(sInt &s : vf->Streams) s = 0;
  vf->StreamCount = 1;
  vf->AvailMask = 0;
  vf->MemMark = sIsMemMarkActive();
  vf->Decl = nullptr;
  vf->Next = *bucket;
  *bucket = vf;

  for(sInt i = 0; vf->Data[i]; i++)
  {
    sU32 c = vf->Data[i];
    sInt stream = (c & sVF_STREAMMASK) >> sVF_STREAMSHIFT;
    sInt type = (c & sVF_TYPEMASK) >> sVF_TYPESHIFT;
    vf->Streams[stream] += sVertexTypeSize(type);
    if(stream + 1 > vf->StreamCount) vf->StreamCount = stream + 1;
    vf->AvailMask |= 1u << (c & sVF_USEMASK);
  }
  vf->CreatePlatform();
  sPopMemType(1);
  return vf;
}

void sFreeVertexFormats()
{
  for(sVertexFormat *&head : FormatHash)
  {
    while(head)
    {
      sVertexFormat *vf = head;
      head = vf->Next;
      FreeFormat(vf);
    }
  }
}

sInt sGetVertexFormatCount()
{
  sInt n = 0;
  for(sVertexFormat *head : FormatHash)
    for(sVertexFormat *vf = head; vf; vf = vf->Next) n++;
  return n;
}

void sFlushVertexFormats(sDInt flag)
{
  if(flag)
  {
    sLogF(u"gfx", u"flushing vertex format handles\n");
    for(sVertexFormat *&head : FormatHash)
    {
      sVertexFormat **link = &head;
      while(*link)
      {
        sVertexFormat *vf = *link;
        if(vf->MemMark)
        {
          *link = vf->Next;
          FreeFormat(vf);
        }
        else
        {
          link = &vf->Next;
        }
      }
    }
    sFreeOccQueries();
  }
  sLogF(u"gfx", u"%d registered shaders\n", sGetShaderCount());
}

/****************************************************************************/
/***   Shaders                                                            ***/
/****************************************************************************/

namespace
{
struct sShaderList
{
  sShader *First = nullptr;
  sShader *Last = nullptr;
  sInt Count = 0;
};
sShaderList *Shaders = nullptr;

sInt PaddedSize(sInt bytes) { return (bytes + 3) & ~3; }
}

sU32 sShaderChecksum(sU32 type, const sU8 *code, sInt bytes)
{
  sU32 head[2] = {type, sU32(bytes)};
  const sU8 zero[4] = {0, 0, 0, 0};
  sChecksumAdler32Begin();
  sChecksumAdler32Add(head, sizeof(head));
  sChecksumAdler32Add(code, bytes);
  sChecksumAdler32Add(zero, PaddedSize(bytes) - bytes);
  sChecksumAdler32Add(zero, 4);
  return sChecksumAdler32End();
}

sShader::sShader(sU32 type, const sU8 *code, sInt bytes)
{
  BlobSize = PaddedSize(bytes) + 12;
  Blob = static_cast<sU8 *>(sMemAlloc(BlobSize, 16, 0));
  std::memset(Blob, 0, BlobSize);
  sU32 head[2] = {type, sU32(bytes)};
  std::memcpy(Blob, head, 8);
  std::memcpy(Blob + 8, code, bytes);
  Type = type;
  UseCount = 1;
  Checksum = sShaderChecksum(type, code, bytes);
  Handle = nullptr;
  Prev = Next = nullptr;

  // take the first record made for this device's byte code
  const sU8 *rec = Blob;
  for(;;)
  {
    sU32 rtype, rlen;
    std::memcpy(&rtype, rec, 4);
    if(rtype == 0) break;
    std::memcpy(&rlen, rec + 4, 4);
    if(((rtype ^ (type | sSTF_HLSL23)) & 0xff00) == 0)
    {
      sCreateShader2(this, reinterpret_cast<const sU32 *>(rec));
      return;
    }
    rec += 8 + PaddedSize(sInt(rlen));
  }
  sLogF(u"gfx", u"warning: shader creation failed, no suitable shader found\n");
}

sShader::~sShader()
{
  ReleasePlatform();
  sMemFree(Blob);
}

sShader *sCreateShader(sU32 type, const sU8 *code, sInt bytes)
{
  sVERIFY(type & sSTF_PLATFORM);
  sU32 sum = sShaderChecksum(type, code, bytes);
  sVERIFY(Shaders);
  for(sShader *sh = Shaders->First; sh; sh = sh->Next)
  {
    if(sh->Type != type || sh->Checksum != sum || sh->BlobSize != PaddedSize(bytes) + 12) continue;
    sU32 rtype, rlen, end;
    std::memcpy(&rtype, sh->Blob, 4);
    std::memcpy(&rlen, sh->Blob + 4, 4);
    std::memcpy(&end, sh->Blob + 8 + PaddedSize(bytes), 4);
    if(rtype == type && rlen == sU32(bytes) && end == 0 && std::memcmp(sh->Blob + 8, code, bytes) == 0)
    {
      sh->UseCount++;
      return sh;
    }
  }
  sPushMemType(1);
  sShader *sh = sNEW sShader(type, code, bytes);
  sPopMemType(1);
  sh->Prev = Shaders->Last;
  if(Shaders->Last) Shaders->Last->Next = sh;
  else Shaders->First = sh;
  Shaders->Last = sh;
  Shaders->Count++;
  return sh;
}

void sShaderRelease(sShader *sh)
{
  if(!sh) return;
  if(--sh->UseCount >= 1) return;
  // a shader that outlived the device it was made on is in no list (and holds nothing
  // of the device): it must not unlink itself from a later device's list
  if(Shaders && (sh->Prev || Shaders->First == sh))
  {
    if(sh->Prev) sh->Prev->Next = sh->Next;
    else Shaders->First = sh->Next;
    if(sh->Next) sh->Next->Prev = sh->Prev;
    else Shaders->Last = sh->Prev;
    Shaders->Count--;
  }
  sDelete(sh);
}

sInt sGetShaderCount() { return Shaders ? Shaders->Count : 0; }

/****************************************************************************/
/***   Render states and materials                                        ***/
/****************************************************************************/

sRenderStates::sRenderStates()
{
  std::memset(this, 0, sizeof(*this));
  Flags = sMTRL_ZON | sMTRL_CULLON;
  DepthFunc = sCMP_LESSEQUAL;
  AlphaFunc = sCMP_ALWAYS;
  StencilFunc = sCMP_ALWAYS;
  BlendColor = 0;
  BlendAlpha = 0xffffffff;
  BlendFactor = 0xffffffff;
  StencilRef = 0;
  StencilMask = 255;
  AlphaRef = 10;
}

sMaterial::sMaterial()
{
  sPushMemLeakDesc(u"sMaterial");
  Format = nullptr;
  VertexShader = PixelShader = nullptr;
  StateVariants = 0;
  Variants = nullptr;
  States = nullptr;
  StateCount = nullptr;
  for(sInt i = 0; i < 16; i++)
  {
    Texture[i] = nullptr;
    SamplerMap[i] = sU16(i);
  }
  AutoVariant = 0;
  sPopMemLeakDesc();
}

namespace
{
void FreeVariants(sMaterial *m)
{
  if(m->States)
  {
    for(sInt i = 0; i < m->StateVariants; i++)
    {
      sForgetStateList(m->States[i]);
      sMemFree(m->States[i]);
    }
    sMemFree(m->States);
  }
  if(m->Variants) sMemFree(m->Variants);
  sMemFree(m->StateCount);
  m->States = nullptr;
  m->Variants = nullptr;
  m->StateCount = nullptr;
  m->StateVariants = 0;
}
}

sMaterial::~sMaterial()
{
  sShaderRelease(VertexShader);
  sShaderRelease(PixelShader);
  FreeVariants(this);
}

void sMaterial::InitVariants(sInt count)
{
  if(count == StateVariants && States) return;
  if(States)
  {
    sLogF(u"gfx", u"material variants initialized twice\n");
    FreeVariants(this);
  }
  StateVariants = count;
  Variants = AllocArray<sRenderStates>(count);
  for(sInt i = 0; i < count; i++) new(&Variants[i]) sRenderStates;
  States = AllocArray<sU32 *>(count);
  StateCount = AllocArray<sInt>(count);
  for(sInt i = 0; i < count; i++)
  {
    States[i] = nullptr;
    StateCount[i] = 0;
  }
  AutoVariant = 0;
}

void sMaterial::SetVariant(sInt var)
{
  sVERIFY(var>=0 && var<StateVariants);
  Variants[var] = S;
  sU32 buffer[512];
  sU32 *data = buffer;
  sBuildStateList(this, data);
  sVERIFY(data>=buffer && data<=buffer+sDInt(sizeof(buffer)/sizeof(*(buffer))));
  SetVariantStates(buffer, sInt(data - buffer) / 2, var);
}

void sMaterial::SetVariantStates(const sU32 *list, sInt pairs, sInt var)
{
  sVERIFY(var<StateVariants);
  sVERIFY(States[var]==0);
  States[var] = AllocArray<sU32>(pairs * 2);
  std::memcpy(States[var], list, sizeof(sU32) * 2 * pairs);
  StateCount[var] = pairs;
}

void sMaterial::Prepare(sVertexFormat *format)
{
  sShader *oldVS = VertexShader;
  sShader *oldPS = PixelShader;
  VertexShader = PixelShader = nullptr;
  SelectShaders(format);
  if(StateVariants == 0)
  {
    InitVariants(1);
    SetVariant(0);
    AutoVariant = 1;
  }
  else if(AutoVariant)
  {
    // the variant made here follows the block again: textures given since, and the states
    // owners set before preparing again (a shadow pass's blend), would be lost otherwise
    sForgetStateList(States[0]);
    sMemFree(States[0]);
    States[0] = nullptr;
    StateCount[0] = 0;
    SetVariant(0);
  }
  sShaderRelease(oldVS);
  sShaderRelease(oldPS);
  for(sInt i = 0; i < 16; i++)
  {
    sInt sampler = SamplerMap[i];
    if((sampler & 0xff00) == sMTRL_VSTEX)
    {
      sampler &= 0xff;
      sVERIFY(sampler<sMTRL_MAXVSTEX);
    }
    else
    {
      sVERIFY((sampler & 0xff00) == 0);
      sVERIFY(sampler<sMTRL_MAXPSTEX);
    }
  }
  Format = format;
}

/****************************************************************************/
/***   Constant buffers                                                   ***/
/****************************************************************************/

namespace
{
sCBufferBase *CurrentCB[sCBUFFER_MAXSLOT * sCBUFFER_SHADERTYPES];
sU64 SlotMask[sCBUFFER_MAXSLOT * sCBUFFER_SHADERTYPES];
sU64 UseMask[sCBUFFER_SHADERTYPES];
const sChar *const ShaderTypeNames[3] = {u"VS", u"PS", u"GS"};
}

sCBufferBase::sCBufferBase() : Data(nullptr), OwnerPtr(nullptr), Mask(0), Register(0), Count(0), Slot(0) {}

sCBufferBase::~sCBufferBase()
{
  if(Slot < sCBUFFER_MAXSLOT * sCBUFFER_SHADERTYPES && CurrentCB[Slot] == this) CurrentCB[Slot] = nullptr;
}

void sCBufferBase::SetRegs(sInt slot, sInt reg, sInt count)
{
  Slot = sU16(slot);
  Register = reg;
  Count = count;
  Mask = 0;
  for(sInt r = reg; r < reg + count && r < 256; r++) Mask |= sU64(1) << (r / 4);
}

void sCBufferBase::SetPtr(void **ownerPtr, void *data)
{
  Data = data;
  OwnerPtr = ownerPtr;
  if(ownerPtr) *ownerPtr = data;
}

void sCBufferBase::Modify()
{
  if(OwnerPtr) *OwnerPtr = Data;
  if(Slot < sCBUFFER_MAXSLOT * sCBUFFER_SHADERTYPES && CurrentCB[Slot] == this) CurrentCB[Slot] = nullptr;
}

sCBuffer::sCBuffer(sInt slot, sInt reg, sInt count)
{
  SetRegs(slot, reg, count);
  Data = sMemAlloc(sDInt(count) * 16, 16, 0);
  std::memset(Data, 0, sDInt(count) * 16);
  Modify();
}

sCBuffer::~sCBuffer() { sMemFree(Data); }

void sSetCBuffers(sCBufferBase **cbuffers, sInt count)
{
  for(sInt n = 0; n < count; n++)
  {
    sCBufferBase *cb = cbuffers[n];
    if(!cb) continue;
    sVERIFY(cb->Slot<sCBUFFER_MAXSLOT*sCBUFFER_SHADERTYPES);
    sInt slot = cb->Slot;
    if(CurrentCB[slot] == cb) continue;
    sInt t = slot / sCBUFFER_MAXSLOT;
    UseMask[t] &= ~SlotMask[slot];
    if(cb->Mask & UseMask[t])
    {
      SlotMask[slot] = 0;
      sBool cleared = 0;
      for(sInt i = t * sCBUFFER_MAXSLOT; i < (t + 1) * sCBUFFER_MAXSLOT; i++)
      {
        if(SlotMask[i] & cb->Mask)
        {
          UseMask[t] &= ~SlotMask[i];
          SlotMask[i] = 0;
          CurrentCB[i] = nullptr;
          cleared = 1;
        }
      }
      if(!cleared)
        sLogF(u"gfx", u"register collision %s, %02d: %03d..%03d\n", ShaderTypeNames[t], slot % sCBUFFER_MAXSLOT,
              cb->Register, cb->Register + cb->Count - 1);
    }
    cb->Upload();
    CurrentCB[slot] = cb;
    UseMask[t] |= cb->Mask;
    SlotMask[slot] = cb->Mask;
  }
}

void sResetCBufferSlots()
{
  for(sInt i = 0; i < sCBUFFER_MAXSLOT * sCBUFFER_SHADERTYPES; i++)
  {
    CurrentCB[i] = nullptr;
    SlotMask[i] = 0;
  }
  UseMask[0] = UseMask[1] = 0;
}

/****************************************************************************/
/***   Core start-up                                                      ***/
/****************************************************************************/

namespace
{
void FlushHook(sDInt value, void *) { sFlushVertexFormats(value); }
}

void sInitGraphicsCore()
{
  Shaders = sNEW sShaderList;
  if(sGetMemoryHook()) sAddMemoryHook(FlushHook, nullptr);

  static const sU32 PosCol[] = {sVF_POSITION, sVF_COLOR0, 0};
  static const sU32 PosNormUV[] = {sVF_POSITION, sVF_NORMAL, sVF_UV0, 0};
  static const sU32 PosColUV[] = {sVF_POSITION, sVF_COLOR0, sVF_UV0, 0};
  static const sU32 PosColUV2[] = {sVF_POSITION, sVF_COLOR0, sVF_UV0, sVF_UV1, 0};
  static const sU32 Tangent3[] = {sVF_POSITION, sVF_NORMAL, sVF_TANGENT | sVF_F3, sVF_COLOR0, sVF_UV0, sVF_UV1, 0};
  static const sU32 Tangent[] = {sVF_POSITION, sVF_NORMAL, sVF_TANGENT | sVF_F4, sVF_COLOR0, sVF_UV0, sVF_UV1, 0};
  static const sU32 TangentUV3[] = {sVF_POSITION, sVF_NORMAL, sVF_TANGENT | sVF_F4, sVF_COLOR0,
                                    sVF_UV0,      sVF_UV1,    sVF_UV2,               0};
  static const sU32 Skinned[] = {sVF_POSITION, sVF_NORMAL, sVF_TANGENT | sVF_F4, sVF_BONEINDEX | sVF_I4,
                                 sVF_BONEWEIGHT | sVF_C4, sVF_COLOR0, sVF_UV0, sVF_UV1, 0};
  const sU32 inst = sVF_STREAM1 | sVF_F4 | sVertexFormatInstanceFlag;
  const sU32 Instance3[] = {sVF_UV5 | inst, sVF_UV6 | inst, sVF_UV7 | inst, 0};
  const sU32 Instance4[] = {sVF_UV5 | inst, sVF_UV6 | inst, sVF_UV7 | inst, sVF_UV4 | inst, 0};
  sVertexFormatPosCol = sCreateVertexFormat(PosCol);
  sVertexFormatPosNormUV = sCreateVertexFormat(PosNormUV);
  sVertexFormatPosColUV = sCreateVertexFormat(PosColUV);
  sVertexFormatPosColUV2 = sCreateVertexFormat(PosColUV2);
  sVertexFormatTangent3 = sCreateVertexFormat(Tangent3);
  sVertexFormatTangent = sCreateVertexFormat(Tangent);
  sVertexFormatTangentUV3 = sCreateVertexFormat(TangentUV3);
  sVertexFormatSkinned = sCreateVertexFormat(Skinned);
  sVertexFormatInstance3 = sCreateVertexFormat(Instance3);
  sVertexFormatInstance4 = sCreateVertexFormat(Instance4);

  sGfxPrePresentHook = sNEW sHook(16);
  sGfxEndFrameHook = sNEW sHook(16);
  sGfxLostDeviceHook = sNEW sHook(16);
}

void sExitGraphicsCore()
{
  sRemHook(sGetMemoryHook(), FlushHook, nullptr);
  sDELETE(sGfxPrePresentHook);
  sDELETE(sGfxEndFrameHook);
  sDELETE(sGfxLostDeviceHook);
  sFreeVertexFormats();
  sVertexFormatPosCol = sVertexFormatPosNormUV = sVertexFormatPosColUV = sVertexFormatPosColUV2 = nullptr;
  sVertexFormatTangent3 = sVertexFormatTangent = sVertexFormatTangentUV3 = sVertexFormatSkinned = nullptr;
  sVertexFormatInstance3 = sVertexFormatInstance4 = nullptr;
  // shaders still in use let go of their device objects and leave the list: releasing
  // them later, even after another device started, touches neither
  if(Shaders)
  {
    for(sShader *sh = Shaders->First; sh;)
    {
      sShader *next = sh->Next;
      sh->ReleasePlatform();
      sh->Handle = nullptr;
      sh->Prev = sh->Next = nullptr;
      sh = next;
    }
  }
  sDELETE(Shaders);
}

/****************************************************************************/
/***   Viewport                                                           ***/
/****************************************************************************/

sViewport::sViewport()
{
  ClipNear = 0.125f;
  ClipFar = 1024.0f;
  ZoomX = ZoomY = 1.0f;
  CenterX = CenterY = 0.5f;
  Orthogonal = sVO_PERSPECTIVE;
  TargetSizeX = TargetSizeY = 0;
  Aspect = 1.0f;
  SetTarget(nullptr);
}

void sViewport::SetTarget(const sRect *rect)
{
  TargetSizeX = DX.TargetSizeX;
  TargetSizeY = DX.TargetSizeY;
  Window = rect ? *rect : DX.WindowRect;
  sInt w = Window.x1 - Window.x0;
  sInt h = Window.y1 - Window.y0;
  if(w > 0 && h > 0 && TargetSizeX > 0 && TargetSizeY > 0)
    Aspect = (sF32(w) * sF32(TargetSizeY) * DX.TargetAspect) / (sF32(h) * sF32(TargetSizeX));
  else
    Aspect = DX.TargetAspect;
}

sF32 sGetScreenAspect()
{
  sInt w = DX.WindowRect.x1 - DX.WindowRect.x0;
  sInt h = DX.WindowRect.y1 - DX.WindowRect.y0;
  if(w > 0 && h > 0 && DX.TargetSizeX > 0 && DX.TargetSizeY > 0)
    return (sF32(w) * sF32(DX.TargetSizeY) * DX.TargetAspect) / (sF32(h) * sF32(DX.TargetSizeX));
  return DX.TargetAspect;
}

void sGetWindowSize(sInt &x, sInt &y)
{
  x = DX.WindowRect.x1 - DX.WindowRect.x0;
  y = DX.WindowRect.y1 - DX.WindowRect.y0;
}

namespace
{
template <class T> bool SameBits(const T &a, const T &b) { return std::memcmp(&a, &b, sizeof(T)) == 0; }
}

void sViewport::Prepare(sInt flags)
{
  const ProjInputs projFrom = {Orthogonal, TargetSizeX, TargetSizeY, Window, ClipNear, ClipFar, ZoomX, ZoomY};
  if((flags & (4 | 8)) && !(ProjBuilt && SameBits(projFrom, BuiltFrom) && SameBits(Proj, BuiltProj)))
  {
    sMat4x4 &p = Proj;
    for(auto &row : p.m)
      for(sF32 &e : row) e = 0.0f;
    switch(Orthogonal)
    {
    case sVO_PERSPECTIVE:
      p.m[0][0] = ZoomX;
      p.m[1][1] = ZoomY;
      p.m[2][0] = 2.0f * (sF32(TargetSizeX / 2) - 0.5f) / sF32(TargetSizeX) - 1.0f;
      p.m[2][1] = -(2.0f * (sF32(TargetSizeY / 2) - 0.5f) / sF32(TargetSizeY) - 1.0f);
      p.m[2][2] = ClipFar / (ClipFar - ClipNear);
      p.m[2][3] = 1.0f;
      p.m[3][2] = -ClipNear * ClipFar / (ClipFar - ClipNear);
      break;
    case sVO_PIXELS:
      p.m[0][0] = 2.0f / sF32(Window.x1 - Window.x0);
      p.m[1][1] = -2.0f / sF32(Window.y1 - Window.y0);
      p.m[2][2] = 1.0f;
      p.m[3][0] = -1.0f;
      p.m[3][1] = 1.0f;
      p.m[3][3] = 1.0f;
      break;
    case sVO_UNIT:
      p.m[0][0] = 2.0f;
      p.m[1][1] = -2.0f;
      p.m[2][2] = 1.0f;
      p.m[3][0] = -1.0f;
      p.m[3][1] = 1.0f;
      p.m[3][3] = 1.0f;
      break;
    case sVO_ZOOM:
      p.m[0][0] = ZoomX;
      p.m[1][1] = ZoomY;
      p.m[2][2] = 1.0f / (ClipFar - ClipNear);
      p.m[3][2] = -ClipNear / (ClipFar - ClipNear);
      p.m[3][3] = 1.0f;
      break;
    default:
      sFatalF(u"unknown viewport mode %d\n", Orthogonal);
    }
    BuiltFrom = projFrom;
    BuiltProj = Proj;
    ProjBuilt = 1;
  }
  const sBool shifted = CenterX != 0.5f || CenterY != 0.5f;
  if((flags & 2) && !(ViewBuilt && SameBits(Camera, BuiltCamera) && SameBits(CenterX, BuiltCenterX) &&
                      SameBits(CenterY, BuiltCenterY) && (!shifted || SameBits(Proj, BuiltShiftProj)) &&
                      SameBits(View, BuiltView)))
  {
    View = Camera;
    View.Invert();
    if(shifted)
    {
      sMat4x4 t;
      t.m[3][0] = 2.0f * (CenterX - 0.5f);
      t.m[3][1] = 2.0f * (CenterY - 0.5f);
      sMat4x4 inv;
      inv.Invert(Proj);
      sMat4x4 m = Proj * t * inv;
      sMat3x4 shift;
      shift.i = sVec3(m.m[0][0], m.m[0][1], m.m[0][2]);
      shift.j = sVec3(m.m[1][0], m.m[1][1], m.m[1][2]);
      shift.k = sVec3(m.m[2][0], m.m[2][1], m.m[2][2]);
      shift.l = sVec3(m.m[3][0], m.m[3][1], m.m[3][2]);
      View = View * shift;
      BuiltShiftProj = Proj;
    }
    BuiltCamera = Camera;
    BuiltCenterX = CenterX;
    BuiltCenterY = CenterY;
    BuiltView = View;
    ViewBuilt = 1;
  }
  if(flags)
  {
    ModelView = Model * View;
    sMat4x4 mv;
    mv.m[0][0] = ModelView.i.x; mv.m[0][1] = ModelView.i.y; mv.m[0][2] = ModelView.i.z; mv.m[0][3] = 0.0f;
    mv.m[1][0] = ModelView.j.x; mv.m[1][1] = ModelView.j.y; mv.m[1][2] = ModelView.j.z; mv.m[1][3] = 0.0f;
    mv.m[2][0] = ModelView.k.x; mv.m[2][1] = ModelView.k.y; mv.m[2][2] = ModelView.k.z; mv.m[2][3] = 0.0f;
    mv.m[3][0] = ModelView.l.x; mv.m[3][1] = ModelView.l.y; mv.m[3][2] = ModelView.l.z; mv.m[3][3] = 1.0f;
    MVP = mv * Proj;
  }
}

/****************************************************************************/
/***   Render-target specs                                                ***/
/****************************************************************************/

sRenderTargetSpec::sRenderTargetSpec()
{
  Flags = 0;
  for(sVec4 &c : ClearColor) c.Init(0, 0, 0, 0);
  ClearZ = 1.0f;
  Window = sRect();
  Face = -1;
  Mipmap = 0;
  Aspect = 1.0f;
  Depth = nullptr;
  for(sTextureBase *&t : Target) t = nullptr;
}

sRenderTargetSpec::sRenderTargetSpec(sU32 flags, sU32 color, const sRect *rect, sTextureBase *target,
                                     sTextureBase *depth)
{
  Init(flags, color, rect, target, depth);
}

sRenderTargetSpec::sRenderTargetSpec(sU32 flags, sU32 color, const sRect *rect) { InitScreen(flags, color, rect); }

void sRenderTargetSpec::Init(sU32 flags, sU32 color, const sRect *rect, sTextureBase *target, sTextureBase *depth)
{
  Flags = flags;
  for(sVec4 &c : ClearColor) c.InitColor(color);
  ClearZ = 1.0f;
  Face = -1;
  Mipmap = 0;
  Target[0] = target;
  Target[1] = Target[2] = Target[3] = nullptr;
  Depth = depth;
  if(rect) Window = *rect;
  else if(target) Window = sRect{0, 0, target->SizeX, target->SizeY};
  else Window = sRect();
  sInt w = Window.x1 - Window.x0, h = Window.y1 - Window.y0;
  Aspect = h != 0 ? sF32(w) / sF32(h) : 1.0f;
}

void sRenderTargetSpec::InitScreen(sU32 flags, sU32 color, const sRect *rect)
{
  Init(flags, color, rect, sGetScreenColorBuffer(0), sGetScreenDepthBuffer());
  if(!rect) Aspect = sGetScreenModeAspect();
}

void sSetScreenTarget(const sRect *rect, sU32 clear, sU32 color)
{
  sRenderTargetSpec spec(clear & 3, color, rect);
  sSetTarget(spec);
}

/****************************************************************************/
/***   Environment records                                                ***/
/****************************************************************************/

sRenderEnv::sRenderEnv()
{
  for(sVec3 &v : LightVectors) v = sVec3(0, 0, 0);
  for(sU32 &c : LightColors) c = 0;
  Color = 0xffffffff;
  for(sMat4x4 &m : Matrices) m.Identity();
  for(sVec4 &v : Vectors) v.Init(0, 0, 0, 0);
  Value0 = 1.0f;
  FogStart = 75.0f;
  FogEnd = 1024.0f;
  Value1 = 1.0f;
  FogColor = 0xffffffff;
  Values[0] = 0.0f;
  Values[1] = 1.0f;
  Values[2] = 20.0f;
  Values[3] = 40.0f;
  Values[4] = 0.75f;
}

sViewConstants::sViewConstants()
{
  MVP.Identity();
  for(sU32 &w : Words) w = 0;
}

sScreenMode::sScreenMode()
{
  Flags = 0;
  Display = -1;
  SizeX = 800;
  SizeY = 600;
  OutputSizeX = OutputSizeY = 0;
  Aspect = 0.0f;
  MultiLevel = -1;
  Word0 = -1;
  MinTargetSizeX = MinTargetSizeY = 0;
  Word1 = 0;
  for(sInt i = 0; i < 3; i++) ScreenSizeX[i] = ScreenSizeY[i] = 0;
  for(sInt &w : Words) w = 0;
}

/****************************************************************************/
/***   Painting a frame                                                   ***/
/****************************************************************************/

void sPaintFrame()
{
  if(sRender3DBegin())
  {
    if(sApp *app = sGetApplication()) app->OnPaint3D();
    sRender3DEnd(1);
  }
}
