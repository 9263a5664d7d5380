// Memory handlers, the heap and the allocation entry points.
#include "base/memory.hpp"
#include "base/app.hpp"
#include "base/framemem.hpp"
#include "base/log.hpp"
#include "base/system.hpp"

#include <csignal>
#include <cstring>
#include <new>

std::atomic<sS64> sAllocatedBytes{0};

namespace
{
sMemoryHandler *Handlers[16];
sInt HighestSlot = 0;
std::atomic<sU64> AllocCounter{1};
sU64 BreakNumber = 0;
sS64 AllocatedBase = 0;
sInt MemMarkLevel = 0;
sBool ChecksumReset = 0;
sInt MemFailType = 0;
bool Running = false;
sInt MemoryFlags = 0;

sHook *MemoryHook = nullptr;

const sMemTrackerHooks *Tracker = nullptr;
sBool TrackerOn = 0;

std::mutex FailTestLock;
sF32 FailProbability = 0.0f;
sU32 FailState = 0;

// two steps of the framework's linear congruential generator combined into [0, 1)
sF32 FailTestNext()
{
  std::lock_guard<std::mutex> lock(FailTestLock);
  FailState = FailState * 1103515245u + 12345u;
  sU32 s1 = FailState & 0x7fffffff;
  FailState = FailState * 1103515245u + 12345u;
  sU32 s2 = FailState & 0x7fffffff;
  sU32 v = (((s2 << 16) | (s2 >> 16)) ^ s1) & 0x7fffffff;
  return sF32(v) * 4.656613e-10f;
}

// alignments are powers of two; anything else is raised to the next one
sPtr AlignPow2(sInt align, sPtr minimum)
{
  sPtr a = minimum;
  while(a < sPtr(align > 0 ? align : 0)) a <<= 1;
  return a;
}

struct HandlerLock
{
  sMemoryHandler *H;
  explicit HandlerLock(sMemoryHandler *h) : H(h) { if(H->ThreadSafe && H->Lock) H->Lock->lock(); }
  ~HandlerLock() { if(H->ThreadSafe && H->Lock) H->Lock->unlock(); }
};

bool Tracking(const sMemoryHandler *h) { return TrackerOn && Tracker && !h->NoLeakTracking; }
}

/****************************************************************************/
/***   sMemoryHandler                                                     ***/
/****************************************************************************/

sMemoryHandler::~sMemoryHandler()
{
  // a handler that goes away while registered must not be reached through its slot
  for(sInt slot = 0; slot < 16; slot++)
    if(Handlers[slot] == this) sUnregisterMemoryHandler(slot);
  if(Lock)
  {
    Lock->lock();
    Lock->unlock();
    Lock->~recursive_mutex();
    // the memory of the lock can only be handed back while the memory system runs
    if(Running) sMemFree(Lock);
    Lock = nullptr;
  }
}

sPtr sMemoryHandler::MemSize(void *) { return 0; }
void sMemoryHandler::Validate() {}
sU32 sMemoryHandler::Snapshot() { return 0; }
sPtr sMemoryHandler::GetSize() { return End - Start; }
sPtr sMemoryHandler::GetFree() { return 0; }
sPtr sMemoryHandler::GetLargestFree() { return 0; }

void sMemoryHandler::BindToThread()
{
  std::recursive_mutex *lock = Lock;
  if(!lock) return;
  lock->lock();
  Owner = sGetThreadContext();
  ThreadSafe = 0;
  Lock = nullptr;
  lock->unlock();
  lock->~recursive_mutex();
  sMemFree(lock);
}

void sMemoryHandler::MakeThreadSafe()
{
  if(Lock) return;
  sSetAllocSource(__FILE__, __LINE__);
  void *mem = sMemAlloc(sizeof(std::recursive_mutex), 16, 0);
  Lock = new(mem) std::recursive_mutex;
  ThreadSafe = 1;
  Owner = nullptr;
}

