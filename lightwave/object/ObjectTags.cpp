// Tags, the polygon tag maps of the working polygon type, and the surface entries of an object.
#include "lightwave/object/LwObject.h"
#include "lightwave/object/ObjectInternal.h"

#include <cstdlib>
#include <cstring>

namespace {

// Names are kept cut to their field, so they are compared in that form too.
bool SameName(const char* stored, const char* name, size_t field) { return strncmp(stored, name, field - 1) == 0; }

// ---- tags ---------------------------------------------------------------------------------------

int32_t GetNumTags(LwObject* object) { return object ? object->NumTags : 0; }

LwTag* FindTag(LwObject* object, const char* name, LwId type) {
    if (!object || !name) return nullptr;
    for (LwTag* tag = object->Tags; tag; tag = tag->Next)
        if (tag->Type == type && SameName(tag->Name, name, sizeof(tag->Name))) return tag;
    return nullptr;
}

// Typed tags are shared by name; every untyped one is new.
int32_t AddTag(LwObject* object, const char* name, LwId type) {
    if (!object || !name) return -1;
    if (type != 0)
        if (LwTag* tag = FindTag(object, name, type)) return tag->Id;
    LwTag* tag = (LwTag*)calloc(1, sizeof(LwTag));
    if (!tag) return -1;
    tag->Id = object->NumTags;
    tag->Type = type;
    LwCopyText(tag->Name, name, sizeof(tag->Name));
    LwTag** link = &object->Tags;
    while (*link) link = &(*link)->Next;
    *link = tag;
    object->NumTags++;
    return tag->Id;
}

LwTag* GetTag(LwObject* object, int32_t id) {
    if (!object) return nullptr;
    for (LwTag* tag = object->Tags; tag; tag = tag->Next)
        if (tag->Id == id) return tag;
    return nullptr;
}

int32_t FreeTags(LwObject* object) {
    if (!object) return LW_ERR_PARAM;
    LwReleaseTags(object);
    return LW_ERR_NONE;
}

// ---- polygon tag maps ---------------------------------------------------------------------------

std::vector<LwPolygonTagMap>* Maps(LwObject* object) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    return group ? &group->TagMaps : nullptr;
}

int32_t GetNumPolygonTagMaps(LwObject* object, LwId type) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps) return 0;
    if (type == 0) return (int32_t)maps->size();
    int32_t count = 0;
    for (const LwPolygonTagMap& map : *maps)
        if (map.Type == type) ++count;
    return count;
}

// The position after previous (0 for NULL); the size of the array when previous is not one of its maps.
size_t After(const std::vector<LwPolygonTagMap>& maps, const LwPolygonTagMap* previous) {
    if (!previous) return 0;
    if (previous < maps.data() || previous >= maps.data() + maps.size()) return maps.size();
    return (size_t)(previous - maps.data()) + 1;
}

LwPolygonTagMap* GetNextPolygonTagMap(LwObject* object, LwPolygonTagMap* previous, LwId type) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps) return nullptr;
    for (size_t i = After(*maps, previous); i < maps->size(); ++i)
        if (type == 0 || (*maps)[i].Type == type) return &(*maps)[i];
    return nullptr;
}

int32_t AddPolygonTagMap(LwObject* object, LwId type) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps) return -1;
    LwPolygonTagMap map;
    map.Index = (int32_t)maps->size();
    map.Type = type;
    if (!LwAppend(*maps, std::move(map))) {
        object->ErrorCode = LW_ERR_MEMORY;
        return -1;
    }
    return (int32_t)maps->size() - 1;
}

LwPolygonTagMap* GetPolygonTagMap(LwObject* object, int32_t index) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps || index < 0 || (size_t)index >= maps->size()) return nullptr;
    return &(*maps)[index];
}

int32_t EntryOf(const LwPolygonTagMap& map, int32_t polygon) {
    if (polygon < 0 || (size_t)polygon >= map.Slots.size()) return -1;
    int32_t entry = map.Slots[polygon];
    return entry >= 0 && (size_t)entry < map.Polygons.size() && map.Polygons[entry] == polygon ? entry : -1;
}

