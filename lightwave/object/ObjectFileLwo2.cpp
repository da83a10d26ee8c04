// LWO2 object files. The reader takes every chunk from the file's bytes in memory, so a handler
// never reads past its chunk and the next chunk always starts where the stated length ends; entries
// naming points, polygons or tags that do not exist are skipped with a message and error 7 (or 11
// for polygon corners). The writer checks first that everything fits the file's fields and refuses
// the object otherwise, so nothing is written that would read back differently.
#include "lightwave/object/LwChunks.h"
#include "lightwave/object/ObjectFileInternal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

constexpr uint32_t kMaxVx = 0xFFFFFF;
constexpr int32_t kMaxPolygonVertices = 0x3FF;  // the count takes 10 bits of the word

// ---- reading ------------------------------------------------------------------------------------

struct Reader {
    LwObject* Object;
    char IdText[5];
    uint32_t Length;
};

LwLayer* NeedLayer(Reader& r) {
    if (r.Object->CurrentLayer) return r.Object->CurrentLayer;
    r.Object->Op.Trace(r.Object, "??? %s BEFORE ANY LAYR\n", r.IdText);
    LwFail(r.Object, LW_ERR_BAD_FORMAT);
    return nullptr;
}

void CheckCount(Reader& r, uint32_t count) {
    if (count != r.Length) r.Object->Op.Trace(r.Object, "??? %d != %d\n", (int)count, (int)r.Length);
}

void ReadTags(Reader& r, ChunkBuff* cb) {
    while (ChunkRemaining(cb) > 0) {
        char name[256];
        ChunkReadS0(name, sizeof(name), cb);
        if (r.Object->Op.AddTag(r.Object, name, 0) < 0) return LwFail(r.Object, LW_ERR_MEMORY);
    }
}

void ReadLayer(Reader& r, ChunkBuff* cb) {
    uint16_t number = 0, flags = 0;
    float pivot[3] = {0, 0, 0};
    char name[256];
    ChunkReadU2(&number, 1, cb);
    ChunkReadU2(&flags, 1, cb);
    ChunkReadVec12(pivot, 1, cb);
    ChunkReadS0(name, sizeof(name), cb);
    LwLayer* layer = r.Object->Op.AddLayer(r.Object, name);
    if (!layer) return LwFail(r.Object, LW_ERR_MEMORY);
    layer->LayerNumber = number;
    layer->Flags = flags;
    for (int i = 0; i < 3; ++i) layer->Pivot[i] = pivot[i];
    if (ChunkRemaining(cb) == 2) {
        uint16_t parent = 0;
        ChunkReadU2(&parent, 1, cb);
        layer->ParentNumber = parent;
    }
}

bool HasPointUsers(const LwLayer* layer) {
    if (!layer->Vmaps.empty() || !layer->Vmads.empty()) return true;
    for (const LwPolygonGroup& group : layer->Groups)
        if (!group.Polygons.empty()) return true;
    return false;
}

// A second PNTS would leave the polygons and maps read so far naming other points: refused.
void ReadPoints(Reader& r, ChunkBuff* cb) {
    LwLayer* layer = NeedLayer(r);
    if (!layer) return;
    if (HasPointUsers(layer)) {
        r.Object->Op.Trace(r.Object, "??? PNTS AFTER POLYGONS OR MAPS\n");
        return LwFail(r.Object, LW_ERR_BAD_FORMAT);
    }
    const uint32_t count = r.Length / 12;
    layer->Points.clear();
    try {
        layer->Points.reserve(count);
    } catch (const std::bad_alloc&) {
        return LwFail(r.Object, LW_ERR_MEMORY);
    }
    for (uint32_t i = 0; i < count; ++i) {
        float xyz[3];
        ChunkReadVec12(xyz, 1, cb);
        const double p[3] = {xyz[0], xyz[1], xyz[2]};
        if (r.Object->Op.AddPoint(r.Object, p) < 0) return LwFail(r.Object, LW_ERR_MEMORY);
    }
}

