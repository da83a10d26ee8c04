#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "render/T3OFile.h"
#include "tools/T3OWriter.h"

using namespace trivale;
using namespace trivale::type_a;
using trivale::tools::MakeT3OChunks;
using trivale::tools::MakeT3OForm;
using trivale::tools::T3OChunk;

namespace t3otest {

// Stands for the renderable object that loads the file: errors name its class.
class CLoadingObject : public virtual CNonCopyable {};

// Little-endian fields, for chunks made by hand.
struct Fields {
    std::string bytes;
    Fields& U8(unsigned v) {
        bytes += static_cast<char>(v & 0xFF);
        return *this;
    }
    Fields& U16(unsigned v) { return U8(v).U8(v >> 8); }
    Fields& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Fields& F32(float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return U32(bits);
    }
    Fields& Str(const std::string& s) {
        U32(static_cast<std::uint32_t>(s.size()));
        bytes += s;
        return *this;
    }
    Fields& Raw(const std::string& s) {
        bytes += s;
        return *this;
    }
    operator std::string() const { return bytes; }
};

plat::ColourValue Colour(float r, float g, float b, float a) { return plat::ColourValue{r, g, b, a}; }

// Four vertices, three materials (using what the revision holds), three sets, one of them empty.
T3OObject Sample(T3OMaterialRevision revision) {
    const auto rev = static_cast<std::uint32_t>(revision);
    T3OObject o;
    o.materialRevision = revision;
    for (int i = 0; i < 4; ++i) {
        T3OVertex v;
        v.position = {float(i & 1) * 2 - 1, float(i >> 1) * 3, 0.5f * i};
        v.normal = {0.0f, 0.0f, -1.0f};
        v.tu = float(i & 1);
        v.tv = 0.25f * i;
        o.vertices.push_back(v);
    }
    T3OMaterial ground;
    ground.name = "ground";
    ground.textureName = "tex\\ground.png";
    ground.colours.diffuse = Colour(0.1f, 0.2f, 0.3f, 0.4f);
    ground.colours.ambient = Colour(0.5f, 0.6f, 0.7f, 0.8f);
    ground.colours.emissive = Colour(0.9f, 1.0f, 1.5f, -1.0f);
    ground.colours.specular = Colour(0.25f, 0.5f, 0.75f, 1.0f);
    ground.colours.power = 12.5f;
    T3OMaterial glass;
    glass.name = "glass";
    glass.pass = RenderPass::AlphaBlended;
    glass.colours.diffuse = Colour(1, 1, 1, 0.5f);
    glass.colours.specular.a = 1.0f;
    T3OMaterial glow;
    glow.name = "glow";
    glow.colours.specular.a = 1.0f;
    if (rev >= 0x101) {
        glow.auxName = "aux";
        glow.pass = RenderPass::Additive;
    }
    if (rev >= 0x102) {
        glow.alphaTestEnable = 0;
        glow.alphaRef = 128;
        glow.alphaFunc = plat::Compare::LessEqual;
    }
    if (rev >= 0x103) {
        glow.reflectionTextureName = "env.png";
        glow.reflectionAmount = 0.5f;
    }
    o.materials = {ground, glass, glow};
    o.polygonSets = {{0, {0, 1, 2, 2, 1, 3}}, {1, {}}, {2, {3, 2, 0}}};
    tools::FitBoundingSphere(o);
    return o;
}

T3OObject Read(const std::string& bytes, const CObject* origin = nullptr) {
    CMemoryStream stream;
    if (!bytes.empty()) stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    CT3OReader reader(origin);
    return reader.Read(stream);
}

std::string Write(const T3OObject& o) {
    std::string bytes, error;
    EXPECT_TRUE(tools::WriteT3O(o, bytes, error)) << error;
    return bytes;
}

// The sample's chunks with one of them given other data.
std::string With(const std::string& id, const std::string& data) {
    std::vector<T3OChunk> chunks = MakeT3OChunks(Sample(T3OMaterialRevision::Rev103));
    for (T3OChunk& c : chunks)
        if (c.id == id) c.data = data;
    return MakeT3OForm(chunks);
}

void ExpectColour(const plat::ColourValue& a, const plat::ColourValue& b, const std::string& what) {
    EXPECT_EQ(a.r, b.r) << what;
    EXPECT_EQ(a.g, b.g) << what;
    EXPECT_EQ(a.b, b.b) << what;
    EXPECT_EQ(a.a, b.a) << what;
}

void ExpectSame(const T3OObject& got, const T3OObject& want) {
    EXPECT_EQ(got.materialRevision, want.materialRevision);
    ASSERT_EQ(got.vertices.size(), want.vertices.size());
    for (std::size_t i = 0; i < want.vertices.size(); ++i) {
        const T3OVertex &g = got.vertices[i], &w = want.vertices[i];
        EXPECT_EQ(std::memcmp(&g, &w, sizeof g), 0) << "vertex " << i;
    }
    ASSERT_EQ(got.materials.size(), want.materials.size());
    for (std::size_t i = 0; i < want.materials.size(); ++i) {
        const T3OMaterial &g = got.materials[i], &w = want.materials[i];
        EXPECT_EQ(g.name, w.name);
        EXPECT_EQ(g.textureName, w.textureName);
        EXPECT_EQ(g.auxName, w.auxName);
        EXPECT_EQ(g.pass, w.pass);
        EXPECT_EQ(g.alphaTestEnable, w.alphaTestEnable);
        EXPECT_EQ(g.alphaRef, w.alphaRef);
        EXPECT_EQ(g.alphaFunc, w.alphaFunc);
        EXPECT_EQ(g.reflectionTextureName, w.reflectionTextureName);
        EXPECT_EQ(g.reflectionAmount, w.reflectionAmount);
        ExpectColour(g.colours.diffuse, w.colours.diffuse, w.name + " diffuse");
        ExpectColour(g.colours.ambient, w.colours.ambient, w.name + " ambient");
        ExpectColour(g.colours.emissive, w.colours.emissive, w.name + " emissive");
        ExpectColour(g.colours.specular, w.colours.specular, w.name + " specular");
        EXPECT_EQ(g.colours.power, w.colours.power);
    }
    ASSERT_EQ(got.polygonSets.size(), want.polygonSets.size());
    for (std::size_t i = 0; i < want.polygonSets.size(); ++i) {
        EXPECT_EQ(got.polygonSets[i].materialIndex, want.polygonSets[i].materialIndex);
        EXPECT_EQ(got.polygonSets[i].indices, want.polygonSets[i].indices);
    }
    EXPECT_EQ(got.boundingCentre.x, want.boundingCentre.x);
    EXPECT_EQ(got.boundingCentre.y, want.boundingCentre.y);
    EXPECT_EQ(got.boundingCentre.z, want.boundingCentre.z);
    EXPECT_EQ(got.boundingRadius, want.boundingRadius);
}

const T3OMaterialRevision kRevisions[] = {T3OMaterialRevision::Rev100, T3OMaterialRevision::Rev101,
                                          T3OMaterialRevision::Rev102, T3OMaterialRevision::Rev103};

}  // namespace t3otest

