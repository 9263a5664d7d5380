// Frame memory and memory arenas.
#include "base/framemem.hpp"
#include "base/leaktracker.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"

#include <atomic>

/****************************************************************************/
/***   Frame memory                                                       ***/
/****************************************************************************/

namespace
{
constexpr sPtr ThreadBufferMax = 0x40000;

sPtr FrameSize = 0;
sPtr DMASize = 0;
sBool DoubleBuffered = 0;
sU8 *FrameBuffers[2] = {};
sInt CurrentFrameBuffer = 0;
sU8 *DMABuffers[2] = {};
sInt CurrentDMABuffer = 0;

// read and moved by every thread
std::atomic<sPtr> FrameCursor{0};
std::atomic<sPtr> FrameStart{0};
std::atomic<sPtr> FrameLimit{0};
std::atomic<sPtr> DMACursor{0};
std::atomic<sPtr> DMALimit{0};
std::atomic<sU64> FrameCounter{0};
std::atomic<sPtr> BorrowedBytes{0};

sPtr MaxFrameUsed = 0;
sPtr MaxDMAUsed = 0;
sPtr LastFrameUsed = 0;

sPtr AlignUp(sPtr v, sPtr align) { return (v + align - 1) & ~(align - 1); }

sPtr CheckAlign(sInt align)
{
  sVERIFY(align > 0 && (align & (align - 1)) == 0);
  return sPtr(align);
}

// the shared path: one atomic addition on the frame's cursor
sPtr TakeShared(sPtr size)
{
  sPtr bytes = AlignUp(size, 16);
  sPtr old = FrameCursor.fetch_add(bytes, std::memory_order_relaxed);
  if(old + bytes > FrameLimit.load(std::memory_order_relaxed) || old + bytes < old) sFatal(u"out of frame mem");
  return old;
}

// a thread's buffers belong to the frame they were taken in
void CheckFrame(sThreadContext *ctx)
{
  sU64 frame = FrameCounter.load(std::memory_order_acquire);
  if(ctx->FrameNumber != frame)
  {
    ctx->FrameNumber = frame;
    ctx->FrameCursor[0] = ctx->FrameCursor[1] = 0;
    ctx->FrameBufferEnd[0] = ctx->FrameBufferEnd[1] = 0;
    ctx->FrameBorrow = 0;
  }
}

bool Fits(sThreadContext *ctx, sInt i, sPtr size, sPtr align)
{
  if(!ctx->FrameCursor[i]) return false;
  sPtr a = AlignUp(ctx->FrameCursor[i], align);
  return a + size <= ctx->FrameBufferEnd[i] && a + size >= a;
}

void SwapBuffers(sThreadContext *ctx)
{
  sPtr c = ctx->FrameCursor[0], e = ctx->FrameBufferEnd[0];
  ctx->FrameCursor[0] = ctx->FrameCursor[1];
  ctx->FrameBufferEnd[0] = ctx->FrameBufferEnd[1];
  ctx->FrameCursor[1] = c;
  ctx->FrameBufferEnd[1] = e;
}

void FreeBuffers()
{
  for(sU8 *&b : FrameBuffers)
  {
    sMemFree(b);
    b = nullptr;
  }
  for(sU8 *&b : DMABuffers)
  {
    sMemFree(b);
    b = nullptr;
  }
  FrameSize = DMASize = 0;
}
}

void sSetFrameMemoryDoubleBuffered(sBool on)
{
  DoubleBuffered = on;
}

namespace
{
// Gives back a pair of buffers and makes count new ones of size bytes (none when the
// size is below 2).
void RemakeBuffers(sU8 *(&buffers)[2], sPtr &current, sPtr size, sInt count, sInt align, sInt type, const sChar *desc)
{
  for(sU8 *&b : buffers)
  {
    sMemFree(b);
    b = nullptr;
  }
  current = 0;
  if(size < 2) return;
  sPushMemLeakDesc(desc);
  for(sInt i = 0; i < count; i++)
  {
    sSetAllocSource(__FILE__, __LINE__);
    buffers[i] = static_cast<sU8 *>(sMemAlloc(sDInt(size), align, type));
  }
  sPopMemLeakDesc();
  current = size;
}
}

void sPartitionMemory(sPtr frameSize, sPtr dmaSize)
{
  if(frameSize != 1)
    RemakeBuffers(FrameBuffers, FrameSize, frameSize, DoubleBuffered ? 2 : 1, 16, 1, u"FrameMemory");
  // memory type 3 only where a handler serves it, else the heap: allocating from an empty slot is fatal
  if(dmaSize != 1)
    RemakeBuffers(DMABuffers, DMASize, dmaSize, 2, 4096, sGetMemoryHandler(3) ? 3 : 1, u"DMAMemory");
  CurrentFrameBuffer = 0;
  CurrentDMABuffer = 1;
  // nothing was handed out from the new buffers yet
  FrameCursor.store(FrameBuffers[0] ? sPtr(FrameBuffers[0]) : 0);
  FrameStart.store(FrameCursor.load());
  DMACursor.store(DMABuffers[1] ? sPtr(DMABuffers[1]) : 0);
  sFlipFrameMemory();
  MaxFrameUsed = MaxDMAUsed = LastFrameUsed = 0;
}

