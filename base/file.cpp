// The abstract file, memory files, the handler chain, name preparation and the
// whole-file helpers for data and text.
#include "base/file.hpp"
#include "base/app.hpp"

#include <atomic>
#include <cstring>

/****************************************************************************/
/***   Access modes                                                       ***/
/****************************************************************************/

const sChar *sGetFileAccessName(sInt access)
{
  switch(access)
  {
  case sFA_READ: return u"read";
  case sFA_READRANDOM: return u"readrandom";
  case sFA_WRITE: return u"write";
  case sFA_WRITEAPPEND: return u"writeappend";
  case sFA_READWRITE: return u"readwrite";
  default: return u"?";
  }
}

/****************************************************************************/
/***   sFile                                                              ***/
/****************************************************************************/

sFile::~sFile()
{
  if(LoadBuffer) sMemFree(LoadBuffer);
  LoadBuffer = nullptr;
}

sBool sFile::Close() { return 0; }
sBool sFile::Read(void *, sDInt) { return 0; }
sBool sFile::Write(const void *, sDInt) { return 0; }
const sU8 *sFile::Map(sS64, sDInt) { return nullptr; }
sBool sFile::SetOffset(sS64) { return 0; }
sS64 sFile::GetOffset() { return 0; }
sBool sFile::SetSize(sS64) { return 0; }
sS64 sFile::GetSize() { return 0; }
sInt sFile::GetSectorSize() { return -1; }
sInt sFile::ReadAsync(sS64, sDInt, void *) { sFatal(u"asynchronous io not supported"); }
sBool sFile::AsyncDone(sInt) { sFatal(u"asynchronous io not supported"); }
void *sFile::AsyncData(sInt) { sFatal(u"asynchronous io not supported"); }
void sFile::EndAsync(sInt) { sFatal(u"asynchronous io not supported"); }
sS64 sFile::GetPhysicalPosition(sS64) { sFatal(u"physical positions not supported"); }
sBool sFile::Flush() { return 1; }

const sU8 *sFile::LoadWhole()
{
  if(LoadBuffer)
    return static_cast<const sU8 *>(LoadBuffer);
  sS64 size = GetSize();
  if(size < 0 || size > 0x7fffffff)
    return nullptr;
  if(size > 0)
    if(const sU8 *mapped = Map(0, sDInt(size)))
      return mapped;
  // reading starts at the beginning whatever the file's offset was
  if(GetOffset() != 0 && !SetOffset(0))
    return nullptr;
  sSetAllocSource(__FILE__, __LINE__);
  void *buffer = sMemAlloc(size > 0 ? sDInt(size) : 1, 16, sAMF_ALT | sAMF_MAYFAIL);
  if(!buffer)
    return nullptr;
  if(!Read(buffer, sDInt(size)))
  {
    sMemFree(buffer);
    return nullptr;
  }
  LoadBuffer = buffer;
  return static_cast<const sU8 *>(buffer);
}

/****************************************************************************/
/***   sMemoryFile                                                        ***/
/****************************************************************************/

sMemoryFile::~sMemoryFile()
{
  if(Owns && Data) sMemFree(Data);
  Data = nullptr;
}

sBool sMemoryFile::Close() { return 0; }

sBool sMemoryFile::Read(void *data, sDInt size)
{
  if(Mode != sFA_READ && Mode != sFA_READRANDOM && Mode != sFA_READWRITE)
    return 0;
  if(size < 0 || Offset < 0 || Offset > Size || sS64(size) > Size - Offset)
    return 0;
  if(size > 0)
    memcpy(data, Data + Offset, size_t(size));
  Offset += size;
  return 1;
}

sBool sMemoryFile::Write(const void *data, sDInt size)
{
  if(Mode != sFA_WRITE && Mode != sFA_WRITEAPPEND && Mode != sFA_READWRITE)
    return 0;
  if(size < 0 || Offset < 0 || Offset > Size || sS64(size) > Size - Offset)
    return 0;
  // a gap behind the written part reads as zero; what was written stays
  if(Offset > WrittenEnd)
    memset(Data + WrittenEnd, 0, size_t(Offset - WrittenEnd));
  if(size > 0)
    memcpy(Data + Offset, data, size_t(size));
  Offset += size;
  if(Offset > WrittenEnd)
    WrittenEnd = Offset;
  return 1;
}

