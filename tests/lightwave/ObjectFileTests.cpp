// LWO2 and LWOB object files: objects built in code written and read back equal, hand-made files
// in the layouts of the formats, writers that refuse what their fields cannot hold, and hostile
// files (counts and indices past the data, a chunk past the end) that end with the right code; files
// cut anywhere are the object fuzz target's.
#include "lightwave/object/LwChunks.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace lwobj;

constexpr LwId Id(const char* s) { return LwMakeId(s[0], s[1], s[2], s[3]); }

Bytes Lwo2SurfaceBody() {
    return Body().Sub("COLR", Body().Vec(1, 0.5f, 0).VX(0)).Sub("DIFF", Body().F4(0.8f).VX(0)).Written();
}

// Two layers (the second a child of the first) with faces, a curve, tags, maps, clips and envelopes.
ObjectPtr BuildObject() {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    LwLayer* first = AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 1}}, "Body");
    first->Pivot[1] = 2.5;
    p->Op.AddSurface(p, "Skin");
    const Bytes body = Lwo2SurfaceBody();
    p->Op.SetSurfaceData(p, "Skin", (int32_t)body.size(), body.data());
    LwCopyText(p->Op.FindSurface(p, "Skin")->SourceName, "Base", 512);
    p->Op.AddSurface(p, "Eye");
    AddPolygon(p, {0, 1, 2, 3}, "Skin");
    AddPolygon(p, {0, 1, 4}, "Eye");
    p->Op.GetPolygon(p, 1)->Flags = 3;
    p->Op.SetPolygonTag(p, 1, Id("PART"), "Head");
    const int32_t uv = p->Op.AddVmap(p, Id("TXUV"), "uv", 2);
    const float a[2] = {0.25f, 0.5f}, b[2] = {1, 0};
    p->Op.SetVmapValue(p, uv, 0, a);
    p->Op.SetVmapValue(p, uv, 4, b);
    const int32_t seam = p->Op.AddVmad(p, Id("TXUV"), "uv", 2);
    p->Op.SetVmadValue(p, seam, 0, 1, b);
    LwLayer* second = AddLayerWithPoints(p, {{5, 5, 5}, {6, 5, 5}}, "Arm");
    second->LayerNumber = 3;
    second->ParentNumber = 0;
    p->Op.SetPolygonType(p, LW_ID_CURV);
    AddPolygon(p, {0, 1}, "Skin");
    const Bytes clip = Body().Sub("STIL", Body().S0("images/a.tga")).Written();
    p->Op.SetClipData(p, p->Op.AddClip(p, 4), (int32_t)clip.size(), clip.data());
    p->Op.SetClipName(p, 0, "images\\a.tga");  // as the reader names it
    const Bytes envelope = Body().Sub("KEY ", Body().F4(0).F4(1)).Written();
    p->Op.SetEnvelopeData(p, p->Op.AddEnvelope(p, 1), (int32_t)envelope.size(), envelope.data());
    p->Op.SetCurrentLayer(p, 0);
    return o;
}

// Read back, the object dumps as built (the dump shows every field the files hold), and written
// again it gives the same bytes.
TEST(ObjectFiles, Lwo2RoundTrip) {
    ObjectPtr built = BuildObject();
    TempPath path;
    ASSERT_EQ(built->Op.SaveLwObject(built.get(), path.c_str(), LW_FILE_LWO2, 0), LW_ERR_NONE);
    const Bytes file = path.Read();
    int32_t rc;
    ObjectPtr read = ReadObject(file, LW_FILE_LWO2, &rc);
    ASSERT_EQ(rc, LW_ERR_NONE);
    EXPECT_EQ(read->FileType, LW_FILE_LWO2);
    EXPECT_EQ(DumpedContents(read.get()), DumpedContents(built.get()));
    EXPECT_STREQ(read->Op.FindSurface(read.get(), "Skin")->SourceName, "Base");
    TempPath again;
    ASSERT_EQ(WriteLwo2File(read.get(), again.c_str(), 0), LW_ERR_NONE);
    EXPECT_EQ(again.Read(), file);
}

