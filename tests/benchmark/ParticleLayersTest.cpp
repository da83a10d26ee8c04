// The cloud and snow layers over the recording device: the random field, where each particle lands
// around the eye, the field staying put in the world as the eye moves (on both sides of the origin),
// and the snow falling with time.
#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "benchmark/ParticleLayers.h"
#include "benchmark/ProgressiveTextureCache.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using plat::MakeVector3;

class ParticleLayersTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::Fake);
        WriteFile("scenes/skyhigh/small_cloud_1.dds", FlatImage(256, 256));
        WriteFile("scenes/skyhigh/snow_1.dds", FlatImage(256, 256));
        cache_.SetProgressive(false);
        batch_ = std::make_unique<type_a::CDXSprite>();
        cloud_ = std::make_unique<CCloudParticleLayer>(&cache_, batch_.get(), random_);
        snow_ = std::make_unique<CSnowParticleLayer>(&cache_, batch_.get(), random_);
    }
    void TearDown() override {
        snow_.reset();
        cloud_.reset();
        batch_.reset();
        cache_.Clear();
        RenderTest::TearDown();
    }

    type_a::CProgressiveTextureCache cache_;
    std::unique_ptr<type_a::CDXSprite> batch_;
    CParticleRandom random_;
    std::unique_ptr<CCloudParticleLayer> cloud_;
    std::unique_ptr<CSnowParticleLayer> snow_;
};

float X(const PlacedParticle& p) { return p.transform.m[3][0]; }
float Y(const PlacedParticle& p) { return p.transform.m[3][1]; }
float Z(const PlacedParticle& p) { return p.transform.m[3][2]; }

// The classic generator from 1, four numbers a cell, the cloud layer first: the same field on every
// run, with picture 4 (only for 32767) never drawn.
TEST_F(ParticleLayersTest, FieldComesFromTheUnseededGeneratorCloudFirst) {
    const float unit = 1.0f / 32767.0f;
    const plat::Vector3& first = cloud_->GetOffset(0);
    EXPECT_EQ(std::make_tuple(first.x, first.y, first.z), std::make_tuple(6334 * unit, 18467 * unit, 41 * unit));
    EXPECT_EQ(cloud_->GetPicture(0), 3);  // 26500
    EXPECT_EQ(cloud_->GetPicture(1), 3);  // 29358
    const std::pair<CParticleLayer*, std::array<int, 5>> layers[] = {
        {cloud_.get(), {998, 1025, 1021, 1052, 0}},
        {snow_.get(), {985, 1022, 1011, 1078, 0}},
    };
    for (const auto& [layer, expected] : layers) {
        std::array<int, 5> counts{};
        for (int cell = 0; cell < CParticleLayer::kParticleCount; ++cell) ++counts.at(layer->GetPicture(cell));
        EXPECT_EQ(counts, expected);
        EXPECT_EQ(layer->GetParticleCount(), 4096);
    }
}

// The grid's origin cell is the eye's cell truncated toward zero; every one of the 4096 cells is
// drawn once, each particle on its 300-unit grid point, raised and shifted by its own offsets.
TEST_F(ParticleLayersTest, CloudsSurroundTheEyeOnTheirGrid) {
    const struct {
        float x, z;
        int cx, cz;
    } cases[] = {{299, 0, 0, 0},
                 {301, 0, 1, 0},
                 {-299, 0, 0, 0},
                 {-301, -601, -1, -2},
                 {-3e6f, 5e6f, -10000, 16666}};  // far beyond the old table's reach
    for (const auto& c : cases) {
        const std::vector<PlacedParticle>& placed = cloud_->Place(MakeVector3(c.x, 50, c.z), 2000.0f);
        ASSERT_EQ(placed.size(), 4096u) << c.x;
        std::set<int> cells;
        for (const PlacedParticle& p : placed) cells.insert(p.cell);
        EXPECT_EQ(cells.size(), 4096u) << c.x;
        // Row i = -32, column j = -32 comes first; its cell is the world cell modulo 64.
        const PlacedParticle& p = placed.front();
        const int row = GridIndex(std::int64_t{c.cz} - 32, 64), column = GridIndex(std::int64_t{c.cx} - 32, 64);
        EXPECT_EQ(p.cell, row * 64 + column) << c.x;
        const plat::Vector3& v = cloud_->GetOffset(p.cell);
        const float tolerance = std::abs(c.x) > 1e5f ? 1.0f : 0.01f;
        EXPECT_NEAR(X(p), (c.cx - 32) * 300.0f + v.x * 150.0f, tolerance) << c.x;
        EXPECT_NEAR(Y(p), 2000.0f + v.y * 600.0f, 0.01f) << c.x;
        EXPECT_NEAR(Z(p), (c.cz - 32) * 300.0f + v.z * 150.0f, tolerance) << c.x;
        EXPECT_EQ(p.transform.m[0][0], 5.0f);
        EXPECT_EQ(p.transform.m[1][1], -5.0f);
        EXPECT_EQ(p.picture, cloud_->GetPicture(p.cell));
    }
}

// Keyed by world grid point: the cell shown there.
std::map<std::pair<long, long>, int> CloudsByGridPoint(const std::vector<PlacedParticle>& placed) {
    std::map<std::pair<long, long>, int> points;
    for (const PlacedParticle& p : placed)
        points[{std::lround(X(p) / 300.0f - 0.25f), std::lround(Z(p) / 300.0f - 0.25f)}] = p.cell;
    return points;
}

