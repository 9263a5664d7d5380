// Media folders and the media loader thread: listings, pack mode, the jobs' safety rules,
// logo backdrops, and the thread racing the main thread (run under the thread sanitizer).
#include "gui/mediafolders.hpp"

#include "base/file.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "graphics/image.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::u16string Data(const char *folder) { return plat::ToUtf16(std::string(TWDATA_DIR) + "/" + folder); }

void Touch(const std::string &path, const char *text = "x") { ASSERT_TRUE(sparktest::WriteFile(path, text)) << path; }
}

TEST(MediaFolders, ListingsPathsAndPackMode)
{
  sDynamicArray<sDirEntry> list;
  // pack mode lists the fixed names of a section word, each movie once; what the pack has
  // nothing for (the slideshow's pictures, a folder chosen elsewhere) comes from the disk
  struct Case { std::u16string Folder; sInt Count, Pictures; };
  for(const Case &c : {Case{u"movies/Tarnwhistle/", 11, 0}, Case{u"logos/x/", 5, 5}, Case{u"flyer/", 1, 1},
                       Case{u"slideshows/a/", 0, 0}, Case{Data("slideshows/Sparkvane/"), 16, 14},
                       Case{u"elsewhere/", 0, 0}})
  {
    EXPECT_TRUE(ListMediaFolder(list, c.Folder.c_str(), 1));
    EXPECT_EQ(list.GetSize(), c.Count) << plat::ToUtf8(c.Folder.c_str());
    EXPECT_EQ(CountPictures(list), c.Pictures) << plat::ToUtf8(c.Folder.c_str());
  }
  // the file system, sorted, pictures counted whatever the case of the extension
  ASSERT_TRUE(ListMediaFolder(list, Data("slideshows/Sparkvane").c_str(), 0));
  EXPECT_EQ(CountPictures(list), 14);
  std::vector<std::string> names;
  for(sInt i = 0; i < list.GetSize(); i++) names.push_back(plat::ToUtf8(list[i].Name));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }));

  // a slideshow folder past every table of the GUI counts each of its pictures
  {
    sparktest::TempDir many;
    for(sInt i = 0; i < 4200; i++) Touch(many.Name8("p" + std::to_string(i) + (i % 2 ? ".jpg" : ".PNG")), "");
    Touch(many.Name8("notes.txt"));
    GuiMediaFolders folders;
    BuildMediaDrives(folders.drives, plat::ToUtf16(many.Path).c_str());
    GuiMediaSection slideshow = {};
    folders.CountSlideshowPictures(slideshow);
    EXPECT_EQ(folders.slideshowPictures, 4200);
  }

  sChar out[64];
  EXPECT_TRUE(NormalizeMediaFolder(out, 64, u"a\\b"));
  EXPECT_EQ(std::u16string(out), u"a/b/");
  EXPECT_FALSE(NormalizeMediaFolder(out, 64, u"say\"hi"));
  MediaDrives d;
  BuildMediaDrives(d, u"/data/root");
  EXPECT_TRUE(MediaFolderPath(out, 64, d, 0, u"logos/"));
  EXPECT_EQ(std::u16string(out), u"/data/root/logos/");
  EXPECT_FALSE(MediaFolderPath(out, 64, d, 30, u"x/"));   // no such drive
  EXPECT_FALSE(MediaFolderPath(out, 16, d, 0, u"a/very/long/folder/name/"));   // never cut
  EXPECT_EQ(out[0], 0);
  EXPECT_TRUE(PathIsInside(u"/a/b/c", u"/a/b"));
  EXPECT_TRUE(PathIsInside(u"/a//b/./", u"/a/b"));
  EXPECT_FALSE(PathIsInside(u"/a/bc", u"/a/b"));
}

TEST(MediaLoader, LogosGetTheirKindsAndTheCapHolds)
{
  struct Corner { sU32 Pixel; sInt Kind; };
  for(Corner c : {Corner{0x80102030, 2}, Corner{0xffffffff, 1}, Corner{0xff101010, 0}})
  {
    sImage pic(1, 8);   // one pixel wide: the scaled copy still has a size
    pic.Fill(c.Pixel);
    sInt kind = -1;
    sImage *back = MakeLogoBackdrop(pic, kind);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(kind, c.Kind);
    sDELETE(back);
  }
  // a logo as wide as a camera's largest photos has its backdrop
  sImage wide(9504, 1);
  wide.Fill(0xff101010);
  sInt kind = -1;
  sImage *back = MakeLogoBackdrop(wide, kind);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->SizeX, 9504);
  sDELETE(back);
  sImage huge;
  huge.SizeX = 16385, huge.SizeY = 10;   // refused before any pixel is read
  EXPECT_EQ(MakeLogoBackdrop(huge, kind), nullptr);
  huge.SizeX = 0;

  sThreadLock lock;
  GuiLoaderState s;
  s.Lock = &lock;
  sCopyString(s.LogoFolder, (Data("logos/many") + u"/").c_str(), sGUI_FOLDERCHARS * 2);
  sThread *t = StartGuiLoader(s);
  s.Requests.fetch_or(sGUI_REQ_LOGOS);
  sInt taken = 0;
  for(sInt wait = 0; wait < 60000 && (s.Requests.load() & sGUI_REQ_LOGOS); wait++)
  {
    {
      sScopeLock l(&lock);
      if(s.LogoReady)
      {
        sDELETE(s.LogoPicture);
        sDELETE(s.LogoBackdrop);
        s.LogoReady = 0;
        taken++;
      }
    }
    sSleep(1);
  }
  s.Stop.store(1);
  sDELETE(t);
  EXPECT_EQ(taken, sGUI_MAXLOGOS);
  EXPECT_EQ(s.LogoCount, sGUI_MAXLOGOS);
}

