// Resource names, as scripts pass them, through both data loaders over the same small data set:
// whatever opens is one of its files, whatever is listed opens, and a walk always ends.
#include <sys/stat.h>

#include <set>

#include "FuzzSupport.h"
#include "core/ArchiveFileLoader.h"
#include "core/DataLoader.h"
#include "tools/ArchivePacker.h"

using namespace trivale;

namespace {

const char* const kFiles[][2] = {{"a.txt", "A"}, {"Sub/b.txt", "B"}, {"Sub/Deep/c.txt", "C"}, {"two/d.txt", "D"}};
std::unique_ptr<IDataLoader> g_loaders[2];
std::set<std::string> g_contents;

void CheckName(IDataLoader& loader, const std::string& name, bool recursive) {
    std::unique_ptr<IStream> stream;
    if (fuzz::Parses([&] { stream = loader.Open(name); })) {
        FUZZ_CHECK(name.find('\0') == std::string::npos);
        std::string bytes(stream->GetSize(), '\0');
        if (!bytes.empty()) bytes.resize(stream->Read(&bytes[0], static_cast<std::uint32_t>(bytes.size())));
        FUZZ_CHECK(g_contents.count(bytes) == 1);  // never a file outside the data set
    }
    std::vector<std::string> listed;
    loader.Enumerate(name, recursive, listed);
    FUZZ_CHECK(listed.size() <= sizeof kFiles / sizeof kFiles[0]);
    FUZZ_CHECK(listed.empty() || name.find('\0') == std::string::npos);
    for (const std::string& each : listed) FUZZ_CHECK(fuzz::Parses([&] { loader.Open(each); }));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string root = fuzz::ScratchDir() + "/data/";
    std::vector<tools::PackItem> items;
    for (const auto& file : kFiles) {
        const std::string path = root + file[0];
        mkdir(root.c_str(), 0700);
        for (std::size_t slash = root.size(); (slash = path.find('/', slash)) != std::string::npos; ++slash)
            mkdir(path.substr(0, slash).c_str(), 0700);
        fuzz::WriteScratchFile(std::string("data/") + file[0], file[1]);
        tools::PackItem item;
        item.name = file[0];
        for (char& c : item.name)
            if (c == '/') c = '\\';
        item.path = path;
        item.size = 1;
        items.push_back(item);
        g_contents.insert(file[1]);
    }
    fuzz::WriteScratchFile("outside.txt", "outside");
    const std::string archive = fuzz::ScratchDir() + "/data.tva";
    std::string error;
    FUZZ_CHECK(tools::WriteArchive(archive, items, error));
    g_loaders[0] = std::make_unique<CFileSystemDataLoader>(root);
    g_loaders[1] = std::make_unique<TArchiveFileDataLoader<CArchiveFileLoader>>(archive);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool recursive = in.Byte() & 1;
    const std::string name = in.Rest();
    for (auto& loader : g_loaders) CheckName(*loader, name, recursive);
    return 0;
}
