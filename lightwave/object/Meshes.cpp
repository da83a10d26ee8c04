// The mesh builder: the working polygons of the current layer regrouped into triangle strips and
// fans, line chains and point groups, each of one surface, with a key that orders them for drawing.
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <algorithm>
#include <cmath>

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

constexpr float kTolerance = 1.0f / 8388608.0f;  // 2^-23

// The corner of the polygon at the point, -1 when it has none.
int32_t CornerOf(const LwPolygon& polygon, int32_t point) {
    for (int32_t i = 0; i < polygon.VertexCount(); ++i)
        if (polygon.Points[i] == point) return i;
    return -1;
}

enum JoinResult : int32_t { LW_JOIN_REFUSE = 0, LW_JOIN_REPEAT = 1, LW_JOIN = 2 };

class MeshBuilder {
public:
    MeshBuilder(LwObject* object, const LwMeshOptions& options)
        : o_(object), layer_(object->CurrentLayer), polygons_(layer_->Working->Polygons), options_(options) {}

    int32_t Build();

private:
    struct Cursor {
        int32_t current, startPolygon, startPoint, startEdge, endPoint, edge;
        JoinResult join;
    };

    bool Add(LwMesh&& mesh);
    void AddNode(LwMesh& mesh, bool head, int32_t polygon, int32_t corner);
    const LwMeshNode& FromEnd(const LwMesh& mesh, bool head, int k) const {
        return head ? mesh.Nodes[k] : mesh.Nodes[mesh.Nodes.size() - 1 - k];
    }
    JoinResult Join(const LwMesh& mesh, int32_t q) const;
    bool AttributesDiffer(const LwPolygon& p, const LwPolygon& q, int32_t pa, int32_t pb, int32_t qa, int32_t qb) const;
    bool Cross(const LwMesh& mesh, int32_t stop);
    void Walk(LwMesh& mesh, int32_t polygon, bool head, bool first);
    void NextEdge(const LwMesh& mesh, bool head);
    LwMesh Strip(int32_t polygon, int32_t startCorner, int32_t* padding);
    bool Fans();
    bool Strips();
    bool Lines();
    bool Points();
    const LwPolygonList* ListOf(int32_t point) const { return (const LwPolygonList*)layer_->Points[point].UserData; }

    LwObject* o_;
    LwLayer* layer_;
    std::vector<LwPolygon>& polygons_;
    LwMeshOptions options_;
    Cursor c_{};
    std::vector<int32_t> stamp_;  // by polygon: the serial of the last mesh it went into
    int32_t serial_ = 0;
    int64_t stripNodes_ = 0;
};

bool MeshBuilder::Add(LwMesh&& mesh) {
    if (!LwAppend(layer_->Meshes, std::move(mesh))) {
        o_->ErrorCode = LW_ERR_MEMORY;
        return false;
    }
    for (const LwMeshNode& node : layer_->Meshes.back().Nodes) polygons_[node.Polygon].Used = 1;
    return true;
}

void MeshBuilder::AddNode(LwMesh& mesh, bool head, int32_t polygon, int32_t corner) {
    LwMeshNode node{corner, polygons_[polygon].Points[corner], polygon};
    if (head)
        mesh.Nodes.push_front(node);
    else
        mesh.Nodes.push_back(node);
    stamp_[polygon] = serial_;
}

