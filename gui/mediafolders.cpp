// The GUI's media folders, the fixed pack-mode list and the media loader thread, then the
// GUI scene's media-folder steps: the sections' folders, the logo and flyer hand-over, the
// movie list and its previews.
#include "gui/mediafolders.hpp"

#include "base/log.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "gui/gui.hpp"
#include "show/media.hpp"
#include "show/tmdata.hpp"
#include "util/movieplayer.hpp"

#include <cstdlib>

const sChar *const MediaFileList[] = {
  u"flyer/Sparkvane/end.png",
  u"logos/Sparkvane/credits_01.png",
  u"logos/Sparkvane/credits_02.png",
  u"logos/Sparkvane/credits_03.png",
  u"logos/Sparkvane/credits_04.png",
  u"logos/Sparkvane/credits_05.png",
  u"movies/Tarnwhistle/action_01_cut.mp4",
  u"movies/Tarnwhistle/action_02_cut.mp4",
  u"movies/Tarnwhistle/action_03_cut.mp4",
  u"movies/Tarnwhistle/ambient_01_cut.mp4",
  u"movies/Tarnwhistle/ambient_02_cut.mp4",
  u"movies/Tarnwhistle/ambient_03_cut.mov",
  u"movies/Tarnwhistle/move_01_cut.mp4",
  u"movies/Tarnwhistle/move_02_cut.mp4",
  u"movies/Tarnwhistle/move_03_cut.mp4",
  u"movies/Tarnwhistle/move_04_cut.mp4",
  u"movies/Tarnwhistle/red_01_cut.mp4",
};
// the last movie once: a name twice would give two tiles of one movie
const sInt MediaFileCount = sInt(sizeof(MediaFileList) / sizeof(MediaFileList[0]));

namespace
{
const sChar *const SectionWords[] = {u"flyer", u"logos", u"movies", u"slideshows"};

void Utf8ToChars(const char *in, sChar *out, sInt cap)
{
  sInt n = 0;
  for(const unsigned char *p = reinterpret_cast<const unsigned char *>(in); *p && n < cap - 1; p++) out[n++] = *p;
  out[n] = 0;
}

// Appends the folders below a mount folder to the drive table, from slot *next on.
void AddVolumes(MediaDrives &d, sInt &next, const sChar *folder)
{
  sDynamicArray<sDirEntry> list;
  if(!sLoadDir(list, folder, nullptr)) return;
  for(sInt i = 0; i < list.GetSize() && next < sGUI_DRIVES; i++)
  {
    const sDirEntry &e = list[i];
    if(!(e.Flags & sDEF_DIR) || e.Name[0] == '.') continue;
    sChar path[sGUI_FOLDERCHARS];
    sSPrintF(sStringRef(path, sGUI_FOLDERCHARS), u"%s/%s", folder, e.Name);
    sCopyString(d.MediaDriveRoots[next], path, sGUI_FOLDERCHARS);
    sCopyString(d.MediaDriveLabels[next], e.Name, 64);
    next++;
  }
}

void ClearList(sDynamicArray<sDirEntry> &list, sInt keep)
{
  while(list.GetSize() > keep) list.RemAt(list.GetSize() - 1);
}

// Joins folder and name with one '/'; 0 when the result would not fit.
sBool Join(sChar *out, sInt cap, const sChar *folder, const sChar *name)
{
  return JoinPath(sStringRef(out, cap), folder, name);
}

sBool SafeName(const sChar *name)
{
  return name[0] && !sCmpStringEqual(name, u".") && !sCmpStringEqual(name, u"..") && sFindFirstChar(name, '/') < 0;
}
}

