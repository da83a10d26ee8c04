// Helpers of the sound tests: WAVE files and Ogg Vorbis streams made in memory, streams over them,
// a captured log.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <vorbis/vorbisenc.h>

#include "core/Exception.h"
#include "core/Log.h"
#include "core/MemoryStream.h"

namespace soundtest {

inline std::string LE16(uint32_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline std::string LE32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

inline std::string Chunk(const std::string& id, const std::string& body, bool pad = true)
{
    std::string s = id + LE32(static_cast<uint32_t>(body.size())) + body;
    if (pad && (body.size() & 1))
        s += '\0';
    return s;
}

inline std::string FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return LE16(tag) + LE16(channels) + LE32(rate) + LE32(rate * align) + LE16(align) + LE16(bits);
}

inline std::string Riff(const std::string& form, const std::string& chunks)
{
    return "RIFF" + LE32(static_cast<uint32_t>(4 + chunks.size())) + form + chunks;
}

// A plain PCM WAVE file with a 16-byte format chunk.
inline std::string MakeWave(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data)
{
    return Riff("WAVE", Chunk("fmt ", FmtBody(1, channels, rate, bits)) + Chunk("data", data));
}

inline std::string Samples16(const std::vector<int16_t>& v)
{
    std::string s(v.size() * 2, '\0');
    for (size_t i = 0; i < v.size(); ++i) {
        s[2 * i] = static_cast<char>(v[i] & 0xFF);
        s[2 * i + 1] = static_cast<char>((static_cast<uint16_t>(v[i]) >> 8) & 0xFF);
    }
    return s;
}

// A stereo ramp that never repeats within 65536 frames: left counts up, right counts down.
inline int16_t RampLeft(size_t i) { return static_cast<int16_t>(static_cast<uint16_t>(i)); }
inline int16_t RampRight(size_t i) { return static_cast<int16_t>(~static_cast<uint16_t>(i)); }

inline std::vector<int16_t> StereoRamp(size_t frames, size_t first = 0)
{
    std::vector<int16_t> v(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        v[2 * i] = RampLeft(first + i);
        v[2 * i + 1] = RampRight(first + i);
    }
    return v;
}

inline trivale::CMemoryStream* NewStream(const std::string& bytes)
{
    auto* s = new trivale::CMemoryStream();
    s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    s->Seek(0);
    return s;
}

// Encodes `frames` frames of a tone (a different pitch per channel) as Ogg Vorbis, with the comments
// given as "tag=value" texts (or any text).
inline std::string EncodeOgg(int channels, long rate, long frames, const std::vector<std::string>& comments = {},
                             float quality = 0.4f)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        return std::string();
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const auto& c : comments)
        vorbis_comment_add(&vc, c.c_str());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 12345);
    std::string out;
    auto flushPages = [&](bool force) {
        ogg_page og;
        while (force ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) {
            out.append(reinterpret_cast<const char*>(og.header), static_cast<size_t>(og.header_len));
            out.append(reinterpret_cast<const char*>(og.body), static_cast<size_t>(og.body_len));
        }
    };
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&vd, &vc, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &headerComment);
    ogg_stream_packetin(&os, &headerCode);
    flushPages(true);

    long done = 0;
    bool eos = false;
    while (!eos) {
        const long n = std::min<long>(1024, frames - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (long i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = 0.5f * std::sin(static_cast<float>(done + i) * 0.03f * static_cast<float>(c + 1));
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                flushPages(false);
                if (op.e_o_s)
                    eos = true;
            }
        }
    }
    flushPages(true);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tvsound-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        const char* made = mkdtemp(buf.data());
        path_ = made ? made : "";
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Routes the log into a scratch file for the life of the object.
class CapturedLog
{
public:
    CapturedLog() : path_(dir_ / "test.log")
    {
        trivale::CloseLogFile();
        trivale::OpenLogFileAt(path_);
    }
    ~CapturedLog() { trivale::CloseLogFile(); }
    std::string Text() const { return ReadFile(path_); }

private:
    TempDir dir_;
    std::string path_;
};

// Sets an environment variable for the life of the object (SDL reads its drivers from there).
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// A stream whose reads fail once they would pass a given position, as a file on a failing disk does.
class CFailingStream : public trivale::CStandardStream
{
public:
    CFailingStream(std::string bytes, uint32_t failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}
    uint32_t Read(void* buffer, uint32_t count) override
    {
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
    uint32_t Seek(int64_t p) override
    {
        pos_ = static_cast<uint32_t>(std::clamp<int64_t>(p, 0, static_cast<int64_t>(bytes_.size())));
        return pos_;
    }
    uint32_t Tell() override { return pos_; }
    IStream* Clone() override
    {
        auto* c = new CFailingStream(bytes_, failAt_);
        c->pos_ = pos_;
        return c;
    }

private:
    std::string bytes_;
    uint32_t failAt_;
    uint32_t pos_ = 0;
};

} // namespace soundtest
