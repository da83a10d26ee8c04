#include "render/SceneRenderStates.h"

#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

namespace {

// Linear filtering and wrapped addressing on the two stages the objects use, blending by source alpha,
// stage 0 modulating the texture by the lit colour, depth test and writes, lighting, alpha test
// passing alpha above 0, back faces culled.
void RendererDefaults() {
    plat::IGraphicsDevice& device = CurrentDevice();
    using RS = plat::RenderState;
    using SS = plat::SamplerState;
    for (std::uint32_t stage = 0; stage < 2; ++stage) {
        device.SetSamplerState(stage, SS::MagFilter, plat::TextureFilter::Linear);
        device.SetSamplerState(stage, SS::MinFilter, plat::TextureFilter::Linear);
        device.SetSamplerState(stage, SS::MipFilter, plat::TextureFilter::Linear);
        device.SetRenderState(RS::MultisampleAntialias, device.GetParameters().multiSampleType != 0);
        device.SetSamplerState(stage, SS::AddressU, plat::TextureAddress::Wrap);
        device.SetSamplerState(stage, SS::AddressV, plat::TextureAddress::Wrap);
    }
    device.SetRenderState(RS::SrcBlend, plat::Blend::SrcAlpha);
    device.SetRenderState(RS::DestBlend, plat::Blend::InvSrcAlpha);
    using St = plat::StageState;
    device.SetTextureStageState(0, St::ColourOp, plat::TextureOp::Modulate);
    device.SetTextureStageState(0, St::ColourArg1, plat::TextureArg::Texture);
    device.SetTextureStageState(0, St::ColourArg2, plat::TextureArg::Diffuse);
    device.SetTextureStageState(0, St::AlphaOp, plat::TextureOp::Modulate);
    device.SetTextureStageState(0, St::AlphaArg1, plat::TextureArg::Texture);
    device.SetTextureStageState(0, St::AlphaArg2, plat::TextureArg::Diffuse);
    device.SetRenderState(RS::DitherEnable, true);
    device.SetRenderState(RS::Ambient, 0u);
    device.SetRenderState(RS::ZEnable, true);
    device.SetRenderState(RS::ZWriteEnable, true);
    device.SetRenderState(RS::Lighting, true);
    device.SetRenderState(RS::ShadeMode, plat::ShadeMode::Gouraud);
    device.SetRenderState(RS::AlphaRef, 0u);
    device.SetRenderState(RS::AlphaFunc, plat::Compare::Greater);
    device.SetRenderState(RS::AlphaTestEnable, true);
    device.SetRenderState(RS::SpecularEnable, true);
    device.SetRenderState(RS::NormalizeNormals, true);
    device.SetRenderState(RS::CullMode, plat::Cull::CounterClockwise);
}

DefaultRenderStatesSetter g_setter = nullptr;

}  // namespace

void SetDefaultRenderStatesSetter(DefaultRenderStatesSetter setter) { g_setter = setter; }

void ApplyDefaultRenderStates() { (g_setter ? g_setter : RendererDefaults)(); }

}  // namespace type_a
}  // namespace trivale
