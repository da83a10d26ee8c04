#pragma once
// The left-handed matrix and vector functions of the graphics runtime's helper library: 4 x 4 float
// matrices in its layout (row vectors, v' = v x M, translation in the fourth row, so A x B applies A
// first) and three- and four-element vectors. Only what the renderer names; no SIMD, no planes. The types, and
// the few operations the device needs itself, lie in the platform layer below.

#include "platform/Matrix.h"

namespace plat {

inline Vector3 MakeVector3(float x, float y, float z) { return Vector3{x, y, z}; }
Vector3 operator+(const Vector3& a, const Vector3& b);
Vector3 operator-(const Vector3& a, const Vector3& b);
Vector3 operator*(const Vector3& a, float s);
Vector3 Vec3Cross(const Vector3& a, const Vector3& b);
// A zero vector stays zero.
Vector3 Vec3Normalize(const Vector3& v);
// (x, y, z, 1) x M, divided by the resulting w.
Vector3 Vec3TransformCoord(const Vector3& v, const Matrix& m);
// (x, y, z, 0) x M: directions and normals, no translation.
Vector3 Vec3TransformNormal(const Vector3& v, const Matrix& m);
// (x, y, z, 1) x M, not divided.
Vector4 Vec3Transform(const Vector3& v, const Matrix& m);

// False (and `out` untouched) when the matrix is singular; `determinant` may be null.
bool MatrixInverse(const Matrix& m, Matrix* out, float* determinant);
Matrix MatrixTranslation(float x, float y, float z);
// Rotations about one axis, clockwise looking along the axis towards the origin (left-handed).
Matrix MatrixRotationX(float angle);
Matrix MatrixRotationY(float angle);
Matrix MatrixRotationZ(float angle);
// Roll about z first, then pitch about x, then yaw about y.
Matrix MatrixRotationYawPitchRoll(float yaw, float pitch, float roll);
// View from `eye` towards `at`; degenerate (NaN) when up is parallel to the view direction or eye == at,
// as the runtime's is: callers guard against that.
Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up);
// Depth maps near..far to 0..1.
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
Matrix MatrixOrthoLH(float width, float height, float zNear, float zFar);

}  // namespace plat
