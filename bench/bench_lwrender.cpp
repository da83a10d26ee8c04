// A LightWave scene of 500 moving objects (200,000 triangles) drawn by the renderer for 300 frames,
// against a plain GL loop that draws the same vertex and index data with the same states and the same
// placements, in the same process, each on a GL context of its own (so that neither disturbs the state
// the other keeps) and frame about frame, so that a machine whose load changes weighs on both alike.
// Both end each frame with glFinish. Every GL entry
// point the platform layer calls while drawing is wrapped to count it and to take the processor time
// spent inside GL, so that the renderer's own processor time per frame (motion, culling, state
// bookkeeping) shows apart.
// The machine is shared: figures are medians over the frames, with their range. The renderer's own
// time is what it spends outside GL above the plain loop's cost per call for as many calls as the
// renderer makes: the plain loop makes several times more. That is printed; the target judges the
// renderer's frames drawn again with the GL calls stopped short of the driver, against the reference
// piece timed beside them (see NullRun). The frame time ratio is printed beside it, but as the
// rasteriser takes nearly all of both frames it would pass whatever the renderer did.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/Alternate.h"
#include "bench/BenchDevice.h"
#include "bench/GLCallTimer.h"
#include "bench/Reference.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/FrameCounters.h"
#include "render/LWRenderableScene.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"
#include "tools/T3OWriter.h"

namespace {

using Clock = glcalls::Clock;
using namespace trivale;
using namespace trivale::type_a;

const int kObjects = 500, kMeshes = 10, kFrames = 300;
// The renderer's own frame over the reference workload, floor over floor: 1.146, 1.122, 1.155 and 1.129
// in four runs, idle (load 3-4) and beside 4, 8 and 16 busy loops (loads 6-25, 23-29, 17-29); with the
// frame drawn twice, motion and placements evaluated afresh the second time, 2.289 idle and 2.334
// beside 16 busy loops. The bound lies between.
const double kRendererRatioBound = 1.6;
const char* const kRendererTarget = "renderer's own frame / reference workload, processor time";
const int kSlices = 20, kStacks = 10;  // 400 triangles a mesh
const int kNullTurns = 2 * kFrames;    // frames with the GL calls stopped short of the driver

// A sphere of radius 1 in its own colour, faces wound as the default culling keeps them.
T3OObject Sphere(int n) {
    T3OObject o;
    T3OMaterial m;
    m.colours.diffuse = {0.3f + 0.07f * float(n), 0.8f - 0.05f * float(n), 0.5f, 1.0f};
    m.colours.ambient = m.colours.diffuse;
    m.colours.specular.a = 1.0f;
    o.materials = {m};
    o.polygonSets.resize(1);
    for (int st = 0; st <= kStacks; ++st) {
        for (int sl = 0; sl <= kSlices; ++sl) {
            const float theta = 3.14159265f * float(st) / kStacks, phi = 6.2831853f * float(sl) / kSlices;
            const plat::Vector3 p{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            o.vertices.push_back({p, p, float(sl) / kSlices, float(st) / kStacks});
        }
    }
    for (int st = 0; st < kStacks; ++st) {
        for (int sl = 0; sl < kSlices; ++sl) {
            const auto a = std::uint16_t(st * (kSlices + 1) + sl), b = std::uint16_t(a + kSlices + 1);
            for (std::uint16_t i : {a, std::uint16_t(a + 1), b, std::uint16_t(a + 1), std::uint16_t(b + 1), b})
                o.polygonSets[0].indices.push_back(i);
        }
    }
    tools::FitBoundingSphere(o);
    return o;
}

std::string Envelope(double a, double b) {
    return "{ Envelope\n  2\n  Key " + std::to_string(a) + " 0 3 0 0 0 0 0 0\n  Key " + std::to_string(b) +
           " 10 3 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
}

std::string SceneText() {
    std::string text = "LWSC\n3\n\nFirstFrame 0\nLastFrame 600\nFramesPerSecond 60\n\n";
    for (int i = 0; i < kObjects; ++i) {
        const double x = (i % 25 - 12) * 3.0, z = (i / 25 - 9.5) * 3.0;
        text += "LoadObjectLayer 1 objects/mesh" + std::to_string(i % kMeshes) + ".lwo\nObjectMotion\nNumChannels 6\n";
        const double values[6][2] = {{x, x}, {0, 2}, {z, z}, {0, 6.28}, {0, 0}, {0, 0}};
        for (int c = 0; c < 6; ++c)
            text += "Channel " + std::to_string(c) + "\n" + Envelope(values[c][0], values[c][1]);
    }
    text += "AddLight\nLightName Sun\nLightMotion\nNumChannels 6\n";
    for (int c = 0; c < 6; ++c)
        text += "Channel " + std::to_string(c) + "\n" + Envelope(c == 4 ? 0.8 : 0, c == 4 ? 0.8 : 0);
    text += "LightColor 1 1 1\nLightIntensity 0.8\nAmbientColor 1 1 1\nAmbientIntensity 0.25\n";
    text += "AddCamera\nCameraName Top\nCameraMotion\nNumChannels 6\n";
    const double camera[6] = {0, 55, -55, 0, 0.785398, 0};
    for (int c = 0; c < 6; ++c) text += "Channel " + std::to_string(c) + "\n" + Envelope(camera[c], camera[c]);
    text +=
        "ZoomFactor 1\nBackdropColor 0.2 0.3 0.5\nFogType 1\nFogMinDistance 60\nFogMaxDistance 200\n"
        "FogColor 0.5 0.5 0.5\n";
    return text;
}

struct Figures {
    // Per frame: wall seconds; the drawing thread's processor seconds, and those inside GL calls; calls.
    std::vector<double> frame, cpu, inside, calls;
    std::vector<double> outside;  // processor seconds outside GL calls, once the wrappers' cost is known
    std::uint64_t draws = 0;
};

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0.0 : sum / double(v.size());
}

struct Bench {
    std::filesystem::path data;
    CTextureCache textures;
    std::unique_ptr<CLWRenderableScene> scene;
    // The plain loop's copy of the meshes and of the placements at each frame's time.
    GLuint vertexBuffers[kMeshes] = {}, indexBuffers[kMeshes] = {};
    std::vector<plat::Matrix> modelView;
    std::vector<int> mesh;
    plat::Material materials[kMeshes];
    Figures engine, plain;
    SDL_Window* engineWindow = nullptr;
    SDL_GLContext engineContext = nullptr;
    SDL_Window* plainWindow = nullptr;
    SDL_GLContext plainContext = nullptr;
    double wrapperCost = 0;
    std::uint32_t triangles = 0, drawnItems = 0;
} * g_bench;

double FrameTime(int frame) { return frame / 60.0; }

void EngineFrame(Bench& b, int frame) {
    plat::IGraphicsDevice& device = CurrentDevice();
    device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, b.scene->GetBackdropColor(), 1.0f, 0);
    device.BeginScene();
    device.SetTransform(plat::TransformKind::World, plat::MatrixIdentity());
    CCamera* camera = b.scene->UpdateWithCamera("Top", FrameTime(frame), 1.0f, 1000.0f, 0.0f);
    camera->ApplyViewTransform();
    SetDefaultRenderStates();
    b.scene->GetDirectionalLight(FrameTime(frame))->Apply(0);
    b.scene->Render(FrameTime(frame), camera);
    device.EndScene();
    glFinish();
}

