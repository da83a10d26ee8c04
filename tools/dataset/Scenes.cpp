// The show's four scenes: the scene texts written by hand in the content folder, and every object their
// items load, generated here. An object item "LoadObjectLayer <n> objects/<base>.lwo" of a scene in
// "scenes\<dir>" draws "scenes\<dir>\<base>_<n-1>.t3o". Item and camera positions in the texts follow
// the height fields of Ground.h: a change to one moves the ground under the trees, cabins and cameras.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "gfxkit/Math3D.h"
#include "tools/T3OWriter.h"
#include "tools/dataset/DataSet.h"
#include "tools/dataset/Ground.h"
#include "tools/dataset/Meshes.h"
#include "tools/dataset/Painting.h"

namespace trivale {
namespace dataset {

double ValleyHeight(double x, double z) {
    const double r = std::hypot(x, z * 1.3);
    const double waves =
        55 * std::sin(x * 0.0023 + 1.3) * std::cos(z * 0.0019 - 0.4) + 30 * std::sin(x * 0.0051 + z * 0.0037);
    return SmoothStep(700, 2800, r) * 420 + waves * SmoothStep(700, 1600, r);
}

double RidgeHeight(double x, double z) {
    const double g = std::exp(-(z / 1200.0) * (z / 1200.0));
    return 480 * g + 60 * std::sin(x * 0.0021) * g + 35 * std::sin(x * 0.0047 + z * 0.0061) * (1 - 0.7 * g) -
           120 * (1 - g);
}

double LakeHeight(double x, double z) {
    const double r = std::hypot(x, z);
    const double waves =
        45 * std::sin(x * 0.0027 + 0.5) * std::cos(z * 0.0023) + 25 * std::sin(x * 0.0061 - z * 0.0043);
    return -25 + SmoothStep(1000, 1400, r) * 70 + SmoothStep(1400, 3600, r) * 520 + waves * SmoothStep(1300, 2200, r);
}

namespace {

using type_a::RenderPass;
using type_a::T3OMaterialRevision;
using type_a::T3OObject;
using HeightField = double (*)(double x, double z);

const double kPi = 3.14159265358979;
const int kStarCount = 640;

Vec3 V(double x, double y, double z) { return Vec3{float(x), float(y), float(z)}; }

const Vec3 kUp{0, 1, 0};
auto FaceUp = [](const Vec3&) { return kUp; };

// 8000 units square, a texture repeat every 220 units.
T3OObject Terrain(HeightField height, const Surface& surface, T3OMaterialRevision revision) {
    MeshBuilder mesh(revision);
    const std::uint32_t set = mesh.AddSurface(surface);
    const int cells = 56;
    const double extent = 4000, step = 2 * extent / cells;
    mesh.AddGrid(
        set, cells, cells,
        [&](int i, int j) {
            const double x = -extent + i * step, z = -extent + j * step;
            return MeshBuilder::GridVertex{V(x, height(x, z), z), float(x / 220), float(z / 220)};
        },
        FaceUp);
    return mesh.Finish();
}

// A ring of peaks from radius 3000 outwards, its inner edge below every ground; with a snow surface, the
// faces above the snow line take it.
T3OObject Mountains(const Surface& rock, const Surface* snow, double phase, double peak, T3OMaterialRevision revision) {
    MeshBuilder mesh(revision);
    const std::uint32_t rockSet = mesh.AddSurface(rock);
    const std::uint32_t snowSet = snow ? mesh.AddSurface(*snow) : rockSet;
    const int columns = 96, rows = 12;
    const double inner = 3000, outer = 5600, snowLine = 250 + peak * 0.62;
    mesh.AddGridBySet(
        columns, rows,
        [&](int i, int j) {
            const double a = 2 * kPi * i / columns, r = inner + (outer - inner) * j / rows;
            const double t = std::min(1.0, (r - inner) / (outer - inner) * 1.6);
            const double crest =
                0.55 + 0.45 * (0.5 + 0.5 * std::sin(5 * a + phase)) * (0.6 + 0.4 * std::sin(13 * a + 2.1 * phase)) +
                0.08 * std::sin(29 * a + phase);
            const double rough = 40 * std::sin(47 * a + r * 0.011) * std::sin(t * kPi);
            const double y = -200 + (450 + peak * crest) * std::sin(t * kPi / 2) + rough;
            return MeshBuilder::GridVertex{V(r * std::sin(a), y, r * std::cos(a)), float(i * 0.9), float(j * 0.9)};
        },
        FaceUp, [&](const Vec3& centre) { return centre.y > snowLine ? snowSet : rockSet; });
    return mesh.Finish();
}

// A flat disc of rings around the origin, facing up.
void AddDisc(MeshBuilder& mesh, std::uint32_t set, double radius, int rings, int segments, double uvUnit) {
    mesh.AddGrid(
        set, segments, rings,
        [&](int i, int j) {
            const double a = 2 * kPi * i / segments, r = radius * std::pow(double(j) / rings, 0.8);
            const double x = r * std::sin(a), z = r * std::cos(a);
            return MeshBuilder::GridVertex{V(x, 0, z), float(x / uvUnit), float(z / uvUnit)};
        },
        FaceUp);
}

// ---- Sky ---------------------------------------------------------------------------------------------

// Seen from inside: the gradient's top row at the zenith, its bottom row at and below the horizon.
T3OObject SkyDome() {
    MeshBuilder mesh;
    Surface sky{"sky", "sky_gradient.jpg"};
    sky.glowing = true;
    const std::uint32_t set = mesh.AddSurface(sky);
    const int columns = 32, rows = 12;
    const double radius = 7500, lowest = -25 * kPi / 180;
    mesh.AddGrid(
        set, columns, rows,
        [&](int i, int j) {
            const double a = 2 * kPi * i / columns, e = kPi / 2 - (kPi / 2 - lowest) * j / rows;
            const double v = 0.01 + 0.97 * std::min(1.0, (kPi / 2 - e) / (kPi / 2));
            return MeshBuilder::GridVertex{
                V(radius * std::cos(e) * std::sin(a), radius * std::sin(e), radius * std::cos(e) * std::cos(a)),
                float(2.0 * i / columns), float(v)};
        },
        [](const Vec3& p) { return p * -1.0f; });
    return mesh.Finish();
}

// The night sky's moon: a square card about its centre, facing -z. The scene text sets it at
// (x 2500, z -6390), low over the lake's far shore: at y 1365 off to the left of the opening's title as
// the camera turns away from it. While the camera looks away it sinks to y 1055, so that as the camera
// swings round into the glide over the ice it comes into view below the overlay's subtitle, rising from
// behind the far ridge; it is back at y 1400 by 44.5 s, ahead of the glide. The scene text turns it
// with the lake's camera, so that the card stays parallel to the picture: only then is the disc round
// wherever it stands in the view (a card facing the eye off the view's axis widens along that axis).
T3OObject Moon() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    Surface moon{"moon", "moon.png", RenderPass::Additive};
    moon.glowing = true;
    const std::uint32_t set = mesh.AddSurface(moon);
    const float h = 450;
    const Vec3 front{0, 0, -1};
    mesh.AddQuad(set, mesh.AddVertex(V(-h, h, 0), front, 0, 0), mesh.AddVertex(V(h, h, 0), front, 1, 0),
                 mesh.AddVertex(V(h, -h, 0), front, 1, 1), mesh.AddVertex(V(-h, -h, 0), front, 0, 1), front);
    return mesh.Finish();
}

// Stars on a sphere inside the dome (radius 7500) and behind the moon (7000), each a small card facing
// the centre: as many to a patch of sky at every height down to the hills, a few brighter, none on the
// moon's face (it adds to what lies behind it).
T3OObject Stars() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    Surface star{"stars", "star.png", RenderPass::Additive, {0.85f, 0.9f, 1.0f, 1}};
    star.glowing = true;
    const std::uint32_t set = mesh.AddSurface(star);
    const Vec3 moon = Vec3Normalize(V(2500, 1400, -6390));
    const double radius = 7200;
    paint::Random random(501);
    for (int placed = 0; placed < kStarCount;) {
        const double a = random.Uniform(0, float(2 * kPi));
        const double up = random.Uniform(std::sin(float(3 * kPi / 180)), 1.0f);  // even over the sphere
        const double across = std::sqrt(1 - up * up);
        const Vec3 dir = V(across * std::sin(a), up, across * std::cos(a));
        if (Vec3Dot(dir, moon) > std::cos(6 * kPi / 180)) continue;
        const double bright = random.Uniform();
        const double h = 14 + 26 * bright * bright * bright;
        const Vec3 right = Vec3Normalize(Vec3Cross(V(0, 1, 0), dir)), top = Vec3Cross(dir, right);
        const Vec3 c = dir * float(radius), r = right * float(h), t = top * float(h), front = dir * -1.0f;
        mesh.AddQuad(set, mesh.AddVertex(c - r + t, front, 0, 0), mesh.AddVertex(c + r + t, front, 1, 0),
                     mesh.AddVertex(c + r - t, front, 1, 1), mesh.AddVertex(c - r - t, front, 0, 1), front);
        ++placed;
    }
    return mesh.Finish();
}

// ---- Things ------------------------------------------------------------------------------------------

Surface Bark() { return Surface{"bark", "bark.jpg", RenderPass::Opaque, {0.9f, 0.85f, 0.8f, 1}}; }

Surface Needles() {
    Surface s{"needles", "needles.dds", RenderPass::Opaque, {0.85f, 0.95f, 0.85f, 1}};
    s.alphaRef = 96;  // clusters with holes, cut out rather than blended
    return s;
}

void AddTrunk(MeshBuilder& mesh, std::uint32_t set) { mesh.AddFrustum(set, Vec3{}, 6, -15, 1.5f, 130, 7, 1); }

// Six drooping tiers of needles, both sides of each drawn, each closed below by a shallow skirt and
// filled by a second, narrower cone, so that a camera passing close sees a solid tree, not shells.
void AddNeedles(MeshBuilder& mesh, std::uint32_t set) {
    for (int tier = 0; tier < 6; ++tier) {
        const float k = static_cast<float>(tier);  // exact
        const float bottom = 28.0f + 22.0f * k, height = 50.0f - 3.0f * k, radius = 52.0f - 7.5f * k;
        const float middle = bottom + 0.42f * height;
        mesh.AddFrustum(set, Vec3{}, radius, bottom, 0.5f * radius, middle, 12, 3, true);
        mesh.AddFrustum(set, Vec3{}, 0.5f * radius, middle, 0.06f, bottom + height, 12, 2, true);
        mesh.AddFrustum(set, Vec3{}, radius, bottom, 0.12f * radius, bottom + 8.0f, 12, 3, true);
        mesh.AddFrustum(set, Vec3{}, 0.55f * radius, bottom + 4.0f, 0.04f, bottom + 0.9f * height, 12, 2, true);
    }
}

T3OObject PineTrunk() {
    MeshBuilder mesh(T3OMaterialRevision::Rev100);
    AddTrunk(mesh, mesh.AddSurface(Bark()));
    return mesh.Finish();
}

T3OObject PineNeedles() {
    MeshBuilder mesh(T3OMaterialRevision::Rev102);
    AddNeedles(mesh, mesh.AddSurface(Needles()));
    return mesh.Finish();
}

// The single-layer pine of the version-1 scene, which loads only first layers.
T3OObject WholePine() {
    MeshBuilder mesh(T3OMaterialRevision::Rev102);
    AddTrunk(mesh, mesh.AddSurface(Bark()));
    AddNeedles(mesh, mesh.AddSurface(Needles()));
    return mesh.Finish();
}

// 60 x 40 log cabin along x with a snowy gable roof and a stone chimney at (18, 0, 8), its top at 64.
T3OObject Cabin() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    const std::uint32_t walls = mesh.AddSurface(Surface{"walls", "cabin.bmp"});
    const std::uint32_t roof = mesh.AddSurface(Surface{"roof", "snow_ground.png"});
    const std::uint32_t eaves =
        mesh.AddSurface(Surface{"eaves", "cabin.bmp", RenderPass::Opaque, {0.6f, 0.55f, 0.5f, 1}});
    const std::uint32_t stone = mesh.AddSurface(Surface{"chimney", "rock.jpg"});
    const float hx = 30, hz = 20, low = -12, wall = 30, ridge = 48;
    const Vec3 corner[4] = {V(-hx, 0, -hz), V(hx, 0, -hz), V(hx, 0, hz), V(-hx, 0, hz)};
    for (int k = 0; k < 4; ++k) {
        const Vec3 a = corner[k], b = corner[(k + 1) % 4];
        const Vec3 out = Vec3Normalize(Vec3Cross(kUp, b - a));
        const float u = (k % 2 == 0) ? 2.0f : 1.0f;
        const std::uint16_t p = mesh.AddVertex(a + V(0, wall, 0), out, 0, 0);
        const std::uint16_t q = mesh.AddVertex(b + V(0, wall, 0), out, u, 0);
        const std::uint16_t r = mesh.AddVertex(b + V(0, low, 0), out, u, 1);
        const std::uint16_t s = mesh.AddVertex(a + V(0, low, 0), out, 0, 1);
        mesh.AddQuad(walls, p, q, r, s, out);
        if (k % 2 == 1) {  // the gable above a short wall
            const Vec3 top = (a + b) * 0.5f + V(0, ridge, 0);
            const std::uint16_t t = mesh.AddVertex(top, out, 0.5f, -0.4f);
            mesh.AddTriangle(walls, p, q, t, out);
        }
    }
    const float over = 5;
    for (float side : {-1.0f, 1.0f}) {
        const Vec3 eave = V(0, wall - over * (ridge - wall) / hz, side * (hz + over));
        const Vec3 top = V(0, ridge, 0);
        const Vec3 n = Vec3Normalize(V(0, hz, side * (ridge - wall)));
        const Vec3 x = V(hx + over, 0, 0);
        const std::uint16_t a = mesh.AddVertex(top - x, n, 0, 0), b = mesh.AddVertex(top + x, n, 2, 0);
        const std::uint16_t c = mesh.AddVertex(eave + x, n, 2, 1), d = mesh.AddVertex(eave - x, n, 0, 1);
        mesh.AddQuad(roof, a, b, c, d, n);
        const Vec3 under = n * -1.0f;
        const std::uint16_t e = mesh.AddVertex(top - x, under, 0, 0), f = mesh.AddVertex(top + x, under, 2, 0);
        const std::uint16_t g = mesh.AddVertex(eave + x, under, 2, 1), h = mesh.AddVertex(eave - x, under, 0, 1);
        mesh.AddQuad(eaves, e, f, g, h, under);
    }
    mesh.AddBox(stone, V(15, 20, 5), V(21, 64, 11), 1, 3);
    return mesh.Finish();
}

