// Media helpers: file kinds, joined paths, folder trees and movie frames in render targets.
#include "show/media.hpp"

#include "base/file.hpp"
#include "common/capture.hpp"
#include "common/check.hpp"
#include "common/files.hpp"
#include "common/movie_writer.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "graphics/render_fixture.hpp"
#include "tools/datagen/picfiles.hpp"
#include "util/movieplayer.hpp"

#include <gtest/gtest.h>

#include <cmath>

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
    EXPECT_TRUE(JoinPath(out, c[0], c[1]));
    EXPECT_EQ(std::u16string(out.Get()), std::u16string(c[2]));
  }
  // a join that would not fit is refused whole, never cut to some other name
  sChar small[8];
  EXPECT_TRUE(JoinPath(small, u"abc/", u"def"));
  EXPECT_FALSE(JoinPath(small, u"abc", u"defg"));
  EXPECT_EQ(small[0], 0);
}

// Every picture kind of the lists loads: the program's own formats through their readers
// after the platform's decoder refused them, without an ERROR line, and GIF and TIFF
// through the decoder. One whose header claims more pixels than a picture may have is
// refused with one line, whichever reader meets it first.
TEST(Media, PicturesOfEveryListedKindLoadWithoutAnErrorLine)
{
  sparktest::TempDir dir;
  sImage img(8, 4);
  for(sInt i = 0; i < 32; i++) img.Data[i] = 0xff000000 | sU32(i) * 0x050301;
  for(const char *name : {"a.pic", "a.tga", "a.bmp"}) ASSERT_TRUE(img.Save(dir.Name(name).c_str()));
  ASSERT_TRUE(sparktest::WriteFile(dir.Name8("a.gif"), datagen::EncodeGif(img)));
  ASSERT_TRUE(sparktest::WriteFile(dir.Name8("a.tif"), datagen::EncodeTiff(img)));
  sparktest::LogCapture log;
  for(const char *name : {"a.pic", "a.tga", "a.bmp", "a.gif", "a.tif"})
  {
    sImage *got = LoadPicture(dir.Name(name).c_str());
    ASSERT_TRUE(got) << name;
    EXPECT_TRUE(got->SizeX == 8 && got->SizeY == 4 && got->Data[13] == img.Data[13]) << name;
    sDELETE(got);
  }
  EXPECT_FALSE(log.Has("ERROR")) << log.Text();

  sImage flat(4, 4);
  flat.Fill(0xff204060);
  ASSERT_TRUE(flat.Save(dir.Name("flat.bmp").c_str()) && flat.Save(dir.Name("flat.tga").c_str()));
  using Bytes = std::vector<uint8_t>;
  struct Huge
  {
    const char *Name;
    Bytes File;
    size_t Width, Height;   // where the header holds them, little-endian
  } huge[] = {
    {"huge.bmp", sparktest::ReadFile<Bytes>(dir.Name8("flat.bmp")), 18, 22},
    {"huge.tga", sparktest::ReadFile<Bytes>(dir.Name8("flat.tga")), 12, 14},
    {"huge.gif", datagen::EncodeGif(flat), 6, 8},
  };
  for(Huge &h : huge)
  {
    h.File[h.Width] = h.File[h.Height] = 0;
    h.File[h.Width + 1] = h.File[h.Height + 1] = 0x40;   // 16384 x 16384
    ASSERT_TRUE(sparktest::WriteFile(dir.Name8(h.Name), h.File));
    sparktest::LogCapture refusal;
    EXPECT_EQ(LoadPicture(dir.Name(h.Name).c_str()), nullptr) << h.Name;
    EXPECT_EQ(refusal.Count("[gfx]"), 1) << refusal.Text();
    EXPECT_EQ(refusal.Count("16384 x 16384 pixels refused"), 1) << refusal.Text();
  }
  // a picture of no pixels is refused too: the texture made of it would stop the show
  Bytes empty = sparktest::ReadFile<Bytes>(dir.Name8("flat.tga"));
  empty[12] = empty[13] = 0;
  ASSERT_TRUE(sparktest::WriteFile(dir.Name8("empty.tga"), empty));
  sparktest::LogCapture refusal;
  EXPECT_EQ(LoadPicture(dir.Name("empty.tga").c_str()), nullptr);
  EXPECT_EQ(refusal.Count("no pixels"), 1) << refusal.Text();
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

// A movie's frame lands texel for texel in its target: the pixels on either side of every
// bar's edge keep their bar's brightness (the colour planes have half the resolution).
TEST_F(RenderTest, MovieFramesAreDrawnIntoATargetOfTheirSize)
{
  sparktest::TempDir dir;
  ASSERT_TRUE(sparktest::WriteMovie(dir.Name8("m.mkv"), AV_CODEC_ID_FFV1, AV_PIX_FMT_BGR0, W, H, 25, 10,
                                    [](int f, int x, int y) { return sparktest::PatternPixel(f, x, y, W, H); }));
  sMoviePlayer *movie = sOpenMoviePlayer(dir.Name("m.mkv").c_str(), 0);
  sTexture2D *target = nullptr;
  sparktest::WaitFor([&] { return (target = CreateMovieTarget(movie)) != nullptr; });   // the size comes with the open
  ASSERT_TRUE(target && target->SizeX == W && target->SizeY == H);
  auto luma = [](sU32 c) { return 0.299f * sF32(c >> 16 & 0xff) + 0.587f * sF32(c >> 8 & 0xff) + 0.114f * sF32(c & 0xff); };
  sF32 aspect = 0;
  bool right = false;
  for(sInt i = 0; i < 5000 && !right; i++)
  {
    BeginFrame();
    RenderMovieFrame(movie, target, &aspect, 0);
    sCopyTexture(sCopyTextureSpec(0, sGetScreenColorBuffer(0), target));
    std::vector<sU32> px = EndFrame();
    right = true;
    for(sInt x : {0, 15, 16, 31, 32, 47, 48, 63}) right = right && std::fabs(luma(px[12 * W + x]) - luma(sparktest::PatternBars[x / 16])) < 6;
  }
  EXPECT_TRUE(right && aspect == sF32(W) / H);
  EXPECT_DEATH(CreateMovieTarget(nullptr), "Expression: mp\n");
  EXPECT_DEATH(RenderMovieFrame(movie, nullptr, &aspect, 0), "Expression: tex\n");
  sDELETE(target);
  movie->Release();
}
