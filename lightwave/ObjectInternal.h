// Library-internal declarations shared by the object half's source files.
#pragma once

#include "lightwave/LwObject.h"

#include <new>
#include <utility>

// The current layer, and the polygon group its polygon operations act on; NULL without a layer.
inline LwLayer* LwCurrentLayer(LwObject* object) { return object ? object->CurrentLayer : nullptr; }
inline LwPolygonGroup* LwWorkingGroup(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? layer->Working : nullptr;
}

// Appends to an array of the database; false when memory runs out (the array is unchanged).
template <typename Vector, typename Value>
bool LwAppend(Vector& array, Value&& value) {
    try {
        array.push_back(std::forward<Value>(value));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Resizes an array of the database; false when memory runs out.
template <typename Vector, typename... Fill>
bool LwResize(Vector& array, size_t size, const Fill&... fill) {
    try {
        array.resize(size, fill...);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Copies of caller bytes for the raw chunk bodies; NULL for size 0 or when memory runs out.
uint8_t* LwCopyBytes(const void* bytes, int32_t size);

// Table operations implemented in the separate files.
void LwFillTagOperations(LwObjectOperations* op);
void LwFillVmapOperations(LwObjectOperations* op);
void LwFillListOperations(LwObjectOperations* op);
void LwFillEdgeOperations(LwObjectOperations* op);

// Releasing the object-level lists (also the whole object's destruction).
void LwReleaseTags(LwObject* object);
void LwReleaseSurfaces(LwObject* object);
void LwReleaseClips(LwObject* object);
void LwReleaseEnvelopes(LwObject* object);

// Edge walks of the mesh builder: the edge joining a and b found by walking round the polygon from
// start, and the edge from a to the point after a in the polygon; -1 when there is none.
int32_t LwFetchEdge(LwObject* object, int32_t start, int32_t a, int32_t b, int32_t polygon);
int32_t LwFetchStartEdge(LwObject* object, int32_t start, int32_t polygon, int32_t a);
