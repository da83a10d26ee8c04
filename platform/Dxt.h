#pragma once
// Decoding of the block-compressed texture formats (DXT1, DXT3, DXT5) to 0xAARRGGBB pixels, for
// drivers without the compressed-texture extension and for anyone who needs the pixels.

#include <cstdint>

#include "platform/Graphics.h"

namespace plat {

// Decodes a width x height level of `format` (Dxt1, Dxt3 or Dxt5) whose block rows lie `pitch` bytes
// apart into `pixels` (width x height words, rows top first). False for other formats.
bool DecodeDxt(Format format, const uint8_t* blocks, uint32_t pitch, uint32_t width, uint32_t height, uint32_t* pixels);

}  // namespace plat