void PlainStates(Bench& b) {
    CLWRenderableScene& s = *b.scene;
    CDirectionalLight* light = s.GetDirectionalLight(0);
    const plat::Light& l = light->GetRecord();
    CCamera* camera = s.UpdateWithCamera("Top", 0, 1.0f, 1000.0f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(&camera->GetProjectionMatrix().m[0][0]);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(&camera->GetViewMatrix().m[0][0]);
    const float direction[4] = {-l.direction.x, -l.direction.y, -l.direction.z, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, direction);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, &l.diffuse.r);
    glLightfv(GL_LIGHT0, GL_AMBIENT, &l.ambient.r);
    const float black[4] = {0, 0, 0, 1}, grey[4] = {0.5f, 0.5f, 0.5f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 60);
    glFogf(GL_FOG_END, 200);
    glFogfv(GL_FOG_COLOR, grey);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

void PlainFrame(Bench& b, int frame) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    PlainStates(b);
    const std::size_t base = std::size_t(frame) * kObjects;
    for (int i = 0; i < kObjects; ++i) {
        const int m = b.mesh[i];
        glLoadMatrixf(&b.modelView[base + std::size_t(i)].m[0][0]);
        const plat::Material& mat = b.materials[m];
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &mat.diffuse.r);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &mat.ambient.r);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &mat.specular.r);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &mat.emissive.r);
        glBindBuffer(GL_ARRAY_BUFFER, b.vertexBuffers[m]);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.indexBuffers[m]);
        glVertexPointer(3, GL_FLOAT, 32, nullptr);
        glNormalPointer(GL_FLOAT, 32, reinterpret_cast<const void*>(12));
        glDrawRangeElements(GL_TRIANGLES, 0, (kSlices + 1) * (kStacks + 1) - 1, kSlices * kStacks * 6,
                            GL_UNSIGNED_SHORT, nullptr);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glFinish();
}

