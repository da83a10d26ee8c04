// The segment caches: an evaluation that starts from whatever key the last one left gives the very
// bits a cold start gives, for every key shape and behaviour, at times before the first key, inside,
// on the keys and after the last, visited forwards, backwards and at random.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lwtest;

namespace {

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

Key K(double value, double time, int shape, double t = 0, double c = 0, double b = 0, double p0 = 0, double p1 = 0) {
    return Key{value, time, shape, t, c, b, p0, p1, 0};
}

// Keys out of time order have no defined value: they are only evaluated (the sanitizers watch).
TEST(EvaluationCache, EnvelopesWarmGiveTheColdBits) {
    const struct {
        const char* name;
        std::vector<Key> keys;
    } sets[] = {
        {"every shape",
         {K(0, 0, 0, .2, -.3, .1), K(4, .5, 1, 3, -2), K(1, 1.25, 2, -1, 2), K(3, 2, 3), K(-2, 3, 4),
          K(5, 3.5, 0, .5)}},
        {"tcb", {K(1, -1, 0, .5, .5, -.5), K(-3, 0, 0, -.4, .2, .3), K(2, .75, 0, .1, -.9, 0), K(0, 2, 0, 1, 1, 1)}},
        {"hermite and bezier", {K(0, 0, 1, 0, 5), K(2, 1, 2, -4, 1), K(1, 3, 1, 2, -3), K(6, 4, 2, 1, 0)}},
        {"linear ends", {K(0, 0, 3), K(5, 1, 0, .3), K(2, 2, 3), K(7, 4, 3)}},
        {"stepped", {K(1, 0, 4), K(3, 1, 4), K(-1, 2, 4)}},
        {"2d bezier", {K(0, 0, 5, 0, 0, .3, 2), K(4, 1, 5, -.25, 1, 1e-6, 3), K(1, 2, 5, -.4, -2, .2, -1), K(3, 3, 0)}},
        {"bezier after tcb", {K(0, 0, 0), K(4, 1, 5, -.3, 1, .4, 1), K(2, 2, 3)}},
        {"unknown shape", {K(0, 0, 0), K(5, 1, 9), K(2, 2, 0)}},
        {"one key", {K(7, 2, 0)}},
        {"no keys", {}},
        {"equal times", {K(0, 0, 0), K(4, 1, 0), K(6, 1, 3), K(1, 2, 0), K(2, 2 + 5e-8, 1)}},
        {"tiny span", {K(1, 5, 0), K(2, 5 + 1e-8, 3)}},
        {"out of order", {K(0, 0, 0), K(3, 2, 0), K(1, 1, 3), K(5, 3, 0), K(2, -1, 1)}},
        {"large values", {K(1e300, 0, 0), K(-1e300, 1e-3, 0), K(0, 1e6, 3)}},
    };
    for (const auto& set : sets) {
        std::vector<double> keyTimes;
        for (const Key& k : set.keys) keyTimes.push_back(k.time);
        for (int pre : {0, 1, 2, 3, 4, 5, 7, -1})
            for (int post : {0, 1, 2, 3, 4, 5, 7, -1}) {
                EnvelopeScene e(set.keys, pre, post);
                ASSERT_NE(e.env, nullptr);
                // An item whose nine channels are the same envelope, warmed through its motion groups.
                std::string text = "LWSC\n3\nAddLight\nLightMotion\nNumChannels 9\n";
                for (int c = 0; c < 9; ++c)
                    text += "Channel " + std::to_string(c) + "\n" + EnvelopeBlock(set.keys, pre, post);
                ScenePtr item = Load(text);
                Visit(Times(keyTimes), [&](double t) {
                    double warm[10] = {e.At(t)};
                    const int32_t groups[] = {LW_MOTION_POSITION, LW_MOTION_ROTATION, LW_MOTION_SCALE};
                    for (int g = 0; g < 3; ++g)
                        item->Op.EvaluateMotion(item.get(), item->FirstItem, groups[g], t, warm + 1 + 3 * g);
                    LwEnvelopeKey* kept = e.env->CurrentKey;
                    e.env->CurrentKey = nullptr;
                    double cold = e.At(t);
                    e.env->CurrentKey = kept;
                    if (set.name != std::string("out of order")) {
                        for (double w : warm)
                            ASSERT_EQ(memcmp(&w, &cold, sizeof(w)), 0)
                                << set.name << " at " << t << " " << pre << "/" << post;
                    }
                });
            }
    }
}

TEST(EvaluationCache, KeyframesWarmGiveTheColdBits) {
    const struct {
        const char* name;
        std::vector<int> steps, linear;
    } sets[] = {
        {"four keys", {0, 10, 25, 40}, {0, 0, 1, 0}},
        {"two keys", {0, 30}, {0, 1}},
        {"one key", {5}, {0}},
        {"equal steps", {0, 10, 10, 20}, {0, 0, 0, 1}},
        {"out of order", {0, 20, 10, 30}, {0, 0, 0, 0}},
    };
    ScenePtr scene = Load("LWSC\n3\n");
    for (const auto& set : sets) {
        std::vector<LwMotionKey> keys(set.steps.size());
        std::vector<double> keyTimes;
        for (size_t i = 0; i < keys.size(); ++i) {
            LwMotionKey& k = keys[i];
            memset(&k, 0, sizeof(k));
            keyTimes.push_back(k.Step = set.steps[i]);
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
        for (int group : {(int)LW_MOTION_POSITION, (int)LW_MOTION_ROTATION, (int)LW_MOTION_SCALE, 2,
                          (int)LW_MOTION_PIVOT_POSITION}) {
            Visit(Times(keyTimes), [&](double frame) {
                double warm[3] = {-7, -8, -9}, cold[3] = {-7, -8, -9};
                scene->Op.EvaluateKeyframeMotion(scene.get(), &motion, group, frame, warm);
                LwMotionKey* kept = motion.CurrentKey;
                motion.CurrentKey = nullptr;
                scene->Op.EvaluateKeyframeMotion(scene.get(), &motion, group, frame, cold);
                motion.CurrentKey = kept;
                if (set.name != std::string("out of order")) {
                    ASSERT_EQ(memcmp(warm, cold, sizeof(warm)), 0) << set.name << " at " << frame << " group " << group;
                }
            });
        }
    }
}

}  // namespace
