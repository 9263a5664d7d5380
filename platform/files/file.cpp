// Open files over POSIX descriptors: sequential and positioned reads and writes, size
// and asynchronous reads.

#include "platform/files/async_reads.hpp"
#include "platform/files/files.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat
{
namespace
{
// One system call moves at most this much.
constexpr uint64_t kChunk = 0x40000000u;

void SetError(std::string *error, const char *what, const std::string &path, int err)
{
  if(error) *error = std::string(what) + " <" + path + ">: " + strerror(err);
}

void SetError(std::string *error, const std::string &text)
{
  if(error) *error = text;
}

// Moves size bytes in system calls of at most kChunk; call(done, count) makes one and
// returns what it moved. Interrupted calls are made again. A read ends early at the end of
// the file; a write that moves nothing fails as a full disk.
template <class Call>
int64_t Transfer(uint64_t size, bool writing, const std::string &path, std::string *error, Call call)
{
  uint64_t done = 0;
  while(done < size)
  {
    uint64_t left = size - done;
    ssize_t r = call(done, size_t(left > kChunk ? kChunk : left));
    if(r < 0)
    {
      if(errno == EINTR) continue;
      SetError(error, writing ? "write failed" : "read failed", path, errno);
      return -1;
    }
    if(r == 0)
    {
      if(!writing) break;
      SetError(error, "write failed", path, ENOSPC);
      return -1;
    }
    done += uint64_t(r);
  }
  return int64_t(done);
}

}

const char *FileModeName(int mode)
{
  switch(mode)
  {
  case kFileRead: return "read";
  case kFileReadRandom: return "readrandom";
  case kFileWrite: return "write";
  case kFileWriteAppend: return "writeappend";
  case kFileReadWrite: return "readwrite";
  default: return nullptr;
  }
}

File::~File()
{
  if(IsOpen()) Close();
}

bool File::Open(const char *path, int mode, std::string *error)
{
  if(IsOpen())
  {
    SetError(error, "file already open <" + OpenPath + ">");
    return false;
  }
  if(!path || !*path)
  {
    SetError(error, "empty file name");
    return false;
  }
  int flags = O_CLOEXEC;
  switch(mode)
  {
  case kFileRead:
  case kFileReadRandom: flags |= O_RDONLY; break;
  case kFileWrite: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
  case kFileWriteAppend: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
  case kFileReadWrite: flags |= O_RDWR | O_CREAT; break;
  default: SetError(error, "unknown access mode " + std::to_string(mode) + " for <" + std::string(path) + ">"); return false;
  }
  // past a file-size limit a write fails with EFBIG instead of ending the process
  if(mode != kFileRead && mode != kFileReadRandom)
  {
    static std::once_flag ignore;
    std::call_once(ignore, [] { signal(SIGXFSZ, SIG_IGN); });
  }
  std::string resolved = ResolvePath(path);
  // opened without waiting: a FIFO (or a device) under a data file's name would hold the
  // open for ever waiting for a writer. Data is read from regular files only; writes may
  // go to a device or a FIFO that has a reader.
  bool reading = mode == kFileRead || mode == kFileReadRandom;
  int fd;
  do fd = open(resolved.c_str(), flags | O_NONBLOCK, 0666);
  while(fd < 0 && errno == EINTR);
  if(fd < 0)
  {
    LastOpenError = errno;
    SetError(error, "cannot open", resolved, LastOpenError);
    return false;
  }
  struct stat st;
  int statError = 0;
  if(fstat(fd, &st) != 0) statError = errno;
  else if(S_ISDIR(st.st_mode)) statError = EISDIR;
  else if(reading && !S_ISREG(st.st_mode)) statError = EINVAL;
  else if(fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) statError = errno;
  if(statError)
  {
    int err = statError;
    close(fd);
    LastOpenError = err;
    if(err == EINVAL)
      SetError(error, "cannot open <" + resolved + ">: not a regular file");
    else
      SetError(error, "cannot open", resolved, err);
    return false;
  }
  LastOpenError = 0;
  if(mode == kFileRead) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  if(mode == kFileReadRandom) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  if(mode == kFileWriteAppend) lseek(fd, 0, SEEK_END);
  Fd = fd;
  OpenMode = mode;
  OpenPath = resolved;
  return true;
}

bool File::Sync(std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return false;
  }
  int r;
  do r = fsync(Fd);
  while(r != 0 && errno == EINTR);
  if(r != 0)
  {
    SetError(error, "cannot flush", OpenPath, errno);
    return false;
  }
  return true;
}