TEST(MediaLoader, PasteAndDeleteRefuseWhatWouldLoseData)
{
  sparktest::TempDir dir;
  std::string root = dir.Path;
  mkdir((root + "/src").c_str(), 0700);
  mkdir((root + "/src/inner").c_str(), 0700);
  mkdir((root + "/outside").c_str(), 0700);
  Touch(root + "/src/a.txt", "original");
  Touch(root + "/outside/keep.txt");
  ASSERT_EQ(symlink((root + "/outside").c_str(), (root + "/src/link").c_str()), 0);
  sThreadLock lock;
  GuiLoaderState s;
  s.Lock = &lock;
  sDynamicArray<sDirEntry> list;
  ASSERT_TRUE(sLoadDir(list, plat::ToUtf16(root + "/src").c_str()));
  for(sInt i = 0; i < list.GetSize(); i++) s.CopyEntries.AddTail(list[i]);
  sCopyString(s.CopySource, plat::ToUtf16(root + "/src").c_str(), sMAXPATH);

  // into itself or below a copied folder: refused, nothing touched
  for(const char *dest : {"/src", "/src/inner", "/src/inner/"})
  {
    sCopyString(s.PasteDestination, plat::ToUtf16(root + dest).c_str(), sMAXPATH);
    PasteMarked(s);
    EXPECT_EQ(s.JobRefused, 1) << dest;
  }
  EXPECT_EQ(sparktest::ReadFile(root + "/src/a.txt"), "original");

  // elsewhere: copied, an existing file is never overwritten
  mkdir((root + "/dst").c_str(), 0700);
  Touch(root + "/dst/a.txt", "theirs");
  sCopyString(s.PasteDestination, plat::ToUtf16(root + "/dst").c_str(), sMAXPATH);
  PasteMarked(s);
  EXPECT_EQ(s.JobRefused, 0);
  EXPECT_EQ(sparktest::ReadFile(root + "/dst/a.txt"), "theirs");
  EXPECT_TRUE(sCheckFile(plat::ToUtf16(root + "/dst/inner").c_str()));

  // delete: the link goes, never what it points at; a root folder is refused
  sCopyString(s.DeleteFolder, plat::ToUtf16(root + "/src").c_str(), sMAXPATH);
  for(sInt i = 0; i < list.GetSize(); i++) s.DeleteEntries.AddTail(list[i]);
  DeleteMarked(s);
  EXPECT_EQ(s.JobRefused, 0);
  EXPECT_TRUE(sCheckFile(plat::ToUtf16(root + "/outside/keep.txt").c_str()));
  EXPECT_FALSE(sCheckFile(plat::ToUtf16(root + "/src/a.txt").c_str()));
  sCopyString(s.DeleteFolder, u"/", sMAXPATH);
  DeleteMarked(s);
  EXPECT_EQ(s.JobRefused, 1);
}

