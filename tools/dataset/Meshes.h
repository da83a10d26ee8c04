// Building blocks of the show's meshes: an object under construction whose triangles are wound by the
// side they face, with smooth normals filled in where none were given, and the shapes the scenes are
// made of (height fields, rings, cones, boxes, crossed cards, domes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "render/T3OFile.h"

namespace trivale {
namespace dataset {

using Vec3 = plat::Vector3;

// A material of the show: lit by the scene light unless it glows (emissive, no diffuse).
struct Surface {
    Surface(std::string n, std::string t, type_a::RenderPass p = type_a::RenderPass::Opaque,
            plat::ColourValue c = {1, 1, 1, 1})
        : name(std::move(n)), texture(std::move(t)), pass(p), colour(c) {}

    std::string name;
    std::string texture;  // relative to the object's folder, "" for none
    type_a::RenderPass pass = type_a::RenderPass::Opaque;
    plat::ColourValue colour{1, 1, 1, 1};  // diffuse and ambient, or emissive when glowing
    bool glowing = false;
    std::uint32_t alphaRef = 0;  // alpha test GREATER this
    float specular = 0.0f;       // grey specular, with power 24 when above 0
    std::string reflection;      // sphere map, "" for none
    float reflectionAmount = 0.0f;
};
type_a::T3OMaterial MakeMaterial(const Surface& surface);

class MeshBuilder {
public:
    explicit MeshBuilder(type_a::T3OMaterialRevision revision = type_a::T3OMaterialRevision::Rev103);

    // A material with its own polygon set; returns the set's index.
    std::uint32_t AddSurface(const Surface& surface);
    // A zero normal is replaced at Finish by the mean of the faces around the vertex. Throws
    // std::length_error past the 16-bit index range.
    std::uint16_t AddVertex(Vec3 position, Vec3 normal, float u, float v);
    std::uint16_t AddVertex(Vec3 position, float u, float v) { return AddVertex(position, Vec3{}, u, v); }
    // Wound so that the culling keeps the triangle seen from the side `front` points to.
    void AddTriangle(std::uint32_t set, std::uint16_t a, std::uint16_t b, std::uint16_t c, Vec3 front);
    void AddQuad(std::uint32_t set, std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d, Vec3 front);

    // A (columns+1) x (rows+1) grid of vertices from at(i, j) (i along columns), two triangles a cell,
    // each facing the side front(i, j) of its cell's first corner gives.
    struct GridVertex {
        Vec3 position;
        float u, v;
    };
    void AddGrid(std::uint32_t set, int columns, int rows, const std::function<GridVertex(int, int)>& at,
                 const std::function<Vec3(const Vec3&)>& front);
    // Like AddGrid, but each cell goes to the set chosen from its centre (for materials by height).
    void AddGridBySet(int columns, int rows, const std::function<GridVertex(int, int)>& at,
                      const std::function<Vec3(const Vec3&)>& front,
                      const std::function<std::uint32_t(const Vec3&)>& set);

    // An open cone or cylinder side around the y axis from radius r0 at y0 to r1 at y1, facing out
    // (and, doubleSided, also in, with the outer normals so that both sides light alike).
    void AddFrustum(std::uint32_t set, Vec3 base, float r0, float y0, float r1, float y1, int sides, float uRepeat,
                    bool doubleSided = false);
    // An axis-aligned box; every face textured 0..repeat (u along the face's width).
    void AddBox(std::uint32_t set, Vec3 lo, Vec3 hi, float uRepeat = 1, float vRepeat = 1);
    // A vertical card of width w and height h centred at its foot, turned by heading, seen from both sides.
    void AddCard(std::uint32_t set, Vec3 foot, float w, float h, float heading);
    // A flat quad on y = foot.y, facing up.
    void AddFlat(std::uint32_t set, Vec3 centre, float halfX, float halfZ, float uvRepeat = 1);

    // Fills the missing normals and fits the bounding sphere.
    type_a::T3OObject Finish();

private:
    type_a::T3OObject object_;
    std::vector<bool> autoNormal_;
};

// A smooth step from 0 at e0 to 1 at e1.
double SmoothStep(double e0, double e1, double x);

}  // namespace dataset
}  // namespace trivale
