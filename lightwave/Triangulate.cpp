// The polygon triangulator: a polygon of more than three corners (more than four when quadrilaterals
// are kept) is cleaned of coincident corners, projected onto the plane of its area-weighted normal
// and cut into triangles that keep its winding. Convex and self-crossing polygons become fans; any
// other is cut ear by ear, which never places a triangle outside the outline. The source polygon
// becomes the last triangle; the others are appended with its surface, tags, flags and per-corner
// data, and take over its discontinuous map values at their corners.
#include "lightwave/ObjectInternal.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double EPS = 1.1920928955078125e-07;            // 2^-23, coordinate tolerance
constexpr double EPS2 = 1.4210854715202004e-14;           // 2^-46, squared-distance tolerance
constexpr double BRIDGE_OFFSET = 1.1920928955078125e-06;  // 1.25 x 2^-20, a retraced edge moved aside

struct Vertex {
    int32_t Corner;
    int32_t Point;
    double X, Y;
};

struct Triangle {
    int32_t Corner[3];
};

// A copy of what the triangles inherit; the polygon array may move while they are added.
struct Source {
    int32_t Index;
    const char* SurfaceName;
    int32_t SurfaceId;
    uint16_t Flags;
    int32_t SelectedTexChannel;
    std::vector<int32_t> Points, Normals, Colors;
    std::vector<LwTexChannel> Channels;
};

double Distance2(const double* a, const double* b) {
    const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
}

// Drops corners that coincide with the corner kept before them (and a last corner on the first),
// closing up every per-corner array of the polygon.
void RemoveCoincidentCorners(LwLayer* layer, LwPolygon* polygon) {
    const int32_t n = polygon->VertexCount();
    if (n < 2) return;
    std::vector<int32_t> kept{0};
    for (int32_t k = 1; k < n; ++k)
        if (Distance2(layer->Points[polygon->Points[k]].Xyz, layer->Points[polygon->Points[kept.back()]].Xyz) >= EPS2)
            kept.push_back(k);
    if (kept.size() > 1 &&
        Distance2(layer->Points[polygon->Points[kept.back()]].Xyz, layer->Points[polygon->Points[0]].Xyz) < EPS2)
        kept.pop_back();
    if ((int32_t)kept.size() == n) return;
    auto closeUp = [&](std::vector<int32_t>& array) {
        if ((int32_t)array.size() != n) return;
        for (size_t i = 0; i < kept.size(); ++i) array[i] = array[kept[i]];
        array.resize(kept.size());
    };
    closeUp(polygon->Points);
    closeUp(polygon->NormalIndices);
    closeUp(polygon->ColorIndices);
    for (LwTexChannel& channel : polygon->TexChannels) closeUp(channel.Indices);
}

// The area-weighted (Newell) normal: also right for non-planar polygons and a reflex first corner,
// so the projected ring always runs counter-clockwise.
void NewellNormal(const LwLayer* layer, const LwPolygon* polygon, double n[3]) {
    n[0] = n[1] = n[2] = 0.0;
    const int32_t count = polygon->VertexCount();
    for (int32_t k = 0; k < count; ++k) {
        const double* a = layer->Points[polygon->Points[k]].Xyz;
        const double* b = layer->Points[polygon->Points[(k + 1) % count]].Xyz;
        n[0] += (a[1] - b[1]) * (a[2] + b[2]);
        n[1] += (a[2] - b[2]) * (a[0] + b[0]);
        n[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
}

std::vector<Vertex> Project(const LwLayer* layer, const LwPolygon* polygon, const double normal[3]) {
    double n[3] = {normal[0], normal[1], normal[2]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0) {
        for (double& c : n) c /= length;
    } else {
        n[2] = 1.0;
    }
    // u perpendicular to n from the axis n is least aligned with, v = n x u: (u, v, n) right-handed.
    double a[3] = {0, 0, 0};
    const int axis = std::fabs(n[0]) < std::fabs(n[1]) ? (std::fabs(n[0]) < std::fabs(n[2]) ? 0 : 2)
                                                       : (std::fabs(n[1]) < std::fabs(n[2]) ? 1 : 2);
    a[axis] = 1.0;
    double u[3] = {a[1] * n[2] - a[2] * n[1], a[2] * n[0] - a[0] * n[2], a[0] * n[1] - a[1] * n[0]};
    const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u) c /= ul;
    const double v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
    std::vector<Vertex> ring;
    for (int32_t k = 0; k < polygon->VertexCount(); ++k) {
        const double* p = layer->Points[polygon->Points[k]].Xyz;
        ring.push_back(
            {k, polygon->Points[k], p[0] * u[0] + p[1] * u[1] + p[2] * u[2], p[0] * v[0] + p[1] * v[1] + p[2] * v[2]});
    }
    // A slit joining a hole runs there and back over the same points: the way back is moved aside
    // so that the two sides do not coincide.
    for (size_t k = 3; k < ring.size(); ++k) {
        for (size_t j = 0; j + 1 < k - 1; ++j) {
            if (ring[j].Point != ring[k].Point || ring[j + 1].Point != ring[k - 1].Point) continue;
            const double dx = ring[k].X - ring[k - 1].X, dy = ring[k].Y - ring[k - 1].Y;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d > 0.0) {
                for (size_t m : {k - 1, k}) {
                    ring[m].X += BRIDGE_OFFSET * -dy / d;
                    ring[m].Y += BRIDGE_OFFSET * dx / d;
                }
            }
            break;
        }
    }
    return ring;
}

