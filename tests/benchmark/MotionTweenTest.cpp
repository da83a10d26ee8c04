// The tween's value along its time line, under each ease, at its ends and with no duration.
#include <gtest/gtest.h>

#include "benchmark/MotionTween.h"

namespace {

TEST(MotionTween, ValueAtTime) {
    struct Case {
        float start, end, exponent, duration, delay, time, value;
    };
    const Case cases[] = {
        {0, 1, 1, 2, 0, 0.5f, 0.25f},   {0, 1, 1, 2, 0, 3, 1},
        {0, 1, 1, 2, 0, -1, 0},  // linear, ends
        {2, 4, 1, 1, 1, 1, 2},          {2, 4, 1, 1, 1, 1.5f, 3},
        {1, 0, 1, 4, 0, 1, 0.75f},  // delay, down
        {10, 20, 2, 1, 0, 0.5f, 12.5f}, {10, 20, 0.5f, 1, 0, 0.5f, 17.5f},
        {0, 8, 3, 1, 0, 1, 8},  // eases
        {1, 5, 1, 0, 2, 1.9f, 1},       {1, 5, 1, 0, 2, 2, 5},
        {1, 5, 2, -1, 0, 0, 5},  // no duration
    };
    for (const Case& c : cases) {
        CMotionTween<float> tween;
        tween.SetStart(c.start), tween.SetEnd(c.end), tween.SetExponent(c.exponent);
        tween.SetDuration(c.duration), tween.SetDelay(c.delay), tween.SetTime(c.time);
        EXPECT_FLOAT_EQ(tween.GetValue(), c.value)
            << c.start << ">" << c.end << " e" << c.exponent << " d" << c.duration << " +" << c.delay << " @" << c.time;
    }
}

// Fresh: 0 at any time (text stays hidden until a fade is set). Advance adds, JumpToEnd lands on the
// end, Rewind goes back to time 0, not to the delay.
TEST(MotionTween, TimeOperations) {
    CMotionTween<float> tween;
    tween.Advance(5);
    EXPECT_EQ(tween.GetValue(), 0.0f);
    tween.SetEnd(3), tween.SetDuration(2), tween.SetDelay(0.5f), tween.SetTime(0);
    tween.Advance(0.75f), tween.Advance(0.75f);
    EXPECT_FLOAT_EQ(tween.GetValue(), 1.5f);
    tween.JumpToEnd();
    EXPECT_FLOAT_EQ(tween.GetTime(), 2.5f);
    EXPECT_FLOAT_EQ(tween.GetValue(), 3);
    tween.Rewind();
    EXPECT_EQ(tween.GetTime(), 0.0f);
}

}  // namespace
