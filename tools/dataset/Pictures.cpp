// The show's pictures: the loading picture, the watermark, the dialog banner, the sky's gradient,
// cloud and snow sheets, and the scenes' textures, each under every name that uses it.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/dataset/DataSet.h"
#include "tools/dataset/ImageWrite.h"
#include "tools/dataset/Painting.h"
#include "tools/dataset/SceneTextures.h"
#include "tools/dataset/SnowSheet.h"

namespace trivale {
namespace dataset {

using namespace paint;

namespace {

// A skyline: the height (pixels above `base`) of sharp-peaked ridges along x.
float Ridge(float x, float scale, std::uint32_t seed) {
    float h = 0, w = 1, total = 0;
    for (int o = 0; o < 4; ++o) {
        h += w * (1 - std::fabs(2 * Noise1(x / scale * (1 << o), seed + o) - 1));
        total += w;
        w *= 0.45f;
    }
    return h / total;
}

// A pine's silhouette coverage at (x, y): tiers narrowing to the tip at (cx, base - height).
float Pine(float x, float y, float cx, float base, float height) {
    const float t = (base - y) / height;  // 0 at the foot, 1 at the tip
    if (t < -0.08f || t > 1) return 0;
    if (t < 0) return Clamp01(0.06f * height - std::fabs(x - cx) + 0.5f);  // trunk
    const float tier = t * 4.5f - std::floor(t * 4.5f);
    const float half = height * 0.3f * (1 - t) * (0.65f + 0.35f * (1 - tier));
    return Clamp01(half - std::fabs(x - cx) + 0.5f);
}

struct Landscape {
    Rgb skyTop, skyHorizon, farHills, nearHills, pines, snow, snowShade;
    float horizon;  // fraction of the height where the sky meets the far hills' foot
    std::uint32_t seed;
    float sunX = 0, sunY = 0, sunRadius = 0;  // a pale disc in the sky behind the hills; radius 0 for none
};

// A winter landscape in layers: sky, two ranges of mountains fading into the haze, a hill of pines
// and the snow field in front.
Canvas DrawLandscape(int w, int h, const Landscape& look) {
    Canvas canvas(w, h);
    const float s = AsFloat(h) / 256.0f;  // skylines drawn for a 256-high picture scale with it
    const float horizonY = look.horizon * AsFloat(h);
    for (int y = 0; y < h; ++y) {
        const float t = Clamp01(static_cast<float>(y) / horizonY);
        for (int x = 0; x < w; ++x) {
            Rgb& c = canvas.C(x, y);
            c = Mix(look.skyTop, look.skyHorizon, std::pow(t, 1.6f));
            if (look.sunRadius > 0) {
                const float d = std::hypot(AsFloat(x) + 0.5f - look.sunX, AsFloat(y) + 0.5f - look.sunY);
                const float glow = 0.5f * std::exp(-d / (3 * look.sunRadius)) +
                                   0.6f * SmoothStep(look.sunRadius + 1, look.sunRadius - 1, d);
                c = Mix(c, Hex(0xFFF6E4), Clamp01(glow));
            }
        }
    }
    for (int x = 0; x < w; ++x) {
        const float far = horizonY - s * (25 + 85 * Ridge(AsFloat(x) / s, 110, look.seed));
        const float nearTop = horizonY + s * 18 - s * (10 + 55 * Ridge(AsFloat(x) / s + 900, 70, look.seed + 10));
        const float hill = horizonY + s * 40 - s * 14 * Noise1(AsFloat(x) / s / 60, look.seed + 20);
        for (int y = 0; y < h; ++y) {
            const float py = AsFloat(y) + 0.5f;
            Rgb& c = canvas.C(x, y);
            if (py > far) {
                // Snow near the peaks, haze towards the foot.
                const float snowy = SmoothStep(s * 28, s * 4, py - far) * 0.5f;
                c = Mix(Mix(look.farHills, look.skyHorizon, 0.35f * SmoothStep(far, horizonY + s * 20, py)),
                        look.skyHorizon, snowy);
            }
            if (py > nearTop) {
                const float ridgeShade = Noise1(AsFloat(x) / s / 9.0f, look.seed + 30);
                c = Mix(look.nearHills, look.snowShade, 0.25f * SmoothStep(s * 16, 0, py - nearTop) * ridgeShade);
            }
            if (py > hill) {
                const float drift = Fbm(AsFloat(x) / AsFloat(w), (py - hill) / AsFloat(h), 6, 3, look.seed + 40);
                c = Mix(look.snowShade, look.snow, SmoothStep(0.35f, 0.65f, drift) * SmoothStep(0, s * 30, py - hill));
            }
        }
    }
    // Pines along the hill, taller in front.
    Random random(look.seed + 50);
    for (float cx = random.Uniform(0, 12 * s); cx < AsFloat(w); cx += random.Uniform(6 * s, 26 * s)) {
        const float base = horizonY + s * 40 - s * 14 * Noise1(cx / s / 60, look.seed + 20) + random.Uniform(2, 16) * s;
        const float height = random.Uniform(22, 58) * s;
        for (int y = std::max(0, static_cast<int>(base - height) - 1); y < std::min(h, static_cast<int>(base + 8 * s));
             ++y)
            for (int x = std::max(0, static_cast<int>(cx - height * 0.35f));
                 x < std::min(w, static_cast<int>(cx + height * 0.35f) + 1); ++x) {
                const float k = Pine(AsFloat(x) + 0.5f, AsFloat(y) + 0.5f, cx, base, height);
                if (k > 0) canvas.C(x, y) = Mix(canvas.C(x, y), look.pines, k);
            }
    }
    return canvas;
}

// Lays strokes over the canvas in `colour`, with a soft dark edge under them so they read on any
// background.
void DrawStrokes(Canvas& canvas, const std::vector<Segment>& strokes, float width, Rgb colour, Rgb edge) {
    const std::vector<float> outline = StrokeCoverage(strokes, width + 3.0f, canvas.width, canvas.height);
    const std::vector<float> fill = StrokeCoverage(strokes, width, canvas.width, canvas.height);
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * canvas.width + x;
            canvas.Over(x, y, edge, 0.55f * outline[i]);
            canvas.Over(x, y, colour, fill[i]);
        }
}

Image DrawLoading() {
    const int w = 512, h = 256;
    Canvas canvas = DrawLandscape(w, h,
                                  {Hex(0x6D95C4), Hex(0xE9F0F6), Hex(0x9DB3CE), Hex(0x5E7898), Hex(0x1B2C3D),
                                   Hex(0xF3F7FB), Hex(0xB4C8DF), 0.62f, 7, 372, 70, 14});
    // A cabin with one warm window on the snow in front.
    const int cx = 120, base = 218;
    for (int y = base - 40; y < base; ++y)
        for (int x = cx - 30; x < cx + 30; ++x) {
            const float roof = AsFloat(base - 22) - (26 - std::fabs(AsFloat(x) + 0.5f - AsFloat(cx))) * 0.7f;
            if (AsFloat(y) + 0.5f < roof) continue;
            Rgb c = AsFloat(y) + 0.5f < roof + 5 ? Hex(0xE8EEF5) : Hex(0x2A2630);  // snow on the roof over dark walls
            if (x >= cx - 8 && x < cx + 4 && y >= base - 16 && y < base - 7) c = Hex(0xFFC566);
            canvas.C(x, y) = c;
        }
    for (int y = base - 40; y < base + 20 && y < h; ++y)
        for (int x = cx - 40; x < cx + 40; ++x) {
            const float glow =
                std::exp(-std::hypot(AsFloat(x) - (AsFloat(cx) - 2.0f), AsFloat(y) - (AsFloat(base) - 11.0f)) / 12.0f);
            canvas.C(x, y) = Mix(canvas.C(x, y), Hex(0xFFB65C), 0.3f * glow);
        }
    return canvas.ToImage();
}

Image DrawWatermark() {
    // The mark sits in the top-left 376x128; the rest stays clear. The overlay draws it at a tenth of the
    // view's height and over anything, white cloud included: every stroke stands in a dark rim, all the
    // rims laid before any stroke so that none cuts into a neighbour.
    Canvas canvas(512, 128, Hex(0xFFFFFF), 0.0f);
    struct Part {
        std::vector<Segment> strokes;
        float width;
        Rgb colour;
    };
    Part flake{{}, 5.0f, Hex(0xFFFFFF)}, ring{{}, 2.5f, Hex(0xD8E2EC)}, word{{}, 6.0f, Hex(0xFFFFFF)};
    AddSnowflake(flake.strokes, 64, 64, 50);
    for (int i = 0; i < 48; ++i) {
        const float a0 = AsFloat(i) * 3.14159265f / 24, a1 = AsFloat(i + 1) * 3.14159265f / 24;
        ring.strokes.push_back(
            {64 + 58 * std::cos(a0), 64 + 58 * std::sin(a0), 64 + 58 * std::cos(a1), 64 + 58 * std::sin(a1)});
    }
    AddWord(word.strokes, "VELLACOR", 136, 47, 34);
    const Part rule{{{138, 97, 366, 97}}, 2.0f, Hex(0xC8D4E0)};
    const Part* parts[] = {&flake, &ring, &word, &rule};
    const float rim = 4.0f;  // texels each side: one and a half pixels at 640 x 480
    std::vector<float> dark(canvas.alpha.size(), 0.0f);
    for (const Part* part : parts) {
        const std::vector<float> cover =
            StrokeCoverage(part->strokes, part->width + 2 * rim, canvas.width, canvas.height);
        for (std::size_t i = 0; i < dark.size(); ++i) dark[i] = std::max(dark[i], cover[i]);
    }
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
            canvas.Over(x, y, Hex(0x0C121C), 0.9f * dark[static_cast<std::size_t>(y) * canvas.width + x]);
    for (const Part* part : parts) {
        const std::vector<float> fill = StrokeCoverage(part->strokes, part->width, canvas.width, canvas.height);
        for (int y = 0; y < canvas.height; ++y)
            for (int x = 0; x < canvas.width; ++x)
                canvas.Over(x, y, part->colour, fill[static_cast<std::size_t>(y) * canvas.width + x]);
    }
    return canvas.ToImage();
}

Image DrawBanner() {
    const int w = 400, h = 64;
    Canvas canvas = DrawLandscape(w, h,
                                  {Hex(0x1C315A), Hex(0x8FA9CC), Hex(0x5B7397), Hex(0x3A4F6E), Hex(0x121E2C),
                                   Hex(0xDDE6F0), Hex(0x9DB2CE), 0.7f, 23});
    Random random(24);
    for (int i = 0; i < 40; ++i) {
        const int x = static_cast<int>(random.Uniform(0, w)), y = static_cast<int>(random.Uniform(0, h * 0.35f));
        canvas.C(x, y) = Mix(canvas.C(x, y), Hex(0xFFFFFF), random.Uniform(0.3f, 0.9f));
    }
    std::vector<Segment> flake, word;
    AddSnowflake(flake, 30, 30, 20);
    DrawStrokes(canvas, flake, 2.5f, Hex(0xFFFFFF), Hex(0x18243A));
    AddWord(word, "VELLACOR", 62, 18, 22);
    DrawStrokes(canvas, word, 3.0f, Hex(0xFFFFFF), Hex(0x18243A));
    return canvas.ToImage();
}

enum class SkyTime { Day, Dusk, Night };

// The dome's gradient from the zenith (top row) to below the horizon (bottom row); the picture wraps
// twice around the dome, so nothing in it stands at one bearing only.
Image DrawSkyGradient(SkyTime time) {
    Canvas canvas(512, 256);
    const Rgb day[] = {Hex(0x163774), Hex(0x3565A8), Hex(0x7FA7D4), Hex(0xC6DAEC), Hex(0xE8EFF5)};
    const Rgb dusk[] = {Hex(0x1C1A44), Hex(0x3B2F6A), Hex(0x8A5E8E), Hex(0xE8946A), Hex(0xB87A78)};
    const Rgb night[] = {Hex(0x02050F), Hex(0x050B1E), Hex(0x0C1734), Hex(0x1E2C4E), Hex(0x1A2542)};
    const Rgb* stops = time == SkyTime::Day ? day : time == SkyTime::Dusk ? dusk : night;
    const float at[] = {0.0f, 0.3f, 0.62f, 0.85f, 1.0f};
    const Rgb haze = time == SkyTime::Day ? Hex(0xF2F6FA) : time == SkyTime::Dusk ? Hex(0xF0B89A) : Hex(0x2A3858);
    for (int y = 0; y < 256; ++y) {
        const float t = (AsFloat(y) + 0.5f) / 256;
        int k = 0;
        while (k < 3 && t > at[k + 1]) ++k;
        const Rgb base = Mix(stops[k], stops[k + 1], (t - at[k]) / (at[k + 1] - at[k]));
        for (int x = 0; x < 512; ++x) {
            // Thin high haze near the horizon, wrapping around the dome; a touch of grain against banding.
            const float thin =
                SmoothStep(0.55f, 0.8f, Fbm((AsFloat(x) + 0.5f) / 512, t, 8, 3, 201)) * SmoothStep(0.4f, 0.85f, t);
            Rgb c = Mix(base, haze, 0.25f * thin);
            canvas.C(x, y) = Scale(c, 1 + (Hash01(x, y, 202) - 0.5f) / 128);
        }
    }
    return canvas.ToImage();
}

// Sheets of 2x2 cells of 128x128 texels, each picture drawn upright in its cell.
template <typename F>
Image DrawSheet(F cell) {
    Canvas canvas(256, 256, Hex(0xFFFFFF), 0.0f);
    for (int index = 0; index < 4; ++index)
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const int px = (index % 2) * 128 + x, py = (index / 2) * 128 + y;
                cell(index, AsFloat(x) + 0.5f, AsFloat(y) + 0.5f, canvas.C(px, py), canvas.A(px, py));
            }
    return canvas.ToImage();
}

Image DrawClouds() {
    struct Blob {
        float x, y, r;
    };
    std::vector<Blob> blobs[4];
    Random random(301);
    for (auto& list : blobs) {
        // A row of puffs along a flat base, the middle ones the largest.
        const int count = 5 + static_cast<int>(random.Next() % 3);
        for (int i = 0; i < count; ++i) {
            const float t = (AsFloat(i) + 0.5f) / AsFloat(count);
            const float r = random.Uniform(14, 20) + 14 * std::sin(3.14159265f * t);
            list.push_back({18 + 92 * t + random.Uniform(-5, 5), 86 - r * 0.6f + random.Uniform(-4, 4), r});
        }
    }
    return DrawSheet([&](int index, float x, float y, Rgb& c, float& a) {
        float blob = -1;
        for (const Blob& b : blobs[index]) blob = std::max(blob, 1 - std::hypot(x - b.x, y - b.y) / b.r);
        const float n = Fbm(x / 128 + AsFloat(index) * 0.25f, y / 128, 4, 4, 302);
        // The noise frays the puffs' edges but adds nothing away from them.
        float density = (blob + 0.5f * (n - 0.5f)) * SmoothStep(-0.25f, 0.05f, blob);
        density *= SmoothStep(100, 88, y);  // the flat underside
        const float edge = std::min({x, y, 128 - x, 128 - y});
        a = SmoothStep(0.0f, 0.5f, density) * SmoothStep(2, 10, edge) * 0.95f;
        // Snow clouds, the same sheet under the morning's blue and the dusk's orange: pale grey tops over
        // slate undersides, darker than either sky's horizon so that they hold the overlay's white texts.
        c = Mix(Hex(0xB4BBC8), Hex(0x5E6679), SmoothStep(30, 100, y) * (1 - 0.3f * Clamp01(density)));
    });
}

Image DrawSnowSheet() {
    const std::vector<SnowFlake> flakes = SnowFlakes();
    std::vector<float> stars[4];
    for (int i = 0; i < 4; ++i) {
        std::vector<Segment> arms;
        for (const SnowFlake& f : flakes)
            if (f.picture == i && f.star > 0) AddSnowflake(arms, f.x, f.y, f.star);
        stars[i] = StrokeCoverage(arms, 1.3f, 128, 128);
    }
    return DrawSheet([&](int index, float x, float y, Rgb& c, float& a) {
        c = Hex(0xFFFFFF);
        a = 0.85f * stars[index][static_cast<int>(y) * 128 + static_cast<int>(x)];
        for (const SnowFlake& f : flakes) {
            if (f.picture != index) continue;
            const float d = std::hypot(x - f.x, y - f.y);
            if (d < 8) a = std::max(a, std::exp(-(d * d) / (f.dot * f.dot)) * SmoothStep(8, 6, d));
        }
        a = Clamp01(a);
    });
}

}  // namespace

