// The directory browser page: the drive column, the entry rows with their marks, the path
// line, single and double presses, and the page's ten commands.
//
// The file work itself (paste, delete) runs on the media loader thread, which copies the
// folder and the marked entries when the job is asked for; the listing here can change
// under it without harm. Names the operator types are one plain element or refused; the
// drive column is listed every frame while no job runs, so a medium put in or taken out
// shows at once.
#include "gui/gui.hpp"
#include "show/forms.hpp"

#include "base/textbuffer.hpp"
#include "show/media.hpp"
#include "show/scenehost.hpp"
#include "show/textform.hpp"
#include "platform/text/utf.hpp"

namespace
{
const sChar *const Titles[7] = {
  u"", u"Select directory for slideshow", u"Select directory for logos", u"Select directory for flyer",
  u"Select directory for movies", u"Load configuration file (*.Spk)", u"Save configuration file",
};
constexpr sF32 RowTop = 106.0f, RowBottom = -262.0f, RowStep = 23.0f;
// The row printed at y takes the touches of [y - 24, y - 1), and its bars hang from y - 1.
constexpr sF32 RowBandTop = -1.0f;
sBool InRowBand(sF32 py, sF32 y) { return py >= y + RowBandTop - RowStep && py < y + RowBandTop; }
constexpr sU32 DoublePressMs = 1000;
}

sBool BrowserNameValid(const sChar *name)
{
  // the file system counts a name's bytes as it receives them
  if(!name || !name[0] || plat::ToUtf8(name).size() > 255) return 0;
  if(sCmpStringEqual(name, u".") || sCmpStringEqual(name, u"..")) return 0;
  for(const sChar *p = name; *p; p++)
    if(*p == '/' || *p == '\\' || *p < 0x20 || *p == 0x7f) return 0;
  return 1;
}

sBool BrowserJoin(sChar *out, sInt cap, const sChar *folder, const sChar *name)
{
  sInt a = sGetStringLen(folder);
  while(a > 1 && folder[a - 1] == '/') a--;   // one separator however the folder ends
  while(*name == '/') name++;
  sBool slash = a > 0 && folder[a - 1] != '/';
  if(a + (slash ? 1 : 0) + sGetStringLen(name) >= cap)
  {
    out[0] = 0;
    return 0;
  }
  for(sInt i = 0; i < a; i++) out[i] = folder[i];
  if(slash) out[a++] = '/';
  sCopyString(out + a, name, cap - a);
  return 1;
}

void GuiBrowser::OpenAs(sInt kind)
{
  Kind = kind;
  browserOpen = 1;
  ForceDrive = 1;
  Relist = 1;
  Scroll = 1.0f;
  LastRow = -1;
  Depth = 0;
  // the name line stays: a save confirmed at once writes under the last name
  Status[0] = 0;   // mends a copy status left naming the copy marks cleared here
  Message = nullptr;
  for(sU32 &m : CopyMarks) m = 0;
  CopyEntries.Clear();
  ClearMarks();
}

sInt GuiBrowser::MarkedCount() const
{
  sInt n = 0;
  for(sInt i = 0; i < Entries.GetSize() && i < sGUI_BROWSERENTRIES; i++) n += Marks[i] != 0;
  return n;
}

sInt GuiBrowser::FirstMarked() const
{
  for(sInt i = 0; i < Entries.GetSize() && i < sGUI_BROWSERENTRIES; i++)
    if(Marks[i]) return i;
  return -1;
}

void GuiBrowser::ClearMarks()
{
  for(sU32 &m : Marks) m = 0;
}

sBool GuiBrowser::Enter(const sChar *name)
{
  if(Depth < 1 || Depth >= sGUI_BROWSERDEPTH || !BrowserNameValid(name) || sGetStringLen(name) >= 256) return 0;
  sCopyString(Parts[Depth], name, 256);
  Depth++;
  Relist = 1, Scroll = 1.0f, LastRow = -1;
  ClearMarks();
  if(Kind >= 5) NameLine[0] = 0;
  return 1;
}

void GuiBrowser::Back()
{
  if(Depth <= 1) return;
  Depth--;
  Relist = 1, Scroll = 1.0f, LastRow = -1;
  ClearMarks();
  if(Kind >= 5) NameLine[0] = 0;
}