const char* SetPolygonTag(LwObject* object, int32_t polygon, LwId type, const char* name) {
    LwPolygonGroup* group = LwWorkingGroup(object);
    if (!group || !name || polygon < 0 || (size_t)polygon >= group->Polygons.size()) return nullptr;
    LwPolygonTagMap* map = nullptr;
    for (LwPolygonTagMap& m : group->TagMaps) {
        if (m.Type == type) {
            map = &m;
            break;
        }
    }
    if (!map) {
        int32_t index = AddPolygonTagMap(object, type);
        if (index < 0) return nullptr;
        map = &group->TagMaps[index];
    }
    int32_t id = AddTag(object, name, type);
    LwTag* tag = GetTag(object, id);
    if (!tag) {
        object->ErrorCode = LW_ERR_MEMORY;
        return nullptr;
    }
    int32_t entry = EntryOf(*map, polygon);
    if (entry >= 0) {
        map->TagIds[entry] = id;
        return tag->Name;
    }
    size_t polygons = group->Polygons.size();
    if (map->Slots.size() <= polygons && !LwResize(map->Slots, polygons + 1024, -1)) {
        object->ErrorCode = LW_ERR_MEMORY;
        return nullptr;
    }
    if (!LwAppend(map->Polygons, polygon) || !LwAppend(map->TagIds, id)) {
        map->Polygons.resize(map->TagIds.size());
        object->ErrorCode = LW_ERR_MEMORY;
        return nullptr;
    }
    map->Slots[polygon] = (int32_t)map->Polygons.size() - 1;
    return tag->Name;
}

LwPolygonTagMap* FindPolygonTagMapOf(LwObject* object, LwPolygonTagMap* previous, int32_t polygon, LwId type) {
    for (LwPolygonTagMap* map = GetNextPolygonTagMap(object, previous, type); map;
         map = GetNextPolygonTagMap(object, map, type))
        if (map->Type == type && EntryOf(*map, polygon) >= 0) return map;
    return nullptr;
}

LwTag* GetPolygonTag(LwObject* object, LwPolygonTagMap* map, int32_t polygon) {
    if (!map) return nullptr;
    int32_t entry = EntryOf(*map, polygon);
    return entry >= 0 ? GetTag(object, map->TagIds[entry]) : nullptr;
}

int32_t CopyPolygonTags(LwObject* object, int32_t from, int32_t to) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps) return LW_ERR_PARAM;
    // Setting a tag may add maps, so the maps are walked by position.
    for (size_t i = 0; i < maps->size(); ++i) {
        LwTag* tag = GetPolygonTag(object, &(*maps)[i], from);
        if (tag) object->Op.SetPolygonTag(object, to, (*maps)[i].Type, tag->Name);
    }
    return LW_ERR_NONE;
}

int32_t DeletePolygonTagMaps(LwObject* object, LwId type) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps) return LW_ERR_PARAM;
    if (type == 0)
        std::vector<LwPolygonTagMap>().swap(*maps);
    else
        LwCompactMaps(*maps, [type](size_t, const LwPolygonTagMap& map) { return map.Type == type; });
    return object->Op.StorePolygonType(object);
}

int32_t DeletePolygonTagMap(LwObject* object, int32_t index) {
    std::vector<LwPolygonTagMap>* maps = Maps(object);
    if (!maps || index < 0 || (size_t)index >= maps->size()) return LW_ERR_PARAM;
    LwCompactMaps(*maps, [index](size_t i, const LwPolygonTagMap&) { return (int32_t)i == index; });
    return object->Op.StorePolygonType(object);
}

// ---- surfaces -----------------------------------------------------------------------------------

int32_t GetNumSurfaces(LwObject* object) { return object ? object->NumSurfaces : 0; }

LwSurfaceEntry* FindSurface(LwObject* object, const char* name) {
    if (!object || !name) return nullptr;
    for (LwSurfaceEntry* s = object->Surfaces; s; s = s->Next)
        if (SameName(s->Name, name, sizeof(s->Name))) return s;
    return nullptr;
}

const char* AddSurface(LwObject* object, const char* name) {
    if (!object || !name) return nullptr;
    if (LwSurfaceEntry* s = FindSurface(object, name)) return s->Name;
    LwSurfaceEntry* s = (LwSurfaceEntry*)calloc(1, sizeof(LwSurfaceEntry));
    if (!s) return nullptr;
    s->Id = object->NumSurfaces;
    LwCopyText(s->Name, name, sizeof(s->Name));
    LwSurfaceEntry** link = &object->Surfaces;
    while (*link) link = &(*link)->Next;
    *link = s;
    object->NumSurfaces++;
    return s->Name;
}

const char* GetNextSurfaceName(LwObject* object, const char* name) {
    if (!object) return nullptr;
    if (!name) return object->Surfaces ? object->Surfaces->Name : nullptr;
    LwSurfaceEntry* s = FindSurface(object, name);
    return s && s->Next ? s->Next->Name : nullptr;
}

