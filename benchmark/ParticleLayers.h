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

// One particle as drawn: the picture of the sheet and its world placement (before the sprite's
// centring), in row-vector order.
struct PlacedParticle {
    int cell;
    int picture;
    plat::Matrix transform;
};

// A soft near edge: each particle is left out in front of a view depth of its own between the near
// plane at `nearDistance` and `band` beyond it (by one of its fixed random numbers), so that a grid's
// layer lying along the plane goes a few particles at a time. A band of 0 leaves the edge to the near
// plane alone.
struct SoftNearEdge {
    float nearDistance = 0.0f;
    float band = 0.0f;
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
    // depth writes so the translucent pictures do not hide each other; with a soft near edge (whole
    // placements only), those nearer than their own edge left out.
    void DrawPlaced(const SoftNearEdge* edge = nullptr);
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
    virtual void Draw(const plat::Vector3& eye, double time, float scale, SoftNearEdge edge = {});

private:
    template <bool kWhole>
    void Locate(const plat::Vector3& eye, double time, float scale);

    // Each flake's sway is sin(2 pi (its phase + time)); the phase's sine and cosine are kept, so that a
    // frame takes one sine and cosine of its time instead of one sine a flake.
    std::vector<double> phaseSin_, phaseCos_;
};

// The grid index of a world cell: the remainder of `cell` by `size` on the non-negative side, so that
// the field repeats on both sides of the origin.
int GridIndex(std::int64_t cell, int size);
