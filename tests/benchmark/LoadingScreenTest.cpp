// The loading screen over the recording device: the percentage, opacity and bar as textures load one
// per frame, and the end of loading (progressive loading off, picture gone, layers made), also when
// nothing was ever queued.
#include <algorithm>
#include <cstdio>

#include "benchmark/LoadingScreen.h"
#include "tests/benchmark/ShowTestSupport.h"

namespace showtest {
namespace {

using Lines = std::vector<std::string>;
using Texts = std::vector<DrawnText>;

Lines Select(const Lines& lines, const std::string& prefix) {
    Lines kept;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) kept.push_back(line);
    return kept;
}

// Opacity bytes of the picture and of the twelve marks.
TEST(LoadingProgressTest, OpacityAndMarksFollowThePercentage) {
    const struct {
        int loaded, queued, percent;
        std::uint32_t picture;
        std::array<std::uint32_t, 12> marks;
    } cases[] = {
        {1, 1, 100, 0, {}},  // the only frame: fully faded out
        {3, 10, 30, 255, {204, 204, 204, 138, 40, 40, 40, 40, 40, 40, 40, 40}},
        {1, 10, 10, 85, {68, 24, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
        {7, 10, 70, 255, {204, 204, 204, 204, 204, 204, 204, 204, 106, 40, 40, 40}},
        {71, 100, 71, 246, {}},
        {99, 100, 99, 8, {}},
        {0, 0, 100, 0, {}},  // nothing queued: complete
    };
    for (const auto& c : cases) {
        const LoadingProgress p = ComputeLoadingProgress(c.loaded, c.queued);
        EXPECT_EQ(p.percent, c.percent) << c.loaded << "/" << c.queued;
        EXPECT_EQ(p.colour, c.picture << 24 | 0xFFFFFF) << c.loaded << "/" << c.queued;
        if (c.marks[0] == 0) continue;
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(p.marks[i] >> 24, c.marks[i]) << c.loaded << "/" << c.queued << " #" << i;
    }
}

class LoadingScreenTest : public ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        WriteFile("loading.tga", rendertest::FlatImage(4, 4));
        WriteFile("scenes/skyhigh/small_cloud_1.dds", rendertest::FlatImage(256, 256));
        WriteFile("scenes/skyhigh/snow_1.dds", rendertest::FlatImage(256, 256));
        auto picture = std::make_unique<trivale::type_a::CTexture>();
        picture->Load(*trivale::GetApplicationDriver()->GetDataLoader()->Open("loading.tga"), false,
                      plat::Format::Unknown, -1);
        screen_ = std::make_unique<CLoadingScreen>(&cache_, std::move(picture));
        Journal();
    }
    void TearDown() override {
        layers_ = {};
        screen_.reset();
        cache_.Clear();
        ShowTest::TearDown();
    }
    void Queue(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string name = "tex/t" + std::to_string(i) + ".tga";
            WriteFile(name, rendertest::FlatImage(2, 2));
            cache_.GetTexture(name.c_str(), false, "", plat::Format::Unknown);
        }
    }

    trivale::type_a::CProgressiveTextureCache cache_;
    std::unique_ptr<CLoadingScreen> screen_;
    ParticleLayers layers_;
};

