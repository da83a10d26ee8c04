// Scene library speed: loading a generated scene of 2,000 items with nine motion channels each,
// and the evaluation of every item's position, rotation and scale, frame after frame, in a scene of the
// same kind with 100 items. The evaluated scene, the plain side's copy and the flat keys fit together in
// one core's own second-level cache: the figures are then the evaluation's work, not what the machine's
// other programs leave of the shared cache (a 2,000-item frame walks megabytes of records, and its
// sides' times followed the other programs' load).
// Two scenes: "typical" keys position and rotation (eight keys each) and holds scale with one key,
// as exported scenes mostly do; "dense" keys all nine channels. Keys mix the TCB, Hermite, Bezier,
// linear and stepped shapes; after the last key the channels repeat.
// A frame's evaluation is judged against a plain evaluation that walks a scene's own records, those of
// the same text loaded a second time, so that nothing the library does to its records (or leaves in the
// caches) is work the plain side shares: every item's channel records and their keys by their links, the keys as they are at each call (as
// callers may write them between frames through the pointers the library hands out), the segment last
// used remembered per channel. Beside it, unjudged, a loop over the same curves copied into flat
// 48-byte keys shows what the key record and its links cost. The sides take turns frame by frame, the
// side that goes first changing every turn, each timed by its thread's processor time (the work is
// one thread's); the target judges the library's floor over the plain side's (see Alternate.h). Every
// side's values are checked against the library's before anything is timed: a disagreement leaves the
// target unmeasured.
// Loading has no plain side.
#include "lightwave/scene/LwScene.h"

#include "bench/Alternate.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 2000;          // the loaded scene's
constexpr int kEvaluatedItems = 100;  // the evaluated scene's
constexpr int kFramesATurn = 30;      // frames a side evaluates in one turn, timed together
constexpr int kKeys = 8;
// Library over plain, dense scene, floor over floor: 1.00, 1.01, 1.00 and 1.01 in four runs, idle (load
// 3-4) and beside 4, 8 and 16 busy loops (loads 6-25, 23-29, 17-29); with the library evaluating every
// call twice, 1.94 idle and 1.93 beside 16 busy loops. The bound lies between.
constexpr double kTargetRatio = 1.35;
constexpr double kFrameStep = 1.0 / 60.0;
constexpr double kWrapTime = 9.0;  // past the last key: the repeat behaviour is exercised too

