// The whole-object operations: triangulation of concave, non-planar, slit and self-crossing
// polygons (area and winding kept, per-corner data carried), the polygon and surface sorts, moves,
// clones, load with its passes and the text dump.
#include "lightwave/object/LwChunks.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

using namespace lwobj;

using Vec = std::array<double, 3>;

Vec VectorArea(LwObject* o, const std::vector<int32_t>& corners) {
    Vec a{0, 0, 0};
    for (size_t k = 0; k < corners.size(); ++k) {
        const double* p = o->Op.GetPoint(o, corners[k])->Xyz;
        const double* q = o->Op.GetPoint(o, corners[(k + 1) % corners.size()])->Xyz;
        a[0] += 0.5 * (p[1] * q[2] - p[2] * q[1]);
        a[1] += 0.5 * (p[2] * q[0] - p[0] * q[2]);
        a[2] += 0.5 * (p[0] * q[1] - p[1] * q[0]);
    }
    return a;
}

double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Rings as flat (x, y, z) lists.
struct Shape {
    const char* name;
    std::vector<double> xyz;
    int32_t option;
    int32_t polygons;  // after triangulation
    bool planar;
};

TEST(Triangulate, AreaAndWindingKept) {
    const std::vector<double> pentagon = {0, 0, 0, 2, 0, 0, 3, 1, 0, 1, 2, 0, -1, 1, 0};
    const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const Shape shapes[] = {
        {"triangle", {0, 0, 0, 1, 0, 0, 0, 1, 0}, 0, 1, true},
        {"quad kept", square, LW_TRIANGULATE_KEEP_QUADS, 1, true},
        {"quad", square, 0, 2, true},
        {"convex pentagon", pentagon, 0, 3, true},
        {"convex pentagon kept", pentagon, LW_TRIANGULATE_KEEP_CONVEX, 1, true},
        {"L-shaped hexagon", {0, 0, 0, 2, 0, 0, 2, 1, 0, 1, 1, 0, 1, 2, 0, 0, 2, 0}, 0, 4, true},
        {"reflex first corner", {1, 1, 0, 1, 2, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 2, 1, 0}, 0, 4, true},
        // Corner 0 in line with its neighbours gives no normal: the area-weighted one is taken
        // (the plane's normal is not the third axis, and a fan from corner 0 would turn over).
        {"first corner in line, upright",
         {1.5, 0, 0, 3, 0, 0, 3, 0, 3, 2, 0, 3, 2, 0, 1, 1, 0, 1, 1, 0, 3, 0, 0, 3, 0, 0, 0},
         0,
         7,
         true},
        // Corners 2, 3 and 4 in line on the stack: no triangle is cut along them, so corner 3 stays in
        // the mesh (a flat triangle there would be dropped, and the corner with it).
        {"corners in line on one chain",
         {0, 0, 0, 2, 0, 0, 2, 1, 0, 1.5, 1, 0, 1, 1, 0, 1, 2, 0, 0, 2, 0, 0, 1, 0},
         0,
         6,
         true},
        {"comb",
         {0, 0, 0, 5, 0, 0, 5, 3, 0, 4, 3, 0, 4, 1, 0, 3, 1, 0, 3, 3, 0, 2, 3, 0, 2, 1, 0, 1, 1, 0, 1, 3, 0, 0, 3, 0},
         0,
         10,
         true},
        {"clockwise seen from +z", {0, 0, 0, 0, 2, 0, 1, 2, 0, 1, 1, 0, 2, 1, 0, 2, 0, 0}, 0, 4, true},
        {"non-planar quad", {0, 0, 0, 1, 0, 0, 1, 1, 0.5, 0, 1, 0}, 0, 2, false},
        {"non-planar concave", {0, 0, 0, 2, 0, 0.2, 2, 1, 0, 1, 1, 0.3, 1, 2, 0, 0, 2, -0.2}, 0, 4, false},
        {"tilted concave", {0, 0, 0, 2, 0, 2, 2, 1, 2, 1, 1, 1, 1, 2, 1, 0, 2, 0}, 0, 4, false},
        // Split and merge corners: the monotone split's diagonals, then the stack's.
        {"split and merge", {0, 0, 0, 2, 1, 0, 4, 0, 0, 4, 4, 0, 2, 3, 0, 0, 4, 0}, 0, 4, true},
        {"merge to a regular corner", {0, 0, 0, 4, 0, 0, 4, 4, 0, 2, 3, 0, 0, 4, 0}, 0, 3, true},
        // Corners 2, 3 and 0 in line: a diagonal 0-2 through corner 3 would leave a flat triangle.
        {"merge in line", {0, 0, 0, 4, 0, 0, 4, 4, 0, 2, 2, 0, 0, 4, 0}, 0, 3, true},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        ObjectPtr o = NewObject();
        o->Op.AddLayer(o.get(), nullptr);
        std::vector<int32_t> corners;
        for (size_t i = 0; i < s.xyz.size(); i += 3) corners.push_back(o->Op.AddPoint(o.get(), &s.xyz[i]));
        AddPolygon(o.get(), corners, "S");
        const Vec before = VectorArea(o.get(), corners);
        ASSERT_EQ(o->Op.TriangulateLayer(o.get(), s.option), LW_ERR_NONE);
        ASSERT_EQ(o->Op.GetNumPolygons(o.get()), s.polygons);
        Vec sum{0, 0, 0};
        for (int32_t i = 0; i < s.polygons; ++i) {
            const LwPolygon* p = o->Op.GetPolygon(o.get(), i);
            const Vec a = VectorArea(o.get(), p->Points);
            EXPECT_GT(Dot(a, before), 0.0) << "triangle " << i << " turned over";
            for (int c = 0; c < 3; ++c) sum[c] += a[c];
            EXPECT_STREQ(p->SurfaceName, "S");
        }
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(sum[c], before[c], 1e-12);
        // With every triangle facing the same way and the areas adding up, none lies outside.
        double absolute = 0;
        for (int32_t i = 0; i < s.polygons; ++i)
            absolute += std::sqrt(Dot(VectorArea(o.get(), o->Op.GetPolygon(o.get(), i)->Points),
                                      VectorArea(o.get(), o->Op.GetPolygon(o.get(), i)->Points)));
        if (s.planar) {
            EXPECT_NEAR(absolute, std::sqrt(Dot(before, before)), 1e-12);
        }
    }
}

