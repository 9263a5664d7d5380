// The input event queue and the input device registry.
#include "base/input.hpp"
#include "base/app.hpp"
#include "base/arrays.hpp"
#include "base/log.hpp"
#include "base/numbers.hpp"

#include <new>

sU32 sQualifiers = 0;

/****************************************************************************/
/***   Queue                                                              ***/
/****************************************************************************/

sInput2EventQueue::sInput2EventQueue()
{
  sU32 now = sGetTime();
  for(sInput2Event &e : Events)
  {
    e = sInput2Event();
    e.Timestamp = now;
  }
}

sBool sInput2EventQueue::Put(const sInput2Event &e)
{
  sScopeLock lock(&Lock);
  if(WriteCount - ReadCount >= Size) return 0;
  Events[WriteCount % Size] = e;
  WriteCount++;
  return 1;
}

sBool sInput2EventQueue::IsEmpty()
{
  sScopeLock lock(&Lock);
  return WriteCount == ReadCount;
}

sBool sInput2EventQueue::Get(sInput2Event &e)
{
  sScopeLock lock(&Lock);
  if(WriteCount == ReadCount) return 0;
  e = Events[ReadCount % Size];
  ReadCount++;
  return 1;
}

sInput2Event sInput2EventQueue::Peek()
{
  sScopeLock lock(&Lock);   // the lock is recursive: IsEmpty takes it again
  sVERIFY(!IsEmpty());
  return Events[ReadCount % Size];
}

sBool sInput2EventQueue::GetDue(sInput2Event &e, sU32 now)
{
  // one lock for the look and the removal: no other reader can slip in between
  sScopeLock lock(&Lock);
  if(WriteCount == ReadCount) return 0;
  const sInput2Event &oldest = Events[ReadCount % Size];
  // by the stamps' signed difference: a plain "later than" would hold every event back once the clock wraps
  if(sTimeIsLater(oldest.Timestamp, now)) return 0;
  e = oldest;
  ReadCount++;
  return 1;
}

void sInput2EventQueue::Clear()
{
  sScopeLock lock(&Lock);
  ReadCount = WriteCount;
}

namespace
{
sInput2EventQueue *Queue = nullptr;
}

void sInitInput2EventQueue()
{
  if(Queue) return;
  sSetAllocSource(__FILE__, __LINE__);
  void *mem = sMemAlloc(sizeof(sInput2EventQueue), 16, sAMF_MAYFAIL);
  Queue = mem ? new(mem) sInput2EventQueue : nullptr;
}

void sExitInput2EventQueue()
{
  if(!Queue) return;
  Queue->~sInput2EventQueue();
  sMemFree(Queue);
  Queue = nullptr;
}

sInput2EventQueue *sGetInput2EventQueue() { return Queue; }

void sPostInput2Event(const sInput2Event &e)
{
  if(sGetSystemFlags() & sISF_CONTINUOUS)
  {
    if(Queue) Queue->Put(e);
    return;
  }
  if(sApp *app = sGetApplication()) app->OnInput(e);
}

sBool sPopDueInput2Event(sInput2Event &e, sU32 now)
{
  return Queue ? Queue->GetDue(e, now) : 0;
}

void sDrainInput2Events()
{
  sQualifiers = 0;
  if(Queue) Queue->Clear();
}

/****************************************************************************/
/***   Devices                                                            ***/
/****************************************************************************/

namespace
{
sBoundedArray<sInput2Device *> *Devices = nullptr;
}

void sSetInput2DeviceCapacity(sInt capacity)
{
  sVERIFY(!Devices);
  Devices = sNEW sBoundedArray<sInput2Device *>(capacity);
}

void sAddInput2Device(sInput2Device *device)
{
  sVERIFY(device);
  sVERIFYDESC(Devices, u"sSetInput2DeviceCapacity first");
  Devices->AddTail(device);
}

void sRemInput2Device(sInput2Device *device)
{
  if(!Devices) return;
  for(sInt i = 0; i < Devices->GetSize();)
  {
    if((*Devices)[i] == device)
    {
      (*Devices)[i] = Devices->GetTail();
      Devices->RemTail();
    }
    else
    {
      i++;
    }
  }
}

sInput2Device *sFindInput2Device(sU32 type, sU32 id)
{
  if(!Devices) return nullptr;
  if(sShellSwitch(u"fourctrls"))
  {
    for(sInput2Device *d : *Devices)
      if(d->GetType() == type && d->GetId() == id && d->GetStatus() == 0) return d;
    for(sInput2Device *d : *Devices)
      if(d->GetType() == type) return d;
    return nullptr;
  }
  for(sInput2Device *d : *Devices)
    if(d->GetType() == type && d->GetId() == id) return d;
  return nullptr;
}

sInt sCountInput2Devices(sU32 type)
{
  sInt n = 0;
  if(Devices)
    for(sInput2Device *d : *Devices)
      if(d->GetType() == type) n++;
  return n;
}

void sUpdateInput2Devices(sU32 time, sBool force)
{
  if(!Devices) return;
  for(sInt i = 0; i < Devices->GetSize(); i++) (*Devices)[i]->Update(time, force);
}

void sClearInput2Devices()
{
  sDELETE(Devices);
}
