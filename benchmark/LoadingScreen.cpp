#include "benchmark/LoadingScreen.h"

#include "core/Saturate.h"
#include "core/Text.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"

using namespace trivale;
using namespace trivale::type_a;
using plat::RenderState;

namespace {

constexpr float kThirtieth = 1.0f / 30.0f;
constexpr float kTwelfth = 1.0f / 12.0f;
constexpr std::uint32_t kAlphaBlend = 0x10;

}  // namespace

LoadingProgress ComputeLoadingProgress(int loaded, int queued) {
    LoadingProgress progress{};
    progress.percent = queued > 0 ? static_cast<int>(std::int64_t{loaded} * 100 / queued) : 100;
    progress.percent = progress.percent < 0 ? 0 : progress.percent > 100 ? 100 : progress.percent;
    const int percent = progress.percent;
    progress.opacity = percent < 30   ? static_cast<float>(percent) * kThirtieth
                       : percent < 70 ? 1.0f
                                      : static_cast<float>(100 - percent) * kThirtieth;
    progress.colour = WhiteWithOpacity(progress.opacity);
    const float p = static_cast<float>(percent) * 0.01f;
    for (int i = 0; i < 12; ++i) {
        const float d = p - static_cast<float>(i) * kTwelfth;
        float fill = 12.0f * d;
        fill = fill < 0.0f ? 0.0f : fill > 1.0f ? 1.0f : fill;
        const float brightness = fill * 0.8f + 0.2f;
        progress.marks[i] = WhiteWithOpacity(brightness * progress.opacity * 0.8);
    }
    return progress;
}

CLoadingScreen::CLoadingScreen(CProgressiveTextureCache* cache, std::unique_ptr<CTexture> picture)
    : cache_(cache), picture_(std::move(picture)) {}

bool CLoadingScreen::Frame(const ShowCanvas& canvas, ParticleLayers& layers) {
    bool loading = false;
    if (!cache_->IsComplete()) {
        const int loaded = cache_->LoadNext();
        Draw(canvas, ComputeLoadingProgress(loaded, cache_->GetQueuedCount()));
        loading = true;
    }
    if (!finished_ && cache_->IsComplete()) Finish(canvas, layers);
    return loading;
}

void CLoadingScreen::Draw(const ShowCanvas& canvas, const LoadingProgress& progress) {
    plat::IGraphicsDevice& device = CurrentDevice();
    const int y = static_cast<int>(canvas.viewport->GetY());
    const int w = static_cast<int>(canvas.viewport->GetWidth());
    const int h = static_cast<int>(canvas.viewport->GetHeight());
    CSpriteFont& font = *canvas.large;
    device.BeginScene();
    if (picture_) {
        picture_->Apply();
    } else {
        device.SetTexture(0, nullptr);
    }
    SetDefaultRenderStates();
    device.SetRenderState(RenderState::ZEnable, 0u);
    device.SetRenderState(RenderState::ZWriteEnable, 0u);
    device.SetRenderState(RenderState::AlphaBlendEnable, 1u);
    device.SetRenderState(RenderState::AlphaTestEnable, 0u);
    device.SetRenderState(RenderState::SpecularEnable, 0u);
    device.SetRenderState(RenderState::FogEnable, 0u);
    DrawColorQuad(0, y, w, y + h, progress.colour);

    canvas.sprite->Begin(kAlphaBlend);
    const int ch = font.GetCharHeight();
    const int cw = font.GetCharWidth();
    font.DrawTextScaled(FormatString("LOADING %3d%%", progress.percent), w / 2, y + h / 2 - ch, 2.0f, 2.0f, 0,
                        progress.colour, static_cast<int>(TextAlign::Centre));
    for (int i = 0; i < 12; ++i) {
        font.DrawTextScaled("-", w / 2 + (2 * i - 12) * cw, y + h / 2 + ch, 2.0f, 2.0f, 0, progress.marks[i],
                            static_cast<int>(TextAlign::Left));
    }
    canvas.sprite->End();
    device.EndScene();
}

void CLoadingScreen::Finish(const ShowCanvas& canvas, ParticleLayers& layers) {
    cache_->SetProgressive(false);
    picture_.reset();
    // A fresh generator: the field is the same on every run, whenever loading ends.
    CParticleRandom random;
    layers.cloud = std::make_unique<CCloudParticleLayer>(cache_, canvas.sprite, random);
    layers.snow = std::make_unique<CSnowParticleLayer>(cache_, canvas.sprite, random);
    finished_ = true;
}
