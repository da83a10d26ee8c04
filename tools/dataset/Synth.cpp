#include "tools/dataset/Synth.h"

#include <algorithm>
#include <cmath>

namespace trivale {
namespace dataset {
namespace synth {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A sine period in 2^14 steps, read by the top bits of a 32-bit phase: the error stays near -80 dB,
// far below what the encoder keeps, at a fraction of the cost of std::sin per sample.
constexpr int kSineBits = 14;

const std::vector<float>& SineTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(std::size_t{1} << kSineBits);
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<float>(std::sin(2.0 * kPi * static_cast<double>(i) / static_cast<double>(t.size())));
        return t;
    }();
    return table;
}

inline float Sine(std::uint32_t phase) { return SineTable()[phase >> (32 - kSineBits)]; }

std::uint32_t PhaseStep(double hz, int rate) {
    return static_cast<std::uint32_t>(std::llround(hz / rate * 4294967296.0));
}

// The sample range [first, last) of a span of seconds, cut to the buffer.
void Span(const Stereo& out, double start, double seconds, std::size_t& first, std::size_t& last) {
    const double a = std::max(0.0, start * out.rate);
    const double b = std::max(a, (start + seconds) * out.rate);
    first = std::min(out.Frames(), static_cast<std::size_t>(a));
    last = std::min(out.Frames(), static_cast<std::size_t>(b));
}

float PanLeft(float pan) { return static_cast<float>(std::cos(pan * kPi * 0.5)); }
float PanRight(float pan) { return static_cast<float>(std::sin(pan * kPi * 0.5)); }

// A delay line of a fixed length.
class Delay {
public:
    explicit Delay(std::size_t length) : line_(std::max<std::size_t>(length, 1)) {}
    float Out() const { return line_[pos_]; }
    void In(float x) {
        line_[pos_] = x;
        if (++pos_ == line_.size()) pos_ = 0;
    }

private:
    std::vector<float> line_;
    std::size_t pos_ = 0;
};

class Comb {
public:
    Comb(std::size_t length, float feedback, float damping) : delay_(length), feedback_(feedback), damping_(damping) {}
    float Process(float x) {
        const float y = delay_.Out();
        store_ = y * (1.0f - damping_) + store_ * damping_;
        delay_.In(x + store_ * feedback_);
        return y;
    }

private:
    Delay delay_;
    float feedback_, damping_, store_ = 0.0f;
};

class AllPass {
public:
    explicit AllPass(std::size_t length) : delay_(length) {}
    float Process(float x) {
        const float b = delay_.Out();
        delay_.In(x + b * 0.5f);
        return b - x;
    }

private:
    Delay delay_;
};

}  // namespace

void Stereo::Mix(const Stereo& other, float gain) {
    const std::size_t n = std::min(Frames(), other.Frames());
    for (std::size_t i = 0; i < n; ++i) {
        left[i] += other.left[i] * gain;
        right[i] += other.right[i] * gain;
    }
}

double NoteHz(int midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0); }

void AddPadNote(Stereo& out, double start, double length, double hz, float level, double attack, double release,
                Rng& rng) {
    std::size_t first, last;
    Span(out, start, length + release, first, last);
    if (first == last) return;
    // The envelope once per note, shared by the voices: a smoothstep rise and fall.
    std::vector<float> env(last - first);
    for (std::size_t i = 0; i < env.size(); ++i) {
        const double t = static_cast<double>(i) / out.rate;
        double e = std::min(1.0, t / attack);
        if (t > length) e *= std::max(0.0, 1.0 - (t - length) / release);
        env[i] = static_cast<float>(e * e * (3.0 - 2.0 * e)) * level;
    }
    struct Voice {
        double cents;
        float pan, gain;
    };
    const Voice voices[] = {{-7.0 + rng.Signed(), 0.15f, 0.34f},
                            {rng.Signed() * 0.5, 0.5f, 0.34f},
                            {7.0 + rng.Signed(), 0.85f, 0.34f},
                            {1200.0 + rng.Signed() * 3.0, 0.3f + 0.4f * rng.Unit(), 0.07f}};
    for (const Voice& v : voices) {
        const double f = hz * std::pow(2.0, v.cents / 1200.0);
        if (f >= out.rate * 0.45) continue;
        const std::uint32_t step = PhaseStep(f, out.rate);
        std::uint32_t phase = rng.Next();
        const float gl = PanLeft(v.pan) * v.gain, gr = PanRight(v.pan) * v.gain;
        for (std::size_t i = first; i < last; ++i, phase += step) {
            const float s = Sine(phase) * env[i - first];
            out.left[i] += s * gl;
            out.right[i] += s * gr;
        }
    }
}

