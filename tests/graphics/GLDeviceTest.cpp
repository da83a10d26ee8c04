// The OpenGL graphics system and device under SDL's off-screen video driver.

#include <SDL_opengl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/DesktopMode.h"
#include "platform/Graphics.h"
#include "platform/GraphicsGL.h"
#include "platform/GraphicsTestHooks.h"
#include "platform/Window.h"
#include "tests/core/TestUtil.h"

namespace plat {
namespace {

PresentParameters Windowed(uint32_t width, uint32_t height, uint32_t samples, Format depth) {
    PresentParameters p;
    p.backBufferWidth = width;
    p.backBufferHeight = height;
    p.backBufferFormat = Format::Unknown;
    p.backBufferCount = 1;
    p.multiSampleType = samples;
    p.swapEffect = SwapEffect::Discard;
    p.windowed = true;
    p.enableAutoDepthStencil = depth != Format::Unknown;
    p.autoDepthStencilFormat = depth;
    p.presentationInterval = kPresentIntervalImmediate;
    return p;
}

class GLDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        system_ = CreateGraphicsSystem();
        ASSERT_NE(system_, nullptr) << "no GL under the off-screen driver";
        std::string error;
        window_ = Window::Create("graphics test", 320, 240, &error);
        ASSERT_NE(window_, nullptr) << error;
    }
    void Create(PresentParameters p) {
        p.deviceWindow = window_.get();
        parameters_ = p;
        ASSERT_EQ(system_->CreateDevice(0, DeviceType::Hardware, window_.get(), kCreateHardwareVertexProcessing,
                                        parameters_, device_),
                  gfx::kOk);
        ASSERT_NE(device_, nullptr);
    }
    uint32_t Pixel(uint32_t x, uint32_t y) {
        std::vector<uint32_t> pixels;
        uint32_t w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), gfx::kOk);
        return y < h && x < w ? pixels[y * w + x] : 0;
    }

    std::unique_ptr<IGraphicsSystem> system_;
    std::unique_ptr<Window> window_;
    std::unique_ptr<IGraphicsDevice> device_;
    PresentParameters parameters_;
};

// The mode list is the window sizes on offer too: every usual size that fits the desktop, each once,
// after the display's own modes.
TEST(WindowSizesTest, EveryUsualSizeThatFitsIsOfferedOnce) {
    using Sizes = std::vector<std::pair<uint32_t, uint32_t>>;
    const Sizes usual = {{1920, 1080}, {1600, 900}, {1280, 1024}, {1280, 720}, {1024, 768}, {800, 600}, {640, 480}};
    const struct {
        Sizes modes;
        uint32_t desktopWidth, desktopHeight;
        Sizes expected;
    } rows[] = {
        {{}, 0, 0, usual},
        {{}, 1280, 800, {{1280, 720}, {1024, 768}, {800, 600}, {640, 480}}},
        {{{1280, 1024}}, 1280, 1024, {{1280, 1024}, {1280, 720}, {1024, 768}, {800, 600}, {640, 480}}},
        {{{1280, 1024}}, 900, 700, {{1280, 1024}, {800, 600}, {640, 480}}},
        {{{1920, 1080}, {800, 600}},
         1920,
         1080,
         {{1920, 1080}, {800, 600}, {1600, 900}, {1280, 1024}, {1280, 720}, {1024, 768}, {640, 480}}},
        // A size listed once per refresh rate is not added again.
        {{{1280, 1024}, {1280, 960}, {1280, 960}, {1024, 768}, {1024, 768}, {800, 600}, {640, 480}},
         1280,
         1024,
         {{1280, 1024}, {1280, 960}, {1280, 960}, {1024, 768}, {1024, 768}, {800, 600}, {640, 480}, {1280, 720}}},
    };
    for (const auto& row : rows) {
        std::vector<AdapterMode> modes;
        for (const auto& size : row.modes) modes.push_back({size.first, size.second, 60, Format::Xrgb8888});
        AdapterMode desktop;
        desktop.width = row.desktopWidth;
        desktop.height = row.desktopHeight;
        desktop.refreshRate = 75;
        AddWindowSizes(modes, desktop);
        Sizes got;
        for (std::size_t i = 0; i < modes.size(); ++i) {
            EXPECT_EQ(modes[i].format, Format::Xrgb8888);
            if (i >= row.modes.size()) {
                EXPECT_EQ(modes[i].refreshRate, row.desktopWidth > 0 ? 75u : 0u);
            }
            got.push_back({modes[i].width, modes[i].height});
        }
        EXPECT_EQ(got, row.expected) << row.desktopWidth << " x " << row.desktopHeight;
    }
}

