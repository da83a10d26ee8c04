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

// Whether the open fails with the engine's data error, its message naming the archive.
template <class F>
bool RefusedAsDamage(F open, const std::string& archive) {
    try {
        open();
    } catch (const EInvalidFileFormat& e) {
        return std::string(e.what()).find(archive) != std::string::npos;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::WriteScratchFile("data.tva", bytes);
    CArchiveFileLoader reader;
    if (!fuzz::Parses([&] { reader.Open(path); })) return 0;

    // Every record costs at least 24 bytes after the 37 of the header. An entry past the end of the file
    // (a truncated archive) is listed like any other and refused when it is opened.
    const int count = reader.GetEntryCount();
    FUZZ_CHECK(37 + static_cast<std::uint64_t>(count) * 24 <= size);
    FUZZ_CHECK(reader.GetDataStart() <= size);
    std::map<std::string, const CArchiveFileEntryHeader*> latest;  // of two equal names the later wins
    for (int i = 0; i < count; ++i) latest[ToLowerCase(reader.GetEntry(i)->name)] = reader.GetEntry(i);
    auto inside = [&](const CArchiveFileEntryHeader& e) {
        return reader.GetDataStart() + static_cast<std::uint64_t>(e.offset) + e.size <= size;
    };
    int opened = 0;
    for (const auto& named : latest) {
        if (++opened > 64) break;
        // A name holding a NUL byte names nothing; every other entry opens onto its own bytes, or is
        // refused as damage, naming the archive, when the file does not hold them.
        if (named.first.find('\0') != std::string::npos) {
            FUZZ_CHECK(!fuzz::Parses([&] { reader.OpenEntry(named.first); }));
        } else if (inside(*named.second)) {
            std::unique_ptr<IStream> entry;
            FUZZ_CHECK(fuzz::Parses([&] { entry = reader.OpenEntry(named.first); }));
            FUZZ_CHECK(ReadAll(*entry) ==
                       bytes.substr(reader.GetDataStart() + named.second->offset, named.second->size));
        } else {
            FUZZ_CHECK(RefusedAsDamage([&] { reader.OpenEntry(named.first); }, path));
        }
    }

    std::unique_ptr<TArchiveFileDataLoader<CArchiveFileLoader>> loader;
    if (!fuzz::Parses([&] { loader = std::make_unique<TArchiveFileDataLoader<CArchiveFileLoader>>(path); })) return 0;
    std::vector<std::string> listed;
    loader->Enumerate("", true, listed);
    FUZZ_CHECK(listed.size() <= static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < listed.size() && i < 64; ++i) {
        const auto named = latest.find(listed[i]);
        FUZZ_CHECK(named != latest.end());
        if (inside(*named->second))
            FUZZ_CHECK(fuzz::Parses([&] { loader->Open(listed[i]); }));
        else
            FUZZ_CHECK(RefusedAsDamage([&] { loader->Open(listed[i]); }, path));
    }
    return 0;
}
