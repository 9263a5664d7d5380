#pragma once
// A folder under the system's temporary folder for one test, removed with everything in it.

#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"

#include <cstdlib>
#include <string>
#include <vector>

namespace sparktest
{
class TempDir
{
public:
  TempDir()
  {
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sparktest.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if(mkdtemp(buf.data())) Path = buf.data();
  }
  ~TempDir()
  {
    if(!Path.empty()) plat::DeleteTree(Path.c_str());
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string Path;
  // the full name of a file in the folder, as program text and as an 8-bit path
  std::u16string Name(const std::string &name) const { return plat::ToUtf16(Path + "/" + name); }
  std::string Name8(const std::string &name) const { return Path + "/" + name; }
};
}
