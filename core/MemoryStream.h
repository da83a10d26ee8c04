// A growable stream in memory.
#pragma once

#include "core/Stream.h"

namespace trivale {

class CMemoryStream : public CStandardStream {
public:
    CMemoryStream() {}
    ~CMemoryStream() override;

    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    // Grows the stream when the bytes run past its end; 0 when it cannot grow.
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    std::uint32_t GetSize() override { return size_; }
    // The position stays where it is, even past the new end.
    void SetSize(std::uint32_t size) override;
    std::uint32_t Seek(std::int64_t position) override;
    std::uint32_t Tell() override { return position_; }
    std::unique_ptr<IStream> Clone() override;
    // The bytes; null while the stream is empty.
    virtual void* GetBuffer() { return data_; }

protected:
    CMemoryStream(const CMemoryStream& source);
    CMemoryStream& operator=(const CMemoryStream&) = delete;

private:
    unsigned char* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t position_ = 0;
};

}  // namespace trivale
