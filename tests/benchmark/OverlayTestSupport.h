// The application's drawing tests run inside a real driver, over the recording device or GL under the
// off-screen video driver (see tests/render), with the overlay's data from OverlayFonts.h.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

#include "tests/benchmark/OverlayFonts.h"
#include "tests/render/RenderTestSupport.h"

namespace overlaytest {

// The place of a member function in its class's table of virtual operations, read from the pointer to
// it as the C++ ABI of the x86 targets lays one out (one more than the byte offset in the table for a
// virtual function, the function's even address otherwise); -1 for a function that is not virtual.
template <class F>
long Slot(F member) {
    static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "a pointer to member is a pointer and an adjustment");
    std::ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof words);
    return (words[0] & 1) != 0 ? static_cast<long>((words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*))) : -1;
}

// Whether the members are virtual and take consecutive slots in the order given.
template <class... F>
bool InSlotOrder(F... members) {
    const long slots[] = {Slot(members)...};
    for (std::size_t i = 0; i < sizeof...(F); ++i)
        if (slots[0] < 0 || slots[i] != slots[0] + static_cast<long>(i)) return false;
    return true;
}

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