// A folder pasted where the destination holds a link of its name, or a folder with some of
// its names: the link's target and the existing files stay as they were.
TEST(MediaLoader, PasteNeverWritesThroughALinkOrOverAName)
{
  sparktest::TempDir dir;
  std::string root = dir.Path;
  for(const char *d : {"/src", "/src/pics", "/src/pics/sub", "/victim", "/d1", "/d2", "/d2/pics", "/d3"})
    mkdir((root + d).c_str(), 0700);
  Touch(root + "/src/pics/x.txt", "new");
  Touch(root + "/src/pics/sub/y.txt", "new");
  Touch(root + "/victim/x.txt", "old");
  Touch(root + "/d2/pics/x.txt", "theirs");
  ASSERT_EQ(symlink((root + "/victim").c_str(), (root + "/d1/pics").c_str()), 0);
  ASSERT_EQ(symlink((root + "/victim").c_str(), (root + "/d2/pics/sub").c_str()), 0);

  struct Case { const char *Dest; sInt Incomplete; const char *X; const char *Y; };
  for(Case c : {Case{"/d1", 1, nullptr, nullptr}, Case{"/d2", 1, "theirs", nullptr}, Case{"/d3", 0, "new", "new"}})
  {
    SCOPED_TRACE(c.Dest);
    sThreadLock lock;
    GuiLoaderState s;
    s.Lock = &lock;
    sDynamicArray<sDirEntry> list;
    ASSERT_TRUE(sLoadDir(list, plat::ToUtf16(root + "/src").c_str()));
    for(sInt i = 0; i < list.GetSize(); i++) s.CopyEntries.AddTail(list[i]);
    sCopyString(s.CopySource, plat::ToUtf16(root + "/src").c_str(), sMAXPATH);
    sCopyString(s.PasteDestination, plat::ToUtf16(root + c.Dest).c_str(), sMAXPATH);
    PasteMarked(s);
    EXPECT_EQ(s.JobIncomplete, c.Incomplete);
    std::string pics = root + c.Dest + "/pics";
    if(c.X) { EXPECT_EQ(sparktest::ReadFile(pics + "/x.txt"), c.X); }
    if(c.Y) { EXPECT_EQ(sparktest::ReadFile(pics + "/sub/y.txt"), c.Y); }
  }
  sDynamicArray<sDirEntry> victim;
  ASSERT_TRUE(sLoadDir(victim, plat::ToUtf16(root + "/victim").c_str()));
  EXPECT_EQ(victim.GetSize(), 1);
  EXPECT_EQ(sparktest::ReadFile(root + "/victim/x.txt"), "old");
}

// The main thread switches the flyer folder while flyer jobs walk a long folder: a job of
// the old folder hands nothing over, the request for the new folder is kept, and every
// picture handed over after a switch is one of the new folder.
TEST(MediaLoader, AFlyerFolderSwitchedDuringAJobEndsIt)
{
  sparktest::TempDir dir;
  for(sInt f = 0; f < 2; f++)
  {
    std::string folder = dir.Path + (f ? "/b" : "/a");
    mkdir(folder.c_str(), 0700);
    for(sInt i = 0; i < 300; i++) Touch(folder + "/bad" + std::to_string(1000 + i) + ".png", "no picture");
    sImage pic(2 + f, 1);   // a is 2 wide, b 3
    pic.Fill(0xff102030);
    ASSERT_TRUE(pic.Save(plat::ToUtf16(folder + "/zz.bmp").c_str()));
  }
  sThreadLock lock;
  GuiLoaderState s;
  s.Lock = &lock;
  sThread *t = StartGuiLoader(s);
  sRandomLcg rnd(5);
  for(sInt round = 0; round < 16; round++)
  {
    sInt f = round % 2;
    s.SetFlyerFolder(plat::ToUtf16(dir.Path + (f ? "/b/" : "/a/")).c_str(), 301, 301);
    sInt width = 0;
    ASSERT_TRUE(sparktest::WaitFor([&] {
      sScopeLock l(&lock);
      if(!s.FlyerReady) return false;
      width = s.FlyerPicture->SizeX;
      sDELETE(s.FlyerPicture);
      s.FlyerReady = 0;
      return true;
    }));
    EXPECT_EQ(width, 2 + f) << "round " << round;
    // the next picture of this folder is asked for; the switch comes while it is looked for
    s.FlyerLoadFlag.store(1);
    sSleep(20 + rnd.NextBelow(15));
  }
  s.Stop.store(1);
  sDELETE(t);
}

// The main thread lists and switches the section folders while the loader decodes logos
// and flyers; the GUI exits in the middle of it.
TEST(MediaLoader, RunsBesideTheMainThreadAndStopsOnExit)
{
  for(sInt round = 0; round < 3; round++)
  {
    sThreadLock lock;
    GuiLoaderState s;
    s.Lock = &lock;
    sThread *t = StartGuiLoader(s);
    const char *folders[2] = {"logos/Sparkvane/", "flyer/Sparkvane/"};
    sDynamicArray<sDirEntry> list;
    for(sInt i = 0; i < 40; i++)
    {
      {
        sScopeLock l(&lock);
        sCopyString(s.LogoFolder, (Data(folders[i % 2])).c_str(), sGUI_FOLDERCHARS * 2);
        sCopyString(s.FlyerFolder, (Data(folders[(i + 1) % 2])).c_str(), sGUI_FOLDERCHARS * 2);
        if(s.LogoReady)
        {
          sDELETE(s.LogoPicture);
          sDELETE(s.LogoBackdrop);
          s.LogoReady = 0;
        }
        if(s.FlyerReady)
        {
          sDELETE(s.FlyerPicture);
          s.FlyerReady = 0;
        }
      }
      s.Requests.fetch_or(sGUI_REQ_LOGOS);
      s.FlyerLoadFlag.store(1);
      ListMediaFolder(list, Data(folders[i % 2]).c_str(), 0);
      sSleep(2);
      if(round == 1 && i == 20) break;   // exit while a job waits for the main thread
    }
    s.Stop.store(1);
    sDELETE(t);   // must come back although nobody takes the pending logo
  }
}
