// The program's show played in the benchmark's process from the generated data set, at 640 x 480 on
// Mesa's software renderer, with a script that flies through each scene for a while with clouds, snow
// and a caption. The show has no plain equivalent to run beside it (a loop that only clears and
// presents measures the driver's floor, not the same work). Printed, per frame as median (min, max):
// the wall time (with its 95th and 99th percentile); the processor time of all threads and of the main
// thread; the main thread's serial time (its processor time outside the calls that hand the frame to
// the rasteriser threads, the part those threads cannot overlap); and the engine's own processor time
// outside GL. That last figure is taken less a correction for the wrapping of some 1,400 GL calls a
// frame, as large as the figure's margin, so it is shown, not judged. Then files opened and pictures
// decoded while frames were timed (none should be) and peak resident memory, with the video driver it
// was taken under (SDL's offscreen driver unless SDL_VIDEODRIVER names another).
// The engine's own time is judged on a second run of the same show whose timed frames' GL calls return
// at once without reaching the driver: there the main thread's processor time is the engine's frame,
// with no correction to take off. Each frame is paired with a fixed reference workload timed next to it
// on the same thread, the piece going first in every other pair, and the target judges the frames'
// floor over the pieces' (see Alternate.h).
#include <fcntl.h>
#include <stdio.h>  // before the JPEG library, which needs FILE
#include <sys/resource.h>
#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "bench/Alternate.h"
#include "bench/BenchDevice.h"
#include "bench/GLCallTimer.h"
#include "bench/Reference.h"
#include "benchmark/Application.h"
#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/RenderDevice.h"

