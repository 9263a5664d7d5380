#pragma once
// Whole files written and read with the system's calls, around the code under test.

#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>
#include <iterator>
#include <string>
#include <vector>

namespace sparktest
{
template <class Bytes> bool WriteFile(const std::string &path, const Bytes &bytes)
{
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return bool(f);
}
inline bool WriteFile(const std::string &path, const char *text) { return WriteFile(path, std::string(text)); }

// The file made (or cut or grown) to the size; grown with a hole, it takes no room on the
// disk (a file of 3 GiB in a test's temporary folder costs nothing).
inline bool SetFileSize(const std::string &path, uint64_t bytes)
{
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  bool ok = fd >= 0 && ftruncate(fd, off_t(bytes)) == 0;
  if(fd >= 0) close(fd);
  return ok;
}
constexpr uint64_t kThreeGiB = uint64_t(3) << 30;

// While it lives, a file may grow to at most bytes: a write past that fails (file too
// large), as on a system with a file-size limit, whoever the test runs as.
class FileSizeLimit
{
public:
  explicit FileSizeLimit(rlim_t bytes)
  {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
  rlimit old_{};
};

// The file's bytes as Bytes (std::string or std::vector<uint8_t>); empty when unreadable.
template <class Bytes = std::string> Bytes ReadFile(const std::string &path)
{
  std::ifstream f(path, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return Bytes(all.begin(), all.end());
}
}
