// The whole-object operations: load with the post-load passes, save, move and scale the current
// layer, and the polygon and surface sorts.
#include "lightwave/object/ObjectInternal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace {

// ---- post-load passes ---------------------------------------------------------------------------
// Each pass acts on the current layer.

int32_t PassTextureCoordinates(LwObject* o, const LwLoadOptions* options) {
    return o->Op.SetupTextureCoordinates(o, options->TexChannelMask, options->TexLayerCount, options->TexCoordFlags);
}
int32_t PassNormals(LwObject* o, const LwLoadOptions* options) {
    return o->Op.ComputeNormals(o, options->NormalOption);
}
int32_t PassVertexColors(LwObject* o, const LwLoadOptions* options) {
    return o->Op.LoadVertexColors(o, options->VertexColorOption);
}

int32_t PassTriangulate(LwObject* o, const LwLoadOptions* options) {
    return o->Op.TriangulateLayer(o, options->TriangulateOption);
}
int32_t PassSort(LwObject* o, const LwLoadOptions*) { return o->Op.SortLwObjectPolygons(o); }
int32_t PassEdges(LwObject* o, const LwLoadOptions*) { return o->Op.BuildEdges(o); }

// In this order: coordinates, normals and colours on the polygons as read, triangulation before the
// sort, and the edges last, on the final polygons.
const struct {
    uint32_t Flag;
    int32_t (*Run)(LwObject*, const LwLoadOptions*);
} kPasses[] = {{LW_LOAD_TEXCOORDS, PassTextureCoordinates}, {LW_LOAD_NORMALS, PassNormals},
               {LW_LOAD_VERTEX_COLORS, PassVertexColors},   {LW_LOAD_TRIANGULATE, PassTriangulate},
               {LW_LOAD_SORT_POLYGONS, PassSort},           {LW_LOAD_EDGES, PassEdges}};

// A failing pass stops neither the passes after it nor the other layers. Each failing pass's code
// replaces the result, so the last failure is returned; a later pass that succeeds does not, for a
// failed load must not read as a good one.
int32_t LoadLwObject(LwObject* object, const char* fileName, int32_t type, const LwLoadOptions* options) {
    if (!object || !fileName || !options) return LW_ERR_PARAM;
    int32_t result;
    if (type == LW_FILE_LWOB)
        result = ReadLwobFile(object, fileName, options->ReaderOption);
    else if (type == LW_FILE_LWO2)
        result = ReadLwo2File(object, fileName, options->ReaderOption);
    else
        result = object->ErrorCode = LW_ERR_UNKNOWN_TYPE;
    if (result != LW_ERR_NONE) return result;
    int32_t position = 0;
    for (LwLayer* layer = object->Op.GetNextLayer(object, nullptr); layer;
         layer = object->Op.GetNextLayer(object, layer), ++position) {
        object->Op.SetCurrentLayer(object, position);
        for (const auto& pass : kPasses) {
            if (!(options->Flags & pass.Flag)) continue;
            const int32_t rc = pass.Run(object, options);
            if (rc != LW_ERR_NONE) result = rc;
        }
    }
    object->Op.SetCurrentLayer(object, 0);
    return result;
}

int32_t SaveLwObject(LwObject* object, const char* fileName, int32_t type, int32_t writerOption) {
    if (!object || !fileName) return LW_ERR_PARAM;
    if (type == LW_FILE_LWOB) return WriteLwobFile(object, fileName, writerOption);
    if (type == LW_FILE_LWO2) return WriteLwo2File(object, fileName, writerOption);
    return object->ErrorCode = LW_ERR_UNKNOWN_TYPE;
}

// The clone shares everything behind the pointers with its source; only the context is its own.
LwObject* CloneLwObject(LwObject* object) {
    if (!object) return nullptr;
    LwObject* clone = (LwObject*)malloc(sizeof(LwObject));
    if (!clone) return nullptr;
    memcpy(clone, object, sizeof(LwObject));
    clone->Flags |= LW_OBJECT_CLONE;
    return clone;
}

int32_t TranslateLwObject(LwObject* object, double dx, double dy, double dz) {
    if (LwLayer* layer = LwCurrentLayer(object)) {
        for (LwPoint& p : layer->Points) {
            p.Xyz[0] += dx;
            p.Xyz[1] += dy;
            p.Xyz[2] += dz;
        }
    }
    return LW_ERR_NONE;
}

int32_t ScaleLwObject(LwObject* object, double sx, double sy, double sz) {
    if (LwLayer* layer = LwCurrentLayer(object)) {
        for (LwPoint& p : layer->Points) {
            p.Xyz[0] *= sx;
            p.Xyz[1] *= sy;
            p.Xyz[2] *= sz;
        }
    }
    return LW_ERR_NONE;
}

// ---- sorts --------------------------------------------------------------------------------------

