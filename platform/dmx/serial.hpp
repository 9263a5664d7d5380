#pragma once
// Serial devices for the USB DMX widget: the FTDI serial devices of the machine are
// listed by path, opened raw through termios and read and written with time-outs, as
// the widget's own driver does. Every call returns a status: 0 success, 1 to 4 mean that
// the device is gone (the codes the widget code above expects).
//
// A port is used by one thread at a time. Only Cancel (on the port's cancel signal) may
// come from another thread: it makes a read, write or wait in progress return early.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat
{

enum SerialStatus : int
{
  SERIAL_OK = 0,
  SERIAL_INVALID_HANDLE = 1,
  SERIAL_NOT_FOUND = 2,
  SERIAL_NOT_OPENED = 3,
  SERIAL_IO_ERROR = 4,
};

// Paths of the FTDI serial devices: the entries of /dev/serial/by-id whose name holds
// "FTDI", else every /dev/ttyUSB*; sorted, so that index 0 stays the same device.
std::vector<std::string> ListSerialDevices();

// A wake-up another thread raises to cut short a read, a write or a wait. It stays raised
// until Clear.
class SerialSignal
{
  int Fd = -1;

public:
  SerialSignal();
  ~SerialSignal();
  SerialSignal(const SerialSignal &) = delete;
  SerialSignal &operator=(const SerialSignal &) = delete;
  void Raise();
  void Clear();
  bool IsRaised() const;
  // Sleeps up to ms milliseconds; true when the signal cut the sleep short.
  bool Wait(uint32_t ms) const;
  int GetFd() const { return Fd; }
};

class SerialPort
{
public:
  // Opens the device raw (8 data bits, no parity, no flow control, no echo); null with
  // SERIAL_NOT_FOUND or SERIAL_NOT_OPENED in status when it cannot. A raised cancel
  // signal (may be null) ends reads, writes and waits early.
  static std::unique_ptr<SerialPort> Open(const std::string &path, const SerialSignal *cancel, int *status);
  virtual ~SerialPort() = default;

  virtual int SetTimeouts(uint32_t readMs, uint32_t writeMs) = 0;
  // Reads until bytes arrived or the read time-out passed since the call; got holds what
  // arrived. A hung-up or failing device gives SERIAL_IO_ERROR.
  virtual int Read(void *data, uint32_t bytes, uint32_t *got) = 0;
  // Writes until all went out or the write time-out passed.
  virtual int Write(const void *data, uint32_t bytes, uint32_t *written) = 0;
  // mask 1: drops what was received and not read; 2: what was written and not sent.
  virtual int Purge(uint32_t mask) = 0;
};

}
