// Envelope and keyframe evaluation against values worked out by hand from the curve formulas.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace lwtest;

namespace {

const double kEps = 1.1920928955078125e-07;

std::vector<Key> Ramp(int shape = LW_SHAPE_TCB) { return {{0, 0, LW_SHAPE_TCB}, {10, 1, shape}}; }

Key Bezier2D(double value, double time, double inTime, double outTime) {
    Key k{value, time, LW_SHAPE_BEZIER2D};
    k.t = inTime;
    k.b = outTime;
    return k;
}

struct ShapeCase {
    const char* name;
    std::vector<Key> keys;
    std::vector<std::pair<double, double>> values;  // time, value
    double tolerance;
};

TEST(EnvelopeShapes, ValuesFromTheCurveFormulas) {
    const ShapeCase cases[] = {
        {"tcb ramp", Ramp(), {{0, 0}, {0.25, 2.5}, {0.5, 5}, {0.75, 7.5}, {1, 10}}, 1e-12},
        {"tcb peak uses neighbour tangents",
         {{0, 0, 0}, {10, 1, 0}, {0, 2, 0}},
         {{0.5, 6.25}, {1, 10}, {1.5, 6.25}},
         1e-12},
        // Tension 1: zero tangents, so the value is 10 * h2; 0.5 on a peak halves them.
        {"tension flattens", {{0, 0, 0, 1}, {10, 1, 0, 1}}, {{0.25, 1.5625}, {0.5, 5}}, 1e-12},
        {"half tension", {{0, 0, 0, 0.5}, {10, 1, 0, 0.5}, {0, 2, 0, 0.5}}, {{0.5, 5.625}}, 1e-12},
        // K0's continuity is its outgoing slope, K1's tension its incoming one.
        {"hermite slopes",
         {{0, 0, LW_SHAPE_HERMITE, 0, 20}, {10, 1, LW_SHAPE_HERMITE}},
         {{0.5, 7.5}, {0.25, 4.375}},
         1e-12},
        {"linear", Ramp(LW_SHAPE_LINEAR), {{0.3, 3}}, 1e-12},
        // A stepped key's own time keeps the previous value.
        {"stepped", Ramp(LW_SHAPE_STEPPED), {{0.999, 0}, {1, 0}, {1 + 2 * kEps, 10}}, 0},
        {"stairs", {{0, 0, 0}, {10, 1, LW_SHAPE_STEPPED}, {20, 2, LW_SHAPE_STEPPED}}, {{1, 0}, {1.5, 10}, {2, 10}}, 0},
        // Time handles at thirds make the time curve linear, so s = t; value handles are flat.
        {"2d bezier",
         {Bezier2D(0, 0, 0, 1.0 / 3.0), Bezier2D(10, 1, -1.0 / 3.0, 0)},
         {{0.5, 5}, {0.25, 1.5625}, {0.6, -20 * 0.216 + 30 * 0.36}},
         2e-3},
        {"unknown shape gives the offset", Ramp(9), {{0.5, 0}}, 0},
        {"no keys", {}, {{3, 0}}, 0},
        {"one key", {{7, 2, 0}}, {{-5, 7}, {50, 7}}, 0},
    };
    for (const ShapeCase& c : cases) {
        EnvelopeScene e(c.keys, 2, 4);
        ASSERT_NE(e.env, nullptr) << c.name;
        for (auto [t, v] : c.values) EXPECT_NEAR(e.At(t), v, c.tolerance) << c.name << " at " << t;
    }
}

struct BehaviourCase {
    int behaviour;
    std::vector<Key> keys;
    std::vector<std::pair<double, double>> values;
};

TEST(EnvelopeBehaviours, EveryPreAndPostBehaviour) {
    const BehaviourCase cases[] = {
        {LW_BEHAVIOR_RESET, Ramp(), {{-0.25, 0}, {1.25, 0}}},
        {LW_BEHAVIOR_CONSTANT, Ramp(), {{-0.25, 0}, {1.25, 10}}},
        // Repeat stops at the last key's time, which is not after it.
        {LW_BEHAVIOR_REPEAT, Ramp(), {{-0.25, 7.5}, {1.25, 2.5}, {2, 10}, {3.25, 2.5}, {-3.75, 2.5}}},
        {LW_BEHAVIOR_OSCILLATE, Ramp(), {{-0.25, 2.5}, {1.25, 7.5}}},
        // Keys at 1 and 3: t = 3.5 wraps to 1.5 and mirrors to 2.5; two wraps do not mirror.
        {LW_BEHAVIOR_OSCILLATE, {{0, 1, 0}, {10, 3, LW_SHAPE_LINEAR}}, {{3.5, 7.5}, {0.5, 2.5}, {5.5, 2.5}}},
        {LW_BEHAVIOR_OFFSET_REPEAT, Ramp(), {{-0.25, -2.5}, {1.25, 12.5}, {3.25, 32.5}, {-2.25, -22.5}}},
        {LW_BEHAVIOR_LINEAR, Ramp(), {{-0.25, -2.5}, {1.25, 12.5}}},
        {LW_BEHAVIOR_LINEAR, Ramp(LW_SHAPE_LINEAR), {{2, 20}, {-1, -10}}},
        // A two-second TCB ramp ends with the slope 10 / 2 per second.
        {LW_BEHAVIOR_LINEAR, {{0, 0, 0}, {10, 2, 0}}, {{3, 15}, {-1, -5}}},
        // Numbers without a meaning extend the first segment and hold the last key.
        {7, Ramp(LW_SHAPE_LINEAR), {{-1, -10}, {4, 10}}},
    };
    for (const BehaviourCase& c : cases) {
        EnvelopeScene e(c.keys, c.behaviour, c.behaviour);
        for (auto [t, v] : c.values) EXPECT_NEAR(e.At(t), v, 1e-9) << "behaviour " << c.behaviour << " at " << t;
    }
}

// Far from the keys the wrapped time is the exact one, rounded once: 22,218,442,194 ranges of 2e-7 s
// taken from 4443.688... s leave 1.3082632448169268e-07 s, u = 0.6541316224084635 (and before the
// keys, 22,218,442,195 ranges leave 6.917367551830732e-08 s).
TEST(EnvelopeBehaviours, RepeatsFarFromTheKeysWrapTheExactTime) {
    const std::vector<Key> keys = {{0, 0, LW_SHAPE_LINEAR}, {1, 2e-7, LW_SHAPE_LINEAR}};
    const double far = 4443.6884389308261;
    EnvelopeScene repeat(keys, LW_BEHAVIOR_REPEAT, LW_BEHAVIOR_REPEAT);
    EXPECT_EQ(repeat.At(far), 0.6541316224084635);
    EXPECT_EQ(repeat.At(-far), 0.3458683775915366);
    EnvelopeScene oscillate(keys, LW_BEHAVIOR_OSCILLATE, LW_BEHAVIOR_OSCILLATE);
    EXPECT_EQ(oscillate.At(far), 0.6541316224084635);  // an even count: not mirrored
    EnvelopeScene offset(keys, LW_BEHAVIOR_OFFSET_REPEAT, LW_BEHAVIOR_OFFSET_REPEAT);
    EXPECT_EQ(offset.At(far), 0.6541316224084635 + 22218442194.0);
    EXPECT_EQ(offset.At(-far), 0.3458683775915366 - 22218442195.0);
}

TEST(KeyInsertion, SplitsKeepTheCurve) {
    // A key made inside a segment takes the curve's value there and leaves the curve as it was.
    const struct {
        const char* name;
        std::vector<Key> keys;
        double at, value;
        std::vector<std::pair<double, double>> values;
        double tolerance;
    } cases[] = {
        {"tcb", Ramp(), 0.5, 5, {{0.25, 2.5}, {0.75, 7.5}}, 1e-12},
        {"linear", Ramp(LW_SHAPE_LINEAR), 0.25, 2.5, {{0.5, 5}, {0.1, 1}}, 1e-12},
        {"2d bezier",
         {Bezier2D(0, 0, 0, 1.0 / 3.0), Bezier2D(10, 1, -1.0 / 3.0, 0)},
         0.5,
         5,
         {{0.25, 1.5625}, {0.75, 8.4375}},
         1e-3},
    };
    for (const auto& c : cases) {
        EnvelopeScene e(c.keys);
        LwEnvelopeKey* m = e.scene->Op.GetKeyValue(e.scene.get(), e.env, c.at);
        ASSERT_NE(m, nullptr) << c.name;
        EXPECT_NEAR(m->Value, c.value, 1e-9) << c.name;
        EXPECT_EQ(m->Shape, c.keys.back().shape) << c.name;
        EXPECT_EQ(e.env->KeyCount, 3) << c.name;
        EXPECT_EQ(m->Prev->Next, m) << c.name;
        EXPECT_EQ(m->Next->Prev, m) << c.name;
        for (auto [t, v] : c.values) EXPECT_NEAR(e.At(t), v, c.tolerance) << c.name << " at " << t;
    }
}

TEST(KeyInsertion, ExistingTimeAndEnds) {
    EnvelopeScene e(Ramp());
    LwEnvelopeKey* first = e.env->FirstKey;
    EXPECT_EQ(e.scene->Op.GetKeyValue(e.scene.get(), e.env, 0.5 * kEps), first);
    EXPECT_EQ(e.env->KeyCount, 2);
    LwEnvelopeKey* tail = e.scene->Op.GetKeyValue(e.scene.get(), e.env, 3.0);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(e.env->LastKey, tail);
    EXPECT_EQ(tail->Prev->Next, tail);
    EXPECT_DOUBLE_EQ(tail->Value, 10.0);
    LwEnvelopeKey* head = e.scene->Op.GetKeyValue(e.scene.get(), e.env, -1.0);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(e.env->FirstKey, head);
    EXPECT_EQ(head->Next->Prev, head);
    EXPECT_EQ(e.env->KeyCount, 4);
}

TEST(KeyInsertion, SetMotionWithoutChannelsWritesTheItem) {
    // Keyed groups are written as keys (EditsAfterEvaluationLeaveNothingStale).
    ScenePtr s = Load("LWSC\n3\nAddNullObject Null\n");
    const double in[3] = {1, 2, 3};
    s->Op.SetMotion(s.get(), s->FirstItem, LW_MOTION_PIVOT_POSITION, 0.0, in);
    EXPECT_DOUBLE_EQ(s->FirstItem->PivotPosition[2], 3.0);
}

// Edits through the library after evaluations: every value afterwards is the one the same edits
// give before any evaluation, and the keys inserted among the loaded ones are freed with the scene.
TEST(KeyInsertion, EditsAfterEvaluationLeaveNothingStale) {
    std::string text = "LWSC\n3\nAddNullObject Null\nObjectMotion\nNumChannels 3\n";
    text += "Channel 0\n" + EnvelopeBlock({{0, 0, 0}, {4, 1, 0}, {1, 2, 0}, {3, 3, 0}});
    text += "Channel 1\n" + EnvelopeBlock({{2, 0, 0}});
    text += "Channel 2\n" + EnvelopeBlock({{0, 0, 0}, {5, 1, LW_SHAPE_LINEAR}, {2, 2, LW_SHAPE_HERMITE}}, 1, 2);
    auto at = [](LwScene* s, double t) {
        double out[3] = {0, 0, 0};
        s->Op.EvaluateMotion(s, s->FirstItem, LW_MOTION_POSITION, t, out);
        return std::vector<double>(out, out + 3);
    };
    // The first times lie on the segments the last evaluation before an edit remembered.
    const double times[] = {1.25, 1.6, 0.0, 0.25, 1.5, 1.75, 2.5, 3.5};
    const double onKey[3] = {-1, -2, -3}, inside[3] = {7, 8, 9};
    const std::pair<double, const double*> edits[] = {{0.0, onKey}, {1.5, inside}};
    ScenePtr evaluated = Load(text);
    ASSERT_NE(evaluated->ChannelBlock, nullptr);
    for (size_t i = 0; i < 2; ++i) {
        for (double u : times) at(evaluated.get(), u);
        at(evaluated.get(), 1.6);
        evaluated->Op.SetMotion(evaluated.get(), evaluated->FirstItem, LW_MOTION_POSITION, edits[i].first,
                                edits[i].second);
        ScenePtr fresh = Load(text);
        for (size_t j = 0; j <= i; ++j)
            fresh->Op.SetMotion(fresh.get(), fresh->FirstItem, LW_MOTION_POSITION, edits[j].first, edits[j].second);
        for (double u : times) EXPECT_EQ(at(evaluated.get(), u), at(fresh.get(), u)) << "edit " << i << " at " << u;
    }
    EXPECT_EQ(at(evaluated.get(), 1.5), std::vector<double>({7, 8, 9}));
    EXPECT_EQ(at(evaluated.get(), 0.0), std::vector<double>({-1, -2, -3}));
}

// A version 1 scene whose one item moves along x: (frame, x) keys, optionally linear or continuous.
std::string V1Scene(const std::vector<std::pair<int, double>>& keys, const std::vector<int>& linear = {},
                    const std::vector<double>& continuity = {}) {
    std::string text = "LWSC\n1\nAddNullObject Mover\nObjectMotion (unnamed)\n9\n" + std::to_string(keys.size()) + "\n";
    for (size_t i = 0; i < keys.size(); ++i) {
        char line[256];
        snprintf(line, sizeof(line), "%g 0 0 0 0 0 1 1 1\n%d %d 0 %g 0\n", keys[i].second, keys[i].first,
                 i < linear.size() ? linear[i] : 0, i < continuity.size() ? continuity[i] : 0.0);
        text += line;
    }
    return text + "EndBehavior 1\n";
}

double V1X(LwScene* s, double seconds) {
    double out[3] = {-1, -1, -1};
    s->Op.EvaluateMotion(s, s->FirstItem, LW_MOTION_POSITION, seconds, out);
    return out[0];
}

TEST(KeyframeMotion, FramesAreSecondsTimesTheRate) {
    struct {
        std::vector<std::pair<int, double>> keys;
        std::vector<int> linear;
        std::vector<std::pair<double, double>> values;  // seconds, x
    } cases[] = {
        // No pre-behaviour: the first segment extends; after the last key its values hold.
        {{{0, 0}, {30, 10}}, {}, {{0.5, 5}, {-0.5, -5}, {2, 10}}},
        {{{0, 0}, {30, 10}, {60, 0}}, {}, {{0.5, 6.25}}},
        {{{0, 0}, {30, 10}}, {0, 1}, {{10.0 / 30.0, 10.0 / 3.0}}},
    };
    for (const auto& c : cases) {
        ScenePtr s = Load(V1Scene(c.keys, c.linear));
        ASSERT_EQ(s->ErrorCode, 0);
        for (auto [t, x] : c.values) EXPECT_NEAR(V1X(s.get(), t), x, 1e-12) << t;
    }
    // The keys an evaluation reads point at the group evaluated.
    ScenePtr s = Load(V1Scene({{0, 0}, {30, 10}, {60, 0}}));
    double out[3];
    s->Op.EvaluateMotion(s.get(), s->FirstItem, LW_MOTION_ROTATION, 0.5, out);
    LwMotionKey* k = s->FirstItem->Motion->FirstKey;
    EXPECT_EQ(k->Value, k->Rotation);
    EXPECT_EQ(k->Next->Value, k->Next->Rotation);
}

// Whatever keys an evaluation reads, afterwards every key's value pointer is aimed at the group it
// evaluated, so that a caller reading a key's Value gets that group's numbers; an unknown group leaves
// them as they were.
TEST(KeyframeMotion, EveryKeyPointsAtTheGroupLastEvaluated) {
    ScenePtr s = Load(V1Scene({{0, 0}, {10, 1}, {20, 2}, {30, 3}, {40, 4}}));
    ASSERT_EQ(s->ErrorCode, 0);
    LwKeyframeMotion* motion = s->FirstItem->Motion;
    ASSERT_EQ(motion->KeyCount, 5);
    const struct {
        int32_t group;
        double frame;
        double (LwMotionKey::*values)[3];
    } steps[] = {
        {LW_MOTION_POSITION, 35, &LwMotionKey::Position},
        {LW_MOTION_ROTATION, 10, &LwMotionKey::Rotation},
        {LW_MOTION_SCALE, 200, &LwMotionKey::Scale},  // past the last key: that key alone is read
        {2, 5, &LwMotionKey::Scale},                  // an unknown group changes nothing
        {LW_MOTION_POSITION, 0, &LwMotionKey::Position},
    };
    for (const auto& step : steps) {
        double out[3] = {-1, -1, -1};
        s->Op.EvaluateKeyframeMotion(s.get(), motion, step.group, step.frame, out);
        int n = 0;
        for (LwMotionKey* k = motion->FirstKey; k; k = k->Next, ++n)
            EXPECT_EQ(k->Value, k->*step.values) << "group " << step.group << " at " << step.frame << " key " << n;
        EXPECT_EQ(n, 5);
    }
}

TEST(KeyframeMotion, ScaleAndRotationGroups) {
    ScenePtr s = Load("LWSC\n1\nAddNullObject N\nObjectMotion\n9\n1\n1 2 3 90 0 0 2 3 4\n0 0 0 0 0\n");
    double out[3] = {0, 0, 0};
    s->Op.EvaluateMotion(s.get(), s->FirstItem, LW_MOTION_ROTATION, 5.0, out);
    EXPECT_NEAR(out[0], 1.5707963267946, 1e-12);
    s->Op.EvaluateMotion(s.get(), s->FirstItem, LW_MOTION_SCALE, 5.0, out);
    EXPECT_DOUBLE_EQ(out[2], 4.0);
    double untouched[3] = {7, 8, 9};
    for (int group : {2, 3, 4, 8, 9, 10, 11, 13, 40}) {
        s->Op.EvaluateMotion(s.get(), s->FirstItem, group, 0.0, untouched);
        EXPECT_DOUBLE_EQ(untouched[0], 7);
        EXPECT_DOUBLE_EQ(untouched[2], 9);
    }
}

TEST(KeyframeMotion, ChannelsMadeFromKeyframesDifferWithContinuity) {
    ScenePtr s = Load(V1Scene({{0, 0}, {30, 10}, {60, 0}}));
    LwSceneItem* item = s->FirstItem;
    int n = 0;
    for (LwEnvelope* e = item->ChannelList; e; e = e->Next, ++n) EXPECT_EQ(e->Channel, n);
    EXPECT_EQ(n, 9);
    EXPECT_DOUBLE_EQ(item->ChannelList->LastKey->Time, 2.0);
    double v = 0;
    s->Op.EvaluateEnvelope(s.get(), s->Op.FindChannel(s.get(), item, 0), 0.5, &v);
    EXPECT_NEAR(v, 6.25, 1e-12);
    EXPECT_NE(item->Motion, nullptr);  // the keyframes stay; without the flag they are all (SceneDump)
    // Kept as the two paths define it: the keyframe path and the channel path treat an end key's
    // continuity differently.
    s = Load(V1Scene({{0, 0}, {30, 10}}, {}, {0.5, 0}));
    EXPECT_NEAR(V1X(s.get(), 0.5), 5.0, 1e-12);
    s->Op.EvaluateEnvelope(s.get(), s->Op.FindChannel(s.get(), s->FirstItem, 0), 0.5, &v);
    EXPECT_NEAR(v, 4.375, 1e-12);
}

}  // namespace
