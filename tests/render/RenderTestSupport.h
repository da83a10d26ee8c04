// The renderer's tests run inside a real application driver, as the renderer does: over the recording
// device (call journals) or over the GL device under the off-screen driver (pixels read back). Data
// files are written by the tests into a scratch directory that the driver's loader serves.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "devices/GameApplicationDriverDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/MessageBox.h"
#include "tests/app_framework/TestSupport.h"
#include "tests/render/scene/TestScene.h"

namespace rendertest {

using namespace trivale;

class RenderEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tvrender-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "config");
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("SDL_AUDIODRIVER", "dummy", 0);
        // Adapter 0, mode 0 (640 x 480), no multisampling, no anisotropy, windowed, 24 depth bits, no vsync.
        ::setenv("VELLACOR_DIALOG", "0,0,0,0,1,24,0", 1);
        fwtest::KeepVideo().SetUp();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

private:
    std::filesystem::path dir_;
};

inline ::testing::Environment* const renderEnvironment = ::testing::AddGlobalTestEnvironment(new RenderEnvironment);

class QuietInput : public CDXInput {
public:
    explicit QuietInput(plat::Window* window) : CDXInput(window) {}
    bool Initialize() override { return true; }
};

class QuietSound : public CDXSound {
public:
    bool Initialize() override { return true; }
    bool IsReady() override { return true; }
};

enum class Backend { Fake, GL };

// A driver made and initialised for one test, and a scratch data directory it loads from.
class RenderTest : public ::testing::Test {
protected:
    void StartDriver(Backend backend) {
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes_.push_back(box.text); });
        log_.reset(new fwtest::CapturedLog());
        data_ = std::filesystem::temp_directory_path() /
                ("tvrender-data-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_));
        std::filesystem::create_directories(data_);
        ASSERT_TRUE(CreateApplicationDriver());
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        ApplicationDeviceFactory factory;
        if (backend == Backend::Fake) {
            fake_ = std::make_shared<plat::FakeGraphicsState>();
            fake_->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
            std::shared_ptr<plat::FakeGraphicsState> state = fake_;
            factory.graphics = [state]() {
                return std::make_unique<CDXGraphics>(plat::CreateFakeGraphicsSystem(state));
            };
        }
        factory.input = [](plat::Window* window) { return std::make_unique<QuietInput>(window); };
        factory.sound = []() { return std::make_unique<QuietSound>(); };
        driver->SetDeviceFactory(factory);
        ASSERT_TRUE(driver->Initialize()) << (boxes_.empty() ? std::string() : boxes_.front());
        driver->UseFileSystem(data_.string() + "/");
        ASSERT_NE(Device(), nullptr);
        if (fake_) fake_->journal.clear();
    }
    void TearDown() override {
        DestroyApplicationDriver();
        log_.reset();
        plat::SetMessageBoxHook(plat::MessageBoxHook());
        std::error_code ignored;
        if (!data_.empty()) std::filesystem::remove_all(data_, ignored);
    }

    // A fresh log from here on (the old one is closed before the new one opens).
    void RestartLog() {
        log_.reset();
        log_.reset(new fwtest::CapturedLog());
    }
    plat::IGraphicsDevice* Device() { return GetApplicationDriver()->GetGraphics()->GetDevice(); }
    // The calls journalled since the last look.
    std::vector<std::string> Journal() {
        std::vector<std::string> lines;
        lines.swap(fake_->journal);
        return lines;
    }
    // Only the journal lines that start with one of the prefixes.
    std::vector<std::string> Journal(const std::vector<std::string>& prefixes) {
        std::vector<std::string> kept;
        for (const std::string& line : Journal()) {
            for (const std::string& prefix : prefixes) {
                if (line.compare(0, prefix.size(), prefix) == 0) {
                    kept.push_back(line);
                    break;
                }
            }
        }
        return kept;
    }
    void WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
        std::filesystem::create_directories((data_ / name).parent_path());
        std::ofstream out(data_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::unique_ptr<fwtest::CapturedLog> log_;
    std::shared_ptr<plat::FakeGraphicsState> fake_;
    std::filesystem::path data_;
    std::vector<std::string> boxes_;
    static inline int serial_ = 0;
};

// A 32-bit bottom-up BMP of the given texels (0xAARRGGBB, rows top first).
inline std::vector<unsigned char> MakeBmp(int width, int height, const std::vector<std::uint32_t>& texels) {
    const std::uint32_t imageBytes = static_cast<std::uint32_t>(width * height * 4);
    std::vector<unsigned char> bmp(54 + imageBytes, 0);
    auto put32 = [&bmp](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    bmp[26] = 1;
    bmp[28] = 32;
    put32(34, imageBytes);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t texel = texels[static_cast<std::size_t>((height - 1 - y) * width + x)];
            put32(54 + static_cast<std::size_t>((y * width + x) * 4), texel);
        }
    }
    return bmp;
}

inline std::vector<unsigned char> MakeFlatBmp(int width, int height, std::uint32_t colour) {
    return MakeBmp(width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width * height), colour));
}

}  // namespace rendertest