TEST(ObjectFiles, LwobRoundTrip) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    const Bytes body = Body().Sub("COLR", Body().U1(1).U1(2).U1(3).U1(0)).Sub("DIFF", Body().U2(128)).Written();
    for (const char* name : {"A", "B"}) {
        p->Op.AddSurface(p, name);
        p->Op.SetSurfaceData(p, name, (int32_t)body.size(), body.data());
    }
    AddPolygon(p, {0, 1, 2}, "B");
    AddPolygon(p, {0, 2, 3}, "A");
    AddPolygon(p, {0, 1, 2, 3}, "missing");  // written with surface 1
    p->Op.SetPolygonType(p, LW_ID_PTCH);
    AddPolygon(p, {3, 2, 1, 0}, "A");
    p->Op.SetPolygonType(p, LW_ID_CURV);
    AddPolygon(p, {0, 1, 2}, "B");
    p->Op.GetPolygon(p, 0)->Flags = 2;
    p->Op.SetPolygonType(p, LW_ID_FACE);
    TempPath path;
    ASSERT_EQ(p->Op.SaveLwObject(p, path.c_str(), LW_FILE_LWOB, 0), LW_ERR_NONE);
    int32_t rc;
    ObjectPtr read = ReadObject(path.Read(), LW_FILE_LWOB, &rc);
    ASSERT_EQ(rc, LW_ERR_NONE);
    EXPECT_EQ(read->FileType, LW_FILE_LWOB);
    p->Op.SetPolygonSurface(p, 2, "A");  // the missing surface read back as the first
    p->Op.GetPolygon(p, 0)->Flags = 0;   // LWOB faces have no flags
    p->FileType = LW_FILE_LWOB;
    LwCopyText(p->Layers->Name, read->FileName, sizeof(p->Layers->Name));
    const std::string readDump = DumpedContents(read.get()), builtDump = DumpedContents(p);  // tags differ: "missing"
    EXPECT_EQ(readDump.substr(0, readDump.find("NTAGS")), builtDump.substr(0, builtDump.find("NTAGS")));
}

