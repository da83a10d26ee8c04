#include "core/ArchiveFileLoader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <boost/crc.hpp>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {

const char CArchiveFileLoader::kHeaderMagic[] = "TrivaleArchive";
const char CArchiveFileLoader::kTableMagic[] = "TrivaleArchiveEntry";

namespace {

const char* const kCrcError = "データエラー(entry CRC). データが壊れています.";
const char* const kRangeError = "データエラー(entry range). データが壊れています.";
const char* const kCountError = "データエラー(entry count). データが壊れています.";

// The header and the entry table are read from the file in pieces of kTableReadSize, as a plain reader
// reads, and parsed from memory: a read a field made a table of a few thousand records as many system
// calls. What is read is what the fields, the names and their checks would have read one at a time.
class TableReader {
public:
    explicit TableReader(CFileStream& file) : file_(file), size_(file.GetFileLength()) {}

    // As the file's Read: fewer than `count` bytes at the end of the file.
    std::uint32_t Read(void* out, std::uint32_t count) {
        char* to = static_cast<char*>(out);
        std::uint32_t done = 0;
        while (done < count) {
            if (at_ == end_ && !Fill()) break;
            const std::size_t n = std::min<std::size_t>(count - done, end_ - at_);
            std::memcpy(to + done, buffer_.data() + at_, n);
            at_ += n;
            done += static_cast<std::uint32_t>(n);
        }
        position_ += done;
        return done;
    }

    // A string as IStream::ReadString reads it: a 32-bit length, then that many bytes, cut at the first
    // NUL; EReadError when the length passes the end of the file.
    std::string ReadString() {
        unsigned char prefix[4] = {0, 0, 0, 0};
        Read(prefix, 4);
        const std::uint32_t length = LoadLE32(prefix);
        if (length > size_ - std::min(position_, size_))
            throw EReadError(&file_, "ReadString(): 文字列の長さが残りのデータを超えています.");
        std::string text(length, '\0');
        text.resize(length ? Read(&text[0], length) : 0);
        return std::string(text.c_str());
    }

    std::uint64_t Tell() const { return position_; }

private:
    // Never asks past the end of the file as the open found it: the read would come short and be
    // asked again for the rest.
    bool Fill() {
        const std::uint64_t want = std::min<std::uint64_t>(CArchiveFileLoader::kTableReadSize, size_ - filled_);
        buffer_.resize(CArchiveFileLoader::kTableReadSize);
        at_ = 0;
        end_ = want ? file_.Read(buffer_.data(), static_cast<std::uint32_t>(want)) : 0;
        filled_ += end_;
        return end_ != 0;
    }

    CFileStream& file_;
    const std::uint64_t size_;
    std::vector<char> buffer_;
    std::size_t at_ = 0, end_ = 0;
    std::uint64_t position_ = 0;  // in the file, of the next byte handed out
    std::uint64_t filled_ = 0;    // bytes read from the file
};

// A field past the end of the file keeps its starting value, zero.
std::uint32_t ReadField(TableReader& s, boost::crc_32_type* crc) {
    unsigned char b[4] = {0, 0, 0, 0};
    s.Read(b, 4);
    if (crc) crc->process_bytes(b, 4);
    return LoadLE32(b);
}

bool ReadMagic(TableReader& s, const char* magic, std::size_t size) {
    char buf[32] = {};
    return s.Read(buf, static_cast<std::uint32_t>(size)) == size && std::memcmp(buf, magic, size) == 0;
}

bool InsideFile(std::uint64_t dataStart, const CArchiveEntryHeader& e, std::uint64_t fileSize) {
    return dataStart + e.offset + e.size <= fileSize;
}

}  // namespace

CArchiveFileLoader::~CArchiveFileLoader() {}

void CArchiveFileLoader::BuildIndex() {
    index_.clear();
    for (const CArchiveFileEntryHeader& e : entries_) index_[ToLowerCase(e.name)] = e;
}

void CArchiveFileLoader::Open(const std::string& path) {
    entries_.clear();
    index_.clear();
    path_ = path;
    CFileStream stream(path, plat::FileMode::ReadExisting, FileShare::Read);
    TableReader file(stream);
    // Every report names the archive, as the file-open error does.
    const auto damaged = [&](const char* message) { return std::string(message) + " \"" + path + "\""; };
    if (!ReadMagic(file, kHeaderMagic, kHeaderMagicSize))
        throw EInvalidFileFormat(this, damaged("ファイルヘッダエラー"));
    if (!ReadMagic(file, kTableMagic, kTableMagicSize))
        throw EInvalidFileFormat(&entries_, damaged("フォーマットヘッダエラー"));
    // A count that is missing, cut short or negative is damage, not an empty archive.
    unsigned char countField[4];
    if (file.Read(countField, 4) != 4) throw EInvalidFileFormat(&entries_, damaged(kCountError));
    const std::int32_t count = static_cast<std::int32_t>(LoadLE32(countField));
    if (count < 0) throw EInvalidFileFormat(&entries_, damaged(kCountError));
    // Every record costs at least 24 bytes, so a count larger than the file can hold ends at the
    // first record that is not there: its fields read as zero and its CRC fails.
    for (std::int32_t i = 0; i < count; ++i) {
        CArchiveFileEntryHeader record;
        boost::crc_32_type crc;
        try {
            record.name = file.ReadString();
        } catch (const EReadError&) {
            throw EInvalidFileFormat(&record, damaged(kCrcError));
        }
        crc.process_bytes(record.name.data(), record.name.size());
        record.offset = ReadField(file, &crc);
        record.size = ReadField(file, &crc);
        record.reserved1 = ReadField(file, &crc);
        record.reserved2 = ReadField(file, &crc);
        const std::uint32_t stored = ReadField(file, nullptr);
        if (crc.checksum() != stored) throw EInvalidFileFormat(&record, damaged(kCrcError));
        entries_.push_back(record);
    }
    // The CRC covers the table only: a truncated archive still has good records pointing past its end.
    // Each of them is refused when it is opened; the entries that the file still holds stay usable.
    const std::uint64_t dataStart = file.Tell();
    BuildIndex();
    dataStart_ = dataStart;
}

const CArchiveFileEntryHeader* CArchiveFileLoader::GetEntry(int index) const {
    if (index < 0 || index >= GetEntryCount())
        throw EInvalidParameter(this, "GetEntry(" + IntToString(index) + "): インデックスが範囲外です.");
    return &entries_[static_cast<std::size_t>(index)];
}

std::unique_ptr<CFilePartitionStream> CArchiveFileLoader::OpenEntry(const std::string& name) {
    // A name holding a NUL byte names nothing, in the archive as on disk.
    auto it = name.find('\0') == std::string::npos ? index_.find(ToLowerCase(name)) : index_.end();
    if (it == index_.end()) throw EFileOpenError(this, "ファイルエントリが見つかりませんでした: \"" + name + "\"");
    std::unique_ptr<CFilePartitionStream> stream(new CFilePartitionStream(
        dataStart_ + it->second.offset, it->second.size, path_, plat::FileMode::ReadExisting, FileShare::Read));
    if (!InsideFile(dataStart_, it->second, stream->GetFileLength()))
        throw EInvalidFileFormat(this, std::string(kRangeError) + " \"" + path_ + "\": \"" + name + "\"");
    stream->SetEntryName(it->second.name);
    return stream;
}

}  // namespace trivale
