// A stop that the run does not honour in time, or a second stop signal, ends the process anyway: the
// watch reports it, puts the display back and ends with 128 + the signal's number, while whatever the
// main thread is stuck in (a decoder, a driver, a write to the log) holds on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "core/Log.h"
#include "platform/StopSignals.h"
#include "platform/StopWatchdog.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the watch did, in order, instead of ending the test's process.
class Watched {
public:
    plat::StopWatchdogOptions Options(milliseconds grace) {
        plat::StopWatchdogOptions options;
        options.grace = grace;
        options.report = [this](const std::string& line) { Note("report: " + line); };
        options.restoreDisplay = [this] { Note("restore"); };
        options.end = [this](int code) {
            std::lock_guard<std::mutex> lock(mutex_);
            code_ = code;
            endedAt_ = Clock::now();
            changed_.notify_all();
        };
        return options;
    }
    // The exit code the watch ended with, or -1 when it did not end within `limit`.
    int WaitForEnd(milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, limit, [&] { return code_ >= 0; });
        return code_;
    }
    Clock::time_point EndedAt() {
        std::lock_guard<std::mutex> lock(mutex_);
        return endedAt_;
    }
    std::vector<std::string> Steps() {
        std::lock_guard<std::mutex> lock(mutex_);
        return steps_;
    }

private:
    void Note(const std::string& step) {
        std::lock_guard<std::mutex> lock(mutex_);
        steps_.push_back(step);
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    int code_ = -1;
    Clock::time_point endedAt_;
    std::vector<std::string> steps_;
};

class StopWatchdogTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], nullptr, &saved_[i]);
        plat::CatchStopSignals();
        plat::ClearStopRequest();
    }
    void TearDown() override {
        plat::ClearStopRequest();
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
    }
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction saved_[3];
};

// The signal as the process `sender` sends it with kill, or as the kernel sends a terminal's key or
// hang-up (sender 0): the kernel lets a process tell itself that.
void SendAs(int signal, pid_t sender) {
    siginfo_t info = {};
    info.si_signo = signal;
    info.si_code = sender != 0 ? SI_USER : SI_KERNEL;
    info.si_pid = sender;
    info.si_uid = ::getuid();
    ASSERT_EQ(::syscall(SYS_rt_sigqueueinfo, ::getpid(), signal, &info), 0);
}

TEST_F(StopWatchdogTest, AStopNotHonouredWithinTheGraceEndsTheRunWithTheSignalsCode) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        plat::ClearStopRequest();
        Watched watched;
        plat::StopWatchdogOptions options = watched.Options(milliseconds(300));
        options.waitedForAProcessor = [] { return 0LL; };  // the line without a loaded machine's waits
        const plat::StopWatchdog watchdog(options);
        const Clock::time_point sent = Clock::now();
        ::raise(signal);
        ASSERT_EQ(watched.WaitForEnd(milliseconds(5000)), 128 + signal);
        const auto took = std::chrono::duration_cast<milliseconds>(watched.EndedAt() - sent);
        EXPECT_GE(took.count(), 290) << "ended before the grace was over";
        EXPECT_LT(took.count(), 3000);
        // The display is put back and the report made before the end.
        const std::vector<std::string> steps = watched.Steps();
        ASSERT_EQ(steps.size(), 2u);
        EXPECT_NE(std::find(steps.begin(), steps.end(), "restore"), steps.end());
        EXPECT_NE(
            std::find(steps.begin(), steps.end(),
                      "report: " + plat::ForcedStopLine(plat::ForcedStop::NotHonoured, signal, milliseconds(300))),
            steps.end());
    }
    EXPECT_EQ(plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGTERM, milliseconds(3000)),
              "the stop asked for by SIGTERM was not honoured within 3 s: the run is ended (exit code 143)");
    EXPECT_EQ(plat::ForcedStopLine(plat::ForcedStop::SecondSignal, SIGINT, milliseconds(3000)),
              "a second stop signal (SIGINT) came: the run is ended at once (by SIGINT: 130 in a shell)");
    EXPECT_EQ(plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGHUP, milliseconds(3000)),
              "the stop asked for by SIGHUP was not honoured within 3 s: the run is ended (exit code 129)");
}

