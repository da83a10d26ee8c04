// The program's show played in the benchmark's process from the generated data set, at 640 x 480 on
// Mesa's software renderer, with a script that flies through each scene for a while with clouds, snow
// and a caption. Printed: frame times (median, 95th and 99th percentile) and the median against a plain
// loop that only clears and presents on the same device; the engine's own share of the frame outside
// GL; files opened and pictures decoded while frames were timed (none should be); peak resident memory.
#include <fcntl.h>
#include <stdio.h>  // before the JPEG library, which needs FILE
#include <sys/resource.h>
#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "bench/GLCallTimer.h"
#include "benchmark/Application.h"
#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/RenderDevice.h"

namespace {
bool g_counting = false;
int g_opens = 0, g_decodes = 0;
}  // namespace

// Files opened and pictures decoded are counted while frames are timed.
extern "C" int open(const char* path, int flags, ...) {
    static auto real = reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    g_opens += g_counting;
    return real(path, flags, mode);
}
extern "C" void png_read_info(png_structrp png, png_inforp info) {
    static auto real = reinterpret_cast<void (*)(png_structrp, png_inforp)>(dlsym(RTLD_NEXT, "png_read_info"));
    g_decodes += g_counting;
    real(png, info);
}
extern "C" int jpeg_read_header(j_decompress_ptr info, boolean require) {
    static auto real = reinterpret_cast<int (*)(j_decompress_ptr, boolean)>(dlsym(RTLD_NEXT, "jpeg_read_header"));
    g_decodes += g_counting;
    return real(info, require);
}

