// The left-handed matrix and vector functions against values worked out by hand.

#include <gtest/gtest.h>

#include <cmath>

#include "gfxkit/Math3D.h"

namespace plat {
namespace {

const float kPi = 3.14159265f;

void ExpectMatrix(const Matrix& m, const float (&expected)[16], const char* what) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i / 4][i % 4], expected[i], 1e-5f) << what << " element " << i;
}

void ExpectVector(const Vector3& v, float x, float y, float z, const char* what) {
    EXPECT_NEAR(v.x, x, 1e-5f) << what;
    EXPECT_NEAR(v.y, y, 1e-5f) << what;
    EXPECT_NEAR(v.z, z, 1e-5f) << what;
}

TEST(MathTest, BuildersGiveTheRuntimesLayout) {
    const struct {
        const char* what;
        Matrix m;
        float expected[16];
    } rows[] = {
        {"perspective pi/2, aspect 2, 1..11",
         MatrixPerspectiveFovLH(kPi / 2, 2.0f, 1.0f, 11.0f),
         {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.1f, 1, 0, 0, -1.1f, 0}},
        {"look from -5 z at the origin",
         MatrixLookAtLH(MakeVector3(0, 0, -5), MakeVector3(0, 0, 0), MakeVector3(0, 1, 0)),
         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1}},
        {"look from +5 x at the origin",
         MatrixLookAtLH(MakeVector3(5, 0, 0), MakeVector3(0, 0, 0), MakeVector3(0, 1, 0)),
         {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 5, 1}},
    };
    for (const auto& row : rows) ExpectMatrix(row.m, row.expected, row.what);
}

TEST(MathTest, RotationsTurnTheWayTheCameraExpects) {
    const Vector3 ahead = MakeVector3(0, 0, 1);
    // Yaw a quarter turn looks along +x, pitch a quarter turn looks down, roll a quarter turn tips up to -x.
    ExpectVector(Vec3TransformNormal(ahead, MatrixRotationYawPitchRoll(kPi / 2, 0, 0)), 1, 0, 0, "yaw");
    ExpectVector(Vec3TransformNormal(ahead, MatrixRotationYawPitchRoll(0, kPi / 2, 0)), 0, -1, 0, "pitch");
    ExpectVector(Vec3TransformNormal(MakeVector3(0, 1, 0), MatrixRotationYawPitchRoll(0, 0, kPi / 2)), -1, 0, 0,
                 "roll");
}

TEST(MathTest, InverseUndoesAndRefusesSingular) {
    const Matrix m = MatrixMultiply(MatrixRotationYawPitchRoll(0.4f, -0.2f, 1.1f), MatrixTranslation(3, -2, 7));
    Matrix inverse;
    float determinant = 0;
    ASSERT_TRUE(MatrixInverse(m, &inverse, &determinant));
    EXPECT_NEAR(determinant, 1.0f, 1e-5f);
    const Matrix product = MatrixMultiply(m, inverse);
    const Matrix identity = MatrixIdentity();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.m[i / 4][i % 4], identity.m[i / 4][i % 4], 1e-5f);
    Matrix untouched = identity;
    EXPECT_FALSE(MatrixInverse(MatrixScaling(1, 0, 1), &untouched, nullptr));
    EXPECT_EQ(untouched.m[1][1], 1.0f);
}

TEST(MathTest, LookAtAlongTheUpVectorIsNotANumber) {
    // As the runtime's: callers keep their previous view instead.
    const Matrix m = MatrixLookAtLH(MakeVector3(0, 0, 0), MakeVector3(0, 5, 0), MakeVector3(0, 1, 0));
    EXPECT_TRUE(std::isnan(m.m[0][0]));
}

}  // namespace
}  // namespace plat
