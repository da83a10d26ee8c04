#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "tests/dataset/DataSetTestSupport.h"
#include "tools/dataset/DataSet.h"
#include "tools/dataset/ImageWrite.h"
#include "tools/dataset/SnowSheet.h"

using namespace trivale::dataset;
using plat::Format;
using plat::ImageFileFormat;

namespace {

const DataSet& Pictures() { return datasettest::Built<AddPictures>(); }
using datasettest::Decode;

std::uint8_t AlphaAt(const plat::LoadedImage& image, std::uint32_t x, std::uint32_t y) {
    const plat::ImageLevel& level = image.levels.at(0);
    return level.bytes.at(std::size_t(y) * level.pitch + x * 4 + 3);
}

Image Filled(int w, int h, std::uint32_t (*texel)(int x, int y)) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) image.At(x, y)[c] = std::uint8_t(texel(x, y) >> (24 - 8 * c));  // 0xRRGGBBAA
    return image;
}

TEST(Pictures, EveryPictureDecodesWithItsSizeAndFormat) {
    const struct {
        const char* name;
        std::uint32_t width, height;
        ImageFileFormat file;
        Format format;
        std::uint32_t mips;  // stored in the file
    } cases[] = {
        {"loading.dds", 512, 256, ImageFileFormat::Dds, Format::Argb8888, 1},
        {"clip_watermark.dds", 512, 128, ImageFileFormat::Dds, Format::Argb8888, 1},
        {"DialogBanner1.bmp", 400, 64, ImageFileFormat::Bmp, Format::Rgb888, 1},
        {"scenes\\skyhigh\\sky_gradient.jpg", 512, 256, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\skydusk\\sky_gradient.jpg", 512, 256, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\skynight\\sky_gradient.jpg", 512, 256, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\skynight\\moon.png", 128, 128, ImageFileFormat::Png, Format::Rgb888, 1},
        {"scenes\\skynight\\star.png", 16, 16, ImageFileFormat::Png, Format::Rgb888, 1},
        {"scenes\\skyhigh\\small_cloud_1.dds", 256, 256, ImageFileFormat::Dds, Format::Argb8888, 9},
        {"scenes\\skyhigh\\snow_1.dds", 256, 256, ImageFileFormat::Dds, Format::Argb8888, 9},
        {"scenes\\valley\\snow_ground.png", 256, 256, ImageFileFormat::Png, Format::Rgb888, 1},
        {"scenes\\valley\\rock.jpg", 256, 256, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\valley\\bark.jpg", 128, 128, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\valley\\needles.dds", 256, 256, ImageFileFormat::Dds, Format::Dxt5, 9},
        {"scenes\\valley\\cabin.bmp", 256, 256, ImageFileFormat::Bmp, Format::Rgb888, 1},
        {"scenes\\valley\\smoke.dds", 128, 128, ImageFileFormat::Dds, Format::Argb8888, 8},
        {"scenes\\valley\\fence.png", 128, 128, ImageFileFormat::Png, Format::Argb8888, 1},
        {"scenes\\valley\\shadow.png", 128, 128, ImageFileFormat::Png, Format::Argb8888, 1},
        {"scenes\\valley\\env_sphere.png", 256, 256, ImageFileFormat::Png, Format::Rgb888, 1},
        {"scenes\\ridge\\snow_ground.png", 256, 256, ImageFileFormat::Png, Format::Rgb888, 1},
        {"scenes\\ridge\\rock.jpg", 256, 256, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\ridge\\bark.jpg", 128, 128, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\ridge\\needles.dds", 256, 256, ImageFileFormat::Dds, Format::Dxt5, 9},
        {"scenes\\ridge\\lamp.png", 128, 128, ImageFileFormat::Png, Format::Argb8888, 1},
        {"scenes\\ridge\\cabin.bmp", 256, 256, ImageFileFormat::Bmp, Format::Rgb888, 1},
        {"scenes\\ridge\\fence.png", 128, 128, ImageFileFormat::Png, Format::Argb8888, 1},
        {"scenes\\lake\\ice.dds", 256, 256, ImageFileFormat::Dds, Format::Dxt1, 9},
        {"scenes\\lake\\env_sphere.png", 256, 256, ImageFileFormat::Png, Format::Rgb888, 1},
        {"scenes\\lake\\shore.jpg", 256, 256, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\lake\\bark.jpg", 128, 128, ImageFileFormat::Jpg, Format::Xrgb8888, 1},
        {"scenes\\lake\\needles.dds", 256, 256, ImageFileFormat::Dds, Format::Dxt5, 9},
    };
    EXPECT_EQ(Pictures().Files().size(), std::size(cases));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Pictures().Has(c.name));
        const Bytes& file = Pictures().Get(c.name);
        // Left to the file, with the full chain a texture asks for: block files stay blocks.
        const plat::LoadedImage image = Decode(file, Format::Unknown, plat::kImageDefault);
        const auto& got = image.source;
        EXPECT_EQ(std::tie(got.width, got.height, got.imageFileFormat, got.format, got.mipLevels),
                  std::tie(c.width, c.height, c.file, c.format, c.mips));
        EXPECT_EQ(image.format, c.format == Format::Rgb888 ? Format::Xrgb8888 : c.format);
    }
}

