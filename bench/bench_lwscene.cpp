// Scene library speed: loading a generated scene of 2,000 items with nine motion channels each,
// and one frame's evaluation of every item's position, rotation and scale.
// Two scenes: "typical" keys position and rotation (eight keys each) and holds scale with one key,
// as exported scenes mostly do; "dense" keys all nine channels. Keys mix the TCB, Hermite, Bezier,
// linear and stepped shapes; after the last key the channels repeat.
// A frame's evaluation is measured against a plain loop that evaluates the same curves from flat
// arrays, the two taking turns in one run, each timed by its thread's processor time; the target is a
// median of at most 1.5 times the plain loop's time. Loading has no plain side.
#include "lightwave/scene/LwScene.h"

#include "bench/Alternate.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 2000;
constexpr int kKeys = 8;
constexpr double kTargetRatio = 1.5;
constexpr double kFrameStep = 1.0 / 60.0;
constexpr int kFramesEach = 1;     // frames of each side a turn: pairs of single frames see one machine
constexpr double kWrapTime = 9.0;  // past the last key: the repeat behaviour is exercised too

// Objects, lights and cameras, each with nine channels; keyed channels have eight keys of mixed
// shapes, the others one key.
std::string MakeScene(int keyedChannels) {
    std::string text = "LWSC\n3\n\nFirstFrame 1\nLastFrame 240\nFramesPerSecond 30\n\n";
    text.reserve(12u << 20);
    char line[256];
    for (int i = 0; i < kItems; ++i) {
        int kind = i % 20;
        if (kind == 18) {
            text += "AddLight\nLightName Light\n";
        } else if (kind == 19) {
            text += "AddCamera\nCameraName Camera\n";
        } else {
            snprintf(line, sizeof(line), "LoadObjectLayer 1 Objects/item%d.lwo\n", i);
            text += line;
        }
        const char* motion = kind == 18 ? "LightMotion\n" : kind == 19 ? "CameraMotion\n" : "ObjectMotion\n";
        text += motion;
        text += "NumChannels 9\n";
        for (int c = 0; c < 9; ++c) {
            int keys = c < keyedChannels ? kKeys : 1;
            snprintf(line, sizeof(line), "Channel %d\n{ Envelope\n  %d\n", c, keys);
            text += line;
            for (int k = 0; k < keys; ++k) {
                // Mostly TCB, with Hermite, Bezier, linear and stepped segments among them.
                static const int kShapes[8] = {0, 0, 3, 0, 1, 0, 2, 4};
                int shape = kShapes[(i + c + 3 * k) % 8];
                double value = (c >= 6 ? 1.0 : 0.0) + 0.25 * ((i * 7 + c * 3 + k * 5) % 11);
                double tension = 0.1 * ((i + k) % 5) - 0.2, continuity = 0.05 * ((c + k) % 3), bias = 0.1 * (k % 2);
                snprintf(line, sizeof(line), "  Key %g %g %d %g %g %g 0 0 0\n", value, k * 1.0, shape, tension,
                         continuity, bias);
                text += line;
            }
            text += "  Behaviors 1 2\n}\n";
        }
        if (i % 3 == 1) {
            snprintf(line, sizeof(line), "ParentItem 1%07x\n", (i - 1) % 0x1000);
            text += line;
        }
    }
    return text;
}

const std::string& SceneText(int keyedChannels) {
    static const std::string typical = MakeScene(6);
    static const std::string dense = MakeScene(9);
    return keyedChannels == 9 ? dense : typical;
}

const char* Label(int keyedChannels) { return keyedChannels == 9 ? "dense" : "typical"; }

LwScene* LoadScene(int keyedChannels) {
    const std::string& text = SceneText(keyedChannels);
    LwScene* scene = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_MOTION_TO_CHANNELS, nullptr);
    if (scene && (scene->ErrorCode != 0 || scene->NumItems != kItems)) FreeLwScene(&scene);
    return scene;
}

// ---- the plain loop -----------------------------------------------------------------------------

// The same curves as flat arrays: every channel's keys side by side, evaluated the textbook way
// with the same shapes and behaviours, every segment's tangents worked out once beforehand and the
// segment last used remembered per channel with its values and tangents, as the library keeps them:
// the floor for the same work.
struct FlatKey {
    double time, value, tension, continuity, bias;
    int shape;
    double out = 0, in = 0;  // the tangents of the segment this key starts, worked out once
};
struct FlatChannel {
    int first, count, pre, post, segment;
    double firstTime = 0, lastTime = 0, firstValue = 0, lastValue = 0;  // the ends, for the behaviours
    // The segment last used, as the library remembers it: its keys' times and values, the second key's
    // shape, whether more keys follow, and its tangents. Filled when the segment changes.
    bool remembered = false, more = false;
    int shape = 0;
    double start = 0, end = 0, v0 = 0, v1 = 0, out = 0, in = 0;
};
struct FlatScene {
    std::vector<FlatKey> keys;
    std::vector<FlatChannel> channels;  // nine per item, in channel order
};

