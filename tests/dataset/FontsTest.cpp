#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/dataset/DataSetTestSupport.h"
#include "tools/dataset/DataSet.h"
#include "tools/dataset/StrokeFont.h"

using namespace trivale::dataset;

namespace {

// The grids the overlay reads the fonts with: cell, columns of its source rectangle, codes, advance
// and height, and the glyph sets each file carries.
struct FontGrid {
    const char* name;
    int width, height;  // texture
    int cell, columns;
    int first, last;
    int advance, charHeight;
    int sets;
};
const FontGrid kGrids[] = {
    {"fonts\\FONT08T2.png", 256, 256, 16, 16, 0x00, 0x7F, 8, 8, 2},
    {"fonts\\FONT12T2.png", 256, 256, 16, 16, 0x20, 0x5F, 11, 14, 4},
    {"fonts\\FONT16T2.png", 256, 256, 16, 16, 0x20, 0x5F, 16, 16, 4},
    {"fonts\\FONT20T2.png", 512, 512, 32, 16, 0x20, 0x5F, 20, 20, 4},
    {"fonts\\FONT24T2.png", 512, 512, 24, 16, 0x20, 0x5F, 23, 24, 4},
    {"fonts\\FONT32T2.png", 512, 512, 32, 16, 0x20, 0x5F, 32, 32, 4},
};

const DataSet& Fonts() { return datasettest::Built<AddFonts>(); }

// Texels as the engine loads them: B, G, R, A bytes.
struct Texels {
    plat::LoadedImage image;
    const std::uint8_t* At(int x, int y) const {
        const plat::ImageLevel& level = image.levels[0];
        return &level.bytes[static_cast<std::size_t>(y) * level.pitch + static_cast<std::size_t>(x) * 4];
    }
};

Texels Load(const FontGrid& grid) { return {datasettest::Decode(Fonts().Get(grid.name))}; }

// Alpha summed over the cell of `code` in `set` inside (x0, y0)..(x1, y1), cell-relative.
int CellAlpha(const Texels& t, const FontGrid& g, int set, int code, int x0, int y0, int x1, int y1) {
    const int index = set * (g.last - g.first + 1) + (code - g.first);
    const int cx = index % g.columns * g.cell, cy = index / g.columns * g.cell;
    int sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) sum += t.At(cx + x, cy + y)[3];
    }
    return sum;
}

TEST(Fonts, EachFileLoadsWithItsGridAndKeepsInkInsideAdvanceAndHeight) {
    EXPECT_EQ(Fonts().Files().size(), std::size(kGrids));
    for (const FontGrid& g : kGrids) {
        SCOPED_TRACE(g.name);
        ASSERT_TRUE(Fonts().Has(g.name));
        const Texels t = Load(g);
        ASSERT_EQ(t.image.levels.size(), 1u);
        ASSERT_EQ(t.image.levels[0].width, static_cast<std::uint32_t>(g.width));
        ASSERT_EQ(t.image.levels[0].height, static_cast<std::uint32_t>(g.height));
        // Ink only within advance x height (the 8-pixel font's outline one row below), and never in a
        // cell's last column or row.
        const bool pixel = g.advance == 8;
        const int inkW = std::min(g.advance, g.cell - 1), inkH = std::min(g.charHeight + pixel, g.cell - 1);
        for (int set = 0; set < g.sets; ++set) {
            for (int code = g.first; code <= g.last; ++code) {
                EXPECT_EQ(CellAlpha(t, g, set, code, inkW, 0, g.cell, g.cell), 0) << set << " " << code;
                EXPECT_EQ(CellAlpha(t, g, set, code, 0, inkH, g.cell, g.cell), 0) << set << " " << code;
            }
        }
        // Beyond the last set the texture is clear.
        const int usedRows = (g.sets * (g.last - g.first + 1) + g.columns - 1) / g.columns * g.cell;
        for (int y = 0; y < g.height; ++y) {
            for (int x = 0; x < g.width; ++x) {
                if (y >= usedRows || x >= g.columns * g.cell) {
                    ASSERT_EQ(t.At(x, y)[3], 0) << x << "," << y;
                }
            }
        }
    }
}

