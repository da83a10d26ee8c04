#include "render/LWRenderableObjectCache.h"

#include "core/Text.h"
#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

CLWRenderableObjectCache::CLWRenderableObjectCache() {}

CLWRenderableObjectCache::~CLWRenderableObjectCache() { objects_.clear(); }

CLWRenderableObject* CLWRenderableObjectCache::GetRenderableObject(IDataLoader* loader, const std::string& name,
                                                                   CTextureCache* textureCache) {
    const std::string key = ToLowerCase(name);
    auto found = objects_.find(key);
    if (found != objects_.end()) return found->second.get();
    std::shared_ptr<CLWRenderableObject> object = std::make_shared<CLWRenderableObject>();
    object->Load(loader, name, textureCache);
    objects_[key] = object;
    return object.get();
}

CLWRenderableObject* CLWRenderableObjectCache::GetRenderableObject(const std::string& name,
                                                                   CTextureCache* textureCache) {
    return GetRenderableObject(&CurrentDataLoader(), name, textureCache);
}

void CLWRenderableObjectCache::Clear() { objects_.clear(); }

}  // namespace type_a
}  // namespace trivale
