#include "benchmark/ColorFade.h"

#include <memory>

#include "app_framework/FrameRateKeeper.h"
#include "core/Text.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;

class FadeTest : public OverlayTest {
protected:
    void SetUp() override { StartFake(); }
};

TEST_F(FadeTest, AlphaOverTimeHoldAndTheEnd) {
    const struct {
        const char* name;
        bool out;
        double duration, hold, frame;  // seconds
        std::vector<uint32_t> alphas;
        int aliveFrames;  // frames after which the fade still lives
    } cases[] = {
        {"fade-in, 1 s at 100 frames a second", false, 1.0, 0.0, 0.01, {255, 252, 250, 247}, 100000},
        {"fade-in, 0.02 s", false, 0.02, 0.0, 0.01, {255, 128, 0, 0}, 3},
        {"fade-in of no time is finished at once", false, 0.0, 0.0, 0.01, {0}, 0},
        {"fade-in of negative time is finished at once", false, -1.0, 0.0, 0.01, {0}, 0},
        {"fade-in of NaN time is finished at once", false, 0.0 / 0.0, 0.0, 0.01, {0}, 0},
        {"fade-out, 2 s and 1 s held", true, 2.0, 1.0, 0.5, {0, 64, 128, 191, 255, 255, 255}, 6},
        {"fade-out of no time is opaque at once, then held", true, 0.0, 0.5, 0.25, {255, 255, 255, 255}, 2},
        {"fade-out of NaN time and hold ends at once", true, 0.0 / 0.0, -1.0, 0.25, {255, 255}, 0},
    };
    for (const auto& c : cases) {
        std::unique_ptr<trivale::IScene> fade;
        auto clock = [&c] { return c.frame; };
        if (c.out) {
            fade = std::make_unique<CColorFadeOut>(c.duration, 0xFF102030, c.hold, 0xE000, clock);
        } else {
            fade = std::make_unique<CColorFadeIn>(c.duration, 0xFF102030, 0xE000, clock);
        }
        std::vector<std::string> expected;
        int alive = 0;
        for (std::size_t i = 0; i < c.alphas.size(); ++i) {
            fade->Frame(1);
            if (fade->IsAlive()) alive = static_cast<int>(i) + 1;
            expected.push_back(trivale::FormatString("DrawPrimitiveUP(TriangleStrip, 2, 32) (-1 -1)-(641 481) 0x%X",
                                                     c.alphas[i] << 24 | 0x102030));
        }
        EXPECT_EQ(Journal({"DrawPrimitiveUP"}), expected) << c.name;
        EXPECT_EQ(alive, std::min<int>(c.aliveFrames, static_cast<int>(c.alphas.size()))) << c.name;
    }
}

// The fade-out ends once: it kills the scene it closes and hands the next one to the manager once,
// though it may be asked for more frames before the manager drops it.
TEST_F(FadeTest, FadeOutClosesOneSceneAndAddsTheNextOnce) {
    trivale::CSceneManager& manager = *trivale::GetApplicationDriver()->GetSceneManager();
    auto fade = std::make_shared<CColorFadeOut>(0.5, 0, 0.0, 0xE000, [] { return 0.5; });
    auto closed = std::make_shared<trivale::CStandardScene>(0x8000);
    auto next = std::make_shared<trivale::CStandardScene>(0x8001);
    fade->SetSceneToClose(closed.get());
    fade->SetNextScene(next);
    fade->Frame(1);
    EXPECT_TRUE(fade->IsAlive());
    fade->Frame(1);
    EXPECT_FALSE(fade->IsAlive());
    EXPECT_FALSE(closed->IsAlive());
    fade->Frame(1);
    manager.OnFrame(1);
    EXPECT_EQ(manager.GetScenes().count(next), 1u) << "added once";
    EXPECT_EQ(next.use_count(), 2) << "the fade let go of it";
}

// Time never drifts: a 1 s fade-in fed 2.7 ms frames by a frame keeper (whole milliseconds a frame,
// the fraction carried) ends after 1 s of frames, not after 1 s of 2 ms frames.
TEST_F(FadeTest, FadeTimeFollowsTheKeeperWithoutDrift) {
    std::int64_t now = 0;
    trivale::FrameClock clock;
    clock.frequency = 1000000;
    clock.read = [&now] { return now; };
    clock.sleepUntil = [&now](std::int64_t tick) { now = std::max(now, tick); };
    trivale::CFrameRateKeeper keeper(clock);
    keeper.SetFrameRate(0);
    CColorFadeIn fade(1.0, 0, 0xE000, [&keeper] { return keeper.GetFrameMilliseconds() * 0.001; });
    int frames = 0;
    while (fade.IsAlive() && frames < 1000) {
        now += 2700;
        keeper.OnIdle();
        fade.Frame(1);
        ++frames;
    }
    EXPECT_EQ(frames, 372) << "1001 ms of 2.7 ms frames take 371 frames; the next one ends the fade";
}

}  // namespace
