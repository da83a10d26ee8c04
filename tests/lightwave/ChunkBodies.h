// Chunk bodies shared by the body tests: every sub-chunk of each kind in packing order with
// canonical lengths, as the two-pass writer puts them into a file.
#pragma once

#include "lightwave/object/LwChunks.h"
#include "tests/lightwave/ObjectTestUtil.h"

namespace lwobj {

inline Body FloatEnv(float v, uint32_t env) { return Body().F4(v).VX(env); }

// Every block sub-chunk, header and texture map in packing order with canonical lengths.
inline Body FullBlock() {
    Body header;
    header.S0("\x80").Sub("CHAN", Body().Id("COLR")).Sub("NAME", Body().S0("layer"));
    header.Sub("OPAC", Body().U2(1).F4(0.5f).VX(2)).Sub("ENAB", Body().U2(1)).Sub("NEGA", Body().U2(0));
    header.Sub("AXIS", Body().U2(2));
    Body map;
    map.Sub("CNTR", Body().Vec(1, 2, 3).VX(0)).Sub("SIZE", Body().Vec(1, 1, 1).VX(0));
    map.Sub("ROTA", Body().Vec(0, 0.5f, 0).VX(4)).Sub("FALL", Body().U2(1).Vec(2, 2, 2).VX(0));
    map.Sub("OREF", Body().S0("ref")).Sub("CSYS", Body().U2(1));
    Body block;
    block.Sub("IMAP", header).Sub("TMAP", map).Sub("PROJ", Body().U2(0)).Sub("AXIS", Body().U2(2));
    block.Sub("FLAG", Body().U2(4)).Sub("IMAG", Body().VX(1)).Sub("WRAP", Body().U2(1).U2(2));
    block.Sub("WRPW", FloatEnv(1, 0)).Sub("WRPH", FloatEnv(2, 0)).Sub("VMAP", Body().S0("uv"));
    block.Sub("AAST", Body().U2(1).F4(0.25f)).Sub("PIXB", Body().U2(1)).Sub("STCK", Body().U2(0).F4(0));
    block.Sub("TAMP", FloatEnv(1, 3)).Sub("COLR", Body().Vec(1, 0, 0).VX(0)).Sub("VALU", Body().F4(1).F4(2));
    block.Sub("FTPS", Body().F4(1).F4(2).F4(3)).Sub("ITPS", Body().U2(1).U2(0xFFFF));
    block.Sub("ETPS", Body().VX(1).VX(0xFF00).VX(3)).Sub("GRST", Body().F4(0)).Sub("GREN", Body().F4(1));
    block.Sub("FUNC", Body().S0("fn").U1(1).U1(2));
    return Body().Sub("BLOK", block);
}

// Every surface sub-chunk in packing order, the block among them.
inline Body FullSurface() {
    Body s;
    s.Sub("COLR", Body().Vec(0.5f, 0.25f, 1).VX(0));
    for (const char* id : {"LUMI", "DIFF", "SPEC", "REFL", "TRAN", "TRNL", "SHRP", "GLOS", "BUMP"})
        s.Sub(id, FloatEnv(0.75f, 1));
    s.Sub("SMAN", Body().F4(1.5f)).Sub("RFOP", Body().U2(1)).Sub("SIDE", Body().U2(3)).Sub("RIMG", Body().VX(2));
    for (const char* id : {"RSAN", "RIND", "CLRH"}) s.Sub(id, FloatEnv(0.125f, 0));
    s.Sub("TROP", Body().U2(2)).Sub("TIMG", Body().VX(0xFF01));
    for (const char* id : {"TSAN", "CLRF", "ADTR"}) s.Sub(id, FloatEnv(0.5f, 0));
    s.Sub("GLOW", Body().U2(1).F4(0.5f).VX(0).F4(2).VX(5)).Sub("AVAL", Body().F4(0.5f)).Sub("GVAL", FloatEnv(1, 0));
    s.Sub("LINE", Body().U2(1).F4(2).VX(0).Vec(1, 1, 0).VX(0)).Sub("LCOL", Body().Vec(0, 1, 0).VX(0));
    s.Sub("LSIZ", FloatEnv(3, 0)).Sub("ALPH", Body().U2(1).F4(0.5f)).Append(FullBlock()).Sub("CMNT", Body().S0("note"));
    s.Sub("VCOL", Body().F4(1).VX(0).Id("RGBA").S0("paint")).Sub("RBLR", FloatEnv(0.25f, 0));
    s.Sub("TBLR", FloatEnv(0.5f, 0));
    return s;
}

inline Body EveryClipSubChunk() {
    Body b;
    b.Sub("STIL", Body().S0("C:images/sky.tga"));
    b.Sub("ISEQ", Body().U1(3).U1(1).U2(0xFFFE).U2(0).U2(1).U2(30).S0("C:img/a").S0(".tga"));
    b.Sub("ANIM", Body().S0("C:a.avi").S0("server")).Sub("XREF", Body().U4(2).S0("other"));
    b.Sub("STCC", Body().U2(0xFFFF).U2(2).S0("cc"));
    for (const char* id : {"CONT", "BRIT", "SATR", "HUE ", "GAMM"}) b.Sub(id, Body().F4(0.5f).VX(1));
    b.Sub("NEGA", Body().U2(1)).Sub("CROP", Body().F4(0).F4(0.25f).F4(0.5f).F4(1)).Sub("ALPH", Body().VX(3));
    b.Sub("COMP", Body().VX(4).F4(0.5f).VX(0xFF00)).Sub("IFLT", Body().S0("f").U2(1).U1(9));
    b.Sub("PFLT", Body().S0("p").U2(2)).Sub("FLAG", Body().U4(0x80000001)).Sub("TIME", Body().F4(1).F4(2).F4(3));
    b.Sub("AMOD", Body().U2(0x10));
    return b;
}

struct Key {
    float time, value;
    const char* shape;  // NULL for no SPAN
    std::vector<float> params;
};

inline Body Keys(const std::vector<Key>& keys) {
    Body b;
    for (const Key& k : keys) {
        b.Sub("KEY ", Body().F4(k.time).F4(k.value));
        if (!k.shape) continue;
        Body span;
        span.Id(k.shape);
        for (float p : k.params) span.F4(p);
        b.Sub("SPAN", span);
    }
    return b;
}

// An envelope of the object holding the body, numbered after the last; gives its position.
inline int32_t AddEnvelope(LwObject* o, const Body& body) {
    const Bytes bytes = body.Written();
    const int32_t position = o->Op.AddEnvelope(o, (uint16_t)(o->Op.GetNumEnvelopes(o) + 1));
    o->Op.SetEnvelopeData(o, position, (int32_t)bytes.size(), bytes.data());
    return position;
}

inline Body RichEnvelope() {
    Body b;
    b.Sub("NAME", Body().S0("Position.X")).Sub("PRE ", Body().U2(1)).Sub("TYPE", Body().U2(0x0301));
    b.Append(Keys({{0, 1, "TCB ", {0.5f, 0, -0.5f}}, {1, 2, "LINE", {}}})).Sub("POST", Body().U2(2));
    b.Sub("CHAN", Body().S0("srv").U2(1).U1(0xAB).U1(0xCD));
    return b;
}

inline Body Image(const char* id, const char* name) {
    Body b;
    b.Sub(id, Body().S0(name)).Sub("IMSQ", Body().U2(1).U2(2).U2(3)).Sub("FLYR", Body().U4(4).U4(5));
    b.Sub("IMCC", Body().U2(6).U2(7).U2(8));
    return b;
}

// Every sub-chunk in packing order with canonical lengths.
inline Body EveryLwobSubChunk() {
    Body b;
    b.Sub("COLR", Body().U1(255).U1(128).U1(0).U1(0)).Sub("FLAG", Body().U2(0x104));
    for (const char* id : {"DIFF", "LUMI", "SPEC", "REFL", "TRAN"}) b.Sub(id, Body().U2(0xFF00));
    for (const char* id : {"VDIF", "VLUM", "VSPC", "VRFL", "VTRN"}) b.Sub(id, Body().F4(0.5f));
    b.Sub("GLOS", Body().U2(64)).Sub("RFLT", Body().U2(1));
    for (const char* id : {"RSAN", "RIND", "EDGE", "SMAN"}) b.Sub(id, Body().F4(1.5f));
    b.Append(Image("RIMG", "C:\\sky.tga")).Sub("GLOW", Body().F4(0.25f)).Sub("ALPH", Body().U2(1).U2(2));
    b.Sub("SPBF", Body().U1(1).U1(2).U1(3).U1(4)).Sub("CTEX", Body().S0("Planar Image Map")).Sub("TFLG", Body().U2(4));
    b.Sub("TREF", Body().S0("ref"));
    for (const char* id : {"TSIZ", "TCTR", "TFAL", "TVEL"}) b.Sub(id, Body().Vec(1, 2, 3));
    b.Sub("TCLR", Body().U1(1).U1(2).U1(3).U1(0)).Sub("TVAL", Body().U2(0xFFFF)).Sub("TAMP", Body().F4(2));
    for (const char* id : {"TFP0", "TFP1", "TFP2", "TFP3", "TFP4"}) b.Sub(id, Body().F4(0.5f));
    for (const char* id : {"TIP0", "TIP1", "TIP2", "TIP3", "TIP4"}) b.Sub(id, Body().U2(3));
    for (const char* id : {"TSP0", "TSP1", "TSP2", "TSP3", "TSP4"}) b.Sub(id, Body().F4(0.75f));
    b.Sub("TFRQ", Body().U2(2)).Append(Image("TIMG", "C:\\img001.tga (sequence)")).Sub("TALP", Body().S0("alpha"));
    b.Sub("TWRP", Body().U2(1).U2(2)).Sub("TAAS", Body().F4(1)).Sub("TOPC", Body().F4(0.5f));
    b.Sub("BTEX", Body().S0("Fractal Bumps")).Sub("SHDR", Body().S0("shader")).Sub("SDAT", Body().U1(0xAB).U1(0xCD));
    return b;
}

}  // namespace lwobj
