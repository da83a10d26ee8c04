#include "tools/dataset/SceneTextures.h"

#include <algorithm>
#include <cmath>

#include "tools/dataset/Painting.h"

namespace trivale {
namespace dataset {

using namespace paint;

namespace {

const float kPi = 3.14159265358979f;

// The palette shared by the scenes: cold snow and rock, dark pines, warm wood and light.
const Rgb kSnowLight = Hex(0xF6F9FC), kSnowShade = Hex(0xB9CBE0), kSnowDeep = Hex(0x98AFCB);
const Rgb kRockDark = Hex(0x363B45), kRockLight = Hex(0x8C929D), kRockWarm = Hex(0x75695F);
const Rgb kNeedleDark = Hex(0x15301F), kNeedleLight = Hex(0x3F6B45), kTwig = Hex(0x2E2A1C);
const Rgb kWoodDark = Hex(0x3A2416), kWoodLight = Hex(0x8B5E3A), kGlowWarm = Hex(0xFFC870);

float U(int x, int size) { return (AsFloat(x) + 0.5f) / AsFloat(size); }

template <typename F>
Image Paint(int size, F texel) {
    Canvas canvas(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) texel(x, y, U(x, size), U(y, size), canvas.C(x, y), canvas.A(x, y));
    return canvas.ToImage();
}

// Rock heights (0..1) with cracks cut in, and the colour they give, lit from the top left.
struct RockField {
    int size;
    std::vector<float> height;
    std::vector<Rgb> colour;
};

RockField MakeRock(int size, std::uint32_t seed) {
    RockField rock{size, std::vector<float>(size * size), std::vector<Rgb>(size * size)};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = U(x, size), v = U(y, size);
            float h = Fbm(u, v, 4, 5, seed, 0.55f);
            const float ridged = 1 - std::fabs(2 * Fbm(u, v, 6, 3, seed + 5) - 1);
            // Slanted layers bent by the noise, as in bedded rock.
            const float layers = 0.5f + 0.5f * std::sin(2 * kPi * (3 * v + u + 0.8f * Fbm(u, v, 3, 3, seed + 6)));
            h = 0.55f * h + 0.3f * ridged + 0.15f * layers;
            // Cracks: cell borders bent by the noise and broken up, so they read as fractures, not paving.
            const float wu = 0.08f * (Fbm(u, v, 4, 3, seed + 7) - 0.5f),
                        wv = 0.08f * (Fbm(u, v, 4, 3, seed + 8) - 0.5f);
            float f1, f2;
            Cells(u + wu, v + wv, 5, seed + 9, f1, f2);
            const float crack =
                (1 - SmoothStep(0.0f, 0.04f, f2 - f1)) * SmoothStep(0.45f, 0.6f, Fbm(u, v, 4, 2, seed + 10));
            h -= 0.22f * crack;
            rock.height[y * size + x] = h;
        }
    }
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            auto at = [&](int i, int j) { return rock.height[((y + j + size) % size) * size + (x + i + size) % size]; };
            const float slope = (at(-1, -1) - at(1, 1)) * 6.0f;
            const float h = at(0, 0);
            const float u = U(x, size), v = U(y, size);
            Rgb c = Mix(kRockDark, kRockLight, SmoothStep(0.25f, 0.75f, h));
            c = Mix(c, kRockWarm, 0.35f * SmoothStep(0.45f, 0.75f, Fbm(u, v, 3, 3, seed + 17)));
            const float grit = 0.9f + 0.2f * Hash01(x, y, seed + 3);
            rock.colour[y * size + x] = Scale(c, Clamp01(0.85f + slope) * grit + 0.1f);
        }
    }
    return rock;
}

}  // namespace

Image DrawSnowGround() {
    return Paint(256, [](int x, int y, float u, float v, Rgb& c, float&) {
        const float drift = Fbm(u, v, 4, 4, 11);
        const float fine = Fbm(u, v, 32, 2, 12);
        c = Mix(kSnowDeep, kSnowShade, SmoothStep(0.2f, 0.45f, drift));
        c = Mix(c, kSnowLight, SmoothStep(0.4f, 0.7f, drift));
        c = Scale(c, 0.96f + 0.05f * fine);
        // Sparkle: a few single crystals catching the light.
        const float s = Hash01(x, y, 13);
        if (s > 0.994f) c = Mix(c, Hex(0xFFFFFF), 0.6f + 40 * (s - 0.994f));
    });
}

