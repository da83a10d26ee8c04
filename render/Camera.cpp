#include "render/Camera.h"

#include <cmath>

#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

namespace {

const float kPi = 3.14159265358979f;
const float kDefaultFov = kPi / 4.0f;
const float kDefaultAspect = 0.75f;
const float kDefaultNear = 10.0f;
const float kDefaultFar = 1000.0f;

bool Finite(const plat::Matrix& m) {
    for (const auto& row : m.m) {
        for (float value : row) {
            if (!std::isfinite(value)) return false;
        }
    }
    return true;
}

bool Finite(const plat::Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

CCamera::CCamera()
    : view_(plat::MatrixIdentity()),
      projection_(plat::MatrixPerspectiveFovLH(kDefaultFov, kDefaultAspect, kDefaultNear, kDefaultFar)),
      up_(plat::MakeVector3(0.0f, 1.0f, 0.0f)),
      pitch_(kPi / 2.0f),
      clipper_(kDefaultFov, kDefaultAspect, kDefaultNear, kDefaultFar) {}

void CCamera::SetPerspective(float fov, float aspect, float zNear, float zFar) {
    if (std::isnan(fov) || !std::isfinite(aspect) || aspect <= 0.0f || !std::isfinite(zNear) || !std::isfinite(zFar) ||
        zNear == zFar) {
        return;
    }
    // The widest view that still has a projection, and the narrowest.
    const float widest = std::nextafter(kPi, 0.0f);
    const float narrowest = 1e-4f;
    if (fov >= widest) fov = widest;
    if (fov < narrowest) fov = narrowest;
    const plat::Matrix projection = plat::MatrixPerspectiveFovLH(fov, aspect, zNear, zFar);
    if (!Finite(projection)) return;
    projection_ = projection;
    clipper_ = CViewFrustumClipper(fov, aspect, zNear, zFar);
}

void CCamera::SetOrthographic(float width, float height, float zNear, float zFar) {
    const plat::Matrix projection = plat::MatrixOrthoLH(width, height, zNear, zFar);
    if (Finite(projection)) projection_ = projection;
}

void CCamera::SetPosition(float x, float y, float z) { eye_ = plat::MakeVector3(x, y, z); }

void CCamera::SetPosition(const plat::Vector3& position) { eye_ = position; }

void CCamera::MovePosition(float dx, float dy, float dz) { eye_ = eye_ + plat::MakeVector3(dx, dy, dz); }

const plat::Vector3& CCamera::GetPosition() { return eye_; }

void CCamera::SetTarget(float x, float y, float z) { SetTarget(plat::MakeVector3(x, y, z)); }

void CCamera::SetTarget(const plat::Vector3& target) {
    target_ = target;
    angleMode_ = false;
}

void CCamera::SetDirectionAngles(float pitch, float yaw) {
    pitch_ = pitch;
    yaw_ = yaw;
    angleMode_ = true;
}

void CCamera::AddDirectionAngles(float dpitch, float dyaw) {
    pitch_ += dpitch;
    yaw_ += dyaw;
}

float CCamera::GetDirectionAngle() { return yaw_; }

const plat::Vector3& CCamera::GetTarget() { return target_; }

void CCamera::SetUpVector(float x, float y, float z) { up_ = plat::MakeVector3(x, y, z); }

void CCamera::SetUpVector(const plat::Vector3& up) { up_ = up; }

void CCamera::Rotate(float yaw, float pitch, float roll) {
    up_ = plat::Vec3TransformNormal(plat::MakeVector3(0.0f, 1.0f, 0.0f),
                                    plat::MatrixRotationYawPitchRoll(yaw, pitch, roll));
}

void CCamera::UpdateTargetFromAngles() {
    target_ = eye_ + plat::Vec3TransformNormal(plat::MakeVector3(0.0f, 0.0f, 1.0f),
                                               plat::MatrixRotationYawPitchRoll(yaw_, pitch_, 0.0f));
}

bool CCamera::BuildView(const plat::Vector3& eye, const plat::Vector3& target, plat::Matrix& view) const {
    const plat::Vector3 direction = target - eye;
    if (!Finite(eye) || !Finite(target) || !Finite(up_)) return false;
    // Straight along the up vector (or no direction at all) leaves the sideways axis undefined.
    const plat::Vector3 side = plat::Vec3Cross(up_, direction);
    if (plat::Vec3Length(direction) == 0.0f || plat::Vec3Length(side) == 0.0f) return false;
    const plat::Matrix built = plat::MatrixLookAtLH(eye, target, up_);
    if (!Finite(built)) return false;
    view = built;
    return true;
}

void CCamera::ApplyViewTransform() {
    if (angleMode_) UpdateTargetFromAngles();
    BuildView(eye_, target_, view_);
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetTransform(plat::TransformKind::View, view_);
    device.SetTransform(plat::TransformKind::Projection, projection_);
}

void CCamera::GetInverseViewMatrix(plat::Matrix* out) {
    if (out == nullptr) return;
    if (angleMode_) UpdateTargetFromAngles();
    plat::Matrix rotation;
    if (!BuildView(plat::Vector3(), target_ - eye_, rotation)) {
        // The rotation of the view last built.
        rotation = view_;
        rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0.0f;
    }
    if (!plat::MatrixInverse(rotation, out, nullptr)) *out = plat::MatrixIdentity();
}

void CCamera::TransformPoint(plat::Vector3* out, const plat::Vector3* in) {
    if (out == nullptr || in == nullptr) return;
    plat::IGraphicsDevice& device = CurrentDevice();
    plat::Matrix world, view, projection;
    device.GetTransform(plat::TransformKind::World, world);
    device.GetTransform(plat::TransformKind::View, view);
    device.GetTransform(plat::TransformKind::Projection, projection);
    *out = plat::Vec3TransformCoord(*in, plat::MatrixMultiply(plat::MatrixMultiply(world, view), projection));
}

bool CCamera::IsSphereVisible(const plat::Vector3* centre, float radius) {
    return centre != nullptr && clipper_.IsSphereVisible(*centre, radius);
}

}  // namespace type_a
}  // namespace trivale
