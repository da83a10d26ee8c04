// LWO2 clip bodies: every sub-chunk read back byte for byte, the dump, display names and the clips
// made for image files.
#include "tests/lightwave/ChunkBodies.h"

#include <gtest/gtest.h>

namespace {

using namespace lwobj;

Bytes Repacked(LwObject* o, const Bytes& body, Lwo2Clip* clip) {
    ParseClip(o, (uint32_t)body.size(), body.data(), clip);
    return Packed(o, clip, GetClipSize, PackClip);
}

TEST(Lwo2Clip, AnimReadsItsTwoNamesAndDropsTheRest) {
    LoggedObject o;
    Lwo2Clip clip;
    Bytes packed = Repacked(o.get(), Body().Sub("ANIM", Body().S0("a").S0("b").U2(1).U2(2)).Written(), &clip);
    EXPECT_EQ(packed, Body().Sub("ANIM", Body().S0("a").S0("b")).Written());
    EXPECT_EQ(o.log.Text(), "??? INVALIC ChunkBuff SIZE  4 bytes over\n");
}

TEST(Lwo2Clip, DumpText) {
    LoggedObject o;
    Body made;
    made.Sub("ISEQ", Body().U1(3).U1(0).U2(0).U2(0).U2(1).U2(5).S0("C:img/a").S0(".tga"));
    made.Sub("STIL", Body().S0("C:a.tga")).Sub("HUE ", Body().F4(0.5f).VX(2));
    made.Sub("IFLT", Body().S0("f").U2(1).U1(0x0A).U1(0xFF)).Sub("FLAG", Body().U4(0x12)).Sub("AMOD", Body().U2(3));
    Bytes body = made.Written();
    Lwo2Clip clip;
    ParseClip(o.get(), (uint32_t)body.size(), body.data(), &clip);
    GetClipSize(o.get(), &clip);
    EXPECT_EQ(Dumped([&](FILE* f) { DumpClip(o.get(), &clip, f); }),
              "[STIL] (8) <C:a.tga>\n[ISEQ] (24) <3> <0> <0> <0> <1> <5> <C:img/a> <.tga>\n"
              "[HUE ] (6) <0.500000> <2>\n[IFLT] (6) <f> <1>\n\t0x0a, 0xff, \n[FLAG] (4) <0x00000012>\n"
              "[AMOD] (2) <0x0003>\n");
}

TEST(Lwo2Clip, DisplayNames) {
    const struct {
        const char* name;
        Body body;
        const char* display;
    } cases[] = {
        {"still", Body().Sub("STIL", Body().S0("C:images/sky.tga")), "C:\\images\\sky.tga"},
        {"sequence over still",
         Body()
             .Sub("STIL", Body().S0("C:a.tga"))
             .Sub("ISEQ", Body().U1(3).U1(0).U2(0).U2(0).U2(1).U2(1).S0("C:s/img").S0(".tga")),
         "C:\\s\\img (sequence)"},
        {"animation over both", Body().Sub("STIL", Body().S0("a")).Sub("ANIM", Body().S0("C:m/a.avi").S0("srv")),
         "C:\\m\\a.avi"},
        {"no image", Body().Sub("NEGA", Body().U2(1)), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedObject o;
        LwObject* obj = o.get();
        Bytes body = c.body.Written();
        const int32_t position = obj->Op.AddClip(obj, 5);
        obj->Op.SetClipData(obj, position, (int32_t)body.size(), body.data());
        char name[LW_CLIP_NAME_SIZE] = "x";
        EXPECT_STREQ(GetClipDisplayName(obj, 5, name), c.display);  // parsed from the body
        EXPECT_EQ(CompleteClip(obj, position), position);
        EXPECT_STREQ(obj->Op.GetClip(obj, position)->Name, c.display);
    }
}

TEST(Lwo2Clip, LookupsAndAddedClips) {
    LoggedObject o;
    LwObject* obj = o.get();
    char name[LW_CLIP_NAME_SIZE] = "x";
    EXPECT_EQ(GetClipDisplayName(obj, 1, name), nullptr);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(CompleteClip(obj, 0), -1);

    const int32_t still = AddStillClip(obj, "C:\\tex\\wood.png");
    LwClipEntry* entry = obj->Op.GetClip(obj, obj->Op.GetClipPosition(obj, still));
    EXPECT_STREQ(entry->Name, "C:\\tex\\wood.png");
    Lwo2Clip clip;
    ParseClip(obj, (uint32_t)entry->DataSize, entry->Data, &clip);
    EXPECT_EQ(clip.Chunks[LW_CLIP_STIL]->Text[0], "C:tex/wood.png");
    EXPECT_EQ(FindClipByDisplayName(obj, "c:\\TEX\\WOOD.PNG"), still);

    LwobImageRef image;
    image.Name = "C:\\tex\\img001.tga (sequence)";
    image.Chunks[LWOB_IMSQ].reset(new LwSubChunk());
    image.Chunks[LWOB_IMSQ]->Int[0] = 4;      // offset
    image.Chunks[LWOB_IMSQ]->Int[1] = 0x102;  // flags in the low byte
    image.Chunks[LWOB_IMSQ]->Int[2] = 7;      // reserved
    const int32_t sequence = AddImageClip(obj, &image);
    EXPECT_EQ(obj->Op.GetNumClips(obj), 2);
    EXPECT_STREQ(GetClipDisplayName(obj, sequence, name), "C:\\tex\\img (sequence)");
    MakeClipFromImage(obj, &clip, &image);
    const LwSubChunk& iseq = *clip.Chunks[LW_CLIP_ISEQ];
    EXPECT_EQ(std::vector<uint32_t>(iseq.Int, iseq.Int + 6), (std::vector<uint32_t>{3, 2, 4, 7, 1, 1}));
    EXPECT_EQ(iseq.Text[0], "C:tex/img");
    EXPECT_EQ(iseq.Text[1], ".tga");
    image.Chunks[LWOB_IMSQ].reset();
    MakeClipFromImage(obj, &clip, &image);
    EXPECT_EQ(clip.Chunks[LW_CLIP_STIL]->Text[0], "C:tex/img001.tga (sequence)");
}

}  // namespace
