// The test's sequencer: the ALSA library's sequencer calls defined here take the place of
// the library's; on a handle this file did not hand out they go on to the library.
#include "fake_sequencer.hpp"

#include <dlfcn.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>

namespace
{
struct Sequencer
{
  std::mutex Lock;
  bool Live = false;   // a FakeSequencer exists: opens give the stand-in
  std::vector<sparktest::FakeSequencer::Port> Ports;
  std::set<std::pair<int, int>> Connected;
  std::deque<snd_seq_event_t> Queue;
  snd_seq_event_t Current = {};   // the event last handed to the reader
  int Wake = -1;                  // readable while the queue holds events
  int NextPort = 0;
};
Sequencer Fake;
int HandleTag;
snd_seq_t *const FakeHandle = reinterpret_cast<snd_seq_t *>(&HandleTag);

template <class F> F Library(const char *name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }
}

// the library's own function of that name with the arguments given
#define LIBRARY(name, ...)                                         \
  static const auto library = Library<decltype(&name)>(#name);      \
  return library(__VA_ARGS__)

namespace sparktest
{
FakeSequencer::FakeSequencer(std::vector<Port> readable)
{
  std::lock_guard<std::mutex> guard(Fake.Lock);
  Fake.Live = true;
  Fake.Ports = std::move(readable);
  Fake.Connected.clear();
  Fake.Queue.clear();
}

FakeSequencer::~FakeSequencer()
{
  std::lock_guard<std::mutex> guard(Fake.Lock);
  Fake.Live = false;
}

void FakeSequencer::Send(int client, int port, uint32_t message)
{
  snd_seq_event_t ev;
  if(!plat::MidiEncodeSeqEvent(message, ev)) return;
  ev.source.client = uint8_t(client);
  ev.source.port = uint8_t(port);
  ev.dest.client = 128;
  ev.dest.port = 0;
  std::lock_guard<std::mutex> guard(Fake.Lock);
  Fake.Queue.push_back(ev);
  const uint64_t one = 1;
  ssize_t written = write(Fake.Wake, &one, sizeof one);
  (void)written;
}

std::set<std::pair<int, int>> FakeSequencer::Connections() const
{
  std::lock_guard<std::mutex> guard(Fake.Lock);
  return Fake.Connected;
}
}

extern "C" {

int snd_seq_open(snd_seq_t **handle, const char *name, int streams, int mode)
{
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    if(Fake.Live)
    {
      Fake.Wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
      Fake.NextPort = 0;
      *handle = FakeHandle;
      return 0;
    }
  }
  LIBRARY(snd_seq_open, handle, name, streams, mode);
}

int snd_seq_close(snd_seq_t *handle)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    close(Fake.Wake);
    Fake.Wake = -1;
    return 0;
  }
  LIBRARY(snd_seq_close, handle);
}

int snd_seq_set_client_name(snd_seq_t *handle, const char *name)
{
  if(handle == FakeHandle) return 0;
  LIBRARY(snd_seq_set_client_name, handle, name);
}

int snd_seq_client_id(snd_seq_t *handle)
{
  if(handle == FakeHandle) return 128;
  LIBRARY(snd_seq_client_id, handle);
}

int snd_seq_create_simple_port(snd_seq_t *handle, const char *name, unsigned int caps, unsigned int type)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    return Fake.NextPort++;
  }
  LIBRARY(snd_seq_create_simple_port, handle, name, caps, type);
}

int snd_seq_query_next_client(snd_seq_t *handle, snd_seq_client_info_t *info)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    const int after = snd_seq_client_info_get_client(info);
    int next = -1;
    for(const auto &p : Fake.Ports)
      if(p.Client > after && (next < 0 || p.Client < next)) next = p.Client;
    if(next < 0) return -ENOENT;
    snd_seq_client_info_set_client(info, next);
    return 0;
  }
  LIBRARY(snd_seq_query_next_client, handle, info);
}

int snd_seq_query_next_port(snd_seq_t *handle, snd_seq_port_info_t *info)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    // the port is a byte: the -1 a query starts from reads 255, and the next is 0 as the
    // kernel counts on from it
    const int client = snd_seq_port_info_get_client(info), from = (snd_seq_port_info_get_port(info) + 1) & 0xff;
    const sparktest::FakeSequencer::Port *next = nullptr;
    for(const auto &p : Fake.Ports)
      if(p.Client == client && p.Port >= from && (!next || p.Port < next->Port)) next = &p;
    if(!next) return -ENOENT;
    snd_seq_port_info_set_port(info, next->Port);
    snd_seq_port_info_set_name(info, next->Name.c_str());
    snd_seq_port_info_set_capability(info, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
    return 0;
  }
  LIBRARY(snd_seq_query_next_port, handle, info);
}

int snd_seq_poll_descriptors_count(snd_seq_t *handle, short events)
{
  if(handle == FakeHandle) return 1;
  LIBRARY(snd_seq_poll_descriptors_count, handle, events);
}

int snd_seq_poll_descriptors(snd_seq_t *handle, struct pollfd *pfds, unsigned int space, short events)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    if(space < 1) return 0;
    pfds[0] = {Fake.Wake, POLLIN, 0};
    return 1;
  }
  LIBRARY(snd_seq_poll_descriptors, handle, pfds, space, events);
}

int snd_seq_event_input(snd_seq_t *handle, snd_seq_event_t **ev)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    if(Fake.Queue.empty())
    {
      uint64_t count;
      ssize_t got = read(Fake.Wake, &count, sizeof count);
      (void)got;
      *ev = nullptr;
      return -EAGAIN;
    }
    Fake.Current = Fake.Queue.front();
    Fake.Queue.pop_front();
    *ev = &Fake.Current;
    return int(Fake.Queue.size());
  }
  LIBRARY(snd_seq_event_input, handle, ev);
}

int snd_seq_event_output_direct(snd_seq_t *handle, snd_seq_event_t *ev)
{
  if(handle == FakeHandle) return -ENOENT;   // the stand-in has no writable ports
  LIBRARY(snd_seq_event_output_direct, handle, ev);
}

int snd_seq_connect_from(snd_seq_t *handle, int myPort, int client, int port)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    Fake.Connected.insert({client, port});
    return 0;
  }
  LIBRARY(snd_seq_connect_from, handle, myPort, client, port);
}

int snd_seq_disconnect_from(snd_seq_t *handle, int myPort, int client, int port)
{
  if(handle == FakeHandle)
  {
    std::lock_guard<std::mutex> guard(Fake.Lock);
    Fake.Connected.erase({client, port});
    return 0;
  }
  LIBRARY(snd_seq_disconnect_from, handle, myPort, client, port);
}
}
