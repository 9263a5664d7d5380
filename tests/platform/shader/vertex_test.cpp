// Vertex-program behaviour seen through the pixels: relative addressing, packed varyings
// and the position fix-up.

#include <cmath>

#include "common.hpp"

using namespace shtest;

namespace {

// vs_3_0 that runs `body` and leaves r0 in texcoord0 (o1)
Tokens VsWith(const Tokens &body) {
  Tokens t{VS3,
           Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
           Ins(DCL, 2), DclUsage(0, 0), Dst(OUTPUT, 0),
           Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1),
           Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 0)};
  t.insert(t.end(), body.begin(), body.end());
  Add(t, {Ins(MOV, 2), Dst(OUTPUT, 1), Src(TEMP, 0), END});
  return t;
}

Vec4 RunVs(const Tokens &vs, DrawSetup &s) {
  DrawResult r = Draw(vs, ShowTexcoordPS3(), s);
  EXPECT_TRUE(r.Ok) << r.Error;
  if (!r.Ok) return {NAN, NAN, NAN, NAN};
  return PixelOf(r);
}

struct RelCase {
  float Address;   // value mova rounds into a0.x
  Vec4 Want;
};
void PrintTo(const RelCase &c, std::ostream *os) { *os << "address " << c.Address; }

class RelativeAddress : public ::testing::TestWithParam<RelCase> {};

// mova a0.x, c10.x ; mov r0, c[a0.x + 2] with c<n> = (n, 2n, 0, 1) and c5 defined locally
TEST_P(RelativeAddress, ReadsRoundedRegisterDefsAndZeroOutside) {
  REQUIRE_GL();
  DrawSetup s;
  for (int n = 0; n < 256; n++) SetConst(s.VSConst, n, {float(n), float(2 * n), 0, 1});
  SetConst(s.VSConst, 10, {GetParam().Address, 0, 0, 0});
  Tokens body{Ins(DEF, 5), Dst(CONST, 5), F(-1), F(-2), F(-3), F(-4),
              Ins(MOVA, 2), Dst(ADDR, 0, 0x1), Src(CONST, 10, XXXX),
              Ins(MOV, 3), Dst(TEMP, 0), Src(CONST, 2) | RelBit, Src(ADDR, 0, XXXX)};
  EXPECT_TRUE(Near(RunVs(VsWith(body), s), GetParam().Want));
}

INSTANTIATE_TEST_SUITE_P(Vertex, RelativeAddress,
                         ::testing::Values(RelCase{1.6f, {4, 8, 0, 1}},        // rounds to 2
                                           RelCase{1.4f, {3, 6, 0, 1}},        // rounds to 1
                                           RelCase{-0.4f, {2, 4, 0, 1}},       // rounds to 0
                                           RelCase{2.5f, {-1, -2, -3, -4}},    // c5 is a def
                                           RelCase{253.0f, {255, 510, 0, 1}},  // last register
                                           RelCase{254.0f, {0, 0, 0, 0}},      // past the file
                                           RelCase{-2.6f, {0, 0, 0, 0}}),      // before it
                         [](const ::testing::TestParamInfo<RelCase> &i) { return "case" + std::to_string(i.index); });

TEST(Vertex, PackedOutputsReachPackedInputs) {
  REQUIRE_GL();
  DrawSetup s;
  SetConst(s.VSConst, 0, {1, 2, 3, 4});
  Tokens vs{VS3,
            Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
            Ins(DCL, 2), DclUsage(0, 0), Dst(OUTPUT, 0),
            Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1, 0x3),
            Ins(DCL, 2), DclUsage(5, 1), Dst(OUTPUT, 1, 0xC),
            Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 0),
            Ins(MOV, 2), Dst(OUTPUT, 1), Src(CONST, 0),
            END};
  Tokens ps{PS3,
            Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 4, 0x3),
            Ins(DCL, 2), DclUsage(5, 1), Dst(INPUT, 4, 0xC),
            Ins(MOV, 2), Dst(COLOROUT, 0), Src(INPUT, 4, Swz(3, 2, 1, 0)),
            END};
  DrawResult r = Draw(vs, ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_TRUE(Near(PixelOf(r), {4, 3, 2, 1}));
}

// The quad's top half (y 0..1 in clip space) must cover the top rows of the target, and the
// half-pixel shift must land pixel centres on the same texture coordinates as the original
// pixel grid: texel (x, y) of a 4x4 texture shows in pixel (x, y).
TEST(Vertex, PositionFixupFlipAndHalfPixel) {
  REQUIRE_GL();
  DrawSetup s;
  s.Attributes.push_back({{0, 0}, {-1, 1, 0.5f, 1, 1, 1, 0.5f, 1, -1, 0, 0.5f, 1, 1, 0, 0.5f, 1}});
  DrawResult r = Draw(PassVS3(), ShowTexcoordPS3(), s);
  ASSERT_TRUE(r.Ok) << r.Error;
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) {
      bool drawn = y < 2;
      EXPECT_EQ(PixelOf(r, x, y)[0] != -7.0f, drawn) << x << "," << y;
    }

  DrawSetup t;
  Texture tex;
  tex.Width = tex.Height = 4;
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) tex.Texels.insert(tex.Texels.end(), {float(x), float(y), 0, 1});
  t.Textures.push_back(tex);
  // pixel centres sit on whole pixel positions: a full-screen quad samples texel centres
  // when its texture coordinates are shifted by half a texel
  t.Attributes.push_back({{5, 0}, {0.125f, 0.125f, 0, 1, 1.125f, 0.125f, 0, 1, 0.125f, 1.125f, 0, 1, 1.125f, 1.125f, 0, 1}});
  Tokens ps{PS3,
            Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 0),
            Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0),
            Ins(TEX, 3), Dst(COLOROUT, 0), Src(INPUT, 0), Src(SAMPLER, 0),
            END};
  r = Draw(PassVS3(), ps, t);
  ASSERT_TRUE(r.Ok) << r.Error;
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) EXPECT_TRUE(Near(PixelOf(r, x, y), {float(x), float(y), 0, 1})) << x << "," << y;
}

}  // namespace
