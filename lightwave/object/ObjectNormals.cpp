// Vertex normals and vertex colours of the current layer, the user-data blocks of its elements and
// the lists of the polygons that use each point (or each normal).
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kTolerance = 1.0 / 8388608.0;  // 2^-23
constexpr double kPi = 3.14159265359;

// ---- user data ----------------------------------------------------------------------------------

// Element kinds that carry user data: the user field of element i of the layer.
enum class LwElement { Polygon, Point, Normal };

LwUserBlock* BlockOf(LwLayer* layer, LwElement kind) {
    switch (kind) {
    case LwElement::Polygon:
        return &layer->PolygonData;
    case LwElement::Point:
        return &layer->PointData;
    default:
        return &layer->NormalData;
    }
}

size_t ElementCount(LwLayer* layer, LwElement kind) {
    switch (kind) {
    case LwElement::Polygon:
        return layer->Working->Polygons.size();
    case LwElement::Point:
        return layer->Points.size();
    default:
        return layer->Normals.size();
    }
}

void SetUserWord(LwLayer* layer, LwElement kind, size_t i, void* word) {
    switch (kind) {
    case LwElement::Polygon:
        layer->Working->Polygons[i].UserData = word;
        break;
    case LwElement::Point:
        layer->Points[i].UserData = word;
        break;
    default:
        layer->Normals[i].UserData = word;
        break;
    }
}

void ReleaseBlock(LwLayer* layer, LwElement kind) {
    LwUserBlock* block = BlockOf(layer, kind);
    if (!block->Data) return;
    // Elements added since the block was made have no slice; those removed lose theirs.
    const size_t count = std::min(block->Count, ElementCount(layer, kind));
    if (block->Lists) {
        LwPolygonList* lists = (LwPolygonList*)block->Data;
        for (size_t i = 0; i < block->Count; ++i) {
            free(lists[i].Polygons);
            free(lists[i].Vertices);
        }
    }
    for (size_t i = 0; i < count; ++i) SetUserWord(layer, kind, i, nullptr);
    free(block->Data);
    *block = LwUserBlock{};
}

// A new block replaces an existing one, which is released first.
int32_t AllocUserData(LwObject* object, LwElement kind, int32_t size) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || size <= 0) return LW_ERR_PARAM;
    const size_t count = ElementCount(layer, kind);
    if (count == 0) return object->ErrorCode = LW_ERR_OBJECT_DATABASE;
    ReleaseBlock(layer, kind);
    if (count > SIZE_MAX / (size_t)size) return object->ErrorCode = LW_ERR_MEMORY;
    uint8_t* data = (uint8_t*)calloc(count, (size_t)size);
    if (!data) return object->ErrorCode = LW_ERR_MEMORY;
    *BlockOf(layer, kind) = LwUserBlock{data, size, count, false};
    for (size_t i = 0; i < count; ++i) SetUserWord(layer, kind, i, data + i * (size_t)size);
    return LW_ERR_NONE;
}

int32_t FreeUserData(LwObject* object, LwElement kind) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    ReleaseBlock(layer, kind);
    return LW_ERR_NONE;
}

int32_t AllocPolygonUserData(LwObject* o, int32_t size) { return AllocUserData(o, LwElement::Polygon, size); }
int32_t AllocPointUserData(LwObject* o, int32_t size) { return AllocUserData(o, LwElement::Point, size); }
int32_t AllocNormalUserData(LwObject* o, int32_t size) { return AllocUserData(o, LwElement::Normal, size); }
int32_t FreePolygonUserData(LwObject* o) { return FreeUserData(o, LwElement::Polygon); }
int32_t FreePointUserData(LwObject* o) { return FreeUserData(o, LwElement::Point); }
int32_t FreeNormalUserData(LwObject* o) { return FreeUserData(o, LwElement::Normal); }

bool AppendToList(LwPolygonList* list, int32_t polygon, int32_t vertex) {
    if (list->Count == list->Capacity) {
        if (list->Capacity > INT32_MAX / 2) return false;
        const int32_t capacity = list->Capacity ? list->Capacity * 2 : 8;
        int32_t* polygons = (int32_t*)realloc(list->Polygons, (size_t)capacity * sizeof(int32_t));
        if (polygons) list->Polygons = polygons;
        int32_t* vertices = (int32_t*)realloc(list->Vertices, (size_t)capacity * sizeof(int32_t));
        if (vertices) list->Vertices = vertices;
        if (!polygons || !vertices) return false;
        list->Capacity = capacity;
    }
    list->Polygons[list->Count] = polygon;
    list->Vertices[list->Count] = vertex;
    ++list->Count;
    return true;
}

