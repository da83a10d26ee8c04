// The overlay's data made here for tests and the demo: a 5 x 7 glyph in each cell of each overlay font
// and a watermark, written as TGA files under the names the overlay asks for (the loader goes by the
// bytes, not the name).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/render/scene/TestScene.h"

namespace overlaytest {

// Rows of five pixels, top first, bit 4 leftmost: digits drawn so the demo's numbers read; any other
// character but the space is a box with its code inside, so text is seen where it lands.
inline int GlyphRow(int code, int row) {
    static const int digits[10][7] = {
        {14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},    {14, 17, 1, 2, 4, 8, 31},   {31, 2, 4, 2, 1, 17, 14},
        {2, 6, 10, 18, 31, 2, 2},     {31, 16, 30, 1, 1, 17, 14}, {6, 8, 16, 30, 17, 17, 14}, {31, 1, 2, 4, 8, 8, 8},
        {14, 17, 17, 14, 17, 17, 14}, {14, 17, 17, 15, 1, 2, 12}};
    if (code >= '0' && code <= '9') return digits[code - '0'][row];
    if (code <= ' ' || code >= 0x7F) return 0;
    return row == 0 || row == 6 ? 31 : row == 3 ? 16 | (code & 15) : 17;
}

// A texture of `count` square cells, 16 to a row, from the code `first` (lower case drawn as capitals);
// glyph pixels are scale x scale, drawn from (dx, dy) in the cell.
struct FontFile {
    const char* name;
    int width, height, cell, first, count, scale, dx, dy;
};

inline std::vector<unsigned char> MakeFont(const FontFile& f) {
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(f.width) * f.height, 0);
    for (int cell = 0; cell < f.count; ++cell) {
        const int code = (f.first + cell) & 0x7F, upper = code >= 'a' && code <= 'z' ? code - 32 : code;
        for (int y = 0; y < 7 * f.scale; ++y) {
            for (int x = 0; x < 5 * f.scale; ++x) {
                const int tx = cell % 16 * f.cell + f.dx + x, ty = cell / 16 * f.cell + f.dy + y;
                if ((GlyphRow(upper, y / f.scale) & (0x10 >> x / f.scale)) != 0 && ty < f.height) {
                    texels[static_cast<std::size_t>(ty) * f.width + tx] = 0xFFFFFFFFu;
                }
            }
        }
    }
    return rendertest::MakeTga(f.width, f.height, texels);
}

// Writes the six overlay fonts, on the grids the overlay reads them with, and a watermark (a 512 x 128
// picture, a faint frame) under `dir`.
inline void WriteOverlayData(const std::filesystem::path& dir) {
    const FontFile fonts[] = {
        {"fonts/FONT08T2.png", 256, 256, 16, 0x00, 256, 1, 1, 0},
        {"fonts/FONT12T2.png", 256, 64, 16, 0x20, 64, 2, 0, 0},
        {"fonts/FONT16T2.png", 256, 64, 16, 0x20, 64, 2, 3, 1},
        {"fonts/FONT20T2.png", 512, 128, 32, 0x20, 64, 2, 5, 3},
        {"fonts/FONT24T2.png", 512, 96, 24, 0x20, 64, 3, 4, 1},
        {"fonts/FONT32T2.png", 512, 128, 32, 0x20, 64, 4, 6, 2},
    };
    auto write = [&dir](const std::string& name, const std::vector<unsigned char>& bytes) {
        std::filesystem::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    for (const FontFile& f : fonts) write(f.name, MakeFont(f));
    std::vector<std::uint32_t> mark(512 * 128, 0);
    for (int x = 0; x < 376; ++x) mark[x] = mark[127 * 512 + x] = 0x40FFFFFFu;
    write("clip_watermark.dds", rendertest::MakeTga(512, 128, mark));
}

}  // namespace overlaytest
