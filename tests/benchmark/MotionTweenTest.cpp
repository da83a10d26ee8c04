// The tween's value along its time line, under each ease, at its ends and with no duration. Advance
// and Rewind are driven through the text fade (TextLinesTest).
#include <gtest/gtest.h>

#include "benchmark/MotionTween.h"

namespace {

TEST(MotionTween, ValueAtTime) {
    const struct {
        float start, end, exponent, duration, delay, time, value;
    } cases[] = {
        {0, 1, 1, 2, 0, 0.5f, 0.25f},   {0, 1, 1, 2, 0, 3, 1},
        {0, 1, 1, 2, 0, -1, 0},  // linear, ends
        {2, 4, 1, 1, 1, 1, 2},          {2, 4, 1, 1, 1, 1.5f, 3},
        {1, 0, 1, 4, 0, 1, 0.75f},  // delay, down
        {10, 20, 2, 1, 0, 0.5f, 12.5f}, {10, 20, 0.5f, 1, 0, 0.5f, 17.5f},
        {0, 8, 3, 1, 0, 1, 8},  // eases
        {1, 5, 1, 0, 2, 1.9f, 1},       {1, 5, 1, 0, 2, 2, 5},
        {1, 5, 2, -1, 0, 0, 5},  // no duration
    };
    for (const auto& c : cases) {
        CMotionTween<float> tween;
        tween.SetStart(c.start), tween.SetEnd(c.end), tween.SetExponent(c.exponent);
        tween.SetDuration(c.duration), tween.SetDelay(c.delay), tween.SetTime(c.time);
        EXPECT_FLOAT_EQ(tween.GetValue(), c.value) << c.start << ">" << c.end << " e" << c.exponent << " @" << c.time;
    }
}

}  // namespace
