// Scene library speed: loading a generated scene of 2,000 items with nine motion channels each,
// and one frame's evaluation of every item's position, rotation and scale.
// Target: a frame's evaluation of 2,000 items under 0.5 ms.
// Two scenes: "typical" keys position and rotation (eight keys each) and holds scale with one key,
// as exported scenes mostly do; "dense" keys all nine channels. The first is the target's case.
#include "lightwave/LwScene.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr int kItems = 2000;
constexpr int kKeys = 8;
constexpr double kTargetMs = 0.5;

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
                int shape = (i + c + k) % 4 == 3 ? 3 : (i + k) % 7 == 0 ? 1 : 0;
                double value = (c >= 6 ? 1.0 : 0.0) + 0.25 * ((i * 7 + c * 3 + k * 5) % 11);
                snprintf(line, sizeof(line), "  Key %g %g %d 0 0 0 0 0 0\n", value, k * 1.0, shape);
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

void BM_LoadScene(benchmark::State& state) {
    const std::string& text = SceneText((int)state.range(0));
    state.SetLabel(Label((int)state.range(0)));
    for (auto _ : state) {
        LwScene* scene = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_MOTION_TO_CHANNELS, nullptr);
        if (!scene || scene->ErrorCode != 0 || scene->NumItems != kItems) state.SkipWithError("load failed");
        FreeLwScene(&scene);
    }
    state.counters["items"] = kItems;
    state.counters["text_MB"] = text.size() / 1e6;
}
BENCHMARK(BM_LoadScene)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_EvaluateFrame(benchmark::State& state) {
    const int keyed = (int)state.range(0);
    const std::string& text = SceneText(keyed);
    state.SetLabel(Label(keyed));
    LwScene* scene = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_MOTION_TO_CHANNELS, nullptr);
    if (!scene || scene->ErrorCode != 0) {
        state.SkipWithError("load failed");
        FreeLwScene(&scene);
        return;
    }
    double t = 0.0;
    double sum = 0.0;
    int64_t frames = 0;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        // One frame: every item's position, rotation and scale at the frame's time.
        for (LwSceneItem* item = scene->FirstItem; item; item = item->Next) {
            double pos[3] = {0, 0, 0}, rot[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
            scene->Op.EvaluateMotion(scene, item, LW_MOTION_POSITION, t, pos);
            scene->Op.EvaluateMotion(scene, item, LW_MOTION_ROTATION, t, rot);
            scene->Op.EvaluateMotion(scene, item, LW_MOTION_SCALE, t, scale);
            sum += pos[0] + rot[1] + scale[2];
        }
        benchmark::DoNotOptimize(sum);
        t += 1.0 / 60.0;
        if (t > 9.0) t = 0.0;  // wrap back: the evaluation caches restart from the first key
        ++frames;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    double perFrame = frames ? ms / (double)frames : 0.0;
    state.counters["items"] = kItems;
    state.counters["ms_per_frame"] = perFrame;
    state.counters["target_ms"] = kTargetMs;
    state.counters["ratio_to_target"] = perFrame / kTargetMs;
    if (state.iterations() > 100)
        std::printf("evaluate (%s): %d items, %.4f ms per frame, target %.2f ms, ratio %.3f (%s)\n", Label(keyed),
                    kItems, perFrame, kTargetMs, perFrame / kTargetMs, perFrame < kTargetMs ? "met" : "missed");
    FreeLwScene(&scene);
}
BENCHMARK(BM_EvaluateFrame)->Arg(6)->Arg(9)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
