// What every benchmark shares, and the one rule its targets follow.
// Two sides take turns within one run (the side that goes first changes every repetition), so that
// both sample the same stretch of a machine whose load comes and goes. Noise on a shared machine only
// ever adds time to work that does the same thing each time: the estimate of a side that load disturbs
// least is its floor, the lowest tenth of its repetitions (see Floor). A judged figure is the ratio of
// the judged side's floor to its reference's floor: a plain implementation of the same work on data of
// its own, or, where the work has no plain equivalent, the fixed reference piece (Reference.h); for work
// made of parts timed one by one, each side's floor is the sum of its parts' floors (FloorSum). Never a
// median of the pairs' ratios, which follows each pair's luck. The reference does none of the judged
// code's work and shares none of its data, so that the judged code at twice its cost moves the figure
// at least 1.6 times; each bound's comment gives that figure, measured with the judged code's work
// doubled by a temporary patch, and the figures seen from an idle machine to sixteen busy loops beside
// the program. A bound lies above all of those with margin and below the doubled figure.
// A loop that sleeps is judged by what it is for: the deadlines it keeps (the floor of its misses a
// run, as a busy machine only adds misses), and its thread's processor time a frame against an
// absolute bound (a busy neighbour delays its wake-ups, which can only shorten the time it spins). A
// path that should be "no slower" than another is judged at 1 plus a tolerance that its comment states
// and measures. Counts (calls, bytes, files opened, queries) are exact: no load moves them.
// Every target is printed with "met" or "missed", a missed one making the program exit 1 (see Status).
// A target that could not be measured (no GL device, no encoder, a side that failed its check or read
// short) is not met: it is printed with "not measured" and the reason, and the program exits 2; so does
// a program that judged nothing at all.
// An experiment (a change tried, to be adopted only if it pays) has no target: it prints what it
// found, through Finding.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Spread {
    double median = 0, min = 0, max = 0;
};

inline Spread SpreadOf(std::vector<double> v) {
    Spread s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.min = v.front();
    s.max = v.back();
    return s;
}

// "12.34 (min 11.90, max 13.02)", every figure multiplied by `scale`.
inline std::string Show(const Spread& s, double scale = 1, int decimals = 2) {
    char text[128];
    std::snprintf(text, sizeof text, "%.*f (min %.*f, max %.*f)", decimals, s.median * scale, decimals, s.min * scale,
                  decimals, s.max * scale);
    return text;
}

inline std::string Show(const std::vector<double>& v, double scale = 1, int decimals = 2) {
    return Show(SpreadOf(v), scale, decimals);
}

// The floor of a side's figures: the lowest tenth's top, the k-th lowest figure (one-based) for k the
// tenth of their count rounded up; the lowest figure when there are ten or fewer. Zero when empty.
inline double Floor(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[(v.size() - 1) / 10];
}

// The judged figure of two sides: a's floor over b's; infinite, so that no bound is met, when b's
// floor is not above zero.
inline double FloorRatio(const std::vector<double>& a, const std::vector<double>& b) {
    const double below = Floor(b);
    return below > 0 ? Floor(a) / below : HUGE_VAL;
}

// The floor of work made of parts each timed on its own: the sum of the parts' floors. The floor of the
// repetitions' sums would rise with every repetition whose noise fell on one part or another.
inline double FloorSum(const std::vector<const std::vector<double>*>& parts) {
    double sum = 0;
    for (const std::vector<double>* part : parts) sum += Floor(*part);
    return sum;
}

// The judged figure of two sides made of parts: a's floor sum over b's, infinite when b's is not above
// zero.
inline double FloorSumRatio(const std::vector<const std::vector<double>*>& a,
                            const std::vector<const std::vector<double>*>& b) {
    const double below = FloorSum(b);
    return below > 0 ? FloorSum(a) / below : HUGE_VAL;
}

// "floor 12.34 (median 12.90, max 13.02)": a side's floor with its median and highest figure, every figure
// multiplied by `scale`.
inline std::string ShowFloor(const std::vector<double>& v, double scale = 1, int decimals = 2) {
    const Spread s = SpreadOf(v);
    char text[128];
    std::snprintf(text, sizeof text, "floor %.*f (median %.*f, max %.*f)", decimals, Floor(v) * scale, decimals,
                  s.median * scale, decimals, s.max * scale);
    return text;
}

