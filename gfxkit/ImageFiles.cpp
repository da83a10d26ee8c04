// The image files read without a library: BMP, TGA and DDS (with its DXT blocks).
#include <algorithm>
#include <cstring>

#include "gfxkit/ImageCodec.h"

namespace plat {
namespace image {

void CheckImageSize(const char* kind, uint64_t width, uint64_t height) {
    if (width == 0 || height == 0) Fail(std::string(kind) + ": the image has no texels");
    if (width > kMaxImageDimension || height > kMaxImageDimension || width * height > kMaxImageTexels)
        Fail(std::string(kind) + ": the image is larger than the loader accepts (" + std::to_string(width) + "x" +
             std::to_string(height) + ")");
}

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// ---------------------------------------------------------------------------------------------- BMP

const size_t kBmpFileHeader = 14;

void ReadBmpImpl(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    if (size < kBmpFileHeader + 40) Fail("BMP: the headers are truncated");
    const uint32_t pixelOffset = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    // The plain header and its later, longer forms; the old 12-byte form is not read.
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        Fail("BMP: unsupported header size " + std::to_string(headerSize));
    if (kBmpFileHeader + headerSize > size) Fail("BMP: the headers are truncated");
    const uint8_t* h = data + kBmpFileHeader;
    const int32_t width = static_cast<int32_t>(Le32(h + 4));
    const int32_t rawHeight = static_cast<int32_t>(Le32(h + 8));
    const uint16_t bits = Le16(h + 14);
    const uint32_t compression = Le32(h + 16);
    uint32_t colorsUsed = Le32(h + 32);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) Fail("BMP: bad image size");
    const bool topDown = rawHeight < 0;
    const uint32_t w = static_cast<uint32_t>(width);
    const uint32_t hgt = static_cast<uint32_t>(topDown ? -rawHeight : rawHeight);
    CheckImageSize("BMP", w, hgt);
    if (bits != 8 && bits != 24 && bits != 32) Fail("BMP: unsupported bit depth " + std::to_string(bits));
    bool hasAlpha = false;
    if (compression == 3 && bits == 32) {
        // Bit fields: only the usual byte layout; the masks follow a 40-byte header, or sit inside a longer one.
        if (kBmpFileHeader + 40 + 12 > size) Fail("BMP: the bit masks are truncated");
        const uint8_t* m = h + 40;
        const uint32_t alphaMask = headerSize >= 56 ? Le32(h + 52) : 0;
        if (Le32(m) != 0x00FF0000u || Le32(m + 4) != 0x0000FF00u || Le32(m + 8) != 0x000000FFu ||
            (alphaMask != 0 && alphaMask != 0xFF000000u))
            Fail("BMP: unsupported bit masks");
        hasAlpha = alphaMask != 0;
    } else if (compression != 0) {
        Fail("BMP: unsupported compression " + std::to_string(compression));
    }
    const uint8_t* palette = nullptr;
    if (bits == 8) {
        if (colorsUsed == 0) colorsUsed = 256;
        if (colorsUsed > 256) Fail("BMP: more than 256 palette entries");
        const size_t paletteAt = kBmpFileHeader + headerSize;
        if (paletteAt + size_t(colorsUsed) * 4 > size) Fail("BMP: the palette is truncated");
        palette = data + paletteAt;
    }
    const uint64_t pitch = ((uint64_t(w) * bits + 31) / 32) * 4;
    if (pixelOffset > size || pitch * hgt > size - pixelOffset) Fail("BMP: the pixel data is truncated");

    out.info.width = w;
    out.info.height = hgt;
    out.info.format = bits == 24 ? Format::Rgb888 : (hasAlpha ? Format::Argb8888 : Format::Xrgb8888);
    if (headerOnly) return;

