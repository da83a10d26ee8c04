// The ".uv" companion file: texture coordinates per polygon corner, in the positional form of
// versions 1 and 2 or the keyword form of version 4, which may also carry colours and normals.
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int32_t kMaxCorners = 4096;  // corners of one polygon in a keyword file

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};

struct UvSlot {
    LwSurfaceEntry* Surface;
    bool HasImage;
};

class UvReader {
public:
    UvReader(LwObject* object, FILE* file, const char* fileName, int32_t flags, long size)
        : object_(object), lines_(file), fileName_(fileName), flags_(flags), size_(size) {}

    int32_t Read();

private:
    int32_t Fault(const char* text, bool withName = true);
    int32_t BadSurface(int32_t slot, const char* name);
    int32_t BadPolygon(int32_t polygon, int32_t count);
    int32_t Positional();
    int32_t Keywords();
    bool SlotsFor(int32_t count);
    void SetImage(UvSlot* slot, const char* image);
    int32_t SlotOfPolygon(const LwPolygon* polygon) const;
    int32_t SetCoordinates(int32_t polygon, const std::vector<int32_t>& indices);

    LwObject* object_;
    LwTextLines lines_;
    std::string fileName_;
    int32_t flags_;
    long size_;
    std::vector<UvSlot> slots_;
};

int32_t UvReader::Fault(const char* text, bool withName) {
    std::string message = text;
    if (withName) message += fileName_;
    LwCopyText(object_->MessageText, message.c_str(), sizeof(object_->MessageText));
    object_->ErrorCode = LW_ERR_NONE;
    return LW_ERR_BAD_FORMAT;
}

int32_t UvReader::BadSurface(int32_t slot, const char* name) {
    const std::string text = "BAD_SURFACE [" + std::to_string(slot) + "] {" + name + "} ";
    return Fault(text.c_str());
}

int32_t UvReader::BadPolygon(int32_t polygon, int32_t count) {
    char text[64];
    snprintf(text, sizeof(text), "BAD_POLY IDX[%d] NUM[%d] ", polygon, count);
    return Fault(text);
}

// A surface takes at least two short lines, so a count beyond the file is no count.
bool UvReader::SlotsFor(int32_t count) {
    if (count < 0 || (long)count > size_ / 2 + 1) return false;
    slots_.assign((size_t)count, UvSlot{nullptr, false});
    return true;
}

// The image becomes the texture of the surface's first colour layer, the layer the file's
// coordinates are for; a surface without one gets a UV-mapped layer.
void UvReader::SetImage(UvSlot* slot, const char* image) {
    if (strcmp(image, "NULL") == 0) return;
    const int32_t clip = AddStillClip(object_, image);
    slot->HasImage = true;
    if (!slot->Surface) return;
    LwMaterial* m = object_->Op.GetEvaluatedMaterial(object_, slot->Surface->Id);
    if (!m) m = object_->Op.GetEvaluatedMaterial(object_, slot->Surface->Id);  // an object of no file type
    if (!m) return;
    LwTextureLayer* layer = object_->Op.GetTextureLayer(object_, m, LW_CHANNEL_COLOR, 0);
    if (!layer) {
        if (!(layer = object_->Op.AddTextureLayer(object_, m))) return;
        layer->Channel = LW_CHANNEL_COLOR;
        layer->Projection = LW_PROJECT_UV;
    }
    layer->Flags |= LW_LAYER_IMAGE;
    char name[LW_CLIP_NAME_SIZE];
    LwCopyText(layer->ImageName, GetClipDisplayName(object_, clip, name) ? name : image, sizeof(layer->ImageName));
}

// The slot naming the polygon's surface, -1 for none.
int32_t UvReader::SlotOfPolygon(const LwPolygon* polygon) const {
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].Surface && slots_[i].Surface->Id == polygon->SurfaceId) return (int32_t)i;
    return -1;
}

int32_t UvReader::SetCoordinates(int32_t polygon, const std::vector<int32_t>& indices) {
    if (!object_->Op.SelectPolygonTexChannel(object_, polygon, 1, 0)) return object_->ErrorCode = LW_ERR_MEMORY;
    if (object_->Op.SetPolygonTexIndices(object_, polygon, (int32_t)indices.size(), indices.data()) == LW_ERR_MEMORY)
        return object_->ErrorCode = LW_ERR_MEMORY;
    return LW_ERR_NONE;
}

int32_t UvReader::Read() {
    if (!lines_.Next()) return Fault("BAD_VERSION {} ", false);
    const char* fields[2];
    int n = lines_.Split(2, fields);
    int32_t version = 0;
    const char* number = n == 2 && strcmp(fields[0], "VERSION") == 0 ? fields[1] : n >= 1 ? fields[0] : "";
    if (!LwParseInt(number, &version) || (version != 1 && version != 2 && version != 4)) {
        char text[4200];
        snprintf(text, sizeof(text), "BAD_VERSION {%s} ", lines_.Text());
        return Fault(text, false);
    }
    if (version != 4) return Positional();
    if (n != 2 || strcmp(fields[0], "VERSION") != 0) {
        char text[64];
        snprintf(text, sizeof(text), "BAD VERSION [%d]", version);
        return Fault(text);
    }
    return Keywords();
}