using namespace t3otest;

TEST(T3OFile, WrittenObjectsReadBackFieldForFieldAtEveryRevision) {
    for (T3OMaterialRevision revision : kRevisions) {
        SCOPED_TRACE(static_cast<unsigned>(revision));
        const T3OObject written = Sample(revision);
        const T3OObject read = Read(Write(written));
        ExpectSame(read, written);
        // Fields the revision lacks read as the format's defaults.
        const T3OMaterial& glow = read.materials[2];
        if (revision < T3OMaterialRevision::Rev102) {
            EXPECT_EQ(glow.alphaTestEnable, 1u);
            EXPECT_EQ(glow.alphaRef, 0u);
            EXPECT_EQ(glow.alphaFunc, plat::Compare::Greater);
        }
        if (revision < T3OMaterialRevision::Rev103) {
            EXPECT_EQ(glow.reflectionTextureName, "");
            EXPECT_EQ(glow.reflectionAmount, 0.0f);
        }
    }
}

TEST(T3OFile, LayoutIsUnpaddedWithFormSizeOfTheRest) {
    const std::string bytes = Write(Sample(T3OMaterialRevision::Rev103));
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 4), "TV3O");
    const std::string formSize = Fields().U32(static_cast<std::uint32_t>(bytes.size() - 8));
    EXPECT_EQ(bytes.substr(4, 4), formSize);
    // The head chunk is 35 bytes, an odd size, and the vertices follow it with no pad byte.
    EXPECT_EQ(bytes.substr(12, 8), Fields().Raw("head").U32(35).bytes);
    EXPECT_EQ(bytes.substr(12 + 8 + 35, 4), "vert");
}

