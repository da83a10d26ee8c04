// The LightWave object-file readers over whole LWO2 and LWOB files, with the load passes that need
// nothing beside the file (triangulation, polygon sort, edges), the text dump, and both writers:
// whatever is read holds only valid indices, and whatever is written reads back.
#include <cstdio>
#include <cstring>

#include "FuzzSupport.h"
#include "lightwave/object/LwObject.h"

namespace {

// Every stored index names something that exists.
void CheckIndices(LwObject* o) {
    for (LwLayer* layer = o->Layers; layer; layer = layer->Next) {
        const size_t points = layer->Points.size();
        for (const LwPolygonGroup& group : layer->Groups) {
            for (const LwPolygon& polygon : group.Polygons)
                for (int32_t p : polygon.Points) FUZZ_CHECK(p >= 0 && static_cast<size_t>(p) < points);
            for (const LwPolygonTagMap& map : group.TagMaps) {
                FUZZ_CHECK(map.Polygons.size() == map.TagIds.size());
                for (size_t e = 0; e < map.Polygons.size(); ++e) {
                    FUZZ_CHECK(static_cast<size_t>(map.Polygons[e]) < group.Polygons.size());
                    FUZZ_CHECK(map.TagIds[e] >= 0 && map.TagIds[e] < o->NumTags);
                }
            }
        }
        for (const LwVmap& map : layer->Vmaps)
            for (int32_t p : map.Points) FUZZ_CHECK(p >= 0 && static_cast<size_t>(p) < points);
        for (const LwEdge& edge : layer->Edges)
            FUZZ_CHECK(edge.P0 >= 0 && static_cast<size_t>(edge.P0) < points && edge.P1 >= 0 &&
                       static_cast<size_t>(edge.P1) < points);
    }
}

int32_t CountPolygons(LwObject* o) {
    int32_t n = 0;
    for (LwLayer* layer = o->Layers; layer; layer = layer->Next)
        for (const LwPolygonGroup& group : layer->Groups) n += static_cast<int32_t>(group.Polygons.size());
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const std::string path = fuzz::WriteScratchFile("object.lwo", in.Rest());
    const std::string lwo2 = fuzz::ScratchDir() + "/written.lwo", lwob = fuzz::ScratchDir() + "/written.lwob";
    static std::FILE* discard = std::fopen("/dev/null", "w");

    LwLoadOptions options{};
    options.Flags = mode & (LW_LOAD_SORT_POLYGONS | LW_LOAD_TRIANGULATE | LW_LOAD_EDGES);
    options.TriangulateOption = (mode >> 5) & 3;
    options.TexChannelMask = 1;
    options.TexLayerCount = 1;
    LwObject* o = CreateLwObject(0);
    FUZZ_CHECK(o != nullptr);
    const int32_t type = (mode & 0x80) ? LW_FILE_LWOB : LW_FILE_LWO2;
    o->Op.LoadLwObject(o, path.c_str(), type, &options);
    CheckIndices(o);
    DumpLwObject(o, discard);

    if (WriteLwo2File(o, lwo2.c_str(), 0) == LW_ERR_NONE) {
        LwObject* back = CreateLwObject(0);
        FUZZ_CHECK(ReadLwo2File(back, lwo2.c_str(), 0) == LW_ERR_NONE);
        FUZZ_CHECK(back->NumLayers == o->NumLayers && CountPolygons(back) == CountPolygons(o));
        CheckIndices(back);
        DestroyLwObject(&back);
    }
    if (o->Layers && o->Op.SetCurrentLayer(o, 0) == LW_ERR_NONE && WriteLwobFile(o, lwob.c_str(), 0) == LW_ERR_NONE) {
        LwObject* back = CreateLwObject(0);
        FUZZ_CHECK(ReadLwobFile(back, lwob.c_str(), 0) == LW_ERR_NONE);
        FUZZ_CHECK(back->Layers->Points.size() == o->Layers->Points.size());
        CheckIndices(back);
        DestroyLwObject(&back);
    }
    DestroyLwObject(&o);
    return 0;
}
