// The camera's matrices and view volume against hand-worked values, and what it sets on the device.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/Camera.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CCamera;
using type_a::CViewFrustumClipper;
const float kPi = 3.14159265f;

bool Near(const plat::Vector3& v, float x, float y, float z) {
    return std::fabs(v.x - x) < 1e-5f && std::fabs(v.y - y) < 1e-5f && std::fabs(v.z - z) < 1e-5f;
}
bool Finite(const float* v, int n) {
    return std::all_of(v, v + n, [](float f) { return std::isfinite(f); });
}
bool Same(const plat::Matrix& a, const plat::Matrix& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
plat::Vector3 Forward(CCamera& camera) {  // the view's +z in the world
    plat::Matrix inverse;
    camera.GetInverseViewMatrix(&inverse);
    return plat::Vec3TransformNormal(plat::MakeVector3(0, 0, 1), inverse);
}

TEST(CameraTest, SpheresAgainstTheViewVolume) {
    const CViewFrustumClipper standard(kPi / 4, 0.75f, 10, 1000), wide(kPi / 2, 1, 1, 100);
    const struct {
        const CViewFrustumClipper& clipper;
        plat::Vector3 centre;
        float radius;
        bool visible;
    } cases[] = {
        {standard, {0, 0, 500}, 1, true},   {standard, {0, 0, 1002}, 1, false}, {standard, {0, 0, 1001}, 1, true},
        {standard, {0, 0, 9}, 0.5f, false}, {standard, {0, 0, 9}, 1, true},     {wide, {-12, 0, 10}, 1, false},
        {wide, {-10, 0, 11}, 1, true},      {wide, {12, 0, 10}, 1, false},      {wide, {0, 12, 10}, 1, false},
        {wide, {0, -12, 10}, 1, false},     {wide, {0, 0, NAN}, 1, true},  // NaN compares false everywhere
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.clipper.IsSphereVisible(c.centre, c.radius), c.visible)
            << c.centre.x << " " << c.centre.y << " " << c.centre.z << " r " << c.radius;
    }
    CCamera camera;  // orthographic keeps the last perspective volume
    camera.SetPerspective(kPi / 2, 1, 1, 100);
    camera.SetOrthographic(640, 480, 1, 5000);
    const plat::Vector3 beyond = plat::MakeVector3(0, 0, 200);
    EXPECT_FALSE(camera.IsSphereVisible(&beyond, 1));
}

struct CameraDeviceTest : RenderTest {
    void SetUp() override { StartDriver(Backend::Fake); }
};

// The view and projection themselves are read back in the GL scene; here the defaults, the angles
// and the point through the device's transforms.
TEST_F(CameraDeviceTest, DefaultsAnglesAndTransformedPoints) {
    CCamera camera;
    camera.ApplyViewTransform();  // the default camera looks straight down: still a view
    EXPECT_TRUE(Near(camera.GetTarget(), 0, -1, 0));
    EXPECT_TRUE(Finite(&camera.GetViewMatrix().m[0][0], 16));
    EXPECT_NEAR(camera.GetProjectionMatrix().m[0][0], 2.4142136f / 0.75f, 1e-5f);  // cot(pi/8) / aspect
    camera.SetPosition(1, 2, 3);
    camera.SetDirectionAngles(0, kPi / 2);
    EXPECT_TRUE(Near(Forward(camera), 1, 0, 0)) << "angles (0, pi/2) look along +x";
    EXPECT_TRUE(Near(camera.GetTarget(), 2, 2, 3));
    camera.SetPosition(0, 0, -10);
    camera.SetTarget(0, 0, 0);
    camera.SetPerspective(kPi / 2, 1, 1, 101);
    camera.ApplyViewTransform();
    plat::Vector3 ndc;  // the corner of the 90-degree view, then moved by the world
    const plat::Vector3 corner = plat::MakeVector3(10, 10, 0);
    camera.TransformPoint(&ndc, &corner);
    EXPECT_TRUE(Near(ndc, 1, 1, (10.1f - 1.01f) / 10));
    Device()->SetTransform(plat::TransformKind::World, plat::MatrixTranslation(-10, 0, 0));
    camera.TransformPoint(&ndc, &corner);
    EXPECT_NEAR(ndc.x, 0, 1e-6f);
}

// No view along the up vector, none without a direction, none from angles that are not numbers: the
// previous view stays, for the device and for the inverse.
TEST_F(CameraDeviceTest, TargetStraightAboveOrBelowKeepsThePreviousView) {
    CCamera camera;
    camera.SetPosition(0, 0, -10);
    camera.SetTarget(0, 0, 0);
    camera.ApplyViewTransform();
    const plat::Matrix good = camera.GetViewMatrix();
    for (const plat::Vector3& target :
         {plat::Vector3{0, 50, -10}, plat::Vector3{0, -3, -10}, plat::Vector3{0, 0, -10}}) {
        camera.SetTarget(target);
        camera.ApplyViewTransform();
        plat::Matrix view;
        Device()->GetTransform(plat::TransformKind::View, view);
        EXPECT_TRUE(Same(view, good)) << target.y;
        EXPECT_TRUE(Near(Forward(camera), 0, 0, 1)) << target.y;
    }
    camera.SetDirectionAngles(NAN, 0);
    camera.ApplyViewTransform();
    EXPECT_TRUE(Same(camera.GetViewMatrix(), good));
}

// A field of view at or past either end (a zoom of zero or less) is brought inside; values that make
// no projection keep the previous one.
TEST_F(CameraDeviceTest, FieldOfViewOutOfRangeStaysUsable) {
    for (float fov : {0.0f, -1.0f, kPi, 4.0f, INFINITY, -INFINITY}) {
        CCamera camera;
        camera.SetPerspective(fov, 1, 1, 100);
        EXPECT_TRUE(Finite(&camera.GetProjectionMatrix().m[0][0], 16)) << fov;
        const plat::Vector3 ahead = plat::MakeVector3(0, 0, 50);
        EXPECT_TRUE(camera.IsSphereVisible(&ahead, 1)) << fov;
        EXPECT_TRUE(Finite(&camera.GetClipper().GetPlane(0).a, 4 * CViewFrustumClipper::kPlaneCount)) << fov;
    }
    CCamera camera;
    const plat::Matrix before = camera.GetProjectionMatrix();
    camera.SetPerspective(NAN, 1, 1, 100);
    camera.SetPerspective(1, 0, 1, 100);
    camera.SetPerspective(1, 1, 5, 5);
    EXPECT_TRUE(Same(camera.GetProjectionMatrix(), before));
}

}  // namespace
}  // namespace rendertest
