// The serial layer over a pseudo terminal: raw bytes both ways, read time-outs, the
// cancel signal and a hung-up device.
#include "platform/dmx/serial.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

struct Pty
{
  int Master = posix_openpt(O_RDWR | O_NOCTTY);
  std::string Path = Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0 ? ptsname(Master) : "";
  ~Pty() { close(Master); }
};

TEST(Serial, PassesEveryByteRawAndReadsWhatCameWithinTheTimeOut)
{
  Pty pty;
  int status = -1;
  auto port = plat::SerialPort::Open(pty.Path, nullptr, &status);
  ASSERT_TRUE(port && status == plat::SERIAL_OK);
  port->SetTimeouts(120, 500);
  std::vector<uint8_t> all(256), got(256);
  for(int i = 0; i < 256; i++) all[size_t(i)] = uint8_t(i);
  uint32_t n = 0;
  ASSERT_TRUE(port->Write(all.data(), 256, &n) == plat::SERIAL_OK && n == 256);
  for(size_t have = 0; have < 256;) have += size_t(std::max<ssize_t>(1, read(pty.Master, got.data() + have, 256 - have)));
  EXPECT_EQ(got, all) << "no byte is translated on the way out";
  ASSERT_EQ(write(pty.Master, all.data(), 256), 256);
  ASSERT_EQ(port->Read(got.data(), 256, &n), plat::SERIAL_OK);
  EXPECT_EQ(got, all) << "no byte is translated on the way in";
  // two bytes of eight: the read ends after its time-out with what came
  ASSERT_EQ(write(pty.Master, "\x7e\x05", 2), 2);
  auto start = Clock::now();
  EXPECT_TRUE(port->Read(got.data(), 8, &n) == plat::SERIAL_OK && n == 2);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST(Serial, CancelEndsWaitsAndLostDevicesAreReported)
{
  auto pty = std::make_unique<Pty>();
  plat::SerialSignal cancel;
  auto port = plat::SerialPort::Open(pty->Path, &cancel, nullptr);
  ASSERT_TRUE(port);
  port->SetTimeouts(60000, 60000);
  std::thread raiser([&] { std::this_thread::sleep_for(std::chrono::milliseconds(50)), cancel.Raise(); });
  uint8_t b;
  uint32_t n = 9;
  EXPECT_TRUE(port->Read(&b, 1, &n) == plat::SERIAL_OK && n == 0);   // would wait a minute
  raiser.join();
  EXPECT_TRUE(cancel.Wait(60000));
  cancel.Clear();
  EXPECT_FALSE(cancel.Wait(10));
  pty.reset();
  EXPECT_EQ(port->Read(&b, 1, &n), plat::SERIAL_IO_ERROR) << "hung up";

  int status = 0;
  EXPECT_TRUE(!plat::SerialPort::Open("/nonexistent/ttyUSB9", nullptr, &status) && status == plat::SERIAL_NOT_FOUND);
  EXPECT_TRUE(!plat::SerialPort::Open("/dev/null", nullptr, &status) && status == plat::SERIAL_NOT_OPENED) << "no terminal";
}
}
