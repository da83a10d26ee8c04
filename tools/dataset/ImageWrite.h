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

// Baseline JPEG through libjpeg (alpha dropped), 4:2:0, JFIF header without a thumbnail.
const int kJpegQuality = 88;
Bytes EncodeJpeg(const Image& image, int quality = kJpegQuality);

// BMP: 24-bit, bottom-up rows padded to four bytes, 40-byte header (alpha dropped).
Bytes EncodeBmp(const Image& image);

// DDS texel layouts: uncompressed A8R8G8B8, or 4x4 blocks (DXT1 opaque, DXT5 with interpolated alpha).
enum class DdsFormat { Argb8888, Dxt1, Dxt5 };
enum class MipChain { None, Full };  // Full: every level down to 1x1, each box-filtered from the one above
Bytes EncodeDds(const Image& image, DdsFormat format, MipChain mips);

}  // namespace dataset
}  // namespace trivale