Image DrawRock() {
    const RockField rock = MakeRock(256, 21);
    return Paint(256, [&](int x, int y, float, float, Rgb& c, float&) { c = rock.colour[y * 256 + x]; });
}

Image DrawBark() {
    const int columns = 7;
    return Paint(128, [](int x, int y, float u, float v, Rgb& c, float&) {
        // Plates run up the trunk between wandering furrows, each plate broken across here and there.
        const float across =
            u * columns + 0.7f * (Fbm(u, v, 4, 3, 31) - 0.5f) + 0.25f * (Noise(u, v, 16, 4, 37) - 0.5f);
        const float column = std::floor(across);
        const float plate = std::pow(std::fabs(std::sin(kPi * across)), 0.45f);
        const int index = (static_cast<int>(column) % columns + columns) % columns;
        const float t = v * AsFloat(2 + index % 3) + Hash01(index, 0, 32) + 0.15f * Noise(u, v, 8, 2, 33);
        const float f = t - std::floor(t);
        const float split = 1 - SmoothStep(0.0f, 0.035f, std::min(f, 1 - f));
        const float height = plate * (1 - 0.8f * split);
        const Rgb face = Mix(Hex(0x5A3F2E), Hex(0x8E6E55), Noise(u, v, 28, 3, 34) * 0.7f + 0.3f * Hash01(x, y, 35));
        c = Mix(Hex(0x1A110C), face, SmoothStep(0.15f, 0.7f, height));
        const float lichen = SmoothStep(0.66f, 0.76f, Fbm(u, v, 6, 3, 36)) * SmoothStep(0.5f, 0.8f, height);
        c = Mix(c, Hex(0x8A8F78), 0.6f * lichen);
    });
}

Image DrawNeedles() {
    const int size = 256;
    std::vector<Segment> needles, twigs;
    Random random(41);
    for (int t = 0; t < 40; ++t) {
        // A twig from a random point, needles on both sides leaning towards its tip.
        const float x0 = random.Uniform(0, size), y0 = random.Uniform(0, size);
        const float a = random.Uniform(0, 2 * kPi), length = random.Uniform(60, 120);
        const float dx = std::cos(a), dy = std::sin(a);
        twigs.push_back({x0, y0, x0 + dx * length, y0 + dy * length});
        for (float s = 4; s < length; s += 2.2f) {
            const float px = x0 + dx * s, py = y0 + dy * s;
            const float n = (length - s < 20 ? (length - s) / 20 : 1.0f) * random.Uniform(13, 20);
            for (float side : {-1.0f, 1.0f}) {
                const float na = a + side * random.Uniform(0.6f, 1.0f);
                needles.push_back({px, py, px + std::cos(na) * n, py + std::sin(na) * n});
            }
        }
    }
    // Copies one tile over so that strokes crossing an edge come back in on the other side.
    auto tile = [&](const std::vector<Segment>& in) {
        std::vector<Segment> out;
        for (const Segment& s : in)
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i)
                    out.push_back({s.x0 + AsFloat(i * size), s.y0 + AsFloat(j * size), s.x1 + AsFloat(i * size),
                                   s.y1 + AsFloat(j * size)});
        return out;
    };
    const std::vector<float> needleCover = StrokeCoverage(tile(needles), 2.0f, size, size);
    const std::vector<float> twigCover = StrokeCoverage(tile(twigs), 2.2f, size, size);
    return Paint(size, [&](int x, int y, float u, float v, Rgb& c, float& a) {
        const std::size_t i = static_cast<std::size_t>(y) * size + x;
        const float shade = Fbm(u, v, 8, 3, 42);
        c = Mix(kNeedleDark, kNeedleLight, SmoothStep(0.3f, 0.75f, shade) * (0.6f + 0.4f * Hash01(x, y, 43)));
        if (twigCover[i] > 0.5f && twigCover[i] >= needleCover[i]) c = kTwig;
        // Alpha-tested: a texel is in or out.
        a = std::max(needleCover[i], twigCover[i]) >= 0.5f ? 1.0f : 0.0f;
        if (a == 0) c = kNeedleDark;  // so filtering at the edges does not bleed a bright fringe
    });
}

