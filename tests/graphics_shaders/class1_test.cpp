// The general material (class 1): every distinct pair of programs the options can select.
#include <set>

#include "model.hpp"

namespace {

using namespace cpu;

struct Options {
  int Bits;  // options 0..8 in bits 0..8, Texture[1] set in bit 9
  int O(int i) const { return (Bits >> i) & 1; }
  int TexMode() const { return !((Bits >> 9) & 1) ? 0 : (O(5) ? 2 : 1); }
  int VsIndex() const { return TexMode() + 4 * O(2) + 8 * O(3) + 16 * O(6); }
  int PsIndex() const {
    int tm = TexMode();
    return O(0) + 2 * O(1) + (tm == 1 ? 4 : tm == 2 ? 8 : 0) + 16 * O(2) + 32 * O(4) + 64 * O(7) + 128 * O(8);
  }
};

Model Class1(Options opt) {
  Model m;
  m.Setup = [](Rng &r, Case &c) {
    for (int k = 0; k < 4; k++) {
      c.Attr[kPos][size_t(k)] = r.V3(-1, 1, 1);
      c.Attr[Tc(0)][size_t(k)] = r.V(0, 1);
      c.Attr[Tc(1)][size_t(k)] = r.V(0, 1);
      c.Attr[kColor0][size_t(k)] = r.V(0, 1);
    }
    c.VC[4] = r.V(0, 1);                              // Color
    c.VC[5] = {r.U(0.3, 0.7), r.U(0.5, 1.0), r.U(0.8, 1.0), 0};  // FadeCenter, FadeRange, FadeMax
    c.VC[6] = {r.U(-0.2, 0.2), r.U(-0.2, 0.2), 5, 7};  // UvOffset (z, w must not be added)
    c.PC[0] = r.V(0, 0.6);                            // ContrastColor
    c.Textures[0] = r.Texture();
    c.Textures[1] = r.Texture();
  };
  m.PreM = PosOnly;
  m.Vs = [opt](const Case &c, int k, D4 clip, D4) {
    Varyings v;
    D4 color = c.VC[4];
    if (opt.O(2)) {
      double f = c.VC[5].z - std::fabs(clip.z - c.VC[5].x) / c.VC[5].y;
      color = Rgb(c.VC[4] * f, c.VC[4].w);
    } else if (opt.O(3)) {
      color = c.A(kColor0, k) * c.VC[4];
    }
    v[kColor0] = color;
    D4 t0 = c.A(Tc(0), k);
    if (opt.O(6)) t0.x += c.VC[6].x, t0.y += c.VC[6].y;
    v[Tc(0)] = t0;
    if (opt.TexMode()) v[Tc(1)] = c.A(Tc(1), k);
    return v;
  };
  m.Ps = [opt](const Case &c, const Varyings &v) {
    int tm = opt.TexMode();
    bool afc = opt.O(0), inv = opt.O(1), df = opt.O(2), dbl = opt.O(4), con = opt.O(7), luma = opt.O(8);
    D4 V = v.at(kColor0);
    D4 t0 = c.T(0, v.at(Tc(0)));
    D4 T = t0;
    if (tm == 1) T = t0 * c.T(1, v.at(Tc(1)));
    if (tm == 2) {
      D4 t1 = c.T(1, v.at(Tc(1)));
      T = Rgb(t0 * t1, t1.w);
    }
    if (tm == 0 && con) T = Min(T * (2.0 * c.PC[0] + Splat(1)) - c.PC[0], 1.0);
    D4 Q = afc ? Rgb(T * V, V.w) : T * V;
    if (tm == 0 && !con && luma) {
      double f = 0.6 * (0.3 * Q.x + 0.5 * Q.y + 0.2 * Q.z) + 0.4;
      Q = afc ? Rgb(Q * f, Q.w) : Q * f;
    }
    if (dbl) Q = Rgb(Q * 2.0, Q.w);
    if (df) Q = Rgb(V * (dbl ? 2.0 : 1.0), Q.w);
    if (inv) Q.w = 1 - Q.w;
    return Q;
  };
  return m;
}

// one set of options for every distinct pair of programs
std::vector<int> DistinctSelections() {
  std::vector<int> out;
  std::set<std::pair<const void *, const void *>> seen;
  for (int bits = 0; bits < 1024; bits++) {
    Options o{bits};
    auto key = std::make_pair(static_cast<const void *>(shadercode::Material1VS[o.VsIndex()].Data),
                              static_cast<const void *>(shadercode::Material1PS[o.PsIndex()].Data));
    if (seen.insert(key).second) out.push_back(bits);
  }
  return out;
}

class Class1Render : public testing::TestWithParam<int> {};

TEST_P(Class1Render, MatchesTheFormula) {
  REQUIRE_GL();
  Options o{GetParam()};
  for (uint32_t seed : {1u, 2u})
    EXPECT_TRUE(Check(Class1(o), shadercode::Material1VS[o.VsIndex()], shadercode::Material1PS[o.PsIndex()],
                      seed * 1000 + uint32_t(o.Bits)))
        << "vertex " << o.VsIndex() << " pixel " << o.PsIndex();
}

INSTANTIATE_TEST_SUITE_P(Options, Class1Render, testing::ValuesIn(DistinctSelections()),
                         [](const testing::TestParamInfo<int> &i) { return "bits" + std::to_string(i.param); });

}  // namespace
