// Seeded random-mutation runs of the outside-input readers: the scanner (strings and
// files of every encoding) and the pack reader. The runs are bounded by a count of
// inputs; SPARK_FUZZ_RUNS scales them (the sanitizer build runs them as they are).
#include "base/file.hpp"
#include "base/memory.hpp"
#include "util/packfile.hpp"
#include "util/scanner.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using CaptureOutput = sparktest::DebugCapture;
using sparktest::Mutator;
using sparktest::TempDir;

namespace
{
// Serves the current fuzz input from memory under the name "fuzz:input", so the readers
// go through the file handlers without touching the disk. Registered once per process.
class FuzzInputHandler : public sFileHandler
{
public:
  std::vector<uint8_t> Bytes;
  sFile *Create(const sChar *name, sInt access) override
  {
    if(access != sFA_READ || sCompareString(name, u"fuzz:input") != 0)
      return nullptr;
    sSetAllocSource(__FILE__, __LINE__);
    sU8 *copy = static_cast<sU8 *>(sMemAlloc(sDInt(Bytes.size()) + 1, 16, 0));
    if(!Bytes.empty()) memcpy(copy, Bytes.data(), Bytes.size());
    return sCreateMemoryFile(copy, sS64(Bytes.size()), 1, 1);
  }
};

FuzzInputHandler *Input()
{
  static FuzzInputHandler *h = [] {
    FuzzInputHandler *f = sNEW FuzzInputHandler;
    sAddFileHandler(f);   // the handler table owns it
    return f;
  }();
  return h;
}

// Scans to the end; every token must make progress, so the count is bounded by the
// length of the text. Returns the number of tokens.
int ScanAll(sScanner &s, size_t chars)
{
  int n = 0;
  size_t bound = chars + 4;
  while(s.Token != sTOK_END)
  {
    EXPECT_TRUE(s.Token >= 0) << s.Token;
    EXPECT_NE(s.Name, nullptr);
    EXPECT_NE(s.String, nullptr);
    EXPECT_LE(s.NumberText.Count(), 254);
    if(size_t(++n) > bound)
    {
      ADD_FAILURE() << "the scanner does not advance";
      break;
    }
    s.Scan();
  }
  return n;
}

const char *const ScannerSeeds[] = {
  "configuration { speed = 1.5e3; name = \"Fish\"; key = 'A'; mask = 0x1F | 0b101; }\n",
  "// comment\n/* block\n comment */ a::b >>= c << 2 .. 7 != -3 1..2 1.x .5\n",
  "1.#INF00 -1.#INF 1.#IND 2e-2 7e 1.5E3 4294967297 0X 0b12\n",
  "\"a\\n\" \"two\nlines\" \"unterminated\n",
  "\"C:\\data\\scene\\tex.png\"\r\n\"data/music.ogg\"\r\n",
  "/* unterminated comment",
  "'x' 'ab' ' @ # $ ` \\",
  "",
};
}

TEST(ScannerFuzz, MutatedTextsAlwaysEndCleanly)
{
  CaptureOutput quiet;
  Mutator m(20261206);
  std::vector<uint8_t> dictionary;
  for(const char *s : ScannerSeeds) dictionary.insert(dictionary.end(), s, s + strlen(s));
  sScanner s;
  s.AddDefaultTokens();
  s.AddToken(u"configuration", 0x100);
  int runs = sparktest::FuzzRuns(20000);
  for(int i = 0; i < runs; i++)
  {
    const char *seed = ScannerSeeds[m.Below(sizeof(ScannerSeeds) / sizeof(*ScannerSeeds))];
    std::vector<uint8_t> bytes = m.Mutate(std::vector<uint8_t>(seed, seed + strlen(seed)), dictionary);

    // as text in memory: every byte one character, plus some wide characters
    std::u16string text;
    for(uint8_t b : bytes) text += sChar(b == 0 ? 0x4E2D : b);
    s.StartString(text.c_str());
    ScanAll(s, text.size());
    if(HasFailure()) FAIL() << "run " << i;
  }
}

