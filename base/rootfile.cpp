// The operating system's files through the files layer: open files with views read into
// memory and asynchronous reads from a shared pool of read entries, the root file
// handler, and the folder functions.
#include "base/rootfile.hpp"
#include "platform/system/system.hpp"
#include "platform/text/utf.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr sDInt MaxWritePiece = 0x1000000;   // 16 MiB

std::u16string ToText(const std::string &s) { return plat::ToUtf16(s); }
// The system's words at the end of a platform error ("write failed <name>: File too large")
// become the calling thread's file failure.
void KeepFailure(const std::string &error)
{
  size_t colon = error.rfind(": ");
  sSetFileFailure(ToText(colon == std::string::npos ? error : error.substr(colon + 2)).c_str());
}
}

/****************************************************************************/
/***   sRootFile                                                          ***/
/****************************************************************************/

sRootFile::sRootFile(sRootFileHandler *handler) : Handler(handler) {}

sRootFile::~sRootFile()
{
  if(Handle.IsOpen())
    Close();
}

bool sRootFile::Open(const char *name, sInt mode, std::string *error)
{
  if(!Handle.Open(name, mode, error))
    return false;
  Mode = mode;
  IsOverlapped = (mode == sFA_READ || mode == sFA_READRANDOM) ? 1 : 0;
  Ok = 1;
  sS64 size = Handle.Size(error);
  if(size < 0)
  {
    Ok = 0;
    size = 0;
  }
  Size = size;
  // appending writes land at the end: the offset says so from the start
  Offset = mode == sFA_WRITEAPPEND ? Size : 0;
  MapOffset = MapSize = 0;
  View = nullptr;
  MapStarted = MapFailed = 0;
  return true;
}

sBool sRootFile::Close()
{
  sVERIFYAS(Handle.IsOpen(), u"File!=((HANDLE)(LONG_PTR)-1)");
  // reads the caller never ended would hold their entries for good
  if(Handler)
  {
    std::vector<sInt> mine;
    {
      std::lock_guard<std::mutex> lock(Handler->Lock);
      for(sInt i = 0; i < sRootFileHandler::MAX_READENTRIES; i++)
        if(Handler->ReadEntries[i].Next == i && Handler->ReadEntries[i].File == this)
          mine.push_back(i);
    }
    for(sInt rh : mine)
      EndAsync(rh);
  }
  DropView();
  std::string error;
  if(!Handle.Close(&error))
  {
    KeepFailure(error);
    Ok = 0;
  }
  return Ok;
}

sBool sRootFile::Flush()
{
  sVERIFY(Handle.IsOpen());
  std::string error;
  if(!Handle.Sync(&error))
  {
    sLogF(u"file", u"%s\n", ToText(error).c_str());
    KeepFailure(error);
    Ok = 0;
    return 0;
  }
  return 1;
}

sBool sRootFile::Read(void *data, sDInt size)
{
  sVERIFY(Handle.IsOpen());
  sVERIFY(size<=0x7fffffff);
  if(size < 0 || Offset < 0)
  {
    Ok = 0;
    return 0;
  }
  std::string error;
  sS64 got;
  if(IsOverlapped)
    got = Handle.ReadAt(data, sU64(size), sU64(Offset), &error);
  else
    got = Handle.Read(data, sU64(size), &error);
  // the system's error code, taken before anything else can change it
  sInt code = got < 0 ? errno : 0;
  if(got < 0)
  {
    sLogF(u"file", u"read error: %08x\n", code);
    sSetFileFailure(ToText(strerror(code)).c_str());
    Ok = 0;
    return 0;
  }
  Offset += got;
  if(got != size)
  {
    Ok = 0;
    return 0;
  }
  return 1;
}

