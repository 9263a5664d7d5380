// Geometry: the pool of shared vertex and index buffers of four durations, the parts that
// geometries reserve in them, the quad index buffer and drawing.

#include "graphics/internal.hpp"

#include "base/log.hpp"
#include "base/system.hpp"

#include <cstring>

using namespace plat::gpu;

namespace
{
sGeoBuffer sGeoBuffers[sMAX_GEOBUFFERS];
sInt sGeoBufferCount = 0;
sInt sGeoBufferLocks = 0;
// the locked buffers the sweep before each draw unlocks (all but the exact-size ones): with
// none, a frame's thousands of draws need not walk the pool
sInt sGeoBufferSweepLocks = 0;
sGeoBuffer *LastUsed[3];
sGeometryPart DXQuadIndex;

const sChar *DurationName(sInt d)
{
  static const sChar *const names[] = {u"?", u"STATIC", u"FRAME", u"STREAM", u"EXACT"};
  return (d >= 1 && d <= 4) ? names[d] : names[0];
}

void ClearEntry(sGeoBuffer *gb)
{
  if(gb->Buffer) sForgetDrawBindings();
  if(gb->Buffer && DX.Dev) DX.Dev->Release(gb->Buffer);
  std::memset(gb, 0, sizeof(*gb));
}

}

sInt sGetGeoBufferCount() { return sGeoBufferCount; }
sGeoBuffer *sGetGeoBuffer(sInt i) { return &sGeoBuffers[i]; }
sInt sGetGeoBufferLocks() { return sGeoBufferLocks; }
sGeometryPart &sGetQuadIndex() { return DXQuadIndex; }

sU64 sGetStaticVertexMem()
{
  sU64 sum = 0;
  for(sInt i = 0; i < sGeoBufferCount; i++)
    if(sGeoBuffers[i].Duration == sGD_STATIC) sum += sU64(sGeoBuffers[i].Used);
  return sum;
}

sInt sGetGeoBuffersHoldingData()
{
  sInt n = 0;
  for(sInt i = 0; i < sGeoBufferCount; i++)
    if(sGeoBuffers[i].Alloc > 0 && sGeoBuffers[i].RefCount > 0) n++;
  return n;
}

/****************************************************************************/
/***   Pool                                                               ***/
/****************************************************************************/

sInt sFitGeoBuffer(sGeoBuffer *gb, sInt count, sInt size)
{
  sInt s = (gb->Used + size - 1) / size;
  sS64 end = sS64(s) * size + sS64(count) * size;
  if(gb->Duration == sGD_STREAM)
  {
    if(sS64(count) * size > gb->Alloc) return -1;
    if(end > gb->Alloc)
    {
      gb->DiscardPending = 1;
      gb->Used = 0;
      s = 0;
    }
  }
  else if(end > gb->Alloc)
  {
    return -1;
  }
  gb->Used = s * size;
  return s;
}

void sLockGeoBuffer(sGeoBuffer *gb)
{
  sVERIFYAS(!gb->LockPtr, u"LockPtr==0");
  sU32 flags = 0;
  if(gb->Duration != sGD_STATIC)
  {
    flags = LOCK_NOOVERWRITE;
    if(gb->DiscardPending)
    {
      flags = LOCK_DISCARD;
      gb->DiscardPending = 0;
    }
  }
  void *data = nullptr;
  sDXCHECK(DX.Dev->LockBuffer(gb->Buffer, 0, 0, &data, flags));
  gb->LockPtr = static_cast<sU8 *>(data);
  sGeoBufferLocks++;
  if(gb->Duration != sGD_EXACT) sGeoBufferSweepLocks++;
}

void sUnlockGeoBuffer(sGeoBuffer *gb)
{
  sVERIFYAS(gb->LockPtr, u"LockPtr");
  sDXCHECK(DX.Dev->UnlockBuffer(gb->Buffer));
  gb->LockPtr = nullptr;
  sGeoBufferLocks--;
  if(gb->Duration != sGD_EXACT) sGeoBufferSweepLocks--;
}