// Where the show needs clear texels: the watermark outside its 376x128 cell, the cloud and snow sheets
// at each cell's rim, the snow away from its flakes, the needles cut out.
TEST(Pictures, ClearWhereTheShowNeedsIt) {
    const plat::LoadedImage mark = Decode(Pictures().Get("clip_watermark.dds"));
    const plat::LoadedImage clouds = Decode(Pictures().Get("scenes\\skyhigh\\small_cloud_1.dds"));
    const plat::LoadedImage snow = Decode(Pictures().Get("scenes\\skyhigh\\snow_1.dds"));
    const plat::LoadedImage needles = Decode(Pictures().Get("scenes\\valley\\needles.dds"));
    int markInside = 0, needleEdges = 0;
    for (std::uint32_t y = 0; y < 128; ++y)
        for (std::uint32_t x = 0; x < 512; ++x) {
            if (x >= 376) {
                EXPECT_EQ(AlphaAt(mark, x, y), 0) << x << "," << y;
            }
            markInside += x < 376 && AlphaAt(mark, x, y) > 128;
        }
    EXPECT_GT(markInside, 2000);
    for (std::uint32_t y = 0; y < 256; ++y)
        for (std::uint32_t x = 0; x < 256; ++x) {
            const std::uint32_t cx = x % 128, cy = y % 128;
            if (cx < 2 || cy < 2 || cx > 125 || cy > 125) {
                EXPECT_EQ(AlphaAt(clouds, x, y), 0) << x << "," << y;
            }
            bool nearFlake = false;
            for (const SnowFlake& f : SnowFlakes())
                nearFlake = nearFlake || (f.picture == int(y / 128 * 2 + x / 128) &&
                                          std::hypot(float(cx) + 0.5f - f.x, float(cy) + 0.5f - f.y) < 9);
            if (!nearFlake || cx < 2 || cy < 2 || cx > 125 || cy > 125) {
                EXPECT_EQ(AlphaAt(snow, x, y), 0) << x << "," << y;
            }
            const std::uint8_t a = AlphaAt(needles, x, y);
            needleEdges += a != 0 && a != 255;
        }
    for (std::uint32_t cell = 0; cell < 4; ++cell) {
        const std::uint32_t x0 = (cell % 2) * 128, y0 = (cell / 2) * 128;
        EXPECT_GT(AlphaAt(clouds, x0 + 64, y0 + 80), 128) << cell;
    }
    for (const SnowFlake& f : SnowFlakes())
        EXPECT_GT(AlphaAt(snow, std::uint32_t(float(f.picture % 2 * 128) + f.x),
                          std::uint32_t(float(f.picture / 2 * 128) + f.y)),
                  128)
            << f.x << "," << f.y;
    EXPECT_EQ(needleEdges, 0);
}

