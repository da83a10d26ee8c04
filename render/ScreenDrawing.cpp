#include "render/ScreenDrawing.h"

#include "render/RenderDevice.h"

using namespace trivale;
using namespace trivale::type_a;
using plat::RenderState;
using plat::SamplerState;
using plat::StageState;

void SetModulateTextureStage() {
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetTextureStageState(0, StageState::ColourOp, plat::TextureOp::Modulate);
    device.SetTextureStageState(0, StageState::ColourArg1, plat::TextureArg::Texture);
    device.SetTextureStageState(0, StageState::ColourArg2, plat::TextureArg::Diffuse);
    device.SetTextureStageState(0, StageState::AlphaOp, plat::TextureOp::Modulate);
    device.SetTextureStageState(0, StageState::AlphaArg1, plat::TextureArg::Texture);
    device.SetTextureStageState(0, StageState::AlphaArg2, plat::TextureArg::Diffuse);
}

void SetSamplerFilter(std::uint32_t stage) {
    CDXGraphics& graphics = CurrentGraphics();
    plat::IGraphicsDevice& device = CurrentDevice();
    const std::int32_t anisotropy = static_cast<std::int32_t>(graphics.GetMaxAnisotropy());
    if (anisotropy > 0) {
        const plat::DeviceCaps* caps = graphics.GetDeviceCaps();
        const bool magAnisotropic = caps != nullptr && (caps->textureFilterCaps & plat::kFilterMagAnisotropic) != 0;
        device.SetSamplerState(stage, SamplerState::MagFilter,
                               magAnisotropic ? plat::TextureFilter::Anisotropic : plat::TextureFilter::Linear);
        device.SetSamplerState(stage, SamplerState::MinFilter, plat::TextureFilter::Anisotropic);
        device.SetSamplerState(stage, SamplerState::MipFilter, plat::TextureFilter::Linear);
        device.SetSamplerState(stage, SamplerState::MaxAnisotropy, static_cast<std::uint32_t>(anisotropy));
    } else {
        device.SetSamplerState(stage, SamplerState::MagFilter, plat::TextureFilter::Linear);
        device.SetSamplerState(stage, SamplerState::MinFilter, plat::TextureFilter::Linear);
        device.SetSamplerState(stage, SamplerState::MipFilter, plat::TextureFilter::Linear);
    }
    const plat::PresentParameters* parameters = graphics.GetPresentParameters();
    const bool multisample = parameters != nullptr && parameters->multiSampleType != 0;
    device.SetRenderState(RenderState::MultisampleAntialias, multisample ? 1u : 0u);
    device.SetSamplerState(stage, SamplerState::AddressU, plat::TextureAddress::Wrap);
    device.SetSamplerState(stage, SamplerState::AddressV, plat::TextureAddress::Wrap);
}

void SetDefaultRenderStates() {
    SetSamplerFilter(0);
    SetSamplerFilter(1);
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetRenderState(RenderState::SrcBlend, plat::Blend::SrcAlpha);
    device.SetRenderState(RenderState::DestBlend, plat::Blend::InvSrcAlpha);
    SetModulateTextureStage();
    device.SetRenderState(RenderState::DitherEnable, 1u);
    device.SetRenderState(RenderState::Ambient, 0u);
    device.SetRenderState(RenderState::ZEnable, 1u);
    device.SetRenderState(RenderState::ZWriteEnable, 1u);
    device.SetRenderState(RenderState::Lighting, 1u);
    device.SetRenderState(RenderState::ShadeMode, plat::ShadeMode::Gouraud);
    device.SetRenderState(RenderState::AlphaRef, 0u);
    device.SetRenderState(RenderState::AlphaFunc, plat::Compare::Greater);
    device.SetRenderState(RenderState::AlphaTestEnable, 1u);
    device.SetRenderState(RenderState::SpecularEnable, 1u);
    device.SetRenderState(RenderState::NormalizeNormals, 1u);
    device.SetRenderState(RenderState::CullMode, plat::Cull::CounterClockwise);
}

std::array<ScreenVertex, 4> ColorQuadVertices(int left, int top, int right, int bottom, std::uint32_t colour) {
    const float l = static_cast<float>(left), t = static_cast<float>(top);
    const float r = static_cast<float>(right), b = static_cast<float>(bottom);
    return {{
        {l, t, 0.0f, 1.0f, colour, 0u, 0.0f, 0.0f},
        {r, t, 0.0f, 1.0f, colour, 0u, 1.0f, 0.0f},
        {l, b, 0.0f, 1.0f, colour, 0u, 0.0f, 1.0f},
        {r, b, 0.0f, 1.0f, colour, 0u, 1.0f, 1.0f},
    }};
}

void DrawColorQuad(int left, int top, int right, int bottom, std::uint32_t colour) {
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetRenderState(RenderState::CullMode, plat::Cull::None);
    device.SetRenderState(RenderState::Lighting, 0u);
    device.SetRenderState(RenderState::MultisampleAntialias, 0u);
    const std::array<ScreenVertex, 4> vertices = ColorQuadVertices(left, top, right, bottom, colour);
    device.SetFVF(kColorQuadFvf);
    device.DrawPrimitiveUP(plat::PrimitiveType::TriangleStrip, 2, vertices.data(), sizeof(ScreenVertex));
}
