#pragma once
// Pack files: many data files in one, with a directory sorted by a hash of their names,
// served from memory by a file handler. Packs are made by the program itself: a
// recording run registers a logger that notes every name opened for reading, writes the
// names to a pack definition file at exit, and builds the pack from it.
//
// Pack layout (32-bit little-endian integers): "FPFB", version 1, count, count
// directory entries of 20 bytes (hash, packed flag, offset, size, unpacked size) sorted
// by hash, then the files' data back to back. An offset of 0 marks a file that was
// missing when the pack was built.

#include "base/file.hpp"
#include "base/textbuffer.hpp"
#include "base/types.hpp"

class sThreadLock;

struct sPackfileEntry
{
  sU32 Hash;
  sU32 Packed;        // 0: stored as it is (the only kind there is)
  sU32 Offset;        // from the start of the pack; 0: missing at build time
  sU32 Size;
  sU32 UnpackedSize;
};

constexpr sU32 sPACKFILE_MAGIC = 0x42465046;   // "FPFB" read as a little-endian word
constexpr sInt sPACKFILE_HEADERSIZE = 12;
constexpr sInt sPACKFILE_ENTRYSIZE = 20;

// The hash of a name (as given to the handler, after name preparation): 5381, then
// h * 33 + ((c & 0xDF) | 0x20) per character, so letters hash alike in either case.
sU32 sPackfileHash(const sChar *name);

// Serves the files of one pack. The pack file stays open with the handler and its
// entries are read from it at their places, never mapped: a pack cut short under the
// show gives failed reads (logged), not a fault. Lookups only read; several threads may
// open and read files at once (the reads take turns on the pack file).
class sPackfileHandler : public sFileHandler
{
public:
  sPackfileHandler() = default;
  ~sPackfileHandler() override;

  // Opens and checks the pack. A pack that cannot be opened or fails the check serves
  // nothing (0); entries that lie outside the pack are dropped with an error.
  sBool Open(const sChar *name);
  // A memory file over the entry's bytes (read modes only), or null.
  sFile *Create(const sChar *name, sInt access) override;
  sBool Exists(const sChar *name) override;

  // The entry of a hash, or null (binary search over the directory).
  const sPackfileEntry *Find(sU32 hash) const;
  sInt GetCount() const { return Count; }
  bool IsUsable() const { return Directory != nullptr; }
  // size bytes of the pack file at offset; 0 (logged) when the file no longer holds them.
  sBool ReadAt(void *data, sDInt size, sS64 offset);

private:
  sFile *File = nullptr;                 // the open pack (owned)
  sThreadLock *ReadLock = nullptr;       // one read of File at a time (owned)
  sPathString Name;
  sS64 Size = 0;                         // at opening
  sPackfileEntry *Directory = nullptr;   // checked copy of the directory (owned)
  sInt Count = 0;
};

// Notes the name of every file opened for reading into its definition text. Appends
// under a lock: loader threads open files while the main thread does.
class sPackfileLogger : public sFileHandler
{
public:
  explicit sPackfileLogger(const sChar *defName);
  ~sPackfileLogger() override;

  // Records the name (read modes only) and returns null: the next handler opens it.
  sFile *Create(const sChar *name, sInt access) override;
  sBool Exists(const sChar *name) override;

  // Writes the definition text to the definition file (announced on the debug output);
  // 1 on success.
  sBool Write();
  // A copy of the text so far (tests and reports).
  void GetText(sTextBuffer &out);
  const sChar *GetDefName() const { return DefName.Get(); }

private:
  sTextBuffer Text;
  sStringBuffer<1024> DefName;
  sThreadLock *Lock;
};

// Opens the pack and registers its handler (also when the pack is not usable).
void sAddPackfile(const sChar *packName);
// Creates a logger that records into the definition file and registers it.
void sAddPackfileLogger(const sChar *defName);
// Writes every logger's text to its definition file, then empties the logger list.
void sWritePackfileDefinitions();
// Builds the pack from the definition file. The pack is written under a new name and
// renamed over the old one when it is closed, so a pack that is open (and mapped) keeps
// its contents while it is rebuilt, even from its own entries; a failed build leaves the
// old pack as it was. 1 when the pack was written completely; 0
// with a message when the definition cannot be read, the pack cannot be written, two
// names collide or the data would not fit a pack's 32-bit offsets.
sBool sCreatePackfile(const sChar *packName, const sChar *defName);
