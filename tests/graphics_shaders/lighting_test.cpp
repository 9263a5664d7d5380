// Lit materials: classes 3, 8 and 13 (per pixel) and the vertex-stage geometry of class 4.
#include <set>

#include "model.hpp"

namespace {

using namespace cpu;

constexpr uint32_t kFirstSeed = 21;

D4 Rows(const Case &c, int first, D4 p) {
  return c.VC[size_t(first)] * p.x + c.VC[size_t(first + 1)] * p.y + c.VC[size_t(first + 2)] * p.z +
         c.VC[size_t(first + 3)] * p.w;
}

// a shadow matrix whose projected depth stays near 0.45 (w near 1), and depth maps that
// store values around that depth, so that both the soft band and the full shadow occur
void ShadowMatrix(Rng &r, Case &c, int first) {
  for (int i = 0; i < 4; i++) {
    D4 row = r.V(-0.6, 0.6);
    row.z = i == 3 ? 0.45 : 0.0;
    row.w = i == 3 ? 1.0 : r.U(-0.002, 0.002);
    c.VC[size_t(first + i)] = row;
  }
}
Tex DepthMaps(Rng &r, double scale, double offset) {
  double depth = 1 - (0.45 - offset) / scale;
  Tex t = r.Texture(5, 5);
  for (D4 &x : t.Texels) x = {depth + r.U(0, 0.0075), depth + r.U(0, 0.0075), depth + r.U(0, 0.0075), x.w};
  return t;
}

// the shadow factor of one light: channel `ch` of the depth maps at the projected coordinate
double ShadowFactor(const Case &c, int unit, D4 sp, int ch, double scale, double offset) {
  D4 proj{sp.x / sp.w, sp.y / sp.w, sp.z / sp.w, 0};
  double s = c.T(unit, D4{proj.x * 0.5 + 0.5, -proj.y * 0.5 + 0.5, 0, 0})[ch];
  double depth = 1 - (proj.z - offset) / scale;
  double x = std::max((s - 0.003 - depth) * 200, 0.0);
  return x >= 0.7 ? 0.3 : 1 - x;
}

double Highlight(double rl, double scale, double offset) {
  return std::max((rl >= 0 ? rl * scale : 0.0) - offset, 0.0);
}

// --- class 3 -------------------------------------------------------------------------------

struct Class3Sel {
  int Bits;  // env, refl, atten, t1, t2, t3
  int B(int i) const { return (Bits >> i) & 1; }
  int Vs() const { return B(0) + 2 * B(1) + 4 * (B(3) && !B(4) && !B(5)); }
  int Ps() const {
    int base = (B(3) && B(4) && B(5)) ? 2 : B(1) ? 1 : (B(3) && !B(4) && !B(5)) ? 8 : 0;
    return base + 4 * B(2);
  }
};

Model Class3(Class3Sel sel) {
  bool env = sel.B(0), refl = sel.Ps() % 4 == 1, layer = sel.Ps() % 4 == 2, shadow = sel.Ps() >= 8;
  bool atten = sel.B(2);
  bool vsRefl = sel.B(1), vsShadow = sel.Vs() >= 4 && !vsRefl;
  Model m;
  m.Sm2 = false;
  m.Setup = [](Rng &r, Case &c) {
    for (int k = 0; k < 4; k++) {
      c.Attr[kPos][size_t(k)] = r.V3(-1, 1, 1);
      c.Attr[kNormal][size_t(k)] = Rgb(Norm3(r.V3(-1, 1, 0)), 0);
      c.Attr[Tc(0)][size_t(k)] = r.V(0, 1);
    }
    for (int i = 4; i <= 6; i++) c.VC[size_t(i)] = Rgb(r.V(-1, 1), 0);
    c.VC[7] = {r.U(-0.3, 0.3), r.U(-0.3, 0.3), 0, 1};  // the placement's translation row
    for (int s = 0; s < 3; s++) ShadowMatrix(r, c, 8 + 4 * s);
    c.VC[20] = r.V(-0.2, 0.2);
    c.PC[0] = r.V(0, 0.3);
    for (int i = 1; i <= 3; i++) c.PC[size_t(i)] = r.V(0, 1);
    for (int i = 4; i <= 6; i++) c.PC[size_t(i)] = Rgb(r.V(-2.5, 2.5), 0);
    for (int i = 7; i <= 9; i++) c.PC[size_t(i)] = r.V(0, 0.5);
    c.PC[10] = {r.U(-0.5, 0.5), r.U(-0.5, 0.5), -3, 1};
    c.PC[11] = {r.U(2, 6), r.U(0, 2), 0, 0};
    c.PC[12] = r.V(0, 1);
    c.PC[13] = {r.U(1.5, 2.5), r.U(3.5, 4.5), 0, r.U(0.05, 0.3)};
    c.PC[14] = {r.U(0.8, 1.2), r.U(-0.1, 0.1), 0, 0};
    for (int u = 0; u < 4; u++) c.Textures[u] = r.Texture(5, 5);
    if (c.Textures.count(1)) c.Textures[1] = DepthMaps(r, c.PC[14].x, c.PC[14].y);
  };
  m.PreM = PosOnly;
  m.Vs = [=](const Case &c, int k, D4, D4) {
    D4 P = c.A(kPos, k), N = c.A(kNormal, k);
    // the normal by all four placement rows, its w taken as 1
    D4 e = c.VC[4] * N.x + c.VC[5] * N.y + c.VC[6] * N.z + c.VC[7];
    D4 envc{e.x * 0.5 + 0.5, e.y * 0.5 + 0.5, 0, 0};
    Varyings v;
    if (env) {
      v[Tc(0)] = {envc.x, envc.y, 0, 1};
    } else {
      D4 t = c.A(Tc(0), k);
      v[Tc(0)] = {t.x + c.VC[20].x, t.y + c.VC[20].y, t.z, t.w};
    }
    v[Tc(1)] = P;
    v[Tc(2)] = N;
    if (vsRefl) v[Tc(3)] = envc;
    if (vsShadow)
      for (int s = 0; s < 3; s++) v[Tc(4 + s)] = Rows(c, 8 + 4 * s, P);
    return v;
  };
  m.Ps = [=](const Case &c, const Varyings &v) {
    // the interpolated normal as it comes, shorter between the vertices' unit normals
    D4 p = v.at(Tc(1)), n = Rgb(v.at(Tc(2)), 0);
    D4 E = Norm3(p - c.PC[10]), R = Reflect(E, n);
    double a = std::max(1 - c.PC[13].w * Len3(c.PC[4] - p), 0.0);
    D4 diffuse{}, high{};
    for (int i = 0; i < 3; i++) {
      D4 L = Norm3(c.PC[size_t(4 + i)] - p);
      double d = std::max(Dot3(n, L), 0.0), h = Highlight(Dot3(R, L), c.PC[11].x, c.PC[11].y);
      if (atten) d *= a, h *= a;
      if (shadow) {
        double f = ShadowFactor(c, 1, v.at(Tc(4 + i)), i, c.PC[14].x, c.PC[14].y);
        d *= f, h *= f;
      }
      diffuse = diffuse + c.PC[size_t(1 + i)] * d;
      high = high + c.PC[size_t(1 + i)] * h;
    }
    D4 t0 = v.at(Tc(0));
    D4 col = (c.PC[0] + diffuse) * c.T(0, t0) + high;
    if (layer) col = col + c.T(1, t0) * c.PC[7] + c.T(2, t0) * c.PC[8] + c.T(3, t0) * c.PC[9];
    if (refl) col = col + c.T(1, v.at(Tc(3)));
    double k = std::clamp((Len3(p - c.PC[10]) - c.PC[13].x) / (c.PC[13].y - c.PC[13].x), 0.0, 0.95);
    return Lerp(col, c.PC[12], k);
  };
  return m;
}

std::vector<int> Class3Selections() {
  std::vector<int> out;
  std::set<std::pair<const void *, const void *>> seen;
  for (int b = 0; b < 64; b++) {
    Class3Sel s{b};
    if (seen.insert({shadercode::Material3VS[s.Vs()].Data, shadercode::Material3PS[s.Ps()].Data}).second) out.push_back(b);
  }
  return out;
}

class Class3Render : public testing::TestWithParam<int> {};
TEST_P(Class3Render, PerPixelLighting) {
  REQUIRE_GL();
  Class3Sel s{GetParam()};
  CHECK_PAIR(Class3(s), shadercode::Material3VS[s.Vs()], shadercode::Material3PS[s.Ps()]);
}
INSTANTIATE_TEST_SUITE_P(Options, Class3Render, testing::ValuesIn(Class3Selections()),
                         [](const testing::TestParamInfo<int> &i) { return "bits" + std::to_string(i.param); });

// --- class 8 -------------------------------------------------------------------------------

TEST(LightingRender, Class8NormalMappedWithMasks) {
  REQUIRE_GL();
  Model m;
  m.Sm2 = false;
  m.Setup = [](Rng &r, Case &c) {
    for (int k = 0; k < 4; k++) {
      c.Attr[kPos][size_t(k)] = r.V3(-1, 1, 1);
      c.Attr[Tc(0)][size_t(k)] = r.V(0, 1);
      c.Attr[Tc(1)][size_t(k)] = r.V(0, 1);
    }
    c.VC[4] = Rgb(r.V(-0.5, 0.5), 0);
    c.PC[0] = r.V(0, 0.5);
    for (int i = 1; i <= 3; i++) c.PC[size_t(i)] = r.V(0, 1);
    c.PC[4] = {r.U(-0.5, 0.5), r.U(-0.5, 0.5), -3, 1};
    for (int i = 5; i <= 7; i++) c.PC[size_t(i)] = Rgb(r.V(-2.5, 2.5), 0);
    c.PC[8] = {r.U(0.3, 0.9), r.U(2, 6), r.U(0, 2), 0};
    for (int u = 0; u < 4; u++) c.Textures[u] = r.Texture(5, 5);
  };
  m.PreM = PosOnly;
  m.Vs = [](const Case &c, int k, D4, D4) {
    return Varyings{{Tc(0), c.A(Tc(0), k)}, {Tc(1), c.A(Tc(1), k)}, {Tc(2), c.A(kPos, k) + c.VC[4]}};
  };
  m.Ps = [](const Case &c, const Varyings &v) {
    D4 t0 = v.at(Tc(0)), p = v.at(Tc(2));
    D4 B = c.T(0, t0), Dd = c.T(1, t0 * c.PC[8].x), A = c.T(2, t0), K = c.T(3, v.at(Tc(1)));
    D4 n = Norm3((B - Splat(0.5)) * -1.0 - (Dd - Splat(0.5)) * D4{0.5, 0.05, 0.5, 0});
    D4 R = Reflect(Norm3(p - c.PC[4]), n);
    D4 diffuse{}, high{};
    for (int i = 0; i < 3; i++) {
      D4 L = Norm3(c.PC[size_t(5 + i)] - p);
      double mask = 1 - K[i];
      diffuse = diffuse + c.PC[size_t(1 + i)] * (std::max(Dot3(n, L), 0.0) * mask);
      high = high + c.PC[size_t(1 + i)] * (Highlight(Dot3(R, L), c.PC[8].y, c.PC[8].z) * mask);
    }
    D4 col = (c.PC[0] + diffuse) * A + high * 0.25;
    return Rgb(col, A.w * c.PC[0].w);
  };
  CHECK_PAIR(m, shadercode::Material8VS[0], shadercode::Material8PS[0]);
}

// --- class 13 ------------------------------------------------------------------------------

class Class13Render : public testing::TestWithParam<int> {};
TEST_P(Class13Render, TangentSpaceLighting) {
  REQUIRE_GL();
  bool shadow = GetParam() == 1;
  Model m;
  m.Sm2 = false;
  m.Setup = [](Rng &r, Case &c) {
    for (int k = 0; k < 4; k++) {
      c.Attr[kPos][size_t(k)] = r.V3(-1, 1, 1);
      c.Attr[kNormal][size_t(k)] = Rgb(Norm3(r.V3(-1, 1, 0)), 0);
      c.Attr[kTangent][size_t(k)] = Rgb(Norm3(r.V3(-1, 1, 0)), 0);
      c.Attr[Tc(0)][size_t(k)] = r.V(0, 1);
      c.Attr[Tc(1)][size_t(k)] = r.V(0, 1);
    }
    for (int s = 0; s < 3; s++) ShadowMatrix(r, c, 4 + 4 * s);
    c.VC[16] = Rgb(r.V(-0.5, 0.5), 0);
    c.PC[0] = r.V(0, 0.5);
    for (int i = 1; i <= 3; i++) c.PC[size_t(i)] = r.V(0, 1);
    c.PC[4] = {r.U(-0.5, 0.5), r.U(-0.5, 0.5), -3, 1};
    for (int i = 5; i <= 7; i++) c.PC[size_t(i)] = Rgb(r.V(-2.5, 2.5), 0);
    c.PC[8] = r.V(0, 1);
    c.PC[9] = {r.U(0.8, 1.2), r.U(-0.1, 0.1), r.U(0.3, 0.9), 0};
    c.PC[10] = {r.U(1.5, 2.5), r.U(3.5, 4.5), r.U(2, 6), r.U(0, 2)};
    for (int u = 0; u < 3; u++) c.Textures[u] = r.Texture(5, 5);
    c.Textures[3] = DepthMaps(r, c.PC[9].x, c.PC[9].y);
  };
  m.PreM = PosOnly;
  m.Vs = [](const Case &c, int k, D4, D4) {
    D4 P = c.A(kPos, k);
    Varyings v{{Tc(0), c.A(Tc(0), k)}, {Tc(1), c.A(Tc(1), k)}, {Tc(2), P + c.VC[16]},
               {Tc(3), c.A(kNormal, k)}, {Tc(4), c.A(kTangent, k)}};
    for (int s = 0; s < 3; s++) v[Tc(5 + s)] = Rows(c, 4 + 4 * s, P);
    return v;
  };
  m.Ps = [shadow](const Case &c, const Varyings &v) {
    D4 t0 = v.at(Tc(0)), p = v.at(Tc(2));
    // the interpolated normal and tangent as they come; the bitangent normalised
    D4 nn = Rgb(v.at(Tc(3)), 0), tt = Rgb(v.at(Tc(4)), 0), bb = Norm3(Cross(nn, tt));
    D4 N0 = c.T(0, t0), N1 = c.T(1, t0 * c.PC[9].z), A = c.T(2, v.at(Tc(1)));
    D4 mm = Norm3((N0 - Splat(0.5)) + (N1 - Splat(0.5)) * D4{0.2, 0.1, 0.2, 0});
    D4 n = tt * mm.x + bb * mm.y + nn * mm.z;
    D4 R = Reflect(Norm3(c.PC[4] - p), n);
    D4 diffuse{}, high{};
    for (int i = 0; i < 3; i++) {
      D4 L = Norm3(p - c.PC[size_t(5 + i)]);
      double d = std::max(Dot3(n, L), 0.0), h = Highlight(Dot3(R, L), c.PC[10].z, c.PC[10].w);
      if (shadow) {
        double f = ShadowFactor(c, 3, v.at(Tc(5 + i)), i, c.PC[9].x, c.PC[9].y);
        d *= f, h *= f;
      }
      diffuse = diffuse + c.PC[size_t(1 + i)] * d;
      high = high + c.PC[size_t(1 + i)] * h;
    }
    D4 col = (c.PC[0] + diffuse) * A + high * 0.25;
    double k = std::clamp((Len3(p - c.PC[4]) - c.PC[10].x) / (c.PC[10].y - c.PC[10].x), 0.0, 0.95);
    return Rgb(Lerp(col, c.PC[8], k), A.w);
  };
  CHECK_PAIR(m, shadercode::Material13VS[0], shadercode::Material13PS[GetParam()]);
}
INSTANTIATE_TEST_SUITE_P(Variants, Class13Render, testing::Values(0, 1));

// --- class 4 -------------------------------------------------------------------------------

double Super(double a, D4 shape) {
  double x = shape.x * a / 4;
  return std::pow(std::pow(std::fabs(std::cos(x)), shape.z) + std::pow(std::fabs(std::sin(x)), shape.w), -1 / shape.y);
}
D4 SurfacePoint(const Case &c, double theta, double phi) {
  double ra = Super(theta, c.VC[19]), rb = Super(phi, c.VC[20]);
  D4 s = c.VC[18];
  return {s.x * ra * std::cos(theta) * rb * std::cos(phi), s.y * ra * std::sin(theta) * rb * std::cos(phi),
          s.z * rb * std::sin(phi), 1};
}

class Class4Render : public testing::TestWithParam<int> {};
TEST_P(Class4Render, SuperformulaSurface) {
  REQUIRE_GL();
  bool gradient = GetParam() == 1;
  Model m;
  m.Tolerance = 2e-4;  // the normal comes from differences of nearby points
  m.Setup = [](Rng &r, Case &c) {
    for (int k = 0; k < 4; k++) {
      c.Attr[kPos][size_t(k)] = {r.U(-1.4, 1.4), r.U(-3.1, 3.1), 0, 1};
      c.Attr[Tc(0)][size_t(k)] = r.V(0, 1);
    }
    for (int i = 0; i < 4; i++) c.VC[size_t(4 + i)] = r.V(-1, 1);  // model matrix rows
    c.VC[8] = r.V(0.5, 1);
    c.VC[9] = r.V(0, 0.3);
    for (int i = 10; i <= 12; i++) c.VC[size_t(i)] = r.V(0, 1);
    for (int i = 13; i <= 15; i++) c.VC[size_t(i)] = Rgb(r.V(-4, 4), 0);
    c.VC[16] = {r.U(-1, 1), r.U(-1, 1), -5, 0};
    c.VC[17] = Rgb(r.V(-0.5, 0.5), 0);
    c.VC[18] = {r.U(0.5, 1.5), r.U(0.5, 1.5), r.U(0.5, 1.5), 0};
    c.VC[19] = {r.U(2, 8), r.U(0.7, 2), r.U(0.7, 2), r.U(0.7, 2)};
    c.VC[20] = {r.U(2, 8), r.U(0.7, 2), r.U(0.7, 2), r.U(0.7, 2)};
    c.VC[21] = {r.U(2, 6), r.U(0, 2), 0, 0};
    c.VC[22] = {r.U(0, 1), r.U(0.1, 0.5), r.U(0, 0.5), 0};
    c.PC[0] = {r.U(0.5, 2), 0, 0, 0};
    c.Textures[0] = r.Texture(5, 5);
  };
  m.PreM = [](const Case &c, int k, D4 &off) {
    off = {};
    D4 a = c.A(kPos, k);
    return SurfacePoint(c, a.y, a.x);
  };
  m.Vs = [gradient](const Case &c, int k, D4, D4) {
    D4 a = c.A(kPos, k);
    D4 p0 = SurfacePoint(c, a.y, a.x), p1 = SurfacePoint(c, a.y + 0.01, a.x), p2 = SurfacePoint(c, a.y, a.x + 0.01);
    D4 n = Norm3(Cross(p1 - p0, p2 - p0));
    D4 w = p0 + c.VC[17];
    D4 R = Reflect(Norm3(w - c.VC[16]), n);
    D4 diffuse = c.VC[9], high{};
    for (int i = 0; i < 3; i++) {
      D4 L = Norm3(c.VC[size_t(13 + i)] - w);
      diffuse = diffuse + c.VC[size_t(10 + i)] * std::max(Dot3(n, L), 0.0);
      high = high + c.VC[size_t(10 + i)] * std::max(std::max(Dot3(R, L), 0.0) * c.VC[21].x - c.VC[21].y, 0.0);
    }
    Varyings v{{kColor0, Rgb(diffuse * c.VC[8], 1)}, {kColor1, Rgb(high, 0)}};
    if (gradient) {
      double h = Rows(c, 4, Rgb(p0, 1)).y;
      v[Tc(0)] = {c.VC[22].x, h * c.VC[22].y + c.VC[22].z, 0, 1};
    } else {
      v[Tc(0)] = c.A(Tc(0), k);
    }
    return v;
  };
  m.Ps = [gradient](const Case &c, const Varyings &v) {
    D4 T = c.T(0, v.at(Tc(0))), D = v.at(kColor0), S = v.at(kColor1);
    if (gradient) return Rgb(T * c.PC[0].x + D + S, T.w);
    return T * D + S;
  };
  CHECK_PAIR(m, shadercode::Material4VS[GetParam()], shadercode::Material4PS[GetParam()]);
}
INSTANTIATE_TEST_SUITE_P(Variants, Class4Render, testing::Values(0, 1));

}  // namespace
