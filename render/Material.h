// The fixed-function material: colours and specular power handed to the device as one record.
#pragma once

#include "core/Object.h"
#include "platform/Graphics.h"

namespace trivale {
namespace type_a {

class CMaterial : public virtual CObject {
public:
    CMaterial();
    ~CMaterial() override {}

    virtual void SetDiffuse(float r, float g, float b, float a);
    virtual plat::ColourValue GetDiffuse();
    virtual void SetAmbient(float r, float g, float b, float a);
    virtual plat::ColourValue GetAmbient();
    // The fourth argument is the specular power, the fifth the specular alpha.
    virtual void SetSpecular(float r, float g, float b, float power, float a);
    virtual plat::ColourValue GetSpecular();
    virtual float GetPower();
    virtual void SetEmissive(float r, float g, float b, float a);
    virtual plat::ColourValue GetEmissive();
    // Sets the material on the device.
    virtual void Apply();

    const plat::Material& GetRecord() const { return material_; }

private:
    plat::Material material_;
};

}  // namespace type_a
}  // namespace trivale
