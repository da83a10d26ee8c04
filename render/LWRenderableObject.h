// One mesh from a ".t3o" file made drawable: its vertex buffer, its materials with their textures, one
// index buffer per material and a bounding sphere. It draws one render pass at a time; the scene
// places it and chooses the passes and their blending.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/DataLoader.h"
#include "core/Object.h"
#include "gfxkit/SpriteBatch.h"
#include "platform/Graphics.h"
#include "render/Material.h"
#include "render/T3OFile.h"
#include "render/Texture.h"
#include "render/TextureCache.h"

namespace trivale {
namespace type_a {

namespace lightwave {

// A material as the object draws it; its textures belong to the texture cache.
class CLWMaterial : public CObject {
public:
    CLWMaterial() {}
    CLWMaterial(const CLWMaterial&) = default;
    CLWMaterial& operator=(const CLWMaterial&) = default;
    ~CLWMaterial() override {}

    std::string name_;
    CMaterial material_;
    std::string textureName_;  // as the file gives it; "" for none
    std::string auxName_;
    std::string reflectionTextureName_;
    float reflectionAmount_ = 0.0f;
    RenderPass pass_ = RenderPass::Opaque;
    std::uint32_t alphaTestEnable_ = 1;
    std::uint32_t alphaRef_ = 0;
    plat::Compare alphaFunc_ = plat::Compare::Greater;
    CTexture* texture_ = nullptr;
    CTexture* reflectionTexture_ = nullptr;
};

}  // namespace lightwave

// A translucent unit sphere scaled and moved onto a bounding sphere, for showing one. All instances
// share one mesh, made on first use and released with the last instance.
class CRenderableBoundingSphere : public virtual CNonCopyable {
public:
    CRenderableBoundingSphere();
    ~CRenderableBoundingSphere() override;
    void Render(const plat::Vector3& centre, float radius);

    static bool HasSharedMesh();
};

class CLWRenderableObject : public virtual CNonCopyable {
public:
    using Pass = type_a::RenderPass;

    // The triangles of one material; an empty set has no index buffer and is never drawn.
    class CPolygonSet : public virtual CObject {
    public:
        CPolygonSet(std::uint32_t materialIndex, std::uint32_t indexCount)
            : materialIndex_(materialIndex), indexCount_(indexCount) {}
        ~CPolygonSet() override {}
        std::uint32_t GetIndexCount() const { return indexCount_; }
        plat::IIndexBuffer* GetIndexBuffer() const { return indexBuffer_.get(); }

    private:
        friend class CLWRenderableObject;
        std::uint32_t materialIndex_;
        std::unique_ptr<plat::IIndexBuffer> indexBuffer_;
        std::uint32_t indexCount_;
    };

    CLWRenderableObject();
    ~CLWRenderableObject() override;

    // Through the application driver's data loader.
    virtual void Load(const std::string& name, CTextureCache* cache);
    // Reads the file once (a second Load is an EInvalidOperation) and makes its buffers and asks for its
    // textures as the file goes by, so the first fault in file order is the one reported; textures come
    // from the cache through the same loader, named relative to the file's directory. The cache may be
    // null only when no material names a texture.
    virtual void Load(IDataLoader* loader, const std::string& name, CTextureCache* cache);
    // Draws the pass when some material uses it; nothing else otherwise.
    virtual void RenderPass(Pass pass);
    // Opaque, alpha-blended, multiplicative, additive.
    virtual void RenderAllPasses();
    // Every polygon set of the pass with its material, texture, reflection and alpha-test states.
    virtual void RenderPolygonSets(Pass pass);
    virtual bool UsesPass(Pass pass);
    virtual void GetBoundingSphere(plat::Vector3* centre, float* radius);
    virtual void DrawBoundingSphere();
    virtual void RenderBoundingSphere(const plat::Vector3* centre, float radius);

    bool IsLoaded() const { return loaded_; }
    std::uint32_t GetVertexCount() const { return vertexCount_; }
    std::uint32_t GetPassMask() const { return passMask_; }
    const std::vector<std::unique_ptr<CPolygonSet>>& GetPolygonSets() const { return polygonSets_; }
    plat::IVertexBuffer* GetVertexBuffer() const { return vertexBuffer_.get(); }

private:
    class CFileReceiver;

    void MakeVertexBuffer(const std::vector<T3OVertex>& vertices);
    void AddMaterial(const T3OMaterial& source, IDataLoader* loader, const std::string& directory,
                     CTextureCache* cache);
    void AddPolygonSet(const T3OPolygonSet& source);
    void DrawPolygonSet(plat::IGraphicsDevice& device, const CPolygonSet& set, lightwave::CLWMaterial& material);

    bool loaded_ = false;
    std::unique_ptr<plat::IVertexBuffer> vertexBuffer_;
    std::uint32_t vertexCount_ = 0;
    std::vector<lightwave::CLWMaterial> materials_;
    std::uint32_t passMask_ = 0;
    std::vector<std::unique_ptr<CPolygonSet>> polygonSets_;
    plat::Vector3 boundingCentre_;
    float boundingRadius_ = 0.0f;
    std::unique_ptr<CRenderableBoundingSphere> boundingSphere_;
};

}  // namespace type_a
}  // namespace trivale
