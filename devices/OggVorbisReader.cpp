#include "devices/OggVorbisReader.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {

namespace {

// Reads from where the stream stands, up to `end`.
std::uint32_t ReadRaw(IStream& stream, std::uint32_t end, void* buffer, std::uint32_t bytes) {
    const std::uint32_t at = stream.Tell();
    if (at >= end) return 0;
    return stream.Read(buffer, std::min(bytes, end - at));
}

// Reads what vorbisfile is given of the link from where it stands: the pages' bytes, and zeros for the
// bytes around them.
std::uint32_t ReadView(OggLinkBytes& link, void* buffer, std::uint32_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t total = 0;
    const std::uint64_t limit = link.begin + link.size;
    while (total < bytes && link.at < link.size) {
        const std::uint64_t from = link.begin + link.at;
        const auto run = std::upper_bound(link.runs.begin(), link.runs.end(), from,
                                          [](std::uint64_t at, const OggPageRun& r) { return at < r.end; });
        const bool between = run == link.runs.end() || from < run->begin;
        std::uint64_t to = limit;
        if (run != link.runs.end()) to = std::min<std::uint64_t>(to, between ? run->begin : run->end);
        const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes - total, to - from));
        if (between) {
            std::memset(out + total, 0, want);
            total += want;
            link.at += want;
            continue;
        }
        if (link.stream->Tell() != from) {
            link.stream->Seek(from);
            if (link.stream->Tell() != from) break;
        }
        const std::uint32_t got = link.stream->Read(out + total, want);
        total += got;
        link.at += got;
        if (got < want) break;
    }
    return total;
}

// vorbisfile is C: no exception may unwind through it. A failing stream reads as the end of the data
// (read) or as an unseekable position (seek, tell). A position outside the bytes it is given fails the
// seek, as it fails on a file.
size_t ReadCallback(void* ptr, size_t size, size_t count, void* source) {
    if (size == 0 || count == 0) return 0;
    try {
        auto* link = static_cast<OggLinkBytes*>(source);
        const size_t want = std::min<size_t>(size * count, std::numeric_limits<uint32_t>::max() / 2);
        const uint32_t got = ReadView(*link, ptr, static_cast<uint32_t>(want - want % size));
        return got / size;
    } catch (...) {
        return 0;
    }
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    auto* link = static_cast<OggLinkBytes*>(source);
    const auto size = static_cast<int64_t>(link->size);
    int64_t target = 0;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = static_cast<int64_t>(link->at) + offset;
        break;
    case SEEK_END:
        target = size + offset;
        break;
    default:
        return -1;
    }
    if (target < 0 || target > size) return -1;
    link->at = static_cast<std::uint64_t>(target);
    return 0;
}

int CloseCallback(void*) {
    return 0;  // the stream belongs to its owner
}

long TellCallback(void* source) { return static_cast<long>(static_cast<OggLinkBytes*>(source)->at); }

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

// A codebook whose used entries' code lengths do not make a complete code (more or fewer codes than the
// lengths leave room for) fails the decoder's set-up, and libvorbis 1.3.7 then goes on decoding with an
// empty partition book and divides by its zero dimension. Two books pass that set-up without a complete
// code: one with no used entry, for which it builds no code and from which it decodes nothing (early
// encoders wrote such books), and one whose lone used entry is one bit long, the code "0". A lone entry
// of any other length fails it. The decoder divides by a book's dimensions: a book of none is refused
// too. A book or a set of books larger than the bounds above would overflow the decoding thread's stack
// or take gigabytes. No encoder writes such books: a setup header holding one is damage. Headers broken
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
        const bool builds = used == 0 || space == complete || (used == 1 && space == complete >> 1);
        if (dim == 0 || !builds) return false;
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

