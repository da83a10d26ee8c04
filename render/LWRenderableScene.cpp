#include "render/LWRenderableScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "render/Colour.h"
#include "render/FrameCounters.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"

namespace trivale {
namespace type_a {

namespace {

const std::string kLoadError = "LWS のロードに失敗しました. ";

// The name of the scene being loaded, for the messages of the stream's load, while the scope lasts.
struct NameScope {
    NameScope(std::string& target, const std::string& name) : slot(target) { slot = name; }
    ~NameScope() { slot.clear(); }
    std::string& slot;
};

using RS = plat::RenderState;

std::uint32_t ColourFromChannels(const float rgb[3]) {
    return 0xFF000000u | ColourByte(rgb[0]) << 16 | ColourByte(rgb[1]) << 8 | ColourByte(rgb[2]);
}

// The ".t3o" file of an object file's layer: the file name without its directory, "_%03d.t3o" in
// place of its extension, from the zero-based layer.
std::string T3OName(const LwSceneObject& object) {
    const std::size_t length = strnlen(object.FileName, sizeof object.FileName);
    const long long layer = static_cast<long long>(object.Layer) - 1;
    return ChangeFileExt(ExtractFileName(std::string(object.FileName, length)), FormatString("_%03lld.t3o", layer));
}

// Why the library refused a scene text: its error code with the code's text, and the version when the
// text was a scene of one it reads.
std::string RefusalReason(const LwScene& scene) {
    const std::string error =
        FormatString("LightWave scene error %d (%s)", static_cast<int>(scene.ErrorCode), LwErrorText(scene.ErrorCode));
    if (scene.Version == 1 || scene.Version == 3)
        return error + FormatString(" in a version %d scene", static_cast<int>(scene.Version));
    return error + ": not a LightWave scene of version 1 or 3";
}

bool SameMatrix(const plat::Matrix& a, const plat::Matrix& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

plat::Vector3 Origin(const plat::Matrix& m) { return plat::Vec3TransformCoord(plat::Vector3(), m); }

}  // namespace

CLWRenderableScene::CLWRenderableScene() {}

CLWRenderableScene::~CLWRenderableScene() { Unload(); }

// ---- loading ---------------------------------------------------------------------------------------

void CLWRenderableScene::LoadFromFile(const std::string& path, CTextureCache* textureCache,
                                      CLWRenderableObjectCache* objectCache) {
    CFileStream stream(path, plat::FileMode::ReadExisting, FileShare::Read);
    const NameScope named(loadingName_, path);
    Load(&stream, ExtractFileDir(path), textureCache, nullptr, objectCache);
}

void CLWRenderableScene::Load(const std::string& name, CTextureCache* textureCache,
                              CLWRenderableObjectCache* objectCache) {
    Load(&CurrentDataLoader(), name, textureCache, objectCache);
}

void CLWRenderableScene::Load(IDataLoader* loader, const std::string& name, CTextureCache* textureCache,
                              CLWRenderableObjectCache* objectCache) {
    if (loader == nullptr) throw EInvalidParameter(this, "data loader object が NULL です.");
    std::unique_ptr<IStream> stream = loader->Open(name);
    const std::string file = stream->GetFileName();
    const NameScope named(loadingName_, file.empty() ? name : file);
    Load(stream.get(), ExtractFileDir(name), textureCache, loader, objectCache);
}

void CLWRenderableScene::Load(IStream* stream, const std::string& directory, CTextureCache* textureCache,
                              IDataLoader* loader, CLWRenderableObjectCache* objectCache) {
    Unload();
    if (stream == nullptr) throw EInvalidParameter(this, "stream object が NULL です.");
    const std::uint32_t size = stream->GetSize(), at = stream->Tell();
    std::vector<char> text(size > at ? size - at : 0);
    text.resize(stream->Read(text.data(), static_cast<std::uint32_t>(text.size())));

    scene_.reset(
        LoadLwScene(text.data(), static_cast<std::uint32_t>(text.size()), LW_SCENE_MOTION_TO_CHANNELS, nullptr));
    if (!scene_) throw EFileOpenError(this, kLoadError + loadingName_);
    // A text the library refused has no items and its settings are only defaults: nothing to play. The
    // message names the scene; the line before it gives the library's reason.
    if (scene_->ErrorCode != 0) {
        LogError("%s: %s", loadingName_.c_str(), RefusalReason(*scene_).c_str());
        scene_.reset();
        throw EInvalidFileFormat(this, kLoadError + loadingName_);
    }
    LwScene* scene = scene_.get();
    const LwSceneIllumination* illumination = scene->Op.GetIllumination(scene);
    const LwSceneBackdrop* backdrop = scene->Op.GetBackdrop(scene);
    if (illumination == nullptr || backdrop == nullptr) {
        scene_.reset();
        LogError("%s: the scene has no illumination or backdrop", loadingName_.c_str());
        throw EInvalidFileFormat(this, kLoadError + loadingName_);
    }
    firstFrame_ = scene->FirstFrame;
    lastFrame_ = scene->LastFrame;
    const auto intensity = static_cast<float>(illumination->AmbientIntensity);
    ambientColor_ =
        plat::ColourValue{illumination->AmbientColor[0] * intensity, illumination->AmbientColor[1] * intensity,
                          illumination->AmbientColor[2] * intensity, 1.0f};
    backdropColor_ = ColourFromChannels(backdrop->BackdropColor);

    if (objectCache == nullptr) {
        ownObjectCache_.reset(new CLWRenderableObjectCache());
        objectCache = ownObjectCache_.get();
    }
    objectCache_ = objectCache;
    LoadObjectItems(directory, textureCache, loader);
    LoadCameras();
    LoadLights();
}

void CLWRenderableScene::LoadObjectItems(const std::string& directory, CTextureCache* textureCache,
                                         IDataLoader* loader) {
    LwScene* scene = scene_.get();
    for (LwSceneItem* item = scene->Op.GetFirstItem(scene, LW_ITEM_OBJECT, nullptr); item != nullptr;
         item = scene->Op.GetNextItem(scene, item)) {
        LwSceneObject* record = scene->Op.GetObjectRecord(scene, item);
        if (record == nullptr) continue;
        std::shared_ptr<CSceneItem> entry = std::make_shared<CSceneItem>();
        entry->item_ = item;
        entry->name_ = std::string(item->Name, strnlen(item->Name, sizeof item->Name));
        entry->fogged_ = record->UnaffectedByFog == 0;
        if (record->Kind == 0) {
            const std::string name = T3OName(*record);
            try {
                if (loader != nullptr) {
                    entry->object_ = objectCache_->GetRenderableObject(loader, directory + name, textureCache);
                } else {
                    CFileSystemDataLoader local(directory.empty() ? std::string("./") : directory);
                    entry->object_ = objectCache_->GetRenderableObject(&local, name, textureCache);
                }
            } catch (...) {
                // The object's own report names its file; this line names the scene that asked for it.
                LogError("%s: object %s (layer %lld) not loaded from %s", loadingName_.c_str(),
                         std::string(record->FileName, strnlen(record->FileName, sizeof record->FileName)).c_str(),
                         static_cast<long long>(record->Layer), (directory + name).c_str());
                throw;
            }
        }
        items_.emplace(entry->name_, entry);  // after any equal name
    }
}

void CLWRenderableScene::LoadCameras() {
    LwScene* scene = scene_.get();
    const plat::PresentParameters& p = CurrentDevice().GetParameters();
    const float aspect = static_cast<float>(p.backBufferWidth) / static_cast<float>(p.backBufferHeight);
    for (LwSceneItem* item = scene->Op.GetFirstItem(scene, LW_ITEM_CAMERA, nullptr); item != nullptr;
         item = scene->Op.GetNextItem(scene, item)) {
        std::shared_ptr<CSceneCamera> camera = std::make_shared<CSceneCamera>();
        camera->item_ = item;
        camera->record_ = item->Camera;
        camera->name_ = std::string(item->Name, strnlen(item->Name, sizeof item->Name));
        if (camera->record_ != nullptr) {
            camera->camera_.SetPerspective(static_cast<float>(camera->record_->FovAngles[1]), aspect, 1.0f, 1000.0f);
        }
        cameras_[camera->name_] = camera;  // a later camera of the same name replaces the earlier
    }
}

void CLWRenderableScene::LoadLights() {
    LwScene* scene = scene_.get();
    LwSceneItem* first = scene->Op.GetFirstItem(scene, LW_ITEM_LIGHT, nullptr);
    if (first != nullptr) {
        light_.item_ = first;
        light_.record_ = first->Light;
        light_.name_ = std::string(first->Name, strnlen(first->Name, sizeof first->Name));
    }
    for (LwSceneItem* item = first; item != nullptr; item = scene->Op.GetNextItem(scene, item)) {
        LwSceneLight* record = scene->Op.GetLightRecord(scene, item);
        if (record == nullptr) continue;
        std::shared_ptr<CSceneItem> entry = std::make_shared<CSceneItem>();
        entry->item_ = item;
        entry->name_ = std::string(item->Name, strnlen(item->Name, sizeof item->Name));
        entry->lightRange_ = static_cast<float>(record->LightRange);
        items_.emplace(entry->name_, entry);
    }
}

void CLWRenderableScene::Unload() {
    items_.clear();
    cameras_.clear();
    light_.item_ = nullptr;
    light_.record_ = nullptr;
    scene_.reset();
    objectCache_ = nullptr;
    ownObjectCache_.reset();
    motionValid_ = false;
    placementValid_ = false;
    moving_.clear();
    drawables_.clear();
    listsValid_ = false;
}

// ---- time and motion -------------------------------------------------------------------------------

double CLWRenderableScene::WrapTime(double t) const {
    if (!scene_ || !(scene_->FramesPerSecond > 0.0)) return t;
    const double f = 1.0 / scene_->FramesPerSecond;
    const double length = (static_cast<double>(lastFrame_) - firstFrame_) * f;
    // Only an empty range stays unwrapped; a reversed one wraps by its negative length.
    if (length == 0.0 || !std::isfinite(length)) return t;
    return t - std::trunc(t / length) * length + firstFrame_ * f;
}

plat::Matrix CLWRenderableScene::ItemMotion(LwSceneItem* item, double t, bool withPivot, const Moving* moving) {
    LwScene* scene = scene_.get();
    // Channels an item lacks leave these as they are: no motion.
    double position[3] = {0, 0, 0}, rotation[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
    double pivot[3] = {0, 0, 0}, pivotRotation[3] = {0, 0, 0};
    if (moving != nullptr && moving->direct) {
        LwEnvelope* const* channels = moving->channels;
        double* const out[kMotionChannels] = {position,     position + 1, position + 2, rotation, rotation + 1,
                                              rotation + 2, scale,        scale + 1,    scale + 2};
        // Scale only with its X channel, as below.
        const int count = channels[LW_CHANNEL_SCALE_X] != nullptr ? kMotionChannels : LW_CHANNEL_SCALE_X;
        for (int c = 0; c < count; ++c) {
            if (channels[c] != nullptr) scene->Op.EvaluateEnvelope(scene, channels[c], t, out[c]);
        }
    } else {
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_POSITION, t, position);
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_ROTATION, t, rotation);
        if (scene->Op.FindChannel(scene, item, LW_CHANNEL_SCALE_X) != nullptr) {
            scene->Op.EvaluateMotion(scene, item, LW_MOTION_SCALE, t, scale);
        }
    }
    if (withPivot && moving != nullptr) {
        std::copy(std::begin(moving->pivot), std::end(moving->pivot), pivot);
        std::copy(std::begin(moving->pivotRotation), std::end(moving->pivotRotation), pivotRotation);
    } else if (withPivot) {
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_PIVOT_POSITION, t, pivot);
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_PIVOT_ROTATION, t, pivotRotation);
    }
    // translation(-pivot) x scaling x rotation x pivot rotation x translation(position), composed
    // directly: every item is placed every frame, and most have no scale, pivot or pivot rotation.
    plat::Matrix m = plat::MatrixRotationYawPitchRoll(float(rotation[0]), float(rotation[1]), float(rotation[2]));
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) m.m[row][column] *= float(scale[row]);
    }
    if (pivotRotation[0] != 0 || pivotRotation[1] != 0 || pivotRotation[2] != 0) {
        m = plat::MatrixMultiply(m, plat::MatrixRotationYawPitchRoll(float(pivotRotation[0]), float(pivotRotation[1]),
                                                                     float(pivotRotation[2])));
    }
    const float v[3] = {-float(pivot[0]), -float(pivot[1]), -float(pivot[2])};
    for (int column = 0; column < 3; ++column) {
        m.m[3][column] =
            v[0] * m.m[0][column] + v[1] * m.m[1][column] + v[2] * m.m[2][column] + float(position[column]);
    }
    return m;
}

