// The polygon triangulator: a polygon of more than three corners (more than four when quadrilaterals
// are kept) is cleaned of coincident corners, projected onto the plane of the normal at its first
// corner and cut into triangles that keep its winding. Convex and self-crossing polygons become
// fans; any other is split into y-monotone faces by a top-to-bottom sweep, and each face is cut
// into triangles with a stack. The source polygon becomes the last triangle; the others are
// appended with its surface, tags, flags and per-corner data, and take over its discontinuous map
// values at their corners.
#include "lightwave/object/ObjectInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double EPS = 1.1920928955078125e-07;            // 2^-23, coordinate tolerance
constexpr double EPS2 = 1.4210854715202004e-14;           // 2^-46, squared-distance tolerance
constexpr double BRIDGE_OFFSET = 1.1920928955078125e-06;  // 1.25 x 2^-20, a retraced edge moved aside

enum class VertexType { Regular, Start, Split, End, Merge };

struct Vertex {
    int32_t Corner;
    int32_t Point;
    double X, Y;
    VertexType Type;
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

// The area-weighted (Newell) normal, for a polygon whose first corner and its neighbours lie in
// line and so give no normal.
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

// Rotates the polygon so that its normal becomes the third axis; (x', y', n) stay right-handed, so a
// ring that winds counter-clockwise about the normal stays counter-clockwise in the plane.
std::vector<Vertex> Project(const LwLayer* layer, const LwPolygon* polygon, const double normal[3]) {
    double n[3] = {normal[0], normal[1], normal[2]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0) {
        for (double& c : n) c /= length;
    } else {
        n[0] = n[1] = 0.0, n[2] = 1.0;
    }
    const double r = std::sqrt(n[0] * n[0] + n[2] * n[2]);
    std::vector<Vertex> ring;
    ring.reserve(polygon->Points.size());
    for (int32_t k = 0; k < polygon->VertexCount(); ++k) {
        const double* p = layer->Points[polygon->Points[k]].Xyz;
        double x = -n[1] * p[0], y = p[2];
        if (r >= EPS) {
            x = (p[0] * n[2] - p[2] * n[0]) / r;
            y = (-p[0] * n[0] * n[1] + p[1] * r * r - p[2] * n[1] * n[2]) / r;
        }
        ring.push_back({k, polygon->Points[k], x, y, VertexType::Regular});
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

// The sweep's order: lower y first, and on one level (within EPS) the larger x.
bool Below(const Vertex& a, const Vertex& b) {
    return a.Y < b.Y - EPS || (std::fabs(a.Y - b.Y) < EPS && a.X > b.X + EPS);
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

// Classifies every corner against its ring neighbours; true when none is reflex (collinear counts
// as convex).
bool Classify(std::vector<Vertex>& ring) {
    const size_t m = ring.size();
    bool convex = true;
    for (size_t k = 0; k < m; ++k) {
        const Vertex &u = ring[(k + m - 1) % m], &w = ring[(k + 1) % m];
        Vertex& v = ring[k];
        const bool corner = Cross(u, v, w) >= 0.0;
        if (!corner) convex = false;
        if (std::fabs(w.X - v.X) < EPS && std::fabs(w.Y - v.Y) < EPS)
            v.Type = VertexType::Regular;
        else if (Below(u, v) && Below(w, v))
            v.Type = corner ? VertexType::Start : VertexType::Split;
        else if (Below(v, u) && Below(v, w))
            v.Type = corner ? VertexType::End : VertexType::Merge;
        else
            v.Type = VertexType::Regular;
    }
    return convex;
}

// Orders ring vertices top to bottom. A merge sort, since the tolerant order is not transitive and
// must neither loop nor reach outside the array.
void SortTopDown(const std::vector<Vertex>& ring, std::vector<int32_t>& order) {
    std::vector<int32_t> scratch(order.size());
    for (size_t width = 1; width < order.size(); width *= 2) {
        for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
            const size_t mid = std::min(lo + width, order.size()), hi = std::min(lo + 2 * width, order.size());
            size_t i = lo, j = mid, out = lo;
            while (i < mid && j < hi) scratch[out++] = Below(ring[order[i]], ring[order[j]]) ? order[j++] : order[i++];
            while (i < mid) scratch[out++] = order[i++];
            while (j < hi) scratch[out++] = order[j++];
        }
        order.swap(scratch);
    }
}

using Diagonals = std::vector<std::pair<int32_t, int32_t>>;

// The sweep of MakeMonotone. Edge k runs from vertex k to vertex k + 1.
class Sweep {
public:
    Sweep(const std::vector<Vertex>& ring, Diagonals& diagonals)
        : ring_(ring), m_((int32_t)ring.size()), helper_(ring.size(), -1), diagonals_(diagonals) {}

    void Run() {
        std::vector<int32_t> events(m_);
        for (int32_t k = 0; k < m_; ++k) events[k] = k;
        SortTopDown(ring_, events);
        for (int32_t v : events) Visit(v);
    }

private:
    int32_t Next(int32_t k) const { return k + 1 < m_ ? k + 1 : 0; }
    int32_t Previous(int32_t k) const { return k > 0 ? k - 1 : m_ - 1; }
    bool Listed(int32_t e) const { return std::find(status_.begin(), status_.end(), e) != status_.end(); }
    void Add(int32_t e, int32_t v) {
        if (!Listed(e)) status_.push_back(e);
        helper_[e] = v;
    }
    void Remove(int32_t e) {
        const auto at = std::find(status_.begin(), status_.end(), e);
        if (at != status_.end()) status_.erase(at);
    }
    bool MergeHelper(int32_t e) const { return helper_[e] >= 0 && ring_[helper_[e]].Type == VertexType::Merge; }
    // A diagonal to the helper of e when that helper is a merge vertex.
    bool ToMergeHelper(int32_t v, int32_t e) {
        if (!MergeHelper(e)) return false;
        diagonals_.push_back({v, helper_[e]});
        return true;
    }

    void Visit(int32_t v) {
        const int32_t e = v, previous = Previous(v);
        switch (ring_[v].Type) {
        case VertexType::Start:
            Add(e, v);
            break;
        case VertexType::End:
            Add(e, v);
            ToMergeHelper(v, previous);
            Remove(previous);
            break;
        case VertexType::Split:
            if (const int32_t left = LeftEdge(v); left >= 0) {
                if (helper_[left] >= 0) diagonals_.push_back({v, helper_[left]});
                helper_[left] = v;
            }
            Add(e, v);
            break;
        case VertexType::Merge:
            ToMergeHelper(v, previous);
            Remove(previous);
            if (const int32_t left = LeftEdge(v); left >= 0) {
                ToMergeHelper(v, left);
                helper_[left] = v;
            }
            break;
        case VertexType::Regular:
            if (Below(ring_[Next(v)], ring_[v])) {  // the inside lies to the right
                if (ToMergeHelper(v, previous)) Remove(previous);
                Add(e, v);
            } else if (const int32_t left = LeftEdge(v); left >= 0) {
                ToMergeHelper(v, left);
                helper_[left] = v;
            }
            break;
        }
    }

    // The nearest listed edge left of vertex v on its level, if it runs downwards.
    int32_t LeftEdge(int32_t v) const {
        const Vertex &p = ring_[v], &w = ring_[Next(v)], &u = ring_[Previous(v)];
        if (w.Type == VertexType::Start && std::fabs(p.Y - w.Y) < EPS && w.X < p.X)
            return Listed(Next(v)) ? Next(v) : -1;
        int32_t answer = -1, best = -1;
        double bestD = 0.0;
        for (int32_t s : status_) {
            const Vertex &from = ring_[s], &to = ring_[Next(s)];
            const bool rising = from.Y < to.Y;
            const Vertex &lo = rising ? from : to, &hi = rising ? to : from;
            if (p.Y > hi.Y || p.Y < lo.Y || (lo.X > p.X && hi.X > p.X)) continue;
            const double den = hi.Y - lo.Y;
            if (std::fabs(den) <= EPS) continue;
            const double ix = lo.X + (p.Y - lo.Y) * (hi.X - lo.X) / den;
            auto near2 = [&](const Vertex& q) { return (ix - q.X) * (ix - q.X) + (p.Y - q.Y) * (p.Y - q.Y) < EPS2; };
            if (near2(w) || near2(u) || ix - p.X >= EPS) continue;
            const double d = ix - p.X;
            if (answer < 0) {
                answer = best = s, bestD = d;
                continue;
            }
            const Vertex &bestFrom = ring_[best], &bestTo = ring_[Next(best)];
            const bool reverse = std::fabs(from.X - bestTo.X) < EPS && std::fabs(from.Y - bestTo.Y) < EPS &&
                                 std::fabs(to.X - bestFrom.X) < EPS && std::fabs(to.Y - bestFrom.Y) < EPS;
            if (std::fabs(d - bestD) < EPS && near2(hi)) {
                answer = best = s, bestD = d;
            } else if (d > bestD + EPS) {
                answer = best = s, bestD = d;
            } else if (reverse) {
                best = s;
            }
        }
        if (answer < 0 || !Below(ring_[Next(answer)], ring_[answer])) return -1;
        return answer;
    }

    const std::vector<Vertex>& ring_;
    const int32_t m_;
    std::vector<int32_t> helper_;  // per edge, -1 before the edge is listed
    std::vector<int32_t> status_;  // the edges the sweep line crosses, in insertion order
    Diagonals& diagonals_;
};

// The y-monotone split of the whole ring: the diagonals that cut it into y-monotone faces.
void MakeMonotone(const std::vector<Vertex>& ring, Diagonals& diagonals) { Sweep(ring, diagonals).Run(); }

// Faces are rings of vertex numbers in the ring's (counter-clockwise) direction, each beginning at
// the start of its first edge.
using Faces = std::vector<std::vector<int32_t>>;

// Cuts along every diagonal the first face that holds both ends and is not yet a triangle. A
// diagonal with no such face, or along a side of it, changes nothing.
void MakeFaceLinks(Faces& faces, Diagonals& diagonals) {
    for (const auto& [a, b] : diagonals) {
        if (a == b) continue;
        for (size_t f = 0; f < faces.size(); ++f) {
            std::vector<int32_t>& face = faces[f];
            if (face.size() == 3) continue;
            const auto ia = std::find(face.begin(), face.end(), a), ib = std::find(face.begin(), face.end(), b);
            if (ia == face.end() || ib == face.end()) continue;
            const size_t n = face.size(), pa = (size_t)(ia - face.begin()), pb = (size_t)(ib - face.begin());
            if ((pa + 1) % n == pb || (pb + 1) % n == pa) break;
            // The ring from `from` forwards to `to`, started at the vertex before `to`.
            auto part = [&](size_t from, size_t to) {
                std::vector<int32_t> chain;
                for (size_t k = from;; k = (k + 1) % n) {
                    chain.push_back(face[k]);
                    if (k == to) break;
                }
                std::rotate(chain.begin(), chain.end() - 2, chain.end());
                return chain;
            };
            std::vector<int32_t> kept = part(pb, pa), split = part(pa, pb);
            face = std::move(kept);
            faces.push_back(std::move(split));
            break;
        }
    }
    diagonals.clear();
}

// The stack triangulation of a y-monotone face; the diagonals are added to the list.
void TriangulateMonotonePolygon(const std::vector<Vertex>& ring, const std::vector<int32_t>& face,
                                Diagonals& diagonals) {
    const size_t n = face.size();
    if (n <= 3) return;
    struct Event {
        int32_t Vertex;
        bool Falling;  // its edge leaves it downwards
    };
    std::vector<int32_t> order(n);
    for (size_t k = 0; k < n; ++k) order[k] = (int32_t)k;
    // Sorted by the vertices, through a ring of this face's vertices in face order.
    std::vector<Vertex> local;
    local.reserve(n);
    for (int32_t v : face) local.push_back(ring[v]);
    SortTopDown(local, order);
    std::vector<Event> events;
    events.reserve(n);
    for (int32_t k : order) events.push_back({face[k], Below(ring[face[(k + 1) % n]], ring[face[k]])});
    std::vector<Event> stack{events[0], events[1]};
    stack.reserve(n);
    for (size_t j = 2; j + 1 < n; ++j) {
        const Event& uj = events[j];
        if (uj.Falling != stack.back().Falling) {
            for (size_t i = stack.size(); i-- > 1;) diagonals.push_back({uj.Vertex, stack[i].Vertex});
            stack.clear();
            stack.push_back(events[j - 1]);
            stack.push_back(uj);
            continue;
        }
        Event last = stack.back();
        stack.pop_back();
        while (!stack.empty()) {
            const Vertex &t = ring[stack.back().Vertex], &p = ring[uj.Vertex], &q = ring[last.Vertex];
            const double value = uj.Falling ? (p.Y - t.Y) * (q.X - t.X) - (p.X - t.X) * (q.Y - t.Y)
                                            : (t.Y - p.Y) * (q.X - p.X) - (t.X - p.X) * (q.Y - p.Y);
            // In line is not cut either: the diagonal would run through q, leaving a triangle of
            // no area that the output drops, and with it q's corner where no other triangle has
            // it (its normal, colour and map values lost) and a corner on a side elsewhere.
            if (value <= EPS2) break;
            last = stack.back();
            stack.pop_back();
            diagonals.push_back({uj.Vertex, last.Vertex});
        }
        stack.push_back(last);
        stack.push_back(uj);
    }
    if (stack.empty()) return;
    stack.pop_back();
    for (size_t i = stack.size(); i-- > 1;) diagonals.push_back({events[n - 1].Vertex, stack[i].Vertex});
}

// Splits the (counter-clockwise) ring into y-monotone faces and those into triangles. Empty when
// some face is left that is not a triangle, which only a degenerate ring leads to.
std::vector<Triangle> SweepTriangles(const std::vector<Vertex>& ring) {
    Faces faces;
    faces.emplace_back(ring.size());
    for (size_t k = 0; k < ring.size(); ++k) faces[0][k] = (int32_t)k;
    Diagonals diagonals;
    MakeMonotone(ring, diagonals);
    MakeFaceLinks(faces, diagonals);
    for (size_t f = 0, count = faces.size(); f < count; ++f) TriangulateMonotonePolygon(ring, faces[f], diagonals);
    MakeFaceLinks(faces, diagonals);
    std::vector<Triangle> triangles;
    for (const std::vector<int32_t>& face : faces) {
        if (face.size() != 3) return {};
        triangles.push_back({{ring[face[0]].Corner, ring[face[1]].Corner, ring[face[2]].Corner}});
    }
    return triangles;
}

// A triangle of the sweep with a side shorter than the tolerance, or whose unit sides are nearly
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
        if (!LwVmadOfType(map, type)) continue;
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

// Projects the polygon into the plane of its normal as a counter-clockwise ring; convex is set for
// a polygon cut as a fan (no reflex corner, or self-crossing).
std::vector<Vertex> MakePolygonList(LwObject* o, int32_t index, bool* reversed, bool* convex) {
    const LwLayer* layer = o->CurrentLayer;
    const LwPolygon* polygon = o->Op.GetPolygon(o, index);
    double normal[3];
    o->Op.GetPolygonNormal(o, index, normal);
    if (normal[0] == 0.0 && normal[1] == 0.0 && normal[2] == 0.0) NewellNormal(layer, polygon, normal);
    std::vector<Vertex> ring = Project(layer, polygon, normal);
    // A reflex first corner turns its normal away from the polygon's side, and the ring runs
    // clockwise: it is walked the other way round and its triangles turned back.
    double orientation = 0.0;
    for (size_t k = 1; k + 1 < ring.size(); ++k) orientation += Cross(ring[0], ring[k], ring[k + 1]);
    *reversed = orientation < 0.0;
    if (*reversed) std::reverse(ring.begin() + 1, ring.end());
    *convex = SelfCrossing(ring) || Classify(ring);
    return ring;
}

// Writes the triangles back: the last takes the source polygon's place, the others are appended
// with its surface, tags, flags and per-corner data; with dropDegenerate, a triangle of no area is
// left out.
int32_t WriteTriangles(LwObject* o, int32_t index, const std::vector<Triangle>& triangles, bool dropDegenerate) {
    LwLayer* layer = o->CurrentLayer;
    const LwPolygon* polygon = o->Op.GetPolygon(o, index);
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
        if (dropDegenerate && Degenerate(layer, s, triangles[i])) continue;
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

int32_t OutputTriangles(LwObject* o, int32_t index, const std::vector<Triangle>& triangles) {
    return WriteTriangles(o, index, triangles, true);
}

// The fan from corner 0, in the polygon's own corner order; no triangle of it is dropped.
int32_t OutputConvex(LwObject* o, int32_t index) {
    std::vector<Triangle> fan;
    try {
        for (int32_t k = 1; k + 1 < o->Op.GetPolygon(o, index)->VertexCount(); ++k) fan.push_back({{0, k, k + 1}});
    } catch (const std::bad_alloc&) {
        return LW_ERR_MEMORY;
    }
    return WriteTriangles(o, index, fan, false);
}

int32_t TriangulatePolygon(LwObject* o, int32_t index, int32_t option) {
    LwLayer* layer = o->CurrentLayer;
    LwPolygon* polygon = o->Op.GetPolygon(o, index);
    RemoveCoincidentCorners(layer, polygon);
    // Cleaned down to a triangle there is nothing to cut; a quadrilateral left by the clean-up is
    // cut even when quadrilaterals are kept.
    if (polygon->VertexCount() < 4) return LW_ERR_NONE;
    std::vector<Triangle> triangles;
    bool convex = false;
    try {
        bool reversed = false;
        std::vector<Vertex> ring = MakePolygonList(o, index, &reversed, &convex);
        if (convex && (option & LW_TRIANGULATE_KEEP_CONVEX)) return LW_ERR_NONE;
        if (!convex) triangles = SweepTriangles(ring);
        if (reversed)
            for (Triangle& t : triangles) std::swap(t.Corner[1], t.Corner[2]);
    } catch (const std::bad_alloc&) {
        return LW_ERR_MEMORY;
    }
    // A ring the sweep could not cut into triangles alone (rounding on a degenerate outline)
    // becomes a fan rather than stay a polygon among its own triangles.
    if (triangles.empty()) return OutputConvex(o, index);
    return OutputTriangles(o, index, triangles);
}

int32_t TriangulatePolygonAt(LwObject* object, int32_t index, int32_t option) {
    if (!object || !object->Op.GetPolygon(object, index)) return LW_ERR_PARAM;
    if (object->Op.GetPolygon(object, index)->VertexCount() <= CornerLimit(option)) return LW_ERR_NONE;
    return TriangulatePolygon(object, index, option);
}

// Triangles appended on the way are not visited again.
int32_t TriangulateLayer(LwObject* object, int32_t option) {
    if (!object) return LW_ERR_PARAM;
    const int32_t count = object->Op.GetNumPolygons(object);
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
