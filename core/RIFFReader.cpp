#include "core/RIFFReader.h"

#include <algorithm>
#include <cstring>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {

namespace {

std::uint32_t ReadU32(IStream& s) {
    unsigned char b[4] = {0, 0, 0, 0};
    s.Read(b, 4);
    return LoadLE32(b);
}

}  // namespace

CRIFFReader::~CRIFFReader() {}

void CRIFFReader::OpenShared(std::shared_ptr<IStream> stream) {
    shared_ = stream;
    Open(shared_.get());
}

void CRIFFReader::Open(IStream* stream) {
    stream_ = stream;
    stream_->Seek(0);
    unsigned char tag[4] = {0, 0, 0, 0};
    if (stream_->Read(tag, 4) != 4 || std::memcmp(tag, "RIFF", 4) != 0)
        throw EInvalidFileFormat(this, "ファイルフォーマットエラー: RIFFファイルではありません.");
    const std::int64_t streamSize = stream_->GetSize();
    riffEnd_ = std::min<std::int64_t>(static_cast<std::int64_t>(ReadU32(*stream_)) + 8, streamSize);
    formType_ = ReadU32(*stream_);
    // Sound files pad odd-sized chunks to a word; the engine's own object form is written unpadded.
    const bool padded = formType_ == MakeFourCC('W', 'A', 'V', 'E');

    chunks_.clear();
    std::int64_t pos = stream_->Tell();
    while (pos + 8 <= riffEnd_) {
        const std::uint32_t fourcc = ReadU32(*stream_);
        const std::uint32_t size = ReadU32(*stream_);
        const std::int64_t dataOffset = pos + 8;
        Chunk chunk;
        chunk.offset = static_cast<std::uint32_t>(dataOffset);
        chunk.size = static_cast<std::uint32_t>(std::min<std::int64_t>(size, riffEnd_ - dataOffset));
        chunks_[fourcc] = chunk;
        std::int64_t next = dataOffset + size;
        if (padded && (size & 1u)) ++next;
        if (next >= riffEnd_) break;
        stream_->Seek(next);
        pos = next;
    }
}

void CRIFFReader::SelectChunk(std::uint32_t fourcc) {
    auto it = chunks_.find(fourcc);
    if (it == chunks_.end()) {
        char name[5];
        name[0] = static_cast<char>(fourcc & 0xFF);
        name[1] = static_cast<char>((fourcc >> 8) & 0xFF);
        name[2] = static_cast<char>((fourcc >> 16) & 0xFF);
        name[3] = static_cast<char>((fourcc >> 24) & 0xFF);
        name[4] = '\0';
        throw EReadError(this, "指定されたRIFFチャンクが見つかりません - " +
                                   FormatString("\"%s\"(0x%08X)", name, static_cast<unsigned>(fourcc)));
    }
    stream_->Seek(it->second.offset);
    selectedOffset_ = it->second.offset;
    selectedSize_ = static_cast<std::int32_t>(std::min<std::uint32_t>(it->second.size, 0x7FFFFFFFu));
    readPosition_ = 0;
}

std::uint32_t CRIFFReader::Read(void* buffer, std::int32_t count) {
    if (!stream_ || count <= 0) return 0;
    std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(selectedSize_) - readPosition_);
    if (n <= 0) return 0;
    std::uint32_t got = stream_->Read(buffer, static_cast<std::uint32_t>(n));
    readPosition_ += static_cast<std::int32_t>(got);
    return got;
}

}  // namespace trivale
