// LWO2 surface bodies and their texture blocks: every sub-chunk written and read back byte for
// byte, the rewrites the packer makes, the dump text and the image-block lookup.
#include "tests/lightwave/ChunkBodies.h"

#include <gtest/gtest.h>

namespace {

using namespace lwobj;

Bytes Repacked(LwObject* o, const Bytes& body, Lwo2Surface* s) {
    ParseLwo2Surface(o, (uint32_t)body.size(), body.data(), s);
    return Packed(o, s, GetLwo2SurfaceSize, PackLwo2Surface);
}

struct Rewrite {
    const char* name;
    Body in, out;
    const char* logged;     // a line the parse logs, or NULL
    const char* notLogged;  // text that must not appear
};

TEST(Lwo2Surface, PackerRewrites) {
    const std::string longText(300, 'a');
    const Rewrite cases[] = {
        {"SIDE of length 4 keeps its first value, silently", Body().Sub("SIDE", Body().U2(3).U2(9)),
         Body().Sub("SIDE", Body().U2(3)), nullptr, "INVALID"},
        {"DIFF two bytes over is re-seeked", Body().Sub("DIFF", FloatEnv(0.5f, 0).U2(7)).Sub("SMAN", Body().F4(1)),
         Body().Sub("DIFF", FloatEnv(0.5f, 0)).Sub("SMAN", Body().F4(1)),
         "??? (DIFF) INVALID SURF ChunkBuff SIZE  2 bytes over\n", nullptr},
        {"short LINE grows to its full form", Body().Sub("LINE", Body().U2(1)),
         Body().Sub("LINE", Body().U2(1).F4(0).VX(0).Vec(0, 0, 0).VX(0)), nullptr, "INVALID"},
        {"unknown sub-chunk is dropped", Body().Sub("XXXX", Body().U2(1)).Sub("SMAN", Body().F4(1)),
         Body().Sub("SMAN", Body().F4(1)), "??? UNKNOWN ChunkBuff 2\n", nullptr},
        {"packing order",
         Body().Sub("DIFF", FloatEnv(1, 0)).Sub("LUMI", FloatEnv(2, 0)).Sub("COLR", Body().Vec(1, 1, 1).VX(0)),
         Body().Sub("COLR", Body().Vec(1, 1, 1).VX(0)).Sub("LUMI", FloatEnv(2, 0)).Sub("DIFF", FloatEnv(1, 0)), nullptr,
         nullptr},
        {"last of a repeated sub-chunk wins", Body().Sub("DIFF", FloatEnv(1, 0)).Sub("DIFF", FloatEnv(2, 0)),
         Body().Sub("DIFF", FloatEnv(2, 0)), nullptr, nullptr},
        {"odd comment becomes an even S0", Body().Sub("CMNT", Body().Raw({'a', 'b', 'c'})),
         Body().Sub("CMNT", Body().S0("abc")), nullptr, "INVALID"},
        {"long comment keeps 255 characters", Body().Sub("CMNT", Body().Raw(Bytes(longText.begin(), longText.end()))),
         Body().Sub("CMNT", Body().S0(longText.substr(0, 255))), nullptr, "INVALID"},
        {"length past the body is clipped", Body().Sub("SMAN", Body().F4(1), 40), Body().Sub("SMAN", Body().F4(1)),
         "??? (SMAN) ChunkBuff LENGTH 40 PAST THE END, 4 bytes left\n", nullptr},
        {"TYPE in a header is written as CHAN",
         Body().Sub("BLOK", Body().Sub("IMAP", Body().S0("\x80").Sub("TYPE", Body().Id("DIFF")))),
         Body().Sub("BLOK", Body().Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("DIFF")))), nullptr, nullptr},
        {"VALU keeps three values", Body().Sub("BLOK", Body().Sub("VALU", Body().F4(1).F4(2).F4(3).F4(4))),
         Body().Sub("BLOK", Body().Sub("VALU", Body().F4(1).F4(2).F4(3))), nullptr, "INVALID"},
        {"ETPS index cut by its end", Body().Sub("BLOK", Body().Sub("ETPS", Body().VX(1).U1(0xFF))),
         Body().Sub("BLOK", Body().Sub("ETPS", Body().VX(1))), "??? (ETPS) INVALID BLOK ChunkBuff SIZE  1 bytes over\n",
         nullptr},
        {"unknown block sub-chunk", Body().Sub("BLOK", Body().Sub("ZZZZ", Body().U2(0)).Sub("PROJ", Body().U2(1))),
         Body().Sub("BLOK", Body().Sub("PROJ", Body().U2(1))), "??? UNKNOWN BLOK ChunkBuff (ZZZZ) 2 bytes\n", nullptr},
        {"unknown texture-map sub-chunk", Body().Sub("BLOK", Body().Sub("TMAP", Body().Sub("ZZZZ", Body()))),
         Body().Sub("BLOK", Body().Sub("TMAP", Body())), "??? UNKNOWN TMAP ChunkBuff (ZZZZ) 0 bytes\n", nullptr},
        {"trailing bytes too short for a header", Body().Sub("SMAN", Body().F4(1)).U2(0),
         Body().Sub("SMAN", Body().F4(1)), "??? 2 TRAILING BYTES DROPPED\n", nullptr},
    };
    for (const Rewrite& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedObject o;
        Lwo2Surface s;
        EXPECT_EQ(Repacked(o.get(), c.in.Written(), &s), c.out.Written());
        const std::string log = o.log.Text();
        if (c.logged) {
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        }
        if (c.notLogged) {
            EXPECT_EQ(log.find(c.notLogged), std::string::npos) << log;
        }
    }
}

