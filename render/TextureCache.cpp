#include "render/TextureCache.h"

#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "render/DXSprite.h"
#include "render/RenderDevice.h"
#include "render/Sprite.h"

namespace trivale {
namespace type_a {

CTextureCache::CTextureCache() {}

CTextureCache::~CTextureCache() { entries_.clear(); }

CTexture* CTextureCache::GetTexture(IDataLoader* loader, const std::string& name, bool mipmaps, const std::string& key,
                                    plat::Format format) {
    const std::string entryKey = key.empty() ? ToLowerCase(name) : key;
    auto found = entries_.find(entryKey);
    if (found != entries_.end()) return found->second.get();
    if (loader == nullptr) throw EInvalidParameter(this, "GetTexture(): データローダがありません.");
    std::shared_ptr<CTexture> texture = std::make_shared<CTexture>();
    {
        std::shared_ptr<IStream> stream = loader->OpenShared(name);
        texture->Load(*stream, mipmaps, format, maxTextureSize_);
    }
    entries_[entryKey] = texture;
    return texture.get();
}

CTexture* CTextureCache::GetTexture(const std::string& name, bool mipmaps, const std::string& key,
                                    plat::Format format) {
    return GetTexture(&CurrentDataLoader(), name, mipmaps, key, format);
}

CTexture* CTextureCache::GetTexture(IDataLoader* loader, const char* name, bool mipmaps, const char* key,
                                    plat::Format format) {
    return GetTexture(loader, std::string(name ? name : ""), mipmaps, std::string(key ? key : ""), format);
}

CTexture* CTextureCache::GetTexture(const char* name, bool mipmaps, const char* key, plat::Format format) {
    return GetTexture(&CurrentDataLoader(), name, mipmaps, key, format);
}

void CTextureCache::PrecacheDirectory(IDataLoader* loader, const std::string& directory, bool recursive, bool mipmaps,
                                      const std::string& keySuffix, plat::Format format) {
    if (loader == nullptr) throw EInvalidParameter(this, "PrecacheDirectory(): データローダがありません.");
    LogInfo("--- precaching texture from directory ---");
    std::vector<std::string> names;
    loader->Enumerate(directory, recursive, names);
    for (const std::string& name : names) {
        const std::string ext = ToLowerCase(ExtractFileExt(name));
        if (ext != ".dds" && ext != ".bmp" && ext != ".jpg" && ext != ".png") continue;
        LogInfo("precache: %s", name.c_str());
        const std::string key = name + keySuffix;
        GetTexture(loader, name.c_str(), mipmaps, key.c_str(), format);
    }
    LogInfo("--------");
}

void CTextureCache::PrecacheDirectory(const std::string& directory, bool recursive, bool mipmaps,
                                      const std::string& keySuffix, plat::Format format) {
    PrecacheDirectory(&CurrentDataLoader(), directory, recursive, mipmaps, keySuffix, format);
}

void CTextureCache::DrawAllOnce() {
    CDXSprite batch;
    CSprite sprite;
    batch.Begin(0x10);
    try {
        for (const auto& entry : entries_) {
            const std::shared_ptr<CTexture> texture = entry.second;
            sprite.SetTexture(&batch, texture.get());
            sprite.Draw(0, 0.0f, 0.0f, 0.0f, 0xFFFFFFFFu);
        }
    } catch (...) {
        batch.End();
        throw;
    }
    batch.End();
}

CTexture* CTextureCache::FindEntry(const std::string& key) const {
    auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : found->second.get();
}

void CTextureCache::AddEntry(const std::string& key, std::shared_ptr<CTexture> texture) {
    entries_[key] = std::move(texture);
}

void CTextureCache::Clear() { entries_.clear(); }

void CTextureCache::SetOption(int maxTextureSize) { maxTextureSize_ = maxTextureSize; }

}  // namespace type_a
}  // namespace trivale
