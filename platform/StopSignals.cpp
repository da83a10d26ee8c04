#include "platform/StopSignals.h"

#include <signal.h>

#include <atomic>
#include <initializer_list>

namespace plat {

namespace {

// Read by other threads than the one the signal interrupts; lock-free, so the handler may set it.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnStopSignal(int) { g_stopRequested.store(true); }

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

void ClearStopRequest() { g_stopRequested.store(false); }

}  // namespace plat
