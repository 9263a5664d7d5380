// The MIDI system over the ALSA sequencer: one client with one receiving port that is
// connected to every opened input, and one sending port from which short messages go
// straight to the opened outputs. A reader thread waits on the sequencer and delivers.

#include "platform/midi/alsa_events.hpp"
#include "platform/midi/midi.hpp"
#include "platform/text/utf.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

namespace plat
{
namespace
{

void QuietAlsaErrors(const char *, int, const char *, int, const char *, ...) {}

class AlsaMidi;

struct PortAddress
{
  int Client;
  int Port;
  std::u16string Name;
};

struct OpenInputState
{
  int Device;
  PortAddress Address;
  MidiInputProc Proc;
  void *User;
  bool Started;
};

class AlsaInput : public MidiInput
{
public:
  AlsaInput(AlsaMidi *owner, OpenInputState *state) : Owner(owner), State(state) {}
  ~AlsaInput() override;
  bool Start() override;
  bool Stop() override;

private:
  AlsaMidi *Owner;
  OpenInputState *State;
};

class AlsaOutput : public MidiOutput
{
public:
  AlsaOutput(AlsaMidi *owner, int device) : Owner(owner), Device(device) {}
  ~AlsaOutput() override;
  bool SendShort(uint32_t message) override;

private:
  AlsaMidi *Owner;
  int Device;
};

class AlsaMidi : public MidiBackend
{
public:
  explicit AlsaMidi(const char16_t *clientName);
  ~AlsaMidi() override;

  std::u16string GetError() const override { return Error; }
  int GetNumInputs() const override { return int(Inputs.size()); }
  int GetNumOutputs() const override { return int(Outputs.size()); }
  bool GetInputName(int device, std::u16string &name) const override
  {
    if(device < 0 || device >= int(Inputs.size()))
      return false;
    name = Inputs[device].Name;
    return true;
  }
  bool GetOutputName(int device, std::u16string &name) const override
  {
    if(device < 0 || device >= int(Outputs.size()))
      return false;
    name = Outputs[device].Name;
    return true;
  }
  std::unique_ptr<MidiInput> OpenInput(int device, MidiInputProc proc, void *user,
                                       std::u16string *error) override;
  std::unique_ptr<MidiOutput> OpenOutput(int device, std::u16string *error) override;

  void CloseInput(OpenInputState *state);
  void SetStarted(OpenInputState *state, bool started);
  void CloseOutput(int device);
  bool Send(int device, uint32_t message);

private:
  void Fail(const char *what, int err);
  void ListPorts();
  void ReaderLoop();
  void Dispatch(const snd_seq_event_t &ev);

  snd_seq_t *Seq = nullptr;
  int ClientId = -1;
  int ReceivePort = -1;
  int SendPort = -1;
  int WakeFd = -1;
  std::u16string Error;
  std::vector<PortAddress> Inputs;
  std::vector<PortAddress> Outputs;
  std::vector<bool> OutputOpen;

