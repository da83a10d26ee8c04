// Shows the renderer's test scene in a window for about five seconds, through the application driver,
// its configuration dialog and its frame loop, as the program shows its own.

#include <unistd.h>

#include <chrono>

#include "app_framework/StandardScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Window.h"
#include "tests/render/scene/TestScene.h"

struct SceneShow : trivale::CStandardScene {
    SceneShow() : CStandardScene(0x8000) {}
    void Initialize() override { scene_.reset(new rendertest::TestScene()); }
    void Frame(unsigned) override {
        scene_->Draw();
        trivale::GetApplicationDriver()->GetGraphics()->Present();
        if (std::chrono::steady_clock::now() > end_) plat::PostQuit(0), end_ = end_.max();
    }
    void Finalize() override { scene_.reset(); }
    std::chrono::steady_clock::time_point end_ = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::unique_ptr<rendertest::TestScene> scene_;
};

int main() {
    using namespace trivale;
    const auto data = std::filesystem::temp_directory_path() / ("tvrender-demo-" + std::to_string(::getpid()));
    rendertest::WriteSceneFiles(data);
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        GetApplicationDriver()->SetTitle("Renderer test scene");
        if (GetApplicationDriver()->Initialize()) {
            GetApplicationDriver()->UseFileSystem(data.string() + "/");
            GetApplicationDriver()->GetSceneManager()->AddScene(new SceneShow());
            GetApplicationDriver()->Run();
        }
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    std::filesystem::remove_all(data);
    return GetApplicationExitCode();
}
