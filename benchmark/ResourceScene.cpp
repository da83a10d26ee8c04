#include "benchmark/ResourceScene.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "benchmark/InputMap.h"
#include "core/Saturate.h"
#include "core/Text.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/FrameCounters.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"

using namespace trivale;
using namespace trivale::type_a;

namespace {

CResourceScene* instance = nullptr;

const std::uint32_t kTextColour = 0x80FFFFFF;
const std::uint32_t kSubtitleColour = 0x50FFFFFF;
const std::uint32_t kDebugColour = 0xFFFFFFFF;
const std::uint32_t kWatermarkColour = 0xDDFFFFFF;
const char kTitle[] = "VELLACOR 06";
const char kSubtitle[] = "REAL-TIME 3D GRAPHICS BENCHMARK";
const int kLeft = static_cast<int>(TextAlign::Left), kRight = static_cast<int>(TextAlign::Right);

CFrameRateKeeper* Keeper() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    return driver != nullptr ? driver->GetFrameRateKeeper() : nullptr;
}

double FramesPerSecond() {
    CFrameRateKeeper* keeper = Keeper();
    return keeper != nullptr ? keeper->GetFramesPerSecond() : 0.0;
}

// The class name without namespaces, as a person reads it.
std::string ClassName(const IScene& scene) {
    const char* mangled = typeid(scene).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
    std::free(demangled);
    const std::size_t colons = name.rfind("::");
    return colons == std::string::npos ? name : name.substr(colons + 2);
}

}  // namespace

CResourceScene* CResourceScene::Instance() {
    if (instance == nullptr) instance = new CResourceScene();
    return instance;
}

CResourceScene::CResourceScene() : CStandardScene(kPriority) {}

CResourceScene::~CResourceScene() {
    if (instance == this) instance = nullptr;
}

void CResourceScene::SetWideScreen(bool wide) {
    wideScreen_ = wide;
    LayoutViewports();
}

void CResourceScene::LayoutViewports() {
    const plat::PresentParameters* parameters = CurrentGraphics().GetPresentParameters();
    const ScreenLayout layout = ComputeScreenLayout(SaturateToInt(parameters->backBufferWidth),
                                                    SaturateToInt(parameters->backBufferHeight), wideScreen_);
    auto set = [](CViewport& viewport, const plat::Viewport& v) {
        viewport.Set(v.x, v.y, v.width, v.height, v.minZ, v.maxZ);
    };
    set(full_, layout.full);
    set(topBar_, layout.topBar);
    set(bottomBar_, layout.bottomBar);
    set(main_, layout.main);
    main_.Apply();
}

void CResourceScene::ClearViewports() {
    plat::IGraphicsDevice& device = CurrentDevice();
    // A bar of no height (a screen as wide as the picture or wider) has nothing to clear.
    for (CViewport* bar : {&topBar_, &bottomBar_}) {
        if (bar->GetHeight() == 0 || bar->GetWidth() == 0) continue;
        bar->Apply();
        device.Clear(0, nullptr, plat::kClearTarget, 0x00000000, 1.0f, 0);
    }
    main_.Apply();
    device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, clearColour_, 1.0f, 0);
}

void CResourceScene::LoadTexture(CTexture& texture, const std::string& name) {
    std::shared_ptr<IStream> stream = CurrentDataLoader().OpenShared(name);
    texture.Load(*stream, false, plat::Format::Unknown, -1);
}

void CResourceScene::LoadFont(int index, const OverlayFontLayout& layout) {
    LoadTexture(fontTextures_[index], layout.file);
    CSpriteFont& font = fonts_[index];
    font.Initialize(&sprite_, &fontTextures_[index], layout.cellWidth, layout.cellHeight, layout.first, layout.last);
    if (layout.hasSourceRect) font.SetSourceRect(layout.sourceRect);
    if (layout.charWidth > 0) font.SetCharWidth(layout.charWidth);
    if (layout.charHeight > 0) font.SetCharHeight(layout.charHeight);
}

void CResourceScene::Initialize() {
    LayoutViewports();
    ClearViewports();
    CurrentGraphics().Present();

    LoadTexture(watermarkTexture_, "clip_watermark.dds");
    watermark_.SetTexture(&sprite_, &watermarkTexture_);
    watermark_.SetSize(376, 128);
    watermark_.SetCenter(375.0f, 0.0f);

    LoadFont(2, kDebugFontLayout);
    const OverlayFontChoice& choice =
        ChooseOverlayFonts(SaturateToInt(CurrentGraphics().GetPresentParameters()->backBufferWidth));
    LoadFont(1, choice.small);
    LoadFont(0, choice.large);

    SetupInputMap();
}

void CResourceScene::SetupInputMap() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    if (driver != nullptr && driver->GetInput() != nullptr) ::SetupInputMap(*driver->GetInput(), controller_);
}

void CResourceScene::DrawWatermark(std::uint32_t width, float top, float height) {
    sprite_.Begin(0x10);
    SetSamplerFilter(0);
    const float s = height * 0.001f;
    watermark_.DrawScaled(0, static_cast<float>(width) - 12.0f * s, top + 6.0f * s, 0.0f, s, s, kWatermarkColour);
    sprite_.End();
}