void sFlipFrameMemory()
{
  sPtr frameUsed = FrameStart.load() ? FrameCursor.load() - FrameStart.load() : 0;
  sPtr dmaUsed = DMABuffers[CurrentDMABuffer] ? DMACursor.load() - sPtr(DMABuffers[CurrentDMABuffer]) : 0;
  if(frameUsed > MaxFrameUsed)
  {
    MaxFrameUsed = frameUsed;
    sLogF(u"sys", u"max frame used %Kb\n", sU64(frameUsed));
  }
  if(dmaUsed > MaxDMAUsed)
  {
    MaxDMAUsed = dmaUsed;
    sLogF(u"sys", u"max DMA Used %Kb\n", sU64(dmaUsed));
  }
  LastFrameUsed = frameUsed;
  CurrentDMABuffer ^= 1;
  if(DoubleBuffered && FrameBuffers[1]) CurrentFrameBuffer ^= 1;

  BorrowedBytes.store(0);
  sU8 *dma = DMABuffers[CurrentDMABuffer];
  DMACursor.store(sPtr(dma));
  DMALimit.store(dma ? sPtr(dma) + DMASize : 0);
  sU8 *frame = FrameBuffers[CurrentFrameBuffer];
  FrameStart.store(sPtr(frame));
  FrameCursor.store(sPtr(frame));
  FrameLimit.store(frame ? sPtr(frame) + FrameSize : 0);
  FrameCounter.fetch_add(1, std::memory_order_release);
}

namespace
{
// The checks every frame request starts with: memory is partitioned, the alignment is
// valid, the thread is in the current frame and borrows nothing. Gives the thread's context.
sThreadContext *StartRequest(sInt align, sPtr &a)
{
  if(!FrameLimit.load(std::memory_order_relaxed))
    sFatal(u"please use sPartitionMemory() in sMain() to allocate frame memory");
  a = CheckAlign(align);
  sThreadContext *ctx = sGetThreadContext();
  CheckFrame(ctx);
  if(ctx->FrameBorrow) sFatal(u"can't call sAllocFrame() between sAllocFrameBegin() and sAllocFrameEnd()");
  return ctx;
}
}

void *sAllocFrame(sPtr size, sInt align)
{
  sPtr a;
  sThreadContext *ctx = StartRequest(align, a);

  if(a == 16 && !Fits(ctx, 0, size, a) && !Fits(ctx, 1, size, a))
    return reinterpret_cast<void *>(TakeShared(size));

  sU8 *p = static_cast<sU8 *>(sAllocFrameBegin(size, align));
  sAllocFrameEnd(p + size);
  return p;
}

void *sAllocFrameBegin(sPtr size, sInt align)
{
  sPtr a;
  sThreadContext *ctx = StartRequest(align, a);

  if(!Fits(ctx, 0, size, a))
  {
    if(Fits(ctx, 1, size, a))
    {
      SwapBuffers(ctx);
    }
    else
    {
      // drop the buffer with less room and take a new one from the frame
      sPtr room0 = ctx->FrameBufferEnd[0] - ctx->FrameCursor[0];
      sPtr room1 = ctx->FrameBufferEnd[1] - ctx->FrameCursor[1];
      if(room1 < room0) SwapBuffers(ctx);   // the one to drop is now buffer 0
      sPtr want = size + a;
      sPtr most = a + 2 * size < ThreadBufferMax ? a + 2 * size : ThreadBufferMax;
      sPtr bytes = AlignUp(want > most ? want : most, 16);
      sPtr start = TakeShared(bytes);
      if(ctx->FrameCursor[0] && start == ctx->FrameBufferEnd[0])
      {
        ctx->FrameBufferEnd[0] = start + bytes;   // directly behind: the two join
      }
      else
      {
        if(ctx->FrameCursor[0]) BorrowedBytes.fetch_add(ctx->FrameBufferEnd[0] - ctx->FrameCursor[0]);
        ctx->FrameCursor[0] = start;
        ctx->FrameBufferEnd[0] = start + bytes;
      }
    }
  }
  sPtr p = AlignUp(ctx->FrameCursor[0], a);
  ctx->FrameBorrow = p + size;
  // within the first buffer, whose end is the borrow's limit
  sVERIFYAS(ctx->FrameBorrow <= ctx->FrameBufferEnd[0], u"ctx->FrameBorrow <= ctx->FrameEnd");
  return reinterpret_cast<void *>(p);
}

