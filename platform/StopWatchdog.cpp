#include "platform/StopWatchdog.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/StopSignals.h"

namespace plat {

std::string StopSignalName(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    if (signal == SIGHUP) return "SIGHUP";
    return "signal " + std::to_string(signal);
}

namespace {

// "3", "7.4": tenths of a second, rounded.
std::string Seconds(std::chrono::milliseconds time) {
    const long long tenths = (time.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : std::string());
}

}  // namespace

std::string ForcedStopLine(ForcedStop why, int signal, std::chrono::milliseconds grace,
                           std::chrono::milliseconds waited) {
    // A run stopped by Ctrl+C ends by SIGINT itself, which a shell shows as 130.
    const std::string code =
        signal == SIGINT ? "(by SIGINT: 130 in a shell)" : "(exit code " + std::to_string(128 + signal) + ")";
    if (why == ForcedStop::SecondSignal)
        return "a second stop signal (" + StopSignalName(signal) + ") came: the run is ended at once " + code;
    const std::string given = Seconds(grace);
    const std::string withWaits = Seconds(grace + waited);
    return "the stop asked for by " + StopSignalName(signal) + " was not honoured within " + given + " s" +
           (withWaits != given ? " (" + withWaits + " s with the time a loaded machine kept it waiting)" : "") +
           ": the run is ended " + code;
}

namespace {

std::atomic<long long> g_lastProgress{0};  // StopClockNanoseconds

// The run's own end and a forced end race for this once: whichever takes it goes on, the other not.
enum class Phase { Watching, Forcing, StoodDown };
std::atomic<Phase> g_phase{Phase::Watching};

bool StandDown() {
    Phase watching = Phase::Watching;
    return g_phase.compare_exchange_strong(watching, Phase::StoodDown) || watching == Phase::StoodDown;
}

}  // namespace

void NoteStopProgress() { g_lastProgress.store(StopClockNanoseconds()); }

void NoteRunEnding() { StandDown(); }

bool ForcedEndUnderWay() { return g_phase.load() == Phase::Forcing; }

namespace {

// An end asked for by RequestEndNow, for the watch's thread to carry out.
std::atomic<bool> g_watchRuns{false};
std::atomic<bool> g_endAsked{false};
std::mutex g_endMutex;
std::string g_endLine;
int g_endCode = 0;

}  // namespace

bool RequestEndNow(const std::string& line, int code) {
    if (!g_watchRuns.load()) return false;
    {
        std::lock_guard<std::mutex> lock(g_endMutex);
        if (g_endAsked.load()) return true;
        g_endLine = line;
        g_endCode = code;
        g_endAsked.store(true);
    }
    WakeStopWaiters();
    return true;
}

namespace {

// The longest wait for a processor of any of this process's threads since the first call: the kernel
// counts each thread's time runnable but not running (the second field of its schedstat). 0 where the
// kernel does not count it.
std::function<long long()> ProcessorWaits() {
    auto baselines = std::make_shared<std::map<long, long long>>();
    auto first = std::make_shared<bool>(true);
    return [baselines, first] {
        long long longest = 0;
        DIR* tasks = opendir("/proc/self/task");
        if (tasks == nullptr) return longest;
        while (const dirent* task = readdir(tasks)) {
            const long id = std::atol(task->d_name);
            if (id <= 0) continue;
            std::ifstream in(std::string("/proc/self/task/") + task->d_name + "/schedstat");
            long long running = 0, waited = 0;
            if (!(in >> running >> waited)) continue;
            // A thread made since the first call has waited since it was made.
            const auto known = baselines->emplace(id, *first ? waited : 0).first;
            longest = std::max(longest, waited - known->second);
        }
        closedir(tasks);
        *first = false;
        return longest;
    };
}

}  // namespace

struct StopWatchdog::State {
    StopWatchdogOptions options;
    int wake = -1;
    std::thread thread;

