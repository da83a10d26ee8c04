// A Windows bitmap file (".bmp") decoded into 32-bit pixels, and drawn by copying rectangles onto a
// pixel surface. Uncompressed and bit-field files of 1, 4, 8, 16, 24 and 32 bits per pixel, bottom-up or
// top-down; no run-length or embedded JPEG/PNG data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Object.h"

namespace trivale {

class IStream;

// Pixels 0x00RRGGBB, rows top-down: a decoded bitmap, and the surface bitmaps are drawn on.
struct PixelSurface {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    PixelSurface() {}
    PixelSurface(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

class CSimpleDIB : public virtual CNonCopyable {
public:
    CSimpleDIB() {}
    ~CSimpleDIB() override;

    // Loads the bitmap that starts at the stream's position. EInvalidFileFormat when it is no bitmap
    // file; EReadError when it is cut short, inconsistent or of a kind that cannot be decoded. A failed
    // load leaves the object empty.
    virtual void Load(IStream& stream);
    virtual void Load(const std::string& path);
    virtual void Release();
    virtual int GetWidth() const { return bitmap_.width; }
    virtual int GetHeight() const { return bitmap_.height; }
    // Null while nothing is loaded.
    virtual const PixelSurface* GetBitmap() const { return loaded_ ? &bitmap_ : nullptr; }
    // Copies the rectangle of the bitmap at (sourceX, sourceY) to (x, y) of the target, clipped to both;
    // nothing without a bitmap.
    virtual void Draw(PixelSurface& target, int x, int y, int width, int height, int sourceX, int sourceY) const;
    virtual void Draw(PixelSurface& target, int x, int y) const;

private:
    PixelSurface bitmap_;
    bool loaded_ = false;
};

}  // namespace trivale