/****************************************************************************/
/***   sMemoryHeap                                                        ***/
/****************************************************************************/

sMemoryHeap::sMemoryHeap()
{
  Head.Next = &Tail;
  Tail.Prev = &Head;
}

void sMemoryHeap::Unlink(FreeNode *n)
{
  n->Prev->Next = n->Next;
  n->Next->Prev = n->Prev;
}

void sMemoryHeap::InsertAfter(FreeNode *pos, FreeNode *n)
{
  n->Prev = pos;
  n->Next = pos->Next;
  pos->Next->Prev = n;
  pos->Next = n;
}

void sMemoryHeap::Init(sPtr start, sPtr size)
{
  sVERIFY(start);
  sPtr first = (start + 8 + 31) & ~sPtr(31);
  Start = first - 8;
  sPtr end = ((start + size + 8) & ~sPtr(31)) - 8;
  End = end > Start ? end : Start;   // too small for one granule: an empty heap
  FreeBytes = End - Start;
  if(DebugFill && FreeBytes) std::memset(reinterpret_cast<void *>(Start), 0xaa, FreeBytes);

  Head.Next = &Tail;
  Tail.Prev = &Head;
  Hint = nullptr;
  if(FreeBytes >= 32)
  {
    FreeNode *n = reinterpret_cast<FreeNode *>(Start);
    n->Size = FreeBytes;
    InsertAfter(&Head, n);
    Hint = n;
  }
  LowestFree = FreeBytes;
}

void *sMemoryHeap::Alloc(sPtr size, sInt align, sInt flags)
{
  sPtr bytes = (size + 39) & ~sPtr(31);
  sVERIFYAS(bytes >= size, u"bytes<size");
  if(bytes > FreeBytes) return nullptr;
  sPtr a = AlignPow2(align, 32);

  FreeNode *n = nullptr;
  sPtr as = 0;
  if(!(flags & sAMF_ALT))
  {
    for(FreeNode *f = Head.Next; f != &Tail; f = f->Next)
    {
      sPtr fs = sPtr(f), fe = fs + f->Size;
      as = ((fs + 8 + a - 1) & ~(a - 1)) - 8;
      sVERIFY(as>=fs);
      if(as + bytes <= fe) { n = f; break; }
    }
  }
  else
  {
    for(FreeNode *f = Tail.Prev; f != &Head; f = f->Prev)
    {
      sPtr fs = sPtr(f), fe = fs + f->Size;
      if(fe - fs < bytes) continue;
      sPtr c = ((fe - bytes + 8) & ~(a - 1)) - 8;
      sPtr ae = c + bytes;
      sVERIFY(ae<=fe);
      if(fs <= c) { n = f; as = c; break; }
    }
  }
  if(!n) return nullptr;

  sPtr fs = sPtr(n), fe = fs + n->Size, ae = as + bytes;
  FreeNode *after;
  if(as > fs)
  {
    sVERIFY(((as-fs)&31)==0);
    n->Size = as - fs;
    after = n;
  }
  else
  {
    FreeNode *prev = n->Prev, *next = n->Next;
    Unlink(n);
    Hint = IsReal(next) ? next : IsReal(prev) ? prev : nullptr;
    after = prev;
  }
  if(fe > ae)
  {
    sVERIFY(((fe-ae)&31)==0);
    sVERIFY(((fe+8)&31)==0);
    FreeNode *rest = reinterpret_cast<FreeNode *>(ae);
    rest->Size = fe - ae;
    InsertAfter(after, rest);
  }

  if(DebugFill) std::memset(reinterpret_cast<void *>(as), 0xcc, bytes);
  *reinterpret_cast<sPtr *>(as) = size;
  FreeBytes -= bytes;
  if(FreeBytes < LowestFree) LowestFree = FreeBytes;
  sVERIFY(((as+8)&31)==0);
  sAllocatedBytes += sS64(bytes);
  return reinterpret_cast<void *>(as + 8);
}