// A column of soft puffs widening as they rise, added to what lies behind.
T3OObject Smoke() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    Surface puff{"smoke", "smoke.dds", RenderPass::Additive, {0.5f, 0.5f, 0.53f, 1}};
    puff.glowing = true;
    const std::uint32_t set = mesh.AddSurface(puff);
    for (int step = 0; step < 7; ++step) {
        const float k = static_cast<float>(step);  // exact
        const float size = 12.0f + 7.0f * k, y = 2.0f + 14.0f * k + 1.6f * k * k;
        const Vec3 foot = V(3.0 * k * std::sin(k * 1.7), y - size / 2, 3.0 * k * std::cos(k * 2.3));
        for (int c = 0; c < 3; ++c) mesh.AddCard(set, foot, size, size, float(c * kPi / 3 + k));
    }
    return mesh.Finish();
}

// A grey blob laid on the snow, multiplying what lies under it.
T3OObject Shadow() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    Surface blob{"shadow", "shadow.png", RenderPass::Multiplicative};
    blob.glowing = true;
    mesh.AddFlat(mesh.AddSurface(blob), Vec3{}, 48, 36);
    return mesh.Finish();
}

// Board panels between posts along x, centred on the origin.
T3OObject Fence(int panels) {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    const std::uint32_t boards = mesh.AddSurface(Surface{"boards", "fence.png", RenderPass::AlphaBlended});
    const std::uint32_t posts = mesh.AddSurface(Surface{"posts", "bark.jpg"});
    const float width = 100, start = -width * static_cast<float>(panels) / 2;  // a handful of panels, exact
    for (int k = 0; k < panels; ++k)
        mesh.AddCard(boards, V(start + width * (static_cast<float>(k) + 0.5f), 0, 0), width, 24, 0);
    for (int k = 0; k <= panels; ++k) {
        const float x = start + width * static_cast<float>(k);
        mesh.AddBox(posts, V(x - 2, -20, -2), V(x + 2, 28, 2), 0.25f, 2);
    }
    return mesh.Finish();
}

