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
/***   Rotations: the senses later code relies on                         ***/
/****************************************************************************/

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
  // both operands and the result are the same matrix
  sMat3x4 a = SomeAffine(), copy = a;
  sMat3x4 ref = sMat3x4::Mul(copy, a);
  a = sMat3x4::Mul(a, a);
  ExpectMat(a, ref, 0);
}

TEST(Mat3x4, AffineInverse)
{
  sMat3x4 m = SomeAffine();
  sMat3x4 inv = m;
  EXPECT_EQ(inv.Invert(), 1);
  ExpectMat(m * inv, sMat3x4(), 1e-5f);
  ExpectMat(inv * m, sMat3x4(), 1e-5f);
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
