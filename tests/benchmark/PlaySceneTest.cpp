// The play scene: loading frames, then per frame the script step, sky, scene, clouds, snow and text,
// and the scene time.
#include <climits>
#include <cmath>

#include "tests/benchmark/PlayTestSupport.h"

namespace playtest {
namespace {

const std::string kLit = "SetScene(\"scenes\\\\lit.lws\")\n", kSky = "SetSkyScene(\"scenes\\\\sky.lws\")\n";

std::string Script(const std::string& init, const std::string& main = "sleep 1000\n") {
    return "*OnInitialize\n" + init + "return\n*main\n" + main;
}

// Textures queued by the scenes load one a frame with neither script nor time moving; the frame after
// the last plays: the script's step first (its cloud shows at once), then the world, the text.
TEST_F(PlayTest, LoadsThenStepsTheScriptAndDrawsSkySceneCloudsSnowText) {
    Start(Script(kLit + kSky + "ShowSnow()\n", "TextOut(\"A\")\nShowCloud()\nsleep 1\nHideCloud()\nsleep 1000\n"));
    const Lines loading = {"loading", "text"};
    for (int i = 0; i < 2; ++i) {
        play_->Frame(1);
        EXPECT_EQ(Draws(), loading) << "frame " << i;
        EXPECT_EQ(play_->GetSceneTime(), 0.0);
        EXPECT_TRUE(play_->GetTextLines().GetLines().empty()) << "the script waits for loading";
    }
    ASSERT_TRUE(play_->GetLayers().cloud && play_->GetLayers().snow) << "made as loading ended";
    play_->Frame(1);
    EXPECT_EQ(Draws(), (Lines{"sky", "scene", "clouds", "snow", "text"}));
    EXPECT_EQ(play_->GetSceneTime(), 0.02);
    play_->Frame(1);
    EXPECT_EQ(Draws(), (Lines{"sky", "scene", "snow", "text"}));
}

// What a playing frame draws for the scenes the script chose, and whether it turns light 0 off.
TEST_F(PlayTest, DrawsOnlyWhatThereIs) {
    const struct {
        std::string init;
        Lines drawn;
    } rows[] = {
        {"ShowCloud()\nShowSnow()\nTextOut(\"A\")\n", {"text"}},  // no scene yet: only the text
        {"SetScene(\"scenes\\\\sky.lws\")\nShowCloud()\n", {}},   // no camera: no 3D pass
        {"SetScene(\"scenes\\\\dark.lws\")\n", {"light off", "scene"}},
        {kLit + "ShowCloud()\n", {"scene", "clouds"}},
    };
    for (const auto& row : rows) {
        Start(Script(row.init + "SetTextFade(0, 1, 1)\n"));
        EXPECT_EQ(PlayFrame(), row.drawn) << row.init;
    }
}

// The scene time moves by the frame time, at most half a second a frame; the text fade by all of it.
TEST_F(PlayTest, SceneTimeMovesByTheFrameTimeAtMostHalfASecond) {
    const struct { double seconds, time; } rows[] = {{0.002, 0.002}, {3.0, 0.5}, {0.0, 0.0}};
    for (const auto& row : rows) {
        Start(Script(kLit));
        seconds_ = row.seconds;
        PlayFrame();
        EXPECT_EQ(play_->GetSceneTime(), row.time) << row.seconds;
        EXPECT_FLOAT_EQ(play_->GetTextFade()->GetTime(), static_cast<float>(row.seconds));
    }
}

// A scene set after loading loads at once, starts at time 0 and gives the clear colour.
TEST_F(PlayTest, SetSceneStartsAtTimeZeroOnItsBackdrop) {
    Start(Script("SetSceneTime(5)\n", kLit + "sleep 1000\n"));
    EXPECT_EQ(PlayFrame(), (Lines{"scene"}));
    EXPECT_EQ(play_->GetSceneTime(), 0.02);
    EXPECT_EQ(overlay_->GetClearColor(), 0xFF334C7Fu);
}

TEST_F(PlayTest, SceneFrameIsTheRoundedFrameAtThirtyFramesASecond) {
    Start(Script(""));
    play_->SetSceneTime(5.0);
    EXPECT_EQ(play_->GetSceneFrame(), 0) << "no scene";
    Start(Script(kLit));
    const struct {
        double time;
        int frame;
    } rows[] = {{1.0, 30}, {0.99, 30}, {0.98, 29}, {1e300, INT_MAX}, {-1e300, INT_MIN}, {NAN, 0}};
    for (const auto& row : rows) {
        play_->SetSceneTime(row.time);
        EXPECT_EQ(play_->GetSceneFrame(), row.frame) << row.time;
    }
}

// "cancel" quits while loading too and the frame goes on; frames due do not step the script twice.
TEST_F(PlayTest, CancelQuitsWhileLoadingAndAFrameIsOneStep) {
    Start(Script(kLit, "TextOut(\"a\")\nsleep 1\ngoto *main\n"));
    keys_.pushed = "cancel";
    play_->Frame(1);
    EXPECT_EQ(Draws(), (Lines{"loading", "text"}));
    EXPECT_TRUE(QuitPosted());
    keys_.pushed.clear();
    PlayFrame(2);
    EXPECT_EQ(play_->GetTextLines().GetLines().size(), 1u);
    EXPECT_FALSE(QuitPosted());
}

}  // namespace
}  // namespace playtest
