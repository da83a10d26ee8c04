#include "tools/dataset/DataSet.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tools/ArchivePacker.h"

namespace trivale {
namespace dataset {

namespace fs = std::filesystem;

void DataSet::Add(const std::string& name, Bytes bytes) {
    if (!files_.emplace(name, std::move(bytes)).second) throw std::logic_error("data set file added twice: " + name);
}

void DataSet::AddText(const std::string& name, const std::string& text) { Add(name, Bytes(text.begin(), text.end())); }

const Bytes& DataSet::Get(const std::string& name) const { return files_.at(name); }

static std::string OnDisk(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

void DataSet::WriteDirectory(const std::string& root) const {
    for (const auto& [name, bytes] : files_) {
        const fs::path path = fs::path(root) / OnDisk(name);
        fs::create_directories(path.parent_path());
        {
            std::ifstream old(path, std::ios::binary);
            if (old && Bytes(std::istreambuf_iterator<char>(old), {}) == bytes) continue;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    }
}

void DataSet::WriteArchive(const std::string& archivePath, const std::string& root) const {
    std::vector<tools::PackItem> items;
    for (const auto& [name, bytes] : files_)
        items.push_back({name, (fs::path(root) / OnDisk(name)).string(), bytes.size()});
    std::string error;
    if (!tools::CheckItems(items, error) || !tools::WriteArchive(archivePath, items, error))
        throw std::runtime_error(archivePath + ": " + error);
}

}  // namespace dataset
}  // namespace trivale