namespace {

using namespace trivale;
using Clock = std::chrono::steady_clock;

const double kSecondsPerScene = 8.0;

const char* const kScript =
    "*OnInitialize\r\n"
    "DirectoryPrecacheScenes(\"scenes\")\r\n"
    "SetSkyScene(\"scenes\\\\skyhigh\\\\sky.lws\")\r\n"
    "SetCameraClip(2.5, 8000)\r\n"
    "return\r\n"
    "*main\r\n"
    "SetFrameRateLimit(0)\r\n"
    "ShowCloud()\r\n"
    "ShowSnow()\r\n"
    "TextOut(\"$1cBENCHMARK\")\r\n"
    "SetTextFade(0.5, 0, 1)\r\n"
    "ScoreCountStart()\r\n"
    "SetScene(\"scenes\\\\valley\\\\valley.lws\")\r\n"
    "SyncSceneTime(8.0)\r\n"
    "SetScene(\"scenes\\\\ridge\\\\ridge.lws\")\r\n"
    "SyncSceneTime(8.0)\r\n"
    "SetScene(\"scenes\\\\lake\\\\lake.lws\")\r\n"
    "SyncSceneTime(8.0)\r\n"
    "Finish()\r\n"
    "sleep 1\r\n"
    "goto *main\r\n";

// First in every scene-manager pass: the time since the previous pass is that pass's frame, timed
// once the show is past its loading screen and flying through a scene.
struct FrameProbe : CStandardScene {
    explicit FrameProbe(CPlayScene* play) : CStandardScene(0), play_(play) {}
    void Frame(unsigned) override {
        const Clock::time_point now = Clock::now();
        if (timing_) {
            frames.push_back(std::chrono::duration<double>(now - last_).count());
            inside.push_back(glcalls::g_glInside - insideAtStart_);
            calls += glcalls::g_glCalls - callsAtStart_;
        }
        timing_ = play_->GetCurrentScene() != nullptr;
        g_counting = glcalls::g_glTiming = timing_;
        insideAtStart_ = glcalls::g_glInside;
        callsAtStart_ = glcalls::g_glCalls;
        last_ = Clock::now();
    }
    CPlayScene* play_;
    bool timing_ = false;
    Clock::time_point last_;
    double insideAtStart_ = 0;
    std::uint64_t callsAtStart_ = 0, calls = 0;
    std::vector<double> frames, inside;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// Frames of nothing but a clear and a present on the same device.
std::vector<double> PlainFrames(int count) {
    plat::IGraphicsDevice& device = type_a::CurrentDevice();
    std::vector<double> frames;
    for (int i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, 0xFF1E1E1E, 1.0f, 0);
        device.BeginScene();
        device.EndScene();
        device.Present();
        frames.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    if (!fs::exists(bin / "data" / "main.tvs")) {
        std::fprintf(stderr, "the data set is not beside the benchmark (%s/data): build the dataset target\n",
                     bin.c_str());
        return 1;
    }
    const fs::path data = fs::temp_directory_path() / ("tvbench-show-" + std::to_string(::getpid()));
    fs::copy(bin / "data", data, fs::copy_options::recursive);
    std::ofstream(data / "main.tvs", std::ios::binary) << kScript;

    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("VELLACOR_DIALOG", "0,2,0,0,1,24,0", 0);  // the third size offered offscreen: 640 x 480
    plat::SetCommandLine(argc, argv);

    double wrapperCost = 0;
    FrameProbe* probe = nullptr;
    std::vector<double> plain;
    int width = 0, height = 0;
    int status = 0;
    if (CreateApplicationDriver()) {
        try {
            CGameApplicationDriverDX9* driver = GetApplicationDriver();
            driver->UseFileSystem(data.string() + "/");
            if (driver->Initialize()) {
                auto* play = static_cast<CPlayScene*>(NewPlayScene());
                probe = new FrameProbe(play);
                driver->GetSceneManager()->AddScene(CResourceScene::Instance());
                driver->GetSceneManager()->AddScene(play);
                driver->GetSceneManager()->AddScene(probe);
                driver->GetFrameRateKeeper()->SetFrameRate(0);
                CResourceScene::Instance()->SetOneShot(true);
                driver->Run();
                g_counting = glcalls::g_glTiming = false;
                const plat::PresentParameters* screen = driver->GetGraphics()->GetPresentParameters();
                width = static_cast<int>(screen->backBufferWidth);
                height = static_cast<int>(screen->backBufferHeight);
                wrapperCost = glcalls::WrapperCost();  // on the show's context, after its frames
                plain = PlainFrames(300);
            } else {
                status = 1;
            }
        } catch (const std::exception& e) {
            ReportFatalException(e);
        }
        if (probe != nullptr && !probe->frames.empty()) {
            const std::vector<double>& f = probe->frames;
            std::vector<double> own(f.size());
            double frameSum = 0, ownSum = 0;
            for (std::size_t i = 0; i < f.size(); ++i) {
                own[i] = f[i] - probe->inside[i];
                frameSum += f[i];
                ownSum += own[i];
            }
            // Each wrapped call's own timer pair is not the engine's time.
            ownSum -= wrapperCost * static_cast<double>(probe->calls);
            const double share = 100.0 * ownSum / frameSum;
            std::printf("show at %d x %d, %zu frames timed over %.0f s of scenes\n", width, height, f.size(),
                        3 * kSecondsPerScene);
            std::printf("frame time: median %.2f ms, 95th %.2f ms, 99th %.2f ms\n", 1e3 * Percentile(f, 0.5),
                        1e3 * Percentile(f, 0.95), 1e3 * Percentile(f, 0.99));
            std::printf("plain clear-and-present loop: median %.2f ms; show median = %.1fx plain\n",
                        1e3 * Percentile(plain, 0.5), Percentile(f, 0.5) / std::max(1e-9, Percentile(plain, 0.5)));
            std::printf("engine CPU outside GL: %.3f ms a frame, %.1f%% of the frame (target under 5%%: %s)\n",
                        1e3 * ownSum / static_cast<double>(f.size()), share, share < 5.0 ? "met" : "missed");
            std::printf("GL calls a frame: %.0f\n", static_cast<double>(probe->calls) / static_cast<double>(f.size()));
            std::printf("while timed: %d files opened, %d pictures decoded (target 0: %s)\n", g_opens, g_decodes,
                        g_opens + g_decodes == 0 ? "met" : "missed");
        } else {
            status = 1;
        }
        DestroyApplicationDriver();
    } else {
        status = 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    fs::remove_all(data);
    return status != 0 ? status : GetApplicationExitCode();
}
