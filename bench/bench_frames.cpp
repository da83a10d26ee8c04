// The frame keeper at 60 frames per second with nothing drawn: the main thread's processor time, the
// frames delivered against the ideal count and how late they came, against a plain loop sleeping to
// absolute deadlines with std::this_thread::sleep_until in the same process.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "app_framework/FrameRateKeeper.h"

namespace {

constexpr int kRate = 60;
constexpr double kTargetPercent = 3.0;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t ThreadCpuNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Run {
    std::int64_t frames = 0, ideal = 0, cpuNs = 0, wallNs = 0, lateSumNs = 0, lateMaxNs = 0;
    // Counts and nanoseconds of a run stay far below 2^53: exact as doubles.
    static double D(std::int64_t v) { return static_cast<double>(v); }
    double CpuPercent() const { return wallNs > 0 ? 100.0 * D(cpuNs) / D(wallNs) : 0.0; }
    double MeanLateUs() const { return frames > 0 ? D(lateSumNs) / D(frames) / 1000.0 : 0.0; }
};

// Frames are due every interval from the first; records how late each one arrives.
class Deliveries : public trivale::IFrameTimerListener {
public:
    Deliveries(Run& run, std::int64_t interval) : run_(run), interval_(interval) {}
    void OnFrame(unsigned frames) override { Deliver(frames); }
    void Deliver(unsigned frames) {
        const std::int64_t now = Now();
        if (run_.frames == 0) start_ = now;
        const std::int64_t late = now - (start_ + run_.frames * interval_);
        run_.lateSumNs += std::max<std::int64_t>(late, 0);
        run_.lateMaxNs = std::max(run_.lateMaxNs, late);
        run_.frames += frames;
    }

private:
    Run& run_;
    std::int64_t start_ = 0, interval_;
};

const std::int64_t kInterval = (1000000000LL * 10 / kRate + 5) / 10;  // the keeper's rounding
// Two seconds and half an interval, so the run does not end on a deadline.
const std::int64_t kRunNs = 2 * kRate * kInterval + kInterval / 2;

void Finish(Run& run, std::int64_t start, std::int64_t cpu0) {
    run.cpuNs = ThreadCpuNs() - cpu0;
    run.wallNs = Now() - start;
    run.ideal = run.wallNs / kInterval + 1;
}

Run g_keeper, g_plain;

void BM_Keeper(benchmark::State& state) {
    for (auto _ : state) {
        Run run;
        trivale::CFrameRateKeeper keeper;
        keeper.SetFrameRate(kRate);
        const std::int64_t cpu0 = ThreadCpuNs();
        const std::int64_t start = Now();
        Deliveries deliveries(run, kInterval);
        keeper.SetListener(&deliveries);
        // The message loop's idle turns with an empty queue.
        while (Now() - start < kRunNs) keeper.OnIdle();
        Finish(run, start, cpu0);
        g_keeper = run;
    }
}
BENCHMARK(BM_Keeper)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainSleepUntil(benchmark::State& state) {
    for (auto _ : state) {
        Run run;
        const std::int64_t cpu0 = ThreadCpuNs();
        const auto begin = std::chrono::steady_clock::now();
        const std::int64_t start = Now();
        Deliveries deliveries(run, kInterval);
        for (auto deadline = begin; deadline - begin < std::chrono::nanoseconds(kRunNs);
             deadline += std::chrono::nanoseconds(kInterval)) {
            std::this_thread::sleep_until(deadline);
            deliveries.Deliver(1);
        }
        Finish(run, start, cpu0);
        g_plain = run;
    }
}
BENCHMARK(BM_PlainSleepUntil)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void Print(const char* name, const Run& run) {
    std::printf(
        "%-28s %6.3f%% of a core (%.2f ms in %.2f s), %lld frames of %lld ideal, late by %.1f us on "
        "average, %.1f us at most\n",
        name, run.CpuPercent(), Run::D(run.cpuNs) / 1e6, Run::D(run.wallNs) / 1e9, static_cast<long long>(run.frames),
        static_cast<long long>(run.ideal), run.MeanLateUs(), Run::D(run.lateMaxNs) / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_keeper.wallNs == 0 || g_plain.wallNs == 0) return 0;
    std::printf("main thread at %d frames per second, nothing drawn:\n", kRate);
    Print("frame keeper", g_keeper);
    Print("plain sleep_until loop", g_plain);
    std::printf("keeper / plain: processor time %.2fx (%+.3f points of a core), frames %lld / %lld\n",
                g_plain.cpuNs > 0 ? Run::D(g_keeper.cpuNs) / Run::D(g_plain.cpuNs) : 0.0,
                g_keeper.CpuPercent() - g_plain.CpuPercent(), static_cast<long long>(g_keeper.frames),
                static_cast<long long>(g_plain.frames));
    std::printf("target: under %.0f%% of a core and the ideal frame count: %s\n", kTargetPercent,
                g_keeper.CpuPercent() < kTargetPercent && g_keeper.frames == g_keeper.ideal ? "met" : "NOT MET");
    return 0;
}
