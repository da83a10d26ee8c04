// The show's script functions called from the script: their argument checks, their effects on the play
// scene, the overlay, the scene manager and the frame keeper, and the waits.
#include <sstream>

#include "core/Text.h"
#include "tests/benchmark/PlayTestSupport.h"

namespace playtest {
namespace {

using trivale::FormatString;

class SceneFunctionsTest : public PlayTest {
protected:
    // The script's messages and prints since `from` (per-line error counts left out), " | " between.
    std::string Console(std::size_t from) {
        std::string text;
        const auto& console = overlay_->GetConsole();
        for (std::size_t i = from; i < console.size(); ++i) {
            if (console[i].find(" error(s) in ") != std::string::npos) continue;
            text += (text.empty() ? "" : " | ") + console[i];
        }
        return text;
    }
    // What the functions change, as "key=value" words; fades added are let in, drawn once and removed.
    std::string State() {
        trivale::CSceneManager& manager = *trivale::GetApplicationDriver()->GetSceneManager();
        manager.OnFrame(1), manager.OnFrame(1), manager.RemoveAll();
        std::string screen = "none";
        for (const std::string& line : Journal()) {
            if (line.find(" (-1 -1)-(641 481) 0x") != std::string::npos) screen = line.substr(line.rfind("0x") + 2);
        }
        const PlayView& v = play_->GetView();
        CMotionTween<float>& fade = *play_->GetTextFade();
        return FormatString(
            "scene=%d sky=%d time=%g clear=%X camera=%s clip=%g,%g cloud=%d snow=%d scale=%g lines=%zu "
            "textfade=%g>%g/%g counting=%d rate=%d cached=%u screen=%s quit=%d",
            play_->GetCurrentScene() != nullptr, play_->GetSkyScene() != nullptr, play_->GetSceneTime(),
            overlay_->GetClearColor(), v.camera.c_str(), v.zNear, v.zFar, v.showCloud, v.showSnow, v.snowScale,
            play_->GetTextLines().GetLines().size(), fade.GetStart(), fade.GetEnd(), fade.GetDuration(),
            overlay_->GetScoreCounter().IsCounting(),
            trivale::GetApplicationDriver()->GetFrameRateKeeper()->GetFrameRate(), play_->GetSceneCache().GetCount(),
            screen.c_str(), QuitPosted());
    }
};

const char* const M = "script error: function call parameter mismatch | next";
const std::string kLit = "SetScene(\"scenes\\\\lit.lws\")\n";

// Each call runs in the first playing frame after `init` ran in "OnInitialize"; "next" is printed after
// it unless it waits. The state words given must all be there.
TEST_F(SceneFunctionsTest, CheckArgumentsAndAct) {
    seconds_ = 0.0;
    const struct {
        std::string init, call, console, state;
    } rows[] = {
        {"SetSceneTime(5)\n", kLit, "next", "scene=1 time=0 clear=FF334C7F"},
        {"", "SetScene(1)", M, "scene=0"},
        {"", "SetSkyScene(\"scenes\\\\sky.lws\")", "next", "sky=1 scene=0"},
        {"", "SetCamera(\"Side\")", "next", "camera=Side"},
        {"", "SetCameraClip(1, 2.5)", "next", "clip=1,2.5"},
        {"", "SetCameraClip(1.5)", M, "clip=5,1000"},
        {"", "SyncSceneFrame(30.0)", M, ""},
        {"", "SyncSceneFrame(0)", "script error: SyncSceneFrame: no current scene | next", ""},
        {kLit + "SetSceneTime(0.98)\n", "SyncSceneFrame(30)", "", "time=0.98"},  // frame 29: waits
        {kLit + "SetSceneTime(0.99)\n", "SyncSceneFrame(30)", "next", ""},
        {"SetSceneTime(2.99)\n", "SyncSceneTime(3.0)", "", ""},
        {"SetSceneTime(3)\n", "SyncSceneTime(3)", "next", ""},
        {"SyncSceneTime(1)\n", "", "script error: cannot sleep in interrupt mode | next", ""},
        {"", "SetSceneTime(1)", "next", "time=1"},
        {"", "SetSceneTime(\"1\")", M, "time=0"},
        {"", "DirectoryPrecacheScenes(\"scenes\")", "next", "cached=3"},
        {"", "DirectoryPrecacheScenes()", M, "cached=0"},
        {"", "ColorFadeIn(2, 1, 0.5, 0)", "next", "screen=FFFF7F00"},
        {"", "ColorFadeIn(1, 2.0, -0.5, 0)", "next", "screen=FFFE8100"},  // bytes wrap
        {"", "ColorFadeIn(1, 1, 1)", M, "screen=none"},
        {"", "ColorFadeOut(2, 1, 1, 0.5, 0)", "next", "screen=FF7F00"},  // from transparent
        {"", "ColorFadeOut(2, 1, 1, 0.5, \"0\")", M, "screen=none"},
        {"", "PlayMusic(1)", M, ""},
        {"", "TextOut(\"x\")", "next", "lines=1"},
        {"", "TextOut(1)", M, "lines=0"},
        {"TextOut(\"a\")\n", "TextClear()", "next", "lines=0"},
        {"TextOut(\"a\")\n", "TextClear(1)", M, "lines=1"},
        {"", "SetTextFade(2, 0.5, 1)", "next", "textfade=0.5>1/2"},
        {"", "SetTextFade(2, 0.5)", M, "textfade=0>0/1"},
        {"", "ScoreCountStart()", "next", "counting=1"},
        {"ScoreCountStart()\n", "ScoreCountStop()", "next", "counting=0"},
        {"", "ScoreCountStart(1)", M, "counting=0"},
        {"", "SetScoreRatio(\"2\")", M, ""},
        {"", "ResetScore(1)", M, ""},
        {"SetFrameRateLimit(60)\n", "SetFrameRateLimit(0)", "next", "rate=0"},
        {"SetFrameRateLimit(60)\n", "SetFrameRateLimit(1.5)", M, "rate=60"},
        {"", "ShowCloud()", "next", "cloud=1"},
        {"ShowCloud()\n", "HideCloud()", "next", "cloud=0"},
        {"", "ShowCloud(1)", M, "cloud=0"},
        {"", "ShowSnow()", "next", "snow=1"},
        {"ShowSnow()\n", "HideSnow()", "next", "snow=0"},
        {"", "SetSnowScale(2)", "next", "scale=2"},
        {"", "SetSnowScale()", M, "scale=1"},
        {"", "Finish()", "next", "quit=1"},  // the overlay starts in one-shot mode
        {"", "Finish(0)", M, "quit=0"},
    };
    for (const auto& row : rows) {
        const std::size_t from = overlay_->GetConsole().size();
        Start("*OnInitialize\n" + row.init + "return\n*main\n" + row.call + "\nprint(\"next\")\nsleep 1000\n");
        PlayFrame();
        EXPECT_EQ(Console(from), row.console) << row.call;
        const std::string state = " " + State() + " ";
        std::istringstream words(row.state);
        for (std::string word; words >> word;)
            EXPECT_NE(state.find(" " + word + " "), std::string::npos) << row.call << ": " << word << " in" << state;
    }
}

// GetScore truncates, saturating; ResetScore keeps the score; Finish does nothing in loop mode.
TEST_F(SceneFunctionsTest, ScoreAndFinishInLoopMode) {
    overlay_->SetOneShot(false);
    Start(
        "*OnInitialize\nSetScoreRatio(1234.9)\nScoreCountStart()\nreturn\n*main\nprint(GetScore())\n"
        "SetScoreRatio(3000000000.0)\nsleep 1\nprint(GetScore())\nResetScore()\nFinish()\nsleep 1000\n");
    const std::size_t from = overlay_->GetConsole().size();
    overlay_->Frame(1);
    PlayFrame();
    overlay_->Frame(1);
    PlayFrame();
    EXPECT_EQ(Console(from), "1234  | 2147483647 ");
    EXPECT_GT(overlay_->GetScoreCounter().GetPrevious(), 3e9f);
    EXPECT_EQ(overlay_->GetScore(), 0.0f);
    EXPECT_FALSE(QuitPosted());
}

// The music manager opens the file the script names: a missing one ends the frame with its error.
TEST_F(SceneFunctionsTest, PlayMusicOfAMissingFileThrows) {
    Start("*OnInitialize\nreturn\n*main\nPlayMusic(\"music\\\\none.ogg\")\n");
    EXPECT_THROW(PlayFrame(), trivale::EException);
}

}  // namespace
}  // namespace playtest
