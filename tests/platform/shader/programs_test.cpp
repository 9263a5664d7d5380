// Whole programs of the kind the framework materials use, hand-assembled for shader model
// 2.0 and run end to end: movie frames from Y, U, V planes to RGB, and a cube texture looked
// up by a direction passed from the vertex program.

#include <cmath>

#include "common.hpp"

using namespace shtest;

namespace {

// position by c0..c3, colour from the vertex, texture coordinate 0 passed
Tokens MovieVS() {
  return {VS2,
          Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(10, 0), Dst(INPUT, 1),
          Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 2),
          Ins(M4x4, 3), Dst(RASTOUT, 0), Src(INPUT, 0), Src(CONST, 0),
          Ins(MOV, 2), Dst(ATTROUT, 0), Src(INPUT, 1),
          Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 2),
          END};
}

// y = (Y - 0.0625) * 1.1686275, u = U - 0.5, v = V - 0.5;
// R = y + 1.6039215 v, G = y - 0.39215687 u - 0.81568629 v, B = y + 2.0235295 u, A = 1,
// each clamped, times the vertex colour
Tokens YuvPS() {
  return {PS2,
          Ins(DEF, 5), Dst(CONST, 0), F(0.0625f), F(1.1686275f), F(0.5f), F(1.0f),
          Ins(DEF, 5), Dst(CONST, 1), F(1.6039215f), F(-0.39215687f), F(-0.81568629f), F(2.0235295f),
          Ins(DCL, 2), 0x80000000u, Dst(TEXTURE, 0, 0x3),
          Ins(DCL, 2), 0x80000000u, Dst(INPUT, 0),
          Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0),
          Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 1),
          Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 2),
          Ins(TEX, 3), Dst(TEMP, 0), Src(TEXTURE, 0), Src(SAMPLER, 0),
          Ins(TEX, 3), Dst(TEMP, 1), Src(TEXTURE, 0), Src(SAMPLER, 1),
          Ins(TEX, 3), Dst(TEMP, 2), Src(TEXTURE, 0), Src(SAMPLER, 2),
          Ins(ADD, 3), Dst(TEMP, 0, 0x1), Src(TEMP, 0, XXXX), Src(CONST, 0, XXXX, NEG),
          Ins(MUL, 3), Dst(TEMP, 0, 0x1), Src(TEMP, 0, XXXX), Src(CONST, 0, YYYY),
          Ins(ADD, 3), Dst(TEMP, 1, 0x1), Src(TEMP, 1, XXXX), Src(CONST, 0, ZZZZ, NEG),
          Ins(ADD, 3), Dst(TEMP, 2, 0x1), Src(TEMP, 2, XXXX), Src(CONST, 0, ZZZZ, NEG),
          Ins(MAD, 4), Dst(TEMP, 3, 0x1), Src(TEMP, 2, XXXX), Src(CONST, 1, XXXX), Src(TEMP, 0, XXXX),
          Ins(MAD, 4), Dst(TEMP, 3, 0x2), Src(TEMP, 1, XXXX), Src(CONST, 1, YYYY), Src(TEMP, 0, XXXX),
          Ins(MAD, 4), Dst(TEMP, 3, 0x2), Src(TEMP, 2, XXXX), Src(CONST, 1, ZZZZ), Src(TEMP, 3, YYYY),
          Ins(MAD, 4), Dst(TEMP, 3, 0x4), Src(TEMP, 1, XXXX), Src(CONST, 1, WWWW), Src(TEMP, 0, XXXX),
          Ins(MOV, 2), Dst(TEMP, 3, 0x7, SAT), Src(TEMP, 3),
          Ins(MOV, 2), Dst(TEMP, 3, 0x8), Src(CONST, 0, WWWW),
          Ins(MUL, 3), Dst(TEMP, 3), Src(TEMP, 3), Src(INPUT, 0),
          Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 3),
          END};
}

Texture Plane(int unit, float value) {
  Texture t;
  t.Unit = unit;
  t.Texels = {value, 0, 0, 1};
  return t;
}

void Identity(DrawSetup &s) {
  for (int i = 0; i < 4; i++) {
    Vec4 row{0, 0, 0, 0};
    row[size_t(i)] = 1;
    SetConst(s.VSConst, i, row);
  }
}

