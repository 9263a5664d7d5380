#pragma once
// Helpers of the file tests: a temporary folder, a handler that serves files from
// memory, a capture of the log lines, and a fixture that gives each test a fresh
// handler table.

#include "base/file.hpp"
#include "base/log.hpp"
#include "common/temp_dir.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace filetest
{
using TempDir = sparktest::TempDir;

// Writes or reads a whole file with the system's calls, around the code under test.
inline void WriteRaw(const std::string &path, const std::string &bytes)
{
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f) << path;
  if(!bytes.empty()) { ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size()); }
  fclose(f);
}

inline std::string ReadRaw(const std::string &path)
{
  std::string out;
  FILE *f = fopen(path.c_str(), "rb");
  if(!f) return out;
  char buf[4096];
  size_t n;
  while((n = fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

// Serves named byte strings as memory files in mode "read"; counts what it was asked.
class MemoryHandler : public sFileHandler
{
public:
  std::map<std::u16string, std::string> Files;
  std::vector<std::u16string> Asked;
  sInt BlockSize = 0;

  sFile *Create(const sChar *name, sInt access) override
  {
    Asked.push_back(name);
    auto it = Files.find(name);
    if(it == Files.end() || access != sFA_READ) return nullptr;
    sSetAllocSource(__FILE__, __LINE__);
    void *copy = sMemAlloc(sDInt(it->second.size() + 1), 16, 0);
    memcpy(copy, it->second.data(), it->second.size());
    return sCreateMemoryFile(copy, sS64(it->second.size()), 1, BlockSize);
  }
};

// Collects the log lines written while it lives.
class LogCapture
{
public:
  LogCapture() { sSetLogFileOutput(&LogCapture::Take, this); }
  ~LogCapture() { sSetLogFileOutput(nullptr, nullptr); }
  std::string Text()
  {
    std::lock_guard<std::mutex> lock(M);
    return All;
  }
  bool Has(const std::string &part) { return Text().find(part) != std::string::npos; }
  size_t Count(const std::string &part)
  {
    std::string t = Text();
    size_t n = 0;
    for(size_t p = t.find(part); p != std::string::npos; p = t.find(part, p + 1)) n++;
    return n;
  }

private:
  static void Take(const sChar *line, void *user)
  {
    LogCapture *self = static_cast<LogCapture *>(user);
    std::lock_guard<std::mutex> lock(self->M);
    self->All += plat::ToUtf8(line);
  }
  std::mutex M;
  std::string All;
};

// Each test starts with an empty handler table and ends by deleting its handlers.
class FileFixture : public testing::Test
{
protected:
  void SetUp() override { sInitFileHandlers(); }
  void TearDown() override { sExitFileHandlers(); }
};

inline std::u16string Text(const sChar *t) { return t ? std::u16string(t) : std::u16string(); }
}
