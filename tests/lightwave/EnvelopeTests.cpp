// LWO2 envelope bodies (parse, size, dump) and their evaluation over time: every key shape, every
// behaviour before and after the keys, keys sharing a time and times far out of range.
#include "tests/lightwave/ChunkBodies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

using namespace lwobj;

TEST(Lwo2Envelope, EverySubChunkParsesAndSizesToItsBody) {
    LoggedObject o;
    Bytes body = RichEnvelope().Written();
    Lwo2Envelope env;
    ParseEnvelope(o.get(), (uint32_t)body.size(), body.data(), &env);
    const std::string size = std::to_string(body.size());
    EXPECT_EQ(o.log.Text(), "***  ENVELOPE SIZE (" + size + " / " + size + ")  ***\n");
    ASSERT_EQ(env.Keys.size(), 2u);
    EXPECT_EQ(Dumped([&](FILE* f) { DumpEnvelope(o.get(), &env, f); }),
              "[NAME] (12) <Position.X>\n[PRE ] (2) <1>\n[TYPE] (2) <0301>\n[KEY ] (8) <0.000000> <1.000000>\n"
              "[SPAN] (16) <TCB > <0.500000> <0.000000> <-0.500000>\n[KEY ] (8) <1.000000> <2.000000>\n"
              "[SPAN] (4) <LINE>\n[POST] (2) <2>\n[CHAN] (8) <srv> <1>\n\t0xab, 0xcd, \n");
}