void CLWRenderableScene::MultiplyParents(plat::Matrix& m, LwSceneItem* item, double t) {
    LwScene* scene = scene_.get();
    // A chain longer than the scene has items loops: it stops there.
    for (std::int64_t left = scene->NumItems; left > 0; --left) {
        item = scene->Op.GetParentItem(scene, item);
        if (item == nullptr) return;
        m = plat::MatrixMultiply(m, ItemMotion(item, t, true));
    }
}

void CLWRenderableScene::ComputeWorldMatrix(plat::Matrix& m, LwSceneItem* item, double t) {
    m = plat::MatrixMultiply(m, ItemMotion(item, t, true));
    MultiplyParents(m, item, t);
}

void CLWRenderableScene::ComputeWorldMatrixWithoutPivot(plat::Matrix& m, LwSceneItem* item, double t) {
    m = plat::MatrixMultiply(m, ItemMotion(item, t, false));
    MultiplyParents(m, item, t);
}

void CLWRenderableScene::SetTime(double seconds) {
    if (scene_) SetWrappedTime(WrapTime(seconds));
}

void CLWRenderableScene::SetWrappedTime(double t) {
    if (motionValid_ && t == motionTime_) return;
    motionTime_ = t;
    motionValid_ = true;
    placementValid_ = false;
    ++motionEvaluations_;
    MakeLists();
    // Everything read here lies in the list: the item's own record is only written.
    for (const Moving& moving : moving_) {
        plat::Matrix& world = moving.item->world_;
        world = ItemMotion(moving.record, t, true, &moving);  // identity x the motion
        if (moving.parented) MultiplyParents(world, moving.record, t);
    }
}