void CResourceScene::DrawTexts(int width, int top, int bottom, int) {
    CSpriteFont& large = fonts_[0];
    CSpriteFont& small = fonts_[1];
    const int w0 = large.GetCharWidth(), h0 = large.GetCharHeight();
    large.DrawText(kTitle, w0, top + h0, 0, kTextColour, kLeft);
    small.DrawText(kSubtitle, w0, top + h0 * 22 / 10, 0, kSubtitleColour, kLeft);

    if (!score_.IsCounting()) return;
    const int middle = width / 2;
    const int fps = SaturateToInt(FramesPerSecond());
    large.DrawTextScaled(FormatString("%d  ", fps), middle, bottom - 3 * h0, 2.0f, 2.0f, 0, kTextColour, kRight);
    large.DrawText("FPS          ", middle, bottom - 24 * h0 / 10, 0, kTextColour, kRight);
    score_.Advance();
    large.DrawTextScaled(FormatString("   %d", SaturateToInt(score_.GetScore())), middle, bottom - 3 * h0, 2.0f, 2.0f,
                         0, kTextColour, kLeft);
    large.DrawText("SCORE", middle, bottom - 24 * h0 / 10, 0, kTextColour, kLeft);
    if (score_.ShowsPrevious()) {
        const int right = width - 2 * w0;
        small.DrawText("PREVIOUS SCORE", right, bottom - 30 * h0 / 10, 0, kTextColour, kRight);
        small.DrawTextScaled(FormatString("%d", SaturateToInt(score_.GetPrevious())), right, bottom - 23 * h0 / 10,
                             2.0f, 2.0f, 0, kTextColour, kRight);
    }
}

void CResourceScene::DrawDebugPages(int width, int top, int bottom, int height) {
    CSpriteFont& debug = fonts_[2];
    const int w2 = debug.GetCharWidth(), h2 = debug.GetCharHeight();
    const double fps = FramesPerSecond();
    CFrameRateKeeper* keeper = Keeper();
    const double now = keeper != nullptr ? keeper->GetElapsedMilliseconds() : 0.0;
    if (debugPage_ == 1) {
        debug.DrawText(FormatString("%6.2f FPS ", fps), width, bottom - 2 * h2, 0, kDebugColour, kRight);
    } else if (debugPage_ >= 2) {
        debug.DrawText(FormatString("<DEBUG %d>  [VRAM %3dMB FREE] [%5u/%5u objs] [%6.3f Mtri/sec] [%6u tri/frame]  "
                                    "%6.2f FPS ",
                                    debugPage_, FreeVideoMemoryMiB(now), DrawnItemCount, TestedItemCount,
                                    triangles_.GetRate() * 0.000001, DrawnTriangleCount, fps),
                       width, bottom - 2 * h2, 0, kDebugColour, kRight);
    }

    triangles_.Add(now, DrawnTriangleCount);
    DrawnTriangleCount = 0;
    DrawnItemCount = 0;
    TestedItemCount = 0;

    const int lh = 3 * h2 / 2;
    if (debugPage_ == 3) {
        debug.DrawText("[ Scenes ]", width - 38 * w2, top + 6 * lh, 1, kDebugColour, kLeft);
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        if (driver != nullptr && driver->GetSceneManager() != nullptr) {
            int y = top + 7 * lh;
            for (const std::shared_ptr<IScene>& scene : driver->GetSceneManager()->GetScenes()) {
                debug.DrawText(FormatString("%04X: %-32s", scene->GetPriority(), ClassName(*scene).c_str()), width, y,
                               0, kDebugColour, kRight);
                y += lh;
            }
        }
    } else if (debugPage_ == 4 && lh > 0) {
        // Unsigned, so a viewport too low for the console's margin drops nothing.
        const unsigned limit = static_cast<unsigned>(height / lh - 14);
        while (console_.size() > limit) console_.pop_front();
        debug.DrawText("<<< SCRIPT CONSOLE >>>", 32, top + 5 * lh, 1, kDebugColour, kLeft);
        int y = top + 7 * lh;
        for (const std::string& line : console_) {
            debug.DrawText(line, 32, y, 0, kDebugColour, kLeft);
            y += lh;
        }
    }
}

void CResourceScene::Frame(unsigned) {
    const int width = SaturateToInt(CurrentGraphics().GetPresentParameters()->backBufferWidth);
    const int top = static_cast<int>(main_.GetY()), bottom = static_cast<int>(main_.GetBottom());
    const int height = static_cast<int>(main_.GetHeight());
    plat::IGraphicsDevice& device = CurrentDevice();
    device.BeginScene();
    DrawWatermark(static_cast<std::uint32_t>(width), static_cast<float>(top), static_cast<float>(height));
    sprite_.Begin(0x10);
    DrawTexts(width, top, bottom, height);
    DrawDebugPages(width, top, bottom, height);
    sprite_.End();
    device.EndScene();
    CurrentGraphics().Present();

    ClearViewports();
    controller_.Update();
    if (controller_.IsPushed("debug")) debugPage_ = (debugPage_ + 1) % kDebugPageCount;
}

int CResourceScene::FreeVideoMemoryMiB(double now) {
    // Without a keeper the clock stands still, and the first answer stays.
    if (!videoMemoryAsked_ || now - videoMemoryAskedAt_ >= 1000.0 || now < videoMemoryAskedAt_) {
        freeVideoMemoryMiB_ = static_cast<int>(CurrentDevice().GetAvailableTextureMem() >> 20);
        videoMemoryAskedAt_ = now;
        videoMemoryAsked_ = true;
    }
    return freeVideoMemoryMiB_;
}

void CResourceScene::AppendToConsole(const std::string& text) {
    console_.push_back(text);
    while (console_.size() > kConsoleLimit) console_.pop_front();
}

void CResourceScene::OnError(const std::string& text) {
    debugPage_ = 4;
    AppendToConsole(text);
}

void CResourceScene::OnWarning(const std::string& text) { OnError(text); }

void CResourceScene::OnPrint(const std::string& text) { AppendToConsole(text); }