// Two full-screen instances on one display, A and B, as fake processes over one record file: the
// desktop comes from the first, the display goes back to the mode of whoever still runs, and the
// record goes with the last of them, in whichever order they leave.
TEST(DesktopRecordTest, WhoeverLeavesLastPutsTheDesktopBack) {
    const tvtest::TempDir folder;
    const std::string path = folder / "record";
    const DisplayMode desktop{1280, 1024, 60}, modeA{800, 600, 60}, modeB{640, 480, 75};
    std::set<long> running;
    const auto runs = [&](const InstanceId& id) { return running.count(id.pid) != 0; };
    for (const bool firstLeavesFirst : {true, false}) {
        DisplayMode display = desktop;
        running = {1, 2};
        DesktopRecord a(path, {1, 100}, runs), b(path, {2, 200}, runs);
        EXPECT_EQ(a.Join([&] { return display; }).width, 1280);
        a.Use(display = modeA);
        EXPECT_EQ(b.Join([&] { return display; }).width, 1280) << "B is told A's mode by the display";
        b.Use(display = modeB);
        const auto leave = [&](DesktopRecord& r, long pid) {
            r.Leave([&](const DisplayMode& m) {
                display = m;
                return true;
            });
            running.erase(pid);
        };
        if (firstLeavesFirst) {
            leave(a, 1);
            EXPECT_EQ(display.width, 640) << "A leaves B in B's mode";
            EXPECT_TRUE(std::ifstream(path).good());
            leave(b, 2);
        } else {
            leave(b, 2);
            EXPECT_EQ(display.width, 800) << "B leaves A in A's mode";
            leave(a, 1);
        }
        EXPECT_EQ(display.width, 1280);
        EXPECT_EQ(display.height, 1024);
        EXPECT_FALSE(std::ifstream(path).good()) << "the record goes with the last";
    }
}

// An instance whose window goes below another's leaves the display in the other's mode; one that is
// minimised holds no mode until it is shown again.
TEST(DesktopRecordTest, AMinimisedInstanceHoldsNoMode) {
    const tvtest::TempDir folder;
    const std::string path = folder / "record";
    const auto runs = [](const InstanceId&) { return true; };
    DisplayMode display{1280, 1024, 60};
    const auto apply = [&](const DisplayMode& m) { display = m; };
    for (const bool minimised : {false, true}) {
        DesktopRecord a(path, {1, 100}, runs), b(path, {2, 200}, runs);
        a.Join([&] { return display; });
        a.Use(display = DisplayMode{800, 600, 60});
        b.Join([&] { return display; });
        b.Use(display = DisplayMode{640, 480, 60});
        display = DisplayMode{1280, 1024, 60};  // SDL in A puts its desktop back as A loses the focus
        a.StepAside(apply);
        EXPECT_EQ(display.width, 640);
        if (minimised) a.Use(DisplayMode());
        const auto put = [&](const DisplayMode& m) {
            display = m;
            return true;
        };
        b.Leave(put);
        EXPECT_EQ(display.width, minimised ? 1280 : 800) << "A is left on top";
        a.Use(display = DisplayMode{800, 600, 60});  // shown again
        a.Leave(put);
        EXPECT_EQ(display.width, 1280);
        EXPECT_FALSE(std::ifstream(path).good());
    }
}

