#include "core/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace trivale {

CMemoryStream::~CMemoryStream() { std::free(data_); }

CMemoryStream::CMemoryStream(const CMemoryStream& source) : CObject(), CStandardStream() {
    if (source.size_ > 0) {
        data_ = static_cast<unsigned char*>(std::malloc(source.size_));
        if (data_) {
            std::memcpy(data_, source.data_, source.size_);
            size_ = source.size_;
        }
    }
    position_ = std::min(source.position_, size_);
}

std::uint32_t CMemoryStream::Read(void* buffer, std::uint32_t count) {
    if (position_ >= size_) return 0;
    std::uint32_t n = std::min<std::uint32_t>(count, size_ - position_);
    if (n == 0) return 0;
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

std::uint32_t CMemoryStream::Write(const void* buffer, std::uint32_t count) {
    if (count == 0) return 0;
    // A stream never outgrows 32-bit positions.
    const std::uint64_t end = static_cast<std::uint64_t>(position_) + count;
    if (end > 0xFFFFFFFFull) return 0;
    if (end > size_) {
        SetSize(static_cast<std::uint32_t>(end));
        if (!data_ || size_ < end) return 0;
    }
    std::memcpy(data_ + position_, buffer, count);
    position_ = static_cast<std::uint32_t>(end);
    return count;
}

void CMemoryStream::SetSize(std::uint32_t size) {
    if (size == 0) {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
        return;
    }
    void* grown = std::realloc(data_, size);
    if (!grown) {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
        return;
    }
    data_ = static_cast<unsigned char*>(grown);
    // New bytes read as zero, also the gap left by a write past the end.
    if (size > size_) std::memset(data_ + size_, 0, size - size_);
    size_ = size;
}

std::uint32_t CMemoryStream::Seek(std::int64_t position) {
    if (position < 0)
        position_ = 0;
    else if (position > static_cast<std::int64_t>(size_))
        position_ = size_;
    else
        position_ = static_cast<std::uint32_t>(position);
    // The answer is the position asked for, not where the stream now stands (Tell says that).
    return static_cast<std::uint32_t>(position);
}

std::unique_ptr<IStream> CMemoryStream::Clone() { return std::unique_ptr<IStream>(new CMemoryStream(*this)); }

}  // namespace trivale