// Empty when the scene is set up; else why not.
std::string Setup() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("VELLACOR_DIALOG", "0,0,0,0,1,24,0", 0);
    Bench& b = *g_bench;
    b.data = std::filesystem::temp_directory_path() / ("tvbench-lw-" + std::to_string(::getpid()));
    std::filesystem::create_directories(b.data / "scenes");
    std::ofstream(b.data / "scenes" / "grid.lws") << SceneText();
    std::vector<T3OObject> meshes;
    for (int m = 0; m < kMeshes; ++m) {
        meshes.push_back(Sphere(m));
        std::string error;
        if (!tools::WriteT3OFile((b.data / "scenes" / ("mesh" + std::to_string(m) + "_000.t3o")).string(),
                                 meshes.back(), error)) {
            return "a mesh could not be written: " + error;
        }
    }
    if (!CreateApplicationDriver() || !GetApplicationDriver()->Initialize())
        return "the application driver did not start: " + NoDeviceReason();
    GetApplicationDriver()->UseFileSystem(b.data.string() + "/");
    b.scene.reset(new CLWRenderableScene());
    b.scene->Load("scenes\\grid.lws", &b.textures, nullptr);

    // The plain loop's context on a window of the back buffer's size, its buffers, materials and every
    // frame's placements, made before anything is timed.
    b.engineWindow = SDL_GL_GetCurrentWindow();
    b.engineContext = SDL_GL_GetCurrentContext();
    const plat::PresentParameters& parameters = CurrentDevice().GetParameters();
    const int width = int(parameters.backBufferWidth), height = int(parameters.backBufferHeight);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    b.plainWindow = SDL_CreateWindow("plain", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (b.plainWindow == nullptr) return "no window for the plain loop: " + NoDeviceReason();
    b.plainContext = SDL_GL_CreateContext(b.plainWindow);
    if (b.plainContext == nullptr || SDL_GL_MakeCurrent(b.plainWindow, b.plainContext) != 0)
        return "no GL context for the plain loop: " + NoDeviceReason();
    SDL_GL_SetSwapInterval(0);
    glViewport(0, 0, width, height);
    const std::uint32_t backdrop = b.scene->GetBackdropColor();
    glClearColor(float(backdrop >> 16 & 0xFF) / 255, float(backdrop >> 8 & 0xFF) / 255, float(backdrop & 0xFF) / 255,
                 1.0f);
    glClearDepth(1.0);
    for (int m = 0; m < kMeshes; ++m) {
        glGenBuffers(1, &b.vertexBuffers[m]);
        glBindBuffer(GL_ARRAY_BUFFER, b.vertexBuffers[m]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(meshes[m].vertices.size() * 32), meshes[m].vertices.data(),
                     GL_STATIC_DRAW);
        glGenBuffers(1, &b.indexBuffers[m]);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.indexBuffers[m]);
        const auto& indices = meshes[m].polygonSets[0].indices;
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 2), indices.data(), GL_STATIC_DRAW);
        b.materials[m] = meshes[m].materials[0].colours;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    if (SDL_GL_MakeCurrent(b.engineWindow, b.engineContext) != 0) return "the renderer's context was lost";
    CurrentDevice().SetTransform(plat::TransformKind::World, plat::MatrixIdentity());
    for (int frame = 0; frame < kFrames; ++frame) {
        b.scene->UpdateWithCamera("Top", FrameTime(frame), 1.0f, 1000.0f, 0.0f)->ApplyViewTransform();
        b.scene->RenderPass(FrameTime(frame), RenderPass::Multiplicative, nullptr);  // places, draws nothing
        for (const auto& entry : b.scene->GetSceneItems()) {
            if (entry.second->GetObject() == nullptr) continue;
            plat::Matrix view;
            CurrentDevice().GetTransform(plat::TransformKind::View, view);
            b.modelView.push_back(plat::MatrixMultiply(entry.second->GetPlaced(), view));
            if (frame == 0) b.mesh.push_back(std::atoi(entry.first.c_str() + 4));
        }
    }
    b.scene->ResetTimeCache();
    b.wrapperCost = glcalls::WrapperCpuCost();
    if (b.modelView.size() != std::size_t(kObjects) * kFrames) return "the scene did not place every object";
    return std::string();
}

