// The LightWave chunk readers. The first byte of an input chooses the target: a script of primitive
// reads (the next bytes choose the primitives, the rest is the body they read, through a memory cursor
// and through a file cursor over the same bytes), or one of the body parsers (LWO2 surface, LWOB
// surface, clip, envelope with its evaluation) over the rest. An overrun, a hang, an inconsistent count,
// a packed body that does not read back to itself or an envelope value that depends on the evaluations
// before it is a finding.
#include "lightwave/object/LwChunks.h"
#include "lightwave/object/LwIff.h"
#include "lightwave/object/LwObject.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const char* what, const Bytes& input) {
    fprintf(stderr, "fuzz_lwchunk: %s; input:", what);
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
        std::vector<float> times = {-1e30f, 2.5f, 1.0f, -3.0f, 0.25f, -0.5f, 0.0f, 1e9f};
        // The keys' own times and the times between them, latest first, so that a search start left
        // behind is met again.
        for (size_t i = std::min<size_t>(eval ? eval->Keys.size() : 0, 16); i-- > 0;) {
            times.push_back(eval->Keys[i].Time);
            if (i > 0) times.push_back(eval->Keys[i].Time * 0.5f + eval->Keys[i - 1].Time * 0.5f);
        }
        // A value never depends on the evaluations before it.
        for (float t : times) {
            const float used = EvaluateEnvelope(eval.get(), t);
            const float fresh = EvaluateEnvelope(BuildEvalEnvelope(o, position).get(), t);
            if (!(std::isnan(used) && std::isnan(fresh)) && memcmp(&used, &fresh, sizeof used) != 0)
                Fail("an envelope's value depends on earlier evaluations", input);
        }
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Run(Bytes(data, data + size));
    return 0;
}