void BuildMediaDrives(MediaDrives &d, const sChar *dataRoot)
{
  for(sInt i = 0; i < sGUI_DRIVES; i++) d.MediaDriveRoots[i][0] = d.MediaDriveLabels[i][0] = 0;
  sCopyString(d.MediaDriveRoots[0], dataRoot, sGUI_FOLDERCHARS);
  sCopyString(d.MediaDriveLabels[0], u"Sparkvane:", 64);
  sCopyString(d.MediaDriveRoots[1], u"", sGUI_FOLDERCHARS);   // "/" joined with a folder gives "/folder"
  sCopyString(d.MediaDriveLabels[1], u"/", 64);
  if(const char *home = getenv("HOME"))
  {
    Utf8ToChars(home, d.MediaDriveRoots[2], sGUI_FOLDERCHARS);
    sCopyString(d.MediaDriveLabels[2], u"~", 64);
  }
  sInt next = 3;
  sChar user[256] = {};
  if(const char *u = getenv("USER")) Utf8ToChars(u, user, 256);
  sChar folder[512];
  if(user[0])
  {
    sSPrintF(sStringRef(folder, 512), u"/media/%s", user);
    AddVolumes(d, next, folder);
    sSPrintF(sStringRef(folder, 512), u"/run/media/%s", user);
    AddVolumes(d, next, folder);
  }
  AddVolumes(d, next, u"/mnt");
}

sBool VideoDeviceFound()
{
  sDynamicArray<sDirEntry> list;
  return sLoadDir(list, u"/dev", u"video*") && list.GetSize() > 0;
}

sBool NormalizeMediaFolder(sChar *out, sInt cap, const sChar *folder)
{
  if(sFindFirstChar(folder, '"') >= 0) return 0;
  sChar tmp[sMAXPATH];
  sInt n = 0;
  for(const sChar *p = folder; *p && n < sMAXPATH - 2; p++) tmp[n++] = *p == '\\' ? sChar('/') : *p;
  if(n > 0 && tmp[n - 1] != '/') tmp[n++] = '/';
  tmp[n] = 0;
  if(n >= cap) return 0;
  sCopyString(out, tmp, cap);
  return 1;
}

sBool MediaFolderPath(sChar *out, sInt cap, const MediaDrives &d, sInt drive, const sChar *folder)
{
  out[0] = 0;
  if(drive < 0 || drive >= sGUI_DRIVES || (drive != 1 && !d.MediaDriveRoots[drive][0])) return 0;
  sInt a = sGetStringLen(d.MediaDriveRoots[drive]), b = sGetStringLen(folder);
  if(a + b + 2 > cap) return 0;
  sSPrintF(sStringRef(out, cap), u"%s/%s", d.MediaDriveRoots[drive], folder);
  return 1;
}

void MediaFolderLabel(sChar *out, sInt cap, const MediaDrives &d, sInt drive, const sChar *folder)
{
  if(drive < 0 || drive >= sGUI_DRIVES) drive = 0;
  sSPrintF(sStringRef(out, cap), drive == 1 ? u"%s%s" : u"%s/%s", d.MediaDriveLabels[drive], folder);
}

sBool ListMediaFolder(sDynamicArray<sDirEntry> &list, const sChar *folder, sBool packMode, sInt keep)
{
  ClearList(list, 0);
  auto fromDisk = [&]() {
    sBool ok = sLoadDir(list, folder, nullptr);
    ClearList(list, keep);
    return ok;
  };
  if(!packMode) return fromDisk();
  const sChar *word = nullptr;
  for(const sChar *w : SectionWords)
    if(sFindString(folder, w) >= 0)
    {
      word = w;
      break;
    }
  if(!word) return fromDisk(), 1;
  for(sInt i = 0; i < MediaFileCount; i++)
  {
    if(sFindString(MediaFileList[i], word) < 0) continue;
    sDirEntry e = {};
    sCopyString(e.Name, sFindFileWithoutPath(MediaFileList[i]), 256);
    e.Flags = sDEF_EXISTS;
    list.AddTail(e);
    sLogF(u"file", u"%s\n", e.Name);
  }
  // the pack holds no slideshow pictures, nor any folder the operator chose elsewhere:
  // such a folder is read from the disk
  if(list.GetSize() == 0) fromDisk();
  return 1;
}

