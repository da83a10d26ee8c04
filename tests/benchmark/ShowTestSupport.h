// The show's screens over the recording device, with fonts that record each text as
// "text@x,y*scale v<variant> #<colour> a<alignment>" instead of drawing it.
#pragma once

#include "benchmark/ProgressiveTextureCache.h"
#include "benchmark/ShowCanvas.h"
#include "core/Text.h"
#include "tests/render/RenderTestSupport.h"

namespace showtest {

using Lines = std::vector<std::string>;

struct RecordingFont : trivale::type_a::CSpriteFont {
    RecordingFont(int width, int height) { SetCharWidth(width), SetCharHeight(height); }
    void DrawText(const std::string& text, int x, int y, int variant, std::uint32_t colour, int align) override {
        DrawTextScaled(text, x, y, 0, 0, variant, colour, align);
    }
    void DrawTextScaled(const std::string& text, int x, int y, float scale, float, int variant, std::uint32_t colour,
                        int align) override {
        drawn.push_back(
            trivale::FormatString("%s@%d,%d*%g v%d #%X a%d", text.c_str(), x, y, scale, variant, colour, align));
    }
    Lines Take() { return std::exchange(drawn, {}); }
    Lines drawn;
};

class ShowTest : public rendertest::RenderTest {
protected:
    void SetUp() override {
        StartDriver(rendertest::Backend::Fake);
        WriteFile("scenes/skyhigh/small_cloud_1.dds", rendertest::FlatImage(256, 256));
        WriteFile("scenes/skyhigh/snow_1.dds", rendertest::FlatImage(256, 256));
        sprite_ = std::make_unique<trivale::type_a::CDXSprite>();
        viewport_.Set(0, 40, 640, 400, 0.0f, 1.0f);
    }
    void TearDown() override {
        cache_.Clear();
        sprite_.reset();
        RenderTest::TearDown();
    }
    ShowCanvas Canvas(int debugPage = 0) { return {sprite_.get(), &large_, &debug_, &viewport_, 640, debugPage}; }

    trivale::type_a::CProgressiveTextureCache cache_;
    std::unique_ptr<trivale::type_a::CDXSprite> sprite_;
    RecordingFont large_{16, 16};
    RecordingFont debug_{8, 10};
    CViewport viewport_;
};

}  // namespace showtest
