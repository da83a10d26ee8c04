#include "tools/dataset/StrokeFont.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace trivale {
namespace dataset {

namespace {

const int kFirstCode = 0x20;
const int kLastCode = 0x7E;

// Skeletons for 0x20..0x7E. Strokes are separated by ';', points by blanks; a point "x,y" prefixed
// with '*' or 'o' is a rounded corner (the size's small or big radius), one prefixed with 'c' the
// control point of a curve through its neighbours' legs. Lower case is drawn by the
// small debug size only, so it is designed for one pixel per unit.
const char* const kGlyphs[kLastCode - kFirstCode + 1] = {
    "",                                                                                               // space
    "2,0 2,4; 2,6",                                                                                   // !
    "1,0 1,1.5; 3,0 3,1.5",                                                                           // "
    "1.6,0.5 1,5.5; 3.6,0.5 3,5.5; 0.3,2 4,2; 0,4 3.7,4",                                             // #
    "4,1 *0,1 *0,3 *4,3 *4,5 0,5; 2,0 2,6",                                                           // $
    "0,6 4,0; 0.6,0 *1.2,0 *1.2,1.6 *0,1.6 *0,0 0.6,0; 3.4,4.4 *4,4.4 *4,6 *2.8,6 *2.8,4.4 3.4,4.4",  // %
    "4,6 1,2 *1,0 *3,0 3,1.5 0,4 *0,6 *3,6 4,4.5",                                                    // &
    "2,0 2,1.5",                                                                                      // '
    "3,0 c-0.8,3 3,6",                                                                                // (
    "1,0 c4.8,3 1,6",                                                                                 // )
    "2,1 2,5; 0.3,2 3.7,4; 0.3,4 3.7,2",                                                              // *
    "2,1 2,5; 0,3 4,3",                                                                               // +
    "2,5 2,6 1,7",                                                                                    // ,
    "0.5,3 3.5,3",                                                                                    // -
    "2,6",                                                                                            // .
    "0,6 4,0",                                                                                        // /
    "2,0 o3.6,0 o3.6,6 o0.4,6 o0.4,0 2,0",                                                            // 0
    "1,1 2,0 2,6",                                                                                    // 1
    "0,1 *0,0 *4,0 *4,2 0,6 4,6",                                                                     // 2
    "0,1 *0,0 *4,0 *4,3 1,3; 1,3 *4,3 *4,6 *0,6 0,5",                                                 // 3
    "3,6 3,0 0,4 4,4",                                                                                // 4
    "4,0 0,0 0,2.5 *4,2.5 *4,6 *0,6 0,5",                                                             // 5
    "4,1 *4,0 *0,0 *0,6 *4,6 *4,3 *0,3",                                                              // 6
    "0,0 4,0 1.5,6",                                                                                  // 7
    "2,0 *3.6,0 *3.6,3 *0.4,3 *0.4,0 2,0; 2,3 *4,3 *4,6 *0,6 *0,3 2,3",                               // 8
    "0,5 *0,6 *4,6 *4,0 *0,0 *0,3 *4,3",                                                              // 9
    "2,2; 2,6",                                                                                       // :
    "2,2; 2,5 2,6 1,7",                                                                               // ;
    "3.5,0.5 0.5,3 3.5,5.5",                                                                          // <
    "0,2 4,2; 0,4 4,4",                                                                               // =
    "0.5,0.5 3.5,3 0.5,5.5",                                                                          // >
    "0,1 *0,0 *4,0 *4,2 *2,2 2,4; 2,6",                                                               // ?
    "3,2 3,4 *4,4 *4,0 *0,0 *0,6 4,6; 3,2 *1,2 *1,4 3,4",                                             // @
    "0,6 2,0 4,6; 0.67,4 3.33,4",                                                                     // A
    "0,0 0,6; 0,0 *3.6,0 *3.6,3 0,3; 0,3 *4,3 *4,6 0,6",                                              // B
    "4,1 *4,0 o0,0 o0,6 *4,6 4,5",                                                                    // C
    "0,6 0,0 o4,0 o4,6 0,6",                                                                          // D
    "4,0 0,0 0,6 4,6; 0,3 3,3",                                                                       // E
    "4,0 0,0 0,6; 0,3 3,3",                                                                           // F
    "4,1 *4,0 o0,0 o0,6 *4,6 4,3 2,3",                                                                // G
    "0,0 0,6; 4,0 4,6; 0,3 4,3",                                                                      // H
    "2,0 2,6",                                                                                        // I
    "4,0 *4,6 *0,6 0,4",                                                                              // J
    "0,0 0,6; 4,0 0,4; 1.5,2.5 4,6",                                                                  // K
    "0,0 0,6 4,6",                                                                                    // L
    "0,6 0,0 2,4 4,0 4,6",                                                                            // M
    "0,6 0,0 4,6 4,0",                                                                                // N
    "2,0 o4,0 o4,6 o0,6 o0,0 2,0",                                                                    // O
    "0,6 0,0 *4,0 *4,3 0,3",                                                                          // P
    "2,0 o4,0 o4,6 o0,6 o0,0 2,0; 2.4,4.4 4,6.6",                                                     // Q
    "0,6 0,0 *4,0 *4,3 0,3; 1.8,3 4,6",                                                               // R
    "4,1 *4,0 *0,0 *0,3 *4,3 *4,6 *0,6 0,5",                                                          // S
    "0,0 4,0; 2,0 2,6",                                                                               // T
    "0,0 o0,6 o4,6 4,0",                                                                              // U
    "0,0 2,6 4,0",                                                                                    // V
    "0,0 1,6 2,2.5 3,6 4,0",                                                                          // W
    "0,0 4,6; 4,0 0,6",                                                                               // X
    "0,0 2,3 4,0; 2,3 2,6",                                                                           // Y
    "0,0 4,0 0,6 4,6",                                                                                // Z
    "3,0 1,0 1,6 3,6",                                                                                // [
    "0,0 4,6",                                                                                        // backslash
    "1,0 3,0 3,6 1,6",                                                                                // ]
    "0,2 2,0 4,2",                                                                                    // ^
    "0,7 4,7",                                                                                        // _
    "1,0 2,1",                                                                                        // `
    "0,2 *4,2 4,6; 4,4 *0,4 *0,6 4,6",                                                                // a
    "0,0 0,6; 0,2 *4,2 *4,6 0,6",                                                                     // b
    "4,2 *0,2 *0,6 4,6",                                                                              // c
    "4,0 4,6; 4,2 *0,2 *0,6 4,6",                                                                     // d
    "0,4 4,4 *4,2 *0,2 *0,6 4,6",                                                                     // e
    "4,0 *2,0 2,6; 0,2 4,2",                                                                          // f
    "4,2 *4,7 0,7; 4,2 *0,2 *0,5 4,5",                                                                // g
    "0,0 0,6; 0,2 *4,2 4,6",                                                                          // h
    "1,2 2,2 2,6; 1,6 3,6; 2,0",                                                                      // i
    "2,2 3,2 *3,7 0,7; 3,0",                                                                          // j
    "0,0 0,6; 3,2 0,5; 1,4 3,6",                                                                      // k
    "1,0 2,0 2,6; 1,6 3,6",                                                                           // l
    "0,2 0,6; 0,2 *2,2 2,6; 2,2 *4,2 4,6",                                                            // m
    "0,2 0,6; 0,2 *4,2 4,6",                                                                          // n
    "2,2 *4,2 *4,6 *0,6 *0,2 2,2",                                                                    // o
    "0,2 0,7; 0,2 *4,2 *4,5 0,5",                                                                     // p
    "4,2 4,7; 4,2 *0,2 *0,5 4,5",                                                                     // q
    "0,2 0,6; 0,3 *1,2 3,2 4,3",                                                                      // r
    "4,2 *0,2 *0,4 *4,4 *4,6 0,6",                                                                    // s
    "2,0 *2,6 4,6; 0,2 4,2",                                                                          // t
    "0,2 *0,6 4,6 4,2",                                                                               // u
    "0,2 0,4 2,6 4,4 4,2",                                                                            // v
    "0,2 0,5 1,6 2,5 3,6 4,5 4,2; 2,3 2,5",                                                           // w
    "0,2 4,6; 4,2 0,6",                                                                               // x
    "0,2 *0,5 4,5; 4,2 *4,7 0,7",                                                                     // y
    "0,2 4,2 0,6 4,6",                                                                                // z
    "3,0 *2,0 2,2 1,3 2,4 *2,6 3,6",                                                                  // {
    "2,0 2,7",                                                                                        // |
    "1,0 *2,0 2,2 3,3 2,4 *2,6 1,6",                                                                  // }
    "0,3 1,2 3,3 4,2",                                                                                // ~
};

// Forms for one pixel per unit: whole-unit points and slopes of 0 or 1 where the large forms slant.
struct PixelForm {
    char code;
    const char* strokes;
};
const PixelForm kPixelForms[] = {
    {'"', "1,0 1,1; 3,0 3,1"},
    {'#', "1,1 1,5; 3,1 3,5; 0,2 4,2; 0,4 4,4"},
    {'%', "0,5 4,1; 0,0 1,0 1,1 0,1 0,0; 3,5 4,5 4,6 3,6 3,5"},
    {'\'', "2,0 2,1"},
    {'&', "4,6 0,2 0,1 1,0 2,0 3,1 0,4 0,5 1,6 2,6 4,4"},
    {'(', "3,0 *1,2 *1,4 3,6"},
    {')', "1,0 *3,2 *3,4 1,6"},
    {'*', "2,1 2,5; 0,2 4,4; 0,4 4,2"},
    {'-', "1,3 3,3"},
    {'/', "0,5 4,1"},
    {'0', "2,0 *4,0 *4,6 *0,6 *0,0 2,0; 1,4 3,2"},
    {'1', "1,1 2,0 2,6; 1,6 3,6"},
    {'5', "4,0 0,0 0,2 *4,2 *4,6 *0,6 0,5"},
    {'7', "0,0 4,0 4,1 2,3 2,6"},
    {'8', "2,0 *4,0 *4,3 *0,3 *0,0 2,0; 2,3 *4,3 *4,6 *0,6 *0,3 2,3"},
    {'<', "3,0 0,3 3,6"},
    {'>', "1,0 4,3 1,6"},
    {'A', "0,6 *0,0 *4,0 4,6; 0,3 4,3"},
    {'B', "0,0 0,6; 0,0 *4,0 *4,3 0,3; 0,3 *4,3 *4,6 0,6"},
    {'I', "1,0 3,0; 2,0 2,6; 1,6 3,6"},
    {'K', "0,0 0,6; 4,0 1,3 4,6; 0,3 1,3"},
    {'M', "0,6 0,0 2,2 4,0 4,6; 2,2 2,3"},
    {'N', "0,6 0,0; 0,1 4,5; 4,0 4,6"},
    {'Q', "2,0 *4,0 *4,6 *0,6 *0,0 2,0; 2,5 4,7"},
    {'R', "0,6 0,0 *4,0 *4,3 0,3; 1,3 4,6"},
    {'V', "0,0 0,4 2,6 4,4 4,0"},
    {'W', "0,0 0,6 2,4 4,6 4,0; 2,3 2,4"},
    {'X', "0,0 0,1 4,5 4,6; 4,0 4,1 0,5 0,6"},
    {'Y', "0,0 0,1 2,3 4,1 4,0; 2,3 2,6"},
    {'Z', "0,0 4,0 4,1 0,5 0,6 4,6"},
    {'\\', "0,1 4,5"},
};

struct Vec {
    double x = 0.0;
    double y = 0.0;
};

enum class Corner { Sharp, Round, RoundBig, Curve };

struct DesignPoint {
    Vec at;
    Corner corner = Corner::Sharp;
};
using DesignStroke = std::vector<DesignPoint>;
using DesignGlyph = std::vector<DesignStroke>;

// The tables are the builder's own, so a malformed entry is a builder fault.
double ParseNumber(const std::string& text, std::size_t& pos) {
    const std::size_t start = pos;
    bool negative = false;
    if (pos < text.size() && text[pos] == '-') {
        negative = true;
        ++pos;
    }
    double value = 0.0;
    double scale = 0.0;
    bool digits = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0.0) {
                value = value * 10.0 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale *= 0.1;
            }
        } else if (c == '.' && scale == 0.0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    if (!digits) throw std::logic_error("stroke font: bad number at " + std::to_string(start) + " in \"" + text + "\"");
    return negative ? -value : value;
}

DesignGlyph ParseGlyph(const std::string& text) {
    DesignGlyph glyph(1);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == ' ') {
            ++pos;
        } else if (c == ';') {
            glyph.emplace_back();
            ++pos;
        } else {
            DesignPoint point;
            if (c == '*' || c == 'o' || c == 'c') {
                point.corner = c == '*' ? Corner::Round : (c == 'o' ? Corner::RoundBig : Corner::Curve);
                ++pos;
            }
            point.at.x = ParseNumber(text, pos);
            if (pos >= text.size() || text[pos] != ',')
                throw std::logic_error("stroke font: bad point in \"" + text + "\"");
            ++pos;
            point.at.y = ParseNumber(text, pos);
            glyph.back().push_back(point);
        }
    }
    glyph.erase(std::remove_if(glyph.begin(), glyph.end(), [](const DesignStroke& s) { return s.empty(); }),
                glyph.end());
    return glyph;
}

