#include "devices/OggVorbisReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {

namespace {

// vorbisfile is C: no exception may unwind through it. A failing stream reads as the end of the data
// (read) or as an unseekable position (seek, tell). A position outside the stream fails the seek, as it
// fails on a file: vorbisfile's page search on a damaged stream can aim far past the end, and if that
// seek succeeded it would step back from there one chunk at a time, for ever in effect.
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
        if (target < 0 || target > static_cast<int64_t>(stream->GetSize())) return -1;
        stream->Seek(target);
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

// Bytes the header check reads at a time.
constexpr std::uint32_t kChunk = 65536;

// Logical streams begun in one link's header pages; real files have one.
constexpr std::size_t kMaxOpenStreams = 16;

// Largest codebook handed to the decoder. libvorbis sets a book up for decoding with about 12 bytes of
// stack for every entry in use (it sorts the codewords through arrays it allocates on the stack), on
// whichever thread decodes first; the format allows 2^24 entries, some 200 MB, and a stream of a few
// kilobytes can claim them. The reference encoder's largest book has 6561 entries (8 dimensions of 3
// values), and so do the largest in real files (the freedesktop sound theme, the show's own music).
// 65536 (8 dimensions of 4) leaves room for other encoders and costs at most 768 KiB of stack.
constexpr long kMaxBookEntries = 65536;

// All books of one setup header together: the decoder's tables for them come from the heap, some 20
// bytes an entry and 4 a lookup value (entries x dimensions), and 256 books of the largest size would
// take gigabytes. Real files have at most 11813 entries and 61254 values.
constexpr long kMaxSetupEntries = 1 << 20;
constexpr long kMaxSetupValues = 1 << 20;

int BitsFor(long value) {
    int bits = 0;
    for (; value > 0; value >>= 1) ++bits;
    return bits;
}

// A codebook whose code lengths do not make a complete code (more or fewer codes than the lengths
// leave room for; a lone used entry is the one exception) fails the decoder's set-up, and libvorbis
// 1.3.7 then goes on decoding with an empty partition book and divides by its zero dimension. A book
// or a set of books larger than the bounds above would overflow the decoding thread's stack or take
// gigabytes. No encoder writes such books: a setup header holding one is damage. Headers broken
// otherwise are vorbisfile's to refuse, and it reads them before this check does.
bool CodebooksUsable(const ogg_packet& setup) {
    oggpack_buffer b;
    oggpack_readinit(&b, setup.packet, static_cast<int>(setup.bytes));
    const long totalBits = setup.bytes * 8;
    if (oggpack_read(&b, 8) != 5) return true;
    for (const char c : std::string("vorbis"))
        if (oggpack_read(&b, 8) != static_cast<unsigned char>(c)) return true;
    const long books = oggpack_read(&b, 8) + 1;
    const std::uint64_t complete = std::uint64_t{1} << 32;  // lengths of 1 to 32 bits, as fractions
    long setupEntries = 0, setupValues = 0;
    for (long book = 0; book < books; ++book) {
        if (oggpack_read(&b, 24) != 0x564342) return true;
        const long dim = oggpack_read(&b, 16), entries = oggpack_read(&b, 24);
        if (dim < 0 || entries < 0) return true;
        setupEntries += entries;
        if (entries > kMaxBookEntries || setupEntries > kMaxSetupEntries) return false;
        long used = 0;
        std::uint64_t space = 0;
        if (oggpack_read(&b, 1) == 0) {
            const bool sparse = oggpack_read(&b, 1) == 1;
            for (long e = 0; e < entries; ++e) {
                if (sparse && oggpack_read(&b, 1) != 1) continue;
                const long length = oggpack_read(&b, 5) + 1;
                if (length <= 0) return true;
                space += complete >> length;
                ++used;
            }
        } else {
            long length = oggpack_read(&b, 5) + 1;
            if (length <= 0) return true;
            for (long current = 0; current < entries; ++length) {
                const long run = oggpack_read(&b, BitsFor(entries - current));
                if (run < 0 || (run > 0 && length > 32)) return true;
                if (run > 0) space += static_cast<std::uint64_t>(run) * (complete >> length);
                current += run;
            }
            used = entries;
        }
        if (dim == 0 || (used != 1 && space != complete)) return false;
        const long lookup = oggpack_read(&b, 4);
        if (lookup == 0) continue;
        if (lookup != 1 && lookup != 2) return true;
        setupValues += entries * dim;
        if (setupValues > kMaxSetupValues) return false;
        oggpack_read(&b, 32);
        oggpack_read(&b, 32);
        const long valueBits = oggpack_read(&b, 4) + 1;
        if (oggpack_read(&b, 1) < 0) return true;
        // Type 1 holds the largest n with n^dim <= entries values, type 2 one per entry and dimension.
        long values = entries * dim;
        if (lookup == 1) {
            values = 0;
            for (long n = 1;; ++n) {
                long power = 1;
                for (long d = 0; d < dim && power <= entries; ++d) power *= n;
                if (power > entries) break;
                values = n;
            }
        }
        if (values > (totalBits - oggpack_bits(&b)) / valueBits) return true;
        oggpack_adv(&b, static_cast<int>(values * valueBits));
    }
    return true;
}

struct SyncState {
    ogg_sync_state state;
    SyncState() { ogg_sync_init(&state); }
    ~SyncState() { ogg_sync_clear(&state); }
};

struct StreamState {
    ogg_stream_state state;
    explicit StreamState(int serial) { ogg_stream_init(&state, serial); }
    ~StreamState() { ogg_stream_clear(&state); }
};

// Checks the setup headers in the bytes [begin, end) of the stream, one link's header pages. They are
// read as vorbisfile reads them: the same page search over the same bytes, step by step (bytes it skips
// are skipped here too, and the same pages follow), and each logical stream's packets gathered from its
// beginning-of-stream page on. Something that only looks like a page can claim bytes past the header
// pages; vorbisfile has read on in whole chunks before it finds it is no page, and this check reads on
// as far. A second beginning of one logical stream in the same pages could make the two gather
// different packets; no encoder writes one, and the link is refused.
bool HeaderPagesUsable(IStream& stream, std::uint32_t begin, std::uint32_t end) {
    SyncState sync;
    std::map<int, std::unique_ptr<StreamState>> streams;
    stream.Seek(begin);  // its answer is not always the stream's own position (an archive entry's is not)
    if (stream.Tell() != begin) return false;
    for (std::uint64_t at = begin; at < end;) {
        ogg_page page;
        const long found = ogg_sync_pageseek(&sync.state, &page);
        if (found == 0) {
            char* buffer = ogg_sync_buffer(&sync.state, kChunk);
            const std::uint32_t got = buffer != nullptr ? stream.Read(buffer, kChunk) : 0;
            if (got == 0) return false;  // vorbisfile read bytes this check cannot: nothing to vouch for
            ogg_sync_wrote(&sync.state, static_cast<long>(got));
            continue;
        }
        at += static_cast<std::uint64_t>(found < 0 ? -found : found);
        if (found < 0) continue;  // bytes skipped
        const int serial = ogg_page_serialno(&page);
        auto it = streams.find(serial);
        if (ogg_page_bos(&page)) {
            if (it != streams.end() || streams.size() >= kMaxOpenStreams) return false;
            it = streams.emplace(serial, std::make_unique<StreamState>(serial)).first;
        }
        if (it == streams.end()) continue;
        ogg_stream_pagein(&it->second->state, &page);
        ogg_packet packet;
        for (int got; (got = ogg_stream_packetout(&it->second->state, &packet)) != 0;)
            if (got > 0 && !CodebooksUsable(packet)) return false;  // got < 0: a gap, passed over
        if (at > end) return false;                                 // not the pages vorbisfile found
    }
    return true;
}

// The output format is the first link's: a later link of other channels or another rate would play
// at the wrong speed or as torn frames.
bool SameFormat(const vorbis_info& first, const vorbis_info& link) {
    return link.channels == first.channels && link.rate == first.rate;
}

// Opening a seekable stream, vorbisfile reads the headers of every link (chained streams have several)
// and decodes each link with its own alone: later reads and seeks take in no new ones. Link i's came
// from the bytes [offsets[i], dataoffsets[i]), the first link's counted from where the stream stood when
// the open began. Checking those bytes checks every setup header the decoder will ever use; every link
// must have the first link's format too. An unseekable stream would take in headers while playing:
// refused (the engine's streams all seek).
bool LinksUsable(IStream& stream, OggVorbis_File& file, std::uint32_t start) {
    if (!ov_seekable(&file)) return false;
    bool usable = true;
    try {
        const std::uint32_t resume = stream.Tell();
        for (int i = 0; usable && i < file.links; ++i) {
            const ogg_int64_t shift = i == 0 ? start : 0;
            const ogg_int64_t begin = file.offsets[i] + shift, end = file.dataoffsets[i] + shift;
            usable = 0 <= begin && begin <= end && end <= stream.GetSize() &&
                     HeaderPagesUsable(stream, static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)) &&
                     SameFormat(file.vi[0], file.vi[i]);
        }
        stream.Seek(resume);  // where vorbisfile left it
    } catch (const std::exception&) {
        usable = false;
    }
    return usable;
}