TEST(T3OFile, AcceptedVariants) {
    const T3OObject sample = Sample(T3OMaterialRevision::Rev103);
    std::vector<T3OChunk> canonical = MakeT3OChunks(sample);
    const std::string vertexData = canonical[1].data.substr(4 + 6);  // after the "Vertex" key

    std::vector<T3OChunk> reversed(canonical.rbegin(), canonical.rend());
    std::vector<T3OChunk> extra = canonical;
    extra.insert(extra.begin(), {"bdsp", "an earlier duplicate is replaced"});
    extra.insert(extra.begin() + 2, {"xtra", "unknown chunks are skipped"});
    std::vector<T3OChunk> otherHeadKey = canonical;
    otherHeadKey[0].data = Fields().Str("Trivale3DObject").Str("Version").U32(7);
    std::vector<T3OChunk> bareHead = canonical;
    bareHead[0].data = Fields().Str("Trivale3DObject");
    std::vector<T3OChunk> nulInKey = canonical;
    nulInKey[1].data = Fields().Str(std::string("Vertex\0ignored", 14)).Raw(vertexData);
    std::vector<T3OChunk> trailing = canonical;
    for (T3OChunk& c : trailing) c.data += "trailing bytes are ignored";

    const struct {
        const char* name;
        std::vector<T3OChunk> chunks;
    } cases[] = {{"chunks in reverse order", reversed},
                 {"duplicate and unknown chunks", extra},
                 {"head with another key than Revision", otherHeadKey},
                 {"head with the magic text alone", bareHead},
                 {"key ended early by a NUL", nulInKey},
                 {"bytes after the fields", trailing}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSame(Read(MakeT3OForm(c.chunks)), sample);
    }
}

TEST(T3OFile, MaterialFieldsAsTheReaderTakesThem) {
    // Revision 0x100 stores the pass as a flag: any value but 0 is the alpha-blended pass.
    const std::string colours = Fields()
                                    .F32(1)
                                    .F32(1)
                                    .F32(1)
                                    .F32(1)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0)
                                    .F32(0.5f)
                                    .F32(0.5f)
                                    .F32(0.5f)
                                    .F32(0.25f)
                                    .F32(8);
    const std::string mate = Fields()
                                 .Str("Material")
                                 .Str("Revision")
                                 .U32(0x100)
                                 .Str("Count")
                                 .U32(3)
                                 .Str("Data")
                                 .Str("flag7")
                                 .Str("")
                                 .U8(7)
                                 .Raw(colours)
                                 .Str("flag0")
                                 .Str("")
                                 .U8(0)
                                 .Raw(colours)
                                 .Str(std::string("cut\0here", 8))
                                 .Str("")
                                 .U8(1)
                                 .Raw(colours);
    const T3OObject o = Read(With("mate", mate));
    ASSERT_EQ(o.materials.size(), 3u);
    EXPECT_EQ(o.materialRevision, T3OMaterialRevision::Rev100);
    EXPECT_EQ(o.materials[0].pass, RenderPass::AlphaBlended);
    EXPECT_EQ(o.materials[1].pass, RenderPass::Opaque);
    EXPECT_EQ(o.materials[2].name, "cut");
    // The stored specular alpha of 0.25 is not used.
    EXPECT_EQ(o.materials[0].colours.specular.a, 1.0f);
    EXPECT_EQ(o.materials[0].colours.specular.r, 0.5f);
    EXPECT_EQ(o.materials[0].colours.power, 8.0f);
}