// The polygons at each point (field: the polygons' point indices) or each normal (their normal
// indices). A pending error code is cleared first, so the result is this pass's own.
int32_t BuildPolygonLists(LwObject* object, LwElement kind, std::vector<int32_t> LwPolygon::*field) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    object->ErrorCode = LW_ERR_NONE;
    // 9: no elements of the kind, which is not an allocation failure.
    if (int32_t rc = AllocUserData(object, kind, (int32_t)sizeof(LwPolygonList))) return rc;
    if (!BlockOf(layer, kind)->Data) return object->ErrorCode = LW_ERR_MEMORY;
    LwUserBlock* block = BlockOf(layer, kind);
    block->Lists = true;
    LwPolygonList* lists = (LwPolygonList*)block->Data;
    const size_t count = block->Count;
    std::vector<LwPolygon>& polygons = layer->Working->Polygons;
    for (size_t p = 0; p < polygons.size(); ++p) {
        const std::vector<int32_t>& indices = polygons[p].*field;
        for (size_t v = 0; v < indices.size(); ++v) {
            if (indices[v] < 0 || (size_t)indices[v] >= count) continue;
            if (!AppendToList(&lists[indices[v]], (int32_t)p, (int32_t)v)) return object->ErrorCode = LW_ERR_MEMORY;
        }
    }
    return object->ErrorCode;
}

int32_t BuildPointPolygonLists(LwObject* o) { return BuildPolygonLists(o, LwElement::Point, &LwPolygon::Points); }
int32_t BuildNormalPolygonLists(LwObject* o) {
    return BuildPolygonLists(o, LwElement::Normal, &LwPolygon::NormalIndices);
}
int32_t FreePointPolygonLists(LwObject* o) { return FreeUserData(o, LwElement::Point); }
int32_t FreeNormalPolygonLists(LwObject* o) { return FreeUserData(o, LwElement::Normal); }

// The list of the polygons at a point while the lists exist, else NULL.
const LwPolygonList* PointList(LwLayer* layer, int32_t point) {
    if (!layer->PointData.Lists || point < 0 || (size_t)point >= layer->Points.size()) return nullptr;
    return (const LwPolygonList*)layer->Points[point].UserData;
}

// Calls visit(index) with the index field of every corner at the point, in polygon and corner
// order, until it returns true; through the point's polygon list when there is one.
template <typename Visit>
int32_t FindAtPoint(LwLayer* layer, int32_t point, std::vector<int32_t> LwPolygon::*field, Visit&& visit) {
    std::vector<LwPolygon>& polygons = layer->Working->Polygons;
    if (const LwPolygonList* list = PointList(layer, point)) {
        for (int32_t i = 0; i < list->Count; ++i) {
            const std::vector<int32_t>& indices = polygons[list->Polygons[i]].*field;
            const int32_t v = list->Vertices[i];
            if ((size_t)v < indices.size() && indices[v] >= 0 && visit(indices[v])) return indices[v];
        }
        return -1;
    }
    for (LwPolygon& polygon : polygons) {
        const std::vector<int32_t>& indices = polygon.*field;
        if (indices.size() != polygon.Points.size()) continue;
        for (size_t v = 0; v < indices.size(); ++v)
            if (polygon.Points[v] == point && indices[v] >= 0 && visit(indices[v])) return indices[v];
    }
    return -1;
}

// ---- normals ------------------------------------------------------------------------------------

int32_t GetNumNormals(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? (int32_t)layer->Normals.size() : 0;
}

int32_t AddNormal(LwObject* object, const double xyz[3]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !xyz || layer->Normals.size() >= (size_t)INT32_MAX) return -1;
    if (!LwAppend(layer->Normals, LwNormal{nullptr, {xyz[0], xyz[1], xyz[2]}})) return -1;
    return (int32_t)layer->Normals.size() - 1;
}

LwNormal* GetNormal(LwObject* object, int32_t index) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || index < 0 || (size_t)index >= layer->Normals.size()) return nullptr;
    return &layer->Normals[index];
}

int32_t FindOrAddPointNormal(LwObject* object, int32_t point, const double xyz[3]) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || !xyz) return -1;
    int32_t found = FindAtPoint(layer, point, &LwPolygon::NormalIndices, [&](int32_t i) {
        if ((size_t)i >= layer->Normals.size()) return false;
        const double* n = layer->Normals[i].Xyz;
        const double d[3] = {n[0] - xyz[0], n[1] - xyz[1], n[2] - xyz[2]};
        return d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < kTolerance * kTolerance;
    });
    return found >= 0 ? found : AddNormal(object, xyz);
}

