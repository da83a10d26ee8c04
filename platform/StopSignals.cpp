#include "platform/StopSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace plat {

// Copies of one stop come from one sender: GNU timeout sends its signal to the program and then to its
// group, a service manager to the main process and then to each of the others, a process-group kill to
// each process. They are sent microseconds apart, but each is taken only when the program next runs: at
// a load of a hundred on eight cores, one in two hundred came more than a quarter of a second after the
// first. Two seconds is far past such a stall, and short of the 3 s a stop has to be honoured in, so a
// stop sent again from the same shell after that still ends the run at once.
const int kCopyWindowSeconds = 2;

namespace {

// Read by other threads than the one the signal interrupts; lock-free, so the handler may set them.
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_stopCount{0};
std::atomic<int> g_firstSignal{0};
std::atomic<long> g_firstSender{0};
std::atomic<int> g_lastSignal{0};
std::atomic<long long> g_firstAt{0};  // CLOCK_MONOTONIC, in nanoseconds
std::atomic<int> g_wake{-1};          // the write end of the wake-up pipe, made once and never closed
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
                  std::atomic<long>::is_always_lock_free && std::atomic<long long>::is_always_lock_free,
              "set from a signal handler");

const long long kCopyWindowNanoseconds = kCopyWindowSeconds * 1000000000LL;
const long kFromTheKernel = -1;  // a terminal's key or hang-up: no process sent it

long long MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// kill, sigqueue and tgkill (si_code 0 or below) name the process that sent the signal.
long Sender(const siginfo_t* info) {
    return info != nullptr && info->si_code <= 0 ? static_cast<long>(info->si_pid) : kFromTheKernel;
}

void OnStopSignal(int signal, siginfo_t* info, void*) {
    const int saved = errno;
    const long long now = MonotonicNanoseconds();
    const long sender = Sender(info);
    if (signal == SIGINT) g_interrupted.store(true);
    // The first signal's number, sender and time before the count: a watch that sees a count sees them
    // too. The number goes first, so that a copy handled on another thread at the same instant knows it.
    int first = 0;
    bool counted = true;
    if (g_firstSignal.compare_exchange_strong(first, signal)) {
        g_firstSender.store(sender);
        g_firstAt.store(now);
    } else {
        const long long firstAt = g_firstAt.load();  // 0: the first is being noted at this very instant
        const bool together = firstAt == 0 || now - firstAt < kCopyWindowNanoseconds;
        const bool sameSender = sender != kFromTheKernel && sender == g_firstSender.load();
        counted = first != signal || !together || (signal != SIGHUP && !sameSender && firstAt != 0);
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
    action.sa_sigaction = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    sigset_t caught;
    sigemptyset(&caught);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal its starter ignores (a background job of a script: Ctrl+C is for the script; nohup)
        // stays so.
        struct sigaction was = {};
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
        sigaddset(&caught, signal);
    }
    // One that came while the starter held it back, before this program ran a line, is heard now.
    sigprocmask(SIG_UNBLOCK, &caught, nullptr);
}

bool StopRequested() { return g_stopRequested.load(); }

bool InterruptRequested() { return g_interrupted.load(); }

void EndBySignal(int signal) {
    struct sigaction plain = {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(signal, &plain, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);  // to this thread: its default action ends the whole process
    _exit(128 + signal);
}

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
    g_interrupted.store(false);
    g_stopCount.store(0);
    g_firstSignal.store(0);
    g_firstSender.store(0);
    g_lastSignal.store(0);
    g_firstAt.store(0);
}

}  // namespace plat