// Star-shaped rings with many split and merge corners: the triangles all face the ring's way and add
// up to its area, short of the slivers the degenerate test drops.
TEST(Triangulate, RandomStarsCutWhole) {
    uint32_t seed = 12345;
    auto next = [&]() { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0; };
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const int32_t n = 5 + round % 40;
        std::vector<std::vector<double>> points;
        for (int32_t k = 0; k < n; ++k) {
            const double angle = 2 * M_PI * (k + 0.8 * next()) / n, radius = 0.2 + next();
            points.push_back({radius * std::cos(angle), radius * std::sin(angle), 0});
        }
        ObjectPtr o = NewObject();
        AddLayerWithPoints(o.get(), points);
        std::vector<int32_t> corners;
        for (int32_t i = 0; i < n; ++i) corners.push_back(i);
        AddPolygon(o.get(), corners);
        const double area = VectorArea(o.get(), corners)[2];
        ASSERT_EQ(o->Op.TriangulatePolygonAt(o.get(), 0, 0), LW_ERR_NONE);
        const int32_t count = o->Op.GetNumPolygons(o.get());
        ASSERT_LE(count, n - 2);
        double sum = 0;
        for (int32_t i = 0; i < count; ++i) {
            const double a = VectorArea(o.get(), o->Op.GetPolygon(o.get(), i)->Points)[2];
            EXPECT_GT(a, 0.0) << "triangle " << i;
            sum += a;
        }
        EXPECT_LE(sum, area + 1e-12);
        EXPECT_GE(sum, area * (1 - 1e-3));
    }
}

