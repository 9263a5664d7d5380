// Block-packed pictures: loading and packing, alone or on a batch's threads.

#include "show/packedpicture.hpp"

#include "base/memory.hpp"
#include "base/system.hpp"
#include "graphics/image.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
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

sBool LoadPackedPicture(const sChar *path, sInt format, sBool normals, sImageData &data, sImage **unpacked)
{
  if(unpacked) *unpacked = nullptr;
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
    S->Threads.push_back(sNEW sThread(&Shared::Work, 0, sIMAGE_DECODERSTACK, S.get(), u"PicturePacker"));
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
