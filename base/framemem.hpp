#pragma once
// Frame memory (lives until the end of the frame, taken with one atomic addition) and
// memory arenas (chunked bump allocators released all at once).

#include "base/types.hpp"

/****************************************************************************/
/***   Frame memory                                                       ***/
/****************************************************************************/

// Reserves frame and DMA memory. A size of 1 keeps the current buffers; any other size
// frees them, and sizes of 2 and more allocate new ones. Flips once and clears the maxima.
void sPartitionMemory(sPtr frameSize, sPtr dmaSize);
// Frame memory swaps two buffers at each flip instead of reusing one (set before
// sPartitionMemory by the platform set-up).
void sSetFrameMemoryDoubleBuffered(sBool on);
// Memory valid until the next flip (double-buffered: until the flip after next).
// Callable from any thread.
void *sAllocFrame(sPtr size, sInt align = 16);
// A borrow from the calling thread's frame buffers: Begin gives an aligned address with
// room for size bytes, End(end) takes what was used up to end.
void *sAllocFrameBegin(sPtr size, sInt align);
void sAllocFrameEnd(void *end);
// DMA memory of the current frame (its two buffers swap at every flip).
void *sAllocDMA(sPtr size, sInt align = 16);
// The end of the frame (main thread): frame memory handed out before is given up.
void sFlipFrameMemory();
// Frees the frame and DMA buffers and flips (memory shut-down).
void sExitFrameMemory();

struct sFrameMemoryStats
{
  sPtr FrameSize = 0;
  sPtr DMASize = 0;
  sU64 FrameCounter = 0;
  sPtr MaxFrameUsed = 0;
  sPtr MaxDMAUsed = 0;
  sPtr LastFrameUsed = 0;
  sPtr BorrowedBytes = 0;
};
sFrameMemoryStats sGetFrameMemoryStats();

/****************************************************************************/
/***   Arenas                                                             ***/
/****************************************************************************/

struct sMemoryArenaChunk
{
  sU8 *Data;
  sU8 *Cursor;
  sU8 *End;
  sMemoryArenaChunk *Next;
};

// A bump allocator over a chain of chunks of one size; a request above half the chunk
// size gets a chunk of its own. Everything is freed with the arena.
class sMemoryArena
{
public:
  sMemoryArena(sPtr chunkSize, sInt memoryType);
  ~sMemoryArena();
  sMemoryArena(const sMemoryArena &) = delete;
  sMemoryArena &operator=(const sMemoryArena &) = delete;

  void *Alloc(sPtr size, sInt align = 16);
  // Forgets every allocation and keeps the chain of chunks (big chunks are freed).
  void Reset();

  sPtr GetChunkSize() const { return ChunkSize; }

private:
  sMemoryArenaChunk *NewChunk(sPtr size);
  static void FreeChunk(sMemoryArenaChunk *c);

  sPtr ChunkSize;
  sInt MemoryType;
  sMemoryArenaChunk *Current = nullptr;
  sMemoryArenaChunk *First = nullptr;
  sMemoryArenaChunk *Last = nullptr;
  sMemoryArenaChunk *BigChunks = nullptr;
};