void AddBellNote(Stereo& out, double start, double hz, float level, float pan) {
    // Partial ratios of a struck bar (not whole numbers: that is what makes it a bell), with a
    // slightly mistuned twin of the fundamental for shimmer.
    struct Partial {
        double ratio;
        float amp;
        double decay;  // seconds to fall by 1/e
    };
    static const Partial partials[] = {
        {1.0, 1.0f, 1.7}, {1.0021, 0.45f, 1.4}, {2.756, 0.4f, 0.8}, {5.404, 0.18f, 0.38}, {8.933, 0.09f, 0.2}};
    const float gl = PanLeft(pan), gr = PanRight(pan);
    const std::size_t attack = static_cast<std::size_t>(0.004 * out.rate);
    for (const Partial& p : partials) {
        const double f = hz * p.ratio;
        if (f >= out.rate * 0.45) continue;
        std::size_t first, last;
        Span(out, start, p.decay * 5.8, first, last);  // down by 50 dB
        const std::uint32_t step = PhaseStep(f, out.rate);
        const float k = static_cast<float>(std::exp(-1.0 / (p.decay * out.rate)));
        float env = level * p.amp;
        std::uint32_t phase = 0;
        for (std::size_t i = first; i < last; ++i, phase += step) {
            const std::size_t n = i - first;
            const float a = n < attack ? env * static_cast<float>(n) / static_cast<float>(attack) : env;
            const float s = Sine(phase) * a;
            out.left[i] += s * gl;
            out.right[i] += s * gr;
            env *= k;
        }
    }
}

void AddWind(Stereo& out, float level, std::uint32_t seed) {
    Rng rng(seed);
    for (int side = 0; side < 2; ++side) {
        std::vector<float>& ch = side == 0 ? out.left : out.right;
        const double drift = 0.9 + 0.2 * rng.Unit();
        float low = 0.0f, band = 0.0f, f = 0.0f, gain = 0.0f;
        for (std::size_t i = 0; i < ch.size(); ++i) {
            if (i % 64 == 0) {
                const double t = static_cast<double>(i) / out.rate;
                const double centre = 500.0 + 350.0 * std::sin(2.0 * kPi * t / (13.0 * drift) + side);
                f = static_cast<float>(2.0 * std::sin(kPi * centre / out.rate));
                const double swell = 0.5 + 0.5 * std::sin(2.0 * kPi * t / (9.0 * drift) + 2.0 * side);
                gain = level * static_cast<float>(0.25 + 0.75 * swell * swell);
            }
            // Chamberlin state-variable filter, band-pass output.
            const float high = rng.Signed() - low - 0.35f * band;
            band += f * high;
            low += f * band;
            ch[i] += band * gain;
        }
    }
}

void Echo(Stereo& signal, double leftDelay, double rightDelay, float feedback, float wet) {
    Delay l(static_cast<std::size_t>(leftDelay * signal.rate)), r(static_cast<std::size_t>(rightDelay * signal.rate));
    float lpL = 0.0f, lpR = 0.0f;
    for (std::size_t i = 0; i < signal.Frames(); ++i) {
        const float dl = l.Out(), dr = r.Out();
        lpL += 0.45f * (dl - lpL);
        lpR += 0.45f * (dr - lpR);
        // Each side's repeat feeds the other: the echo walks from side to side.
        l.In(signal.left[i] + lpR * feedback);
        r.In(signal.right[i] + lpL * feedback);
        signal.left[i] += dl * wet;
        signal.right[i] += dr * wet;
    }
}

void Reverb(Stereo& signal, float roomFeedback, float damping, float wet) {
    const double scale = signal.rate / 44100.0;
    const int combs[] = {1116, 1188, 1277, 1356};
    const int passes[] = {556, 441};
    const int spread = 23;  // the right side's lines are a little longer: the room is wide
    std::vector<float> wetOut[2] = {std::vector<float>(signal.Frames()), std::vector<float>(signal.Frames())};
    for (int side = 0; side < 2; ++side) {
        auto len = [&](int n) { return static_cast<std::size_t>((n + side * spread) * scale); };
        std::vector<Comb> c;
        for (int n : combs) c.emplace_back(len(n), roomFeedback, damping);
        std::vector<AllPass> a;
        for (int n : passes) a.emplace_back(len(n));
        for (std::size_t i = 0; i < signal.Frames(); ++i) {
            const float in = (signal.left[i] + signal.right[i]) * 0.5f;
            float y = 0.0f;
            for (Comb& comb : c) y += comb.Process(in);
            y *= 0.25f;
            for (AllPass& pass : a) y = pass.Process(y);
            wetOut[side][i] = y;
        }
    }
    for (std::size_t i = 0; i < signal.Frames(); ++i) {
        signal.left[i] += wetOut[0][i] * wet;
        signal.right[i] += wetOut[1][i] * wet;
    }
}

void FinishTrack(Stereo& signal, double in, double out, float peak) {
    const std::size_t n = signal.Frames();
    const double inFrames = std::max(1.0, in * signal.rate), outFrames = std::max(1.0, out * signal.rate);
    float top = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const double at = static_cast<double>(i);  // a frame index, exact in a double
        double g = 1.0;
        if (at < inFrames) g *= 0.5 - 0.5 * std::cos(kPi * at / inFrames);
        const double fromEnd = static_cast<double>(n - 1 - i);
        if (fromEnd < outFrames) g *= 0.5 - 0.5 * std::cos(kPi * fromEnd / outFrames);
        signal.left[i] *= static_cast<float>(g);
        signal.right[i] *= static_cast<float>(g);
        top = std::max({top, std::fabs(signal.left[i]), std::fabs(signal.right[i])});
    }
    if (top <= 0.0f) return;
    const float k = peak / top;
    for (std::size_t i = 0; i < n; ++i) {
        signal.left[i] *= k;
        signal.right[i] *= k;
    }
}

}  // namespace synth
}  // namespace dataset
}  // namespace trivale
