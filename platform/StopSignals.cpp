#include "platform/StopSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace plat {

// Copies of one stop come from one sender: GNU timeout sends its signal to the program and then to its
// group, a service manager to the main process and then to each of the others, a process-group kill to
// each process, a shell that closes with the run suspended SIGHUP, then SIGTERM and SIGCONT. They are
// sent microseconds apart, but each is taken only when the program next runs: at a load of a hundred on
// eight cores, one in two hundred came more than a quarter of a second after the first. Two seconds is
// far past such a stall, and short of the 3 s a stop has to be honoured in, so a stop sent again from the
// same shell after that still ends the run at once.
const int kCopyWindowSeconds = 2;

namespace {

// Each stop signal as it came; judged by whoever reads them (SeenStopSignals), in the order they came,
// since handlers on several threads may note theirs at the same instant. Lock-free, so the handler may
// write them.
struct Noted {
    std::atomic<bool> ready{false};
    std::atomic<int> signal{0};
    std::atomic<long> sender{0};
    std::atomic<long long> at{0};  // CLOCK_MONOTONIC, in nanoseconds
};
const int kNotedMost = 64;  // more signals than this in a run are more than one stop
Noted g_noted[kNotedMost];
std::atomic<int> g_notedCount{0};

std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_wake{-1};  // the write end of the wake-up pipe, made once and never closed
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
    if (signal == SIGINT) g_interrupted.store(true);
    const int slot = g_notedCount.fetch_add(1);
    if (slot < kNotedMost) {
        Noted& noted = g_noted[slot];
        noted.signal.store(signal);
        noted.sender.store(Sender(info));
        noted.at.store(now);
        noted.ready.store(true);
    }
    g_stopRequested.store(true);
    const int wake = g_wake.load();
    if (wake >= 0) {
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
    struct Signal {
        int signal;
        long sender;
        long long at;
    };
    Signal came[kNotedMost];
    const int taken = g_notedCount.load();
    int count = 0;
    for (int i = 0; i < std::min(taken, kNotedMost); ++i) {
        if (!g_noted[i].ready.load()) continue;  // its handler is noting it now, and wakes the watch after
        came[count++] = {g_noted[i].signal.load(), g_noted[i].sender.load(), g_noted[i].at.load()};
    }
    std::stable_sort(came, came + count, [](const Signal& a, const Signal& b) { return a.at < b.at; });
    StopSignalsSeen seen;
    if (count == 0) return seen;
    seen.count = 1;
    seen.first = seen.last = came[0].signal;
    seen.firstAtNanoseconds = came[0].at;
    // The processes that sent this stop: a later signal of any kind from one of them is a copy.
    long senders[kNotedMost];
    int known = 0;
    if (came[0].sender != kFromTheKernel) senders[known++] = came[0].sender;
    for (int i = 1; i < count; ++i) {
        const Signal& s = came[i];
        const bool together = s.at - came[0].at < kCopyWindowNanoseconds;
        const bool sameSender =
            s.sender != kFromTheKernel && std::find(senders, senders + known, s.sender) != senders + known;
        if (together && (sameSender || s.signal == SIGHUP)) {
            if (s.sender != kFromTheKernel && !sameSender) senders[known++] = s.sender;
            continue;
        }
        ++seen.count;
        seen.last = s.signal;
    }
    if (taken > kNotedMost) seen.count = std::max(seen.count, 2);
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
    for (Noted& noted : g_noted) noted.ready.store(false);
    g_notedCount.store(0);
}

}  // namespace plat
