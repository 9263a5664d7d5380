#pragma once
// Whole files written and read with the system's calls, around the code under test.

#include <cstdint>
#include <fstream>
#include <sys/resource.h>
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
