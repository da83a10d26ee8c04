#include "tools/T3OWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace trivale {
namespace tools {

using type_a::RenderPass;
using type_a::T3OMaterial;
using type_a::T3OMaterialRevision;
using type_a::T3OObject;

namespace {

const std::uint32_t kFieldRevision = 0x100;

// Appends the little-endian fields of one chunk.
class ChunkBuilder {
public:
    ChunkBuilder& U8(std::uint8_t v) {
        data_.push_back(static_cast<char>(v));
        return *this;
    }
    ChunkBuilder& U16(std::uint16_t v) {
        return U8(static_cast<std::uint8_t>(v & 0xFF)).U8(static_cast<std::uint8_t>(v >> 8));
    }
    ChunkBuilder& U32(std::uint32_t v) {
        return U16(static_cast<std::uint16_t>(v & 0xFFFF)).U16(static_cast<std::uint16_t>(v >> 16));
    }
    ChunkBuilder& F32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    ChunkBuilder& String(const std::string& text) {
        U32(static_cast<std::uint32_t>(text.size()));
        data_ += text;
        return *this;
    }
    ChunkBuilder& Colour(const plat::ColourValue& c) { return F32(c.r).F32(c.g).F32(c.b).F32(c.a); }
    ChunkBuilder& Vector(const plat::Vector3& v) { return F32(v.x).F32(v.y).F32(v.z); }
    std::string Take() { return std::move(data_); }

private:
    std::string data_;
};

std::uint32_t Rev(T3OMaterialRevision r) { return static_cast<std::uint32_t>(r); }

bool Fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// What a material of the given revision can hold.
bool CheckMaterial(const T3OMaterial& m, std::uint32_t revision, std::string& error) {
    const T3OMaterial defaults;
    const std::uint32_t pass = static_cast<std::uint32_t>(m.pass);
    const std::string where = "material \"" + m.name + "\": ";
    for (const std::string* s : {&m.name, &m.textureName, &m.auxName, &m.reflectionTextureName})
        if (s->find('\0') != std::string::npos) return Fail(error, where + "a name holds a NUL byte");
    if (pass > type_a::kMaxRenderPass) return Fail(error, where + "render pass above 31");
    if (revision < 0x101 && (pass > 1 || !m.auxName.empty()))
        return Fail(error, where + "revision 0x100 holds only passes 0 and 1 and no auxiliary name");
    if (revision < 0x102 && (m.alphaTestEnable != defaults.alphaTestEnable || m.alphaRef != defaults.alphaRef ||
                             m.alphaFunc != defaults.alphaFunc))
        return Fail(error, where + "alpha test settings need revision 0x102");
    if (revision < 0x103 && (!m.reflectionTextureName.empty() || m.reflectionAmount != 0.0f))
        return Fail(error, where + "reflection needs revision 0x103");
    return true;
}

}  // namespace

bool CheckT3O(const T3OObject& object, std::string& error) {
    const std::uint32_t revision = Rev(object.materialRevision);
    if (revision < 0x100 || revision > 0x103) return Fail(error, "material revision outside 0x100 to 0x103");
    if (object.vertices.empty()) return Fail(error, "no vertices");
    if (object.vertices.size() > type_a::kMaxT3OVertices) return Fail(error, "more vertices than 16-bit indices reach");
    for (const T3OMaterial& m : object.materials)
        if (!CheckMaterial(m, revision, error)) return false;
    for (std::size_t i = 0; i < object.polygonSets.size(); ++i) {
        const type_a::T3OPolygonSet& set = object.polygonSets[i];
        const std::string where = "polygon set " + std::to_string(i) + ": ";
        if (set.materialIndex >= object.materials.size()) return Fail(error, where + "no such material");
        if (set.indices.size() % 3 != 0) return Fail(error, where + "index count not a multiple of 3");
        for (std::uint16_t index : set.indices)
            if (index >= object.vertices.size()) return Fail(error, where + "index past the vertices");
    }
    return true;
}

std::vector<T3OChunk> MakeT3OChunks(const T3OObject& object) {
    std::vector<T3OChunk> chunks;
    chunks.push_back({"head", ChunkBuilder().String("Trivale3DObject").String("Revision").U32(0x100).Take()});

    ChunkBuilder vert;
    vert.String("Vertex").String("Type").String("D3DVERTEX").String("Revision").U32(kFieldRevision);
    vert.String("Count").U32(static_cast<std::uint32_t>(object.vertices.size())).String("Data");
    for (const type_a::T3OVertex& v : object.vertices) vert.Vector(v.position).Vector(v.normal).F32(v.tu).F32(v.tv);
    chunks.push_back({"vert", vert.Take()});

    const std::uint32_t revision = Rev(object.materialRevision);
    ChunkBuilder mate;
    mate.String("Material").String("Revision").U32(revision);
    mate.String("Count").U32(static_cast<std::uint32_t>(object.materials.size())).String("Data");
    for (const T3OMaterial& m : object.materials) {
        mate.String(m.name).String(m.textureName);
        if (revision == 0x100) {
            mate.U8(m.pass == RenderPass::Opaque ? 0 : 1);
        } else {
            mate.String(m.auxName).U32(static_cast<std::uint32_t>(m.pass));
        }
        if (revision >= 0x102) mate.U32(m.alphaTestEnable).U32(m.alphaRef).U32(static_cast<std::uint32_t>(m.alphaFunc));
        if (revision >= 0x103) mate.String(m.reflectionTextureName).F32(m.reflectionAmount);
        const plat::Material& c = m.colours;
        mate.Colour(c.diffuse).Colour(c.ambient).Colour(c.emissive).Colour(c.specular).F32(c.power);
    }
    chunks.push_back({"mate", mate.Take()});

    ChunkBuilder pset;
    pset.String("PolygonSet").String("Revision").U32(kFieldRevision);
    pset.String("Count").U32(static_cast<std::uint32_t>(object.polygonSets.size())).String("Data");
    for (const type_a::T3OPolygonSet& set : object.polygonSets) {
        pset.U32(set.materialIndex).U32(static_cast<std::uint32_t>(set.indices.size()));
        for (std::uint16_t index : set.indices) pset.U16(index);
    }
    chunks.push_back({"pset", pset.Take()});

    ChunkBuilder bdsp;
    bdsp.String("BoundingSphere").String("Revision").U32(kFieldRevision);
    bdsp.String("Center").Vector(object.boundingCentre).String("Radius").F32(object.boundingRadius);
    chunks.push_back({"bdsp", bdsp.Take()});
    return chunks;
}

std::string MakeT3OForm(const std::vector<T3OChunk>& chunks) {
    ChunkBuilder body;
    for (const T3OChunk& chunk : chunks) {
        std::string id = chunk.id;
        id.resize(4, ' ');
        body.U8(id[0]).U8(id[1]).U8(id[2]).U8(id[3]).String(chunk.data);
    }
    const std::string rest = body.Take();
    return "RIFF" + ChunkBuilder().U32(static_cast<std::uint32_t>(4 + rest.size())).Take() + "TV3O" + rest;
}

bool WriteT3O(const T3OObject& object, std::string& bytes, std::string& error) {
    if (!CheckT3O(object, error)) return false;
    std::string form = MakeT3OForm(MakeT3OChunks(object));
    if (form.size() - 8 > 0xFFFFFFFFu) return Fail(error, "the object is too large for the form's 32-bit size");
    bytes = std::move(form);
    return true;
}

bool WriteT3OFile(const std::string& path, const T3OObject& object, std::string& error) {
    std::string bytes;
    if (!WriteT3O(object, bytes, error)) return false;
    // Through a file beside it, so that a failure leaves no half-written object.
    const std::string partPath = path + ".part";
    {
        std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(partPath.c_str());
            return Fail(error, "cannot write " + partPath);
        }
    }
    std::error_code ec;
    std::filesystem::rename(partPath, path, ec);
    if (ec) {
        std::remove(partPath.c_str());
        return Fail(error, "cannot write " + path + ": " + ec.message());
    }
    return true;
}

void FitBoundingSphere(T3OObject& object) {
    if (object.vertices.empty()) {
        object.boundingCentre = plat::Vector3{};
        object.boundingRadius = 0.0f;
        return;
    }
    plat::Vector3 lo = object.vertices[0].position, hi = lo;
    for (const type_a::T3OVertex& v : object.vertices) {
        lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
        hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
    }
    const plat::Vector3 centre{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
    double radius = 0.0;
    for (const type_a::T3OVertex& v : object.vertices) {
        const double dx = v.position.x - centre.x, dy = v.position.y - centre.y, dz = v.position.z - centre.z;
        radius = std::max(radius, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    object.boundingCentre = centre;
    // Rounded up, so that the single-precision radius still encloses the farthest vertex.
    object.boundingRadius = std::nextafter(static_cast<float>(radius), HUGE_VALF);
}

}  // namespace tools
}  // namespace trivale