// One texture per frame, the screen drawn each time over the stretched picture; the frame of the last
// load ends loading, and the layers' own textures then load at once.
TEST_F(LoadingScreenTest, LoadsOneTexturePerFrameAndEndsWithTheLayers) {
    Queue(4);
    const struct {
        const char* text;
        std::uint32_t colour;
    } frames[] = {{"LOADING  25%", 0xD4FFFFFF},
                  {"LOADING  50%", 0xFFFFFFFF},
                  {"LOADING  75%", 0xD4FFFFFF},
                  {"LOADING 100%", 0x00FFFFFF}};
    for (int frame = 1; frame <= 4; ++frame) {
        const auto& f = frames[frame - 1];
        EXPECT_TRUE(screen_->Frame(Canvas(), layers_)) << frame;
        const Texts drawn = large_.Take();
        ASSERT_EQ(drawn.size(), 13u);
        EXPECT_EQ(drawn[0], (DrawnText{f.text, 320, 40 + 200 - 16, 2, 0, f.colour, 1})) << frame;
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(drawn[1 + i].text, "-");
            EXPECT_EQ(drawn[1 + i].x, 320 + (2 * i - 12) * 16);
            EXPECT_EQ(drawn[1 + i].y, 40 + 200 + 16);
            EXPECT_EQ(drawn[1 + i].alignment, 0);
        }
        const Lines journal = Journal();
        char quad[80];
        std::snprintf(quad, sizeof quad, "DrawPrimitiveUP(TriangleStrip, 2, 32) (0 40)-(640 440) 0x%X", f.colour);
        EXPECT_EQ(Select(journal, "DrawPrimitiveUP(TriangleStrip"), Lines{quad}) << frame;
        const Lines textures = Select(journal, "CreateTexture");
        EXPECT_EQ(textures.size(), frame < 4 ? 1u : 3u) << frame;  // the last frame adds the layers' two
        const bool last = frame == 4;
        EXPECT_EQ(screen_->IsFinished(), last) << frame;
        EXPECT_EQ(layers_.cloud != nullptr && layers_.snow != nullptr, last) << frame;
        EXPECT_EQ(screen_->GetPicture() == nullptr, last) << frame;
    }
    EXPECT_FALSE(screen_->Frame(Canvas(), layers_));
    EXPECT_TRUE(Journal().empty());
    // Progressive loading is over: a new texture loads at once.
    WriteFile("late.tga", rendertest::FlatImage(1, 1));
    EXPECT_NE(cache_.GetTexture("late.tga", false, "", plat::Format::Unknown)->GetTexture(), nullptr);
    EXPECT_EQ(cache_.GetQueuedCount(), 4);
}

// The picture stretched over the main viewport with depth, fog and alpha test off, blended.
TEST_F(LoadingScreenTest, PictureCoversTheMainViewport) {
    Queue(2);
    screen_->Frame(Canvas(), layers_);
    const Lines journal = Journal();
    const Lines states = Select(journal, "SetRenderState(");
    const auto first = std::find(states.begin(), states.end(), "SetRenderState(ZEnable, 0)");
    ASSERT_LE(first + 6, states.end());
    EXPECT_EQ(Lines(first, first + 6),
              (Lines{"SetRenderState(ZEnable, 0)", "SetRenderState(ZWriteEnable, 0)",
                     "SetRenderState(AlphaBlendEnable, 1)", "SetRenderState(AlphaTestEnable, 0)",
                     "SetRenderState(SpecularEnable, 0)", "SetRenderState(FogEnable, 0)"}));
    const auto picture = std::find(journal.begin(), journal.end(), "SetTexture(0, T1)");
    const auto quad = std::find_if(journal.begin(), journal.end(),
                                   [](const std::string& line) { return line.rfind("DrawPrimitiveUP", 0) == 0; });
    EXPECT_LT(picture, quad);
    ASSERT_NE(quad, journal.end());
    EXPECT_EQ(*quad, "DrawPrimitiveUP(TriangleStrip, 2, 32) (0 40)-(640 440) 0xFFFFFFFF");
}

// With nothing queued the screen never shows, and the first frame still makes the layers, once.
TEST_F(LoadingScreenTest, NothingQueuedStillMakesTheLayers) {
    EXPECT_FALSE(screen_->Frame(Canvas(), layers_));
    EXPECT_TRUE(large_.Take().empty());
    EXPECT_TRUE(Select(Journal(), "Draw").empty());
    ASSERT_NE(layers_.cloud, nullptr);
    ASSERT_NE(layers_.snow, nullptr);
    EXPECT_EQ(screen_->GetPicture(), nullptr);
    CCloudParticleLayer* cloud = layers_.cloud.get();
    EXPECT_FALSE(screen_->Frame(Canvas(), layers_));
    EXPECT_EQ(layers_.cloud.get(), cloud);
    EXPECT_TRUE(Journal().empty());
    // The field is the one a run always has: the cloud layer's first picture.
    EXPECT_EQ(cloud->GetPicture(0), 3);
}

}  // namespace
}  // namespace showtest
