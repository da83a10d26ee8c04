// The show's music instruments and effects: everything is computed from integer seeds and plain float
// arithmetic, so the same call gives the same samples on every run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace trivale {
namespace dataset {
namespace synth {

// xorshift32: small, fast and the same everywhere (std:: engines' distributions are not).
class Rng {
public:
    explicit Rng(std::uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
    float Unit() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }  // [0, 1)
    float Signed() { return Unit() * 2.0f - 1.0f; }                                  // [-1, 1)

private:
    std::uint32_t state_;
};

struct Stereo {
    Stereo(int sampleRate, std::size_t frames) : rate(sampleRate), left(frames), right(frames) {}
    std::size_t Frames() const { return left.size(); }
    void Mix(const Stereo& other, float gain);

    int rate;
    std::vector<float> left, right;
};

double NoteHz(int midiNote);

// A soft pad note: three slightly detuned sines spread across the field and a faint octave, rising over
// `attack` seconds and dying away over `release` after start + length.
void AddPadNote(Stereo& out, double start, double length, double hz, float level, double attack, double release,
                Rng& rng);

// A celesta-like struck bell: inharmonic partials, the high ones dying first. pan 0 left, 1 right.
void AddBellNote(Stereo& out, double start, double hz, float level, float pan);

// Wind: noise through a band-pass whose centre and level drift slowly, on both sides independently.
void AddWind(Stereo& out, float level, std::uint32_t seed);

// Ping-pong echo with damped feedback, added to the signal.
void Echo(Stereo& signal, double leftDelay, double rightDelay, float feedback, float wet);

// A small comb-and-all-pass room, mixed in with `wet`.
void Reverb(Stereo& signal, float roomFeedback, float damping, float wet);

// Raised-cosine fades at both ends (the last `out` seconds fall to exact silence), then the whole
// scaled so that its peak is `peak`.
void FinishTrack(Stereo& signal, double in, double out, float peak);

}  // namespace synth
}  // namespace dataset
}  // namespace trivale
