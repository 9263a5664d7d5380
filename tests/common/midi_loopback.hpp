#pragma once
// A MIDI system without hardware: its devices are declared by the program, messages are
// fed into its inputs from any thread and delivered in order from its own reader thread,
// and what is sent to its outputs is recorded. Used by tests of the code above the layer.

#include "platform/midi/midi.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace plat
{

class MidiLoopbackBackend : public MidiBackend
{
public:
  MidiLoopbackBackend();
  ~MidiLoopbackBackend() override;

  // Declaring devices: call before opening any device.
  int AddInput(const std::u16string &name);
  int AddOutput(const std::u16string &name);
  // Makes opening of that device fail (as a device held by another program).
  void SetOpenFails(bool output, int device, bool fails);
  void SetError(const std::u16string &error);

  // Queues a message for input device; it is delivered on the reader thread when the
  // input is open and started, and dropped otherwise. Thread-safe.
  void Feed(int device, uint32_t message);
  // Waits until every message fed so far has been delivered or dropped.
  void Flush();
  // The messages sent to output device so far.
  std::vector<uint32_t> Sent(int device) const;

  std::u16string GetError() const override;
  int GetNumInputs() const override;
  int GetNumOutputs() const override;
  bool GetInputName(int device, std::u16string &name) const override;
  bool GetOutputName(int device, std::u16string &name) const override;
  std::unique_ptr<MidiInput> OpenInput(int device, MidiInputProc proc, void *user,
                                       std::u16string *error = nullptr) override;
  std::unique_ptr<MidiOutput> OpenOutput(int device, std::u16string *error = nullptr) override;

private:
  class Input;
  class Output;
  struct Device
  {
    std::u16string Name;
    bool OpenFails = false;
    bool Open = false;
  };
  struct InputDevice : Device
  {
    MidiInputProc Proc = nullptr;
    void *User = nullptr;
    bool Started = false;
  };
  struct OutputDevice : Device
  {
    std::vector<uint32_t> Sent;
  };
  struct Pending
  {
    int Device;
    uint32_t Message;
    uint32_t Time;
  };

  void ReaderLoop();
  void CloseInput(int device);

  mutable std::mutex Lock;          // devices, queue
  std::mutex DeliverLock;           // held while a callback runs
  std::condition_variable Wake;     // queue not empty, or quitting
  std::condition_variable Drained;  // queue emptied and nothing in delivery
  std::deque<Pending> Queue;
  bool Delivering = false;
  bool Quit = false;
  std::u16string Error;
  std::vector<InputDevice> Inputs;
  std::vector<OutputDevice> Outputs;
  std::thread Reader;
};

}