sBool sMemoryHeap::Free(void *ptr)
{
  sPtr bs = sPtr(ptr) - 8;
  // alignment and range checked before the header is read: a stray pointer's size would come from memory not the heap's
  sVERIFY(((bs+8)&31)==0);
  sVERIFY(bs>=Start && bs<End);
  sPtr size = *reinterpret_cast<sPtr *>(bs);
  sPtr bytes = (size + 39) & ~sPtr(31);
  sPtr be = bs + bytes;
  sVERIFY(bytes>=size && be>bs);
  sVERIFY(bs>=Start && be<=End);
  sAllocatedBytes -= sS64(bytes);
  if(DebugFill) std::memset(reinterpret_cast<void *>(bs), 0xee, bytes);
  FreeBytes += bytes;

  FreeNode *nb = reinterpret_cast<FreeNode *>(bs);
  nb->Size = bytes;
  if(Head.Next == &Tail)
  {
    InsertAfter(&Head, nb);
    return 1;
  }

  FreeNode *last = Tail.Prev;
  if(be > sPtr(last))
  {
    InsertAfter(last, nb);
  }
  else
  {
    FreeNode *lo = Head.Next, *hi = last;
    if(Hint)
    {
      if(be > sPtr(Hint)) lo = Hint;
      else hi = Hint;
    }
    if(be <= sPtr(lo))
    {
      InsertAfter(lo->Prev, nb);
    }
    else if(bs - sPtr(lo) >= sPtr(hi) - be)
    {
      FreeNode *start = lo;
      FreeNode *n = hi;
      while(sPtr(n) + n->Size > bs)
      {
        sVERIFY(n!=start);
        n = n->Prev;
      }
      InsertAfter(n, nb);
    }
    else
    {
      FreeNode *n = lo;
      while(n != hi && be > sPtr(n)) n = n->Next;
      if(be > sPtr(n)) InsertAfter(n, nb);
      else InsertAfter(n->Prev, nb);
    }
  }

  FreeNode *p = nb->Prev;
  if(IsReal(p) && sPtr(p) + p->Size == bs)
  {
    p->Size += nb->Size;
    Unlink(nb);
    nb = p;
  }
  FreeNode *x = nb->Next;
  if(IsReal(x) && sPtr(nb) + nb->Size == sPtr(x))
  {
    nb->Size += x->Size;
    Unlink(x);
  }
  Hint = nb;
  return 1;
}

sPtr sMemoryHeap::MemSize(void *ptr)
{
  return *reinterpret_cast<sPtr *>(sPtr(ptr) - 8);
}

sPtr sMemoryHeap::GetFree()
{
  return FreeBytes;
}

sPtr sMemoryHeap::GetLargestFree()
{
  HandlerLock lock(this);
  sPtr best = 0;
  for(FreeNode *n = Head.Next; n && n != &Tail; n = n->Next)
    if(n->Size > best) best = n->Size;
  return best;
}

sInt sMemoryHeap::CountFreeNodes()
{
  HandlerLock lock(this);
  sInt count = 0;
  for(FreeNode *n = Head.Next; n && n != &Tail; n = n->Next) count++;
  return count;
}

