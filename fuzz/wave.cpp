// The WAVE reader: format block and sample data, read whole, then again after a rewind.
#include <vector>

#include "FuzzSupport.h"
#include "devices/WaveSoundReader.h"

using namespace trivale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto stream = fuzz::MemoryStream(std::string(reinterpret_cast<const char*>(data), size));
    CWaveSoundReader reader;
    if (!fuzz::Parses([&] { reader.Open(stream.get()); })) {
        FUZZ_CHECK(reader.GetFormat() == nullptr);
        return 0;
    }
    const plat::WaveFormat* format = reader.GetFormat();
    FUZZ_CHECK(format != nullptr && format->channels != 0 && format->blockAlign != 0);
    // Whole sample frames only, and no more than the file holds.
    const std::uint32_t dataSize = reader.GetDataSize();
    FUZZ_CHECK(dataSize <= size && dataSize % format->blockAlign == 0);
    std::vector<std::uint8_t> buffer(4099);
    for (int pass = 0; pass < 2; ++pass) {
        std::uint32_t total = 0;
        for (std::uint32_t got; (got = reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()))) > 0;) {
            FUZZ_CHECK(got <= buffer.size());
            total += got;
            FUZZ_CHECK(reader.GetPosition() == total);
        }
        FUZZ_CHECK(total == dataSize);
        reader.Rewind();
        FUZZ_CHECK(reader.GetPosition() == 0 && reader.GetDataSize() == dataSize);
    }
    return 0;
}
