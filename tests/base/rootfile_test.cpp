// Operating-system files through the root file handler, on real files in a temporary
// folder.
#include "common/check.hpp"
#include "base/app.hpp"
#include "base/rootfile.hpp"
#include "file_test_util.hpp"

#include <algorithm>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace filetest;

namespace
{
class RootFileTest : public FileFixture
{
protected:
  void SetUp() override
  {
    FileFixture::SetUp();
    sInitRootFileHandler();
    Root = static_cast<sRootFileHandler *>(sGetFileHandler(0));
    ASSERT_FALSE(Dir.Path.empty());
  }
  sRootFile *Open(const char *name, sInt mode)
  {
    return static_cast<sRootFile *>(sOpenFile(Dir.Name(name).c_str(), mode));
  }
  std::string Pattern(size_t n)
  {
    std::string s(n, 0);
    for(size_t i = 0; i < n; i++) s[i] = char((i * 131 + i / 251) & 0xff);
    return s;
  }
  TempDir Dir;
  sRootFileHandler *Root = nullptr;
};

}

/****************************************************************************/
/***   Opening, reading, writing                                          ***/
/****************************************************************************/

TEST_F(RootFileTest, ReadsAtItsOwnOffset)
{
  std::string bytes = Pattern(1000);
  WriteFile(Dir.Name8("r.bin"), bytes);
  sRootFile *f = Open("r.bin", sFA_READRANDOM);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->GetSize(), 1000);
  EXPECT_TRUE(f->IsOverlapped);
  char buf[1000];
  ASSERT_TRUE(f->SetOffset(900));
  ASSERT_TRUE(f->Read(buf, 100));
  EXPECT_EQ(std::string(buf, 100), bytes.substr(900));
  EXPECT_EQ(f->GetOffset(), 1000);
  ASSERT_TRUE(f->SetOffset(10));
  ASSERT_TRUE(f->Read(buf, 20));
  EXPECT_EQ(std::string(buf, 20), bytes.substr(10, 20));
  EXPECT_FALSE(f->SetOffset(1001));   // outside: refused, but the file stays good
  EXPECT_FALSE(f->SetOffset(-1));
  ASSERT_TRUE(f->SetOffset(990));
  EXPECT_FALSE(f->Read(buf, 20));     // a short read fails and spoils the file
  EXPECT_EQ(f->GetOffset(), 1000);
  EXPECT_FALSE(f->Ok);
  EXPECT_FALSE(f->Close());           // Close reports the earlier failure
  sDELETE(f);
}

TEST_F(RootFileTest, ReadErrorsAreLoggedWithTheSystemCode)
{
  // the first page of a process is never mapped: reading it through the memory file of
  // the process fails with an input/output error (5)
  LogCapture log;
  sFile *f = sOpenFile(u"/proc/self/mem", sFA_READ);
  if(!f)
    GTEST_SKIP() << "no /proc/self/mem";
  char buf[16];
  EXPECT_FALSE(f->Read(buf, sizeof(buf)));
  EXPECT_TRUE(log.Has("read error: 00000005\n")) << log.Text();
  EXPECT_FALSE(f->Close());
  sDELETE(f);
}

TEST_F(RootFileTest, FindsNamesIgnoringCaseAndBackslashes)
{
  ASSERT_EQ(mkdir(Dir.Name8("Sub").c_str(), 0777), 0);
  WriteFile(Dir.Name8("Sub/Data.TXT"), "abc");
  std::u16string name = plat::ToUtf16(Dir.Path) + u"\\sub\\data.txt";
  sChar *t = sLoadTextFile(name.c_str());
  ASSERT_TRUE(t);
  EXPECT_EQ(Text(t), u"abc");
  sMemFree(t);
  EXPECT_TRUE(sFileExists(name.c_str()));
  EXPECT_TRUE(sCheckFile(name.c_str()));
}

/****************************************************************************/
/***   Mapping and whole files                                            ***/
/****************************************************************************/

TEST_F(RootFileTest, FilesOfTwoGigabytesAreNotLoadedWhole)
{
  ASSERT_TRUE(sparktest::SetFileSize(Dir.Name8("huge.bin"), sparktest::kThreeGiB));
  sFile *f = Open("huge.bin", sFA_READ);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->GetSize(), sS64(3) << 30);
  EXPECT_EQ(f->LoadWhole(), nullptr);
  EXPECT_EQ(f->LoadBuffer, nullptr);
  sDELETE(f);
  // outside input that size is refused as a failed read, with its reason, never fatal
  std::u16string name = Dir.Name("huge.bin");
  sDInt size = 1;
  EXPECT_EQ(sLoadFileData(name.c_str(), &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(Text(sGetFileFailure()), u"it is too large (2 GiB or more)");
  EXPECT_EQ(sLoadTextFile(name.c_str()), nullptr);
}

// A file cut short on the disk while it is read whole, as a picture is (the operator
// replaces it in its folder): cut before the read, the load fails; cut after, what was read
// stays whole. Never a bus error in memory the file lost.
TEST_F(RootFileTest, FileCutShortWhileLoadedWhole)
{
  const std::string bytes = Pattern(256 * 1024);
  for(bool cutFirst : {true, false})
  {
    WriteFile(Dir.Name8("cut.bin"), bytes);
    sFile *f = Open("cut.bin", sFA_READ);
    ASSERT_TRUE(f && (!cutFirst || sparktest::SetFileSize(Dir.Name8("cut.bin"), 4096)));
    const sU8 *whole = f->LoadWhole();
    ASSERT_TRUE(sparktest::SetFileSize(Dir.Name8("cut.bin"), 4096));
    ASSERT_EQ(whole == nullptr, cutFirst);
    if(whole)
    {
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char *>(whole)));
    }
    sDELETE(f);
  }
}