// The snow layer puts one picture in every cell of a regular lattice; its flakes must spread over the
// pictures, or the lattice shows as lines of flakes. Every picture holds its flakes well apart, no two
// flakes of the sheet share a row or a column (cells stacked along any line of the lattice show different
// places), and together they cover most of a picture across and down.
TEST(Pictures, SnowFlakesScatterOverTheirPictures) {
    const std::vector<SnowFlake> flakes = SnowFlakes();
    ASSERT_EQ(flakes.size(), std::size_t(4 * kFlakesPerPicture));
    float left = 128, right = 0, top = 128, bottom = 0;
    for (std::size_t i = 0; i < flakes.size(); ++i) {
        const SnowFlake& f = flakes[i];
        EXPECT_EQ(f.picture, int(i) / kFlakesPerPicture);
        EXPECT_TRUE(f.x >= 10 && f.x <= 118 && f.y >= 10 && f.y <= 118) << f.x << "," << f.y;
        left = std::min(left, f.x), right = std::max(right, f.x), top = std::min(top, f.y),
        bottom = std::max(bottom, f.y);
        for (std::size_t j = 0; j < i; ++j) {
            const SnowFlake& g = flakes[j];
            EXPECT_GE(std::fabs(f.x - g.x), kFlakeApart) << i << " and " << j;
            EXPECT_GE(std::fabs(f.y - g.y), kFlakeApart) << i << " and " << j;
            if (f.picture == g.picture) {
                EXPECT_GE(std::hypot(f.x - g.x, f.y - g.y), kFlakeSpread) << i << " and " << j;
            }
        }
    }
    EXPECT_GT(right - left, 70.0f);
    EXPECT_GT(bottom - top, 70.0f);
    // Down the sheet the flakes leave no wide gap: a plane of the lattice seen edge-on (at eye height)
    // spreads over the cell's height instead of drawing a row with an empty strip above it.
    std::vector<float> heights;
    for (const SnowFlake& f : flakes) heights.push_back(f.y);
    std::sort(heights.begin(), heights.end());
    EXPECT_LT(heights.front() - kFlakeLow, 12.0f);
    EXPECT_LT(kFlakeHigh - heights.back(), 12.0f);
    for (std::size_t i = 1; i < heights.size(); ++i) EXPECT_LT(heights[i] - heights[i - 1], 12.0f) << i;
    // Small flakes: a picture next to the camera is drawn wide, and its flakes with it.
    for (const SnowFlake& f : flakes) EXPECT_LE(std::max(f.dot * 1.6f, f.star), 5.0f) << f.x << "," << f.y;
}

// 0xRRGGBBAA at step i of n from a to b, channel by channel.
std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, int i, int n) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int from = (a >> shift) & 255, to = (b >> shift) & 255;
        out |= std::uint32_t((from * (n - i) + to * i + n / 2) / n) << shift;
    }
    return out;
}

TEST(Pictures, BlockRoundTripWithinTolerance) {
    // Colours on the four points of a line and alphas on the eight steps of DXT5's ramp come back
    // within the 5:6:5 rounding; an alpha-tested block keeps 0 and 255 exactly.
    const struct {
        const char* what;
        DdsFormat format;
        std::uint32_t (*texel)(int x, int y);
        int colourTolerance, alphaTolerance;
    } cases[] = {
        {"four shades", DdsFormat::Dxt1, [](int x, int) { return Lerp(0x204060FF, 0xB0A090FF, x, 3); }, 8, 0},
        {"flat", DdsFormat::Dxt1, [](int, int) { return 0x8899AAFFu; }, 5, 0},
        {"shades and alpha steps", DdsFormat::Dxt5,
         [](int x, int y) { return (Lerp(0x30507000, 0xC0A06000, y, 3) & ~0xFFu) | ((x + 4 * y) % 8 * 255 / 7); }, 8,
         2},
        {"cut-out", DdsFormat::Dxt5, [](int x, int y) { return (x + y) % 3 ? 0x305A3CFFu : 0x305A3C00u; }, 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Image block = Filled(4, 4, c.texel);
        const Bytes file = EncodeDds(block, c.format, MipChain::None);
        EXPECT_EQ(Decode(file, Format::Unknown).format, c.format == DdsFormat::Dxt1 ? Format::Dxt1 : Format::Dxt5);
        const plat::LoadedImage image = Decode(file);
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t* got = &image.levels.at(0).bytes.at(std::size_t(i) * 4);
            const std::uint8_t* want = block.At(i % 4, i / 4);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[2 - k], want[k], c.colourTolerance) << i << " channel " << k;
            EXPECT_NEAR(got[3], c.format == DdsFormat::Dxt1 ? 255 : want[3], c.alphaTolerance) << i;
        }
    }
}

