// Library-internal declarations shared by the object half's source files.
#pragma once

#include "lightwave/object/LwObject.h"

#include <new>
#include <utility>
#include <vector>

// The current layer, and the polygon group its polygon operations act on; NULL without a layer.
inline LwLayer* LwCurrentLayer(LwObject* object) { return object ? object->CurrentLayer : nullptr; }
inline LwPolygonGroup* LwWorkingGroup(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? layer->Working : nullptr;
}

// Whether a discontinuous map's polygons are those of the polygon type: a map added before any type
// was chosen (type 0) belongs to the faces.
inline bool LwVmadOfType(const LwVmad& map, LwId type) {
    return map.PolygonType == type || (map.PolygonType == 0 && type == LW_ID_FACE);
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
void LwFillMaterialOperations(LwObjectOperations* op);
void LwFillNormalOperations(LwObjectOperations* op);
void LwFillColorOperations(LwObjectOperations* op);
void LwFillTexCoordOperations(LwObjectOperations* op);
void LwFillMeshOperations(LwObjectOperations* op);
void LwFillVertexColorOperation(LwObjectOperations* op);

// Frees a layer's user-data blocks with the polygon lists they hold (the layer's own arrays go
// with the layer).
void LwReleaseUserData(LwLayer* layer);
void LwFillWholeObjectOperations(LwObjectOperations* op);
void LwFillTriangulateOperations(LwObjectOperations* op);

// Releasing the object-level lists (also the whole object's destruction).
void LwReleaseTags(LwObject* object);
void LwReleaseSurfaces(LwObject* object);
void LwReleaseClips(LwObject* object);
void LwTrimClips(LwObject* object, int32_t count);  // drops the clips after the first count
void LwReleaseEnvelopes(LwObject* object);

// Edge walks of the mesh builder: the edge joining a and b found by walking round the polygon from
// start, and the edge from a to the point after a in the polygon; -1 when there is none.
int32_t LwFetchEdge(LwObject* object, int32_t start, int32_t a, int32_t b, int32_t polygon);
int32_t LwFetchStartEdge(LwObject* object, int32_t start, int32_t polygon, int32_t a);

// Lines of the ".vcl" and ".uv" companion files: CR or LF ends a line, empty and "#" lines are
// skipped, a line keeps at most 4095 characters (the rest of a longer one is dropped).
class LwTextLines {
public:
    explicit LwTextLines(FILE* file) : file_(file) {}
    // The next line that is not skipped; false at the end of the file.
    bool Next();
    const char* Text() const { return line_; }
    // Whether the line was ended by the end of the file rather than by a line break: the last line of
    // a file cut short.
    bool EndedByFile() const { return endedByFile_; }
    // Splits the line into at most n fields at blanks and tabs, the last being the rest of the
    // line without its leading blanks; returns the number found.
    int Split(int n, const char* fields[]);

private:
    FILE* file_;
    char line_[4096];
    char split_[4096];
    bool endedByFile_ = false;
};

// Integer and decimal fields; false for a text that is not one whole number.
bool LwParseInt(const char* text, int32_t* out);
bool LwParseDouble(const char* text, double* out);

// The companion file of the object named after its file with another extension (".vcl", ".uv"),
// and that file opened for reading with "\" read as "/"; NULL when it cannot be opened.
void LwCompanionName(const LwObject* object, const char* extension, char out[LW_PATH_SIZE]);
FILE* LwOpenCompanion(const char* name);

// Keeps the maps (polygon tag maps, vertex maps) that drop() refuses, in order, numbered again from 0.
template <typename Map, typename Drop>
void LwCompactMaps(std::vector<Map>& maps, Drop drop) {
    size_t kept = 0;
    for (size_t i = 0; i < maps.size(); ++i) {
        if (drop(i, maps[i])) continue;
        if (kept != i) maps[kept] = std::move(maps[i]);
        maps[kept].Index = (int32_t)kept;
        ++kept;
    }
    maps.resize(kept);
}
