#include "benchmark/LWSceneCache.h"

#include <vector>

#include "core/Exception.h"
#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "platform/StopWatchdog.h"
#include "render/Camera.h"
#include "render/RenderDevice.h"

using namespace trivale;
using namespace trivale::type_a;

CLWSceneCache::CLWSceneCache(CTextureCache* textures)
    : ownTextures_(textures == nullptr ? new CTextureCache() : nullptr),
      textures_(textures == nullptr ? ownTextures_.get() : textures) {}

CLWSceneCache::~CLWSceneCache() {}

CLWRenderableScene* CLWSceneCache::GetScene(IDataLoader* loader, const std::string& name) {
    const std::string key = ToLowerCase(name);
    auto found = scenes_.find(key);
    if (found != scenes_.end()) return found->second.get();
    auto scene = std::make_shared<CLWRenderableScene>();
    scene->Load(loader, name, textures_, &objects_);
    return scenes_.emplace(key, std::move(scene)).first->second.get();
}

CLWRenderableScene* CLWSceneCache::GetScene(const std::string& name) { return GetScene(&CurrentDataLoader(), name); }

CLWRenderableScene* CLWSceneCache::GetScene(const char* name) { return GetScene(std::string(name ? name : "")); }

CLWRenderableScene* CLWSceneCache::GetScene(IDataLoader* loader, const char* name) {
    return GetScene(loader, std::string(name ? name : ""));
}

void CLWSceneCache::PrecacheDirectory(IDataLoader* loader, const std::string& directory, bool recursive) {
    if (loader == nullptr) throw EInvalidParameter(this, "PrecacheDirectory(): データローダがありません.");
    LogInfo("--- precaching model from directory ---");
    std::vector<std::string> names;
    loader->Enumerate(directory, recursive, names);
    for (const std::string& name : names) {
        if (ToLowerCase(ExtractFileExt(name)) != ".lws") continue;
        LogInfo("precache: %s", name.c_str());
        GetScene(loader, name.c_str());
        plat::NoteStopProgress();  // a long load that moves is not a stuck one
    }
    LogInfo("--------");
}

void CLWSceneCache::PrecacheDirectory(const std::string& directory, bool recursive) {
    PrecacheDirectory(&CurrentDataLoader(), directory, recursive);
}

void CLWSceneCache::DrawAllOnce() {
    CCamera camera;
    camera.ApplyViewTransform();
    for (const auto& entry : scenes_) {
        const std::shared_ptr<CLWRenderableScene> scene = entry.second;
        scene->Render(0.0, nullptr);
    }
}

void CLWSceneCache::Clear() {
    scenes_.clear();
    objects_.Clear();
    if (ownTextures_) ownTextures_->Clear();
}

std::uint32_t CLWSceneCache::GetCount() const { return static_cast<std::uint32_t>(scenes_.size()); }
