// Serial devices over termios: raw mode, non-blocking descriptors and poll() with the
// caller's time-outs, so that a cancel signal can end any wait.
#include "platform/dmx/serial.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace plat
{
namespace
{
std::vector<std::string> ListFolder(const char *folder, bool (*take)(const char *name))
{
  std::vector<std::string> out;
  DIR *dir = opendir(folder);
  if(!dir) return out;
  while(dirent *e = readdir(dir))
    if(take(e->d_name)) out.push_back(std::string(folder) + "/" + e->d_name);
  closedir(dir);
  std::sort(out.begin(), out.end());
  return out;
}

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : int(left);
}

class TermiosPort : public SerialPort
{
  int Fd;
  const SerialSignal *Cancel;
  uint32_t ReadMs = 1000;
  uint32_t WriteMs = 1000;

  // Waits for the device to be ready for events; 1 ready, 0 time-out or cancel, -1 error.
  int WaitReady(short events, Clock::time_point deadline)
  {
    for(;;)
    {
      pollfd fds[2] = {{Fd, events, 0}, {Cancel ? Cancel->GetFd() : -1, POLLIN, 0}};
      int r = poll(fds, Cancel ? 2 : 1, RemainingMs(deadline));
      if(r < 0)
      {
        if(errno == EINTR) continue;
        return -1;
      }
      if(r == 0) return 0;
      if(fds[0].revents & (POLLERR | POLLNVAL)) return -1;
      if(fds[0].revents & (events | POLLHUP)) return 1;
      // the signal raised, or gone (closed while the process ends): stop waiting either way,
      // as a poll that keeps reporting the same state would otherwise turn this into a spin
      if(Cancel && fds[1].revents) return 0;
    }
  }

public:
  TermiosPort(int fd, const SerialSignal *cancel) : Fd(fd), Cancel(cancel) {}
  ~TermiosPort() override { close(Fd); }

  int SetTimeouts(uint32_t readMs, uint32_t writeMs) override
  {
    ReadMs = readMs;
    WriteMs = writeMs;
    return SERIAL_OK;
  }

  int Read(void *data, uint32_t bytes, uint32_t *got) override
  {
    *got = 0;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ReadMs);
    uint8_t *dest = static_cast<uint8_t *>(data);
    while(*got < bytes)
    {
      if(Cancel && Cancel->IsRaised()) return SERIAL_OK;
      ssize_t n = read(Fd, dest + *got, bytes - *got);
      if(n > 0)
      {
        *got += uint32_t(n);
        continue;
      }
      // end of file: the other side hung up (a pulled device, a closed pty)
      if(n == 0) return SERIAL_IO_ERROR;
      if(errno == EINTR) continue;
      if(errno != EAGAIN) return SERIAL_IO_ERROR;
      int ready = WaitReady(POLLIN, deadline);
      if(ready < 0) return SERIAL_IO_ERROR;
      if(ready == 0) return SERIAL_OK;
    }
    return SERIAL_OK;
  }

  int Write(const void *data, uint32_t bytes, uint32_t *written) override
  {
    *written = 0;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(WriteMs);
    const uint8_t *src = static_cast<const uint8_t *>(data);
    while(*written < bytes)
    {
      if(Cancel && Cancel->IsRaised()) return SERIAL_OK;
      ssize_t n = write(Fd, src + *written, bytes - *written);
      if(n > 0)
      {
        *written += uint32_t(n);
        continue;
      }
      if(n < 0 && errno == EINTR) continue;
      if(n < 0 && errno != EAGAIN) return SERIAL_IO_ERROR;
      int ready = WaitReady(POLLOUT, deadline);
      if(ready < 0) return SERIAL_IO_ERROR;
      if(ready == 0) return SERIAL_OK;
    }
    return SERIAL_OK;
  }

  int Purge(uint32_t mask) override
  {
    if((mask & 3) == 3) return tcflush(Fd, TCIOFLUSH) == 0 ? SERIAL_OK : SERIAL_IO_ERROR;
    if(mask & 1) return tcflush(Fd, TCIFLUSH) == 0 ? SERIAL_OK : SERIAL_IO_ERROR;
    if(mask & 2) return tcflush(Fd, TCOFLUSH) == 0 ? SERIAL_OK : SERIAL_IO_ERROR;
    return SERIAL_OK;
  }
};
}

std::vector<std::string> ListSerialDevices()
{
  std::vector<std::string> out =
      ListFolder("/dev/serial/by-id", [](const char *name) { return strstr(name, "FTDI") != nullptr; });
  if(out.empty()) out = ListFolder("/dev", [](const char *name) { return strncmp(name, "ttyUSB", 6) == 0; });
  return out;
}

SerialSignal::SerialSignal() { Fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }
SerialSignal::~SerialSignal()
{
  if(Fd >= 0) close(Fd);
}

void SerialSignal::Raise()
{
  uint64_t one = 1;
  if(Fd >= 0 && write(Fd, &one, sizeof(one)) < 0)
  {
    // the counter is full: it is raised already
  }
}

void SerialSignal::Clear()
{
  uint64_t value = 0;
  if(Fd >= 0 && read(Fd, &value, sizeof(value)) < 0)
  {
    // nothing was raised
  }
}

bool SerialSignal::IsRaised() const
{
  pollfd p = {Fd, POLLIN, 0};
  return Fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

bool SerialSignal::Wait(uint32_t ms) const
{
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  for(;;)
  {
    pollfd p = {Fd, POLLIN, 0};
    int r = poll(&p, Fd >= 0 ? 1 : 0, RemainingMs(deadline));
    if(r > 0) return true;
    if(r == 0 || errno != EINTR) return false;
  }
}

std::unique_ptr<SerialPort> SerialPort::Open(const std::string &path, const SerialSignal *cancel, int *status)
{
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if(fd < 0)
  {
    if(status) *status = errno == ENOENT ? SERIAL_NOT_FOUND : SERIAL_NOT_OPENED;
    return nullptr;
  }
  termios tio;
  if(tcgetattr(fd, &tio) != 0)
  {
    close(fd);
    if(status) *status = SERIAL_NOT_OPENED;
    return nullptr;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~CRTSCTS;
  // one byte at least: an empty non-blocking read then says EAGAIN and end of file means hang-up
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  if(tcsetattr(fd, TCSANOW, &tio) != 0)
  {
    close(fd);
    if(status) *status = SERIAL_NOT_OPENED;
    return nullptr;
  }
  if(status) *status = SERIAL_OK;
  return std::make_unique<TermiosPort>(fd, cancel);
}

}
