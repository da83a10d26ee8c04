// The application's drawing tests run inside a real driver, over the recording device or GL under the
// off-screen video driver (see tests/render), with the overlay's data from OverlayFonts.h.
#pragma once

#include "tests/benchmark/OverlayFonts.h"
#include "tests/render/RenderTestSupport.h"

namespace overlaytest {

using rendertest::Backend;

// The GL graphics object that keeps a copy of each frame it presents (the overlay clears the back
// buffer for the next pass right after presenting).
class CapturingGraphics : public trivale::CDXGraphics {
public:
    struct Frame {
        std::vector<std::uint32_t> pixels;
        std::uint32_t width = 0, height = 0;
        std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
    };
    explicit CapturingGraphics(Frame* last) : last_(last) {}
    void Present() override {
        if (GetDevice() != nullptr) GetDevice()->ReadBackBuffer(last_->pixels, last_->width, last_->height);
        CDXGraphics::Present();
    }

private:
    Frame* last_;
};

class OverlayTest : public rendertest::RenderTest {
protected:
    // Over GL, each presented frame kept in `presented_`.
    void StartCapturingGL() {
        StartWith([this]() { return std::make_unique<CapturingGraphics>(&presented_); });
    }
    // Over the recording device with an adapter changed by `adjust` first.
    void StartFake(const std::function<void(plat::FakeAdapter&)>& adjust) {
        fake_ = std::make_shared<plat::FakeGraphicsState>();
        fake_->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
        adjust(fake_->adapters.back());
        StartWith([state = fake_]() {
            return std::make_unique<trivale::CDXGraphics>(plat::CreateFakeGraphicsSystem(state));
        });
        fake_->journal.clear();
    }
    void StartWith(const std::function<std::unique_ptr<trivale::CDXGraphics>()>& graphics) {
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes_.push_back(box.text); });
        RestartLog();
        data_ = std::filesystem::temp_directory_path() /
                ("tvoverlay-data-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_));
        std::filesystem::create_directories(data_);
        ASSERT_TRUE(trivale::CreateApplicationDriver());
        trivale::ApplicationDeviceFactory factory;
        factory.graphics = graphics;
        trivale::GetApplicationDriver()->SetDeviceFactory(factory);
        ASSERT_TRUE(trivale::GetApplicationDriver()->Initialize()) << (boxes_.empty() ? "" : boxes_.front());
        trivale::GetApplicationDriver()->UseFileSystem(data_.string() + "/");
    }
    void WriteOverlayFiles() {
        WriteOverlayData(
            [this](const std::string& name, const std::vector<unsigned char>& bytes) { WriteFile(name, bytes); });
    }
    trivale::CDXGraphics& Graphics() { return *trivale::GetApplicationDriver()->GetGraphics(); }
    CapturingGraphics::Frame presented_;
};

}  // namespace overlaytest