Image DrawCabin() {
    const int size = 256;
    const int logs = 8, logHeight = size / logs;
    const int wx0 = 84, wx1 = 172, wy0 = 72, wy1 = 168, frame = 7, bar = 5;
    return Paint(size, [&](int x, int y, float u, float v, Rgb& c, float&) {
        const int log = y / logHeight;
        const float t = (AsFloat(y % logHeight) + 0.5f) / logHeight;
        // A round log: lit on top, dark chinking between.
        const float round = std::sin(kPi * t);
        const float grain = Noise(u, v, 6, 64, 51 + log) * 0.6f + Noise(u, v, 24, 128, 52) * 0.4f;
        c = Mix(kWoodDark, kWoodLight, 0.35f + 0.5f * grain);
        c = Scale(c, 0.45f + 0.65f * std::pow(round, 0.6f) * (t < 0.5f ? 1.05f : 0.9f));
        if (t < 0.07f || t > 0.93f) c = Mix(c, Hex(0xC8C2B4), 0.35f);  // pale chinking
        // Snow on the upper side of each log.
        c = Mix(c, kSnowShade, 0.5f * SmoothStep(0.85f, 0.95f, Fbm(u, v, 16, 2, 53 + log)) * (t < 0.35f ? 1.0f : 0.0f));
        // The window: frame, four panes of warm light brighter in the middle.
        const bool inFrame = x >= wx0 && x < wx1 && y >= wy0 && y < wy1;
        if (inFrame) {
            const bool border = x < wx0 + frame || x >= wx1 - frame || y < wy0 + frame || y >= wy1 - frame;
            const int mx = (wx0 + wx1) / 2, my = (wy0 + wy1) / 2;
            const bool mullion = std::abs(x - mx) < bar / 2 + 1 || std::abs(y - my) < bar / 2 + 1;
            if (border || mullion) {
                c = Mix(Hex(0x2A1A10), Hex(0x5A3A24), Noise(u, v, 8, 32, 54));
            } else {
                const float d = std::hypot(AsFloat(x - mx) / 50.0f, AsFloat(y - my) / 55.0f);
                c = Mix(Hex(0xFFF0C0), Hex(0xE08A30), SmoothStep(0.1f, 1.0f, d));
                // Frost creeping in from the lower corners of each pane.
                const float frost = SmoothStep(0.55f, 0.8f, Fbm(u, v, 16, 3, 55) + 0.02f * AsFloat(y % (my - wy0)));
                c = Mix(c, Hex(0xF4E6D0), 0.35f * frost);
            }
        } else {
            // Light spilling onto the logs around the window.
            const float dx = AsFloat(std::max({wx0 - x, x - wx1, 0})), dy = AsFloat(std::max({wy0 - y, y - wy1, 0}));
            const float spill = std::exp(-std::hypot(dx, dy) / 14.0f);
            c = Mix(c, Mix(c, kGlowWarm, 0.8f), 0.45f * spill);
        }
    });
}

Image DrawSmoke() {
    return Paint(128, [](int, int, float u, float v, Rgb& c, float& a) {
        const float r = std::hypot(u - 0.5f, v - 0.5f) * 2;
        const float n = Fbm(u, v, 4, 4, 61);
        c = Mix(Hex(0x9EA5AE), Hex(0xE2E6EA), SmoothStep(0.3f, 0.7f, n) * (1.1f - 0.5f * v));
        a = 0.85f * SmoothStep(0.95f, 0.25f, r + 0.45f * (n - 0.5f)) * SmoothStep(1.0f, 0.8f, r);
    });
}

