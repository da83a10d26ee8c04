// The cloud and snow layers: the fixed random field, and the grids around the eye, on either side of the
// origin, as the exact products of their cells' offsets.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

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
            float* v = &quad[k * 6];
            v[0] = anchor.x + dx * m.m[0][0] + dy * m.m[1][0];
            v[1] = anchor.y + dx * m.m[0][1] + dy * m.m[1][1];
            v[2] = anchor.z;
            std::memcpy(&v[3], &p.colour, 4);
            v[4] = static_cast<float>((p.picture % 2) * 128 + ((k & 1) ? 128 : 0)) / 256.0f;
            v[5] = static_cast<float>((p.picture / 2) * 128 + ((k & 2) ? 128 : 0)) / 256.0f;
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

// Cells, placements and the vertices drawn are exactly those of the grid and the whole matrix products,
// bit for bit: the clouds' window moves by a cell as the eye crosses one, every cloud still in view
// keeping its cell, and the snow's rows move on at each whole unit of time as its base jumps back.
TEST_F(ParticleLayersTest, DrawsExactlyWhatTheMatrixProductsGive) {
    const Matrix world = plat::MatrixRotationYawPitchRoll(0.3f, -0.2f, 0.1f);
    const Matrix view = MatrixMultiply(MatrixTranslation(-40, -900, 25), plat::MatrixRotationY(1.1f));
    Device()->SetTransform(plat::TransformKind::World, world);
    Device()->SetTransform(plat::TransformKind::View, view);
    const struct {
        Vector3 eye;
        double time;
        float scale;  // of the snow; 0 makes every flake one point
    } cases[] = {{{120, 30, -45}, 0.37, 1.5f},
                 {{-5e4f, 700, 3e5f}, -12.8, 1.5f},
                 {{0, 0, 0}, 3, 2},
                 {{10, 20, 30}, 1, 0},
                 {{-3e6f, 50, 5e6f}, 0.5, 1},
                 {{-200000, -500, -300000}, 1.995, 1}};  // regression: far out the old grid index went negative
    const auto wrap = [](std::int64_t v, int size) { return static_cast<int>((v % size + size) % size); };
    for (const auto& c : cases) {
        const std::vector<PlacedParticle> clouds = cloud_->Place(c.eye, 1500.0f);
        const std::vector<PlacedParticle> flakes = snow_->Place(c.eye, c.time, c.scale);
        const int cx = trivale::SaturateToInt(c.eye.x * (1 / 300.0f)),
                  cz = trivale::SaturateToInt(c.eye.z * (1 / 300.0f));
        for (int n = 0; n < 4096; ++n) {
            ASSERT_EQ(clouds[n].cell, wrap(n / 64 - 32 + cz, 64) * 64 + wrap(n % 64 - 32 + cx, 64)) << "cloud " << n;
            const Vector3& v = cloud_->GetOffset(clouds[n].cell);
            const Matrix m = Placement(5, {float(n % 64 - 32) * 300.0f, 1500, float(n / 64 - 32) * 300.0f},
                                       {v.x * 150, v.y * 600, v.z * 150}, {float(cx) * 300.0f, 0, float(cz) * 300.0f});
            ASSERT_EQ(std::memcmp(&m, &clouds[n].transform, sizeof m), 0) << "cloud " << n;
        }
        const float s = c.scale * 70;
        const int fx = trivale::SaturateToInt(c.eye.x * (1 / s)), fy = trivale::SaturateToInt(c.eye.y * (1 / s));
        const int fz = trivale::SaturateToInt(c.eye.z * (1 / s));
        const double whole = std::trunc(c.time);
        const Vector3 origin{float(fx) * s, static_cast<float>(float(fy) * s - (c.time - whole) * s), float(fz) * s};
        for (int n = 0; n < 4096; ++n) {
            const std::int64_t x = n % 16 - 8, row = n / 16 % 16 - 8 + static_cast<std::int64_t>(whole),
                               z = n / 256 - 8;
            ASSERT_EQ(flakes[n].cell, (wrap(z + fz, 16) * 16 + wrap(row + fy, 16)) * 16 + wrap(x + fx, 16))
                << "flake " << n;
            const Vector3& v = snow_->GetOffset(flakes[n].cell);
            const float sway = static_cast<float>(std::sin(6.283185307179586 * (v.y + c.time)) * s * 0.09);
            const Vector3 grid{float(n % 16 - 8) * s, float(n / 16 % 16 - 8) * s, float(n / 256 - 8) * s};
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

// The thinning ranks spread evenly over every aligned 4 x 4 x 4 block of cells, one to each 64th. A flake
// is whole at twice its rank's weight or more, gone at its rank's or less, and drawn in between in the
// colour of its share; none is left in front of the near plane, past the reach, or outside the box of
// cells the block always covers (on the negative side of the origin here); with no band all are whole.
TEST_F(ParticleLayersTest, ThinningFadesEachFlakeByItsRankAndKeepsOffTheBlocksFaces) {
    std::array<int, 64> once;
    once.fill(1);
    for (int block = 0; block < 64; ++block) {
        std::array<int, 64> ranks = {};
        for (int corner = 0; corner < 64; ++corner) {
            const int x = (block & 3) * 4 + (corner & 3), y = (block >> 2 & 3) * 4 + (corner >> 2 & 3);
            const int z = (block >> 4) * 4 + (corner >> 4);
            ++ranks[static_cast<int>(snow_->GetThinningRank((z * 16 + y) * 16 + x) * 64.0f)];
        }
        EXPECT_EQ(ranks, once) << "block " << block;
    }
    const Matrix world = plat::MatrixRotationYawPitchRoll(0.3f, -0.2f, 0.1f);
    const Matrix view = MatrixMultiply(MatrixTranslation(-40, -900, 25), plat::MatrixRotationY(1.1f));
    Device()->SetTransform(plat::TransformKind::World, world);
    Device()->SetTransform(plat::TransformKind::View, view);
    const Matrix worldView = MatrixMultiply(world, view);
    const Vector3 eye{-520, 30, -45};
    const float scale = 1.5f, cell = 70.0f * scale;
    SnowThinning thinning;
    EXPECT_EQ(snow_->Visibility(snow_->Place(eye, 0.37, scale)[5], eye, worldView, thinning), 1.0f);
    thinning.nearDistance = 200.0f, thinning.band = 2000.0f, thinning.cell = cell, thinning.rim = 1.0f;
    thinning.reach = 9.0f;
    std::vector<PlacedParticle> kept;
    int faded = 0, whole = 0;
    for (PlacedParticle flake : snow_->Place(eye, 0.37, scale)) {
        const float* at = flake.transform.m[3];
        const float depth = Affine({at[0], at[1], at[2]}, worldView).z;
        const float x = (at[0] - eye.x) / cell, y = (at[1] - eye.y) / cell, z = (at[2] - eye.z) / cell;
        const bool inside =
            depth < (thinning.reach - 1) * cell && std::max(std::abs(x), std::abs(z)) < 6 && y > -7 && y < 4;
        const float visibility = snow_->Visibility(flake, eye, worldView, thinning);
        const float weight = (depth - thinning.nearDistance) / thinning.band, rank = snow_->GetThinningRank(flake.cell);
        if (depth < thinning.nearDistance || depth > thinning.reach * cell || x < -7 || x > 7 || z < -7 || z > 7) {
            EXPECT_EQ(visibility, 0.0f);
        } else if (inside && weight > 2 * rank) {
            EXPECT_EQ(visibility, 1.0f);
        } else if (inside && weight < rank) {
            EXPECT_EQ(visibility, 0.0f);
        }
        if (visibility <= 0.0f) continue;
        faded += visibility < 1.0f, whole += visibility == 1.0f;
        flake.colour = static_cast<std::uint32_t>(std::lround(visibility * 255.0f)) << 24 | 0xFFFFFF;
        kept.push_back(flake);
    }
    EXPECT_GT(faded, 20);
    EXPECT_GT(whole, 20);
    snow_->Draw(eye, 0.37, scale, thinning);
    size_t bytes = 0;
    const uint8_t* drawn = sprite_->GetD3DXSprite()->GetDrawnVertices(bytes);
    const std::vector<float> expected = Vertices(kept, worldView);
    ASSERT_EQ(bytes, expected.size() * 4);
    EXPECT_EQ(std::memcmp(drawn, expected.data(), bytes), 0);
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
