#include "tools/dataset/Meshes.h"

#include <cmath>
#include <stdexcept>

#include "gfxkit/Math3D.h"
#include "tools/T3OWriter.h"

namespace trivale {
namespace dataset {

using type_a::T3OMaterial;
using type_a::T3OObject;

namespace {

const float kPi = 3.14159265358979f;

Vec3 V(float x, float y, float z) { return Vec3{x, y, z}; }

}  // namespace

double SmoothStep(double e0, double e1, double x) {
    double t = (x - e0) / (e1 - e0);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}

T3OMaterial MakeMaterial(const Surface& s) {
    T3OMaterial m;
    m.name = s.name;
    m.textureName = s.texture;
    m.pass = s.pass;
    m.alphaRef = s.alphaRef;
    m.reflectionTextureName = s.reflection;
    m.reflectionAmount = s.reflectionAmount;
    const plat::ColourValue black{0, 0, 0, s.colour.a};
    m.colours.diffuse = s.glowing ? black : s.colour;
    m.colours.ambient = s.glowing ? black : s.colour;
    m.colours.emissive = s.glowing ? s.colour : plat::ColourValue{0, 0, 0, 1};
    m.colours.specular = {s.specular, s.specular, s.specular, 1};
    m.colours.power = s.specular > 0 ? 24.0f : 0.0f;
    return m;
}

MeshBuilder::MeshBuilder(type_a::T3OMaterialRevision revision) { object_.materialRevision = revision; }

std::uint32_t MeshBuilder::AddSurface(const Surface& surface) {
    object_.materials.push_back(MakeMaterial(surface));
    type_a::T3OPolygonSet set;
    set.materialIndex = static_cast<std::uint32_t>(object_.materials.size() - 1);
    object_.polygonSets.push_back(set);
    return static_cast<std::uint32_t>(object_.polygonSets.size() - 1);
}

std::uint16_t MeshBuilder::AddVertex(Vec3 position, Vec3 normal, float u, float v) {
    if (object_.vertices.size() >= type_a::kMaxT3OVertices) throw std::length_error("mesh has too many vertices");
    object_.vertices.push_back({position, normal, u, v});
    autoNormal_.push_back(Vec3Length(normal) == 0.0f);
    return static_cast<std::uint16_t>(object_.vertices.size() - 1);
}

void MeshBuilder::AddTriangle(std::uint32_t set, std::uint16_t a, std::uint16_t b, std::uint16_t c, Vec3 front) {
    const Vec3& pa = object_.vertices[a].position;
    const Vec3 n = Vec3Cross(object_.vertices[b].position - pa, object_.vertices[c].position - pa);
    if (Vec3Dot(n, front) < 0) std::swap(b, c);
    auto& indices = object_.polygonSets[set].indices;
    indices.insert(indices.end(), {a, b, c});
}

void MeshBuilder::AddQuad(std::uint32_t set, std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d,
                          Vec3 front) {
    AddTriangle(set, a, b, c, front);
    AddTriangle(set, a, c, d, front);
}

void MeshBuilder::AddGridBySet(int columns, int rows, const std::function<GridVertex(int, int)>& at,
                               const std::function<Vec3(const Vec3&)>& front,
                               const std::function<std::uint32_t(const Vec3&)>& set) {
    std::vector<std::uint16_t> index;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i) {
            const GridVertex g = at(i, j);
            index.push_back(AddVertex(g.position, g.u, g.v));
        }
    auto id = [&](int i, int j) { return index[static_cast<std::size_t>(j * (columns + 1) + i)]; };
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const Vec3& p0 = object_.vertices[id(i, j)].position;
            const Vec3& p1 = object_.vertices[id(i + 1, j + 1)].position;
            const Vec3 centre = (p0 + p1) * 0.5f;
            // Alternate the diagonal so that slopes do not all crease the same way.
            const bool flip = ((i + j) & 1) != 0;
            const std::uint16_t a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
            const std::uint32_t s = set(centre);
            const Vec3 f = front(centre);
            if (flip) {
                AddTriangle(s, a, b, d, f);
                AddTriangle(s, b, c, d, f);
            } else {
                AddTriangle(s, a, b, c, f);
                AddTriangle(s, a, c, d, f);
            }
        }
}

void MeshBuilder::AddGrid(std::uint32_t set, int columns, int rows, const std::function<GridVertex(int, int)>& at,
                          const std::function<Vec3(const Vec3&)>& front) {
    AddGridBySet(columns, rows, at, front, [set](const Vec3&) { return set; });
}