void CLWRenderableScene::MakeLists() {
    if (listsValid_) return;
    moving_.clear();
    drawables_.clear();
    LwScene* scene = scene_.get();
    for (auto& entry : items_) {
        CSceneItem& item = *entry.second;
        // Version 3 motion is the channels' alone; version 1 keyframes are read by the scene library.
        Moving moving{&item, item.item_, scene->Version == 3, false, {0, 0, 0}, {0, 0, 0}, {}};
        moving.parented = scene->Op.GetParentItem(scene, item.item_) != nullptr;
        // Pivots have no channels: what the library gives at any time.
        scene->Op.EvaluateMotion(scene, item.item_, LW_MOTION_PIVOT_POSITION, 0.0, moving.pivot);
        scene->Op.EvaluateMotion(scene, item.item_, LW_MOTION_PIVOT_ROTATION, 0.0, moving.pivotRotation);
        for (int c = 0; c < kMotionChannels && moving.direct; ++c) {
            moving.channels[c] = scene->Op.FindChannel(scene, item.item_, c);
        }
        moving_.push_back(moving);
        if (item.object_ == nullptr) continue;
        drawables_.push_back(Drawable{item.placed_, &item, item.object_, item.fogged_, false, 0.0f});
    }
    listsValid_ = true;
}

