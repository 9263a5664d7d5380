// Text buffer, string pool, message queue and garbage collector.
#include "base/textbuffer.hpp"
#include "base/app.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"
#include "base/system.hpp"

#include <atomic>
#include <cstring>

/****************************************************************************/
/***   Text buffer                                                        ***/
/****************************************************************************/

namespace
{
const sChar EmptyText[1] = {0};

sChar *NewChars(sInt n)
{
  sSetAllocSource(__FILE__, __LINE__);
  return static_cast<sChar *>(sMemAlloc(sDInt(n) * sDInt(sizeof(sChar)), 16, 0));
}
}

sTextBuffer::sTextBuffer() : sTextBuffer(1024) {}

sTextBuffer::sTextBuffer(sInt n)
{
  sVERIFY(n >= 0);
  if(n > 0)
  {
    Data = NewChars(n);
    Alloc = n;
  }
}

sTextBuffer::~sTextBuffer()
{
  if(Data) sMemFree(Data);
}

void sTextBuffer::Grow(sInt n)
{
  if(Alloc >= n)
    return;
  sChar *data = NewChars(n);
  if(Used > 0)
    memcpy(data, Data, size_t(Used) * sizeof(sChar));
  if(Data) sMemFree(Data);
  Data = data;
  Alloc = n;
}

void sTextBuffer::Print(const sChar *text)
{
  Print(text, sGetStringLen(text));
}

void sTextBuffer::Print(const sChar *text, sInt len)
{
  sVERIFY(len >= 0);
  // 64-bit sums: a text that would take the capacity past 2^31 characters is fatal
  // instead of wrapping into a small buffer
  sS64 need = sS64(Used) + len + 1;
  if(need >= Alloc)
  {
    sS64 twice = sS64(Alloc) * 2;
    sS64 size = sS64(Alloc) + len + 1;
    if(twice > size) size = twice;
    if(size > 0x7fffffff)
    {
      sVERIFYDESC(need <= 0x7fffffff, u"text buffer larger than 2^31 characters");
      size = 0x7fffffff;
    }
    Grow(sInt(size));
  }
  if(len > 0)
    memcpy(Data + Used, text, size_t(len) * sizeof(sChar));
  Used += len;
}

const sChar *sTextBuffer::Get()
{
  if(Used == 0 && !Data)
    return EmptyText;
  if(!(Used < Alloc))
    sAssertionFailed("types2", __LINE__, u"Used<Alloc", u"");
  Data[Used] = 0;
  return Data;
}

/****************************************************************************/
/***   String pool                                                        ***/
/****************************************************************************/

namespace
{
sStringPool *GlobalPool = nullptr;
const sChar *PoolEmpty = nullptr;
}

sStringPool::sStringPool()
{
  TextArena = sNEW sMemoryArena(0x10000, 1);
  NodeArena = sNEW sMemoryArena(0x10000, 1);
  for(Node *&b : Buckets) b = nullptr;
}

sStringPool::~sStringPool()
{
  sDELETE(TextArena);
  sDELETE(NodeArena);
}

const sChar *sStringPool::Add(const sChar *text, sInt length, sBool *added)
{
  sVERIFY(length >= 0);
  sVERIFY(text || length == 0);
  sU32 hash = sChecksumCRC32Wide(text, length) & (BucketCount - 1);
  size_t bytes = size_t(length) * sizeof(sChar);

  for(Node *n = Buckets[hash]; n; n = n->Next)
  {
    // the length is compared first: a shorter pooled text must not be read past its end
    if(n->Length == length && (bytes == 0 || memcmp(n->Text, text, bytes) == 0))
    {
      if(added) *added = 0;
      return n->Text;
    }
  }

  Node *n = static_cast<Node *>(NodeArena->Alloc(sizeof(Node), 8));
  sChar *copy = static_cast<sChar *>(TextArena->Alloc(sPtr(length + 1) * sizeof(sChar), 2));
  if(bytes) memcpy(copy, text, bytes);
  copy[length] = 0;
  n->Text = copy;
  n->Length = length;
  n->Next = Buckets[hash];
  Buckets[hash] = n;
  if(added) *added = 1;
  return copy;
}

const sChar *sPoolString(const sChar *text, sInt length, sBool *added)
{
  sVERIFYDESC(GlobalPool, u"the string pool does not run");
  return GlobalPool->Add(text, length, added);
}

