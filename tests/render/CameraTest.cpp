// The camera's matrices and view volume against hand-worked values, and what it sets on the device.

#include <gtest/gtest.h>

#include <cmath>

#include "render/Camera.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CCamera;
using type_a::CViewFrustumClipper;

const float kPi = 3.14159265f;

void ExpectVector(const plat::Vector3& v, float x, float y, float z, const char* what) {
    EXPECT_NEAR(v.x, x, 1e-5f) << what;
    EXPECT_NEAR(v.y, y, 1e-5f) << what;
    EXPECT_NEAR(v.z, z, 1e-5f) << what;
}

bool AllFinite(const plat::Matrix& m) {
    for (const auto& row : m.m) {
        for (float v : row) {
            if (!std::isfinite(v)) return false;
        }
    }
    return true;
}

TEST(ViewFrustumTest, SpheresAgainstTheDefaultAndAWideVolume) {
    const CViewFrustumClipper standard(kPi / 4, 0.75f, 10.0f, 1000.0f);
    const CViewFrustumClipper wide(kPi / 2, 1.0f, 1.0f, 100.0f);
    const struct {
        const CViewFrustumClipper* clipper;
        plat::Vector3 centre;
        float radius;
        bool visible;
    } cases[] = {
        {&standard, {0, 0, 500}, 1, true},   {&standard, {0, 0, 1002}, 1, false},
        {&standard, {0, 0, 1001}, 1, true},   // touching the far distance
        {&standard, {0, 0, 9}, 0.5f, false},  // wholly in front of the near distance
        {&standard, {0, 0, 9}, 1, true},     {&wide, {-12, 0, 10}, 1, false},
        {&wide, {-10, 0, 11}, 1, true},      {&wide, {12, 0, 10}, 1, false},  // right plane
        {&wide, {0, 12, 10}, 1, false},                                       // top plane
        {&wide, {0, -12, 10}, 1, false},     {&wide, {0, 0, NAN}, 1, true},   // not a number compares false everywhere
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.clipper->IsSphereVisible(c.centre, c.radius), c.visible)
            << c.centre.x << " " << c.centre.y << " " << c.centre.z << " r " << c.radius;
    }
    const float half = std::sqrt(0.5f);
    const type_a::Plane& left = wide.GetPlane(CViewFrustumClipper::kLeft);
    EXPECT_NEAR(left.a, half, 1e-6f);
    EXPECT_NEAR(left.b, 0.0f, 1e-6f);
    EXPECT_NEAR(left.c, half, 1e-6f);
    EXPECT_EQ(left.d, 0.0f);
    const type_a::Plane& nearPlane = wide.GetPlane(CViewFrustumClipper::kNear);
    EXPECT_EQ(nearPlane.c, 1.0f);
    EXPECT_EQ(nearPlane.d, -1.0f);
    const type_a::Plane& farPlane = wide.GetPlane(CViewFrustumClipper::kFar);
    EXPECT_EQ(farPlane.c, -1.0f);
    EXPECT_EQ(farPlane.d, 100.0f);
}

TEST(CameraTest, OrthographicKeepsThePerspectiveVolume) {
    CCamera camera;
    camera.SetPerspective(kPi / 2, 1.0f, 1.0f, 100.0f);
    camera.SetOrthographic(640, 480, 1, 5000);
    const plat::Vector3 beyondPerspective = plat::MakeVector3(0, 0, 200);
    EXPECT_FALSE(camera.IsSphereVisible(&beyondPerspective, 1));
    EXPECT_FLOAT_EQ(camera.GetProjectionMatrix().m[0][0], 2.0f / 640.0f);
    EXPECT_FLOAT_EQ(camera.GetProjectionMatrix().m[2][2], 1.0f / 4999.0f);
}

TEST(CameraTest, DirectionAnglesAndRotation) {
    CCamera camera;
    plat::Matrix inverse;
    camera.SetDirectionAngles(0, 0);
    camera.GetInverseViewMatrix(&inverse);
    ExpectVector(camera.GetTarget(), 0, 0, 1, "angles (0, 0) look along +z");
    camera.SetPosition(1, 2, 3);
    camera.SetDirectionAngles(0, kPi / 2);
    camera.GetInverseViewMatrix(&inverse);
    ExpectVector(camera.GetTarget(), 2, 2, 3, "angles (0, pi/2) look along +x");
    // The inverse view takes view-space +z to the looking direction and +x to the right of it.
    ExpectVector(plat::Vec3TransformNormal(plat::MakeVector3(0, 0, 1), inverse), 1, 0, 0, "forward");
    ExpectVector(plat::Vec3TransformNormal(plat::MakeVector3(1, 0, 0), inverse), 0, 0, -1, "right");
    EXPECT_FLOAT_EQ(camera.GetDirectionAngle(), kPi / 2);
    camera.AddDirectionAngles(0, kPi / 2);
    camera.GetInverseViewMatrix(&inverse);
    ExpectVector(camera.GetTarget(), 1, 2, 2, "added yaw: along -z");

    camera.Rotate(0, 0, kPi / 2);
    camera.SetTarget(1, 2, 10);
    camera.GetInverseViewMatrix(&inverse);
    ExpectVector(plat::Vec3TransformNormal(plat::MakeVector3(0, 1, 0), inverse), -1, 0, 0, "rolled up vector");
    ExpectVector(camera.GetTarget(), 1, 2, 10, "a target stays as set");
}