void ReadBounds(Reader& r, ChunkBuff* cb) {
    LwLayer* layer = NeedLayer(r);
    if (!layer) return;
    float box[6];
    ChunkReadVec12(box, 2, cb);
    for (int i = 0; i < 6; ++i) layer->BoundingBox[i] = box[i];
}

void ReadMapHeader(ChunkBuff* cb, LwId* type, uint16_t* dimension, char name[256]) {
    char idText[5];
    ChunkReadID4(idText, cb);
    *type = LwMakeId(idText[0], idText[1], idText[2], idText[3]);
    ChunkReadU2(dimension, 1, cb);
    ChunkReadS0(name, 256, cb);
}

void SkipEntry(Reader& r, const char* what, uint32_t index) {
    r.Object->Op.Trace(r.Object, "??? %s %s %u OUT OF RANGE\n", r.IdText, what, index);
    LwFail(r.Object, LW_ERR_BAD_FORMAT);
}

void ReadVmap(Reader& r, ChunkBuff* cb, bool discontinuous) {
    LwObject* o = r.Object;
    if (!NeedLayer(r)) return;
    LwId type;
    uint16_t dimension = 0;
    char name[256];
    ReadMapHeader(cb, &type, &dimension, name);
    const int32_t map =
        discontinuous ? o->Op.AddVmad(o, type, name, dimension) : o->Op.AddVmap(o, type, name, dimension);
    if (map < 0) return LwFail(o, LW_ERR_MEMORY);
    std::vector<float> values(dimension);
    const uint32_t points = (uint32_t)o->Op.GetNumPoints(o), polygons = (uint32_t)o->Op.GetNumPolygons(o);
    while (ChunkRemaining(cb) > 0) {
        const uint32_t start = cb->Count;
        uint32_t point = 0, polygon = 0;
        ChunkReadVX(&point, cb);
        if (discontinuous) ChunkReadVX(&polygon, cb);
        ChunkReadF4(values.data(), dimension, cb);
        if (cb->Flags & LW_CHUNK_OVERRUN) {
            // An entry cut by the chunk's end: the count it would need.
            const uint32_t entry = LwVxSize(point) + (discontinuous ? LwVxSize(polygon) : 0) + 4u * dimension;
            return CheckCount(r, start + entry);
        }
        if (point >= points) {
            SkipEntry(r, "POINT", point);
        } else if (discontinuous && polygon >= polygons) {
            SkipEntry(r, "POLYGON", polygon);
        } else {
            const int32_t rc = discontinuous
                                   ? o->Op.SetVmadValue(o, map, (int32_t)point, (int32_t)polygon, values.data())
                                   : o->Op.SetVmapValue(o, map, (int32_t)point, values.data());
            if (rc != LW_ERR_NONE) return LwFail(o, rc);
        }
    }
    CheckCount(r, cb->Count);
}