void CLWRenderableScene::ResetTimeCache() {
    motionValid_ = false;
    placementValid_ = false;
}

void CLWRenderableScene::ResetViewCache() { placementValid_ = false; }

void CLWRenderableScene::UpdateItemMatrices(double t) {
    plat::IGraphicsDevice& device = CurrentDevice();
    PlacementKey key;
    key.time = t;
    device.GetTransform(plat::TransformKind::World, key.world);
    device.GetTransform(plat::TransformKind::View, key.view);
    if (placementValid_ && key.time == placedFor_.time && SameMatrix(key.world, placedFor_.world) &&
        SameMatrix(key.view, placedFor_.view)) {
        return;
    }
    placedFor_ = key;
    placementValid_ = true;
    const bool placedAsMoved = SameMatrix(key.world, plat::MatrixIdentity());
    MakeLists();
    for (const Moving& moving : moving_) {
        CSceneItem& item = *moving.item;
        item.placed_ = placedAsMoved ? item.world_ : plat::MatrixMultiply(item.world_, key.world);
        item.view_ = plat::MatrixMultiply(item.placed_, key.view);
    }
    // The culling's scale of each item, while the matrices are at hand.
    for (Drawable& drawable : drawables_) {
        const CSceneItem& item = *drawable.item;
        drawable.placed = item.placed_;
        const plat::Matrix& w = item.world_;
        float scale = 0.0f;
        for (int column = 0; column < 3; ++column) {
            scale = std::max(scale, std::fabs(w.m[0][column] + w.m[1][column] + w.m[2][column]));
        }
        drawable.scale = scale;
    }
}

