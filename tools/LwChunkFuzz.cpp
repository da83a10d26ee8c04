// Mutation fuzzer for the LightWave chunk readers. The first byte of an input chooses the target:
// a script of primitive reads (the next bytes choose the primitives, the rest is the body they
// read, through a memory cursor and through a file cursor over the same bytes), or one of the body
// parsers (LWO2 surface, LWOB surface, clip, envelope with its evaluation) over the rest. Build it
// with the sanitizers and run
//   lwchunkfuzz [seconds] [seed]
// Any overrun, hang, inconsistent count or packed body that does not read back to itself stops the
// run with the input printed in hex.
#include "lightwave/LwChunks.h"
#include "lightwave/LwIff.h"
#include "lightwave/LwObject.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const char* what, const Bytes& input) {
    fprintf(stderr, "lwchunkfuzz: %s; input:", what);
    for (uint8_t b : input) fprintf(stderr, " %02x", b);
    fprintf(stderr, "\n");
    abort();
}

// Runs the script over a memory cursor; the body is copied into a block of its exact size.
void RunMemory(const Bytes& script, const Bytes& body, const Bytes& input) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[body.empty() ? 1 : body.size()]);
    if (!body.empty()) memcpy(block.get(), body.data(), body.size());
    ChunkBuff cb;
    OpenChunkBuff(&cb, block.get(), (uint32_t)body.size());
    char text[16] = "", id[5];
    uint16_t u2[4];
    uint32_t u4[4], vx;
    float f[12];
    for (size_t i = 0; i < 4096 && (cb.Flags & LW_CHUNK_OVERRUN) == 0; ++i) {
        uint8_t op = script[i % script.size()];
        uint32_t n = 1 + (op >> 4) % 4;
        uint32_t before = cb.Count;
        switch (op % 8) {
        case 0:
            ChunkReadU2(u2, n, &cb);
            break;
        case 1:
            ChunkReadU4(u4, n, &cb);
            break;
        case 2:
            ChunkReadVec12(f, n, &cb);
            break;
        case 3:
            ChunkReadVX(&vx, &cb);
            break;
        case 4:
            ChunkReadS0(text, sizeof(text), &cb);
            break;
        case 5:
            ChunkReadID4(id, &cb);
            break;
        case 6:
            ChunkSkip(n, &cb);
            break;
        default:
            ChunkReadWords(u4, n, &cb);
            break;
        }
        if (cb.Count > cb.Size || cb.Count < before) Fail("memory cursor left its body", input);
        if (strnlen(text, sizeof(text)) == sizeof(text)) Fail("text without its end", input);
    }
}

void RunFile(const Bytes& script, const Bytes& body, const Bytes& input) {
    if (body.empty()) return;
    FILE* file = fmemopen((void*)body.data(), body.size(), "rb");
    if (!file) return;
    IffFile f;
    OpenIffFile(&f, file);
    char text[16] = "", id[5];
    uint16_t u2[4];
    uint32_t u4[4], vx;
    float v[12];
    for (size_t i = 0; i < 4096 && !f.Error; ++i) {
        uint8_t op = script[i % script.size()];
        uint32_t n = 1 + (op >> 4) % 4;
        switch (op % 6) {
        case 0:
            IffReadU2(u2, n, &f);
            break;
        case 1:
            IffReadU4(u4, n, &f);
            break;
        case 2:
            IffReadVec12(v, n, &f);
            break;
        case 3:
            IffReadVX(&vx, &f);
            break;
        case 4:
            IffReadS0(text, sizeof(text), &f);
            break;
        default:
            IffReadID4(id, &f);
            break;
        }
        if (f.Count > body.size()) Fail("file cursor counted past the stream", input);
        if (strnlen(text, sizeof(text)) == sizeof(text)) Fail("text without its end", input);
    }
    fclose(file);
}

