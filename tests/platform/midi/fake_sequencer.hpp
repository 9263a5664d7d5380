#pragma once
// A sequencer of the test's own under the ALSA library's calls, for machines without the
// kernel's (/dev/snd/seq): while one lives, the MIDI layer's client opens it and finds the
// other clients' ports it was given; events are queued from any thread and read by the
// layer's reader as from the kernel. A sequencer opened while none lives is the library's.

#include "platform/midi/alsa_events.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sparktest
{
class FakeSequencer
{
public:
  struct Port
  {
    int Client, Port;
    std::string Name;
  };
  explicit FakeSequencer(std::vector<Port> readable);
  ~FakeSequencer();
  // Queues a short message as an event from the port to the client's receiving port.
  void Send(int client, int port, uint32_t message);
  // The ports connected to the client's receiving port.
  std::set<std::pair<int, int>> Connections() const;
};
}
