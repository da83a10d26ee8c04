// The show's texture cache. While progressive, a texture asked for the first time is handed out at
// once, still unloaded, and its file queued; the loading screen then loads one queued texture per
// frame with LoadNext and shows the progress from the counts. With progressive off it loads at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "render/TextureCache.h"

namespace trivale {
namespace type_a {

// One deferred load: where the file comes from, how to load it, and the object already handed out.
struct ProgressiveTextureEntry {
    IDataLoader* loader;  // not owned; must outlive the entry's load
    std::string name;
    bool mipmaps;
    plat::Format format;
    std::shared_ptr<CTexture> texture;
};

class CProgressiveTextureCache : public CTextureCache {
public:
    CProgressiveTextureCache();
    ~CProgressiveTextureCache() override;

    // Every other form of GetTexture, and PrecacheDirectory, come through this one.
    using CTextureCache::GetTexture;
    // Progressive: the texture under the key (empty: the name lower-cased), loaded or not; on a miss a
    // new unloaded texture, queued. Nothing is opened yet, so a missing file shows only at its load.
    // Progressive off: the base cache's loading form.
    CTexture* GetTexture(IDataLoader* loader, const std::string& name, bool mipmaps, const std::string& key,
                         plat::Format format) override;

    // Loads the next queued texture, without the cache's size limit, and returns how many are loaded.
    // Nothing when all are. A failure propagates and leaves that texture the next one.
    virtual int LoadNext();
    // Textures ever queued.
    virtual int GetQueuedCount();
    virtual bool IsComplete();
    // For later requests; what is queued stays queued.
    virtual void SetProgressive(bool progressive);

private:
    std::vector<ProgressiveTextureEntry> queue_;
    int next_ = 0;
    bool progressive_ = true;
};

}  // namespace type_a
}  // namespace trivale
