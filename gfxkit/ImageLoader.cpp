#include "gfxkit/ImageLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "gfxkit/ImageCodec.h"

namespace plat {

using image::Decoded;
using image::Fail;
using image::Failure;
using image::Pixels;

namespace {

void Read(const void* data, size_t size, bool headerOnly, Decoded& out) {
    if (data == nullptr && size != 0) throw Failure(gfx::kInvalidArgument, "no image data");
    const uint8_t* d = static_cast<const uint8_t*>(data);
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.info.depth = 1;
    out.info.mipLevels = 1;
    out.info.resourceType = ImageResourceType::Texture;
    if (size >= 4 && std::memcmp(d, "DDS ", 4) == 0) return image::ReadDds(d, size, headerOnly, out);
    if (size >= 8 && std::memcmp(d, kPng, 8) == 0) return image::ReadPng(d, size, headerOnly, out);
    if (size >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return image::ReadJpeg(d, size, headerOnly, out);
    if (size >= 2 && d[0] == 'B' && d[1] == 'M') return image::ReadBmp(d, size, headerOnly, out);
    if (image::LooksLikeTga(d, size)) return image::ReadTga(d, size, headerOnly, out);
    Fail("not an image file the loader reads");
}

// Runs a step and turns what it throws into a result code and a reason.
template <typename Step>
GraphicsResult Guard(std::string* why, Step step) {
    try {
        step();
        return gfx::kOk;
    } catch (const Failure& e) {
        if (why) *why = e.what();
        return e.code();
    } catch (const std::bad_alloc&) {
        if (why) *why = "out of memory";
        return gfx::kOutOfMemory;
    }
}

// ------------------------------------------------------------------------------------- parameters

struct Filter {
    ImageFilter kind;
    bool mirrorU, mirrorV, dither;
};

Filter ParseFilter(ImageFilter value, ImageFilter fallback) {
    if (value == ImageFilter::Default) value = fallback;
    const uint32_t v = static_cast<uint32_t>(value);
    const uint32_t kind = v & 0xFF;
    if (kind < 1 || kind > 5 || (v & ~(0xFFu | kImageFilterMirror | kImageFilterDither)) != 0)
        throw Failure(gfx::kInvalidArgument, "unknown filter " + std::to_string(v));
    return {static_cast<ImageFilter>(kind), (v & kImageFilterMirrorU) != 0, (v & kImageFilterMirrorV) != 0,
            (v & kImageFilterDither) != 0};
}

uint32_t NextPowerOfTwo(uint32_t v) {
    uint32_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

uint32_t TargetSide(uint32_t asked, uint32_t file) {
    if (asked == 0 || asked == kImageDefault) return NextPowerOfTwo(file);
    if (asked == kImageDefaultNonPow2) return file;
    if (asked > kMaxImageDimension) throw Failure(gfx::kInvalidArgument, "asked size above the loader's limit");
    return asked;
}

uint32_t FullChain(uint32_t w, uint32_t h) {
    uint32_t n = 1;
    while ((std::max(w, h) >> n) != 0) ++n;
    return n;
}

// ------------------------------------------------------------------------------------- resampling

struct Tap {
    uint32_t index;
    float weight;
};

// Index of a texel reached past an edge: wrapped, or mirrored about the edge.
uint32_t EdgeIndex(int64_t i, uint32_t n, bool mirror) {
    if (mirror) {
        const int64_t period = 2 * int64_t(n);
        i %= period;
        if (i < 0) i += period;
        return static_cast<uint32_t>(i < n ? i : period - 1 - i);
    }
    i %= n;
    return static_cast<uint32_t>(i < 0 ? i + n : i);
}

// Source taps of each destination texel along one axis.
std::vector<std::vector<Tap>> AxisTaps(uint32_t src, uint32_t dst, ImageFilter kind, bool mirror) {
    std::vector<std::vector<Tap>> taps(dst);
    const double s = double(src) / dst;
    for (uint32_t d = 0; d < dst; ++d) {
        std::vector<Tap>& t = taps[d];
        const double centre = (d + 0.5) * s;
        switch (kind) {
        case ImageFilter::Point:
            t.push_back({std::min(static_cast<uint32_t>(centre), src - 1), 1.0f});
            break;
        case ImageFilter::Linear: {
            const double x = centre - 0.5, f = x - std::floor(x);
            const int64_t i = static_cast<int64_t>(std::floor(x));
            t.push_back({EdgeIndex(i, src, mirror), float(1 - f)});
            t.push_back({EdgeIndex(i + 1, src, mirror), float(f)});
            break;
        }
        case ImageFilter::Box: {
            const double lo = d * s, hi = (d + 1) * s;
            // Source pixel indices are exact in a double.
            for (int64_t i = static_cast<int64_t>(std::floor(lo)); static_cast<double>(i) < hi && i < int64_t(src);
                 ++i) {
                const double at = static_cast<double>(i);
                const double overlap = std::min(at + 1, hi) - std::max(at, lo);
                if (overlap > 1e-9) t.push_back({static_cast<uint32_t>(i), float(overlap / s)});
            }
            break;
        }
        default: {  // triangle
            const double r = std::max(1.0, s);
            double sum = 0;
            for (int64_t i = static_cast<int64_t>(std::ceil(centre - r - 0.5));
                 i <= static_cast<int64_t>(std::floor(centre + r - 0.5)); ++i) {
                const double w = 1 - std::fabs(static_cast<double>(i) + 0.5 - centre) / r;
                if (w <= 0) continue;
                t.push_back({EdgeIndex(i, src, mirror), float(w)});
                sum += w;
            }
            for (Tap& tap : t) tap.weight = float(tap.weight / sum);
        }
        }
    }
    return taps;
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::min(255.0f, std::max(0.0f, v + 0.5f))); }

Pixels Resample(const Pixels& src, uint32_t w, uint32_t h, const Filter& filter) {
    Pixels out;
    image::Allocate(out, w, h);
    if (filter.kind == ImageFilter::None) {
        // Copied to the top-left; the rest stays transparent black.
        const uint32_t cw = std::min(w, src.width), ch = std::min(h, src.height);
        for (uint32_t y = 0; y < ch; ++y)
            std::memcpy(&out.bgra[size_t(y) * w * 4], &src.bgra[size_t(y) * src.width * 4], size_t(cw) * 4);
        return out;
    }
    const auto xs = AxisTaps(src.width, w, filter.kind, filter.mirrorU);
    const auto ys = AxisTaps(src.height, h, filter.kind, filter.mirrorV);
    // Rows first, into floats, then columns. The filtered source rows are kept in a few slots, taken in
    // turn, so that a row shared by neighbouring destination rows is filtered once; a whole image of them
    // would take four times the level. The slots take at most a quarter of the level's rows (two at the
    // least): a wide footprint then filters some of its rows twice.
    size_t slots = 2;
    for (const std::vector<Tap>& t : ys) slots = std::max(slots, t.size());
    slots = std::min(slots, std::max<size_t>(2, h / 4));
    std::vector<float> rows(slots * w * 4);
    std::vector<int64_t> held(slots, -1);         // the source row in each slot, -1 for none
    std::vector<int64_t> slotOf(src.height, -1);  // the slot holding each source row, -1 for none
    size_t next = 0;
    auto row = [&](uint32_t y) -> const float* {
        if (slotOf[y] >= 0) return &rows[size_t(slotOf[y]) * w * 4];
        const size_t s = next;
        next = (next + 1) % slots;
        if (held[s] >= 0) slotOf[size_t(held[s])] = -1;
        held[s] = y;
        slotOf[y] = int64_t(s);
        float* o = &rows[s * w * 4];
        std::fill(o, o + size_t(w) * 4, 0.0f);
        const uint8_t* in = &src.bgra[size_t(y) * src.width * 4];
        for (uint32_t x = 0; x < w; ++x, o += 4)
            for (const Tap& t : xs[x])
                for (int c = 0; c < 4; ++c) o[c] += t.weight * in[t.index * 4 + c];
        return &rows[s * w * 4];
    };
    std::vector<float> acc(size_t(w) * 4);
    for (uint32_t y = 0; y < h; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (const Tap& t : ys[y]) {
            const float* in = row(t.index);
            for (size_t i = 0; i < acc.size(); ++i) acc[i] += t.weight * in[i];
        }
        uint8_t* o = &out.bgra[size_t(y) * w * 4];
        for (size_t i = 0; i < acc.size(); ++i) o[i] = ToByte(acc[i]);
    }
    return out;
}

// The next mip level. Halving with a box filter is the common case and takes the integer path.
Pixels NextLevel(const Pixels& src, const Filter& filter) {
    const uint32_t w = std::max(src.width / 2, 1u), h = std::max(src.height / 2, 1u);
    const bool halvesX = src.width % 2 == 0 || src.width == 1, halvesY = src.height % 2 == 0 || src.height == 1;
    if (filter.kind != ImageFilter::Box || !halvesX || !halvesY) return Resample(src, w, h, filter);
    Pixels out;
    image::Allocate(out, w, h);
    const size_t dx = src.width == 1 ? 0 : 4;
    const size_t rowBytes = size_t(src.width) * 4;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* a = &src.bgra[size_t(src.height == 1 ? y : 2 * y) * rowBytes];
        const uint8_t* b = src.height == 1 ? a : a + rowBytes;
        uint8_t* o = &out.bgra[size_t(y) * w * 4];
        if (dx == 0 || src.height == 1) {
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) {
                    const size_t i = x * (dx ? 8 : 4) + c;
                    o[x * 4 + c] = static_cast<uint8_t>((a[i] + (dx ? a[i + 4] : b[i]) + 1) >> 1);
                }
            continue;
        }
        // Two channels per 32-bit lane pair: four 8-bit values sum to at most 10 bits.
        const uint32_t m = 0x00FF00FFu;
        for (uint32_t x = 0; x < w; ++x, a += 8, b += 8, o += 4) {
            uint32_t p[4];
            std::memcpy(p, a, 8);
            std::memcpy(p + 2, b, 8);
            const uint32_t even = (p[0] & m) + (p[1] & m) + (p[2] & m) + (p[3] & m) + 0x00020002u;
            const uint32_t odd = (p[0] >> 8 & m) + (p[1] >> 8 & m) + (p[2] >> 8 & m) + (p[3] >> 8 & m) + 0x00020002u;
            const uint32_t v = (even >> 2 & m) | (odd >> 2 & m) << 8;
            std::memcpy(o, &v, 4);
        }
    }
    return out;
}

void ApplyColourKey(Pixels& px, uint32_t key) {
    const uint8_t k[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
    for (size_t i = 0; i < px.bgra.size(); i += 4)
        if (std::memcmp(&px.bgra[i], k, 4) == 0) std::memset(&px.bgra[i], 0, 4);
}

// ------------------------------------------------------------------------------------- conversion

// 4x4 ordered-dither thresholds, in sixteenths.
const uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// An 8-bit channel narrowed to `bits`: rounded, or dithered by the texel's threshold.
inline uint32_t Narrow(uint32_t v, uint32_t bits, int threshold) {
    const uint32_t top = (1u << bits) - 1;
    if (threshold < 0) return (v * top + 127) / 255;
    return std::min(top, (v * top * 32 + (2 * uint32_t(threshold) + 1) * 255) / (255 * 32));
}

// `opaque`: every alpha is known to be 255 already.
ImageLevel Convert(Pixels&& px, Format format, bool dither, bool opaque) {
    ImageLevel level;
    level.width = px.width;
    level.height = px.height;
    const uint32_t bpt = FormatBytesPerTexel(format);
    level.pitch = px.width * bpt;
    if (format == Format::Argb8888 || format == Format::Xrgb8888) {
        level.bytes = std::move(px.bgra);
        if (format == Format::Xrgb8888 && !opaque)
            for (size_t i = 3; i < level.bytes.size(); i += 4) level.bytes[i] = 0xFF;
        return level;
    }
    level.bytes.resize(size_t(level.pitch) * px.height);
    const uint8_t* s = px.bgra.data();
    uint8_t* o = level.bytes.data();
    for (uint32_t y = 0; y < px.height; ++y) {
        for (uint32_t x = 0; x < px.width; ++x, s += 4, o += bpt) {
            const uint32_t b = s[0], g = s[1], r = s[2], a = s[3];
            const int t = dither ? kBayer[y & 3][x & 3] : -1;
            uint32_t v = 0;
            switch (format) {
            case Format::Xrgb8888:
                v = 0xFF000000u | (r << 16) | (g << 8) | b;
                break;
            case Format::Rgb888:
                v = (r << 16) | (g << 8) | b;
                break;
            case Format::Rgb565:
                v = (Narrow(r, 5, t) << 11) | (Narrow(g, 6, t) << 5) | Narrow(b, 5, t);
                break;
            case Format::Xrgb1555:
            case Format::Argb1555:
                v = ((format == Format::Xrgb1555 || a >= 128) ? 0x8000u : 0) | (Narrow(r, 5, t) << 10) |
                    (Narrow(g, 5, t) << 5) | Narrow(b, 5, t);
                break;
            case Format::Argb4444:
                v = (Narrow(a, 4, t) << 12) | (Narrow(r, 4, t) << 8) | (Narrow(g, 4, t) << 4) | Narrow(b, 4, t);
                break;
            case Format::Alpha8:
                v = a;
                break;
            case Format::Luminance8:
                v = (r * 77 + g * 150 + b * 29 + 128) >> 8;
                break;
            case Format::AlphaLuminance88:
                v = (a << 8) | ((r * 77 + g * 150 + b * 29 + 128) >> 8);
                break;
            default:
                break;
            }
            for (uint32_t k = 0; k < bpt; ++k) o[k] = static_cast<uint8_t>(v >> (8 * k));
        }
    }
    return level;
}

// The format a texture takes when the caller leaves it to the file: 24-bit texels are padded to 32.
Format TextureFormatFor(Format file) { return file == Format::Rgb888 ? Format::Xrgb8888 : file; }

void Build(const void* data, size_t size, const ImageLoadParams& params, LoadedImage& out) {
    const Filter filter = ParseFilter(params.filter, ImageFilter::Triangle | kImageFilterDither);
    const Filter mipFilter = ParseFilter(params.mipFilter, ImageFilter::Box);
    if (params.format != Format::Unknown && !IsImageLoaderFormat(params.format))
        throw Failure(gfx::kInvalidArgument,
                      "format " + std::to_string(uint32_t(params.format)) + " is not a texture format");
    Decoded d;
    Read(data, size, false, d);
    const uint32_t w = TargetSide(params.width, d.info.width), h = TargetSide(params.height, d.info.height);
    if (uint64_t(w) * h > kMaxImageTexels) throw Failure(gfx::kInvalidArgument, "asked size above the loader's limit");
    const uint32_t full = FullChain(w, h);
    const uint32_t levels =
        (params.mipLevels == 0 || params.mipLevels == kImageDefault) ? full : std::min(params.mipLevels, full);
    Format format = params.format == Format::Unknown ? TextureFormatFor(d.info.format) : params.format;

    const bool sameSize = w == d.info.width && h == d.info.height;
    if (IsBlockFormat(format)) {
        // Blocks are handed over as stored; they are never re-encoded.
        if (format == d.info.format && sameSize && params.colorKey == 0 && levels <= d.blocks.size()) {
            out.format = format;
            d.blocks.resize(levels);
            out.levels = std::move(d.blocks);
            out.source = d.info;
            return;
        }
        if (params.format != Format::Unknown) throw Failure(gfx::kNotAvailable, "the loader does not compress to DXT");
        format = Format::Argb8888;
    }
    if (!d.blocks.empty()) {
        d.levels.resize(d.blocks.size());
        for (size_t i = 0; i < d.blocks.size(); ++i) {
            if (!image::DecodeBlocks(d.info.format, d.blocks[i], d.levels[i]))
                image::Fail("DDS: the block data is truncated");
        }
        d.blocks.clear();
    }
    if (params.colorKey != 0)
        for (Pixels& px : d.levels) ApplyColourKey(px, params.colorKey);

    std::vector<Pixels> built;
    built.reserve(levels);
    built.push_back(sameSize ? std::move(d.levels[0]) : Resample(d.levels[0], w, h, filter));
    for (uint32_t i = 1; i < levels; ++i) {
        // The file's own chain is kept where it fits the texture; missing levels are filtered down.
        const uint32_t lw = std::max(w >> i, 1u), lh = std::max(h >> i, 1u);
        if (sameSize && i < d.levels.size() && d.levels[i].width == lw && d.levels[i].height == lh)
            built.push_back(std::move(d.levels[i]));
        else
            built.push_back(NextLevel(built.back(), mipFilter));
    }
    out.format = format;
    out.levels.clear();
    out.levels.reserve(levels);
    // Decoders give opaque texels for formats without alpha; only keying or an uncovered border adds any.
    const Format f = d.info.format;
    const bool opaque = (f == Format::Xrgb8888 || f == Format::Rgb888 || f == Format::Rgb565 || f == Format::Xrgb1555 ||
                         f == Format::Luminance8) &&
                        params.colorKey == 0 && (sameSize || filter.kind != ImageFilter::None);
    for (Pixels& px : built) out.levels.push_back(Convert(std::move(px), format, filter.dither, opaque));
    out.source = d.info;
}

}  // namespace

bool IsImageLoaderFormat(Format format) { return FormatBytesPerTexel(format) != 0 || IsBlockFormat(format); }

uint64_t ImageLevelBytes(Format format, uint32_t width, uint32_t height) {
    if (IsBlockFormat(format))
        return uint64_t(std::max((width + 3) / 4, 1u)) * std::max((height + 3) / 4, 1u) *
               (format == Format::Dxt1 ? 8 : 16);
    return uint64_t(width) * height * FormatBytesPerTexel(format);
}

GraphicsResult GetImageInfoFromMemory(const void* data, size_t size, ImageInfo& info, std::string* why) {
    Decoded d;
    const GraphicsResult r = Guard(why, [&] { Read(data, size, true, d); });
    if (Succeeded(r)) info = d.info;
    return r;
}

GraphicsResult LoadImageFromMemory(const void* data, size_t size, const ImageLoadParams& params, LoadedImage& out,
                                   std::string* why) {
    LoadedImage result;
    const GraphicsResult r = Guard(why, [&] { Build(data, size, params, result); });
    out = Succeeded(r) ? std::move(result) : LoadedImage();
    return r;
}

}  // namespace plat
