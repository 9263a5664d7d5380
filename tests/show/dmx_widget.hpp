#pragma once
// The USB DMX widget played by a test over a pseudo terminal: its messages, a channel
// frame, and the widget's side that answers the receiver's greeting.

#include "show/dmx.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace dmxwidget
{
using Bytes = std::vector<sU8>;
using Clock = std::chrono::steady_clock;

inline Bytes Message(sU8 label, Bytes data)
{
  data.insert(data.begin(), {0x7E, label, sU8(data.size() & 0xff), sU8(data.size() >> 8)});
  return data.push_back(0xE7), data;
}
// A received-DMX message: status 0, the start code, then channel values count .. 1 below seed.
inline Bytes Frame(size_t count, sU8 seed, sU8 startCode = 0)
{
  Bytes data = {0, startCode};
  for(size_t i = 0; i < count; i++) data.push_back(sU8(seed + i * 7));
  return Message(sDMX_LABEL_RECEIVED, data);
}

// The widget's side of a pseudo terminal: answers the parameter and serial requests (each
// 7E label 2 0 0 0 E7), each reply after a few unrelated bytes. Send nothing before a
// receiver has greeted it: until the receiver makes the line raw, the terminal echoes.
struct FakeWidget
{
  int Master = posix_openpt(O_RDWR | O_NOCTTY);
  std::string Path = Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0 ? ptsname(Master) : "";
  std::atomic<bool> Quit{false};
  std::atomic<int> Greeted{0};   // serial requests answered: the last step of a receiver's greeting
  std::thread Player{[this] {
    for(Bytes in; !Quit;)
    {
      pollfd p = {Master, POLLIN, 0};
      sU8 buf[64];
      ssize_t n = poll(&p, 1, 20) > 0 && (p.revents & POLLIN) ? read(Master, buf, sizeof(buf)) : 0;
      in.insert(in.end(), buf, buf + std::max<ssize_t>(n, 0));
      for(; in.size() >= 7; in.erase(in.begin(), in.begin() + 7))
      {
        Bytes reply = Message(in[1], in[1] == 3 ? Bytes{1, 2, 3, 4, 5, 6, 7} : Bytes{9, 8, 7, 6});
        reply.insert(reply.begin(), {0x12, 0xE7, 0x00});
        Send(reply);
        Greeted += in[1] == sDMX_LABEL_SERIAL;
      }
    }
  }};
  ~FakeWidget() { Hangup(); }
  void Hangup()
  {
    if(!Quit.exchange(true)) Player.join(), close(Master);
  }
  void Send(const Bytes &b) { EXPECT_EQ(write(Master, b.data(), b.size()), ssize_t(b.size())); }
};
}
