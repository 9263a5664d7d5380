#pragma once
// Files: the abstract open file (sFile), files over memory (sMemoryFile), the chain of
// file handlers that turn names into files, the whole-file helpers (data and text), and
// the operating system's folder functions (listing, copy, delete, make and remove).
//
// Every file of the program is opened by name through the handlers, asked from the last
// registered to the first: pack files register after the operating system's handler and
// so are asked before it. Deleting a file (sDELETE) closes it.

#include "base/arrays.hpp"
#include "base/types.hpp"

/****************************************************************************/
/***   Files                                                              ***/
/****************************************************************************/

// Access modes: the second argument of every open.
enum sFileAccess : sInt
{
  sFA_READ = 1,          // "read": an existing file, read from start to end
  sFA_READRANDOM = 2,    // "readrandom": an existing file, read anywhere
  sFA_WRITE = 3,         // "write": created, or truncated when it exists
  sFA_WRITEAPPEND = 4,   // "writeappend": opened or created; writes go to the end
  sFA_READWRITE = 5,     // "readwrite": opened or created
};
// "read", "readrandom", "write", "writeappend", "readwrite"; "?" for any other value.
const sChar *sGetFileAccessName(sInt access);

// An open file. The base class fails every operation (0 or null), refuses asynchronous
// reads and physical positions fatally; the file classes override what they support.
class sFile
{
public:
  void *LoadBuffer = nullptr;   // the buffer LoadWhole allocated, freed with the file

  sFile() = default;
  sFile(const sFile &) = delete;
  sFile &operator=(const sFile &) = delete;
  // frees LoadBuffer; the file classes close the file first
  virtual ~sFile();

  virtual sBool Close();
  // Reads or writes size bytes at the current offset, which advances; nonzero when all
  // of them moved.
  virtual sBool Read(void *data, sDInt size);
  virtual sBool Write(const void *data, sDInt size);
  // The file's bytes [offset, offset + size) in memory, valid until the next Map or the
  // end of the file; null when the range cannot be mapped.
  virtual const sU8 *Map(sS64 offset, sDInt size);
  virtual sBool SetOffset(sS64 offset);
  virtual sS64 GetOffset();
  virtual sBool SetSize(sS64 size);
  virtual sS64 GetSize();
  // The alignment that unbuffered transfers of this file need, in bytes; -1: no such
  // requirement. No file class of the program has one.
  virtual sInt GetSectorSize();
  // Starts reading size bytes at offset into dest (null: into a buffer the file owns)
  // and returns the request's handle. AsyncDone: nonzero once the request finished;
  // AsyncData: the owned buffer of a finished request; EndAsync: waits for the request
  // and releases it (and its owned buffer).
  virtual sInt ReadAsync(sS64 offset, sDInt size, void *dest);
  virtual sBool AsyncDone(sInt handle);
  virtual void *AsyncData(sInt handle);
  virtual void EndAsync(sInt handle);
  // The position of the file's data on the medium; no file class supports it (fatal).
  virtual sS64 GetPhysicalPosition(sS64 offset);
  // Waits until what was written is on the disk; nonzero on success (files that are not
  // on a disk have nothing to wait for).
  virtual sBool Flush();

  // The whole file in memory: mapped when the file can be mapped, else read into
  // LoadBuffer. The memory belongs to the file. Null when the file is 2 GiB or larger
  // or cannot be read. A second call gives the same memory.
  const sU8 *LoadWhole();
};

// A file over a block of memory. It never grows: reads and writes outside Size fail.
class sMemoryFile : public sFile
{
public:
  sU8 *Data = nullptr;
  sS64 Size = 0;
  sBool Owns = 0;        // Data is freed (sMemFree) with the file
  sS64 WrittenEnd = 0;   // the end of the part written so far
  sS64 Offset = 0;
  sInt BlockSize = 0;    // asynchronous reads may run past Size up to this granularity
  sInt Mode = sFA_READ;