// Outlines through every point of a grid, full of corners in line and on one level, in each of four
// turns: the triangles cover the outline exactly, face its way and keep every corner. Outlines of no
// area end too.
TEST(Triangulate, DegenerateOutlinesEndCleanly) {
    uint32_t seed = 99;
    auto next = [&]() { return (seed = seed * 1664525u + 1013904223u) >> 16; };
    for (int round = 0; round < 120; ++round) {
        SCOPED_TRACE(round);
        // A histogram of columns 1 wide, walked through every grid point of its outline.
        const int columns = 2 + round % 5;
        std::vector<int> height(columns);
        for (int& h : height) h = 1 + (int)(next() % 4);
        std::vector<std::array<double, 2>> ring;
        for (int x = 0; x < columns; ++x) ring.push_back({(double)x, 0});
        for (int y = 0; y < height[columns - 1]; ++y) ring.push_back({(double)columns, (double)y});
        for (int x = columns; x > 0; --x) {
            const int from = height[x - 1], to = x > 1 ? height[x - 2] : 0;
            ring.push_back({(double)x, (double)from});
            for (int y = from; y != to; y += to > from ? 1 : -1) ring.push_back({(double)x - 1, (double)y});
        }
        ObjectPtr o = NewObject();
        o->Op.AddLayer(o.get(), nullptr);
        std::vector<int32_t> corners;
        for (const auto& p : ring) {
            const double turn = (round % 4) * M_PI / 2, c = std::cos(turn), s = std::sin(turn);
            const double xyz[3] = {c * p[0] - s * p[1], s * p[0] + c * p[1], 0};
            corners.push_back(o->Op.AddPoint(o.get(), xyz));
        }
        AddPolygon(o.get(), corners);
        const double area = VectorArea(o.get(), corners)[2];
        int total = 0;
        for (int h : height) total += h;
        ASSERT_NEAR(area, total, 1e-9);
        ASSERT_EQ(o->Op.TriangulateLayer(o.get(), 0), LW_ERR_NONE);
        double sum = 0;
        std::vector<bool> used(corners.size());
        for (int32_t i = 0; i < o->Op.GetNumPolygons(o.get()); ++i) {
            const LwPolygon* t = o->Op.GetPolygon(o.get(), i);
            ASSERT_EQ(t->VertexCount(), 3);
            const double a = VectorArea(o.get(), t->Points)[2];
            EXPECT_GT(a, 0.0) << "triangle " << i;
            sum += a;
            for (int32_t p : t->Points) used[p] = true;
        }
        EXPECT_NEAR(sum, area, 1e-9);
        for (size_t k = 0; k < used.size(); ++k) EXPECT_TRUE(used[k]) << "corner " << k;
    }
    // No area at all: corners on one line, there and back, or on two points.
    const std::vector<std::vector<double>> flat[] = {
        {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
        {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {1, 1, 1}, {3, 3, 3}},
        {{0, 0, 0}, {1, 0, 2}, {0, 0, 0}, {1, 0, 2}, {0, 0, 0}, {1, 0, 2}},
    };
    for (const auto& points : flat) {
        ObjectPtr o = NewObject();
        AddLayerWithPoints(o.get(), points);
        std::vector<int32_t> corners;
        for (size_t k = 0; k < points.size(); ++k) corners.push_back((int32_t)k);
        AddPolygon(o.get(), corners);
        ASSERT_EQ(o->Op.TriangulateLayer(o.get(), 0), LW_ERR_NONE);
        EXPECT_LE(o->Op.GetNumPolygons(o.get()), (int32_t)points.size() - 2);
        for (int32_t i = 0; i < o->Op.GetNumPolygons(o.get()); ++i)
            EXPECT_LE(o->Op.GetPolygon(o.get(), i)->VertexCount(), 3);
    }
}

TEST(Triangulate, FanOrderSlitsCrossingsAndCleaning) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}});
    AddPolygon(p, {0, 1, 2, 3, 0});                 // the last corner repeats the first
    AddPolygon(p, {0, 1, 2, 3, 0, 4, 7, 6, 5, 4});  // a square hole joined by a slit
    AddPolygon(p, {0, 2, 1, 3});                    // a bow-tie
    // Cleaned down to four corners, it is cut although quadrilaterals are kept.
    ASSERT_EQ(p->Op.TriangulatePolygonAt(p, 0, LW_TRIANGULATE_KEEP_QUADS), LW_ERR_NONE);
    EXPECT_EQ(p->Op.GetPolygon(p, 3)->Points, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(p->Op.GetPolygon(p, 0)->Points, (std::vector<int32_t>{0, 2, 3}));

    ASSERT_EQ(p->Op.TriangulatePolygonAt(p, 1, 0), LW_ERR_NONE);
    double area = 0;
    for (int32_t i = 0; i < p->Op.GetNumPolygons(p); ++i) {
        if (i == 0 || i == 2 || i == 3) continue;
        const Vec a = VectorArea(p, p->Op.GetPolygon(p, i)->Points);
        EXPECT_GE(a[2], 0.0);
        area += a[2];
    }
    EXPECT_NEAR(area, 16.0 - 4.0, 1e-9);

    const int32_t count = p->Op.GetNumPolygons(p);
    ASSERT_EQ(p->Op.TriangulatePolygonAt(p, 2, 0), LW_ERR_NONE);
    EXPECT_EQ(p->Op.GetNumPolygons(p), count + 1);
    EXPECT_EQ(p->Op.GetPolygon(p, count)->Points, (std::vector<int32_t>{0, 2, 1}));
    EXPECT_EQ(p->Op.TriangulatePolygonAt(p, -1, 0), LW_ERR_PARAM);
    EXPECT_EQ(p->Op.TriangulatePolygonAt(p, p->Op.GetNumPolygons(p), 0), LW_ERR_PARAM);
}