void sMemoryHeap::Validate()
{
  HandlerLock lock(this);
  bool fault = false;
  sPtr sum = 0;
  sPtr prevEnd = 0;
  // a node pointer must lie where a node can be before it is read
  auto inside = [&](FreeNode *n) { return sPtr(n) >= Start && sPtr(n) + sizeof(FreeNode) <= End; };
  sPtr maxNodes = (End - Start) / 32 + 1;
  sPtr count = 0;
  for(FreeNode *n = Head.Next; n != &Tail; n = n->Next)
  {
    if(!inside(n) || (n->Next != &Tail && !inside(n->Next)) || n->Prev->Next != n || n->Next->Prev != n ||
       ++count > maxNodes)
    {
      sLogF(u"mem", u"linked list broken\n");
      fault = true;
      break;
    }
    sPtr ns = sPtr(n), ne = ns + n->Size;
    if(n->Size < 32 || n->Size > End - Start)
    {
      sLogF(u"mem", u"invalid free node size! %08x for %08x\n", sU64(ns), sU64(n->Size));
      fault = true;
    }
    if(prevEnd)
    {
      if(ns == prevEnd)
      {
        sLogF(u"mem", u"nodes not merged! %08x..%08x\n", sU64(prevEnd), sU64(ns));
        fault = true;
      }
      else if(ns < prevEnd)
      {
        sLogF(u"mem", u"nodes not sorted! %08x..%08x\n", sU64(prevEnd), sU64(ns));
        fault = true;
      }
    }
    if(ns < Start || ne > End || ne < ns)
    {
      sLogF(u"mem", u"nodes outside heap! %08x..%08x\n", sU64(ns), sU64(ne));
      fault = true;
    }
    sum += n->Size;
    prevEnd = ne;
  }
  if(sum != FreeBytes)
  {
    sLogF(u"mem", u"%08x free, %08x expected\n", sU64(sum), sU64(FreeBytes));
    fault = true;
  }
  if(fault) sFatal(u"heap corrupted");
}

sU32 sMemoryHeap::Snapshot()
{
  HandlerLock lock(this);
  sLogF(u"mem", u"starting snapshot\n");
  sU32 a = 1, b = 0;
  sInt count = 0;
  for(FreeNode *n = Head.Next; n && n != &Tail; n = n->Next)
  {
    const sU8 *p = reinterpret_cast<const sU8 *>(n);
    for(size_t i = 0; i < sizeof(FreeNode); i++)
    {
      a = (a + p[i]) % 65521;
      b = (b + a) % 65521;
    }
    count++;
  }
  sLogF(u"mem", u"Free mem nodes: %d\n", count);
  return (b << 16) + a;
}

/****************************************************************************/
/***   Allocation                                                         ***/
/****************************************************************************/

void sSetAllocSource(const char *file, sInt line)
{
  sThreadContext *tx = sGetThreadContext();
  if(!tx->AllocFile)
  {
    tx->AllocFile = file;
    tx->AllocLine = line;
  }
}

void *sMemAlloc(sDInt size, sInt align, sInt flags)
{
  if(BreakNumber && AllocCounter.load() == BreakNumber) std::raise(SIGTRAP);

  sThreadContext *tx = sGetThreadContext();
  // the pending source belongs to this call alone
  const char *file = tx->AllocFile;
  sInt line = tx->AllocLine;
  tx->AllocFile = nullptr;
  tx->AllocLine = 0;

  sInt type = flags & sAMF_TYPEMASK;
  if(!type)
  {
    type = tx->MemTypeStack[tx->MemTypeStackIndex] & sAMF_TYPEMASK;
    flags |= type;
  }
  sMemoryHandler *h = Handlers[type];
  sVERIFY(h);
  sVERIFY(h->Owner==0 || h->Owner==tx);

  if(h->FailTest && FailTestNext() < FailProbability) return nullptr;

  void *ptr;
  {
    HandlerLock lock(h);
    ptr = h->Alloc(sPtr(size), align, flags);
    if(ptr)
    {
      sU64 number = AllocCounter.fetch_add(1);
      if(Tracking(h) && !(flags & sAMF_NOLEAK) && Tracker->AddAlloc)
        Tracker->AddAlloc(ptr, sPtr(size), file, line, number, flags & 0x10f);
      return ptr;
    }
  }

  if(!h->FailTest && !(flags & sAMF_MAYFAIL))
  {
    MemFailType = type;
    if(TrackerOn && Tracker && Tracker->Report && type != 2) Tracker->Report(u"memory in use", 0, type);
    sU64 free, total, largest;
    {
      HandlerLock lock(h);
      total = h->GetSize();
      free = h->GetFree();
      largest = h->GetLargestFree();
    }
    if(!file)
      sFatalF(u"out of mem - tried %K, align %d, flags %08x\n(free: %K of %K, largest: %K)", sS64(size), align, flags,
              free, total, largest);
    sChar wide[1024];
    sCopyString8(wide, file);
    sFatalF(u"%s(%d): out of mem: tried %K, align %d, flags %08x\n(free: %K of %K, largest: %K)", wide, line, sS64(size),
            align, flags, free, total, largest);
  }
  return nullptr;
}