// A lamp post with its lantern (first layer) and the lantern's glow (second layer).
T3OObject LampPost() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    Surface iron{"iron", "", RenderPass::Opaque, {0.16f, 0.15f, 0.14f, 1}};
    iron.specular = 0.3f;
    Surface lantern{"lantern", "", RenderPass::Opaque, {1.0f, 0.82f, 0.5f, 1}};
    lantern.glowing = true;
    const std::uint32_t post = mesh.AddSurface(iron), light = mesh.AddSurface(lantern);
    mesh.AddBox(post, V(-1.5, -12, -1.5), V(1.5, 44, 1.5));
    mesh.AddBox(light, V(-4, 44, -4), V(4, 53, 4));
    mesh.AddBox(post, V(-5.5, 53, -5.5), V(5.5, 55, 5.5));
    return mesh.Finish();
}

T3OObject LampGlow() {
    MeshBuilder mesh(T3OMaterialRevision::Rev101);
    Surface glow{"glow", "lamp.png", RenderPass::Additive, {1.0f, 0.78f, 0.5f, 1}};
    glow.glowing = true;
    const std::uint32_t set = mesh.AddSurface(glow);
    for (int c = 0; c < 3; ++c) mesh.AddCard(set, V(0, 27, 0), 46, 46, float(c * kPi / 3));
    return mesh.Finish();
}

