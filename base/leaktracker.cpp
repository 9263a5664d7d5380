// The leak tracker and the per-thread leak descriptions.
#include "base/leaktracker.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"
#include "base/system.hpp"
#include "platform/text/utf.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

/****************************************************************************/
/***   Leak descriptions                                                  ***/
/****************************************************************************/

namespace
{
void HashDesc(sThreadContext *tx)
{
  tx->LeakDescHash = tx->LeakDescLen ? sChecksumCRC32Wide(tx->LeakDesc, tx->LeakDescLen) : 0;
}
}

void sPushMemLeakDesc(const sChar *name)
{
  sThreadContext *tx = sGetThreadContext();
  if(!name) name = u"";
  sInt len = sGetStringLen(name);
  sInt sep = tx->LeakDescLen ? 1 : 0;
  const sInt max = sThreadContext::LeakDescSize - 1;
  if(tx->LeakDescLen + sep + len > max || tx->LeakDescStackLen + len + 1 > max + 1)
  {
    sLogF(u"mem", u"Warning: sPushMemLeakDesc overflow!\n");
    return;
  }
  std::memcpy(tx->LeakDescStack + tx->LeakDescStackLen, name, size_t(len) * sizeof(sChar));
  tx->LeakDescStackLen += len;
  tx->LeakDescStack[tx->LeakDescStackLen++] = 0;
  if(sep) tx->LeakDesc[tx->LeakDescLen++] = ' ';
  std::memcpy(tx->LeakDesc + tx->LeakDescLen, name, size_t(len) * sizeof(sChar));
  tx->LeakDescLen += len;
  tx->LeakDesc[tx->LeakDescLen] = 0;
  HashDesc(tx);
}

void sPopMemLeakDesc()
{
  sThreadContext *tx = sGetThreadContext();
  if(tx->LeakDescStackLen == 0)
  {
    sLogF(u"mem", u"Warning: sPopMemLeakDesc underflow!\n");
    return;
  }
  // the last name runs from the terminator before it (or the start) to the last terminator
  sInt end = tx->LeakDescStackLen - 1;
  sInt start = end;
  while(start > 0 && tx->LeakDescStack[start - 1] != 0) start--;
  sInt len = end - start;
  tx->LeakDescStackLen = start;
  tx->LeakDescLen -= len;
  if(tx->LeakDescLen > 0) tx->LeakDescLen--;   // the blank before it
  tx->LeakDesc[tx->LeakDescLen] = 0;
  HashDesc(tx);
}

const sChar *sGetMemLeakDesc()
{
  return sGetThreadContext()->LeakDesc;
}

/****************************************************************************/
/***   sLeakTracker                                                       ***/
/****************************************************************************/

namespace
{
struct AllocRec;

struct SourceRec
{
  SourceRec *Next;   // bucket chain
  const char *File;
  sInt Line;
  sInt Flags;
  AllocRec *Allocs;  // live allocations of this source (doubly linked)
};

struct DescRec
{
  DescRec *Next;
  sChar Text[sThreadContext::LeakDescSize];
  sU32 Hash;
  sU64 FirstNumber;
  sS64 Count[16];
  sS64 Bytes[16];
};

struct AllocRec
{
  AllocRec *Next;      // bucket chain, or the free list
  AllocRec *SrcNext;
  AllocRec *SrcPrev;
  void *Ptr;
  sPtr Size;
  sU64 Number;
  sInt Flags;
  SourceRec *Source;
  DescRec *Desc;
};

struct Chunk
{
  Chunk *Next;
};

// The tracker keeps its records in chunks of its own from the runtime library: taking
// them from the memory handlers while a handler's lock is held would order the locks
// differently on different threads.
struct sLeakTracker
{
  static constexpr sInt SourceBuckets = 1024;
  static constexpr sInt AllocBuckets = 16384;
  static constexpr sInt DescBuckets = 256;
  static constexpr size_t ChunkSize = 0x40000;

  std::mutex Lock;
  SourceRec *Sources[SourceBuckets] = {};
  AllocRec *Allocs[AllocBuckets] = {};
  DescRec *Descs[DescBuckets] = {};
  AllocRec *FreeAllocs = nullptr;
  Chunk *Chunks = nullptr;
  char *Cursor = nullptr;
  char *End = nullptr;
  sInt Live = 0;

  void *Take(size_t size)
  {
    size = (size + 15) & ~size_t(15);
    if(!Cursor || size_t(End - Cursor) < size)
    {
      Chunk *c = static_cast<Chunk *>(std::malloc(ChunkSize));
      if(!c) return nullptr;
      c->Next = Chunks;
      Chunks = c;
      Cursor = reinterpret_cast<char *>(c) + 16;
      End = reinterpret_cast<char *>(c) + ChunkSize;
    }
    void *p = Cursor;
    Cursor += size;
    return p;
  }

  ~sLeakTracker()
  {
    while(Chunks)
    {
      Chunk *n = Chunks->Next;
      std::free(Chunks);
      Chunks = n;
    }
  }