// The segment from key i: outgoing tangent of its first key and incoming tangent of its second,
// scaled to the segment by their neighbours.
void SegmentTangents(FlatKey* key, int count, int i) {
    FlatKey& k0 = key[i];
    const FlatKey& k1 = key[i + 1];
    double length = k1.time - k0.time;
    double d = k1.value - k0.value;
    double out = 0.0, in = 0.0;
    if (k0.shape == LW_SHAPE_TCB || k0.shape == LW_SHAPE_LINEAR) {
        double a = k0.shape == LW_SHAPE_TCB ? (1 - k0.tension) * (1 + k0.continuity) * (1 + k0.bias) : 1.0;
        double b = k0.shape == LW_SHAPE_TCB ? (1 - k0.tension) * (1 - k0.continuity) * (1 - k0.bias) : 1.0;
        out = i > 0 ? length / (k1.time - key[i - 1].time) * (a * (k0.value - key[i - 1].value) + b * d) : b * d;
    } else if (k0.shape == LW_SHAPE_HERMITE || k0.shape == LW_SHAPE_BEZIER) {
        out = i > 0 ? k0.continuity * (length / (k1.time - key[i - 1].time)) : k0.continuity;
    } else {
        out = 0.0;
    }
    bool next = i + 2 < count;
    double r = next ? length / (key[i + 2].time - k0.time) : 0.0;
    if (k1.shape == LW_SHAPE_TCB) {
        double a = (1 - k1.tension) * (1 - k1.continuity) * (1 + k1.bias);
        double b = (1 - k1.tension) * (1 + k1.continuity) * (1 - k1.bias);
        in = next ? r * (b * (key[i + 2].value - k1.value) + a * d) : a * d;
    } else if (k1.shape == LW_SHAPE_HERMITE || k1.shape == LW_SHAPE_BEZIER) {
        in = next ? k1.tension * r : k1.tension;
    }
    k0.out = out;
    k0.in = in;
}

FlatScene Flatten(const LwScene* scene) {
    FlatScene flat;
    for (const LwSceneItem* item = scene->FirstItem; item; item = item->Next) {
        for (int c = 0; c < 9; ++c) {
            const LwEnvelope* env = item->ChannelList;
            while (env && env->Channel != c) env = env->Next;
            FlatChannel ch{(int)flat.keys.size(), 0, LW_BEHAVIOR_CONSTANT, LW_BEHAVIOR_CONSTANT, 0};
            if (env) {
                ch.pre = env->PreBehavior;
                ch.post = env->PostBehavior;
                for (const LwEnvelopeKey* k = env->FirstKey; k; k = k->Next, ++ch.count)
                    flat.keys.push_back({k->Time, k->Value, k->Tension, k->Continuity, k->Bias, k->Shape});
                const FlatKey* keys = &flat.keys[(size_t)ch.first];
                for (int i = 0; i + 1 < ch.count; ++i) SegmentTangents(&flat.keys[(size_t)ch.first], ch.count, i);
                if (ch.count > 0) {
                    ch.firstTime = keys[0].time;
                    ch.firstValue = keys[0].value;
                    ch.lastTime = keys[ch.count - 1].time;
                    ch.lastValue = keys[ch.count - 1].value;
                }
            }
            flat.channels.push_back(ch);
        }
    }
    return flat;
}

constexpr double kEps = 1.1920928955078125e-07;

double PlainEvaluate(const FlatKey* key, FlatChannel& ch, double t) {
    if (ch.count == 0) return 0.0;
    if (ch.count == 1) return ch.firstValue;
    const double span = ch.lastTime - ch.firstTime;
    if (ch.firstTime - t > kEps) {
        if (ch.pre == LW_BEHAVIOR_RESET) return 0.0;
        if (ch.pre != LW_BEHAVIOR_REPEAT) return ch.firstValue;
        t += std::max(1.0, std::ceil((ch.firstTime - t - kEps) / span)) * span;
    } else if (t - ch.lastTime > kEps) {
        if (ch.post == LW_BEHAVIOR_RESET) return 0.0;
        if (ch.post != LW_BEHAVIOR_REPEAT) return ch.lastValue;
        t -= std::max(1.0, std::ceil((t - ch.lastTime - kEps) / span)) * span;
    }
    if (!ch.remembered || ch.start - t > kEps || (ch.more && t - ch.end > kEps)) {
        int i = ch.segment;
        if (key[i].time - t > kEps) i = 0;
        while (i + 2 < ch.count && t - key[i + 1].time > kEps) ++i;
        ch.segment = i;
        ch.remembered = true;
        ch.more = i + 2 < ch.count;
        ch.shape = key[i + 1].shape;
        ch.start = key[i].time;
        ch.end = key[i + 1].time;
        ch.v0 = key[i].value;
        ch.v1 = key[i + 1].value;
        ch.out = key[i].out;
        ch.in = key[i].in;
    }
    const double u = (t - ch.start) / (ch.end - ch.start);
    switch (ch.shape) {
    case LW_SHAPE_LINEAR:
        return (ch.v1 - ch.v0) * u + ch.v0;
    case LW_SHAPE_STEPPED:
        return ch.v0;
    case LW_SHAPE_TCB:
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        break;
    default:
        return 0.0;  // no shape the scene uses
    }
    double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * ch.v0 + (3 * u2 - 2 * u3) * ch.v1 + (u3 - 2 * u2 + u) * ch.out + (u3 - u2) * ch.in;
}

