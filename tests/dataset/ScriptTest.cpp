// The show's script run through the real script engine, frame by frame against a simulated scene
// clock, with stand-ins for the 26 show functions: it must run clean from start to Finish, use every
// function, keep to the scenes, cameras and files of the data set, and last about four minutes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/script/ScriptTestSupport.h"

namespace {

using namespace script_test;
using trivale::type_a::simple_script::FactorType;
using Context = CSimpleScriptEngine;

constexpr double kFrameSeconds = 0.02;

// The files and folders the data set holds for the script to name.
const std::set<std::string> kShowFiles = {"scenes\\skyhigh\\sky.lws", "scenes\\valley\\valley.lws",
                                          "scenes\\ridge\\ridge.lws", "scenes\\lake\\lake.lws",
                                          "music\\winter.ogg",        "music\\lake.ogg",
                                          "music\\results.wav"};
const std::set<std::string> kShowFolders = {"scenes"};

// Each scene's length and the camera meant for each stretch of it (from its start time on).
struct SceneTiming {
    double seconds;
    std::map<double, std::string> cameras;
};
const std::map<std::string, SceneTiming> kScenes = {
    {"scenes\\valley\\valley.lws", {75.0, {{0.0, "Camera"}, {30.0, "CamLow"}, {50.0, "CamCrane"}}}},
    {"scenes\\ridge\\ridge.lws", {70.0, {{0.0, "Camera"}, {40.0, "CamHigh"}}}},
    {"scenes\\lake\\lake.lws", {60.0, {{0.0, "Camera"}, {35.0, "CamIce"}}}},
};

// What the stand-in play scene and overlay keep.
struct Show {
    std::map<std::string, int> calls;
    std::vector<std::string> files, folders, texts;
    std::string scene, camera;
    double sceneTime = 0.0, score = 0.0, ratio = 1.0;
    bool counting = false, finished = false;
};

class ShowScript : public ::testing::Test {
protected:
    void SetUp() override {
        const FactorType I = TYPE_INT, F = TYPE_FLOAT, S = TYPE_STRING;
        auto none = [](Show&, const Args&) {};
        auto file = [](Show& s, const Args& a) { s.files.push_back(a[0].GetStringValue()); };
        const std::vector<Function> table = {
            {"SetScene",
             {S},
             [](Show& s, const Args& a) {
                 s.files.push_back(a[0].GetStringValue());
                 s.scene = a[0].GetStringValue();
                 s.sceneTime = 0.0;
             }},
            {"SetSkyScene", {S}, file},
            {"SetCamera", {S}, [](Show& s, const Args& a) { s.camera = a[0].GetStringValue(); }},
            {"SetCameraClip", {F, F}, none},
            {"SyncSceneFrame", {I}, none},
            {"SyncSceneTime", {F}, none},
            {"SetSceneTime", {F}, [](Show& s, const Args& a) { s.sceneTime = a[0].ToDouble(); }},
            {"DirectoryPrecacheScenes",
             {S},
             [](Show& s, const Args& a) { s.folders.push_back(a[0].GetStringValue()); }},
            {"ColorFadeIn", {F, F, F, F}, none},
            {"ColorFadeOut", {F, F, F, F, F}, none},
            {"PlayMusic", {S}, file},
            {"TextOut", {S}, [](Show& s, const Args& a) { s.texts.push_back(a[0].GetStringValue()); }},
            {"TextClear", {}, none},
            {"SetTextFade", {F, F, F}, none},
            {"ScoreCountStart", {}, [](Show& s, const Args&) { s.counting = true; }},
            {"ScoreCountStop", {}, [](Show& s, const Args&) { s.counting = false; }},
            {"GetScore", {}, none},
            {"SetScoreRatio", {F}, [](Show& s, const Args& a) { s.ratio = a[0].ToDouble(); }},
            {"ResetScore", {}, [](Show& s, const Args&) { s.score = 0.0; }},
            {"SetFrameRateLimit", {I}, none},
            {"ShowCloud", {}, none},
            {"HideCloud", {}, none},
            {"ShowSnow", {}, none},
            {"HideSnow", {}, none},
            {"SetSnowScale", {F}, none},
            {"Finish", {}, [](Show& s, const Args&) { s.finished = true; }},
        };
        ASSERT_EQ(26u, table.size());
        auto set = std::make_shared<CCustomFunctionSet>();
        for (const Function& f : table) {
            names_.push_back(f.name);
            Add(*set, f.name, [this, f](CStandardCustomFunction& self, Context& c, const Args& a) {
                if (!Check(self, c, a, f.types)) return IntResult(c, 0);
                ++show_.calls[f.name];
                f.body(show_, a);
                // The waiting idiom of the real functions: sleep a frame and run this line again.
                const bool wait = (f.name == "SyncSceneFrame" && a[0].GetIntValue() > Frame()) ||
                                  (f.name == "SyncSceneTime" && show_.sceneTime < a[0].ToDouble());
                if (wait && c.Sleep(1)) c.SetProgramCounter(c.GetProgramCounter() - 1);
                return IntResult(c, f.name == "GetScore" ? static_cast<std::int32_t>(show_.score) : 0);
            });
        }
        std::ifstream in(TV_CONTENT_DIR "/main.tvs", std::ios::binary);
        ASSERT_TRUE(in);
        LoadSource(source_, std::string(std::istreambuf_iterator<char>(in), {}));
        source_.SetName("main.tvs");
        engine_.SetListener(&recorder_);
        trivale::type_a::simple_script::standard_library::RegisterStandardLibrary(engine_);
        engine_.AddCustomFunctionSet(set);
        engine_.SetSource(&source_);
        engine_.Reset();
    }