void ReadPolygons(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    LwLayer* layer = NeedLayer(r);
    if (!layer) return;
    char idText[5];
    ChunkReadID4(idText, cb);
    o->Op.SetPolygonType(o, LwMakeId(idText[0], idText[1], idText[2], idText[3]));
    // A second chunk of the type replaces the first one's polygons, and with them what named them:
    // their tags and their discontinuous values would otherwise point at the new chunk's polygons.
    o->Op.FreePolygons(o);
    o->Op.DeletePolygonTagMaps(o, 0);
    for (LwVmad& map : layer->Vmads) {
        if (!LwVmadOfType(map, layer->Working->Type)) continue;
        map.Entries.clear();
        std::fill(map.Slots.begin(), map.Slots.end(), -1);
    }
    const uint32_t points = (uint32_t)layer->Points.size();
    // Room for the polygons of one corner or more the chunk can hold, 4 bytes each at least.
    try {
        layer->Working->Polygons.reserve(layer->Working->Polygons.size() + ChunkRemaining(cb) / 4);
    } catch (const std::bad_alloc&) {}
    std::vector<int32_t> corners;
    corners.reserve(kMaxPolygonVertices);
    while (ChunkRemaining(cb) > 0) {
        uint16_t word = 0;
        ChunkReadU2(&word, 1, cb);
        const uint32_t count = word & kMaxPolygonVertices;
        corners.clear();
        bool valid = true;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t point = 0;
            ChunkReadVX(&point, cb);
            if (point >= points) valid = false;
            corners.push_back((int32_t)point);
        }
        if (cb->Flags & LW_CHUNK_OVERRUN) {
            LwFail(o, LW_ERR_BAD_FORMAT);
            break;
        }
        if (!valid) {
            o->Op.Trace(o, "??? POLS CORNER PAST %u POINTS\n", points);
            LwFail(o, LW_ERR_BAD_POLYGON);
            continue;
        }
        const int32_t index = o->Op.AddPolygon(o, (int32_t)count, corners.data(), nullptr);
        if (index < 0) {
            LwFail(o, LW_ERR_MEMORY);
            break;
        }
        o->Op.GetPolygon(o, index)->Flags = (uint16_t)(word >> 10);
    }
    CheckCount(r, cb->Count);
    o->Op.StorePolygonType(o);
}

void ReadPolygonTags(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    if (!NeedLayer(r)) return;
    char idText[5];
    ChunkReadID4(idText, cb);
    const LwId type = LwMakeId(idText[0], idText[1], idText[2], idText[3]);
    LwPolygonTagMap* map = o->Op.GetNextPolygonTagMap(o, nullptr, type);
    if (!map) {
        const int32_t index = o->Op.AddPolygonTagMap(o, type);
        if (index < 0) return LwFail(o, LW_ERR_MEMORY);
        map = o->Op.GetPolygonTagMap(o, index);
        if (!map) return LwFail(o, LW_ERR_OBJECT_DATABASE);
    }
    const uint32_t polygons = (uint32_t)o->Op.GetNumPolygons(o);
    if (map->Slots.size() < polygons && !LwResize(map->Slots, polygons, -1)) return LwFail(o, LW_ERR_MEMORY);
    while (ChunkRemaining(cb) > 0) {
        uint32_t polygon = 0;
        uint16_t tag = 0;
        ChunkReadVX(&polygon, cb);
        ChunkReadU2(&tag, 1, cb);
        if (cb->Flags & LW_CHUNK_OVERRUN) break;
        if (polygon >= polygons) {
            SkipEntry(r, "POLYGON", polygon);
        } else if (tag >= (uint32_t)o->NumTags) {
            SkipEntry(r, "TAG", tag);
        } else if (map->Slots[polygon] >= 0) {
            map->TagIds[map->Slots[polygon]] = tag;
        } else {
            if (!LwAppend(map->Polygons, (int32_t)polygon) || !LwAppend(map->TagIds, (int32_t)tag)) {
                map->Polygons.resize(map->TagIds.size());
                return LwFail(o, LW_ERR_MEMORY);
            }
            map->Slots[polygon] = (int32_t)map->Polygons.size() - 1;
        }
    }
    CheckCount(r, cb->Count);
    o->Op.StorePolygonType(o);
}

void ReadSurface(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    char name[512], source[512];
    ChunkReadS0(name, sizeof(name), cb);
    ChunkReadS0(source, sizeof(source), cb);
    if (!o->Op.AddSurface(o, name)) return LwFail(o, LW_ERR_MEMORY);
    LwSurfaceEntry* entry = o->Op.FindSurface(o, name);
    LwCopyText(entry->SourceName, source, sizeof(entry->SourceName));
    const int32_t rc = o->Op.SetSurfaceData(o, name, (int32_t)ChunkRemaining(cb), cb->Position);
    if (rc != LW_ERR_NONE) LwFail(o, rc);
}

