// 0xAARRGGBB colours from channel values. Channels are clamped to 0..255: a channel pushed past
// either end (a fade overshooting, an intensity above 1) saturates instead of wrapping round.
#pragma once

#include <cstdint>

#include "platform/Graphics.h"

namespace trivale {
namespace type_a {

// A channel byte from a whole-number level; NaN-free by construction.
inline std::uint32_t ColourByte(int level) {
    return level < 0 ? 0u : level > 255 ? 255u : static_cast<std::uint32_t>(level);
}

// A channel byte from a unit value (1.0 is 255), truncated as the fixed-function pipeline does; a
// value that is not a number gives 0.
inline std::uint32_t ColourByte(float unit) {
    const float level = unit * 255.0f;
    if (!(level > 0.0f)) return 0u;
    if (level >= 255.0f) return 255u;
    return static_cast<std::uint32_t>(level);
}

inline std::uint32_t MakeArgb(int a, int r, int g, int b) {
    return (ColourByte(a) << 24) | (ColourByte(r) << 16) | (ColourByte(g) << 8) | ColourByte(b);
}

inline std::uint32_t ColourFromValue(const plat::ColourValue& c) {
    return (ColourByte(c.a) << 24) | (ColourByte(c.r) << 16) | (ColourByte(c.g) << 8) | ColourByte(c.b);
}

}  // namespace type_a
}  // namespace trivale