TEST(ObjectFiles, HandMade) {
    const Body layer = Chunk("LAYR", Body().U2(0).U2(0).Vec(0, 0, 0).S0("L"));
    const Body points = Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0));
    const Body triangle = Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(2));
    const Body square = Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0).Vec(1, 1, 0));
    const Body surfaces = Chunk("SRFS", Body().S0("A").S0("B"));
    const Body vmap = Body().Id("TXUV").U2(2).S0("uv").VX(0).F4(1).F4(2);
    auto surface = [](LwObject* o, int32_t i) { return std::string(o->Op.GetPolygon(o, i)->SurfaceName); };
    const struct {
        const char* name;
        int32_t type;
        Body file;
        int32_t rc;
        const char* log;  // how the log starts
        std::function<void(LwObject*)> check;
    } cases[] = {
        {"an unknown chunk is skipped and logged", LW_FILE_LWO2,
         Form("LWO2", Chunk("DESC", Body().Raw(Bytes(10, 'x'))).Append(layer).Append(points)), LW_ERR_NONE,
         "DESC [10]\n", [](LwObject* o) { EXPECT_EQ(o->Layers->Points.size(), 3u); }},
        {"layers numbered 2 then 1, the second with a parent", LW_FILE_LWO2,
         Form("LWO2", Chunk("LAYR", Body().U2(2).U2(0).Vec(0, 0, 0).S0("two"))
                          .Append(Chunk("LAYR", Body().U2(1).U2(0).Vec(0, 0, 0).S0("one").U2(2)))),
         LW_ERR_NONE, "",
         [](LwObject* o) {
             EXPECT_STREQ(o->Layers->Name, "one");
             EXPECT_EQ(o->Layers->Position, 0);
             EXPECT_EQ(o->Layers->ParentNumber, 2);
             EXPECT_EQ(o->Layers->Next->ParentNumber, -1);
         }},
        {"a second POLS of a type replaces the first; a SURF tag without a SURF chunk makes an empty surface",
         LW_FILE_LWO2,
         Form("LWO2", Chunk("TAGS", Body().S0("Skin").S0("Bark"))
                          .Append(layer)
                          .Append(points)
                          .Append(Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(2).U2(3).VX(2).VX(1).VX(0)))
                          .Append(Chunk("PTAG", Body().Id("SURF").VX(1).U2(0)))
                          .Append(triangle)
                          .Append(Chunk("PTAG", Body().Id("SURF").VX(0).U2(1)))),
         LW_ERR_NONE, "",
         [&](LwObject* o) {
             ASSERT_EQ(o->Op.GetNumPolygons(o), 1);
             // The first chunk's tags went with its polygons: none names a polygon past the table.
             for (const LwPolygonTagMap& map : o->Layers->Groups[0].TagMaps)
                 for (int32_t polygon : map.Polygons) EXPECT_LT(polygon, 1);
             ASSERT_NE(o->Op.FindSurface(o, "Bark"), nullptr);
             EXPECT_EQ(o->Op.FindSurface(o, "Bark")->DataSize, 0);
             EXPECT_EQ(surface(o, 0), "Bark");
         }},
        {"a VMAP over its length is logged; the two bytes left over are no chunk", LW_FILE_LWO2,
         Form("LWO2", Body().Append(layer).Append(points).Append(Body().Id("VMAP").U4(vmap.Size() - 2).Append(vmap))),
         LW_ERR_FILE_READ, "??? 20 != 18\n", [](LwObject*) {}},
        {"LWOB surface -2 with two detail polygons", LW_FILE_LWOB,
         Form("LWOB", Body().Append(square).Append(surfaces).Append(Chunk(
                          "POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(0xFFFE).U2(1).U2(3).U2(1).U2(2).U2(3).U2(1)))),
         LW_ERR_NONE, "",
         [&](LwObject* o) {
             ASSERT_EQ(o->Op.GetNumPolygons(o), 2);
             EXPECT_EQ(surface(o, 0) + surface(o, 1), "BA");
         }},
        {"LWOB word above the surface count is one more corner", LW_FILE_LWOB,
         Form("LWOB", Body().Append(square).Append(surfaces).Append(
                          Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(3).U2(2)))),
         LW_ERR_NONE, "",
         [&](LwObject* o) {
             EXPECT_EQ(o->Op.GetPolygon(o, 0)->VertexCount(), 4);
             EXPECT_EQ(surface(o, 0), "B");
         }},
        {"LWOB POLS before SRFS", LW_FILE_LWOB,
         Form("LWOB", Body().Append(square).Append(Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1)))),
         LW_ERR_BAD_FORMAT, "CHUNK <PNTS>\nCHUNK <POLS>\n", [](LwObject*) {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t rc;
        std::string log;
        ObjectPtr o = ReadObject(c.file, c.type, &rc, &log);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(log.rfind(c.log, 0), 0u) << log;
        c.check(o.get());
    }
}

// Each layer's last polygon chunk is of patches; after the load every layer is on its faces, which
// the load passes then work on. (Only the first layer was put back once, and the normals pass gave
// the second layer's patches normals and its face none.)
TEST(ObjectFiles, EveryLayerLoadsOnItsFaces) {
    Body chunks;
    for (int number : {1, 2}) {
        chunks.Append(Chunk("LAYR", Body().U2((uint16_t)number).U2(0).Vec(0, 0, 0).S0("L")))
            .Append(Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(1, 1, 0).Vec(0, 1, 0)))
            .Append(Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(2)))
            .Append(Chunk("POLS", Body().Id("PTCH").U2(3).VX(0).VX(1).VX(3).U2(3).VX(1).VX(2).VX(3)));
    }
    TempPath path(Form("LWO2", chunks).Written());
    LwLoadOptions options{};
    options.Flags = LW_LOAD_NORMALS;
    ObjectPtr o = NewObject();
    ASSERT_EQ(o->Op.LoadLwObject(o.get(), path.c_str(), LW_FILE_LWO2, &options), LW_ERR_NONE);
    EXPECT_EQ(o->CurrentLayer, o->Layers);
    for (LwLayer* layer = o->Layers; layer; layer = layer->Next) {
        SCOPED_TRACE(layer->Position);
        EXPECT_EQ(layer->PolygonListType, LW_ID_FACE);
        for (const LwPolygonGroup& group : layer->Groups) {
            ASSERT_EQ(group.Polygons.size(), group.Type == LW_ID_FACE ? 1u : group.Type == LW_ID_PTCH ? 2u : 0u);
            for (const LwPolygon& polygon : group.Polygons)
                EXPECT_EQ(polygon.NormalIndices.size(), group.Type == LW_ID_FACE ? 3u : 0u);
        }
    }
}

