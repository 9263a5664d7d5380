// Pixel-program behaviour: texture lookups of every kind, texkill, def constants, and flow
// control with booleans, integers and predicates.

#include <cmath>

#include "common.hpp"

using namespace shtest;

namespace {

// ps_3_0 body with the sampler declarations given; result of the body in r0 goes to oC0
Tokens Ps3(std::initializer_list<uint32_t> body) { return PsWith(Tokens(body)); }

Texture Mipmapped2x2(int unit) {
  Texture t;
  t.Unit = unit;
  t.Width = t.Height = 2;
  t.Mipmaps = true;
  t.Texels = {0.1f, 0, 0, 1, 0.2f, 0, 0, 1, 0.3f, 0, 0, 1, 0.4f, 0, 0, 1, /* level 1 */ 0, 0.5f, 0, 1};
  return t;
}

Vec4 RunPs(const Tokens &ps, const DrawSetup &s, int x = 1, int y = 1) {
  DrawResult r = Draw(PassVS3(), ps, s);
  EXPECT_TRUE(r.Ok) << r.Error;
  if (!r.Ok) return {NAN, NAN, NAN, NAN};
  return PixelOf(r, x, y);
}

// The quad's texture coordinates run 0..1 over four pixels: a 2x2 texture is magnified, so
// texld reads level 0; a bias of 2 (in w) selects level 1; texldl picks the level in w.
TEST(Texture, BiasAndExplicitLevelSelectMipLevels) {
  REQUIRE_GL();
  DrawSetup s;
  s.Textures.push_back(Mipmapped2x2(0));
  s.Attributes.push_back({{5, 0}, {0, 0, 0, 2, 1, 0, 0, 2, 0, 1, 0, 2, 1, 1, 0, 2}});
  Tokens head{Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 0), Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0)};
  auto with = [&](Tokens t) {
    head.insert(head.end(), t.begin(), t.end());
    Tokens r = PsWith(head);
    head.resize(6);
    return r;
  };
  EXPECT_TRUE(Near(RunPs(with({Ins(TEX, 3), Dst(TEMP, 0), Src(INPUT, 0), Src(SAMPLER, 0)}), s), {0.1f, 0, 0, 1}));
  EXPECT_TRUE(Near(RunPs(with({Ins(TEX, 3, 2), Dst(TEMP, 0), Src(INPUT, 0), Src(SAMPLER, 0)}), s), {0, 0.5f, 0, 1}));
  SetConst(s.PSConst, 0, {0.75f, 0.75f, 0, 1});
  SetConst(s.PSConst, 1, {0.75f, 0.75f, 0, 0});
  EXPECT_TRUE(Near(RunPs(with({Ins(TEXLDL, 3), Dst(TEMP, 0), Src(CONST, 0), Src(SAMPLER, 0)}), s), {0, 0.5f, 0, 1}));
  EXPECT_TRUE(Near(RunPs(with({Ins(TEXLDL, 3), Dst(TEMP, 0), Src(CONST, 1), Src(SAMPLER, 0)}), s), {0.4f, 0, 0, 1}));
}