// A record left by crashed instances (or a reused process id, or garbage) is not trusted, unless the
// display is still in the mode they left it in; the instance that finds it leaves no record behind.
TEST(DesktopRecordTest, AStaleRecordWedgesNothing) {
    const tvtest::TempDir folder;
    const std::string path = folder / "record";
    const auto runs = [](const InstanceId& id) { return id.pid == 7 && id.started == 70; };
    const struct {
        const char* record;
        int desktopWidth;
    } rows[] = {
        {"1280 1024 60\n3 30 800 600 60\n", 1024},
        {"1280 1024 60\n7 71 800 600 60\n", 1024},
        {"1280 1024 60\n3 30 1024 768 60\n", 1280},  // the crash left the display in its mode
        {"1280 1024 60\n3 30 1024 768 60 x\n", 1024},
        {"x y\n", 1024},
        {"", 1024},
    };
    for (const auto& row : rows) {
        std::ofstream(path) << row.record;
        DisplayMode display{1024, 768, 60};
        DesktopRecord r(path, {5, 50}, runs);
        EXPECT_EQ(r.Join([&] { return display; }).width, row.desktopWidth) << row.record;
        r.Use(display = DisplayMode{640, 480, 60});
        r.Leave([&](const DisplayMode& m) {
            display = m;
            return true;
        });
        EXPECT_EQ(display.width, row.desktopWidth) << row.record;
        EXPECT_FALSE(std::ifstream(path).good()) << row.record;
    }
    {
        DesktopRecord early(path, {7, 70}, runs);
        early.Join([] { return DisplayMode{1280, 1024, 60}; });
    }
    EXPECT_FALSE(std::ifstream(path).good()) << "an instance destroyed in the record leaves it";
    const InstanceId self = InstanceOf(static_cast<long>(getpid()));
    EXPECT_TRUE(InstanceRuns(self));
    EXPECT_FALSE(InstanceRuns(InstanceId{self.pid, self.started + 1})) << "a reused process id";
}

// A record whose instances have all ended tells the desktop's mode only while the display is dark or in
// the very mode the last of them left it in; in any other, the same size at another rate too, the
// display's own mode is the desktop's (the user chose it since).
TEST(DesktopRecordTest, ARecordOfEndedRunsIsBelievedOnlyInTheModeTheyLeft) {
    const tvtest::TempDir folder;
    const std::string path = folder / "record";
    const auto runs = [](const InstanceId& id) { return id.pid == 5; };
    const struct {
        ShownMode display;
        int desktopWidth, desktopRate;
    } rows[] = {
        {DisplayMode{960, 540, 60}, 1024, 60},
        {DisplayMode{960, 540, 75}, 960, 75},
        {DisplayMode{800, 600, 60}, 800, 60},  // left by an earlier one of them, not the last
        {ShownMode(DisplayMode{960, 540, 60}, true), 1024, 60},
    };
    for (const auto& row : rows) {
        std::ofstream(path) << "1024 768 60\n3 30 800 600 60\n4 40 960 540 60\n4 41 0 0 0\n";
        DesktopRecord r(path, {5, 50}, runs);
        const DisplayMode desktop = r.Join([&] { return row.display; });
        EXPECT_EQ(desktop.width, row.desktopWidth) << row.display.mode.refreshRate << row.display.dark;
        EXPECT_EQ(desktop.refreshRate, row.desktopRate) << row.display.mode.refreshRate << row.display.dark;
    }
}

