// Sprites, the sprite batch wrapper and sprite fonts over the recording device: cells, the states
// the font sets, what is drawn, and the batch across a device loss.

#include <gtest/gtest.h>

#include "core/Exception.h"
#include "platform/GraphicsTestHooks.h"
#include "render/DXSprite.h"
#include "render/Sprite.h"
#include "render/SpriteFont.h"
#include "render/TextureCache.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CDXSprite;
using type_a::CSprite;
using type_a::CSpriteFont;
using type_a::CTexture;

class SpriteTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::Fake);
        WriteFile("sheet.bmp", MakeFlatBmp(256, 256, 0xFFFFFFFF));
        WriteFile("small.bmp", MakeFlatBmp(4, 4, 0xFFFFFFFF));
        sheet_ = cache_.GetTexture(std::string("sheet.bmp"), false, std::string(), plat::Format::Unknown);
        batch_.reset(new CDXSprite());
        Journal();
    }
    void TearDown() override {
        batch_.reset();
        cache_.Clear();
        RenderTest::TearDown();
    }
    // Journal lines that draw, or bind a texture to stage 0.
    std::vector<std::string> Draws() { return Journal({"Draw", "SetTexture(0"}); }

    type_a::CTextureCache cache_;
    CTexture* sheet_ = nullptr;
    std::unique_ptr<CDXSprite> batch_;
};

TEST_F(SpriteTest, CellsAreNumberedRowByRowInsideTheSourceRect) {
    CSprite sprite;
    sprite.SetTexture(batch_.get(), sheet_);
    EXPECT_EQ(sprite.GetWidth(), 256);
    EXPECT_EQ(sprite.GetSpriteBatch(), batch_.get());
    const plat::Rect whole = sprite.GetCellRect(0);
    EXPECT_EQ(whole.right, 256) << "a fresh sprite is the whole picture";
    sprite.SetSize(128, 128);
    const struct {
        int index;
        plat::Rect rect;
    } cells[] = {{0, {0, 0, 128, 128}},
                 {1, {128, 0, 256, 128}},
                 {2, {0, 128, 128, 256}},
                 {3, {128, 128, 256, 256}},
                 {4, {0, 256, 128, 384}}};  // past the last row: below the rectangle, not refused
    for (const auto& c : cells) {
        const plat::Rect r = sprite.GetCellRect(c.index);
        EXPECT_TRUE(r.left == c.rect.left && r.top == c.rect.top && r.right == c.rect.right &&
                    r.bottom == c.rect.bottom)
            << "cell " << c.index << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    sprite.SetSourceRect(plat::MakeRect(16, 32, 80, 96));
    sprite.SetSize(32, 32);
    const plat::Rect third = sprite.GetCellRect(3);
    EXPECT_TRUE(third.left == 48 && third.top == 64 && third.right == 80 && third.bottom == 96);
    // Narrower than one cell: no columns to number.
    sprite.SetSize(65, 32);
    EXPECT_THROW(sprite.GetCellRect(0), EInvalidParameter);
    sprite.SetSize(0, 32);
    EXPECT_THROW(sprite.GetCellRect(0), EInvalidParameter);
}

TEST_F(SpriteTest, WithoutATextureNothingIsDrawn) {
    CSprite sprite;
    CSpriteFont font;
    batch_->Begin(0x10);
    sprite.Draw(0, 1, 2, 0, 0xFFFFFFFF);
    sprite.DrawScaled(0, 1, 2, 0, 2, 2, 0xFFFFFFFF);
    sprite.DrawTransformed(0, nullptr, 0xFFFFFFFF);
    font.DrawText("AB", 0, 0, 0, 0xFFFFFFFF, 0);
    batch_->End();
    for (const std::string& line : Draws()) EXPECT_NE(line.rfind("Draw", 0), 0u) << line;
}

TEST_F(SpriteTest, FontPointFiltersStageZeroAndDrawsOneQuadPerKnownByte) {
    CSpriteFont font;
    font.Initialize(batch_.get(), sheet_, 8, 8, 32, 127);
    EXPECT_EQ(font.GetCharWidth(), 8);
    EXPECT_EQ(font.GetCharHeight(), 8);
    batch_->Begin(0x10);
    Journal();
    font.DrawText("", 10, 10, 0, 0xFFFFFFFF, 1);
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"SetSamplerState(0, MagFilter, 1)", "SetSamplerState(0, MinFilter, 1)",
                                        "SetSamplerState(0, MipFilter, 1)"}))
        << "an empty text still sets the filter";
    font.DrawText(
        "A\xC3\xA9"
        "B",
        100, 10, 1, 0xFFFFFFFF, 1);  // the two bytes of a UTF-8 letter are skipped
    font.DrawTextScaled("xyz", 100, 10, 2.5f, 2.5f, 0, 0xFFFFFFFF, 2);
    batch_->End();
    const std::vector<std::string> draws = Journal({"DrawIndexedPrimitiveUP"});
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].rfind("DrawIndexedPrimitiveUP(TriangleList, 0, 20, 10,", 0), 0u) << draws[0];
    uint32_t value = 0;
    Device()->GetSamplerState(0, plat::SamplerState::MinFilter, value);
    EXPECT_EQ(value, static_cast<uint32_t>(plat::TextureFilter::Point)) << "not restored afterwards";
}

// The batch listens to the graphics object: a loss in the middle of a batch closes it, and the next
// frame begins afresh.
TEST_F(SpriteTest, BatchSurvivesDeviceLoss) {
    CSprite sprite;
    sprite.SetTexture(batch_.get(), sheet_);
    batch_->Begin(0x10);
    sprite.Draw(0, 0, 0, 0, 0xFFFFFFFF);
    plat::TestHooksOf(Device())->SimulateDeviceLoss(true);
    GetApplicationDriver()->GetGraphics()->Present();
    RestartLog();
    Journal();
    batch_->Begin(0x10);
    sprite.Draw(0, 0, 0, 0, 0xFFFFFFFF);
    batch_->End();
    EXPECT_EQ(log_->Count("DirectX Error"), 0) << "the lost batch was closed, so Begin works again";
    EXPECT_EQ(Journal({"DrawIndexedPrimitiveUP"}).size(), 1u);
    // A destroyed batch is no longer told.
    batch_.reset();
    plat::TestHooksOf(Device())->SimulateDeviceLoss(true);
    GetApplicationDriver()->GetGraphics()->Present();
    EXPECT_EQ(GetApplicationDriver()->GetGraphics()->RemoveListener(nullptr), 0);
}

TEST_F(SpriteTest, DrawAllOnceUsesEveryCachedTextureInKeyOrder) {
    cache_.GetTexture(std::string("small.bmp"), false, std::string(), plat::Format::Unknown);
    Journal();
    cache_.DrawAllOnce();
    const std::vector<std::string> draws = Draws();
    ASSERT_EQ(draws.size(), 5u);
    EXPECT_EQ(draws[0], "SetTexture(0, T1)");  // sheet.bmp
    EXPECT_EQ(draws[1].rfind("DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2,", 0), 0u) << draws[1];
    EXPECT_EQ(draws[2], "SetTexture(0, T2)");  // small.bmp
    EXPECT_EQ(draws[3].rfind("DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2,", 0), 0u) << draws[3];
    EXPECT_EQ(draws[4].rfind("SetTexture(0, ", 0), 0u) << "the batch puts stage 0 back";
}

}  // namespace
}  // namespace rendertest
