// A bitmap font of fixed cells drawn glyph by glyph with one sprite. A font texture may hold several
// glyph sets one after another; the variant picks the set.
#pragma once

#include <cstdint>
#include <string>

#include "core/Object.h"
#include "render/Sprite.h"

namespace trivale {
namespace type_a {

enum class TextAlign : int { Left = 0, Centre = 1, Right = 2 };

class CSpriteFont : public virtual CNonCopyable {
public:
    CSpriteFont() {}
    ~CSpriteFont() override {}

    // Glyphs for the character codes first..last, cells of the given size over the whole texture.
    virtual void Initialize(CDXSprite* batch, CTexture* texture, int cellWidth, int cellHeight, int first, int last);
    virtual CSprite& GetSprite();
    // The advance and the height may differ from the cell, so that glyphs overlap or spread.
    virtual void SetCharWidth(int width);
    virtual void SetCharHeight(int height);
    virtual void SetSourceRect(const plat::Rect& rect);
    virtual int GetCharWidth();
    virtual int GetCharHeight();
    // x is the left edge, the middle or the right edge by alignment (0, 1, 2; others act as 0). The
    // batch must have been begun. Leaves stage 0 point-filtered so the glyphs stay sharp. Bytes
    // outside first..last (every byte of 0x80 and above for a font from 0) are skipped but advance.
    virtual void DrawText(const std::string& text, int x, int y, int variant, std::uint32_t colour, int alignment);
    virtual void DrawTextScaled(const std::string& text, int x, int y, float scaleX, float scaleY, int variant,
                                std::uint32_t colour, int alignment);

private:
    void Draw(const std::string& text, int x, int y, bool scaled, float scaleX, float scaleY, int variant,
              std::uint32_t colour, int alignment);

    CSprite sprite_;
    int first_ = 0;
    int last_ = 0;
    int charWidth_ = 0;
    int charHeight_ = 0;
};

}  // namespace type_a
}  // namespace trivale
