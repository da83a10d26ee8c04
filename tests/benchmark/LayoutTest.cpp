#include "benchmark/Viewport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Show(const plat::Viewport& v) {
    return std::to_string(v.x) + "," + std::to_string(v.y) + " " + std::to_string(v.width) + "x" +
           std::to_string(v.height) + " " + std::to_string(v.minZ) + "-" + std::to_string(v.maxZ);
}

// Back buffers from narrow to wide: the main picture spans the width, bars above and below are as high as
// each other, no side bars; the fonts switch at 960, 1152 and 1500.
TEST(LayoutTest, MainPictureBarsAndFontsAtSeveralBackBufferSizes) {
    // clang-format off
    const struct {
        int width, height;
        bool wide;
        uint32_t mainTop, mainHeight;  // bars as high as the top
        int large, small;              // font sizes by width
    } cases[] = {
        {640, 480, false, 40, 400, 16, 8}, {1024, 768, false, 64, 640, 20, 12}, {1280, 1024, false, 112, 800, 24, 12},
        {1920, 1200, false, 0, 1200, 32, 16},  // exactly 16:10
        {1920, 1080, false, 0, 1080, 32, 16},  // wider: no bars
        {1024, 768, true, 96, 576, 20, 12}, {1920, 1200, true, 60, 1080, 32, 16},
        {800, 601, false, 50, 500, 16, 8},     // row 600 in no bar
        {959, 600, false, 0, 599, 16, 8}, {960, 600, false, 0, 600, 20, 12}, {1151, 720, false, 0, 719, 20, 12},
        {1152, 720, false, 0, 720, 24, 12}, {1499, 1000, false, 32, 936, 24, 12}, {1500, 1000, false, 31, 937, 32, 16},
        {0, 0, false, 0, 0, 16, 8},            // no back buffer: nothing
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (c.wide ? " wide" : ""));
        const ScreenLayout l = ComputeScreenLayout(c.width, c.height, c.wide);
        const uint32_t w = static_cast<uint32_t>(c.width), h = static_cast<uint32_t>(c.height);
        EXPECT_EQ(Show(l.full), Show({0, 0, w, h, 0, 1}));
        EXPECT_EQ(Show(l.main), Show({0, c.mainTop, w, c.mainHeight, 0, 1}));
        EXPECT_EQ(Show(l.topBar), Show({0, 0, w, c.mainTop, 0, 1}));
        EXPECT_EQ(Show(l.bottomBar), Show({0, c.mainTop + c.mainHeight, w, c.mainTop, 0, 1}));
        EXPECT_LE(l.bottomBar.y + l.bottomBar.height, h);
        const OverlayFontChoice& fonts = ChooseOverlayFonts(c.width);
        auto file = [](int size) {
            return "fonts\\FONT" + std::string(size < 10 ? "0" : "") + std::to_string(size) + "T2.png";
        };
        EXPECT_EQ(fonts.large.file, file(c.large));
        EXPECT_EQ(fonts.small.file, file(c.small));
    }
}

}  // namespace
