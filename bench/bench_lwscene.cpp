// Scene library speed: loading a generated scene of 2,000 items with nine motion channels each,
// and one frame's evaluation of every item's position, rotation and scale.
// Two scenes: "typical" keys position and rotation (eight keys each) and holds scale with one key,
// as exported scenes mostly do; "dense" keys all nine channels. Keys mix the TCB, Hermite, Bezier,
// linear and stepped shapes; after the last key the channels repeat.
// A frame's evaluation is measured against a plain loop that evaluates the same curves from flat
// arrays in the same run; the target is at most 1.5 times the plain loop's time.
#include "lightwave/scene/LwScene.h"

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
// with the same shapes, behaviours and tangents, and a remembered segment per channel.
struct FlatKey {
    double time, value, tension, continuity, bias;
    int shape;
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
                    flat.keys.push_back({k->Time, k->Value, k->Tension, k->Continuity, k->Bias, k->Shape});
            }
            flat.channels.push_back(ch);
        }
    }
    return flat;
}

constexpr double kEps = 1.1920928955078125e-07;

double PlainEvaluate(const FlatKey* key, FlatChannel& ch, double t) {
    if (ch.count == 0) return 0.0;
    if (ch.count == 1) return key[0].value;
    const FlatKey& f = key[0];
    const FlatKey& l = key[ch.count - 1];
    double span = l.time - f.time;
    if (f.time - t > kEps) {
        if (ch.pre == LW_BEHAVIOR_RESET) return 0.0;
        if (ch.pre != LW_BEHAVIOR_REPEAT) return f.value;
        t += std::max(1.0, std::ceil((f.time - t - kEps) / span)) * span;
    } else if (t - l.time > kEps) {
        if (ch.post == LW_BEHAVIOR_RESET) return 0.0;
        if (ch.post != LW_BEHAVIOR_REPEAT) return l.value;
        t -= std::max(1.0, std::ceil((t - l.time - kEps) / span)) * span;
    }
    int i = ch.segment;
    if (key[i].time - t > kEps) i = 0;
    while (i + 2 < ch.count && t - key[i + 1].time > kEps) ++i;
    ch.segment = i;
    const FlatKey& k0 = key[i];
    const FlatKey& k1 = key[i + 1];
    double length = k1.time - k0.time;
    double u = (t - k0.time) / length;
    double d = k1.value - k0.value;
    switch (k1.shape) {
    case LW_SHAPE_LINEAR:
        return d * u + k0.value;
    case LW_SHAPE_STEPPED:
        return k0.value;
    default:
        break;
    }
    // Outgoing tangent of k0 and incoming tangent of k1, scaled to the segment by their neighbours.
    double out, in;
    if (k0.shape == LW_SHAPE_TCB || k0.shape == LW_SHAPE_LINEAR) {
        double a = k0.shape == LW_SHAPE_TCB ? (1 - k0.tension) * (1 + k0.continuity) * (1 + k0.bias) : 1.0;
        double b = k0.shape == LW_SHAPE_TCB ? (1 - k0.tension) * (1 - k0.continuity) * (1 - k0.bias) : 1.0;
        out = i > 0 ? length / (k1.time - key[i - 1].time) * (a * (k0.value - key[i - 1].value) + b * d) : b * d;
    } else if (k0.shape == LW_SHAPE_HERMITE || k0.shape == LW_SHAPE_BEZIER) {
        out = i > 0 ? k0.continuity * (length / (k1.time - key[i - 1].time)) : k0.continuity;
    } else {
        out = 0.0;
    }
    bool next = i + 2 < ch.count;
    double r = next ? length / (key[i + 2].time - k0.time) : 0.0;
    if (k1.shape == LW_SHAPE_TCB) {
        double a = (1 - k1.tension) * (1 - k1.continuity) * (1 + k1.bias);
        double b = (1 - k1.tension) * (1 + k1.continuity) * (1 - k1.bias);
        in = next ? r * (b * (key[i + 2].value - k1.value) + a * d) : a * d;
    } else if (k1.shape == LW_SHAPE_HERMITE || k1.shape == LW_SHAPE_BEZIER) {
        in = next ? k1.tension * r : k1.tension;
    } else {
        return 0.0;  // no shape the scene uses
    }
    double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * k0.value + (3 * u2 - 2 * u3) * k1.value + (u3 - 2 * u2 + u) * out + (u3 - u2) * in;
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
    state.counters["text_MB"] = SceneText(keyed).size() / 1e6;
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
    using Clock = std::chrono::steady_clock;
    double libraryMs = 0.0, plainMs = 0.0, sum = 0.0, t = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        // Alternate the two in the same run so that both see the same machine load.
        auto start = Clock::now();
        sum += LibraryFrame(scene, t);
        auto middle = Clock::now();
        sum += PlainFrame(flat, t);
        auto end = Clock::now();
        libraryMs += std::chrono::duration<double, std::milli>(middle - start).count();
        plainMs += std::chrono::duration<double, std::milli>(end - middle).count();
        t += kFrameStep;
        if (t > kWrapTime) t = 0.0;  // back to the start: the segment caches restart
        ++frames;
    }
    benchmark::DoNotOptimize(sum);
    double library = frames ? libraryMs / (double)frames : 0.0;
    double plain = frames ? plainMs / (double)frames : 0.0;
    double ratio = plain > 0.0 ? library / plain : 0.0;
    state.counters["items"] = kItems;
    state.counters["library_ms"] = library;
    state.counters["plain_ms"] = plain;
    state.counters["ratio"] = ratio;
    // The target is set on the dense scene, every channel keyed; the typical one is shown beside it.
    if (state.iterations() > 100 && keyed == 9)
        std::printf("evaluate (%s): %d items, %.4f ms per frame, plain loop %.4f ms, ratio %.2f, target %.1f (%s)\n",
                    Label(keyed), kItems, library, plain, ratio, kTargetRatio,
                    ratio <= kTargetRatio ? "met" : "missed");
    else if (state.iterations() > 100)
        std::printf("evaluate (%s): %d items, %.4f ms per frame, plain loop %.4f ms, ratio %.2f\n", Label(keyed),
                    kItems, library, plain, ratio);
    FreeLwScene(&scene);
}
BENCHMARK(BM_EvaluateFrame)->Arg(6)->Arg(9)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
