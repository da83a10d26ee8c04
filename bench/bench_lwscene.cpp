// Scene library speed: loading a generated scene of 2,000 items with nine motion channels each,
// and one frame's evaluation of every item's position, rotation and scale.
// Two scenes: "typical" keys position and rotation (eight keys each) and holds scale with one key,
// as exported scenes mostly do; "dense" keys all nine channels. Keys mix the TCB, Hermite, Bezier,
// linear and stepped shapes; after the last key the channels repeat.
// A frame's evaluation is measured against a plain loop that evaluates the same curves from flat
// arrays of the keys as they are at each call (as the library must: callers may write keys between
// frames), the two taking turns in one run, the side that goes first changing every turn, each timed
// by its thread's processor time; the target is a median of at most 1.5 times the plain loop's time.
// Loading has no plain side.
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

// The same curves as flat arrays: every channel's keys side by side, evaluated the textbook way with
// the same shapes and behaviours from the keys as they are at the time of the call, since callers
// may write keys between frames (through the pointers the library hands out, or here into the
// arrays), the segment last used remembered per channel by its index: the floor for the same work.
struct FlatKey {
    double value, time;
    int shape;
    double tension, continuity, bias;
};
struct FlatChannel {
    int first, count, pre, post, segment;
};
struct FlatScene {
    std::vector<FlatKey> keys;
    std::vector<FlatChannel> channels;  // nine per item, in channel order
};

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
                    flat.keys.push_back({k->Value, k->Time, k->Shape, k->Tension, k->Continuity, k->Bias});
            }
            flat.channels.push_back(ch);
        }
    }
    return flat;
}

constexpr double kEps = 1.1920928955078125e-07;

// Outgoing tangent of key i on the segment to key i + 1, and the incoming one of key i + 1, scaled
// to the segment by their neighbours.
double OutTangent(const FlatKey* key, int i) {
    const FlatKey& k0 = key[i];
    const FlatKey& k1 = key[i + 1];
    const double d = k1.value - k0.value;
    const double r = i > 0 ? (k1.time - k0.time) / (k1.time - key[i - 1].time) : 0.0;
    switch (k0.shape) {
    case LW_SHAPE_TCB: {
        const double a = (1 - k0.tension) * (1 + k0.continuity) * (1 + k0.bias);
        const double b = (1 - k0.tension) * (1 - k0.continuity) * (1 - k0.bias);
        return i > 0 ? r * (a * (k0.value - key[i - 1].value) + b * d) : b * d;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        return i > 0 ? k0.continuity * r : k0.continuity;
    case LW_SHAPE_LINEAR:
        return i > 0 ? r * (k0.value - key[i - 1].value + d) : d;
    default:
        return 0.0;
    }
}

double InTangent(const FlatKey* key, int count, int i) {
    const FlatKey& k0 = key[i];
    const FlatKey& k1 = key[i + 1];
    const double d = k1.value - k0.value;
    const bool next = i + 2 < count;
    const double r = next ? (k1.time - k0.time) / (key[i + 2].time - k0.time) : 0.0;
    switch (k1.shape) {
    case LW_SHAPE_TCB: {
        const double a = (1 - k1.tension) * (1 - k1.continuity) * (1 + k1.bias);
        const double b = (1 - k1.tension) * (1 + k1.continuity) * (1 - k1.bias);
        return next ? r * (b * (key[i + 2].value - k1.value) + a * d) : a * d;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        return next ? k1.tension * r : k1.tension;
    default:
        return 0.0;
    }
}

double PlainEvaluate(const FlatKey* key, FlatChannel& ch, double t) {
    if (ch.count == 0) return 0.0;
    if (ch.count == 1) return key[0].value;
    const double firstTime = key[0].time, lastTime = key[ch.count - 1].time;
    const double span = lastTime - firstTime;
    if (firstTime - t > kEps) {
        if (ch.pre == LW_BEHAVIOR_RESET) return 0.0;
        if (ch.pre != LW_BEHAVIOR_REPEAT) return key[0].value;
        t += std::max(1.0, std::ceil((firstTime - t - kEps) / span)) * span;
    } else if (t - lastTime > kEps) {
        if (ch.post == LW_BEHAVIOR_RESET) return 0.0;
        if (ch.post != LW_BEHAVIOR_REPEAT) return key[ch.count - 1].value;
        t -= std::max(1.0, std::ceil((t - lastTime - kEps) / span)) * span;
    }
    int i = ch.segment;
    if (key[i].time - t > kEps || t - key[i + 1].time > kEps) {
        if (key[i].time - t > kEps) i = 0;
        while (i + 2 < ch.count && t - key[i + 1].time > kEps) ++i;
        ch.segment = i;
    }
    const FlatKey& k0 = key[i];
    const FlatKey& k1 = key[i + 1];
    const double u = (t - k0.time) / (k1.time - k0.time);
    switch (k1.shape) {
    case LW_SHAPE_LINEAR:
        return (k1.value - k0.value) * u + k0.value;
    case LW_SHAPE_STEPPED:
        return k0.value;
    case LW_SHAPE_TCB:
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        break;
    default:
        return 0.0;  // no shape the scene uses
    }
    const double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * k0.value + (3 * u2 - 2 * u3) * k1.value + (u3 - 2 * u2 + u) * OutTangent(key, i) +
           (u3 - u2) * InTangent(key, ch.count, i);
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
    // The two evaluators must agree before their times mean anything, and go on agreeing after a
    // key is written between frames, through the library's pointer and into the flat arrays.
    for (int pass = 0; pass < 2; ++pass) {
        for (double t = -1.0; t < kWrapTime + 3.0; t += 0.37) {
            double a = LibraryFrame(scene, t), b = PlainFrame(flat, t);
            if (std::fabs(a - b) > 1e-6 * (1.0 + std::fabs(a))) {
                state.SkipWithError("the plain loop disagrees with the library");
                FreeLwScene(&scene);
                return;
            }
        }
        LwEnvelope* channel = scene->Op.FindChannel(scene, scene->FirstItem, LW_CHANNEL_POSITION_X);
        scene->Op.GetKeyValue(scene, channel, 3.0)->Value += 1.0;
        flat.keys[(size_t)flat.channels[0].first + 3].value += 1.0;
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
    const auto libraryTurn = frames([&](double t) { return LibraryFrame(scene, t); });
    const auto plainTurn = frames([&](double t) { return PlainFrame(flat, t); });
    for (auto _ : state) {
        // One pair a turn; the helper changes the side that goes first every turn.
        bench::Alternate(1, libraryTurn, plainTurn, library, plain);
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
