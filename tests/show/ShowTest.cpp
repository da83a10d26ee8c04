// The whole show from the data set the build makes, played once in this process under the offscreen
// driver at 640 x 480 on a clock of its own: every frame is a quarter of a second of show, so its four
// minutes pass in under a thousand frames. It must run its script to "Finish" without one script error
// or warning, and frames read back at chosen moments must show what the script put there: captions that
// stand out from the picture behind them, and each part in the colours of its own sky.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include <unistd.h>

#include "app_framework/StandardScene.h"
#include "benchmark/Application.h"
#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "core/ArchiveFileLoader.h"
#include "core/DataLoader.h"
#include "core/Log.h"
#include "devices/GameApplicationDriverDX9.h"
#include "gfxkit/Math3D.h"
#include "render/RenderDevice.h"

// Leak checking stays with the other suites: the GL driver is unloaded before this program ends, and
// what it leaves behind can then no longer be told from ours by name.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

using namespace trivale;

const std::int64_t kFrequency = 1000000;
const std::int64_t kStep = kFrequency / 4;
const int kMostFrames = 3000;

// The driver, reading the data folder `data` and timed by `clock` alone (a sleep moves it on),
// initialised; null when it could not be.
CGameApplicationDriverDX9* InitializeOnFakeClock(const std::string& data, std::int64_t& clock) {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    driver->UseFileSystem(data);
    FrameClock fake;
    fake.read = [&clock] { return clock; };
    fake.frequency = kFrequency;
    fake.sleepUntil = [&clock](std::int64_t tick) { clock = std::max(clock, tick); };
    driver->SetFrameClock(fake);
    return driver->Initialize() ? driver : nullptr;
}

struct Picture {
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, top row first
    std::uint32_t width = 0, height = 0;

