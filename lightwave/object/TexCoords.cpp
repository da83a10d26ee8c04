// Texture coordinates of the current layer: the coordinate table, and coordinates per texture
// channel and layer projected from the surfaces' textures (planar, cylindrical, spherical, cubic
// or a UV map), or read from the ".uv" file beside the object.
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }
constexpr double kTolerance = 1.0 / 8388608.0;  // 2^-23
constexpr double kHalfPi = 1.570796326795;
constexpr double kPi = 3.14159265359;
constexpr double kInverseTwoPi = 0.15915494309188485;
constexpr double kInversePi = 0.3183098861837697;

// ---- the table ----------------------------------------------------------------------------------

int32_t GetNumTexCoords(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? (int32_t)layer->TexCoords.size() : 0;
}

int32_t AddTexCoord(LwObject* object, double u, double v, double w) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || layer->TexCoords.size() >= (size_t)INT32_MAX) return -1;
    if (!LwAppend(layer->TexCoords, LwTexCoord{{u, v, w}})) return -1;
    return (int32_t)layer->TexCoords.size() - 1;
}

LwTexCoord* GetTexCoord(LwObject* object, int32_t index) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || index < 0 || (size_t)index >= layer->TexCoords.size()) return nullptr;
    return &layer->TexCoords[index];
}

int32_t SetTexCoord(LwObject* object, int32_t index, double u, double v, double w) {
    LwTexCoord* t = GetTexCoord(object, index);
    if (!t) return LW_ERR_PARAM;
    t->Uvw[0] = u, t->Uvw[1] = v, t->Uvw[2] = w;
    return LW_ERR_NONE;
}

bool Near(const double a[3], double u, double v, double w) {
    return std::fabs(a[0] - u) < kTolerance && std::fabs(a[1] - v) < kTolerance && std::fabs(a[2] - w) < kTolerance;
}

// A coordinate another polygon's corner at the point already has (in any channel), else a new one.
int32_t FindOrAddPointTexCoord(LwObject* object, int32_t point, double u, double v, double w) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return -1;
    std::vector<LwPolygon>& polygons = layer->Working->Polygons;
    auto match = [&](const LwPolygon& polygon, int32_t corner) {
        for (const LwTexChannel& channel : polygon.TexChannels) {
            if ((size_t)corner >= channel.Indices.size()) continue;
            const int32_t i = channel.Indices[corner];
            if (i >= 0 && (size_t)i < layer->TexCoords.size() && Near(layer->TexCoords[i].Uvw, u, v, w)) return i;
        }
        return -1;
    };
    if (layer->PointData.Lists && point >= 0 && (size_t)point < layer->PointData.Count) {
        const LwPolygonList* list = (const LwPolygonList*)layer->Points[point].UserData;
        for (int32_t e = 0; e < list->Count; ++e) {
            int32_t i = match(polygons[list->Polygons[e]], list->Vertices[e]);
            if (i >= 0) return i;
        }
    } else {
        for (const LwPolygon& polygon : polygons)
            for (int32_t c = 0; c < polygon.VertexCount(); ++c)
                if (polygon.Points[c] == point) {
                    int32_t i = match(polygon, c);
                    if (i >= 0) return i;
                }
    }
    return AddTexCoord(object, u, v, w);
}

int32_t FreeTexCoords(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    std::vector<LwTexCoord>().swap(layer->TexCoords);
    for (LwPolygon& polygon : layer->Working->Polygons) {
        std::vector<LwTexChannel>().swap(polygon.TexChannels);
        polygon.SelectedTexChannel = -1;
    }
    return LW_ERR_NONE;
}

// ---- projections --------------------------------------------------------------------------------

double Heading(double a, double b) {
    if (a == 0.0 && b == 0.0) return 0.0;
    if (b == 0.0) return a < 0.0 ? kHalfPi : -kHalfPi;
    if (b < 0.0) return kPi - std::atan(a / b);
    return -std::atan(a / b);
}