namespace {

enum class Refusal { Format, MissingChunk, NotRiff };

const char* const kHeadError = "T3Oファイルヘッダエラー";
const char* const kVertexError = "T3Oファイルロード: 頂点読み込みエラー";
const char* const kMaterialError = "T3Oファイルロード: マテリアル読み込みエラー";
const char* const kRevisionError = "T3Oファイルロード: マテリアルRevisionエラー";
const char* const kSetError = "T3Oファイルロード: ポリゴンセット読み込みエラー";
const char* const kSphereError = "T3Oファイルロード: BoundingSphere読み込みエラー";
const char* const kNotT3O = "ファイルフォーマットエラー: T3Oファイルではありません.";
const char* const kNotRiff = "ファイルフォーマットエラー: RIFFファイルではありません.";

std::string Missing(const char* id, unsigned hex) {
    char text[128];
    std::snprintf(text, sizeof text, "指定されたRIFFチャンクが見つかりません - \"%s\"(0x%08X)", id, hex);
    return text;
}

std::string Without(const std::string& id) {
    std::vector<T3OChunk> chunks = MakeT3OChunks(Sample(T3OMaterialRevision::Rev103));
    for (T3OChunk& c : chunks)
        if (c.id == id) c.id = "gone";
    return MakeT3OForm(chunks);
}

Fields VertPrefix(std::uint32_t count) {
    return Fields()
        .Str("Vertex")
        .Str("Type")
        .Str("D3DVERTEX")
        .Str("Revision")
        .U32(0x100)
        .Str("Count")
        .U32(count)
        .Str("Data");
}
Fields MatePrefix(std::uint32_t revision, std::uint32_t count) {
    return Fields().Str("Material").Str("Revision").U32(revision).Str("Count").U32(count).Str("Data");
}
Fields PsetPrefix(std::uint32_t count) {
    return Fields().Str("PolygonSet").Str("Revision").U32(0x100).Str("Count").U32(count).Str("Data");
}
std::string Vertices(std::size_t n) { return std::string(n * 32, '\0'); }
// A revision-0x101 material of the given pass, without its last byte when cut.
std::string Material101(std::uint32_t pass, bool cut = false) {
    Fields f;
    f.Str("m").Str("").Str("").U32(pass);
    for (int i = 0; i < 17; ++i) f.F32(0);
    return cut ? f.bytes.substr(0, f.bytes.size() - 1) : f.bytes;
}

}  // namespace

