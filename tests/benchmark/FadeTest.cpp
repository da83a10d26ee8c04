#include "benchmark/ColorFade.h"

#include <cmath>
#include <memory>

#include "core/Text.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;

class FadeTest : public OverlayTest {
protected:
    void SetUp() override { StartFake(); }
};

TEST_F(FadeTest, AlphaOverTimeHoldAndTheEnd) {
    // Fade-in or out, duration, hold and frame time in seconds, the alpha of each frame, and the frames
    // after which it still lives: no, negative or NaN time ends at once.
    // clang-format off
    const struct {
        bool out;
        double duration, hold, frame;
        std::vector<uint32_t> alphas;
        int aliveFrames;
    } cases[] = {
        {false, 1.0, 0.0, 0.01, {255, 252, 250, 247}, 4}, {false, 0.02, 0.0, 0.01, {255, 128, 0, 0}, 3},
        {false, 0.0, 0.0, 0.01, {0}, 0}, {false, -1.0, 0.0, 0.01, {0}, 0}, {false, NAN, 0.0, 0.01, {0}, 0},
        {true, 2.0, 1.0, 0.5, {0, 64, 128, 191, 255, 255, 255}, 6}, {true, 0.0, 0.5, 0.25, {255, 255, 255, 255}, 2},
        {true, NAN, -1.0, 0.25, {255, 255}, 0}
    };
    // clang-format on
    for (const auto& c : cases) {
        auto clock = [&c] { return c.frame; };
        const std::unique_ptr<trivale::IScene> fade =
            c.out ? std::unique_ptr<trivale::IScene>(new CColorFadeOut(c.duration, 0xFF102030, c.hold, 0xE000, clock))
                  : std::make_unique<CColorFadeIn>(c.duration, 0xFF102030, 0xE000, clock);
        std::vector<std::string> expected;
        int alive = 0;
        for (std::size_t i = 0; i < c.alphas.size(); ++i) {
            fade->Frame(1);
            alive += fade->IsAlive();
            expected.push_back(trivale::FormatString("DrawPrimitiveUP(TriangleStrip, 2, 32) (-1 -1)-(641 481) 0x%X",
                                                     c.alphas[i] << 24 | 0x102030));
        }
        EXPECT_EQ(Journal({"DrawPrimitiveUP"}), expected) << c.duration;
        EXPECT_EQ(alive, c.aliveFrames) << c.duration;
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

}  // namespace
