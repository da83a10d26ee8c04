// The hand-written LightWave scene drawn by the GL device under the off-screen driver at several times
// and read back. Expected colours are worked out from the scene's numbers: emissive boxes fogged by
// their depth, the ground lit by the sun and the ambient light and never fogged, the tower beyond the
// fog, the sky the backdrop colour.

#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace lwrtest {
namespace {

struct Rgb {
    float r, g, b;
};

// A unit colour fogged linearly at a view depth.
Rgb Fogged(Rgb c, float depth) {
    float f = (kFogEnd - depth) / (kFogEnd - kFogStart);
    f = f < 0 ? 0 : f > 1 ? 1 : f;
    return {c.r * f + kFogGrey * (1 - f), c.g * f + kFogGrey * (1 - f), c.b * f + kFogGrey * (1 - f)};
}

std::uint32_t Argb(Rgb c) {
    auto byte = [](float v) { return static_cast<std::uint32_t>(v * 255.0f + 0.5f); };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

const Rgb kRed{1, 0, 0}, kBlue{0, 0, 1}, kYellow{1, 1, 0};
const Rgb kGround{kGroundDiffuse.r * (kSun + kAmbient), kGroundDiffuse.g*(kSun + kAmbient),
                  kGroundDiffuse.b*(kSun + kAmbient)};

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
        std::uint32_t width = 0, height = 0;
        ASSERT_EQ(Device()->ReadBackBuffer(pixels_, width, height), plat::gfx::kOk);
        width_ = int(width), height_ = int(height);
    }
    // Where a world point lands on screen, and its depth in view space.
    void Project(plat::Vector3 world, int& x, int& y, float& depth) const {
        const plat::Vector3 view = plat::Vec3TransformCoord(world, camera_->GetViewMatrix());
        const plat::Vector3 ndc = plat::Vec3TransformCoord(view, camera_->GetProjectionMatrix());
        x = int((ndc.x + 1) / 2 * float(width_));
        y = int((1 - ndc.y) / 2 * float(height_));
        depth = view.z;
    }
    std::uint32_t At(int x, int y) const { return pixels_[std::size_t(y * width_ + x)]; }
    void ExpectNear(int x, int y, std::uint32_t expected, const std::string& what) const {
        ASSERT_TRUE(x >= 0 && y >= 0 && x < width_ && y < height_) << what << " off screen at " << x << "," << y;
        const std::uint32_t actual = At(x, y);
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(int(actual >> shift & 0xFF), int(expected >> shift & 0xFF), 4)
                << what << " at " << x << "," << y << std::hex << ": " << actual << " for " << expected;
        }
    }

    CTextureCache textures_;
    std::unique_ptr<CLWRenderableScene> scene_;
    CCamera* camera_ = nullptr;
    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// A point on a face of an item, and the colour it shows there (fogged by its depth unless it is the ground).
struct Probe {
    const char* what;
    plat::Vector3 world;
    Rgb colour;
    bool fogged;
};

TEST_F(LwSceneGLTest, ItemsWhereTheirMotionPutsThemAtEachTime) {
    const struct {
        double t;
        std::vector<Probe> probes;
        std::uint32_t drawn;  // of four objects
    } frames[] = {
        {0.0,
         {{"box", {0, 1, -1}, kRed, true},
          {"moon on the box", {0, 4, -1}, kBlue, true},
          {"ground", {4, 0, -8}, kGround, false},
          {"tower past the fog", {0, 7.5f, 195}, kYellow, true}},
         4},
        {1.0,  // the box half-way, the camera nearer and zoomed in
         {{"box", {4, 1, -1}, kRed, true},
          {"moon on the box", {4, 4, -1}, kBlue, true},
          {"ground", {-3, 0, -5}, kGround, false}},
         4},
        {2.0,  // the box and its moon far off to the side: culled
         {{"ground", {0, 0, 0}, kGround, false}, {"tower past the fog", {0, 10, 195}, kYellow, true}},
         2},
        {3.5,  // wraps to 0.5
         {{"box", {2, 1, -1}, kRed, true}, {"moon on the box", {2, 4, -1}, kBlue, true}},
         4},
    };
    for (const auto& frame : frames) {
        SCOPED_TRACE(frame.t);
        Draw("Main", frame.t);
        for (const Probe& p : frame.probes) {
            int x, y;
            float depth;
            Project(p.world, x, y, depth);
            ExpectNear(x, y, Argb(p.fogged ? Fogged(p.colour, depth) : p.colour), p.what);
        }
        ExpectNear(width_ / 2, 4, kBackdrop, "sky");
        EXPECT_EQ(DrawnItemCount, frame.drawn);
        EXPECT_EQ(TestedItemCount, 4u);
    }
}

// The camera follows its own motion and zoom: the box's width on screen grows as the camera nears and zooms.
TEST_F(LwSceneGLTest, CameraDolliesAndZooms) {
    double widths[2];
    for (int i = 0; i < 2; ++i) {
        Draw("Main", i * 0.5);
        int left, right, y;
        float depth;
        Project({-1 + 2.0f * float(i), 1, -1}, left, y, depth);
        Project({1 + 2.0f * float(i), 1, -1}, right, y, depth);
        widths[i] = right - left;
        // The front face's right edge lies where the projection says (the camera is left of the
        // box, so no side face shows beyond it).
        EXPECT_GT(At(right - 2, y) >> 16 & 0xFF, 0xC0u);
        EXPECT_LT(At(right + 3, y) >> 16 & 0xFF, 0x80u);
    }
    // Depth 19 at zoom 2, then depth 16.5 at zoom 2.5.
    EXPECT_NEAR(widths[1] / widths[0], (2.5 / 16.5) / (2.0 / 19.0), 0.05);
}

// Switching cameras at an unchanged time places the items anew: the box, out of "Main"'s view at 2 s,
// is in front of "Side", beyond the fog.
TEST_F(LwSceneGLTest, CameraSwitchAtTheSameTimePlacesItemsAgain) {
    Draw("Main", 2.0);
    EXPECT_EQ(DrawnItemCount, 2u);
    Draw("Side", 2.0);
    int x, y;
    float depth;
    Project({59, 1, 0}, x, y, depth);
    ExpectNear(x, y, Argb(Fogged(kRed, depth)), "box seen from the side");
    EXPECT_GT(depth, kFogEnd);
}

}  // namespace
}  // namespace lwrtest
