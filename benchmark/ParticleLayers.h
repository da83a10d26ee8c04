// The sky's two particle layers: a 64 x 64 grid of cloud billboards at a fixed height around the
// camera, and a 16 x 16 x 16 grid of snow flakes around it that falls and sways with time. Every cell
// keeps fixed random numbers and is chosen by the world cell modulo the grid, so particles stay put
// in the world while the camera flies through an endless, repeating field.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Object.h"
#include "gfxkit/Math3D.h"
#include "render/DXSprite.h"
#include "render/Sprite.h"
#include "render/TextureCache.h"

// The layers' random field: the classic linear congruential generator, never seeded, so the field is
// the same on every run. The play scene keeps one and builds the cloud layer before the snow layer.
class CParticleRandom {
public:
    // 0 to 32767.
    int Next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_ = 1;
};

// One particle as drawn: the picture of the sheet, its world placement (before the sprite's centring),
// in row-vector order, and the colour it is drawn in.
struct PlacedParticle {
    int cell;
    int picture;
    plat::Matrix transform;
    std::uint32_t colour = 0xFFFFFFFF;
};

// How the snow thins out before it stops. Each flake keeps a thinning rank of its own, and its weight is
// its view depth's share of `band` past the near plane at `nearDistance` (so the nearest go first), times
// its place in two soft rims `rim` lattice cells (of size `cell`) deep: one inside the view depth `reach`
// cells, which is the same on both sides of the view; one inside the faces of the box around the eye that
// the grid's block always covers, moved `beyond` cells out, so that the block's own faces, which move a
// whole layer at a time, are never seen. A flake fades out as its weight falls from twice its rank to
// its rank, and is gone below. A band of 0 draws every flake whole.
struct SnowThinning {
    float nearDistance = 0.0f;
    float band = 0.0f;
    float cell = 0.0f;
    float rim = 0.0f;
    float reach = 0.0f;
    float beyond = 0.0f;
};

class CParticleLayer : public virtual trivale::CObject {
public:
    static constexpr int kParticleCount = 4096;
    static constexpr std::uint32_t kBeginFlags = 0x5C;  // object space, billboard, alpha blend, depth sorted

    ~CParticleLayer() override;
    virtual int GetParticleCount() const { return kParticleCount; }
    // The cell's random offset, each component in [0, 1], and its picture index, 0 to 4.
    const plat::Vector3& GetOffset(int cell) const { return offsets_[cell]; }
    int GetPicture(int cell) const { return pictures_[cell]; }

protected:
    // Loads the picture sheet (128 x 128 cells) through the cache and draws the field's numbers.
    CParticleLayer(trivale::type_a::CTextureCache* cache, trivale::type_a::CDXSprite* batch, const char* texture,
                   CParticleRandom& random);
    // Draws the placed particles as billboards in the device's current world and view space, without
    // depth writes so the translucent pictures do not hide each other.
    void DrawPlaced();
    // Placing starts over: `whole` keeps whole placements in placed_, as Place answers them; otherwise
    // only what DrawPlaced needs is kept, and allPlain_ says whether that sufficed. AddPlacement's
    // kWhole must agree.
    void StartPlacing(bool whole);
    // The scaling every placement starts with, until the next call.
    void SetScaling(float x, float y, float z);
    // Adds the cell's placement: the scaling, then translations by the grid point, the cell's offset
    // and the origin of the grid, in that order.
    template <bool kWhole>
    void AddPlacement(int cell, float gx, float gy, float gz, float ox, float oy, float oz,
                      const plat::Vector3& origin);
    bool allPlain_ = false;  // every placement since SetScaling was the scaling and a finite last row

    std::vector<PlacedParticle> placed_;

private:
    static constexpr int kPictureCount = 5;
    void DrawPlain();
    // To placed_; `last` is the last row of a placement that is the scaling but for it, or null.
    void AddWholePlacement(int cell, const plat::Vector3& grid, const plat::Vector3& offset,
                           const plat::Vector3& origin, const plat::Vector3* last);

    plat::Matrix scaling_;
    float centred_[3] = {};
    bool plain_ = false;  // the scaling's factors are finite and non-zero
    bool whole_ = true;
    std::vector<plat::PlacedSprite> sprites_;  // when not whole: what DrawPlain hands the batch
    trivale::type_a::CTextureCache* cache_;
    trivale::type_a::CSprite sprite_;
    std::vector<plat::Vector3> offsets_;
    std::vector<int> pictures_;
};

class CCloudParticleLayer : public CParticleLayer {
public:
    static constexpr float kCellSize = 300.0f;

    CCloudParticleLayer(trivale::type_a::CTextureCache* cache, trivale::type_a::CDXSprite* batch,
                        CParticleRandom& random);
    // Every cloud around the eye: the 64 x 64 cells centred on the eye's cell, hanging at `height`.
    const std::vector<PlacedParticle>& Place(const plat::Vector3& eye, float height);
    virtual void Draw(const plat::Vector3& eye, float height);

private:
    template <bool kWhole>
    void Locate(const plat::Vector3& eye, float height);
};

class CSnowParticleLayer : public CParticleLayer {
public:
    CSnowParticleLayer(trivale::type_a::CTextureCache* cache, trivale::type_a::CDXSprite* batch,
                       CParticleRandom& random);
    // Every flake around the eye at `time` (falling one cell per unit) on a grid of 70 x `scale`.
    const std::vector<PlacedParticle>& Place(const plat::Vector3& eye, double time, float scale);
    virtual void Draw(const plat::Vector3& eye, double time, float scale, const SnowThinning& thinning = {});
    // The flake's thinning rank in [0, 1): the ranks of the cells in any 2 x 2 x 2 block, 4 x 4 x 4 and so
    // on, spread evenly over [0, 1), so that the flakes of any part of the view thin evenly.
    float GetThinningRank(int cell) const { return ranks_[cell]; }
    // How much of a placed flake the thinning leaves, from 0 (gone) to 1, in the world and view space
    // given as their product, around `eye`.
    float Visibility(const PlacedParticle& flake, const plat::Vector3& eye, const plat::Matrix& worldView,
                     const SnowThinning& thinning) const;

private:
    // Leaves out of the whole placements the flakes that the thinning takes.
    void Thin(const plat::Vector3& eye, const SnowThinning& thinning);
    template <bool kWhole>
    void Locate(const plat::Vector3& eye, double time, float scale);

    // Each flake's sway is sin(2 pi (its phase + time)); the phase's sine and cosine are kept, so that a
    // frame takes one sine and cosine of its time instead of one sine a flake.
    std::vector<double> phaseSin_, phaseCos_;
    std::vector<float> ranks_;
};

// The grid index of a world cell: the remainder of `cell` by `size` on the non-negative side, so that
// the field repeats on both sides of the origin.
int GridIndex(std::int64_t cell, int size);