void Frame(Bench& b, bool engine, int frame) {
    Figures& f = engine ? b.engine : b.plain;
    if (engine) {
        SDL_GL_MakeCurrent(b.engineWindow, b.engineContext);
    } else {
        SDL_GL_MakeCurrent(b.plainWindow, b.plainContext);
    }
    const std::uint64_t calls = glcalls::g_glCalls, draws = glcalls::g_glDraws;
    const double inside = glcalls::g_glInsideCpu;
    DrawnTriangleCount = DrawnItemCount = 0;
    glcalls::g_glTiming = glcalls::g_glCpuTiming = true;
    const double cpu = bench::ThreadCpuSeconds();
    const Clock::time_point start = Clock::now();
    engine ? EngineFrame(b, frame) : PlainFrame(b, frame);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.cpu.push_back(bench::ThreadCpuSeconds() - cpu);
    glcalls::g_glTiming = glcalls::g_glCpuTiming = false;
    f.frame.push_back(seconds);
    f.inside.push_back(glcalls::g_glInsideCpu - inside);
    f.calls.push_back(double(glcalls::g_glCalls - calls));
    f.draws += glcalls::g_glDraws - draws;
    if (engine) b.triangles = DrawnTriangleCount, b.drawnItems = DrawnItemCount;
}

// The renderer's frames drawn again with every GL call returning at once without reaching the driver:
// the drawing thread's processor time a frame is then the renderer's own (motion, culling, the states
// and draws it hands the device, the device's own bookkeeping), with no correction to take off. The
// renderer has no plain equivalent of that work, so each frame is paired with a fixed reference
// workload timed beside it on the same thread, the two taking turns to go first; the target judges the
// frames' floor over the reference's (see Alternate.h).
struct NullFigures {
    std::vector<double> frames, references, calls;
};

void NullRun(Bench& b, NullFigures& f) {
    SDL_GL_MakeCurrent(b.engineWindow, b.engineContext);
    bench::Reference reference;
    EngineFrame(b, 0);  // once untimed
    bench::Alternate(
        kNullTurns, [&] { return reference.Run(); },
        [&] {
            const int frame = static_cast<int>(f.frames.size()) % kFrames;
            const std::uint64_t before = glcalls::g_glCalls;
            glcalls::g_glNull = true;
            const double seconds = bench::CpuTime([&] { EngineFrame(b, frame); });
            glcalls::g_glNull = false;
            f.calls.push_back(double(glcalls::g_glCalls - before));
            return seconds;
        },
        f.references, f.frames);
}

