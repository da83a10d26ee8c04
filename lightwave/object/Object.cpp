// The object context and the core of its database: layers, points, polygon groups and polygons.
#include "lightwave/object/ChunkFields.h"
#include "lightwave/object/LwObject.h"
#include "lightwave/object/ObjectInternal.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr LwId kGroupTypes[LW_POLYGON_GROUPS] = {LW_ID_FACE, LW_ID_CURV, LW_ID_PTCH, LW_ID_MBAL, LW_ID_BONE};

// ---- layers -------------------------------------------------------------------------------------

LwLayer* AddLayer(LwObject* object, const char* name) {
    if (!object) return nullptr;
    LwLayer* layer = new (std::nothrow) LwLayer();
    if (!layer) return nullptr;
    LwLayer* last = object->Op.GetLastLayer(object);
    layer->Position = last ? last->Position + 1 : 0;
    layer->LayerNumber = layer->Position;
    layer->ParentNumber = -1;
    if (name) LwCopyText(layer->Name, name, sizeof(layer->Name));
    for (int g = 0; g < LW_POLYGON_GROUPS; ++g) layer->Groups[g].Type = kGroupTypes[g];
    // Until a type is selected the polygon operations act on the FACE group, so nothing added
    // before the first selection is lost.
    layer->Working = &layer->Groups[0];
    if (last)
        last->Next = layer;
    else
        object->Layers = layer;
    object->NumLayers++;
    object->CurrentLayer = layer;
    return layer;
}

LwLayer* GetNextLayer(LwObject* object, LwLayer* layer) {
    if (!object) return nullptr;
    return layer ? layer->Next : object->Layers;
}

LwLayer* GetLastLayer(LwObject* object) {
    LwLayer* layer = object ? object->Layers : nullptr;
    while (layer && layer->Next) layer = layer->Next;
    return layer;
}

int32_t GetNumLayers(LwObject* object) { return object ? object->NumLayers : 0; }

LwLayer* GetLayer(LwObject* object, int32_t position) {
    if (!object || position < 0 || position >= object->NumLayers) return nullptr;
    LwLayer* layer = object->Layers;
    for (int32_t i = 0; layer && i < position; ++i) layer = layer->Next;
    return layer;
}

int32_t SetCurrentLayer(LwObject* object, int32_t position) {
    LwLayer* layer = GetLayer(object, position);
    if (!layer) return LW_ERR_PARAM;
    object->CurrentLayer = layer;
    return LW_ERR_NONE;
}

int32_t GetLayerPivot(LwObject* object, double out[3]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !out) return LW_ERR_PARAM;
    for (int i = 0; i < 3; ++i) out[i] = layer->Pivot[i];
    return LW_ERR_NONE;
}

int32_t SetLayerPivot(LwObject* object, const double pivot[3]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !pivot) return LW_ERR_PARAM;
    for (int i = 0; i < 3; ++i) layer->Pivot[i] = pivot[i];
    return LW_ERR_NONE;
}

// The parent is a layer number as the file gives it, which after sorting need not be a position.
int32_t GetLayerParentName(LwObject* object, char out[256]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !out) return LW_ERR_PARAM;
    out[0] = '\0';
    if (layer->ParentNumber < 0) return LW_ERR_NONE;
    for (LwLayer* l = object->Layers; l; l = l->Next) {
        if (l->LayerNumber == layer->ParentNumber) {
            LwCopyText(out, l->Name, 256);
            break;
        }
    }
    return LW_ERR_NONE;
}

int32_t SetLayerParentByName(LwObject* object, const char* name) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    layer->ParentNumber = -1;
    if (!name) return LW_ERR_NONE;
    for (LwLayer* l = object->Layers; l; l = l->Next) {
        if (strcmp(l->Name, name) == 0) {
            layer->ParentNumber = l->LayerNumber;
            break;
        }
    }
    return LW_ERR_NONE;
}

int32_t ComputeLayerBounds(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    if (layer->Points.empty()) return LW_ERR_NONE;
    double* box = layer->BoundingBox;
    for (int i = 0; i < 3; ++i) box[i] = box[i + 3] = layer->Points[0].Xyz[i];
    for (const LwPoint& p : layer->Points) {
        for (int i = 0; i < 3; ++i) {
            if (p.Xyz[i] < box[i]) box[i] = p.Xyz[i];
            if (p.Xyz[i] > box[i + 3]) box[i + 3] = p.Xyz[i];
        }
    }
    return LW_ERR_NONE;
}

