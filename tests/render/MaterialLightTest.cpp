// Materials, the directional light and colour bytes: what reaches the device, in order.

#include "render/Colour.h"
#include "render/DirectionalLight.h"
#include "render/Material.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

class MaterialLightTest : public RenderTest {
protected:
    void SetUp() override { StartDriver(Backend::Fake); }
};

// The fourth specular value is the power; the light's direction comes from its two default angles.
// The scene read back from GL covers the colours.
TEST_F(MaterialLightTest, PowerAndLightReachTheDevice) {
    type_a::CMaterial material;
    material.SetSpecular(0.5f, 0.5f, 0.5f, 20, 1);
    material.Apply();
    EXPECT_NE(Journal("SetMaterial").at(0).find("specular 0.5 0.5 0.5 1, emissive 0 0 0 1, power 20)"),
              std::string::npos);
    type_a::CDirectionalLight light;
    light.Apply(2);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"SetLight(2, type 3, diffuse 1 1 1 0, specular 1 1 1 0, ambient 0.3 "
                                                   "0.3 0.3 0, position 0 0 0, direction -0.25 -0.866025 0.433013)",
                                                   "LightEnable(2, 1)"}));
    RestartLog();
    light.Apply(plat::kMaxLights);  // an index the device does not have is logged, not thrown
    EXPECT_EQ(log_->Count("DirectX Error: "), 1);
}

TEST(ColourTest, ChannelsSaturateInsteadOfWrapping) {
    const struct {
        float unit;
        std::uint32_t byte;
    } units[] = {{0, 0}, {1, 255}, {0.5f, 127}, {1.5f, 255}, {-0.2f, 0}, {NAN, 0}, {INFINITY, 255}, {-INFINITY, 0}};
    for (const auto& c : units) EXPECT_EQ(type_a::ColourByte(c.unit), c.byte) << c.unit;
    EXPECT_EQ(type_a::MakeArgb(256, 300, -1, 128), 0xFFFF0080u);
}

}  // namespace
}  // namespace rendertest
