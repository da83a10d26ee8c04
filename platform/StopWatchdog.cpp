#include "platform/StopWatchdog.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/StopSignals.h"

namespace plat {

std::string StopSignalName(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    return "signal " + std::to_string(signal);
}

std::string ForcedStopLine(ForcedStop why, int signal, std::chrono::milliseconds grace) {
    const std::string code = std::to_string(128 + signal);
    if (why == ForcedStop::SecondSignal) {
        return "a second stop signal (" + StopSignalName(signal) + ") came: the run is ended at once (exit code " +
               code + ")";
    }
    const long long tenths = (grace.count() + 50) / 100;
    const std::string seconds =
        std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : std::string());
    return "the stop asked for by " + StopSignalName(signal) + " was not honoured within " + seconds +
           " s: the run is ended (exit code " + code + ")";
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

struct StopWatchdog::State {
    StopWatchdogOptions options;
    int wake = -1;
    std::thread thread;

    void Watch();
    void Force(ForcedStop why, int signal);
};

namespace {

// The report and the mode's return run on threads of their own: either may wait on something stuck
// (a full terminal, an X server that does not answer), and the process must end all the same.
void RunBounded(const std::function<void()>& report, const std::function<void()>& restore,
                std::chrono::milliseconds limit) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        int left = 0;
    };
    auto shared = std::make_shared<Shared>();
    std::thread workers[2];
    int started = 0;
    for (const std::function<void()>* work : {&restore, &report}) {
        if (!*work) continue;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            ++shared->left;
        }
        workers[started++] = std::thread([shared, task = *work] {
            task();
            std::lock_guard<std::mutex> lock(shared->mutex);
            --shared->left;
            shared->done.notify_all();
        });
    }
    std::unique_lock<std::mutex> lock(shared->mutex);
    const bool finished = shared->done.wait_for(lock, limit, [&] { return shared->left == 0; });
    lock.unlock();
    for (int i = 0; i < started; ++i) {
        // A worker still stuck is left to the process's end, which comes next.
        if (finished)
            workers[i].join();
        else
            workers[i].detach();
    }
}

}  // namespace

void StopWatchdog::State::Force(ForcedStop why, int signal) {
    Phase watching = Phase::Watching;
    if (!g_phase.compare_exchange_strong(watching, Phase::Forcing)) return;  // the run's own end has begun
    const std::string line = ForcedStopLine(why, signal, options.grace);
    // By value: a worker still stuck when the process ends must not reach into this frame.
    std::function<void()> report;
    if (options.report) report = [tell = options.report, line] { tell(line); };
    RunBounded(report, options.restoreDisplay,
               why == ForcedStop::SecondSignal ? options.cleanUpLimitAtOnce : options.cleanUpLimit);
    if (!options.end) _exit(128 + signal);
    options.end(128 + signal);
}

void StopWatchdog::State::Watch() {
    for (;;) {
        if (g_phase.load() != Phase::Watching) return;
        const StopSignalsSeen seen = SeenStopSignals();
        int timeout = -1;
        if (seen.count >= 2) return Force(ForcedStop::SecondSignal, seen.last);
        if (seen.count == 1) {
            // A step made since the stop came starts the grace again; one made before it does not count.
            const long long since = std::max(seen.firstAtNanoseconds, g_lastProgress.load());
            const long long due = since + std::chrono::duration_cast<std::chrono::nanoseconds>(options.grace).count();
            const long long left = due - StopClockNanoseconds();
            if (left <= 0) return Force(ForcedStop::NotHonoured, seen.first);
            timeout = static_cast<int>((left + 999999) / 1000000);
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
    state_->options = std::move(options);
    state_->wake = StopWakeDescriptor();
    if (state_->wake < 0) return;  // no way to wait: the run goes without the watch, as it did before it
    State* state = state_.get();
    state_->thread = std::thread([state] { state->Watch(); });
}

StopWatchdog::~StopWatchdog() {
    // Not a lock: a forced end holds nothing while it cleans up that the run's end would wait on.
    StandDown();
    WakeStopWaiters();
    if (state_->thread.joinable()) state_->thread.join();
}

}  // namespace plat