struct GlyphTables {
    std::vector<DesignGlyph> regular;  // by code - kFirstCode
    std::vector<DesignGlyph> pixel;
};

const GlyphTables& Tables() {
    static const GlyphTables tables = [] {
        GlyphTables t;
        for (const char* text : kGlyphs) t.regular.push_back(ParseGlyph(text));
        t.pixel = t.regular;
        for (const PixelForm& form : kPixelForms) t.pixel[form.code - kFirstCode] = ParseGlyph(form.strokes);
        return t;
    }();
    return tables;
}

double Length(Vec v) { return std::sqrt(v.x * v.x + v.y * v.y); }

// The stroke as a polyline in design units, its round corners replaced by quadratic curves tangent
// to both legs. A leg shared by two round corners gives each half of its length.
std::vector<Vec> Flatten(const DesignStroke& stroke, const StrokeSize& size) {
    std::vector<Vec> out;
    const std::size_t n = stroke.size();
    for (std::size_t i = 0; i < n; ++i) {
        const DesignPoint& p = stroke[i];
        if (p.corner == Corner::Sharp || i == 0 || i + 1 == n) {
            out.push_back(p.at);
            continue;
        }
        const Vec a = stroke[i - 1].at;
        const Vec b = stroke[i + 1].at;
        const Vec toA{a.x - p.at.x, a.y - p.at.y};
        const Vec toB{b.x - p.at.x, b.y - p.at.y};
        const double lenA = Length(toA);
        const double lenB = Length(toB);
        if (lenA < 1e-9 || lenB < 1e-9) {
            out.push_back(p.at);
            continue;
        }
        const Vec u1{toA.x / lenA, toA.y / lenA};
        const Vec u2{toB.x / lenB, toB.y / lenB};
        const double cosAngle = std::max(-1.0, std::min(1.0, u1.x * u2.x + u1.y * u2.y));
        const double angle = std::acos(cosAngle);
        if (angle > 3.13) {  // straight on: nothing to round
            out.push_back(p.at);
            continue;
        }
        const double radius =
            p.corner == Corner::Round ? size.round : (p.corner == Corner::RoundBig ? size.roundBig : 1e6);
        const bool sharedA = i - 1 > 0 && stroke[i - 1].corner != Corner::Sharp;
        const bool sharedB = i + 2 < n && stroke[i + 1].corner != Corner::Sharp;
        double t = radius / std::tan(angle / 2.0);
        t = std::min(t, sharedA ? lenA / 2.0 : lenA);
        t = std::min(t, sharedB ? lenB / 2.0 : lenB);
        const Vec t1{p.at.x + u1.x * t, p.at.y + u1.y * t};
        const Vec t2{p.at.x + u2.x * t, p.at.y + u2.y * t};
        const int steps = 12;
        for (int k = 0; k <= steps; ++k) {
            const double s = static_cast<double>(k) / steps;
            const double w0 = (1 - s) * (1 - s), w1 = 2 * s * (1 - s), w2 = s * s;
            out.push_back({w0 * t1.x + w1 * p.at.x + w2 * t2.x, w0 * t1.y + w1 * p.at.y + w2 * t2.y});
        }
    }
    return out;
}

