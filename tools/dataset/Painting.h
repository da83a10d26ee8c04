// The tools the picture generators paint with: an integer hash and the noises built on it (the same
// numbers on every run and machine build), colours in floats, and anti-aliased strokes and shapes.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/dataset/ImageWrite.h"

namespace trivale {
namespace dataset {
namespace paint {

// A well-mixed 32-bit hash of lattice coordinates and a seed.
std::uint32_t Hash(std::int32_t x, std::int32_t y, std::uint32_t seed);
// The hash as a number in [0, 1).
float Hash01(std::int32_t x, std::int32_t y, std::uint32_t seed);

// A small generator for scattering things (xorshift on a hashed seed).
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(Hash(0x5EED, 0x5EED, seed) | 1u) {}
    std::uint32_t Next();
    float Uniform(float lo = 0.0f, float hi = 1.0f);

private:
    std::uint32_t state_;
};

// Smooth value noise in [0, 1] over texture coordinates u, v in [0, 1): `period` lattice cells across,
// wrapping at 1 so textures tile.
float Noise(float u, float v, int period, std::uint32_t seed);
// The same with different periods across and down, for grain that runs one way.
float Noise(float u, float v, int periodX, int periodY, std::uint32_t seed);
// Octaves of Noise, the period doubling and the weight shrinking by `gain` each; result in [0, 1].
float Fbm(float u, float v, int period, int octaves, std::uint32_t seed, float gain = 0.5f);
// One-dimensional value noise in [0, 1] (lattice step 1, no wrapping), for skylines.
float Noise1(float x, std::uint32_t seed);
// Cellular noise: distances (in cells) to the nearest and second nearest of one jittered point per
// cell, `period` cells across, wrapping.
void Cells(float u, float v, int period, std::uint32_t seed, float& nearest, float& second);

// Pixel coordinates, sizes, counts and lattice indices here are far below 2^24: exact as floats.
inline float AsFloat(int v) { return static_cast<float>(v); }

float Clamp01(float v);
float SmoothStep(float edge0, float edge1, float v);
float Mix(float a, float b, float t);

struct Rgb {
    float r = 0, g = 0, b = 0;  // 0..1
};
Rgb Mix(Rgb a, Rgb b, float t);
Rgb Scale(Rgb c, float k);
Rgb Hex(std::uint32_t rgb);  // 0xRRGGBB

// Picture in floats while it is painted; converted to 8-bit at the end.
struct Canvas {
    int width = 0, height = 0;
    std::vector<Rgb> colour;
    std::vector<float> alpha;

    Canvas(int w, int h, Rgb fill = {}, float a = 1.0f);
    Rgb& C(int x, int y) { return colour[static_cast<std::size_t>(y) * width + x]; }
    float& A(int x, int y) { return alpha[static_cast<std::size_t>(y) * width + x]; }
    // Lays `c` over the texel with coverage `k` (colour and alpha blended "over").
    void Over(int x, int y, Rgb c, float k);
    Image ToImage() const;
};

// Line segments as strokes of one width, in pixels (y down).
struct Segment {
    float x0, y0, x1, y1;
};
// Coverage (0..1) of a round-capped stroke `width` wide along the segments, per texel of a w x h
// field (the largest over all segments).
std::vector<float> StrokeCoverage(const std::vector<Segment>& segments, float width, int w, int h);

// Six-armed snowflake with two pairs of side branches per arm, centred at (cx, cy), arm `radius`.
void AddSnowflake(std::vector<Segment>& out, float cx, float cy, float radius);
// The word in capital strokes (only the letters of "VELLACOR" are drawn), letters `height` tall,
// starting at left x, top y; returns the right edge.
float AddWord(std::vector<Segment>& out, const char* word, float x, float y, float height);

}  // namespace paint
}  // namespace dataset
}  // namespace trivale
