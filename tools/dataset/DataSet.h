// The show's data set while it is being built: every file by its resource name ("\\" separators, the
// case the engine's names use), written out as the data directory and packed into the archive.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace trivale {
namespace dataset {

using Bytes = std::vector<std::uint8_t>;

class DataSet {
public:
    // Adds a file; a name given twice is a builder fault and throws std::logic_error.
    void Add(const std::string& name, Bytes bytes);
    void AddText(const std::string& name, const std::string& text);
    bool Has(const std::string& name) const { return files_.count(name) != 0; }
    const Bytes& Get(const std::string& name) const;  // throws std::out_of_range
    const std::map<std::string, Bytes>& Files() const { return files_; }

    // Writes every file under root ("\\" becomes '/'), leaving files already there with the same
    // bytes untouched, so that a rebuild does not change their times. Throws std::runtime_error.
    void WriteDirectory(const std::string& root) const;
    // Packs the files into a resource archive in name order. Throws std::runtime_error.
    void WriteArchive(const std::string& archivePath, const std::string& root) const;

private:
    std::map<std::string, Bytes> files_;
};

// The parts of the show, each adding its files.
void AddFonts(DataSet& set);     // "fonts\\FONT08T2.png" ... "fonts\\FONT32T2.png"
void AddPictures(DataSet& set);  // textures, loading and watermark pictures, cloud and snow sheets, banner
void AddScenes(DataSet& set, const std::string& contentDir);  // scenes, objects
void AddScript(DataSet& set, const std::string& contentDir);  // "main.tvs", copied from contentDir
void AddMusic(DataSet& set);                                  // "music\\..."

}  // namespace dataset
}  // namespace trivale