  ~sMemoryFile() override;
  sBool Close() override;
  sBool Read(void *data, sDInt size) override;
  sBool Write(const void *data, sDInt size) override;
  const sU8 *Map(sS64 offset, sDInt size) override;
  sBool SetOffset(sS64 offset) override;
  sS64 GetOffset() override;
  sBool SetSize(sS64 size) override;
  sS64 GetSize() override;
  // The copy is made at once; the bytes between Size and the next multiple of
  // BlockSize read as zero; beyond that the request is fatal. The handle is 1.
  sInt ReadAsync(sS64 offset, sDInt size, void *dest) override;
  sBool AsyncDone(sInt handle) override;
  void *AsyncData(sInt handle) override;   // fatal: the caller always supplies the buffer
  void EndAsync(sInt handle) override;
};

// A memory file in mode "read" over data (which must come from sMemAlloc when owns is
// set); null when memory runs out.
sMemoryFile *sCreateMemoryFile(void *data, sS64 size, sBool owns, sInt blockSize);

/****************************************************************************/
/***   File handlers                                                      ***/
/****************************************************************************/

// A source of files by name.
class sFileHandler
{
public:
  sFileHandler() = default;
  sFileHandler(const sFileHandler &) = delete;
  sFileHandler &operator=(const sFileHandler &) = delete;
  virtual ~sFileHandler();
  // A new open file, or null when the handler does not serve the name in that mode.
  virtual sFile *Create(const sChar *name, sInt access);
  // Nonzero when the handler knows the name. The base opens it for reading.
  virtual sBool Exists(const sChar *name);
};

constexpr sInt sMAXFILEHANDLERS = 16;

// Appends a handler (created with sNEW; the handler table owns it from now on). The
// 17th is fatal.
void sAddFileHandler(sFileHandler *handler);
sInt sGetFileHandlerCount();
sFileHandler *sGetFileHandler(sInt i);

// The "FileHandlers" subsystem (level 32): init empties the table, exit deletes every
// registered handler, the newest first (a handler outlives every later one, which may hold
// files it opened).
void sInitFileHandlers();
void sExitFileHandlers();
// The "RootFileHandler" subsystem (level 40): registers the operating system's files.
void sInitRootFileHandler();

// Copies name into dest, putting the platform infix where the placeholder ".$$$"
// stands. Fatal when the name does not fit.
void sPrepareFileName(const sStringRef &dest, const sChar *name);

// The file from the handlers, newest first; null with "File not Found <%s>\n" on "file",
// or, when a handler found the name but could not open it, "Cannot open <%s> for %s: %s\n"
// with the reason (a read-only file, a folder, no permission).
sFile *sOpenFile(const sChar *name, sInt access = sFA_READ);
// Called by a handler whose Create fails for a reason other than a missing name (the
// calling thread's current sOpenFile reports it).
void sSetOpenFailure(const sChar *reason);
// Why the calling thread's last failed open, read, write, flush, close or rename of an
// operating-system file failed, in the system's words ("Permission denied", "File too
// large", "No such file or directory"), or "no reason given" when it gave none. sOpenFile
// clears it, so a caller that saves or loads a file can tell the reason in its own report.
const sChar *sGetFileFailure();
void sSetFileFailure(const sChar *reason);
sBool sFileExists(const sChar *name);

/****************************************************************************/
/***   Whole files                                                        ***/
/****************************************************************************/

// The file's bytes in a buffer the caller frees with sMemFree; null when the file
// cannot be opened, read or held in memory, or is 2 GiB or larger (a logged read failure).
sU8 *sLoadFileData(const sChar *name, sDInt *size = nullptr);
sU8 *sLoadFileBytes(const sChar *name);

