#include "devices/DevicePauseScreenPainter.h"

#include <algorithm>

namespace trivale {

namespace {

// Printable ASCII from ' ' to '~', 3 x 5 blocks each, rows from the top, 'X' set.
const char* const kGlyphs[95] = {
    "..............." /*   */, ".X..X..X.....X." /* ! */, "X.XX.X........." /* " */, "X.XXXXX.XXXXX.X" /* # */,
    ".XXXX..X..XXXX." /* $ */, "X.X..X..X..X..X" /* % */, ".X.X.X.X.X.XXXX" /* & */, ".X..X.........." /* ' */,
    "..X.X.X.X.X...X" /* ( */, "X...X.X.X.X.X.." /* ) */, "...X.X.X.X.X..." /* * */, "....X.XXX.X...." /* + */,
    "..........X.X.." /* , */, "......XXX......" /* - */, ".............X." /* . */, "..X..X.X..X.X.." /* / */,
    "XXXX.XX.XX.XXXX" /* 0 */, ".X.XX..X..X.XXX" /* 1 */, "XXX..XXXXX..XXX" /* 2 */, "XXX..XXXX..XXXX" /* 3 */,
    "X.XX.XXXX..X..X" /* 4 */, "XXXX..XXX..XXXX" /* 5 */, "XXXX..XXXX.XXXX" /* 6 */, "XXX..X..X..X..X" /* 7 */,
    "XXXX.XXXXX.XXXX" /* 8 */, "XXXX.XXXX..XXXX" /* 9 */, "....X.....X...." /* : */, "....X.....X.X.." /* ; */,
    "..X.X.X...X...X" /* < */, "...XXX...XXX..." /* = */, "X...X...X.X.X.." /* > */, "XXX..X.X.....X." /* ? */,
    "XXXX.XXXXX..XXX" /* @ */, ".X.X.XXXXX.XX.X" /* A */, "XX.X.XXX.X.XXX." /* B */, ".XXX..X..X...XX" /* C */,
    "XX.X.XX.XX.XXX." /* D */, "XXXX..XX.X..XXX" /* E */, "XXXX..XX.X..X.." /* F */, ".XXX..X.XX.X.XX" /* G */,
    "X.XX.XXXXX.XX.X" /* H */, "XXX.X..X..X.XXX" /* I */, "..X..X..XX.X.X." /* J */, "X.XX.XXX.X.XX.X" /* K */,
    "X..X..X..X..XXX" /* L */, "X.XXXXXXXX.XX.X" /* M */, "XX.X.XX.XX.XX.X" /* N */, ".X.X.XX.XX.X.X." /* O */,
    "XX.X.XXX.X..X.." /* P */, ".X.X.XX.XXX..XX" /* Q */, "XX.X.XXX.X.XX.X" /* R */, ".XXX...X...XXX." /* S */,
    "XXX.X..X..X..X." /* T */, "X.XX.XX.XX.XXXX" /* U */, "X.XX.XX.XX.X.X." /* V */, "X.XX.XXXXXXXX.X" /* W */,
    "X.XX.X.X.X.XX.X" /* X */, "X.XX.X.X..X..X." /* Y */, "XXX..X.X.X..XXX" /* Z */, "XX.X..X..X..XX." /* [ */,
    "X..X...X...X..X" /* \ */, ".XX..X..X..X.XX" /* ] */, ".X.X.X........." /* ^ */, "............XXX" /* _ */,
    "X...X.........." /* ` */, "....XX.XXX.X.XX" /* a */, "X..XX.X.XX.XXX." /* b */, "....XXX..X...XX" /* c */,
    "..X.XXX.XX.X.XX" /* d */, "....XXX.XXX..XX" /* e */, "..X.X.XXX.X..X." /* f */, "....XXX.X.XX.X." /* g */,
    "X..XX.X.XX.XX.X" /* h */, ".X.....X..X..X." /* i */, "..X.....XX.X.X." /* j */, "X..X.XXX.XX.X.X" /* k */,
    "XX..X..X..X..XX" /* l */, "...XXXXXXX.XX.X" /* m */, "...XX.X.XX.XX.X" /* n */, "....X.X.XX.X.X." /* o */,
    "...XX.X.XXX.X.." /* p */, "....XXX.X.XX..X" /* q */, "...X.XXX.X..X.." /* r */, "....XXXX...XXX." /* s */,
    ".X.XXX.X..X...X" /* t */, "...X.XX.XX.X.XX" /* u */, "...X.XX.XX.X.X." /* v */, "...X.XX.XXXXXXX" /* w */,
    "...X.X.X..X.X.X" /* x */, "...X.XXXX..XXX." /* y */, "...XXX.X.X..XXX" /* z */, ".XX.X.X...X..XX" /* { */,
    ".X..X.....X..X." /* | */, "XX..X...X.X.XX." /* } */, "...XX.X.XX....." /* ~ */,
};

// The hollow box of characters the font does not have.
const char* const kMissingGlyph = "XXXX.XX.XX.XXXX";

// The glyphs of a UTF-8 text: one per character, the continuation bytes of a sequence skipped.
std::vector<const char*> Glyphs(const std::string& text) {
    std::vector<const char*> glyphs;
    for (unsigned char c : text) {
        if ((c & 0xC0) == 0x80) continue;
        glyphs.push_back(c >= 0x20 && c < 0x7F ? kGlyphs[c - 0x20] : kMissingGlyph);
    }
    return glyphs;
}

}  // namespace

CDevicePauseScreenPainter::CDevicePauseScreenPainter(plat::IGraphicsDevice* device, bool present)
    : device_(device), present_(present) {
    const plat::PresentParameters& parameters = device_->GetParameters();
    width_ = static_cast<int>(parameters.backBufferWidth);
    height_ = static_cast<int>(parameters.backBufferHeight);
}

void CDevicePauseScreenPainter::ClearRects(std::vector<plat::Rect>& rects, std::uint32_t colour) {
    std::vector<plat::Rect> clipped;
    for (const plat::Rect& r : rects) {
        plat::Rect c = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width_),
                        std::min(r.bottom, height_)};
        if (c.left < c.right && c.top < c.bottom) clipped.push_back(c);
    }
    rects.clear();
    if (clipped.empty() || width_ <= 0 || height_ <= 0) return;
    // The whole back buffer, whatever viewport the scenes left set; theirs comes back afterwards.
    plat::Viewport previous;
    device_->GetViewport(previous);
    plat::Viewport full;
    full.width = static_cast<std::uint32_t>(width_);
    full.height = static_cast<std::uint32_t>(height_);
    device_->SetViewport(full);
    device_->Clear(static_cast<std::uint32_t>(clipped.size()), clipped.data(), plat::kClearTarget, 0xFF000000u | colour,
                   1.0f, 0);
    if (previous.width != 0 && previous.height != 0) device_->SetViewport(previous);
}