class CameraDeviceTest : public RenderTest {
protected:
    void SetUp() override { StartDriver(Backend::Fake); }
};

TEST_F(CameraDeviceTest, ApplySetsViewThenProjection) {
    CCamera camera;
    camera.SetPosition(0, 0, -10);
    camera.SetTarget(0, 0, 0);
    camera.SetPerspective(kPi / 2, 1.0f, 1.0f, 101.0f);
    camera.ApplyViewTransform();
    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "SetTransform(View, 1 0 0 0 / 0 1 0 0 / 0 0 1 0 / -0 -0 10 1)",
                             "SetTransform(Projection, 1 0 0 0 / 0 1 0 0 / 0 0 1.01 1 / 0 0 -1.01 0)",
                         }));
    // Through the device's transforms: a point on the axis half-way lands in the middle of the screen.
    plat::Vector3 ndc;
    const plat::Vector3 point = plat::MakeVector3(0, 0, 0);
    camera.TransformPoint(&ndc, &point);
    ExpectVector(ndc, 0, 0, (1.01f * 10 - 1.01f) / 10, "origin");
    const plat::Vector3 corner = plat::MakeVector3(10, 10, 0);
    camera.TransformPoint(&ndc, &corner);
    ExpectVector(ndc, 1, 1, (1.01f * 10 - 1.01f) / 10, "corner of the 90-degree view");
    Device()->SetTransform(plat::TransformKind::World, plat::MatrixTranslation(-10, 0, 0));
    camera.TransformPoint(&ndc, &corner);
    EXPECT_NEAR(ndc.x, 0, 1e-6f) << "the device's world transform applies";
}

TEST_F(CameraDeviceTest, DefaultCameraLooksDownWithItsDefaultProjection) {
    CCamera camera;
    camera.ApplyViewTransform();
    ExpectVector(camera.GetTarget(), 0, -1, 0, "pitch pi/2 looks straight down");
    plat::Matrix view, projection;
    Device()->GetTransform(plat::TransformKind::View, view);
    Device()->GetTransform(plat::TransformKind::Projection, projection);
    EXPECT_TRUE(AllFinite(view));
    // cot(pi/8) = 2.4142136; x scale is that over the aspect 0.75.
    EXPECT_NEAR(projection.m[1][1], 2.4142136f, 1e-5f);
    EXPECT_NEAR(projection.m[0][0], 2.4142136f / 0.75f, 1e-5f);
    EXPECT_NEAR(projection.m[2][2], 1000.0f / 990.0f, 1e-6f);
    EXPECT_NEAR(projection.m[3][2], -10000.0f / 990.0f, 1e-4f);
}

// A view along the up vector has no sideways axis: the previous view stays.
TEST_F(CameraDeviceTest, TargetStraightAboveOrBelowKeepsThePreviousView) {
    CCamera camera;
    camera.SetPosition(0, 0, -10);
    camera.SetTarget(0, 0, 0);
    camera.ApplyViewTransform();
    const plat::Matrix good = camera.GetViewMatrix();
    const plat::Vector3 targets[] = {{0, 50, -10}, {0, -3, -10}, {0, 0, -10}};
    for (const plat::Vector3& target : targets) {
        camera.SetTarget(target);
        camera.ApplyViewTransform();
        plat::Matrix view;
        Device()->GetTransform(plat::TransformKind::View, view);
        EXPECT_EQ(std::memcmp(&view, &good, sizeof view), 0) << target.y;
        plat::Matrix inverse;
        camera.GetInverseViewMatrix(&inverse);
        EXPECT_TRUE(AllFinite(inverse));
        ExpectVector(plat::Vec3TransformNormal(plat::MakeVector3(0, 0, 1), inverse), 0, 0, 1, "previous rotation");
    }
    camera.SetDirectionAngles(NAN, 0);
    camera.ApplyViewTransform();
    EXPECT_EQ(std::memcmp(&camera.GetViewMatrix(), &good, sizeof good), 0);
}

// Fields of view at or past the ends (a zoom of zero or less) still give a usable projection.
TEST_F(CameraDeviceTest, FieldOfViewOutOfRangeStaysUsable) {
    for (float fov : {0.0f, -1.0f, kPi, 4.0f, INFINITY, -INFINITY}) {
        CCamera camera;
        camera.SetPerspective(fov, 1.0f, 1.0f, 100.0f);
        EXPECT_TRUE(AllFinite(camera.GetProjectionMatrix())) << fov;
        const plat::Vector3 ahead = plat::MakeVector3(0, 0, 50);
        EXPECT_TRUE(camera.IsSphereVisible(&ahead, 1)) << fov;
        for (int i = 0; i < CViewFrustumClipper::kPlaneCount; ++i) {
            const type_a::Plane& p = camera.GetClipper().GetPlane(i);
            EXPECT_TRUE(std::isfinite(p.a) && std::isfinite(p.b) && std::isfinite(p.c) && std::isfinite(p.d)) << fov;
        }
    }
    CCamera camera;
    const plat::Matrix before = camera.GetProjectionMatrix();
    camera.SetPerspective(NAN, 1, 1, 100);
    camera.SetPerspective(1, 0, 1, 100);
    camera.SetPerspective(1, 1, 5, 5);
    EXPECT_EQ(std::memcmp(&camera.GetProjectionMatrix(), &before, sizeof before), 0);
}

}  // namespace
}  // namespace rendertest
