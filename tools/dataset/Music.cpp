// The show's music, composed and played here: slow pads under a bell melody that wanders over a
// pentatonic scale, wind, echo and a little room. Three pieces: the mountains (valley and ridge),
// the frozen lake, the results.
#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <vorbis/vorbisenc.h>

#include "tools/OggEncode.h"
#include "tools/dataset/DataSet.h"
#include "tools/dataset/Synth.h"

namespace trivale {
namespace dataset {

namespace {

using synth::Rng;
using synth::Stereo;

struct Chord {
    double seconds;
    std::vector<int> notes;  // MIDI note numbers, lowest first
};

struct Piece {
    double seconds;
    int rate;
    std::uint32_t seed;
    std::vector<Chord> chords;  // played in turn, from the start again when they run out
    std::vector<int> scale;     // the notes the melody may use, ascending
    double beat;                // the melody's grid, seconds
    float noteChance;           // of a bell on a beat inside a phrase
    int phraseBeats, restBeats;
    double melodyStart;
    float padLevel, bellLevel, windLevel;
    double padAttack, padRelease;
    double echoLeft, echoRight;
    double fadeIn, fadeOut;
};

// The mountains: D minor pentatonic over a slow modal turn, eight seconds a chord.
Piece Winter() {
    Piece p;
    p.seconds = 150.0;
    p.rate = 44100;
    p.seed = 0x57A11E01u;
    p.chords = {{8, {50, 57, 64, 65}}, {8, {46, 53, 57, 62}}, {8, {53, 57, 60, 64}}, {8, {48, 55, 62, 64}},
                {8, {55, 58, 62, 65}}, {8, {46, 53, 57, 62}}, {8, {50, 57, 60, 65}}, {8, {45, 52, 57, 62}}};
    p.scale = {74, 77, 79, 81, 84, 86, 89, 91, 93};
    p.beat = 0.5;
    p.noteChance = 0.5f;
    p.phraseBeats = 12;
    p.restBeats = 4;
    p.melodyStart = 6.0;
    p.padLevel = 0.11f;
    p.bellLevel = 0.3f;
    p.windLevel = 0.05f;
    p.padAttack = 3.0;
    p.padRelease = 3.0;
    p.echoLeft = 0.375;
    p.echoRight = 0.5;
    p.fadeIn = 3.0;
    p.fadeOut = 6.0;
    return p;
}

// The lake: E major pentatonic, sparse and wide, ten seconds a chord, more wind.
Piece Lake() {
    Piece p;
    p.seconds = 70.0;
    p.rate = 44100;
    p.seed = 0x1CE1A4E5u;
    p.chords = {{10, {52, 59, 63, 66}}, {10, {49, 56, 59, 64}}, {10, {45, 52, 56, 61}}, {10, {47, 54, 59, 61}}};
    p.scale = {76, 78, 80, 83, 85, 88, 90, 92};
    p.beat = 0.75;
    p.noteChance = 0.35f;
    p.phraseBeats = 8;
    p.restBeats = 4;
    p.melodyStart = 4.0;
    p.padLevel = 0.12f;
    p.bellLevel = 0.28f;
    p.windLevel = 0.08f;
    p.padAttack = 4.0;
    p.padRelease = 4.0;
    p.echoLeft = 0.6;
    p.echoRight = 0.8;
    p.fadeIn = 4.0;
    p.fadeOut = 7.0;
    return p;
}

// The results: C major, brighter and quicker, home on C at the end.
Piece Results() {
    Piece p;
    p.seconds = 12.0;
    p.rate = 22050;
    p.seed = 0x5C0AE5u;
    p.chords = {{2.5, {48, 55, 59, 64}},
                {2.5, {45, 52, 59, 60}},
                {2.5, {53, 57, 60, 67}},
                {2.0, {55, 59, 62, 64}},
                {4.0, {48, 55, 60, 64}}};
    p.scale = {72, 74, 76, 79, 81, 84, 86, 88};
    p.beat = 0.25;
    p.noteChance = 0.75f;
    p.phraseBeats = 14;
    p.restBeats = 2;
    p.melodyStart = 0.5;
    p.padLevel = 0.12f;
    p.bellLevel = 0.3f;
    p.windLevel = 0.0f;
    p.padAttack = 0.8;
    p.padRelease = 1.5;
    p.echoLeft = 0.25;
    p.echoRight = 0.375;
    p.fadeIn = 0.3;
    p.fadeOut = 3.0;
    return p;
}

bool InChord(const Chord& chord, int note) {
    for (int n : chord.notes)
        if ((n - note) % 12 == 0) return true;
    return false;
}

Stereo Play(const Piece& p) {
    Stereo out(p.rate, static_cast<std::size_t>(p.seconds * p.rate));
    Rng rng(p.seed);

    // Pads, each chord with its root an octave down beneath it.
    std::vector<double> starts;
    for (double t = 0.0; t < p.seconds;) {
        const Chord& c = p.chords[starts.size() % p.chords.size()];
        starts.push_back(t);
        for (int note : c.notes)
            synth::AddPadNote(out, t, c.seconds, synth::NoteHz(note), p.padLevel, p.padAttack, p.padRelease, rng);
        synth::AddPadNote(out, t, c.seconds, synth::NoteHz(c.notes[0] - 12), p.padLevel * 0.8f, p.padAttack,
                          p.padRelease, rng);
        t += c.seconds;
    }

    // The melody: a random walk over the scale, in phrases with rests between, landing on a chord
    // tone when the chord changes.
    Stereo bells(p.rate, out.Frames());
    int at = static_cast<int>(p.scale.size()) / 2;
    std::size_t chordIndex = 0;
    const int steps[] = {-2, -1, -1, 1, 1, 2};
    int beat = 0;
    for (double t = p.melodyStart; t < p.seconds - p.fadeOut; t += p.beat, ++beat) {
        bool change = false;
        while (chordIndex + 1 < starts.size() && starts[chordIndex + 1] <= t) {
            ++chordIndex;
            change = true;
        }
        const int inPhrase = beat % (p.phraseBeats + p.restBeats);
        if (inPhrase >= p.phraseBeats) continue;
        if (inPhrase != 0 && !change && rng.Unit() >= p.noteChance) continue;
        at = std::clamp(at + steps[rng.Below(6)], 0, static_cast<int>(p.scale.size()) - 1);
        const Chord& chord = p.chords[chordIndex % p.chords.size()];
        if (change || inPhrase == 0) {
            for (int d = 0; d < static_cast<int>(p.scale.size()); ++d) {
                if (at - d >= 0 && InChord(chord, p.scale[at - d])) {
                    at -= d;
                    break;
                }
                if (at + d < static_cast<int>(p.scale.size()) && InChord(chord, p.scale[at + d])) {
                    at += d;
                    break;
                }
            }
        }
        const float accent = inPhrase == 0 ? 1.0f : 0.55f + 0.35f * rng.Unit();
        const double when = t + rng.Unit() * 0.012;  // a player is never exactly on the grid
        synth::AddBellNote(bells, when, synth::NoteHz(p.scale[at]), p.bellLevel * accent, 0.3f + 0.4f * rng.Unit());
        if (at >= 2 && rng.Unit() < 0.2f)
            synth::AddBellNote(bells, when, synth::NoteHz(p.scale[at - 2]), p.bellLevel * accent * 0.45f,
                               0.3f + 0.4f * rng.Unit());
    }
    synth::Echo(bells, p.echoLeft, p.echoRight, 0.4f, 0.35f);
    out.Mix(bells, 1.0f);

    if (p.windLevel > 0.0f) synth::AddWind(out, p.windLevel, p.seed ^ 0xA5A5A5A5u);
    synth::Reverb(out, 0.82f, 0.3f, 0.35f);
    synth::FinishTrack(out, p.fadeIn, p.fadeOut, 0.8f);
    return out;
}

Bytes EncodeOgg(const Stereo& s, const std::string& title) {
    const std::string ogg = tvtools::EncodeOggWith(&vorbis_encode_init_vbr, 2, s.rate, static_cast<long>(s.Frames()),
                                                   {"TITLE=" + title, "ALBUM=VELLACOR 06"}, 0.3f,
                                                   [&s](long i, int c) { return c == 0 ? s.left[i] : s.right[i]; });
    if (ogg.empty()) throw std::runtime_error("the Vorbis encoder refused the music settings");
    return Bytes(ogg.begin(), ogg.end());
}

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// Mono 16-bit PCM: the results track is short and played from memory, so it stays uncompressed but small.
Bytes EncodeWave(const Stereo& s) {
    const std::uint32_t dataSize = static_cast<std::uint32_t>(s.Frames() * 2);
    Bytes b;
    b.reserve(44 + dataSize);
    for (char c : std::string("RIFF")) b.push_back(static_cast<std::uint8_t>(c));
    Put32(b, 36 + dataSize);
    for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<std::uint8_t>(c));
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, 1);  // channels
    Put32(b, static_cast<std::uint32_t>(s.rate));
    Put32(b, static_cast<std::uint32_t>(s.rate) * 2);
    Put16(b, 2);   // block align
    Put16(b, 16);  // bits
    for (char c : std::string("data")) b.push_back(static_cast<std::uint8_t>(c));
    Put32(b, dataSize);
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        const double x = std::clamp((s.left[i] + s.right[i]) * 0.5 * 32767.0, -32768.0, 32767.0);
        Put16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(x))));
    }
    return b;  // the data chunk is even-sized: no pad byte
}

}  // namespace

void AddMusic(DataSet& set) {
    // The long piece takes as long as the other two together: it gets a thread of its own.
    Bytes winter;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            winter = EncodeOgg(Play(Winter()), "WINTER");
        } catch (...) {
            failure = std::current_exception();
        }
    });
    Bytes lake, results;
    std::exception_ptr own;
    try {
        lake = EncodeOgg(Play(Lake()), "LAKE");
        results = EncodeWave(Play(Results()));
    } catch (...) {
        own = std::current_exception();
    }
    worker.join();
    if (own) std::rethrow_exception(own);
    if (failure) std::rethrow_exception(failure);
    set.Add("music\\winter.ogg", std::move(winter));
    set.Add("music\\lake.ogg", std::move(lake));
    set.Add("music\\results.wav", std::move(results));
}

}  // namespace dataset
}  // namespace trivale
