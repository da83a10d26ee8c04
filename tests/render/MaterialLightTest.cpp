// Materials, the directional light and colour bytes: what reaches the device, in order.

#include <gtest/gtest.h>

#include <cmath>

#include "render/Colour.h"
#include "render/DirectionalLight.h"
#include "render/Material.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CDirectionalLight;
using type_a::CMaterial;

const float kPi = 3.14159265f;

class MaterialLightTest : public RenderTest {
protected:
    void SetUp() override { StartDriver(Backend::Fake); }
};

TEST_F(MaterialLightTest, MaterialAppliesItsRecord) {
    CMaterial material;
    material.Apply();
    material.SetDiffuse(0.5f, 0.25f, 0, 1);
    material.SetAmbient(0.1f, 0.2f, 0.3f, 1);
    material.SetSpecular(0.5f, 0.5f, 0.5f, 20, 1);
    material.SetEmissive(0, 0, 0.5f, 1);
    material.Apply();
    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "SetMaterial(diffuse 1 1 1 1, ambient 0.3 0.3 0.3 1, specular 1 1 1 1, emissive 0 0 0 1, "
                             "power 0)",
                             "SetMaterial(diffuse 0.5 0.25 0 1, ambient 0.1 0.2 0.3 1, specular 0.5 0.5 0.5 1, "
                             "emissive 0 0 0.5 1, power 20)",
                         }));
    EXPECT_EQ(material.GetPower(), 20.0f);
    EXPECT_EQ(material.GetSpecular().a, 1.0f);
    EXPECT_EQ(material.GetDiffuse().g, 0.25f);
    EXPECT_EQ(material.GetAmbient().b, 0.3f);
    EXPECT_EQ(material.GetEmissive().b, 0.5f);
}

TEST_F(MaterialLightTest, LightAppliesAtItsIndexAndSwitchesOn) {
    CDirectionalLight light;
    light.SetDirection(plat::MakeVector3(0, -2, 0));
    light.SetDiffuse(0.5f, 0.5f, 0.5f, 0);
    light.SetAmbient(plat::ColourValue{0.1f, 0.1f, 0.1f, 0});
    light.SetSpecular(0, 0, 0, 0);
    light.Apply(2);
    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "SetLight(2, type 3, diffuse 0.5 0.5 0.5 0, specular 0 0 0 0, ambient 0.1 0.1 0.1 0, "
                             "position 0 0 0, direction 0 -2 0)",
                             "LightEnable(2, 1)",
                         }));
    for (std::uint32_t index : {0u, 1u, 3u}) {
        bool on = true;
        Device()->GetLightEnable(index, on);
        EXPECT_FALSE(on) << "light " << index << " untouched";
    }
    // An index the device does not have is logged, not thrown.
    RestartLog();
    light.Apply(plat::kMaxLights);
    EXPECT_EQ(log_->Count("DirectX Error: "), 1);
}

TEST(DirectionalLightTest, DirectionsFromAngles) {
    const struct {
        float a, b, x, y, z;
    } cases[] = {
        {0, 0, 1, 0, 0},
        {kPi / 2, 0, 0, 1, 0},
        {0, kPi / 2, 0, 0, -1},
        {-kPi / 3, -2 * kPi / 3, -0.25f, -0.8660254f, 0.4330127f},
    };
    for (const auto& c : cases) {
        CDirectionalLight light;
        light.SetDirection(c.a, c.b);
        EXPECT_NEAR(light.GetRecord().direction.x, c.x, 1e-6f) << c.a << " " << c.b;
        EXPECT_NEAR(light.GetRecord().direction.y, c.y, 1e-6f) << c.a << " " << c.b;
        EXPECT_NEAR(light.GetRecord().direction.z, c.z, 1e-6f) << c.a << " " << c.b;
    }
    CDirectionalLight fresh;
    EXPECT_NEAR(fresh.GetRecord().direction.y, -0.8660254f, 1e-6f) << "the initial direction";
    EXPECT_EQ(fresh.GetAmbient().r, 0.3f);
    EXPECT_EQ(fresh.GetAmbient().a, 0.0f);
    EXPECT_EQ(fresh.GetRecord().diffuse.a, 0.0f);
}

TEST(ColourTest, ChannelsSaturateInsteadOfWrapping) {
    const struct {
        float unit;
        std::uint32_t byte;
    } units[] = {{0, 0}, {1, 255}, {0.5f, 127}, {1.5f, 255}, {-0.2f, 0}, {NAN, 0}, {INFINITY, 255}, {-INFINITY, 0}};
    for (const auto& c : units) EXPECT_EQ(type_a::ColourByte(c.unit), c.byte) << c.unit;
    EXPECT_EQ(type_a::MakeArgb(256, 300, -1, 128), 0xFFFF0080u);
    EXPECT_EQ(type_a::MakeArgb(255, 0, 255, 0), 0xFF00FF00u);
    EXPECT_EQ(type_a::ColourFromValue(plat::ColourValue{1.2f, 0.5f, -3, 1}), 0xFFFF7F00u);
}

}  // namespace
}  // namespace rendertest
