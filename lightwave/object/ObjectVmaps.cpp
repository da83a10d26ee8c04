// Vertex maps of the current layer: continuous ones (one value per point) and discontinuous ones
// (a value per point and polygon). Points and polygons outside the layer are refused, so a map
// never grows past what the layer holds.
#include "lightwave/object/LwObject.h"
#include "lightwave/object/ObjectInternal.h"

#include <cstring>

namespace {

// What a map of dimension 0 gives for a point that it holds: a value of no floats.
float gNoValues[1];

template <typename Map>
std::vector<Map>* MapsOf(LwObject* object);
template <>
std::vector<LwVmap>* MapsOf<LwVmap>(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? &layer->Vmaps : nullptr;
}
template <>
std::vector<LwVmad>* MapsOf<LwVmad>(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? &layer->Vmads : nullptr;
}

template <typename Map>
Map* At(LwObject* object, int32_t index) {
    std::vector<Map>* maps = MapsOf<Map>(object);
    if (!maps || index < 0 || (size_t)index >= maps->size()) return nullptr;
    return &(*maps)[index];
}

template <typename Map>
int32_t Count(LwObject* object, LwId type) {
    std::vector<Map>* maps = MapsOf<Map>(object);
    if (!maps) return 0;
    if (type == 0) return (int32_t)maps->size();
    int32_t count = 0;
    for (const Map& map : *maps)
        if (map.Type == type) ++count;
    return count;
}

template <typename Map>
Map* Next(LwObject* object, Map* previous, LwId type) {
    std::vector<Map>* maps = MapsOf<Map>(object);
    if (!maps) return nullptr;
    size_t i = 0;
    if (previous) {
        if (previous < maps->data() || previous >= maps->data() + maps->size()) return nullptr;
        i = (size_t)(previous - maps->data()) + 1;
    }
    for (; i < maps->size(); ++i)
        if (type == 0 || (*maps)[i].Type == type) return &(*maps)[i];
    return nullptr;
}

template <typename Map>
Map* Find(LwObject* object, LwId type, const char* name) {
    std::vector<Map>* maps = MapsOf<Map>(object);
    if (!maps || !name) return nullptr;
    for (Map& map : *maps)
        if (map.Type == type && strncmp(map.Name, name, sizeof(map.Name) - 1) == 0) return &map;
    return nullptr;
}

template <typename Map>
int32_t Add(LwObject* object, LwId type, const char* name, int32_t dimension, Map&& map) {
    std::vector<Map>* maps = MapsOf<Map>(object);
    if (!maps || dimension < 0) return -1;
    map.Index = (int32_t)maps->size();
    map.Type = type;
    LwCopyText(map.Name, name ? name : "", sizeof(map.Name));
    map.Dimension = dimension;
    if (!LwAppend(*maps, std::move(map))) {
        object->ErrorCode = LW_ERR_MEMORY;
        return -1;
    }
    return (int32_t)maps->size() - 1;
}

// Room for a slot per point of the layer; the slots of points not yet set are -1.
bool GrowSlots(LwObject* object, std::vector<int32_t>& slots) {
    size_t points = object->CurrentLayer->Points.size();
    if (slots.size() > points) return true;
    if (LwResize(slots, points + 1024, -1)) return true;
    object->ErrorCode = LW_ERR_MEMORY;
    return false;
}

int32_t EntryOf(const std::vector<int32_t>& slots, int32_t point) {
    return point >= 0 && (size_t)point < slots.size() ? slots[point] : -1;
}

bool PointValid(LwObject* object, int32_t point) {
    return point >= 0 && (size_t)point < object->CurrentLayer->Points.size();
}

// ---- VMAD ---------------------------------------------------------------------------------------

int32_t GetNumVmads(LwObject* object, LwId type) { return Count<LwVmad>(object, type); }
LwVmad* GetNextVmad(LwObject* object, LwVmad* previous, LwId type) { return Next(object, previous, type); }
LwVmad* FindVmad(LwObject* object, LwId type, const char* name) { return Find<LwVmad>(object, type, name); }

int32_t AddVmad(LwObject* object, LwId type, const char* name, int32_t dimension) {
    LwVmad map{};
    if (object && object->CurrentLayer) map.PolygonType = object->CurrentLayer->PolygonListType;
    return Add(object, type, name, dimension, std::move(map));
}

int32_t SetVmadValue(LwObject* object, int32_t index, int32_t point, int32_t polygon, const float* values) {
    LwVmad* map = At<LwVmad>(object, index);
    if (!map || !PointValid(object, point) || (map->Dimension > 0 && !values)) return LW_ERR_PARAM;
    if (polygon < 0 || polygon >= object->Op.GetNumPolygons(object)) return LW_ERR_PARAM;
    size_t dimension = (size_t)map->Dimension;
    int32_t entry = EntryOf(map->Slots, point);
    if (entry >= 0) {
        for (LwVmadValue& value : map->Entries[entry].Values) {
            if (value.Polygon == polygon) {
                std::copy(values, values + dimension, value.Values.begin());
                return LW_ERR_NONE;
            }
        }
    }
    try {
        LwVmadValue value{polygon, std::vector<float>(values, values + dimension)};
        if (entry < 0) {
            if (!GrowSlots(object, map->Slots)) return LW_ERR_MEMORY;
            map->Entries.push_back(LwVmadEntry{point, {}});
            entry = (int32_t)map->Entries.size() - 1;
            map->Slots[point] = entry;
        }
        map->Entries[entry].Values.push_back(std::move(value));
    } catch (const std::bad_alloc&) {
        object->ErrorCode = LW_ERR_MEMORY;
        return LW_ERR_MEMORY;
    }
    return LW_ERR_NONE;
}

float* GetVmadValue(LwObject*, LwVmad* map, int32_t point, int32_t polygon) {
    if (!map) return nullptr;
    int32_t entry = EntryOf(map->Slots, point);
    if (entry < 0) return nullptr;
    for (LwVmadValue& value : map->Entries[entry].Values)
        if (value.Polygon == polygon) return value.Values.empty() ? gNoValues : value.Values.data();
    return nullptr;
}

void Clear(LwVmad& map) {
    std::vector<LwVmadEntry>().swap(map.Entries);
    std::vector<int32_t>().swap(map.Slots);
}

int32_t DeleteVmads(LwObject* object, LwId type) {
    std::vector<LwVmad>* maps = MapsOf<LwVmad>(object);
    if (!maps) return LW_ERR_PARAM;
    if (type == 0)
        std::vector<LwVmad>().swap(*maps);
    else
        LwCompactMaps(*maps, [type](size_t, const LwVmad& map) { return map.Type == type; });
    return LW_ERR_NONE;
}

int32_t DeleteVmad(LwObject* object, int32_t index) {
    std::vector<LwVmad>* maps = MapsOf<LwVmad>(object);
    if (!At<LwVmad>(object, index)) return LW_ERR_PARAM;
    LwCompactMaps(*maps, [index](size_t i, const LwVmad&) { return (int32_t)i == index; });
    return LW_ERR_NONE;
}

int32_t ClearVmad(LwObject* object, int32_t index) {
    LwVmad* map = At<LwVmad>(object, index);
    if (!map) return LW_ERR_PARAM;
    Clear(*map);
    return LW_ERR_NONE;
}

// ---- VMAP ---------------------------------------------------------------------------------------

int32_t GetNumVmaps(LwObject* object, LwId type) { return Count<LwVmap>(object, type); }
LwVmap* GetNextVmap(LwObject* object, LwVmap* previous, LwId type) { return Next(object, previous, type); }
LwVmap* FindVmap(LwObject* object, LwId type, const char* name) { return Find<LwVmap>(object, type, name); }

int32_t AddVmap(LwObject* object, LwId type, const char* name, int32_t dimension) {
    return Add(object, type, name, dimension, LwVmap{});
}

// Values are stored entry by entry, so a map takes memory for the points it holds only, whatever
// its dimension.
int32_t SetVmapValue(LwObject* object, int32_t index, int32_t point, const float* values) {
    LwVmap* map = At<LwVmap>(object, index);
    if (!map || !PointValid(object, point) || (map->Dimension > 0 && !values)) return LW_ERR_PARAM;
    size_t dimension = (size_t)map->Dimension;
    int32_t entry = EntryOf(map->Slots, point);
    if (entry >= 0) {
        std::copy(values, values + dimension, map->Values.begin() + (size_t)entry * dimension);
        return LW_ERR_NONE;
    }
    if (!GrowSlots(object, map->Slots)) return LW_ERR_MEMORY;
    try {
        map->Values.insert(map->Values.end(), values, values + dimension);
        map->Points.push_back(point);
    } catch (const std::bad_alloc&) {
        map->Values.resize(map->Points.size() * dimension);
        object->ErrorCode = LW_ERR_MEMORY;
        return LW_ERR_MEMORY;
    }
    map->Slots[point] = (int32_t)map->Points.size() - 1;
    return LW_ERR_NONE;
}

float* GetVmapValue(LwObject*, LwVmap* map, int32_t point) {
    if (!map) return nullptr;
    int32_t entry = EntryOf(map->Slots, point);
    if (entry < 0) return nullptr;
    return map->Dimension == 0 ? gNoValues : map->Values.data() + (size_t)entry * (size_t)map->Dimension;
}

// The VMAD that goes with a VMAP: the same type and name.
int32_t PartnerVmad(LwObject* object, const LwVmap& map) {
    LwVmad* vmad = FindVmad(object, map.Type, map.Name);
    return vmad ? vmad->Index : -1;
}

int32_t DeleteVmaps(LwObject* object, LwId type) {
    std::vector<LwVmap>* maps = MapsOf<LwVmap>(object);
    if (!maps) return LW_ERR_PARAM;
    DeleteVmads(object, type);
    if (type == 0)
        std::vector<LwVmap>().swap(*maps);
    else
        LwCompactMaps(*maps, [type](size_t, const LwVmap& map) { return map.Type == type; });
    return LW_ERR_NONE;
}

int32_t DeleteVmap(LwObject* object, int32_t index) {
    LwVmap* map = At<LwVmap>(object, index);
    if (!map) return LW_ERR_PARAM;
    int32_t vmad = PartnerVmad(object, *map);
    if (vmad >= 0) DeleteVmad(object, vmad);
    LwCompactMaps(*MapsOf<LwVmap>(object), [index](size_t i, const LwVmap&) { return (int32_t)i == index; });
    return LW_ERR_NONE;
}

int32_t ClearVmap(LwObject* object, int32_t index) {
    LwVmap* map = At<LwVmap>(object, index);
    if (!map) return LW_ERR_PARAM;
    int32_t vmad = PartnerVmad(object, *map);
    if (vmad >= 0) ClearVmad(object, vmad);
    std::vector<int32_t>().swap(map->Points);
    std::vector<float>().swap(map->Values);
    std::vector<int32_t>().swap(map->Slots);
    return LW_ERR_NONE;
}

int32_t RenameVmap(LwObject* object, int32_t index, const char* name) {
    LwVmap* map = At<LwVmap>(object, index);
    if (!map || !name) return LW_ERR_PARAM;
    int32_t vmad = PartnerVmad(object, *map);
    if (vmad >= 0) LwCopyText(At<LwVmad>(object, vmad)->Name, name, sizeof(map->Name));
    LwCopyText(map->Name, name, sizeof(map->Name));
    return LW_ERR_NONE;
}

}  // namespace

void LwFillVmapOperations(LwObjectOperations* op) {
    op->GetNumVmaps = GetNumVmaps;
    op->GetNextVmap = GetNextVmap;
    op->AddVmap = AddVmap;
    op->SetVmapValue = SetVmapValue;
    op->FindVmap = FindVmap;
    op->GetVmapValue = GetVmapValue;
    op->DeleteVmaps = DeleteVmaps;
    op->DeleteVmap = DeleteVmap;
    op->ClearVmap = ClearVmap;
    op->RenameVmap = RenameVmap;
    op->GetNumVmads = GetNumVmads;
    op->GetNextVmad = GetNextVmad;
    op->AddVmad = AddVmad;
    op->SetVmadValue = SetVmadValue;
    op->FindVmad = FindVmad;
    op->GetVmadValue = GetVmadValue;
    op->DeleteVmads = DeleteVmads;
    op->DeleteVmad = DeleteVmad;
    op->ClearVmad = ClearVmad;
}
