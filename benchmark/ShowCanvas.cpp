#include "benchmark/ShowCanvas.h"

#include "benchmark/ResourceScene.h"
#include "core/Saturate.h"
#include "render/RenderDevice.h"

ShowCanvas CanvasOf(CResourceScene& overlay) {
    const plat::PresentParameters* parameters = trivale::type_a::CurrentGraphics().GetPresentParameters();
    const int width = parameters != nullptr ? static_cast<int>(parameters->backBufferWidth) : 0;
    return ShowCanvas{overlay.GetSprite(),   overlay.GetFont0(), overlay.GetFont2(), overlay.GetViewport(), width,
                      overlay.GetDebugPage()};
}

std::uint32_t WhiteWithOpacity(double opacity) {
    int byte = trivale::SaturateToInt(opacity * 255.0);
    byte = byte < 0 ? 0 : byte > 255 ? 255 : byte;
    return static_cast<std::uint32_t>(byte) << 24 | 0xFFFFFFu;
}