double Pitch(double y, double r) {
    if (r == 0.0) return y > 0.0 ? kHalfPi : y < 0.0 ? -kHalfPi : 0.0;
    return std::atan(y / r);
}

double Snap(double x) {
    if (std::fabs(x) < kTolerance) return 0.0;
    const double whole = std::trunc(x);
    return std::fabs(x - whole) < kTolerance ? whole : x;
}

// A size of 0 would divide by zero; it scales like 1.
double Scale(float size) { return size != 0.0f ? size : 1.0; }

// Moves values at or just below the wrap count down by it when that does not widen their spread,
// so that a polygon across the seam is not stretched over the whole texture.
void Seam(LwUvScratch* scratch, int32_t count, int k, double wrap) {
    bool over = false;
    double lo = 0, hi = 0, nlo = 0, nhi = 0;
    std::vector<double> moved((size_t)count);
    for (int32_t i = 0; i < count; ++i) {
        const double x = scratch[i].Uvw[k];
        over = over || x >= wrap;
        double m = x >= wrap - kTolerance ? x - wrap : x;
        if (std::fabs(m) < kTolerance) m = 0.0;
        moved[i] = m;
        lo = i ? std::min(lo, x) : x, hi = i ? std::max(hi, x) : x;
        nlo = i ? std::min(nlo, m) : m, nhi = i ? std::max(nhi, m) : m;
    }
    if (!over || nhi - nlo > hi - lo) return;
    for (int32_t i = 0; i < count; ++i) scratch[i].Uvw[k] = moved[i];
}

// The "TXUV" tag of a polygon gives u v pairs that replace the computed ones.
void ApplyUvTag(LwObject* object, int32_t polygon, LwUvScratch* scratch, int32_t count) {
    LwPolygonTagMap* map = object->Op.FindPolygonTagMapOf(object, nullptr, polygon, Id("TXUV"));
    LwTag* tag = map ? object->Op.GetPolygonTag(object, map, polygon) : nullptr;
    if (!tag) return;
    std::istringstream in(tag->Name);
    in.imbue(std::locale::classic());
    double u, v;
    for (int32_t i = 0; i < count && (in >> u >> v); ++i) {
        scratch[i].Uvw[0] = u, scratch[i].Uvw[1] = v, scratch[i].Uvw[2] = 1.0;
    }
}

