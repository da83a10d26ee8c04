#include "app_framework/FrameRateKeeper.h"

#include <algorithm>
#include <cinttypes>
#include <climits>

#include "core/Log.h"
#include "platform/StopWatchdog.h"
#include "platform/System.h"

namespace trivale {

std::int64_t ReadPerformanceCounter() { return plat::MonotonicTicks(); }

std::int64_t ReadMultimediaTimer() { return plat::MonotonicMilliseconds(); }

FrameClock MonotonicFrameClock() {
    FrameClock clock;
    clock.read = &ReadPerformanceCounter;
    clock.frequency = plat::MonotonicFrequency();
    clock.sleepUntil = [](std::int64_t tick) { plat::SleepUntilTicks(tick); };
    return clock;
}

CFrameRateKeeper::CFrameRateKeeper() { Start(MonotonicFrameClock()); }

CFrameRateKeeper::CFrameRateKeeper(const FrameClock& clock) { Start(clock); }

CFrameRateKeeper::~CFrameRateKeeper() {}

void CFrameRateKeeper::Start(const FrameClock& clock) {
    clock_ = clock;
    if (clock_.read && clock_.frequency > 0) {
        if (!clock_.sleepUntil) clock_.sleepUntil = [](std::int64_t) {};
        frequency_ = clock_.frequency;
        LogInfo("Performance counter enabled: resolution = %" PRId64 "Hz (%fnsec)", frequency_,
                1000000000.0 / static_cast<double>(frequency_));
    } else {
        clock_.read = &ReadMultimediaTimer;
        clock_.sleepUntil = [](std::int64_t ms) { plat::SleepUntilTicks(ms * (plat::MonotonicFrequency() / 1000)); };
        frequency_ = 1000;
        LogInfo("Performance counter DISABLED!: Switched to multimedia timer (%dHz)", 1000);
    }
    spinTicks_ = frequency_ * kSpinMicroseconds / 1000000;
    longestSleepTicks_ = frequency_ * kLongestSleepMilliseconds / 1000;
    pausedSleepTicks_ = frequency_ * kPausedSleepMilliseconds / 1000;
    const std::int64_t reading = clock_.read();
    startTick_ = measuringStart_ = nextDeadline_ = now_ = reading;
    previousTick_ = reading;
    const std::int64_t seconds = reading / frequency_;
    LogInfo("System running time: %" PRId64 "day(s) %02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 60 / 60 / 24,
            (seconds / 60 / 60) % 24, (seconds / 60) % 60, seconds % 60);
}

void CFrameRateKeeper::SetFrameRate(int framesPerSecond) {
    frameRate_ = framesPerSecond;
    if (framesPerSecond <= 0) {
        interval_ = 0;
    } else {
        interval_ = ((frequency_ * 10) / framesPerSecond + 5) / 10;
    }
}

double CFrameRateKeeper::GetElapsedMilliseconds() const {
    return static_cast<double>(clock_.read() - startTick_) * 1000.0 / static_cast<double>(frequency_);
}

int CFrameRateKeeper::GetTotalFrames() const {
    return totalFrames_ > INT_MAX ? INT_MAX : static_cast<int>(totalFrames_);
}

void CFrameRateKeeper::OnIdle() {
    if (paused_) {
        clock_.sleepUntil(clock_.read() + pausedSleepTicks_);
        return;
    }
    now_ = clock_.read();
    if (interval_ != 0 && now_ < nextDeadline_) {
        if (nextDeadline_ - now_ > spinTicks_) {
            clock_.sleepUntil(std::min(nextDeadline_ - spinTicks_, now_ + longestSleepTicks_));
            return;
        }
        while (now_ < nextDeadline_) now_ = clock_.read();  // at most the spin margin
    }

    std::int64_t frames = 1;
    if (interval_ > 0) {
        frames = (now_ - nextDeadline_) / interval_ + 1;
        if (maxFramesPerTick_ > 0 && frames > maxFramesPerTick_) frames = maxFramesPerTick_;
    }

    std::int64_t d = now_ - measuringStart_;
    if (d >= frequency_) {
        if (d == 0) d = 1;
        measuringStart_ = now_;
        framesPerSecond_ =
            (static_cast<double>(frequency_) / static_cast<double>(d)) * static_cast<double>(framesInPeriod_);
        framesInPeriod_ = 0;
    }
    ++framesInPeriod_;
    ++totalFrames_;

    if (interval_ > 0) {
        // The deadline jumps past the present rather than catching up one interval per tick.
        nextDeadline_ += ((now_ - nextDeadline_) / interval_ + 1) * interval_;
    }

    if (firstTick_) {
        // The first frame lasts one frame (with no limit: the time since the keeper was made).
        firstTick_ = false;
        elapsedTicks_ = interval_ > 0 ? interval_ : now_ - previousTick_;
    } else {
        elapsedTicks_ = now_ - previousTick_;
    }

    // Whole milliseconds of the frame, the dropped fraction carried on (in units of 1/frequency ms).
    const std::int64_t ticks = elapsedTicks_ > 0 ? elapsedTicks_ : 0;
    const std::int64_t scaled = (ticks % frequency_) * 1000 + carriedTicks_;
    frameMilliseconds_ = (ticks / frequency_) * 1000 + scaled / frequency_;
    carriedTicks_ = scaled % frequency_;

    plat::NoteStopProgress();  // a run that draws frames is not stuck
    if (listener_ != nullptr) {
        listener_->OnFrame(frames > static_cast<std::int64_t>(UINT_MAX) ? UINT_MAX : static_cast<unsigned>(frames));
    }
    previousTick_ = now_;
}

}  // namespace trivale
