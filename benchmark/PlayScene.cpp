#include "benchmark/PlayScene.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "benchmark/Application.h"
#include "benchmark/ResourceScene.h"
#include "benchmark/SceneFunctions.h"
#include "core/Exception.h"
#include "core/Saturate.h"
#include "gfxkit/Math3D.h"
#include "platform/Window.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"
#include "script/StandardLibrary.h"

using namespace trivale;
using namespace trivale::type_a;
using plat::RenderState;
using plat::TransformKind;

trivale::IScene* NewPlayScene() { return new CPlayScene; }

CPlayScene::CPlayScene(FrameSecondsSource frameSeconds)
    : CStandardScene(kPriority),
      functions_(std::make_shared<simple_script::CCustomFunctionSet>()),
      scenes_(&textures_),
      frameSeconds_(std::move(frameSeconds)) {
    scene_func::RegisterSceneFunctions(*functions_);
}

CPlayScene::~CPlayScene() {}

void CPlayScene::Initialize() {
    IDataLoader& loader = CurrentDataLoader();
    auto picture = std::make_unique<CTexture>();
    picture->Load(*loader.OpenShared("loading.dds"), false, plat::Format::Unknown, -1);
    loading_ = std::make_unique<CLoadingScreen>(&textures_, std::move(picture));

    {
        std::shared_ptr<IStream> script = loader.OpenShared("main.tvs");
        try {
            source_.Load(*script);
        } catch (EException& e) {
            NameFileInReport(e, *script, "main.tvs");
            throw;
        }
    }
    source_.SetName("main.tvs");
    engine_.SetListener(CResourceScene::Instance());
    engine_.SetUserObject(this);
    simple_script::standard_library::RegisterStandardLibrary(engine_);
    engine_.AddCustomFunctionSet(functions_);
    engine_.SetSource(&source_);
    engine_.Reset();
    engine_.Interrupt("OnInitialize");
    engine_.Goto("main");
}

void CPlayScene::Frame(unsigned) {
    if (!loading_) throw EInvalidOperation(this, "CPlayScene::Frame(): 初期化されていません.");
    CResourceScene& overlay = *CResourceScene::Instance();
    if (overlay.GetController()->IsPushed("cancel")) plat::PostQuit(0);
    if (!textures_.IsComplete()) {
        DrawLoadingScreen();
        return;
    }
    if (!loading_->IsFinished()) DrawLoadingScreen();  // nothing was queued: loading ends at once

    const double seconds = frameSeconds_();
    RunScriptStep();
    plat::IGraphicsDevice& device = CurrentDevice();
    device.BeginScene();
    if (current_ != nullptr) DrawWorld(overlay);
    DrawTextLines(seconds * 1000.0);
    device.EndScene();
    sceneTime_ += std::min(seconds, kLongestStepSeconds);
    for (const std::shared_ptr<IScene>& fade : std::exchange(startedFades_, {})) {
        if (fade->IsAlive()) fade->Frame(1);
    }
}

void CPlayScene::RunScriptStep() {
    startedFades_.clear();
    struct Stepping {
        bool& flag;
        explicit Stepping(bool& f) : flag(f) { flag = true; }
        ~Stepping() { flag = false; }
    } stepping(stepping_);
    engine_.Run();
}

void CPlayScene::StartFade(std::shared_ptr<IScene> fade) {
    if (stepping_ && fade) startedFades_.push_back(std::move(fade));
}

