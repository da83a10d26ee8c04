// Textures by key, each loaded through a data loader on its first request and handed out as a
// pointer that the cache keeps owning until Clear.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/DataLoader.h"
#include "core/Object.h"
#include "platform/Graphics.h"
#include "render/Texture.h"

namespace trivale {
namespace type_a {

class CTextureCache : public virtual CNonCopyable {
public:
    CTextureCache();
    ~CTextureCache() override;

    // The loading form: the texture under `key` (empty: the name lower-cased), loaded through the
    // loader on a miss; mipmaps and format only matter then. Failures propagate; nothing is cached.
    virtual CTexture* GetTexture(IDataLoader* loader, const std::string& name, bool mipmaps, const std::string& key,
                                 plat::Format format);
    // The same with the application driver's data loader.
    virtual CTexture* GetTexture(const std::string& name, bool mipmaps, const std::string& key, plat::Format format);
    // Forwarding forms: they reach the loading form through the virtual table, so a derived cache
    // that overrides only the loading form serves these too.
    virtual CTexture* GetTexture(IDataLoader* loader, const char* name, bool mipmaps, const char* key,
                                 plat::Format format);
    virtual CTexture* GetTexture(const char* name, bool mipmaps, const char* key, plat::Format format);
    // Loads every .dds, .bmp, .jpg and .png file of the directory under its name plus `keySuffix`.
    virtual void PrecacheDirectory(IDataLoader* loader, const std::string& directory, bool recursive, bool mipmaps,
                                   const std::string& keySuffix, plat::Format format);
    virtual void PrecacheDirectory(const std::string& directory, bool recursive, bool mipmaps,
                                   const std::string& keySuffix, plat::Format format);
    // Draws every cached texture once, so the device has used each before the first timed frame.
    virtual void DrawAllOnce();
    // Every pointer handed out before becomes invalid.
    virtual void Clear();
    // Largest side of later loads; 0 or below: no limit.
    virtual void SetOption(int maxTextureSize);

    std::size_t GetCount() const { return entries_.size(); }

protected:
    // For a derived cache that fills its entries another way: the entry under the key (null when
    // there is none), and a new entry.
    CTexture* FindEntry(const std::string& key) const;
    void AddEntry(const std::string& key, std::shared_ptr<CTexture> texture);

private:
    std::map<std::string, std::shared_ptr<CTexture>> entries_;
    int maxTextureSize_ = -1;
};

}  // namespace type_a
}  // namespace trivale
