#include "benchmark/ScreenDrawing.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;
using Lines = std::vector<std::string>;

struct FilterCase {
    const char* name;
    uint32_t anisotropy;
    bool magCap;
    uint32_t samples;
    Lines expected;
};

class ScreenDrawingTest : public OverlayTest {};

TEST_F(ScreenDrawingTest, SamplerFilterFollowsAnisotropyCapsAndMultisampling) {
    const FilterCase cases[] = {
        {"anisotropy without the magnification cap",
         4,
         false,
         0,
         {"SetSamplerState(0, MagFilter, 2)", "SetSamplerState(0, MinFilter, 3)", "SetSamplerState(0, MipFilter, 2)",
          "SetSamplerState(0, MaxAnisotropy, 4)", "SetRenderState(MultisampleAntialias, 0)",
          "SetSamplerState(0, AddressU, 1)", "SetSamplerState(0, AddressV, 1)"}},
        {"anisotropy with the cap",
         8,
         true,
         0,
         {"SetSamplerState(0, MagFilter, 3)", "SetSamplerState(0, MinFilter, 3)", "SetSamplerState(0, MipFilter, 2)",
          "SetSamplerState(0, MaxAnisotropy, 8)", "SetRenderState(MultisampleAntialias, 0)",
          "SetSamplerState(0, AddressU, 1)", "SetSamplerState(0, AddressV, 1)"}},
        {"no anisotropy: linear, the maximum left alone",
         0,
         true,
         4,
         {"SetSamplerState(0, MagFilter, 2)", "SetSamplerState(0, MinFilter, 2)", "SetSamplerState(0, MipFilter, 2)",
          "SetRenderState(MultisampleAntialias, 1)", "SetSamplerState(0, AddressU, 1)",
          "SetSamplerState(0, AddressV, 1)"}},
    };
    for (const FilterCase& c : cases) {
        StartFake([&](plat::FakeAdapter& adapter) {
            if (!c.magCap) adapter.caps.textureFilterCaps &= ~plat::kFilterMagAnisotropic;
        });
        Graphics().SetMaxAnisotropy(c.anisotropy);
        Graphics().GetPresentParameters()->multiSampleType = c.samples;
        SetSamplerFilter(0);
        EXPECT_EQ(Journal({"SetSampler", "SetRender"}), c.expected) << c.name;
        TearDown();
    }
}

TEST_F(ScreenDrawingTest, DefaultStatesPassOnlyPixelsWithSomeAlpha) {
    StartFake([](plat::FakeAdapter&) {});
    SetDefaultRenderStates();
    plat::IGraphicsDevice& device = *Device();
    uint32_t enabled = 0, ref = 1, func = 0, blend = 7;
    device.GetRenderState(plat::RenderState::AlphaTestEnable, enabled);
    device.GetRenderState(plat::RenderState::AlphaRef, ref);
    device.GetRenderState(plat::RenderState::AlphaFunc, func);
    device.GetRenderState(plat::RenderState::AlphaBlendEnable, blend);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(ref, 0u);
    EXPECT_EQ(func, static_cast<uint32_t>(plat::Compare::Greater));
    EXPECT_EQ(blend, 0u) << "blending is left to the code that draws blended";
}

TEST_F(ScreenDrawingTest, ColorQuadIsAStripOverTheRectangle) {
    StartFake([](plat::FakeAdapter&) {});
    DrawColorQuad(-1, -1, 641, 481, 0x80102030);
    EXPECT_EQ(Journal(), (Lines{"SetRenderState(CullMode, 1)", "SetRenderState(Lighting, 0)",
                                "SetRenderState(MultisampleAntialias, 0)", "SetFVF(0x1C4)",
                                "DrawPrimitiveUP(TriangleStrip, 2, 32) (-1 -1)-(641 481) 0x80102030"}));
    const auto v = ColorQuadVertices(3, 4, 5, 6, 0);
    EXPECT_EQ(v[1].x, 5.0f);
    EXPECT_EQ(v[2].y, 6.0f);
    EXPECT_EQ(v[3].u, 1.0f);
    EXPECT_EQ(v[3].v, 1.0f);
}

// On GL: a quad one pixel beyond every edge covers the whole back buffer, and a clear covers only the
// viewport (GL's own clear ignores it).
TEST_F(ScreenDrawingTest, OnGLQuadCoversTheScreenAndClearsKeepToTheViewport) {
    StartGL();
    plat::IGraphicsDevice& device = *Device();
    const plat::PresentParameters& p = device.GetParameters();
    device.Clear(0, nullptr, plat::kClearTarget, 0xFF000000, 1.0f, 0);
    device.BeginScene();
    SetDefaultRenderStates();
    device.SetRenderState(plat::RenderState::ZEnable, 0u);
    device.SetTexture(0, nullptr);
    DrawColorQuad(-1, -1, static_cast<int>(p.backBufferWidth) + 1, static_cast<int>(p.backBufferHeight) + 1,
                  0xFF00FF00);
    device.EndScene();
    plat::Viewport band{0, 10, p.backBufferWidth, 20, 0.0f, 1.0f};
    device.SetViewport(band);
    device.Clear(0, nullptr, plat::kClearTarget, 0xFFFF0000, 1.0f, 0);

    std::vector<uint32_t> pixels;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(plat::Succeeded(device.ReadBackBuffer(pixels, w, h)));
    int green = 0, red = 0, other = 0;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t c = pixels[y * w + x] & 0xFFFFFF;
            const bool inBand = y >= 10 && y < 30;
            if (c == (inBand ? 0xFF0000u : 0x00FF00u)) {
                ++(inBand ? red : green);
            } else {
                ++other;
            }
        }
    }
    EXPECT_EQ(other, 0) << "green everywhere but the cleared band";
    EXPECT_EQ(red, static_cast<int>(w) * 20);
}

}  // namespace