namespace {
std::string g_data;  // the data set's copy, with its path's last slash
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
// Wrapped calls of next to nothing between two timed frames: a fraction of a millisecond.
const int kCalibrationCalls = 200;
// Seconds a scene is flown through in the second run, whose frames draw nothing.
const double kNullSecondsPerScene = 4.0;
// The engine's own frame over the reference workload, floor over floor: 2.409, 2.405, 2.460 and 2.403 in
// four runs, idle (load 3-4) and beside 4, 8 and 16 busy loops (loads 6-25, 23-29, 17-29); with every
// scene's Frame run twice a pass, 4.878 idle and 4.951 beside 16 busy loops. The bound lies between.
const double kEngineRatioBound = 3.4;
const char* const kEngineTarget = "engine's own frame / reference workload, processor time";
const char* const kOpensTarget = "while timed: files opened and pictures decoded (target 0)";

std::string Script(double seconds) {
    const std::string sync = "SyncSceneTime(" + std::to_string(seconds) + ")\r\n";
    return "*OnInitialize\r\n"
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
           "SetScene(\"scenes\\\\valley\\\\valley.lws\")\r\n" +
           sync + "SetScene(\"scenes\\\\ridge\\\\ridge.lws\")\r\n" + sync +
           "SetScene(\"scenes\\\\lake\\\\lake.lws\")\r\n" + sync +
           "Finish()\r\n"
           "sleep 1\r\n"
           "goto *main\r\n";
}

// First in every scene-manager pass: the time since the previous pass is that pass's frame, timed
// once the show is past its loading screen and flying through a scene.
struct FrameProbe : CStandardScene {
    explicit FrameProbe(CPlayScene* play) : CStandardScene(0), play_(play) {}
    struct Mark {
        Clock::time_point wall;
        double process = 0, thread = 0, glCpu = 0, handOver = 0;
        std::uint64_t calls = 0;
    };
    static Mark Now() {
        Mark m;
        m.wall = Clock::now();
        m.process = bench::ProcessCpuSeconds();
        m.thread = bench::ThreadCpuSeconds();
        m.glCpu = glcalls::g_glInsideCpu;
        m.handOver = glcalls::g_handOverCpu;
        m.calls = glcalls::g_glCalls;
        return m;
    }
    void Frame(unsigned) override {
        const Mark now = Now();
        if (timing_) {
            wall.push_back(bench::Seconds(now.wall - last_.wall));
            process.push_back(now.process - last_.process);
            main.push_back(now.thread - last_.thread);
            glCpu.push_back(now.glCpu - last_.glCpu);
            handOver.push_back(now.handOver - last_.handOver);
            calls.push_back(static_cast<double>(now.calls - last_.calls));
        }
        timing_ = play_->GetCurrentScene() != nullptr;
        if (timing_) {
            // What the wrapping costs a call, measured between the frames it is taken from.
            double call = 0;
            wrapperOutside.push_back(glcalls::WrapperCpuBatch(kCalibrationCalls, &call));
            wrapperWhole.push_back(call);
        }
        g_counting = glcalls::g_glTiming = glcalls::g_glCpuTiming = timing_;
        last_ = Now();
    }
    CPlayScene* play_;
    bool timing_ = false;
    Mark last_;
    // Per timed frame: wall seconds; processor seconds of the process and of the main thread; the main
    // thread's processor seconds inside GL calls and inside the hand-over calls; wrapped calls.
    std::vector<double> wall, process, main, glCpu, handOver, calls;
    // Between the timed frames: the wrapping's processor seconds a call outside its timed part, and
    // of a whole call.
    std::vector<double> wrapperOutside, wrapperWhole;
};

// First in every pass of the show's second run: the main thread's processor time since the previous
// pass is that pass's frame, timed with GL calls stopped short of the driver once the show is flying
// through a scene, each frame paired with a reference piece timed next to it.
struct NullProbe : CStandardScene {
    explicit NullProbe(CPlayScene* play) : CStandardScene(0), play_(play) {}
    void Frame(unsigned) override {
        const double now = bench::ThreadCpuSeconds();
        glcalls::g_glNull = false;
        if (timing_) {
            frames.push_back(now - last_);
            calls.push_back(static_cast<double>(glcalls::g_glCalls - calls_));
        }
        // Frame and reference piece take turns to go first: an odd pair's piece runs after its frame,
        // an even pair's before it.
        if (references.size() < frames.size()) references.push_back(reference_.Run());
        timing_ = play_->GetCurrentScene() != nullptr;
        if (timing_ && frames.size() % 2 == 0) references.push_back(reference_.Run());
        calls_ = glcalls::g_glCalls;
        glcalls::g_glNull = timing_;
        last_ = bench::ThreadCpuSeconds();
    }
    CPlayScene* play_;
    bench::Reference reference_;
    bool timing_ = false;
    double last_ = 0;
    std::uint64_t calls_ = 0;
    // Per timed frame: processor seconds and GL calls; the reference's seconds beside each frame.
    std::vector<double> frames, calls, references;
};

// The show once through, as fast as it goes, with the probe after its scenes; the driver owns them.
void PlayOnce(CGameApplicationDriverDX9* driver, CPlayScene* play, IScene* probe) {
    driver->GetSceneManager()->AddScene(CResourceScene::Instance());
    driver->GetSceneManager()->AddScene(play);
    driver->GetSceneManager()->AddScene(probe);
    driver->GetFrameRateKeeper()->SetFrameRate(0);
    CResourceScene::Instance()->SetOneShot(true);
    driver->Run();
}

// The show played again with its frames' GL calls stopped short of the driver; false when it could
// not run.
bool NullRun(std::vector<double>& frames, std::vector<double>& calls, std::vector<double>& references) {
    if (!CreateApplicationDriver()) return false;
    try {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->UseFileSystem(g_data);
        if (driver->Initialize()) {
            auto* play = static_cast<CPlayScene*>(NewPlayScene());
            auto* probe = new NullProbe(play);
            PlayOnce(driver, play, probe);
            glcalls::g_glNull = false;
            frames = probe->frames;
            calls = probe->calls;
            references = probe->references;
        }
    } catch (const std::exception& e) {
        glcalls::g_glNull = false;
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    return !frames.empty();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    if (!fs::exists(bin / "data" / "main.tvs")) {
        const std::string why = "the data set is not beside the benchmark (" + bin.string() + "/data)";
        bench::Unmeasured(kOpensTarget, why);
        bench::Unmeasured(kEngineTarget, why);
        return bench::Status();
    }
    const fs::path data = fs::temp_directory_path() / ("tvbench-show-" + std::to_string(::getpid()));
    fs::copy(bin / "data", data, fs::copy_options::recursive);
    std::ofstream(data / "main.tvs", std::ios::binary) << Script(kSecondsPerScene);

    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("VELLACOR_DIALOG", "0,2,0,0,1,24,0", 0);  // the third size offered offscreen: 640 x 480
    plat::SetCommandLine(argc, argv);

    FrameProbe* probe = nullptr;
    int width = 0, height = 0;
    int status = 0;
    std::string videoDriver;  // SDL's name of the one the show opened
    if (CreateApplicationDriver()) {
        try {
            CGameApplicationDriverDX9* driver = GetApplicationDriver();
            g_data = data.string() + "/";
            driver->UseFileSystem(g_data);
            if (driver->Initialize()) {
                if (const char* name = SDL_GetCurrentVideoDriver()) videoDriver = name;
                auto* play = static_cast<CPlayScene*>(NewPlayScene());
                probe = new FrameProbe(play);
                PlayOnce(driver, play, probe);
                g_counting = glcalls::g_glTiming = glcalls::g_glCpuTiming = false;
                const plat::PresentParameters* screen = driver->GetGraphics()->GetPresentParameters();
                width = static_cast<int>(screen->backBufferWidth);
                height = static_cast<int>(screen->backBufferHeight);
            } else {
                status = bench::kNotMeasured;
            }
        } catch (const std::exception& e) {
            ReportFatalException(e);
        }
        if (probe != nullptr && !probe->wall.empty()) {
            const FrameProbe& f = *probe;
            // Every figure of processor time is taken less what wrapping the calls adds (their clock
            // reads), as measured between the frames. The main thread's time outside GL calls, less the
            // wrappers' share outside them, is the engine's.
            const double wrapperCost = bench::SpreadOf(f.wrapperOutside).median;
            const double wholeCall = bench::SpreadOf(f.wrapperWhole).median;
            std::vector<double> process, main, own, serial, share;
            for (std::size_t i = 0; i < f.wall.size(); ++i) {
                const double clocks = wholeCall * f.calls[i];
                process.push_back(f.process[i] - clocks);
                main.push_back(f.main[i] - clocks);
                own.push_back(f.main[i] - f.glCpu[i] - wrapperCost * f.calls[i]);
                serial.push_back(main.back() - f.handOver[i]);
                share.push_back(process.back() > 0 ? own.back() / process.back() : 0.0);
            }
            std::printf("show at %d x %d, %zu frames timed over %.0f s of scenes; per frame, median (min, max)\n",
                        width, height, f.wall.size(), 3 * kSecondsPerScene);
            std::printf("(no plain side: nothing plain does the show's work; its figures are its own)\n");
            std::printf("wall time, ms: %s; 95th %.2f, 99th %.2f\n", bench::Show(f.wall, 1e3).c_str(),
                        1e3 * Percentile(f.wall, 0.95), 1e3 * Percentile(f.wall, 0.99));
            std::printf("processor time, ms: all threads %s; main thread %s\n", bench::Show(process, 1e3).c_str(),
                        bench::Show(main, 1e3).c_str());
            std::printf("main thread's serial time (outside blit, flush, finish and swap), ms: %s\n",
                        bench::Show(serial, 1e3).c_str());
            const bench::Spread engine = bench::SpreadOf(own);
            std::printf(
                "engine's own processor time outside GL (main thread), ms a frame: %s (not judged: taken less a "
                "correction of %.3f ms a frame for the wrapping; judged below with the calls stopped short of the "
                "driver)\n",
                bench::Show(engine, 1e3, 3).c_str(), 1e3 * wrapperCost * bench::SpreadOf(f.calls).median);
            std::printf(
                "its share of the frame's processor time, %%: %s (no target: the rasteriser's time, not "
                "the engine's, sets it)\n",
                bench::Show(share, 100, 2).c_str());
            std::printf(
                "GL calls a frame: %s; wrapping adds %.0f ns of processor time a call, %.0f ns of it outside "
                "the call's timed part (medians of %zu batches of %d calls between the frames; outside part %s ns)\n",
                bench::Show(f.calls, 1, 0).c_str(), wholeCall * 1e9, wrapperCost * 1e9, f.wrapperOutside.size(),
                kCalibrationCalls, bench::Show(f.wrapperOutside, 1e9, 0).c_str());
            bench::Verdict("while timed: " + std::to_string(g_opens) + " files opened, " + std::to_string(g_decodes) +
                               " pictures decoded (target 0)",
                           g_opens + g_decodes == 0);
        } else {
            status = bench::kNotMeasured;
        }
        DestroyApplicationDriver();
    } else {
        status = bench::kNotMeasured;
    }
    if (status != 0) {
        // The driver's start fails when no GL device can be made: name the video driver tried.
        const std::string why = "the show did not run: " + NoDeviceReason();
        bench::Unmeasured(kOpensTarget, why);
        bench::Unmeasured(kEngineTarget, why);
    }
    if (status == 0) {
        // The same show again, its scenes flown through for less time, its frames' GL calls stopped
        // short of the driver.
        std::ofstream(data / "main.tvs", std::ios::binary | std::ios::trunc) << Script(kNullSecondsPerScene);
        std::vector<double> frames, calls, references;
        if (NullRun(frames, calls, references)) {
            std::printf(
                "show with the GL calls stopped short of the driver, %zu frames timed over %.0f s of scenes: main "
                "thread's processor ms a frame %s (%s GL calls); reference workload beside each, ms %s\n",
                frames.size(), 3 * kNullSecondsPerScene, bench::ShowFloor(frames, 1e3, 3).c_str(),
                bench::Show(calls, 1, 0).c_str(), bench::ShowFloor(references, 1e3, 3).c_str());
            const double ratio = bench::FloorRatio(frames, references);
            char bound[96];
            std::snprintf(bound, sizeof bound, ": %.3f floor over floor, target at most %.2f", ratio,
                          kEngineRatioBound);
            bench::Verdict(kEngineTarget + std::string(bound), ratio <= kEngineRatioBound);
        } else {
            bench::Unmeasured(kEngineTarget, "the show's second run did not run: " + NoDeviceReason());
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    // The figure belongs to the video driver: the offscreen one renders through EGL into buffers of its
    // own and holds far more than a window on an X server does.
    const double peak = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (videoDriver.empty())
        std::printf("peak resident memory: %.1f MB (no video driver was opened)\n", peak);
    else
        std::printf("peak resident memory under the %s video driver: %.1f MB%s\n", videoDriver.c_str(), peak,
                    videoDriver == "offscreen" ? " (not a windowed program's figure: run with SDL_VIDEODRIVER=x11 and "
                                                 "a DISPLAY for that)"
                                               : "");
    fs::remove_all(data);
    // The show's own exit code says it failed while it ran: its figures are then of a run cut short.
    if (status == 0 && GetApplicationExitCode() != 0)
        bench::Unmeasured("the show played through", "it exited with code " + std::to_string(GetApplicationExitCode()));
    return bench::Status();
}
