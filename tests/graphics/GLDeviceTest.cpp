// The OpenGL graphics system and device under SDL's off-screen video driver.

#include <SDL_opengl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
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

// The mode list is the window sizes on offer too: a default window (1024 x 768 at most) can always be
// chosen, whatever modes the display lists, and never covers the desktop.
TEST(WindowSizesTest, AWindowUpTo1024x768IsAlwaysOffered) {
    using Sizes = std::vector<std::pair<uint32_t, uint32_t>>;
    const AdapterMode unknown;
    const struct {
        Sizes modes;
        bool otherFormats;
        uint32_t desktopWidth, desktopHeight;
        Sizes expected;
    } rows[] = {
        {{}, false, 0, 0, {{1920, 1080}, {1600, 900}, {1280, 1024}, {1280, 720}, {1024, 768}, {800, 600}, {640, 480}}},
        {{}, false, 1280, 800, {{1280, 720}, {1024, 768}, {800, 600}, {640, 480}}},
        {{{2560, 1440}, {1920, 1080}}, false, 2560, 1440, {{2560, 1440}, {1920, 1080}, {1024, 768}}},
        {{{1280, 1024}}, false, 1280, 1024, {{1280, 1024}, {1024, 768}}},
        {{{1280, 1024}}, false, 900, 700, {{1280, 1024}, {800, 600}}},
        {{{1920, 1080}, {800, 600}}, false, 1920, 1080, {{1920, 1080}, {800, 600}}},
        {{}, true, 1024, 768, {{1024, 768}}},
    };
    for (const auto& row : rows) {
        std::vector<AdapterMode> modes;
        for (const auto& size : row.modes) modes.push_back({size.first, size.second, 60, Format::Xrgb8888});
        AdapterMode desktop = unknown;
        desktop.width = row.desktopWidth;
        desktop.height = row.desktopHeight;
        AddWindowSizes(modes, row.otherFormats, desktop);
        Sizes got;
        for (const AdapterMode& mode : modes) {
            EXPECT_EQ(mode.format, Format::Xrgb8888);
            got.push_back({mode.width, mode.height});
        }
        EXPECT_EQ(got, row.expected) << row.desktopWidth << " x " << row.desktopHeight;
    }
}

// An instance started while another holds the display in its full-screen mode takes the desktop's
// mode from the other's record, not from the display; a record whose writer is gone is not trusted.
TEST_F(GLDeviceTest, DesktopModeComesFromTheFirstFullScreenInstance) {
    const tvtest::TempDir folder;
    ASSERT_FALSE(folder.Path().empty());
    const char* was[2] = {std::getenv("XDG_RUNTIME_DIR"), std::getenv("DISPLAY")};
    const std::string kept[2] = {was[0] != nullptr ? was[0] : "", was[1] != nullptr ? was[1] : ""};
    setenv("XDG_RUNTIME_DIR", folder.Path().c_str(), 1);
    setenv("DISPLAY", ":49", 1);
    const std::string path = DesktopRecordPath();
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    SDL_DisplayMode display{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &display), 0);
    struct Row {
        long writer;
        int expectedWidth;
    };
    for (const Row& row : {Row{static_cast<long>(getppid()), 1280}, Row{static_cast<long>(gone), display.w}}) {
        std::ofstream(path) << "1280 1024 60 " << row.writer << "\n";
        {
            DesktopMode desktop;
            EXPECT_EQ(desktop.Take(0).w, row.expectedWidth) << row.writer;
            std::ifstream in(path);
            long width = 0, height = 0, rate = 0, writer = 0;
            in >> width >> height >> rate >> writer;
            EXPECT_EQ(writer, row.expectedWidth == 1280 ? row.writer : static_cast<long>(getpid()))
                << "a live writer's record stays; a dead one's is taken over";
        }
        std::ifstream after(path);
        EXPECT_EQ(after.good(), row.expectedWidth == 1280) << "the owner takes its record away";
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