struct Segment {
    Vec a;
    Vec b;
    double minX, minY, maxX, maxY;
};

// Distance from a point to the nearest stroke skeleton, in pixels.
class Skeleton {
public:
    Skeleton(const DesignGlyph& glyph, const StrokeSize& size, Vec origin) {
        for (const DesignStroke& stroke : glyph) {
            std::vector<Vec> line = Flatten(stroke, size);
            for (Vec& v : line) v = {origin.x + v.x * size.unitX, origin.y + v.y * size.unitY};
            if (line.size() == 1) line.push_back(line[0]);  // a dot
            for (std::size_t i = 1; i < line.size(); ++i) {
                const Vec a = line[i - 1], b = line[i];
                segments_.push_back(
                    {a, b, std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)});
            }
        }
    }

    // The segments that can come within `reach` of the square of half-side `half` around (x, y).
    void Near(double x, double y, double half, double reach, std::vector<const Segment*>& out) const {
        out.clear();
        const double r = reach + half;
        const Segment* list = segments_.data();
        for (std::size_t i = 0, n = segments_.size(); i < n; ++i) {
            const Segment& s = list[i];
            if (x < s.minX - r || x > s.maxX + r || y < s.minY - r || y > s.maxY + r) continue;
            out.push_back(&s);
        }
    }

    // Distance to the nearest of `near`; `reach` when none is closer. Plain loops: this is the
    // builder's inner loop and runs in unoptimised test builds too.
    static double Distance(const std::vector<const Segment*>& near, double x, double y, double reach) {
        double best = reach * reach;
        const Segment* const* list = near.data();
        for (std::size_t i = 0, n = near.size(); i < n; ++i) {
            const Segment& s = *list[i];
            const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
            const double px = x - s.a.x, py = y - s.a.y;
            const double len2 = dx * dx + dy * dy;
            double t = len2 > 0.0 ? (px * dx + py * dy) / len2 : 0.0;
            t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
            const double ex = px - t * dx, ey = py - t * dy;
            const double d2 = ex * ex + ey * ey;
            if (d2 < best) best = d2;
        }
        return std::sqrt(best);
    }

