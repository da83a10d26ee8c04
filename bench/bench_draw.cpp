// A frame of drawing through the graphics device (200 textured quads, the renderer's habit of setting
// every state it needs before each draw, most of them unchanged): the GL state queries it makes (target
// 0), the GL calls it makes, and its time, against a plain GL loop that sets the same states with GL
// calls before each quad, the two taking turns in one run. GL calls are counted by wrapping the entry
// points the platform layer calls.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/Alternate.h"
#include "bench/BenchDevice.h"
#include "platform/Graphics.h"
#include "platform/Window.h"

namespace {
uint64_t g_queries = 0;  // glGet*, glIsEnabled, glGetError
uint64_t g_calls = 0;    // every wrapped call, queries included
}  // namespace

// The wrappers: the layer's calls resolve to these, which count and pass on to the driver's.
#define TV_WRAP(query, ret, name, params, args)                                      \
    extern "C" ret name params {                                                     \
        static auto real = reinterpret_cast<ret(*) params>(dlsym(RTLD_NEXT, #name)); \
        ++g_calls;                                                                   \
        if (query) ++g_queries;                                                      \
        return real args;                                                            \
    }
TV_WRAP(1, void, glGetIntegerv, (GLenum p, GLint* v), (p, v))
TV_WRAP(1, void, glGetFloatv, (GLenum p, GLfloat* v), (p, v))
TV_WRAP(1, void, glGetBooleanv, (GLenum p, GLboolean* v), (p, v))
TV_WRAP(1, void, glGetDoublev, (GLenum p, GLdouble* v), (p, v))
TV_WRAP(1, GLboolean, glIsEnabled, (GLenum c), (c))
TV_WRAP(1, GLenum, glGetError, (void), ())
TV_WRAP(1, void, glGetTexParameteriv, (GLenum t, GLenum p, GLint* v), (t, p, v))
TV_WRAP(1, void, glGetTexEnviv, (GLenum t, GLenum p, GLint* v), (t, p, v))
TV_WRAP(0, void, glEnable, (GLenum c), (c))
TV_WRAP(0, void, glDisable, (GLenum c), (c))
TV_WRAP(0, void, glBlendFunc, (GLenum s, GLenum d), (s, d))
TV_WRAP(0, void, glAlphaFunc, (GLenum f, GLclampf r), (f, r))
TV_WRAP(0, void, glDepthFunc, (GLenum f), (f))
TV_WRAP(0, void, glDepthMask, (GLboolean m), (m))
TV_WRAP(0, void, glCullFace, (GLenum m), (m))
TV_WRAP(0, void, glFrontFace, (GLenum m), (m))
TV_WRAP(0, void, glShadeModel, (GLenum m), (m))
TV_WRAP(0, void, glTexEnvi, (GLenum t, GLenum p, GLint v), (t, p, v))
TV_WRAP(0, void, glTexEnvf, (GLenum t, GLenum p, GLfloat v), (t, p, v))
TV_WRAP(0, void, glTexEnvfv, (GLenum t, GLenum p, const GLfloat* v), (t, p, v))
TV_WRAP(0, void, glTexParameteri, (GLenum t, GLenum p, GLint v), (t, p, v))
TV_WRAP(0, void, glBindTexture, (GLenum t, GLuint n), (t, n))
TV_WRAP(0, void, glActiveTexture, (GLenum u), (u))
TV_WRAP(0, void, glClientActiveTexture, (GLenum u), (u))
TV_WRAP(0, void, glMatrixMode, (GLenum m), (m))
TV_WRAP(0, void, glLoadMatrixf, (const GLfloat* m), (m))
TV_WRAP(0, void, glLightfv, (GLenum l, GLenum p, const GLfloat* v), (l, p, v))
TV_WRAP(0, void, glMaterialfv, (GLenum f, GLenum p, const GLfloat* v), (f, p, v))
TV_WRAP(0, void, glFogf, (GLenum p, GLfloat v), (p, v))
TV_WRAP(0, void, glFogi, (GLenum p, GLint v), (p, v))
TV_WRAP(0, void, glEnableClientState, (GLenum a), (a))
TV_WRAP(0, void, glDisableClientState, (GLenum a), (a))
TV_WRAP(0, void, glVertexPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(0, void, glColorPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(0, void, glTexCoordPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(0, void, glDrawArrays, (GLenum m, GLint f, GLsizei c), (m, f, c))
TV_WRAP(0, void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))
TV_WRAP(0, void, glClear, (GLbitfield m), (m))
TV_WRAP(0, void, glScissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))

namespace {

using namespace plat;

const int kQuads = 200;

struct Vertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
const uint32_t kFvf = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;

struct Scene {
    std::unique_ptr<IGraphicsSystem> system;
    std::unique_ptr<Window> window;
    std::unique_ptr<IGraphicsDevice> device;
    std::unique_ptr<ITexture> textures[2];
    GLuint plainTextures[2] = {};
    Vertex quads[kQuads][4];
};

Scene* g_scene = nullptr;

// Made and torn down inside main: the layer's own statics must outlive it.
std::unique_ptr<Scene> g_owned;

bool MakeScene() {
    g_owned.reset(new Scene);
    Scene& scene = *g_owned;
    if (!OpenBenchDevice(256, true, scene.system, scene.window, scene.device)) return false;
    uint32_t texels[16 * 16];
    for (int t = 0; t < 2; ++t) {
        for (uint32_t& texel : texels) texel = t == 0 ? 0xFFFF8040u : 0x80FFFFFFu;
        scene.device->CreateTexture(16, 16, 1, 0, Format::Argb8888, Pool::Managed, scene.textures[t]);
        scene.textures[t]->UpdateLevel(0, texels, 64);
        glGenTextures(1, &scene.plainTextures[t]);
        glBindTexture(GL_TEXTURE_2D, scene.plainTextures[t]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    for (int q = 0; q < kQuads; ++q) {
        const float x = static_cast<float>(q % 20) * 12, y = static_cast<float>(q / 20) * 12;
        const Vertex quad[4] = {{x, y, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                {x + 10, y, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                {x, y + 10, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                                {x + 10, y + 10, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
        std::copy(quad, quad + 4, scene.quads[q]);
    }
    g_scene = &scene;
    return true;
}

// What a renderer does per quad: every state it relies on, then the draw.
void DeviceFrame(Scene& s) {
    IGraphicsDevice& d = *s.device;
    d.Clear(0, nullptr, kClearTarget | kClearZBuffer, 0xFF000000, 1.0f, 0);
    for (int q = 0; q < kQuads; ++q) {
        d.SetRenderState(RenderState::Lighting, false);
        d.SetRenderState(RenderState::ZEnable, false);
        d.SetRenderState(RenderState::CullMode, Cull::None);
        d.SetRenderState(RenderState::FogEnable, false);
        d.SetRenderState(RenderState::AlphaBlendEnable, true);
        d.SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
        d.SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
        d.SetRenderState(RenderState::AlphaTestEnable, true);
        d.SetRenderState(RenderState::AlphaFunc, Compare::Greater);
        d.SetTextureStageState(0, StageState::ColourOp, TextureOp::Modulate);
        d.SetTextureStageState(0, StageState::ColourArg1, TextureArg::Texture);
        d.SetTextureStageState(0, StageState::ColourArg2, TextureArg::Diffuse);
        d.SetTextureStageState(0, StageState::AlphaOp, TextureOp::Modulate);
        d.SetTextureStageState(1, StageState::ColourOp, TextureOp::Disable);
        d.SetSamplerState(0, SamplerState::MagFilter, TextureFilter::Point);
        d.SetSamplerState(0, SamplerState::MinFilter, TextureFilter::Point);
        d.SetTexture(0, s.textures[(q / 50) % 2].get());  // four runs of one texture
        d.SetFVF(kFvf);
        d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, s.quads[q], sizeof(Vertex));
    }
    d.Present();
}

// The same quads by a plain loop that hands every state to GL before each quad.
void PlainFrame(Scene& s) {
    s.device->Clear(0, nullptr, kClearTarget | kClearZBuffer, 0xFF000000, 1.0f, 0);
    glMatrixMode(GL_PROJECTION);
    const float ortho[16] = {2.0f / 256, 0, 0, 0, 0, -2.0f / 256, 0, 0, 0, 0, 2, 0, -1, 1, -1, 1};
    glLoadMatrixf(ortho);
    glMatrixMode(GL_MODELVIEW);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glLoadMatrixf(identity);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    for (int q = 0; q < kQuads; ++q) {
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_FOG);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.0f);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, s.plainTextures[(q / 50) % 2]);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glActiveTexture(GL_TEXTURE1);
        glDisable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
        const Vertex* v = s.quads[q];
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &v->x);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(Vertex), &v->colour);
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v->u);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    s.device->Present();
}

struct Figures {
    std::vector<double> seconds, queries, calls;  // per frame, one entry a repetition
};
Figures g_device, g_plain;

constexpr int kRepetitions = 21, kFramesEach = 40;

// One repetition of one side: its frames' time and calls, per frame.
template <void (*Frame)(Scene&)>
double RunFrames(Figures& figures) {
    const uint64_t queries = g_queries, calls = g_calls;
    const double seconds = bench::Time([] {
        for (int i = 0; i < kFramesEach; ++i) Frame(*g_scene);
    });
    figures.seconds.push_back(seconds / kFramesEach);
    figures.queries.push_back(static_cast<double>(g_queries - queries) / kFramesEach);
    figures.calls.push_back(static_cast<double>(g_calls - calls) / kFramesEach);
    return seconds / kFramesEach;
}

// The two loops take turns within the one benchmark.
void BM_DeviceAndPlainFrames(benchmark::State& state) {
    if (g_scene == nullptr) {
        state.SkipWithError(NoDeviceReason().c_str());
        return;
    }
    DeviceFrame(*g_scene);  // the first frame uploads and sets everything once
    PlainFrame(*g_scene);
    std::vector<double> device, plain;
    for (auto _ : state)
        bench::Alternate(
            1, [] { return RunFrames<DeviceFrame>(g_device); }, [] { return RunFrames<PlainFrame>(g_plain); }, device,
            plain);
}
BENCHMARK(BM_DeviceAndPlainFrames)->Iterations(kRepetitions)->Unit(benchmark::kMillisecond)->UseRealTime();

// Repeated settings between two draws: GL calls beyond those of a steady draw, one made right after
// another with the same states (the first draw after a present also restores the target).
double RedundantSetCalls() {
    if (g_scene == nullptr) return -1;
    IGraphicsDevice& d = *g_scene->device;
    DeviceFrame(*g_scene);
    d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, g_scene->quads[0], sizeof(Vertex));
    const uint64_t before = g_calls;
    d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, g_scene->quads[0], sizeof(Vertex));
    const uint64_t drawAlone = g_calls - before;
    const uint64_t start = g_calls;
    for (int i = 0; i < 1000; ++i) {
        d.SetRenderState(RenderState::AlphaBlendEnable, true);
        d.SetTextureStageState(0, StageState::ColourOp, TextureOp::Modulate);
        d.SetSamplerState(0, SamplerState::MinFilter, TextureFilter::Point);
        d.SetTexture(0, g_scene->textures[1].get());
    }
    d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, g_scene->quads[0], sizeof(Vertex));
    return static_cast<double>(g_calls - start) - static_cast<double>(drawAlone);
}

}  // namespace

int main(int argc, char** argv) {
    const bool ready = MakeScene();
    const uint64_t setupQueries = g_queries;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (!ready) {
        const std::string why = NoDeviceReason();
        bench::Unmeasured("GL state queries per frame (target 0 for the device)", why);
        bench::Unmeasured("GL calls made by 4000 repeated settings (beyond a steady draw) (target 0)", why);
        g_owned.reset();
        return bench::Status();
    }
    // Creation asks GL what it can do; the count shows the wrappers see the layer's calls.
    std::printf("\nGL queries while creating the device (allowed there): %llu\n",
                static_cast<unsigned long long>(setupQueries));
    std::printf(
        "%d textured quads a frame, every state set before each quad; per frame, median (min, max) over %zu "
        "alternated repetitions of %d frames:\n",
        kQuads, g_device.seconds.size(), kFramesEach);
    const bench::Spread queries = bench::SpreadOf(g_device.queries);
    bench::Verdict("GL state queries per frame: device " + bench::Show(queries, 1, 0) + ", plain " +
                       bench::Show(g_plain.queries, 1, 0) + " (target 0 for the device)",
                   queries.max == 0);
    std::printf("GL calls per frame: device %s, plain %s\n", bench::Show(g_device.calls, 1, 0).c_str(),
                bench::Show(g_plain.calls, 1, 0).c_str());
    std::printf("time per frame, us: device %s, plain %s\n", bench::ShowFloor(g_device.seconds, 1e6, 1).c_str(),
                bench::ShowFloor(g_plain.seconds, 1e6, 1).c_str());
    std::printf("device / plain time per frame: %.3f floor over floor (no target)\n",
                bench::FloorRatio(g_device.seconds, g_plain.seconds));
    const double redundant = RedundantSetCalls();
    bench::Verdict("GL calls made by 4000 repeated settings (beyond a steady draw): " +
                       std::to_string(static_cast<long long>(redundant)) + " (target 0)",
                   redundant == 0);
    g_owned->textures[0].reset();
    g_owned->textures[1].reset();
    g_owned.reset();
    return bench::Status();
}
