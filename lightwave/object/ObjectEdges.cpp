// The edge table of the working polygons of the current layer: every edge once, with the polygons
// on its two sides and the edge that follows it around each of them.
#include "lightwave/object/LwObject.h"
#include "lightwave/object/ObjectInternal.h"

namespace {

struct Neighbour {
    int32_t point;
    int32_t edge;
};

// Per point, the points it shares an edge with. The lists grow as needed, so a shared edge is found
// again however many edges meet at a point.
class EdgeLookup {
public:
    bool Init(size_t points) { return LwResize(lists_, points); }

    int32_t Find(int32_t a, int32_t b) const {
        for (const Neighbour& n : lists_[a])
            if (n.point == b) return n.edge;
        return -1;
    }

    bool Record(int32_t a, int32_t b, int32_t edge) {
        return LwAppend(lists_[a], Neighbour{b, edge}) && LwAppend(lists_[b], Neighbour{a, edge});
    }

private:
    std::vector<std::vector<Neighbour>> lists_;
};

// The corner after the first corner at point a, -1 when the polygon does not have a.
int32_t PointAfter(const LwPolygon& polygon, int32_t a) {
    int32_t count = polygon.VertexCount();
    for (int32_t i = 0; i < count; ++i)
        if (polygon.Points[i] == a) return polygon.Points[(i + 1) % count];
    return -1;
}

// The edge from a to b for polygon p: an existing edge between the two points gains p as its
// second polygon, else a new edge runs from a to b. -1 when memory runs out.
int32_t AddEdge(std::vector<LwEdge>& edges, EdgeLookup& lookup, int32_t a, int32_t b, int32_t p) {
    int32_t e = lookup.Find(b, a);
    if (e >= 0) {
        edges[e].PolL = p;
        return e;
    }
    if (edges.size() >= (size_t)INT32_MAX) return -1;
    if (!LwAppend(edges, LwEdge{a, b, p, -1, -1, -1})) return -1;
    e = (int32_t)edges.size() - 1;
    if (!lookup.Record(a, b, e)) return -1;
    return e;
}

int32_t GetNumEdges(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    return layer ? (int32_t)layer->Edges.size() : 0;
}

LwEdge* GetEdge(LwObject* object, int32_t index) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer || index < 0 || (size_t)index >= layer->Edges.size()) return nullptr;
    return &layer->Edges[index];
}

int32_t FreeEdges(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    std::vector<LwEdge>().swap(layer->Edges);
    return LW_ERR_NONE;
}

int32_t BuildEdges(LwObject* object) {
    LwLayer* layer = LwCurrentLayer(object);
    if (!layer) return LW_ERR_PARAM;
    FreeEdges(object);
    std::vector<LwEdge>& edges = layer->Edges;
    std::vector<LwPolygon>& polygons = layer->Working->Polygons;
    const int32_t points = (int32_t)layer->Points.size();
    EdgeLookup lookup;
    if (!lookup.Init((size_t)points)) return LW_ERR_MEMORY;
    try {
        edges.reserve((size_t)points * 4);
    } catch (const std::bad_alloc&) {
        return LW_ERR_MEMORY;
    }
    for (size_t p = 0; p < polygons.size(); ++p) {
        LwPolygon& polygon = polygons[p];
        polygon.Edge = -1;
        const int32_t count = polygon.VertexCount();
        bool valid = true;
        for (int32_t point : polygon.Points) valid = valid && point >= 0 && point < points;
        if (!valid || count < 2) continue;
        const int32_t sides = count == 2 ? 1 : count;
        for (int32_t i = 0; i < sides; ++i)
            polygon.Edge = AddEdge(edges, lookup, polygon.Points[i], polygon.Points[(i + 1) % count], (int32_t)p);
    }
    for (size_t e = 0; e < edges.size(); ++e) {
        LwEdge& edge = edges[e];
        if (edge.PolR >= 0) {
            int32_t next = PointAfter(polygons[edge.PolR], edge.P1);
            edge.EdgeR = next >= 0 ? lookup.Find(edge.P1, next) : -1;
        }
        if (edge.PolL >= 0) {
            int32_t next = PointAfter(polygons[edge.PolL], edge.P0);
            edge.EdgeL = next >= 0 ? lookup.Find(edge.P0, next) : -1;
        }
        layer->Points[edge.P0].Edge = (int32_t)e;
    }
    return LW_ERR_NONE;
}

}  // namespace

int32_t LwFetchEdge(LwObject* object, int32_t start, int32_t a, int32_t b, int32_t polygon) {
    LwPolygon* p = object->Op.GetPolygon(object, polygon);
    if (!p) return -1;
    int32_t e = start;
    for (int32_t steps = 0;;) {
        const LwEdge* edge = GetEdge(object, e);
        if (!edge) return -1;
        if ((edge->P0 == a && edge->P1 == b) || (edge->P0 == b && edge->P1 == a)) return e;
        if (++steps >= p->VertexCount()) {
            object->Op.Trace(object, "??? FETCH_EDGE INFINITE LOOP NPNT[%d] POL[%d] ENO[%d]\n", p->VertexCount(),
                             polygon, start);
            return -1;
        }
        e = edge->PolR == polygon ? edge->EdgeR : edge->PolL == polygon ? edge->EdgeL : -1;
        if (e == start) return -1;
    }
}

int32_t LwFetchStartEdge(LwObject* object, int32_t start, int32_t polygon, int32_t a) {
    LwPolygon* p = object->Op.GetPolygon(object, polygon);
    int32_t b = p ? PointAfter(*p, a) : -1;
    int32_t e = LwFetchEdge(object, start, a, b, polygon);
    if (e < 0) object->Op.Trace(object, "??? FETCH_START_EDGE POL[%d] ENO[%d] P0[%d] P1[%d]\n", polygon, start, a, b);
    return e;
}

void LwFillEdgeOperations(LwObjectOperations* op) {
    op->GetNumEdges = GetNumEdges;
    op->GetEdge = GetEdge;
    op->BuildEdges = BuildEdges;
    op->FreeEdges = FreeEdges;
}
