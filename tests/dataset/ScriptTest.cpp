// The show's script run through the real script engine, frame by frame against a simulated scene
// clock, with stand-ins for the 26 show functions: it must run clean from start to Finish, use every
// function, keep to the scenes, cameras and files of the data set, and last about four minutes; its fades
// and its snow are followed frame by frame at many frame rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
const std::set<std::string> kShowFiles = {
    "scenes\\skyhigh\\sky.lws",   "scenes\\skydusk\\sky.lws", "scenes\\skynight\\sky.lws",
    "scenes\\valley\\valley.lws", "scenes\\ridge\\ridge.lws", "scenes\\lake\\lake.lws",
    "music\\winter.ogg",          "music\\lake.ogg",          "music\\results.wav"};
const std::set<std::string> kShowFolders = {"scenes"};

// Each scene's length and the camera meant for each stretch of it (from its start time on).
struct SceneTiming {
    double seconds;
    std::map<double, std::string> cameras;
};
const std::map<std::string, SceneTiming> kScenes = {
    {"scenes\\valley\\valley.lws", {75.0, {{0.0, "Camera"}, {30.0, "CamLow"}, {50.0, "CamCrane"}}}},
    {"scenes\\ridge\\ridge.lws", {70.0, {{0.0, "Camera"}, {40.0, "CamHigh"}}}},
    {"scenes\\lake\\lake.lws", {60.0, {{0.0, "Camera"}}}},  // one camera: the scene text is version 1
};

// The 26 show functions and their arguments (i int, f float, s string).
const std::vector<std::pair<std::string, std::string>> kFunctions = {
    {"SetScene", "s"},       {"SetSkyScene", "s"},
    {"SetCamera", "s"},      {"SetCameraClip", "ff"},
    {"SyncSceneFrame", "i"}, {"SyncSceneTime", "f"},
    {"SetSceneTime", "f"},   {"DirectoryPrecacheScenes", "s"},
    {"ColorFadeIn", "ffff"}, {"ColorFadeOut", "fffff"},
    {"PlayMusic", "s"},      {"TextOut", "s"},
    {"TextClear", ""},       {"SetTextFade", "fff"},
    {"ScoreCountStart", ""}, {"ScoreCountStop", ""},
    {"GetScore", ""},        {"SetScoreRatio", "f"},
    {"ResetScore", ""},      {"SetFrameRateLimit", "i"},
    {"ShowCloud", ""},       {"HideCloud", ""},
    {"ShowSnow", ""},        {"HideSnow", ""},
    {"SetSnowScale", "f"},   {"Finish", ""}};

// A colour fade as the fade scenes draw it, from the frame that starts it: how much of the screen it covers.
struct Fade {
    bool in = false;
    double duration = 0.0, hold = 0.0, elapsed = 0.0;
    bool alive = true;

    // This frame's cover; then the frame's time passes on the fade's own clock.
    double Frame(double seconds) {
        if (!alive) return 0.0;
        if (in) {
            if (duration <= 0.0 || elapsed > duration) return alive = false, 0.0;
            const double cover = 1.0 - elapsed / duration;
            elapsed += seconds;
            return cover;
        }
        if (elapsed < duration) {
            const double cover = elapsed / duration;
            elapsed += seconds;
            return cover;
        }
        if (duration + hold > elapsed) {
            elapsed += seconds;
        } else {
            alive = false;
        }
        return 1.0;
    }
};

// What a frame showed.
struct Shown {
    double cover;   // of the fades together, 1 where nothing of the scene shows
    bool sceneSet;  // the script set a scene in this frame
    bool fadingIn;  // a fade-in covers some of it
    bool snow;      // snow shown, with the near plane and the snow scale
    double zNear, snowScale;
    bool fadeOut;  // the script started a fade-out that takes time (not a cover at once) in this frame
    bool fadeIn;   // the script started a fade-in in this frame
    bool finish;   // the script called Finish in this frame
};

// The stand-in play scene and overlay: what they keep of the calls, and a scene clock.
struct Show {
    std::map<std::string, int> calls;
    std::vector<std::string> files, folders, texts;
    std::string scene, camera;
    double sceneTime = 0.0, score = 0.0, ratio = 1.0;
    bool counting = false;
    int pass = 0;                          // the frame the script is stepping in
    std::map<std::string, int> firstPass;  // the frame of each function's first call
    std::vector<Fade> fades;
    std::vector<int> hiddenSteps;  // of each fade-in, the frames it moved on under another fade's full cover
    std::vector<Shown> frames;
    bool sceneSet = false, snow = false, fadeOut = false, fadeIn = false, finish = false;
    double zNear = 5.0, snowScale = 1.0;

