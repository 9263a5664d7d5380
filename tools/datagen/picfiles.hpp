#pragma once
// Writers of the picture formats the show only reads: GIF (one frame, a palette of the
// picture's own 256 most common colours) and TIFF (uncompressed RGB, or RGBA with its
// alpha unassociated). The stand-in tree's slideshow holds one of each; the picture
// decoder's tests read them back.

#include "graphics/image.hpp"

#include <cstdint>
#include <vector>

namespace datagen
{
std::vector<uint8_t> EncodeGif(const sImage &img);
std::vector<uint8_t> EncodeTiff(const sImage &img);
}   // namespace datagen
