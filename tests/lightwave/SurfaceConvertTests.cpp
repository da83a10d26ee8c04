// Surface bodies carried between the LWOB and LWO2 forms: the field rules one way and back, the
// values clamped to the target's range, the procedural and image-map tables, and a whole LWOB file
// written as LWO2 and back as LWOB.
#include "lightwave/object/LwChunks.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using namespace lwobj;

constexpr LwId Id(const char* s) { return LwMakeId(s[0], s[1], s[2], s[3]); }

std::unique_ptr<Lwo2Surface> ToLwo2(LwObject* o, const Body& lwob) {
    const Bytes bytes = lwob.Written();
    LwobSurface from;
    ParseLwobSurface(o, (uint32_t)bytes.size(), bytes.data(), &from);
    std::unique_ptr<Lwo2Surface> to(new Lwo2Surface());
    LwobSurfaceToLwo2(o, &from, to.get());
    return to;
}

std::unique_ptr<LwobSurface> ToLwob(LwObject* o, const Body& lwo2) {
    const Bytes bytes = lwo2.Written();
    Lwo2Surface from;
    ParseLwo2Surface(o, (uint32_t)bytes.size(), bytes.data(), &from);
    std::unique_ptr<LwobSurface> to(new LwobSurface());
    Lwo2SurfaceToLwob(o, &from, to.get());
    return to;
}

float Value(const Lwo2Surface& s, int slot) { return s.Chunks[slot] ? s.Chunks[slot]->Float[0] : NAN; }

