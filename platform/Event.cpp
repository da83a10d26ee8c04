#include "platform/Event.h"

#include <algorithm>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

EventGroup::EventGroup(unsigned count) : flags_(count, false) {}

void EventGroup::Signal(unsigned index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= flags_.size() || flags_[index]) return;
    flags_[index] = true;
    ++pending_;
    changed_.notify_all();
}

void EventGroup::Reset(unsigned index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < flags_.size() && flags_[index]) {
        flags_[index] = false;
        --pending_;
        changed_.notify_all();
    }
}

void EventGroup::ResetAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fill(flags_.begin(), flags_.end(), false);
    pending_ = 0;
    changed_.notify_all();
}

bool EventGroup::IsSignaled(unsigned index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < flags_.size() && flags_[index];
}

int EventGroup::WaitAny(int timeoutMs, int preferred) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    const unsigned n = static_cast<unsigned>(flags_.size());
    const unsigned start = (n != 0 && preferred >= 0) ? static_cast<unsigned>(preferred) % n : 0;
    for (;;) {
        if (quit_) return kQuit;
        if (pending_ != 0) {
            for (unsigned k = 0; k < n; ++k) {
                const unsigned i = (start + k) % n;
                if (flags_[i]) {
                    flags_[i] = false;
                    --pending_;
                    changed_.notify_all();
                    return static_cast<int>(i);
                }
            }
        }
        ++waiters_;
        changed_.notify_all();
        if (timeoutMs < 0) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && pending_ == 0 && !quit_) {
            --waiters_;
            changed_.notify_all();
            return kTimeout;
        }
        --waiters_;
    }
}

void EventGroup::RequestQuit() {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    changed_.notify_all();
}

void EventGroup::ClearQuit() {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = false;
}

bool EventGroup::IsQuitRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quit_;
}

void EventGroup::Attach() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++servers_;
    changed_.notify_all();
}

void EventGroup::Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (servers_ > 0) --servers_;
    changed_.notify_all();
}

bool EventGroup::IdleLocked() const { return servers_ == 0 || (pending_ == 0 && waiters_ >= servers_); }

bool EventGroup::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return IdleLocked(); });
}

void SetCurrentThreadPriority(ThreadPriority priority) {
    // Per-thread nice value; lowering it needs CAP_SYS_NICE, so this usually only succeeds for Normal.
    int nice = 0;
    switch (priority) {
    case ThreadPriority::Normal:
        nice = 0;
        break;
    case ThreadPriority::AboveNormal:
        nice = -5;
        break;
    case ThreadPriority::Highest:
        nice = -10;
        break;
    }
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, nice);
}

}  // namespace plat
