// Drawing through the GL device under SDL's off-screen driver, read back from the back buffer.
// Expected pixels are worked out by hand; flat colours, point filtering, a tolerance of a few levels.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gfxkit/Math3D.h"
#include "platform/Graphics.h"
#include "platform/GraphicsTestHooks.h"
#include "platform/Window.h"

namespace plat {
namespace {

const float kPi = 3.14159265f;
const uint32_t kClear = 0xFF102030;

// Vertices in pixels with a colour and one coordinate set.
struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
const uint32_t kScreenFvf = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;

struct LitVertex {
    float x, y, z, nx, ny, nz;
};

struct ColourVertex {
    float x, y, z;
    uint32_t colour;
};

class DrawGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        system_ = CreateGraphicsSystem();
        ASSERT_NE(system_, nullptr) << "no GL under the off-screen driver";
        std::string error;
        window_ = Window::Create("draw test", 64, 64, &error);
        ASSERT_NE(window_, nullptr) << error;
        PresentParameters p;
        p.backBufferWidth = p.backBufferHeight = 64;
        p.windowed = true;
        p.enableAutoDepthStencil = true;
        p.autoDepthStencilFormat = Format::Depth24X8;
        p.presentationInterval = kPresentIntervalImmediate;
        p.deviceWindow = window_.get();
        parameters_ = p;
        ASSERT_EQ(system_->CreateDevice(0, DeviceType::Hardware, window_.get(), 0, parameters_, device_), gfx::kOk);
        Begin();
    }
    void TearDown() override {
        device_.reset();
        window_.reset();
        system_.reset();
    }
    void Begin() { device_->Clear(0, nullptr, kClearTarget | kClearZBuffer, kClear, 1.0f, 0); }
    uint32_t Pixel(uint32_t x, uint32_t y) {
        std::vector<uint32_t> pixels;
        uint32_t w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), gfx::kOk);
        return y < h && x < w ? pixels[y * w + x] : 0;
    }
    // Within `tolerance` levels on each colour channel.
    static bool Near(uint32_t a, uint32_t b, int tolerance = 3) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance) return false;
        return true;
    }
    void ScreenQuad(float left, float top, float right, float bottom, uint32_t colour) {
        const ScreenVertex quad[4] = {{left, top, 0.5f, 1, colour, 0, 0},
                                      {right, top, 0.5f, 1, colour, 1, 0},
                                      {left, bottom, 0.5f, 1, colour, 0, 1},
                                      {right, bottom, 0.5f, 1, colour, 1, 1}};
        device_->SetFVF(kScreenFvf);
        ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad, sizeof(ScreenVertex)), gfx::kOk);
    }
    std::unique_ptr<ITexture> Texture(uint32_t width, uint32_t height, Format format, const void* texels,
                                      uint32_t pitch) {
        std::unique_ptr<ITexture> texture;
        EXPECT_EQ(device_->CreateTexture(width, height, 1, 0, format, Pool::Managed, texture), gfx::kOk);
        if (texture) {
            EXPECT_EQ(texture->UpdateLevel(0, texels, pitch), gfx::kOk);
        }
        return texture;
    }

    std::unique_ptr<IGraphicsSystem> system_;
    std::unique_ptr<Window> window_;
    std::unique_ptr<IGraphicsDevice> device_;
    PresentParameters parameters_;
};

TEST_F(DrawGLTest, FlatQuadInPixels) {
    // Stage 0 modulates a texture it does not have: it passes the vertex colour on.
    ScreenQuad(16, 16, 48, 48, 0xFF20C040);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF20C040)) << std::hex << Pixel(32, 32);
    EXPECT_TRUE(Near(Pixel(16, 16), 0xFF20C040)) << "the top-left pixel is inside";
    EXPECT_EQ(Pixel(15, 32), kClear);
    EXPECT_EQ(Pixel(48, 32), kClear) << "right edge excluded";
    EXPECT_EQ(device_->Present(), gfx::kOk);
}

TEST_F(DrawGLTest, TexturedQuadKeepsTheImageUpright) {
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};  // top row first
    std::unique_ptr<ITexture> texture = Texture(2, 2, Format::Argb8888, texels, 8);
    device_->SetTexture(0, texture.get());
    ScreenQuad(0, 0, 64, 64, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(16, 16), 0xFFFF0000));
    EXPECT_TRUE(Near(Pixel(48, 16), 0xFF00FF00));
    EXPECT_TRUE(Near(Pixel(16, 48), 0xFF0000FF));
    EXPECT_TRUE(Near(Pixel(48, 48), 0xFFFFFFFF));
    // Modulated by the vertex colour; point filtering keeps texel edges sharp.
    ScreenQuad(0, 0, 64, 64, 0xFF808080);
    EXPECT_TRUE(Near(Pixel(31, 31), 0xFF800000)) << std::hex << Pixel(31, 31);
    EXPECT_TRUE(Near(Pixel(32, 31), 0xFF008000)) << std::hex << Pixel(32, 31);
}

