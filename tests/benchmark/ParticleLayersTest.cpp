// The cloud and snow layers: the fixed random field, the grids around the eye, the field staying put
// in the world as the eye moves on either side of the origin, and the snow falling with time.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "benchmark/ParticleLayers.h"
#include "core/Saturate.h"
#include "tests/benchmark/ShowTestSupport.h"

namespace showtest {
namespace {

using plat::Matrix;
using plat::MatrixMultiply;
using plat::MatrixTranslation;
using plat::Vector3;

class ParticleLayersTest : public ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        cache_.SetProgressive(false);
        cloud_ = std::make_unique<CCloudParticleLayer>(&cache_, sprite_.get(), random_);
        snow_ = std::make_unique<CSnowParticleLayer>(&cache_, sprite_.get(), random_);
    }
    void TearDown() override {
        cloud_.reset(), snow_.reset();
        ShowTest::TearDown();
    }
    CParticleRandom random_;
    std::unique_ptr<CCloudParticleLayer> cloud_;
    std::unique_ptr<CSnowParticleLayer> snow_;
};

Vector3 At(const PlacedParticle& p) { return {p.transform.m[3][0], p.transform.m[3][1], p.transform.m[3][2]}; }

// The placement and vertices of every particle worked out the long way, with whole matrix products:
// the placement as scaling, grid, offset and origin translations; the quad centred by a product, its
// middle carried through world and view, and the quads stably sorted front to back.
Matrix Placement(float scale, Vector3 grid, Vector3 offset, Vector3 origin) {
    const Matrix m =
        MatrixMultiply(plat::MatrixScaling(scale, -scale, scale), MatrixTranslation(grid.x, grid.y, grid.z));
    return MatrixMultiply(MatrixMultiply(m, MatrixTranslation(offset.x, offset.y, offset.z)),
                          MatrixTranslation(origin.x, origin.y, origin.z));
}
Vector3 Affine(Vector3 p, const Matrix& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}
std::vector<float> Vertices(const std::vector<PlacedParticle>& placed, const Matrix& worldView) {
    std::vector<std::pair<float, std::array<float, 24>>> quads;
    for (const PlacedParticle& p : placed) {
        const Matrix m = MatrixMultiply(MatrixTranslation(-64.0f, -64.0f, -0.0f), p.transform);
        const Vector3 anchor = Affine(Affine({64, 64, 0}, m), worldView);
        std::array<float, 24> quad;
        for (int k = 0; k < 4; ++k) {
            const float dx = (k & 1) ? 64.0f : -64.0f, dy = (k & 2) ? 64.0f : -64.0f;
            const uint32_t white = 0xFFFFFFFF;
            float* v = &quad[k * 6];
            v[0] = anchor.x + dx * m.m[0][0] + dy * m.m[1][0];
            v[1] = anchor.y + dx * m.m[0][1] + dy * m.m[1][1];
            v[2] = anchor.z;
            std::memcpy(&v[3], &white, 4);
            v[4] = ((p.picture % 2) * 128 + ((k & 1) ? 128 : 0)) / 256.0f;
            v[5] = ((p.picture / 2) * 128 + ((k & 2) ? 128 : 0)) / 256.0f;
        }
        quads.push_back({anchor.z, quad});
    }
    std::stable_sort(quads.begin(), quads.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<float> out;
    for (const auto& q : quads) out.insert(out.end(), q.second.begin(), q.second.end());
    return out;
}

// The classic generator from 1, four numbers a cell, clouds first: picture 4 (for 32767 only) never.
TEST_F(ParticleLayersTest, FieldComesFromTheUnseededGeneratorCloudsFirst) {
    EXPECT_EQ(cloud_->GetOffset(0).x * 32767, 6334.0f);
    const std::pair<CParticleLayer*, std::array<int, 5>> layers[] = {{cloud_.get(), {998, 1025, 1021, 1052, 0}},
                                                                     {snow_.get(), {985, 1022, 1011, 1078, 0}}};
    for (const auto& [layer, expected] : layers) {
        std::array<int, 5> counts{};
        for (int cell = 0; cell < 4096; ++cell) ++counts.at(layer->GetPicture(cell));
        EXPECT_EQ(counts, expected);
    }
}

// The window of 64 x 64 clouds starts at the eye's cell truncated toward zero, 32 cells back; each
// cloud is raised and shifted by its offsets. Crossing a cell edge moves the window by one and every
// cloud still in view keeps its place and cell, far out on the negative side too.
TEST_F(ParticleLayersTest, CloudsSurroundTheEyeAndStayPut) {
    const struct {
        float x, z, toX, toZ;
        int cx, cz;
    } cases[] = {{299, 0, 450, 0, 0, 0},
                 {301, 0, 750, 0, 1, 0},
                 {-299, 0, -400, 0, 0, 0},
                 {-301, -601, -301, -901, -1, -2},
                 {-3e6f, 5e6f, -3e6f - 300, 5e6f, -10000, 16666}};
    const auto point = [](const PlacedParticle& p) {  // the world grid point
        return std::make_pair(std::lround(At(p).x / 300 - 0.25f), std::lround(At(p).z / 300 - 0.25f));
    };
    for (const auto& c : cases) {
        const std::vector<PlacedParticle> from = cloud_->Place({c.x, 50, c.z}, 2000.0f);
        const Vector3& v = cloud_->GetOffset(from[0].cell);
        EXPECT_EQ(from[0].cell, GridIndex(std::int64_t{c.cz} - 32, 64) * 64 + GridIndex(std::int64_t{c.cx} - 32, 64));
        EXPECT_NEAR(At(from[0]).x, (c.cx - 32) * 300.0f + v.x * 150, 1) << c.x;
        EXPECT_NEAR(At(from[0]).y, 2000 + v.y * 600, 0.01) << c.x;
        EXPECT_NEAR(At(from[0]).z, (c.cz - 32) * 300.0f + v.z * 150, 1) << c.x;
        std::set<std::pair<std::pair<long, long>, int>> before;  // grid point and cell
        for (const PlacedParticle& p : from) before.insert({point(p), p.cell});
        std::set<int> cells;
        int kept = 0;
        for (const PlacedParticle& p : cloud_->Place({c.toX, 50, c.toZ}, 2000.0f))
            cells.insert(p.cell), kept += before.count({point(p), p.cell});
        EXPECT_EQ(cells.size(), 4096u) << c.x;
        EXPECT_EQ(kept, 64 * 63) << c.x;
    }
}

// The grid's base row sinks one cell of 70 x scale per unit of time and jumps back at each whole
// unit (truncated toward zero). Between close times each flake moves a little, and at a whole unit
// the flakes show the next row up, so the field falls on; one layer of 256 enters at the top. Far on
// the negative side, where the old grid index went negative, every cell is still drawn once.
TEST_F(ParticleLayersTest, SnowFallsContinuously) {
    const struct {
        Vector3 eye;
        double from, to;
        float scale, baseY;  // at `from`, of the flake at loop position (0, 0, 0)
    } cases[] = {{{10, 140, 10}, 0.5, 0.51, 1, 105},   {{10, 140, 10}, 0.99, 1.0, 1, 70.7f},
                 {{10, 140, 10}, 0.0, 0.01, 2, 140},   {{10, -100, 10}, 0.25, 0.26, 1, -87.5f},
                 {{10, 140, 10}, -0.5, -0.49, 1, 175}, {{-200000, -500, -300000}, 1.995, 2.005, 1, -559.65f}};
    for (const auto& c : cases) {
        const std::vector<PlacedParticle> placed = snow_->Place(c.eye, c.from, c.scale);
        EXPECT_NEAR(At(placed.at((8 * 16 + 8) * 16 + 8)).y, c.baseY, 0.01) << c.from;
        std::map<int, Vector3> before;
        for (const PlacedParticle& p : placed) before[p.cell] = At(p);
        int fell = 0;
        for (const PlacedParticle& p : snow_->Place(c.eye, c.to, c.scale)) {
            const Vector3 d = At(p) - before.at(p.cell);
            fell += Vec3Length(d) < 2 * c.scale && d.y < 0;
        }
        EXPECT_EQ(before.size(), 4096u) << c.from;
        EXPECT_EQ(fell, std::floor(c.from) == std::floor(c.to) ? 4096 : 4096 - 256) << c.from;
    }
}

// Placements and the vertices drawn are exactly those of the whole matrix products, bit for bit.
TEST_F(ParticleLayersTest, DrawsExactlyWhatTheMatrixProductsGive) {
    const Matrix world = plat::MatrixRotationYawPitchRoll(0.3f, -0.2f, 0.1f);
    const Matrix view = MatrixMultiply(MatrixTranslation(-40, -900, 25), plat::MatrixRotationY(1.1f));
    Device()->SetTransform(plat::TransformKind::World, world);
    Device()->SetTransform(plat::TransformKind::View, view);
    const struct {
        Vector3 eye;
        double time;
        float scale;  // of the snow; 0 makes every flake one point
    } cases[] = {
        {{120, 30, -45}, 0.37, 1.5f}, {{-5e4f, 700, 3e5f}, -12.8, 1.5f}, {{0, 0, 0}, 3, 2}, {{10, 20, 30}, 1, 0}};
    for (const auto& c : cases) {
        const std::vector<PlacedParticle> clouds = cloud_->Place(c.eye, 1500.0f);
        const std::vector<PlacedParticle> flakes = snow_->Place(c.eye, c.time, c.scale);
        const int cx = trivale::SaturateToInt(c.eye.x * (1 / 300.0f)),
                  cz = trivale::SaturateToInt(c.eye.z * (1 / 300.0f));
        for (int n = 0; n < 4096; ++n) {
            const Vector3& v = cloud_->GetOffset(clouds[n].cell);
            const Matrix m = Placement(5, {(n % 64 - 32) * 300.0f, 1500, (n / 64 - 32) * 300.0f},
                                       {v.x * 150, v.y * 600, v.z * 150}, {cx * 300.0f, 0, cz * 300.0f});
            ASSERT_EQ(std::memcmp(&m, &clouds[n].transform, sizeof m), 0) << "cloud " << n;
        }
        const float s = c.scale * 70;
        const int fx = trivale::SaturateToInt(c.eye.x * (1 / s)), fy = trivale::SaturateToInt(c.eye.y * (1 / s));
        const int fz = trivale::SaturateToInt(c.eye.z * (1 / s));
        const double whole = std::trunc(c.time);
        const Vector3 origin{fx * s, static_cast<float>(fy * s - (c.time - whole) * s), fz * s};
        for (int n = 0; n < 4096; ++n) {
            const Vector3& v = snow_->GetOffset(flakes[n].cell);
            const float sway = static_cast<float>(std::sin(6.283185307179586 * (v.y + c.time)) * s * 0.09);
            const Vector3 grid{(n % 16 - 8) * s, (n / 16 % 16 - 8) * s, (n / 256 - 8) * s};
            const Matrix m = Placement(c.scale * 0.5f, grid, {sway * v.x, 0, sway * v.z}, origin);
            ASSERT_EQ(std::memcmp(&m, &flakes[n].transform, sizeof m), 0) << "flake " << n;
        }
        const std::pair<std::function<void()>, const std::vector<PlacedParticle>*> layers[] = {
            {[&] { cloud_->Draw(c.eye, 1500.0f); }, &clouds}, {[&] { snow_->Draw(c.eye, c.time, c.scale); }, &flakes}};
        for (const auto& [draw, placed] : layers) {
            draw();
            size_t bytes = 0;
            const uint8_t* drawn = sprite_->GetD3DXSprite()->GetDrawnVertices(bytes);
            const std::vector<float> expected = Vertices(*placed, MatrixMultiply(world, view));
            ASSERT_EQ(bytes, expected.size() * 4);
            EXPECT_EQ(std::memcmp(drawn, expected.data(), bytes), 0) << c.time;
        }
    }
}

// Every particle drawn in one batch without depth writes, far out on the negative side too.
TEST_F(ParticleLayersTest, DrawsEveryParticleWithoutDepthWrites) {
    Journal();
    cloud_->Draw({-5e6f, 0, 0}, 2000.0f);
    snow_->Draw({-5e6f, 0, -5e6f}, 1.5, 1.0f);
    Lines seen;
    for (const std::string& line : Journal())
        if (line.rfind("Draw", 0) == 0 || line.find("ZWrite") != std::string::npos) seen.push_back(line);
    const std::string off = "SetRenderState(ZWriteEnable, 0)";
    const std::string all = "DrawIndexedPrimitiveUP(TriangleList, 0, 16384, 8192, 24)";  // 4096 quads
    EXPECT_EQ(seen, (Lines{off, all, off, all}));
}

}  // namespace
}  // namespace showtest