TEST_F(StopWatchdogTest, ASecondStopSignalEndsTheRunAtOnce) {
    Watched watched;
    const plat::StopWatchdog watchdog(watched.Options(std::chrono::minutes(1)));
    ::raise(SIGTERM);
    EXPECT_EQ(watched.WaitForEnd(milliseconds(300)), -1) << "one signal has its grace";
    const Clock::time_point second = Clock::now();
    SendAs(SIGINT, 0);  // Ctrl+C at the terminal
    ASSERT_EQ(watched.WaitForEnd(milliseconds(5000)), 128 + SIGINT) << "the second signal's code";
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(watched.EndedAt() - second).count(), 10000);
    const std::vector<std::string> steps = watched.Steps();
    EXPECT_NE(std::find(steps.begin(), steps.end(),
                        "report: " + plat::ForcedStopLine(plat::ForcedStop::SecondSignal, SIGINT, milliseconds(60000))),
              steps.end());
    EXPECT_NE(std::find(steps.begin(), steps.end(), "restore"), steps.end());
}

TEST_F(StopWatchdogTest, ARunThatEndsOnItsOwnIsLeftAlone) {
    Watched watched;
    {
        const plat::StopWatchdog watchdog(watched.Options(milliseconds(1000)));
        ::raise(SIGTERM);
        std::this_thread::sleep_for(milliseconds(50));
    }  // the run honoured the stop
    EXPECT_EQ(watched.WaitForEnd(milliseconds(1500)), -1);
    EXPECT_TRUE(watched.Steps().empty());
    // Without a stop the watch waits for ever, and stands down at once.
    const Clock::time_point start = Clock::now();
    { const plat::StopWatchdog watchdog(watched.Options(milliseconds(1))); }
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), 5000);
    EXPECT_EQ(watched.WaitForEnd(milliseconds(100)), -1);
}

TEST_F(StopWatchdogTest, AStopBeforeTheWatchStartedCountsFromWhenItCame) {
    // Its grace was over before the watch started: ended at once, not a grace later. So is the longest
    // grace that the run's waits for a processor can give it.
    for (const bool waiting : {false, true}) {
        SCOPED_TRACE(waiting ? "waiting for a processor" : "");
        plat::ClearStopRequest();
        const Clock::time_point stopped = Clock::now();
        ::raise(SIGTERM);
        std::this_thread::sleep_for(milliseconds(2000));
        Watched watched;
        plat::StopWatchdogOptions options = watched.Options(milliseconds(waiting ? 300 : 1500));
        options.longestGrace = milliseconds(1500);
        options.waitedForAProcessor = [&] {  // all of its time since the stop
            return waiting ? std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - stopped).count() : 0;
        };
        const Clock::time_point start = Clock::now();
        const plat::StopWatchdog watchdog(options);
        ASSERT_EQ(watched.WaitForEnd(milliseconds(10000)), 128 + SIGTERM);
        EXPECT_LT(std::chrono::duration_cast<milliseconds>(watched.EndedAt() - start).count(), 1200);
    }
}