int32_t GetLayerBounds(LwObject* object, double out[6]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !out) return LW_ERR_PARAM;
    for (int i = 0; i < 6; ++i) out[i] = layer->BoundingBox[i];
    return LW_ERR_NONE;
}

// The working polygon type is the selected group itself, so storing it back has nothing to copy.
int32_t StorePolygonType(LwObject*) { return LW_ERR_NONE; }

int32_t SetPolygonType(LwObject* object, LwId type) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    object->Op.StorePolygonType(object);
    int g = 0;
    while (g < LW_POLYGON_GROUPS && kGroupTypes[g] != type) ++g;
    layer->Working = &layer->Groups[g < LW_POLYGON_GROUPS ? g : 0];
    layer->PolygonListType = layer->Working->Type;
    return LW_ERR_NONE;
}

LwId GetNextPolygonType(LwObject*, LwId type) {
    if (type == 0) return kGroupTypes[0];
    for (int g = 0; g + 1 < LW_POLYGON_GROUPS; ++g)
        if (kGroupTypes[g] == type) return kGroupTypes[g + 1];
    return 0;
}

void ReleaseLayers(LwObject* object) {
    LwLayer* layer = object->Layers;
    while (layer) {
        LwLayer* next = layer->Next;
        LwReleaseUserData(layer);
        delete layer;
        layer = next;
    }
    object->Layers = nullptr;
    object->CurrentLayer = nullptr;
    object->NumLayers = 0;
}

// Every array of a layer belongs to the layer, so freeing the record frees them all; the list is
// emptied so that nothing points at freed layers afterwards.
int32_t FreeLayers(LwObject* object) {
    if (!object) return LW_ERR_PARAM;
    ReleaseLayers(object);
    return LW_ERR_NONE;
}

// ---- points -------------------------------------------------------------------------------------

int32_t GetNumPoints(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? (int32_t)layer->Points.size() : 0;
}

int32_t AddPoint(LwObject* object, const double xyz[3]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !xyz || layer->Points.size() >= (size_t)INT32_MAX) return -1;
    LwPoint point{nullptr, -1, {xyz[0], xyz[1], xyz[2]}};
    if (!LwAppend(layer->Points, point)) return -1;
    return (int32_t)layer->Points.size() - 1;
}

LwPoint* GetPoint(LwObject* object, int32_t index) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || index < 0 || (size_t)index >= layer->Points.size()) return nullptr;
    return &layer->Points[index];
}

// The polygons of the working type lose their corners with the points, vertex counts included, so
// no polygon is left counting corners it no longer has.
int32_t FreePoints(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    std::vector<LwPoint>().swap(layer->Points);
    for (LwPolygon& polygon : layer->Working->Polygons) {
        std::vector<int32_t>().swap(polygon.Points);
        polygon.NormalIndices.clear();
        polygon.ColorIndices.clear();
        for (LwTexChannel& channel : polygon.TexChannels) channel.Indices.clear();
    }
    return LW_ERR_NONE;
}

// ---- polygons -----------------------------------------------------------------------------------

bool PointsValid(const LwLayer* layer, int32_t count, const int32_t* points) {
    if (count < 0 || (count > 0 && !points)) return false;
    for (int32_t i = 0; i < count; ++i)
        if (points[i] < 0 || (size_t)points[i] >= layer->Points.size()) return false;
    return true;
}

// normalise((P1 - P0) x (PL - P0)); zero for fewer than three corners or a degenerate polygon.
void ComputeFaceNormal(const LwLayer* layer, LwPolygon* polygon) {
    for (double& n : polygon->Normal) n = 0.0;
    int32_t count = polygon->VertexCount();
    if (count <= 2) return;
    const double* p0 = layer->Points[polygon->Points[0]].Xyz;
    const double* p1 = layer->Points[polygon->Points[1]].Xyz;
    const double* pl = layer->Points[polygon->Points[count - 1]].Xyz;
    double a[3], b[3];
    for (int i = 0; i < 3; ++i) {
        a[i] = p1[i] - p0[i];
        b[i] = pl[i] - p0[i];
    }
    double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0)
        for (int i = 0; i < 3; ++i) polygon->Normal[i] = n[i] / length;
}

