// The LightWave test scene, written by hand: a lit ground unaffected by fog, a red box sliding along x,
// a blue moon riding on it as its child, a yellow tower far beyond the fog, a camera "Main" dollying in
// while it zooms, a camera "Side" looking along +x, a sun straight overhead, linear grey fog from 10 to
// 60. Its objects are written as ".t3o" files with the project's writer. Shared by the read-back
// tests, the windowed demo and nothing else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/FrameCounters.h"
#include "render/LWRenderableScene.h"
#include "render/RenderDevice.h"
#include "render/ScreenDrawing.h"
#include "tests/render/scene/TestScene.h"
#include "tools/T3OWriter.h"

namespace lwrtest {

using namespace trivale;
using namespace trivale::type_a;

// Scene numbers the tests check against.
const double kFps = 30.0;
const int kLastFrame = 90;  // three seconds
const float kFogStart = 10.0f, kFogEnd = 60.0f, kFogGrey = 0.5f;
const std::uint32_t kBackdrop = 0xFF334C7F;  // 0.2 0.3 0.5
const float kSun = 0.8f, kAmbient = 0.25f;
const plat::ColourValue kGroundDiffuse{0.4f, 0.6f, 0.2f, 1.0f};

// One key a second from t = 0, linear, held after the last.
inline std::string Envelope(const std::vector<double>& values) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "{ Envelope\n  " << values.size() << "\n";
    for (std::size_t i = 0; i < values.size(); ++i) out << "  Key " << values[i] << " " << i << " 3 0 0 0 0 0 0\n";
    out << "  Behaviors 1 1\n}\n";
    return out.str();
}

// Position x, y, z and heading, pitch, bank (radians), each keyed once a second.
struct Motion {
    std::vector<double> x{0}, y{0}, z{0}, h{0}, p{0}, b{0};
};

inline std::string Channels(const Motion& m) {
    std::string text = "NumChannels 6\n";
    const std::vector<double>* channels[] = {&m.x, &m.y, &m.z, &m.h, &m.p, &m.b};
    for (int c = 0; c < 6; ++c) text += "Channel " + std::to_string(c) + "\n" + Envelope(*channels[c]);
    return text;
}

// Faces wound clockwise seen from outside, as the default culling keeps them.
inline void AddQuad(T3OObject& o, plat::Vector3 centre, plat::Vector3 right, plat::Vector3 up, plat::Vector3 normal,
                    float repeat) {
    const auto base = static_cast<std::uint16_t>(o.vertices.size());
    const plat::Vector3 corners[4] = {centre - right + up, centre + right + up, centre + right - up,
                                      centre - right - up};
    const float uv[4][2] = {{0, 0}, {repeat, 0}, {repeat, repeat}, {0, repeat}};
    for (int i = 0; i < 4; ++i) o.vertices.push_back({corners[i], normal, uv[i][0], uv[i][1]});
    for (int i : {0, 1, 2, 0, 2, 3}) o.polygonSets[0].indices.push_back(static_cast<std::uint16_t>(base + i));
}

inline T3OObject Single(const T3OMaterial& material) {
    T3OObject o;
    o.materials = {material};
    o.polygonSets.resize(1);
    return o;
}

