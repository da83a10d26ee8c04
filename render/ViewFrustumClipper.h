// The six planes of a perspective view volume in view space (eye at the origin, looking along +z,
// normals pointing inwards), and the test of a bounding sphere against them.
#pragma once

#include "core/Object.h"
#include "gfxkit/Math3D.h"

namespace trivale {
namespace type_a {

// a x + b y + c z + d = 0.
struct Plane {
    float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
};

class CViewFrustumClipper : public virtual CObject {
public:
    CViewFrustumClipper(float fov, float aspect, float zNear, float zFar);
    CViewFrustumClipper(const CViewFrustumClipper& other);
    CViewFrustumClipper& operator=(const CViewFrustumClipper& other);
    ~CViewFrustumClipper() override {}

    // False when the sphere lies wholly outside; one that touches a boundary counts as visible.
    bool IsSphereVisible(const plat::Vector3& centre, float radius) const;

    enum PlaneIndex { kNear, kFar, kLeft, kRight, kTop, kBottom, kPlaneCount };
    const Plane& GetPlane(int index) const { return planes_[index]; }

private:
    Plane planes_[kPlaneCount];
    float near_ = 0.0f, far_ = 0.0f;
};

}  // namespace type_a
}  // namespace trivale