TEST_F(DrawGLTest, EachTextureFormatGivesItsColour) {
    device_->SetRenderState(RenderState::AlphaTestEnable, true);  // alpha 0 would show the clear colour
    device_->SetRenderState(RenderState::AlphaFunc, Compare::Greater);
    const uint8_t dxt1Red[8] = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    const uint32_t argb = 0xFF336699, xrgb = 0x00336699;
    const uint16_t rgb565 = 0xF800, argb1555 = 0xFC00, argb4444 = 0xF0F0;
    const uint8_t luminance = 0x80, alpha = 0xFF, alphaLuminance[2] = {0x40, 0xFF};
    const struct {
        Format format;
        uint32_t size, pitch;
        const void* texel;
        uint32_t expected;
    } rows[] = {
        {Format::Argb8888, 1, 4, &argb, 0xFF336699},
        {Format::Xrgb8888, 1, 4, &xrgb, 0xFF336699},
        {Format::Rgb565, 1, 2, &rgb565, 0xFFFF0000},
        {Format::Argb1555, 1, 2, &argb1555, 0xFFFF0000},
        {Format::Argb4444, 1, 2, &argb4444, 0xFF00FF00},
        {Format::Luminance8, 1, 1, &luminance, 0xFF808080},
        {Format::AlphaLuminance88, 1, 2, alphaLuminance, 0xFF404040},
        {Format::Alpha8, 1, 1, &alpha, 0xFF000000},  // no colour channels: black, as the runtime reads them
        {Format::Dxt1, 4, 8, dxt1Red, 0xFFFF0000},
    };
    for (const auto& row : rows) {
        Begin();
        std::unique_ptr<ITexture> texture = Texture(row.size, row.size, row.format, row.texel, row.pitch);
        device_->SetTexture(0, texture.get());
        ScreenQuad(0, 0, 64, 64, 0xFFFFFFFF);
        EXPECT_TRUE(Near(Pixel(32, 32), row.expected, 4))
            << static_cast<uint32_t>(row.format) << ": " << std::hex << Pixel(32, 32);
        device_->SetTexture(0, nullptr);
    }
}

TEST_F(DrawGLTest, AlphaTestDiscardsTransparentTexels) {
    const uint32_t texels[2] = {0x00FF0000, 0xFF00FF00};
    std::unique_ptr<ITexture> texture = Texture(2, 1, Format::Argb8888, texels, 8);
    device_->SetTexture(0, texture.get());
    device_->SetRenderState(RenderState::AlphaTestEnable, true);
    device_->SetRenderState(RenderState::AlphaRef, 0u);
    device_->SetRenderState(RenderState::AlphaFunc, Compare::Greater);
    ScreenQuad(0, 0, 64, 64, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(16, 32), kClear);
    EXPECT_TRUE(Near(Pixel(48, 32), 0xFF00FF00));
    // Blended half over the clear colour instead.
    Begin();
    device_->SetRenderState(RenderState::AlphaTestEnable, false);
    device_->SetRenderState(RenderState::AlphaBlendEnable, true);
    device_->SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    device_->SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    device_->SetTexture(0, nullptr);
    ScreenQuad(0, 0, 64, 64, 0x80FFFFFF);
    EXPECT_TRUE(Near(Pixel(16, 32), 0xFF888F97)) << std::hex << Pixel(16, 32);
}

