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
  {"invaders/unpacked/white.bmp", "invaders/packed/white.png"}, {"invaders/unpacked/glow.bmp", "invaders/packed/glow.png"},
  {"invaders/unpacked/lightpoint.bmp", "invaders/packed/lightpoint.png"},
  {"invaders/unpacked/spark.bmp", "invaders/packed/spark.png"},
  {"robot/unpacked/white.bmp", "robot/packed/white.png"}, {"robot/unpacked/ground.pic", "robot/packed/ground.pic"},
  {"robot/unpacked/ground2.pic", "robot/packed/ground2.pic"}, {"robot/unpacked/ground3.pic", "robot/packed/ground3.pic"},
  {"robot/unpacked/detail_bump.bmp", "robot/packed/detail_bump.png"},
  {"robot/unpacked/shadow.pic", "robot/packed/shadow.pic"},
  {"robot/unpacked/light_spot.bmp", "robot/packed/light_spot.png"}, {"robot/unpacked/glow.bmp", "robot/packed/glow.png"},
  {"robot/unpacked/lightpoint.bmp", "robot/packed/lightpoint.png"},
  {"robot/unpacked/horizon.bmp", "robot/packed/horizon.png"}, {"robot/unpacked/horizon2.bmp", "robot/packed/horizon2.png"},
  {"robot/unpacked/wall.bmp", "robot/packed/wall.png"},
};
}
