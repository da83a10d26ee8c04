#include "core/DataLoader.h"

#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "platform/System.h"

namespace trivale {

namespace {

// Deeper than any data set goes; a bound on the walk whatever the disk holds.
const int kMaxDepth = 128;

// The operating system reads a name only up to a NUL byte: such a name would stand for another, and a
// recursive walk would list the same folder again at every level. It names nothing.
bool HoldsNul(const std::string& name) { return name.find('\0') != std::string::npos; }

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The existing entry of dir whose name equals name, letter case aside; first in name order.
bool FindIgnoringCase(const std::string& dir, const std::string& name, std::string& found) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDirectory(dir.empty() ? "/" : dir, entries)) return false;
    const std::string key = ToLowerCase(name);
    for (const plat::DirEntry& e : entries) {
        if (ToLowerCase(e.name) == key) {
            found = e.name;
            return true;
        }
    }
    return false;
}

}  // namespace

CFileSystemDataLoader::CFileSystemDataLoader(const std::string& path) : rootPath_(ExpandFileName(path)) {
    LogInfoString("FileSystemDataLoader: root path = " + rootPath_);
    // Without a trailing separator names are joined to the root's last component, so the data
    // directory is the one that holds it.
    baseDir_ =
        ExcludeTrailingBackslash(rootPath_.empty() || rootPath_.back() == '/' ? rootPath_ : ExtractFileDir(rootPath_));
    realBase_ = rootPath_.empty() ? std::string() : plat::RealPath(baseDir_.empty() ? "/" : baseDir_);
}

CFileSystemDataLoader::~CFileSystemDataLoader() {}

bool CFileSystemDataLoader::Inside(const std::string& realPath) const {
    if (realBase_.empty() || realPath.empty()) return false;
    const std::string prefix = realBase_ == "/" ? realBase_ : realBase_ + "/";
    return realPath.size() > prefix.size() && StartsWith(realPath, prefix);
}

std::string CFileSystemDataLoader::FindOnDisk(const std::string& osPath) const {
    if (plat::GetPathKind(osPath) != plat::PathKind::Missing) return osPath;
    if (!StartsWith(osPath, baseDir_ + "/")) return std::string();
    // The disk may spell a component in another letter case.
    std::string cur = baseDir_;
    const std::string rel = osPath.substr(baseDir_.size() + 1);
    std::size_t start = 0;
    while (start < rel.size()) {
        std::size_t end = rel.find('/', start);
        if (end == std::string::npos) end = rel.size();
        const std::string component = rel.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        const std::string candidate = cur + "/" + component;
        if (component == "." || component == ".." || plat::GetPathKind(candidate) != plat::PathKind::Missing) {
            cur = candidate;
            continue;
        }
        std::string found;
        if (!FindIgnoringCase(cur, component, found)) return std::string();
        cur += "/" + found;
    }
    return cur;
}

std::string CFileSystemDataLoader::Resolve(const std::string& name) const {
    if (realBase_.empty()) return std::string();
    const std::string path = FindOnDisk(OsPath(rootPath_ + name));
    if (path.empty() || plat::GetPathKind(path) != plat::PathKind::File) return std::string();
    return Inside(plat::RealPath(path)) ? path : std::string();
}

std::unique_ptr<IStream> CFileSystemDataLoader::Open(const std::string& name) {
    const std::string full = rootPath_ + name;
    if (HoldsNul(full)) throw EFileOpenError(this, "ファイルを開けませんでした: \"" + OsPath(full) + "\"");
    const std::string resolved = Resolve(name);
    if (resolved.empty()) {
        // Present but outside the data directory (a link or ".." leads away), or no plain file (a pipe
        // would block): refused as missing.
        if (plat::GetPathKind(OsPath(full)) != plat::PathKind::Missing)
            throw EFileOpenError(this, "ファイルを開けませんでした: \"" + OsPath(full) + "\"");
        return std::make_unique<CFileStream>(full, plat::FileMode::ReadExisting,
                                             FileShare::Read);  // throws the file's own open error
    }
    return std::make_unique<CFileStream>(resolved, plat::FileMode::ReadExisting, FileShare::Read);
}

void CFileSystemDataLoader::Enumerate(const std::string& directory, bool recursive, std::vector<std::string>& list) {
    const std::string full = rootPath_ + directory;
    if (!HoldsNul(full)) EnumerateDirectory(full, recursive, list, 0);
}

void CFileSystemDataLoader::EnumerateDirectory(const std::string& directory, bool recursive,
                                               std::vector<std::string>& list, int depth) {
    if (depth > kMaxDepth || realBase_.empty()) return;
    const std::string d = IncludeTrailingBackslash(directory);
    // Locate the directory on disk, letter case aside, and never outside the data directory.
    const std::string osDir = FindOnDisk(ExcludeTrailingBackslash(OsPath(d)));
    if (osDir.empty() || plat::GetPathKind(osDir) != plat::PathKind::Directory) return;
    const std::string real = plat::RealPath(osDir);
    if (real.empty() || (real != realBase_ && !Inside(real))) return;

    std::vector<plat::DirEntry> entries;
    if (!plat::ListDirectory(osDir, entries)) return;
    const std::string lowerRoot = ToLowerCase(rootPath_);
    for (const plat::DirEntry& e : entries) {
        if (e.isDirectory) {
            if (recursive && !e.isHidden && !e.isSymlink) EnumerateDirectory(d + e.name, recursive, list, depth + 1);
            continue;
        }
        if (!e.isFile) continue;
        if (e.isSymlink && !Inside(plat::RealPath(osDir + "/" + e.name))) continue;
        std::string full = d + e.name;
        if (StartsWith(ToLowerCase(full), lowerRoot)) full.erase(0, rootPath_.size());
        list.push_back(full);
    }
}

}  // namespace trivale
