#include "render/DirectionalLight.h"

#include <cmath>

#include "gfxkit/Math3D.h"
#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

namespace {
const float kPi = 3.14159265358979f;
}

CDirectionalLight::CDirectionalLight() {
    light_.type = plat::LightType::Directional;
    light_.diffuse = plat::ColourValue{1.0f, 1.0f, 1.0f, 0.0f};
    light_.specular = plat::ColourValue{1.0f, 1.0f, 1.0f, 0.0f};
    light_.ambient = plat::ColourValue{0.3f, 0.3f, 0.3f, 0.0f};
    SetDirection(-kPi / 3.0f, -2.0f * kPi / 3.0f);
}

void CDirectionalLight::SetDiffuse(float r, float g, float b, float a) {
    light_.diffuse = plat::ColourValue{r, g, b, a};
}

void CDirectionalLight::SetAmbient(const plat::ColourValue& ambient) { light_.ambient = ambient; }

void CDirectionalLight::SetAmbient(float r, float g, float b, float a) {
    light_.ambient = plat::ColourValue{r, g, b, a};
}

const plat::ColourValue& CDirectionalLight::GetAmbient() { return light_.ambient; }

void CDirectionalLight::SetSpecular(float r, float g, float b, float a) {
    light_.specular = plat::ColourValue{r, g, b, a};
}

void CDirectionalLight::SetDirection(float a, float b) {
    light_.direction = plat::MakeVector3(std::cos(a) * std::cos(b), std::sin(a), -std::sin(b) * std::cos(a));
}

void CDirectionalLight::SetDirection(const plat::Vector3& direction) { light_.direction = direction; }

void CDirectionalLight::Apply(std::uint32_t index) {
    plat::IGraphicsDevice& device = CurrentDevice();
    plat::GraphicsResult result = device.SetLight(index, light_);
    if (plat::Succeeded(result)) result = device.LightEnable(index, true);
    if (plat::Failed(result)) TV_LOG_GRAPHICS_ERROR(result);
}

}  // namespace type_a
}  // namespace trivale
