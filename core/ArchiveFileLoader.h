// Reader of the resource archive "data.tva": header strings, an entry table whose records each carry
// a CRC-32, then the entries' bytes. Entries are read as windows onto the archive file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/FileStream.h"

namespace trivale {

class CArchiveEntryHeader : public virtual CObject {
public:
    std::uint32_t offset = 0;  // from the start of the data area
    std::uint32_t size = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
};

class CArchiveFileEntryHeader : public CArchiveEntryHeader {
public:
    std::string name;  // "\\" separates directories
};

class CArchiveFileEntries : public std::vector<CArchiveFileEntryHeader>, public virtual CObject {};

class CArchiveFileLoader : public virtual CNonCopyable {
public:
    static const char kHeaderMagic[];  // "TrivaleArchive", 14 bytes
    static const char kTableMagic[];   // "TrivaleArchiveEntry", 19 bytes
    static const std::size_t kHeaderMagicSize = 14;
    static const std::size_t kTableMagicSize = 19;
    // Bounds on entry names beyond any real data set; the directory index of the archive data
    // loader refuses names past them as corrupt, and the packer never writes one.
    static const std::size_t kMaxNameLength = 1024;
    static const int kMaxNameDepth = 32;  // directory separators in one name
    // The header and the entry table are read in pieces of this size: the last one reads past the table
    // into the entries' bytes by less than that.
    static const std::uint32_t kTableReadSize = 64 * 1024;

    CArchiveFileLoader() {}
    ~CArchiveFileLoader() override;

    // Name index from the entry list: lower-cased names; of two equal names the later record wins.
    virtual void BuildIndex();
    // Reads the header and the entry table. A bad header, an entry count that is missing or negative, a
    // record whose CRC fails and an entry whose bytes lie outside the file all throw
    // EInvalidFileFormat; the index is then left empty.
    virtual void Open(const std::string& path);
    virtual int GetEntryCount() const { return static_cast<int>(entries_.size()); }
    // EInvalidParameter unless 0 <= index < GetEntryCount().
    virtual const CArchiveFileEntryHeader* GetEntry(int index) const;
    // A new read-only stream over the entry's bytes, owned by the caller; the name is looked up
    // without regard to letter case. EFileOpenError when there is no such entry.
    virtual std::unique_ptr<CFilePartitionStream> OpenEntry(const std::string& name);

    const std::string& GetPath() const { return path_; }
    // Absolute file offset of the data area.
    std::uint64_t GetDataStart() const { return dataStart_; }

private:
    std::string path_;
    CArchiveFileEntries entries_;
    std::map<std::string, CArchiveFileEntryHeader> index_;  // the name as the archive spells it
    std::uint64_t dataStart_ = 0;
};

}  // namespace trivale
