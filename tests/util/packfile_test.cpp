// Pack files: recording, definitions, building, serving, and damaged packs.
#include "util/packfile.hpp"
#include "base/file.hpp"
#include "base/system.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"

#include <filesystem>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

using CaptureOutput = sparktest::DebugCapture;
using sparktest::TempDir;

namespace
{
std::vector<uint8_t> Pattern(size_t n, uint32_t seed)
{
  std::vector<uint8_t> v(n);
  for(size_t i = 0; i < n; i++)
  {
    seed = seed * 1103515245u + 12345u;
    v[i] = uint8_t(seed >> 16);
  }
  return v;
}

// All bytes of a file through its Read.
std::vector<uint8_t> ReadAll(sFile *f)
{
  std::vector<uint8_t> v(size_t(f->GetSize()));
  if(!v.empty())
  {
    EXPECT_TRUE(f->Read(v.data(), sDInt(v.size())));
  }
  return v;
}

void Put32(std::vector<uint8_t> &v, uint32_t x)
{
  for(int i = 0; i < 4; i++) v.push_back(uint8_t(x >> (8 * i)));
}

struct RawEntry
{
  uint32_t Hash, Packed, Offset, Size, Unpacked;
};

// A pack made by hand: header, the entries as given, then the data.
std::vector<uint8_t> MakePack(const std::vector<RawEntry> &entries, const std::vector<uint8_t> &data,
                              uint32_t version = 1, int64_t count = -1)
{
  std::vector<uint8_t> v;
  Put32(v, 0x42465046);
  Put32(v, version);
  Put32(v, count < 0 ? uint32_t(entries.size()) : uint32_t(count));
  for(const RawEntry &e : entries)
  {
    Put32(v, e.Hash);
    Put32(v, e.Packed);
    Put32(v, e.Offset);
    Put32(v, e.Size);
    Put32(v, e.Unpacked);
  }
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

// Opens a handler on a pack written into the folder.
struct PackOnDisk
{
  sPackfileHandler Handler;
  sBool Opened;
  PackOnDisk(const TempDir &dir, const std::vector<uint8_t> &bytes, const char *name = "test.fpf")
  {
    sparktest::WriteFile(dir.Name8(name), bytes);
    Opened = Handler.Open(dir.Name(name).c_str());
  }
};
}

/****************************************************************************/
/***   Reading packs                                                      ***/
/****************************************************************************/

class PackReadTest : public testing::Test
{
protected:
  TempDir Dir;
  CaptureOutput Out;
};

TEST_F(PackReadTest, DamagedHeadersServeNothing)
{
  uint32_t h = sPackfileHash(u"a");
  std::vector<uint8_t> good = MakePack({{h, 0, 32, 1, 1}}, {42});

  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 11));   // 11 bytes
  bad.push_back(MakePack({{h, 0, 32, 1, 1}}, {42}, 2));                  // version 2
  bad.push_back(MakePack({{h, 0, 32, 1, 1}}, {42}, 1, 2));               // count needs 52 bytes
  // 20 * 0xCCCCCCCD + 12 wraps to 16 in 32 bits
  bad.push_back(MakePack({{h, 0, 32, 1, 1}}, {42}, 1, 0xCCCCCCCDll));
  std::vector<uint8_t> magic = good;
  magic[0] = 'X';
  bad.push_back(magic);
  bad.push_back({});

  int n = 0;
  for(const auto &bytes : bad)
  {
    PackOnDisk p(Dir, bytes, ("bad" + std::to_string(n++)).c_str());
    EXPECT_FALSE(p.Opened) << n;
    EXPECT_FALSE(p.Handler.IsUsable()) << n;
    EXPECT_FALSE(p.Handler.Exists(u"a")) << n;
    EXPECT_EQ(p.Handler.Create(u"a", sFA_READ), nullptr) << n;
  }
  PackOnDisk ok(Dir, good, "good");
  ASSERT_TRUE(ok.Opened);
  sFile *f = ok.Handler.Create(u"a", sFA_READ);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadAll(f), std::vector<uint8_t>{42});
  sDELETE(f);

  // the format's 32-bit offsets reach past 2 GiB: such a pack (here sparse) is read as well
  std::vector<uint8_t> far = MakePack({{h, 0, 0xC0000000u, 1, 1}}, {});
  sparktest::WriteFile(Dir.Name8("far"), far);
  std::filesystem::resize_file(Dir.Name8("far"), 0xC0000001ull);
  sPackfileHandler big;
  ASSERT_TRUE(big.Open(Dir.Name("far").c_str()));
  f = big.Create(u"a", sFA_READ);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadAll(f), std::vector<uint8_t>{0});
  sDELETE(f);
}