const sU8 *sMemoryFile::Map(sS64 offset, sDInt size)
{
  if(offset < 0 || size < 0 || offset > Size || sS64(size) > Size - offset)
    return nullptr;
  return Data + offset;
}

sBool sMemoryFile::SetOffset(sS64 offset)
{
  if(offset < 0 || offset > Size)
  {
    Offset = 0;
    return 0;
  }
  Offset = offset;
  return 1;
}

sS64 sMemoryFile::GetOffset() { return Offset; }
sBool sMemoryFile::SetSize(sS64) { return 0; }
sS64 sMemoryFile::GetSize() { return Size; }

sInt sMemoryFile::ReadAsync(sS64 offset, sDInt size, void *destbuffer)
{
  sVERIFY(destbuffer);
  // requests may run to the end of the last block; the part past Size reads as zero
  sS64 end = Size;
  if(BlockSize > 1)
    end = (Size + BlockSize - 1) / BlockSize * BlockSize;
  sVERIFYAS(offset >= 0 && size >= 0 && sS64(size) <= end - offset, u"offset+size<=Size");
  sU8 *dest = static_cast<sU8 *>(destbuffer);
  sS64 have = offset < Size ? Size - offset : 0;
  if(have > size) have = size;
  if(have > 0)
    memcpy(dest, Data + offset, size_t(have));
  if(size > have)
    memset(dest + have, 0, size_t(size - have));
  return 1;
}

sBool sMemoryFile::AsyncDone(sInt handle) { return handle == 1; }
void *sMemoryFile::AsyncData(sInt) { sFatal(u"asynchronous io not supported"); }
void sMemoryFile::EndAsync(sInt) {}

sMemoryFile *sCreateMemoryFile(void *data, sS64 size, sBool owns, sInt blockSize)
{
  sSetAllocSource(__FILE__, __LINE__);
  void *mem = sMemAlloc(sizeof(sMemoryFile), 16, sAMF_MAYFAIL);
  if(!mem)
    return nullptr;
  sMemoryFile *file = new(mem) sMemoryFile;
  file->Data = static_cast<sU8 *>(data);
  file->Size = size < 0 ? 0 : size;
  file->Owns = owns;
  file->BlockSize = blockSize;
  file->Mode = sFA_READ;
  file->WrittenEnd = 0;
  file->Offset = 0;
  return file;
}

/****************************************************************************/
/***   Handlers                                                           ***/
/****************************************************************************/

sFileHandler::~sFileHandler() = default;

sFile *sFileHandler::Create(const sChar *, sInt) { return nullptr; }

sBool sFileHandler::Exists(const sChar *name)
{
  sFile *file = Create(name, sFA_READ);
  if(!file)
    return 0;
  sDELETE(file);
  return 1;
}

namespace
{
// Registered at start-up on the main thread; loader threads read the table while files
// are opened, so the count is published after its slot is written.
sFileHandler *FileHandlers[sMAXFILEHANDLERS];
std::atomic<sInt> FileHandlerCount{0};
}

void sAddFileHandler(sFileHandler *handler)
{
  sInt count = FileHandlerCount.load(std::memory_order_relaxed);
  sVERIFYAS(count < sInt(sizeof(FileHandlers) / sizeof(*FileHandlers)),
            u"FileHandlerCount<sDInt(sizeof(FileHandlers)/sizeof(*(FileHandlers)))");
  FileHandlers[count] = handler;
  FileHandlerCount.store(count + 1, std::memory_order_release);
}

sInt sGetFileHandlerCount() { return FileHandlerCount.load(std::memory_order_acquire); }

sFileHandler *sGetFileHandler(sInt i)
{
  sVERIFY(i >= 0 && i < sGetFileHandlerCount());
  return FileHandlers[i];
}