void sUnlockGeoBuffers()
{
  if(!sGeoBufferSweepLocks) return;
  for(sInt i = 0; i < sGeoBufferCount; i++)
  {
    sGeoBuffer *gb = &sGeoBuffers[i];
    if(gb->LockPtr && gb->Duration != sGD_EXACT) sUnlockGeoBuffer(gb);
  }
}

void sDumpGeoBuffers(sBool all)
{
  sLogF(u"gfx", u"===> %d <===\n", sGeoBufferCount);
  for(sInt i = 0; i < sGeoBufferCount; i++)
  {
    sGeoBuffer *gb = &sGeoBuffers[i];
    if(!all && gb->RefCount == 0) continue;
    sLogF(u"gfx", u"%3d %s %s : used %d alloc %d refs %d\n", i, gb->Duration == sGD_STATIC ? u"stat" : u"dyn ",
          gb->Kind == 0 ? u"VB" : u"IB", gb->Used, gb->Alloc, gb->RefCount);
  }
}

sGeoBuffer *sNewGeoBuffer()
{
  for(sInt i = 0; i < sGeoBufferCount; i++)
    if(sGeoBuffers[i].Alloc == 0 && sGeoBuffers[i].RefCount == 0) return &sGeoBuffers[i];
  if(!(sGeoBufferCount < sDInt(sizeof(sGeoBuffers) / sizeof(*(sGeoBuffers)))))
  {
    sDumpGeoBuffers(1);
    sVERIFY(sGeoBufferCount < sDInt(sizeof(sGeoBuffers)/sizeof(*(sGeoBuffers))));
  }
  sGeoBuffer *gb = &sGeoBuffers[sGeoBufferCount++];
  std::memset(gb, 0, sizeof(*gb));
  return gb;
}

sInt sAllocGeoBuffer(sGeometryPart &part, sInt count, sInt size, sInt duration, sInt kind, sBool advance,
                     void **ptr)
{
  part.Release();
  sGeoBuffer *gb = nullptr;
  sInt start = -1;

  sGeoBuffer *last = LastUsed[kind];
  if(last && last->Alloc > 0 && last->Duration == duration && !last->Closed)
  {
    start = sFitGeoBuffer(last, count, size);
    if(start >= 0) gb = last;
  }
  if(!gb)
  {
    sGeoBuffer *largest = nullptr;
    for(sInt i = 0; i < sGeoBufferCount && !gb; i++)
    {
      sGeoBuffer *b = &sGeoBuffers[i];
      if(b->Alloc > 0 && b->Kind == kind && b->RefCount == 0 && (!largest || b->Alloc > largest->Alloc)) largest = b;
      if(b->Alloc > 0 && b->Duration == duration && b->Kind == kind && !b->Closed)
      {
        start = sFitGeoBuffer(b, count, size);
        if(start >= 0) gb = b;
      }
    }
    if(!gb)
    {
      if(largest)
      {
        if(largest->LockPtr) sUnlockGeoBuffer(largest);
        sU8 *LockPtr = largest->LockPtr;
        sVERIFY(!LockPtr);
        if(LastUsed[largest->Kind] == largest) LastUsed[largest->Kind] = nullptr;
        ClearEntry(largest);
        gb = largest;
      }
      else
      {
        gb = sNewGeoBuffer();
      }
      gb->Duration = duration;
      gb->Kind = kind;
      sVERIFY(gb->RefCount==0);
      sInt minimum = kind == 0 ? 32768 : 131072;
      gb->Alloc = (duration == sGD_EXACT ? count : (count > minimum ? count : minimum)) * size;
      gb->Used = 0;
      Pool pool = duration == sGD_STATIC ? POOL_MANAGED : POOL_DEFAULT;
      sU32 usage = USAGE_WRITEONLY | (duration == sGD_STATIC ? 0 : USAGE_DYNAMIC);
      if(kind == 0)
        sDXCHECK(DX.Dev->CreateVertexBuffer(sU32(gb->Alloc), usage, pool, &gb->Buffer));
      else
        sDXCHECK(DX.Dev->CreateIndexBuffer(sU32(gb->Alloc), usage, kind == 1 ? FMT_INDEX16 : FMT_INDEX32, pool,
                                           &gb->Buffer));
      start = 0;
    }
  }

  LastUsed[kind] = gb;
  part.Start = start;
  part.Count = count;
  part.Buffer = gb;
  if(!gb->LockPtr) sLockGeoBuffer(gb);
  if(ptr) *ptr = gb->LockPtr + gb->Used;
  if(advance) gb->Used += count * size;
  else gb->Closed = 1;
  gb->RefCount++;
  return start;
}

