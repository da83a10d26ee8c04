// Evaluation held to the exact bits it gave before the segment caches were reworked: every key
// shape and behaviour, times before the first key, inside, on the keys and after the last, visited
// forwards, backwards and at random. The values are folded into one hash per key set (x86-64
// double arithmetic); a sequential walk must also equal a walk from a cold cache.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lwtest;

namespace {

struct Hash {
    uint64_t h = 1469598103934665603ull;
    void Add(double v) {
        uint64_t bits;
        memcpy(&bits, &v, sizeof(bits));
        for (int i = 0; i < 8; ++i) h = (h ^ ((bits >> (8 * i)) & 0xff)) * 1099511628211ull;
    }
};

// Times around the keys: a sweep over [first - 2.6 span, last + 2.6 span] that meets every key time,
// plus the times just off each key.
std::vector<double> Times(const std::vector<double>& keyTimes) {
    double lo = keyTimes.empty() ? 0 : keyTimes.front(), hi = lo;
    for (double t : keyTimes) lo = std::min(lo, t), hi = std::max(hi, t);
    double span = hi > lo ? hi - lo : 1.0;
    std::vector<double> times;
    for (int i = -104; i <= 144; ++i) times.push_back(lo + span * i / 40.0);
    for (double t : keyTimes)
        for (double d : {0.0, 1e-8, -1e-8, 3e-7, -3e-7}) times.push_back(t + d);
    return times;
}

// Forwards, backwards, then a fixed scramble.
template <typename F>
void Visit(const std::vector<double>& times, F eval) {
    for (double t : times) eval(t);
    for (size_t i = times.size(); i-- > 0;) eval(times[i]);
    for (size_t i = 0; i < times.size(); ++i) eval(times[(i * 37 + 11) % times.size()]);
}

struct EnvelopeSet {
    const char* name;
    std::vector<Key> keys;
    uint64_t hash;
};

Key K(double value, double time, int shape, double t = 0, double c = 0, double b = 0, double p0 = 0, double p1 = 0) {
    return Key{value, time, shape, t, c, b, p0, p1, 0};
}

const EnvelopeSet kEnvelopes[] = {
    {"every shape",
     {K(0, 0, 0, .2, -.3, .1), K(4, .5, 1, 3, -2), K(1, 1.25, 2, -1, 2), K(3, 2, 3), K(-2, 3, 4), K(5, 3.5, 0, .5)},
     0x70874c007b7c8e33ull},
    {"tcb",
     {K(1, -1, 0, .5, .5, -.5), K(-3, 0, 0, -.4, .2, .3), K(2, .75, 0, .1, -.9, 0), K(0, 2, 0, 1, 1, 1)},
     0xe9c40ccedd94843bull},
    {"hermite and bezier",
     {K(0, 0, 1, 0, 5), K(2, 1, 2, -4, 1), K(1, 3, 1, 2, -3), K(6, 4, 2, 1, 0)},
     0x7c95330f0d2407d7ull},
    {"linear ends", {K(0, 0, 3), K(5, 1, 0, .3), K(2, 2, 3), K(7, 4, 3)}, 0xdf336740aecaf887ull},
    {"stepped", {K(1, 0, 4), K(3, 1, 4), K(-1, 2, 4)}, 0x01b569dcd11551e7ull},
    {"2d bezier",
     {K(0, 0, 5, 0, 0, .3, 2), K(4, 1, 5, -.25, 1, 1e-6, 3), K(1, 2, 5, -.4, -2, .2, -1), K(3, 3, 0)},
     0x637db864418b6f9full},
    {"bezier after tcb", {K(0, 0, 0), K(4, 1, 5, -.3, 1, .4, 1), K(2, 2, 3)}, 0xf56ce69cca81f983ull},
    {"unknown shape", {K(0, 0, 0), K(5, 1, 9), K(2, 2, 0)}, 0x3931899010001fe7ull},
    {"two keys", {K(0, 0, 0), K(10, 1, 0)}, 0x677d81f87f73b0bbull},
    {"one key", {K(7, 2, 0)}, 0x4b9a194cf9585383ull},
    {"no keys", {}, 0x1d222c5cccd90b83ull},
    {"equal times", {K(0, 0, 0), K(4, 1, 0), K(6, 1, 3), K(1, 2, 0), K(2, 2 + 5e-8, 1)}, 0x4f41185203850393ull},
    {"tiny span", {K(1, 5, 0), K(2, 5 + 1e-8, 3)}, 0x3f9de0923cd0e243ull},
    {"out of order", {K(0, 0, 0), K(3, 2, 0), K(1, 1, 3), K(5, 3, 0), K(2, -1, 1)}, 0x4c14cd62ad9db793ull},
    {"large values", {K(1e300, 0, 0), K(-1e300, 1e-3, 0), K(0, 1e6, 3)}, 0xec19fbb1361c570bull},
};

const int kBehaviours[] = {0, 1, 2, 3, 4, 5, 7, -1};

class EnvelopeRecord : public ::testing::TestWithParam<EnvelopeSet> {};

TEST_P(EnvelopeRecord, SameBitsAsBefore) {
    const EnvelopeSet& set = GetParam();
    std::vector<double> keyTimes;
    for (const Key& k : set.keys) keyTimes.push_back(k.time);
    const std::vector<double> times = Times(keyTimes);
    Hash hash;
    for (int pre : kBehaviours) {
        for (int post : kBehaviours) {
            EnvelopeScene e(set.keys, pre, post);
            ASSERT_NE(e.env, nullptr);
            Visit(times, [&](double t) {
                double v = e.At(t);
                // From a cold cache: the value the key list defines, whatever came before.
                LwEnvelopeKey* kept = e.env->CurrentKey;
                e.env->CurrentKey = nullptr;
                double cold = e.At(t);
                e.env->CurrentKey = kept;
                hash.Add(cold);
                if (set.name != std::string("out of order")) {
                    ASSERT_EQ(memcmp(&v, &cold, sizeof(v)), 0) << set.name << " at " << t << " " << pre << "/" << post;
                }
            });
        }
    }
    EXPECT_EQ(hash.h, set.hash) << std::hex << hash.h;
}

INSTANTIATE_TEST_SUITE_P(KeySets, EnvelopeRecord, ::testing::ValuesIn(kEnvelopes));

struct MotionSet {
    const char* name;
    std::vector<int> steps, linear;
    uint64_t hash;
};

const MotionSet kMotions[] = {
    {"four keys", {0, 10, 25, 40}, {0, 0, 1, 0}, 0xe8018789a24d47e9ull},
    {"two keys", {0, 30}, {0, 1}, 0x24551988c9aff91dull},
    {"one key", {5}, {0}, 0x65570b066dd34c5bull},
    {"equal steps", {0, 10, 10, 20}, {0, 0, 0, 1}, 0xfa372ffaeae34cc7ull},
    {"out of order", {0, 20, 10, 30}, {0, 0, 0, 0}, 0x837448aaa0f49d7aull},
};

class MotionRecord : public ::testing::TestWithParam<MotionSet> {};

TEST_P(MotionRecord, SameBitsAsBefore) {
    const MotionSet& set = GetParam();
    ScenePtr scene = Load("LWSC\n3\n");
    ASSERT_NE(scene, nullptr);
    std::vector<LwMotionKey> keys(set.steps.size());
    std::vector<double> keyTimes;
    for (size_t i = 0; i < keys.size(); ++i) {
        LwMotionKey& k = keys[i];
        memset(&k, 0, sizeof(k));
        k.Step = set.steps[i];
        keyTimes.push_back(k.Step);
        for (int c = 0; c < 3; ++c) {
            k.Position[c] = (double)((i * 7 + c * 3) % 5) - 2;
            k.Rotation[c] = 0.5 * (double)((i * 5 + c) % 4);
            k.Scale[c] = 1 + 0.25 * (double)((i + c * 2) % 3);
        }
        k.Tension = 0.1 * (double)(i % 3) - 0.1;
        k.Continuity = 0.2 * (double)((i + 1) % 2);
        k.Bias = -0.15 * (double)(i % 2);
        k.Linear = set.linear[i];
        k.Prev = i > 0 ? &keys[i - 1] : nullptr;
        k.Next = i + 1 < keys.size() ? &keys[i + 1] : nullptr;
    }
    LwKeyframeMotion motion{&keys.front(), &keys.back(), &keys.front(), (int32_t)keys.size(), 1};
    const std::vector<double> times = Times(keyTimes);
    Hash hash;
    for (int group :
         {(int)LW_MOTION_POSITION, (int)LW_MOTION_ROTATION, (int)LW_MOTION_SCALE, 2, (int)LW_MOTION_PIVOT_POSITION}) {
        Visit(times, [&](double frame) {
            double out[3] = {-7, -8, -9}, cold[3] = {-7, -8, -9};
            scene->Op.EvaluateKeyframeMotion(scene.get(), &motion, group, frame, out);
            LwMotionKey* kept = motion.CurrentKey;
            motion.CurrentKey = nullptr;
            scene->Op.EvaluateKeyframeMotion(scene.get(), &motion, group, frame, cold);
            motion.CurrentKey = kept;
            for (double v : cold) hash.Add(v);
            if (set.name != std::string("out of order")) {
                ASSERT_EQ(memcmp(out, cold, sizeof(out)), 0) << set.name << " at " << frame << " group " << group;
            }
        });
    }
    EXPECT_EQ(hash.h, set.hash) << std::hex << hash.h;
}

INSTANTIATE_TEST_SUITE_P(KeySets, MotionRecord, ::testing::ValuesIn(kMotions));

}  // namespace