bool File::Close(std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return false;
  }
  files_internal::Drain(this);
  bool ok = close(Fd) == 0;
  // the descriptor is gone even when close reports an error (Linux never retries it)
  if(!ok) SetError(error, "close failed", OpenPath, errno);
  Fd = -1;
  OpenMode = 0;
  return ok;
}

int64_t File::Read(void *buffer, uint64_t size, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return -1;
  }
  char *dest = static_cast<char *>(buffer);
  return Transfer(size, false, OpenPath, error, [&](uint64_t done, size_t count) { return read(Fd, dest + done, count); });
}

int64_t File::Write(const void *buffer, uint64_t size, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return -1;
  }
  const char *src = static_cast<const char *>(buffer);
  return Transfer(size, true, OpenPath, error, [&](uint64_t done, size_t count) { return write(Fd, src + done, count); });
}

int64_t File::ReadAt(void *buffer, uint64_t size, uint64_t offset, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return -1;
  }
  char *dest = static_cast<char *>(buffer);
  return Transfer(size, false, OpenPath, error,
                  [&](uint64_t done, size_t count) { return pread(Fd, dest + done, count, off_t(offset + done)); });
}

int64_t File::WriteAt(const void *buffer, uint64_t size, uint64_t offset, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return -1;
  }
  if(OpenMode == kFileWriteAppend)
  {
    // pwrite on a file opened for appending writes at the end, not at the offset
    SetError(error, "positioned write to <" + OpenPath + "> opened for appending");
    return -1;
  }
  const char *src = static_cast<const char *>(buffer);
  return Transfer(size, true, OpenPath, error,
                  [&](uint64_t done, size_t count) { return pwrite(Fd, src + done, count, off_t(offset + done)); });
}

bool File::Seek(uint64_t offset, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return false;
  }
  if(offset > uint64_t(INT64_MAX) || lseek(Fd, off_t(offset), SEEK_SET) < 0)
  {
    SetError(error, "seek failed", OpenPath, offset > uint64_t(INT64_MAX) ? EINVAL : errno);
    return false;
  }
  return true;
}

int64_t File::Tell() const
{
  if(!IsOpen()) return -1;
  return int64_t(lseek(Fd, 0, SEEK_CUR));
}

int64_t File::Size(std::string *error) const
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return -1;
  }
  struct stat st;
  if(fstat(Fd, &st) != 0)
  {
    SetError(error, "cannot read the size of", OpenPath, errno);
    return -1;
  }
  return int64_t(st.st_size);
}

bool File::SetSize(uint64_t size, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return false;
  }
  int r;
  do r = ftruncate(Fd, off_t(size));
  while(r != 0 && errno == EINTR);
  if(r != 0)
  {
    SetError(error, "cannot set the size of", OpenPath, errno);
    return false;
  }
  return true;
}

uint64_t File::ReadAsync(uint64_t offset, uint64_t size, void *dest, std::string *error)
{
  if(!IsOpen())
  {
    SetError(error, "file not open");
    return 0;
  }
  if(!dest && size)
  {
    SetError(error, "asynchronous read of <" + OpenPath + "> without a destination");
    return 0;
  }
  if(OpenMode == kFileWrite || OpenMode == kFileWriteAppend)
  {
    SetError(error, "asynchronous read of <" + OpenPath + "> opened for writing");
    return 0;
  }
  return files_internal::Submit(this, Fd, offset, size, dest);
}

AsyncState File::AsyncStatus(uint64_t ticket, int64_t *bytes, std::string *error) const
{
  return files_internal::Status(this, ticket, false, false, bytes, error);
}

AsyncState File::AsyncWait(uint64_t ticket, int64_t *bytes, std::string *error)
{
  return files_internal::Status(this, ticket, true, true, bytes, error);
}
}