void sInitFileHandlers()
{
  FileHandlerCount.store(0, std::memory_order_release);
}

void sExitFileHandlers()
{
  // newest first, not in table order: a pack keeps its pack file open, and closing it needs the root handler
  sInt count = FileHandlerCount.load(std::memory_order_acquire);
  for(sInt i = count - 1; i >= 0; i--)
  {
    sFileHandler *h = FileHandlers[i];
    FileHandlers[i] = nullptr;
    sDELETE(h);
  }
  FileHandlerCount.store(0, std::memory_order_release);
}

void sPrepareFileName(const sStringRef &dest, const sChar *name)
{
  if(!name) name = u"";
  sDInt len = sGetStringLen(name);
  sVERIFY(dest.Size>len);
  const sChar *infix = sGetPlatformInfix();
  sDInt infixLen = sGetStringLen(infix);
  sDInt o = 0;
  sDInt i = 0;
  while(i < len && o < dest.Size - 1)
  {
    if(len - i >= 4 && name[i] == '.' && name[i + 1] == '$' && name[i + 2] == '$' && name[i + 3] == '$')
    {
      for(sDInt k = 0; k < infixLen && o < dest.Size - 1; k++)
        dest.Buffer[o++] = infix[k];
      i += 4;
    }
    else
    {
      dest.Buffer[o++] = name[i++];
    }
  }
  dest.Buffer[o] = 0;
}

namespace
{
thread_local sChar OpenFailure[128];
thread_local sChar FileFailure[128];
}

void sSetOpenFailure(const sChar *reason)
{
  sCopyString(OpenFailure, reason ? reason : u"", 128);
}

const sChar *sGetFileFailure() { return FileFailure[0] ? FileFailure : u"no reason given"; }

void sSetFileFailure(const sChar *reason)
{
  sCopyString(FileFailure, reason ? reason : u"", 128);
}

sFile *sOpenFile(const sChar *name, sInt access)
{
  sPathString prepared;
  sPrepareFileName(prepared, name);
  OpenFailure[0] = 0;
  FileFailure[0] = 0;
  for(sInt i = sGetFileHandlerCount() - 1; i >= 0; i--)
    if(sFile *file = FileHandlers[i]->Create(prepared, access))
      return file;
  // a name that is there but cannot be opened is told with its reason, not as missing
  if(OpenFailure[0])
    sLogF(u"file", u"Cannot open <%s> for %s: %s\n", prepared.Get(), sGetFileAccessName(access), OpenFailure);
  else
    sLogF(u"file", u"File not Found <%s>\n", prepared.Get());
  return nullptr;
}

sBool sFileExists(const sChar *name)
{
  sPathString prepared;
  sPrepareFileName(prepared, name);
  for(sInt i = sGetFileHandlerCount() - 1; i >= 0; i--)
    if(FileHandlers[i]->Exists(prepared))
      return 1;
  return 0;
}

/****************************************************************************/
/***   Whole files                                                        ***/
/****************************************************************************/

sU8 *sLoadFileData(const sChar *name, sDInt *sizeOut)
{
  if(sizeOut) *sizeOut = 0;
  sFile *file = sOpenFile(name, sFA_READ);
  if(!file)
    return nullptr;
  sS64 size = file->GetSize();
  // a file of 2 GiB or more is outside input no caller can take: refused as a failed read, not fatal
  if(size > 0x7fffffff)
  {
    sLogF(u"file", u"read error: <%s> has %d bytes, too many to be read whole\n", name, size);
    sSetFileFailure(u"it is too large (2 GiB or more)");
    sDELETE(file);
    return nullptr;
  }
  if(size < 0)
  {
    sDELETE(file);
    return nullptr;
  }
  // a file too large for memory fails like an unreadable one
  sSetAllocSource(__FILE__, __LINE__);
  sU8 *data = static_cast<sU8 *>(sMemAlloc(size > 0 ? sDInt(size) : 1, 16, sAMF_MAYFAIL));
  if(data && size > 0 && !file->Read(data, sDInt(size)))
  {
    sMemFree(data);
    data = nullptr;
  }
  sDELETE(file);
  if(data && sizeOut) *sizeOut = sDInt(size);
  return data;
}