TEST_F(PackReadTest, EntriesOutsideThePackAreDroppedWithAnError)
{
  uint32_t hs[4] = {sPackfileHash(u"in"), sPackfileHash(u"past"), sPackfileHash(u"wrap"), sPackfileHash(u"edge")};
  std::vector<RawEntry> e = {
    {hs[0], 0, 92, 4, 4},            // inside
    {hs[1], 0, 92, 5, 5},            // one byte past the end
    {hs[2], 0, 0xfffffff0, 0x20, 0x20},   // wraps to 0x10 in 32 bits
    {hs[3], 0, 96, 0, 0},            // empty, at the very end
  };
  std::sort(e.begin(), e.end(), [](const RawEntry &a, const RawEntry &b) { return a.Hash < b.Hash; });
  PackOnDisk p(Dir, MakePack(e, {1, 2, 3, 4}));
  ASSERT_TRUE(p.Opened);
  EXPECT_EQ(p.Handler.GetCount(), 2);
  EXPECT_EQ(p.Handler.Create(u"past", sFA_READ), nullptr);
  EXPECT_EQ(p.Handler.Create(u"wrap", sFA_READ), nullptr);
  sFile *f = p.Handler.Create(u"in", sFA_READ);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadAll(f), (std::vector<uint8_t>{1, 2, 3, 4}));
  sDELETE(f);
  f = p.Handler.Create(u"edge", sFA_READ);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->GetSize(), 0);
  sDELETE(f);
  // writing: refused with an error for a name the pack holds, left to the next handler
  // without one for any other name
  EXPECT_EQ(p.Handler.Create(u"elsewhere", sFA_WRITE), nullptr);
  EXPECT_FALSE(Out.Has("can't open files for writing"));
  EXPECT_EQ(p.Handler.Create(u"in", sFA_WRITE), nullptr);
  EXPECT_TRUE(Out.Has("can't open files for writing"));
}

// Another program cuts the pack short while a loader thread reads its entries: the
// entries the file still holds read as they were, the others fail with an error, and
// nothing faults (the pack is read from the file, not through a mapping).
TEST_F(PackReadTest, PackCutShortWhileReadingGivesFailedReads)
{
  constexpr int kEntries = 32;
  constexpr uint32_t kBytes = 64 * 1024;
  const uint32_t dataStart = 12 + 20 * kEntries;
  std::vector<RawEntry> e;
  std::vector<uint8_t> data;
  std::vector<std::u16string> names;
  for(int i = 0; i < kEntries; i++)
  {
    names.push_back(u"e" + std::u16string(1, char16_t(u'A' + i)));
    e.push_back({sPackfileHash(names.back().c_str()), 0, dataStart + uint32_t(i) * kBytes, kBytes, kBytes});
    std::vector<uint8_t> p = Pattern(kBytes, uint32_t(i));
    data.insert(data.end(), p.begin(), p.end());
  }
  std::sort(e.begin(), e.end(), [](const RawEntry &a, const RawEntry &b) { return a.Hash < b.Hash; });
  PackOnDisk p(Dir, MakePack(e, data));
  ASSERT_TRUE(p.Opened);
  // the first two entries stay whole
  const uint64_t cut = dataStart + 2 * kBytes;

  std::atomic<int> passes{0};
  std::atomic<bool> failed{false};
  std::thread reader([&] {
    for(int pass = 0; !failed && pass < 100000; pass++)
    {
      for(int i = 0; i < kEntries && !failed; i++)
      {
        sFile *f = p.Handler.Create(names[size_t(i)].c_str(), sFA_READ);
        std::vector<uint8_t> v(kBytes);
        if(!f->Read(v.data(), sDInt(kBytes)))
          failed = true;
        else
          EXPECT_EQ(v, Pattern(kBytes, uint32_t(i))) << i;
        sDELETE(f);
      }
      passes++;
    }
  });
  ASSERT_TRUE(sparktest::WaitFor([&] { return passes > 0; }));
  std::filesystem::resize_file(Dir.Name8("test.fpf"), cut);
  reader.join();
  EXPECT_TRUE(failed);

  for(int i = 0; i < kEntries; i++)
  {
    sFile *f = p.Handler.Create(names[size_t(i)].c_str(), sFA_READ);
    ASSERT_NE(f, nullptr);
    const sU8 *whole = f->LoadWhole();
    if(i < 2)
      EXPECT_TRUE(whole && std::vector<uint8_t>(whole, whole + kBytes) == Pattern(kBytes, uint32_t(i))) << i;
    else
      EXPECT_EQ(whole, nullptr) << i;
    sDELETE(f);
  }
  EXPECT_TRUE(Out.Has("can't read 65536 bytes"));
}