// Parses the body, packs it into exactly the size computed, and checks the packed body reads back to
// the same bytes.
template <typename Record, typename Parse, typename Size, typename Pack, typename Dump>
void RunBody(LwObject* o, const Bytes& body, const Bytes& input, Parse parse, Size size, Pack pack, Dump dump) {
    static FILE* discard = fopen("/dev/null", "w");
    Record r;
    parse(o, (uint32_t)body.size(), body.empty() ? nullptr : body.data(), &r);
    dump(o, &r, discard);
    Bytes packed(size(o, &r));
    if (pack(o, packed.data(), &r) != packed.size()) Fail("packed length differs from the size", input);
    Record again;
    parse(o, (uint32_t)packed.size(), packed.data(), &again);
    Bytes repacked(size(o, &again));
    pack(o, repacked.data(), &again);
    if (repacked != packed) Fail("packed body does not read back to itself", input);
}

void RunParsers(int target, const Bytes& body, const Bytes& input) {
    LwObject* o = CreateLwObject(0);
    switch (target) {
    case 1:
        RunBody<Lwo2Surface>(
            o, body, input,
            [](LwObject* ob, uint32_t n, const void* b, Lwo2Surface* s) { ParseLwo2Surface(ob, n, b, s); },
            GetLwo2SurfaceSize, PackLwo2Surface, DumpLwo2Surface);
        break;
    case 2:
        RunBody<LwobSurface>(
            o, body, input,
            [](LwObject* ob, uint32_t n, const void* b, LwobSurface* s) { ParseLwobSurface(ob, n, b, s); },
            GetLwobSurfaceSize, PackLwobSurface, DumpLwobSurface);
        break;
    case 3:
        RunBody<Lwo2Clip>(o, body, input, ParseClip, GetClipSize, PackClip, DumpClip);
        break;
    default: {
        Lwo2Envelope env;
        ParseEnvelope(o, (uint32_t)body.size(), body.data(), &env);
        if (GetEnvelopeSize(o, &env) % 2) Fail("odd envelope size", input);
        static FILE* discard = fopen("/dev/null", "w");
        DumpEnvelope(o, &env, discard);
        const int32_t position = o->Op.AddEnvelope(o, 1);
        o->Op.SetEnvelopeData(o, position, (int32_t)body.size(), body.data());
        auto eval = BuildEvalEnvelope(o, position);
        for (float t : {-1e30f, -3.0f, -0.5f, 0.0f, 0.25f, 1.0f, 2.5f, 1e9f}) EvaluateEnvelope(eval.get(), t);
        break;
    }
    }
    DestroyLwObject(&o);
}

void Run(const Bytes& input) {
    if (input.size() < 2) return;
    const int target = input[0] % 5;
    if (target != 0) {
        RunParsers(target, Bytes(input.begin() + 1, input.end()), input);
        return;
    }
    size_t split = 1 + input[0] / 5 % 8;
    if (split >= input.size()) split = input.size() - 1;
    Bytes script(input.begin() + 1, input.begin() + 1 + (long)split);
    Bytes body(input.begin() + 1 + (long)split, input.end());
    RunMemory(script, body, input);
    RunFile(script, body, input);
}