Vec4 Yuv(float Y, float U, float V, const Vec4 &colour) {
  DrawSetup s;
  Identity(s);
  s.Textures = {Plane(0, Y), Plane(1, U), Plane(2, V)};
  std::vector<float> c;
  for (int i = 0; i < 4; i++) c.insert(c.end(), colour.begin(), colour.end());
  s.Attributes.push_back({{10, 0}, c});
  s.Attributes.push_back({{5, 0}, std::vector<float>(16, 0.5f)});
  DrawResult r = Draw(MovieVS(), YuvPS(), s);
  EXPECT_TRUE(r.Ok) << r.Error;
  return r.Ok ? PixelOf(r) : Vec4{NAN, NAN, NAN, NAN};
}

TEST(Programs, YuvToRgb) {
  REQUIRE_GL();
  const Vec4 white{1, 1, 1, 1};
  EXPECT_TRUE(Near(Yuv(16.0f / 256, 0.5f, 0.5f, white), {0, 0, 0, 1}));
  Vec4 top = Yuv(235.0f / 256, 0.5f, 0.5f, white);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(top[size_t(i)], 1.0f, 1e-3f);
  // a coloured value against the formula, and the vertex colour multiplied in
  float Y = 0.5f, U = 0.375f, V = 0.625f;
  float y = (Y - 0.0625f) * 1.1686275f, u = U - 0.5f, v = V - 0.5f;
  auto sat = [](float x) { return std::clamp(x, 0.0f, 1.0f); };
  Vec4 want{sat(y + 1.6039215f * v), sat(y - 0.39215687f * u - 0.81568629f * v), sat(y + 2.0235295f * u), 1};
  EXPECT_TRUE(Near(Yuv(Y, U, V, white), want));
  Vec4 tint{0.5f, 1, 0.25f, 0.75f};
  EXPECT_TRUE(Near(Yuv(Y, U, V, tint), {want[0] * 0.5f, want[1], want[2] * 0.25f, 0.75f}));
}

// position (x, y, z, 1) by c0..c3, the normal passed as a three-component texture coordinate,
// the cube texture of sampler 0 looked up by that direction
TEST(Programs, CubeLookupByDirectionFromTheVertexProgram) {
  REQUIRE_GL();
  Tokens vs{VS2,
            Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
            Ins(DCL, 2), DclUsage(3, 0), Dst(INPUT, 1),
            Ins(M4x4, 3), Dst(RASTOUT, 0), Src(INPUT, 0), Src(CONST, 0),
            Ins(MOV, 2), Dst(OUTPUT, 0, 0x7), Src(INPUT, 1),
            END};
  Tokens ps{PS2,
            Ins(DCL, 2), 0x80000000u, Dst(TEXTURE, 0, 0x7),
            Ins(DCL, 2), DclSampler(3), Dst(SAMPLER, 0),
            Ins(TEX, 3), Dst(TEMP, 0), Src(TEXTURE, 0), Src(SAMPLER, 0),
            Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0),
            END};
  Texture cube;
  cube.Type = Texture::Cube;
  for (int f = 0; f < 6; f++) cube.Texels.insert(cube.Texels.end(), {f * 0.1f, 1 - f * 0.1f, 0.5f, 1});
  const Vec4 dirs[6] = {{1, 0.2f, 0.1f, 0}, {-1, 0.2f, 0.1f, 0}, {0.1f, 1, 0.2f, 0},
                        {0.1f, -1, 0.2f, 0}, {0.1f, 0.2f, 1, 0}, {0.1f, 0.2f, -1, 0}};
  for (int f = 0; f < 6; f++) {
    DrawSetup s;
    Identity(s);
    s.Attributes.push_back({{0, 0}, {-1, 1, 0.5f, 1, 1, 1, 0.5f, 1, -1, -1, 0.5f, 1, 1, -1, 0.5f, 1}});
    std::vector<float> n;
    for (int i = 0; i < 4; i++) n.insert(n.end(), dirs[f].begin(), dirs[f].end());
    s.Attributes.push_back({{3, 0}, n});
    s.Textures = {cube};
    DrawResult r = Draw(vs, ps, s);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_TRUE(Near(PixelOf(r, 2, 2), {f * 0.1f, 1 - f * 0.1f, 0.5f, 1})) << "face " << f;
  }
}

}  // namespace
