#include "benchmark/ParticleLayers.h"

#include <algorithm>
#include <cmath>

#include "core/Saturate.h"
#include "render/RenderDevice.h"

using namespace trivale;
using namespace trivale::type_a;

namespace {

const double kTwoPi = 6.283185307179586;

// A component of the last row of a placement after one more translation, `t` the component and
// `u`, `v` the other two: the sum the matrix product forms, the zero terms too (they reorder freely, as
// they only matter when all is zero), so that written out it is the product's to the bit.
inline float Translate(float t, float u, float v, float by) { return t + u * 0.0f + v * 0.0f + by; }

}  // namespace

int GridIndex(std::int64_t cell, int size) {
    const std::int64_t index = cell % size;
    return static_cast<int>(index < 0 ? index + size : index);
}

CParticleLayer::CParticleLayer(CTextureCache* cache, CDXSprite* batch, const char* texture, CParticleRandom& random)
    : cache_(cache), offsets_(kParticleCount), pictures_(kParticleCount) {
    sprite_.SetTexture(batch, cache_->GetTexture(texture, true, "", plat::Format::Unknown));
    sprite_.SetSize(128, 128);
    sprite_.SetCenter(64.0f, 64.0f);
    const float unit = 1.0f / 32767.0f;
    for (int cell = 0; cell < kParticleCount; ++cell) {
        const float u1 = static_cast<float>(random.Next()) * unit;
        const float u2 = static_cast<float>(random.Next()) * unit;
        const float u3 = static_cast<float>(random.Next()) * unit;
        offsets_[cell] = plat::MakeVector3(u3, u2, u1);
        pictures_[cell] = SaturateToInt(static_cast<float>(random.Next()) * (4.0f / 32767.0f));
    }
    placed_.reserve(kParticleCount);
    sprites_.reserve(kParticleCount);
}

CParticleLayer::~CParticleLayer() {}

void CParticleLayer::StartPlacing(bool whole) {
    whole_ = whole;
    placed_.clear();
    sprites_.clear();
}

void CParticleLayer::SetScaling(float x, float y, float z) {
    scaling_ = plat::MatrixScaling(x, y, z);
    plain_ = std::isfinite(x) && std::isfinite(y) && std::isfinite(z) && x != 0 && y != 0 && z != 0;
    allPlain_ = plain_;
    // The centre's terms of the last row of the sprite's centring product, which DrawTransformed forms.
    const plat::Vector3& c = sprite_.GetCenter();
    const plat::Matrix& s = scaling_;
    for (int j = 0; j < 3; ++j) centred_[j] = -c.x * s.m[0][j] + -c.y * s.m[1][j] + -c.z * s.m[2][j];
}

template <bool kWhole>
inline void CParticleLayer::AddPlacement(int cell, float gx, float gy, float gz, float ox, float oy, float oz,
                                         const plat::Vector3& origin) {
    // The scaling followed by three translations. With finite translations and a scaling of finite,
    // non-zero factors the product's upper rows are the scaling's, so only its last row is worked out;
    // the same goes for the sprite's centring product after it.
    float x = Translate(0.0f, 0.0f, 0.0f, gx), y = Translate(0.0f, 0.0f, 0.0f, gy);
    float z = Translate(0.0f, 0.0f, 0.0f, gz);
    float nx = Translate(x, y, z, ox), ny = Translate(y, x, z, oy), nz = Translate(z, x, y, oz);
    x = Translate(nx, ny, nz, origin.x), y = Translate(ny, nx, nz, origin.y), z = Translate(nz, nx, ny, origin.z);
    const bool plain = plain_ && std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
    allPlain_ = allPlain_ && plain;
    if (kWhole) {
        const plat::Vector3 last{x, y, z};
        AddWholePlacement(cell, {gx, gy, gz}, {ox, oy, oz}, origin, plain ? &last : nullptr);
    } else if (plain) {
        // Field by field: a whole record built aside first costs a stalled copy here.
        plat::PlacedSprite& sprite = sprites_.emplace_back();
        sprite.source = static_cast<std::uint32_t>(GetPicture(cell));
        sprite.translation.x = centred_[0] + x;
        sprite.translation.y = centred_[1] + y;
        sprite.translation.z = centred_[2] + z;
    }
}