bool MeshBuilder::AttributesDiffer(const LwPolygon& p, const LwPolygon& q, int32_t pa, int32_t pb, int32_t qa,
                                   int32_t qb) const {
    const int32_t corners[2][2] = {{pa, qa}, {pb, qb}};
    if (!p.NormalIndices.empty() && !q.NormalIndices.empty()) {
        for (const auto& c : corners) {
            const int32_t i = p.NormalIndices[c[0]], j = q.NormalIndices[c[1]];
            if (i == j) continue;
            LwNormal* a = o_->Op.GetNormal(o_, i);
            LwNormal* b = o_->Op.GetNormal(o_, j);
            if (!a || !b) return true;
            for (int k = 0; k < 3; ++k)
                if (std::fabs(a->Xyz[k] - b->Xyz[k]) >= kTolerance) return true;
        }
    }
    if (!p.ColorIndices.empty() && !q.ColorIndices.empty()) {
        for (const auto& c : corners) {
            const int32_t i = p.ColorIndices[c[0]], j = q.ColorIndices[c[1]];
            if (i == j) continue;
            LwColor* a = o_->Op.GetColor(o_, i);
            LwColor* b = o_->Op.GetColor(o_, j);
            if (!a || !b) return true;
            for (int k = 0; k < 4; ++k)
                if (std::fabs(a->Rgba[k] - b->Rgba[k]) >= kTolerance) return true;
        }
    }
    for (size_t ch = 0; ch < p.TexChannels.size() && ch < q.TexChannels.size(); ++ch) {
        for (const auto& c : corners) {
            const std::vector<int32_t>& pi = p.TexChannels[ch].Indices;
            const std::vector<int32_t>& qi = q.TexChannels[ch].Indices;
            if ((size_t)c[0] >= pi.size() || (size_t)c[1] >= qi.size() || pi[c[0]] == qi[c[1]]) continue;
            LwTexCoord* a = o_->Op.GetTexCoord(o_, pi[c[0]]);
            LwTexCoord* b = o_->Op.GetTexCoord(o_, qi[c[1]]);
            if (!a || !b) return true;
            for (int k = 0; k < 2; ++k)
                if (std::fabs(a->Uvw[k] - b->Uvw[k]) >= kTolerance) return true;
        }
    }
    return false;
}

JoinResult MeshBuilder::Join(const LwMesh& mesh, int32_t q) const {
    if (q < 0 || q == c_.startPolygon) return LW_JOIN_REFUSE;
    const LwPolygon& candidate = polygons_[q];
    const LwPolygon& current = polygons_[c_.current];
    if (candidate.Used || candidate.VertexCount() < 3 || candidate.SurfaceId != current.SurfaceId ||
        stamp_[q] == serial_)
        return LW_JOIN_REFUSE;
    if (options_.MaxLength > 0 && options_.MaxLength < mesh.NodeCount() - 2 + candidate.VertexCount())
        return LW_JOIN_REFUSE;
    const LwEdge& edge = layer_->Edges[c_.edge];
    const int32_t pa = CornerOf(current, edge.P0), pb = CornerOf(current, edge.P1);
    const int32_t qa = CornerOf(candidate, edge.P0), qb = CornerOf(candidate, edge.P1);
    if (pa < 0 || pb < 0 || qa < 0 || qb < 0) return LW_JOIN_REFUSE;
    if (AttributesDiffer(current, candidate, pa, pb, qa, qb))
        return (options_.Flags & LW_MESH_REPEAT_VERTICES) ? LW_JOIN_REPEAT : LW_JOIN_REFUSE;
    return LW_JOIN;
}

// Moves the cursor across its edge into the polygon on the other side when that one joins.
bool MeshBuilder::Cross(const LwMesh& mesh, int32_t stop) {
    if (c_.edge < 0 || c_.edge == stop) return false;
    const LwEdge& edge = layer_->Edges[c_.edge];
    const int32_t q = edge.PolR == c_.current ? edge.PolL : edge.PolL == c_.current ? edge.PolR : -1;
    const JoinResult join = Join(mesh, q);
    if (join == LW_JOIN_REFUSE || (join == LW_JOIN_REPEAT && mesh.Kind == LW_MESH_FAN)) return false;
    c_.current = q;
    c_.join = join;
    return true;
}