// Saving leaves the faces current: the LWO2 writer on every layer, the last of them current; the
// LWOB writer on the layer it wrote.
TEST(ObjectFiles, WritersLeaveTheFacesCurrent) {
    ObjectPtr o = NewObject();
    LwObject* p = o.get();
    AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    p->Op.SetPolygonType(p, LW_ID_PTCH);
    AddLayerWithPoints(p, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    p->Op.SetPolygonType(p, LW_ID_CURV);
    p->Op.SetCurrentLayer(p, 0);
    TempPath path;
    ASSERT_EQ(p->Op.SaveLwObject(p, path.c_str(), LW_FILE_LWO2, 0), LW_ERR_NONE);
    EXPECT_EQ(p->CurrentLayer, p->Layers->Next);
    for (LwLayer* layer = p->Layers; layer; layer = layer->Next) EXPECT_EQ(layer->PolygonListType, LW_ID_FACE);
    p->Op.SetCurrentLayer(p, 0);
    p->Op.SetPolygonType(p, LW_ID_PTCH);
    ASSERT_EQ(p->Op.SaveLwObject(p, path.c_str(), LW_FILE_LWOB, 0), LW_ERR_NONE);
    EXPECT_EQ(p->CurrentLayer, p->Layers);
    EXPECT_EQ(p->CurrentLayer->PolygonListType, LW_ID_FACE);
}

// The files the writers make, byte for byte.
TEST(ObjectFiles, WrittenByteForByte) {
    ObjectPtr o = NewObject();
    TempPath path;
    ASSERT_EQ(WriteLwo2File(o.get(), path.c_str(), 0), LW_ERR_NONE);
    EXPECT_EQ(path.Read(), Form("LWO2", Chunk("TAGS", Body())).Written());  // an empty object
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    o->Op.AddSurface(o.get(), "S");
    AddPolygon(o.get(), {0, 1, 2}, "S");
    ASSERT_EQ(WriteLwobFile(o.get(), path.c_str(), 0), LW_ERR_NONE);
    EXPECT_EQ(path.Read(), Form("LWOB", Chunk("SRFS", Body().S0("S"))
                                            .Append(Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0)))
                                            .Append(Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1)))
                                            .Append(Chunk("SURF", Body().S0("S"))))
                               .Written());
}

