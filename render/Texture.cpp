#include "render/Texture.h"

#include <algorithm>
#include <vector>

#include "core/Exception.h"
#include "devices/DXGraphics.h"
#include "gfxkit/TextureLoader.h"
#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

namespace {

plat::ImageInfo ZeroInfo() {
    plat::ImageInfo info;
    info.resourceType = static_cast<plat::ImageResourceType>(0);
    return info;
}

// Box filter with dithering, as every texture of the program is made.
// No image the loader accepts takes more than this as a file (the largest, with a full mip chain
// kept uncompressed, stays well below): a larger stream is refused before it is read.
const std::uint64_t kMaxFileBytes = plat::kMaxImageTexels * 6;

const plat::ImageFilter kLoadFilter = plat::ImageFilter::Box | plat::kImageFilterDither;

}  // namespace

CTexture::CTexture() : info_(ZeroInfo()) {}

CTexture::~CTexture() {}

void CTexture::Load(IStream& source, bool mipmaps, plat::Format format, int maxSize) {
    try {
        Decode(source, mipmaps, format, maxSize);
    } catch (EException& e) {
        NameFileInReport(e, source);
        throw;
    }
}

void CTexture::Decode(IStream& source, bool mipmaps, plat::Format format, int maxSize) {
    texture_.reset();
    source.Seek(0);
    if (source.GetSize() > kMaxFileBytes) Fail(plat::gfx::kInvalidData, "the image file is too large", __LINE__);
    std::vector<unsigned char> bytes(source.GetSize());
    bytes.resize(source.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size())));

    plat::ImageLoadParams params;
    params.width = plat::kImageDefault;
    params.height = plat::kImageDefault;
    std::string why;
    plat::GraphicsResult result = plat::gfx::kOk;
    if (maxSize > 0) {
        plat::ImageInfo header;
        result = plat::GetImageInfoFromMemory(bytes.data(), bytes.size(), header, &why);
        params.width = std::min(header.width, static_cast<std::uint32_t>(maxSize));
        params.height = std::min(header.height, static_cast<std::uint32_t>(maxSize));
    }

    info_ = plat::ImageInfo();
    info_.width = info_.height = info_.depth = info_.mipLevels = 0xFFFFFFFFu;
    info_.format = plat::Format::Unknown;
    info_.resourceType = plat::ImageResourceType::Texture;
    info_.imageFileFormat = static_cast<plat::ImageFileFormat>(0);

    if (plat::Succeeded(result)) {
        params.mipLevels = mipmaps ? plat::kImageDefault : 1;
        params.format = format;
        params.filter = kLoadFilter;
        params.mipFilter = plat::ImageFilter::Default;
        params.colorKey = 0;
        result = plat::CreateTextureFromMemory(CurrentDevice(), bytes.data(), bytes.size(), params, plat::Pool::Managed,
                                               &info_, texture_, &why);
    }
    if (plat::Failed(result)) {
        texture_.reset();
        Fail(result, why, __LINE__);
    }
}

void CTexture::Fail(plat::GraphicsResult result, const std::string& reason, int line) {
    LogGraphicsError(result, reason, __FILE__, line);
    throw EFileOpenError(this, "テクスチャのロードに失敗しました.");
}

void CTexture::Apply() { CurrentDevice().SetTexture(0, texture_.get()); }

plat::ITexture* CTexture::GetTexture() { return texture_.get(); }

int CTexture::GetWidth() { return static_cast<int>(info_.width); }

int CTexture::GetHeight() { return static_cast<int>(info_.height); }

}  // namespace type_a
}  // namespace trivale