TEST(SurfaceConvert, LwobToLwo2) {
    const struct {
        const char* name;
        Body lwob;
        std::function<void(const Lwo2Surface&)> check;
    } cases[] = {
        {"colour alone, diffuse 1 and no sides", Body().Sub("COLR", Body().U1(255).U1(128).U1(0).U1(0)),
         [](const Lwo2Surface& s) {
             EXPECT_FLOAT_EQ(s.Chunks[LW_SURF_COLR]->Float[0], 1.0f);
             EXPECT_NEAR(s.Chunks[LW_SURF_COLR]->Float[1], 0.50196f, 1e-5);
             EXPECT_FLOAT_EQ(Value(s, LW_SURF_DIFF), 1.0f);
             EXPECT_EQ(s.Chunks[LW_SURF_SIDE], nullptr);
         }},
        {"no colour is grey", Body(),
         [](const Lwo2Surface& s) { EXPECT_FLOAT_EQ(s.Chunks[LW_SURF_COLR]->Float[2], 0.78f); }},
        {"FLAG 0 is one-sided", Body().Sub("FLAG", Body().U2(0)),
         [](const Lwo2Surface& s) { EXPECT_EQ(s.Chunks[LW_SURF_SIDE]->Int[0], 1u); }},
        {"FLAG bits", Body().Sub("FLAG", Body().U2(0x80 | 0x08 | 0x10 | 0x200 | 0x02)),
         [](const Lwo2Surface& s) {
             for (int slot : {LW_SURF_SHRP, LW_SURF_CLRH, LW_SURF_CLRF, LW_SURF_ADTR})
                 EXPECT_FLOAT_EQ(Value(s, slot), 0.5f);
             EXPECT_EQ(s.Chunks[LW_SURF_LINE]->Int[0], 1u);
         }},
        {"VDIF wins over DIFF", Body().Sub("DIFF", Body().U2(192)).Sub("VDIF", Body().F4(0.3f)),
         [](const Lwo2Surface& s) { EXPECT_FLOAT_EQ(Value(s, LW_SURF_DIFF), 0.3f); }},
        {"GLOS 64 is 0.4 with SPEC 0", Body().Sub("GLOS", Body().U2(64)),
         [](const Lwo2Surface& s) { EXPECT_FLOAT_EQ(Value(s, LW_SURF_GLOS), 0.4f); }},
        {"GLOS below 4 and negative give no glossiness", Body().Sub("GLOS", Body().U2(0x8000)),
         [](const Lwo2Surface& s) { EXPECT_FLOAT_EQ(Value(s, LW_SURF_GLOS), 0.0f); }},
        {"ALPH value over 255", Body().Sub("ALPH", Body().U2(2).U2(51)),
         [](const Lwo2Surface& s) {
             EXPECT_EQ(s.Chunks[LW_SURF_ALPH]->Int[0], 2u);
             EXPECT_NEAR(s.Chunks[LW_SURF_ALPH]->Float[0], 0.2f, 1e-6);
         }},
        {"Fractal Bumps is a bump procedural Fractal Noise",
         Body().Sub("BTEX", Body().S0("Fractal Bumps")).Sub("TFP0", Body().F4(1)).Sub("TFP1", Body().F4(2)),
         [](const Lwo2Surface& s) {
             ASSERT_EQ(s.Blocks.size(), 1u);
             const Lwo2SurfaceBlock& b = s.Blocks[0];
             EXPECT_EQ(b.HeaderType, Id("PROC"));
             EXPECT_EQ(b.Header->Chunks[LW_HEAD_CHAN]->Int[0], Id("BUMP"));
             EXPECT_EQ(b.Chunks[LW_BLOK_FUNC]->Text[0], "Fractal Noise");
             EXPECT_FLOAT_EQ(Value(s, LW_SURF_BUMP), 1.0f);
         }},
        {"image map with its texture map",
         Body()
             .Sub("CTEX", Body().S0("Cylindrical Image Map"))
             .Sub("TFLG", Body().U2(0x02 | 0x08))
             .Append(Body().Sub("TSIZ", Body().Vec(2, 3, 4)).Sub("TWRP", Body().U2(1).U2(3))),
         [](const Lwo2Surface& s) {
             const Lwo2SurfaceBlock& b = s.Blocks.at(0);
             EXPECT_EQ((std::vector<uint32_t>{b.HeaderType, b.Chunks[LW_BLOK_PROJ]->Int[0],
                                              b.Chunks[LW_BLOK_WRAP]->Int[0], b.Chunks[LW_BLOK_WRAP]->Int[1]}),
                       (std::vector<uint32_t>{Id("IMAP"), 1, 3, 2}));
             EXPECT_FLOAT_EQ(b.Map->Chunks[LW_TMAP_SIZE]->Float[2], 4.0f);
         }},
        {"shader with data", Body().Sub("SHDR", Body().S0("sh")).Sub("SDAT", Body().U1(7).U1(8)),
         [](const Lwo2Surface& s) {
             EXPECT_EQ(s.Blocks.at(0).HeaderType, Id("SHDR"));
             EXPECT_EQ(s.Blocks[0].Chunks[LW_BLOK_FUNC]->Data, (Bytes{7, 8}));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectPtr o = NewObject();
        c.check(*ToLwo2(o.get(), c.lwob));
    }
}

TEST(SurfaceConvert, Lwo2ToLwob) {
    const Body bump = Body().Sub("PROC", Body().S0("\x80").Sub("CHAN", Body().Id("BUMP")));
    const Body procBump = Body().Sub("BLOK", Body(bump).Sub("FUNC", Body().S0("Fractal Noise").F4(1).F4(2)));
    const struct {
        const char* name;
        Body lwo2;
        std::function<void(const LwobSurface&)> check;
    } cases[] = {
        {"defaults", Body(),
         [](const LwobSurface& s) {
             EXPECT_EQ(s.Chunks[LWOB_COLR]->Int[0], 200u);
             EXPECT_EQ(s.Chunks[LWOB_FLAG]->Int[0], 0u);
             EXPECT_FLOAT_EQ(s.Chunks[LWOB_VDIF]->Float[0], 1.0f);
         }},
        {"GLOS 0.4 is 64", Body().Sub("GLOS", Body().F4(0.4f).VX(0)).Sub("SPEC", Body().F4(0).VX(0)),
         [](const LwobSurface& s) {
             EXPECT_EQ(s.Chunks[LWOB_GLOS]->Int[0], 64u);
             EXPECT_FLOAT_EQ(s.Chunks[LWOB_VSPC]->Float[0], 0.0f);
         }},
        {"values past the target's range are clamped",
         Body().Sub("COLR", Body().Vec(2, -1, 0.5f).VX(0)).Sub("GLOS", Body().F4(5).VX(0)),
         [](const LwobSurface& s) {
             EXPECT_EQ(s.Chunks[LWOB_COLR]->Int[0], 255u);
             EXPECT_EQ(s.Chunks[LWOB_COLR]->Int[1], 0u);
             EXPECT_EQ(s.Chunks[LWOB_GLOS]->Int[0], 32767u);
         }},
        {"flags", Body().Sub("SIDE", Body().U2(3)).Sub("LUMI", Body().F4(0.1f).VX(0)).Sub("SMAN", Body().F4(1)),
         [](const LwobSurface& s) { EXPECT_EQ(s.Chunks[LWOB_FLAG]->Int[0], 0x100u | 0x01u | 0x04u); }},
        {"Fractal Noise on BUMP is Fractal Bumps with TFP2 0.5", procBump,
         [](const LwobSurface& s) {
             ASSERT_EQ(s.Textures.size(), 1u);
             EXPECT_EQ(s.Textures[0].Type, Id("BTEX"));
             EXPECT_EQ(s.Textures[0].TypeName, "Fractal Bumps");
             EXPECT_FLOAT_EQ(s.Textures[0].Chunks[LWOB_TFP2]->Float[0], 0.5f);
         }},
        {"Checkerboard on BUMP is not carried", Body().Sub("BLOK", Body(bump).Sub("FUNC", Body().S0("Checkerboard"))),
         [](const LwobSurface& s) { EXPECT_TRUE(s.Textures.empty()); }},
        {"gradients are not carried",
         Body().Sub("BLOK", Body().Sub("GRAD", Body().S0("\x80").Sub("CHAN", Body().Id("COLR")))),
         [](const LwobSurface& s) { EXPECT_TRUE(s.Textures.empty()); }},
        {"projection 5 has no name",
         Body().Sub("BLOK",
                    Body().Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("COLR"))).Sub("PROJ", Body().U2(5))),
         [](const LwobSurface& s) { EXPECT_TRUE(s.Textures.empty()); }},
        {"projection 2 is spherical",
         Body().Sub("BLOK", Body()
                                .Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("DIFF")))
                                .Sub("PROJ", Body().U2(2))
                                .Sub("AXIS", Body().U2(2))
                                .Sub("VALU", Body().F4(1).F4(0).F4(0.5f))),
         [](const LwobSurface& s) {
             ASSERT_EQ(s.Textures.size(), 1u);
             EXPECT_EQ(s.Textures[0].Type, Id("DTEX"));
             EXPECT_EQ(s.Textures[0].TypeName, "Spherical Image Map");
             EXPECT_EQ(s.Textures[0].Chunks[LWOB_TFLG]->Int[0], 0x04u);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectPtr o = NewObject();
        c.check(*ToLwob(o.get(), c.lwo2));
    }
}

