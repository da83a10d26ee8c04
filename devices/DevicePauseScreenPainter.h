// Draws the pause screen onto the graphics device's back buffer with nothing but clears of small
// rectangles: solid fills, bitmaps copied run by run, and text in a small built-in block font (printable
// ASCII; every other character shows as a hollow box).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devices/GameApplicationDriverDX9.h"
#include "platform/Graphics.h"

namespace trivale {

class CDevicePauseScreenPainter : public IPauseScreenPainter {
public:
    // present: Finish shows the back buffer.
    CDevicePauseScreenPainter(plat::IGraphicsDevice* device, bool present);

    void Fill(std::uint32_t colour) override;
    void DrawBitmap(const CSimpleDIB& bitmap, int x, int y) override;
    int TextWidth(const std::string& text) override;
    int TextHeight(const std::string& text) override;
    void DrawText(const std::string& text, int x, int y, std::uint32_t colour) override;
    void Finish() override;

    // The glyph cell: 3 x 5 blocks of kScale pixels, one block apart.
    static const int kScale = 2;
    static const int kAdvance = 4 * kScale;
    static const int kHeight = 5 * kScale;

private:
    // Clears the rectangles, clipped to the back buffer, with one colour.
    void ClearRects(std::vector<plat::Rect>& rects, std::uint32_t colour);

    plat::IGraphicsDevice* device_;
    bool present_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace trivale