    struct Function {
        std::string name;
        std::vector<FactorType> types;
        std::function<void(Show&, const Args&)> body;
    };

    static bool Check(CStandardCustomFunction& self, Context& c, const Args& a, const std::vector<FactorType>& t) {
        switch (t.size()) {
        case 0:
            return self.CheckArgumentsOrReport(c, a, 0, {});
        case 1:
            return self.CheckArgumentsOrReport(c, a, 1, {t[0]});
        case 2:
            return self.CheckArgumentsOrReport(c, a, 2, {t[0], t[1]});
        case 3:
            return self.CheckArgumentsOrReport(c, a, 3, {t[0], t[1], t[2]});
        case 4:
            return self.CheckArgumentsOrReport(c, a, 4, {t[0], t[1], t[2], t[3]});
        default:
            return self.CheckArgumentsOrReport(c, a, 5, {t[0], t[1], t[2], t[3], t[4]});
        }
    }

    int Frame() const { return static_cast<int>(std::trunc(30.0 * show_.sceneTime + 0.5)); }

    CSimpleScriptSource source_;
    CSimpleScriptEngine engine_;
    Recorder recorder_;
    Show show_;
    std::vector<std::string> names_;
};

TEST_F(ShowScript, RunsCleanFromStartToFinish) {
    engine_.Interrupt("OnInitialize");
    engine_.Goto("main");
    int frames = 0;
    std::map<std::string, double> longest;
    std::vector<std::string> wrongCamera;
    for (; frames < 20000 && !show_.finished; ++frames) {
        engine_.Run();
        if (kScenes.count(show_.scene) != 0 && !show_.finished) {
            // The camera the scene was made for at this time, allowing a frame either side of a change.
            const auto& cams = kScenes.at(show_.scene).cameras;
            const auto early = --cams.upper_bound(show_.sceneTime + 0.05);
            const auto late = --cams.upper_bound(std::max(0.0, show_.sceneTime - 0.05));
            if (show_.camera != early->second && show_.camera != late->second)
                wrongCamera.push_back(show_.scene + " " + show_.camera + " " + std::to_string(show_.sceneTime));
            longest[show_.scene] = std::max(longest[show_.scene], show_.sceneTime);
        }
        if (show_.counting) show_.score += show_.ratio;
        show_.sceneTime += kFrameSeconds;
    }
    EXPECT_TRUE(show_.finished);
    EXPECT_NEAR(230.0, frames * kFrameSeconds, 20.0);
    std::vector<std::string> messages;  // errors, warnings and their summaries; prints are fine
    for (const std::string& line : recorder_.lines)
        if (line.compare(0, 2, "P ") != 0) messages.push_back(line);
    EXPECT_EQ(std::vector<std::string>(), messages);

    for (const std::string& name : names_) EXPECT_GT(show_.calls[name], 0) << name;
    EXPECT_TRUE(wrongCamera.empty()) << wrongCamera.front();
    for (const auto& [scene, seconds] : longest) EXPECT_LE(seconds, kScenes.at(scene).seconds) << scene;
    for (const std::string& f : show_.files) EXPECT_EQ(1u, kShowFiles.count(f)) << f;
    for (const std::string& f : show_.folders) EXPECT_EQ(1u, kShowFolders.count(f)) << f;

    // Every prefix form of a text line, and only what the fonts hold (0x20-0x5F).
    std::set<std::string> forms;
    for (const std::string& t : show_.texts) {
        const bool prefixed = t.size() >= 3 && (t[0] == '@' || t[0] == '$');
        forms.insert(prefixed ? t.substr(0, 2) : "none");
        if (prefixed) forms.insert(t.substr(0, 1) + t[2]);
        const std::string body = prefixed ? t.substr(3) : t;
        EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char ch) { return ch >= 0x20 && ch <= 0x5F; })) << t;
    }
    EXPECT_EQ(std::set<std::string>(
                  {"$0", "$1", "$2", "$3", "$c", "$l", "$r", "@0", "@1", "@2", "@3", "@c", "@l", "@r", "none"}),
              forms);
}

}  // namespace
