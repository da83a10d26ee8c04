// The show's screens over the recording device, drawn with fonts that record what they are asked to
// draw instead of drawing it.
#pragma once

#include <string>
#include <vector>

#include "benchmark/ShowCanvas.h"
#include "tests/render/RenderTestSupport.h"

namespace showtest {

struct DrawnText {
    std::string text;
    int x, y;
    float scale;
    int variant;
    std::uint32_t colour;
    int alignment;
    bool operator==(const DrawnText& o) const {
        return text == o.text && x == o.x && y == o.y && scale == o.scale && variant == o.variant &&
               colour == o.colour && alignment == o.alignment;
    }
};
inline std::ostream& operator<<(std::ostream& out, const DrawnText& d) {
    return out << '"' << d.text << "\" at " << d.x << "," << d.y << " x" << d.scale << " v" << d.variant << " #"
               << std::hex << d.colour << std::dec << " a" << d.alignment;
}

class RecordingFont : public trivale::type_a::CSpriteFont {
public:
    RecordingFont(int width, int height) {
        SetCharWidth(width);
        SetCharHeight(height);
    }
    void DrawText(const std::string& text, int x, int y, int variant, std::uint32_t colour, int alignment) override {
        drawn.push_back({text, x, y, 0.0f, variant, colour, alignment});
    }
    void DrawTextScaled(const std::string& text, int x, int y, float scaleX, float scaleY, int variant,
                        std::uint32_t colour, int alignment) override {
        EXPECT_EQ(scaleX, scaleY);
        drawn.push_back({text, x, y, scaleX, variant, colour, alignment});
    }
    std::vector<DrawnText> Take() { return std::exchange(drawn, {}); }
    std::vector<DrawnText> drawn;
};

class ShowTest : public rendertest::RenderTest {
protected:
    void SetUp() override {
        StartDriver(rendertest::Backend::Fake);
        sprite_ = std::make_unique<trivale::type_a::CDXSprite>();
        SetScreen(640, 40, 400);
    }
    void TearDown() override {
        sprite_.reset();
        RenderTest::TearDown();
    }
    // A main viewport of the back buffer's width from `top`, `height` high.
    void SetScreen(int width, int top, int height) {
        viewport_.Set(0, static_cast<std::uint32_t>(top), static_cast<std::uint32_t>(width),
                      static_cast<std::uint32_t>(height), 0.0f, 1.0f);
        width_ = width;
    }
    ShowCanvas Canvas(int debugPage = 0) {
        return ShowCanvas{sprite_.get(), &large_, &debug_, &viewport_, width_, debugPage};
    }

    std::unique_ptr<trivale::type_a::CDXSprite> sprite_;
    RecordingFont large_{16, 16};
    RecordingFont debug_{8, 10};
    CViewport viewport_;
    int width_ = 0;
};

}  // namespace showtest
