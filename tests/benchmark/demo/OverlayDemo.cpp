// The overlay in a window through the application driver and its frame loop, counting the score over a
// cleared picture, for a look by eye; ends by itself after the given frames.
//   overlay_demo [frames]
#include <unistd.h>

#include <cstdlib>

#include "app_framework/StandardScene.h"
#include "benchmark/ResourceScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Window.h"
#include "tests/benchmark/OverlayFonts.h"

namespace {

// Stands where the play scene runs: it ends the run after `frames` passes.
struct Countdown : trivale::CStandardScene {
    explicit Countdown(int frames) : CStandardScene(0x8000), frames_(frames) {}
    void Frame(unsigned) override {
        if (--frames_ <= 0) plat::PostQuit(0);
    }
    int frames_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace trivale;
    const auto data = std::filesystem::temp_directory_path() / ("tvoverlay-demo-" + std::to_string(::getpid()));
    overlaytest::WriteOverlayData(data);
    try {
        if (CreateApplicationDriver() && GetApplicationDriver()->Initialize()) {
            CGameApplicationDriverDX9* driver = GetApplicationDriver();
            driver->UseFileSystem(data.string() + "/");
            driver->GetSceneManager()->AddScene(CResourceScene::Instance());
            driver->GetSceneManager()->AddScene(new Countdown(argc > 1 ? std::atoi(argv[1]) : 400));
            CResourceScene::Instance()->SetScoreCounting(true);
            driver->GetFrameRateKeeper()->SetFrameRate(60);
            driver->Run();
        }
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    std::filesystem::remove_all(data);
    return GetApplicationExitCode();
}
