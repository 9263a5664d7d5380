// The packed-picture cache: what a load gives is always the packing of the source as it is
// now, whatever the cache held before.

#include "show/packcache.hpp"

#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "graphics/image.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
constexpr sInt Dxt1 = 0x80100D, Dxt5 = 0x801010;

class PackCache : public testing::Test
{
protected:
  sparktest::TempDir Dir;
  std::u16string Source = Dir.Name("picture.bmp");
  void SetUp() override { SetPackedPictureCache(Dir.Name("cache").c_str()); }
  void TearDown() override { SetPackedPictureCache(nullptr); }

  // a picture with structure in every block, different for each seed
  void WritePicture(sU32 seed, sInt w = 32, sInt h = 16, const std::u16string *path = nullptr)
  {
    sImage img(w, h);
    for(sInt i = 0; i < w * h; i++) img.Data[i] = 0xff000000u | ((sU32(i) * 2654435761u + seed * 40503u) & 0xffffff);
    ASSERT_TRUE(img.Save((path ? *path : Source).c_str()));
  }
  // the levels packed straight from the source, as a start without cache makes them
  std::string Reference(sInt format, sBool normals, const std::u16string *path = nullptr)
  {
    sImage img;
    EXPECT_TRUE(img.Load((path ? *path : Source).c_str()));
    sImage n;
    if(normals) n.HeightToNormal(&img, 1.0f);
    sImageData data;
    data.Init(format, 0, img.SizeX, img.SizeY);
    data.ConvertFrom(normals ? &n : &img);
    return std::string(reinterpret_cast<char *>(data.Data), size_t(data.DataSize));
  }
  std::string Load(sInt format, sBool normals)
  {
    sImageData data;
    sImage *small = nullptr;
    EXPECT_TRUE(LoadPackedPicture(Source.c_str(), format, normals, data, &small));
    EXPECT_EQ(small, nullptr);
    return std::string(reinterpret_cast<char *>(data.Data), size_t(data.DataSize));
  }
  std::string Entry(sInt format, sBool normals)
  {
    return plat::ToUtf8(GetPackedPictureEntry(Source.c_str(), format, normals).c_str());
  }
};

TEST_F(PackCache, EntriesFollowTheirSource)
{
  WritePicture(1);
  for(sInt format : {Dxt1, Dxt5})
    for(sBool normals : {0, 1})
    {
      std::string first = Load(format, normals);
      EXPECT_EQ(first, Reference(format, normals));
      std::string entry = sparktest::ReadFile(Entry(format, normals));
      ASSERT_FALSE(entry.empty()) << "the first load keeps its packing";
      EXPECT_EQ(Load(format, normals), first);
      EXPECT_EQ(sparktest::ReadFile(Entry(format, normals)), entry) << "a matching entry is used as it is";
    }
  // a changed picture of the same size replaces every packing kept of it
  std::string before = sparktest::ReadFile(Entry(Dxt1, 0));
  WritePicture(2);
  for(sInt format : {Dxt1, Dxt5})
    for(sBool normals : {0, 1}) EXPECT_EQ(Load(format, normals), Reference(format, normals));
  EXPECT_NE(sparktest::ReadFile(Entry(Dxt1, 0)), before);
}