double Cross(const Vertex& u, const Vertex& v, const Vertex& w) {
    return (v.X - u.X) * (w.Y - u.Y) - (v.Y - u.Y) * (w.X - u.X);
}

// Two edges cross when they meet inside both (touching at an end does not count).
bool SelfCrossing(const std::vector<Vertex>& ring) {
    const size_t m = ring.size();
    for (size_t i = 0; i + 2 < m; ++i) {
        for (size_t j = i + 2; j < (i == 0 ? m - 1 : m); ++j) {
            const Vertex &p1 = ring[i], &p2 = ring[i + 1], &p3 = ring[j], &p4 = ring[(j + 1) % m];
            const double den = (p4.X - p3.X) * (p2.Y - p1.Y) - (p4.Y - p3.Y) * (p2.X - p1.X);
            if (std::fabs(den) < EPS) continue;
            const double t = ((p4.X - p3.X) * (p3.Y - p1.Y) - (p4.Y - p3.Y) * (p3.X - p1.X)) / den;
            const double s = ((p2.X - p1.X) * (p3.Y - p1.Y) - (p2.Y - p1.Y) * (p3.X - p1.X)) / den;
            if (t >= EPS && t <= 1.0 - EPS && s >= EPS && s <= 1.0 - EPS) return true;
        }
    }
    return false;
}

bool Convex(const std::vector<Vertex>& ring) {
    const size_t m = ring.size();
    for (size_t k = 0; k < m; ++k)
        if (Cross(ring[(k + m - 1) % m], ring[k], ring[(k + 1) % m]) < 0.0) return false;
    return true;
}

bool Same(const Vertex& a, const Vertex& b) {
    return a.Point == b.Point || (std::fabs(a.X - b.X) < EPS && std::fabs(a.Y - b.Y) < EPS);
}

// Inside the counter-clockwise triangle abc or on its sides: a corner on the cut would pinch the
// rest of the ring.
bool Inside(const Vertex& p, const Vertex& a, const Vertex& b, const Vertex& c) {
    return Cross(a, b, p) >= -EPS2 && Cross(b, c, p) >= -EPS2 && Cross(c, a, p) >= -EPS2;
}

// Ear clipping over the counter-clockwise ring; a pass that finds no ear (a ring made degenerate by
// rounding) cuts the most convex corner so the cutting always ends.
std::vector<Triangle> CutEars(const std::vector<Vertex>& ring) {
    std::vector<size_t> open(ring.size());
    for (size_t i = 0; i < open.size(); ++i) open[i] = i;
    std::vector<Triangle> triangles;
    size_t at = 0, misses = 0;
    while (open.size() > 3) {
        const size_t m = open.size();
        const size_t ip = (at + m - 1) % m, in = (at + 1) % m;
        const Vertex &u = ring[open[ip]], &v = ring[open[at]], &w = ring[open[in]];
        bool ear = Cross(u, v, w) > EPS2;
        for (size_t j = 0; ear && j < m; ++j) {
            if (j == ip || j == at || j == in) continue;
            const Vertex& p = ring[open[j]];
            if (!Same(p, u) && !Same(p, v) && !Same(p, w) && Inside(p, u, v, w)) ear = false;
        }
        if (!ear && ++misses < m) {
            at = in;
            continue;
        }
        if (!ear) {
            double best = -INFINITY;
            for (size_t k = 0; k < m; ++k) {
                const double c = Cross(ring[open[(k + m - 1) % m]], ring[open[k]], ring[open[(k + 1) % m]]);
                if (c > best) best = c, at = k;
            }
        }
        const size_t p = (at + m - 1) % m, n = (at + 1) % m;
        triangles.push_back({{ring[open[p]].Corner, ring[open[at]].Corner, ring[open[n]].Corner}});
        open.erase(open.begin() + (std::ptrdiff_t)at);
        if (at >= open.size()) at = 0;
        misses = 0;
    }
    triangles.push_back({{ring[open[0]].Corner, ring[open[1]].Corner, ring[open[2]].Corner}});
    return triangles;
}