TEST(Triangulate, PerCornerDataTagsAndDiscontinuousValues) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 2, 0}, {-1, 1, 0}});
    AddPolygon(p, {0, 1, 2, 3, 4}, "S");
    const int32_t normals[5] = {10, 11, 12, 13, 14}, colors[5] = {20, 21, 22, 23, 24};
    p->Op.SetPolygonNormalIndices(p, 0, 5, normals);
    p->Op.SetPolygonColorIndices(p, 0, 5, colors);
    p->Op.SelectPolygonTexChannel(p, 0, 1, 0);
    const int32_t uv[5] = {30, 31, 32, 33, 34};
    p->Op.SetPolygonTexIndices(p, 0, 5, uv);
    p->Op.SetPolygonTag(p, 0, LwMakeId('P', 'A', 'R', 'T'), "Head");
    p->Op.GetPolygon(p, 0)->Flags = 5;
    const int32_t seam = p->Op.AddVmad(p, LwMakeId('T', 'X', 'U', 'V'), "uv", 1);
    const float one = 1, four = 4;
    p->Op.SetVmadValue(p, seam, 1, 0, &one);
    p->Op.SetVmadValue(p, seam, 4, 0, &four);
    ASSERT_EQ(p->Op.TriangulateLayer(p, 0), LW_ERR_NONE);
    ASSERT_EQ(p->Op.GetNumPolygons(p), 3);
    const LwPolygon* second = p->Op.GetPolygon(p, 2);  // (0, 2, 3)
    EXPECT_EQ(second->NormalIndices, (std::vector<int32_t>{10, 12, 13}));
    EXPECT_EQ(second->ColorIndices, (std::vector<int32_t>{20, 22, 23}));
    EXPECT_EQ(second->TexChannels.at(0).Indices, (std::vector<int32_t>{30, 32, 33}));
    EXPECT_EQ(second->Flags, 5);
    const LwPolygon* source = p->Op.GetPolygon(p, 0);  // (0, 3, 4)
    EXPECT_EQ(source->NormalIndices, (std::vector<int32_t>{10, 13, 14}));
    for (int32_t i = 1; i < 3; ++i) {
        LwPolygonTagMap* part = p->Op.FindPolygonTagMapOf(p, nullptr, i, LwMakeId('P', 'A', 'R', 'T'));
        ASSERT_NE(part, nullptr);
        EXPECT_STREQ(p->Op.GetPolygonTag(p, part, i)->Name, "Head");
    }
    LwVmad* map = p->Op.GetNextVmad(p, nullptr, 0);
    EXPECT_EQ(p->Op.GetVmadValue(p, map, 1, 0), nullptr);  // the source lost point 1 ...
    ASSERT_NE(p->Op.GetVmadValue(p, map, 1, 1), nullptr);  // ... to the first new triangle
    EXPECT_EQ(*p->Op.GetVmadValue(p, map, 4, 0), 4.0f);    // the source kept point 4
}

