#pragma once
// The directory browser's state and its rules for the operator's files.
//
// The browser walks the drive roots of MediaDrives and the folders below them, marks
// entries and hands copy, paste and delete jobs to the media loader thread, which takes
// its own copy of the names when the job is asked for. The rules here are what keeps the
// operator's files safe whatever is typed or listed: a typed name is one plain path
// element, paths are joined with exactly one separator and refused (never cut) when they
// do not fit, a paste never lands inside what it copies, and the mark arrays are as long
// as the listing may ever be (the listing is cut at sGUI_BROWSERENTRIES).
//
// Everything is guarded by the GUI's lock: the record's operations expect their caller to
// hold it. The page's frame step (TouchGui::DirBrowser, dirbrowser.cpp) draws the rows and
// runs the commands that open the keyboard or a dialog or apply the choice.

#include "base/file.hpp"
#include "base/types.hpp"

class ArrayForm;
struct GuiLoaderState;
struct MediaDrives;

enum : sInt
{
  sGUI_BROWSERDEPTH = 16,
  sGUI_BROWSERENTRIES = 4096,
  sGUI_BROWSERPOOL = 17,
  sGUI_BROWSERCOMMANDS = 10,
};

// The browser's commands in the order of its keys.
enum : sInt
{
  BrCopy, BrPaste, BrDelete, BrSelectAll, BrSelectNone, BrMakeDir, BrFileName, BrCancel, BrConfirm, BrBack
};

struct GuiBrowser
{
  sInt Kind = 0;                    // 1..6: slideshow, logos, flyer, movies, load, save
  sInt Depth = 0;                   // 0 before a drive, 1 at its root, +1 per folder
  sInt Drive = 0, FolderDrive = 0;
  sChar Parts[sGUI_BROWSERDEPTH][256] = {};
  sChar Folder[sMAXPATH] = {};      // root + "/" + parts, each followed by "/"
  sChar RelFolder[sMAXPATH] = {};   // the parts only
  sDynamicArray<sDirEntry> Entries;
  sU32 Marks[sGUI_BROWSERENTRIES] = {};
  sU32 CopyMarks[sGUI_BROWSERENTRIES] = {};
  sDynamicArray<sDirEntry> CopyEntries;   // the entries marked at COPY
  sChar CopySource[sMAXPATH] = {};
  sInt CopyDrive = 0;               // the drive the copied entries came from
  sChar NameLine[256] = {};
  sChar Status[256] = {};
  sU32 Relist = 0;
  sF32 Scroll = 1.0f;
  sF32 PathBounds[2] = {-287.0f, -307.0f};   // the path line's band; the line sits in its middle
  sF32 PathY = -297.0f;                      // moved with the keyboard's rows (TouchGui::ScrollRows)
  sInt HoverRow = -1, HoverDrive = -1;
  sInt LastRow = -1;
  sU32 LastTime = 0;
  sU32 ForceDrive = 0;
  sU32 Commands[sGUI_BROWSERCOMMANDS] = {};
  sU32 browserOpen = 0;             // the page is shown
  sInt KeyboardPurpose = 0;         // 5 a folder name, 6 a configuration name
  // drive roots that list anything, listed every frame while no job runs
  sInt DriveRows[25] = {};
  sInt DriveRowCount = 0;
  sInt DriveRow = -1;               // the row the drive was chosen on
  const sChar *Message = nullptr;   // the refusal last shown, null none
  ArrayForm *Bars[3 + 17] = {};     // hover on the entries, hover on the drives, the chosen drive, marks

  // Opens the page for a kind: first frame selects the first drive at depth 1.
  void OpenAs(sInt kind);
  // Marks of the listing only; nothing past it.
  sInt MarkedCount() const;
  sInt FirstMarked() const;
  void ClearMarks();
  // Enters a folder of the listing (one level down). 0 at the depth cap or for a name that
  // is no plain element.
  sBool Enter(const sChar *name);
  void Back();
  // Rebuilds Folder and RelFolder from the drive root and the parts. 0 (both empty) when
  // the path would not fit: the browser then shows nothing rather than a cut path.
  sBool BuildFolder(const sChar *root);
  // Lists Folder (cut at sGUI_BROWSERENTRIES entries), directories first.
  void List();
  // Takes the end of the loader's last paste or delete: the folder is listed again from its
  // top (the scroll at 1.0, no row hovered), the marks cleared and a refused or incomplete
  // job told. True when a job had ended.
  sBool TakeJobEnd(GuiLoaderState &loader);
  // The drive column: the roots that list anything (the data root and "/" always).
  void ListDrives(const MediaDrives &drives);
  // COPY: the marked entries of the folder become the copy, the status line names them.
  void CopyMarked();
  // PASTE: hands the copy to the loader, into the folder or the one marked folder. 0 (and
  // the refusal told) when the one marked entry is a link to a folder or the path does not fit.
  sBool StartPaste(GuiLoaderState &loader);
  // The delete job of the marked entries, unless a paste or delete is still running.
  void StartDelete(GuiLoaderState &loader);
  // A name typed on the keyboard: a new folder (purpose 5) or the configuration file's
  // name (6, ".Spk" added); a name that is no plain element is refused.
  void KeyboardEnter(const sChar *text);
};

// Whether a typed name can be made in a folder: not empty, at most 255 UTF-8 bytes, no
// "/", "\", control characters, and not "." or "..".
sBool BrowserNameValid(const sChar *name);
// folder + name with exactly one '/' between them; 0 and an empty out when it does not fit.
sBool BrowserJoin(sChar *out, sInt cap, const sChar *folder, const sChar *name);
