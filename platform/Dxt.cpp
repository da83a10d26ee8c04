#include "platform/Dxt.h"

namespace plat {

namespace {

uint32_t Expand565(uint16_t c) {
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    r = (r << 3) | (r >> 2);
    g = (g << 2) | (g >> 4);
    b = (b << 3) | (b >> 2);
    return (r << 16) | (g << 8) | b;
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb, uint32_t div) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * wa + cb * wb) / div) << shift;
    }
    return out;
}

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Colours of one block (RGB, alpha 0xFF unless the 1-bit transparent entry is chosen).
void ColourBlock(const uint8_t* block, bool allowTransparent, uint32_t out[16]) {
    const uint16_t c0 = Word(block), c1 = Word(block + 2);
    uint32_t palette[4];
    palette[0] = Expand565(c0) | 0xFF000000u;
    palette[1] = Expand565(c1) | 0xFF000000u;
    if (c0 > c1 || !allowTransparent) {
        palette[2] = Mix(palette[0], palette[1], 2, 1, 3) | 0xFF000000u;
        palette[3] = Mix(palette[0], palette[1], 1, 2, 3) | 0xFF000000u;
    } else {
        palette[2] = Mix(palette[0], palette[1], 1, 1, 2) | 0xFF000000u;
        palette[3] = 0;  // transparent black
    }
    for (int i = 0; i < 16; ++i) out[i] = palette[(block[4 + i / 4] >> (2 * (i % 4))) & 3];
}

void AlphaBlock5(const uint8_t* block, uint8_t out[16]) {
    uint32_t a[8];
    a[0] = block[0];
    a[1] = block[1];
    if (a[0] > a[1]) {
        for (int i = 1; i < 7; ++i) a[i + 1] = ((7 - i) * a[0] + i * a[1]) / 7;
    } else {
        for (int i = 1; i < 5; ++i) a[i + 1] = ((5 - i) * a[0] + i * a[1]) / 5;
        a[6] = 0;
        a[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(a[(bits >> (3 * i)) & 7]);
}

}  // namespace

bool DecodeDxt(Format format, const uint8_t* blocks, uint32_t pitch, uint32_t width, uint32_t height,
               uint32_t* pixels) {
    if (format != Format::Dxt1 && format != Format::Dxt3 && format != Format::Dxt5) return false;
    const uint32_t blockBytes = format == Format::Dxt1 ? 8 : 16;
    for (uint32_t by = 0; by < (height + 3) / 4; ++by) {
        for (uint32_t bx = 0; bx < (width + 3) / 4; ++bx) {
            const uint8_t* block = blocks + static_cast<size_t>(by) * pitch + static_cast<size_t>(bx) * blockBytes;
            uint32_t texels[16];
            if (format == Format::Dxt1) {
                ColourBlock(block, true, texels);
            } else {
                ColourBlock(block + 8, false, texels);
                uint8_t alpha[16];
                if (format == Format::Dxt3) {
                    for (int i = 0; i < 16; ++i) {
                        uint32_t a = (block[i / 2] >> (4 * (i % 2))) & 15;
                        alpha[i] = static_cast<uint8_t>(a * 17);
                    }
                } else {
                    AlphaBlock5(block, alpha);
                }
                for (int i = 0; i < 16; ++i) texels[i] = (texels[i] & 0xFFFFFFu) | (uint32_t(alpha[i]) << 24);
            }
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < width && y < height) pixels[static_cast<size_t>(y) * width + x] = texels[i];
            }
        }
    }
    return true;
}

}  // namespace plat
