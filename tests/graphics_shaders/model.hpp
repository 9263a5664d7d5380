// CPU side of the rendered tests: random inputs, the matrix that places the four corners of
// the strip on the screen, per-corner vertex results interpolated to the pixel centres, and
// the comparison with what the GPU drew.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/gl_harness.hpp"
#include "shaders/shadercode.hpp"

namespace cpu {

struct D4 {
  double x = 0, y = 0, z = 0, w = 0;
  double &operator[](int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
  double operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
};
inline D4 operator+(D4 a, D4 b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
inline D4 operator-(D4 a, D4 b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
inline D4 operator*(D4 a, D4 b) { return {a.x * b.x, a.y * b.y, a.z * b.z, a.w * b.w}; }
inline D4 operator*(D4 a, double s) { return {a.x * s, a.y * s, a.z * s, a.w * s}; }
inline D4 operator*(double s, D4 a) { return a * s; }
inline double Dot3(D4 a, D4 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double Len3(D4 a) { return std::sqrt(Dot3(a, a)); }
inline D4 Norm3(D4 a) { double l = Len3(a); return {a.x / l, a.y / l, a.z / l, 0}; }
inline D4 Cross(D4 a, D4 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0}; }
inline D4 Reflect(D4 e, D4 n) { return e - n * (2 * Dot3(n, e)); }
inline double Sat(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline D4 Sat(D4 a) { return {Sat(a.x), Sat(a.y), Sat(a.z), Sat(a.w)}; }
inline D4 Splat(double v) { return {v, v, v, v}; }
inline D4 Rgb(D4 a, double w) { return {a.x, a.y, a.z, w}; }
inline D4 Lerp(D4 a, D4 b, double k) { return a + (b - a) * k; }
inline D4 Min(D4 a, double m) { return {std::min(a.x, m), std::min(a.y, m), std::min(a.z, m), std::min(a.w, m)}; }
inline D4 Max(D4 a, double m) { return {std::max(a.x, m), std::max(a.y, m), std::max(a.z, m), std::max(a.w, m)}; }

using Sem = std::pair<int, int>;
constexpr Sem kPos{0, 0}, kNormal{3, 0}, kTangent{6, 0}, kColor0{10, 0}, kColor1{10, 1};
inline Sem Tc(int i) { return {5, i}; }

struct Tex {
  bool Cube = false;
  int W = 4, H = 4;
  std::vector<D4> Texels;
  D4 Sample(D4 uv) const {
    if (Cube) {
      double ax = std::fabs(uv.x), ay = std::fabs(uv.y), az = std::fabs(uv.z);
      int face = (ax >= ay && ax >= az) ? (uv.x > 0 ? 0 : 1) : (ay >= az) ? (uv.y > 0 ? 2 : 3) : (uv.z > 0 ? 4 : 5);
      return Texels[size_t(face)];  // one texel a face
    }
    int i = int(std::floor(uv.x * W)), j = int(std::floor(uv.y * H));
    i = std::clamp(i, 0, W - 1);
    j = std::clamp(j, 0, H - 1);
    return Texels[size_t(j * W + i)];
  }
};

class Rng {
 public:
  explicit Rng(uint32_t seed) : Gen(seed) {}
  double U(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(Gen); }
  D4 V(double lo, double hi) { return {U(lo, hi), U(lo, hi), U(lo, hi), U(lo, hi)}; }
  D4 V3(double lo, double hi, double w) { return {U(lo, hi), U(lo, hi), U(lo, hi), w}; }
  Tex Texture(int w = 4, int h = 4) {
    Tex t;
    t.W = w;
    t.H = h;
    for (int i = 0; i < w * h; i++) t.Texels.push_back(V(0.0, 1.0));
    return t;
  }

 private:
  std::mt19937 Gen;
};

// Everything one draw reads.
struct Case {
  std::map<Sem, std::array<D4, 4>> Attr;
  std::vector<D4> VC = std::vector<D4>(256);
  std::vector<D4> PC = std::vector<D4>(224);
  std::map<int, Tex> Textures;  // by sampler
  D4 T(int unit, D4 uv) const { return Textures.at(unit).Sample(uv); }
  const D4 &A(Sem s, int corner) const { return Attr.at(s)[size_t(corner)]; }
};

using Varyings = std::map<Sem, D4>;

struct Model {
  // random attributes, constants (c0..c3 are set afterwards) and textures
  std::function<void(Rng &, Case &)> Setup;
  // the point the vertex program transforms by c0..c3 for this corner (w 1 where the program
  // adds the translation row itself), and what it adds to the result afterwards
  std::function<D4(const Case &, int corner, D4 &offset)> PreM;
  // the varyings of one corner; `clip` is the position the program writes
  std::function<Varyings(const Case &, int corner, D4 clip, D4 offset)> Vs;
  // the colour of one pixel
  std::function<D4(const Case &, const Varyings &)> Ps;
  bool Sm2 = true;
  double Tolerance = 1e-4;
};

// The corner's position as the program reads it, nothing added afterwards; PosW1 with w 1.
inline D4 PosOnly(const Case &c, int k, D4 &off) { return off = {}, c.A(kPos, k); }
inline D4 PosW1(const Case &c, int k, D4 &off) { return off = {}, Rgb(c.A(kPos, k), 1); }

// Checks the pair under three seeded random inputs from the file's kFirstSeed on.
#define CHECK_PAIR(model, vs, ps) \
  for (uint32_t seed : {kFirstSeed, kFirstSeed + 1, kFirstSeed + 2}) EXPECT_TRUE(cpu::Check(model, vs, ps, seed))

bool Invert4(const double m[4][4], double out[4][4]);

// The token words of a program.
inline std::vector<uint32_t> Words(const shadercode::Code &c) { return {c.Data, c.Data + c.Size / 4}; }

// Draws the pair with seeded random inputs and compares every pixel (those on the strip's
// diagonal excepted) with the CPU evaluation.
::testing::AssertionResult Check(const Model &model, const shadercode::Code &vs, const shadercode::Code &ps,
                                 uint32_t seed);

}  // namespace cpu