// Back to where the open left the decoder, `start`. A search for sample 0 (ov_pcm_seek) would bisect
// the pages, and vorbisfile 1.3.7's search, when it finds nothing before the target on a damaged stream,
// hands the decoder a page whose bytes its own later reads have already moved: the header of one page
// with the length of another, a heap overrun. A raw seek reads forward only and passes over header
// packets. But a raw seek that stays inside the link being decoded keeps that link's decoder, and a
// damaged stream then plays otherwise than after the open (other pages, or none past a stray page of
// another stream): the seek to the end first clears the decoder, as it was when the open's own seek ran.
int SeekToStart(OggVorbis_File& file, ogg_int64_t start) {
    ov_raw_seek(&file, file.end);
    return ov_raw_seek(&file, start);
}

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
    const char* const failed = "OggVorbisファイルのオープンに失敗しました.";
    if (stream == nullptr) throw EFileOpenError(this, failed);
    const std::uint32_t start = stream->Tell();
    const ov_callbacks callbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
    if (ov_open_callbacks(stream, &file_, nullptr, 0, callbacks) < 0) throw EFileOpenError(this, failed);
    opened_ = true;
    // Nothing has been decoded yet: a stream whose setup headers would fail the decoder stops here.
    if (!LinksUsable(*stream, file_, start)) {
        ov_clear(&file_);
        opened_ = false;
        throw EFileOpenError(this, failed);
    }
    // vorbisfile's open ends with a raw seek to the first link's sound, but leaves a chained stream past
    // that link: sent there again, every link plays.
    start_ = file_.dataoffsets[0];
    if (file_.links > 1) SeekToStart(file_, start_);

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
    const int r = SeekToStart(file_, start_);
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
