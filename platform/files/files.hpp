#pragma once
// Files and folders of the operating system. Names are UTF-8; '\' separators become
// '/'. The data tree was made on a file system that ignores case: a name that does not
// exist as written is looked up again component by component ignoring case (a name
// to be created keeps the written spelling for the parts that do not exist yet).

#include <cstdint>
#include <string>
#include <vector>

namespace plat
{
// Access modes, numbered as the file handlers number them.
enum : int
{
  kFileRead = 1,         // "read": existing files, sequential
  kFileReadRandom = 2,   // "readrandom": existing files, random access
  kFileWrite = 3,        // "write": created or truncated
  kFileWriteAppend = 4,  // "writeappend": opened or created, every write at the end
  kFileReadWrite = 5,    // "readwrite": opened or created
};
// "read", "readrandom", "write", "writeappend", "readwrite"; null for any other value.
const char *FileModeName(int mode);

// State of an asynchronous read.
enum class AsyncState
{
  Pending,  // queued or running
  Done,     // finished; the byte count may be short at the end of the file
  Failed,   // the read failed (the error text tells why)
  Unknown,  // not a ticket of this file, or already collected
};

class File
{
public:
  File() = default;
  ~File();  // closes
  File(const File &) = delete;
  File &operator=(const File &) = delete;

  bool Open(const char *path, int mode, std::string *error = nullptr);
  // Waits for the file's asynchronous reads and closes. false when the system reported a
  // failure (the file is closed all the same) or when the file was not open.
  bool Close(std::string *error = nullptr);
  bool IsOpen() const { return Fd >= 0; }
  int Mode() const { return OpenMode; }
  // The name as opened, after separators and case were settled.
  const std::string &Path() const { return OpenPath; }

  // At the file position, which they advance. Read returns the bytes read (fewer at the
  // end of the file), Write the bytes written; -1 on failure.
  int64_t Read(void *buffer, uint64_t size, std::string *error = nullptr);
  int64_t Write(const void *buffer, uint64_t size, std::string *error = nullptr);
  // At an offset; the file position stays. In "writeappend" mode writes go to the end
  // whatever the offset, so WriteAt is refused there.
  int64_t ReadAt(void *buffer, uint64_t size, uint64_t offset, std::string *error = nullptr);
  int64_t WriteAt(const void *buffer, uint64_t size, uint64_t offset, std::string *error = nullptr);
  // The file position ("writeappend" starts at the end).
  bool Seek(uint64_t offset, std::string *error = nullptr);
  int64_t Tell() const;
  int64_t Size(std::string *error = nullptr) const;
  // Cuts or extends the file; the file position does not move.
  bool SetSize(uint64_t size, std::string *error = nullptr);
  // Waits until what was written is on the disk.
  bool Sync(std::string *error = nullptr);
  // The system's error code of the last failed Open (0 after a successful one).
  int OpenError() const { return LastOpenError; }

  // Starts reading size bytes at offset into dest (which must stay valid until the read
  // is collected) on the worker thread. Returns a ticket, 0 on failure.
  uint64_t ReadAsync(uint64_t offset, uint64_t size, void *dest, std::string *error = nullptr);
  // Does not wait. A finished read stays to be collected by AsyncWait.
  AsyncState AsyncStatus(uint64_t ticket, int64_t *bytes = nullptr, std::string *error = nullptr) const;
  // Waits for the read to finish and collects it (the ticket is spent).
  AsyncState AsyncWait(uint64_t ticket, int64_t *bytes = nullptr, std::string *error = nullptr);

  int Descriptor() const { return Fd; }

private:
  int Fd = -1;
  int OpenMode = 0;
  std::string OpenPath;
  int LastOpenError = 0;
};

/****************************************************************************/
/***   Names                                                              ***/
/****************************************************************************/

// Separators only: '\' becomes '/', runs of separators become one.
std::string NormalizePath(const char *path);
// The name as it exists on disk: each component that does not exist as written is
// looked up ignoring case; components that exist in no spelling are kept as written.
std::string ResolvePath(const char *path);

/****************************************************************************/
/***   Folders and whole files                                            ***/
/****************************************************************************/

struct DirEntry
{
  std::string Name;        // without folder
  uint64_t Size = 0;       // bytes (0 for folders)
  bool Directory = false;
  bool ReadOnly = false;   // no write permission for the owner
  bool SymbolicLink = false;
  uint64_t LastWrite = 0;  // 100-nanosecond ticks since 1601-01-01 (UTC)
};

// The entries of a folder whose names match the pattern (null or empty: "*.*"), sorted
// by name ignoring case. '*' and '?' as usual, case ignored; a pattern ending in ".*"
// also matches names without a dot ("*.*" matches "README"). "." and ".." are left out.
// false when the folder cannot be read.
bool ListDir(const char *folder, const char *pattern, std::vector<DirEntry> *entries, std::string *error = nullptr);
// The same for a folder and pattern in one name ("data/tex/*.png", or a plain name).
bool FindFiles(const char *search, std::vector<DirEntry> *entries, std::string *error = nullptr);

// Whether the name exists (a file or a folder; wildcards in the last part match too).
bool PathExists(const char *path);
// Whether the name can be opened for reading (files and folders alike).
bool CanOpenForReading(const char *path);
// Size, kind, permission and time of one name; false when it does not exist.
bool GetFileInfo(const char *path, DirEntry *info, std::string *error = nullptr);
bool SetReadOnly(const char *path, bool readOnly, std::string *error = nullptr);

bool MakeDir(const char *path, std::string *error = nullptr);
// Removes an empty folder.
bool RemoveDir(const char *path, std::string *error = nullptr);
// Gives a file a new name, replacing a file of that name at once (same file system).
bool RenameFile(const char *from, const char *to, std::string *error = nullptr);
// Removes a file (or a symbolic link itself); never a folder.
bool DeleteFile(const char *path, std::string *error = nullptr);
// Waits until the folder that holds the name has its entries (a rename, a new file) on
// the disk.
bool SyncFolderOf(const char *path, std::string *error = nullptr);
// Moves a file onto another name in one step: an existing target is replaced, and a
// reader sees either the old or the new file, never a part of one.
bool ReplaceFile(const char *from, const char *to, std::string *error = nullptr);
// Copies a file's contents and permissions. With failIfExists an existing target is
// left alone and the copy fails. Copying a file onto itself fails without harm. No
// partial target is left behind on failure.
bool CopyFile(const char *from, const char *to, bool failIfExists, std::string *error = nullptr);
// Copies a folder with everything in it. Symbolic links are copied as links, never
// followed. Fails when the target lies inside the source.
bool CopyTree(const char *from, const char *to, std::string *error = nullptr);
// Removes a folder with everything in it; symbolic links are removed, never followed.
// A name that is a file or a link is removed by itself.
bool DeleteTree(const char *path, std::string *error = nullptr);

bool ChangeDir(const char *path, std::string *error = nullptr);
std::string CurrentDir();
}
