#pragma once
// Shared helpers of the utility tests: a temporary folder, byte files, debug-output
// capture and a seeded byte mutator.

#include "base/system.hpp"
#include "base/types.hpp"
#include "platform/text/utf.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testutil
{
// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir
{
public:
  TempDir()
  {
    std::string tmpl = (std::filesystem::temp_directory_path() / "sparkutilXXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    char *made = mkdtemp(buf.data());
    Path = made ? made : "";
  }
  ~TempDir()
  {
    std::error_code ec;
    if(!Path.empty()) std::filesystem::remove_all(Path, ec);
  }
  // the full name of a file in the folder, as the program's text
  std::u16string File(const std::string &name) const { return plat::ToUtf16(Path + "/" + name); }
  std::string File8(const std::string &name) const { return Path + "/" + name; }

  std::string Path;
};

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteBytes(const std::string &path, const std::string &bytes)
{
  WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::string &path)
{
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Collects the debug output (as UTF-8) while it lives.
class CaptureOutput
{
public:
  CaptureOutput() { Old = sSetDebugOutputCapture(&Take, this, &OldUser); }
  ~CaptureOutput() { sSetDebugOutputCapture(Old, OldUser); }
  std::string Text;

private:
  static void Take(const sChar *text, void *user) { static_cast<CaptureOutput *>(user)->Text += plat::ToUtf8(text); }
  sDebugOutputFunc Old = nullptr;
  void *OldUser = nullptr;
};

inline size_t CountOf(const std::string &text, const std::string &part)
{
  size_t n = 0;
  for(size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) n++;
  return n;
}

// A small deterministic generator for mutation runs (xorshift).
struct Mutator
{
  uint64_t State;
  explicit Mutator(uint64_t seed) : State(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next()
  {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return uint32_t(State >> 16);
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }

  // flips bits, overwrites, inserts, deletes or truncates a few times
  std::vector<uint8_t> Mutate(std::vector<uint8_t> data, const std::vector<uint8_t> &dictionary = {})
  {
    uint32_t steps = 1 + Below(6);
    for(uint32_t s = 0; s < steps; s++)
    {
      switch(Below(7))
      {
      case 0:
        if(!data.empty()) data[Below(uint32_t(data.size()))] ^= uint8_t(1u << Below(8));
        break;
      case 1:
        if(!data.empty()) data[Below(uint32_t(data.size()))] = uint8_t(Next());
        break;
      case 2:
        data.insert(data.begin() + Below(uint32_t(data.size() + 1)), uint8_t(Next()));
        break;
      case 3:
        if(!data.empty()) data.erase(data.begin() + Below(uint32_t(data.size())));
        break;
      case 4:
        data.resize(Below(uint32_t(data.size() + 1)));
        break;
      case 5:
        if(!dictionary.empty())
        {
          size_t at = Below(uint32_t(data.size() + 1));
          size_t from = Below(uint32_t(dictionary.size()));
          size_t len = 1 + Below(8);
          for(size_t i = 0; i < len && from + i < dictionary.size(); i++)
            data.insert(data.begin() + at + i, dictionary[from + i]);
        }
        break;
      case 6:
        if(data.size() >= 4)
        {
          // a little-endian word set to an extreme value
          size_t at = Below(uint32_t(data.size() - 3));
          uint32_t v = Below(2) ? 0xffffffffu - Below(64) : 0x7fffffffu + Below(3);
          for(int i = 0; i < 4; i++) data[at + size_t(i)] = uint8_t(v >> (8 * i));
        }
        break;
      }
    }
    return data;
  }
};
}
