// The resource archive: header, entry table and entries, read through the archive reader and the
// archive data loader.
#include <map>

#include "FuzzSupport.h"
#include "core/ArchiveFileLoader.h"
#include "core/DataLoader.h"
#include "core/Text.h"

using namespace trivale;

namespace {

std::string ReadAll(IStream& stream) {
    std::string bytes(stream.GetSize(), '\0');
    if (!bytes.empty()) bytes.resize(stream.Read(&bytes[0], static_cast<std::uint32_t>(bytes.size())));
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::WriteScratchFile("data.tva", bytes);
    CArchiveFileLoader reader;
    if (!fuzz::Parses([&] { reader.Open(path); })) return 0;

    // Every record costs at least 24 bytes after the 37 of the header; every entry lies inside the file.
    const int count = reader.GetEntryCount();
    FUZZ_CHECK(37 + static_cast<std::uint64_t>(count) * 24 <= size);
    FUZZ_CHECK(reader.GetDataStart() <= size);
    std::map<std::string, const CArchiveFileEntryHeader*> latest;  // of two equal names the later wins
    for (int i = 0; i < count; ++i) {
        const CArchiveFileEntryHeader* e = reader.GetEntry(i);
        FUZZ_CHECK(reader.GetDataStart() + e->offset + e->size <= size);
        latest[ToLowerCase(e->name)] = e;
    }
    int opened = 0;
    for (const auto& named : latest) {
        if (++opened > 64) break;
        std::unique_ptr<IStream> entry;
        const bool found = fuzz::Parses([&] { entry = reader.OpenEntry(named.first); });
        // A name holding a NUL byte names nothing; every other entry opens onto its own bytes.
        FUZZ_CHECK(found == (named.first.find('\0') == std::string::npos));
        if (found)
            FUZZ_CHECK(ReadAll(*entry) ==
                       bytes.substr(reader.GetDataStart() + named.second->offset, named.second->size));
    }

    std::unique_ptr<TArchiveFileDataLoader<CArchiveFileLoader>> loader;
    if (!fuzz::Parses([&] { loader = std::make_unique<TArchiveFileDataLoader<CArchiveFileLoader>>(path); })) return 0;
    std::vector<std::string> listed;
    loader->Enumerate("", true, listed);
    FUZZ_CHECK(listed.size() <= static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < listed.size() && i < 64; ++i)
        FUZZ_CHECK(fuzz::Parses([&] { loader->Open(listed[i]); }));
    return 0;
}