// The polygon's corners added alternately forward and backward from the shared pair (or from the
// start point for the first polygon); at the head the polygon is walked the other way round.
void MeshBuilder::Walk(LwMesh& mesh, int32_t polygon, bool head, bool first) {
    const LwPolygon& p = polygons_[polygon];
    const int32_t n = p.VertexCount();
    auto next = [&](int32_t i) { return head ? (i + n - 1) % n : (i + 1) % n; };
    auto prev = [&](int32_t i) { return head ? (i + 1) % n : (i + n - 1) % n; };
    int32_t f, b, used;
    bool forward = true;
    if (first) {
        f = b = CornerOf(p, c_.startPoint);
        if (f < 0) return;
        AddNode(mesh, head, polygon, f);
        used = 1;
    } else {
        const int32_t t = CornerOf(p, FromEnd(mesh, head, 0).Point), s = CornerOf(p, FromEnd(mesh, head, 1).Point);
        if (t < 0 || s < 0) return;
        used = 2;
        if (next(t) == s)
            f = s, b = t;
        else
            f = t, b = s, forward = false;
        if (c_.join == LW_JOIN_REPEAT) {
            AddNode(mesh, head, polygon, forward ? f : b);
            AddNode(mesh, head, polygon, forward ? b : f);
        }
    }
    for (; used < n; ++used, forward = !forward) {
        if (forward)
            AddNode(mesh, head, polygon, f = next(f));
        else
            AddNode(mesh, head, polygon, b = prev(b));
    }
}

// The edge between the two end nodes, walking round the current polygon from the cursor's edge.
void MeshBuilder::NextEdge(const LwMesh& mesh, bool head) {
    if (mesh.NodeCount() < 2) {
        c_.edge = -1;
        return;
    }
    c_.endPoint = FromEnd(mesh, head, 0).Point;
    c_.edge = LwFetchEdge(o_, c_.edge, c_.endPoint, FromEnd(mesh, head, 1).Point, c_.current);
}

// padding counts the node put at the head to keep the winding, which draws nothing.
LwMesh MeshBuilder::Strip(int32_t polygon, int32_t startCorner, int32_t* padding) {
    *padding = 0;
    ++serial_;
    LwMesh mesh{0, polygons_[polygon].SurfaceId, LW_MESH_STRIP, {}};
    c_.current = c_.startPolygon = polygon;
    c_.startPoint = c_.endPoint = polygons_[polygon].Points[startCorner];
    c_.startEdge = c_.edge = LwFetchStartEdge(o_, polygons_[polygon].MeshEdge, polygon, c_.startPoint);
    c_.join = LW_JOIN;
    Walk(mesh, polygon, false, true);
    for (NextEdge(mesh, false); Cross(mesh, c_.startEdge); NextEdge(mesh, false)) Walk(mesh, c_.current, false, false);
    const int32_t end = c_.edge;
    if (end == c_.startEdge || c_.startEdge < 0) return mesh;
    c_.current = c_.startPolygon;
    c_.edge = c_.startEdge;
    const int32_t before = mesh.NodeCount();
    while (Cross(mesh, end)) {
        const LwEdge& edge = layer_->Edges[c_.edge];
        c_.startPoint = edge.P0 == c_.startPoint ? edge.P1 : edge.P0;
        c_.startPolygon = c_.current;
        Walk(mesh, c_.current, true, false);
        NextEdge(mesh, true);
    }
    if ((mesh.NodeCount() - before) % 2 == 1) {
        const LwMeshNode& first = mesh.Nodes[0];
        mesh.Nodes.push_front(LwMeshNode{first.Vertex, first.Point, first.Polygon});
        *padding = 1;
    }
    return mesh;
}

bool MeshBuilder::Strips() {
    for (size_t p = 0; p < polygons_.size(); ++p) {
        const LwPolygon& polygon = polygons_[p];
        if (polygon.Used || polygon.VertexCount() <= 2) continue;
        int32_t padding = 0, trialPadding = 0;
        LwMesh best = Strip((int32_t)p, 0, &padding);
        if (options_.Flags2 & LW_MESH_TRY_STARTS) {
            // A start is kept only when its strip has more nodes, not counting the padding node,
            // which draws nothing: two triangles sharing a side stay one strip of four nodes
            // rather than become the five-node strip grown back from the second corner.
            const int32_t n = polygon.VertexCount();
            const int32_t tries = n % 2 == 0 ? n / 2 - 1 : n - 1;
            for (int32_t k = 1; k <= tries; ++k) {
                LwMesh trial = Strip((int32_t)p, k, &trialPadding);
                if (trial.NodeCount() - trialPadding > best.NodeCount() - padding) {
                    best = std::move(trial);
                    padding = trialPadding;
                }
            }
        }
        stripNodes_ += best.NodeCount();
        if (!Add(std::move(best))) return false;
    }
    return true;
}

