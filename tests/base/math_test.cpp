#include "base/math.hpp"
#include "base/numbers.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

namespace {

const sF32 kEps = 1e-5f;

void ExpectVec(const sVec3 &v, sF32 x, sF32 y, sF32 z, sF32 eps = kEps)
{
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

void ExpectMat(const sMat3x4 &a, const sMat3x4 &b, sF32 eps = 1e-5f)
{
  const sVec3 *ra[4] = {&a.i, &a.j, &a.k, &a.l};
  const sVec3 *rb[4] = {&b.i, &b.j, &b.k, &b.l};
  for(int r = 0; r < 4; r++)
  {
    SCOPED_TRACE(r);
    ExpectVec(*ra[r], rb[r]->x, rb[r]->y, rb[r]->z, eps);
  }
}

void ExpectIdentity(const sMat4x4 &m, sF32 eps)
{
  for(int r = 0; r < 4; r++)
    for(int c = 0; c < 4; c++)
      EXPECT_NEAR(m.m[r][c], r == c ? 1.0f : 0.0f, eps) << r << "," << c;
}

// a general affine transform: rotation, uneven scale and translation
sMat3x4 SomeAffine()
{
  sMat3x4 m;
  m.EulerXYZ(0.3f, -1.1f, 2.0f);
  m.ScaleAxes(2.0f, 0.5f, 3.0f);
  m.l = sVec3(4, -5, 6);
  return m;
}

sMat4x4 SomeMat4()
{
  sMat4x4 m;
  sF32 v[16] = {2, 0.5f, -1, 0, 1, 3, 0.25f, 0, -0.5f, 1, 4, 0, 7, -3, 2, 1};
  for(int n = 0; n < 16; n++) m.m[n / 4][n % 4] = v[n];
  // make it projective in the last column too
  m.m[2][3] = 1.0f;
  m.m[3][3] = 0.5f;
  return m;
}

}

/****************************************************************************/
/***   Vectors and colours                                                ***/
/****************************************************************************/

TEST(Vec3, CrossAndUnit)
{
  sVec3 v;
  v.Cross(sVec3(1, 0, 0), sVec3(0, 1, 0));
  ExpectVec(v, 0, 0, 1);
  v.Cross(sVec3(1, 2, 3), sVec3(4, 5, 6));
  ExpectVec(v, -3, 6, -3);
  // cross with itself as an operand
  v = sVec3(0, 1, 0);
  v.Cross(v, sVec3(0, 0, 1));
  ExpectVec(v, 1, 0, 0);

  v = sVec3(3, 0, 4);
  v.Unit();
  EXPECT_NEAR(v.x, 0.6f, 0.6f * 0.0004f);
  EXPECT_EQ(v.y, 0.0f);
  EXPECT_NEAR(v.z, 0.8f, 0.8f * 0.0004f);

  for(sVec3 tiny : {sVec3(0, 0, 0), sVec3(1e-7f, 0, 0), sVec3(0, -1e-7f, 1e-7f)})
  {
    tiny.Unit();
    ExpectVec(tiny, 1, 0, 0, 0);
  }
}

TEST(Vec3, TransformMatchesPointProductAndAllowsAliasing)
{
  sMat3x4 m = SomeAffine();
  sVec3 p(1.5f, -2.0f, 0.25f);
  sVec3 expect = sMulPointMat3x4(p, m);
  sVec3 out;
  out.Transform(m, p);
  ExpectVec(out, expect.x, expect.y, expect.z);
  // the point and the result are the same vector
  p.Transform(m, p);
  ExpectVec(p, expect.x, expect.y, expect.z);
  // the result is the matrix's own translation row
  sMat3x4 n = m;
  n.l.Transform(n, n.l);
  sVec3 e2 = sMulPointMat3x4(m.l, m);
  ExpectVec(n.l, e2.x, e2.y, e2.z);
}

TEST(Vec3, PointAndDirectionProducts)
{
  sMat3x4 m;
  m.i = sVec3(1, 2, 3);
  m.j = sVec3(4, 5, 6);
  m.k = sVec3(7, 8, 9);
  m.l = sVec3(10, 20, 30);
  // row vector: p.x * i + p.y * j + p.z * k (+ l)
  ExpectVec(sMulDirMat3x4(sVec3(1, 0, 0), m), 1, 2, 3);
  ExpectVec(sMulDirMat3x4(sVec3(0, 1, 1), m), 11, 13, 15);
  ExpectVec(sMulPointMat3x4(sVec3(0, 1, 1), m), 21, 33, 45);
  ExpectVec(sMulPointMat3x4(sVec3(0, 0, 0), m), 10, 20, 30);

  sTransposedMat3x4 t = sTransposeMat3x4(m);
  EXPECT_EQ(t.Row[0].x, 1.0f); EXPECT_EQ(t.Row[0].y, 4.0f); EXPECT_EQ(t.Row[0].z, 7.0f); EXPECT_EQ(t.Row[0].w, 10.0f);
  EXPECT_EQ(t.Row[1].x, 2.0f); EXPECT_EQ(t.Row[1].y, 5.0f); EXPECT_EQ(t.Row[1].z, 8.0f); EXPECT_EQ(t.Row[1].w, 20.0f);
  EXPECT_EQ(t.Row[2].x, 3.0f); EXPECT_EQ(t.Row[2].y, 6.0f); EXPECT_EQ(t.Row[2].z, 9.0f); EXPECT_EQ(t.Row[2].w, 30.0f);
}

TEST(Vec4, Colours)
{
  sVec4 c(1.0f, 0.5f, 0.0f, 1.0f);
  EXPECT_EQ(c.GetColor(), 0xFFFF8000u);
  EXPECT_EQ(sVec4(-0.5f, 2.0f, -100.0f, 1e30f).GetColor(), 0xFF00FF00u);
  EXPECT_EQ(sVec4(NAN, 0, 0, 0).GetColor(), 0u);
  EXPECT_EQ(sVec4(0, 0, 0, -INFINITY).GetColor(), 0u);

  sVec4 f;
  f.InitColor(0x80FF4000);
  EXPECT_NEAR(f.x, 1.0f, 1e-6f);
  EXPECT_NEAR(f.y, 64.0f / 255.0f, 1e-6f);
  EXPECT_EQ(f.z, 0.0f);
  EXPECT_NEAR(f.w, 128.0f / 255.0f, 1e-6f);

  // every byte value survives the round trip, in every channel
  for(sU32 b = 0; b < 256; b++)
  {
    for(sU32 argb : {b << 24, b << 16, b << 8, b, (b << 24) | ((255 - b) << 16) | (b << 8) | (b ^ 0x5a)})
    {
      sVec4 v;
      v.InitColor(argb);
      ASSERT_EQ(v.GetColor(), argb);
    }
  }
}

/****************************************************************************/
/***   Rotations: the senses later code relies on                         ***/
/****************************************************************************/

TEST(Mat3x4, EulerSenses)
{
  const sF32 a = 0.4f;
  sMat3x4 m;
  m.l = sVec3(1, 2, 3);
  m.EulerXYZ(0, 0, a);
  ExpectVec(sMulDirMat3x4(sVec3(1, 0, 0), m), cosf(a), sinf(a), 0);
  ExpectVec(m.l, 1, 2, 3, 0);   // translation untouched
  m.EulerXYZ(0, a, 0);
  ExpectVec(sMulDirMat3x4(sVec3(1, 0, 0), m), cosf(a), 0, -sinf(a));
  m.EulerXYZ(a, 0, 0);
  ExpectVec(sMulDirMat3x4(sVec3(0, 1, 0), m), 0, cosf(a), sinf(a));
}

TEST(Mat3x4, EulerOrderIsXThenYThenZ)
{
  const sF32 x = 0.3f, y = -0.7f, z = 1.2f;
  sMat3x4 rx, ry, rz, all;
  rx.EulerXYZ(x, 0, 0);
  ry.EulerXYZ(0, y, 0);
  rz.EulerXYZ(0, 0, z);
  all.EulerXYZ(x, y, z);
  ExpectMat(all, sMat3x4::Mul(sMat3x4::Mul(rx, ry), rz));
  // a point is turned about x first
  sVec3 p(0.2f, -1.0f, 0.5f);
  sVec3 step = sMulDirMat3x4(sMulDirMat3x4(sMulDirMat3x4(p, rx), ry), rz);
  sVec3 once = sMulDirMat3x4(p, all);
  ExpectVec(once, step.x, step.y, step.z);
}

TEST(Mat3x4, AxisAngleTurnsTheOtherWay)
{
  const sF32 a = 0.4f;
  sMat3x4 m;
  m.l = sVec3(7, 8, 9);
  m.AxisAngle(sVec3(0, 0, 1), a);
  // the axis goes through the fast normalisation, so even a unit axis is only close to 1
  ExpectVec(sMulDirMat3x4(sVec3(1, 0, 0), m), cosf(a), -sinf(a), 0, 1e-3f);
  ExpectVec(m.l, 7, 8, 9, 0);
  // the opposite sense of EulerXYZ about the same axis
  sMat3x4 e;
  e.EulerXYZ(0, 0, -a);
  ExpectMat(m, [&] { e.l = m.l; return e; }(), 1e-3f);
  // the axis is normalised first (with the fast estimate)
  sMat3x4 big;
  big.AxisAngle(sVec3(0, 0, 5), a);
  ExpectMat(big, [&] { sMat3x4 r = m; r.l = big.l; return r; }(), 1e-3f);
  // a zero axis turns about exactly (1, 0, 0)
  sMat3x4 zero;
  zero.AxisAngle(sVec3(0, 0, 0), a);
  ExpectVec(zero.i, 1, 0, 0, 0);
  ExpectVec(zero.j, 0, cosf(a), -sinf(a), 1e-6f);
  ExpectVec(zero.k, 0, sinf(a), cosf(a), 1e-6f);
}

TEST(Mat3x4, AxisAngleEqualsQuaternionRotation)
{
  sVec3 axis(1, 2, -2);
  axis *= 1.0f / 3.0f;
  sMat3x4 m, q;
  m.AxisAngle(axis, 1.3f);
  sQuat quat;
  quat.FromAxisAngle(axis, 1.3f);
  q.FromQuatPos(quat, sVec3(0, 0, 0));
  ExpectMat(m, q, 1e-3f);
}

TEST(Quat, FromAxisAngle)
{
  sQuat q;
  q.FromAxisAngle(sVec3(0, 2, 0), 1.0f);   // the axis is not normalised
  EXPECT_NEAR(q.w, cosf(0.5f), kEps);
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_NEAR(q.y, 2 * sinf(0.5f), kEps);
  EXPECT_EQ(q.z, 0.0f);
}

TEST(Quat, FromMat3x4)
{
  sMat3x4 id;
  sQuat q;
  q.FromMat3x4(id);
  EXPECT_EQ(q.w, 1.0f);
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_EQ(q.y, 0.0f);
  EXPECT_EQ(q.z, 0.0f);

  // a half turn about the diagonal of x and y: negative trace, m00 = m11, index 0
  sMat3x4 h;
  h.i = sVec3(0, 1, 0);
  h.j = sVec3(1, 0, 0);
  h.k = sVec3(0, 0, -1);
  q.FromMat3x4(h);
  EXPECT_NEAR(q.w, 0.0f, kEps);
  EXPECT_NEAR(q.x, 0.70710678f, kEps);
  EXPECT_NEAR(q.y, 0.70710678f, kEps);
  EXPECT_NEAR(q.z, 0.0f, kEps);
}

TEST(Quat, RoundTripThroughMatrixInEveryBranch)
{
  // unit quaternions whose matrices take the positive-trace branch and each of the
  // three largest-diagonal branches
  const sQuat cases[] = {
    {0.9f, 0.1f, -0.3f, 0.2f},
    {0.1f, 0.9f, 0.3f, -0.2f},
    {0.1f, -0.3f, 0.9f, 0.2f},
    {-0.1f, 0.2f, 0.3f, 0.9f},
  };
  for(sQuat in : cases)
  {
    sF32 n = 1.0f / sqrtf(in.w * in.w + in.x * in.x + in.y * in.y + in.z * in.z);
    in = sQuat(in.w * n, in.x * n, in.y * n, in.z * n);
    sMat3x4 m;
    m.FromQuatPos(in, sVec3(1, 2, 3));
    ExpectVec(m.l, 1, 2, 3, 0);
    sQuat out;
    out.FromMat3x4(m);
    // q and -q are the same rotation
    sF32 sign = (out.w * in.w + out.x * in.x + out.y * in.y + out.z * in.z) < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(out.w, sign * in.w, 1e-5f);
    EXPECT_NEAR(out.x, sign * in.x, 1e-5f);
    EXPECT_NEAR(out.y, sign * in.y, 1e-5f);
    EXPECT_NEAR(out.z, sign * in.z, 1e-5f);
  }
}

/****************************************************************************/
/***   Look-at frames                                                     ***/
/****************************************************************************/

TEST(Mat3x4, LookDir)
{
  sMat3x4 m;
  m.l = sVec3(5, 5, 5);
  m.LookDir(sVec3(0, 0, 2));
  ExpectVec(m.k, 0, 0, 1, 1e-3f);
  ExpectVec(m.i, 1, 0, 0, 1e-3f);
  ExpectVec(m.j, 0, 1, 0, 1e-3f);
  ExpectVec(m.l, 0, 0, 0, 0);

  // straight up: i falls back to (1, 0, 0)
  m.LookDir(sVec3(0, 1, 0));
  ExpectVec(m.i, 1, 0, 0, 1e-3f);
  ExpectVec(m.j, 0, 0, -1, 1e-3f);
  ExpectVec(m.k, 0, 1, 0, 1e-3f);
}

TEST(Mat3x4, LookAtPointsKAtTheTarget)
{
  sVec3 pos(1, 2, 3), target(4, -2, 15);
  sMat3x4 m;
  m.LookAt(target, pos);
  ExpectVec(m.l, 1, 2, 3, 0);
  sVec3 d = target - pos;
  sF32 len = sqrtf(sDot(d, d));
  ExpectVec(m.k, d.x / len, d.y / len, d.z / len, 1e-3f);
  EXPECT_NEAR(m.i.y, 0.0f, 1e-6f);   // i lies in the horizontal plane
  EXPECT_GT(m.j.y, 0.0f);            // j points upwards
  EXPECT_NEAR(sDot(m.i, m.j), 0.0f, 1e-3f);
  EXPECT_NEAR(sDot(m.j, m.k), 0.0f, 1e-3f);
  EXPECT_NEAR(sDot(m.i, m.k), 0.0f, 1e-3f);
  // a right-handed frame in this convention: i x j = k
  sVec3 c;
  c.Cross(m.i, m.j);
  ExpectVec(c, m.k.x, m.k.y, m.k.z, 2e-3f);
  // the camera frame maps its local +z onto the line to the target
  sVec3 ahead = sMulPointMat3x4(sVec3(0, 0, len), m);
  ExpectVec(ahead, target.x, target.y, target.z, 0.02f);
}

TEST(Mat3x4, LookAtSamePointLooksAlongX)
{
  sMat3x4 m;
  m.LookAt(sVec3(2, 2, 2), sVec3(2, 2, 2));
  ExpectVec(m.k, 1, 0, 0, 1e-3f);
  ExpectVec(m.i, 0, 0, -1, 1e-3f);
  ExpectVec(m.j, 0, 1, 0, 1e-3f);
  ExpectVec(m.l, 2, 2, 2, 0);
}

TEST(Mat3x4, LookAtFromItsOwnTranslation)
{
  sMat3x4 m;
  m.l = sVec3(0, 0, -10);
  m.LookAt(sVec3(0, 0, 0), m.l);
  ExpectVec(m.l, 0, 0, -10, 0);
  ExpectVec(m.k, 0, 0, 1, 1e-3f);
}

/****************************************************************************/
/***   Products and inverses                                              ***/
/****************************************************************************/

TEST(Mat3x4, MulAppliesLeftFirst)
{
  sMat3x4 move;
  move.l = sVec3(1, 0, 0);
  sMat3x4 turn;
  turn.EulerXYZ(0, 0, sF32(M_PI / 2));
  // move then turn: (0,0,0) -> (1,0,0) -> (0,1,0)
  ExpectVec(sMulPointMat3x4(sVec3(0, 0, 0), sMat3x4::Mul(move, turn)), 0, 1, 0);
  // turn then move: (0,0,0) -> (0,0,0) -> (1,0,0)
  ExpectVec(sMulPointMat3x4(sVec3(0, 0, 0), turn * move), 1, 0, 0);
  // the product applies like the two in turn
  sMat3x4 a = SomeAffine(), b;
  b.EulerXYZ(1, 2, 3);
  b.l = sVec3(-1, 0.5f, 2);
  sVec3 p(0.3f, 0.6f, -0.9f);
  sVec3 twice = sMulPointMat3x4(sMulPointMat3x4(p, a), b);
  ExpectVec(sMulPointMat3x4(p, a * b), twice.x, twice.y, twice.z, 1e-4f);
}

TEST(Mat3x4, MulWithItself)
{
  sMat3x4 a = SomeAffine();
  sMat3x4 sq = sMat3x4::Mul(a, a);
  sMat3x4 copy = a;
  sMat3x4 ref = sMat3x4::Mul(copy, a);
  ExpectMat(sq, ref, 0);
  a = sMat3x4::Mul(a, a);
  ExpectMat(a, ref, 0);
}

TEST(Mat3x4, TransposeAndOrthonormalInverse)
{
  sMat3x4 m;
  m.i = sVec3(1, 2, 3);
  m.j = sVec3(4, 5, 6);
  m.k = sVec3(7, 8, 9);
  m.l = sVec3(1, 1, 1);
  m.Transpose3();
  ExpectVec(m.i, 1, 4, 7, 0);
  ExpectVec(m.j, 2, 5, 8, 0);
  ExpectVec(m.k, 3, 6, 9, 0);
  ExpectVec(m.l, 1, 1, 1, 0);

  sMat3x4 r;
  r.EulerXYZ(0.5f, 1.0f, -0.25f);
  r.l = sVec3(3, -4, 5);
  sMat3x4 inv = r;
  inv.InvertOrthonormal();
  ExpectMat(r * inv, sMat3x4());
  ExpectMat(inv * r, sMat3x4());
}

TEST(Mat3x4, AffineInverse)
{
  sMat3x4 m = SomeAffine();
  sMat3x4 inv = m;
  EXPECT_EQ(inv.Invert(), 1);
  ExpectMat(m * inv, sMat3x4(), 1e-5f);
  ExpectMat(inv * m, sMat3x4(), 1e-5f);
  sVec3 p(1, 2, 3);
  sVec3 back = sMulPointMat3x4(sMulPointMat3x4(p, m), inv);
  ExpectVec(back, 1, 2, 3, 1e-4f);

  sMat3x4 m3 = m;
  EXPECT_EQ(m3.Invert3(), 1);
  ExpectVec(m3.l, m.l.x, m.l.y, m.l.z, 0);   // Invert3 leaves l alone
  ExpectVec(m3.i, inv.i.x, inv.i.y, inv.i.z, 0);
}

TEST(Mat3x4, SingularInverseChangesNothing)
{
  // determinant 1e-10
  sMat3x4 m;
  m.i = sVec3(1e-5f, 0, 0);
  m.j = sVec3(0, 1e-5f, 0);
  m.k = sVec3(0, 0, 1.0f);
  m.l = sVec3(1, 2, 3);
  sMat3x4 before = m;
  EXPECT_EQ(m.Invert3(), 0);
  ExpectMat(m, before, 0);
  EXPECT_EQ(m.Invert(), 0);
  ExpectMat(m, before, 0);
  // a plainly singular one and a NaN one
  sMat3x4 flat;
  flat.k = sVec3(0, 0, 0);
  EXPECT_EQ(flat.Invert(), 0);
  sMat3x4 bad;
  bad.i.x = NAN;
  EXPECT_EQ(bad.Invert(), 0);
  EXPECT_TRUE(std::isnan(bad.i.x));
}

TEST(Mat4x4, MulTransposeDeterminant)
{
  sMat4x4 a = SomeMat4();
  sMat4x4 id;
  sMat4x4 p = a * id;
  for(int r = 0; r < 4; r++)
    for(int c = 0; c < 4; c++)
      EXPECT_EQ(p.m[r][c], a.m[r][c]);
  // element [r][c] = sum over n of a[r][n] * b[n][c]
  sMat4x4 b = SomeMat4();
  b.Transpose();
  EXPECT_EQ(b.m[1][0], a.m[0][1]);
  EXPECT_EQ(b.m[3][2], a.m[2][3]);
  sMat4x4 ab = sMat4x4::Mul(a, b);
  sF32 e = 0;
  for(int n = 0; n < 4; n++) e += a.m[1][n] * b.m[n][2];
  EXPECT_NEAR(ab.m[1][2], e, 1e-5f);
  // a * a with one object as both operands
  sMat4x4 sq = sMat4x4::Mul(a, a);
  sMat4x4 copy = a;
  sMat4x4 ref = sMat4x4::Mul(copy, a);
  for(int r = 0; r < 4; r++)
    for(int c = 0; c < 4; c++)
      EXPECT_EQ(sq.m[r][c], ref.m[r][c]);

  EXPECT_FLOAT_EQ(id.Determinant(), 1.0f);
  sMat4x4 d;
  d.m[0][0] = 2; d.m[1][1] = 3; d.m[2][2] = 4; d.m[3][3] = 5;
  EXPECT_FLOAT_EQ(d.Determinant(), 120.0f);
  d.m[0][1] = 7;   // triangular: the determinant stays the product of the diagonal
  EXPECT_FLOAT_EQ(d.Determinant(), 120.0f);
  std::swap(d.m[0], d.m[1]);   // swapping two rows flips the sign
  EXPECT_FLOAT_EQ(d.Determinant(), -120.0f);
  // det(a * b) = det(a) * det(b)
  EXPECT_NEAR(ab.Determinant(), a.Determinant() * b.Determinant(), 1e-2f);
}

TEST(Mat4x4, Invert)
{
  sMat4x4 a = SomeMat4();
  sMat4x4 inv;
  inv.Invert(a);
  ExpectIdentity(a * inv, 1e-5f);
  ExpectIdentity(inv * a, 1e-5f);
  // the source is the destination
  sMat4x4 self = a;
  self.Invert(self);
  for(int r = 0; r < 4; r++)
    for(int c = 0; c < 4; c++)
      EXPECT_NEAR(self.m[r][c], inv.m[r][c], 1e-6f) << r << "," << c;
}

TEST(Mat4x4, SingularInverseGivesNonFiniteWithoutTrap)
{
  sInitFloatingPoint();
  sMat4x4 s;
  s.m[2][2] = 0;   // a zero row
  sMat4x4 inv;
  inv.Invert(s);
  bool nonFinite = false;
  for(int r = 0; r < 4; r++)
    for(int c = 0; c < 4; c++)
      if(!std::isfinite(inv.m[r][c])) nonFinite = true;
  EXPECT_TRUE(nonFinite);
  feclearexcept(FE_ALL_EXCEPT);
}

TEST(Mat4x4, PointProductKeepsW)
{
  // a perspective-like matrix: w' = z
  sMat4x4 p;
  p.m[2][3] = 1.0f;
  p.m[3][3] = 0.0f;
  p.m[3][2] = -1.0f;
  sVec4 v = sMulPointMat4x4(sVec3(2, 3, 4), p);
  EXPECT_EQ(v.x, 2.0f);
  EXPECT_EQ(v.y, 3.0f);
  EXPECT_EQ(v.z, 3.0f);
  EXPECT_EQ(v.w, 4.0f);   // not divided
  // the fourth row is the translation
  sMat4x4 t;
  t.m[3][0] = 10; t.m[3][1] = 20; t.m[3][2] = 30;
  v = sMulPointMat4x4(sVec3(1, 1, 1), t);
  EXPECT_EQ(v.x, 11.0f);
  EXPECT_EQ(v.y, 21.0f);
  EXPECT_EQ(v.z, 31.0f);
  EXPECT_EQ(v.w, 1.0f);
}

TEST(MathSubsystem, InitSetsUpFloatingPoint)
{
  feenableexcept(FE_DIVBYZERO);
  fesetround(FE_TOWARDZERO);
  sInitMath();
  EXPECT_EQ(fegetexcept(), 0);
  EXPECT_EQ(fegetround(), FE_TONEAREST);
  volatile sF32 zero = 0.0f;
  EXPECT_TRUE(std::isinf(1.0f / zero));
  feclearexcept(FE_ALL_EXCEPT);
}
