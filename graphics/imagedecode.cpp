// Decoding of compressed picture files: JPEG and PNG through stb_image for the image
// loader, and for the media routines the common picture formats (JPEG, PNG, BMP, GIF's
// first frame through stb_image, TIFF through libtiff) read through a read-only stream
// over an open file. stb_image's memory comes from the framework.

#include "base/file.hpp"
#include "graphics/image.hpp"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <tiffio.h>

/****************************************************************************/
/***   Memory of the decoder                                              ***/
/****************************************************************************/

void *sImageMalloc(sDInt size)
{
  // a damaged file can ask for any size: running out is the decoder's failure, not ours
  sSetAllocSource("image", __LINE__);
  return sMemAlloc(size > 0 ? size : 1, 16, sAMF_ALT | sAMF_MAYFAIL);
}

void *sImageRealloc(void *ptr, sDInt newSize, sDInt oldSize)
{
  if(newSize == 0)
  {
    if(ptr) sMemFree(ptr);
    return nullptr;
  }
  if(!ptr) return sImageMalloc(newSize);
  if(newSize <= oldSize) return ptr;
  void *fresh = sImageMalloc(newSize);
  if(!fresh) return nullptr;   // the old block stays with the caller, as realloc does
  memcpy(fresh, ptr, size_t(oldSize));
  sMemFree(ptr);
  return fresh;
}

void sImageFree(void *ptr)
{
  if(ptr) sMemFree(ptr);
}

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_MAX_DIMENSIONS 16384
#define STBI_ASSERT(x) sVERIFY(x)
#define STBI_MALLOC(size) sImageMalloc(sDInt(size))
#define STBI_REALLOC_SIZED(ptr, oldSize, newSize) sImageRealloc(ptr, sDInt(newSize), sDInt(oldSize))
#define STBI_FREE(ptr) sImageFree(ptr)
namespace
{
// Damaged files make the library copy zero bytes to a buffer it has not allocated yet
// (a null pointer): harmless, but undefined for memcpy, so empty copies are skipped.
inline void *StbCopy(void *dest, const void *src, size_t n) { return n ? memcpy(dest, src, n) : dest; }
}   // namespace
#define memcpy StbCopy
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop
#undef memcpy

namespace
{
// The decoder's RGBA bytes into the image as ARGB words; frees the bytes.
sBool TakeDecoded(sImage *img, stbi_uc *rgba, int w, int h)
{
  if(!rgba) return 0;
  sBool ok = img->TryInit(w, h);
  if(ok)
  {
    memcpy(img->Data, rgba, size_t(w) * size_t(h) * 4);
    img->SwapRedBlue();
  }
  stbi_image_free(rgba);
  return ok;
}
}   // namespace

namespace
{
// The library's JPEG reader writes past its code-length table when a Huffman table
// declares more than 256 codes, so such files are refused before they reach it. The file
// is walked as the reader walks it, and only the tables the reader would read are
// checked: camera photos carry "FF C4" byte pairs inside their other segments, which the
// reader steps over. Bytes past the end read as 0, as they do for the reader. Where the
// reader would stop at a damaged segment, the walk stops too and lets the reader refuse the
// file itself.
class JpegWalk
{
public:
  JpegWalk(const sU8 *data, sDInt size) : Data(data), Size(size) {}

  bool TablesSound()
  {
    Walk();
    return !Oversized;
  }

private:
  static constexpr sInt None = 0xff;
  const sU8 *Data;
  sDInt Size, Pos = 0;
  bool Oversized = false;