private:
    std::vector<Segment> segments_;
};

double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

// Coverage of the pen (radius `outer`, minus radius `inner` when inner > 0 for an outline) over each
// pixel of a width x height box: the distance at the pixel centre decides clear cases, 4x4 samples
// with a sub-pixel ramp the edges.
std::vector<double> Cover(const Skeleton& skeleton, int width, int height, double outer, double inner) {
    std::vector<double> out(static_cast<std::size_t>(width) * height, 0.0);
    const double margin = 0.67;  // farther than any sample of the pixel plus its ramp
    const double reach = outer + 2.0;
    auto ramp = [](double radius, double d) { return Clamp01((radius - d) * 4.0 + 0.5); };
    std::vector<const Segment*> near;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            skeleton.Near(x + 0.5, y + 0.5, 0.5, reach, near);
            const double d0 = Skeleton::Distance(near, x + 0.5, y + 0.5, reach);
            double value;
            if (d0 >= outer + margin) {
                value = 0.0;
            } else if (d0 <= outer - margin && (inner <= 0.0 || d0 >= inner + margin)) {
                value = 1.0;
            } else if (inner > 0.0 && d0 <= inner - margin) {
                value = 0.0;
            } else {
                double sum = 0.0;
                for (int sy = 0; sy < 4; ++sy) {
                    for (int sx = 0; sx < 4; ++sx) {
                        const double d = Skeleton::Distance(near, x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0, reach);
                        sum += ramp(outer, d) - (inner > 0.0 ? ramp(inner, d) : 0.0);
                    }
                }
                value = sum / 16.0;
            }
            out[static_cast<std::size_t>(y) * width + x] = value;
        }
    }
    return out;
}