// The interval that holds the median of what `v` samples with at least 95% confidence, whatever the
// distribution (the order statistics a two-sided sign test gives), with the sample's median: a verdict
// that asks for the whole interval on one side of a bound does not turn on a few pairs that a passing
// load moved. With fewer than six figures no interval is that sure: it is then the whole range.
inline Spread MedianInterval(std::vector<double> v) {
    Spread s = SpreadOf(v);
    const std::size_t n = v.size();
    std::sort(v.begin(), v.end());
    // The largest k with P(X < k) <= 2.5% for X binomial(n, 1/2): the interval is the k-th figure from
    // either end (one-based).
    double term = std::pow(0.5, static_cast<double>(n));  // P(X = 0)
    double below = 0;
    std::size_t k = 0;
    while (k < n / 2 && below + term <= 0.025) {
        below += term;
        term *= static_cast<double>(n - k) / static_cast<double>(k + 1);
        ++k;
    }
    if (k == 0) return s;
    s.min = v[k - 1];
    s.max = v[n - k];
    return s;
}

// "1.02 (95% interval 0.98 to 1.05)".
inline std::string ShowInterval(const Spread& s, int decimals = 3) {
    char text[128];
    std::snprintf(text, sizeof text, "%.*f (95%% interval %.*f to %.*f)", decimals, s.median, decimals, s.min, decimals,
                  s.max);
    return text;
}

// Each pair's a / b: a ratio taken within one pair sees one machine.
inline std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> r;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (b[i] > 0) r.push_back(a[i] / b[i]);
    return r;
}

// Runs `a` and `b` `repetitions` times each, in turns, appending what each returns (its measure of one
// repetition) to `as` and `bs`. Which side goes first changes from pair to pair, counted over the pairs
// `as` already holds, so a caller taking one pair at a time alternates too.
template <typename A, typename B>
void Alternate(int repetitions, A&& a, B&& b, std::vector<double>& as, std::vector<double>& bs) {
    for (int i = 0; i < repetitions; ++i) {
        if (as.size() % 2 == 0) {
            as.push_back(a());
            bs.push_back(b());
        } else {
            bs.push_back(b());
            as.push_back(a());
        }
    }
}

// The same for any number of sides: each repetition runs every side once, starting one side further
// round than the repetition before; `out[k]` receives side k's measures.
inline void Rotate(int repetitions, const std::vector<std::function<double()>>& sides,
                   std::vector<std::vector<double>>& out) {
    const std::size_t n = sides.size();
    out.resize(n);
    for (int i = 0; i < repetitions && n > 0; ++i) {
        const std::size_t first = out[0].size() % n;
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t side = (first + k) % n;
            out[side].push_back(sides[side]());
        }
    }
}

// Targets judged, missed and not measured so far in this program.
inline int g_judged = 0, g_missed = 0, g_unmeasured = 0;

// Prints `what` followed by the verdict; returns whether it was met.
inline bool Verdict(const std::string& what, bool met) {
    std::printf("%s: %s\n", what.c_str(), met ? "met" : "missed");
    ++g_judged;
    g_missed += !met;
    return met;
}

// Prints the target `what` as not measured, and `why`: a target that could not be measured is not met.
inline void Unmeasured(const std::string& what, const std::string& why) {
    std::printf("%s: not measured (%s)\n", what.c_str(), why.c_str());
    ++g_unmeasured;
}

// Prints what an experiment found ("no gain: not adopted"); no verdict.
inline void Finding(const std::string& what, const std::string& found) {
    std::printf("%s: %s\n", what.c_str(), found.c_str());
}

// Exit statuses: every target judged and met; one missed; one not measured (none missed), or nothing
// judged at all. `./build.sh bench` names the programs by the lines they printed.
enum ExitStatus : int { kAllMet = 0, kMissed = 1, kNotMeasured = 2 };

// The program's exit status.
inline int Status() {
    if (g_missed > 0) return kMissed;
    if (g_unmeasured > 0) return kNotMeasured;
    if (g_judged == 0) {
        std::printf("no target judged: not measured\n");
        return kNotMeasured;
    }
    return kAllMet;
}

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

inline double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
inline double ProcessCpuSeconds() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }
inline double ThreadCpuSeconds() { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

// Processor seconds of the whole process, every thread (a driver's own threads too), in `f`.
template <typename F>
double ProcessCpuTime(F&& f) {
    const double start = ProcessCpuSeconds();
    f();
    return ProcessCpuSeconds() - start;
}

// Wall seconds `f` takes.
template <typename F>
double Time(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// This thread's processor seconds in `f`: for work done on one thread, a measure that a loaded machine
// inflates far less than wall time (time spent waiting for a core is not counted).
template <typename F>
double CpuTime(F&& f) {
    const double start = ThreadCpuSeconds();
    f();
    return ThreadCpuSeconds() - start;
}

}  // namespace bench