  sInt Get8() { return Pos < Size ? Data[Pos++] : (Pos++, 0); }
  sInt Get16()
  {
    sInt hi = Get8();
    return hi << 8 | Get8();
  }
  // The next marker, its fill bytes skipped; None where no 0xFF stands.
  sInt Marker()
  {
    sInt x = Get8();
    if(x != 0xff) return None;
    while(x == 0xff) x = Get8();
    return x;
  }
  // A segment taken by its length, which counts its own two bytes and may not be below
  // `least`; false where the reader would stop.
  bool Skip(sInt least)
  {
    const sInt length = Get16();
    if(length < least) return false;
    Pos += length - 2;
    return true;
  }
  // A segment of four bytes (a restart interval, a line count); false where it is not.
  bool Four()
  {
    if(Get16() != 4) return false;
    Pos += 2;
    return true;
  }
  // The marker that ends a scan's data: not a stuffed zero, not a restart.
  sInt AfterScanData()
  {
    while(Pos < Size)
    {
      if(Get8() != 0xff) continue;
      sInt c = Get8();
      while(c == 0xff) c = Get8();
      if(c != 0 && (c < 0xd0 || c > 0xd7)) return c;
    }
    return 0xd9;
  }
  // Follows the reader through the file until it ends, stops or meets an oversized table.
  void Walk()
  {
    if(Marker() != 0xd8) return;   // not a JPEG to the reader
    // the segments before the frame; between them the reader searches byte by byte
    sInt m = Marker();
    while(m != 0xc0 && m != 0xc1 && m != 0xc2)
    {
      if(!Segment(m)) return;
      do
      {
        if(Pos >= Size) return;
        m = Marker();
      } while(m == None);
    }
    if(!Skip(11)) return;   // the frame header
    // scans, each followed by its data, and the segments between them (the tables of a
    // progressive file among them); here a segment must end on a marker
    m = Marker();
    while(m != 0xd9 && Pos < Size)
    {
      if(m == 0xda)
      {
        if(!Skip(8)) return;   // the scan header
        m = AfterScanData();
        continue;
      }
      if(!(m == 0xdc ? Four() : Segment(m))) return;
      m = Marker();
    }
  }

  // One segment the reader takes before or between scans; false where it would stop
  // (an oversized table stops the walk).
  bool Segment(sInt m)
  {
    if(m == 0xdd) return Four();
    if(m == 0xdb)
    {
      sInt left = Get16() - 2;
      while(left > 0)
      {
        const sInt q = Get8();
        if(q >> 4 > 1 || (q & 15) > 3) return false;
        Pos += q >> 4 ? 128 : 64;
        left -= q >> 4 ? 129 : 65;
      }
      return left == 0;
    }
    if(m == 0xc4)
    {
      sInt left = Get16() - 2;
      while(left > 0)
      {
        const sInt q = Get8();
        if(q >> 4 > 1 || (q & 15) > 3) return false;
        sInt n = 0;
        for(sInt k = 0; k < 16; k++) n += Get8();
        if(n > 256)
        {
          Oversized = true;
          return false;
        }
        Pos += n;
        left -= 17 + n;
      }
      return left == 0;
    }
    return ((m >= 0xe0 && m <= 0xef) || m == 0xfe) && Skip(2);
  }
};

bool JpegTablesSound(const sU8 *data, sDInt size) { return JpegWalk(data, size).TablesSound(); }

// A picture larger than a picture may be is refused before it is decoded, with its line.
// Small files of flat pictures may hold large ones: PNG, GIF and TIFF compress a
// picture of one colour to a few bytes per row.
bool SizeAllowed(sS64 w, sS64 h) { return w > 0 && h > 0 && sPictureSizeAllowed(w, h); }
}   // namespace

sBool sImage::LoadCompressed(const sU8 *data, sDInt size)
{
  if(!data || size <= 0 || size > INT_MAX) return 0;
  if(!JpegTablesSound(data, size)) return 0;
  int w = 0, h = 0, comp = 0;
  if(!stbi_info_from_memory(data, int(size), &w, &h, &comp) || !SizeAllowed(w, h)) return 0;
  stbi_uc *rgba = stbi_load_from_memory(data, int(size), &w, &h, &comp, 4);
  return TakeDecoded(this, rgba, w, h);
}

