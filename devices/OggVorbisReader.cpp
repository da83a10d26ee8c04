#include "devices/OggVorbisReader.h"

#include <cstring>
#include <limits>
#include <vector>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {

namespace {

// vorbisfile is C: no exception may unwind through it. A failing stream reads as the end of the data
// (read) or as an unseekable position (seek, tell).
size_t ReadCallback(void* ptr, size_t size, size_t count, void* source) {
    if (size == 0 || count == 0) return 0;
    try {
        auto* stream = static_cast<IStream*>(source);
        const size_t want = std::min<size_t>(size * count, std::numeric_limits<uint32_t>::max() / 2);
        const uint32_t got = stream->Read(ptr, static_cast<uint32_t>(want - want % size));
        return got / size;
    } catch (...) {
        return 0;
    }
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    try {
        auto* stream = static_cast<IStream*>(source);
        int64_t target = 0;
        switch (whence) {
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = static_cast<int64_t>(stream->Tell()) + offset;
            break;
        case SEEK_END:
            target = static_cast<int64_t>(stream->GetSize()) + offset;
            break;
        default:
            target = 0;
            break;
        }
        if (target < 0) target = 0;
        if (target > std::numeric_limits<int32_t>::max()) target = std::numeric_limits<int32_t>::max();
        stream->Seek(static_cast<int32_t>(target));
        return 0;
    } catch (...) {
        return -1;
    }
}

int CloseCallback(void*) {
    return 0;  // the stream belongs to its owner
}

long TellCallback(void* source) {
    try {
        return static_cast<long>(static_cast<IStream*>(source)->Tell());
    } catch (...) {
        return -1;
    }
}

// Consecutive gaps in the data tolerated before a read gives up on the stream.
constexpr int kMaxHoles = 64;

}  // namespace

COggVorbisReader::COggVorbisReader() { std::memset(&file_, 0, sizeof file_); }

COggVorbisReader::~COggVorbisReader() {
    if (opened_) ov_clear(&file_);
}

void COggVorbisReader::Open(IStream* stream) {
    if (opened_) {
        ov_clear(&file_);
        opened_ = false;
    }
    position_ = 0;
    format_ = plat::WaveFormat();
    const ov_callbacks callbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
    if (stream == nullptr || ov_open_callbacks(stream, &file_, nullptr, 0, callbacks) < 0)
        throw EFileOpenError(this, "OggVorbisファイルのオープンに失敗しました.");
    opened_ = true;

    const vorbis_info* info = ov_info(&file_, -1);
    if (info != nullptr) {
        format_.formatTag = plat::kWaveFormatPcm;
        format_.channels = static_cast<uint16_t>(info->channels);
        format_.samplesPerSec = static_cast<uint32_t>(info->rate);
        format_.bitsPerSample = 16;
        format_.blockAlign = static_cast<uint16_t>(format_.channels * 16 / 8);
        format_.avgBytesPerSec = format_.blockAlign * format_.samplesPerSec;
        format_.extraSize = 0;
    }

    const vorbis_comment* comment = ov_comment(&file_, -1);
    if (comment != nullptr) {
        std::vector<std::string> lines;
        for (int i = 0; i < comment->comments; ++i) {
            if (comment->user_comments[i] == nullptr) continue;
            const std::string raw(comment->user_comments[i], static_cast<size_t>(comment->comment_lengths[i]));
            lines.push_back(Utf8ToAnsi(raw.c_str()));
        }
        properties_.Parse(lines);
    }
}

const plat::WaveFormat* COggVorbisReader::GetFormat() { return &format_; }

int COggVorbisReader::Rewind() {
    if (!opened_ || !ov_seekable(&file_)) return 0;
    const int r = ov_pcm_seek(&file_, 0);
    position_ = 0;
    return r;
}

uint32_t COggVorbisReader::Read(void* buffer, uint32_t bytes) {
    if (!opened_ || format_.blockAlign == 0) return 0;
    // vorbisfile refuses a request smaller than one frame, and would refuse it again for ever.
    bytes -= bytes % format_.blockAlign;
    char* out = static_cast<char*>(buffer);
    uint32_t total = 0;
    int holes = 0;
    while (total < bytes) {
        int section = 0;
        const uint32_t want = std::min<uint32_t>(bytes - total, 1u << 30);
        const long r = ov_read(&file_, out + total, static_cast<int>(want), 0, 2, 1, &section);
        if (r > 0) {
            total += static_cast<uint32_t>(r);
            holes = 0;
        } else if (r == OV_HOLE && ++holes <= kMaxHoles) {
            continue;  // a gap in the data: decoding goes on after it
        } else {
            break;  // the end, or an error that would only repeat
        }
    }
    position_ += total;
    return total;
}

uint32_t COggVorbisReader::GetDataSize() {
    if (!opened_) return 0;
    const ogg_int64_t samples = ov_pcm_total(&file_, -1);
    if (samples <= 0) return 0;
    const uint64_t bytes = static_cast<uint64_t>(samples) * format_.blockAlign;
    return bytes > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : static_cast<uint32_t>(bytes);
}

uint32_t COggVorbisReader::GetPosition() { return position_; }

std::string COggVorbisReader::GetProperty(const std::string& key) { return properties_.Get(key, ""); }

}  // namespace trivale