TEST(Pictures, BmpRowsBottomUpPaddedToFourBytes) {
    // Three texels make 9 bytes a row, padded to 12.
    const Image image = Filled(3, 2, [](int x, int y) { return Lerp(0x102030FF, 0xF0E0D0FF, x + 3 * y, 5); });
    const Bytes file = EncodeBmp(image);
    ASSERT_EQ(file.size(), 54u + 2 * 12);
    const plat::LoadedImage decoded = Decode(file);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(decoded.levels.at(0).bytes.at(std::size_t(y * 3 + x) * 4 + 2 - k), image.At(x, y)[k]);
}

// Textures laid side by side on the ground and the trunks: the step across the wrap is no larger
// than the largest step between neighbouring columns (rows) inside; an edge that does not wrap
// would jump by far more.
TEST(Pictures, TiledTexturesHaveNoSeams) {
    for (const char* name : {"scenes\\valley\\snow_ground.png", "scenes\\valley\\rock.jpg", "scenes\\valley\\bark.jpg",
                             "scenes\\valley\\needles.dds", "scenes\\lake\\ice.dds", "scenes\\lake\\shore.jpg"}) {
        SCOPED_TRACE(name);
        const plat::ImageLevel level = Decode(Pictures().Get(name)).levels.at(0);
        const std::uint32_t w = level.width, h = level.height;
        auto at = [&](std::uint32_t x, std::uint32_t y, int c) {
            return int(level.bytes[(y % h) * level.pitch + (x % w) * 4 + c]);
        };
        for (bool across : {true, false}) {
            const std::uint32_t n = across ? w : h, m = across ? h : w;
            std::vector<int> steps(n, 0);  // step i: between line i and the next, the last across the wrap
            for (std::uint32_t i = 0; i < n; ++i)
                for (std::uint32_t j = 0; j < m; ++j)
                    for (int c = 0; c < 4; ++c)
                        steps[i] +=
                            across ? std::abs(at(i, j, c) - at(i + 1, j, c)) : std::abs(at(j, i, c) - at(j, i + 1, c));
            EXPECT_LE(steps.back(), *std::max_element(steps.begin(), steps.end() - 1))
                << (across ? "left and right" : "top and bottom");
        }
    }
}

TEST(Pictures, MipLevelsAverageTheLevelAbove) {
    const Image image = Filled(4, 2, [](int x, int y) { return Lerp(0x000000FF, 0xFC804000, x + 4 * y, 7); });
    const plat::LoadedImage levels = Decode(EncodeDds(image, DdsFormat::Argb8888, MipChain::Full), Format::Unknown, 3);
    ASSERT_EQ(levels.source.mipLevels, 3u);
    const std::uint8_t* half = levels.levels.at(1).bytes.data();
    for (int x = 0; x < 2; ++x)
        for (int k = 0; k < 4; ++k) {
            const int sum =
                image.At(2 * x, 0)[k] + image.At(2 * x + 1, 0)[k] + image.At(2 * x, 1)[k] + image.At(2 * x + 1, 1)[k];
            EXPECT_NEAR(half[x * 4 + (k == 3 ? 3 : 2 - k)], sum / 4.0, 0.75) << x << " channel " << k;
        }
    EXPECT_EQ(levels.levels.at(2).width, 1u);
}

TEST(Pictures, EncodersRefuseBadPictures) {
    Image empty, truncated(4, 4);
    truncated.rgba.resize(10);
    const Image fine(4, 4);
    const std::function<void()> cases[] = {
        [&] { EncodeDds(empty, DdsFormat::Dxt1, MipChain::Full); },
        [&] { EncodeDds(truncated, DdsFormat::Argb8888, MipChain::None); },
        [&] { EncodeBmp(empty); },
        [&] { EncodeJpeg(truncated); },
        [&] { EncodeJpeg(fine, 0); },
        [&] { EncodeJpeg(fine, 101); },
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_THROW(cases[i](), std::invalid_argument) << i;
}

}  // namespace