    void Watch();
    void Force(ForcedStop why, int signal, std::chrono::milliseconds waited = {});
};

namespace {

// The mode's return runs on a thread of its own: it may wait on an X server that does not answer, and
// the process must end all the same. While the server answers it is waited for, however slow a loaded
// machine makes it.
void RunWhileAnswering(const std::function<void()>& work, const StopWatchdogOptions& options) {
    if (!work) return;
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([shared, task = work] {
        task();
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->finished = true;
        shared->done.notify_all();
    });
    for (;;) {
        std::unique_lock<std::mutex> lock(shared->mutex);
        if (shared->done.wait_for(lock, options.lookEvery, [&] { return shared->finished; })) break;
        lock.unlock();
        if (options.displayAnswers && options.displayAnswers()) continue;
        lock.lock();
        if (shared->finished) break;  // it finished while the display was looked at
        // A worker still stuck is left to the process's end, which comes next.
        lock.unlock();
        worker.detach();
        return;
    }
    worker.join();
}

// Takes the end from the run's own (false when that has begun already), then reports the line and puts
// the mode back. The line first, from this thread, before anything that can take a while: on a loaded
// machine a thread takes long to start, and the clean-up's time could run out before it wrote the line.
bool TakeTheEnd(const StopWatchdogOptions& options, const std::string& line) {
    Phase watching = Phase::Watching;
    if (!g_phase.compare_exchange_strong(watching, Phase::Forcing)) return false;
    if (options.report) options.report(line);
    RunWhileAnswering(options.restoreDisplay, options);
    return true;
}

// The end RequestEndNow asked for, as a forced end, with its line and code.
void EndAsAsked(const StopWatchdogOptions& options) {
    std::string line;
    int code = 1;
    {
        std::lock_guard<std::mutex> lock(g_endMutex);
        line = g_endLine;
        code = g_endCode;
    }
    if (!TakeTheEnd(options, line)) return;
    if (options.end) return options.end(code);
    _exit(code);
}

}  // namespace

void StopWatchdog::State::Force(ForcedStop why, int signal, std::chrono::milliseconds waited) {
    if (!TakeTheEnd(options, ForcedStopLine(why, signal, options.grace, waited))) return;
    if (options.end) return options.end(128 + signal);
    if (signal == SIGINT) EndBySignal(SIGINT);
    _exit(128 + signal);
}

void StopWatchdog::State::Watch() {
    std::function<long long()> waitsSinceTheStop;  // counted from the first look after the stop came
    // The longest seen, kept: a thread that waited and has ended (one the run joined, a queue's worker)
    // held the run up all the same. Looked at often while a stop is under way, so that little of such a
    // wait goes unseen.
    long long waitedLongest = 0;
    constexpr int kLookAtWaitsEveryMs = 250;
    for (;;) {
        if (g_phase.load() != Phase::Watching) return;
        if (g_endAsked.load()) return EndAsAsked(options);
        const StopSignalsSeen seen = SeenStopSignals();
        int timeout = -1;
        if (seen.count >= 2) return Force(ForcedStop::SecondSignal, seen.last);
        if (seen.count == 1) {
            // A step made since the stop came starts the grace again; one made before it does not count.
            // The time the run waited for a processor since the stop is added: it was held up, not stuck.
            // Only up to longestGrace after the stop: a stuck thread that spins waits whenever it shares a
            // processor, so that on a loaded machine its waits alone would hold the end off for ever.
            if (!waitsSinceTheStop)
                waitsSinceTheStop = options.waitedForAProcessor ? options.waitedForAProcessor : ProcessorWaits();
            using std::chrono::nanoseconds;
            const long long grace = std::chrono::duration_cast<nanoseconds>(options.grace).count();
            const long long since = std::max(seen.firstAtNanoseconds, g_lastProgress.load());
            const long long longest =
                seen.firstAtNanoseconds + std::chrono::duration_cast<nanoseconds>(options.longestGrace).count();
            waitedLongest = std::max(waitedLongest, waitsSinceTheStop());
            const long long waited = std::max(0LL, std::min(waitedLongest, longest - since - grace));
            const long long left = since + grace + waited - StopClockNanoseconds();
            if (left <= 0)
                return Force(ForcedStop::NotHonoured, seen.first,
                             std::chrono::duration_cast<std::chrono::milliseconds>(nanoseconds(waited)));
            timeout = static_cast<int>(std::min<long long>((left + 999999) / 1000000, kLookAtWaitsEveryMs));
        }
        pollfd ready{wake, POLLIN, 0};
        if (poll(&ready, 1, timeout) > 0) {
            char bytes[64];
            while (read(wake, bytes, sizeof bytes) > 0) {}
        }
    }
}

StopWatchdog::StopWatchdog(StopWatchdogOptions options) : state_(new State()) {
    g_phase.store(Phase::Watching);  // one watch at a time; a test starts several in turn
    g_endAsked.store(false);
    state_->options = std::move(options);
    state_->wake = StopWakeDescriptor();
    if (state_->wake < 0) return;  // no way to wait: the run goes without the watch, as it did before it
    State* state = state_.get();
    state_->thread = std::thread([state] { state->Watch(); });
    g_watchRuns.store(true);
}

StopWatchdog::~StopWatchdog() {
    // Not a lock: a forced end holds nothing while it cleans up that the run's end would wait on.
    g_watchRuns.store(false);
    StandDown();
    WakeStopWaiters();
    if (state_->thread.joinable()) state_->thread.join();
}

}  // namespace plat
