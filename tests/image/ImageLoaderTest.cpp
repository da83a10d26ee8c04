#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

#include "ImageMakers.h"
#include "platform/ImageLoader.h"

using namespace plat;

namespace {

typedef std::vector<uint32_t> Texels;

// Decoding as the file holds it: its own size, one level, ARGB texels, no dithering.
ImageLoadParams AsIs() {
    ImageLoadParams p;
    p.width = p.height = kImageDefaultNonPow2;
    p.mipLevels = 1;
    p.format = Format::Argb8888;
    p.filter = ImageFilter::Point;
    return p;
}

LoadedImage Load(const Bytes& file, const ImageLoadParams& params = AsIs()) {
    LoadedImage image;
    std::string why;
    EXPECT_EQ(LoadImageFromMemory(file.data(), file.size(), params, image, &why), gfx::kOk) << why;
    return image;
}

Texels TexelsOf(const ImageLevel& level) {
    Texels t(level.bytes.size() / 4);
    for (size_t i = 0; i < t.size(); ++i)
        t[i] = uint32_t(level.bytes[i * 4]) | uint32_t(level.bytes[i * 4 + 1]) << 8 |
               uint32_t(level.bytes[i * 4 + 2]) << 16 | uint32_t(level.bytes[i * 4 + 3]) << 24;
    return t;
}

void ExpectNear(const Texels& got, const Texels& want, int tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        for (int c = 0; c < 32; c += 8)
            EXPECT_NEAR(int(got[i] >> c & 0xFF), int(want[i] >> c & 0xFF), tolerance)
                << "texel " << i << " shift " << c;
}

template <typename T>
std::vector<T> Cat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Texels Rows(const Texels& row, int count) { return count == 1 ? row : Cat(row, Rows(row, count - 1)); }
Bytes RgbBytes(const Texels& t) {
    Bytes b;
    for (uint32_t c : t) b.insert(b.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    return b;
}

Bytes Raw(std::initializer_list<int> v) { return Bytes(v.begin(), v.end()); }

Bytes Dds(uint32_t w, uint32_t h, Format fourCc, const Bytes& data, uint32_t mips = 1) {
    return MakeDds(w, h, mips, uint32_t(fourCc), 0, 0, 0, 0, 0, 0, data);
}
Bytes DdsMasked(uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a, const Bytes& data,
                uint32_t mips = 1, uint32_t size = 2) {
    return MakeDds(size, size, mips, 0, flags, bits, r, g, b, a, data);
}

const Texels kRgba = {0x80112233, 0xFF445566, 0x00778899, 0x40AABBCC};
const Texels kJpegHalves = Rows(Cat(Texels(8, 0xFFC82828), Texels(8, 0xFF1E3CDC)), 8);
// DXT colour block: red and blue ends, each row using indices 0, 1, 2, 3.
const Bytes kDxt1Four = Raw({0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4});
const Bytes kWhiteBlock = Raw({0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0});

struct DecodeCase {
    const char* name;
    Bytes file;
    Format format;  // the file's own, as the image information gives it
    uint32_t width, height;
    Texels texels;
    int tolerance;
};

DecodeCase C(const char* name, Bytes file, Format format, uint32_t w, uint32_t h, Texels texels, int tolerance = 0) {
    return {name, std::move(file), format, w, h, std::move(texels), tolerance};
}

// The file kind by the case's name.
ImageFileFormat KindOf(const std::string& name) {
    const char* prefixes[] = {"bmp", "jpeg", "tga", "png", "dds"};
    for (int i = 0; i < 5; ++i)
        if (name.compare(0, strlen(prefixes[i]), prefixes[i]) == 0) return ImageFileFormat(i);
    return ImageFileFormat::Bmp;
}

std::vector<DecodeCase> DecodeCases() {
    const Texels bgr = {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112};
    Bytes tga24;  // bottom-up: the second row first
    for (int i : {3, 4, 5, 0, 1, 2})
        tga24.insert(tga24.end(), {uint8_t(bgr[i]), uint8_t(bgr[i] >> 8), uint8_t(bgr[i] >> 16)});
    Bytes png16 = Raw({0xFF, 0xFF, 0, 0, 0x80, 0x80, 0, 0, 0, 0, 0, 0});
    std::vector<DecodeCase> c;
    c.push_back(C("png_rgba", MakeRgbaPng(2, 2, kRgba), Format::Argb8888, 2, 2, kRgba));
    c.push_back(
        C("png_rgb",
          MakePng(3, 2, PNG_COLOR_TYPE_RGB, 8, Raw({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18})),
          Format::Rgb888, 3, 2, bgr));
    c.push_back(C("png_grey", MakePng(2, 2, PNG_COLOR_TYPE_GRAY, 8, Raw({0, 100, 200, 255})), Format::Luminance8, 2, 2,
                  {0xFF000000, 0xFF646464, 0xFFC8C8C8, 0xFFFFFFFF}));
    c.push_back(C("png_grey_alpha", MakePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, Raw({10, 20, 30, 40})),
                  Format::AlphaLuminance88, 2, 1, {0x140A0A0A, 0x281E1E1E}));
    c.push_back(C("png_palette_transparency",
                  MakePng(2, 2, PNG_COLOR_TYPE_PALETTE, 8, Raw({0, 1, 1, 0}), {{255, 0, 0}, {0, 255, 0}}, Raw({128})),
                  Format::Argb8888, 2, 2, {0x80FF0000, 0xFF00FF00, 0xFF00FF00, 0x80FF0000}));
    c.push_back(
        C("png_16_bit", MakePng(2, 1, PNG_COLOR_TYPE_RGB, 16, png16), Format::Rgb888, 2, 1, {0xFFFF0080, 0xFF000000}));
    c.push_back(C(
        "png_interlaced", MakePng(3, 3, PNG_COLOR_TYPE_GRAY, 8, Raw({1, 2, 3, 4, 5, 6, 7, 8, 9}), {}, {}, true),
        Format::Luminance8, 3, 3,
        {0xFF010101, 0xFF020202, 0xFF030303, 0xFF040404, 0xFF050505, 0xFF060606, 0xFF070707, 0xFF080808, 0xFF090909}));
    c.push_back(C("jpeg_rgb", MakeJpeg(16, 8, 3, RgbBytes(kJpegHalves)), Format::Xrgb8888, 16, 8, kJpegHalves, 3));
    c.push_back(C("jpeg_grey", MakeJpeg(8, 8, 1, Bytes(64, 77)), Format::Luminance8, 8, 8, Texels(64, 0xFF4D4D4D), 2));
    c.push_back(C("bmp_8_palette_padded_rows",
                  MakeBmp(3, 2, 8, {0, 1, 2, 2, 1, 0}, {0xFF102030, 0xFF405060, 0xFF708090}), Format::Xrgb8888, 3, 2,
                  {0xFF102030, 0xFF405060, 0xFF708090, 0xFF708090, 0xFF405060, 0xFF102030}));
    c.push_back(C("bmp_24_bottom_up", MakeBmp(3, 2, 24, bgr), Format::Rgb888, 3, 2, bgr));
    c.push_back(C("bmp_32_top_down_alpha_ignored",
                  MakeBmp(2, 2, 32, {0x12000001, 0x12000002, 0x12000003, 0x12000004}, {}, true), Format::Xrgb8888, 2, 2,
                  {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004}));
    c.push_back(C("bmp_32_alpha_masks", MakeBmp(2, 2, 32, kRgba, {}, false, true), Format::Argb8888, 2, 2, kRgba));
    c.push_back(C("tga_24_bottom_up", MakeTga(2, 3, 2, 24, 0, tga24), Format::Rgb888, 3, 2, bgr));
    c.push_back(
        C("tga_32_top_down_alpha", MakeTga(2, 2, 2, 32, 0x28, Le32Texels(kRgba)), Format::Argb8888, 2, 2, kRgba));
    c.push_back(
        C("tga_grey", MakeTga(3, 2, 1, 8, 0x20, Raw({9, 250})), Format::Luminance8, 2, 1, {0xFF090909, 0xFFFAFAFA}));
    c.push_back(C("tga_colour_map", MakeTga(1, 2, 1, 8, 0x20, Raw({5, 4}), Raw({1, 2, 3, 4, 5, 6}), 24, 4),
                  Format::Xrgb8888, 2, 1, {0xFF060504, 0xFF030201}));
    // A run of four crossing the row end, then two raw texels.
    c.push_back(C("tga_rle_run_across_rows", MakeTga(10, 3, 2, 24, 0x20, Raw({0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9})),
                  Format::Rgb888, 3, 2, {0xFF030201, 0xFF030201, 0xFF030201, 0xFF030201, 0xFF060504, 0xFF090807}));
    c.push_back(C("tga_right_to_left", MakeTga(3, 2, 1, 8, 0x30, Raw({1, 2})), Format::Luminance8, 2, 1,
                  {0xFF020202, 0xFF010101}));
    c.push_back(C("dds_argb8888", DdsMasked(0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, Le32Texels(kRgba)),
                  Format::Argb8888, 2, 2, kRgba));
    c.push_back(C("dds_rgb888",
                  DdsMasked(0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0, Raw({3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10})),
                  Format::Rgb888, 2, 2, {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}));
    c.push_back(C("dds_rgb565",
                  DdsMasked(0x40, 16, 0xF800, 0x7E0, 0x1F, 0, Raw({0, 0xF8, 0xE0, 0x07, 0x1F, 0, 0xFF, 0xFF})),
                  Format::Rgb565, 2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    c.push_back(C("dds_argb1555",
                  DdsMasked(0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, Raw({0, 0x7C, 0x1F, 0x80, 0, 0, 0xFF, 0xFF})),
                  Format::Argb1555, 2, 2, {0x00FF0000, 0xFF0000FF, 0, 0xFFFFFFFF}));
    c.push_back(C("dds_argb4444",
                  DdsMasked(0x41, 16, 0xF00, 0xF0, 0xF, 0xF000, Raw({0x00, 0x8F, 0x21, 0x43, 0, 0, 0xFF, 0xFF})),
                  Format::Argb4444, 2, 2, {0x88FF0000, 0x44332211, 0, 0xFFFFFFFF}));
    c.push_back(C("dds_luminance8", DdsMasked(0x20000, 8, 0xFF, 0, 0, 0, Raw({0, 50, 100, 255})), Format::Luminance8, 2,
                  2, {0xFF000000, 0xFF323232, 0xFF646464, 0xFFFFFFFF}));
    c.push_back(C("dds_alpha8", DdsMasked(0x2, 8, 0, 0, 0, 0xFF, Raw({0x10, 0x20, 0x30, 0x40})), Format::Alpha8, 2, 2,
                  {0x10000000, 0x20000000, 0x30000000, 0x40000000}));
    c.push_back(C("dds_alpha_luminance88",
                  DdsMasked(0x20001, 16, 0xFF, 0, 0, 0xFF00, Raw({0x40, 0x80, 1, 2, 3, 4, 5, 6})),
                  Format::AlphaLuminance88, 2, 2, {0x80404040, 0x02010101, 0x04030303, 0x06050505}));
    c.push_back(C("dds_dxt1_four_colours", Dds(4, 4, Format::Dxt1, kDxt1Four), Format::Dxt1, 4, 4,
                  Rows({0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}, 4)));
    // Blue below red: three colours and transparent black.
    c.push_back(C("dds_dxt1_three_colours",
                  Dds(4, 4, Format::Dxt1, Raw({0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4})), Format::Dxt1, 4, 4,
                  Rows({0xFF0000FF, 0xFFFF0000, 0xFF7F007F, 0}, 4)));
    c.push_back(C("dds_dxt3", Dds(4, 4, Format::Dxt3, Cat(Bytes(8, 0x5F), kWhiteBlock)), Format::Dxt3, 4, 4,
                  Rows({0xFFFFFFFF, 0x55FFFFFF, 0xFFFFFFFF, 0x55FFFFFF}, 4)));
    // Alpha ends 200 and 100: texel 0 takes code 2 (185), texel 1 code 7 (114), the rest code 0.
    c.push_back(C("dds_dxt5", Dds(4, 4, Format::Dxt5, Cat(Raw({200, 100, 0x3A, 0, 0, 0, 0, 0}), kWhiteBlock)),
                  Format::Dxt5, 4, 4,
                  Cat(Texels{0xB9FFFFFF, 0x72FFFFFF, 0xC8FFFFFF, 0xC8FFFFFF}, Texels(12, 0xC8FFFFFF))));
    return c;
}

TEST(ImageLoader, DecodesEveryFormat) {
    for (const DecodeCase& c : DecodeCases()) {
        SCOPED_TRACE(c.name);
        ImageInfo info;
        ASSERT_EQ(GetImageInfoFromMemory(c.file.data(), c.file.size(), info), gfx::kOk);
        EXPECT_EQ(info.imageFileFormat, KindOf(c.name));
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.depth, 1u);
        EXPECT_EQ(info.mipLevels, 1u);
        EXPECT_EQ(info.resourceType, ImageResourceType::Texture);
        const LoadedImage image = Load(c.file);
        ASSERT_EQ(image.levels.size(), 1u);
        EXPECT_EQ(image.format, Format::Argb8888);
        EXPECT_EQ(image.source.format, c.format);
        EXPECT_EQ(image.levels[0].pitch, c.width * 4);
        ExpectNear(TexelsOf(image.levels[0]), c.texels, c.tolerance);
    }
}

TEST(ImageLoader, DefaultSizeRoundsUpToPowersOfTwoAndBuildsTheFullChain) {
    const Bytes file = MakeRgbaPng(3, 5, Texels(15, 0xFF336699));
    for (const auto& c : {std::make_pair(kImageDefault, std::vector<uint32_t>{4, 8, 2, 4, 1, 2, 1, 1}),
                          std::make_pair(0u, std::vector<uint32_t>{4, 8, 2, 4, 1, 2, 1, 1}),
                          std::make_pair(kImageDefaultNonPow2, std::vector<uint32_t>{3, 5, 1, 2, 1, 1})}) {
        ImageLoadParams p;
        p.width = p.height = c.first;
        const LoadedImage image = Load(file, p);
        EXPECT_EQ(image.format, Format::Argb8888);
        EXPECT_EQ(image.source.width, 3u);
        EXPECT_EQ(image.source.height, 5u);
        std::vector<uint32_t> sizes;
        for (const ImageLevel& l : image.levels) {
            sizes.insert(sizes.end(), {l.width, l.height});
            ExpectNear(TexelsOf(l), Texels(l.width * l.height, 0xFF336699), 0);  // a flat image stays flat
        }
        EXPECT_EQ(sizes, c.second);
    }
}

TEST(ImageLoader, BoxMipChainAveragesWithRounding) {
    // The top-left quad's blues 0, 4, 8, 14 average to 6.5, which rounds up to 7.
    const Texels top = {0xFF000000, 0xFF000004, 0x80000010, 0x80000010, 0xFF000008, 0xFF00000E, 0x80000010, 0x80000010};
    Texels t = top;
    t.insert(t.end(), 8, 0x40FF0000);
    ImageLoadParams p = AsIs();
    p.mipLevels = kImageDefault;
    const LoadedImage image = Load(MakeRgbaPng(4, 4, t), p);
    ASSERT_EQ(image.levels.size(), 3u);
    EXPECT_EQ(TexelsOf(image.levels[1]), (Texels{0xFF000007, 0x80000010, 0x40FF0000, 0x40FF0000}));
    // Alpha (FF+80+40+40)/4 = 128.25, red (FF+FF)/4 = 127.5 -> 128, blue (7+10)/4 = 5.75 -> 6.
    EXPECT_EQ(TexelsOf(image.levels[2]), (Texels{0x80800006}));
    p.mipLevels = 2;
    EXPECT_EQ(Load(MakeRgbaPng(4, 4, t), p).levels.size(), 2u);
    p.mipLevels = 9;  // more than the chain has
    EXPECT_EQ(Load(MakeRgbaPng(4, 4, t), p).levels.size(), 3u);
}

TEST(ImageLoader, ResamplingFilters) {
    const Bytes two = MakeRgbaPng(2, 1, {0xFF000000, 0xFFFFFFFF});
    struct Case {
        const char* name;
        ImageFilter filter;
        uint32_t width;
        Texels want;
    } cases[] = {
        {"point", ImageFilter::Point, 4, {0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF}},
        // Centres at -0.25, 0.25, 0.75, 1.25 source texels; past the edges the row wraps around.
        {"linear_wraps", ImageFilter::Linear, 4, {0xFF404040, 0xFF404040, 0xFFBFBFBF, 0xFFBFBFBF}},
        {"linear_mirrored",
         ImageFilter::Linear | kImageFilterMirror,
         4,
         {0xFF000000, 0xFF404040, 0xFFBFBFBF, 0xFFFFFFFF}},
        {"box_halves", ImageFilter::Box, 1, {0xFF808080}},
        {"triangle_halves", ImageFilter::Triangle, 1, {0xFF808080}},
        {"none_copies_to_the_corner", ImageFilter::None, 4, {0xFF000000, 0xFFFFFFFF, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageLoadParams p = AsIs();
        p.width = c.width;
        p.filter = c.filter;
        const LoadedImage image = Load(two, p);
        EXPECT_EQ(TexelsOf(image.levels[0]), c.want);
    }
    // Triangle over a quarter-size footprint: weights 1/8, 3/8, 3/8, 1/8, wrapping at the edges.
    ImageLoadParams p = AsIs();
    p.width = 2;
    p.filter = ImageFilter::Triangle;
    const LoadedImage image = Load(MakeRgbaPng(4, 1, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF0000FF}), p);
    EXPECT_EQ(TexelsOf(image.levels[0]), (Texels{0xFF000020, 0xFF000060}));
}

TEST(ImageLoader, ColourKeyMakesExactMatchesTransparentBlack) {
    const Bytes file = MakeRgbaPng(3, 1, {0xFFFF00FF, 0xFF00FF00, 0x80FF00FF});
    ImageLoadParams p = AsIs();
    p.colorKey = 0xFFFF00FF;
    EXPECT_EQ(TexelsOf(Load(file, p).levels[0]), (Texels{0, 0xFF00FF00, 0x80FF00FF}));
    // A keyed texel joins the mip average as transparent black: (0 + FF) / 2 rounds up to 0x80.
    p.colorKey = 0xFF00FF00;
    p.mipLevels = 2;
    const LoadedImage image = Load(MakeRgbaPng(2, 1, {0xFF00FF00, 0xFF0000FE}), p);
    EXPECT_EQ(TexelsOf(image.levels[1]), (Texels{0x8000007F}));
}

TEST(ImageLoader, ConvertsToTheAskedFormat) {
    const Bytes file = MakeRgbaPng(1, 1, {0x80FF8040});
    const struct {
        Format format;
        Bytes bytes;
    } cases[] = {
        {Format::Argb8888, Raw({0x40, 0x80, 0xFF, 0x80})},
        {Format::Xrgb8888, Raw({0x40, 0x80, 0xFF, 0xFF})},
        {Format::Rgb888, Raw({0x40, 0x80, 0xFF})},
        {Format::Rgb565, Raw({0x08, 0xFC})},
        {Format::Argb1555, Raw({0x08, 0xFE})},
        {Format::Xrgb1555, Raw({0x08, 0xFE})},
        {Format::Argb4444, Raw({0x84, 0x8F})},
        {Format::Alpha8, Raw({0x80})},
        {Format::Luminance8, Raw({0x9F})},
        {Format::AlphaLuminance88, Raw({0x9F, 0x80})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(uint32_t(c.format));
        ImageLoadParams p = AsIs();
        p.format = c.format;
        const LoadedImage image = Load(file, p);
        EXPECT_EQ(image.format, c.format);
        EXPECT_EQ(image.levels[0].pitch, c.bytes.size());
        EXPECT_EQ(image.levels[0].bytes, c.bytes);
    }
    // Dithering spreads a level between two 4-bit steps over the 4x4 pattern; the mean stays.
    ImageLoadParams p = AsIs();
    p.format = Format::Argb4444;
    p.filter = ImageFilter::Point | kImageFilterDither;
    const LoadedImage image = Load(MakeRgbaPng(4, 4, Texels(16, 0xFF080808)), p);
    int sum = 0;
    for (size_t i = 0; i < image.levels[0].bytes.size(); i += 2) sum += image.levels[0].bytes[i] & 15;
    EXPECT_EQ(sum, 8);  // 8/255 of 15 steps is 0.47 of a step: 8 of the 16 texels step up
}

TEST(ImageLoader, FileFormatByDefault) {
    ImageLoadParams p = AsIs();
    p.format = Format::Unknown;
    EXPECT_EQ(Load(MakeBmp(1, 1, 24, {0}), p).format, Format::Xrgb8888);  // 24-bit files are padded
    EXPECT_EQ(Load(MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 8, Raw({7, 9})), p).levels[0].bytes, Raw({7, 9}));
}

TEST(ImageLoader, DxtBlocksAreKeptWhenTheyFit) {
    Bytes chain;  // 8x8 with its own three-level chain: 4 + 1 + 1 blocks
    for (int i = 0; i < 6; ++i) chain.insert(chain.end(), kDxt1Four.begin(), kDxt1Four.end());
    chain.insert(chain.end(), kDxt1Four.begin(), kDxt1Four.end());
    const Bytes file = Dds(8, 8, Format::Dxt1, chain, 4);
    LoadedImage image = Load(file, ImageLoadParams());
    EXPECT_EQ(image.format, Format::Dxt1);
    EXPECT_EQ(image.source.mipLevels, 4u);
    ASSERT_EQ(image.levels.size(), 4u);
    EXPECT_EQ(image.levels[0].bytes, Bytes(chain.begin(), chain.begin() + 32));
    EXPECT_EQ(image.levels[0].pitch, 16u);
    EXPECT_EQ(image.levels[3].width, 1u);
    // A single stored level needs its chain filtered: the texels are decoded.
    ImageLoadParams p;
    image = Load(Dds(4, 4, Format::Dxt1, kDxt1Four), p);
    EXPECT_EQ(image.format, Format::Argb8888);
    EXPECT_EQ(image.levels.size(), 3u);
    // Asking for blocks from texels is refused.
    p.format = Format::Dxt1;
    const Bytes png = MakeRgbaPng(4, 4, Texels(16, 0xFF000000));
    EXPECT_EQ(LoadImageFromMemory(png.data(), png.size(), p, image), gfx::kNotAvailable);
    EXPECT_TRUE(image.levels.empty());
}

TEST(ImageLoader, UncompressedDdsChainIsKept) {
    Bytes data = Le32Texels({1, 2, 3, 4});
    Put32(data, 0xFF123456);  // not the average of level 0: proves it was read, not filtered
    const LoadedImage image = Load(DdsMasked(0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, data, 2), ImageLoadParams());
    ASSERT_EQ(image.levels.size(), 2u);
    EXPECT_EQ(TexelsOf(image.levels[1]), (Texels{0xFF123456}));
}

TEST(ImageLoader, BadParametersAreRefused) {
    const Bytes file = MakeRgbaPng(1, 1, {0});
    const struct {
        const char* name;
        std::function<void(ImageLoadParams&)> set;
    } cases[] = {
        {"filter_kind", [](ImageLoadParams& p) { p.filter = ImageFilter(7); }},
        {"filter_flag", [](ImageLoadParams& p) { p.mipFilter = ImageFilter::Box | 0x800000; }},
        {"depth_format", [](ImageLoadParams& p) { p.format = Format::Depth16; }},
        {"size_above_limit", [](ImageLoadParams& p) { p.width = 20000; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageLoadParams p;
        c.set(p);
        LoadedImage image;
        EXPECT_EQ(LoadImageFromMemory(file.data(), file.size(), p, image), gfx::kInvalidArgument);
    }
    ImageInfo info;
    EXPECT_EQ(GetImageInfoFromMemory(nullptr, 10, info), gfx::kInvalidArgument);
}

// A PNG whose header says another size, with its checksum made good again.
Bytes PngSized(uint32_t w, uint32_t h) {
    Bytes b = MakeRgbaPng(1, 1, {0});
    for (int i = 0; i < 4; ++i) b[16 + i] = uint8_t(w >> (24 - 8 * i)), b[20 + i] = uint8_t(h >> (24 - 8 * i));
    const uint32_t crc = uint32_t(crc32(0, b.data() + 12, 17));
    for (int i = 0; i < 4; ++i) b[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return b;
}

// A JPEG whose frame header says another size.
Bytes JpegSized(uint16_t w, uint16_t h) {
    Bytes b = MakeJpeg(8, 8, 1, Bytes(64, 0));
    for (size_t i = 0; i + 8 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 5] = uint8_t(h >> 8), b[i + 6] = uint8_t(h), b[i + 7] = uint8_t(w >> 8), b[i + 8] = uint8_t(w);
            break;
        }
    return b;
}

Bytes Patched(Bytes b, size_t at, std::initializer_list<int> bytes) {
    for (int v : bytes) b[at++] = uint8_t(v);
    return b;
}

const size_t kBmpWidthAt = 18, kBmpHeightAt = 22, kDdsHeightAt = 12, kDdsCaps2At = 112;

TEST(ImageLoader, HostileFilesAreRefused) {
    const Bytes bmp = MakeBmp(2, 2, 8, {0, 1, 1, 0}, {0xFF000000, 0xFFFFFFFF});
    const Bytes tga = MakeTga(10, 2, 2, 24, 0x20, Raw({0x83, 1, 2, 3}));
    const Bytes dxt = Dds(8, 8, Format::Dxt1, Bytes(32, 0));
    const Bytes mapped = MakeTga(1, 2, 1, 8, 0x20, Bytes(), Raw({1, 2, 3, 4, 5, 6}), 24);
    const struct {
        const char* name;
        Bytes file;
        const char* why;
    } cases[] = {
        {"empty", Bytes(), "not an image"},
        {"text", Raw({'h', 'e', 'l', 'l', 'o'}), "not an image"},
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
        {"tga_rle_runs_past_the_image", MakeTga(10, 2, 2, 24, 0x20, Raw({0x84, 1, 2, 3})), "runs past"},
        {"tga_rle_short", Bytes(tga.begin(), tga.end() - 1), "truncated"},
        {"tga_rle_too_few_packets", MakeTga(10, 200, 200, 24, 0x20, Raw({0xFF, 1, 2, 3})), "truncated"},
        {"tga_colour_map_index", MakeTga(1, 2, 1, 8, 0x20, Raw({0, 9}), Raw({1, 2, 3, 4, 5, 6}), 24), "index 9"},
        {"tga_colour_map_short", Bytes(mapped.begin(), mapped.end() - 2), "colour map is truncated"},
        {"dds_dxt_data_short", Bytes(dxt.begin(), dxt.end() - 1), "truncated"},
        {"dds_declares_8192_squared", Patched(dxt, kDdsHeightAt, {0, 0x20, 0, 0, 0, 0x20}), "truncated"},
        {"dds_too_tall", Patched(dxt, kDdsHeightAt, {0x20, 0x4E}), "larger than"},
        {"dds_mip_count_beyond_the_chain", Dds(4, 4, Format::Dxt1, Bytes(64, 0), 4), "mip levels"},
        {"dds_mip_levels_missing", Dds(8, 8, Format::Dxt1, Bytes(40, 0), 3), "truncated"},
        {"dds_cube_map", Patched(dxt, kDdsCaps2At, {0, 2}), "cube maps"},
        {"dds_unknown_four_cc", Patched(dxt, 84, {'D', 'X', 'T', '2'}), "pixel format"},
        {"png_declares_8000_squared", PngSized(8000, 8000), "more rows"},
        {"png_too_wide", PngSized(20000, 1), "PNG"},
        {"png_bad_checksum", Patched(MakeRgbaPng(1, 1, {0}), 30, {0}), "PNG"},
        {"png_zero_size", PngSized(0, 1), "PNG"},
        {"jpeg_declares_16000_squared", JpegSized(16000, 16000), "more blocks"},
        {"jpeg_too_wide", JpegSized(20000, 8), "JPEG"},
        {"jpeg_garbage_after_start", Raw({0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3}), "JPEG"},
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
            for (uint8_t v : {0x00, 0xFF}) {
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

}  // namespace