sInt CountPictures(const sDynamicArray<sDirEntry> &list)
{
  sInt n = 0;
  for(sInt i = 0; i < list.GetSize(); i++)
    if(!(list[i].Flags & sDEF_DIR) && IsImageFile(list[i].Name)) n++;
  return n;
}

sInt CountMovies(const sDynamicArray<sDirEntry> &list)
{
  sInt n = 0;
  for(sInt i = 0; i < list.GetSize(); i++)
    if(!(list[i].Flags & sDEF_DIR) && IsMovieFile(list[i].Name)) n++;
  return n;
}

sBool PathIsInside(const sChar *inner, const sChar *outer)
{
  sChar a[sMAXPATH], b[sMAXPATH];
  if(!NormalizeMediaFolder(a, sMAXPATH, inner) || !NormalizeMediaFolder(b, sMAXPATH, outer)) return 1;
  // "//" and "/./" say the same folder
  for(sChar *s : {a, b})
  {
    sInt w = 0;
    for(sInt r = 0; s[r]; r++)
    {
      if(s[r] == '/' && w > 0 && s[w - 1] == '/') continue;
      if(s[r] == '.' && s[r + 1] == '/' && w > 0 && s[w - 1] == '/') { r++; continue; }
      s[w++] = s[r];
    }
    s[w] = 0;
  }
  return sCompareStringN(a, b, sGetStringLen(b)) == 0;
}

void GuiLoaderState::SetFlyerFolder(const sChar *path, sInt pictures, sInt entries)
{
  sScopeLock lock(Lock);
  sCopyString(FlyerFolder, path, sGUI_FOLDERCHARS * 2);
  FlyerCounter = FlyerIndex = 0;
  FlyerSet++;
  sDELETE(FlyerPicture);   // one of the old folder, not taken yet
  FlyerReady = 0;
  FlyerPictures = pictures;
  FlyerEntries = entries;
  if(pictures > 0) FlyerLoadFlag.store(1);
}

GuiLoaderState::~GuiLoaderState()
{
  sDELETE(LogoPicture);
  sDELETE(LogoBackdrop);
  sDELETE(FlyerPicture);
}

void GuiLoaderState::WithdrawUntakenJobs()
{
  // a logo load asked for stays: the logos were let go when it was asked for
  Requests.fetch_and(~((sGUI_REQ_PASTE | sGUI_REQ_DELETE) & ~Taken));
}

/****************************************************************************/
/***   Jobs                                                               ***/
/****************************************************************************/

void PasteMarked(GuiLoaderState &s)
{
  sChar source[sMAXPATH], dest[sMAXPATH];
  sDynamicArray<sDirEntry> entries;
  sInt external;
  {
    sScopeLock lock(s.Lock);
    sCopyString(source, s.CopySource, sMAXPATH);
    sCopyString(dest, s.PasteDestination, sMAXPATH);
    for(sInt i = 0; i < s.CopyEntries.GetSize(); i++) entries.AddTail(s.CopyEntries[i]);
    external = s.External;
    s.ProgressTotal = entries.GetSize();
    s.ProgressDone = 0;
    s.JobRefused = 0;
    s.JobIncomplete = 0;
  }
  sInt incomplete = 0;
  // copying a folder onto itself or into itself would never end or truncate its files
  sBool refused = PathIsInside(dest, source) && PathIsInside(source, dest);
  for(sInt i = 0; i < entries.GetSize() && !refused; i++)
  {
    sChar from[sMAXPATH];
    if(!Join(from, sMAXPATH, source, entries[i].Name) || (sIsRealFolder(entries[i].Flags) && PathIsInside(dest, from)))
      refused = 1;
  }
  for(sInt i = 0; i < entries.GetSize() && !refused && !s.Stopping(); i++)
  {
    const sDirEntry &e = entries[i];
    sChar from[sMAXPATH], to[sMAXPATH];
    if(!SafeName(e.Name) || !Join(from, sMAXPATH, source, e.Name) || !Join(to, sMAXPATH, dest, e.Name)) continue;
    if(e.Flags & sDEF_LINK) continue;   // never followed
    // an existing name is kept, a link in the destination takes nothing: the operator
    // hears that not everything was pasted
    if(e.Flags & sDEF_DIR)
      incomplete |= !CopyDirectoryTree(from, to, external);
    else if(!(e.Flags & sDEF_READONLY) || external)
      incomplete |= !sCopyFile(from, to, 1);
    sScopeLock lock(s.Lock);
    s.ProgressDone++;
  }
  sScopeLock lock(s.Lock);
  s.JobRefused = refused;
  s.JobIncomplete = incomplete;
  s.BrowserRelist = 1;
  s.Taken &= ~sGUI_REQ_PASTE;
  s.Requests.fetch_and(~sGUI_REQ_PASTE);
}