TEST_F(PackCache, DamagedEntriesAreRebuilt)
{
  WritePicture(3);
  std::string good = Load(Dxt5, 0), entry = sparktest::ReadFile(Entry(Dxt5, 0));
  ASSERT_GT(entry.size(), 100u);
  struct Damage
  {
    const char *What;
    std::string (*Make)(std::string);
  };
  const Damage damages[] = {
    {"empty", [](std::string) { return std::string(); }},
    {"cut short", [](std::string s) { return s.substr(0, s.size() / 2); }},
    {"a packed byte changed", [](std::string s) { s[s.size() - 20] ^= 0x40; return s; }},
    {"the size in the head changed", [](std::string s) { s[8] ^= 1; return s; }},
    {"the checksum changed", [](std::string s) { s.back() ^= 1; return s; }},
    {"bytes appended", [](std::string s) { return s + "xxxx"; }},
    {"3 GiB", nullptr},   // grown with a hole: too large to be read whole
  };
  for(const Damage &d : damages)
  {
    if(d.Make)
      ASSERT_TRUE(sparktest::WriteFile(Entry(Dxt5, 0), d.Make(entry)));
    else
      ASSERT_TRUE(sparktest::SetFileSize(Entry(Dxt5, 0), sparktest::kThreeGiB));
    EXPECT_EQ(Load(Dxt5, 0), good) << d.What;
    EXPECT_EQ(sparktest::ReadFile(Entry(Dxt5, 0)), entry) << d.What << ": the entry is written again";
  }
}