sBool sRootFile::Write(const void *data, sDInt size)
{
  sVERIFY(Handle.IsOpen());
  sVERIFY(!IsOverlapped);
  sVERIFY(size >= 0);
  if(size > MaxWritePiece)
  {
    const sU8 *p = static_cast<const sU8 *>(data);
    while(size > 0)
    {
      sDInt piece = size > MaxWritePiece ? MaxWritePiece : size;
      if(!Write(p, piece))
        return 0;
      p += piece;
      size -= piece;
    }
    return 1;
  }
  std::string error;
  sS64 put = Handle.Write(data, sU64(size), &error);
  if(put > 0)
    Offset = Mode == sFA_WRITEAPPEND ? Handle.Tell() : Offset + put;
  // the size follows a write past the end: GetSize would otherwise still give the size at opening
  if(Offset > Size)
    Size = Offset;
  if(put != size)
  {
    if(put < 0)
    {
      sLogF(u"file", u"write error: %s\n", ToText(error).c_str());
      KeepFailure(error);
    }
    Ok = 0;
    return 0;
  }
  return 1;
}

const sU8 *sRootFile::Map(sS64 offset, sDInt size)
{
  if(MapFailed)
    return nullptr;
  if(!MapStarted)
  {
    // only files opened for reading are mapped
    if(Mode != sFA_READ && Mode != sFA_READRANDOM)
    {
      MapFailed = 1;
      return nullptr;
    }
    MapStarted = 1;
  }
  DropView();
  if(size >= 0x7fffffff || size <= 0 || offset < 0)
    return nullptr;
  // a copy read from the file, not a mapping: a file cut short under the show fails here instead of raising SIGBUS later
  sSetAllocSource(__FILE__, __LINE__);
  sU8 *copy = static_cast<sU8 *>(sMemAlloc(size, 16, sAMF_ALT | sAMF_MAYFAIL));
  if(!copy)
    return nullptr;
  std::string error;
  sS64 got = Handle.ReadAt(copy, sU64(size), sU64(offset), &error);
  if(got != sS64(size))
  {
    if(got < 0)
      sLogF(u"file", u"read error: %s\n", ToText(error).c_str());
    sMemFree(copy);
    return nullptr;
  }
  View = copy;
  MapOffset = offset;
  MapSize = size;
  return View;
}

void sRootFile::DropView()
{
  if(View)
    sMemFree(const_cast<sU8 *>(View));
  View = nullptr;
  MapOffset = MapSize = 0;
}

sBool sRootFile::SetOffset(sS64 offset)
{
  sVERIFY(Handle.IsOpen());
  Offset = offset;
  if(IsOverlapped)
    return offset >= 0 && offset <= Size;
  sBool result = offset >= 0 && Handle.Seek(sU64(offset));
  if(!result)
    Ok = 0;
  return result;
}

sS64 sRootFile::GetOffset() { return Offset; }
sS64 sRootFile::GetSize() { return Size; }

sBool sRootFile::SetSize(sS64 size)
{
  sVERIFY(Handle.IsOpen());
  sVERIFY(!IsOverlapped);
  if(!Ok)
    return 0;
  sS64 before = Offset;
  Size = size;
  sBool a = SetOffset(size);
  sBool b = size >= 0 && Handle.SetSize(sU64(size));
  sBool c = SetOffset(size < before ? size : before);
  Ok = a && b && c;
  return Ok;
}

sRootReadEntry &sRootFile::CheckEntry(sInt handle)
{
  sVERIFYAS(handle >= 0 && handle < sRootFileHandler::MAX_READENTRIES, u"handle>=0 && handle<sRootFileHandler::MAX_READENTRIES");
  sVERIFY(Handler);
  std::lock_guard<std::mutex> lock(Handler->Lock);
  sRootReadEntry &e = Handler->ReadEntries[handle];
  // a handle that was ended already, or that belongs to another file
  sVERIFYASDESC(e.Next == handle && e.File == this, u"ReadEntries[handle].Next==handle", u"read handle not in use by this file");
  return e;
}