TEST(ObjectOperations, PolygonSortRenumbersEverything) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
    p->Op.AddSurface(p, "A");
    p->Op.AddSurface(p, "B");
    AddPolygon(p, {0, 1, 2, 3}, "A");
    AddPolygon(p, {1, 4, 2}, "B");
    AddPolygon(p, {0, 1, 2}, "A");
    p->Op.SetPolygonTag(p, 0, LwMakeId('P', 'A', 'R', 'T'), "quad");
    const int32_t seam = p->Op.AddVmad(p, LwMakeId('T', 'X', 'U', 'V'), "uv", 1);
    const float v = 7;
    p->Op.SetVmadValue(p, seam, 4, 1, &v);
    p->Op.BuildEdges(p);
    ASSERT_EQ(p->Op.BuildMeshes(p, nullptr), LW_ERR_NONE);
    ASSERT_EQ(p->Op.SortLwObjectPolygons(p), LW_ERR_NONE);
    for (int32_t m = 0; m < p->Op.GetNumMeshes(p); ++m) {
        for (const LwMeshNode& node : p->Op.GetMesh(p, m)->Nodes) {
            if (node.Vertex < 0) continue;
            EXPECT_EQ(p->Op.GetPolygon(p, node.Polygon)->Points.at(node.Vertex), node.Point);
        }
    }
    EXPECT_EQ(p->Op.GetPolygon(p, 0)->Points, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(p->Op.GetPolygon(p, 2)->Points, (std::vector<int32_t>{0, 1, 2, 3}));
    LwPolygonTagMap* part = p->Op.GetNextPolygonTagMap(p, nullptr, LwMakeId('P', 'A', 'R', 'T'));
    EXPECT_STREQ(p->Op.GetPolygonTag(p, part, 2)->Name, "quad");
    EXPECT_EQ(p->Op.GetPolygonTag(p, part, 0), nullptr);
    EXPECT_EQ(*p->Op.GetVmadValue(p, p->Op.GetNextVmad(p, nullptr, 0), 4, 1), 7.0f);
    for (int32_t e = 0; e < p->Op.GetNumEdges(p); ++e) {
        const LwEdge* edge = p->Op.GetEdge(p, e);
        if (edge->P0 == 1 && edge->P1 == 4) {
            EXPECT_EQ(edge->PolL, -1);  // no neighbour stays none
        }
        EXPECT_LT(edge->PolR, 3);
    }
}

TEST(ObjectOperations, SurfaceSortMovesContentsByName) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    for (const char* name : {"b", "a", "\xC3\xA9", "ab"}) p->Op.AddSurface(p, name);
    const uint8_t data[] = {9};
    p->Op.SetSurfaceData(p, "b", 1, data);
    AddPolygon(p, {0, 1, 2}, "b");
    ASSERT_EQ(p->Op.SortLwObjectSurfaces(p), LW_ERR_NONE);
    const char* expected[] = {"\xC3\xA9", "a", "ab", "b"};
    int32_t i = 0;
    for (LwSurfaceEntry* s = p->Surfaces; s; s = s->Next, ++i) {
        EXPECT_STREQ(s->Name, expected[i]);
        EXPECT_EQ(s->Id, i);
    }
    EXPECT_EQ(p->Op.FindSurface(p, "b")->DataSize, 1);
    EXPECT_EQ(p->Op.GetPolygon(p, 0)->SurfaceId, 3);
}

