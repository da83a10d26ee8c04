// LightWave scenes over the recording device: loading through the scene library, time, motion through
// parent chains, cameras, and what a frame sets and draws.

#include <algorithm>
#include <cmath>

#include "core/MemoryStream.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace lwrtest {
namespace {

std::string Header(int first, int last) {
    return "LWSC\n3\n\nFirstFrame " + std::to_string(first) + "\nLastFrame " + std::to_string(last) +
           "\nFramesPerSecond 30\n\n";
}

std::string Object(const std::string& file, const Motion& m, const std::string& extra = "") {
    return "LoadObjectLayer 1 " + file + "\nObjectMotion\n" + Channels(m) + extra + "\n";
}

std::string Camera(const std::string& name, const Motion& m, const std::string& extra = "ZoomFactor 2\n") {
    return "AddCamera\nCameraName " + name + "\nCameraMotion\n" + Channels(m) + extra + "\n";
}

Motion Along(std::vector<double> x) {
    Motion m;
    m.x = std::move(x);
    return m;
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
    const CLWRenderableScene::CSceneItem& Item(const std::string& name) {
        return *scene_->GetSceneItems().find(name)->second;
    }
    static plat::Vector3 Origin(const plat::Matrix& m) { return plat::MakeVector3(m.m[3][0], m.m[3][1], m.m[3][2]); }

    std::unique_ptr<CLWRenderableScene> scene_;
};

TEST_F(LwSceneFakeTest, TimeWrapsIntoThePlayingRangeOnce) {
    const struct {
        int first, last;
        double t, wrapped;
    } rows[] = {
        {0, 60, 2.5, 0.5},   {30, 90, 0.5, 1.5}, {30, 90, 2.5, 1.5},
        {0, 60, -0.5, -0.5}, {10, 10, 5.0, 5.0},  // an empty range does not wrap (and divides by nothing)
        {60, 0, 5.0, 5.0},                        // nor does a reversed one
    };
    for (const auto& row : rows) {
        CLWRenderableScene& scene = Load(Header(row.first, row.last) + Object("box.lwo", Along({0, 1, 2, 3})) +
                                         Camera("Cam", Along({0, 1, 2, 3})));
        EXPECT_NEAR(scene.WrapTime(row.t), row.wrapped, 1e-9) << row.first << " " << row.last << " " << row.t;
        // Objects and camera are placed at the same scene time, whatever the first frame.
        scene.Render(row.t, nullptr);
        const CCamera* camera = scene.UpdateWithCamera("", row.t, 1, 100, 1);
        EXPECT_NEAR(Origin(Item("box:Layer1").GetWorld()).x, std::clamp(row.wrapped, 0.0, 3.0), 1e-5) << row.t;
        EXPECT_NEAR(const_cast<CCamera*>(camera)->GetPosition().x, std::clamp(row.wrapped, 0.0, 3.0), 1e-5) << row.t;
    }
}

TEST_F(LwSceneFakeTest, ItemsFollowPivotsAndParentChains) {
    Load(Header(0, 60) + Object("pivoted.lwo", Motion(), "PivotPosition 0 1 0\n") + Object("box.lwo", Along({10}), "") +
         Object("box.lwo", Along({1}), "ParentItem 10000001\n") +
         Object("looped.lwo", Along({1}), "ParentItem 10000003\n") +
         Camera("Look", Along({5}), "TargetItem 10000000\nZoomFactor 2\n"));
    scene_->SetTime(0);
    const struct {
        const char* item;
        int nth;  // among items of that name
        plat::Vector3 origin;
    } rows[] = {
        {"pivoted:Layer1", 0, {0, -1, 0}},  // the pivot is subtracted
        {"box:Layer1", 0, {10, 0, 0}},
        {"box:Layer1", 1, {11, 0, 0}},  // the parent's motion added
    };
    for (const auto& row : rows) {
        auto it = scene_->GetSceneItems().find(row.item);
        std::advance(it, row.nth);
        const plat::Vector3 at = Origin(it->second->GetWorld());
        EXPECT_NEAR(at.x, row.origin.x, 1e-5) << row.item << row.nth;
        EXPECT_NEAR(at.y, row.origin.y, 1e-5) << row.item << row.nth;
    }
    // A parent chain that loops stops: the item is placed, finitely.
    EXPECT_TRUE(std::isfinite(Origin(Item("looped:Layer1").GetWorld()).x));
    // A camera's target is the target's origin without the target's own pivot.
    CCamera* camera = scene_->UpdateWithCamera("Look", 0, 1, 100, 1);
    EXPECT_NEAR(camera->GetTarget().y, 0.0f, 1e-6);
    EXPECT_NEAR(camera->GetPosition().x, 5.0f, 1e-6);
}

TEST_F(LwSceneFakeTest, CamerasByNameWithTheirZoom) {
    Load(Header(0, 60) + Camera("B", Along({2}), "ZoomFactor 1\n") + Camera("A", Along({1}), "ZoomFactor 3.2\n") +
         Camera("A", Along({1}), "ZoomFactor 3.2\n"));
    EXPECT_EQ(scene_->GetCameraCount(), 2u);  // the later "A" replaced the earlier
    const struct {
        const char* name;
        float x, zoom;
    } rows[] = {{"", 1, 3.2f}, {"C", 1, 3.2f}, {"B", 2, 1.0f}};
    for (const auto& row : rows) {
        CCamera* camera = scene_->UpdateWithCamera(row.name, 0, 1, 100, 1);
        ASSERT_NE(camera, nullptr);
        EXPECT_FLOAT_EQ(camera->GetPosition().x, row.x) << row.name;
        EXPECT_NEAR(camera->GetProjectionMatrix().m[1][1], row.zoom, 1e-5) << row.name;  // 1 / tan(fov / 2)
    }
    Load(Header(0, 60) + Object("box.lwo", Motion()));
    EXPECT_EQ(scene_->UpdateWithCamera("", 0, 1, 100, 1), nullptr);
    EXPECT_EQ(scene_->GetDirectionalLight(0), nullptr);
}

TEST_F(LwSceneFakeTest, LoadNamesObjectsAndReadsTheSettings) {
    Load(Header(0, 60) + Object("objects\\box.lwo", Motion()) + "LoadObjectLayer 2 C:\\data\\Box.LWO\n" +
         Object("box.lwo", Motion()) + "AddNullObject Empty\nBackdropColor 1 0.5 1.2\n" +
         "AmbientColor 1 0.5 0\nAmbientIntensity 0.5\n");
    const auto& items = scene_->GetSceneItems();
    EXPECT_EQ(items.count("box:Layer1"), 2u);  // equal names both kept
    EXPECT_EQ(items.count("Box:Layer2"), 1u);  // layer 2: box_001.t3o
    EXPECT_EQ(items.find("box:Layer1")->second->GetObject(), std::next(items.find("box:Layer1"))->second->GetObject());
    EXPECT_EQ(Item("Empty").GetObject(), nullptr);
    EXPECT_EQ(scene_->GetBackdropColor(), 0xFFFF7FFFu);  // a channel past 1.0 saturates
    EXPECT_FLOAT_EQ(scene_->GetAmbientColor().g, 0.25f);
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
}

TEST_F(LwSceneFakeTest, MotionIsEvaluatedOncePerTime) {
    Load(Header(0, 60) + Object("box.lwo", Along({0, 1})));
    for (double t : {0.5, 0.5, 2.5}) scene_->SetTime(t);  // 2.5 s is 0.5 s again
    EXPECT_EQ(scene_->GetMotionEvaluationCount(), 1u);
    scene_->Render(0.5, nullptr);
    EXPECT_EQ(scene_->GetMotionEvaluationCount(), 1u);
    scene_->ResetTimeCache();
    scene_->SetTime(0.5);
    EXPECT_EQ(scene_->GetMotionEvaluationCount(), 2u);
}

// The states of a frame: fog from the scene, per item as its record says; the passes in the order
// opaque, alpha, multiplicative, additive, the additive one without depth writes.
TEST_F(LwSceneFakeTest, FrameStatesFogAndPassOrder) {
    const struct {
        int fogType;
        std::vector<std::string> states;
    } rows[] = {
        {1,
         {"FogEnable, 1",
          "RangeFogEnable, 0",
          "FogVertexMode, 3",
          "FogTableMode, 0",
          "FogStart, 10",
          "FogEnd, 60",
          "FogColour, 0xFF7F7F7F",
          "ZWriteEnable, 1",
          "AlphaBlendEnable, 0",
          "FogEnable, 1",
          "draw",
          "FogEnable, 0",
          "draw",
          "AlphaBlendEnable, 1",
          "AlphaBlendEnable, 1",
          "ZWriteEnable, 0",
          "AlphaBlendEnable, 1",
          "FogEnable, 1",
          "draw",
          "ZWriteEnable, 1"}},
        {2,
         {"ZWriteEnable, 1", "AlphaBlendEnable, 0", "FogEnable, 0", "draw", "FogEnable, 0", "draw",
          "AlphaBlendEnable, 1", "AlphaBlendEnable, 1", "ZWriteEnable, 0", "AlphaBlendEnable, 1", "FogEnable, 0",
          "draw", "ZWriteEnable, 1"}},
    };
    for (const auto& row : rows) {
        Load(Header(0, 60) + Object("glow.lwo", Motion()) + Object("box.lwo", Motion()) +
             Object("box.lwo", Along({3}), "UnaffectedByFog 1\n") + "FogType " + std::to_string(row.fogType) +
             "\nFogMinDistance 10\nFogMaxDistance 60\nFogColor 0.5 0.5 0.5\n");
        Journal();
        scene_->Render(0, nullptr);
        std::vector<std::string> seen;
        for (const std::string& line : Journal()) {
            if (line.rfind("DrawIndexedPrimitive", 0) == 0) seen.push_back("draw");
            for (const char* state : {"Fog", "RangeFog", "AlphaBlendEnable", "ZWriteEnable"}) {
                const std::string prefix = std::string("SetRenderState(") + state;
                if (line.rfind(prefix, 0) == 0) seen.push_back(line.substr(15, line.size() - 16));
            }
        }
        EXPECT_EQ(seen, row.states) << row.fogType;
    }
}

}  // namespace
}  // namespace lwrtest