sBool GuiBrowser::BuildFolder(const sChar *root)
{
  Folder[0] = RelFolder[0] = 0;
  if(Depth < 1) return 1;
  sChar folder[sMAXPATH], rel[sMAXPATH];
  sInt n = sGetStringLen(root);
  while(n > 0 && root[n - 1] == '/') n--;
  if(n + 1 >= sMAXPATH) return 0;
  for(sInt i = 0; i < n; i++) folder[i] = root[i];
  folder[n++] = '/';
  folder[n] = 0;
  rel[0] = 0;
  sInt r = 0;
  for(sInt k = 1; k < Depth; k++)
  {
    sInt p = sGetStringLen(Parts[k]);
    if(n + p + 1 >= sMAXPATH || r + p + 1 >= sMAXPATH) return 0;
    sCopyString(folder + n, Parts[k], sMAXPATH - n), n += p, folder[n++] = '/', folder[n] = 0;
    sCopyString(rel + r, Parts[k], sMAXPATH - r), r += p, rel[r++] = '/', rel[r] = 0;
  }
  sCopyString(Folder, folder, sMAXPATH);
  sCopyString(RelFolder, rel, sMAXPATH);
  return 1;
}

void GuiBrowser::List()
{
  sDynamicArray<sDirEntry> all;
  Entries.Clear();
  if(Depth < 1 || !Folder[0]) return;
  sLoadDir(all, Folder);
  // folders first, in listing order, then the rest; the listing ends with the marks
  for(sInt pass = 0; pass < 2; pass++)
    for(sInt i = 0; i < all.GetSize() && Entries.GetSize() < sGUI_BROWSERENTRIES; i++)
      if(((all[i].Flags & sDEF_DIR) != 0) == (pass == 0)) Entries.AddTail(all[i]);
}

sBool GuiBrowser::TakeJobEnd(GuiLoaderState &loader)
{
  if(!loader.BrowserRelist) return 0;
  loader.BrowserRelist = 0;
  Relist = 1, Scroll = 1.0f, HoverRow = -1;
  ClearMarks();
  if(loader.JobRefused) Message = u"The files were not changed.";
  else if(loader.JobIncomplete) Message = u"Not everything was pasted: existing names were kept.";
  return 1;
}

void GuiBrowser::ListDrives(const MediaDrives &drives)
{
  DriveRowCount = 0;
  for(sInt d = 0; d < sGUI_DRIVES; d++)
  {
    sDynamicArray<sDirEntry> probe;
    if(d < 2 || (drives.MediaDriveRoots[d][0] && sLoadDir(probe, drives.MediaDriveRoots[d]) && probe.GetSize()))
      DriveRows[DriveRowCount++] = d;
  }
}

void GuiBrowser::CopyMarked()
{
  Status[0] = 0;
  sInt marked = MarkedCount();
  if(!marked || Depth < 1) return;
  sCopyString(CopySource, Folder, sMAXPATH);
  CopyDrive = FolderDrive;
  CopyEntries.Clear();
  for(sInt i = 0; i < Entries.GetSize(); i++)
    if(Marks[i]) CopyEntries.AddTail(Entries[i]);
  const sDirEntry &e = Entries[FirstMarked()];
  if(marked > 1) sCopyString(Status, u"<...>", 256);
  else sSPrintF(sStringRef(Status), (e.Flags & sDEF_DIR) ? u"<>%s" : u"%s", e.Name);
  for(sInt i = 0; i < sGUI_BROWSERENTRIES; i++) CopyMarks[i] = Marks[i];
}

sBool GuiBrowser::StartPaste(GuiLoaderState &loader)
{
  sChar dest[sMAXPATH];
  sBool ok = 1;
  sCopyString(dest, Folder, sMAXPATH);
  const sDirEntry *one = MarkedCount() == 1 ? &Entries[FirstMarked()] : nullptr;
  if(one && (one->Flags & sDEF_DIR))
  {
    // into the marked folder (a marked file leaves the folder shown); a link to a folder is
    // never pasted into: what it points at may lie outside every drive's tree
    if(one->Flags & sDEF_LINK) ok = 0;
    else ok = BrowserJoin(dest, sMAXPATH, Folder, one->Name) && sGetStringLen(dest) + 1 < sMAXPATH;
    if(ok) sAppendString(dest, u"/", sMAXPATH);
  }
  if(!ok || !dest[0])
  {
    Message = one && (one->Flags & sDEF_LINK) ? u"Paste never goes through a link." : u"Path too long.";
    return 0;
  }
  sCopyString(loader.CopySource, CopySource, sMAXPATH);
  sCopyString(loader.PasteDestination, dest, sMAXPATH);
  loader.CopyEntries.Clear();
  for(sInt i = 0; i < CopyEntries.GetSize(); i++) loader.CopyEntries.AddTail(CopyEntries[i]);
  // read-only files come along only from an outside medium, the drives from "e:" on (past
  // the data root, "/" and the home folder): where they were copied from
  loader.External = CopyDrive >= 3;
  loader.Requests.fetch_or(sGUI_REQ_PASTE);
  return 1;
}

