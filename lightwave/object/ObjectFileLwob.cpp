// LWOB object files: one layer, surfaces listed in SRFS and numbered from 1 by the polygons. The
// reader checks every word against its chunk and every number against its list and stops at the
// first fault; the writer refuses an object whose indices or counts the 16-bit fields cannot hold.
#include "lightwave/object/LwChunks.h"
#include "lightwave/object/ObjectFileInternal.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

constexpr int32_t kMaxPoints = 0x10000;   // corners are written as U2
constexpr int32_t kMaxVertices = 0x7FFF;  // the count word is read as a signed number
constexpr int32_t kMaxSurfaces = 0x7FFF;  // and so is the surface word

struct Reader {
    LwObject* Object;
    std::vector<const char*> Surfaces;  // the SRFS list; polygons number it from 1
};

bool ReadWords(ChunkBuff* cb, std::vector<uint16_t>* words) {
    try {
        words->resize(ChunkRemaining(cb) / 2);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ChunkReadU2(words->data(), (uint32_t)words->size(), cb);
    return true;
}

void ReadPoints(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    LwLayer* layer = o->CurrentLayer;
    for (const LwPolygonGroup& group : layer->Groups) {
        if (!group.Polygons.empty()) {
            o->Op.Trace(o, "??? PNTS AFTER POLYGONS\n");
            return LwFail(o, LW_ERR_BAD_FORMAT);
        }
    }
    const uint32_t count = ChunkRemaining(cb) / 12;
    layer->Points.clear();
    try {
        layer->Points.reserve(count);
    } catch (const std::bad_alloc&) {
        return LwFail(o, LW_ERR_MEMORY);
    }
    for (uint32_t i = 0; i < count; ++i) {
        float xyz[3];
        ChunkReadVec12(xyz, 1, cb);
        const double p[3] = {xyz[0], xyz[1], xyz[2]};
        if (o->Op.AddPoint(o, p) < 0) return LwFail(o, LW_ERR_MEMORY);
    }
}

void ReadSurfaceNames(Reader& r, ChunkBuff* cb) {
    while (ChunkRemaining(cb) > 0) {
        char name[512];
        ChunkReadS0(name, sizeof(name), cb);
        const char* added = r.Object->Op.AddSurface(r.Object, name);
        if (!added || !LwAppend(r.Surfaces, added)) return LwFail(r.Object, LW_ERR_MEMORY);
    }
}

void ReadSurface(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    char name[512];
    ChunkReadS0(name, sizeof(name), cb);
    if (!o->Op.AddSurface(o, name)) return LwFail(o, LW_ERR_MEMORY);
    const int32_t rc = o->Op.SetSurfaceData(o, name, (int32_t)ChunkRemaining(cb), cb->Position);
    if (rc != LW_ERR_NONE) LwFail(o, rc);
}

bool AddPolygon(Reader& r, const uint16_t* corners, uint32_t count, const char* surface, int32_t* index) {
    LwObject* o = r.Object;
    std::vector<int32_t> points(corners, corners + count);
    const uint32_t pointCount = (uint32_t)o->Op.GetNumPoints(o);
    for (int32_t point : points) {
        if ((uint32_t)point >= pointCount) {
            o->Op.Trace(o, "??? POLYGON CORNER %d PAST %u POINTS\n", point, pointCount);
            LwFail(o, LW_ERR_BAD_POLYGON);
            return false;
        }
    }
    *index = o->Op.AddPolygon(o, (int32_t)count, points.data(), surface);
    if (*index < 0) LwFail(o, LW_ERR_MEMORY);
    return *index >= 0;
}

bool BadWord(Reader& r, const char* what) {
    r.Object->Op.Trace(r.Object, "??? %s\n", what);
    LwFail(r.Object, LW_ERR_BAD_FORMAT);
    return false;
}

void ReadPolygons(Reader& r, ChunkBuff* cb, LwId type) {
    LwObject* o = r.Object;
    if (r.Surfaces.empty()) return LwFail(o, LW_ERR_BAD_FORMAT);
    o->Op.SetPolygonType(o, type);
    std::vector<uint16_t> words;
    if (!ReadWords(cb, &words)) return LwFail(o, LW_ERR_MEMORY);
    const size_t n = words.size();
    const int32_t surfaces = (int32_t)r.Surfaces.size();
    for (size_t i = 0; i < n;) {
        int32_t count = (int16_t)words[i++];
        if (count < 0) return (void)BadWord(r, "NEGATIVE CORNER COUNT");
        size_t s = i + (size_t)count;
        if (s >= n) return (void)BadWord(r, "POLYGON PAST ITS CHUNK");
        int32_t surface = (int16_t)words[s];
        if (surface < 0) {
            surface = -surface;
            ++s;  // past the count of detail polygons, which follow as ordinary ones
            if (s >= n) return (void)BadWord(r, "DETAIL COUNT PAST ITS CHUNK");
        } else {
            // A word above the surface count is one more corner.
            while (surface > surfaces) {
                ++count;
                if (++s >= n) return (void)BadWord(r, "POLYGON PAST ITS CHUNK");
                surface = (int16_t)words[s];
            }
        }
        if (surface < 1 || surface > surfaces) return (void)BadWord(r, "SURFACE NUMBER OUT OF RANGE");
        int32_t index;
        if (!AddPolygon(r, &words[i], (uint32_t)count, r.Surfaces[surface - 1], &index)) return;
        i = s + 1;
    }
    o->Op.StorePolygonType(o);
}

void ReadCurves(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    if (r.Surfaces.empty()) return LwFail(o, LW_ERR_BAD_FORMAT);
    o->Op.SetPolygonType(o, LW_ID_CURV);
    std::vector<uint16_t> words;
    if (!ReadWords(cb, &words)) return LwFail(o, LW_ERR_MEMORY);
    const size_t n = words.size();
    for (size_t i = 0; i < n;) {
        const uint32_t count = words[i++];
        if (i + count + 2 > n) return (void)BadWord(r, "CURVE PAST ITS CHUNK");
        const uint32_t surface = words[i + count];
        if (surface < 1 || surface > r.Surfaces.size()) return (void)BadWord(r, "SURFACE NUMBER OUT OF RANGE");
        int32_t index;
        if (!AddPolygon(r, &words[i], count, r.Surfaces[surface - 1], &index)) return;
        o->Op.GetPolygon(o, index)->Flags = words[i + count + 1];
        i += count + 2;
    }
    o->Op.StorePolygonType(o);
}

// LWOB bodies stay as they are; their images become clips, as LWO2 surfaces would name them.
void RegisterSurfaceImages(LwObject* o) {
    for (LwSurfaceEntry* entry = o->Surfaces; entry; entry = entry->Next) {
        if (entry->DataSize <= 0) continue;
        LwobSurface surface;
        ParseLwobSurface(o, (uint32_t)entry->DataSize, entry->Data, &surface);
        // An empty name names no image.
        auto add = [o](const LwobImageRef* image) {
            if (image && !image->Name.empty()) AddImageClip(o, image);
        };
        add(surface.Rimg.get());
        for (const LwobTexture& texture : surface.Textures) {
            add(texture.Timg.get());
            add(texture.Talp.get());
        }
    }
}

// ---- writing ------------------------------------------------------------------------------------

const struct {
    LwId Type, Chunk;
} kGroups[] = {{LW_ID_FACE, Id("POLS")}, {LW_ID_PTCH, Id("PCHS")}, {LW_ID_CURV, Id("CRVS")}};

int32_t CheckWritable(LwObject* o) {
    LwLayer* layer = o->CurrentLayer;
    if (!layer) return LW_ERR_PARAM;
    if ((int64_t)layer->Points.size() > kMaxPoints) return LW_ERR_BAD_POINT_COUNT;
    if (o->NumSurfaces > kMaxSurfaces) return LW_ERR_PARAM;
    for (const auto& g : kGroups) {
        for (const LwPolygonGroup& group : layer->Groups) {
            if (group.Type != g.Type) continue;
            // Polygons need a surface to number: without any the file could not be read back.
            if (!group.Polygons.empty() && o->NumSurfaces == 0) return LW_ERR_PARAM;
            for (const LwPolygon& polygon : group.Polygons)
                if (polygon.VertexCount() > kMaxVertices) return LW_ERR_BAD_POLYGON;
        }
    }
    return LW_ERR_NONE;
}

struct Writer {
    LwObject* Object;
    std::unordered_map<std::string, uint16_t> Numbers;  // surface name -> position + 1
};

struct CopyDeleter {
    LwObject* Object;
    void operator()(LwSurfaceEntry* copy) const { FreeSurfaceEntryCopy(Object, copy); }
};

bool EmitLwob(IffFile* f, void* context) {
    Writer& w = *static_cast<Writer*>(context);
    LwObject* o = w.Object;
    LwLayer* layer = o->CurrentLayer;
    const uint32_t total = f->Count;
    IffWriteID(Id("FORM"), f);
    IffWriteID(total - 8, f);
    IffWriteID(Id("LWOB"), f);
    uint32_t names = 0;
    for (LwSurfaceEntry* s = o->Surfaces; s; s = s->Next) names += LwS0Size(s->Name);
    IffWriteID(Id("SRFS"), f);
    IffWriteID(names, f);
    for (LwSurfaceEntry* s = o->Surfaces; s; s = s->Next) IffWriteS0(s->Name, f);
    IffWriteID(Id("PNTS"), f);
    IffWriteID(12 * (uint32_t)layer->Points.size(), f);
    for (const LwPoint& point : layer->Points) {
        const float xyz[3] = {(float)point.Xyz[0], (float)point.Xyz[1], (float)point.Xyz[2]};
        IffWriteVec12(xyz, 1, f);
    }
    for (const auto& g : kGroups) {
        if (int32_t rc = o->Op.SetPolygonType(o, g.Type)) {
            o->ErrorCode = rc;
            return false;
        }
        const std::vector<LwPolygon>& polygons = layer->Working->Polygons;
        if (polygons.empty()) continue;
        uint64_t length = 0;
        for (const LwPolygon& polygon : polygons)
            length += 2 * (uint64_t)polygon.VertexCount() + 4 + (g.Type == LW_ID_CURV ? 2 : 0);
        IffWriteID(g.Chunk, f);
        IffWriteID((uint32_t)length, f);
        for (const LwPolygon& polygon : polygons) {
            const uint16_t count = (uint16_t)polygon.VertexCount();
            IffWriteU2(&count, 1, f);
            for (int32_t point : polygon.Points) {
                const uint16_t corner = (uint16_t)point;
                IffWriteU2(&corner, 1, f);
            }
            auto found = polygon.SurfaceName ? w.Numbers.find(polygon.SurfaceName) : w.Numbers.end();
            const uint16_t surface = found != w.Numbers.end() ? found->second : 1;
            IffWriteU2(&surface, 1, f);
            if (g.Type == LW_ID_CURV) IffWriteU2(&polygon.Flags, 1, f);
        }
    }
    for (LwSurfaceEntry* entry = o->Surfaces; entry; entry = entry->Next) {
        std::unique_ptr<LwSurfaceEntry, CopyDeleter> copy(ConvertSurfaceFormat(o, entry, LW_FILE_LWOB), CopyDeleter{o});
        if (!copy) {
            o->ErrorCode = LW_ERR_MEMORY;
            return false;
        }
        IffWriteID(Id("SURF"), f);
        IffWriteID(LwS0Size(copy->Name) + (uint32_t)copy->DataSize, f);
        IffWriteS0(copy->Name, f);
        if (copy->DataSize > 0) IffWriteBytes(copy->Data, (uint32_t)copy->DataSize, f);
    }
    o->Op.SetPolygonType(o, LW_ID_FACE);
    return !f->Error;
}

}  // namespace