  std::mutex SeqLock;      // every sequencer call except reading input
  std::mutex StateLock;    // the open inputs
  std::mutex DeliverLock;  // held while a callback runs
  std::vector<OpenInputState *> OpenInputs;
  std::thread Reader;
};

AlsaMidi::AlsaMidi(const char16_t *clientName)
{
  snd_lib_error_set_handler(QuietAlsaErrors);
  int err = snd_seq_open(&Seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
  if(err < 0)
  {
    Seq = nullptr;
    Fail("no MIDI sequencer", err);
    return;
  }
  snd_seq_set_client_name(Seq, ToUtf8(clientName ? clientName : u"sparkvane").c_str());
  ClientId = snd_seq_client_id(Seq);
  ReceivePort = snd_seq_create_simple_port(Seq, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  SendPort = snd_seq_create_simple_port(Seq, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_NO_EXPORT,
                                        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if(ClientId < 0 || ReceivePort < 0 || SendPort < 0)
  {
    Fail("could not create the MIDI client's ports", ClientId < 0 ? ClientId : ReceivePort < 0 ? ReceivePort : SendPort);
    snd_seq_close(Seq);
    Seq = nullptr;
    return;
  }
  WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if(WakeFd < 0)
  {
    Fail("could not create the MIDI reader's wake-up", -errno);
    snd_seq_close(Seq);
    Seq = nullptr;
    return;
  }
  ListPorts();
  OutputOpen.assign(Outputs.size(), false);
  Reader = std::thread([this] { ReaderLoop(); });
}

AlsaMidi::~AlsaMidi()
{
  if(Reader.joinable())
  {
    uint64_t one = 1;
    ssize_t written = write(WakeFd, &one, sizeof one);
    (void)written;
    Reader.join();
  }
  // inputs and outputs still open belong to their owners; detach them from the reader
  {
    std::lock_guard<std::mutex> guard(StateLock);
    OpenInputs.clear();
  }
  if(WakeFd >= 0)
    close(WakeFd);
  if(Seq)
    snd_seq_close(Seq);
}

void AlsaMidi::Fail(const char *what, int err)
{
  std::string text = what;
  if(err < 0)
    text += std::string(" (") + snd_strerror(err) + ")";
  Error = ToUtf16(text);
}

void AlsaMidi::ListPorts()
{
  snd_seq_client_info_t *client;
  snd_seq_port_info_t *port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while(snd_seq_query_next_client(Seq, client) >= 0)
  {
    int id = snd_seq_client_info_get_client(client);
    if(id == SND_SEQ_CLIENT_SYSTEM || id == ClientId)
      continue;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while(snd_seq_query_next_port(Seq, port) >= 0)
    {
      unsigned caps = snd_seq_port_info_get_capability(port);
      if(caps & SND_SEQ_PORT_CAP_NO_EXPORT)
        continue;
      const char *name = snd_seq_port_info_get_name(port);
      PortAddress address{id, snd_seq_port_info_get_port(port), ToUtf16(name ? name : "")};
      const unsigned readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
      const unsigned writable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
      if((caps & readable) == readable)
        Inputs.push_back(address);
      if((caps & writable) == writable)
        Outputs.push_back(address);
    }
  }
}

std::unique_ptr<MidiInput> AlsaMidi::OpenInput(int device, MidiInputProc proc, void *user, std::u16string *error)
{
  auto refuse = [error](const std::u16string &why) {
    if(error)
      *error = why;
    return nullptr;
  };
  if(device < 0 || device >= int(Inputs.size()))
    return refuse(u"no such MIDI input");
  if(!proc)
    return refuse(u"no input callback");
  {
    std::lock_guard<std::mutex> guard(StateLock);
    for(OpenInputState *open : OpenInputs)
      if(open->Device == device)
        return refuse(u"MIDI input is already open");
  }
  const PortAddress &address = Inputs[device];
  {
    std::lock_guard<std::mutex> guard(SeqLock);
    int err = snd_seq_connect_from(Seq, ReceivePort, address.Client, address.Port);
    if(err < 0)
      return refuse(u"could not connect MIDI input \"" + address.Name + u"\" (" + ToUtf16(snd_strerror(err)) + u")");
  }
  auto *state = new OpenInputState{device, address, proc, user, false};
  {
    std::lock_guard<std::mutex> deliver(DeliverLock);
    proc(user, MidiInputEvent::Open, 0, MidiClockMs());
  }
  {
    std::lock_guard<std::mutex> guard(StateLock);
    OpenInputs.push_back(state);
  }
  return std::make_unique<AlsaInput>(this, state);
}

void AlsaMidi::SetStarted(OpenInputState *state, bool started)
{
  // Stop waits for a running callback so that none runs once it has returned
  std::unique_lock<std::mutex> deliver(DeliverLock, std::defer_lock);
  if(!started)
    deliver.lock();
  std::lock_guard<std::mutex> guard(StateLock);
  state->Started = started;
}

void AlsaMidi::CloseInput(OpenInputState *state)
{
  {
    std::lock_guard<std::mutex> deliver(DeliverLock);
    {
      std::lock_guard<std::mutex> guard(StateLock);
      for(size_t i = 0; i < OpenInputs.size(); i++)
        if(OpenInputs[i] == state)
        {
          OpenInputs.erase(OpenInputs.begin() + long(i));
          break;
        }
    }
    if(Seq)
    {
      std::lock_guard<std::mutex> guard(SeqLock);
      snd_seq_disconnect_from(Seq, ReceivePort, state->Address.Client, state->Address.Port);
    }
    state->Proc(state->User, MidiInputEvent::Close, 0, MidiClockMs());
  }
  delete state;
}

std::unique_ptr<MidiOutput> AlsaMidi::OpenOutput(int device, std::u16string *error)
{
  std::lock_guard<std::mutex> guard(SeqLock);
  if(device < 0 || device >= int(Outputs.size()))
  {
    if(error)
      *error = u"no such MIDI output";
    return nullptr;
  }
  if(OutputOpen[device])
  {
    if(error)
      *error = u"MIDI output is already open";
    return nullptr;
  }
  OutputOpen[device] = true;
  return std::make_unique<AlsaOutput>(this, device);
}

void AlsaMidi::CloseOutput(int device)
{
  std::lock_guard<std::mutex> guard(SeqLock);
  OutputOpen[device] = false;
}

bool AlsaMidi::Send(int device, uint32_t message)
{
  snd_seq_event_t ev;
  if(!MidiEncodeSeqEvent(message, ev))
    return false;
  std::lock_guard<std::mutex> guard(SeqLock);
  if(!Seq)
    return false;
  snd_seq_ev_set_source(&ev, SendPort);
  snd_seq_ev_set_dest(&ev, Outputs[device].Client, Outputs[device].Port);
  snd_seq_ev_set_direct(&ev);
  // the client is non-blocking: a full output pool refuses the message
  return snd_seq_event_output_direct(Seq, &ev) >= 0;
}

void AlsaMidi::Dispatch(const snd_seq_event_t &ev)
{
  uint32_t messages[4];
  int count = MidiDecodeSeqEvent(ev, messages, 4);
  if(count == 0)
    return;
  uint32_t time = MidiClockMs();
  std::lock_guard<std::mutex> deliver(DeliverLock);
  MidiInputProc proc = nullptr;
  void *user = nullptr;
  {
    std::lock_guard<std::mutex> guard(StateLock);
    for(OpenInputState *open : OpenInputs)
      if(open->Started && open->Address.Client == ev.source.client && open->Address.Port == ev.source.port)
      {
        proc = open->Proc;
        user = open->User;
        break;
      }
  }
  if(proc)
    for(int i = 0; i < count; i++)
      proc(user, MidiInputEvent::Data, messages[i], time);
}

void AlsaMidi::ReaderLoop()
{
  int count = snd_seq_poll_descriptors_count(Seq, POLLIN);
  std::vector<pollfd> fds(size_t(count) + 1);
  fds[0] = {WakeFd, POLLIN, 0};
  count = snd_seq_poll_descriptors(Seq, fds.data() + 1, unsigned(count), POLLIN);
  fds.resize(size_t(count) + 1);
  for(;;)
  {
    if(poll(fds.data(), fds.size(), -1) < 0)
    {
      if(errno == EINTR)
        continue;
      return;
    }
    if(fds[0].revents)
      return;
    for(;;)
    {
      snd_seq_event_t *ev = nullptr;
      int got = snd_seq_event_input(Seq, &ev);
      if(got == -ENOSPC)  // the kernel's queue overran: messages were lost, go on
        continue;
      if(got < 0 || !ev)
        break;
      Dispatch(*ev);
    }
  }
}

AlsaInput::~AlsaInput() { Owner->CloseInput(State); }
bool AlsaInput::Start()
{
  Owner->SetStarted(State, true);
  return true;
}
bool AlsaInput::Stop()
{
  Owner->SetStarted(State, false);
  return true;
}

AlsaOutput::~AlsaOutput() { Owner->CloseOutput(Device); }
bool AlsaOutput::SendShort(uint32_t message) { return Owner->Send(Device, message); }

}

std::unique_ptr<MidiBackend> CreateAlsaMidiBackend(const char16_t *clientName)
{
  return std::make_unique<AlsaMidi>(clientName);
}

}