Image DrawFence() {
    const int size = 128, boards = 5;
    const float pitch = size / static_cast<float>(boards), boardWidth = 20.5f;
    return Paint(size, [&](int x, int y, float u, float v, Rgb& c, float& a) {
        const int board = static_cast<int>(AsFloat(x) / pitch);
        const float bx =
            AsFloat(x) + 0.5f - AsFloat(board) * pitch - (pitch - boardWidth) / 2;  // 0..boardWidth on a board
        const float top = 6 + std::fabs(bx - boardWidth / 2) * 0.7f;
        const bool onBoard = bx >= 0 && bx < boardWidth && AsFloat(y) + 0.5f >= top;
        const bool onRail = (y >= 34 && y < 44) || (y >= 92 && y < 102);
        a = onBoard || onRail ? 1.0f : 0.0f;
        const float grain = Noise(u, v, 16, 2, 71 + board) * 0.5f + Noise(u, v, 64, 4, 72) * 0.5f;
        c = Mix(Hex(0x4A3322), Hex(0x94704E), grain);
        if (onBoard) {
            const float edge = std::min(bx, boardWidth - bx);
            c = Scale(c, 0.75f + 0.25f * SmoothStep(0.0f, 3.0f, edge));
            if (AsFloat(y) + 0.5f < top + 3.5f) c = Mix(c, kSnowLight, 0.85f);  // snow on the points
        } else if (onRail) {
            c = Scale(c, 0.6f);
            if (y == 34 || y == 35 || y == 92 || y == 93) c = Mix(c, kSnowShade, 0.8f);
        } else {
            c = Hex(0x4A3322);
        }
    });
}

Image DrawShadow() {
    return Paint(128, [](int, int, float u, float v, Rgb& c, float& a) {
        const float r = std::hypot(u - 0.5f, v - 0.5f) * 2;
        const float k = std::pow(SmoothStep(0.98f, 0.0f, r), 1.4f);
        const float grey = 1 - 0.6f * k;
        c = {grey, grey, grey};
        a = k;
    });
}

Image DrawEnvSphere(bool night) {
    // Each texel's normal on a mirrored ball seen head on; the view reflected off it picks sky or snow.
    // The night's has no sun and no bright spot: the ice under the moon stays calm.
    const float sun[3] = {0.45f, 0.35f, 0.82f};
    const float sunLen = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    const Rgb horizon = Hex(night ? 0x34466A : 0xDCE7F1);
    const Rgb sky = Hex(night ? 0x1A2748 : 0x6F98C8), zenith = Hex(night ? 0x0A1228 : 0x2D5493);
    const Rgb haze = Hex(night ? 0x46587A : 0xF2F6FA);
    return Paint(256, [&](int, int, float u, float v, Rgb& c, float&) {
        const float nx = 2 * u - 1, ny = 1 - 2 * v, r2 = nx * nx + ny * ny;
        if (r2 >= 1) {
            c = horizon;
            return;
        }
        const float nz = std::sqrt(1 - r2);
        const float rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;
        if (ry >= 0) {
            c = Mix(horizon, sky, SmoothStep(0.0f, 0.35f, ry));
            c = Mix(c, zenith, SmoothStep(0.3f, 1.0f, ry));
            const float streak = Fbm(std::atan2(rx, rz) / (2 * kPi) + 0.5f, ry * 0.5f, 6, 3, 81);
            c = Mix(c, haze, 0.5f * SmoothStep(0.55f, 0.8f, streak) * SmoothStep(0.9f, 0.2f, ry));
            if (!night) {
                const float d = (rx * sun[0] + ry * sun[1] + rz * sun[2]) / sunLen;
                c = Mix(c, Hex(0xFFF6E2),
                        Clamp01(std::pow(std::max(d, 0.0f), 60.0f) + 0.3f * std::pow(std::max(d, 0.0f), 6.0f)));
            }
        } else {
            c = Mix(Hex(0x3A5560), kSnowShade, SmoothStep(-0.02f, -0.12f, ry));  // a dark tree line at the horizon
            c = Mix(c, kSnowLight, SmoothStep(-0.2f, -0.8f, ry));
            if (night) c = Scale(c, 0.35f);
        }
    });
}

