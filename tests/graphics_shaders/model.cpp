#include "model.hpp"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace cpu {

bool Invert4(const double m[4][4], double out[4][4]) {
  double a[4][8];
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 8; j++) a[i][j] = j < 4 ? m[i][j] : (j - 4 == i ? 1 : 0);
  for (int c = 0; c < 4; c++) {
    int p = c;
    for (int r = c + 1; r < 4; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    if (std::fabs(a[p][c]) < 1e-9) return false;
    for (int j = 0; j < 8; j++) std::swap(a[c][j], a[p][j]);
    double d = a[c][c];
    for (int j = 0; j < 8; j++) a[c][j] /= d;
    for (int r = 0; r < 4; r++) {
      if (r == c) continue;
      double f = a[r][c];
      for (int j = 0; j < 8; j++) a[r][j] -= f * a[c][j];
    }
  }
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) out[i][j] = a[i][j + 4];
  return true;
}

namespace {

std::string Show(D4 v) {
  std::ostringstream s;
  s << "(" << v.x << ", " << v.y << ", " << v.z << ", " << v.w << ")";
  return s.str();
}

}  // namespace

::testing::AssertionResult Check(const Model &model, const shadercode::Code &vs, const shadercode::Code &ps,
                                 uint32_t seed) {
  if (!vs.Data || !ps.Data) return ::testing::AssertionFailure() << "no program for this variant";
  Rng rng(seed);
  Case c;
  model.Setup(rng, c);
  // corners of the strip, beyond the screen so that every pixel is covered
  const double cx[4] = {-2, 2, -2, 2}, cy[4] = {2, 2, -2, -2};
  D4 clip[4], offset[4];
  double q[4][4], rhs[4][4];
  for (int k = 0; k < 4; k++) {
    clip[k] = {cx[k], cy[k], rng.U(0.2, 0.8), 1.0};
    D4 p = model.PreM(c, k, offset[k]);
    for (int j = 0; j < 4; j++) {
      q[k][j] = p[j];
      rhs[k][j] = clip[k][j] - offset[k][j];
    }
  }
  double qi[4][4];
  if (!Invert4(q, qi)) return ::testing::AssertionFailure() << "corner points are degenerate";
  for (int r = 0; r < 4; r++) {
    D4 row;
    for (int j = 0; j < 4; j++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += qi[r][k] * rhs[k][j];
      row[j] = s;
    }
    c.VC[size_t(r)] = row;
  }
  Varyings out[4];
  for (int k = 0; k < 4; k++) {
    out[k] = model.Vs(c, k, clip[k], offset[k]);
    if (model.Sm2)
      for (auto &v : out[k])
        if (v.first.first == 10) v.second = Sat(v.second);
  }

  shtest::DrawSetup setup;
  for (int r = 0; r < 256; r++)
    for (int j = 0; j < 4; j++) setup.VSConst[size_t(r * 4 + j)] = float(c.VC[size_t(r)][j]);
  for (int r = 0; r < 224; r++)
    for (int j = 0; j < 4; j++) setup.PSConst[size_t(r * 4 + j)] = float(c.PC[size_t(r)][j]);
  for (const auto &[sem, corners] : c.Attr) {
    shtest::Attribute a{{uint8_t(sem.first), uint8_t(sem.second)}, {}};
    for (const D4 &v : corners) a.Values.insert(a.Values.end(), {float(v.x), float(v.y), float(v.z), float(v.w)});
    setup.Attributes.push_back(a);
  }
  for (const auto &[unit, t] : c.Textures) {
    shtest::Texture tex{t.Cube ? shtest::Texture::Cube : shtest::Texture::Tex2D, unit, t.W, t.H, 1, {}, false};
    for (const D4 &x : t.Texels) tex.Texels.insert(tex.Texels.end(), {float(x.x), float(x.y), float(x.z), float(x.w)});
    setup.Textures.push_back(tex);
  }
  shtest::DrawResult r = shtest::Draw(Words(vs), Words(ps), setup);
  if (!r.Ok) return ::testing::AssertionFailure() << r.Error;

  int checked = 0;
  for (int j = 0; j < setup.Height; j++) {
    for (int i = 0; i < setup.Width; i++) {
      double x = 2.0 * i / setup.Width - 1.0, y = 1.0 - 2.0 * j / setup.Height;
      if (std::fabs(x - y) < 1e-9) continue;  // on the diagonal shared by the two triangles
      int a = 0, b = 1, d = 2;
      if (y < x) a = 2, b = 1, d = 3;
      // barycentric weights of (x, y) in triangle a, b, d
      double x0 = clip[a].x, y0 = clip[a].y, x1 = clip[b].x, y1 = clip[b].y, x2 = clip[d].x, y2 = clip[d].y;
      double den = (y1 - y2) * (x0 - x2) + (x2 - x1) * (y0 - y2);
      double w0 = ((y1 - y2) * (x - x2) + (x2 - x1) * (y - y2)) / den;
      double w1 = ((y2 - y0) * (x - x2) + (x0 - x2) * (y - y2)) / den;
      double w2 = 1 - w0 - w1;
      Varyings v;
      for (const auto &o : out[a]) v[o.first] = o.second * w0 + out[b].at(o.first) * w1 + out[d].at(o.first) * w2;
      D4 want = model.Ps(c, v);
      if (model.Sm2) want = Sat(want);
      const float *got = r.Pixel(i, j);
      if (std::getenv("SHADER_TEST_DUMP"))
        std::printf("(%d,%d) got %g %g %g %g want %s\n", i, j, got[0], got[1], got[2], got[3], Show(want).c_str());
      for (int k = 0; k < 4; k++) {
        double tol = model.Tolerance * std::max(1.0, std::fabs(want[k]));
        if (!(std::fabs(got[k] - want[k]) <= tol))
          return ::testing::AssertionFailure()
                 << "pixel (" << i << ", " << j << ") channel " << "rgba"[k] << ": got ("
                 << got[0] << ", " << got[1] << ", " << got[2] << ", " << got[3] << ") want " << Show(want)
                 << " (seed " << seed << ")";
      }
      checked++;
    }
  }
  if (checked == 0) return ::testing::AssertionFailure() << "no pixel compared";
  return ::testing::AssertionSuccess();
}

}  // namespace cpu