void CPlayScene::DrawWorld(CResourceScene& overlay) {
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetTransform(TransformKind::World, plat::MatrixIdentity());
    const float aspect = overlay.GetViewport()->GetAspect();
    CCamera* camera = current_->UpdateWithCamera(view_.camera, sceneTime_, view_.zNear, view_.zFar, aspect);
    // A scene without a camera (a sky scene set as the scene, say) has nothing to look through.
    if (camera == nullptr) return;
    camera->ApplyViewTransform();
    const plat::Vector3 eye = camera->GetPosition();
    if (sky_ != nullptr) {
        device.SetRenderState(RenderState::SpecularEnable, 0u);
        device.SetRenderState(RenderState::ZEnable, 1u);
        device.SetRenderState(RenderState::ZWriteEnable, 1u);
        device.SetTransform(TransformKind::World, plat::MatrixTranslation(eye.x, eye.y, eye.z));
        sky_->Render(sceneTime_, nullptr);
        device.SetRenderState(RenderState::ZEnable, 1u);
        device.SetRenderState(RenderState::ZWriteEnable, 1u);
    }
    device.SetTransform(TransformKind::World, plat::MatrixIdentity());
    SetDefaultRenderStates();
    if (CDirectionalLight* light = current_->GetDirectionalLight(sceneTime_)) {
        light->Apply(0);
    } else {
        device.LightEnable(0, false);  // no light of an earlier scene stays on
    }
    current_->Render(sceneTime_, camera);
    device.SetTransform(TransformKind::World, plat::MatrixIdentity());
    if (view_.showCloud && layers_.cloud) layers_.cloud->Draw(eye, kCloudHeight);
    if (view_.showSnow && layers_.snow) layers_.snow->Draw(eye, sceneTime_ * kSnowSpeed, view_.snowScale, Thinning());
}

SnowThinning CPlayScene::Thinning() const {
    // A near plane kept inside the first cell of flakes only hides those that pass next to the eye; set
    // further out it thins the snow. The lattice's layers lie nearly along the plane, so the flakes go
    // by their own ranks over a band beyond it rather than at the plane itself, and never a layer at once.
    SnowThinning thinning;
    const float cell = view_.snowScale * kSnowCell, past = view_.zNear - cell;
    if (!(past > 0.0f && cell > 0.0f)) return thinning;
    const float cells = past / cell, easing = std::max(0.0f, 1.0f - cells / kSnowBeyondEaseCells);
    thinning.nearDistance = view_.zNear;
    thinning.band = kSnowBandSpread * past * std::exp2(cells * kSnowBandDoublingsPerCell);
    thinning.cell = cell;
    thinning.rim = kSnowRimCells;
    thinning.beyond = kSnowBeyondCells * easing * easing;
    thinning.reach = kSnowReachCells + thinning.beyond;
    return thinning;
}

void CPlayScene::DrawLoadingScreen() { loading_->Frame(CanvasOf(*CResourceScene::Instance()), layers_); }

void CPlayScene::DrawTextLines(double elapsedMs) {
    text_.DrawLines(CanvasOf(*CResourceScene::Instance()));
    DrawParticleCount();
    text_.Advance(elapsedMs);
}

void CPlayScene::DrawParticleCount() {
    ::DrawParticleCount(CanvasOf(*CResourceScene::Instance()), ShownParticleCount());
}

int CPlayScene::ShownParticleCount() const {
    return (view_.showCloud ? CParticleLayer::kParticleCount : 0) +
           (view_.showSnow ? CParticleLayer::kParticleCount : 0);
}

void CPlayScene::SetScene(const std::string& name) {
    current_ = scenes_.GetScene(name);
    CResourceScene::Instance()->SetClearColor(current_->GetBackdropColor());
    sceneTime_ = 0.0;
}

int CPlayScene::GetSceneFrame() {
    if (current_ == nullptr) return 0;
    return SaturateToInt(current_->GetFramesPerSecond() * sceneTime_ + 0.5);
}

void CPlayScene::SetSkyScene(const std::string& name) { sky_ = scenes_.GetScene(name); }

void CPlayScene::SetCameraClip(float zNear, float zFar) {
    view_.zNear = zNear;
    view_.zFar = zFar;
}

void CPlayScene::PrecacheScenes(const std::string& directory) { scenes_.PrecacheDirectory(directory, true); }