/****************************************************************************/
/***   Asynchronous reads                                                 ***/
/****************************************************************************/

TEST_F(RootFileTest, AllEntriesFromManyThreads)
{
  std::string bytes = Pattern(64 * 1024);
  WriteFile(Dir.Name8("t.bin"), bytes);
  // eight loader threads, sixteen reads in flight each: every entry in use at once
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for(int t = 0; t < 8; t++)
    threads.emplace_back([&, t] {
      sFile *f = sOpenFile(Dir.Name("t.bin").c_str(), sFA_READ);
      if(!f) { bad++; return; }
      for(int round = 0; round < 20; round++)
      {
        sInt h[16];
        for(int i = 0; i < 16; i++) h[i] = f->ReadAsync((t * 16 + i) * 256, 256, nullptr);
        for(int i = 0; i < 16; i++)
        {
          while(!f->AsyncDone(h[i])) std::this_thread::yield();
          if(memcmp(f->AsyncData(h[i]), bytes.data() + (t * 16 + i) * 256, 256)) bad++;
          f->EndAsync(h[i]);
        }
      }
      sDELETE(f);
    });
  for(auto &th : threads) th.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(Root->CountEntriesInUse(), 0);
}

TEST_F(RootFileTest, FilesCloseWhileOtherThreadsStartReads)
{
  std::string bytes = Pattern(4096);
  WriteFile(Dir.Name8("c.bin"), bytes);
  // closing looks through the shared entries for its own reads while other threads take
  // entries for theirs: each closing gives back exactly the reads it left open
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for(int t = 0; t < 4; t++)
    threads.emplace_back([&, t] {
      for(int round = 0; round < 100; round++)
      {
        sFile *f = sOpenFile(Dir.Name("c.bin").c_str(), sFA_READ);
        if(!f) { bad++; return; }
        sInt kept = f->ReadAsync(t * 512, 512, nullptr);
        sInt left = f->ReadAsync(t * 512 + 256, 16, nullptr);
        (void)left;   // the closing ends it
        while(!f->AsyncDone(kept)) std::this_thread::yield();
        if(memcmp(f->AsyncData(kept), bytes.data() + t * 512, 512)) bad++;
        f->EndAsync(kept);
        sDELETE(f);
      }
    });
  for(auto &th : threads) th.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(Root->CountEntriesInUse(), 0);
}

TEST_F(RootFileTest, MisuseIsFatal)
{
  WriteFile(Dir.Name8("a.bin"), Pattern(1024));
  std::u16string name = Dir.Name("a.bin");
  struct Case { sInt Mode; void (*Misuse)(sFile *); const char *Says; };
  const Case cases[] = {
    {sFA_READ, [](sFile *f) { f->ReadAsync(1000, 25, nullptr); }, kCheckFailed},
    {sFA_READ, [](sFile *f) { f->AsyncDone(128); }, kCheckFailed},
    {sFA_READ, [](sFile *f) { sInt h = f->ReadAsync(0, 8, nullptr); f->EndAsync(h), f->EndAsync(h); }, kCheckFailed},
    {sFA_READ, [](sFile *f) { f->Write("x", 1); }, kCheckFailed},
    {sFA_READWRITE, [](sFile *f) { f->Read(nullptr, sDInt(0x80000000)); }, kCheckFailed},
    {sFA_READ, [](sFile *f) { f->Close(), f->Close(); }, "Expression: File!=\\(\\(HANDLE\\)\\(LONG_PTR\\)-1\\)"},
    {sFA_WRITEAPPEND, [](sFile *f) { f->AsyncDone(f->ReadAsync(0, 8, nullptr)); }, "read error during async io"},
  };
  for(const Case &c : cases)
    EXPECT_EXIT(c.Misuse(sOpenFile(name.c_str(), c.Mode)), testing::ExitedWithCode(1), c.Says);
  EXPECT_EXIT(sOpenFile(name.c_str(), 6), testing::ExitedWithCode(1), "unknown access mode 6");
}

// A save that cannot finish is a failed save, never a dead program: past a file-size
// limit (which would end the process with SIGXFSZ) and onto a read-only file, which the
// log names as what it is.
TEST_F(RootFileTest, SavesThatCannotFinishReportFailure)
{
  std::u16string big = Dir.Name("big.bin");
  std::string data = Pattern(64 * 1024);
  auto limited = [&] {
    rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(sSaveFileData(big.c_str(), data.data(), sDInt(data.size()), 1) ? 1 : 0);
  };
  EXPECT_EXIT(limited(), testing::ExitedWithCode(0), "");

  WriteFile(Dir.Name8("ro.Spk"), "old");
  ASSERT_EQ(chmod(Dir.Path.c_str(), 0755), 0);
  ASSERT_EQ(chmod(Dir.Name8("ro.Spk").c_str(), 0444), 0);
  std::u16string ro = Dir.Name("ro.Spk");
  auto readOnly = [&] {
    if(getuid() == 0 && setuid(65534) != 0) _exit(3);   // as root nothing is read-only
    LogCapture log;
    sBool saved = sSaveFileData(ro.c_str(), "new", 3);
    _exit(saved ? 1 : log.Has("File not Found") ? 2 : log.Has("Permission denied") ? 0 : 4);
  };
  EXPECT_EXIT(readOnly(), testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile(Dir.Name8("ro.Spk")), "old");
}
