#include "benchmark/Viewport.h"

#include <algorithm>

#include "render/RenderDevice.h"

void CViewport::Apply() { trivale::type_a::CurrentDevice().SetViewport(viewport_); }

void CViewport::Set(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height, float minZ,
                    float maxZ) {
    viewport_ = plat::Viewport{x, y, width, height, minZ, maxZ};
}

float CViewport::GetAspect() const {
    return static_cast<float>(viewport_.width) / static_cast<float>(viewport_.height);
}

ScreenLayout ComputeScreenLayout(int width, int height, bool wideScreen) {
    // 64 bits so that width x 10 cannot overflow for any int size.
    const std::int64_t w = std::max(width, 0), h = std::max(height, 0);
    std::int64_t mainHeight;
    if (wideScreen) {
        mainHeight = std::min(h, w * 9 / 16);
    } else {
        mainHeight = static_cast<double>(w) / static_cast<double>(h) <= 1.6 ? w * 10 / 16 : h;
    }
    const std::int64_t top = std::max<std::int64_t>((h - mainHeight) / 2, 0);
    auto rect = [](std::int64_t x, std::int64_t y, std::int64_t rw, std::int64_t rh) {
        return plat::Viewport{static_cast<std::uint32_t>(x),
                              static_cast<std::uint32_t>(y),
                              static_cast<std::uint32_t>(rw),
                              static_cast<std::uint32_t>(rh),
                              0.0f,
                              1.0f};
    };
    ScreenLayout layout;
    layout.full = rect(0, 0, w, h);
    layout.main = rect(0, top, w, mainHeight);
    layout.topBar = rect(0, 0, w, top);
    layout.bottomBar = rect(0, top + mainHeight, w, top);
    return layout;
}

namespace {

const plat::Rect kNoRect{0, 0, 0, 0};
const OverlayFontLayout kFont08{"fonts\\FONT08T2.png", 16, 16, 0x00, 0x7F, false, kNoRect, 8, 8};
const OverlayFontLayout kFont12{"fonts\\FONT12T2.png", 16, 16, 0x20, 0x5F, true, {0, 0, 256, 256}, 11, 14};
const OverlayFontLayout kFont16{"fonts\\FONT16T2.png", 16, 16, 0x20, 0x5F, false, kNoRect, 0, 0};
const OverlayFontLayout kFont20{"fonts\\FONT20T2.png", 32, 32, 0x20, 0x5F, true, {0, 0, 512, 512}, 20, 20};
const OverlayFontLayout kFont24{"fonts\\FONT24T2.png", 24, 24, 0x20, 0x5F, true, {0, 0, 384, 512}, 23, 0};
const OverlayFontLayout kFont32{"fonts\\FONT32T2.png", 32, 32, 0x20, 0x5F, false, kNoRect, 0, 0};

}  // namespace

const OverlayFontLayout kDebugFontLayout = kFont08;

const OverlayFontChoice& ChooseOverlayFonts(int backBufferWidth) {
    static const OverlayFontChoice kNarrow{kFont16, kFont08}, kMedium{kFont20, kFont12}, kLarge{kFont24, kFont12},
        kWide{kFont32, kFont16};
    if (backBufferWidth < 960) return kNarrow;
    if (backBufferWidth < 1152) return kMedium;
    if (backBufferWidth < 1500) return kLarge;
    return kWide;
}
