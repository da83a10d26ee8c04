// LWOB surface bodies: every sub-chunk read back byte for byte, siblings attached to their texture,
// image and shader, the packer's rewrites, the dump and the texture lookup.
#include "tests/lightwave/ChunkBodies.h"

#include <gtest/gtest.h>

namespace {

using namespace lwobj;

Bytes Repacked(LwObject* o, const Bytes& body, LwobSurface* s) {
    ParseLwobSurface(o, (uint32_t)body.size(), body.data(), s);
    return Packed(o, s, GetLwobSurfaceSize, PackLwobSurface);
}

TEST(LwobSurface, PackerRewritesAndOrphans) {
    const std::string longName(300, 'n');
    const struct {
        const char* name;
        Body in, out;
        const char* logged;
    } cases[] = {
        {"empty body", Body(), Body(), "***  SURFACE SIZE (0 / 0)  ***\n"},
        {"COLR of length 6 keeps four bytes",
         Body().Sub("COLR", Body().U1(1).U1(2).U1(3).U1(4).U2(9)).Sub("FLAG", Body().U2(1)),
         Body().Sub("COLR", Body().U1(1).U1(2).U1(3).U1(4)).Sub("FLAG", Body().U2(1)),
         "??? INVALIC ChunkBuff SIZE  2 bytes over\n"},
        {"FLAG of length 4 packs as 2", Body().Sub("FLAG", Body().U2(1).U2(0)), Body().Sub("FLAG", Body().U2(1)),
         nullptr},
        {"image sub-chunks follow RIMG before GLOW",
         Body().Sub("GLOW", Body().F4(1)).Sub("RIMG", Body().S0("a")).Sub("IMSQ", Body().U2(1).U2(2).U2(3)),
         Body().Sub("RIMG", Body().S0("a")).Sub("IMSQ", Body().U2(1).U2(2).U2(3)).Sub("GLOW", Body().F4(1)), nullptr},
        {"texture parameter before any texture", Body().Sub("TFLG", Body().U2(1)), Body(), "??? UNKNOWN ChunkBuff 2\n"},
        {"image sub-chunk before any image", Body().Sub("IMCC", Body().U2(1).U2(2).U2(3)), Body(),
         "??? UNKNOWN ChunkBuff 6\n"},
        {"shader data before any shader", Body().Sub("SDAT", Body().U2(1)), Body(), "??? UNKNOWN ChunkBuff 2\n"},
        {"long names keep 257 characters", Body().Sub("CTEX", Body().S0(longName)),
         Body().Sub("CTEX", Body().S0(longName.substr(0, 257))), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedObject o;
        LwobSurface s;
        EXPECT_EQ(Repacked(o.get(), c.in.Written(), &s), c.out.Written());
        if (c.logged) {
            EXPECT_NE(o.log.Text().find(c.logged), std::string::npos) << o.log.Text();
        }
    }
}

TEST(LwobSurface, DumpText) {
    LoggedObject o;
    Body made;
    made.Sub("COLR", Body().U1(200).U1(100).U1(0).U1(0)).Sub("DIFF", Body().U2(0xFFFF)).Sub("SMAN", Body().F4(1));
    made.Sub("RFLT", Body().U2(1)).Append(Image("RIMG", "sky")).Sub("CTEX", Body().S0("Planar Image Map"));
    made.Sub("TSIZ", Body().Vec(1, 2, 3)).Sub("TIMG", Body().S0("wood")).Sub("TWRP", Body().U2(1).U2(0));
    // Shader data bytes end with their own separators: no line end after a short group, no empty
    // line after a full one.
    made.Sub("SHDR", Body().S0("sh")).Sub("SDAT", Body().U1(1).U1(2));
    Body eight;
    for (uint8_t b = 1; b <= 8; ++b) eight.U1(b);
    made.Sub("SHDR", Body().S0("t")).Sub("SDAT", eight);
    Bytes body = made.Written();
    auto s = ParseLwobSurface(o.get(), (uint32_t)body.size(), body.data());
    EXPECT_EQ(Dumped([&](FILE* f) { DumpLwobSurface(o.get(), s.get(), f); }),
              "[COLR] (4) <200,100,0,0>\n[DIFF] (2) <-1>\n[RFLT] (2) <1>\n[RIMG] (4) <sky>\n"
              "\t\t[IMSQ] (6) <1> <2> <3>\n\t\t[FLYR] (8) <4> <5>\n\t\t[IMCC] (6) <6> <7> <8>\n"
              "[SMAN] (4) <1.000000>\n[CTEX] (18) <Planar Image Map>\n\t[TSIZ] (12) <1.000000,2.000000,3.000000>\n"
              "\t[TIMG] (6) <wood>\n\t[TWRP] (4) <1> <0>\n[SHDR] (4) <sh>\n[SDAT] (2) \t0x01, 0x02, "
              "[SHDR] (2) <t>\n[SDAT] (8) \t0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08\n");
}

TEST(LwobSurface, FindTextureSkipsThoseWithoutImage) {
    LoggedObject o;
    Body made;
    made.Sub("CTEX", Body().S0("Fractal Noise")).Sub("DTEX", Body().S0("Planar Image Map")).Sub("TIMG", Body().S0("d"));
    made.Sub("CTEX", Body().S0("Planar Image Map")).Sub("TIMG", Body().S0("c"));
    Bytes body = made.Written();
    auto s = ParseLwobSurface(o.get(), (uint32_t)body.size(), body.data());
    const LwId ctex = LwMakeId('C', 'T', 'E', 'X');
    EXPECT_EQ(FindLwobTexture(o.get(), s.get(), ctex, 0), &s->Textures[2]);
    EXPECT_EQ(FindLwobTexture(o.get(), s.get(), ctex, 1), nullptr);
    EXPECT_EQ(FindLwobTexture(o.get(), s.get(), LwMakeId('D', 'T', 'E', 'X'), 0), &s->Textures[1]);
}

}  // namespace