void CDevicePauseScreenPainter::Fill(std::uint32_t colour) {
    std::vector<plat::Rect> rects(1, plat::Rect{0, 0, width_, height_});
    ClearRects(rects, colour);
}

void CDevicePauseScreenPainter::DrawBitmap(const CSimpleDIB& bitmap, int x, int y) {
    const PixelSurface* surface = bitmap.GetBitmap();
    if (surface == nullptr) return;
    // Runs of one colour along each row, one clear per run.
    std::vector<plat::Rect> run;
    for (int row = 0; row < surface->height; ++row) {
        const int ty = y + row;
        if (ty < 0 || ty >= height_) continue;
        int start = 0;
        while (start < surface->width) {
            const std::uint32_t colour = surface->At(start, row);
            int end = start + 1;
            while (end < surface->width && surface->At(end, row) == colour) ++end;
            run.push_back(plat::Rect{x + start, ty, x + end, ty + 1});
            ClearRects(run, colour & 0xFFFFFF);
            start = end;
        }
    }
}

int CDevicePauseScreenPainter::TextWidth(const std::string& text) {
    const std::size_t count = Glyphs(text).size();
    return count == 0 ? 0 : static_cast<int>(count) * kAdvance - kScale;
}

int CDevicePauseScreenPainter::TextHeight(const std::string&) { return kHeight; }

void CDevicePauseScreenPainter::DrawText(const std::string& text, int x, int y, std::uint32_t colour) {
    std::vector<plat::Rect> blocks;
    int left = x;
    for (const char* glyph : Glyphs(text)) {
        for (int i = 0; i < 15; ++i) {
            if (glyph[i] != 'X') continue;
            const int bx = left + (i % 3) * kScale;
            const int by = y + (i / 3) * kScale;
            blocks.push_back(plat::Rect{bx, by, bx + kScale, by + kScale});
        }
        left += kAdvance;
    }
    ClearRects(blocks, colour);
}

void CDevicePauseScreenPainter::Finish() {
    if (present_) device_->Present();
}

}  // namespace trivale
