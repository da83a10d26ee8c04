#include "tools/dataset/Painting.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace trivale {
namespace dataset {
namespace paint {

namespace {

const float kPi = 3.14159265358979f;

int Wrap(int i, int period) { return ((i % period) + period) % period; }

float Fade(float t) { return t * t * (3.0f - 2.0f * t); }

// One 8-bit channel of a 0xRRGGBB colour, 0..1.
float Channel(std::uint32_t rgb, int shift) { return static_cast<float>((rgb >> shift) & 255u) / 255.0f; }

// Points along an elliptical arc from angle a0 to a1 (radians, y down) as segments.
void AddArc(std::vector<Segment>& out, float cx, float cy, float rx, float ry, float a0, float a1, int steps) {
    for (int i = 0; i < steps; ++i) {
        const float t0 = a0 + (a1 - a0) * AsFloat(i) / AsFloat(steps),
                    t1 = a0 + (a1 - a0) * AsFloat(i + 1) / AsFloat(steps);
        out.push_back({cx + rx * std::cos(t0), cy + ry * std::sin(t0), cx + rx * std::cos(t1), cy + ry * std::sin(t1)});
    }
}

}  // namespace

std::uint32_t Hash(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    std::uint32_t h =
        seed * 0x9E3779B9u ^ static_cast<std::uint32_t>(x) * 0x85EBCA6Bu ^ static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float Hash01(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    return static_cast<float>(Hash(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

std::uint32_t Random::Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

float Random::Uniform(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f);
}

float Noise(float u, float v, int period, std::uint32_t seed) { return Noise(u, v, period, period, seed); }

float Noise(float u, float v, int periodX, int periodY, std::uint32_t seed) {
    const float x = u * AsFloat(periodX), y = v * AsFloat(periodY);
    const float fx = std::floor(x), fy = std::floor(y);
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const float tx = Fade(x - fx), ty = Fade(y - fy);
    auto at = [&](int i, int j) { return Hash01(Wrap(x0 + i, periodX), Wrap(y0 + j, periodY), seed); };
    return Mix(Mix(at(0, 0), at(1, 0), tx), Mix(at(0, 1), at(1, 1), tx), ty);
}

float Fbm(float u, float v, int period, int octaves, std::uint32_t seed, float gain) {
    float sum = 0, weight = 1, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * Noise(u, v, period << o, seed + 101u * o);
        total += weight;
        weight *= gain;
    }
    return sum / total;
}

float Noise1(float x, std::uint32_t seed) {
    const float fx = std::floor(x);
    const int x0 = static_cast<int>(fx);
    return Mix(Hash01(x0, 0, seed), Hash01(x0 + 1, 0, seed), Fade(x - fx));
}

void Cells(float u, float v, int period, std::uint32_t seed, float& nearest, float& second) {
    const float x = u * AsFloat(period), y = v * AsFloat(period);
    const int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
    nearest = second = 1e9f;
    for (int j = -2; j <= 2; ++j) {
        for (int i = -2; i <= 2; ++i) {
            const int gx = Wrap(cx + i, period), gy = Wrap(cy + j, period);
            const float px = AsFloat(cx + i) + 0.1f + 0.8f * Hash01(gx, gy, seed);
            const float py = AsFloat(cy + j) + 0.1f + 0.8f * Hash01(gx, gy, seed + 7u);
            const float d = std::hypot(px - x, py - y);
            if (d < nearest) {
                second = nearest;
                nearest = d;
            } else if (d < second) {
                second = d;
            }
        }
    }
}

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float SmoothStep(float edge0, float edge1, float v) { return Fade(Clamp01((v - edge0) / (edge1 - edge0))); }
float Mix(float a, float b, float t) { return a + (b - a) * t; }

Rgb Mix(Rgb a, Rgb b, float t) { return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)}; }
Rgb Scale(Rgb c, float k) { return {c.r * k, c.g * k, c.b * k}; }
Rgb Hex(std::uint32_t rgb) { return {Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0)}; }

Canvas::Canvas(int w, int h, Rgb fill, float a)
    : width(w), height(h), colour(static_cast<std::size_t>(w) * h, fill), alpha(static_cast<std::size_t>(w) * h, a) {}

void Canvas::Over(int x, int y, Rgb c, float k) {
    if (x < 0 || y < 0 || x >= width || y >= height || k <= 0) return;
    k = std::min(k, 1.0f);
    float& a = A(x, y);
    const float out = k + a * (1 - k);
    // Colour weighted by alpha, so a stroke over a transparent texel keeps its own colour.
    C(x, y) = out > 0 ? Mix(C(x, y), c, k / out) : c;
    a = out;
}

Image Canvas::ToImage() const {
    Image image(width, height);
    auto byte = [](float v) { return static_cast<std::uint8_t>(std::lround(Clamp01(v) * 255.0f)); };
    for (std::size_t i = 0; i < colour.size(); ++i) {
        std::uint8_t* p = &image.rgba[i * 4];
        p[0] = byte(colour[i].r), p[1] = byte(colour[i].g), p[2] = byte(colour[i].b), p[3] = byte(alpha[i]);
    }
    return image;
}

std::vector<float> StrokeCoverage(const std::vector<Segment>& segments, float width, int w, int h) {
    std::vector<float> cover(static_cast<std::size_t>(w) * h, 0.0f);
    const float half = width * 0.5f;
    for (const Segment& s : segments) {
        const int xa = std::max(0, static_cast<int>(std::floor(std::min(s.x0, s.x1) - half - 1)));
        const int xb = std::min(w - 1, static_cast<int>(std::ceil(std::max(s.x0, s.x1) + half + 1)));
        const int ya = std::max(0, static_cast<int>(std::floor(std::min(s.y0, s.y1) - half - 1)));
        const int yb = std::min(h - 1, static_cast<int>(std::ceil(std::max(s.y0, s.y1) + half + 1)));
        const float dx = s.x1 - s.x0, dy = s.y1 - s.y0, len2 = dx * dx + dy * dy;
        for (int y = ya; y <= yb; ++y) {
            for (int x = xa; x <= xb; ++x) {
                const float px = AsFloat(x) + 0.5f - s.x0, py = AsFloat(y) + 0.5f - s.y0;
                const float t = len2 > 0 ? Clamp01((px * dx + py * dy) / len2) : 0.0f;
                const float d = std::hypot(px - t * dx, py - t * dy);
                float& c = cover[static_cast<std::size_t>(y) * w + x];
                c = std::max(c, Clamp01(half + 0.5f - d));
            }
        }
    }
    return cover;
}

void AddSnowflake(std::vector<Segment>& out, float cx, float cy, float radius) {
    for (int arm = 0; arm < 6; ++arm) {
        const float a = kPi / 2 + AsFloat(arm) * kPi / 3;
        const float ux = std::cos(a), uy = -std::sin(a);
        out.push_back({cx, cy, cx + ux * radius, cy + uy * radius});
        // Side branches lean outwards at 50 degrees from the arm.
        const struct { float at, length; } branches[] = {{0.42f, 0.30f}, {0.68f, 0.22f}};
        for (const auto& b : branches) {
            const float bx = cx + ux * radius * b.at, by = cy + uy * radius * b.at;
            for (float side : {-1.0f, 1.0f}) {
                const float ba = a + side * 0.87f;
                out.push_back({bx, by, bx + std::cos(ba) * radius * b.length, by - std::sin(ba) * radius * b.length});
            }
        }
    }
}

float AddWord(std::vector<Segment>& out, const char* word, float x, float y, float height) {
    const float w = height * 0.66f, gap = height * 0.24f, h = height;
    for (const char* c = word; *c; ++c) {
        auto seg = [&](float ax, float ay, float bx, float by) {
            out.push_back({x + ax * w, y + ay * h, x + bx * w, y + by * h});
        };
        float advance = w;
        switch (*c) {
        case 'V':
            seg(0, 0, 0.5f, 1), seg(0.5f, 1, 1, 0);
            break;
        case 'E':
            seg(0, 0, 0, 1), seg(0, 0, 0.95f, 0), seg(0, 0.5f, 0.8f, 0.5f), seg(0, 1, 0.95f, 1);
            advance = 0.95f * w;
            break;
        case 'L':
            seg(0, 0, 0, 1), seg(0, 1, 0.9f, 1);
            advance = 0.9f * w;
            break;
        case 'A':
            seg(0, 1, 0.5f, 0), seg(0.5f, 0, 1, 1), seg(0.22f, 0.62f, 0.78f, 0.62f);
            break;
        case 'C':
            AddArc(out, x + 0.5f * w, y + 0.5f * h, 0.5f * w, 0.5f * h, 0.25f * kPi, 1.75f * kPi, 20);
            break;
        case 'O':
            AddArc(out, x + 0.5f * w, y + 0.5f * h, 0.5f * w, 0.5f * h, 0, 2 * kPi, 24);
            break;
        case 'R':
            seg(0, 0, 0, 1), seg(0, 0, 0.55f, 0), seg(0, 0.52f, 0.55f, 0.52f), seg(0.45f, 0.52f, 1, 1);
            AddArc(out, x + 0.55f * w, y + 0.26f * h, 0.4f * w, 0.26f * h, -0.5f * kPi, 0.5f * kPi, 12);
            break;
        case ' ':
            advance = 0.5f * w;
            break;
        default:
            throw std::invalid_argument(std::string("no strokes for the letter ") + *c);
        }
        x += advance + gap;
    }
    return x - gap;
}

}  // namespace paint
}  // namespace dataset
}  // namespace trivale
