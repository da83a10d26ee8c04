// The test scene drawn by the GL device under the off-screen driver and read back. Expected pixels
// are worked out by hand from the scene's numbers (flat colours, a tolerance of a few levels).

#include <cstdio>
#include <cstdlib>

#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

class SceneGLTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::GL);
        WriteSceneFiles(data_);
        scene_.reset(new TestScene());
        scene_->Draw();
        std::uint32_t width = 0, height = 0;
        ASSERT_EQ(Device()->ReadBackBuffer(pixels_, width, height), plat::gfx::kOk);
        width_ = static_cast<int>(width);
        height_ = static_cast<int>(height);
        ASSERT_TRUE(width_ == scene_->Width() && height_ == scene_->Height());
    }
    void TearDown() override {
        scene_.reset();
        RenderTest::TearDown();
    }
    // Within a few levels on each colour channel of the pixel at (x, y).
    ::testing::AssertionResult Near(int x, int y, std::uint32_t expected) const {
        const std::uint32_t actual = pixels_[static_cast<std::size_t>(y * width_ + x)];
        for (int shift = 0; shift < 24; shift += 8) {
            if (std::abs(static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) >
                3) {
                char text[64];
                std::snprintf(text, sizeof text, "%08X is not near %08X", actual, expected);
                return ::testing::AssertionFailure() << text;
            }
        }
        return ::testing::AssertionSuccess();
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
        {26, -6, kFarDepth, 0xFFCB1824},   {0, 0, kNearDepth, kSceneClear},  // between the quads
        {-17, 0, kNearDepth, kSceneClear},                                   // left of the near quad
    };
    for (const auto& p : probes) {
        const int x = static_cast<int>(width_ / 2.0f * (1 + p.x / (scene_->Aspect() * p.z)));
        const int y = static_cast<int>(height_ / 2.0f * (1 - p.y / p.z));
        EXPECT_TRUE(Near(x, y, p.colour)) << p.x << "," << p.y << "," << p.z;
    }
}

// Glyph texels of alpha 0 are skipped, so the clear colour shows between strokes; the sprites are
// neither lit nor fogged although the quads left both on.
TEST_F(SceneGLTest, TextInEachAlignment) {
    const int middle = width_ / 2, centre = middle - 72, right = width_ - 136;
    const int blocks = height_ - 80 + 3, sets = height_ - 60 + 3, skipped = height_ - 40 + 1;
    const struct {
        int x, y;
        std::uint32_t colour;
        const char* what;
    } probes[] = {
        // "LEFT" x3 from 16: the L's stroke is cell column 1, pixels 19..21.
        {20, 17, 0xFFFFFFFF, "LEFT: stroke of L"},
        {17, 17, kSceneClear, "LEFT: empty first column"},
        // "CENTRE" x3 is 144 wide about the middle; C's top row starts at cell column 2.
        {centre + 7, 17, 0xFFFFFF00, "CENTRE: top of C"},
        {centre + 4, 17, kSceneClear, "CENTRE: left of the top of C"},
        {centre + 1, 26, kSceneClear, "CENTRE: column 0 of the cell stays empty"},
        {centre + 4, 26, 0xFFFFFF00, "CENTRE: left side of C"},
        // "RIGHT" x3 is 120 wide ending 16 short of the right edge.
        {right + 4, 17, 0xFF00FFFF, "RIGHT: top of R"},
        {right + 1, 17, kSceneClear, "RIGHT: empty first column"},
        // Blocks of 8: "##" left from 100, centred about the middle, right ending 100 short of the edge.
        {99, blocks, kSceneClear, "left blocks, before"},
        {100, blocks, 0xFFFFFFFF, "left blocks, first"},
        {115, blocks, 0xFFFFFFFF, "left blocks, last"},
        {116, blocks, kSceneClear, "left blocks, after"},
        {middle - 9, blocks, kSceneClear, "centred blocks, before"},
        {middle - 8, blocks, 0xFFFFFFFF, "centred blocks, first"},
        {middle + 7, blocks, 0xFFFFFFFF, "centred blocks, last"},
        {middle + 8, blocks, kSceneClear, "centred blocks, after"},
        {width_ - 117, blocks, kSceneClear, "right blocks, before"},
        {width_ - 116, blocks, 0xFFFFFFFF, "right blocks, first"},
        {width_ - 101, blocks, 0xFFFFFFFF, "right blocks, last"},
        {width_ - 100, blocks, kSceneClear, "right blocks, after"},
        // Glyph set 1: its block is the left half of the cell.
        {103, sets, 0xFF00FF00, "set 1 block"},
        {104, sets, kSceneClear, "set 1 block is half a cell"},
        // Advance 7: "###" is 21 wide; centred it starts 10 left of the middle (the half rounded down).
        {middle - 11, sets, kSceneClear, "odd width, before"},
        {middle - 10, sets, 0xFFFF00FF, "odd width, first"},
        {middle + 11, sets, 0xFFFF00FF, "odd width, last"},
        {middle + 12, sets, kSceneClear, "odd width, after"},
        // Bytes of 0x80 and above are skipped but advance: the second L lands three cells on.
        {101, skipped, 0xFFFFFFFF, "first L"},
        {109, skipped, kSceneClear, "skipped byte"},
        {117, skipped, kSceneClear, "skipped byte"},
        {125, skipped, 0xFFFFFFFF, "second L"},
    };
    for (const auto& p : probes) EXPECT_TRUE(Near(p.x, p.y, p.colour)) << p.what << " at " << p.x << "," << p.y;
}

}  // namespace
}  // namespace rendertest
