// The object database through its operation table: layers, points, polygon groups and polygons.
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lwobj;

namespace {

const std::vector<std::vector<double>> kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

TEST(ObjectLayers, NumberedCurrentAndBounded) {
    ObjectPtr o = NewObject();
    double pivot[3] = {1, 2, 3};
    EXPECT_EQ(o->Op.SetLayerPivot(o.get(), pivot), LW_ERR_PARAM);  // no layer yet
    EXPECT_EQ(o->Op.AddPoint(o.get(), pivot), -1);
    LwLayer* first = o->Op.AddLayer(o.get(), nullptr);
    EXPECT_EQ(std::vector<int32_t>({first->Position, first->LayerNumber, first->ParentNumber}),
              std::vector<int32_t>({0, 0, -1}));
    LwLayer* second = o->Op.AddLayer(o.get(), std::string(300, 'n').c_str());
    EXPECT_EQ(strlen(second->Name), 255u);
    EXPECT_EQ(o->Op.SetCurrentLayer(o.get(), 2), LW_ERR_PARAM);
    EXPECT_EQ(o->CurrentLayer, second);
    const double pts[][3] = {{1, -2, 3}, {-4, 5, 0}, {2, 2, 2}};
    for (const auto& p : pts) o->Op.AddPoint(o.get(), p);
    double box[6];
    o->Op.ComputeLayerBounds(o.get());
    o->Op.GetLayerBounds(o.get(), box);
    EXPECT_EQ(std::vector<double>(box, box + 6), std::vector<double>({-4, -2, 0, 2, 5, 3}));
    EXPECT_EQ(o->Op.FreeLayers(o.get()), LW_ERR_NONE);
    EXPECT_EQ(o->CurrentLayer, nullptr);
}

// Parents are layer numbers: after numbers 1, 2, 5 the positions no longer match them.
TEST(ObjectLayers, ParentsResolveByLayerNumber) {
    ObjectPtr o = NewObject();
    const char* names[] = {"one", "two", "five"};
    const int numbers[] = {1, 2, 5};
    for (int i = 0; i < 3; ++i) o->Op.AddLayer(o.get(), names[i])->LayerNumber = numbers[i];
    ASSERT_EQ(o->Op.SetLayerParentByName(o.get(), "two"), LW_ERR_NONE);  // current: "five"
    EXPECT_EQ(o->CurrentLayer->ParentNumber, 2);
    char parent[256];
    o->Op.GetLayerParentName(o.get(), parent);
    EXPECT_STREQ(parent, "two");
    o->Op.SetLayerParentByName(o.get(), "nobody");
    EXPECT_EQ(o->CurrentLayer->ParentNumber, -1);
    o->CurrentLayer->ParentNumber = 0;  // no layer has number 0
    o->Op.GetLayerParentName(o.get(), parent);
    EXPECT_STREQ(parent, "");
}

TEST(ObjectPolygons, TypesSelectSeparateGroups) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), kSquare);
    o->Op.SetPolygonType(o.get(), LW_ID_CURV);
    AddPolygon(o.get(), {0, 1, 2});
    AddPolygon(o.get(), {2, 3});
    o->Op.SetPolygonType(o.get(), LwMakeId('X', 'X', 'X', 'X'));
    EXPECT_EQ(o->CurrentLayer->PolygonListType, LW_ID_FACE);
    EXPECT_EQ(o->Op.GetNumPolygons(o.get()), 0);
    o->Op.SetPolygonType(o.get(), LW_ID_CURV);
    EXPECT_EQ(o->Op.GetNumPolygonVertices(o.get()), 5);
}

TEST(ObjectPolygons, FaceNormals) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {0, 0, 0}});
    const struct {
        std::vector<int32_t> points;
        double z;
    } cases[] = {
        {{0, 1, 2}, 1.0},     // counter-clockwise seen from +z
        {{0, 2, 1}, -1.0},    // reversed
        {{0, 1}, 0.0},        // two corners
        {{0, 1, 3}, 0.0},     // collinear
        {{0, 4, 1, 2}, 0.0},  // first two corners on one spot
    };
    double n[3];
    for (const auto& c : cases) {
        int32_t i = AddPolygon(o.get(), c.points);
        ASSERT_EQ(o->Op.GetPolygonNormal(o.get(), i, n), LW_ERR_NONE);
        EXPECT_EQ(std::vector<double>(n, n + 3), std::vector<double>({0, 0, c.z})) << i;
    }
    EXPECT_EQ(o->Op.GetPolygonNormal(o.get(), 99, n), LW_ERR_PARAM);
    // A stored zero normal is computed again once the polygon has a shape.
    int32_t points[3] = {0, 1, 2};
    ASSERT_EQ(o->Op.SetPolygonPoints(o.get(), 3, 3, points), LW_ERR_NONE);
    o->Op.GetPolygonNormal(o.get(), 3, n);
    EXPECT_EQ(n[2], 1.0);
}