// The writers refuse what their fields cannot hold and leave no file behind.
TEST(ObjectFiles, WritersRefuse) {
    const struct {
        const char* name;
        int32_t type, points, corners, expected;
    } cases[] = {
        {"LWO2 polygon of 1024 corners", LW_FILE_LWO2, 1024, 1024, LW_ERR_BAD_POLYGON},
        {"LWO2 polygon of 1023 corners", LW_FILE_LWO2, 1023, 1023, LW_ERR_NONE},
        {"LWOB with 65537 points", LW_FILE_LWOB, 65537, 3, LW_ERR_BAD_POINT_COUNT},
        {"LWOB with 65536 points", LW_FILE_LWOB, 65536, 3, LW_ERR_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectPtr o = NewObject();
        o->Op.AddLayer(o.get(), "L");
        for (int32_t i = 0; i < c.points; ++i) {
            const double p[3] = {(double)i, 0, 0};
            o->Op.AddPoint(o.get(), p);
        }
        o->Op.AddSurface(o.get(), "S");
        std::vector<int32_t> corners(c.corners);
        for (int32_t i = 0; i < c.corners; ++i) corners[i] = c.points - 1 - i;
        AddPolygon(o.get(), corners, "S");
        TempPath path;
        unlink(path.c_str());
        EXPECT_EQ(o->Op.SaveLwObject(o.get(), path.c_str(), c.type, 0), c.expected);
        EXPECT_EQ(access(path.c_str(), F_OK) == 0, c.expected == LW_ERR_NONE);
        if (c.expected != LW_ERR_NONE) continue;
        int32_t rc;
        ObjectPtr back = ReadObject(path.Read(), c.type, &rc);
        EXPECT_EQ(rc, LW_ERR_NONE);
        EXPECT_EQ(back->Op.GetPolygon(back.get(), 0)->Points, corners);
    }
    // Polygons without any surface to number: the file would read back as a bad format, for its
    // polygons would come before any surface.
    ObjectPtr bare = NewObject();
    AddLayerWithPoints(bare.get(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    AddPolygon(bare.get(), {0, 1, 2});
    TempPath refused;
    unlink(refused.c_str());
    EXPECT_EQ(WriteLwobFile(bare.get(), refused.c_str(), 0), LW_ERR_PARAM);
    EXPECT_NE(access(refused.c_str(), F_OK), 0);
    int32_t rc;
    ReadObject(Form("LWOB", Chunk("SRFS", Body())
                                .Append(Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0)))
                                .Append(Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1)))),
               LW_FILE_LWOB, &rc);
    EXPECT_EQ(rc, LW_ERR_BAD_FORMAT);

    ObjectPtr empty = NewObject();
    TempPath path;
    EXPECT_EQ(WriteLwobFile(empty.get(), path.c_str(), 0), LW_ERR_PARAM);  // no layer to write
    EXPECT_EQ(empty->Op.SaveLwObject(empty.get(), path.c_str(), LW_FILE_RSD, 0), LW_ERR_UNKNOWN_TYPE);
    EXPECT_EQ(WriteLwo2File(empty.get(), "/no/such/dir/x.lwo", 0), LW_ERR_FILE_OPEN);
    EXPECT_STREQ(empty->MessageText, "/no/such/dir/x.lwo");
}

TEST(ObjectFilesHostile, Lwo2CountsAndIndicesPastTheData) {
    const Body layer = Chunk("LAYR", Body().U2(0).U2(0).Vec(0, 0, 0).S0("L"));
    const Body points = Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0));
    const Body base = Body().Append(Chunk("TAGS", Body().S0("T"))).Append(layer).Append(points);
    const Body triangle = Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(2));
    const struct {
        const char* name;
        Body chunks;
        int32_t expected, polygons;
    } cases[] = {
        {"corner past the points",
         Body().Append(base).Append(Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(3))).Append(triangle),
         LW_ERR_BAD_POLYGON, 1},
        {"corner count past the chunk", Body().Append(base).Append(Chunk("POLS", Body().Id("FACE").U2(9).VX(0).VX(1))),
         LW_ERR_BAD_FORMAT, 0},
        {"PTAG polygon past the polygons",
         Body().Append(base).Append(triangle).Append(Chunk("PTAG", Body().Id("SURF").VX(1).U2(0))), LW_ERR_BAD_FORMAT,
         1},
        {"PTAG tag past the tags",
         Body().Append(base).Append(triangle).Append(Chunk("PTAG", Body().Id("SURF").VX(0).U2(1))), LW_ERR_BAD_FORMAT,
         1},
        {"VMAP point past the points",
         Body().Append(base).Append(Chunk("VMAP", Body().Id("TXUV").U2(1).S0("m").VX(3).F4(1))), LW_ERR_BAD_FORMAT, 0},
        {"VMAD polygon past the polygons",
         Body().Append(base).Append(triangle).Append(Chunk("VMAD", Body().Id("TXUV").U2(1).S0("m").VX(0).VX(1).F4(1))),
         LW_ERR_BAD_FORMAT, 1},
        {"VMAP of dimension 65535 cut short",
         Body().Append(base).Append(Chunk("VMAP", Body().Id("TXUV").U2(0xFFFF).S0("m").VX(0).F4(1))), LW_ERR_BAD_FORMAT,
         0},
        {"points before any layer", Body().Append(points).Append(layer), LW_ERR_BAD_FORMAT, 0},
        {"a second PNTS after POLS", Body().Append(base).Append(triangle).Append(points), LW_ERR_BAD_FORMAT, 1},
        {"BBOX cut short", Body().Append(base).Append(Chunk("BBOX", Body().Vec(0, 0, 0))), LW_ERR_BAD_FORMAT, 0},
        {"chunk past the end of the file", Body().Append(base).Id("POLS").U4(1000).Id("FACE"), LW_ERR_FILE_READ, 0},
        {"chunk header cut short", Body().Append(base).U2(0x504F), LW_ERR_FILE_READ, 0},
        {"FORM of another type", Body(), LW_ERR_UNKNOWN_TYPE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t rc;
        const Bytes file =
            c.expected == LW_ERR_UNKNOWN_TYPE ? Form("LWOB", c.chunks).Written() : Form("LWO2", c.chunks).Written();
        ObjectPtr o = ReadObject(file, LW_FILE_LWO2, &rc);
        EXPECT_EQ(rc, c.expected);
        if (o->Layers) {
            o->Op.SetCurrentLayer(o.get(), 0);
            EXPECT_EQ(o->Op.GetNumPolygons(o.get()), c.polygons);
        }
        TextCapture dump;
        DumpLwObject(o.get(), dump.File());
    }
}