// The snow layer sets one picture a cell on a regular lattice, so the flakes must not all sit at one place
// in their pictures. Each picture holds a few flakes scattered over it, no two of the sheet in the same
// row or column of texels, so a camera looking along the lattice sees a random fall, not lines. Their
// heights share the picture's whole height out in even bands, so that the flakes of a cell reach from
// near its floor to near its ceiling: a plane of cells seen edge-on (at eye height) shows as a loose
// drift, not a row with a gap above it. The flakes stay small, for a picture is drawn wide when it
// passes next to the camera.
std::vector<SnowFlake> SnowFlakes() {
    const int count = 4 * kFlakesPerPicture;
    const float band = (kFlakeHigh - kFlakeLow) / AsFloat(count);
    Random random(401);
    auto shuffled = [&random, count] {
        std::vector<int> order(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
        for (int i = count - 1; i > 0; --i)
            std::swap(order[static_cast<std::size_t>(i)],
                      order[static_cast<std::size_t>(random.Next() % static_cast<std::uint32_t>(i + 1))]);
        return order;
    };
    // A flake's row and column are bands of their own; the orders are drawn again until the flakes of each
    // picture lie well apart.
    for (;;) {
        const std::vector<int> across = shuffled(), down = shuffled();
        std::vector<SnowFlake> flakes;
        bool apart = true;
        for (int n = 0; n < count && apart; ++n) {
            const std::size_t i = static_cast<std::size_t>(n);
            const float x = kFlakeLow + (AsFloat(across[i]) + 0.5f) * band + random.Uniform(-0.5f, 0.5f);
            const float y = kFlakeLow + (AsFloat(down[i]) + 0.5f) * band + random.Uniform(-0.5f, 0.5f);
            SnowFlake f{n / kFlakesPerPicture, x, y, 0, 0};
            for (const SnowFlake& g : flakes)
                if (g.picture == f.picture) apart = apart && std::hypot(f.x - g.x, f.y - g.y) >= kFlakeSpread;
            // Mostly soft dots of a few sizes, every third a six-armed star.
            if (n % 3 == 1) {
                f.star = random.Uniform(3.5f, 5.0f);
                f.dot = 1.2f;
            } else {
                f.dot = random.Uniform(1.2f, 3.0f);
            }
            flakes.push_back(f);
        }
        if (apart) return flakes;
    }
}

void AddPictures(DataSet& set) {
    set.Add("loading.dds", EncodeDds(DrawLoading(), DdsFormat::Argb8888, MipChain::None));
    set.Add("clip_watermark.dds", EncodeDds(DrawWatermark(), DdsFormat::Argb8888, MipChain::None));
    set.Add("DialogBanner1.bmp", EncodeBmp(DrawBanner()));
    set.Add("scenes\\skyhigh\\sky_gradient.jpg", EncodeJpeg(DrawSkyGradient(SkyTime::Day)));
    set.Add("scenes\\skydusk\\sky_gradient.jpg", EncodeJpeg(DrawSkyGradient(SkyTime::Dusk)));
    set.Add("scenes\\skynight\\sky_gradient.jpg", EncodeJpeg(DrawSkyGradient(SkyTime::Night)));
    set.Add("scenes\\skynight\\moon.png", EncodePng(DrawMoon(), false));
    set.Add("scenes\\skynight\\star.png", EncodePng(DrawStar(), false));
    set.Add("scenes\\skyhigh\\small_cloud_1.dds", EncodeDds(DrawClouds(), DdsFormat::Argb8888, MipChain::Full));
    set.Add("scenes\\skyhigh\\snow_1.dds", EncodeDds(DrawSnowSheet(), DdsFormat::Argb8888, MipChain::Full));

    enum Folder { kValley = 1, kRidge = 2, kLake = 4 };
    const struct {
        const char* name;
        int folders;
        std::function<Bytes()> make;
    } textures[] = {
        {"snow_ground.png", kValley | kRidge, [] { return EncodePng(DrawSnowGround(), false); }},
        {"rock.jpg", kValley | kRidge, [] { return EncodeJpeg(DrawRock()); }},
        {"bark.jpg", kValley | kRidge | kLake, [] { return EncodeJpeg(DrawBark()); }},
        {"needles.dds", kValley | kRidge | kLake,
         [] { return EncodeDds(DrawNeedles(), DdsFormat::Dxt5, MipChain::Full); }},
        {"cabin.bmp", kValley | kRidge, [] { return EncodeBmp(DrawCabin()); }},
        {"smoke.dds", kValley, [] { return EncodeDds(DrawSmoke(), DdsFormat::Argb8888, MipChain::Full); }},
        {"fence.png", kValley | kRidge, [] { return EncodePng(DrawFence()); }},
        {"shadow.png", kValley, [] { return EncodePng(DrawShadow()); }},
        {"env_sphere.png", kValley, [] { return EncodePng(DrawEnvSphere(false), false); }},
        {"env_sphere.png", kLake, [] { return EncodePng(DrawEnvSphere(true), false); }},
        {"lamp.png", kRidge, [] { return EncodePng(DrawLamp()); }},
        {"ice.dds", kLake, [] { return EncodeDds(DrawIce(), DdsFormat::Dxt1, MipChain::Full); }},
        {"shore.jpg", kLake, [] { return EncodeJpeg(DrawShore()); }},
    };
    const struct {
        Folder folder;
        const char* dir;
    } folders[] = {{kValley, "scenes\\valley\\"}, {kRidge, "scenes\\ridge\\"}, {kLake, "scenes\\lake\\"}};
    for (const auto& texture : textures) {
        const Bytes bytes = texture.make();
        for (const auto& folder : folders)
            if (texture.folders & folder.folder) set.Add(std::string(folder.dir) + texture.name, bytes);
    }
}

}  // namespace dataset
}  // namespace trivale
