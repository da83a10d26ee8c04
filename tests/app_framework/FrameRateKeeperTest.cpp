#include <gtest/gtest.h>

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

// The keeper on a hand-driven clock that records every sleep asked for and every frame count reported.
class FrameRateKeeperTest : public ::testing::Test, public trivale::IFrameTimerListener {
protected:
    void Make(std::int64_t start, std::int64_t frequency = kNs) {
        now = start;
        frames.clear();
        sleeps.clear();
        FrameClock c;
        c.read = [this] { return now; };
        c.frequency = frequency;
        c.sleep = [this](unsigned ms) { sleeps.push_back(ms); };
        keeper.reset(new CFrameRateKeeper(c));
        keeper->SetListener(this);
    }
    void OnFrame(unsigned n) override { frames.push_back(n); }
    void TurnAt(std::int64_t t) {
        now = t;
        keeper->OnIdle();
    }

    std::int64_t now = 0;
    std::vector<unsigned> frames, sleeps;
    std::unique_ptr<CFrameRateKeeper> keeper;
};

TEST_F(FrameRateKeeperTest, LogsTheCounterAndTheRunningTime) {
    fwtest::CapturedLog log;
    Make((((24 + 2) * 60 + 3) * 60 + 4) * kNs);  // 1 day 02:03:04
    EXPECT_EQ((std::vector<std::string>{"INFO: Performance counter enabled: resolution = 1000000000Hz (1.000000nsec)",
                                        "INFO: System running time: 1day(s) 02:03:04"}),
              log.Lines());
    CFrameRateKeeper fallback{FrameClock()};
    EXPECT_EQ(1000, fallback.GetFrequency());
    EXPECT_EQ(1, log.Count("INFO: Performance counter DISABLED!: Switched to multimedia timer (1000Hz)"));
}

TEST_F(FrameRateKeeperTest, WithoutALimitEveryTurnIsOneFrameWithoutSleeping) {
    for (int rate : {0, -5}) {  // 0 and negative rates remove a limit set before
        Make(5 * kNs);
        keeper->SetFrameRate(100);
        keeper->SetFrameRate(rate);
        for (int i = 1; i <= 10; ++i) TurnAt(5 * kNs + i * 1000);
        EXPECT_EQ(std::vector<unsigned>(10, 1u), frames);
        EXPECT_TRUE(sleeps.empty());
        EXPECT_EQ(10, keeper->GetTotalFrames());
    }
}

TEST_F(FrameRateKeeperTest, IntervalsRoundToTheNearestTick) {
    Make(0, 1000);
    keeper->SetFrameRate(600);  // 1.67 ms: 2 ticks
    EXPECT_EQ(600, keeper->GetFrameRate());
    TurnAt(1);  // due at once; the next deadline is 2
    TurnAt(2);
    keeper->SetFrameRate(3);  // 333 ticks; the deadline is now 4
    TurnAt(4);
    TurnAt(336);
    EXPECT_EQ(3u, frames.size());
    TurnAt(337);
    EXPECT_EQ(4u, frames.size());
}

TEST_F(FrameRateKeeperTest, At500SleepsWhileMuchRemainsAndYieldsInTheLastThird) {
    Make(100 * kNs);
    keeper->SetFrameRate(500);  // 2 ms
    TurnAt(100 * kNs);
    TurnAt(100 * kNs + kMs / 2);      // 1.5 ms remain
    TurnAt(100 * kNs + 3 * kMs / 2);  // 0.5 ms remain
    EXPECT_EQ((std::vector<unsigned>{1, 0}), sleeps);
    TurnAt(100 * kNs + 2 * kMs);  // on the deadline
    EXPECT_EQ((std::vector<unsigned>{1, 1}), frames);
    EXPECT_EQ(2 * kMs, keeper->GetElapsedTicks());
    EXPECT_EQ(2, keeper->GetFrameMilliseconds());
}

TEST_F(FrameRateKeeperTest, At60RunsSixtyTicksASecond) {
    Make(0);
    keeper->SetFrameRate(60);
    for (std::int64_t t = 0; t < kNs; t += kMs) TurnAt(t);
    EXPECT_EQ(std::vector<unsigned>(60, 1u), frames);
}

TEST_F(FrameRateKeeperTest, ALateTurnReportsTheFramesDueUpToTheCapAndTheDeadlineJumpsPastNow) {
    for (int cap : {0, 2}) {
        Make(0);
        keeper->SetFrameRate(100);  // 10 ms
        keeper->SetMaxFramesPerTick(cap);
        TurnAt(0);
        TurnAt(45 * kMs);  // 3.5 intervals after the deadline of 10 ms
        EXPECT_EQ(cap == 0 ? 4u : 2u, frames.back());
        TurnAt(49 * kMs);  // the next deadline is 50 ms
        EXPECT_EQ(2u, frames.size());
        TurnAt(50 * kMs);
        EXPECT_EQ(1u, frames.back());
    }
}

TEST_F(FrameRateKeeperTest, PausedTurnsSleepAndTheFirstTurnAfterReportsThePause) {
    Make(0);
    keeper->SetFrameRate(100);
    TurnAt(0);
    keeper->SetPaused(true);
    EXPECT_TRUE(keeper->IsPaused());
    for (int i = 1; i <= 20; ++i) TurnAt(i * 50 * kMs);
    EXPECT_EQ(std::vector<unsigned>(20, 50u), sleeps);
    EXPECT_EQ(1u, frames.size());
    keeper->SetPaused(false);
    keeper->OnIdle();
    EXPECT_EQ(100u, frames.back());  // one second: 100 intervals
    EXPECT_EQ(kNs, keeper->GetElapsedTicks());
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
    TurnAt(uptime + 4500 * kMs);
    EXPECT_DOUBLE_EQ(4500.0, keeper->GetElapsedMilliseconds());
}

TEST_F(FrameRateKeeperTest, FrameTimesCarryTheDroppedFractionOfAMillisecond) {
    Make(0);
    keeper->OnIdle();
    for (std::int64_t step : {2700000, 400000}) {  // 2.7 ms frames, then above a thousand a second
        std::int64_t sum = 0;
        for (int i = 0; i < 1000; ++i) {
            TurnAt(now + step);
            sum += keeper->GetFrameMilliseconds();
        }
        EXPECT_EQ(step / kMs * 1000 + step % kMs / 1000, sum);
    }
}

}  // namespace