void GuiBrowser::StartDelete(GuiLoaderState &loader)
{
  if(Depth < 1 || !Folder[0] || loader.Requests.load() & (sGUI_REQ_PASTE | sGUI_REQ_DELETE)) return;
  sCopyString(loader.DeleteFolder, Folder, sMAXPATH);
  loader.DeleteEntries.Clear();
  for(sInt i = 0; i < Entries.GetSize() && i < sGUI_BROWSERENTRIES; i++)
    if(Marks[i]) loader.DeleteEntries.AddTail(Entries[i]);
  if(loader.DeleteEntries.GetSize()) loader.Requests.fetch_or(sGUI_REQ_DELETE);
}

void GuiBrowser::KeyboardEnter(const sChar *text)
{
  if(!BrowserNameValid(text))
  {
    Message = u"This name cannot be used.";
    return;
  }
  if(KeyboardPurpose == 5)
  {
    sChar path[sMAXPATH];
    if(Depth >= 1 && BrowserJoin(path, sMAXPATH, Folder, text))
    {
      sMakeDir(path);
      Relist = 1;
    }
    else
      Message = u"Path too long.";
  }
  else if(KeyboardPurpose == 6)
  {
    sStringBuffer<256> name;
    sSPrintF(name.Ref(), u"%s.Spk", text);
    if(sGetStringLen(text) + 4 < 256) sCopyString(NameLine, name, 256);
    else Message = u"This name cannot be used.";
  }
}

void TouchGui::OpenBrowser(sInt kind)
{
  if(kind < 1 || kind > 6) return;
  sScopeLock lock(&guiLock);
  browser.OpenAs(kind);
  pages.sliders[13].Value = &browser.Scroll;
  pages.sliders[13].Changed = 1;
}

void TouchGui::StartBrowserDelete()
{
  sScopeLock lock(&guiLock);
  browser.StartDelete(folders.loader);
}

