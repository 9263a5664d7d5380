#pragma once
// Shared pieces of the shader tests: pass-through programs and a one-pixel runner.

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "common/gl_harness.hpp"
#include "tokens.hpp"

namespace shtest {

using Vec4 = std::array<float, 4>;

// vs_3_0: position straight through, texcoord0 (v1) to o1 as texcoord0
inline Tokens PassVS3() {
  return {VS3,
          Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 1),
          Ins(DCL, 2), DclUsage(0, 0), Dst(OUTPUT, 0),
          Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1),
          Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 0),
          Ins(MOV, 2), Dst(OUTPUT, 1), Src(INPUT, 1),
          END};
}

// vs_2_0: position to oPos, texcoord0 to oT0
inline Tokens PassVS2() {
  return {VS2,
          Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 1),
          Ins(MOV, 2), Dst(RASTOUT, 0), Src(INPUT, 0),
          Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 1),
          END};
}

// ps_3_0 that runs `body` (which leaves its result in r0) and writes r0 to oC0
inline Tokens PsWith(const Tokens &body) {
  Tokens t{PS3};
  t.insert(t.end(), body.begin(), body.end());
  Add(t, {Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0), END});
  return t;
}

// ps_3_0 that writes texcoord0 (what the vertex program computed) to oC0
inline Tokens ShowTexcoordPS3() {
  return {PS3, Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 0), Ins(MOV, 2), Dst(COLOROUT, 0), Src(INPUT, 0), END};
}

inline void SetConst(std::vector<float> &file, int reg, const Vec4 &v) {
  for (int i = 0; i < 4; i++) file[size_t(reg) * 4 + size_t(i)] = v[size_t(i)];
}

inline Vec4 PixelOf(const DrawResult &r, int x = 1, int y = 1, int target = 0) {
  const float *p = r.Pixel(x, y, target);
  return {p[0], p[1], p[2], p[3]};
}

// |a - b| within 1e-5, relative for large values; infinities and NaN must match exactly
inline ::testing::AssertionResult Near(const Vec4 &got, const Vec4 &want, float tol = 1e-5f) {
  for (int i = 0; i < 4; i++) {
    float g = got[size_t(i)], w = want[size_t(i)];
    bool ok;
    if (std::isnan(w)) ok = std::isnan(g);
    else if (std::isinf(w)) ok = g == w;
    else ok = std::fabs(g - w) <= tol * std::max(1.0f, std::fabs(w));
    if (!ok)
      return ::testing::AssertionFailure()
             << "component " << "xyzw"[i] << ": got (" << got[0] << ", " << got[1] << ", " << got[2] << ", "
             << got[3] << ") want (" << want[0] << ", " << want[1] << ", " << want[2] << ", " << want[3] << ")";
  }
  return ::testing::AssertionSuccess();
}


}  // namespace shtest
