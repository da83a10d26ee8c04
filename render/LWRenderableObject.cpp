#include "render/LWRenderableObject.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/Exception.h"
#include "core/Path.h"
#include "devices/DXGraphics.h"
#include "gfxkit/Math3D.h"
#include "render/Colour.h"
#include "render/FrameCounters.h"
#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

namespace {

const char* const kVertexError = "T3Oファイルロード: 頂点読み込みエラー";

using RS = plat::RenderState;
using St = plat::StageState;

// The sphere every bounding-sphere instance draws, and the device it was made on.
struct SharedSphere {
    std::unique_ptr<plat::SphereMesh> mesh;
    plat::IGraphicsDevice* device = nullptr;
    int instances = 0;
};
SharedSphere g_sphere;

void MakeSharedSphere() {
    plat::IGraphicsDevice* device = CurrentDeviceOrNull();
    if (device == nullptr || (g_sphere.mesh && g_sphere.device == device)) return;
    g_sphere.mesh.reset();
    const plat::GraphicsResult result = plat::SphereMesh::Create(device, 1.0f, 12, 12, g_sphere.mesh);
    if (plat::Failed(result)) TV_LOG_GRAPHICS_ERROR(result);
    g_sphere.device = g_sphere.mesh ? device : nullptr;
}

}  // namespace

// ---- bounding sphere -------------------------------------------------------------------------------

CRenderableBoundingSphere::CRenderableBoundingSphere() {
    ++g_sphere.instances;
    MakeSharedSphere();
}

CRenderableBoundingSphere::~CRenderableBoundingSphere() {
    if (--g_sphere.instances == 0) {
        g_sphere.mesh.reset();
        g_sphere.device = nullptr;
    }
}

bool CRenderableBoundingSphere::HasSharedMesh() { return g_sphere.mesh != nullptr; }

