// Plays the LightWave test scene in a window through the application driver, as the program plays its
// scenes, and saves the back buffer at chosen times.
//   lwrender_scene_demo [seconds] [time:file.png ...]
#include <png.h>
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

struct Shot {
    double time;
    std::string path;
    bool taken = false;
};

bool SavePng(const std::string& path, const std::vector<std::uint32_t>& argb, std::uint32_t width,
             std::uint32_t height) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(width * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t p = argb[y * width + x];
            row[x * 3] = png_byte(p >> 16), row[x * 3 + 1] = png_byte(p >> 8), row[x * 3 + 2] = png_byte(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

class ScenePlayer : public trivale::CStandardScene {
public:
    ScenePlayer(double seconds, std::vector<Shot> shots) : CStandardScene(0x8000), seconds_(seconds), shots_(shots) {}
    void Initialize() override {
        scene_.reset(new trivale::type_a::CLWRenderableScene());
        scene_->Load("scenes\\demo.lws", &textures_, nullptr);
    }
    void Frame(unsigned) override {
        const double t = std::chrono::duration<double>(Clock::now() - start_).count();
        // A shot is drawn at exactly its time, whatever the frame rate.
        for (Shot& shot : shots_) {
            if (shot.taken || t < shot.time) continue;
            lwrtest::DrawLwFrame(*scene_, "Main", shot.time);
            std::vector<std::uint32_t> pixels;
            std::uint32_t width = 0, height = 0;
            trivale::type_a::CurrentDevice().ReadBackBuffer(pixels, width, height);
            std::printf("%s at %.2f s: %s\n", shot.path.c_str(), shot.time,
                        SavePng(shot.path, pixels, width, height) ? "saved" : "FAILED");
            shot.taken = true;
        }
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
    std::vector<Shot> shots_;
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
    std::vector<Shot> shots;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t colon = arg.find(':');
        if (colon != std::string::npos)
            shots.push_back({std::atof(arg.substr(0, colon).c_str()), arg.substr(colon + 1)});
    }
    const auto data = std::filesystem::temp_directory_path() / ("tvlwscene-demo-" + std::to_string(::getpid()));
    lwrtest::WriteLwTestScene(data, Checker());
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->SetTitle("LightWave test scene");
        if (driver->Initialize()) {
            driver->UseFileSystem(data.string() + "/");
            driver->GetSceneManager()->AddScene(new ScenePlayer(argc > 1 ? std::atof(argv[1]) : 5.0, shots));
            driver->Run();
        }
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    std::filesystem::remove_all(data);
    return GetApplicationExitCode();
}