  static sU32 AddressBucket(const void *p)
  {
    sU64 a = sU64(sPtr(p)) >> 4;
    a *= 0x9e3779b97f4a7c15ull;
    return sU32(a >> 40) & (AllocBuckets - 1);
  }

  SourceRec *FindSource(const char *file, sInt line, sInt flags)
  {
    SourceRec **bucket = &Sources[sU32(line) % SourceBuckets];
    for(SourceRec *s = *bucket; s; s = s->Next)
    {
      if(s->Line != line || s->Flags != flags) continue;
      if(s->File == file || (s->File && file && std::strcmp(s->File, file) == 0)) return s;
    }
    SourceRec *s = static_cast<SourceRec *>(Take(sizeof(SourceRec)));
    if(!s) return nullptr;
    s->File = file;
    s->Line = line;
    s->Flags = flags;
    s->Allocs = nullptr;
    s->Next = *bucket;
    *bucket = s;
    return s;
  }

  DescRec *FindDesc(const sChar *text, sU32 hash, sU64 number)
  {
    DescRec **bucket = &Descs[hash & (DescBuckets - 1)];
    for(DescRec *d = *bucket; d; d = d->Next)
      if(d->Hash == hash && sCmpStringEqual(d->Text, text)) return d;
    DescRec *d = static_cast<DescRec *>(Take(sizeof(DescRec)));
    if(!d) return nullptr;
    std::memset(d, 0, sizeof(DescRec));
    sCopyString(d->Text, text);
    d->Hash = hash;
    d->FirstNumber = number;
    d->Next = *bucket;
    *bucket = d;
    return d;
  }
};

std::atomic<sLeakTracker *> TheTracker{nullptr};
sInt TrackerMemType = 1;

void TrackerInit(sInt memType)
{
  if(TheTracker.load()) return;
  TrackerMemType = memType;
  void *mem = sMemAlloc(sizeof(sLeakTracker), 16, memType | sAMF_NOLEAK);
  TheTracker.store(new(mem) sLeakTracker);
}

void TrackerExit()
{
  sLeakTracker *t = TheTracker.exchange(nullptr);
  if(!t) return;
  t->~sLeakTracker();
  sMemFree(t);
}

void TrackerAdd(void *ptr, sPtr size, const char *file, sInt line, sU64 number, sInt flags)
{
  sLeakTracker *t = TheTracker.load(std::memory_order_acquire);
  if(!t) return;
  sThreadContext *tx = sGetThreadContext();
  const sChar *descText = tx->LeakDescLen ? tx->LeakDesc : u"(unknown)";
  sU32 hash = tx->LeakDescLen ? tx->LeakDescHash : sChecksumCRC32Wide(descText, sGetStringLen(descText));

  std::lock_guard<std::mutex> lock(t->Lock);
  SourceRec *src = t->FindSource(file, line, flags);
  DescRec *desc = t->FindDesc(descText, hash, number);
  AllocRec *a = t->FreeAllocs;
  if(a) t->FreeAllocs = a->Next;
  else a = static_cast<AllocRec *>(t->Take(sizeof(AllocRec)));
  if(!src || !desc || !a) return;   // the runtime library ran out: the block goes untracked

  a->Ptr = ptr;
  a->Size = size;
  a->Number = number;
  a->Flags = flags;
  a->Source = src;
  a->Desc = desc;
  AllocRec **bucket = &t->Allocs[sLeakTracker::AddressBucket(ptr)];
  a->Next = *bucket;
  *bucket = a;
  a->SrcPrev = nullptr;
  a->SrcNext = src->Allocs;
  if(src->Allocs) src->Allocs->SrcPrev = a;
  src->Allocs = a;
  desc->Count[flags & 15]++;
  desc->Bytes[flags & 15] += sS64(size);
  t->Live++;
}

void TrackerRemove(void *ptr)
{
  sLeakTracker *t = TheTracker.load(std::memory_order_acquire);
  if(!t) return;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(t->Lock);
    AllocRec **link = &t->Allocs[sLeakTracker::AddressBucket(ptr)];
    while(*link && (*link)->Ptr != ptr) link = &(*link)->Next;
    if(AllocRec *a = *link)
    {
      found = true;
      *link = a->Next;
      if(a->SrcPrev) a->SrcPrev->SrcNext = a->SrcNext;
      else a->Source->Allocs = a->SrcNext;
      if(a->SrcNext) a->SrcNext->SrcPrev = a->SrcPrev;
      a->Desc->Count[a->Flags & 15]--;
      a->Desc->Bytes[a->Flags & 15] -= sS64(a->Size);
      a->Next = t->FreeAllocs;
      t->FreeAllocs = a;
      t->Live--;
    }
  }
  // printed outside the tracker's lock: a debug-output receiver may allocate
  if(!found) sDPrintF(u"warning: delete without new: 0x%08x. may happen inside leaktracker\n", sU64(sPtr(ptr)));
}

sInt TrackerLiveCount()
{
  sLeakTracker *t = TheTracker.load(std::memory_order_acquire);
  if(!t) return 0;
  std::lock_guard<std::mutex> lock(t->Lock);
  return t->Live;
}

