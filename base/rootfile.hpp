#pragma once
// The operating system's files: the root file handler and its open files.

#include "base/file.hpp"
#include "platform/files/files.hpp"

#include <mutex>

class sRootFileHandler;
class sRootFile;

// One asynchronous read of a root file.
struct sRootReadEntry
{
  void *Owned = nullptr;      // the buffer allocated for the read; null when the caller gave one
  sS64 Size = 0;
  sRootFile *File = nullptr;  // the file that started the read
  sU64 Ticket = 0;            // the files layer's request; 0 when it could not start
  sU32 InFlight = 0;
  sInt Next = -1;             // free: the next free entry (-1 ends); in use: its own index
};


// An operating-system file. Files opened for reading ("read", "readrandom") read at
// their own offset, give views of their bytes (Map: a copy read from the file, kept until
// the next Map or Close) and serve asynchronous reads; the other modes move the system's
// file position and write.
class sRootFile : public sFile
{
public:
  plat::File Handle;
  sInt Mode = 0;
  sS64 Size = 0;          // taken at opening; follows writes and SetSize
  sS64 Offset = 0;
  sBool Ok = 1;           // cleared for good by the first failed operation
  sS64 MapOffset = 0;
  sS64 MapSize = 0;
  const sU8 *View = nullptr;   // the bytes of the current view, read from the file (owned)
  sBool MapStarted = 0;   // the first Map was allowed
  sBool MapFailed = 0;    // set once mapping failed; every later Map gives null
  sRootFileHandler *Handler = nullptr;
  sBool IsOverlapped = 0; // opened for reading: reads at offsets, no writes

  explicit sRootFile(sRootFileHandler *handler);
  ~sRootFile() override;

  // Opens the file (UTF-8 name) in the mode; false on failure, with the reason.
  bool Open(const char *name, sInt mode, std::string *error);

  sBool Close() override;
  sBool Flush() override;
  sBool Read(void *data, sDInt size) override;
  // Blocks above 16 MiB are written as 16 MiB pieces, each through Write.
  sBool Write(const void *data, sDInt size) override;
  const sU8 *Map(sS64 offset, sDInt size) override;
  sBool SetOffset(sS64 offset) override;
  sS64 GetOffset() override;
  sBool SetSize(sS64 size) override;
  sS64 GetSize() override;
  sInt ReadAsync(sS64 offset, sDInt size, void *dest) override;
  sBool AsyncDone(sInt handle) override;
  void *AsyncData(sInt handle) override;
  void EndAsync(sInt handle) override;

private:
  sRootReadEntry &CheckEntry(sInt handle);
  void DropView();
};

// The handler of the operating system's files, asked after every handler registered
// later. It owns the pool of read entries that all root files share.
class sRootFileHandler : public sFileHandler
{
public:
  static constexpr sInt MAX_READENTRIES = 128;

  std::mutex Lock;
  sRootReadEntry ReadEntries[MAX_READENTRIES];
  sInt FirstFree = 0;

  sRootFileHandler();
  ~sRootFileHandler() override;
  sFile *Create(const sChar *name, sInt access) override;
  sBool Exists(const sChar *name) override;

  // Takes a free entry for the file (none left is fatal) and returns its index; gives it
  // back. The owner is set under the lock: closing files of other threads look at it.
  sInt TakeEntry(sRootFile *file);
  void ReturnEntry(sInt rh);
  // The entries in use (for reports and tests).
  sInt CountEntriesInUse();
};