// ---- drawing ---------------------------------------------------------------------------------------

bool CLWRenderableScene::ApplyFog() {
    LwSceneFog* fog = scene_->Op.GetFog(scene_.get());
    if (fog == nullptr || fog->FogType != 1) return false;
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetRenderState(RS::FogEnable, true);
    device.SetRenderState(RS::RangeFogEnable, false);
    device.SetRenderState(RS::FogVertexMode, plat::FogMode::Linear);
    device.SetRenderState(RS::FogTableMode, plat::FogMode::None);
    device.SetRenderState(RS::FogStart, plat::FloatBits(static_cast<float>(fog->FogMinDist)));
    device.SetRenderState(RS::FogEnd, plat::FloatBits(static_cast<float>(fog->FogMaxDist)));
    device.SetRenderState(RS::FogColour, ColourFromChannels(fog->FogColor));
    return true;
}

bool CLWRenderableScene::IsVisible(const Drawable& drawable, CCamera* camera) {
    if (camera == nullptr) return true;
    // The sphere is asked of the mesh in every pass, as a mesh class of the program's own may move it.
    plat::Vector3 centre;
    float radius = 0.0f;
    drawable.object->GetBoundingSphere(&centre, &radius);
    plat::Vector3 viewCentre = plat::Vec3TransformCoord(centre, drawable.item->view_);
    return camera->IsSphereVisible(&viewCentre, radius * drawable.scale);
}

