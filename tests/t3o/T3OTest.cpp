#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "core/RIFFReader.h"
#include "render/T3OFile.h"
#include "tests/core/TestUtil.h"
#include "tools/T3OWriter.h"

using namespace trivale;
using namespace trivale::type_a;
using tools::T3OChunk;
using Rev = T3OMaterialRevision;

namespace t3otest {

// Stands for the renderable object that loads the file: errors name its class.
class CLoadingObject : public virtual CNonCopyable {};

// Little-endian fields, for chunks made by hand.
std::string U8(unsigned v) { return std::string(1, static_cast<char>(v & 0xFF)); }
std::string U16(unsigned v) { return U8(v) + U8(v >> 8); }
std::string U32(std::uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string F32(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return U32(bits);
}
std::string Str(const std::string& s) { return U32(static_cast<std::uint32_t>(s.size())) + s; }

// Four vertices, three materials (each field the revision holds set off its default), three sets, one empty;
// then the change, if any.
T3OObject Sample(Rev revision, void (*change)(T3OObject&) = nullptr) {
    T3OObject o;
    o.materialRevision = revision;
    for (int i = 0; i < 4; ++i)
        o.vertices.push_back(
            {{float(i & 1) * 2 - 1, float(i >> 1) * 3, 0.5f * float(i)}, {0, 0, -1}, float(i & 1), 0.25f * float(i)});
    T3OMaterial ground, glass, glow;
    ground.name = "ground", ground.textureName = "tex\\ground.png";
    ground.colours = {
        {0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.6f, 0.7f, 0.8f}, {0.25f, 0.5f, 0.75f, 1}, {0.9f, 1, 1.5f, -1}, 12.5f};
    glass.name = "glass", glass.pass = RenderPass::AlphaBlended;
    glass.colours.specular.a = glow.colours.specular.a = 1;
    glow.name = "glow";
    if (revision >= Rev::Rev101) glow.auxName = "aux", glow.pass = RenderPass::Additive;
    if (revision >= Rev::Rev102)
        glow.alphaTestEnable = 0, glow.alphaRef = 128, glow.alphaFunc = plat::Compare::LessEqual;
    if (revision >= Rev::Rev103) glow.reflectionTextureName = "env.png", glow.reflectionAmount = 0.5f;
    o.materials = {ground, glass, glow};
    o.polygonSets = {{0, {0, 1, 2, 2, 1, 3}}, {1, {}}, {2, {3, 2, 0}}};
    tools::FitBoundingSphere(o);
    if (change) change(o);
    return o;
}

T3OObject Read(const std::string& bytes, const CObject* origin = nullptr) {
    CMemoryStream stream;
    if (!bytes.empty()) stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return CT3OReader(origin).Read(stream);
}

// The object as written; or, when it should be refused, the writer's reason (the bytes left alone).
std::string Write(const T3OObject& o, bool refused = false) {
    std::string bytes = "untouched", error;
    EXPECT_NE(tools::WriteT3O(o, bytes, error), refused) << error;
    EXPECT_EQ(refused ? bytes : "untouched", "untouched");
    return refused ? error : bytes;
}

// The sample's chunks (canonical order) with one of them given other data, or another id.
std::string With(const std::string& id, const std::string& data, const std::string& newId = "") {
    std::vector<T3OChunk> chunks = tools::MakeT3OChunks(Sample(Rev::Rev103));
    for (T3OChunk& c : chunks)
        if (c.id == id) c = newId.empty() ? T3OChunk{id, data} : T3OChunk{newId, c.data};
    return tools::MakeT3OForm(chunks);
}

// Every field of the object, those the revision lacks too (written as the last revision holds them).
std::string Whole(T3OObject o) {
    const std::uint32_t revision = static_cast<std::uint32_t>(o.materialRevision);
    o.materialRevision = Rev::Rev103;
    return U32(revision) + tools::MakeT3OForm(tools::MakeT3OChunks(o));
}

const Rev kRevisions[] = {Rev::Rev100, Rev::Rev101, Rev::Rev102, Rev::Rev103};

const char* const kHeadError = "T3Oファイルヘッダエラー";
const char* const kVertexError = "T3Oファイルロード: 頂点読み込みエラー";
const char* const kMaterialError = "T3Oファイルロード: マテリアル読み込みエラー";
const char* const kRevisionError = "T3Oファイルロード: マテリアルRevisionエラー";
const char* const kSetError = "T3Oファイルロード: ポリゴンセット読み込みエラー";
const char* const kSphereError = "T3Oファイルロード: BoundingSphere読み込みエラー";
const char* const kNotT3O = "ファイルフォーマットエラー: T3Oファイルではありません.";
const char* const kNotRiff = "ファイルフォーマットエラー: RIFFファイルではありません.";

std::string Missing(const std::string& id) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "(0x%08X)", CRIFFReader::MakeFourCC(id[0], id[1], id[2], id[3]));
    return "指定されたRIFFチャンクが見つかりません - \"" + id + "\"" + hex;
}

