// Shows the renderer's test scene in a window for a few seconds, through the application driver, its
// configuration dialog and its frame loop, as the program shows its own.   render_scene_demo [seconds]

#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "app_framework/StandardScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Window.h"
#include "tests/render/scene/TestScene.h"

namespace {

class SceneShow : public trivale::CStandardScene {
public:
    explicit SceneShow(double seconds) : CStandardScene(0x8000), seconds_(seconds) {}
    void Initialize() override { scene_.reset(new rendertest::TestScene()); }
    void Frame(unsigned) override {
        scene_->Draw();
        trivale::GetApplicationDriver()->GetGraphics()->Present();
        if (std::chrono::duration<double>(Clock::now() - start_).count() > seconds_) plat::PostQuit(0), seconds_ = 1e30;
    }
    void Finalize() override { scene_.reset(); }

private:
    using Clock = std::chrono::steady_clock;
    double seconds_;
    Clock::time_point start_ = Clock::now();
    std::unique_ptr<rendertest::TestScene> scene_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace trivale;
    const auto data = std::filesystem::temp_directory_path() / ("tvrender-demo-" + std::to_string(::getpid()));
    rendertest::WriteSceneFiles(data);
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->SetTitle("Renderer test scene");
        if (driver->Initialize()) {
            driver->UseFileSystem(data.string() + "/");
            driver->GetSceneManager()->AddScene(new SceneShow(argc > 1 ? std::atof(argv[1]) : 5.0));
            driver->Run();
        }
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    std::filesystem::remove_all(data);
    return GetApplicationExitCode();
}