TEST(SurfaceConvert, SameFormSharesTheBody) {
    ObjectPtr o = NewObject();
    o->FileType = LW_FILE_LWO2;
    o->Op.AddSurface(o.get(), "S");
    const uint8_t body[] = {1, 2, 3};
    o->Op.SetSurfaceData(o.get(), "S", 3, body);
    LwSurfaceEntry* copy = ConvertSurfaceByName(o.get(), "S", LW_FILE_LWO2);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Data, o->Op.FindSurface(o.get(), "S")->Data);
    FreeSurfaceEntryCopy(o.get(), copy);
    EXPECT_EQ(ConvertSurfaceByName(o.get(), "missing", LW_FILE_LWOB), nullptr);
    EXPECT_EQ(ConvertSurfaceById(o.get(), 7, LW_FILE_LWOB), nullptr);
}

// An LWOB file written as LWO2 by the library, read, written back as LWOB and read again.
TEST(SurfaceConvert, LwobToLwo2ToLwobThroughFiles) {
    Body surface;
    surface.Sub("COLR", Body().U1(255).U1(128).U1(0).U1(0)).Sub("FLAG", Body().U2(0x100)).Sub("DIFF", Body().U2(192));
    surface.Sub("GLOS", Body().U2(64)).Sub("CTEX", Body().S0("Planar Image Map")).Sub("TFLG", Body().U2(0x04));
    surface.Sub("RIMG", Body().S0("images/sky.tga"));  // read back as a clip spelled with "\\"
    surface.Sub("TSIZ", Body().Vec(1, 2, 3)).Sub("TIMG", Body().S0("images\\wall.tga")).Sub("TALP", Body().S0(""));
    const Body file = Form("LWOB", Body()
                                       .Append(Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0)))
                                       .Append(Chunk("SRFS", Body().S0("Wall")))
                                       .Append(Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1)))
                                       .Append(Chunk("SURF", Body().S0("Wall").Append(surface))));
    int32_t rc;
    ObjectPtr lwob = ReadObject(file.Written(), LW_FILE_LWOB, &rc);
    ASSERT_EQ(rc, LW_ERR_NONE);
    EXPECT_EQ(lwob->NumClips, 2);  // the reflection and texture images became clips; the empty name none
    TempPath lwo2Path, lwobPath;
    ASSERT_EQ(WriteLwo2File(lwob.get(), lwo2Path.c_str(), 0), LW_ERR_NONE);
    EXPECT_EQ(lwob->NumClips, 2);  // saving changes nothing
    const Bytes written = lwo2Path.Read();
    ASSERT_GT(written.size(), 8u);
    EXPECT_EQ((uint32_t)written[4] << 24 | written[5] << 16 | written[6] << 8 | written[7], written.size() - 8);
    ObjectPtr lwo2 = ReadObject(written, LW_FILE_LWO2, &rc);
    ASSERT_EQ(rc, LW_ERR_NONE);
    EXPECT_EQ(lwo2->NumClips, 2);
    LwSurfaceEntry* wall = lwo2->Op.FindSurface(lwo2.get(), "Wall");
    Lwo2Surface middle;
    ParseLwo2Surface(lwo2.get(), (uint32_t)wall->DataSize, wall->Data, &middle);
    char name[LW_CLIP_NAME_SIZE];
    EXPECT_STREQ(GetClipDisplayName(lwo2.get(), (int32_t)middle.Blocks.at(0).Chunks[LW_BLOK_IMAG]->Int[0], name),
                 "images\\wall.tga");
    EXPECT_STREQ(GetClipDisplayName(lwo2.get(), (int32_t)middle.Chunks[LW_SURF_RIMG]->Int[0], name), "images\\sky.tga");

    ASSERT_EQ(WriteLwobFile(lwo2.get(), lwobPath.c_str(), 0), LW_ERR_NONE);
    ObjectPtr back = ReadObject(lwobPath.Read(), LW_FILE_LWOB, &rc);
    ASSERT_EQ(rc, LW_ERR_NONE);
    wall = back->Op.FindSurface(back.get(), "Wall");
    LwobSurface last;
    ParseLwobSurface(back.get(), (uint32_t)wall->DataSize, wall->Data, &last);
    EXPECT_TRUE(last.Chunks[LWOB_FLAG]->Int[0] & 0x100);
    EXPECT_FLOAT_EQ(last.Chunks[LWOB_VDIF]->Float[0], 0.75f);
    EXPECT_EQ(last.Chunks[LWOB_GLOS]->Int[0], 64u);
    ASSERT_EQ(last.Textures.size(), 1u);
    EXPECT_EQ(last.Textures[0].Timg->Name, "images\\wall.tga");
    EXPECT_EQ(back->Op.GetPolygon(back.get(), 0)->SurfaceId, wall->Id);
}

}  // namespace
