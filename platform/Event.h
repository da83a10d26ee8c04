#pragma once
// Auto-reset event groups and thread priority hints in place of the kernel's events,
// WaitForMultipleObjects and SetThreadPriority. There is no pulse and no named event: a worker is
// asked to end through the group's sticky quit flag and then joined.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace plat {

class EventGroup {
public:
    static constexpr int kTimeout = -1;
    static constexpr int kQuit = -2;
    static constexpr int kInfinite = -1;

    explicit EventGroup(unsigned count);
    EventGroup(const EventGroup&) = delete;
    EventGroup& operator=(const EventGroup&) = delete;

    unsigned GetCount() const { return static_cast<unsigned>(flags_.size()); }

    // Sets flag `index`; one waiter takes it and clears it. Out-of-range indices are ignored.
    void Signal(unsigned index);
    void Reset(unsigned index);
    void ResetAll();
    bool IsSignaled(unsigned index) const;

    // Waits until any flag is set, clears it and returns its index. When several are set the
    // `preferred` index wins, then the one following it in ring order, so that flags raised in
    // sequence (a ring buffer's segments) are taken in that sequence. Returns kQuit once a quit
    // was requested and kTimeout when `timeoutMs` (kInfinite waits for ever) ran out.
    int WaitAny(int timeoutMs = kInfinite, int preferred = 0);

    // Sticky: every wait returns kQuit until ClearQuit.
    void RequestQuit();
    void ClearQuit();
    bool IsQuitRequested() const;

    // A thread serving the group is attached before it starts and detaches when it ends. Tests
    // that drive a manual clock wait with WaitIdle until the servers have taken every pending
    // flag and block again (or have ended), which makes a worker's reaction deterministic.
    void Attach();
    void Detach();
    bool WaitIdle(std::chrono::milliseconds timeout);

private:
    bool IdleLocked() const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> flags_;
    unsigned pending_ = 0;
    bool quit_ = false;
    int servers_ = 0;
    int waiters_ = 0;
};

enum class ThreadPriority {
    Normal,
    AboveNormal,
    Highest,
};

// Best effort: raising a priority needs privileges that a user process rarely has; failure is
// silent and changes nothing.
void SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace plat