int32_t GetNumPolygons(LwObject* object) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    return group ? (int32_t)group->Polygons.size() : 0;
}

int32_t GetNumPolygonVertices(LwObject* object) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    if (!group) return 0;
    int64_t sum = 0;
    for (const LwPolygon& polygon : group->Polygons) sum += polygon.VertexCount();
    return sum > INT32_MAX ? INT32_MAX : (int32_t)sum;
}

LwPolygon* GetPolygon(LwObject* object, int32_t index) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    if (!group || index < 0 || (size_t)index >= group->Polygons.size()) return nullptr;
    return &group->Polygons[index];
}

int32_t SetPolygonSurface(LwObject* object, int32_t index, const char* surface) {
    if (!GetPolygon(object, index) || !surface) return LW_ERR_PARAM;
    const char* name = object->Op.SetPolygonTag(object, index, LW_ID_SURF, surface);
    LwPolygon* polygon = GetPolygon(object, index);
    polygon->SurfaceName = name;
    if (LwSurfaceEntry* entry = object->Op.FindSurface(object, surface)) polygon->SurfaceId = entry->Id;
    return name ? LW_ERR_NONE : LW_ERR_MEMORY;
}

// Corners must name points of the layer: the face normal and every later pass read them.
int32_t AddPolygon(LwObject* object, int32_t count, const int32_t* points, const char* surface) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !PointsValid(layer, count, points)) return -1;
    std::vector<LwPolygon>& polygons = layer->Working->Polygons;
    if (polygons.size() >= (size_t)INT32_MAX) return -1;
    LwPolygon polygon{};
    polygon.Index = (int32_t)polygons.size();
    polygon.SelectedTexChannel = -1;
    polygon.Edge = -1;
    polygon.MeshEdge = -1;
    try {
        polygon.Points.assign(points, points + count);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    ComputeFaceNormal(layer, &polygon);
    if (!LwAppend(polygons, std::move(polygon))) return -1;
    int32_t index = (int32_t)polygons.size() - 1;
    if (surface) SetPolygonSurface(object, index, surface);
    return index;
}

int32_t GetPolygonNormal(LwObject* object, int32_t index, double out[3]) {
    LwPolygon* polygon = GetPolygon(object, index);
    if (!polygon || !out) return LW_ERR_PARAM;
    if (polygon->VertexCount() < 3) {
        for (double& n : polygon->Normal) n = 0.0;
    } else if (polygon->Normal[0] == 0.0 && polygon->Normal[1] == 0.0 && polygon->Normal[2] == 0.0) {
        ComputeFaceNormal(object->CurrentLayer, polygon);
    }
    for (int i = 0; i < 3; ++i) out[i] = polygon->Normal[i];
    return LW_ERR_NONE;
}

int32_t CountPolygonsWithSurface(LwObject* object, const char* surface) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    if (!group || !surface) return 0;
    int32_t count = 0;
    for (const LwPolygon& polygon : group->Polygons)
        if (polygon.SurfaceName && strcmp(polygon.SurfaceName, surface) == 0) ++count;
    return count;
}

// Per-vertex arrays follow a new vertex count: channels keep their entries (new ones 0), normal and
// colour indices, which would name the wrong corners, are dropped.
int32_t SetPolygonPoints(LwObject* object, int32_t index, int32_t count, const int32_t* points) {
    LwPolygon* polygon = GetPolygon(object, index);
    if (!polygon || !PointsValid(object->CurrentLayer, count, points)) return LW_ERR_PARAM;
    try {
        if (count != polygon->VertexCount()) {
            for (LwTexChannel& channel : polygon->TexChannels) channel.Indices.resize(count, 0);
            polygon->NormalIndices.clear();
            polygon->ColorIndices.clear();
        }
        polygon->Points.assign(points, points + count);
    } catch (const std::bad_alloc&) {
        return LW_ERR_MEMORY;
    }
    return LW_ERR_NONE;
}

int32_t ReplaceIndices(LwObject* object, int32_t index, int32_t count, const int32_t* indices,
                       std::vector<int32_t> LwPolygon::*field) {
    LwPolygon* polygon = GetPolygon(object, index);
    if (!polygon || count != polygon->VertexCount() || (count > 0 && !indices)) return LW_ERR_PARAM;
    try {
        (polygon->*field).assign(indices, indices + count);
    } catch (const std::bad_alloc&) {
        return LW_ERR_MEMORY;
    }
    return LW_ERR_NONE;
}