sInt sRootFile::ReadAsync(sS64 offset, sDInt size, void *dest)
{
  sVERIFY(Handle.IsOpen());
  sVERIFY(Handler);
  sVERIFYAS(offset >= 0 && size >= 0 && offset <= Size && sS64(size) <= Size - offset, u"offset + size <= Size");
  sInt rh = Handler->TakeEntry(this);
  sRootReadEntry &e = Handler->ReadEntries[rh];
  e.Size = size;
  e.Owned = nullptr;
  e.Ticket = 0;
  if(!dest)
  {
    sSetAllocSource(__FILE__, __LINE__);
    e.Owned = sMemAlloc(size > 0 ? size : 1, 16, 0);
    dest = e.Owned;
  }
  std::string error;
  e.Ticket = Handle.ReadAsync(sU64(offset), sU64(size), dest, &error);
  if(!e.Ticket)
    sLogF(u"file", u"read error: %s\n", ToText(error).c_str());
  e.InFlight = 1;
  return rh;
}

sBool sRootFile::AsyncDone(sInt handle)
{
  sRootReadEntry &e = CheckEntry(handle);
  if(!e.InFlight)
    return 1;
  if(!e.Ticket)
    sFatal(u"sRootFile: read error during async io!\n");
  sS64 read = 0;
  plat::AsyncState state = Handle.AsyncStatus(e.Ticket, &read);
  if(state == plat::AsyncState::Pending)
    return 0;
  if(state != plat::AsyncState::Done)
    sFatal(u"sRootFile: read error during async io!\n");
  sVERIFY((sDInt)read==e.Size);
  e.InFlight = 0;
  return 1;
}

void *sRootFile::AsyncData(sInt handle)
{
  sRootReadEntry &e = CheckEntry(handle);
  if(!AsyncDone(handle))
    return nullptr;
  return e.Owned;
}

void sRootFile::EndAsync(sInt handle)
{
  sRootReadEntry &e = CheckEntry(handle);
  if(e.Ticket)
    Handle.AsyncWait(e.Ticket);   // waits when still running, and collects the result
  e.Ticket = 0;
  e.InFlight = 0;
  if(e.Owned)
    sMemFree(e.Owned);
  e.Owned = nullptr;
  Handler->ReturnEntry(handle);
}

/****************************************************************************/
/***   sRootFileHandler                                                   ***/
/****************************************************************************/

sRootFileHandler::sRootFileHandler()
{
  for(sInt i = 0; i < MAX_READENTRIES; i++)
    ReadEntries[i].Next = i + 1 < MAX_READENTRIES ? i + 1 : -1;
  FirstFree = 0;
}

sRootFileHandler::~sRootFileHandler() = default;

sInt sRootFileHandler::TakeEntry(sRootFile *file)
{
  Lock.lock();
  if(FirstFree < 0)
  {
    Lock.unlock();
    sFatal(u"sRootFileHandler: out of async read entries!\n");
  }
  sInt rh = FirstFree;
  FirstFree = ReadEntries[rh].Next;
  ReadEntries[rh].Next = rh;
  ReadEntries[rh].File = file;
  Lock.unlock();
  return rh;
}

void sRootFileHandler::ReturnEntry(sInt rh)
{
  Lock.lock();
  if(!(rh >= 0 && rh < MAX_READENTRIES && ReadEntries[rh].Next == rh))
  {
    Lock.unlock();
    sAssertionFailed(__FILE__, __LINE__, u"ReadEntries[rh].Next==rh", u"");
  }
  ReadEntries[rh].File = nullptr;
  ReadEntries[rh].Next = FirstFree;
  FirstFree = rh;
  Lock.unlock();
}

sInt sRootFileHandler::CountEntriesInUse()
{
  std::lock_guard<std::mutex> lock(Lock);
  sInt n = 0;
  for(sInt i = 0; i < MAX_READENTRIES; i++)
    if(ReadEntries[i].Next == i)
      n++;
  return n;
}

