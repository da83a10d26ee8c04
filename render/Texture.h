// One texture decoded from an image file that arrives as a stream.
#pragma once

#include <memory>
#include <string>

#include "core/Object.h"
#include "core/Stream.h"
#include "gfxkit/ImageLoader.h"
#include "platform/Graphics.h"

namespace trivale {
namespace type_a {

class CTexture : public virtual CNonCopyable {
public:
    CTexture();
    ~CTexture() override;

    // Reads the whole source and makes the texture: the file's size (at most maxSize on each side when
    // maxSize > 0), the full mip chain or one level, `format` (Unknown: the file's own). Any previous
    // texture is released first. When the image cannot be read or the device refuses it: the graphics
    // error line with the loader's reason in the log, then EFileOpenError naming the source's file.
    virtual void Load(IStream& source, bool mipmaps, plat::Format format, int maxSize);
    // Sets the texture on stage 0 (clears the stage when there is none).
    virtual void Apply();
    virtual plat::ITexture* GetTexture();
    // The image file's size, not the created texture's.
    virtual int GetWidth();
    virtual int GetHeight();

private:
    void Decode(IStream& source, bool mipmaps, plat::Format format, int maxSize);
    [[noreturn]] void Fail(plat::GraphicsResult result, const std::string& reason, int line);

    std::unique_ptr<plat::ITexture> texture_;
    plat::ImageInfo info_;
};

}  // namespace type_a
}  // namespace trivale