    out.levels.resize(1);
    Pixels& px = out.levels[0];
    Allocate(px, w, hgt);
    for (uint32_t y = 0; y < hgt; ++y) {
        const uint8_t* src = data + pixelOffset + pitch * (topDown ? y : hgt - 1 - y);
        uint8_t* dst = px.bgra.data() + size_t(y) * w * 4;
        for (uint32_t x = 0; x < w; ++x, dst += 4) {
            if (bits == 8) {
                const uint8_t index = src[x];
                if (index >= colorsUsed) Fail("BMP: palette index " + std::to_string(index) + " out of range");
                std::memcpy(dst, palette + index * 4, 3);
                dst[3] = 0xFF;
            } else if (bits == 24) {
                std::memcpy(dst, src + x * 3, 3);
                dst[3] = 0xFF;
            } else {
                std::memcpy(dst, src + x * 4, 4);
                if (!hasAlpha) dst[3] = 0xFF;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------- TGA

const size_t kTgaHeader = 18;

struct TgaHeader {
    uint8_t idLength, colorMapType, imageType;
    uint16_t mapFirst, mapLength;
    uint8_t mapEntryBits;
    uint16_t width, height;
    uint8_t pixelBits, descriptor;
};

TgaHeader ParseTga(const uint8_t* d) {
    TgaHeader t;
    t.idLength = d[0];
    t.colorMapType = d[1];
    t.imageType = d[2];
    t.mapFirst = Le16(d + 3);
    t.mapLength = Le16(d + 5);
    t.mapEntryBits = d[7];
    t.width = Le16(d + 12);
    t.height = Le16(d + 14);
    t.pixelBits = d[16];
    t.descriptor = d[17];
    return t;
}

void ReadTgaImpl(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    if (size < kTgaHeader) Fail("TGA: the header is truncated");
    const TgaHeader t = ParseTga(data);
    const bool rle = t.imageType >= 9;
    const uint8_t kind = rle ? t.imageType - 8 : t.imageType;  // 1 colour-mapped, 2 true colour, 3 grey
    if (t.colorMapType > 1 || kind < 1 || kind > 3) Fail("TGA: unsupported image type " + std::to_string(t.imageType));
    const uint32_t pixelBytes = t.pixelBits / 8u;
    if ((kind == 2 && t.pixelBits != 24 && t.pixelBits != 32) || (kind != 2 && t.pixelBits != 8))
        Fail("TGA: unsupported pixel depth " + std::to_string(t.pixelBits));
    if (kind == 1 && (t.colorMapType != 1 || (t.mapEntryBits != 24 && t.mapEntryBits != 32)))
        Fail("TGA: unsupported colour map");
    CheckImageSize("TGA", t.width, t.height);
    const uint32_t entryBytes = t.colorMapType ? (t.mapEntryBits + 7u) / 8u : 0;
    const size_t mapAt = kTgaHeader + t.idLength;
    const size_t pixelsAt = mapAt + size_t(t.mapLength) * entryBytes;
    if (pixelsAt > size) Fail("TGA: the colour map is truncated");
    const uint64_t texels = uint64_t(t.width) * t.height;
    // A raw image must be all there; a run-length one needs at least two bytes per 128 texels.
    if (!rle && texels * pixelBytes > size - pixelsAt) Fail("TGA: the pixel data is truncated");
    if (rle && texels > uint64_t(size - pixelsAt) * 64) Fail("TGA: the pixel data is truncated");

    const bool alpha =
        (kind == 2 && t.pixelBits == 32 && (t.descriptor & 0x0F) != 0) || (kind == 1 && t.mapEntryBits == 32);
    out.info.width = t.width;
    out.info.height = t.height;
    out.info.format = kind == 3 ? Format::Luminance8
                      : alpha   ? Format::Argb8888
                                : (kind == 2 && t.pixelBits == 24 ? Format::Rgb888 : Format::Xrgb8888);
    if (headerOnly) return;

    out.levels.resize(1);
    Pixels& px = out.levels[0];
    Allocate(px, t.width, t.height);
    const uint8_t* map = data + mapAt;
    // One texel from its file bytes.
    auto texel = [&](const uint8_t* p, uint8_t* dst) {
        if (kind == 3) {
            dst[0] = dst[1] = dst[2] = p[0];
            dst[3] = 0xFF;
            return;
        }
        if (kind == 1) {
            if (p[0] < t.mapFirst || p[0] - t.mapFirst >= t.mapLength)
                Fail("TGA: colour-map index " + std::to_string(p[0]) + " out of range");
            p = map + size_t(p[0] - t.mapFirst) * entryBytes;
        }
        const uint32_t bytes = kind == 1 ? entryBytes : pixelBytes;
        std::memcpy(dst, p, 3);
        dst[3] = bytes == 4 && alpha ? p[3] : 0xFF;
    };
    // Texels arrive in file order; each lands where the descriptor's origin bits put it.
    const bool rightToLeft = (t.descriptor & 0x10) != 0;
    const bool topDown = (t.descriptor & 0x20) != 0;
    auto place = [&](uint64_t i) {
        const uint32_t x = static_cast<uint32_t>(i % t.width), y = static_cast<uint32_t>(i / t.width);
        const uint32_t dx = rightToLeft ? t.width - 1 - x : x, dy = topDown ? y : t.height - 1 - y;
        return px.bgra.data() + (size_t(dy) * t.width + dx) * 4;
    };
    const uint8_t* p = data + pixelsAt;
    const uint8_t* end = data + size;
    if (!rle) {
        for (uint64_t i = 0; i < texels; ++i, p += pixelBytes) texel(p, place(i));
        return;
    }
    uint64_t i = 0;
    while (i < texels) {
        if (p >= end) Fail("TGA: the run-length data is truncated");
        const uint8_t header = *p++;
        const uint32_t count = (header & 0x7Fu) + 1;
        if (i + count > texels) Fail("TGA: a run-length packet runs past the image");
        const size_t need = (header & 0x80) ? pixelBytes : size_t(count) * pixelBytes;
        if (size_t(end - p) < need) Fail("TGA: the run-length data is truncated");
        for (uint32_t k = 0; k < count; ++k, ++i) texel((header & 0x80) ? p : p + size_t(k) * pixelBytes, place(i));
        p += need;
    }
}

// ---------------------------------------------------------------------------------------------- DDS

const size_t kDdsHeader = 4 + 124;
const uint32_t kDdsFlagMipCount = 0x20000;
const uint32_t kPfAlphaPixels = 0x1, kPfAlpha = 0x2, kPfFourCc = 0x4, kPfRgb = 0x40, kPfLuminance = 0x20000;
const uint32_t kCaps2CubeMap = 0x200, kCaps2Volume = 0x200000;

struct MaskFormat {
    Format format;
    uint32_t flags, bits, r, g, b, a;
};
// Texel formats by the pixel-format record's flags, bit count and masks.
const MaskFormat kMaskFormats[] = {
    {Format::Argb8888, kPfRgb | kPfAlphaPixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {Format::Xrgb8888, kPfRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {Format::Rgb888, kPfRgb, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {Format::Rgb565, kPfRgb, 16, 0xF800, 0x7E0, 0x1F, 0},
    {Format::Xrgb1555, kPfRgb, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {Format::Argb1555, kPfRgb | kPfAlphaPixels, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {Format::Argb4444, kPfRgb | kPfAlphaPixels, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {Format::Luminance8, kPfLuminance, 8, 0xFF, 0, 0, 0},
    {Format::AlphaLuminance88, kPfLuminance | kPfAlphaPixels, 16, 0xFF, 0, 0, 0xFF00},
    {Format::Alpha8, kPfAlpha, 8, 0, 0, 0, 0xFF},
};

void DecodeMasked(Format format, const uint8_t* src, uint32_t w, uint32_t h, Pixels& px) {
    Allocate(px, w, h);
    const uint32_t bytes = static_cast<uint32_t>(ImageLevelBytes(format, 1, 1));
    uint8_t* dst = px.bgra.data();
    for (size_t i = 0, n = size_t(w) * h; i < n; ++i, src += bytes, dst += 4) {
        uint32_t v = 0;
        for (uint32_t k = 0; k < bytes; ++k) v |= uint32_t(src[k]) << (8 * k);
        uint8_t b = 0, g = 0, r = 0, a = 0xFF;
        switch (format) {
        case Format::Argb8888:
            a = uint8_t(v >> 24);
            [[fallthrough]];
        case Format::Xrgb8888:
        case Format::Rgb888:
            r = uint8_t(v >> 16), g = uint8_t(v >> 8), b = uint8_t(v);
            break;
        case Format::Rgb565:
            r = Expand(v >> 11, 5), g = Expand((v >> 5) & 63, 6), b = Expand(v & 31, 5);
            break;
        case Format::Argb1555:
            a = Expand(v >> 15, 1);
            [[fallthrough]];
        case Format::Xrgb1555:
            r = Expand((v >> 10) & 31, 5), g = Expand((v >> 5) & 31, 5), b = Expand(v & 31, 5);
            break;
        case Format::Argb4444:
            a = Expand(v >> 12, 4), r = Expand((v >> 8) & 15, 4), g = Expand((v >> 4) & 15, 4), b = Expand(v & 15, 4);
            break;
        case Format::AlphaLuminance88:
            a = uint8_t(v >> 8);
            [[fallthrough]];
        case Format::Luminance8:
            r = g = b = uint8_t(v);
            break;
        case Format::Alpha8:
            r = g = b = 0, a = uint8_t(v);
            break;
        default:
            break;
        }
        dst[0] = b, dst[1] = g, dst[2] = r, dst[3] = a;
    }
}

void ReadDdsImpl(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    if (size < kDdsHeader) Fail("DDS: the header is truncated");
    const uint8_t* h = data + 4;
    if (Le32(h) != 124 || Le32(h + 72) != 32) Fail("DDS: bad header size");
    const uint32_t flags = Le32(h + 4), height = Le32(h + 8), width = Le32(h + 12);
    const uint32_t mipCount = (flags & kDdsFlagMipCount) ? std::max<uint32_t>(Le32(h + 24), 1) : 1;
    const uint8_t* pf = h + 72;
    const uint32_t pfFlags = Le32(pf + 4), fourCc = Le32(pf + 8), bits = Le32(pf + 12);
    const uint32_t caps2 = Le32(h + 108);
    if (caps2 & (kCaps2CubeMap | kCaps2Volume)) Fail("DDS: cube maps and volumes are not read");
    CheckImageSize("DDS", width, height);
    uint32_t fullChain = 1;
    while ((std::max(width, height) >> fullChain) != 0) ++fullChain;
    if (mipCount > fullChain)
        Fail("DDS: " + std::to_string(mipCount) + " mip levels for a " + std::to_string(width) + "x" +
             std::to_string(height) + " image");

    Format format = Format::Unknown;
    if (pfFlags & kPfFourCc) {
        const Format f = static_cast<Format>(fourCc);
        if (f == Format::Dxt1 || f == Format::Dxt3 || f == Format::Dxt5) format = f;
    } else {
        const uint32_t kinds = pfFlags & (kPfRgb | kPfLuminance | kPfAlpha | kPfAlphaPixels);
        for (const MaskFormat& m : kMaskFormats) {
            if (kinds == m.flags && bits == m.bits && Le32(pf + 16) == m.r && Le32(pf + 20) == m.g &&
                Le32(pf + 24) == m.b && ((m.flags & (kPfAlphaPixels | kPfAlpha)) == 0 || Le32(pf + 28) == m.a)) {
                format = m.format;
                break;
            }
        }
    }
    if (format == Format::Unknown) Fail("DDS: unsupported pixel format");

    // Every declared level must be present before anything is decoded.
    uint64_t total = 0;
    for (uint32_t i = 0; i < mipCount; ++i)
        total += ImageLevelBytes(format, std::max(width >> i, 1u), std::max(height >> i, 1u));
    if (total > size - kDdsHeader) Fail("DDS: the level data is truncated");

    out.info.width = width;
    out.info.height = height;
    out.info.mipLevels = mipCount;
    out.info.format = format;
    if (headerOnly) return;

    const bool blocks = format == Format::Dxt1 || format == Format::Dxt3 || format == Format::Dxt5;
    const uint8_t* p = data + kDdsHeader;
    for (uint32_t i = 0; i < mipCount; ++i) {
        const uint32_t w = std::max(width >> i, 1u), hh = std::max(height >> i, 1u);
        const size_t bytes = static_cast<size_t>(ImageLevelBytes(format, w, hh));
        if (blocks) {
            ImageLevel level;
            level.width = w;
            level.height = hh;
            level.pitch = static_cast<uint32_t>(ImageLevelBytes(format, w, 1));
            level.bytes.assign(p, p + bytes);
            out.blocks.push_back(std::move(level));
        } else {
            out.levels.emplace_back();
            DecodeMasked(format, p, w, hh, out.levels.back());
        }
        p += bytes;
    }
}

}  // namespace

bool LooksLikeTga(const uint8_t* data, size_t size) {
    if (size < kTgaHeader) return false;
    const TgaHeader t = ParseTga(data);
    const uint8_t kind = t.imageType >= 9 ? t.imageType - 8 : t.imageType;
    return t.colorMapType <= 1 && kind >= 1 && kind <= 3 && (t.imageType <= 3 || t.imageType >= 9) &&
           (t.pixelBits == 8 || t.pixelBits == 15 || t.pixelBits == 16 || t.pixelBits == 24 || t.pixelBits == 32);
}

void ReadBmp(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    out.info.imageFileFormat = ImageFileFormat::Bmp;
    ReadBmpImpl(data, size, headerOnly, out);
}
void ReadTga(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    out.info.imageFileFormat = ImageFileFormat::Tga;
    ReadTgaImpl(data, size, headerOnly, out);
}
void ReadDds(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    out.info.imageFileFormat = ImageFileFormat::Dds;
    ReadDdsImpl(data, size, headerOnly, out);
}

}  // namespace image
}  // namespace plat
