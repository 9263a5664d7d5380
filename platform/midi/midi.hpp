#pragma once
// MIDI devices: every input and output port of the machine, listed with names, opened,
// started and stopped; incoming messages are delivered as packed short messages from a
// reader thread, outgoing short messages are sent through the same client.
//
// A short message packs status | data1 << 8 | data2 << 16 (the top byte is 0).

#include <cstdint>
#include <memory>
#include <string>

namespace plat
{

inline uint32_t MidiPackShort(uint8_t status, uint8_t data1, uint8_t data2)
{
  return uint32_t(status) | uint32_t(data1) << 8 | uint32_t(data2) << 16;
}
inline uint8_t MidiStatus(uint32_t message) { return uint8_t(message); }
inline uint8_t MidiData1(uint32_t message) { return uint8_t(message >> 8); }
inline uint8_t MidiData2(uint32_t message) { return uint8_t(message >> 16); }

// Millisecond clock of the MIDI time stamps (monotonic, wraps after 49.7 days).
uint32_t MidiClockMs();

// What an input callback is told.
enum class MidiInputEvent
{
  Open,   // the input was opened (message 0), delivered during OpenInput
  Close,  // the input is being closed (message 0), delivered during its close
  Data,   // a short message arrived
};

// Called on the backend's reader thread (Open and Close on the caller's thread).
// Calls for one input never overlap, and come in arrival order. A callback must not
// open, close, start or stop inputs itself.
using MidiInputProc = void (*)(void *user, MidiInputEvent event, uint32_t message, uint32_t timeMs);

// An open input device. Messages are delivered only between Start and Stop.
// Destroying it closes the device: when the destructor returns no callback runs and
// none will follow.
class MidiInput
{
public:
  virtual ~MidiInput() = default;
  virtual bool Start() = 0;
  virtual bool Stop() = 0;
};

// An open output device; destroying it closes the device.
class MidiOutput
{
public:
  virtual ~MidiOutput() = default;
  // Sends one short message (status | data1 << 8 | data2 << 16). Messages whose status
  // byte is not a valid channel or system-common/real-time status are refused.
  virtual bool SendShort(uint32_t message) = 0;
};

// The MIDI system: a list of input and output devices, numbered 0 .. count - 1 in the
// order they were found when the backend was created. Inputs and outputs it opened are
// destroyed before it.
class MidiBackend
{
public:
  virtual ~MidiBackend() = default;

  // Why the system has no devices (for example "no MIDI sequencer"); empty when it works.
  virtual std::u16string GetError() const = 0;

  virtual int GetNumInputs() const = 0;
  virtual int GetNumOutputs() const = 0;
  // The device's name; false for an id outside 0 .. count - 1.
  virtual bool GetInputName(int device, std::u16string &name) const = 0;
  virtual bool GetOutputName(int device, std::u16string &name) const = 0;

  // Opens an input, not yet started. Returns null (and the reason in error, when given)
  // for a bad id or a device that cannot be opened.
  virtual std::unique_ptr<MidiInput> OpenInput(int device, MidiInputProc proc, void *user,
                                               std::u16string *error = nullptr) = 0;
  virtual std::unique_ptr<MidiOutput> OpenOutput(int device, std::u16string *error = nullptr) = 0;
};

// The machine's MIDI system over the ALSA sequencer: one client named clientName whose
// inputs are every readable port and whose outputs are every writable port of the other
// clients (port names become device names). Never null: without a sequencer the backend
// lists no devices and GetError tells why.
std::unique_ptr<MidiBackend> CreateAlsaMidiBackend(const char16_t *clientName = u"sparkvane");

// True when the status byte is one a short message can carry: channel messages
// 0x80..0xEF and the system messages 0xF1, 0xF2, 0xF3, 0xF6, 0xF8, 0xFA, 0xFB, 0xFC, 0xFE,
// 0xFF. System exclusive (0xF0, 0xF7) and the undefined 0xF4, 0xF5, 0xF9, 0xFD are not.
bool MidiIsShortStatus(uint8_t status);
// Number of data bytes that follow a status byte in a short message (0, 1 or 2).
int MidiDataBytes(uint8_t status);

}
