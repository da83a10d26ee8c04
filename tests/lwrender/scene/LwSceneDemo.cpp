// Plays the LightWave test scene in a window through the application driver, as the program plays its
// scenes, for a screenshot taken from outside (e.g. `import -window root` under Xvfb).
//   lwrender_scene_demo [seconds]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Window.h"
#include "tests/lwrender/scene/LwTestScene.h"

namespace {

class ScenePlayer : public trivale::CStandardScene {
public:
    explicit ScenePlayer(double seconds) : CStandardScene(0x8000), seconds_(seconds) {}
    void Initialize() override {
        scene_.reset(new trivale::type_a::CLWRenderableScene());
        scene_->Load("scenes\\demo.lws", &textures_, nullptr);
    }
    void Frame(unsigned) override {
        const double t = std::chrono::duration<double>(Clock::now() - start_).count();
        lwrtest::DrawLwFrame(*scene_, "Main", t);
        trivale::GetApplicationDriver()->GetGraphics()->Present();
        if (t > seconds_) plat::PostQuit(0), seconds_ = 1e30;
    }
    void Finalize() override {
        scene_.reset();
        textures_.Clear();
    }

private:
    using Clock = std::chrono::steady_clock;
    double seconds_;
    Clock::time_point start_ = Clock::now();
    trivale::type_a::CTextureCache textures_;
    std::unique_ptr<trivale::type_a::CLWRenderableScene> scene_;
};

// An 8 x 8 checker of two near whites, so that motion over the ground shows.
std::vector<unsigned char> Checker() {
    std::vector<std::uint32_t> texels(64);
    for (int i = 0; i < 64; ++i) texels[i] = ((i / 8 + i % 8) / 4 % 2) ? 0xFFFFFFFF : 0xFFB0B0B0;
    return rendertest::MakeTga(8, 8, texels);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace trivale;
    const auto data = std::filesystem::temp_directory_path() / ("tvlwscene-demo-" + std::to_string(::getpid()));
    lwrtest::WriteLwTestScene(data, Checker());
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->SetTitle("LightWave test scene");
        if (driver->Initialize()) {
            driver->UseFileSystem(data.string() + "/");
            driver->GetSceneManager()->AddScene(new ScenePlayer(argc > 1 ? std::atof(argv[1]) : 5.0));
            driver->Run();
        }
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    std::filesystem::remove_all(data);
    return GetApplicationExitCode();
}