void DeleteMarked(GuiLoaderState &s)
{
  sChar folder[sMAXPATH];
  sDynamicArray<sDirEntry> entries;
  {
    sScopeLock lock(s.Lock);
    sCopyString(folder, s.DeleteFolder, sMAXPATH);
    for(sInt i = 0; i < s.DeleteEntries.GetSize(); i++) entries.AddTail(s.DeleteEntries[i]);
    s.JobRefused = 0;
  }
  // a root or the empty folder is never a place to delete in
  sInt depth = 0;
  for(const sChar *p = folder; *p; p++)
    if(*p == '/' && p[1] && p[1] != '/') depth++;
  sBool refused = !folder[0] || depth < 1;
  for(sInt i = 0; i < entries.GetSize() && !refused && !s.Stopping(); i++)
  {
    const sDirEntry &e = entries[i];
    sChar path[sMAXPATH];
    if(!SafeName(e.Name) || !Join(path, sMAXPATH, folder, e.Name))
    {
      refused = 1;   // a cut path could name a parent: nothing more is deleted
      break;
    }
    if(sIsRealFolder(e.Flags))
      DeleteDirectoryTree(path);
    else
      sDeleteFile(path);   // a link is removed itself, never what it points at
  }
  sScopeLock lock(s.Lock);
  s.JobRefused = refused;
  s.BrowserRelist = 1;
  s.Taken &= ~sGUI_REQ_DELETE;
  s.Requests.fetch_and(~sGUI_REQ_DELETE);
}

sImage *MakeLogoBackdrop(const sImage &pic, sInt &kind)
{
  sInt w = pic.SizeX, h = pic.SizeY;
  if(w < 1 || h < 1 || !sPictureFits(w, h)) return nullptr;
  sU32 p = pic.Data[0];
  sU32 fill;
  sInt r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
  if((p >> 24) < 255)
    kind = 2, fill = p;
  else if(0.3f * r + 0.6f * g + 0.1f * b >= 200.0f)
    kind = 1, fill = 0xffffffff;
  else
    kind = 0, fill = 0;
  sImage *back = sNEW sImage(w, h);
  back->Fill(fill);
  sInt sw = sInt(w * 0.75f), sh = sInt(h * 0.75f);
  if(sw < 1) sw = 1;
  if(sh < 1) sh = 1;
  sImage *small = pic.Scaled(sw, sh);
  back->Blit(small, 0, 0, (w - sw) / 2, (h - sh) / 2, sw, sh);
  sDELETE(small);
  back->Blur(8, 3);
  back->Blur(16, 3);
  return back;
}

