// Sprites, the sprite batch wrapper and sprite fonts over the recording device: cells, the states the
// font sets, what is drawn, and the batch across a device loss.

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
        WriteFile("sheet.tga", FlatImage(256, 256, 0xFFFFFFFF));
        WriteFile("small.tga", FlatImage(4, 4, 0xFFFFFFFF));
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
    sprite_.SetSize(128, 128);
    const struct {
        int index, left, top;
    } cells[] = {{0, 0, 0}, {1, 128, 0}, {2, 0, 128}, {3, 128, 128}, {4, 0, 256}};  // 4: below, not refused
    for (const auto& c : cells) {
        const plat::Rect r = sprite_.GetCellRect(c.index);
        EXPECT_TRUE(r.left == c.left && r.top == c.top && r.right == c.left + 128 && r.bottom == c.top + 128)
            << c.index;
    }
    sprite_.SetSourceRect(plat::MakeRect(16, 32, 80, 96));
    sprite_.SetSize(32, 32);
    const plat::Rect third = sprite_.GetCellRect(3);
    EXPECT_TRUE(third.left == 48 && third.top == 64 && third.right == 80 && third.bottom == 96);
    for (int width : {65, 0}) {  // narrower than one cell: no columns to number
        sprite_.SetSize(width, 32);
        EXPECT_THROW(sprite_.GetCellRect(0), EInvalidParameter) << width;
    }
}

TEST_F(SpriteTest, FontPointFiltersStageZeroAndDrawsOneQuadPerKnownByte) {
    type_a::CSprite bare;
    type_a::CSpriteFont font;
    batch_->Begin(0x10);
    Journal();
    bare.Draw(0, 1, 2, 0, 0xFFFFFFFF);  // no texture: nothing
    font.DrawText("", 10, 10, 0, 0xFFFFFFFF, 1);
    EXPECT_EQ(Journal(), (Lines{"SetSamplerState(0, MagFilter, 1)", "SetSamplerState(0, MinFilter, 1)",
                                "SetSamplerState(0, MipFilter, 1)"}))
        << "an empty text still sets the filter";
    font.Initialize(batch_.get(), sheet_, 8, 8, 32, 127);
    font.DrawText(
        "A\xC3\xA9"
        "B",
        100, 10, 1, 0xFFFFFFFF, 1);  // the bytes of a UTF-8 letter are skipped
    font.DrawTextScaled("xyz", 100, 10, 2.5f, 2.5f, 0, 0xFFFFFFFF, 2);
    batch_->End();
    const Lines draws = Journal({"DrawIndexedPrimitiveUP"});
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].rfind("DrawIndexedPrimitiveUP(TriangleList, 0, 20, 10,", 0), 0u) << draws[0];
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
    EXPECT_EQ(Journal({"DrawIndexedPrimitiveUP"}).size(), 1u);
    batch_.reset();
    plat::TestHooksOf(Device())->SimulateDeviceLoss(true);
    GetApplicationDriver()->GetGraphics()->Present();
}

TEST_F(SpriteTest, DrawAllOnceUsesEveryCachedTextureInKeyOrder) {
    cache_.GetTexture("small.tga", false, "", plat::Format::Unknown);
    Journal();
    cache_.DrawAllOnce();
    const Lines draws = Journal({"Draw", "SetTexture(0"});
    ASSERT_EQ(draws.size(), 5u);
    EXPECT_EQ(draws[0], "SetTexture(0, T1)");  // sheet.tga
    EXPECT_EQ(draws[2], "SetTexture(0, T2)");  // small.tga
    for (int i : {1, 3}) EXPECT_EQ(draws[i].rfind("DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2,", 0), 0u) << draws[i];
}

}  // namespace
}  // namespace rendertest