TEST(Texture, CubeVolumeAndSamplerSwizzle) {
  REQUIRE_GL();
  DrawSetup s;
  Texture cube;
  cube.Type = Texture::Cube;
  cube.Unit = 1;
  for (int f = 0; f < 6; f++) cube.Texels.insert(cube.Texels.end(), {float(f), 10.0f + f, 0, 1});
  Texture vol;
  vol.Type = Texture::Volume;
  vol.Unit = 2;
  vol.Depth = 2;
  vol.Texels = {1, 2, 3, 4, 5, 6, 7, 8};
  s.Textures = {cube, vol};
  Tokens dcls{Ins(DCL, 2), DclSampler(3), Dst(SAMPLER, 1), Ins(DCL, 2), DclSampler(4), Dst(SAMPLER, 2)};
  struct Case { Vec4 Coord; int Sampler; uint32_t Swizzle; Vec4 Want; };
  const Case cases[] = {
      {{2, 0.5f, -0.5f, 0}, 1, XYZW, {0, 10, 0, 1}},     // +x
      {{-3, 1, 1, 0}, 1, XYZW, {1, 11, 0, 1}},           // -x
      {{0.1f, -2, 0.3f, 0}, 1, XYZW, {3, 13, 0, 1}},     // -y
      {{0.2f, 0.1f, -5, 0}, 1, XYZW, {5, 15, 0, 1}},     // -z
      {{0.5f, 0.5f, 0.25f, 0}, 2, XYZW, {1, 2, 3, 4}},   // first slice
      {{0.5f, 0.5f, 0.75f, 0}, 2, Swz(3, 2, 1, 0), {8, 7, 6, 5}},   // second slice, swizzled
  };
  for (const Case &c : cases) {
    SetConst(s.PSConst, 0, c.Coord);
    Tokens body = dcls;
    Add(body, {Ins(TEX, 3), Dst(TEMP, 0), Src(CONST, 0), Src(SAMPLER, uint32_t(c.Sampler), c.Swizzle)});
    EXPECT_TRUE(Near(RunPs(PsWith(body), s), c.Want)) << c.Coord[0] << " " << c.Coord[1] << " " << c.Coord[2];
  }
}