// ---- benchmarks ---------------------------------------------------------------------------------

void BM_LoadScene(benchmark::State& state) {
    const int keyed = (int)state.range(0);
    state.SetLabel(Label(keyed));
    for (auto _ : state) {
        LwScene* scene = LoadScene(keyed);
        if (!scene) state.SkipWithError("load failed");
        FreeLwScene(&scene);
    }
    state.counters["items"] = kItems;
    state.counters["text_MB"] = static_cast<double>(SceneText(keyed).size()) / 1e6;
}
BENCHMARK(BM_LoadScene)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

// One frame through the library: every item's position, rotation and scale.
double LibraryFrame(LwScene* scene, double t) {
    double sum = 0.0;
    for (LwSceneItem* item = scene->FirstItem; item; item = item->Next) {
        double pos[3] = {0, 0, 0}, rot[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_POSITION, t, pos);
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_ROTATION, t, rot);
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_SCALE, t, scale);
        sum += pos[0] + pos[1] + pos[2] + rot[0] + rot[1] + rot[2] + scale[0] + scale[1] + scale[2];
    }
    return sum;
}

// The same frame through the plain loop.
double PlainFrame(FlatScene& flat, double t) {
    double sum = 0.0;
    const FlatKey* keys = flat.keys.data();
    for (FlatChannel& ch : flat.channels) sum += PlainEvaluate(keys + ch.first, ch, t);
    return sum;
}

void BM_EvaluateFrame(benchmark::State& state) {
    const int keyed = (int)state.range(0);
    state.SetLabel(Label(keyed));
    LwScene* scene = LoadScene(keyed);
    if (!scene) {
        state.SkipWithError("load failed");
        return;
    }
    FlatScene flat = Flatten(scene);
    // The two evaluators must agree before their times mean anything.
    for (double t = -1.0; t < kWrapTime + 3.0; t += 0.37) {
        double a = LibraryFrame(scene, t), b = PlainFrame(flat, t);
        if (std::fabs(a - b) > 1e-6 * (1.0 + std::fabs(a))) {
            state.SkipWithError("the plain loop disagrees with the library");
            FreeLwScene(&scene);
            return;
        }
    }
    // Each iteration is one turn: a frame through each, the two taking turns to go first, both at the
    // same time.
    std::vector<double> library, plain;
    double sum = 0.0, t0 = 0.0;
    auto frames = [&](auto evaluate) {
        return [&, evaluate] {
            double t = t0;
            return bench::CpuTime([&] {
                       for (int f = 0; f < kFramesEach; ++f, t += kFrameStep) sum += evaluate(t);
                   }) /
                   kFramesEach;
        };
    };
    for (auto _ : state) {
        bench::Alternate(1, frames([&](double t) { return LibraryFrame(scene, t); }),
                         frames([&](double t) { return PlainFrame(flat, t); }), library, plain);
        t0 += kFramesEach * kFrameStep;
        if (t0 + kFramesEach * kFrameStep > kWrapTime) t0 = 0.0;  // back to the start: the segment caches restart
    }
    benchmark::DoNotOptimize(sum);
    const bench::Spread ratio = bench::SpreadOf(bench::Ratios(library, plain));
    state.counters["items"] = kItems;
    state.counters["ratio"] = ratio.median;
    // The target is set on the dense scene, every channel keyed; the typical one is shown beside it.
    std::printf(
        "evaluate (%s): %d items, processor ms per frame over %zu alternated frames: library %s, "
        "plain loop %s\n",
        Label(keyed), kItems, library.size(), bench::Show(library, 1e3, 4).c_str(), bench::Show(plain, 1e3, 4).c_str());
    const std::string line =
        std::string("evaluate (") + Label(keyed) + ") library / plain: " + bench::Show(ratio, 1, 2);
    if (keyed == 9)
        bench::Verdict(line + ", target median at most 1.5", ratio.median <= kTargetRatio);
    else
        std::printf("%s (no target)\n", line.c_str());
    FreeLwScene(&scene);
}
BENCHMARK(BM_EvaluateFrame)->Arg(6)->Arg(9)->Iterations(1200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