int32_t FreeNormals(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    ReleaseBlock(layer, LwElement::Normal);
    std::vector<LwNormal>().swap(layer->Normals);
    for (LwPolygon& polygon : layer->Working->Polygons) std::vector<int32_t>().swap(polygon.NormalIndices);
    return LW_ERR_NONE;
}

bool IsZero(const double n[3]) { return n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0; }

double AngleBetween(const double a[3], const double b[3]) {
    if (IsZero(a) || IsZero(b)) return 0.0;
    const double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    if (d > 1.0) return 0.0;
    if (d < -1.0) return kPi;
    return std::acos(d);
}

void Average(double sum[3], int32_t n) {
    for (int i = 0; i < 3; ++i) sum[i] /= n;
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    for (int i = 0; i < 3; ++i) sum[i] = length > kTolerance ? sum[i] / length : 0.0;
}

struct Face {
    double n[3];
};

int32_t ComputeNormals(LwObject* object, int32_t flags) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    FreeNormals(object);
    if (layer->Points.empty()) return object->ErrorCode = LW_ERR_NONE;  // a layer without points has no normals
    int32_t result = BuildPointPolygonLists(object);
    if (result != LW_ERR_NONE) return result;
    std::vector<LwPolygon>& polygons = layer->Working->Polygons;
    std::vector<Face> faces;
    if (!LwResize(faces, polygons.size())) {
        FreePointPolygonLists(object);
        return object->ErrorCode = LW_ERR_MEMORY;
    }
    for (size_t p = 0; p < polygons.size(); ++p) {
        object->Op.GetPolygonNormal(object, (int32_t)p, faces[p].n);
        if (!LwResize(polygons[p].NormalIndices, polygons[p].Points.size(), -1)) {
            FreePointPolygonLists(object);
            return object->ErrorCode = LW_ERR_MEMORY;
        }
        std::fill(polygons[p].NormalIndices.begin(), polygons[p].NormalIndices.end(), -1);
    }
    auto add = [&](int32_t point, double xyz[3]) {
        int32_t i = (flags & LW_NORMALS_SHARE) ? FindOrAddPointNormal(object, point, xyz) : AddNormal(object, xyz);
        if (i < 0) object->ErrorCode = LW_ERR_MEMORY;
        return i;
    };
    auto listOf = [&](int32_t point) { return (const LwPolygonList*)layer->Points[point].UserData; };

    if (flags & LW_NORMALS_PER_POINT) {
        for (size_t point = 0; point < layer->Points.size() && object->ErrorCode == LW_ERR_NONE; ++point) {
            const LwPolygonList* list = listOf((int32_t)point);
            double sum[3] = {0, 0, 0};
            int32_t n = 0;
            for (int32_t i = 0; i < list->Count; ++i) {
                const double* f = faces[list->Polygons[i]].n;
                if (IsZero(f)) continue;
                for (int k = 0; k < 3; ++k) sum[k] += f[k];
                ++n;
            }
            if (n > 0) Average(sum, n);
            if (AddNormal(object, sum) < 0) object->ErrorCode = LW_ERR_MEMORY;
        }
        if (object->ErrorCode == LW_ERR_NONE)
            for (LwPolygon& polygon : polygons) polygon.NormalIndices = polygon.Points;
    } else {
        for (size_t p = 0; p < polygons.size() && object->ErrorCode == LW_ERR_NONE; ++p) {
            LwPolygon& polygon = polygons[p];
            if (polygon.Points.empty()) continue;
            LwSurfaceEntry* entry = object->Op.GetSurfaceById(object, polygon.SurfaceId);
            if (entry && (entry->Flags & LW_SURFACE_NO_NORMALS)) continue;
            const LwMaterial* m = LwMaterialOrDefault(object, polygon.SurfaceId);
            if (!(m->Flags & LW_MATERIAL_SMOOTHING)) {
                int32_t i = add(polygon.Points[0], faces[p].n);
                if (i < 0) break;
                std::fill(polygon.NormalIndices.begin(), polygon.NormalIndices.end(), i);
                continue;
            }
            for (size_t v = 0; v < polygon.Points.size(); ++v) {
                if (polygon.NormalIndices[v] != -1) continue;
                const int32_t point = polygon.Points[v];
                const LwPolygonList* list = listOf(point);
                double sum[3] = {faces[p].n[0], faces[p].n[1], faces[p].n[2]};
                int32_t n = 1;
                for (int32_t e = 0; e < list->Count; ++e) {
                    const int32_t q = list->Polygons[e];
                    if (q == (int32_t)p) continue;
                    if ((flags & LW_NORMALS_SMOOTH_ALL) || AngleBetween(faces[q].n, faces[p].n) < m->SmoothingAngle) {
                        for (int k = 0; k < 3; ++k) sum[k] += faces[q].n[k];
                        ++n;
                    }
                }
                Average(sum, n);
                const int32_t i = add(point, sum);
                if (i < 0) break;
                polygon.NormalIndices[v] = i;
                // Every polygon at the point was smoothed with this one: they all share the normal.
                int32_t own = 0;
                for (int32_t e = 0; e < list->Count; ++e) own += list->Polygons[e] == (int32_t)p;
                if (n + own - 1 == list->Count)
                    for (int32_t e = 0; e < list->Count; ++e)
                        polygons[list->Polygons[e]].NormalIndices[list->Vertices[e]] = i;
            }
        }
    }
    FreePointPolygonLists(object);
    return object->ErrorCode;
}