Image DrawMoon() {
    return Paint(128, [](int x, int y, float u, float v, Rgb& c, float& a) {
        const float r = std::hypot(u - 0.5f, v - 0.5f) * 2;  // 1 at the picture's edge
        const float disc = SmoothStep(0.42f, 0.40f, r);
        // Drawn added to the night sky: a little below white, so that the seas still show.
        const float mare = 0.22f * SmoothStep(0.5f, 0.75f, Fbm(u * 3, v * 3, 4, 3, 611));
        const float halo = 0.35f * std::pow(Clamp01(1 - r), 3.0f);
        c = Scale(Hex(0xE6E2D6), disc * (1 - mare) * (0.97f + 0.03f * Hash01(x, y, 612)));
        c = Mix(c, Hex(0x8CA0C8), (1 - disc) * halo);
        a = 1;
    });
}

Image DrawStar() {
    // Wide enough that the small mip levels a distant card samples keep some of its light.
    return Paint(16, [](int, int, float u, float v, Rgb& c, float& a) {
        const float d = std::hypot(u - 0.5f, v - 0.5f) * 16;  // texels from the middle
        c = Scale(Hex(0xFFFFFF), std::exp(-d * d / 20.0f) * SmoothStep(8, 6, d));
        a = 1;
    });
}

Image DrawLamp() {
    return Paint(128, [](int, int, float u, float v, Rgb& c, float& a) {
        const float d2 = (u - 0.5f) * (u - 0.5f) * 4 + (v - 0.5f) * (v - 0.5f) * 4;
        const float core = std::exp(-d2 * 40), halo = std::exp(-d2 * 7);
        c = Mix(Hex(0xFF9438), Hex(0xFFF4D8), Clamp01(core * 1.4f + 0.2f * halo));
        a = Clamp01(core + 0.75f * halo) * SmoothStep(1.0f, 0.8f, std::sqrt(d2));
    });
}

Image DrawIce() {
    return Paint(256, [](int x, int y, float u, float v, Rgb& c, float&) {
        const float cloud = Fbm(u, v, 4, 4, 91);
        c = Mix(Hex(0x5E8DB8), Hex(0xA9CBE4), SmoothStep(0.25f, 0.55f, cloud));
        c = Mix(c, Hex(0xE6F1F8), SmoothStep(0.55f, 0.85f, Fbm(u, v, 8, 3, 92)));
        // The big cracks bend; the fine ones branch off them.
        const float wu = 0.05f * (Fbm(u, v, 4, 3, 97) - 0.5f), wv = 0.05f * (Fbm(u, v, 4, 3, 98) - 0.5f);
        float f1, f2;
        Cells(u + wu, v + wv, 5, 93, f1, f2);
        const float big = 1 - SmoothStep(0.0f, 0.035f, f2 - f1);
        Cells(u, v, 13, 94, f1, f2);
        const float fine = (1 - SmoothStep(0.0f, 0.05f, f2 - f1)) * SmoothStep(0.5f, 0.7f, Fbm(u, v, 6, 2, 95));
        c = Mix(c, Hex(0xF8FCFF), std::max(big, 0.6f * fine));  // cracks catch the light white
        Cells(u + wu + 0.004f, v + wv + 0.004f, 5, 93, f1, f2);
        c = Scale(c, 1 - 0.25f * (1 - SmoothStep(0.0f, 0.05f, f2 - f1)) * (1 - big));  // and cast a thin shadow
        c = Scale(c, 0.97f + 0.03f * Hash01(x, y, 96));
    });
}

Image DrawShore() {
    const RockField rock = MakeRock(256, 101);
    return Paint(256, [&](int x, int y, float u, float v, Rgb& c, float&) {
        // Snow lies thicker on the high, flat parts; rock shows through in patches and cracks.
        const float cover = Fbm(u, v, 4, 4, 102) + 0.3f * (Fbm(u, v, 4, 5, 101, 0.55f) - 0.5f);
        const float snow = SmoothStep(0.42f, 0.5f, cover);
        Rgb snowColour = Mix(kSnowShade, kSnowLight, SmoothStep(0.45f, 0.7f, cover));
        snowColour = Scale(snowColour, 0.97f + 0.03f * Fbm(u, v, 32, 2, 103));
        c = Mix(rock.colour[y * 256 + x], snowColour, snow);
    });
}

}  // namespace dataset
}  // namespace trivale