const sChar *sGetPoolEmptyString() { return PoolEmpty; }
sStringPool *sGetStringPool() { return GlobalPool; }

void sInitStringPool()
{
  if(!GlobalPool)
    GlobalPool = sNEW sStringPool;
  PoolEmpty = GlobalPool->Add(u"", 0);
}

void sExitStringPool()
{
  sDELETE(GlobalPool);
  PoolEmpty = nullptr;
}

/****************************************************************************/
/***   Message queue                                                      ***/
/****************************************************************************/

namespace
{
sMessageQueue *GlobalQueue = nullptr;
}

void sInitMessageQueue()
{
  sVERIFY(!GlobalQueue);
  GlobalQueue = sNEW sMessageQueue;
  memset(GlobalQueue->Slots, 0, sizeof(GlobalQueue->Slots));
  GlobalQueue->WriteCount = 0;
  GlobalQueue->ReadCount = 0;
  GlobalQueue->Lock = sNEW sThreadLock;
}

void sExitMessageQueue()
{
  if(!GlobalQueue)
    return;
  sDELETE(GlobalQueue->Lock);
  sDELETE(GlobalQueue);
}

sMessageQueue *sGetMessageQueue() { return GlobalQueue; }

/****************************************************************************/
/***   Garbage collector                                                  ***/
/****************************************************************************/

namespace
{
struct GCState
{
  sDynamicArray<sGCObject *> Objects;
  sDynamicArray<sGCObject *> Roots;
  sThreadLock ListLock;
  sThreadLock CollectorLock;
};
GCState *GC = nullptr;
std::atomic<sBool> GCRequested{0};

// One mark-and-sweep pass; the list lock is held.
void CollectPass()
{
  for(sGCObject *o : GC->Objects) o->GCMark = 0;
  for(sGCObject *o : GC->Roots) sGCObject::Need(o);
  // sweep: keep the marked ones in order, delete the rest after the list is consistent
  sDynamicArray<sGCObject *> dead;
  sInt kept = 0;
  for(sInt i = 0; i < GC->Objects.GetSize(); i++)
  {
    sGCObject *o = GC->Objects[i];
    if(o->GCMark)
      GC->Objects[kept++] = o;
    else
      dead.AddTail(o);
  }
  GC->Objects.Used = kept;
  for(sGCObject *o : dead)
  {
    sGCObject *d = o;
    sDELETE(d);
  }
}
}

void sGCObject::Need(sGCObject *o)
{
  if(!o || o->GCMark)
    return;
  o->GCMark = 1;
  o->Tag();
}

void sInitGC()
{
  sVERIFY(!GC);
  GC = sNEW GCState;
  GC->Roots.HintSize(1024);
  GCRequested = 0;
}

void sExitGC()
{
  if(!GC)
    return;
  sGCRequestCollect();
  sGCCollect(1);
  sDELETE(GC);
}

void sGCRequestCollect()
{
  GCRequested = 1;
}

void sGCCollect(sBool force)
{
  if(!GC)
    return;
  if(force)
  {
    GC->CollectorLock.Lock();
    GCRequested = 1;
  }
  else if(!GC->CollectorLock.TryLock())
  {
    return;
  }
  GC->ListLock.Lock();
  if(GCRequested)
    CollectPass();
  GCRequested = 0;
  GC->ListLock.Unlock();
  GC->CollectorLock.Unlock();
}

void sGCAdd(sGCObject *o)
{
  sVERIFY(GC && o);
  sScopeLock lock(&GC->ListLock);
  GC->Objects.AddTail(o);
}

void sGCAddRoot(sGCObject *o)
{
  sVERIFY(GC && o);
  sScopeLock lock(&GC->ListLock);
  GC->Roots.AddTail(o);
}

void sGCRemRoot(sGCObject *o)
{
  sVERIFY(GC);
  sScopeLock lock(&GC->ListLock);
  for(sInt i = 0; i < GC->Roots.GetSize(); i++)
  {
    if(GC->Roots[i] == o)
    {
      GC->Roots.RemAt(i);
      return;
    }
  }
}

sBool sGCIsCollectRequested() { return GCRequested.load(); }

sInt sGCGetObjectCount()
{
  if(!GC)
    return 0;
  sScopeLock lock(&GC->ListLock);
  return GC->Objects.GetSize();
}

sThreadLock *sGCGetCollectorLock() { return GC ? &GC->CollectorLock : nullptr; }