// ---- colours ------------------------------------------------------------------------------------

int32_t GetNumColors(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? (int32_t)layer->Colors.size() : 0;
}

int32_t AddColor(LwObject* object, float red, float green, float blue, float alpha) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || layer->Colors.size() >= (size_t)INT32_MAX) return -1;
    if (!LwAppend(layer->Colors, LwColor{nullptr, {red, green, blue, alpha}})) return -1;
    return (int32_t)layer->Colors.size() - 1;
}

int32_t AddColorBytes(LwObject* object, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
    constexpr float kScale = 0.003921569f;
    return AddColor(object, red * kScale, green * kScale, blue * kScale, alpha * kScale);
}

LwColor* GetColor(LwObject* object, int32_t index) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || index < 0 || (size_t)index >= layer->Colors.size()) return nullptr;
    return &layer->Colors[index];
}

int32_t FindOrAddPointColor(LwObject* object, int32_t point, float red, float green, float blue, float alpha) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return -1;
    const float rgba[4] = {red, green, blue, alpha};
    int32_t found = FindAtPoint(layer, point, &LwPolygon::ColorIndices, [&](int32_t i) {
        if ((size_t)i >= layer->Colors.size()) return false;
        for (int k = 0; k < 4; ++k)
            if (std::fabs(layer->Colors[i].Rgba[k] - rgba[k]) >= kTolerance) return false;
        return true;
    });
    return found >= 0 ? found : AddColor(object, red, green, blue, alpha);
}

int32_t FreeColors(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    std::vector<LwColor>().swap(layer->Colors);
    for (LwPolygon& polygon : layer->Working->Polygons) std::vector<int32_t>().swap(polygon.ColorIndices);
    return LW_ERR_NONE;
}

}  // namespace

void LwReleaseUserData(LwLayer* layer) {
    ReleaseBlock(layer, LwElement::Polygon);
    ReleaseBlock(layer, LwElement::Point);
    ReleaseBlock(layer, LwElement::Normal);
}

void LwFillNormalOperations(LwObjectOperations* op) {
    op->GetNumNormals = GetNumNormals;
    op->AddNormal = AddNormal;
    op->FindOrAddPointNormal = FindOrAddPointNormal;
    op->GetNormal = GetNormal;
    op->ComputeNormals = ComputeNormals;
    op->FreeNormals = FreeNormals;
    op->AllocPolygonUserData = AllocPolygonUserData;
    op->AllocPointUserData = AllocPointUserData;
    op->AllocNormalUserData = AllocNormalUserData;
    op->FreePolygonUserData = FreePolygonUserData;
    op->FreePointUserData = FreePointUserData;
    op->FreeNormalUserData = FreeNormalUserData;
    op->BuildPointPolygonLists = BuildPointPolygonLists;
    op->BuildNormalPolygonLists = BuildNormalPolygonLists;
    op->FreePointPolygonLists = FreePointPolygonLists;
    op->FreeNormalPolygonLists = FreeNormalPolygonLists;
}

void LwFillColorOperations(LwObjectOperations* op) {
    op->GetNumColors = GetNumColors;
    op->AddColorBytes = AddColorBytes;
    op->AddColor = AddColor;
    op->FindOrAddPointColor = FindOrAddPointColor;
    op->GetColor = GetColor;
    op->FreeColors = FreeColors;
    LwFillVertexColorOperation(op);
}