void MeshBuilder::AddFrustum(std::uint32_t set, Vec3 base, float r0, float y0, float r1, float y1, int sides,
                             float uRepeat, bool doubleSided) {
    const float slope = (r0 - r1) / (y1 - y0);  // outward normal tilts up for a cone narrowing upwards
    for (int side = 0; side < (doubleSided ? 2 : 1); ++side) {
        std::vector<std::uint16_t> lo, hi;
        for (int k = 0; k <= sides; ++k) {
            const float a = 2 * kPi * static_cast<float>(k) / static_cast<float>(sides);
            const float c = std::cos(a), s = std::sin(a);
            const Vec3 n = Vec3Normalize(V(c, slope, s));
            const float u = uRepeat * static_cast<float>(k) / static_cast<float>(sides);
            lo.push_back(AddVertex(base + V(r0 * c, y0, r0 * s), n, u, 1));
            hi.push_back(AddVertex(base + V(r1 * c, y1, r1 * s), n, u, 0));
        }
        for (int k = 0; k < sides; ++k) {
            const float a = 2 * kPi * (static_cast<float>(k) + 0.5f) / static_cast<float>(sides);
            Vec3 out = V(std::cos(a), slope, std::sin(a));
            if (side == 1) out = out * -1.0f;
            AddQuad(set, lo[k], lo[k + 1], hi[k + 1], hi[k], out);
        }
    }
}

void MeshBuilder::AddBox(std::uint32_t set, Vec3 lo, Vec3 hi, float uRepeat, float vRepeat) {
    const Vec3 c = (lo + hi) * 0.5f, h = (hi - lo) * 0.5f;
    const Vec3 axes[3] = {V(h.x, 0, 0), V(0, h.y, 0), V(0, 0, h.z)};
    for (int axis = 0; axis < 3; ++axis)
        for (float sign : {-1.0f, 1.0f}) {
            const Vec3 n = axes[axis] * sign;
            // Side walls run horizontally across and vertically up their picture.
            const Vec3 across = axes[axis == 0 ? 2 : 0];
            const Vec3 up = axes[axis == 1 ? 2 : 1];
            const Vec3 unit = Vec3Normalize(n);
            const Vec3 corner[4] = {c + n - across + up, c + n + across + up, c + n + across - up, c + n - across - up};
            const float uv[4][2] = {{0, 0}, {uRepeat, 0}, {uRepeat, vRepeat}, {0, vRepeat}};
            std::uint16_t id[4];
            for (int k = 0; k < 4; ++k) id[k] = AddVertex(corner[k], unit, uv[k][0], uv[k][1]);
            AddQuad(set, id[0], id[1], id[2], id[3], unit);
        }
}

void MeshBuilder::AddCard(std::uint32_t set, Vec3 foot, float w, float h, float heading) {
    const Vec3 along = V(std::cos(heading) * w * 0.5f, 0, -std::sin(heading) * w * 0.5f);
    const Vec3 n = Vec3Normalize(Vec3Cross(along, V(0, 1, 0)));
    for (float side : {1.0f, -1.0f}) {
        const Vec3 f = n * side;
        const std::uint16_t a = AddVertex(foot - along + V(0, h, 0), f, 0, 0);
        const std::uint16_t b = AddVertex(foot + along + V(0, h, 0), f, 1, 0);
        const std::uint16_t c = AddVertex(foot + along, f, 1, 1);
        const std::uint16_t d = AddVertex(foot - along, f, 0, 1);
        AddQuad(set, a, b, c, d, f);
    }
}

void MeshBuilder::AddFlat(std::uint32_t set, Vec3 centre, float halfX, float halfZ, float uvRepeat) {
    const Vec3 up = V(0, 1, 0);
    const std::uint16_t a = AddVertex(centre + V(-halfX, 0, halfZ), up, 0, 0);
    const std::uint16_t b = AddVertex(centre + V(halfX, 0, halfZ), up, uvRepeat, 0);
    const std::uint16_t c = AddVertex(centre + V(halfX, 0, -halfZ), up, uvRepeat, uvRepeat);
    const std::uint16_t d = AddVertex(centre + V(-halfX, 0, -halfZ), up, 0, uvRepeat);
    AddQuad(set, a, b, c, d, up);
}

T3OObject MeshBuilder::Finish() {
    std::vector<Vec3> sum(object_.vertices.size());
    for (const auto& set : object_.polygonSets)
        for (std::size_t k = 0; k + 2 < set.indices.size(); k += 3) {
            const std::uint16_t a = set.indices[k], b = set.indices[k + 1], c = set.indices[k + 2];
            const Vec3& pa = object_.vertices[a].position;
            // Area-weighted: the cross product's length is twice the triangle's area.
            const Vec3 n = Vec3Cross(object_.vertices[b].position - pa, object_.vertices[c].position - pa);
            for (std::uint16_t id : {a, b, c}) sum[id] = sum[id] + n;
        }
    for (std::size_t i = 0; i < object_.vertices.size(); ++i)
        if (autoNormal_[i]) object_.vertices[i].normal = Vec3Length(sum[i]) > 0 ? Vec3Normalize(sum[i]) : V(0, 1, 0);
    tools::FitBoundingSphere(object_);
    return object_;
}

}  // namespace dataset
}  // namespace trivale
