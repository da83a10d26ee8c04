// Vertex colours of the current layer: from the object's RGBA and RGB vertex maps when it has any,
// otherwise from the ".vcl" file beside the object, and from the surfaces' colours when neither
// gives any and the caller asks for them.
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }
constexpr LwId kRgba = Id("RGBA");
constexpr LwId kRgb = Id("RGB ");
constexpr float kByteScale = 0.003921569f;  // 1/255 in single precision

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A format fault: the text with the line, then the file name, into the error detail.
int32_t Fault(LwObject* object, const LwVclFile* vcl, const char* format, const char* line) {
    char text[sizeof(object->MessageText)];
    snprintf(text, sizeof(text), format, line);
    std::string message = std::string(text) + vcl->FileName;
    LwCopyText(object->MessageText, message.c_str(), sizeof(object->MessageText));
    object->ErrorCode = LW_ERR_NONE;
    return LW_ERR_BAD_FORMAT;
}

bool ReadCount(LwTextLines& lines, int32_t* out) {
    const char* fields[2];
    return lines.Next() && lines.Split(2, fields) >= 1 && LwParseInt(fields[0], out);
}

// The stated total of entries from the line read; false for a negative one. A total that is no 32-bit
// integer ("2147483648", "1e3") bounds nothing: no count can pass it.
bool ReadTotal(LwTextLines& lines, int32_t* out) {
    const char* fields[2];
    const bool given = lines.Split(2, fields) >= 1;
    if (given && LwParseInt(fields[0], out)) return *out >= 0;
    double stated = 0.0;
    if (given && LwParseDouble(fields[0], &stated) && stated < 0.0) return false;
    *out = INT32_MAX;
    return true;
}

// Colours of the polygon's corners, one set per corner, added plainly or shared at their points.
int32_t ColorPolygon(LwObject* object, int32_t polygon, const std::vector<float>& rgba, bool share) {
    LwPolygon* p = object->Op.GetPolygon(object, polygon);
    const int32_t count = p->VertexCount();
    std::vector<int32_t> indices;
    if (!LwResize(indices, (size_t)count)) return object->ErrorCode = LW_ERR_MEMORY;
    for (int32_t v = 0; v < count; ++v) {
        const float* c = &rgba[(size_t)v * 4];
        indices[v] = share ? object->Op.FindOrAddPointColor(object, p->Points[v], c[0], c[1], c[2], c[3])
                           : object->Op.AddColor(object, c[0], c[1], c[2], c[3]);
        if (indices[v] < 0) return object->ErrorCode = LW_ERR_MEMORY;
        p = object->Op.GetPolygon(object, polygon);
    }
    if (object->Op.SetPolygonColorIndices(object, polygon, count, indices.data()) == LW_ERR_MEMORY)
        return object->ErrorCode = LW_ERR_MEMORY;
    return LW_ERR_NONE;
}

bool Resize(std::vector<float>& rgba, int32_t corners) { return LwResize(rgba, (size_t)corners * 4); }

// ---- from the ".vcl" file -----------------------------------------------------------------------

int32_t ColorsFromFile(LwObject* object, int32_t flags) {
    object->ErrorCode = LW_ERR_NONE;
    std::unique_ptr<LwVclFile> vcl(new (std::nothrow) LwVclFile());
    if (!vcl) return object->ErrorCode = LW_ERR_MEMORY;
    vcl->Flags = flags;
    LwCompanionName(object, ".vcl", vcl->FileName);
    int32_t result = ReadVclFile(vcl.get(), object);
    if (result == LW_ERR_NONE) {
        std::vector<float> rgba;
        const int32_t polygons = object->Op.GetNumPolygons(object);
        for (int32_t p = 0; p < polygons && result == LW_ERR_NONE; ++p) {
            const LwPolygon* polygon = object->Op.GetPolygon(object, p);
            // A corner whose point names no colour for the polygon takes the surface's colour.
            const LwMaterial* m = LwMaterialOrDefault(object, polygon->SurfaceId);
            if (!Resize(rgba, polygon->VertexCount())) return object->ErrorCode = LW_ERR_MEMORY;
            for (int32_t v = 0; v < polygon->VertexCount(); ++v) {
                float* c = &rgba[(size_t)v * 4];
                memcpy(c, m->Color, 4 * sizeof(float));
                const int32_t point = polygon->Points[v];
                for (int32_t e = 0; e < vcl->Count[point]; ++e) {
                    const LwVclEntry& entry = vcl->Entries[(size_t)vcl->First[point] + e];
                    if (entry.Polygon != p) continue;
                    for (int k = 0; k < 4; ++k) c[k] = entry.Rgba[k] * kByteScale;
                    break;
                }
            }
            result = ColorPolygon(object, p, rgba, flags & LW_VCOLOR_SHARE);
        }
    }
    object->StateWord = 0;
    object->MessageText[0] = '\0';
    return result;
}

// ---- from the vertex maps -----------------------------------------------------------------------

