// Sprites, the sprite batch and sprite fonts over the recording device: cells, the states the font
// sets, and the batch across a device loss.

#include "core/Exception.h"
#include "platform/GraphicsTestHooks.h"
#include "render/Sprite.h"
#include "render/SpriteFont.h"
#include "render/TextureCache.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using Lines = std::vector<std::string>;

class SpriteTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::Fake);
        WriteFile("sheet.tga", FlatImage(256, 256));
        sheet_ = cache_.GetTexture("sheet.tga", false, "", plat::Format::Unknown);
        batch_.reset(new type_a::CDXSprite());
        sprite_.SetTexture(batch_.get(), sheet_);
        Journal();
    }
    void TearDown() override {
        batch_.reset();
        cache_.Clear();
        RenderTest::TearDown();
    }
    type_a::CTextureCache cache_;
    type_a::CTexture* sheet_ = nullptr;
    std::unique_ptr<type_a::CDXSprite> batch_;
    type_a::CSprite sprite_;
};

TEST_F(SpriteTest, CellsAreNumberedRowByRowInsideTheSourceRect) {
    EXPECT_EQ(sprite_.GetCellRect(0).right, 256) << "a fresh sprite is the whole picture";
    const struct {
        int size, index, left, top;
    } cells[] = {{128, 1, 128, 0}, {128, 2, 0, 128}, {128, 4, 0, 256}, {32, 3, 48, 64}};  // 4: below, not refused
    for (const auto& c : cells) {
        sprite_.SetSourceRect(c.size == 32 ? plat::MakeRect(16, 32, 80, 96) : plat::MakeRect(0, 0, 256, 256));
        sprite_.SetSize(c.size, c.size);
        const plat::Rect r = sprite_.GetCellRect(c.index);
        EXPECT_TRUE(r.left == c.left && r.top == c.top && r.right == c.left + c.size && r.bottom == c.top + c.size)
            << c.index;
    }
    for (int width : {257, 0}) {  // wider than the source: no columns to number
        sprite_.SetSize(width, 32);
        EXPECT_THROW(sprite_.GetCellRect(0), EInvalidParameter) << width;
    }
}

TEST_F(SpriteTest, FontPointFiltersStageZero) {
    type_a::CSpriteFont font;
    font.Initialize(batch_.get(), sheet_, 8, 8, 32, 127);
    batch_->Begin(0x10);
    Journal();
    font.DrawText("A", 100, 10, 0, 0xFFFFFFFF, 1);
    EXPECT_EQ(Journal("SetSamplerState"), (Lines{"SetSamplerState(0, MagFilter, 1)", "SetSamplerState(0, MinFilter, 1)",
                                                 "SetSamplerState(0, MipFilter, 1)"}));
    batch_->End();
}

// A glyph set or cell past the sheet (a variant beyond those drawn, a prefix that is no digit) draws
// nothing rather than texels from outside the texture.
TEST_F(SpriteTest, CellOutsideTheTextureDrawsNothing) {
    type_a::CSpriteFont font;
    font.Initialize(batch_.get(), sheet_, 8, 8, 32, 127);  // 96 glyphs a set, 1024 cells on the sheet
    batch_->Begin(0x10);
    font.DrawText("AB", 0, 0, 10, 0xFFFFFFFF, 0);  // set 10 starts at cell 960: inside
    font.DrawText("AB", 0, 0, 11, 0xFFFFFFFF, 0);  // set 11: below the sheet
    font.DrawText("AB", 0, 0, -1, 0xFFFFFFFF, 0);  // above it
    sprite_.SetSize(200, 200);
    sprite_.Draw(0, 0, 0, 0, 0xFFFFFFFF);  // inside
    sprite_.Draw(1, 0, 0, 0, 0xFFFFFFFF);  // reaches past the right edge
    batch_->End();
    const Lines draws = Journal({"DrawIndexedPrimitiveUP"});
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].rfind("DrawIndexedPrimitiveUP(TriangleList, 0, 12, 6,", 0), 0u) << draws[0];
}

// A loss in the middle of a batch closes it, so the next frame begins afresh; a destroyed batch is no
// longer told.
TEST_F(SpriteTest, BatchFollowsDeviceLoss) {
    batch_->Begin(0x10);
    sprite_.Draw(0, 0, 0, 0, 0xFFFFFFFF);
    plat::TestHooksOf(Device())->SimulateDeviceLoss(true);
    GetApplicationDriver()->GetGraphics()->Present();
    RestartLog();
    Journal();
    batch_->Begin(0x10);
    sprite_.Draw(0, 0, 0, 0, 0xFFFFFFFF);
    batch_->End();
    EXPECT_EQ(log_->Count("DirectX Error"), 0);
    EXPECT_EQ(Journal("DrawIndexedPrimitiveUP").size(), 1u);
    batch_.reset();
    plat::TestHooksOf(Device())->SimulateDeviceLoss(true);
    GetApplicationDriver()->GetGraphics()->Present();
}

}  // namespace
}  // namespace rendertest