void TouchGui::DirBrowser()
{
  GuiBrowser &b = browser;
  sScopeLock lock(&guiLock);
  if(b.TakeJobEnd(folders.loader)) pages.sliders[13].Changed = 1;
  if(textForm && b.Kind >= 1 && b.Kind <= 6) textForm->PrintLeft(Titles[b.Kind], -70, 136);
  if(b.Relist)
  {
    b.Relist = 0;
    b.FolderDrive = b.Drive;
    if(!b.BuildFolder(folders.drives.MediaDriveRoots[b.Drive])) b.Message = u"Path too long.";
    b.List();
    folders.loader.WithdrawUntakenJobs();
  }
  sBool busy = folders.loader.Requests.load() & (sGUI_REQ_PASTE | sGUI_REQ_DELETE | sGUI_REQ_LOGOS);
  sF32 px = touch.PointerX, py = touch.PointerY;

  // the bars: hover and marks of the entry rows, hover of the drives, the chosen drive;
  // each hangs from its top edge, so it lights the band of the row printed at y
  auto bar = [&b](sInt i, sF32 y, sU32 colour) {
    if(ArrayForm *f = b.Bars[i])
    {
      f->Matrix.Identity();
      f->Matrix.l = sVec3(0, y + RowBandTop, 0);
      f->Colour = colour;
    }
  };
  constexpr sU32 HoverColour = 0x80202020, MarkColour = 0x80c08030;
  sInt marksShown = 0;

  // the hover bar and, for a marked row, the next mark bar of the entry row at y
  auto browserRowColour = [&](sF32 y, sInt row) {
    if(px >= -240 && px < 100 && InRowBand(py, y)) b.HoverRow = row, bar(0, y, HoverColour);
    if(b.Marks[row] && marksShown < 17) bar(3 + marksShown++, y, MarkColour);
  };

  // entry rows
  b.HoverRow = -1;
  bar(0, 0, 0);
  sInt n = b.Entries.GetSize();
  sF32 offset = n > 16 ? (1.0f - b.Scroll) * sF32(n - 16) * RowStep : 0.0f;
  sF32 base = RowTop - 11.5f + offset;
  for(sInt k = 0; k < n && b.Depth >= 1; k++)
  {
    sF32 y = base - RowStep * sF32(k);
    if(y > RowTop || y <= RowBottom) continue;
    const sDirEntry &e = b.Entries[k];
    if(textForm)
    {
      // the folder mark ends before the name: from -235 it would run into it (a marked
      // row shows by its mark bar)
      if(e.Flags & sDEF_DIR) textForm->PrintLeft(u"<>", -246, y);
      PrintClipped(textForm, e.Name, -205, y, 280, 1);
    }
    browserRowColour(y, k);
  }
  while(marksShown < 17) bar(3 + marksShown++, 0, 0);

  // drive column: the roots that list anything
  b.HoverDrive = -1;
  if(!busy)
  {
    bar(1, 0, 0), bar(2, 0, 0);
    b.ListDrives(folders.drives);
    for(sInt r = 0; r < b.DriveRowCount; r++)
    {
      sF32 y = 70.0f - RowStep * sF32(r);
      // cut to end, with its "...", at the drive's touch band: 280 units would run into the
      // entry rows
      if(textForm)
        PrintClipped(textForm, folders.drives.MediaDriveLabels[b.DriveRows[r]], -375, y, 132 - textForm->MeasureText(u"..."), 1);
      if(px >= -399 && px < -243 && InRowBand(py, y)) b.HoverDrive = r, bar(1, y, HoverColour);
      if(b.DriveRows[r] == b.Drive && b.Depth >= 1) bar(2, y, MarkColour);
    }
  }

  // path line: the folder with the chosen name keeps its end, the folder alone its start;
  // then the copy status (either "..." while empty)
  if(textForm)
  {
    sChar path[sMAXPATH + 256];
    sCopyString(path, b.RelFolder, sMAXPATH + 256);
    sAppendString(path, b.NameLine, sMAXPATH + 256);
    PrintClipped(textForm, path, -230, b.PathY, 340, b.NameLine[0] == 0);
    PrintClipped(textForm, b.Status, 150, 80, 250, 1);
    if(b.Message) textForm->PrintCentered(b.Message, 0, -250);
  }

  // presses
  sBool press = touch.PressEdge && touch.HeldWidget < 0 && !(touch.PageMask & sGUI_DIALOGLAYERS);
  sInt pickDrive = press ? b.HoverDrive : -1;
  if(b.ForceDrive && b.DriveRowCount > 0) pickDrive = 0;
  sU32 key = commandWords[CmdBrowserKey];
  commandWords[CmdBrowserKey] = 0;
  if(key >= 11 && key < 11 + 8 && sInt(key - 11) < b.DriveRowCount) pickDrive = sInt(key - 11);
  if(key >= 1 && key <= 10) b.Commands[key - 1] = 1;
  if(pickDrive >= 0 && pickDrive < b.DriveRowCount)
  {
    b.Drive = b.DriveRows[pickDrive], b.DriveRow = pickDrive;
    b.Depth = 1, b.Relist = 1, b.Scroll = 1.0f, b.LastRow = -1, b.ForceDrive = 0;
    pages.sliders[13].Changed = 1;
    b.ClearMarks();
  }
  else if(press && b.HoverRow >= 0 && b.Depth < sGUI_BROWSERDEPTH)
  {
    sInt row = b.HoverRow;
    const sDirEntry &e = b.Entries[row];
    if(row == b.LastRow && touch.Clock - b.LastTime < DoublePressMs)
    {
      if(e.Flags & sDEF_DIR)
      {
        sChar name[256];
        sCopyString(name, e.Name, 256);
        b.Enter(name);
        pages.sliders[13].Changed = 1;
      }
    }
    else
    {
      b.LastRow = row, b.LastTime = touch.Clock;
      if(b.Kind >= 5 && !(e.Flags & sDEF_DIR))
      {
        b.ClearMarks();
        b.Marks[row] = 1;
        sCopyString(b.NameLine, e.Name, 256);
      }
      else
      {
        b.Marks[row] ^= 1;
        if(b.Kind >= 5) b.NameLine[0] = 0;
      }
    }
  }

  // the row the drive was chosen on names another drive now: the first row is chosen next
  if(!busy && b.Depth >= 1 && b.DriveRow >= 0 && (b.DriveRow >= b.DriveRowCount || b.DriveRows[b.DriveRow] != b.Drive))
    b.ForceDrive = 1;

  // commands
  sU32 *c = b.Commands;
  if(c[BrBack]) b.Back(), pages.sliders[13].Changed = 1;
  if(c[BrCopy]) b.CopyMarked();
  if(c[BrPaste] && !busy && b.CopyEntries.GetSize() && b.Depth >= 1) b.StartPaste(folders.loader);
  if(c[BrDelete] && b.Depth >= 1 && b.Folder[0] && b.MarkedCount() && !busy) dialogs.Open(1, commandWords[CmdDialog]);
  if(c[BrSelectAll])
    for(sInt i = 0; i < b.Entries.GetSize(); i++) b.Marks[i] = 1;
  if(c[BrSelectNone]) b.ClearMarks();
  if(c[BrMakeDir] || c[BrFileName])
  {
    ScrollRows(0);   // the keyboard's rows and the path line back at their homes
    b.KeyboardPurpose = c[BrMakeDir] ? 5 : 6;
    keyboard.editText[0] = 0;
    if(b.KeyboardPurpose == 6)
    {
      sCopyString(keyboard.editText, b.NameLine, sGUI_TEXTCHARS);
      sInt dot = -1;
      for(sInt i = 0; keyboard.editText[i]; i++)
        if(keyboard.editText[i] == '.') dot = i;
      if(dot >= 0) keyboard.editText[dot] = 0;
    }
    keyboard.editCursor = sGetStringLen(keyboard.editText);
    pages.keyboardOpen = 1;
  }
  if(c[BrCancel] || (c[BrConfirm] && ApplyBrowserChoice())) b.browserOpen = 0;
  for(sU32 &x : b.Commands) x = 0;
}

