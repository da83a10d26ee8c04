// The application's drawing tests run inside a real driver, over the recording device or GL under the
// off-screen video driver (see tests/render), with the overlay's data from OverlayFonts.h.
#pragma once

#include <memory>

#include "tests/benchmark/OverlayFonts.h"
#include "tests/render/RenderTestSupport.h"

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

class OverlayTest : public rendertest::RenderTest {
protected:
    // Over GL, each presented frame kept in `presented_`.
    void StartGL() {
        StartWith([this]() { return std::make_unique<CapturingGraphics>(&presented_); });
        WriteOverlayData(data_);
    }
    // Over the recording device with an adapter changed by `adjust` first.
    void StartFake(const std::function<void(plat::FakeAdapter&)>& adjust = {}) {
        StartDriver(rendertest::Backend::Fake, adjust);
        WriteOverlayData(data_);
    }
    trivale::CDXGraphics& Graphics() { return *trivale::GetApplicationDriver()->GetGraphics(); }

    Frame presented_;
};

}  // namespace overlaytest