// Copies of one stop (the same signal from the same process within two seconds: timeout's signal to the
// program and then to its group, a process-group kill, a service manager, late on a loaded machine) are
// one stop; so are a hang-up's SIGHUPs from the terminal's shell and from the kernel. Another signal, one
// from another process, the same one sent again later, or a second key pressed at a terminal, however
// soon, is a second stop and ends the run at once.
TEST_F(StopWatchdogTest, CopiesOfOneStopAreOneStopAndASecondStopEndsTheRun) {
    const pid_t timeout = 4242, other = 4343, shell = 4444, kernel = 0;
    const struct {
        int first;
        pid_t from;
        int second;
        pid_t secondFrom;
        int apartMs;
        bool ends;
    } cases[] = {
        {SIGTERM, timeout, SIGTERM, timeout, 0, false},   {SIGTERM, timeout, SIGTERM, timeout, 30, false},
        {SIGTERM, timeout, SIGTERM, timeout, 600, false}, {SIGINT, timeout, SIGINT, timeout, 100, false},
        {SIGHUP, other, SIGHUP, kernel, 10, false},       {SIGINT, kernel, SIGINT, kernel, 100, true},
        {SIGINT, kernel, SIGINT, kernel, 0, true},        {SIGTERM, timeout, SIGTERM, other, 30, true},
        {SIGTERM, timeout, SIGINT, timeout, 0, false},    {SIGINT, kernel, SIGTERM, kernel, 60, true},
        {SIGTERM, timeout, SIGTERM, timeout, 2100, true}, {SIGHUP, shell, SIGTERM, shell, 5, false},
        {SIGHUP, shell, SIGTERM, other, 5, true},         {SIGHUP, shell, SIGINT, shell, 2100, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " from " + std::to_string(c.from) + " then " + std::to_string(c.second) +
                     " from " + std::to_string(c.secondFrom) + " " + std::to_string(c.apartMs) + " ms later");
        plat::ClearStopRequest();
        Watched watched;
        const plat::StopWatchdog watchdog(watched.Options(std::chrono::minutes(1)));
        SendAs(c.first, c.from);
        std::this_thread::sleep_for(milliseconds(c.apartMs));
        SendAs(c.second, c.secondFrom);
        EXPECT_EQ(plat::SeenStopSignals().count, c.ends ? 2 : 1);
        EXPECT_EQ(watched.WaitForEnd(milliseconds(c.ends ? 5000 : 300)), c.ends ? 128 + c.second : -1);
    }
    // A shell that closes with the run suspended: the kernel's SIGHUP for the orphaned group may be
    // taken before the shell's own; the shell's SIGTERM is still a copy.
    plat::ClearStopRequest();
    for (const auto& [signal, from] : {std::pair<int, pid_t>{SIGHUP, kernel}, {SIGHUP, shell}, {SIGTERM, shell}})
        SendAs(signal, from);
    EXPECT_EQ(plat::SeenStopSignals().count, 1);
    // A burst of copies starts no window of its own: a copy later than the window after the stop's first
    // signal is a second stop, however many came between.
    plat::ClearStopRequest();
    Watched watched;
    const plat::StopWatchdog watchdog(watched.Options(std::chrono::minutes(1)));
    for (int i = 0; i < 4; ++i) {
        SendAs(SIGTERM, timeout);
        std::this_thread::sleep_for(milliseconds(400));
    }
    EXPECT_EQ(plat::SeenStopSignals().count, 1);
    std::this_thread::sleep_for(milliseconds(600));
    SendAs(SIGTERM, timeout);
    EXPECT_EQ(watched.WaitForEnd(milliseconds(5000)), 128 + SIGTERM);
    EXPECT_EQ(plat::kCopyWindowSeconds, 2);
}

// The grace counts from the run's last step of progress: a shut-down whose steps each take less than
// the grace is never ended, however long it takes in all; one that stops moving is ended a grace after
// its last step.
TEST_F(StopWatchdogTest, ASlowRunIsLeftToEndAndAStuckOneIsEndedAGraceAfterItsLastStep) {
    Watched watched;
    const plat::StopWatchdog watchdog(watched.Options(milliseconds(1000)));
    plat::NoteStopProgress();  // before the stop: no grace of its own
    std::this_thread::sleep_for(milliseconds(100));
    ::raise(SIGTERM);
    Clock::time_point last = Clock::now();
    for (int step = 0; step < 10; ++step) {  // 10 steps of 250 ms: more than two graces in all
        std::this_thread::sleep_for(milliseconds(250));
        ASSERT_EQ(watched.WaitForEnd(milliseconds(0)), -1) << "ended at step " << step;
        plat::NoteStopProgress();
        last = Clock::now();
    }
    ASSERT_EQ(watched.WaitForEnd(milliseconds(10000)), 128 + SIGTERM);
    const auto after = std::chrono::duration_cast<milliseconds>(watched.EndedAt() - last).count();
    EXPECT_GE(after, 990) << "ended before a grace without progress";
    EXPECT_LT(after, 4000);
}

