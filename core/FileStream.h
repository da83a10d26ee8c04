// Streams over files: a whole file, or a read-only window onto a byte range of one (how an entry of
// the resource archive is read).
#pragma once

#include <string>

#include "core/Stream.h"
#include "platform/System.h"

namespace trivale {

// A path as the operating system names it: "\\" separates as "/" does.
std::string OsPath(const std::string& path);

// What other handles may do with an open file. Kept, but without effect: files are not locked.
enum class FileShare { None, Read, Write, ReadWrite };

// The open mode is the file layer's: CreateWrite writes (created or truncated), ReadExisting reads an
// existing file, ReadWriteAlways reads and writes (created when missing), WriteExisting writes an
// existing file without truncating it. Files of 4 GiB or more are refused. "\\" in the path is taken
// as "/".
class CFileStream : public CStandardStream {
public:
    CFileStream(const std::string& path, plat::FileMode openMode, FileShare shareMode);
    ~CFileStream() override;

    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    std::uint32_t GetSize() override;
    // Shortens the file; a file stream is never lengthened this way.
    void SetSize(std::uint32_t size) override;
    std::uint32_t Seek(std::int64_t position) override;
    std::uint32_t Tell() override;
    // Opens the file again: a clone of a stream that writes never truncates the file.
    std::unique_ptr<IStream> Clone() override;

    const std::string& GetPath() const { return path_; }
    std::string GetFileName() override { return OsPath(path_); }
    // Length of the whole file, also under a window.
    std::uint64_t GetFileLength() { return static_cast<std::uint64_t>(FileSize()); }

protected:
    CFileStream(const CFileStream& source);
    CFileStream& operator=(const CFileStream&) = delete;
    void Open(bool reopen);
    std::int64_t FileSize();

    plat::File file_;
    std::int64_t position_ = 0;

private:
    std::string path_;
    plat::FileMode openMode_;
    FileShare shareMode_;
};

// Read only. Positions count from the window's start; reads never leave the window.
class CFilePartitionStream : public CFileStream {
public:
    CFilePartitionStream(std::uint64_t windowOffset, std::uint32_t windowSize, const std::string& path,
                         plat::FileMode openMode, FileShare shareMode);
    ~CFilePartitionStream() override;

    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    // Always throws EWriteError.
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    std::uint32_t GetSize() override { return windowSize_; }
    // Always throws EWriteError.
    void SetSize(std::uint32_t size) override;
    // A negative position goes to the window's start; a position past its end is kept, and reads
    // there return nothing.
    std::uint32_t Seek(std::int64_t position) override;
    std::uint32_t Tell() override;
    std::unique_ptr<IStream> Clone() override;
    // The archive entry's name when one was given, else the file's path.
    std::string GetFileName() override { return entryName_.empty() ? CFileStream::GetFileName() : entryName_; }
    void SetEntryName(const std::string& name) { entryName_ = name; }

protected:
    CFilePartitionStream(const CFilePartitionStream& source);
    CFilePartitionStream& operator=(const CFilePartitionStream&) = delete;

private:
    std::uint64_t windowOffset_;
    std::uint32_t windowSize_;
    std::string entryName_;
};

}  // namespace trivale