TEST(ObjectFilesHostile, LwobCountsAndIndicesPastTheData) {
    Body base;
    base.Append(Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0))).Append(Chunk("SRFS", Body().S0("A")));
    const struct {
        const char* name;
        Body chunks;
        int32_t expected;
    } cases[] = {
        {"surface 0", Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(0)), LW_ERR_BAD_FORMAT},
        {"detail surface past the list", Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(0xFFFB).U2(0)),
         LW_ERR_BAD_FORMAT},
        {"detail count past the chunk", Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(0xFFFF)), LW_ERR_BAD_FORMAT},
        {"corner count past the chunk", Chunk("POLS", Body().U2(30).U2(0).U2(1)), LW_ERR_BAD_FORMAT},
        {"negative corner count", Chunk("POLS", Body().U2(0x8000).U2(1)), LW_ERR_BAD_FORMAT},
        {"extra corners past the chunk", Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(7)), LW_ERR_BAD_FORMAT},
        {"corner past the points", Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(3).U2(1)), LW_ERR_BAD_POLYGON},
        {"curve past the chunk", Chunk("CRVS", Body().U2(3).U2(0).U2(1)), LW_ERR_BAD_FORMAT},
        {"curve surface past the list", Chunk("CRVS", Body().U2(2).U2(0).U2(1).U2(2).U2(0)), LW_ERR_BAD_FORMAT},
        {"a second PNTS after POLS",
         Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1)).Append(Chunk("PNTS", Body().Vec(0, 0, 0))),
         LW_ERR_BAD_FORMAT},
        {"chunk past the end of the file", Body().Id("POLS").U4(1000).U2(3), LW_ERR_FILE_READ},
        {"chunk header cut short", Body().U2(0x504F), LW_ERR_FILE_READ},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t rc;
        ObjectPtr o = ReadObject(Form("LWOB", Body().Append(base).Append(c.chunks)).Written(), LW_FILE_LWOB, &rc);
        EXPECT_EQ(rc, c.expected);
        TextCapture dump;
        DumpLwObject(o.get(), dump.File());
    }
}

TEST(ObjectFiles, OpenTriesLwobOnlyForAnotherForm) {
    ObjectPtr built = BuildObject();
    TempPath lwob, broken;
    ASSERT_EQ(WriteLwobFile(built.get(), lwob.c_str(), 0), LW_ERR_NONE);
    LwObject* opened = OpenLwObjectFile(lwob.c_str(), nullptr);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->FileType, LW_FILE_LWOB);
    DestroyLwObject(&opened);
    // A valid LWO2 form with a fault is not read again as LWOB: it fails.
    broken.Write(Form("LWO2", Chunk("PNTS", Body().Vec(0, 0, 0))).Written());
    EXPECT_EQ(OpenLwObjectFile(broken.c_str(), nullptr), nullptr);
}

}  // namespace