namespace
{
bool TryFree(sMemoryHandler *h, void *ptr, sThreadContext *tx)
{
  sVERIFY(h->Owner==0 || h->Owner==tx);
  HandlerLock lock(h);
  if(!h->Free(ptr)) return false;
  // under the handler's lock, so the address cannot be handed out again before
  // its record is gone
  if(Tracking(h) && Tracker->RemoveAlloc) Tracker->RemoveAlloc(ptr);
  return true;
}
}

void sMemFree(void *ptr)
{
  if(!ptr) return;
  sThreadContext *tx = sGetThreadContext();
  sPtr a = sPtr(ptr);
  for(sInt slot = HighestSlot; slot >= 1; slot--)
  {
    sMemoryHandler *h = Handlers[slot];
    if(h && h->End && a >= h->Start && a < h->End && TryFree(h, ptr, tx)) return;
  }
  for(sInt slot = HighestSlot; slot >= 1; slot--)
  {
    sMemoryHandler *h = Handlers[slot];
    if(h && h->End == 0 && TryFree(h, ptr, tx)) return;
  }
  // Static objects that outlive memory shut-down give their blocks back at process
  // exit: the process returns them to the system anyway.
  if(!Running) return;
  sFatalF(u"pointer %08x seems not to belong to any sMemoryHandler", sU64(a));
}

void *operator new(std::size_t size, sAllocSite site)
{
  sSetAllocSource(site.File, site.Line);
  return sMemAlloc(sDInt(size), 16, 0);
}

void operator delete(void *ptr, sAllocSite) noexcept
{
  sMemFree(ptr);
}

/****************************************************************************/
/***   Registry                                                           ***/
/****************************************************************************/

void sRegisterMemoryHandler(sInt slot, sMemoryHandler *handler)
{
  sVERIFY(slot >= 0 && slot < 16);
  sVERIFY(handler);
  if(Handlers[slot]) sVERIFYFALSE;
  Handlers[slot] = handler;
  if(!handler->ThreadSafe) handler->Owner = sGetThreadContext();
  if(slot > HighestSlot) HighestSlot = slot;
}

void sUnregisterMemoryHandler(sInt slot)
{
  if(slot < 0 || slot >= 16 || !Handlers[slot]) return;
  Handlers[slot]->Owner = nullptr;
  Handlers[slot] = nullptr;
  for(sInt i = 15; i >= 0; i--)
  {
    if(Handlers[i])
    {
      HighestSlot = i;
      break;
    }
  }
}

sMemoryHandler *sGetMemoryHandler(sInt slot)
{
  if(slot < 0 || slot >= 16) return nullptr;
  return Handlers[slot];
}

void sPushMemType(sInt t)
{
  sThreadContext *tx = sGetThreadContext();
  tx->MemTypeStackIndex++;
  sVERIFY(tx->MemTypeStackIndex<sDInt(sizeof(tx->MemTypeStack)/sizeof(*(tx->MemTypeStack))));
  tx->MemTypeStack[tx->MemTypeStackIndex] = t;
}

void sPopMemType(sInt t)
{
  sThreadContext *tx = sGetThreadContext();
  sVERIFY(tx->MemTypeStack[tx->MemTypeStackIndex] == t);
  tx->MemTypeStackIndex--;
  sVERIFY(tx->MemTypeStackIndex>=0);
}

void sAddMemoryHook(sMemoryHookFunc func, void *user)
{
  sVERIFY(MemoryHook);
  MemoryHook->Add(func, user);
}