LwSurfaceEntry* GetSurfaceById(LwObject* object, int32_t id) {
    if (!object) return nullptr;
    for (LwSurfaceEntry* s = object->Surfaces; s; s = s->Next)
        if (s->Id == id) return s;
    return nullptr;
}

int32_t SetSurfaceData(LwObject* object, const char* name, int32_t size, const void* bytes) {
    LwSurfaceEntry* s = FindSurface(object, name);
    if (!s || size < 0 || (size > 0 && !bytes)) return LW_ERR_PARAM;
    uint8_t* copy = nullptr;
    if (size > 0 && !(copy = LwCopyBytes(bytes, size))) return LW_ERR_MEMORY;
    // A material built from the old body would outlive it; the next request builds it again.
    if (s->Material) object->Op.FreeMaterial(object, s->Material);
    s->Material = nullptr;
    free(s->Data);
    s->Data = copy;
    s->DataSize = size;
    return LW_ERR_NONE;
}

int32_t RenameSurface(LwObject* object, const char* oldName, const char* newName) {
    if (!object || !oldName || !newName || !newName[0]) return LW_ERR_PARAM;
    LwSurfaceEntry* s = FindSurface(object, oldName);
    if (!s) return LW_ERR_PARAM;
    // The tag is found before the entry changes, as oldName may be the entry's own text.
    LwTag* tag = FindTag(object, oldName, LW_ID_SURF);
    if (tag) LwCopyText(tag->Name, newName, sizeof(tag->Name));
    LwCopyText(s->Name, newName, sizeof(s->Name));
    return LW_ERR_NONE;
}

int32_t FreeSurfaces(LwObject* object) {
    if (!object) return LW_ERR_PARAM;
    LwReleaseSurfaces(object);
    return LW_ERR_NONE;
}

}  // namespace

// Polygons point at the texts of their SURF tags, so they lose their surface name with the tags.
void LwReleaseTags(LwObject* object) {
    for (LwTag* tag = object->Tags; tag;) {
        LwTag* next = tag->Next;
        free(tag);
        tag = next;
    }
    object->Tags = nullptr;
    object->NumTags = 0;
    for (LwLayer* layer = object->Layers; layer; layer = layer->Next)
        for (LwPolygonGroup& group : layer->Groups)
            for (LwPolygon& polygon : group.Polygons) polygon.SurfaceName = nullptr;
}

void LwReleaseSurfaces(LwObject* object) {
    for (LwSurfaceEntry* s = object->Surfaces; s;) {
        LwSurfaceEntry* next = s->Next;
        if (s->Material) object->Op.FreeMaterial(object, s->Material);
        free(s->Data);
        free(s);
        s = next;
    }
    object->Surfaces = nullptr;
    object->NumSurfaces = 0;
}

void FreeSurfaceEntryCopy(LwObject* object, LwSurfaceEntry* copy) {
    if (!copy) return;
    LwSurfaceEntry* entry = FindSurface(object, copy->Name);
    if (!entry || entry->Data != copy->Data) free(copy->Data);
    free(copy);
}

void LwFillTagOperations(LwObjectOperations* op) {
    op->GetNumTags = GetNumTags;
    op->AddTag = AddTag;
    op->GetTag = GetTag;
    op->FindTag = FindTag;
    op->FreeTags = FreeTags;
    op->GetNumPolygonTagMaps = GetNumPolygonTagMaps;
    op->GetNextPolygonTagMap = GetNextPolygonTagMap;
    op->AddPolygonTagMap = AddPolygonTagMap;
    op->SetPolygonTag = SetPolygonTag;
    op->GetPolygonTagMap = GetPolygonTagMap;
    op->FindPolygonTagMapOf = FindPolygonTagMapOf;
    op->GetPolygonTag = GetPolygonTag;
    op->DeletePolygonTagMaps = DeletePolygonTagMaps;
    op->CopyPolygonTags = CopyPolygonTags;
    op->DeletePolygonTagMap = DeletePolygonTagMap;
    op->GetNumSurfaces = GetNumSurfaces;
    op->AddSurface = AddSurface;
    op->FindSurface = FindSurface;
    op->GetNextSurfaceName = GetNextSurfaceName;
    op->GetSurfaceById = GetSurfaceById;
    op->SetSurfaceData = SetSurfaceData;
    op->RenameSurface = RenameSurface;
    op->FreeSurfaces = FreeSurfaces;
}
