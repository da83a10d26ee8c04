// The test scene drawn by the GL device under the off-screen driver and read back. Expected pixels
// are worked out by hand from the scene's numbers (flat colours, a tolerance of a few levels).

#include <cstdlib>

#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

struct Probe {
    int x, y;
    std::uint32_t colour;
};

class SceneGLTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::GL);
        WriteSceneFiles(data_);
        scene_.reset(new TestScene());
        scene_->Draw();
        std::uint32_t width = 0, height = 0;
        ASSERT_EQ(Device()->ReadBackBuffer(pixels_, width, height), plat::gfx::kOk);
        width_ = static_cast<int>(width), height_ = static_cast<int>(height);
    }
    void TearDown() override {
        scene_.reset();
        RenderTest::TearDown();
    }
    // Each colour channel within a few levels.
    void ExpectNear(const Probe& p, const std::string& what) const {
        const std::uint32_t actual = pixels_[static_cast<std::size_t>(p.y * width_ + p.x)];
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(int((actual >> shift) & 0xFF), int((p.colour >> shift) & 0xFF), 3)
                << what << " at " << p.x << "," << p.y << std::hex << ": " << actual << " for " << p.colour;
        }
    }

    int width_ = 0, height_ = 0;
    std::unique_ptr<TestScene> scene_;
    std::vector<std::uint32_t> pixels_;
};

// Texel x (0.25 ambient + 0.5 diffuse), then linear fog from 10 to 50 towards red: 3/4 of the lit
// colour at depth 20, 1/4 at depth 40.
TEST_F(SceneGLTest, LitTexturedQuadsFogByDepth) {
    const struct {
        float x, y, z;  // in view space: the camera sits at the origin looking along +z
        std::uint32_t colour;
    } probes[] = {
        {-13, 3, kNearDepth, 0xFF64486C},   // texel 40 80 C0 lit to 30 60 90, 3/4 of that + 1/4 of FF 00 00
        {-7, 3, kNearDepth, 0xFFAC4824},    // texel C0 80 40 lit to 90 60 30
        {-13, -3, kNearDepth, 0xFFAC4824},  // lower left: the second checker colour again
        {14, 6, kFarDepth, 0xFFCB1824},     // 1/4 of 30 60 90 + 3/4 of FF 00 00
        {26, -6, kFarDepth, 0xFFCB1824},   {0, 0, kNearDepth, kSceneClear}, {-17, 0, kNearDepth, kSceneClear},
    };
    for (const auto& p : probes) {
        const int x = static_cast<int>(float(width_) / 2.0f * (1 + p.x / ((float(width_) / float(height_)) * p.z)));
        ExpectNear({x, static_cast<int>(float(height_) / 2.0f * (1 - p.y / p.z)), p.colour}, "quads");
    }
}

// Glyph texels of alpha 0 are skipped, so the clear colour shows between strokes; the sprites are
// neither lit nor fogged although the quads left both on.
TEST_F(SceneGLTest, TextInEachAlignment) {
    const int middle = width_ / 2, centre = middle - 72, right = width_ - 136, blocks = height_ - 77,
              sets = height_ - 57, skipped = height_ - 39;
    const std::uint32_t kWhite = 0xFFFFFFFF, kYellow = 0xFFFFFF00, kCyan = 0xFF00FFFF, kMagenta = 0xFFFF00FF;
    // "LEFT" x3 from 16, "CENTRE" (144 wide) about the middle, "RIGHT" (120) ending 16 short of the
    // edge: the first stroke is cell column 1 (2 for the top of C). Glyph set 1's block is half a
    // cell; with an advance of 7 "###" is 21 wide, centred from 10 left of the middle (the half
    // rounded down). Bytes of 0x80 and above are skipped but advance: the second L is three cells on.
    const Probe probes[] = {
        {17, 17, kSceneClear},
        {20, 17, kWhite},
        {centre + 4, 17, kSceneClear},
        {centre + 7, 17, kYellow},
        {right + 1, 17, kSceneClear},
        {right + 4, 17, kCyan},
        {103, sets, 0xFF00FF00},
        {104, sets, kSceneClear},
        {middle - 11, sets, kSceneClear},
        {middle - 10, sets, kMagenta},
        {middle + 11, sets, kMagenta},
        {middle + 12, sets, kSceneClear},
        {101, skipped, kWhite},
        {109, skipped, kSceneClear},
        {125, skipped, kWhite},
    };
    for (const Probe& p : probes) ExpectNear(p, "text");
    for (int x : {100, middle - 8, width_ - 116}) {  // "##" from 100, about the middle, to 100 short of the edge
        for (int dx : {-1, 0, 15, 16}) ExpectNear({x + dx, blocks, dx < 0 || dx > 15 ? kSceneClear : kWhite}, "text");
    }
}

}  // namespace
}  // namespace rendertest
