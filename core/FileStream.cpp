#include "core/FileStream.h"

#include <algorithm>
#include <cerrno>

#include "core/Exception.h"
#include "core/Log.h"

namespace trivale {

namespace {

const std::int64_t kMaxStreamSize = 0xFFFFFFFFll;

}  // namespace

std::string OsPath(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

CFileStream::CFileStream(const std::string& path, plat::FileMode openMode, FileShare shareMode)
    : path_(path), openMode_(openMode), shareMode_(shareMode) {
    Open(false);
}

CFileStream::CFileStream(const CFileStream& source)
    : CObject(), CStandardStream(), path_(source.path_), openMode_(source.openMode_), shareMode_(source.shareMode_) {
    Open(true);
    position_ = std::min(source.position_, std::max<std::int64_t>(0, FileSize()));
}

CFileStream::~CFileStream() {}

void CFileStream::Open(bool reopen) {
    // A clone of a writer opens the file again without truncating what the first handle wrote.
    const plat::FileMode mode =
        reopen && openMode_ == plat::FileMode::CreateWrite ? plat::FileMode::WriteExisting : openMode_;
    int error;
    if (file_.Open(OsPath(path_), mode)) {
        std::int64_t size = file_.Size();
        if (size >= 0 && size <= kMaxStreamSize) {
            position_ = 0;
            return;
        }
        error = size < 0 ? file_.Error() : EFBIG;
        file_.Close();
    } else {
        error = file_.Error();
    }
    TV_LOG_SYSTEM_ERROR(error);
    // Named as the system was asked for it, not half in resource-name separators.
    throw EFileOpenError(this, "ファイルを開けませんでした: \"" + OsPath(path_) + "\"");
}

std::int64_t CFileStream::FileSize() {
    std::int64_t size = file_.Size();
    if (size < 0) {
        TV_LOG_SYSTEM_ERROR(file_.Error());
        throw EReadError(this, "ファイルストリームの読み込みに失敗しました.");
    }
    return size;
}

std::uint32_t CFileStream::Read(void* buffer, std::uint32_t count) {
    if (count == 0) return 0;
    std::int64_t got = file_.ReadAt(position_, buffer, count);
    if (got < 0) {
        TV_LOG_SYSTEM_ERROR(file_.Error());
        throw EReadError(this, "ファイルストリームの読み込みに失敗しました.");
    }
    position_ += got;
    return static_cast<std::uint32_t>(got);
}

std::uint32_t CFileStream::Write(const void* buffer, std::uint32_t count) {
    // The file never outgrows 32-bit positions.
    std::int64_t n = std::min<std::int64_t>(count, std::max<std::int64_t>(0, kMaxStreamSize - position_));
    if (n == 0) return 0;
    std::int64_t put = file_.WriteAt(position_, buffer, static_cast<std::size_t>(n));
    if (put < 0) {
        TV_LOG_SYSTEM_ERROR(file_.Error());
        throw EWriteError(this, "ファイルストリームの書き込みに失敗しました.");
    }
    position_ += put;
    return static_cast<std::uint32_t>(put);
}

std::uint32_t CFileStream::GetSize() { return static_cast<std::uint32_t>(std::min(FileSize(), kMaxStreamSize)); }

void CFileStream::SetSize(std::uint32_t size) {
    std::int64_t saved = position_;
    std::int64_t target = std::min<std::int64_t>(size, FileSize());
    bool ok = file_.Truncate(target);
    position_ = std::min(saved, target);
    if (!ok) {
        TV_LOG_SYSTEM_ERROR(file_.Error());
        throw EWriteError(this, "ファイルストリームのサイズを設定できません.");
    }
}

std::uint32_t CFileStream::Seek(std::int64_t position) {
    std::int64_t size = std::min(FileSize(), kMaxStreamSize);
    position_ = position < 0 ? 0 : std::min(position, size);
    return static_cast<std::uint32_t>(position_);
}

std::uint32_t CFileStream::Tell() { return static_cast<std::uint32_t>(std::min(position_, kMaxStreamSize)); }

std::unique_ptr<IStream> CFileStream::Clone() { return std::unique_ptr<IStream>(new CFileStream(*this)); }

// ---- CFilePartitionStream ------------------------------------------------------------------------

CFilePartitionStream::CFilePartitionStream(std::uint64_t windowOffset, std::uint32_t windowSize,
                                           const std::string& path, plat::FileMode openMode, FileShare shareMode)
    : CFileStream(path, openMode, shareMode), windowOffset_(windowOffset), windowSize_(windowSize) {
    position_ = 0;
}

CFilePartitionStream::CFilePartitionStream(const CFilePartitionStream& source)
    : CObject(),
      CFileStream(source),
      windowOffset_(source.windowOffset_),
      windowSize_(source.windowSize_),
      entryName_(source.entryName_) {
    position_ = source.position_;
}

CFilePartitionStream::~CFilePartitionStream() {}

std::uint32_t CFilePartitionStream::Read(void* buffer, std::uint32_t count) {
    if (position_ >= windowSize_) return 0;
    std::int64_t n = std::min<std::int64_t>(count, windowSize_ - position_);
    if (n <= 0) return 0;
    std::int64_t got =
        file_.ReadAt(static_cast<std::int64_t>(windowOffset_) + position_, buffer, static_cast<std::size_t>(n));
    if (got < 0) {
        TV_LOG_SYSTEM_ERROR(file_.Error());
        throw EReadError(this, "Read(): 読み込みに失敗しました.");
    }
    position_ += got;
    return static_cast<std::uint32_t>(got);
}

std::uint32_t CFilePartitionStream::Write(const void*, std::uint32_t) {
    throw EWriteError(this, "Write(): 書き込みが禁止されています.");
}

void CFilePartitionStream::SetSize(std::uint32_t) { throw EWriteError(this, "SetSize(): 書き込みが禁止されています."); }

std::uint32_t CFilePartitionStream::Seek(std::int64_t position) {
    // Past the window is allowed (reads then return 0); before it is not, so no byte outside the entry
    // is ever read. The answer is the position in the whole file.
    position_ = position < 0 ? 0 : std::min(position, kMaxStreamSize);
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(windowOffset_) + position_);
}

std::uint32_t CFilePartitionStream::Tell() { return static_cast<std::uint32_t>(position_); }

std::unique_ptr<IStream> CFilePartitionStream::Clone() {
    return std::unique_ptr<IStream>(new CFilePartitionStream(*this));
}

}  // namespace trivale
