// The search caches: an evaluation that starts from whatever key the last one left gives the very
// bits a cold start gives, for every key shape and behaviour, at times before the first key, inside,
// on the keys and after the last, visited forwards, backwards and at random, and after callers have
// written keys through the pointers the library hands out.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

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

// A light whose nine motion channels are the same envelope, one after another as loaded.
std::string NineChannels(const std::vector<Key>& keys, int pre = 1, int post = 1) {
    std::string text = "LWSC\n3\nAddLight\nLightMotion\nNumChannels 9\n";
    for (int c = 0; c < 9; ++c) text += "Channel " + std::to_string(c) + "\n" + EnvelopeBlock(keys, pre, post);
    return text;
}

// Position, rotation and scale of the scene's first item at t.
std::vector<double> Motion(LwScene* s, double t) {
    std::vector<double> out(9, -1.0);
    const int32_t groups[] = {LW_MOTION_POSITION, LW_MOTION_ROTATION, LW_MOTION_SCALE};
    for (int g = 0; g < 3; ++g) s->Op.EvaluateMotion(s, s->FirstItem, groups[g], t, &out[3 * (size_t)g]);
    return out;
}

// The same with every channel's search starting cold; the caches are left as they were.
std::vector<double> ColdMotion(LwScene* s, double t) {
    std::vector<LwEnvelopeKey*> kept;
    for (LwEnvelope* e = s->FirstItem->ChannelList; e; e = e->Next)
        kept.push_back(e->CurrentKey), e->CurrentKey = nullptr;
    std::vector<double> out = Motion(s, t);
    size_t i = 0;
    for (LwEnvelope* e = s->FirstItem->ChannelList; e; e = e->Next) e->CurrentKey = kept[i++];
    return out;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

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
                ScenePtr item = Load(NineChannels(set.keys, pre, post));
                Visit(Times(keyTimes), [&](double t) {
                    double warm[10] = {e.At(t)};
                    const int32_t groups[] = {LW_MOTION_POSITION, LW_MOTION_ROTATION, LW_MOTION_SCALE};
                    for (int g = 0; g < 3; ++g)
                        item->Op.EvaluateMotion(item.get(), item->FirstItem, groups[g], t, warm + 1 + 3 * g);
                    LwEnvelopeKey* kept = e.env->CurrentKey;
                    e.env->CurrentKey = nullptr;
                    double cold = e.At(t);
                    e.env->CurrentKey = kept;
                    for (double w : warm)
                        ASSERT_EQ(memcmp(&w, &cold, sizeof(w)), 0)
                            << set.name << " at " << t << " " << pre << "/" << post;
                });
            }
    }
}

// Keys out of time order, as a file may give them: the value at a time is the one a search from the
// first key gives, whatever was evaluated before. Keys at 0, 1, 3 and 2 s with nothing after the last
// (at 2 s): 2.5 s lies after it, so the value is 0, and after an evaluation at 1.5 s too.
TEST(EvaluationCache, KeysOutOfOrderGiveWhatASearchFromTheFirstGives) {
    const std::vector<Key> keys = {K(0, 0, LW_SHAPE_LINEAR), K(10, 1, LW_SHAPE_LINEAR), K(30, 3, LW_SHAPE_LINEAR),
                                   K(20, 2, LW_SHAPE_LINEAR)};
    EnvelopeScene alone(keys, LW_BEHAVIOR_CONSTANT, LW_BEHAVIOR_RESET);
    EXPECT_EQ(alone.At(2.5), 0.0);
    EnvelopeScene after(keys, LW_BEHAVIOR_CONSTANT, LW_BEHAVIOR_RESET);
    EXPECT_EQ(after.At(1.5), 15.0);
    EXPECT_EQ(after.At(2.5), 0.0);
    ScenePtr item = Load(NineChannels(keys, LW_BEHAVIOR_CONSTANT, LW_BEHAVIOR_RESET));
    EXPECT_EQ(Motion(item.get(), 1.5), std::vector<double>(9, 15.0));
    EXPECT_EQ(Motion(item.get(), 2.5), std::vector<double>(9, 0.0));
}

// Random envelopes, some with keys swapped out of time order, evaluated at random times: every value,
// of the envelope and of an item's motion, is the bits a freshly loaded one gives at that time.
TEST(EvaluationCache, RandomEvaluationsGiveTheFreshValues) {
    std::mt19937 rng(44);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int round = 0; round < 30; ++round) {
        std::vector<Key> keys;
        double time = uniform(-1, 1);
        for (int i = 0, n = 2 + pick(5); i < n; ++i, time += uniform(0.1, 1))
            keys.push_back(K(uniform(-5, 5), time, pick(6), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1),
                             uniform(-1, 1), uniform(-1, 1)));
        if (round % 3 != 0)
            std::swap(keys[(size_t)pick((int)keys.size())].time, keys[(size_t)pick((int)keys.size())].time);
        const int pre = pick(6), post = pick(6);
        EnvelopeScene warm(keys, pre, post);
        ScenePtr item = Load(NineChannels(keys, pre, post));
        ASSERT_NE(warm.env, nullptr);
        const double from = keys.front().time - 2, to = time + 2;
        double t = from;
        for (int step = 0; step < 100; ++step) {
            // Runs of times going on as frames do, between jumps anywhere.
            t = step % 10 == 0 ? uniform(from, to) : t + uniform(-0.05, 0.3);
            const double got = warm.At(t);
            const double fresh = EnvelopeScene(keys, pre, post).At(t);
            ASSERT_EQ(memcmp(&got, &fresh, sizeof(got)), 0) << "round " << round << " step " << step << " at " << t;
            ScenePtr freshItem = Load(NineChannels(keys, pre, post));
            ASSERT_TRUE(SameBits(Motion(item.get(), t), Motion(freshItem.get(), t)))
                << "round " << round << " step " << step << " at " << t;
        }
    }
}

