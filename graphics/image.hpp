#pragma once
// Images: the in-memory picture of 32-bit ARGB pixels (sImage) with its operations and
// the readers and writers of the program's file formats (Softimage PIC, TGA, BMP; JPEG
// and PNG read through the decoder), and the texture-ready form with a full mip chain
// in a texture format (sImageData).

#include "base/types.hpp"

class sFile;
class sTexture2D;

/****************************************************************************/
/***   Images                                                             ***/
/****************************************************************************/

// The largest image in memory (16384 x 16384 pixels).
constexpr sS64 sIMAGE_MAXPIXELS = sS64(1) << 28;

// The largest picture a file may give. A file of a few hundred KB can claim a picture of
// gigabytes, and its decoding, the image and the texture each hold a copy of it: pictures
// of more than 2^26 pixels (8192 x 8192 worth, 256 MB of ARGB) are refused before they are
// decoded, which lets every camera's photos through (61 MP is 9504 x 6336). A loaded
// picture becomes a texture of its own size, so no side is longer than the device's
// largest texture (16384).
constexpr sInt sIMAGE_MAXSIDE = 16384;
constexpr sS64 sIMAGE_MAXPICTURE = sS64(1) << 26;
// Whether a picture of width x height is within those bounds.
constexpr sBool sPictureFits(sS64 width, sS64 height)
{
  return width <= sIMAGE_MAXSIDE && height <= sIMAGE_MAXSIDE && width * height <= sIMAGE_MAXPICTURE;
}
// Whether a file's picture of width x height may be decoded; a larger one is refused,
// before anything of it is decoded, with one line on "gfx". Any thread.
sBool sPictureSizeAllowed(sS64 width, sS64 height);
// How many pictures the calling thread has refused so far: a loader compares it around a
// read to tell a refusal, whose line is written, from other failures.
sInt sPictureRefusals();

// The stack a thread that decodes pictures asks for: the GIF decoder recurses once per
// code of an LZW chain, up to about 4,096 deep, which takes less than 256 KB in a release
// build and between 256 and 512 KB in the AddressSanitizer build.
constexpr sInt sIMAGE_DECODERSTACK = 2 << 20;

// Width x height pixels 0xAARRGGBB (bytes B, G, R, A in memory), rows from the top.
class sImage
{
public:
  sInt SizeX = 0;
  sInt SizeY = 0;
  sU32 *Data = nullptr;   // owned, 16-byte aligned

  sImage() = default;
  sImage(sInt x, sInt y) { Init(x, y); }
  ~sImage();
  sImage(const sImage &) = delete;
  sImage &operator=(const sImage &) = delete;

  // Reallocates for x * y pixels unless the size is unchanged; the contents are undefined.
  void Init(sInt x, sInt y);
  // Init that gives 0 instead of a fatal error when the memory cannot be had or the size
  // is out of range (readers of outside files use it).
  sBool TryInit(sInt x, sInt y);
  // A new image with the same size and pixels.
  sImage *Copy() const;

  void Fill(sU32 color);
  void SwapRedBlue();
  // Copies the w x h rectangle at (sx, sy) of src to (dx, dy), clipped against the source
  // and then against this image.
  void Blit(const sImage *src, sInt sx, sInt sy, sInt dx, sInt dy, sInt w, sInt h);
  // This image becomes the normal map of the red channel of the height image.
  void HeightToNormal(const sImage *height, sF32 scale);
  // Exchanges rows and columns.
  void Transpose();
  // Fills this (already sized) image from src: the nearest pixel, or with filter set and
  // this image smaller in both directions, the average of each pixel's source box.
  void ScaleFrom(const sImage *src, sBool filter);
  sImage *Scaled(sInt x, sInt y) const;
  // Half width and height; gamma 1 averages the colours as root of the mean square.
  sImage *Half(sBool gamma) const;
  // Average of the 2r + 1 pixels around each pixel of a row (edges clamped).
  void BlurRows(sInt r);
  void Blur(sInt r, sInt passes);
  // Adds the light of the pixels closer than r to each pixel, saturated; alpha is kept.
  void Glow(sInt r);
  // The current screen (colour target 0) read back, at the screen's size.
  void GrabScreen();

  // Loads or saves by the file's extension ("pic", "tga", "bmp"; "jpg" and "png" are
  // read only). 1 on success.
  sBool Load(const sChar *name);
  sBool Save(const sChar *name) const;

  // The readers over a whole file in memory; 0 on a bad or short file (the image may
  // then have the new size with partial contents).
  sBool LoadPIC(const sU8 *data, sDInt size);
  sBool LoadTGA(const sU8 *data, sDInt size);
  sBool LoadBMP(const sU8 *data, sDInt size);
  // JPEG and PNG (and the other formats of the decoder).
  sBool LoadCompressed(const sU8 *data, sDInt size);

  // The writers: the file's bytes in a new block (sMemFree) and its size, or null when
  // the image does not fit the format.
  sU8 *EncodePIC(sDInt &size) const;
  sU8 *EncodeTGA(sDInt &size) const;
  sU8 *EncodeBMP(sDInt &size) const;
};

/****************************************************************************/
/***   Decoding of other picture files                                    ***/
/****************************************************************************/