TEST(T3OFile, HostileFilesAreRefusedWithTheChunksError) {
    // The sample has 4 vertices and 3 materials.
    const std::string sampleBytes = Write(Sample(T3OMaterialRevision::Rev103));
    const struct {
        const char* name;
        std::string bytes;
        Refusal kind;
        std::string message;
    } cases[] = {
        {"empty file", "", Refusal::NotRiff, kNotRiff},
        {"not RIFF", "RIFX" + sampleBytes.substr(4), Refusal::NotRiff, kNotRiff},
        {"WAVE form", "RIFF" + sampleBytes.substr(4, 4) + "WAVE" + sampleBytes.substr(12), Refusal::Format, kNotT3O},
        {"no head", Without("head"), Refusal::MissingChunk, Missing("head", 0x64616568)},
        {"no vert", Without("vert"), Refusal::MissingChunk, Missing("vert", 0x74726576)},
        {"no mate", Without("mate"), Refusal::MissingChunk, Missing("mate", 0x6574616D)},
        {"no pset", Without("pset"), Refusal::MissingChunk, Missing("pset", 0x74657370)},
        {"no bdsp", Without("bdsp"), Refusal::MissingChunk, Missing("bdsp", 0x70736462)},
        {"vert size past the file hides the chunks after it",
         sampleBytes.substr(0, 12 + 8 + 35) + Fields().Raw("vert").U32(0xFFFFFFF0u).bytes +
             sampleBytes.substr(12 + 8 + 35 + 8),
         Refusal::MissingChunk, Missing("mate", 0x6574616D)},

        {"head magic differs", With("head", Fields().Str("Trivale3DObjekt").Str("Revision").U32(1)), Refusal::Format,
         kHeadError},
        {"head empty", With("head", ""), Refusal::Format, kHeadError},
        {"head string runs past its chunk", With("head", Fields().U32(100).Raw("Trivale3DObject")), Refusal::Format,
         kHeadError},

        {"vert key differs",
         With("vert", Fields().Str("Vertices").Raw(VertPrefix(4).bytes.substr(10)).Raw(Vertices(4))), Refusal::Format,
         kVertexError},
        {"vert type differs",
         With("vert", Fields()
                          .Str("Vertex")
                          .Str("Type")
                          .Str("D3DLVERTEX")
                          .Str("Revision")
                          .U32(0x100)
                          .Str("Count")
                          .U32(4)
                          .Str("Data")
                          .Raw(Vertices(4))),
         Refusal::Format, kVertexError},
        {"vert revision 0x101",
         With("vert", Fields()
                          .Str("Vertex")
                          .Str("Type")
                          .Str("D3DVERTEX")
                          .Str("Revision")
                          .U32(0x101)
                          .Str("Count")
                          .U32(4)
                          .Str("Data")
                          .Raw(Vertices(4))),
         Refusal::Format, kVertexError},
        {"vert revision cut off", With("vert", Fields().Str("Vertex").Str("Type").Str("D3DVERTEX").Str("Revision")),
         Refusal::Format, kVertexError},
        {"vert count 0", With("vert", VertPrefix(0)), Refusal::Format, kVertexError},
        {"vert count 65537", With("vert", VertPrefix(65537).Raw(Vertices(65537))), Refusal::Format, kVertexError},
        {"vert count past the data", With("vert", VertPrefix(4).Raw(Vertices(4).substr(1))), Refusal::Format,
         kVertexError},
        {"vert count whose size wraps 32 bits", With("vert", VertPrefix(0x08000000)), Refusal::Format, kVertexError},

        {"mate key differs", With("mate", Fields().Str("Materials").Str("Revision").U32(0x103)), Refusal::Format,
         kMaterialError},
        {"mate revision cut off", With("mate", Fields().Str("Material").Str("Revision")), Refusal::Format,
         kMaterialError},
        {"mate revision 0x0FF", With("mate", MatePrefix(0xFF, 0)), Refusal::Format, kRevisionError},
        {"mate revision 0x104", With("mate", MatePrefix(0x104, 0)), Refusal::Format, kRevisionError},
        {"mate count past the data", With("mate", MatePrefix(0x101, 0xFFFFFFFFu).Raw(Material101(0))), Refusal::Format,
         kMaterialError},
        {"mate record cut short", With("mate", MatePrefix(0x101, 1).Raw(Material101(0, true))), Refusal::Format,
         kMaterialError},
        {"mate pass 32", With("mate", MatePrefix(0x101, 1).Raw(Material101(32))), Refusal::Format, kMaterialError},
        {"mate name length 0xFFFFFFFF",
         With("mate", MatePrefix(0x101, 1).U32(0xFFFFFFFFu).Raw(Material101(0).substr(5))), Refusal::Format,
         kMaterialError},

        {"pset key differs", With("pset", Fields().Str("PolygonSets")), Refusal::Format, kSetError},
        {"pset revision 0x101",
         With("pset", Fields().Str("PolygonSet").Str("Revision").U32(0x101).Str("Count").U32(0).Str("Data")),
         Refusal::Format, kSetError},
        {"pset count past the data", With("pset", PsetPrefix(0x20000000).U32(0).U32(0)), Refusal::Format, kSetError},
        {"pset material index = material count", With("pset", PsetPrefix(1).U32(3).U32(3).U16(0).U16(1).U16(2)),
         Refusal::Format, kSetError},
        {"pset index = vertex count", With("pset", PsetPrefix(1).U32(0).U32(3).U16(0).U16(1).U16(4)), Refusal::Format,
         kSetError},
        {"pset index count not a multiple of 3", With("pset", PsetPrefix(1).U32(0).U32(4).U16(0).U16(1).U16(2).U16(3)),
         Refusal::Format, kSetError},
        {"pset index count whose size wraps 32 bits",
         With("pset", PsetPrefix(1).U32(0).U32(0xFFFFFFFFu).U16(0).U16(1).U16(2)), Refusal::Format, kSetError},
        {"pset indices past the data", With("pset", PsetPrefix(1).U32(0).U32(6).U16(0).U16(1).U16(2).U16(0).U16(1)),
         Refusal::Format, kSetError},

        {"bdsp key differs",
         With("bdsp", Fields()
                          .Str("BoundingSphere")
                          .Str("Revision")
                          .U32(0x100)
                          .Str("Centre")
                          .F32(0)
                          .F32(0)
                          .F32(0)
                          .Str("Radius")
                          .F32(1)),
         Refusal::Format, kSphereError},
        {"bdsp revision 0x101",
         With("bdsp", Fields()
                          .Str("BoundingSphere")
                          .Str("Revision")
                          .U32(0x101)
                          .Str("Center")
                          .F32(0)
                          .F32(0)
                          .F32(0)
                          .Str("Radius")
                          .F32(1)),
         Refusal::Format, kSphereError},
        {"bdsp radius cut off",
         With("bdsp", Fields()
                          .Str("BoundingSphere")
                          .Str("Revision")
                          .U32(0x100)
                          .Str("Center")
                          .F32(0)
                          .F32(0)
                          .F32(0)
                          .Str("Radius")),
         Refusal::Format, kSphereError},
    };
    const CLoadingObject origin;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Read(c.bytes, &origin);
            ADD_FAILURE() << "read without error";
        } catch (const EInvalidFileFormat& e) {
            EXPECT_NE(c.kind, Refusal::MissingChunk);
            EXPECT_EQ(e.GetMessage(), c.message);
            EXPECT_EQ(e.GetOrigin(), c.kind == Refusal::NotRiff ? "trivale::CRIFFReader" : GetClassName(origin));
        } catch (const EReadError& e) {
            EXPECT_EQ(c.kind, Refusal::MissingChunk);
            EXPECT_EQ(e.GetMessage(), c.message);
            EXPECT_EQ(e.GetOrigin(), "trivale::CRIFFReader");
        }
    }
}

