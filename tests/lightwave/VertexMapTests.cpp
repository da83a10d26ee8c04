// Vertex maps of a layer: continuous (VMAP) and discontinuous (VMAD) ones.
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

using namespace lwobj;

namespace {

const LwId kTxuv = LwMakeId('T', 'X', 'U', 'V');
const LwId kWght = LwMakeId('W', 'G', 'H', 'T');
const LwId kPick = LwMakeId('P', 'I', 'C', 'K');

ObjectPtr Triangles() {
    ObjectPtr o = NewObject();
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    AddPolygon(o.get(), {0, 1, 2});
    AddPolygon(o.get(), {0, 2, 3});
    return o;
}

TEST(ObjectVmaps, OneEntryPerPointHoldingTheLastValue) {
    ObjectPtr o = Triangles();
    int32_t uv = o->Op.AddVmap(o.get(), kTxuv, "uv", 2);
    const float a[2] = {0.25f, 0.5f}, b[2] = {1, 2};
    EXPECT_EQ(o->Op.SetVmapValue(o.get(), uv, 2, a), LW_ERR_NONE);
    EXPECT_EQ(o->Op.SetVmapValue(o.get(), uv, 0, a), LW_ERR_NONE);
    EXPECT_EQ(o->Op.SetVmapValue(o.get(), uv, 2, b), LW_ERR_NONE);
    LwVmap* map = o->Op.FindVmap(o.get(), kTxuv, "uv");
    EXPECT_EQ(map->Points.size(), 2u);
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), map, 2)[1], 2.0f);
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), map, 0)[0], 0.25f);
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), map, 1), nullptr);      // never set
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), map, 99999), nullptr);  // beyond every slot
    // Map indices, points and missing values that would overrun the map are refused.
    const struct {
        int32_t map, point;
        const float* v;
    } bad[] = {{1, 0, a}, {-1, 0, a}, {uv, 4, a}, {uv, 5000, a}, {uv, 1, nullptr}};
    for (const auto& row : bad) EXPECT_EQ(o->Op.SetVmapValue(o.get(), row.map, row.point, row.v), LW_ERR_PARAM);
    EXPECT_EQ(o->Op.AddVmap(o.get(), kTxuv, "bad", -1), -1);
    // A selection set has no values, but still tells which points it holds.
    int32_t pick = o->Op.AddVmap(o.get(), kPick, "sel", 0);
    o->Op.SetVmapValue(o.get(), pick, 3, nullptr);
    EXPECT_NE(o->Op.GetVmapValue(o.get(), o->Op.GetNextVmap(o.get(), nullptr, kPick), 3), nullptr);
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), o->Op.GetNextVmap(o.get(), nullptr, kPick), 2), nullptr);
    // A huge dimension costs memory only for the entries that are set.
    int32_t wide = o->Op.AddVmap(o.get(), kWght, "wide", 65535);
    std::vector<float> v(65535, 1.5f);
    EXPECT_EQ(o->Op.SetVmapValue(o.get(), wide, 3, v.data()), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), o->Op.FindVmap(o.get(), kWght, "wide"), 3)[65534], 1.5f);
    EXPECT_EQ(o->Op.FindVmap(o.get(), kWght, "wide")->Values.size(), 65535u);
}

TEST(ObjectVmads, ValuesPerPointAndPolygon) {
    ObjectPtr o = Triangles();
    int32_t uv = o->Op.AddVmad(o.get(), kTxuv, "uv", 2);
    const float a[2] = {0, 1}, b[2] = {2, 3}, c[2] = {4, 5};
    EXPECT_EQ(o->Op.SetVmadValue(o.get(), uv, 0, 0, a), LW_ERR_NONE);
    EXPECT_EQ(o->Op.SetVmadValue(o.get(), uv, 0, 1, b), LW_ERR_NONE);
    EXPECT_EQ(o->Op.SetVmadValue(o.get(), uv, 0, 1, c), LW_ERR_NONE);
    LwVmad* map = o->Op.FindVmad(o.get(), kTxuv, "uv");
    EXPECT_EQ(o->Op.GetVmadValue(o.get(), map, 0, 0)[1], 1.0f);
    EXPECT_EQ(o->Op.GetVmadValue(o.get(), map, 0, 1)[0], 4.0f);
    EXPECT_EQ(o->Op.GetVmadValue(o.get(), map, 1, 0), nullptr);
    EXPECT_EQ(map->Entries.size(), 1u);
    const struct { int32_t map, point, polygon; } bad[] = {{1, 0, 0}, {uv, 4, 0}, {uv, 0, 2}, {uv, -1, 0}, {uv, 0, -1}};
    for (const auto& row : bad)
        EXPECT_EQ(o->Op.SetVmadValue(o.get(), row.map, row.point, row.polygon, a), LW_ERR_PARAM);
}

// Deleting, clearing and renaming a VMAP takes the VMAD of its type and name along.
TEST(ObjectVmaps, PartnersFollowDeleteClearAndRename) {
    ObjectPtr o = Triangles();
    const float v[2] = {1, 1};
    o->Op.AddVmap(o.get(), kWght, "w", 1);
    o->Op.AddVmap(o.get(), kTxuv, "uv", 2);
    o->Op.AddVmap(o.get(), kWght, "w2", 1);
    o->Op.AddVmad(o.get(), kTxuv, "uv", 2);
    o->Op.AddVmad(o.get(), kWght, "w", 1);
    o->Op.SetVmapValue(o.get(), 1, 0, v);
    o->Op.SetVmadValue(o.get(), 0, 0, 0, v);

    EXPECT_EQ(o->Op.RenameVmap(o.get(), 1, "st"), LW_ERR_NONE);
    EXPECT_NE(o->Op.FindVmad(o.get(), kTxuv, "st"), nullptr);
    EXPECT_EQ(o->Op.ClearVmap(o.get(), 1), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetVmapValue(o.get(), o->Op.GetNextVmap(o.get(), nullptr, kTxuv), 0), nullptr);
    EXPECT_EQ(o->Op.GetVmadValue(o.get(), o->Op.GetNextVmad(o.get(), nullptr, kTxuv), 0, 0), nullptr);
    EXPECT_EQ(o->Op.GetNumVmads(o.get(), 0), 2);

    o->Op.DeleteVmaps(o.get(), kTxuv);
    EXPECT_EQ(o->Op.GetNumVmaps(o.get(), 0), 2);
    EXPECT_EQ(o->Op.GetNumVmads(o.get(), 0), 1);
    EXPECT_STREQ(o->Op.GetNextVmap(o.get(), o->Op.GetNextVmap(o.get(), nullptr, 0), 0)->Name, "w2");
    EXPECT_EQ(o->Op.DeleteVmap(o.get(), 0), LW_ERR_NONE);  // "w" and its VMAD
    EXPECT_EQ(o->Op.GetNumVmads(o.get(), 0), 0);
    EXPECT_STREQ(o->Op.GetNextVmap(o.get(), nullptr, 0)->Name, "w2");
    EXPECT_EQ(o->Op.DeleteVmap(o.get(), 1), LW_ERR_PARAM);
}

}  // namespace