    int Frame() const { return static_cast<int>(std::trunc(30.0 * sceneTime + 0.5)); }

    // The effect of one accepted call; true when the call has to wait for the scene clock.
    bool Apply(const std::string& name, const Args& a) {
        ++calls[name];
        firstPass.emplace(name, pass);
        const std::string text = a.empty() ? std::string() : a[0].GetStringValue();
        if (name == "SetScene") scene = text, sceneTime = 0.0;
        if (name == "SetScene" || name == "SetSkyScene" || name == "PlayMusic") files.push_back(text);
        if (name == "DirectoryPrecacheScenes") folders.push_back(text);
        if (name == "SetCamera") camera = text;
        if (name == "TextOut") texts.push_back(text);
        if (name == "SetSceneTime") sceneTime = a[0].ToDouble();
        if (name == "SetScoreRatio") ratio = a[0].ToDouble();
        if (name == "ScoreCountStart" || name == "ScoreCountStop") counting = name == "ScoreCountStart";
        if (name == "ResetScore") score = 0.0;
        sceneSet = sceneSet || name == "SetScene";
        finish = finish || name == "Finish";
        if (name == "ShowSnow" || name == "HideSnow") snow = name == "ShowSnow";
        if (name == "SetSnowScale") snowScale = a[0].ToDouble();
        if (name == "SetCameraClip") zNear = a[0].ToDouble();
        if (name == "ColorFadeIn" || name == "ColorFadeOut") {
            Fade fade;
            fade.in = name == "ColorFadeIn";
            fade.duration = a[0].ToDouble();
            fade.hold = fade.in ? 0.0 : a[1].ToDouble();
            fades.push_back(fade);
            hiddenSteps.push_back(0);
            fadeIn = fadeIn || fade.in;
            fadeOut = fadeOut || (!fade.in && fade.duration > 0.0);
        }
        return (name == "SyncSceneFrame" && a[0].GetIntValue() > Frame()) ||
               (name == "SyncSceneTime" && sceneTime < a[0].ToDouble());
    }

    // The frame after its script step: every live fade draws once, then the frame's time passes; the scene
    // clock moves on by at most half a second, as the play scene's does.
    void EndFrame(double seconds) {
        std::vector<double> covers;
        double clear = 1.0;
        bool fadingIn = false;
        for (Fade& fade : fades) {
            covers.push_back(fade.Frame(seconds));
            clear *= 1.0 - covers.back();
            fadingIn = fadingIn || (fade.in && covers.back() > 0.0);
        }
        for (std::size_t i = 0; i < fades.size(); ++i) {
            if (!fades[i].in || covers[i] <= 0.0 || covers[i] >= 1.0) continue;
            double others = 1.0;
            for (std::size_t j = 0; j < fades.size(); ++j)
                if (j != i) others *= 1.0 - covers[j];
            if (others <= 0.0) ++hiddenSteps[i];
        }
        frames.push_back({1.0 - clear, sceneSet, fadingIn, snow, zNear, snowScale, fadeOut, fadeIn, finish});
        sceneSet = fadeOut = fadeIn = finish = false;
        if (counting) score += ratio;
        sceneTime += std::min(seconds, 0.5);
    }
};