// Corners naming no point are refused, so the normal and later passes never read past the points.
TEST(ObjectPolygons, CornersOutsideThePointsAreRefused) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), kSquare);
    EXPECT_EQ((std::vector<int32_t>{AddPolygon(o.get(), {0, 1, 4}), AddPolygon(o.get(), {-1, 1, 2}),
                                    o->Op.AddPolygon(o.get(), -1, nullptr, nullptr),
                                    o->Op.AddPolygon(o.get(), 3, nullptr, nullptr)}),
              (std::vector<int32_t>(4, -1)));
    ASSERT_EQ(AddPolygon(o.get(), {0, 1, 2}), 0);
    int32_t bad[3] = {0, 1, 7};
    EXPECT_EQ(o->Op.SetPolygonPoints(o.get(), 0, 3, bad), LW_ERR_PARAM);
    EXPECT_EQ(o->Op.SetPolygonPoints(o.get(), 1, 3, bad), LW_ERR_PARAM);
    EXPECT_EQ(o->Op.GetNumPolygons(o.get()), 1);
    // Freeing the points takes the corners with them: no vertex count outlives them.
    o->Op.FreePoints(o.get());
    EXPECT_EQ(o->Op.GetNumPolygons(o.get()), 1);
    EXPECT_EQ(o->Op.GetNumPolygonVertices(o.get()), 0);
}

TEST(ObjectPolygons, PerVertexIndicesAndTextureChannels) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), kSquare);
    AddPolygon(o.get(), {0, 1, 2});
    const int32_t three[3] = {7, 8, 9};
    EXPECT_EQ(o->Op.SetPolygonNormalIndices(o.get(), 0, 2, three), LW_ERR_PARAM);
    o->Op.SetPolygonNormalIndices(o.get(), 0, 3, three);
    o->Op.SetPolygonColorIndices(o.get(), 0, 3, three);
    EXPECT_EQ(o->Op.SetPolygonTexIndices(o.get(), 0, 3, three), LW_ERR_PARAM);  // no channel selected
    o->Op.SelectPolygonTexChannel(o.get(), 0, 1, 0);
    o->Op.SetPolygonTexIndices(o.get(), 0, 3, three);
    // A new corner count keeps the channels in step and drops indices that would name wrong corners.
    const int32_t quad[4] = {0, 1, 2, 3};
    o->Op.SetPolygonPoints(o.get(), 0, 4, quad);
    LwPolygon* p = o->Op.GetPolygon(o.get(), 0);
    EXPECT_EQ(p->TexChannels[0].Indices, std::vector<int32_t>({7, 8, 9, 0}));
    EXPECT_TRUE(p->NormalIndices.empty());
    EXPECT_TRUE(p->ColorIndices.empty());
}

TEST(ObjectTags, TypedTagsAreSharedUntypedNever) {
    ObjectPtr o = NewObject();
    // Names are compared exactly; a long name is kept cut to its field and still found under its full text.
    const std::string longName(400, 'L');
    std::vector<int32_t> ids;
    for (const std::string& name :
         std::vector<std::string>{"Default", "Default", "x", "x", "default", longName, longName})
        ids.push_back(o->Op.AddTag(o.get(), name.c_str(), name == "x" ? 0 : LW_ID_SURF));
    EXPECT_EQ(ids, (std::vector<int32_t>{0, 0, 1, 2, 3, 4, 4}));
    EXPECT_EQ(strlen(o->Op.GetTag(o.get(), 4)->Name), 255u);
}