void CParticleLayer::AddWholePlacement(int cell, const plat::Vector3& grid, const plat::Vector3& offset,
                                       const plat::Vector3& origin, const plat::Vector3* last) {
    PlacedParticle& placed = placed_.emplace_back();
    placed.cell = cell;
    placed.picture = GetPicture(cell);
    plat::Matrix& m = placed.transform;
    if (last != nullptr) {
        m = scaling_;
        m.m[3][0] = last->x, m.m[3][1] = last->y, m.m[3][2] = last->z;
    } else {
        m = plat::MatrixMultiply(scaling_, plat::MatrixTranslation(grid.x, grid.y, grid.z));
        m = plat::MatrixMultiply(m, plat::MatrixTranslation(offset.x, offset.y, offset.z));
        m = plat::MatrixMultiply(m, plat::MatrixTranslation(origin.x, origin.y, origin.z));
    }
}

void CParticleLayer::DrawPlaced() {
    plat::IGraphicsDevice& device = CurrentDevice();
    plat::Matrix world, view;
    device.GetTransform(plat::TransformKind::World, world);
    device.GetTransform(plat::TransformKind::View, view);
    CDXSprite* batch = sprite_.GetSpriteBatch();
    batch->GetD3DXSprite()->SetWorldViewLH(&world, &view);
    device.SetRenderState(plat::RenderState::ZWriteEnable, 0u);
    batch->Begin(kBeginFlags);
    if (!whole_) {
        DrawPlain();
    } else {
        for (const PlacedParticle& particle : placed_)
            sprite_.DrawTransformed(particle.picture, &particle.transform, particle.colour);
    }
    batch->End();
}

void CParticleLayer::DrawPlain() {
    // What the sprite's DrawTransformed queues, the sprites' last rows worked out by AddPlacement.
    plat::SpriteBatch* batch = nullptr;
    plat::SpriteSource sources[kPictureCount];
    for (int picture = 0; picture < kPictureCount; ++picture) {
        plat::ITexture* texture = nullptr;
        plat::Rect rect;
        plat::SpriteBatch* target = sprite_.CellTarget(picture, texture, rect);
        if (target == nullptr || plat::Failed(plat::SpriteBatch::PrepareSource(texture, &rect, sources[picture])))
            continue;
        batch = target;
    }
    if (batch == nullptr) return;
    batch->DrawSources(sources, kPictureCount, scaling_, sprites_.data(), sprites_.size(), 0xFFFFFFFF);
}

CCloudParticleLayer::CCloudParticleLayer(CTextureCache* cache, CDXSprite* batch, CParticleRandom& random)
    : CParticleLayer(cache, batch, "scenes\\skyhigh\\small_cloud_1.dds", random) {}

const std::vector<PlacedParticle>& CCloudParticleLayer::Place(const plat::Vector3& eye, float height) {
    StartPlacing(true);
    Locate<true>(eye, height);
    return placed_;
}

void CCloudParticleLayer::Draw(const plat::Vector3& eye, float height) {
    StartPlacing(false);
    Locate<false>(eye, height);
    if (!allPlain_) StartPlacing(true), Locate<true>(eye, height);
    DrawPlaced();
}