// Checks the setup headers in the bytes [begin, end) of the link's pages as vorbisfile is given them, one
// of vorbisfile's links' header pages. They are read as vorbisfile reads them: the same page search over
// the same bytes, step by step (bytes it skips are skipped here too, and the same pages follow), and
// each logical stream's packets gathered from its beginning-of-stream page on. Something that only
// looks like a page can claim bytes past the header pages; vorbisfile has read on in whole chunks (up to
// the end of what it is given) before it finds it is no page, and this check reads on as far. A second
// beginning of one logical stream in the same pages could make the two gather different packets; no
// encoder writes one, and the link is refused.
bool HeaderPagesUsable(OggLinkBytes& link, std::uint32_t begin, std::uint32_t end) {
    SyncState sync;
    std::map<int, std::unique_ptr<StreamState>> streams;
    link.at = begin;
    for (std::uint64_t at = begin; at < end;) {
        ogg_page page;
        const long found = ogg_sync_pageseek(&sync.state, &page);
        if (found == 0) {
            char* buffer = ogg_sync_buffer(&sync.state, kChunk);
            const std::uint32_t got = buffer != nullptr ? ReadView(link, buffer, kChunk) : 0;
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
// (the reader's link is one: see LinkSafe) and decodes each with its own alone: later reads and seeks
// take in no new ones. Its link i's came from the bytes [offsets[i], dataoffsets[i]). Checking those
// bytes checks every setup header the decoder will ever use; every one of its links must have the first
// one's format too. An unseekable stream would take in headers while playing: refused (the engine's
// streams all seek).
bool LinksUsable(OggLinkBytes& link, OggVorbis_File& file) {
    if (!ov_seekable(&file)) return false;
    bool usable = true;
    try {
        const std::uint64_t resume = link.at;
        for (int i = 0; usable && i < file.links; ++i) {
            const ogg_int64_t begin = file.offsets[i], end = file.dataoffsets[i];
            usable = 0 <= begin && begin <= end && static_cast<std::uint64_t>(end) <= link.size &&
                     HeaderPagesUsable(link, static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)) &&
                     SameFormat(file.vi[0], file.vi[i]);
        }
        link.at = resume;  // where vorbisfile left it
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

// The first "OggS" that lies whole in the n bytes; null when there is none.
const unsigned char* FindCapture(const unsigned char* bytes, std::size_t n) {
    for (const unsigned char *p = bytes, *last = bytes + (n < 3 ? 0 : n - 3); p < last; ++p) {
        p = static_cast<const unsigned char*>(std::memchr(p, 'O', static_cast<std::size_t>(last - p)));
        if (p == nullptr) return nullptr;
        if (std::memcmp(p, "OggS", 4) == 0) return p;
    }
    return nullptr;
}

// Bytes read ahead in chunks for one pass over pages, from `begin` on, holding a page and what an "OggS" in
// it claims at most, and a chunk beside them. `read` reads on from where its last read ended.
class PageBytes {
public:
    using Read = std::function<std::uint32_t(void* buffer, std::uint32_t bytes)>;
    PageBytes(Read read, std::uint64_t begin) : read_(std::move(read)), base_(begin) {}

    // Whether the bytes [from, to) are held; those before `from` may go.
    bool Hold(std::uint64_t from, std::uint64_t to) {
        if (from - base_ >= kChunk) {
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(from - base_));
            base_ = from;
        }
        while (End() < to && !ended_) {
            const std::size_t held = bytes_.size();
            bytes_.resize(held + kChunk);
            const std::uint32_t got = read_(bytes_.data() + held, kChunk);
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
    Read read_;
    std::uint64_t base_;
    std::vector<unsigned char> bytes_;
    bool ended_ = false;
};

// Bytes looked at as pages that are none, by the pass over the stream and again inside the pages of its
// links: 8 for each byte of the stream and 64 MiB besides, some tens of milliseconds, for each of the two.
// A damaged page costs its own length once; "OggS" packed one after another, each claiming a page's
// length of what follows, cost that length each.
constexpr std::uint64_t kFalsePageWork = 8, kFalsePageWorkBase = std::uint64_t{64} << 20;

// The bytes a page claims in all, from its header; the header's 27 bytes and lacing values must be at hand.
std::uint64_t PageBytesClaimed(const unsigned char* page) {
    const long headerBytes = 27 + page[26];
    std::uint64_t bytes = static_cast<std::uint64_t>(headerBytes);
    for (long i = 27; i < headerBytes; ++i) bytes += page[i];
    return bytes;
}

// Whether a page whose checksum holds lies inside one of the pages vorbisfile is given of the link. An
// "OggS" inside a page is data as often as it comes, and is looked at as a page only as far as its claim
// lies within the bytes vorbisfile is given: its header, and its body when that lies within them too.
// What is looked at comes out of `work`; false too when that runs out.
bool PagesHideNone(OggLinkBytes& link, std::uint64_t& work) {
    for (const OggPageRun& run : link.runs) {
        std::uint64_t at = run.begin - link.begin;
        const std::uint64_t runEnd = std::min<std::uint64_t>(run.end - link.begin, link.size);
        if (at >= runEnd) break;
        link.at = at;
        PageBytes bytes([&link](void* buffer, std::uint32_t n) { return ReadView(link, buffer, n); }, at);
        while (at < runEnd) {  // whole pages, each of which ends at or before link.size
            if (!bytes.Hold(at, at + 27) || !bytes.Hold(at, at + 27 + bytes.At(at)[26])) return false;
            const std::uint64_t next = at + PageBytesClaimed(bytes.At(at));
            if (!bytes.Hold(at, next)) return false;
            for (std::uint64_t from = at + 1;;) {
                const unsigned char* const first = bytes.At(from);
                const unsigned char* const p = FindCapture(first, static_cast<std::size_t>(next - from));
                if (p == nullptr) break;
                const std::uint64_t capture = from + static_cast<std::uint64_t>(p - first);
                from = capture + 1;
                if (capture + 27 > link.size) continue;
                if (!bytes.Hold(capture, std::max(next, capture + 27))) return false;
                const long headerBytes = 27 + bytes.At(capture)[26];
                if (capture + static_cast<std::uint64_t>(headerBytes) > link.size) continue;
                if (!bytes.Hold(capture, std::max<std::uint64_t>(next, capture + headerBytes))) return false;
                const std::uint64_t claimed = PageBytesClaimed(bytes.At(capture));
                const std::uint64_t looked = capture + claimed <= link.size ? claimed : headerBytes;
                if (looked > work) return false;
                work -= looked;
                if (looked < claimed) continue;
                if (!bytes.Hold(capture, std::max(next, capture + claimed))) return false;
                if (ChecksumHolds(bytes.At(capture), headerBytes, static_cast<long>(claimed) - headerBytes))
                    return false;
            }
            at = next;
        }
    }
    return true;
}

// vorbisfile 1.3.7's seeking open looks for the last page of the stream it decodes by searching back
// from the end, a 64 KiB window at a time, each read from its start with a fresh page search. When the
// last page it meets is another stream's, it bisects the bytes for the beginning of a next link, and
// searches back from there, and from the end, for the last page of each link's stream. A page search
// that starts inside a page can find a page hidden in its body, one that the search from the first byte
// never meets: taken for the beginning of a second link, its stream's last page is then looked for in
// windows that all pass over the hidden beginning, back to byte 0, where the window can start no lower
// and is searched again, empty, for ever (a failing seek does not stop it). Each step back also reads a
// whole window again, and bytes that are no page after the last one are read once more for every window
// they fill.
// So vorbisfile is given the link up to the end of the last page of the stream it decodes (which it
// names from the headers, before the seeking part of the open), every byte in its place but those
// outside pages read as zeros: its first window holds that page, so it neither bisects nor steps back,
// and no search of it meets anything it must look at twice. What plays stays as it was: its page search
// passes over bytes outside pages and zeros alike, places are kept (the decoder tells the first page of
// sound by its place), and what follows the stream's last page in a link is other streams' pages, which
// the decoder passes over too. A link with a page hidden in another is refused, and so is one whose
// "OggS" inside pages cost more to look at than `work` leaves. Decided once a link.
bool LinkSafe(OggLinkBytes& link, std::uint64_t& work) {
    if (link.check != OggLinkCheck::Unchecked) return link.check == OggLinkCheck::Safe;
    link.check = OggLinkCheck::Refused;
    if (link.streamEnds.size() > kMaxOpenStreams) return false;
    try {
        link.size = link.runs.empty() ? 0 : link.runs.back().end - link.begin;
        link.at = 0;
        OggVorbis_File probe;
        std::memset(&probe, 0, sizeof probe);
        const ov_callbacks callbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
        if (ov_test_callbacks(&link, &probe, nullptr, 0, callbacks) < 0) return false;
        const auto serial = static_cast<int>(probe.current_serialno);
        ov_clear(&probe);
        const auto stream = std::find_if(link.streamEnds.begin(), link.streamEnds.end(),
                                         [&](const std::pair<int, std::uint64_t>& s) { return s.first == serial; });
        if (stream == link.streamEnds.end()) return false;
        link.size = stream->second;
        if (!PagesHideNone(link, work)) return false;
    } catch (const std::exception&) {
        return false;
    }
    link.check = OggLinkCheck::Safe;
    return true;
}

// Opens vorbisfile on one link. Nothing has been decoded yet: a link whose setup headers would fail the
// decoder stops here. vorbisfile's open ends with a raw seek to its first link's sound, but leaves a
// chained stream past that link: sent there again, every one of its links plays. `work` is what the
// checks of the stream's links may still look at.
bool OpenLink(OggLinkBytes& link, OggVorbis_File& file, std::uint64_t& work) {
    if (!LinkSafe(link, work)) return false;
    link.at = 0;
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

OggLinkBytes NewLink(IStream& stream, std::uint32_t begin, std::uint32_t end) {
    OggLinkBytes link;
    link.stream = &stream;
    link.begin = begin;
    link.end = end;
    return link;
}

// Separate stretches of pages a stream may hold, the links' together: far more than any real stream,
// and a bound on what the scan keeps.
constexpr std::size_t kMaxRuns = 65536;

// Keeps the page [at, next) among the link's; false when the stream holds more stretches of pages than are
// kept.
bool KeepPage(OggLinkBytes& link, std::uint64_t at, std::uint64_t next, const unsigned char* page, std::size_t& runs) {
    if (link.runs.empty() || link.runs.back().end != at) {
        if (++runs > kMaxRuns) return false;
        link.runs.push_back(OggPageRun{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(at)});
    }
    link.runs.back().end = static_cast<std::uint32_t>(next);
    const auto serial = static_cast<int>(page[14] | page[15] << 8 | page[16] << 16 | std::uint32_t{page[17]} << 24);
    auto ends = std::find_if(link.streamEnds.begin(), link.streamEnds.end(),
                             [&](const std::pair<int, std::uint64_t>& s) { return s.first == serial; });
    if (ends != link.streamEnds.end())
        ends->second = next - link.begin;
    else if ((page[5] & 0x02) != 0 && link.streamEnds.size() <= kMaxOpenStreams)
        link.streamEnds.emplace_back(serial, next - link.begin);
    return true;
}

}  // namespace

// The pages are the ones vorbisfile's page search finds reading the bytes from the first: each "OggS"
// whose page lies whole within the bytes and whose checksum holds, the search going on from the byte
// after an "OggS" that is no page, and ending at a page cut short by the end. Each link keeps the pages
// that search finds among its bytes, as vorbisfile reading the whole stream finds them, and where each
// of its streams' last page ends.
bool FindOggLinks(IStream& stream, std::uint32_t begin, std::uint32_t end, std::vector<OggLinkBytes>& links) {
    links.assign(1, NewLink(stream, begin, end));
    stream.Seek(begin);
    if (stream.Tell() != begin) return false;
    PageBytes bytes([&stream, end](void* buffer, std::uint32_t n) { return ReadRaw(stream, end, buffer, n); }, begin);
    bool sound = false;  // a page other than a beginning since the last link began
    std::size_t runs = 0;
    std::uint64_t falsePageWork = 0;
    const std::uint64_t maxFalsePageWork = kFalsePageWork * (end - std::min(begin, end)) + kFalsePageWorkBase;
    for (std::uint64_t at = begin;;) {
        at = bytes.NextCapture(at);
        if (at == PageBytes::kNone || !bytes.Hold(at, at + 27)) return true;
        const long headerBytes = 27 + bytes.At(at)[26];
        if (!bytes.Hold(at, at + headerBytes)) return true;
        const std::uint64_t next = at + PageBytesClaimed(bytes.At(at));
        if (!bytes.Hold(at, next)) return true;
        const unsigned char* const page = bytes.At(at);
        if (!ChecksumHolds(page, headerBytes, static_cast<long>(next - at) - headerBytes)) {
            falsePageWork += next - at;
            if (falsePageWork > maxFalsePageWork) return false;
            ++at;
            continue;
        }
        const bool beginning = (page[5] & 0x02) != 0;
        if (!beginning) {
            sound = true;
        } else if (sound) {
            if (links.size() >= kMaxLinks) return false;
            links.back().end = static_cast<std::uint32_t>(at);
            links.push_back(NewLink(stream, static_cast<std::uint32_t>(at), end));
            sound = false;
        }
        if (!KeepPage(links.back(), at, next, page, runs)) return false;
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
        const std::uint32_t begin = stream->Tell(), end = stream->GetSize();
        checkWork_ = kFalsePageWork * (end - std::min(begin, end)) + kFalsePageWorkBase;
        found = FindOggLinks(*stream, begin, end, links_);
    } catch (const std::exception&) {
        found = false;
    }
    if (!found || !OpenLink(links_[0], file_, checkWork_)) {
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

    // Every later link is opened once here, one at a time, for its format and its length.
    std::uint64_t frames = PcmFrames(file_);
    bool usable = true;
    try {
        for (std::size_t i = 1; usable && i < links_.size(); ++i) {
            OggVorbis_File link;
            std::memset(&link, 0, sizeof link);
            usable = OpenLink(links_[i], link, checkWork_);
            if (!usable) break;
            for (int j = 0; usable && j < link.links; ++j) usable = SameFormat(*info, link.vi[j]);
            frames += PcmFrames(link);
            ov_clear(&link);
        }
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
    decoding_ = OpenLink(links_[current_], file_, checkWork_);
    return decoding_;
}

int COggVorbisReader::Rewind() {
    if (!opened_) return 0;
    if (current_ != 0 || !decoding_) {
        // Opened afresh, the first link's decoder stands where the open left it.
        if (decoding_) ov_clear(&file_);
        current_ = 0;
        position_ = 0;
        decoding_ = OpenLink(links_[0], file_, checkWork_);
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