// texkill t0 with t0.x = u - 0.5: the left half of the quad is not drawn
TEST(Texture, TexkillDiscardsWhereAnyMaskedComponentIsNegative) {
  REQUIRE_GL();
  DrawSetup s;
  s.Attributes.push_back({{5, 0}, {-0.5f, 1, 0, 1, 0.5f, 1, 0, 1, -0.5f, 1, 0, 1, 0.5f, 1, 0, 1}});
  Tokens ps{PS2,
            Ins(DCL, 2), 0x80000000u, Dst(TEXTURE, 0),
            Ins(TEXKILL, 1), Dst(TEXTURE, 0, 0x7),
            Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEXTURE, 0, Swz(1, 1, 1, 1)),
            END};
  DrawResult r = Draw(PassVS2(), ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  for (int x = 0; x < 4; x++) EXPECT_EQ(PixelOf(r, x, 2)[0], x < 2 ? -7.0f : 1.0f) << x;
  // a component outside the mask does not count: kill on .y only (always 1) keeps every pixel
  ps[5] = Dst(TEXTURE, 0, 0x2);
  r = Draw(PassVS2(), ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  for (int x = 0; x < 4; x++) EXPECT_EQ(PixelOf(r, x, 2)[0], 1.0f) << x;
}

// Flow control: r0 starts at 0; each case runs `body` and reads r0.

struct FlowCase {
  const char *Name;
  Tokens Body;
  Vec4 Want;
};
void PrintTo(const FlowCase &c, std::ostream *os) { *os << c.Name; }

class FlowControl : public ::testing::TestWithParam<FlowCase> {};

TEST_P(FlowControl, Runs) {
  REQUIRE_GL();
  DrawSetup s;
  SetConst(s.PSConst, 0, {1, 0, 0, 0});
  SetConst(s.PSConst, 1, {0, 1, 0, 0});
  SetConst(s.PSConst, 2, {0, 0, 1, 0});
  SetConst(s.PSConst, 3, {-1, 2, 0.5f, 3});
  for (int k = 0; k < 8; k++) SetConst(s.PSConst, 10 + k, {float(k), 0, 0, 0});
  s.PSBool[4 * 1] = 1;          // b1 true, b0 false
  s.PSInt[4 * 0] = 3;           // i0 = (3, 0, 0, 0): three passes
  s.PSInt[4 * 1] = 4;           // i1 = (4, 2, 1, 0): aL = 2, 3, 4, 5
  s.PSInt[4 * 1 + 1] = 2;
  s.PSInt[4 * 1 + 2] = 1;
  s.PSInt[4 * 2] = 1000;        // i2: far more passes than allowed
  s.PSInt[4 * 2 + 2] = 1;
  EXPECT_TRUE(Near(RunPs(PsWith(GetParam().Body), s), GetParam().Want)) << GetParam().Name;
}

// def values reach the program bit for bit, infinities and NaN included, and override the
// constant block
TEST(Constants, DefKeepsSpecialValuesAndOverridesTheBlock) {
  REQUIRE_GL();
  DrawSetup s;
  SetConst(s.PSConst, 4, {5, 5, 5, 5});
  SetConst(s.PSConst, 5, {6, 6, 6, 6});
  Tokens ps = Ps3({Ins(DEF, 5), Dst(CONST, 4), 0x7F800000u, 0xFF800000u, 0x7FC00000u, F(0.1f),
                   Ins(DEF, 5), Dst(CONST, 6), F(1e30f), F(-3.5e-7f), F(16777216.0f), F(-0.0f),
                   Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 4),
                   Ins(MOV, 2), Dst(COLOROUT, 1), Src(CONST, 6),
                   Ins(MOV, 2), Dst(COLOROUT, 2), Src(CONST, 5)});
  s.Targets = 3;
  DrawResult r = Draw(PassVS3(), ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_TRUE(Near(PixelOf(r, 0, 0, 0), {INFINITY, -INFINITY, NAN, 0.1f}));
  EXPECT_TRUE(Near(PixelOf(r, 0, 0, 1), {1e30f, -3.5e-7f, 16777216.0f, 0.0f}));
  EXPECT_EQ(PixelOf(r, 0, 0, 1)[1], -3.5e-7f);
  EXPECT_TRUE(Near(PixelOf(r, 0, 0, 2), {6, 6, 6, 6}));
}

Tokens operator+(Tokens a, const Tokens &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const Tokens AddC0{Ins(ADD, 3), Dst(TEMP, 0), Src(TEMP, 0), Src(CONST, 0)};
const Tokens AddC1{Ins(ADD, 3), Dst(TEMP, 0), Src(TEMP, 0), Src(CONST, 1)};
const Tokens Else{Ins(ELSE, 0)}, EndIf{Ins(ENDIF, 0)}, EndRep{Ins(ENDREP, 0)};
Tokens T(std::initializer_list<uint32_t> l) { return Tokens(l); }

INSTANTIATE_TEST_SUITE_P(
    Pixel, FlowControl,
    ::testing::Values(
        FlowCase{"if_false_else", T({Ins(IF, 1), Src(CONSTBOOL, 0)}) + AddC0 + Else + AddC1 + EndIf, {0, 1, 0, 0}},
        FlowCase{"if_true", T({Ins(IF, 1), Src(CONSTBOOL, 1)}) + AddC0 + EndIf, {1, 0, 0, 0}},
        FlowCase{"if_not", T({Ins(IF, 1), Src(CONSTBOOL, 1, XYZW, NOT)}) + AddC0 + Else + AddC1 + EndIf, {0, 1, 0, 0}},
        // defb overrides the block's b1
        FlowCase{"defb", T({Ins(DEFB, 2), Dst(CONSTBOOL, 1), 0}) + T({Ins(IF, 1), Src(CONSTBOOL, 1)}) + AddC0 + EndIf, {0, 0, 0, 0}},
        FlowCase{"ifc_lt", T({Ins(IFC, 2, 4), Src(CONST, 3, XXXX), Src(CONST, 3, YYYY)}) + AddC0 + EndIf, {1, 0, 0, 0}},
        FlowCase{"ifc_ge", T({Ins(IFC, 2, 3), Src(CONST, 3, XXXX), Src(CONST, 3, YYYY)}) + AddC0 + Else + AddC1 + EndIf, {0, 1, 0, 0}},
        FlowCase{"nested_if", T({Ins(IF, 1), Src(CONSTBOOL, 1)}) + T({Ins(IF, 1), Src(CONSTBOOL, 0)}) + AddC0 + Else + AddC1 + EndIf + AddC1 + EndIf, {0, 2, 0, 0}},
        FlowCase{"rep", T({Ins(REP, 1), Src(CONSTINT, 0)}) + AddC0 + EndRep, {3, 0, 0, 0}},
        FlowCase{"defi_rep", T({Ins(DEFI, 5), Dst(CONSTINT, 0), 5, 0, 0, 0}) + T({Ins(REP, 1), Src(CONSTINT, 0)}) + AddC0 + EndRep, {5, 0, 0, 0}},
        FlowCase{"rep_capped", T({Ins(REP, 1), Src(CONSTINT, 2)}) + AddC0 + EndRep, {255, 0, 0, 0}},
        // loop aL, i1 sums c[aL + 10] = aL for aL = 2..5
        FlowCase{"loop_aL", T({Ins(LOOPOP, 2), Src(LOOP, 0), Src(CONSTINT, 1)}) + T({Ins(ADD, 4), Dst(TEMP, 0), Src(TEMP, 0), Src(CONST, 10) | RelBit, Src(LOOP, 0)}) + T({Ins(ENDLOOP, 0)}), {14, 0, 0, 0}},
        FlowCase{"break", T({Ins(REP, 1), Src(CONSTINT, 0)}) + AddC0 + T({Ins(BREAK, 0)}) + EndRep, {1, 0, 0, 0}},
        // breakc_ge r0.x, c3.y: stop once r0.x reaches 2
        FlowCase{"breakc", T({Ins(REP, 1), Src(CONSTINT, 2)}) + T({Ins(BREAKC, 2, 3), Src(TEMP, 0, XXXX), Src(CONST, 3, YYYY)}) + AddC0 + EndRep, {2, 0, 0, 0}},
        // setp_gt p0, c3, c0 -> (false, true, true, true); (p0) mov r0, c3
        FlowCase{"predicated", T({Ins(SETP, 3, 1), Dst(PREDICATE, 0), Src(CONST, 3), Src(CONST, 0)}) + T({Ins(MOV, 3) | 0x10000000u, Dst(TEMP, 0), Src(PREDICATE, 0), Src(CONST, 3)}), {0, 2, 0.5f, 3}},
        // (!p0.wzyx) with p0 = (false, true, true, true): only x written
        FlowCase{"predicated_not_swizzle", T({Ins(SETP, 3, 1), Dst(PREDICATE, 0), Src(CONST, 3), Src(CONST, 0)}) + T({Ins(MOV, 3) | 0x10000000u, Dst(TEMP, 0), Src(PREDICATE, 0, Swz(1, 1, 1, 0), NOT), Src(CONST, 3)}), {0, 0, 0, 3}},
        FlowCase{"if_predicate", T({Ins(SETP, 3, 4), Dst(PREDICATE, 0, 0x1), Src(CONST, 3), Src(CONST, 0)}) + T({Ins(IF, 1), Src(PREDICATE, 0, XXXX)}) + AddC0 + EndIf, {1, 0, 0, 0}},
        FlowCase{"breakp", T({Ins(REP, 1), Src(CONSTINT, 2)}) + AddC1 + T({Ins(SETP, 3, 2), Dst(PREDICATE, 0), Src(TEMP, 0, YYYY), Src(CONST, 3, ZZZZ)}) + T({Ins(BREAKP, 1), Src(PREDICATE, 0, XXXX)}) + T({Ins(SETP, 3, 3), Dst(PREDICATE, 0), Src(TEMP, 0, YYYY), Src(CONST, 3, WWWW)}) + T({Ins(BREAKP, 1), Src(PREDICATE, 0, XXXX)}) + EndRep, {0, 3, 0, 0}}),
    [](const ::testing::TestParamInfo<FlowCase> &i) { return std::string(i.param.Name); });

}  // namespace
