// The serial layer over a pseudo terminal: raw bytes both ways, read time-outs, the
// cancel signal and a hung-up device.
#include "platform/dmx/serial.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

struct Pty
{
  int Master = posix_openpt(O_RDWR | O_NOCTTY);
  std::string Path;
  Pty()
  {
    if(Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0) Path = ptsname(Master);
  }
  ~Pty()
  {
    if(Master >= 0) close(Master);
  }
};

long MsSince(Clock::time_point t)
{
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

TEST(Serial, PassesEveryByteValueRawBothWays)
{
  Pty pty;
  int status = -1;
  auto port = plat::SerialPort::Open(pty.Path, nullptr, &status);
  ASSERT_TRUE(port);
  EXPECT_EQ(status, plat::SERIAL_OK);
  port->SetTimeouts(500, 500);
  std::vector<uint8_t> all(256);
  for(int i = 0; i < 256; i++) all[size_t(i)] = uint8_t(i);
  uint32_t n = 0;
  ASSERT_EQ(port->Write(all.data(), 256, &n), plat::SERIAL_OK);
  EXPECT_EQ(n, 256u);
  std::vector<uint8_t> got(256);
  size_t have = 0;
  while(have < 256)
  {
    ssize_t r = read(pty.Master, got.data() + have, 256 - have);
    ASSERT_GT(r, 0);
    have += size_t(r);
  }
  EXPECT_EQ(got, all) << "no byte is translated on the way out";
  ASSERT_EQ(write(pty.Master, all.data(), 256), 256);
  std::fill(got.begin(), got.end(), 0);
  ASSERT_EQ(port->Read(got.data(), 256, &n), plat::SERIAL_OK);
  EXPECT_EQ(n, 256u);
  EXPECT_EQ(got, all) << "no byte is translated on the way in";
}

TEST(Serial, ReadsWhatCameWithinTheTimeOut)
{
  Pty pty;
  auto port = plat::SerialPort::Open(pty.Path, nullptr, nullptr);
  ASSERT_TRUE(port);
  port->SetTimeouts(120, 100);
  ASSERT_EQ(write(pty.Master, "\x7e\x05", 2), 2);
  uint8_t buf[8];
  uint32_t n = 99;
  auto start = Clock::now();
  EXPECT_EQ(port->Read(buf, 8, &n), plat::SERIAL_OK);
  EXPECT_EQ(n, 2u);
  EXPECT_GE(MsSince(start), 100);
}

TEST(Serial, CancelEndsAWaitingReadAndSleeps)
{
  Pty pty;
  plat::SerialSignal cancel;
  auto port = plat::SerialPort::Open(pty.Path, &cancel, nullptr);
  ASSERT_TRUE(port);
  port->SetTimeouts(60000, 60000);
  std::thread raiser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.Raise();
  });
  uint8_t b;
  uint32_t n = 9;
  auto start = Clock::now();
  EXPECT_EQ(port->Read(&b, 1, &n), plat::SERIAL_OK);
  raiser.join();
  EXPECT_EQ(n, 0u);
  EXPECT_LT(MsSince(start), 30000);
  EXPECT_TRUE(cancel.Wait(60000));
  cancel.Clear();
  EXPECT_FALSE(cancel.IsRaised());
  EXPECT_FALSE(cancel.Wait(10));
}

TEST(Serial, HungUpAndMissingDevicesAreReported)
{
  auto pty = std::make_unique<Pty>();
  auto port = plat::SerialPort::Open(pty->Path, nullptr, nullptr);
  ASSERT_TRUE(port);
  port->SetTimeouts(1000, 1000);
  pty.reset();
  uint8_t b;
  uint32_t n = 0;
  EXPECT_EQ(port->Read(&b, 1, &n), plat::SERIAL_IO_ERROR);

  int status = 0;
  EXPECT_FALSE(plat::SerialPort::Open("/nonexistent/ttyUSB9", nullptr, &status));
  EXPECT_EQ(status, plat::SERIAL_NOT_FOUND);
  EXPECT_FALSE(plat::SerialPort::Open("/dev/null", nullptr, &status)) << "not a terminal";
  EXPECT_EQ(status, plat::SERIAL_NOT_OPENED);
  for(const std::string &path : plat::ListSerialDevices()) EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
}
}
