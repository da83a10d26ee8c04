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

// Reads from where the stream stands, within the link's bytes.
std::uint32_t ReadLink(OggLinkBytes& link, void* buffer, std::uint32_t bytes) {
    const std::uint32_t at = link.stream->Tell();
    if (at < link.begin || at >= link.end) return 0;
    return link.stream->Read(buffer, std::min(bytes, link.end - at));
}

// vorbisfile is C: no exception may unwind through it. A failing stream reads as the end of the data
// (read) or as an unseekable position (seek, tell). A position outside the link fails the seek, as it
// fails on a file: vorbisfile's page search on a damaged stream can aim far past the end, and if that
// seek succeeded it would step back from there one chunk at a time, for ever in effect. Positions are
// counted from the link's first byte.
size_t ReadCallback(void* ptr, size_t size, size_t count, void* source) {
    if (size == 0 || count == 0) return 0;
    try {
        auto* link = static_cast<OggLinkBytes*>(source);
        const size_t want = std::min<size_t>(size * count, std::numeric_limits<uint32_t>::max() / 2);
        const uint32_t got = ReadLink(*link, ptr, static_cast<uint32_t>(want - want % size));
        return got / size;
    } catch (...) {
        return 0;
    }
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    try {
        auto* link = static_cast<OggLinkBytes*>(source);
        const int64_t length = static_cast<int64_t>(link->end) - link->begin;
        int64_t target = 0;
        switch (whence) {
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = static_cast<int64_t>(link->stream->Tell()) - link->begin + offset;
            break;
        case SEEK_END:
            target = length + offset;
            break;
        default:
            target = 0;
            break;
        }
        if (target < 0 || target > length) return -1;
        link->stream->Seek(link->begin + target);
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
        auto* link = static_cast<OggLinkBytes*>(source);
        const std::uint32_t at = link->stream->Tell();
        return at < link->begin ? -1 : static_cast<long>(at - link->begin);
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

// Checks the setup headers in the bytes [begin, end) of a link (counted from its first byte), one of
// vorbisfile's links' header pages. They are read as vorbisfile reads them: the same page search over
// the same bytes, step by step (bytes it skips are skipped here too, and the same pages follow), and
// each logical stream's packets gathered from its beginning-of-stream page on. Something that only
// looks like a page can claim bytes past the header pages; vorbisfile has read on in whole chunks (up to
// the link's end) before it finds it is no page, and this check reads on as far. A second beginning of
// one logical stream in the same pages could make the two gather different packets; no encoder writes
// one, and the link is refused.
bool HeaderPagesUsable(OggLinkBytes& link, std::uint32_t begin, std::uint32_t end) {
    SyncState sync;
    std::map<int, std::unique_ptr<StreamState>> streams;
    link.stream->Seek(link.begin + std::uint64_t{begin});  // its answer is not always the stream's own position
    if (link.stream->Tell() != link.begin + std::uint64_t{begin}) return false;
    for (std::uint64_t at = begin; at < end;) {
        ogg_page page;
        const long found = ogg_sync_pageseek(&sync.state, &page);
        if (found == 0) {
            char* buffer = ogg_sync_buffer(&sync.state, kChunk);
            const std::uint32_t got = buffer != nullptr ? ReadLink(link, buffer, kChunk) : 0;
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

// Opening a seekable stream, vorbisfile reads the headers of every link it tells apart by serial numbers
// (each of the reader's links is one, unless damage hides beginnings of streams among other pages) and
// decodes each with its own alone: later reads and seeks take in no new ones. Its link i's came from the
// bytes [offsets[i], dataoffsets[i]). Checking those bytes checks every setup header the decoder will
// ever use; every one of its links must have the first one's format too. An unseekable stream would take
// in headers while playing: refused (the engine's streams all seek).
bool LinksUsable(OggLinkBytes& link, OggVorbis_File& file) {
    if (!ov_seekable(&file)) return false;
    bool usable = true;
    try {
        const std::uint32_t resume = link.stream->Tell();
        for (int i = 0; usable && i < file.links; ++i) {
            const ogg_int64_t begin = file.offsets[i], end = file.dataoffsets[i];
            usable = 0 <= begin && begin <= end && end <= ogg_int64_t{link.end} - link.begin &&
                     HeaderPagesUsable(link, static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)) &&
                     SameFormat(file.vi[0], file.vi[i]);
        }
        link.stream->Seek(resume);  // where vorbisfile left it
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

// Opens vorbisfile on one link's bytes. Nothing has been decoded yet: a link whose setup headers would
// fail the decoder stops here. vorbisfile's open ends with a raw seek to its first link's sound, but
// leaves a chained stream past that link: sent there again, every one of its links plays.
bool OpenLink(OggLinkBytes& link, OggVorbis_File& file) {
    try {
        link.stream->Seek(link.begin);
        if (link.stream->Tell() != link.begin) return false;
    } catch (const std::exception&) {
        return false;
    }
    const ov_callbacks callbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
    if (ov_open_callbacks(&link, &file, nullptr, 0, callbacks) < 0) return false;
    if (!LinksUsable(link, file)) {
        ov_clear(&file);
        return false;
    }
    if (file.links > 1) SeekToStart(file, file.dataoffsets[0]);
    return true;
}

std::uint64_t PcmFrames(OggVorbis_File& file) {
    const ogg_int64_t samples = ov_pcm_total(&file, -1);
    return samples > 0 ? static_cast<std::uint64_t>(samples) : 0;
}

// Links a stream may hold: far more than any real chain, and a bound on what the scan keeps and the
// open then opens one by one.
constexpr std::size_t kMaxLinks = 65536;

// The first "OggS" that lies whole in the n bytes; null when there is none.
const unsigned char* FindCapture(const unsigned char* bytes, std::size_t n) {
    for (const unsigned char *p = bytes, *last = bytes + (n < 3 ? 0 : n - 3); p < last; ++p) {
        p = static_cast<const unsigned char*>(std::memchr(p, 'O', static_cast<std::size_t>(last - p)));
        if (p == nullptr) return nullptr;
        if (std::memcmp(p, "OggS", 4) == 0) return p;
    }
    return nullptr;
}

// The link's bytes read ahead in chunks for one pass over its pages, holding a page at most and a chunk
// beside it.
class PageBytes {
public:
    explicit PageBytes(const OggLinkBytes& bytes) : link_(bytes), base_(bytes.begin) {}

    // Whether the bytes [from, to) are held; those before `from` may go.
    bool Hold(std::uint64_t from, std::uint64_t to) {
        if (from - base_ >= kChunk) {
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(from - base_));
            base_ = from;
        }
        while (End() < to && !ended_) {
            const std::size_t held = bytes_.size();
            bytes_.resize(held + kChunk);
            const std::uint32_t got = ReadLink(link_, bytes_.data() + held, kChunk);
            bytes_.resize(held + got);
            ended_ = got == 0;
        }
        return End() >= to;
    }
    const unsigned char* At(std::uint64_t at) const { return bytes_.data() + (at - base_); }
    std::uint64_t End() const { return base_ + bytes_.size(); }

    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    // The first "OggS" at or after `from`; kNone when there is none.
    std::uint64_t NextCapture(std::uint64_t from) {
        for (;;) {
            if (!Hold(from, from + 4)) return kNone;
            const unsigned char* const first = At(from);
            if (const unsigned char* p = FindCapture(first, static_cast<std::size_t>(End() - from)))
                return from + static_cast<std::uint64_t>(p - first);
            from = End() - 3;  // a capture may straddle the next chunk
        }
    }

private:
    OggLinkBytes link_;
    std::uint64_t base_;
    std::vector<unsigned char> bytes_;
    bool ended_ = false;
};

// Whether the page's checksum holds; the page itself is left as it is.
bool ChecksumHolds(const unsigned char* page, long headerBytes, long bodyBytes) {
    unsigned char header[27 + 255];
    std::memcpy(header, page, static_cast<std::size_t>(headerBytes));
    ogg_page copy;
    copy.header = header;
    copy.header_len = headerBytes;
    copy.body = const_cast<unsigned char*>(page + headerBytes);  // only read
    copy.body_len = bodyBytes;
    ogg_page_checksum_set(&copy);
    return std::memcmp(header + 22, page + 22, 4) == 0;
}

}  // namespace

// The pages are the ones vorbisfile's page search finds reading the bytes from the first: each "OggS"
// whose page lies whole within the bytes and whose checksum holds, the search going on from the byte
// after an "OggS" that is no page, and ending at a page cut short by the end. Checksums are what the
// pass costs; a page's own is worked out only where the answer could change what is found: a
// beginning-of-stream page, the first other page of a link, or a page holding an "OggS" that the
// search would find, were the page no page. Of any other page, found or not, the search goes on at its
// end: it is a page other than a beginning, after one, and changes nothing.
bool FindOggLinks(IStream& stream, std::uint32_t begin, std::uint32_t end, std::vector<OggLinkBytes>& links) {
    links.assign(1, OggLinkBytes{&stream, begin, end});
    stream.Seek(begin);
    if (stream.Tell() != begin) return false;
    PageBytes bytes(links.front());
    bool sound = false;  // a page other than a beginning since the last link began
    for (std::uint64_t at = begin;;) {
        at = bytes.NextCapture(at);
        if (at == PageBytes::kNone || !bytes.Hold(at, at + 27)) return true;
        const long headerBytes = 27 + bytes.At(at)[26];
        if (!bytes.Hold(at, at + headerBytes)) return true;
        long bodyBytes = 0;
        for (long i = 27; i < headerBytes; ++i) bodyBytes += bytes.At(at)[i];
        const std::uint64_t next = at + headerBytes + bodyBytes;
        if (!bytes.Hold(at, next)) return true;
        const bool beginning = (bytes.At(at)[5] & 0x02) != 0;
        // An "OggS" that starts inside the page lies whole in its bytes and the next three.
        const bool check = beginning || !sound || !bytes.Hold(at, next + 3) ||
                           FindCapture(bytes.At(at) + 1, static_cast<std::size_t>(next + 3 - (at + 1))) != nullptr;
        if (check && !ChecksumHolds(bytes.At(at), headerBytes, bodyBytes)) {
            ++at;
            continue;
        }
        if (!beginning) {
            sound = true;
        } else if (sound) {
            if (links.size() >= kMaxLinks) return false;
            links.back().end = static_cast<std::uint32_t>(at);
            links.push_back(OggLinkBytes{&stream, static_cast<std::uint32_t>(at), end});
            sound = false;
        }
        at = next;
    }
}

COggVorbisReader::COggVorbisReader() { std::memset(&file_, 0, sizeof file_); }

COggVorbisReader::~COggVorbisReader() { Close(); }

void COggVorbisReader::Close() {
    if (decoding_) ov_clear(&file_);
    decoding_ = false;
    opened_ = false;
    links_.clear();
    current_ = 0;
    dataBytes_ = 0;
    position_ = 0;
    format_ = plat::WaveFormat();
}

void COggVorbisReader::Open(IStream* stream) {
    Close();
    const char* const failed = "OggVorbisファイルのオープンに失敗しました.";
    if (stream == nullptr) throw EFileOpenError(this, failed);
    bool found = false;
    try {
        found = FindOggLinks(*stream, stream->Tell(), stream->GetSize(), links_);
    } catch (const std::exception&) {
        found = false;
    }
    if (!found || !OpenLink(links_[0], file_)) {
        Close();
        throw EFileOpenError(this, failed);
    }
    decoding_ = true;
    start_ = file_.dataoffsets[0];
    const vorbis_info* info = ov_info(&file_, -1);
    if (info == nullptr || info->channels <= 0) {
        Close();
        throw EFileOpenError(this, failed);
    }
    format_.formatTag = plat::kWaveFormatPcm;
    format_.channels = static_cast<uint16_t>(info->channels);
    format_.samplesPerSec = static_cast<uint32_t>(info->rate);
    format_.bitsPerSample = 16;
    format_.blockAlign = static_cast<uint16_t>(format_.channels * 16 / 8);
    format_.avgBytesPerSec = format_.blockAlign * format_.samplesPerSec;
    format_.extraSize = 0;

    // Every later link is opened once here, one at a time, for its format and its length; the first
    // link's decoder finds the stream where it left it.
    std::uint64_t frames = PcmFrames(file_);
    bool usable = true;
    try {
        const std::uint32_t resume = stream->Tell();
        for (std::size_t i = 1; usable && i < links_.size(); ++i) {
            OggVorbis_File link;
            std::memset(&link, 0, sizeof link);
            usable = OpenLink(links_[i], link);
            if (!usable) break;
            for (int j = 0; usable && j < link.links; ++j) usable = SameFormat(*info, link.vi[j]);
            frames += PcmFrames(link);
            ov_clear(&link);
        }
        stream->Seek(resume);
    } catch (const std::exception&) {
        usable = false;
    }
    if (!usable) {
        Close();
        throw EFileOpenError(this, failed);
    }
    dataBytes_ = frames * format_.blockAlign;

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
    opened_ = true;
}

const plat::WaveFormat* COggVorbisReader::GetFormat() { return &format_; }

bool COggVorbisReader::NextLink() {
    if (current_ + 1 >= links_.size()) return false;
    if (decoding_) ov_clear(&file_);
    decoding_ = false;
    ++current_;
    decoding_ = OpenLink(links_[current_], file_);
    return decoding_;
}

int COggVorbisReader::Rewind() {
    if (!opened_) return 0;
    if (current_ != 0 || !decoding_) {
        // Opened afresh, the first link's decoder stands where the open left it.
        if (decoding_) ov_clear(&file_);
        current_ = 0;
        position_ = 0;
        decoding_ = OpenLink(links_[0], file_);
        return decoding_ ? 0 : OV_EREAD;
    }
    if (!ov_seekable(&file_)) return 0;
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
    while (decoding_ && total < bytes) {
        int section = 0;
        const uint32_t want = std::min<uint32_t>(bytes - total, 1u << 30);
        const long r = ov_read(&file_, out + total, static_cast<int>(want), 0, 2, 1, &section);
        if (r > 0) {
            total += static_cast<uint32_t>(r);
            holes = 0;
        } else if (r == OV_HOLE && ++holes <= kMaxHoles) {
            continue;  // a gap in the data: decoding goes on after it
        } else if (r == 0 && NextLink()) {
            holes = 0;  // the link's end: the next one plays on
        } else {
            break;  // the end, or an error that would only repeat
        }
    }
    position_ += total;
    return total;
}

uint32_t COggVorbisReader::GetDataSize() {
    return static_cast<uint32_t>(std::min<std::uint64_t>(dataBytes_, std::numeric_limits<uint32_t>::max()));
}

uint32_t COggVorbisReader::GetPosition() { return position_; }

std::string COggVorbisReader::GetProperty(const std::string& key) { return properties_.Get(key, ""); }

}  // namespace trivale