// Results of the stream below (the numbers of the stream interface it stands for).
enum : sU32
{
  sSTREAM_OK = 0,
  sSTREAM_INVALIDARG = 0x80070057,
  sSTREAM_NOINTERFACE = 0x80004002,
  sSTREAM_INVALIDPOINTER = 0x80030009,
  sSTREAM_READFAULT = 0x8003001E,
  sSTREAM_INVALIDFUNCTION = 0x80030001,
};

struct sStreamGuid
{
  sU32 Data1;
  sU16 Data2;
  sU16 Data3;
  sU8 Data4[8];
};

// The statistics record of a stream (80 bytes).
struct sStreamStat
{
  sChar *Name;
  sU32 Type;   // 2: a stream
  sU32 Pad0;
  sU64 Size;
  sU64 Times[3];
  sU32 Mode;
  sU32 LocksSupported;
  sU8 ClassId[16];
  sU32 StateBits;
  sU32 Reserved;
};
static_assert(sizeof(sStreamStat) == 80, "the statistics record has 80 bytes");

// A read-only stream over an open file (not owned), through which picture decoders read.
// It lives on its creator's stack: Release never frees it. Writing, resizing, copying,
// locking and cloning are programming errors.
class sFileStream
{
public:
  sFile *File;
  sU32 RefCount;

  explicit sFileStream(sFile *file) : File(file), RefCount(1) {}
  virtual ~sFileStream() = default;

  virtual sU32 QueryInterface(const sStreamGuid &iid, void **out);
  virtual sU32 AddRef();
  virtual sU32 Release();
  virtual sU32 Read(void *buffer, sU32 count, sU32 *read);
  virtual sU32 Write(const void *buffer, sU32 count, sU32 *written);
  // origin 0: from the start, 1: from the current offset, 2: from the end
  virtual sU32 Seek(sS64 offset, sU32 origin, sU64 *position);
  virtual sU32 SetSize(sU64 size);
  virtual sU32 CopyTo(sFileStream *dest, sU64 count, sU64 *read, sU64 *written);
  virtual sU32 Commit(sU32 flags);
  virtual sU32 Revert();
  virtual sU32 LockRegion(sU64 offset, sU64 count, sU32 type);
  virtual sU32 UnlockRegion(sU64 offset, sU64 count, sU32 type);
  // flags must have bit 0 (no name) set
  virtual sU32 Stat(sStreamStat *stat, sU32 flags);
  virtual sU32 Clone(sFileStream **out);
};

// Decodes a picture file of a common format (JPEG, PNG, BMP, GIF, TIFF),
// reading it through an sFileStream; null when the file cannot be opened or decoded.
sImage *sLoadImageGdiPlus(const sChar *name);
// The same over an open file (not closed here).
sImage *sDecodeImageStream(sFile *file);

// The decoder's memory: framework memory with 16-byte alignment.
void *sImageMalloc(sDInt size);
void *sImageRealloc(void *ptr, sDInt newSize, sDInt oldSize);
void sImageFree(void *ptr);

/****************************************************************************/
/***   Texture-ready data                                                 ***/
/****************************************************************************/

enum : sInt
{
  sICT_RAW = 0,   // uncompressed data in the texture format
};

// Bits per pixel, block size and palette entries of a texture format code (low byte of
// the flags word). Unknown codes are fatal.
struct sTextureFormatInfo
{
  sInt BitsPerPixel;
  sInt BlockX;
  sInt BlockY;
  sInt PaletteCount;
};
sTextureFormatInfo sGetTextureFormatInfo(sInt format);
// Bytes of one level of x * y pixels in that format, rounded up to whole blocks.
sDInt sTextureLevelBytes(sInt format, sInt x, sInt y);

// Pixels converted into a texture format with a mip chain (and a palette where the format
// has one): what a texture is loaded from.
class sImageData
{
public:
  sDInt DataSize = 0;       // bytes of all levels (and faces)
  sDInt DataSizeCopy = 0;
  sDInt FaceSize = 0;       // bytes of one cube face
  sInt Format = 0;          // format code, 0x400 one level, type in 0xF000
  sInt SizeX = 0;
  sInt SizeY = 0;
  sInt SizeZ = 1;
  sInt Mipmaps = 0;         // levels present
  sInt BitsPerPixel = 0;
  sU8 *Data = nullptr;      // all levels back to back, owned
  sInt PaletteCount = 0;
  sF32 *Palette = nullptr;  // PaletteCount entries of four floats, owned
  sInt Reserved = 0;
  sInt Mode = 1;            // the block packer's mode word
  sInt CodecType = sICT_RAW;

  sImageData() = default;
  ~sImageData();
  sImageData(const sImageData &) = delete;
  sImageData &operator=(const sImageData &) = delete;

  // Lays out the mip chain: one level with 0x400, else mipmaps levels (all when 0) while
  // a level is at least one block wide and high. Fatal without a type in 0xF000.
  void Init(sInt format, sInt mipmaps, sInt x, sInt y, sInt z = 1);
  // Converts the image (of this size, 2D, raw) into every level, halving it for each next.
  void ConvertFrom(const sImage *img);
  // A new 2D texture of this size, format and level count, loaded from the levels.
  sTexture2D *CreateTexture() const;
  // The first byte of a level of a 2D chain.
  sU8 *LevelData(sInt level) const;
};

// Bytes held by all sImageData blocks.
sS64 sGetImageDataBytes();
