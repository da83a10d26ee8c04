// The tween's value at points of its time line, under each ease, and the operations that move it.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "benchmark/MotionTween.h"

namespace {

struct TweenCase {
    const char* what;
    float start, end, exponent, duration, delay, time;
    float value;
};

const TweenCase kTweenCases[] = {
    {"linear quarter", 0, 1, 1, 2, 0, 0.5f, 0.25f},
    {"linear past the end", 0, 1, 1, 2, 0, 3, 1},
    {"linear before the start", 0, 1, 1, 2, 0, -1, 0},
    {"at the delay", 2, 4, 1, 1, 1, 1, 2},
    {"delayed midpoint", 2, 4, 1, 1, 1, 1.5f, 3},
    {"downwards", 1, 0, 1, 4, 0, 1, 0.75f},
    {"exponent 2 starts slowly", 10, 20, 2, 1, 0, 0.5f, 12.5f},
    {"exponent 0.5 mirrors it", 10, 20, 0.5f, 1, 0, 0.5f, 17.5f},
    {"exponent 3 at the end", 0, 8, 3, 1, 0, 1, 8},
    {"exponent 0.25 at the start", 0, 8, 0.25f, 1, 0, 0, 0},
    {"start equals end", 0, 0, 1, 1, 0, 0.3f, 0},
    {"zero duration before the delay", 1, 5, 1, 0, 2, 1.9f, 1},
    {"zero duration at the delay", 1, 5, 1, 0, 2, 2, 5},
    {"zero duration after the delay", 1, 5, 1, 0, 2, 7, 5},
    {"zero duration, no delay, rewound", 1, 5, 2, 0, 0, 0, 5},
    {"negative duration is no duration", 1, 5, 1, -1, 0, -0.5f, 1},
    {"negative duration, after the delay", 1, 5, 1, -1, 0, 0.5f, 5},
};

class TweenValue : public ::testing::TestWithParam<TweenCase> {};

TEST_P(TweenValue, AtTime) {
    const TweenCase& c = GetParam();
    CMotionTween<float> tween;
    tween.SetStart(c.start);
    tween.SetEnd(c.end);
    tween.SetExponent(c.exponent);
    tween.SetDuration(c.duration);
    tween.SetDelay(c.delay);
    tween.SetTime(c.time);
    EXPECT_FLOAT_EQ(tween.GetValue(), c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, TweenValue, ::testing::ValuesIn(kTweenCases),
                         [](const ::testing::TestParamInfo<TweenCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// A fresh tween holds 0 whatever the time, as the text lines stay hidden until a fade is set.
TEST(MotionTween, StartsAtZeroLinearOverOneSecond) {
    CMotionTween<float> tween;
    EXPECT_EQ(tween.GetStart(), 0.0f);
    EXPECT_EQ(tween.GetEnd(), 0.0f);
    EXPECT_EQ(tween.GetExponent(), 1.0f);
    EXPECT_EQ(tween.GetDuration(), 1.0f);
    EXPECT_EQ(tween.GetDelay(), 0.0f);
    EXPECT_EQ(tween.GetTime(), 0.0f);
    for (float t : {-5.0f, 0.0f, 0.5f, 100.0f}) {
        tween.SetTime(t);
        EXPECT_EQ(tween.GetValue(), 0.0f) << t;
    }
}

// Advance adds to the time, JumpToEnd lands on the end, Rewind goes back to time 0 (not the delay).
TEST(MotionTween, TimeOperations) {
    CMotionTween<float> tween;
    tween.SetStart(1);
    tween.SetEnd(3);
    tween.SetDuration(2);
    tween.SetDelay(0.5f);
    tween.Advance(0.75f);
    tween.Advance(0.75f);
    EXPECT_FLOAT_EQ(tween.GetTime(), 1.5f);
    EXPECT_FLOAT_EQ(tween.GetValue(), 2);
    tween.JumpToEnd();
    EXPECT_FLOAT_EQ(tween.GetTime(), 2.5f);
    EXPECT_FLOAT_EQ(tween.GetValue(), 3);
    tween.Rewind();
    EXPECT_EQ(tween.GetTime(), 0.0f);
    EXPECT_FLOAT_EQ(tween.GetValue(), 1);
    tween.SetDuration(0);
    tween.JumpToEnd();
    EXPECT_FLOAT_EQ(tween.GetValue(), 3) << "a zero-length tween jumped to its end is at its end";
}

// Stepping in frames reaches the end value exactly, and never overshoots on the way.
TEST(MotionTween, FramesStayBetweenTheEnds) {
    for (float exponent : {0.3f, 1.0f, 2.5f}) {
        CMotionTween<float> tween;
        tween.SetStart(1);
        tween.SetEnd(0);
        tween.SetExponent(exponent);
        float previous = tween.GetValue();
        for (int frame = 0; frame < 70; ++frame) {
            tween.Advance(1.0f / 60);
            const float value = tween.GetValue();
            EXPECT_LE(value, previous) << exponent << " frame " << frame;
            EXPECT_GE(value, 0.0f);
            previous = value;
        }
        EXPECT_EQ(previous, 0.0f) << exponent;
    }
}

}  // namespace
