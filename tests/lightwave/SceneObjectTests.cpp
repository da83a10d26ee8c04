// The scene loader's object loading: objects written by the library as LWO2 files are opened for
// the items that name them, with the post-load passes of the scene's options; items naming the same
// file share one loaded object.
#include "tests/lightwave/SceneTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace lwobj;

// A surface with a planar colour image along z and the clip it names.
void AddTexturedSurface(LwObject* o, const char* name) {
    Body block;
    block.Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("COLR")));
    block.Sub("TMAP", Body().Sub("CNTR", Body().Vec(0, 0, 0).VX(0)).Sub("SIZE", Body().Vec(2, 2, 1).VX(0)));
    block.Sub("PROJ", Body().U2(0)).Sub("AXIS", Body().U2(2)).Sub("IMAG", Body().VX(1));
    SetSurface(o, name, Body().Sub("COLR", Body().Vec(1, 1, 1).VX(0)).Sub("BLOK", block));
    const Bytes clip = Body().Sub("STIL", Body().S0("images/a.tga")).Written();
    o->Op.SetClipData(o, o->Op.AddClip(o, 1), (int32_t)clip.size(), clip.data());
}

// A scene whose objects are LWO2 files written by the library opens them, each triangulated with
// normals and texture coordinates at every corner.
TEST(SceneObjects, LoadedTriangulatedAndShared) {
    ObjectPtr built = NewObject();
    AddLayerWithPoints(built.get(), {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}});
    AddTexturedSurface(built.get(), "S");
    AddPolygon(built.get(), {0, 1, 2, 3, 4, 5}, "S");
    const int32_t weights = built->Op.AddVmap(built.get(), LwMakeId('W', 'G', 'H', 'T'), "Weights", 1);
    const float half = 0.5f, one = 1.0f, moved[3] = {0, 0, 1};
    built->Op.SetVmapValue(built.get(), weights, 2, &half);
    built->Op.SetVmapValue(built.get(), weights, 4, &one);
    built->Op.SetVmapValue(built.get(), built->Op.AddVmap(built.get(), LwMakeId('M', 'O', 'R', 'F'), "Smile", 3), 1,
                           moved);
    AddLayerWithPoints(built.get(), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    built->Layers->Next->LayerNumber = 1;
    AddPolygon(built.get(), {0, 1, 2, 3}, "S");
    TempPath path;
    ASSERT_EQ(WriteLwo2File(built.get(), path.c_str(), 0), LW_ERR_NONE);
    const std::string text = "LWSC\n3\nLoadObjectLayer 1 " + path.path + "\nLoadObjectLayer 2 " + path.path +
                             "\nLoadObjectLayer 1 " + path.path + "\nAddBone\nBoneWeightMapName Weights\n";
    LwLoadOptions options{};
    options.Flags = LW_LOAD_TRIANGULATE | LW_LOAD_NORMALS | LW_LOAD_TEXCOORDS;
    options.TexChannelMask = 1;
    options.TexLayerCount = 1;
    LwScene* scene = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_LOAD_OBJECTS, &options);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->ErrorCode, LW_ERR_NONE);
    int items = 0;
    for (LwSceneItem* item = scene->FirstItem; item && item->Type == LW_ITEM_OBJECT; item = item->Next, ++items) {
        LwObject* object = item->Object->Object;
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(item->LoadStatus, 0);
        for (int32_t i = 0; i < object->Op.GetNumPolygons(object); ++i) {
            const LwPolygon* polygon = object->Op.GetPolygon(object, i);
            EXPECT_EQ(polygon->VertexCount(), 3);
            EXPECT_EQ(polygon->NormalIndices.size(), 3u);
            ASSERT_FALSE(polygon->TexChannels.empty());
            EXPECT_EQ(polygon->TexChannels[0].Indices.size(), 3u);
        }
        EXPECT_EQ(object->Op.GetNumPolygons(object), items == 1 ? 2 : 4);
    }
    EXPECT_EQ(items, 3);
    EXPECT_EQ(scene->FirstItem->Object->Object->Layers, scene->FirstItem->Next->Object->Object->Layers);
    // The dump counts the layer's vertex maps by type; the bone lists the points of its weight map.
    const std::string dump = lwtest::Dump(scene);
    const std::string obj2 =
        "\t\t\tObj2 \n\t\t\t{\n\t\t\t\tLayer idx 0  layer_no 0  name []\n\t\t\t\tNumberOfPolygons  4\n"
        "\t\t\t\tNumberOfPoints    6\n\t\t\t\tNumberOfNormals   1\n\t\t\t\tNumberOfUVCoords  6\n"
        "\t\t\t\tNumberOfColors    0\n\t\t\t\tNumberOfSurfaces  1\n\t\t\t\tNumberOfWeights   1\n"
        "\t\t\t\tNumberOfMorphs    1\n\t\t\t}\n\t\t}\n\t}\n\n\tItem <BONE>\n";
    EXPECT_NE(dump.find(obj2), std::string::npos) << dump;
    const std::string weightBlock =
        "\t\t\tBoneRestEnd           0.000000 0.000000 1.000000\n\t\t\tWeight \n\t\t\t{\n"
        "\t\t\t\t2    0.500000\n\t\t\t\t4    1.000000\n\t\t\t}\n\t\t}\n\t}\n\n\tFog \n";
    EXPECT_NE(dump.find(weightBlock), std::string::npos) << dump;
    FreeLwScene(&scene);
}

}  // namespace