sFile *sRootFileHandler::Create(const sChar *name, sInt access)
{
  const sChar *modeName = sGetFileAccessName(access);
  if(access < sFA_READ || access > sFA_READWRITE)
    sFatalF(u"sRootFileHandler: unknown access mode %d for <%s>\n", access, name);
  sRootFile *file = sNEW sRootFile(this);
  std::string error;
  if(!file->Open(plat::ToUtf8(name).c_str(), access, &error))
  {
    sInt code = file->Handle.OpenError();
    sLogF(u"file", u"failed to open file <%s> for %s\n", name, modeName);
    // a name that is there but cannot be opened is reported as what it is
    if(code && code != ENOENT && code != ENOTDIR) sSetOpenFailure(ToText(strerror(code)).c_str());
    if(code) sSetFileFailure(ToText(strerror(code)).c_str());
    else KeepFailure(error);
    sDELETE(file);
    return nullptr;
  }
  sLogF(u"file", u"open file <%s> for %s\n", name, modeName);
  return file;
}

sBool sRootFileHandler::Exists(const sChar *name)
{
  return plat::PathExists(plat::ToUtf8(name).c_str()) ? 1 : 0;
}

void sInitRootFileHandler()
{
  sAddFileHandler(sNEW sRootFileHandler);
}

/****************************************************************************/
/***   Folders                                                            ***/
/****************************************************************************/

sBool sLoadDir(sArray<sDirEntry> &list, const sChar *folder, const sChar *pattern)
{
  list.Clear();
  sStringBuffer<2048> path(folder);
  sInt len = path.Count();
  if(len == 0 || (path[len - 1] != '/' && path[len - 1] != '\\'))
    path.Add(u"/");
  path.Add(pattern ? pattern : u"*.*");
  len = path.Count();
  if(len > 0 && (path[len - 1] == '/' || path[len - 1] == '\\'))
    path[len - 1] = 0;

  std::vector<plat::DirEntry> found;
  if(!plat::FindFiles(plat::ToUtf8(path.Get()).c_str(), &found))
    return 0;
  for(const plat::DirEntry &f : found)
  {
    sDirEntry *e = list.AddMany(1);
    sCopyString(e->Name, ToText(f.Name).c_str(), 256);
    e->Size = f.Directory ? 0 : f.Size > 0x7fffffffu ? 0x7fffffffu : sU32(f.Size);
    e->Flags = sDEF_EXISTS;
    if(f.Directory) e->Flags |= sDEF_DIR;   // a link to a folder too
    if(f.SymbolicLink) e->Flags |= sDEF_LINK;
    if(f.ReadOnly) e->Flags |= sDEF_READONLY;
    e->LastWrite = f.LastWrite;
  }
  if(!found.empty())
    return 1;
  // nothing listed: the search still counts as found when the pattern takes "." (every
  // folder has it), as in an empty folder listed with "*.*"
  const sChar *last = sFindFileWithoutPath(path.Get());
  return sMatchWildcard(u".", last) ? 1 : 0;
}

sBool sCheckFile(const sChar *name)
{
  return plat::CanOpenForReading(plat::ToUtf8(name).c_str()) ? 1 : 0;
}

void sMakeDir(const sChar *name)
{
  plat::MakeDir(plat::ToUtf8(name).c_str());
}

void sDeleteFile(const sChar *name)
{
  plat::DeleteFile(plat::ToUtf8(name).c_str());
}

sBool sRenameFile(const sChar *from, const sChar *to)
{
  std::string target = plat::ToUtf8(to), error;
  if(!plat::RenameFile(plat::ToUtf8(from).c_str(), target.c_str(), &error) || !plat::SyncFolderOf(target.c_str(), &error))
  {
    sLogF(u"file", u"%s\n", ToText(error).c_str());
    KeepFailure(error);
    return 0;
  }
  return 1;
}

void sMakeSaveTempName(const sStringRef &out, const sChar *path, const sChar *suffix)
{
  static std::atomic<sU32> count{0};
  sSPrintF(out, u"%s.%d-%d%s", path, plat::ProcessId(), sInt(++count), suffix);
}