// Time the run waited for a processor is no time without progress: a run that a loaded machine holds up
// is not stuck. Once it gets the processor again and makes no progress, it is ended a grace later; so
// it is when the thread that waited has ended (the run joined it). The waits lengthen the grace only up
// to its longest after the stop: a stuck thread that spins waits as long as it shares a processor. The
// line tells the time the run was given.
TEST_F(StopWatchdogTest, TimeTheRunWaitedForAProcessorIsNotCounted) {
    enum class Then { GivenTheProcessor, ThreadEnded, WaitsForEver };
    for (const Then then : {Then::GivenTheProcessor, Then::ThreadEnded, Then::WaitsForEver}) {
        SCOPED_TRACE(static_cast<int>(then));
        plat::ClearStopRequest();
        Watched watched;
        Clock::time_point begun;
        std::atomic<long long> releasedAfter{-1};  // nanoseconds after `begun`
        std::atomic<long long> longestTold{0};
        const auto since = [&] {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - begun).count();
        };
        const milliseconds grace(then == Then::ThreadEnded ? 1500 : 300);
        plat::StopWatchdogOptions options = watched.Options(grace);
        options.longestGrace = then == Then::WaitsForEver ? milliseconds(3000) : std::chrono::minutes(1);
        // All of its time since the stop, until released; then what it had, or nothing (its thread ended).
        options.waitedForAProcessor = [&] {
            const long long waited = releasedAfter < 0 ? since() : then == Then::ThreadEnded ? 0 : releasedAfter.load();
            longestTold = std::max(longestTold.load(), waited);
            return waited;
        };
        const plat::StopWatchdog watchdog(options);
        begun = Clock::now();
        ::raise(SIGTERM);
        EXPECT_EQ(watched.WaitForEnd(milliseconds(1500)), -1) << "ended while it waited for a processor";
        const Clock::time_point releasedAt = Clock::now();
        if (then != Then::WaitsForEver) releasedAfter = since();
        ASSERT_EQ(watched.WaitForEnd(milliseconds(15000)), 128 + SIGTERM);
        if (then == Then::WaitsForEver) {
            EXPECT_GE(watched.EndedAt() - begun, milliseconds(3000)) << "ended before the longest grace";
            EXPECT_LT(watched.EndedAt() - begun, milliseconds(8000)) << "the waits held the end off";
        } else {
            // The waits are looked at four times a second: the last look before the release saw nearly all.
            EXPECT_GE(watched.EndedAt() - releasedAt, grace - milliseconds(then == Then::ThreadEnded ? 500 : 0));
        }
        const long long waited = then == Then::WaitsForEver ? 2700 : longestTold.load() / 1000000;
        ASSERT_FALSE(watched.Steps().empty());
        EXPECT_EQ(watched.Steps().front(), "report: " + plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGTERM,
                                                                             grace, milliseconds(waited)));
    }
    EXPECT_EQ(plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGTERM, milliseconds(3000), milliseconds(4420)),
              "the stop asked for by SIGTERM was not honoured within 3 s (7.4 s with the time a loaded machine "
              "kept it waiting): the run is ended (exit code 143)");
    EXPECT_EQ(plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGTERM, milliseconds(3000), milliseconds(40)),
              plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGTERM, milliseconds(3000)));
}