// An axis-aligned box from lo to hi.
inline T3OObject Box(plat::Vector3 lo, plat::Vector3 hi, const T3OMaterial& material) {
    T3OObject o = Single(material);
    const plat::Vector3 c{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
    const plat::Vector3 h{(hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2};
    const plat::Vector3 X{h.x, 0, 0}, Y{0, h.y, 0}, Z{0, 0, h.z};
    auto unit = [](plat::Vector3 v) { return plat::Vec3Normalize(v); };
    AddQuad(o, c - Z, X, Y, unit(Z * -1), 1);       // front, facing -z
    AddQuad(o, c + Z, X * -1, Y, unit(Z), 1);       // back
    AddQuad(o, c - X, Z * -1, Y, unit(X * -1), 1);  // left
    AddQuad(o, c + X, Z, Y, unit(X), 1);            // right
    AddQuad(o, c + Y, X, Z, unit(Y), 1);            // top
    AddQuad(o, c - Y, X, Z * -1, unit(Y * -1), 1);  // bottom
    tools::FitBoundingSphere(o);
    return o;
}

inline T3OMaterial Glowing(const char* name, float r, float g, float b) {
    T3OMaterial m;
    m.name = name;
    m.colours.diffuse = {0, 0, 0, 1};
    m.colours.emissive = {r, g, b, 1};
    return m;
}

inline void WriteObject(const std::filesystem::path& path, const T3OObject& object) {
    std::string error;
    if (!tools::WriteT3OFile(path.string(), object, error)) throw std::runtime_error(error);
}

inline std::string SceneText() {
    Motion ground, box, moon, tower, main, side, sun;
    box.x = {0, 4, 60};  // out of every view of "Main" by t = 2
    box.y = {1};
    moon.y = {3};  // above its parent
    tower.z = {200};
    main.y = {2};
    main.z = {-20, -15, -10};
    side.x = {-30};
    side.y = {2};
    side.h = {1.5707963267948966};
    sun.p = {1.5707963267948966};  // straight down
    std::string text = "LWSC\n3\n\nFirstFrame 0\nLastFrame " + std::to_string(kLastFrame) + "\nFramesPerSecond 30\n\n";
    text += "LoadObjectLayer 1 objects/ground.lwo\nObjectMotion\n" + Channels(ground) + "UnaffectedByFog 1\n\n";
    text += "LoadObjectLayer 1 objects/box.lwo\nObjectMotion\n" + Channels(box) + "\n";
    text += "LoadObjectLayer 1 objects/moon.lwo\nObjectMotion\n" + Channels(moon) + "ParentItem 10000001\n\n";
    text += "LoadObjectLayer 1 objects/tower.lwo\nObjectMotion\n" + Channels(tower) + "\n";
    text += "AmbientColor 1 1 1\nAmbientIntensity 0.25\n\n";
    text += "AddLight\nLightName Sun\nLightMotion\n" + Channels(sun) + "LightColor 1 1 1\nLightIntensity 0.8\n\n";
    text += "AddCamera\nCameraName Main\nCameraMotion\n" + Channels(main) + "ZoomFactor (envelope)\n" +
            Envelope({2.0, 3.0, 4.0}) + "\n";
    text += "AddCamera\nCameraName Side\nCameraMotion\n" + Channels(side) + "ZoomFactor 2\n\n";
    text += "BackdropColor 0.2 0.3 0.5\nFogType 1\nFogMinDistance 10\nFogMaxDistance 60\nFogColor 0.5 0.5 0.5\n";
    return text;
}

// The scene "scenes\demo.lws" and its objects under `dir`; the ground shows the texture given.
inline void WriteLwTestScene(const std::filesystem::path& dir, const std::vector<unsigned char>& groundTexture) {
    const std::filesystem::path scenes = dir / "scenes";
    std::filesystem::create_directories(scenes);
    std::ofstream(scenes / "demo.lws", std::ios::binary) << SceneText();
    std::ofstream(scenes / "ground.tga", std::ios::binary)
        .write(reinterpret_cast<const char*>(groundTexture.data()), static_cast<std::streamsize>(groundTexture.size()));

    T3OMaterial field;
    field.name = "field";
    field.textureName = "ground.tga";
    field.colours.diffuse = field.colours.ambient = kGroundDiffuse;
    field.colours.specular.a = 1;
    T3OObject ground = Single(field);
    AddQuad(ground, {0, 0, 100}, {100, 0, 0}, {0, 0, 200}, {0, 1, 0}, 50);
    tools::FitBoundingSphere(ground);
    WriteObject(scenes / "ground_000.t3o", ground);
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