class ShowScript : public ::testing::Test {
protected:
    void SetUp() override {
        auto set = std::make_shared<CCustomFunctionSet>();
        for (const auto& [name, signature] : kFunctions) {
            std::vector<FactorType> t(5, TYPE_INT);
            for (std::size_t i = 0; i < signature.size(); ++i)
                t[i] = signature[i] == 'i' ? TYPE_INT : signature[i] == 'f' ? TYPE_FLOAT : TYPE_STRING;
            const int count = static_cast<int>(signature.size());
            Add(*set, name, [this, name = name, t, count](CStandardCustomFunction& self, Context& c, const Args& a) {
                if (!self.CheckArgumentsOrReport(c, a, count, {t[0], t[1], t[2], t[3], t[4]})) return IntResult(c, 0);
                // The waiting idiom of the real functions: sleep a frame and run this line again.
                if (show_.Apply(name, a) && c.Sleep(1)) c.SetProgramCounter(c.GetProgramCounter() - 1);
                return IntResult(c, name == "GetScore" ? static_cast<std::int32_t>(show_.score) : 0);
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

    CSimpleScriptSource source_;
    CSimpleScriptEngine engine_;
    Recorder recorder_;
    Show show_;
};

// Twice round, as in loop mode, where Finish does nothing and the show starts again.
TEST_F(ShowScript, RunsCleanFromStartToFinishTwice) {
    engine_.Interrupt("OnInitialize");
    engine_.Goto("main");
    int frames = 0, firstRun = 0;
    std::map<std::string, double> longest;
    std::vector<std::string> wrongCamera;
    for (; frames < 40000 && show_.calls["Finish"] < 2; ++frames) {
        engine_.Run();
        if (firstRun == 0 && show_.calls["Finish"] == 1) firstRun = frames + 1;
        if (kScenes.count(show_.scene) != 0) {
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
    EXPECT_EQ(2, show_.calls["Finish"]);
    EXPECT_NEAR(230.0, firstRun * kFrameSeconds, 20.0);
    std::vector<std::string> messages;  // errors, warnings and their summaries; prints are fine
    for (const std::string& line : recorder_.lines)
        if (line.compare(0, 2, "P ") != 0) messages.push_back(line);
    EXPECT_EQ(std::vector<std::string>(), messages);

    for (const auto& f : kFunctions) EXPECT_GT(show_.calls[f.first], 0) << f.first;
    EXPECT_TRUE(wrongCamera.empty()) << wrongCamera.front();
    for (const auto& [scene, seconds] : longest) EXPECT_LE(seconds, kScenes.at(scene).seconds) << scene;
    for (const std::string& f : show_.files) EXPECT_EQ(1u, kShowFiles.count(f)) << f;
    for (const std::string& f : show_.folders) EXPECT_EQ(1u, kShowFolders.count(f)) << f;

    // The second run shows the first run's total as its previous score.
    const auto previous = std::find_if(show_.texts.rbegin(), show_.texts.rend(),
                                       [](const std::string& t) { return t.find("PREVIOUS") != std::string::npos; });
    const auto total = std::find_if(show_.texts.begin(), show_.texts.end(),
                                    [](const std::string& t) { return t.find("TOTAL") != std::string::npos; });
    ASSERT_TRUE(previous != show_.texts.rend() && total != show_.texts.end());
    EXPECT_EQ(total->substr(total->rfind(' ')), previous->substr(previous->rfind(' ')));

    // The second run's results, one block read top to bottom: the scores, each line as wide as TOTAL at
    // double size and their numbers ending at one column, the sum under them, the previous run apart from
    // it after an empty line, the thanks last.
    const auto heading = std::find(show_.texts.rbegin(), show_.texts.rend(), "$1cRESULTS");
    ASSERT_TRUE(heading != show_.texts.rend());
    const std::vector<std::string> results(heading.base() - 1, show_.texts.end());
    ASSERT_EQ(results.size(), 8u);
    for (int i : {1, 2, 3, 6}) {
        EXPECT_EQ(results[i].size(), 3u + 28u) << results[i];
        EXPECT_NE(results[i].back(), ' ') << results[i];
    }
    EXPECT_EQ(results[4].rfind("$1cTOTAL ", 0), 0u) << results[4];
    EXPECT_EQ(results[4].size(), 3u + 14u) << results[4];
    EXPECT_EQ(results[5], "");
    EXPECT_EQ(results[6].rfind("@0cPREVIOUS RUN ", 0), 0u) << results[6];
    EXPECT_EQ(results[7], "@0cTHANK YOU FOR WATCHING");

    // Every prefix form of a text line, only what the fonts hold (0x20-0x5F), and no line too wide.
    std::set<std::string> forms;
    for (const std::string& t : show_.texts) {
        const bool prefixed = t.size() >= 3 && (t[0] == '@' || t[0] == '$');
        forms.insert(prefixed ? t.substr(0, 2) : "none");
        if (prefixed) forms.insert(t.substr(0, 1) + t[2]);
        const std::string body = prefixed ? t.substr(3) : t;
        EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char ch) { return ch >= 0x20 && ch <= 0x5F; })) << t;
        // 640 pixels wide, 16-pixel glyphs, a two-glyph margin each side: 36 glyphs, 18 at double size.
        EXPECT_LE(body.size() * (t[0] == '$' && prefixed ? 2 : 1), 36u) << t;
    }
    EXPECT_EQ(std::set<std::string>(
                  {"$0", "$1", "$2", "$3", "$c", "$l", "$r", "@0", "@1", "@2", "@3", "@c", "@l", "@r", "none"}),
              forms);
}

// One run of the show, as the play scene steps it: a frame of script, then the frame's fades, time and score.
// `runs` times round, as in loop mode.
template <class FrameSeconds>
void RunOnce(CSimpleScriptEngine& engine, Show& show, FrameSeconds frameSeconds, int passes = 20000, int runs = 1) {
    engine.Interrupt("OnInitialize");
    engine.Goto("main");
    for (show.pass = 0; show.pass < passes && show.calls["Finish"] < runs; ++show.pass) {
        engine.Run();
        show.EndFrame(frameSeconds(show.pass));
    }
}
// The same from a fresh start, each frame taking the time given; the frames as they were shown.
const std::vector<Shown>& RunAfresh(CSimpleScriptEngine& engine, Show& show,
                                    const std::function<double(int)>& frameSeconds, int runs = 1) {
    show = Show();
    engine.Reset();
    RunOnce(engine, show, frameSeconds, 100000, runs);
    return show.frames;
}
void RunOnce(CSimpleScriptEngine& engine, Show& show) {
    RunOnce(engine, show, [](int) { return kFrameSeconds; });
}

// Frame times a show may meet: steady ones from fast to slow, uneven ones, and stalls longer than the
// scene clock's longest step.
const std::vector<std::pair<std::string, std::function<double(int)>>> kFrameTimes = {
    {"120 fps", [](int) { return 1.0 / 120.0; }},
    {"60 fps", [](int) { return 1.0 / 60.0; }},
    {"50 fps", [](int) { return 0.02; }},
    {"30 fps", [](int) { return 1.0 / 30.0; }},
    {"14 fps", [](int) { return 0.07; }},
    {"8 fps", [](int) { return 0.13; }},
    {"uneven",
     [](int pass) {
         return std::array<double, 5>{0.011, 0.047, 0.023, 0.09, 0.016}[pass % 5];
     }},
    {"stalls", [](int pass) { return pass % 53 == 52 ? 0.7 : 0.02; }},
    // A machine under heavy load: every frame longer than the scene clock's longest step.
    {"1 fps", [](int) { return 1.0; }},
    {"0.5 fps", [](int) { return 2.0; }},
    {"slow uneven",
     [](int pass) {
         return std::array<double, 5>{0.7, 1.6, 0.9, 2.2, 1.2}[pass % 5];
     }},
};

// The white is asked for in a frame before the one that first sets the valley: that frame is drawn white
// and stays on the screen while the next one sets the valley up behind it.
TEST_F(ShowScript, TheOpeningFadeIsInPlaceBeforeTheFirstSceneIsDrawn) {
    RunOnce(engine_, show_);
    ASSERT_EQ(1, show_.calls["Finish"]);
    ASSERT_EQ(1u, show_.firstPass.count("ColorFadeIn"));
    EXPECT_LT(show_.firstPass["ColorFadeIn"], show_.firstPass["SetScene"]);
}

// The log carries each part's score, one line each in the form "<part> score N", before the total, and
// the parts add up to it.
TEST_F(ShowScript, LogsEachPartsScoreBeforeTheTotalTheyAddUpTo) {
    RunOnce(engine_, show_);
    ASSERT_EQ(1, show_.calls["Finish"]);
    std::vector<std::string> prints;
    for (const std::string& line : recorder_.lines)
        if (line.compare(0, 2, "P ") == 0) prints.push_back(line.substr(2));
    const char* const parts[] = {"valley", "ridge", "lake", "total"};
    ASSERT_EQ(prints.size(), 4u) << ::testing::PrintToString(prints);
    long long values[4] = {};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(prints[std::size_t(i)]);
        const std::string head = std::string(parts[i]) + " score ";
        ASSERT_EQ(prints[std::size_t(i)].rfind(head, 0), 0u);
        const std::string number = prints[std::size_t(i)].substr(head.size());
        ASSERT_FALSE(number.empty());
        ASSERT_TRUE(std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }));
        values[i] = std::stoll(number);
        EXPECT_GT(values[i], 0);
    }
    EXPECT_EQ(values[0] + values[1] + values[2], values[3]);
}

