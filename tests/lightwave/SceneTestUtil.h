// Helpers of the scene library tests: scenes from texts, envelope blocks from key lists, dumps
// captured as strings.
#pragma once

#include "lightwave/scene/LwScene.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace lwtest {

struct SceneDeleter {
    void operator()(LwScene* s) const { FreeLwScene(&s); }
};
using ScenePtr = std::unique_ptr<LwScene, SceneDeleter>;

inline ScenePtr Load(const std::string& text, uint32_t flags = LW_SCENE_MOTION_TO_CHANNELS) {
    return ScenePtr(LoadLwScene(text.data(), (uint32_t)text.size(), flags, nullptr));
}

struct Key {
    double value, time;
    int shape;
    double t = 0, c = 0, b = 0, p0 = 0, p1 = 0, p2 = 0;
};

inline std::string EnvelopeBlock(const std::vector<Key>& keys, int pre = 1, int post = 1) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(17);
    out << "{ Envelope\n  " << keys.size() << "\n";
    for (const Key& k : keys)
        out << "  Key " << k.value << " " << k.time << " " << k.shape << " " << k.t << " " << k.c << " " << k.b << " "
            << k.p0 << " " << k.p1 << " " << k.p2 << "\n";
    out << "  Behaviors " << pre << " " << post << "\n}\n";
    return out.str();
}

// A version 3 scene holding one light whose intensity is the given envelope.
struct EnvelopeScene {
    ScenePtr scene;
    LwEnvelope* env = nullptr;

    EnvelopeScene(const std::vector<Key>& keys, int pre = 1, int post = 1) {
        scene = Load("LWSC\n3\nAddLight\nLightIntensity (envelope)\n" + EnvelopeBlock(keys, pre, post));
        if (scene && scene->FirstItem && scene->FirstItem->Light) env = scene->FirstItem->Light->LightIntensityEnvelope;
    }

    double At(double t) {
        double out = -12345.0;
        scene->Op.EvaluateEnvelope(scene.get(), env, t, &out);
        return out;
    }
};

// Captures what a writer puts on a stream.
inline std::string Capture(const std::function<void(FILE*)>& write) { return lwobj::Dumped(write); }

inline std::string Dump(LwScene* s) {
    return Capture([&](FILE* f) { s->Op.DumpLwScene(s, f); });
}

}  // namespace lwtest