/****************************************************************************/
/***   Logger                                                             ***/
/****************************************************************************/

TEST(PackfileLogger, ConcurrentRecordingKeepsEveryLine)
{
  sPackfileLogger log(u"unused.txt");
  constexpr int Threads = 8, PerThread = 400;
  std::vector<std::thread> threads;
  for(int t = 0; t < Threads; t++)
    threads.emplace_back([&log, t] {
      for(int i = 0; i < PerThread; i++)
      {
        std::u16string name = plat::ToUtf16("t" + std::to_string(t) + "/f" + std::to_string(i) + ".bin");
        log.Create(name.c_str(), sFA_READ);
      }
    });
  for(std::thread &t : threads) t.join();
  sTextBuffer text;
  log.GetText(text);
  std::string s = plat::ToUtf8(text.Get());
  EXPECT_EQ(sparktest::CountOf(s, "\n\""), size_t(Threads * PerThread));
  for(int t = 0; t < Threads; t++)
    for(int i = 0; i < PerThread; i += 37)
      EXPECT_NE(s.find("\"t" + std::to_string(t) + "/f" + std::to_string(i) + ".bin\"\n"), std::string::npos);
}

TEST(PackfileLogger, EveryDefinitionIsWrittenOnce)
{
  TempDir dir;
  CaptureOutput quiet;
  sWritePackfileDefinitions();   // whatever an earlier test left: the list is empty now
  std::u16string def1 = dir.Name("one.def"), def2 = dir.Name("two.def");
  sAddPackfileLogger(def1.c_str());
  sAddPackfileLogger(def2.c_str());
  sparktest::WriteFile(dir.Name8("data.bin"), std::vector<uint8_t>{1, 2});
  sFile *f = sOpenFile(dir.Name("data.bin").c_str(), sFA_READ);
  ASSERT_NE(f, nullptr);
  sDELETE(f);
  sWritePackfileDefinitions();
  for(const std::u16string &def : {def1, def2})
  {
    EXPECT_NE(sparktest::ReadFile(plat::ToUtf8(def)).find("data.bin\"\r\n"), std::string::npos);
    std::filesystem::remove(plat::ToUtf8(def));
  }
  // the list is empty afterwards: nothing is written again
  sWritePackfileDefinitions();
  EXPECT_FALSE(std::filesystem::exists(plat::ToUtf8(def1)) || std::filesystem::exists(plat::ToUtf8(def2)));
}

/****************************************************************************/
/***   Building                                                           ***/
/****************************************************************************/

class PackBuildTest : public testing::Test
{
protected:
  TempDir Dir;
  void Def(const std::string &text) { sparktest::WriteFile(Dir.Name8("def.txt"), text); }
  std::string Quoted(const std::string &name) { return "\"" + Dir.Name8(name) + "\"\r\n"; }
};

