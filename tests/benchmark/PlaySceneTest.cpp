// The play scene, its script functions and its scene cache, over the recording device with the real
// overlay, script engine and caches, on three scenes written here: "lit" (a red box, the camera "Camera",
// a light, a backdrop), "dark" (the box and the camera, no light) and "sky" (a blue box only).
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <sstream>

#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "core/Text.h"
#include "platform/Window.h"
#include "tests/benchmark/OverlayTestSupport.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace playtest {
namespace {
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// The pictures, told apart in the journal by their sizes (a layer's sheet holds cells of 128 pixels).
const std::map<std::string, std::pair<int, std::string>> kPictures = {
    {"loading.dds", {8, "loading"}},
    {"scenes/red.tga", {4, "scene"}},
    {"scenes/blue.tga", {2, "sky"}},
    {"scenes/skyhigh/small_cloud_1.dds", {256, "clouds"}},
    {"scenes/skyhigh/snow_1.dds", {512, "snow"}}};

void WriteShowFiles(const fs::path& data) {
    using namespace lwrtest;
    Motion back;
    back.z = {-10};
    const std::string red = Item("LoadObjectLayer 1 objects/red.lwo", "Object", {}),
                      eye = Item("AddCamera\nCameraName Camera", "Camera", back, "ZoomFactor 2\n"),
                      sun = Item("AddLight\nLightName Sun", "Light", {}, "LightColor 1 1 1\nLightIntensity 1\n");
    fs::create_directories(data / "scenes/skyhigh");
    std::ofstream(data / "scenes/lit.lws") << Header(0, 90) + red + sun + eye + "BackdropColor 0.2 0.3 0.5\n";
    std::ofstream(data / "scenes/dark.lws") << Header(0, 90) + red + eye;
    std::ofstream(data / "scenes/sky.lws") << Header(0, 90) + Item("LoadObjectLayer 1 objects/blue.lwo", "Object", {});
    for (const std::string colour : {"red", "blue"}) {
        T3OMaterial material = Glowing(colour.c_str(), colour == "red", 0, colour == "blue");
        material.textureName = colour + ".tga";
        WriteObject(data / "scenes" / (colour + "_000.t3o"), Box({-1, -1, -1}, {1, 1, 1}, material));
    }
    for (const auto& [name, picture] : kPictures) {
        const auto bytes = rendertest::FlatImage(picture.first, picture.first, ~0u);
        std::ofstream(data / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
}

class PlayTest : public overlaytest::OverlayTest {
protected:
    // A controller on which the one named action is pushed.
    struct Keys : trivale::CMergedController {
        bool IsPushed(const std::string& name) override { return name == pushed; }
        std::string pushed;
    };

    void SetUp() override {
        StartFake();
        overlay_.reset(CResourceScene::Instance());
        overlay_->Initialize();
        dynamic_cast<trivale::CMergedController&>(*overlay_->GetController()).AddController(&keys_);
        WriteShowFiles(data_);
    }
    void TearDown() override {
        play_.reset(), overlay_.reset();
        OverlayTest::TearDown();
    }
    // A play scene on the script, initialised, at a frame time of `seconds_`.
    void Start(const std::string& init, const std::string& main = "sleep 1000\n") {
        std::ofstream(data_ / "main.tvs") << "*OnInitialize\n" + init + "return\n*main\n" + main;
        play_ = std::make_unique<CPlayScene>([this] { return seconds_; });
        Journal(), made_.clear();
        play_->Initialize();
        Draws();  // notes the loading picture
    }
    // Runs frames until one has played (the cache was complete before it) and returns its draws.
    Lines PlayFrame(unsigned due = 1) {
        Lines drawn;
        for (bool playing = false; !playing;) {
            playing = play_->GetTextureCache().IsComplete();
            play_->Frame(due);
            drawn = Draws();
        }
        return drawn;
    }
    // The draws journalled since the last look, in order, named after their picture (the font's:
    // "text"), and "light off"; a run of the same name counts once.
    Lines Draws() {
        Lines shown;
        std::string texture;
        for (const std::string& line : Journal()) {
            for (const auto& entry : kPictures) {
                if (line.rfind("CreateTexture(" + std::to_string(entry.second.first) + ",", 0) == 0)
                    made_[line.substr(line.rfind(' ') + 1)] = entry.second.second;
            }
            if (line.rfind("SetTexture(0, ", 0) == 0) texture = line.substr(14, line.size() - 15);
            if (line == "LightEnable(0, 0)") shown.push_back("light off");
            const std::string kind = made_.count(texture) != 0 ? made_[texture] : "text";
            if (line.rfind("Draw", 0) == 0 && (shown.empty() || shown.back() != kind)) shown.push_back(kind);
        }
        return shown;
    }
    // Whether a quit was posted since the last look.
    static bool QuitPosted() {
        plat::Event event;
        bool quit = false;
        while (plat::PollEvent(&event)) quit = quit || event.type == plat::EventType::Quit;
        return quit;
    }

    Keys keys_;
    std::unique_ptr<CResourceScene> overlay_;
    std::unique_ptr<CPlayScene> play_;
    double seconds_ = 0.02;
    std::map<std::string, std::string> made_;  // the kind of each texture made since Start
};

const std::string kLit = "SetScene(\"scenes\\\\lit.lws\")\n";

// The play scene's own operations follow the scene's nine in their order; the drawing steps take no slot.
TEST(PlaySceneSlots, OwnOperationsFollowTheSceneOnesInOrder) {
    using S = CPlayScene;
    using overlaytest::InSlotOrder;
    using overlaytest::Slot;
    EXPECT_TRUE(InSlotOrder(&trivale::IScene::Kill, &S::SetScene, &S::GetSceneTime, &S::GetSceneFrame, &S::SetSceneTime,
                            &S::SetSkyScene, &S::SetCameraClip, &S::SetCamera, &S::ShowCloud, &S::ShowSnow,
                            &S::SetSnowScale, &S::PrecacheScenes, &S::TextOut, &S::TextClear, &S::GetTextFade));
    EXPECT_EQ(Slot(&S::DrawLoadingScreen), -1);
    EXPECT_EQ(Slot(&S::DrawTextLines), -1);
    EXPECT_EQ(Slot(&S::DrawParticleCount), -1);
}

// Queued textures load one a frame, the script and the time stand still; the frame after the last
// plays: the script's step first (its cloud shows at once), then sky, scene, clouds, snow, text.
TEST_F(PlayTest, LoadsThenStepsTheScriptAndDrawsSkySceneCloudsSnowText) {
    Start(kLit + "SetSkyScene(\"scenes\\\\sky.lws\")\nShowSnow()\n",
          "TextOut(\"A\")\nShowCloud()\nsleep 1\nHideCloud()\nsleep 1000\n");
    for (int i = 0; i < 2; ++i) {
        play_->Frame(1);
        EXPECT_EQ(Draws(), (Lines{"loading", "text"})) << "frame " << i;
        EXPECT_TRUE(play_->GetSceneTime() == 0.0 && play_->GetTextLines().GetLines().empty());
    }
    EXPECT_TRUE(play_->GetLayers().cloud && play_->GetLayers().snow) << "made as loading ended";
    EXPECT_EQ(PlayFrame(), (Lines{"sky", "scene", "clouds", "snow", "text"}));
    EXPECT_EQ(PlayFrame(), (Lines{"sky", "scene", "snow", "text"}));
    EXPECT_EQ(play_->GetSceneTime(), 0.04);
}

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
        Start(row.init + "SetTextFade(0, 1, 1)\n");
        EXPECT_EQ(PlayFrame(), row.drawn) << row.init;
    }
}

// At most half a second a frame for the scene, all of it for the text fade; a scene set in a playing
// frame loads at once and starts at 0 on its backdrop.
TEST_F(PlayTest, SceneTimeAndFrame) {
    for (double seconds : {0.002, 3.0}) {
        seconds_ = seconds;
        Start("SetSceneTime(5)\n", kLit + "sleep 1000\n");
        EXPECT_EQ(PlayFrame(), (Lines{"scene"}));
        EXPECT_EQ(play_->GetSceneTime(), std::min(seconds, 0.5));
        EXPECT_FLOAT_EQ(play_->GetTextFade()->GetTime(), static_cast<float>(seconds));
        EXPECT_EQ(overlay_->GetClearColor(), 0xFF334C7Fu);
    }
    const double rows[][2] = {{1.0, 30}, {0.99, 30}, {0.98, 29}, {1e300, INT_MAX}, {-1e300, INT_MIN}, {NAN, 0}};
    for (const auto& row : rows) {
        play_->SetSceneTime(row[0]);
        EXPECT_EQ(play_->GetSceneFrame(), row[1]) << row[0];
    }
}

// "cancel" quits while loading too; two frames due still step the script once.
TEST_F(PlayTest, CancelQuitsWhileLoadingAndAFrameIsOneStep) {
    Start(kLit, "TextOut(\"a\")\nsleep 1\ngoto *main\n");
    keys_.pushed = "cancel";
    play_->Frame(1);
    EXPECT_TRUE(QuitPosted());
    keys_.pushed.clear();
    PlayFrame(2);
    EXPECT_EQ(play_->GetTextLines().GetLines().size(), 1u);
}

class SceneFunctionsTest : public PlayTest {
protected:
    // The script's messages and prints since `from`, " | " between, per-line error counts left out.
    std::string Console(std::size_t from) {
        std::string text;
        for (std::size_t i = from; i < overlay_->GetConsole().size(); ++i) {
            const std::string& line = overlay_->GetConsole()[i];
            if (line.find(" error(s) in ") == std::string::npos) text += (text.empty() ? "" : " | ") + line;
        }
        return text;
    }
    // What the functions change, as words; fades added are let in, drawn once and removed.
    std::string State() {
        trivale::CSceneManager& manager = *trivale::GetApplicationDriver()->GetSceneManager();
        manager.OnFrame(1), manager.OnFrame(1), manager.RemoveAll();
        std::string screen = "none";
        for (const std::string& line : Journal()) {
            if (line.find(" (-1 -1)-(641 481) 0x") != std::string::npos) screen = line.substr(line.rfind("0x") + 2);
        }
        const PlayView& v = play_->GetView();
        const CMotionTween<float>& fade = *play_->GetTextFade();
        return trivale::FormatString(
            " scene=%d sky=%d time=%g camera=%s clip=%g,%g cloud=%d snow=%d scale=%g lines=%zu fade=%g>%g/%g "
            "counting=%d rate=%d cached=%u screen=%s quit=%d ",
            play_->GetCurrentScene() != nullptr, play_->GetSkyScene() != nullptr, play_->GetSceneTime(),
            v.camera.c_str(), v.zNear, v.zFar, v.showCloud, v.showSnow, v.snowScale,
            play_->GetTextLines().GetLines().size(), fade.GetStart(), fade.GetEnd(), fade.GetDuration(),
            overlay_->GetScoreCounter().IsCounting(),
            trivale::GetApplicationDriver()->GetFrameRateKeeper()->GetFrameRate(), play_->GetSceneCache().GetCount(),
            screen.c_str(), QuitPosted());
    }
};

// Each function's calls run in the first playing frame after `init` ("loop": none, in loop mode) and an
// overlay pass: a well-formed call, then a mismatched one; then "next" is printed unless a call waits.
TEST_F(SceneFunctionsTest, CheckArgumentsAndAct) {
    const std::string M = "script error: function call parameter mismatch | ";
    seconds_ = 0.0;
    const struct {
        std::string init, calls, console, state;
    } rows[] = {
        {"SetSceneTime(5)\n", kLit + "SetScene(1)", M + "next", "scene=1 time=0"},
        // Functions that need no scene, each well-formed then mismatched.
        {"",
         "SetSkyScene(\"scenes\\\\sky.lws\")\nSetSkyScene()\nSetCamera(\"Side\")\nSetCamera(1)\nSetCameraClip(1, "
         "2.5)\nSetCameraClip(3)\nSetSceneTime(1)\nSetSceneTime(\"2\")\nDirectoryPrecacheScenes(\"scenes\")\n"
         "DirectoryPrecacheScenes()\nTextOut(\"x\")\nTextOut(1)\nSetTextFade(2, 0.5, 1)\nSetTextFade(3, "
         "0)\nScoreCountStart()\nScoreCountStop(1)\nSetSnowScale(2)\nSetSnowScale()",
         M + M + M + M + M + M + M + M + M + "next",
         "sky=1 scene=0 camera=Side clip=1,2.5 time=1 cached=3 lines=1 fade=0.5>1/2 counting=1 scale=2"},
        {"", "SyncSceneFrame(30.0)\nSyncSceneFrame(0)", M + "script error: SyncSceneFrame: no current scene | next",
         ""},
        {kLit + "SetSceneTime(0.98)\n", "SyncSceneFrame(30)", "", "time=0.98"},  // frame 29: waits
        {kLit + "SetSceneTime(0.99)\n", "SyncSceneFrame(30)", "next", ""},
        {"SetSceneTime(2.99)\n", "SyncSceneTime(3.0)\nSyncSceneTime()", "", ""},
        {"SetSceneTime(3)\n", "SyncSceneTime(3)\nSyncSceneTime(\"3\")", M + "next", ""},
        {"SyncSceneTime(1)\n", "", "script error: cannot sleep in interrupt mode | next", ""},
        {"", "ColorFadeIn(2, 1, 0.5, 0)\nColorFadeIn(1, 1, 1)", M + "next", "screen=FFFF7F00"},
        {"", "ColorFadeIn(1, 2.0, -0.5, 0)", "next", "screen=FFFE8100"},  // bytes wrap
        {"", "ColorFadeOut(2, 1, 1, 0.5, 0)\nColorFadeOut(2, 1, 1, 0.5)", M + "next", "screen=FF7F00"},
        {"TextOut(\"a\")\n", "TextClear(1)\nTextClear()", M + "next", "lines=0"},
        {"ScoreCountStart()\n", "ScoreCountStop()\nScoreCountStart(1)", M + "next", "counting=0"},
        {"SetScoreRatio(1234.9)\nScoreCountStart()\n", "print(GetScore())\nSetScoreRatio(\"2\")",
         "1234  | " + M + "next", ""},
        {"SetScoreRatio(3e9)\nScoreCountStart()\n", "print(GetScore())\nGetScore(1)", "2147483647  | " + M + "next",
         ""},
        {"SetScoreRatio(5)\nScoreCountStart()\n", "ResetScore()\nprint(GetScore())\nResetScore(1)",
         "0  | " + M + "next", ""},
        {"SetFrameRateLimit(60)\n", "SetFrameRateLimit(0)\nSetFrameRateLimit(1.5)", M + "next", "rate=0"},
        {"ShowCloud()\n", "HideCloud()\nShowSnow()\nHideCloud(1)", M + "next", "cloud=0 snow=1"},
        {"ShowSnow()\n", "HideSnow()\nShowCloud()\nShowSnow(1)", M + "next", "cloud=1 snow=0"},
        {"", "Finish()", "next", "quit=1"},  // the overlay starts in one-shot mode
        {"loop", "Finish()", "next", "quit=0"},
    };
    for (const auto& row : rows) {
        std::size_t from = overlay_->GetConsole().size();
        overlay_->ResetScore(), overlay_->SetOneShot(row.init != "loop");
        Start(row.init == "loop" ? "" : row.init, row.calls + "\nprint(\"next\")\nsleep 1000\n");
        // One pass of the score (which may trim the console).
        if (row.init.find("ScoreCountStart") != std::string::npos)
            overlay_->Frame(1), from = overlay_->GetConsole().size();
        PlayFrame();
        EXPECT_EQ(Console(from), row.console) << row.calls;
        const std::string state = State();
        std::istringstream words(row.state);
        for (std::string word; words >> word;)
            EXPECT_NE(state.find(" " + word + " "), std::string::npos) << row.calls << ": " << word << " in" << state;
    }
}

// A fade the script starts covers the frame that starts it (drawn by the play scene after its text), and
// the manager runs it from the next pass on, once a pass; one started by "OnInitialize" is the manager's
// alone, and a fade-out starts clear.
TEST_F(PlayTest, AFadeCoversTheFrameThatStartsIt) {
    trivale::CSceneManager& manager = *trivale::GetApplicationDriver()->GetSceneManager();
    auto fades = [this] {
        Lines alphas;
        for (const std::string& line : Journal({"DrawPrimitiveUP"}))
            if (line.find(" (-1 -1)-(641 481) 0x") != std::string::npos)
                alphas.push_back(line.substr(line.rfind("0x")));
        return alphas;
    };
    Start("", "TextOut(\"A\")\nSetTextFade(0, 1, 1)\nColorFadeIn(1, 1, 1, 1)\nsleep 1000\n");
    while (!play_->GetTextureCache().IsComplete()) play_->Frame(1);
    Journal();
    play_->Frame(1);
    const Lines frame = Journal();
    const auto text =
        std::find_if(frame.begin(), frame.end(), [](const std::string& l) { return l.rfind("Draw", 0) == 0; });
    const auto fade = std::find_if(frame.begin(), frame.end(), [](const std::string& l) {
        return l.find("(641 481) 0xFFFFFFFF") != std::string::npos;
    });
    ASSERT_TRUE(fade != frame.end()) << "the starting frame is white";
    EXPECT_TRUE(text < fade) << "over the text";
    manager.OnFrame(1);  // lets it in: not drawn again in this pass
    EXPECT_EQ(fades(), Lines{});
    manager.OnFrame(1);
    EXPECT_EQ(fades(), Lines{"0xFFFFFFFF"}) << "once a pass (the driver's clock stands still here)";
    manager.RemoveAll();

    Start("ColorFadeIn(1, 1, 1, 1)\n", "ColorFadeOut(1, 0, 0, 0, 0)\nsleep 1000\n");
    while (!play_->GetTextureCache().IsComplete()) play_->Frame(1);
    fades();
    play_->Frame(1);
    EXPECT_EQ(fades(), Lines{"0x0"}) << "only the fade-out, clear";
    manager.OnFrame(1), manager.OnFrame(1);
    EXPECT_EQ(fades(), (Lines{"0xFFFFFFFF", "0x0"}));
    manager.RemoveAll();
}

class SceneCacheTest : public PlayTest {
protected:
    // The log from the latest opening precache line on, without the lines' time stamps.
    Lines PrecacheLog() {
        Lines kept;
        for (const std::string& line : log_->Lines()) {
            if (line.find("--- precaching model") != std::string::npos) kept.clear();
            if (line.find("INFO: ") != std::string::npos) kept.push_back(line.substr(line.find("INFO: ") + 6));
        }
        return kept;
    }
    trivale::type_a::CTextureCache textures_;
    CLWSceneCache cache_{&textures_};
};

// Names differing in case are one scene; a failure caches nothing and ends a precache before its
// closing line; a precache loads every ".lws" whatever the case of its extension.
TEST_F(SceneCacheTest, OneScenePerNameAndEveryLwsPrecached) {
    trivale::type_a::CLWRenderableScene* scene = cache_.GetScene("Scenes\\LIT.lws");
    EXPECT_EQ(cache_.GetScene("scenes\\lit.LWS"), scene);
    EXPECT_EQ(cache_.GetCount(), 1u);
    cache_.Clear();
    EXPECT_EQ(cache_.GetCount(), 0u);
    EXPECT_EQ(textures_.GetCount(), 1u) << "a texture cache from outside keeps its textures";
    std::ofstream(data_ / "scenes/broken.lws") << "not a scene";
    EXPECT_THROW(cache_.GetScene("scenes\\broken.lws"), trivale::EException);
    EXPECT_THROW(cache_.PrecacheDirectory("scenes", false), trivale::EException);
    EXPECT_EQ(cache_.GetCount(), 0u);
    EXPECT_EQ(PrecacheLog().back(), "precache: scenes\\broken.lws");
    fs::remove(data_ / "scenes/broken.lws");
    fs::create_directories(data_ / "empty");
    cache_.PrecacheDirectory("empty", true);
    EXPECT_EQ(PrecacheLog(), (Lines{"--- precaching model from directory ---", "--------"}));
    fs::copy_file(data_ / "scenes/lit.lws", data_ / "scenes/UPPER.LWS");
    for (const char* other : {"a.lwsx", "b.lw", "c.lwo", "lws"}) std::ofstream(data_ / "scenes" / other) << "x";
    cache_.GetScene("scenes\\sky.lws");
    cache_.PrecacheDirectory("scenes", true);
    EXPECT_EQ(PrecacheLog(), (Lines{"--- precaching model from directory ---", "precache: scenes\\UPPER.LWS",
                                    "precache: scenes\\dark.lws", "precache: scenes\\lit.lws",
                                    "precache: scenes\\sky.lws", "--------"}));
    EXPECT_EQ(cache_.GetCount(), 4u) << "the sky scene, cached before, is logged again";
}

}  // namespace
}  // namespace playtest
