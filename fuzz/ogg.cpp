// The Ogg Vorbis reader: open, comment properties, and a bounded decode before and after a rewind,
// which plays the same bytes again. Each input plays as it is, pages whose checksums fail and all, as a
// damaged file would (the kept inputs in fuzz/regressions/ogg/ replay their faults so), and again with
// every page's checksum made good when that changes it, so that changed bytes reach the decoder.
// The links the reader finds are the ones the plain page search finds; a stream it opens plays as its
// links do each alone through plain vorbisfile, and its data size is theirs together, so that a stream
// whose links each play their own data size plays the reader's. Each link but the last is given with a
// page's length of zeros after it: what looks like a page near its end and claims bytes past it is then
// found no page and passed over, as it is in the whole stream, where the next link's bytes follow it
// (the last link ends where the stream does).
#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "devices/OggVorbisReader.h"
#include "tests/sound/OggPlainLinks.h"

using namespace trivale;

namespace {

// A changed page would nearly always fail its checksum and never reach the decoder: every whole page
// gets the checksum its bytes make. Whether any checksum changed.
bool SetPageChecksums(std::string& bytes) {
    bool changed = false;
    for (std::size_t at = 0; (at = bytes.find("OggS", at)) != std::string::npos; ++at) {
        if (at + 27 > bytes.size()) break;
        const std::size_t segments = static_cast<unsigned char>(bytes[at + 26]);
        if (at + 27 + segments > bytes.size()) break;
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i) body += static_cast<unsigned char>(bytes[at + 27 + i]);
        if (at + 27 + segments + body > bytes.size()) break;
        ogg_page page;
        page.header = reinterpret_cast<unsigned char*>(&bytes[at]);
        page.header_len = static_cast<long>(27 + segments);
        page.body = page.header + page.header_len;
        page.body_len = static_cast<long>(body);
        const std::string checksum = bytes.substr(at + 22, 4);
        ogg_page_checksum_set(&page);
        changed = changed || bytes.compare(at + 22, 4, checksum) != 0;
    }
    return changed;
}

// Output the target decodes of a stream at most: a few hundred kilobytes reach every decoding path.
constexpr std::size_t kReads = 32, kReadBytes = 8191;

struct Bytes {
    const std::string* bytes;
    std::size_t at;
};

// As the reader's own callbacks: a seek outside the bytes fails.
std::size_t PlainRead(void* out, std::size_t size, std::size_t count, void* source) {
    auto* b = static_cast<Bytes*>(source);
    if (size == 0) return 0;
    const std::size_t n = std::min(size * count, b->bytes->size() - b->at) / size * size;
    std::memcpy(out, b->bytes->data() + b->at, n);
    b->at += n;
    return n / size;
}

int PlainSeek(void* source, ogg_int64_t offset, int whence) {
    auto* b = static_cast<Bytes*>(source);
    const ogg_int64_t size = static_cast<ogg_int64_t>(b->bytes->size());
    const ogg_int64_t target = whence == SEEK_SET   ? offset
                               : whence == SEEK_CUR ? static_cast<ogg_int64_t>(b->at) + offset
                               : whence == SEEK_END ? size + offset
                                                    : 0;
    if (target < 0 || target > size) return -1;
    b->at = static_cast<std::size_t>(target);
    return 0;
}

long PlainTell(void* source) { return static_cast<long>(static_cast<Bytes*>(source)->at); }

// Bytes a page can claim: its header with 255 lacing values, each of 255.
constexpr std::size_t kMaxPageBytes = 27 + 255 + 255 * 255;

// Each link alone through plain vorbisfile, as one stream of its own bytes and the zeros after them.
struct PlainLinks {
    bool comparable = true;  // every link opened, as one vorbisfile link, and played without a gap
    bool own = true;         // and every link played to its end played its own data size
    std::uint64_t size = 0;  // the links' data sizes together
    std::string pcm;         // what they play, up to as much as the target reads of the reader
};