void sResetGeoBuffersFrame()
{
  sUnlockGeoBuffers();
  for(sInt i = 0; i < sGeoBufferCount; i++)
  {
    sGeoBuffer *gb = &sGeoBuffers[i];
    if(gb->Duration == sGD_EXACT) continue;
    sVERIFY(gb->LockPtr==0);
    if(gb->Duration == sGD_STREAM)
    {
      gb->DiscardPending = 1;
      gb->Used = gb->Alloc;
    }
    else if(gb->Duration == sGD_FRAME)
    {
      gb->DiscardPending = 1;
      gb->Used = 0;
    }
  }
  for(sGeoBuffer *&l : LastUsed) l = nullptr;
}

void sReleaseDynamicGeoBuffers()
{
  for(sInt i = 0; i < sGeoBufferCount; i++)
    if(sGeoBuffers[i].LockPtr) sUnlockGeoBuffer(&sGeoBuffers[i]);
  for(sInt i = 0; i < sGeoBufferCount; i++)
  {
    sGeoBuffer *gb = &sGeoBuffers[i];
    if(gb->Duration == sGD_FRAME || gb->Duration == sGD_STREAM || gb->Duration == sGD_EXACT)
    {
      sU8 *LockPtr = gb->LockPtr;
      sVERIFY(!LockPtr);
      // geometries may still hold parts here and let go of them when they are refilled:
      // the entry keeps their references (without a device buffer, it is not handed out
      // again before the last one is gone)
      sInt refs = gb->RefCount;
      sInt duration = gb->Duration, kind = gb->Kind;
      ClearEntry(gb);
      gb->RefCount = refs;
      gb->Duration = duration;
      gb->Kind = kind;
    }
  }
  for(sGeoBuffer *&l : LastUsed) l = nullptr;
  sVERIFY(sGeoBufferLocks == 0);
}

namespace
{
void FreeGeoBuffers(sBool report)
{
  sInt kept = 0;
  for(sInt i = 0; i < sGeoBufferCount; i++)
  {
    sGeoBuffer *gb = &sGeoBuffers[i];
    if(report && gb->RefCount > 0)
      // the duration is printed by its name ("%d" would print the name's address)
      sLogF(u"gfx", u"*** GeoBuffers not freed: alloc %08x dur %s refcount %d !\n", sU32(gb->Alloc),
            DurationName(gb->Duration), gb->RefCount);
    if(gb->LockPtr)
    {
      DX.Dev->UnlockBuffer(gb->Buffer);
      gb->LockPtr = nullptr;
    }
    // a geometry that outlives the device lets go of its part later: the entry keeps
    // those references without a buffer, so it is neither handed out to a later device
    // while they last nor released below zero
    sInt refs = gb->RefCount > 0 ? gb->RefCount : 0;
    sInt duration = gb->Duration, kind = gb->Kind;
    ClearEntry(gb);
    if(refs)
    {
      gb->RefCount = refs;
      gb->Duration = duration;
      gb->Kind = kind;
      kept = i + 1;
    }
  }
  sGeoBufferCount = kept;
  sGeoBufferLocks = sGeoBufferSweepLocks = 0;
  for(sGeoBuffer *&l : LastUsed) l = nullptr;
  DXQuadIndex.Clear();
}
}

void sFreeGeoBuffers() { FreeGeoBuffers(1); }

// At a device's creation: what an earlier device's end reported is not reported again.
void sEmptyGeoBufferPool() { FreeGeoBuffers(0); }

void sCreateQuadIndex()
{
  void *ptr = nullptr;
  DXQuadIndex.Clear();
  sAllocGeoBuffer(DXQuadIndex, 0x2000 * 6, 2, sGD_STATIC, 1, 0, &ptr);
  sU16 *ip = static_cast<sU16 *>(ptr);
  for(sInt q = 0; q < 0x2000; q++)
  {
    sInt v = q * 4;
    *ip++ = sU16(v + 0);
    *ip++ = sU16(v + 1);
    *ip++ = sU16(v + 2);
    *ip++ = sU16(v + 0);
    *ip++ = sU16(v + 2);
    *ip++ = sU16(v + 3);
  }
  DXQuadIndex.EndLoad(-1, 2);
  sUnlockGeoBuffers();
}

