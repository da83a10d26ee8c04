// Mutation fuzzer for the LightWave chunk readers. Each input is a script of reads: the first
// bytes choose the primitives, the rest is the body they read, through a memory cursor and through
// a file cursor over the same bytes. Build it with the sanitizers and run
//   lwchunkfuzz [seconds] [seed]
// Any overrun, hang or inconsistent count stops the run with the input printed in hex.
#include "lightwave/LwIff.h"

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

void Run(const Bytes& input) {
    if (input.size() < 2) return;
    size_t split = 1 + input[0] % 8;
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
    if (input.size() > 512) input.resize(512);
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    std::mt19937 rng(argc > 2 ? (uint32_t)strtoul(argv[2], nullptr, 10) : 1u);
    std::vector<Bytes> pool = {
        {3, 0x05, 0x14, 0x33, 'C', 'O', 'L', 'R', 0, 14, 'a', 'b', 'c', 0, 0xFF, 1, 2, 3},
        {2, 0x04, 0x03, 'n', 'a', 'm', 'e', 0, 0, 0xFE, 0xFF},
        {1, 0x02, 0x3F, 0x80, 0, 0, 0x3F, 0, 0, 0, 0xC0, 0, 0, 0},
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
