// The Ogg Vorbis reader: open, comment properties, and a bounded decode before and after a rewind.
#include <vector>

#include "FuzzSupport.h"
#include "devices/OggVorbisReader.h"

using namespace trivale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto stream = fuzz::MemoryStream(std::string(reinterpret_cast<const char*>(data), size));
    COggVorbisReader reader;
    if (!fuzz::Parses([&] { reader.Open(stream.get()); })) return 0;
    const plat::WaveFormat* format = reader.GetFormat();
    FUZZ_CHECK(format != nullptr);
    FUZZ_CHECK(format->bitsPerSample == 16 && format->channels > 0 && format->blockAlign == format->channels * 2);
    reader.GetProperty("title");
    reader.GetProperty("LOOPSTART");
    std::vector<std::uint8_t> buffer(8191);
    for (int pass = 0; pass < 2; ++pass) {
        std::uint32_t total = 0;
        // A few hundred kilobytes of output are enough to reach every decoding path.
        for (int i = 0; i < 32; ++i) {
            const std::uint32_t got = reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            FUZZ_CHECK(got <= buffer.size() && got % format->blockAlign == 0);
            total += got;
            FUZZ_CHECK(reader.GetPosition() == total);
            if (got == 0) break;
        }
        reader.Rewind();
        FUZZ_CHECK(reader.GetPosition() == 0);
    }
    reader.GetDataSize();
    return 0;
}