// The value of the map of that type and name at the corner: the discontinuous map first.
const float* MapValue(LwObject* object, LwId type, const char* name, int32_t point, int32_t polygon) {
    const int32_t needed = type == kRgba ? 4 : 3;
    LwVmad* vmad = object->Op.FindVmad(object, type, name);
    if (vmad && vmad->Dimension >= needed)
        if (const float* v = object->Op.GetVmadValue(object, vmad, point, polygon)) return v;
    LwVmap* vmap = object->Op.FindVmap(object, type, name);
    if (vmap && vmap->Dimension >= needed) return object->Op.GetVmapValue(object, vmap, point);
    return nullptr;
}

// The corners' colours from the map a polygon tag of that type names; false unless every corner has one.
bool ColorsFromTag(LwObject* object, int32_t p, LwId type, std::vector<float>& rgba) {
    LwPolygonTagMap* map = object->Op.FindPolygonTagMapOf(object, nullptr, p, type);
    LwTag* tag = map ? object->Op.GetPolygonTag(object, map, p) : nullptr;
    LwVmap* vmap = tag ? object->Op.FindVmap(object, type, tag->Name) : nullptr;
    if (!vmap || vmap->Dimension < (type == kRgba ? 4 : 3)) return false;
    const LwPolygon* polygon = object->Op.GetPolygon(object, p);
    for (int32_t v = 0; v < polygon->VertexCount(); ++v) {
        const float* value = object->Op.GetVmapValue(object, vmap, polygon->Points[v]);
        if (!value) return false;
        float* c = &rgba[(size_t)v * 4];
        c[0] = value[0], c[1] = value[1], c[2] = value[2];
        c[3] = type == kRgba ? value[3] : 1.0f;
    }
    return true;
}

int32_t ColorsFromMaps(LwObject* object, int32_t flags) {
    const bool blend = flags & LW_VCOLOR_BLEND;
    std::vector<float> rgba;
    const int32_t polygons = object->Op.GetNumPolygons(object);
    for (int32_t p = 0; p < polygons; ++p) {
        const LwPolygon* polygon = object->Op.GetPolygon(object, p);
        const LwMaterial* m = LwMaterialOrDefault(object, polygon->SurfaceId);
        const float* base = m->Color;
        if (!Resize(rgba, polygon->VertexCount())) return object->ErrorCode = LW_ERR_MEMORY;
        bool colored = true;
        if (m->VertexColorMap[0]) {
            const LwId type = m->VertexColorMapType;
            for (int32_t v = 0; v < polygon->VertexCount(); ++v) {
                float* c = &rgba[(size_t)v * 4];
                const float* value = MapValue(object, type, m->VertexColorMap, polygon->Points[v], p);
                if (!value) {
                    memcpy(c, base, 4 * sizeof(float));
                } else if (blend && type == kRgba) {
                    const float a = value[3];
                    for (int k = 0; k < 3; ++k) c[k] = a * value[k] + (1.0f - a) * base[k];
                    c[3] = a;
                } else {
                    c[0] = value[0], c[1] = value[1], c[2] = value[2];
                    c[3] = type == kRgba ? value[3] : 1.0f;
                }
            }
        } else if (!ColorsFromTag(object, p, kRgba, rgba) && !ColorsFromTag(object, p, kRgb, rgba)) {
            colored = blend;
            for (int32_t v = 0; colored && v < polygon->VertexCount(); ++v)
                memcpy(&rgba[(size_t)v * 4], base, 4 * sizeof(float));
        }
        if (colored && ColorPolygon(object, p, rgba, flags & LW_VCOLOR_SHARE) != LW_ERR_NONE) return object->ErrorCode;
    }
    return LW_ERR_NONE;
}

// ---- surface colours ----------------------------------------------------------------------------

// Colour i is surface i's; a polygon whose surface has no entry takes the default material colour.
int32_t ColorsFromSurfaces(LwObject* object) {
    object->MessageText[0] = '\0';
    object->ErrorCode = LW_ERR_NONE;
    const int32_t surfaces = object->Op.GetNumSurfaces(object);
    for (int32_t id = 0; id < surfaces; ++id) {
        const float* c = LwMaterialOrDefault(object, id)->Color;
        if (object->Op.AddColor(object, c[0], c[1], c[2], c[3]) < 0) return object->ErrorCode = LW_ERR_MEMORY;
    }
    int32_t fallback = -1;
    std::vector<int32_t> indices;
    const int32_t polygons = object->Op.GetNumPolygons(object);
    for (int32_t p = 0; p < polygons; ++p) {
        const LwPolygon* polygon = object->Op.GetPolygon(object, p);
        int32_t index = polygon->SurfaceId;
        if (index < 0 || index >= surfaces) {
            if (fallback < 0) {
                const float* c = LwMaterialOrDefault(object, -1)->Color;
                fallback = object->Op.AddColor(object, c[0], c[1], c[2], c[3]);
                if (fallback < 0) return object->ErrorCode = LW_ERR_MEMORY;
            }
            index = fallback;
        }
        if (!LwResize(indices, (size_t)polygon->VertexCount())) return object->ErrorCode = LW_ERR_MEMORY;
        std::fill(indices.begin(), indices.end(), index);
        if (object->Op.SetPolygonColorIndices(object, p, (int32_t)indices.size(), indices.data()) == LW_ERR_MEMORY)
            return object->ErrorCode = LW_ERR_MEMORY;
    }
    return LW_ERR_NONE;
}

