// LightWave scenes over the recording device: loading, time, motion through parent chains, cameras, and
// the states a frame sets.

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "core/MemoryStream.h"
#include "tests/core/TestUtil.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace lwrtest {
namespace {

std::string Object(const std::string& file, const Motion& m, const std::string& extra = "") {
    return Item("LoadObjectLayer 1 " + file, "Object", m, extra);
}

std::string Camera(const std::string& name, const Motion& m, const std::string& extra = "ZoomFactor 2\n") {
    return Item("AddCamera\nCameraName " + name, "Camera", m, extra);
}

class LwSceneFakeTest : public rendertest::RenderTest {
protected:
    void SetUp() override {
        StartDriver(rendertest::Backend::Fake);
        std::filesystem::create_directories(data_ / "scenes");
        for (const char* name : {"box_000.t3o", "glow_000.t3o", "box_001.t3o", "pivoted_000.t3o", "looped_000.t3o"}) {
            T3OMaterial material = Glowing(name, 1, 0, 0);
            if (name[0] == 'g') material.pass = RenderPass::Additive;
            WriteObject(data_ / "scenes" / name, Box({-1, -1, -1}, {1, 1, 1}, material));
        }
        // Two materials in one pass: each draw sets its own.
        T3OObject twoSets = Box({-1, -1, -1}, {1, 1, 1}, Glowing("front", 1, 0, 0));
        twoSets.materials.push_back(Glowing("back", 0, 1, 0));
        twoSets.polygonSets.push_back({1, twoSets.polygonSets[0].indices});
        WriteObject(data_ / "scenes" / "twosets_000.t3o", twoSets);
    }
    void TearDown() override {
        scene_.reset();
        rendertest::RenderTest::TearDown();
    }
    CLWRenderableScene& Load(const std::string& text) {
        std::ofstream(data_ / "scenes" / "test.lws", std::ios::binary) << text;
        scene_.reset(new CLWRenderableScene());
        scene_->Load("scenes\\test.lws", nullptr, nullptr);
        return *scene_;
    }
    // The origin of the nth item of a name.
    plat::Vector3 At(const std::string& name, int nth = 0) {
        const plat::Matrix& m = std::next(scene_->GetSceneItems().find(name), nth)->second->GetWorld();
        return plat::MakeVector3(m.m[3][0], m.m[3][1], m.m[3][2]);
    }