TEST(ObjectOperations, MovesClonesAndLoadPasses) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{1, 2, 3}});
    AddLayerWithPoints(p, {{1, 1, 1}});
    p->Op.TranslateLwObject(p, 1, 0, -1);
    p->Op.ScaleLwObject(p, 2, 0, 1);
    EXPECT_EQ(p->Op.GetPoint(p, 0)->Xyz[0], 4.0);
    EXPECT_EQ(p->Op.GetPoint(p, 0)->Xyz[1], 0.0);
    p->Op.SetCurrentLayer(p, 0);
    EXPECT_EQ(p->Op.GetPoint(p, 0)->Xyz[0], 1.0);  // other layers untouched
    // A clone shares the layers and keeps its own current layer.
    LwObject* clone = p->Op.CloneLwObject(p);
    clone->Op.SetCurrentLayer(clone, 1);
    EXPECT_EQ(clone->Layers, p->Layers);
    EXPECT_NE(clone->CurrentLayer, p->CurrentLayer);
    DestroyLwObject(&clone);

    // Triangulate (quadrilaterals kept) and sort: triangles first by surface, then quadrilaterals.
    ObjectPtr built = NewObject();
    LwObject* b = built.get();
    AddLayerWithPoints(b, {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}});
    b->Op.AddSurface(b, "A");
    b->Op.AddSurface(b, "B");
    AddPolygon(b, {0, 1, 2, 3}, "B");
    AddPolygon(b, {0, 1, 2, 3, 4, 5}, "B");
    AddPolygon(b, {0, 1, 3}, "A");
    b->Op.AddLayer(b, nullptr);  // an empty layer: nothing for the passes to do there
    TempPath path;
    ASSERT_EQ(WriteLwo2File(b, path.c_str(), 0), LW_ERR_NONE);
    LwLoadOptions options{};
    options.Flags = LW_LOAD_TRIANGULATE | LW_LOAD_SORT_POLYGONS | LW_LOAD_EDGES | LW_LOAD_NORMALS;
    options.TriangulateOption = LW_TRIANGULATE_KEEP_QUADS;
    ObjectPtr loaded = NewObject();
    LwObject* l = loaded.get();
    ASSERT_EQ(l->Op.LoadLwObject(l, path.c_str(), LW_FILE_LWO2, &options), LW_ERR_NONE);
    l->Op.SetCurrentLayer(l, 0);
    ASSERT_EQ(l->Op.GetNumPolygons(l), 6);
    const int32_t counts[] = {3, 3, 3, 3, 3, 4}, surfaces[] = {0, 1, 1, 1, 1, 1};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(l->Op.GetPolygon(l, i)->VertexCount(), counts[i]);
        EXPECT_EQ(l->Op.GetPolygon(l, i)->SurfaceId, surfaces[i]);
    }
    EXPECT_GT(l->Op.GetNumEdges(l), 0);
    EXPECT_EQ(l->Op.LoadLwObject(l, path.c_str(), LW_FILE_RSD, &options), LW_ERR_UNKNOWN_TYPE);

    // The last failing pass gives the result; a pass that succeeds after it does not hide it.
    const struct {
        const char* name;
        int32_t (*normals)(LwObject*, int32_t);
        int32_t (*edges)(LwObject*);
        int32_t expected;
    } failing[] = {
        {"normals fail, edges succeed", [](LwObject*, int32_t) { return (int32_t)LW_ERR_MEMORY; },
         [](LwObject*) { return (int32_t)LW_ERR_NONE; }, LW_ERR_MEMORY},
        {"both fail", [](LwObject*, int32_t) { return (int32_t)LW_ERR_MEMORY; },
         [](LwObject*) { return (int32_t)LW_ERR_OBJECT_DATABASE; }, LW_ERR_OBJECT_DATABASE},
    };
    for (const auto& f : failing) {
        SCOPED_TRACE(f.name);
        ObjectPtr again = NewObject();
        again->Op.ComputeNormals = f.normals;
        again->Op.BuildEdges = f.edges;
        EXPECT_EQ(again->Op.LoadLwObject(again.get(), path.c_str(), LW_FILE_LWO2, &options), f.expected);
    }
}