// A run that cannot put the desktop's mode back (its X server does not answer, the run is ended
// meanwhile) leaves the record as it was: the next run takes the desktop's mode from it, as after a
// crash, and puts it back.
TEST(DesktopRecordTest, AModeThatCouldNotBePutBackIsPutBackByTheNextRun) {
    const tvtest::TempDir folder;
    const std::string path = folder / "record";
    std::set<long> running = {1};
    const auto runs = [&](const InstanceId& id) { return running.count(id.pid) != 0; };
    DisplayMode display{1024, 768, 60};
    {
        DesktopRecord first(path, {1, 100}, runs);
        EXPECT_EQ(first.Join([&] { return display; }).width, 1024);
        first.Use(display = DisplayMode{960, 540, 60});
        first.Leave([](const DisplayMode&) { return false; });
    }
    running.erase(1);
    EXPECT_TRUE(std::ifstream(path).good()) << "the record went with the mode still changed";
    running.insert(2);
    DesktopRecord next(path, {2, 200}, runs);
    EXPECT_EQ(next.Join([&] { return display; }).width, 1024);
    next.Use(display = DisplayMode{960, 540, 60});
    next.Leave([&](const DisplayMode& m) {
        display = m;
        return true;
    });
    EXPECT_EQ(display.width, 1024);
    EXPECT_EQ(display.height, 768);
    EXPECT_FALSE(std::ifstream(path).good());
}

// The record is never written through a second name planted at its path (a hard link to another of
// the user's files): such a file is no record, and it is left as it was.
TEST(DesktopRecordTest, AHardLinkedFileIsLeftAlone) {
    const tvtest::TempDir folder;
    const std::string path = folder / "record", other = folder / "precious";
    tvtest::WriteFile(other, "keep me\n");
    ASSERT_EQ(::link(other.c_str(), path.c_str()), 0);
    {
        DesktopRecord r(path, {5, 50}, [](const InstanceId&) { return true; });
        EXPECT_EQ(r.Join([] { return DisplayMode{1024, 768, 60}; }).width, 1024);
        r.Use(DisplayMode{640, 480, 60});
        r.Leave([](const DisplayMode&) { return true; });
    }
    EXPECT_EQ(tvtest::ReadFile(other), "keep me\n");
}