TEST_F(PackCache, AFifoInPlaceOfAnEntryDoesNotHoldTheLoad)
{
  WritePicture(4);
  std::string good = Load(Dxt1, 0);
  const std::string entry = Entry(Dxt1, 0);
  ASSERT_EQ(unlink(entry.c_str()), 0);
  ASSERT_EQ(mkfifo(entry.c_str(), 0666), 0);
  std::atomic<bool> done{false};
  std::string got;
  std::thread loader([&] {
    got = Load(Dxt1, 0);
    done = true;
  });
  bool returned = sparktest::WaitFor([&] { return done.load(); }, 20);
  if(!returned)
  {
    // a writer lets an open that waits for one go on
    int fd = open(entry.c_str(), O_WRONLY | O_NONBLOCK);
    if(fd >= 0) close(fd);
  }
  loader.join();
  EXPECT_TRUE(returned) << "the load waited for a writer of the FIFO";
  EXPECT_EQ(got, good);
  struct stat st;
  ASSERT_EQ(stat(entry.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "the entry is written again in the FIFO's place";
}

// Shows filling one cache at once each write under names of their own: every write lands
// whole, none takes another's file away. What a writer killed half-way left is cleared when
// the next show sets the cache, but not the file of a show that is writing now.
TEST_F(PackCache, ShowsFillingOneCacheAtOnce)
{
  WritePicture(5);
  const std::string entry = Entry(Dxt5, 0);
  std::vector<pid_t> shows;
  for(int s = 0; s < 3; s++)
  {
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if(pid == 0)
    {
      sparktest::LogCapture log;
      for(int i = 0; i < 200; i++)
      {
        unlink(entry.c_str());
        sImageData data;
        sImage *small = nullptr;
        if(!LoadPackedPicture(Source.c_str(), Dxt5, 0, data, &small)) _exit(2);
      }
      _exit(log.Has("cannot") ? 1 : 0);
    }
    shows.push_back(pid);
  }
  for(pid_t pid : shows)
  {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a show could not write its entry: " << status;
  }

  pid_t gone = fork();
  if(gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string running = entry + "." + std::to_string(getpid()) + "-1.new", foreign = Dir.Name8("cache/notes.txt.new");
  for(const std::string &n : {entry + "." + std::to_string(gone) + "-1.new", entry + ".new", running, foreign})
    ASSERT_TRUE(sparktest::WriteFile(n, "half"));
  SetPackedPictureCache(Dir.Name("cache").c_str());
  std::vector<std::string> left;
  for(const auto &e : std::filesystem::directory_iterator(Dir.Name8("cache"))) left.push_back(e.path().string());
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = {entry, running, foreign};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
}

// A cache under a regular file cannot be made, whoever runs the show: the pictures still load
// and the failure is told once, not once per picture.
TEST_F(PackCache, ACacheThatCannotBeMadeIsToldOnce)
{
  WritePicture(6);
  ASSERT_TRUE(sparktest::WriteFile(Dir.Name8("plain"), "a file"));
  // a folder under a file cannot be made; a folder in each entry's place takes no entry
  for(const char *cache : {"plain/cache", "blocked"})
  {
    SetPackedPictureCache(Dir.Name(cache).c_str());
    for(sInt format : {Dxt1, Dxt5})
      for(sBool normals : {0, 1})
        if(!strcmp(cache, "blocked"))
          std::filesystem::create_directories(plat::ToUtf8(GetPackedPictureEntry(Source.c_str(), format, normals).c_str()));
    sparktest::LogCapture log;
    for(sInt format : {Dxt1, Dxt5})
      for(sBool normals : {0, 1}) EXPECT_EQ(Load(format, normals), Reference(format, normals)) << cache;
    EXPECT_EQ(log.Count("cannot be"), 1) << cache;
  }
}

// Many pictures packed at once on the batch's threads come out byte for byte as one thread
// packs them: with the cache off, while the threads fill it (one picture twice among them)
// and when they read it. Taken last first, each waits for its own picture.
TEST_F(PackCache, ABatchPacksAsOneThreadDoes)
{
  struct Row
  {
    sInt Picture, Format;
    sBool Normals;
  };
  const sInt sizes[][2] = {{96, 64}, {37, 21}, {128, 4}, {64, 64}, {2, 2}};
  std::u16string names[5];
  for(sInt p = 0; p < 5; p++)
  {
    names[p] = Dir.Name(("batch" + std::to_string(p) + ".bmp").c_str());
    WritePicture(sU32(10 + p), sizes[p][0], sizes[p][1], &names[p]);
  }
  const Row rows[] = {{0, Dxt1, 0}, {0, Dxt5, 0}, {0, Dxt1, 1}, {1, Dxt5, 1}, {1, Dxt1, 0},
                      {2, Dxt1, 0}, {3, Dxt5, 0}, {3, Dxt1, 1}, {0, Dxt1, 0}};
  const std::u16string missing = Dir.Name("missing.bmp");
  for(const char *cache : {"", "cache", "cache"})
  {
    SetPackedPictureCache(*cache ? Dir.Name(cache).c_str() : nullptr);
    PackedPictureBatch batch;
    std::vector<sInt> taken;
    for(const Row &r : rows) taken.push_back(batch.Add(names[r.Picture].c_str(), r.Format, r.Normals));
    sInt tiny = batch.Add(names[4].c_str(), Dxt1, 0), lost = batch.Add(missing.c_str(), Dxt5, 0);
    sImageData *data = nullptr;
    sImage *small = nullptr;
    EXPECT_FALSE(batch.Take(lost, &data, &small));
    EXPECT_TRUE(data == nullptr && small == nullptr);
    EXPECT_FALSE(batch.Take(tiny, &data, &small)) << "smaller than a block";
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->SizeX, 2);
    sDELETE(small);
    for(size_t i = taken.size(); i-- > 0;)
    {
      const Row &r = rows[i];
      ASSERT_TRUE(batch.Take(taken[i], &data, nullptr)) << "row " << i << ", cache <" << cache << ">";
      EXPECT_EQ(std::string(reinterpret_cast<char *>(data->Data), size_t(data->DataSize)),
                Reference(r.Format, r.Normals, &names[r.Picture]))
        << "row " << i << ", cache <" << cache << ">";
      sDELETE(data);
    }
  }
  // a batch given up before its pictures are taken drops them
  PackedPictureBatch dropped;
  for(const Row &r : rows) dropped.Add(names[r.Picture].c_str(), r.Format, r.Normals);
}

TEST_F(PackCache, PicturesThatCannotBePacked)
{
  sImage tiny(2, 2);
  tiny.Fill(0xff00ff00);
  ASSERT_TRUE(tiny.Save(Source.c_str()));
  sImageData data;
  sImage *small = nullptr;
  EXPECT_FALSE(LoadPackedPicture(Source.c_str(), Dxt1, 0, data, &small));
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->SizeX, 2);
  sDELETE(small);
  EXPECT_FALSE(LoadPackedPicture(Dir.Name("missing.bmp").c_str(), Dxt1, 0, data, &small));
  EXPECT_EQ(small, nullptr);
}
}
