#include "platform/files/files.hpp"

#include "common/files.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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
    ASSERT_TRUE(sparktest::WriteFile(P(name), data)) << name;
  }
  std::string Get(const std::string &name) const { return fs::exists(P(name)) ? sparktest::ReadFile(P(name)) : "<missing>"; }
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

  // every call on a file that is not open fails
  char c;
  EXPECT_TRUE(f.Read(&c, 1) == -1 && f.Write(&c, 1) == -1 && f.ReadAt(&c, 1, 0) == -1 && f.Size() == -1 && f.Tell() == -1);
  EXPECT_TRUE(!f.Seek(0) && !f.SetSize(0) && f.ReadAsync(0, 1, &c) == 0u && !f.Close());

  ASSERT_TRUE(f.Open(P("x.bin").c_str(), plat::kFileRead));
  EXPECT_FALSE(f.Open(P("x.bin").c_str(), plat::kFileRead, &error));  // already open
  EXPECT_FALSE(f.SetSize(0));  // read-only descriptor
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(Get("x.bin"), "x");
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

  // patterns ignore case, brackets are plain characters, the folder may be spelled
  // differently or end in a separator, and no pattern lists everything
  const struct { std::string Folder; const char *Pattern; std::vector<std::string> Names; } cases[] = {
    {"dir/", nullptr, names}, {"DIR", "*", names}, {"dir", "*.png", {"a.PNG", "C.png"}}, {"dir", "?.TXT", {"b.txt"}},
    {"dir", "x[1].txt", {"x[1].txt"}}, {"dir", "readme.*", {"README"}}, {"dir", "*.jpg", {}}};
  for(const auto &c : cases)
  {
    ASSERT_TRUE(plat::ListDir(P(c.Folder).c_str(), c.Pattern, &e)) << c.Folder;
    names.clear();
    for(auto &x : e) names.push_back(x.Name);
    EXPECT_EQ(names, c.Names) << c.Folder << " " << (c.Pattern ? c.Pattern : "no pattern");
  }
}

/****************************************************************************/
/***   Folders, copies and deletions                                      ***/
/****************************************************************************/

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