// Once the run's teardown is done, nothing ends it by force: not a stop it has not honoured, not a
// second signal.
TEST_F(StopWatchdogTest, ARunWhoseEndHasBegunIsNeverEndedByForce) {
    Watched watched;
    const plat::StopWatchdog watchdog(watched.Options(milliseconds(1000)));
    ::raise(SIGTERM);
    plat::NoteRunEnding();
    EXPECT_FALSE(plat::ForcedEndUnderWay());
    std::this_thread::sleep_for(milliseconds(1500));
    ::raise(SIGINT);
    EXPECT_EQ(watched.WaitForEnd(milliseconds(1000)), -1);
    EXPECT_TRUE(watched.Steps().empty());
}

// A fault the run cannot go on from (its window gone), found where nothing may be done about it, is
// handed to the watch, which ends the run at once with the line and code asked for; the first request
// counts, and a run whose teardown is done is left alone.
TEST_F(StopWatchdogTest, AnEndAskedForEndsTheRunAtOnceWithItsLineAndCode) {
    EXPECT_FALSE(plat::RequestEndNow("no watch to end it", 1));
    {
        Watched watched;
        const plat::StopWatchdog watchdog(watched.Options(std::chrono::minutes(1)));
        ASSERT_TRUE(plat::RequestEndNow("the window is gone", 1));
        EXPECT_TRUE(plat::RequestEndNow("a second fault", 2));
        ASSERT_EQ(watched.WaitForEnd(milliseconds(5000)), 1);
        EXPECT_EQ(watched.Steps(), (std::vector<std::string>{"report: the window is gone", "restore"}));
    }
    Watched watched;
    const plat::StopWatchdog watchdog(watched.Options(std::chrono::minutes(1)));
    plat::NoteRunEnding();
    plat::RequestEndNow("too late", 1);
    EXPECT_EQ(watched.WaitForEnd(milliseconds(400)), -1);
    EXPECT_TRUE(watched.Steps().empty());
}

// The forced end's line is the log's last: what the run's threads log after it (a shut-down step that
// finishes meanwhile, a lost display) goes nowhere. A log opened again is written as usual.
TEST_F(StopWatchdogTest, TheForcedLineIsTheLogsLastLine) {
    Watched watched;
    tvtest::CapturedLog log;
    plat::StopWatchdogOptions options = watched.Options(milliseconds(100));
    options.waitedForAProcessor = [] { return 0LL; };  // the line without a loaded machine's waits
    options.report = [](const std::string& line) { trivale::WriteLastLogLineFromAnyThread("ERROR: ", line); };
    {
        const plat::StopWatchdog watchdog(options);
        trivale::LogInfo("before");
        ::raise(SIGTERM);
        ASSERT_EQ(watched.WaitForEnd(milliseconds(5000)), 128 + SIGTERM);
        EXPECT_TRUE(plat::ForcedEndUnderWay());
        trivale::LogInfo("after");
        trivale::WriteLogFromAnyThread("ERROR: ", "after, from another thread");
    }
    EXPECT_EQ(log.Text(), "INFO: before\nERROR: " +
                              plat::ForcedStopLine(plat::ForcedStop::NotHonoured, SIGTERM, milliseconds(100)) + "\n");
    tvtest::CapturedLog again;
    trivale::LogInfo("fresh");
    EXPECT_EQ(again.Text(), "INFO: fresh\n");
}

// The forced end's line comes first, before the mode's return starts: a loaded machine that is slow to
// start a thread, or a display that does not answer, costs the run its clean-up, never its line. Here the
// report takes longer than the clean-up's limit. A display that does not answer holds the end back no
// longer than that limit.
std::atomic<bool> g_reported{false};
std::atomic<int> g_restoresAfterTheReport{0};

