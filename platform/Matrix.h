#pragma once
// The vector and matrix types the device takes (transforms, lights), in the graphics runtime's layout:
// row vectors, v' = v x M, translation in the fourth row, so A x B applies A first. Only the few
// operations the device needs itself are here; the helper library's full set is gfxkit/Math3D.h.

namespace plat {

struct Vector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct Vector4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

// m[row][column]; the memory layout is the runtime's (and, read column-major, GL's).
struct Matrix {
    float m[4][4] = {};
};

float Vec3Dot(const Vector3& a, const Vector3& b);
float Vec3Length(const Vector3& v);

Matrix MatrixIdentity();
// a x b: a's transform first, then b's.
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);
Matrix MatrixScaling(float x, float y, float z);

}  // namespace plat
