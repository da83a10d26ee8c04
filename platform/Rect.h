// The one rectangle of the tree: edges in pixels, right and bottom exclusive (a Win32 RECT's meaning).
#pragma once

#include <cstdint>

namespace plat {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
};

inline Rect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return Rect{left, top, right, bottom};
}
inline Rect MakeRectFromSize(int32_t x, int32_t y, int32_t width, int32_t height) {
    return Rect{x, y, x + width, y + height};
}

}  // namespace plat