bool MeshBuilder::Fans() {
    for (size_t point = 0; point < layer_->Points.size(); ++point) {
        const LwPolygonList* list = ListOf((int32_t)point);
        if (list->Count < options_.MinFan) continue;
        for (int32_t e = 0; e < list->Count; ++e) {
            const int32_t p = list->Polygons[e];
            if (polygons_[p].Used || polygons_[p].VertexCount() <= 2) continue;
            ++serial_;
            LwMesh fan{0, polygons_[p].SurfaceId, LW_MESH_FAN, {}};
            const int32_t centre = list->Vertices[e];
            const int32_t n = polygons_[p].VertexCount();
            for (int32_t i = 0; i < n; ++i) AddNode(fan, false, p, (centre + i) % n);
            c_.current = c_.startPolygon = p;
            c_.startPoint = (int32_t)point;
            c_.startEdge = LwFetchEdge(o_, polygons_[p].MeshEdge, (int32_t)point, fan.Nodes[1].Point, p);
            c_.edge = LwFetchEdge(o_, c_.startEdge, (int32_t)point, fan.Nodes.back().Point, p);
            while (Cross(fan, c_.startEdge)) {
                const LwPolygon& q = polygons_[c_.current];
                const int32_t shared = CornerOf(q, fan.Nodes.back().Point);
                const int32_t m = q.VertexCount();
                for (int32_t i = 1; i < m && q.Points[(shared + i) % m] != (int32_t)point; ++i)
                    AddNode(fan, false, c_.current, (shared + i) % m);
                c_.edge = LwFetchEdge(o_, c_.edge, (int32_t)point, fan.Nodes.back().Point, c_.current);
            }
            // A fan too short is dropped with its nodes.
            if (fan.NodeCount() - 2 >= options_.MinFan && !Add(std::move(fan))) return false;
        }
    }
    return true;
}

bool MeshBuilder::Lines() {
    for (size_t p = 0; p < polygons_.size(); ++p) {
        if (polygons_[p].Used || polygons_[p].VertexCount() != 2) continue;
        ++serial_;
        LwMesh line{0, polygons_[p].SurfaceId, LW_MESH_LINE, {}};
        AddNode(line, false, (int32_t)p, 0);
        AddNode(line, false, (int32_t)p, 1);
        for (bool head : {false, true}) {
            for (;;) {
                if (line.Nodes.front().Point == line.Nodes.back().Point) {
                    o_->Op.Trace(o_, "LOOP LINE MESH\n");
                    break;
                }
                if (options_.MaxLength > 0 && line.NodeCount() + 1 > options_.MaxLength) break;
                const int32_t end = FromEnd(line, head, 0).Point;
                const LwPolygonList* list = ListOf(end);
                int32_t found = -1, corner = -1;
                for (int32_t e = 0; e < list->Count && found < 0; ++e) {
                    const int32_t q = list->Polygons[e];
                    const LwPolygon& candidate = polygons_[q];
                    if (candidate.VertexCount() != 2 || candidate.Used || q == (int32_t)p ||
                        candidate.SurfaceId != polygons_[p].SurfaceId || stamp_[q] == serial_)
                        continue;
                    found = q, corner = 1 - list->Vertices[e];
                }
                if (found < 0) break;
                AddNode(line, head, found, corner);
            }
        }
        if (!Add(std::move(line))) return false;
    }
    return true;
}

