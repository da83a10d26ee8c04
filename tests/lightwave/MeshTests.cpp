// The mesh builder on small known shapes: strips, fans, lines and point groups, with their keys.
#include "lightwave/object/LwChunks.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <set>
#include <string>

namespace {

using namespace lwobj;

std::vector<int32_t> NodePoints(const LwMesh& mesh) {
    std::vector<int32_t> points;
    for (const LwMeshNode& n : mesh.Nodes) points.push_back(n.Point);
    return points;
}

// Two triangles sharing the side 1-2 (the first triangle's second and last points).
void TwoTriangles(LwObject* o, const char* second) {
    o->Op.AddSurface(o, "a");
    o->Op.AddSurface(o, "b");
    AddLayerWithPoints(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    AddPolygon(o, {0, 1, 2}, "a");
    AddPolygon(o, {1, 3, 2}, second);
}

// A grid of n x n unit quads in the xy plane, wound counter-clockwise.
void Grid(LwObject* o, int n) {
    std::vector<std::vector<double>> points;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) points.push_back({(double)x, (double)y, 0});
    AddLayerWithPoints(o, points);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int32_t a = y * (n + 1) + x;
            AddPolygon(o, {a, a + 1, a + n + 2, a + n + 1});
        }
}

double Cross(LwObject* o, int32_t a, int32_t b, int32_t c) {
    const double* p = o->Op.GetPoint(o, a)->Xyz;
    const double* q = o->Op.GetPoint(o, b)->Xyz;
    const double* r = o->Op.GetPoint(o, c)->Xyz;
    return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
}

// Every polygon lies in exactly one mesh, and every triangle the meshes draw faces up.
void ExpectCover(LwObject* o, int quads) {
    std::set<int32_t> seen;
    int triangles = 0;
    for (int32_t m = 0; m < o->Op.GetNumMeshes(o); ++m) {
        const LwMesh& mesh = *o->Op.GetMesh(o, m);
        std::set<int32_t> own;
        for (const LwMeshNode& n : mesh.Nodes) own.insert(n.Polygon);
        for (int32_t p : own) EXPECT_TRUE(seen.insert(p).second) << "polygon " << p << " twice";
        const std::vector<int32_t> v = NodePoints(mesh);
        for (size_t i = 2; i < v.size(); ++i) {
            const int32_t a = mesh.Kind == LW_MESH_FAN ? v[0] : v[i - 2];
            const bool flip = mesh.Kind == LW_MESH_STRIP && i % 2 == 1;
            const double area = flip ? Cross(o, a, v[i], v[i - 1]) : Cross(o, a, v[i - 1], v[i]);
            if (area == 0.0) continue;  // a repeated node
            EXPECT_GT(area, 0.0) << "mesh " << m << " node " << i;
            ++triangles;
        }
    }
    EXPECT_EQ((int)seen.size(), quads);
    EXPECT_EQ(triangles, 2 * quads);
}

TEST(Meshes, StripsAndFansOfAGrid) {
    struct Row {
        const char* name;
        LwMeshOptions options;
        LwMeshKind kind;
    } const rows[] = {
        {"strips", {0, LW_MESH_TRY_STARTS, 0, 0}, LW_MESH_STRIP},
        {"strips from the first corner", {0, 0, 0, 0}, LW_MESH_STRIP},
        {"strips of at most four triangles", {0, LW_MESH_TRY_STARTS, 4, 0}, LW_MESH_STRIP},
        {"fans first", {LW_MESH_FANS_FIRST, LW_MESH_TRY_STARTS, 0, 0}, LW_MESH_FAN},
        {"fans of four polygons", {LW_MESH_FANS_FIRST, LW_MESH_TRY_STARTS, 0, 4}, LW_MESH_FAN},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ObjectPtr o = NewObject();
        Grid(o.get(), 3);
        ASSERT_EQ(o->Op.BuildMeshes(o.get(), &row.options), LW_ERR_NONE);
        ExpectCover(o.get(), 9);
        EXPECT_EQ(o->Op.GetMesh(o.get(), 0)->Kind, row.kind);
        for (int32_t m = 0; m < o->Op.GetNumMeshes(o.get()); ++m) {
            const LwMesh& mesh = *o->Op.GetMesh(o.get(), m);
            if (row.options.MaxLength) {
                EXPECT_LE(mesh.NodeCount() - 2, row.options.MaxLength);
            }
            if (mesh.Kind == LW_MESH_FAN) {
                EXPECT_GE(mesh.NodeCount() - 2, row.options.MinFan);
            }
        }
    }
    // Across a row of quads the strip runs the whole way.
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(),
                       {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {3, 1, 0}});
    for (int32_t x = 0; x < 3; ++x) AddPolygon(o.get(), {x, x + 1, x + 5, x + 4});
    ASSERT_EQ(o->Op.BuildMeshes(o.get(), nullptr), LW_ERR_NONE);
    ASSERT_EQ(o->Op.GetNumMeshes(o.get()), 1);
    EXPECT_EQ(o->Op.GetMesh(o.get(), 0)->NodeCount(), 8);
    ExpectCover(o.get(), 3);
}

