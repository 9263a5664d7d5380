#pragma once
// The GUI's media folders and its media loader thread.
//
// Four media sections (1 slideshow, 2 logos, 3 flyer, 4 movies) each name a folder below
// one of 25 roots: slot 0 the data root, 1 "/", 2 the home folder, 3 to 24 the mounted
// volumes (under /media/<user>, /run/media/<user> and /mnt, sorted by name); an empty slot
// is a missing drive. In pack-file mode (the pack file really opened) the sections list a
// fixed set of names instead of the file system.
//
// The loader thread runs the slow file work off the main thread: paste and delete for the
// browser, decoding the logo pictures with their blurred backdrops, and the next flyer
// picture. It only decodes pictures and touches files; the main thread makes every texture
// from what it hands over. Everything in GuiLoaderState below the lock is guarded by it;
// the request bits and the flyer flag are atomics the main thread sets and the loader
// clears. Every wait and every per-entry step tests the thread's stop flag, so the
// owner's delete (which stops and joins the thread) never waits on the main thread.
//
// GuiMediaFolders, at the end, is the GUI scene's record of all this: the drives, the
// sections' listing and counts, the loader thread and its state.

#include "base/arrays.hpp"
#include "base/file.hpp"
#include "base/system.hpp"
#include "gui/configfile.hpp"

#include <atomic>

class sImage;

enum : sInt
{
  sGUI_MAXLIST = 4096,        // rows of a listing the GUI keeps (marks, copies)
  sGUI_MAXLOGOS = 16,
  sGUI_LISTMOVIES = 100,      // movies of a listing the movie tiles, marks and previews hold
};

enum : sU32
{
  sGUI_REQ_PASTE = 1,
  sGUI_REQ_DELETE = 2,
  sGUI_REQ_LOGOS = 4,
};

// The 25 roots and their labels, built once at start.
struct MediaDrives
{
  sChar MediaDriveRoots[sGUI_DRIVES][sGUI_FOLDERCHARS];
  sChar MediaDriveLabels[sGUI_DRIVES][64];
};
// Fills the table; dataRoot becomes slot 0. Slots without a volume stay empty.
void BuildMediaDrives(MediaDrives &drives, const sChar *dataRoot);

// A folder text as the GUI stores it: '/' separators, one trailing '/', nothing for an
// empty text. Returns 0 (and leaves out unchanged) when the text holds a '"', which no
// configuration could carry back.
sBool NormalizeMediaFolder(sChar *out, sInt cap, const sChar *folder);
// "<root>/<folder>" of a section into out (cap characters). 0 when it does not fit or the
// drive names no root; out is then empty.
sBool MediaFolderPath(sChar *out, sInt cap, const MediaDrives &drives, sInt drive, const sChar *folder);
// The same as the operator sees it ("Sparkvane:/...", "~/...").
void MediaFolderLabel(sChar *out, sInt cap, const MediaDrives &drives, sInt drive, const sChar *folder);

// Whether the system has a video capture device (/dev/video*).
sBool VideoDeviceFound();

// The fixed names of pack-file mode and the section words that select from them.
extern const sChar *const MediaFileList[];
extern const sInt MediaFileCount;
// Lists a section folder into list, at most keep entries (sorted by name). In pack mode
// the names of the fixed list whose path holds the folder's section word.
sBool ListMediaFolder(sDynamicArray<sDirEntry> &list, const sChar *folder, sBool packMode, sInt keep = sGUI_MAXLIST);
// Entries that are pictures / movies.
sInt CountPictures(const sDynamicArray<sDirEntry> &list);
sInt CountMovies(const sDynamicArray<sDirEntry> &list);

// What the loader thread shares with the main thread.
struct GuiLoaderState
{
  sThreadLock *Lock = nullptr;           // the GUI's lock
  sBool PackMode = 0;
  std::atomic<sU32> Requests{0};         // sGUI_REQ_*: set by the main thread, cleared by the job
  std::atomic<sU32> FlyerLoadFlag{0};    // 1: load the next flyer picture

  // guarded by Lock
  sChar LogoFolder[sGUI_FOLDERCHARS * 2] = {};   // full paths, written by the main thread
  sChar FlyerFolder[sGUI_FOLDERCHARS * 2] = {};
  sInt LogoCount = 0;                    // pictures of the last finished logo job
  sInt LogoJobDone = 0;                  // 1 when a logo job ended (main thread clears)
  sInt LogoProgressTotal = 0, LogoProgressDone = 0;
  sInt LogoKinds[sGUI_MAXLOGOS] = {};    // 0 dark, 1 light, 2 transparent corner
  sInt LogoReady = 0;                    // hand-over of one logo
  sInt LogoSlot = 0;
  sImage *LogoPicture = nullptr;
  sImage *LogoBackdrop = nullptr;
  sInt FlyerEntries = 0, FlyerPictures = 0, FlyerIndex = 0, FlyerCounter = 0;
  sU32 FlyerSet = 0;                     // counted up by the main thread with every new folder
  sInt FlyerReady = 0;
  sImage *FlyerPicture = nullptr;