/****************************************************************************/
/***   The stream over a file                                             ***/
/****************************************************************************/

namespace
{
bool SameGuid(const sStreamGuid &a, const sStreamGuid &b)
{
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && memcmp(a.Data4, b.Data4, 8) == 0;
}
const sStreamGuid GuidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const sStreamGuid GuidStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const sStreamGuid GuidSequential = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}   // namespace

sU32 sFileStream::QueryInterface(const sStreamGuid &iid, void **out)
{
  if(!out) return sSTREAM_INVALIDARG;
  if(SameGuid(iid, GuidUnknown) || SameGuid(iid, GuidStream) || SameGuid(iid, GuidSequential))
  {
    RefCount++;
    *out = this;
    return sSTREAM_OK;
  }
  return sSTREAM_NOINTERFACE;
}

sU32 sFileStream::AddRef() { return ++RefCount; }

sU32 sFileStream::Release()
{
  sVERIFY(RefCount>1);
  return --RefCount;
}

sU32 sFileStream::Read(void *buffer, sU32 count, sU32 *read)
{
  if(!buffer) return sSTREAM_INVALIDPOINTER;
  sS64 left = File->GetSize() - File->GetOffset();
  sS64 n = sS64(count) < left ? sS64(count) : left;
  if(n < 0) n = 0;
  if(n > 0 && !File->Read(buffer, sDInt(n)))
  {
    if(read) *read = 0;
    return sSTREAM_READFAULT;
  }
  if(read) *read = sU32(n);
  return sSTREAM_OK;
}

sU32 sFileStream::Write(const void *, sU32, sU32 *) { sVERIFYFALSE; }

sU32 sFileStream::Seek(sS64 offset, sU32 origin, sU64 *position)
{
  sS64 target;
  switch(origin)
  {
  case 0: target = offset; break;
  case 1: target = File->GetOffset() + offset; break;
  case 2: target = File->GetSize() + offset; break;
  default: return sSTREAM_INVALIDFUNCTION;
  }
  // before the start is refused; past the end stays at the end, where reads give 0 bytes
  // (a file may refuse such an offset and move elsewhere: decoders would read forever)
  if(target < 0) return sSTREAM_INVALIDFUNCTION;
  sS64 size = File->GetSize();
  if(target > size) target = size;
  File->SetOffset(target);
  if(position) *position = sU64(File->GetOffset());
  return sSTREAM_OK;
}

sU32 sFileStream::SetSize(sU64) { sVERIFYFALSE; }
sU32 sFileStream::CopyTo(sFileStream *, sU64, sU64 *, sU64 *) { sVERIFYFALSE; }
sU32 sFileStream::Commit(sU32) { return sSTREAM_OK; }
sU32 sFileStream::Revert() { sVERIFYFALSE; }
sU32 sFileStream::LockRegion(sU64, sU64, sU32) { sVERIFYFALSE; }
sU32 sFileStream::UnlockRegion(sU64, sU64, sU32) { sVERIFYFALSE; }

sU32 sFileStream::Stat(sStreamStat *stat, sU32 flags)
{
  sVERIFY(flags & 1);
  memset(stat, 0, sizeof(*stat));
  stat->Type = 2;
  stat->Size = sU64(File->GetSize());
  return sSTREAM_OK;
}

sU32 sFileStream::Clone(sFileStream **) { sVERIFYFALSE; }

/****************************************************************************/
/***   Decoding through the stream                                        ***/
/****************************************************************************/

