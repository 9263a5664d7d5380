// Block-packed pictures kept between starts: entries, their checks and their rebuilding.

#include "show/packcache.hpp"

#include "base/file.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/numbers.hpp"
#include "base/system.hpp"
#include "graphics/image.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
std::u16string CacheFolder;
std::atomic<bool> FailureTold{false};   // a cache that cannot be made or written is told once, not per picture

constexpr sU32 EntryMagic = 0x4b505653;   // "SVPK"
constexpr sU32 EntryVersion = 1;

// What an entry is kept for: the source as it was when it was packed, and the packing.
struct EntryKey
{
  sU64 SourceSize;
  sU64 SourceTime;
  sU32 SourceCrc;
  sU32 Option;       // format word in the low 24 bits, bit 24 for height to normals
};

struct EntryHead
{
  sU32 Magic;
  sU32 Version;
  EntryKey Key;
  sU32 PathChars;    // UTF-16 characters of the source's name that follow the head
  sS32 Format;
  sS32 SizeX;
  sS32 SizeY;
  sS32 Mipmaps;
  sU64 DataSize;
};

template <class T> void Append(std::vector<sU8> &out, const T &v)
{
  const sU8 *p = reinterpret_cast<const sU8 *>(&v);
  out.insert(out.end(), p, p + sizeof(T));
}

// The entry's packed levels into data when the file is whole and was made for this key and
// name; anything else (missing, cut short, other source, checksum wrong) gives 0.
sBool ReadEntry(const std::u16string &entry, const EntryKey &key, const sChar *path, sInt format, sImageData &data)
{
  sDInt size = 0;
  sU8 *bytes = sLoadFileData(entry.c_str(), &size);
  if(!bytes) return 0;
  sBool ok = 0;
  sInt pathChars = sGetStringLen(path);
  EntryHead head;
  if(size >= sDInt(sizeof(head) + 4))
  {
    memcpy(&head, bytes, sizeof(head));
    sU32 crc;
    memcpy(&crc, bytes + size - 4, 4);
    ok = head.Magic == EntryMagic && head.Version == EntryVersion && memcmp(&head.Key, &key, sizeof(key)) == 0 &&
         head.PathChars == sU32(pathChars) && head.DataSize < (sU64(1) << 32) &&
         sU64(size) == sizeof(head) + sU64(pathChars) * 2 + head.DataSize + 4 && memcmp(bytes + sizeof(head), path, size_t(pathChars) * 2) == 0 &&
         head.Format == format && head.SizeX >= 4 && head.SizeY >= 4 && head.SizeX <= 16384 && head.SizeY <= 16384 &&
         sChecksumCRC32(bytes, size - 4) == crc;
    if(ok)
    {
      data.Init(format, 0, head.SizeX, head.SizeY);
      // the layout is worked out afresh and must be the one that was stored
      ok = data.Mipmaps == head.Mipmaps && sU64(data.DataSize) == head.DataSize;
      if(ok) memcpy(data.Data, bytes + sizeof(head) + size_t(pathChars) * 2, size_t(head.DataSize));
    }
  }
  sMemFree(bytes);
  return ok;
}

