#pragma once
// The tree the data generator's tests read: made by the fixture of the test run, or by
// main.cpp when a test program is started by hand.

#include "base/types.hpp"

#include <string>
#include <vector>

namespace datagentest
{
const std::string &Root();
// A file of the tree by its name in the tree, as program text, and its bytes.
std::u16string Path(const std::string &name);
std::vector<sU8> ReadBytes(const std::string &name);

// The IPP machine's texture table and the loader's picture, as the show names them.
struct TexturePair
{
  const char *Unpacked, *Packed;
  bool Alpha = false;   // its shape is in its alpha too
};
inline const TexturePair ShowTextures[] = {
  {"ipp/unpacked/white.bmp", "ipp/packed/white.png"}, {"ipp/unpacked/interlace.pic", "ipp/packed/interlace.pic"},
  {"ipp/unpacked/sponsor_test.bmp", "ipp/packed/sponsor_test.png"},
  {"ipp/unpacked/sponsor_test_b.bmp", "ipp/packed/sponsor_test_b.png"},
  {"ipp/unpacked/noise_01.pic", "ipp/packed/noise_01.pic"}, {"ipp/unpacked/color_test.bmp", "ipp/packed/color_test.png"},
  {"ipp/unpacked/glow_alpha.pic", "ipp/packed/glow_alpha.png"},
  {"ipp/unpacked/spark_alpha.pic", "ipp/packed/spark_aplha.pic"},
  {"ipp/unpacked/glow.bmp", "ipp/packed/glow.png"}, {"ipp/unpacked/spark.bmp", "ipp/packed/spark.png"},
  {"loader/supershape.jpg", "loader/supershape.jpg"},
  {"global/unpacked/white.bmp", "global/packed/white.png"},
  {"global/unpacked/glow.bmp", "global/packed/glow.png", true},
  {"morvensk/white.pic", "morvensk/white.pic"}, {"morvensk/white_a.pic", "morvensk/white_a.pic", true},
  {"morvensk/white_m.pic", "morvensk/white_m.pic"}, {"morvensk/supershape_01.pic", "morvensk/supershape_01.pic"},
  {"morvensk/supershape_02.pic", "morvensk/supershape_02.pic"},
  {"morvensk/minimal_bg.pic", "morvensk/minimal_bg.pic", true},
  {"morvensk/minimal_icon.bmp", "morvensk/minimal_icon.png"},
  {"morvensk/minimal_text.pic", "morvensk/minimal_text.pic", true},
  {"slideshow/unpacked/white.bmp", "slideshow/packed/white.png"},
  {"slideshow/unpacked/star.bmp", "slideshow/packed/star.png", true},
  {"slideshow/unpacked/center.bmp", "slideshow/packed/center.png", true},
  {"slideshow/unpacked/lightpoint.bmp", "slideshow/packed/lightpoint.png", true},
  {"slideshow/unpacked/star_bg.bmp", "slideshow/packed/star_bg.png"},
  {"slideshow/unpacked/horizon.bmp", "slideshow/packed/horizon.png", true},
  {"slideshow/unpacked/horizon_bg.bmp", "slideshow/packed/horizon_bg.png"},
  {"slideshow/unpacked/photo_1.bmp", "slideshow/packed/photo_1.png"},
  {"slideshow/unpacked/photo_2.bmp", "slideshow/packed/photo_2.png"},
  {"slideshow/unpacked/photo_3.bmp", "slideshow/packed/photo_3.png"},
  {"slideshow/unpacked/round.pic", "slideshow/packed/round.pic", true},
  {"slideshow/unpacked/outline.pic", "slideshow/packed/outline.pic", true},
  {"slideshow/unpacked/background.pic", "slideshow/packed/background.pic"},
  {"slideshow/unpacked/style2_bg.pic", "slideshow/packed/style2_bg.pic"},
  {"slideshow/unpacked/mirrow.pic", "slideshow/packed/mirrow.pic", true},
};
}
