// Every arithmetic instruction run on the GPU over several inputs and compared with its
// definition. The pixel program reads a, b, c from c0, c1, c2 (and matrix rows from c4..c7)
// and writes the result from r0 to a float target.

#include <cmath>
#include <functional>

#include "common.hpp"

using namespace shtest;

namespace {

struct Inputs {
  Vec4 A, B, C;
};

const Inputs InputSets[] = {
    {{0.5f, -1.25f, 2.0f, 3.0f}, {1.5f, 0.25f, -4.0f, 0.125f}, {-0.75f, 2.5f, 0.3f, -1.0f}},
    {{-3.0f, 0.0f, 0.75f, -0.2f}, {2.0f, -2.0f, 1.0f, 8.0f}, {0.0f, 1.0f, -1.0f, 0.5f}},
    {{10.0f, -0.001f, 1.0f, -7.5f}, {0.1f, 100.0f, -0.5f, 2.0f}, {4.0f, -4.0f, 16.0f, -16.0f}},
    {{0.3f, 0.6f, -0.9f, 1.2f}, {0.3f, -0.6f, 0.9f, 1.2f}, {-2.0f, 0.25f, 5.0f, 0.0f}},
};

// matrix rows in c4..c7
const Vec4 Rows[4] = {{1, 2, 3, 4}, {-1, 0.5f, 0, 2}, {0.25f, -3, 1, 0}, {2, 2, -2, 1}};

using Ref = std::function<Vec4(const Vec4 &, const Vec4 &, const Vec4 &)>;

struct OpCase {
  const char *Name;
  Tokens Body;
  Ref Expect;
  uint32_t Version = PS3;
};

Vec4 All(float v) { return {v, v, v, v}; }
float Dot3(const Vec4 &a, const Vec4 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
float Dot4(const Vec4 &a, const Vec4 &b) { return Dot3(a, b) + a[3] * b[3]; }
// f applied component by component
template <class F> Vec4 Each(const Vec4 &a, const Vec4 &b, const Vec4 &c, F f) {
  Vec4 r;
  for (size_t i = 0; i < 4; i++) r[i] = f(a[i], b[i], c[i]);
  return r;
}
// an expectation from the per-component formula of its inputs
#define PER(expr) [](auto &a_, auto &b_, auto &c_) { return Each(a_, b_, c_, [](float a, float b, float c) { (void)b, (void)c; return expr; }); }
#define WHOLE(expr) [](auto &a, auto &b, auto &c) { (void)a, (void)b, (void)c; return expr; }

// two-source instruction r0 = op(c0, c1)
Tokens Two(uint32_t op, uint32_t mask = 0xF) {
  return {Ins(op, 3), Dst(TEMP, 0, mask), Src(CONST, 0), Src(CONST, 1)};
}
Tokens One(uint32_t op, uint32_t swz = XYZW, uint32_t mask = 0xF) {
  return {Ins(op, 2), Dst(TEMP, 0, mask), Src(CONST, 0, swz)};
}
Tokens Three(uint32_t op) { return {Ins(op, 4), Dst(TEMP, 0), Src(CONST, 0), Src(CONST, 1), Src(CONST, 2)}; }
// a destination mask leaves the untouched components at c3's value (r0 preset from c3)
Tokens Masked(const Tokens &body) {
  Tokens t{Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 3)};
  t.insert(t.end(), body.begin(), body.end());
  return t;
}
const Vec4 Preset = {-9.0f, -9.0f, -9.0f, -9.0f};
Vec4 Keep(const Vec4 &v, uint32_t mask) {
  Vec4 r = Preset;
  for (int i = 0; i < 4; i++)
    if (mask & (1u << i)) r[size_t(i)] = v[size_t(i)];
  return r;
}

float D3dRcp(float x) { return x == 0.0f ? INFINITY : 1.0f / x; }
float D3dRsq(float x) { return x == 0.0f ? INFINITY : 1.0f / std::sqrt(std::fabs(x)); }
float D3dLog(float x) { return x == 0.0f ? -INFINITY : std::log2(std::fabs(x)); }

std::vector<OpCase> Cases() {
  std::vector<OpCase> c = {
      {"mov", One(MOV), PER(a)},
      {"add", Two(ADD), PER(a + b)},
      {"sub", Two(SUB), PER(a - b)},
      {"mul", Two(MUL), PER(a * b)},
      {"mad", Three(MAD), PER(a * b + c)},
      {"dp2add", {Ins(DP2ADD, 4), Dst(TEMP, 0), Src(CONST, 0), Src(CONST, 1), Src(CONST, 2, ZZZZ)},
       WHOLE(All(a[0] * b[0] + a[1] * b[1] + c[2]))},
      {"dp3", Two(DP3), WHOLE(All(Dot3(a, b)))},
      {"dp4", Two(DP4), WHOLE(All(Dot4(a, b)))},
      {"rcp", One(RCP, XXXX), WHOLE(All(D3dRcp(a[0])))},
      {"rcp.y", One(RCP, YYYY), WHOLE(All(D3dRcp(a[1])))},
      {"rsq", One(RSQ, ZZZZ), WHOLE(All(D3dRsq(a[2])))},
      {"rsq.y", One(RSQ, YYYY), WHOLE(All(D3dRsq(a[1])))},
      {"min", Two(MIN), PER(std::min(a, b))},
      {"max", Two(MAX), PER(std::max(a, b))},
      {"slt", Two(SLT), PER(a < b ? 1.0f : 0.0f)},
      {"sge", Two(SGE), PER(a >= b ? 1.0f : 0.0f)},
      {"frc", One(FRC), PER(a - std::floor(a))},
      {"exp", One(EXP, XXXX), WHOLE(All(std::exp2(a[0])))},
      {"expp", One(EXPP, WWWW), WHOLE(All(std::exp2(a[3])))},
      {"log", One(LOG, XXXX), WHOLE(All(D3dLog(a[0])))},
      {"log.y", One(LOG, YYYY), WHOLE(All(D3dLog(a[1])))},
      {"logp", One(LOGP, ZZZZ), WHOLE(All(D3dLog(a[2])))},
      {"pow", {Ins(POW, 3), Dst(TEMP, 0), Src(CONST, 0, XXXX), Src(CONST, 1, WWWW)},
       WHOLE(All(std::pow(std::fabs(a[0]), b[3])))},
      {"abs", One(ABS), PER(std::fabs(a))},
      {"nrm", One(NRM), [](auto &a, auto &, auto &) {
         float k = 1.0f / std::sqrt(Dot3(a, a));
         return Vec4{a[0] * k, a[1] * k, a[2] * k, a[3] * k}; }},
      {"crs", Masked(Two(CRS, 0x7)),
       WHOLE(Keep({a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0}, 0x7))},
      {"sincos", Masked(One(SINCOS, YYYY, 0x3)), WHOLE(Keep({std::cos(a[1]), std::sin(a[1]), 0, 0}, 0x3))},
      {"sincos.x", Masked(One(SINCOS, XXXX, 0x1)), WHOLE(Keep({std::cos(a[0]), 0, 0, 0}, 0x1))},
      {"sincos.y", Masked(One(SINCOS, WWWW, 0x2)), WHOLE(Keep({0, std::sin(a[3]), 0, 0}, 0x2))},
      {"lrp", Three(LRP), PER(a * b + (1.0f - a) * c)},
      {"cmp", Three(CMP), PER(a >= 0.0f ? b : c)},
  };
  auto matrix = [](int rows, bool four) {
    return [rows, four](const Vec4 &a, const Vec4 &, const Vec4 &) {
      Vec4 r = Preset;
      for (int k = 0; k < rows; k++) r[size_t(k)] = four ? Dot4(a, Rows[k]) : Dot3(a, Rows[k]);
      return r;
    };
  };
  auto mat = [](uint32_t op, uint32_t mask) {
    return Masked({Ins(op, 3), Dst(TEMP, 0, mask), Src(CONST, 0), Src(CONST, 4)});
  };
  c.push_back({"m4x4", mat(M4x4, 0xF), matrix(4, true)});
  c.push_back({"m4x3", mat(M4x3, 0x7), matrix(3, true)});
  c.push_back({"m3x4", mat(M3x4, 0xF), matrix(4, false)});
  c.push_back({"m3x3", mat(M3x3, 0x7), matrix(3, false)});
  c.push_back({"m3x2", mat(M3x2, 0x3), matrix(2, false)});
  // modifiers
  c.push_back({"neg", {Ins(ADD, 3), Dst(TEMP, 0), Src(CONST, 0, XYZW, NEG), Src(CONST, 1)}, PER(b - a)});
  c.push_back({"abs_mod", {Ins(ADD, 3), Dst(TEMP, 0), Src(CONST, 0, XYZW, ABSMOD), Src(CONST, 1)}, PER(std::fabs(a) + b)});
  c.push_back({"absneg_mod", {Ins(MUL, 3), Dst(TEMP, 0), Src(CONST, 0), Src(CONST, 1, Swz(3, 2, 1, 0), ABSNEG)},
               WHOLE((Vec4{a[0] * -std::fabs(b[3]), a[1] * -std::fabs(b[2]), a[2] * -std::fabs(b[1]), a[3] * -std::fabs(b[0])}))});
  c.push_back({"sat", {Ins(ADD, 3), Dst(TEMP, 0, 0xF, SAT), Src(CONST, 0), Src(CONST, 1)}, PER(std::clamp(a + b, 0.0f, 1.0f))});
  c.push_back({"pp", {Ins(MUL, 3), Dst(TEMP, 0, 0xF, PP), Src(CONST, 0), Src(CONST, 1)}, PER(a * b)});
  c.push_back({"swizzle", One(MOV, Swz(2, 0, 3, 1)), WHOLE((Vec4{a[2], a[0], a[3], a[1]}))});
  c.push_back({"mask.xz", Masked(Two(ADD, 0x5)), WHOLE(Keep({a[0] + b[0], 0, a[2] + b[2], 0}, 0x5))});
  c.push_back({"mask.w_sat_swizzle", Masked({Ins(MOV, 2), Dst(TEMP, 0, 0x8, SAT), Src(CONST, 0, XXXX, NEG)}),
               WHOLE(Keep(All(std::clamp(-a[0], 0.0f, 1.0f)), 0x8))});
  // the same instructions in shader model 2.0 (sincos takes two extra registers there)
  c.push_back({"sincos_2_0", Masked({Ins(SINCOS, 4), Dst(TEMP, 0, 0x3), Src(CONST, 0, ZZZZ), Src(CONST, 8), Src(CONST, 9)}),
               WHOLE(Keep({std::cos(a[2]), std::sin(a[2]), 0, 0}, 0x3)), PS2});
  c.push_back({"lrp_2_0", Three(LRP), PER(a * b + (1.0f - a) * c), PS2});
  return c;
}
#undef PER
#undef WHOLE

struct Param {
  OpCase Op;
  int Set;
};
void PrintTo(const Param &p, std::ostream *os) { *os << p.Op.Name << " set " << p.Set; }

class Instruction : public ::testing::TestWithParam<Param> {};

TEST_P(Instruction, MatchesDefinition) {
  REQUIRE_GL();
  const Param &p = GetParam();
  const Inputs &in = InputSets[p.Set];
  DrawSetup s;
  SetConst(s.PSConst, 0, in.A);
  SetConst(s.PSConst, 1, in.B);
  SetConst(s.PSConst, 2, in.C);
  SetConst(s.PSConst, 3, Preset);
  for (int k = 0; k < 4; k++) SetConst(s.PSConst, 4 + k, Rows[k]);
  Tokens ps{p.Op.Version};
  ps.insert(ps.end(), p.Op.Body.begin(), p.Op.Body.end());
  Add(ps, {Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0), END});
  // a 2.0 pixel program clamps its colour output to 0..1: the expectation gets the same clamp
  DrawResult r = Draw(p.Op.Version == PS2 ? PassVS2() : PassVS3(), ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  Vec4 want = p.Op.Expect(in.A, in.B, in.C);
  if (p.Op.Version == PS2)
    for (float &w : want) w = std::isnan(w) ? w : std::clamp(w, 0.0f, 1.0f);
  EXPECT_TRUE(Near(PixelOf(r), want)) << p.Op.Name << "\n" << r.PSText;
}

std::vector<Param> AllParams() {
  std::vector<Param> v;
  for (const OpCase &c : Cases())
    for (int s = 0; s < int(std::size(InputSets)); s++) v.push_back({c, s});
  return v;
}

std::string ParamName(const ::testing::TestParamInfo<Param> &info) {
  std::string n = info.param.Op.Name;
  for (char &ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n + "_" + std::to_string(info.param.Set);
}

INSTANTIATE_TEST_SUITE_P(Ops, Instruction, ::testing::ValuesIn(AllParams()), ParamName);

}  // namespace
