#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "app_framework/FrameRateKeeper.h"

using trivale::CFrameRateKeeper;
using trivale::FrameClock;

namespace {

const std::int64_t kNs = 1000000000;  // ticks per second of the test clock
const std::int64_t kMs = 1000000;
const std::int64_t kUs = 1000;
const std::int64_t kSpin = CFrameRateKeeper::kSpinMicroseconds * kUs;

std::int64_t IntervalOf(std::int64_t frequency, int rate) { return ((frequency * 10) / rate + 5) / 10; }

// The keeper on a hand-driven clock. A sleep moves the clock to its end (late by `oversleep`); a
// reading right after a move or a sleep finds the clock there, every further one a microsecond on,
// so the keeper's spin ends. Records the sleeps asked for and the frame counts reported.
class FrameRateKeeperTest : public ::testing::Test, public trivale::IFrameTimerListener {
protected:
    void Make(std::int64_t start, std::int64_t frequency = kNs) {
        At(start);
        frames.clear();
        sleeps.clear();
        delivered.clear();
        FrameClock c;
        c.frequency = frequency;
        c.read = [this, frequency] {
            if (!fresh) now += std::max<std::int64_t>(1, frequency / 1000000);
            fresh = false;
            return now;
        };
        c.sleepUntil = [this](std::int64_t tick) {
            sleeps.push_back(tick);
            At(std::max(now, tick) + oversleep);
        };
        keeper.reset(new CFrameRateKeeper(c));
        keeper->SetListener(this);
        fresh = true;  // the keeper's own first reading moves nothing
    }
    void OnFrame(unsigned n) override {
        frames.push_back(n);
        delivered.push_back(now);
    }
    void At(std::int64_t t) {
        now = t;
        fresh = true;
    }
    void TurnAt(std::int64_t t) {
        At(t);
        keeper->OnIdle();
    }

    std::int64_t now = 0, oversleep = 0;
    bool fresh = true;
    std::vector<unsigned> frames;
    std::vector<std::int64_t> sleeps, delivered;
    std::unique_ptr<CFrameRateKeeper> keeper;
};

TEST_F(FrameRateKeeperTest, WithoutACounterTheMillisecondTimerServes) {
    fwtest::CapturedLog log;
    CFrameRateKeeper fallback{FrameClock()};
    EXPECT_EQ(1000, fallback.GetFrequency());
    EXPECT_EQ(1, log.Count("INFO: Performance counter DISABLED!: Switched to multimedia timer (1000Hz)"));
}

// One turn after a first frame at 0: a sleep to just short of the deadline (at most the longest
// sleep), or within the spin margin the frame at the deadline itself; without a limit, a frame.
TEST_F(FrameRateKeeperTest, ATurnBeforeTheDeadlineSleepsTowardsItOrSpinsTheLastStretch) {
    const struct {
        std::int64_t frequency;
        int rate;
        std::int64_t turn, sleepsUntil, frameAt;  // -1: none
    } cases[] = {
        {kNs, 0, kUs, -1, kUs},  // 0 and negative rates remove the limit set before
        {kNs, -5, kUs, -1, kUs},
        {kNs, 500, kMs / 2, 2 * kMs - kSpin, -1},  // 2 ms
        {kNs, 500, 2 * kMs - kSpin - 1, 2 * kMs - kSpin, -1},
        {kNs, 500, 2 * kMs - kSpin, -1, 2 * kMs},
        {kNs, 60, 0, 10 * kMs, -1},  // 16.7 ms: the longest sleep first
        {kNs, 60, 7 * kMs, 16666667 - kSpin, -1},
        {kNs, 1, 990 * kMs, 1000 * kMs - kSpin, -1},
        // Intervals round to the nearest tick; a clock too coarse to spin on sleeps to the deadline.
        {1000, 3, 332, 333, -1},
        {1000, 3, 333, -1, 333},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frequency << " Hz, " << c.rate << " fps, turn at " << c.turn);
        Make(0, c.frequency);
        keeper->SetFrameRate(100);
        keeper->SetFrameRate(c.rate);
        TurnAt(0);
        TurnAt(c.turn);
        EXPECT_EQ(c.sleepsUntil < 0 ? std::vector<std::int64_t>() : std::vector<std::int64_t>{c.sleepsUntil}, sleeps);
        EXPECT_EQ(c.frameAt < 0 ? 1u : 2u, frames.size());
        if (c.frameAt >= 0) {
            EXPECT_EQ(c.frameAt, delivered.back());
            EXPECT_EQ(c.frameAt, keeper->GetElapsedTicks());
        }
    }
}