void sReleaseQuadIndex()
{
  if(DXQuadIndex.Buffer) DXQuadIndex.Release();
}

/****************************************************************************/
/***   Parts                                                              ***/
/****************************************************************************/

void sGeometryPart::Release()
{
  if(Buffer)
  {
    Buffer->RefCount--;
    sVERIFY(Buffer->RefCount>=0);
    if(Buffer->Duration == sGD_STATIC && Buffer->RefCount == 0) Buffer->Used = 0;
  }
  Clear();
}

void sGeometryPart::EndLoad(sInt count, sInt size)
{
  Buffer->Closed = 0;
  if(count != -1)
  {
    sVERIFY(count<=Count);
    Count = count;
  }
  Buffer->Used += Count * size;
  sVERIFY(Buffer->Used <= Buffer->Alloc);
}

/****************************************************************************/
/***   Geometry                                                           ***/
/****************************************************************************/

sGeometry::sGeometry()
{
  for(sGeometryPart &p : VertexPart) p.Clear();
  IndexPart.Clear();
  Flags = 0;
  IndexSize = 0;
  LastInstanceStreams = 0;
  Word = -1;
  Format = nullptr;
  Batch = nullptr;
}

sGeometry::sGeometry(sU32 flags, sVertexFormat *format) : sGeometry() { Init(flags, format); }

sGeometry::~sGeometry()
{
  for(sGeometryPart &p : VertexPart) p.Release();
  IndexPart.Release();
}

void sGeometry::Init(sU32 flags, sVertexFormat *format)
{
  sVERIFY(!(flags&sGF_CPU_MEM));
  Flags = flags;
  Format = format;
  IndexSize = (flags & sGF_INDEX32) ? 4 : (flags & sGF_INDEX16) ? 2 : 0;
}

void sGeometry::BeginLoadVB(sInt count, sInt duration, void **ptr, sInt stream)
{
  sAllocGeoBuffer(VertexPart[stream], count, Format->GetSize(stream), duration, 0, 0, ptr);
}

void sGeometry::BeginLoadIB(sInt count, sInt duration, void **ptr)
{
  sVERIFY(IndexSize>0);
  sAllocGeoBuffer(IndexPart, count, IndexSize, duration, (Flags & sGF_INDEX32) ? 2 : 1, 0, ptr);
}

void sGeometry::BeginLoad(sVertexFormat *format, sU32 flags, sInt duration, sInt vc, sInt ic, void **vp, void **ip)
{
  Init(flags, format);
  BeginLoadVB(vc, duration, vp, 0);
  if(ic)
    BeginLoadIB(ic, duration, ip);
  else
    IndexPart.Release();
}

void sGeometry::EndLoadVB(sInt count, sInt stream) { VertexPart[stream].EndLoad(count, Format->GetSize(stream)); }

void sGeometry::EndLoadIB(sInt count) { IndexPart.EndLoad(count, IndexSize); }

void sGeometry::EndLoad(sInt vc, sInt ic)
{
  EndLoadVB(vc, 0);
  if(IndexPart.Buffer) EndLoadIB(ic);
}

void sGeometry::Draw()
{
  sGeometryDrawInfo di;
  DrawWithInfo(di);
}

void sGeometry::DrawRanges(const sGeometryRange *ranges, sInt count, sInt instances, const sInt *offsets)
{
  sGeometryDrawInfo di;
  if(ranges && count)
  {
    di.Flags |= sGDI_Ranges;
    di.Ranges = ranges;
    di.RangeCount = count;
  }
  if(instances)
  {
    di.Flags |= sGDI_Instances;
    di.InstanceCount = instances;
  }
  if(offsets)
  {
    di.Flags |= sGDI_VertexOffset;
    for(sInt i = 0; i < 4; i++) di.VertexOffset[i] = offsets[i];
  }
  DrawWithInfo(di);
}

