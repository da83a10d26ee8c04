#include "benchmark/ColorFade.h"

#include "core/Saturate.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"

using namespace trivale;
using namespace trivale::type_a;
using plat::RenderState;

double DriverFrameSeconds() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    if (driver == nullptr || driver->GetFrameRateKeeper() == nullptr) return 0.0;
    return static_cast<double>(driver->GetFrameRateKeeper()->GetFrameMilliseconds()) * 0.001;
}

std::uint32_t FadeAlpha(float f) {
    if (f >= 1.0f) return 255;
    if (!(f > 0.0f)) return 0;
    return static_cast<std::uint32_t>(SaturateToInt(f * 255.0f + 0.5f));
}

void DrawFade(std::uint32_t colour, float f) {
    plat::IGraphicsDevice& device = CurrentDevice();
    const plat::PresentParameters* parameters = CurrentGraphics().GetPresentParameters();
    const int width = SaturateToInt(parameters->backBufferWidth), height = SaturateToInt(parameters->backBufferHeight);
    device.BeginScene();
    device.SetRenderState(RenderState::ZEnable, 0u);
    device.SetRenderState(RenderState::ZWriteEnable, 0u);
    device.SetRenderState(RenderState::FogEnable, 0u);
    device.SetRenderState(RenderState::AlphaTestEnable, 0u);
    device.SetRenderState(RenderState::AlphaBlendEnable, 1u);
    device.SetRenderState(RenderState::SrcBlend, plat::Blend::SrcAlpha);
    device.SetRenderState(RenderState::DestBlend, plat::Blend::InvSrcAlpha);
    device.SetTexture(0, nullptr);
    DrawColorQuad(-1, -1, width + 1, height + 1, FadeAlpha(f) << 24 | (colour & 0xFFFFFFu));
    device.EndScene();
}

namespace {

// A duration that is not a positive number counts as none at all.
double SaneDuration(double seconds) { return seconds > 0.0 ? seconds : 0.0; }

}  // namespace

CColorFadeIn::CColorFadeIn(double duration, std::uint32_t colour, std::uint16_t priority,
                           FrameSecondsSource frameSeconds)
    : CStandardScene(priority),
      colour_(colour & 0xFFFFFFu),
      duration_(SaneDuration(duration)),
      frameSeconds_(std::move(frameSeconds)) {}

bool CColorFadeIn::IsFinished() const { return duration_ <= 0.0 || elapsed_ > duration_; }

void CColorFadeIn::Frame(unsigned) {
    float f = 0.0f;
    if (!IsFinished()) {
        f = static_cast<float>(1.0 - elapsed_ / duration_);
        elapsed_ += frameSeconds_();
    } else {
        Kill();
    }
    DrawFade(colour_, f);
}

CColorFadeOut::CColorFadeOut(double duration, std::uint32_t colour, double hold, std::uint16_t priority,
                             FrameSecondsSource frameSeconds)
    : CStandardScene(priority),
      colour_(colour & 0xFFFFFFu),
      duration_(SaneDuration(duration)),
      hold_(SaneDuration(hold)),
      frameSeconds_(std::move(frameSeconds)) {}

void CColorFadeOut::SetSceneToClose(IScene* scene) { sceneToClose_ = scene; }

void CColorFadeOut::SetNextScene(std::shared_ptr<IScene> scene) { nextScene_ = std::move(scene); }

void CColorFadeOut::SetDuration(int seconds) { duration_ = SaneDuration(seconds); }

void CColorFadeOut::SetColor(std::uint32_t colour) { colour_ = colour & 0xFFFFFFu; }

bool CColorFadeOut::IsFinished() const { return elapsed_ > duration_ + hold_; }

void CColorFadeOut::Frame(unsigned) {
    float f = 1.0f;
    if (elapsed_ < duration_) {
        f = static_cast<float>(elapsed_ / duration_);
        elapsed_ += frameSeconds_();
    } else if (duration_ + hold_ > elapsed_) {
        elapsed_ += frameSeconds_();
    } else if (IsAlive()) {
        // Once only: a fade that the manager has not dropped yet must not add its follow-up twice.
        Kill();
        if (sceneToClose_ != nullptr) sceneToClose_->Kill();
        if (nextScene_) {
            CGameApplicationDriverDX9* driver = GetApplicationDriver();
            if (driver != nullptr && driver->GetSceneManager() != nullptr) {
                driver->GetSceneManager()->AddScene(nextScene_);
            }
            nextScene_.reset();
        }
    }
    DrawFade(colour_, f);
}