// A forced end finishes a change of mode under way before it puts the mode back, and no change starts
// once it has begun; a change nested in one under way goes on, so that it is not held inside itself.
TEST(ModeChangeTest, AForcedEndWaitsForAChangeUnderWayAndNoneStartsAfter) {
    std::atomic<int> step{0};
    std::thread changing([&] {
        const ModeChange change;
        step = 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const ModeChange nested;  // the gate is closed by now
        step = 2;
    });
    while (step.load() == 0) std::this_thread::yield();
    EXPECT_TRUE(CloseModeChanges(std::chrono::seconds(10)));
    EXPECT_EQ(step.load(), 2);
    changing.join();
    std::atomic<bool> started{false};
    std::thread late([&] {
        const ModeChange change;
        started = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(started.load()) << "a change started after the forced end began";
    OpenModeChanges();
    late.join();
}

// The window layer's record under the off-screen driver: the desktop's mode from the first full-screen
// instance while it runs.
TEST_F(GLDeviceTest, DesktopModeComesFromTheFirstFullScreenInstance) {
    const tvtest::TempDir folder;
    ASSERT_FALSE(folder.Path().empty());
    const char* was[2] = {std::getenv("XDG_RUNTIME_DIR"), std::getenv("DISPLAY")};
    const std::string kept[2] = {was[0] != nullptr ? was[0] : "", was[1] != nullptr ? was[1] : ""};
    setenv("XDG_RUNTIME_DIR", folder.Path().c_str(), 1);
    setenv("DISPLAY", ":49", 1);
    const std::string path = DesktopRecordPath();
    const InstanceId parent = InstanceOf(static_cast<long>(getppid()));
    std::ofstream(path) << "1280 1024 60\n" << parent.pid << " " << parent.started << " 800 600 60\n";
    {
        DesktopMode desktop;
        SDL_Window* window = static_cast<SDL_Window*>(window_->NativeHandle());
        EXPECT_EQ(desktop.Take(window, 0).w, 1280);
        desktop.PutBack(window);
        EXPECT_NE(tvtest::ReadFile(path).find(std::to_string(parent.pid) + " "), std::string::npos) << "still runs";
    }
    const char* names[2] = {"XDG_RUNTIME_DIR", "DISPLAY"};
    for (int i = 0; i < 2; ++i) was[i] != nullptr ? setenv(names[i], kept[i].c_str(), 1) : unsetenv(names[i]);
}

TEST_F(GLDeviceTest, MultisampleChecksAreExact) {
    DeviceCaps caps;
    ASSERT_EQ(system_->GetDeviceCaps(0, DeviceType::Hardware, caps), gfx::kOk);
    EXPECT_EQ(system_->CheckDeviceMultiSampleType(0, DeviceType::Hardware, Format::Xrgb8888, true, 17),
              gfx::kInvalidCall);
    // Whatever the driver can do, a count it would round up is never reported as usable.
    for (uint32_t samples = caps.maxSamples + 1; samples <= 16; ++samples) {
        EXPECT_EQ(system_->CheckDeviceMultiSampleType(0, DeviceType::Hardware, Format::Xrgb8888, false, samples),
                  gfx::kNotAvailable)
            << samples;
    }
}

TEST_F(GLDeviceTest, ClearHonoursViewportAndRectanglesFromTheTop) {
    Create(Windowed(100, 100, 0, Format::Unknown));
    device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0);
    const Viewport top = {10, 0, 20, 10, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(top), gfx::kOk);
    device_->Clear(0, nullptr, kClearTarget, 0xFFFF0000, 1.0f, 0);
    EXPECT_EQ((std::vector<uint32_t>{Pixel(10, 0), Pixel(29, 9), Pixel(30, 0), Pixel(10, 10)}),
              (std::vector<uint32_t>{0xFFFF0000, 0xFFFF0000, 0xFF000000, 0xFF000000}));
    Rect rect = {0, 5, 15, 100};  // cut by the viewport to x 10..14, y 5..9
    device_->Clear(1, &rect, kClearTarget, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(Pixel(12, 7), 0xFF00FF00u);
    EXPECT_EQ(Pixel(16, 7), 0xFFFF0000u);
    EXPECT_EQ(Pixel(5, 7), 0xFF000000u);
    Viewport outside = top;
    outside.y = 95;
    EXPECT_EQ(device_->SetViewport(outside), gfx::kInvalidCall);
    EXPECT_EQ(device_->Clear(0, nullptr, kClearZBuffer, 0, 1.0f, 0), gfx::kInvalidCall) << "no depth buffer";
}

TEST_F(GLDeviceTest, UnavailableSampleCountFallsBackWithANote) {
    Create(Windowed(64, 48, 16, Format::Depth24X8));
    std::vector<std::string> notes = device_->TakeFallbackNotes();
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find("16 samples"), std::string::npos) << notes[0];
    device_->Clear(0, nullptr, kClearTarget, 0xFF405060, 1.0f, 0);
    EXPECT_EQ(Pixel(1, 1), 0xFF405060u);
}

// Loss and reset on both back buffers: off screen (a size other than the window's) and the window's own.
TEST_F(GLDeviceTest, ForcedLossThenReset) {
    Create(Windowed(50, 40, 0, Format::Depth24X8));
    device_->TakeFallbackNotes();
    EXPECT_EQ(parameters_.backBufferFormat, Format::Xrgb8888) << "filled in for a window";
    EXPECT_FALSE(TestHooksOf(device_.get())->DrawsDirect());
    device_->Clear(0, nullptr, kClearTarget, 0xFF102030, 1.0f, 0);
    EXPECT_EQ(Pixel(49, 39), 0xFF102030u);
    TestHooksOf(device_.get())->SimulateDeviceLoss(false);
    EXPECT_EQ(device_->Present(), gfx::kDeviceLost);
    EXPECT_EQ(device_->TestCooperativeLevel(), gfx::kDeviceLost);
    PresentParameters p = parameters_;
    EXPECT_EQ(device_->Reset(p), gfx::kDeviceLost) << "no reset while the loss holds";
    TestHooksOf(device_.get())->SimulateDeviceLoss(true);
    EXPECT_EQ(device_->TestCooperativeLevel(), gfx::kDeviceNotReset);
    p.backBufferWidth = 320;  // the window's size: drawn straight into the window
    p.backBufferHeight = 240;
    ASSERT_EQ(device_->Reset(p), gfx::kOk);
    EXPECT_EQ(device_->TestCooperativeLevel(), gfx::kOk);
    EXPECT_TRUE(TestHooksOf(device_.get())->DrawsDirect());
    device_->Clear(0, nullptr, kClearTarget, 0xFF0000FF, 1.0f, 0);
    EXPECT_EQ(Pixel(319, 239), 0xFF0000FFu);
    EXPECT_EQ(device_->Present(), gfx::kOk);

    // A reset that fails half-way through rebuilding leaves the device lost, and clears do nothing.
    PresentParameters bad = p;
    bad.autoDepthStencilFormat = Format::Xrgb8888;
    EXPECT_NE(device_->Reset(bad), gfx::kOk);
    EXPECT_EQ(device_->TestCooperativeLevel(), gfx::kDeviceNotReset);
    EXPECT_EQ(device_->Clear(0, nullptr, kClearTarget | kClearZBuffer, 0, 1.0f, 0), gfx::kOk);
    EXPECT_EQ(device_->Present(), gfx::kDeviceLost);
    ASSERT_EQ(device_->Reset(p), gfx::kOk);
    EXPECT_EQ(device_->Clear(0, nullptr, kClearTarget | kClearZBuffer, 0xFF00FF00, 1.0f, 0), gfx::kOk);
    glEnable(0);  // an error that drawing left behind is not the read-back's
    EXPECT_EQ(Pixel(0, 0), 0xFF00FF00u);
    // Multisampling, another depth or the test hook keep the back buffer off screen.
    TestHooksOf(device_.get())->ForceOffScreenBackBuffer(true);
    ASSERT_EQ(device_->Reset(p), gfx::kOk);
    EXPECT_FALSE(TestHooksOf(device_.get())->DrawsDirect());
    TestHooksOf(device_.get())->ForceOffScreenBackBuffer(false);
    p.autoDepthStencilFormat = Format::Depth16;
    ASSERT_EQ(device_->Reset(p), gfx::kOk);
    EXPECT_FALSE(TestHooksOf(device_.get())->DrawsDirect());
    // A swap interval the display refuses is told once, not at every reset.
    const std::vector<std::string> notes = device_->TakeFallbackNotes();
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                            [](const std::string& n) { return n.find("Vertical sync") != std::string::npos; }),
              0)
        << (notes.empty() ? "" : notes[0]);
}

TEST_F(GLDeviceTest, InvalidParametersAreRefused) {
    PresentParameters p = Windowed(64, 64, 0, Format::Unknown);
    p.windowed = false;  // full screen needs a size and a format
    p.backBufferFormat = Format::Unknown;
    p.deviceWindow = window_.get();
    EXPECT_NE(system_->CreateDevice(0, DeviceType::Hardware, window_.get(), 0, p, device_), gfx::kOk);
    EXPECT_EQ(device_, nullptr);
    PresentParameters q = Windowed(64, 64, 0, Format::Unknown);
    EXPECT_EQ(system_->CreateDevice(0, DeviceType::Hardware, nullptr, 0, q, device_), gfx::kInvalidCall);
    EXPECT_EQ(system_->CreateDevice(7, DeviceType::Hardware, window_.get(), 0, q, device_), gfx::kInvalidCall);
}

}  // namespace
}  // namespace plat
