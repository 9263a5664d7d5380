#pragma once
// Helpers of the file tests: a handler that serves files from memory and a fixture that
// gives each test a fresh handler table, with the shared helpers in the namespace.

#include "base/file.hpp"
#include "base/log.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
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

using sparktest::WriteFile;
using sparktest::ReadFile;
using sparktest::LogCapture;

// Serves named byte strings as memory files in mode "read"; counts what it was asked.
class MemoryHandler : public sFileHandler
{
public:
  std::map<std::u16string, std::string> Files;
  std::vector<std::u16string> Asked;

  sFile *Create(const sChar *name, sInt access) override
  {
    Asked.push_back(name);
    auto it = Files.find(name);
    if(it == Files.end() || access != sFA_READ) return nullptr;
    sSetAllocSource(__FILE__, __LINE__);
    void *copy = sMemAlloc(sDInt(it->second.size() + 1), 16, 0);
    memcpy(copy, it->second.data(), it->second.size());
    return sCreateMemoryFile(copy, sS64(it->second.size()), 1, 0);
  }
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
