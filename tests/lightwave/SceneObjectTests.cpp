// The scene loader's object loading: objects written by the library as LWO2 files are opened for
// the items that name them, with the post-load passes of the scene's options; items naming the same
// file share one loaded object.
#include "lightwave/LwScene.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <string>

namespace {

using namespace lwobj;

struct TempPath {
    std::string path;
    TempPath() {
        char name[] = "/tmp/lwsceneXXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
    }
    ~TempPath() { unlink(path.c_str()); }
    const char* c_str() const { return path.c_str(); }
};

// Big-endian pieces of chunk bodies.
struct Bytes : std::vector<uint8_t> {
    Bytes& Text(const char* s, size_t n) {
        insert(end(), s, s + n);
        return *this;
    }
    Bytes& U2(uint16_t v) { return push_back((uint8_t)(v >> 8)), push_back((uint8_t)v), *this; }
    Bytes& U4(uint32_t v) { return U2((uint16_t)(v >> 16)).U2((uint16_t)v); }
    Bytes& F4(float f) {
        uint32_t bits;
        memcpy(&bits, &f, 4);
        return U4(bits);
    }
};

// A surface with a planar colour image along z and the clip it names.
void AddTexturedSurface(LwObject* o, const char* name) {
    Bytes body;
    body.Text("COLR", 4).U2(14).F4(1).F4(1).F4(1).U2(0);
    body.Text("BLOK", 4).U2(88);
    body.Text("IMAP", 4).U2(12).Text("\x80\0", 2).Text("CHAN", 4).U2(4).Text("COLR", 4);
    body.Text("TMAP", 4).U2(40);
    body.Text("CNTR", 4).U2(14).F4(0).F4(0).F4(0).U2(0).Text("SIZE", 4).U2(14).F4(2).F4(2).F4(1).U2(0);
    body.Text("PROJ", 4).U2(2).U2(0).Text("AXIS", 4).U2(2).U2(2).Text("IMAG", 4).U2(2).U2(1);
    o->Op.AddSurface(o, name);
    o->Op.SetSurfaceData(o, name, (int32_t)body.size(), body.data());
    Bytes clip;
    clip.Text("STIL", 4).U2(14).Text("images/a.tga\0\0", 14);
    o->Op.SetClipData(o, o->Op.AddClip(o, 1), (int32_t)clip.size(), clip.data());
}

// A scene whose objects are LWO2 files written by the library opens them, each triangulated with
// normals and texture coordinates at every corner.
TEST(SceneObjects, LoadedTriangulatedAndShared) {
    ObjectPtr built = NewObject();
    AddLayerWithPoints(built.get(), {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}});
    AddTexturedSurface(built.get(), "S");
    AddPolygon(built.get(), {0, 1, 2, 3, 4, 5}, "S");
    AddLayerWithPoints(built.get(), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    built->Layers->Next->LayerNumber = 1;
    AddPolygon(built.get(), {0, 1, 2, 3}, "S");
    TempPath path;
    ASSERT_EQ(WriteLwo2File(built.get(), path.c_str(), 0), LW_ERR_NONE);
    const std::string text = "LWSC\n3\nLoadObjectLayer 1 " + path.path + "\nLoadObjectLayer 2 " + path.path +
                             "\nLoadObjectLayer 1 " + path.path + "\n";
    LwLoadOptions options{};
    options.Flags = LW_LOAD_TRIANGULATE | LW_LOAD_NORMALS | LW_LOAD_TEXCOORDS;
    options.TexChannelMask = 1;
    options.TexLayerCount = 1;
    LwScene* scene = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_LOAD_OBJECTS, &options);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->ErrorCode, LW_ERR_NONE);
    int items = 0;
    for (LwSceneItem* item = scene->FirstItem; item; item = item->Next, ++items) {
        LwObject* object = item->Object->Object;
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(item->LoadStatus, 0);
        for (int32_t i = 0; i < object->Op.GetPolygonCount(object); ++i) {
            const LwPolygon* polygon = object->Op.GetPolygon(object, i);
            EXPECT_EQ(polygon->VertexCount(), 3);
            EXPECT_EQ(polygon->NormalIndices.size(), 3u);
            ASSERT_FALSE(polygon->TexChannels.empty());
            EXPECT_EQ(polygon->TexChannels[0].Indices.size(), 3u);
        }
        EXPECT_EQ(object->Op.GetPolygonCount(object), items == 1 ? 2 : 4);
    }
    EXPECT_EQ(items, 3);
    EXPECT_EQ(scene->FirstItem->Object->Object->Layers, scene->FirstItem->Next->Object->Object->Layers);
    FreeLwScene(&scene);
}

}  // namespace