    std::unique_ptr<CLWRenderableScene> scene_;
};

TEST_F(LwSceneFakeTest, TimeWrapsIntoThePlayingRangeOnce) {
    const struct {
        int first, last;
        double t, wrapped;
    } rows[] = {
        {0, 60, 2.5, 0.5},   {30, 90, 0.5, 1.5}, {30, 90, 2.5, 1.5},
        {0, 60, -0.5, -0.5}, {10, 10, 5.0, 5.0},  // an empty range does not wrap (and divides by nothing)
        {90, 30, 0.5, 3.5},  {60, 0, 5.0, 3.0},   // a reversed one wraps by its negative length
    };
    for (const auto& row : rows) {
        CLWRenderableScene& scene = Load(Header(row.first, row.last) + Object("box.lwo", Motion{{0, 1, 2, 3}}) +
                                         Camera("Cam", Motion{{0, 1, 2, 3}}));
        EXPECT_NEAR(scene.WrapTime(row.t), row.wrapped, 1e-9) << row.first << " " << row.last << " " << row.t;
        // Objects and camera are placed at the same scene time, whatever the first frame.
        scene.Render(row.t, nullptr);
        const double x = std::clamp(row.wrapped, 0.0, 3.0);
        EXPECT_NEAR(At("box:Layer1").x, x, 1e-5) << row.t;
        EXPECT_NEAR(scene.UpdateWithCamera("", row.t, 1, 100, 1)->GetPosition().x, x, 1e-5) << row.t;
    }
}

TEST_F(LwSceneFakeTest, LoadPlacesItemsAndCameras) {
    Load(Header(0, 60) + Object("pivoted.lwo", Motion(), "PivotPosition 0 1 0\n") +
         Object("objects\\box.lwo", Motion{{10}}) + Object("box.lwo", Motion{{1}}, "ParentItem 10000001\n") +
         Object("looped.lwo", Motion{{1}}, "ParentItem 10000003\n") + "LoadObjectLayer 2 C:\\data\\Box.LWO\n" +
         "AddNullObject Empty\n" + Camera("Look", Motion{{5}}, "TargetItem 10000000\nZoomFactor 2\n") +
         Camera("B", Motion{{2}}, "ZoomFactor 1\n") + Camera("A", Motion{{1}}, "ZoomFactor 3.2\n") +
         Camera("A", Motion{{1}}, "ZoomFactor 3.2\n") + "BackdropColor 1 0.5 1.2\nAmbientColor 1 0.5 0\n" +
         "AmbientIntensity 0.5\n");
    const auto& items = scene_->GetSceneItems();
    EXPECT_EQ(items.count("box:Layer1"), 2u);  // equal names both kept, sharing one object
    EXPECT_EQ(items.find("box:Layer1")->second->GetObject(), std::next(items.find("box:Layer1"))->second->GetObject());
    EXPECT_EQ(items.count("Box:Layer2"), 1u);  // layer 2: box_001.t3o
    EXPECT_EQ(items.find("Empty")->second->GetObject(), nullptr);
    EXPECT_EQ(scene_->GetBackdropColor(), 0xFFFF7FFFu);  // a channel past 1.0 saturates
    EXPECT_FLOAT_EQ(scene_->GetAmbientColor().g, 0.25f);
    scene_->SetTime(0);
    EXPECT_NEAR(At("pivoted:Layer1").y, -1, 1e-5);  // the pivot is subtracted
    EXPECT_NEAR(At("box:Layer1", 0).x, 10, 1e-5);
    EXPECT_NEAR(At("box:Layer1", 1).x, 11, 1e-5);       // the parent's motion added
    EXPECT_TRUE(std::isfinite(At("looped:Layer1").x));  // a parent chain that loops stops
    // A camera's target is the target's origin without the target's own pivot.
    EXPECT_NEAR(scene_->UpdateWithCamera("Look", 0, 1, 100, 1)->GetTarget().y, 0.0f, 1e-6);
    EXPECT_EQ(scene_->GetCameraCount(), 3u);  // the later "A" replaced the earlier
    const struct {
        const char* name;
        float x, zoom;
    } cameras[] = {{"", 1, 3.2f}, {"C", 1, 3.2f}, {"B", 2, 1.0f}};  // an unknown name takes the first
    for (const auto& row : cameras) {
        CCamera* camera = scene_->UpdateWithCamera(row.name, 0, 1, 100, 1);
        ASSERT_NE(camera, nullptr);
        EXPECT_FLOAT_EQ(camera->GetPosition().x, row.x) << row.name;
        EXPECT_NEAR(camera->GetProjectionMatrix().m[1][1], row.zoom, 1e-5) << row.name;  // 1 / tan(fov / 2)
    }
    // Without a data loader the objects come from the scene's own directory.
    CLWRenderableScene direct;
    direct.LoadFromFile((data_ / "scenes" / "test.lws").string(), nullptr, nullptr);
    EXPECT_EQ(direct.GetSceneItems().size(), items.size());
}

TEST_F(LwSceneFakeTest, RefusedScenesAreErrors) {
    for (const std::string text : {"", "hello", "LWSC\n2\n", "LWSC\n"}) {
        CLWRenderableScene scene;
        CMemoryStream stream;
        stream.Write(text.data(), static_cast<std::uint32_t>(text.size()));
        stream.Seek(0);
        EXPECT_THROW(scene.Load(&stream, "", nullptr, nullptr, nullptr), EInvalidFileFormat) << text;
        EXPECT_FALSE(scene.IsLoaded());
        scene.Render(0, nullptr);  // nothing to draw, nothing to crash on
        EXPECT_EQ(scene.UpdateWithCamera("", 0, 1, 10, 1), nullptr);
    }
    EXPECT_THROW(Load(Header(0, 60) + Object("missing.lwo", Motion())), EFileOpenError);
    // By name, the message ends with the file the loader opened.
    EXPECT_EQ(tvtest::Thrown<EInvalidFileFormat>([&] { Load("LWSC\n2\n"); }),
              "LWS のロードに失敗しました. " + (data_ / "scenes/test.lws").string() +
                  " @trivale::type_a::CLWRenderableScene");
}

// Scenes of both versions for cutting: moving boxes and cameras.
std::string SceneV3() {
    std::string text = Header(0, 60);
    for (int i = 0; i < 3; ++i) text += Object("box.lwo", Motion{{0, 1.5, 2, 3}, {0, 1}, {i * 1.0}, {0, 0.5}});
    return text + Camera("Main", Motion{{0, 1}, {2}, {-10, -5}}) + Camera("Side", Motion{{-10}, {1}}) +
           "BackdropColor 0.2 0.3 0.5\n";
}

std::string SceneV1() {
    std::string text = "LWSC\n1\n\nFirstFrame 0\nLastFrame 60\nFramesPerSecond 30\n\n";
    for (int i = 0; i < 8; ++i) {
        text += "LoadObject objects\\box.lwo\nShowObject 7 7\nObjectMotion (unnamed)\n  9\n  2\n";
        text += "  " + std::to_string(i) + " 0 0 0 0 0 1 1 1\n  0 0 0 0 0\n";
        text += "  " + std::to_string(i) + " 1 0.5 0 0 0 1 1 1\n  30 1 0 0 0\nEndBehavior 1\n\n";
    }
    return text + "AddCamera\nCameraMotion (unnamed)\n  9\n  1\n  0 1 -10 0 0 0 1 1 1\n  0 0 0 0 0\n";
}

// A scene the library refuses is reported by its name with the library's error code, the code's text
// and, for a scene of a version it reads, that version; wherever the file was cut.
TEST_F(LwSceneFakeTest, ARefusedSceneGivesTheLibrarysReason) {
    const std::string path = (data_ / "scenes/test.lws").string();
    const std::string v3 = SceneV3(), v1 = SceneV1();
    // The show's scenes: the valley of version 3, the lake of version 1.
    const std::string valley = tvtest::ReadFile(TV_CONTENT_DIR "/scenes/valley/valley.lws");
    const std::string lake = tvtest::ReadFile(TV_CONTENT_DIR "/scenes/lake/lake.lws");
    ASSERT_GT(valley.size(), 8192u);
    ASSERT_GT(lake.size(), 8192u);
    const std::string damaged = "LightWave scene error 7 (bad file format) in a version ";
    const std::string notAScene = "LightWave scene error 7 (bad file format): not a LightWave scene of version 1 or 3";
    const struct {
        const char* name;
        std::string text, reason;
    } cases[] = {
        {"version 3 cut at 4096 bytes", valley.substr(0, 4096), damaged + "3 scene"},
        {"version 3 cut to half", valley.substr(0, valley.size() / 2), damaged + "3 scene"},
        {"version 1 cut inside a key", lake.substr(0, 4050), damaged + "1 scene"},
        {"version 2", "LWSC\n2\n" + v3.substr(7), notAScene},
        {"no version line", "LWSC\n", notAScene},
        {"empty", "", notAScene},
        {"text", "hello\n", notAScene},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartLog();
        EXPECT_EQ(tvtest::Thrown<EInvalidFileFormat>([&] { Load(c.text); }),
                  "LWS のロードに失敗しました. " + path + " @trivale::type_a::CLWRenderableScene");
        EXPECT_EQ(log_->Count("ERROR: " + path + ": " + c.reason + "\n"), 1) << log_->Text();
    }
    // Cut at any byte: a cut the library takes for a shorter scene loads, a cut inside an object's file
    // name asks for an object that is not there, and every refusal gives the library's reason for a
    // scene of the version the file has (whose number ends at byte 6).
    for (const std::string* whole : {&v3, &v1}) {
        RestartLog();
        std::vector<std::string> expected;
        int refused = 0, missing = 0;
        for (std::size_t cut = 0; cut < whole->size(); ++cut) {
            try {
                Load(whole->substr(0, cut));
            } catch (const EFileOpenError&) {
                ++missing;
                expected.push_back("object ");
            } catch (const EInvalidFileFormat&) {
                ++refused;
                expected.push_back(cut < 6 ? notAScene : damaged + (whole == &v3 ? "3" : "1") + " scene");
            }
        }
        std::vector<std::string> reported;
        for (const std::string& line : log_->Lines())
            if (line.rfind("ERROR: " + path + ": ", 0) == 0) reported.push_back(line.substr(path.size() + 9));
        ASSERT_EQ(reported.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] == "object ")
                EXPECT_EQ(reported[i].rfind("object ", 0), 0u) << reported[i];
            else
                EXPECT_EQ(reported[i], expected[i]);
        }
        EXPECT_GT(refused, 100);
        EXPECT_GT(missing, 0);
    }
}

