// The source of the program's named resources: one loader, chosen at start-up, serves every reader.
// Names use "\\" as separator ("fonts\\FONT08T2.png"); both loaders accept the same names. A name that
// holds a NUL byte names nothing: it opens nothing and lists nothing.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ArchiveFileLoader.h"
#include "core/Exception.h"
#include "core/Path.h"
#include "core/Stream.h"
#include "core/Text.h"

namespace trivale {

class IDataLoader : public IInterface {
public:
    // A new stream on the resource; EFileOpenError when there is none.
    virtual std::unique_ptr<IStream> Open(const std::string& name) = 0;
    virtual std::shared_ptr<IStream> OpenShared(const std::string& name) { return Open(name); }
    // Appends the names of the resources under the directory (the list is not cleared first).
    virtual void Enumerate(const std::string& directory, bool recursive, std::vector<std::string>& list) = 0;
};

// Resources as plain files under a root directory. A name whose letter case differs from the disk's
// still opens (the first match in name order); directories list sorted by name; nothing reached
// through a symbolic link that leads out of the data directory is opened or listed, and linked
// directories are not walked.
class CFileSystemDataLoader : public IDataLoader, public virtual CNonCopyable {
public:
    // The root is taken as given, made absolute: with a trailing separator names are joined inside it.
    explicit CFileSystemDataLoader(const std::string& path);
    ~CFileSystemDataLoader() override;

    std::unique_ptr<IStream> Open(const std::string& name) override;
    // Names relative to the root, in the disk's letter case.
    void Enumerate(const std::string& directory, bool recursive, std::vector<std::string>& list) override;

    const std::string& GetRootPath() const { return rootPath_; }

private:
    // The existing file that root + name names, letter case aside; "" when there is none inside the
    // data directory.
    std::string Resolve(const std::string& name) const;
    // The path on disk that an operating-system path names, letter case aside; "" when none.
    std::string FindOnDisk(const std::string& osPath) const;
    bool Inside(const std::string& realPath) const;
    void EnumerateDirectory(const std::string& directory, bool recursive, std::vector<std::string>& list, int depth);

    std::string rootPath_;
    std::string baseDir_;   // the data directory as the operating system names it, no trailing '/'
    std::string realBase_;  // the same with every link resolved; "" when it does not exist
};

// Resources as entries of the archive. Enumerated names come back lower-cased. An entry name longer
// or deeper than the archive's bounds (every directory level costs the index a copy of the name) or
// holding a NUL byte makes the constructor throw EInvalidFileFormat.
template <class TReader>
class TArchiveFileDataLoader : public IDataLoader, public virtual CNonCopyable {
public:
    // The reader's exceptions (missing or corrupt archive) pass to the caller.
    explicit TArchiveFileDataLoader(const std::string& archivePath) : reader_(new TReader()) {
        reader_->Open(archivePath);
        BuildDirectoryIndex();
    }
    ~TArchiveFileDataLoader() override { index_.clear(); }

    std::unique_ptr<IStream> Open(const std::string& name) override { return reader_->OpenEntry(name); }

    void Enumerate(const std::string& directory, bool recursive, std::vector<std::string>& list) override {
        if (directory.find('\0') != std::string::npos) return;
        EnumerateKey(IncludeTrailingBackslash(ToLowerCase(directory)), recursive, list);
    }

    TReader& GetReader() { return *reader_; }

private:
    // Each directory key ("" at the top, else ending in "\\") maps to the full names of its files and
    // to the one-component names (ending in "\\") of its subdirectories, in the order first seen.
    void BuildDirectoryIndex() {
        index_.clear();
        std::set<std::pair<std::string, std::string>> seen;
        for (int i = 0; i < reader_->GetEntryCount(); ++i) {
            const std::string name = ToLowerCase(reader_->GetEntry(i)->name);
            // A NUL byte is no part of any name the data loaders accept, nor of one the packer writes.
            if (name.size() > CArchiveFileLoader::kMaxNameLength || name.find('\0') != std::string::npos ||
                std::count_if(name.begin(), name.end(), [](char c) { return c == '\\' || c == '/'; }) >
                    CArchiveFileLoader::kMaxNameDepth) {
                index_.clear();
                throw EInvalidFileFormat(this, "データエラー(entry name). データが壊れています.");
            }
            const std::string dir = ExtractFileDir(name);
            index_.insert(std::make_pair(dir, name));
            seen.insert(std::make_pair(dir, name));
            std::string cur = dir;
            for (;;) {
                std::string component = ExtractFileName(ExcludeTrailingBackslash(cur));
                if (component.empty()) break;
                component += "\\";
                cur = ExtractFileDir(ExcludeTrailingBackslash(cur));
                if (seen.insert(std::make_pair(cur, component)).second) index_.insert(std::make_pair(cur, component));
            }
        }
    }

    void EnumerateKey(const std::string& key, bool recursive, std::vector<std::string>& list) const {
        auto range = index_.equal_range(key);
        for (auto it = range.first; it != range.second; ++it) {
            const std::string& value = it->second;
            if (value.empty()) continue;
            if (value.back() != '\\')
                list.push_back(value);
            else if (recursive)
                EnumerateKey(key + value, recursive, list);
        }
    }

    std::unique_ptr<TReader> reader_;
    std::multimap<std::string, std::string> index_;
};

}  // namespace trivale