int32_t SetPolygonNormalIndices(LwObject* object, int32_t index, int32_t count, const int32_t* indices) {
    return ReplaceIndices(object, index, count, indices, &LwPolygon::NormalIndices);
}

int32_t SetPolygonColorIndices(LwObject* object, int32_t index, int32_t count, const int32_t* indices) {
    return ReplaceIndices(object, index, count, indices, &LwPolygon::ColorIndices);
}

int32_t SetPolygonTexIndices(LwObject* object, int32_t index, int32_t count, const int32_t* indices) {
    LwPolygon* polygon = GetPolygon(object, index);
    if (!polygon || count != polygon->VertexCount() || (count > 0 && !indices)) return LW_ERR_PARAM;
    if (polygon->SelectedTexChannel < 0 || (size_t)polygon->SelectedTexChannel >= polygon->TexChannels.size())
        return LW_ERR_PARAM;
    std::vector<int32_t>& target = polygon->TexChannels[polygon->SelectedTexChannel].Indices;
    if (!LwResize(target, (size_t)count)) return LW_ERR_MEMORY;
    std::copy(indices, indices + count, target.begin());
    return LW_ERR_NONE;
}

LwTexChannel* FindPolygonTexChannel(LwObject* object, int32_t index, uint16_t keyA, uint16_t keyB) {
    LwPolygon* polygon = GetPolygon(object, index);
    if (!polygon) return nullptr;
    for (LwTexChannel& channel : polygon->TexChannels)
        if (channel.KeyA == keyA && channel.KeyB == keyB) return &channel;
    return nullptr;
}

LwTexChannel* SelectPolygonTexChannel(LwObject* object, int32_t index, uint16_t keyA, uint16_t keyB) {
    LwPolygon* polygon = GetPolygon(object, index);
    if (!polygon) return nullptr;
    LwTexChannel* channel = FindPolygonTexChannel(object, index, keyA, keyB);
    if (!channel) {
        LwTexChannel added;
        added.KeyA = keyA;
        added.KeyB = keyB;
        if (!LwResize(added.Indices, (size_t)polygon->VertexCount(), 0)) return nullptr;
        if (!LwAppend(polygon->TexChannels, std::move(added))) return nullptr;
        channel = &polygon->TexChannels.back();
    }
    polygon->SelectedTexChannel = (int32_t)(channel - polygon->TexChannels.data());
    return channel;
}

int32_t RelinkPolygonSurfaces(LwObject* object) {
    if (!object) return LW_ERR_PARAM;
    for (LwLayer* layer = object->Layers; layer; layer = layer->Next) {
        for (LwPolygonGroup& group : layer->Groups) {
            for (LwPolygon& polygon : group.Polygons) {
                if (!polygon.SurfaceName) continue;
                if (LwSurfaceEntry* entry = object->Op.FindSurface(object, polygon.SurfaceName))
                    polygon.SurfaceId = entry->Id;
            }
        }
    }
    return LW_ERR_NONE;
}

int32_t FreePolygons(LwObject* object) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    if (!group) return LW_ERR_PARAM;
    std::vector<LwPolygon>().swap(group->Polygons);
    return LW_ERR_NONE;
}

}  // namespace

const char* GetLastErrorText(LwObject* object) {
    if (!object) return LwErrorText(LW_ERR_NONE);
    const char* text = LwErrorText(object->ErrorCode);
    object->ErrorCode = LW_ERR_NONE;
    return text;
}

