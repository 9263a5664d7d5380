#pragma once
// Block-packed pictures kept between starts.
//
// Packing a picture into 8- or 16-byte blocks is the slow part of loading it, so the packed
// levels are kept in a cache folder beside the data tree, one file per picture and packing.
// An entry is used only while the source file's size, time and content (a CRC-32 of its
// bytes) match the ones recorded in it and its own checksum holds; otherwise the picture is
// packed again and the entry rewritten. Without a cache folder every load packs afresh.
// Pictures may be loaded from any thread; the cache folder is set while none is.

#include "base/types.hpp"

#include <memory>
#include <string>

class sImage;
class sImageData;

// Sets the cache folder (created when first written); null or empty turns the cache off.
void SetPackedPictureCache(const sChar *folder);
// The cache folder, or null when there is none.
const sChar *GetPackedPictureCache();
// The file name of the cache entry of a picture packed into the format, with or without
// turning its heights into normals first.
std::u16string GetPackedPictureEntry(const sChar *path, sInt format, sBool normals);

// Loads the picture file and packs all its levels into data (initialised here) in the
// format, turning it from heights into normals first when asked; 1 on success. A picture
// smaller than one block cannot be packed: 0, and *unpacked (when given) receives the
// loaded image for the caller to keep as it is. A file that cannot be loaded gives 0 and
// no image.
sBool LoadPackedPicture(const sChar *path, sInt format, sBool normals, sImageData &data, sImage **unpacked);

// Pictures loaded and packed as LoadPackedPicture does, on a few threads of the batch's
// own while the caller goes on with other work; the caller takes each picture's result
// when it needs it. Pictures are begun in the order they are added.
class PackedPictureBatch
{
public:
  PackedPictureBatch();
  // Waits for the pictures under way; results not taken are dropped.
  ~PackedPictureBatch();
  PackedPictureBatch(const PackedPictureBatch &) = delete;
  PackedPictureBatch &operator=(const PackedPictureBatch &) = delete;

  // Queues a picture (LoadPackedPicture's first three arguments); its number for Take.
  sInt Add(const sChar *path, sInt format, sBool normals);
  // Waits for picture n (once per picture) and hands over what LoadPackedPicture gives:
  // 1 with *data a new block of packed levels, the caller's to delete; 0 with *data null,
  // and *unpacked the picture smaller than one block or null.
  sBool Take(sInt n, sImageData **data, sImage **unpacked);

private:
  struct Shared;
  std::unique_ptr<Shared> S;
};
