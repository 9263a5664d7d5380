#pragma once
// Vectors, the affine 3x4 matrix, the 4x4 matrix and the rotation quaternion.
//
// Conventions every user relies on:
// - points are row vectors: p' = p.x * i + p.y * j + p.z * k + l;
// - in a product a * b the left matrix a is applied first;
// - angles are radians; EulerXYZ turns about x first, then y, then z, each positive
//   angle counter-clockwise seen from the positive axis towards the origin;
// - AxisAngle turns by the negative angle (the opposite sense to EulerXYZ);
// - quaternions are stored scalar first (w, x, y, z).

#include "base/types.hpp"

struct sMat3x4;

/****************************************************************************/
/***   Vectors                                                            ***/
/****************************************************************************/

struct sVec3
{
  sF32 x, y, z;

  sVec3() = default;   // not initialised
  constexpr sVec3(sF32 x_, sF32 y_, sF32 z_) : x(x_), y(y_), z(z_) {}

  void Init(sF32 x_, sF32 y_, sF32 z_) { x = x_; y = y_; z = z_; }
  // this := a x b
  void Cross(const sVec3 &a, const sVec3 &b);
  // Normalises in place with the fast reciprocal square root estimate (close to, not
  // exactly, unit length); a vector of squared length up to 1e-12 becomes (1, 0, 0).
  void Unit();
  // this := point * matrix, translation included. point may be this vector itself.
  void Transform(const sMat3x4 &matrix, const sVec3 &point);

  sVec3 &operator+=(const sVec3 &b) { x += b.x; y += b.y; z += b.z; return *this; }
  sVec3 &operator-=(const sVec3 &b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  sVec3 &operator*=(sF32 s) { x *= s; y *= s; z *= s; return *this; }
};

inline sVec3 operator+(const sVec3 &a, const sVec3 &b) { return sVec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline sVec3 operator-(const sVec3 &a, const sVec3 &b) { return sVec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline sVec3 operator-(const sVec3 &a) { return sVec3(-a.x, -a.y, -a.z); }
inline sVec3 operator*(const sVec3 &a, sF32 s) { return sVec3(a.x * s, a.y * s, a.z * s); }
inline sVec3 operator*(sF32 s, const sVec3 &a) { return sVec3(a.x * s, a.y * s, a.z * s); }
inline sF32 sDot(const sVec3 &a, const sVec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Four floats; as a colour r, g, b, a in 0..1 (x = r, y = g, z = b, w = a).
struct sVec4
{
  sF32 x, y, z, w;

  sVec4() = default;   // not initialised
  constexpr sVec4(sF32 x_, sF32 y_, sF32 z_, sF32 w_) : x(x_), y(y_), z(z_), w(w_) {}

  void Init(sF32 x_, sF32 y_, sF32 z_, sF32 w_) { x = x_; y = y_; z = z_; w = w_; }
  // r, g, b, a := the bytes of an ARGB word times 1/255.
  void InitColor(sU32 argb);
  // The ARGB word of the float colour: each channel * 255 + 0.5, truncated and clamped
  // to 0..255 (NaN gives 0).
  sU32 GetColor() const;
};

/****************************************************************************/
/***   Matrices and quaternion                                            ***/
/****************************************************************************/

struct sQuat;

// Affine transform: rows i, j, k (images of the unit axes) and the translation l.
struct sMat3x4
{
  sVec3 i, j, k, l;

  sMat3x4() { Identity(); }

  void Identity();
  // 3x3 part := Rx(x) * Ry(y) * Rz(z); l untouched.
  void EulerXYZ(sF32 x, sF32 y, sF32 z);
  // 3x3 part := rotation about the (normalised) axis by the negative angle; l untouched.
  void AxisAngle(const sVec3 &axis, sF32 angle);
  // 3x3 part from a quaternion (a rotation only when it is a unit quaternion), l := pos.
  void FromQuatPos(const sQuat &q, const sVec3 &pos);
  // Frame looking along dir: k along dir, i horizontal, l := 0.
  void LookDir(const sVec3 &dir);
  // Frame at pos whose k axis points towards target.
  void LookAt(const sVec3 &target, const sVec3 &pos);
  void ScaleAxes(sF32 sx, sF32 sy, sF32 sz);
  // a * b: a applied first. a and b may be the same object.
  static sMat3x4 Mul(const sMat3x4 &a, const sMat3x4 &b);
  void Transpose3();
  // Inverse of a rigid (rotation and translation) transform.
  void InvertOrthonormal();
  // Inverse of the 3x3 part; returns 0 and changes nothing when |det| < 1e-9.
  sInt Invert3();
  // Full affine inverse; returns 0 and changes nothing when the 3x3 part is singular.
  sInt Invert();
};

inline sMat3x4 operator*(const sMat3x4 &a, const sMat3x4 &b) { return sMat3x4::Mul(a, b); }

// m as three rows of four floats, the layout of three shader constant registers:
// (i.x, j.x, k.x, l.x), (i.y, j.y, k.y, l.y), (i.z, j.z, k.z, l.z).
struct sTransposedMat3x4
{
  sVec4 Row[3];
};
sTransposedMat3x4 sTransposeMat3x4(const sMat3x4 &m);
// v * m without translation.
sVec3 sMulDirMat3x4(const sVec3 &v, const sMat3x4 &m);
// p * m with translation.
sVec3 sMulPointMat3x4(const sVec3 &p, const sMat3x4 &m);

// 4x4 matrix of the same row-vector convention: element [r][c]; row 3 holds the translation.
struct sMat4x4
{
  sF32 m[4][4];

  sMat4x4() { Identity(); }

  void Identity();
  // a * b: element [r][c] = sum over n of a[r][n] * b[n][c]. a and b may be the same object.
  static sMat4x4 Mul(const sMat4x4 &a, const sMat4x4 &b);
  void Transpose();
  sF32 Determinant() const;
  // this := the inverse of m (m may be this matrix itself). No test for a zero
  // determinant: a singular m gives infinities or NaNs.
  void Invert(const sMat4x4 &src);
};

inline sMat4x4 operator*(const sMat4x4 &a, const sMat4x4 &b) { return sMat4x4::Mul(a, b); }

// (p.x, p.y, p.z, 1) * m, without a division by w.
sVec4 sMulPointMat4x4(const sVec3 &p, const sMat4x4 &m);

// Rotation quaternion, scalar first. Operations neither normalise nor expect normalised input.
struct sQuat
{
  sF32 w, x, y, z;

  sQuat() = default;   // not initialised
  constexpr sQuat(sF32 w_, sF32 x_, sF32 y_, sF32 z_) : w(w_), x(x_), y(y_), z(z_) {}

  // w := cos(angle/2), (x, y, z) := sin(angle/2) * axis; the axis is not normalised.
  void FromAxisAngle(const sVec3 &axis, sF32 angle);
  // The quaternion of m's 3x3 part (the inverse of sMat3x4::FromQuatPos for unit quaternions).
  void FromMat3x4(const sMat3x4 &m);
};

/****************************************************************************/
/***   The "Math" subsystem                                               ***/
/****************************************************************************/

// Init of the "Math" subsystem (level 24): the floating-point set-up. It has no exit.
void sInitMath();
