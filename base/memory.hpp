#pragma once
// Memory handlers: 16 memory-type slots, the general heap over one address range, the
// runtime heap handler, and memory start-up and shut-down.

#include "base/types.hpp"

#include <atomic>
#include <mutex>

struct sThreadContext;

/****************************************************************************/
/***   Handlers                                                           ***/
/****************************************************************************/

// An allocator registered in one of the 16 memory-type slots. A thread-safe handler is
// used under its own lock; any other belongs to one thread (Owner), which alone may use it.
class sMemoryHandler
{
public:
  sBool ThreadSafe = 0;
  std::recursive_mutex *Lock = nullptr;
  sPtr Start = 0;   // address range served; both 0 for a handler without a range
  sPtr End = 0;
  sPtr LowestFree = 0;
  sThreadContext *Owner = nullptr;
  sBool FailTest = 0;         // fail at random with the global failure probability
  sBool NoLeakTracking = 0;

  sMemoryHandler() = default;
  sMemoryHandler(const sMemoryHandler &) = delete;
  sMemoryHandler &operator=(const sMemoryHandler &) = delete;
  virtual ~sMemoryHandler();

  virtual void *Alloc(sPtr size, sInt align, sInt flags) = 0;
  virtual sBool Free(void *ptr) = 0;   // nonzero when the block was taken back
  virtual sPtr MemSize(void *ptr);
  virtual void Validate();
  virtual sU32 Snapshot();
  virtual sPtr GetSize();
  virtual sPtr GetFree();
  virtual sPtr GetLargestFree();
  // Gives up the lock: the calling thread becomes the only user.
  virtual void BindToThread();

  // Gives the handler a lock of its own so that every thread may use it.
  void MakeThreadSafe();
};

// First-fit heap over one address range: an address-ordered free list, blocks of
// multiples of 32 bytes with an 8-byte size header below a 32-byte aligned user pointer.
class sMemoryHeap : public sMemoryHandler
{
public:
  struct FreeNode
  {
    FreeNode *Next;
    FreeNode *Prev;
    sPtr Size;
  };
  static_assert(sizeof(FreeNode) <= 32, "a free node must fit one granule");

  sPtr FreeBytes = 0;
  sBool DebugFill = 0;
  FreeNode Head = {nullptr, nullptr, 0};   // Prev stays null
  FreeNode Tail = {nullptr, nullptr, 0};   // Next stays null
  FreeNode *Hint = nullptr;

  sMemoryHeap();
  void Init(sPtr start, sPtr size);
  void Init(void *start, sPtr size) { Init(sPtr(start), size); }
  void SetDebugFill(sBool on) { DebugFill = on; }

  void *Alloc(sPtr size, sInt align, sInt flags) override;
  sBool Free(void *ptr) override;
  sPtr MemSize(void *ptr) override;
  void Validate() override;
  sU32 Snapshot() override;
  sPtr GetFree() override;
  sPtr GetLargestFree() override;

  // the number of free nodes (for tests and reports)
  sInt CountFreeNodes();

private:
  static bool IsReal(FreeNode *n) { return n && n->Next && n->Prev; }
  void Unlink(FreeNode *n);
  void InsertAfter(FreeNode *pos, FreeNode *n);
};

// The runtime library's heap (posix_memalign); serves memory type 1. It has no range,
// so it is offered every pointer that no ranged handler claims.
class sCrtHeapHandler : public sMemoryHandler
{
public:
  void *Alloc(sPtr size, sInt align, sInt flags) override;
  sBool Free(void *ptr) override;
  sPtr MemSize(void *ptr) override;
  void Validate() override {}
  sU32 Snapshot() override { return 0; }
  sPtr GetFree() override;
  sPtr GetLargestFree() override;
};

/****************************************************************************/
/***   Registry and per-thread memory types                               ***/
/****************************************************************************/

void sRegisterMemoryHandler(sInt slot, sMemoryHandler *handler);
void sUnregisterMemoryHandler(sInt slot);
sMemoryHandler *sGetMemoryHandler(sInt slot);

void sPushMemType(sInt type);
void sPopMemType(sInt type);

// The memory system's hook (capacity 16, made by memory start-up); callbacks get
// (value, user). Nothing raises it yet.
using sMemoryHookFunc = void (*)(sDInt value, void *user);
void sAddMemoryHook(sMemoryHookFunc func, void *user);
class sHook;
sHook *sGetMemoryHook();

sBool sIsMemMarkActive();
void sResetMemoryChecksum();
sBool sGetMemoryChecksumReset();

// The bytes held by the heap and runtime-heap handlers (changed atomically).
extern std::atomic<sS64> sAllocatedBytes;
sS64 sGetAllocatedBytesBase();
// The number the next successful allocation gets (starts at 1 with memory start-up).
sU64 sGetAllocCounter();
// The memory type of the last allocation that failed fatally (0 when none).
sInt sGetMemFailType();
// Random failure test of handlers with FailTest set (probability 0..1, 0 = off).
void sSetMemFailProbability(sF32 probability);
// Break into the debugger when the allocation counter reaches this number (0 = never).
void sSetMemBreakNumber(sU64 number);

/****************************************************************************/
/***   Leak tracker seam                                                  ***/
/****************************************************************************/

// The leak tracker plugs in here. Until hooks are installed and switched on, tracking
// does nothing. AddAlloc gets flags & 0x10f; the thread's leak description is read from
// its sThreadContext by the tracker itself.
struct sMemTrackerHooks
{
  void (*Init)(sInt memType) = nullptr;   // create the tracker in that memory type
  void (*Exit)() = nullptr;               // delete it
  void (*AddAlloc)(void *ptr, sPtr size, const char *file, sInt line, sU64 number, sInt flags) = nullptr;
  void (*RemoveAlloc)(void *ptr) = nullptr;
  void (*Report)(const sChar *title, sU64 firstNumber, sInt memType) = nullptr;
  sInt (*LiveCount)() = nullptr;          // tracked allocations alive
};
// Installs the hooks (they must outlive the memory system); null removes them.
// sInitMemorySystem switches tracking on when hooks are installed, unless the memory
// flags have sMSF_NOLEAKTRACKER.
void sSetMemTrackerHooks(const sMemTrackerHooks *hooks);
void sSetMemTrackerOn(sBool on);
sBool sIsMemTrackerOn();

/****************************************************************************/
/***   Start-up and shut-down                                             ***/
/****************************************************************************/

// Platform set-up: registers the runtime heap as memory type 1 / unregisters 2 and 1.
void sInitMem();
void sExitMem();
sCrtHeapHandler *sGetCrtHeapHandler();
// Gives the runtime heap's free pages back to the system (the allocator keeps what was
// freed for its next allocations, its threads' heaps included); a few ms, for moments such
// as a scene switch.
void sTrimHeap();

// Flags of the memory start-up, read by sInitMemorySystem (0 at program start).
enum : sInt
{
  sMSF_NOLEAKTRACKER = 16,   // the leak tracker is not started
};
void sSetMemoryFlags(sInt flags);

// The first and the last step of every run: handlers, the tracker, the memory map.
// Shut-down frees the frame and DMA memory first.
void sInitMemorySystem();
void sExitMemorySystem();
sBool sIsMemorySystemRunning();
void sPrintMemoryMap();
