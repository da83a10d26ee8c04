#include "benchmark/Viewport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LayoutCase {
    int width, height;
    bool wide;
    uint32_t mainTop, mainHeight, barHeight;
    const char* large;  // fonts by width
    const char* small;
};

std::string Show(const plat::Viewport& v) {
    return std::to_string(v.x) + "," + std::to_string(v.y) + " " + std::to_string(v.width) + "x" +
           std::to_string(v.height);
}

// Back buffers from narrow to wide: the main picture spans the width, bars above and below are as high as
// each other, no side bars; the fonts switch at 960, 1152 and 1500.
TEST(LayoutTest, MainPictureBarsAndFontsAtSeveralBackBufferSizes) {
    const LayoutCase cases[] = {
        {640, 480, false, 40, 400, 40, "fonts\\FONT16T2.png", "fonts\\FONT08T2.png"},
        {1024, 768, false, 64, 640, 64, "fonts\\FONT20T2.png", "fonts\\FONT12T2.png"},
        {1280, 1024, false, 112, 800, 112, "fonts\\FONT24T2.png", "fonts\\FONT12T2.png"},
        {1920, 1200, false, 0, 1200, 0, "fonts\\FONT32T2.png", "fonts\\FONT16T2.png"},  // exactly 16:10
        {1920, 1080, false, 0, 1080, 0, "fonts\\FONT32T2.png", "fonts\\FONT16T2.png"},  // wider: no bars
        {1024, 768, true, 96, 576, 96, "fonts\\FONT20T2.png", "fonts\\FONT12T2.png"},
        {1920, 1200, true, 60, 1080, 60, "fonts\\FONT32T2.png", "fonts\\FONT16T2.png"},
        {800, 601, false, 50, 500, 50, "fonts\\FONT16T2.png", "fonts\\FONT08T2.png"},  // row 600 in no bar
        {959, 600, false, 0, 599, 0, "fonts\\FONT16T2.png", "fonts\\FONT08T2.png"},
        {960, 600, false, 0, 600, 0, "fonts\\FONT20T2.png", "fonts\\FONT12T2.png"},
        {1151, 720, false, 0, 719, 0, "fonts\\FONT20T2.png", "fonts\\FONT12T2.png"},
        {1152, 720, false, 0, 720, 0, "fonts\\FONT24T2.png", "fonts\\FONT12T2.png"},
        {1499, 1000, false, 32, 936, 32, "fonts\\FONT24T2.png", "fonts\\FONT12T2.png"},
        {1500, 1000, false, 31, 937, 31, "fonts\\FONT32T2.png", "fonts\\FONT16T2.png"},
        {0, 0, false, 0, 0, 0, "fonts\\FONT16T2.png", "fonts\\FONT08T2.png"},  // no back buffer: nothing
    };
    for (const LayoutCase& c : cases) {
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + (c.wide ? " wide" : "");
        const ScreenLayout l = ComputeScreenLayout(c.width, c.height, c.wide);
        const uint32_t w = static_cast<uint32_t>(c.width), h = static_cast<uint32_t>(c.height);
        EXPECT_EQ(Show(l.full), Show({0, 0, w, h, 0, 1})) << name;
        EXPECT_EQ(Show(l.main), Show({0, c.mainTop, w, c.mainHeight, 0, 1})) << name;
        EXPECT_EQ(Show(l.topBar), Show({0, 0, w, c.barHeight, 0, 1})) << name;
        EXPECT_EQ(Show(l.bottomBar), Show({0, c.mainTop + c.mainHeight, w, c.barHeight, 0, 1})) << name;
        EXPECT_LE(l.bottomBar.y + l.bottomBar.height, h) << name;
        EXPECT_EQ(l.main.minZ, 0.0f);
        EXPECT_EQ(l.main.maxZ, 1.0f);
        const OverlayFontChoice& fonts = ChooseOverlayFonts(c.width);
        EXPECT_STREQ(fonts.large.file, c.large) << name;
        EXPECT_STREQ(fonts.small.file, c.small) << name;
    }
}

TEST(LayoutTest, ViewportEdgesAndAspect) {
    CViewport v;
    EXPECT_EQ(v.GetWidth(), 0u);
    EXPECT_EQ(v.GetMaxZ(), 0.0f) << "a new viewport is all zeros";
    v.Set(0, 40, 640, 400, 0.0f, 1.0f);
    EXPECT_EQ(v.GetRight(), 640u);
    EXPECT_EQ(v.GetBottom(), 440u);
    EXPECT_FLOAT_EQ(v.GetAspect(), 1.6f);
}

}  // namespace
