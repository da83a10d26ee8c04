// The score and the frame statistics over fixed sequences of passes, and the saturating conversions
// the overlay prints them with.
#include "benchmark/ScoreCounter.h"
#include "core/Saturate.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

// One step of a run: 'p' a pass, '+' counting on, '-' counting off, 'r' a reset, 'x' the ratio 2.5.
struct ScoreCase {
    const char* steps;
    float score, previous;
    bool showsPrevious;
};

TEST(ScoreTest, CountingRatioAndResetOverFixedPasses) {
    const ScoreCase cases[] = {
        {"ppp", 0.0f, 0.0f, false},       // not counting: frozen
        {"+ppp", 3.0f, 0.0f, false},      // one per pass at the ratio 1
        {"+pp-pp+p", 3.0f, 0.0f, false},  // off in between
        {"+x pppp", 10.0f, 0.0f, false},  // the ratio per pass
        {"+pp r p", 1.0f, 2.0f, true},    // a reset keeps the score as the previous one
        {"+p r", 0.0f, 1.0f, false},      // a previous score of exactly 1 is not shown
        {"+x p r r", 0.0f, 0.0f, false},  // a second reset keeps the zero
        {"-x pp +p r", 0.0f, 2.5f, true},
    };
    for (const ScoreCase& c : cases) {
        CScoreCounter counter;
        for (const char* s = c.steps; *s != '\0'; ++s) {
            switch (*s) {
            case 'p':
                counter.Advance();
                break;
            case '+':
                counter.SetCounting(true);
                break;
            case '-':
                counter.SetCounting(false);
                break;
            case 'r':
                counter.Reset();
                break;
            case 'x':
                counter.SetRatio(2.5f);
                break;
            default:
                break;
            }
        }
        EXPECT_EQ(counter.GetScore(), c.score) << c.steps;
        EXPECT_EQ(counter.GetPrevious(), c.previous) << c.steps;
        EXPECT_EQ(counter.ShowsPrevious(), c.showsPrevious) << c.steps;
    }
}

TEST(ScoreTest, ScoreStopsWhereFloatStepsOfOneEnd) {
    CScoreCounter counter;
    counter.SetCounting(true);
    counter.SetRatio(16777216.0f);
    counter.Advance();
    counter.SetRatio(1.0f);
    counter.Advance();
    EXPECT_EQ(counter.GetScore(), 16777216.0f);
}

TEST(ScoreTest, PrintedValuesSaturateAndNaNIsZero) {
    const struct {
        double value;
        int printed;
    } cases[] = {
        {1234.9, 1234},      {-1.5, -1},           {1.5, 1},
        {1e10, INT_MAX},     {-1e10, INT_MIN},     {NAN, 0},
        {INFINITY, INT_MAX}, {-INFINITY, INT_MIN}, {2147483647.0, INT_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(trivale::SaturateToInt(c.value), c.printed) << c.value;
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
        {"the count past 32 bits", {{0, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu}, {2, 0xFFFFFFFFu}, {1001, 0}}, INT32_MAX},
    };
    for (const auto& c : cases) {
        CTriangleRate rate;
        for (const auto& pass : c.passes) rate.Add(pass.first, pass.second);
        EXPECT_EQ(rate.GetRate(), c.rate) << c.name;
    }
}

}  // namespace
