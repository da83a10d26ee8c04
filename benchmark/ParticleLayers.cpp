#include "benchmark/ParticleLayers.h"

#include <cmath>

#include "core/Saturate.h"
#include "render/RenderDevice.h"

using namespace trivale;
using namespace trivale::type_a;

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
}

CParticleLayer::~CParticleLayer() {}

void CParticleLayer::DrawPlaced() {
    plat::IGraphicsDevice& device = CurrentDevice();
    plat::Matrix world, view;
    device.GetTransform(plat::TransformKind::World, world);
    device.GetTransform(plat::TransformKind::View, view);
    CDXSprite* batch = sprite_.GetSpriteBatch();
    batch->GetD3DXSprite()->SetWorldViewLH(&world, &view);
    device.SetRenderState(plat::RenderState::ZWriteEnable, 0u);
    batch->Begin(kBeginFlags);
    for (const PlacedParticle& particle : placed_)
        sprite_.DrawTransformed(particle.picture, &particle.transform, 0xFFFFFFFF);
    batch->End();
}

CCloudParticleLayer::CCloudParticleLayer(CTextureCache* cache, CDXSprite* batch, CParticleRandom& random)
    : CParticleLayer(cache, batch, "scenes\\skyhigh\\small_cloud_1.dds", random) {}

const std::vector<PlacedParticle>& CCloudParticleLayer::Place(const plat::Vector3& eye, float height) {
    const float inverse = 1.0f / kCellSize;
    const int cx = SaturateToInt(eye.x * inverse);
    const int cz = SaturateToInt(eye.z * inverse);
    const plat::Matrix scaling = plat::MatrixScaling(5.0f, -5.0f, 5.0f);
    const plat::Matrix origin =
        plat::MatrixTranslation(static_cast<float>(cx) * kCellSize, 0.0f, static_cast<float>(cz) * kCellSize);
    placed_.clear();
    for (int i = -32; i < 32; ++i) {
        for (int j = -32; j < 32; ++j) {
            const int cell = GridIndex(std::int64_t{i} + cz, 64) * 64 + GridIndex(std::int64_t{j} + cx, 64);
            const plat::Vector3& v = GetOffset(cell);
            plat::Matrix m = plat::MatrixMultiply(
                scaling,
                plat::MatrixTranslation(static_cast<float>(j) * kCellSize, height, static_cast<float>(i) * kCellSize));
            m = plat::MatrixMultiply(m, plat::MatrixTranslation(v.x * 150.0f, v.y * 600.0f, v.z * 150.0f));
            placed_.push_back({cell, GetPicture(cell), plat::MatrixMultiply(m, origin)});
        }
    }
    return placed_;
}

void CCloudParticleLayer::Draw(const plat::Vector3& eye, float height) {
    Place(eye, height);
    DrawPlaced();
}

CSnowParticleLayer::CSnowParticleLayer(CTextureCache* cache, CDXSprite* batch, CParticleRandom& random)
    : CParticleLayer(cache, batch, "scenes\\skyhigh\\snow_1.dds", random) {}

const std::vector<PlacedParticle>& CSnowParticleLayer::Place(const plat::Vector3& eye, double time, float scale) {
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
    const plat::Matrix scaling = plat::MatrixScaling(half, -half, half);
    const plat::Matrix origin = plat::MatrixTranslation(base.x, base.y, base.z);
    const double twoPi = 6.283185307179586;
    placed_.clear();
    for (int i = -8; i < 8; ++i) {
        for (int j = -8; j < 8; ++j) {
            for (int k = -8; k < 8; ++k) {
                const int zi = GridIndex(std::int64_t{i} + cz, 16);
                const int yi = GridIndex(std::int64_t{j} + cy + rowShift, 16);
                const int xi = GridIndex(std::int64_t{k} + cx, 16);
                const int cell = (zi * 16 + yi) * 16 + xi;
                const plat::Vector3& v = GetOffset(cell);
                const float sway = static_cast<float>(std::sin(twoPi * (v.y + time)) * s * 0.09);
                plat::Matrix m = plat::MatrixMultiply(
                    scaling, plat::MatrixTranslation(static_cast<float>(k) * s, static_cast<float>(j) * s,
                                                     static_cast<float>(i) * s));
                m = plat::MatrixMultiply(m, plat::MatrixTranslation(sway * v.x, 0.0f, sway * v.z));
                placed_.push_back({cell, GetPicture(cell), plat::MatrixMultiply(m, origin)});
            }
        }
    }
    return placed_;
}

void CSnowParticleLayer::Draw(const plat::Vector3& eye, double time, float scale) {
    Place(eye, time, scale);
    DrawPlaced();
}
