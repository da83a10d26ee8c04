// The frame keeper at 60 frames per second with nothing drawn: the main thread's processor time, the
// frames delivered against the ideal count and how late they came, against a plain loop sleeping to
// absolute deadlines with std::this_thread::sleep_until in the same process, the two taking turns.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "app_framework/FrameRateKeeper.h"
#include "bench/Alternate.h"

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
// A second and half an interval, so a run does not end on a deadline.
const std::int64_t kRunNs = kRate * kInterval + kInterval / 2;
constexpr int kRepetitions = 7;  // alternated runs a side

void Finish(Run& run, std::int64_t start, std::int64_t cpu0) {
    run.cpuNs = ThreadCpuNs() - cpu0;
    run.wallNs = Now() - start;
    run.ideal = run.wallNs / kInterval + 1;
}

Run KeeperRun() {
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
    return run;
}

Run PlainRun() {
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
    return run;
}

struct Figures {
    std::vector<double> cpuPercent, cpuMs, missing, meanLateUs, maxLateUs;
    void Add(const Run& run) {
        cpuPercent.push_back(run.CpuPercent());
        cpuMs.push_back(Run::D(run.cpuNs) / 1e6);
        missing.push_back(Run::D(run.ideal - run.frames));
        meanLateUs.push_back(run.MeanLateUs());
        maxLateUs.push_back(Run::D(run.lateMaxNs) / 1000.0);
    }
};

void Print(const char* name, const Figures& f) {
    std::printf(
        "  %-24s %% of a core %s; processor ms %s; frames short of the ideal %s; late, us: mean %s, "
        "most %s\n",
        name, bench::Show(f.cpuPercent, 1, 3).c_str(), bench::Show(f.cpuMs).c_str(),
        bench::Show(f.missing, 1, 0).c_str(), bench::Show(f.meanLateUs, 1, 1).c_str(),
        bench::Show(f.maxLateUs, 1, 1).c_str());
}

}  // namespace

int main() {
    Figures keeper, plain;
    std::vector<double> keeperCpu, plainCpu;
    bench::Alternate(
        kRepetitions,
        [&] {
            const Run run = KeeperRun();
            keeper.Add(run);
            return Run::D(run.cpuNs);
        },
        [&] {
            const Run run = PlainRun();
            plain.Add(run);
            return Run::D(run.cpuNs);
        },
        keeperCpu, plainCpu);
    std::printf(
        "main thread at %d frames per second, nothing drawn, %d alternated runs of %.2f s a side; median (min, "
        "max):\n",
        kRate, kRepetitions, Run::D(kRunNs) / 1e9);
    Print("frame keeper", keeper);
    Print("plain sleep_until loop", plain);
    std::printf("keeper / plain processor time: %s\n", bench::Show(bench::Ratios(keeperCpu, plainCpu)).c_str());
    const bench::Spread cpu = bench::SpreadOf(keeper.cpuPercent);
    int ideal = 0;
    for (double m : keeper.missing) ideal += m == 0;
    char what[200];
    std::snprintf(what, sizeof what,
                  "frame keeper: %.3f%% of a core by the median, the ideal frame count in %d of %zu runs; target "
                  "median under %.0f%% and the ideal count in every run",
                  cpu.median, ideal, keeper.missing.size(), kTargetPercent);
    bench::Verdict(what, cpu.median < kTargetPercent && ideal == static_cast<int>(keeper.missing.size()));
    return 0;
}
