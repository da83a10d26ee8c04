// The show's LightWave scenes by file name (letter case aside), each loaded on its first request and
// kept until Clear; a directory's scenes can be loaded ahead. The scenes share one renderable-object
// cache owned here and load their textures into the texture cache given (the play scene's
// progressive one, so that precached scenes queue their textures for the loading screen).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "core/DataLoader.h"
#include "core/Object.h"
#include "render/LWRenderableObjectCache.h"
#include "render/LWRenderableScene.h"
#include "render/TextureCache.h"

class CLWSceneCache : public virtual trivale::CNonCopyable {
public:
    // Null: the cache makes a texture cache of its own.
    explicit CLWSceneCache(trivale::type_a::CTextureCache* textures = nullptr);
    ~CLWSceneCache() override;

    // The scene cached under the lower-cased name, or loaded now under the name as written. A load
    // that fails caches nothing and its error passes on. The cache keeps owning the scene.
    virtual trivale::type_a::CLWRenderableScene* GetScene(trivale::IDataLoader* loader, const std::string& name);
    // The same through the application driver's data loader.
    virtual trivale::type_a::CLWRenderableScene* GetScene(const std::string& name);
    // The same two for plain text names, forwarding to the ones above; precaching goes through these.
    virtual trivale::type_a::CLWRenderableScene* GetScene(const char* name);
    virtual trivale::type_a::CLWRenderableScene* GetScene(trivale::IDataLoader* loader, const char* name);
    // Every ".lws" file (extension letter case aside) of the directory, in the loader's order.
    virtual void PrecacheDirectory(trivale::IDataLoader* loader, const std::string& directory, bool recursive);
    virtual void PrecacheDirectory(const std::string& directory, bool recursive);
    // Every scene drawn once at its start from a default camera, so the device has used its objects
    // and textures before the first timed frame.
    virtual void DrawAllOnce();
    // Every pointer handed out before becomes invalid; a texture cache from outside keeps its textures.
    virtual void Clear();
    virtual std::uint32_t GetCount() const;

private:
    // Declared so that scenes go before the objects they draw and those before the textures.
    std::unique_ptr<trivale::type_a::CTextureCache> ownTextures_;
    trivale::type_a::CTextureCache* textures_;
    trivale::type_a::CLWRenderableObjectCache objects_;
    std::map<std::string, std::shared_ptr<trivale::type_a::CLWRenderableScene>> scenes_;
};