void LoadLogoPictures(GuiLoaderState &s)
{
  sChar folder[sGUI_FOLDERCHARS * 2];
  {
    sScopeLock lock(s.Lock);
    s.LogoCount = 0;
    sCopyString(folder, s.LogoFolder, sGUI_FOLDERCHARS * 2);
  }
  sDynamicArray<sDirEntry> list;
  ListMediaFolder(list, folder, s.PackMode);
  {
    sScopeLock lock(s.Lock);
    s.LogoProgressTotal = list.GetSize() < sGUI_MAXLOGOS ? list.GetSize() : sGUI_MAXLOGOS;
    s.LogoProgressDone = 0;
  }
  sInt loaded = 0;
  for(sInt i = 0; i < list.GetSize() && loaded < sGUI_MAXLOGOS && !s.Stopping(); i++)
  {
    if(list[i].Flags & sDEF_DIR) continue;
    sChar path[sGUI_FOLDERCHARS * 3];
    if(!Join(path, sGUI_FOLDERCHARS * 3, folder, list[i].Name)) continue;
    sImage *pic = LoadPicture(path);
    if(!pic) continue;
    sInt kind = 0;
    sImage *back = MakeLogoBackdrop(*pic, kind);
    if(!back)
    {
      sDELETE(pic);
      continue;
    }
    {
      sScopeLock lock(s.Lock);
      s.LogoKinds[loaded] = kind;
      s.LogoProgressDone++;
      s.LogoSlot = loaded;
      s.LogoPicture = pic;
      s.LogoBackdrop = back;
      s.LogoReady = 1;
    }
    loaded++;
    // the main thread makes the textures; one picture is in hand at a time
    for(;;)
    {
      if(s.Stopping()) return;
      sSleep(5);
      sScopeLock lock(s.Lock);
      if(!s.LogoReady) break;
    }
  }
  sScopeLock lock(s.Lock);
  s.LogoCount = loaded;
  s.LogoJobDone = 1;
  s.Requests.fetch_and(~sGUI_REQ_LOGOS);
}

void LoadNextPicture(GuiLoaderState &s)
{
  // cleared first: a request the main thread makes while the job runs stays for the next pass
  s.FlyerLoadFlag.store(0);
  sChar folder[sGUI_FOLDERCHARS * 2];
  sU32 set;
  {
    sScopeLock lock(s.Lock);
    sDELETE(s.FlyerPicture);
    s.FlyerReady = 0;
    sCopyString(folder, s.FlyerFolder, sGUI_FOLDERCHARS * 2);
    set = s.FlyerSet;
  }
  sDynamicArray<sDirEntry> list;
  if(!ListMediaFolder(list, folder, s.PackMode)) return;
  // The walk runs on the loader's own copies of the counters, bounded by its own listing;
  // the main thread may switch the folder (and reset the counters) at any time, which
  // ends the job: a picture of the old folder is never handed over.
  const sInt entries = list.GetSize(), pictures = CountPictures(list);
  sInt index, counter;
  {
    sScopeLock lock(s.Lock);
    if(s.FlyerSet != set) return;
    s.FlyerPictures = pictures;
    s.FlyerEntries = entries;
    if(s.FlyerCounter >= pictures) s.FlyerCounter = s.FlyerIndex = 0;
    if(s.FlyerIndex >= entries) s.FlyerIndex = s.FlyerCounter = 0;
    index = s.FlyerIndex, counter = s.FlyerCounter;
  }
  for(sInt tries = 0; tries < entries && !s.Stopping(); tries++)
  {
    const sDirEntry &e = list[index];
    sImage *pic = nullptr;
    if(!(e.Flags & sDEF_DIR) && IsImageFile(e.Name))
    {
      sChar path[sGUI_FOLDERCHARS * 3];
      if(Join(path, sGUI_FOLDERCHARS * 3, folder, e.Name)) pic = LoadPicture(path);
      counter++, index++;
      if(counter >= pictures || index >= entries) counter = index = 0;
    }
    else if(++index >= entries)
      index = 0;
    sScopeLock lock(s.Lock);
    if(s.FlyerSet != set)
    {
      sDELETE(pic);
      return;
    }
    s.FlyerIndex = index, s.FlyerCounter = counter;
    if(pic)
    {
      s.FlyerPicture = pic;
      s.FlyerReady = 1;
      return;
    }
  }
}

