// The LightWave test scene, written by hand: a lit ground unaffected by fog, a red box sliding along x
// with a blue moon riding on it as its child, a yellow tower beyond the fog, a camera "Main" dollying in
// while it zooms, a camera "Side" looking along +x, a sun straight overhead, linear grey fog from 10 to
// 60. Its objects are ".t3o" files from the project's writer.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/FrameCounters.h"
#include "render/LWRenderableScene.h"
#include "render/ScreenDrawing.h"
#include "tests/render/scene/TestScene.h"
#include "tools/T3OWriter.h"

namespace lwrtest {

using namespace trivale;
using namespace trivale::type_a;

const float kFogStart = 10, kFogEnd = 60, kFogGrey = 0.5f, kSun = 0.8f, kAmbient = 0.25f;
const std::uint32_t kBackdrop = 0xFF334C7F;  // 0.2 0.3 0.5
const plat::ColourValue kGroundDiffuse{0.4f, 0.6f, 0.2f, 1.0f};

// One key a second from t = 0, linear, held after the last.
inline std::string Envelope(const std::vector<double>& values) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "{ Envelope\n  " << values.size() << "\n";
    for (std::size_t i = 0; i < values.size(); ++i) out << "  Key " << values[i] << " " << i << " 3 0 0 0 0 0 0\n";
    return out.str() + "  Behaviors 1 1\n}\n";
}

// Position x, y, z and heading, pitch, bank (radians).
struct Motion {
    std::vector<double> x{0}, y{0}, z{0}, h{0}, p{0}, b{0};
};

inline std::string Header(int first, int last) {
    return "LWSC\n3\n\nFirstFrame " + std::to_string(first) + "\nLastFrame " + std::to_string(last) +
           "\nFramesPerSecond 30\n\n";
}

// An item's block: its opening line(s), its motion ("Object", "Light", "Camera") and what follows it.
inline std::string Item(const std::string& head, const std::string& kind, const Motion& m,
                        const std::string& extra = "") {
    std::string text = head + "\n" + kind + "Motion\nNumChannels 6\n";
    int c = 0;
    for (const auto* channel : {&m.x, &m.y, &m.z, &m.h, &m.p, &m.b})
        text += "Channel " + std::to_string(c++) + "\n" + Envelope(*channel);
    return text + extra + "\n";
}

// Faces wound clockwise seen from outside, as the default culling keeps them.
inline void AddQuad(T3OObject& o, plat::Vector3 centre, plat::Vector3 right, plat::Vector3 up, float repeat) {
    const auto base = static_cast<std::uint16_t>(o.vertices.size());
    const plat::Vector3 corners[4] = {centre - right + up, centre + right + up, centre + right - up,
                                      centre - right - up};
    const plat::Vector3 normal = plat::Vec3Normalize(plat::Vec3Cross(up, right));
    const float uv[4][2] = {{0, 0}, {repeat, 0}, {repeat, repeat}, {0, repeat}};
    for (int i = 0; i < 4; ++i) o.vertices.push_back({corners[i], normal, uv[i][0], uv[i][1]});
    for (int i : {0, 1, 2, 0, 2, 3}) o.polygonSets[0].indices.push_back(static_cast<std::uint16_t>(base + i));
}

// An axis-aligned box from lo to hi (or, with `ground`, a flat textured field), of one material.
inline T3OObject Box(plat::Vector3 lo, plat::Vector3 hi, const T3OMaterial& material, bool ground = false) {
    T3OObject o;
    o.materials = {material};
    o.polygonSets.resize(1);
    const plat::Vector3 c = (lo + hi) * 0.5f, X{(hi.x - lo.x) / 2, 0, 0}, Y{0, (hi.y - lo.y) / 2, 0},
                        Z{0, 0, (hi.z - lo.z) / 2};
    const plat::Vector3 faces[6][3] = {{Z * -1, X, Y}, {Z, X * -1, Y}, {X * -1, Z * -1, Y},
                                       {X, Z, Y},      {Y, X, Z},      {Y * -1, X, Z * -1}};
    if (ground) AddQuad(o, c, X, Z, 50);
    for (const auto& f : faces)
        if (!ground) AddQuad(o, c + f[0], f[1], f[2], 1);
    tools::FitBoundingSphere(o);
    return o;
}