void ReadClip(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    uint32_t index = 0;
    ChunkReadU4(&index, 1, cb);
    const int32_t position = o->Op.AddClip(o, (int32_t)index);
    if (position < 0) return LwFail(o, LW_ERR_MEMORY);
    const int32_t rc = o->Op.SetClipData(o, position, (int32_t)ChunkRemaining(cb), cb->Position);
    if (rc != LW_ERR_NONE) return LwFail(o, rc);
    CompleteClip(o, position);
}

void ReadEnvelope(Reader& r, ChunkBuff* cb) {
    LwObject* o = r.Object;
    uint16_t index = 0;
    ChunkReadU2(&index, 1, cb);
    const int32_t position = o->Op.AddEnvelope(o, index);
    if (position < 0) return LwFail(o, LW_ERR_MEMORY);
    const int32_t rc = o->Op.SetEnvelopeData(o, position, (int32_t)ChunkRemaining(cb), cb->Position);
    if (rc != LW_ERR_NONE) LwFail(o, rc);
}

// Layers in number order (stable for equal numbers); polygon tags typed by their lists, and the
// polygons of SURF lists named after their tags.
void FinishObject(LwObject* o) {
    std::vector<LwLayer*> layers;
    for (LwLayer* layer = o->Layers; layer; layer = layer->Next) layers.push_back(layer);
    std::stable_sort(layers.begin(), layers.end(),
                     [](const LwLayer* a, const LwLayer* b) { return a->LayerNumber < b->LayerNumber; });
    for (size_t i = 0; i < layers.size(); ++i) {
        layers[i]->Position = (int32_t)i;
        layers[i]->Next = i + 1 < layers.size() ? layers[i + 1] : nullptr;
    }
    o->Layers = layers.empty() ? nullptr : layers[0];
    std::vector<LwTag*> tags;
    for (LwTag* tag = o->Tags; tag; tag = tag->Next) tags.push_back(tag);
    for (LwLayer* layer : layers) {
        for (LwPolygonGroup& group : layer->Groups) {
            for (LwPolygonTagMap& map : group.TagMaps) {
                for (size_t e = 0; e < map.Polygons.size(); ++e) {
                    if ((size_t)map.TagIds[e] >= tags.size() || (size_t)map.Polygons[e] >= group.Polygons.size())
                        continue;
                    LwTag* tag = tags[map.TagIds[e]];
                    tag->Type = map.Type;
                    if (map.Type != LW_ID_SURF) continue;
                    group.Polygons[map.Polygons[e]].SurfaceName = tag->Name;
                    if (!o->Op.AddSurface(o, tag->Name)) LwFail(o, LW_ERR_MEMORY);
                }
            }
        }
    }
    // Every layer back on its faces, not on the type of its last polygon chunk: the load passes
    // work on the current type of each layer.
    for (LwLayer* layer : layers) {
        o->CurrentLayer = layer;
        o->Op.SetPolygonType(o, LW_ID_FACE);
    }
    o->Op.SetCurrentLayer(o, 0);
    o->Op.RelinkPolygonSurfaces(o);
}

// ---- writing ------------------------------------------------------------------------------------

uint32_t S0Size(const char* text) { return LwS0Size(text); }

// What the file's fields cannot hold: 11 for a polygon of 1024 corners or more, 8 for an index,
// number or dimension past its field.
int32_t CheckWritable(LwObject* o) {
    if (o->NumTags > 0xFFFF) return LW_ERR_PARAM;
    for (LwLayer* layer = o->Layers; layer; layer = layer->Next) {
        if (layer->LayerNumber < 0 || layer->LayerNumber > 0xFFFF || layer->Flags > 0xFFFF ||
            layer->ParentNumber > 0xFFFF || layer->Points.size() > kMaxVx + 1)
            return LW_ERR_PARAM;
        for (const LwVmap& map : layer->Vmaps)
            if (map.Dimension < 0 || map.Dimension > 0xFFFF) return LW_ERR_PARAM;
        for (const LwVmad& map : layer->Vmads)
            if (map.Dimension < 0 || map.Dimension > 0xFFFF) return LW_ERR_PARAM;
        for (const LwPolygonGroup& group : layer->Groups) {
            if (group.Polygons.size() > kMaxVx + 1) return LW_ERR_PARAM;
            for (const LwPolygon& polygon : group.Polygons)
                if (polygon.VertexCount() > kMaxPolygonVertices) return LW_ERR_BAD_POLYGON;
        }
    }
    return LW_ERR_NONE;
}