// Writes the entry through a new file renamed over the old one, so that a start cut short
// leaves either the old entry or the new one, never half of one.
void WriteEntry(const std::u16string &entry, const EntryKey &key, const sChar *path, const sImageData &data)
{
  std::string folder = plat::ToUtf8(CacheFolder.c_str());
  // another show filling the same cache may make the folder between the look and the make
  if(!plat::PathExists(folder.c_str()) && !plat::MakeDir(folder.c_str()) && !plat::PathExists(folder.c_str()))
  {
    if(!FailureTold.exchange(true)) sLogF(u"gfx", u"picture cache <%s> cannot be made\n", CacheFolder.c_str());
    return;
  }
  sInt pathChars = sGetStringLen(path);
  EntryHead head{EntryMagic, EntryVersion, key, sU32(pathChars), data.Format, data.SizeX, data.SizeY, data.Mipmaps,
                 sU64(data.DataSize)};
  std::vector<sU8> out;
  out.reserve(sizeof(head) + size_t(pathChars) * 2 + size_t(data.DataSize) + 4);
  Append(out, head);
  const sU8 *p = reinterpret_cast<const sU8 *>(path);
  out.insert(out.end(), p, p + size_t(pathChars) * 2);
  out.insert(out.end(), data.Data, data.Data + data.DataSize);
  Append(out, sChecksumCRC32(out.data(), sDInt(out.size())));
  // several shows may fill one cache: each writes under a name of its own
  sPathString temp;
  sMakeSaveTempName(temp.Ref(), entry.c_str(), u".new");
  if(!sSaveFileData(temp, out.data(), sDInt(out.size())) || !sRenameFile(temp, entry.c_str()))
  {
    sDeleteFile(temp);
    if(!FailureTold.exchange(true)) sLogF(u"gfx", u"picture cache entry <%s> cannot be written\n", entry.c_str());
  }
}

void PackImage(sImage *img, sInt format, sImageData &data)
{
  data.Init(format, 0, img->SizeX, img->SizeY);
  data.ConvertFrom(img);
}

// The picture loaded, its heights turned into normals when asked; null when it cannot be.
sImage *LoadPicture(const sChar *path, sBool normals)
{
  sImage *img = sNEW sImage;
  if(!img->Load(path) || img->SizeX < 1 || img->SizeY < 1)
  {
    sDELETE(img);
    return nullptr;
  }
  if(normals)
  {
    sImage *n = sNEW sImage;
    n->HeightToNormal(img, 1.0f);
    sDELETE(img);
    img = n;
  }
  return img;
}
}

void SetPackedPictureCache(const sChar *folder)
{
  CacheFolder = folder ? folder : u"";
  while(CacheFolder.size() > 1 && CacheFolder.back() == u'/') CacheFolder.pop_back();
  FailureTold = false;
  // what writers killed half-way left (a show that runs beside this one keeps its own)
  if(!CacheFolder.empty()) sClearStaleSaveTemps((CacheFolder + u"/*.packed").c_str());
}

const sChar *GetPackedPictureCache() { return CacheFolder.empty() ? nullptr : CacheFolder.c_str(); }

std::u16string GetPackedPictureEntry(const sChar *path, sInt format, sBool normals)
{
  char name[64];
  snprintf(name, sizeof(name), "/%08x-%06x%s.packed", sChecksumCRC32(path, sDInt(sGetStringLen(path)) * 2),
           unsigned(format & 0xffffff), normals ? "n" : "");
  return CacheFolder + plat::ToUtf16(name);
}

sBool LoadPackedPicture(const sChar *path, sInt format, sBool normals, sImageData &data, sImage **unpacked)
{
  if(unpacked) *unpacked = nullptr;
  EntryKey key{};
  std::u16string entry;
  if(!CacheFolder.empty())
  {
    // the source's bytes as the loader would see them (a pack file included), its time
    // from the folder when it is a file of its own
    sDInt size = 0;
    sU8 *bytes = sLoadFileData(path, &size);
    if(bytes)
    {
      plat::DirEntry info;
      std::string path8 = plat::ToUtf8(path);
      key.SourceSize = sU64(size);
      key.SourceTime = plat::GetFileInfo(path8.c_str(), &info) ? info.LastWrite : 0;
      key.SourceCrc = sChecksumCRC32(bytes, size);
      key.Option = sU32(format & 0xffffff) | (normals ? 1u << 24 : 0u);
      sMemFree(bytes);
      entry = GetPackedPictureEntry(path, format, normals);
      if(ReadEntry(entry, key, path, format, data)) return 1;
    }
  }

  sImage *img = LoadPicture(path, normals);
  if(!img) return 0;
  if(img->SizeX < 4 || img->SizeY < 4)
  {
    if(unpacked)
      *unpacked = img;
    else
      sDELETE(img);
    return 0;
  }
  PackImage(img, format, data);
  sDELETE(img);
  if(!entry.empty()) WriteEntry(entry, key, path, data);
  return 1;
}

