// Renderable objects and their cache over the recording device: what a load creates and what each
// pass sets and draws, in order.

#include "render/FrameCounters.h"
#include "render/LWRenderableObjectCache.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace lwrtest {
namespace {

// A glowing box, and the sample below beside its two images.
class LwObjectFakeTest : public rendertest::RenderTest {
protected:
    void SetUp() override {
        StartDriver(rendertest::Backend::Fake);
        WriteObject(data_ / "box_000.t3o", Box({-1, -1, -1}, {1, 1, 1}, Glowing("red", 1, 0, 0)));
        for (const char* image : {"objects/ground.tga", "objects/env.tga"})
            WriteFile(image, rendertest::FlatImage(2, 2));
        WriteObject(data_ / "objects" / "thing_000.t3o", Sample());
    }
    // Four vertices; materials textured, untextured with a half-strength sphere map, textured with a
    // full-strength sphere map and its own alpha test in pass 1, and additive with its first set empty.
    static T3OObject Sample() {
        T3OMaterial ground, chrome, glass, glow;
        ground.textureName = glass.textureName = "ground.tga";
        chrome.reflectionTextureName = glass.reflectionTextureName = "env.tga";
        chrome.reflectionAmount = 0.5f, glass.reflectionAmount = 1.0f;
        glass.pass = RenderPass::AlphaBlended, glow.pass = RenderPass::Additive;
        glass.alphaTestEnable = 0, glass.alphaRef = 128, glass.alphaFunc = plat::Compare::LessEqual;
        for (T3OMaterial* m : {&ground, &chrome, &glass, &glow}) m->colours.specular.a = 1;
        T3OObject o = Box({0, 0, 0}, {2, 0, 2}, ground, true);
        o.materials = {ground, chrome, glass, glow};
        const std::vector<std::uint16_t> tri{0, 1, 2};
        o.polygonSets = {{3, {}}, {0, tri}, {1, {0, 1, 2, 2, 1, 0}}, {2, tri}, {3, tri}};
        return o;
    }
};

// Per pass, the texture, sphere-map, alpha-test and index-buffer calls it makes, in order.
TEST_F(LwObjectFakeTest, LoadsOnceAndDrawsPassByPassWithTheSphereMapStage) {
    CTextureCache textures;
    CLWRenderableObject object;
    object.Load("objects\\thing_000.t3o", &textures);
    EXPECT_EQ(textures.GetCount(), 2u);  // named from the object's directory, each loaded once
    EXPECT_EQ(object.GetPassMask(), 0b111u);
    EXPECT_EQ(Journal("CreateIndexBuffer").size(), 4u);  // none for the empty set
    DrawnTriangleCount = 0;
    object.RenderAllPasses();
    EXPECT_EQ(DrawnTriangleCount, 5u);
    Journal();
    const struct {
        RenderPass pass;
        std::string calls;
    } rows[] = {
        // the textured set, then the untextured one with a half-strength sphere map on stage 0
        {RenderPass::Opaque,
         "SetTextureStageState(0, TexCoordIndex, 0); SetTexture(0, T1); SetTexture(1, null); "
         "SetRenderState(AlphaRef, 0); SetIndices(IB1); SetTexture(0, null); SetRenderState(TextureFactor, "
         "0x7F7F7F7F); SetTexture(0, T2); SetTextureStageState(0, TexCoordIndex, 0x40000); SetRenderState(AlphaRef, "
         "0); SetIndices(IB2); SetTextureStageState(0, TexCoordIndex, 0); SetTexture(1, null); "},
        // textured, the sphere map on stage 1, its own alpha test
        {RenderPass::AlphaBlended,
         "SetTextureStageState(0, TexCoordIndex, 0); SetTexture(0, T1); SetRenderState(TextureFactor, 0xFFFFFFFF); "
         "SetTexture(1, T2); SetTextureStageState(1, TexCoordIndex, 0x40000); SetRenderState(AlphaRef, 128); "
         "SetIndices(IB3); SetTextureStageState(1, TexCoordIndex, 0); SetTexture(1, null); "},
        {RenderPass::Multiplicative, ""},
        // the empty set skipped
        {RenderPass::Additive,
         "SetTexture(0, null); SetTexture(1, null); SetRenderState(AlphaRef, 0); SetIndices(IB4); SetTexture(1, "
         "null); "},
        {static_cast<RenderPass>(31), ""},
        {static_cast<RenderPass>(40), ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(object.UsesPass(row.pass), !row.calls.empty());
        object.RenderPass(row.pass);
        std::string calls;
        for (const std::string& line : Journal()) {
            for (const char* part : {"SetTexture(", "TexCoordIndex", "TextureFactor", "AlphaRef", "SetIndices"})
                if (line.find(part) != std::string::npos) calls += line + "; ";
        }
        EXPECT_EQ(calls, row.calls) << static_cast<int>(row.pass);
    }
}

TEST_F(LwObjectFakeTest, LoadRefusals) {
    WriteFile("bad_000.t3o", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    // The sample with its polygon sets at revision 0x101: the textures are asked for first, so a
    // missing texture cache is the error, as it is for the sound file.
    std::vector<tools::T3OChunk> chunks = tools::MakeT3OChunks(Sample());
    for (tools::T3OChunk& chunk : chunks)
        if (chunk.id == "pset") chunk.data[26] = 1;
    const std::string badSets = tools::MakeT3OForm(chunks);
    WriteFile("objects/sets_000.t3o", std::vector<unsigned char>(badSets.begin(), badSets.end()));
    const struct {
        const char* name;
        bool twice, cache;
        std::string message;
    } rows[] = {
        {"box_000.t3o", true, false, "二重にロードを行おうとしました. - ファイル \"box_000.t3o\""},
        {"objects/thing_000.t3o", false, false, "texture cache object が NULL です."},
        {"objects/sets_000.t3o", false, false, "texture cache object が NULL です."},
        // The reader's own refusals name the file the loader opened.
        {"objects/sets_000.t3o", false, true,
         "T3Oファイルロード: ポリゴンセット読み込みエラー - ファイル \"" + (data_ / "objects/sets_000.t3o").string() +
             "\""},
        {"bad_000.t3o", false, true,
         "ファイルフォーマットエラー: T3Oファイルではありません. - ファイル \"" + (data_ / "bad_000.t3o").string() +
             "\""},
    };
    for (const auto& row : rows) {
        CTextureCache textures;
        CLWRenderableObject object;
        if (row.twice) object.Load(row.name, nullptr);
        try {
            object.Load(row.name, row.cache ? &textures : nullptr);
            ADD_FAILURE() << row.name;
        } catch (const EException& e) {
            EXPECT_EQ(e.GetMessage(), row.message);
            EXPECT_EQ(e.GetOrigin(), "trivale::type_a::CLWRenderableObject");
        }
        EXPECT_EQ(object.IsLoaded(), row.twice);
    }
}

// A load that fails at the last chunk has made every part before it; a later load starts afresh.
TEST_F(LwObjectFakeTest, ALoadAfterAFailedOneStartsFromNothing) {
    std::vector<tools::T3OChunk> chunks = tools::MakeT3OChunks(Sample());
    for (tools::T3OChunk& chunk : chunks)
        if (chunk.id == "bdsp") chunk.data[4] = 'b';
    const std::string badSphere = tools::MakeT3OForm(chunks);
    WriteFile("objects/sphere_000.t3o", std::vector<unsigned char>(badSphere.begin(), badSphere.end()));
    CTextureCache textures;
    CLWRenderableObject object;
    EXPECT_THROW(object.Load("objects/sphere_000.t3o", &textures), EInvalidFileFormat);
    EXPECT_EQ(object.GetPolygonSets().size(), 5u);
    object.Load("objects/thing_000.t3o", &textures);
    EXPECT_EQ(object.GetPolygonSets().size(), 5u);
    EXPECT_EQ(object.GetPassMask(), 0b111u);
}

TEST_F(LwObjectFakeTest, CacheLoadsEachNameOnceAndForgetsFailures) {
    CLWRenderableObjectCache cache;
    std::filesystem::rename(data_ / "box_000.t3o", data_ / "late_000.t3o");
    EXPECT_THROW(cache.GetRenderableObject("Box_000.t3o", nullptr), EFileOpenError);
    EXPECT_EQ(cache.GetCount(), 0u);
    std::filesystem::rename(data_ / "late_000.t3o", data_ / "box_000.t3o");
    EXPECT_EQ(cache.GetRenderableObject("box_000.T3O", nullptr), cache.GetRenderableObject("Box_000.t3o", nullptr));
    EXPECT_EQ(Journal("CreateVertexBuffer").size(), 1u);
    cache.Clear();
    EXPECT_NE(cache.GetRenderableObject("box_000.t3o", nullptr), nullptr);
    EXPECT_EQ(Journal("CreateVertexBuffer").size(), 1u);
}

}  // namespace
}  // namespace lwrtest