int32_t Renumber(const std::vector<int32_t>& table, int32_t polygon) {
    return polygon >= 0 && (size_t)polygon < table.size() ? table[polygon] : polygon;
}

// Every polygon number the layer keeps for this polygon type (tag maps, meshes, edges,
// discontinuous maps) follows its polygon through table (old number to new; -1 stays).
void RemapPolygonIndices(LwLayer* layer, LwPolygonGroup* group, const std::vector<int32_t>& table) {
    for (LwPolygonTagMap& map : group->TagMaps) {
        std::fill(map.Slots.begin(), map.Slots.end(), -1);
        for (size_t e = 0; e < map.Polygons.size(); ++e) {
            map.Polygons[e] = Renumber(table, map.Polygons[e]);
            if (map.Polygons[e] >= 0 && (size_t)map.Polygons[e] < map.Slots.size())
                map.Slots[map.Polygons[e]] = (int32_t)e;
        }
    }
    for (LwEdge& edge : layer->Edges) {
        edge.PolR = Renumber(table, edge.PolR);
        edge.PolL = Renumber(table, edge.PolL);
    }
    for (LwVmad& map : layer->Vmads) {
        if (!LwVmadOfType(map, group->Type)) continue;
        for (LwVmadEntry& entry : map.Entries)
            for (LwVmadValue& value : entry.Values) value.Polygon = Renumber(table, value.Polygon);
    }
    for (LwMesh& mesh : layer->Meshes)
        for (LwMeshNode& node : mesh.Nodes) node.Polygon = Renumber(table, node.Polygon);
}

// Polygons of fewer corners first, then by surface number; RemapPolygonIndices renumbers.
int32_t SortLwObjectPolygons(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return object ? object->Op.RelinkPolygonSurfaces(object) : LW_ERR_NONE;
    LwPolygonGroup* group = layer->Working;
    std::vector<LwPolygon>& polygons = group->Polygons;
    std::vector<int32_t> order(polygons.size()), table(polygons.size());
    std::vector<uint32_t> keys(polygons.size());
    for (size_t i = 0; i < polygons.size(); ++i)
        keys[i] = ((uint32_t)polygons[i].VertexCount() << 16) | (uint16_t)polygons[i].SurfaceId;
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return keys[a] < keys[b]; });
    std::vector<LwPolygon> sorted;
    sorted.reserve(polygons.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(polygons[order[i]]));
        sorted.back().Index = (int32_t)i;
        table[order[i]] = (int32_t)i;
    }
    polygons.swap(sorted);
    RemapPolygonIndices(layer, group, table);
    // The per-point polygon lists name polygons by their old numbers.
    object->Op.FreePointUserData(object);
    object->Op.RelinkPolygonSurfaces(object);
    return LW_ERR_NONE;
}

// Names compared byte by byte as signed characters.
bool NameBefore(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const signed char x = (signed char)*a, y = (signed char)*b;
        if (x != y) return x < y;
        if (x == 0) return false;
    }
}

struct SurfaceContents {
    uint32_t Flags;
    char Name[512];
    char SourceName[512];
    int32_t DataSize;
    uint8_t* Data;
    LwMaterial* Material;
};

// The records stay in place with their ids and links; their contents move into name order.
int32_t SortLwObjectSurfaces(LwObject* object) {
    if (!object) return LW_ERR_NONE;
    std::vector<SurfaceContents> contents;
    for (LwSurfaceEntry* s = object->Surfaces; s; s = s->Next) {
        SurfaceContents c{s->Flags, {}, {}, s->DataSize, s->Data, s->Material};
        memcpy(c.Name, s->Name, sizeof(c.Name));
        memcpy(c.SourceName, s->SourceName, sizeof(c.SourceName));
        contents.push_back(c);
    }
    std::stable_sort(contents.begin(), contents.end(),
                     [](const SurfaceContents& a, const SurfaceContents& b) { return NameBefore(a.Name, b.Name); });
    size_t i = 0;
    for (LwSurfaceEntry* s = object->Surfaces; s; s = s->Next, ++i) {
        const SurfaceContents& c = contents[i];
        s->Flags = c.Flags;
        memcpy(s->Name, c.Name, sizeof(s->Name));
        memcpy(s->SourceName, c.SourceName, sizeof(s->SourceName));
        s->DataSize = c.DataSize;
        s->Data = c.Data;
        s->Material = c.Material;
    }
    object->Op.RelinkPolygonSurfaces(object);
    return LW_ERR_NONE;
}

}  // namespace

void LwFillWholeObjectOperations(LwObjectOperations* op) {
    op->TranslateLwObject = TranslateLwObject;
    op->ScaleLwObject = ScaleLwObject;
    op->SortLwObjectPolygons = SortLwObjectPolygons;
    op->SortLwObjectSurfaces = SortLwObjectSurfaces;
    op->LoadLwObject = LoadLwObject;
    op->SaveLwObject = SaveLwObject;
    op->CloneLwObject = CloneLwObject;
}