TEST_F(DrawGLTest, DirectionalLightLightsAMaterialInWorldSpace) {
    // Seen from +5 x looking at the origin; the quad faces +x, the light comes from +x and below
    // (0.8 along its normal). Colour = ambient x light ambient + diffuse x light diffuse x 0.8.
    device_->SetTransform(TransformKind::View,
                          MatrixLookAtLH(MakeVector3(5, 0, 0), MakeVector3(0, 0, 0), MakeVector3(0, 1, 0)));
    device_->SetTransform(TransformKind::Projection, MatrixPerspectiveFovLH(kPi / 2, 1, 1, 10));
    Light light;
    light.type = LightType::Directional;
    light.diffuse = ColourValue{1, 1, 1, 1};
    light.ambient = ColourValue{0.5f, 0.5f, 0.5f, 1};
    light.specular = ColourValue{1, 1, 1, 1};
    light.direction = MakeVector3(-0.8f, 0.6f, 0);
    ASSERT_EQ(device_->SetLight(0, light), gfx::kOk);
    device_->LightEnable(0, true);
    Material material;
    material.diffuse = ColourValue{0.5f, 0.25f, 1, 1};
    material.ambient = ColourValue{0.2f, 0.2f, 0.2f, 1};
    material.specular = ColourValue{1, 1, 1, 1};
    // Past GL's range: clamped to 128, the highlight is then too tight to show here (0.95 ^ 128); a power
    // GL dropped would leave 0, a white wash.
    material.power = 500;
    device_->SetMaterial(material);
    device_->SetRenderState(RenderState::SpecularEnable, true);
    device_->SetRenderState(RenderState::CullMode, Cull::None);
    const LitVertex quad[4] = {{0, 3, 3, 1, 0, 0}, {0, 3, -3, 1, 0, 0}, {0, -3, 3, 1, 0, 0}, {0, -3, -3, 1, 0, 0}};
    device_->SetFVF(kFvfXyz | kFvfNormal);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad, sizeof(LitVertex)), gfx::kOk);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF804DE6)) << std::hex << Pixel(32, 32);
    EXPECT_EQ(Pixel(2, 2), kClear);
}

TEST_F(DrawGLTest, TransformsPlaceAVertexWhereWorkedOut) {
    // Object (1, 1, 0) -> world (2, 1, 0) -> view (2, 1, 4) -> clip (2, 1, .., 4) -> (0.5, 0.25) -> pixel (48, 24).
    device_->SetTransform(TransformKind::World, MatrixTranslation(1, 0, 0));
    device_->SetTransform(TransformKind::View,
                          MatrixLookAtLH(MakeVector3(0, 0, -4), MakeVector3(0, 0, 0), MakeVector3(0, 1, 0)));
    device_->SetTransform(TransformKind::Projection, MatrixPerspectiveFovLH(kPi / 2, 1, 1, 100));
    device_->SetRenderState(RenderState::Lighting, false);
    const uint32_t c = 0xFFFFFF00;
    const float h = 0.125f;  // one pixel at that depth
    // Clockwise on screen (top-left, top-right, bottom-left, ...): kept by the default culling.
    const ColourVertex clockwise[4] = {
        {1 - h, 1 + h, 0, c}, {1 + h, 1 + h, 0, c}, {1 - h, 1 - h, 0, c}, {1 + h, 1 - h, 0, c}};
    device_->SetFVF(kFvfXyz | kFvfDiffuse);
    device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, clockwise, sizeof(ColourVertex));
    EXPECT_EQ((std::vector<uint32_t>{Pixel(47, 23), Pixel(48, 24), Pixel(45, 24), Pixel(48, 27)}),
              (std::vector<uint32_t>{c, c, kClear, kClear}));
    // Counter-clockwise is culled.
    Begin();
    const ColourVertex counter[4] = {clockwise[0], clockwise[2], clockwise[1], clockwise[3]};
    device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, counter, sizeof(ColourVertex));
    EXPECT_EQ(Pixel(47, 23), kClear);
}

TEST_F(DrawGLTest, MultiplyAddAfterAStageWithoutTexture) {
    // Stage 0 modulates a missing texture: it passes the diffuse 0.25 red on. Stage 1 adds its 0.5 grey
    // texel times the 0.5 factor: 0.5, 0.25, 0.25.
    const uint32_t grey = 0xFF808080;
    std::unique_ptr<ITexture> texture = Texture(1, 1, Format::Argb8888, &grey, 4);
    device_->SetTexture(1, texture.get());
    device_->SetRenderState(RenderState::TextureFactor, 0xFF808080u);
    device_->SetTextureStageState(1, StageState::ColourOp, TextureOp::MultiplyAdd);
    device_->SetTextureStageState(1, StageState::ColourArg0, TextureArg::Current);
    device_->SetTextureStageState(1, StageState::ColourArg1, TextureArg::Texture);
    device_->SetTextureStageState(1, StageState::ColourArg2, TextureArg::Factor);
    device_->SetTextureStageState(1, StageState::AlphaOp, TextureOp::SelectArg1);
    device_->SetTextureStageState(1, StageState::AlphaArg1, TextureArg::Current);
    device_->SetTextureStageState(1, StageState::TexCoordIndex, 0u);
    ScreenQuad(0, 0, 64, 64, 0xFF400000);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF804040, 4)) << std::hex << Pixel(32, 32);
    // With stage 1's texture gone the same stage passes the colour on, too.
    device_->SetTexture(1, nullptr);
    ScreenQuad(0, 0, 64, 64, 0xFF400000);
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF400000)) << std::hex << Pixel(32, 32);
}

