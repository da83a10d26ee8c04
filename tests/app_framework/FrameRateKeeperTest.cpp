#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "TestSupport.h"
#include "app_framework/FrameRateKeeper.h"

using trivale::CFrameRateKeeper;
using trivale::FrameClock;

namespace {

const std::int64_t kNs = 1000000000;  // ticks per second of the test clock

// A hand-driven clock that records every sleep the keeper asks for.
struct TestClock {
    std::int64_t now = 0;
    std::vector<unsigned> sleeps;

    FrameClock Clock(std::int64_t frequency = kNs) {
        FrameClock c;
        c.read = [this] { return now; };
        c.frequency = frequency;
        c.sleep = [this](unsigned ms) { sleeps.push_back(ms); };
        return c;
    }
};

struct FrameRecorder : trivale::IFrameTimerListener {
    std::vector<unsigned> frames;
    void OnFrame(unsigned n) override { frames.push_back(n); }
};

class FrameRateKeeperTest : public ::testing::Test {
protected:
    void Make(std::int64_t start, std::int64_t frequency = kNs) {
        clock.now = start;
        keeper.reset(new CFrameRateKeeper(clock.Clock(frequency)));
        keeper->SetListener(&recorder);
    }
    TestClock clock;
    FrameRecorder recorder;
    std::unique_ptr<CFrameRateKeeper> keeper;
};

TEST_F(FrameRateKeeperTest, LogsTheCounterAndTheRunningTime) {
    fwtest::CapturedLog log;
    // 1 day, 2 hours, 3 minutes and 4 seconds of running time.
    Make((((24 + 2) * 60 + 3) * 60 + 4) * kNs);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("INFO: Performance counter enabled: resolution = 1000000000Hz (1.000000nsec)", lines[0]);
    EXPECT_EQ("INFO: System running time: 1day(s) 02:03:04", lines[1]);
}

TEST_F(FrameRateKeeperTest, WithoutAFrequencyFallsBackToTheMillisecondClock) {
    fwtest::CapturedLog log;
    FrameClock none;
    CFrameRateKeeper k(none);
    EXPECT_EQ(1000, k.GetFrequency());
    EXPECT_NE(std::string::npos, log.Text().find("Performance counter DISABLED!: Switched to multimedia timer (1000Hz)"));
}

TEST_F(FrameRateKeeperTest, UnlimitedEveryTurnIsOneFrameWithoutSleeping) {
    Make(5 * kNs);
    for (int i = 0; i < 10; ++i) {
        clock.now += 1000;  // 1 microsecond a turn
        keeper->OnIdle();
    }
    EXPECT_EQ(std::vector<unsigned>(10, 1u), recorder.frames);
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(10, keeper->GetTotalFrames());
}

TEST_F(FrameRateKeeperTest, IntervalsRoundToTheNearestTick) {
    Make(0);
    keeper->SetFrameRate(500);
    EXPECT_EQ(500, keeper->GetFrameRate());
    Make(0, 1000);
    keeper->SetFrameRate(600);  // 1.67 ms
    clock.now = 1;
    keeper->OnIdle();           // due at once
    clock.now = 2;
    keeper->OnIdle();           // deadline 2: due
    EXPECT_EQ(2u, recorder.frames.size());
    keeper->SetFrameRate(3);    // 333 ms
    clock.now = 3;
    keeper->OnIdle();           // deadline 4: not due
    EXPECT_EQ(2u, recorder.frames.size());
    clock.now = 4;
    keeper->OnIdle();           // due; the next deadline is 4 + 333
    clock.now = 336;
    keeper->OnIdle();
    EXPECT_EQ(3u, recorder.frames.size());
    clock.now = 337;
    keeper->OnIdle();
    EXPECT_EQ(4u, recorder.frames.size());
}

TEST_F(FrameRateKeeperTest, At500FramesSleepsWhileMuchRemainsAndYieldsInTheLastThird) {
    Make(100 * kNs);
    keeper->SetFrameRate(500);  // 2 ms
    keeper->OnIdle();           // the first turn is due at once
    ASSERT_EQ(1u, recorder.frames.size());
    clock.now += 500000;        // 1.5 ms remain: more than a third
    keeper->OnIdle();
    clock.now += 1000000;       // 0.5 ms remain: the last third
    keeper->OnIdle();
    EXPECT_EQ((std::vector<unsigned>{1, 0}), clock.sleeps);
    EXPECT_EQ(1u, recorder.frames.size());
    clock.now += 500000;        // exactly on the deadline
    keeper->OnIdle();
    EXPECT_EQ((std::vector<unsigned>{1, 1}), recorder.frames);
    EXPECT_EQ(2000000, keeper->GetElapsedTicks());
    EXPECT_EQ(2, keeper->GetFrameMilliseconds());
}

TEST_F(FrameRateKeeperTest, At60FramesRunsSixtyTicksASecond) {
    Make(0);
    keeper->SetFrameRate(60);  // 16666667 ticks
    for (std::int64_t t = 0; t < kNs; t += 1000000) {  // a turn every millisecond for a second
        clock.now = t;
        keeper->OnIdle();
    }
    EXPECT_EQ(60u, recorder.frames.size());
    for (unsigned n : recorder.frames) EXPECT_EQ(1u, n);
}

TEST_F(FrameRateKeeperTest, ALateTurnReportsTheFramesDueAndTheDeadlineJumpsPastThePresent) {
    Make(0);
    keeper->SetFrameRate(100);  // 10 ms
    keeper->OnIdle();           // frame at 0, next deadline 10 ms
    clock.now = 10000000 + 35000000;  // 3.5 intervals after the deadline
    keeper->OnIdle();
    EXPECT_EQ(4u, recorder.frames.back());
    clock.now = 49000000;       // the next deadline is 50 ms
    keeper->OnIdle();
    EXPECT_EQ(2u, recorder.frames.size());
    clock.now = 50000000;
    keeper->OnIdle();
    EXPECT_EQ(1u, recorder.frames.back());
}

TEST_F(FrameRateKeeperTest, TheCapLimitsTheFramesOfOneTick) {
    Make(0);
    keeper->SetFrameRate(100);
    keeper->SetMaxFramesPerTick(2);
    keeper->OnIdle();
    clock.now = 45000000;
    keeper->OnIdle();
    EXPECT_EQ(2u, recorder.frames.back());
}

TEST_F(FrameRateKeeperTest, PausedTurnsSleepAndTheFirstTurnAfterReportsThePause) {
    Make(0);
    keeper->SetFrameRate(100);
    keeper->OnIdle();
    keeper->SetPaused(true);
    EXPECT_TRUE(keeper->IsPaused());
    for (int i = 0; i < 20; ++i) {
        clock.now += 50000000;
        keeper->OnIdle();
    }
    EXPECT_EQ(std::vector<unsigned>(20, 50u), clock.sleeps);
    EXPECT_EQ(1u, recorder.frames.size());
    keeper->SetPaused(false);
    keeper->OnIdle();  // one second later: 100 intervals
    EXPECT_EQ(100u, recorder.frames.back());
    EXPECT_EQ(kNs, keeper->GetElapsedTicks());
}

TEST_F(FrameRateKeeperTest, ZeroOrANegativeRateRemovesTheLimit) {
    for (int rate : {0, -5}) {
        Make(0);
        keeper->SetFrameRate(100);
        keeper->SetFrameRate(rate);
        clock.now = 1;
        keeper->OnIdle();
        clock.now = 2;
        keeper->OnIdle();
        EXPECT_EQ(2u, recorder.frames.size());
        EXPECT_TRUE(clock.sleeps.empty());
        recorder.frames.clear();
    }
}

TEST_F(FrameRateKeeperTest, FramesPerSecondCountsTicksNotFrames) {
    Make(0);
    keeper->SetFrameRate(100);
    // 50 ticks in the first second, each reporting 2 frames.
    for (int i = 0; i < 50; ++i) {
        clock.now = i * 20000000LL;
        keeper->OnIdle();
    }
    EXPECT_DOUBLE_EQ(0.0, keeper->GetFramesPerSecond());
    clock.now = kNs;
    keeper->OnIdle();
    EXPECT_DOUBLE_EQ(50.0, keeper->GetFramesPerSecond());
}

// The clock's reading at construction is the machine's uptime; the first frame must not last that long.
TEST_F(FrameRateKeeperTest, TheFirstFrameLastsOneFrame) {
    Make(200LL * 24 * 3600 * kNs);  // 200 days of uptime
    keeper->SetFrameRate(500);
    keeper->OnIdle();
    EXPECT_EQ(2000000, keeper->GetElapsedTicks());
    EXPECT_EQ(2, keeper->GetFrameMilliseconds());

    Make(200LL * 24 * 3600 * kNs);
    clock.now += 3000000;  // no limit: the time since the keeper was made
    keeper->OnIdle();
    EXPECT_EQ(3000000, keeper->GetElapsedTicks());
    EXPECT_EQ(3, keeper->GetFrameMilliseconds());
}

TEST_F(FrameRateKeeperTest, FrameTimesCarryTheDroppedFractionOfAMillisecond) {
    Make(0);
    keeper->OnIdle();  // unlimited, first frame of 0 ms
    std::int64_t sum = 0;
    for (int i = 0; i < 1000; ++i) {
        clock.now += 2700000;  // 2.7 ms frames
        keeper->OnIdle();
        EXPECT_TRUE(keeper->GetFrameMilliseconds() == 2 || keeper->GetFrameMilliseconds() == 3);
        sum += keeper->GetFrameMilliseconds();
    }
    EXPECT_EQ(2700, sum);
    // Above a thousand frames a second whole milliseconds still add up.
    sum = 0;
    for (int i = 0; i < 1000; ++i) {
        clock.now += 400000;
        keeper->OnIdle();
        sum += keeper->GetFrameMilliseconds();
    }
    EXPECT_EQ(400, sum);
}

TEST_F(FrameRateKeeperTest, ElapsedMillisecondsCountFromConstruction) {
    Make(7 * kNs);
    clock.now += 1500000;
    EXPECT_DOUBLE_EQ(1.5, keeper->GetElapsedMilliseconds());
}

TEST_F(FrameRateKeeperTest, TheMonotonicClockAdvances) {
    FrameClock c = trivale::MonotonicFrameClock();
    ASSERT_GT(c.frequency, 0);
    std::int64_t a = c.read();
    c.sleep(1);
    EXPECT_GT(c.read(), a);
}

}  // namespace
