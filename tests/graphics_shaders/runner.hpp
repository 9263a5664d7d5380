// Draws one vertex/pixel program pair through the translator into a float render target,
// the way the gpu device sets things up (constant blocks at binding points 0 and 1, pixel
// samplers on unit N, the position fix-up for the target size, alpha test off).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace shaderrun {

using Vec4 = std::array<float, 4>;
using Sem = std::pair<int, int>;  // (usage, usage index)

struct Texture {
  bool Cube = false;
  int Unit = 0;
  int Width = 1, Height = 1;
  std::vector<Vec4> Texels;  // row 0 first; cube: six faces +x, -x, +y, -y, +z, -z
};

struct Setup {
  std::vector<float> VSConst = std::vector<float>(256 * 4, 0.0f);
  std::vector<float> PSConst = std::vector<float>(224 * 4, 0.0f);
  std::map<Sem, std::array<Vec4, 4>> Attributes;  // per corner of the strip
  std::vector<Texture> Textures;
  int Width = 4, Height = 4;
};

struct Result {
  bool Ok = false;
  std::string Error;
  std::vector<Vec4> Pixels;  // row 0 (top) first
};

Result Draw(const uint32_t *vs, size_t vsWords, const uint32_t *ps, size_t psWords, const Setup &setup);

}  // namespace shaderrun
