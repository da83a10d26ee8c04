// The edge table of a layer and the walks around a polygon over it.
#include "lightwave/object/ObjectInternal.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace lwobj;

namespace {

std::vector<LwEdge> Edges(LwObject* o) {
    std::vector<LwEdge> all;
    for (int32_t i = 0; i < o->Op.GetNumEdges(o); ++i) all.push_back(*o->Op.GetEdge(o, i));
    return all;
}

TEST(EdgeTable, TwoTrianglesShareOneEdge) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    AddPolygon(o.get(), {0, 1, 2});
    AddPolygon(o.get(), {0, 2, 3});
    ASSERT_EQ(o->Op.BuildEdges(o.get()), LW_ERR_NONE);
    std::vector<LwEdge> e = Edges(o.get());
    ASSERT_EQ(e.size(), 5u);
    // 0: 0-1, 1: 1-2, 2: 2-0 (shared), 3: 2-3, 4: 3-0.
    const int32_t expected[5][6] = {
        {0, 1, 0, -1, 1, -1}, {1, 2, 0, -1, 2, -1}, {2, 0, 0, 1, 0, 3}, {2, 3, 1, -1, 4, -1}, {3, 0, 1, -1, 2, -1},
    };
    for (int i = 0; i < 5; ++i) {
        const LwEdge& x = e[i];
        EXPECT_EQ(std::vector<int32_t>({x.P0, x.P1, x.PolR, x.PolL, x.EdgeR, x.EdgeL}),
                  std::vector<int32_t>(expected[i], expected[i] + 6))
            << i;
    }
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->Edge, 2);  // the edge of its last corner
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 1)->Edge, 4);
    EXPECT_EQ(o->Op.GetPoint(o.get(), 2)->Edge, 3);  // the last edge starting there
    // Building again gives the same table.
    o->Op.BuildEdges(o.get());
    EXPECT_EQ(Edges(o.get()).size(), 5u);
}

// A point where thousands of edges meet still finds each shared edge once.
TEST(EdgeTable, ManyNeighboursAtOnePoint) {
    ObjectPtr o = NewObject();
    const int fan = 1500;
    std::vector<std::vector<double>> points = {{0, 0, 0}};
    for (int i = 0; i <= fan; ++i) points.push_back({std::cos(i * 0.001), std::sin(i * 0.001), 0});
    AddLayerWithPoints(o.get(), points);
    for (int i = 1; i <= fan; ++i) AddPolygon(o.get(), {0, i, i + 1});
    ASSERT_EQ(o->Op.BuildEdges(o.get()), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumEdges(o.get()), 2 * fan + 1);
}

// Walks that find nothing end at once with -1 (and a line in the trace).
TEST(EdgeTable, WalksThatFindNothingEnd) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    AddPolygon(o.get(), {0, 1, 2});
    o->Op.BuildEdges(o.get());
    EXPECT_EQ((std::vector<int32_t>{LwFetchEdge(o.get(), 0, 0, 5, 0), LwFetchEdge(o.get(), 9, 0, 1, 0),
                                    LwFetchEdge(o.get(), 0, 0, 1, 7), LwFetchStartEdge(o.get(), 0, 0, 4)}),
              (std::vector<int32_t>(4, -1)));
}

}  // namespace
