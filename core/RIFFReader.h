// Reads the RIFF container over a stream: the form type, the top-level chunks by FourCC, and the
// bytes of one selected chunk at a time.
#pragma once

#include <cstdint>
#include <map>

#include <memory>

#include "core/Stream.h"

namespace trivale {

class CRIFFReader : public virtual CNonCopyable {
public:
    // The four tag characters as a little-endian number ("data" is 0x61746164).
    static constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
    }

    CRIFFReader() {}
    ~CRIFFReader() override;

    // Keeps the stream alive while the reader holds it, then opens it.
    virtual void OpenShared(std::shared_ptr<IStream> stream);
    // Reads the chunk table; EInvalidFileFormat unless the stream starts with "RIFF". The stream is
    // not owned. Sizes that run past the data are cut to what is there; the walk always ends.
    virtual void Open(IStream* stream);
    virtual std::uint32_t GetFormType() { return formType_; }
    // EReadError when the form holds no such chunk.
    virtual void SelectChunk(std::uint32_t fourcc);
    // Stream position of the selected chunk's first data byte.
    virtual std::uint32_t GetChunkOffset() { return selectedOffset_; }
    virtual std::int32_t GetChunkSize() { return selectedSize_; }
    // Reads on from the stream's position, never past the selected chunk's end.
    virtual std::uint32_t Read(void* buffer, std::int32_t count);

private:
    struct Chunk {
        std::uint32_t offset;
        std::uint32_t size;
    };

    IStream* stream_ = nullptr;
    std::shared_ptr<IStream> shared_;
    std::uint32_t formType_ = 0;
    std::int64_t riffEnd_ = 0;
    std::map<std::uint32_t, Chunk> chunks_;
    std::uint32_t selectedOffset_ = 0;
    std::int32_t selectedSize_ = 0;
    std::int32_t readPosition_ = 0;
};

}  // namespace trivale
