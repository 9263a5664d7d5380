// Full-screen passes and simple materials: classes 2, 6, 7 and 9 and the framework's
// simple, painter and YUV materials.
#include "model.hpp"

namespace {

using namespace cpu;
using shadercode::Code;

// position and texcoord 0 per corner, transformed by c0..c3
void QuadInputs(Rng &r, Case &c) {
  for (int k = 0; k < 4; k++) {
    c.Attr[kPos][size_t(k)] = r.V3(-1, 1, 1);
    c.Attr[Tc(0)][size_t(k)] = r.V(0, 1);
  }
}
Varyings QuadVs(const Case &c, int k, D4, D4) { return {{Tc(0), c.A(Tc(0), k)}}; }

Model ScreenPass(std::function<void(Rng &, Case &)> setup, std::function<D4(const Case &, const Varyings &)> ps) {
  Model m;
  m.Setup = [setup](Rng &r, Case &c) {
    QuadInputs(r, c);
    setup(r, c);
  };
  m.PreM = PosOnly;
  m.Vs = QuadVs;
  m.Ps = ps;
  return m;
}

constexpr uint32_t kFirstSeed = 11;

// --- class 2 -------------------------------------------------------------------------------

class Class2Render : public testing::TestWithParam<int> {};
TEST_P(Class2Render, ThreeDirectionalLights) {
  REQUIRE_GL();
  bool layers = GetParam() == 1;
  Model m;
  m.Setup = [](Rng &r, Case &c) {
    QuadInputs(r, c);
    for (int k = 0; k < 4; k++) c.Attr[kNormal][size_t(k)] = Norm3(r.V3(-1, 1, 0));
    c.VC[4] = r.V(0, 0.3);
    for (int i = 5; i <= 7; i++) c.VC[size_t(i)] = r.V(0, 1);
    // the first light shines along the first corner's normal, so its highlight shows
    c.VC[8] = Rgb(c.A(kNormal, 0), 0);
    c.VC[9] = Rgb(Norm3(r.V3(-1, 1, 0)), 0);
    c.VC[10] = Rgb(Norm3(r.V3(-1, 1, 0)), 0);
    for (int i = 0; i < 3; i++) c.PC[size_t(i)] = r.V(0, 0.5);
    for (int u = 0; u < 4; u++) c.Textures[u] = r.Texture();
  };
  m.PreM = PosOnly;
  m.Vs = [](const Case &c, int k, D4, D4) {
    D4 n = c.A(kNormal, k), D = c.VC[4], S{};
    for (int i = 0; i < 3; i++) {
      double d = std::max(Dot3(n, c.VC[size_t(8 + i)]), 0.0);
      D = D + c.VC[size_t(5 + i)] * d;
      S = S + c.VC[size_t(5 + i)] * std::max(9 * d - 8, 0.0);
    }
    return Varyings{{kColor0, D}, {kColor1, S * 0.3}, {Tc(0), c.A(Tc(0), k)}};
  };
  m.Ps = [layers](const Case &c, const Varyings &v) {
    D4 t = v.at(Tc(0));
    D4 out = c.T(0, t) * v.at(kColor0) + v.at(kColor1);
    if (layers) out = out + c.T(1, t) * c.PC[0] + c.T(2, t) * c.PC[1] + c.T(3, t) * c.PC[2];
    return out;
  };
  CHECK_PAIR(m, shadercode::Material2VS[0], shadercode::Material2PS[GetParam()]);
}
INSTANTIATE_TEST_SUITE_P(Variants, Class2Render, testing::Values(0, 1));

// --- class 6 -------------------------------------------------------------------------------

class Class6Render : public testing::TestWithParam<int> {};
TEST_P(Class6Render, Particles) {
  REQUIRE_GL();
  int variant = GetParam();
  bool dist = variant == 1, depth = variant == 2 || variant == 4, soft = variant == 4;
  Model m;
  m.Setup = [](Rng &r, Case &c) {
    QuadInputs(r, c);
    for (int k = 0; k < 4; k++) {
      c.Attr[kColor0][size_t(k)] = r.V(0, 1);
      c.Attr[Tc(1)][size_t(k)] = r.V(-0.3, 0.3);
    }
    c.VC[4] = {r.U(0.5, 1.5), r.U(0.5, 1.5), r.U(0.1, 0.5), r.U(1.2, 2.0)};
    c.VC[5] = Rgb(r.V(-0.5, 0.5), 1);
    c.VC[6] = {r.U(0.5, 2.0), r.U(-0.2, 0.2), 0, 0};
    c.PC[0] = r.V(0, 1);
    c.Textures[0] = r.Texture();
    // the screen coordinate meets the pixel centres at quarters: a size of 7 keeps them
    // away from texel edges
    c.Textures[1] = r.Texture(7, 7);
  };
  m.PreM = [](const Case &c, int k, D4 &off) {
    D4 t1 = c.A(Tc(1), k);
    off = {t1.x * c.VC[4].x, t1.y * c.VC[4].y, 0, 0};
    return c.A(kPos, k);
  };
  m.Vs = [=](const Case &c, int k, D4 clip, D4 off) {
    D4 q = clip - off, col = c.A(kColor0, k);
    Varyings v{{Tc(0), c.A(Tc(0), k)}};
    if (dist) {
      double f = Sat((Len3(c.A(kPos, k) - c.VC[5]) - c.VC[4].z) / (c.VC[4].w - c.VC[4].z));
      col = col * (1 - f);
    } else if (depth) {
      col = {col.x, col.y, 1 - (q.z - c.VC[6].y) / c.VC[6].x, 1};
    }
    v[kColor0] = col;
    if (soft) v[Tc(1)] = {clip.x / q.w * 0.5 + 0.5, 1 - (clip.y / q.w * 0.5 + 0.5), 0, 1};
    return v;
  };
  m.Ps = [=](const Case &c, const Varyings &v) {
    D4 T = c.T(0, v.at(Tc(0))), V = v.at(kColor0);
    if (variant == 4) {
      double a = Sat((V.z - c.T(1, v.at(Tc(1))).z) * 10) * T.w;
      return D4{0, 0, a * 0.04, 0};
    }
    D4 out = T * V * c.PC[0];
    if (variant == 2) out.z = V.z;
    return out;
  };
  CHECK_PAIR(m, shadercode::Material6VS[variant], shadercode::Material6PS[variant]);
}
INSTANTIATE_TEST_SUITE_P(Variants, Class6Render, testing::Values(0, 1, 2, 4));

// --- class 7 -------------------------------------------------------------------------------

D4 ToHsv(D4 c) {
  double M = std::max({c.x, c.y, c.z}), mn = std::min({c.x, c.y, c.z}), d = M - mn, h = 0;
  if (d > 0) {
    if (M == c.x) h = std::fmod((c.y - c.z) / d + 6.0, 6.0);
    else if (M == c.y) h = (c.z - c.x) / d + 2;
    else h = (c.x - c.y) / d + 4;
  }
  return {h, M > 0 ? d / M : 0, M, c.w};
}
D4 FromHsv(D4 h) {
  double C = h.z * h.y, hh = h.x, X = C * (1 - std::fabs(std::fmod(hh, 2.0) - 1)), m = h.z - C;
  double r, g, b;
  int s = int(std::floor(hh)) % 6;
  switch (s) {
    case 0: r = C, g = X, b = 0; break;
    case 1: r = X, g = C, b = 0; break;
    case 2: r = 0, g = C, b = X; break;
    case 3: r = 0, g = X, b = C; break;
    case 4: r = X, g = 0, b = C; break;
    default: r = C, g = 0, b = X; break;
  }
  return {r + m, g + m, b + m, h.w};
}
double Wrap6(double h) { return h - 6.0 * std::floor(h / 6.0); }

class Class7Render : public testing::TestWithParam<int> {};
TEST_P(Class7Render, ColourGrading) {
  REQUIRE_GL();
  int i = GetParam();
  bool additive = i & 1, hue = i & 2, colorize = (i & 4) && hue, texAlpha = (i & 8) && !additive;
  Model m = ScreenPass(
      [](Rng &r, Case &c) {
        double sat = r.U(0, 2);
        c.PC[0] = r.V(0.2, 1);
        c.PC[1] = Splat(r.U(-0.2, 0.2));
        c.PC[2] = Splat(r.U(0.5, 2));
        c.PC[3] = Splat(sat);
        c.PC[4] = Splat(1 - sat);
        c.PC[5] = {r.U(0.5, 2), r.U(-0.2, 0.5), r.U(0, 1), r.U(-8, 8)};
        c.Textures[0] = r.Texture();
      },
      [=](const Case &c, const Varyings &v) {
        D4 T = c.T(0, v.at(Tc(0)));
        if (hue) {
          D4 h = ToHsv(T);
          h.x = Wrap6(colorize ? c.PC[5].w : h.x + c.PC[5].w);
          T = FromHsv(h);
        }
        double l = 0.3 * T.x + 0.6 * T.y + 0.1 * T.z;
        D4 graded = Sat((T * c.PC[3] + c.PC[4] * l) * c.PC[2] - c.PC[1]) * c.PC[0];
        double a = ((texAlpha ? T.w : l) - c.PC[5].y) * c.PC[5].x + c.PC[5].z;
        if (additive) return graded * Sat(a);
        return Rgb(graded, a);
      });
  m.Sm2 = false;
  CHECK_PAIR(m, shadercode::Material7VS[0], shadercode::Material7PS[i]);
}
INSTANTIATE_TEST_SUITE_P(Variants, Class7Render, testing::Range(0, 16));

// --- class 9 -------------------------------------------------------------------------------

TEST(ScreenPassRender, Class9DirectionalBlur) {
  REQUIRE_GL();
  const double w[13] = {0.1, 0.3, 0.5, 0.65, 0.75, 0.85, 0.9, 0.85, 0.75, 0.65, 0.5, 0.3, 0.1};
  Model m = ScreenPass(
      [](Rng &r, Case &c) {
        c.PC[0] = r.V(0, 1);
        c.PC[1] = {r.U(-0.05, 0.05), r.U(-0.05, 0.05), r.U(0, 8), r.U(0, 8)};
        c.Textures[0] = r.Texture(16, 16);
      },
      [&w](const Case &c, const Varyings &v) {
        D4 t = v.at(Tc(0)), step = c.PC[1], sum{};
        D4 start{t.x - step.x * step.z, t.y - step.y * step.w, 0, 0};
        for (int k = 0; k < 13; k++) sum = sum + c.T(0, D4{start.x + k * step.x, start.y + k * step.y, 0, 0}) * w[k];
        return sum * c.PC[0] * 0.136054;
      });
  CHECK_PAIR(m, shadercode::Material9VS[0], shadercode::Material9PS[0]);
}

// --- framework materials -------------------------------------------------------------------

struct SimplePair {
  int Vs, Ps;
};
void PrintTo(const SimplePair &p, std::ostream *os) { *os << "vs " << p.Vs << " ps " << p.Ps; }
class SimpleRender : public testing::TestWithParam<SimplePair> {};
TEST_P(SimpleRender, SimpleMaterial) {
  REQUIRE_GL();
  SimplePair p = GetParam();
  bool color = p.Vs & 1, tex0 = p.Vs & 2, tex1 = p.Vs & 4, lit = p.Vs & 8;
  Model m;
  m.Setup = [](Rng &r, Case &c) {
    QuadInputs(r, c);
    for (int k = 0; k < 4; k++) {
      c.Attr[kColor0][size_t(k)] = r.V(0, 1);
      c.Attr[Tc(1)][size_t(k)] = r.V(0, 1);
      c.Attr[kNormal][size_t(k)] = r.V3(-2, 2, 0);
    }
    for (int i = 12; i <= 14; i++) c.VC[size_t(i)] = r.V(-1, 1);
    for (int i = 15; i <= 19; i++) c.VC[size_t(i)] = r.V(0, 0.5);
    c.Textures[0] = r.Texture();
    c.Textures[1] = r.Texture();
  };
  m.PreM = PosW1;
  m.Vs = [=](const Case &c, int k, D4, D4) {
    Varyings v;
    D4 col = color ? c.A(kColor0, k) : Splat(1);
    if (lit) {
      D4 n = Norm3(c.A(kNormal, k));
      D4 d = Max(c.VC[12] * n.x + c.VC[13] * n.y + c.VC[14] * n.z, 0.0);
      D4 l = c.VC[15] + c.VC[16] * d.x + c.VC[17] * d.y + c.VC[18] * d.z + c.VC[19] * d.w;
      col = color ? l * c.A(kColor0, k) : l;
    }
    v[kColor0] = col;
    if (tex0) v[Tc(0)] = c.A(Tc(0), k);
    if (tex1) v[Tc(1)] = c.A(Tc(1), k);
    return v;
  };
  m.Ps = [=](const Case &c, const Varyings &v) {
    D4 V = v.at(kColor0);
    if (p.Ps == 0) return V;
    D4 out = c.T(0, v.at(Tc(0))) * V;
    if (p.Ps == 3) out = out * c.T(1, v.at(Tc(1)));
    if (p.Ps == 5) out = out + c.T(1, v.at(Tc(1)));
    return out;
  };
  CHECK_PAIR(m, shadercode::SimpleVS[p.Vs], shadercode::SimplePS[p.Ps]);
}
std::vector<SimplePair> SimplePairs() {
  std::vector<SimplePair> out;
  for (int v = 0; v < 16; v++) {
    if (!shadercode::SimpleVS[v].Data) continue;
    for (int p : {0, 1, 3, 5})
      if ((p == 0 || (v & 2)) && (p < 3 || (v & 4))) out.push_back({v, p});
  }
  return out;
}
INSTANTIATE_TEST_SUITE_P(Variants, SimpleRender, testing::ValuesIn(SimplePairs()),
                         [](const testing::TestParamInfo<SimplePair> &i) {
                           return "vs" + std::to_string(i.param.Vs) + "_ps" + std::to_string(i.param.Ps);
                         });

TEST(FrameworkRender, PainterLooksUpTheCubeByTheNormal) {
  REQUIRE_GL();
  Model m;
  m.Setup = [](Rng &r, Case &c) {
    for (int k = 0; k < 4; k++) {
      c.Attr[kPos][size_t(k)] = r.V3(-1, 1, 1);
      c.Attr[kNormal][size_t(k)] = r.V3(-1, 1, 0);
    }
    Tex cube;
    cube.Cube = true;
    cube.W = cube.H = 1;
    for (int f = 0; f < 6; f++) cube.Texels.push_back(r.V(0, 1));
    c.Textures[0] = cube;
  };
  m.PreM = PosW1;
  m.Vs = [](const Case &c, int k, D4, D4) { return Varyings{{Tc(0), c.A(kNormal, k)}}; };
  m.Ps = [](const Case &c, const Varyings &v) { return c.T(0, v.at(Tc(0))); };
  CHECK_PAIR(m, shadercode::PainterVS[0], shadercode::PainterPS[0]);
}

class YuvRender : public testing::TestWithParam<int> {};
TEST_P(YuvRender, PlanesToRgb) {
  REQUIRE_GL();
  int vi = GetParam() & 1, pi = GetParam() >> 1;
  Model m;
  m.Setup = [](Rng &r, Case &c) {
    QuadInputs(r, c);
    for (int k = 0; k < 4; k++) c.Attr[kColor0][size_t(k)] = r.V(0, 1);
    for (int u = 0; u < 4; u++) c.Textures[u] = r.Texture();
  };
  m.PreM = PosW1;
  m.Vs = [vi](const Case &c, int k, D4, D4) {
    return Varyings{{Tc(0), c.A(Tc(0), k)}, {kColor0, vi ? c.A(kColor0, k) : Splat(1)}};
  };
  m.Ps = [pi](const Case &c, const Varyings &v) {
    D4 t = v.at(Tc(0));
    double y = (c.T(0, t).x - 0.0625) * 1.1686275, u = c.T(1, t).x - 0.5, w = c.T(2, t).x - 0.5;
    D4 rgb{Sat(y + 1.6039215 * w), Sat(y - 0.39215687 * u - 0.81568629 * w), Sat(y + 2.0235295 * u), 1};
    if (pi) rgb.w *= c.T(3, t).w;
    return rgb * v.at(kColor0);
  };
  CHECK_PAIR(m, shadercode::YuvVS[vi], shadercode::YuvPS[pi]);
}

// video black (Y = 16/256, U = V = 0.5) and video white (Y = 235/256) with white vertices
TEST(FrameworkRender, YuvBlackAndWhiteLevels) {
  REQUIRE_GL();
  for (double y : {16.0 / 256, 235.0 / 256}) {
    shtest::DrawSetup setup;
    for (int r = 0; r < 4; r++) setup.VSConst[size_t(r * 5)] = 1.0f;  // c0..c3 = identity
    setup.Attributes.push_back({{0, 0}, {-2, 2, 0.5f, 1, 2, 2, 0.5f, 1, -2, -2, 0.5f, 1, 2, -2, 0.5f, 1}});
    setup.Attributes.push_back({{5, 0}, {0, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1}});
    float plane[3] = {float(y), 0.5f, 0.5f};
    for (int u = 0; u < 3; u++) setup.Textures.push_back({shtest::Texture::Tex2D, u, 1, 1, 1, {plane[u], 0, 0, 1}});
    shtest::DrawResult r = shtest::Draw(Words(shadercode::YuvVS[0]), Words(shadercode::YuvPS[0]), setup);
    ASSERT_TRUE(r.Ok) << r.Error;
    double want = y < 0.5 ? 0.0 : 1.0;
    for (int k = 0; k < 3; k++) EXPECT_NEAR(r.Pixel(1, 1)[k], want, 0.001) << "Y " << y;
    EXPECT_FLOAT_EQ(r.Pixel(1, 1)[3], 1.0f);
  }
}
INSTANTIATE_TEST_SUITE_P(Variants, YuvRender, testing::Range(0, 4));

}  // namespace
