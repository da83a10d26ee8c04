// A directional light: colours and a direction handed to the device as one light record.
#pragma once

#include <cstdint>

#include "core/Object.h"
#include "platform/Graphics.h"

namespace trivale {
namespace type_a {

class CDirectionalLight : public virtual CObject {
public:
    CDirectionalLight();
    ~CDirectionalLight() override {}

    virtual void SetDiffuse(float r, float g, float b, float a);
    virtual void SetAmbient(const plat::ColourValue& ambient);
    virtual void SetAmbient(float r, float g, float b, float a);
    virtual const plat::ColourValue& GetAmbient();
    virtual void SetSpecular(float r, float g, float b, float a);
    // A unit vector from the elevation `a` and the turn `b` about the vertical axis.
    virtual void SetDirection(float a, float b);
    // Kept as given, not normalised.
    virtual void SetDirection(const plat::Vector3& direction);
    // Sets the light at that index and switches it on; other lights stay as they are.
    virtual void Apply(std::uint32_t index);

    const plat::Light& GetRecord() const { return light_; }

private:
    plat::Light light_;
};

}  // namespace type_a
}  // namespace trivale
