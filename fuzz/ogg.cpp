// The Ogg Vorbis reader: open, comment properties, and a bounded decode before and after a rewind,
// which plays the same bytes again. Each input plays as it is, pages whose checksums fail and all, as a
// damaged file would (the kept inputs in fuzz/regressions/ogg/ replay their faults so), and again with
// every page's checksum made good when that changes it, so that changed bytes reach the decoder.
#include <ogg/ogg.h>

#include <vector>

#include "FuzzSupport.h"
#include "devices/OggVorbisReader.h"

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

void Play(const std::string& bytes) {
    auto stream = fuzz::MemoryStream(bytes);
    COggVorbisReader reader;
    if (!fuzz::Parses([&] { reader.Open(stream.get()); })) return;
    const plat::WaveFormat* format = reader.GetFormat();
    FUZZ_CHECK(format != nullptr);
    FUZZ_CHECK(format->bitsPerSample == 16 && format->channels > 0 && format->blockAlign == format->channels * 2);
    reader.GetProperty("title");
    reader.GetProperty("LOOPSTART");
    std::vector<std::uint8_t> buffer(8191);
    std::string played[2];
    for (std::string& pcm : played) {
        // A few hundred kilobytes of output are enough to reach every decoding path.
        for (int i = 0; i < 32; ++i) {
            const std::uint32_t got = reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            FUZZ_CHECK(got <= buffer.size() && got % format->blockAlign == 0);
            pcm.append(reinterpret_cast<const char*>(buffer.data()), got);
            FUZZ_CHECK(reader.GetPosition() == pcm.size());
            if (got == 0) break;
        }
        reader.Rewind();
        FUZZ_CHECK(reader.GetPosition() == 0);
    }
    FUZZ_CHECK(played[0] == played[1]);
    reader.GetDataSize();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Play(bytes);
    if (SetPageChecksums(bytes)) Play(bytes);
    return 0;
}