TEST(Lwo2Envelope, IrregularBodies) {
    const struct {
        const char* name;
        Body body;
        uint32_t size;           // GetEnvelopeSize
        const char* logged;      // NULL for only the size line
        int keys, params, post;  // key count, parameters of the last span, POST value (-1 none)
        float value;             // of the last key
    } cases[] = {
        {"second PRE fills POST", Body().Sub("PRE ", Body().U2(1)).Sub("PRE ", Body().U2(4)), 16, nullptr, 0, 0, 4, 0},
        {"key without SPAN counts an empty span", Keys({{0, 1, nullptr, {}}}), 24, nullptr, 1, 0, -1, 1},
        {"SPAN before any key is skipped", Body().Sub("SPAN", Body().Id("LINE")), 0, "??? SPAN WITHOUT KEY\n", 0, 0, -1,
         0},
        {"SPAN keeps four parameters", Keys({{0, 1, "BEZ2", {1, 2, 3, 4, 5}}}), 40, nullptr, 1, 4, -1, 1},
        {"odd channel data rounds the length up", Body().Sub("CHAN", Body().S0("s").U2(0).U1(1)), 12, nullptr, 0, 0, -1,
         0},
        // A NAME is as long as its text: what its length states beyond is read on.
        {"NAME stated as 10 bytes keeps the POST after its text",
         Body().Sub("NAME", Body().S0("n").Id("POST").U2(2).U2(3)), 16, nullptr, 0, 0, 3, 0},
        {"NAME stated shorter than its text", Body().Sub("NAME", Body().S0("name"), 2).Sub("POST", Body().U2(5)), 20,
         nullptr, 0, 0, 5, 0},
        {"NAME without its end stops at the body's", Body().Id("NAME").U2(2).Raw({'a', 'b', 'c'}), 10, nullptr, 0, 0,
         -1, 0},
        // A KEY is 8 bytes whatever its length says.
        {"KEY stated as 12 bytes: the 4 after are no sub-chunk", Body().Sub("KEY ", Body().F4(0).F4(1).U4(9)), 24,
         "??? 4 TRAILING BYTES DROPPED\n", 1, 0, -1, 1},
        {"KEY stated as 4 bytes takes its value", Body().Sub("KEY ", Body().F4(0).F4(7), 4).Sub("POST", Body().U2(2)),
         32, nullptr, 1, 0, 2, 7},
        {"KEY cut by the body's end", Body().Id("KEY ").U2(8).F4(6), 24, "PAST THE END, 4 bytes left", 1, 0, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedObject o;
        Bytes body = c.body.Written();
        Lwo2Envelope env;
        ParseEnvelope(o.get(), (uint32_t)body.size(), body.data(), &env);
        EXPECT_EQ(GetEnvelopeSize(o.get(), &env), c.size);
        if (c.logged) {
            EXPECT_NE(o.log.Text().find(c.logged), std::string::npos) << o.log.Text();
        } else {
            EXPECT_EQ(o.log.Text().find("???"), std::string::npos) << o.log.Text();
        }
        EXPECT_EQ((int)env.Keys.size(), c.keys);
        if (!env.Keys.empty()) {
            EXPECT_EQ(env.Keys.back().Span.Count, c.params);
            EXPECT_EQ(env.Keys.back().Value, c.value);
        }
        EXPECT_EQ(env.Post ? (int)env.Post->Int[0] : -1, c.post);
    }
}

// An envelope of the object built for evaluation.
std::unique_ptr<LwEvalEnvelope> Build(LwObject* o, const std::vector<Key>& keys, int pre, int post) {
    Body b = Keys(keys);
    if (pre >= 0) b.Sub("PRE ", Body().U2((uint16_t)pre));
    if (post >= 0) b.Sub("POST", Body().U2((uint16_t)post));
    return BuildEvalEnvelope(o, AddEnvelope(o, b));
}

const std::vector<Key> kLine = {{0, 2, "LINE", {}}, {1, 10, "LINE", {}}};

TEST(EnvelopeEvaluation, ShapesAndBehaviours) {
    const std::vector<Key> shifted = {{1, 2, "LINE", {}}, {2, 10, "LINE", {}}};
    const std::vector<Key> tcb = {{0, 0, "TCB ", {0, 0, 0}}, {1, 1, "TCB ", {0, 0, 0}}};
    const std::vector<Key> flatHermite = {{0, 0, "HERM", {0, 0}}, {1, 1, "HERM", {0, 0}}};
    const std::vector<Key> flatBezier = {{0, 0, "BEZI", {0, 0}}, {1, 1, "BEZI", {0, 0}}};
    const std::vector<Key> bezier2d = {{0, 0, "BEZ2", {-0.3333f, 0, 0.3333f, 0}},
                                       {1, 1, "BEZ2", {-0.3333f, 0, 0.3333f, 0}}};
    const std::vector<Key> stepped = {{0, 2, "STEP", {}}, {1, 10, "STEP", {}}};
    const std::vector<Key> sameTime = {{1, 5, "LINE", {}}, {1, 7, "LINE", {}}};
    const struct {
        const char* name;
        const std::vector<Key>& keys;
        int pre, post;
        float t, expected;
    } cases[] = {
        {"linear between keys", kLine, 1, 1, 0.25f, 4},
        {"first key evaluates the first span at 0", kLine, 1, 1, 0, 2},
        {"later key ends its span", kLine, 1, 1, 1, 10},
        {"post constant", kLine, 1, 1, 2, 10},
        {"post linear", kLine, 1, 5, 2, 18},
        {"post reset", kLine, 1, 0, 2, 0},
        {"post repeat", kLine, 1, 2, 2.25f, 4},
        {"post offset repeat", kLine, 1, 4, 1.5f, 14},
        {"post oscillate mirrors odd periods", kLine, 1, 3, 1.25f, 8},
        {"post oscillate keeps even periods", kLine, 1, 3, 2.25f, 4},
        {"post oscillate with keys away from 0", shifted, 1, 3, 2.25f, 8},
        {"unknown post behaviour holds the last key", kLine, 1, 6, 3, 10},
        {"missing behaviours are constant", kLine, -1, -1, 5, 10},
        {"pre constant", kLine, 1, 1, -1, 2},
        {"pre reset", kLine, 0, 1, -1, 0},
        {"pre linear", kLine, 5, 1, -1, -6},
        {"pre repeat", kLine, 2, 1, -0.75f, 4},
        {"pre offset repeat", kLine, 4, 1, -0.5f, -2},
        {"pre oscillate", kLine, 3, 1, -0.25f, 4},
        {"stepped holds until the next key", stepped, 1, 1, 0.99f, 2},
        {"TCB with zero parameters", tcb, 1, 1, 0.5f, 0.5f},
        {"Hermite with flat slopes", flatHermite, 1, 1, 0.25f, 0.15625f},
        {"Bezier with flat slopes", flatBezier, 1, 1, 0.25f, 0.15625f},
        {"two-dimensional Bezier", bezier2d, 1, 1, 0.25f, 0.15625f},
        {"keys sharing a time: repeat acts as constant after", sameTime, 2, 2, 3, 7},
        {"keys sharing a time: repeat acts as constant before", sameTime, 2, 2, 0, 5},
        {"keys sharing a time: at that time", sameTime, 2, 2, 1, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedObject o;
        auto env = Build(o.get(), c.keys, c.pre, c.post);
        ASSERT_NE(env, nullptr);
        EXPECT_NEAR(EvaluateEnvelope(env.get(), c.t), c.expected, 1e-3);
    }
}

TEST(EnvelopeEvaluation, HugeAndUnorderedTimesEnd) {
    LoggedObject o;
    const float inf = std::numeric_limits<float>::infinity();
    for (int behaviour = 0; behaviour <= 5; ++behaviour) {
        auto env = Build(o.get(), kLine, behaviour, behaviour);
        for (float t : {1e30f, -1e30f, 3e9f, inf, -inf}) {
            float v = EvaluateEnvelope(env.get(), t);
            if (behaviour == 2 || behaviour == 3) {
                EXPECT_TRUE(v >= 2 && v <= 10) << behaviour << " " << t << " " << v;
            }
        }
        EvaluateEnvelope(env.get(), std::nanf(""));
    }
    // Far from 0 a float cannot come within the bisection's tolerance: the search still ends.
    auto far = Build(o.get(), {{1e6f, 0, "BEZI", {0, 0}}, {1e6f + 1, 1, "BEZI", {0, 0}}}, 1, 1);
    EXPECT_NEAR(EvaluateEnvelope(far.get(), 1e6f + 0.5f), 0.5f, 0.1f);
    // Keys out of time order, and the search start left behind by an earlier evaluation.
    auto unordered =
        Build(o.get(), {{0, 0, "LINE", {}}, {2, 2, "LINE", {}}, {1, 1, "LINE", {}}, {3, 3, "LINE", {}}}, 1, 1);
    for (float t : {2.5f, 0.5f, 1.5f, 2.9f, 0.1f}) EvaluateEnvelope(unordered.get(), t);
    auto ordered = Build(o.get(), {{0, 0, "LINE", {}}, {1, 1, "LINE", {}}, {2, 4, "LINE", {}}}, 1, 1);
    EXPECT_NEAR(EvaluateEnvelope(ordered.get(), 1.5f), 2.5f, 1e-6);
    EXPECT_NEAR(EvaluateEnvelope(ordered.get(), 0.5f), 0.5f, 1e-6);
}

// Random envelopes of every shape and behaviour, keys in time order (some sharing a time) or not.
struct RandomEnvelope {
    std::vector<Key> keys;
    int pre, post;
};

RandomEnvelope MakeRandomEnvelope(std::mt19937& random, bool inOrder) {
    static const struct {
        const char* shape;
        int params;
    } kShapes[] = {{"TCB ", 3}, {"HERM", 2}, {"HERM", 0}, {"BEZI", 2}, {"LINE", 0},
                   {"STEP", 0}, {"BEZ2", 4}, {"XYZW", 0}, {nullptr, 0}};
    std::uniform_real_distribution<float> value(-10, 10), gap(0.05f, 2), param(-1, 1);
    std::uniform_int_distribution<int> shape(0, 8), count(2, 7), behaviour(0, 5), coin(0, 5);
    RandomEnvelope e;
    float time = value(random);
    for (int i = count(random); i > 0; --i) {
        Key k{time, value(random), kShapes[shape(random)].shape, {}};
        for (int j = kShapes[shape(random)].params; j > 0; --j) k.params.push_back(param(random));
        e.keys.push_back(k);
        time += coin(random) == 0 ? 0.0f : gap(random);  // now and then two keys share a time
    }
    if (!inOrder) std::shuffle(e.keys.begin() + 1, e.keys.end(), random);
    e.pre = behaviour(random);
    e.post = behaviour(random);
    return e;
}

// NaNs made one, so that values compare by their bits.
float Canonical(float v) { return std::isnan(v) ? std::numeric_limits<float>::quiet_NaN() : v; }

// Every value is the one an envelope that evaluated nothing before gives, bit for bit.
void ExpectNoHistory(const RandomEnvelope& e, const std::vector<float>& times) {
    LoggedObject o;
    Body body = Keys(e.keys);
    body.Sub("PRE ", Body().U2((uint16_t)e.pre)).Sub("POST", Body().U2((uint16_t)e.post));
    const int32_t position = AddEnvelope(o.get(), body);
    auto used = BuildEvalEnvelope(o.get(), position);
    for (float t : times) {
        auto fresh = BuildEvalEnvelope(o.get(), position);
        const float expected = Canonical(EvaluateEnvelope(fresh.get(), t)),
                    got = Canonical(EvaluateEnvelope(used.get(), t));
        ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << "t " << t << ": " << got << " for " << expected;
    }
}

TEST(EnvelopeEvaluation, AKeysTimeEndsTheSpanBeforeItWhateverCameBefore) {
    LoggedObject o;
    auto env = Build(o.get(), {{0, 0, "LINE", {}}, {1, 10, "STEP", {}}, {2, 20, "STEP", {}}}, 1, 1);
    EXPECT_EQ(EvaluateEnvelope(env.get(), 1), 0.0f);
    EXPECT_EQ(EvaluateEnvelope(env.get(), 1.5f), 10.0f);
    EXPECT_EQ(EvaluateEnvelope(env.get(), 1), 0.0f);  // the stepped span that ends at 1 s, at u = 1
    EXPECT_EQ(EvaluateEnvelope(env.get(), 2), 10.0f);
    EXPECT_EQ(EvaluateEnvelope(env.get(), 0), 0.0f);
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        const RandomEnvelope e = MakeRandomEnvelope(random, true);
        std::vector<float> times;
        for (const Key& k : e.keys) times.push_back(k.time);
        std::shuffle(times.begin(), times.end(), random);
        times.insert(times.end(), times.begin(), times.end());
        ExpectNoHistory(e, times);
    }
}

TEST(EnvelopeEvaluation, KeysOutOfTimeOrderGiveValuesWhateverCameBefore) {
    LoggedObject o;
    auto env = Build(o.get(), {{0, 0, "LINE", {}}, {2, 0, "LINE", {}}, {1, 100, "LINE", {}}, {3, 0, "LINE", {}}}, 1, 1);
    EXPECT_EQ(EvaluateEnvelope(env.get(), 1.5f), 0.0f);  // searched from the first key: the span 0 s to 2 s
    EvaluateEnvelope(env.get(), 2.5f);
    EXPECT_EQ(EvaluateEnvelope(env.get(), 1.5f), 0.0f);
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        const RandomEnvelope e = MakeRandomEnvelope(random, false);
        std::vector<float> times;
        std::uniform_real_distribution<float> any(e.keys[0].time - 5, e.keys[0].time + 15);
        for (int j = 0; j < 20; ++j) times.push_back(any(random));
        for (const Key& k : e.keys) times.push_back(k.time);
        std::shuffle(times.begin(), times.end(), random);
        ExpectNoHistory(e, times);
    }
}