// The device points GL's arrays and sets the current colour only where they changed: each draw below
// reads another buffer (or memory) of the same layout, or has no vertex colour where the last had one.
TEST_F(DrawGLTest, ArraysAndColourAreSetAgainWhereTheyChanged) {
    struct Vertex {
        float x, y, z, rhw;
        uint32_t colour;
    };
    const uint32_t red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    const uint32_t colours = kFvfXyzRhw | kFvfDiffuse;
    const struct {
        float left;
        uint32_t colour, fvf, expected;
        bool memory;  // drawn from memory, not from a buffer
    } rows[] = {{2, red, colours, red, false},
                {14, red, kFvfXyzRhw, white, false},
                {26, green, colours, green, false},
                {38, blue, colours, blue, true},
                {50, red, colours, red, false}};
    std::vector<std::unique_ptr<IVertexBuffer>> buffers;
    for (const auto& row : rows) {
        const Vertex v[4] = {{row.left, 8, 0.5f, 1, row.colour},
                             {row.left + 10, 8, 0.5f, 1, row.colour},
                             {row.left, 56, 0.5f, 1, row.colour},
                             {row.left + 10, 56, 0.5f, 1, row.colour}};
        device_->SetFVF(row.fvf);
        if (row.memory) {
            ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, v, sizeof(Vertex)), gfx::kOk);
            continue;
        }
        buffers.emplace_back();
        ASSERT_EQ(device_->CreateVertexBuffer(sizeof v, 0, row.fvf, Pool::Managed, buffers.back()), gfx::kOk);
        void* data = nullptr;
        ASSERT_EQ(buffers.back()->Lock(0, 0, &data, 0), gfx::kOk);
        std::memcpy(data, v, sizeof v);
        buffers.back()->Unlock();
        device_->SetStreamSource(0, buffers.back().get(), 0, sizeof(Vertex));
        ASSERT_EQ(device_->DrawPrimitive(PrimitiveType::TriangleStrip, 0, 2), gfx::kOk);
    }
    for (const auto& row : rows) {
        const uint32_t seen = Pixel(static_cast<uint32_t>(row.left) + 5, 32);
        EXPECT_TRUE(Near(seen, row.expected)) << row.left << ": " << std::hex << seen;
    }
}

TEST_F(DrawGLTest, BuffersAndTexturesComeBackAfterALostDevice) {
    std::unique_ptr<IVertexBuffer> vb;
    ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(ScreenVertex), kUsageWriteOnly, kScreenFvf, Pool::Managed, vb),
              gfx::kOk);
    std::unique_ptr<IIndexBuffer> ib;
    ASSERT_EQ(device_->CreateIndexBuffer(6 * 2, 0, IndexFormat::Index16, Pool::Managed, ib), gfx::kOk);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), gfx::kOk);
    ScreenVertex* v = static_cast<ScreenVertex*>(data);
    v[0] = {8, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0}, v[1] = {56, 8, 0.5f, 1, 0xFFFFFFFF, 1, 0};
    v[2] = {8, 56, 0.5f, 1, 0xFFFFFFFF, 0, 1}, v[3] = {56, 56, 0.5f, 1, 0xFFFFFFFF, 1, 1};
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), gfx::kOk);
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    const uint32_t orange = 0xFFFF8000;
    std::unique_ptr<ITexture> texture = Texture(1, 1, Format::Argb8888, &orange, 4);
    auto draw = [&] {
        device_->SetTexture(0, texture.get());
        device_->SetFVF(kScreenFvf);
        device_->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
        device_->SetIndices(ib.get());
        return device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 0, 2);
    };
    ASSERT_EQ(draw(), gfx::kOk);
    EXPECT_TRUE(Near(Pixel(32, 32), orange));
    TestHooksOf(device_.get())->SimulateDeviceLoss(true);
    EXPECT_EQ(draw(), gfx::kOk) << "draws while lost do nothing";
    ASSERT_EQ(device_->Reset(parameters_), gfx::kOk);
    uint32_t lighting = 0;
    device_->GetRenderState(RenderState::Lighting, lighting);
    EXPECT_EQ(lighting, 1u) << "a reset brings the defaults back";
    Begin();
    ASSERT_EQ(draw(), gfx::kOk);
    EXPECT_TRUE(Near(Pixel(32, 32), orange)) << std::hex << Pixel(32, 32);
    EXPECT_EQ(Pixel(4, 4), kClear);
    // A resource outliving its device is harmless.
    device_.reset();
    texture.reset();
}

}  // namespace
}  // namespace plat
