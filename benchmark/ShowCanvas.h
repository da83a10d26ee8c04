// What the show's own screens (loading screen, text lines) draw with: the overlay's sprite batch,
// fonts and main viewport, and the back buffer's width, gathered once per frame.
#pragma once

#include <cstdint>

#include "benchmark/Viewport.h"
#include "render/DXSprite.h"
#include "render/SpriteFont.h"

class CResourceScene;

struct ShowCanvas {
    trivale::type_a::CDXSprite* sprite;
    trivale::type_a::CSpriteFont* large;  // the overlay's font 0
    trivale::type_a::CSpriteFont* debug;  // the overlay's font 2
    const CViewport* viewport;            // the main viewport
    int backBufferWidth;
    int debugPage;  // 0 when no debug page is shown
};

// The overlay's parts, with the width of the driver's back buffer.
ShowCanvas CanvasOf(CResourceScene& overlay);

// White at an opacity of 0 to 1 (clamped), as a colour 0xAARRGGBB; the opacity byte truncated.
std::uint32_t WhiteWithOpacity(double opacity);
