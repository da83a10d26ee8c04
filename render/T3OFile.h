// The engine's 3D object file (".t3o"): a RIFF form "TV3O" holding one ready-to-draw mesh. The reader
// hands the file's parts over in file order, each checked before it is handed over, so that the
// renderable object makes its buffers and asks for its textures as the file goes by; or it gathers
// them into plain in-memory data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Object.h"
#include "core/Stream.h"
#include "platform/Graphics.h"

namespace trivale {
namespace type_a {

// The scene draws passes in the order opaque, alpha-blended, multiplicative, additive. Files may use
// any pass up to kMaxRenderPass (a bit of the object's 32-bit pass mask each).
enum class RenderPass : std::uint32_t { Opaque = 0, AlphaBlended = 1, Additive = 2, Multiplicative = 3 };
const std::uint32_t kMaxRenderPass = 31;

// Revisions of the "mate" chunk; each adds fields to the material record.
enum class T3OMaterialRevision : std::uint32_t {
    Rev100 = 0x100,  // name, texture, one pass byte (0 or other)
    Rev101 = 0x101,  // + auxiliary name, pass number
    Rev102 = 0x102,  // + alpha test enable, reference, comparison
    Rev103 = 0x103,  // + reflection texture and amount
};

// Position, normal, one texture coordinate pair: the XYZ | NORMAL | TEX1 vertex, 32 bytes.
struct T3OVertex {
    plat::Vector3 position;
    plat::Vector3 normal;
    float tu = 0.0f, tv = 0.0f;
};
static_assert(sizeof(T3OVertex) == 32, "the vertex is copied into the vertex buffer as it stands");
const std::uint32_t kT3OVertexFormat = plat::kFvfXyz | plat::kFvfNormal | plat::kFvfTex1;

// Fields a lower revision does not store keep the defaults below.
struct T3OMaterial {
    std::string name;
    std::string textureName;  // relative to the file's directory; "" for none
    std::string auxName;      // kept, never drawn
    RenderPass pass = RenderPass::Opaque;
    std::uint32_t alphaTestEnable = 1;  // the alpha-test render state's value
    std::uint32_t alphaRef = 0;
    plat::Compare alphaFunc = plat::Compare::Greater;
    std::string reflectionTextureName;  // "" for no reflection
    float reflectionAmount = 0.0f;
    plat::Material colours;  // the specular alpha always reads as 1.0
};

// One triangle list of one material; an empty set is never drawn.
struct T3OPolygonSet {
    std::uint32_t materialIndex = 0;
    std::vector<std::uint16_t> indices;
};

struct T3OObject {
    T3OMaterialRevision materialRevision = T3OMaterialRevision::Rev103;
    std::vector<T3OVertex> vertices;
    std::vector<T3OMaterial> materials;
    std::vector<T3OPolygonSet> polygonSets;
    plat::Vector3 boundingCentre;  // object space
    float boundingRadius = 0.0f;
};

// 16-bit indices address at most this many vertices.
const std::uint32_t kMaxT3OVertices = 65536;

// Receives the parts of a file in the order the reader checks them: the vertices, then the material
// revision and each material, each polygon set, and the bounding sphere. A part is handed over before
// the next one is read, so what the receiver does with it (and what it throws) comes first.
class IT3OReceiver : public IInterface {
public:
    virtual void OnVertices(const std::vector<T3OVertex>& vertices) = 0;
    virtual void OnMaterialRevision(T3OMaterialRevision revision) = 0;
    virtual void OnMaterial(const T3OMaterial& material) = 0;
    virtual void OnPolygonSet(const T3OPolygonSet& set) = 0;
    virtual void OnBoundingSphere(const plat::Vector3& centre, float radius) = 0;
};

class CT3OReader : public virtual CNonCopyable {
public:
    // Errors name the class of origin (the object being loaded), or this reader's when it is null.
    explicit CT3OReader(const CObject* origin = nullptr) : origin_(origin ? origin : this) {}
    ~CT3OReader() override;

    // Reads the form from the stream's start: the form type, then the chunks "head", "vert", "mate",
    // "pset" and "bdsp" in this order, wherever they lie in the file. Every count, size and index is
    // checked against the bytes of its chunk before use: a bad file is an EInvalidFileFormat naming the
    // chunk (or the RIFF reader's error for a file that is no RIFF form or lacks a chunk), raised where
    // the reading meets the fault, after the parts before it were handed over.
    virtual void Read(IStream& stream, IT3OReceiver& receiver);
    // The same, gathered into one object.
    virtual T3OObject Read(IStream& stream);

private:
    const CObject* origin_;
};

}  // namespace type_a
}  // namespace trivale