bool Chunk(IffFile* f, LwId id, uint64_t length) {
    IffWriteID(id, f);
    return IffWriteID((uint32_t)length, f) != 0;
}

uint64_t PolygonsSize(const LwPolygonGroup& group) {
    uint64_t size = 4;
    for (const LwPolygon& polygon : group.Polygons) {
        size += 2;
        for (int32_t point : polygon.Points) size += LwVxSize((uint32_t)point);
    }
    return size;
}

void WriteLayerChunks(LwObject* o, LwLayer* layer, IffFile* f) {
    const uint64_t layrSize = S0Size(layer->Name) + 16 + (layer->ParentNumber >= 0 ? 2 : 0);
    Chunk(f, Id("LAYR"), layrSize);
    const uint16_t head[2] = {(uint16_t)layer->LayerNumber, (uint16_t)layer->Flags};
    IffWriteU2(head, 2, f);
    const float pivot[3] = {(float)layer->Pivot[0], (float)layer->Pivot[1], (float)layer->Pivot[2]};
    IffWriteVec12(pivot, 1, f);
    IffWriteS0(layer->Name, f);
    if (layer->ParentNumber >= 0) {
        const uint16_t parent = (uint16_t)layer->ParentNumber;
        IffWriteU2(&parent, 1, f);
    }
    Chunk(f, Id("PNTS"), 12 * (uint64_t)layer->Points.size());
    for (const LwPoint& point : layer->Points) {
        const float xyz[3] = {(float)point.Xyz[0], (float)point.Xyz[1], (float)point.Xyz[2]};
        IffWriteVec12(xyz, 1, f);
    }
    o->Op.ComputeLayerBounds(o);
    Chunk(f, Id("BBOX"), 24);
    float box[6];
    for (int i = 0; i < 6; ++i) box[i] = (float)layer->BoundingBox[i];
    IffWriteVec12(box, 2, f);
    for (const LwVmap& map : layer->Vmaps) {
        uint64_t size = 6 + S0Size(map.Name);
        for (int32_t point : map.Points) size += LwVxSize((uint32_t)point) + 4 * (uint64_t)map.Dimension;
        Chunk(f, Id("VMAP"), size);
        IffWriteID(map.Type, f);
        const uint16_t dimension = (uint16_t)map.Dimension;
        IffWriteU2(&dimension, 1, f);
        IffWriteS0(map.Name, f);
        for (size_t e = 0; e < map.Points.size(); ++e) {
            IffWriteVX((uint32_t)map.Points[e], f);
            IffWriteF4(map.Values.data() + e * map.Dimension, (uint32_t)map.Dimension, f);
        }
    }
    for (LwPolygonGroup& group : layer->Groups) {
        if (!group.Polygons.empty()) {
            Chunk(f, Id("POLS"), PolygonsSize(group));
            IffWriteID(group.Type, f);
            for (const LwPolygon& polygon : group.Polygons) {
                const uint16_t word = (uint16_t)((polygon.Flags << 10) | polygon.VertexCount());
                IffWriteU2(&word, 1, f);
                for (int32_t point : polygon.Points) IffWriteVX((uint32_t)point, f);
            }
        }
        for (const LwPolygonTagMap& map : group.TagMaps) {
            uint64_t size = 4;
            for (int32_t polygon : map.Polygons) size += LwVxSize((uint32_t)polygon) + 2;
            Chunk(f, Id("PTAG"), size);
            IffWriteID(map.Type, f);
            for (size_t e = 0; e < map.Polygons.size(); ++e) {
                IffWriteVX((uint32_t)map.Polygons[e], f);
                const uint16_t tag = (uint16_t)map.TagIds[e];
                IffWriteU2(&tag, 1, f);
            }
        }
        for (const LwVmad& map : layer->Vmads) {
            if (!LwVmadOfType(map, group.Type)) continue;
            uint64_t size = 6 + S0Size(map.Name);
            for (const LwVmadEntry& entry : map.Entries)
                for (const LwVmadValue& value : entry.Values)
                    size += LwVxSize((uint32_t)entry.Point) + LwVxSize((uint32_t)value.Polygon) +
                            4 * (uint64_t)map.Dimension;
            Chunk(f, Id("VMAD"), size);
            IffWriteID(map.Type, f);
            const uint16_t dimension = (uint16_t)map.Dimension;
            IffWriteU2(&dimension, 1, f);
            IffWriteS0(map.Name, f);
            for (const LwVmadEntry& entry : map.Entries) {
                for (const LwVmadValue& value : entry.Values) {
                    IffWriteVX((uint32_t)entry.Point, f);
                    IffWriteVX((uint32_t)value.Polygon, f);
                    IffWriteF4(value.Values.data(), (uint32_t)map.Dimension, f);
                }
            }
        }
    }
}