// Each iteration draws the frame with the renderer and with the plain loop, taking turns to go first.
void BM_RendererAndPlainGL(benchmark::State& state) {
    Bench& b = *g_bench;
    int frame = 0;
    for (auto _ : state) {
        const bool engineFirst = frame % 2 == 0;
        Frame(b, engineFirst, frame);
        Frame(b, !engineFirst, frame);
        frame = (frame + 1) % kFrames;
    }
    SDL_GL_MakeCurrent(b.engineWindow, b.engineContext);
}
BENCHMARK(BM_RendererAndPlainGL)->Iterations(kFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    int status = 0;
    {
        Bench bench;
        g_bench = &bench;
        const std::string why = Setup();
        if (!why.empty()) {
            bench::Unmeasured(kRendererTarget, "the scene could not be set up: " + why);
            status = bench::kNotMeasured;
        } else {
            benchmark::RunSpecifiedBenchmarks();
            // The wrappers' cost, measured before the frames and after them, is not charged to either loop.
            bench.wrapperCost = (bench.wrapperCost + glcalls::WrapperCpuCost()) / 2;
            for (Figures* f : {&bench.engine, &bench.plain}) {
                for (std::size_t i = 0; i < f->frame.size(); ++i)
                    f->outside.push_back(f->cpu[i] - f->inside[i] - bench.wrapperCost * f->calls[i]);
            }
            const Figures& e = bench.engine;
            const Figures& p = bench.plain;
            // Outside GL: the drawing thread's processor time less that inside GL calls, less the
            // wrappers' own share. What the
            // plain loop spends outside GL is mostly the glue of its calls (4 to 5 times the renderer's),
            // so only its cost per call, times the renderer's calls, is a floor comparable with the
            // renderer: the renderer's own time is what it spends above that. Each frame's pair is taken
            // together.
            std::vector<double> ratio, mine, share, comparable;
            for (std::size_t i = 0; i < std::min(e.frame.size(), p.frame.size()); ++i) {
                const double perCall = p.calls[i] > 0 ? p.outside[i] / p.calls[i] : 0.0;
                comparable.push_back(perCall * e.calls[i]);
                mine.push_back(e.outside[i] - comparable.back());
                share.push_back(mine.back() / e.frame[i]);
                ratio.push_back(e.frame[i] / p.frame[i]);
            }
            const double ef = bench::SpreadOf(e.frame).median, pf = bench::SpreadOf(p.frame).median;
            std::printf(
                "\nscene: %d objects, %u triangles and %u items drawn a frame, %d frames each, in turns; "
                "median (min, max) over the frames\n",
                kObjects, bench.triangles, bench.drawnItems, kFrames);
            std::printf("frame, ms: renderer %s (%.1f frames/s), plain GL loop %s (%.1f frames/s)\n",
                        bench::Show(e.frame, 1e3).c_str(), 1 / ef, bench::Show(p.frame, 1e3).c_str(), 1 / pf);
            // Most of either frame is the rasteriser drawing the same triangles, so this ratio stays near 1
            // whatever the renderer costs: it is shown, and the renderer is judged by its own time below.
            std::printf("renderer / plain frame time: %s (not judged: the rasteriser's share decides it)\n",
                        bench::Show(ratio, 1, 3).c_str());
            std::printf(
                "processor time outside GL calls, ms: renderer %s, plain loop %s; a wrapped call's clock reads cost "
                "%.0f ns\n",
                bench::Show(e.outside, 1e3, 3).c_str(), bench::Show(p.outside, 1e3, 3).c_str(),
                bench.wrapperCost * 1e9);
            std::printf(
                "comparable floor (the plain loop's processor time outside GL per call x the renderer's calls), ms: "
                "%s\n",
                bench::Show(comparable, 1e3, 3).c_str());
            const bench::Spread own = bench::SpreadOf(mine), part = bench::SpreadOf(share);
            std::printf(
                "renderer's own CPU time outside GL, ms a frame: %s (not judged: taken less %.3f ms a frame for the "
                "wrapping of its calls; judged below with the calls stopped short of the driver)\n",
                bench::Show(own, 1e3, 3).c_str(), 1e3 * bench.wrapperCost * bench::SpreadOf(e.calls).median);
            std::printf("its share of the frame's wall time, %%: %s (not judged, as the frame ratio)\n",
                        bench::Show(part, 100, 2).c_str());
            std::printf(
                "GL calls a frame: renderer %.0f (%.0f draws, %.0f state changes), plain %.0f (%.0f draws, "
                "%.0f state changes)\n",
                Mean(e.calls), double(e.draws) / kFrames, Mean(e.calls) - double(e.draws) / kFrames, Mean(p.calls),
                double(p.draws) / kFrames, Mean(p.calls) - double(p.draws) / kFrames);
        }
        if (status == 0) {
            NullFigures n;
            NullRun(bench, n);
            std::printf(
                "\nthe renderer's frames again with the GL calls stopped short of the driver, %d frames: processor ms "
                "a frame %s (%s GL calls); reference workload beside each, ms %s\n",
                kNullTurns, bench::ShowFloor(n.frames, 1e3, 3).c_str(), bench::Show(n.calls, 1, 0).c_str(),
                bench::ShowFloor(n.references, 1e3, 3).c_str());
            const double ratio = bench::FloorRatio(n.frames, n.references);
            char bound[96];
            std::snprintf(bound, sizeof bound, ": %.3f floor over floor, target at most %.2f", ratio,
                          kRendererRatioBound);
            bench::Verdict(kRendererTarget + std::string(bound), ratio <= kRendererRatioBound);
        }
        if (bench.plainContext != nullptr) SDL_GL_DeleteContext(bench.plainContext);
        if (bench.plainWindow != nullptr) SDL_DestroyWindow(bench.plainWindow);
        if (bench.engineContext != nullptr) SDL_GL_MakeCurrent(bench.engineWindow, bench.engineContext);
        bench.scene.reset();
        bench.textures.Clear();
        DestroyApplicationDriver();
        std::filesystem::remove_all(bench.data);
        g_bench = nullptr;
    }
    benchmark::Shutdown();
    return bench::Status();
}
