#include "render/Material.h"

#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

CMaterial::CMaterial() {
    material_.diffuse = plat::ColourValue{1.0f, 1.0f, 1.0f, 1.0f};
    material_.ambient = plat::ColourValue{0.3f, 0.3f, 0.3f, 1.0f};
    material_.specular = plat::ColourValue{1.0f, 1.0f, 1.0f, 1.0f};
    material_.emissive = plat::ColourValue{0.0f, 0.0f, 0.0f, 1.0f};
    material_.power = 0.0f;
}

void CMaterial::SetDiffuse(float r, float g, float b, float a) { material_.diffuse = plat::ColourValue{r, g, b, a}; }

plat::ColourValue CMaterial::GetDiffuse() { return material_.diffuse; }

void CMaterial::SetAmbient(float r, float g, float b, float a) { material_.ambient = plat::ColourValue{r, g, b, a}; }

plat::ColourValue CMaterial::GetAmbient() { return material_.ambient; }

void CMaterial::SetSpecular(float r, float g, float b, float power, float a) {
    material_.specular = plat::ColourValue{r, g, b, a};
    material_.power = power;
}

plat::ColourValue CMaterial::GetSpecular() { return material_.specular; }

float CMaterial::GetPower() { return material_.power; }

void CMaterial::SetEmissive(float r, float g, float b, float a) { material_.emissive = plat::ColourValue{r, g, b, a}; }

plat::ColourValue CMaterial::GetEmissive() { return material_.emissive; }

void CMaterial::Apply() {
    const plat::GraphicsResult result = CurrentDevice().SetMaterial(material_);
    if (plat::Failed(result)) TV_LOG_GRAPHICS_ERROR(result);
}

}  // namespace type_a
}  // namespace trivale
