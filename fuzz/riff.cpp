// The RIFF walker: the chunk table, and every chunk's bytes read back through the selected window.
#include "FuzzSupport.h"
#include "core/RIFFReader.h"

using namespace trivale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto stream = fuzz::MemoryStream(bytes);
    CRIFFReader riff;
    if (!fuzz::Parses([&] { riff.Open(stream.get()); })) return 0;
    // Try the tags the file itself holds at word positions, and the common ones.
    std::vector<std::uint32_t> tags = {CRIFFReader::MakeFourCC('f', 'm', 't', ' '),
                                       CRIFFReader::MakeFourCC('d', 'a', 't', 'a')};
    for (std::size_t at = 12; at + 4 <= size && tags.size() < 64; at += 4) tags.push_back(LoadLE32(data + at));
    for (std::uint32_t tag : tags) {
        if (!fuzz::Parses([&] { riff.SelectChunk(tag); })) continue;
        const std::int64_t offset = riff.GetChunkOffset(), chunkSize = riff.GetChunkSize();
        FUZZ_CHECK(offset >= 12 && chunkSize >= 0 && offset + chunkSize <= static_cast<std::int64_t>(size));
        // The window reads exactly its bytes, in any piece sizes, and nothing past them.
        std::string read;
        char piece[7];
        for (std::uint32_t got; (got = riff.Read(piece, sizeof piece)) > 0;) {
            FUZZ_CHECK(got <= sizeof piece);
            read.append(piece, got);
        }
        FUZZ_CHECK(read == bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(chunkSize)));
    }
    return 0;
}