template <bool kWhole>
void CCloudParticleLayer::Locate(const plat::Vector3& eye, float height) {
    const float inverse = 1.0f / kCellSize;
    const int cx = SaturateToInt(eye.x * inverse);
    const int cz = SaturateToInt(eye.z * inverse);
    SetScaling(5.0f, -5.0f, 5.0f);
    const plat::Vector3 origin{static_cast<float>(cx) * kCellSize, 0.0f, static_cast<float>(cz) * kCellSize};
    int columns[64];
    for (int j = -32; j < 32; ++j) columns[j + 32] = GridIndex(std::int64_t{j} + cx, 64);
    for (int i = -32; i < 32; ++i) {
        const int row = GridIndex(std::int64_t{i} + cz, 64) * 64;
        for (int j = -32; j < 32; ++j) {
            const int cell = row + columns[j + 32];
            const plat::Vector3& v = GetOffset(cell);
            AddPlacement<kWhole>(cell, static_cast<float>(j) * kCellSize, height, static_cast<float>(i) * kCellSize,
                                 v.x * 150.0f, v.y * 600.0f, v.z * 150.0f, origin);
        }
    }
}

CSnowParticleLayer::CSnowParticleLayer(CTextureCache* cache, CDXSprite* batch, CParticleRandom& random)
    : CParticleLayer(cache, batch, "scenes\\skyhigh\\snow_1.dds", random),
      phaseSin_(kParticleCount),
      phaseCos_(kParticleCount),
      ranks_(kParticleCount) {
    // The ranks are an ordered dither over the 16 x 16 x 16 cells: the lowest bit of each coordinate picks
    // the highest octal digit, by an order of the eight corners of a cell in which each next corner
    // lies far from those before it (the first two opposite, the first four a lattice of their own).
    static const int kCornerOrder[8] = {0, 2, 4, 7, 6, 5, 3, 1};  // by corner x + 2y + 4z
    for (int cell = 0; cell < kParticleCount; ++cell) {
        phaseSin_[cell] = std::sin(kTwoPi * GetOffset(cell).y);
        phaseCos_[cell] = std::cos(kTwoPi * GetOffset(cell).y);
        const int x = cell & 15, y = (cell >> 4) & 15, z = cell >> 8;
        int order = 0;
        for (int bit = 0; bit < 4; ++bit) {
            const int corner = ((x >> bit) & 1) | ((y >> bit) & 1) << 1 | ((z >> bit) & 1) << 2;
            order = order * 8 + kCornerOrder[corner];
        }
        ranks_[cell] = (static_cast<float>(order) + 0.5f) / static_cast<float>(kParticleCount);
    }
}

const std::vector<PlacedParticle>& CSnowParticleLayer::Place(const plat::Vector3& eye, double time, float scale) {
    StartPlacing(true);
    Locate<true>(eye, time, scale);
    return placed_;
}

void CSnowParticleLayer::Draw(const plat::Vector3& eye, double time, float scale, const SnowThinning& thinning) {
    if (thinning.band > 0.0f) {
        StartPlacing(true), Locate<true>(eye, time, scale);
        Thin(eye, thinning);
        DrawPlaced();
        return;
    }
    StartPlacing(false);
    Locate<false>(eye, time, scale);
    if (!allPlain_) StartPlacing(true), Locate<true>(eye, time, scale);
    DrawPlaced();
}