namespace
{
void GuiLoaderThread(sThread *thread, void *user)
{
  GuiLoaderState &s = *static_cast<GuiLoaderState *>(user);
  while(!thread->CheckTerminate() && !s.Stopping())
  {
    sSleep(20);
    if(thread->CheckTerminate() || s.Stopping()) break;
    sU32 req;
    {
      // a paste or delete taken up here is no longer withdrawn by the browser's relist
      sScopeLock lock(s.Lock);
      req = s.Requests.load();
      s.Taken = req & sGUI_REQ_PASTE ? sU32(sGUI_REQ_PASTE) : req & sGUI_REQ_DELETE ? sU32(sGUI_REQ_DELETE) : 0u;
    }
    if(req & sGUI_REQ_PASTE)
      PasteMarked(s);
    else if(req & sGUI_REQ_DELETE)
      DeleteMarked(s);
    else if(req & sGUI_REQ_LOGOS)
      LoadLogoPictures(s);
    if(s.FlyerLoadFlag.load() && !thread->CheckTerminate()) LoadNextPicture(s);
  }
}
}

sThread *StartGuiLoader(GuiLoaderState &state)
{
  state.Stop.store(0);
  // the picture decoders' stack, not 64 KB: a GIF's code chains recurse thousands deep
  return sNEW sThread(GuiLoaderThread, 0, sIMAGE_DECODERSTACK, &state, u"GuiLoader");
}

/****************************************************************************/
/***   The GUI scene's record                                             ***/
/****************************************************************************/

void GuiMediaFolders::SectionFolder(sChar *out, sInt cap, const GuiMediaSection *section, sBool label) const
{
  out[0] = 0;
  if(!section) return;
  sChar folder[sGUI_FOLDERCHARS];
  if(!NormalizeMediaFolder(folder, sGUI_FOLDERCHARS, section->Directory)) folder[0] = 0;
  if(label) MediaFolderLabel(out, cap, drives, section->Drive, folder);
  else MediaFolderPath(out, cap, drives, section->Drive, folder);
}

void GuiMediaFolders::CountSlideshowPictures(const GuiMediaSection &slideshow)
{
  sChar path[sGUI_FOLDERCHARS * 2];
  SectionFolder(path, sGUI_FOLDERCHARS * 2, &slideshow, 0);
  // counted only, never marked or shown row by row: no table's bound cuts this listing
  ListMediaFolder(mediaList, path, packMode, 0x7fffffff);
  slideshowPictures = CountPictures(mediaList);
}

void GuiMediaFolders::CountFlyerFiles(const GuiMediaSection &flyer)
{
  sChar path[sGUI_FOLDERCHARS * 2];
  SectionFolder(path, sGUI_FOLDERCHARS * 2, &flyer, 0);
  ListMediaFolder(mediaList, path, packMode);
  flyerPictures = CountPictures(mediaList);
  loader.SetFlyerFolder(path, flyerPictures, mediaList.GetSize());
}

void GuiMediaFolders::CountMovieFiles(const GuiMediaSection &movie)
{
  sChar path[sGUI_FOLDERCHARS * 2];
  SectionFolder(path, sGUI_FOLDERCHARS * 2, &movie, 0);
  ListMediaFolder(mediaList, path, packMode);
  movieCount = CountMovies(mediaList);
  // the tiles, marks and previews hold 100 movies
  listCount = movieCount < sGUI_LISTMOVIES ? movieCount : sGUI_LISTMOVIES;
}

void GuiMediaFolders::StopLoader()
{
  // stop first: every wait and step of the loader tests the flag, so the join is short
  loader.Stop.store(1);
  sDELETE(loaderThread);
}

/****************************************************************************/
/***   The GUI scene's media-folder steps                                 ***/
/****************************************************************************/

GuiMediaSection *TouchGui::Section(sInt section)
{
  switch(section)
  {
  case 1: return &config.Slideshow;
  case 2: return &config.Logos;
  case 3: return &config.Flyer;
  case 4: return &config.Movie;
  default: return nullptr;
  }
}

