// The whole show from the data set the build makes, played once in this process under the offscreen
// driver at 640 x 480 on a clock of its own: every frame is a quarter of a second of show, so its four
// minutes pass in under a thousand frames. It must run its script to "Finish" without one script error
// or warning, and frames read back at chosen moments must show what the script put there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "benchmark/Application.h"
#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "core/ArchiveFileLoader.h"
#include "core/DataLoader.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/RenderDevice.h"

// Leak checking stays with the other suites: the GL driver is unloaded before this program ends, and
// what it leaves behind can then no longer be told from ours by name.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

using namespace trivale;

const std::int64_t kFrequency = 1000000;
const std::int64_t kStep = kFrequency / 4;
const int kMostFrames = 3000;

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
    // Near-white pixels in a rectangle.
    int White(std::uint32_t left, std::uint32_t top, std::uint32_t right, std::uint32_t bottom) const {
        int count = 0;
        for (std::uint32_t y = top; y < bottom; ++y)
            for (std::uint32_t x = left; x < right; ++x) count += Luma(x, y) >= 235;
        return count;
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

// A moment of the show: a scene and a scene time; `hideSnow` reads the same moment again without snow.
struct Moment {
    const char* name;
    const char* scene;
    double time;
    bool hideSnow;
    Picture frame, withoutSnow;
};

// Runs at both ends of every scene-manager pass: first it moves the clock a step on (and, for a frame
// read again without snow, takes the scene back to the moment's time); last, after the fades and
// before the overlay presents, it reads the moments' frames back.
class ShowWatcher : public CStandardScene {
public:
    ShowWatcher(std::uint16_t priority, CPlayScene* play, std::vector<Moment>* moments, std::int64_t* clock,
                ShowWatcher* first)
        : CStandardScene(priority), play_(play), moments_(moments), clock_(clock), first_(first) {}
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
        *clock_ += kStep;
        if (++frames > kMostFrames) {
            ranOut = true;
            plat::PostQuit(0);
        }
        if (again_ != nullptr) {
            play_->ShowSnow(false);
            play_->SetSceneTime(again_->time);
        }
    }
    void End() {
        if (again_ != nullptr) {
            Read(again_->withoutSnow);
            play_->ShowSnow(true);
            again_ = nullptr;
            return;
        }
        for (Moment& m : *moments_) {
            if (!m.frame.pixels.empty() || play_->GetCurrentScene() == nullptr) continue;
            if (play_->GetCurrentScene() != play_->GetSceneCache().GetScene(m.scene)) continue;
            if (play_->GetSceneTime() < m.time || play_->GetSceneTime() > m.time + 1.0) continue;
            m.time = play_->GetSceneTime();
            Read(m.frame);
            if (m.hideSnow && play_->GetView().showSnow) again_ = &m;
        }
    }
    void Read(Picture& frame) { type_a::CurrentDevice().ReadBackBuffer(frame.pixels, frame.width, frame.height); }
    CPlayScene* play_;
    std::vector<Moment>* moments_;
    std::int64_t* clock_;
    ShowWatcher* first_;
    Moment* again_ = nullptr;
};

TEST(ShowTest, PlaysToFinishAndShowsItsScenes) {
    setenv("VELLACOR_DIALOG", "0,2,0,0,1,24,0", 1);  // a 640 x 480 window, the third size offered offscreen
    std::vector<Moment> moments = {
        {"valley-title", "scenes\\valley\\valley.lws", 5.0, false, {}, {}},
        {"valley-quiet", "scenes\\valley\\valley.lws", 12.0, false, {}, {}},
        {"valley-snow", "scenes\\valley\\valley.lws", 24.0, true, {}, {}},
        {"valley-low", "scenes\\valley\\valley.lws", 40.0, false, {}, {}},
        {"valley-crane", "scenes\\valley\\valley.lws", 60.0, false, {}, {}},
        {"ridge", "scenes\\ridge\\ridge.lws", 20.0, false, {}, {}},
        {"ridge-high", "scenes\\ridge\\ridge.lws", 55.0, false, {}, {}},
        {"lake", "scenes\\lake\\lake.lws", 15.0, false, {}, {}},
        {"lake-ice", "scenes\\lake\\lake.lws", 45.0, false, {}, {}},
    };
    std::int64_t clock = 0;
    ShowWatcher* first = nullptr;
    ShowWatcher* last = nullptr;
    ASSERT_TRUE(CreateApplicationDriver());
    {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->UseFileSystem(TV_DATA_DIR);
        FrameClock fake;
        fake.read = [&clock] { return clock; };
        fake.frequency = kFrequency;
        fake.sleepUntil = [&clock](std::int64_t tick) { clock = std::max(clock, tick); };
        driver->SetFrameClock(fake);
        ASSERT_TRUE(driver->Initialize());
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
    // The title in the first text row (font 16, rows 22 apart from row 5, below the 40-pixel bar) while it
    // is shown, and not once it is cleared.
    const int title = moments[0].frame.White(160, 150, 480, 196);
    EXPECT_GT(title, 150);
    EXPECT_GT(title, moments[1].frame.White(160, 150, 480, 196) + 100);
    // Snow: the same moment without it differs in small bright specks.
    const Moment& snow = moments[2];
    ASSERT_FALSE(snow.withoutSnow.pixels.empty());
    snow.withoutSnow.Save("valley-nosnow");
    int specks = 0;
    for (std::uint32_t y = 40; y < 440; ++y)
        for (std::uint32_t x = 0; x < 640; ++x) specks += snow.frame.Luma(x, y) > snow.withoutSnow.Luma(x, y) + 30;
    EXPECT_GT(specks, 40);
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
