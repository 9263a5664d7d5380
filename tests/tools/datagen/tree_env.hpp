#pragma once
// The tree the data generator tests look at: the generator runs once into a temporary
// folder of the test program (main.cpp), and the tests read what it wrote there.

#include "base/types.hpp"

#include <string>
#include <vector>

namespace datagentest
{
// The folder of the generated tree.
const std::string &Root();
// A file of the tree by its name in the tree, as program text.
std::u16string Path(const std::string &name);
// Its bytes (empty when it cannot be read).
std::vector<sU8> ReadBytes(const std::string &name);

// The IPP machine's texture table and the loader's picture as the show names them: the
// unpacked variant, then the packed one.
struct TexturePair
{
  const char *Unpacked;
  const char *Packed;
};
inline const TexturePair ShowTextures[] = {
  {"ipp/unpacked/white.bmp", "ipp/packed/white.png"},
  {"ipp/unpacked/interlace.pic", "ipp/packed/interlace.pic"},
  {"ipp/unpacked/sponsor_test.bmp", "ipp/packed/sponsor_test.png"},
  {"ipp/unpacked/sponsor_test_b.bmp", "ipp/packed/sponsor_test_b.png"},
  {"ipp/unpacked/noise_01.pic", "ipp/packed/noise_01.pic"},
  {"ipp/unpacked/color_test.bmp", "ipp/packed/color_test.png"},
  {"ipp/unpacked/glow_alpha.pic", "ipp/packed/glow_alpha.png"},
  {"ipp/unpacked/spark_alpha.pic", "ipp/packed/spark_aplha.pic"},
  {"ipp/unpacked/glow.bmp", "ipp/packed/glow.png"},
  {"ipp/unpacked/spark.bmp", "ipp/packed/spark.png"},
  {"loader/supershape.jpg", "loader/supershape.jpg"},
};
}
