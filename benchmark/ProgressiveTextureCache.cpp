#include "benchmark/ProgressiveTextureCache.h"

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {
namespace type_a {

CProgressiveTextureCache::CProgressiveTextureCache() {}

// The queue goes first, then the base's map: no texture outlives both.
CProgressiveTextureCache::~CProgressiveTextureCache() { queue_.clear(); }

CTexture* CProgressiveTextureCache::GetTexture(IDataLoader* loader, const std::string& name, bool mipmaps,
                                               const std::string& key, plat::Format format) {
    if (!progressive_) return CTextureCache::GetTexture(loader, name, mipmaps, key, format);
    const std::string entryKey = key.empty() ? ToLowerCase(name) : key;
    if (CTexture* cached = FindEntry(entryKey)) return cached;
    // Checked now: the queue could not open anything later.
    if (loader == nullptr) throw EInvalidParameter(this, "GetTexture(): データローダがありません.");
    std::shared_ptr<CTexture> texture = std::make_shared<CTexture>();
    queue_.push_back(ProgressiveTextureEntry{loader, name, mipmaps, format, texture});
    AddEntry(entryKey, texture);
    return texture.get();
}

int CProgressiveTextureCache::LoadNext() {
    if (IsComplete()) return next_;
    const ProgressiveTextureEntry entry = queue_[next_];
    {
        std::shared_ptr<IStream> stream = entry.loader->OpenShared(entry.name);
        entry.texture->Load(*stream, entry.mipmaps, entry.format, -1);
    }
    return ++next_;
}

int CProgressiveTextureCache::GetQueuedCount() { return static_cast<int>(queue_.size()); }

bool CProgressiveTextureCache::IsComplete() { return next_ >= GetQueuedCount(); }

void CProgressiveTextureCache::SetProgressive(bool progressive) { progressive_ = progressive; }

}  // namespace type_a
}  // namespace trivale