// The keeper alone in a message loop for two seconds of the test clock: every frame on its deadline
// while sleeps end within the spin margin (later ones make every frame as late, without drift), one
// frame per tick, whole-millisecond frame times that carry their dropped fractions and so add up to
// the time passed, no sleep asked past a deadline less the margin, and a turn for the loop at least
// every longest sleep.
TEST_F(FrameRateKeeperTest, PacesToAbsoluteDeadlinesWithoutDrift) {
    const struct {
        int rate;
        std::int64_t oversleep, lateness;
    } cases[] = {
        {60, 0, 0},   {60, kSpin - kUs, 0}, {60, 3 * kMs, 3 * kMs - kSpin}, {144, 50 * kUs, 0}, {500, 100 * kUs, 0},
        {2500, 0, 0}, {10, 0, 0},
    };
    const std::int64_t start = 7 * kNs;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " fps, sleeps " << c.oversleep << " ns late");
        Make(start);
        oversleep = c.oversleep;
        keeper->SetFrameRate(c.rate);
        const std::int64_t interval = IntervalOf(kNs, c.rate);
        const std::size_t count = static_cast<std::size_t>(2 * kNs / interval + 1);
        std::int64_t longestTurn = 0, frameMs = 0;
        while (frames.size() < count) {
            const std::int64_t before = now;
            const std::size_t framesBefore = frames.size(), sleepsBefore = sleeps.size();
            keeper->OnIdle();
            longestTurn = std::max(longestTurn, now - before);
            if (frames.size() > framesBefore) frameMs += keeper->GetFrameMilliseconds();
            if (sleeps.size() > sleepsBefore) {
                EXPECT_LE(sleeps.back(), start + static_cast<std::int64_t>(frames.size()) * interval - kSpin);
            }
        }
        EXPECT_EQ(std::vector<unsigned>(count, 1u), frames);
        for (std::size_t i = 0; i < count; ++i) {
            const std::int64_t late = delivered[i] - (start + static_cast<std::int64_t>(i) * interval);
            EXPECT_TRUE(late >= 0 && late <= (i == 0 ? 0 : c.lateness)) << "frame " << i << ": " << late << " ns";
        }
        EXPECT_EQ((interval + delivered.back() - delivered.front()) / kMs, frameMs);
        EXPECT_LE(longestTurn, CFrameRateKeeper::kLongestSleepMilliseconds * kMs + c.oversleep + kUs);
    }
}

// A late turn, or the first one after a pause (whose turns only sleep), reports the frames due.
TEST_F(FrameRateKeeperTest, ALateTurnReportsTheFramesDueUpToTheCapAndTheDeadlineJumpsPastNow) {
    const struct {
        bool paused;
        int cap;
        std::int64_t turn;
        unsigned reported;
    } cases[] = {{false, 0, 45 * kMs, 4}, {false, 2, 45 * kMs, 2}, {true, 0, 995 * kMs, 99}, {true, 3, 995 * kMs, 3}};
    for (const auto& c : cases) {
        Make(0);
        keeper->SetFrameRate(100);  // 10 ms
        keeper->SetMaxFramesPerTick(c.cap);
        TurnAt(0);
        keeper->SetPaused(c.paused);
        std::vector<std::int64_t> pauseSleeps;
        for (std::int64_t t = 0; c.paused && t < 950 * kMs; t += 50 * kMs) {
            TurnAt(t);
            pauseSleeps.push_back(t + 50 * kMs);
        }
        EXPECT_EQ(pauseSleeps, sleeps);
        keeper->SetPaused(false);
        TurnAt(c.turn);  // a half interval after a deadline
        EXPECT_EQ((std::vector<unsigned>{1, c.reported}), frames);
        EXPECT_EQ(c.turn, keeper->GetElapsedTicks());
        TurnAt(c.turn + 4 * kMs);  // the next deadline is the one after the turn
        EXPECT_EQ(2u, frames.size());
        TurnAt(c.turn + 5 * kMs);
        EXPECT_EQ(1u, frames.back());
    }
}

TEST_F(FrameRateKeeperTest, FramesPerSecondCountsTicksNotFrames) {
    Make(0);
    keeper->SetFrameRate(100);
    for (int i = 0; i < 50; ++i) TurnAt(i * 20 * kMs);  // 50 ticks of 2 frames each
    EXPECT_DOUBLE_EQ(0.0, keeper->GetFramesPerSecond());
    TurnAt(kNs);
    EXPECT_DOUBLE_EQ(50.0, keeper->GetFramesPerSecond());
}

// Regression: the clock's reading at construction is the machine's uptime; the first frame lasted that long.
TEST_F(FrameRateKeeperTest, TheFirstFrameLastsOneFrame) {
    const std::int64_t uptime = 200LL * 24 * 3600 * kNs;
    Make(uptime);
    keeper->SetFrameRate(500);
    keeper->OnIdle();
    EXPECT_EQ(2 * kMs, keeper->GetElapsedTicks());
    EXPECT_EQ(2, keeper->GetFrameMilliseconds());
    Make(uptime);
    TurnAt(uptime + 3 * kMs);  // no limit: the time since the keeper was made
    EXPECT_EQ(3 * kMs, keeper->GetElapsedTicks());
    EXPECT_EQ(3, keeper->GetFrameMilliseconds());
    At(uptime + 4500 * kMs);
    EXPECT_DOUBLE_EQ(4500.0, keeper->GetElapsedMilliseconds());
}

}  // namespace