void TouchGui::SectionFolder(sChar *out, sInt cap, sInt section, sBool label)
{
  folders.SectionFolder(out, cap, Section(section), label);
}

sBool TouchGui::StoreSectionFolder(sInt section, const sChar *folder)
{
  GuiMediaSection *s = Section(section);
  if(!s) return 0;
  sScopeLock lock(&guiLock);
  return NormalizeMediaFolder(s->Directory, sGUI_FOLDERCHARS, folder);
}

void TouchGui::RequestLogos()
{
  sChar path[sGUI_FOLDERCHARS * 2];
  SectionFolderPath(path, sGUI_FOLDERCHARS * 2, 2);
  {
    sScopeLock lock(&guiLock);
    sCopyString(folders.loader.LogoFolder, path, sGUI_FOLDERCHARS * 2);
    folders.loader.LogoProgressTotal = 1000;
    folders.loader.LogoProgressDone = 0;
  }
  // the IPP stops showing logos until the new set is published
  mediaState.LogoCount = 0;
  mediaState.LogoOff = 1;
  mediaState.LogoSet++;
  folders.loader.Requests.fetch_or(sGUI_REQ_LOGOS);
}

void TouchGui::FreeRetired()
{
  for(sInt i = 0; i < retired.GetSize(); i++) sDELETE(retired[i]);
  retired.Clear();
}

void TouchGui::MakeLogoTextures()
{
  sScopeLock lock(&guiLock);
  if(folders.loader.LogoReady)
  {
    sInt slot = folders.loader.LogoSlot;
    if(slot >= 0 && slot < sGUI_MAXLOGOS)
    {
      GuiLogo &l = mediaState.Logos[slot];
      // the IPP's materials may still point at the old pair: kept until it binds a newer set
      for(sTexture2D *old : {l.Picture, l.Mask})
        if(old) retired.AddTail(old);
      l.Picture = sLoadTexture2D(folders.loader.LogoPicture, 0x1401);
      l.Mask = sLoadTexture2D(folders.loader.LogoBackdrop, 0x1401);
      l.Kind = folders.loader.LogoKinds[slot];
    }
    sDELETE(folders.loader.LogoPicture);
    sDELETE(folders.loader.LogoBackdrop);
    folders.loader.LogoReady = 0;
  }
  if(folders.loader.LogoJobDone)
  {
    folders.loader.LogoJobDone = 0;
    sInt n = 0;
    while(n < folders.loader.LogoCount && mediaState.Logos[n].Picture) n++;
    mediaState.LogoIndex = 0;
    mediaState.LogoCount = n;
    mediaState.LogoOff = 0;
  }
  // every retired texture belongs to an older set than the one asked for last: once the
  // IPP's materials point at that set (or never pointed at any) none of them is read again
  if(retired.GetSize() && (mediaState.LogoSetBound == 0 || mediaState.LogoSetBound == mediaState.LogoSet))
    FreeRetired();
}

void TouchGui::MakeFlyerTexture()
{
  sScopeLock lock(&guiLock);
  if(folders.loader.FlyerReady && folders.loader.FlyerPicture)
  {
    // a flyer still waiting in the slot was never taken: replace it
    if(mediaState.MovieTexture && !mediaState.MovieTaken) sDELETE(mediaState.MovieTexture);
    if(!mediaState.MovieTexture)
    {
      mediaState.MovieTexture = sLoadTexture2D(folders.loader.FlyerPicture, 0x1401);
      mediaState.MovieTaken = 0;
    }
    sDELETE(folders.loader.FlyerPicture);
    folders.loader.FlyerReady = 0;
  }
  if(mediaState.MovieTaken)
  {
    // the IPP took the flyer and cleared the slot: the next one may come
    mediaState.MovieTaken = 0;
    if(folders.flyerPictures > 0) folders.loader.FlyerLoadFlag.store(1);
  }
}