std::string Zeros(std::size_t n) { return std::string(n, '\0'); }
// The leading fields of a vert, mate or pset chunk, up to its data; vertices name their type first.
std::string Lead(const std::string& id, std::uint32_t count, std::uint32_t revision = 0x100,
                 const char* type = "D3DVERTEX") {
    const std::string key = id == "vert" ? "Vertex" : id == "mate" ? "Material" : "PolygonSet";
    return Str(key) + (id == "vert" ? Str("Type") + Str(type) : "") + Str("Revision") + U32(revision) + Str("Count") +
           U32(count) + Str("Data");
}
std::string Sphere(const char* centreKey, std::uint32_t revision = 0x100) {
    return Str("BoundingSphere") + Str("Revision") + U32(revision) + Str(centreKey) + Zeros(12) + Str("Radius") +
           F32(1);
}
// A revision-0x101 material record of the given pass: name "m", no texture, no auxiliary name.
std::string Material101(std::uint32_t pass) { return Str("m") + Str("") + Str("") + U32(pass) + Zeros(17 * 4); }

}  // namespace t3otest

using namespace t3otest;

// Fields the revision lacks read as the format's defaults, which the sample leaves them at.
TEST(T3OFile, WrittenObjectsReadBackWholeAtEveryRevision) {
    for (Rev revision : kRevisions)
        EXPECT_EQ(Whole(Read(Write(Sample(revision)))), Whole(Sample(revision))) << unsigned(revision);
}

TEST(T3OFile, LayoutIsUnpaddedWithFormSizeOfTheRest) {
    const std::string bytes = Write(Sample(Rev::Rev103));
    EXPECT_EQ(bytes.substr(0, 12), "RIFF" + U32(static_cast<std::uint32_t>(bytes.size() - 8)) + "TV3O");
    // The head chunk is 35 bytes, an odd size, and the vertices follow it with no pad byte.
    EXPECT_EQ(bytes.substr(12, 8 + 35 + 4),
              "head" + U32(35) + Str("Trivale3DObject") + Str("Revision") + U32(0x100) + "vert");
}

TEST(T3OFile, AcceptedVariants) {
    const std::vector<T3OChunk> canonical = tools::MakeT3OChunks(Sample(Rev::Rev103));
    std::vector<T3OChunk> extra = canonical, trailing = canonical;
    extra.insert(extra.begin(), {"bdsp", "an earlier duplicate is replaced"});
    extra.insert(extra.begin() + 2, {"xtra", "unknown chunks are skipped"});
    for (T3OChunk& c : trailing) c.data += "trailing bytes are ignored";
    const std::pair<const char*, std::string> cases[] = {
        {"chunks in reverse order", tools::MakeT3OForm({canonical.rbegin(), canonical.rend()})},
        {"duplicate and unknown chunks", tools::MakeT3OForm(extra)},
        {"bytes after the fields", tools::MakeT3OForm(trailing)},
        {"head with another key than Revision", With("head", Str("Trivale3DObject") + Str("Version") + U32(7))},
        {"head with the magic text alone", With("head", Str("Trivale3DObject"))},
        {"key ended early by a NUL",
         With("vert", Str(std::string("Vertex\0ignored", 14)) + canonical[1].data.substr(10))},
    };
    for (const auto& [name, bytes] : cases) EXPECT_EQ(Whole(Read(bytes)), Whole(Sample(Rev::Rev103))) << name;
}

