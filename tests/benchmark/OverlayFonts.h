// The overlay's data made here for the tests: a 5 x 7 glyph in each cell of each overlay font
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

// Row `row` (top first, bit 4 leftmost) of a glyph: digits drawn so numbers read (one letter
// a row, '@' + bits); any other character but the space is a box with its code inside.
inline int GlyphRow(int code, int row) {
    static const char digits[] = "NQSUYQN DLDDDDN NQABDH_ _BDBAQN BFJR_BB _P^AAQN FHP^QQN _ABDHHH NQQNQQN NQQOABL";
    if (code >= '0' && code <= '9') return digits[(code - '0') * 8 + row] - '@';
    if (code <= ' ' || code >= 0x7F) return 0;
    return row == 0 || row == 6 ? 31 : row == 3 ? 16 | (code & 15) : 17;
}

// Writes the six overlay fonts, on the grids the overlay reads them with (cells 16 to a row from code
// `first`, lower case drawn as capitals, glyph pixels scale x scale from (dx, dy) in the cell), and a
// watermark (a 512 x 128 picture, a faint frame) under `dir`.
inline void WriteOverlayData(const std::filesystem::path& dir) {
    auto write = [&dir](const std::string& name, int width, int height, const std::vector<std::uint32_t>& texels) {
        const std::vector<unsigned char> bytes = rendertest::MakeTga(width, height, texels);
        std::filesystem::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    const struct {
        const char* name;
        int width, height, cell, first, count, scale, dx, dy;
    } fonts[] = {
        {"fonts/FONT08T2.png", 256, 256, 16, 0x00, 256, 1, 1, 0},
        {"fonts/FONT12T2.png", 256, 64, 16, 0x20, 64, 2, 0, 0},
        {"fonts/FONT16T2.png", 256, 64, 16, 0x20, 64, 2, 3, 1},
        {"fonts/FONT20T2.png", 512, 128, 32, 0x20, 64, 2, 5, 3},
        {"fonts/FONT24T2.png", 512, 96, 24, 0x20, 64, 3, 4, 1},
        {"fonts/FONT32T2.png", 512, 128, 32, 0x20, 64, 4, 6, 2},
    };
    for (const auto& f : fonts) {
        std::vector<std::uint32_t> texels(static_cast<std::size_t>(f.width) * f.height, 0);
        for (int cell = 0; cell < f.count; ++cell) {
            const int code = (f.first + cell) & 0x7F, upper = code >= 'a' && code <= 'z' ? code - 32 : code;
            for (int y = 0, ty; y < 7 * f.scale && (ty = cell / 16 * f.cell + f.dy + y) < f.height; ++y)
                for (int x = 0; x < 5 * f.scale; ++x)
                    if (GlyphRow(upper, y / f.scale) & (0x10 >> x / f.scale))
                        texels[static_cast<std::size_t>(ty) * f.width + cell % 16 * f.cell + f.dx + x] = ~0u;
        }
        write(f.name, f.width, f.height, texels);
    }
    std::vector<std::uint32_t> mark(512 * 128, 0);
    for (int x = 0; x < 376; ++x) mark[x] = mark[127 * 512 + x] = 0x40FFFFFFu;
    write("clip_watermark.dds", 512, 128, mark);
}

}  // namespace overlaytest
