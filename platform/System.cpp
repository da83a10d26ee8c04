#include "platform/System.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

std::mutex g_argsMutex;
std::vector<std::string> g_args;
bool g_argsSet = false;

std::vector<std::string> ReadProcCommandLine() {
    std::vector<std::string> args;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
    std::lock_guard<std::mutex> lock(g_argsMutex);
    g_args.clear();
    for (int i = 0; i < argc && argv; ++i) g_args.emplace_back(argv[i] ? argv[i] : "");
    g_argsSet = true;
}

const std::vector<std::string>& GetCommandLine() {
    std::lock_guard<std::mutex> lock(g_argsMutex);
    if (!g_argsSet) {
        g_args = ReadProcCommandLine();
        g_argsSet = true;
    }
    return g_args;
}

std::string GetProgramPath() {
    std::vector<char> buf(PATH_MAX + 1);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return std::string();
        if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
        buf.resize(buf.size() * 2);
    }
}

std::string GetCurrentDirectory() {
    std::vector<char> buf(PATH_MAX + 1);
    for (;;) {
        if (getcwd(buf.data(), buf.size())) return std::string(buf.data());
        if (errno != ERANGE) return std::string();
        buf.resize(buf.size() * 2);
    }
}

std::string ErrorText(int error) {
    char buf[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* text = strerror_r(error, buf, sizeof buf);
    if (!text || !*text) return "unknown error " + std::to_string(error);
    return text;
}

// ---- File ----------------------------------------------------------------------------------------

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(other.fd_), error_(other.error_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        error_ = other.error_;
        other.fd_ = -1;
    }
    return *this;
}

bool File::Open(const std::string& path, FileMode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case FileMode::CreateWrite:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case FileMode::ReadExisting:
        flags |= O_RDONLY;
        break;
    case FileMode::ReadWriteAlways:
        flags |= O_RDWR | O_CREAT;
        break;
    case FileMode::WriteExisting:
        flags |= O_WRONLY;
        break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    // A directory opens for reading on Linux; as a file it is useless.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error_ = EISDIR;
        return false;
    }
    fd_ = fd;
    error_ = 0;
    return true;
}

void File::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

namespace {

// Repeats a transfer over interrupted and partial calls until count bytes moved or the end; the
// step moves bytes at an offset from the start and returns what the system call returned.
template <class Step>
std::int64_t Transfer(std::size_t count, int& error, Step step) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = step(done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace

std::int64_t File::Read(void* buffer, std::size_t count) {
    char* p = static_cast<char*>(buffer);
    return Transfer(count, error_, [&](std::size_t done) { return ::read(fd_, p + done, count - done); });
}

std::int64_t File::Write(const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    return Transfer(count, error_, [&](std::size_t done) { return ::write(fd_, p + done, count - done); });
}

std::int64_t File::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0) {
        error_ = EINVAL;
        return -1;
    }
    char* p = static_cast<char*>(buffer);
    return Transfer(count, error_, [&](std::size_t done) {
        return ::pread(fd_, p + done, count - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    });
}

std::int64_t File::WriteAt(std::int64_t offset, const void* buffer, std::size_t count) {
    if (offset < 0) {
        error_ = EINVAL;
        return -1;
    }
    const char* p = static_cast<const char*>(buffer);
    return Transfer(count, error_, [&](std::size_t done) {
        return ::pwrite(fd_, p + done, count - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    });
}

std::int64_t File::Seek(std::int64_t offset, SeekFrom from) {
    int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0) {
        error_ = errno;
        return -1;
    }
    return static_cast<std::int64_t>(r);
}

std::int64_t File::Tell() { return Seek(0, SeekFrom::Current); }

std::int64_t File::Size() {
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        error_ = errno;
        return -1;
    }
    return static_cast<std::int64_t>(st.st_size);
}

bool File::Truncate(std::int64_t size) {
    int r;
    do {
        r = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        error_ = errno;
        return false;
    }
    return true;
}

ExclusiveOpen OpenExclusiveForWriting(const std::string& path, std::FILE*& stream) {
    stream = nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return ExclusiveOpen::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? ExclusiveOpen::InUse : ExclusiveOpen::Failed;
    }
    if (::ftruncate(fd, 0) != 0 || (stream = ::fdopen(fd, "w")) == nullptr) {
        ::close(fd);
        return ExclusiveOpen::Failed;
    }
    return ExclusiveOpen::Taken;
}

PathKind GetPathKind(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (S_ISDIR(st.st_mode)) return PathKind::Directory;
    return PathKind::Other;
}

std::string RealPath(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r) return std::string();
    std::string out(r);
    std::free(r);
    return out;
}

// ---- Directories ---------------------------------------------------------------------------------

bool ListDirectory(const std::string& path, std::vector<DirEntry>& entries) {
    entries.clear();
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!dir) return false;
    int dfd = ::dirfd(dir);
    while (struct dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        DirEntry e;
        e.name = name;
        e.isHidden = name[0] == '.';
        struct stat lst;
        if (::fstatat(dfd, d->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0) {
            e.isSymlink = S_ISLNK(lst.st_mode);
            if (e.isSymlink) {
                struct stat st;
                if (::fstatat(dfd, d->d_name, &st, 0) == 0) {
                    e.isDirectory = S_ISDIR(st.st_mode);
                    e.isFile = S_ISREG(st.st_mode);
                }
            } else {
                e.isDirectory = S_ISDIR(lst.st_mode);
                e.isFile = S_ISREG(lst.st_mode);
            }
        }
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

// ---- Time ----------------------------------------------------------------------------------------

std::int64_t MonotonicTicks() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t MonotonicFrequency() { return 1000000000LL; }

std::int64_t MonotonicMilliseconds() { return MonotonicTicks() / 1000000LL; }

void SleepUntilTicks(std::int64_t ticks) {
    if (ticks <= 0) return;
    timespec until;
    until.tv_sec = static_cast<time_t>(ticks / 1000000000LL);
    until.tv_nsec = static_cast<long>(ticks % 1000000000LL);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {}
}

}  // namespace plat
