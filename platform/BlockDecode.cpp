#include "platform/BlockDecode.h"

#include <algorithm>
#include <cstring>

namespace plat {
namespace image {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void Colour565(uint16_t c, int rgb[3]) {
    rgb[0] = Expand(c >> 11, 5);
    rgb[1] = Expand((c >> 5) & 63, 6);
    rgb[2] = Expand(c & 31, 5);
}

// Decodes one block's colour half into 16 BGRA texels; DXT1 may use the three-colour mode.
void DecodeColourBlock(const uint8_t* b, bool allowThreeColour, uint8_t texels[16][4]) {
    const uint16_t c0 = Le16(b), c1 = Le16(b + 2);
    int p[4][4];  // r, g, b, a
    Colour565(c0, p[0]);
    Colour565(c1, p[1]);
    p[0][3] = p[1][3] = p[2][3] = p[3][3] = 255;
    for (int k = 0; k < 3; ++k) {
        if (c0 > c1 || !allowThreeColour) {
            p[2][k] = (2 * p[0][k] + p[1][k]) / 3;
            p[3][k] = (p[0][k] + 2 * p[1][k]) / 3;
        } else {
            p[2][k] = (p[0][k] + p[1][k]) / 2;
            p[3][k] = 0;
        }
    }
    if (!(c0 > c1 || !allowThreeColour)) p[3][3] = 0;
    const uint32_t indices = Le32(b + 4);
    for (int i = 0; i < 16; ++i) {
        const int* c = p[(indices >> (2 * i)) & 3];
        texels[i][0] = uint8_t(c[2]), texels[i][1] = uint8_t(c[1]), texels[i][2] = uint8_t(c[0]),
        texels[i][3] = uint8_t(c[3]);
    }
}

}  // namespace

void Allocate(Pixels& pixels, uint32_t width, uint32_t height) {
    pixels.width = width;
    pixels.height = height;
    pixels.bgra.assign(size_t(width) * height * 4, 0);
}

uint8_t Expand(uint32_t value, uint32_t bits) {
    if (bits == 8) return static_cast<uint8_t>(value);
    if (bits == 1) return value ? 0xFF : 0;
    uint32_t v = value << (8 - bits);
    for (uint32_t filled = bits; filled < 8; filled += bits) v |= v >> bits;
    return static_cast<uint8_t>(v);
}

bool DecodeBlocks(Format format, const ImageLevel& level, Pixels& out) {
    const uint32_t blockBytes = format == Format::Dxt1 ? 8 : 16;
    const uint32_t bw = std::max((level.width + 3) / 4, 1u), bh = std::max((level.height + 3) / 4, 1u);
    if (level.bytes.size() < size_t(bw) * bh * blockBytes) return false;
    Allocate(out, level.width, level.height);
    uint8_t texels[16][4];
    for (uint32_t by = 0; by < bh; ++by) {
        for (uint32_t bx = 0; bx < bw; ++bx) {
            const uint8_t* b = level.bytes.data() + (size_t(by) * bw + bx) * blockBytes;
            const uint8_t* colour = format == Format::Dxt1 ? b : b + 8;
            DecodeColourBlock(colour, format == Format::Dxt1, texels);
            if (format == Format::Dxt3) {
                for (int i = 0; i < 16; ++i) texels[i][3] = Expand((b[i / 2] >> (4 * (i & 1))) & 15, 4);
            } else if (format == Format::Dxt5) {
                int a[8] = {b[0], b[1]};
                for (int k = 1; k < 7; ++k) {
                    if (a[0] > a[1])
                        a[k + 1] = ((7 - k) * a[0] + k * a[1]) / 7;
                    else if (k < 5)
                        a[k + 1] = ((5 - k) * a[0] + k * a[1]) / 5;
                }
                if (a[0] <= a[1]) a[6] = 0, a[7] = 255;
                uint64_t bits = 0;
                for (int k = 0; k < 6; ++k) bits |= uint64_t(b[2 + k]) << (8 * k);
                for (int i = 0; i < 16; ++i) texels[i][3] = uint8_t(a[(bits >> (3 * i)) & 7]);
            }
            for (int i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x < level.width && y < level.height)
                    std::memcpy(out.bgra.data() + (size_t(y) * level.width + x) * 4, texels[i], 4);
            }
        }
    }
    return true;
}

}  // namespace image
}  // namespace plat