TEST(T3OFile, MaterialFieldsAsTheReaderTakesThem) {
    // Revision 0x100 stores the pass as a flag: any value but 0 is the alpha-blended pass. The stored
    // specular alpha (0.25 here) is not used.
    const std::string colours = Zeros(12 * 4) + F32(0.5f) + F32(0.5f) + F32(0.5f) + F32(0.25f) + F32(8);
    const T3OObject o =
        Read(With("mate", Lead("mate", 3) + Str("flag7") + Str("") + U8(7) + colours + Str("flag0") + Str("") + U8(0) +
                              colours + Str(std::string("cut\0here", 8)) + Str("") + U8(1) + colours));
    ASSERT_EQ(o.materials.size(), 3u);
    EXPECT_EQ(o.materialRevision, Rev::Rev100);
    EXPECT_EQ(std::make_tuple(o.materials[0].pass, o.materials[1].pass, o.materials[2].name),
              std::make_tuple(RenderPass::AlphaBlended, RenderPass::Opaque, "cut"));
    const plat::Material& c = o.materials[0].colours;
    EXPECT_EQ(std::make_tuple(c.specular.r, c.specular.a, c.power), std::make_tuple(0.5f, 1.0f, 8.0f));
}

TEST(T3OFile, HostileFilesAreRefusedWithTheChunksError) {
    // The sample has 4 vertices and 3 materials; its head chunk ends at byte 55.
    const std::string sample = Write(Sample(Rev::Rev103));
    const struct {
        const char* name;
        std::string bytes;
        std::string message;
        void (*change)(T3OObject&) = nullptr;  // makes the sample an object the writer refuses alike
    } cases[] = {
        {"not RIFF", "RIFX" + sample.substr(4), kNotRiff},
        {"WAVE form", sample.substr(0, 8) + "WAVE" + sample.substr(12), kNotT3O},
        {"no head", With("head", "", "gone"), Missing("head")},
        {"vert size past the file hides the chunks after it",
         sample.substr(0, 55) + "vert" + U32(0xFFFFFFF0u) + sample.substr(55 + 8), Missing("mate")},
        {"head magic differs", With("head", Str("Trivale3DObjekt") + Str("Revision") + U32(1)), kHeadError},
        {"head string runs past its chunk", With("head", U32(100) + "Trivale3DObject"), kHeadError},
        {"vert key differs", With("vert", Str("Vertices") + Lead("vert", 4).substr(10) + Zeros(128)), kVertexError},
        {"vert count 0", With("vert", Lead("vert", 0)), kVertexError, [](T3OObject& o) { o.vertices.clear(); }},
        {"vert count 65537", With("vert", Lead("vert", 65537) + Zeros(65537 * 32)), kVertexError,
         [](T3OObject& o) { o.vertices.resize(65537); }},
        {"vert count whose size wraps 32 bits", With("vert", Lead("vert", 0x08000000)), kVertexError},
        {"mate revision 0x0FF", With("mate", Lead("mate", 0, 0xFF)), kRevisionError},
        {"mate revision 0x104", With("mate", Lead("mate", 0, 0x104)), kRevisionError,
         [](T3OObject& o) { o.materialRevision = Rev(0x104); }},
        {"mate count past the data", With("mate", Lead("mate", 0xFFFFFFFFu, 0x101) + Material101(0)), kMaterialError},
        {"mate pass 32", With("mate", Lead("mate", 1, 0x101) + Material101(32)), kMaterialError,
         [](T3OObject& o) { o.materials[0].pass = RenderPass(32); }},
        {"mate name length 0xFFFFFFFF",
         With("mate", Lead("mate", 1, 0x101) + U32(0xFFFFFFFFu) + Material101(0).substr(5)), kMaterialError},
        {"pset count past the data", With("pset", Lead("pset", 0x20000000) + Zeros(8)), kSetError},
        {"pset material index = material count", With("pset", Lead("pset", 1) + U32(3) + U32(3) + Zeros(6)), kSetError,
         [](T3OObject& o) { o.polygonSets[0].materialIndex = 3; }},
        {"pset index = vertex count", With("pset", Lead("pset", 1) + U32(0) + U32(3) + U16(0) + U16(1) + U16(4)),
         kSetError, [](T3OObject& o) { o.polygonSets[2].indices[1] = 4; }},
        {"pset index count not a multiple of 3", With("pset", Lead("pset", 1) + U32(0) + U32(4) + Zeros(8)), kSetError,
         [](T3OObject& o) { o.polygonSets[0].indices.pop_back(); }},
        {"pset index count whose size wraps 32 bits",
         With("pset", Lead("pset", 1) + U32(0) + U32(0xFFFFFFFFu) + Zeros(6)), kSetError},
        {"bdsp key differs", With("bdsp", Sphere("Centre")), kSphereError},
    };
    const CLoadingObject origin;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The container's own errors name the RIFF reader; the rest name the loading object.
        const bool missing = c.message.find("RIFFチャンク") != std::string::npos,
                   container = missing || c.message == kNotRiff;
        try {
            Read(c.bytes, &origin);
            ADD_FAILURE() << "read without error";
        } catch (const EIOError& e) {
            EXPECT_EQ(e.GetMessage(), c.message);
            EXPECT_EQ(e.GetOrigin(), container ? "trivale::CRIFFReader" : GetClassName(origin));
            EXPECT_EQ(dynamic_cast<const EReadError*>(&e) != nullptr, missing);
            EXPECT_EQ(dynamic_cast<const EInvalidFileFormat*>(&e) != nullptr, !missing);
        }
        if (c.change) Write(Sample(Rev::Rev103, c.change), true);
    }
    // Without an origin the reader names itself.
    try {
        Read(With("head", ""));
    } catch (const EInvalidFileFormat& e) {
        EXPECT_EQ(e.GetOrigin(), "trivale::type_a::CT3OReader");
    }
}