sHook *sGetMemoryHook() { return MemoryHook; }

sBool sIsMemMarkActive() { return MemMarkLevel > 0; }

void sResetMemoryChecksum()
{
  sLogF(u"mem", u"WARNING! resetting memory checksum!\n");
  ChecksumReset = 1;
}

sBool sGetMemoryChecksumReset() { return ChecksumReset; }
sS64 sGetAllocatedBytesBase() { return AllocatedBase; }
sU64 sGetAllocCounter() { return AllocCounter.load(); }
sInt sGetMemFailType() { return MemFailType; }

void sSetMemFailProbability(sF32 probability)
{
  std::lock_guard<std::mutex> lock(FailTestLock);
  FailProbability = probability;
}

void sSetMemBreakNumber(sU64 number) { BreakNumber = number; }

void sSetMemTrackerHooks(const sMemTrackerHooks *hooks)
{
  Tracker = hooks;
  if(!hooks) TrackerOn = 0;
}

void sSetMemTrackerOn(sBool on) { TrackerOn = on && Tracker; }
sBool sIsMemTrackerOn() { return TrackerOn; }

/****************************************************************************/
/***   Start-up and shut-down                                             ***/
/****************************************************************************/

void sPrintMemoryMap()
{
  sLogF(u"mem", u"MEMORY MAP:\n");
  for(sInt i = 0; i < 16; i++)
  {
    sMemoryHandler *h = Handlers[i];
    if(h) sLogF(u"mem", u"%02d: %08x..%08x (%Kb)\n", i, sU64(h->Start), sU64(h->End), sU64(h->GetSize()));
  }
}

void sSetMemoryFlags(sInt flags) { MemoryFlags = flags; }

void sInitMemorySystem()
{
  AllocCounter = 1;
  TrackerOn = 0;
  BreakNumber = 0;
  HighestSlot = 0;
  MemFailType = 0;
  sInitMem();
  if(Handlers[2]) Handlers[2]->MakeThreadSafe();
  AllocatedBase = sAllocatedBytes.load();
  Running = true;
  if(!(MemoryFlags & sMSF_NOLEAKTRACKER) && Tracker && Tracker->Init)
  {
    sLogF(u"mem", u"initialize memory leak tracker\n");
    Tracker->Init(Handlers[2] ? 2 : 1);
    TrackerOn = 1;
  }
  MemoryHook = sNEW sHook(16);
  sPrintMemoryMap();
}

namespace
{
void PrintLeakBanner()
{
  static const sChar *const lines[] = {
    u"/****************************************************************************/\n",
    u"/***                                                                      ***/\n",
    u"/***   Memory Leak Detected.                                              ***/\n",
    u"/***                                                                      ***/\n",
    u"/****************************************************************************/\n",
  };
  for(const sChar *l : lines) sDPrint(l);
}
}

void sExitMemorySystem()
{
  sExitFrameMemory();
  for(sInt i = 1; i < 16; i++)
    if(Handlers[i]) Handlers[i]->BindToThread();
  sDELETE(MemoryHook);

  if(TrackerOn && Tracker)
  {
    bool leaks = Tracker->LiveCount && Tracker->LiveCount() > 0;
    if(leaks)
    {
      PrintLeakBanner();
      if(Tracker->Report) Tracker->Report(u"memory leaks", 0, 0);
    }
    TrackerOn = 0;
    if(Tracker->Exit) Tracker->Exit();
    if(leaks) sLogF(u"mem", u"%K bytes leaked\n", sAllocatedBytes.load() - AllocatedBase);
  }
  else if(sAllocatedBytes.load() != AllocatedBase)
  {
    PrintLeakBanner();
    sLogF(u"mem", u"%K bytes leaked\n", sAllocatedBytes.load() - AllocatedBase);
  }
  sExitMem();
  Running = false;
}

sBool sIsMemorySystemRunning() { return Running; }
