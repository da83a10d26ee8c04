// An eye, a direction (a target point or two angles), an up vector and a projection: sets the view
// and projection transforms of the device and tests bounding spheres against its view volume.
#pragma once

#include "core/Object.h"
#include "gfxkit/Math3D.h"
#include "render/ViewFrustumClipper.h"

namespace trivale {
namespace type_a {

class CCamera : public virtual CObject {
public:
    CCamera();
    ~CCamera() override {}

    // A field of view outside (0, pi) is brought just inside it; an aspect that is not positive,
    // equal near and far planes or values that are not numbers keep the previous projection.
    virtual void SetPerspective(float fov, float aspect, float zNear, float zFar);
    // The view volume for the sphere test stays the last perspective one.
    virtual void SetOrthographic(float width, float height, float zNear, float zFar);
    virtual void SetPosition(float x, float y, float z);
    virtual void SetPosition(const plat::Vector3& position);
    virtual void MovePosition(float dx, float dy, float dz);
    virtual const plat::Vector3& GetPosition();
    // Looks at a point from now on.
    virtual void SetTarget(float x, float y, float z);
    virtual void SetTarget(const plat::Vector3& target);
    // Looks along the angles from now on (pitch about x, then yaw about y).
    virtual void SetDirectionAngles(float pitch, float yaw);
    virtual void AddDirectionAngles(float dpitch, float dyaw);
    virtual float GetDirectionAngle();  // the yaw
    // In angle mode this follows the angles once a view has been built.
    virtual const plat::Vector3& GetTarget();
    virtual void SetUpVector(float x, float y, float z);
    virtual void SetUpVector(const plat::Vector3& up);
    // The up vector becomes (0, 1, 0) turned by the three angles; the previous one is discarded.
    virtual void Rotate(float yaw, float pitch, float roll);
    // Builds the view and sets it and the projection on the device. A direction of no length or
    // along the up vector has no view: the previous one is kept.
    virtual void ApplyViewTransform();
    // The camera's rotation alone, from view-space directions to world space.
    virtual void GetInverseViewMatrix(plat::Matrix* out);
    // The point through the device's current world, view and projection transforms.
    virtual void TransformPoint(plat::Vector3* out, const plat::Vector3* in);
    // The sphere in view space.
    virtual bool IsSphereVisible(const plat::Vector3* centre, float radius);

    const plat::Matrix& GetViewMatrix() const { return view_; }
    const plat::Matrix& GetProjectionMatrix() const { return projection_; }
    const CViewFrustumClipper& GetClipper() const { return clipper_; }

private:
    void UpdateTargetFromAngles();
    // The view from eye to target, or false when there is none.
    bool BuildView(const plat::Vector3& eye, const plat::Vector3& target, plat::Matrix& view) const;

    plat::Matrix view_;
    plat::Matrix projection_;
    plat::Vector3 eye_;
    plat::Vector3 target_;
    plat::Vector3 up_;
    bool angleMode_ = true;
    float pitch_;
    float yaw_ = 0.0f;
    CViewFrustumClipper clipper_;
};

}  // namespace type_a
}  // namespace trivale