// Triangles on one surface join into one strip; on two surfaces, or with colours that differ along
// the shared side, they stay apart unless vertices may repeat. (The strip from the first triangle's
// second corner grows back across the shared side to five nodes, one of them padding: it has no
// more nodes that draw, and the four-node strip is kept.)
TEST(Meshes, StripsAcrossTheSharedSide) {
    const struct {
        const char* name;
        const char* second;
        bool colored;
        uint32_t flags;
        std::vector<std::vector<int32_t>> strips;
    } rows[] = {
        {"one surface", "a", false, 0, {{0, 1, 2, 3}}},
        {"two surfaces", "b", false, 0, {{0, 1, 2}, {1, 3, 2}}},
        {"colours differ", "a", true, 0, {{0, 1, 2}, {1, 3, 2}}},
        {"colours differ, vertices repeated", "a", true, LW_MESH_REPEAT_VERTICES, {{0, 1, 2, 1, 2, 3}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ObjectPtr o = NewObject();
        TwoTriangles(o.get(), row.second);
        if (row.colored) {
            const int32_t red = o->Op.AddColor(o.get(), 1, 0, 0, 1), blue = o->Op.AddColor(o.get(), 0, 0, 1, 1);
            std::vector<int32_t> first = {red, red, red}, second = {blue, blue, blue};
            o->Op.SetPolygonColorIndices(o.get(), 0, 3, first.data());
            o->Op.SetPolygonColorIndices(o.get(), 1, 3, second.data());
        }
        const LwMeshOptions options = {row.flags, LW_MESH_TRY_STARTS, 0, 0};
        ASSERT_EQ(o->Op.BuildMeshes(o.get(), &options), LW_ERR_NONE);
        ASSERT_EQ(o->Op.GetNumMeshes(o.get()), (int32_t)row.strips.size());
        for (size_t m = 0; m < row.strips.size(); ++m)
            EXPECT_EQ(NodePoints(*o->Op.GetMesh(o.get(), (int32_t)m)), row.strips[m]);
        EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->Used, 0);  // reset after the build
        EXPECT_EQ(o->Op.GetMeshNode(o.get(), 0, 2)->Vertex, 2);
        EXPECT_EQ(o->Op.GetMeshNode(o.get(), 0, (int32_t)row.strips[0].size()), nullptr);
        EXPECT_EQ(o->Op.GetMeshNode(o.get(), (int32_t)row.strips.size(), 0), nullptr);
    }
}

TEST(Meshes, LinesPointGroupsAndKeys) {
    LoggedObject logged;
    LwObject* o = logged.get();
    for (int i = 0; i < 4; ++i) o->Op.AddSurface(o, std::to_string(i).c_str());
    AddLayerWithPoints(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {5, 5, 5}, {6, 6, 6}, {7, 7, 7}});
    AddPolygon(o, {0, 1}, "3");
    AddPolygon(o, {1, 2}, "3");
    AddPolygon(o, {2, 0}, "3");
    for (int32_t p = 3; p < 6; ++p) AddPolygon(o, {p}, "2");
    const LwMeshOptions options = {LW_MESH_SORT, LW_MESH_TRY_STARTS, 2, 0};
    ASSERT_EQ(o->Op.BuildMeshes(o, &options), LW_ERR_NONE);
    ASSERT_EQ(o->Op.GetNumMeshes(o), 5);
    // Sorted: the point groups of surface 2 come before the lines of surface 3, each of two points.
    std::vector<std::vector<int32_t>> points;
    for (int32_t m = 0; m < 5; ++m) points.push_back(NodePoints(*o->Op.GetMesh(o, m)));
    EXPECT_EQ(points, (std::vector<std::vector<int32_t>>{{3, 4}, {5}, {0, 1}, {1, 2}, {2, 0}}));
    EXPECT_EQ(o->Op.GetMesh(o, 0)->Key, 0x00000203u);
    EXPECT_EQ(o->Op.GetMesh(o, 2)->Key, 0x00000302u);

    const LwMeshOptions free = {0, LW_MESH_TRY_STARTS, 0, 0};
    ASSERT_EQ(o->Op.BuildMeshes(o, &free), LW_ERR_NONE);
    EXPECT_EQ(NodePoints(*o->Op.GetMesh(o, 0)), (std::vector<int32_t>{0, 1, 2, 0}));
    EXPECT_NE(logged.log.Text().find("RESULT 6/0/9\n"), std::string::npos);

    ObjectPtr one = NewObject();
    for (int i = 0; i < 4; ++i) one->Op.AddSurface(one.get(), std::to_string(i).c_str());
    AddLayerWithPoints(one.get(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    AddPolygon(one.get(), {0, 1, 2}, "3");
    ASSERT_EQ(one->Op.BuildMeshes(one.get(), nullptr), LW_ERR_NONE);
    EXPECT_EQ(one->Op.GetMesh(one.get(), 0)->Key, 0x00000300u);
    EXPECT_EQ(one->Op.FreeMeshes(one.get()), LW_ERR_NONE);
    EXPECT_EQ(one->Op.GetNumMeshes(one.get()), 0);
}

}  // namespace