    int Luma(std::uint32_t x, std::uint32_t y) const {
        const std::uint32_t p = pixels[y * width + x];
        return static_cast<int>(((p >> 16) & 255) * 3 + ((p >> 8) & 255) * 6 + (p & 255)) / 10;
    }
    // Mean and spread of the luma over the main view (the bars above and below left out).
    void Statistics(double& mean, double& spread) const {
        double sum = 0, squares = 0, n = 0;
        for (std::uint32_t y = height / 12; y < height - height / 12; y += 2)
            for (std::uint32_t x = 0; x < width; x += 2, ++n) {
                const double v = Luma(x, y);
                sum += v, squares += v * v;
            }
        mean = sum / n;
        spread = std::sqrt(std::max(0.0, squares / n - mean * mean));
    }
    // Mean of one colour channel (16 red, 8 green, 0 blue) over the main view.
    double Channel(int shift) const {
        double sum = 0, n = 0;
        for (std::uint32_t y = height / 12; y < height - height / 12; y += 2)
            for (std::uint32_t x = 0; x < width; x += 2, ++n) sum += (pixels[y * width + x] >> shift) & 255;
        return sum / n;
    }
    // For a look by eye: TV_SHOW_FRAMES names a folder for the frames as PPM pictures.
    void Save(const std::string& name) const {
        const char* dir = std::getenv("TV_SHOW_FRAMES");
        if (dir == nullptr) return;
        std::ofstream out(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        for (std::uint32_t p : pixels) out.put(char(p >> 16)).put(char(p >> 8)).put(char(p));
    }
};

// The flakes a frame shows over the same frame without snow, in each third of the view (left, middle,
// right) between the bars: their pixels (30 above the picture's luma) and the specks those pixels make,
// each counted in the third of its first pixel.
void CountFlakes(const Picture& frame, const Picture& without, int pixels[3], int specks[3]) {
    const std::uint32_t w = frame.width, top = 40, bottom = frame.height - 40;
    std::vector<char> flake(std::size_t(w) * frame.height, 0);
    for (std::uint32_t y = top; y < bottom; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            if (frame.Luma(x, y) > without.Luma(x, y) + 30) flake[y * w + x] = 1, ++pixels[x * 3 / w];
    std::vector<std::uint32_t> stack;
    for (std::uint32_t at = top * w; at < bottom * w; ++at) {
        if (flake[at] != 1) continue;
        ++specks[at % w * 3 / w];
        stack.push_back(at);
        flake[at] = 2;
        while (!stack.empty()) {
            const std::uint32_t p = stack.back(), x = p % w, y = p / w;
            stack.pop_back();
            for (std::uint32_t ny = y - 1; ny <= y + 1; ++ny)
                for (std::uint32_t nx = x == 0 ? 0 : x - 1; nx <= x + 1 && nx < w; ++nx)
                    if (ny >= top && ny < bottom && flake[ny * w + nx] == 1)
                        flake[ny * w + nx] = 2, stack.push_back(ny * w + nx);
        }
    }
}

// The snow's flakes that the play scene draws in the frame it drew at `time`, worked out from its own
// placements and thinning: each flake's cell, with the third of the view (0 to 2) its middle falls in, or
// -1 outside the view. A flake the thinning leaves less than half of does not count.
std::map<int, int> ShownFlakes(CPlayScene& play, double time) {
    plat::Matrix view, projection, camera;
    type_a::CurrentDevice().GetTransform(plat::TransformKind::View, view);
    type_a::CurrentDevice().GetTransform(plat::TransformKind::Projection, projection);
    plat::MatrixInverse(view, &camera, nullptr);
    const plat::Vector3 eye{camera.m[3][0], camera.m[3][1], camera.m[3][2]};
    CSnowParticleLayer& snow = *play.GetLayers().snow;
    const SnowThinning thinning = play.Thinning();
    std::map<int, int> shown;
    for (const PlacedParticle& flake : snow.Place(eye, time * CPlayScene::kSnowSpeed, play.GetView().snowScale)) {
        if (snow.Visibility(flake, eye, view, thinning) < 0.5f) continue;
        const plat::Vector3 at{flake.transform.m[3][0], flake.transform.m[3][1], flake.transform.m[3][2]};
        const plat::Vector4 c = plat::Vec3Transform(at, plat::MatrixMultiply(view, projection));
        const bool seen = c.w > 0 && std::abs(c.x) <= c.w && std::abs(c.y) <= c.w && c.z >= 0 && c.z <= c.w;
        shown[flake.cell] = seen ? std::min(2, static_cast<int>((c.x / c.w + 1) * 1.5f)) : -1;
    }
    return shown;
}

// A moment of the show: a scene, the how-manieth time it is set (0 for the first), a scene time, and what
// the moment is read again without: "snow", or "text" for a caption fully shown, whose lines' scales
// (1 or 2 rows, 0 for an empty line of one row) `captionRows` lists ("" for none).
struct Moment {
    const char* name;
    const char* scene;
    int visit;
    double time;
    const char* again;
    const char* captionRows;
    Picture frame, without;
    std::map<int, int> flakes = {};  // for the lake's snow: ShownFlakes
};

// Runs at both ends of every scene-manager pass: first it moves the clock a step on (and, for a frame
// read again without snow, takes the scene back to the moment's time); last, after the fades and
// before the overlay presents, it reads the moments' frames back.
class ShowWatcher : public CStandardScene {
public:
    // `step`: the show's time a frame takes, kStep unless a test needs no close look at the frames.
    ShowWatcher(std::uint16_t priority, CPlayScene* play, std::vector<Moment>* moments, std::int64_t* clock,
                ShowWatcher* first, std::int64_t step = kStep)
        : CStandardScene(priority), play_(play), moments_(moments), clock_(clock), first_(first), step_(step) {}
    void Frame(unsigned) override {
        if (first_ == nullptr)
            Start();
        else
            first_->End();
    }
    int frames = 0;
    bool ranOut = false;

private:
    void Start() {
        *clock_ += step_;
        if (++frames > kMostFrames) {
            ranOut = true;
            plat::PostQuit(0);
        }
        if (again_ == nullptr) return;
        if (std::string(again_->again) == "snow") {
            play_->ShowSnow(false);
        } else {
            lines_ = play_->GetTextLines().GetLines();
            play_->TextClear();
        }
        play_->SetSceneTime(again_->time);
    }
    void End() {
        if (again_ != nullptr) {
            Read(again_->without);
            play_->ShowSnow(true);
            for (const std::string& line : lines_) play_->TextOut(line);
            lines_.clear();
            again_ = nullptr;
            return;
        }
        const auto* scene = play_->GetCurrentScene();
        if (scene == nullptr) return;
        // A new visit: another scene, or the same one set again (its time taken back).
        if (scene != lastScene_ || play_->GetSceneTime() < lastTime_ - 1.0) ++visits_[scene];
        lastScene_ = scene;
        lastTime_ = play_->GetSceneTime();
        for (Moment& m : *moments_) {
            if (!m.frame.pixels.empty() || scene != play_->GetSceneCache().GetScene(m.scene)) continue;
            if (visits_[scene] != m.visit + 1) continue;
            if (play_->GetSceneTime() < m.time || play_->GetSceneTime() > m.time + 1.0) continue;
            // The play scene moves its time on by the frame's step after drawing: the frame read again
            // is drawn at the very moment of this one, so that only what it leaves out differs.
            m.time = play_->GetSceneTime() - double(kStep) / double(kFrequency);
            Read(m.frame);
            if (std::string(m.name) == "lake-snow" && play_->GetView().showSnow && play_->GetLayers().snow)
                m.flakes = ShownFlakes(*play_, m.time);
            if (*m.again != '\0' && (play_->GetView().showSnow || *m.captionRows != '\0')) again_ = &m;
        }
    }
    void Read(Picture& frame) { type_a::CurrentDevice().ReadBackBuffer(frame.pixels, frame.width, frame.height); }
    CPlayScene* play_;
    std::vector<Moment>* moments_;
    std::int64_t* clock_;
    ShowWatcher* first_;
    std::int64_t step_;
    Moment* again_ = nullptr;
    std::deque<std::string> lines_;
    const void* lastScene_ = nullptr;
    double lastTime_ = 0;
    std::map<const void*, int> visits_;
};

TEST(ShowTest, PlaysToFinishAndShowsItsScenes) {
    setenv("VELLACOR_DIALOG", "0,2,0,0,1,24,0", 1);  // a 640 x 480 window, the third size offered offscreen
    std::vector<Moment> moments = {
        {"valley-title", "scenes\\valley\\valley.lws", 0, 5.0, "text", "21", {}, {}},
        {"valley-quiet", "scenes\\valley\\valley.lws", 0, 12.0, "", "", {}, {}},
        {"valley-snow", "scenes\\valley\\valley.lws", 0, 24.0, "snow", "", {}, {}},
        {"valley-pines", "scenes\\valley\\valley.lws", 0, 33.0, "text", "11", {}, {}},
        {"valley-crane", "scenes\\valley\\valley.lws", 0, 56.0, "text", "21", {}, {}},
        {"ridge", "scenes\\ridge\\ridge.lws", 0, 22.5, "text", "1", {}, {}},
        {"ridge-high", "scenes\\ridge\\ridge.lws", 0, 46.0, "text", "21", {}, {}},
        {"lake", "scenes\\lake\\lake.lws", 0, 6.0, "text", "21", {}, {}},
        {"lake-ice", "scenes\\lake\\lake.lws", 0, 43.0, "text", "2", {}, {}},
        {"results", "scenes\\lake\\lake.lws", 1, 30.0, "text", "2111201", {}, {}},
    };
    // The lake's snow as it eases off, every frame (read again without it while it is shown).
    for (int quarter = 60; quarter <= 128; ++quarter)
        moments.push_back({"lake-snow", "scenes\\lake\\lake.lws", 0, quarter * 0.25, "snow", "", {}, {}});
    std::int64_t clock = 0;
    ShowWatcher* first = nullptr;
    ShowWatcher* last = nullptr;
    ASSERT_TRUE(CreateApplicationDriver());
    {
        CGameApplicationDriverDX9* driver = InitializeOnFakeClock(TV_DATA_DIR, clock);
        ASSERT_NE(driver, nullptr);
        auto* play = static_cast<CPlayScene*>(NewPlayScene());
        first = new ShowWatcher(0, play, &moments, &clock, nullptr);
        last = new ShowWatcher(0xFFFE, play, &moments, &clock, first);
        driver->GetSceneManager()->AddScene(CResourceScene::Instance());
        driver->GetSceneManager()->AddScene(play);
        driver->GetSceneManager()->AddScene(first);
        driver->GetSceneManager()->AddScene(last);
        CResourceScene::Instance()->SetOneShot(true);
        driver->Run();
        EXPECT_FALSE(first->ranOut) << "no Finish in " << kMostFrames << " frames";
        EXPECT_GT(first->frames, 600) << "the show ended early";
        for (const std::string& line : CResourceScene::Instance()->GetConsole())
            EXPECT_NE(line.rfind("script ", 0), 0u) << line;  // an error or a warning; prints are the show's
    }
    DestroyApplicationDriver();
    EXPECT_EQ(GetApplicationExitCode(), 0);

    for (const Moment& m : moments) {
        SCOPED_TRACE(m.name);
        ASSERT_FALSE(m.frame.pixels.empty()) << "never shown";
        ASSERT_EQ(m.frame.width, 640u);
        m.frame.Save(m.name);
        double mean = 0, spread = 0;
        m.frame.Statistics(mean, spread);
        EXPECT_GT(mean, 25.0) << "dark";
        EXPECT_GT(spread, 12.0) << "flat";
    }
    // The lake's snow thins out evenly before it stops: at every moment it is still seen (300 pixels of
    // flakes or more), the emptiest third of the view (left, middle, right) holds at least a fifth of the
    // flakes of the fullest, so that the last of them do not leave as a band with one side bare. And it
    // goes a few flakes at a time, frame by frame, the frame that stops it included: of the flakes a frame
    // showed in the view, or in a third of it, the next takes no more than half while they were a dozen or
    // more (four pictures of three); and the specks seen in the view fall by no more than half while more
    // than a dozen, nor those of a third by more than three quarters (the camera's drift carries flakes
    // across a third's edge). A frame read for two moments counts once.
    int easing = 0;
    std::map<double, std::array<int, 4>> lakeSpecks;  // left, middle, right, all; none once the snow stops
    std::map<double, std::map<int, int>> lakeFlakes;
    for (const Moment& m : moments) {
        if (std::string(m.name) != "lake-snow" || m.frame.pixels.empty()) continue;
        std::array<int, 4> seen = {};
        if (!m.without.pixels.empty()) {
            int pixels[3] = {};
            CountFlakes(m.frame, m.without, pixels, seen.data());
            seen[3] = seen[0] + seen[1] + seen[2];
            if (pixels[0] + pixels[1] + pixels[2] >= 300) {
                ++easing;
                EXPECT_GE(*std::min_element(pixels, pixels + 3) * 5, *std::max_element(pixels, pixels + 3))
                    << "at " << m.time << " s: " << pixels[0] << " " << pixels[1] << " " << pixels[2];
            }
        }
        lakeSpecks[m.time] = seen;
        lakeFlakes[m.time] = m.flakes;
    }
    EXPECT_GE(easing, 10);
    ASSERT_GT(lakeSpecks.size(), 60u);
    EXPECT_EQ(lakeSpecks.rbegin()->second[3], 0) << "the snow never stopped";
    for (auto before = lakeSpecks.begin(), after = std::next(before); after != lakeSpecks.end(); ++before, ++after) {
        for (int i = 0; i < 4; ++i) {
            const int was = before->second[i], lost = was - after->second[i];
            if (was <= 12) continue;
            EXPECT_LE(lost * (i < 3 ? 4 : 2), was * (i < 3 ? 3 : 1))
                << (i < 3 ? "third " : "view ") << i << " from " << before->first << " s to " << after->first
                << " s: " << was << " specks to " << after->second[i];
        }
    }
    for (auto before = lakeFlakes.begin(), after = std::next(before); after != lakeFlakes.end(); ++before, ++after) {
        std::array<int, 4> was = {}, lost = {};
        for (const auto& [cell, third] : before->second) {
            if (third < 0) continue;
            const bool gone = after->second.count(cell) == 0;
            ++was[third], ++was[3], lost[third] += gone, lost[3] += gone;
        }
        for (int i = 0; i < 4; ++i) {
            if (was[i] < 4) continue;
            EXPECT_LE(lost[i] * 2, was[i]) << (i < 3 ? "third " : "view ") << i << " from " << before->first
                                           << " s: " << lost[i] << " of " << was[i] << " pictures of flakes";
        }
    }
    // Captions: in every row of a caption fully shown, the pixels the text changes (found by reading the
    // moment again without it) must hold bright strokes and dark ground beside them, whatever lies
    // behind: the brightest third of them far above the darkest third. Rows stand 22 pixels apart (font
    // 16) from row 5, below the 40-pixel bar; a line of scale 2 takes two.
    for (const Moment& m : moments) {
        SCOPED_TRACE(m.name);
        int row = 0;
        for (const char* scale = m.captionRows; *scale != '\0'; ++scale) {
            SCOPED_TRACE(row);
            ASSERT_FALSE(m.without.pixels.empty());
            if (*scale == '0') {
                ++row;
                continue;
            }
            const std::uint32_t top = 40 + (row + 5) * 22, bottom = top + 16 * (*scale - '0');
            row += *scale - '0';
            std::vector<int> text;
            for (std::uint32_t y = top; y < bottom; ++y)
                for (std::uint32_t x = 0; x < 640; ++x)
                    if (std::abs(m.frame.Luma(x, y) - m.without.Luma(x, y)) > 8) text.push_back(m.frame.Luma(x, y));
            ASSERT_GT(text.size(), 150u);
            std::sort(text.begin(), text.end());
            const double third = static_cast<double>(text.size() / 3);
            const double dark = std::accumulate(text.begin(), text.begin() + static_cast<long>(third), 0.0) / third;
            const double bright = std::accumulate(text.end() - static_cast<long>(third), text.end(), 0.0) / third;
            EXPECT_GT(bright - dark, 110.0) << bright << " over " << dark;
        }
    }
    // The results read as one block: the three scores and TOTAL (rows 2 to 4, and 5 and 6 at double size)
    // start at one left edge and end, numbers right-aligned, at one right edge, the block centred.
    const Moment& results = moments[9];
    results.without.Save("results-notext");
    const struct { int row, scale; } block[] = {{2, 1}, {3, 1}, {4, 1}, {5, 2}};
    for (const auto& line : block) {
        SCOPED_TRACE(line.row);
        const std::uint32_t top = 40 + std::uint32_t(line.row + 5) * 22, bottom = top + 16 * std::uint32_t(line.scale);
        int left = 640, right = -1;
        for (std::uint32_t y = top; y < bottom; ++y)
            for (std::uint32_t x = 0; x < 640; ++x)
                if (std::abs(results.frame.Luma(x, y) - results.without.Luma(x, y)) > 8) {
                    left = std::min(left, int(x));
                    right = std::max(right, int(x));
                }
        // 28 characters of 16 pixels about the middle: 96 to 544, within half a character for the glyphs'
        // own margins (a closing 1 is narrow).
        EXPECT_NEAR(left, 96, 8);
        EXPECT_NEAR(right, 543, 8);
    }
    // Each part under its own sky: the ridge at dusk warmer than the valley's morning, the lake by night
    // darker and blue.
    auto warmth = [](const Picture& p) { return p.Channel(16) / std::max(1.0, p.Channel(0)); };
    EXPECT_GT(warmth(moments[5].frame), warmth(moments[1].frame) + 0.1);
    double valleyMean = 0, lakeMean = 0, spread = 0;
    moments[1].frame.Statistics(valleyMean, spread);
    moments[7].frame.Statistics(lakeMean, spread);
    EXPECT_LT(lakeMean, valleyMean * 0.6);
    EXPECT_GT(moments[7].frame.Channel(0), moments[7].frame.Channel(16) + 20);
    // Snow: the same moment without it differs in small bright specks.
    const Moment& snow = moments[2];
    ASSERT_FALSE(snow.without.pixels.empty());
    snow.without.Save("valley-nosnow");
    int specks = 0;
    for (std::uint32_t y = 40; y < 440; ++y)
        for (std::uint32_t x = 0; x < 640; ++x) specks += snow.frame.Luma(x, y) > snow.without.Luma(x, y) + 30;
    EXPECT_GT(specks, 40);
}

// Records the show's opening around the play scene: at the start of each pass whether loading was
// over, at the end (after the fades, before the overlay presents) whether a scene was set and how many
// pixels are not white; it ends the run a few frames into the valley.
class OpeningWatcher : public CStandardScene {
public:
    struct Shown {
        bool playing = false, scene = false;
        int notWhite = 0;
        double luma = 0;  // mean
    };
    OpeningWatcher(std::uint16_t priority, CPlayScene* play, std::vector<Shown>* shown, std::int64_t* clock,
                   OpeningWatcher* first)
        : CStandardScene(priority), play_(play), shown_(shown), clock_(clock), first_(first) {}
    void Frame(unsigned) override {
        if (first_ == nullptr) {
            *clock_ += kFrequency / 60;
            playing_ = play_->GetTextureCache().IsComplete();
            if (++frames_ > kMostFrames) plat::PostQuit(0);
            return;
        }
        Shown s;
        s.playing = first_->playing_;
        s.scene = play_->GetCurrentScene() != nullptr;
        if (s.playing) {
            std::vector<std::uint32_t> pixels;
            std::uint32_t width = 0, height = 0;
            type_a::CurrentDevice().ReadBackBuffer(pixels, width, height);
            // The main view: the bars above and below stay black, the fades cover the view only.
            std::size_t n = 0;
            for (std::uint32_t y = height / 12; y < height - height / 12; ++y) {
                for (std::uint32_t x = 0; x < width; ++x, ++n) {
                    const std::uint32_t p = pixels[y * width + x];
                    s.notWhite += (p & 0xFFFFFFu) != 0xFFFFFFu;
                    s.luma += (((p >> 16) & 255) * 3 + ((p >> 8) & 255) * 6 + (p & 255)) / 10.0;
                }
            }
            s.luma /= std::max<double>(1.0, static_cast<double>(n));
        }
        shown_->push_back(s);
        if (std::count_if(shown_->begin(), shown_->end(), [](const Shown& x) { return x.scene; }) == 3)
            plat::PostQuit(0);
    }

private:
    CPlayScene* play_;
    std::vector<Shown>* shown_;
    std::int64_t* clock_;
    OpeningWatcher* first_;
    bool playing_ = false;
    int frames_ = 0;
};

// The show opens on white: from the loading screen's end until the valley's first frame every frame is
// white over its whole view, the one that starts the fade included, so that the valley is set
// up behind the white; the valley then shows through it.
TEST(ShowTest, OpensOnWhiteAndSetsTheValleyUpBehindIt) {
    setenv("VELLACOR_DIALOG", "0,2,0,0,1,24,0", 1);
    std::vector<OpeningWatcher::Shown> shown;
    std::int64_t clock = 0;
    ASSERT_TRUE(CreateApplicationDriver());
    {
        CGameApplicationDriverDX9* driver = InitializeOnFakeClock(TV_DATA_DIR, clock);
        ASSERT_NE(driver, nullptr);
        auto* play = static_cast<CPlayScene*>(NewPlayScene());
        auto* first = new OpeningWatcher(0, play, &shown, &clock, nullptr);
        driver->GetSceneManager()->AddScene(CResourceScene::Instance());
        driver->GetSceneManager()->AddScene(play);
        driver->GetSceneManager()->AddScene(first);
        driver->GetSceneManager()->AddScene(new OpeningWatcher(0xFFFE, play, &shown, &clock, first));
        driver->Run();
    }
    DestroyApplicationDriver();
    EXPECT_EQ(GetApplicationExitCode(), 0);
    const auto opening = std::find_if(shown.begin(), shown.end(), [](const auto& s) { return s.playing; });
    const auto valley = std::find_if(shown.begin(), shown.end(), [](const auto& s) { return s.scene; });
    ASSERT_NE(valley, shown.end()) << "the valley never came";
    ASSERT_LT(opening - shown.begin(), valley - shown.begin()) << "no frame before the valley's";
    for (auto s = opening; s != valley; ++s) EXPECT_EQ(s->notWhite, 0) << "frame " << s - shown.begin();
    EXPECT_GT(valley->luma, 250.0) << "the valley's first frame, under the white";
    EXPECT_GT(std::prev(shown.end())->notWhite, 640 * 400 / 2) << "the valley shows through";
}

// The score is the run's measurement: a results music that cannot be read ends the run with a report
// (here one cut inside its format chunk; a missing one ends it the same way), but the run's scores are
// in the log before it.
TEST(ShowTest, ScoresReachTheLogWhenTheResultsMusicFails) {
    setenv("VELLACOR_DIALOG", "0,2,0,0,1,24,0", 1);
    namespace fs = std::filesystem;
    const fs::path data = fs::temp_directory_path() / ("tvshow-" + std::to_string(::getpid())) / "data";
    fs::remove_all(data);
    fs::create_directories(data);
    fs::copy(TV_DATA_DIR, data, fs::copy_options::recursive);
    fs::resize_file(data / "music" / "results.wav", 30);
    std::vector<Moment> none;
    std::int64_t clock = 0;
    // A log of its own: another test of this program may hold the one beside it.
    const std::string logPath = (data.parent_path() / "show.log").string();
    OpenLogFileAt(logPath);
    ASSERT_TRUE(CreateApplicationDriver());
    {
        CGameApplicationDriverDX9* driver = InitializeOnFakeClock(data.string() + "/", clock);
        ASSERT_NE(driver, nullptr);
        auto* play = static_cast<CPlayScene*>(NewPlayScene());
        // A second of show a frame: only the log is read.
        auto* first = new ShowWatcher(0, play, &none, &clock, nullptr, kFrequency);
        driver->GetSceneManager()->AddScene(CResourceScene::Instance());
        driver->GetSceneManager()->AddScene(play);
        driver->GetSceneManager()->AddScene(first);
        driver->GetSceneManager()->AddScene(new ShowWatcher(0xFFFE, play, &none, &clock, first));
        CResourceScene::Instance()->SetOneShot(true);
        driver->Run();
        EXPECT_FALSE(first->ranOut);
    }
    DestroyApplicationDriver();
    EXPECT_EQ(GetApplicationExitCode(), 1);
    std::ifstream in(logPath, std::ios::binary);
    const std::string log(std::istreambuf_iterator<char>(in), {});
    std::size_t at = 0;
    for (const char* line :
         {"INFO: valley score ", "INFO: ridge score ", "INFO: lake score ", "INFO: total score ", "results.wav"}) {
        at = log.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << " missing or out of order:\n" << log;
    }
    fs::remove_all(data.parent_path());
}

// The archive beside the program holds exactly the data folder's files, byte for byte, under the same
// names (letter case aside: the archive looks names up lower-cased).
TEST(DataSetTest, ArchiveHoldsTheDataFolder) {
    CFileSystemDataLoader folder(TV_DATA_DIR);
    TArchiveFileDataLoader<CArchiveFileLoader> archive(std::string(TV_DATA_DIR) + "../data.tva");
    std::vector<std::string> inFolder, inArchive;
    folder.Enumerate("", true, inFolder);
    archive.Enumerate("", true, inArchive);
    ASSERT_EQ(inFolder.size(), inArchive.size());
    ASSERT_GT(inFolder.size(), 50u);
    auto bytes = [](IStream& stream) {
        std::string all(stream.GetSize(), '\0');
        all.resize(stream.Read(&all[0], static_cast<std::uint32_t>(all.size())));
        return all;
    };
    for (const std::string& name : inFolder) EXPECT_EQ(bytes(*folder.Open(name)), bytes(*archive.Open(name))) << name;
}

}  // namespace
