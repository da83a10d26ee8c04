#include "platform/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace plat {

namespace {

// Read by other threads than the one the signal interrupts; lock-free, so the handler may set them.
std::atomic<bool> g_stopRequested{false};
std::atomic<int> g_stopCount{0};
std::atomic<int> g_firstSignal{0};
std::atomic<int> g_lastSignal{0};
std::atomic<long long> g_firstAt{0};  // CLOCK_MONOTONIC, in nanoseconds
std::atomic<int> g_wake{-1};          // the write end of the wake-up pipe, made once and never closed
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
                  std::atomic<long long>::is_always_lock_free,
              "set from a signal handler");

long long MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Copies of one stop come together: GNU timeout sends its signal to the program and then to its
// group, a service manager to the main process and then to the whole group, a process-group kill to
// each process: microseconds apart, a few tens of milliseconds on a loaded machine. A person's second
// Ctrl+C, meant to end the run at once, comes hundreds of milliseconds after the first. So the same
// signal within a quarter of a second of the stop's first is a copy of it; another signal, or the same
// one later, is a second stop.
const long long kCopyWindowNanoseconds = 250LL * 1000000LL;

void OnStopSignal(int signal) {
    const int saved = errno;
    const long long now = MonotonicNanoseconds();
    // The first signal's number and time before the count: a watch that sees a count sees them too. The
    // number goes first, so that a copy handled on another thread at the same instant knows the first.
    int first = 0;
    bool counted = true;
    if (g_firstSignal.compare_exchange_strong(first, signal)) {
        g_firstAt.store(now);
    } else {
        const long long firstAt = g_firstAt.load();  // 0: the first is being noted at this very instant
        counted = first != signal || (firstAt != 0 && now - firstAt >= kCopyWindowNanoseconds);
    }
    if (counted) {
        g_lastSignal.store(signal);
        g_stopCount.fetch_add(1);
    }
    g_stopRequested.store(true);
    const int wake = g_wake.load();
    if (wake >= 0 && counted) {
        const char byte = 1;
        (void)!write(wake, &byte, 1);  // non-blocking: a full pipe has a wake-up in it already
    }
    errno = saved;
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t caught;
    sigemptyset(&caught);
    for (const int signal : {SIGINT, SIGTERM}) {
        // A signal its starter ignores (a background job of a script: Ctrl+C is for the script) stays so.
        struct sigaction was = {};
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
        sigaddset(&caught, signal);
    }
    // One that came while the starter held it back, before this program ran a line, is heard now.
    sigprocmask(SIG_UNBLOCK, &caught, nullptr);
}

bool StopRequested() { return g_stopRequested.load(); }

StopSignalsSeen SeenStopSignals() {
    StopSignalsSeen seen;
    seen.count = g_stopCount.load();
    seen.first = g_firstSignal.load();
    seen.last = g_lastSignal.load();
    seen.firstAtNanoseconds = g_firstAt.load();
    return seen;
}

long long StopClockNanoseconds() { return MonotonicNanoseconds(); }

int StopWakeDescriptor() {
    static const int readEnd = [] {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
        g_wake.store(ends[1]);
        return ends[0];
    }();
    return readEnd;
}

void WakeStopWaiters() {
    const int wake = g_wake.load();
    const char byte = 0;
    if (wake >= 0) (void)!write(wake, &byte, 1);
}

void ClearStopRequest() {
    g_stopRequested.store(false);
    g_stopCount.store(0);
    g_firstSignal.store(0);
    g_lastSignal.store(0);
    g_firstAt.store(0);
}

}  // namespace plat