TEST(EnvelopeEvaluation, KeysInOrderBetweenKeyTimesGiveValuesWhateverCameBefore) {
    std::mt19937 random(5);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        const RandomEnvelope e = MakeRandomEnvelope(random, true);
        const float first = e.keys.front().time, last = e.keys.back().time;
        std::uniform_real_distribution<float> inside(first, last),
            around(first - 3 * (last - first) - 1, last + 3 * (last - first) + 1);
        std::vector<float> times;
        for (int j = 0; j < 40; ++j) {
            const float t = j % 2 ? inside(random) : around(random);
            if (std::none_of(e.keys.begin(), e.keys.end(), [t](const Key& k) { return k.time == t; }))
                times.push_back(t);
        }
        ExpectNoHistory(e, times);
    }
}

// Linear behaviours after a curved end key go on with the curve's slope per second: the tangents kept
// per key are per span.
TEST(EnvelopeEvaluation, LinearBehavioursFollowTheEndSlopePerSecond) {
    const struct {
        const char* name;
        std::vector<Key> keys;
        float t, expected;
    } cases[] = {
        {"TCB after the last key", {{0, 0, "TCB ", {0, 0, 0}}, {2, 10, "TCB ", {0, 0, 0}}}, 3, 15},
        {"TCB before the first key", {{0, 0, "TCB ", {0, 0, 0}}, {2, 10, "TCB ", {0, 0, 0}}}, -1, -5},
        {"Hermite after the last key", {{0, 0, "HERM", {0, 0}}, {4, 10, "HERM", {6, 0}}}, 6, 13},
        {"Bezier before the first key", {{1, 4, "BEZI", {0, 3}}, {4, 10, "BEZI", {0, 0}}}, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoggedObject o;
        auto env = Build(o.get(), c.keys, 5, 5);
        EXPECT_NEAR(EvaluateEnvelope(env.get(), c.t), c.expected, 1e-4);
        // The line meets the curve with its slope at the end it leaves.
        const bool after = c.t > c.keys.back().time;
        const float end = after ? c.keys.back().time : c.keys.front().time, h = after ? -1e-2f : 1e-2f;
        const float slope = (EvaluateEnvelope(env.get(), end) - EvaluateEnvelope(env.get(), end + h)) / -h;
        EXPECT_NEAR((EvaluateEnvelope(env.get(), c.t) - EvaluateEnvelope(env.get(), end)) / (c.t - end), slope, 0.05f);
    }
    // A stepped end key goes on with its span's rise per second.
    LoggedObject o;
    EXPECT_NEAR(EvaluateEnvelope(Build(o.get(), {{0, 0, "LINE", {}}, {4, 8, "STEP", {}}}, 5, 5).get(), 5), 10, 1e-4);
}

TEST(EnvelopeEvaluation, BuildingAndFreeing) {
    LoggedObject o;
    EXPECT_EQ(BuildEvalEnvelope(o.get(), 0), nullptr);
    auto none = Build(o.get(), {}, 1, 1);
    EXPECT_EQ(EvaluateEnvelope(none.get(), 1), 0.0f);
    auto one = Build(o.get(), {{3, 7, "TCB ", {}}}, 0, 0);
    EXPECT_EQ(EvaluateEnvelope(one.get(), -100), 7.0f);
    // A Hermite key without slopes takes the rise from its previous key as its incoming slope.
    auto hermite = Build(o.get(), {{0, 1, "HERM", {}}, {1, 4, "HERM", {}}}, 1, 1);
    EXPECT_EQ(hermite->Keys[1].P[3], 3.0f);
}

}  // namespace
