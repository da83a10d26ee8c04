#pragma once
// Stands in for the helper library's "create a texture from a file in memory": the image loader's
// levels handed to a device texture. Nothing is kept from a failed load.

#include <cstddef>
#include <memory>
#include <string>

#include "gfxkit/ImageLoader.h"
#include "platform/Graphics.h"

namespace plat {

// Decodes the file with `params`, creates a texture of the loaded size, format and level count in
// `pool` and fills every level. `sourceInfo` (may be null) gets the file's description. The loader's
// or the device's result on failure, `texture` then null and `why` the reason.
GraphicsResult CreateTextureFromMemory(IGraphicsDevice& device, const void* data, size_t size,
                                       const ImageLoadParams& params, Pool pool, ImageInfo* sourceInfo,
                                       std::unique_ptr<ITexture>& texture, std::string* why = nullptr);

}  // namespace plat