struct Group
{
  const char *File;
  sInt Line;
  sInt Flags;
  sS64 Count;
  sU64 LowestNumber;
  sS64 Bytes;
  sS64 LowestSize;
};

struct DescLine
{
  const sChar *Text;
  sS64 Bytes;
  sS64 Count;
};

// one group per source with live allocations numbered first..(current counter - 1)
void GatherBySource(sLeakTracker *t, sU64 first, std::vector<Group> &groups)
{
  sU64 current = sGetAllocCounter();
  for(SourceRec *bucket : t->Sources)
  {
    for(SourceRec *s = bucket; s; s = s->Next)
    {
      Group g = {s->File, s->Line, s->Flags, 0, 0, 0, 0};
      for(AllocRec *a = s->Allocs; a; a = a->SrcNext)
      {
        if(a->Number < first || a->Number >= current) continue;
        if(g.Count == 0 || a->Number < g.LowestNumber)
        {
          g.LowestNumber = a->Number;
          g.LowestSize = sS64(a->Size);
        }
        g.Count++;
        g.Bytes += sS64(a->Size);
      }
      if(g.Count) groups.push_back(g);
    }
  }
}

void PadTo(sInt column, sInt used, sInt &pad) { pad = used < column ? column - used : 0; }

void TrackerReport(const sChar *title, sU64 first, sInt memType)
{
  sLeakTracker *t = TheTracker.load(std::memory_order_acquire);
  if(!t) return;

  std::vector<Group> groups;
  std::vector<DescRec> descs;
  {
    std::lock_guard<std::mutex> lock(t->Lock);
    GatherBySource(t, first, groups);
    for(DescRec *bucket : t->Descs)
      for(DescRec *d = bucket; d; d = d->Next)
        if(d->FirstNumber >= first) descs.push_back(*d);
  }

  std::vector<Group> kept;
  sS64 count = 0, bytes = 0;
  for(const Group &g : groups)
  {
    if(memType && (g.Flags & 15) != memType) continue;
    kept.push_back(g);
    count += g.Count;
    bytes += g.Bytes;
  }
  sLogF(u"mem", u"%q: (%d leaks in %K Bytes total)\n", title, count, bytes);

  // largest first
  for(size_t i = 0; i + 1 < kept.size(); i++)
    for(size_t j = i + 1; j < kept.size(); j++)
      if(kept[i].Bytes < kept[j].Bytes) std::swap(kept[i], kept[j]);

  for(const Group &g : kept)
  {
    sChar source[512];
    if(g.File)
    {
      std::u16string file = plat::ToUtf16(g.File);
      sSPrintF(source, u"%p(%d):", file.c_str(), g.Line);
    }
    else
    {
      sCopyString(source, u"unknown");
    }
    sInt pad;
    PadTo(60, sGetStringLen(source), pad);
    sDPrintF(u"%s%_ %5K bytes in %5K chunks %5K avg group %-2d id:%d first bytes: %d (%08x)\n", source, pad, g.Bytes,
             g.Count, g.Bytes / g.Count, g.Flags, g.LowestNumber, g.LowestSize, g.LowestSize);
  }

  if(descs.size() < 2 && first == 0) return;
  sDPrint(u"\n");
  sLogF(u"mem", u"Memory usage by description:\n");
  if(first > 0) sLogF(u"mem", u"(warning: this list is incomplete)\n");

  std::vector<DescLine> lines;
  for(const DescRec &d : descs)
  {
    DescLine l = {d.Text, 0, 0};
    if(memType)
    {
      l.Bytes = d.Bytes[memType & 15];
      l.Count = d.Count[memType & 15];
    }
    else
    {
      for(sInt i = 1; i < 16; i++)
      {
        l.Bytes += d.Bytes[i];
        l.Count += d.Count[i];
      }
    }
    if(l.Bytes) lines.push_back(l);
  }
  // by text
  std::sort(lines.begin(), lines.end(), [](const DescLine &a, const DescLine &b) { return sCompareString(a.Text, b.Text) < 0; });
  for(const DescLine &l : lines)
  {
    sInt pad;
    PadTo(60, sGetStringLen(l.Text), pad);
    sDPrintF(u"%s%_: %5K bytes in %5K chunks %5K avg\n", l.Text, pad, l.Bytes, l.Count, l.Count ? l.Bytes / l.Count : 0);
  }
}

const sMemTrackerHooks TrackerHooks = [] {
  sMemTrackerHooks h;
  h.Init = TrackerInit;
  h.Exit = TrackerExit;
  h.AddAlloc = TrackerAdd;
  h.RemoveAlloc = TrackerRemove;
  h.Report = TrackerReport;
  h.LiveCount = TrackerLiveCount;
  return h;
}();
}

void sInstallLeakTracker()
{
  sSetMemTrackerHooks(&TrackerHooks);
}

sInt sGetLeakTrackerLiveCount() { return TrackerLiveCount(); }

void sReportMemLeaks(const sChar *title, sU64 firstNumber, sInt memType)
{
  TrackerReport(title, firstNumber, memType);
}
