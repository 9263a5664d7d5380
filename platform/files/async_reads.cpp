// Asynchronous reads: a queue served by two worker threads with pread. Every request
// keeps its result until its owner collects it or closes; a file waits for its reads
// before it closes, so a worker never reads from a closed (or reused) descriptor.

#include "platform/files/async_reads.hpp"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace plat::files_internal
{
namespace
{
constexpr int kWorkers = 2;

struct Request
{
  const File *Owner = nullptr;
  int Fd = -1;
  uint64_t Offset = 0;
  uint64_t Size = 0;
  void *Dest = nullptr;
  AsyncState State = AsyncState::Pending;
  int64_t Bytes = 0;
  std::string Error;
};

class Service
{
public:
  uint64_t Submit(const File *owner, int fd, uint64_t offset, uint64_t size, void *dest)
  {
    std::lock_guard<std::mutex> lock(M);
    StartWorkers();
    uint64_t ticket = NextTicket++;
    Request &r = Table[ticket];
    r.Owner = owner;
    r.Fd = fd;
    r.Offset = offset;
    r.Size = size;
    r.Dest = dest;
    Outstanding[owner]++;
    Queue.push_back(ticket);
    WorkCv.notify_one();
    return ticket;
  }

  AsyncState Status(const File *owner, uint64_t ticket, bool wait, bool collect, int64_t *bytes, std::string *error)
  {
    std::unique_lock<std::mutex> lock(M);
    auto it = Table.find(ticket);
    if(it == Table.end() || it->second.Owner != owner) return AsyncState::Unknown;
    if(wait)
    {
      DoneCv.wait(lock, [&] {
        auto found = Table.find(ticket);
        return found == Table.end() || found->second.State != AsyncState::Pending;
      });
      it = Table.find(ticket);
      if(it == Table.end()) return AsyncState::Unknown;  // collected meanwhile by another thread
    }
    AsyncState state = it->second.State;
    if(bytes) *bytes = it->second.Bytes;
    if(error && state == AsyncState::Failed) *error = it->second.Error;
    if(collect && state != AsyncState::Pending) Table.erase(it);
    return state;
  }

  void Drain(const File *owner)
  {
    std::unique_lock<std::mutex> lock(M);
    DoneCv.wait(lock, [&] {
      auto it = Outstanding.find(owner);
      return it == Outstanding.end() || it->second == 0;
    });
    Outstanding.erase(owner);
    // results nobody collected go with the file
    for(auto it = Table.begin(); it != Table.end();)
      if(it->second.Owner == owner) it = Table.erase(it);
      else ++it;
  }

private:
  void StartWorkers()
  {
    // a forked child has none of the parent's threads: start its own
    if(WorkersPid == getpid()) return;
    WorkersPid = getpid();
    for(int i = 0; i < kWorkers; i++)
    {
      std::thread t([this] { Work(); });
      pthread_setname_np(t.native_handle(), "AsyncFileRead");
      t.detach();
    }
  }

  void Work()
  {
    std::unique_lock<std::mutex> lock(M);
    for(;;)
    {
      WorkCv.wait(lock, [&] { return !Queue.empty(); });
      uint64_t ticket = Queue.front();
      Queue.pop_front();
      Request job = Table[ticket];
      lock.unlock();

      int64_t done = 0;
      std::string error;
      bool failed = false;
      char *dest = static_cast<char *>(job.Dest);
      while(uint64_t(done) < job.Size)
      {
        uint64_t left = job.Size - uint64_t(done);
        size_t chunk = left > 0x40000000u ? size_t(0x40000000u) : size_t(left);
        ssize_t r = pread(job.Fd, dest + done, chunk, off_t(job.Offset + uint64_t(done)));
        if(r < 0)
        {
          if(errno == EINTR) continue;
          failed = true;
          error = std::string("read failed: ") + strerror(errno);
          break;
        }
        if(r == 0) break;  // end of file
        done += r;
      }

      lock.lock();
      Request &r = Table[ticket];
      r.State = failed ? AsyncState::Failed : AsyncState::Done;
      r.Bytes = done;
      r.Error = error;
      auto out = Outstanding.find(job.Owner);
      if(out != Outstanding.end() && out->second > 0) out->second--;
      DoneCv.notify_all();
    }
  }

  std::mutex M;
  std::condition_variable WorkCv, DoneCv;
  std::deque<uint64_t> Queue;
  std::unordered_map<uint64_t, Request> Table;
  std::unordered_map<const File *, int> Outstanding;
  uint64_t NextTicket = 1;
  pid_t WorkersPid = 0;
};

// Made once and never destroyed: its detached workers may still be waiting for work
// while the process ends.
Service &TheService()
{
  static Service *service = new Service;
  return *service;
}
}

uint64_t Submit(const File *owner, int fd, uint64_t offset, uint64_t size, void *dest)
{
  return TheService().Submit(owner, fd, offset, size, dest);
}

AsyncState Status(const File *owner, uint64_t ticket, bool wait, bool collect, int64_t *bytes, std::string *error)
{
  return TheService().Status(owner, ticket, wait, collect, bytes, error);
}

void Drain(const File *owner)
{
  TheService().Drain(owner);
}
}
