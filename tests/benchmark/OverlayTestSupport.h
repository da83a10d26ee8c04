// The application's drawing tests run inside a real driver, over the recording device or GL under the
// off-screen video driver (see tests/render), with the overlay's data from OverlayFonts.h.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "devices/GameApplicationDriverDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/MessageBox.h"
#include "tests/app_framework/TestSupport.h"
#include "tests/benchmark/OverlayFonts.h"

namespace overlaytest {

struct Frame {
    std::vector<std::uint32_t> pixels;
    std::uint32_t width = 0, height = 0;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

// GL graphics that keeps a copy of each frame it presents (the overlay clears right after presenting).
struct CapturingGraphics : trivale::CDXGraphics {
    explicit CapturingGraphics(Frame* last) : last_(last) {}
    void Present() override {
        if (GetDevice() != nullptr) GetDevice()->ReadBackBuffer(last_->pixels, last_->width, last_->height);
        CDXGraphics::Present();
    }
    Frame* last_;
};

class OverlayTest : public ::testing::Test {
protected:
    // Over GL, each presented frame kept in `presented_`.
    void StartGL() {
        StartWith([this]() { return std::make_unique<CapturingGraphics>(&presented_); });
    }
    // Over the recording device with an adapter changed by `adjust` first.
    void StartFake(const std::function<void(plat::FakeAdapter&)>& adjust = {}) {
        fake_ = std::make_shared<plat::FakeGraphicsState>();
        fake_->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
        if (adjust) adjust(fake_->adapters.back());
        StartWith([state = fake_]() {
            return std::make_unique<trivale::CDXGraphics>(plat::CreateFakeGraphicsSystem(state));
        });
        fake_->journal.clear();
    }
    void StartWith(const std::function<std::unique_ptr<trivale::CDXGraphics>()>& graphics) {
        std::filesystem::create_directories(data_ / "config");
        ::setenv("XDG_CONFIG_HOME", (data_ / "config").c_str(), 1);
        ::setenv("VELLACOR_DIALOG", "0,0,0,0,1,24,0", 1);  // the first mode, windowed, 24 depth bits
        [[maybe_unused]] static const bool video = (fwtest::KeepVideo().SetUp(), true);  // once per run
        plat::SetMessageBoxHook([](const plat::MessageBoxRequest& box) { ADD_FAILURE() << box.text; });
        log_.reset();
        log_.reset(new fwtest::CapturedLog());
        ASSERT_TRUE(trivale::CreateApplicationDriver());
        trivale::ApplicationDeviceFactory factory;
        factory.graphics = graphics;
        trivale::GetApplicationDriver()->SetDeviceFactory(factory);
        ASSERT_TRUE(trivale::GetApplicationDriver()->Initialize());
        WriteOverlayData(data_);
        trivale::GetApplicationDriver()->UseFileSystem(data_.string() + "/");
    }
    void TearDown() override {
        trivale::DestroyApplicationDriver();
        log_.reset();
        plat::SetMessageBoxHook(plat::MessageBoxHook());
        std::filesystem::remove_all(data_);
    }
    trivale::CDXGraphics& Graphics() { return *trivale::GetApplicationDriver()->GetGraphics(); }
    plat::IGraphicsDevice& Device() { return *Graphics().GetDevice(); }
    // The calls journalled since the last look that start with one of the prefixes (all when none).
    std::vector<std::string> Journal(const std::vector<std::string>& prefixes = {}) {
        std::vector<std::string> kept;
        for (const std::string& line : fake_->journal) {
            bool keep = prefixes.empty();
            for (const std::string& prefix : prefixes) keep = keep || line.rfind(prefix, 0) == 0;
            if (keep) kept.push_back(line);
        }
        fake_->journal.clear();
        return kept;
    }

    std::unique_ptr<fwtest::CapturedLog> log_;
    std::shared_ptr<plat::FakeGraphicsState> fake_;
    const std::filesystem::path data_ =
        std::filesystem::temp_directory_path() / ("tvoverlay-" + std::to_string(::getpid()));
    Frame presented_;
};

}  // namespace overlaytest