// Objects, lights and cameras, each with nine channels; keyed channels have eight keys of mixed
// shapes, the others one key.
std::string MakeScene(int keyedChannels, int items) {
    std::string text = "LWSC\n3\n\nFirstFrame 1\nLastFrame 240\nFramesPerSecond 30\n\n";
    text.reserve(12u << 20);
    char line[256];
    for (int i = 0; i < items; ++i) {
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

const std::string& SceneText(int keyedChannels, int items) {
    static const std::string typical = MakeScene(6, kItems), dense = MakeScene(9, kItems);
    static const std::string typicalEvaluated = MakeScene(6, kEvaluatedItems),
                             denseEvaluated = MakeScene(9, kEvaluatedItems);
    if (items == kItems) return keyedChannels == 9 ? dense : typical;
    return keyedChannels == 9 ? denseEvaluated : typicalEvaluated;
}

const char* Label(int keyedChannels) { return keyedChannels == 9 ? "dense" : "typical"; }

LwScene* LoadScene(int keyedChannels, int items) {
    const std::string& text = SceneText(keyedChannels, items);
    LwScene* scene = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_MOTION_TO_CHANNELS, nullptr);
    if (scene && (scene->ErrorCode != 0 || scene->NumItems != items)) FreeLwScene(&scene);
    return scene;
}

// ---- the plain evaluation over the scene's own records ------------------------------------------

constexpr double kEps = 1.1920928955078125e-07;
// Largest difference allowed between a plain side's value and the library's, relative to 1 + |value|:
// the sides may round a wrapped time or a tangent in another order, never more than that.
constexpr double kTolerance = 1e-9;

// The shapes and behaviours the plain evaluations know; the generated scenes use no others, and a
// scene that did would be refused before anything is timed.
bool PlainShape(int32_t shape) { return shape >= LW_SHAPE_TCB && shape <= LW_SHAPE_STEPPED; }
bool PlainBehavior(int32_t behavior) {
    return behavior == LW_BEHAVIOR_RESET || behavior == LW_BEHAVIOR_CONSTANT || behavior == LW_BEHAVIOR_REPEAT;
}

// Time t brought into the key range by the behaviours, or false with the value when a behaviour gives
// it outright.
bool IntoRange(double& t, double firstTime, double firstValue, double lastTime, double lastValue, int32_t pre,
               int32_t post, double& value) {
    const double span = lastTime - firstTime;
    if (firstTime - t > kEps) {
        if (pre != LW_BEHAVIOR_REPEAT || span <= kEps) {
            value = pre == LW_BEHAVIOR_RESET ? 0.0 : firstValue;
            return false;
        }
        t += std::max(1.0, std::ceil((firstTime - t - kEps) / span)) * span;
    } else if (t - lastTime > kEps) {
        if (post != LW_BEHAVIOR_REPEAT || span <= kEps) {
            value = post == LW_BEHAVIOR_RESET ? 0.0 : lastValue;
            return false;
        }
        t -= std::max(1.0, std::ceil((t - lastTime - kEps) / span)) * span;
    }
    t = std::clamp(t, firstTime, lastTime);
    return true;
}

// The textbook curve on the segment k0 to k1, p before k0 and n after k1 (either may be missing). Key
// is any record with the key fields by name: the scene's own or the flat copy.
template <typename Key>
double SegmentValue(const Key* p, const Key& k0, const Key& k1, const Key* n, double t) {
    const double length = k1.Time - k0.Time;
    if (std::fabs(length) <= kEps) return k1.Value;
    const double u = (t - k0.Time) / length;
    switch (k1.Shape) {
    case LW_SHAPE_LINEAR:
        return (k1.Value - k0.Value) * u + k0.Value;
    case LW_SHAPE_STEPPED:
        return k0.Value;
    case LW_SHAPE_TCB:
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        break;
    default:
        return 0.0;
    }
    const double d = k1.Value - k0.Value;
    // Outgoing tangent of k0, scaled to the segment by its previous key.
    double out = 0.0;
    const bool withPrev = p && k1.Time != p->Time;
    const double rp = withPrev ? (k1.Time - k0.Time) / (k1.Time - p->Time) : 0.0;
    switch (k0.Shape) {
    case LW_SHAPE_TCB: {
        const double a = (1 - k0.Tension) * (1 + k0.Continuity) * (1 + k0.Bias);
        const double b = (1 - k0.Tension) * (1 - k0.Continuity) * (1 - k0.Bias);
        out = withPrev ? rp * (a * (k0.Value - p->Value) + b * d) : b * d;
        break;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        out = withPrev ? k0.Continuity * rp : k0.Continuity;
        break;
    case LW_SHAPE_LINEAR:
        out = withPrev ? rp * (k0.Value - p->Value + d) : d;
        break;
    default:
        break;
    }
    // Incoming tangent of k1, scaled to the segment by its next key.
    double in = 0.0;
    const bool withNext = n && n->Time != k0.Time;
    const double rn = withNext ? (k1.Time - k0.Time) / (n->Time - k0.Time) : 0.0;
    switch (k1.Shape) {
    case LW_SHAPE_TCB: {
        const double a = (1 - k1.Tension) * (1 - k1.Continuity) * (1 + k1.Bias);
        const double b = (1 - k1.Tension) * (1 + k1.Continuity) * (1 - k1.Bias);
        in = withNext ? rn * (b * (n->Value - k1.Value) + a * d) : a * d;
        break;
    }
    default:  // Hermite and Bezier
        in = withNext ? k1.Tension * rn : k1.Tension;
        break;
    }
    const double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * k0.Value + (3 * u2 - 2 * u3) * k1.Value + (u3 - 2 * u2 + u) * out + (u3 - u2) * in;
}

// One channel from its record and its keys, found by their links; `segment` is the key that starts the
// segment last used (null at first), kept by the caller.
double LinkedEvaluate(const LwEnvelope* env, const LwEnvelopeKey*& segment, double t) {
    const LwEnvelopeKey* first = env->FirstKey;
    const LwEnvelopeKey* last = env->LastKey;
    if (!first || env->KeyCount <= 0) return 0.0;
    if (!last || first == last || env->KeyCount == 1) return first->Value;
    double value = 0.0;
    if (!IntoRange(t, first->Time, first->Value, last->Time, last->Value, env->PreBehavior, env->PostBehavior, value))
        return value;
    // The segment is the first whose end t is not after: the one last used when t is past its start.
    const LwEnvelopeKey* k = segment;
    if (!k || !k->Next || (k != first && !(t - k->Time > kEps))) k = first;
    while (k->Next != last && t - k->Next->Time > kEps) k = k->Next;
    segment = k;
    return SegmentValue(k->Prev, *k, *k->Next, k->Next->Next, t);
}

// The plain side's own memory of each channel's segment, one a record in item and list order.
std::vector<const LwEnvelopeKey*> LinkedSegments(const LwScene* scene) {
    std::size_t records = 0;
    for (const LwSceneItem* item = scene->FirstItem; item; item = item->Next)
        for (const LwEnvelope* env = item->ChannelList; env; env = env->Next) ++records;
    return std::vector<const LwEnvelopeKey*>(records, nullptr);
}

// One frame: every item's nine channels, walked from its channel list, into out (nine an item).
void LinkedFrame(const LwScene* scene, std::vector<const LwEnvelopeKey*>& segments, double t, double* out) {
    const LwEnvelopeKey** segment = segments.data();
    for (const LwSceneItem* item = scene->FirstItem; item; item = item->Next, out += 9)
        for (const LwEnvelope* env = item->ChannelList; env; env = env->Next, ++segment)
            if (env->Channel >= 0 && env->Channel < 9) out[env->Channel] = LinkedEvaluate(env, *segment, t);
}

// ---- the same curves in flat 48-byte keys ---------------------------------------------------------

// Every channel's keys side by side in one array, without links: what the layout alone costs is the
// difference between this and the evaluation over the scene's records.
struct FlatKey {
    double Value, Time;
    int32_t Shape;
    double Tension, Continuity, Bias;
};
static_assert(sizeof(FlatKey) == 48, "the flat key is six doubles' worth");
struct FlatChannel {
    int first, count, pre, post, segment;
};
struct FlatScene {
    std::vector<FlatKey> keys;
    std::vector<FlatChannel> channels;  // nine an item, in channel order
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

double FlatEvaluate(const FlatKey* key, FlatChannel& ch, double t) {
    if (ch.count == 0) return 0.0;
    if (ch.count == 1) return key[0].Value;
    const FlatKey& first = key[0];
    const FlatKey& last = key[ch.count - 1];
    double value = 0.0;
    if (!IntoRange(t, first.Time, first.Value, last.Time, last.Value, ch.pre, ch.post, value)) return value;
    int i = ch.segment;
    if (i != 0 && !(t - key[i].Time > kEps)) i = 0;
    while (i + 2 < ch.count && t - key[i + 1].Time > kEps) ++i;
    ch.segment = i;
    return SegmentValue(i > 0 ? &key[i - 1] : nullptr, key[i], key[i + 1], i + 2 < ch.count ? &key[i + 2] : nullptr, t);
}

void FlatFrame(FlatScene& flat, double t, double* out) {
    const FlatKey* keys = flat.keys.data();
    for (FlatChannel& ch : flat.channels) *out++ = FlatEvaluate(keys + ch.first, ch, t);
}

// ---- the library's frame ------------------------------------------------------------------------

// Every item's position, rotation and scale through the library, into out (nine an item).
void LibraryFrame(LwScene* scene, double t, double* out) {
    for (LwSceneItem* item = scene->FirstItem; item; item = item->Next, out += 9) {
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_POSITION, t, out);
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_ROTATION, t, out + 3);
        scene->Op.EvaluateMotion(scene, item, LW_MOTION_SCALE, t, out + 6);
    }
}

// ---- benchmarks ---------------------------------------------------------------------------------

const char* const kTarget = "evaluate (dense) library / plain over the same records, processor time";

void BM_LoadScene(benchmark::State& state) {
    const int keyed = (int)state.range(0);
    state.SetLabel(Label(keyed));
    for (auto _ : state) {
        LwScene* scene = LoadScene(keyed, kItems);
        if (!scene) state.SkipWithError("load failed");
        FreeLwScene(&scene);
    }
    state.counters["items"] = kItems;
    state.counters["text_MB"] = static_cast<double>(SceneText(keyed, kItems).size()) / 1e6;
}
BENCHMARK(BM_LoadScene)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

// Whether the plain sides cover every shape and behaviour the scene holds.
bool PlainCovers(const LwScene* scene) {
    for (const LwSceneItem* item = scene->FirstItem; item; item = item->Next)
        for (const LwEnvelope* env = item->ChannelList; env; env = env->Next) {
            if (!PlainBehavior(env->PreBehavior) || !PlainBehavior(env->PostBehavior)) return false;
            for (const LwEnvelopeKey* k = env->FirstKey; k; k = k->Next)
                if (!PlainShape(k->Shape)) return false;
        }
    return true;
}

// The largest difference between a plain side's values and the library's, relative to 1 + |value|;
// infinite where the library left a value unwritten.
double Difference(const std::vector<double>& library, const std::vector<double>& plain) {
    double worst = 0.0;
    for (std::size_t i = 0; i < library.size(); ++i) {
        const double d = std::fabs(library[i] - plain[i]) / (1.0 + std::fabs(library[i]));
        worst = std::isnan(d) ? INFINITY : std::max(worst, d);
    }
    return worst;
}

void BM_EvaluateFrame(benchmark::State& state) {
    const int keyed = (int)state.range(0);
    state.SetLabel(Label(keyed));
    // The dense scene's target is not measured unless it is judged below.
    auto unmeasured = [keyed](const char* why) {
        if (keyed == 9)
            bench::Unmeasured(kTarget, why);
        else
            std::printf("evaluate (%s): not measured (%s)\n", Label(keyed), why);
    };
    LwScene* scene = LoadScene(keyed, kEvaluatedItems);
    LwScene* plainScene = LoadScene(keyed, kEvaluatedItems);  // the plain sides' own records
    if (!scene || !plainScene) {
        state.SkipWithError("load failed");
        unmeasured("the scene did not load");
        FreeLwScene(&scene);
        FreeLwScene(&plainScene);
        return;
    }
    if (!PlainCovers(plainScene)) {
        state.SkipWithError("the plain sides do not cover the scene");
        unmeasured("the scene holds a shape or behaviour the plain sides lack");
        FreeLwScene(&scene);
        FreeLwScene(&plainScene);
        return;
    }
    std::vector<const LwEnvelopeKey*> segments = LinkedSegments(plainScene);
    FlatScene flat = Flatten(plainScene);
    std::vector<double> libraryOut(kEvaluatedItems * 9), linkedOut(kEvaluatedItems * 9), flatOut(kEvaluatedItems * 9);

    // The sides must agree before their times mean anything: at times before, across and past the keys,
    // then frame after frame as they are timed; and again after a key is written between frames through
    // the pointer the library hands out (the flat copy is written by hand).
    double linkedWorst = 0.0, flatWorst = 0.0;
    std::size_t compared = 0;
    auto check = [&](double t) {
        std::fill(libraryOut.begin(), libraryOut.end(), NAN);
        LibraryFrame(scene, t, libraryOut.data());
        LinkedFrame(plainScene, segments, t, linkedOut.data());
        FlatFrame(flat, t, flatOut.data());
        linkedWorst = std::max(linkedWorst, Difference(libraryOut, linkedOut));
        flatWorst = std::max(flatWorst, Difference(libraryOut, flatOut));
        compared += libraryOut.size();
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (double t = -1.0; t < kWrapTime + 3.0; t += 0.37) check(t);
        for (double t = 0.0; t < kWrapTime; t += kFrameStep) check(t);
        for (LwScene* written : {scene, plainScene}) {
            LwEnvelope* channel = written->Op.FindChannel(written, written->FirstItem, LW_CHANNEL_POSITION_X);
            written->Op.GetKeyValue(written, channel, 3.0)->Value += 1.0;
        }
        flat.keys[(size_t)flat.channels[0].first + 3].Value += 1.0;
    }
    const bool agree = linkedWorst <= kTolerance && flatWorst <= kTolerance;
    std::printf(
        "evaluate (%s): %zu values checked against the library, largest difference relative to 1 + |value|: "
        "same records %.3g, flat keys %.3g (allowed %.0e)%s\n",
        Label(keyed), compared, linkedWorst, flatWorst, kTolerance, agree ? "" : ": FAILED, the sides disagree");
    if (!agree) {
        state.SkipWithError("a plain side disagrees with the library");
        unmeasured("a plain side disagrees with the library");
        FreeLwScene(&scene);
        FreeLwScene(&plainScene);
        return;
    }

    // Each iteration is one turn: the same frames through each side, the side that goes first changing
    // every turn; a side's figure is its processor time a frame over the turn's frames.
    double t = 0.0;
    auto side = [&t](auto frame, std::vector<double>& out) {
        return [&t, frame, &out]() mutable {
            const double cpu = bench::CpuTime([&] {
                for (int f = 0; f < kFramesATurn; ++f) {
                    frame(t + f * kFrameStep, out.data());
                    benchmark::DoNotOptimize(out.data());
                    benchmark::ClobberMemory();
                }
            });
            return cpu / kFramesATurn;
        };
    };
    const std::vector<std::function<double()>> sides = {
        side([&](double at, double* out) { LibraryFrame(scene, at, out); }, libraryOut),
        side([&](double at, double* out) { LinkedFrame(plainScene, segments, at, out); }, linkedOut),
        side([&](double at, double* out) { FlatFrame(flat, at, out); }, flatOut)};
    std::vector<std::vector<double>> times;
    for (auto _ : state) {
        bench::Rotate(1, sides, times);
        t += kFramesATurn * kFrameStep;
        if (t + kFramesATurn * kFrameStep > kWrapTime) t = 0.0;  // back to the start: the segments are found afresh
    }
    const std::vector<double>&library = times[0], &linked = times[1], &flatTimes = times[2];
    const double ratio = bench::FloorRatio(library, linked);
    state.counters["items"] = kEvaluatedItems;
    state.counters["ratio"] = ratio;
    std::printf(
        "evaluate (%s): %d items, processor ms a frame over %zu rotated turns of %d frames: library %s; plain over the "
        "same "
        "records %s; plain over flat 48-byte keys %s\n",
        Label(keyed), kEvaluatedItems, library.size(), kFramesATurn, bench::ShowFloor(library, 1e3, 4).c_str(),
        bench::ShowFloor(linked, 1e3, 4).c_str(), bench::ShowFloor(flatTimes, 1e3, 4).c_str());
    std::printf(
        "evaluate (%s) cost of the layout, plain over the records / plain over flat keys: %.2f; library / flat: "
        "%.2f, floor over floor (no target)\n",
        Label(keyed), bench::FloorRatio(linked, flatTimes), bench::FloorRatio(library, flatTimes));
    // The target is set on the dense scene, every channel keyed; the typical one is shown beside it.
    char line[160];
    std::snprintf(line, sizeof line,
                  "evaluate (%s) library / plain over the same records, processor time: %.2f floor over floor",
                  Label(keyed), ratio);
    if (keyed == 9) {
        char bound[48];
        std::snprintf(bound, sizeof bound, ", target at most %.2f", kTargetRatio);
        bench::Verdict(line + std::string(bound), ratio <= kTargetRatio);
    } else
        std::printf("%s (no target)\n", line);
    FreeLwScene(&scene);
    FreeLwScene(&plainScene);
}
BENCHMARK(BM_EvaluateFrame)->Arg(6)->Arg(9)->Iterations(600)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// A plain side that disagrees with the library, or a scene that does not load, leaves the target
// unmeasured.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return bench::kNotMeasured;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return bench::Status();
}