// The dump of a small LWOB object: one layer, a triangle with corner normals, a vertex map, a surface
// with its material, its tag and one clip; the empty sections write nothing.
TEST(ObjectDump, Text) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    p->FileType = LW_FILE_LWOB;
    LwCopyText(p->FileName, "thing.lwo", sizeof(p->FileName));
    AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    p->Op.AddSurface(p, "S");
    AddPolygon(p, {0, 1, 2}, "S");
    const int32_t uv = p->Op.AddVmap(p, LwMakeId('T', 'X', 'U', 'V'), "uv", 2);
    const float value[2] = {0.25f, 0.5f};
    p->Op.SetVmapValue(p, uv, 0, value);
    p->Op.ComputeNormals(p, 0);
    const Bytes clip = Body().Sub("STIL", Body().S0("a.tga")).Written();
    p->Op.SetClipData(p, p->Op.AddClip(p, 1), (int32_t)clip.size(), clip.data());
    std::string lists;
    for (const char* type : {"CURV", "PTCH", "MBAL", "BONE"})
        lists += std::string("NEW POLS CHUNK TYPE [") + type + "]\n\nNPOLS      [0]\nNPTAG      [0]\n";
    const std::string expected =
        "\n++++++++++++++++++ LWO2 FILE DUMP ++++++++++++++++++++\n"
        "NAME       [thing.lwo]\nTYPE       [LWOB]\nNLAYR      [1]\n"
        "\n**************  L A Y E R  I N F O  ******************\n"
        "Layer      [0][]\nparent_no  [-1]\npivot      [0.000000,0.000000,0.000000]\nnumPnts    [3]\n"
        "numNorms   [1]\nnumMaps    [0]\nnumCols    [0]\nnumEdges   [0]\nnumVMaps   [1]\nnumVMads   [0]\n"
        "bbox <0.000000,0.000000,0.000000> <0.000000,0.000000,0.000000>\n\n"
        "PNTS [0] <0.000000,0.000000,0.000000> EDGE_NO <-1>\nPNTS [1] <1.000000,0.000000,0.000000> EDGE_NO <-1>\n"
        "PNTS [2] <0.000000,1.000000,0.000000> EDGE_NO <-1>\n\n"
        "NORMS [0] <0.000000,0.000000,1.000000>\n\n"
        "VMAP [0] TYPE<TXUV> NAME<uv> DIM<2> NPNT<1>\nPNTID <0> <0.250000, 0.500000>\n\n"
        "NEW POLS CHUNK TYPE [FACE]\n\nNPOLS      [1]\n"
        "[0] POLS [3] SURF<S> SURF_NO<0> EDGE_NO<-1> FLAG<0x0000> PNTS<0,1,2> NORMALS<0,0,0>\n\n"
        "NPTAG      [1]\nPTAG [0] TYPE<SURF> NPOL<1>\nPOLID <0> TAG<0>\n\n" +
        lists + "NSURF      [1]\nSURF [S] SIZE <0> INDEX <0>\n\n******   MATERIAL INFO  ******\n\n";
    const std::string dump = Dumped([p](FILE* f) { DumpLwObject(p, f); });
    EXPECT_EQ(dump.substr(0, expected.size()), expected);
    // The material's lines, one per field; then the tags and the clip close the dump.
    EXPECT_NE(dump.find("\tSURFACE NAME       [S]\n\tMATERIAL TYPE      [1]\n"), std::string::npos);
    EXPECT_NE(dump.find("\tSMOOTHING ANGLE    [1.56207]\n"), std::string::npos);
    const std::string end =
        "\tREFERENCE SURFACE  [0]\n\n\nNTAGS      [1]\nTAGS  NAME[S] FLAGS[0] TYPE[SURF]\n\n"
        "NCLIP      [1]\nCLIP INDEX[1] SIZE[12] NAME <>\n[STIL] (6) <a.tga>\n\n";
    EXPECT_EQ(dump.substr(dump.size() - end.size()), end);
}

}  // namespace
