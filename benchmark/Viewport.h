// Screen rectangles with a depth range, applied as the device's viewport, and the screen layout: a main
// picture of fixed shape (16:10, or 16:9 in wide-screen mode) across the full width of the back buffer,
// with black bars above and below it when the back buffer is taller.
#pragma once

#include <cstdint>

#include "core/Object.h"
#include "platform/Graphics.h"
#include "platform/Rect.h"

class CViewport : public virtual trivale::CObject {
public:
    CViewport() {}
    ~CViewport() override {}

    // Sets it as the viewport of the driver's device.
    virtual void Apply();
    // Stores the values without applying them.
    virtual void Set(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height, float minZ,
                     float maxZ);
    virtual std::uint32_t GetX() const { return viewport_.x; }
    virtual std::uint32_t GetY() const { return viewport_.y; }
    virtual std::uint32_t GetRight() const { return viewport_.x + viewport_.width; }
    virtual std::uint32_t GetBottom() const { return viewport_.y + viewport_.height; }
    virtual std::uint32_t GetWidth() const { return viewport_.width; }
    virtual std::uint32_t GetHeight() const { return viewport_.height; }
    // Width over height; infinite or not a number for a viewport of no height.
    virtual float GetAspect() const;
    virtual float GetMinZ() const { return viewport_.minZ; }
    virtual float GetMaxZ() const { return viewport_.maxZ; }

    const plat::Viewport& GetRecord() const { return viewport_; }

private:
    plat::Viewport viewport_{0, 0, 0, 0, 0.0f, 0.0f};
};

// The four rectangles of the screen. The bars are as high as each other; a back buffer whose height
// leaves an odd row keeps that last row out of both.
struct ScreenLayout {
    plat::Viewport full, topBar, bottomBar, main;
};
// For a back buffer of width x height; sizes below 0 count as 0.
ScreenLayout ComputeScreenLayout(int width, int height, bool wideScreen);

// How one overlay font is made from its texture: the cell grid, the character codes it holds, an
// optional source rectangle and the advance and line height (0: the cell's).
struct OverlayFontLayout {
    const char* file;
    int cellWidth, cellHeight;
    int first, last;
    bool hasSourceRect;
    plat::Rect sourceRect;
    int charWidth, charHeight;
};
// The large font 0 and the small font 1, chosen by the back buffer's width.
struct OverlayFontChoice {
    OverlayFontLayout large, small;
};
const OverlayFontChoice& ChooseOverlayFonts(int backBufferWidth);
// The debug font 2, the same at every width.
extern const OverlayFontLayout kDebugFontLayout;