struct CopyDeleter {
    LwObject* Object;
    void operator()(LwSurfaceEntry* copy) const { FreeSurfaceEntryCopy(Object, copy); }
};

bool EmitLwo2(IffFile* f, void* context) {
    LwObject* o = static_cast<LwObject*>(context);
    const uint32_t total = f->Count;  // the file size in the writing pass
    IffWriteID(Id("FORM"), f);
    IffWriteID(total - 8, f);
    IffWriteID(Id("LWO2"), f);
    uint64_t tagsSize = 0;
    for (LwTag* tag = o->Tags; tag; tag = tag->Next) tagsSize += S0Size(tag->Name);
    Chunk(f, Id("TAGS"), tagsSize);
    for (LwTag* tag = o->Tags; tag; tag = tag->Next) IffWriteS0(tag->Name, f);
    // Each layer is made current in turn and left on its faces, so the last layer stays current.
    for (LwLayer* layer = o->Layers; layer; layer = layer->Next) {
        o->CurrentLayer = layer;
        WriteLayerChunks(o, layer, f);
        o->Op.SetPolygonType(o, LW_ID_FACE);
    }
    // Surfaces convert before the clips are written: a reflection image may add a clip, and both
    // passes must write the same clips.
    std::vector<std::unique_ptr<LwSurfaceEntry, CopyDeleter>> copies;
    for (LwSurfaceEntry* entry = o->Surfaces; entry; entry = entry->Next) {
        copies.emplace_back(ConvertSurfaceFormat(o, entry, LW_FILE_LWO2), CopyDeleter{o});
        if (!copies.back()) {
            o->ErrorCode = LW_ERR_MEMORY;
            return false;
        }
    }
    for (LwClipEntry* clip = o->Clips; clip; clip = clip->Next) {
        Chunk(f, Id("CLIP"), (uint64_t)clip->DataSize + 4);
        const uint32_t index = (uint32_t)clip->Id;
        IffWriteU4(&index, 1, f);
        IffWriteBytes(clip->Data, (uint32_t)clip->DataSize, f);
    }
    for (LwEnvelopeEntry* envelope = o->Envelopes; envelope; envelope = envelope->Next) {
        Chunk(f, Id("ENVL"), (uint64_t)envelope->DataSize + 2);
        const uint16_t index = (uint16_t)envelope->Index;
        IffWriteU2(&index, 1, f);
        IffWriteBytes(envelope->Data, (uint32_t)envelope->DataSize, f);
    }
    for (const auto& copy : copies) {
        Chunk(f, Id("SURF"), S0Size(copy->Name) + S0Size(copy->SourceName) + (uint64_t)copy->DataSize);
        IffWriteS0(copy->Name, f);
        IffWriteS0(copy->SourceName, f);
        IffWriteBytes(copy->Data, (uint32_t)copy->DataSize, f);
    }
    return !f->Error;
}

}  // namespace

