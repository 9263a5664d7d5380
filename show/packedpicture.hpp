#pragma once
// Block-packed pictures: a picture file loaded and packed into 8- or 16-byte blocks, all its
// levels, at every start; nothing is kept between starts. Packing is the slow part of
// loading such a picture, so a batch packs its pictures on a few threads of its own while
// the main thread goes on with other work. Pictures may be loaded from any thread.

#include "base/types.hpp"

#include <memory>

class sImage;
class sImageData;

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
