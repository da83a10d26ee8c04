// A reference workload for a benchmark whose work has no plain equivalent: its figure is judged as a
// ratio to this piece timed beside it on the same thread, so that a machine whose load slows every
// processor time slows both sides of the ratio alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/Alternate.h"

namespace bench {

// A fixed piece of work of the kinds an engine frame is made of, on plain data of its own: matrix
// products over an array, text formatted into a table by key, a small stack machine stepping through
// a program by a jump table (branchy work, which a busy machine slows more than arithmetic), a pass over
// memory beyond the first-level cache in order (a walk by dependent loads would time the memory's
// latency, which the other programs on a shared machine move far more than they move the engine's
// work). Some 0.1 ms.
class Reference {
public:
    Reference() : matrices_(kMatrices * 16), memory_(kWords) {
        std::uint32_t x = 2463534242u;
        auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        for (float& f : matrices_) f = static_cast<float>(next() % 2001) / 1000.0f - 1.0f;
        for (std::uint32_t& w : memory_) w = next();
        // Sums and products of a counter, with a call and a comparison a turn, looping kTurns times.
        program_ = {{Op::Push, 0},  {Op::Store, 0}, {Op::Load, 0},      {Op::Push, 3}, {Op::Mul, 0},    {Op::Push, 1},
                    {Op::Add, 0},   {Op::Call, 0},  {Op::Store, 1},     {Op::Load, 0}, {Op::Push, 1},   {Op::Add, 0},
                    {Op::Store, 0}, {Op::Load, 0},  {Op::Push, kTurns}, {Op::Less, 0}, {Op::JumpIf, 2}, {Op::End, 0}};
    }
    // This thread's processor seconds for one piece.
    double Run() {
        return bench::CpuTime([&] {
            float sum = 0;
            for (std::size_t i = 0; i + 1 < kMatrices; ++i) {
                const float* a = &matrices_[i * 16];
                const float* b = &matrices_[(i + 1) * 16];
                float out[16];
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c) {
                        float v = 0;
                        for (int k = 0; k < 4; ++k) v += a[r * 4 + k] * b[k * 4 + c];
                        out[r * 4 + c] = v;
                    }
                sum += out[i % 16];
            }
            table_.clear();
            char key[32];
            for (int i = 0; i < kKeys; ++i) {
                std::snprintf(key, sizeof key, "item%03d.%d", i % 97, i);
                table_[key] += i;
            }
            sum += static_cast<float>(Interpret());
            std::uint32_t at = 0;
            for (std::uint32_t w : memory_) at = (at ^ w) * 16777619u;
            sink_ += static_cast<double>(sum) + at + static_cast<double>(table_.size());
        });
    }
    double sink_ = 0;

private:
    enum class Op { Push, Load, Store, Add, Mul, Less, JumpIf, Call, End };
    struct Step {
        Op op;
        int value;
    };
    double Interpret() {
        std::vector<double> stack;
        double slots[2] = {};
        for (std::size_t at = 0;;) {
            const Step& s = program_[at++];
            switch (s.op) {
            case Op::Push:
                stack.push_back(s.value);
                break;
            case Op::Load:
                stack.push_back(slots[s.value]);
                break;
            case Op::Store:
                slots[s.value] = stack.back(), stack.pop_back();
                break;
            case Op::Add:
                stack[stack.size() - 2] += stack.back(), stack.pop_back();
                break;
            case Op::Mul:
                stack[stack.size() - 2] *= stack.back(), stack.pop_back();
                break;
            case Op::Less:
                stack[stack.size() - 2] = stack[stack.size() - 2] < stack.back() ? 1 : 0, stack.pop_back();
                break;
            case Op::JumpIf:
                if (stack.back() != 0) at = static_cast<std::size_t>(s.value);
                stack.pop_back();
                break;
            case Op::Call:
                stack.back() = function_(stack.back());
                break;
            case Op::End:
                return slots[1];
            }
        }
    }
    static constexpr std::size_t kMatrices = 512, kWords = 32 * 1024;  // 128 KB
    static constexpr int kKeys = 300, kTurns = 1500;
    std::vector<Step> program_;
    std::function<double(double)> function_ = [](double x) { return x * 0.5 + 1; };
    std::vector<float> matrices_;
    std::vector<std::uint32_t> memory_;
    std::unordered_map<std::string, int> table_;
};

}  // namespace bench
