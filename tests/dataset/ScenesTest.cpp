// The show's scenes as the builder writes them: each read by the scene library and loaded by the
// renderer with every object it names, its cameras where the show's script looks for them, its
// materials naming exactly the show's pictures of its folder.
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "core/DataLoader.h"
#include "core/MemoryStream.h"
#include "lightwave/scene/LwScene.h"
#include "render/LWRenderableObjectCache.h"
#include "render/LWRenderableScene.h"
#include "render/T3OFile.h"
#include "tests/dataset/DataSetTestSupport.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/dataset/DataSet.h"
#include "tools/dataset/Ground.h"

namespace {

using namespace trivale;
using namespace trivale::type_a;
using dataset::DataSet;

struct SceneCase {
    const char* name;
    int version, lastFrame;
    std::vector<std::string> cameras;   // a version-1 scene has one, "Camera"
    std::vector<std::string> pictures;  // in the scene's folder
    std::size_t minTriangles, maxTriangles;
    double (*ground)(double x, double z);
};

// clang-format off
const SceneCase kScenes[] = {
    {"scenes\\skyhigh\\sky.lws", 3, 2250, {}, {"sky_gradient.jpg"}, 100, 2000, nullptr},
    {"scenes\\skydusk\\sky.lws", 3, 2250, {}, {"sky_gradient.jpg"}, 100, 2000, nullptr},
    {"scenes\\skynight\\sky.lws", 3, 2250, {}, {"sky_gradient.jpg", "star.png", "moon.png"}, 100, 3000, nullptr},
    {"scenes\\valley\\valley.lws", 3, 2250, {"Camera", "CamLow", "CamCrane"},
     {"snow_ground.png", "rock.jpg", "bark.jpg", "needles.dds", "cabin.bmp", "smoke.dds", "fence.png", "shadow.png",
      "env_sphere.png"}, 50000, 200000, dataset::ValleyHeight},
    {"scenes\\ridge\\ridge.lws", 3, 2100, {"Camera", "CamHigh"},
     {"snow_ground.png", "rock.jpg", "bark.jpg", "needles.dds", "lamp.png", "cabin.bmp", "fence.png"}, 50000, 200000,
     dataset::RidgeHeight},
    {"scenes\\lake\\lake.lws", 1, 1800, {"Camera"},
     {"ice.dds", "env_sphere.png", "shore.jpg", "bark.jpg", "needles.dds"}, 50000, 200000, dataset::LakeHeight},
};
// clang-format on

DataSet BuildScenes() {
    DataSet set;
    dataset::AddScenes(set, TV_CONTENT_DIR);
    return set;
}

// Hands out unloaded textures and keeps their names: the pictures are another part's files.
class NamingTextureCache : public CTextureCache {
public:
    using CTextureCache::GetTexture;
    CTexture* GetTexture(IDataLoader*, const std::string& name, bool, const std::string&, plat::Format) override {
        names_.insert(name);
        return &texture_;
    }
    std::set<std::string> names_;

private:
    CTexture texture_;
};

struct SceneFree {
    void operator()(LwScene* s) const { FreeLwScene(&s); }
};

// Every part of the data set comes out the same on every build.
TEST(DataSet, SameBytesOnEveryBuild) {
    EXPECT_TRUE(BuildScenes().Files() == BuildScenes().Files());
    EXPECT_TRUE(datasettest::SameOnASecondBuild<dataset::AddFonts>());
    EXPECT_TRUE(datasettest::SameOnASecondBuild<dataset::AddMusic>());
    EXPECT_TRUE(datasettest::SameOnASecondBuild<dataset::AddPictures>());
}

// The culling keeps a triangle seen from the side its vertex normals point to; only the needles show
// their inner side too, lit as the outer one. The sky dome is seen from its centre.
TEST(Scenes, EveryTriangleFacesTheWayItsNormalsPoint) {
    const DataSet scenes = BuildScenes();
    for (const auto& file : scenes.Files()) {
        if (file.first.size() < 4 || file.first.compare(file.first.size() - 4, 4, ".t3o") != 0) continue;
        SCOPED_TRACE(file.first);
        CMemoryStream stream;
        stream.Write(file.second.data(), std::uint32_t(file.second.size()));
        stream.Seek(0);
        const T3OObject object = CT3OReader().Read(stream);
        const bool sky = file.first.find("skydome") != std::string::npos;
        for (const T3OPolygonSet& set : object.polygonSets) {
            const std::string& material = object.materials[set.materialIndex].name;
            std::size_t away = 0;
            for (std::size_t k = 0; k < set.indices.size(); k += 3) {
                const T3OVertex* v[3] = {&object.vertices[set.indices[k]], &object.vertices[set.indices[k + 1]],
                                         &object.vertices[set.indices[k + 2]]};
                const plat::Vector3 face =
                    plat::Vec3Cross(v[1]->position - v[0]->position, v[2]->position - v[0]->position);
                if (plat::Vec3Length(face) < 1e-3f) continue;  // a sliver at a pole
                const plat::Vector3 normal = v[0]->normal + v[1]->normal + v[2]->normal;
                if (plat::Vec3Dot(face, sky ? v[0]->position * -1.0f : normal) <= 0) ++away;
            }
            if (material == "needles")
                EXPECT_EQ(away * 2, set.indices.size() / 3) << material;
            else
                EXPECT_EQ(away, 0u) << material;
        }
    }
}

class ScenesLoad : public rendertest::RenderTest {
protected:
    void SetUp() override { StartDriver(rendertest::Backend::Fake); }
};

TEST_F(ScenesLoad, EverySceneLoadsWithItsObjectsCamerasAndPictures) {
    const DataSet set = BuildScenes();
    set.WriteDirectory(data_.string());
    CFileSystemDataLoader loader(data_.string() + "/");
    for (const SceneCase& c : kScenes) {
        SCOPED_TRACE(c.name);
        const dataset::Bytes& text = set.Get(c.name);
        std::unique_ptr<LwScene, SceneFree> lw(
            LoadLwScene(reinterpret_cast<const char*>(text.data()), std::uint32_t(text.size()), 2, nullptr));
        ASSERT_NE(lw, nullptr);
        EXPECT_EQ(std::make_tuple(lw->ErrorCode, lw->Version, lw->FirstFrame, lw->LastFrame, lw->FramesPerSecond),
                  std::make_tuple(0, c.version, 0, c.lastFrame, 30.0));
        std::vector<std::string> cameras;
        for (LwSceneItem* it = lw->Op.GetFirstItem(lw.get(), LW_ITEM_CAMERA, nullptr); it;
             it = lw->Op.GetNextItem(lw.get(), it))
            cameras.push_back(it->Name);
        EXPECT_EQ(cameras, c.cameras);

        NamingTextureCache textures;
        CLWRenderableObjectCache objects;
        CLWRenderableScene scene;
        ASSERT_NO_THROW(scene.Load(&loader, c.name, &textures, &objects));
        std::size_t triangles = 0;
        for (const auto& entry : scene.GetSceneItems()) {
            const LwSceneObject* record = entry.second->GetItem()->Object;
            if (record == nullptr) continue;  // a light
            EXPECT_EQ(entry.second->GetObject() != nullptr, record->Kind == 0) << entry.first;
            if (entry.second->GetObject())
                for (const auto& polygons : entry.second->GetObject()->GetPolygonSets())
                    triangles += polygons->GetIndexCount() / 3;
        }
        EXPECT_GE(triangles, c.minTriangles);
        EXPECT_LE(triangles, c.maxTriangles);
        const std::string folder = std::string(c.name).substr(0, std::string(c.name).rfind('\\') + 1);
        std::set<std::string> pictures;
        for (const std::string& p : c.pictures) pictures.insert(folder + p);
        EXPECT_EQ(textures.names_, pictures);

        // Every camera stays above the ground and below the clouds over the whole scene.
        EXPECT_EQ(scene.GetCameraCount(), c.cameras.size());
        for (const std::string& name : c.cameras)
            for (double t = 0; t <= c.lastFrame / 30.0; t += 0.25) {
                CCamera* camera = scene.UpdateWithCamera(name, t, 5, 8000, 1.6f);
                ASSERT_NE(camera, nullptr);
                const plat::Vector3 eye = camera->GetPosition();
                const double above = eye.y - std::max(0.0, c.ground(eye.x, eye.z));
                ASSERT_TRUE(above >= 12 && eye.y <= 1600) << name << " at " << t << " s: " << eye.y << ", " << above;
            }
    }
}

// The lake and the night sky over it, as the show draws them, with the sky's moon.
struct LakeMoon {
    explicit LakeMoon(const std::string& root) : loader(root) {}
    void Load() {
        ASSERT_NO_THROW(lake.Load(&loader, "scenes\\lake\\lake.lws", &textures, &objects));
        ASSERT_NO_THROW(sky.Load(&loader, "scenes\\skynight\\sky.lws", &textures, &objects));
        for (const auto& item : sky.GetSceneItems())
            if (item.first.find("moon") != std::string::npos) moon = item.second.get();
        ASSERT_NE(moon, nullptr);
    }
    // From the moon card's space to clip space at t through the lake's camera; false without the camera.
    bool ToClip(double t, float aspect, plat::Matrix& toClip) {
        CCamera* camera = lake.UpdateWithCamera("Camera", t, 8, 8000, aspect);
        if (camera == nullptr) return false;
        camera->ApplyViewTransform();  // builds the view from the eye and the target
        sky.SetTime(t);
        // The sky is drawn about the eye: item, then the eye's translation, then the camera.
        const plat::Vector3 eye = camera->GetPosition();
        toClip = plat::MatrixMultiply(
            plat::MatrixMultiply(plat::MatrixMultiply(moon->GetWorld(), plat::MatrixTranslation(eye.x, eye.y, eye.z)),
                                 camera->GetViewMatrix()),
            camera->GetProjectionMatrix());
        return true;
    }
    CFileSystemDataLoader loader;
    NamingTextureCache textures;
    CLWRenderableObjectCache objects;
    CLWRenderableScene lake, sky;
    const CLWRenderableScene::CSceneItem* moon = nullptr;
};

// The moon is a flat disc: round on the screen only while its card lies parallel to the picture, as a
// card facing the eye away from the view's middle widens along the way to it. The night sky turns it
// with the lake's camera, through the lake's minute and the results over it; wherever it stands in the
// view its width and height agree, at the show's 16:10 view (the same at 4:3 and 16:10 screens).
TEST_F(ScenesLoad, TheMoonIsRoundWhereverTheLakeCameraSeesIt) {
    const DataSet set = BuildScenes();
    set.WriteDirectory(data_.string());
    LakeMoon moon(data_.string() + "/");
    ASSERT_NO_FATAL_FAILURE(moon.Load());
    const float aspect = 1.6f;
    int seen = 0;
    for (double t = 0; t < 60; t += 0.25) {
        SCOPED_TRACE(t);
        plat::Matrix toClip;
        ASSERT_TRUE(moon.ToClip(t, aspect, toClip));
        // Screen units alike across and down: x scaled by the view's aspect.
        auto screen = [&](float x, float y) {
            const plat::Vector4 c = plat::Vec3Transform(plat::MakeVector3(x, y, 0), toClip);
            return std::make_pair(c.w > 0, plat::MakeVector3(c.x / c.w * aspect, c.y / c.w, 0));
        };
        const auto middle = screen(0, 0);
        if (!middle.first || std::fabs(middle.second.x) > aspect || std::fabs(middle.second.y) > 1) continue;
        ++seen;
        const float r = 200;  // about the disc's radius on the card
        const float across = plat::Vec3Length(screen(r, 0).second - screen(-r, 0).second);
        const float down = plat::Vec3Length(screen(0, r).second - screen(0, -r).second);
        EXPECT_NEAR(across / down, 1.0f, 0.015f) << "at (" << middle.second.x << ", " << middle.second.y << ")";
    }
    EXPECT_GT(seen, 40);  // the moon is in view over the lake for a good part of its minute
}

// The overlay writes the program's title and subtitle at the top left of the view, over the 3D picture
// (ResourceScene: the title one large character in and one down from the view's top, the subtitle
// 2.2 large characters down, in the small font). The moon, drawn added to the sky, must never pass behind
// them nor touch them at either screen size the show is watched at. Boxes in the view's pixels
// (x0, y0, x1, y1): at 640 x 480 (a 640 x 400 view) fonts of 16 and 8 pixels, at 1024 x 768 (1024 x 640)
// of 20 and 11 x 14.
TEST_F(ScenesLoad, TheMoonStaysClearOfTheOverlaysTitles) {
    const DataSet set = BuildScenes();
    set.WriteDirectory(data_.string());
    LakeMoon moon(data_.string() + "/");
    ASSERT_NO_FATAL_FAILURE(moon.Load());
    const struct Screen {
        float width, height;
        float boxes[2][4];  // title, subtitle
    } screens[] = {
        {640, 400, {{16, 16, 16 + 11 * 16, 32}, {16, 35, 16 + 31 * 8, 43}}},
        {1024, 640, {{20, 20, 20 + 11 * 20, 40}, {20, 44, 20 + 31 * 11, 58}}},
    };
    const float kDisc = 0.41f * 450;  // the disc's radius on its card; the faint halo beyond may touch
    const float kMargin = 3;          // pixels between the disc's edge and a letter's cell
    for (const Screen& screen : screens) {
        SCOPED_TRACE(screen.width);
        float nearest = 1e9f, when = 0;
        // The lake's minute, the results over it from its 20th second included.
        for (double t = 0; t < 60; t += 0.05) {
            plat::Matrix toClip;
            ASSERT_TRUE(moon.ToClip(t, 1.6f, toClip));
            const plat::Vector4 c = plat::Vec3Transform(plat::MakeVector3(0, 0, 0), toClip);
            const plat::Vector4 edge = plat::Vec3Transform(plat::MakeVector3(kDisc, 0, 0), toClip);
            if (c.w <= 0) continue;
            const float x = (c.x / c.w + 1) * 0.5f * screen.width, y = (1 - c.y / c.w) * 0.5f * screen.height;
            const float r = std::hypot((edge.x / edge.w - c.x / c.w) * 0.5f * screen.width,
                                       (edge.y / edge.w - c.y / c.w) * 0.5f * screen.height);
            for (const auto& box : screen.boxes) {
                // From the disc's edge to the nearest point of the box; negative inside it.
                const float dx = std::max({box[0] - x, 0.0f, x - box[2]});
                const float dy = std::max({box[1] - y, 0.0f, y - box[3]});
                const float gap = std::hypot(dx, dy) - r;
                if (gap < nearest) nearest = gap, when = static_cast<float>(t);
            }
        }
        EXPECT_GE(nearest, kMargin) << "the moon's disc comes " << nearest << " px near an overlay title at " << when
                                    << " s";
    }
}

}  // namespace