PlainLinks PlayLinksAlone(const std::string& bytes, std::size_t budget) {
    PlainLinks plain;
    for (const auto& [begin, end] : oggplain::Links(bytes)) {
        const std::string link =
            bytes.substr(begin, end - begin) + std::string(end < bytes.size() ? kMaxPageBytes : 0, '\0');
        Bytes source{&link, 0};
        OggVorbis_File vf;
        const ov_callbacks callbacks = {&PlainRead, &PlainSeek, nullptr, &PlainTell};
        if (ov_open_callbacks(&source, &vf, nullptr, 0, callbacks) < 0) {
            plain.comparable = false;
            return plain;
        }
        const std::uint64_t align = 2u * static_cast<std::uint64_t>(ov_info(&vf, -1)->channels);
        const ogg_int64_t frames = ov_pcm_total(&vf, -1);
        plain.size += frames > 0 ? static_cast<std::uint64_t>(frames) * align : 0;
        plain.comparable = plain.comparable && vf.links == 1;
        std::uint64_t played = 0;
        std::vector<char> buffer(4096);
        while (plain.comparable && plain.pcm.size() < budget) {
            int section = 0;
            const long got = ov_read(&vf, buffer.data(), static_cast<int>(buffer.size()), 0, 2, 1, &section);
            if (got < 0) plain.comparable = false;
            if (got <= 0) break;
            plain.pcm.append(buffer.data(), static_cast<std::size_t>(got));
            played += static_cast<std::uint64_t>(got);
        }
        if (plain.pcm.size() < budget) plain.own = plain.own && played == static_cast<std::uint64_t>(frames) * align;
        ov_clear(&vf);
        if (!plain.comparable) return plain;
    }
    return plain;
}

void Play(const std::string& bytes) {
    {
        auto stream = fuzz::MemoryStream(bytes);
        std::vector<OggLinkBytes> found;
        // Refused only when telling pages from what is none would cost too much; the reader then refuses.
        if (!FindOggLinks(*stream, 0, static_cast<std::uint32_t>(bytes.size()), found)) {
            COggVorbisReader reader;
            stream->Seek(0);
            FUZZ_CHECK(!fuzz::Parses([&] { reader.Open(stream.get()); }));
            return;
        }
        std::vector<std::pair<std::uint32_t, std::uint32_t>> links;
        for (const OggLinkBytes& link : found) links.emplace_back(link.begin, link.end);
        FUZZ_CHECK(links == oggplain::Links(bytes));
    }

    auto stream = fuzz::MemoryStream(bytes);
    COggVorbisReader reader;
    if (!fuzz::Parses([&] { reader.Open(stream.get()); })) return;
    const plat::WaveFormat* format = reader.GetFormat();
    FUZZ_CHECK(format != nullptr);
    FUZZ_CHECK(format->bitsPerSample == 16 && format->channels > 0 && format->blockAlign == format->channels * 2);
    reader.GetProperty("title");
    reader.GetProperty("LOOPSTART");
    std::vector<std::uint8_t> buffer(kReadBytes);
    std::string played[2];
    bool ended = false;
    for (std::string& pcm : played) {
        for (std::size_t i = 0; i < kReads; ++i) {
            const std::uint32_t got = reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            FUZZ_CHECK(got <= buffer.size() && got % format->blockAlign == 0);
            pcm.append(reinterpret_cast<const char*>(buffer.data()), got);
            FUZZ_CHECK(reader.GetPosition() == pcm.size());
            ended = got == 0;
            if (got == 0) break;
        }
        reader.Rewind();
        FUZZ_CHECK(reader.GetPosition() == 0);
    }
    FUZZ_CHECK(played[0] == played[1]);

    // The links the reader opened are safe to decode alone: their headers passed its checks.
    // A read more than the reader's: the links alone play no more than it did where it came to its end.
    const std::string& pcm = played[0];
    const PlainLinks plain = PlayLinksAlone(bytes, pcm.size() + kReadBytes);
    if (!plain.comparable) return;
    FUZZ_CHECK(reader.GetDataSize() == std::min<std::uint64_t>(plain.size, 0xFFFFFFFFu));
    FUZZ_CHECK(ended ? plain.pcm == pcm : plain.pcm.compare(0, pcm.size(), pcm) == 0);
    if (ended && plain.own) FUZZ_CHECK(pcm.size() == reader.GetDataSize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Play(bytes);
    if (SetPageChecksums(bytes)) Play(bytes);
    return 0;
}