// Every change of scene after the opening is made behind full cover, and the scene comes out of it as the
// opening comes out of white: from the frame that starts the fade into it, the cover only rises, up to
// full cover by the change, so no frame of the old scene comes back inside it; after the change it only
// falls, the first frame not fully covered is a fade-in's, and that fade-in moved on behind full cover for
// a frame at most. Twice round, as in loop mode: the results go into white and the valley comes out of it
// as at the opening, set up a frame after the white's fade-in starts. A one-shot run ends on the frame
// that calls Finish, fully white, the white on the screen half a second before it.
TEST_F(ShowScript, EveryCutFromBlackSetsTheSceneBehindItAndFadesInFromItsFirstStep) {
    for (const auto& [name, frameSeconds] : kFrameTimes) {
        SCOPED_TRACE(name);
        const std::vector<Shown>& frames = RunAfresh(engine_, show_, frameSeconds, 2);
        ASSERT_EQ(2, show_.calls["Finish"]);
        for (std::size_t i = 0; i < show_.hiddenSteps.size(); ++i) EXPECT_LE(show_.hiddenSteps[i], 1) << "fade " << i;
        // Into the cover: from the frame that started the fade-out before `covered` up to it.
        const auto coveredFrom = [&frames](std::size_t covered) {
            std::size_t out = covered;
            while (out > 0 && !frames[out].fadeOut) --out;
            ASSERT_TRUE(frames[out].fadeOut) << "no fade-out before frame " << covered;
            for (std::size_t i = out; i < covered; ++i)
                EXPECT_LE(frames[i].cover, frames[i + 1].cover) << "frame " << i + 1 << " before " << covered;
            EXPECT_EQ(frames[covered].cover, 1.0) << "frame " << covered;
        };
        int cuts = 0;
        for (std::size_t set = 0; set < frames.size(); ++set) {
            if (!frames[set].sceneSet || show_.firstPass["SetScene"] == static_cast<int>(set)) continue;
            ++cuts;
            const bool behindFadeIn = frames[set - 1].fadeIn;
            coveredFrom(behindFadeIn ? set - 1 : set);
            std::size_t i = set;
            for (; i + 1 < frames.size() && frames[i].cover >= 1.0;) ++i;
            // A fade-in no longer than a frame is over in its second one.
            EXPECT_TRUE(frames[i].fadingIn || frames[i - 1].fadingIn) << "frame " << i << " after " << set;
            for (; i + 1 < frames.size() && frames[i].cover > 0.0; ++i)
                EXPECT_LE(frames[i + 1].cover, frames[i].cover) << "frame " << i + 1 << " after " << set;
        }
        EXPECT_EQ(cuts, 7);
        const auto finish = std::find_if(frames.begin(), frames.end(), [](const Shown& f) { return f.finish; });
        ASSERT_NE(finish, frames.end());
        coveredFrom(static_cast<std::size_t>(finish - frames.begin()));
        // The white stays on the screen half a second of frames before the window closes.
        double white = 0.0;
        for (auto f = finish; f != frames.begin() && std::prev(f)->cover >= 1.0; --f)
            white += frameSeconds(static_cast<int>(std::prev(f) - frames.begin()));
        EXPECT_GE(white, 0.45) << "white before the end";
    }
}

