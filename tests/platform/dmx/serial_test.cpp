// The serial layer over a pseudo terminal: raw bytes both ways, a frame read in pieces,
// read time-outs, a hung-up device and devices that cannot be opened.
#include "common/wait.hpp"
#include "platform/dmx/serial.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace
{
TEST(Serial, RawBytesTimeOutsAndLostDevices)
{
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  int status = -1;
  auto port = plat::SerialPort::Open(ptsname(master), nullptr, &status);
  ASSERT_TRUE(port && status == plat::SERIAL_OK);
  port->SetTimeouts(120, 500);
  // the bytes a terminal's line discipline would change or swallow, both ways
  const std::vector<uint8_t> sent = {0x7E, 0x0A, 0x0D, 0x03, 0x04, 0x11, 0x13, 0x1A, 0x7F, 0xFF, 0xE7};
  std::vector<uint8_t> got(sent.size());
  uint32_t n = 0;
  ASSERT_TRUE(port->Write(sent.data(), uint32_t(sent.size()), &n) == plat::SERIAL_OK && n == sent.size());
  for(size_t have = 0; have < got.size();) have += size_t(std::max<ssize_t>(1, read(master, &got[have], got.size() - have)));
  EXPECT_EQ(got, sent);
  ASSERT_EQ(write(master, sent.data(), sent.size()), ssize_t(sent.size()));
  got.assign(got.size() + 5, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port->Read(got.data(), uint32_t(got.size()), &n) == plat::SERIAL_OK && n == sent.size() &&
              std::equal(sent.begin(), sent.end(), got.begin()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100)) << "short by time-out";

  // a frame that arrives in pieces: the first is there before the Read starts, each later
  // one is sent once the Read took what came before; one Read takes them in order, and
  // what came behind the frame stays for the next Read
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(slave, 0);
  auto queued = [slave] { int q = -1; return ioctl(slave, FIONREAD, &q) == 0 ? q : -1; };
  std::vector<uint8_t> frame(520);
  for(size_t i = 0; i < frame.size(); i++) frame[i] = uint8_t(i % 251 + 1);
  const std::vector<uint8_t> behind = {0x7E, 0x05, 0x01, 0x00};
  const size_t pieces[] = {3, 4, 250, 263};
  ASSERT_EQ(write(master, frame.data(), pieces[0]), ssize_t(pieces[0]));
  ASSERT_TRUE(sparktest::WaitFor([&] { return queued() == int(pieces[0]); }));
  std::thread widget([&] {
    size_t at = pieces[0];
    for(size_t k = 1; k < 4; k++)
    {
      if(!sparktest::WaitFor([&] { return queued() == 0; })) return;
      std::vector<uint8_t> bytes(frame.begin() + at, frame.begin() + at + pieces[k]);
      if(k == 3) bytes.insert(bytes.end(), behind.begin(), behind.end());
      if(write(master, bytes.data(), bytes.size()) != ssize_t(bytes.size())) return;
      at += pieces[k];
    }
  });
  port->SetTimeouts(60000, 500);
  got.assign(frame.size(), 0);
  EXPECT_TRUE(port->Read(got.data(), uint32_t(got.size()), &n) == plat::SERIAL_OK && n == frame.size());
  widget.join();
  EXPECT_EQ(got, frame);
  got.assign(behind.size(), 0);
  EXPECT_TRUE(port->Read(got.data(), uint32_t(got.size()), &n) == plat::SERIAL_OK && n == behind.size());
  EXPECT_EQ(got, behind);
  close(slave);

  close(master);
  EXPECT_EQ(port->Read(got.data(), 1, &n), plat::SERIAL_IO_ERROR) << "hung up";
  // the cancel signal and its waits are shown by the DMX receiver's Close
  EXPECT_TRUE(!plat::SerialPort::Open("/nonexistent/ttyUSB9", nullptr, &status) && status == plat::SERIAL_NOT_FOUND);
  EXPECT_TRUE(!plat::SerialPort::Open("/dev/null", nullptr, &status) && status == plat::SERIAL_NOT_OPENED) << "no terminal";
}
}