TEST(T3OFile, EveryTruncationIsRefusedWithASpecifiedError) {
    const std::set<std::string> specified = {kNotRiff,        kNotT3O,         kHeadError,      kVertexError,
                                             kMaterialError,  kSetError,       kSphereError,    Missing("head"),
                                             Missing("vert"), Missing("mate"), Missing("pset"), Missing("bdsp")};
    for (Rev revision : kRevisions) {
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

// What the reader refuses is in the hostile files' table; here what the revision cannot hold.
TEST(T3OWriter, RefusesWhatTheRevisionCannotHold) {
    const std::tuple<Rev, void (*)(T3OObject&), const char*> cases[] = {
        {Rev::Rev103, [](T3OObject& o) { o.materials[0].textureName = std::string("a\0b", 3); }, "a name holds a NUL"},
        {Rev::Rev100, [](T3OObject& o) { o.materials[1].pass = RenderPass::Additive; }, "only passes 0 and 1"},
        {Rev::Rev100, [](T3OObject& o) { o.materials[0].auxName = "x"; }, "auxiliary"},
        {Rev::Rev101, [](T3OObject& o) { o.materials[0].alphaRef = 1; }, "alpha test settings need revision 0x102"},
        {Rev::Rev101, [](T3OObject& o) { o.materials[0].alphaFunc = plat::Compare::Always; }, "alpha test settings"},
        {Rev::Rev102, [](T3OObject& o) { o.materials[0].reflectionAmount = 0.5f; }, "reflection needs revision 0x103"},
    };
    for (const auto& [revision, change, error] : cases)
        EXPECT_NE(Write(Sample(revision, change), true).find(error), std::string::npos) << error;
}

TEST(T3OWriter, BoundingSphereEnclosesEveryVertexTightly) {
    T3OObject o = Sample(Rev::Rev103);
    o.vertices[2].position = {1e6f, -3.0f, 0.1f};
    tools::FitBoundingSphere(o);
    double farthest = 0;
    for (const T3OVertex& v : o.vertices)
        farthest = std::max(
            farthest, std::hypot(double(v.position.x) - o.boundingCentre.x, double(v.position.y) - o.boundingCentre.y,
                                 double(v.position.z) - o.boundingCentre.z));
    EXPECT_GE(double(o.boundingRadius), farthest);
    EXPECT_LE(double(o.boundingRadius), farthest * (1 + 1e-6));
}

TEST(T3OWriter, WritesFilesWholeOrNotAtAll) {
    const tvtest::TempDir scratch;
    ASSERT_FALSE(scratch.Path().empty());
    const std::string dir = scratch.Path(), path = dir + "/box_000.t3o";
    std::string error;
    ASSERT_TRUE(tools::WriteT3OFile(path, Sample(Rev::Rev102), error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Write(Sample(Rev::Rev102)));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    EXPECT_FALSE(tools::WriteT3OFile(dir + "/missing/box_000.t3o", Sample(Rev::Rev102), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}