bool MeshBuilder::Points() {
    for (size_t p = 0; p < polygons_.size(); ++p) {
        if (polygons_[p].Used || polygons_[p].VertexCount() != 1) continue;
        const int32_t surface = polygons_[p].SurfaceId;
        LwMesh group{0, surface, LW_MESH_POINTS, {}};
        for (size_t q = p; q < polygons_.size(); ++q) {
            if (polygons_[q].Used || polygons_[q].VertexCount() != 1 || polygons_[q].SurfaceId != surface) continue;
            AddNode(group, false, (int32_t)q, 0);
            polygons_[q].Used = 1;  // taken, so the scan does not collect it twice
            if (options_.MaxLength > 0 && group.NodeCount() >= options_.MaxLength) {
                if (!Add(std::move(group))) return false;
                group = LwMesh{0, surface, LW_MESH_POINTS, {}};
            }
        }
        if (group.NodeCount() > 0 && !Add(std::move(group))) return false;
    }
    return true;
}

int32_t MeshBuilder::Build() {
    if (layer_->Edges.empty() && o_->Op.BuildEdges(o_) != LW_ERR_NONE) return o_->ErrorCode = LW_ERR_MEMORY;
    for (LwPolygon& polygon : polygons_) polygon.MeshEdge = -1, polygon.Used = 0;
    for (size_t e = 0; e < layer_->Edges.size(); ++e) {
        for (int32_t p : {layer_->Edges[e].PolR, layer_->Edges[e].PolL})
            if (p >= 0 && polygons_[p].MeshEdge < 0) polygons_[p].MeshEdge = (int32_t)e;
    }
    o_->Op.FreePointUserData(o_);
    if (!LwResize(stamp_, polygons_.size(), 0) ||
        (!layer_->Points.empty() && o_->Op.BuildPointPolygonLists(o_) != LW_ERR_NONE))
        return o_->ErrorCode = LW_ERR_MEMORY;
    const bool built = (!(options_.Flags & LW_MESH_FANS_FIRST) || layer_->Points.empty() || Fans()) && Strips() &&
                       (layer_->Points.empty() || Lines()) && Points();
    for (LwPolygon& polygon : polygons_) polygon.MeshEdge = -1, polygon.Used = 0;
    o_->Op.FreePointPolygonLists(o_);
    if (!built) return LW_ERR_MEMORY;
    for (LwMesh& mesh : layer_->Meshes) {
        const LwMaterial* m = LwMaterialOrDefault(o_, mesh.SurfaceId);
        const float t = std::min(std::max(m->Transparency, 0.0f), 1.0f);
        const uint32_t level = (uint32_t)(t * 255.0f + 0.5f);
        mesh.Key = level << 24 | ((uint32_t)mesh.SurfaceId & 0xFFFF) << 8 | ((uint32_t)mesh.Kind & 0xFF);
    }
    if (options_.Flags & LW_MESH_SORT) o_->Op.SortMeshes(o_);
    o_->Op.Trace(o_, "RESULT %d/%d/%d\n", (int32_t)layer_->Points.size(),
                 (int32_t)std::min<int64_t>(stripNodes_, INT32_MAX), o_->Op.GetNumPolygonVertices(o_));
    return LW_ERR_NONE;
}

int32_t BuildMeshes(LwObject* object, const LwMeshOptions* options) {
    if (!LwCurrentLayer(object)) return LW_ERR_PARAM;
    const LwMeshOptions defaults = {0, LW_MESH_TRY_STARTS, 0, 0};
    FreeMeshes(object);
    try {
        MeshBuilder builder(object, options ? *options : defaults);
        return builder.Build();
    } catch (const std::bad_alloc&) {
        return object->ErrorCode = LW_ERR_MEMORY;
    }
}

}  // namespace

void LwFillMeshOperations(LwObjectOperations* op) {
    op->GetNumMeshes = GetNumMeshes;
    op->GetMesh = GetMesh;
    op->GetMeshNode = GetMeshNode;
    op->BuildMeshes = BuildMeshes;
    op->FreeMeshes = FreeMeshes;
    op->SortMeshes = SortMeshes;
}
