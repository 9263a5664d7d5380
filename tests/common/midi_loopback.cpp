#include "common/midi_loopback.hpp"

namespace plat
{

class MidiLoopbackBackend::Input : public MidiInput
{
public:
  Input(MidiLoopbackBackend *owner, int device) : Owner(owner), DeviceId(device) {}
  ~Input() override { Owner->CloseInput(DeviceId); }
  bool Start() override
  {
    std::lock_guard<std::mutex> guard(Owner->Lock);
    Owner->Inputs[DeviceId].Started = true;
    return true;
  }
  bool Stop() override
  {
    // waiting for a running callback makes "no delivery after Stop" hold
    std::lock_guard<std::mutex> deliver(Owner->DeliverLock);
    std::lock_guard<std::mutex> guard(Owner->Lock);
    Owner->Inputs[DeviceId].Started = false;
    return true;
  }

private:
  MidiLoopbackBackend *Owner;
  int DeviceId;
};

class MidiLoopbackBackend::Output : public MidiOutput
{
public:
  Output(MidiLoopbackBackend *owner, int device) : Owner(owner), DeviceId(device) {}
  ~Output() override
  {
    std::lock_guard<std::mutex> guard(Owner->Lock);
    Owner->Outputs[DeviceId].Open = false;
  }
  bool SendShort(uint32_t message) override
  {
    if(!MidiIsShortStatus(MidiStatus(message)))
      return false;
    std::lock_guard<std::mutex> guard(Owner->Lock);
    Owner->Outputs[DeviceId].Sent.push_back(message & 0xffffff);
    return true;
  }

private:
  MidiLoopbackBackend *Owner;
  int DeviceId;
};

MidiLoopbackBackend::MidiLoopbackBackend()
{
  Reader = std::thread([this] { ReaderLoop(); });
}

MidiLoopbackBackend::~MidiLoopbackBackend()
{
  {
    std::lock_guard<std::mutex> guard(Lock);
    Quit = true;
  }
  Wake.notify_all();
  Reader.join();
}

int MidiLoopbackBackend::AddInput(const std::u16string &name)
{
  std::lock_guard<std::mutex> guard(Lock);
  InputDevice device;
  device.Name = name;
  Inputs.push_back(device);
  return int(Inputs.size()) - 1;
}

int MidiLoopbackBackend::AddOutput(const std::u16string &name)
{
  std::lock_guard<std::mutex> guard(Lock);
  OutputDevice device;
  device.Name = name;
  Outputs.push_back(device);
  return int(Outputs.size()) - 1;
}

void MidiLoopbackBackend::SetOpenFails(bool output, int device, bool fails)
{
  std::lock_guard<std::mutex> guard(Lock);
  if(output && device >= 0 && device < int(Outputs.size()))
    Outputs[device].OpenFails = fails;
  if(!output && device >= 0 && device < int(Inputs.size()))
    Inputs[device].OpenFails = fails;
}

void MidiLoopbackBackend::SetError(const std::u16string &error)
{
  std::lock_guard<std::mutex> guard(Lock);
  Error = error;
}

void MidiLoopbackBackend::Feed(int device, uint32_t message)
{
  {
    std::lock_guard<std::mutex> guard(Lock);
    Queue.push_back({device, message, MidiClockMs()});
  }
  Wake.notify_one();
}

void MidiLoopbackBackend::Flush()
{
  std::unique_lock<std::mutex> guard(Lock);
  Drained.wait(guard, [this] { return Queue.empty() && !Delivering; });
}

std::vector<uint32_t> MidiLoopbackBackend::Sent(int device) const
{
  std::lock_guard<std::mutex> guard(Lock);
  if(device < 0 || device >= int(Outputs.size()))
    return {};
  return Outputs[device].Sent;
}

std::u16string MidiLoopbackBackend::GetError() const
{
  std::lock_guard<std::mutex> guard(Lock);
  return Error;
}

int MidiLoopbackBackend::GetNumInputs() const
{
  std::lock_guard<std::mutex> guard(Lock);
  return int(Inputs.size());
}

int MidiLoopbackBackend::GetNumOutputs() const
{
  std::lock_guard<std::mutex> guard(Lock);
  return int(Outputs.size());
}

bool MidiLoopbackBackend::GetInputName(int device, std::u16string &name) const
{
  std::lock_guard<std::mutex> guard(Lock);
  if(device < 0 || device >= int(Inputs.size()))
    return false;
  name = Inputs[device].Name;
  return true;
}

bool MidiLoopbackBackend::GetOutputName(int device, std::u16string &name) const
{
  std::lock_guard<std::mutex> guard(Lock);
  if(device < 0 || device >= int(Outputs.size()))
    return false;
  name = Outputs[device].Name;
  return true;
}

std::unique_ptr<MidiInput> MidiLoopbackBackend::OpenInput(int device, MidiInputProc proc, void *user,
                                                          std::u16string *error)
{
  {
    std::lock_guard<std::mutex> guard(Lock);
    const char16_t *why = nullptr;
    if(device < 0 || device >= int(Inputs.size()))
      why = u"no such MIDI input";
    else if(Inputs[device].OpenFails || Inputs[device].Open)
      why = u"MIDI input is busy";
    else if(!proc)
      why = u"no input callback";
    if(why)
    {
      if(error)
        *error = why;
      return nullptr;
    }
    InputDevice &in = Inputs[device];
    in.Open = true;
    in.Started = false;
    in.Proc = proc;
    in.User = user;
  }
  {
    std::lock_guard<std::mutex> deliver(DeliverLock);
    proc(user, MidiInputEvent::Open, 0, MidiClockMs());
  }
  return std::make_unique<Input>(this, device);
}

std::unique_ptr<MidiOutput> MidiLoopbackBackend::OpenOutput(int device, std::u16string *error)
{
  std::lock_guard<std::mutex> guard(Lock);
  const char16_t *why = nullptr;
  if(device < 0 || device >= int(Outputs.size()))
    why = u"no such MIDI output";
  else if(Outputs[device].OpenFails || Outputs[device].Open)
    why = u"MIDI output is busy";
  if(why)
  {
    if(error)
      *error = why;
    return nullptr;
  }
  Outputs[device].Open = true;
  return std::make_unique<Output>(this, device);
}

void MidiLoopbackBackend::CloseInput(int device)
{
  std::lock_guard<std::mutex> deliver(DeliverLock);
  MidiInputProc proc;
  void *user;
  {
    std::lock_guard<std::mutex> guard(Lock);
    InputDevice &in = Inputs[device];
    proc = in.Proc;
    user = in.User;
    in.Open = false;
    in.Started = false;
    in.Proc = nullptr;
    in.User = nullptr;
  }
  proc(user, MidiInputEvent::Close, 0, MidiClockMs());
}

void MidiLoopbackBackend::ReaderLoop()
{
  std::unique_lock<std::mutex> guard(Lock);
  for(;;)
  {
    Wake.wait(guard, [this] { return Quit || !Queue.empty(); });
    if(Quit)
      break;
    Pending next = Queue.front();
    Queue.pop_front();
    Delivering = true;
    guard.unlock();
    {
      std::lock_guard<std::mutex> deliver(DeliverLock);
      MidiInputProc proc = nullptr;
      void *user = nullptr;
      {
        std::lock_guard<std::mutex> inner(Lock);
        if(next.Device >= 0 && next.Device < int(Inputs.size()))
        {
          const InputDevice &in = Inputs[next.Device];
          if(in.Open && in.Started)
          {
            proc = in.Proc;
            user = in.User;
          }
        }
      }
      if(proc)
        proc(user, MidiInputEvent::Data, next.Message & 0xffffff, next.Time);
    }
    guard.lock();
    Delivering = false;
    if(Queue.empty())
      Drained.notify_all();
  }
  Delivering = false;
  Drained.notify_all();
}

}