namespace
{
// The process id of a save's temporary whose name ends with suffix: "<file>.<pid>-<n>" in
// front of it, with <file> matching pattern. 0 for the plain "<file><suffix>" of earlier
// versions; -1 for any other name.
sInt SaveTempOwner(const sChar *name, const sChar *pattern, const sChar *suffix)
{
  std::u16string stem(name);
  size_t suffixLength = std::char_traits<sChar>::length(suffix);
  if(stem.size() <= suffixLength || sCompareStringNoCase(stem.c_str() + stem.size() - suffixLength, suffix) != 0)
    return -1;
  stem.resize(stem.size() - suffixLength);
  if(sMatchWildcard(stem.c_str(), pattern)) return 0;
  size_t dot = stem.rfind(u'.');
  if(dot == std::u16string::npos) return -1;
  std::u16string number = stem.substr(dot + 1);
  size_t dash = number.find(u'-');
  if(dash == 0 || dash == std::u16string::npos || dash + 1 == number.size() || number.size() > 24) return -1;
  sInt pid = 0;
  for(size_t i = 0; i < number.size(); i++)
  {
    if(i == dash) continue;
    if(number[i] < u'0' || number[i] > u'9') return -1;
    if(i < dash) pid = pid * 10 + (number[i] - u'0');
    if(pid > 0x3fffffff) return -1;
  }
  if(pid <= 0) return -1;
  stem.resize(dot);
  return sMatchWildcard(stem.c_str(), pattern) ? pid : -1;
}
}

void sClearStaleSaveTemps(const sChar *path)
{
  std::u16string all(path);
  size_t slash = all.find_last_of(u"/\\");
  std::u16string folder = slash == std::u16string::npos ? u"." : slash == 0 ? u"/" : all.substr(0, slash);
  std::u16string pattern = slash == std::u16string::npos ? all : all.substr(slash + 1);
  std::vector<plat::DirEntry> found;
  if(pattern.empty() || !plat::ListDir(plat::ToUtf8(folder.c_str()).c_str(), plat::ToUtf8((pattern + u".*").c_str()).c_str(), &found))
    return;
  for(const plat::DirEntry &f : found)
  {
    if(f.Directory) continue;
    std::u16string name = ToText(f.Name);
    for(const sChar *suffix : {u".new", u".tmp"})
    {
      sInt owner = SaveTempOwner(name.c_str(), pattern.c_str(), suffix);
      if(owner < 0 || (owner > 0 && plat::ProcessRuns(owner))) continue;
      std::u16string full = folder + u"/" + name;
      if(plat::DeleteFile(plat::ToUtf8(full.c_str()).c_str()))
        sLogF(u"file", u"removed <%s>, left by a save that did not end\n", full.c_str());
      break;
    }
  }
}

sBool sDeleteDir(const sChar *name)
{
  return plat::RemoveDir(plat::ToUtf8(name).c_str()) ? 1 : 0;
}

sBool sCopyFile(const sChar *from, const sChar *to, sBool failIfExists)
{
  sLogF(u"file", u"copy from <%s>\n", from);
  sLogF(u"file", u"copy to   <%s>\n", to);
  std::string target = plat::ToUtf8(to);
  if(!plat::CopyFile(plat::ToUtf8(from).c_str(), target.c_str(), failIfExists != 0))
  {
    sLogF(u"file", u"copy failed to <%s>\n", to);
    return 0;
  }
  plat::SetReadOnly(target.c_str(), false);
  return 1;
}

void sSetProjectDir(const sChar *project)
{
  static const sChar *const Folders[] = {u"c:/hlq/", u"e:/hlq/", u"g:/hlq/", u"../../"};
  for(const sChar *folder : Folders)
  {
    sStringBuffer<2048> path(folder);
    path.Add(project);
    if(plat::ChangeDir(plat::ToUtf8(path.Get()).c_str()))
    {
      sLogF(u"file", u"sChangeDir <%s>\n", path.Get());
      return;
    }
  }
  sLogF(u"file", u"sSetProjectDir could not find project <%s>\n", project);
}