namespace
{
struct PictureJob
{
  std::u16string Path;
  sInt Format;
  sBool Normals;
  sBool Done = 0;
  sBool Packed = 0;
  sImageData *Data = nullptr;
  sImage *Small = nullptr;
};

// Half the machine's cores pack, at most four: the caller and the device's own threads
// keep the rest.
size_t PackerThreads()
{
  unsigned cores = std::thread::hardware_concurrency();
  return cores >= 8 ? 4 : cores >= 4 ? cores / 2 : 1;
}
}

struct PackedPictureBatch::Shared
{
  std::mutex Lock;
  std::condition_variable WorkAdded;
  std::condition_variable JobDone;
  std::vector<std::unique_ptr<PictureJob>> Jobs;
  size_t Next = 0;   // the first picture no thread has begun
  bool Stop = false;
  std::vector<sThread *> Threads;

  static void Work(sThread *thread, void *user);
};

void PackedPictureBatch::Shared::Work(sThread *, void *user)
{
  Shared *s = static_cast<Shared *>(user);
  std::unique_lock<std::mutex> lock(s->Lock);
  for(;;)
  {
    s->WorkAdded.wait(lock, [s] { return s->Stop || s->Next < s->Jobs.size(); });
    if(s->Stop) return;
    PictureJob *job = s->Jobs[s->Next++].get();
    lock.unlock();
    sImageData *data = sNEW sImageData;
    sImage *small = nullptr;
    sBool packed = LoadPackedPicture(job->Path.c_str(), job->Format, job->Normals, *data, &small);
    if(!packed) sDELETE(data);
    lock.lock();
    job->Packed = packed;
    job->Data = data;
    job->Small = small;
    job->Done = 1;
    s->JobDone.notify_all();
  }
}

PackedPictureBatch::PackedPictureBatch() : S(new Shared) {}

PackedPictureBatch::~PackedPictureBatch()
{
  {
    std::lock_guard<std::mutex> lock(S->Lock);
    S->Stop = true;
  }
  S->WorkAdded.notify_all();
  for(sThread *&t : S->Threads) sDELETE(t);
  for(std::unique_ptr<PictureJob> &job : S->Jobs)
  {
    sDELETE(job->Data);
    sDELETE(job->Small);
  }
}

sInt PackedPictureBatch::Add(const sChar *path, sInt format, sBool normals)
{
  PictureJob *job = new PictureJob;
  job->Path = path;
  job->Format = format;
  job->Normals = normals;
  size_t waiting;
  sInt n;
  {
    std::lock_guard<std::mutex> lock(S->Lock);
    n = sInt(S->Jobs.size());
    S->Jobs.emplace_back(job);
    waiting = S->Jobs.size() - S->Next;
  }
  S->WorkAdded.notify_one();
  // another thread while there are pictures no thread has begun
  if(S->Threads.size() < PackerThreads() && waiting > 0)
    S->Threads.push_back(sNEW sThread(&Shared::Work, 0, 0, S.get(), u"PicturePacker"));
  return n;
}

sBool PackedPictureBatch::Take(sInt n, sImageData **data, sImage **unpacked)
{
  std::unique_lock<std::mutex> lock(S->Lock);
  sVERIFY(n >= 0 && size_t(n) < S->Jobs.size());
  PictureJob *job = S->Jobs[size_t(n)].get();
  S->JobDone.wait(lock, [job] { return job->Done != 0; });
  *data = job->Data;
  job->Data = nullptr;
  if(unpacked)
    *unpacked = job->Small;
  else
    sDELETE(job->Small);
  job->Small = nullptr;
  return job->Packed;
}
