// Helpers of the sound tests: WAVE files and Ogg Vorbis streams made in memory, streams over them,
// and a stream that fails.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <vorbis/vorbisenc.h>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "devices/SoundReader.h"
#include "platform/Sound.h"
#include "tests/core/TestUtil.h"
#include "tools/OggEncode.h"

namespace soundtest {

using tvtest::CapturedLog;
using tvtest::LE32;
using tvtest::ReadFile;
using tvtest::ScopedEnv;
using tvtest::TempDir;

inline std::string LE16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

inline std::string Chunk(const std::string& id, const std::string& body) {
    std::string s = id + LE32(static_cast<uint32_t>(body.size())) + body;
    return body.size() & 1 ? s + '\0' : s;
}

inline std::string FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return LE16(tag) + LE16(channels) + LE32(rate) + LE32(rate * align) + LE16(align) + LE16(bits);
}

inline std::string Riff(const std::string& form, const std::string& chunks) {
    return "RIFF" + LE32(static_cast<uint32_t>(4 + chunks.size())) + form + chunks;
}

// A plain PCM WAVE file with a 16-byte format chunk.
inline std::string MakeWave(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data) {
    return Riff("WAVE", Chunk("fmt ", FmtBody(1, channels, rate, bits)) + Chunk("data", data));
}

inline std::string Samples16(const std::vector<int16_t>& v) {
    std::string s(v.size() * 2, '\0');
    std::memcpy(&s[0], v.data(), s.size());  // the test machines are little-endian, as the files are
    return s;
}

// A stereo ramp that never repeats within 65536 frames: left counts up, right counts down.
inline int16_t RampLeft(size_t i) { return static_cast<int16_t>(static_cast<uint16_t>(i)); }
inline int16_t RampRight(size_t i) { return static_cast<int16_t>(~static_cast<uint16_t>(i)); }

inline std::vector<int16_t> StereoRamp(size_t frames) {
    std::vector<int16_t> v(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        v[2 * i] = RampLeft(i);
        v[2 * i + 1] = RampRight(i);
    }
    return v;
}

inline std::string RampWave(size_t frames) { return MakeWave(2, 44100, 16, Samples16(StereoRamp(frames))); }

// "tag channels rate bits align bytes-per-second extra", to compare a whole format at once.
inline std::string Describe(const plat::WaveFormat* f) {
    if (f == nullptr) return "none";
    return std::to_string(f->formatTag) + " " + std::to_string(f->channels) + " " + std::to_string(f->samplesPerSec) +
           " " + std::to_string(f->bitsPerSample) + " " + std::to_string(f->blockAlign) + " " +
           std::to_string(f->avgBytesPerSec) + " " + std::to_string(f->extraSize);
}

inline std::unique_ptr<trivale::IStream> NewStream(const std::string& bytes) {
    auto s = std::make_unique<trivale::CMemoryStream>();
    s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    s->Seek(0);
    return s;
}

inline std::string ReadAll(trivale::ISoundReader& r, uint32_t chunk = 4096) {
    std::string out;
    std::vector<char> buf(chunk);
    while (const uint32_t n = r.Read(buf.data(), chunk)) out.append(buf.data(), n);
    return out;
}

// The sound output rendered by hand (or failing as the options say) while it lives.
class ManualOutput {
public:
    explicit ManualOutput(plat::SoundTestOptions o = plat::SoundTestOptions()) {
        o.manualOutput = true;
        plat::SetSoundTestOptions(o);
    }
    ~ManualOutput() { plat::SetSoundTestOptions(plat::SoundTestOptions()); }
};

// Whether `pred` holds within a minute, looked at every millisecond.
template <class Pred>
bool WaitFor(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!pred() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return pred();
}

// A tone of a different pitch per channel.
inline std::string EncodeOgg(int channels, long rate, long frames, const std::vector<std::string>& comments = {}) {
    return tvtools::EncodeOggWith(&vorbis_encode_init_vbr, channels, rate, frames, comments, 0.4f, [](long i, int c) {
        return 0.5f * std::sin(static_cast<float>(i) * 0.03f * static_cast<float>(c + 1));
    });
}

// Where the pages of a well-formed Ogg stream start.
inline std::vector<size_t> OggPages(const std::string& ogg) {
    std::vector<size_t> pages;
    for (size_t at = 0; at + 27 <= ogg.size();) {
        pages.push_back(at);
        const size_t segments = static_cast<unsigned char>(ogg[at + 26]);
        at += 27 + segments;
        for (size_t i = 0; i < segments; ++i) at += static_cast<unsigned char>(ogg[pages.back() + 27 + i]);
    }
    return pages;
}

// Gives every page the checksum of its bytes again, after a change.
inline void Reseal(std::string& ogg) {
    for (const size_t at : OggPages(ogg)) {
        ogg_page p;
        p.header = reinterpret_cast<unsigned char*>(&ogg[at]);
        p.header_len = 27 + static_cast<unsigned char>(ogg[at + 26]);
        p.body = p.header + p.header_len;
        p.body_len = 0;
        for (long i = 27; i < p.header_len; ++i) p.body_len += p.header[i];
        ogg_page_checksum_set(&p);
    }
}

// The stream as another logical stream: a chain of links needs one serial number per link.
inline std::string WithSerial(std::string ogg, uint32_t serial) {
    for (const size_t at : OggPages(ogg)) ogg.replace(at + 14, 4, LE32(serial));
    Reseal(ogg);
    return ogg;
}

// A stream whose reads fail once they would pass a given position, as a file on a failing disk does.
class CFailingStream : public trivale::CStandardStream {
public:
    CFailingStream(std::string bytes, uint32_t failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}
    uint32_t Read(void* buffer, uint32_t count) override {
        if (static_cast<uint64_t>(pos_) + count > failAt_)
            throw trivale::EReadError(this, "ファイルストリームの読み込みに失敗しました.");
        const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(bytes_.size()) - pos_);
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    uint32_t Write(const void*, uint32_t) override { return 0; }
    uint32_t GetSize() override { return static_cast<uint32_t>(bytes_.size()); }
    void SetSize(uint32_t) override {}
    uint32_t Seek(int64_t p) override {
        return pos_ = static_cast<uint32_t>(std::clamp<int64_t>(p, 0, static_cast<int64_t>(bytes_.size())));
    }
    uint32_t Tell() override { return pos_; }
    std::unique_ptr<IStream> Clone() override {
        auto c = std::make_unique<CFailingStream>(bytes_, failAt_);
        c->pos_ = pos_;
        return c;
    }

private:
    std::string bytes_;
    uint32_t failAt_;
    uint32_t pos_ = 0;
};

}  // namespace soundtest
