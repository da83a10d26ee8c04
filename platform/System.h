// The operating system as the engine sees it: program path and command line, files, directory
// listings, the monotonic clock and sleeping. POSIX underneath. It knows nothing of resource names
// ("\\" separators) or of the engine's exceptions: callers turn failures (errno values) into those.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace plat {

// ---- Process -------------------------------------------------------------------------------------

// Stores the arguments for later queries; main() calls it first. Without it the arguments are taken
// from the process's own record of its command line.
void SetCommandLine(int argc, const char* const* argv);
// The arguments, the program as the command line named it first.
const std::vector<std::string>& GetCommandLine();
// Absolute path of the running program's file; "" when it cannot be found.
std::string GetProgramPath();
// The current working directory, without a trailing separator; "" on failure.
std::string GetCurrentDirectory();
// The text of an errno value, never empty.
std::string ErrorText(int error);

// ---- Files ---------------------------------------------------------------------------------------

enum class FileMode {
    CreateWrite,      // write only; created, or truncated when it exists
    ReadExisting,     // read only; must exist
    ReadWriteAlways,  // read and write; created when missing, never truncated
    WriteExisting,    // write only; must exist, never truncated (a second handle on a file being written)
};

enum class SeekFrom { Begin, Current, End };

// One open file. Transfers loop over interrupted and partial calls, so a short count means the end
// of the file (reads) or a full device (writes); -1 means failure, with the errno value in Error().
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool Open(const std::string& path, FileMode mode);
    void Close();
    int Error() const { return error_; }

    std::int64_t Read(void* buffer, std::size_t count);
    std::int64_t Write(const void* buffer, std::size_t count);
    // Positioned transfers leave the file position alone.
    std::int64_t ReadAt(std::int64_t offset, void* buffer, std::size_t count);
    std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::size_t count);
    // Returns the new position, or -1.
    std::int64_t Seek(std::int64_t offset, SeekFrom from);
    std::int64_t Tell();
    std::int64_t Size();
    bool Truncate(std::int64_t size);

private:
    int fd_ = -1;
    int error_ = 0;
};

// Opens a file for writing by this process alone: it is locked (an advisory lock, held until the
// stream is closed) before it is emptied, so a second process never cuts the first one's file short.
enum class ExclusiveOpen { Taken, InUse, Failed };
ExclusiveOpen OpenExclusiveForWriting(const std::string& path, std::FILE*& stream);

enum class PathKind { Missing, File, Directory, Other };
// What the path names, symbolic links followed.
PathKind GetPathKind(const std::string& path);
// The canonical absolute path with every symbolic link resolved; "" when it does not exist.
std::string RealPath(const std::string& path);

// ---- Directories ---------------------------------------------------------------------------------

struct DirEntry {
    std::string name;
    bool isDirectory = false;  // symbolic links followed
    bool isFile = false;       // a regular file, symbolic links followed
    bool isSymlink = false;
    bool isHidden = false;  // a leading '.'
};

// The entries of a directory other than "." and "..", sorted by name (bytewise). False when the
// directory cannot be read; the list is then empty.
bool ListDirectory(const std::string& path, std::vector<DirEntry>& entries);

// ---- Time ----------------------------------------------------------------------------------------

// Monotonic ticks and their frequency (ticks per second).
std::int64_t MonotonicTicks();
std::int64_t MonotonicFrequency();
// Milliseconds on the monotonic clock.
std::int64_t MonotonicMilliseconds();
// Sleeps until MonotonicTicks() reads at least the given ticks; returns at once for a time past.
void SleepUntilTicks(std::int64_t ticks);

}  // namespace plat