TEST(ObjectTags, PolygonTagMaps) {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), kSquare);
    for (int i = 0; i < 3; ++i) AddPolygon(o.get(), {0, 1, 2});
    const LwId part = LwMakeId('P', 'A', 'R', 'T');
    o->Op.SetPolygonTag(o.get(), 0, part, "arm");
    EXPECT_STREQ(o->Op.SetPolygonTag(o.get(), 0, part, "leg"), "leg");
    EXPECT_EQ(o->Op.SetPolygonTag(o.get(), 3, part, "leg"), nullptr);    // no such polygon
    EXPECT_EQ(o->Op.GetPolygonTagMap(o.get(), 0)->Polygons.size(), 1u);  // replaced in place
    EXPECT_EQ(o->Op.GetPolygonTag(o.get(), o->Op.GetPolygonTagMap(o.get(), 0), 5000), nullptr);
    o->Op.SetPolygonTag(o.get(), 0, LW_ID_SURF, "skin");
    o->Op.CopyPolygonTags(o.get(), 0, 2);
    LwPolygonTagMap* map = o->Op.FindPolygonTagMapOf(o.get(), nullptr, 2, part);
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(o->Op.GetPolygonTag(o.get(), map, 2)->Name, "leg");
    EXPECT_EQ(o->Op.FindPolygonTagMapOf(o.get(), map, 2, part), nullptr);
    EXPECT_STREQ(o->Op.GetPolygonTag(o.get(), o->Op.FindPolygonTagMapOf(o.get(), nullptr, 2, LW_ID_SURF), 2)->Name,
                 "skin");
    // Deleting maps renumbers the rest.
    o->Op.DeletePolygonTagMaps(o.get(), part);
    ASSERT_EQ(o->Op.GetNumPolygonTagMaps(o.get(), 0), 1);
    EXPECT_EQ(o->Op.GetPolygonTagMap(o.get(), 0)->Index, 0);
    EXPECT_EQ(o->Op.DeletePolygonTagMap(o.get(), 1), LW_ERR_PARAM);
}

TEST(ObjectSurfaces, EntriesAndBodies) {
    ObjectPtr o = NewObject();
    const char* a = o->Op.AddSurface(o.get(), "A");
    EXPECT_EQ(o->Op.AddSurface(o.get(), "A"), a);
    o->Op.AddSurface(o.get(), "B");
    EXPECT_STREQ(o->Op.GetSurfaceById(o.get(), 1)->Name, "B");
    // Bodies are copied; a replaced body is freed (the sanitizers see a leak otherwise).
    const uint8_t body[] = {1, 2, 3};
    EXPECT_EQ(o->Op.SetSurfaceData(o.get(), "A", 3, body), LW_ERR_NONE);
    EXPECT_EQ(o->Op.SetSurfaceData(o.get(), "A", 2, body), LW_ERR_NONE);
    EXPECT_EQ(o->Op.FindSurface(o.get(), "A")->DataSize, 2);
    EXPECT_EQ(o->Op.SetSurfaceData(o.get(), "A", -1, body), LW_ERR_PARAM);
    o->Op.SetSurfaceData(o.get(), "B", 3, body);
    // A detached copy frees its own body, never the one the list keeps.
    LwSurfaceEntry* shared = (LwSurfaceEntry*)calloc(1, sizeof(LwSurfaceEntry));
    *shared = *o->Op.FindSurface(o.get(), "B");
    FreeSurfaceEntryCopy(o.get(), shared);
    LwSurfaceEntry* own = (LwSurfaceEntry*)calloc(1, sizeof(LwSurfaceEntry));
    strcpy(own->Name, "B");
    own->Data = (uint8_t*)malloc(4);
    FreeSurfaceEntryCopy(o.get(), own);
    EXPECT_EQ(o->Op.FindSurface(o.get(), "B")->Data[2], 3);
}

TEST(ObjectSurfaces, RenameReachesEveryPolygon) {
    ObjectPtr o = NewObject();
    o->Op.AddSurface(o.get(), "A");
    o->Op.AddSurface(o.get(), "C");
    AddLayerWithPoints(o.get(), kSquare);
    AddPolygon(o.get(), {0, 1, 2}, "A");
    AddPolygon(o.get(), {0, 2, 3}, "A");
    AddPolygon(o.get(), {0, 1, 3}, "C");
    EXPECT_EQ(o->Op.RenameSurface(o.get(), "A", "B"), LW_ERR_NONE);
    EXPECT_STREQ(o->Op.GetPolygon(o.get(), 1)->SurfaceName, "B");
    EXPECT_EQ(o->Op.FindSurface(o.get(), "A"), nullptr);
    EXPECT_EQ(o->Op.CountPolygonsWithSurface(o.get(), "B"), 2);
    const char* bad[][2] = {{nullptr, "x"}, {"B", nullptr}, {"B", ""}, {"A", "x"}};
    for (auto& names : bad) EXPECT_EQ(o->Op.RenameSurface(o.get(), names[0], names[1]), LW_ERR_PARAM);
    // Ids follow names when surfaces are made after the polygons.
    AddPolygon(o.get(), {1, 2, 3}, "D");
    o->Op.AddSurface(o.get(), "D");
    o->Op.RelinkPolygonSurfaces(o.get());
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 3)->SurfaceId, 2);
    // Without their tags the polygons name no surface, rather than freed text.
    o->Op.FreeTags(o.get());
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->SurfaceName, nullptr);
    EXPECT_EQ(o->Op.CountPolygonsWithSurface(o.get(), "B"), 0);
}

}  // namespace
