// Draws the configuration dialog's banner, a winter night over snowy hills with the program's name,
// and writes it as an uncompressed 24-bit BMP.
// usage: tv_make_banner <output.bmp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Printable.h"

namespace {

const int kWidth = 440;
const int kHeight = 88;

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// 5 x 7 letters, one row per byte, bit 4 leftmost.
struct Glyph {
    char c;
    uint8_t rows[7];
};
const Glyph kGlyphs[] = {
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* Find(char c) {
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) return &g;
    }
    return &kGlyphs[9];
}

class Canvas {
public:
    Canvas() : pixels_(kWidth * kHeight) {}
    Rgb& At(int x, int y) { return pixels_[y * kWidth + x]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < kWidth && y < kHeight; }
    void Blend(int x, int y, Rgb c, double alpha) {
        if (Inside(x, y)) At(x, y) = Mix(At(x, y), c, alpha);
    }
    void Text(const char* text, int left, int top, int scale, Rgb colour, double alpha) {
        for (int i = 0; text[i] != '\0'; ++i) {
            const Glyph* g = Find(text[i]);
            for (int row = 0; row < 7; ++row) {
                for (int col = 0; col < 5; ++col) {
                    if (!(g->rows[row] & (0x10 >> col))) continue;
                    for (int dy = 0; dy < scale; ++dy) {
                        for (int dx = 0; dx < scale; ++dx) {
                            Blend(left + i * 6 * scale + col * scale + dx, top + row * scale + dy, colour, alpha);
                        }
                    }
                }
            }
        }
    }
    bool Save(const char* path) const {
        const int stride = (kWidth * 3 + 3) & ~3;
        const uint32_t imageSize = static_cast<uint32_t>(stride) * kHeight;
        uint8_t header[54] = {};
        auto put32 = [&](int at, uint32_t v) {
            for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        header[0] = 'B';
        header[1] = 'M';
        put32(2, 54 + imageSize);
        put32(10, 54);
        put32(14, 40);
        put32(18, kWidth);
        put32(22, kHeight);
        header[26] = 1;
        header[28] = 24;
        put32(34, imageSize);
        put32(38, 2835);
        put32(42, 2835);
        std::vector<uint8_t> data(imageSize, 0);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = &data[static_cast<size_t>(kHeight - 1 - y) * stride];  // bottom-up
            for (int x = 0; x < kWidth; ++x) {
                const Rgb& p = pixels_[y * kWidth + x];
                row[x * 3 + 0] = Byte(p.b);
                row[x * 3 + 1] = Byte(p.g);
                row[x * 3 + 2] = Byte(p.r);
            }
        }
        FILE* file = std::fopen(path, "wb");
        if (file == nullptr) return false;
        bool ok = std::fwrite(header, 1, sizeof(header), file) == sizeof(header) &&
                  std::fwrite(data.data(), 1, data.size(), file) == data.size();
        return std::fclose(file) == 0 && ok;
    }

private:
    static uint8_t Byte(double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 1 ? 255 : std::lround(v * 255)); }
    std::vector<Rgb> pixels_;
};

// A fixed pseudo-random sequence, so that every build draws the same picture.
uint32_t g_seed = 0x2F6E2B1u;
double Random() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return (g_seed >> 8) / 16777216.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.bmp>\n", plat::Printable(argv[0]).c_str());
        return 2;
    }
    Canvas canvas;
    const Rgb top = {0.02, 0.05, 0.16}, horizon = {0.20, 0.36, 0.62};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) canvas.At(x, y) = Mix(top, horizon, y / double(kHeight - 1));
    }
    // Two ranges of snowy hills, the far one bluer.
    for (int x = 0; x < kWidth; ++x) {
        double far = 58 + 9 * std::sin(x * 0.021) + 5 * std::sin(x * 0.057 + 1.3);
        double nearHill = 72 + 7 * std::sin(x * 0.013 + 2.1) + 3 * std::sin(x * 0.041);
        for (int y = 0; y < kHeight; ++y) {
            if (y >= far) canvas.At(x, y) = Mix({0.55, 0.66, 0.82}, {0.70, 0.78, 0.90}, (y - far) / 30.0);
            if (y >= nearHill) canvas.At(x, y) = Mix({0.86, 0.90, 0.97}, {0.97, 0.98, 1.0}, (y - nearHill) / 16.0);
        }
    }
    // Falling snow: soft flakes of one to three pixels.
    for (int i = 0; i < 260; ++i) {
        int x = static_cast<int>(Random() * kWidth), y = static_cast<int>(Random() * kHeight);
        double size = Random();
        double alpha = 0.35 + 0.6 * Random();
        canvas.Blend(x, y, {1, 1, 1}, alpha);
        if (size > 0.6) {
            canvas.Blend(x + 1, y, {1, 1, 1}, alpha * 0.5);
            canvas.Blend(x, y + 1, {1, 1, 1}, alpha * 0.5);
        }
        if (size > 0.9) {
            canvas.Blend(x - 1, y, {1, 1, 1}, alpha * 0.4);
            canvas.Blend(x, y - 1, {1, 1, 1}, alpha * 0.4);
        }
    }
    const char* title = "VELLACOR 06";
    canvas.Text(title, 22, 19, 4, {0.0, 0.02, 0.08}, 0.55);  // shadow
    canvas.Text(title, 20, 17, 4, {0.96, 0.98, 1.0}, 1.0);
    if (!canvas.Save(argv[1])) {
        std::fprintf(stderr, "%s: cannot write '%s'\n", plat::Printable(argv[0]).c_str(),
                     plat::Printable(argv[1]).c_str());
        return 1;
    }
    return 0;
}
