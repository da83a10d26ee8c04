#pragma once
// Texture levels as bytes, and the DXT1/3/5 block decoder: the GL device decodes compressed levels
// itself when the driver has no compressed textures, and the image loader reads DDS files with it.

#include <cstdint>
#include <vector>

#include "platform/Graphics.h"

namespace plat {

// One level, rows top first. Texels are little-endian packed values of the format (Argb8888 is the
// bytes B, G, R, A); block-compressed levels hold rows of 4x4 blocks.
struct ImageLevel {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;  // bytes per row (of texels, or of blocks)
    std::vector<uint8_t> bytes;
};

namespace image {

// Texels as the bytes B, G, R, A, rows top first, no padding.
struct Pixels {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bgra;
};

// Allocates width x height texels (after the caller has checked the size).
void Allocate(Pixels& pixels, uint32_t width, uint32_t height);

// Widens a channel of `bits` bits to eight by bit replication: full scale maps to 255, zero to zero.
uint8_t Expand(uint32_t value, uint32_t bits);

// Decodes one level of DXT1/3/5 blocks; false (and `out` untouched) when the level holds too few blocks.
bool DecodeBlocks(Format format, const ImageLevel& level, Pixels& out);

}  // namespace image
}  // namespace plat