float CSnowParticleLayer::Visibility(const PlacedParticle& flake, const plat::Vector3& eye,
                                     const plat::Matrix& worldView, const SnowThinning& thinning) const {
    if (!(thinning.band > 0.0f)) return 1.0f;
    // A billboard's middle is its placement's last row; its depth in view is that point's z.
    const float* at = flake.transform.m[3];
    const float depth =
        at[0] * worldView.m[0][2] + at[1] * worldView.m[1][2] + at[2] * worldView.m[2][2] + worldView.m[3][2];
    // The weight is kept to 2, where every rank is drawn whole.
    const float nearWeight = std::min(2.0f, (depth - thinning.nearDistance) / thinning.band);
    float rimWeight = (thinning.reach - depth / thinning.cell) / thinning.rim;
    // The block spans cells -8 to 7 around the eye's cell, its index truncated toward zero, and its rows
    // sink by up to a cell: whatever the eye's place in its cell, it covers -8 to 6 cells of the eye
    // across and -8 to 5 up, or -7 to 7 and -7 to 6 on the negative side of the origin.
    for (int axis = 0; axis < 3; ++axis) {
        const float from = (&eye.x)[axis] / thinning.cell, offset = at[axis] / thinning.cell - from;
        const bool negative = from < 0.0f, up = axis == 1;
        const float low = (negative ? -7.0f : -8.0f) - thinning.beyond;
        const float high = (negative ? 7.0f : 6.0f) - (up ? 1.0f : 0.0f) + thinning.beyond;
        rimWeight = std::min(rimWeight, std::min(offset - low, high - offset) / thinning.rim);
    }
    const float rank = GetThinningRank(flake.cell);
    const float fade = (nearWeight * std::clamp(rimWeight, 0.0f, 1.0f) - rank) / rank;
    // Written so that a weight that is not a number takes the flake.
    return fade > 0.0f ? std::min(1.0f, fade) : 0.0f;
}

void CSnowParticleLayer::Thin(const plat::Vector3& eye, const SnowThinning& thinning) {
    plat::IGraphicsDevice& device = CurrentDevice();
    plat::Matrix world, view;
    device.GetTransform(plat::TransformKind::World, world);
    device.GetTransform(plat::TransformKind::View, view);
    const plat::Matrix worldView = plat::MatrixMultiply(world, view);
    std::size_t kept = 0;
    for (PlacedParticle& flake : placed_) {
        const float visibility = Visibility(flake, eye, worldView, thinning);
        if (visibility <= 0.0f) continue;
        flake.colour = static_cast<std::uint32_t>(std::lround(visibility * 255.0f)) << 24 | 0xFFFFFFu;
        placed_[kept++] = flake;
    }
    placed_.resize(kept);
}

template <bool kWhole>
void CSnowParticleLayer::Locate(const plat::Vector3& eye, double time, float scale) {
    const float s = scale * 70.0f;
    const float half = scale * 0.5f;
    const float inverse = 1.0f / s;
    const int cx = SaturateToInt(eye.x * inverse);
    const int cy = SaturateToInt(eye.y * inverse);
    const int cz = SaturateToInt(eye.z * inverse);
    const double whole = std::trunc(time);
    // Only the whole units modulo the grid move the rows on; kept small so no time overflows the index.
    const int rowShift = SaturateToInt(std::fmod(whole, 16.0));
    const plat::Vector3 base{static_cast<float>(cx) * s,
                             static_cast<float>(static_cast<float>(cy) * s - (time - whole) * s),
                             static_cast<float>(cz) * s};
    SetScaling(half, -half, half);
    const double timeSin = std::sin(kTwoPi * time), timeCos = std::cos(kTwoPi * time);
    int columns[16];
    for (int k = -8; k < 8; ++k) columns[k + 8] = GridIndex(std::int64_t{k} + cx, 16);
    for (int i = -8; i < 8; ++i) {
        const int zi = GridIndex(std::int64_t{i} + cz, 16);
        for (int j = -8; j < 8; ++j) {
            const int yi = GridIndex(std::int64_t{j} + cy + rowShift, 16);
            for (int k = -8; k < 8; ++k) {
                const int cell = (zi * 16 + yi) * 16 + columns[k + 8];
                const plat::Vector3& v = GetOffset(cell);
                const double wave = phaseSin_[cell] * timeCos + phaseCos_[cell] * timeSin;  // sin(2 pi (v.y + time))
                const float sway = static_cast<float>(wave * s * 0.09);
                AddPlacement<kWhole>(cell, static_cast<float>(k) * s, static_cast<float>(j) * s,
                                     static_cast<float>(i) * s, sway * v.x, 0.0f, sway * v.z, base);
            }
        }
    }
}