void sForgetDrawBindings()
{
  DX.BoundDecl = DX.BoundStream0 = DX.BoundIndices = sUnknownBinding();
}

namespace
{
void BindDecl(sGpuRes *decl)
{
  if(DX.BoundDecl == decl) return;
  sDXCHECK(DX.Dev->SetVertexDeclaration(decl));
  DX.BoundDecl = decl;
}

void BindStream0(sGpuRes *vb, sU32 stride)
{
  if(DX.BoundStream0 == vb && DX.BoundStride0 == stride) return;
  sDXCHECK(DX.Dev->SetStreamSource(0, vb, 0, stride));
  DX.BoundStream0 = vb;
  DX.BoundStride0 = stride;
}

void BindIndices(sGpuRes *ib)
{
  if(DX.BoundIndices == ib) return;
  const sS32 r = DX.Dev->SetIndices(ib);
  if(ib) sDXCHECK(r);
  DX.BoundIndices = ib;
}

void ResetInstancing()
{
  for(sInt i = 0; i < DX.InstancedStreams; i++) DX.Dev->SetStreamSourceFreq(sU32(i), 1);
  DX.InstancedStreams = 0;
}

void CountDraw(sInt ranges, sInt prims, sInt verts, sInt indices, sInt instances)
{
  sInt n = instances > 1 ? instances : 1;
  DX.Stats.Batches++;
  DX.Stats.Ranges += ranges;
  DX.Stats.Primitives += prims * n;
  DX.Stats.Vertices += verts * n;
  DX.Stats.Indices += indices * n;
  DX.Stats.Instances += instances;
}

void DrawBatchRun(sGeometry *geo, sGeoBatchRecord *first, sGeoBatchRecord *stop)
{
  sGeoBuffer *verify = first->VB.Buffer;
  sInt indices = 0;
  sBool lines = 0;
  for(sGeoBatchRecord *r = first; r != stop; r = r->Next)
  {
    if(r->Kind == 1) indices += (r->NX - 1) * (r->NY - 1) * 6;
    else if(r->Kind == 2) indices += r->NX * 6;
    else if(r->Kind == 3)
    {
      indices += ((r->NX - 1) * r->NY + (r->NY - 1) * r->NX) * 2;
      lines = 1;
    }
  }
  if(indices == 0) return;   // the device refuses a draw of no primitives
  sGeometryPart ip;
  ip.Clear();
  void *ptr = nullptr;
  sAllocGeoBuffer(ip, indices, 4, sGD_FRAME, 2, 1, &ptr);
  sU32 *out = static_cast<sU32 *>(ptr);
  for(sGeoBatchRecord *prim = first; prim != stop; prim = prim->Next)
  {
    sVERIFY(prim->VB.Buffer==verify);
    sInt nx = prim->NX, ny = prim->NY;
    if(prim->Kind == 1)
    {
      for(sInt y = 0; y < ny - 1; y++)
        for(sInt x = 0; x < nx - 1; x++)
        {
          sU32 v = sU32(prim->First + y * nx + x);
          *out++ = v; *out++ = v + 1; *out++ = v + nx + 1;
          *out++ = v; *out++ = v + nx + 1; *out++ = v + nx;
        }
    }
    else if(prim->Kind == 2)
    {
      for(sInt q = 0; q < nx; q++)
      {
        sU32 b = sU32(prim->First + 4 * q);
        *out++ = b; *out++ = b + 1; *out++ = b + 2;
        *out++ = b; *out++ = b + 2; *out++ = b + 3;
      }
    }
    else if(prim->Kind == 3)
    {
      for(sInt y = 0; y < ny; y++)
        for(sInt x = 0; x < nx - 1; x++)
        {
          sU32 v = sU32(prim->First + y * nx + x);
          *out++ = v; *out++ = v + 1;
        }
      for(sInt y = 0; y < ny - 1; y++)
        for(sInt x = 0; x < nx; x++)
        {
          sU32 v = sU32(prim->First + y * nx + x);
          *out++ = v; *out++ = v + nx;
        }
    }
  }
  sUnlockGeoBuffers();
  sInt stride = geo->Format->GetSize(0);
  BindDecl(geo->Format->Decl);
  ResetInstancing();
  BindStream0(verify->Buffer, sU32(stride));
  for(sInt i = 1; i < DX.SetStreams; i++) DX.Dev->SetStreamSource(sU32(i), nullptr, 0, 0);
  DX.SetStreams = 1;
  BindIndices(ip.Buffer->Buffer);
  sInt verts = verify->Used / stride;
  sInt prims = lines ? indices / 2 : indices / 3;
  sDXCHECK(DX.Dev->DrawIndexedPrimitive(lines ? PT_LINELIST : PT_TRIANGLELIST, 0, 0, sU32(verts), sU32(ip.Start),
                                        sU32(prims)));
  CountDraw(1, prims, verts, indices, 0);
  ip.Release();
}
}