void CLWRenderableScene::RenderSceneItems(bool fog, Pass pass, CCamera* camera) {
    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetRenderState(RS::AlphaBlendEnable, pass != Pass::Opaque);
    // The items the pass draws, each tested once, in a loop of their own: between draws GL's work
    // would push the camera and the placements out of the caches at every test.
    for (Drawable& drawable : drawables_) {
        // The mesh says which passes it takes part in, each time: a mesh class may answer its own way.
        drawable.drawn = drawable.object->UsesPass(pass);
        if (!drawable.drawn) continue;
        ++TestedItemCount;
        drawable.drawn = IsVisible(drawable, camera);
    }
    const std::size_t count = drawables_.size();
    for (std::size_t i = 0; i < count; ++i) {
        // Each draw's work in GL pushes what follows out of the caches: the next entry is fetched now.
        if (i + 1 < count) {
            const char* next = reinterpret_cast<const char*>(&drawables_[i + 1]);
            __builtin_prefetch(next);
            __builtin_prefetch(next + sizeof(Drawable) - 1);
            __builtin_prefetch(drawables_[i + 1].object);
        }
        const Drawable& drawable = drawables_[i];
        if (!drawable.drawn) continue;
        device.SetTransform(plat::TransformKind::World, drawable.placed);
        device.SetRenderState(RS::FogEnable, fog && drawable.fogged);
        // Every item sets its own states, a repeat of the mesh just drawn too: the device drops those
        // that stand as they are, and a mesh class of its own draws each of its items its own way.
        drawable.object->RenderPolygonSets(pass);
        ++DrawnItemCount;
    }
}

bool CLWRenderableScene::PrepareToRender(double seconds, plat::Matrix& world) {
    const double t = WrapTime(seconds);
    const bool fog = ApplyFog();
    CurrentDevice().GetTransform(plat::TransformKind::World, world);
    SetWrappedTime(t);
    UpdateItemMatrices(t);
    return fog;
}

void CLWRenderableScene::RenderPass(double seconds, Pass pass, CCamera* camera) {
    if (!scene_) return;
    plat::Matrix world;
    const bool fog = PrepareToRender(seconds, world);
    RenderSceneItems(fog, pass, camera);
    CurrentDevice().SetTransform(plat::TransformKind::World, world);
}

void CLWRenderableScene::Render(double seconds, CCamera* camera) {
    if (!scene_) return;
    plat::Matrix world;
    const bool fog = PrepareToRender(seconds, world);
    plat::IGraphicsDevice& device = CurrentDevice();
    SetDefaultRenderStates();
    RenderSceneItems(fog, Pass::Opaque, camera);
    RenderSceneItems(fog, Pass::AlphaBlended, camera);
    device.SetRenderState(RS::SrcBlend, plat::Blend::Zero);
    device.SetRenderState(RS::DestBlend, plat::Blend::SrcColour);
    RenderSceneItems(fog, Pass::Multiplicative, camera);
    device.SetRenderState(RS::ZEnable, true);
    device.SetRenderState(RS::ZWriteEnable, false);
    device.SetRenderState(RS::SrcBlend, plat::Blend::SrcAlpha);
    device.SetRenderState(RS::DestBlend, plat::Blend::One);
    RenderSceneItems(fog, Pass::Additive, camera);
    device.SetRenderState(RS::SrcBlend, plat::Blend::SrcAlpha);
    device.SetRenderState(RS::DestBlend, plat::Blend::InvSrcAlpha);
    device.SetRenderState(RS::ZWriteEnable, true);
    device.SetTransform(plat::TransformKind::World, world);
}

const CLWRenderableScene::ItemTable& CLWRenderableScene::GetSceneItems() { return items_; }

// ---- light and camera ------------------------------------------------------------------------------