inline T3OMaterial Glowing(const char* name, float r, float g, float b) {
    T3OMaterial m;
    m.name = name, m.colours.diffuse = {0, 0, 0, 1}, m.colours.emissive = {r, g, b, 1};
    return m;
}

inline void WriteObject(const std::filesystem::path& path, const T3OObject& object) {
    std::string error;
    if (!tools::WriteT3OFile(path.string(), object, error)) throw std::runtime_error(error);
}

// The scene "scenes\demo.lws" and its objects under `dir`; the ground shows the texture given.
inline void WriteLwTestScene(const std::filesystem::path& dir, const std::vector<unsigned char>& groundTexture) {
    const double quarter = 1.5707963267948966;
    Motion ground, box, moon, tower, main, side, sun;
    box.x = {0, 4, 60};  // out of every view of "Main" by t = 2
    box.y = {1};
    moon.y = {3};  // above its parent
    tower.z = {200};
    main.y = side.y = {2};
    main.z = {-20, -15, -10};
    side.x = {-30};
    side.h = sun.p = {quarter};  // the sun straight down
    const std::string text =
        Header(0, 90) + Item("LoadObjectLayer 1 objects/ground.lwo", "Object", ground, "UnaffectedByFog 1\n") +
        Item("LoadObjectLayer 1 objects/box.lwo", "Object", box) +
        Item("LoadObjectLayer 1 objects/moon.lwo", "Object", moon, "ParentItem 10000001\n") +
        Item("LoadObjectLayer 1 objects/tower.lwo", "Object", tower) + "AmbientColor 1 1 1\nAmbientIntensity 0.25\n\n" +
        Item("AddLight\nLightName Sun", "Light", sun, "LightColor 1 1 1\nLightIntensity 0.8\n") +
        Item("AddCamera\nCameraName Main", "Camera", main, "ZoomFactor (envelope)\n" + Envelope({2, 3, 4})) +
        Item("AddCamera\nCameraName Side", "Camera", side, "ZoomFactor 2\n") +
        "BackdropColor 0.2 0.3 0.5\nFogType 1\nFogMinDistance 10\nFogMaxDistance 60\nFogColor 0.5 0.5 0.5\n";
    const std::filesystem::path scenes = dir / "scenes";
    std::filesystem::create_directories(scenes);
    std::ofstream(scenes / "demo.lws", std::ios::binary) << text;
    std::ofstream(scenes / "ground.tga", std::ios::binary)
        .write(reinterpret_cast<const char*>(groundTexture.data()), static_cast<std::streamsize>(groundTexture.size()));
    T3OMaterial field;
    field.name = "field";
    field.textureName = "ground.tga";
    field.colours.diffuse = field.colours.ambient = kGroundDiffuse;
    field.colours.specular.a = 1;
    WriteObject(scenes / "ground_000.t3o", Box({-100, 0, -100}, {100, 0, 300}, field, true));
    WriteObject(scenes / "box_000.t3o", Box({-1, -1, -1}, {1, 1, 1}, Glowing("red", 1, 0, 0)));
    WriteObject(scenes / "moon_000.t3o", Box({-1, -1, -1}, {1, 1, 1}, Glowing("blue", 0, 0, 1)));
    WriteObject(scenes / "tower_000.t3o", Box({-5, 0, -5}, {5, 40, 5}, Glowing("yellow", 1, 1, 0)));
}

// One frame as the play scene draws one: cleared to the backdrop, the named camera, the sun, the scene.
inline CCamera* DrawLwFrame(CLWRenderableScene& scene, const std::string& camera, double t) {
    plat::IGraphicsDevice& device = CurrentDevice();
    device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, scene.GetBackdropColor(), 1.0f, 0);
    device.BeginScene();
    device.SetTransform(plat::TransformKind::World, plat::MatrixIdentity());
    CCamera* view = scene.UpdateWithCamera(camera, t, 1.0f, 1000.0f, 0.0f);
    if (view != nullptr) view->ApplyViewTransform();
    SetDefaultRenderStates();
    if (CDirectionalLight* light = scene.GetDirectionalLight(t)) light->Apply(0);
    scene.Render(t, view);
    device.EndScene();
    return view;
}

}  // namespace lwrtest