// The key GetKeyValue hands out, written after evaluations on both segments: the next evaluation
// sees the value, of the envelope and of an item's motion alike.
TEST(EvaluationCache, AKeyWrittenThroughItsPointerIsSeen) {
    const std::vector<Key> keys = {K(0, 0, LW_SHAPE_LINEAR), K(10, 1, LW_SHAPE_LINEAR), K(0, 2, LW_SHAPE_LINEAR)};
    EnvelopeScene e(keys);
    LwEnvelopeKey* key = e.scene->Op.GetKeyValue(e.scene.get(), e.env, 2.0);
    ASSERT_EQ(key, e.env->LastKey);
    EXPECT_EQ(e.At(0.5), 5.0);
    EXPECT_EQ(e.At(1.5), 5.0);
    key->Value = 30;
    EXPECT_EQ(e.At(1.5), 20.0);
    EXPECT_EQ(e.At(1.75), 25.0);

    std::vector<Key> written = keys;
    written[2].value = 30;
    ScenePtr s = Load(NineChannels(keys)), truth = Load(NineChannels(written));
    std::vector<LwEnvelopeKey*> last;
    for (int c = 0; c < 9; ++c)
        last.push_back(s->Op.GetKeyValue(s.get(), s->Op.FindChannel(s.get(), s->FirstItem, c), 2.0));
    Motion(s.get(), 0.5);
    Motion(s.get(), 1.5);
    for (LwEnvelopeKey* k : last) k->Value = 30;
    for (double t : {1.5, 1.75, 0.5, 2.0, 1.25}) {
        const std::vector<double> got = Motion(s.get(), t);
        EXPECT_TRUE(SameBits(got, ColdMotion(s.get(), t))) << t;
        EXPECT_TRUE(SameBits(got, Motion(truth.get(), t))) << t;
    }
    EXPECT_EQ(Motion(s.get(), 1.75), std::vector<double>(9, 25.0));
}

// Every key field a caller may write, written at random between evaluations (keys kept in time
// order), and keys inserted: the warm results stay the cold ones, bit for bit.
TEST(EvaluationCache, RandomKeyWritesKeepWarmEqualToCold) {
    std::mt19937 rng(30);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int round = 0; round < 40; ++round) {
        std::vector<Key> keys;
        double time = uniform(-1, 1);
        for (int i = 0, n = 2 + pick(5); i < n; ++i, time += uniform(0.1, 1))
            keys.push_back(K(uniform(-5, 5), time, pick(6), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1),
                             uniform(-1, 1), uniform(-1, 1)));
        ScenePtr s = Load(NineChannels(keys, pick(6), pick(6)));
        ASSERT_EQ(s->ErrorCode, 0);
        const double from = keys.front().time - 1, to = time + 1;
        for (int step = 0; step < 150; ++step) {
            const double t = uniform(from, to);
            if (step % 3 == 2) {
                LwEnvelope* env = s->Op.FindChannel(s.get(), s->FirstItem, pick(9));
                LwEnvelopeKey* k = env->FirstKey;
                for (int skip = pick(env->KeyCount); skip > 0; --skip) k = k->Next;
                if (pick(8) == 0) k = s->Op.GetKeyValue(s.get(), env, uniform(from, to));
                const double earliest = k->Prev ? k->Prev->Time : k->Time - 1,
                             latest = k->Next ? k->Next->Time : k->Time + 1;
                double* fields[] = {&k->Value, &k->Tension, &k->Continuity, &k->Bias, &k->Param0, &k->Param1};
                switch (pick(8)) {
                case 0:
                    k->Time = earliest + (latest - earliest) * uniform(0.05, 0.95);
                    break;
                case 1:
                    k->Shape = pick(6);
                    break;
                default:
                    *fields[pick(6)] = uniform(-3, 3);
                    break;
                }
            }
            const std::vector<double> warm = Motion(s.get(), t);
            ASSERT_TRUE(SameBits(warm, ColdMotion(s.get(), t))) << "round " << round << " step " << step << " at " << t;
            LwEnvelope* env = s->Op.FindChannel(s.get(), s->FirstItem, pick(9));
            double one = -1;
            s->Op.EvaluateEnvelope(s.get(), env, t, &one);
            LwEnvelopeKey* kept = env->CurrentKey;
            env->CurrentKey = nullptr;
            double cold = -2;
            s->Op.EvaluateEnvelope(s.get(), env, t, &cold);
            env->CurrentKey = kept;
            ASSERT_EQ(memcmp(&one, &cold, sizeof(one)), 0) << "round " << round << " step " << step << " at " << t;
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
        LwKeyframeMotion motion{&keys.front(),        &keys.back(), &keys.front(), (int32_t)keys.size(), 1,
                                LW_KEYS_ORDER_UNKNOWN};
        for (int group : {(int)LW_MOTION_POSITION, (int)LW_MOTION_ROTATION, (int)LW_MOTION_SCALE, 2,
                          (int)LW_MOTION_PIVOT_POSITION}) {
            Visit(Times(keyTimes), [&](double frame) {
                double warm[3] = {-7, -8, -9}, cold[3] = {-7, -8, -9};
                scene->Op.EvaluateKeyframeMotion(scene.get(), &motion, group, frame, warm);
                LwMotionKey* kept = motion.CurrentKey;
                motion.CurrentKey = nullptr;
                scene->Op.EvaluateKeyframeMotion(scene.get(), &motion, group, frame, cold);
                motion.CurrentKey = kept;
                ASSERT_EQ(memcmp(warm, cold, sizeof(warm)), 0) << set.name << " at " << frame << " group " << group;
            });
        }
    }
}

}  // namespace