TEST(T3OFile, ErrorsNameTheReaderWithoutAnOrigin) {
    try {
        Read(With("head", ""));
        ADD_FAILURE() << "read without error";
    } catch (const EInvalidFileFormat& e) {
        EXPECT_EQ(e.GetOrigin(), "trivale::type_a::CT3OReader");
    }
}

TEST(T3OFile, EveryTruncationIsRefusedWithASpecifiedError) {
    const std::set<std::string> specified = {kNotRiff,
                                             kNotT3O,
                                             kHeadError,
                                             kVertexError,
                                             kMaterialError,
                                             kSetError,
                                             kSphereError,
                                             Missing("head", 0x64616568),
                                             Missing("vert", 0x74726576),
                                             Missing("mate", 0x6574616D),
                                             Missing("pset", 0x74657370),
                                             Missing("bdsp", 0x70736462)};
    for (T3OMaterialRevision revision : kRevisions) {
        const std::string bytes = Write(Sample(revision));
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            try {
                Read(bytes.substr(0, length));
                ADD_FAILURE() << "a file cut to " << length << " bytes was read";
            } catch (const EIOError& e) {
                EXPECT_TRUE(specified.count(e.GetMessage())) << length << ": " << e.GetMessage();
            }
        }
    }
}

TEST(T3OWriter, RefusesWhatTheReaderOrTheRevisionCannotTake) {
    const struct {
        const char* name;
        T3OMaterialRevision revision;
        std::function<void(T3OObject&)> change;
        const char* error;
    } cases[] = {
        {"no vertices", T3OMaterialRevision::Rev103, [](T3OObject& o) { o.vertices.clear(); }, "no vertices"},
        {"65537 vertices", T3OMaterialRevision::Rev103, [](T3OObject& o) { o.vertices.resize(65537); },
         "more vertices than 16-bit indices reach"},
        {"pass 32", T3OMaterialRevision::Rev103,
         [](T3OObject& o) { o.materials[0].pass = static_cast<RenderPass>(32); }, "render pass above 31"},
        {"NUL in a texture name", T3OMaterialRevision::Rev103,
         [](T3OObject& o) { o.materials[0].textureName = std::string("a\0b", 3); }, "a name holds a NUL byte"},
        {"material index past the materials", T3OMaterialRevision::Rev103,
         [](T3OObject& o) { o.polygonSets[0].materialIndex = 3; }, "polygon set 0: no such material"},
        {"index past the vertices", T3OMaterialRevision::Rev103, [](T3OObject& o) { o.polygonSets[2].indices[1] = 4; },
         "polygon set 2: index past the vertices"},
        {"index count not a multiple of 3", T3OMaterialRevision::Rev103,
         [](T3OObject& o) { o.polygonSets[0].indices.pop_back(); }, "polygon set 0: index count not a multiple of 3"},
        {"revision 0x104", T3OMaterialRevision::Rev103,
         [](T3OObject& o) { o.materialRevision = static_cast<T3OMaterialRevision>(0x104); },
         "material revision outside 0x100 to 0x103"},
        {"pass 2 at 0x100", T3OMaterialRevision::Rev100,
         [](T3OObject& o) { o.materials[1].pass = RenderPass::Additive; }, "revision 0x100 holds only passes 0 and 1"},
        {"auxiliary name at 0x100", T3OMaterialRevision::Rev100, [](T3OObject& o) { o.materials[0].auxName = "x"; },
         "no auxiliary name"},
        {"alpha reference at 0x101", T3OMaterialRevision::Rev101, [](T3OObject& o) { o.materials[0].alphaRef = 1; },
         "alpha test settings need revision 0x102"},
        {"alpha comparison at 0x101", T3OMaterialRevision::Rev101,
         [](T3OObject& o) { o.materials[0].alphaFunc = plat::Compare::Always; },
         "alpha test settings need revision 0x102"},
        {"reflection amount at 0x102", T3OMaterialRevision::Rev102,
         [](T3OObject& o) { o.materials[0].reflectionAmount = 0.5f; }, "reflection needs revision 0x103"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        T3OObject o = Sample(c.revision);
        c.change(o);
        std::string bytes = "untouched", error;
        EXPECT_FALSE(tools::WriteT3O(o, bytes, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(bytes, "untouched");
    }
}

TEST(T3OWriter, BoundingSphereEnclosesEveryVertex) {
    T3OObject o = Sample(T3OMaterialRevision::Rev103);
    o.vertices[2].position = {1e6f, -3.0f, 0.1f};
    tools::FitBoundingSphere(o);
    double farthest = 0;
    for (const T3OVertex& v : o.vertices) {
        const double dx = double(v.position.x) - o.boundingCentre.x, dy = double(v.position.y) - o.boundingCentre.y,
                     dz = double(v.position.z) - o.boundingCentre.z;
        farthest = std::max(farthest, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    EXPECT_GE(double(o.boundingRadius), farthest);
    EXPECT_LE(double(o.boundingRadius), farthest * (1 + 1e-6));
}

TEST(T3OWriter, WritesFilesWholeOrNotAtAll) {
    char pattern[] = "/tmp/t3otest-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, path = dir + "/box_000.t3o";
    const T3OObject o = Sample(T3OMaterialRevision::Rev102);
    std::string error;
    ASSERT_TRUE(tools::WriteT3OFile(path, o, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Write(o));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    EXPECT_FALSE(tools::WriteT3OFile(dir + "/missing/box_000.t3o", o, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    std::filesystem::remove_all(dir);
}
