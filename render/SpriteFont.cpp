#include "render/SpriteFont.h"

#include <cmath>

#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

void CSpriteFont::Initialize(CDXSprite* batch, CTexture* texture, int cellWidth, int cellHeight, int first, int last) {
    sprite_.SetTexture(batch, texture);
    sprite_.SetSize(cellWidth, cellHeight);
    charWidth_ = cellWidth;
    charHeight_ = cellHeight;
    first_ = first;
    last_ = last;
}

CSprite& CSpriteFont::GetSprite() { return sprite_; }

void CSpriteFont::SetCharWidth(int width) { charWidth_ = width; }

void CSpriteFont::SetCharHeight(int height) { charHeight_ = height; }

void CSpriteFont::SetSourceRect(const plat::Rect& rect) { sprite_.SetSourceRect(rect); }

int CSpriteFont::GetCharWidth() { return charWidth_; }

int CSpriteFont::GetCharHeight() { return charHeight_; }

void CSpriteFont::DrawText(const std::string& text, int x, int y, int variant, std::uint32_t colour, int alignment) {
    Draw(text, x, y, false, 1.0f, 1.0f, variant, colour, alignment);
}

void CSpriteFont::DrawTextScaled(const std::string& text, int x, int y, float scaleX, float scaleY, int variant,
                                 std::uint32_t colour, int alignment) {
    Draw(text, x, y, true, scaleX, scaleY, variant, colour, alignment);
}

void CSpriteFont::Draw(const std::string& text, int x, int y, bool scaled, float scaleX, float scaleY, int variant,
                       std::uint32_t colour, int alignment) {
    // Counts in 64 bits: a long text or a large set index must not overflow.
    const std::int64_t setSize = static_cast<std::int64_t>(last_) - first_ + 1;
    const std::int64_t base = setSize * variant;
    std::int64_t advance = charWidth_;
    if (scaled) {
        const double scaledAdvance = static_cast<double>(charWidth_) * scaleX;
        advance = std::isfinite(scaledAdvance) && std::fabs(scaledAdvance) < 2147483648.0
                      ? static_cast<std::int64_t>(scaledAdvance)
                      : 0;
    }
    const std::int64_t width = static_cast<std::int64_t>(text.size()) * advance;
    std::int64_t offset = 0;
    if (alignment == static_cast<int>(TextAlign::Centre)) {
        offset = -(width >= 0 ? width / 2 : -((-width + 1) / 2));  // the half width rounded down
    } else if (alignment == static_cast<int>(TextAlign::Right)) {
        offset = -width;
    }

    plat::IGraphicsDevice& device = CurrentDevice();
    device.SetSamplerState(0, plat::SamplerState::MagFilter, plat::TextureFilter::Point);
    device.SetSamplerState(0, plat::SamplerState::MinFilter, plat::TextureFilter::Point);
    device.SetSamplerState(0, plat::SamplerState::MipFilter, plat::TextureFilter::Point);

    std::int64_t pen = x + offset;
    for (char byte : text) {
        const int c = static_cast<signed char>(byte);
        if (first_ <= c && c <= last_) {
            const int cell = static_cast<int>(c - first_ + base);
            if (scaled) {
                sprite_.DrawScaled(cell, static_cast<float>(pen), static_cast<float>(y), 0.0f, scaleX, scaleY, colour);
            } else {
                sprite_.Draw(cell, static_cast<float>(pen), static_cast<float>(y), 0.0f, colour);
            }
        }
        pen += advance;
    }
}

}  // namespace type_a
}  // namespace trivale
