#include "render/ViewFrustumClipper.h"

#include <cmath>

namespace trivale {
namespace type_a {

CViewFrustumClipper::CViewFrustumClipper(float fov, float aspect, float zNear, float zFar) {
    const float t = 1.0f / std::tan(fov / 2.0f);
    const float k1 = 1.0f / std::sqrt(aspect * aspect + t * t);
    const float k2 = 1.0f / std::sqrt(t * t + 1.0f);
    planes_[kNear] = Plane{0.0f, 0.0f, 1.0f, -zNear};
    planes_[kFar] = Plane{0.0f, 0.0f, -1.0f, zFar};
    planes_[kLeft] = Plane{t * k1, 0.0f, aspect * k1, 0.0f};
    planes_[kRight] = Plane{-t * k1, 0.0f, aspect * k1, 0.0f};
    planes_[kTop] = Plane{0.0f, -t * k2, k2, 0.0f};
    planes_[kBottom] = Plane{0.0f, t * k2, k2, 0.0f};
    near_ = zNear;
    far_ = zFar;
}

CViewFrustumClipper::CViewFrustumClipper(const CViewFrustumClipper& other) : CObject() { *this = other; }

CViewFrustumClipper& CViewFrustumClipper::operator=(const CViewFrustumClipper& other) {
    for (int i = 0; i < kPlaneCount; ++i) planes_[i] = other.planes_[i];
    near_ = other.near_;
    far_ = other.far_;
    return *this;
}

bool CViewFrustumClipper::IsSphereVisible(const plat::Vector3& c, float r) const {
    if (far_ + r < c.z) return false;
    if (near_ - r > c.z) return false;
    for (int i = kLeft; i <= kBottom; ++i) {
        const Plane& p = planes_[i];
        if (p.a * c.x + p.b * c.y + p.c * c.z + p.d < -r) return false;
    }
    return true;
}

}  // namespace type_a
}  // namespace trivale
