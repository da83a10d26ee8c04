// The byte stream that every reader of the program's data goes through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Object.h"

namespace trivale {

// Sizes, positions and counts are 32-bit, as the files that carry them are; arithmetic on them is
// done in 64 bits and never wraps. The end of data shows as a short read, never as an exception.
class IStream : public IInterface {
public:
    // Copies count bytes (0: the whole source from its start) from the source's position into this
    // stream; returns the bytes written.
    virtual std::uint32_t CopyFrom(IStream& source, std::uint32_t count) = 0;
    virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
    virtual std::uint32_t Write(const void* buffer, std::uint32_t count) = 0;
    // A little-endian u32 byte count, then the bytes (no terminator). A string read back ends at its
    // first NUL byte; a count larger than what remains is an EReadError.
    virtual std::string ReadString() = 0;
    virtual std::uint32_t WriteString(const std::string& text) = 0;
    virtual std::uint32_t GetSize() = 0;
    virtual void SetSize(std::uint32_t size) = 0;
    // Moves to an absolute position. Where the stream then stands and what the call answers are each
    // stream's own: a memory stream stands within [0, size] but answers the position asked for (-1
    // answers 4294967295, 101 on 100 bytes 101); a file stream stands within [0, size] and answers
    // that; an archive entry may stand past its end (reads then give 0 bytes) and answers its position
    // in the whole file. Tell says where the stream stands.
    virtual std::uint32_t Seek(std::int64_t position) = 0;
    virtual std::uint32_t Tell() = 0;
    // A new, independent stream on the same bytes at the same position.
    virtual std::unique_ptr<IStream> Clone() = 0;
    // The file these bytes come from, as a report names it: the path on disk, or the name of the archive
    // entry as the archive spells it; "" for bytes that come from no file.
    virtual std::string GetFileName() { return std::string(); }
};

class EException;
// " - ファイル \"<file>\"", what a report of a failure in the stream's bytes adds so that it names the file
// the reader could not. A stream that comes from no file is named by the resource name given, if any.
std::string FileNameNote(IStream& stream, const std::string& resourceName = std::string());
// Appends FileNameNote to the exception's message.
void NameFileInReport(EException& e, IStream& stream, const std::string& resourceName = std::string());

// The operations that every stream shares.
class CStandardStream : public IStream, public virtual CObject {
public:
    std::uint32_t CopyFrom(IStream& source, std::uint32_t count) override;
    std::string ReadString() override;
    std::uint32_t WriteString(const std::string& text) override;
};

// Little-endian helpers for the fixed-size fields of the program's files.
inline std::uint32_t LoadLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreLE32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace trivale