// A missing or unreadable ".vcl" file is no failure: the result is the recorded code, which only
// running out of memory sets.
int32_t LoadVertexColors(LwObject* object, int32_t flags) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    object->Op.FreeColors(object);
    // Shared colours look at the other corners of the point: through the point lists when built.
    const bool lists = (flags & LW_VCOLOR_SHARE) && !layer->PointData.Lists && !layer->Points.empty() &&
                       object->Op.BuildPointPolygonLists(object) == LW_ERR_NONE;
    int32_t result;
    if (object->Op.GetNumVmaps(object, kRgba) + object->Op.GetNumVmaps(object, kRgb) > 0)
        result = ColorsFromMaps(object, flags);
    else
        result = ColorsFromFile(object, flags);
    if (result != LW_ERR_NONE && (flags & LW_VCOLOR_BLEND) && object->ErrorCode != LW_ERR_MEMORY) {
        object->Op.FreeColors(object);
        ColorsFromSurfaces(object);
    }
    if (lists) object->Op.FreePointPolygonLists(object);
    return object->ErrorCode;
}

}  // namespace

int32_t ReadVclFile(LwVclFile* vcl, LwObject* object) {
    if (!vcl || !object || !object->CurrentLayer) return LW_ERR_PARAM;
    FilePtr file(LwOpenCompanion(vcl->FileName));
    if (!file) {
        LwCopyText(object->MessageText, vcl->FileName, sizeof(object->MessageText));
        vcl->Error = LW_ERR_FILE_OPEN;
        return LW_ERR_FILE_OPEN;
    }
    // A file that ends early leaves the points it did not reach without entries.
    const int32_t points = object->Op.GetNumPoints(object);
    if (!LwResize(vcl->First, (size_t)points, 0) || !LwResize(vcl->Count, (size_t)points, 0))
        return object->ErrorCode = LW_ERR_MEMORY;
    LwTextLines lines(file.get());
    if (!lines.Next() || strcmp(lines.Text(), "VCLFILE") != 0)
        return Fault(object, vcl, "NOT VCL FILE {%s} ", lines.Text());
    for (int i = 0; i < 3; ++i)
        if (!lines.Next()) return LW_ERR_NONE;
    if (!lines.Next()) return LW_ERR_NONE;
    if (!LwParseInt(lines.Text(), &vcl->NumPoints) || vcl->NumPoints != points)
        return Fault(object, vcl, "BAD NUMBER OF POINT {%s} ", lines.Text());
    if (!lines.Next()) return LW_ERR_NONE;
    if (!ReadTotal(lines, &vcl->NumEntries)) return Fault(object, vcl, "BAD NUMBER OF ENTRY {%s} ", lines.Text());
    // The stated total only bounds the points' counts: nothing is sized from it, so a total larger
    // than the file holds (even one no memory could) costs none of the entries the file does hold.
    // The table grows by the lines read.
    for (int32_t point = 0; point < points; ++point) {
        int32_t count = 0;
        if (!ReadCount(lines, &count)) return LW_ERR_NONE;
        if (count < 0 || count > vcl->NumEntries - (int32_t)vcl->Entries.size())
            return Fault(object, vcl, "BAD NUMBER OF ENTRY {%s} ", lines.Text());
        vcl->First[point] = (int32_t)vcl->Entries.size();
        for (int32_t e = 0; e < count; ++e) {
            if (!lines.Next()) return LW_ERR_NONE;
            const char* fields[6];
            LwVclEntry entry{};
            int32_t values[5];
            bool valid = lines.Split(6, fields) >= 5;
            for (int k = 0; valid && k < 5; ++k) valid = LwParseInt(fields[k], &values[k]);
            // A file cut inside its last entry ends there, keeping the entries before it.
            if (!valid && lines.EndedByFile()) return LW_ERR_NONE;
            if (!valid) return Fault(object, vcl, "BAD ENTRY {%s} ", lines.Text());
            entry.Polygon = values[0];
            // Each component is stored as one byte, as written (0 to 255) or not.
            for (int k = 0; k < 4; ++k) entry.Rgba[k] = (uint8_t)(values[k + 1] & 0xFF);
            try {
                vcl->Entries.push_back(entry);
            } catch (const std::bad_alloc&) {
                return object->ErrorCode = LW_ERR_MEMORY;
            }
            ++vcl->Count[point];
        }
    }
    return LW_ERR_NONE;
}

void LwFillVertexColorOperation(LwObjectOperations* op) { op->LoadVertexColors = LoadVertexColors; }