LwObject* CreateLwObject(uint32_t flags) {
    LwObject* object = (LwObject*)calloc(1, sizeof(LwObject));
    if (!object) return nullptr;
    object->Flags = flags;
    LwObjectOperations& op = object->Op;
    op.AddLayer = AddLayer;
    op.GetNextLayer = GetNextLayer;
    op.GetLastLayer = GetLastLayer;
    op.GetNumLayers = GetNumLayers;
    op.SetCurrentLayer = SetCurrentLayer;
    op.GetLayer = GetLayer;
    op.GetLayerPivot = GetLayerPivot;
    op.SetLayerPivot = SetLayerPivot;
    op.GetLayerParentName = GetLayerParentName;
    op.SetLayerParentByName = SetLayerParentByName;
    op.ComputeLayerBounds = ComputeLayerBounds;
    op.GetLayerBounds = GetLayerBounds;
    op.SetPolygonType = SetPolygonType;
    op.StorePolygonType = StorePolygonType;
    op.GetNextPolygonType = GetNextPolygonType;
    op.FreeLayers = FreeLayers;
    op.GetNumPoints = GetNumPoints;
    op.AddPoint = AddPoint;
    op.GetPoint = GetPoint;
    op.FreePoints = FreePoints;
    op.GetNumPolygons = GetNumPolygons;
    op.GetNumPolygonVertices = GetNumPolygonVertices;
    op.AddPolygon = AddPolygon;
    op.GetPolygon = GetPolygon;
    op.GetPolygonNormal = GetPolygonNormal;
    op.CountPolygonsWithSurface = CountPolygonsWithSurface;
    op.SetPolygonSurface = SetPolygonSurface;
    op.SetPolygonPoints = SetPolygonPoints;
    op.SetPolygonNormalIndices = SetPolygonNormalIndices;
    op.SetPolygonTexIndices = SetPolygonTexIndices;
    op.SetPolygonColorIndices = SetPolygonColorIndices;
    op.RelinkPolygonSurfaces = RelinkPolygonSurfaces;
    op.SelectPolygonTexChannel = SelectPolygonTexChannel;
    op.FindPolygonTexChannel = FindPolygonTexChannel;
    op.FreePolygons = FreePolygons;
    op.GetLastErrorText = GetLastErrorText;
    op.Trace = LwLog;
    op.GetVersionText = LwGetVersionText;
    LwFillTagOperations(&op);
    LwFillVmapOperations(&op);
    LwFillListOperations(&op);
    LwFillEdgeOperations(&op);
    LwFillMaterialOperations(&op);
    LwFillNormalOperations(&op);
    LwFillColorOperations(&op);
    LwFillTexCoordOperations(&op);
    LwFillMeshOperations(&op);
    LwFillWholeObjectOperations(&op);
    LwFillTriangulateOperations(&op);
    op.DumpLwObject = DumpLwObject;
    return object;
}

LwObject* OpenLwObjectFile(const char* path, const LwLoadOptions* options) {
    LwObject* object = CreateLwObject(0);
    if (!object) return nullptr;
    LwLoadOptions defaults;
    memset(&defaults, 0, sizeof(defaults));
    defaults.TexChannelMask = 1;
    defaults.TexLayerCount = 1;
    if (!options) options = &defaults;
    // Only a file that is not an LWO2 form is tried as LWOB: a valid LWO2 object that fails later
    // has failed.
    int32_t rc = object->Op.LoadLwObject(object, path, LW_FILE_LWO2, options);
    if (rc == LW_ERR_UNKNOWN_TYPE && object->FileType != LW_FILE_LWO2)
        rc = object->Op.LoadLwObject(object, path, LW_FILE_LWOB, options);
    if (rc != LW_ERR_NONE) DestroyLwObject(&object);
    return object;
}

void DestroyLwObject(LwObject** object) {
    if (!object || !*object) return;
    LwObject* o = *object;
    if (!(o->Flags & LW_OBJECT_CLONE)) {
        ReleaseLayers(o);
        LwReleaseTags(o);
        LwReleaseSurfaces(o);
        LwReleaseClips(o);
        LwReleaseEnvelopes(o);
        DestroyMemoryTracker(&o->Tracker);
    }
    free(o);
    *object = nullptr;
}

uint8_t* LwCopyBytes(const void* bytes, int32_t size) {
    if (size <= 0 || !bytes) return nullptr;
    uint8_t* copy = (uint8_t*)malloc((size_t)size);
    if (copy) memcpy(copy, bytes, (size_t)size);
    return copy;
}

char* IdToText(uint32_t id, char buffer[5]) {
    buffer[0] = (char)((id >> 24) & 0xFF);
    buffer[1] = (char)((id >> 16) & 0xFF);
    buffer[2] = (char)((id >> 8) & 0xFF);
    buffer[3] = (char)(id & 0xFF);
    buffer[4] = '\0';
    return buffer;
}