// A text file as terminated wide text owned by the caller (sMemFree), whatever its
// encoding: UTF-16 of either byte order (by mark), UTF-8 (by mark), else 8-bit.
// Carriage returns are dropped. Null when the file cannot be loaded.
sChar *sLoadTextFile(const sChar *name);
// The decoding step of sLoadTextFile: takes over data (size bytes from sMemAlloc) and
// returns the text (data itself or a new buffer; data is freed when not reused).
sChar *sMakeTextFromData(sU8 *data, sDInt size);

// Writes the block to a new file; 1 when the write and the closing succeeded (0 when the
// file cannot be made, the disk is full or a file-size limit is reached). With flush the
// file is on the disk when it returns 1.
sBool sSaveFileData(const sChar *name, const void *data, sDInt size, sBool flush = 0);
// Writes the text with CR LF line ends: 8-bit when every character is below 256, else
// UTF-8 with its byte-order mark (which sLoadTextFile reads back). 8-bit text whose
// first characters look like a byte-order mark goes out as UTF-8 too. 1 on success, as
// sSaveFileData.
sBool sSaveTextFile(const sChar *name, const sChar *text, sBool flush = 0);

/****************************************************************************/
/***   Operating-system files and folders                                 ***/
/****************************************************************************/

// Flags of a directory entry.
enum : sU32
{
  sDEF_DIR = 1,        // a folder, or a link to one
  sDEF_READONLY = 2,   // the owner may not write it
  sDEF_EXISTS = 4,     // set in every entry
  // Our own extra bit: a symbolic link (to a folder it has sDEF_DIR too). Copy, paste
  // and delete walks over folders never follow it.
  sDEF_LINK = 8,
};

// One entry of a folder listing.
struct sDirEntry
{
  sChar Name[256];   // without folder, cut to 255 characters
  sU32 Size;         // bytes; 0x7fffffff when the size does not fit in 31 bits
  sU32 Flags;        // sDEF_*
  sU64 LastWrite;    // 100-nanosecond ticks since 1601-01-01 (UTC)
};

// A folder itself, not a link to one: the only kind the copy, paste and delete walks enter.
inline sBool sIsRealFolder(sU32 flags) { return (flags & (sDEF_DIR | sDEF_LINK)) == sDEF_DIR; }

// Lists the entries of folder that match pattern (null: "*.*", which also takes names
// without a dot), sorted by name, without "." and "..". Returns 1 when the folder could
// be listed and the pattern could match something (a pattern that can match "." counts,
// so an empty folder listed with "*.*" gives 1), else 0.
sBool sLoadDir(sArray<sDirEntry> &list, const sChar *folder, const sChar *pattern = nullptr);
// Whether the name can be opened for reading (files and folders alike).
sBool sCheckFile(const sChar *name);
void sMakeDir(const sChar *name);
void sDeleteFile(const sChar *name);
// Renames a file, replacing one of the new name in one step, and waits until the folder
// has the new entry on the disk; 1 when both succeeded.
sBool sRenameFile(const sChar *from, const sChar *to);
// A save writes the new contents beside the file first and renames them over it. The
// temporary name is the writing process's own: "<path>.<process id>-<count><suffix>" (the
// suffix ".new" or ".tmp"), so shows saving one file at once never share one.
void sMakeSaveTempName(const sStringRef &out, const sChar *path, const sChar *suffix);
// Removes what saves killed half-way left beside path: its temporaries named for processes
// that no longer run, and the plain "<path>.new" and "<path>.tmp" of earlier versions. A
// temporary of a show that still runs is left alone. Wildcards in the last part of path
// ("cache/*.packed") take every file they match.
void sClearStaleSaveTemps(const sChar *path);
// Removes an empty folder; nonzero on success.
sBool sDeleteDir(const sChar *name);
// Copies a file and makes the copy writable; logs the copy on "file". 1 on success.
sBool sCopyFile(const sChar *from, const sChar *to, sBool failIfExists);
// Makes the project's folder the current directory: the first of "c:/hlq/",
// "e:/hlq/", "g:/hlq/" and "../../" followed by project that exists.
void sSetProjectDir(const sChar *project);