void sAllocFrameEnd(void *endPtr)
{
  sThreadContext *ctx = sGetThreadContext();
  if(!ctx->FrameBorrow) sFatal(u"sAllocFrameEnd without sAllocFrameBegin");
  sPtr end = sPtr(endPtr);
  sVERIFY(end <= ctx->FrameBorrow);
  sVERIFY(end >= ctx->FrameCursor[0]);
  ctx->FrameCursor[0] = end;
  ctx->FrameBorrow = 0;
  if(ctx->FrameCursor[0] == ctx->FrameBufferEnd[0])
  {
    // used up: the second buffer takes its place
    ctx->FrameCursor[0] = ctx->FrameCursor[1];
    ctx->FrameBufferEnd[0] = ctx->FrameBufferEnd[1];
    ctx->FrameCursor[1] = ctx->FrameBufferEnd[1] = 0;
  }
}

void *sAllocDMA(sPtr size, sInt align)
{
  sPtr a = CheckAlign(align);
  if(!DMALimit.load(std::memory_order_relaxed)) sFatal(u"please use sPartitionMemory() in sMain() to allocate DMA memory");
  sPtr cur = DMACursor.load(std::memory_order_relaxed);
  sPtr p, next;
  do
  {
    p = AlignUp(cur, a);
    next = p + AlignUp(size, 16);
    if(next > DMALimit.load(std::memory_order_relaxed) || next < p) sFatal(u"out of DMA mem");
  } while(!DMACursor.compare_exchange_weak(cur, next, std::memory_order_relaxed));
  return reinterpret_cast<void *>(p);
}

void sExitFrameMemory()
{
  FreeBuffers();
  CurrentFrameBuffer = 0;
  FrameStart.store(0);
  FrameCursor.store(0);
  sFlipFrameMemory();
}

sFrameMemoryStats sGetFrameMemoryStats()
{
  sFrameMemoryStats s;
  s.FrameSize = FrameSize;
  s.DMASize = DMASize;
  s.FrameCounter = FrameCounter.load();
  s.MaxFrameUsed = MaxFrameUsed;
  s.MaxDMAUsed = MaxDMAUsed;
  s.LastFrameUsed = LastFrameUsed;
  s.BorrowedBytes = BorrowedBytes.load();
  return s;
}

/****************************************************************************/
/***   Arenas                                                             ***/
/****************************************************************************/

sMemoryArena::sMemoryArena(sPtr chunkSize, sInt memoryType) : ChunkSize(chunkSize), MemoryType(memoryType)
{
  sVERIFY(chunkSize >= 32);
  First = Last = Current = NewChunk(ChunkSize);
}

sMemoryArena::~sMemoryArena()
{
  while(BigChunks)
  {
    sMemoryArenaChunk *n = BigChunks->Next;
    FreeChunk(BigChunks);
    BigChunks = n;
  }
  while(First)
  {
    sMemoryArenaChunk *n = First->Next;
    FreeChunk(First);
    First = n;
  }
}

sMemoryArenaChunk *sMemoryArena::NewChunk(sPtr size)
{
  // the chunk's record sits in front of its data
  sPtr header = AlignUp(sizeof(sMemoryArenaChunk), 16);
  sPushMemType(MemoryType);
  sSetAllocSource(__FILE__, __LINE__);
  sU8 *block = static_cast<sU8 *>(sMemAlloc(sDInt(header + size), 16, 0));
  sPopMemType(MemoryType);
  sMemoryArenaChunk *c = reinterpret_cast<sMemoryArenaChunk *>(block);
  c->Data = block + header;
  c->Cursor = c->Data;
  c->End = c->Data + size;
  c->Next = nullptr;
  return c;
}

void sMemoryArena::FreeChunk(sMemoryArenaChunk *c)
{
  sMemFree(c);
}

void *sMemoryArena::Alloc(sPtr size, sInt align)
{
  sPtr a = CheckAlign(align);
  // an alignment past half a chunk may not fit a chunk at all: such a request gets its own, like a large one
  if(size <= ChunkSize / 2 && a <= ChunkSize / 2)
  {
    for(;;)
    {
      sPtr p = AlignUp(sPtr(Current->Cursor), a);
      if(p + size <= sPtr(Current->End))
      {
        Current->Cursor = reinterpret_cast<sU8 *>(p + size);
        return reinterpret_cast<void *>(p);
      }
      if(!Current->Next)
      {
        sMemoryArenaChunk *c = NewChunk(ChunkSize);
        Last->Next = c;
        Last = c;
      }
      Current = Current->Next;
      Current->Cursor = Current->Data;
    }
  }
  sMemoryArenaChunk *c = NewChunk(size + a);
  c->Next = BigChunks;
  BigChunks = c;
  sPtr p = AlignUp(sPtr(c->Data), a);
  c->Cursor = reinterpret_cast<sU8 *>(p + size);
  return reinterpret_cast<void *>(p);
}

void sMemoryArena::Reset()
{
  while(BigChunks)
  {
    sMemoryArenaChunk *n = BigChunks->Next;
    FreeChunk(BigChunks);
    BigChunks = n;
  }
  for(sMemoryArenaChunk *c = First; c; c = c->Next) c->Cursor = c->Data;
  Current = First;
}