// A triangle of the ear path with a side shorter than the tolerance, or whose unit sides are nearly
// parallel, is dropped.
bool Degenerate(const LwLayer* layer, const Source& s, const Triangle& t) {
    const double* a = layer->Points[s.Points[t.Corner[0]]].Xyz;
    const double* b = layer->Points[s.Points[t.Corner[1]]].Xyz;
    const double* c = layer->Points[s.Points[t.Corner[2]]].Xyz;
    double e1[3], e2[3];
    for (int i = 0; i < 3; ++i) e1[i] = b[i] - a[i], e2[i] = c[i] - a[i];
    const double l1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
    const double l2 = std::sqrt(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
    if (l1 < EPS || l2 < EPS) return true;
    for (int i = 0; i < 3; ++i) e1[i] /= l1, e2[i] /= l2;
    const double x[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    return x[0] * x[0] + x[1] * x[1] + x[2] * x[2] < EPS;
}

void FaceNormal(const LwLayer* layer, LwPolygon* polygon) {
    const double* p0 = layer->Points[polygon->Points[0]].Xyz;
    const double* p1 = layer->Points[polygon->Points[1]].Xyz;
    const double* pl = layer->Points[polygon->Points[2]].Xyz;
    double a[3], b[3];
    for (int i = 0; i < 3; ++i) a[i] = p1[i] - p0[i], b[i] = pl[i] - p0[i];
    const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int i = 0; i < 3; ++i) polygon->Normal[i] = length > 0.0 ? n[i] / length : 0.0;
}

// Gives the triangle at index its corners and the source's per-corner data for them.
void FillTriangle(LwObject* o, const Source& s, const Triangle& t, int32_t index) {
    const int32_t points[3] = {s.Points[t.Corner[0]], s.Points[t.Corner[1]], s.Points[t.Corner[2]]};
    o->Op.SetPolygonPoints(o, index, 3, points);
    LwPolygon* p = o->Op.GetPolygon(o, index);
    auto pick = [&](const std::vector<int32_t>& from, std::vector<int32_t>& to) {
        if (from.size() != s.Points.size()) return;
        to = {from[t.Corner[0]], from[t.Corner[1]], from[t.Corner[2]]};
    };
    pick(s.Normals, p->NormalIndices);
    pick(s.Colors, p->ColorIndices);
    p->TexChannels.clear();
    for (const LwTexChannel& channel : s.Channels) {
        LwTexChannel c{channel.KeyA, channel.KeyB, {0, 0, 0}};
        pick(channel.Indices, c.Indices);
        p->TexChannels.push_back(std::move(c));
    }
    p->SelectedTexChannel = s.SelectedTexChannel;
    p->Flags = s.Flags;
    FaceNormal(o->CurrentLayer, p);
}

bool Contains(LwObject* o, int32_t polygon, int32_t point) {
    const LwPolygon* p = o->Op.GetPolygon(o, polygon);
    for (int32_t q : p->Points)
        if (q == point) return true;
    return false;
}

// Discontinuous map values of the source at a point follow the triangles that have that point.
void HandOnVmads(LwObject* o, const Source& s, const std::vector<int32_t>& added) {
    LwLayer* layer = o->CurrentLayer;
    const LwId type = layer->Working->Type;
    struct Move {
        int32_t Map, Point;
        std::vector<float> Values;
    };
    std::vector<Move> moves;
    for (size_t m = 0; m < layer->Vmads.size(); ++m) {
        LwVmad& map = layer->Vmads[m];
        if (map.PolygonType != type && !(map.PolygonType == 0 && type == LW_ID_FACE)) continue;
        for (LwVmadEntry& entry : map.Entries) {
            for (LwVmadValue& value : entry.Values) {
                if (value.Polygon != s.Index) continue;
                moves.push_back({(int32_t)m, entry.Point, value.Values});
                if (Contains(o, s.Index, entry.Point)) continue;
                // The source no longer has the point: the first triangle that has it takes the value.
                for (int32_t t : added) {
                    if (Contains(o, t, entry.Point)) {
                        value.Polygon = t;
                        break;
                    }
                }
            }
        }
    }
    for (const Move& move : moves)
        for (int32_t t : added)
            if (Contains(o, t, move.Point)) o->Op.SetVmadValue(o, move.Map, move.Point, t, move.Values.data());
}

int32_t CornerLimit(int32_t option) { return (option & LW_TRIANGULATE_KEEP_QUADS) ? 4 : 3; }

int32_t TriangulatePolygon(LwObject* o, int32_t index, int32_t option) {
    LwLayer* layer = o->CurrentLayer;
    LwPolygon* polygon = o->Op.GetPolygon(o, index);
    RemoveCoincidentCorners(layer, polygon);
    // A polygon cleaned down to what the option keeps is kept.
    if (polygon->VertexCount() <= CornerLimit(option)) return LW_ERR_NONE;
    double normal[3];
    NewellNormal(layer, polygon, normal);
    const std::vector<Vertex> ring = Project(layer, polygon, normal);
    const bool fan = SelfCrossing(ring) || Convex(ring);
    if (fan && (option & LW_TRIANGULATE_KEEP_CONVEX)) return LW_ERR_NONE;
    std::vector<Triangle> triangles;
    if (fan) {
        for (int32_t k = 1; k + 1 < (int32_t)ring.size(); ++k) triangles.push_back({{0, k, k + 1}});
    } else {
        triangles = CutEars(ring);
    }
    Source s;
    try {
        s = {index,
             polygon->SurfaceName,
             polygon->SurfaceId,
             polygon->Flags,
             polygon->SelectedTexChannel,
             polygon->Points,
             polygon->NormalIndices,
             polygon->ColorIndices,
             polygon->TexChannels};
    } catch (const std::bad_alloc&) {
        return LW_ERR_MEMORY;
    }
    std::vector<int32_t> added;
    for (size_t i = 0; i + 1 < triangles.size(); ++i) {
        if (!fan && Degenerate(layer, s, triangles[i])) continue;
        const int32_t points[3] = {s.Points[triangles[i].Corner[0]], s.Points[triangles[i].Corner[1]],
                                   s.Points[triangles[i].Corner[2]]};
        // The source's tags include its SURF tag, so the triangle takes its surface from them.
        const int32_t t = o->Op.AddPolygon(o, 3, points, nullptr);
        if (t < 0) return LW_ERR_MEMORY;
        o->Op.CopyPolygonTags(o, s.Index, t);
        LwPolygon* triangle = o->Op.GetPolygon(o, t);
        triangle->SurfaceName = s.SurfaceName;
        triangle->SurfaceId = s.SurfaceId;
        FillTriangle(o, s, triangles[i], t);
        added.push_back(t);
    }
    FillTriangle(o, s, triangles.back(), s.Index);
    HandOnVmads(o, s, added);
    return LW_ERR_NONE;
}

int32_t TriangulatePolygonAt(LwObject* object, int32_t index, int32_t option) {
    if (!object || !object->Op.GetPolygon(object, index)) return LW_ERR_PARAM;
    if (object->Op.GetPolygon(object, index)->VertexCount() <= CornerLimit(option)) return LW_ERR_NONE;
    return TriangulatePolygon(object, index, option);
}

// Triangles appended on the way are not visited again.
int32_t TriangulateLayer(LwObject* object, int32_t option) {
    if (!object) return LW_ERR_PARAM;
    const int32_t count = object->Op.GetPolygonCount(object);
    // Room for every triangle at once: the polygon records are large to move.
    if (LwPolygonGroup* group = LwWorkingGroup(object)) {
        size_t extra = 0;
        for (const LwPolygon& polygon : group->Polygons)
            if (polygon.VertexCount() > CornerLimit(option)) extra += (size_t)polygon.VertexCount() - 3;
        try {
            group->Polygons.reserve(group->Polygons.size() + extra);
        } catch (const std::bad_alloc&) {}
    }
    int32_t result = LW_ERR_NONE;
    for (int32_t i = 0; i < count; ++i) {
        if (object->Op.GetPolygon(object, i)->VertexCount() <= CornerLimit(option)) continue;
        const int32_t rc = TriangulatePolygon(object, i, option);
        if (result == LW_ERR_NONE) result = rc;
    }
    object->Op.StorePolygonType(object);
    return result;
}

}  // namespace

void LwFillTriangulateOperations(LwObjectOperations* op) {
    op->TriangulatePolygonAt = TriangulatePolygonAt;
    op->TriangulateLayer = TriangulateLayer;
}