namespace
{
// The decoder's view of the stream. The file's size is read once at open: a file cut
// short on the disk while it is decoded (a picture replaced in the folder) then reads
// nothing long before its offset reaches that size, and a decoder that loops until the
// end would loop for ever. A read that comes back short is the end.
struct DecoderStream
{
  sFileStream *Stream;
  sBool Ended = 0;
};

int StreamRead(void *user, char *data, int size)
{
  DecoderStream *d = static_cast<DecoderStream *>(user);
  sU32 got = 0;
  if(size <= 0) return 0;
  if(d->Stream->Read(data, sU32(size), &got) != sSTREAM_OK) got = 0;
  if(got < sU32(size)) d->Ended = 1;
  return int(got);
}

void StreamSkip(void *user, int n)
{
  static_cast<DecoderStream *>(user)->Stream->Seek(n, 1, nullptr);
}

int StreamEof(void *user)
{
  DecoderStream *d = static_cast<DecoderStream *>(user);
  return d->Ended || d->Stream->File->GetOffset() >= d->Stream->File->GetSize();
}
}   // namespace

namespace
{
// The whole file through the stream, in a block the caller frees; null when it cannot be
// read or held.
sU8 *ReadWholeStream(sFileStream &stream, sDInt &size)
{
  sStreamStat stat;
  stream.Stat(&stat, 1);
  if(stat.Size == 0 || stat.Size > 0x7fffffff) return nullptr;
  sSetAllocSource(__FILE__, __LINE__);
  sU8 *data = static_cast<sU8 *>(sMemAlloc(sDInt(stat.Size), 16, sAMF_MAYFAIL));
  if(!data) return nullptr;
  sU32 got = 0;
  if(stream.Seek(0, 0, nullptr) != sSTREAM_OK || stream.Read(data, sU32(stat.Size), &got) != sSTREAM_OK || got != stat.Size)
  {
    sMemFree(data);
    return nullptr;
  }
  size = sDInt(stat.Size);
  return data;
}

sBool ReadBmpThroughStream(sFileStream &stream, sImage *img)
{
  sDInt size = 0;
  sU8 *data = ReadWholeStream(stream, size);
  if(!data) return 0;
  sBool ok = size >= 2 && data[0] == 'B' && data[1] == 'M' && img->LoadBMP(data, size);
  sMemFree(data);
  return ok;
}

// libtiff reads through the stream. Its reports of damaged files are failures the caller
// sees as a null image; nothing is printed.
tmsize_t TiffRead(thandle_t user, void *data, tmsize_t size)
{
  DecoderStream *d = static_cast<DecoderStream *>(user);
  tmsize_t total = 0;
  while(size > 0)
  {
    sU32 chunk = size > 0x40000000 ? 0x40000000u : sU32(size);
    sU32 got = 0;
    if(d->Stream->Read(static_cast<sU8 *>(data) + total, chunk, &got) != sSTREAM_OK) return -1;
    total += got;
    size -= got;
    if(got < chunk) break;
  }
  return total;
}

tmsize_t TiffWrite(thandle_t, void *, tmsize_t) { return -1; }

toff_t TiffSeek(thandle_t user, toff_t offset, int whence)
{
  sU64 position = 0;
  if(static_cast<DecoderStream *>(user)->Stream->Seek(sS64(offset), sU32(whence), &position) != sSTREAM_OK)
    return toff_t(-1);
  return toff_t(position);
}

int TiffClose(thandle_t) { return 0; }

toff_t TiffSize(thandle_t user) { return toff_t(static_cast<DecoderStream *>(user)->Stream->File->GetSize()); }

int TiffMap(thandle_t, void **, toff_t *) { return 0; }

void TiffUnmap(thandle_t, void *, toff_t) {}

int TiffQuiet(TIFF *, void *, const char *, const char *, va_list) { return 1; }

bool IsTiff(const sU8 *m)
{
  return (m[0] == 'I' && m[1] == 'I' && (m[2] == 42 || m[2] == 43) && m[3] == 0) ||
         (m[0] == 'M' && m[1] == 'M' && m[2] == 0 && (m[3] == 42 || m[3] == 43));
}

// The first picture of a TIFF file in any of the layouts libtiff turns into RGBA.
sBool ReadTiffThroughStream(sFileStream &stream, sImage *img)
{
  stream.Seek(0, 0, nullptr);
  DecoderStream info = {&stream};
  TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
  if(!opts) return 0;
  TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffQuiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffQuiet, nullptr);
  // a damaged directory can ask the library for any size: its own blocks stay bounded
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(256) << 20);
  TIFF *tif = TIFFClientOpenExt("picture", "rm", &info, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                                TiffUnmap, opts);
  TIFFOpenOptionsFree(opts);
  if(!tif) return 0;
  uint32_t w = 0, h = 0;
  sBool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) &&
             SizeAllowed(w, h) && img->TryInit(int(w), int(h));
  if(ok) ok = TIFFReadRGBAImageOriented(tif, w, h, img->Data, ORIENTATION_TOPLEFT, 0) == 1;
  uint16_t extra = 0, *kinds = nullptr;
  // the library hands colours of an unassociated alpha multiplied by it: undone here, as
  // the file holds them
  const sBool unassociated = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds) && extra > 0 &&
                             kinds[0] == EXTRASAMPLE_UNASSALPHA;
  TIFFClose(tif);
  if(!ok) return 0;
  // the library's words hold red in the low byte
  img->SwapRedBlue();
  if(unassociated)
  {
    for(sS64 i = 0, n = sS64(img->SizeX) * img->SizeY; i < n; i++)
    {
      sU32 c = img->Data[i], a = c >> 24;
      if(a == 0 || a == 255) continue;
      auto un = [a](sU32 v) { return sU32(std::min<sU32>(255, (v * 255 + a / 2) / a)); };
      img->Data[i] = a << 24 | un((c >> 16) & 255) << 16 | un((c >> 8) & 255) << 8 | un(c & 255);
    }
  }
  return 1;
}
}   // namespace

