// Vectors, matrices and the quaternion.

#include "base/math.hpp"
#include "base/numbers.hpp"

#include <cmath>
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define SPARK_HAVE_RSQRT 1
#endif

// The processor's single-precision estimate of 1/sqrt(s), unrefined: fast, with a relative
// error of at most 1.5 * 2^-12.
static inline sF32 FastRSqrt(sF32 s)
{
#if SPARK_HAVE_RSQRT
  return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(s)));
#else
  return 1.0f / sqrtf(s);
#endif
}

// the normalisation used throughout: tiny vectors become (1, 0, 0)
static inline sVec3 FastUnit(const sVec3 &v)
{
  sF32 s = v.x * v.x + v.y * v.y + v.z * v.z;
  if(!(s > 1e-12f))
    return sVec3(1, 0, 0);
  sF32 r = FastRSqrt(s);
  return sVec3(v.x * r, v.y * r, v.z * r);
}

/****************************************************************************/
/***   Vectors                                                            ***/
/****************************************************************************/

void sVec3::Cross(const sVec3 &a, const sVec3 &b)
{
  sVec3 r(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
  *this = r;
}

void sVec3::Unit()
{
  *this = FastUnit(*this);
}

void sVec3::Transform(const sMat3x4 &matrix, const sVec3 &point)
{
  // computed into a temporary first: point may be this very vector
  *this = sMulPointMat3x4(point, matrix);
}

void sVec4::InitColor(sU32 argb)
{
  const sF32 f = 0.003921569f;
  x = sF32((argb >> 16) & 0xff) * f;
  y = sF32((argb >> 8) & 0xff) * f;
  z = sF32(argb & 0xff) * f;
  w = sF32((argb >> 24) & 0xff) * f;
}

static inline sU32 ColorByte(sF32 v)
{
  sF32 n = v * 255.0f + 0.5f;
  if(!(n > 0.0f)) return 0;   // negative and NaN
  if(n >= 255.0f) return 255;
  return sU32(n);
}

sU32 sVec4::GetColor() const
{
  return (ColorByte(w) << 24) | (ColorByte(x) << 16) | (ColorByte(y) << 8) | ColorByte(z);
}

/****************************************************************************/
/***   sMat3x4                                                            ***/
/****************************************************************************/

void sMat3x4::Identity()
{
  i.Init(1, 0, 0);
  j.Init(0, 1, 0);
  k.Init(0, 0, 1);
  l.Init(0, 0, 0);
}

void sMat3x4::EulerXYZ(sF32 x, sF32 y, sF32 z)
{
  sF32 sx, cx, sy, cy, sz, cz;
  sSinCos(x, sx, cx);
  sSinCos(y, sy, cy);
  sSinCos(z, sz, cz);
  i.Init(cz * cy, sz * cy, -sy);
  j.Init(cz * sy * sx - sz * cx, sz * sy * sx + cz * cx, cy * sx);
  k.Init(cz * sy * cx + sz * sx, sz * sy * cx - cz * sx, cy * cx);
}

void sMat3x4::AxisAngle(const sVec3 &axis, sF32 angle)
{
  sVec3 a = FastUnit(axis);
  sF32 s, c;
  sSinCos(angle, s, c);
  sF32 t = 1.0f - c;
  sF32 x = a.x, y = a.y, z = a.z;
  i.Init((1 - x * x) * c + x * x, x * y * t - z * s, x * z * t + y * s);
  j.Init(x * y * t + z * s, (1 - y * y) * c + y * y, y * z * t - x * s);
  k.Init(x * z * t - y * s, y * z * t + x * s, (1 - z * z) * c + z * z);
}

void sMat3x4::FromQuatPos(const sQuat &q, const sVec3 &pos)
{
  sF32 w = q.w, x = q.x, y = q.y, z = q.z;
  i.Init(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y));
  j.Init(2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x));
  k.Init(2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y));
  l = pos;
}

void sMat3x4::LookDir(const sVec3 &dir)
{
  k = FastUnit(dir);
  j.Init(0, 1, 0);
  i.Cross(j, k);
  i = FastUnit(i);
  j.Cross(k, i);
  j = FastUnit(j);
  l.Init(0, 0, 0);
}

