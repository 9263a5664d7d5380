#include "platform/files/files.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
// A fresh temporary folder per test, removed afterwards without the code under test.
class FilesTest : public testing::Test
{
protected:
  void SetUp() override
  {
    std::string templ = (fs::temp_directory_path() / "sparkvane-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    Root = templ;
  }
  void TearDown() override
  {
    std::error_code ec;
    fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Root, ec);
  }
  std::string P(const std::string &name) const { return Root + "/" + name; }
  void Put(const std::string &name, const std::string &data) const
  {
    fs::create_directories(fs::path(P(name)).parent_path());
    FILE *f = fopen(P(name).c_str(), "wb");
    ASSERT_NE(f, nullptr) << name;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
  }
  std::string Get(const std::string &name) const
  {
    FILE *f = fopen(P(name).c_str(), "rb");
    if(!f) return "<missing>";
    std::string s;
    char buffer[4096];
    size_t n;
    while((n = fread(buffer, 1, sizeof(buffer), f)) > 0) s.append(buffer, n);
    fclose(f);
    return s;
  }
  static std::string Pattern(size_t size)
  {
    std::string s(size, 0);
    for(size_t i = 0; i < size; i++) s[i] = char((i * 7 + i / 251) & 0xff);
    return s;
  }
  std::string Root;
};
}

/****************************************************************************/
/***   Reading and writing                                                ***/
/****************************************************************************/