int32_t ReadLwobFile(LwObject* object, const char* fileName, int32_t) {
    if (!object) return LW_ERR_PARAM;
    std::vector<uint8_t> bytes;
    if (LwReadObjectFile(object, fileName, &bytes) != LW_ERR_NONE) return object->ErrorCode;
    ChunkBuff cb;
    OpenChunkBuff(&cb, bytes.data(), (uint32_t)bytes.size());
    uint32_t formLength = 0;
    if (int32_t rc = LwReadFormHeader(&cb, "LWOB", &formLength)) return object->ErrorCode = rc;
    object->FileType = LW_FILE_LWOB;
    if (!object->Op.AddLayer(object, object->FileName)) return object->ErrorCode = LW_ERR_MEMORY;
    Reader r{object, {}};
    for (uint64_t count = 4; count < formLength && object->ErrorCode == LW_ERR_NONE;) {
        if (ChunkRemaining(&cb) < 8) {
            LwFail(object, LW_ERR_FILE_READ);
            break;
        }
        char idText[5];
        uint32_t length = 0;
        ChunkReadID4(idText, &cb);
        ChunkReadU4(&length, 1, &cb);
        object->Op.Trace(object, "CHUNK <%s>\n", idText);
        if (length > ChunkRemaining(&cb)) {
            LwFail(object, LW_ERR_FILE_READ);
            break;
        }
        ChunkBuff body;
        OpenChunkBuff(&body, cb.Position, length);
        switch (LwMakeId(idText[0], idText[1], idText[2], idText[3])) {
        case Id("PNTS"):
            ReadPoints(r, &body);
            break;
        case Id("SRFS"):
            ReadSurfaceNames(r, &body);
            break;
        case Id("SURF"):
            ReadSurface(r, &body);
            break;
        case Id("POLS"):
            ReadPolygons(r, &body, LW_ID_FACE);
            break;
        case Id("PCHS"):
            ReadPolygons(r, &body, LW_ID_PTCH);
            break;
        case Id("CRVS"):
            ReadCurves(r, &body);
            break;
        default:
            break;
        }
        if (body.Flags & LW_CHUNK_OVERRUN) LwFail(object, LW_ERR_BAD_FORMAT);
        ChunkSkip(length, &cb);
        count += 8 + (uint64_t)length;
    }
    if (object->ErrorCode == LW_ERR_NONE) RegisterSurfaceImages(object);
    object->Op.SetPolygonType(object, LW_ID_FACE);
    object->Op.RelinkPolygonSurfaces(object);
    object->StateWord = 0;
    return object->ErrorCode;
}

int32_t WriteLwobFile(LwObject* object, const char* fileName, int32_t) {
    if (!object) return LW_ERR_PARAM;
    object->ErrorCode = LW_ERR_NONE;
    object->StateWord = 0;
    if (int32_t rc = CheckWritable(object)) return object->ErrorCode = rc;
    Writer w{object, {}};
    uint16_t number = 1;
    try {
        for (LwSurfaceEntry* s = object->Surfaces; s; s = s->Next) w.Numbers.emplace(s->Name, number++);
    } catch (const std::bad_alloc&) {
        return object->ErrorCode = LW_ERR_MEMORY;
    }
    FILE* file = LwCreateObjectFile(object, fileName);
    if (!file) return object->ErrorCode;
    return LwWriteObjectFile(object, file, EmitLwob, &w);  // leaves the faces current
}