void sMat3x4::LookAt(const sVec3 &target, const sVec3 &pos)
{
  sVec3 d = target - pos;
  sVec3 p = pos;   // pos may be l of this matrix
  LookDir(FastUnit(d));
  l = p;
}

void sMat3x4::ScaleAxes(sF32 sx, sF32 sy, sF32 sz)
{
  i *= sx;
  j *= sy;
  k *= sz;
}

sMat3x4 sMat3x4::Mul(const sMat3x4 &a, const sMat3x4 &b)
{
  sMat3x4 r;
  r.i = sMulDirMat3x4(a.i, b);
  r.j = sMulDirMat3x4(a.j, b);
  r.k = sMulDirMat3x4(a.k, b);
  r.l = sMulPointMat3x4(a.l, b);
  return r;
}

static inline void Swap(sF32 &a, sF32 &b)
{
  sF32 t = a;
  a = b;
  b = t;
}

void sMat3x4::Transpose3()
{
  Swap(i.y, j.x);
  Swap(i.z, k.x);
  Swap(j.z, k.y);
}

void sMat3x4::InvertOrthonormal()
{
  Transpose3();
  l = -(l.x * i + l.y * j + l.z * k);
}

sInt sMat3x4::Invert3()
{
  // cofactors of the 3x3 part
  sF32 c00 = j.y * k.z - j.z * k.y;
  sF32 c01 = j.z * k.x - j.x * k.z;
  sF32 c02 = j.x * k.y - j.y * k.x;
  sF32 det = i.x * c00 + i.y * c01 + i.z * c02;
  if(!(fabsf(det) >= 1e-9f))
    return 0;
  sF32 c10 = i.z * k.y - i.y * k.z;
  sF32 c11 = i.x * k.z - i.z * k.x;
  sF32 c12 = i.y * k.x - i.x * k.y;
  sF32 c20 = i.y * j.z - i.z * j.y;
  sF32 c21 = i.z * j.x - i.x * j.z;
  sF32 c22 = i.x * j.y - i.y * j.x;
  sF32 r = 1.0f / det;
  // inverse [row][col] = cofactor [col][row] / det
  i.Init(c00 * r, c10 * r, c20 * r);
  j.Init(c01 * r, c11 * r, c21 * r);
  k.Init(c02 * r, c12 * r, c22 * r);
  return 1;
}

sInt sMat3x4::Invert()
{
  sInt ok = Invert3();
  if(ok)
    l = -(l.x * i + l.y * j + l.z * k);
  return ok;
}

sTransposedMat3x4 sTransposeMat3x4(const sMat3x4 &m)
{
  sTransposedMat3x4 r;
  r.Row[0] = sVec4(m.i.x, m.j.x, m.k.x, m.l.x);
  r.Row[1] = sVec4(m.i.y, m.j.y, m.k.y, m.l.y);
  r.Row[2] = sVec4(m.i.z, m.j.z, m.k.z, m.l.z);
  return r;
}

sVec3 sMulDirMat3x4(const sVec3 &v, const sMat3x4 &m)
{
  return sVec3(v.x * m.i.x + v.y * m.j.x + v.z * m.k.x,
               v.x * m.i.y + v.y * m.j.y + v.z * m.k.y,
               v.x * m.i.z + v.y * m.j.z + v.z * m.k.z);
}

sVec3 sMulPointMat3x4(const sVec3 &p, const sMat3x4 &m)
{
  return sVec3(p.x * m.i.x + p.y * m.j.x + p.z * m.k.x + m.l.x,
               p.x * m.i.y + p.y * m.j.y + p.z * m.k.y + m.l.y,
               p.x * m.i.z + p.y * m.j.z + p.z * m.k.z + m.l.z);
}

/****************************************************************************/
/***   sMat4x4                                                            ***/
/****************************************************************************/

void sMat4x4::Identity()
{
  for(sInt r = 0; r < 4; r++)
    for(sInt c = 0; c < 4; c++)
      m[r][c] = (r == c) ? 1.0f : 0.0f;
}

sMat4x4 sMat4x4::Mul(const sMat4x4 &a, const sMat4x4 &b)
{
  sMat4x4 res;
  for(sInt r = 0; r < 4; r++)
    for(sInt c = 0; c < 4; c++)
      res.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
  return res;
}

void sMat4x4::Transpose()
{
  for(sInt r = 0; r < 4; r++)
    for(sInt c = r + 1; c < 4; c++)
      Swap(m[r][c], m[c][r]);
}

