// Renderable objects and their cache over the recording device: what a load creates and what each
// pass sets and draws, in order.

#include "render/FrameCounters.h"
#include "render/LWRenderableObjectCache.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace lwrtest {
namespace {

class LwObjectFakeTest : public rendertest::RenderTest {
protected:
    void SetUp() override { StartDriver(rendertest::Backend::Fake); }
    void Write(const std::string& name, const T3OObject& object) {
        std::filesystem::create_directories((data_ / name).parent_path());
        WriteObject(data_ / name, object);
    }
    std::vector<std::string> Lines(const std::string& prefix = "") { return Journal(prefix); }
};

// Three vertices, materials of every kind: textured, untextured with a sphere map at half strength,
// textured with a full-strength sphere map and its own alpha test in pass 1, and an additive one whose
// first set is empty.
T3OObject Sample() {
    T3OObject o;
    for (int i = 0; i < 3; ++i) o.vertices.push_back({{float(i), float(i % 2), 0}, {0, 0, -1}, 0, 0});
    T3OMaterial ground, chrome, glass, glow;
    ground.textureName = "ground.tga";
    chrome.reflectionTextureName = "env.tga";
    chrome.reflectionAmount = 0.5f;
    glass.pass = RenderPass::AlphaBlended;
    glass.textureName = "ground.tga";
    glass.reflectionTextureName = "env.tga";
    glass.reflectionAmount = 1.0f;
    glass.alphaTestEnable = 0, glass.alphaRef = 128, glass.alphaFunc = plat::Compare::LessEqual;
    glow.pass = RenderPass::Additive;
    for (T3OMaterial* m : {&ground, &chrome, &glass, &glow}) m->colours.specular.a = 1;
    o.materials = {ground, chrome, glass, glow};
    const std::vector<std::uint16_t> tri{0, 1, 2};
    o.polygonSets = {{3, {}}, {0, tri}, {1, {0, 1, 2, 2, 1, 0}}, {2, tri}, {3, tri}};
    tools::FitBoundingSphere(o);
    return o;
}

TEST_F(LwObjectFakeTest, LoadsOnceAndDrawsPassByPassWithTheSphereMapStage) {
    Write("objects/thing_000.t3o", Sample());
    for (const char* image : {"objects/ground.tga", "objects/env.tga"}) WriteFile(image, rendertest::FlatImage(2, 2));
    CTextureCache textures;
    CLWRenderableObject object;
    object.Load("objects\\thing_000.t3o", &textures);
    EXPECT_EQ(textures.GetCount(), 2u);  // named from the object's directory, each loaded once
    EXPECT_EQ(object.GetPassMask(), 0b111u);
    // The empty set has no index buffer.
    EXPECT_EQ(Lines("Create"),
              (std::vector<std::string>{"CreateVertexBuffer(96, 0x112) = VB1", "CreateTexture(2, 2, 2, Argb8888) = T1",
                                        "CreateTexture(2, 2, 2, Argb8888) = T2", "CreateIndexBuffer(6, 16) = IB1",
                                        "CreateIndexBuffer(12, 16) = IB2", "CreateIndexBuffer(6, 16) = IB3",
                                        "CreateIndexBuffer(6, 16) = IB4"}));
    DrawnTriangleCount = 0;
    object.RenderAllPasses();
    EXPECT_EQ(DrawnTriangleCount, 5u);

    using Calls = std::vector<std::string>;
    const std::string material =
        "SetMaterial(diffuse 0 0 0 0, ambient 0 0 0 0, specular 0 0 0 1, emissive 0 0 0 0, power 0)";
    const Calls base = {"SetTextureStageState(0, TexCoordIndex, 0)",
                        "SetTextureStageState(0, TextureTransformFlags, 0)", "SetTexture(0, T1)"};
    auto stage = [](int s, const std::string& rest) {
        return "SetTextureStageState(" + std::to_string(s) + ", " + rest;
    };
    auto sphereMap = [&](int s, const std::string& factor) {
        Calls l = {"SetRenderState(TextureFactor, " + factor + ")",
                   "SetTexture(" + std::to_string(s) + ", T2)",
                   stage(s, "ColourOp, 25)"),
                   stage(s, "ColourArg0, 1)"),
                   stage(s, "ColourArg1, 2)"),
                   stage(s, "ColourArg2, 3)"),
                   stage(s, "AlphaOp, 2)"),
                   stage(s, "AlphaArg1, 1)"),
                   stage(s, "TexCoordIndex, 0x40000)")};
        const std::string flip = ", 1 0 0 0 / 0 -1 0 0 / 0 0 1 0 / 0 0 0 1)";
        if (s == 0) l.push_back("SetTransform(Texture0" + flip);
        l.push_back("SetTransform(Texture1" + flip);
        l.push_back(stage(s, "TextureTransformFlags, 2)"));
        return l;
    };
    auto draw = [](const std::string& alpha, int ib, int triangles) {
        std::istringstream values(alpha);
        std::string enable, ref, func;
        values >> enable >> ref >> func;
        return Calls{"SetRenderState(AlphaTestEnable, " + enable + ")",
                     "SetRenderState(AlphaRef, " + ref + ")",
                     "SetRenderState(AlphaFunc, " + func + ")",
                     "SetFVF(0x112)",
                     "SetStreamSource(0, VB1, 0, 32)",
                     "SetIndices(IB" + std::to_string(ib) + ")",
                     "DrawIndexedPrimitive(TriangleList, 0, 0, 3, 0, " + std::to_string(triangles) + ")"};
    };
    auto restore = [&](int s) {
        return Calls{stage(s, "TexCoordIndex, 0)"), stage(s, "TextureTransformFlags, 0)"),
                     stage(s, "ColourOp, 4)"),      stage(s, "ColourArg1, 2)"),
                     stage(s, "ColourArg2, 0)"),    stage(s, "AlphaOp, 4)"),
                     stage(s, "AlphaArg1, 2)"),     stage(s, "AlphaArg2, 0)")};
    };
    Calls expected;
    for (const Calls& part : {// pass 0: the textured set, then the untextured one with its sphere map on stage 0
                              Calls{material},
                              base,
                              {"SetTexture(1, null)"},
                              draw("1 0 5", 1, 1),
                              Calls{material, "SetTexture(0, null)"},
                              sphereMap(0, "0x7F7F7F7F"),
                              draw("1 0 5", 2, 2),
                              restore(0),
                              Calls{"SetTexture(1, null)"},
                              // pass 1: textured, the sphere map on stage 1, its own alpha test
                              Calls{material},
                              base,
                              sphereMap(1, "0xFFFFFFFF"),
                              draw("0 128 4", 3, 1),
                              restore(1),
                              Calls{"SetTexture(1, null)"},
                              // pass 3 is unused; pass 2 skips its empty set
                              Calls{material, "SetTexture(0, null)", "SetTexture(1, null)"},
                              draw("1 0 5", 4, 1),
                              Calls{"SetTexture(1, null)"}}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(Lines(), expected);
}

TEST_F(LwObjectFakeTest, PassesDrawOnlyWhenAMaterialUsesThem) {
    Write("thing_000.t3o", Sample());
    for (const char* image : {"ground.tga", "env.tga"}) WriteFile(image, rendertest::FlatImage(2, 2));
    CTextureCache textures;
    CLWRenderableObject object;
    object.Load("thing_000.t3o", &textures);
    Lines();
    const struct {
        RenderPass pass;
        bool used;
        std::size_t draws;
    } rows[] = {{RenderPass::Opaque, true, 2},           {RenderPass::AlphaBlended, true, 1},
                {RenderPass::Additive, true, 1},         {RenderPass::Multiplicative, false, 0},
                {static_cast<RenderPass>(31), false, 0}, {static_cast<RenderPass>(40), false, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(object.UsesPass(row.pass), row.used);
        object.RenderPass(row.pass);
        const std::vector<std::string> lines = Lines();
        EXPECT_EQ(lines.empty(), !row.used) << static_cast<int>(row.pass);
        std::size_t draws = 0;
        for (const std::string& line : lines) draws += line.rfind("DrawIndexedPrimitive", 0) == 0;
        EXPECT_EQ(draws, row.draws) << static_cast<int>(row.pass);
    }
}

TEST_F(LwObjectFakeTest, LoadRefusals) {
    Write("plain_000.t3o", Box({-1, -1, -1}, {1, 1, 1}, Glowing("red", 1, 0, 0)));
    Write("textured_000.t3o", Sample());
    WriteFile("bad_000.t3o", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    const struct {
        const char* name;
        bool twice, cache;
        std::string message;
    } rows[] = {
        {"plain_000.t3o", true, false, "二重にロードを行おうとしました. - ファイル \"plain_000.t3o\""},
        {"textured_000.t3o", false, false, "texture cache object が NULL です."},
        {"bad_000.t3o", false, true, "ファイルフォーマットエラー: T3Oファイルではありません."},
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

TEST_F(LwObjectFakeTest, CacheLoadsEachNameOnceAndForgetsFailures) {
    CLWRenderableObjectCache cache;
    EXPECT_THROW(cache.GetRenderableObject("Box_000.t3o", nullptr), EFileOpenError);
    EXPECT_EQ(cache.GetCount(), 0u);
    Write("box_000.t3o", Box({-1, -1, -1}, {1, 1, 1}, Glowing("red", 1, 0, 0)));
    CLWRenderableObject* first = cache.GetRenderableObject("Box_000.t3o", nullptr);
    EXPECT_EQ(cache.GetRenderableObject("box_000.T3O", nullptr), first);
    EXPECT_EQ(Lines("CreateVertexBuffer").size(), 1u);
    cache.Clear();
    EXPECT_NE(cache.GetRenderableObject("box_000.t3o", nullptr), nullptr);
    EXPECT_EQ(Lines("CreateVertexBuffer").size(), 1u);
}

TEST_F(LwObjectFakeTest, BoundingSpheresShareOneMesh) {
    {
        CRenderableBoundingSphere a, b;
        EXPECT_TRUE(CRenderableBoundingSphere::HasSharedMesh());
        EXPECT_EQ(Lines("CreateVertexBuffer").size(), 1u);
        a.Render(plat::MakeVector3(1, 2, 3), 2);
        const std::vector<std::string> world = Lines("SetTransform(World");
        ASSERT_EQ(world.size(), 2u);  // scaled and moved, then restored
    }
    EXPECT_FALSE(CRenderableBoundingSphere::HasSharedMesh());
    CRenderableBoundingSphere c;
    EXPECT_EQ(Lines("CreateVertexBuffer").size(), 1u);
}

}  // namespace
}  // namespace lwrtest