int32_t UvReader::Positional() {
    int32_t count = 0;
    if (!lines_.Next() || !LwParseInt(lines_.Text(), &count) || !SlotsFor(count)) return BadSurface(-1, lines_.Text());
    for (int32_t i = 0; i < count; ++i) {
        if (!lines_.Next() || !(slots_[i].Surface = object_->Op.FindSurface(object_, lines_.Text())))
            return BadSurface(i, lines_.Text());
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!lines_.Next()) return BadSurface(i, "");
        SetImage(&slots_[i], lines_.Text());
    }
    const int32_t polygons = object_->Op.GetNumPolygons(object_);
    int32_t given = 0;
    char text[4200];
    if (!lines_.Next() || !LwParseInt(lines_.Text(), &given) || given != polygons) {
        snprintf(text, sizeof(text), "BAD_NUMOFPOLY {%s} ", lines_.Text());
        return Fault(text);
    }
    std::vector<int32_t> indices;
    for (int32_t p = 0; p < polygons; ++p) {
        const char* fields[3];
        int32_t index = -1, corners = -1;
        if (!lines_.Next() || lines_.Split(2, fields) != 2 || !LwParseInt(fields[0], &index) ||
            !LwParseInt(fields[1], &corners))
            return BadPolygon(index, corners);
        const LwPolygon* polygon = object_->Op.GetPolygon(object_, index);
        if (!polygon || polygon->VertexCount() != corners) return BadPolygon(index, corners);
        const int32_t slot = SlotOfPolygon(polygon);
        const bool image = slot >= 0 && slots_[slot].HasImage;
        indices.clear();
        for (int32_t v = 0; v < corners; ++v) {
            if (!lines_.Next()) return BadPolygon(index, corners);
            if (!image) continue;
            double uvw[3];
            if (lines_.Split(3, fields) != 3 || !LwParseDouble(fields[0], &uvw[0]) ||
                !LwParseDouble(fields[1], &uvw[1]) || !LwParseDouble(fields[2], &uvw[2]))
                return BadPolygon(index, corners);
            const int32_t t = object_->Op.AddTexCoord(object_, uvw[0], uvw[1], uvw[2]);
            if (t < 0 || !LwAppend(indices, t)) return object_->ErrorCode = LW_ERR_MEMORY;
        }
        if (image && SetCoordinates(index, indices) != LW_ERR_NONE) return LW_ERR_MEMORY;
    }
    return LW_ERR_NONE;
}