// the cofactor of element [row][col]: the signed determinant of the 3x3 minor
static sF32 Cofactor(const sF32 (&m)[4][4], sInt row, sInt col)
{
  sInt rs[3], cs[3];
  for(sInt n = 0, o = 0; n < 4; n++) if(n != row) rs[o++] = n;
  for(sInt n = 0, o = 0; n < 4; n++) if(n != col) cs[o++] = n;
  sF32 a = m[rs[0]][cs[0]], b = m[rs[0]][cs[1]], c = m[rs[0]][cs[2]];
  sF32 d = m[rs[1]][cs[0]], e = m[rs[1]][cs[1]], f = m[rs[1]][cs[2]];
  sF32 g = m[rs[2]][cs[0]], h = m[rs[2]][cs[1]], i = m[rs[2]][cs[2]];
  sF32 minor = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  return ((row + col) & 1) ? -minor : minor;
}

sF32 sMat4x4::Determinant() const
{
  sF32 det = 0;
  for(sInt c = 0; c < 4; c++)
    det += m[0][c] * Cofactor(m, 0, c);
  return det;
}

void sMat4x4::Invert(const sMat4x4 &src)
{
  // the whole result is made before it is stored: src may be this matrix
  sF32 det = src.Determinant();
  sF32 res[4][4];
  for(sInt r = 0; r < 4; r++)
    for(sInt c = 0; c < 4; c++)
      res[r][c] = Cofactor(src.m, c, r) / det;
  for(sInt r = 0; r < 4; r++)
    for(sInt c = 0; c < 4; c++)
      m[r][c] = res[r][c];
}

sVec4 sMulPointMat4x4(const sVec3 &p, const sMat4x4 &m)
{
  sF32 v[4];
  for(sInt c = 0; c < 4; c++)
    v[c] = p.x * m.m[0][c] + p.y * m.m[1][c] + p.z * m.m[2][c] + m.m[3][c];
  return sVec4(v[0], v[1], v[2], v[3]);
}

/****************************************************************************/
/***   sQuat                                                              ***/
/****************************************************************************/

void sQuat::FromAxisAngle(const sVec3 &axis, sF32 angle)
{
  sF32 s, c;
  sSinCos(angle * 0.5f, s, c);
  w = c;
  x = axis.x * s;
  y = axis.y * s;
  z = axis.z * s;
}

void sQuat::FromMat3x4(const sMat3x4 &mat)
{
  sF32 m00 = mat.i.x, m01 = mat.i.y, m02 = mat.i.z;
  sF32 m10 = mat.j.x, m11 = mat.j.y, m12 = mat.j.z;
  sF32 m20 = mat.k.x, m21 = mat.k.y, m22 = mat.k.z;
  sF32 tr = m00 + (m11 + m22);
  if(tr >= 0)
  {
    sF32 s = sqrtf(tr + 1.0f);
    w = s * 0.5f;
    sF32 h = 0.5f / s;
    x = (m21 - m12) * h;
    y = (m02 - m20) * h;
    z = (m10 - m01) * h;
    return;
  }
  sInt index = 0;
  if(m11 > m00)
    index = (m22 > m11) ? 2 : 1;
  else if(m22 > m00)
    index = 2;
  if(index == 0)
  {
    sF32 s = sqrtf(m00 - (m11 + m22) + 1.0f);
    sF32 h = 0.5f / s;
    x = s * 0.5f;
    y = (m10 + m01) * h;
    z = (m20 + m02) * h;
    w = (m21 - m12) * h;
  }
  else if(index == 1)
  {
    sF32 s = sqrtf(m11 - (m00 + m22) + 1.0f);
    sF32 h = 0.5f / s;
    y = s * 0.5f;
    z = (m21 + m12) * h;
    x = (m10 + m01) * h;
    w = (m02 - m20) * h;
  }
  else
  {
    sF32 s = sqrtf(m22 - (m00 + m11) + 1.0f);
    sF32 h = 0.5f / s;
    z = s * 0.5f;
    x = (m20 + m02) * h;
    y = (m21 + m12) * h;
    w = (m10 - m01) * h;
  }
}

/****************************************************************************/
/***   Subsystem                                                          ***/
/****************************************************************************/

void sInitMath()
{
  sInitFloatingPoint();
}