void TouchGui::BrowserKeyboardEnter(const sChar *text)
{
  sScopeLock lock(&guiLock);
  browser.KeyboardEnter(text);
}

sBool TouchGui::ApplyBrowserChoice()
{
  GuiBrowser &b = browser;
  sInt kind = b.Kind;
  if(kind >= 1 && kind <= 4)
  {
    GuiMediaSection *s = Section(kind);
    if(!s) return 0;
    // a name the configuration could not hold would be saved as another folder
    if(!ConfigTextFits(b.RelFolder))
    {
      b.Message = u"This folder name has characters a configuration cannot hold.";
      return 0;
    }
    // a folder that does not fit is refused, never cut: the section keeps the one it had
    if(sGetStringLen(b.RelFolder) >= sGUI_FOLDERCHARS - 1 || !StoreSectionFolder(kind, b.RelFolder))
    {
      b.Message = u"Path too long.";
      return 0;
    }
    // a new slideshow folder while the show is on the GUI's own pick: the automatic step
    if(kind == 1 && Machine && selectedScene >= 0 && Machine->Current == selectedScene) NextAutoScene(1);
    sCopyString(s->FakeDirectory, s->Directory, sGUI_FOLDERCHARS);
    s->Drive = b.FolderDrive;
    if(kind == 1) folders.CountSlideshowPictures(config.Slideshow);
    if(kind == 2) RequestLogos();
    if(kind == 3) folders.CountFlyerFiles(config.Flyer);
    if(kind == 4) RefreshMovieList();
    return 1;
  }
  sInt slot = configs.SaveSlot();
  sChar path[sMAXPATH];
  if(kind == 5)
  {
    sInt row = b.FirstMarked();
    // nothing chosen keeps the slot's name: emptied, the slot would have no file to save to
    if(row < 0 || (b.Entries[row].Flags & sDEF_DIR) || !BrowserJoin(path, sMAXPATH, b.Folder, b.Entries[row].Name) ||
       sGetStringLen(path) >= sGUI_TEXTCHARS)
    {
      b.Message = u"No configuration file chosen.";
      return 0;
    }
    sCopyString(configs.configNames[slot], path, sGUI_TEXTCHARS);
    configs.configSlot = configs.activePreset = slot;
    configs.lastLoadResult = LoadConfig();
    if(!configs.lastLoadResult)
    {
      sDPrint(u"Configuration cannot be activated. File error.\n");
      ResetConfig();
    }
    laidStyle = -1;
  }
  else if(kind == 6)
  {
    // an empty name would write over the folder itself
    if(!b.NameLine[0] || !BrowserNameValid(b.NameLine) || !BrowserJoin(path, sMAXPATH, b.Folder, b.NameLine) ||
       sGetStringLen(path) >= sGUI_TEXTCHARS)
    {
      b.Message = u"Please type a file name first.";
      return 0;
    }
    sChar before[sGUI_TEXTCHARS];
    sCopyString(before, configs.configNames[slot], sGUI_TEXTCHARS);
    sCopyString(configs.configNames[slot], path, sGUI_TEXTCHARS);
    if(!SaveConfig())
    {
      // the slot keeps naming the file it had: the new name was never written
      sCopyString(configs.configNames[slot], before, sGUI_TEXTCHARS);
      b.Message = u"Configuration cannot be saved.";
      return 0;
    }
  }
  return 1;
}