// Dark fading linearly from full at `inner` to nothing at `outer` from the skeleton (pixels), sampled at
// pixel centres: the ramp is at least a pixel wide, so it needs no sub-pixel samples.
std::vector<double> Falloff(const Skeleton& skeleton, int width, int height, double inner, double outer) {
    std::vector<double> out(static_cast<std::size_t>(width) * height, 0.0);
    const double reach = outer + 1.0;
    std::vector<const Segment*> near;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            skeleton.Near(x + 0.5, y + 0.5, 0.0, reach, near);
            const double d = Skeleton::Distance(near, x + 0.5, y + 0.5, reach);
            out[static_cast<std::size_t>(y) * width + x] = Clamp01((outer - d) / (outer - inner));
        }
    }
    return out;
}

// One pixel wider to the right, for stems of two pixels at one pixel a unit; glyphs whose strokes stand
// one pixel apart keep their single stems, as thickening would close their counters.
std::vector<double> Heavy(const std::vector<double>& ink, int width, int code) {
    static const std::string kThin = "#@MWmw";
    std::vector<double> out = ink;
    if (kThin.find(static_cast<char>(code)) != std::string::npos) return out;
    for (std::size_t i = 1; i < out.size(); ++i)
        if (i % static_cast<std::size_t>(width) != 0) out[i] = std::max(ink[i], ink[i - 1]);
    return out;
}

}  // namespace

