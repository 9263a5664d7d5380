#pragma once
// MIDI devices: every input and output device of the machine is opened at once; the
// short messages of all inputs land in one ring of 1024 time-stamped messages that the
// main thread polls once per frame, and outputs can be sent short messages.
//
// The ring has one reader (the main thread) and takes no lock on the reader's side: the
// device thread stores a message before it advances the write counter, the reader copies
// a message before it advances the read counter.

#include "base/arrays.hpp"
#include "base/system.hpp"
#include "platform/midi/midi.hpp"

#include <atomic>
#include <memory>

// One incoming message (8 bytes): the input's index among the opened inputs, the status
// byte, the two data bytes and the arrival time in milliseconds. Open and close
// notifications of an input arrive as messages with status 0.
struct sMidiMessage
{
  sU8 Device;
  sU8 Status;
  sU8 Data1;
  sU8 Data2;
  sU32 Time;
};
static_assert(sizeof(sMidiMessage) == 8, "a MIDI message is 8 bytes");

// The MIDI handler.
class sMidiHandler
{
public:
  virtual ~sMidiHandler() = default;
  // Nonzero while a message is waiting.
  virtual sBool HasInput() = 0;
  // Copies the oldest waiting message into out and returns 1; 0 when none waits.
  virtual sBool Read(sMidiMessage &out) = 0;
  // Sends status | data1 << 8 | data2 << 16 to an opened output; a bad index is fatal.
  virtual void SendShort(sInt output, sInt status, sInt data1, sInt data2) = 0;
  // Name of output (output nonzero) or input index; null for an index out of range.
  virtual const sChar *GetDeviceName(sBool output, sInt index) = 0;
};

class sMidiHandlerWin : public sMidiHandler
{
public:
  static constexpr sInt RingSize = 1024;   // a power of two
  static constexpr sInt NameSize = 129;    // 128 characters and the terminator

  // Opens every device of the backend (null: the machine's own MIDI system). Devices
  // that cannot be opened are left out; the indices count only opened devices.
  explicit sMidiHandlerWin(std::unique_ptr<plat::MidiBackend> backend = nullptr);
  ~sMidiHandlerWin() override;
  sMidiHandlerWin(const sMidiHandlerWin &) = delete;
  sMidiHandlerWin &operator=(const sMidiHandlerWin &) = delete;

  sBool HasInput() override;
  sBool Read(sMidiMessage &out) override;
  void SendShort(sInt output, sInt status, sInt data1, sInt data2) override;
  const sChar *GetDeviceName(sBool output, sInt index) override;

  sInt GetInputCount() const { return Inputs.GetSize(); }
  sInt GetOutputCount() const { return Outputs.GetSize(); }
  plat::MidiBackend *GetBackend() const { return Backend.get(); }

private:
  struct InputContext
  {
    sMidiHandlerWin *Handler;
    sInt Index;
  };
  struct Device
  {
    plat::MidiInput *Input;
    plat::MidiOutput *Output;
    InputContext *Context;
    sChar Name[NameSize];
  };

  static void InputProc(void *user, plat::MidiInputEvent event, uint32_t message, uint32_t timeMs);
  void Store(sInt index, sU32 message);
  static void MakeName(Device &d, sInt index, bool found, const char16_t *name);

  std::unique_ptr<plat::MidiBackend> Backend;
  sDynamicArray<Device> Inputs;
  sDynamicArray<Device> Outputs;

  sMidiMessage Ring[RingSize] = {};
  std::atomic<sU32> WriteCount{0};
  std::atomic<sU32> ReadCount{0};
  // device threads may deliver for different inputs; they store one after the other
  sThreadLock WriterLock;
};

// The handler while the "midi" subsystem runs, else null. Read by the main thread.
extern sMidiHandler *sMidiHandlerPtr;

// Registers the "midi" subsystem at level 129 (it starts at once when the run level is
// above); the mode has no effect.
void sAddMidi(sInt mode);
void sInitMidi();
void sExitMidi();

// Where sInitMidi takes its devices from; null (the default) is the machine's MIDI
// system. Tests install a backend of their own.
using sMidiBackendFactory = std::unique_ptr<plat::MidiBackend> (*)();
void sSetMidiBackendFactory(sMidiBackendFactory factory);
