#include "benchmark/TextLines.h"

#include <cstdint>

#include "core/Text.h"

using trivale::type_a::TextAlign;

namespace {

constexpr std::uint32_t kAlphaBlend = 0x10;

}  // namespace

void CTextLines::DrawLines(const ShowCanvas& canvas) {
    trivale::type_a::CSpriteFont& font = *canvas.large;
    const int width = canvas.backBufferWidth;
    const int top = static_cast<int>(canvas.viewport->GetY());
    const std::uint32_t height = canvas.viewport->GetHeight();
    const int cw = font.GetCharWidth();
    canvas.sprite->Begin(kAlphaBlend);
    const int lineHeight = font.GetCharHeight() * 140 / 100;
    if (lineHeight > 0) {
        // Below ten rows the difference wraps, so a small screen keeps every line.
        const std::uint32_t limit = height / static_cast<std::uint32_t>(lineHeight) - 10u;
        while (lines_.size() > limit) lines_.pop_front();
    }
    const std::uint32_t colour = WhiteWithOpacity(fade_.GetValue());
    int row = 0;
    for (const std::string& line : lines_) {
        int x = width / 2;
        TextAlign align = TextAlign::Centre;
        int variant = 0;
        int scale = 1;
        std::string text = line;
        if (line.size() >= 3 && (line[0] == '@' || line[0] == '$')) {
            scale = line[0] == '$' ? 2 : 1;
            variant = static_cast<unsigned char>(line[1]) - '0';
            if (line[2] == 'l') {
                x = 2 * cw;
                align = TextAlign::Left;
            } else if (line[2] == 'r') {
                x = width - 2 * cw;
                align = TextAlign::Right;
            }
            text = line.substr(3);
        }
        const int y = (row + 5) * lineHeight + top;
        font.DrawTextScaled(text, x, y, static_cast<float>(scale), static_cast<float>(scale), variant, colour,
                            static_cast<int>(align));
        row += scale;
    }
    canvas.sprite->End();
}

void CTextLines::Advance(double elapsedMs) { fade_.Advance(static_cast<float>(elapsedMs * 0.001)); }

void DrawParticleCount(const ShowCanvas& canvas, int count) {
    if (canvas.debugPage == 0 || canvas.debug == nullptr) return;
    const int y = static_cast<int>(canvas.viewport->GetBottom()) - 4 * canvas.debug->GetCharHeight();
    canvas.sprite->Begin(kAlphaBlend);
    canvas.debug->DrawText(trivale::FormatString("%d particles ", count), canvas.backBufferWidth, y, 0, 0xFFFFFFFF,
                           static_cast<int>(TextAlign::Right));
    canvas.sprite->End();
}