  // browser jobs: the names are taken when the job is asked for, never re-resolved
  sChar CopySource[sMAXPATH] = {};
  sChar PasteDestination[sMAXPATH] = {};
  sDynamicArray<sDirEntry> CopyEntries;
  sChar DeleteFolder[sMAXPATH] = {};
  sDynamicArray<sDirEntry> DeleteEntries;
  sInt External = 0;                     // the copy source is on a removable volume
  sInt ProgressTotal = 0, ProgressDone = 0;
  sInt JobRefused = 0;                   // the last paste or delete was refused (unsafe)
  sInt JobIncomplete = 0;                // the last paste left names out (existing or links)
  sInt BrowserRelist = 0;                // 1 after a paste or delete: the browser lists again
  sU32 Taken = 0;                        // the paste or delete the thread has taken up (sGUI_REQ_*)

  std::atomic<sU32> Stop{0};             // set by the owner before it deletes the thread

  GuiLoaderState() = default;
  GuiLoaderState(const GuiLoaderState &) = delete;
  GuiLoaderState &operator=(const GuiLoaderState &) = delete;
  // Frees the images still handed over (the thread must have ended).
  ~GuiLoaderState();
  // A paste or delete the thread has not taken up yet is withdrawn (the caller holds Lock).
  void WithdrawUntakenJobs();

  sBool Stopping() const { return Stop.load() != 0; }
  // The main thread's switch to a new flyer folder (full path, its picture and entry
  // counts): the counters start again, a picture of the old folder not taken yet is
  // dropped, a running flyer job of the old folder ends without handing over, and the first picture of the new folder is asked for when it has any.
  void SetFlyerFolder(const sChar *path, sInt pictures, sInt entries);
};

// Starts the loader thread over the state (priority 0, 64 KiB stack).
sThread *StartGuiLoader(GuiLoaderState &state);

// The jobs, on the loader thread (public for the tests of their rules).
void PasteMarked(GuiLoaderState &state);
void DeleteMarked(GuiLoaderState &state);
void LoadLogoPictures(GuiLoaderState &state);
void LoadNextPicture(GuiLoaderState &state);

// The backdrop of a logo: the picture's first pixel decides kind and fill; the picture at
// 3/4 size centred on the fill, blurred. Null (and kind untouched) for an empty picture or
// one larger than a picture file may give.
sImage *MakeLogoBackdrop(const sImage &picture, sInt &kind);

// Whether "inner" equals "outer" or lies below it (paths compared after normalising).
sBool PathIsInside(const sChar *inner, const sChar *outer);

// The media sections' listing as the GUI scene holds it: the 25 roots, the pack-file mode,
// the folder listed last and the counts made from it, and the loader thread with its state.
// The folders themselves are the configuration's (GuiMediaSection); the main thread lists
// and counts here, the loader thread shares only loader.
struct GuiMediaFolders
{
  MediaDrives drives;
  const sChar *driveRoots[sGUI_DRIVES] = {};   // the table the IPP machine opens movies under
  sBool packMode = 0;
  sDynamicArray<sDirEntry> mediaList;          // the section folder listed last
  sInt slideshowPictures = 0, flyerPictures = 0, movieCount = 0;
  sInt listCount = 0;                          // the movies listed on tiles, at most sGUI_LISTMOVIES
  GuiLoaderState loader;
  sThread *loaderThread = nullptr;

  // "<root>/<folder>" of a section into out, or with label set the folder as the pages
  // show it (the drive's name, then the folder); empty for no section.
  void SectionFolder(sChar *out, sInt cap, const GuiMediaSection *section, sBool label) const;
  // Lists the slideshow folder and counts its pictures, every one of them.
  void CountSlideshowPictures(const GuiMediaSection &slideshow);
  // Lists the flyer folder, counts its pictures and hands the folder to the loader.
  void CountFlyerFiles(const GuiMediaSection &flyer);
  // Lists the movie folder and counts its movies.
  void CountMovieFiles(const GuiMediaSection &movie);
  // Sets the loader's stop flag and joins the thread (none left running).
  void StopLoader();
};