// As the eye crosses a cell edge the window moves by one column or row, and every cloud still in view
// keeps its world place and picture, on either side of the origin and far out on the negative side.
TEST_F(ParticleLayersTest, CloudsStayPutAsTheEyeMoves) {
    const struct {
        plat::Vector3 from, to;
    } moves[] = {{{450, 0, 0}, {750, 0, 0}},
                 {{-450, 0, 0}, {-750, 0, 0}},
                 {{-100, 0, 0}, {-400, 0, 0}},
                 {{0, 0, -100}, {0, 0, -400}},
                 {{-3e6f, 0, -2.5e6f}, {-3e6f - 300, 0, -2.5e6f}}};
    for (const auto& move : moves) {
        const auto before = CloudsByGridPoint(cloud_->Place(move.from, 2000.0f));
        const auto after = CloudsByGridPoint(cloud_->Place(move.to, 2000.0f));
        int shared = 0;
        for (const auto& [point, cell] : after) {
            auto found = before.find(point);
            if (found == before.end()) continue;
            ++shared;
            EXPECT_EQ(found->second, cell) << move.to.x << "," << move.to.z;
        }
        EXPECT_EQ(shared, 64 * 63) << move.to.x << "," << move.to.z;
    }
}

// The particle at loop position (i, j, k) = (0, 0, 0) stands on the grid's base point.
const PlacedParticle& SnowAtBase(const std::vector<PlacedParticle>& placed) { return placed.at((8 * 16 + 8) * 16 + 8); }

// The grid sinks one cell per unit of time and jumps back at each whole unit; cells are 70 x scale.
TEST_F(ParticleLayersTest, SnowGridSinksWithTime) {
    const struct {
        float eyeY;
        double time;
        float scale;
        float baseY;
        float halfSize;
    } cases[] = {
        {140, 0.5, 1, 105, 0.5},     {140, 1.0, 1, 140, 0.5},  {140, 0.0, 2, 140, 1},
        {-100, 0.25, 1, -87.5, 0.5}, {140, -0.5, 1, 175, 0.5},  // whole units truncate toward zero
    };
    for (const auto& c : cases) {
        const std::vector<PlacedParticle>& placed = snow_->Place(MakeVector3(10, c.eyeY, 10), c.time, c.scale);
        ASSERT_EQ(placed.size(), 4096u);
        EXPECT_FLOAT_EQ(Y(SnowAtBase(placed)), c.baseY) << c.eyeY << " at " << c.time;
        EXPECT_EQ(SnowAtBase(placed).transform.m[0][0], c.halfSize);
        EXPECT_EQ(SnowAtBase(placed).transform.m[1][1], -c.halfSize);
    }
}

// Between two close times each flake moves by a little (fall and sway), and at the whole unit the
// flakes show the next row up, so the field falls on without a jump; one layer enters at the top.
TEST_F(ParticleLayersTest, SnowFallsContinuouslyAcrossWholeUnits) {
    const struct {
        plat::Vector3 eye;
        double from, to;
    } cases[] = {{{10, 140, 10}, 0.99, 1.0}, {{10, 140, 10}, 3.4, 3.41}, {{-200000, -500, -300000}, 1.995, 2.005}};
    for (const auto& c : cases) {
        std::map<int, plat::Vector3> before;
        for (const PlacedParticle& p : snow_->Place(c.eye, c.from, 1.0f)) before[p.cell] = {X(p), Y(p), Z(p)};
        int moved = 0, entered = 0;
        for (const PlacedParticle& p : snow_->Place(c.eye, c.to, 1.0f)) {
            const plat::Vector3& was = before.at(p.cell);
            const float distance = std::hypot(X(p) - was.x, Y(p) - was.y, Z(p) - was.z);
            ++(distance < 2.0f ? moved : entered);
            if (distance < 2.0f) {
                EXPECT_LT(Y(p), was.y) << c.from;
            }
        }
        EXPECT_EQ(moved, 4096 - (std::floor(c.from) != std::floor(c.to) ? 256 : 0)) << c.from;
        EXPECT_EQ(moved + entered, 4096);
    }
}

// Far on the negative side, where the old grid index went negative, every cell is still drawn once.
TEST_F(ParticleLayersTest, SnowGridWrapsOnTheNegativeSide) {
    for (const plat::Vector3& eye : {MakeVector3(-142870, 0, 0), MakeVector3(0, 0, -142870),
                                     MakeVector3(-3e7f, -3e7f, -3e7f), MakeVector3(-1, -1, -1)}) {
        std::set<int> cells;
        for (const PlacedParticle& p : snow_->Place(eye, 7.5, 1.0f)) cells.insert(p.cell);
        EXPECT_EQ(cells.size(), 4096u) << eye.x << "," << eye.z;
    }
}

// Every particle drawn (in one batch) without depth writes, even far out on the negative side.
TEST_F(ParticleLayersTest, DrawsBillboardsWithoutDepthWrites) {
    Device()->BeginScene();
    Device()->SetTransform(plat::TransformKind::World, plat::MatrixTranslation(1, 2, 3));
    Device()->SetTransform(plat::TransformKind::View, plat::MatrixTranslation(4, 5, 6));
    Journal();
    cloud_->Draw(MakeVector3(-5e6f, 0, 0), 2000.0f);
    snow_->Draw(MakeVector3(-5e6f, 0, -5e6f), 1.5, 1.0f);
    std::vector<std::string> seen;
    for (const std::string& line : Journal())
        if (line.rfind("Draw", 0) == 0 || line.find("ZWrite") != std::string::npos) seen.push_back(line);
    const std::string off = "SetRenderState(ZWriteEnable, 0)";
    const std::string all = "DrawIndexedPrimitiveUP(TriangleList, 0, 16384, 8192, 24)";  // 4096 quads
    EXPECT_EQ(seen, (std::vector<std::string>{off, all, off, all}));
}

}  // namespace
}  // namespace rendertest