CDirectionalLight* CLWRenderableScene::GetDirectionalLight(double seconds) {
    if (!scene_ || light_.item_ == nullptr || light_.record_ == nullptr) return nullptr;
    const double t = WrapTime(seconds);
    plat::Matrix m = plat::MatrixIdentity();
    ComputeWorldMatrix(m, light_.item_, t);
    const plat::Vector3 direction = plat::Vec3TransformCoord(plat::MakeVector3(0, 0, 1), m) - Origin(m);
    // A light scaled to nothing has no direction: it keeps the last one.
    if (plat::Vec3Length(direction) > 0.0f) light_.light_.SetDirection(direction);
    const LwSceneLight& record = *light_.record_;
    const auto intensity = static_cast<float>(record.LightIntensity);
    light_.light_.SetDiffuse(record.LightColor[0] * intensity, record.LightColor[1] * intensity,
                             record.LightColor[2] * intensity, 0.0f);
    light_.light_.SetAmbient(ambientColor_.r, ambientColor_.g, ambientColor_.b, 0.0f);
    return &light_.light_;
}

CCamera* CLWRenderableScene::Update(double seconds, float zNear, float zFar, float aspect) {
    return UpdateWithCamera(std::string(), seconds, zNear, zFar, aspect);
}

CCamera* CLWRenderableScene::UpdateWithCamera(const std::string& name, double seconds, float zNear, float zFar,
                                              float aspect) {
    if (!scene_ || cameras_.empty()) return nullptr;
    auto found = cameras_.find(name);
    CSceneCamera& camera = *(found != cameras_.end() ? found->second : cameras_.begin()->second);
    const double t = WrapTime(seconds);
    if (camera.record_ == nullptr) return nullptr;
    if (aspect == 0.0f) {
        const plat::PresentParameters& p = CurrentDevice().GetParameters();
        aspect = static_cast<float>(p.backBufferWidth) / static_cast<float>(p.backBufferHeight);
    }
    LwScene* scene = scene_.get();
    double zoom = camera.record_->ZoomFactor;
    if (camera.record_->ZoomFactorEnvelope != nullptr) {
        scene->Op.EvaluateEnvelope(scene, camera.record_->ZoomFactorEnvelope, t, &zoom);
    }
    // The camera brings a field of view outside (0, pi) just inside it.
    camera.camera_.SetPerspective(static_cast<float>(2.0 * std::atan(1.0 / zoom)), aspect, zNear, zFar);
    plat::Matrix m = plat::MatrixIdentity();
    ComputeWorldMatrix(m, camera.item_, t);
    LwSceneItem* target = scene->Op.GetTargetItem(scene, camera.item_);
    if (target != nullptr) {
        plat::Matrix targetMatrix = plat::MatrixIdentity();
        ComputeWorldMatrixWithoutPivot(targetMatrix, target, t);
        camera.camera_.SetTarget(Origin(targetMatrix));
    } else {
        // The camera's own rotation: its parents move it but do not turn the view.
        double hpb[3] = {0, 0, 0};
        scene->Op.EvaluateMotion(scene, camera.item_, LW_MOTION_ROTATION, t, hpb);
        camera.camera_.SetDirectionAngles(static_cast<float>(hpb[1]), static_cast<float>(hpb[0]));
        camera.camera_.Rotate(static_cast<float>(hpb[0]), static_cast<float>(hpb[1]), static_cast<float>(hpb[2]));
    }
    camera.camera_.SetPosition(Origin(m));
    return &camera.camera_;
}

// ---- settings --------------------------------------------------------------------------------------

std::uint32_t CLWRenderableScene::GetBackdropColor() { return backdropColor_; }

double CLWRenderableScene::GetLength() {
    if (!scene_ || !(scene_->FramesPerSecond > 0.0)) return 0.0;
    return (static_cast<double>(scene_->LastFrame) - scene_->FirstFrame) / scene_->FramesPerSecond;
}

double CLWRenderableScene::GetFramesPerSecond() { return scene_ ? scene_->FramesPerSecond : 0.0; }

void CLWRenderableScene::SetFrameRange(std::int32_t first, std::int32_t last) {
    firstFrame_ = first;
    lastFrame_ = last;
}

std::int32_t CLWRenderableScene::GetFirstFrame() { return firstFrame_; }

std::int32_t CLWRenderableScene::GetLastFrame() { return lastFrame_; }

}  // namespace type_a
}  // namespace trivale