int32_t ProjectPolygonTexCoords(LwObject* object, const LwTextureLayer* texture, int32_t index, LwUvScratch* scratch) {
    LwPolygon* polygon = object ? object->Op.GetPolygon(object, index) : nullptr;
    if (!polygon || !texture || !scratch) return LW_ERR_PARAM;
    const int32_t count = polygon->VertexCount();
    for (int32_t i = 0; i < count; ++i) {
        scratch[i].Point = polygon->Points[i];
        scratch[i].SurfaceName = polygon->SurfaceName;
    }
    const int projection = texture->Projection;
    if (projection == LW_PROJECT_FRONT || projection > LW_PROJECT_UV) return LW_ERR_PARAM;  // nothing to compute
    if (projection == LW_PROJECT_UV) {
        LwVmad* vmad = object->Op.FindVmad(object, Id("TXUV"), texture->UvMapName);
        LwVmap* vmap = object->Op.FindVmap(object, Id("TXUV"), texture->UvMapName);
        for (int32_t i = 0; i < count; ++i) {
            const float* value = vmad && vmad->Dimension >= 2
                                     ? object->Op.GetVmadValue(object, vmad, polygon->Points[i], index)
                                     : nullptr;
            if (!value && vmap && vmap->Dimension >= 2)
                value = object->Op.GetVmapValue(object, vmap, polygon->Points[i]);
            if (!value) return LW_ERR_UV_NOT_FOUND;
            scratch[i].Uvw[0] = value[0], scratch[i].Uvw[1] = value[1], scratch[i].Uvw[2] = 1.0;
        }
    } else {
        LwMatrix m;
        LwMatrixIdentity(m);
        LwMatrixRotate(m, -texture->Rotation[1], 'x');
        LwMatrixRotate(m, texture->Rotation[0], 'y');
        LwMatrixRotate(m, -texture->Rotation[2], 'z');
        const double sx = Scale(texture->Size[0]), sy = Scale(texture->Size[1]), sz = Scale(texture->Size[2]);
        const double ww = texture->WrapWidth, wh = texture->WrapHeight;
        int axis = texture->Axis;
        if (projection == LW_PROJECT_CUBIC) {
            double n[3];
            object->Op.GetPolygonNormal(object, index, n);
            const double ax = std::fabs(n[0]), ay = std::fabs(n[1]), az = std::fabs(n[2]);
            axis = ax > ay && ax > az ? 0 : ay > az ? 1 : 2;
        }
        for (int32_t i = 0; i < count; ++i) {
            const LwPoint* point = object->Op.GetPoint(object, polygon->Points[i]);
            double p[3];
            for (int k = 0; k < 3; ++k) p[k] = point->Xyz[k] - texture->Center[k];
            LwMatrixTransform(m, p, p);
            const double x = p[0], y = p[1], z = p[2];
            double u, v;
            if (projection == LW_PROJECT_CYLINDRICAL) {
                double angle, t;
                if (axis == 0)
                    angle = Heading(z, -y), t = x / sx;
                else if (axis == 1)
                    angle = Heading(-x, z), t = y / sy;
                else
                    angle = Heading(-x, -y), t = z / sz;
                u = 1.0 - angle * kInverseTwoPi;
                if (ww != 1.0) u *= ww;
                v = 0.5 - t;
            } else if (projection == LW_PROJECT_SPHERICAL) {
                double heading, pitch;
                if (axis == 0)
                    heading = Heading(z, -y), pitch = Pitch(x, std::sqrt(y * y + z * z));
                else if (axis == 1)
                    heading = Heading(-x, z), pitch = Pitch(y, std::sqrt(x * x + z * z));
                else
                    heading = Heading(-x, -y), pitch = Pitch(z, std::sqrt(x * x + y * y));
                u = 1.0 - heading * kInverseTwoPi;
                if (ww != 1.0) u *= ww;
                v = 0.5 - pitch * kInversePi;
                if (wh != 1.0) v *= wh;
            } else {
                u = (axis == 0 ? z / sz : x / sx) + 0.5;
                v = 0.5 - (axis == 1 ? z / sz : y / sy);
            }
            scratch[i].Uvw[0] = Snap(u);
            scratch[i].Uvw[1] = Snap(1.0 - v);
            scratch[i].Uvw[2] = 1.0;
        }
        if (projection == LW_PROJECT_CYLINDRICAL || projection == LW_PROJECT_SPHERICAL) Seam(scratch, count, 0, ww);
        if (projection == LW_PROJECT_SPHERICAL) Seam(scratch, count, 1, wh);
    }
    if (texture->Flags & LW_LAYER_ALPHA_IMAGE) {
        for (int k = 0; k < 2; ++k) {
            // Whole turns until no value is negative; bounded, as a far value would take forever.
            for (int turn = 0; turn < 1024; ++turn) {
                bool negative = false;
                for (int32_t i = 0; i < count; ++i) negative = negative || scratch[i].Uvw[k] < 0.0;
                if (!negative) break;
                for (int32_t i = 0; i < count; ++i) scratch[i].Uvw[k] += 1.0;
            }
        }
    }
    ApplyUvTag(object, index, scratch, count);
    return LW_ERR_NONE;
}