// An object that cannot be read is reported by its own file; the line before names the scene that asked
// for it and the object file it names.
TEST_F(LwSceneFakeTest, AnObjectThatCannotBeReadNamesItsScene) {
    const std::string path = (data_ / "scenes/test.lws").string();
    WriteFile("scenes/bad_000.t3o", {'T', '3', 'O', 0});
    const struct {
        const char* name;
        std::string text, object, message;
    } cases[] = {
        {"missing, version 3", Header(0, 60) + Object("box.lwo", Motion()) + Object("objects\\missing.lwo", Motion()),
         "objects\\missing.lwo (layer 1) not loaded from scenes\\missing_000.t3o",
         (data_ / "scenes/missing_000.t3o").string()},
        {"missing, version 1", "LWSC\n1\n\nLoadObject gone.lwo\n",
         "gone.lwo (layer 1) not loaded from scenes\\gone_000.t3o", (data_ / "scenes/gone_000.t3o").string()},
        {"damaged", Header(0, 60) + Object("bad.lwo", Motion()),
         "bad.lwo (layer 1) not loaded from scenes\\bad_000.t3o", (data_ / "scenes/bad_000.t3o").string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartLog();
        try {
            Load(c.text);
            ADD_FAILURE() << "loaded";
        } catch (const EIOError& e) {
            EXPECT_NE(e.GetMessage().find(c.message), std::string::npos) << e.GetMessage();
        }
        EXPECT_EQ(log_->Count("ERROR: " + path + ": object " + c.object + "\n"), 1) << log_->Text();
    }
}

// Fog (its colours read back in the GL scene) on or off per item as its record says; the additive pass
// last, without depth writes.
TEST_F(LwSceneFakeTest, FrameStatesFogAndPassOrder) {
    for (int fogType : {1, 2}) {  // linear, and a kind not drawn
        Load(Header(0, 60) + Object("glow.lwo", Motion()) + Object("box.lwo", Motion()) +
             Object("box.lwo", Motion{{3}}, "UnaffectedByFog 1\n") + "FogType " + std::to_string(fogType) +
             "\nFogMinDistance 10\nFogMaxDistance 60\nFogColor 0.5 0.5 0.5\n");
        Journal();
        scene_->Render(0, nullptr);
        std::string seen;
        for (const std::string& line : Journal()) {
            if (line.rfind("DrawIndexedPrimitive", 0) == 0) seen += "draw; ";
            for (const char* state : {"(FogEnable", "(ZWriteEnable"})
                if (line.rfind(std::string("SetRenderState") + state, 0) == 0)
                    seen += line.substr(15, line.size() - 16) + "; ";
        }
        const std::string on = fogType == 1 ? "1" : "0";
        EXPECT_EQ(seen, std::string(fogType == 1 ? "FogEnable, 1; " : "") + "ZWriteEnable, 1; FogEnable, " + on +
                            "; draw; FogEnable, 0; draw; ZWriteEnable, 0; FogEnable, " + on +
                            "; draw; ZWriteEnable, 1; ")
            << fogType;
    }
}

// A mesh class of the program's own that draws in its own way: it counts the passes it is asked for.
// It can also claim a pass its materials lack, or none at all, and move its bounding sphere, also as
// it draws, as such a class may; it counts the times its sphere is asked.
class CountingObject : public CLWRenderableObject {
public:
    void RenderPolygonSets(Pass pass) override {
        passes.push_back(pass);
        shift += shiftPerDraw;
        CLWRenderableObject::RenderPolygonSets(pass);
    }
    bool UsesPass(Pass pass) override { return !idle && (pass == claimed || CLWRenderableObject::UsesPass(pass)); }
    void GetBoundingSphere(plat::Vector3* centre, float* radius) override {
        ++spheres;
        CLWRenderableObject::GetBoundingSphere(centre, radius);
        centre->x += shift;
    }
    std::vector<Pass> passes;
    Pass claimed = Pass::Opaque;
    bool idle = false;
    float shift = 0.0f, shiftPerDraw = 0.0f;
    int spheres = 0;
};

// Makes the counting kind and keeps it by name, as the cache keeps its own.
class CountingCache : public CLWRenderableObjectCache {
public:
    CLWRenderableObject* GetRenderableObject(IDataLoader* loader, const std::string& name,
                                             CTextureCache* textureCache) override {
        std::unique_ptr<CountingObject>& object = objects[name];
        if (!object) {
            object.reset(new CountingObject());
            object->Load(loader, name, textureCache);
        }
        return object.get();
    }
    std::map<std::string, std::unique_ptr<CountingObject>> objects;
};

// Items of one mesh drawn one after another: each is drawn by the mesh with every state its sets need,
// the same calls each time but for the placement, whether the mesh is one set or two.
TEST_F(LwSceneFakeTest, EveryItemIsDrawnByItsMeshWithItsStatesRepeatsToo) {
    for (const char* file : {"box", "twosets"}) {
        CountingCache cache;
        std::ofstream(data_ / "scenes" / "test.lws", std::ios::binary)
            << Header(0, 60) + Object(std::string(file) + ".lwo", Motion()) +
                   Object(std::string(file) + ".lwo", Motion{{3}}) + Object(std::string(file) + ".lwo", Motion{{6}});
        scene_.reset(new CLWRenderableScene());
        scene_->Load("scenes\\test.lws", nullptr, &cache);
        ASSERT_EQ(cache.objects.size(), 1u) << file;
        Journal();
        scene_->Render(0, nullptr);
        EXPECT_EQ(cache.objects.begin()->second->passes, std::vector<RenderPass>(3, RenderPass::Opaque)) << file;

        // The calls of each item, from its placement on; apart from the placement they are the same.
        std::vector<std::vector<std::string>> items;
        for (const std::string& line : Journal()) {
            if (line.rfind("SetTransform(World", 0) == 0) {
                items.emplace_back();
            } else if (!items.empty() && line.rfind("SetRenderState(AlphaBlendEnable", 0) == 0) {
                break;  // the next pass
            } else if (!items.empty()) {
                items.back().push_back(line);
            }
        }
        ASSERT_EQ(items.size(), 3u) << file;
        std::size_t materials = 0;
        for (const std::string& line : items[0]) materials += line.rfind("SetMaterial", 0) == 0;
        EXPECT_EQ(materials, std::string(file) == "box" ? 1u : 2u) << file;
        EXPECT_EQ(items[1], items[0]) << file;
        EXPECT_EQ(items[2], items[0]) << file;
    }
}

// The mesh is asked at every frame which passes it takes part in and where its sphere lies: what it
// answers now counts, not what it answered when the scene was first drawn.
TEST_F(LwSceneFakeTest, TheMeshIsAskedItsPassesAndSphereEveryFrame) {
    CountingCache cache;
    std::ofstream(data_ / "scenes" / "test.lws", std::ios::binary)
        << Header(0, 60) + Object("box.lwo", Motion{{0, 0, 20}}) + Camera("Cam", Motion());
    scene_.reset(new CLWRenderableScene());
    scene_->Load("scenes\\test.lws", nullptr, &cache);
    ASSERT_EQ(cache.objects.size(), 1u);
    CountingObject& box = *cache.objects.begin()->second;
    CCamera* camera = scene_->UpdateWithCamera("Cam", 0, 1, 100, 1);
    ASSERT_NE(camera, nullptr);

    scene_->Render(0, camera);
    EXPECT_EQ(box.passes, std::vector<RenderPass>{RenderPass::Opaque});

    box.passes.clear();
    box.claimed = RenderPass::Additive;
    scene_->Render(0, camera);
    EXPECT_EQ(box.passes, (std::vector<RenderPass>{RenderPass::Opaque, RenderPass::Additive}));

    // Moved far aside at the same time and view: culled, in every pass.
    box.passes.clear();
    box.shift = 1000.0f;
    const std::uint32_t tested = TestedItemCount;
    scene_->Render(0, camera);
    EXPECT_TRUE(box.passes.empty());
    EXPECT_EQ(TestedItemCount - tested, 2u);
}

// Culling asks each item's sphere once in each pass it is drawn in, and not for a mesh that takes part in
// none; a mesh whose sphere moves between passes is drawn by what it answers in each.
TEST_F(LwSceneFakeTest, EachPassCullsTheItemsItDraws) {
    CountingCache cache;
    std::ofstream(data_ / "scenes" / "test.lws", std::ios::binary)
        << Header(0, 60) + Object("box.lwo", Motion{{0, 0, 20}}) + Object("glow.lwo", Motion{{0, 0, 20}}) +
               Camera("Cam", Motion());
    scene_.reset(new CLWRenderableScene());
    scene_->Load("scenes\\test.lws", nullptr, &cache);
    ASSERT_EQ(cache.objects.size(), 2u);
    auto named = [&](const char* part) -> CountingObject& {
        for (auto& entry : cache.objects)
            if (entry.first.find(part) != std::string::npos) return *entry.second;
        throw std::runtime_error(part);
    };
    CountingObject& box = named("box");
    CountingObject& glow = named("glow");
    glow.claimed = RenderPass::Additive;  // its own pass alone
    CCamera* camera = scene_->UpdateWithCamera("Cam", 0, 1, 100, 1);
    ASSERT_NE(camera, nullptr);

    scene_->Render(0, camera);
    EXPECT_EQ(box.spheres, 1);
    EXPECT_EQ(glow.spheres, 1);

    // The box in two passes: asked in each. The glow in none: never asked.
    box.spheres = glow.spheres = 0;
    box.claimed = RenderPass::Additive;
    glow.idle = true;
    scene_->Render(0, camera);
    EXPECT_EQ(box.spheres, 2);
    EXPECT_EQ(glow.spheres, 0);
    EXPECT_EQ(box.passes, (std::vector<RenderPass>{RenderPass::Opaque, RenderPass::Opaque, RenderPass::Additive}));

    // Drawn in the opaque pass, the box moves out of sight: the additive pass culls it.
    box.passes.clear();
    box.shiftPerDraw = 1000.0f;
    const std::uint32_t tested = TestedItemCount, drawn = DrawnItemCount;
    scene_->Render(0, camera);
    EXPECT_EQ(box.passes, std::vector<RenderPass>{RenderPass::Opaque});
    EXPECT_EQ(TestedItemCount - tested, 2u);
    EXPECT_EQ(DrawnItemCount - drawn, 1u);

    // One pass drawn alone asks only the items of that pass.
    box.spheres = glow.spheres = 0;
    box.shift = box.shiftPerDraw = 0.0f;
    glow.idle = false;
    scene_->RenderPass(0, RenderPass::Additive, camera);
    EXPECT_EQ(box.spheres, 1);
    EXPECT_EQ(glow.spheres, 1);
    scene_->RenderPass(0, RenderPass::AlphaBlended, camera);
    EXPECT_EQ(box.spheres, 1);
    EXPECT_EQ(glow.spheres, 1);
}

}  // namespace
}  // namespace lwrtest