TEST(Fonts, EverySetIsWhiteRingedInDarkInItsOwnStyleAndBlankCodesStayBlank) {
    struct Case {
        int code;
        bool ink, debugOnly;
    };
    const Case cases[] = {{'A', true, false},  {'0', true, false},  {'%', true, false}, {'_', true, false},
                          {'.', true, false},  {' ', false, false}, {'g', true, true},  {'~', true, true},
                          {0x00, false, true}, {0x1F, false, true}, {0x7F, false, true}};
    for (const FontGrid& g : kGrids) {
        SCOPED_TRACE(g.name);
        const Texels t = Load(g);
        for (const Case& c : cases) {
            if (c.code < g.first || c.code > g.last) continue;
            for (int set = 0; set < g.sets; ++set) {
                EXPECT_EQ(CellAlpha(t, g, set, c.code, 0, 0, g.cell, g.cell) > 0, c.ink) << set << " " << c.code;
            }
        }
        // Every set is white strokes with dark ink beside them, so that it reads over snow and shade alike,
        // and each draws its own style.
        const int plain = CellAlpha(t, g, 0, 'E', 0, 0, g.cell, g.cell);
        for (int set = 0; set < g.sets; ++set) {
            const int index = set * (g.last - g.first + 1) + 'A' - g.first;
            int white = 0, dark = 0;
            for (int y = 0; y < g.cell; ++y) {
                for (int x = 0; x < g.cell; ++x) {
                    const std::uint8_t* p = t.At(index % g.columns * g.cell + x, index / g.columns * g.cell + y);
                    white += p[3] == 255 && p[0] == 255 && p[1] == 255 && p[2] == 255;
                    dark += p[3] >= 128 && p[0] < 64 && p[0] == p[1] && p[1] == p[2];
                }
            }
            EXPECT_GT(white, 4) << set;
            EXPECT_GT(dark, 4) << set;
            if (set > 0) {
                EXPECT_NE(CellAlpha(t, g, set, 'E', 0, 0, g.cell, g.cell), plain) << set;
            }
        }
    }
}

// The captions are white in the shadow and outline sets, drawn over snow as bright as the strokes: the
// ground one and two pixels from a stroke's solid white, seen over white, must be dark enough that the
// letters stand out (outline: dark at both; shadow: a grey halo with a dark shadow below right).
TEST(Fonts, CaptionSetsStandOnDarkOverWhiteSnow) {
    for (const FontGrid& g : kGrids) {
        if (g.charHeight < 16) continue;  // the sheets the captions are drawn with, one per screen width
        SCOPED_TRACE(g.name);
        const Texels t = Load(g);
        const int box = std::min(g.advance, g.cell - 1);
        for (int set : {2, 3}) {
            double sum[2] = {}, count[2] = {};
            for (int code = 'A'; code <= 'Z'; ++code) {
                const int index = set * (g.last - g.first + 1) + code - g.first;
                const int cx = index % g.columns * g.cell, cy = index / g.columns * g.cell;
                auto solid = [&](int x, int y) {
                    const std::uint8_t* p = t.At(cx + x, cy + y);
                    return p[3] >= 250 && p[0] >= 250;
                };
                for (int y = 0; y < box; ++y) {
                    for (int x = 0; x < box; ++x) {
                        if (solid(x, y)) continue;
                        int d = 3;  // Chebyshev distance to the nearest solid white, up to 2
                        for (int dy = -2; dy <= 2; ++dy)
                            for (int dx = -2; dx <= 2; ++dx)
                                if (x + dx >= 0 && y + dy >= 0 && x + dx < box && y + dy < box && solid(x + dx, y + dy))
                                    d = std::min(d, std::max(std::abs(dx), std::abs(dy)));
                        if (d > 2) continue;
                        const std::uint8_t* p = t.At(cx + x, cy + y);
                        sum[d - 1] += (p[0] * p[3] + 255.0 * (255 - p[3])) / 255.0;
                        ++count[d - 1];
                    }
                }
            }
            const double near = sum[0] / count[0], far = sum[1] / count[1];
            EXPECT_LT(near, set == 3 ? 110.0 : 140.0) << set;
            EXPECT_LT(far, set == 3 ? 120.0 : 150.0) << set;
        }
    }
}

TEST(StrokeFont, RefusesCodesItLacksAndBoxesOutsideTheImage) {
    StrokeSize size;
    size.pixel = true;
    struct Case {
        int x, y, width, height, code;
    };
    const Case cases[] = {{0, 0, 8, 8, 0x7F}, {0, 0, 8, 8, 0x1F}, {0, 0, 8, 8, -1}, {12, 0, 8, 8, 'A'},
                          {-1, 0, 8, 8, 'A'}, {0, 0, 0, 8, 'A'},  {0, 0, 4, 4, 'A'}};  // the last: too small
    for (const Case& c : cases) {
        Image image(16, 16);
        EXPECT_THROW(DrawStrokeGlyph(image, c.x, c.y, c.width, c.height, c.code, GlyphStyle::Plain, size),
                     std::invalid_argument)
            << c.x << " " << c.width << " " << c.code;
    }
}

}  // namespace
