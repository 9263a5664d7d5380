// Media helpers: file kinds, joined paths and folder trees.
#include "show/media.hpp"

#include "base/file.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

TEST(Media, FileKindsAndJoinedPaths)
{
  struct Case
  {
    const sChar *Name;
    bool Image, Movie;
  };
  const Case cases[] = {
    {u"a/b/clip.MP4", false, true}, {u"x.mkv", false, true}, {u"photo.JPG", true, false},
    {u"photo.jpeg", false, false},  {u"noext", false, false}, {u"dir.png/file", false, false},
    {u"logo.tga", true, false},     {u"v.avi.png", true, false},
  };
  for(const Case &c : cases)
  {
    EXPECT_EQ(IsImageFile(c.Name) != 0, c.Image) << plat::ToUtf8(c.Name);
    EXPECT_EQ(IsMovieFile(c.Name) != 0, c.Movie) << plat::ToUtf8(c.Name);
  }
  // a folder and a name are joined with exactly one separator
  const sChar *joins[][3] = {{u"movies", u"a.mp4", u"movies/a.mp4"}, {u"movies/", u"a.mp4", u"movies/a.mp4"},
                             {u"movies", u"/a.mp4", u"movies/a.mp4"}, {u"movies/", u"//a.mp4", u"movies/a.mp4"},
                             {u"", u"a.mp4", u"a.mp4"}};
  sPathString out;
  for(auto &c : joins)
  {
    JoinPath(out, c[0], c[1]);
    EXPECT_EQ(std::u16string(out.Get()), std::u16string(c[2]));
  }
}

TEST(Media, CopyAndDeleteFolderTrees)
{
  sparktest::TempDir dir;
  for(const char *d : {"src", "src/a", "src/a/b", "src/c"}) sMakeDir(dir.Name(d).c_str());
  for(const char *f : {"src/top.txt", "src/a/one.txt", "src/a/b/deep.txt", "src/c/ro.txt"})
    ASSERT_TRUE(sparktest::WriteFile(dir.Name8(f), f));
  plat::SetReadOnly(dir.Name8("src/c/ro.txt").c_str(), true);

  EXPECT_EQ(CopyDirectoryTree(dir.Name("src").c_str(), dir.Name("dst").c_str(), 0), 1);
  EXPECT_EQ(CopyDirectoryTree(dir.Name("src").c_str(), dir.Name("all").c_str(), 1), 1);
  // read-only files only when asked for
  for(auto [name, there] : {std::pair{"dst/a/b/deep.txt", 1}, {"dst/top.txt", 1}, {"dst/c", 1}, {"dst/c/ro.txt", 0},
                            {"all/c/ro.txt", 1}})
    EXPECT_EQ(sCheckFile(dir.Name(name).c_str()), there) << name;

  EXPECT_NE(DeleteDirectoryTree(dir.Name("dst").c_str()), 0);
  EXPECT_FALSE(sCheckFile(dir.Name("dst").c_str()));
  EXPECT_EQ(DeleteDirectoryTree(dir.Name("missing").c_str()), 0);
}