void sGeometry::DrawWithInfo(const sGeometryDrawInfo &di)
{
  sVERIFY(DontCheckMtrlPrepare || CurrentMtrlVFormat==Format);
  sUnlockGeoBuffers();

  sU32 prim = Flags & sGF_PRIMMASK;
  if(prim == sGF_BATCH)
  {
    sVERIFY((di.Flags&(sGDI_Ranges|sGDI_Instances|sGDI_VertexOffset))==0);
    sGeoBatchRecord *runStart = Batch;
    for(sGeoBatchRecord *r = Batch; r; r = r->Next)
    {
      if(r->Next && r->Next->VB.Buffer == runStart->VB.Buffer) continue;
      DrawBatchRun(this, runStart, r->Next);
      runStart = r->Next;
    }
    return;
  }

  sVERIFY(VertexPart[0].Buffer);
  if(di.Flags & sGDI_BlendFactor)
  {
    sU32 pair[2] = {RS_BLENDFACTOR, di.BlendFactor};
    sSetStates(pair, 1);
  }

  PrimitiveType type = PT_TRIANGLELIST;
  sBool quads = 0;
  switch(prim)
  {
  case sGF_TRILIST: type = PT_TRIANGLELIST; break;
  case sGF_TRISTRIP: type = PT_TRIANGLESTRIP; break;
  case sGF_LINELIST: type = PT_LINELIST; break;
  case sGF_LINESTRIP: type = PT_LINESTRIP; break;
  case sGF_QUADLIST:
    sVERIFY(IndexPart.Buffer==0);
    sVERIFY(IndexSize==0);
    type = PT_TRIANGLELIST;
    quads = 1;
    break;
  case sGF_SPRITE: sFatal(u"sGF_SPRITE not implemented"); break;
  default: sFatalF(u"unknown primitive kind %04x\n", prim);
  }

  // ranges in vertices (quads, non-indexed) or indices
  sGeometryRange local[64];
  sGeometryRange *heap = nullptr;
  const sGeometryRange *ranges;
  sInt rangeCount;
  auto room = [&](sInt n) -> sGeometryRange * {
    if(n <= 64) return local;
    heap = static_cast<sGeometryRange *>(sMemAlloc(sDInt(n) * sizeof(sGeometryRange), 16, 0));
    return heap;
  };
  if(quads)
  {
    sVERIFY(0x2000 == DXQuadIndex.Count/6);
    if(di.Flags & sGDI_Ranges)
    {
      sInt n = 0;
      for(sInt i = 0; i < di.RangeCount; i++)
        n += (di.Ranges[i].End - di.Ranges[i].Start + 32767) / 32768 + 1;
      sGeometryRange *r = room(n);
      rangeCount = 0;
      for(sInt i = 0; i < di.RangeCount; i++)
      {
        sInt s = di.Ranges[i].Start, e = di.Ranges[i].End;
        do
        {
          sInt pe = e - s > 32768 ? s + 32768 : e;
          r[rangeCount++] = sGeometryRange{s, pe};
          s = pe;
        } while(s < e);
      }
      ranges = r;
    }
    else
    {
      sInt quadCount = VertexPart[0].Count / 4;
      sInt n = (quadCount + 0x1fff) / 0x2000;
      sGeometryRange *r = room(n > 0 ? n : 1);
      rangeCount = 0;
      for(sInt q = 0; q < quadCount; q += 0x2000)
      {
        sInt qe = q + 0x2000 < quadCount ? q + 0x2000 : quadCount;
        r[rangeCount++] = sGeometryRange{q * 4, qe * 4};
      }
      ranges = r;
    }
  }
  else if(di.Flags & sGDI_Ranges)
  {
    ranges = di.Ranges;
    rangeCount = di.RangeCount;
  }
  else
  {
    local[0] = sGeometryRange{0, IndexPart.Buffer ? IndexPart.Count : VertexPart[0].Count};
    ranges = local;
    rangeCount = 1;
  }

  BindDecl(Format->Decl);
  ResetInstancing();
  sInt instances = (di.Flags & sGDI_Instances) ? di.InstanceCount : 0;
  DX.InstancedStreams = instances >= 1 ? Format->StreamCount : 0;

  const sInt *offs = di.VertexOffset;
  sBool offsets = (di.Flags & sGDI_VertexOffset) != 0;
  sInt baseVertex;
  sInt vertexCount;
  sInt streams = Format->StreamCount;
  if(streams == 1)
  {
    BindStream0(VertexPart[0].Buffer->Buffer, sU32(Format->GetSize(0)));
    baseVertex = (offsets ? offs[0] : 0) + VertexPart[0].Start;
    vertexCount = VertexPart[0].Count - (offsets ? offs[0] : 0);
  }
  else
  {
    DX.BoundStream0 = sUnknownBinding();   // set with an offset below
    for(sInt i = 0; i < streams; i++)
    {
      sVERIFY(VertexPart[i].Buffer);
      sInt stride = Format->GetSize(i);
      sInt off = ((offsets ? offs[i] : 0) + VertexPart[i].Start) * stride;
      sDXCHECK(DX.Dev->SetStreamSource(sU32(i), VertexPart[i].Buffer->Buffer, sU32(off), sU32(stride)));
      if(instances >= 1)
        DX.Dev->SetStreamSourceFreq(sU32(i), i == 0 ? (sU32(instances) | STREAMSOURCE_INDEXEDDATA)
                                                    : (STREAMSOURCE_INSTANCEDATA | 1u));
    }
    baseVertex = 0;
    vertexCount = VertexPart[0].Count;
  }
  if(IndexSize == 2 && vertexCount > 65536) vertexCount = 65536;
  for(sInt i = streams; i < DX.SetStreams; i++) DX.Dev->SetStreamSource(sU32(i), nullptr, 0, 0);
  DX.SetStreams = streams;

  BindIndices(quads ? DXQuadIndex.Buffer->Buffer : IndexPart.Buffer ? IndexPart.Buffer->Buffer : nullptr);

  sInt totalPrims = 0, totalVerts = 0, totalIndices = 0;
  for(sInt i = 0; i < rangeCount; i++)
  {
    sInt start = ranges[i].Start;
    sInt n = ranges[i].End - start;
    sInt prims;
    switch(type)
    {
    case PT_TRIANGLESTRIP: prims = n - 2; break;
    case PT_LINELIST: prims = n / 2; break;
    case PT_LINESTRIP: prims = n - 1; break;
    default: prims = quads ? (n / 4) * 2 : n / 3; break;
    }
    if(prims <= 0)
    {
      sLogF(u"gfx", u"Draw call with 0 primitives\n");
      continue;
    }
    if(quads)
    {
      sDXCHECK(DX.Dev->DrawIndexedPrimitive(type, start + baseVertex, 0, sU32(n), sU32(DXQuadIndex.Start),
                                            sU32(prims)));
      totalVerts += n;
      totalIndices += prims * 3;
    }
    else if(IndexPart.Buffer)
    {
      sDXCHECK(DX.Dev->DrawIndexedPrimitive(type, baseVertex, 0, sU32(vertexCount), sU32(start + IndexPart.Start),
                                            sU32(prims)));
      totalVerts += vertexCount;
      totalIndices += n;
    }
    else
    {
      sDXCHECK(DX.Dev->DrawPrimitive(type, sU32(start + baseVertex), sU32(prims)));
      totalVerts += n;
    }
    totalPrims += prims;
  }
  CountDraw(rangeCount, totalPrims, totalVerts, totalIndices, instances);
  if(heap) sMemFree(heap);
}
