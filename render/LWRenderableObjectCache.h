// Renderable objects by file name (letter case aside), each loaded once and shared by every scene item
// and scene that names it. Pointers handed out stay valid until Clear.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/DataLoader.h"
#include "core/Object.h"
#include "render/LWRenderableObject.h"
#include "render/TextureCache.h"

namespace trivale {
namespace type_a {

class CLWRenderableObjectCache : public virtual CNonCopyable {
public:
    CLWRenderableObjectCache();
    ~CLWRenderableObjectCache() override;

    // The object cached under the lower-cased name, or loaded now under the name as written (the loader
    // and texture cache matter only then). A load that fails stores nothing and its error passes on.
    virtual CLWRenderableObject* GetRenderableObject(IDataLoader* loader, const std::string& name,
                                                     CTextureCache* textureCache);
    // The same through the application driver's data loader.
    virtual CLWRenderableObject* GetRenderableObject(const std::string& name, CTextureCache* textureCache);
    virtual void Clear();

    std::size_t GetCount() const { return objects_.size(); }

private:
    std::map<std::string, std::shared_ptr<CLWRenderableObject>> objects_;
};

}  // namespace type_a
}  // namespace trivale