TEST_F(PackBuildTest, SameNameTwiceGivesOneEntryAndLayoutIsSorted)
{
  sparktest::WriteFile(Dir.Name8("a.bin"), Pattern(10, 1));
  sparktest::WriteFile(Dir.Name8("b.bin"), Pattern(20, 2));
  sparktest::WriteFile(Dir.Name8("c.bin"), std::vector<uint8_t>{});
  Def("// comment\r\n\r\n" + Quoted("a.bin") + Quoted("b.bin") + Quoted("a.bin") + Quoted("c.bin"));
  testing::internal::CaptureStdout();
  ASSERT_TRUE(sCreatePackfile(Dir.Name("p.fpf").c_str(), Dir.Name("def.txt").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  std::vector<uint8_t> pack = sparktest::ReadFile<std::vector<uint8_t>>(Dir.Name8("p.fpf"));
  ASSERT_EQ(pack.size(), 12u + 3 * 20 + 30);
  auto u32 = [&](size_t at) { return uint32_t(pack[at]) | uint32_t(pack[at + 1]) << 8 | uint32_t(pack[at + 2]) << 16 | uint32_t(pack[at + 3]) << 24; };
  EXPECT_EQ(u32(0), 0x42465046u);
  EXPECT_EQ(u32(4), 1u);
  EXPECT_EQ(u32(8), 3u);
  // data in list order right after the directory
  std::vector<uint8_t> a(pack.begin() + 72, pack.begin() + 82), b(pack.begin() + 82, pack.end());
  EXPECT_EQ(a, Pattern(10, 1));
  EXPECT_EQ(b, Pattern(20, 2));
  for(int i = 0; i < 3; i++)
  {
    if(i > 0)
    {
      EXPECT_LT(u32(12 + size_t(i - 1) * 20), u32(12 + size_t(i) * 20));
    }
    EXPECT_EQ(u32(12 + size_t(i) * 20 + 4), 0u);
    EXPECT_EQ(u32(12 + size_t(i) * 20 + 12), u32(12 + size_t(i) * 20 + 16));
  }
}

TEST(PackBuildDeath, BothNamesAreRequired)
{
  EXPECT_EXIT(sCreatePackfile(nullptr, u"d"), testing::ExitedWithCode(1), "Expression: packfilename\n");
  EXPECT_EXIT(sCreatePackfile(u"p", nullptr), testing::ExitedWithCode(1), "Expression: deffilename\n");
}

/****************************************************************************/
/***   The whole road                                                     ***/
/****************************************************************************/

// Record the files opened, write the definition, build the pack, then read the same
// bytes back through the handler chain with the originals gone from the disk.
TEST(PackfileRoundTrip, RecordWriteBuildServe)
{
  TempDir dir;
  CaptureOutput quiet;
  std::filesystem::create_directories(dir.Name8("Scene/Sub"));
  struct F { std::string Name; std::vector<uint8_t> Bytes; };
  std::vector<F> files = {
    {"Scene/Tex.PNG", Pattern(5000, 11)},
    {"Scene/Sub/mesh.pet", Pattern(123, 12)},
    {"music.ogg", Pattern(70000, 13)},
    {"empty.txt", {}},
    {"caf\xC3\xA9.bin", Pattern(9, 14)},                   // é: 8-bit in the definition
    {"\xCE\xA9mega.bin", Pattern(17, 15)},                 // Ω: UTF-8 in the definition
  };
  for(const F &f : files) sparktest::WriteFile(dir.Name8(f.Name), f.Bytes);

  std::u16string def = dir.Name("pack.def");
  std::u16string packName = dir.Name("pack.fpf");
  sAddPackfileLogger(def.c_str());
  // every file read whole, from the disk or from the pack
  auto readEach = [&] {
    for(const F &f : files)
    {
      sFile *file = sOpenFile(dir.Name(f.Name).c_str(), sFA_READ);
      ASSERT_NE(file, nullptr) << f.Name;
      EXPECT_EQ(ReadAll(file), f.Bytes) << f.Name;
      sDELETE(file);
    }
  };
  readEach();
  sFile *again = sOpenFile(dir.Name("music.ogg").c_str(), sFA_READ);   // recorded twice
  sDELETE(again);
  sFile *written = sOpenFile(dir.Name("out.bin").c_str(), sFA_WRITE);   // not recorded
  sDELETE(written);

  sWritePackfileDefinitions();
  std::vector<uint8_t> defBytes = sparktest::ReadFile<std::vector<uint8_t>>(plat::ToUtf8(def));
  ASSERT_GE(defBytes.size(), 3u);
  EXPECT_EQ(defBytes[0], 0xEF);   // a name above 8 bits: UTF-8 with its mark
  std::string defText(defBytes.begin() + 3, defBytes.end());
  EXPECT_EQ(defText.rfind("// Qor's Packfile Definition File (autogenerated)\r\n\r\n", 0), 0u);
  std::string lowerDir;
  for(char c : dir.Path) lowerDir += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
  EXPECT_NE(defText.find("\"" + lowerDir + "/scene/tex.png\"\r\n"), std::string::npos) << defText;
  EXPECT_EQ(sparktest::CountOf(defText, "music.ogg"), 2u);
  EXPECT_EQ(defText.find("out.bin"), std::string::npos);
  EXPECT_NE(defText.find("caf\xC3\xA9.bin"), std::string::npos);
  EXPECT_NE(defText.find("\xCE\xA9mega.bin"), std::string::npos);

  testing::internal::CaptureStdout();
  sBool built = sCreatePackfile(packName.c_str(), def.c_str());
  std::string console = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(built) << console;
  EXPECT_EQ(console, "");

  for(const F &f : files) std::filesystem::remove(dir.Name8(f.Name));
  sAddPackfile(packName.c_str());
  readEach();
  EXPECT_TRUE(sFileExists(dir.Name("scene/sub/MESH.pet").c_str()));

  // built again while it is open: every file now comes from the pack itself, which keeps
  // its contents while the new one is written over it
  std::vector<uint8_t> first = sparktest::ReadFile<std::vector<uint8_t>>(plat::ToUtf8(packName));
  testing::internal::CaptureStdout();
  built = sCreatePackfile(packName.c_str(), def.c_str());
  console = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(built) << console;
  EXPECT_EQ(sparktest::ReadFile<std::vector<uint8_t>>(plat::ToUtf8(packName)), first);
  readEach();
  // writing goes past the pack to the next handler
  sFile *w = sOpenFile(dir.Name("music.ogg").c_str(), sFA_WRITE);
  ASSERT_NE(w, nullptr);
  sDELETE(w);
}