int32_t ReadLwo2File(LwObject* object, const char* fileName, int32_t) {
    if (!object) return LW_ERR_PARAM;
    std::vector<uint8_t> bytes;
    if (LwReadObjectFile(object, fileName, &bytes) != LW_ERR_NONE) return object->ErrorCode;
    ChunkBuff cb;
    OpenChunkBuff(&cb, bytes.data(), (uint32_t)bytes.size());
    uint32_t formLength = 0;
    if (int32_t rc = LwReadFormHeader(&cb, "LWO2", &formLength)) return object->ErrorCode = rc;
    object->FileType = LW_FILE_LWO2;
    Reader r{object, "", 0};
    for (uint64_t count = 4; count < formLength;) {
        if (ChunkRemaining(&cb) < 8) {
            LwFail(object, LW_ERR_FILE_READ);
            break;
        }
        ChunkReadID4(r.IdText, &cb);
        ChunkReadU4(&r.Length, 1, &cb);
        if (r.Length > ChunkRemaining(&cb)) {
            object->Op.Trace(object, "??? %s [%u] PAST THE END OF THE FILE\n", r.IdText, r.Length);
            LwFail(object, LW_ERR_FILE_READ);
            break;
        }
        ChunkBuff body;
        OpenChunkBuff(&body, cb.Position, r.Length);
        const LwId id = LwMakeId(r.IdText[0], r.IdText[1], r.IdText[2], r.IdText[3]);
        switch (id) {
        case Id("TAGS"):
            ReadTags(r, &body);
            break;
        case Id("LAYR"):
            ReadLayer(r, &body);
            break;
        case Id("PNTS"):
            ReadPoints(r, &body);
            break;
        case Id("BBOX"):
            ReadBounds(r, &body);
            break;
        case Id("VMAP"):
            ReadVmap(r, &body, false);
            break;
        case Id("VMAD"):
            ReadVmap(r, &body, true);
            break;
        case Id("POLS"):
            ReadPolygons(r, &body);
            break;
        case Id("PTAG"):
            ReadPolygonTags(r, &body);
            break;
        case Id("SURF"):
            ReadSurface(r, &body);
            break;
        case Id("CLIP"):
            ReadClip(r, &body);
            break;
        case Id("ENVL"):
            ReadEnvelope(r, &body);
            break;
        default:
            object->Op.Trace(object, "%s [%d]\n", r.IdText, (int)r.Length);
            break;
        }
        if (body.Flags & LW_CHUNK_OVERRUN) LwFail(object, LW_ERR_BAD_FORMAT);
        ChunkSkip(r.Length, &cb);
        count += 8 + (uint64_t)r.Length;
    }
    FinishObject(object);
    object->StateWord = 0;
    return object->ErrorCode;
}

int32_t WriteLwo2File(LwObject* object, const char* fileName, int32_t) {
    if (!object) return LW_ERR_PARAM;
    object->ErrorCode = LW_ERR_NONE;
    object->StateWord = 0;
    if (int32_t rc = CheckWritable(object)) return object->ErrorCode = rc;
    FILE* file = LwCreateObjectFile(object, fileName);
    if (!file) return object->ErrorCode;
    const int32_t clips = object->NumClips;
    const int32_t rc = LwWriteObjectFile(object, file, EmitLwo2, object);
    LwTrimClips(object, clips);  // the clips the surface conversion added for the file go again
    return rc;
}