TEST(ScannerFuzz, MutatedFilesOfEveryEncodingEndCleanly)
{
  CaptureOutput quiet;
  FuzzInputHandler *in = Input();
  Mutator m(77);
  sScanner s;
  s.AddDefaultTokens();
  const std::vector<uint8_t> marks[] = {{}, {0xFF, 0xFE}, {0xFE, 0xFF}, {0xEF, 0xBB, 0xBF}};
  int runs = sparktest::FuzzRuns(20000);
  for(int i = 0; i < runs; i++)
  {
    const char *seed = ScannerSeeds[m.Below(sizeof(ScannerSeeds) / sizeof(*ScannerSeeds))];
    std::vector<uint8_t> body(seed, seed + strlen(seed));
    uint32_t enc = m.Below(4);
    std::vector<uint8_t> bytes = marks[enc];
    for(uint8_t b : body)
    {
      if(enc == 1)
      {
        bytes.push_back(b);
        bytes.push_back(0);
      }
      else if(enc == 2)
      {
        bytes.push_back(0);
        bytes.push_back(b);
      }
      else
      {
        bytes.push_back(b);
      }
    }
    in->Bytes = m.Mutate(bytes);
    if(s.StartFile(u"fuzz:input"))
      ScanAll(s, in->Bytes.size());
    else
      EXPECT_LT(in->Bytes.size(), 2u);
    EXPECT_EQ(s.Scan(), sTOK_END);
    if(HasFailure()) FAIL() << "run " << i;
  }
}

TEST(PackfileFuzz, MutatedPacksAreReadWithinTheirBounds)
{
  CaptureOutput quiet;
  TempDir dir;
  // a real pack from the builder as the seed
  std::vector<std::u16string> names;
  std::string def = "// seed\r\n";
  for(int i = 0; i < 6; i++)
  {
    std::string name = "f" + std::to_string(i) + ".bin";
    std::vector<uint8_t> bytes(size_t(1 + i * 37), uint8_t(i));
    sparktest::WriteFile(dir.Name8(name), bytes);
    def += "\"" + dir.Name8(name) + "\"\r\n";
    names.push_back(dir.Name(name));
  }
  sparktest::WriteFile(dir.Name8("def.txt"), def);
  testing::internal::CaptureStdout();
  bool built = sCreatePackfile(dir.Name("seed.fpf").c_str(), dir.Name("def.txt").c_str());
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(built);
  std::vector<uint8_t> seed = sparktest::ReadFile<std::vector<uint8_t>>(dir.Name8("seed.fpf"));
  ASSERT_GT(seed.size(), 12u + 6 * 20);

  FuzzInputHandler *in = Input();
  Mutator m(4242);
  int runs = sparktest::FuzzRuns(20000);
  int usable = 0, served = 0;
  for(int i = 0; i < runs; i++)
  {
    in->Bytes = m.Mutate(seed);
    sPackfileHandler h;
    if(h.Open(u"fuzz:input")) usable++;
    for(const std::u16string &n : names)
    {
      h.Exists(n.c_str());
      sFile *f = h.Create(n.c_str(), sFA_READ);
      if(!f) continue;
      served++;
      // every byte the handler hands out lies inside the pack
      sS64 size = f->GetSize();
      EXPECT_LE(size, sS64(in->Bytes.size()));
      std::vector<uint8_t> buf(size_t(size) + 1);
      EXPECT_TRUE(size == 0 || f->Read(buf.data(), sDInt(size)));
      EXPECT_FALSE(f->Read(buf.data(), 1));
      sDELETE(f);
    }
    // random hashes probe the search
    for(int k = 0; k < 4; k++) h.Find(m.Next());
    if(HasFailure()) FAIL() << "run " << i;
  }
  // the mutations leave many packs readable: the readers were really exercised
  EXPECT_GT(usable, runs / 10);
  EXPECT_GT(served, runs / 10);
}