// A near plane set past the first lattice cell (70 x the snow scale) thins the snow, as the play scene does:
// every eighth of a cell it moves on doubles the band over which the flakes go, so a frame that moves it on
// by an eighth of a cell or less takes at most half of them. Before the snow stops in view it thinned for
// three seconds or more, and the plane stood half a cell past that cell, where few flakes are left.
TEST_F(ShowScript, TheSnowThinsOutBeforeItStopsInView) {
    for (const auto& [name, frameSeconds] : kFrameTimes) {
        SCOPED_TRACE(name);
        const std::vector<Shown>& frames = RunAfresh(engine_, show_, frameSeconds);
        ASSERT_EQ(1, show_.calls["Finish"]);
        const auto past = [&frames](std::size_t i) {
            const double cell = 70.0 * frames[i].snowScale;
            return std::max(0.0, (frames[i].zNear - cell) / cell);
        };
        int stops = 0;
        for (std::size_t end = 1; end < frames.size(); ++end) {
            if (!frames[end - 1].snow || frames[end].snow || frames[end].cover >= 1.0) continue;
            ++stops;
            EXPECT_GE(past(end - 1), 0.5) << "frame " << end;
            double seconds = 0.0;
            for (std::size_t i = end - 1; i > 0 && frames[i - 1].snow && past(i) > 0.0; --i) {
                seconds += frameSeconds(static_cast<int>(i));
                EXPECT_LE(past(i) - past(i - 1), 0.125) << "frame " << i;
            }
            EXPECT_GE(seconds, 3.0) << "frame " << end;
        }
        EXPECT_EQ(stops, 1);
    }
}

}  // namespace
