#pragma once
// A small OpenGL 3.3 core runner for translated shaders, shared by the shader tests and
// the rendered tests of the material programs: it compiles the GLSL of a vertex and a
// pixel program the way the gpu device does (constant blocks at binding points 0 and
// 1, samplers on units N and 16 + N, gpu_PosFixup, alpha test off), draws a full-screen quad
// into a floating-point target and reads the pixels back.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/shader/shader.hpp"

namespace shtest {

struct Texture {
  enum Kind { Tex2D, Cube, Volume } Type = Tex2D;
  int Unit = 0;                 // texture unit
  int Width = 1, Height = 1, Depth = 1;   // Depth: volume slices
  std::vector<float> Texels;    // RGBA floats; cube: six faces +x, -x, +y, -y, +z, -z
  bool Mipmaps = false;         // Texels then hold the whole chain, level 0 first
};

struct Attribute {
  plat::shader::Semantic Sem;
  std::vector<float> Values;    // four floats per quad corner, corners (-1,1) (1,1) (-1,-1) (1,-1)
};

struct DrawSetup {
  std::vector<float> VSConst = std::vector<float>(256 * 4, 0.0f);
  std::vector<int32_t> VSInt = std::vector<int32_t>(16 * 4, 0);
  std::vector<int32_t> VSBool = std::vector<int32_t>(16 * 4, 0);
  std::vector<float> PSConst = std::vector<float>(224 * 4, 0.0f);
  std::vector<int32_t> PSInt = std::vector<int32_t>(16 * 4, 0);
  std::vector<int32_t> PSBool = std::vector<int32_t>(16 * 4, 0);
  std::vector<Attribute> Attributes;   // position (usage 0) is added when missing
  std::vector<Texture> Textures;
  int Width = 4, Height = 4;
  int Targets = 1;                  // colour targets
  bool Depth = false;               // add a depth target (cleared to 1, depth test ALWAYS)
  int AlphaFunc = 8;
  float AlphaRef = 0.0f;
  float Clear[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
};

struct DrawResult {
  bool Ok = false;
  std::string Error;                // translation, compile or link error with the sources
  std::vector<std::vector<float>> Colors;   // per target, RGBA per pixel, row 0 first
  std::vector<float> Depth;
  std::string VSText, PSText;
  const float *Pixel(int x, int y, int target = 0) const { return &Colors[target][(y * W + x) * 4]; }
  int W = 0, H = 0;
};

// True when a GL 3.3 core context is available (made on first use).
bool HaveGL();
// Compiles one translated stage on its own; false with the compiler's log.
bool CompileOnly(bool vertex, const std::string &glsl, std::string &log);
DrawResult Draw(const std::vector<uint32_t> &vs, const std::vector<uint32_t> &ps, const DrawSetup &setup);

}  // namespace shtest

// Skips a test that draws when the machine offers no GL 3.3 core context.
#define REQUIRE_GL() \
  do { if (!::shtest::HaveGL()) GTEST_SKIP() << "no OpenGL 3.3 context"; } while (0)