sU8 *sLoadFileBytes(const sChar *name)
{
  return sLoadFileData(name, nullptr);
}

namespace
{
sChar *AllocText(sDInt chars)
{
  sSetAllocSource(__FILE__, __LINE__);
  return static_cast<sChar *>(sMemAlloc(chars * sDInt(sizeof(sChar)), 2, sAMF_ALT | sAMF_MAYFAIL));
}

// UTF-16 with its mark: decoded in place (the text is never longer than the data).
sChar *DecodeUtf16(sU8 *data, sDInt size, bool swap)
{
  sChar *out = reinterpret_cast<sChar *>(data);
  sDInt count = size / 2 - 1;   // characters behind the mark; an odd last byte is dropped
  sDInt o = 0;
  for(sDInt i = 0; i < count; i++)
  {
    const sU8 *p = data + 2 + 2 * i;
    sChar c = swap ? sChar((p[0] << 8) | p[1]) : sChar(p[0] | (p[1] << 8));
    if(c != 13)
      out[o++] = c;
  }
  out[o] = 0;
  return out;
}

bool IsTrail(sU8 b) { return (b & 0xc0) == 0x80; }

// UTF-8 behind its mark. Characters beyond 16 bits become surrogate pairs, so that the
// text files saved as UTF-8 read back whole; broken sequences become '?'.
sChar *DecodeUtf8(const sU8 *data, sDInt size)
{
  // every byte gives at most one character, a four-byte sequence two
  sChar *out = AllocText(size - 3 + 1);
  if(!out)
    return nullptr;
  sDInt o = 0;
  sDInt i = 3;
  while(i < size)
  {
    sU8 b0 = data[i];
    sDInt left = size - i;
    if(b0 < 0x80)
    {
      if(b0 != 13)
        out[o++] = b0;
      i++;
    }
    else if((b0 & 0xe0) == 0xc0)
    {
      if(left >= 2 && IsTrail(data[i + 1]))
        out[o++] = sChar(((b0 & 31) << 6) | (data[i + 1] & 63));
      else
        out[o++] = '?';
      i += left < 2 ? left : 2;
    }
    else if((b0 & 0xf0) == 0xe0)
    {
      if(left >= 3 && IsTrail(data[i + 1]) && IsTrail(data[i + 2]))
        out[o++] = sChar((b0 << 12) | ((data[i + 1] & 63) << 6) | (data[i + 2] & 63));
      else
        out[o++] = '?';
      i += left < 3 ? left : 3;
    }
    else if((b0 & 0xf8) == 0xf0)
    {
      sU32 c = 0;
      if(left >= 4 && IsTrail(data[i + 1]) && IsTrail(data[i + 2]) && IsTrail(data[i + 3]))
        c = (sU32(b0 & 7) << 18) | (sU32(data[i + 1] & 63) << 12) | (sU32(data[i + 2] & 63) << 6) | sU32(data[i + 3] & 63);
      if(c >= 0x10000 && c <= 0x10ffff)
      {
        c -= 0x10000;
        out[o++] = sChar(0xd800 + (c >> 10));
        out[o++] = sChar(0xdc00 + (c & 0x3ff));
      }
      else
      {
        out[o++] = '?';
      }
      i += left < 4 ? left : 4;
    }
    else
    {
      out[o++] = '?';
      i++;
    }
  }
  out[o] = 0;
  return out;
}

sChar *Decode8Bit(const sU8 *data, sDInt size)
{
  sChar *out = AllocText(size + 1);
  if(!out)
    return nullptr;
  sDInt o = 0;
  for(sDInt i = 0; i < size; i++)
    if(data[i] != 13)
      out[o++] = data[i];
  out[o] = 0;
  return out;
}
}