bool HasStrokeGlyph(int code) { return code >= kFirstCode && code <= kLastCode; }

void DrawStrokeGlyph(Image& image, int x, int y, int width, int height, int code, GlyphStyle style,
                     const StrokeSize& size) {
    if (!HasStrokeGlyph(code)) throw std::invalid_argument("stroke font: no glyph for code " + std::to_string(code));
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > image.width || y + height > image.height) {
        throw std::invalid_argument("stroke font: glyph box outside the image");
    }
    const GlyphTables& tables = Tables();
    const DesignGlyph& glyph = (size.pixel ? tables.pixel : tables.regular)[code - kFirstCode];

    // One placement for every style of a size, so that the styles line up: the widest pen and the
    // shadow or smear centred in the box, plain stems on whole pixels.
    const double shadowPen = size.pen + 0.6;
    const double widest = size.pixel ? size.pen : std::max({size.pen, size.boldPen, size.outlinePen});
    const bool soft = !size.pixel && size.halo > 0.0;
    Vec origin;
    if (!soft) {
        const double before = widest / 2.0;
        const double after = size.pixel ? size.pen / 2.0 : std::max(widest / 2.0, shadowPen / 2.0 + size.shadowOffset);
        const double spanX = 4.0 * size.unitX + before + after + (size.pixel ? 1.0 : 0.0);  // the bold smear
        const double spanY = 7.0 * size.unitY + before + after;
        if (spanX > width || spanY > height)
            throw std::invalid_argument("stroke font: glyph box too small for the size");
        origin = {std::floor((width - spanX) / 2.0 + before - size.pen / 2.0 + 1e-9) + size.pen / 2.0,
                  std::floor((height - spanY) / 2.0 + before - size.pen / 2.0 + 1e-9) + size.pen / 2.0};
    } else {
        // The capitals and their halo centred (the faint edge of a halo may be cut at the box), the few
        // plain strokes below the baseline kept inside, plain stems on whole pixels.
        const double before = std::max(widest / 2.0, size.halo);
        const double after =
            std::max({before, shadowPen / 2.0 + size.shadowOffset, size.shadowSoft + size.shadowOffset});
        const double spanX = 4.0 * size.unitX + before + after;
        const double spanCaps = 6.0 * size.unitY + before + after;
        origin = {std::floor((width - spanX) / 2.0 + before - size.pen / 2.0 + 0.5) + size.pen / 2.0,
                  std::floor((height - spanCaps) / 2.0 + before - size.pen / 2.0 + 0.5) + size.pen / 2.0};
        const double lowest = 7.0 * size.unitY + size.pen / 2.0;
        if (origin.y + lowest > height) origin.y -= std::ceil(origin.y + lowest - height);
        origin.x = std::max(origin.x, size.pen / 2.0);
        origin.y = std::max(origin.y, size.pen / 2.0);
        if (origin.x + 4.0 * size.unitX + size.pen / 2.0 > width || origin.y + lowest > height)
            throw std::invalid_argument("stroke font: glyph box too small for the size");
    }
    const Skeleton skeleton(glyph, size, origin);

    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<double> alpha;
    std::vector<double> shadow(count, 0.0);
    // Captions and the overlay's texts are white over snow and cloud as often as over shade: every style
    // carries dark ink around its strokes, as much as the box reserved for the widest style holds.
    auto addDarkAt = [&](const std::vector<double>& dark, double strength, int dx, int dy) {
        for (int row = std::max(dy, 0); row < height + std::min(dy, 0); ++row) {
            for (int col = std::max(dx, 0); col < width + std::min(dx, 0); ++col) {
                double& d = shadow[static_cast<std::size_t>(row) * width + col];
                d = std::max(d, strength * dark[static_cast<std::size_t>(row - dy) * width + (col - dx)]);
            }
        }
    };
    auto addDark = [&](const std::vector<double>& dark, double strength, int offset) {
        addDarkAt(dark, strength, offset, offset);
    };
    // At one pixel a unit there is no room above a glyph: dark ink left, right and below it.
    auto addPixelOutline = [&](const std::vector<double>& ink) {
        const int offsets[][2] = {{-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
        for (const auto& d : offsets) addDarkAt(ink, 1.0, d[0], d[1]);
    };
    const double rim = widest / 2.0;
    switch (style) {
    case GlyphStyle::Plain:
        alpha = Cover(skeleton, width, height, size.pen / 2.0, 0.0);
        if (size.pixel) {
            // The overlay draws its subtitle in this size at a third of full strength: one-pixel stems
            // vanish into a busy sky, so the plain set has the heavy stems too.
            alpha = Heavy(alpha, width, code);
            addPixelOutline(alpha);
        } else {
            // The overlay draws its title and counters half transparent: the rim at full strength.
            addDark(Cover(skeleton, width, height, rim, 0.0), 1.0, 0);
            addDark(Cover(skeleton, width, height, shadowPen / 2.0, 0.0), 0.8, size.shadowOffset);
        }
        break;
    case GlyphStyle::Bold:
        if (size.pixel) {  // the heavy stems over a deeper shadow
            alpha = Heavy(Cover(skeleton, width, height, size.pen / 2.0, 0.0), width, code);
            addPixelOutline(alpha);
            addDark(alpha, 1.0, 2);
        } else {
            alpha = Cover(skeleton, width, height, size.boldPen / 2.0, 0.0);
            addDark(Cover(skeleton, width, height, rim, 0.0), 0.7, 0);
            addDark(Cover(skeleton, width, height, size.boldPen / 2.0, 0.0), 0.7, size.shadowOffset);
        }
        break;
    case GlyphStyle::Shadow:
        alpha = Cover(skeleton, width, height, size.pen / 2.0, 0.0);
        if (soft) {
            // Captions over bright snow: a grey halo all round and a dark soft shadow below right.
            addDark(Falloff(skeleton, width, height, size.pen / 2.0, size.halo), 0.75, 0);
            addDark(Falloff(skeleton, width, height, shadowPen / 2.0, size.shadowSoft), 0.95, size.shadowOffset);
        } else {
            addDark(Cover(skeleton, width, height, rim, 0.0), 0.5, 0);
            addDark(Cover(skeleton, width, height, shadowPen / 2.0, 0.0), 0.9, size.shadowOffset);
        }
        break;
    case GlyphStyle::Outline:
        alpha = Cover(skeleton, width, height, size.pen / 2.0, 0.0);
        if (soft) {
            // A solid ring that fades out into a halo, so that the strokes stand on dark over snow.
            addDark(Falloff(skeleton, width, height, size.ring, size.halo), 1.0, 0);
        } else {
            addDark(Cover(skeleton, width, height, std::max(rim, size.outlinePen / 2.0), 0.0), 1.0, 0);
        }
        break;
    }

    // White glyph over a black shadow; colour un-premultiplied.
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const std::size_t i = static_cast<std::size_t>(row) * width + col;
            const double a = alpha[i];
            const double total = a + shadow[i] * (1.0 - a);
            const int a8 = static_cast<int>(std::lround(total * 255.0));
            std::uint8_t* px = image.At(x + col, y + row);
            if (a8 <= 0) {
                px[0] = px[1] = px[2] = px[3] = 0;
                continue;
            }
            const auto grey = static_cast<std::uint8_t>(std::lround(255.0 * a / total));
            px[0] = px[1] = px[2] = grey;
            px[3] = static_cast<std::uint8_t>(a8);
        }
    }
}

}  // namespace dataset
}  // namespace trivale