// A frozen pond without a picture of its own: the sky's reflection over a pale blue.
T3OObject Pond() {
    MeshBuilder mesh;
    Surface ice{"pond", "", RenderPass::Opaque, {0.55f, 0.66f, 0.78f, 1}};
    ice.specular = 0.6f;
    ice.reflection = "env_sphere.png";
    ice.reflectionAmount = 0.55f;
    AddDisc(mesh, mesh.AddSurface(ice), 140, 5, 36, 100);
    return mesh.Finish();
}

// The frozen lake: cracked ice with the sky reflected in it, reaching under the shore.
T3OObject LakeIce() {
    MeshBuilder mesh;
    Surface ice{"ice", "ice.dds", RenderPass::Opaque, {0.9f, 0.95f, 1.0f, 1}};
    ice.specular = 0.25f;
    ice.reflection = "env_sphere.png";
    ice.reflectionAmount = 0.45f;
    AddDisc(mesh, mesh.AddSurface(ice), 1250, 14, 64, 300);
    return mesh.Finish();
}

// ---- The data set ------------------------------------------------------------------------------------

void AddObject(DataSet& set, const std::string& name, const T3OObject& object) {
    std::string bytes, error;
    if (!tools::WriteT3O(object, bytes, error)) throw std::runtime_error(name + ": " + error);
    set.Add(name, Bytes(bytes.begin(), bytes.end()));
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of the content folder under its resource name.
void AddContent(DataSet& set, const std::string& contentDir, const std::string& name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    set.AddText(name, ReadText(contentDir + "/" + path));
}

}  // namespace