int32_t UvReader::Keywords() {
    std::vector<int32_t> coords(kMaxCorners, -1), colors(kMaxCorners, -1), normals(kMaxCorners, -1);
    const int32_t polygons = object_->Op.GetNumPolygons(object_);
    int32_t channel = 0, slot = -1, polygon = -1, polygonSlot = -1, corners = -1, vertex = -1;
    // The corners of a polygon are set only when every one of them was given, and only with what
    // was given for this polygon since its corner count (the tables may have been cleared since).
    auto restart = [&] {
        for (auto* table : {&coords, &colors, &normals}) std::fill(table->begin(), table->end(), -1);
    };
    auto complete = [&](const std::vector<int32_t>& table) {
        return std::find(table.begin(), table.begin() + corners, -1) == table.begin() + corners;
    };
    char text[4200];
    while (lines_.Next()) {
        const char* f[5];
        const int n = lines_.Split(5, f);
        if (n == 0) continue;  // blanks only
        const std::string key = f[0];
        int32_t value = 0;
        const bool number = n >= 2 && LwParseInt(f[1], &value);
        double x[3] = {0, 0, 0};
        int reals = 0;
        for (int i = 1; i < n && i <= 3 && LwParseDouble(f[i], &x[i - 1]); ++i) ++reals;
        if (key == "SURFACE_COUNT") {
            if (!number || !SlotsFor(value)) return BadSurface(value, f[n > 1 ? 1 : 0]);
            slot = polygonSlot = -1;
        } else if (key == "CHANNEL") {
            if (!number) return Fault("BAD_CHANNEL ");
            channel = value;
        } else if (key == "SURFACE") {
            if (!number || value < 0 || (size_t)value >= slots_.size()) return BadSurface(value, f[n > 1 ? 1 : 0]);
            slot = value;
        } else if (key == "SURFACE_NAME") {
            if (!lines_.Next() || slot < 0) return BadSurface(slot, lines_.Text());
            if (!(slots_[slot].Surface = object_->Op.FindSurface(object_, lines_.Text())))
                return BadSurface(slot, lines_.Text());
            slots_[slot].HasImage = false;
        } else if (key == "SURFACE_IMAGE_FILE") {
            if (!lines_.Next() || slot < 0) return BadSurface(slot, lines_.Text());
            if (channel == 0) SetImage(&slots_[slot], lines_.Text());
        } else if (channel != 0 || key == "CLAMP" || key == "POLY_USER") {
            continue;  // other channels keep only their surface names and slots
        } else if (key == "POLY_COUNT") {
            if (!number || value != polygons) {
                snprintf(text, sizeof(text), "BAD_NUMOFPOLY {%s} ", lines_.Text());
                return Fault(text);
            }
            object_->Op.FreeTexCoords(object_);
            restart();
            if (flags_ & LW_TEXCOORD_UV_COLORS) object_->Op.FreeColors(object_);
            if (flags_ & LW_TEXCOORD_UV_NORMALS) object_->Op.FreeNormals(object_);
        } else if (key == "POLY") {
            if (!number || !object_->Op.GetPolygon(object_, value)) return BadPolygon(value, -1);
            polygon = value, corners = -1, vertex = -1;
        } else if (key == "POLY_SURF") {
            if (!number || value < 0 || (size_t)value >= slots_.size()) return BadSurface(value, f[n > 1 ? 1 : 0]);
            polygonSlot = value;
        } else if (key == "POLY_VERT_COUNT") {
            const LwPolygon* p = object_->Op.GetPolygon(object_, polygon);
            if (!number || !p || p->VertexCount() != value || value > kMaxCorners) return BadPolygon(polygon, value);
            corners = value;
            restart();
        } else if (key == "VERT") {
            if (!number || corners < 0 || value < 0 || value >= corners) return BadPolygon(polygon, corners);
            vertex = value;
        } else if (key == "VERT_CUV" || key == "VERT_UV" || key == "VERT_RGB" || key == "VERT_NORMAL") {
            const bool uv = key == "VERT_CUV" || key == "VERT_UV";
            if (vertex < 0 || reals < (uv ? 2 : 3)) return BadPolygon(polygon, corners);
            const LwPolygon* p = object_->Op.GetPolygon(object_, polygon);
            const int32_t point = p->Points[vertex];
            const bool last = vertex == corners - 1;
            if (uv) {
                if (polygonSlot < 0 || !slots_[polygonSlot].HasImage) continue;
                coords[vertex] = (flags_ & LW_TEXCOORD_SHARE)
                                     ? object_->Op.FindOrAddPointTexCoord(object_, point, x[0], x[1], 1.0)
                                     : object_->Op.AddTexCoord(object_, x[0], x[1], 1.0);
                if (coords[vertex] < 0) return object_->ErrorCode = LW_ERR_MEMORY;
                if (last && complete(coords) &&
                    SetCoordinates(polygon, std::vector<int32_t>(coords.begin(), coords.begin() + corners)))
                    return LW_ERR_MEMORY;
            } else if (key == "VERT_RGB" && (flags_ & LW_TEXCOORD_UV_COLORS)) {
                colors[vertex] = object_->Op.AddColor(object_, (float)x[0], (float)x[1], (float)x[2], 1.0f);
                if (colors[vertex] < 0) return object_->ErrorCode = LW_ERR_MEMORY;
                if (last && complete(colors) &&
                    object_->Op.SetPolygonColorIndices(object_, polygon, corners, colors.data()) == LW_ERR_MEMORY)
                    return object_->ErrorCode = LW_ERR_MEMORY;
            } else if (key == "VERT_NORMAL" && (flags_ & LW_TEXCOORD_UV_NORMALS)) {
                normals[vertex] = object_->Op.AddNormal(object_, x);
                if (normals[vertex] < 0) return object_->ErrorCode = LW_ERR_MEMORY;
                if (last && complete(normals) &&
                    object_->Op.SetPolygonNormalIndices(object_, polygon, corners, normals.data()) == LW_ERR_MEMORY)
                    return object_->ErrorCode = LW_ERR_MEMORY;
            }
        }
    }
    return LW_ERR_NONE;
}

}  // namespace

int32_t ReadUvFile(LwObject* object, int32_t flags) {
    if (!object || !object->CurrentLayer) return LW_ERR_PARAM;
    object->ErrorCode = LW_ERR_NONE;
    char name[LW_PATH_SIZE];
    LwCompanionName(object, ".uv", name);
    std::unique_ptr<FILE, FileCloser> file(LwOpenCompanion(name));
    if (!file) return LW_ERR_FILE_OPEN;
    fseek(file.get(), 0, SEEK_END);
    const long size = ftell(file.get());
    fseek(file.get(), 0, SEEK_SET);
    int32_t result;
    try {
        UvReader reader(object, file.get(), name, flags, size);
        result = reader.Read();
        // What a faulty file had set is dropped, so that the projections start from nothing.
        if (result == LW_ERR_BAD_FORMAT) object->Op.FreeTexCoords(object);
    } catch (const std::bad_alloc&) {
        result = object->ErrorCode = LW_ERR_MEMORY;
    }
    object->StateWord = 0;
    return result;
}
