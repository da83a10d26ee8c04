// The play scene's loading phase. While the progressive texture cache holds queued textures, every
// frame loads one more and shows the loading picture (fading in over the first 30 percent and out
// over the last 30), the percentage and a bar of twelve marks. On the first frame the cache is
// complete it ends progressive loading, lets the picture go and makes the cloud and snow layers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "benchmark/ParticleLayers.h"
#include "benchmark/ProgressiveTextureCache.h"
#include "benchmark/ShowCanvas.h"
#include "render/Texture.h"

// What the screen shows after `loaded` of `queued` textures.
struct LoadingProgress {
    int percent;                          // 0 to 100, truncated
    float opacity;                        // of the picture and, scaled, of the text and marks
    std::uint32_t colour;                 // the picture's and the percentage's
    std::array<std::uint32_t, 12> marks;  // each mark's colour, left to right
};
LoadingProgress ComputeLoadingProgress(int loaded, int queued);

// The layers the loading phase makes for the play scene.
struct ParticleLayers {
    std::unique_ptr<CCloudParticleLayer> cloud;
    std::unique_ptr<CSnowParticleLayer> snow;
};

class CLoadingScreen {
public:
    // The picture is shown stretched over the main viewport; it may be null (nothing but the text).
    CLoadingScreen(trivale::type_a::CProgressiveTextureCache* cache,
                   std::unique_ptr<trivale::type_a::CTexture> picture);

    // The start of each play-scene frame. While textures are queued: loads one, draws the screen and
    // returns true (the frame shows nothing else). The first frame the cache is complete (after its
    // last load, or at once when nothing was ever queued) also makes the layers into `layers`.
    bool Frame(const ShowCanvas& canvas, ParticleLayers& layers);
    bool IsFinished() const { return finished_; }
    const trivale::type_a::CTexture* GetPicture() const { return picture_.get(); }

private:
    void Draw(const ShowCanvas& canvas, const LoadingProgress& progress);
    void Finish(const ShowCanvas& canvas, ParticleLayers& layers);

    trivale::type_a::CProgressiveTextureCache* cache_;
    std::unique_ptr<trivale::type_a::CTexture> picture_;
    bool finished_ = false;
};
