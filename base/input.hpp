#pragma once
// Input events and their time-stamped queue, and the registry of input devices.

#include "base/numbers.hpp"
#include "base/system.hpp"

/****************************************************************************/
/***   Events                                                             ***/
/****************************************************************************/

// Bits of sInput2Event::Key besides the key code and its qualifiers.
enum : sU32
{
  sKEYQ_REPEAT = 0x40000000,
  sKEYQ_BREAK = 0x80000000,   // the key was released
};

struct sInput2Event
{
  sU32 Key = 0;         // key code with qualifier bits, repeat and release bits
  sU32 Word2 = 0;       // 0 in the events of this system
  sU64 Payload = 0;     // (x << 16) | y of a pointer move, (dx << 16) | dy of raw motion
  sU32 Timestamp = 0;   // milliseconds of sGetTime()
};

// A ring of 64 events under its own lock; events are counted as they are written and
// read, so every operation is safe from any thread.
class sInput2EventQueue
{
public:
  static constexpr sU32 Size = 64;

  sInput2EventQueue();
  // 1 when queued, 0 when the queue was full and the event was dropped.
  sBool Put(const sInput2Event &e);
  sBool IsEmpty();
  // 1 with the oldest event taken out, 0 when empty.
  sBool Get(sInput2Event &e);
  // The oldest event; fatal on an empty queue.
  sInput2Event Peek();
  // Takes out the oldest event when its time stamp is not later than now.
  sBool GetDue(sInput2Event &e, sU32 now);
  // Discards every queued event.
  void Clear();

private:
  sThreadLock Lock;
  sU32 WriteCount = 0;
  sU32 ReadCount = 0;
  sInput2Event Events[Size];
};

// The "EventQueue" subsystem (level 1) makes and deletes the queue.
void sInitInput2EventQueue();
void sExitInput2EventQueue();
sInput2EventQueue *sGetInput2EventQueue();

// With sISF_CONTINUOUS the event is queued; otherwise it goes straight to the
// application's OnInput (when there is an application).
void sPostInput2Event(const sInput2Event &e);
// 0 when the queue is empty or its oldest event lies in the future (time stamps are
// compared by their signed difference, so the wrap of the clock does no harm).
sBool sPopDueInput2Event(sInput2Event &e, sU32 now);
// Clears the qualifier word and discards every queued event.
void sDrainInput2Events();

// The current qualifier word of the keyboard, owned with the event queue (main thread).
extern sU32 sQualifiers;

/****************************************************************************/
/***   Devices                                                            ***/
/****************************************************************************/

constexpr sU32 sMakeInput2Type(char a, char b, char c, char d)
{
  return sU32(sU8(a)) | (sU32(sU8(b)) << 8) | (sU32(sU8(c)) << 16) | (sU32(sU8(d)) << 24);
}
constexpr sU32 sINPUT2_TYPE_KEYBOARD = sMakeInput2Type('K', 'Y', 'B', 'D');
constexpr sU32 sINPUT2_TYPE_MOUSE = sMakeInput2Type('M', 'O', 'U', 'S');

// The interface the registry needs of an input device; the keyboard, the mouse and
// joypads derive from it with their polled state.
class sInput2Device
{
public:
  virtual ~sInput2Device() = default;
  virtual void Update(sU32 time, sBool force) = 0;
  virtual sU32 GetStatus() = 0;   // 0: usable
  virtual sU32 GetType() = 0;     // a four-character code
  virtual sU32 GetId() = 0;       // its number among devices of the type
};

// The registry's capacity, set once by the input start-up.
void sSetInput2DeviceCapacity(sInt capacity);
void sAddInput2Device(sInput2Device *device);
// Order is not kept: a removed entry is replaced by the last.
void sRemInput2Device(sInput2Device *device);
sInput2Device *sFindInput2Device(sU32 type, sU32 id);
sInt sCountInput2Devices(sU32 type);
void sUpdateInput2Devices(sU32 time, sBool force);
// Frees the registry's storage (input shut-down).
void sClearInput2Devices();