TEST_F(FilesTest, WrittenDataReadsBackWithShortReadAtTheEnd)
{
  plat::File f;
  std::string error;
  ASSERT_TRUE(f.Open(P("a.bin").c_str(), plat::kFileWrite, &error)) << error;
  EXPECT_EQ(f.Mode(), plat::kFileWrite);
  EXPECT_EQ(f.Write("hello ", 6), 6);
  EXPECT_EQ(f.Write("world", 5), 5);
  EXPECT_EQ(f.Tell(), 11);
  EXPECT_EQ(f.Size(), 11);
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.IsOpen());

  ASSERT_TRUE(f.Open(P("a.bin").c_str(), plat::kFileRead));
  char buffer[32] = {};
  EXPECT_EQ(f.Read(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(f.Read(buffer, 32), 6);  // only what is left
  EXPECT_EQ(std::string(buffer, 6), " world");
  EXPECT_EQ(f.Read(buffer, 32), 0);
  EXPECT_TRUE(f.Seek(6));
  EXPECT_EQ(f.Read(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  std::string werror;
  EXPECT_EQ(f.Write("x", 1, &werror), -1);  // opened for reading
  EXPECT_FALSE(werror.empty());
}

TEST_F(FilesTest, PositionedReadsLeaveThePositionAlone)
{
  std::string data = Pattern(100000);
  Put("r.bin", data);
  plat::File f;
  ASSERT_TRUE(f.Open(P("r.bin").c_str(), plat::kFileReadRandom));
  std::vector<char> buffer(5000);
  for(uint64_t offset : {0ull, 1ull, 4095ull, 4096ull, 77777ull, 95000ull})
  {
    int64_t want = int64_t(std::min<uint64_t>(5000, data.size() - offset));
    ASSERT_EQ(f.ReadAt(buffer.data(), 5000, offset), want) << offset;
    EXPECT_EQ(memcmp(buffer.data(), data.data() + offset, size_t(want)), 0) << offset;
  }
  EXPECT_EQ(f.ReadAt(buffer.data(), 10, 200000), 0);
  EXPECT_EQ(f.Tell(), 0);
}

TEST_F(FilesTest, WriteModeTruncatesReadWriteKeeps)
{
  Put("t.bin", "0123456789");
  {
    plat::File f;
    ASSERT_TRUE(f.Open(P("t.bin").c_str(), plat::kFileReadWrite));
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(f.WriteAt("ab", 2, 4), 2);
    EXPECT_EQ(f.Tell(), 0);
    char c[3] = {};
    EXPECT_EQ(f.Read(c, 3), 3);
    EXPECT_EQ(std::string(c, 3), "012");
  }
  EXPECT_EQ(Get("t.bin"), "0123ab6789");
  {
    plat::File f;
    ASSERT_TRUE(f.Open(P("t.bin").c_str(), plat::kFileWrite));
    EXPECT_EQ(f.Size(), 0);
  }
  EXPECT_EQ(Get("t.bin"), "");
  {
    plat::File f;  // readwrite creates a missing file
    ASSERT_TRUE(f.Open(P("new.bin").c_str(), plat::kFileReadWrite));
    EXPECT_EQ(f.Size(), 0);
  }
  EXPECT_EQ(Get("new.bin"), "");
}

TEST_F(FilesTest, AppendModeWritesAtTheEndWhateverThePosition)
{
  Put("log.txt", "abc");
  plat::File f;
  ASSERT_TRUE(f.Open(P("log.txt").c_str(), plat::kFileWriteAppend));
  EXPECT_EQ(f.Tell(), 3);
  EXPECT_EQ(f.Write("def", 3), 3);
  EXPECT_TRUE(f.Seek(0));
  EXPECT_EQ(f.Write("g", 1), 1);
  EXPECT_EQ(f.Tell(), 7);
  std::string error;
  EXPECT_EQ(f.WriteAt("zz", 2, 0, &error), -1);
  EXPECT_NE(error.find("appending"), std::string::npos);
  f.Close();
  EXPECT_EQ(Get("log.txt"), "abcdefg");

  ASSERT_TRUE(f.Open(P("fresh.txt").c_str(), plat::kFileWriteAppend));
  EXPECT_EQ(f.Tell(), 0);
  EXPECT_EQ(f.Write("1", 1), 1);
  f.Close();
  EXPECT_EQ(Get("fresh.txt"), "1");
}

TEST_F(FilesTest, SetSizeCutsAndExtendsWithoutMovingThePosition)
{
  Put("s.bin", "0123456789");
  plat::File f;
  ASSERT_TRUE(f.Open(P("s.bin").c_str(), plat::kFileReadWrite));
  ASSERT_TRUE(f.Seek(8));
  EXPECT_TRUE(f.SetSize(4));
  EXPECT_EQ(f.Size(), 4);
  EXPECT_EQ(f.Tell(), 8);
  EXPECT_TRUE(f.SetSize(6));
  f.Close();
  EXPECT_EQ(Get("s.bin"), std::string("0123\0\0", 6));
}

TEST_F(FilesTest, FailuresAreReportedNotFatal)
{
  plat::File f;
  std::string error;
  EXPECT_FALSE(f.Open(P("missing.bin").c_str(), plat::kFileRead, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_NE(error.find("missing.bin"), std::string::npos) << error;
  EXPECT_FALSE(f.Open(P("missing.bin").c_str(), plat::kFileReadRandom));
  EXPECT_FALSE(fs::exists(P("missing.bin")));  // reading never creates

  fs::create_directory(P("folder"));
  error.clear();
  EXPECT_FALSE(f.Open(P("folder").c_str(), plat::kFileRead, &error));
  EXPECT_NE(error.find("directory"), std::string::npos) << error;
  EXPECT_FALSE(f.Open(P("folder").c_str(), plat::kFileReadWrite));

  Put("x.bin", "x");
  error.clear();
  EXPECT_FALSE(f.Open(P("x.bin").c_str(), 0, &error));
  EXPECT_FALSE(f.Open(P("x.bin").c_str(), 6, &error));
  EXPECT_NE(error.find("access mode"), std::string::npos);
  EXPECT_FALSE(f.Open("", plat::kFileRead));
  EXPECT_FALSE(f.Open(nullptr, plat::kFileRead));
  EXPECT_FALSE(f.Open(P("nofolder/x.bin").c_str(), plat::kFileWrite));

  char c;
  EXPECT_EQ(f.Read(&c, 1), -1);
  EXPECT_EQ(f.Write(&c, 1), -1);
  EXPECT_EQ(f.ReadAt(&c, 1, 0), -1);
  EXPECT_EQ(f.Size(), -1);
  EXPECT_EQ(f.Tell(), -1);
  EXPECT_FALSE(f.Seek(0));
  EXPECT_FALSE(f.SetSize(0));
  EXPECT_EQ(f.Map(0, 1), nullptr);
  EXPECT_EQ(f.ReadAsync(0, 1, &c), 0u);
  EXPECT_FALSE(f.Close());

  ASSERT_TRUE(f.Open(P("x.bin").c_str(), plat::kFileRead));
  EXPECT_FALSE(f.Open(P("x.bin").c_str(), plat::kFileRead, &error));  // already open
  EXPECT_FALSE(f.SetSize(0));  // read-only descriptor
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(Get("x.bin"), "x");

  EXPECT_STREQ(plat::FileModeName(1), "read");
  EXPECT_STREQ(plat::FileModeName(2), "readrandom");
  EXPECT_STREQ(plat::FileModeName(3), "write");
  EXPECT_STREQ(plat::FileModeName(4), "writeappend");
  EXPECT_STREQ(plat::FileModeName(5), "readwrite");
  EXPECT_EQ(plat::FileModeName(0), nullptr);
  EXPECT_EQ(plat::FileModeName(6), nullptr);
}

/****************************************************************************/
/***   Mapping                                                            ***/
/****************************************************************************/

TEST_F(FilesTest, MapReturnsTheAskedOffsetOfAnUnalignedRange)
{
  std::string data = Pattern(3 * 4096 + 100);
  Put("m.bin", data);
  plat::File f;
  ASSERT_TRUE(f.Open(P("m.bin").c_str(), plat::kFileRead));
  const char *view = static_cast<const char *>(f.Map(4097, 5000));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(memcmp(view, data.data() + 4097, 5000), 0);
  // up to the last byte
  const char *tail = static_cast<const char *>(f.Map(data.size() - 7, 7));
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(memcmp(tail, data.data() + data.size() - 7, 7), 0);
  const char *whole = static_cast<const char *>(f.Map(0, data.size()));
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(memcmp(whole, data.data(), data.size()), 0);

  std::string error;
  EXPECT_EQ(f.Map(data.size() - 7, 8, &error), nullptr);  // one byte past the end
  EXPECT_NE(error.find("not inside"), std::string::npos);
  EXPECT_EQ(f.Map(data.size() + 4096, 1), nullptr);
  EXPECT_EQ(f.Map(0, 0), nullptr);
  EXPECT_EQ(f.Map(UINT64_MAX - 2, 8), nullptr);  // no wrap-around
  f.Unmap();
  f.Unmap();
}

TEST_F(FilesTest, MapOfAFileOpenedForWritingFails)
{
  plat::File f;
  ASSERT_TRUE(f.Open(P("w.bin").c_str(), plat::kFileWrite));
  ASSERT_EQ(f.Write("abcdef", 6), 6);
  std::string error;
  EXPECT_EQ(f.Map(0, 6, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

/****************************************************************************/
/***   Asynchronous reads                                                 ***/
/****************************************************************************/

TEST_F(FilesTest, ManyOutstandingAsyncReadsAllCompleteWithTheRightData)
{
  std::string data = Pattern(4 << 20);
  Put("big.bin", data);
  plat::File f;
  ASSERT_TRUE(f.Open(P("big.bin").c_str(), plat::kFileRead));
  std::mt19937 rng(7);
  struct Job { uint64_t Offset, Size, Ticket; std::vector<char> Dest; };
  std::vector<Job> jobs(300);
  for(Job &j : jobs)
  {
    j.Offset = rng() % data.size();
    j.Size = 1 + rng() % 70000;
    j.Dest.assign(j.Size, char(0x55));
    j.Ticket = f.ReadAsync(j.Offset, j.Size, j.Dest.data());
    ASSERT_NE(j.Ticket, 0u);
  }
  // poll some, wait for the rest
  for(size_t i = 0; i < jobs.size(); i++)
  {
    Job &j = jobs[i];
    int64_t bytes = -1;
    if(i % 2 == 0)
    {
      plat::AsyncState s;
      while((s = f.AsyncStatus(j.Ticket, &bytes)) == plat::AsyncState::Pending) std::this_thread::yield();
      ASSERT_EQ(s, plat::AsyncState::Done);
      // still there to be collected
      EXPECT_EQ(f.AsyncStatus(j.Ticket), plat::AsyncState::Done);
    }
    ASSERT_EQ(f.AsyncWait(j.Ticket, &bytes), plat::AsyncState::Done);
    uint64_t want = std::min<uint64_t>(j.Size, data.size() - j.Offset);
    ASSERT_EQ(uint64_t(bytes), want) << i;
    EXPECT_EQ(memcmp(j.Dest.data(), data.data() + j.Offset, want), 0) << i;
    // a read past the end leaves the rest of the buffer alone
    for(uint64_t k = want; k < j.Size; k++) ASSERT_EQ(j.Dest[k], char(0x55));
    EXPECT_EQ(f.AsyncStatus(j.Ticket), plat::AsyncState::Unknown);  // spent
    EXPECT_EQ(f.AsyncWait(j.Ticket), plat::AsyncState::Unknown);
  }
}

TEST_F(FilesTest, AsyncTicketsBelongToTheirFileAndCloseWaitsForReads)
{
  std::string a = Pattern(1 << 20), b = std::string(1 << 20, 'b');
  Put("a.bin", a);
  Put("b.bin", b);
  plat::File fa, fb;
  ASSERT_TRUE(fa.Open(P("a.bin").c_str(), plat::kFileReadRandom));
  ASSERT_TRUE(fb.Open(P("b.bin").c_str(), plat::kFileReadRandom));
  std::vector<char> da(a.size()), db(b.size());
  uint64_t ta = fa.ReadAsync(0, a.size(), da.data());
  uint64_t tb = fb.ReadAsync(0, b.size(), db.data());
  ASSERT_NE(ta, 0u);
  ASSERT_NE(tb, 0u);
  EXPECT_NE(ta, tb);
  EXPECT_EQ(fa.AsyncWait(tb), plat::AsyncState::Unknown);
  EXPECT_EQ(fb.AsyncStatus(ta), plat::AsyncState::Unknown);
  EXPECT_EQ(fa.AsyncStatus(0), plat::AsyncState::Unknown);
  EXPECT_EQ(fa.AsyncWait(ta), plat::AsyncState::Done);
  EXPECT_EQ(memcmp(da.data(), a.data(), a.size()), 0);

  // close with reads outstanding: they finish before the descriptor goes
  std::vector<std::vector<char>> dests(40, std::vector<char>(b.size() / 40));
  for(size_t i = 0; i < dests.size(); i++) ASSERT_NE(fb.ReadAsync(i * dests[i].size(), dests[i].size(), dests[i].data()), 0u);
  EXPECT_TRUE(fb.Close());
  for(auto &d : dests) EXPECT_EQ(std::string(d.begin(), d.end()), std::string(d.size(), 'b'));
  EXPECT_EQ(fb.AsyncWait(tb), plat::AsyncState::Unknown);  // went with the file
}

TEST_F(FilesTest, AsyncReadsFromSeveralThreadsAtOnce)
{
  std::string data = Pattern(1 << 20);
  Put("shared.bin", data);
  std::atomic<int> bad{0};
  auto reader = [&](int seed) {
    plat::File f;
    if(!f.Open(P("shared.bin").c_str(), plat::kFileReadRandom))
    {
      bad++;
      return;
    }
    std::vector<char> buffer(4096);
    for(int i = 0; i < 100; i++)
    {
      uint64_t offset = uint64_t((seed * 7919 + i * 104729) % (data.size() - 4096));
      uint64_t t = f.ReadAsync(offset, 4096, buffer.data());
      int64_t bytes = 0;
      if(f.AsyncWait(t, &bytes) != plat::AsyncState::Done || bytes != 4096 ||
         memcmp(buffer.data(), data.data() + offset, 4096) != 0)
        bad++;
    }
  };
  std::vector<std::thread> threads;
  for(int i = 0; i < 4; i++) threads.emplace_back(reader, i);
  for(auto &t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST_F(FilesTest, AsyncReadIsRefusedWithoutDestinationOrOnWriteFiles)
{
  Put("q.bin", "data");
  plat::File f;
  ASSERT_TRUE(f.Open(P("q.bin").c_str(), plat::kFileRead));
  std::string error;
  EXPECT_EQ(f.ReadAsync(0, 4, nullptr, &error), 0u);
  EXPECT_NE(error.find("destination"), std::string::npos);
  f.Close();
  ASSERT_TRUE(f.Open(P("q.bin").c_str(), plat::kFileWriteAppend));
  char c[4];
  EXPECT_EQ(f.ReadAsync(0, 4, c, &error), 0u);
}

/****************************************************************************/
/***   Names                                                              ***/
/****************************************************************************/

TEST(Paths, SeparatorsAreNormalized)
{
  EXPECT_EQ(plat::NormalizePath("data\\tex\\\\foo.png"), "data/tex/foo.png");
  EXPECT_EQ(plat::NormalizePath("/a//b/"), "/a/b/");
  EXPECT_EQ(plat::NormalizePath(""), "");
  EXPECT_EQ(plat::NormalizePath(nullptr), "");
}

TEST_F(FilesTest, NamesAreFoundIgnoringCase)
{
  Put("data/tex/foo.png", "png!");
  plat::File f;
  std::string error;
  ASSERT_TRUE(f.Open(P("Data/TEX/Foo.PNG").c_str(), plat::kFileRead, &error)) << error;
  EXPECT_EQ(f.Path(), P("data/tex/foo.png"));
  char buffer[4];
  EXPECT_EQ(f.Read(buffer, 4), 4);
  f.Close();

  std::string windows = Root + "\\DATA\\tex\\FOO.png";
  ASSERT_TRUE(f.Open(windows.c_str(), plat::kFileReadRandom));
  f.Close();
  EXPECT_EQ(plat::ResolvePath(P("DATA/Tex/foo.PNG").c_str()), P("data/tex/foo.png"));
  // parts that do not exist keep their spelling below the parts that do
  EXPECT_EQ(plat::ResolvePath(P("Data/Tex/Sub/New.png").c_str()), P("data/tex/Sub/New.png"));
  EXPECT_EQ(plat::ResolvePath(P("data/tex/../TEX/foo.png").c_str()), P("data/tex/../tex/foo.png"));

  // a file created through a differently spelled folder lands in the existing folder
  ASSERT_TRUE(f.Open(P("DATA/Tex/Bar.png").c_str(), plat::kFileWrite));
  f.Close();
  EXPECT_TRUE(fs::exists(P("data/tex/Bar.png")));
  EXPECT_FALSE(fs::exists(P("DATA")));
  // writing an existing file through another spelling replaces it, never a twin
  ASSERT_TRUE(f.Open(P("data/TEX/FOO.PNG").c_str(), plat::kFileWrite));
  EXPECT_EQ(f.Write("new", 3), 3);
  f.Close();
  EXPECT_EQ(Get("data/tex/foo.png"), "new");
  EXPECT_FALSE(fs::exists(P("data/TEX")));
  EXPECT_FALSE(fs::exists(P("data/tex/FOO.PNG")));

  // relative names resolve from the current folder
  std::string saved = plat::CurrentDir();
  ASSERT_TRUE(plat::ChangeDir(P("DATA").c_str()));
  EXPECT_EQ(plat::CurrentDir(), fs::canonical(P("data")).string());
  EXPECT_EQ(plat::ResolvePath("Tex\\Foo.png"), "tex/foo.png");
  EXPECT_TRUE(plat::PathExists("TEX/FOO.PNG"));
  ASSERT_TRUE(plat::ChangeDir(saved.c_str()));
  std::string error2;
  EXPECT_FALSE(plat::ChangeDir(P("nowhere").c_str(), &error2));
  EXPECT_FALSE(error2.empty());
  EXPECT_EQ(plat::CurrentDir(), saved);
}

TEST_F(FilesTest, NonAsciiNamesFoldToo)
{
  Put("m\xc3\xa9lange/\xc3\x84pfel.txt", "fruit");  // mélange/Äpfel.txt
  std::string upper = P("M\xc3\x89LANGE/\xc3\xa4PFEL.TXT");
  plat::File f;
  if(!f.Open(upper.c_str(), plat::kFileRead)) GTEST_SKIP() << "no Unicode case tables here";
  EXPECT_EQ(f.Path(), P("m\xc3\xa9lange/\xc3\x84pfel.txt"));
}

/****************************************************************************/
/***   Listings                                                           ***/
/****************************************************************************/

TEST_F(FilesTest, ListingIsSortedAndStarDotStarMatchesNamesWithoutDot)
{
  Put("dir/b.txt", "bb");
  Put("dir/README", "readme!");
  Put("dir/a.PNG", "a");
  Put("dir/C.png", "ccc");
  Put("dir/x[1].txt", "");
  Put("dir/.hidden", "h");
  fs::create_directory(P("dir/sub"));

  std::vector<plat::DirEntry> e;
  std::string error;
  ASSERT_TRUE(plat::ListDir(P("dir").c_str(), "*.*", &e, &error)) << error;
  std::vector<std::string> names;
  for(auto &x : e) names.push_back(x.Name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.PNG", "b.txt", "C.png", "README", "sub", "x[1].txt"}));
  ASSERT_EQ(e.size(), 7u);
  EXPECT_EQ(e[4].Size, 7u);
  EXPECT_FALSE(e[4].Directory);
  EXPECT_TRUE(e[5].Directory);
  EXPECT_EQ(e[5].Size, 0u);

  // the same with no pattern and with a trailing separator on the folder
  std::vector<plat::DirEntry> again;
  ASSERT_TRUE(plat::ListDir((P("dir") + "/").c_str(), nullptr, &again));
  EXPECT_EQ(again.size(), 7u);

  ASSERT_TRUE(plat::ListDir(P("dir").c_str(), "*.png", &e));
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].Name, "a.PNG");
  EXPECT_EQ(e[1].Name, "C.png");

  ASSERT_TRUE(plat::ListDir(P("dir").c_str(), "?.TXT", &e));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].Name, "b.txt");
  // brackets are plain characters in names
  ASSERT_TRUE(plat::ListDir(P("dir").c_str(), "x[1].txt", &e));
  ASSERT_EQ(e.size(), 1u);
  ASSERT_TRUE(plat::ListDir(P("dir").c_str(), "readme.*", &e));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].Name, "README");
  ASSERT_TRUE(plat::ListDir(P("dir").c_str(), "*.jpg", &e));
  EXPECT_TRUE(e.empty());
  // the folder itself may be spelled differently
  ASSERT_TRUE(plat::ListDir(P("DIR").c_str(), "*", &e));
  EXPECT_EQ(e.size(), 7u);
}

TEST_F(FilesTest, ListingFlagsSizesAndTimes)
{
  Put("d/ro.txt", "12345");
  Put("d/rw.txt", "");
  chmod(P("d/ro.txt").c_str(), 0444);
  timespec times[2] = {{1000000000, 0}, {1000000000, 500}};  // 2001-09-09 01:46:40 UTC
  utimensat(AT_FDCWD, P("d/ro.txt").c_str(), times, 0);
  ASSERT_EQ(symlink(P("d/ro.txt").c_str(), P("d/link").c_str()), 0);
  ASSERT_EQ(symlink(P("d/nothing").c_str(), P("d/dangling").c_str()), 0);

  std::vector<plat::DirEntry> e;
  ASSERT_TRUE(plat::ListDir(P("d").c_str(), "*.*", &e));
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].Name, "dangling");
  EXPECT_TRUE(e[0].SymbolicLink);
  EXPECT_EQ(e[1].Name, "link");
  EXPECT_TRUE(e[1].SymbolicLink);
  EXPECT_EQ(e[1].Size, 5u);  // what it points to
  EXPECT_EQ(e[2].Name, "ro.txt");
  EXPECT_TRUE(e[2].ReadOnly);
  EXPECT_FALSE(e[2].SymbolicLink);
  EXPECT_EQ(e[2].LastWrite, 116444736000000000ull + 10000000000000000ull + 5u);
  EXPECT_FALSE(e[3].ReadOnly);

  plat::DirEntry info;
  ASSERT_TRUE(plat::GetFileInfo(P("D/RO.TXT").c_str(), &info));
  EXPECT_EQ(info.Name, "ro.txt");
  EXPECT_EQ(info.Size, 5u);
  EXPECT_TRUE(info.ReadOnly);
  ASSERT_TRUE(plat::SetReadOnly(P("d/ro.txt").c_str(), false));
  ASSERT_TRUE(plat::GetFileInfo(P("d/ro.txt").c_str(), &info));
  EXPECT_FALSE(info.ReadOnly);
  ASSERT_TRUE(plat::SetReadOnly(P("d/ro.txt").c_str(), true));
  ASSERT_TRUE(plat::GetFileInfo(P("d/ro.txt").c_str(), &info));
  EXPECT_TRUE(info.ReadOnly);
  std::string error;
  EXPECT_FALSE(plat::GetFileInfo(P("d/none").c_str(), &info, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(plat::SetReadOnly(P("d/none").c_str(), true));
}

TEST_F(FilesTest, EmptyAndMissingFolders)
{
  fs::create_directory(P("empty"));
  std::vector<plat::DirEntry> e(3);
  EXPECT_TRUE(plat::ListDir(P("empty").c_str(), "*.*", &e));
  EXPECT_TRUE(e.empty());
  std::string error;
  e.resize(2);
  EXPECT_FALSE(plat::ListDir(P("missing").c_str(), "*.*", &e, &error));
  EXPECT_TRUE(e.empty());
  EXPECT_NE(error.find("missing"), std::string::npos);
  Put("file", "x");
  EXPECT_FALSE(plat::ListDir(P("file").c_str(), "*", &e));
}

TEST_F(FilesTest, FindAndExistenceWithWildcards)
{
  Put("w/one.pic", "1");
  Put("w/two.pic", "2");
  Put("w/three.bmp", "3");
  std::vector<plat::DirEntry> e;
  ASSERT_TRUE(plat::FindFiles((Root + "\\W\\*.PIC").c_str(), &e));
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].Name, "one.pic");
  ASSERT_TRUE(plat::FindFiles(P("w").c_str(), &e));  // a plain name finds itself
  ASSERT_EQ(e.size(), 1u);
  EXPECT_TRUE(e[0].Directory);
  ASSERT_TRUE(plat::FindFiles((P("w") + "/").c_str(), &e));
  EXPECT_EQ(e.size(), 1u);
  EXPECT_FALSE(plat::FindFiles("", &e));

  EXPECT_TRUE(plat::PathExists(P("w/*.bmp").c_str()));
  EXPECT_FALSE(plat::PathExists(P("w/*.jpg").c_str()));
  EXPECT_TRUE(plat::PathExists(P("W/Three.BMP").c_str()));
  EXPECT_TRUE(plat::PathExists(P("w").c_str()));
  EXPECT_FALSE(plat::PathExists(P("w/four.bmp").c_str()));
  EXPECT_FALSE(plat::PathExists(""));

  EXPECT_TRUE(plat::CanOpenForReading(P("w").c_str()));
  EXPECT_TRUE(plat::CanOpenForReading(P("w/ONE.pic").c_str()));
  EXPECT_FALSE(plat::CanOpenForReading(P("w/none.pic").c_str()));
}

/****************************************************************************/
/***   Folders, copies and deletions                                      ***/
/****************************************************************************/

TEST_F(FilesTest, MakeRemoveAndDelete)
{
  std::string error;
  EXPECT_TRUE(plat::MakeDir(P("made").c_str(), &error)) << error;
  EXPECT_TRUE(fs::is_directory(P("made")));
  EXPECT_FALSE(plat::MakeDir(P("MADE").c_str()));  // exists in another spelling
  EXPECT_FALSE(fs::exists(P("MADE")));
  EXPECT_FALSE(plat::MakeDir(P("a/b/c").c_str()));
  Put("made/f.txt", "f");
  EXPECT_FALSE(plat::RemoveDir(P("made").c_str(), &error));  // not empty
  EXPECT_FALSE(plat::DeleteFile(P("made").c_str(), &error));  // a folder
  EXPECT_TRUE(fs::exists(P("made/f.txt")));
  EXPECT_TRUE(plat::DeleteFile(P("Made/F.TXT").c_str()));
  EXPECT_FALSE(fs::exists(P("made/f.txt")));
  EXPECT_FALSE(plat::DeleteFile(P("made/f.txt").c_str(), &error));
  EXPECT_TRUE(plat::RemoveDir(P("made").c_str()));
  EXPECT_FALSE(fs::exists(P("made")));
  EXPECT_FALSE(plat::RemoveDir(P("made").c_str()));
}

TEST_F(FilesTest, CopyFileKeepsDataAndPermissionsAndNeverHalfCopies)
{
  std::string data = Pattern(3 << 20);
  Put("src.bin", data);
  chmod(P("src.bin").c_str(), 0640);
  std::string error;
  ASSERT_TRUE(plat::CopyFile(P("SRC.bin").c_str(), P("dst.bin").c_str(), true, &error)) << error;
  EXPECT_EQ(Get("dst.bin"), data);
  struct stat st;
  ASSERT_EQ(stat(P("dst.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  Put("other.bin", "other");
  EXPECT_FALSE(plat::CopyFile(P("other.bin").c_str(), P("dst.bin").c_str(), true, &error));
  EXPECT_EQ(Get("dst.bin"), data);
  EXPECT_TRUE(plat::CopyFile(P("other.bin").c_str(), P("dst.bin").c_str(), false));
  EXPECT_EQ(Get("dst.bin"), "other");

  // onto itself, spelled differently: refused, the data survives
  error.clear();
  EXPECT_FALSE(plat::CopyFile(P("src.bin").c_str(), P("Src.BIN").c_str(), false, &error));
  EXPECT_NE(error.find("same file"), std::string::npos) << error;
  EXPECT_EQ(Get("src.bin"), data);

  EXPECT_FALSE(plat::CopyFile(P("none.bin").c_str(), P("none2.bin").c_str(), false));
  EXPECT_FALSE(fs::exists(P("none2.bin")));
  fs::create_directory(P("folder"));
  EXPECT_FALSE(plat::CopyFile(P("folder").c_str(), P("f2").c_str(), false));
  EXPECT_FALSE(plat::CopyFile(P("src.bin").c_str(), P("folder").c_str(), false));
  EXPECT_FALSE(plat::CopyFile(P("src.bin").c_str(), P("nofolder/x.bin").c_str(), false));

  // nothing but the files we made: no temporaries left behind
  std::vector<std::string> names;
  for(auto &entry : fs::directory_iterator(Root)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dst.bin", "folder", "other.bin", "src.bin"}));
}

TEST_F(FilesTest, TreesCopyAndDeleteWithoutFollowingLinksOutside)
{
  Put("outside/keep.txt", "precious");
  Put("outside/deep/keep2.txt", "precious too");
  Put("tree/a/b/file.txt", "leaf");
  Put("tree/top.txt", "top");
  ASSERT_EQ(symlink(P("outside").c_str(), P("tree/a/dirlink").c_str()), 0);
  ASSERT_EQ(symlink("../../outside/keep.txt", P("tree/a/b/filelink").c_str()), 0);

  std::string error;
  ASSERT_TRUE(plat::CopyTree(P("Tree").c_str(), P("copy").c_str(), &error)) << error;
  EXPECT_EQ(Get("copy/a/b/file.txt"), "leaf");
  EXPECT_EQ(Get("copy/top.txt"), "top");
  EXPECT_TRUE(fs::is_symlink(P("copy/a/dirlink")));
  EXPECT_EQ(fs::read_symlink(P("copy/a/dirlink")), fs::path(P("outside")));
  EXPECT_TRUE(fs::is_symlink(P("copy/a/b/filelink")));
  EXPECT_EQ(fs::read_symlink(P("copy/a/b/filelink")), fs::path("../../outside/keep.txt"));

  // into itself: refused before anything is made
  EXPECT_FALSE(plat::CopyTree(P("tree").c_str(), P("tree/a/inner").c_str(), &error));
  EXPECT_FALSE(fs::exists(P("tree/a/inner")));
  EXPECT_FALSE(plat::CopyTree(P("tree").c_str(), P("TREE").c_str()));

  ASSERT_TRUE(plat::DeleteTree(P("copy").c_str(), &error)) << error;
  ASSERT_TRUE(plat::DeleteTree(P("TREE").c_str(), &error)) << error;
  EXPECT_FALSE(fs::exists(P("copy")));
  EXPECT_FALSE(fs::exists(P("tree")));
  EXPECT_EQ(Get("outside/keep.txt"), "precious");
  EXPECT_EQ(Get("outside/deep/keep2.txt"), "precious too");
}

TEST_F(FilesTest, DeleteTreeOfALinkRemovesOnlyTheLink)
{
  Put("target/inside.txt", "stay");
  ASSERT_EQ(symlink(P("target").c_str(), P("link").c_str()), 0);
  std::string error;
  ASSERT_TRUE(plat::DeleteTree(P("link").c_str(), &error)) << error;
  EXPECT_FALSE(fs::is_symlink(P("link")));
  EXPECT_EQ(Get("target/inside.txt"), "stay");
  // a single file goes by itself
  ASSERT_TRUE(plat::DeleteTree(P("target/inside.txt").c_str()));
  EXPECT_TRUE(fs::is_directory(P("target")));
  EXPECT_FALSE(plat::DeleteTree(P("nothing").c_str(), &error));
  EXPECT_FALSE(plat::DeleteTree("", &error));
  EXPECT_FALSE(plat::DeleteTree("/", &error));
  EXPECT_FALSE(plat::DeleteTree(".", &error));
}

TEST_F(FilesTest, CopyTreeOfASingleFileOrLink)
{
  Put("one.txt", "1");
  ASSERT_TRUE(plat::CopyTree(P("one.txt").c_str(), P("two.txt").c_str()));
  EXPECT_EQ(Get("two.txt"), "1");
  ASSERT_EQ(symlink("one.txt", P("l1").c_str()), 0);
  ASSERT_TRUE(plat::CopyTree(P("l1").c_str(), P("l2").c_str()));
  EXPECT_EQ(fs::read_symlink(P("l2")), fs::path("one.txt"));
  EXPECT_FALSE(plat::CopyTree(P("none").c_str(), P("x").c_str()));
}
