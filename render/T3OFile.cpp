#include "render/T3OFile.h"

#include <cstring>
#include <utility>

#include "core/Exception.h"
#include "core/RIFFReader.h"

namespace trivale {
namespace type_a {

namespace {

const char* const kHeadError = "T3Oファイルヘッダエラー";
const char* const kVertexError = "T3Oファイルロード: 頂点読み込みエラー";
const char* const kMaterialError = "T3Oファイルロード: マテリアル読み込みエラー";
const char* const kMaterialRevisionError = "T3Oファイルロード: マテリアルRevisionエラー";
const char* const kPolygonSetError = "T3Oファイルロード: ポリゴンセット読み込みエラー";
const char* const kBoundingSphereError = "T3Oファイルロード: BoundingSphere読み込みエラー";

const std::uint32_t kFieldRevision = 0x100;

// Reads the fields of one chunk held in memory. Every read says whether the bytes were there; a read
// that runs past the end takes nothing and leaves the cursor at the end.
class ChunkCursor {
public:
    explicit ChunkCursor(std::vector<unsigned char> data) : data_(std::move(data)) {}

    std::size_t Left() const { return data_.size() - at_; }

    bool Bytes(void* out, std::size_t count) {
        if (count > Left()) {
            at_ = data_.size();
            return false;
        }
        if (count) std::memcpy(out, data_.data() + at_, count);
        at_ += count;
        return true;
    }
    bool U8(std::uint8_t& out) { return Bytes(&out, 1); }
    bool U32(std::uint32_t& out) {
        unsigned char b[4];
        if (!Bytes(b, 4)) return false;
        out = LoadLE32(b);
        return true;
    }
    bool F32(float& out) {
        std::uint32_t bits;
        if (!U32(bits)) return false;
        std::memcpy(&out, &bits, 4);
        return true;
    }
    // A u32 byte count and the bytes; the text ends at the first NUL among them.
    bool String(std::string& out) {
        out.clear();
        std::uint32_t count;
        if (!U32(count)) return false;
        if (count > Left()) {
            at_ = data_.size();
            return false;
        }
        const char* p = reinterpret_cast<const char*>(data_.data() + at_);
        const void* nul = std::memchr(p, '\0', count);
        out.assign(p, nul ? static_cast<const char*>(nul) : p + count);
        at_ += count;
        return true;
    }
    // A string that runs past the chunk reads as empty and so never matches.
    bool Key(const char* key) {
        std::string text;
        String(text);
        return text == key;
    }
    bool Colour(plat::ColourValue& out) { return F32(out.r) && F32(out.g) && F32(out.b) && F32(out.a); }
    bool Vector(plat::Vector3& out) { return F32(out.x) && F32(out.y) && F32(out.z); }

private:
    std::vector<unsigned char> data_;
    std::size_t at_ = 0;
};

std::uint32_t Id(const char* tag) { return CRIFFReader::MakeFourCC(tag[0], tag[1], tag[2], tag[3]); }

// The chunk's data, read whole; the RIFF reader has already cut its size to the bytes there are.
ChunkCursor SelectChunk(CRIFFReader& riff, const char* tag) {
    riff.SelectChunk(Id(tag));
    std::vector<unsigned char> data(static_cast<std::size_t>(riff.GetChunkSize()));
    data.resize(data.empty() ? 0 : riff.Read(data.data(), riff.GetChunkSize()));
    return ChunkCursor(std::move(data));
}

// Smallest material record of each revision: every string empty.
std::size_t MinMaterialRecord(std::uint32_t revision) {
    const std::size_t colours = 4 * 16 + 4;
    switch (revision) {
    case 0x100:
        return 2 * 4 + 1 + colours;
    case 0x101:
        return 3 * 4 + 4 + colours;
    case 0x102:
        return 3 * 4 + 4 * 4 + colours;
    default:
        return 4 * 4 + 4 * 4 + 4 + colours;
    }
}

bool ReadMaterial(ChunkCursor& in, std::uint32_t revision, T3OMaterial& m) {
    if (!in.String(m.name) || !in.String(m.textureName)) return false;
    if (revision == 0x100) {
        std::uint8_t flag;
        if (!in.U8(flag)) return false;
        m.pass = flag ? RenderPass::AlphaBlended : RenderPass::Opaque;
    } else {
        std::uint32_t pass;
        // The pass selects a bit of a 32-bit mask.
        if (!in.String(m.auxName) || !in.U32(pass) || pass > kMaxRenderPass) return false;
        m.pass = static_cast<RenderPass>(pass);
    }
    if (revision >= 0x102) {
        std::uint32_t func;
        if (!in.U32(m.alphaTestEnable) || !in.U32(m.alphaRef) || !in.U32(func)) return false;
        m.alphaFunc = static_cast<plat::Compare>(func);
    }
    if (revision >= 0x103 && (!in.String(m.reflectionTextureName) || !in.F32(m.reflectionAmount))) return false;
    plat::Material& c = m.colours;
    if (!in.Colour(c.diffuse) || !in.Colour(c.ambient) || !in.Colour(c.emissive) || !in.Colour(c.specular) ||
        !in.F32(c.power))
        return false;
    c.specular.a = 1.0f;
    return true;
}

// Gathers the parts into one object.
class ObjectGatherer : public IT3OReceiver {
public:
    void OnVertices(const std::vector<T3OVertex>& vertices) override { object.vertices = vertices; }
    void OnMaterialRevision(T3OMaterialRevision revision) override { object.materialRevision = revision; }
    void OnMaterial(const T3OMaterial& material) override { object.materials.push_back(material); }
    void OnPolygonSet(const T3OPolygonSet& set) override { object.polygonSets.push_back(set); }
    void OnBoundingSphere(const plat::Vector3& centre, float radius) override {
        object.boundingCentre = centre;
        object.boundingRadius = radius;
    }
    T3OObject object;
};

}  // namespace

CT3OReader::~CT3OReader() {}

T3OObject CT3OReader::Read(IStream& stream) {
    ObjectGatherer gatherer;
    Read(stream, gatherer);
    return std::move(gatherer.object);
}

void CT3OReader::Read(IStream& stream, IT3OReceiver& receiver) {
    auto refuse = [this](const char* message) { return EInvalidFileFormat(origin_, message); };

    CRIFFReader riff;
    riff.Open(&stream);
    if (riff.GetFormType() != Id("TV3O")) throw refuse("ファイルフォーマットエラー: T3Oファイルではありません.");

    {
        ChunkCursor in = SelectChunk(riff, "head");
        if (!in.Key("Trivale3DObject")) throw refuse(kHeadError);
        // Any file revision is accepted, and none is kept.
        std::uint32_t revision;
        if (in.Key("Revision")) in.U32(revision);
    }

    std::size_t vertexCount = 0;
    {
        ChunkCursor in = SelectChunk(riff, "vert");
        std::uint32_t revision = 0, count = 0;
        if (!in.Key("Vertex") || !in.Key("Type") || !in.Key("D3DVERTEX") || !in.Key("Revision") || !in.U32(revision) ||
            revision != kFieldRevision || !in.Key("Count") || !in.U32(count) || !in.Key("Data"))
            throw refuse(kVertexError);
        // A vertex buffer cannot be empty, and 16-bit indices reach no further than kMaxT3OVertices.
        if (count == 0 || count > kMaxT3OVertices || std::uint64_t{count} * 32 > in.Left()) throw refuse(kVertexError);
        std::vector<T3OVertex> vertices(count);
        for (T3OVertex& v : vertices)
            if (!in.Vector(v.position) || !in.Vector(v.normal) || !in.F32(v.tu) || !in.F32(v.tv))
                throw refuse(kVertexError);
        vertexCount = vertices.size();
        receiver.OnVertices(vertices);
    }

    std::uint32_t materialCount = 0;
    {
        ChunkCursor in = SelectChunk(riff, "mate");
        std::uint32_t revision = 0;
        if (!in.Key("Material") || !in.Key("Revision") || !in.U32(revision)) throw refuse(kMaterialError);
        if (revision < 0x100 || revision > 0x103) throw refuse(kMaterialRevisionError);
        if (!in.Key("Count") || !in.U32(materialCount) || !in.Key("Data")) throw refuse(kMaterialError);
        receiver.OnMaterialRevision(static_cast<T3OMaterialRevision>(revision));
        // Record by record, each handed over before the next is read. A count larger than the
        // records the bytes hold fails at the first record that runs out of bytes, so the loop and
        // what the receiver keeps stay bounded by the chunk.
        for (std::uint32_t i = 0; i < materialCount; ++i) {
            if (in.Left() < MinMaterialRecord(revision)) throw refuse(kMaterialError);
            T3OMaterial m;
            if (!ReadMaterial(in, revision, m)) throw refuse(kMaterialError);
            receiver.OnMaterial(m);
        }
    }

    {
        ChunkCursor in = SelectChunk(riff, "pset");
        std::uint32_t revision = 0, count = 0;
        if (!in.Key("PolygonSet") || !in.Key("Revision") || !in.U32(revision) || revision != kFieldRevision ||
            !in.Key("Count") || !in.U32(count) || !in.Key("Data"))
            throw refuse(kPolygonSetError);
        // As for the materials: a set that runs out of bytes ends the reading.
        for (std::uint32_t i = 0; i < count; ++i) {
            T3OPolygonSet set;
            std::uint32_t indexCount = 0;
            if (in.Left() < 8 || !in.U32(set.materialIndex) || !in.U32(indexCount) ||
                set.materialIndex >= materialCount || indexCount % 3 != 0 || std::uint64_t{indexCount} * 2 > in.Left())
                throw refuse(kPolygonSetError);
            set.indices.resize(indexCount);
            for (std::uint16_t& index : set.indices) {
                unsigned char b[2];
                in.Bytes(b, 2);
                index = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
                if (index >= vertexCount) throw refuse(kPolygonSetError);
            }
            receiver.OnPolygonSet(set);
        }
    }

    {
        ChunkCursor in = SelectChunk(riff, "bdsp");
        std::uint32_t revision = 0;
        plat::Vector3 centre;
        float radius = 0.0f;
        if (!in.Key("BoundingSphere") || !in.Key("Revision") || !in.U32(revision) || revision != kFieldRevision ||
            !in.Key("Center") || !in.Vector(centre) || !in.Key("Radius") || !in.F32(radius))
            throw refuse(kBoundingSphereError);
        receiver.OnBoundingSphere(centre, radius);
    }
}

}  // namespace type_a
}  // namespace trivale