/****************************************************************************/
/***   Movie previews                                                     ***/
/****************************************************************************/

void TouchGui::RefreshMovieList()
{
  folders.CountMovieFiles(config.Movie);
  LayoutList();
  MarkAllTiles();
  if(previewPlayer) previewPlayer->Release();
  previewPlayer = nullptr;
  sDELETE(previewTarget);
  previewSlot = previewIndex = previewStep = previewFrames = 0;
  for(sInt k = 0; k < sGUI_TILES; k++)
  {
    tileShown[k] = 0, movieDurations[k] = 0;
    if(MaterialSet && sGUI_TILEMATERIAL + k < MaterialSet->MaterialCount)
      MaterialSet->Materials[sGUI_TILEMATERIAL + k]->Texture[0] = MaterialSet->Textures[27];
  }
}

void TouchGui::BuildMoviePreviews()
{
  if(previewSlot >= folders.listCount || !MaterialSet) return;
  sInt slot = previewSlot;
  sMaterial *picture = MaterialSet->Materials[sGUI_TILEMATERIAL + slot];
  auto next = [this]() {
    previewSlot++;
    previewStep = 0;
    if(previewSlot >= sGUI_TILES) previewSlot = folders.listCount;
    if(previewSlot >= folders.listCount) PickMarkedPicture();
  };
  switch(previewStep)
  {
  case 0:
  {
    if(previewPlayer) previewPlayer->Release();
    previewPlayer = nullptr;
    sDELETE(previewTarget);
    sChar folder[sGUI_FOLDERCHARS * 2];
    SectionFolderPath(folder, sGUI_FOLDERCHARS * 2, 4);
    ListMediaFolder(folders.mediaList, folder, folders.packMode);
    while(previewIndex < folders.mediaList.GetSize() && !previewPlayer)
    {
      const sDirEntry &e = folders.mediaList[previewIndex++];
      if((e.Flags & sDEF_DIR) || !IsMovieFile(e.Name)) continue;
      sChar path[sGUI_FOLDERCHARS * 3];
      sSPrintF(sStringRef(path, sGUI_FOLDERCHARS * 3), u"%s%s", folder, e.Name);
      previewPlayer = sOpenMoviePlayer(path, 0);
    }
    // nothing more to open: the remaining tiles keep the empty picture
    if(!previewPlayer)
    {
      previewSlot = folders.listCount;
      PickMarkedPicture();
      return;
    }
    previewStep = 1;
    break;
  }
  case 1:
  {
    sMovieInfo info;
    previewPlayer->GetInfo(info);
    if(info.Width == -1)
    {
      picture->Texture[0] = MaterialSet->Textures[27];   // a file the player cannot play keeps the empty picture
      tileShown[slot] = 0;
      next();
      break;
    }
    movieDurations[slot] = info.Duration > 0 ? info.Duration : 0;
    previewTarget = CreateMovieTarget(previewPlayer);
    if(previewTarget)
    {
      previewStep = 2;
      previewPlayer->Seek((random.NextFloat(1.0f) * 0.2f + 0.1f) * info.Duration);
      previewFrames = 0;
    }
    break;
  }
  default:
  {
    if(previewFrames == 0)
    {
      if(!previewTextures[slot]) previewTextures[slot] = sNEW sTexture2D(256, 128, 0x201201, 0);
      picture->Texture[0] = previewTextures[slot];
      tileShown[slot] = 1;
    }
    sF32 aspect = 0;
    RenderMovieFrame(previewPlayer, previewTarget, &aspect, DisplayIndex);
    DrawTextureToTarget(previewTarget, previewTextures[slot], DisplayIndex);
    // a player may know the length only once it decodes: the list's "END:" needs it
    if(movieDurations[slot] <= 0)
    {
      sMovieInfo info;
      previewPlayer->GetInfo(info);
      movieDurations[slot] = info.Duration > 0 ? info.Duration : 0;
    }
    if(++previewFrames >= 21) next();
    break;
  }
  }
}
