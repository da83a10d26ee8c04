// Pictures as the builder draws them (8-bit RGBA, rows top to bottom) and their encodings. Every
// encoder writes the same bytes for the same picture (no times, fixed settings).
#pragma once
#include <cstdint>
#include <vector>

#include "tools/dataset/DataSet.h"

namespace trivale {
namespace dataset {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // width * height * 4 bytes

    Image() = default;
    Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0) {}
    std::uint8_t* At(int x, int y) { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
    const std::uint8_t* At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

// PNG, 8-bit RGBA (alpha kept) or RGB (alpha dropped).
Bytes EncodePng(const Image& image, bool withAlpha = true);

}  // namespace dataset
}  // namespace trivale
