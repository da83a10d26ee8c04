// Sprites drawn through the GL device under SDL's off-screen driver and read back; expected pixels
// worked out by hand.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gfxkit/SpriteBatch.h"
#include "platform/Window.h"

namespace plat {
namespace {

TEST(SpriteGLTest, TexturedSpritesOneBlendedOverTheOther) {
    std::unique_ptr<IGraphicsSystem> system = CreateGraphicsSystem();
    ASSERT_NE(system, nullptr) << "no GL under the off-screen driver";
    std::string error;
    std::unique_ptr<Window> window = Window::Create("sprite test", 64, 64, &error);
    ASSERT_NE(window, nullptr) << error;
    PresentParameters p;
    p.backBufferWidth = p.backBufferHeight = 64;
    p.windowed = true;
    p.deviceWindow = window.get();
    std::unique_ptr<IGraphicsDevice> device;
    ASSERT_EQ(system->CreateDevice(0, DeviceType::Hardware, window.get(), 0, p, device), gfx::kOk);
    std::unique_ptr<SpriteBatch> batch;
    ASSERT_EQ(SpriteBatch::Create(device.get(), batch), gfx::kOk);

    // A 2 x 1 texture, red then green, and a 1 x 1 half-transparent white one.
    const uint32_t pair[2] = {0xFFFF0000, 0xFF00FF00}, glass = 0x80FFFFFF;
    std::unique_ptr<ITexture> a, b;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, Format::Argb8888, Pool::Managed, a), gfx::kOk);
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, Format::Argb8888, Pool::Managed, b), gfx::kOk);
    a->UpdateLevel(0, pair, 8);
    b->UpdateLevel(0, &glass, 4);
    const uint32_t clear = 0xFF000000;
    device->Clear(0, nullptr, kClearTarget, clear, 1.0f, 0);
    device->SetRenderState(RenderState::ZEnable, false);

    ASSERT_EQ(batch->Begin(SpriteFlag::AlphaBlend), gfx::kOk);
    device->SetSamplerState(0, SamplerState::MagFilter, TextureFilter::Point);  // as a font does
    // Sprite A scaled 16 x 32 about its centre (1, 0.5), which lands on (24, 24): pixels 8..40 x 8..40.
    Matrix scale = MatrixScaling(16, 32, 1);
    const Vector3 centre{1, 0.5f, 0};
    scale.m[3][0] = 24, scale.m[3][1] = 24;
    batch->SetTransform(scale);
    ASSERT_EQ(batch->Draw(a.get(), nullptr, &centre, nullptr, 0xFFFFFFFF), gfx::kOk);
    // Sprite B tinted blue, 16 x 16 at (32, 16): half over A's green, half over the clear colour.
    batch->SetTransform(MatrixScaling(16, 16, 1));
    const Vector3 at{2, 1, 0};
    ASSERT_EQ(batch->Draw(b.get(), nullptr, nullptr, &at, 0xFF0000FF), gfx::kOk);
    ASSERT_EQ(batch->End(), gfx::kOk);

    std::vector<uint32_t> pixels;
    uint32_t w = 0, h = 0;
    ASSERT_EQ(device->ReadBackBuffer(pixels, w, h), gfx::kOk);
    ASSERT_EQ(w, 64u);
    // A's left texel, A's right texel below B, the clear colour twice; then B's alpha 0x80 (0.502): blue x 0.502
    // over green x 0.498, and over black.
    const struct {
        uint32_t x, y, expected;
    } samples[] = {{12, 20, 0xFFFF0000}, {36, 36, 0xFF00FF00}, {4, 4, clear},
                   {44, 44, clear},      {36, 20, 0xFF007F80}, {44, 20, 0xFF000080}};
    for (const auto& s : samples) {
        const uint32_t got = pixels[s.y * w + s.x];
        for (int shift = 0; shift < 24; shift += 8)
            EXPECT_NEAR(int(got >> shift & 0xFF), int(s.expected >> shift & 0xFF), 3) << s.x << "," << s.y;
    }
}

}  // namespace
}  // namespace plat
