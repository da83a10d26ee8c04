// The score and the frame statistics over fixed sequences of passes.
#include "benchmark/ScoreCounter.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

TEST(ScoreTest, CountingRatioAndResetOverFixedPasses) {
    // Steps: 'p' a pass, '+' counting on, '-' counting off, 'r' a reset, 'x', 'X', '1' the ratio
    // 2.5, 2^24, 1.
    // clang-format off
    const struct {
        const char* steps;
        float score, previous;
        bool showsPrevious;
    } cases[] = {
        {"ppp", 0, 0, false},                   // not counting: frozen
        {"+pp-pp+p", 3, 0, false},              // one per pass at the ratio 1, not while off
        {"-xpp+pr", 0, 2.5f, true},             // the ratio per pass; a reset keeps the score as the previous one
        {"+pr", 0, 1, false},                   // a previous score of exactly 1 is not shown
        {"+xprr", 0, 0, false},                 // a second reset keeps the zero
        {"+Xp1p", 16777216.0f, 0, false},       // 32-bit float: steps of one end at 2^24
    };
    // clang-format on
    for (const auto& c : cases) {
        CScoreCounter counter;
        for (const char* s = c.steps; *s != '\0'; ++s) {
            if (*s == 'p') counter.Advance();
            if (*s == '+' || *s == '-') counter.SetCounting(*s == '+');
            if (*s == 'r') counter.Reset();
            if (*s == 'x' || *s == 'X' || *s == '1')
                counter.SetRatio(*s == 'x' ? 2.5f : *s == 'X' ? 16777216.0f : 1.0f);
        }
        EXPECT_EQ(counter.GetScore(), c.score) << c.steps;
        EXPECT_EQ(counter.GetPrevious(), c.previous) << c.steps;
        EXPECT_EQ(counter.ShowsPrevious(), c.showsPrevious) << c.steps;
    }
}

// Triangles per second: a window closes on the first pass more than 1000 ms after it opened.
TEST(ScoreTest, TriangleRateOverWindowsOfJustOverASecond) {
    const struct {
        const char* name;
        std::vector<std::pair<double, std::uint32_t>> passes;  // clock (ms), triangles
        std::int32_t rate;
    } cases[] = {
        {"before a second", {{0, 100}, {500, 100}, {1000, 100}}, 0},
        {"1000 ms exactly waits a pass", {{0, 100}, {1000.0, 100}}, 0},
        {"closed at 1500 ms", {{0, 100}, {500, 100}, {1500, 100}, {2000, 100}}, 133},
        // Steady passes: the rate is the triangles of a frame times the frames of a second.
        // clang-format off
        {"8 frames a second of 1000", {{0, 1000}, {125, 1000}, {250, 1000}, {375, 1000}, {500, 1000}, {625, 1000},
                                       {750, 1000}, {875, 1000}, {1000, 1000}, {1125, 1000}}, 8000},
        // clang-format on
        {"the count past 32 bits", {{0, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu}, {2, 0xFFFFFFFFu}, {1001, 0}}, INT32_MAX},
    };
    for (const auto& c : cases) {
        CTriangleRate rate;
        for (const auto& pass : c.passes) rate.Add(pass.first, pass.second);
        EXPECT_EQ(rate.GetRate(), c.rate) << c.name;
    }
}

}  // namespace
