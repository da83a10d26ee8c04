// The hand-written LightWave scene drawn by the GL device under the off-screen driver at several times
// and read back. Expected colours follow from the scene's numbers: emissive boxes fogged by their depth,
// the ground lit by the sun and the ambient light and never fogged, the tower beyond the fog, the sky
// the backdrop colour.

#include <algorithm>

#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace lwrtest {
namespace {

// A unit colour as a pixel, fogged linearly at a view depth unless `depth` is negative.
std::uint32_t Pixel(const plat::ColourValue& c, float depth) {
    const float f = depth < 0 ? 1 : std::clamp((kFogEnd - depth) / (kFogEnd - kFogStart), 0.0f, 1.0f);
    auto byte = [f](float v) { return static_cast<std::uint32_t>((v * f + kFogGrey * (1 - f)) * 255.0f + 0.5f); };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

const plat::ColourValue kRed{1, 0, 0, 1}, kBlue{0, 0, 1, 1}, kYellow{1, 1, 0, 1};
const plat::ColourValue kGround{kGroundDiffuse.r * (kSun + kAmbient), kGroundDiffuse.g*(kSun + kAmbient),
                                kGroundDiffuse.b*(kSun + kAmbient), 1};

class LwSceneGLTest : public rendertest::RenderTest {
protected:
    void SetUp() override {
        StartDriver(rendertest::Backend::GL);
        WriteLwTestScene(data_, rendertest::FlatImage(2, 2, 0xFFFFFFFF));
        scene_.reset(new CLWRenderableScene());
        scene_->Load("scenes\\demo.lws", &textures_, nullptr);
    }
    void TearDown() override {
        scene_.reset();
        textures_.Clear();
        rendertest::RenderTest::TearDown();
    }
    void Draw(const std::string& camera, double t) {
        DrawnItemCount = TestedItemCount = 0;
        camera_ = DrawLwFrame(*scene_, camera, t);
        ASSERT_NE(camera_, nullptr);
        ASSERT_EQ(Device()->ReadBackBuffer(pixels_, width_, height_), plat::gfx::kOk);
    }
    // The pixel where a world point lands shows the colour given, fogged by its view depth if `fogged`.
    void Expect(plat::Vector3 world, const plat::ColourValue& colour, bool fogged, const std::string& what) {
        const plat::Vector3 view = plat::Vec3TransformCoord(world, camera_->GetViewMatrix());
        const plat::Vector3 ndc = plat::Vec3TransformCoord(view, camera_->GetProjectionMatrix());
        ExpectAt(int((ndc.x + 1) / 2 * float(width_)), int((1 - ndc.y) / 2 * float(height_)),
                 Pixel(colour, fogged ? view.z : -1), what);
    }
    void ExpectAt(int x, int y, std::uint32_t expected, const std::string& what) {
        ASSERT_TRUE(x >= 0 && y >= 0 && x < int(width_) && y < int(height_)) << what << " off screen";
        const std::uint32_t actual = pixels_[std::size_t(y) * width_ + std::size_t(x)];
        for (int shift = 0; shift < 24; shift += 8)
            EXPECT_NEAR(int(actual >> shift & 0xFF), int(expected >> shift & 0xFF), 4)
                << what << " at " << x << "," << y << std::hex << ": " << actual << " for " << expected;
    }

    CTextureCache textures_;
    std::unique_ptr<CLWRenderableScene> scene_;
    CCamera* camera_ = nullptr;
    std::uint32_t width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

TEST_F(LwSceneGLTest, ItemsWhereTheirMotionPutsThemAtEachTime) {
    const struct {
        double t;
        float cameraZ, zoom;  // "Main" dollies in and zooms
        std::uint32_t drawn;  // of four: at 2 s the box and its moon are off to the side, culled
    } frames[] = {{0.0, -20, 2, 4}, {1.0, -15, 3, 4}, {2.0, -10, 4, 2}, {3.5, -17.5f, 2.5f, 4}};  // 3.5 s is 0.5 s
    const struct {
        double t;
        const char* what;
        plat::Vector3 world;
        plat::ColourValue colour;
        bool fogged;
    } probes[] = {
        {0, "box", {0, 1, -1}, kRed, true},
        {0, "moon on the box", {0, 4, -1}, kBlue, true},
        {0, "ground", {4, 0, -8}, kGround, false},
        {0, "tower past the fog", {0, 7.5f, 195}, kYellow, true},
        {1, "box", {4, 1, -1}, kRed, true},
        {1, "moon on the box", {4, 4, -1}, kBlue, true},
        {1, "ground", {-3, 0, -5}, kGround, false},
        {2, "ground", {0, 0, 0}, kGround, false},
        {2, "tower past the fog", {0, 10, 195}, kYellow, true},
        {3.5, "box", {2, 1, -1}, kRed, true},
        {3.5, "moon on the box", {2, 4, -1}, kBlue, true},
    };
    for (const auto& frame : frames) {
        SCOPED_TRACE(frame.t);
        Draw("Main", frame.t);
        EXPECT_NEAR(camera_->GetPosition().z, frame.cameraZ, 1e-4);
        EXPECT_NEAR(camera_->GetProjectionMatrix().m[1][1], frame.zoom, 1e-4);
        for (const auto& p : probes)
            if (p.t == frame.t) Expect(p.world, p.colour, p.fogged, p.what);
        ExpectAt(int(width_) / 2, 4, kBackdrop, "sky");
        EXPECT_EQ(DrawnItemCount, frame.drawn);
        EXPECT_EQ(TestedItemCount, 4u);
    }
}

// Switching cameras at an unchanged time places the items anew: the box, out of "Main"'s view at 2 s,
// is in front of "Side", beyond the fog.
TEST_F(LwSceneGLTest, CameraSwitchAtTheSameTimePlacesItemsAgain) {
    Draw("Main", 2.0);
    EXPECT_EQ(DrawnItemCount, 2u);
    Draw("Side", 2.0);
    Expect({59, 1, 0}, {kFogGrey, kFogGrey, kFogGrey, 1}, false, "box seen from the side, all fog");
}

}  // namespace
}  // namespace lwrtest
