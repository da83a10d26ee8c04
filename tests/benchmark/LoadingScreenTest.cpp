// The loading screen: its percentage, picture opacity and bar as textures load one per frame, and the
// end of loading (progressive loading off, picture let go, layers made), also with nothing queued.
#include <algorithm>

#include "benchmark/LoadingScreen.h"
#include "tests/benchmark/ShowTestSupport.h"

namespace showtest {
namespace {

// Opacity bytes of the picture and of the twelve marks (none given: not checked).
TEST(LoadingProgressTest, OpacityAndMarksFollowThePercentage) {
    const struct {
        int loaded, queued, percent;
        std::uint32_t picture;
        std::array<std::uint32_t, 12> marks;
    } cases[] = {
        {1, 1, 100, 0, {}},
        {3, 10, 30, 255, {204, 204, 204, 138, 40, 40, 40, 40, 40, 40, 40, 40}},
        {1, 10, 10, 85, {68, 24, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
        {7, 10, 70, 255, {204, 204, 204, 204, 204, 204, 204, 204, 106, 40, 40, 40}},
        {99, 100, 99, 8, {}},
        {0, 0, 100, 0, {}},
    };
    for (const auto& c : cases) {
        const LoadingProgress p = ComputeLoadingProgress(c.loaded, c.queued);
        EXPECT_EQ(p.percent, c.percent) << c.loaded << "/" << c.queued;
        EXPECT_EQ(p.colour, c.picture << 24 | 0xFFFFFF) << c.loaded << "/" << c.queued;
        for (int i = 0; i < 12 && c.marks[0] != 0; ++i)
            EXPECT_EQ(p.marks[i] >> 24, c.marks[i]) << c.loaded << " #" << i;
    }
}

class LoadingScreenTest : public ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        WriteFile("loading.tga", rendertest::FlatImage(4, 4));
        auto picture = std::make_unique<trivale::type_a::CTexture>();
        picture->Load(*trivale::GetApplicationDriver()->GetDataLoader()->Open("loading.tga"), false,
                      plat::Format::Unknown, -1);
        screen_ = std::make_unique<CLoadingScreen>(&cache_, std::move(picture));
        Journal();
    }
    void TearDown() override {
        layers_ = {}, screen_.reset();
        ShowTest::TearDown();
    }
    std::unique_ptr<CLoadingScreen> screen_;
    ParticleLayers layers_;
};

// One texture per frame; the picture (T1) stretched over the main viewport; the percentage and the
// bar. The frame of the last load ends loading, and the layers' own textures load at once.
TEST_F(LoadingScreenTest, LoadsOneTexturePerFrameAndEndsWithTheLayers) {
    for (const char* name : {"t0.tga", "t1.tga", "t2.tga", "t3.tga"}) {
        WriteFile(name, rendertest::FlatImage(2, 2));
        cache_.GetTexture(name, false, "", plat::Format::Unknown);
    }
    const struct {
        const char *percent, *colour;
        long textures;  // made in the frame
    } frames[] = {{" 25", "D4FFFFFF", 1}, {" 50", "FFFFFFFF", 1}, {" 75", "D4FFFFFF", 1}, {"100", "FFFFFF", 3}};
    for (const auto& f : frames) {
        EXPECT_TRUE(screen_->Frame(Canvas(), layers_)) << f.percent;
        const Lines drawn = large_.Take(), journal = Journal();
        ASSERT_EQ(drawn.size(), 13u) << "the percentage and twelve marks";
        EXPECT_EQ(drawn[1].substr(0, 14) + drawn[12].substr(0, 14), "-@128,256*2 v0-@480,256*2 v0");
        EXPECT_EQ(drawn[0], std::string("LOADING ") + f.percent + "%@320,224*2 v0 #" + f.colour + " a1");
        const std::string quad = "DrawPrimitiveUP(TriangleStrip, 2, 32) (0 40)-(640 440) 0x" + std::string(f.colour);
        EXPECT_EQ(std::count(std::find(journal.begin(), journal.end(), "SetTexture(0, T1)"), journal.end(), quad), 1);
        EXPECT_EQ(
            std::count_if(journal.begin(), journal.end(), [](auto& l) { return l.rfind("CreateTexture", 0) == 0; }),
            f.textures)
            << f.percent;
        EXPECT_EQ(layers_.cloud && layers_.snow, f.textures == 3);
    }
    EXPECT_EQ(screen_->GetPicture(), nullptr);
    EXPECT_FALSE(screen_->Frame(Canvas(), layers_));
    EXPECT_TRUE(Journal().empty());
    WriteFile("late.tga", rendertest::FlatImage(1, 1));
    EXPECT_NE(cache_.GetTexture("late.tga", false, "", plat::Format::Unknown)->GetTexture(), nullptr);
}

// With nothing queued the screen never shows, and the first frame still makes the layers, once.
TEST_F(LoadingScreenTest, NothingQueuedStillMakesTheLayers) {
    EXPECT_FALSE(screen_->Frame(Canvas(), layers_));
    EXPECT_TRUE(large_.Take().empty());
    EXPECT_TRUE(Journal("Draw").empty());
    ASSERT_TRUE(layers_.cloud && layers_.snow);
    CCloudParticleLayer* cloud = layers_.cloud.get();
    EXPECT_FALSE(screen_->Frame(Canvas(), layers_));
    EXPECT_EQ(layers_.cloud.get(), cloud);
}

}  // namespace
}  // namespace showtest
