// The reference piece, where nothing around it moves it. Code that stays the same can still run at
// different speeds when the linker places it differently: a loop that straddles a fetch block or a
// cache line, branches that share predictor entries by their addresses. In two builds of the show's
// benchmark that differed only by an unused function elsewhere, the earlier piece, written in a header
// and inlined into its caller, took 0.118 ms in one and 0.101 ms in the other; this one takes 0.093 to
// 0.094 ms in both. So: every function of the piece starts a page of its own in a section of its own,
// the same bytes at the same page offset whatever else the program holds; none is inlined into a caller
// or takes a caller's code into itself (no templates, no shared inline helpers: the piece calls only the
// C library's formatting, which lies outside the program, and the clock); its data lie in one
// page-aligned block, its interpreter's stack among them.
#include "bench/Reference.h"

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#define TV_REFERENCE_CODE __attribute__((noinline, aligned(4096), section(".text.tv_bench_reference")))

namespace bench {

namespace {

constexpr std::uint32_t kMatrices = 512, kWords = 32 * 1024;  // 32 KB of matrices, 128 KB of words
constexpr int kKeys = 300, kTurns = 1500;
constexpr std::uint32_t kSlots = 512;  // the table's, a power of two above the 300 keys
constexpr int kKeyBytes = 32;

enum class Op : std::int32_t { Push, Load, Store, Add, Mul, Less, JumpIf, Call, End };
struct Step {
    Op op;
    std::int32_t value;
};
constexpr Step kProgram[] = {
    // Sums and products of a counter, with a call and a comparison a turn, looping kTurns times.
    {Op::Push, 0},  {Op::Store, 0}, {Op::Load, 0},      {Op::Push, 3}, {Op::Mul, 0},    {Op::Push, 1},
    {Op::Add, 0},   {Op::Call, 0},  {Op::Store, 1},     {Op::Load, 0}, {Op::Push, 1},   {Op::Add, 0},
    {Op::Store, 0}, {Op::Load, 0},  {Op::Push, kTurns}, {Op::Less, 0}, {Op::JumpIf, 2}, {Op::End, 0}};
constexpr std::uint32_t kSteps = sizeof kProgram / sizeof kProgram[0];

}  // namespace

struct Reference::Data {
    float matrices[kMatrices * 16];
    std::uint32_t words[kWords];
    char keys[kSlots][kKeyBytes];
    std::int32_t values[kSlots];
    std::uint32_t used[kSlots];  // the piece that last wrote the slot: a new piece finds the table empty
    std::uint32_t piece;
    Step program[kSteps];
    double stack[16];
    double (*function)(double);  // called through a pointer, as a callback is
};

namespace {

TV_REFERENCE_CODE double Half(double x) { return x * 0.5 + 1; }

TV_REFERENCE_CODE double Seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

TV_REFERENCE_CODE float Matrices(const float* m) {
    float sum = 0;
    for (std::uint32_t i = 0; i + 1 < kMatrices; ++i) {
        const float* a = &m[i * 16];
        const float* b = &m[(i + 1) * 16];
        float out[16];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                float v = 0;
                for (int k = 0; k < 4; ++k) v += a[r * 4 + k] * b[k * 4 + c];
                out[r * 4 + c] = v;
            }
        sum += out[i % 16];
    }
    return sum;
}

// Formats the keys into the table by open addressing, adding to the value of a key seen before; returns
// the keys held.
TV_REFERENCE_CODE std::uint32_t Table(Reference::Data& d) {
    ++d.piece;
    std::uint32_t held = 0;
    char key[kKeyBytes];
    for (int i = 0; i < kKeys; ++i) {
        const int length = std::snprintf(key, sizeof key, "item%03d.%d", i % 97, i);
        std::uint32_t hash = 2166136261u;
        for (int k = 0; k < length; ++k) hash = (hash ^ static_cast<unsigned char>(key[k])) * 16777619u;
        for (std::uint32_t slot = hash & (kSlots - 1);; slot = (slot + 1) & (kSlots - 1)) {
            if (d.used[slot] != d.piece) {
                d.used[slot] = d.piece;
                std::memcpy(d.keys[slot], key, static_cast<std::size_t>(length) + 1);
                d.values[slot] = i;
                ++held;
                break;
            }
            if (std::strcmp(d.keys[slot], key) == 0) {
                d.values[slot] += i;
                break;
            }
        }
    }
    return held;
}

TV_REFERENCE_CODE double Interpret(Reference::Data& d) {
    double* stack = d.stack;
    int top = 0;  // the next free entry
    double slots[2] = {};
    for (std::uint32_t at = 0;;) {
        const Step& s = d.program[at++];
        switch (s.op) {
        case Op::Push:
            stack[top++] = s.value;
            break;
        case Op::Load:
            stack[top++] = slots[s.value];
            break;
        case Op::Store:
            slots[s.value] = stack[--top];
            break;
        case Op::Add:
            --top, stack[top - 1] += stack[top];
            break;
        case Op::Mul:
            --top, stack[top - 1] *= stack[top];
            break;
        case Op::Less:
            --top, stack[top - 1] = stack[top - 1] < stack[top] ? 1 : 0;
            break;
        case Op::JumpIf:
            if (stack[--top] != 0) at = static_cast<std::uint32_t>(s.value);
            break;
        case Op::Call:
            stack[top - 1] = d.function(stack[top - 1]);
            break;
        case Op::End:
            return slots[1];
        }
    }
}

TV_REFERENCE_CODE std::uint32_t Pass(const std::uint32_t* words) {
    std::uint32_t at = 0;
    for (std::uint32_t i = 0; i < kWords; ++i) at = (at ^ words[i]) * 16777619u;
    return at;
}

}  // namespace

TV_REFERENCE_CODE Reference::Reference() {
    void* block = std::aligned_alloc(4096, (sizeof(Data) + 4095) / 4096 * 4096);
    if (block == nullptr) throw std::bad_alloc();
    data_ = new (block) Data();
    std::uint32_t x = 2463534242u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (float& f : data_->matrices) f = static_cast<float>(next() % 2001) / 1000.0f - 1.0f;
    for (std::uint32_t& w : data_->words) w = next();
    std::memcpy(data_->program, kProgram, sizeof kProgram);
    data_->function = Half;
}

TV_REFERENCE_CODE Reference::~Reference() {
    data_->~Data();
    std::free(data_);
}

TV_REFERENCE_CODE double Reference::Run() {
    Data& d = *data_;
    const double start = Seconds();
    float sum = Matrices(d.matrices);
    const std::uint32_t held = Table(d);
    sum += static_cast<float>(Interpret(d));
    const std::uint32_t at = Pass(d.words);
    const double seconds = Seconds() - start;
    sink_ += static_cast<double>(sum) + at + held;
    return seconds;
}

}  // namespace bench
