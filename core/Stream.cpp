#include "core/Stream.h"

#include <algorithm>
#include <vector>

#include "core/Exception.h"

namespace trivale {

std::string FileNameNote(IStream& stream, const std::string& resourceName) {
    std::string name = stream.GetFileName();
    if (name.empty()) name = resourceName;
    return name.empty() ? std::string() : " - ファイル \"" + name + "\"";
}

void NameFileInReport(EException& e, IStream& stream, const std::string& resourceName) {
    e.AppendToMessage(FileNameNote(stream, resourceName));
}

std::uint32_t CStandardStream::CopyFrom(IStream& source, std::uint32_t count) {
    if (count == 0) {
        source.Seek(0);
        count = source.GetSize();
    }
    const std::int64_t remaining = std::max<std::int64_t>(
        0, static_cast<std::int64_t>(source.GetSize()) - static_cast<std::int64_t>(source.Tell()));
    std::int64_t left = std::min<std::int64_t>(count, remaining);
    const std::uint32_t kBlock = 8192;
    std::vector<unsigned char> buffer(kBlock);
    std::uint32_t written = 0;
    // Only what was read is written: a short read or a short write ends the copy.
    while (left > 0) {
        std::uint32_t want = static_cast<std::uint32_t>(std::min<std::int64_t>(kBlock, left));
        std::uint32_t got = source.Read(buffer.data(), want);
        if (got == 0) break;
        std::uint32_t put = Write(buffer.data(), got);
        written += put;
        left -= put;
        if (put < got || got < want) break;
    }
    return written;
}

std::string CStandardStream::ReadString() {
    unsigned char prefix[4] = {0, 0, 0, 0};
    Read(prefix, 4);
    const std::uint32_t length = LoadLE32(prefix);
    const std::int64_t remaining =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(GetSize()) - static_cast<std::int64_t>(Tell()));
    if (length > remaining) throw EReadError(this, "ReadString(): 文字列の長さが残りのデータを超えています.");
    std::string text(length, '\0');
    std::uint32_t got = length ? Read(&text[0], length) : 0;
    text.resize(got);
    return std::string(text.c_str());
}

std::uint32_t CStandardStream::WriteString(const std::string& text) {
    unsigned char prefix[4];
    StoreLE32(prefix, static_cast<std::uint32_t>(text.size()));
    std::uint32_t n = Write(prefix, 4);
    if (!text.empty()) n += Write(text.data(), static_cast<std::uint32_t>(text.size()));
    return n;
}

}  // namespace trivale
