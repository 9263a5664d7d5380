#pragma once
// Four small services of the framework core:
//   sTextBuffer    a growable text that writers of text files append to;
//   sStringPool    one copy of every distinct string, so pooled strings compare by pointer
//                  ("StringPool" subsystem);
//   sMessageQueue  the global locked message queue ("Message" subsystem);
//   the garbage collector ("GarbageCollector" subsystem), whose collection the frame
//                  driver requests and runs at fixed points.

#include "base/types.hpp"
#include "base/arrays.hpp"

/****************************************************************************/
/***   Text buffer                                                        ***/
/****************************************************************************/

// The text is not kept terminated; Get terminates it. Not synchronised: one thread at a
// time.
class sTextBuffer
{
  sInt Alloc = 0;          // capacity in characters
  sInt Used = 0;           // characters used
  sChar *Data = nullptr;   // owned storage

public:
  // capacity 1024
  sTextBuffer();
  // capacity n; 0 makes a buffer without storage (it takes storage at the first Print)
  explicit sTextBuffer(sInt n);
  ~sTextBuffer();
  sTextBuffer(const sTextBuffer &) = delete;
  sTextBuffer &operator=(const sTextBuffer &) = delete;

  // Forgets the text; the storage stays.
  void Clear() { Used = 0; }
  // Makes the capacity exactly n when it is below n, keeping the text.
  void Grow(sInt n);
  // Appends the terminated text.
  void Print(const sChar *text);
  // Appends the first len characters of text (which need not be terminated).
  void Print(const sChar *text, sInt len);
  // Appends formatted text (at most 4095 characters per call).
  template <class... A> void PrintF(const sChar *format, const A &...args)
  {
    sStringBuffer<4096> line;
    sSPrintF(line.Ref(), format, args...);
    Print(line.Get());
  }
  // The terminated text; a buffer without storage gives an empty static text.
  const sChar *Get();

  sInt GetCount() const { return Used; }
  sInt GetCapacity() const { return Alloc; }
  bool IsEmpty() const { return Used == 0; }
};

/****************************************************************************/
/***   String pool                                                        ***/
/****************************************************************************/

class sMemoryArena;

// Keeps one copy of every distinct text; texts live until the pool is destroyed. Not
// synchronised: one thread at a time.
class sStringPool
{
public:
  static constexpr sInt BucketCount = 4096;

  sStringPool();
  ~sStringPool();
  sStringPool(const sStringPool &) = delete;
  sStringPool &operator=(const sStringPool &) = delete;

  // The pooled copy of the first length characters of text (which need not be
  // terminated). added (when given) := 1 when a new copy was made, 0 when found.
  const sChar *Add(const sChar *text, sInt length, sBool *added = nullptr);

private:
  struct Node
  {
    const sChar *Text;
    sInt Length;
    Node *Next;
  };
  sMemoryArena *TextArena;
  sMemoryArena *NodeArena;
  Node *Buckets[BucketCount];
};

// The pooled copy of the first length characters of text, from the global pool. The
// "StringPool" subsystem must run.
const sChar *sPoolString(const sChar *text, sInt length, sBool *added = nullptr);
// The same for a terminated text.
inline const sChar *sPoolString(const sChar *text) { return sPoolString(text, sGetStringLen(text)); }
// The pooled empty string shared by every empty name and string.
const sChar *sGetPoolEmptyString();
sStringPool *sGetStringPool();

// "StringPool" subsystem (level 17): creates the global pool (when there is none) and
// the pooled empty string / destroys the pool; pooled texts are invalid afterwards.
void sInitStringPool();
void sExitStringPool();

/****************************************************************************/
/***   Message queue                                                      ***/
/****************************************************************************/

class sThreadLock;

struct sMessage
{
  sU64 Words[4];
};

struct sMessageQueue
{
  static constexpr sInt SlotCount = 16384;
  sMessage Slots[SlotCount];
  sInt WriteCount = 0;
  sInt ReadCount = 0;
  sThreadLock *Lock = nullptr;
};

// "Message" subsystem (level 17): creates the global queue (slots and counters 0, its
// lock created) / deletes its lock and frees it.
void sInitMessageQueue();
void sExitMessageQueue();
sMessageQueue *sGetMessageQueue();

/****************************************************************************/
/***   Garbage collector                                                  ***/
/****************************************************************************/

// A collectable object. A collection pass marks every root and what its Tag reaches
// (through sGCObject::Need) and deletes the registered objects left unmarked.
class sGCObject
{
public:
  sBool GCMark = 0;
  virtual ~sGCObject() = default;
  // Marks the objects this one keeps alive by calling Need on each.
  virtual void Tag() {}
  // Marks o (may be null) and, the first time, what it keeps alive.
  static void Need(sGCObject *o);
};

// "GarbageCollector" subsystem (level 16): creates the locks and the two empty lists /
// requests and forces a last collection, then deletes the locks and the lists.
void sInitGC();
void sExitGC();
// Asks for a collection at the next sGCCollect.
void sGCRequestCollect();
// Runs a requested collection. force: waits for the collector and always collects;
// otherwise returns at once when another thread is collecting.
void sGCCollect(sBool force);
// Registers a collectable object (the collector deletes it when nothing needs it).
void sGCAdd(sGCObject *o);
// Roots are kept alive with everything they reach.
void sGCAddRoot(sGCObject *o);
void sGCRemRoot(sGCObject *o);
// Whether a collection was requested and has not run yet.
sBool sGCIsCollectRequested();
// The number of registered collectable objects (reports and tests).
sInt sGCGetObjectCount();
// The collector's lock: a thread holding it keeps collections that are not forced away.
sThreadLock *sGCGetCollectorLock();
