#pragma once
// Stands in for the graphics helper library's texture loader: reads an image file held in memory
// (PNG, JPEG, BMP, TGA, DDS with DXT1/3/5) and prepares the levels of a texture with the loader's
// size, mip, format, filter and colour-key parameters. CPU only: handing the levels to the device is
// the device's business. Every file is bounds-checked; a bad one is an error result, never a crash.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/BlockDecode.h"
#include "platform/Graphics.h"

namespace plat {

// Kinds of image file, numbered as the runtime numbers them.
enum class ImageFileFormat : uint32_t { Bmp = 0, Jpg = 1, Tga = 2, Png = 3, Dds = 4 };

// Kind of resource an image file describes; only plain 2D textures are read.
enum class ImageResourceType : uint32_t { Texture = 3 };

// Description of an image file.
struct ImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;               // 1 for every image the loader reads
    uint32_t mipLevels = 0;           // levels stored in the file (DDS may hold a chain; others 1)
    Format format = Format::Unknown;  // the file's own texel format (24-bit files: Rgb888)
    ImageResourceType resourceType = ImageResourceType::Texture;
    ImageFileFormat imageFileFormat = ImageFileFormat::Bmp;
};

// Size and mip-level sentinels, as callers pass them. 0 means the same as kImageDefault.
const uint32_t kImageDefault = 0xFFFFFFFFu;         // size from the file rounded up to a power of two; full mip chain
const uint32_t kImageDefaultNonPow2 = 0xFFFFFFFEu;  // size from the file as it is

// A filter: its kind in the low byte, flags above it (0x80005 is a box filter with dithering).
enum class ImageFilter : uint32_t {
    None = 1,               // no scaling: the source is copied to the top-left, texels outside it are transparent black
    Point = 2,              // nearest texel
    Linear = 3,             // bilinear between the four nearest texels
    Triangle = 4,           // tent over the source footprint (at least one texel wide)
    Box = 5,                // average of the source footprint, weighted by area (2x2 when halving)
    Default = 0xFFFFFFFFu,  // Triangle with dithering for the image, Box for the mip levels
};
// Flags or-ed into a filter. Without a mirror flag, filters that reach past an edge wrap around.
const uint32_t kImageFilterMirrorU = 0x10000;
const uint32_t kImageFilterMirrorV = 0x20000;
const uint32_t kImageFilterMirrorW = 0x40000;  // no meaning for 2D images; accepted
const uint32_t kImageFilterMirror = 0x70000;
const uint32_t kImageFilterDither = 0x80000;  // ordered dither when a format keeps fewer bits per channel
constexpr ImageFilter operator|(ImageFilter filter, uint32_t flags) {
    return static_cast<ImageFilter>(static_cast<uint32_t>(filter) | flags);
}

struct ImageLoadParams {
    uint32_t width = kImageDefault;  // 0, kImageDefault, kImageDefaultNonPow2 or a size (resamples)
    uint32_t height = kImageDefault;
    uint32_t mipLevels = kImageDefault;  // 0 or kImageDefault: the full chain down to 1x1
    Format format = Format::Unknown;     // Unknown: the file's own (24-bit as Xrgb8888)
    ImageFilter filter = ImageFilter::Default;
    ImageFilter mipFilter = ImageFilter::Default;
    uint32_t colorKey = 0;  // ARGB; texels of exactly this colour become transparent black; 0 for none
};

struct LoadedImage {
    Format format = Format::Unknown;
    std::vector<ImageLevel> levels;  // level 0 first
    ImageInfo source;
};

// Limits on what the loader accepts: a side, and the texels of the source or of level 0.
const uint32_t kMaxImageDimension = 16384;
const uint64_t kMaxImageTexels = uint64_t(1) << 26;

// Formats the loader can write (Unknown excluded). Dxt1/3/5 only from a DDS holding the same format.
bool IsImageLoaderFormat(Format format);
// Bytes of one level of the given size in a format (block formats round up to whole blocks); 0 for
// formats the loader does not write.
uint64_t ImageLevelBytes(Format format, uint32_t width, uint32_t height);

// Reads only the description. kOk, kInvalidData, kInvalidArgument (null data); `why` gets the reason.
GraphicsResult GetImageInfoFromMemory(const void* data, size_t size, ImageInfo& info, std::string* why = nullptr);

// Decodes and prepares every level. kOk; kInvalidData (bad file); kInvalidArgument (bad parameter);
// kNotAvailable (compressing to DXT); kOutOfMemory. On failure `out` is left empty.
GraphicsResult LoadImageFromMemory(const void* data, size_t size, const ImageLoadParams& params, LoadedImage& out,
                                   std::string* why = nullptr);

}  // namespace plat
