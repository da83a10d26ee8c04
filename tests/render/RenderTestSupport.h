// The renderer's tests run inside a real application driver, as the renderer does: over the recording
// device (call journals) or the GL device under the off-screen driver (pixels read back). Tests write
// their data files into a scratch directory that the driver's loader serves.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <functional>

#include "devices/GameApplicationDriverDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/MessageBox.h"
#include "tests/app_framework/TestSupport.h"
#include "tests/render/scene/TestScene.h"

namespace rendertest {

enum class Backend { Fake, GL };

class RenderTest : public ::testing::Test {
protected:
    // Over the recording device (its adapter changed by `adjust` first) or GL.
    void StartDriver(Backend backend, const std::function<void(plat::FakeAdapter&)>& adjust = {}) {
        std::function<std::unique_ptr<CDXGraphics>()> graphics;
        if (backend == Backend::Fake) {
            fake_ = std::make_shared<plat::FakeGraphicsState>();
            fake_->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
            if (adjust) adjust(fake_->adapters.back());
            graphics = [state = fake_] { return std::make_unique<CDXGraphics>(plat::CreateFakeGraphicsSystem(state)); };
        }
        StartWith(graphics);
    }
    // With the graphics the function makes (none: the driver's own).
    void StartWith(const std::function<std::unique_ptr<CDXGraphics>()>& graphics) {
        ::setenv("XDG_CONFIG_HOME", (data_ / "config").c_str(), 1);
        ::setenv("VELLACOR_DIALOG", "0,0,0,0,1,24,0", 1);  // the first mode, windowed, 24 depth bits
        [[maybe_unused]] static const bool video = (fwtest::KeepVideo().SetUp(), true);  // once per run
        plat::SetMessageBoxHook([](const plat::MessageBoxRequest& box) { ADD_FAILURE() << box.text; });
        RestartLog();
        std::filesystem::create_directories(data_ / "config");
        ASSERT_TRUE(CreateApplicationDriver());
        if (graphics) {
            ApplicationDeviceFactory factory;
            factory.graphics = graphics;
            GetApplicationDriver()->SetDeviceFactory(factory);
        }
        ASSERT_TRUE(GetApplicationDriver()->Initialize());
        GetApplicationDriver()->UseFileSystem(data_.string() + "/");
        if (fake_) fake_->journal.clear();
    }
    void TearDown() override {
        DestroyApplicationDriver();
        log_.reset();
        plat::SetMessageBoxHook(plat::MessageBoxHook());
        std::filesystem::remove_all(data_);
    }
    void RestartLog() {
        log_.reset();  // the old log closes before the new one opens
        log_.reset(new fwtest::CapturedLog());
    }
    plat::IGraphicsDevice* Device() { return GetApplicationDriver()->GetGraphics()->GetDevice(); }
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
    std::vector<std::string> Journal(const char* prefix) { return Journal(std::vector<std::string>{prefix}); }
    void WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
        std::filesystem::create_directories((data_ / name).parent_path());
        std::ofstream(data_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

    std::unique_ptr<fwtest::CapturedLog> log_;
    std::shared_ptr<plat::FakeGraphicsState> fake_;
    const std::filesystem::path data_ =
        std::filesystem::temp_directory_path() / ("tvrender-" + std::to_string(::getpid()));
};

inline std::vector<unsigned char> FlatImage(int width, int height, std::uint32_t colour = 0) {
    return MakeTga(width, height, std::vector<std::uint32_t>(width * height, colour));
}

}  // namespace rendertest
