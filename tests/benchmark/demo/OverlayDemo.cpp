// Shows the overlay in a window the way the program runs it: through the application driver, its
// configuration dialog and its frame loop, counting the score over a cleared main picture with black
// bars. Halfway the score is kept as the previous one. Ends by itself after the given frames.
//   overlay_demo [frames]
#include <unistd.h>

#include <cstdlib>

#include "app_framework/StandardScene.h"
#include "benchmark/ResourceScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Window.h"
#include "tests/benchmark/OverlayFonts.h"

namespace {

// Stands where the play scene runs: it counts passes and ends the run.
class Countdown : public trivale::CStandardScene {
public:
    explicit Countdown(int frames) : CStandardScene(0x8000), frames_(frames) {}
    void Initialize() override {
        CResourceScene::Instance()->SetClearColor(0xFF304860);
        CResourceScene::Instance()->SetScoreCounting(true);
    }
    void Frame(unsigned) override {
        if (++passes_ == frames_ / 2) CResourceScene::Instance()->ResetScore();
        if (passes_ == frames_) plat::PostQuit(0);
    }

private:
    int frames_, passes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace trivale;
    const auto data = std::filesystem::temp_directory_path() / ("tvoverlay-demo-" + std::to_string(::getpid()));
    overlaytest::WriteOverlayData(data);
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->SetTitle("Overlay");
        driver->SetPauseWhenInactive(false);
        if (driver->Initialize()) {
            driver->UseFileSystem(data.string() + "/");
            driver->GetSceneManager()->AddScene(CResourceScene::Instance());
            driver->GetSceneManager()->AddScene(new Countdown(argc > 1 ? std::max(2, std::atoi(argv[1])) : 400));
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
