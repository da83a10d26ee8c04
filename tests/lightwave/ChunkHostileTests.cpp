// Whole chunk bodies of every kind: canonical ones pack back byte for byte; records whose lengths no
// 16-bit field can hold are left out. Damaged bodies, packed and read back, are the chunk fuzz
// target's.
#include "tests/lightwave/ChunkBodies.h"

#include <gtest/gtest.h>

namespace {

using namespace lwobj;

// Dumps go nowhere, but every line is still formatted.
FILE* Discard() {
    static FILE* null = fopen("/dev/null", "w");
    return null;
}

// Parses, sizes, packs and dumps one body and gives the packed form, which must read back to the
// same bytes.
using Check = std::function<Bytes(LwObject*, const Bytes&)>;

template <typename Record, typename Parse, typename Size, typename Pack, typename Dump>
Check Packing(Parse parse, Size size, Pack pack, Dump dump) {
    return [=](LwObject* o, const Bytes& body) {
        Record r;
        parse(o, (uint32_t)body.size(), body.empty() ? nullptr : body.data(), &r);
        Bytes packed(size(o, &r));
        EXPECT_EQ(pack(o, packed.data(), &r), packed.size());
        dump(o, &r, Discard());
        Record again;
        parse(o, (uint32_t)packed.size(), packed.data(), &again);
        Bytes repacked(size(o, &again));
        pack(o, repacked.data(), &again);
        EXPECT_EQ(repacked, packed);
        return packed;
    };
}

struct Parser {
    const char* name;
    Body body;
    Check check;
};

std::vector<Parser> Parsers() {
    auto lwo2 = [](LwObject* o, uint32_t n, const void* b, Lwo2Surface* s) { ParseLwo2Surface(o, n, b, s); };
    auto lwob = [](LwObject* o, uint32_t n, const void* b, LwobSurface* s) { ParseLwobSurface(o, n, b, s); };
    return {
        {"LWO2 surface", FullSurface(),
         Packing<Lwo2Surface>(lwo2, GetLwo2SurfaceSize, PackLwo2Surface, DumpLwo2Surface)},
        {"LWOB surface", EveryLwobSubChunk(),
         Packing<LwobSurface>(lwob, GetLwobSurfaceSize, PackLwobSurface, DumpLwobSurface)},
        {"clip", EveryClipSubChunk(), Packing<Lwo2Clip>(ParseClip, GetClipSize, PackClip, DumpClip)},
        {"envelope",
         RichEnvelope().Append(Keys({{2, 0, "BEZ2", {1, 2, 3, 4}}, {3, 1, "HERM", {}}, {4, 2, "STEP", {}}})),
         [](LwObject* o, const Bytes& body) {
             Lwo2Envelope env;
             ParseEnvelope(o, (uint32_t)body.size(), body.data(), &env);
             EXPECT_EQ(GetEnvelopeSize(o, &env) % 2, 0u);
             DumpEnvelope(o, &env, Discard());
             const int32_t position = o->Op.AddEnvelope(o, 1);
             o->Op.SetEnvelopeData(o, position, (int32_t)body.size(), body.data());
             auto eval = BuildEvalEnvelope(o, position);
             for (float t : {-2.0f, 0.0f, 0.5f, 1.0f, 3.0f}) EvaluateEnvelope(eval.get(), t);
             return body;
         }},
    };
}

// Every sub-chunk of each kind, written in packing order with canonical lengths, reads and packs
// back byte for byte without a message.
TEST(ChunkBodies, EverySubChunkPacksBackByteForByte) {
    for (const Parser& p : Parsers()) {
        SCOPED_TRACE(p.name);
        LoggedObject o;
        const Bytes body = p.body.Written();
        EXPECT_EQ(p.check(o.get(), body), body);
        EXPECT_EQ(o.log.Text().find("???"), std::string::npos) << o.log.Text();
    }
}

// Values with no encoding (set through the records, never read from a file) leave their record out
// of the packed body rather than wrapping.
TEST(ChunkHostile, RecordsTooLongForTheirLengthFieldAreLeftOut) {
    LoggedObject o;
    Bytes body = FullSurface().Written();
    auto s = ParseLwo2Surface(o.get(), (uint32_t)body.size(), body.data());
    s->Chunks[LW_SURF_COLR]->Int[0] = 0x1000000;                        // VX above 24 bits
    s->Blocks[0].Chunks[LW_BLOK_FUNC]->Data.assign(0x10000, 1);         // 65536 data bytes
    s->Blocks[0].Header->Chunks[LW_HEAD_NAME].reset(new LwSubChunk());  // a header text up to its limit
    s->Blocks[0].Header->Chunks[LW_HEAD_NAME]->Text[0] = std::string(600, 'n');
    Bytes packed(GetLwo2SurfaceSize(o.get(), s.get()));
    EXPECT_EQ(PackLwo2Surface(o.get(), packed.data(), s.get()), packed.size());
    EXPECT_EQ(o.log.Text().find("PACK ERROR"), std::string::npos) << o.log.Text();
    auto back = ParseLwo2Surface(o.get(), (uint32_t)packed.size(), packed.data());
    EXPECT_EQ(back->Chunks[LW_SURF_COLR], nullptr);
    EXPECT_EQ(back->Blocks[0].Chunks[LW_BLOK_FUNC], nullptr);
    EXPECT_EQ(back->Blocks[0].Header->Chunks[LW_HEAD_NAME]->Text[0], std::string(255, 'n'));
}

// Arrays counted in 16 bits stop growing at 65535 records, whatever the body holds.
TEST(ChunkHostile, RecordCountsStopAtSixteenBits) {
    Body keys;
    for (int i = 0; i < 65536; ++i) keys.Sub("KEY ", Body().F4((float)i).F4(0));
    Bytes body = keys.Written();
    LoggedObject o;
    Lwo2Envelope env;
    ParseEnvelope(o.get(), (uint32_t)body.size(), body.data(), &env);
    EXPECT_EQ(env.Keys.size(), 65535u);
    EXPECT_NE(o.log.Text().find("??? TOO MANY KEY\n"), std::string::npos);
}

}  // namespace
