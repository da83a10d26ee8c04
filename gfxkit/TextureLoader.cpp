#include "gfxkit/TextureLoader.h"

#include <utility>

namespace plat {

GraphicsResult CreateTextureFromMemory(IGraphicsDevice& device, const void* data, size_t size,
                                       const ImageLoadParams& params, Pool pool, ImageInfo* sourceInfo,
                                       std::unique_ptr<ITexture>& texture, std::string* why) {
    texture.reset();
    LoadedImage image;
    GraphicsResult result = LoadImageFromMemory(data, size, params, image, why);
    if (Failed(result)) return result;
    if (image.levels.empty()) {
        if (why != nullptr) *why = "the image has no levels";
        return gfx::kInvalidData;
    }
    const ImageLevel& top = image.levels.front();
    std::unique_ptr<ITexture> made;
    result = device.CreateTexture(top.width, top.height, static_cast<uint32_t>(image.levels.size()), 0, image.format,
                                  pool, made);
    if (Failed(result)) {
        if (why != nullptr)
            *why =
                "the device refused a " + std::to_string(top.width) + " x " + std::to_string(top.height) + " texture";
        return result;
    }
    for (uint32_t level = 0; level < image.levels.size(); ++level) {
        result = made->UpdateLevel(level, std::move(image.levels[level].bytes), image.levels[level].pitch);
        if (Failed(result)) {
            if (why != nullptr) *why = "level " + std::to_string(level) + " could not be filled";
            return result;
        }
    }
    if (sourceInfo != nullptr) *sourceInfo = image.source;
    texture = std::move(made);
    return gfx::kOk;
}

}  // namespace plat