void AddScenes(DataSet& set, const std::string& contentDir) {
    AddContent(set, contentDir, "scenes\\skyhigh\\sky.lws");
    AddObject(set, "scenes\\skyhigh\\skydome_000.t3o", SkyDome());
    AddContent(set, contentDir, "scenes\\skydusk\\sky.lws");
    AddObject(set, "scenes\\skydusk\\skydome_000.t3o", SkyDome());
    AddContent(set, contentDir, "scenes\\skynight\\sky.lws");
    AddObject(set, "scenes\\skynight\\skydome_000.t3o", SkyDome());
    AddObject(set, "scenes\\skynight\\moon_000.t3o", Moon());
    AddObject(set, "scenes\\skynight\\stars_000.t3o", Stars());

    const Surface snow{"snow", "snow_ground.png"};
    const Surface rock{"rock", "rock.jpg"};
    const Surface peaks{"peaks", "snow_ground.png", RenderPass::Opaque, {0.95f, 0.97f, 1.0f, 1}};
    AddContent(set, contentDir, "scenes\\valley\\valley.lws");
    AddObject(set, "scenes\\valley\\terrain_000.t3o", Terrain(ValleyHeight, snow, T3OMaterialRevision::Rev101));
    AddObject(set, "scenes\\valley\\mountains_000.t3o",
              Mountains(rock, &peaks, 0.7, 1650, T3OMaterialRevision::Rev102));
    AddObject(set, "scenes\\valley\\pond_000.t3o", Pond());
    AddObject(set, "scenes\\valley\\pine_000.t3o", PineTrunk());
    AddObject(set, "scenes\\valley\\pine_001.t3o", PineNeedles());
    AddObject(set, "scenes\\valley\\cabin_000.t3o", Cabin());
    AddObject(set, "scenes\\valley\\smoke_000.t3o", Smoke());
    AddObject(set, "scenes\\valley\\shadow_000.t3o", Shadow());
    AddObject(set, "scenes\\valley\\fence_000.t3o", Fence(3));

    AddContent(set, contentDir, "scenes\\ridge\\ridge.lws");
    AddObject(set, "scenes\\ridge\\terrain_000.t3o", Terrain(RidgeHeight, snow, T3OMaterialRevision::Rev101));
    AddObject(set, "scenes\\ridge\\mountains_000.t3o", Mountains(rock, &peaks, 2.3, 1450, T3OMaterialRevision::Rev102));
    AddObject(set, "scenes\\ridge\\pine_000.t3o", PineTrunk());
    AddObject(set, "scenes\\ridge\\pine_001.t3o", PineNeedles());
    AddObject(set, "scenes\\ridge\\cabin_000.t3o", Cabin());
    AddObject(set, "scenes\\ridge\\fence_000.t3o", Fence(2));
    AddObject(set, "scenes\\ridge\\lamp_000.t3o", LampPost());
    AddObject(set, "scenes\\ridge\\lamp_001.t3o", LampGlow());

    const Surface shore{"shore", "shore.jpg"};
    AddContent(set, contentDir, "scenes\\lake\\lake.lws");
    AddObject(set, "scenes\\lake\\shore_000.t3o", Terrain(LakeHeight, shore, T3OMaterialRevision::Rev101));
    AddObject(set, "scenes\\lake\\hills_000.t3o", Mountains(shore, nullptr, 4.1, 1200, T3OMaterialRevision::Rev100));
    AddObject(set, "scenes\\lake\\ice_000.t3o", LakeIce());
    AddObject(set, "scenes\\lake\\pine_000.t3o", WholePine());
}

}  // namespace dataset
}  // namespace trivale