TEST_F(StopWatchdogTest, TheLineComesFirstAndAStuckCleanUpDoesNotHoldTheEnd) {
    Watched watched;
    plat::StopWatchdogOptions options = watched.Options(milliseconds(100));
    options.lookEvery = milliseconds(200);
    options.displayAnswers = [] { return false; };
    options.report = [](const std::string&) {
        std::this_thread::sleep_for(milliseconds(400));
        g_reported = true;
    };
    options.restoreDisplay = [] {
        if (g_reported.load()) ++g_restoresAfterTheReport;
        std::this_thread::sleep_for(std::chrono::seconds(3));
    };
    const plat::StopWatchdog watchdog(options);
    const Clock::time_point sent = Clock::now();
    ::raise(SIGTERM);
    ASSERT_EQ(watched.WaitForEnd(milliseconds(10000)), 128 + SIGTERM);
    EXPECT_TRUE(g_reported.load()) << "ended without its line";
    EXPECT_EQ(g_restoresAfterTheReport.load(), 1);
    const auto took = std::chrono::duration_cast<milliseconds>(watched.EndedAt() - sent).count();
    EXPECT_GE(took, 690);                            // the grace, the report, then the clean-up's limit
    EXPECT_LT(took, 3000) << "held by the display";  // its clean-up alone takes 3 s
}

// The mode's return is finished while the display answers, however long it takes, at a second signal
// too; it is given up at the first look that finds the display no longer answering.
TEST_F(StopWatchdogTest, TheModesReturnIsFinishedWhileTheDisplayAnswers) {
    for (const int answering : {100, 3}) {
        plat::ClearStopRequest();
        Watched watched;
        std::atomic<int> looks{0};
        auto returned = std::make_shared<std::atomic<bool>>(false);  // outlives a worker given up on
        plat::StopWatchdogOptions options = watched.Options(std::chrono::minutes(1));
        options.lookEvery = milliseconds(100);
        options.displayAnswers = [&] { return ++looks <= answering; };
        options.restoreDisplay = [returned] {
            std::this_thread::sleep_for(milliseconds(2500));
            *returned = true;
        };
        const plat::StopWatchdog watchdog(options);
        ::raise(SIGTERM);
        SendAs(SIGTERM, 4343);  // from another process: a second stop
        ASSERT_EQ(watched.WaitForEnd(milliseconds(15000)), 128 + SIGTERM);
        EXPECT_EQ(returned->load(), answering == 100) << "looks: " << looks.load();
    }
}

// The watch's log line gets through while another thread is stuck inside the log's own writing (here a
// console whose reader has stopped reading, the pipe full), and lands in the file whole.
TEST(LogFromAnyThread, ALineGetsThroughWhileAnotherWriterIsStuckInTheLog) {
    tvtest::CapturedLog log;
    std::fflush(stdout);
    const int savedOut = ::dup(STDOUT_FILENO);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    const std::string fill(4096, 'x');
    while (::write(ends[1], fill.data(), fill.size()) > 0) {}
    ::fcntl(ends[1], F_SETFL, 0);  // a blocking console, full
    ::dup2(ends[1], STDOUT_FILENO);
    trivale::OpenLoggerConsole();
    std::atomic<bool> stuckDone{false};
    std::thread stuck([&] {
        trivale::LogInfo("%s", std::string(8192, 's').c_str());  // blocks in the console, holding the log
        stuckDone = true;
    });
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_FALSE(stuckDone.load()) << "the writer was not held";
    const Clock::time_point start = Clock::now();
    trivale::WriteLogFromAnyThread("ERROR: ", "the run is ended\nat once");
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    const std::string text = log.Text();
    // The console is read again: the stuck writer goes on, and the test's standard output comes back.
    std::thread drain([&] {
        char buffer[4096];
        while (::read(ends[0], buffer, sizeof buffer) > 0) {}
    });
    stuck.join();
    trivale::CloseLogFile();
    std::fflush(stdout);
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedOut);
    ::close(ends[1]);
    drain.join();
    ::close(ends[0]);
    EXPECT_LT(took, 2000);
    EXPECT_NE(text.find("INFO: " + std::string(8192, 's') + "\nERROR: the run is ended\nat once\n"), std::string::npos)
        << text.substr(text.size() > 200 ? text.size() - 200 : 0);
    // With the log free, the line takes the usual way.
    tvtest::CapturedLog again;
    trivale::WriteLogFromAnyThread("ERROR: ", "plain");
    EXPECT_EQ(again.Text(), "ERROR: plain\n");
}

}  // namespace
