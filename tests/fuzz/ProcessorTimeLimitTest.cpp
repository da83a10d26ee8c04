// The fuzz programs' time limit: an input is a finding by the processor time it takes, never by the
// wall time a sleeping or starved input spends waiting.
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/FuzzSupport.h"

namespace {

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Works until this thread has run `seconds`, or until `wallLimit` seconds have passed (so that a
// limit that never fires fails the test instead of hanging it); returns 7.
int Spin(double seconds, double wallLimit = 60) {
    const auto start = std::chrono::steady_clock::now();
    const double until = ThreadSeconds() + seconds;
    volatile unsigned sink = 0;
    while (ThreadSeconds() < until &&
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < wallLimit)
        for (int i = 0; i < 10000; ++i) sink = sink + static_cast<unsigned>(i);
    return 7;
}

double WallSeconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TEST(ProcessorTimeLimitDeathTest, AnInputThatWorksPastTheLimitAbortsNamingTheLimit) {
    // Aborting (not exiting) is what makes libFuzzer keep the input as a finding.
    EXPECT_EXIT(fuzz::WithinProcessorTime(0.2, [] { return Spin(1e9, 20); }), testing::KilledBySignal(SIGABRT),
                "processor-time limit of 0.2 s passed by one input");
    EXPECT_EXIT(fuzz::WithinProcessorTime(0.2, [] { return Spin(0.6); }), testing::KilledBySignal(SIGABRT),
                "processor-time limit");
}

TEST(ProcessorTimeLimitTest, AnInputSlowOnlyInWallTimeIsNoFinding) {
    // Asleep three times the limit.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fuzz::WithinProcessorTime(0.2,
                                        [] {
                                            usleep(600000);
                                            return 7;
                                        }),
              7);
    EXPECT_GE(WallSeconds(start), 0.6);

    // Starved: three busy processes share the one processor this thread runs on, so half the limit
    // of work takes about twice the limit on the clock.
    cpu_set_t saved, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    std::vector<pid_t> busy;
    for (int i = 0; i < 3; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned sink = 0;
            for (;;) sink = sink + 1;
        }
        if (pid > 0) busy.push_back(pid);
    }
    start = std::chrono::steady_clock::now();
    const int result = fuzz::WithinProcessorTime(0.5, [] { return Spin(0.25); });
    const double wall = WallSeconds(start);
    for (pid_t pid : busy) kill(pid, SIGKILL);
    for (pid_t pid : busy) waitpid(pid, nullptr, 0);
    sched_setaffinity(0, sizeof saved, &saved);
    ASSERT_EQ(busy.size(), 3u);
    EXPECT_EQ(result, 7);
    EXPECT_GT(wall, 0.5) << "the work was not starved: it proves nothing";
}

TEST(ProcessorTimeLimitTest, TheLimitComesFromTheEnvironmentElseTenSeconds) {
    const struct {
        const char* text;
        double seconds;
    } cases[] = {{"1", 1},   {"0.5", 0.5}, {"60", 60},  {"", 10},   {"0", 10},
                 {"-1", 10}, {"2x", 10},   {"nan", 10}, {"1e9", 10}};
    for (const auto& c : cases) {
        setenv("FUZZ_CPU_LIMIT", c.text, 1);
        EXPECT_EQ(fuzz::ProcessorTimeLimit(), c.seconds) << c.text;
    }
    unsetenv("FUZZ_CPU_LIMIT");
    EXPECT_EQ(fuzz::ProcessorTimeLimit(), 10);
}

}  // namespace