void CRenderableBoundingSphere::Render(const plat::Vector3& centre, float radius) {
    MakeSharedSphere();  // again when the device was made anew since
    if (!g_sphere.mesh) return;
    plat::IGraphicsDevice& device = CurrentDevice();
    plat::Matrix world;
    device.GetTransform(plat::TransformKind::World, world);
    CMaterial material;
    material.SetDiffuse(0.0f, 0.0f, 0.0f, 0.1f);
    material.SetEmissive(0.0f, 1.0f, 0.5f, 1.0f);
    material.SetSpecular(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    material.SetAmbient(0.0f, 0.0f, 0.0f, 0.0f);
    material.Apply();
    device.SetTexture(0, nullptr);
    const plat::Matrix placed =
        plat::MatrixMultiply(plat::MatrixMultiply(plat::MatrixScaling(radius, radius, radius),
                                                  plat::MatrixTranslation(centre.x, centre.y, centre.z)),
                             world);
    device.SetTransform(plat::TransformKind::World, placed);
    g_sphere.mesh->DrawSubset(0);
    device.SetTransform(plat::TransformKind::World, world);
}

// ---- loading ---------------------------------------------------------------------------------------

CLWRenderableObject::CLWRenderableObject() {}

CLWRenderableObject::~CLWRenderableObject() {}

void CLWRenderableObject::Load(const std::string& name, CTextureCache* cache) {
    Load(&CurrentDataLoader(), name, cache);
}

// Makes each part of the file as the reader hands it over.
class CLWRenderableObject::CFileReceiver : public IT3OReceiver {
public:
    CFileReceiver(CLWRenderableObject& object, IDataLoader* loader, const std::string& directory, CTextureCache* cache)
        : object_(object), loader_(loader), directory_(directory), cache_(cache) {}
    void OnVertices(const std::vector<T3OVertex>& vertices) override { object_.MakeVertexBuffer(vertices); }
    void OnMaterialRevision(T3OMaterialRevision) override {}
    void OnMaterial(const T3OMaterial& material) override {
        try {
            object_.AddMaterial(material, loader_, directory_, cache_);
        } catch (...) {
            textureFailed = true;
            throw;
        }
    }
    void OnPolygonSet(const T3OPolygonSet& set) override { object_.AddPolygonSet(set); }
    void OnBoundingSphere(const plat::Vector3& centre, float radius) override {
        object_.boundingCentre_ = centre;
        object_.boundingRadius_ = radius;
    }

    // A material's texture failed: its report names the texture's file, not this one.
    bool textureFailed = false;

private:
    CLWRenderableObject& object_;
    IDataLoader* loader_;
    const std::string& directory_;
    CTextureCache* cache_;
};

void CLWRenderableObject::Load(IDataLoader* loader, const std::string& name, CTextureCache* cache) {
    if (loaded_) throw EInvalidOperation(this, "二重にロードを行おうとしました. - ファイル \"" + name + "\"");
    if (loader == nullptr) throw EInvalidParameter(this, "data loader object が NULL です.");
    // What a load that failed made stays until the next one, which starts from nothing.
    vertexBuffer_.reset();
    vertexCount_ = passMask_ = 0;
    materials_.clear();
    polygonSets_.clear();
    std::unique_ptr<IStream> stream = loader->Open(name);
    const std::string directory = ExtractFileDir(name);
    CFileReceiver receiver(*this, loader, directory, cache);
    try {
        CT3OReader(this).Read(*stream, receiver);
    } catch (EException& e) {
        if (!receiver.textureFailed) NameFileInReport(e, *stream, name);
        throw;
    }

    loaded_ = true;
}

void CLWRenderableObject::MakeVertexBuffer(const std::vector<T3OVertex>& vertices) {
    // The reader refuses an empty list and one longer than 16-bit indices reach.
    const auto bytes = static_cast<std::uint32_t>(vertices.size() * sizeof(T3OVertex));
    const plat::GraphicsResult result = CurrentDevice().CreateVertexBuffer(
        bytes, plat::kUsageWriteOnly, kT3OVertexFormat, plat::Pool::Managed, vertexBuffer_);
    if (plat::Failed(result)) {
        TV_LOG_GRAPHICS_ERROR(result);
        throw EInvalidFileFormat(this, kVertexError);
    }
    void* data = nullptr;
    if (plat::Succeeded(vertexBuffer_->Lock(0, 0, &data, 0)) && data != nullptr) {
        std::memcpy(data, vertices.data(), bytes);
        vertexBuffer_->Unlock();
    }
    vertexCount_ = static_cast<std::uint32_t>(vertices.size());
}

void CLWRenderableObject::AddMaterial(const T3OMaterial& source, IDataLoader* loader, const std::string& directory,
                                      CTextureCache* cache) {
    lightwave::CLWMaterial material;
    material.name_ = source.name;
    material.textureName_ = source.textureName;
    material.auxName_ = source.auxName;
    material.reflectionTextureName_ = source.reflectionTextureName;
    material.reflectionAmount_ = source.reflectionAmount;
    material.pass_ = source.pass;
    material.alphaTestEnable_ = source.alphaTestEnable;
    material.alphaRef_ = source.alphaRef;
    material.alphaFunc_ = source.alphaFunc;
    const plat::Material& c = source.colours;
    material.material_.SetDiffuse(c.diffuse.r, c.diffuse.g, c.diffuse.b, c.diffuse.a);
    material.material_.SetAmbient(c.ambient.r, c.ambient.g, c.ambient.b, c.ambient.a);
    material.material_.SetEmissive(c.emissive.r, c.emissive.g, c.emissive.b, c.emissive.a);
    material.material_.SetSpecular(c.specular.r, c.specular.g, c.specular.b, c.power, 1.0f);
    // The reader keeps passes within the 32-bit mask.
    passMask_ |= 1u << static_cast<std::uint32_t>(source.pass);

    if (!material.textureName_.empty() || !material.reflectionTextureName_.empty()) {
        if (cache == nullptr) throw EInvalidParameter(this, "texture cache object が NULL です.");
    }
    if (!material.textureName_.empty()) {
        material.texture_ =
            cache->GetTexture(loader, directory + material.textureName_, true, std::string(), plat::Format::Unknown);
    }
    if (!material.reflectionTextureName_.empty()) {
        material.reflectionTexture_ = cache->GetTexture(loader, directory + material.reflectionTextureName_, true,
                                                        std::string(), plat::Format::Unknown);
    }
    materials_.push_back(material);
}

void CLWRenderableObject::AddPolygonSet(const T3OPolygonSet& source) {
    const auto count = static_cast<std::uint32_t>(source.indices.size());
    std::unique_ptr<CPolygonSet> set(new CPolygonSet(source.materialIndex, count));
    if (count > 0) {
        const plat::GraphicsResult result = CurrentDevice().CreateIndexBuffer(count * 2, 0, plat::IndexFormat::Index16,
                                                                              plat::Pool::Managed, set->indexBuffer_);
        if (plat::Failed(result)) {
            TV_LOG_GRAPHICS_ERROR(result);
            throw EIOError(this, "IndexBuffer の作成に失敗しました.");
        }
        void* data = nullptr;
        if (plat::Succeeded(set->indexBuffer_->Lock(0, 0, &data, 0)) && data != nullptr) {
            std::memcpy(data, source.indices.data(), count * 2);
            set->indexBuffer_->Unlock();
        }
    }
    polygonSets_.push_back(std::move(set));
}

// ---- drawing ---------------------------------------------------------------------------------------

bool CLWRenderableObject::UsesPass(Pass pass) {
    const auto bit = static_cast<std::uint32_t>(pass);
    return bit <= kMaxRenderPass && (passMask_ >> bit & 1u) != 0;
}

void CLWRenderableObject::RenderPass(Pass pass) {
    if (UsesPass(pass)) RenderPolygonSets(pass);
}

void CLWRenderableObject::RenderAllPasses() {
    for (Pass pass : {Pass::Opaque, Pass::AlphaBlended, Pass::Multiplicative, Pass::Additive}) RenderPass(pass);
}

void CLWRenderableObject::RenderPolygonSets(Pass pass) {
    plat::IGraphicsDevice& device = CurrentDevice();
    for (const std::unique_ptr<CPolygonSet>& set : polygonSets_) {
        if (set->indexCount_ == 0 || set->materialIndex_ >= materials_.size()) continue;
        lightwave::CLWMaterial& material = materials_[set->materialIndex_];
        if (material.pass_ != pass) continue;
        DrawPolygonSet(device, *set, material);
    }
    device.SetTexture(1, nullptr);
}

void CLWRenderableObject::DrawPolygonSet(plat::IGraphicsDevice& device, const CPolygonSet& set,
                                         lightwave::CLWMaterial& material) {
    material.material_.Apply();
    if (material.texture_ != nullptr) {
        device.SetTextureStageState(0, St::TexCoordIndex, 0u);
        device.SetTextureStageState(0, St::TextureTransformFlags, plat::TextureTransform::Disable);
        material.texture_->Apply();
    } else {
        device.SetTexture(0, nullptr);
    }
    // The sphere map goes on the first stage the base texture leaves free.
    const std::uint32_t stage = material.texture_ != nullptr ? 1 : 0;
    if (material.reflectionTexture_ != nullptr) {
        const std::uint32_t level = ColourByte(material.reflectionAmount_);
        device.SetRenderState(RS::TextureFactor, level << 24 | level << 16 | level << 8 | level);
        device.SetTexture(stage, material.reflectionTexture_->GetTexture());
        device.SetTextureStageState(stage, St::ColourOp, plat::TextureOp::MultiplyAdd);
        device.SetTextureStageState(stage, St::ColourArg0, plat::TextureArg::Current);
        device.SetTextureStageState(stage, St::ColourArg1, plat::TextureArg::Texture);
        device.SetTextureStageState(stage, St::ColourArg2, plat::TextureArg::Factor);
        device.SetTextureStageState(stage, St::AlphaOp, plat::TextureOp::SelectArg1);
        device.SetTextureStageState(stage, St::AlphaArg1, plat::TextureArg::Current);
        device.SetTextureStageState(stage, St::TexCoordIndex, plat::kTexCoordSphereMap);
        // Sphere-map coordinates run upwards; images are stored top row first.
        const plat::Matrix flip = plat::MatrixScaling(1.0f, -1.0f, 1.0f);
        if (stage == 0) device.SetTransform(plat::TransformKind::Texture0, flip);
        device.SetTransform(plat::TextureTransformOf(1), flip);
        device.SetTextureStageState(stage, St::TextureTransformFlags, plat::TextureTransform::Count2);
    } else {
        device.SetTexture(1, nullptr);
    }
    device.SetRenderState(RS::AlphaTestEnable, material.alphaTestEnable_);
    device.SetRenderState(RS::AlphaRef, material.alphaRef_);
    device.SetRenderState(RS::AlphaFunc, material.alphaFunc_);
    device.SetFVF(kT3OVertexFormat);
    device.SetStreamSource(0, vertexBuffer_.get(), 0, sizeof(T3OVertex));
    device.SetIndices(set.indexBuffer_.get());
    const std::uint32_t triangles = set.indexCount_ / 3;
    device.DrawIndexedPrimitive(plat::PrimitiveType::TriangleList, 0, 0, vertexCount_, 0, triangles);
    DrawnTriangleCount += triangles;
    if (material.reflectionTexture_ != nullptr) {
        device.SetTextureStageState(stage, St::TexCoordIndex, 0u);
        device.SetTextureStageState(stage, St::TextureTransformFlags, plat::TextureTransform::Disable);
        device.SetTextureStageState(stage, St::ColourOp, plat::TextureOp::Modulate);
        device.SetTextureStageState(stage, St::ColourArg1, plat::TextureArg::Texture);
        device.SetTextureStageState(stage, St::ColourArg2, plat::TextureArg::Diffuse);
        device.SetTextureStageState(stage, St::AlphaOp, plat::TextureOp::Modulate);
        device.SetTextureStageState(stage, St::AlphaArg1, plat::TextureArg::Texture);
        device.SetTextureStageState(stage, St::AlphaArg2, plat::TextureArg::Diffuse);
    }
}

void CLWRenderableObject::GetBoundingSphere(plat::Vector3* centre, float* radius) {
    if (centre != nullptr) *centre = boundingCentre_;
    if (radius != nullptr) *radius = boundingRadius_;
}

void CLWRenderableObject::DrawBoundingSphere() { RenderBoundingSphere(&boundingCentre_, boundingRadius_); }

void CLWRenderableObject::RenderBoundingSphere(const plat::Vector3* centre, float radius) {
    if (!boundingSphere_) boundingSphere_.reset(new CRenderableBoundingSphere());
    boundingSphere_->Render(centre != nullptr ? *centre : plat::Vector3(), radius);
}

}  // namespace type_a
}  // namespace trivale
