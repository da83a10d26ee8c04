#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "gfxkit/ImageLoader.h"

// Every allocation of this program passes through here, so that a test can see the largest single one
// made while it watches.
namespace {
bool g_watching = false;
size_t g_largest = 0;
void* Allocate(std::size_t n) {
    if (g_watching) g_largest = std::max(g_largest, n);
    return std::malloc(n == 0 ? 1 : n);
}
}  // namespace
void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace plat;

namespace {

// Image files are made in memory: PNG and JPEG through their libraries, the rest byte by byte. Texels
// are given as 0xAARRGGBB, rows top first.
typedef std::vector<uint8_t> Bytes;
typedef std::vector<uint32_t> Texels;
using F = Format;

void Put16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
Bytes Le32(const std::vector<uint32_t>& values) {
    Bytes b;
    for (uint32_t v : values) Put32(b, v);
    return b;
}

// `raw` holds the file's own row bytes; palette and transparency only for the kinds that use them.
Bytes MakePng(uint32_t w, uint32_t h, int colorType, int depth, const Bytes& raw,
              const std::vector<png_color>& palette = {}, const Bytes& trns = {}, bool interlaced = false) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    auto write = [](png_structp p, png_bytep data, size_t n) {
        Bytes* to = static_cast<Bytes*>(png_get_io_ptr(p));
        to->insert(to->end(), data, data + n);
    };
    png_set_write_fn(png, &out, write, nullptr);
    png_set_IHDR(png, info, w, h, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> rows(h);
    for (uint32_t y = 0; y < h; ++y) rows[y] = const_cast<uint8_t*>(raw.data()) + y * (raw.size() / h);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// RGB (3 components) or grey (1) JPEG at quality 100, without chroma subsampling.
Bytes MakeJpeg(uint32_t w, uint32_t h, int components, const Bytes& raw) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w, c.image_height = h, c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    for (JSAMPROW row; c.next_scanline < h; jpeg_write_scanlines(&c, &row, 1))
        row = const_cast<uint8_t*>(raw.data()) + size_t(c.next_scanline) * w * components;
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// BMP of 8 (palette of ARGB entries, texels are indices), 24 or 32 bits; bottom-up unless topDown.
Bytes MakeBmp(int32_t w, int32_t h, int bits, const std::vector<uint32_t>& texels,
              const std::vector<uint32_t>& palette = {}, bool topDown = false, bool alphaMasks = false) {
    const uint32_t header = alphaMasks ? 108 : 40, pitch = ((uint32_t(w) * bits + 31) / 32) * 4;
    const uint32_t offset = 14 + header + uint32_t(palette.size()) * 4;
    Bytes b = {'B', 'M'};
    Put32(b, offset + pitch * h), Put32(b, 0), Put32(b, offset);
    Put32(b, header), Put32(b, w), Put32(b, topDown ? -h : h), Put16(b, 1), Put16(b, bits);
    Put32(b, alphaMasks ? 3 : 0), Put32(b, pitch * h), Put32(b, 2835), Put32(b, 2835);
    Put32(b, uint32_t(palette.size())), Put32(b, 0);
    if (alphaMasks) Put32(b, 0xFF0000), Put32(b, 0xFF00), Put32(b, 0xFF), Put32(b, 0xFF000000);
    b.resize(14 + header, 0);
    for (uint32_t c : palette) Put32(b, c & 0xFFFFFF);
    for (int32_t r = 0; r < h; ++r) {
        const size_t start = b.size();
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = texels[size_t(topDown ? r : h - 1 - r) * w + x];
            for (int k = 0; k < bits / 8; ++k) b.push_back(uint8_t(c >> (8 * k)));
        }
        b.resize(start + pitch, 0);
    }
    return b;
}

// TGA header followed by the given colour map and pixel bytes, as written.
Bytes MakeTga(uint8_t type, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor, const Bytes& pixels,
              const Bytes& map = {}, uint8_t mapBits = 0, uint16_t mapFirst = 0) {
    Bytes b = {0, uint8_t(mapBits ? 1 : 0), type};
    Put16(b, mapFirst), Put16(b, mapBits ? uint16_t(map.size() / (mapBits / 8)) : 0), b.push_back(mapBits);
    Put16(b, 0), Put16(b, 0), Put16(b, w), Put16(b, h), b.push_back(bits), b.push_back(descriptor);
    b.insert(b.end(), map.begin(), map.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// Square DDS of a pixel format given as {four-character code} or {flags, bits, red, green, blue, alpha masks}.
Bytes MakeDds(uint32_t size, const std::vector<uint32_t>& pf, const Bytes& data, uint32_t mips = 1) {
    const bool fourCc = pf.size() == 1;
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124), Put32(b, 0x1007 | (mips > 1 ? 0x20000 : 0)), Put32(b, size), Put32(b, size), Put32(b, 0),
        Put32(b, 0);
    Put32(b, mips);
    b.resize(4 + 72, 0);
    Put32(b, 32), Put32(b, fourCc ? 4 : pf[0]), Put32(b, fourCc ? pf[0] : 0);
    for (size_t i = 1; i < 6; ++i) Put32(b, fourCc ? 0 : pf[i]);
    Put32(b, 0x1000);
    b.resize(b.size() + 16, 0);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// One level of ARGB texels unless told otherwise; a given width resamples and keeps the file's height.
ImageLoadParams Params(uint32_t width = kImageDefaultNonPow2, ImageFilter filter = ImageFilter::Point,
                       Format format = F::Argb8888, uint32_t mips = 1, uint32_t key = 0) {
    ImageLoadParams p;
    p.width = width;
    p.height = width == 0 || width >= kImageDefaultNonPow2 ? width : kImageDefaultNonPow2;
    p.filter = filter, p.format = format, p.mipLevels = mips, p.colorKey = key;
    return p;
}
ImageLoadParams Own(Format format, uint32_t mips = 1, uint32_t key = 0) {
    return Params(kImageDefaultNonPow2, ImageFilter::Point, format, mips, key);
}

LoadedImage Load(const Bytes& file, const ImageLoadParams& params = Params()) {
    LoadedImage image;
    std::string why;
    EXPECT_EQ(LoadImageFromMemory(file.data(), file.size(), params, image, &why), gfx::kOk) << why;
    return image;
}

template <typename T>
std::vector<T> Cat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Texels Rows(const Texels& row, int count) { return count == 1 ? row : Cat(row, Rows(row, count - 1)); }
Bytes Seq(int first, int last) {  // first, first + 1, ... last
    Bytes b;
    for (int v = first; v <= last; ++v) b.push_back(uint8_t(v));
    return b;
}
Texels Grey(const Bytes& levels) {
    Texels t;
    for (uint8_t v : levels) t.push_back(0xFF000000u | v * 0x10101u);
    return t;
}
Bytes Png(uint32_t w, uint32_t h, const Texels& argb) {  // RGBA
    Bytes raw;
    for (uint32_t c : argb) raw.insert(raw.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
    return MakePng(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8, raw);
}
Bytes Dds(uint32_t size, Format fourCc, const Bytes& data, uint32_t mips = 1) {
    return MakeDds(size, {uint32_t(fourCc)}, data, mips);
}

const Texels kRgba = {0x80112233, 0xFF445566, 0x00778899, 0x40AABBCC};
const Texels kBgr = {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112};
const Texels kJpegHalves = Rows(Cat(Texels(8, 0xFFC82828), Texels(8, 0xFF1E3CDC)), 8);
// DXT colour block: red and blue ends, each row using indices 0, 1, 2, 3.
const Bytes kDxt1Four = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
const Bytes kWhiteBlock = {0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0};

struct DecodeCase {
    const char* name;
    Bytes file;
    Format format;  // the file's own, as the image information gives it
    uint32_t width, height;
    Texels texels;
    int tolerance = 0;
};

std::vector<DecodeCase> DecodeCases() {
    Bytes jpegRgb, tga24;  // the TGA bottom-up: the second row first
    for (uint32_t c : kJpegHalves) jpegRgb.insert(jpegRgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    for (int i : {3, 4, 5, 0, 1, 2})
        tga24.insert(tga24.end(), {uint8_t(kBgr[i]), uint8_t(kBgr[i] >> 8), uint8_t(kBgr[i] >> 16)});
    const uint32_t kArgb = 0x41, kRgb = 0x40;  // DDS pixel-format flags
    return {
        {"png_rgb", MakePng(3, 2, PNG_COLOR_TYPE_RGB, 8, Seq(1, 18)), F::Rgb888, 3, 2, kBgr},
        {"png_grey_alpha", MakePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {10, 20, 30, 40}), F::AlphaLuminance88, 2, 1,
         Texels{0x140A0A0A, 0x281E1E1E}},
        {"png_palette_transparency",
         MakePng(2, 2, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 1, 0}, {{255, 0, 0}, {0, 255, 0}}, {128}), F::Argb8888, 2, 2,
         Texels{0x80FF0000, 0xFF00FF00, 0xFF00FF00, 0x80FF0000}},
        {"png_16_bit", MakePng(2, 1, PNG_COLOR_TYPE_RGB, 16, {0xFF, 0xFF, 0, 0, 0x80, 0x80, 0, 0, 0, 0, 0, 0}),
         F::Rgb888, 2, 1, Texels{0xFFFF0080, 0xFF000000}},
        {"png_interlaced", MakePng(3, 3, PNG_COLOR_TYPE_GRAY, 8, Seq(1, 9), {}, {}, true), F::Luminance8, 3, 3,
         Grey(Seq(1, 9))},
        {"jpeg_rgb", MakeJpeg(16, 8, 3, jpegRgb), F::Xrgb8888, 16, 8, kJpegHalves, 3},
        {"jpeg_grey", MakeJpeg(8, 8, 1, Bytes(64, 77)), F::Luminance8, 8, 8, Texels(64, 0xFF4D4D4D), 2},
        {"bmp_8_palette_padded_rows", MakeBmp(3, 2, 8, {0, 1, 2, 2, 1, 0}, {0xFF102030, 0xFF405060, 0xFF708090}),
         F::Xrgb8888, 3, 2, Texels{0xFF102030, 0xFF405060, 0xFF708090, 0xFF708090, 0xFF405060, 0xFF102030}},
        {"bmp_24_bottom_up", MakeBmp(3, 2, 24, kBgr), F::Rgb888, 3, 2, kBgr},
        {"bmp_32_top_down_alpha_ignored", MakeBmp(2, 2, 32, {0x12000001, 0x12000002, 0x12000003, 0x12000004}, {}, true),
         F::Xrgb8888, 2, 2, Texels{0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004}},
        {"bmp_32_alpha_masks", MakeBmp(2, 2, 32, kRgba, {}, false, true), F::Argb8888, 2, 2, kRgba},
        {"tga_24_bottom_up", MakeTga(2, 3, 2, 24, 0, tga24), F::Rgb888, 3, 2, kBgr},
        {"tga_32_top_down_alpha", MakeTga(2, 2, 2, 32, 0x28, Le32(kRgba)), F::Argb8888, 2, 2, kRgba},
        {"tga_colour_map", MakeTga(1, 2, 1, 8, 0x20, {5, 4}, {1, 2, 3, 4, 5, 6}, 24, 4), F::Xrgb8888, 2, 1,
         Texels{0xFF060504, 0xFF030201}},
        // A run of four crossing the row end, then two raw texels.
        {"tga_rle_run_across_rows", MakeTga(10, 3, 2, 24, 0x20, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}), F::Rgb888, 3,
         2, Texels{0xFF030201, 0xFF030201, 0xFF030201, 0xFF030201, 0xFF060504, 0xFF090807}},
        {"tga_right_to_left", MakeTga(3, 2, 1, 8, 0x30, {1, 2}), F::Luminance8, 2, 1, Grey({2, 1})},
        {"dds_argb8888", MakeDds(2, {kArgb, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, Le32(kRgba)), F::Argb8888, 2, 2,
         kRgba},
        {"dds_rgb565", MakeDds(2, {kRgb, 16, 0xF800, 0x7E0, 0x1F, 0}, {0, 0xF8, 0xE0, 0x07, 0x1F, 0, 0xFF, 0xFF}),
         F::Rgb565, 2, 2, Texels{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}},
        {"dds_argb1555", MakeDds(2, {kArgb, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}, {0, 0x7C, 0x1F, 0x80, 0, 0, 0xFF, 0xFF}),
         F::Argb1555, 2, 2, Texels{0x00FF0000, 0xFF0000FF, 0, 0xFFFFFFFF}},
        {"dds_argb4444", MakeDds(2, {kArgb, 16, 0xF00, 0xF0, 0xF, 0xF000}, {0x00, 0x8F, 0x21, 0x43, 0, 0, 0xFF, 0xFF}),
         F::Argb4444, 2, 2, Texels{0x88FF0000, 0x44332211, 0, 0xFFFFFFFF}},
        {"dds_alpha8", MakeDds(2, {0x2, 8, 0, 0, 0, 0xFF}, {0x10, 0x20, 0x30, 0x40}), F::Alpha8, 2, 2,
         Texels{0x10000000, 0x20000000, 0x30000000, 0x40000000}},
        {"dds_alpha_luminance88", MakeDds(2, {0x20001, 16, 0xFF, 0, 0, 0xFF00}, {0x40, 0x80, 1, 2, 3, 4, 5, 6}),
         F::AlphaLuminance88, 2, 2, Texels{0x80404040, 0x02010101, 0x04030303, 0x06050505}},
        {"dds_dxt1_four_colours", Dds(4, F::Dxt1, kDxt1Four), F::Dxt1, 4, 4,
         Rows({0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}, 4)},
        // Blue below red: three colours and transparent black.
        {"dds_dxt1_three_colours", Dds(4, F::Dxt1, {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4}), F::Dxt1, 4, 4,
         Rows({0xFF0000FF, 0xFFFF0000, 0xFF7F007F, 0}, 4)},
        {"dds_dxt3", Dds(4, F::Dxt3, Cat(Bytes(8, 0x5F), kWhiteBlock)), F::Dxt3, 4, 4,
         Rows({0xFFFFFFFF, 0x55FFFFFF, 0xFFFFFFFF, 0x55FFFFFF}, 4)},
        // Alpha ends 200 and 100: texel 0 takes code 2 (185), texel 1 code 7 (114), the rest code 0.
        {"dds_dxt5", Dds(4, F::Dxt5, Cat({200, 100, 0x3A, 0, 0, 0, 0, 0}, kWhiteBlock)), F::Dxt5, 4, 4,
         Cat(Texels{0xB9FFFFFF, 0x72FFFFFF, 0xC8FFFFFF, 0xC8FFFFFF}, Texels(12, 0xC8FFFFFF))},
    };
}

TEST(ImageLoader, DecodesEveryFormat) {
    for (const DecodeCase& c : DecodeCases()) {
        SCOPED_TRACE(c.name);
        ImageInfo info;
        ASSERT_EQ(GetImageInfoFromMemory(c.file.data(), c.file.size(), info), gfx::kOk);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        const LoadedImage image = Load(c.file);
        ASSERT_EQ(image.levels.size(), 1u);
        EXPECT_EQ(image.levels[0].pitch, c.width * 4);
        const Bytes &got = image.levels[0].bytes, want = Le32(c.texels);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], c.tolerance) << "byte " << i;
    }
}

// Sizes, mip chains, filters, colour keys and texel formats: the level sizes, the asked level's bytes.
TEST(ImageLoader, LoadParameters) {
    const Bytes flat = Png(3, 5, Texels(15, 0xFF336699)), two = Png(2, 1, {0xFF000000, 0xFFFFFFFF});
    const Bytes one = Png(1, 1, {0x80FF8040});
    // The top-left quad's blues 0, 4, 8, 14 average to 6.5, which rounds up to 7. Below: alpha
    // (FF+80+40+40)/4 = 128.25, red (FF+FF)/4 = 127.5 -> 128, blue (7+10)/4 = 5.75 -> 6.
    const Bytes box =
        Png(4, 4,
            Cat({0xFF000000, 0xFF000004, 0x80000010, 0x80000010, 0xFF000008, 0xFF00000E, 0x80000010, 0x80000010},
                Texels(8, 0x40FF0000)));
    Bytes chain;  // 8x8 DXT1 with its own chain: 4 + 1 + 1 + 1 blocks
    for (int i = 0; i < 7; ++i) chain.insert(chain.end(), kDxt1Four.begin(), kDxt1Four.end());
    const uint32_t kAll = kImageDefault, kOwn = kImageDefaultNonPow2;
    const ImageFilter linear = ImageFilter::Linear;
    const ImageLoadParams file = Own(F::Unknown);  // the file's own format
    const struct {
        const char* name;
        Bytes file;
        ImageLoadParams params;
        std::string sizes;
        size_t level;
        Format format;
        Bytes bytes;
    } cases[] = {
        {"pow2_by_default", flat, Params(kAll, linear, F::Argb8888, kAll), "4x8 2x4 1x2 1x1", 1, F::Argb8888,
         Le32(Texels(8, 0xFF336699))},
        {"non_pow2", flat, Params(kOwn, linear, F::Argb8888, kAll), "3x5 1x2 1x1", 1, F::Argb8888,
         Le32(Texels(2, 0xFF336699))},
        {"box_mip", box, Own(F::Argb8888, 2), "4x4 2x2", 1, F::Argb8888,
         Le32({0xFF000007, 0x80000010, 0x40FF0000, 0x40FF0000})},
        {"box_mip_chain_shorter_than_asked", box, Own(F::Argb8888, 9), "4x4 2x2 1x1", 2, F::Argb8888,
         Le32({0x80800006})},
        {"point", two, Params(4), "4x1", 0, F::Argb8888, Le32({0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF})},
        // Centres at -0.25, 0.25, 0.75, 1.25 source texels; past the edges the row wraps around.
        {"linear_wraps", two, Params(4, linear), "4x1", 0, F::Argb8888,
         Le32({0xFF404040, 0xFF404040, 0xFFBFBFBF, 0xFFBFBFBF})},
        {"linear_mirrored", two, Params(4, linear | kImageFilterMirror), "4x1", 0, F::Argb8888,
         Le32({0xFF000000, 0xFF404040, 0xFFBFBFBF, 0xFFFFFFFF})},
        {"box_halves", two, Params(1, ImageFilter::Box), "1x1", 0, F::Argb8888, Le32({0xFF808080})},
        // Over a quarter-size footprint: weights 1/8, 3/8, 3/8, 1/8, wrapping at the edges.
        {"triangle_quarter", Png(4, 1, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF0000FF}),
         Params(2, ImageFilter::Triangle), "2x1", 0, F::Argb8888, Le32({0xFF000020, 0xFF000060})},
        {"none_copies_to_the_corner", two, Params(4, ImageFilter::None), "4x1", 0, F::Argb8888,
         Le32({0xFF000000, 0xFFFFFFFF, 0, 0})},
        {"colour_key_exact_matches", Png(3, 1, {0xFFFF00FF, 0xFF00FF00, 0x80FF00FF}), Own(F::Argb8888, 1, 0xFFFF00FF),
         "3x1", 0, F::Argb8888, Le32({0, 0xFF00FF00, 0x80FF00FF})},
        // A keyed texel joins the mip average as transparent black: (0 + FF) / 2 rounds up to 0x80.
        {"colour_key_in_the_mip_average", Png(2, 1, {0xFF00FF00, 0xFF0000FE}), Own(F::Argb8888, 2, 0xFF00FF00),
         "2x1 1x1", 1, F::Argb8888, Le32({0x8000007F})},
        {"to_xrgb8888", one, Own(F::Xrgb8888), "1x1", 0, F::Xrgb8888, {0x40, 0x80, 0xFF, 0xFF}},
        {"to_rgb888", one, Own(F::Rgb888), "1x1", 0, F::Rgb888, {0x40, 0x80, 0xFF}},
        {"to_rgb565", one, Own(F::Rgb565), "1x1", 0, F::Rgb565, {0x08, 0xFC}},
        {"to_argb1555", one, Own(F::Argb1555), "1x1", 0, F::Argb1555, {0x08, 0xFE}},
        {"to_argb4444", one, Own(F::Argb4444), "1x1", 0, F::Argb4444, {0x84, 0x8F}},
        {"to_alpha8", one, Own(F::Alpha8), "1x1", 0, F::Alpha8, {0x80}},
        {"to_luminance8", one, Own(F::Luminance8), "1x1", 0, F::Luminance8, {0x9F}},
        {"to_alpha_luminance88", one, Own(F::AlphaLuminance88), "1x1", 0, F::AlphaLuminance88, {0x9F, 0x80}},
        {"file_format_24_bit", MakeBmp(1, 1, 24, {0x123456}), file, "1x1", 0, F::Xrgb8888, {0x56, 0x34, 0x12, 0xFF}},
        {"file_format_grey", MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 8, {7, 9}), file, "2x1", 0, F::Luminance8, {7, 9}},
        {"dxt_chain_kept", Dds(8, F::Dxt1, chain, 4), ImageLoadParams(), "8x8 4x4 2x2 1x1", 0, F::Dxt1,
         Bytes(chain.begin(), chain.begin() + 32)},
        // A single stored level needs its chain filtered: the texels are decoded.
        {"dxt_single_level_decoded", Dds(4, F::Dxt1, kDxt1Four), ImageLoadParams(), "4x4 2x2 1x1", 0, F::Argb8888,
         Le32(Rows({0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}, 4))},
        // The second level is not the average of the first: it was read, not filtered.
        {"uncompressed_chain_kept",
         MakeDds(2, {0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, Le32({1, 2, 3, 4, 0xFF123456}), 2),
         ImageLoadParams(), "2x2 1x1", 1, F::Argb8888, Le32({0xFF123456})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedImage image = Load(c.file, c.params);
        std::string sizes;
        for (const ImageLevel& l : image.levels)
            sizes += (sizes.empty() ? "" : " ") + std::to_string(l.width) + "x" + std::to_string(l.height);
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(image.format, c.format);
        ASSERT_LT(c.level, image.levels.size());
        EXPECT_EQ(image.levels[c.level].bytes, c.bytes);
    }
}

TEST(ImageLoader, DitherSpreadsALevelBetweenTwoStepsKeepingTheMean) {
    const LoadedImage image = Load(Png(4, 4, Texels(16, 0xFF080808)),
                                   Params(kImageDefaultNonPow2, ImageFilter::Point | kImageFilterDither, F::Argb4444));
    int sum = 0;
    for (size_t i = 0; i < image.levels[0].bytes.size(); i += 2) sum += image.levels[0].bytes[i] & 15;
    EXPECT_EQ(sum, 8);  // 8/255 of 15 steps is 0.47 of a step: 8 of the 16 texels step up
}

TEST(ImageLoader, BadParametersAreRefused) {
    const Bytes file = Png(4, 4, Texels(16, 0));
    const uint32_t kOwn = kImageDefaultNonPow2;
    const struct {
        const char* name;
        ImageLoadParams params;
        GraphicsResult result;
    } cases[] = {
        {"filter_kind", Params(kOwn, ImageFilter(7)), gfx::kInvalidArgument},
        {"filter_flag", Params(kOwn, ImageFilter::Box | 0x800000), gfx::kInvalidArgument},
        {"depth_format", Own(F::Depth16), gfx::kInvalidArgument},
        {"size_above_limit", Params(20000), gfx::kInvalidArgument},
        {"blocks_from_texels", Own(F::Dxt1), gfx::kNotAvailable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedImage image;
        EXPECT_EQ(LoadImageFromMemory(file.data(), file.size(), c.params, image), c.result);
        EXPECT_TRUE(image.levels.empty());
    }
    ImageInfo info;
    EXPECT_EQ(GetImageInfoFromMemory(nullptr, 10, info), gfx::kInvalidArgument);
}

Bytes Patched(Bytes b, size_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
    return b;
}
Bytes BigEndian(uint32_t a, uint32_t b, int size) {
    Bytes out;
    for (uint32_t v : {a, b})
        for (int i = size - 1; i >= 0; --i) out.push_back(uint8_t(v >> 8 * i));
    return out;
}

// A PNG whose header says another size, with its checksum made good again.
Bytes PngSized(uint32_t w, uint32_t h) {
    const Bytes b = Patched(Png(1, 1, {0}), 16, BigEndian(w, h, 4));
    return Patched(b, 29, BigEndian(uint32_t(crc32(0, b.data() + 12, 17)), 0, 4));
}

// A JPEG whose frame header says another size.
Bytes JpegSized(uint16_t w, uint16_t h) {
    const Bytes b = MakeJpeg(8, 8, 1, Bytes(64, 0)), frame = {0xFF, 0xC0};
    return Patched(b, std::search(b.begin(), b.end(), frame.begin(), frame.end()) - b.begin() + 5, BigEndian(h, w, 2));
}

const size_t kBmpWidthAt = 18, kBmpHeightAt = 22, kDdsHeightAt = 12, kDdsCaps2At = 112;

TEST(ImageLoader, HostileFilesAreRefused) {
    const Bytes bmp = MakeBmp(2, 2, 8, {0, 1, 1, 0}, {0xFF000000, 0xFFFFFFFF});
    const Bytes dxt = Dds(8, F::Dxt1, Bytes(32, 0));
    const struct {
        const char* name;
        Bytes file;
        const char* why;
    } cases[] = {
        {"empty", Bytes(), "not an image"},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "not an image"},
        {"bmp_declares_8192_squared", Patched(bmp, kBmpWidthAt, {0, 0x20, 0, 0, 0, 0x20}), "truncated"},
        {"bmp_too_wide", Patched(bmp, kBmpWidthAt, {0x20, 0x4E}), "larger than"},
        {"bmp_negative_width", Patched(bmp, kBmpWidthAt, {0xFE, 0xFF, 0xFF, 0xFF}), "bad image size"},
        {"bmp_height_int_min", Patched(bmp, kBmpHeightAt, {0, 0, 0, 0x80}), "bad image size"},
        {"bmp_bad_palette_index", MakeBmp(2, 1, 8, {1, 5}, {0xFF000000, 0xFFFFFFFF}), "palette index 5"},
        {"bmp_palette_over_256", Patched(bmp, 46, {0, 2}), "more than 256"},
        {"bmp_rle_compression", Patched(bmp, 30, {1}), "compression"},
        {"bmp_16_bit", Patched(bmp, 28, {16}), "bit depth"},
        {"tga_too_large", MakeTga(2, 0xFFFF, 0xFFFF, 24, 0, Bytes(100, 0)), "larger than"},
        {"tga_raw_short", MakeTga(2, 64, 64, 32, 0, Bytes(100, 0)), "truncated"},
        {"tga_rle_runs_past_the_image", MakeTga(10, 2, 2, 24, 0x20, {0x84, 1, 2, 3}), "runs past"},
        {"tga_rle_too_few_packets", MakeTga(10, 200, 200, 24, 0x20, {0xFF, 1, 2, 3}), "truncated"},
        {"tga_colour_map_index", MakeTga(1, 2, 1, 8, 0x20, {0, 9}, {1, 2, 3, 4, 5, 6}, 24), "index 9"},
        {"dds_declares_8192_squared", Patched(dxt, kDdsHeightAt, {0, 0x20, 0, 0, 0, 0x20}), "truncated"},
        {"dds_too_tall", Patched(dxt, kDdsHeightAt, {0x20, 0x4E}), "larger than"},
        {"dds_mip_count_beyond_the_chain", Dds(4, F::Dxt1, Bytes(64, 0), 4), "mip levels"},
        {"dds_mip_levels_missing", Dds(8, F::Dxt1, Bytes(40, 0), 3), "truncated"},
        {"dds_cube_map", Patched(dxt, kDdsCaps2At, {0, 2}), "cube maps"},
        {"dds_unknown_four_cc", Patched(dxt, 84, {'D', 'X', 'T', '2'}), "pixel format"},
        {"png_declares_8000_squared", PngSized(8000, 8000), "more rows"},
        {"png_too_wide", PngSized(20000, 1), "PNG"},
        {"png_bad_checksum", Patched(Png(1, 1, {0}), 30, {0}), "PNG"},
        {"png_zero_size", PngSized(0, 1), "PNG"},
        {"jpeg_declares_16000_squared", JpegSized(16000, 16000), "more blocks"},
        {"jpeg_too_wide", JpegSized(20000, 8), "JPEG"},
        {"jpeg_garbage_after_start", {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3}, "JPEG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedImage image;
        std::string why;
        EXPECT_EQ(LoadImageFromMemory(c.file.data(), c.file.size(), ImageLoadParams(), image, &why), gfx::kInvalidData);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_TRUE(image.levels.empty());
    }
}

// Every file of the decode table cut short at every length, and with each byte set to 0 and to 0xFF:
// cut files are refused; damaged ones are refused or give consistent levels, never a crash.
TEST(ImageLoader, TruncatedAndDamagedFilesNeverCrash) {
    for (const DecodeCase& c : DecodeCases()) {
        SCOPED_TRACE(c.name);
        for (size_t n = 0; n < c.file.size(); ++n) {
            LoadedImage image;
            ImageInfo info;
            ASSERT_EQ(LoadImageFromMemory(c.file.data(), n, ImageLoadParams(), image), gfx::kInvalidData) << n;
            if (n < 16) {
                EXPECT_NE(GetImageInfoFromMemory(c.file.data(), n, info), gfx::kOk) << n;
            }
        }
        for (size_t i = 0; i < c.file.size(); ++i)
            for (uint8_t v : {uint8_t{0x00}, uint8_t{0xFF}}) {
                Bytes damaged = c.file;
                damaged[i] = v;
                LoadedImage image;
                const GraphicsResult r = LoadImageFromMemory(damaged.data(), damaged.size(), ImageLoadParams(), image);
                ASSERT_TRUE(r == gfx::kOk || r == gfx::kInvalidData) << i;
                for (const ImageLevel& l : image.levels)
                    ASSERT_EQ(l.bytes.size(), ImageLevelBytes(image.format, l.width, l.height)) << i;
            }
    }
}

// Resampling reads the source a few rows at a time: no allocation larger than the source or the level,
// and the texels are those of the whole-image pass it replaced (their checksums recorded from it).
TEST(ImageLoader, ResamplingHoldsOnlyTheRowsItReads) {
    const auto pattern = [](uint32_t w, uint32_t h) {
        Texels t(size_t(w) * h);
        uint32_t v = 12345;
        for (uint32_t& c : t) c = v = v * 1103515245u + 12345u;
        return Png(w, h, t);
    };
    const auto sized = [](uint32_t w, uint32_t h, ImageFilter filter, uint32_t mips = 1) {
        ImageLoadParams p = Params(w, filter, F::Argb8888, mips);
        p.height = h;
        return p;
    };
    const ImageFilter program = ImageFilter::Box | kImageFilterDither;
    const struct {
        const char* name;
        uint32_t w, h;
        ImageLoadParams params;
        uint64_t checksum;
    } cases[] = {
        {"up_to_powers_of_two", 65, 64, sized(kImageDefault, kImageDefault, program, kImageDefault),
         9017488348825642992ull},
        {"down_to_a_maximum_size", 64, 256, sized(64, 64, program), 18252547442840265874ull},
        {"linear_wrapping", 37, 29, sized(16, 64, ImageFilter::Linear), 9433719674398665636ull},
        {"triangle_mirrored", 37, 29, sized(100, 7, ImageFilter::Triangle | kImageFilterMirror),
         1493966500529150308ull},
        {"triangle_far_down", 300, 5, sized(7, 300, ImageFilter::Triangle), 15914620002885499100ull},
        {"box_far_down", 5, 300, sized(3, 1, ImageFilter::Box), 14459630775162599031ull},
        {"point", 37, 29, sized(50, 50, ImageFilter::Point), 1888552013349061984ull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = pattern(c.w, c.h);
        LoadedImage image;
        g_largest = 0;
        g_watching = true;
        const GraphicsResult result = LoadImageFromMemory(file.data(), file.size(), c.params, image);
        g_watching = false;
        ASSERT_EQ(result, gfx::kOk);
        const size_t level = image.levels[0].bytes.size(), source = size_t(c.w) * c.h * 4;
        EXPECT_LE(g_largest, std::max(level, source));
        uint64_t sum = 14695981039346656037ull;
        for (const ImageLevel& l : image.levels)
            for (uint8_t b : l.bytes) sum = (sum ^ b) * 1099511628211ull;
        EXPECT_EQ(sum, c.checksum);
    }
}

}  // namespace
