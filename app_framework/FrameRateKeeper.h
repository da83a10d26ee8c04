// The frame pacer: decides at each idle moment whether a frame is due and tells its listener how many,
// measures frames per second and the time between ticks, the frame time of the scenes.
#pragma once

#include <cstdint>
#include <functional>

#include "app_framework/FrameTimerListener.h"
#include "app_framework/GameApplicationListener.h"
#include "core/Object.h"

namespace trivale {

// The keeper's clock: a tick source, its ticks per second, and a sleep until the source reads at least
// a given tick (at once for a tick already past). Tests drive the keeper through one of their own.
struct FrameClock {
    std::function<std::int64_t()> read;
    std::int64_t frequency = 0;
    std::function<void(std::int64_t tick)> sleepUntil;
};

// The two tick sources: the platform's monotonic clock in its own ticks, and the same in milliseconds.
std::int64_t ReadPerformanceCounter();
std::int64_t ReadMultimediaTimer();
// ReadPerformanceCounter at the platform's frequency.
FrameClock MonotonicFrameClock();

class CFrameRateKeeper : public IGameApplicationListener, public virtual CNonCopyable {
public:
    // A sleep may end this late, so the last stretch before a deadline is waited out reading the clock.
    static constexpr std::int64_t kSpinMicroseconds = 200;
    // The longest single sleep: the message loop gets its turn at least this often while a frame is
    // not due.
    static constexpr std::int64_t kLongestSleepMilliseconds = 10;
    static constexpr std::int64_t kPausedSleepMilliseconds = 50;

    CFrameRateKeeper();
    // A clock without a tick source or frequency falls back to the platform's millisecond clock.
    explicit CFrameRateKeeper(const FrameClock& clock);
    ~CFrameRateKeeper() override;

    // One idle turn of the message loop. While the next frame is more than the spin margin away it
    // sleeps towards it (to absolute ticks, so no wake-up adds drift) and returns; closer than that it
    // reads the clock until the deadline and delivers the frame.
    void OnIdle() override;

    // 0 or less removes the limit.
    void SetFrameRate(int framesPerSecond);
    // Milliseconds since the keeper was made.
    double GetElapsedMilliseconds() const;

    void SetListener(IFrameTimerListener* listener) { listener_ = listener; }
    void SetPaused(bool paused) { paused_ = paused; }
    bool IsPaused() const { return paused_; }
    // 0 or less: no cap on the frames one tick reports.
    void SetMaxFramesPerTick(int frames) { maxFramesPerTick_ = frames; }

    int GetFrameRate() const { return frameRate_; }
    double GetFramesPerSecond() const { return framesPerSecond_; }
    // Ticks between the two latest frame deliveries.
    std::int64_t GetElapsedTicks() const { return elapsedTicks_; }
    std::int64_t GetFrequency() const { return frequency_; }
    int GetTotalFrames() const;
    // The latest frame time in whole milliseconds. The part of a millisecond that truncation drops is
    // carried into the next frame, so the sum of frame times follows the clock without drifting.
    std::int64_t GetFrameMilliseconds() const { return frameMilliseconds_; }

private:
    void Start(const FrameClock& clock);

    int frameRate_ = 0;
    int maxFramesPerTick_ = 0;
    double framesPerSecond_ = 0.0;
    bool paused_ = false;
    IFrameTimerListener* listener_ = nullptr;
    std::int64_t now_ = 0;
    std::int64_t nextDeadline_ = 0;
    std::int64_t previousTick_ = 0;
    std::int64_t measuringStart_ = 0;
    std::int64_t interval_ = 0;
    std::int64_t startTick_ = 0;
    std::int64_t elapsedTicks_ = 0;
    std::int64_t framesInPeriod_ = 0;
    std::int64_t totalFrames_ = 0;
    std::int64_t frameMilliseconds_ = 0;
    std::int64_t carriedTicks_ = 0;  // remainder of the last frame-time division, in ticks x 1000
    bool firstTick_ = true;
    FrameClock clock_;
    std::int64_t frequency_ = 0;
    std::int64_t spinTicks_ = 0;
    std::int64_t longestSleepTicks_ = 0;
    std::int64_t pausedSleepTicks_ = 0;
};

}  // namespace trivale