sImage *sDecodeImageStream(sFile *file)
{
  sFileStream stream(file);
  sU8 magic[4] = {0, 0, 0, 0};
  sU32 got = 0;
  if(stream.Seek(0, 0, nullptr) != sSTREAM_OK || stream.Read(magic, 4, &got) != sSTREAM_OK) return nullptr;
  if(got == 4 && IsTiff(magic))
  {
    sImage *img = sNEW sImage;
    if(!ReadTiffThroughStream(stream, img)) sDELETE(img);
    return img;
  }
  // the reader takes a file for a JPEG after fill bytes before its start marker too
  if(got >= 2 && magic[0] == 0xff)
  {
    sDInt size = 0;
    sU8 *data = ReadWholeStream(stream, size);
    if(!data) return nullptr;
    bool sound = JpegTablesSound(data, size);
    sMemFree(data);
    if(!sound) return nullptr;
  }
  stream.Seek(0, 0, nullptr);
  stbi_io_callbacks io = {StreamRead, StreamSkip, StreamEof};
  int w = 0, h = 0, comp = 0;
  stbi_uc *rgba = nullptr;
  DecoderStream info = {&stream};
  if(stbi_info_from_callbacks(&io, &info, &w, &h, &comp))
  {
    // a picture refused for its size is not tried again by the BMP reader below
    if(!SizeAllowed(w, h)) return nullptr;
    stream.Seek(0, 0, nullptr);
    DecoderStream load = {&stream};
    // of an animated GIF the first frame
    rgba = stbi_load_from_callbacks(&io, &load, &w, &h, &comp, 4);
  }
  sImage *img = sNEW sImage;
  if(rgba)
  {
    if(!TakeDecoded(img, rgba, w, h)) sDELETE(img);
    return img;
  }
  // the library refuses BMP files whose pixels do not follow the header directly, as
  // our own writer makes them: those go through the program's BMP reader
  if(!ReadBmpThroughStream(stream, img)) sDELETE(img);
  return img;
}

sImage *sLoadImageGdiPlus(const sChar *name)
{
  sFile *file = sOpenFile(name, sFA_READRANDOM);
  if(!file) return nullptr;
  sImage *img = sDecodeImageStream(file);
  sDELETE(file);
  return img;
}