int32_t GenerateTexCoords(LwObject* object, uint16_t channel, uint16_t layer, int32_t flags) {
    if (!LwCurrentLayer(object)) return LW_ERR_PARAM;
    bool any = false;
    for (int32_t id = 0; !any && id < object->Op.GetNumSurfaces(object); ++id) {
        LwMaterial* m = object->Op.GetEvaluatedMaterial(object, id);
        any = m && object->Op.GetTextureLayer(object, m, channel, layer);
    }
    if (!any) return LW_ERR_NONE;
    std::vector<LwUvScratch> scratch;
    std::vector<int32_t> indices;
    const int32_t polygons = object->Op.GetNumPolygons(object);
    for (int32_t p = 0; p < polygons; ++p) {
        LwPolygon* polygon = object->Op.GetPolygon(object, p);
        LwMaterial* m = object->Op.GetEvaluatedMaterial(object, polygon->SurfaceId);
        LwTextureLayer* texture = m ? object->Op.GetTextureLayer(object, m, channel, layer) : nullptr;
        if (!texture) continue;
        const int32_t count = polygon->VertexCount();
        if (!LwResize(scratch, (size_t)count) || !LwResize(indices, (size_t)count))
            return object->ErrorCode = LW_ERR_MEMORY;
        if (object->Op.ProjectPolygonTexCoords(object, texture, p, scratch.data()) != LW_ERR_NONE) continue;
        for (int32_t i = 0; i < count; ++i) {
            const double* t = scratch[i].Uvw;
            indices[i] = (flags & LW_TEXCOORD_SHARE)
                             ? object->Op.FindOrAddPointTexCoord(object, scratch[i].Point, t[0], t[1], t[2])
                             : object->Op.AddTexCoord(object, t[0], t[1], t[2]);
            if (indices[i] < 0) return object->ErrorCode = LW_ERR_MEMORY;
        }
        if (!object->Op.SelectPolygonTexChannel(object, p, channel, layer)) return object->ErrorCode = LW_ERR_MEMORY;
        if (object->Op.SetPolygonTexIndices(object, p, count, indices.data()) == LW_ERR_MEMORY)
            return object->ErrorCode = LW_ERR_MEMORY;
    }
    return LW_ERR_NONE;
}

int32_t SetupTextureCoordinates(LwObject* object, uint16_t mask, uint16_t layers, int32_t flags) {
    int32_t result = object ? object->Op.FreeTexCoords(object) : LW_ERR_PARAM;
    if (result != LW_ERR_NONE) return result;
    if ((flags & LW_TEXCOORD_UV_FILE) && object->Op.ReadUvFile(object, flags) == LW_ERR_NONE) return LW_ERR_NONE;
    const bool lists = (flags & LW_TEXCOORD_SHARE) && object->Op.GetNumPoints(object) > 0;
    if (lists && (result = object->Op.BuildPointPolygonLists(object)) != LW_ERR_NONE) return result;
    for (int i = 0; i < 8 && result == LW_ERR_NONE; ++i) {
        if (!(mask & (1u << i))) continue;
        for (uint16_t j = 0; j < layers && result == LW_ERR_NONE; ++j)
            result = object->Op.GenerateTexCoords(object, (uint16_t)(1u << i), j, flags);
    }
    if (result == LW_ERR_NONE) {
        object->Op.SelectTextureLayer(object, 0, 0);
        object->Op.SelectTextureLayer(object, 1, 0);
    }
    if (lists) object->Op.FreePointPolygonLists(object);
    return result;
}

}  // namespace

void LwFillTexCoordOperations(LwObjectOperations* op) {
    op->GetNumTexCoords = GetNumTexCoords;
    op->AddTexCoord = AddTexCoord;
    op->FindOrAddPointTexCoord = FindOrAddPointTexCoord;
    op->GetTexCoord = GetTexCoord;
    op->SetTexCoord = SetTexCoord;
    op->SetupTextureCoordinates = SetupTextureCoordinates;
    op->GenerateTexCoords = GenerateTexCoords;
    op->ProjectPolygonTexCoords = ProjectPolygonTexCoords;
    op->ReadUvFile = ReadUvFile;
    op->FreeTexCoords = FreeTexCoords;
}