TEST(Lwo2Surface, DumpText) {
    LoggedObject o;
    Body block;
    block.Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("COLR")).Sub("OPAC", Body().U2(0).F4(1).VX(0)));
    block.Sub("TMAP", Body().Sub("CNTR", Body().Vec(0, 1, 0).VX(0)).Sub("FALL", Body().U2(0).Vec(0, 0, 0).VX(0)));
    block.Sub("PROJ", Body().U2(5)).Sub("IMAG", Body().VX(1)).Sub("STCK", Body().U2(0).F4(0));
    block.Sub("VALU", Body().F4(1).F4(2)).Sub("FTPS", Body().F4(1).F4(2).F4(3).F4(4).F4(5).F4(6).F4(7).F4(8).F4(9));
    block.Sub("FUNC", Body().S0("f").U1(0xAB));
    Body made;
    made.Sub("SIDE", Body().U2(3)).Sub("COLR", Body().Vec(1, 0.5f, 0).VX(0)).Sub("LINE", Body().U2(1));
    made.Sub("GLOW", Body().U2(1).F4(0.5f).VX(2).F4(4).VX(3)).Sub("BLOK", block);
    made.Sub("VCOL", Body().F4(1).VX(0).Id("RGBA").S0("paint")).Sub("CMNT", Body().S0("hi"));
    Bytes body = made.Written();
    auto s = ParseLwo2Surface(o.get(), (uint32_t)body.size(), body.data());
    EXPECT_EQ(Dumped([&](FILE* f) { DumpLwo2Surface(o.get(), s.get(), f); }),
              "[COLR] (14) <1.000000,0.500000,0.000000> <0>\n[SIDE] (2) <3>\n"
              "[GLOW] (14) <1> <0.500000> <2> <4.000000> <3>\n"
              "[LINE] (22) <1> <0.000000> <0> <0.000000,0.000000,0.000000> <0>\n[BLOK] (173)\n\t[IMAP] (26) <\x80>\n"
              "\t\t[CHAN] (4) <COLR>\n\t\t[OPAC] (8) <0> <1.000000> <0>\n\t[PROJ] (2) <5>\n\t[TMAP] (42)\n"
              "\t\t[CNTR] (14) <0.000000,1.000000,0.000000> <0>\n"
              "\t\t[FALL] (16) <0> <0.000000,0.000000,0.000000> <0>\n\t[IMAG] (2) <1>\n"
              "\t[VALU] (8) <1.000000> <2.000000> \n\t[FTPS] (36) <9>\n"
              "\t1.000000, 2.000000, 3.000000, 4.000000, 5.000000, 6.000000, 7.000000, 8.000000\n\t9.000000, \n"
              "\t[FUNC] (3) <f>\n\t0xab, \n[CMNT] (4) <hi>\n[VCOL] (16) <1.000000> <0> <RGBA> <paint>\n");
}

TEST(Lwo2Surface, FindSurfaceImageBlock) {
    LoggedObject o;
    auto imageBlock = [](const char* type, const char* channel, bool image) {
        Body b;
        b.Sub(type, Body().S0("\x80").Sub("CHAN", Body().Id(channel)));
        if (image) b.Sub("IMAG", Body().VX(1));
        return Body().Sub("BLOK", b);
    };
    Body made;
    made.Append(imageBlock("IMAP", "COLR", true)).Append(imageBlock("PROC", "COLR", false));
    made.Sub("BLOK", Body().Sub("IMAG", Body().VX(1)));  // no header
    made.Append(imageBlock("IMAP", "COLR", false)).Append(imageBlock("IMAP", "COLR", true));
    made.Append(imageBlock("IMAP", "DIFF", true));
    Bytes body = made.Written();
    auto s = ParseLwo2Surface(o.get(), (uint32_t)body.size(), body.data());
    ASSERT_EQ(s->Blocks.size(), 6u);
    const struct {
        const char* channel;
        int n;
        int block;  // -1 for none
    } cases[] = {{"COLR", 0, 0}, {"COLR", 1, 4}, {"COLR", 2, -1}, {"DIFF", 0, 5}, {"BUMP", 0, -1}, {"COLR", -1, -1}};
    for (const auto& c : cases) {
        Lwo2SurfaceBlock* found = FindSurfaceImageBlock(
            o.get(), s.get(), LwMakeId(c.channel[0], c.channel[1], c.channel[2], c.channel[3]), c.n);
        EXPECT_EQ(found, c.block < 0 ? nullptr : &s->Blocks[c.block]) << c.channel << " " << c.n;
    }
}

}  // namespace