Bytes Mutate(Bytes input, std::mt19937& rng) {
    int edits = 1 + (int)(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        size_t at = input.empty() ? 0 : rng() % input.size();
        switch (rng() % 5) {
        case 0:
            if (!input.empty()) input[at] ^= (uint8_t)(1u << (rng() % 8));
            break;
        case 1:
            if (!input.empty()) input[at] = (uint8_t)rng();
            break;
        case 2:
            input.insert(input.begin() + (long)at, (uint8_t)rng());
            break;
        case 3:
            if (!input.empty()) input.resize(at);
            break;
        default:
            if (!input.empty()) input[at] = rng() % 2 ? 0xFF : 0x00;
            break;
        }
    }
    if (input.size() > 1024) input.resize(1024);
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    std::mt19937 rng(argc > 2 ? (uint32_t)strtoul(argv[2], nullptr, 10) : 1u);
    std::vector<Bytes> pool = {
        {15, 0x05, 0x14, 0x33, 'C', 'O', 'L', 'R', 0, 14, 'a', 'b', 'c', 0, 0xFF, 1, 2, 3},
        {10, 0x04, 0x03, 'n', 'a', 'm', 'e', 0, 0, 0xFE, 0xFF},
        {5, 0x02, 0x3F, 0x80, 0, 0, 0x3F, 0, 0, 0, 0xC0, 0, 0, 0},
        // LWO2 surface: COLR, SIDE, and a BLOK with an IMAP header, TMAP, IMAG and ETPS.
        {1,   'C',  'O', 'L', 'R', 0,   14,  0x3F, 0x80, 0,   0,   0,   0,   0,   0,   0x3F, 0x80, 0,   0,   0,
         0,   'S',  'I', 'D', 'E', 0,   2,   0,    3,    'B', 'L', 'O', 'K', 0,   64,  'I',  'M',  'A', 'P', 0,
         12,  0x80, 0,   'C', 'H', 'A', 'N', 0,    4,    'C', 'O', 'L', 'R', 'T', 'M', 'A',  'P',  0,   20,  'C',
         'N', 'T',  'R', 0,   14,  0,   0,   0,    0,    0,   0,   0,   0,   0,   0,   0,    0,    0,   0,   'I',
         'M', 'A',  'G', 0,   2,   0,   1,   'E',  'T',  'P', 'S', 0,   6,   0,   1,   0xFF, 0,    0,   2},
        // LWOB surface: COLR, CTEX with TIMG and IMSQ, SHDR with SDAT.
        {2, 'C', 'O', 'L', 'R', 0, 4, 1,   2, 3,   4,   'C', 'T', 'E', 'X', 0, 4, 'P', 'I', 0,
         0, 'T', 'I', 'M', 'G', 0, 2, 'a', 0, 'I', 'M', 'S', 'Q', 0,   6,   0, 1, 0,   2,   0,
         3, 'S', 'H', 'D', 'R', 0, 2, 's', 0, 'S', 'D', 'A', 'T', 0,   3,   1, 2, 3},
        // Clip: STIL, ISEQ, IFLT.
        {3, 'S', 'T', 'I', 'L', 0, 4,   'a', '.', 't', 0,   'I', 'S', 'E', 'Q', 0, 14,  3, 0, 0, 0,
         0, 0,   0,   1,   0,   5, 'p', 0,   '.', 0,   'I', 'F', 'L', 'T', 0,   5, 'f', 0, 0, 1, 9},
        // Envelope: PRE, POST, two keys with LINE and BEZ2 spans.
        {4,    'P',  'R', 'E', ' ', 0,    2,    0,    2,    'P', 'O',  'S',  'T', 0,    2,    0,    3,
         'K',  'E',  'Y', ' ', 0,   8,    0,    0,    0,    0,   0x3F, 0x80, 0,   0,    'S',  'P',  'A',
         'N',  0,    4,   'L', 'I', 'N',  'E',  'K',  'E',  'Y', ' ',  0,    8,   0x3F, 0x80, 0,    0,
         0x41, 0x20, 0,   0,   'S', 'P',  'A',  'N',  0,    20,  'B',  'E',  'Z', '2',  0xBE, 0xAA, 0xAA,
         0xAB, 0,    0,   0,   0,   0x3E, 0xAA, 0xAA, 0xAB, 0,   0,    0,    0},
    };
    long runs = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 256; ++i, ++runs) {
            Bytes input = Mutate(pool[rng() % pool.size()], rng);
            Run(input);
            if (pool.size() < 4096 && rng() % 16 == 0) pool.push_back(input);
        }
    }
    printf("lwchunkfuzz: %ld inputs, no fault\n", runs);
    return 0;
}
