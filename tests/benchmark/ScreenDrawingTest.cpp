#include "render/ScreenDrawing.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;
using Lines = std::vector<std::string>;

class ScreenDrawingTest : public OverlayTest {};

TEST_F(ScreenDrawingTest, SamplerFilterFollowsAnisotropyCapsAndMultisampling) {
    // clang-format off
    const struct {
        const char* name;
        uint32_t anisotropy;
        bool magCap;
        uint32_t samples;
        Lines filters;  // then the multisampling state, then clamped addressing
        int multisample;
    } cases[] = {
        {"anisotropy without the magnification cap", 4, false, 0,
         {"MagFilter, 2", "MinFilter, 3", "MipFilter, 2", "MaxAnisotropy, 4"}, 0},
        {"anisotropy with the cap", 8, true, 0, {"MagFilter, 3", "MinFilter, 3", "MipFilter, 2", "MaxAnisotropy, 8"}, 0},
        {"no anisotropy: linear, the maximum left alone", 0, true, 4, {"MagFilter, 2", "MinFilter, 2", "MipFilter, 2"}, 1},
    };
    // clang-format on
    for (const auto& c : cases) {
        StartFake([&](plat::FakeAdapter& adapter) {
            if (!c.magCap) adapter.caps.textureFilterCaps &= ~plat::kFilterMagAnisotropic;
        });
        Graphics().SetMaxAnisotropy(c.anisotropy);
        Graphics().GetPresentParameters()->multiSampleType = c.samples;
        SetSamplerFilter(0);
        Lines expected;
        for (const std::string& f : c.filters) expected.push_back("SetSamplerState(0, " + f + ")");
        expected.push_back("SetRenderState(MultisampleAntialias, " + std::to_string(c.multisample) + ")");
        expected.insert(expected.end(), {"SetSamplerState(0, AddressU, 1)", "SetSamplerState(0, AddressV, 1)"});
        EXPECT_EQ(Journal({"SetSampler", "SetRender"}), expected) << c.name;
        TearDown();
    }
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
    device.SetViewport({0, 10, p.backBufferWidth, 20, 0.0f, 1.0f});
    device.Clear(0, nullptr, plat::kClearTarget, 0xFFFF0000, 1.0f, 0);

    Graphics().Present();
    int wrong = 0;
    for (int y = 0; y < static_cast<int>(presented_.height); ++y)
        for (int x = 0; x < static_cast<int>(presented_.width); ++x)
            wrong += presented_.At(x, y) != (y >= 10 && y < 30 ? 0xFF0000u : 0x00FF00u);
    EXPECT_EQ(wrong, 0) << "green everywhere but the cleared band, red in it";
}

}  // namespace