sChar *sMakeTextFromData(sU8 *data, sDInt size)
{
  if(!data)
    return nullptr;
  if(size < 0) size = 0;
  if(size >= 2 && data[0] == 0xff && data[1] == 0xfe)
    return DecodeUtf16(data, size, false);
  if(size >= 2 && data[0] == 0xfe && data[1] == 0xff)
    return DecodeUtf16(data, size, true);
  sChar *text;
  if(size >= 3 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf)
    text = DecodeUtf8(data, size);
  else
    text = Decode8Bit(data, size);
  sMemFree(data);
  return text;
}

sChar *sLoadTextFile(const sChar *name)
{
  sDInt size = 0;
  sU8 *data = sLoadFileData(name, &size);
  if(!data)
    return nullptr;
  return sMakeTextFromData(data, size);
}

namespace
{
// The end of every save: the data on the disk when asked for, and the closing's own
// result, which can report a write the system had delayed.
sBool FinishSave(sFile *file, sBool ok, sBool flush, const sChar *name)
{
  if(ok && flush) ok = file->Flush();
  if(!file->Close()) ok = 0;
  sDELETE(file);
  if(!ok) sLogF(u"file", u"could not save <%s>\n", name);
  return ok;
}
}

sBool sSaveFileData(const sChar *name, const void *data, sDInt size, sBool flush)
{
  sFile *file = sOpenFile(name, sFA_WRITE);
  if(!file)
    return 0;
  return FinishSave(file, file->Write(data, size), flush, name);
}

sBool sSaveTextFile(const sChar *name, const sChar *text, sBool flush)
{
  if(!text) text = u"";
  // text that fits in 8 bits is written byte for byte; anything wider as UTF-8
  bool wide = false;
  for(const sChar *p = text; *p; p++)
    if(*p > 255)
    {
      wide = true;
      break;
    }
  // 8-bit text that begins like a byte-order mark would load as UTF-16 or UTF-8: such
  // text goes out as UTF-8 with its mark too
  if(!wide && text[0] && text[1])
  {
    if((text[0] == 0xff && text[1] == 0xfe) || (text[0] == 0xfe && text[1] == 0xff) ||
       (text[0] == 0xef && text[1] == 0xbb && text[2] == 0xbf))
      wide = true;
  }

  sFile *file = sOpenFile(name, sFA_WRITE);
  if(!file)
    return 0;

  constexpr sInt PieceSize = 2046;
  sU8 piece[PieceSize];
  sInt used = 0;
  if(wide)
  {
    piece[used++] = 0xef;
    piece[used++] = 0xbb;
    piece[used++] = 0xbf;
  }
  for(const sChar *p = text; *p; p++)
  {
    // room for a carriage return and the longest sequence
    if(used + 5 > PieceSize)
    {
      if(!file->Write(piece, used))
        return FinishSave(file, 0, flush, name);
      used = 0;
    }
    sU32 c = *p;
    if(c == 10 && (p == text || p[-1] != 13))
      piece[used++] = 13;
    if(!wide || c < 0x80)
    {
      piece[used++] = sU8(c);
    }
    else if(c < 0x800)
    {
      piece[used++] = sU8(0xc0 | (c >> 6));
      piece[used++] = sU8(0x80 | (c & 63));
    }
    else if(c >= 0xd800 && c < 0xdc00 && p[1] >= 0xdc00 && p[1] < 0xe000)
    {
      sU32 full = 0x10000 + ((c - 0xd800) << 10) + (sU32(p[1]) - 0xdc00);
      p++;
      piece[used++] = sU8(0xf0 | (full >> 18));
      piece[used++] = sU8(0x80 | ((full >> 12) & 63));
      piece[used++] = sU8(0x80 | ((full >> 6) & 63));
      piece[used++] = sU8(0x80 | (full & 63));
    }
    else
    {
      // a lone surrogate keeps its 16 bits, as the loader reads three-byte sequences
      piece[used++] = sU8(0xe0 | (c >> 12));
      piece[used++] = sU8(0x80 | ((c >> 6) & 63));
      piece[used++] = sU8(0x80 | (c & 63));
    }
  }
  return FinishSave(file, used == 0 || file->Write(piece, used), flush, name);
}
